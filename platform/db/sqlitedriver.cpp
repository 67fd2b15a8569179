// The SQLite driver on SQLite's C API: connections in WAL or rollback-journal mode, the program's
// collations and case functions, prepared statements, and SQLite's result codes mapped to engine
// error codes.
#include "sqlitedriver.h"

#include <platform/codepage.h>
#include <platform/data/collation.h>
#include <platform/db/storedvalue.h>
#include <platform/uitexts.h>

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include <sqlite3.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sqlitedb {
namespace {

constexpr int DefaultBusyTimeoutMs = 5000;

// The one mapping of SQLite's result codes to the engine's codes.
int engineCode(int rc)
{
    switch (rc) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return EngineCode::KeyViolation;
    case SQLITE_CONSTRAINT_NOTNULL:
        return EngineCode::RequiredField;
    default:
        break;
    }
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return EngineCode::Locked;
    case SQLITE_CORRUPT:
        return EngineCode::DamagedData;
    case SQLITE_NOTADB:
        return EngineCode::NotADatabase;
    case SQLITE_CANTOPEN:
        return EngineCode::CannotOpen;
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return EngineCode::IoError;
    default:
        return EngineCode::InvalidRequest;
    }
}

QString engineMessage(int code, const QString& sqliteMessage)
{
    switch (code) {
    case EngineCode::KeyViolation:
        return QStringLiteral("Key violation.");
    case EngineCode::Locked:
        return uiText(UiText::DatabaseBusy).arg(sqliteMessage);
    case EngineCode::DamagedData:
    case EngineCode::NotADatabase:
        return uiText(UiText::DatabaseDamaged).arg(sqliteMessage);
    default:
        return sqliteMessage;
    }
}

// Raises the engine error of a failed call; `sql` (when given) becomes a second entry for the log.
[[noreturn]] void raise(sqlite3* db, int rc, const QString& sql = QString(),
                        const QString& context = QString())
{
    const int ext = db ? sqlite3_extended_errcode(db) : rc;
    const int code = engineCode(ext ? ext : rc);
    QString msg = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    if (!context.isEmpty())
        msg = context + QStringLiteral(": ") + msg;
    // A damaged file is mended or set aside by hand: say which one it is.
    const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
    if ((code == EngineCode::DamagedData || code == EngineCode::NotADatabase) && file && *file)
        msg = QString::fromUtf8(file) + QStringLiteral(": ") + msg;
    QList<EngineError::Entry> entries{{code, engineMessage(code, msg), ext}};
    if (!sql.isEmpty())
        entries.append({code, QStringLiteral("SQL: ") + sql.simplified().left(500), ext});
    throw EngineError(entries);
}

// ---- collations and case functions

// The database's UTF-8 text as a QString. Most stored texts are plain ASCII, which reads the same
// as Latin-1: those are widened in the pass that checks them, sixteen or eight bytes at a time,
// and only a text with another character goes through the UTF-8 decoder.
QString textOf(const char* utf8, int bytes)
{
    QString out(bytes, Qt::Uninitialized);
    auto* d = reinterpret_cast<char16_t*>(out.data());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    if (bytes >= 16) {
        // The last sixteen bytes overlap those before them, which are widened again alike.
        for (int i = 0;; i += 16) {
            i = qMin(i, bytes - 16);
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if (_mm_movemask_epi8(chunk) != 0)
                return QString::fromUtf8(utf8, bytes);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(chunk, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(chunk, zero));
            if (i == bytes - 16)
                return out;
        }
    }
    if (bytes >= 8) {
        for (const int i : {0, bytes - 8}) {
            const __m128i chunk = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + i));
            if (_mm_movemask_epi8(chunk) != 0)
                return QString::fromUtf8(utf8, bytes);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(chunk, zero));
        }
        return out;
    }
#endif
    unsigned high = 0;
    for (int i = 0; i < bytes; ++i) {
        high |= p[i];
        d[i] = p[i];
    }
    if (high & 0x80)
        return QString::fromUtf8(utf8, bytes);
    return out;
}

