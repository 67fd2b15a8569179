// The writer and the reader of the application server's request files: component resources,
// the component stream inside them and the BigData block (formats in compstream.h).
#include "compstream.h"

#include <kernel/krnproc.h>
#include <platform/codepage.h>

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

enum Tag : quint8 {
    vaNull = 0x00,
    vaList = 0x01,
    vaInt32 = 0x04,
    vaDouble = 0x05,
    vaString = 0x06,
    vaIdent = 0x07,
    vaFalse = 0x08,
    vaTrue = 0x09,
    vaBinary = 0x0A,
    vaLString = 0x0C,
    vaNil = 0x0D,
    vaCollection = 0x0E,
    vaInt64 = 0x10,
};

constexpr quint8 ResourceMarker = 0xFF;
constexpr quint16 ResourceType = 10;
constexpr quint16 MemoryFlags = 0x1030;
constexpr int MaxResourceName = 63;
constexpr char Signature[] = "TPF0";

// How a field type's value travels: its Ident, and in BigData its fixed size (0: as long as the
// value, -1: no value at all).
enum class ValueKind { None, Text, Integer, Boolean, Double, Bytes };

struct TypeEntry
{
    FieldType type;
    const char* ident;
    ValueKind kind;
    int fixedSize;
};

constexpr std::array<TypeEntry, 13> Types = {{
    {FieldType::Unknown, "ftUnknown", ValueKind::None, -1},
    {FieldType::String, "ftString", ValueKind::Text, 0},
    {FieldType::Integer, "ftInteger", ValueKind::Integer, 4},
    {FieldType::Boolean, "ftBoolean", ValueKind::Boolean, 2},
    {FieldType::Float, "ftFloat", ValueKind::Double, 8},
    {FieldType::Currency, "ftCurrency", ValueKind::Double, 8},
    {FieldType::Date, "ftDate", ValueKind::Double, 8},
    {FieldType::Time, "ftTime", ValueKind::Double, 8},
    {FieldType::DateTime, "ftDateTime", ValueKind::Double, 8},
    {FieldType::AutoInc, "ftAutoInc", ValueKind::Integer, 4},
    {FieldType::Blob, "ftBlob", ValueKind::Bytes, 0},
    {FieldType::Memo, "ftMemo", ValueKind::Text, 0},
    {FieldType::Graphic, "ftGraphic", ValueKind::Bytes, 0},
}};

const TypeEntry& entryOf(FieldType type)
{
    for (const TypeEntry& e : Types) {
        if (e.type == type)
            return e;
    }
    return Types[0];
}

const TypeEntry* entryOfOrdinal(int ordinal)
{
    for (const TypeEntry& e : Types) {
        if (int(e.type) == ordinal)
            return &e;
    }
    return nullptr;
}

const TypeEntry* entryOfIdent(QByteArrayView ident)
{
    for (const TypeEntry& e : Types) {
        if (ident == QByteArrayView(e.ident))
            return &e;
    }
    return nullptr;
}

constexpr std::array<const char*, 5> ParamTypeIdents = {"ptUnknown", "ptInput", "ptOutput",
                                                        "ptInputOutput", "ptResult"};

bool isDateKind(FieldType type)
{
    return type == FieldType::Date || type == FieldType::Time || type == FieldType::DateTime;
}

// ---- writing ---------------------------------------------------------------------------------

[[noreturn]] void refuse(const QString& what)
{
    DBKernelError(
        QStringLiteral("Cannot send the request to the application server: %1.").arg(what));
}

QByteArray ansi(const QString& text, const QString& what)
{
    bool lossless = true;
    QByteArray bytes = codepage::toAnsi(text, &lossless);
    if (!lossless) {
        refuse(QStringLiteral("%1 \"%2\" holds characters that code page %3 cannot hold")
                   .arg(what, text)
                   .arg(int(codepage::current())));
    }
    return bytes;
}

void putU8(QByteArray& out, quint8 value)
{
    out.append(char(value));
}

template <typename T> void putLE(QByteArray& out, T value)
{
    char buffer[sizeof(T)];
    qToLittleEndian(value, buffer);
    out.append(buffer, sizeof(T));
}

