// The local table dataset: reads its table page by page with keyset queries on the current order,
// seeks keys and applies ranges through SQL conditions, writes one row per post, and creates and
// restructures tables inside one transaction each.
#include "localtable.h"

#include <platform/db/database.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlname.h>
#include <platform/db/storedvalue.h>
#include <platform/db/tablelock.h>
#include <platform/uitexts.h>

#include <QFile>

#include <algorithm>

#include <map>

namespace {

constexpr int PageSize = 100;
// Prepared statements kept per table; the shapes of the paging queries are few.
constexpr size_t MaxCachedStatements = 64;
const QString PrimaryName = QStringLiteral("PRIMARY");

// An SQL condition and the values of its "?" in order.
struct Cond
{
    QString sql;
    QList<Variant> binds;

    bool isEmpty() const { return sql.isEmpty(); }
    Cond& operator&=(const Cond& other)
    {
        if (other.isEmpty())
            return *this;
        sql = sql.isEmpty() ? other.sql : sql + QStringLiteral(" AND ") + other.sql;
        binds += other.binds;
        return *this;
    }
};

Cond orOf(const QList<Cond>& terms)
{
    Cond out;
    for (const Cond& t : terms) {
        out.sql += (out.sql.isEmpty() ? QStringLiteral("(") : QStringLiteral(" OR ")) +
                   QLatin1Char('(') + t.sql + QLatin1Char(')');
        out.binds += t.binds;
    }
    out.sql = out.sql.isEmpty() ? QStringLiteral("0") : out.sql + QLatin1Char(')');
    return out;
}

struct Row
{
    qint64 rowid = 0;
    QList<Variant> raw;    // as stored, one per field
    QList<Variant> values; // as the fields hold them
};

// One column of the current order.
struct OrderColumn
{
    int field = 0;
    QString expr; // quoted column with its collation
    QString name; // quoted column alone
    bool desc = false;
    bool folded = false; // text of a case-insensitive index: keys match on the folded text
};

[[noreturn]] void structureError(int code, const QString& message)
{
    throw EngineError(code, message);
}

QString declaredColumn(const FieldDef& def)
{
    QString sql =
        quoteSqlName(def.name) + QLatin1Char(' ') + storedvalue::declaredType(def.type, def.size);
    if (def.required)
        sql += QStringLiteral(" NOT NULL");
    return sql;
}

QString createTableSql(const QString& table, const FieldDefs& fields)
{
    QStringList cols;
    for (const FieldDef& f : fields.list())
        cols.append(declaredColumn(f));
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoteSqlName(table), cols.join(QStringLiteral(", ")));
}

} // namespace

struct LocalTable::Impl
{
    explicit Impl(LocalTable* table) : q(table) {}

    LocalTable* q;
    TableLock lock;
    QString storedName; // the name as the database spells it
    FieldDefs defs;
    QString selectList;
    QStringList columnNames; // quoted
    QList<OrderColumn> order;
    Cond range; // empty when no range is set
    std::vector<Row> page;
    qsizetype pos = -1;
    Row spare; // the row the last post replaced: its lists are filled again by the next post
    struct FirstPage
    {
        Cond select; // without its limit
        qsizetype limit = 0;
        std::optional<sqlitedb::ContentsMark> mark; // none: not to be handed out again
        std::vector<Row> rows;
    } firstMemo;
    int readAhead = 0; // records a reader walks from the first one (0: no such walk)
    int aheadLeft = 0; // records of that walk after the current one
    // A reader taking the first records of a range as they are read (setRangeTaking): set for
    // the one move to the range's first record.
    struct Taker
    {
        const std::function<bool(QList<Variant>&)>* take = nullptr;
        int limit = 0;
        int taken = 0;
    } taker;
    std::map<QString, std::unique_ptr<DbStatement>> statements;
    QString insertSql;       // made once per open: posts of new rows are the hot path
    bool hasAutoInc = false; // an auto-increment field, numbered by posts of new rows
    bool keptValues = false; // the last post stands on its row, which shows the values posted
    DbStatement* insert = nullptr;
    // The stored text of the date-time last posted, per column: rows appended in a batch mostly
    // carry the same day, whose text is then shared rather than written out again.
    struct StoredDate
    {
        FieldType type = FieldType::Unknown;
        double value = 0;
        Variant text;
    };
    std::vector<StoredDate> storedDates;

    // Writes the stored form of a field's value into `out`. Whole numbers and texts, most of
    // what rows carry, are their own stored forms; a date-time's text is kept per column.
    void storeInto(Variant& out, int column, FieldType type, const Variant& value)
    {
        const Variant::Type vt = value.type();
        if ((vt == Variant::Type::Integer &&
             (type == FieldType::Integer || type == FieldType::AutoInc)) ||
            (vt == Variant::Type::String && isTextType(type) && !value.stringView().isEmpty())) {
            out = value;
            return;
        }
        if (vt != Variant::Type::DateTime ||
            (type != FieldType::Date && type != FieldType::Time && type != FieldType::DateTime)) {
            out = storedvalue::toStored(type, value, true);
            return;
        }
        if (storedDates.size() <= size_t(column))
            storedDates.resize(size_t(column) + 1);
        StoredDate& last = storedDates[size_t(column)];
        const double v = value.toDateTime();
        if (last.type != type || last.value != v || last.text.isEmpty())
            last = {type, v, storedvalue::toStored(type, value, true)};
        out = last.text;
    }

    DbConnection& conn() const { return q->database()->connection(); }
    QString from() const { return quoteSqlName(storedName); }

    DbStatement& statement(const QString& sql)
    {
        auto it = statements.find(sql);
        if (it != statements.end()) {
            it->second->reset();
            return *it->second;
        }
        if (statements.size() >= MaxCachedStatements)
            clearStatements();
        auto st = conn().prepare(sql);
        return *statements.emplace(sql, std::move(st)).first->second;
    }

    void clearStatements()
    {
        statements.clear();
        insert = nullptr;
    }

    DbStatement& prepared(const QString& sql, const QList<Variant>& binds)
    {
        DbStatement& st = statement(sql);
        for (int i = 0; i < binds.size(); ++i)
            st.bind(i, binds.at(i));
        return st;
    }

    bool hasCurrent() const { return pos >= 0 && pos < qsizetype(page.size()); }
    const Row& current() const { return page.at(size_t(pos)); }

    void setPage(std::vector<Row> rows, bool atEnd)
    {
        page = std::move(rows);
        pos = page.empty() ? -1 : (atEnd ? qsizetype(page.size()) - 1 : 0);
    }

    // ---- structure

