// The in-memory dataset: records (memrecords_p.h) in their storage order, each named or field-list
// index a sorted vector of record pointers kept up to date on every write (or built once after a
// bulk load), key search and ranges by binary search, and loading and saving through the file
// format (memdatasetfile.cpp).
#include "memdataset.h"

#include "collation.h"
#include "memdatasetfile_p.h"
#include "memrecords_p.h"

#include <platform/fileops.h>
#include <platform/files.h>

#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

using namespace memdata;

namespace {

QString tr(const char* text)
{
    return QString::fromLatin1(text);
}

// Code built for plain SSE, as this program is, runs markedly slower while the upper halves of the
// AVX registers hold data, a state that some vectorised library routines leave behind (Qt's keyed
// string hashing, behind every QHash of texts, on processors with VAES). A bulk load is one long
// run of such code, so it clears that state first; the instruction exists only with AVX.
void clearUpperVectorState()
{
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        asm volatile("vzeroupper");
#endif
}

// An index entry: the row, and an order-keeping number drawn from the first key field, so that
// most comparisons of a search settle without touching the row.
struct IndexEntry
{
    quint64 prefix;
    quint64 prefix2; // the next characters of a text first key field
    Row* row;
    QString text; // a text first key field: its folded key or its value (shared with the row)
};

struct PackedEntry
{
    quint64 prefix;
    Row* row;
};

// Memory on cache-line boundaries, so that a block of a search's level lies on whole lines.
template <typename T> struct LineAllocator
{
    using value_type = T;
    static constexpr std::align_val_t Line{64};
    LineAllocator() = default;
    template <typename U> LineAllocator(const LineAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), Line)); }
    void deallocate(T* p, size_t) noexcept { ::operator delete(p, Line); }
    friend bool operator==(const LineAllocator&, const LineAllocator&) { return true; }
};

struct Index
{
    const RecordLayout* layout = nullptr;
    QString name; // empty for a field-list order
    QStringList fieldNames;
    QList<int> columns; // field definition of each key field
    QList<FieldType> types;
    QList<int> foldedPos; // per key field: its place in Row::folded, -1 when not folded
    IndexDef::Options options;
    std::vector<IndexEntry> rows; // in index order
    // The prefix and the row of each entry of `rows`, packed, four to a cache line: a search
    // runs over these, touching a third of the memory the entries take, and a key found there
    // gives its row at once. A search ends by counting through one block of them, two lines
    // that the memory delivers together.
    static constexpr qsizetype PackedBlock = 8;
    std::vector<PackedEntry, LineAllocator<PackedEntry>> packed;
    // Above the packed entries, levels of samples (made again when rows change): the first holds
    // the last prefix of each whole block of PackedBlock packed entries, each further one the
    // last of each whole block of SampleBlock samples of the level below, up to a level of one
    // block. A search counts through one line per level, where a binary search would wait on
    // the memory at each of its many steps.
    static constexpr qsizetype SampleBlock = 8;
    using Samples = std::vector<quint64, LineAllocator<quint64>>;
    mutable std::vector<Samples> levels;
    mutable bool samplesStale = true;

    void setRows(std::vector<IndexEntry> entries)
    {
        rows = std::move(entries);
        packed.resize(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            packed[i] = {rows[i].prefix, rows[i].row};
        samplesStale = true;
    }
    void insertRow(size_t at, const IndexEntry& e)
    {
        rows.insert(rows.begin() + qsizetype(at), e);
        packed.insert(packed.begin() + qsizetype(at), PackedEntry{e.prefix, e.row});
        samplesStale = true;
    }
    void eraseRow(size_t at)
    {
        rows.erase(rows.begin() + qsizetype(at));
        packed.erase(packed.begin() + qsizetype(at));
        samplesStale = true;
    }
    void clearRows()
    {
        rows.clear();
        packed.clear();
        samplesStale = true;
    }
    // The levels, finest first; never empty.
    const std::vector<Samples>& sampled() const
    {
        if (samplesStale)
            makeLevels();
        return levels;
    }
    Q_NEVER_INLINE void makeLevels() const
    {
        levels.resize(1);
        Samples& first = levels[0];
        first.clear();
        for (size_t i = PackedBlock - 1; i < packed.size(); i += PackedBlock)
            first.push_back(packed[i].prefix);
        while (qsizetype(levels.back().size()) > SampleBlock) {
            Samples next;
            const Samples& below = levels.back();
            for (size_t i = SampleBlock - 1; i < below.size(); i += SampleBlock)
                next.push_back(below[i]);
            levels.push_back(std::move(next));
        }
        samplesStale = false;
    }

    bool unique() const { return options & (IndexDef::Unique | IndexDef::Primary); }
    bool descending() const { return options.testFlag(IndexDef::Descending); }
    bool caseInsensitive() const { return options.testFlag(IndexDef::CaseInsensitive); }
};

// A search or range key, converted to the key fields' types, texts folded where the index folds.
struct SearchKey
{
    QVarLengthArray<Variant, 2> values;
    QVarLengthArray<QString, 2> texts; // per key field: the text of a text value
    QVarLengthArray<QString, 2> folded;
    quint64 prefix = 0, prefix2 = 0;
    // The key is one value, not null, whose prefix is the whole value (an integer, a currency or
    // a Boolean): entries then compare by their prefixes alone.
    bool prefixDecides = false;
};

// ---- first-key prefixes: equal prefixes say nothing, different ones give the key order.

quint64 orderedBits(qint64 v)
{
    return quint64(v) ^ (quint64(1) << 63);
}

quint64 orderedBits(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return (bits & (quint64(1) << 63)) ? ~bits : bits | (quint64(1) << 63);
}

quint64 prefixOf(FieldType type, bool folded, const Variant& v, const QString& foldedText)
{
    if (v.isEmpty())
        return 0;
    switch (type) {
    case FieldType::Integer:
    case FieldType::AutoInc:
        return orderedBits(v.toInt64());
    case FieldType::Currency:
        return orderedBits(v.toCurrency().scaled);
    case FieldType::Float:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
        return orderedBits(v.toDouble());
    case FieldType::Boolean:
        return v.toBool() ? 2 : 1;
    case FieldType::String:
        return folded ? collation::foldedPrefix(foldedText) : collation::exactPrefix(v.toString());
    default:
        return 0;
    }
}

// Whether prefix e comes before p in key order.
template <bool Descending> qsizetype before(quint64 e, quint64 p)
{
    return qsizetype(Descending ? e > p : e < p);
}

template <bool Descending, typename Prefix, size_t... I>
qsizetype countWhole(const Prefix& prefix, quint64 p, std::index_sequence<I...>)
{
    return (before<Descending>(prefix(I), p) + ...);
}

// The number of n prefixes, prefix(0) to prefix(n - 1), that come before p in key order,
// without branches; a whole block is counted without a loop.
template <bool Descending, qsizetype Block, typename Prefix>
qsizetype countBefore(const Prefix& prefix, qsizetype n, quint64 p)
{
    if (n == Block)
        return countWhole<Descending>(prefix, p, std::make_index_sequence<size_t(Block)>());
    qsizetype count = 0;
    for (qsizetype i = 0; i < n; ++i)
        count += before<Descending>(prefix(i), p);
    return count;
}

// The first of an index's entries whose prefix is not before p in key order. The levels of
// samples are walked from the top: the block found on one level gives the block to count
// through on the level below, and the last gives the line of packed entries that holds the
// answer (a block whose last sample is before p has all of its entries before p).
template <bool Descending> qsizetype prefixBound(const Index& ix, quint64 p)
{
    const std::vector<Index::Samples>& levels = ix.sampled();
    qsizetype block = 0;
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        const qsizetype from = block * Index::SampleBlock;
        const quint64* at = level->data() + from;
        block = from + countBefore<Descending, Index::SampleBlock>(
                           [at](size_t i) { return at[i]; },
                           qMin(Index::SampleBlock, qsizetype(level->size()) - from), p);
    }
    const qsizetype from = block * Index::PackedBlock;
    const PackedEntry* at = ix.packed.data() + from;
    return from + countBefore<Descending, Index::PackedBlock>(
                      [at](size_t i) { return at[i].prefix; },
                      qMin(Index::PackedBlock, qsizetype(ix.packed.size()) - from), p);
}

