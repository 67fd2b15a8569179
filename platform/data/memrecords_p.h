// How the in-memory dataset keeps its records: one block of memory per record with a header and
// the values laid out by field type, and the pool that makes records in blocks. Shared by the
// dataset and its file format.
#pragma once

#include <platform/data/field.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace memdata {

// A record: its identity and post order, the folded texts of the storage's case-insensitive key
// columns, and after it, in the same block of memory, its values as the storage's layout places
// them.
struct Row
{
    qint64 id = 0;
    quint64 seq = 0;                   // post order: among equal keys a later post comes after
    std::unique_ptr<QString[]> folded; // one per folded column of the storage

    std::byte* data() { return reinterpret_cast<std::byte*>(this + 1); }
    const std::byte* data() const { return reinterpret_cast<const std::byte*>(this + 1); }
};
static_assert(sizeof(Row) % alignof(QString) == 0, "the values must follow the header aligned");

// How a record keeps its values: first one state byte per field (unassigned, null or set), then
// each value in its field's type (as convertFieldValue gives it): numbers, booleans, currency and
// date-times in eight bytes, texts and bytes as a QString or QByteArray in place. That is well
// under half of what Variants would take, which counts when a load makes a hundred thousand.
class RecordLayout
{
public:
    enum State : quint8 { Unassigned, Null, Set };

    explicit RecordLayout(const FieldDefs& defs)
    {
        m_stateBytes = (size_t(defs.count()) + 7) & ~size_t(7);
        size_t offset = m_stateBytes;
        for (int i = 0; i < defs.count(); ++i) {
            const FieldType type = defs.at(i).type;
            const Variant::Type kind = kindOf(type);
            const int size = type == FieldType::String ? qMax(defs.at(i).size, 0) : 0;
            const Check check = size > 0                  ? Check::TextLength
                                : type == FieldType::Date ? Check::WholeDay
                                : type == FieldType::Time ? Check::TimeOfDay
                                                          : Check::None;
            m_cells.push_back({type, kind, check, size, quint32(offset)});
            if (kind == Variant::Type::String)
                m_texts.push_back(offset);
            else if (kind == Variant::Type::Bytes)
                m_bytes.push_back(offset);
            offset += kind == Variant::Type::String  ? sizeof(QString)
                      : kind == Variant::Type::Bytes ? sizeof(QByteArray)
                                                     : sizeof(qint64);
        }
        m_size = offset;
        m_count = int(m_cells.size());
    }

    int count() const { return m_count; }
    size_t size() const { return m_size; }
    // The Variant type of a set value of field i.
    Variant::Type kind(int i) const { return m_cells[size_t(i)].kind; }

    // Every value Unassigned, or Null.
    void construct(Row* row, State empty = Unassigned) const
    {
        std::byte* d = row->data();
        const quint64 states = quint64(empty) * 0x0101010101010101ULL;
        for (size_t at = 0; at < m_stateBytes; at += sizeof(quint64))
            store(d + at, states);
        for (const size_t at : m_texts)
            new (d + at) QString;
        for (const size_t at : m_bytes)
            new (d + at) QByteArray;
    }
    void destroy(Row* row) const noexcept
    {
        std::byte* d = row->data();
        for (const size_t at : m_texts)
            std::launder(reinterpret_cast<QString*>(d + at))->~QString();
        for (const size_t at : m_bytes)
            std::launder(reinterpret_cast<QByteArray*>(d + at))->~QByteArray();
    }

    State state(const Row* row, int i) const { return State(row->data()[i]); }
    bool isEmpty(const Row* row, int i) const { return state(row, i) != Set; }
    // The value of a set field, read in place by its kind.
    const QString& text(const Row* row, int i) const { return textCell(const_cast<Row*>(row), i); }
    const QByteArray& bytes(const Row* row, int i) const
    {
        return bytesCell(const_cast<Row*>(row), i);
    }
    qint64 integer(const Row* row, int i) const { return load<qint64>(row, i); }
    double number(const Row* row, int i) const { return load<double>(row, i); }

    Variant value(const Row* row, int i) const
    {
        switch (state(row, i)) {
        case Unassigned:
            return Variant();
        case Null:
            return Variant::null();
        case Set:
            break;
        }
        switch (kind(i)) {
        case Variant::Type::Integer:
            return Variant(integer(row, i));
        case Variant::Type::Boolean:
            return Variant(integer(row, i) != 0);
        case Variant::Type::Currency:
            return Variant(Currency{integer(row, i)});
        case Variant::Type::Double:
            return Variant(number(row, i));
        case Variant::Type::DateTime:
            return Variant::fromDateTime(number(row, i));
        case Variant::Type::String:
            return Variant(text(row, i));
        case Variant::Type::Bytes:
            return Variant(bytes(row, i));
        default:
            return Variant();
        }
    }