// Writes a text as UTF-8 into `out`, in the allocation it already has when that is large enough:
// a statement binds its texts again for every row it writes. Plain ASCII is narrowed in one pass.
void utf8Into(QStringView text, QByteArray& out)
{
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    out.resize(n);
    char* d = out.data();
#if defined(__SSE2__)
    if (n >= 8) {
        const __m128i high = _mm_set1_epi16(short(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        // The last eight characters overlap those before them, which are narrowed again alike.
        for (qsizetype i = 0;; i += 8) {
            i = qMin(i, n - 8);
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(chunk, high), zero)) != 0xFFFF) {
                out = text.toUtf8();
                return;
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(chunk, chunk));
            if (i == n - 8)
                return;
        }
    }
#endif
    char16_t high = 0;
    for (qsizetype i = 0; i < n; ++i) {
        high |= s[i];
        d[i] = char(s[i]);
    }
    if (high >= 0x80)
        out = text.toUtf8();
}

QString rawString(const void* data, int bytes)
{
    return QString::fromRawData(static_cast<const QChar*>(data), bytes / 2);
}

// -1 for a FoldLow probe, +1 for a FoldHigh probe, 0 for a plain text; leaves the marker out of
// the text's length in bytes.
int probeKind(const void* data, int& bytes)
{
    if (bytes < 2)
        return 0;
    char16_t last;
    std::memcpy(&last, static_cast<const char*>(data) + bytes - 2, sizeof last);
    if (last == FoldLow || last == FoldHigh) {
        bytes -= 2;
        return last == FoldLow ? -1 : 1;
    }
    return 0;
}

int foldCollate(void*, int n1, const void* s1, int n2, const void* s2)
{
    const int pa = probeKind(s1, n1), pb = probeKind(s2, n2);
    const QString a = rawString(s1, n1), b = rawString(s2, n2);
    if (pa == 0 && pb == 0)
        return collation::compareCaseInsensitive(a, b);
    const int c = collation::compareFolded(a, b);
    if (c != 0)
        return c;
    return pa - pb;
}

int ansiCollate(void*, int n1, const void* s1, int n2, const void* s2)
{
    return collation::compareExact(rawString(s1, n1), rawString(s2, n2));
}

void caseFunction(sqlite3_context* ctx, int, sqlite3_value** argv, bool toUpper)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const void* text = sqlite3_value_text16(argv[0]);
    const int bytes = sqlite3_value_bytes16(argv[0]);
    const QString s = rawString(text, bytes);
    const QString r = toUpper ? codepage::upper(s) : codepage::lower(s);
    sqlite3_result_text16(ctx, r.utf16(), int(r.size() * 2), SQLITE_TRANSIENT);
}

void upperFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    caseFunction(ctx, argc, argv, true);
}

void lowerFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    caseFunction(ctx, argc, argv, false);
}

// ---- statements

// A connection's statements that their users are done with, kept prepared (reset, without
// bindings) for the next prepare() of the same text: the program runs the same few statements
// over and over (a document's registration runs four), and preparing is most of the work of a
// short one. The most recently returned come last; the oldest go beyond MaxIdle.
struct IdleStatements
{
    static constexpr size_t MaxIdle = 32;
    std::vector<std::pair<QString, sqlite3_stmt*>> idle;

    IdleStatements() = default;
    IdleStatements(const IdleStatements&) = delete;
    IdleStatements& operator=(const IdleStatements&) = delete;
    ~IdleStatements()
    {
        for (const auto& [sql, stmt] : idle)
            sqlite3_finalize(stmt);
    }

    sqlite3_stmt* take(const QString& sql)
    {
        for (auto it = idle.rbegin(); it != idle.rend(); ++it) {
            if (it->first == sql) {
                sqlite3_stmt* stmt = it->second;
                idle.erase(std::next(it).base());
                return stmt;
            }
        }
        return nullptr;
    }
    void give(const QString& sql, sqlite3_stmt* stmt)
    {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        if (idle.size() >= MaxIdle) {
            sqlite3_finalize(idle.front().second);
            idle.erase(idle.begin());
        }
        idle.emplace_back(sql, stmt);
    }
};

