// The structure tool: connecting through an alias, the editor on one table, and applying what the
// user accepted.
#include "structuretool.h"

#include "schematools.h"
#include "tablestreditdlg.h"
#include "tablestrengine.h"

#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <platform/dialogs.h>

#include <QComboBox>
#include <QRegularExpression>
#include <QScopeGuard>

#include <cstdio>

namespace {

void printError(const QString& message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The kernel's metadata read the way the server data module reads it.
struct KernelConnection
{
    Database db;
    SqlQuery tables, fields, links;
    TDBAccess access;
    QString failure;

    explicit KernelConnection(const QString& alias)
    {
        db.setDatabaseName(QStringLiteral("Main"));
        db.setAliasName(alias);
        for (SqlQuery* q : {&tables, &fields, &links})
            q->setDatabase(&db);
        tables.setSql(QStringLiteral("select * from METATABLE order by TABLE_NAME"));
        fields.setSql(QStringLiteral("select * from METAFIELD order by TABLE_NAME,ORD"));
        links.setSql(QStringLiteral("select * from TABLELINK"));
        access.setObjectName(QStringLiteral("DBAccess1"));
        access.SetDataBase(&db);
        access.SetTables(&tables);
        access.SetFields(&fields);
        access.SetLinks(&links);
        // The reason goes to the caller instead of a box.
        access.OnConnectError = [this](const Exception& e, bool&) { failure = e.message(); };
    }
    ~KernelConnection() { db.close(); }
    KernelConnection(const KernelConnection&) = delete;
    KernelConnection& operator=(const KernelConnection&) = delete;
};

// The kernel's tables and the columns of theirs that the tool reads or writes (the access
// component's metadata, the editor's loading, and the statements of creating, altering, rebuilding
// and renaming a table), and the server kinds that need them: the triggers of the servers write
// KRN_SYS_TRACE, and on MS SQL Server REC_VERSION.
struct KernelTable
{
    const char* name;
    std::initializer_list<const char*> columns;
    bool local;
    bool mssql;
    bool oracle;
};

const KernelTable kernelTables[] = {
    {"VERSION", {"MODULE", "VERSION"}, true, true, true},
    {"_KRN_SYS_FLAGS", {"FLAG", "VALUE"}, true, true, true},
    {"METATABLE",
     {"TABLE_NAME", "KEY_FIELDS", "SYSTEM", "CUSTOM", "OWNER_NAME", "INSERT_HEAD", "INSERT_BODY",
      "UPDATE_HEAD", "UPDATE_BODY", "DELETE_HEAD", "DELETE_BODY", "REPL", "BASE_TABLE",
      "OBJECT_KIND", "TRACE_LOG"},
     true,
     true,
     true},
    {"METAFIELD",
     {"TABLE_NAME", "FIELD_NAME", "REQUIRED", "VISIBLE", "METATYPE", "DATATYPE", "FSIZE", "FPREC",
      "CUSTOM", "ORIGIN", "NATIVE_NAME", "ORD"},
     true,
     true,
     true},
    {"TABLELINK",
     {"PARENT", "CHILD", "KEY_FIELDS", "REF_FIELDS", "DEL_ACT", "CUSTOM"},
     true,
     true,
     true},
    {"ROLEPERM", {"DBROLE_ID", "TABLE_NAME", "ACTION", "KIND"}, true, true, true},
    {"DBROLE", {"DBROLE_ID", "DBNAME"}, true, true, true},
    {"KRN_SYS_TRACE", {"TABLE_NAME", "REC_ID", "ACTION"}, false, true, true},
    {"REC_VERSION",
     {"TABLE_NAME", "UNIREC_ID", "REC_GUID", "VERSION_GUID", "ISDELETED", "PATIENTS_ID"},
     false,
     true,
     false},
};

// What the connected database lacks of the kernel tables: "TABLE" for a missing table,
// "TABLE.COLUMN" for a missing column.
QStringList missingKernelParts(Database& db)
{
    const ServerKind::Kind kind = GetServerKind(db);
    SqlQuery q;
    q.setDatabase(&db);
    QStringList missing;
    for (const KernelTable& t : kernelTables) {
        if (!(kind == ServerKind::MSSQL    ? t.mssql
              : kind == ServerKind::Oracle ? t.oracle
                                           : t.local))
            continue;
        const QString table = QLatin1String(t.name);
        QStringList columns;
        try {
            // Oracle keeps _KRN_SYS_FLAGS under a quoted name.
            q.setSql(QStringLiteral("select * from %1 where 0=1").arg(SqlName(table, kind)));
            q.open();
            columns = q.fieldNames();
            q.close();
        } catch (const Exception&) {
            q.close();
            missing.append(table);
            continue;
        }
        for (const char* column : t.columns) {
            if (!columns.contains(QLatin1String(column), Qt::CaseInsensitive))
                missing.append(table + QLatin1Char('.') + QLatin1String(column));
        }
    }
    return missing;
}

bool tableExists(KernelConnection& k, const QString& table)
{
    if (k.access.FindTableProps(table))
        return true;
    return k.db.connection().tableNames().contains(table, Qt::CaseInsensitive);
}

// Applies the edited structure as a module version applies one: the engine loads it over the
// live table, checks it and makes the change.
void apply(KernelConnection& k, TTableStruct& edited)
{
    TTableStrEngine engine;
    engine.BatchMode = true;
    k.access.StartTransaction();
    try {
        engine.LoadStructure(edited);
        if (engine.BadTableName)
            DBKernelError(QStringLiteral("Wrong table name."));
        engine.SaveStructure();
        k.access.Commit();
    } catch (...) {
        k.access.Rollback();
        throw;
    }
}

QString report(const TTableStruct& s)
{
    if (s.UpgradeAction() == uaCreate)
        return QStringLiteral("Table %1 created.").arg(s.TableName());
    if (!s.NewName().isEmpty())
        return QStringLiteral("Table %1 altered and renamed %2.").arg(s.TableName(), s.NewName());
    return QStringLiteral("Table %1 altered.").arg(s.TableName());
}

} // namespace

int StructureToolMain(const QStringList& arguments)
{
    if (arguments.size() != 2 || arguments.at(0).isEmpty() || arguments.at(1).isEmpty()) {
        printError(QStringLiteral("Usage: quorvane-structure ALIAS TABLE\n"
                                  "Opens the structure editor on TABLE of the kernel database "
                                  "reached through the database alias ALIAS."));
        return 2;
    }
    // The name goes into statements as it is: only a plain name is taken.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_$#]*$"));
    if (!plainName.match(arguments.at(1)).hasMatch()) {
        printError(QStringLiteral("Not a table name: %1").arg(arguments.at(1)));
        return 2;
    }
    RegisterSchemaTools();
    const QString alias = arguments.at(0);
    if (!AliasRegistry::global().exists(alias)) {
        printError(QStringLiteral("Unknown database alias: %1 (aliases are kept in %2)")
                       .arg(alias, AliasRegistry::global().fileName()));
        return 1;
    }
    KernelConnection k(alias);
    // A database that cannot be reached is left to the access component, which says why.
    try {
        k.db.open();
    } catch (const Exception&) {
    }
    if (k.db.isConnected()) {
        const QStringList missing = missingKernelParts(k.db);
        if (!missing.isEmpty()) {
            printError(QStringLiteral("The database of alias %1 lacks what the structure tool "
                                      "needs of a kernel database: %2")
                           .arg(alias, missing.join(QStringLiteral(", "))));
            return 1;
        }
    }
    if (!k.access.Init()) {
        printError(k.failure.isEmpty()
                       ? QStringLiteral("The database of alias %1 could not be opened.").arg(alias)
                       : k.failure);
        return 1;
    }

    TDBVersion version;
    version.setObjectName(QStringLiteral("StructureTool"));
    version.SetDataBase(&k.db);
    TTableStruct edited;
    edited.setObjectName(arguments.at(1).toUpper());
    edited.SetDBVersion(&version);
    edited.SetTableName(arguments.at(1));
    bool failed = false;
    try {
        edited.SetUpgradeAction(tableExists(k, edited.TableName()) ? uaAlter : uaCreate);
        auto* editor = CreateForm<TTableStrEditDlg>();
        const auto free = qScopeGuard([editor] { editor->Free(); });
        editor->LoadStructure(edited);
        // A change that fails leaves the database as it was and the editor with the user's
        // edits, to be mended and applied again.
        for (;;) {
            if (editor->ShowModal() != mrOk)
                return failed ? 1 : 0;
            // The editor only describes the change; its caller decides whether to make it.
            if (!ConfirmMsg(
                    QStringLiteral("Apply the changes to table %1 now?").arg(edited.TableName())))
                return failed ? 1 : 0;
            try {
                apply(k, edited);
                break;
            } catch (const Exception& e) {
                failed = true;
                ErrorMsg(e.message());
                printError(e.message());
            }
            // OK emptied the name box; the table page still holds the name.
            editor->fTName->setEditText(
                editor->Engine.TTable.fieldByName(QStringLiteral("TABLE_NAME"))->asString());
        }
    } catch (const Exception& e) {
        ErrorMsg(e.message());
        printError(e.message());
        return 1;
    }
    dialogService().showMessage(report(edited));
    return 0;
}
