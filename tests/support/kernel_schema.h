// The kernel's own tables as the schema tools create them, for the kernel tests and the
// benchmarks that build a kernel database of their own.
#pragma once

#include <QString>

namespace kernelschema {

// Statements that create VERSION, _KRN_SYS_FLAGS, META_MACRO, METATABLE, METAFIELD, TABLELINK
// and DUAL (with its one row), all other tables empty. With `booleansAsText` the Booleans of
// METAFIELD are characters, as Oracle keeps them.
QString createTables(bool booleansAsText = false);

// Statements that add what the schema tools write besides: the trigger texts, owner and
// replication flag of METATABLE, and the tables ROLEPERM, DBROLE and KRN_SYS_TRACE; and REC_VERSION
// for the server kind that has it (MS SQL Server, 1), as the kernel's upgrade makes it.
QString schemaToolTables(int serverKind);

// The selects of the access component's metadata datasets.
inline const char* const SelectTables = "select * from METATABLE order by TABLE_NAME";
inline const char* const SelectFields = "select * from METAFIELD order by TABLE_NAME,ORD";
inline const char* const SelectLinks = "select * from TABLELINK";

} // namespace kernelschema