// One callable made of several, each taking its own argument types.
template <typename... F> struct Overloaded : F...
{
    using F::operator()...;
};
template <typename... F> Overloaded(F...) -> Overloaded<F...>;

class Statement : public DbStatement
{
public:
    Statement(sqlite3* db, sqlite3_stmt* stmt, const QString& sql,
              std::weak_ptr<IdleStatements> idle)
        : m_db(db), m_stmt(stmt), m_sql(sql), m_parameterCount(sqlite3_bind_parameter_count(stmt)),
          m_idle(std::move(idle))
    {
    }
    // Back to the connection's idle statements while it is open.
    ~Statement() override
    {
        if (const std::shared_ptr<IdleStatements> idle = m_idle.lock())
            idle->give(m_sql, m_stmt);
        else
            sqlite3_finalize(m_stmt);
    }

    // Asked at every bind: the count of a prepared statement never changes.
    int parameterCount() const override { return m_parameterCount; }

    // A table's rows are written this way: their values are all in a stored form already.
    void bindAll(std::span<const Variant> values) override
    {
        if (values.size() > size_t(m_parameterCount))
            checkParameterIndex(m_parameterCount);
        if (m_ran)
            Statement::reset();
        for (size_t i = 0; i < values.size(); ++i)
            bindValue(int(i), values[i], FieldType::Unknown);
    }

    void bind(int index, const Variant& value, FieldType type) override
    {
        if (index < 0 || index >= m_parameterCount)
            checkParameterIndex(index);
        if (m_ran)
            Statement::reset();
        bindValue(index, value, type);
    }

    void clearBindings() override
    {
        reset();
        sqlite3_clear_bindings(m_stmt);
        m_bound.clear();
    }

    bool step() override
    {
        m_ran = true;
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE) {
            m_changes = sqlite3_changes64(m_db);
            return false;
        }
        // Reset now so that the statement does not keep a lock or a half-run state.
        sqlite3_reset(m_stmt);
        m_ran = false;
        raise(m_db, rc, m_sql);
    }

    void reset() override
    {
        sqlite3_reset(m_stmt);
        m_ran = false;
    }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    QString columnName(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
    }
    QString columnDeclaredType(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_decltype(m_stmt, column));
    }

    Variant columnValue(int column) const override
    {
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_INTEGER:
            return qint64(sqlite3_column_int64(m_stmt, column));
        case SQLITE_FLOAT:
            return sqlite3_column_double(m_stmt, column);
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
            return textOf(text, sqlite3_column_bytes(m_stmt, column));
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(m_stmt, column);
            return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, column));
        }
        default:
            return Variant::null();
        }
    }

    Variant columnValue(int column, FieldType type) const override
    {
        return typedValue(column, type,
                          Overloaded{
                              [](DayNumber v) { return Variant::fromDateTime(v.value); },
                              [](auto&& v) { return Variant(std::forward<decltype(v)>(v)); },
                          });
    }

    // The values go to the record in their own types: no Variant is made for the common cases.
    void readColumns(std::span<const ColumnRead> columns, RecordSink& sink) const override
    {
        for (const ColumnRead& c : columns) {
            const int f = c.field;
            typedValue(c.column, c.type,
                       Overloaded{
                           [&](qint64 v) { sink.setInteger(f, v); },
                           [&](bool v) { sink.setBoolean(f, v); },
                           [&](Currency v) { sink.setCurrency(f, v); },
                           [&](double v) { sink.setDouble(f, v); },
                           [&](DayNumber v) { sink.setDateTime(f, v.value); },
                           [&](QString&& v) { sink.setText(f, std::move(v)); },
                           [&](Variant&& v) { sink.setValue(f, std::move(v)); },
                       });
        }
    }

    qint64 rowsAffected() const override { return m_changes; }

