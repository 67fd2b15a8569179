// Stored forms of field values in the engine's SQLite files and the declared column types. The
// date and time texts are kept here, in one place, so that every table and query reads and writes
// the same forms.
#include "storedvalue.h"

#include <platform/exception.h>

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace storedvalue {
namespace {

const QDate& baseDate()
{
    static const QDate base(1899, 12, 30);
    return base;
}

constexpr qint64 MsecsPerDay = 86400000;

// Splits a date-time into its day and its time of day in whole milliseconds. A negative value
// counts its days backwards, but its fraction is still the time of day (-1.25 is 1899-12-29 06:00).
void split(TDateTime value, qint64& days, qint64& msecs)
{
    days = qint64(std::trunc(value));
    msecs = qint64(std::llround(std::fabs(value - double(days)) * double(MsecsPerDay)));
    if (msecs >= MsecsPerDay)
        msecs = MsecsPerDay - 1;
}

TDateTime combine(qint64 days, qint64 msecs)
{
    const double fraction = double(msecs) / double(MsecsPerDay);
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

void putDigits(QChar*& out, int value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
    out += count;
}

// The day `days` after 1899-12-30 in the proleptic Gregorian calendar, for the years 1 to 9999;
// counted without a calendar object, since every date written goes through here.
void civilDay(qint64 days, int& y, int& m, int& d)
{
    // Count from 0000-03-01, so that the leap day ends a year.
    const qint64 z = days + 693899;
    const int era = int(z / 146097);
    const int dayOfEra = int(z - qint64(era) * 146097);
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int monthFromMarch = (5 * dayOfYear + 2) / 153;
    d = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    m = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    y = era * 400 + yearOfEra + (m <= 2 ? 1 : 0);
}

QString dayText(qint64 days)
{
    constexpr qint64 FirstDayOfYear1 = -693593;   // 0001-01-01
    constexpr qint64 LastDayOfYear9999 = 2958465; // 9999-12-31
    int y, m, d;
    if (days < FirstDayOfYear1 || days > LastDayOfYear9999) {
        // Outside what four digits hold: the general form.
        baseDate().addDays(days).getDate(&y, &m, &d);
        return QDate(y, m, d).toString(Qt::ISODate);
    }
    civilDay(days, y, m, d);
    QString text(10, Qt::Uninitialized);
    QChar* out = text.data();
    putDigits(out, y, 4);
    *out++ = u'-';
    putDigits(out, m, 2);
    *out++ = u'-';
    putDigits(out, d, 2);
    return text;
}

QString clockText(qint64 msecs)
{
    const int secs = int(msecs / 1000);
    QString text(8, Qt::Uninitialized);
    QChar* out = text.data();
    putDigits(out, secs / 3600, 2);
    *out++ = u':';
    putDigits(out, secs / 60 % 60, 2);
    *out++ = u':';
    putDigits(out, secs % 60, 2);
    return text;
}

QString typeNameOrCode(FieldType type)
{
    return fieldTypeName(type);
}

[[noreturn]] void refuse(const Variant& value, FieldType type, const QString& column)
{
    QString text =
        value.type() == Variant::Type::Bytes ? QStringLiteral("(bytes)") : value.toString();
    QString msg = QStringLiteral("'%1' is not a valid %2 value").arg(text, typeNameOrCode(type));
    if (!column.isEmpty())
        msg += QStringLiteral(" (field '%1')").arg(column);
    throw EConvertError(msg);
}

TDateTime toDateTimeValue(const Variant& value, FieldType type, const QString& column)
{
    if (value.type() == Variant::Type::String) {
        const std::optional<TDateTime> parsed = parseDateTime(value.toString());
        if (!parsed)
            refuse(value, type, column);
        return *parsed;
    }
    if (value.type() == Variant::Type::Bytes)
        refuse(value, type, column);
    return value.toDateTime();
}

std::optional<bool> parseBool(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || t == QLatin1String("T") ||
        t == QLatin1String("t"))
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || t == QLatin1String("F") ||
        t == QLatin1String("f"))
        return false;
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (ok)
        return d != 0;
    return std::nullopt;
}

} // namespace

