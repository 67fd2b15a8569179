// Parsing of the "CALC(" and "LOOK(" select items and the null column the SQL carries for them.
#include "fielddesc.h"

#include <kernel/dbaccess.h>
#include <kernel/metadata.h>

bool IsFieldDescriptor(const QString& text)
{
    const QString upper = text.toUpper();
    return upper.contains(QLatin1String("CALC(")) || upper.contains(QLatin1String("LOOK("));
}

namespace {

QString dotsToCommas(QString text)
{
    return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

// The size written between "(" and ")" of a CHAR type; false when it is missing or no number.
bool charSize(const QString& type, int& size)
{
    const qsizetype open = type.indexOf(QLatin1Char('('));
    const qsizetype close = type.indexOf(QLatin1Char(')'), open + 1);
    if (open < 0 || close < 0)
        return false;
    bool ok = false;
    size = type.mid(open + 1, close - open - 1).trimmed().toInt(&ok);
    return ok && size > 0;
}

bool calculatedType(const QString& type, TFieldDescriptor& d)
{
    const QString t = type.trimmed().toUpper();
    bool found = false;
    auto match = [&](const char* prefix, FieldType fieldType) {
        if (t.startsWith(QLatin1String(prefix))) {
            d.DataType = fieldType;
            d.Size = 0;
            found = true;
        }
    };
    match("INT", FieldType::Integer);
    match("DATE", FieldType::Date);
    match("TIME", FieldType::Time);
    match("DATETIME", FieldType::DateTime);
    match("MONEY", FieldType::Currency);
    match("FLOAT", FieldType::Float);
    if (t.startsWith(QLatin1String("CHAR"))) {
        if (!charSize(t, d.Size))
            return false;
        d.DataType = FieldType::String;
        found = true;
    }
    return found;
}

bool lookupType(const TFieldProps& result, TFieldDescriptor& d)
{
    switch (result.DataType) {
    case dtInteger:
    case dtAutoinc:
        d.DataType = FieldType::Integer;
        return true;
    case dtString:
        d.DataType = FieldType::String;
        d.Size = result.Size;
        return true;
    case dtDateTime:
    case dtTime:
        d.DataType = FieldType::DateTime;
        return true;
    case dtDate:
        d.DataType = FieldType::Date;
        return true;
    case dtMoney:
        d.DataType = FieldType::Currency;
        return true;
    case dtNumeric:
    case dtCours:
    case dtTaux:
        d.DataType = FieldType::Float;
        return true;
    case dtMemo:
        d.DataType = FieldType::Memo;
        return true;
    case dtBoolean:
        d.DataType = FieldType::Boolean;
        return true;
    case dtLangString:
        d.DataType = FieldType::String;
        d.Size = LangStringSize(result.Size);
        return true;
    default:
        return false;
    }
}

} // namespace

TFieldDescriptor ParseFieldDescriptor(const TDBAccess& access, const QString& requestName,
                                      const QString& text)
{
    const QString trimmed = text.trimmed();
    TFieldDescriptor d;
    d.IsLookup = trimmed.left(5).toUpper() == QLatin1String("LOOK(");
    const QString error =
        QStringLiteral("%1. Invalid %2 field descriptor: %3.")
            .arg(requestName, d.IsLookup ? QStringLiteral("lookup") : QStringLiteral("calculated"),
                 text);

    QString body = trimmed.mid(5);
    if (!body.endsWith(QLatin1Char(')')))
        DBKernelError(error);
    body.chop(1);
    body = body.trimmed();
    const qsizetype dot = body.indexOf(QLatin1Char('.'));
    if (dot <= 0)
        DBKernelError(error);
    d.Name = body.left(dot).trimmed();
    const QString rest = body.mid(dot + 1);

    if (!d.IsLookup) {
        if (!calculatedType(rest, d))
            DBKernelError(error);
        return d;
    }

    const qsizetype tableEnd = rest.indexOf(QLatin1Char('.'));
    if (tableEnd <= 0)
        DBKernelError(error);
    d.LookupTable = rest.left(tableEnd).trimmed();
    const QString afterTable = rest.mid(tableEnd + 1);
    const qsizetype resultEnd = afterTable.indexOf(QLatin1Char('.'));
    d.LookupResultField = (resultEnd < 0 ? afterTable : afterTable.left(resultEnd)).trimmed();
    if (resultEnd >= 0)
        d.KeyFields = afterTable.mid(resultEnd + 1).trimmed();
    if (d.LookupResultField.isEmpty())
        DBKernelError(error);

    const TTableProps* table = access.GetTableProps(d.LookupTable);
    if (d.KeyFields.isEmpty())
        d.KeyFields = table->KeyFields;
    d.LookupKeyFields = dotsToCommas(table->KeyFields);
    d.KeyFields = dotsToCommas(d.KeyFields);
    if (!lookupType(*table->FieldPropsByName(d.LookupResultField), d))
        DBKernelError(error);
    return d;
}

QString DescriptorColumn(const TDBAccess& access, const TFieldDescriptor& descriptor)
{
    return CastExpression(access, QString(), descriptor.DataType, descriptor.Size) +
           QLatin1Char(' ') + descriptor.Name;
}