private:
    // A date, time or date-time read from its stored text.
    struct DayNumber
    {
        TDateTime value;
    };

    // The value of a column converted to a field type, handed to `take` in the type it has: a
    // qint64, bool, Currency, double, DayNumber or QString for the common cases, otherwise the
    // Variant the stored-value rules give (Null included).
    template <typename Take>
    auto typedValue(int column, FieldType type, Take&& take) const
        -> std::invoke_result_t<Take&, Variant&&>
    {
        // One call into the statement per column, then the value's own accessors, which are
        // cheaper: a connection is used by one thread at a time (it is opened without a mutex),
        // so the value needs no protection of its own.
        sqlite3_value* value = sqlite3_column_value(m_stmt, column);
        const int storage = sqlite3_value_type(value);
        // The common cases directly; the rest through the stored-value rules.
        switch (type) {
        case FieldType::Integer:
        case FieldType::AutoInc:
            if (storage == SQLITE_INTEGER)
                return take(qint64(sqlite3_value_int64(value)));
            break;
        case FieldType::Float:
            if (storage == SQLITE_FLOAT || storage == SQLITE_INTEGER)
                return take(sqlite3_value_double(value));
            break;
        case FieldType::Currency:
            // Kept as a REAL, as the stored-value rules read it.
            if (storage == SQLITE_FLOAT || storage == SQLITE_INTEGER)
                return take(Currency::fromDouble(sqlite3_value_double(value)));
            break;
        case FieldType::Boolean:
            if (storage == SQLITE_INTEGER)
                return take(sqlite3_value_int64(value) != 0);
            break;
        case FieldType::String:
        case FieldType::Memo:
            if (storage == SQLITE_TEXT) {
                const char* t = reinterpret_cast<const char*>(sqlite3_value_text(value));
                return take(textOf(t, sqlite3_value_bytes(value)));
            }
            break;
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::DateTime:
            if (storage == SQLITE_TEXT) {
                const char* t = reinterpret_cast<const char*>(sqlite3_value_text(value));
                const std::optional<TDateTime> v =
                    storedvalue::parseDateTime(t, sqlite3_value_bytes(value));
                if (v && (type == FieldType::DateTime ||
                          (type == FieldType::Date && *v == std::trunc(*v)) ||
                          (type == FieldType::Time && *v >= 0 && *v < 1)))
                    return take(DayNumber{*v});
            }
            break;
        default:
            break;
        }
        if (storage == SQLITE_NULL)
            return take(Variant::null());
        return take(storedvalue::fromStored(type, columnValue(column), columnName(column)));
    }

    // Values already in a stored form (the common case of a table's own rows) go as they are.
    static bool storedAsIs(const Variant& value, FieldType type)
    {
        const Variant::Type vt = value.type();
        return (type == FieldType::Unknown &&
                (vt == Variant::Type::Integer || vt == Variant::Type::Double ||
                 vt == Variant::Type::String || vt == Variant::Type::Bytes)) ||
               value.isEmpty();
    }

    void bindValue(int index, const Variant& value, FieldType type)
    {
        if (storedAsIs(value, type))
            bindStored(index, value);
        else
            bindStored(index, storedvalue::toStored(type, value));
    }

    // A text or bytes parameter: what SQLite reads, and for a text the string it came from and
    // whether the parameter is still bound to it.
    struct Bound
    {
        QByteArray bytes;
        QString text;
        bool kept = false;
    };

    Bound& boundSlot(int index)
    {
        if (m_bound.size() <= size_t(index))
            m_bound.resize(size_t(index) + 1);
        return m_bound[size_t(index)];
    }

    void bindStored(int index, const Variant& stored)
    {
        int rc = SQLITE_OK;
        const Variant::Type vt = stored.type();
        if (vt == Variant::Type::String) {
            rc = bindText(index, stored);
        } else {
            if (size_t(index) < m_bound.size())
                m_bound[size_t(index)].kept = false;
            switch (vt) {
            case Variant::Type::Integer:
                rc = sqlite3_bind_int64(m_stmt, index + 1, stored.toInt64());
                break;
            case Variant::Type::Double:
                rc = sqlite3_bind_double(m_stmt, index + 1, stored.toDouble());
                break;
            case Variant::Type::Bytes: {
                QByteArray& bytes = boundSlot(index).bytes;
                bytes = stored.toBytes();
                rc = sqlite3_bind_blob64(m_stmt, index + 1, bytes.constData(),
                                         sqlite3_uint64(bytes.size()), SQLITE_STATIC);
                break;
            }
            default:
                rc = sqlite3_bind_null(m_stmt, index + 1);
                break;
            }
        }
        if (rc != SQLITE_OK)
            raise(m_db, rc, m_sql);
    }

    // The database keeps UTF-8: handing it UTF-8 saves a conversion inside SQLite. The bytes stay
    // alive in the slot until the parameter is bound again. Bindings outlive a reset, so the same
    // string bound again (rows appended in a batch often share a text) is left as it is: the
    // slot holds a reference to it, so its characters cannot have changed meanwhile.
    int bindText(int index, const Variant& stored)
    {
        const QStringView text = stored.stringView();
        Bound& slot = boundSlot(index);
        // The slot's own string owns its characters (it is no raw view of outside memory), so
        // the same address and length are the same string, unchanged.
        if (slot.kept && text.data() == slot.text.constData() && text.size() == slot.text.size() &&
            slot.text.data_ptr().d_ptr() != nullptr)
            return SQLITE_OK;
        utf8Into(text, slot.bytes);
        slot.text = stored.toString();
        const int rc =
            sqlite3_bind_text64(m_stmt, index + 1, slot.bytes.constData(),
                                sqlite3_uint64(slot.bytes.size()), SQLITE_STATIC, SQLITE_UTF8);
        slot.kept = rc == SQLITE_OK;
        return rc;
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    QString m_sql;
    int m_parameterCount;
    bool m_ran = false;
    qint64 m_changes = 0;
    std::vector<Bound> m_bound; // text and bytes bound without a copy
    std::weak_ptr<IdleStatements> m_idle;
};

