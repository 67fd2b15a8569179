// The two text orders of the program's keys: exact (by the bytes of the program's code page) and
// folded (without regard to case and accents, ties broken by the exact order), shared by the
// in-memory indexes and the database engine's collation so that both sort names alike.
#pragma once

#include <QString>

namespace collation {

// Texts end at their first NUL character, as stored strings do: "DU" followed by a NUL compares
// equal to "DU".

// Order by the bytes of the current code page (codepage::current()).
int compareExact(const QString& a, const QString& b);

// The folded key of a text: case and accents removed, character by character.
QString foldedKey(const QString& text);
// Order of two folded keys. Under the Cyrillic code page Cyrillic letters sort before Latin ones,
// as Russian lists do; otherwise by character.
int compareFoldedKeys(const QString& a, const QString& b);
// Order by the folded keys alone (the match of case-insensitive searches).
int compareFolded(const QString& a, const QString& b);
// The case-insensitive index order: folded, ties broken by the exact order, so that two different
// texts are never equal.
int compareCaseInsensitive(const QString& a, const QString& b);

// Numbers that order like the characters of a text, part by part (seven characters a part in the
// exact order, six of a folded key in the folded order): when the parts before are equal and two
// parts differ, their texts compare the same way; equal parts say nothing. A part after the end of
// the text (or after a character outside the code page) is 0. Indexes keep the first parts to
// settle most comparisons without reaching the texts.
quint64 exactPrefix(const QString& text, int part = 0);
quint64 foldedPrefix(const QString& foldedKey, int part = 0);

} // namespace collation