    // The values of every field into values[0..count()), which hold values already (each is
    // replaced in place). The texts' shared data is asked for first, so that its memory comes
    // while the other values are copied.
    void read(const Row* row, Variant* values) const
    {
        const std::byte* d = row->data();
        for (const size_t at : m_texts)
            __builtin_prefetch(std::launder(reinterpret_cast<const QString*>(d + at))->constData());
        const Cell* cell = m_cells.data();
        const int n = count();
        for (int i = 0; i < n; ++i, ++cell) {
            Variant& out = values[i];
            const std::byte* at = d + cell->offset;
            switch (State(d[i])) {
            case Unassigned:
                replace(out);
                continue;
            case Null:
                replace(out, Variant::null());
                continue;
            case Set:
                break;
            }
            switch (cell->kind) {
            case Variant::Type::Integer:
                replace(out, loadAt<qint64>(at));
                break;
            case Variant::Type::Boolean:
                replace(out, loadAt<qint64>(at) != 0);
                break;
            case Variant::Type::Currency:
                replace(out, Currency{loadAt<qint64>(at)});
                break;
            case Variant::Type::Double:
                replace(out, loadAt<double>(at));
                break;
            case Variant::Type::DateTime:
                replace(out, Variant::fromDateTime(loadAt<double>(at)));
                break;
            case Variant::Type::String:
                replace(out, *std::launder(reinterpret_cast<const QString*>(at)));
                break;
            case Variant::Type::Bytes:
                replace(out, *std::launder(reinterpret_cast<const QByteArray*>(at)));
                break;
            default:
                replace(out);
                break;
            }
        }
    }
    // Asks for the memory of a record about to be read, each cache line it touches.
    void prefetch(const Row* row) const
    {
        constexpr quintptr Line = 64;
        const quintptr from = reinterpret_cast<quintptr>(row);
        for (quintptr at = from & ~(Line - 1); at < from + sizeof(Row) + m_size; at += Line)
            __builtin_prefetch(reinterpret_cast<const void*>(at));
    }

