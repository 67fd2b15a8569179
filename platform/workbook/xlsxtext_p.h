// Texts as .xlsx files keep them: a character that XML cannot carry is written "_xHHHH_" (its
// code in four hexadecimal digits), so a text that holds such a sequence itself keeps it by
// writing its underscore as the escape of one, "_x005F_".
#pragma once

#include <QString>

#include <algorithm>

namespace xlsxtext {

// Whether the character is one XML cannot carry (a control character, U+FFFE, U+FFFF), which
// the file holds as its escape.
inline bool escapedChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\n') || u == 0xFFFE || u == 0xFFFF;
}

// Whether "_xHHHH" starts at `i`, followed by `close` (its closing underscore).
inline bool escapeAt(const QString& text, qsizetype i, bool (*close)(QChar))
{
    if (i + 7 > text.size() || text.at(i) != QLatin1Char('_') ||
        text.at(i + 1) != QLatin1Char('x') || !close(text.at(i + 6)))
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k) {
        const char16_t c = text.at(k).unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

inline bool underscore(QChar c)
{
    return c == QLatin1Char('_');
}

// Whether an escape "_xHHHH_" starts at `i`.
inline bool escapeAt(const QString& text, qsizetype i)
{
    return escapeAt(text, i, underscore);
}

// The text as the writer is to be given it: every character XML cannot carry becomes its escape
// (NUL included, which the writer would take for the text's end), and the underscore of every
// sequence that would then read as an escape becomes "_x005F_" ("_x0041" before such a
// character too, since that character's escape begins with an underscore).
inline QString protectEscapes(const QString& text)
{
    const auto needsCare = [](QChar c) { return c == QLatin1Char('_') || escapedChar(c); };
    if (std::none_of(text.begin(), text.end(), needsCare))
        return text;
    const auto closes = [](QChar c) { return underscore(c) || escapedChar(c); };
    QString out;
    out.reserve(text.size() + 14);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (escapedChar(c)) {
            out += QLatin1String("_x") +
                   QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0')).toUpper() +
                   QLatin1Char('_');
            continue;
        }
        if (escapeAt(text, i, closes))
            out += QLatin1String("_x005F");
        out += c;
    }
    return out;
}

// The text a file's string stands for: every escape becomes its character, in one pass from the
// left ("_x005F_x0041_" is "_x0041_").
inline QString decodeEscapes(const QString& text)
{
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (escapeAt(text, i)) {
            out += QChar(char16_t(text.mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 6;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

} // namespace xlsxtext
