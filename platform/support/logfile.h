// The operations log and the line log. Neither ever raises: a line that cannot be written is lost.
#pragma once

#include <QString>

#include <functional>

// Appends "<date> <time> - <text>" to WorkPath + "QUORVANE.LOG" (date and time in the regional
// short date and long time formats), creating the file when missing; the text as OneLogLine gives
// it. Nothing is written while WorkPath is not set. A line that cannot be written (a full disk)
// goes to standard error; the first of a run of such lines is also handed to the failure handler,
// and the next line written is preceded by how many lines were lost since the last one.
void WriteToLog(const QString& text);

// The text as one line of a log: control characters (a newline in a file name) are written as
// "\x" and two hexadecimal digits, so no text can end its line or forge another.
QString OneLogLine(const QString& text);

// Writes the line to standard error, in the locale's encoding.
void WriteToStandardError(const QString& line);

// Told (with the reason) when the operations log stops taking lines; the program shows it.
using LogFailureHandler = std::function<void(const QString& reason)>;
void SetLogFailureHandler(LogFailureHandler handler);

// Appends the line and a line end to the file, creating it when missing; with withStamp the line
// is preceded by the date, a blank, the time and a tab.
void AppendLogLine(const QString& fileName, const QString& line, bool withStamp);

// The operations log's file name (WorkPath + "QUORVANE.LOG"); empty while WorkPath is not set.
QString OperationsLogFileName();
