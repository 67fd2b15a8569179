// The ODBC driver on unixODBC's C API: handle ownership, the connection string, connections with
// manual-commit transactions, prepared statements with bound parameters, rows read whole, and
// diagnostic records mapped to engine error codes.
#include "odbcdriver.h"

#include <platform/db/storedvalue.h>

#include <QDate>
#include <QSet>
#include <QTime>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

// Text crosses the API as UTF-16, the same units as QString's.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the ODBC wide character must be UTF-16");

namespace odbcdb {
namespace {

// ---- text

SQLWCHAR* wide(const QString& text)
{
    return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(text.utf16()));
}

QString fromWide(const SQLWCHAR* text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

// Length of a wide text in a buffer that the driver may have filled without reporting it.
qsizetype wideLength(const SQLWCHAR* text, qsizetype capacity)
{
    qsizetype n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return n;
}

// ---- handles

// One ODBC handle, freed when the owner goes.
class Handle
{
public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept
        : m_type(other.m_type), m_handle(std::exchange(other.m_handle, nullptr))
    {
    }
    ~Handle()
    {
        if (m_handle)
            SQLFreeHandle(m_type, m_handle);
    }

    bool allocate(SQLSMALLINT type, SQLHANDLE parent)
    {
        m_type = type;
        SQLHANDLE h = nullptr;
        if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &h)))
            return false;
        m_handle = h;
        return true;
    }
    SQLSMALLINT type() const { return m_type; }
    SQLHANDLE get() const { return m_handle; }

private:
    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = nullptr;
};

// The environment and the connection, shared by the connection object and its statements: a
// statement that outlives its connection object still has a live connection handle to free itself
// from, and the link is dropped when the last of them goes.
struct Link
{
    Handle env;
    Handle dbc; // declared after env: freed before it
    bool connected = false;
    Dbms dbms = Dbms::Other;
    int queryTimeoutSecs = 0;

    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link()
    {
        if (connected)
            SQLDisconnect(dbc.get());
    }
};

// ---- diagnostics

constexpr SQLSMALLINT MaxDiagnosticRecords = 1000;

QList<Diagnostic> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    QList<Diagnostic> records;
    if (!handle)
        return records;
    for (SQLSMALLINT rec = 1; rec <= MaxDiagnosticRecords; ++rec) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> text(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, text.data(),
                                      SQLSMALLINT(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(text.size())) {
            text.resize(size_t(std::min<int>(length + 1, std::numeric_limits<SQLSMALLINT>::max())));
            rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, text.data(),
                                SQLSMALLINT(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        const qsizetype n = std::clamp<qsizetype>(length, 0, qsizetype(text.size()) - 1);
        records.append({fromWide(state, wideLength(state, 5)), int(native),
                        fromWide(text.data(), n).trimmed()});
    }
    return records;
}

[[noreturn]] void raise(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, Dbms dbms,
                        int fallbackCode, const QString& context = QString(),
                        const QString& sql = QString())
{
    QList<Diagnostic> records = readDiagnostics(handleType, handle);
    if (records.isEmpty())
        records.append(
            {QString(), 0,
             QStringLiteral("The ODBC call failed without a message (return code %1)").arg(rc)});
    throw engineError(records, dbms, fallbackCode, context, sql);
}

// ---- connection string

// The keywords of a connection string, in upper case (values in braces may hold ';' and '=').
QSet<QString> keywordsOf(const QString& text)
{
    QSet<QString> keys;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        if (eq < 0)
            break;
        if (semi >= 0 && semi < eq) { // a part without a value
            i = semi + 1;
            continue;
        }
        keys.insert(text.mid(i, eq - i).trimmed().toUpper());
        i = eq + 1;
        while (i < n && text.at(i) == QLatin1Char(' '))
            ++i;
        if (i < n && text.at(i) == QLatin1Char('{')) {
            // "}}" inside braces stands for one '}'.
            ++i;
            while (i < n) {
                if (text.at(i) == QLatin1Char('}')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('}')) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
        }
        const qsizetype end = text.indexOf(QLatin1Char(';'), i);
        if (end < 0)
            break;
        i = end + 1;
    }
    return keys;
}

QString quoted(const QString& value)
{
    const bool plain = !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) &&
                       !value.contains(QLatin1Char('}')) && value == value.trimmed();
    if (plain)
        return value;
    return QLatin1Char('{') + QString(value).replace(QLatin1String("}"), QLatin1String("}}")) +
           QLatin1Char('}');
}

void addPart(QStringList& parts, const char* keyword, const QString& value)
{
    if (!value.isEmpty())
        parts.append(QLatin1String(keyword) + QLatin1Char('=') + quoted(value));
}

int secondsParam(const ConnectionParams& params, const QString& name, int def)
{
    bool ok = false;
    const int secs = params.value(name).trimmed().toInt(&ok);
    return ok && secs > 0 ? secs : def;
}

// ---- parameters

// A parameter's value as ODBC takes it. The bytes stay put from binding to execution.
struct BoundParam
{
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN columnSize = 1;
    SQLSMALLINT digits = 0;
    QByteArray data;
    SQLLEN indicator = SQL_NULL_DATA;
    bool bound = false; // handed to the driver
    // An output or input-output parameter: the server writes into `data` and `indicator`, read
    // back as `outType` once every result of the run has been read.
    SQLSMALLINT ioType = SQL_PARAM_INPUT;
    FieldType outType = FieldType::Unknown;
};

// Beyond these lengths SQL Server's plain types end and its long ones begin.
constexpr qsizetype MaxShortTextChars = 4000;
constexpr qsizetype MaxShortBinaryBytes = 8000;

