// Code page conversion and Windows ANSI case mapping.
// (First cut: conversion through Qt's codecs; the case tables follow.)
#include "codepage.h"

#include "exception.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace codepage {
namespace {
CodePage g_current = Cp1252;
const char* codecName(CodePage cp) { return cp == Cp1251 ? "windows-1251" : "windows-1252"; }
} // namespace

CodePage forLanguage(int language) { return language == 2 ? Cp1251 : Cp1252; }
CodePage current() { return g_current; }
void setCurrent(CodePage cp) { g_current = cp; }

QByteArray encode(const QString& text, CodePage cp, bool* lossless)
{
    QStringEncoder enc(codecName(cp));
    QByteArray out = enc.encode(text);
    if (lossless)
        *lossless = !enc.hasError();
    return out;
}

QString decode(const QByteArray& bytes, CodePage cp)
{
    QStringDecoder dec(codecName(cp));
    return dec.decode(bytes);
}

QByteArray toAnsi(const QString& text, bool* lossless) { return encode(text, g_current, lossless); }
QString fromAnsi(const QByteArray& bytes) { return decode(bytes, g_current); }

QByteArray toAnsiStrict(const QString& text, const QString& what)
{
    bool ok = true;
    QByteArray out = toAnsi(text, &ok);
    if (!ok)
        throw EConvertError(QStringLiteral("%1 holds characters that cannot be stored: %2").arg(what, text));
    return out;
}

QString upper(const QString& text, CodePage) { return text.toUpper(); }
QString lower(const QString& text, CodePage) { return text.toLower(); }
QByteArray upperBytes(const QByteArray& bytes, CodePage cp) { return encode(upper(decode(bytes, cp), cp), cp); }
QByteArray lowerBytes(const QByteArray& bytes, CodePage cp) { return encode(lower(decode(bytes, cp), cp), cp); }
unsigned char upperByte(unsigned char b, CodePage cp)
{
    const QByteArray r = upperBytes(QByteArray(1, char(b)), cp);
    return r.size() == 1 ? (unsigned char)r.at(0) : b;
}
unsigned char lowerByte(unsigned char b, CodePage cp)
{
    const QByteArray r = lowerBytes(QByteArray(1, char(b)), cp);
    return r.size() == 1 ? (unsigned char)r.at(0) : b;
}

} // namespace codepage
