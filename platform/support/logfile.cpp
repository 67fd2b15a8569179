// The operations log "QUORVANE.LOG" and the stamped line log: text lines in the program's ANSI code
// page with Windows line ends, as the practice's other tools read them.
#include "logfile.h"

#include "globals.h"

#include <platform/clock.h>
#include <platform/codepage.h>
#include <platform/fileops.h>
#include <platform/regional.h>

#include <cstdio>
#include <mutex>

namespace {

bool appendLine(const QString& fileName, const QString& line, QString* error = nullptr)
{
    if (fileName.isEmpty())
        return true;
    return fileops::appendFile(fileName, codepage::toAnsi(line) + "\r\n", error);
}

// Lines of the operations log lost since it last could be written, and who hears of it.
std::mutex g_lostLock;
QString g_lostFrom;
int g_lostLines = 0;
LogFailureHandler g_failureHandler;

QString stamp(const char* separator)
{
    const TDateTime now = toDateTime(clock::now());
    return DateToStr(now) + QLatin1Char(' ') + TimeToStr(now) + QLatin1String(separator);
}

} // namespace

QString OperationsLogFileName()
{
    return WorkPath.isEmpty() ? QString() : WorkPath + QStringLiteral("QUORVANE.LOG");
}

void WriteToLog(const QString& text)
{
    const QString file = OperationsLogFileName();
    LogFailureHandler tell;
    QString error;
    {
        // Lines may come from a driver's worker thread too.
        const std::lock_guard lock(g_lostLock);
        if (file != g_lostFrom) {
            g_lostFrom = file;
            g_lostLines = 0;
        }
        if (g_lostLines > 0 && appendLine(file,
                                          stamp(" - ") + QStringLiteral("%1 lines of this log "
                                                                        "could not be written")
                                                             .arg(g_lostLines),
                                          &error))
            g_lostLines = 0;
        if (g_lostLines == 0 && appendLine(file, stamp(" - ") + text, &error))
            return;
        // The log cannot say it itself: standard error does, and the user hears of it once.
        WriteToStandardError(QStringLiteral("QUORVANE.LOG not written (%1): %2").arg(error, text));
        if (++g_lostLines == 1)
            tell = g_failureHandler;
    }
    if (tell)
        tell(error);
}

void WriteToStandardError(const QString& line)
{
    // A zero byte (read from a damaged file) would end the line early.
    const QByteArray bytes = line.toLocal8Bit().replace('\0', "\\0") + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

void SetLogFailureHandler(LogFailureHandler handler)
{
    const std::lock_guard lock(g_lostLock);
    g_failureHandler = std::move(handler);
}

void AppendLogLine(const QString& fileName, const QString& line, bool withStamp)
{
    appendLine(fileName, withStamp ? stamp("\t") + line : line);
}