qsizetype prefixBound(const Index& ix, quint64 p)
{
    return ix.descending() ? prefixBound<true>(ix, p) : prefixBound<false>(ix, p);
}

// Order of two rows on one key field (full order: folded texts tie-broken by the exact text).
int compareKeyPart(const Index& ix, int k, const Row* a, const Row* b)
{
    const RecordLayout& layout = *ix.layout;
    const int col = ix.columns.at(k);
    const bool ea = layout.isEmpty(a, col), eb = layout.isEmpty(b, col);
    if (ea || eb)
        return int(!ea) - int(!eb);
    if (layout.kind(col) != Variant::Type::String)
        return compareFieldValues(ix.types.at(k), layout.value(a, col), layout.value(b, col));
    const int fp = ix.foldedPos.at(k);
    if (fp >= 0) {
        const int c = collation::compareFoldedKeys(a->folded[fp], b->folded[fp]);
        if (c != 0)
            return c;
    }
    return collation::compareExact(layout.text(a, col), layout.text(b, col));
}

// Key order of two rows from key field `from` on, without the post order.
int compareKeys(const Index& ix, const Row* a, const Row* b, int from = 0)
{
    for (int k = from; k < ix.columns.size(); ++k) {
        const int c = compareKeyPart(ix, k, a, b);
        if (c != 0)
            return ix.descending() ? -c : c;
    }
    return 0;
}

IndexEntry entryOf(const Index& ix, Row* row)
{
    const RecordLayout& layout = *ix.layout;
    const int fp = ix.foldedPos.at(0);
    const int col = ix.columns.at(0);
    IndexEntry e{0, 0, row, QString()};
    if (layout.isEmpty(row, col))
        return e;
    if (ix.types.at(0) == FieldType::String) {
        e.text = fp >= 0 ? row->folded[fp] : layout.text(row, col);
        e.prefix = fp >= 0 ? collation::foldedPrefix(e.text) : collation::exactPrefix(e.text);
        e.prefix2 =
            fp >= 0 ? collation::foldedPrefix(e.text, 1) : collation::exactPrefix(e.text, 1);
    } else {
        e.prefix = prefixOf(ix.types.at(0), false, layout.value(row, col), QString());
    }
    return e;
}

int comparePrefix(const Index& ix, quint64 a, quint64 b)
{
    const int c = a < b ? -1 : 1;
    return ix.descending() ? -c : c;
}

// Key order of two entries: their prefixes, the texts they carry, then the rows.
int compareEntries(const Index& ix, const IndexEntry& a, const IndexEntry& b)
{
    if (a.prefix != b.prefix)
        return comparePrefix(ix, a.prefix, b.prefix);
    if (a.prefix == 0 || ix.types.at(0) != FieldType::String) // null, empty, or not a text
        return compareKeys(ix, a.row, b.row);
    if (a.prefix2 != b.prefix2)
        return comparePrefix(ix, a.prefix2, b.prefix2);
    int c;
    if (ix.foldedPos.at(0) >= 0) {
        c = collation::compareFoldedKeys(a.text, b.text);
        if (c == 0)
            c = collation::compareExact(ix.layout->text(a.row, ix.columns.at(0)),
                                        ix.layout->text(b.row, ix.columns.at(0)));
    } else {
        c = collation::compareExact(a.text, b.text);
    }
    if (c != 0)
        return ix.descending() ? -c : c;
    return compareKeys(ix, a.row, b.row, 1);
}

bool entryLess(const Index& ix, const IndexEntry& a, const IndexEntry& b)
{
    const int c = compareEntries(ix, a, b);
    return c != 0 ? c < 0 : a.row->seq < b.row->seq;
}

