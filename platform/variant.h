// One value type for field values, parameters and expressions, with the states and conversions
// the program relies on: Null, Unassigned, Boolean, 64-bit integer, double, currency (fixed four
// decimals), date-time (days since 1899-12-30 as a double), string and bytes.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

// Money with exactly four decimals, kept as an integer count of ten-thousandths.
struct Currency
{
    qint64 scaled = 0;
    static Currency fromDouble(double value); // rounded half away from zero
    double toDouble() const { return double(scaled) / 10000.0; }
    friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

class Variant
{
public:
    enum class Type { Unassigned, Null, Boolean, Integer, Double, Currency, DateTime, String, Bytes };

    Variant() = default; // Unassigned
    Variant(bool value);
    Variant(int value);
    Variant(unsigned value);
    Variant(qint64 value);
    Variant(double value);
    Variant(Currency value);
    Variant(const QString& value);
    Variant(const char* value); // UTF-8 literal
    Variant(QChar value);
    Variant(const QByteArray& value); // bytes, never text

    static Variant null();
    static Variant fromDateTime(TDateTime value);

    Type type() const { return m_type; }
    bool isUnassigned() const { return m_type == Type::Unassigned; }
    bool isNull() const { return m_type == Type::Null; }
    // Null or Unassigned: "no value".
    bool isEmpty() const { return m_type == Type::Unassigned || m_type == Type::Null; }
    bool isNumeric() const;
    // Name of the type as conversion errors show it ("Null", "String", "Double", ...).
    static const char* typeName(Type type);

    // Conversions. Null and Unassigned give 0, false, "" (as the program expects of an empty
    // field); a string that is not a number or a date raises EConvertError.
    bool toBool() const;
    qint64 toInt64() const;
    int toInt() const;
    double toDouble() const;
    Currency toCurrency() const;
    TDateTime toDateTime() const;
    QString toString() const;
    QByteArray toBytes() const;

    // Same type and same value (Null equals Null; Unassigned equals Unassigned).
    friend bool operator==(const Variant& a, const Variant& b);
    friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

    // Order used by sorting and searching: empty values first, numbers (integer, double, currency,
    // date-time) by value, strings by text (case-insensitively when asked), booleans false < true,
    // bytes by bytes. Values of unrelated kinds are ordered by their type.
    static int compare(const Variant& a, const Variant& b, bool caseInsensitive = false);

private:
    Type m_type = Type::Unassigned;
    union {
        bool b;
        qint64 i;
        double d;
    } m_num{};
    QString m_str;
    QByteArray m_bytes;
};

using VariantList = QList<Variant>;
