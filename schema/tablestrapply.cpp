// Applying a loaded structure: an alteration in place, or a rebuild that creates a copy table,
// copies every row into it, carries the child links and permissions over, drops the old table and
// renames the copy; and dropping a table after the links of its children. On the local kind all
// of it runs in one transaction of the structure's connection, so a failure leaves every row and
// every metadata row as it was.
#include "tablestrengine.h"

#include "schemawork.h"
#include "tablestrwork.h"

#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>
#include <platform/db/database.h>

#include <cstdlib>

using namespace strwork;

namespace {

void openWith(SqlQuery& q, const char* param, const QString& value)
{
    q.close();
    q.paramByName(QLatin1String(param)).setAsString(value);
    q.open();
    q.recordCount(); // read whole: no statement stays open on the connection
}

constexpr quint8 AllTriggers = TriggerBit::Insert | TriggerBit::Update | TriggerBit::Delete;

} // namespace

void TableStrCrashPoint(const char* Step)
{
    static const QByteArray at = qgetenv("QUORVANE_TEST_CRASH_AT");
    if (!at.isEmpty() && at == Step)
        std::_Exit(70);
}

QString TTableStrEngine::copyTableName() const
{
    return TS.NewName().isEmpty() ? TS.TableName() + QStringLiteral("_TMP") : TS.NewName();
}

void TTableStrEngine::closeReaders()
{
    for (SqlQuery* q : {&Q, &QCopy, &QFields, &QTable, &QPLinks, &QCLinks, &QTables, &QLink,
                        &QDBFields, &QMSSQLInd, &QMSSQLKeys, &QOraInd, &QOraKeys, &QFieldsMSSQL,
                        &QFMTable, &QFMField, &QFMLookup, &QChilds, &QPerm})
        q->close();
    T.close();
}

void TTableStrEngine::SaveStructure()
{
    ValidateStructure(true);
    const bool rebuild = m_action == uaAlter && NeedsRecreate();
    InLocalTransaction(StructDatabase, ServerKind, [this, rebuild] { apply(rebuild); });
    TableNameBox.clear();
    SetActionIndex(-1);
}

void TTableStrEngine::apply(bool rebuild)
{
    if (!rebuild)
        AssignStructure(); // compares with the live table before its readers close
    closeReaders();
    if (rebuild) {
        checkCopyTableName();
        CreateCopyTable();
        CopyLinksAndPermissions();
        TableStrCrashPoint("table-dropped");
        if (TS.NewName().isEmpty())
            RenameCopyTable();
        RelinkChildren(false);
        RestoreIndexesAndLinks();
        // The children were relinked while the table's rows still named its old name.
        if (!TS.NewName().isEmpty())
            rebuildRenamedDeleteTrigger();
        return;
    }
    TSR.Clear();
    TSR.Assign(TS);
    TSR.SetNewName(QString());
    TSR.Execute();
    if (!TS.NewName().isEmpty()) {
        TS.TriggersChanged |= AllTriggers;
        RenameTable();
    } else {
        RelinkChildren(true);
    }
}

bool TTableStrEngine::NeedsRecreate()
{
    if (!FieldOrderText().isEmpty())
        return true;
    bool recreate = false;
    for (const Bookmark& b : TFields.bookmarks()) {
        TFields.viewRecord(b, [this, &recreate] {
            const QString mark = Mark(TFields);
            recreate = recreate || (mark == MarkAltered && !B(TFields, "ONLY_META")) ||
                       (mark == MarkNew && B(TFields, "REQUIRED"));
        });
    }
    if (ServerKind == ServerKind::Standard) {
        for (const Bookmark& b : TInd.bookmarks()) {
            TInd.viewRecord(b, [this, &recreate] {
                recreate = recreate || (Mark(TInd) == MarkAltered && B(TInd, "PK"));
            });
        }
    }
    return recreate;
}

bool TTableStrEngine::tableExists(const QString& name)
{
    TTableStruct probe;
    probe.SetTableName(name);
    probe.ServerKind = ServerKind;
    SchemaWork().Bind(StructDatabase);
    return probe.ObjectExists(probe.TableName(), QStringLiteral("TABLE"));
}

