// The operations log "QUORVANE.LOG" and the stamped line log: text lines in the program's ANSI code
// page with Windows line ends, as the practice's other tools read them.
#include "logfile.h"

#include "globals.h"

#include <platform/clock.h>
#include <platform/codepage.h>
#include <platform/fileops.h>
#include <platform/regional.h>

namespace {

void appendLine(const QString& fileName, const QString& line)
{
    if (fileName.isEmpty())
        return;
    fileops::appendFile(fileName, codepage::toAnsi(line) + "\r\n"); // a failure loses the line
}

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
    appendLine(OperationsLogFileName(), stamp(" - ") + text);
}

void AppendLogLine(const QString& fileName, const QString& line, bool withStamp)
{
    appendLine(fileName, withStamp ? stamp("\t") + line : line);
}
