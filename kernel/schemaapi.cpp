// Multi-language labels (reading one language, composing all three), the metadata label
// dictionary and its translators, and the registration of the schema tools.
#include "schemaapi.h"

namespace {
TSchemaTools* registeredTools = nullptr;
} // namespace

QString ExtractMultiLabel(const QString& text, const QString& key)
{
    if (!text.contains(QLatin1Char('#')))
        return text;
    const QString tag = key + QLatin1Char('#');
    qsizetype start = -1;
    if (key.isEmpty()) {
        start = text.indexOf(QLatin1Char('#')) + 1;
    } else if (text.startsWith(tag, Qt::CaseSensitive)) {
        start = tag.size();
    } else {
        // Only a whole tag counts: "Virus#" holds "rus#" but names no language.
        const qsizetype at = text.indexOf(QLatin1Char('#') + tag);
        if (at >= 0)
            start = at + 1 + tag.size();
    }
    if (start < 0)
        return QString();
    const qsizetype end = text.indexOf(QLatin1Char('#'), start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

QString ComposeMultiLabel(const QString& french, const QString& russian, const QString& english)
{
    const QString texts[] = {french, russian, english};
    QString first;
    for (const QString& t : texts) {
        if (!t.isEmpty()) {
            first = t;
            break;
        }
    }
    for (const QString& t : texts) {
        if (!t.isEmpty() && t != first)
            return QStringLiteral("#fra#") + french + QStringLiteral("#rus#") + russian +
                   QStringLiteral("#eng#") + english;
    }
    return first;
}

// ---- the label dictionary

namespace {

std::unique_ptr<TMetaDictionary>& dictionarySlot()
{
    static std::unique_ptr<TMetaDictionary> dictionary;
    return dictionary;
}

// The value of the first "name=value" line of that name (case ignored); empty when none.
QString lineValue(const QStringList& lines, const QString& name)
{
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return QString();
}

} // namespace

TMetaDictionary::TTableEntry& TMetaDictionary::Table(const QString& tableName)
{
    return m_tables[tableName.toUpper()];
}

TMetaDictionary::TFieldEntry& TMetaDictionary::Field(const QString& tableName,
                                                     const QString& fieldName)
{
    return Table(tableName).Fields[fieldName.toUpper()];
}

const TMetaDictionary::TTableEntry* TMetaDictionary::findTable(const QString& tableName) const
{
    const auto it = m_tables.constFind(tableName.toUpper());
    return it == m_tables.cend() ? nullptr : &it.value();
}

const TMetaDictionary::TFieldEntry* TMetaDictionary::findField(const QString& tableName,
                                                               const QString& fieldName) const
{
    const TTableEntry* table = findTable(tableName);
    if (!table)
        return nullptr;
    const auto it = table->Fields.constFind(fieldName.toUpper());
    return it == table->Fields.cend() ? nullptr : &it.value();
}

QString TMetaDictionary::TableLabel(const QString& tableName) const
{
    const TTableEntry* table = findTable(tableName);
    return table ? table->Label : QString();
}

QString TMetaDictionary::TableFieldLabel(const QString& tableName, const QString& fieldName) const
{
    const TTableEntry* table = findTable(tableName);
    return table ? lineValue(table->FieldLabels, fieldName) : QString();
}

QString TMetaDictionary::FieldLabel(const QString& tableName, const QString& fieldName) const
{
    const TFieldEntry* field = findField(tableName, fieldName);
    return field ? field->Label : QString();
}

QString TMetaDictionary::LookupValue(const QString& tableName, const QString& fieldName,
                                     const QString& key) const
{
    const TFieldEntry* field = findField(tableName, fieldName);
    return field ? lineValue(field->LookupValues, key) : QString();
}

TMetaDictionary* MetaDictionary()
{
    return dictionarySlot().get();
}

void SetMetaDictionary(std::unique_ptr<TMetaDictionary> dictionary)
{
    dictionarySlot() = std::move(dictionary);
}

void TranslateTableLabel(const QString& tableName, TCustomPropList& custom)
{
    if (const TMetaDictionary* d = MetaDictionary()) {
        const QString label = d->TableLabel(tableName).trimmed();
        if (!label.isEmpty())
            custom.SetValues(QStringLiteral("Label"), label);
    }
}

void TranslateFieldLabel(const QString& tableName, const QString& fieldName,
                         TCustomPropList& custom)
{
    if (const TMetaDictionary* d = MetaDictionary()) {
        const QString label = d->TableFieldLabel(tableName, fieldName).trimmed();
        if (!label.isEmpty())
            custom.SetValues(QStringLiteral("Label"), label);
    }
}

void TranslateFieldCustom(const QString& tableName, const QString& fieldName,
                          TCustomPropList& custom)
{
    const TMetaDictionary* d = MetaDictionary();
    if (!d)
        return;
    const QString label = d->FieldLabel(tableName, fieldName).trimmed();
    if (!label.isEmpty())
        custom.SetValues(QStringLiteral("Label"), label);
    const QStringList keys = SplitLookupList(custom.Values(QStringLiteral("LookupKeys")));
    QStringList values = SplitLookupList(custom.Values(QStringLiteral("LookupValues")));
    for (qsizetype i = 0; i < keys.size() && i < values.size(); ++i) {
        const QString value = d->LookupValue(tableName, fieldName, keys.at(i));
        if (!value.trimmed().isEmpty())
            values[i] = value;
    }
    custom.SetValues(QStringLiteral("LookupKeys"), JoinLookupList(keys));
    custom.SetValues(QStringLiteral("LookupValues"), JoinLookupList(values));
}

TSchemaTools* SchemaTools()
{
    return registeredTools;
}

void SetSchemaTools(TSchemaTools* tools)
{
    registeredTools = tools;
}
