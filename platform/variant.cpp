// Variant values: construction, the conversions between their kinds with the regional settings,
// equality and the order used by sorting and searching.
#include "variant.h"

#include "codepage.h"
#include "exception.h"
#include "regional.h"

#include <cmath>
#include <limits>

namespace {

[[noreturn]] void cannotConvert(Variant::Type from, const char* to)
{
    throw EConvertError(QStringLiteral("Could not convert variant of type (%1) into type (%2)")
                            .arg(QLatin1String(Variant::typeName(from)), QLatin1String(to)));
}

// Rounds half to even into the 64-bit range; false when the value does not fit.
bool roundToInt64(double value, qint64& result)
{
    const double r = std::nearbyint(value); // the default rounding mode: half to even
    if (!(std::fabs(r) < 9223372036854775808.0))
        return false;
    result = qint64(r);
    return true;
}

qint64 roundCurrency(qint64 scaled)
{
    qint64 whole = scaled / 10000;
    const qint64 rest = scaled % 10000; // same sign as scaled
    if (std::abs(rest) > 5000 || (std::abs(rest) == 5000 && whole % 2 != 0))
        whole += scaled < 0 ? -1 : 1;
    return whole;
}

bool textToBool(const QString& text, bool& value)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        value = true;
        return true;
    }
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        value = false;
        return true;
    }
    double d = 0;
    if (!TryStrToFloat(t, d))
        return false;
    value = d != 0;
    return true;
}

// Case-insensitive comparison of texts; the one place that decides how texts are folded.
int compareFolded(const QString& a, const QString& b)
{
    return codepage::foldKey(a).compare(codepage::foldKey(b));
}