    void readStructure(const QString& tableName)
    {
        const QString actual = findTable(conn(), tableName);
        if (actual.isEmpty())
            throw EngineError(EngineCode::NotFound, uiText(UiText::TableNotFound).arg(tableName));
        storedName = actual;
        defs = readFieldDefs(conn(), storedName);
        columnNames.clear();
        hasAutoInc = false;
        for (const FieldDef& d : defs.list()) {
            columnNames.append(quoteSqlName(d.name));
            hasAutoInc = hasAutoInc || d.type == FieldType::AutoInc;
        }
        selectList = QStringLiteral("rowid, ") + columnNames.join(QStringLiteral(", "));
        insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(from(), columnNames.join(QStringLiteral(", ")),
                             QStringList(columnNames.size(), QStringLiteral("?"))
                                 .join(QStringLiteral(", ")));
    }

    static QString findTable(DbConnection& conn, const QString& name)
    {
        auto st = conn.prepare(QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
        st->bind(0, name);
        return st->step() ? st->columnValue(0).toString() : QString();
    }

    static FieldDefs readFieldDefs(DbConnection& conn, const QString& table)
    {
        FieldDefs out;
        auto st = conn.prepare(QStringLiteral(
            "SELECT name, type, \"notnull\" FROM pragma_table_info(?) ORDER BY cid"));
        st->bind(0, table);
        while (st->step()) {
            int size = 0;
            FieldType type = storedvalue::fieldTypeOf(st->columnValue(1).toString(), &size);
            if (type == FieldType::Unknown)
                type = FieldType::Memo; // a column some other tool made without a type
            FieldDef def;
            def.name = st->columnValue(0).toString();
            def.type = type;
            def.size = type == FieldType::String ? size : 0;
            def.required = st->columnValue(2).toInt() != 0;
            out.add(def);
        }
        return out;
    }

    static IndexDefs readIndexDefs(DbConnection& conn, const QString& table)
    {
        struct Found
        {
            QString sqlName;
            bool unique;
        };
        QList<Found> found;
        {
            auto st = conn.prepare(
                QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list(?) ORDER BY name"));
            st->bind(0, table);
            while (st->step())
                found.append({st->columnValue(0).toString(), st->columnValue(1).toInt() != 0});
        }
        IndexDefs out;
        const QString prefix = table + QLatin1Char('$');
        for (const Found& f : found) {
            if (f.sqlName.startsWith(QLatin1String("sqlite_autoindex_")))
                continue;
            QStringList fields;
            bool desc = false, folded = false;
            auto st = conn.prepare(QStringLiteral("SELECT name, \"desc\", coll FROM "
                                                  "pragma_index_xinfo(?) WHERE key = 1 "
                                                  "ORDER BY seqno"));
            st->bind(0, f.sqlName);
            while (st->step()) {
                fields.append(st->columnValue(0).toString());
                desc = desc || st->columnValue(1).toInt() != 0;
                folded = folded || st->columnValue(2).toString().compare(sqlitedb::FoldCollation,
                                                                         Qt::CaseInsensitive) == 0;
            }
            IndexDef def;
            def.fields = fields.join(QLatin1Char(';'));
            def.name = f.sqlName.startsWith(prefix, Qt::CaseInsensitive)
                           ? f.sqlName.mid(prefix.size())
                           : f.sqlName;
            if (f.unique)
                def.options |= IndexDef::Unique;
            if (desc)
                def.options |= IndexDef::Descending;
            if (folded)
                def.options |= IndexDef::CaseInsensitive;
            if (def.name.compare(PrimaryName, Qt::CaseInsensitive) == 0 &&
                f.sqlName.startsWith(prefix, Qt::CaseInsensitive)) {
                def.name.clear();
                def.options |= IndexDef::Primary;
            }
            out.add(def);
        }
        return out;
    }

    static QString indexSqlName(const QString& table, const IndexDef& def)
    {
        const bool primary = def.options.testFlag(IndexDef::Primary);
        return table + QLatin1Char('$') + (primary ? PrimaryName : def.name);
    }

    static QString createIndexSql(const QString& table, const FieldDefs& fields,
                                  const IndexDef& def)
    {
        QStringList cols;
        const QStringList names = def.fieldList();
        if (names.isEmpty())
            structureError(EngineCode::InvalidRequest,
                           QStringLiteral("Index %1 has no fields").arg(def.name));
        for (const QString& n : names) {
            const FieldDef* f = fields.find(n);
            if (!f)
                structureError(EngineCode::NotFound,
                               QStringLiteral("Field %1 of index %2 not found in table %3")
                                   .arg(n, def.name, table));
            QString col = quoteSqlName(f->name);
            if (isTextType(f->type))
                col += QStringLiteral(" COLLATE ") +
                       (def.options.testFlag(IndexDef::CaseInsensitive) ? sqlitedb::FoldCollation
                                                                        : sqlitedb::AnsiCollation);
            if (def.options.testFlag(IndexDef::Descending))
                col += QStringLiteral(" DESC");
            cols.append(col);
        }
        const bool unique = def.options & (IndexDef::Unique | IndexDef::Primary);
        return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
            .arg(unique ? QStringLiteral("UNIQUE ") : QString(),
                 quoteSqlName(indexSqlName(table, def)), quoteSqlName(table),
                 cols.join(QStringLiteral(", ")));
    }

    static void changeField(DbConnection& conn, const QString& table, const QString& name,
                            const FieldDef& def);
    static void copyRows(DbConnection& conn, const QString& from, const FieldDefs& fromFields,
                         const QString& to, const FieldDefs& toFields, int changed);
    static Variant convertedValue(const FieldDef& from, const FieldDef& to, const Variant& raw);

    // ---- order

    void setOrder(const QStringList& fields, IndexDef::Options options)
    {
        order.clear();
        for (const QString& name : fields) {
            const int i = defs.indexOf(name);
            if (i < 0)
                throw EDBEditError(q->messagePrefix() +
                                   QStringLiteral("Field '%1' not found").arg(name));
            OrderColumn c;
            c.field = i;
            c.name = quoteSqlName(defs.at(i).name);
            c.desc = options.testFlag(IndexDef::Descending);
            const bool text = isTextType(defs.at(i).type);
            c.folded = text && options.testFlag(IndexDef::CaseInsensitive);
            c.expr = c.name;
            if (text)
                c.expr += QStringLiteral(" COLLATE ") +
                          (c.folded ? sqlitedb::FoldCollation : sqlitedb::AnsiCollation);
            order.append(c);
        }
    }

    QString orderBy(bool backward) const
    {
        QStringList parts;
        for (const OrderColumn& c : order)
            parts.append(c.expr + ((c.desc != backward) ? QStringLiteral(" DESC") : QString()));
        parts.append(backward ? QStringLiteral("rowid DESC") : QStringLiteral("rowid"));
        return parts.join(QStringLiteral(", "));
    }

    // A key value given by a caller, in its stored form.
    Variant storedKey(int column, const Variant& value) const
    {
        const FieldDef& def = defs.at(order.at(column).field);
        return storedvalue::toStored(def.type, convertFieldValue(def.type, 0, value), true);
    }

    // Column equals the value: exactly, or on the folded text when `folded` and the column is
    // a case-insensitive one.
    static Cond equals(const OrderColumn& c, const Variant& v, bool folded)
    {
        if (v.isEmpty())
            return {c.name + QStringLiteral(" IS NULL"), {}};
        if (folded && c.folded) {
            const QString s = v.toString();
            return {QStringLiteral("(%1 >= ? AND %1 <= ?)").arg(c.expr),
                    {s + QChar(sqlitedb::FoldLow), s + QChar(sqlitedb::FoldHigh)}};
        }
        return {c.expr + QStringLiteral(" = ?"), {v}};
    }

    // Column lies strictly after (dir > 0) or before (dir < 0) the value in the order, as one
    // condition.
    static Cond beyond(const OrderColumn& c, const Variant& v, int dir, bool folded)
    {
        const bool up = (dir > 0) != c.desc; // larger stored values (NULL is the smallest)
        if (v.isEmpty())
            return up ? Cond{c.name + QStringLiteral(" IS NOT NULL"), {}}
                      : Cond{QStringLiteral("0"), {}};
        Variant bound = v;
        if (folded && c.folded)
            bound = v.toString() + QChar(up ? sqlitedb::FoldHigh : sqlitedb::FoldLow);
        if (up)
            return {c.expr + QStringLiteral(" > ?"), {bound}};
        return {QStringLiteral("(%1 < ? OR %2 IS NULL)").arg(c.expr, c.name), {bound}};
    }

    // The same split into conditions that an index can serve, in the order their rows come.
    static QList<Cond> beyondTerms(const OrderColumn& c, const Variant& v, int dir)
    {
        const bool up = (dir > 0) != c.desc;
        if (v.isEmpty())
            return up ? QList<Cond>{{c.name + QStringLiteral(" IS NOT NULL"), {}}} : QList<Cond>{};
        if (up)
            return {{c.expr + QStringLiteral(" > ?"), {v}}};
        return {{c.expr + QStringLiteral(" < ?"), {v}}, {c.name + QStringLiteral(" IS NULL"), {}}};
    }

    // The leading fields lie at or after (dir > 0) or at or before (dir < 0) the key (stored
    // values, as many as given), comparing texts of case-insensitive columns folded.
    Cond keyBound(const VariantList& key, int dir, bool* excludesNull) const
    {
        const OrderColumn& first = order.at(0);
        if (key.size() == 1 && !key.at(0).isEmpty()) {
            // One value: the column at or beyond it, a condition the index serves alone (the
            // general form below says the same in three terms, each tested on every row).
            const bool up = (dir > 0) != first.desc;
            *excludesNull = up;
            Variant bound = key.at(0);
            if (first.folded)
                bound = key.at(0).toString() + QChar(up ? sqlitedb::FoldLow : sqlitedb::FoldHigh);
            if (up)
                return {first.expr + QStringLiteral(" >= ?"), {bound}};
            return {QStringLiteral("(%1 <= ? OR %2 IS NULL)").arg(first.expr, first.name), {bound}};
        }
        QList<Cond> terms;
        Cond prefix;
        for (int j = 0; j < key.size(); ++j) {
            Cond t = prefix;
            t &= beyond(order.at(j), key.at(j), dir, true);
            terms.append(t);
            prefix &= equals(order.at(j), key.at(j), true);
        }
        terms.append(prefix.isEmpty() ? Cond{QStringLiteral("1"), {}} : prefix);
        Cond out = orOf(terms);
        // A plain bound on the first column lets the index start the scan where the key is.
        const OrderColumn& c = order.at(0);
        const bool towardsLarger = (dir > 0) != c.desc;
        *excludesNull = false;
        if (towardsLarger && !key.at(0).isEmpty()) {
            const Variant low =
                c.folded ? Variant(key.at(0).toString() + QChar(sqlitedb::FoldLow)) : key.at(0);
            Cond lead{c.expr + QStringLiteral(" >= ?"), {low}};
            lead &= out;
            out = lead;
            *excludesNull = true;
        }
        return out;
    }

    void setRange(const std::optional<VariantList>& start, const std::optional<VariantList>& end)
    {
        range = Cond();
        if (order.isEmpty())
            return;
        auto stored = [this](const VariantList& key) {
            VariantList out;
            for (int i = 0; i < key.size() && i < order.size(); ++i)
                out.append(storedKey(i, key.at(i)));
            return out;
        };
        const VariantList s = start ? stored(*start) : VariantList();
        const VariantList e = end ? stored(*end) : VariantList();
        bool startNoNull = false, endNoNull = false;
        if (!s.isEmpty())
            range &= keyBound(s, +1, &startNoNull);
        const OrderColumn& c = order.at(0);
        if (startNoNull && !c.desc && e.size() == 1 && !e.at(0).isEmpty()) {
            // The common name range: one plain bound at each end, both served by the index.
            const Variant high =
                c.folded ? Variant(e.at(0).toString() + QChar(sqlitedb::FoldHigh)) : e.at(0);
            range &= Cond{c.expr + QStringLiteral(" <= ?"), {high}};
            return;
        }
        if (!e.isEmpty())
            range &= keyBound(e, -1, &endNoNull);
        // With NULL out of the way, the other end of the first column bounds the scan too.
        const VariantList& other = startNoNull ? e : s;
        if ((startNoNull || endNoNull) && !other.isEmpty() && !other.at(0).isEmpty()) {
            const Variant high = c.folded
                                     ? Variant(other.at(0).toString() + QChar(sqlitedb::FoldHigh))
                                     : other.at(0);
            range &= Cond{c.expr + QStringLiteral(" <= ?"), {high}};
        }
    }

    // ---- reading

    Row readRow(DbStatement& st) const
    {
        Row r;
        r.rowid = st.columnValue(0).toInt64();
        const int n = defs.count();
        r.raw.resize(n);
        r.values.resize(n);
        for (int i = 0; i < n; ++i) {
            r.raw[i] = st.columnValue(i + 1);
            r.values[i] = storedvalue::fromStored(defs.at(i).type, r.raw.at(i), defs.at(i).name);
        }
        return r;
    }

    // The statement of the rows matching the condition (and the range), in the order or
    // backwards, at most `limit`.
    Cond selectRows(Cond where, bool backward, int limit, int offset = 0) const
    {
        where &= range;
        Cond out{QStringLiteral("SELECT %1 FROM %2").arg(selectList, from()), where.binds};
        if (!where.isEmpty())
            out.sql += QStringLiteral(" WHERE ") + where.sql;
        out.sql += QStringLiteral(" ORDER BY ") + orderBy(backward) + QStringLiteral(" LIMIT ?");
        out.binds.append(qint64(limit));
        if (offset > 0) {
            out.sql += QStringLiteral(" OFFSET ?");
            out.binds.append(qint64(offset));
        }
        return out;
    }

    void run(const Cond& select, int limit, std::vector<Row>& into)
    {
        DbStatement& st = prepared(select.sql, select.binds);
        for (int got = 0; got < limit && st.step(); ++got)
            into.push_back(readRow(st));
        st.reset();
    }

    // The first row of the current order and range, with the values of at most `limit` rows
    // from it on handed to the taker as they are read (all of them when `limit` is negative);
    // none when the range is empty.
    std::vector<Row> firstTaking()
    {
        const std::function<bool(QList<Variant>&)>& take = *taker.take;
        const int limit = taker.limit;
        // One row at least: the table stands on it.
        const Cond select = selectRows(Cond(), false, limit < 0 ? -1 : std::max(limit, 1));
        DbStatement& st = prepared(select.sql, select.binds);
        std::vector<Row> rows;
        try {
            if (st.step()) {
                rows.push_back(readRow(st));
                const int n = defs.count();
                QList<Variant> values = rows.front().values;
                bool more = limit != 0 && take(values);
                taker.taken = more ? 1 : 0;
                while (more && (limit < 0 || taker.taken < limit) && st.step()) {
                    values.resize(n);
                    for (int i = 0; i < n; ++i)
                        values[i] = st.columnValue(i + 1, defs.at(i).type);
                    more = take(values);
                    taker.taken += more ? 1 : 0;
                }
            }
        } catch (...) {
            st.reset();
            throw;
        }
        st.reset();
        return rows;
    }

    // Rows matching the condition (and the range), in the order or backwards, at most `limit`.
    void fetch(const Cond& where, bool backward, int limit, std::vector<Row>& into, int offset = 0)
    {
        run(selectRows(where, backward, limit, offset), limit, into);
    }

    // The first `size` rows of the current order and range. Walking a range often starts at
    // its first record several times in a row (positioned by the range, then by each reader);
    // the rows read the last time are handed out again, as many as they answer for, while the
    // database says that no row has changed since, so they are exactly what reading them again
    // would give.
    std::vector<Row> firstPage(int size)
    {
        Cond select = selectRows(Cond(), false, size);
        select.binds.removeLast(); // the limit
        const std::optional<sqlitedb::ContentsMark> mark = sqlitedb::contentsMark(conn());
        const FirstPage& memo = firstMemo;
        const bool complete = qsizetype(memo.rows.size()) < memo.limit; // the whole range
        if (mark && memo.mark == mark && memo.select.sql == select.sql &&
            memo.select.binds == select.binds &&
            (complete || qsizetype(memo.rows.size()) >= size)) {
            const size_t n = std::min(memo.rows.size(), size_t(size));
            return std::vector<Row>(memo.rows.begin(), memo.rows.begin() + qsizetype(n));
        }
        std::vector<Row> rows;
        select.binds.append(qint64(size));
        run(select, size, rows);
        select.binds.removeLast();
        firstMemo = {select, size, mark, rows};
        return rows;
    }

    // The conditions of the rows strictly after (dir > 0) or before a row, each served by the
    // index, in the order their rows come.
    QList<Cond> termsBeyond(const Row& r, int dir) const
    {
        QList<Cond> terms;
        Cond all;
        for (const OrderColumn& c : order)
            all &= equals(c, r.raw.at(c.field), false);
        Cond last = all;
        last &=
            Cond{dir > 0 ? QStringLiteral("rowid > ?") : QStringLiteral("rowid < ?"), {r.rowid}};
        terms.append(last);
        for (int j = int(order.size()) - 1; j >= 0; --j) {
            Cond prefix;
            for (int i = 0; i < j; ++i)
                prefix &= equals(order.at(i), r.raw.at(order.at(i).field), false);
            for (const Cond& alt : beyondTerms(order.at(j), r.raw.at(order.at(j).field), dir)) {
                Cond t = prefix;
                t &= alt;
                terms.append(t);
            }
        }
        return terms;
    }

    // The next page after (dir > 0) or before a row, of at most `size` rows.
    std::vector<Row> pageBeyond(const Row& r, int dir, int size = PageSize)
    {
        std::vector<Row> rows;
        for (const Cond& term : termsBeyond(r, dir)) {
            std::vector<Row> part;
            fetch(term, dir < 0, size - int(rows.size()), part);
            for (Row& p : part)
                rows.push_back(std::move(p));
            if (int(rows.size()) >= size)
                break;
        }
        if (dir < 0)
            std::reverse(rows.begin(), rows.end());
        return rows;
    }

    std::optional<Row> rowById(qint64 rowid, bool inRange)
    {
        std::vector<Row> rows;
        Cond c{QStringLiteral("rowid = ?"), {rowid}};
        if (!inRange) {
            const Cond saved = range;
            range = Cond();
            fetch(c, false, 1, rows);
            range = saved;
        } else {
            fetch(c, false, 1, rows);
        }
        if (rows.empty())
            return std::nullopt;
        return std::move(rows.front());
    }

    // Stands on the neighbour of a row that is gone or out of range: the next, else the previous.
    bool standNear(const Row& r)
    {
        std::vector<Row> rows = pageBeyond(r, +1);
        if (!rows.empty()) {
            setPage(std::move(rows), false);
            return true;
        }
        rows = pageBeyond(r, -1);
        setPage(std::move(rows), true);
        return pos >= 0;
    }

    qint64 count(const Cond& where)
    {
        Cond w = where;
        w &= range;
        QString sql = QStringLiteral("SELECT count(*) FROM ") + from();
        if (!w.isEmpty())
            sql += QStringLiteral(" WHERE ") + w.sql;
        DbStatement& st = prepared(sql, w.binds);
        const qint64 n = st.step() ? st.columnValue(0).toInt64() : 0;
        st.reset();
        return n;
    }

    void clear()
    {
        page.clear();
        pos = -1;
        spare = Row();
        firstMemo = FirstPage();
        aheadLeft = 0;
    }
};

// ---------------------------------------------------------------------------------------------

LocalTable::LocalTable(QObject* parent)
    : IndexedDataSet(parent), d(std::make_unique<Impl>(this)),
      m_binding(*this, [this] { d->clearStatements(); })
{
}

LocalTable::~LocalTable()
{
    // Statements go before the connection may.
    d->clearStatements();
}

void LocalTable::setTableName(const QString& name)
{
    if (name == m_tableName)
        return;
    close();
    m_tableName = name;
}

// ---- structure

namespace {

// Runs `change` in a savepoint (a transaction of its own, or a part of the caller's) while the
// table's lock is held exclusively: either all of it is done or none.
template <typename F>
void changeStructure(Database* db, const QString& table, bool tableOpen, F change)
{
    if (!db)
        throw EngineError(EngineCode::InvalidRequest,
                          QStringLiteral("No database assigned to table %1").arg(table));
    if (tableOpen)
        throw EDBEditError(
            QStringLiteral("Cannot change the structure of an open table: %1").arg(table));
    DbConnection& conn = db->connection();
    TableLock lock;
    lock.acquire(TableLock::lockFileName(conn.databaseFile(), table), true, table);
    conn.execute(QStringLiteral("SAVEPOINT qv_structure"));
    try {
        change(conn);
        conn.execute(QStringLiteral("RELEASE qv_structure"));
    } catch (...) {
        try {
            conn.execute(QStringLiteral("ROLLBACK TO qv_structure"));
            conn.execute(QStringLiteral("RELEASE qv_structure"));
        } catch (const EngineError&) {
            // The first error is the one to report.
        }
        throw;
    }
}

// The legacy setting also keeps a rename from rewriting or checking triggers, as the servers
// leave them.
QString legacyAlterTable(DbConnection& conn)
{
    auto st = conn.prepare(QStringLiteral("PRAGMA legacy_alter_table"));
    return st->step() ? st->columnValue(0).toString() : QStringLiteral("0");
}

} // namespace

void changeOutsideViews(DbConnection& conn, const std::function<void()>& change)
{
    QList<std::pair<QString, QString>> views;
    {
        auto st = conn.prepare(QStringLiteral(
            "SELECT name, sql FROM sqlite_master WHERE type = 'view' ORDER BY rowid"));
        while (st->step())
            views.append({st->columnValue(0).toString(), st->columnValue(1).toString()});
    }
    const QString legacy = legacyAlterTable(conn);
    const QString restore = QStringLiteral("PRAGMA legacy_alter_table = %1").arg(legacy.toInt());
    conn.execute(QStringLiteral("SAVEPOINT qv_views"));
    try {
        conn.execute(QStringLiteral("PRAGMA legacy_alter_table = 1"));
        for (const auto& view : std::as_const(views))
            conn.execute(QStringLiteral("DROP VIEW %1").arg(quoteSqlName(view.first)));
        change();
        for (const auto& view : std::as_const(views))
            conn.execute(view.second);
        conn.execute(restore);
        conn.execute(QStringLiteral("RELEASE qv_views"));
    } catch (...) {
        try {
            conn.execute(QStringLiteral("ROLLBACK TO qv_views"));
            conn.execute(QStringLiteral("RELEASE qv_views"));
            conn.execute(restore);
        } catch (const EngineError&) {
            // The first error is the one to report.
        }
        throw;
    }
}

namespace {

QString requireTable(DbConnection& conn, const QString& table)
{
    auto st = conn.prepare(QStringLiteral(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    st->bind(0, table);
    if (!st->step())
        throw EngineError(EngineCode::NotFound, uiText(UiText::TableNotFound).arg(table));
    return st->columnValue(0).toString();
}

} // namespace

bool LocalTable::exists() const
{
    if (!database() || m_tableName.isEmpty())
        return false;
    return !Impl::findTable(database()->connection(), m_tableName).isEmpty();
}

void LocalTable::createTable()
{
    const FieldDefs fields = fieldDefs();
    const IndexDefs indexes = indexDefs();
    if (fields.isEmpty())
        throw EngineError(EngineCode::InvalidRequest,
                          QStringLiteral("Table %1 needs at least one field").arg(m_tableName));
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& conn) {
        if (!Impl::findTable(conn, m_tableName).isEmpty())
            throw EngineError(EngineCode::AlreadyExists,
                              QStringLiteral("Table already exists: %1").arg(m_tableName));
        conn.execute(createTableSql(m_tableName, fields));
        for (const IndexDef& ix : indexes.list())
            conn.execute(Impl::createIndexSql(m_tableName, fields, ix));
    });
}

void LocalTable::deleteTable()
{
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& conn) {
        const QString name = requireTable(conn, m_tableName);
        conn.execute(QStringLiteral("DROP TABLE %1").arg(quoteSqlName(name)));
    });
}

