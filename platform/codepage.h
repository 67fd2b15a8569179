// The program's ANSI code pages (windows-1252 and windows-1251): conversion between text and the
// bytes shared with other programs and older files, and the Windows ANSI upper and lower case.
#pragma once

#include <QByteArray>
#include <QString>

namespace codepage {

enum CodePage { Cp1252 = 1252, Cp1251 = 1251 };

// 1251 for language 2 (Russian); 1252 for every other language code (0, 1 French, 3 English).
CodePage forLanguage(int language);

// The program's current ANSI code page (1252 until the language is set at start-up).
CodePage current();
void setCurrent(CodePage cp);

// Text to bytes of the code page. A character the code page cannot hold becomes '?' and
// *lossless (when given) is set to false.
QByteArray encode(const QString& text, CodePage cp, bool* lossless = nullptr);
QString decode(const QByteArray& bytes, CodePage cp);

// The same in the current code page.
QByteArray toAnsi(const QString& text, bool* lossless = nullptr);
QString fromAnsi(const QByteArray& bytes);

// Text the code page cannot hold is refused with EConvertError where it would become a key,
// a file name or a credential; `what` names it in the message.
QByteArray toAnsiStrict(const QString& text, const QString& what);

// Windows ANSI case mapping of the code page: a character's Unicode simple case mapping, kept only
// when the result exists in the same code page.
QString upper(const QString& text, CodePage cp = current());
QString lower(const QString& text, CodePage cp = current());
QByteArray upperBytes(const QByteArray& bytes, CodePage cp = current());
QByteArray lowerBytes(const QByteArray& bytes, CodePage cp = current());
unsigned char upperByte(unsigned char b, CodePage cp = current());
unsigned char lowerByte(unsigned char b, CodePage cp = current());

} // namespace codepage