FieldType typeOfValue(const Variant& value)
{
    switch (value.type()) {
    case Variant::Type::Boolean:
        return FieldType::Boolean;
    case Variant::Type::Integer:
        return FieldType::Integer;
    case Variant::Type::Double:
        return FieldType::Float;
    case Variant::Type::Currency:
        return FieldType::Currency;
    case Variant::Type::DateTime:
        return FieldType::DateTime;
    case Variant::Type::String:
        return FieldType::String;
    case Variant::Type::Bytes:
        return FieldType::Blob;
    default:
        return FieldType::Unknown;
    }
}

template <typename T> void setData(BoundParam& p, const T& value)
{
    p.data = QByteArray(reinterpret_cast<const char*>(&value), sizeof(T));
    p.indicator = 0;
}

QDate storedDate(const QString& text)
{
    const QDate d = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        throw EConvertError(QStringLiteral("'%1' is not a date the database can hold").arg(text));
    return d;
}

QTime storedTime(const QString& text)
{
    const QTime t = QTime::fromString(text.right(8), QStringLiteral("HH:mm:ss"));
    if (!t.isValid())
        throw EConvertError(QStringLiteral("'%1' is not a time the database can hold").arg(text));
    return t;
}

SQL_DATE_STRUCT dateStruct(const QDate& d)
{
    SQL_DATE_STRUCT s{};
    s.year = SQLSMALLINT(d.year());
    s.month = SQLUSMALLINT(d.month());
    s.day = SQLUSMALLINT(d.day());
    return s;
}

SQL_TIME_STRUCT timeStruct(const QTime& t)
{
    SQL_TIME_STRUCT s{};
    s.hour = SQLUSMALLINT(t.hour());
    s.minute = SQLUSMALLINT(t.minute());
    s.second = SQLUSMALLINT(t.second());
    return s;
}

SQL_TIMESTAMP_STRUCT timestampStruct(const QString& stored)
{
    const SQL_DATE_STRUCT d = dateStruct(storedDate(stored));
    const SQL_TIME_STRUCT t = timeStruct(storedTime(stored));
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = d.year;
    ts.month = d.month;
    ts.day = d.day;
    ts.hour = t.hour;
    ts.minute = t.minute;
    ts.second = t.second;
    return ts;
}

// An integer parameter: 32 bits when the value fits, else 64 (a null one is 32 bits).
void setInteger(BoundParam& p, qint64 v, bool null)
{
    if (v >= std::numeric_limits<SQLINTEGER>::min() &&
        v <= std::numeric_limits<SQLINTEGER>::max()) {
        p.cType = SQL_C_SLONG;
        p.sqlType = SQL_INTEGER;
        p.columnSize = 10;
        if (!null)
            setData(p, SQLINTEGER(v));
    } else {
        p.cType = SQL_C_SBIGINT;
        p.sqlType = SQL_BIGINT;
        p.columnSize = 19;
        setData(p, SQLBIGINT(v));
    }
}

// Raises EConvertError when the value has no form of the field's type.
BoundParam makeParam(const Variant& value, FieldType type)
{
    const FieldType kind = type != FieldType::Unknown ? type : typeOfValue(value);
    const Variant stored = storedvalue::toStored(kind, value);
    const bool null = stored.isEmpty();
    BoundParam p;
    switch (kind) {
    case FieldType::Integer:
    case FieldType::AutoInc:
    case FieldType::Boolean:
        setInteger(p, null ? 0 : stored.toInt64(), null);
        break;
    case FieldType::Float:
    case FieldType::Currency:
        p.cType = SQL_C_DOUBLE;
        p.sqlType = SQL_DOUBLE;
        p.columnSize = 15;
        if (!null)
            setData(p, SQLDOUBLE(stored.toDouble()));
        break;
    case FieldType::Date:
        p.cType = SQL_C_TYPE_DATE;
        p.sqlType = SQL_TYPE_DATE;
        p.columnSize = 10;
        if (!null)
            setData(p, dateStruct(storedDate(stored.toString())));
        break;
    case FieldType::Time:
        p.cType = SQL_C_TYPE_TIME;
        p.sqlType = SQL_TYPE_TIME;
        p.columnSize = 8;
        if (!null)
            setData(p, timeStruct(storedTime(stored.toString())));
        break;
    case FieldType::DateTime:
        p.cType = SQL_C_TYPE_TIMESTAMP;
        p.sqlType = SQL_TYPE_TIMESTAMP;
        p.columnSize = 19;
        if (!null)
            setData(p, timestampStruct(stored.toString()));
        break;
    case FieldType::Blob:
    case FieldType::Graphic: {
        p.cType = SQL_C_BINARY;
        const QByteArray bytes = null ? QByteArray() : stored.toBytes();
        p.sqlType = bytes.size() > MaxShortBinaryBytes ? SQL_LONGVARBINARY : SQL_VARBINARY;
        p.columnSize = SQLULEN(std::max<qsizetype>(bytes.size(), 1));
        if (!null) {
            p.data = bytes;
            p.indicator = SQLLEN(bytes.size());
        }
        break;
    }
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::Unknown: {
        const QString text = null ? QString() : stored.toString();
        p.sqlType = text.size() > MaxShortTextChars ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        p.columnSize = SQLULEN(std::max<qsizetype>(text.size(), 1));
        if (!null) {
            p.data = QByteArray(reinterpret_cast<const char*>(text.utf16()),
                                text.size() * qsizetype(sizeof(char16_t)));
            p.indicator = SQLLEN(p.data.size());
        }
        break;
    }
    }
    return p;
}

