// The name rules of the server kinds, the words their reserved-word lists run together, and names
// written quoted in the statements of the schema tools.
#include "sqlnames.h"

#include <kernel/reswords.h>
#include <platform/db/sqlitedriver.h>

#include <QStringList>

namespace {

bool isLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// What a kind takes besides letters and digits, first and further on, and its length limit.
struct NameRule
{
    int maxLength; // 0: none
    QLatin1StringView first;
    QLatin1StringView more;
    QLatin1StringView text;
};

const NameRule* nameRule(ServerKind::Kind kind)
{
    static const NameRule msSql{
        128, QLatin1StringView("_"), QLatin1StringView("_@#$"),
        QLatin1StringView(
            "up to 128 letters A-Z, digits, _, @, # and $, beginning with a letter or _")};
    static const NameRule oracle{
        30, QLatin1StringView(), QLatin1StringView("_$#"),
        QLatin1StringView("up to 30 letters A-Z, digits, _, $ and #, beginning with a letter")};
    static const NameRule local{
        0, QLatin1StringView("_"), QLatin1StringView("_"),
        QLatin1StringView("letters A-Z, digits and _, not beginning with a digit")};
    switch (kind) {
    case ServerKind::MSSQL:
        return &msSql;
    case ServerKind::Oracle:
        return &oracle;
    case ServerKind::Standard:
        return &local;
    default:
        return nullptr;
    }
}

// The entries of the reserved-word lists that are two words run together, with the words they
// hold. The lists of MS SQL Server are kept in three columns read across, where a word at the end
// of a column ran into the word beside it; Oracle's list is one alphabetical column.
struct JoinedEntry
{
    const char* entry;
    const char* words[2];
};

const JoinedEntry msSqlJoined[] = {
    {"FORPROCESSEXIT", {"FOR", "PROCESSEXIT"}},
    {"READTEXTBEGIN", {"READTEXT", "BEGIN"}},
    {"HAVINGRESTORE", {"HAVING", "RESTORE"}},
    {"RIGHTCHECKPOINT", {"RIGHT", "CHECKPOINT"}},
    {"SAVECOMMIT", {"SAVE", "COMMIT"}},
    {"SERIALIZABLECONFIRM", {"SERIALIZABLE", "CONFIRM"}},
    {"CONSTRAINTJOIN", {"CONSTRAINT", "JOIN"}},
    {"CONVERTLIKE", {"CONVERT", "LIKE"}},
    {"MIRROREXITTEMPORARY", {"MIRROREXIT", "TEMPORARY"}},
    {"NOTTOP", {"NOT", "TOP"}},
    {"TSEQUALDELETE", {"TSEQUAL", "DELETE"}},
    {"UPDATETEXTDISTRIBUTED", {"UPDATETEXT", "DISTRIBUTED"}},
    {"OUTERWAITFOR", {"OUTER", "WAITFOR"}},
    {"EXECPLAN", {"EXEC", "PLAN"}},
};

const JoinedEntry oracleJoined[] = {
    {"ARRAYAS", {"ARRAY", "AS"}},
    {"CREATECURRENT", {"CREATE", "CURRENT"}},
    {"DODROP", {"DO", "DROP"}},
    {"FROMGROUP", {"FROM", "GROUP"}},
    {"MLSLABELMODE", {"MLSLABEL", "MODE"}},
    {"SELECTSET", {"SELECT", "SET"}},
    {"TOTRIGGER", {"TO", "TRIGGER"}},
    {"UPDATEUSER", {"UPDATE", "USER"}},
};

bool isJoinedWord(const QString& name, ServerKind::Kind kind)
{
    const auto find = [&name](const auto& entries) {
        for (const JoinedEntry& e : entries) {
            for (const char* word : e.words) {
                if (name.compare(QLatin1StringView(word), Qt::CaseInsensitive) == 0)
                    return true;
            }
        }
        return false;
    };
    // Every word is plain ASCII: a name with any other character is none of them.
    for (const QChar c : name) {
        if (c.unicode() > 0x7F)
            return false;
    }
    switch (kind) {
    case ServerKind::MSSQL:
        return find(msSqlJoined);
    case ServerKind::Oracle:
        return find(oracleJoined);
    default:
        return false;
    }
}

} // namespace

bool IsPlainName(const QString& name, ServerKind::Kind kind)
{
    const NameRule* rule = nameRule(kind);
    if (!rule)
        return true;
    if (name.isEmpty() || (rule->maxLength > 0 && name.size() > rule->maxLength))
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool taken =
            isLetter(c) || (i > 0 && isDigit(c)) || (i == 0 ? rule->first : rule->more).contains(c);
        if (!taken)
            return false;
    }
    return true;
}

QString PlainNameRule(ServerKind::Kind kind)
{
    const NameRule* rule = nameRule(kind);
    return rule ? QString(rule->text) : QString();
}

int MaxNameLength(ServerKind::Kind kind)
{
    const NameRule* rule = nameRule(kind);
    return rule ? rule->maxLength : 0;
}

bool IsReservedName(const QString& name, ServerKind::Kind kind)
{
    return IsReservedWord(name, kind) || isJoinedWord(name, kind);
}

QString SqlName(const QString& name, ServerKind::Kind kind)
{
    // SQLite knows more keywords than the list kept for new names: it tells which itself.
    if (name.isEmpty() || !nameRule(kind) ||
        (IsPlainName(name, kind) && !IsReservedName(name, kind) &&
         !(kind == ServerKind::Standard && sqlitedb::isKeyword(name))))
        return name;
    if (kind == ServerKind::MSSQL)
        return QLatin1Char('[') + QString(name).replace(QLatin1Char(']'), QLatin1String("]]")) +
               QLatin1Char(']');
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QString SqlNameList(const QString& names, ServerKind::Kind kind)
{
    QStringList parts = names.split(QLatin1Char(','));
    bool quoted = false;
    for (QString& part : parts) {
        const QString name = part.trimmed();
        const QString written = SqlName(name, kind);
        if (written == name)
            continue;
        const qsizetype at = part.indexOf(name);
        part.replace(at, name.size(), written);
        quoted = true;
    }
    return quoted ? parts.join(QLatin1Char(',')) : names;
}