void TTableStrEngine::checkCopyTableName()
{
    // Creating the copy drops any table of its name: a table of the new name is someone else's,
    // and a copy left by an earlier rebuild may hold the only rows of this table.
    const QString copy = copyTableName();
    if (!tableExists(copy))
        return;
    if (!TS.NewName().isEmpty())
        DBKernelError(QStringLiteral("Table %1 cannot be renamed to %2: a table named %2 already "
                                     "exists.")
                          .arg(TS.TableName(), copy));
    openWith(QTable, "TABLE_NAME", TS.TableName());
    const bool described = !QTable.isEmpty();
    QTable.close();
    if (!described)
        DBKernelError(QStringLiteral("Table %1 cannot be rebuilt: it has no METATABLE row and the "
                                     "table %2 left by an earlier rebuild may hold its rows.")
                          .arg(TS.TableName(), copy));
}

void TTableStrEngine::CreateCopyTable()
{
    const bool asChar = ServerKind == ServerKind::Oracle || ReadBooleanAsChar(Q, ServerKind);
    const QString copy = copyTableName();
    TSR.Clear();
    TSR.SetTableName(copy);
    TSR.SetUpgradeAction(uaCreate);
    TSR.SetCustom(MemoLines(S(TTable, "CUSTOM")));
    TSR.SetInsertHead(MemoLines(S(TTable, "INSERT_HEAD")));
    TSR.SetInsertBody(MemoLines(S(TTable, "INSERT_BODY")));
    TSR.SetUpdateHead(MemoLines(S(TTable, "UPDATE_HEAD")));
    TSR.SetUpdateBody(MemoLines(S(TTable, "UPDATE_BODY")));
    TSR.SetDeleteHead(MemoLines(S(TTable, "DELETE_HEAD")));
    TSR.SetDeleteBody(MemoLines(S(TTable, "DELETE_BODY")));
    TSR.SetReplication(B(TTable, "REPL"));
    openWith(QTable, "TABLE_NAME", TS.TableName());
    const bool traced = !QTable.isEmpty() && FieldAsBoolean(F(QTable, "TRACE_LOG"));
    QTable.close();
    TSR.SetTraceLogAction(traced || TS.TraceLogAction() == tlaEnable ? tlaEnable : tlaDefault);

    const QString falseValue = asChar                            ? QStringLiteral("'F'")
                               : ServerKind == ServerKind::MSSQL ? QStringLiteral("0")
                                                                 : QStringLiteral("False");
    // The names as the statement writes them; the false constant as it stands.
    QStringList insertList, selectList;
    for (TFields.first(); !TFields.eof(); TFields.next()) {
        const QString mark = Mark(TFields);
        if (mark == MarkDropped)
            continue;
        TFieldItem* item = TSR.Fields().Add();
        item->FieldName = S(TFields, "NEW_NAME");
        item->DataType = TDataType(I(TFields, "DATATYPE"));
        item->Size = I(TFields, "SIZE");
        item->Precision = I(TFields, "PREC");
        item->Custom = MemoLines(S(TFields, "CUSTOM"));
        item->MetaType = S(TFields, "METATYPE");
        item->Options.setFlag(foRequired, B(TFields, "REQUIRED"));
        item->Options.setFlag(foHidden, B(TFields, "HIDDEN"));
        if (mark != MarkNew) {
            insertList.append(SqlName(item->FieldName, ServerKind));
            selectList.append(SqlName(S(TFields, "FIELD_NAME"), ServerKind));
        } else if (item->DataType == dtBoolean) {
            insertList.append(SqlName(item->FieldName, ServerKind));
            selectList.append(falseValue);
        }
    }
    SetStatement(
        QCopy,
        {QStringLiteral("insert into %1(%2)").arg(SqlName(copy, ServerKind), insertList.join(u',')),
         QStringLiteral("select %1 from %2")
             .arg(selectList.join(u','), SqlName(TS.TableName(), ServerKind))});
    if (TInd.locate(QStringLiteral("PK"), Variant(true))) {
        TIndexItem* key = TSR.Indexes().Add();
        key->IndexFields = S(TInd, "FIELDS");
        key->Options = idxPrimary;
        key->UpgradeAction = uaDrop; // the table's key is made from it
    }
    TSR.SkipRolePerm = true;
    try {
        TSR.Execute();
    } catch (...) {
        TSR.SkipRolePerm = false;
        throw;
    }
    TSR.SkipRolePerm = false;
    QCopy.execSql();
    if (ServerKind == ServerKind::MSSQL && B(TTable, "REPL")) {
        // The copy's insert trigger gave every row a second REC_VERSION row; the rows keep theirs.
        ExecStatement(
            Q, {QStringLiteral("delete from REC_VERSION where TABLE_NAME = '%1'").arg(copy)});
        if (!TS.NewName().isEmpty())
            ExecStatement(Q, {QStringLiteral("update REC_VERSION set TABLE_NAME = '%1' where "
                                             "TABLE_NAME = '%2'")
                                  .arg(copy, TS.TableName())});
    }
}