// ---- connections

// What the update hook of a connection gathers for one RowWatch.
struct WatchedRows
{
    QStringList tables; // lower case
    QHash<QString, QSet<qint64>> rows;
    qint64 seen = 0; // rows changed through the connection in any table
    bool overflow = false;
    bool detached = false; // the connection is gone
};

class Connection : public DbConnection
{
public:
    Connection(sqlite3* db, const QString& file)
        : m_db(db), m_file(file), m_idle(std::make_shared<IdleStatements>())
    {
    }
    ~Connection() override
    {
        for (const std::weak_ptr<WatchedRows>& w : m_watches) {
            if (const auto watched = w.lock())
                watched->detached = true;
        }
        sqlite3_update_hook(m_db, nullptr, nullptr);
        m_idle.reset(); // statements still in use are finalized by their owners
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }

    QString driverName() const override { return QStringLiteral("STANDARD"); }

    std::unique_ptr<DbStatement> prepare(const QString& sql) override
    {
        if (sqlite3_stmt* idle = m_idle->take(sql))
            return std::make_unique<Statement>(m_db, idle, sql, m_idle);
        sqlite3_stmt* stmt = nullptr;
        const void* tail = nullptr;
        const int rc = sqlite3_prepare16_v2(m_db, sql.utf16(), int(sql.size() * 2), &stmt, &tail);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            raise(m_db, rc, sql);
        }
        if (!stmt) // only blanks or comments
            throw EngineError(EngineCode::InvalidRequest, QStringLiteral("Empty SQL statement"));
        // A second statement after the first would silently not run: refuse the text instead.
        const qsizetype used =
            (static_cast<const char16_t*>(tail) - reinterpret_cast<const char16_t*>(sql.utf16()));
        if (used < sql.size()) {
            const QString rest = sql.mid(used);
            sqlite3_stmt* next = nullptr;
            sqlite3_prepare16_v2(m_db, rest.utf16(), int(rest.size() * 2), &next, nullptr);
            const bool more = next != nullptr;
            sqlite3_finalize(next);
            if (more) {
                sqlite3_finalize(stmt);
                throw EngineError(EngineCode::InvalidRequest,
                                  QStringLiteral("Only one SQL statement can be run at a time: %1")
                                      .arg(sql.simplified().left(200)));
            }
        }
        return std::make_unique<Statement>(m_db, stmt, sql, m_idle);
    }

    qint64 execute(const QString& sql) override { return DbConnection::execute(sql); }

    void beginTransaction() override { run("BEGIN IMMEDIATE"); }
    void commit() override { run("COMMIT"); }
    void rollback() override
    {
        if (inTransaction())
            run("ROLLBACK");
    }
    bool inTransaction() const override { return !sqlite3_get_autocommit(m_db); }
    qint64 lastInsertRowId() const override { return sqlite3_last_insert_rowid(m_db); }

    int busyTimeout() const override { return m_busyTimeout; }
    void setBusyTimeout(int ms) override
    {
        m_busyTimeout = std::max(ms, 0);
        sqlite3_busy_timeout(m_db, m_busyTimeout);
    }

    QStringList tableNames() override
    {
        QStringList names;
        auto st = prepare(QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
            "ESCAPE '\\'"));
        while (st->step())
            names.append(st->columnValue(0).toString());
        return names;
    }

    QString databaseFile() const override { return m_file; }
    sqlite3* handle() const { return m_db; }

    void run(const char* sql)
    {
        char* err = nullptr;
        const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &err);
        sqlite3_free(err);
        if (rc != SQLITE_OK)
            raise(m_db, rc, QString::fromUtf8(sql));
    }

    // Indexes in the FOLD and ANSI orders depend on the code page; a file last used under another
    // code page has its indexes rebuilt, so that searches find what they should.
    void checkCodePage()
    {
        auto st = prepare(QStringLiteral("PRAGMA user_version"));
        const int stored = st->step() ? st->columnValue(0).toInt() : 0;
        st.reset();
        const int current = int(codepage::current());
        if (stored == current)
            return;
        if (stored != 0) {
            run("REINDEX FOLD");
            run("REINDEX ANSI");
        }
        execute(QStringLiteral("PRAGMA user_version = %1").arg(current));
    }

    void addWatch(const std::shared_ptr<WatchedRows>& watched)
    {
        if (m_watches.empty())
            sqlite3_update_hook(m_db, &Connection::rowChanged, this);
        m_watches.push_back(watched);
    }

