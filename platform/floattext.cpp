// Floating-point numbers as text with the regional settings: the five formats of FloatToStrF
// (general, exponent, fixed, number, currency), the picture formats of FormatFloat, money amounts,
// and reading numbers back.
#include "regional.h"

#include "exception.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// A number as decimal digits: value = 0.d1d2d3... x 10^exponent. `digits` has no trailing zeros
// and is empty for zero.
struct Decimal
{
    bool negative = false;
    QByteArray digits;
    int exponent = 0;

    bool isZero() const { return digits.isEmpty(); }
    // The digit at 0-based `pos` (0 beyond the stored ones).
    char digit(int pos) const { return pos >= 0 && pos < digits.size() ? digits.at(pos) : '0'; }

    void trim()
    {
        while (!digits.isEmpty() && digits.endsWith('0'))
            digits.chop(1);
        if (digits.isEmpty())
            exponent = 0;
    }

    // Keeps `count` leading digits, rounding half away from zero.
    void roundTo(int count)
    {
        if (count >= digits.size())
            return;
        if (count < 0) {
            digits.clear();
            trim();
            return;
        }
        const bool up = digits.at(count) >= '5';
        digits.truncate(count);
        if (up) {
            int i = count - 1;
            while (i >= 0 && digits.at(i) == '9')
                digits[i--] = '0';
            if (i >= 0) {
                digits[i] = char(digits.at(i) + 1);
            } else {
                digits.prepend('1');
                ++exponent;
            }
        }
        trim();
    }
    void roundToDecimals(int decimals) { roundTo(exponent + decimals); }
};

// The fifteen leading significant digits of a finite value.
Decimal toDecimal(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    const std::string_view text(buf, res.ptr - buf); // "d.dddddddddddddde+XX"
    const auto e = text.find('e');
    for (char c : text.substr(0, e))
        if (c != '.')
            d.digits.append(c);
    int exp10 = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    exp10);
    d.exponent = exp10 + 1;
    d.trim();
    if (d.isZero())
        d.negative = false;
    return d;
}

QString nonFinite(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

QString paddedNumber(int value, int minDigits)
{
    QString text = QString::number(value);
    if (text.size() < minDigits)
        text.prepend(QString(minDigits - text.size(), QLatin1Char('0')));
    return text;
}

// Integer digits of a rounded number, with separators every three digits when asked.
QString integerPart(const Decimal& d, QChar thousands)
{
    QString out;
    const int count = qMax(d.exponent, 0);
    for (int i = 0; i < count; ++i) {
        out += QLatin1Char(d.digit(i));
        const int left = count - 1 - i;
        if (!thousands.isNull() && left > 0 && left % 3 == 0)
            out += thousands;
    }
    return out.isEmpty() ? QStringLiteral("0") : out;
}

QString fractionPart(const Decimal& d, int decimals)
{
    QString out;
    for (int i = 0; i < decimals; ++i)
        out += QLatin1Char(d.digit(d.exponent + i));
    return out;
}

QString sign(const Decimal& d)
{
    return d.negative && !d.isZero() ? QStringLiteral("-") : QString();
}

QString generalFormat(Decimal d, int precision, int expDigits, const FormatSettings& fs)
{
    d.roundTo(precision);
    if (d.isZero())
        return QStringLiteral("0");
    QString out = sign(d);
    if (d.exponent > precision || d.exponent < -3) {
        out += QLatin1Char(d.digit(0));
        if (d.digits.size() > 1)
            out += fs.decimalSeparator + QString::fromLatin1(d.digits.mid(1));
        const int exp = d.exponent - 1;
        out += QLatin1Char('E');
        if (exp < 0)
            out += QLatin1Char('-');
        out += paddedNumber(std::abs(exp), expDigits);
        return out;
    }
    const int decimals = qMax(int(d.digits.size()) - d.exponent, 0);
    out += integerPart(d, QChar());
    if (decimals > 0)
        out += fs.decimalSeparator + fractionPart(d, decimals);
    return out;
}

QString exponentFormat(Decimal d, int precision, int expDigits, const FormatSettings& fs)
{
    d.roundTo(precision);
    QString out = sign(d);
    out += QLatin1Char(d.digit(0));
    if (precision > 1) {
        out += fs.decimalSeparator;
        for (int i = 1; i < precision; ++i)
            out += QLatin1Char(d.digit(i));
    }
    const int exp = d.isZero() ? 0 : d.exponent - 1;
    out += QLatin1Char('E');
    out += exp < 0 ? QLatin1Char('-') : QLatin1Char('+');
    out += paddedNumber(std::abs(exp), expDigits);
    return out;
}

QString fixedFormat(Decimal d, int decimals, QChar thousands, const FormatSettings& fs)
{
    d.roundToDecimals(decimals);
    QString out = sign(d) + integerPart(d, thousands);
    if (decimals > 0)
        out += fs.decimalSeparator + fractionPart(d, decimals);
    return out;
}

// ---- FormatFloat pictures

struct Section
{
    QString text;
    int intPlaceholders = 0; // "0" and "#" before the decimal point
    int firstIntZero = -1;   // index among them of the first "0"
    int decPlaceholders = 0; // after the decimal point
    int lastDecZero = 0;     // 1-based position of the last "0" after it
    bool thousands = false;
    bool scientific = false;
    int expZeros = 0;
    bool hasPoint = false;
};

// Splits the format into sections at ";" outside quotes.
QStringList splitSections(const QString& format)
{
    QStringList sections{QString()};
    QChar quote;
    for (const QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char(';')) {
            sections.append(QString());
            continue;
        }
        sections.last() += c;
    }
    return sections;
}

