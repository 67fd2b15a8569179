// The objects every operation of the structure tools shares, and the few ways they run
// statements. They are made on first use and live to the end of the program; main thread only.
#pragma once

#include <platform/db/localtable.h>
#include <platform/db/serverkind.h>
#include <platform/db/sqlquery.h>

#include <QStringList>

#include <functional>

class Database;

struct TSchemaWork
{
    // Every DDL and metadata statement; the link rows while a trigger is built.
    SqlQuery MainQuery;
    // Field lists of tables, the child-side links of delete triggers, the PATIENTS_ID test.
    SqlQuery SecondQuery;
    // The table's METATABLE row while a trigger is built.
    SqlQuery ThirdQuery;
    // Local-table work: field and index definitions, indexes, rename.
    LocalTable Table;
    // The trigger script being built.
    QStringList Script;
    // The Boolean-as-character flag of the database last applied to (read by
    // TTableStruct::Execute): it selects the Boolean column type and the value of new Boolean
    // columns.
    bool BooleanAsChar = false;
    // Progress channels of a version being applied; empty or null when off.
    std::function<void(int position, int maximum)> ProgressBar;
    std::function<void(const QString& text)> StatusText;
    QStringList* LogLines = nullptr;

    // Binds the queries and the table to the database (closing them).
    void Bind(Database* database);
};

TSchemaWork& SchemaWork();

// The query's statement: the lines joined by CR LF (the query is closed first).
void SetStatement(SqlQuery& query, const QStringList& lines);
// Runs the lines as one statement without parameters.
void ExecStatement(SqlQuery& query, const QStringList& lines);
// Opens the statement; true when it gives a row.
bool OpenStatement(SqlQuery& query, const QStringList& lines);
// Truth values for METATABLE and METAFIELD: "T" or "F" on Oracle, a Boolean elsewhere.
void SetTruthParam(SqlQuery& query, const QString& name, bool value, ServerKind::Kind serverKind);
// Reads the Boolean-as-character flag of the bound database (USE_BOOLEAN_CHAR in
// _KRN_SYS_FLAGS) through the query; Oracle keeps Booleans as characters whatever it says.
bool ReadBooleanAsChar(SqlQuery& query, ServerKind::Kind serverKind);
// A list's stored text: every line followed by CR LF (empty for an empty list).
QString ListText(const QStringList& lines);