private:
    static void rowChanged(void* self, int, const char* database, const char* table,
                           sqlite3_int64 rowid)
    {
        auto& watches = static_cast<Connection*>(self)->m_watches;
        const bool main = std::strcmp(database, "main") == 0;
        const QString name = main ? QString::fromUtf8(table).toLower() : QString();
        std::erase_if(watches, [&](const std::weak_ptr<WatchedRows>& w) {
            const auto watched = w.lock();
            if (!watched)
                return true;
            ++watched->seen;
            if (main && !watched->overflow && watched->tables.contains(name)) {
                QSet<qint64>& rows = watched->rows[name];
                rows.insert(rowid);
                watched->overflow = rows.size() > RowWatch::MaxRows;
            }
            return false;
        });
    }

    sqlite3* m_db;
    QString m_file;
    std::vector<std::weak_ptr<WatchedRows>> m_watches;
    std::shared_ptr<IdleStatements> m_idle;
    int m_busyTimeout = 0;
};

class Driver : public DbDriver
{
public:
    QString name() const override { return QStringLiteral("STANDARD"); }

    std::unique_ptr<DbConnection> connect(const ConnectionParams& params) override
    {
        const QString path = params.value(DbParam::Path);
        if (path.isEmpty())
            throw EngineError(EngineCode::CannotOpen,
                              QStringLiteral("No database path (parameter PATH) given"));
        const QString file = databaseFile(path);
        const bool wal =
            params.value(JournalModeParam).compare(QLatin1String("WAL"), Qt::CaseInsensitive) == 0;
        const bool create =
            wal ||
            params.value(CreateParam).compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
        if (!create && !QFileInfo::exists(file))
            throw EngineError(EngineCode::CannotOpen, uiText(UiText::DatabaseNotFound).arg(file));

        sqlite3* db = nullptr;
        const int flags =
            SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
        const int rc = sqlite3_open_v2(file.toUtf8().constData(), &db, flags, nullptr);
        if (rc != SQLITE_OK) {
            const QString msg =
                db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close_v2(db);
            throw EngineError(engineCode(rc), QStringLiteral("%1: %2").arg(file, msg), rc);
        }
        auto conn = std::make_unique<Connection>(db, file);
        sqlite3_extended_result_codes(db, 1);
        bool ok = false;
        int timeout = params.value(DbParam::BusyTimeout).toInt(&ok);
        conn->setBusyTimeout(ok && timeout >= 0 ? timeout : DefaultBusyTimeoutMs);

        sqlite3_create_collation(db, "FOLD", SQLITE_UTF16_ALIGNED, nullptr, foldCollate);
        sqlite3_create_collation(db, "ANSI", SQLITE_UTF16_ALIGNED, nullptr, ansiCollate);
        sqlite3_create_function(db, "upper", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr,
                                upperFunction, nullptr, nullptr);
        sqlite3_create_function(db, "lower", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr,
                                lowerFunction, nullptr, nullptr);

        // The first statements read the file: a damaged one is reported here.
        if (wal) {
            auto st = conn->prepare(QStringLiteral("PRAGMA journal_mode = WAL"));
            const QString mode = st->step() ? st->columnValue(0).toString() : QString();
            if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
                throw EngineError(
                    EngineCode::CannotOpen,
                    QStringLiteral("%1: the WAL journal cannot be used here (%2)").arg(file, mode));
        } else {
            conn->execute(QStringLiteral("PRAGMA journal_mode = DELETE"));
        }
        // Every commit reaches the disk before the call returns: a registered document stays
        // registered through a power cut.
        conn->run("PRAGMA synchronous = FULL");
        conn->checkCodePage();
        return conn;
    }
};

} // namespace