void LocalTable::emptyTable()
{
    if (isActive()) {
        checkBrowseMode();
        d->conn().execute(QStringLiteral("DELETE FROM %1").arg(d->from()));
        d->clear();
        resync(true);
        return;
    }
    changeStructure(database(), m_tableName, false, [&](DbConnection& conn) {
        const QString name = requireTable(conn, m_tableName);
        conn.execute(QStringLiteral("DELETE FROM %1").arg(quoteSqlName(name)));
    });
}

void LocalTable::addIndex(const QString& name, const QString& fields, IndexDef::Options options)
{
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& conn) {
        const QString table = requireTable(conn, m_tableName);
        const IndexDefs existing = Impl::readIndexDefs(conn, table);
        const IndexDef def{name, fields, options};
        for (const IndexDef& e : existing.list()) {
            const bool bothPrimary =
                e.options.testFlag(IndexDef::Primary) && options.testFlag(IndexDef::Primary);
            if (bothPrimary || (!options.testFlag(IndexDef::Primary) &&
                                e.name.compare(name, Qt::CaseInsensitive) == 0))
                throw EngineError(EngineCode::AlreadyExists,
                                  QStringLiteral("Index already exists: %1").arg(name));
        }
        conn.execute(Impl::createIndexSql(table, Impl::readFieldDefs(conn, table), def));
    });
}

