// The structure tools' shared queries, table and script, and the helpers that run statements on
// them.
#include "schemawork.h"

#include <kernel/dbaccess.h>
#include <platform/db/database.h>

void TSchemaWork::Bind(Database* database)
{
    for (SqlQuery* q : {&MainQuery, &SecondQuery, &ThirdQuery}) {
        q->close();
        q->setDatabase(database);
    }
    Table.close();
    Table.setDatabase(database);
}

TSchemaWork& SchemaWork()
{
    static TSchemaWork work;
    return work;
}

void SetStatement(SqlQuery& query, const QStringList& lines)
{
    query.close();
    query.setSql(lines.join(QStringLiteral("\r\n")));
}

void ExecStatement(SqlQuery& query, const QStringList& lines)
{
    SetStatement(query, lines);
    query.execSql();
}

bool OpenStatement(SqlQuery& query, const QStringList& lines)
{
    SetStatement(query, lines);
    query.open();
    return !query.eof();
}

void SetTruthParam(SqlQuery& query, const QString& name, bool value, ServerKind::Kind serverKind)
{
    Param& p = query.paramByName(name);
    if (serverKind == ServerKind::Oracle)
        p.setAsString(value ? QStringLiteral("T") : QStringLiteral("F"));
    else
        p.setAsBoolean(value);
}

bool ReadBooleanAsChar(SqlQuery& query, ServerKind::Kind serverKind)
{
    const QString select =
        serverKind == ServerKind::MSSQL
            ? QStringLiteral("select VALUE from _KRN_SYS_FLAGS where Upper(FLAG) = Upper('%1')")
            : QStringLiteral("select \"_KRN_SYS_FLAGS\".\"VALUE\" from \"_KRN_SYS_FLAGS\" where "
                             "Upper(FLAG) = Upper('%1')");
    const bool found = OpenStatement(query, {select.arg(QStringLiteral("USE_BOOLEAN_CHAR"))});
    const bool set = found && query.field(0)->asString().trimmed().toInt() == 1;
    query.close();
    return set;
}

QString ListText(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}