QString databaseFile(const QString& pathParam)
{
    // Paths written on Windows use backslashes.
    const QString path = QString(pathParam).replace(QLatin1Char('\\'), QLatin1Char('/'));
    // A path ending in a separator can only be a folder, even one that is not there.
    if (path.endsWith(QLatin1Char('/')))
        return path + DatabaseFileName;
    if (QFileInfo(path).isDir())
        return path + QLatin1Char('/') + DatabaseFileName;
    return path;
}

std::unique_ptr<DbDriver> makeDriver()
{
    return std::make_unique<Driver>();
}

bool isKeyword(const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    return !bytes.isEmpty() && sqlite3_keyword_check(bytes.constData(), int(bytes.size())) != 0;
}

std::optional<ContentsMark> contentsMark(DbConnection& connection)
{
    auto* c = dynamic_cast<Connection*>(&connection);
    if (!c)
        return std::nullopt;
    ContentsMark mark;
    // The engine's data version moves with every commit of another connection (and not with
    // this one's); the change count covers this one's, its open transaction included.
    auto st = c->prepare(QStringLiteral("PRAGMA data_version"));
    if (!st->step())
        return std::nullopt;
    mark.others = st->columnValue(0).toInt64();
    mark.own = sqlite3_total_changes64(c->handle());
    return mark;
}

