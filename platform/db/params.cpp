// The parameter scanner of SQL texts and the parameter list.
#include "params.h"

#include <platform/codepage.h>
#include <platform/exception.h>

namespace {

bool isQuote(QChar c)
{
    return c == QLatin1Char('\'') || c == QLatin1Char('"');
}

bool endsName(QChar c)
{
    switch (c.unicode()) {
    case ' ':
    case '\t':
    case ',':
    case ';':
    case ')':
    case '\r':
    case '\n':
        return true;
    default:
        return false;
    }
}

} // namespace

ParsedSql parseSqlParams(const QString& sql)
{
    ParsedSql out;
    out.statement.reserve(sql.size());
    const qsizetype n = sql.size();
    QChar literal; // the quote that opened the current literal, null outside one
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        if (!literal.isNull()) {
            out.statement += c;
            if (c == literal)
                literal = QChar();
            continue;
        }
        if (isQuote(c)) {
            literal = c;
            out.statement += c;
            continue;
        }
        if (c != QLatin1Char(':')) {
            out.statement += c;
            continue;
        }
        if (i + 1 < n && sql.at(i + 1) == QLatin1Char(':')) {
            out.statement += QLatin1Char(':');
            ++i;
            continue;
        }
        QString name;
        QChar nameQuote;
        qsizetype j = i + 1;
        for (; j < n; ++j) {
            const QChar d = sql.at(j);
            if (!nameQuote.isNull()) {
                if (d == nameQuote)
                    nameQuote = QChar();
                else
                    name += d;
            } else if (isQuote(d)) {
                nameQuote = d;
            } else if (endsName(d)) {
                break;
            } else {
                name += d;
            }
        }
        if (name.isEmpty()) {
            out.statement += c; // a lone ":" stays; what follows is read as usual
            continue;
        }
        int index = -1;
        for (int k = 0; k < out.names.size(); ++k) {
            if (codepage::sameText(out.names.at(k), name)) {
                index = k;
                break;
            }
        }
        if (index < 0) {
            index = int(out.names.size());
            out.names.append(name);
        }
        out.occurrences.append(index);
        out.spans.append(qMakePair(i, j - i));
        out.statement += QLatin1Char('?');
        i = j - 1;
    }
    return out;
}

void Param::setValue(const Variant& value)
{
    m_value = value;
    if (m_dataType != FieldType::Unknown)
        return;
    switch (value.type()) {
    case Variant::Type::Boolean:
        m_dataType = FieldType::Boolean;
        break;
    case Variant::Type::Integer:
        m_dataType = FieldType::Integer;
        break;
    case Variant::Type::Double:
        m_dataType = FieldType::Float;
        break;
    case Variant::Type::Currency:
        m_dataType = FieldType::Currency;
        break;
    case Variant::Type::DateTime:
        m_dataType = FieldType::DateTime;
        break;
    case Variant::Type::String:
        m_dataType = FieldType::String;
        break;
    case Variant::Type::Bytes:
        m_dataType = FieldType::Blob;
        break;
    default:
        break;
    }
}

Params::Params(const ParsedSql& parsed)
{
    for (const QString& name : parsed.names)
        add(name);
}

Param& Params::add(const QString& name, FieldType dataType, ParamType paramType)
{
    m_items.append(Param(name, dataType, paramType));
    return m_items.last();
}

int Params::indexOf(const QString& name) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (codepage::sameText(m_items.at(i).name(), name))
            return i;
    }
    return -1;
}

Param* Params::findParam(const QString& name)
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &m_items[i];
}

const Param* Params::findParam(const QString& name) const
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &m_items.at(i);
}

Param& Params::paramByName(const QString& name)
{
    if (Param* p = findParam(name))
        return *p;
    throw Exception(QStringLiteral("Parameter '%1' not found").arg(name));
}

const Param& Params::paramByName(const QString& name) const
{
    if (const Param* p = findParam(name))
        return *p;
    throw Exception(QStringLiteral("Parameter '%1' not found").arg(name));
}

QStringList Params::names() const
{
    QStringList out;
    for (const Param& p : m_items)
        out.append(p.name());
    return out;
}

void Params::assignValues(const Params& other)
{
    for (Param& p : m_items) {
        if (const Param* src = other.findParam(p.name())) {
            p.setDataType(src->dataType());
            p.setValue(src->value());
        }
    }
}
