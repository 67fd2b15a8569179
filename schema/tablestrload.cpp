// Loading a structure into the engine: the live table's columns, indexes per server kind and
// links, the kernel metadata rows, the legacy labels of a copied table, and the structure's items
// laid over them with their edit marks.
#include "tablestrengine.h"

#include "schemawork.h"
#include "tablestrwork.h"

#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>

#include <QScopedValueRollback>

using namespace strwork;

namespace {

const QString PrimaryKeyName = QStringLiteral("PRIMARY KEY");

// Reads the whole result, so that no statement stays open on the connection.
void openAll(SqlQuery& q)
{
    q.close();
    q.open();
    q.recordCount();
}

void setParam(SqlQuery& q, const char* name, const QString& value)
{
    q.close();
    q.paramByName(QLatin1String(name)).setAsString(value);
}

QString caption(const QStringList& captions, int index)
{
    return index >= 0 && index < captions.size() ? captions.at(index) : QString();
}

QString quotedLiteral(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
}

// A name whose first "_ID" ends it: the name of a table's key.
bool endsWithId(const QString& name)
{
    const qsizetype at = name.indexOf(QLatin1String("_ID"));
    return at >= 0 && at == name.size() - 3;
}

void setFalse(DataSet& d, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        F(d, n).setAsBoolean(false);
}

} // namespace

void TTableStrEngine::LoadStructure(TTableStruct& Struct)
{
    TDBVersion* version = Struct.DBVersion();
    if (!version)
        DBKernelError(QStringLiteral("Not assigned DBVersion for TableStruct ") +
                      Struct.objectName());
    if (!version->DataBase())
        DBKernelError(QStringLiteral("Not assigned data base for DBVersion ") +
                      version->objectName());
    if (Struct.UpgradeAction() == uaDrop)
        DBKernelError(QStringLiteral("Cannot edit TableStruct with upgarde action drop"));
    SourceStruct = &Struct;
    BadTableName = false;
    version->UpdateServerKind();
    ServerKind = version->ServerKind();
    StructDatabase = version->DataBase();
    bindDatabase(StructDatabase);
    FillTableList();
    FillExistingTablesMenu();
    TS.Assign(Struct);
    TS.SetDBVersion(version);
    TSR.SetDBVersion(version);
    SetActionIndex(Struct.UpgradeAction());
    showPage(pgTable);
    if (m_view)
        m_view->ShowTriggerPages(ServerKind != ServerKind::Standard);
    if ((!Struct.TableName().isEmpty() && m_action == uaCreate) ||
        (!T.tableName().isEmpty() && m_action == uaAlter))
        showPage(pgFields);
    CheckVersionLock();
}

void TTableStrEngine::FillTableList()
{
    TableList.clear();
    if (BatchMode || ServerKind != ServerKind::MSSQL)
        return;
    SetStatement(QTables, {QStringLiteral("select * from METATABLE where OBJECT_KIND = 'T'")});
    openAll(QTables);
    for (QTables.first(); !QTables.eof(); QTables.next()) {
        if (FieldAsBoolean(F(QTables, "SYSTEM")))
            TableList.append(S(QTables, "TABLE_NAME"));
    }
    QTables.close();
}

void TTableStrEngine::FillExistingTablesMenu()
{
    UserTableList.clear();
    if (BatchMode || ServerKind != ServerKind::MSSQL)
        return;
    SetStatement(
        QTables,
        {QStringLiteral("select object_name(id) TABLE_NAME from sysobjects where type = 'U'")});
    openAll(QTables);
    for (QTables.first(); !QTables.eof(); QTables.next())
        UserTableList.append(S(QTables, "TABLE_NAME"));
    QTables.close();
}

void TTableStrEngine::ResetTablePage()
{
    TTable.close();
    TTable.createDataSet();
    TTable.append();
    F(TTable, "TABLE_NAME").setAsString(TS.TableName());
    if (TTable.state() != DataSet::State::Browse)
        TTable.post();
}

void TTableStrEngine::ReloadStructure()
{
    LoadTablePage();
    LoadFieldsGrid();
    LoadIndexesGrid();
    LoadLinksGrid();
    StructLoaded = true;
}

