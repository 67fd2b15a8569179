// Small text helpers of the workstation.
#pragma once

#include <QString>

// The integer value of the text; 0 when it is not a whole number.
int StrToIntDef0(const QString& text);

// The text read as a real number with "." as the decimal point, times 100, rounded to the nearest
// integer ("2.07" gives 207). A text whose reading stops early (a second ".", or any other
// character that is not part of the number) gives 0, as does an empty text.
int StrToFloatAny(const QString& text);

// The index-th field (counting from 1) of the text split at the delimiter, with leading and
// trailing blanks and control characters removed; empty when the text has fewer fields.
QString GetField(const QString& text, int index, QChar delimiter);
QString GetDelimitedField(const QString& text, int index, QChar delimiter);

// Count copies of ch (empty for 0).
QString StringOfChar(int count, QChar ch);

// Removes leading and trailing blanks and control characters (every character up to U+0020).
QString Trim(const QString& text);
QString TrimLeft(const QString& text);
QString TrimRight(const QString& text);
