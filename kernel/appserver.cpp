// The application-server exchange: request files written and published in the shared folder,
// the waits for the server, its error files and the moving of a select's result; and the access
// component's operations that use it.
#include "appserver.h"

#include <kernel/bigquery.h>
#include <kernel/krnproc.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/driver.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>
#include <platform/fileops.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QThread>

#include <chrono>

namespace {

const QString TimeoutMessage = QStringLiteral("Time out for application server response elapsied.");
const QString ResultDatabaseName = QStringLiteral("AppServerResult");

QString numbered(QChar prefix, int n, const char* extension)
{
    return prefix + QString::number(n) + QLatin1String(extension);
}

// The entries of a folder (files only), as the file system spells them.
QStringList filesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The name under which the folder holds `name`, compared without regard to ASCII case; empty when
// it holds none.
QString findFile(const QString& folder, const QString& name)
{
    for (const QString& entry : filesOf(folder)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return QString();
}

// The files of the folder whose names begin with `stem` (case ignored), in the folder's order.
QStringList filesStarting(const QString& folder, const QString& stem)
{
    QStringList found;
    for (const QString& entry : filesOf(folder)) {
        if (entry.startsWith(stem, Qt::CaseInsensitive))
            found.append(entry);
    }
    return found;
}

void removeFilesStarting(const QString& folder, const QString& stem)
{
    for (const QString& name : filesStarting(folder, stem))
        fileops::remove(QDir(folder).filePath(name));
}

// The request number of a name of the exchange ("q12.bin", "R7.BIN", "b3.err"): the prefix q, b or
// r, decimal digits and a ".", whatever follows. -1 for other names.
int exchangeNumber(const QString& name)
{
    if (name.size() < 3 || !QStringLiteral("qbrQBR").contains(name.at(0)))
        return -1;
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 2 || dot > 8)
        return -1;
    bool ok = false;
    const int n = name.mid(1, dot - 1).toInt(&ok);
    for (qsizetype i = 1; i < dot; ++i) {
        if (!name.at(i).isDigit())
            return -1;
    }
    return ok ? n : -1;
}

// The lines of an error file: ANSI text, lines ended by CR LF or LF; a last line end adds no line.
QStringList errorLines(const QByteArray& bytes)
{
    QStringList lines = codepage::fromAnsi(bytes).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

void sleepFor(int ms)
{
    QThread::msleep(ulong(ms));
}

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TAppServerExchange::TAppServerExchange(TDBAccess& access)
    : m_access(access), m_wait(sleepFor), m_clock(monotonicMs),
      m_random(QRandomGenerator::securelySeeded())
{
    access.SetUpdateBatchExchange(this);
}

TAppServerExchange::~TAppServerExchange() = default;

QString TAppServerExchange::ResultFolder()
{
    return KernelProgramDir() + QStringLiteral("BATCHES/");
}

QString TAppServerExchange::folder() const
{
    const QString path = m_access.AppServerPath();
    if (path.isEmpty()) {
        // Without it the request files would land in the working folder, where no server looks.
        DBKernelError(QStringLiteral("Cannot reach the application server: its folder "
                                     "(AppServerPath) is not set."));
    }
    return path;
}

bool TAppServerExchange::pastLimit(qint64 start) const
{
    return m_clock() - start > qint64(m_access.RemoteTimeout()) * 1000;
}

int TAppServerExchange::drawNumber(bool withResults)
{
    QSet<int> taken;
    for (const QString& entry : filesOf(folder()))
        taken.insert(exchangeNumber(entry));
    if (withResults) {
        for (const QString& entry : filesOf(ResultFolder())) {
            if (entry.startsWith(QLatin1Char('q'), Qt::CaseInsensitive))
                taken.insert(exchangeNumber(entry));
        }
    }
    for (;;) {
        const int n = int(m_random.bounded(9000000));
        if (!taken.contains(n))
            return n;
    }
}

QString TAppServerExchange::writeRequest(QChar prefix, const QByteArray& data, bool withResults)
{
    const QString dir = folder();
    const qint64 start = m_clock();
    QString temp;
    // The temporary file goes, whatever happens, unless it was published.
    struct TempGuard
    {
        QString& path;
        ~TempGuard()
        {
            if (!path.isEmpty())
                fileops::remove(path);
        }
    } guard{temp};
    for (;;) {
        QString error;
        if (temp.isEmpty()) {
            // Not from the drawing generator: processes seeded alike would share the name.
            const QString name =
                dir + QStringLiteral("~%1.tmp").arg(QRandomGenerator::global()->generate64(), 16,
                                                    16, QLatin1Char('0'));
            if (fileops::writeFile(name, data, &error))
                temp = name;
        }
        if (!temp.isEmpty()) {
            const int n = drawNumber(withResults);
            const QString name = numbered(prefix, n, ".bin");
            if (fileops::publish(temp, dir + name, &error)) {
                temp.clear();
                m_lastNumber = n;
                return name;
            }
        }
        if (pastLimit(start))
            DBKernelError(error);
        m_wait(PollInterval);
    }
}

void TAppServerExchange::checkErrorFile(QChar prefix, bool allLines)
{
    const QString dir = folder();
    const QString name = findFile(dir, numbered(prefix, m_lastNumber, ".err"));
    if (name.isEmpty())
        return;
    QFile file(dir + name);
    if (!file.open(QIODevice::ReadOnly)) {
        DBKernelError(QStringLiteral("Cannot read the application server's error file %1: %2")
                          .arg(file.fileName(), file.errorString()));
    }
    const QStringList lines = errorLines(file.readAll());
    file.close();
    // Removed before it is raised: the error is told once.
    fileops::remove(file.fileName());
    const QString message = allLines ? lines.join(QLatin1Char('\n')) : lines.value(0);
    if (message.trimmed().isEmpty()) {
        DBKernelError(
            QStringLiteral("The application server reported an error without a text (%1).")
                .arg(name));
    }
    DBKernelError(message);
}

void TAppServerExchange::timeOut(const QString& awaited, QChar prefix, bool allLines)
{
    fileops::remove(folder() + awaited);
    checkErrorFile(prefix, allLines);
    DBKernelError(TimeoutMessage);
}

void TAppServerExchange::waitWhileThere(const QString& name, qint64 start, QChar prefix,
                                        bool allLines)
{
    for (;;) {
        const QString there = findFile(folder(), name);
        if (there.isEmpty())
            return;
        if (pastLimit(start))
            timeOut(there, prefix, allLines);
        m_wait(PollInterval);
    }
}

QString TAppServerExchange::moveResults(qint64 start)
{
    const QString dir = folder();
    const QString results = ResultFolder();
    const QString stem = numbered(QLatin1Char('q'), m_lastNumber, ".");
    const QString errorName = numbered(QLatin1Char('q'), m_lastNumber, ".err");
    const QString tableName = numbered(QLatin1Char('q'), m_lastNumber, ".db");
    QString table;
    for (;;) {
        if (pastLimit(start)) {
            checkErrorFile(QLatin1Char('q'), true);
            DBKernelError(TimeoutMessage);
        }
        QString next;
        for (const QString& name : filesStarting(dir, stem)) {
            // A late error file stays for the check that follows.
            if (name.compare(errorName, Qt::CaseInsensitive) != 0) {
                next = name;
                break;
            }
        }
        if (next.isEmpty())
            return table;
        if (fileops::move(dir + next, results + next)) {
            if (next.compare(tableName, Qt::CaseInsensitive) == 0)
                table = next;
        } else {
            m_wait(PollInterval);
        }
    }
}

void TAppServerExchange::ExecRemoteSelect(const SqlQuery& query, LocalTable& resultTable)
{
    folder();
    const QByteArray request = SelectRequest(query);
    const QString results = ResultFolder();
    if (!QDir().mkpath(results))
        DBKernelError(QStringLiteral("Cannot create the folder %1.").arg(results));

    const QString name = writeRequest(QLatin1Char('q'), request, true);
    const qint64 start = m_clock();
    waitWhileThere(name, start, QLatin1Char('q'), true);
    waitWhileThere(numbered(QLatin1Char('r'), m_lastNumber, ".bin"), start, QLatin1Char('q'), true);
    checkErrorFile(QLatin1Char('q'), true);

    resultTable.close();
    QString table;
    try {
        table = moveResults(m_clock());
        checkErrorFile(QLatin1Char('q'), true);
        if (table.isEmpty()) {
            DBKernelError(QStringLiteral("The application server gave no result for request %1.")
                              .arg(numbered(QLatin1Char('q'), m_lastNumber, ".bin")));
        }
    } catch (...) {
        // Nobody would read what was moved; it would only hold the number.
        removeFilesStarting(results, numbered(QLatin1Char('q'), m_lastNumber, "."));
        throw;
    }

    delete resultTable.findChild<Database*>(ResultDatabaseName, Qt::FindDirectChildrenOnly);
    auto* db = new Database(&resultTable);
    db->setObjectName(ResultDatabaseName);
    db->setDriverName(QStringLiteral("STANDARD"));
    db->params().setValue(DbParam::Path, results + table);
    resultTable.setDatabase(db);
    resultTable.setTableName(numbered(QLatin1Char('q'), m_lastNumber, ""));
}

void TAppServerExchange::OpenUpdateBatch()
{
    folder();
    m_batch.Clear();
    m_statements = 0;
    m_batchOpen = true;
}

void TAppServerExchange::AddBatchStatement(const SqlQuery& statement)
{
    if (!m_batchOpen)
        DBKernelError(QStringLiteral("Cannot add a statement: no update batch is open."));
    TBigQuery query;
    query.setObjectName(statement.objectName());
    query.SetDatabaseName(statement.database() ? statement.database()->databaseName() : QString());
    query.setParamCheck(statement.paramCheck());
    query.setSql(statement.sql());
    query.params().assignValues(statement.params());
    query.WriteState(m_batch);
    ++m_statements;
}

void TAppServerExchange::SendUpdateBatch()
{
    if (!m_batchOpen || m_statements == 0)
        return;
    const QString request = writeRequest(QLatin1Char('b'), m_batch.Bytes(), false);
    const qint64 start = m_clock();
    waitWhileThere(request, start, QLatin1Char('b'), false);
    checkErrorFile(QLatin1Char('b'), false);
    waitWhileThere(numbered(QLatin1Char('r'), m_lastNumber, ".bin"), start, QLatin1Char('b'),
                   false);
    checkErrorFile(QLatin1Char('b'), false);
}

void TAppServerExchange::DiscardUpdateBatch()
{
    m_batch.Clear();
    m_statements = 0;
    m_batchOpen = false;
}

void DeleteRemoteResult(LocalTable& resultTable)
{
    resultTable.close();
    auto* db = resultTable.findChild<Database*>(ResultDatabaseName, Qt::FindDirectChildrenOnly);
    if (!db)
        return;
    const QString file = db->params().value(DbParam::Path);
    db->close();
    resultTable.setDatabase(nullptr);
    delete db;
    // The table, its companions from the server and the engine's own (journal, lock file).
    const QFileInfo info(file);
    removeFilesStarting(info.path(), info.completeBaseName() + QLatin1Char('.'));
}

// ---- the access component's side

void TDBAccess::ExecRemoteSelect(const SqlQuery& query, LocalTable& resultTable)
{
    m_appServer->ExecRemoteSelect(query, resultTable);
}

void TDBAccess::SendUpdateBatch()
{
    if (m_batch && m_exchange)
        m_exchange->SendUpdateBatch();
}
