// The DDL of a structure: creating, altering, renaming and dropping its table, its indexes and its
// view, in the order that keeps the metadata rows and triggers in step, and the existence tests
// that guard them.
#include "ddltext.h"
#include "schemawork.h"
#include "sqlnames.h"
#include "tablestruct.h"

#include <kernel/dbaccess.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>

namespace {

const QString TypeTable = QStringLiteral("TABLE");

// The one-column answer "id" of an existence test on the main query: a row whose id is not 0.
bool answersId(const QStringList& lines)
{
    SqlQuery& q = SchemaWork().MainQuery;
    const bool found = OpenStatement(q, lines) && q.fieldByName(QStringLiteral("id"))->asInteger();
    q.close();
    return found;
}

// Runs an existence test; any error counts as "no".
template <typename F> bool orFalse(F&& test)
{
    try {
        return test();
    } catch (const Exception&) {
        return false;
    }
}

// The shared table, closed and named after a table of the bound database.
LocalTable& sharedTable(const QString& tableName)
{
    LocalTable& table = SchemaWork().Table;
    table.close();
    table.setTableName(tableName);
    return table;
}

// The local kind keeps views too, unlike the local tables it stands for: a view made again must
// find and drop the one it replaces.
bool localViewExists(const QString& name)
{
    SqlQuery& q = SchemaWork().MainQuery;
    SetStatement(q, {QStringLiteral("select name from sqlite_master where type = 'view' and name "
                                    "= :NAME collate nocase")});
    q.paramByName(QStringLiteral("NAME")).setAsString(name);
    q.open();
    const bool found = !q.eof();
    q.close();
    return found;
}

// Drops the primary-key constraint of a table on the servers.
QString dropKeyText(const QString& table, ServerKind::Kind kind)
{
    return QStringLiteral("alter table %1 drop constraint %2")
        .arg(SqlName(table, kind), SqlName(QStringLiteral("PK_") + table, kind));
}

} // namespace

void TTableStruct::CheckFields() const
{
    for (int i = 0; i < m_fields.Count(); ++i) {
        const TFieldItem& field = *m_fields.Items(i);
        if (field.FieldName.isEmpty())
            DBKernelError(
                QStringLiteral("TableStruct %1: not specified FieldName for field item %2.")
                    .arg(objectName())
                    .arg(i));
        if (field.DataType == dtUnknown &&
            (m_upgradeAction == uaCreate || field.UpgradeAction == uaCreate))
            DBKernelError(QStringLiteral("TableStruct %1 field %2 is unknown datatype.")
                              .arg(objectName(), field.FieldName));
    }
}

void TTableStruct::CreateTable()
{
    IsView = false;
    CheckFields();
    DropTable();
    ExecCreateTable();
    InsertMetaTable();
    CreateIndexes();
    InsertLinks();
    GenerateInsertTrigger();
    GenerateUpdateTrigger();
    GenerateDeleteTriggers();
    UpdateFieldOrder();
}

void TTableStruct::AlterTable()
{
    // Indexes go before the columns do: a column that an index names cannot be dropped, also
    // when the same alter drops or rebuilds that index.
    for (const TIndexItem& item : m_indexes) {
        if (item.UpgradeAction != uaCreate)
            DropIndex(item);
    }
    for (const TFieldItem& item : m_fields)
        AlterField(item);
    for (const TIndexItem& item : m_indexes) {
        if (item.UpgradeAction != uaDrop)
            CreateIndex(item);
    }
    for (const TLinkItem& item : m_links) {
        switch (item.UpgradeAction) {
        case uaCreate:
            InsertLink(item);
            break;
        case uaAlter:
            UpdateLink(item);
            break;
        case uaDrop:
            DeleteLink(item);
            break;
        }
    }
    UpdateMetaTable();
    if (!IsView) {
        if (m_newName.isEmpty()) {
            GenerateInsertTrigger();
            GenerateUpdateTrigger();
            GenerateDeleteTriggers();
        } else {
            RenameTable();
        }
    }
    UpdateFieldOrder();
}

void TTableStruct::DropTable()
{
    const QString name = TableName();
    deleteMetaRows(name);
    SqlQuery& q = SchemaWork().MainQuery;
    if (IsView) {
        if (ObjectExists(name, QStringLiteral("VIEW")))
            ExecStatement(q, {QStringLiteral("drop view ") + SqlName(name, ServerKind)});
    } else if (TableExists()) {
        DropAllTriggers();
        generateDeleteTriggers(true);
        ExecStatement(q, {QStringLiteral("drop table ") + SqlName(name, ServerKind)});
    }
}

