// Named parameters of SQL texts: the one scanner that finds ":NAME" parameters (used by queries
// and by the kernel's request items alike) and the parameter list with its values.
#pragma once

#include <platform/data/field.h>

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The result of scanning an SQL text for parameters.
//
// The text is read left to right. A single or a double quote opens a literal that the same quote
// closes; nothing inside a literal is a parameter. Outside a literal, "::" stands for one ":",
// and ":" followed by anything else starts a parameter whose name runs up to the first blank, tab,
// ",", ";", ")", carriage return or line feed outside quotes; quotes within a name are removed from
// it (":\"My name\"" names My name). A ":" with an empty name is kept as it is.
struct ParsedSql
{
    // The text for the engine: each parameter replaced by "?", each "::" by ":".
    QString statement;
    // The parameter names in order of first appearance, each once (compared without regard to
    // case; the first spelling is kept).
    QStringList names;
    // For each "?" of `statement`, in order, the position of its name in `names`.
    QList<int> occurrences;
    // For each "?" of `statement`, in order, where the parameter stands in the scanned text: the
    // position of its ":" and the length up to the end of its name (quotes included), so that a
    // caller can rewrite a parameter in the text without scanning it a second time.
    QList<QPair<qsizetype, qsizetype>> spans;
};

ParsedSql parseSqlParams(const QString& sql);

enum class ParamType { Unknown, Input, Output, InputOutput, Result };

// One parameter: a name, a data type (unknown until a typed setter or a value gives one), its
// direction and its value (unassigned at first).
class Param
{
public:
    Param() = default;
    explicit Param(const QString& name, FieldType dataType = FieldType::Unknown,
                   ParamType paramType = ParamType::Input)
        : m_name(name), m_dataType(dataType), m_paramType(paramType)
    {
    }

    const QString& name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    FieldType dataType() const { return m_dataType; }
    void setDataType(FieldType type) { m_dataType = type; }
    ParamType paramType() const { return m_paramType; }
    void setParamType(ParamType type) { m_paramType = type; }

    const Variant& value() const { return m_value; }
    // Stores the value; a parameter without a data type takes the one of the value.
    void setValue(const Variant& value);
    // No value (unassigned or null): bound as NULL.
    bool isNull() const { return m_value.isEmpty(); }
    void clear() { m_value = Variant::null(); }

    // Typed access; each setter also sets the data type.
    QString asString() const { return m_value.toString(); }
    void setAsString(const QString& value) { set(FieldType::String, value); }
    void setAsMemo(const QString& value) { set(FieldType::Memo, value); }
    qint64 asInteger() const { return m_value.toInt64(); }
    void setAsInteger(qint64 value) { set(FieldType::Integer, value); }
    double asFloat() const { return m_value.toDouble(); }
    void setAsFloat(double value) { set(FieldType::Float, value); }
    Currency asCurrency() const { return m_value.toCurrency(); }
    void setAsCurrency(Currency value) { set(FieldType::Currency, value); }
    bool asBoolean() const { return m_value.toBool(); }
    void setAsBoolean(bool value) { set(FieldType::Boolean, value); }
    TDateTime asDateTime() const { return m_value.toDateTime(); }
    void setAsDateTime(TDateTime value) { set(FieldType::DateTime, Variant::fromDateTime(value)); }
    void setAsDate(TDateTime value) { set(FieldType::Date, Variant::fromDateTime(value)); }
    void setAsTime(TDateTime value) { set(FieldType::Time, Variant::fromDateTime(value)); }
    QByteArray asBytes() const { return m_value.toBytes(); }
    void setAsBlob(const QByteArray& value) { set(FieldType::Blob, value); }

private:
    void set(FieldType type, const Variant& value)
    {
        m_dataType = type;
        m_value = value;
    }

    QString m_name;
    FieldType m_dataType = FieldType::Unknown;
    ParamType m_paramType = ParamType::Input;
    Variant m_value;
};

// An ordered list of parameters. Names compare without regard to case.
class Params
{
public:
    Params() = default;
    // The parameters named in an SQL text (see parseSqlParams), input, with no data type.
    explicit Params(const ParsedSql& parsed);

    int count() const { return int(m_items.size()); }
    bool isEmpty() const { return m_items.isEmpty(); }
    Param& operator[](int i) { return m_items[i]; }
    const Param& operator[](int i) const { return m_items.at(i); }
    QList<Param>::iterator begin() { return m_items.begin(); }
    QList<Param>::iterator end() { return m_items.end(); }
    QList<Param>::const_iterator begin() const { return m_items.begin(); }
    QList<Param>::const_iterator end() const { return m_items.end(); }

    Param& add(const QString& name, FieldType dataType = FieldType::Unknown,
               ParamType paramType = ParamType::Input);
    void clear() { m_items.clear(); }
    // Position of the named parameter, -1 when absent.
    int indexOf(const QString& name) const;
    Param* findParam(const QString& name);
    const Param* findParam(const QString& name) const;
    // Raises Exception "Parameter 'NAME' not found" when absent.
    Param& paramByName(const QString& name);
    const Param& paramByName(const QString& name) const;
    QStringList names() const;

    // Assignment between lists: each parameter of this list that `other` also has takes the value
    // (and the data type) of the other one; the rest keep theirs, and no parameter is added or
    // removed.
    void assignValues(const Params& other);

private:
    QList<Param> m_items;
};