void LocalTable::deleteIndex(const QString& name)
{
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& conn) {
        const QString table = requireTable(conn, m_tableName);
        const IndexDefs existing = Impl::readIndexDefs(conn, table);
        const IndexDef* def = existing.find(name);
        if (!def)
            throw EngineError(EngineCode::NotFound,
                              QStringLiteral("Index not found: %1").arg(name));
        conn.execute(
            QStringLiteral("DROP INDEX %1").arg(quoteSqlName(Impl::indexSqlName(table, *def))));
    });
}

void LocalTable::addField(const FieldDef& def)
{
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& conn) {
        const QString table = requireTable(conn, m_tableName);
        if (Impl::readFieldDefs(conn, table).find(def.name))
            throw EngineError(EngineCode::AlreadyExists,
                              QStringLiteral("Field already exists: %1").arg(def.name));
        if (def.required) {
            // A new field has no value in the rows already there.
            auto st =
                conn.prepare(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(quoteSqlName(table)));
            if (st->step())
                throw EngineError(EngineCode::RequiredField,
                                  QStringLiteral("Field %1 cannot be required: the table has rows")
                                      .arg(def.name));
            FieldDefs fields = Impl::readFieldDefs(conn, table);
            fields.add(def);
            const IndexDefs indexes = Impl::readIndexDefs(conn, table);
            conn.execute(QStringLiteral("DROP TABLE %1").arg(quoteSqlName(table)));
            conn.execute(createTableSql(table, fields));
            for (const IndexDef& ix : indexes.list())
                conn.execute(Impl::createIndexSql(table, fields, ix));
            return;
        }
        conn.execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                         .arg(quoteSqlName(table), declaredColumn(def)));
    });
}