QString dateText(TDateTime value)
{
    qint64 days, msecs;
    split(value, days, msecs);
    return dayText(days);
}

QString timeText(TDateTime value)
{
    qint64 days, msecs;
    split(value, days, msecs);
    return clockText(msecs);
}

QString dateTimeText(TDateTime value)
{
    qint64 days, msecs;
    split(value, days, msecs);
    return dayText(days) + QLatin1Char(' ') + clockText(msecs);
}

namespace {

// The N digits at p as a number, -1 when one is not a digit. Every stored date goes through here,
// so the digits are checked together, without a branch each.
template <int N, typename Char> Q_ALWAYS_INLINE int digits(const Char* p)
{
    unsigned value = 0, bad = 0;
    for (int i = 0; i < N; ++i) {
        const unsigned c = unsigned(p[i]) - '0';
        bad |= unsigned(c > 9);
        value = value * 10 + c;
    }
    return bad ? -1 : int(value);
}

bool isLeapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1899-12-30 to a valid day of the proleptic Gregorian calendar (year 1 or later),
// counted without a calendar object: this runs once per date of every row loaded.
Q_ALWAYS_INLINE qint64 daysSinceBase(int y, int m, int d)
{
    // Count from 0000-03-01, so that the leap day ends a year.
    if (m <= 2)
        --y;
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    constexpr qint64 BaseFromMarch1st0000 = 693899; // 0000-03-01 to 1899-12-30
    return qint64(era) * 146097 + dayOfEra - BaseFromMarch1st0000;
}

Q_ALWAYS_INLINE bool isValidDay(int y, int m, int d)
{
    static constexpr int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > monthDays[m - 1])
        return false;
    return m != 2 || d != 29 || isLeapYear(y);
}

// The day of a stored "YYYY-MM-DD" in UTF-8, read as one word and a half: the ten characters
// are checked together and the digits gathered without a branch each. A loaded table's dates
// all come through here.
Q_ALWAYS_INLINE bool readDay(const char* p, int& y, int& m, int& d)
{
    quint64 word; // "YYYY-MM-", the first character in the low byte
    quint16 tail; // "DD"
    std::memcpy(&word, p, sizeof word);
    std::memcpy(&tail, p + 8, sizeof tail);
    word = qFromLittleEndian(word);
    tail = qFromLittleEndian(tail);
    constexpr quint64 Dashes = 0xFF0000FF00000000ULL; // bytes 4 and 7
    if ((word & Dashes) != (0x2D00002D00000000ULL))
        return false;
    // The dashes read as zeros, so that every byte must be a digit.
    const quint64 all = (word & ~Dashes) | 0x3000003000000000ULL;
    const quint32 two = quint32(tail) | 0x30300000U; // two more zeros fill the word
    constexpr quint64 High = 0xF0F0F0F0F0F0F0F0ULL, Zeros = 0x3030303030303030ULL,
                      Sixes = 0x0606060606060606ULL;
    if ((all & High) != Zeros || ((all + Sixes) & High) != Zeros ||
        (two & quint32(High)) != quint32(Zeros) ||
        ((two + quint32(Sixes)) & quint32(High)) != quint32(Zeros))
        return false;
    const quint64 v = all - Zeros;
    const auto at = [v](int i) { return int((v >> (8 * i)) & 0xF); };
    y = at(0) * 1000 + at(1) * 100 + at(2) * 10 + at(3);
    m = at(5) * 10 + at(6);
    d = int(tail & 0xF) * 10 + int((tail >> 8) & 0xF);
    return true;
}

template <typename Char> Q_ALWAYS_INLINE bool readDay(const Char* p, int& y, int& m, int& d)
{
    if (p[4] != '-' || p[7] != '-')
        return false;
    y = digits<4>(p);
    m = digits<2>(p + 5);
    d = digits<2>(p + 8);
    return y >= 0 && m >= 0 && d >= 0;
}

