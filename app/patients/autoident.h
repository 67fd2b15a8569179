// Automatic identification: the patient's name found in a document's own text.
//
// Three kinds of text report carry the patient's last and first names after fixed labels. The
// kind comes from the extension configured for the document's source; the labels are matched on
// the document's bytes exactly (blanks and tabs included), in the program's single-byte code page.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One row of the marker table: where a field of a report kind stands and how it ends. Positions
// and lines count from 1; -1 means anywhere (position) or every line (line). A word count of -1
// takes every word up to the end marker or the end of the line.
struct IdMarkerRow
{
    int Kind;
    QString FieldName;
    int Position;
    int Line;
    QByteArray StartMarker;
    QByteArray EndMarker;
    int WordCount;
};

// Report kinds: 1 "JAE", 2 "DYN", 3 "BR1".
constexpr int IdMarkerRowCount = 6;
// Row 1..6 of the marker table.
const IdMarkerRow& IdMarker(int Row);

// The kind of report of a source's extension, upper-cased first; false when it has none. Only
// the exact extension counts ("JAE " with a blank is not "JAE").
bool FindReportKind(const QString& Extension, int& Kind);
// The first row (1..6) of the kind with this field name, compared exactly.
bool FindMarkerRow(int Kind, const QString& FieldName, int& Row);

// Looks for the field in the lines. Line -1: every line that holds the start marker is tried in
// order, from its first occurrence of the marker, and the first success wins. Line n >= 1: only
// line n, at `Position`; false when the text is shorter.
bool FindField(const QList<QByteArray>& Lines, int Position, int Line,
               const QByteArray& StartMarker, int WordCount, const QByteArray& EndMarker,
               QByteArray& Value);
// Reads the field from one line: the start marker must stand at `Position` (from 1), or anywhere
// for -1; the words after it are joined with one blank. Word count -1 needs at least one word,
// n >= 1 exactly n words; 0 succeeds with Value unchanged.
bool ExtractField(const QByteArray& Text, int Position, const QByteArray& StartMarker,
                  int WordCount, const QByteArray& EndMarker, QByteArray& Value);
// The tokenizer. Word separators are TAB, blank and apostrophe; a field ends where the text
// begins with the end marker (when one is given). Skips separators, then takes the word up to the
// next separator, the end marker or the end of the text; Text keeps what follows the word (less
// the separator that ended it). False, with nothing taken, when the field has ended or no word is
// left.
bool NextWord(QByteArray& Text, QByteArray& Word, const QByteArray& EndMarker);

// A document's text as lines, split at CR LF, LF or CR; a final line end opens no empty line.
QList<QByteArray> SplitReportLines(const QByteArray& Bytes);

// Sets the patient of document Number from the names its text holds; true when it did. A name
// not yet in the local patients table is added to it. False, with the document left to the
// identification dialog, when the document needs no identification, its source gives no report
// kind, the names are not found, or the search cannot be made (the practice database is in use,
// the text cannot be read, a table fails): it never raises, and a search that could not be made
// leaves one line in the operations log.
bool IdentifyFile(int Number);