void putDouble(QByteArray& out, double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putLE<quint64>(out, bits);
}

void putShort(QByteArray& out, const QByteArray& bytes, const QString& what)
{
    if (bytes.size() > 255)
        refuse(QStringLiteral("%1 is longer than 255 bytes").arg(what));
    putU8(out, quint8(bytes.size()));
    out.append(bytes);
}

void putName(QByteArray& out, const char* name)
{
    putShort(out, QByteArray(name), QString());
}

void putText(QByteArray& out, const QString& text, const QString& what)
{
    const QByteArray bytes = ansi(text, what);
    if (bytes.size() <= 255) {
        putU8(out, vaString);
        putU8(out, quint8(bytes.size()));
    } else {
        putU8(out, vaLString);
        putLE<quint32>(out, quint32(bytes.size()));
    }
    out.append(bytes);
}

void putIdent(QByteArray& out, const char* ident)
{
    putU8(out, vaIdent);
    putName(out, ident);
}

void putParamValue(QByteArray& out, const Param& p)
{
    const Variant& v = p.value();
    if (v.isUnassigned())
        return;
    putName(out, "Value");
    if (v.isNull()) {
        putU8(out, vaNil);
        return;
    }
    switch (entryOf(p.dataType()).kind) {
    case ValueKind::Text:
        putText(out, p.asString(), QStringLiteral("the value of parameter %1").arg(p.name()));
        break;
    case ValueKind::Integer: {
        const qint64 i = p.asInteger();
        if (i >= std::numeric_limits<qint32>::min() && i <= std::numeric_limits<qint32>::max()) {
            putU8(out, vaInt32);
            putLE<qint32>(out, qint32(i));
        } else {
            putU8(out, vaInt64);
            putLE<qint64>(out, i);
        }
        break;
    }
    case ValueKind::Boolean:
        putU8(out, p.asBoolean() ? vaTrue : vaFalse);
        break;
    case ValueKind::Double:
        putU8(out, vaDouble);
        putDouble(out, isDateKind(p.dataType()) ? p.asDateTime() : v.toDouble());
        break;
    case ValueKind::Bytes: {
        const QByteArray bytes = p.asBytes();
        putU8(out, vaBinary);
        putLE<quint32>(out, quint32(bytes.size()));
        out.append(bytes);
        break;
    }
    case ValueKind::None:
        refuse(QStringLiteral("parameter %1 has a value but no data type").arg(p.name()));
    }
}

QByteArray componentStream(const TStreamedComponent& c)
{
    QByteArray out(Signature, 4);
    putShort(out, ansi(c.ClassName, QStringLiteral("the class name")),
             QStringLiteral("the class name"));
    putShort(out, ansi(c.Name, QStringLiteral("the component name")),
             QStringLiteral("the component name"));

    putName(out, "DatabaseName");
    putText(out, c.DatabaseName, QStringLiteral("the database name"));

    putName(out, "SQL.Strings");
    putU8(out, vaList);
    for (const QString& line : c.SQL)
        putText(out, line, QStringLiteral("the SQL line"));
    putU8(out, vaNull);

    if (!c.Parameters.isEmpty()) {
        putName(out, "Params");
        putU8(out, vaCollection);
        for (const Param& p : c.Parameters) {
            putU8(out, vaList);
            putName(out, "DataType");
            putIdent(out, entryOf(p.dataType()).ident);
            putName(out, "Name");
            putText(out, p.name(), QStringLiteral("the parameter name"));
            putName(out, "ParamType");
            putIdent(out, ParamTypeIdents.at(size_t(p.paramType())));
            putParamValue(out, p);
            putU8(out, vaNull);
        }
        putU8(out, vaNull);
    }

    if (!c.BigData.isEmpty()) {
        const QByteArray big = TComponentWriter::WriteBigData(c.BigData);
        putName(out, "BigParams.BigData");
        putU8(out, vaBinary);
        putLE<quint32>(out, quint32(big.size()));
        out.append(big);
    }
    putU8(out, vaNull);
    putU8(out, vaNull);
    return out;
}

// ---- reading ---------------------------------------------------------------------------------

// A block of bytes read from its start to its end; `base` is where it lies in the file, for the
// messages.
class Block
{
public:
    Block(QByteArrayView bytes, qsizetype base) : m_bytes(bytes), m_base(base) {}