// The three forms the engine writes: "YYYY-MM-DD", "HH:MM:SS", "YYYY-MM-DD HH:MM:SS".
template <typename Char> std::optional<TDateTime> parseStoredForm(const Char* p, qsizetype n)
{
    qint64 days = 0, msecs = 0;
    const Char* time = nullptr;
    if (n == 10 || (n == 19 && p[10] == ' ')) {
        int y, m, d;
        if (!readDay(p, y, m, d) || !isValidDay(y, m, d))
            return std::nullopt;
        days = daysSinceBase(y, m, d);
        if (n == 10)
            return double(days);
        time = p + 11;
    } else if (n == 8) {
        time = p;
    } else {
        return std::nullopt;
    }
    if (time) {
        if (time[2] != ':' || time[5] != ':')
            return std::nullopt;
        const int h = digits<2>(time), mi = digits<2>(time + 3), s = digits<2>(time + 6);
        if (h < 0 || mi < 0 || s < 0 || h > 23 || mi > 59 || s > 59)
            return std::nullopt;
        msecs = ((h * 60 + mi) * 60 + s) * 1000LL;
    }
    return combine(days, msecs);
}

} // namespace

namespace {

// The forms other than those the engine writes.
Q_NEVER_INLINE std::optional<TDateTime> parseOtherForm(const char* utf8, qsizetype length)
{
    return parseDateTime(QString::fromUtf8(utf8, length));
}

} // namespace

std::optional<TDateTime> parseDateTime(const char* utf8, qsizetype length)
{
    if (std::optional<TDateTime> v = parseStoredForm(utf8, length))
        return v;
    return parseOtherForm(utf8, length);
}

std::optional<TDateTime> parseDateTime(const QString& text)
{
    if (std::optional<TDateTime> v = parseStoredForm(text.utf16(), text.size()))
        return v;
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(?:(\d{4})-(\d{1,2})-(\d{1,2}))?(?:(?:^|[ T])(\d{1,2}):(\d{2})(?::(\d{2})(?:[.,](\d{1,3})\d*)?)?)?\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch() || (m.capturedLength(1) == 0 && m.capturedLength(4) == 0))
        return std::nullopt;
    qint64 days = 0, msecs = 0;
    if (m.capturedLength(1) > 0) {
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!d.isValid())
            return std::nullopt;
        days = baseDate().daysTo(d);
    }
    if (m.capturedLength(4) > 0) {
        const int h = m.captured(4).toInt(), mi = m.captured(5).toInt();
        const int s = m.capturedLength(6) > 0 ? m.captured(6).toInt() : 0;
        const int ms =
            m.capturedLength(7) > 0 ? m.captured(7).leftJustified(3, QLatin1Char('0')).toInt() : 0;
        if (!QTime::isValid(h, mi, s, ms))
            return std::nullopt;
        msecs = ((h * 60 + mi) * 60 + s) * 1000LL + ms;
    }
    return combine(days, msecs);
}

