// Built-in SQL macros per server kind and the merge of META_MACRO rows into them. The result feeds
// TMacroInfo::SetText; the access component reads META_MACRO and passes its rows here.
#include "macros.h"

#include <algorithm>

namespace {

struct MacroLine
{
    QString line;
    bool yields; // a stand-in that a META_MACRO row of the same name replaces silently
};

QList<MacroLine> builtInLines(ServerKind::Kind serverKind, bool booleanAsChar)
{
    switch (serverKind) {
    case ServerKind::MSSQL:
        return {{"%add=+", false},
                {"%coalesce=coalesce(%1,%2)", false},
                {"%join=", false},
                {"%user=user_id()", false},
                {booleanAsChar ? "%true='T'" : "%true=1", false},
                {booleanAsChar ? "%false='F'" : "%false=0", false},
                {"%case=case %1 when %2 then %3 else %4 end", false}};
    case ServerKind::Oracle:
        return {{"%add=||", false},
                {"%coalesce=NVL(%1,%2)", false},
                {"%join=(+)", false},
                {"%user=uid", false},
                {"%true='T'", false},
                {"%false='F'", false},
                {"%case=DECODE(%1,%2,%3,%4)", false}};
    case ServerKind::Standard: // on SQLite: "+" would add strings as numbers there
        return {{"%add=||", false},
                {"%join=", false},
                {"%coalesce=coalesce(%1,%2)", true},
                {booleanAsChar ? "%true='T'" : "%true=1", true},
                {booleanAsChar ? "%false='F'" : "%false=0", true},
                {"%case=case %1 when %2 then %3 else %4 end", true}};
    default:
        return {};
    }
}

QString namePart(const QString& line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? line : line.left(eq);
}

// One blank for each line break, whichever convention the value was stored with.
QString oneLine(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\r')) {
            out += QLatin1Char(' ');
            if (i + 1 < value.size() && value.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1Char(' ');
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QStringList BuildMacroLines(ServerKind::Kind serverKind, bool booleanAsChar,
                            const QList<QPair<QString, QString>>& metaMacroRows,
                            const std::function<void(const QString&)>& warn)
{
    QList<MacroLine> lines = builtInLines(serverKind, booleanAsChar);
    for (const auto& row : metaMacroRows) {
        const QString& code = row.first;
        const QString line = code + QLatin1Char('=') + oneLine(row.second);
        auto it = std::find_if(lines.begin(), lines.end(), [&code](const MacroLine& l) {
            return namePart(l.line).compare(code, Qt::CaseInsensitive) == 0;
        });
        if (it == lines.end()) {
            lines.append({line, false});
        } else if (it->yields) {
            *it = {line, false};
        } else if (warn) {
            warn(QStringLiteral("Duplicate macros ") + code +
                 QStringLiteral(" - the system macros kept, the stat module macros will be "
                                "inaccessible."));
        }
    }
    QStringList out;
    out.reserve(lines.size());
    for (const MacroLine& l : lines)
        out.append(l.line);
    return out;
}
