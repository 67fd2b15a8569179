// Fields of a cursor dataset: their definitions (name, type, size, required) and the field
// objects through which callers read and write the values of the current record, with their
// display properties and their change, validate and text events.
#pragma once

#include <platform/variant.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstring>
#include <functional>

class DataSet;

// Field types. The numbers are stored in dataset files and the kernel maps them to and from its
// own data types: never renumber them. Kinds that no part of the program uses (small integer,
// word, BCD, bytes) are left out.
enum class FieldType : quint8 {
    Unknown = 0,
    String = 1,
    Integer = 3,
    Boolean = 5,
    Float = 6,
    Currency = 7,
    Date = 9,
    Time = 10,
    DateTime = 11,
    AutoInc = 14,
    Blob = 15,
    Memo = 16,
    Graphic = 17,
};

// True for the types whose value is text (String, Memo).
bool isTextType(FieldType type);
// True for the types whose value is bytes (Blob, Graphic).
bool isBinaryType(FieldType type);
// The type's name as messages show it ("String", "Integer", ...).
QString fieldTypeName(FieldType type);
// A value converted to a field type: text cut to `size` characters when size > 0, dates kept to
// the day, times to the time of day, Null and Unassigned giving Null. Raises EConvertError when
// the value has no such form.
Variant convertFieldValue(FieldType type, int size, const Variant& value);
// True when convertFieldValue would give the value back unchanged: it is already in the form.
// Asked for every value a field is given, hence inline.
inline bool holdsFieldForm(FieldType type, int size, const Variant& value)
{
    const Variant::Type vt = value.type();
    if (vt == Variant::Type::Unassigned)
        return false;
    if (vt == Variant::Type::Null)
        return true;
    switch (type) {
    case FieldType::String:
        return vt == Variant::Type::String && (size <= 0 || value.stringView().size() <= size);
    case FieldType::Memo:
        return vt == Variant::Type::String;
    case FieldType::Integer:
    case FieldType::AutoInc:
        return vt == Variant::Type::Integer;
    case FieldType::Boolean:
        return vt == Variant::Type::Boolean;
    case FieldType::Float:
        return vt == Variant::Type::Double;
    case FieldType::Currency:
        return vt == Variant::Type::Currency;
    case FieldType::Date: {
        // Bit for bit: trunc(-0.5) is -0.0, which is not the 0.0 it compares equal to.
        if (vt != Variant::Type::DateTime)
            return false;
        const double v = value.toDateTime(), day = std::trunc(v);
        return std::memcmp(&v, &day, sizeof v) == 0;
    }
    case FieldType::Time:
        return false;
    case FieldType::DateTime:
        return vt == Variant::Type::DateTime;
    case FieldType::Blob:
    case FieldType::Graphic:
        return vt == Variant::Type::Bytes;
    case FieldType::Unknown:
        return true;
    }
    return false;
}
// Order of two values of one field type (as convertFieldValue gives them): null first; texts
// exactly (by the code page's bytes) or case-insensitively (folded, ties by the exact text).
int compareFieldValues(FieldType type, const Variant& a, const Variant& b,
                       bool caseInsensitive = false);

// The definition of one stored column: what a backend holds for each record.
struct FieldDef
{
    QString name;
    FieldType type = FieldType::Unknown;
    int size = 0;          // characters of a String field; 0 for every other type
    bool required = false; // Post refuses a record whose value is null
    // With `required`: an empty text counts as a value (a field that must be given, but may be
    // given as ""). Without it an empty text is refused like a null.
    bool emptyTextIsValue = false;
};

// The ordered list of column definitions of a dataset. Names compare without regard to case.
class FieldDefs
{
public:
    void add(const QString& name, FieldType type, int size = 0, bool required = false);
    void add(const FieldDef& def);
    void clear() { m_defs.clear(); }
    int count() const { return int(m_defs.size()); }
    bool isEmpty() const { return m_defs.isEmpty(); }
    const FieldDef& at(int i) const { return m_defs.at(i); }
    FieldDef& operator[](int i) { return m_defs[i]; }
    // Position of the named definition, -1 when absent.
    int indexOf(const QString& name) const;
    const FieldDef* find(const QString& name) const;
    const QList<FieldDef>& list() const { return m_defs; }
    friend bool operator==(const FieldDefs& a, const FieldDefs& b);

private:
    QList<FieldDef> m_defs;
};