// An output (or input-output) parameter: the type of `makeParam` with a buffer the server can
// write its answer into, and the indicator null until it does.
BoundParam makeOutputParam(const Variant& value, FieldType type, bool input)
{
    FieldType kind = type != FieldType::Unknown ? type : typeOfValue(value);
    if (kind == FieldType::Unknown)
        kind = FieldType::String;
    BoundParam p = makeParam(input ? value : Variant::null(), kind);
    p.ioType = input ? SQL_PARAM_INPUT_OUTPUT : SQL_PARAM_OUTPUT;
    p.outType = kind;
    const bool null = p.indicator == SQL_NULL_DATA;
    auto room = [&p](qsizetype bytes) {
        if (p.data.size() < bytes)
            p.data.append(QByteArray(bytes - p.data.size(), '\0'));
    };
    switch (kind) {
    case FieldType::Integer:
    case FieldType::AutoInc:
    case FieldType::Boolean: {
        // 64 bits whatever the server's width: the driver converts.
        const SQLBIGINT v = null ? 0 : SQLBIGINT(storedvalue::toStored(kind, value).toInt64());
        p.cType = SQL_C_SBIGINT;
        p.data = QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
        break;
    }
    case FieldType::Float:
    case FieldType::Currency:
        room(sizeof(SQLDOUBLE));
        break;
    case FieldType::Date:
        room(sizeof(SQL_DATE_STRUCT));
        break;
    case FieldType::Time:
        room(sizeof(SQL_TIME_STRUCT));
        break;
    case FieldType::DateTime:
        room(sizeof(SQL_TIMESTAMP_STRUCT));
        break;
    case FieldType::Blob:
    case FieldType::Graphic:
        p.columnSize = std::max<SQLULEN>(p.columnSize, MaxShortBinaryBytes);
        room(qsizetype(p.columnSize));
        break;
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::Unknown:
        // Room for the longest plain text and its terminator.
        p.columnSize = std::max<SQLULEN>(p.columnSize, MaxShortTextChars);
        room(qsizetype(p.columnSize + 1) * qsizetype(sizeof(SQLWCHAR)));
        break;
    }
    if (!input)
        p.indicator = SQL_NULL_DATA;
    return p;
}

// ---- result columns

struct ColumnInfo
{
    QString name;
    QString declaredType;
    SQLSMALLINT sqlType = SQL_UNKNOWN_TYPE;
};

bool isCharacterType(SQLSMALLINT t)
{
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR;
}

