// The kernel's metadata rows of a structure: its METATABLE, METAFIELD and TABLELINK rows, the
// grants and ROLEPERM rows of a new table or view, the REC_VERSION rows of a table that becomes
// replicated, and the field order.
#include "schemawork.h"
#include "sqlnames.h"
#include "tablestruct.h"

#include <kernel/dbaccess.h>

namespace {

QString quoted(const QString& text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return doubled;
}

// DEL_ACT of a delete action.
QString deleteActionText(TDeleteAction action)
{
    switch (action) {
    case daCascade:
        return QStringLiteral("C");
    case daRestrict:
        return QStringLiteral("R");
    case daSetNull:
        return QStringLiteral("N");
    case daNoDelete:
        return QStringLiteral("X");
    case daNone:
        break;
    }
    return QStringLiteral(" ");
}

void setText(SqlQuery& q, const char* name, const QString& value)
{
    q.paramByName(QLatin1String(name)).setAsString(value);
}

void setMemo(SqlQuery& q, const char* name, const QString& value)
{
    q.paramByName(QLatin1String(name)).setAsMemo(value);
}

// The child a link row is written under: its own child name (a view's links) or the table's.
QString linkChild(const TLinkItem& item, const QString& tableName)
{
    return item.ChildTable.isEmpty() ? tableName : item.ChildTable;
}

} // namespace

void TTableStruct::InsertMetaTable()
{
    SqlQuery& q = SchemaWork().MainQuery;
    const QString name = TableName();
    SetStatement(
        q,
        {QStringLiteral("insert into METATABLE(TABLE_NAME,KEY_FIELDS,SYSTEM,CUSTOM,OWNER_NAME,"),
         QStringLiteral("INSERT_HEAD,INSERT_BODY,UPDATE_HEAD,UPDATE_BODY,DELETE_HEAD,DELETE_BODY,"
                        "REPL,"),
         QStringLiteral("BASE_TABLE, OBJECT_KIND,TRACE_LOG)"),
         QStringLiteral("values(:TABLE_NAME,:KEY_FIELDS,:SYSTEM,:CUSTOM,'%1',")
             .arg(quoted(OwnerName)),
         QStringLiteral(":INSERT_HEAD,:INSERT_BODY,:UPDATE_HEAD,:UPDATE_BODY,:DELETE_HEAD,"
                        ":DELETE_BODY,:REPL,"),
         QStringLiteral(":BASE_TABLE, :OBJECT_KIND, :TRACE_LOG)")});
    setText(q, "TABLE_NAME", name);
    setText(q, "KEY_FIELDS", KeyFields());
    SetTruthParam(q, QStringLiteral("SYSTEM"), m_system, ServerKind);
    setMemo(q, "CUSTOM", ListText(m_custom));
    setMemo(q, "INSERT_HEAD", ListText(m_insertHead));
    setMemo(q, "INSERT_BODY", ListText(m_insertBody));
    setMemo(q, "UPDATE_HEAD", ListText(m_updateHead));
    setMemo(q, "UPDATE_BODY", ListText(m_updateBody));
    setMemo(q, "DELETE_HEAD", ListText(m_deleteHead));
    setMemo(q, "DELETE_BODY", ListText(m_deleteBody));
    SetTruthParam(q, QStringLiteral("REPL"), m_replication, ServerKind);
    setText(q, "BASE_TABLE", BaseTable);
    setText(q, "OBJECT_KIND", IsView ? QStringLiteral("V") : QStringLiteral("T"));
    setText(q, "TRACE_LOG",
            m_traceLogAction == tlaEnable ? QStringLiteral("T") : QStringLiteral("F"));
    q.execSql();

    for (const TFieldItem& item : m_fields)
        InsertMetaField(item);

    if (ServerKind == ServerKind::MSSQL || ServerKind == ServerKind::Oracle) {
        const QString grantee = ServerKind == ServerKind::MSSQL ? QStringLiteral("PUBLIC")
                                                                : QStringLiteral("\"DEFAULT\"");
        const QString rights =
            IsView ? QStringLiteral("select") : QStringLiteral("select,insert,update,delete");
        ExecStatement(q, {QStringLiteral("grant %1 on %2 to %3")
                              .arg(rights, SqlName(name, ServerKind), grantee)});
    }
    if (!SkipRolePerm) {
        SetStatement(q, {QStringLiteral("insert into ROLEPERM(DBROLE_ID,TABLE_NAME,ACTION,KIND)"),
                         QStringLiteral("values(0,'%1',:ACTION,1)").arg(name)});
        const QStringList actions = IsView ? QStringList{QStringLiteral("S")}
                                           : QStringList{QStringLiteral("S"), QStringLiteral("I"),
                                                         QStringLiteral("U"), QStringLiteral("D")};
        for (const QString& action : actions) {
            setText(q, "ACTION", action);
            q.execSql();
        }
    }
}

