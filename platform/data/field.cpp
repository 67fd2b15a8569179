// Field definitions and field objects: value conversion to the field types, the typed accessors,
// the text forms and the display defaults. Values live in the dataset's record buffers; a field
// reads and writes them through its dataset.
#include "field.h"

#include "collation.h"
#include "dataset.h"

#include <platform/regional.h>

#include <cmath>

bool isTextType(FieldType type)
{
    return type == FieldType::String || type == FieldType::Memo;
}
bool isBinaryType(FieldType type)
{
    return type == FieldType::Blob || type == FieldType::Graphic;
}

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Unknown:
        return QStringLiteral("Unknown");
    case FieldType::String:
        return QStringLiteral("String");
    case FieldType::Integer:
        return QStringLiteral("Integer");
    case FieldType::Boolean:
        return QStringLiteral("Boolean");
    case FieldType::Float:
        return QStringLiteral("Float");
    case FieldType::Currency:
        return QStringLiteral("Currency");
    case FieldType::Date:
        return QStringLiteral("Date");
    case FieldType::Time:
        return QStringLiteral("Time");
    case FieldType::DateTime:
        return QStringLiteral("DateTime");
    case FieldType::AutoInc:
        return QStringLiteral("AutoInc");
    case FieldType::Blob:
        return QStringLiteral("Blob");
    case FieldType::Memo:
        return QStringLiteral("Memo");
    case FieldType::Graphic:
        return QStringLiteral("Graphic");
    }
    return QStringLiteral("Unknown");
}

Variant convertFieldValue(FieldType type, int size, const Variant& value)
{
    if (holdsFieldForm(type, size, value))
        return value;
    if (value.isEmpty())
        return Variant::null();
    switch (type) {
    case FieldType::String:
        return size > 0 ? Variant(value.toString().left(size)) : Variant(value.toString());
    case FieldType::Memo:
        return Variant(value.toString());
    case FieldType::Integer:
    case FieldType::AutoInc:
        return Variant(value.toInt64());
    case FieldType::Boolean:
        return Variant(value.toBool());
    case FieldType::Float:
        return Variant(value.toDouble());
    case FieldType::Currency:
        return Variant(value.toCurrency());
    case FieldType::Date:
        return Variant::fromDateTime(std::trunc(value.toDateTime()));
    case FieldType::Time: {
        const TDateTime dt = value.toDateTime();
        return Variant::fromDateTime(std::fabs(dt - std::trunc(dt)));
    }
    case FieldType::DateTime:
        return Variant::fromDateTime(value.toDateTime());
    case FieldType::Blob:
    case FieldType::Graphic:
        return Variant(value.toBytes());
    case FieldType::Unknown:
        break;
    }
    return value;
}