void LocalTable::dropField(const QString& name)
{
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& conn) {
        const QString table = requireTable(conn, m_tableName);
        const FieldDef* f = nullptr;
        const FieldDefs fields = Impl::readFieldDefs(conn, table);
        f = fields.find(name);
        if (!f)
            throw EngineError(EngineCode::NotFound,
                              QStringLiteral("Field not found: %1").arg(name));
        if (fields.count() == 1)
            throw EngineError(EngineCode::InvalidRequest,
                              QStringLiteral("Cannot drop the last field of %1").arg(table));
        const IndexDefs indexes = Impl::readIndexDefs(conn, table);
        for (const IndexDef& ix : indexes.list()) {
            for (const QString& n : ix.fieldList()) {
                if (n.compare(name, Qt::CaseInsensitive) == 0)
                    throw EngineError(EngineCode::InvalidRequest,
                                      QStringLiteral("Field %1 is used by index %2")
                                          .arg(name, ix.name.isEmpty() ? PrimaryName : ix.name));
            }
        }
        changeOutsideViews(conn, [&] {
            conn.execute(QStringLiteral("ALTER TABLE %1 DROP COLUMN %2")
                             .arg(quoteSqlName(table), quoteSqlName(f->name)));
        });
    });
}

void LocalTable::changeField(const QString& name, const FieldDef& def)
{
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& conn) {
        Impl::changeField(conn, requireTable(conn, m_tableName), name, def);
    });
}

