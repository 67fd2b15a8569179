// One value type for field values, parameters and expressions, with the states and conversions
// the program relies on: Null, Unassigned, Boolean, 64-bit integer, double, currency (fixed four
// decimals), date-time (days since 1899-12-30 as a double), string and bytes.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstring>
#include <new>

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

// Money with exactly four decimals, kept as an integer count of ten-thousandths.
struct Currency
{
    qint64 scaled = 0;
    // Rounded half away from zero to four decimals; NaN or a value beyond the range
    // (about ±922 337 203 685 477) raises EConvertError.
    static Currency fromDouble(double value);
    double toDouble() const { return double(scaled) / 10000.0; }
    friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

class Variant
{
public:
    enum class Type {
        Unassigned,
        Null,
        Boolean,
        Integer,
        Double,
        Currency,
        DateTime,
        String,
        Bytes
    };

    Variant() noexcept { m_data.i = 0; } // Unassigned
    Variant(bool value);
    Variant(int value);
    Variant(unsigned value);
    Variant(qint64 value);
    Variant(double value);
    Variant(Currency value);
    Variant(const QString& value);
    Variant(QString&& value) noexcept;
    Variant(const char* value); // UTF-8 literal
    Variant(QChar value);
    Variant(const QByteArray& value); // bytes, never text
    Variant(QByteArray&& value) noexcept;

    // Copies share the text or bytes of the original (implicit sharing). A moved-from Variant is
    // Unassigned.
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant() { destroy(); }

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
    // field). A conversion that cannot be made raises EConvertError "Could not convert variant of
    // type (String) into type (Double)", naming the two types.
    //
    // - Boolean: true is -1 as a number and "True" as text (false: 0 and "False"); text "True"
    //   and "False" (any case) and any number read back as Booleans (non-zero is true).
    // - Text to number: read as StrToFloat reads it, with the regional decimal separator or ".";
    //   to an integer, also in the hexadecimal forms StrToInt64 takes ("$FF"). Blanks around are
    //   ignored.
    // - To an integer, fractions round half to even (2.5 gives 2, 3.5 gives 4); a value beyond the
    //   target's range is refused, never cut.
    // - Text to date-time: StrToDateTime with the regional formats.
    // - Number to text: FloatToStr for a double (15 significant digits, regional separator),
    //   CurrToStr for currency (up to four decimals).
    // - Date-time to text: "dd/mm/yyyy hh:nn:ss" in the regional formats, without the time when
    //   it is 00:00:00 and without the date when it is 1899-12-30 (day 0), which leaves only the
    //   time (so 0 is "00:00:00").
    // - Bytes convert only to bytes; text converts to bytes in the current ANSI code page.
    bool toBool() const { return m_type == Type::Boolean ? m_data.b : convertToBool(); }
    qint64 toInt64() const { return m_type == Type::Integer ? m_data.i : convertToInt64(); }
    int toInt() const;
    double toDouble() const { return holdsDouble() ? m_data.d : convertToDouble(); }
    Currency toCurrency() const
    {
        return m_type == Type::Currency ? Currency{m_data.i} : convertToCurrency();
    }
    TDateTime toDateTime() const { return holdsDouble() ? m_data.d : convertToDateTime(); }
    QString toString() const&;
    QByteArray toBytes() const&;
    // The same on a value about to go: a String (or Bytes) value hands its text (or bytes) over
    // without a copy and is Unassigned afterwards.
    QString toString() &&;
    QByteArray toBytes() &&;
    // The text of a String value as it is held, without a copy; empty for every other type.
    QStringView stringView() const
    {
        return m_type == Type::String ? QStringView(m_data.s) : QStringView();
    }

    // Same type and same value (Null equals Null; Unassigned equals Unassigned; a NaN double
    // equals itself, so that an unchanged value never reads as changed).
    friend bool operator==(const Variant& a, const Variant& b);
    friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