namespace {

class ConnectionRowWatch : public RowWatch
{
public:
    ConnectionRowWatch(Connection& connection, const QStringList& tables)
        : m_connection(connection), m_watched(std::make_shared<WatchedRows>())
    {
        for (const QString& table : tables)
            m_watched->tables.append(table.toLower());
        m_connection.addWatch(m_watched);
        m_mark = mark();
    }

    Changes take() override
    {
        Changes changes;
        if (m_watched->detached)
            return changes;
        const Mark now = mark();
        changes.complete = now.others == m_mark.others && now.schema == m_mark.schema &&
                           now.own - m_mark.own == m_watched->seen && !m_watched->overflow;
        changes.rows = std::exchange(m_watched->rows, {});
        m_watched->seen = 0;
        m_watched->overflow = false;
        m_mark = now;
        return changes;
    }

private:
    struct Mark
    {
        qint64 others = 0;
        qint64 own = 0;
        qint64 schema = 0;
    };

    Mark mark()
    {
        Mark m;
        const std::optional<ContentsMark> contents = contentsMark(m_connection);
        if (contents) {
            m.others = contents->others;
            m.own = contents->own;
        }
        auto st = m_connection.prepare(QStringLiteral("PRAGMA schema_version"));
        if (st->step())
            m.schema = st->columnValue(0).toInt64();
        return m;
    }

    Connection& m_connection;
    std::shared_ptr<WatchedRows> m_watched;
    Mark m_mark;
};

} // namespace

std::shared_ptr<RowWatch> watchRows(DbConnection& connection, const QStringList& tables)
{
    auto* c = dynamic_cast<Connection*>(&connection);
    if (!c)
        return nullptr;
    return std::make_shared<ConnectionRowWatch>(*c, tables);
}

bool fileLooksIntact(DbConnection& connection, QString* why)
{
    auto* c = dynamic_cast<Connection*>(&connection);
    if (!c)
        return true;
    const QString file = c->databaseFile();
    sqlite3_file* handle = nullptr;
    if (sqlite3_file_control(c->handle(), "main", SQLITE_FCNTL_FILE_POINTER, &handle) !=
            SQLITE_OK ||
        !handle || !handle->pMethods)
        return true; // nothing open to look at
    // Renamed or deleted under the program: the open handle still reads the old file, which
    // looks whole, while every row written to it is lost to the next start.
    int moved = 0;
    if (sqlite3_file_control(c->handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
        moved) {
        *why = QStringLiteral("%1 is no longer the file the program opened (it was renamed, "
                              "deleted or replaced)")
                   .arg(file);
        return false;
    }
    sqlite3_int64 size = 0;
    QByteArray head(100, '\0');
    const int read = handle->pMethods->xRead(handle, head.data(), int(head.size()), 0);
    if (handle->pMethods->xFileSize(handle, &size) != SQLITE_OK ||
        (read != SQLITE_OK && read != SQLITE_IOERR_SHORT_READ)) {
        *why = QStringLiteral("%1 cannot be read").arg(file);
        return false;
    }
    static constexpr char magic[] = "SQLite format 3"; // and its terminating zero
    if (read != SQLITE_OK || !head.startsWith(QByteArrayView(magic, sizeof magic))) {
        *why = QStringLiteral("%1 does not start with a database header").arg(file);
        return false;
    }
    const auto word = [&head](int at) { return qFromBigEndian<quint32>(head.constData() + at); };
    const quint32 pageField = qFromBigEndian<quint16>(head.constData() + 16);
    const qint64 pageSize = pageField == 1 ? 65536 : pageField;
    // The page count is the header's own only when written with the last change.
    const bool countValid = word(92) == word(24) && word(28) > 0;
    if (countValid && size < pageSize * word(28)) {
        *why = QStringLiteral("%1 holds %2 bytes where its header counts %3 pages of %4")
                   .arg(file)
                   .arg(size)
                   .arg(word(28))
                   .arg(pageSize);
        return false;
    }
    return true;
}

} // namespace sqlitedb
