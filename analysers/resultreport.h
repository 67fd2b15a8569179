// The driver-based report of a stored analyser result: the driver class of the device code loads
// the file and fills a result holder, which is laid out as the text lines the document viewer
// shows.
#pragma once

#include <analysers/drvmain.h>

#include <QString>
#include <QStringList>

// Fills Lines with the report of the stored result file of the device code (compared as given):
// the header rows of the result holder (a name's first row "NAME:" padded to 37 characters and
// the value, its further rows 37 blanks and the value), two empty lines, the column heading
// (Russian when ProgLanguage is 2, English otherwise), a rule of 89 "-", and one line per result:
// its number, code, label (the code when it has none), value and unit ("<--->" without a value)
// and state, in columns of 2, 12, 53 and 14 characters two blanks apart (a longer text is written
// whole), trailing blanks removed. The driver is made for the report and freed after it, never
// the one bound to a port. A code without a report driver gives the frame alone; a file the
// driver cannot load raises its error.
void ViewDriverResultFile(const QString& DeviceCode, const QString& FileName, QStringList& Lines);

// Makes the driver class the report of a device code loads its files with ("MDT": Miditron). The
// ASTM-family drivers add their codes.
void RegisterReportDriver(const QString& DeviceCode, const TDriverClass& DriverClass);

// The report lines of a filled holder (steps after the loading).
QStringList ResultReportLines(TResInfo& ResInfo);