void TTableStrEngine::CopyLinksAndPermissions()
{
    TSR.Clear();
    const QString copy = copyTableName();
    openWith(QChilds, "PARENT", TS.TableName());
    openWith(QPerm, "TABLE_NAME", TS.TableName());
    QCopyParent.paramByName(QStringLiteral("NEW_PARENT")).setAsString(copy);
    QCopyPerm.paramByName(QStringLiteral("NEW_NAME")).setAsString(copy);
    const QString key = TS.KeyFields();
    for (QChilds.first(); !QChilds.eof(); QChilds.next()) {
        AssignParamsFromDataSet(QCopyParent, QChilds);
        if (!key.isEmpty())
            QCopyParent.paramByName(QStringLiteral("KEY_FIELDS")).setAsString(key);
        QCopyParent.execSql();
    }
    for (QPerm.first(); !QPerm.eof(); QPerm.next()) {
        AssignParamsFromDataSet(QCopyPerm, QPerm);
        QCopyPerm.execSql();
        const QString role = S(QPerm, "DBNAME");
        if (ServerKind != ServerKind::Standard && !role.isEmpty())
            ExecStatement(Q, {BuildGrantSQL(SqlName(copy, ServerKind), role, S(QPerm, "ACTION"),
                                            ServerKind, I(QPerm, "KIND"))});
    }
    QChilds.close();
    QPerm.close();
    TSR.SetTableName(TS.TableName());
    TSR.SetUpgradeAction(uaDrop);
    TSR.Execute();
}

void TTableStrEngine::RenameCopyTable()
{
    TSR.Clear();
    TSR.SetTableName(TS.TableName() + QStringLiteral("_TMP"));
    TSR.SetNewName(TS.TableName());
    TSR.SetUpgradeAction(uaAlter);
    // The copy's triggers go with its old name; a replicated table needs its versioning ones
    // back under the table's name (replication alone writes nothing to METATABLE).
    TSR.SetReplication(B(TTable, "REPL"));
    TSR.Execute();
}