int compareFieldValues(FieldType type, const Variant& a, const Variant& b, bool caseInsensitive)
{
    const bool ea = a.isEmpty(), eb = b.isEmpty();
    if (ea || eb)
        return int(!ea) - int(!eb);
    switch (type) {
    case FieldType::String:
    case FieldType::Memo:
        return caseInsensitive ? collation::compareCaseInsensitive(a.toString(), b.toString())
                               : collation::compareExact(a.toString(), b.toString());
    case FieldType::Integer:
    case FieldType::AutoInc: {
        const qint64 x = a.toInt64(), y = b.toInt64();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case FieldType::Currency: {
        const qint64 x = a.toCurrency().scaled, y = b.toCurrency().scaled;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case FieldType::Boolean:
        return int(a.toBool()) - int(b.toBool());
    case FieldType::Float:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case FieldType::Blob:
    case FieldType::Graphic: {
        const int c = a.toBytes().compare(b.toBytes());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case FieldType::Unknown:
        break;
    }
    return Variant::compare(a, b, caseInsensitive);
}

// ---- FieldDefs

void FieldDefs::add(const QString& name, FieldType type, int size, bool required)
{
    add(FieldDef{name, type, size, required, false});
}

void FieldDefs::add(const FieldDef& def)
{
    m_defs.append(def);
}

int FieldDefs::indexOf(const QString& name) const
{
    for (int i = 0; i < m_defs.size(); ++i) {
        if (m_defs.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const FieldDef* FieldDefs::find(const QString& name) const
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &m_defs.at(i);
}

bool operator==(const FieldDefs& a, const FieldDefs& b)
{
    if (a.count() != b.count())
        return false;
    for (int i = 0; i < a.count(); ++i) {
        const FieldDef &x = a.at(i), &y = b.at(i);
        if (x.name != y.name || x.type != y.type || x.size != y.size || x.required != y.required ||
            x.emptyTextIsValue != y.emptyTextIsValue)
            return false;
    }
    return true;
}

// ---- Field

Field::Field(DataSet* dataSet, const QString& name, FieldType type, int size, Kind kind)
    : m_dataSet(dataSet), m_name(name), m_type(type), m_size(size), m_kind(kind)
{
}

Field::~Field() = default;

int Field::index() const
{
    for (int i = 0; i < m_dataSet->fieldCount(); ++i) {
        if (m_dataSet->field(i) == this)
            return i;
    }
    return -1;
}

QString Field::displayLabel() const
{
    return m_displayLabel.isEmpty() ? m_name : m_displayLabel;
}

int Field::displayWidth() const
{
    if (m_displayWidth >= 0)
        return m_displayWidth;
    switch (m_type) {
    case FieldType::String:
        return qMax(m_size, 1);
    case FieldType::Time:
        return 8;
    case FieldType::DateTime:
        return 19;
    case FieldType::Boolean:
        return 5;
    default:
        return 10;
    }
}

Qt::Alignment Field::alignment() const
{
    if (m_alignment)
        return m_alignment;
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::AutoInc:
    case FieldType::Float:
    case FieldType::Currency:
        return Qt::AlignRight;
    default:
        return Qt::AlignLeft;
    }
}

Variant Field::convert(const Variant& value) const
{
    return convertFieldValue(m_type, m_size, value);
}

Variant Field::value() const
{
    return m_dataSet->fieldValue(*this);
}
void Field::setValue(const Variant& value)
{
    m_dataSet->setFieldValue(*this, value);
}
void Field::setValue(Variant&& value)
{
    m_dataSet->setFieldValue(*this, std::move(value));
}
bool Field::isNull() const
{
    return value().isEmpty();
}

QString Field::asString() const
{
    return value().toString();
}

void Field::setAsString(const QString& text)
{
    // An empty text clears a field that has no empty form of its own.
    if (text.isEmpty() && !isTextType(m_type))
        setValue(Variant::null());
    else
        m_dataSet->setFieldValue(*this, Variant(text));
}

qint64 Field::asInteger() const
{
    return value().toInt64();
}
void Field::setAsInteger(qint64 value)
{
    m_dataSet->setFieldValue(*this, Variant(value));
}
double Field::asFloat() const
{
    return value().toDouble();
}
void Field::setAsFloat(double value)
{
    m_dataSet->setFieldValue(*this, Variant(value));
}
Currency Field::asCurrency() const
{
    return value().toCurrency();
}
void Field::setAsCurrency(Currency value)
{
    m_dataSet->setFieldValue(*this, Variant(value));
}
TDateTime Field::asDateTime() const
{
    return value().toDateTime();
}
void Field::setAsDateTime(TDateTime value)
{
    m_dataSet->setFieldValue(*this, Variant::fromDateTime(value));
}
bool Field::asBoolean() const
{
    return value().toBool();
}
void Field::setAsBoolean(bool value)
{
    m_dataSet->setFieldValue(*this, Variant(value));
}
QByteArray Field::asBytes() const
{
    const Variant v = value();
    return v.isEmpty() ? QByteArray() : v.toBytes();
}
void Field::setAsBytes(const QByteArray& value)
{
    m_dataSet->setFieldValue(*this, Variant(value));
}

QString Field::text() const
{
    if (!onGetText)
        return asString();
    QString text;
    onGetText(*this, text, false);
    return text;
}

QString Field::displayText() const
{
    if (!onGetText) {
        if (m_displayFormat.isEmpty() || isNull())
            return asString();
        switch (m_type) {
        case FieldType::Integer:
        case FieldType::AutoInc:
        case FieldType::Float:
        case FieldType::Currency:
            return FormatFloat(m_displayFormat, asFloat());
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::DateTime:
            return FormatDateTime(m_displayFormat, asDateTime());
        default:
            return asString();
        }
    }
    QString text;
    onGetText(*this, text, true);
    return text;
}

void Field::setText(const QString& text)
{
    if (onSetText)
        onSetText(*this, text);
    else
        setAsString(text);
}