    // Keeps a value: an empty one as it is (Unassigned or Null), any other in the field's type,
    // converted first when it is not (texts are not cut here: a record keeps what was posted).
    // Given an rvalue, a text or bytes value is moved in.
    template <typename V> void set(Row* row, int i, V&& v) const
    {
        const Variant::Type t = v.type();
        if (t == Variant::Type::Unassigned || t == Variant::Type::Null) {
            clear(row, i, t == Variant::Type::Null ? Null : Unassigned);
            return;
        }
        if (t != kind(i)) {
            set(row, i, convertFieldValue(m_cells[size_t(i)].type, 0, v));
            return;
        }
        switch (t) {
        case Variant::Type::Integer:
            store(row, i, v.toInt64());
            break;
        case Variant::Type::Boolean:
            store(row, i, qint64(v.toBool() ? 1 : 0));
            break;
        case Variant::Type::Currency:
            store(row, i, v.toCurrency().scaled);
            break;
        case Variant::Type::Double:
        case Variant::Type::DateTime:
            store(row, i, v.toDateTime());
            break;
        case Variant::Type::String:
            textCell(row, i) = std::forward<V>(v).toString();
            break;
        case Variant::Type::Bytes:
            bytesCell(row, i) = std::forward<V>(v).toBytes();
            break;
        default:
            break;
        }
        row->data()[i] = std::byte(Set);
    }
    // Keeps a loaded value that is already in its field's form (as convertFieldValue would give
    // it: a text within the size, a whole day for a date, a time of day for a time) and returns
    // true; returns false, keeping nothing, for any other value. This runs once per value loaded.
    template <typename V> Q_ALWAYS_INLINE bool keepLoaded(Row* row, int i, V&& v) const
    {
        switch (v.type()) {
        case Variant::Type::Integer:
            return keepInteger(row, i, v.toInt64());
        case Variant::Type::Boolean:
            return keepBoolean(row, i, v.toBool());
        case Variant::Type::Currency:
            return keepCurrency(row, i, v.toCurrency());
        case Variant::Type::Double:
            return keepDouble(row, i, v.toDouble());
        case Variant::Type::DateTime:
            return keepDateTime(row, i, v.toDateTime());
        case Variant::Type::String:
            // Looked at before it is taken: a text that does not fit stays for the conversion.
            if (!takesText(i, v.stringView().size()))
                return false;
            textCell(row, i) = std::forward<V>(v).toString();
            break;
        case Variant::Type::Bytes:
            if (kind(i) != Variant::Type::Bytes)
                return false;
            bytesCell(row, i) = std::forward<V>(v).toBytes();
            break;
        default:
            return false;
        }
        row->data()[i] = std::byte(Set);
        return true;
    }
    // The same for a value of one kind, given as it is instead of as a Variant.
    Q_ALWAYS_INLINE bool keepInteger(Row* row, int i, qint64 v) const
    {
        return keepWord(row, i, Variant::Type::Integer, v);
    }
    Q_ALWAYS_INLINE bool keepBoolean(Row* row, int i, bool v) const
    {
        return keepWord(row, i, Variant::Type::Boolean, qint64(v ? 1 : 0));
    }
    Q_ALWAYS_INLINE bool keepCurrency(Row* row, int i, Currency v) const
    {
        return keepWord(row, i, Variant::Type::Currency, v.scaled);
    }
    Q_ALWAYS_INLINE bool keepDouble(Row* row, int i, double v) const
    {
        return keepWord(row, i, Variant::Type::Double, v);
    }
    Q_ALWAYS_INLINE bool keepDateTime(Row* row, int i, TDateTime v) const
    {
        const Cell& cell = m_cells[size_t(i)];
        if (cell.check == Check::WholeDay && v != std::trunc(v))
            return false;
        if (cell.check == Check::TimeOfDay && (std::signbit(v) || !(v < 1)))
            return false;
        return keepWord(row, i, Variant::Type::DateTime, v);
    }
    // Takes the text when it fits (leaves it as it is otherwise).
    Q_ALWAYS_INLINE bool keepText(Row* row, int i, QString&& v) const
    {
        if (!takesText(i, v.size()))
            return false;
        setText(row, i, std::move(v));
        return true;
    }
    Q_ALWAYS_INLINE bool keepBytes(Row* row, int i, QByteArray&& v) const
    {
        if (kind(i) != Variant::Type::Bytes)
            return false;
        setBytes(row, i, std::move(v));
        return true;
    }
    // Keep a value of the field's own kind as it is (integers, Booleans as 0 or 1 and currency
    // scaled as integers; floats and date-times as numbers).
    void setInteger(Row* row, int i, qint64 v) const
    {
        store(row, i, v);
        row->data()[i] = std::byte(Set);
    }
    void setNumber(Row* row, int i, double v) const
    {
        store(row, i, v);
        row->data()[i] = std::byte(Set);
    }
    void setText(Row* row, int i, QString&& v) const
    {
        textCell(row, i) = std::move(v);
        row->data()[i] = std::byte(Set);
    }
    void setBytes(Row* row, int i, QByteArray&& v) const
    {
        bytesCell(row, i) = std::move(v);
        row->data()[i] = std::byte(Set);
    }
    void clear(Row* row, int i, State state) const
    {
        if (kind(i) == Variant::Type::String)
            textCell(row, i) = QString();
        else if (kind(i) == Variant::Type::Bytes)
            bytesCell(row, i) = QByteArray();
        row->data()[i] = std::byte(state);
    }
    // Moves field i of one record into another of the same layout.
    void move(Row* from, Row* to, int i) const
    {
        if (kind(i) == Variant::Type::String)
            textCell(to, i) = std::move(textCell(from, i));
        else if (kind(i) == Variant::Type::Bytes)
            bytesCell(to, i) = std::move(bytesCell(from, i));
        else
            std::memcpy(to->data() + offset(i), from->data() + offset(i), sizeof(qint64));
        to->data()[i] = from->data()[i];
    }

private:
    static Variant::Type kindOf(FieldType type)
    {
        switch (type) {
        case FieldType::String:
        case FieldType::Memo:
            return Variant::Type::String;
        case FieldType::Integer:
        case FieldType::AutoInc:
            return Variant::Type::Integer;
        case FieldType::Boolean:
            return Variant::Type::Boolean;
        case FieldType::Float:
            return Variant::Type::Double;
        case FieldType::Currency:
            return Variant::Type::Currency;
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::DateTime:
            return Variant::Type::DateTime;
        case FieldType::Blob:
        case FieldType::Graphic:
        case FieldType::Unknown:
            break;
        }
        return Variant::Type::Bytes;
    }