    // A fault of the field read last (or of the one that could not be read).
    [[noreturn]] void fail(const QString& what) const
    {
        DBKernelError(QStringLiteral("The application server request is damaged: %1 (byte %2).")
                          .arg(what)
                          .arg(m_base + m_field));
    }
    // A fault at the place reached.
    [[noreturn]] void failHere(const QString& what)
    {
        m_field = m_at;
        fail(what);
    }

    qsizetype left() const { return m_bytes.size() - m_at; }
    bool atEnd() const { return m_at >= m_bytes.size(); }
    qsizetype offset() const { return m_base + m_at; }

    QByteArrayView take(qsizetype n, const char* what)
    {
        m_field = m_at;
        if (n < 0 || n > left())
            fail(QStringLiteral("%1 runs past the end of its block").arg(QLatin1String(what)));
        const QByteArrayView part = m_bytes.sliced(m_at, n);
        m_at += n;
        return part;
    }
    quint8 u8(const char* what) { return quint8(take(1, what)[0]); }
    template <typename T> T le(const char* what)
    {
        return qFromLittleEndian<T>(take(sizeof(T), what).data());
    }
    double dbl(const char* what)
    {
        const quint64 bits = le<quint64>(what);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    QByteArrayView shortString(const char* what) { return take(u8(what), what); }

private:
    QByteArrayView m_bytes;
    qsizetype m_base;
    qsizetype m_at = 0;
    qsizetype m_field = 0;
};

QString text(QByteArrayView bytes)
{
    return codepage::fromAnsi(bytes.toByteArray());
}

Currency currency(const Block& b, double value)
{
    try {
        return Currency::fromDouble(value);
    } catch (const EConvertError&) {
        b.fail(QStringLiteral("the currency value %1 is out of range").arg(value));
    }
}

// A String or LString value (its tag already read).
QString readText(Block& b, quint8 tag, const char* what)
{
    if (tag == vaString)
        return text(b.shortString(what));
    if (tag == vaLString)
        return text(b.take(b.le<quint32>(what), what));
    b.fail(QStringLiteral("%1 is not a text (tag 0x%2)")
               .arg(QLatin1String(what))
               .arg(tag, 2, 16, QLatin1Char('0')));
}

// Properties in the order of `names`, each at most once; returns the index of the next one, -1 at
// the end of the properties.
int nextProperty(Block& b, std::initializer_list<const char*> names, int& last)
{
    const QByteArrayView name = b.shortString("a property name");
    if (name.isEmpty())
        return -1;
    int i = 0;
    for (const char* n : names) {
        if (name == QByteArrayView(n)) {
            if (i <= last)
                b.fail(QStringLiteral("property %1 repeated or out of order").arg(text(name)));
            last = i;
            return i;
        }
        ++i;
    }
    b.fail(QStringLiteral("unknown property %1").arg(text(name)));
}

Param readParamItem(Block& b)
{
    const TypeEntry* type = nullptr;
    QString name;
    ParamType paramType = ParamType::Unknown;
    Variant value;
    quint8 valueTag = vaNull;
    int last = -1;
    for (;;) {
        const int property = nextProperty(b, {"DataType", "Name", "ParamType", "Value"}, last);
        if (property < 0)
            break;
        const quint8 tag = b.u8("a value tag");
        switch (property) {
        case 0: {
            if (tag != vaIdent)
                b.fail(QStringLiteral("DataType is not a name"));
            const QByteArrayView ident = b.shortString("a data type");
            type = entryOfIdent(ident);
            if (!type)
                b.fail(QStringLiteral("unknown data type %1").arg(text(ident)));
            break;
        }
        case 1:
            name = readText(b, tag, "a parameter name");
            break;
        case 2: {
            if (tag != vaIdent)
                b.fail(QStringLiteral("ParamType is not a name"));
            const QByteArrayView ident = b.shortString("a parameter type");
            const auto at = std::find_if(ParamTypeIdents.begin(), ParamTypeIdents.end(),
                                         [&](const char* n) { return ident == QByteArrayView(n); });
            if (at == ParamTypeIdents.end())
                b.fail(QStringLiteral("unknown parameter type %1").arg(text(ident)));
            paramType = ParamType(at - ParamTypeIdents.begin());
            break;
        }
        default:
            valueTag = tag;
            switch (tag) {
            case vaNil:
                value = Variant::null();
                break;
            case vaString:
            case vaLString:
                value = readText(b, tag, "a parameter value");
                break;
            case vaInt32:
                value = qint64(b.le<qint32>("an integer"));
                break;
            case vaInt64:
                value = b.le<qint64>("an integer");
                break;
            case vaDouble:
                value = b.dbl("a number");
                break;
            case vaFalse:
            case vaTrue:
                value = tag == vaTrue;
                break;
            case vaBinary:
                value = b.take(b.le<quint32>("a binary value"), "a binary value").toByteArray();
                break;
            default:
                b.fail(QStringLiteral("unknown value tag 0x%1").arg(tag, 2, 16, QLatin1Char('0')));
            }
        }
    }
    if (!type)
        b.fail(QStringLiteral("a parameter without DataType"));
    Param p(name, type->type, paramType);
    if (value.isUnassigned())
        return p;
    if (valueTag == vaNil) {
        p.clear();
        return p;
    }
    bool fits = false;
    switch (type->kind) {
    case ValueKind::Text:
        fits = valueTag == vaString || valueTag == vaLString;
        break;
    case ValueKind::Integer:
        fits = valueTag == vaInt32 || valueTag == vaInt64;
        break;
    case ValueKind::Boolean:
        fits = valueTag == vaFalse || valueTag == vaTrue;
        break;
    case ValueKind::Double:
        fits = valueTag == vaDouble;
        break;
    case ValueKind::Bytes:
        fits = valueTag == vaBinary;
        break;
    case ValueKind::None:
        break;
    }
    if (!fits)
        b.fail(QStringLiteral("the value of parameter %1 does not suit its data type").arg(name));
    if (isDateKind(type->type))
        value = Variant::fromDateTime(value.toDouble());
    else if (type->type == FieldType::Currency)
        value = currency(b, value.toDouble());
    p.setValue(value);
    return p;
}

QList<Param> readBigData(QByteArrayView bytes, qsizetype base)
{
    Block b(bytes, base);
    QList<Param> params;
    const quint16 count = b.le<quint16>("the parameter count");
    for (int i = 0; i < count; ++i) {
        const QString name = text(b.take(b.le<quint16>("a parameter name"), "a parameter name"));
        const quint8 paramType = b.u8("a parameter type");
        if (paramType >= ParamTypeIdents.size())
            b.fail(QStringLiteral("unknown parameter type %1").arg(paramType));
        const quint8 ordinal = b.u8("a data type");
        const TypeEntry* type = entryOfOrdinal(ordinal);
        if (!type)
            b.fail(QStringLiteral("unknown data type %1").arg(ordinal));
        Param p(name, type->type, ParamType(paramType));
        Variant value;
        if (type->kind != ValueKind::None) {
            const qint32 size = b.le<qint32>("a value size");
            if (size < 0)
                b.fail(QStringLiteral("negative value size %1").arg(size));
            if (type->fixedSize > 0 && size != type->fixedSize) {
                b.fail(QStringLiteral("a value of %1 bytes for data type %2")
                           .arg(size)
                           .arg(QLatin1String(type->ident)));
            }
            const QByteArrayView data = b.take(size, "a value");
            switch (type->kind) {
            case ValueKind::Text:
                if (data.isEmpty() || data.back() != '\0')
                    b.fail(QStringLiteral("a text value without its final 0 byte"));
                value = text(data.chopped(1));
                break;
            case ValueKind::Integer:
                value = qint64(qFromLittleEndian<qint32>(data.data()));
                break;
            case ValueKind::Boolean:
                value = qFromLittleEndian<quint16>(data.data()) != 0;
                break;
            case ValueKind::Double: {
                const quint64 bits = qFromLittleEndian<quint64>(data.data());
                double d = 0;
                std::memcpy(&d, &bits, sizeof d);
                value = isDateKind(type->type)              ? Variant::fromDateTime(d)
                        : type->type == FieldType::Currency ? Variant(currency(b, d))
                                                            : Variant(d);
                break;
            }
            case ValueKind::Bytes:
                value = data.toByteArray();
                break;
            case ValueKind::None:
                break;
            }
        }
        const bool null = b.u8("a null flag") != 0;
        const bool bound = b.u8("a bound flag") != 0;
        if (null) {
            if (bound)
                p.clear();
        } else if (!value.isUnassigned()) {
            p.setValue(value);
        }
        params.append(p);
    }
    if (!b.atEnd())
        b.failHere(QStringLiteral("%1 bytes left after the parameters").arg(b.left()));
    return params;
}

TStreamedComponent readComponentStream(Block& b)
{
    if (b.take(4, "the stream signature") != QByteArrayView(Signature))
        b.fail(QStringLiteral("no component stream signature"));
    TStreamedComponent c;
    c.ClassName = text(b.shortString("the class name"));
    if (c.ClassName.isEmpty())
        b.fail(QStringLiteral("no class name"));
    c.Name = text(b.shortString("the component name"));
    int last = -1;
    for (;;) {
        const int property =
            nextProperty(b, {"DatabaseName", "SQL.Strings", "Params", "BigParams.BigData"}, last);
        if (property < 0)
            break;
        const quint8 tag = b.u8("a value tag");
        switch (property) {
        case 0:
            c.DatabaseName = readText(b, tag, "the database name");
            break;
        case 1:
            if (tag != vaList)
                b.fail(QStringLiteral("SQL.Strings is not a list"));
            for (quint8 item = b.u8("a list item"); item != vaNull; item = b.u8("a list item"))
                c.SQL.append(readText(b, item, "an SQL line"));
            break;
        case 2:
            if (tag != vaCollection)
                b.fail(QStringLiteral("Params is not a collection"));
            for (quint8 item = b.u8("a collection item"); item != vaNull;
                 item = b.u8("a collection item")) {
                if (item != vaList)
                    b.fail(QStringLiteral("a collection item does not start with 0x01"));
                const Param p = readParamItem(b);
                Param& added = c.Parameters.add(p.name(), p.dataType(), p.paramType());
                if (!p.value().isUnassigned())
                    added.setValue(p.value());
            }
            break;
        default: {
            if (tag != vaBinary)
                b.fail(QStringLiteral("BigParams.BigData is not binary"));
            const quint32 size = b.le<quint32>("the BigData size");
            const qsizetype at = b.offset();
            c.BigData = readBigData(b.take(size, "the BigData block"), at);
            break;
        }
        }
    }
    if (b.u8("the end of the child components") != vaNull)
        b.fail(QStringLiteral("child components are not expected"));
    if (!b.atEnd())
        b.failHere(QStringLiteral("%1 bytes left at the end of the component").arg(b.left()));
    return c;
}

} // namespace