bool isBinaryType(SQLSMALLINT t)
{
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

// The type name the server gives, completed with the length of a character or binary column or
// the precision and scale of a decimal one when the name lacks them, so that it reads as the
// column was declared ("VARCHAR(64)", "NUMBER(10,0)").
QString declaredTypeOf(const QString& typeName, SQLSMALLINT sqlType, SQLULEN size,
                       SQLSMALLINT digits)
{
    if (typeName.isEmpty() || typeName.contains(QLatin1Char('(')))
        return typeName;
    static const QSet<QString> sized = {QStringLiteral("CHAR"),      QStringLiteral("VARCHAR"),
                                        QStringLiteral("NCHAR"),     QStringLiteral("NVARCHAR"),
                                        QStringLiteral("VARCHAR2"),  QStringLiteral("NVARCHAR2"),
                                        QStringLiteral("CHARACTER"), QStringLiteral("BINARY"),
                                        QStringLiteral("VARBINARY"), QStringLiteral("RAW")};
    const QString upper = typeName.toUpper();
    if ((isCharacterType(sqlType) || isBinaryType(sqlType)) && sized.contains(upper) && size > 0 &&
        size <= SQLULEN(MaxShortBinaryBytes))
        return QStringLiteral("%1(%2)").arg(typeName).arg(size);
    static const QSet<QString> decimal = {QStringLiteral("DECIMAL"), QStringLiteral("NUMERIC"),
                                          QStringLiteral("NUMBER")};
    if ((sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC) && decimal.contains(upper) && size > 0 &&
        digits >= 0)
        return QStringLiteral("%1(%2,%3)").arg(typeName).arg(size).arg(digits);
    return typeName;
}

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString dateText(int year, int month, int day)
{
    return QStringLiteral("%1-%2-%3")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(twoDigits(month), twoDigits(day));
}

QString timeText(int hour, int minute, int second)
{
    return QStringLiteral("%1:%2:%3").arg(twoDigits(hour), twoDigits(minute), twoDigits(second));
}

// A decimal read as text: whole numbers as integers, the rest as doubles.
Variant numberFromText(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qint64 whole = t.toLongLong(&ok);
    if (ok)
        return whole;
    const double d = t.toDouble(&ok);
    return ok ? Variant(d) : Variant(t);
}

// ---- statements

class Statement : public DbStatement
{
public:
    Statement(std::shared_ptr<Link> link, Handle stmt, const QString& sql, int parameterCount)
        : m_link(std::move(link)), m_stmt(std::move(stmt)), m_sql(sql),
          m_params(size_t(parameterCount))
    {
    }

    int parameterCount() const override { return int(m_params.size()); }

    void bind(int index, const Variant& value, FieldType type) override
    {
        checkParameterIndex(index);
        if (m_state != State::Ready)
            reset();
        m_params[size_t(index)] = makeParam(value, type);
        // Bound now rather than at the run: some drivers describe a statement's result only
        // once its parameters are known.
        bindParam(size_t(index));
    }

    void bindOutput(int index, const Variant& value, FieldType type, ParamType direction) override
    {
        checkParameterIndex(index);
        if (m_state != State::Ready)
            reset();
        m_params[size_t(index)] = makeOutputParam(value, type, direction == ParamType::InputOutput);
        bindParam(size_t(index));
    }

    Variant outputValue(int index) const override
    {
        if (index < 0 || index >= int(m_outputs.size()))
            return Variant::null();
        return m_outputs[size_t(index)];
    }

    void clearBindings() override
    {
        reset();
        SQLFreeStmt(h(), SQL_RESET_PARAMS);
        std::fill(m_params.begin(), m_params.end(), BoundParam());
    }

    bool step() override
    {
        if (m_state == State::Done)
            return false;
        if (m_state == State::Ready)
            execute();
        if (m_state == State::Done)
            return false;
        const SQLRETURN rc = SQLFetch(h());
        if (rc == SQL_NO_DATA) {
            finishResults();
            closeCursor();
            m_state = State::Done;
            return false;
        }
        if (!SQL_SUCCEEDED(rc))
            fail(rc);
        readRow();
        return true;
    }

    void reset() override
    {
        closeCursor();
        m_row.clear();
        m_outputs.clear();
        m_state = State::Ready;
    }

    int columnCount() const override
    {
        if (!m_described)
            describe();
        return int(m_columns.size());
    }
    QString columnName(int column) const override
    {
        return validColumn(column) ? m_columns[size_t(column)].name : QString();
    }
    QString columnDeclaredType(int column) const override
    {
        return validColumn(column) ? m_columns[size_t(column)].declaredType : QString();
    }

    Variant columnValue(int column) const override
    {
        return column >= 0 && column < m_row.size() ? m_row.at(column) : Variant::null();
    }

    Variant columnValue(int column, FieldType type) const override
    {
        return storedvalue::fromStored(type, columnValue(column), columnName(column));
    }

    // -1 when the driver cannot tell.
    qint64 rowsAffected() const override { return m_changes; }

private:
    enum class State { Ready, Rows, Done };

    SQLHSTMT h() const { return m_stmt.get(); }
    bool validColumn(int column) const { return column >= 0 && column < columnCount(); }

    // Reads the diagnostics of a failed call, leaves the statement ready to run again, raises.
    [[noreturn]] void fail(SQLRETURN rc)
    {
        QList<Diagnostic> records = readDiagnostics(SQL_HANDLE_STMT, h());
        if (records.isEmpty())
            records.append(
                {QString(), 0,
                 QStringLiteral("The ODBC call failed without a message (return code %1)")
                     .arg(rc)});
        reset();
        throw engineError(records, m_link->dbms, EngineCode::InvalidRequest, QString(), m_sql);
    }

    void closeCursor()
    {
        if (m_state == State::Rows)
            SQLFreeStmt(h(), SQL_CLOSE);
    }

    // The parameter's buffers stay where they are until it is bound again: the vector never
    // grows and nothing else touches them.
    void bindParam(size_t i)
    {
        BoundParam& p = m_params[i];
        const SQLRETURN rc = SQLBindParameter(
            h(), SQLUSMALLINT(i + 1), p.ioType, p.cType, p.sqlType, p.columnSize, p.digits,
            p.indicator == SQL_NULL_DATA && p.ioType == SQL_PARAM_INPUT ? nullptr : p.data.data(),
            SQLLEN(p.data.size()), &p.indicator);
        if (!SQL_SUCCEEDED(rc))
            fail(rc);
        p.bound = true;
    }

    void execute()
    {
        for (size_t i = 0; i < m_params.size(); ++i) {
            if (!m_params[i].bound) // never given: NULL
                bindParam(i);
        }
        const SQLRETURN rc = SQLExecute(h());
        if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
            // A failed run may still have opened a cursor.
            m_state = State::Rows;
            fail(rc);
        }
        m_described = false;
        const SQLRETURN described = describe();
        if (!SQL_SUCCEEDED(described)) {
            m_state = State::Rows;
            fail(described);
        }
        if (m_columns.empty()) {
            SQLLEN count = 0;
            m_changes = rc == SQL_NO_DATA                         ? 0
                        : SQL_SUCCEEDED(SQLRowCount(h(), &count)) ? qint64(count)
                                                                  : -1;
            if (hasOutputs()) {
                m_state = State::Rows; // further results may come before the parameters
                finishResults();
                closeCursor();
            }
            m_state = State::Done;
            return;
        }
        m_changes = 0;
        m_state = State::Rows;
    }

    bool hasOutputs() const
    {
        return std::any_of(m_params.begin(), m_params.end(),
                           [](const BoundParam& p) { return p.ioType != SQL_PARAM_INPUT; });
    }

    // Servers hand back output parameters only after the last result of a run: the results that
    // remain are passed over and the parameters read.
    void finishResults()
    {
        if (!hasOutputs())
            return;
        SQLRETURN rc = SQL_SUCCESS;
        for (int guard = 0; guard < 1000 && SQL_SUCCEEDED(rc); ++guard)
            rc = SQLMoreResults(h());
        if (rc != SQL_NO_DATA)
            fail(rc);
        m_outputs.assign(m_params.size(), Variant::null());
        for (size_t i = 0; i < m_params.size(); ++i) {
            if (m_params[i].ioType != SQL_PARAM_INPUT)
                m_outputs[i] = outputOf(m_params[i]);
        }
    }

    // The value the server wrote into an output parameter, as its field type has it.
    static Variant outputOf(const BoundParam& p)
    {
        if (p.indicator == SQL_NULL_DATA)
            return Variant::null();
        const char* data = p.data.constData();
        Variant stored;
        switch (p.cType) {
        case SQL_C_SBIGINT: {
            SQLBIGINT v = 0;
            std::memcpy(&v, data, sizeof v);
            stored = qint64(v);
            break;
        }
        case SQL_C_DOUBLE: {
            SQLDOUBLE v = 0;
            std::memcpy(&v, data, sizeof v);
            stored = double(v);
            break;
        }
        case SQL_C_TYPE_DATE: {
            SQL_DATE_STRUCT d{};
            std::memcpy(&d, data, sizeof d);
            stored = dateText(d.year, d.month, d.day);
            break;
        }
        case SQL_C_TYPE_TIME: {
            SQL_TIME_STRUCT t{};
            std::memcpy(&t, data, sizeof t);
            stored = timeText(t.hour, t.minute, t.second);
            break;
        }
        case SQL_C_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts{};
            std::memcpy(&ts, data, sizeof ts);
            stored = dateText(ts.year, ts.month, ts.day) + QLatin1Char(' ') +
                     timeText(ts.hour, ts.minute, ts.second);
            break;
        }
        case SQL_C_BINARY: {
            const qsizetype n = p.indicator == SQL_NO_TOTAL
                                    ? p.data.size()
                                    : std::clamp<qsizetype>(p.indicator, 0, p.data.size());
            stored = p.data.left(n);
            break;
        }
        default: {
            const qsizetype capacity = p.data.size() / qsizetype(sizeof(SQLWCHAR)) - 1;
            const auto* text = reinterpret_cast<const SQLWCHAR*>(data);
            const qsizetype n =
                p.indicator == SQL_NO_TOTAL
                    ? wideLength(text, capacity)
                    : std::clamp<qsizetype>(p.indicator / qsizetype(sizeof(SQLWCHAR)), 0, capacity);
            stored = fromWide(text, n);
            break;
        }
        }
        return storedvalue::fromStored(p.outType, stored);
    }

    // Learns the result's columns (before a run the driver may not know them yet); the code of
    // a failed call, when one fails.
    SQLRETURN describe() const
    {
        m_described = true;
        m_columns.clear();
        SQLSMALLINT count = 0;
        SQLRETURN rc = SQLNumResultCols(h(), &count);
        if (!SQL_SUCCEEDED(rc))
            return rc;
        std::vector<ColumnInfo> columns;
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(std::max<SQLSMALLINT>(count, 0)); ++c) {
            std::vector<SQLWCHAR> name(256);
            SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            rc = SQLDescribeColW(h(), c, name.data(), SQLSMALLINT(name.size()), &nameLength,
                                 &sqlType, &size, &digits, &nullable);
            if (SQL_SUCCEEDED(rc) && nameLength >= SQLSMALLINT(name.size())) {
                name.resize(size_t(nameLength) + 1);
                rc = SQLDescribeColW(h(), c, name.data(), SQLSMALLINT(name.size()), &nameLength,
                                     &sqlType, &size, &digits, &nullable);
            }
            if (!SQL_SUCCEEDED(rc))
                return rc;
            SQLWCHAR typeName[128] = {};
            SQLSMALLINT typeBytes = 0;
            SQLLEN unused = 0;
            if (!SQL_SUCCEEDED(SQLColAttributeW(h(), c, SQL_DESC_TYPE_NAME, typeName,
                                                sizeof(typeName), &typeBytes, &unused)))
                typeBytes = 0;
            const qsizetype typeLength = std::clamp<qsizetype>(
                typeBytes / qsizetype(sizeof(SQLWCHAR)), 0, qsizetype(std::size(typeName)) - 1);
            ColumnInfo info;
            info.name = fromWide(name.data(),
                                 std::clamp<qsizetype>(nameLength, 0, qsizetype(name.size()) - 1));
            info.sqlType = sqlType;
            info.declaredType = declaredTypeOf(fromWide(typeName, wideLength(typeName, typeLength)),
                                               sqlType, size, digits);
            columns.push_back(std::move(info));
        }
        m_columns = std::move(columns);
        return SQL_SUCCESS;
    }

    void readRow()
    {
        m_row.clear();
        m_row.reserve(columnCount());
        for (int c = 0; c < columnCount(); ++c)
            m_row.append(readColumn(c));
    }

    template <typename T> bool readFixed(int column, SQLSMALLINT cType, T& value)
    {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(h(), SQLUSMALLINT(column + 1), cType, &value, sizeof(T), &indicator);
        if (!SQL_SUCCEEDED(rc))
            fail(rc);
        return indicator != SQL_NULL_DATA;
    }

    Variant readColumn(int column)
    {
        switch (m_columns[size_t(column)].sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT: {
            SQLBIGINT v = 0;
            return readFixed(column, SQL_C_SBIGINT, v) ? Variant(qint64(v)) : Variant::null();
        }
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE: {
            SQLDOUBLE v = 0;
            return readFixed(column, SQL_C_DOUBLE, v) ? Variant(double(v)) : Variant::null();
        }
        case SQL_DECIMAL:
        case SQL_NUMERIC: {
            const Variant text = readLong(column, SQL_C_WCHAR);
            return text.isNull() ? text : numberFromText(text.toString());
        }
        case SQL_TYPE_DATE: {
            SQL_DATE_STRUCT d{};
            if (!readFixed(column, SQL_C_TYPE_DATE, d))
                return Variant::null();
            return dateText(d.year, d.month, d.day);
        }
        case SQL_TYPE_TIME: {
            SQL_TIME_STRUCT t{};
            if (!readFixed(column, SQL_C_TYPE_TIME, t))
                return Variant::null();
            return timeText(t.hour, t.minute, t.second);
        }
        case SQL_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts{};
            if (!readFixed(column, SQL_C_TYPE_TIMESTAMP, ts))
                return Variant::null();
            QString text = dateText(ts.year, ts.month, ts.day) + QLatin1Char(' ') +
                           timeText(ts.hour, ts.minute, ts.second);
            const int msecs = int(ts.fraction / 1000000);
            if (msecs > 0)
                text += QStringLiteral(".%1").arg(msecs, 3, 10, QLatin1Char('0'));
            return text;
        }
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return readLong(column, SQL_C_BINARY);
        default:
            return readLong(column, SQL_C_WCHAR);
        }
    }

    // Reads a text or binary value whole, in as many calls as it takes.
    Variant readLong(int column, SQLSMALLINT cType)
    {
        const bool text = cType == SQL_C_WCHAR;
        const SQLLEN terminator = text ? SQLLEN(sizeof(SQLWCHAR)) : 0;
        QByteArray value;
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(h(), SQLUSMALLINT(column + 1), cType, chunk.data(),
                                            SQLLEN(chunk.size()), &indicator);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                fail(rc);
            if (indicator == SQL_NULL_DATA)
                return Variant::null();
            const SQLLEN room = SQLLEN(chunk.size()) - terminator;
            const bool known = indicator != SQL_NO_TOTAL;
            // Data truncated (01004) comes with a warning; the last part comes without one.
            if (rc == SQL_SUCCESS || (known && indicator <= room)) {
                qsizetype length = known ? qsizetype(std::min(indicator, room)) : qsizetype(room);
                if (text && !known) // a driver that gave no length still ended the text
                    length = wideLength(reinterpret_cast<const SQLWCHAR*>(chunk.constData()),
                                        length / 2) *
                             2;
                value.append(chunk.constData(), length);
                break;
            }
            value.append(chunk.constData(), qsizetype(room));
            if (known) {
                // The rest in one more call (whole characters, and room for the terminator).
                qsizetype rest = qsizetype(indicator - room + terminator);
                if (text && rest % 2)
                    ++rest;
                chunk.resize(std::max(rest, chunk.size()));
            }
        }
        if (!text)
            return value;
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(value.constData()),
                                  value.size() / qsizetype(sizeof(char16_t)));
    }

    std::shared_ptr<Link> m_link;
    Handle m_stmt; // declared after the link: freed before it
    QString m_sql;
    std::vector<BoundParam> m_params;
    // Learnt on first demand, and again after each run.
    mutable std::vector<ColumnInfo> m_columns;
    mutable bool m_described = false;
    QList<Variant> m_row;
    std::vector<Variant> m_outputs; // read at the end of a run with output parameters
    State m_state = State::Ready;
    qint64 m_changes = 0;
};