void TTableStruct::ExecCreateTable()
{
    TSchemaWork& work = SchemaWork();
    SqlQuery& q = work.MainQuery;
    const QString name = TableName();
    ExecStatement(q, CreateTableLines(ServerKind, *this, work.BooleanAsChar));
    if (ServerKind == ServerKind::Standard) {
        // The engine knows a table's key by its primary index.
        const QString key = KeyFields();
        if (!key.isEmpty())
            sharedTable(name).addIndex(QString(), LocalIndexFields(key), IndexDef::Primary);
    } else if (ServerKind == ServerKind::Oracle) {
        OpenStatement(q, {QStringLiteral("select USER from DUAL")});
        const QString user =
            q.eof() ? QString() : q.fieldByName(QStringLiteral("USER"))->asString();
        q.close();
        if (answersId({QStringLiteral("select OBJECT_ID as id from ALL_OBJECTS where OBJECT_NAME = "
                                      "UPPER('%1')and OBJECT_TYPE = 'SYNONYM' and OWNER = 'PUBLIC'")
                           .arg(name)}))
            ExecStatement(
                q, {QStringLiteral("drop public synonym %1").arg(SqlName(name, ServerKind))});
        ExecStatement(
            q, {QStringLiteral("create public synonym \"%1\" for \"%2\".\"%1\"").arg(name, user)});
    }
}

void TTableStruct::CreateIndexes()
{
    for (const TIndexItem& item : m_indexes) {
        if (item.UpgradeAction != uaDrop)
            CreateIndex(item);
    }
}

void TTableStruct::CreateIndex(const TIndexItem& item)
{
    if (item.Name.startsWith(QLatin1String("_WA_Sys_")))
        return; // the server's own statistics
    const QString table = TableName();
    QString name = item.NewName.isEmpty() ? item.Name : item.NewName;
    const bool primary = item.Options.testFlag(idxPrimary);
    if (ServerKind == ServerKind::Standard) {
        if (!primary) // the key came with the table
            sharedTable(table).addIndex(name, LocalIndexFields(item.IndexFields));
        return;
    }
    SqlQuery& q = SchemaWork().MainQuery;
    if (ServerKind == ServerKind::Oracle) {
        // Oracle's index names are the schema's: a name taken elsewhere gets the table's prefix.
        if (OpenStatement(q, {QStringLiteral("select INDEX_NAME from ALL_INDEXES"),
                              QStringLiteral("where INDEX_NAME = Upper('%1')").arg(name)}))
            name = table + QLatin1Char('_') + name;
        q.close();
    }
    ExecStatement(q, {CreateIndexText(ServerKind, table, item, name)});
    if (primary) {
        SetStatement(
            q, {QStringLiteral(
                   "update METATABLE set KEY_FIELDS=:KEY_FIELDS where TABLE_NAME=:TABLE_NAME")});
        q.paramByName(QStringLiteral("KEY_FIELDS")).setAsString(item.IndexFields);
        q.paramByName(QStringLiteral("TABLE_NAME")).setAsString(table);
        q.execSql();
    }
}

void TTableStruct::DropIndex(const TIndexItem& item)
{
    const QString table = TableName();
    const bool primary = item.Options.testFlag(idxPrimary);
    SqlQuery& q = SchemaWork().MainQuery;
    if (ServerKind == ServerKind::Standard) {
        if (!primary && IndexExists(item.Name))
            sharedTable(table).deleteIndex(item.Name);
        return;
    }
    if (primary) {
        if (ObjectExists(QStringLiteral("PK_") + table, QStringLiteral("INDEX")))
            ExecStatement(q, {dropKeyText(table, ServerKind)});
        return;
    }
    if (ServerKind == ServerKind::Oracle) {
        // Either name CreateIndex may have given it.
        for (const QString& name : {item.Name, table + QLatin1Char('_') + item.Name}) {
            if (oracleIndexFound(name))
                ExecStatement(
                    q, {QStringLiteral("drop index %1").arg(SqlName(name.toUpper(), ServerKind))});
        }
    } else if (IndexExists(item.Name)) {
        ExecStatement(q, {QStringLiteral("drop index %1.%2")
                              .arg(SqlName(table, ServerKind), SqlName(item.Name, ServerKind))});
    }
}

