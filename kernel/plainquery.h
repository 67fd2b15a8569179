// Queries the kernel reads straight from the engine's statement when nothing could tell the
// difference: the metadata loaders and the filling of caches spare the query's own copy of
// every row.
#pragma once

#include <memory>

class DataSet;
class DbStatement;
class SqlQuery;

// The query when it may be read from its statement instead of its cursor: exactly a query,
// closed, with no fields of its own, nothing that could hide a row, and no handler that would
// see the cursor move; else null.
SqlQuery* PlainQuery(DataSet& dataSet);
// The query's statement prepared and bound as its opening would; null for a statement that
// returns no rows, which is left to the query's own opening to refuse.
std::unique_ptr<DbStatement> PreparedSelect(SqlQuery& query);