// ---- connections

class Connection : public DbConnection
{
public:
    Connection(const QString& driverName, std::shared_ptr<Link> link)
        : m_driverName(driverName), m_link(std::move(link))
    {
    }
    ~Connection() override
    {
        // The server would undo it when the link goes, but a statement still alive keeps it.
        if (m_inTransaction)
            SQLEndTran(SQL_HANDLE_DBC, dbc(), SQL_ROLLBACK);
    }

    QString driverName() const override { return m_driverName; }

    std::unique_ptr<DbStatement> prepare(const QString& sql) override
    {
        if (sql.trimmed().isEmpty())
            throw EngineError(EngineCode::InvalidRequest, QStringLiteral("Empty SQL statement"));
        Handle stmt;
        if (!stmt.allocate(SQL_HANDLE_STMT, dbc()))
            raise(SQL_HANDLE_DBC, dbc(), SQL_ERROR, m_link->dbms, EngineCode::InvalidRequest,
                  QString(), sql);
        if (m_link->queryTimeoutSecs > 0) {
            // A driver without time-outs refuses; its statements then run as long as they take.
            SQLSetStmtAttrW(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                            reinterpret_cast<SQLPOINTER>(SQLULEN(m_link->queryTimeoutSecs)), 0);
        }
        SQLRETURN rc = SQLPrepareW(stmt.get(), wide(sql), SQL_NTS);
        if (!SQL_SUCCEEDED(rc))
            raise(SQL_HANDLE_STMT, stmt.get(), rc, m_link->dbms, EngineCode::InvalidRequest,
                  QString(), sql);
        SQLSMALLINT params = 0;
        rc = SQLNumParams(stmt.get(), &params);
        if (!SQL_SUCCEEDED(rc))
            raise(SQL_HANDLE_STMT, stmt.get(), rc, m_link->dbms, EngineCode::InvalidRequest,
                  QString(), sql);
        return std::make_unique<Statement>(m_link, std::move(stmt), sql, std::max<int>(params, 0));
    }

