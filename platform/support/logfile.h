// The operations log and the line log. Neither ever raises: a line that cannot be written is lost.
#pragma once

#include <QString>

// Appends "<date> <time> - <text>" to WorkPath + "QUORVANE.LOG" (date and time in the regional
// short date and long time formats), creating the file when missing. Nothing is written while
// WorkPath is not set.
void WriteToLog(const QString& text);

// Appends the line and a line end to the file, creating it when missing; with withStamp the line
// is preceded by the date, a blank, the time and a tab.
void AppendLogLine(const QString& fileName, const QString& line, bool withStamp);

// The operations log's file name (WorkPath + "QUORVANE.LOG"); empty while WorkPath is not set.
QString OperationsLogFileName();