void TTableStruct::InsertMetaField(const TFieldItem& item)
{
    SqlQuery& q = SchemaWork().MainQuery;
    SetStatement(q, {QStringLiteral("insert into METAFIELD(TABLE_NAME,FIELD_NAME,REQUIRED,VISIBLE,"
                                    "METATYPE,CUSTOM,DATATYPE,FSIZE,FPREC,ORIGIN, NATIVE_NAME)"),
                     QStringLiteral("values (:TABLE_NAME,:FIELD_NAME,:REQUIRED,:VISIBLE,:METATYPE,"
                                    ":CUSTOM,:DATATYPE,:FSIZE,:FPREC,:ORIGIN, :NATIVE_NAME)")});
    setText(q, "TABLE_NAME", TableName());
    setText(q, "FIELD_NAME", item.FieldName);
    SetTruthParam(q, QStringLiteral("REQUIRED"), item.Options.testFlag(foRequired), ServerKind);
    SetTruthParam(q, QStringLiteral("VISIBLE"), !item.Options.testFlag(foHidden), ServerKind);
    setText(q, "METATYPE", item.MetaType);
    setMemo(q, "CUSTOM", ListText(item.Custom));
    q.paramByName(QStringLiteral("DATATYPE")).setAsInteger(item.DataType);
    q.paramByName(QStringLiteral("FSIZE")).setAsInteger(item.Size);
    q.paramByName(QStringLiteral("FPREC")).setAsInteger(item.Precision);
    setText(q, "ORIGIN", item.Origin);
    setText(q, "NATIVE_NAME", item.NativeName);
    q.execSql();
}

void TTableStruct::UpdateMetaField(const TFieldItem& item)
{
    SqlQuery& q = SchemaWork().MainQuery;
    const auto setKey = [&q, &item, this] {
        setText(q, "TABLE_NAME", TableName());
        setText(q, "FIELD_NAME", item.FieldName);
    };
    bool exists = true;
    if (ServerKind == ServerKind::Standard) {
        // The local kind may lack the row: it is made then.
        SetStatement(q, {QStringLiteral("select FIELD_NAME from METAFIELD"),
                         QStringLiteral("where TABLE_NAME = :TABLE_NAME and FIELD_NAME = "
                                        ":FIELD_NAME")});
        setKey();
        q.open();
        exists = !q.eof();
        q.close();
    }
    if (exists)
        SetStatement(q, {QStringLiteral("update METAFIELD set VISIBLE=:VISIBLE,CUSTOM = "
                                        ":CUSTOM,METATYPE=:METATYPE"),
                         QStringLiteral("where TABLE_NAME = :TABLE_NAME and FIELD_NAME = "
                                        ":FIELD_NAME")});
    else
        SetStatement(q, {QStringLiteral("insert into METAFIELD(TABLE_NAME,FIELD_NAME,VISIBLE,"
                                        "CUSTOM,METATYPE)"),
                         QStringLiteral("values (:TABLE_NAME,:FIELD_NAME,:VISIBLE,:CUSTOM,"
                                        ":METATYPE)")});
    setKey();
    SetTruthParam(q, QStringLiteral("VISIBLE"), !item.Options.testFlag(foHidden), ServerKind);
    setMemo(q, "CUSTOM", ListText(item.Custom));
    setText(q, "METATYPE", item.MetaType);
    q.execSql();
}

void TTableStruct::DeleteMetaField(const TFieldItem& item)
{
    SqlQuery& q = SchemaWork().MainQuery;
    SetStatement(q,
                 {QStringLiteral("delete from  METAFIELD"),
                  QStringLiteral("where TABLE_NAME = :TABLE_NAME and FIELD_NAME = :FIELD_NAME")});
    setText(q, "TABLE_NAME", TableName());
    setText(q, "FIELD_NAME", item.FieldName);
    q.execSql();
}

void TTableStruct::InsertLinks()
{
    for (const TLinkItem& item : m_links) {
        if (item.UpgradeAction != uaDrop)
            InsertLink(item);
    }
}