void TTableStruct::AlterField(const TFieldItem& item)
{
    TSchemaWork& work = SchemaWork();
    SqlQuery& q = work.MainQuery;
    const QString table = SqlName(TableName(), ServerKind);
    const QString column = SqlName(item.FieldName, ServerKind);
    const QString alter = QStringLiteral("alter table ") + table;
    switch (item.UpgradeAction) {
    case uaCreate:
        if (ColumnExists(item.FieldName))
            return;
        ExecStatement(q, {alter + QStringLiteral(" add ") +
                          ColumnDefinition(ServerKind, item, work.BooleanAsChar)});
        InsertMetaField(item);
        if (item.DataType == dtBoolean) {
            SetStatement(q, {QStringLiteral("update %1 set %2 = :VAL").arg(table, column)});
            if (work.BooleanAsChar)
                q.paramByName(QStringLiteral("VAL")).setAsString(QStringLiteral("F"));
            else
                q.paramByName(QStringLiteral("VAL")).setAsBoolean(false);
            q.execSql();
        }
        break;
    case uaDrop:
        if (!ColumnExists(item.FieldName))
            return;
        if (ServerKind == ServerKind::Standard) {
            // SQLite checks every view when a column goes: none may stand in the way.
            changeOutsideViews(q.database()->connection(), [&] {
                ExecStatement(q, {alter + QStringLiteral(" drop column ") + column});
            });
        } else {
            ExecStatement(q, {alter + QStringLiteral(" drop column ") + column});
        }
        DeleteMetaField(item);
        break;
    case uaAlter:
        if (!item.Unchanged)
            UpdateMetaField(item);
        break;
    }
}

void TTableStruct::RenameTable()
{
    TSchemaWork& work = SchemaWork();
    SqlQuery& q = work.MainQuery;
    const QString from = TableName();
    const QString to = m_newName;
    if (ServerKind == ServerKind::Standard) {
        sharedTable(from).renameTable(to);
    } else {
        if (ObjectExists(QStringLiteral("PK_") + from, QStringLiteral("INDEX"))) {
            ExecStatement(q, {dropKeyText(from, ServerKind)});
            OpenStatement(q,
                          {QStringLiteral("select KEY_FIELDS from METATABLE where TABLE_NAME='%1'")
                               .arg(from)});
            const QString key =
                q.eof() ? QString() : q.fieldByName(QStringLiteral("KEY_FIELDS"))->asString();
            q.close();
            ExecStatement(q, {QStringLiteral("alter table %1 add constraint %2 primary key ")
                                  .arg(SqlName(from, ServerKind),
                                       SqlName(QStringLiteral("PK_") + to, ServerKind)) +
                              QLatin1Char('(') + SqlNameList(key, ServerKind) + QLatin1Char(')')});
        }
        if (ServerKind == ServerKind::MSSQL)
            ExecStatement(q, {QStringLiteral("exec sp_rename '%1','%2'").arg(from, to)});
        else if (ServerKind == ServerKind::Oracle)
            ExecStatement(q, {QStringLiteral("alter table %1 rename to %2")
                                  .arg(SqlName(from, ServerKind), SqlName(to, ServerKind))});
    }
    const auto update = [&q, &to, &from](const char* text) {
        ExecStatement(q, {QString::fromLatin1(text).arg(to, from)});
    };
    update("update METATABLE set TABLE_NAME = '%1' where TABLE_NAME = '%2'");
    update("update METAFIELD set TABLE_NAME = '%1' where TABLE_NAME = '%2'");
    // Only MS SQL Server has REC_VERSION: on Oracle, whose DDL commits as it goes, the update
    // would fail after the table was renamed, its description left under the old name.
    if (ServerKind == ServerKind::MSSQL)
        update("update REC_VERSION set TABLE_NAME = '%1' where TABLE_NAME = '%2'");
    if (ServerKind != ServerKind::Standard)
        DropAllTriggers();
    update("update TABLELINK set PARENT = '%1' where PARENT = '%2'");
    update("update TABLELINK set CHILD = '%1' where CHILD = '%2'");
    update("update ROLEPERM set TABLE_NAME = '%1' where TABLE_NAME = '%2'");
    if (ServerKind != ServerKind::Standard) {
        work.Script.clear();
        ExecTriggerScript(QStringLiteral("tI_") + from, ServerKind);
    }
    if (m_traceLogAction == tlaDefault) {
        OpenStatement(
            q, {QStringLiteral("select TRACE_LOG from METATABLE where TABLE_NAME = '%1'").arg(to)});
        if (!q.eof() && FieldAsBoolean(*q.fieldByName(QStringLiteral("TRACE_LOG"))))
            m_traceLogAction = tlaEnable;
        q.close();
    }
    GenerateInsertTrigger();
    GenerateUpdateTrigger();
    GenerateDeleteTriggers();
}

void TTableStruct::CreateView(TDBAccess& access, const QStringList& selectText)
{
    if (!access.DataBase())
        DBKernelError(QStringLiteral("Not assigned database."));
    SchemaWork().Bind(access.DataBase());
    ServerKind = access.ServerKind();
    if (!m_system)
        access.StartTransaction(false);
    try {
        IsView = true;
        DropTable();
        ExecStatement(SchemaWork().MainQuery,
                      QStringList{QStringLiteral("create VIEW ") +
                                  SqlName(TableName(), ServerKind) + QStringLiteral(" as ")} +
                          selectText);
        InsertMetaTable();
        InsertLinks();
        UpdateFieldOrder();
        if (!m_system)
            access.Commit();
    } catch (...) {
        if (!m_system)
            access.Rollback();
        throw;
    }
}