void TTableStrEngine::LoadTablePage()
{
    TTable.edit();
    static const char* const texts[] = {"CUSTOM",      "INSERT_HEAD", "INSERT_BODY", "UPDATE_HEAD",
                                        "UPDATE_BODY", "DELETE_HEAD", "DELETE_BODY"};
    if (m_action == uaAlter) {
        setParam(QTable, "TABLE_NAME", S(TTable, "TABLE_NAME"));
        openAll(QTable);
        if (!QTable.isEmpty()) {
            for (const char* name : texts)
                F(TTable, name).setValue(F(QTable, name).value());
        }
        QTable.close();
    } else if (m_action == uaCreate && CopyingTable) {
        readLegacyTableLabel();
    }
    F(TTable, "NEW_NAME").setAsString(TS.NewName());
    if (!TS.Custom().isEmpty() || TS.CustomChanged)
        F(TTable, "CUSTOM").setAsString(ListText(TS.Custom()));
    const auto put = [this](const char* name, const QStringList& lines, bool changed) {
        if (!lines.isEmpty() || changed)
            F(TTable, name).setAsString(ListText(lines));
    };
    const bool insertChanged = TS.TriggersChanged & TriggerBit::Insert;
    put("INSERT_HEAD", TS.InsertHead(), insertChanged);
    put("INSERT_BODY", TS.InsertBody(), insertChanged);
    put("UPDATE_HEAD", TS.UpdateHead(), false);
    put("UPDATE_BODY", TS.UpdateBody(), false);
    put("DELETE_HEAD", TS.DeleteHead(), false);
    put("DELETE_BODY", TS.DeleteBody(), false);
    struct Drop
    {
        TDropTriggerOption kind;
        const char* head;
        const char* body;
    };
    for (const Drop& d : {Drop{dtDelete, "DELETE_HEAD", "DELETE_BODY"},
                          Drop{dtInsert, "INSERT_HEAD", "INSERT_BODY"},
                          Drop{dtUpdate, "UPDATE_HEAD", "UPDATE_BODY"}}) {
        if (TS.DropTriggers().testFlag(d.kind)) {
            F(TTable, d.head).clear();
            F(TTable, d.body).clear();
        }
    }
    F(TTable, "REPL").setAsBoolean(TS.Replication());
}

void TTableStrEngine::readLegacyTableLabel()
{
    try {
        openAll(QFMTable);
        if (!QFMTable.isEmpty()) {
            QFMTable.first();
            const QString label = S(QFMTable, "LIB");
            F(TTable, "CUSTOM")
                .setAsString(ListText({QStringLiteral("Label=") + label,
                                       QStringLiteral("MultiLabel=") + label + u's'}));
        }
        QFMTable.close();
    } catch (const Exception&) {
        QFMTable.close(); // the legacy tables may not exist
    }
}

void TTableStrEngine::LoadFieldsGrid()
{
    recreate(TFields);
    recreate(TSrcFld);
    QScopedValueRollback<bool> updating(Updating, true);
    ControlsOff off(TFields);
    bool labels = false;
    if (CopyingTable) {
        try {
            openAll(QFMField);
            labels = true;
            openAll(QFMLookup);
        } catch (const Exception&) {
            QFMLookup.close(); // the labels are then missing
        }
    }
    int counter = 1;
    if (m_action == uaAlter || CopyingTable)
        readLiveFields(counter, labels);
    CopyAllRecords(TFields, TSrcFld);
    layStructureFields(counter);
    if (!TS.FieldsOrder().isEmpty()) {
        const QStringList names = TS.FieldsOrder().split(QLatin1Char(','));
        for (int i = 0; i < names.size(); ++i) {
            if (!TFields.locate(QStringLiteral("FIELD_NAME"), Variant(names.at(i).trimmed()),
                                DataSet::CaseInsensitive))
                continue;
            TFields.edit();
            F(TFields, "ORDER").setAsInteger(i + 1);
            TFields.post();
        }
    }
    QFMField.close();
    QFMLookup.close();
    TFields.first();
}

