// The BFA analyser's result files turned into Russian patient reports (windows-1251 text, one per
// patient and sample cup), and the test names the document viewer shows in place of test codes.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

// One report written by ReadBFAFile, with what its caller registers the document under.
struct BFAReport
{
    QString fileName;    // full path of "~bfa<i>.tmp"
    QString patientName; // the record's patient name as received; empty when it has none
    QString patientId;   // the record's patient identifier (the record number), as received
    QDate date;          // date and time of the conversion, the same for every report of a file
    QTime time;          // whole seconds, as the report's first line shows it
};

// Converts the BFA result file `fileName` into text reports "~bfa1.tmp", "~bfa2.tmp", ... in the
// folder of the input (files of those names are replaced), one per patient and sample cup, and
// deletes the input. Returns the reports in order; their number is the list's size. A file
// without any record gives one report with empty patient fields, so the list is never empty.
//
// All or nothing: when the input cannot be read, a report cannot be written or the input cannot
// be deleted, EInOutError is raised, the input stays where it was and the reports written so far
// are removed again, so a later attempt neither loses nor duplicates a report. An input whose own
// name is that of a report ("~bfa<n>.tmp") is refused the same way: it would be overwritten.
QList<BFAReport> ReadBFAFile(const QString& fileName);

// Rewrites the result lines of a report as ReadBFAFile writes it (every line from the 19th): the
// test code in characters 5 to 20 is replaced by its name, padded with blanks to 16 characters.
// Lines whose code is empty, and all lines before the 19th, are left as they are.
void FormatBFAReport(QStringList& lines);

// The Russian name of a test code (exact, case-sensitive match), or the code itself when the
// dictionary does not know it.
QString BFATestName(const QString& code);