Variant toStored(FieldType type, const Variant& value, bool emptyTextIsNull)
{
    if (value.isEmpty())
        return Variant::null();
    switch (type) {
    case FieldType::String:
    case FieldType::Memo: {
        if (value.type() == Variant::Type::String)
            return emptyTextIsNull && value.stringView().isEmpty() ? Variant::null() : value;
        const QString text = value.type() == Variant::Type::Bytes
                                 ? QString::fromUtf8(value.toBytes())
                                 : value.toString();
        if (text.isEmpty() && emptyTextIsNull)
            return Variant::null();
        return text;
    }
    case FieldType::Integer:
    case FieldType::AutoInc:
        if (value.type() == Variant::Type::Bytes)
            refuse(value, type, QString());
        return value.toInt64();
    case FieldType::Boolean:
        if (value.type() == Variant::Type::String) {
            const std::optional<bool> b = parseBool(value.toString());
            if (!b)
                refuse(value, type, QString());
            return qint64(*b ? 1 : 0);
        }
        return qint64(value.toBool() ? 1 : 0);
    case FieldType::Float:
        if (value.type() == Variant::Type::Bytes)
            refuse(value, type, QString());
        return value.toDouble();
    case FieldType::Currency:
        if (value.type() == Variant::Type::Bytes)
            refuse(value, type, QString());
        return value.toCurrency().toDouble();
    case FieldType::Date:
        return dateText(toDateTimeValue(value, type, QString()));
    case FieldType::Time:
        return timeText(toDateTimeValue(value, type, QString()));
    case FieldType::DateTime:
        return dateTimeText(toDateTimeValue(value, type, QString()));
    case FieldType::Blob:
    case FieldType::Graphic:
        return value.toBytes();
    case FieldType::Unknown:
        break;
    }
    // No field type (parameters without one): each value in its natural stored form.
    switch (value.type()) {
    case Variant::Type::Boolean:
        return qint64(value.toBool() ? 1 : 0);
    case Variant::Type::Currency:
        return value.toDouble();
    case Variant::Type::DateTime:
        return dateTimeText(value.toDateTime());
    default:
        return value;
    }
}