// One field row per column of the live table (GUID aside), numbered from `counter` on: typed from
// its METAFIELD row when it has one, else from the column; a copied table's rows are new ones.
void TTableStrEngine::readLiveFields(int& counter, bool labels)
{
    setParam(QFields, "TABLE_NAME", S(TTable, "TABLE_NAME"));
    openAll(QFields);
    const bool mssqlTypes = CopyingTable && ServerKind == ServerKind::MSSQL;
    if (mssqlTypes)
        openAll(QFieldsMSSQL);
    const FieldDefs live = liveColumns();
    for (const FieldDef& def : live.list()) {
        if (def.name == QLatin1String("GUID"))
            continue;
        TFields.append();
        F(TFields, "FIELD_NAME").setAsString(def.name);
        F(TFields, "NEW_NAME").setAsString(def.name);
        F(TFields, "ORDER").setAsInteger(counter);
        setFalse(TFields, {"REQUIRED", "HIDDEN", "STORED", "ONLY_META"});
        if (QFields.locate(QStringLiteral("FIELD_NAME"), Variant(def.name),
                           DataSet::CaseInsensitive)) {
            F(TFields, "DATATYPE").setAsInteger(F(QFields, "DATATYPE").asInteger());
            if (I(QFields, "FSIZE") != 0)
                F(TFields, "SIZE").setAsInteger(I(QFields, "FSIZE"));
            if (I(QFields, "FPREC") != 0)
                F(TFields, "PREC").setAsInteger(I(QFields, "FPREC"));
            F(TFields, "REQUIRED").setAsBoolean(FieldAsBoolean(F(QFields, "REQUIRED")));
            F(TFields, "HIDDEN").setAsBoolean(!FieldAsBoolean(F(QFields, "VISIBLE")));
            F(TFields, "CUSTOM").setValue(F(QFields, "CUSTOM").value());
            F(TFields, "METATYPE").setValue(F(QFields, "METATYPE").value());
            if (CopyingTable)
                F(TFields, "UA").setAsString(MarkNew);
        } else {
            F(TFields, "DATATYPE").setAsInteger(FieldTypeToDataType(def.type));
            if (def.size != 0)
                F(TFields, "SIZE").setAsInteger(def.size);
            if (def.type == FieldType::Float) {
                F(TFields, "SIZE").setAsInteger(20);
                F(TFields, "PREC").setAsInteger(6);
            }
            if (CopyingTable) {
                if (mssqlTypes && QFieldsMSSQL.locate(QStringLiteral("name"), Variant(def.name),
                                                      DataSet::CaseInsensitive)) {
                    F(TFields, "REQUIRED").setAsBoolean(I(QFieldsMSSQL, "isnullable") == 0);
                    if (I(QFieldsMSSQL, "xusertype") == 258) {
                        F(TFields, "DATATYPE").setAsInteger(dtBoolean);
                        F(TFields, "SIZE").clear();
                    }
                }
                const bool hidden = def.type == FieldType::Integer && endsWithId(def.name);
                F(TFields, "HIDDEN").setAsBoolean(hidden);
                F(TFields, "UA").setAsString(MarkNew);
                if (labels && !hidden)
                    readLegacyFieldLabels();
            }
        }
        F(TFields, "DT").setAsString(caption(DataTypeCaptions(), I(TFields, "DATATYPE") - 1));
        TFields.post();
        ++counter;
    }
    QFieldsMSSQL.close();
}