// Order of a row and a (possibly shorter) search key; case-insensitive texts compare folded only.
int compareRowToKey(const Index& ix, const Row* row, const SearchKey& key, int from = 0)
{
    const RecordLayout& layout = *ix.layout;
    for (qsizetype k = from; k < key.values.size(); ++k) {
        const int col = ix.columns.at(k);
        const Variant& kv = key.values.at(k);
        const int fp = ix.foldedPos.at(k);
        const bool ev = layout.isEmpty(row, col), ek = kv.isEmpty();
        int c;
        if (ev || ek)
            c = int(!ev) - int(!ek);
        else if (layout.kind(col) != Variant::Type::String)
            c = compareFieldValues(ix.types.at(k), layout.value(row, col), kv);
        else if (fp < 0)
            c = collation::compareExact(layout.text(row, col), key.texts.at(k));
        else
            c = collation::compareFoldedKeys(row->folded[fp], key.folded.at(k));
        if (c != 0)
            return ix.descending() ? -c : c;
    }
    return 0;
}

int compareEntryToKey(const Index& ix, const IndexEntry& e, const SearchKey& key)
{
    if (e.prefix != key.prefix)
        return comparePrefix(ix, e.prefix, key.prefix);
    if (e.prefix == 0 || ix.types.at(0) != FieldType::String)
        return compareRowToKey(ix, e.row, key);
    if (e.prefix2 != key.prefix2)
        return comparePrefix(ix, e.prefix2, key.prefix2);
    const int c = ix.foldedPos.at(0) >= 0 ? collation::compareFoldedKeys(e.text, key.folded.at(0))
                                          : collation::compareExact(e.text, key.texts.at(0));
    if (c != 0)
        return ix.descending() ? -c : c;
    return compareRowToKey(ix, e.row, key, 1);
}

[[noreturn]] void keyViolation()
{
    throw EDBClient(QStringLiteral("Key violation."));
}

} // namespace

// ---------------------------------------------------------------------------------------------

struct MemDataSet::Storage
{
    explicit Storage(const FieldDefs& fieldDefs)
        : defs(fieldDefs), pool(fieldDefs), lastAutoInc(fieldDefs.count(), 0)
    {
        for (int i = 0; i < defs.count(); ++i) {
            if (defs.at(i).type == FieldType::AutoInc)
                autoIncColumns.push_back(i);
        }
    }
    ~Storage() { releaseRows(); }
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    FieldDefs defs;
    RowPool pool;
    std::vector<Row*> byId; // slot id - idBase; null after a delete
    qint64 idBase = 1;
    std::vector<Row*> order; // storage order
    std::vector<std::unique_ptr<Index>> indexes;
    QList<int> foldedColumns;  // columns whose folded texts rows keep
    QList<qint64> lastAutoInc; // per column: the highest value given or taken
    std::vector<int> autoIncColumns;
    quint64 nextSeq = 0;

    Index* current = nullptr; // null: storage order
    std::optional<SearchKey> rangeStart, rangeEnd;
    qsizetype lo = 0, hi = 0; // visible part of the view
    Row* cur = nullptr;
    qsizetype pos = 0;

    qsizetype bulkFrom = -1; // first row of a running bulk load

    qsizetype viewSize() const { return qsizetype(current ? current->rows.size() : order.size()); }
    Row* rowAt(qsizetype p) const
    {
        return current ? current->rows[size_t(p)].row : order[size_t(p)];
    }

    Row* rowById(qint64 id) const
    {
        const qint64 slot = id - idBase;
        if (slot < 0 || slot >= qint64(byId.size()))
            return nullptr;
        return byId[size_t(slot)];
    }

    // Makes sure that the next record can be added to byId and to the storage order without an
    // allocation, so that adding it cannot fail half-way.
    Q_ALWAYS_INLINE void reserveOneMore()
    {
        if (byId.size() == byId.capacity())
            byId.reserve(qMax(size_t(64), byId.capacity() * 2));
        if (order.size() == order.capacity())
            order.reserve(qMax(size_t(64), order.capacity() * 2));
    }

    // Takes a record from a holder into byId, numbered and in post order (call reserveOneMore
    // first); the caller puts it into the storage order.
    Row* adopt(RowHolder& holder)
    {
        Row* row = holder.release();
        row->id = idBase + qint64(byId.size());
        row->seq = nextSeq++;
        byId.push_back(row);
        return row;
    }

    // Adds a loaded record at the end of the storage order, its empty automatic numbers given.
    Row* addLoaded(RowHolder& holder)
    {
        if (!autoIncColumns.empty())
            assignAutoInc(holder.get());
        reserveOneMore();
        order.push_back(adopt(holder));
        return order.back();
    }

    void removeRow(Row* row)
    {
        byId[size_t(row->id - idBase)] = nullptr;
        pool.give(row);
    }

    void releaseRows()
    {
        for (Row* r : byId) {
            if (r)
                pool.give(r);
        }
        byId.clear();
    }

    void foldRow(Row* row) const
    {
        const RecordLayout& layout = pool.layout();
        auto folded = std::make_unique<QString[]>(size_t(foldedColumns.size()));
        for (int k = 0; k < foldedColumns.size(); ++k) {
            const int col = foldedColumns.at(k);
            if (!layout.isEmpty(row, col))
                folded[k] = collation::foldedKey(layout.text(row, col));
        }
        row->folded = std::move(folded);
    }

    // Position of a row in a view: by the index order, or by a remembered place in the storage
    // order.
    qsizetype positionIn(const Index* ix, Row* row) const
    {
        if (ix) {
            const IndexEntry probe = entryOf(*ix, row);
            const auto it = std::lower_bound(
                ix->rows.begin(), ix->rows.end(), probe,
                [ix](const IndexEntry& a, const IndexEntry& b) { return entryLess(*ix, a, b); });
            Q_ASSERT(it != ix->rows.end() && it->row == row);
            return it - ix->rows.begin();
        }
        const auto it = std::find(order.begin(), order.end(), row);
        Q_ASSERT(it != order.end());
        return it - order.begin();
    }

