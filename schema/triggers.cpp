// The triggers of a structure on MS SQL Server and Oracle: which are rebuilt, the rows they are
// built from, and how the old trigger is replaced. The local kind has none.
#include "schemawork.h"
#include "sqlnames.h"
#include "tablestruct.h"
#include "triggertext.h"

#include <kernel/dbaccess.h>

#include <QScopeGuard>

namespace {

bool hasTriggers(ServerKind::Kind kind)
{
    return kind == ServerKind::MSSQL || kind == ServerKind::Oracle;
}

enum class TriggerKind { Insert, Update, Delete };

// The table's METATABLE row as a trigger of that kind takes it (third query).
TTriggerTexts readTriggerTexts(const QString& table, TriggerKind kind)
{
    SqlQuery& q = SchemaWork().ThirdQuery;
    TTriggerTexts texts;
    if (OpenStatement(
            q, {QStringLiteral("select * from METATABLE where TABLE_NAME = '%1'").arg(table)})) {
        static const char* const columns[][2] = {{"INSERT_HEAD", "INSERT_BODY"},
                                                 {"UPDATE_HEAD", "UPDATE_BODY"},
                                                 {"DELETE_HEAD", "DELETE_BODY"}};
        const auto* pair = columns[int(kind)];
        texts.Head = CleanTriggerText(q.fieldByName(QLatin1String(pair[0]))->asString());
        texts.Body = CleanTriggerText(q.fieldByName(QLatin1String(pair[1]))->asString());
        texts.KeyFields = q.fieldByName(QStringLiteral("KEY_FIELDS"))->asString();
        texts.Repl = FieldAsBoolean(*q.fieldByName(QStringLiteral("REPL")));
        texts.Trace = FieldAsBoolean(*q.fieldByName(QStringLiteral("TRACE_LOG")));
    }
    q.close();
    return texts;
}

QStringList fieldList(const QString& text)
{
    QStringList names = text.split(QLatin1Char(','));
    for (QString& n : names)
        n = n.trimmed();
    return names;
}

// The TABLELINK rows of a select, read whole before anything else runs on the query.
QList<TTriggerLink> readLinks(SqlQuery& q, const QString& where)
{
    QList<TTriggerLink> links;
    OpenStatement(q, {QStringLiteral("select PARENT,CHILD,KEY_FIELDS,REF_FIELDS,DEL_ACT from "
                                     "TABLELINK where ") +
                      where});
    for (; !q.eof(); q.next()) {
        TTriggerLink link;
        link.Parent = q.fieldByName(QStringLiteral("PARENT"))->asString();
        link.Child = q.fieldByName(QStringLiteral("CHILD"))->asString();
        link.KeyFields = fieldList(q.fieldByName(QStringLiteral("KEY_FIELDS"))->asString());
        link.RefFields = fieldList(q.fieldByName(QStringLiteral("REF_FIELDS"))->asString());
        link.DeleteAction = q.fieldByName(QStringLiteral("DEL_ACT"))->asString();
        links.append(link);
    }
    q.close();
    return links;
}

// The two-statement drop of an MS SQL Server trigger that may not exist.
QStringList mssqlDropTrigger(const QString& name)
{
    return {QStringLiteral("if exists (select * from sysobjects where id = object_id('dbo.%1'))")
                .arg(name),
            QStringLiteral("drop trigger dbo.%1").arg(SqlName(name, ServerKind::MSSQL))};
}

} // namespace

void TTableStruct::ExecTriggerScript(const QString& triggerName, ServerKind::Kind serverKind)
{
    TSchemaWork& work = SchemaWork();
    SqlQuery& q = work.MainQuery;
    if (serverKind == ServerKind::MSSQL)
        ExecStatement(q, mssqlDropTrigger(triggerName));
    if (work.Script.isEmpty())
        return;
    // Oracle's ":new" and ":old" belong to the server, not to the engine's parameters.
    q.close();
    q.setParamCheck(false);
    const auto restore = qScopeGuard([&q] {
        q.close();
        q.setParamCheck(true);
    });
    q.setSql(UpperCaseSQLVariables(work.Script.join(QStringLiteral("\r\n"))));
    q.execSql();
}

void TTableStruct::DropAllTriggers()
{
    const QString table = TableName();
    SqlQuery& q = SchemaWork().MainQuery;
    for (const char* prefix : {"tD_", "tI_", "tU_"}) {
        const QString name = QLatin1String(prefix) + table;
        if (ServerKind == ServerKind::MSSQL) {
            ExecStatement(q, mssqlDropTrigger(name));
        } else if (ServerKind == ServerKind::Oracle) {
            const bool found = OpenStatement(
                q, {QStringLiteral("select TRIGGER_NAME from USER_TRIGGERS where TRIGGER_NAME = "
                                   "UPPER('%1')")
                        .arg(name)});
            q.close();
            if (found)
                ExecStatement(q,
                              {QStringLiteral("drop trigger %1").arg(SqlName(name, ServerKind))});
        }
    }
}