    // Order used by sorting and searching; returns -1, 0 or 1. Empty values first (Null and
    // Unassigned alike), numbers (integer, double, currency, date-time) by value with NaN below
    // every other number, strings by text, booleans false < true, bytes by bytes. Values of
    // unrelated kinds are ordered by kind: empty, Boolean, number, string, bytes.
    // Strings compare by the bytes of the current ANSI code page (as case-sensitive indexes
    // order them; texts that read alike there are then told apart by their characters), or,
    // when caseInsensitive, by their folded keys (codepage::foldKey: without case and accents),
    // where "abc" equals "ABC" and "Élodie" equals "elodie".
    static int compare(const Variant& a, const Variant& b, bool caseInsensitive = false);

private:
    // The conversions, from the kinds that are not read as they are held.
    bool convertToBool() const;
    qint64 convertToInt64() const;
    double convertToDouble() const;
    Currency convertToCurrency() const;
    TDateTime convertToDateTime() const;
    bool holdsDouble() const { return m_type == Type::Double || m_type == Type::DateTime; }

    // The text or the bytes live in the value itself (a tagged union), so that a value costs 32
    // bytes and a list of them one allocation.
    bool holdsData() const { return m_type == Type::String || m_type == Type::Bytes; }
    void destroy() noexcept
    {
        if (holdsData())
            destroyData();
    }
    void destroyData() noexcept;
    // Takes over other's payload as it is (QString and QByteArray move by their bits) and leaves
    // other Unassigned; this holds nothing on entry.
    void takeFrom(Variant& other) noexcept
    {
        std::memcpy(static_cast<void*>(&m_data), static_cast<const void*>(&other.m_data),
                    sizeof m_data);
        m_type = other.m_type;
        other.m_type = Type::Unassigned;
    }

    union Data {
        Data() noexcept {}
        ~Data() {}
        bool b;
        qint64 i;
        double d;
        QString s;
        QByteArray y;
    } m_data;
    Type m_type = Type::Unassigned;
};

// The constructors of the plain kinds are inline: loading and reading records makes one per value.
inline Variant::Variant(bool value) : m_type(Type::Boolean)
{
    m_data.i = 0;
    m_data.b = value;
}
inline Variant::Variant(int value) : m_type(Type::Integer)
{
    m_data.i = value;
}
inline Variant::Variant(unsigned value) : m_type(Type::Integer)
{
    m_data.i = value;
}
inline Variant::Variant(qint64 value) : m_type(Type::Integer)
{
    m_data.i = value;
}
inline Variant::Variant(double value) : m_type(Type::Double)
{
    m_data.d = value;
}
inline Variant::Variant(Currency value) : m_type(Type::Currency)
{
    m_data.i = value.scaled;
}
inline Variant::Variant(const QString& value) : m_type(Type::String)
{
    new (&m_data.s) QString(value);
}
inline Variant::Variant(QString&& value) noexcept : m_type(Type::String)
{
    new (&m_data.s) QString(std::move(value));
}
inline Variant::Variant(const QByteArray& value) : m_type(Type::Bytes)
{
    new (&m_data.y) QByteArray(value);
}
inline Variant::Variant(QByteArray&& value) noexcept : m_type(Type::Bytes)
{
    new (&m_data.y) QByteArray(std::move(value));
}

inline Variant Variant::null()
{
    Variant v;
    v.m_type = Type::Null;
    return v;
}

inline Variant Variant::fromDateTime(TDateTime value)
{
    Variant v;
    v.m_type = Type::DateTime;
    v.m_data.d = value;
    return v;
}

inline Variant::Variant(Variant&& other) noexcept
{
    takeFrom(other);
}

inline Variant& Variant::operator=(Variant&& other) noexcept
{
    if (this != &other) {
        destroy();
        takeFrom(other);
    }
    return *this;
}

inline Variant::Variant(const Variant& other) : m_type(other.m_type)
{
    switch (m_type) {
    case Type::String:
        new (&m_data.s) QString(other.m_data.s);
        break;
    case Type::Bytes:
        new (&m_data.y) QByteArray(other.m_data.y);
        break;
    default:
        m_data.i = other.m_data.i;
        break;
    }
}

inline Variant& Variant::operator=(const Variant& other)
{
    if (!holdsData() && !other.holdsData()) {
        m_type = other.m_type;
        m_data.i = other.m_data.i;
    } else if (this != &other) {
        Variant copy(other);
        destroy();
        takeFrom(copy);
    }
    return *this;
}

static_assert(sizeof(Variant) <= 32, "a Variant must stay small: value lists hold many of them");

using VariantList = QList<Variant>;
