// Variant values: construction, conversions and ordering.
// (First cut: construction and plain conversions; the full conversion rules follow.)
#include "variant.h"

#include "exception.h"

#include <cmath>

Currency Currency::fromDouble(double value)
{
    return Currency{qint64(std::llround(value * 10000.0))};
}

Variant::Variant(bool value) : m_type(Type::Boolean) { m_num.b = value; }
Variant::Variant(int value) : m_type(Type::Integer) { m_num.i = value; }
Variant::Variant(unsigned value) : m_type(Type::Integer) { m_num.i = value; }
Variant::Variant(qint64 value) : m_type(Type::Integer) { m_num.i = value; }
Variant::Variant(double value) : m_type(Type::Double) { m_num.d = value; }
Variant::Variant(Currency value) : m_type(Type::Currency) { m_num.i = value.scaled; }
Variant::Variant(const QString& value) : m_type(Type::String), m_str(value) {}
Variant::Variant(const char* value) : m_type(Type::String), m_str(QString::fromUtf8(value)) {}
Variant::Variant(QChar value) : m_type(Type::String), m_str(value) {}
Variant::Variant(const QByteArray& value) : m_type(Type::Bytes), m_bytes(value) {}

Variant Variant::null()
{
    Variant v;
    v.m_type = Type::Null;
    return v;
}

Variant Variant::fromDateTime(TDateTime value)
{
    Variant v;
    v.m_type = Type::DateTime;
    v.m_num.d = value;
    return v;
}

bool Variant::isNumeric() const
{
    return m_type == Type::Integer || m_type == Type::Double || m_type == Type::Currency;
}

const char* Variant::typeName(Type type)
{
    switch (type) {
    case Type::Unassigned: return "Empty";
    case Type::Null: return "Null";
    case Type::Boolean: return "Boolean";
    case Type::Integer: return "Int64";
    case Type::Double: return "Double";
    case Type::Currency: return "Currency";
    case Type::DateTime: return "Date";
    case Type::String: return "String";
    case Type::Bytes: return "Array Byte";
    }
    return "Unknown";
}

qint64 Variant::toInt64() const
{
    switch (m_type) {
    case Type::Boolean: return m_num.b ? -1 : 0;
    case Type::Integer: return m_num.i;
    case Type::Double:
    case Type::DateTime: return qint64(std::llround(m_num.d));
    case Type::Currency: return qint64(std::llround(double(m_num.i) / 10000.0));
    case Type::String: {
        bool ok = false;
        const qint64 v = m_str.trimmed().toLongLong(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(m_str));
        return v;
    }
    default: return 0;
    }
}

int Variant::toInt() const { return int(toInt64()); }

double Variant::toDouble() const
{
    switch (m_type) {
    case Type::Boolean: return m_num.b ? -1 : 0;
    case Type::Integer: return double(m_num.i);
    case Type::Double:
    case Type::DateTime: return m_num.d;
    case Type::Currency: return double(m_num.i) / 10000.0;
    case Type::String: {
        bool ok = false;
        const double v = m_str.trimmed().toDouble(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(m_str));
        return v;
    }
    default: return 0;
    }
}

bool Variant::toBool() const { return m_type == Type::Boolean ? m_num.b : toInt64() != 0; }
Currency Variant::toCurrency() const
{
    return m_type == Type::Currency ? Currency{m_num.i} : Currency::fromDouble(toDouble());
}
TDateTime Variant::toDateTime() const { return toDouble(); }

QString Variant::toString() const
{
    switch (m_type) {
    case Type::Boolean: return m_num.b ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Integer: return QString::number(m_num.i);
    case Type::Double:
    case Type::DateTime: return QString::number(m_num.d, 'g', 15);
    case Type::Currency: return QString::number(double(m_num.i) / 10000.0, 'g', 19);
    case Type::String: return m_str;
    case Type::Bytes: return QString::fromLatin1(m_bytes);
    default: return QString();
    }
}

QByteArray Variant::toBytes() const
{
    return m_type == Type::Bytes ? m_bytes : toString().toUtf8();
}

bool operator==(const Variant& a, const Variant& b)
{
    if (a.m_type != b.m_type)
        return false;
    switch (a.m_type) {
    case Variant::Type::Boolean: return a.m_num.b == b.m_num.b;
    case Variant::Type::Integer:
    case Variant::Type::Currency: return a.m_num.i == b.m_num.i;
    case Variant::Type::Double:
    case Variant::Type::DateTime: return a.m_num.d == b.m_num.d;
    case Variant::Type::String: return a.m_str == b.m_str;
    case Variant::Type::Bytes: return a.m_bytes == b.m_bytes;
    default: return true;
    }
}

int Variant::compare(const Variant& a, const Variant& b, bool caseInsensitive)
{
    if (a.isEmpty() || b.isEmpty())
        return int(!a.isEmpty()) - int(!b.isEmpty());
    if (a.m_type == Type::String && b.m_type == Type::String)
        return a.m_str.compare(b.m_str, caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
    const double x = a.toDouble(), y = b.toDouble();
    return x < y ? -1 : (x > y ? 1 : 0);
}