QString FieldTypeIdent(FieldType type)
{
    return QLatin1String(entryOf(type).ident);
}

QString ParamTypeIdent(ParamType type)
{
    return QLatin1String(ParamTypeIdents.at(size_t(type)));
}

// ---- TComponentWriter ------------------------------------------------------------------------

void TComponentWriter::WriteComponent(const TStreamedComponent& component)
{
    const QByteArray data = componentStream(component);
    // The class name's a-z in upper case, the other characters as they are.
    QByteArray name = ansi(component.ClassName, QStringLiteral("the class name"));
    for (char& ch : name) {
        if (ch >= 'a' && ch <= 'z')
            ch = char(ch - 'a' + 'A');
    }
    if (name.size() > MaxResourceName)
        refuse(QStringLiteral("the class name is longer than %1 bytes").arg(MaxResourceName));
    putU8(m_bytes, ResourceMarker);
    putLE<quint16>(m_bytes, ResourceType);
    m_bytes.append(name);
    putU8(m_bytes, 0);
    putLE<quint16>(m_bytes, MemoryFlags);
    putLE<quint32>(m_bytes, quint32(data.size()));
    m_bytes.append(data);
}

QByteArray TComponentWriter::WriteBigData(const QList<Param>& params)
{
    if (params.size() > 0xFFFF)
        refuse(QStringLiteral("a statement with more than 65535 parameters"));
    QByteArray out;
    putLE<quint16>(out, quint16(params.size()));
    for (const Param& p : params) {
        const QByteArray name = ansi(p.name(), QStringLiteral("the parameter name"));
        if (name.size() > 0xFFFF)
            refuse(QStringLiteral("the name of a parameter is longer than 65535 bytes"));
        putLE<quint16>(out, quint16(name.size()));
        out.append(name);
        putU8(out, quint8(p.paramType()));
        const TypeEntry& type = entryOf(p.dataType());
        putU8(out, quint8(type.type));
        const bool null = p.isNull();
        QByteArray value;
        switch (type.kind) {
        case ValueKind::Text:
            if (!null)
                value =
                    ansi(p.asString(), QStringLiteral("the value of parameter %1").arg(p.name()));
            value.append('\0');
            break;
        case ValueKind::Integer: {
            const qint64 i = null ? 0 : p.asInteger();
            if (i < std::numeric_limits<qint32>::min() || i > std::numeric_limits<qint32>::max()) {
                refuse(QStringLiteral("the value %1 of parameter %2 does not fit in 32 bits")
                           .arg(i)
                           .arg(p.name()));
            }
            putLE<qint32>(value, qint32(i));
            break;
        }
        case ValueKind::Boolean:
            putLE<quint16>(value, !null && p.asBoolean() ? 0xFFFF : 0);
            break;
        case ValueKind::Double:
            putDouble(value, null                       ? 0.0
                             : isDateKind(p.dataType()) ? p.asDateTime()
                                                        : p.value().toDouble());
            break;
        case ValueKind::Bytes:
            if (!null)
                value = p.asBytes();
            break;
        case ValueKind::None:
            break;
        }
        if (type.kind != ValueKind::None) {
            if (value.size() > std::numeric_limits<qint32>::max())
                refuse(QStringLiteral("the value of parameter %1 is too large").arg(p.name()));
            putLE<qint32>(out, qint32(value.size()));
            out.append(value);
        }
        putU8(out, null ? 1 : 0);
        putU8(out, p.value().isUnassigned() ? 0 : 1);
    }
    return out;
}