    SearchKey makeKey(const Index& ix, const VariantList& values) const
    {
        SearchKey key;
        // The commonest search, one integer on an integer index, needs no conversion: its
        // prefix is the whole key.
        if (values.size() == 1 && values.at(0).type() == Variant::Type::Integer &&
            (ix.types.at(0) == FieldType::Integer || ix.types.at(0) == FieldType::AutoInc)) {
            // Texts are compared only on text fields: this key has none.
            key.values.append(values.at(0));
            key.prefix = orderedBits(values.at(0).toInt64());
            // Prefix 0 stands for null and for the least integer alike.
            key.prefixDecides = key.prefix != 0;
            return key;
        }
        for (int k = 0; k < values.size(); ++k) {
            key.values.append(convertFieldValue(ix.types.at(k), 0, values.at(k)));
            const Variant& v = key.values.last();
            key.texts.append(v.type() == Variant::Type::String ? v.toString() : QString());
            key.folded.append(ix.foldedPos.at(k) >= 0 && !v.isEmpty()
                                  ? collation::foldedKey(v.toString())
                                  : QString());
        }
        if (!key.values.isEmpty()) {
            const Variant& v = key.values.at(0);
            const bool folded = ix.foldedPos.at(0) >= 0;
            key.prefix = prefixOf(ix.types.at(0), folded, v, key.folded.at(0));
            if (ix.types.at(0) == FieldType::String && !v.isEmpty())
                key.prefix2 = folded ? collation::foldedPrefix(key.folded.at(0), 1)
                                     : collation::exactPrefix(v.toString(), 1);
            // Prefix 0 stands for null and for the least integer alike.
            const FieldType t = ix.types.at(0);
            key.prefixDecides = values.size() == 1 && key.prefix != 0 &&
                                (t == FieldType::Integer || t == FieldType::AutoInc ||
                                 t == FieldType::Currency || t == FieldType::Boolean);
        }
        return key;
    }

    // The first entry of [from, to) that is not before the key (upper: that is after it).
    // Entries are ordered by their prefixes first, so those with the key's prefix lie together:
    // they are found among the packed entries, and only they are compared in full.
    qsizetype bound(const SearchKey& key, qsizetype from, qsizetype to, bool upper) const
    {
        const Index& ix = *current;
        const quint64 p = key.prefix;

        // Within [from, to) of a sorted whole, the bound is that of the whole, kept in there.
        const qsizetype lo = qBound(from, prefixBound(ix, p), to);
        if (key.prefixDecides && !upper)
            return lo;
        // The entries of one prefix are few: their end is found by doubling steps from lo.
        qsizetype step = 1;
        while (lo + step < to && ix.packed[size_t(lo + step)].prefix == p)
            step *= 2;
        const auto first = ix.packed.begin();
        const qsizetype hi =
            std::partition_point(first + lo + step / 2, first + qMin(lo + step, to),
                                 [p](const PackedEntry& e) { return e.prefix == p; }) -
            first;
        if (key.prefixDecides || lo == hi)
            return upper ? hi : lo;
        const auto& v = ix.rows;
        return std::partition_point(v.begin() + lo, v.begin() + hi,
                                    [&](const IndexEntry& e) {
                                        const int c = compareEntryToKey(ix, e, key);
                                        return upper ? c <= 0 : c < 0;
                                    }) -
               v.begin();
    }
    qsizetype lowerBound(const SearchKey& key, qsizetype from, qsizetype to) const
    {
        return bound(key, from, to, false);
    }
    qsizetype upperBound(const SearchKey& key, qsizetype from, qsizetype to) const
    {
        return bound(key, from, to, true);
    }

    void updateRange()
    {
        const qsizetype n = viewSize();
        lo = 0;
        hi = n;
        if (current && rangeStart)
            lo = lowerBound(*rangeStart, 0, n);
        if (current && rangeEnd)
            hi = qMax(lo, upperBound(*rangeEnd, lo, n));
    }

    // Puts the cursor on `row` when it lies within the range, else on the nearest row in it.
    bool placeCursor(Row* row)
    {
        updateRange();
        if (lo >= hi) {
            cur = nullptr;
            pos = lo;
            return false;
        }
        qsizetype p = row ? positionIn(current, row) : lo;
        p = qBound(lo, p, hi - 1);
        pos = p;
        cur = rowAt(p);
        return true;
    }

    void makeFolded(int column)
    {
        if (foldedColumns.contains(column))
            return;
        foldedColumns.append(column);
        for (Row* r : byId) {
            if (r)
                foldRow(r);
        }
    }

    std::unique_ptr<Index> makeIndex(const QString& name, const QStringList& fieldNames,
                                     IndexDef::Options options)
    {
        auto ix = std::make_unique<Index>();
        ix->layout = &pool.layout();
        ix->name = name;
        ix->fieldNames = fieldNames;
        ix->options = options;
        if (fieldNames.isEmpty())
            throw EDBClient(tr("Index '%1' names no field").arg(name));
        for (const QString& f : fieldNames) {
            const int col = defs.indexOf(f);
            if (col < 0)
                throw EDBClient(tr("Field '%1' not found").arg(f));
            const FieldType type = defs.at(col).type;
            if (isBinaryType(type) || type == FieldType::Memo)
                throw EDBClient(tr("Field '%1' cannot be part of an index").arg(f));
            ix->columns.append(col);
            ix->types.append(type);
            if (options.testFlag(IndexDef::CaseInsensitive) && isTextType(type)) {
                makeFolded(col);
                ix->foldedPos.append(int(foldedColumns.indexOf(col)));
            } else {
                ix->foldedPos.append(-1);
            }
        }
        std::vector<IndexEntry> entries = entriesOf(*ix, order);
        std::sort(entries.begin(), entries.end(),
                  [&ix](const IndexEntry& a, const IndexEntry& b) { return entryLess(*ix, a, b); });
        checkUnique(*ix, entries);
        ix->setRows(std::move(entries));
        return ix;
    }

    static std::vector<IndexEntry> entriesOf(const Index& ix, const std::vector<Row*>& rows)
    {
        std::vector<IndexEntry> out;
        out.reserve(rows.size());
        for (Row* r : rows)
            out.push_back(entryOf(ix, r));
        return out;
    }

    static void checkUnique(const Index& ix, const std::vector<IndexEntry>& rows)
    {
        if (!ix.unique())
            return;
        for (size_t i = 1; i < rows.size(); ++i) {
            if (compareEntries(ix, rows[i - 1], rows[i]) == 0)
                keyViolation();
        }
    }