// One field of a dataset: the caller's handle on one value of the current record.
//
// Reading gives the value of the record the dataset shows in its current state: the current
// record while browsing, the edited copy while editing or inserting, the key being built in the
// key states, the record under test while a filter runs. Writing is allowed while the dataset
// edits or inserts (and, for calculated fields, while it computes them); elsewhere it raises
// EDBEditError "Dataset not in edit or insert mode".
class Field
{
public:
    enum class Kind {
        Data,         // a stored column
        Calculated,   // computed by the dataset's OnCalcFields for every record shown
        Lookup,       // a value fetched from another dataset by code; held like a calculated field
        InternalCalc, // computed like a calculated field
    };

    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;
    ~Field();

    DataSet* dataSet() const { return m_dataSet; }
    const QString& fieldName() const { return m_name; }
    FieldType dataType() const { return m_type; }
    int size() const { return m_size; }
    Kind fieldKind() const { return m_kind; }
    bool isCalculated() const { return m_kind != Kind::Data; }
    // Position among the dataset's fields, from 0.
    int index() const;

    // Display properties, used by grids and by the text forms below.
    QString displayLabel() const; // the field name when no label was set
    void setDisplayLabel(const QString& label) { m_displayLabel = label; }
    // Width in characters; by default the size of a string field, 10 for dates, memos and
    // numbers, 8 for times, 19 for date-times, 5 for booleans.
    int displayWidth() const;
    void setDisplayWidth(int width) { m_displayWidth = width; }
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // The display format is applied by displayText (below); the edit format and mask are kept
    // for editors.
    const QString& displayFormat() const { return m_displayFormat; }
    void setDisplayFormat(const QString& format) { m_displayFormat = format; }
    const QString& editFormat() const { return m_editFormat; }
    void setEditFormat(const QString& format) { m_editFormat = format; }
    const QString& editMask() const { return m_editMask; }
    void setEditMask(const QString& mask) { m_editMask = mask; }
    // Left for text, right for numbers, unless set.
    Qt::Alignment alignment() const;
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; }

    bool isRequired() const { return m_required; }
    void setRequired(bool required) { m_required = required; }
    bool emptyTextIsValue() const { return m_emptyTextIsValue; }
    void setEmptyTextIsValue(bool on) { m_emptyTextIsValue = on; }

    // Values. Reading a null field gives 0, false, "" (the Variant conversions); IsNull tells.
    Variant value() const;
    void setValue(const Variant& value);
    void setValue(Variant&& value);
    bool isNull() const;
    void clear() { setValue(Variant::null()); }

    QString asString() const;
    void setAsString(const QString& text);
    qint64 asInteger() const;
    void setAsInteger(qint64 value);
    double asFloat() const;
    void setAsFloat(double value);
    Currency asCurrency() const;
    void setAsCurrency(Currency value);
    TDateTime asDateTime() const;
    void setAsDateTime(TDateTime value);
    bool asBoolean() const;
    void setAsBoolean(bool value);
    QByteArray asBytes() const;
    void setAsBytes(const QByteArray& value);

    // The text a control shows: through OnGetText when assigned (displayText true for viewing,
    // false for editing), else asString(); for viewing, a number or a date with a display format
    // is written through it (FormatFloat, FormatDateTime).
    QString text() const;
    QString displayText() const;
    // What a control stores: through OnSetText when assigned, else setAsString (an empty text
    // clears a non-text field).
    void setText(const QString& text);

    // Events. OnValidate sees the new value before it is stored and may refuse it by raising;
    // OnChange follows every stored change.
    std::function<void(Field& sender, const Variant& newValue)> onValidate;
    std::function<void(Field& sender)> onChange;
    std::function<void(const Field& sender, QString& text, bool displayText)> onGetText;
    std::function<void(Field& sender, const QString& text)> onSetText;

    // Converts a value to this field's type (strings cut to the field's size, dates kept to the
    // day, times to the time of day); raises EConvertError when it cannot.
    Variant convert(const Variant& value) const;

private:
    friend class DataSet;
    friend class IndexedDataSet;
    Field(DataSet* dataSet, const QString& name, FieldType type, int size, Kind kind);

    DataSet* m_dataSet;
    QString m_name;
    FieldType m_type;
    int m_size;
    Kind m_kind;
    int m_slot = -1; // position of the value in the dataset's record buffer
    QString m_displayLabel;
    int m_displayWidth = -1;
    bool m_visible = true;
    bool m_readOnly = false;
    bool m_required = false;
    bool m_emptyTextIsValue = false;
    QString m_displayFormat, m_editFormat, m_editMask;
    Qt::Alignment m_alignment = {};
};