// SQLite cannot change a column: the table is made again under a working name with the new
// definition, filled row by row with the values converted, and put in place of the old one; its
// indexes are made again, following a renamed field.
void LocalTable::Impl::changeField(DbConnection& conn, const QString& table, const QString& name,
                                   const FieldDef& def)
{
    const FieldDefs oldFields = readFieldDefs(conn, table);
    const int changed = oldFields.indexOf(name);
    if (changed < 0)
        throw EngineError(EngineCode::NotFound, QStringLiteral("Field not found: %1").arg(name));
    const int clash = oldFields.indexOf(def.name);
    if (clash >= 0 && clash != changed)
        throw EngineError(EngineCode::AlreadyExists,
                          QStringLiteral("Field already exists: %1").arg(def.name));
    FieldDefs newFields;
    for (int i = 0; i < oldFields.count(); ++i)
        newFields.add(i == changed ? def : oldFields.at(i));
    // Indexes follow a renamed field.
    IndexDefs indexes;
    const IndexDefs oldIndexes = readIndexDefs(conn, table);
    for (IndexDef ix : oldIndexes.list()) {
        QStringList names = ix.fieldList();
        for (QString& n : names) {
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                n = def.name;
        }
        ix.fields = names.join(QLatin1Char(';'));
        indexes.add(ix);
    }

    const QString work = table + QStringLiteral("$restructure");
    conn.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(quoteSqlName(work)));
    conn.execute(createTableSql(work, newFields));
    copyRows(conn, table, oldFields, work, newFields, changed);
    changeOutsideViews(conn, [&] {
        conn.execute(QStringLiteral("DROP TABLE %1").arg(quoteSqlName(table)));
        conn.execute(QStringLiteral("ALTER TABLE %1 RENAME TO %2")
                         .arg(quoteSqlName(work), quoteSqlName(table)));
    });
    for (const IndexDef& ix : indexes.list())
        conn.execute(createIndexSql(table, newFields, ix));
}

// Copies every row, keeping its row number, into a table whose fields differ from the source's
// only in field `changed`, whose values are converted.
void LocalTable::Impl::copyRows(DbConnection& conn, const QString& from,
                                const FieldDefs& fromFields, const QString& to,
                                const FieldDefs& toFields, int changed)
{
    QStringList oldNames, names, marks;
    for (const FieldDef& f : fromFields.list())
        oldNames.append(quoteSqlName(f.name));
    for (const FieldDef& f : toFields.list()) {
        names.append(quoteSqlName(f.name));
        marks.append(QStringLiteral("?"));
    }
    auto read = conn.prepare(
        QStringLiteral("SELECT rowid, %1 FROM %2").arg(oldNames.join(", "), quoteSqlName(from)));
    auto write = conn.prepare(QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (?, %3)")
                                  .arg(quoteSqlName(to), names.join(", "), marks.join(", ")));
    while (read->step()) {
        write->bind(0, read->columnValue(0).toInt64());
        for (int i = 0; i < fromFields.count(); ++i) {
            const Variant raw = read->columnValue(i + 1);
            write->bind(i + 1, i == changed && !raw.isNull()
                                   ? convertedValue(fromFields.at(i), toFields.at(i), raw)
                                   : raw);
        }
        write->step();
        write->reset();
    }
}

// A stored value of a field in the stored form of its new definition; raises when it does not fit.
Variant LocalTable::Impl::convertedValue(const FieldDef& from, const FieldDef& to,
                                         const Variant& raw)
{
    const Variant value = storedvalue::fromStored(from.type, raw, from.name);
    if (to.type == FieldType::String && to.size > 0 && value.toString().size() > to.size)
        throw EngineError(EngineCode::InvalidRequest,
                          QStringLiteral("Field %1: the value '%2' is longer than %3 characters")
                              .arg(to.name, value.toString())
                              .arg(to.size));
    try {
        return storedvalue::toStored(to.type, value, true);
    } catch (const EConvertError& e) {
        throw EngineError(
            EngineCode::InvalidRequest,
            QStringLiteral("Field %1 cannot take the new type: %2").arg(to.name, e.message()));
    }
}

void LocalTable::renameTable(const QString& newName)
{
    // The new name is locked too, so that nobody opens a table of that name half-way.
    DbConnection* conn = database() ? &database()->connection() : nullptr;
    const bool sameName = m_tableName.compare(newName, Qt::CaseInsensitive) == 0;
    TableLock newLock;
    if (conn && !sameName)
        newLock.acquire(TableLock::lockFileName(conn->databaseFile(), newName), true, newName);
    changeStructure(database(), m_tableName, isActive(), [&](DbConnection& c) {
        const QString table = requireTable(c, m_tableName);
        if (!sameName && !Impl::findTable(c, newName).isEmpty())
            throw EngineError(EngineCode::AlreadyExists,
                              QStringLiteral("Table already exists: %1").arg(newName));
        const IndexDefs indexes = Impl::readIndexDefs(c, table);
        for (const IndexDef& ix : indexes.list())
            c.execute(
                QStringLiteral("DROP INDEX %1").arg(quoteSqlName(Impl::indexSqlName(table, ix))));
        changeOutsideViews(c, [&] {
            c.execute(QStringLiteral("ALTER TABLE %1 RENAME TO %2")
                          .arg(quoteSqlName(table), quoteSqlName(newName)));
        });
        const FieldDefs fields = Impl::readFieldDefs(c, newName);
        for (const IndexDef& ix : indexes.list())
            c.execute(Impl::createIndexSql(newName, fields, ix));
    });
    if (!sameName)
        QFile::remove(TableLock::lockFileName(conn->databaseFile(), m_tableName));
    m_tableName = newName;
}