    // True when another row than `self` has the same full key as `probe` in a unique index.
    static bool duplicateIn(const Index& ix, const Row* probe, const Row* self)
    {
        const auto it =
            std::partition_point(ix.rows.begin(), ix.rows.end(), [&](const IndexEntry& e) {
                return compareKeys(ix, e.row, probe) < 0;
            });
        for (auto i = it; i != ix.rows.end() && compareKeys(ix, i->row, probe) == 0; ++i) {
            if (i->row != self)
                return true;
        }
        return false;
    }

    void removeFromIndex(Index& ix, Row* row) { ix.eraseRow(size_t(positionIn(&ix, row))); }
    static void insertIntoIndex(Index& ix, Row* row)
    {
        const IndexEntry e = entryOf(ix, row);
        const auto it = std::upper_bound(
            ix.rows.begin(), ix.rows.end(), e,
            [&ix](const IndexEntry& a, const IndexEntry& b) { return entryLess(ix, a, b); });
        ix.insertRow(size_t(it - ix.rows.begin()), e);
    }

    Index* findNamed(const QString& name) const
    {
        for (const auto& ix : indexes) {
            if (!ix->name.isEmpty() && ix->name.compare(name, Qt::CaseInsensitive) == 0)
                return ix.get();
        }
        return nullptr;
    }
    Index* findFieldList(const QStringList& fields) const
    {
        for (const auto& ix : indexes) {
            if (!ix->name.isEmpty() || ix->fieldNames.size() != fields.size())
                continue;
            bool same = true;
            for (int i = 0; i < fields.size() && same; ++i)
                same = ix->fieldNames.at(i).compare(fields.at(i), Qt::CaseInsensitive) == 0;
            if (same)
                return ix.get();
        }
        return nullptr;
    }

    // Raises EDBClient, changing nothing, when an empty column has given out its last value.
    void assignAutoInc(Row* row)
    {
        const RecordLayout& layout = pool.layout();
        for (const int i : autoIncColumns) {
            if (layout.isEmpty(row, i) && lastAutoInc[i] == std::numeric_limits<qint64>::max())
                throw EDBClient(
                    tr("Field '%1' has no value left to number a record").arg(defs.at(i).name));
        }
        for (const int i : autoIncColumns) {
            if (layout.isEmpty(row, i))
                layout.setInteger(row, i, ++lastAutoInc[i]);
            else
                lastAutoInc[i] = qMax(lastAutoInc[i], layout.integer(row, i));
        }
    }

    void clearRows()
    {
        idBase += qint64(byId.size());
        releaseRows();
        pool.clear();
        order.clear();
        for (auto& ix : indexes)
            ix->clearRows();
        cur = nullptr;
        updateRange();
    }
};

// ---------------------------------------------------------------------------------------------

MemDataSet::MemDataSet(QObject* parent) : IndexedDataSet(parent)
{
}

MemDataSet::~MemDataSet() = default;

namespace {

void checkDefs(const FieldDefs& defs)
{
    if (defs.isEmpty())
        throw EDBClient(tr("Cannot create a dataset without fields"));
    for (int i = 0; i < defs.count(); ++i) {
        const FieldDef& d = defs.at(i);
        if (d.name.trimmed().isEmpty())
            throw EDBClient(tr("Field %1 has no name").arg(i + 1));
        if (!knownType(quint8(d.type)))
            throw EDBClient(tr("Field '%1' has no data type").arg(d.name));
        if (defs.indexOf(d.name) != i)
            throw EDBClient(tr("Duplicate field name '%1'").arg(d.name));
    }
}

} // namespace

std::unique_ptr<MemDataSet::Storage> MemDataSet::makeStorage(const FieldDefs& defs,
                                                             const IndexDefs& indexDefs) const
{
    checkDefs(defs);
    auto store = std::make_unique<Storage>(defs);
    for (const IndexDef& def : indexDefs.list()) {
        if (def.name.isEmpty())
            throw EDBClient(tr("An index has no name"));
        store->indexes.push_back(store->makeIndex(def.name, def.fieldList(), def.options));
    }
    return store;
}

void MemDataSet::createDataSet()
{
    if (isActive())
        throw EDBClient(messagePrefix() + tr("Cannot perform this operation on an open dataset"));
    m_pending = makeStorage(fieldDefs(), indexDefs());
    try {
        open();
    } catch (...) {
        m_pending.reset();
        throw;
    }
}

void MemDataSet::internalOpen()
{
    if (!m_pending)
        throw EDBClient(messagePrefix() + tr("Missing data provider or data packet"));
    m_store = std::move(m_pending);
    m_store->updateRange();
}

void MemDataSet::internalClose()
{
    m_store.reset();
    m_bulk = false;
}

void MemDataSet::emptyDataSet()
{
    checkActive();
    checkBrowseMode();
    m_store->clearRows();
    resync(true);
}

void MemDataSet::addIndex(const QString& name, const QString& fields, IndexDef::Options options)
{
    const IndexDef def{name, fields, options};
    if (name.isEmpty())
        throw EDBClient(messagePrefix() + tr("An index has no name"));
    if (indexDefs().find(name))
        throw EDBClient(messagePrefix() + tr("Duplicate index name '%1'").arg(name));
    if (isActive()) {
        checkBrowseMode();
        m_store->indexes.push_back(m_store->makeIndex(name, def.fieldList(), options));
    }
    indexDefs().add(def);
}

void MemDataSet::deleteIndex(const QString& name)
{
    if (!indexDefs().find(name))
        throw EDBClient(messagePrefix() + tr("Index '%1' not found").arg(name));
    if (isActive()) {
        if (indexName().compare(name, Qt::CaseInsensitive) == 0)
            setIndexName(QString());
        auto& v = m_store->indexes;
        v.erase(std::remove_if(v.begin(), v.end(),
                               [&](const auto& ix) {
                                   return !ix->name.isEmpty() &&
                                          ix->name.compare(name, Qt::CaseInsensitive) == 0;
                               }),
                v.end());
    }
    indexDefs().remove(name);
}

// ---- cursor

