// Texts as .xlsx files keep them: a character that XML cannot carry is written "_xHHHH_" (its
// code in four hexadecimal digits), so a text that holds such a sequence itself keeps it by
// writing its underscore as the escape of one, "_x005F_".
#pragma once

#include <QString>

namespace xlsxtext {

// Whether an escape "_xHHHH_" starts at `i`.
inline bool escapeAt(const QString& text, qsizetype i)
{
    if (i + 7 > text.size() || text.at(i) != QLatin1Char('_') ||
        text.at(i + 1) != QLatin1Char('x') || text.at(i + 6) != QLatin1Char('_'))
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k) {
        const char16_t c = text.at(k).unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

// The text as the writer is to be given it: the underscore of every sequence that would read as
// an escape becomes "_x005F_" (the writer escapes the control characters itself).
inline QString protectEscapes(const QString& text)
{
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString out;
    out.reserve(text.size() + 14);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (escapeAt(text, i))
            out += QLatin1String("_x005F");
        out += text.at(i);
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
