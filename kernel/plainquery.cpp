// Queries read straight from their statements.
#include "plainquery.h"

#include <platform/db/database.h>
#include <platform/db/sqlquery.h>

#include <typeinfo>

SqlQuery* PlainQuery(DataSet& dataSet)
{
    if (typeid(dataSet) != typeid(SqlQuery))
        return nullptr;
    auto& query = static_cast<SqlQuery&>(dataSet);
    const bool watched = query.beforeOpen || query.afterOpen || query.beforeScroll ||
                         query.afterScroll || query.beforeClose || query.afterClose ||
                         query.onFilterRecord;
    if (watched || query.isActive() || query.fieldCount() > 0 || !query.filter().isEmpty() ||
        !query.database() || query.sql().trimmed().isEmpty())
        return nullptr;
    return &query;
}

std::unique_ptr<DbStatement> PreparedSelect(SqlQuery& query)
{
    const ParsedSql parsed = parseSqlParams(query.sql());
    std::unique_ptr<DbStatement> statement =
        query.database()->connection().prepare(parsed.statement);
    if (statement->columnCount() == 0)
        return nullptr;
    bindParams(*statement, parsed, query.params());
    return statement;
}