void TTableStrEngine::readLegacyFieldLabels()
{
    const QString name = S(TFields, "FIELD_NAME");
    QStringList lines;
    QFMField.setFilter(QStringLiteral("CODE = %1 and LANGUE_ID = 1").arg(quotedLiteral(name)));
    QFMField.setFiltered(true);
    if (!QFMField.isEmpty()) {
        QFMField.first();
        QString label = S(QFMField, "LIB");
        if (label.startsWith(QLatin1Char('<')))
            label.remove(0, 1);
        if (label.endsWith(QLatin1Char('>')))
            label.chop(1);
        lines.append(QStringLiteral("Label=") + label);
    }
    QFMField.setFiltered(false);
    if (QFMLookup.isActive()) {
        QFMLookup.setFilter(
            QStringLiteral("FIELD_NAME = %1 and LANGUE_ID = 1").arg(quotedLiteral(name)));
        QFMLookup.setFiltered(true);
        QStringList codes, libs;
        for (QFMLookup.first(); !QFMLookup.eof(); QFMLookup.next()) {
            codes.append(S(QFMLookup, "CODE"));
            libs.append(S(QFMLookup, "LIB"));
        }
        QFMLookup.setFiltered(false);
        if (!codes.isEmpty())
            lines << QStringLiteral("LookupKeys=") + codes.join(QLatin1Char(','))
                  << QStringLiteral("LookupValues=") + libs.join(QLatin1Char(','));
    }
    if (!lines.isEmpty())
        F(TFields, "CUSTOM").setAsString(ListText(lines));
}

void TTableStrEngine::layStructureFields(int& counter)
{
    for (const TFieldItem& item : TS.Fields()) {
        if (item.FieldName.isEmpty())
            continue;
        if (TFields.locate(QStringLiteral("FIELD_NAME"), Variant(item.FieldName),
                           DataSet::CaseInsensitive)) {
            if (item.UpgradeAction == uaCreate)
                continue; // the column exists
            TFields.edit();
            F(TFields, "NEW_NAME").setAsString(QString());
            if (item.UpgradeAction == uaAlter) {
                F(TFields, "UA").setAsString(MarkAltered);
                F(TFields, "NEW_NAME").setAsString(item.NewName);
                if (I(TFields, "SIZE") != item.Size)
                    F(TFields, "SIZE").setAsInteger(item.Size);
                if (I(TFields, "PREC") != item.Precision)
                    F(TFields, "PREC").setAsInteger(item.Precision);
            } else {
                F(TFields, "UA").setAsString(MarkDropped);
            }
        } else {
            if (item.UpgradeAction != uaCreate)
                continue;
            TFields.append();
            F(TFields, "UA").setAsString(MarkNew);
            F(TFields, "ORDER").setAsInteger(counter++);
            setFalse(TFields, {"STORED", "ONLY_META"});
            if (item.Size != 0)
                F(TFields, "SIZE").setAsInteger(item.Size);
            if (item.Precision != 0)
                F(TFields, "PREC").setAsInteger(item.Precision);
        }
        F(TFields, "FIELD_NAME").setAsString(item.FieldName);
        if (S(TFields, "NEW_NAME").isEmpty())
            F(TFields, "NEW_NAME").setAsString(item.FieldName);
        if (item.DataType != dtUnknown)
            F(TFields, "DATATYPE").setAsInteger(item.DataType);
        F(TFields, "DT").setAsString(caption(DataTypeCaptions(), I(TFields, "DATATYPE") - 1));
        F(TFields, "REQUIRED").setAsBoolean(item.Options.testFlag(foRequired));
        F(TFields, "HIDDEN").setAsBoolean(item.Options.testFlag(foHidden));
        if (!item.Custom.isEmpty())
            F(TFields, "CUSTOM").setAsString(ListText(item.Custom));
        // The column's metatype is kept unless the item gives one.
        if (!item.MetaType.isEmpty())
            F(TFields, "METATYPE").setAsString(item.MetaType);
        if (Mark(TFields) == MarkAltered)
            MarkFieldChange();
        TFields.post();
    }
}

void TTableStrEngine::LoadIndexesGrid()
{
    recreate(TInd);
    recreate(TSrcInd);
    ControlsOff off(TInd);
    QScopedValueRollback<bool> updating(Updating, true);
    if (m_action == uaAlter || CopyingTable)
        readLiveIndexes();
    CopyAllRecords(TInd, TSrcInd);
    layStructureIndexes();
    if (!TInd.locate(QStringLiteral("PK"), Variant(true))) {
        TInd.first();
        TInd.insert();
        F(TInd, "UA").setAsString(MarkNew);
        F(TInd, "NAME").setAsString(PrimaryKeyName);
        F(TInd, "NEW_NAME").setAsString(PrimaryKeyName);
        for (const char* flag : {"PK", "UNIQUE", "CLASTERED"})
            F(TInd, flag).setAsBoolean(true);
        F(TInd, "FIELDS").setAsString(QString());
        TInd.post();
    }
    TInd.first();
}