bool isAscii(const QString& s)
{
    for (const QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

int compareText(const QString& a, const QString& b, bool caseInsensitive)
{
    int r = 0;
    if (caseInsensitive) {
        r = compareFolded(a, b);
    } else if (isAscii(a) && isAscii(b)) {
        r = QString::compare(a, b, Qt::CaseSensitive);
    } else {
        r = codepage::toAnsi(a).compare(codepage::toAnsi(b));
        if (r == 0)
            r = QString::compare(a, b, Qt::CaseSensitive);
    }
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int kindRank(Variant::Type t)
{
    switch (t) {
    case Variant::Type::Unassigned:
    case Variant::Type::Null:
        return 0;
    case Variant::Type::Boolean:
        return 1;
    case Variant::Type::Integer:
    case Variant::Type::Double:
    case Variant::Type::Currency:
    case Variant::Type::DateTime:
        return 2;
    case Variant::Type::String:
        return 3;
    case Variant::Type::Bytes:
        return 4;
    }
    return 5;
}

template <typename T> int sign3(T x, T y)
{
    return x < y ? -1 : (y < x ? 1 : 0);
}

} // namespace

Currency Currency::fromDouble(double value)
{
    const double scaled = value * 10000.0;
    // llround rounds half away from zero; 2^63 is the first value beyond the range.
    if (!(std::fabs(scaled) < 9223372036854775808.0))
        throw EConvertError(
            QStringLiteral("Could not convert variant of type (Double) into type (Currency)"));
    return Currency{qint64(std::llround(scaled))};
}

void Variant::destroyData() noexcept
{
    if (m_type == Type::String)
        m_data.s.~QString();
    else
        m_data.y.~QByteArray();
    m_type = Type::Unassigned;
}

Variant::Variant(const char* value) : m_type(Type::String)
{
    new (&m_data.s) QString(QString::fromUtf8(value));
}
Variant::Variant(QChar value) : m_type(Type::String)
{
    new (&m_data.s) QString(value);
}

bool Variant::isNumeric() const
{
    return m_type == Type::Integer || m_type == Type::Double || m_type == Type::Currency;
}

const char* Variant::typeName(Type type)
{
    // In the order of Type.
    static const char* const names[] = {"Empty",    "Null", "Boolean", "Int64",     "Double",
                                        "Currency", "Date", "String",  "Array Byte"};
    const auto i = size_t(type);
    return i < std::size(names) ? names[i] : "Unknown";
}

bool Variant::convertToBool() const
{
    switch (m_type) {
    case Type::Unassigned:
    case Type::Null:
        return false;
    case Type::Boolean:
        return m_data.b;
    case Type::Integer:
    case Type::Currency:
        return m_data.i != 0;
    case Type::Double:
    case Type::DateTime:
        return m_data.d != 0;
    case Type::String: {
        bool b = false;
        if (!textToBool(m_data.s, b))
            cannotConvert(m_type, "Boolean");
        return b;
    }
    case Type::Bytes:
        break;
    }
    cannotConvert(m_type, "Boolean");
}

qint64 Variant::convertToInt64() const
{
    switch (m_type) {
    case Type::Unassigned:
    case Type::Null:
        return 0;
    case Type::Boolean:
        return m_data.b ? -1 : 0;
    case Type::Integer:
        return m_data.i;
    case Type::Currency:
        return roundCurrency(m_data.i);
    case Type::Double:
    case Type::DateTime: {
        qint64 v = 0;
        if (!roundToInt64(m_data.d, v))
            cannotConvert(m_type, "Int64");
        return v;
    }
    case Type::String: {
        const QString t = m_data.s.trimmed();
        qint64 v = 0;
        if (TryStrToInt64(t, v))
            return v;
        double d = 0;
        if (TryStrToFloat(t, d) && roundToInt64(d, v))
            return v;
        break;
    }
    case Type::Bytes:
        break;
    }
    cannotConvert(m_type, "Int64");
}

int Variant::toInt() const
{
    const qint64 v = toInt64();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        cannotConvert(m_type, "Integer");
    return int(v);
}

double Variant::convertToDouble() const
{
    switch (m_type) {
    case Type::Unassigned:
    case Type::Null:
        return 0;
    case Type::Boolean:
        return m_data.b ? -1 : 0;
    case Type::Integer:
        return double(m_data.i);
    case Type::Double:
    case Type::DateTime:
        return m_data.d;
    case Type::Currency:
        return double(m_data.i) / 10000.0;
    case Type::String: {
        double d = 0;
        if (!TryStrToFloat(m_data.s, d))
            cannotConvert(m_type, "Double");
        return d;
    }
    case Type::Bytes:
        break;
    }
    cannotConvert(m_type, "Double");
}

Currency Variant::convertToCurrency() const
{
    constexpr qint64 maxWhole = std::numeric_limits<qint64>::max() / 10000;
    switch (m_type) {
    case Type::Unassigned:
    case Type::Null:
        return Currency{};
    case Type::Boolean:
        return Currency{m_data.b ? -10000 : 0};
    case Type::Currency:
        return Currency{m_data.i};
    case Type::Integer:
        if (m_data.i < -maxWhole || m_data.i > maxWhole)
            break;
        return Currency{m_data.i * 10000};
    case Type::Double:
    case Type::DateTime:
    case Type::String: {
        const double d = m_type == Type::String ? toDouble() : m_data.d;
        const double scaled = d * 10000.0;
        if (!(std::fabs(scaled) < 9223372036854775808.0))
            break;
        return Currency::fromDouble(d);
    }
    case Type::Bytes:
        break;
    }
    cannotConvert(m_type, "Currency");
}

TDateTime Variant::convertToDateTime() const
{
    switch (m_type) {
    case Type::String: {
        TDateTime v = 0;
        if (TryStrToDateTime(m_data.s.trimmed(), v))
            return v;
        break;
    }
    case Type::Boolean:
    case Type::Bytes:
        break;
    default: // a day count: empty, a number, a currency or a date-time already
        return convertToDouble();
    }
    cannotConvert(m_type, "Date");
}

QString Variant::toString() const&
{
    switch (m_type) {
    case Type::Unassigned:
    case Type::Null:
        return QString();
    case Type::Boolean:
        return m_data.b ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Integer:
        return QString::number(m_data.i);
    case Type::Double:
        return FloatToStr(m_data.d);
    case Type::Currency:
        return CurrToStr(Currency{m_data.i});
    case Type::DateTime: {
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
        DecodeDate(m_data.d, year, month, day);
        DecodeTime(m_data.d, hour, minute, second, msec);
        const bool dayZero = year == 1899 && month == 12 && day == 30;
        const bool midnight = hour == 0 && minute == 0 && second == 0;
        const FormatSettings& fs = regional();
        if (dayZero)
            return FormatDateTime(fs.longTimeFormat, m_data.d);
        if (midnight)
            return FormatDateTime(fs.shortDateFormat, m_data.d);
        return FormatDateTime(fs.shortDateFormat + QLatin1Char(' ') + fs.longTimeFormat, m_data.d);
    }
    case Type::String:
        return m_data.s;
    case Type::Bytes:
        break;
    }
    cannotConvert(m_type, "String");
}

QByteArray Variant::toBytes() const&
{
    switch (m_type) {
    case Type::Bytes:
        return m_data.y;
    case Type::Unassigned:
    case Type::Null:
        return QByteArray();
    default:
        return codepage::toAnsi(toString());
    }
}

QString Variant::toString() &&
{
    if (m_type != Type::String)
        return std::as_const(*this).toString();
    QString text = std::move(m_data.s);
    destroy();
    return text;
}

QByteArray Variant::toBytes() &&
{
    if (m_type != Type::Bytes)
        return std::as_const(*this).toBytes();
    QByteArray bytes = std::move(m_data.y);
    destroy();
    return bytes;
}

bool operator==(const Variant& a, const Variant& b)
{
    if (a.m_type != b.m_type)
        return false;
    switch (a.m_type) {
    case Variant::Type::Boolean:
        return a.m_data.b == b.m_data.b;
    case Variant::Type::Integer:
    case Variant::Type::Currency:
        return a.m_data.i == b.m_data.i;
    case Variant::Type::Double:
    case Variant::Type::DateTime:
        return a.m_data.d == b.m_data.d || (std::isnan(a.m_data.d) && std::isnan(b.m_data.d));
    case Variant::Type::String:
        return a.m_data.s == b.m_data.s;
    case Variant::Type::Bytes:
        return a.m_data.y == b.m_data.y;
    case Variant::Type::Unassigned:
    case Variant::Type::Null:
        return true;
    }
    return true;
}

int Variant::compare(const Variant& a, const Variant& b, bool caseInsensitive)
{
    const int ra = kindRank(a.m_type), rb = kindRank(b.m_type);
    if (ra != rb)
        return sign3(ra, rb);
    switch (a.m_type) {
    case Type::Unassigned:
    case Type::Null:
        return 0;
    case Type::Boolean:
        return sign3(int(a.m_data.b), int(b.m_data.b));
    case Type::String:
        return compareText(a.m_data.s, b.m_data.s, caseInsensitive);
    case Type::Bytes: {
        const int r = a.m_data.y.compare(b.m_data.y);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    default:
        break;
    }
    // Numbers. Integers and currency compare exactly; anything else through long double, which
    // holds every 64-bit integer exactly.
    const bool exactA = a.m_type == Type::Integer || a.m_type == Type::Currency;
    const bool exactB = b.m_type == Type::Integer || b.m_type == Type::Currency;
    if (exactA && exactB) {
        const auto scaled = [](const Variant& v) {
            return v.m_type == Type::Integer ? __int128(v.m_data.i) * 10000 : __int128(v.m_data.i);
        };
        return sign3(scaled(a), scaled(b));
    }
    const auto value = [](const Variant& v) -> long double {
        switch (v.m_type) {
        case Type::Integer:
            return v.m_data.i;
        case Type::Currency:
            return static_cast<long double>(v.m_data.i) / 10000.0L;
        default:
            return v.m_data.d;
        }
    };
    const long double x = value(a), y = value(b);
    const bool nanX = std::isnan(x), nanY = std::isnan(y);
    if (nanX || nanY)
        return sign3(int(!nanX), int(!nanY));
    return sign3(x, y);
}
