// Runtime-library string formatting: the directive parser and the conversion of each argument
// kind. Every mismatch between a directive and its argument is an error, never a guess.
#include "format.h"

#include "exception.h"
#include "regional.h"

#include <limits>
#include <optional>

namespace {

constexpr int MaxWidth = 1000000;

class Formatter
{
public:
    Formatter(const QString& format, const VariantList& args) : m_format(format), m_args(args) {}

    QString run()
    {
        QString out;
        const int n = m_format.size();
        int i = 0;
        while (i < n) {
            const int percent = m_format.indexOf(QLatin1Char('%'), i);
            if (percent < 0) {
                out += QStringView(m_format).mid(i);
                break;
            }
            out += QStringView(m_format).mid(i, percent - i);
            i = percent + 1;
            if (i >= n)
                fail();
            if (m_format.at(i) == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
            i = directive(i, out);
        }
        return out;
    }

private:
    [[noreturn]] void fail() const
    {
        throw EConvertError(
            QStringLiteral("Format '%1' invalid or incompatible with argument list").arg(m_format));
    }

    QChar at(int i) const { return i < m_format.size() ? m_format.at(i) : QChar(); }

    static bool isDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

    // A run of digits, or "*" for the next argument (which may be negative); nothing when
    // neither is there.
    std::optional<int> count(int& i)
    {
        if (at(i) == QLatin1Char('*')) {
            ++i;
            const Variant& v = next();
            if (v.type() != Variant::Type::Integer)
                fail();
            const qint64 value = v.toInt64();
            if (value > MaxWidth || value < -MaxWidth)
                fail();
            return int(value);
        }
        if (!isDigit(at(i)))
            return std::nullopt;
        qint64 value = 0;
        while (isDigit(at(i))) {
            value = value * 10 + (at(i).unicode() - u'0');
            if (value > MaxWidth)
                fail();
            ++i;
        }
        return int(value);
    }

    const Variant& next()
    {
        if (m_next < 0 || m_next >= m_args.size())
            fail();
        return m_args.at(m_next++);
    }

    // Parses the directive whose text starts at `i` (after the "%") and writes its result.
    int directive(int i, QString& out)
    {
        bool leftAlign = false;
        std::optional<int> width;
        if (at(i) != QLatin1Char('-')) {
            // A count followed by ":" is the index; otherwise it was the width.
            const std::optional<int> first = count(i);
            if (first && at(i) == QLatin1Char(':')) {
                m_next = *first;
                ++i;
            } else {
                width = first;
            }
        }
        if (!width) {
            if (at(i) == QLatin1Char('-')) {
                leftAlign = true;
                ++i;
            }
            width = count(i);
        }
        int minWidth = width.value_or(0);
        if (minWidth < 0) { // a "*" width below zero aligns left, as "-" does
            leftAlign = true;
            minWidth = -minWidth;
        }
        int precision = -1;
        if (at(i) == QLatin1Char('.')) {
            ++i;
            precision = count(i).value_or(0);
            if (precision < 0) // a "*" precision below zero is no precision
                precision = -1;
        }
        const QChar type = at(i).toLower();
        if (type.isNull())
            fail();
        ++i;
        QString text = convert(type.unicode(), precision);
        if (text.size() < minWidth) {
            const QString pad(minWidth - text.size(), QLatin1Char(' '));
            text = leftAlign ? text + pad : pad + text;
        }
        out += text;
        return i;
    }

    qint64 integerArgument()
    {
        const Variant& v = next();
        if (v.type() != Variant::Type::Integer)
            fail();
        return v.toInt64();
    }

    double floatArgument()
    {
        const Variant& v = next();
        switch (v.type()) {
        case Variant::Type::Double:
        case Variant::Type::Currency:
        case Variant::Type::DateTime:
            return v.toDouble();
        default:
            fail();
        }
    }

    // The bits an unsigned or hexadecimal directive shows: 32 for a value an int could hold.
    static quint64 unsignedBits(qint64 value)
    {
        if (value >= std::numeric_limits<qint32>::min() && value < 0)
            return quint32(qint32(value));
        return quint64(value);
    }

    static QString withMinimumDigits(QString digits, int precision, bool negative)
    {
        if (digits.size() < precision)
            digits.prepend(QString(precision - digits.size(), QLatin1Char('0')));
        return negative ? QLatin1Char('-') + digits : digits;
    }

    QString convert(char16_t type, int precision)
    {
        switch (type) {
        case u'd': {
            const qint64 v = integerArgument();
            const quint64 magnitude = v < 0 ? 0 - quint64(v) : quint64(v);
            return withMinimumDigits(QString::number(magnitude), precision, v < 0);
        }
        case u'u':
            return withMinimumDigits(QString::number(unsignedBits(integerArgument())), precision,
                                     false);
        case u'x':
            return withMinimumDigits(IntToHex(unsignedBits(integerArgument()), 0), precision,
                                     false);
        case u'p':
            return IntToHex(unsignedBits(integerArgument()), 8);
        case u'e':
            return FloatToStrF(floatArgument(), ffExponent, precision < 0 ? 15 : precision, 3);
        case u'f':
            return FloatToStrF(floatArgument(), ffFixed, 18, precision < 0 ? 2 : precision);
        case u'g':
            return FloatToStrF(floatArgument(), ffGeneral, precision < 0 ? 15 : precision, 0);
        case u'n':
            return FloatToStrF(floatArgument(), ffNumber, 18, precision < 0 ? 2 : precision);
        case u'm':
            return FloatToStrF(floatArgument(), ffCurrency, 18,
                               precision < 0 ? regional().currencyDecimals : precision);
        case u's': {
            const Variant& v = next();
            if (v.type() != Variant::Type::String)
                fail();
            const QString s = v.toString();
            return precision >= 0 && precision < s.size() ? s.left(precision) : s;
        }
        default:
            fail();
        }
    }

    const QString& m_format;
    const VariantList& m_args;
    int m_next = 0;
};

} // namespace

QString Format(const QString& format, const VariantList& args)
{
    return Formatter(format, args).run();
}
