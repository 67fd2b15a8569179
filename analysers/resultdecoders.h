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

// ---- fixed-layout results, read by position (fixeddecoders.cpp, maxmfile.cpp). A legend line
// goes only with a result line.

// AUTOLAB record: byte 0 ignored, bytes 1-8 Name, 9-38 Code (header), then records of ten bytes:
// the parameter number in two decimal digits, the value in seven, one separator; a trailing
// partial record is ignored, every field trimmed. A visible parameter of device 10 gives
// "CODE=value", a tab and its unit (the tab stands when the unit is empty). A file shorter than
// its 39-byte head raises EInOutError; a number field that is not a decimal integer raises
// EConvertError, the results before it kept. Clears Header and Results only.
void ViewAutolabFile(const QString& FileName, QStringList& Header, QStringList& Results,
                     QStringList* Legend);

// Sysmex KX-21 line (the file's first line): Date from characters 4-9 (yymmdd, a year below 81
// in the 2000s), in the regional short date format; Code from characters 12-22 without leading
// zeros. Then the fields of five characters from character 30, one per parameter of device 11 in
// NUMBER order: four digits with an implied decimal point (after the second for RBC, the fourth
// for PLT, the third otherwise), leading zeros removed, and a flag digit. A field that begins
// with "*" or is not wholly inside the line is absent. A visible parameter gives "CODE=value",
// tab, the unit when ScaleValue read the value (empty otherwise), tab, the flag text. Date digits
// that form no valid date raise EConvertError. Clears Header and Results only.
void ViewSysmexFile(const QString& FileName, QStringList& Header, QStringList& Results,
                    QStringList* Legend);

// Advia 70 record of 454 bytes (a shorter file raises EInOutError): header fields Code, SeqNo,
// PatID, Name, FName and Date when not empty, then Time ("hh:nn:ss") from the time of day, which
// must be a valid time (seconds optional, AM or PM allowed; else EConvertError, before any
// result); then 22 results of five bytes and 15 raw values of six, each "code=value" scaled
// with ScaleValue (no unit) when its device-17 row is visible. A field ends at its first zero
// byte and is trimmed; an empty one gives nothing.
void ViewAdviaFile(const QString& FileName, QStringList& Header, QStringList& Results,
                   QStringList* Legend);

// Max-M Coulter file (maxmfile.h describes it): the header items of line group 1 (DATE as Date,
// TIME as Time, ID1 as Code, SEQUENCE as SeqNo; ID2, CASS/POS, 1EC/P, ID1STATUS, C/PSTATUS and
// WLSTATUS under their own names), then for each line of groups 2 to 4 whose name is a visible
// code of device 18, "CODE=" the first six characters of the value, a tab and the unit. Nothing
// is decoded when the block count is 0 or not a number, the file's size gives no whole, positive
// block length, or the content does not begin with the head. Returns whether the tail was found
// where it belongs; results already added stay either way (a group that runs past the data ends
// the decoding as a failure). Never raises but for an unreadable file.
bool ViewMaxMFile(const QString& FileName, QStringList& Header, QStringList& Results,
                  QStringList* Legend);