    qint64 execute(const QString& sql) override { return DbConnection::execute(sql); }

    void beginTransaction() override
    {
        if (m_inTransaction)
            throw EngineError(EngineCode::InvalidRequest,
                              QStringLiteral("A transaction is already open on this connection"));
        setAutoCommit(false);
        m_inTransaction = true;
    }

    void commit() override
    {
        if (!m_inTransaction)
            throw EngineError(EngineCode::InvalidRequest,
                              QStringLiteral("No transaction is open on this connection"));
        endTransaction(SQL_COMMIT);
    }

    void rollback() override
    {
        if (m_inTransaction)
            endTransaction(SQL_ROLLBACK);
    }

    bool inTransaction() const override { return m_inTransaction; }

    QStringList tableNames() override
    {
        Handle stmt;
        if (!stmt.allocate(SQL_HANDLE_STMT, dbc()))
            raise(SQL_HANDLE_DBC, dbc(), SQL_ERROR, m_link->dbms, EngineCode::InvalidRequest);
        // On Oracle every user's tables are visible: only the connected user's are the database's.
        const QString schema = m_link->dbms == Dbms::Oracle ? userName() : QString();
        const QString type = QStringLiteral("TABLE");
        SQLRETURN rc = SQLTablesW(stmt.get(), nullptr, 0, schema.isEmpty() ? nullptr : wide(schema),
                                  schema.isEmpty() ? 0 : SQL_NTS, nullptr, 0, wide(type), SQL_NTS);
        if (!SQL_SUCCEEDED(rc))
            raise(SQL_HANDLE_STMT, stmt.get(), rc, m_link->dbms, EngineCode::InvalidRequest);
        QStringList names;
        while ((rc = SQLFetch(stmt.get())) != SQL_NO_DATA) {
            if (!SQL_SUCCEEDED(rc))
                raise(SQL_HANDLE_STMT, stmt.get(), rc, m_link->dbms, EngineCode::InvalidRequest);
            SQLWCHAR name[512] = {};
            SQLLEN indicator = 0;
            rc = SQLGetData(stmt.get(), 3, SQL_C_WCHAR, name, sizeof(name), &indicator);
            if (!SQL_SUCCEEDED(rc))
                raise(SQL_HANDLE_STMT, stmt.get(), rc, m_link->dbms, EngineCode::InvalidRequest);
            if (indicator != SQL_NULL_DATA)
                names.append(fromWide(name, wideLength(name, qsizetype(std::size(name)) - 1)));
        }
        return names;
    }

private:
    SQLHDBC dbc() const { return m_link->dbc.get(); }

