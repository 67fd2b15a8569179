// Helpers of the kernel tests: a kernel database in a temporary folder reached through an alias,
// rows written with SQLite's own API (independently of the engine), an access component on it, and
// a recording driver that stands for MS SQL Server or Oracle: it keeps every statement and
// transaction call, answers the statements SQLite cannot run from a script, and runs the others on
// the same SQLite file.
#pragma once

#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>
#include <platform/db/database.h>
#include <platform/db/driver.h>
#include <platform/db/sqlquery.h>

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

struct sqlite3;

namespace krntest {

// The message of the EDBKernelError that `call` raises.
template <typename F> QString kernelErrorOf(F&& call)
{
    try {
        call();
    } catch (const EDBKernelError& e) {
        return e.message();
    }
    return QStringLiteral("<no EDBKernelError>");
}

// The rows of a select as "a|b" lines, "NULL" for nulls: through SQLite's own API, or through the
// engine (numbers as they read, with the parameters' values).
QStringList sqliteRows(sqlite3* db, const QString& sql);
QStringList queryRows(Database& db, const QString& sql, const Params* params = nullptr);

// What a recording connection saw and how it misbehaves.
struct Recorder
{
    // Prepared statements as the engine sent them ("?" for parameters), and "BEGIN", "COMMIT",
    // "ROLLBACK" for transaction calls (also refused ones).
    QStringList log;
    // Values bound to the statements, in order, as text.
    QStringList bound;
    // Statements answered here instead of by SQLite: column names, then rows of values.
    struct Answer
    {
        QStringList columns;
        QList<QList<Variant>> rows;
    };
    QMap<QString, Answer> answers;
    int failRollbacks = 0; // so many rollbacks are refused (the transaction stays open)
    int failCommits = 0;   // so many commits are refused
    QStringList statementsOnly() const;
    QStringList transactionCalls() const;
};

// Registers (again) a driver of that name whose connections record into `recorder`. Its
// parameters are those of the SQLite driver (PATH, CREATE).
void registerRecordingDriver(const QString& name, std::shared_ptr<Recorder> recorder);

// A temporary alias file in force for the object's life; the previous one comes back after.
class AliasScope
{
public:
    AliasScope();
    ~AliasScope();
    AliasScope(const AliasScope&) = delete;
    AliasScope& operator=(const AliasScope&) = delete;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A kernel database file in a temporary folder, with the alias "KRN" (STANDARD) on it.
class KernelDb
{
public:
    KernelDb();
    QString folder() const { return m_dir.path(); }
    QString file() const;
    // Adds an alias with another driver name on the same file.
    void addAlias(const QString& alias, const QString& driver) const;
    // Runs SQL on the file through SQLite's own API; a failure fails the test.
    void exec(const QString& sql) const;
    // The rows of a select, read as sqliteRows reads them.
    QStringList rows(const QString& sql) const;
    // The kernel tables with no rows: VERSION, _KRN_SYS_FLAGS, META_MACRO, METATABLE,
    // METAFIELD, TABLELINK, and DUAL with one row.
    void createKernelTables() const;

private:
    AliasScope m_aliases;
    QTemporaryDir m_dir;
};

// An access component on a kernel database through `alias`, with plain queries as its metadata
// datasets; nothing is connected yet.
struct AccessOnKernel
{
    explicit AccessOnKernel(const QString& alias = QStringLiteral("KRN"));

    KernelDb kernel;
    Database db;
    SqlQuery tables;
    SqlQuery fields;
    SqlQuery links;
    TDBAccess access;
};

} // namespace krntest
