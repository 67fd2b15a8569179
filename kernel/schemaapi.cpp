// Multi-language label extraction, the metadata label translators (without a dictionary in this
// program) and the registration of the schema tools.
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

void TranslateTableLabel(const QString&, TCustomPropList&)
{
}

void TranslateFieldLabel(const QString&, const QString&, TCustomPropList&)
{
}

void TranslateFieldCustom(const QString&, const QString&, TCustomPropList&)
{
}

TSchemaTools* SchemaTools()
{
    return registeredTools;
}

void SetSchemaTools(TSchemaTools* tools)
{
    registeredTools = tools;
}