    QString userName() const
    {
        SQLWCHAR name[256] = {};
        SQLSMALLINT bytes = 0;
        if (!SQL_SUCCEEDED(SQLGetInfoW(dbc(), SQL_USER_NAME, name, sizeof(name), &bytes)))
            return QString();
        return fromWide(name, wideLength(name, qsizetype(std::size(name)) - 1));
    }

    void setAutoCommit(bool on)
    {
        const SQLRETURN rc = SQLSetConnectAttrW(
            dbc(), SQL_ATTR_AUTOCOMMIT,
            reinterpret_cast<SQLPOINTER>(SQLULEN(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
            SQL_IS_UINTEGER);
        if (!SQL_SUCCEEDED(rc))
            raise(SQL_HANDLE_DBC, dbc(), rc, m_link->dbms, EngineCode::InvalidRequest);
    }

    // A failure leaves the transaction open, so that the caller's rollback still finds it; that
    // includes a connection that could not be put back into auto-commit mode.
    void endTransaction(SQLSMALLINT completion)
    {
        const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc(), completion);
        if (!SQL_SUCCEEDED(rc))
            raise(SQL_HANDLE_DBC, dbc(), rc, m_link->dbms, EngineCode::InvalidRequest);
        setAutoCommit(true);
        m_inTransaction = false;
    }

    QString m_driverName;
    std::shared_ptr<Link> m_link;
    bool m_inTransaction = false;
};

class Driver : public DbDriver
{
public:
    explicit Driver(ServerKind::Kind kind) : m_kind(kind) {}

    QString name() const override
    {
        return m_kind == ServerKind::MSSQL ? MsSqlDriverName : OracleDriverName;
    }

    std::unique_ptr<DbConnection> connect(const ConnectionParams& params) override
    {
        const QString context = connectContext(params);
        auto link = std::make_shared<Link>();
        if (!link->env.allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE))
            throw EngineError(EngineCode::CannotOpen,
                              context + QStringLiteral(": the ODBC driver manager cannot start"));
        SQLRETURN rc = SQLSetEnvAttr(link->env.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_OV_ODBC3)), 0);
        if (!SQL_SUCCEEDED(rc))
            raise(SQL_HANDLE_ENV, link->env.get(), rc, Dbms::Other, EngineCode::CannotOpen,
                  context);
        if (!link->dbc.allocate(SQL_HANDLE_DBC, link->env.get()))
            raise(SQL_HANDLE_ENV, link->env.get(), SQL_ERROR, Dbms::Other, EngineCode::CannotOpen,
                  context);
        const int loginTimeout = secondsParam(params, LoginTimeoutParam, DefaultLoginTimeoutSecs);
        SQLSetConnectAttrW(link->dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(SQLULEN(loginTimeout)), 0);

        // The string holds the password: it goes into no message.
        const QString text = connectionString(m_kind, params);
        rc = SQLDriverConnectW(link->dbc.get(), nullptr, wide(text), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc))
            raise(SQL_HANDLE_DBC, link->dbc.get(), rc, Dbms::Other, EngineCode::CannotOpen,
                  context);
        link->connected = true;

        SQLWCHAR dbmsName[256] = {};
        SQLSMALLINT bytes = 0;
        if (SQL_SUCCEEDED(
                SQLGetInfoW(link->dbc.get(), SQL_DBMS_NAME, dbmsName, sizeof(dbmsName), &bytes)))
            link->dbms = dbmsOf(fromWide(dbmsName, wideLength(dbmsName, 255)));
        link->queryTimeoutSecs = secondsParam(params, MaxQueryTimeParam, DefaultMaxQueryTimeSecs);
        return std::make_unique<Connection>(name(), std::move(link));
    }

private:
    QString connectContext(const ConnectionParams& params) const
    {
        if (!params.value(ConnectionStringParam).trimmed().isEmpty())
            return QStringLiteral("Cannot connect to the %1 database given by parameter %2")
                .arg(name(), ConnectionStringParam);
        QString driver = params.value(OdbcDriverParam).trimmed();
        if (driver.isEmpty())
            driver = m_kind == ServerKind::MSSQL ? DefaultMsSqlOdbcDriver : DefaultOracleOdbcDriver;
        QString what = QStringLiteral("Cannot connect to the %1 database").arg(name());
        const QString database = params.value(DbParam::DatabaseName);
        if (m_kind == ServerKind::MSSQL && !database.isEmpty())
            what += QStringLiteral(" '%1'").arg(database);
        const QString server = params.value(DbParam::ServerName);
        if (!server.isEmpty())
            what += QStringLiteral(" on '%1'").arg(server);
        return what + QStringLiteral(" through ODBC driver '%1'").arg(driver);
    }

    ServerKind::Kind m_kind;
};

} // namespace

// ---- public functions