void TTableStrEngine::readLiveIndexes()
{
    // The primary key is always the first row.
    const auto addRow = [this](const QString& name, const QString& fields, bool unique,
                               bool clustered, bool primary) {
        if (primary) {
            TInd.first();
            TInd.insert();
        } else {
            TInd.append();
        }
        F(TInd, "NAME").setAsString(primary ? PrimaryKeyName : name);
        F(TInd, "NEW_NAME").setAsString(primary ? PrimaryKeyName : name);
        F(TInd, "FIELDS").setAsString(fields);
        F(TInd, "UNIQUE").setAsBoolean(unique);
        F(TInd, "CLASTERED").setAsBoolean(clustered);
        F(TInd, "PK").setAsBoolean(primary);
        F(TInd, "UA").setAsString(CopyingTable ? MarkNew : QString());
        TInd.post();
    };
    switch (ServerKind) {
    case ServerKind::MSSQL: {
        openAll(QMSSQLInd);
        const auto columns = [this](qint64 indid, int count) {
            QStringList names;
            for (int n = 1; n <= count; ++n) {
                QMSSQLKeys.close();
                QMSSQLKeys.paramByName(QStringLiteral("indid")).setAsInteger(indid);
                QMSSQLKeys.paramByName(QStringLiteral("nkey")).setAsInteger(n);
                openAll(QMSSQLKeys);
                const QString name = QMSSQLKeys.isEmpty() ? QString() : S(QMSSQLKeys, "col_name");
                if (name.isEmpty())
                    break;
                names.append(name);
            }
            QMSSQLKeys.close();
            return names.join(QLatin1Char(','));
        };
        for (const bool primaryPass : {true, false}) {
            for (QMSSQLInd.first(); !QMSSQLInd.eof(); QMSSQLInd.next()) {
                const qint64 status = F(QMSSQLInd, "status").asInteger();
                const bool primary = status & 0x800;
                const QString name = S(QMSSQLInd, "name");
                if (primary != primaryPass ||
                    (!primary && name.contains(QLatin1String("_WA_Sys_"))))
                    continue;
                const qint64 indid = F(QMSSQLInd, "indid").asInteger();
                addRow(name, columns(indid, I(QMSSQLInd, "keycnt")), status & 2, indid == 1,
                       primary);
            }
        }
        QMSSQLInd.close();
        break;
    }
    case ServerKind::Oracle: {
        openAll(QOraInd);
        openAll(QOraKeys);
        QOraInd.first();
        const QString key = QStringLiteral("PK_") + S(QOraInd, "TABLE_NAME");
        for (; !QOraInd.eof(); QOraInd.next()) {
            const QString name = S(QOraInd, "INDEX_NAME");
            QOraKeys.setFilter(QStringLiteral("INDEX_NAME = %1").arg(quotedLiteral(name)));
            QOraKeys.setFiltered(true);
            QStringList columns;
            for (QOraKeys.first(); !QOraKeys.eof(); QOraKeys.next())
                columns.append(S(QOraKeys, "COLUMN_NAME"));
            QOraKeys.setFiltered(false);
            addRow(name, columns.join(QLatin1Char(',')),
                   S(QOraInd, "UNIQUENESS") == QLatin1String("UNIQUE"), false, sameName(name, key));
        }
        QOraInd.close();
        QOraKeys.close();
        break;
    }
    case ServerKind::Standard: {
        // The key is the table's primary index, never the database's own key.
        const IndexDefs defs = T.storedIndexDefs();
        for (const IndexDef& def : defs.list())
            addRow(def.name, QString(def.fields).replace(QLatin1Char(';'), QLatin1Char(',')),
                   def.options.testFlag(IndexDef::Unique), false,
                   def.options.testFlag(IndexDef::Primary));
        break;
    }
    default:
        break;
    }
}