bool isExponentAt(const QString& s, int i)
{
    return (s.at(i) == QLatin1Char('E') || s.at(i) == QLatin1Char('e')) && i + 1 < s.size() &&
           (s.at(i + 1) == QLatin1Char('+') || s.at(i + 1) == QLatin1Char('-'));
}

Section analyse(const QString& text)
{
    Section s;
    s.text = text;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const int end = text.indexOf(c, i + 1);
            i = end < 0 ? text.size() : end;
        } else if (s.scientific) {
            continue;
        } else if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (s.hasPoint) {
                ++s.decPlaceholders;
                if (c == QLatin1Char('0'))
                    s.lastDecZero = s.decPlaceholders;
            } else {
                if (c == QLatin1Char('0') && s.firstIntZero < 0)
                    s.firstIntZero = s.intPlaceholders;
                ++s.intPlaceholders;
            }
        } else if (c == QLatin1Char('.')) {
            s.hasPoint = true;
        } else if (c == QLatin1Char(',')) {
            if (!s.hasPoint)
                s.thousands = true;
        } else if (isExponentAt(text, i)) {
            s.scientific = true;
            for (int j = i + 2; j < text.size() && text.at(j) == QLatin1Char('0'); ++j)
                ++s.expZeros;
            s.expZeros = qMin(s.expZeros, 4);
        }
    }
    return s;
}