QString connectionString(ServerKind::Kind kind, const ConnectionParams& params)
{
    const QString user = params.value(DbParam::UserName);
    const QString password = params.value(DbParam::Password);
    QStringList parts;
    QString given = params.value(ConnectionStringParam).trimmed();
    if (!given.isEmpty()) {
        while (given.endsWith(QLatin1Char(';')))
            given.chop(1);
        parts.append(given);
        const QSet<QString> keys = keywordsOf(given);
        if (!keys.contains(QStringLiteral("UID")))
            addPart(parts, "UID", user);
        if (!keys.contains(QStringLiteral("PWD")))
            addPart(parts, "PWD", password);
        return parts.join(QLatin1Char(';'));
    }
    QString driver = params.value(OdbcDriverParam).trimmed();
    if (driver.isEmpty())
        driver = kind == ServerKind::MSSQL ? DefaultMsSqlOdbcDriver : DefaultOracleOdbcDriver;
    // The driver name always goes in braces: names often hold blanks.
    parts.append(QStringLiteral("DRIVER={%1}")
                     .arg(QString(driver).replace(QLatin1String("}"), QLatin1String("}}"))));
    if (kind == ServerKind::MSSQL) {
        addPart(parts, "SERVER", params.value(DbParam::ServerName));
        addPart(parts, "DATABASE", params.value(DbParam::DatabaseName));
        if (driver.compare(DefaultMsSqlOdbcDriver, Qt::CaseInsensitive) == 0)
            parts.append(QStringLiteral("TDS_Version=7.4"));
    } else {
        addPart(parts, "DBQ", params.value(DbParam::ServerName));
    }
    addPart(parts, "UID", user);
    addPart(parts, "PWD", password);
    return parts.join(QLatin1Char(';'));
}

std::unique_ptr<DbDriver> makeDriver(ServerKind::Kind kind)
{
    return std::make_unique<Driver>(kind);
}

void registerDrivers()
{
    DbDriver::registerDriver(makeDriver(ServerKind::MSSQL));
    DbDriver::registerDriver(makeDriver(ServerKind::Oracle));
}

Dbms dbmsOf(const QString& dbmsName)
{
    if (dbmsName.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive))
        return Dbms::SqlServer;
    if (dbmsName.startsWith(QLatin1String("Oracle"), Qt::CaseInsensitive))
        return Dbms::Oracle;
    if (dbmsName.contains(QLatin1String("SQLite"), Qt::CaseInsensitive))
        return Dbms::SQLite;
    return Dbms::Other;
}

int engineCode(const Diagnostic& record, Dbms dbms, int fallbackCode)
{
    const int native = record.nativeError;
    switch (dbms) {
    case Dbms::SqlServer:
        switch (native) {
        case 1205: // chosen as the deadlock victim
        case 1222: // lock request time-out
            return EngineCode::Locked;
        case 2601: // duplicate key in a unique index
        case 2627: // duplicate key of a unique or primary key constraint
            return EngineCode::KeyViolation;
        case 515:
            return EngineCode::RequiredField;
        case 207: // invalid column name
        case 208: // invalid object name
            return EngineCode::NotFound;
        case 2714:
            return EngineCode::AlreadyExists;
        default:
            break;
        }
        break;
    case Dbms::Oracle:
        switch (native) {
        case 54:    // resource busy (NOWAIT or WAIT time-out)
        case 60:    // deadlock
        case 2049:  // distributed transaction waiting for a lock
        case 4021:  // time-out waiting to lock an object
        case 30006: // resource busy, WAIT time-out
            return EngineCode::Locked;
        case 1:
            return EngineCode::KeyViolation;
        case 1400:
            return EngineCode::RequiredField;
        case 904: // invalid identifier
        case 942: // table or view does not exist
            return EngineCode::NotFound;
        case 955:
            return EngineCode::AlreadyExists;
        default:
            break;
        }
        break;
    case Dbms::SQLite:
        // SQLite's result codes, plain or extended; a constraint failure names its kind only in
        // its message.
        switch (native & 0xFF) {
        case 5: // busy
        case 6: // locked
            return EngineCode::Locked;
        case 19:
            if (record.message.contains(QLatin1String("UNIQUE constraint failed")) ||
                record.message.contains(QLatin1String("PRIMARY KEY constraint failed")))
                return EngineCode::KeyViolation;
            if (record.message.contains(QLatin1String("NOT NULL constraint failed")))
                return EngineCode::RequiredField;
            break;
        default:
            break;
        }
        break;
    case Dbms::Other:
        break;
    }

    const QString& s = record.state;
    if (s == QLatin1String("40001") || s == QLatin1String("40P01"))
        return EngineCode::Locked;
    if (s == QLatin1String("23505"))
        return EngineCode::KeyViolation;
    if (s == QLatin1String("23502"))
        return EngineCode::RequiredField;
    if (s == QLatin1String("42S02") || s == QLatin1String("42S12") || s == QLatin1String("42S22"))
        return EngineCode::NotFound;
    if (s == QLatin1String("42S01") || s == QLatin1String("42S11") || s == QLatin1String("42S21"))
        return EngineCode::AlreadyExists;
    if (s.startsWith(QLatin1String("08")))
        return fallbackCode == EngineCode::CannotOpen ? EngineCode::CannotOpen
                                                      : EngineCode::IoError;
    return fallbackCode;
}

EngineError engineError(const QList<Diagnostic>& records, Dbms dbms, int fallbackCode,
                        const QString& context, const QString& sql)
{
    QList<EngineError::Entry> entries;
    qsizetype main = 0;
    int mainRank = -1;
    for (const Diagnostic& d : records) {
        const int code = engineCode(d, dbms, fallbackCode);
        QString message = d.message;
        if (!d.state.isEmpty())
            message += QStringLiteral(" (SQLSTATE %1)").arg(d.state);
        // A condition of its own first, then errors, then warnings.
        const int rank = code != fallbackCode ? 2 : d.state.startsWith(QLatin1String("01")) ? 0 : 1;
        if (rank > mainRank) {
            main = entries.size();
            mainRank = rank;
        }
        entries.append({code, message, d.nativeError});
    }
    if (entries.isEmpty())
        entries.append({fallbackCode, QStringLiteral("Unknown ODBC error"), 0});
    entries.move(main, 0);
    if (!context.isEmpty())
        entries.first().message = context + QStringLiteral(": ") + entries.first().message;
    if (!sql.isEmpty())
        entries.append({entries.first().errorCode,
                        QStringLiteral("SQL: ") + sql.simplified().left(500),
                        entries.first().nativeError});
    return EngineError(entries);
}

} // namespace odbcdb
