// The small text routines that the result-file decoders share. They work on the bytes of an
// analyser's output: positions and lengths count bytes, and a text becomes a QString only when
// it goes into a decoder's list, decoded from the program's ANSI code page (AnsiText).
#pragma once

#include "devcatalogue.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The longest line the text-file reader keeps, in bytes.
constexpr int MaxTextLine = 255;

// The lines of a text file as the text-file reader gives them: CR LF, LF and a lone CR each end a
// line, and the last line needs no line end (a file that ends with one has no empty line after
// it). A longer line keeps its first MaxTextLine bytes; the rest of it is dropped, never made a
// new line. A file that cannot be read raises EInOutError naming it.
QList<QByteArray> ReadTextFileLines(const QString& FileName);
// The same, of bytes already read.
QList<QByteArray> TextLines(const QByteArray& Bytes);

// Lines cut at CR alone, as the URILUX and ABX printouts are read: LF bytes are dropped wherever
// they stand, and a text that ends with CR has no empty line after it. With MaxLength above 0,
// a line keeps only its first MaxLength bytes.
QList<QByteArray> LinesAtCR(const QByteArray& Bytes, int MaxLength = 0);

// Removes the bytes 0 to 32 (blanks and control characters) at both ends, the start or the end.
QByteArray TrimBytes(const QByteArray& Text);
QByteArray TrimLeftBytes(const QByteArray& Text);
QByteArray TrimRightBytes(const QByteArray& Text);

// Removes every leading occurrence of C (the decoders remove leading zeros with it).
QByteArray TrimLeftChar(const QByteArray& Text, char C);
// The longest prefix made only of digits, "," and "."; empty when Text begins with anything
// else.
QByteArray LeadingNumber(const QByteArray& Text);
// True when Text is not empty and holds only digits, "," and ".".
bool IsNumberText(const QByteArray& Text);

// Splits a comma text into its items: items are separated by commas and by runs of bytes 0 to
// 32 outside double quotes, which such runs also surround without belonging to an item. An item
// that begins with a double quote runs to the next lone double quote ("" stands for one quote
// inside it; without a closing quote it runs to the end of the text). An empty item between two
// commas counts, a comma at the end of the text adds none: "a,,b" has three items, "a,b," two.
QList<QByteArray> CommaTextItems(const QByteArray& Text);

// Bytes Pos (counted from 1) on, Count of them or to the end when Count is negative. A position
// before the first byte counts from the first; one beyond the end, or a Count of 0, gives an
// empty text: nothing outside the data is ever read.
QByteArray MidBytes(const QByteArray& Text, qsizetype Pos, qsizetype Count = -1);

// A text of the analyser's output, decoded from the program's ANSI code page for a list.
QString AnsiText(const QByteArray& Bytes);

// ---- the decoders' lists

// Empties the header and result lists, and the legend when one is given.
void ClearDecoderLists(QStringList& Header, QStringList& Results, QStringList* Legend);
// Adds the row's "CODE=NAME" to the legend when one is given.
void AddLegend(QStringList* Legend, const TMDevDataRow& Row);
