// A kernel database for the kernel and schema tests: a SQLite file in a temporary folder reached
// through an alias (rows written with the sqlite3 tool), and a recording driver that stands for
// MS SQL Server or Oracle over the same file.
#pragma once

#include <platform/db/database.h>
#include <platform/db/driver.h>

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace krntest {

// The rows of a select through the engine as "a|b" lines, "NULL" for nulls, numbers as they read.
QStringList queryRows(Database& db, const QString& sql, const Params* params = nullptr);

// What a recording connection saw and how it misbehaves.
struct Recorder
{
    // Prepared statements as the engine sent them ("?" for parameters).
    QStringList statements;
    // Each run of a statement with the values bound to its parameters ("<out>" for an output
    // parameter), in the order the statements ran.
    QList<QPair<QString, VariantList>> runs;
    // "BEGIN", "COMMIT" and "ROLLBACK" as the engine called them (also refused ones).
    QStringList transactions;
    // Statements SQLite cannot run, and what SQLite runs in their place. Output parameters of a
    // statement take the columns of the first row its stand-in returns, in their order.
    QMap<QString, QString> standIns;
    // A statement SQLite refuses is taken as a server would take it, with no rows, instead of
    // failing (for servers' DDL, grants and triggers, which only the recorded text shows).
    bool acceptUnknown = false;
    // The statement of this number (counting `statements` from 1) is refused when prepared.
    qsizetype failAt = 0;
    // A statement beginning with this text is refused when prepared.
    QString failOn;
    // Texts read from a result are cut to this many bytes of the program's code page, as the
    // data-access layer of MS SQL Server cuts a memo at the connection's blob size (0: never).
    int textCut = 0;
    int failRollbacks = 0; // so many rollbacks are refused (the transaction stays open)
    int failCommits = 0;   // so many commits are refused
    // A connection is refused, as a server refuses a login, unless its "USER NAME" and "PASSWORD"
    // are these; any login is taken while `user` is empty. Every connection asked for is noted
    // as "USER NAME/PASSWORD" in `logins`.
    QString user;
    QString password;
    QStringList logins;
};

// Registers (again) a driver of that name whose connections record into `recorder`. Its
// parameters are those of the SQLite driver (PATH, CREATE); it may take the name "STANDARD"
// (restoreStandardDriver puts the real one back).
void registerRecordingDriver(const QString& name, std::shared_ptr<Recorder> recorder);
void restoreStandardDriver();

// A kernel database file in a temporary folder, with the alias "KRN" (STANDARD) on it in a
// temporary alias file; the previous alias file comes back after.
class KernelDb
{
public:
    KernelDb();
    ~KernelDb();
    KernelDb(const KernelDb&) = delete;
    KernelDb& operator=(const KernelDb&) = delete;

    QString folder() const { return m_dir.path(); }
    QString file() const;
    // Adds an alias with another driver name on the same file.
    void addAlias(const QString& alias, const QString& driver) const;
    // Runs SQL on the file with the sqlite3 tool in one transaction; a failure fails the test.
    void exec(const QString& sql) const;
    // The same with a script of tests/data/kernel.
    void execScript(const QString& name) const;
    // The rows of a select through the sqlite3 tool, as queryRows gives them.
    QStringList rows(const QString& sql) const;

private:
    QTemporaryDir m_aliases;
    QString m_previousAliases;
    QTemporaryDir m_dir;
};

} // namespace krntest