void TTableStrEngine::layStructureIndexes()
{
    for (const TIndexItem& item : TS.Indexes()) {
        if (item.Name.isEmpty())
            continue;
        const bool primary = item.Options.testFlag(idxPrimary);
        // Oracle's index names are the schema's: one made under the table's prefix, its plain
        // name being taken, is the index the item names (as DropIndex finds it).
        const bool found =
            TInd.locate(QStringLiteral("NAME"), Variant(item.Name), DataSet::CaseInsensitive) ||
            (ServerKind == ServerKind::Oracle &&
             TInd.locate(QStringLiteral("NAME"), Variant(TS.TableName() + u'_' + item.Name),
                         DataSet::CaseInsensitive));
        if (found) {
            if (item.UpgradeAction == uaCreate)
                continue; // the index exists
            TInd.edit();
            F(TInd, "NEW_NAME").setAsString(QString());
            if (item.UpgradeAction == uaAlter) {
                F(TInd, "UA").setAsString(MarkAltered);
                F(TInd, "FIELDS").setAsString(item.IndexFields);
                F(TInd, "NEW_NAME").setAsString(item.NewName);
            } else {
                F(TInd, "UA").setAsString(MarkDropped);
            }
        } else {
            if (item.UpgradeAction != uaCreate)
                continue;
            // The rest of the engine takes the first row for the primary key.
            if (primary) {
                TInd.first();
                TInd.insert();
            } else {
                TInd.append();
            }
            F(TInd, "UA").setAsString(MarkNew);
            F(TInd, "FIELDS").setAsString(item.IndexFields);
        }
        F(TInd, "NAME").setAsString(item.Name);
        if (S(TInd, "NEW_NAME").isEmpty())
            F(TInd, "NEW_NAME").setAsString(item.Name);
        F(TInd, "PK").setAsBoolean(primary);
        F(TInd, "UNIQUE").setAsBoolean(item.Options.testFlag(idxUnique));
        F(TInd, "CLASTERED").setAsBoolean(item.Options.testFlag(idxClastered));
        TInd.post();
    }
}

QString TTableStrEngine::primaryKeyFields()
{
    QString key;
    const QList<Bookmark> rows = TInd.bookmarks();
    if (!rows.isEmpty())
        TInd.viewRecord(rows.first(), [this, &key] { key = S(TInd, "FIELDS"); });
    return key;
}

void TTableStrEngine::LoadLinksGrid()
{
    recreate(TLink);
    recreate(TSrcLink);
    ControlsOff off(TLink);
    QScopedValueRollback<bool> updating(Updating, true);
    if (m_action == uaAlter) {
        setParam(QPLinks, "TABLE_NAME", S(TTable, "TABLE_NAME"));
        openAll(QPLinks);
        for (QPLinks.first(); !QPLinks.eof(); QPLinks.next()) {
            TLink.append();
            F(TLink, "MASTER").setAsString(S(QPLinks, "PARENT"));
            F(TLink, "KEY").setAsString(S(QPLinks, "KEY_FIELDS"));
            F(TLink, "REFERENCE").setAsString(S(QPLinks, "REF_FIELDS"));
            const TDeleteAction action = DeleteActionOf(S(QPLinks, "DEL_ACT"));
            F(TLink, "ACTION").setAsInteger(action);
            F(TLink, "CUSTOM").setValue(F(QPLinks, "CUSTOM").value());
            F(TLink, "ACT").setAsString(caption(DeleteActionCaptions(), action));
            TLink.post();
        }
        QPLinks.close();
    }
    CopyAllRecords(TLink, TSrcLink);
    layStructureLinks();
    if (CopyingTable)
        guessLinks();
    bindLinkFields();
    TFields.first();
    TLink.first();
}