void TTableStruct::InsertLink(const TLinkItem& item)
{
    DeleteLink(item);
    SqlQuery& q = SchemaWork().MainQuery;
    SetStatement(q, {QStringLiteral("insert into TABLELINK(PARENT,CHILD,KEY_FIELDS,REF_FIELDS,"
                                    "DEL_ACT,CUSTOM)"),
                     QStringLiteral("values(:PARENT,:CHILD,:KEY_FIELDS,:REF_FIELDS,:DEL_ACT,"
                                    ":CUSTOM)")});
    setText(q, "PARENT", item.MasterTable);
    setText(q, "CHILD", linkChild(item, TableName()));
    setText(q, "KEY_FIELDS", item.MasterKeyFields);
    setText(q, "REF_FIELDS", item.MasterFields);
    setText(q, "DEL_ACT", deleteActionText(item.DeleteAction));
    setMemo(q, "CUSTOM", ListText(item.Custom));
    q.execSql();
}

void TTableStruct::DeleteLink(const TLinkItem& item)
{
    SqlQuery& q = SchemaWork().MainQuery;
    // The row is looked for under the child it was written with, so that writing it again
    // replaces it.
    SetStatement(q, {QStringLiteral("delete from TABLELINK where PARENT = :PARENT and CHILD = "
                                    ":CHILD and REF_FIELDS = :REF_FIELDS")});
    setText(q, "PARENT", item.MasterTable);
    setText(q, "CHILD", linkChild(item, TableName()));
    setText(q, "REF_FIELDS", item.MasterFields);
    q.execSql();
}

void TTableStruct::UpdateLink(const TLinkItem& item)
{
    SqlQuery& q = SchemaWork().MainQuery;
    // Parameters, not literals: labels such as "Date d'entrée" hold quotes.
    SetStatement(q, {QStringLiteral("update TABLELINK set DEL_ACT=:DEL_ACT,CUSTOM=:CUSTOM"),
                     QStringLiteral("where CHILD=:CHILD and PARENT=:PARENT and "
                                    "REF_FIELDS=:REF_FIELDS")});
    setText(q, "DEL_ACT", deleteActionText(item.DeleteAction));
    setMemo(q, "CUSTOM", ListText(item.Custom));
    setText(q, "CHILD", linkChild(item, TableName()));
    setText(q, "PARENT", item.MasterTable);
    setText(q, "REF_FIELDS", item.MasterFields);
    q.execSql();
}

