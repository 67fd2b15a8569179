// Small text helpers of the workstation: number readings, field splitting, trimming.
#include "textprocs.h"

#include <cmath>
#include <optional>

namespace {

bool isTrimmed(QChar c)
{
    return c.unicode() <= 0x20;
}

// Reads a real number: optional blanks, sign, digits, one "." and digits, an exponent. Returns the
// value only when the whole text was read.
std::optional<double> readReal(const QString& text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    const int start = i;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < n && text.at(i).unicode() < 128 && text.at(i).isDigit()) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-')))
            ++j;
        int expDigits = 0;
        while (j < n && text.at(j).unicode() < 128 && text.at(j).isDigit()) {
            ++j;
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
        i = j;
    }
    if (i != n)
        return std::nullopt; // the reading stopped early: a second ".", or another character
    bool ok = false;
    const double value = text.mid(start).toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

} // namespace

int StrToIntDef0(const QString& text)
{
    bool ok = false;
    const int value = Trim(text).toInt(&ok);
    return ok ? value : 0;
}

int StrToFloatAny(const QString& text)
{
    const std::optional<double> value = readReal(text);
    if (!value)
        return 0;
    const double scaled = std::round(*value * 100.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) > 2147483647.0)
        return 0;
    return int(scaled);
}

QString GetField(const QString& text, int index, QChar delimiter)
{
    if (index < 1)
        return QString();
    int field = 1;
    int start = 0;
    for (;;) {
        const int end = text.indexOf(delimiter, start);
        if (field == index)
            return Trim(end < 0 ? text.mid(start) : text.mid(start, end - start));
        if (end < 0)
            return QString();
        start = end + 1;
        ++field;
    }
}

QString GetDelimitedField(const QString& text, int index, QChar delimiter)
{
    return GetField(text, index, delimiter);
}

QString StringOfChar(int count, QChar ch)
{
    return count > 0 ? QString(count, ch) : QString();
}

QString TrimLeft(const QString& text)
{
    int i = 0;
    while (i < text.size() && isTrimmed(text.at(i)))
        ++i;
    return text.mid(i);
}

QString TrimRight(const QString& text)
{
    int n = text.size();
    while (n > 0 && isTrimmed(text.at(n - 1)))
        --n;
    return text.left(n);
}

QString Trim(const QString& text)
{
    return TrimRight(TrimLeft(text));
}