void TTableStrEngine::layStructureLinks()
{
    for (const TLinkItem& item : TS.Links()) {
        if (item.MasterTable.isEmpty() || item.MasterFields.isEmpty())
            continue;
        const QString refs = NameList(item.MasterFields).join(QLatin1Char(','));
        if (TLink.locate(QStringLiteral("MASTER;REFERENCE"),
                         {Variant(item.MasterTable), Variant(refs)}, DataSet::CaseInsensitive)) {
            if (item.UpgradeAction == uaCreate)
                continue; // the link exists
            TLink.edit();
            F(TLink, "UA").setAsString(item.UpgradeAction == uaAlter ? MarkAltered : MarkDropped);
        } else {
            if (item.UpgradeAction != uaCreate)
                continue;
            QString key;
            if (sameName(item.MasterTable, TS.TableName())) {
                key = primaryKeyFields();
            } else if (!item.MasterKeyFields.isEmpty()) {
                key = item.MasterKeyFields;
            } else {
                setParam(QLink, "TABLE_NAME", item.MasterTable);
                openAll(QLink);
                key = QLink.isEmpty() ? QString() : S(QLink, "KEY_FIELDS");
                QLink.close();
            }
            TLink.append();
            F(TLink, "UA").setAsString(MarkNew);
            F(TLink, "KEY").setAsString(key);
        }
        F(TLink, "MASTER").setAsString(item.MasterTable);
        F(TLink, "REFERENCE").setAsString(refs);
        F(TLink, "ACTION").setAsInteger(item.DeleteAction);
        F(TLink, "ACT").setAsString(caption(DeleteActionCaptions(), item.DeleteAction));
        if (!item.Custom.isEmpty())
            F(TLink, "CUSTOM").setAsString(ListText(item.Custom));
        TLink.post();
    }
}

void TTableStrEngine::guessLinks()
{
    bool first = true;
    for (TFields.first(); !TFields.eof(); TFields.next()) {
        const QString name = S(TFields, "FIELD_NAME");
        if (first || !endsWithId(name) || !HasName(UserTableList, name.left(name.size() - 3))) {
            first = false;
            continue;
        }
        TLink.append();
        F(TLink, "MASTER").setAsString(name.left(name.size() - 3));
        F(TLink, "KEY").setAsString(name);
        F(TLink, "REFERENCE").setAsString(name);
        F(TLink, "ACTION").setAsInteger(daNone);
        F(TLink, "ACT").setAsString(caption(DeleteActionCaptions(), daNone));
        F(TLink, "UA").setAsString(MarkNew);
        TLink.post();
    }
}

void TTableStrEngine::bindLinkFields()
{
    for (TLink.first(); !TLink.eof(); TLink.next()) {
        const QStringList refs = NameList(S(TLink, "REFERENCE"));
        QStringList names;
        for (const QString& ref : refs) {
            // A referencing field missing from the grid keeps its own name.
            if (!TFields.locate(QStringLiteral("FIELD_NAME"), Variant(ref),
                                DataSet::CaseInsensitive)) {
                names.append(ref);
                continue;
            }
            TFields.edit();
            F(TFields, "LINK_ID").setAsInteger(F(TLink, "LINK_ID").asInteger());
            TFields.post();
            names.append(S(TFields, "NEW_NAME"));
        }
        TLink.edit();
        F(TLink, "NEW_REFERENCE").setAsString(names.join(QLatin1Char(',')));
        if (!sameName(names.join(QLatin1Char(',')), refs.join(QLatin1Char(','))) &&
            Mark(TLink).isEmpty())
            F(TLink, "UA").setAsString(MarkAltered);
        TLink.post();
    }
}

FieldDefs TTableStrEngine::liveColumns() const
{
    // The local kind knows its tables' columns; the servers' come from a query of no rows.
    if (ServerKind == ServerKind::Standard && !T.tableName().isEmpty())
        return T.storedFieldDefs();
    return QDBFields.fieldDefs();
}

QString TTableStrEngine::FieldOrderText()
{
    ControlsOff off(TFields);
    const FieldDefs live = liveColumns();
    QStringList names;
    bool changed = false;
    int p = 0;
    for (const Bookmark& b : TFields.bookmarks()) {
        TFields.viewRecord(b, [&] {
            const QString name = S(TFields, "FIELD_NAME");
            names.append(name);
            if (Mark(TFields) == MarkNew)
                changed = changed || p < live.count();
            else
                changed = changed || p != live.indexOf(name);
        });
        ++p;
    }
    return changed ? names.join(QLatin1Char(',')) : QString();
}