// Writes one section for a number already rounded as the section asks. `exp10` is the exponent
// written in scientific notation.
QString applySection(const Section& s, const Decimal& d, int exp10, const FormatSettings& fs)
{
    // Integer digits: those of the number, widened with zeros to the forced "0" placeholders.
    QString intDigits;
    for (int i = 0; i < d.exponent; ++i)
        intDigits += QLatin1Char(d.digit(i));
    const int forced = s.firstIntZero < 0 ? 0 : s.intPlaceholders - s.firstIntZero;
    if (intDigits.size() < forced)
        intDigits.prepend(QString(forced - intDigits.size(), QLatin1Char('0')));
    // Decimal digits shown: up to the last non-zero one, and at least up to the last "0".
    int shownDecimals = 0;
    for (int i = 0; i < s.decPlaceholders; ++i)
        if (d.digit(d.exponent + i) != '0')
            shownDecimals = i + 1;
    shownDecimals = qMax(shownDecimals, s.lastDecZero);

    QString out;
    int intIndex = 0; // placeholder index before the point
    int decIndex = 0;
    bool pastPoint = false;
    bool expDone = false;
    bool digitWritten = false;
    auto putIntDigit = [&](int digitIndex) {
        out += intDigits.at(digitIndex);
        digitWritten = true;
        const int left = int(intDigits.size()) - 1 - digitIndex;
        if (s.thousands && left > 0 && left % 3 == 0)
            out += fs.thousandSeparator;
    };
    const QString& t = s.text;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const int end = t.indexOf(c, i + 1);
            out += t.mid(i + 1, (end < 0 ? t.size() : end) - i - 1);
            i = end < 0 ? t.size() : end;
        } else if (!expDone && (c == QLatin1Char('0') || c == QLatin1Char('#'))) {
            if (!pastPoint) {
                const int offset = int(intDigits.size()) - s.intPlaceholders; // digits beyond
                if (intIndex == 0)
                    for (int k = 0; k < offset; ++k)
                        putIntDigit(k);
                const int digitIndex = offset + intIndex;
                if (digitIndex >= 0)
                    putIntDigit(digitIndex);
                ++intIndex;
            } else {
                if (decIndex < shownDecimals)
                    out += QLatin1Char(d.digit(d.exponent + decIndex));
                ++decIndex;
            }
        } else if (!expDone && c == QLatin1Char('.')) {
            if (!pastPoint) {
                if (intIndex == 0) // no integer placeholder: the digits still have to appear
                    for (int k = 0; k < intDigits.size(); ++k)
                        putIntDigit(k);
                pastPoint = true;
                if (shownDecimals > 0)
                    out += fs.decimalSeparator;
            }
        } else if (!expDone && c == QLatin1Char(',')) {
            // a flag, not a character
        } else if (!expDone && s.scientific && isExponentAt(t, i)) {
            out += c;
            if (exp10 < 0)
                out += QLatin1Char('-');
            else if (t.at(i + 1) == QLatin1Char('+'))
                out += QLatin1Char('+');
            int j = i + 2;
            while (j < t.size() && t.at(j) == QLatin1Char('0'))
                ++j;
            out += paddedNumber(std::abs(exp10), s.expZeros);
            i = j - 1;
            expDone = true;
        } else if (!pastPoint && intIndex > 0 && !digitWritten) {
            // A character between integer placeholders ("# ### ##0") groups digits: before the
            // first digit written there is nothing to group.
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                    const FormatSettings& fs)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    precision = qBound(1, precision, 18);
    const Decimal d = toDecimal(value);
    switch (format) {
    case ffGeneral:
        return generalFormat(d, precision, qBound(0, digits, 4), fs);
    case ffExponent:
        return exponentFormat(d, precision, qBound(0, digits, 4), fs);
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
        if (d.exponent > precision)
            return generalFormat(d, precision, 0, fs);
        const QChar thousands = format == ffFixed ? QChar() : fs.thousandSeparator;
        QString out = fixedFormat(d, qBound(0, digits, 18), thousands, fs);
        if (format == ffCurrency)
            out += QLatin1Char(' ') + fs.currencyString;
        return out;
    }
    }
    return QString();
}

QString FloatToStr(double value, const FormatSettings& fs)
{
    return FloatToStrF(value, ffGeneral, 15, 0, fs);
}

QString CurrToStr(Currency value, const FormatSettings& fs)
{
    const bool negative = value.scaled < 0;
    const quint64 magnitude = negative ? 0 - quint64(value.scaled) : quint64(value.scaled);
    QString out = negative ? QStringLiteral("-") : QString();
    out += QString::number(magnitude / 10000);
    QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        out += fs.decimalSeparator + fraction;
    return out;
}

