// The program's ANSI code pages (windows-1252 and windows-1251): conversion between text and the
// bytes shared with other programs and older files, and the Windows ANSI upper and lower case.
#pragma once

#include <QByteArray>
#include <QString>

namespace codepage {

enum CodePage { Cp1252 = 1252, Cp1251 = 1251 };

// 1251 for language 2 (Russian); 1252 for every other language code (0, 1 French, 3 English).
CodePage forLanguage(int language);

// The program's current ANSI code page (1252 until the language is set at start-up). Set once at
// start-up; safe to read from any thread.
CodePage current();
void setCurrent(CodePage cp);

// Text to bytes of the code page, one byte per character. A character the code page cannot hold
// (a surrogate pair counts as one character) becomes '?' and *lossless (when given) is set to
// false. The bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D in 1252; 0x98 in
// 1251) decode to the C1 control of the same value and encode back to that byte, so that any byte
// string survives decode() followed by encode() unchanged.
QByteArray encode(const QString& text, CodePage cp, bool* lossless = nullptr);
QString decode(const QByteArray& bytes, CodePage cp);
// True when `text` can be encoded in the code page without loss.
bool canEncode(const QString& text, CodePage cp);

// The same in the current code page.
QByteArray toAnsi(const QString& text, bool* lossless = nullptr);
QString fromAnsi(const QByteArray& bytes);

// Text the code page cannot hold is refused with EConvertError where it would become a key,
// a file name or a credential; `what` names it in the message.
QByteArray toAnsiStrict(const QString& text, const QString& what);

// Windows ANSI case mapping of the code page: a character's Unicode simple case mapping, kept only
// when the result exists in the same code page (ÿ/Ÿ, š/Š, œ/Œ in 1252; ё/Ё in 1251; ß and µ have no
// upper case). Characters outside the code page are left as they are. The byte forms are table
// look-ups.
QString upper(const QString& text, CodePage cp = current());
QString lower(const QString& text, CodePage cp = current());
QByteArray upperBytes(const QByteArray& bytes, CodePage cp = current());
QByteArray lowerBytes(const QByteArray& bytes, CodePage cp = current());
unsigned char upperByte(unsigned char b, CodePage cp = current());
unsigned char lowerByte(unsigned char b, CodePage cp = current());

// Equality of two texts regardless of case, by the code page's upper case (ASCII and accented or
// Cyrillic letters alike).
bool sameText(const QString& a, const QString& b, CodePage cp = current());

// Key for comparing and sorting names as a person expects, regardless of case and accents: each
// character is decomposed (Unicode NFD), its combining marks are dropped and the rest is
// lower-cased, so "Élodie" and "ELODIE" both give "elodie" and "Ёлка" gives "елка". Folding is
// character by character: ligatures and letters without a decomposition stay ("Œuvre" gives
// "œuvre", "Straße" gives "straße", "Øst" gives "øst"). Does not depend on the code page.
QString foldKey(const QString& text);

} // namespace codepage