bool MemDataSet::internalFirst()
{
    Storage& s = *m_store;
    if (s.lo >= s.hi)
        return false;
    s.pos = s.lo;
    s.cur = s.rowAt(s.pos);
    return true;
}

bool MemDataSet::internalLast()
{
    Storage& s = *m_store;
    if (s.lo >= s.hi)
        return false;
    s.pos = s.hi - 1;
    s.cur = s.rowAt(s.pos);
    return true;
}

bool MemDataSet::internalNext()
{
    Storage& s = *m_store;
    if (!s.cur || s.pos + 1 >= s.hi)
        return false;
    s.cur = s.rowAt(++s.pos);
    return true;
}

bool MemDataSet::internalPrior()
{
    Storage& s = *m_store;
    if (!s.cur || s.pos <= s.lo)
        return false;
    s.cur = s.rowAt(--s.pos);
    return true;
}

void MemDataSet::internalRead(QList<Variant>& values) const
{
    const Row* row = m_store->cur;
    Q_ASSERT(row);
    m_store->pool.layout().read(row, values.data());
}

Bookmark MemDataSet::internalBookmark() const
{
    return m_store && m_store->cur ? Bookmark(m_store->cur->id) : Bookmark();
}

bool MemDataSet::internalGotoBookmark(const Bookmark& bookmark)
{
    Storage& s = *m_store;
    Row* row = s.rowById(bookmark.id());
    if (!row)
        return false;
    if (row == s.cur)
        return true;
    const qsizetype p = s.positionIn(s.current, row);
    if (p < s.lo || p >= s.hi)
        return false;
    s.pos = p;
    s.cur = row;
    return true;
}

bool MemDataSet::internalBookmarkValid(const Bookmark& bookmark) const
{
    return m_store && m_store->rowById(bookmark.id()) != nullptr;
}

void MemDataSet::internalInitRecord(QList<Variant>&)
{
}

int MemDataSet::internalRecordCount() const
{
    return int(m_store->hi - m_store->lo);
}

int MemDataSet::internalRecNo() const
{
    return m_store->cur ? int(m_store->pos - m_store->lo + 1) : 0;
}

bool MemDataSet::internalSetRecNo(int recNo)
{
    Storage& s = *m_store;
    if (recNo < 1 || recNo > s.hi - s.lo)
        return false;
    s.pos = s.lo + recNo - 1;
    s.cur = s.rowAt(s.pos);
    return true;
}

// ---- writing

bool MemDataSet::internalPost(const QList<Variant>& buffer, PostMode mode)
{
    Storage& s = *m_store;
    const int n = s.defs.count();
    const RecordLayout& layout = s.pool.layout();
    RowHolder probe(s.pool);
    for (int i = 0; i < n; ++i)
        layout.set(probe.get(), i, buffer.at(i));
    const QList<qint64> autoIncBefore = s.lastAutoInc;
    s.assignAutoInc(probe.get());

    s.foldRow(probe.get());
    Row* self = mode == PostMode::Edit ? s.cur : nullptr;
    for (const auto& ix : s.indexes) {
        if (ix->unique() && Storage::duplicateIn(*ix, probe.get(), self)) {
            s.lastAutoInc = autoIncBefore;
            keyViolation();
        }
    }

    Row* row;
    if (mode == PostMode::Edit) {
        row = s.cur;
        Q_ASSERT(row);
        for (const auto& ix : s.indexes)
            s.removeFromIndex(*ix, row);
        for (int i = 0; i < n; ++i)
            layout.move(probe.get(), row, i);
        row->folded = std::move(probe->folded);
        row->seq = s.nextSeq++;
    } else {
        Row* before = mode == PostMode::Insert ? s.cur : nullptr;
        s.reserveOneMore();
        row = s.adopt(probe);
        if (before)
            s.order.insert(s.order.begin() + s.positionIn(nullptr, before), row);
        else
            s.order.push_back(row);
    }
    for (const auto& ix : s.indexes)
        Storage::insertIntoIndex(*ix, row);
    return s.placeCursor(row);
}

bool MemDataSet::internalDelete()
{
    Storage& s = *m_store;
    Row* row = s.cur;
    Q_ASSERT(row);
    const qsizetype at = s.pos;
    for (const auto& ix : s.indexes)
        s.removeFromIndex(*ix, row);
    s.order.erase(s.order.begin() + s.positionIn(nullptr, row));
    s.cur = nullptr;
    s.removeRow(row);
    s.updateRange();
    if (s.lo >= s.hi)
        return false;
    s.pos = qBound(s.lo, at, s.hi - 1);
    s.cur = s.rowAt(s.pos);
    return true;
}

// ---- indexes and ranges

void MemDataSet::internalSetIndex(const QString& name, const QStringList& fieldNames)
{
    Storage& s = *m_store;
    Index* ix = nullptr;
    if (!name.isEmpty()) {
        ix = s.findNamed(name);
        if (!ix) {
            const IndexDef* def = indexDefs().find(name);
            if (!def)
                throw EDBClient(messagePrefix() + tr("Index '%1' not found").arg(name));
            s.indexes.push_back(s.makeIndex(def->name, def->fieldList(), def->options));
            ix = s.indexes.back().get();
        }
    } else if (!fieldNames.isEmpty()) {
        ix = s.findFieldList(fieldNames);
        if (!ix) {
            s.indexes.push_back(s.makeIndex(QString(), fieldNames, {}));
            ix = s.indexes.back().get();
        }
    }
    Row* keep = s.cur;
    s.current = ix;
    s.rangeStart.reset();
    s.rangeEnd.reset();
    s.placeCursor(keep);
    setCurrentIndex(ix ? ix->fieldNames : QStringList(), ix ? ix->options : IndexDef::Options());
}

bool MemDataSet::internalSeek(const VariantList& key, SeekMode mode)
{
    Storage& s = *m_store;
    Q_ASSERT(s.current);
    if (s.lo >= s.hi)
        return false;
    const SearchKey k = s.makeKey(*s.current, key);
    qsizetype p = s.lowerBound(k, s.lo, s.hi);
    if (mode == SeekMode::Exact) {
        if (p >= s.hi)
            return false;
        if (k.prefixDecides ? s.current->packed[size_t(p)].prefix != k.prefix
                            : compareEntryToKey(*s.current, s.current->rows[size_t(p)], k) != 0)
            return false;
    } else if (p >= s.hi) {
        p = s.hi - 1;
    }
    s.pos = p;
    s.cur = s.current->packed[size_t(p)].row;
    // The record is read next: its memory is asked for now.
    s.pool.layout().prefetch(s.cur);
    return true;
}