Variant fromStored(FieldType type, const Variant& stored, const QString& column)
{
    if (stored.isEmpty())
        return Variant::null();
    const bool isText = stored.type() == Variant::Type::String;
    const bool isBytes = stored.type() == Variant::Type::Bytes;
    switch (type) {
    case FieldType::String:
    case FieldType::Memo:
        return isBytes ? Variant(QString::fromUtf8(stored.toBytes())) : Variant(stored.toString());
    case FieldType::Integer:
    case FieldType::AutoInc: {
        if (isText) {
            bool ok = false;
            const qint64 v = stored.toString().trimmed().toLongLong(&ok);
            if (!ok)
                refuse(stored, type, column);
            return v;
        }
        if (isBytes)
            refuse(stored, type, column);
        return stored.toInt64();
    }
    case FieldType::Boolean: {
        if (isText) {
            const std::optional<bool> b = parseBool(stored.toString());
            if (!b)
                refuse(stored, type, column);
            return *b;
        }
        if (isBytes)
            refuse(stored, type, column);
        return stored.toDouble() != 0;
    }
    case FieldType::Float:
    case FieldType::Currency: {
        double d = 0;
        if (isText) {
            bool ok = false;
            d = stored.toString().trimmed().toDouble(&ok);
            if (!ok)
                refuse(stored, type, column);
        } else if (isBytes) {
            refuse(stored, type, column);
        } else {
            d = stored.toDouble();
        }
        return type == FieldType::Float ? Variant(d) : Variant(Currency::fromDouble(d));
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: {
        if (isBytes)
            refuse(stored, type, column);
        TDateTime v = toDateTimeValue(stored, type, column);
        qint64 days, msecs;
        split(v, days, msecs);
        if (type == FieldType::Date)
            v = double(days);
        else if (type == FieldType::Time)
            v = combine(0, msecs);
        return Variant::fromDateTime(v);
    }
    case FieldType::Blob:
    case FieldType::Graphic:
        return isBytes ? stored : Variant(stored.toString().toUtf8());
    case FieldType::Unknown:
        break;
    }
    return stored;
}

QString declaredType(FieldType type, int size)
{
    switch (type) {
    case FieldType::String:
        return QStringLiteral("VARCHAR(%1)").arg(size > 0 ? size : 255);
    case FieldType::Memo:
        return QStringLiteral("CLOB");
    case FieldType::Integer:
        return QStringLiteral("INTEGER");
    case FieldType::AutoInc:
        return QStringLiteral("AUTOINC");
    case FieldType::Boolean:
        return QStringLiteral("BOOLEAN");
    case FieldType::Float:
        return QStringLiteral("FLOAT");
    case FieldType::Currency:
        return QStringLiteral("CURRENCY");
    case FieldType::Date:
        return QStringLiteral("DATE");
    case FieldType::Time:
        return QStringLiteral("TIME");
    case FieldType::DateTime:
        return QStringLiteral("DATETIME");
    case FieldType::Blob:
        return QStringLiteral("BLOB");
    case FieldType::Graphic:
        return QStringLiteral("GRAPHIC");
    case FieldType::Unknown:
        break;
    }
    throw EConvertError(QStringLiteral("Field type %1 cannot be stored").arg(typeNameOrCode(type)));
}

FieldType fieldTypeOf(const QString& declared, int* size)
{
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*([A-Za-z_][A-Za-z0-9_ ]*?)\s*(?:\(\s*(\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*$)"));
    const QRegularExpressionMatch m = re.match(declared);
    if (size)
        *size = 0;
    if (!m.hasMatch())
        return FieldType::Unknown;
    const QString name = m.captured(1).toUpper().simplified();
    const int n = m.captured(2).toInt();
    const int scale = m.captured(3).toInt();
    struct Entry
    {
        const char* name;
        FieldType type;
    };
    static const Entry entries[] = {
        {"VARCHAR", FieldType::String},      {"CHAR", FieldType::String},
        {"NVARCHAR", FieldType::String},     {"NCHAR", FieldType::String},
        {"CHARACTER", FieldType::String},    {"VARCHAR2", FieldType::String},
        {"NVARCHAR2", FieldType::String},    {"CHARACTER VARYING", FieldType::String},
        {"TEXT", FieldType::Memo},           {"CLOB", FieldType::Memo},
        {"NTEXT", FieldType::Memo},          {"MEMO", FieldType::Memo},
        {"INTEGER", FieldType::Integer},     {"INT", FieldType::Integer},
        {"BIGINT", FieldType::Integer},      {"SMALLINT", FieldType::Integer},
        {"TINYINT", FieldType::Integer},     {"AUTOINC", FieldType::AutoInc},
        {"BOOLEAN", FieldType::Boolean},     {"BOOL", FieldType::Boolean},
        {"BIT", FieldType::Boolean},         {"LOGICAL", FieldType::Boolean},
        {"FLOAT", FieldType::Float},         {"REAL", FieldType::Float},
        {"DOUBLE", FieldType::Float},        {"DOUBLE PRECISION", FieldType::Float},
        {"CURRENCY", FieldType::Currency},   {"MONEY", FieldType::Currency},
        {"SMALLMONEY", FieldType::Currency}, {"DATE", FieldType::Date},
        {"TIME", FieldType::Time},           {"DATETIME", FieldType::DateTime},
        {"TIMESTAMP", FieldType::DateTime},  {"SMALLDATETIME", FieldType::DateTime},
        {"BLOB", FieldType::Blob},           {"VARBINARY", FieldType::Blob},
        {"BINARY", FieldType::Blob},         {"GRAPHIC", FieldType::Graphic},
        {"IMAGE", FieldType::Graphic},
    };
    // The local kind's "BLOB(size, subtype)": subtype 1 holds text, 5 a picture.
    if (name == QLatin1String("BLOB") && m.capturedLength(3) > 0)
        return scale == 1 ? FieldType::Memo : scale == 5 ? FieldType::Graphic : FieldType::Blob;
    for (const Entry& e : entries) {
        if (name == QLatin1String(e.name)) {
            if (e.type == FieldType::String && size)
                *size = n > 0 ? n : 255;
            return e.type;
        }
    }
    // NUMERIC(p, s) and DECIMAL(p, s): whole numbers without a scale, else floating.
    if (name == QLatin1String("NUMERIC") || name == QLatin1String("DECIMAL") ||
        name == QLatin1String("NUMBER"))
        return (m.capturedLength(2) > 0 && scale == 0) ? FieldType::Integer : FieldType::Float;
    return FieldType::Unknown;
}

} // namespace storedvalue