void TTableStruct::GenerateInsertTrigger()
{
    if (!hasTriggers(ServerKind))
        return;
    TSchemaWork& work = SchemaWork();
    SqlQuery& q = work.MainQuery;
    const QString t = currentName();
    const bool view =
        OpenStatement(q, {QStringLiteral("select OBJECT_KIND from METATABLE where "
                                         "TABLE_NAME = '%1'")
                              .arg(t)}) &&
        q.fieldByName(QStringLiteral("OBJECT_KIND"))->asString() == QLatin1String("V");
    q.close();
    if (view)
        return;
    const TTriggerTexts texts = readTriggerTexts(t, TriggerKind::Insert);
    const bool own = !texts.Head.isEmpty() || !texts.Body.isEmpty() ||
                     (TriggersChanged & TriggerBit::Insert) || m_replication ||
                     ReplicationChange != 0;
    bool linksChanged = false;
    for (const TLinkItem& item : m_links)
        linksChanged = linksChanged || item.UpgradeAction != uaAlter;
    if (!own && !linksChanged)
        return;
    const QList<TTriggerLink> links = readLinks(q, QStringLiteral("CHILD = '%1'").arg(t));
    bool patients = false;
    if (texts.Repl && ServerKind == ServerKind::MSSQL) {
        patients = OpenStatement(work.SecondQuery,
                                 {QStringLiteral("select FIELD_NAME from METAFIELD where "
                                                 "FIELD_NAME = 'PATIENTS_ID' and TABLE_NAME = '%1'")
                                      .arg(t)});
        work.SecondQuery.close();
    }
    QStringList required;
    for (const TFieldItem& item : m_fields) {
        if (item.Options.testFlag(foRequired))
            required.append(item.FieldName);
    }
    work.Script = InsertTriggerLines(ServerKind, t, texts, links, required, patients, own);
    ExecTriggerScript(QStringLiteral("tI_") + t, ServerKind);
}

void TTableStruct::GenerateUpdateTrigger()
{
    if (!hasTriggers(ServerKind))
        return;
    TSchemaWork& work = SchemaWork();
    const QString t = currentName();
    const TTriggerTexts texts = readTriggerTexts(t, TriggerKind::Update);
    const bool own = !texts.Head.isEmpty() || !texts.Body.isEmpty() ||
                     (TriggersChanged & TriggerBit::Update) || m_replication ||
                     ReplicationChange != 0;
    if (!own && m_traceLogAction == tlaDefault)
        return;
    work.Script = UpdateTriggerLines(ServerKind, t, texts);
    ExecTriggerScript(QStringLiteral("tU_") + t, ServerKind);
}

void TTableStruct::GenerateDeleteTriggers()
{
    generateDeleteTriggers(false);
}

void TTableStruct::generateDeleteTriggers(bool tableDropped)
{
    const QString t = currentName();
    // A link made or dropped changes this table's own no-delete checks too.
    bool linksChanged = false;
    if (!tableDropped) {
        for (const TLinkItem& item : m_links)
            linksChanged = linksChanged || item.UpgradeAction != uaAlter;
    }
    if ((TriggersChanged & TriggerBit::Delete) || m_traceLogAction != tlaDefault || linksChanged)
        GenerateDeleteTrigger(t, t);
    const QString table = TableName();
    for (const TLinkItem& item : m_links) {
        QString master = item.NewMasterTable.isEmpty() ? item.MasterTable : item.NewMasterTable;
        QString triggerTable = item.MasterTable;
        if (master.compare(table, Qt::CaseInsensitive) == 0 &&
            item.MasterTable.compare(table, Qt::CaseInsensitive) == 0 && !m_newName.isEmpty()) {
            master = m_newName;
            triggerTable = m_newName;
        }
        GenerateDeleteTrigger(master, triggerTable);
    }
}

void TTableStruct::GenerateDeleteTrigger(const QString& name, const QString& triggerTable)
{
    if (!hasTriggers(ServerKind))
        return;
    TSchemaWork& work = SchemaWork();
    const TTriggerTexts texts = readTriggerTexts(name, TriggerKind::Delete);
    const bool own = !texts.Head.isEmpty() || !texts.Body.isEmpty() ||
                     (TriggersChanged & TriggerBit::Delete) || m_replication ||
                     ReplicationChange != 0;
    if (!own && m_traceLogAction == tlaDefault && m_links.Count() == 0)
        return;
    const QList<TTriggerLink> children =
        readLinks(work.MainQuery, QStringLiteral("PARENT = '%1'").arg(name));
    const QList<TTriggerLink> noDelete =
        readLinks(work.SecondQuery, QStringLiteral("CHILD = '%1' and DEL_ACT = 'X'").arg(name));
    work.Script = DeleteTriggerLines(ServerKind, triggerTable, texts, noDelete, children, own);
    ExecTriggerScript(QStringLiteral("tD_") + name, ServerKind);
}