void MemDataSet::internalSetRange(const std::optional<VariantList>& start,
                                  const std::optional<VariantList>& end)
{
    Storage& s = *m_store;
    Q_ASSERT(s.current || (!start && !end));
    s.rangeStart.reset();
    s.rangeEnd.reset();
    if (start && !start->isEmpty())
        s.rangeStart = s.makeKey(*s.current, *start);
    if (end && !end->isEmpty())
        s.rangeEnd = s.makeKey(*s.current, *end);
    Row* keep = s.cur;
    s.updateRange();
    if (keep) {
        const qsizetype p = s.positionIn(s.current, keep);
        if (p >= s.lo && p < s.hi) {
            s.pos = p;
            return;
        }
    }
    s.placeCursor(nullptr);
}

// ---- bulk loading

void MemDataSet::beginBulkAppend()
{
    checkActive();
    checkBrowseMode();
    if (m_bulk)
        throw EDBClient(messagePrefix() + tr("A bulk load is already running"));
    m_bulk = true;
    m_limitReached = false;
    m_store->bulkFrom = qsizetype(m_store->order.size());
    clearUpperVectorState();
}

bool MemDataSet::bulkAppend(const QList<Variant>& values)
{
    return appendLoaded(values);
}

bool MemDataSet::bulkAppend(QList<Variant>&& values)
{
    return appendLoaded(values);
}

namespace {

// Keeps a loaded value in its field: as it is when it is already in the field's form, else
// converted (to Null when empty).
template <typename V>
Q_ALWAYS_INLINE void keepValue(const RecordLayout& layout, const FieldDefs& defs, Row* row, int i,
                               V&& v)
{
    if (layout.keepLoaded(row, i, std::forward<V>(v)))
        return;
    if (v.isEmpty()) {
        layout.clear(row, i, RecordLayout::Null);
    } else {
        const FieldDef& def = defs.at(i);
        layout.set(row, i, convertFieldValue(def.type, def.size, v));
    }
}

// The record of a bulk load filled value by value: each value of the field's own kind goes in as
// it is, any other the way its Variant would.
class LoadSink final : public RecordSink
{
public:
    LoadSink(const RecordLayout& layout, const FieldDefs& defs, Row* row)
        : m_layout(layout), m_defs(defs), m_row(row)
    {
    }

    void setValue(int field, Variant&& value) override
    {
        check(field);
        keepValue(m_layout, m_defs, m_row, field, std::move(value));
    }
    void setNull(int field) override
    {
        check(field);
        m_layout.clear(m_row, field, RecordLayout::Null);
    }
    void setInteger(int field, qint64 value) override
    {
        check(field);
        if (!m_layout.keepInteger(m_row, field, value))
            setValue(field, Variant(value));
    }
    void setBoolean(int field, bool value) override
    {
        check(field);
        if (!m_layout.keepBoolean(m_row, field, value))
            setValue(field, Variant(value));
    }
    void setCurrency(int field, Currency value) override
    {
        check(field);
        if (!m_layout.keepCurrency(m_row, field, value))
            setValue(field, Variant(value));
    }
    void setDouble(int field, double value) override
    {
        check(field);
        if (!m_layout.keepDouble(m_row, field, value))
            setValue(field, Variant(value));
    }
    void setDateTime(int field, TDateTime value) override
    {
        check(field);
        if (!m_layout.keepDateTime(m_row, field, value))
            setValue(field, Variant::fromDateTime(value));
    }
    void setText(int field, QString&& value) override
    {
        check(field);
        if (!m_layout.keepText(m_row, field, std::move(value)))
            setValue(field, Variant(std::move(value)));
    }
    void setBytes(int field, QByteArray&& value) override
    {
        check(field);
        if (!m_layout.keepBytes(m_row, field, std::move(value)))
            setValue(field, Variant(std::move(value)));
    }

private:
    void check(int field) const { Q_ASSERT(field >= 0 && field < m_layout.count()); }

    const RecordLayout& m_layout;
    const FieldDefs& m_defs;
    Row* m_row;
};

} // namespace

Q_ALWAYS_INLINE bool MemDataSet::atPacketLimit()
{
    if (!m_bulk)
        throw EDBClient(messagePrefix() + tr("No bulk load is running"));
    const Storage& s = *m_store;
    if (m_packetRecords >= 0 && qsizetype(s.order.size()) - s.bulkFrom >= m_packetRecords) {
        m_limitReached = true;
        return true;
    }
    return false;
}

template <typename Values> bool MemDataSet::appendLoaded(Values& values)
{
    constexpr bool moving = !std::is_const_v<Values>;
    if (!m_bulk)
        throw EDBClient(messagePrefix() + tr("No bulk load is running"));
    Storage& s = *m_store;
    const int n = s.defs.count();
    if (values.size() != n)
        throw EDBClient(
            messagePrefix() +
            tr("A loaded record has %1 values for %2 fields").arg(values.size()).arg(n));
    if (atPacketLimit())
        return false;
    auto* source = [&values] {
        if constexpr (moving)
            return values.data();
        else
            return values.constData();
    }();
    // This runs once per loaded row: values already in their field's form are taken as they are,
    // the others converted.
    const RecordLayout& layout = s.pool.layout();
    RowHolder row(s.pool);
    for (int i = 0; i < n; ++i) {
        if constexpr (moving)
            keepValue(layout, s.defs, row.get(), i, std::move(source[i]));
        else
            keepValue(layout, s.defs, row.get(), i, source[i]);
    }
    s.addLoaded(row);
    return true;
}