void TTableStrEngine::RelinkChildren(bool OnlyIfKeyChanged)
{
    if (TS.UpgradeAction() == uaCreate)
        return;
    const QString key = primaryKeyFields();
    QString loadedKey;
    const QList<Bookmark> loaded = TSrcInd.bookmarks();
    if (!loaded.isEmpty())
        TSrcInd.viewRecord(loaded.first(),
                           [this, &loadedKey] { loadedKey = S(TSrcInd, "FIELDS"); });
    TUpgradeAction childAction = uaCreate;
    if (!sameName(key, loadedKey)) {
        // A key of another width cannot carry the links: the children keep their columns and
        // their values, and lose the links.
        if (NameList(key).size() != NameList(loadedKey).size())
            childAction = uaDrop;
    } else if (OnlyIfKeyChanged) {
        return;
    }
    openWith(QChilds, "PARENT", TS.NewName().isEmpty() ? TS.TableName() : TS.NewName());
    TSR.Clear();
    for (QChilds.first(); !QChilds.eof(); QChilds.next()) {
        const QString child = S(QChilds, "CHILD");
        if (!sameName(child, TSR.TableName())) {
            openWith(QFields, "TABLE_NAME", child);
            if (!TSR.TableName().isEmpty()) {
                TSR.Execute();
                TSR.Clear();
            }
        }
        TSR.SetTableName(child);
        TSR.IsView = S(QChilds, "OBJECT_KIND") == QLatin1String("V");
        TSR.SetUpgradeAction(uaAlter);
        for (const QString& name : NameList(S(QChilds, "REF_FIELDS"))) {
            if (!QFields.locate(QStringLiteral("FIELD_NAME"), Variant(name),
                                DataSet::CaseInsensitive))
                continue;
            TFieldItem* field = TSR.Fields().Add();
            field->FieldName = S(QFields, "FIELD_NAME");
            field->Options.setFlag(foRequired, FieldAsBoolean(F(QFields, "REQUIRED")));
            field->UpgradeAction = uaAlter;
            field->Unchanged = true;
        }
        TLinkItem* link = TSR.Links().Add();
        if (!TS.NewName().isEmpty()) {
            link->MasterTable = TS.NewName();
            link->NewMasterTable = TS.TableName();
        } else {
            link->MasterTable = TS.TableName();
        }
        link->DeleteAction = DeleteActionOf(S(QChilds, "DEL_ACT"));
        link->UpgradeAction = childAction;
        link->MasterKeyFields = key;
        link->MasterFields = S(QChilds, "REF_FIELDS");
        link->Custom = MemoLines(S(QChilds, "CUSTOM"));
    }
    QChilds.close();
    QFields.close();
    if (!TSR.TableName().isEmpty()) {
        TSR.Execute();
        TSR.Clear();
    }
}

void TTableStrEngine::addLinkItems(bool restoring)
{
    for (TFields.first(); !TFields.eof(); TFields.next()) {
        if (I(TFields, "LINK_ID") == 0 || Mark(TFields) == MarkDropped)
            continue;
        TFieldItem* field = TSR.Fields().Add();
        field->UpgradeAction = uaAlter;
        field->FieldName = S(TFields, "NEW_NAME");
        field->Options.setFlag(foRequired, B(TFields, "REQUIRED"));
        field->Unchanged = restoring;
        if (restoring)
            continue;
        field->DataType = TDataType(I(TFields, "DATATYPE"));
        field->Size = I(TFields, "SIZE");
        field->Precision = I(TFields, "PREC");
        field->Options.setFlag(foHidden, B(TFields, "HIDDEN"));
        // Its METAFIELD row is written again: with its own label and type, not empty ones.
        field->Custom = MemoLines(S(TFields, "CUSTOM"));
        field->MetaType = S(TFields, "METATYPE");
    }
    for (TLink.first(); !TLink.eof(); TLink.next()) {
        if (Mark(TLink) == MarkDropped)
            continue;
        TLinkItem* link = TSR.Links().Add();
        link->MasterTable = S(TLink, "MASTER");
        // A link of the table to itself follows the key being made.
        const QString key = TSR.KeyFields();
        link->MasterKeyFields =
            sameName(link->MasterTable, TS.TableName()) && !key.isEmpty() ? key : S(TLink, "KEY");
        link->MasterFields = S(TLink, "NEW_REFERENCE");
        link->DeleteAction = TDeleteAction(I(TLink, "ACTION"));
        link->Custom = MemoLines(S(TLink, "CUSTOM"));
    }
}

void TTableStrEngine::RestoreIndexesAndLinks()
{
    TSR.Clear();
    TSR.SetTableName(TS.NewName().isEmpty() ? TS.TableName() : TS.NewName());
    TSR.SetUpgradeAction(uaAlter);
    for (TInd.first(); !TInd.eof(); TInd.next()) {
        if (Mark(TInd) == MarkDropped)
            continue;
        TIndexItem* index = TSR.Indexes().Add();
        index->Name = S(TInd, "NEW_NAME");
        index->IndexFields = S(TInd, "FIELDS");
        index->Options.setFlag(idxPrimary, B(TInd, "PK"));
        index->Options.setFlag(idxUnique, B(TInd, "UNIQUE"));
        index->Options.setFlag(idxClastered, B(TInd, "CLASTERED"));
    }
    addLinkItems(true);
    TSR.Execute();
}