FieldDefs LocalTable::storedFieldDefs() const
{
    if (!database())
        return {};
    DbConnection& conn = database()->connection();
    return Impl::readFieldDefs(conn, requireTable(conn, m_tableName));
}

IndexDefs LocalTable::storedIndexDefs() const
{
    if (!database())
        return {};
    DbConnection& conn = database()->connection();
    return Impl::readIndexDefs(conn, requireTable(conn, m_tableName));
}

void LocalTable::flushBuffers()
{
    checkActive();
    // Each post is its own committed write unless a transaction is open, and SQLite writes a
    // commit through to the disk (synchronous FULL): nothing is left in a buffer.
}

// ---- dataset storage

void LocalTable::internalOpen()
{
    if (!database())
        throw EngineError(EngineCode::InvalidRequest,
                          messagePrefix() +
                              tr("No database assigned to table %1").arg(m_tableName));
    if (m_tableName.isEmpty())
        throw EngineError(EngineCode::InvalidRequest, messagePrefix() + tr("No table name"));
    DbConnection& conn = database()->connection();
    d->lock.acquire(TableLock::lockFileName(conn.databaseFile(), m_tableName), m_exclusive,
                    m_tableName);
    try {
        d->readStructure(m_tableName);
        fieldDefs() = d->defs;
        indexDefs() = Impl::readIndexDefs(conn, d->storedName);
    } catch (...) {
        d->lock.release();
        throw;
    }
    d->clear();
    d->range = Cond();
    d->order.clear();
}

void LocalTable::internalClose()
{
    d->clearStatements();
    d->clear();
    d->range = Cond();
    d->order.clear();
    d->lock.release();
}

bool LocalTable::internalFirst()
{
    std::vector<Row> rows;
    if (d->taker.take) {
        rows = d->firstTaking();
        d->taker.take = nullptr;
        d->aheadLeft = 0;
    } else {
        // A walk announced from here reads its records in this one page.
        rows = d->firstPage(std::max(d->readAhead, PageSize));
        d->aheadLeft = std::max(d->readAhead - 1, 0);
    }
    if (rows.empty())
        return false;
    d->setPage(std::move(rows), false);
    return true;
}

bool LocalTable::internalLast()
{
    d->aheadLeft = 0;
    std::vector<Row> rows;
    d->fetch(Cond(), true, PageSize, rows);
    if (rows.empty())
        return false;
    std::reverse(rows.begin(), rows.end());
    d->setPage(std::move(rows), true);
    return true;
}

bool LocalTable::internalNext()
{
    if (!d->hasCurrent())
        return false;
    const int wanted = d->aheadLeft;
    d->aheadLeft = std::max(wanted - 1, 0);
    if (d->pos + 1 < qsizetype(d->page.size())) {
        ++d->pos;
        return true;
    }
    std::vector<Row> rows = d->pageBeyond(d->current(), +1, std::max(wanted, PageSize));
    if (rows.empty())
        return false;
    d->setPage(std::move(rows), false);
    return true;
}

void LocalTable::setReadAhead(int records)
{
    d->readAhead = std::max(records, 0);
    d->aheadLeft = 0;
}

int LocalTable::setRangeTaking(const VariantList& startValues, const VariantList& endValues,
                               int limit, const std::function<bool(QList<Variant>&)>& take)
{
    struct Done
    {
        Impl::Taker& taker;
        ~Done() { taker = {}; }
    } done{d->taker};
    d->taker = {&take, limit, 0};
    setRange(startValues, endValues);
    return d->taker.taken;
}

bool LocalTable::internalPrior()
{
    d->aheadLeft = 0;
    if (!d->hasCurrent())
        return false;
    if (d->pos > 0) {
        --d->pos;
        return true;
    }
    std::vector<Row> rows = d->pageBeyond(d->current(), -1);
    if (rows.empty())
        return false;
    d->setPage(std::move(rows), true);
    return true;
}

void LocalTable::internalRead(QList<Variant>& values) const
{
    if (!d->hasCurrent())
        return;
    const QList<Variant>& row = d->current().values;
    const qsizetype n = qMin(row.size(), values.size());
    Variant* out = values.data();
    for (qsizetype i = 0; i < n; ++i)
        out[i] = row.at(i);
}

Bookmark LocalTable::internalBookmark() const
{
    return d->hasCurrent() ? Bookmark(d->current().rowid) : Bookmark();
}

bool LocalTable::internalGotoBookmark(const Bookmark& bookmark)
{
    d->aheadLeft = 0;
    if (bookmark.isNull())
        return false;
    std::optional<Row> row = d->rowById(bookmark.id(), true);
    if (!row)
        return false;
    std::vector<Row> rows;
    rows.push_back(std::move(*row));
    d->setPage(std::move(rows), false);
    return true;
}

bool LocalTable::internalBookmarkValid(const Bookmark& bookmark) const
{
    if (bookmark.isNull())
        return false;
    return d->rowById(bookmark.id(), true).has_value();
}

