// The objects every operation of the structure tools shares, and the few ways they run
// statements. They are made on first use and live to the end of the program; main thread only.
#pragma once

#include <platform/db/localtable.h>
#include <platform/db/serverkind.h>
#include <platform/db/sqlquery.h>

#include <QPointer>
#include <QStringList>

#include <functional>

class Database;
class QProgressBar;
class QWidget;

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
    // The progress channels of the versions being applied (TDBVersion::SetProgress); null when
    // off.
    QPointer<QProgressBar> ProgressBar;
    QPointer<QWidget> StatusControl;
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

// One transaction of the schema tools on the local kind: SQLite undoes DDL too, so a change that
// fails half-way leaves the file as it was. It joins the connection's open transaction as a
// savepoint (undoing only its own part on a failure); on the other kinds, or without a database,
// it does nothing: there the transaction belongs to the caller.
class TLocalTransaction
{
public:
    TLocalTransaction(Database* database, ServerKind::Kind serverKind);
    // Rolls back when neither Commit nor Rollback ran (an exception is on its way).
    ~TLocalTransaction();
    TLocalTransaction(const TLocalTransaction&) = delete;
    TLocalTransaction& operator=(const TLocalTransaction&) = delete;

    void Commit();
    // Errors of the rollback are swallowed: the error that led here is the one to report.
    void Rollback();

private:
    Database* m_database = nullptr; // null when nothing was opened
    bool m_savepoint = false;
};

// Runs `work` in one TLocalTransaction.
void InLocalTransaction(Database* database, ServerKind::Kind serverKind,
                        const std::function<void()>& work);