void TTableStrEngine::RenameTable()
{
    TSR.Clear();
    TSR.SetTableName(TS.TableName());
    TSR.SetNewName(TS.NewName());
    TSR.SetUpgradeAction(uaAlter);
    addLinkItems(false);
    // The triggers are rebuilt from the stored texts: they go back as they are.
    TSR.SetInsertHead(MemoLines(TrimmedText(S(TTable, "INSERT_HEAD"))));
    TSR.SetInsertBody(MemoLines(TrimmedText(S(TTable, "INSERT_BODY"))));
    TSR.SetUpdateHead(MemoLines(TrimmedText(S(TTable, "UPDATE_HEAD"))));
    TSR.SetUpdateBody(MemoLines(TrimmedText(S(TTable, "UPDATE_BODY"))));
    TSR.SetDeleteHead(MemoLines(TrimmedText(S(TTable, "DELETE_HEAD"))));
    TSR.SetDeleteBody(MemoLines(TrimmedText(S(TTable, "DELETE_BODY"))));
    TSR.TriggersChanged = TS.TriggersChanged | AllTriggers;
    TSR.Execute();
    RelinkChildren(false);
    rebuildRenamedDeleteTrigger();
}

void TTableStrEngine::rebuildRenamedDeleteTrigger()
{
    if (TSR.Links().Count() == 0)
        TSR.Links().Add();
    TSR.Links().Items(0)->MasterTable = TS.NewName();
    TSR.Links().Items(0)->NewMasterTable.clear();
    TSR.GenerateDeleteTrigger(TS.NewName(), TS.NewName());
}

void TTableStrEngine::DropTable(TTableStruct& D)
{
    TDBVersion* version = D.DBVersion();
    if (!version)
        DBKernelError(QStringLiteral("Not assigned DBVersion for TableStruct ") + D.objectName());
    if (!version->DataBase())
        DBKernelError(QStringLiteral("Not assigned data base for DBVersion ") +
                      version->objectName());
    version->UpdateServerKind();
    ServerKind = version->ServerKind();
    StructDatabase = version->DataBase();
    bindDatabase(StructDatabase);
    QCLinks.setDatabase(StructDatabase);
    InLocalTransaction(StructDatabase, ServerKind, [this, &D] { dropTable(D); });
}

void TTableStrEngine::dropTable(TTableStruct& D)
{
    closeReaders();
    TSR.Clear();
    TSR.SetDBVersion(D.DBVersion());
    openWith(QCLinks, "TABLE_NAME", D.TableName());
    // One alteration per run of rows of one child: the child loses its links to the table.
    TSR.Clear();
    TSR.SetUpgradeAction(uaAlter);
    QCLinks.first();
    if (!QCLinks.eof())
        TSR.SetTableName(S(QCLinks, "CHILD"));
    while (!QCLinks.eof()) {
        TLinkItem* link = TSR.Links().Add();
        link->UpgradeAction = uaDrop;
        link->MasterTable = S(QCLinks, "PARENT");
        link->MasterKeyFields = S(QCLinks, "KEY_FIELDS");
        link->MasterFields = S(QCLinks, "REF_FIELDS");
        QCLinks.next();
        if (!QCLinks.eof() && sameName(S(QCLinks, "CHILD"), TSR.TableName()))
            continue;
        TSR.Execute();
        TSR.Clear();
        if (!QCLinks.eof())
            TSR.SetTableName(S(QCLinks, "CHILD"));
    }
    QCLinks.close();
    TSR.Clear();
    TSR.SetUpgradeAction(uaDrop);
    TSR.SetTableName(D.TableName());
    openWith(QPLinks, "TABLE_NAME", D.TableName());
    for (QPLinks.first(); !QPLinks.eof(); QPLinks.next()) {
        TLinkItem* link = TSR.Links().Add();
        link->UpgradeAction = uaDrop;
        link->MasterTable = S(QPLinks, "PARENT");
        link->MasterKeyFields = S(QPLinks, "KEY_FIELDS");
        link->MasterFields = S(QPLinks, "REF_FIELDS");
    }
    QPLinks.close();
    TSR.Execute();
}