bool LocalTable::internalPost(const QList<Variant>& values, PostMode mode)
{
    d->keptValues = false;
    const FieldDefs& defs = d->defs;
    const int n = defs.count();
    // Rows are appended by the thousand: the lists of the row the last post replaced are filled
    // again rather than allocated anew.
    Row row = std::move(d->spare);
    row.raw.resize(n);
    Variant* raw = row.raw.data();
    const Variant* posted = values.constData();
    for (int i = 0; i < n; ++i)
        d->storeInto(raw[i], i, defs.at(i).type, posted[i]);

    if (mode == PostMode::Edit) {
        if (!d->hasCurrent())
            throw EDBEditError(messagePrefix() + tr("No current record"));
        const Row& old = d->current();
        // Only what changed is written, so that a field another user changed meanwhile keeps
        // that change.
        QStringList sets;
        QList<Variant> binds;
        for (int i = 0; i < n; ++i) {
            if (row.raw.at(i) == old.raw.at(i))
                continue;
            sets.append(quoteSqlName(defs.at(i).name) + QStringLiteral(" = ?"));
            binds.append(row.raw.at(i));
        }
        row.rowid = old.rowid;
        if (!sets.isEmpty()) {
            binds.append(old.rowid);
            DbStatement& st = d->prepared(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                              .arg(d->from(), sets.join(QStringLiteral(", "))),
                                          binds);
            st.step();
            if (st.rowsAffected() == 0)
                throw EngineError(EngineCode::NotFound,
                                  messagePrefix() + tr("The record was deleted by another user"));
            // Fields this post did not write keep what the table holds now.
            if (std::optional<Row> fresh = d->rowById(old.rowid, false)) {
                for (int i = 0; i < n; ++i) {
                    if (row.raw.at(i) == old.raw.at(i))
                        row.raw[i] = fresh->raw.at(i);
                }
            }
        }
    } else {
        // An auto-increment field left empty takes the next number.
        for (int i = 0; d->hasAutoInc && i < n; ++i) {
            if (defs.at(i).type != FieldType::AutoInc || !row.raw.at(i).isNull())
                continue;
            DbStatement& st = d->prepared(QStringLiteral("SELECT coalesce(max(%1), 0) + 1 FROM %2")
                                              .arg(quoteSqlName(defs.at(i).name), d->from()),
                                          {});
            row.raw[i] = st.step() ? st.columnValue(0) : Variant(qint64(1));
            st.reset();
        }
        if (!d->insert)
            d->insert = &d->statement(d->insertSql);
        DbStatement& st = *d->insert;
        st.reset();
        st.bindAll(std::span<const Variant>(raw, size_t(n)));
        st.step();
        row.rowid = d->conn().lastInsertRowId();
    }
    // What the fields now show: the posted values, NULL where the table stores NULL (an empty
    // text), and what the table holds for fields this post left alone.
    row.values.resize(n);
    Variant* shown = row.values.data();
    const bool asPosted = mode != PostMode::Edit && !d->hasAutoInc;
    bool kept = asPosted;
    for (int i = 0; i < n; ++i) {
        const Variant& stored = raw[i];
        if (stored.isNull()) {
            kept = kept && posted[i].isNull();
            shown[i] = Variant::null();
        } else if (asPosted) {
            shown[i] = posted[i];
        } else {
            const FieldDef& def = defs.at(i);
            if (mode == PostMode::Edit || def.type == FieldType::AutoInc)
                shown[i] = storedvalue::fromStored(def.type, stored, def.name);
            else
                shown[i] = posted[i];
        }
    }

    // Stand on the written row, or on its neighbour when it falls outside the range.
    if (!d->range.isEmpty() && !d->rowById(row.rowid, true))
        return d->standNear(row);
    d->page.resize(1);
    std::swap(d->page.front(), row);
    d->pos = 0;
    d->spare = std::move(row);
    d->keptValues = kept;
    return true;
}

bool LocalTable::internalPostKeptValues() const
{
    return d->keptValues;
}

bool LocalTable::internalDelete()
{
    if (!d->hasCurrent())
        return false;
    const Row gone = d->current();
    DbStatement& st =
        d->prepared(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(d->from()), {gone.rowid});
    st.step();
    return d->standNear(gone);
}

void LocalTable::internalRefresh()
{
    // Pages are read again from the table when the base moves back to its record.
    d->clear();
}

int LocalTable::internalRecordCount() const
{
    return int(d->count(Cond()));
}

int LocalTable::internalRecNo() const
{
    if (!d->hasCurrent())
        return -1;
    qint64 before = 0;
    for (const Cond& term : d->termsBeyond(d->current(), -1))
        before += d->count(term);
    return int(before + 1);
}

bool LocalTable::internalSetRecNo(int recNo)
{
    if (recNo < 1)
        return false;
    std::vector<Row> rows;
    d->fetch(Cond(), false, 1, rows, recNo - 1);
    if (rows.empty())
        return false;
    d->setPage(std::move(rows), false);
    return true;
}

void LocalTable::internalSetIndex(const QString& indexName, const QStringList& fieldNames)
{
    QStringList fields;
    IndexDef::Options options;
    if (!indexName.isEmpty()) {
        const IndexDef* def = indexDefs().find(indexName);
        if (!def)
            throw EDBEditError(messagePrefix() + tr("Index '%1' not found").arg(indexName));
        fields = def->fieldList();
        options = def->options;
    } else if (!fieldNames.isEmpty()) {
        fields = fieldNames;
        // A field list takes the order of the table's index over exactly those fields, with or
        // without case as that index has it, as the original engine chose that index.
        for (const IndexDef& def : indexDefs().list()) {
            const QStringList indexed = def.fieldList();
            if (indexed.size() == fields.size() &&
                std::equal(indexed.begin(), indexed.end(), fields.begin(),
                           [](const QString& a, const QString& b) {
                               return a.compare(b, Qt::CaseInsensitive) == 0;
                           })) {
                options = def.options & (IndexDef::CaseInsensitive | IndexDef::Descending);
                break;
            }
        }
    } else {
        for (const IndexDef& def : indexDefs().list()) {
            if (def.options.testFlag(IndexDef::Primary)) {
                fields = def.fieldList();
                options = def.options;
                break;
            }
        }
    }
    d->setOrder(fields, options);
    d->range = Cond();
    QStringList names;
    for (const OrderColumn& c : d->order)
        names.append(d->defs.at(c.field).name);
    setCurrentIndex(names, options);
    // Stay on the same record: its neighbours are read in the new order when needed.
    if (d->hasCurrent()) {
        std::vector<Row> rows;
        rows.push_back(d->current());
        d->setPage(std::move(rows), false);
    }
}

bool LocalTable::internalSeek(const VariantList& key, SeekMode mode)
{
    d->aheadLeft = 0;
    if (d->order.isEmpty() || key.size() > d->order.size())
        return false;
    VariantList stored;
    for (int i = 0; i < key.size(); ++i)
        stored.append(d->storedKey(i, key.at(i)));
    std::vector<Row> rows;
    if (mode == SeekMode::Exact) {
        Cond where;
        for (int i = 0; i < stored.size(); ++i)
            where &= Impl::equals(d->order.at(i), stored.at(i), true);
        d->fetch(where, false, 1, rows);
        if (rows.empty())
            return false;
    } else {
        bool excludesNull = false;
        if (!stored.isEmpty())
            d->fetch(d->keyBound(stored, +1, &excludesNull), false, 1, rows);
        else
            d->fetch(Cond(), false, 1, rows);
        if (rows.empty())
            return internalLast();
    }
    d->setPage(std::move(rows), false);
    return true;
}

void LocalTable::internalSetRange(const std::optional<VariantList>& start,
                                  const std::optional<VariantList>& end)
{
    d->aheadLeft = 0;
    d->setRange(start, end);
    if (d->taker.take) {
        // The range's first record is read next, its followers going to the taker: where the
        // cursor stood does not matter.
        d->clear();
        return;
    }
    if (d->hasCurrent()) {
        if (std::optional<Row> row = d->rowById(d->current().rowid, true)) {
            std::vector<Row> rows;
            rows.push_back(std::move(*row));
            d->setPage(std::move(rows), false);
            return;
        }
    }
    if (!internalFirst())
        d->clear();
}

void LocalTable::updateIndexDefs()
{
    if (isActive())
        indexDefs() = Impl::readIndexDefs(database()->connection(), d->storedName);
}