    size_t offset(int i) const { return m_cells[size_t(i)].offset; }
    // A value of the kind of field i kept in its eight bytes, when the field is of that kind.
    template <typename T>
    Q_ALWAYS_INLINE bool keepWord(Row* row, int i, Variant::Type valueKind, T v) const
    {
        const Cell& cell = m_cells[size_t(i)];
        if (cell.kind != valueKind)
            return false;
        store(row->data() + cell.offset, v);
        row->data()[i] = std::byte(Set);
        return true;
    }
    // Whether field i keeps a text of that many characters as it is.
    bool takesText(int i, qsizetype size) const
    {
        const Cell& cell = m_cells[size_t(i)];
        return cell.kind == Variant::Type::String &&
               (cell.check != Check::TextLength || size <= cell.size);
    }
    QString& textCell(Row* row, int i) const
    {
        return *std::launder(reinterpret_cast<QString*>(row->data() + offset(i)));
    }
    QByteArray& bytesCell(Row* row, int i) const
    {
        return *std::launder(reinterpret_cast<QByteArray*>(row->data() + offset(i)));
    }
    // Makes a value in the place of another, without a temporary to move from.
    template <typename... A> static void replace(Variant& out, A&&... args) noexcept
    {
        out.~Variant();
        new (&out) Variant(std::forward<A>(args)...);
    }
    template <typename T> T load(const Row* row, int i) const
    {
        return loadAt<T>(row->data() + offset(i));
    }
    template <typename T> static T loadAt(const std::byte* at)
    {
        T v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    template <typename T> void store(Row* row, int i, T v) const
    {
        store(row->data() + offset(i), v);
    }
    template <typename T> static void store(std::byte* at, T v) { std::memcpy(at, &v, sizeof v); }

    enum class Check : quint8 { None, TextLength, WholeDay, TimeOfDay };
    struct Cell
    {
        FieldType type;
        Variant::Type kind;
        Check check; // what a loaded value of this kind must be to be kept as it is
        int size;    // of a text
        quint32 offset;
    };
    std::vector<Cell> m_cells;
    std::vector<size_t> m_texts, m_bytes; // where the texts and the bytes are
    size_t m_stateBytes = 0;
    size_t m_size = 0;
    int m_count = 0;
};

// The records of one storage, made in blocks: loading many records costs a few allocations, and
// the room of a removed record serves the next one. Records are taken and given back by their
// owner; the blocks go with the pool.
class RowPool
{
public:
    explicit RowPool(const FieldDefs& defs)
        : m_layout(defs), m_stride(sizeof(Row) + m_layout.size())
    {
    }
    RowPool(const RowPool&) = delete;
    RowPool& operator=(const RowPool&) = delete;

    const RecordLayout& layout() const { return m_layout; }

    // A record with Unassigned (or Null) values.
    Row* take(RecordLayout::State empty = RecordLayout::Unassigned)
    {
        void* room;
        if (m_free) {
            room = m_free;
            m_free = m_free->next;
        } else {
            if (m_used == m_capacity)
                grow();
            room = m_blocks.back().get() + m_used++ * m_stride;
        }
        Row* row = new (room) Row;
        m_layout.construct(row, empty);
        return row;
    }

    void give(Row* row) noexcept
    {
        m_layout.destroy(row);
        row->~Row();
        m_free = new (static_cast<void*>(row)) FreeRoom{m_free};
    }

    // Frees the blocks; every record must have been given back.
    void clear()
    {
        m_blocks.clear();
        m_capacity = m_used = 0;
        m_free = nullptr;
    }

private:
    struct FreeRoom
    {
        FreeRoom* next;
    };
    static constexpr size_t MaxBlockBytes = 1 << 20;

    void grow()
    {
        const size_t most = qMax(size_t(16), MaxBlockBytes / m_stride);
        const size_t rows = qMin(qMax(size_t(16), m_capacity * 2), most);
        m_blocks.push_back(std::make_unique_for_overwrite<std::byte[]>(rows * m_stride));
        m_capacity = rows;
        m_used = 0;
    }

    RecordLayout m_layout;
    size_t m_stride;
    std::vector<std::unique_ptr<std::byte[]>> m_blocks;
    size_t m_capacity = 0; // records in the last block
    size_t m_used = 0;     // of them handed out at least once
    FreeRoom* m_free = nullptr;
};

// A record taken from a pool and given back unless released.
class RowHolder
{
public:
    explicit RowHolder(RowPool& pool, RecordLayout::State empty = RecordLayout::Unassigned)
        : m_pool(pool), m_row(pool.take(empty))
    {
    }
    ~RowHolder()
    {
        if (m_row)
            m_pool.give(m_row);
    }
    RowHolder(const RowHolder&) = delete;
    RowHolder& operator=(const RowHolder&) = delete;
    Row* get() const { return m_row; }
    Row* operator->() const { return m_row; }
    Row* release() { return std::exchange(m_row, nullptr); }

private:
    RowPool& m_pool;
    Row* m_row;
};

// A field type number that the dataset knows (files carry them as numbers).
inline bool knownType(quint8 code)
{
    switch (FieldType(code)) {
    case FieldType::String:
    case FieldType::Integer:
    case FieldType::Boolean:
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
    case FieldType::AutoInc:
    case FieldType::Blob:
    case FieldType::Memo:
    case FieldType::Graphic:
        return true;
    case FieldType::Unknown:
        break;
    }
    return false;
}

} // namespace memdata
