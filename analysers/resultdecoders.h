// The result-file decoders: each reads a stored analyser result and fills three lists that the
// document viewer lays out as a report.
//
// - Header: "name=value" lines describing the sample (Title, Name, PatID, Code, Date, Time,
//   SeqNo, Temp, TestStrip, Duration, CarPos, CarNum are shown; other names stay unshown).
// - Results: one "code=value" line per parameter, the value optionally followed by a tab and the
//   unit, a tab and a flag text, and further tab-separated texts.
// - Legend: "code=name" lines; nullptr when the caller wants none.
//
// Decoders only read, and work on the file's bytes: positions count bytes, and each text put
// into a list is decoded from the program's ANSI code page. A file that cannot be read raises
// EInOutError naming it; the lists then keep what was added before, as they do when a decoder
// raises for a line it cannot use. Parameters are named from the device catalogue
// (devcatalogue.h). Every decoder is safe on any bytes: nothing outside the data is read.
#pragma once

#include <QString>
#include <QStringList>

// URILUX printout: lines cut at CR (LF bytes dropped, 255 bytes a line), right-trimmed. Until
// the first result is found each line goes through the Template ("name=line,column[,length];
// label" lines, UriluxTemplate()): an item whose line number is the line's takes the text at its
// column; an item without a line number whose label occurs in the line takes what remains of the
// line once the label and the characters after it are removed (as many as the item's whole value
// has), and ends the template for that line. Every line, as the header phase left it, is then
// read from ResultColumn (1 for the first byte): its first word is a code of Device, the next
// word its value, with the catalogue's unit when the value is a number. Clears Header and
// Results only.
void ViewUriluxFile(const QString& FileName, QStringList& Header, QStringList& Results,
                    QStringList* Legend, const QStringList& Template, int Device, int ResultColumn);

// Trombotimer printout: "name value" lines (the value after the last blank). "Date" and "Result"
// before the first "Channel" line give Date and SeqNo; a "Channel" line selects the channel by
// "1+2", "1" or "2" in its name, and the "Time"/"INR" (channel 1 or 2) or "Time 1", "Time 2",
// "Average" (both) lines after it give results. Returns whether a "Channel" line was seen. Clears
// nothing.
bool ViewTrombotimerFile(const QString& FileName, QStringList& Header, QStringList& Results,
                         QStringList* Legend);

// Aution MINI comma-separated lines: the first gives Date, Code, Temp, Time and TestStrip by
// their items' first letters; each further one "code,qualitative,numeric,,flag" gives a result
// when its code is a visible parameter. A line of no item is skipped; a result line of fewer
// than three items raises EStringListError. Clears nothing.
void ViewAutionMiniFile(const QString& FileName, QStringList& Header, QStringList& Results,
                        QStringList* Legend);

// RFT printout of six lines: line 2 "date,time" (fewer than two items raise EStringListError),
// line 3 the code, line 4 the result "CODE value unit" (a code ended by another punctuation
// character than a blank carries a temperature after the unit), lines 5 and 6 its note. A code
// the catalogue lacks still gives its line, named "???" in the legend.
void ViewRftFile(const QString& FileName, QStringList& Header, QStringList& Results,
                 QStringList* Legend);

// ABX / Advia 60 tagged lines, cut at CR: the first is skipped, an empty one ends the file. Each
// line's first byte is its tag: header items, the date and time, or one of eighteen results
// whose value is five bytes followed by two flag bytes.
void ViewAbxFile(const QString& FileName, QStringList& Header, QStringList& Results,
                 QStringList* Legend);

// StaRRsed: the first line, read by fixed columns into Code, CarPos, Duration, Temp and
// SampleErr (header) and Sedi, Corr, Aspect, "Manual aspect" and EDTA (results); only non-empty
// items are added. The legend stays empty.
void ViewStarrsedFile(const QString& FileName, QStringList& Header, QStringList& Results,
                      QStringList* Legend);

// Hitachi 911 and 912 result files written by their drivers: "name=value" lines. A name that is
// an integer other than 0 is a test number of Device: its catalogue CODE takes the value (a
// number the catalogue lacks is dropped); every other line goes to the header as it is.
void ViewHitachiFile(const QString& FileName, QStringList& Header, QStringList& Results,
                     QStringList* Legend, int Device);
void ViewHitachi911File(const QString& FileName, QStringList& Header, QStringList& Results,
                        QStringList* Legend);
void ViewHitachi912File(const QString& FileName, QStringList& Header, QStringList& Results,
                        QStringList* Legend);