void TTableStruct::UpdateMetaTable()
{
    TSchemaWork& work = SchemaWork();
    SqlQuery& q = work.MainQuery;
    QStringList items;
    if (CustomChanged)
        items.append(QStringLiteral("CUSTOM = :CUSTOM"));
    if (TriggersChanged & TriggerBit::Insert)
        items.append(QStringLiteral("INSERT_HEAD = :IH,INSERT_BODY = :IB"));
    if (TriggersChanged & TriggerBit::Update)
        items.append(QStringLiteral("UPDATE_HEAD = :UH,UPDATE_BODY = :UB"));
    if (TriggersChanged & TriggerBit::Delete)
        items.append(QStringLiteral("DELETE_HEAD = :DH,DELETE_BODY = :DB"));
    QString set = items.join(QLatin1Char(','));
    if (m_traceLogAction != tlaDefault) {
        if (!set.isEmpty())
            set += QStringLiteral(", ");
        set += QStringLiteral("TRACE_LOG = ") +
               (m_traceLogAction == tlaEnable ? QStringLiteral("'T'") : QStringLiteral("'F'"));
    }
    if (set.isEmpty())
        return; // a change of replication alone is not written
    const QString name = TableName();
    QStringList lines{QStringLiteral("update METATABLE set "), set};
    if (ReplicationChange != 0)
        lines.append(QStringLiteral(", REPL = :REPL"));
    lines.append(QStringLiteral("where TABLE_NAME = '%1'").arg(name));
    SetStatement(q, lines);
    const auto setIf = [&q](bool on, const char* name, const QStringList& text) {
        if (on)
            setMemo(q, name, ListText(text));
    };
    setIf(CustomChanged, "CUSTOM", m_custom);
    setIf(TriggersChanged & TriggerBit::Insert, "IH", m_insertHead);
    setIf(TriggersChanged & TriggerBit::Insert, "IB", m_insertBody);
    setIf(TriggersChanged & TriggerBit::Update, "UH", m_updateHead);
    setIf(TriggersChanged & TriggerBit::Update, "UB", m_updateBody);
    setIf(TriggersChanged & TriggerBit::Delete, "DH", m_deleteHead);
    setIf(TriggersChanged & TriggerBit::Delete, "DB", m_deleteBody);
    if (ReplicationChange != 0)
        q.paramByName(QStringLiteral("REPL")).setAsBoolean(m_replication);
    q.execSql();

    if (ReplicationChange != 1 || ServerKind == ServerKind::Standard)
        return;
    // Every row of a table that becomes replicated gets its REC_VERSION row.
    OpenStatement(
        q, {QStringLiteral("select KEY_FIELDS from METATABLE where TABLE_NAME = '%1'").arg(name)});
    const QString key =
        q.eof() ? QString() : q.fieldByName(QStringLiteral("KEY_FIELDS"))->asString();
    const bool patients =
        OpenStatement(q, {QStringLiteral("select FIELD_NAME from METAFIELD where FIELD_NAME = "
                                         "'PATIENTS_ID' and TABLE_NAME = '%1'")
                              .arg(name)});
    q.close();
    const QString table = SqlName(name, ServerKind);
    const QString keyColumns = SqlNameList(key, ServerKind);
    QStringList seed;
    if (patients)
        seed = {QStringLiteral("insert REC_VERSION(TABLE_NAME,UNIREC_ID,REC_GUID,VERSION_GUID,"
                               "ISDELETED,PATIENTS_ID)"),
                QStringLiteral("select '%1',%2,NEWID(),NEWID(),0,PATIENTS_ID from %3 SRC")
                    .arg(name, keyColumns, table)};
    else
        seed = {QStringLiteral("insert REC_VERSION(TABLE_NAME,UNIREC_ID,REC_GUID,VERSION_GUID,"
                               "ISDELETED)"),
                QStringLiteral("select '%1',%2,NEWID(),NEWID(),0 from %3 SRC")
                    .arg(name, keyColumns, table)};
    seed.append(QStringLiteral("where not exists(select * from REC_VERSION RV where "
                               "RV.TABLE_NAME = '%1' and RV.UNIREC_ID = SRC.%2)")
                    .arg(name, keyColumns));
    q.close();
    q.setSql(seed.join(QLatin1Char('\n')));
    q.execSql();
}

void TTableStruct::UpdateFieldOrder()
{
    TSchemaWork& work = SchemaWork();
    const QString name = currentName();
    SqlQuery& columns = work.SecondQuery;
    OpenStatement(columns, {QStringLiteral("select * from ") + SqlName(name, ServerKind) +
                            QStringLiteral(" where 0=1")});
    const FieldDefs actual = columns.fieldDefs();
    columns.close();

    SqlQuery& q = work.MainQuery;
    SetStatement(q, {QStringLiteral("select FIELD_NAME,ORD from METAFIELD where TABLE_NAME = "
                                    ":TABLE_NAME")});
    setText(q, "TABLE_NAME", name);
    q.open();
    bool inOrder = true;
    for (; !q.eof() && inOrder; q.next()) {
        const int position =
            actual.indexOf(q.fieldByName(QStringLiteral("FIELD_NAME"))->asString());
        const Field* ord = q.fieldByName(QStringLiteral("ORD"));
        inOrder = position >= 0 && !ord->isNull() && ord->asInteger() == position + 1;
    }
    q.close();
    if (inOrder)
        return;
    SetStatement(q,
                 {QStringLiteral("update METAFIELD set ORD = :ORD where TABLE_NAME = :TABLE_NAME "
                                 "and FIELD_NAME = :FIELD_NAME")});
    for (int i = 0; i < actual.count(); ++i) {
        q.paramByName(QStringLiteral("ORD")).setAsInteger(i + 1);
        setText(q, "TABLE_NAME", name);
        setText(q, "FIELD_NAME", actual.at(i).name);
        q.execSql();
    }
}

void TTableStruct::deleteMetaRows(const QString& name)
{
    SqlQuery& q = SchemaWork().MainQuery;
    for (const QString& text :
         {QStringLiteral("delete from METATABLE where TABLE_NAME = '%1'"),
          QStringLiteral("delete from METAFIELD where TABLE_NAME = '%1'"),
          QStringLiteral("delete from TABLELINK where PARENT = '%1' or CHILD = '%1'"),
          QStringLiteral("delete from ROLEPERM where TABLE_NAME = '%1'")})
        ExecStatement(q, {text.arg(name)});
}