bool TTableStruct::ObjectExists(const QString& name, const QString& typeText)
{
    return orFalse([&] {
        switch (ServerKind) {
        case ServerKind::MSSQL:
            return answersId(
                {QStringLiteral("select id from sysobjects where id = object_id('%1')").arg(name)});
        case ServerKind::Oracle:
            return answersId(
                {QStringLiteral("select OBJECT_ID as id from USER_OBJECTS where OBJECT_NAME = "
                                "UPPER('%1')")
                     .arg(name),
                 QString(43, QLatin1Char(' ')) +
                     QStringLiteral("and OBJECT_TYPE = UPPER('%1')").arg(typeText)});
        case ServerKind::Standard:
            if (typeText == QLatin1String("VIEW"))
                return localViewExists(name);
            if (typeText != TypeTable)
                return false;
            sharedTable(name).storedFieldDefs(); // raises for a missing table
            return true;
        default:
            return false;
        }
    });
}

bool TTableStruct::TableExists()
{
    if (ServerKind != ServerKind::Standard)
        return ObjectExists(TableName(), TypeTable);
    return orFalse([this] {
        SqlQuery& q = SchemaWork().MainQuery;
        OpenStatement(q, {QStringLiteral("select *  from ") + SqlName(TableName(), ServerKind) +
                          QStringLiteral(" where 0=1")});
        q.close();
        return true;
    });
}

bool TTableStruct::oracleIndexFound(const QString& name)
{
    return orFalse([&] {
        SqlQuery& q = SchemaWork().MainQuery;
        const bool found = OpenStatement(
            q, {QStringLiteral("select INDEX_NAME from SYS.ALL_INDEXES"),
                QStringLiteral("where (TABLE_NAME = Upper('%1') and INDEX_NAME = Upper('%2'))")
                    .arg(TableName(), name)});
        q.close();
        return found;
    });
}

bool TTableStruct::IndexExists(const QString& name)
{
    const QString table = TableName();
    switch (ServerKind) {
    case ServerKind::MSSQL:
        return orFalse([&] {
            return answersId(
                {QStringLiteral("select id from sysindexes where id = object_id('%1') and NAME = "
                                "'%2'")
                     .arg(table, name)});
        });
    case ServerKind::Oracle:
        return oracleIndexFound(name) || oracleIndexFound(table + QLatin1Char('_') + name);
    case ServerKind::Standard:
        return orFalse([&] {
            const IndexDefs defs = sharedTable(table).storedIndexDefs();
            for (const IndexDef& def : defs.list()) {
                if (def.name == name)
                    return true;
            }
            return false;
        });
    default:
        return false;
    }
}

bool TTableStruct::ColumnExists(const QString& name)
{
    const QString table = TableName();
    return orFalse([&] {
        switch (ServerKind) {
        case ServerKind::MSSQL:
            return answersId({QStringLiteral("select id from syscolumns where id=object_id('%1') "
                                             "and name = '%2'")
                                  .arg(table, name)});
        case ServerKind::Oracle:
            return answersId({QStringLiteral("select COLUMN_ID as id from USER_TAB_COLUMNS where "
                                             "TABLE_NAME = '%1' and Upper(COLUMN_NAME) = "
                                             "Upper('%2')")
                                  .arg(table, name)});
        case ServerKind::Standard: {
            const FieldDefs defs = sharedTable(table).storedFieldDefs();
            for (const FieldDef& def : defs.list()) {
                if (def.name == name)
                    return true;
            }
            return false;
        }
        default:
            return false;
        }
    });
}

namespace {

// A structure of that name only, for the existence tests on the access component's database.
bool existsOnAccess(const QString& tableName, TDBAccess& access,
                    const std::function<bool(TTableStruct&)>& test)
{
    if (!access.DataBase())
        DBKernelError(QStringLiteral("Not assigned database."));
    TTableStruct probe;
    probe.SetTableName(tableName);
    probe.ServerKind = access.ServerKind();
    SchemaWork().Bind(access.DataBase());
    sharedTable(tableName);
    return test(probe);
}

} // namespace

bool TableExists(const QString& tableName, TDBAccess& access)
{
    return existsOnAccess(tableName, access,
                          [](TTableStruct& s) { return s.ObjectExists(s.TableName(), TypeTable); });
}

bool FieldExists(const QString& tableName, const QString& fieldName, TDBAccess& access)
{
    return existsOnAccess(tableName, access,
                          [&fieldName](TTableStruct& s) { return s.ColumnExists(fieldName); });
}