bool TryStrToFloat(const QString& text, double& value, const FormatSettings& fs)
{
    const QString t = text.trimmed();
    std::string ascii; // the number in the form from_chars reads
    int i = 0;
    const int n = t.size();
    if (i < n && (t.at(i) == QLatin1Char('+') || t.at(i) == QLatin1Char('-'))) {
        if (t.at(i) == QLatin1Char('-'))
            ascii += '-';
        ++i;
    }
    int mantissaDigits = 0;
    int leadingIntDigits = 0; // integer digits after leading zeros, for the size of the value
    bool seenNonZero = false;
    int zerosAfterPoint = 0;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = t.at(i);
        if (c.isDigit() && c.unicode() < 128) {
            ascii += char(c.unicode());
            ++mantissaDigits;
            if (c != QLatin1Char('0'))
                seenNonZero = true;
            if (!point && seenNonZero)
                ++leadingIntDigits;
            if (point && !seenNonZero)
                ++zerosAfterPoint;
        } else if (!point && (c == fs.decimalSeparator || c == QLatin1Char('.'))) {
            ascii += '.';
            point = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return false;
    int exp10 = 0;
    if (i < n && (t.at(i) == QLatin1Char('e') || t.at(i) == QLatin1Char('E'))) {
        ascii += 'e';
        ++i;
        if (i < n && (t.at(i) == QLatin1Char('+') || t.at(i) == QLatin1Char('-')))
            ascii += char(t.at(i++).unicode());
        int expDigits = 0;
        for (; i < n && t.at(i).unicode() >= '0' && t.at(i).unicode() <= '9'; ++i) {
            ascii += char(t.at(i).unicode());
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
        const auto e = ascii.rfind('e');
        const bool negativeExp = ascii[e + 1] == '-';
        const auto r = std::from_chars(ascii.data() + e + 1 + (ascii[e + 1] == '+' ? 1 : 0),
                                       ascii.data() + ascii.size(), exp10);
        if (r.ec != std::errc())
            exp10 = negativeExp ? std::numeric_limits<int>::min() / 2
                                : std::numeric_limits<int>::max() / 2;
    }
    if (i != n)
        return false;
    double v = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (res.ptr != ascii.data() + ascii.size())
        return false;
    if (res.ec == std::errc::result_out_of_range) {
        // Too small to hold is zero; too large is refused.
        const long magnitude =
            long(seenNonZero ? (leadingIntDigits > 0 ? leadingIntDigits : -zerosAfterPoint) : 0) +
            exp10;
        if (magnitude > 0)
            return false;
        v = ascii.front() == '-' ? -0.0 : 0.0;
    } else if (res.ec != std::errc()) {
        return false;
    }
    value = v;
    return true;
}

double StrToFloat(const QString& text, const FormatSettings& fs)
{
    double v = 0;
    if (!TryStrToFloat(text, v, fs))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

double StrToFloatDef(const QString& text, double defaultValue, const FormatSettings& fs)
{
    double v = 0;
    return TryStrToFloat(text, v, fs) ? v : defaultValue;
}

QString FormatFloat(const QString& format, double value, const FormatSettings& fs)
{
    if (format.isEmpty() || !std::isfinite(value))
        return FloatToStr(value, fs);
    const QStringList sections = splitSections(format);
    const Section positive = analyse(sections.at(0));
    Decimal d = toDecimal(value);
    if (d.exponent > 18 && !positive.scientific)
        return FloatToStr(value, fs);

    auto rounded = [&d](const Section& s, int* exp10) {
        Decimal r = d;
        if (s.scientific) {
            const int intDigits = qMax(s.intPlaceholders, 1);
            r.roundTo(intDigits + s.decPlaceholders);
            *exp10 = r.isZero() ? 0 : r.exponent - intDigits;
            if (!r.isZero())
                r.exponent = intDigits;
        } else {
            r.roundToDecimals(s.decPlaceholders);
            *exp10 = 0;
        }
        return r;
    };

    int exp10 = 0;
    Decimal r = rounded(positive, &exp10);
    if (r.isZero()) {
        if (sections.size() > 2 && !sections.at(2).isEmpty()) {
            const Section zero = analyse(sections.at(2));
            return applySection(zero, rounded(zero, &exp10), exp10, fs);
        }
        r.negative = false;
        return applySection(positive, r, exp10, fs);
    }
    if (d.negative && sections.size() > 1 && !sections.at(1).isEmpty()) {
        const Section negative = analyse(sections.at(1));
        Decimal rn = rounded(negative, &exp10);
        if (rn.isZero() && sections.size() > 2 && !sections.at(2).isEmpty()) {
            const Section zero = analyse(sections.at(2));
            return applySection(zero, rounded(zero, &exp10), exp10, fs);
        }
        return applySection(negative, rn, exp10, fs);
    }
    const QString text = applySection(positive, r, exp10, fs);
    return d.negative ? QLatin1Char('-') + text : text;
}
