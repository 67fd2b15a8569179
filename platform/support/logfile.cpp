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

QString OneLogLine(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            line += QStringLiteral("\\x") +
                    QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

void WriteToLog(const QString& text)
{
    const QString file = OperationsLogFileName();
    if (file.isEmpty())
        return;
    const QString line = OneLogLine(text);
    LogFailureHandler tell;
    QString error;
    {
        // Lines may come from a driver's worker thread too.
        const std::lock_guard lock(g_lostLock);
        if (file != g_lostFrom) {
            g_lostFrom = file;
            g_lostLines = 0;
        }
        // The count of lost lines and the line itself land in one append, whole or not at all,
        // so that the count always covers every line lost since the last one written.
        QByteArray bytes;
        if (g_lostLines > 0)
            bytes = codepage::toAnsi(stamp(" - ") + QStringLiteral("%1 lines of this log could "
                                                                   "not be written")
                                                        .arg(g_lostLines)) +
                    "\r\n";
        bytes += codepage::toAnsi(stamp(" - ") + line) + "\r\n";
        if (fileops::appendFile(file, bytes, &error)) {
            g_lostLines = 0;
            return;
        }
        // The log cannot say it itself: standard error does, and the user hears of it once.
        WriteToStandardError(QStringLiteral("QUORVANE.LOG not written (%1): %2").arg(error, line));
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