bool MemDataSet::bulkAppend(const std::function<void(RecordSink&)>& fill)
{
    if (atPacketLimit())
        return false;
    Storage& s = *m_store;
    const RecordLayout& layout = s.pool.layout();
    RowHolder row(s.pool, RecordLayout::Null); // a field given no value is null
    LoadSink sink(layout, s.defs, row.get());
    fill(sink);
    s.addLoaded(row);
    return true;
}

void MemDataSet::endBulkAppend()
{
    if (!m_bulk)
        return;
    m_bulk = false;
    Storage& s = *m_store;
    const qsizetype from = s.bulkFrom;
    s.bulkFrom = -1;
    std::vector<Row*> added(s.order.begin() + from, s.order.end());
    if (!s.foldedColumns.isEmpty()) {
        for (Row* r : added)
            s.foldRow(r);
    }
    // Merge the sorted new rows into every index; install the results only when all pass.
    std::vector<std::vector<IndexEntry>> merged;
    try {
        for (const auto& ix : s.indexes) {
            std::vector<IndexEntry> fresh = Storage::entriesOf(*ix, added);
            const auto less = [&ix](const IndexEntry& a, const IndexEntry& b) {
                return entryLess(*ix, a, b);
            };
            std::sort(fresh.begin(), fresh.end(), less);
            std::vector<IndexEntry> all;
            all.reserve(ix->rows.size() + fresh.size());
            std::merge(ix->rows.begin(), ix->rows.end(), fresh.begin(), fresh.end(),
                       std::back_inserter(all), less);
            Storage::checkUnique(*ix, all);
            merged.push_back(std::move(all));
        }
    } catch (...) {
        for (Row* r : added)
            s.removeRow(r);
        s.order.resize(size_t(from));
        resync(true);
        throw;
    }
    for (size_t i = 0; i < merged.size(); ++i)
        s.indexes[i]->setRows(std::move(merged[i]));
    s.updateRange();
    resync(true);
}

// ---- files

void MemDataSet::saveToFile(const QString& fileName) const
{
    checkActive();
    const Storage& s = *m_store;
    const QByteArray data = memdata::writeFile(s.defs, indexDefs(), s.pool.layout(), s.order);
    QString error;
    if (!fileops::writeFile(fileName, data, &error))
        throw EInOutError(tr("Cannot write the dataset file %1: %2").arg(fileName, error));
}

// A file read whole: its definitions and the storage made from them.
struct MemDataSet::LoadedFile
{
    FieldDefs fields;
    IndexDefs indexes;
    std::unique_ptr<Storage> store;
};

void MemDataSet::loadFromFile(const QString& fileName)
{
    LoadedFile loaded = readFile(fileName);
    checkFitsFields(loaded, fileName);
    swapIn(std::move(loaded));
}

MemDataSet::LoadedFile MemDataSet::readFile(const QString& fileName) const
{
    QByteArray data;
    try {
        data = files::readWholeFile(fileName);
    } catch (const EInOutError& e) {
        throw EDBClient(tr("Cannot open the dataset file %1: %2")
                            .arg(fileName, fileops::errorText(e.errorCode())));
    }
    const auto failed = [&fileName](const QString& reason) {
        return EDBClient(tr("Cannot load the dataset file %1: %2").arg(fileName, reason));
    };
    try {
        return storageOf(data);
    } catch (const memdata::FileFormatError& e) {
        throw failed(e.reason);
    } catch (const EDBClient& e) {
        throw failed(e.message());
    } catch (const EDBEditError& e) {
        throw failed(e.message());
    }
}

MemDataSet::LoadedFile MemDataSet::storageOf(const QByteArray& data)
{
    memdata::FileReader file(data);
    LoadedFile loaded;
    loaded.fields = file.readFields();
    checkDefs(loaded.fields);
    loaded.indexes = file.readIndexes();
    const quint32 recordCount = file.readRecordCount();
    Storage& store = *(loaded.store = std::make_unique<Storage>(loaded.fields));
    std::vector<std::pair<quint64, Row*>> bySeq;
    bySeq.reserve(recordCount);
    for (quint32 k = 0; k < recordCount; ++k) {
        RowHolder holder(store.pool);
        const quint64 seq = file.readRecord(store.pool.layout(), holder.get());
        bySeq.emplace_back(seq, store.addLoaded(holder));
    }
    file.checkEnd();
    // Post order as saved, renumbered densely (a file saved from rows in post order needs no
    // sorting).
    const auto earlier = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(bySeq.begin(), bySeq.end(), earlier))
        std::stable_sort(bySeq.begin(), bySeq.end(), earlier);
    for (size_t i = 0; i < bySeq.size(); ++i)
        bySeq[i].second->seq = i;
    store.nextSeq = bySeq.size();
    for (const IndexDef& d : loaded.indexes.list())
        store.indexes.push_back(store.makeIndex(d.name, d.fieldList(), d.options));
    return loaded;
}

// Persistent fields must find their columns and the chosen order its fields, before anything is
// replaced.
void MemDataSet::checkFitsFields(const LoadedFile& loaded, const QString& fileName) const
{
    const FieldDefs& defs = loaded.fields;
    if (!indexName().isEmpty() && !loaded.indexes.find(indexName()))
        throw EDBClient(
            tr("Cannot load the dataset file %1: it has no index '%2'").arg(fileName, indexName()));
    for (const QString& f : indexFieldNames().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (defs.indexOf(f.trimmed()) < 0)
            throw EDBClient(tr("Cannot load the dataset file %1: it has no field '%2'")
                                .arg(fileName, f.trimmed()));
    }
    for (int i = 0; i < fieldCount(); ++i) {
        const Field* f = field(i);
        if (f->fieldKind() != Field::Kind::Data || hasDefaultFields())
            continue;
        const FieldDef* d = defs.find(f->fieldName());
        if (!d || d->type != f->dataType())
            throw EDBClient(tr("Cannot load the dataset file %1: it has no %2 field '%3'")
                                .arg(fileName, fieldTypeName(f->dataType()), f->fieldName()));
    }
}

void MemDataSet::swapIn(LoadedFile loaded)
{
    close();
    fieldDefs() = loaded.fields;
    indexDefs() = loaded.indexes;
    m_pending = std::move(loaded.store);
    try {
        open();
    } catch (...) {
        m_pending.reset();
        throw;
    }
}
