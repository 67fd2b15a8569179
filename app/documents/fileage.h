// File times in the packed 32-bit date-time form the local tables keep them in (fr.db, FrFiles.db,
// rcfiles.DB, DSfiles.db): the date in the high word, the local time of day in the low word.
#pragma once

#include <QDateTime>
#include <QString>

// The packed form of a local date and time: bits 25-31 the year since 1980, 21-24 the month,
// 16-20 the day, 11-15 the hour, 5-10 the minute, 0-4 the second halved (the form counts in
// steps of two seconds). Moments before 1980 give 1980-01-01 00:00:00, those after 2107 the
// last moment of 2107; an invalid date-time gives -1.
int PackFileTime(const QDateTime& local);

// The packed modification time of the file, -1 when there is no such file (a folder is no file).
int FileAge(const QString& path);