// ---- TComponentReader ------------------------------------------------------------------------

TStreamedComponent TComponentReader::ReadComponent()
{
    Block file(QByteArrayView(m_bytes).sliced(m_at), m_at);
    if (file.u8("the resource marker") != ResourceMarker)
        file.fail(QStringLiteral("not a component resource"));
    if (file.le<quint16>("the resource type") != ResourceType)
        file.fail(QStringLiteral("not a resource of type 10"));
    const qsizetype nameAt = file.offset();
    while (file.u8("the resource name") != 0) {
        if (file.offset() - nameAt > MaxResourceName)
            file.fail(QStringLiteral("a resource name longer than %1 bytes").arg(MaxResourceName));
    }
    const QByteArrayView name = QByteArrayView(m_bytes).sliced(nameAt, file.offset() - nameAt - 1);
    file.le<quint16>("the memory flags");
    const quint32 size = file.le<quint32>("the data size");
    const qsizetype dataAt = file.offset();
    Block data(file.take(size, "the component data"), dataAt);
    TStreamedComponent c = readComponentStream(data);

    QByteArray expected = codepage::toAnsi(c.ClassName);
    for (char& ch : expected) {
        if (ch >= 'a' && ch <= 'z')
            ch = char(ch - 'a' + 'A');
    }
    if (name != QByteArrayView(expected)) {
        Block(QByteArrayView(), nameAt)
            .fail(QStringLiteral("resource %1 holds a component of class %2")
                      .arg(text(name), c.ClassName));
    }
    m_at = file.offset();
    return c;
}

QList<TStreamedComponent> TComponentReader::ReadAll(const QByteArray& bytes)
{
    TComponentReader reader(bytes);
    if (reader.AtEnd()) {
        DBKernelError(QStringLiteral("The application server request is damaged: it is empty."));
    }
    QList<TStreamedComponent> components;
    while (!reader.AtEnd())
        components.append(reader.ReadComponent());
    return components;
}

QList<Param> TComponentReader::ReadBigData(QByteArrayView bytes)
{
    return readBigData(bytes, 0);
}
