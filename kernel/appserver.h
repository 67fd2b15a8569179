// The exchange with an application server through a shared folder (the access component's
// AppServerPath): selects and update batches of the local server kind can be handed to a program
// that watches the folder. Off unless a folder is set and RemoteSelect, RemoteUpdate or a
// request's mode asks for it.
//
// Files in the folder, <n> a number from 0 to 8999999 in decimal:
//
//   q<n>.bin          written here: a select, one component resource (compstream.h)
//   b<n>.bin          written here: an update batch, one component resource per statement
//   r<n>.bin          the server's: present while it works on request n
//   q<n>.err, b<n>.err  the server's error text (lines of ANSI text, CR LF or LF)
//   q<n>.db (+ q<n>.*)  the server's result of a select: a SQLite file holding the table q<n>
//
// A request, step by step (each wait checks every 50 ms; "the limit" is RemoteTimeout seconds on
// the monotonic clock from the start of the step):
//
//   write   the request under a temporary name ("~<hex>.tmp", which no q*/b*/r* pattern
//           matches), then give it its name by a rename that never replaces; a number that any
//           q<n>.*, b<n>.*, r<n>.* (or, for a select, a q<n>.* in the result folder) already
//           uses is not drawn, and a failed rename draws a new number; past the limit the
//           failure is raised and the temporary file removed
//   wait    while q<n>.bin (b<n>.bin) is there, then while r<n>.bin is there; past the limit the
//           awaited file is removed (which withdraws a request the server has not taken yet),
//           the error file is checked, and "Time out for application server response
//           elapsied." is raised
//   error   q<n>.err: all its lines joined by line feeds are raised, b<n>.err: its first line;
//           the file is removed first
//   result  (select) every q<n>.* but the error file is moved into the result folder, the
//           program's folder + "BATCHES/"; the caller reads q<n>.db there and then calls
//           DeleteRemoteResult. A select that fails after the move (a late error file, a
//           time-out, no q<n>.db) removes what it moved.
//
// File names the server writes are found without regard to case ("Q12.DB").
#pragma once

#include <kernel/compstream.h>
#include <kernel/dbaccess.h>

#include <QRandomGenerator>
#include <QString>

#include <functional>

class LocalTable;
class SqlQuery;

class TAppServerExchange : public TUpdateBatchExchange
{
public:
    // Made by the access component, and registered with it as its update-batch exchange.
    explicit TAppServerExchange(TDBAccess& access);
    ~TAppServerExchange() override;

    // Runs the select through the server and leaves `resultTable` closed, on a database of its
    // own (a child of the table) that is the moved q<n>.db, table q<n>. Raises EDBKernelError:
    // the server's error text, the time-out, no result, or an unusable folder.
    void ExecRemoteSelect(const SqlQuery& query, LocalTable& resultTable);

    // ---- update batch
    // Raises at once when no folder is set.
    void OpenUpdateBatch() override;
    void AddBatchStatement(const SqlQuery& statement) override;
    // A batch without statements is not sent.
    void SendUpdateBatch() override;
    void DiscardUpdateBatch() override;
    int BatchStatementCount() const { return m_statements; }

    // "BATCHES/" in the kernel's program folder.
    static QString ResultFolder();
    static constexpr int PollInterval = 50; // ms

    // ---- for tests
    // The pause between two looks at the folder (a blocking sleep by default).
    void SetWait(std::function<void(int ms)> wait) { m_wait = std::move(wait); }
    // The monotonic clock in milliseconds.
    void SetMonotonicClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // Numbers are drawn from a generator seeded once; tests seed it alike in several processes.
    void SeedRandom(quint32 seed) { m_random.seed(seed); }
    // The number of the last request written.
    int LastRequestNumber() const { return m_lastNumber; }

private:
    QString folder() const;
    int drawNumber(bool withResults);
    QString writeRequest(QChar prefix, const QByteArray& data, bool withResults);
    void waitWhileThere(const QString& name, qint64 start, QChar prefix, bool allLines);
    void checkErrorFile(QChar prefix, bool allLines);
    [[noreturn]] void timeOut(const QString& awaited, QChar prefix, bool allLines);
    bool pastLimit(qint64 start) const;
    QString moveResults(qint64 start);

    TDBAccess& m_access;
    std::function<void(int ms)> m_wait;
    std::function<qint64()> m_clock;
    QRandomGenerator m_random;
    int m_lastNumber = -1;
    bool m_batchOpen = false;
    int m_statements = 0;
    TComponentWriter m_batch;
};

// Closes the result table of a remote select and its database, and removes its files from the
// result folder.
void DeleteRemoteResult(LocalTable& resultTable);
