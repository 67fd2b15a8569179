// Column types per server kind and the creation statements of tables and indexes.
#include "ddltext.h"
#include "sqlnames.h"

#include <kernel/dbaccess.h>

namespace {

QString sized(const char* format, int n)
{
    return QString::fromLatin1(format).arg(n);
}

// A character column of `width` characters: the local kind keeps 256 and more as a memo of 240.
QString textType(ServerKind::Kind kind, int width)
{
    switch (kind) {
    case ServerKind::MSSQL:
        return sized("VARCHAR(%1) ", width);
    case ServerKind::Oracle:
        return sized("VARCHAR2(%1) ", width);
    case ServerKind::Standard:
        return width >= 256 ? sized("BLOB(%1, 1)", 240) : sized("VARCHAR(%1) ", width);
    default:
        return QString();
    }
}

// One text per server kind: MS SQL Server, Oracle, local.
QString byKind(ServerKind::Kind kind, const char* mssql, const char* oracle, const char* local)
{
    switch (kind) {
    case ServerKind::MSSQL:
        return QString::fromLatin1(mssql);
    case ServerKind::Oracle:
        return QString::fromLatin1(oracle);
    case ServerKind::Standard:
        return QString::fromLatin1(local);
    default:
        return QString();
    }
}

} // namespace

QString ColumnTypeText(ServerKind::Kind kind, TDataType type, int size, int precision,
                       bool booleanAsChar)
{
    switch (type) {
    case dtUnknown:
        return QString();
    case dtInteger:
    case dtAutoinc:
        return byKind(kind, "INT", "INT", "INTEGER");
    case dtString:
        return textType(kind, size);
    case dtLangString:
        return textType(kind, LangStringSize(size));
    case dtDateTime:
    case dtTime:
        return byKind(kind, "DATETIME", "DATE", "TIMESTAMP");
    case dtDate:
        return byKind(kind, "DATETIME", "DATE", "DATE");
    case dtMoney:
        return byKind(kind, "MONEY", "NUMERIC(20,6)", "MONEY");
    case dtNumeric:
        return kind == ServerKind::Unknown
                   ? QString()
                   : QStringLiteral("NUMERIC(%1,%2)").arg(size).arg(precision);
    case dtMemo:
        return kind == ServerKind::Standard ? sized("BLOB(%1, 1)", size)
                                            : byKind(kind, "TEXT", "CLOB", "");
    case dtBlob:
        return kind == ServerKind::Standard ? sized("BLOB(%1, 2)", size)
                                            : byKind(kind, "IMAGE", "BLOB", "");
    case dtBoolean:
        return booleanAsChar ? byKind(kind, "VARCHAR(1)", "VARCHAR2(1)", "VARCHAR(1)")
                             : byKind(kind, "BIT", "VARCHAR2(1)", "BOOLEAN");
    case dtGraphic:
        return byKind(kind, "IMAGE", "BLOB", "BLOB(1,5)");
    case dtCours:
        return byKind(kind, "NUMERIC(20,6)", "NUMERIC(20,6)", "NUMERIC(20,6)");
    case dtTaux:
        return byKind(kind, "NUMERIC(9,6)", "NUMERIC(9,6)", "NUMERIC(9,6)");
    }
    return QString();
}

QString ColumnDefinition(ServerKind::Kind kind, const TFieldItem& field, bool booleanAsChar)
{
    const QString text =
        QLatin1Char(' ') + SqlName(field.FieldName, kind) + QLatin1Char(' ') +
        ColumnTypeText(kind, field.DataType, field.Size, field.Precision, booleanAsChar);
    if (kind == ServerKind::Standard)
        return text + QLatin1Char(' ');
    return text + (field.Options.testFlag(foRequired) ? QStringLiteral(" NOT ") : QString()) +
           QStringLiteral(" NULL ");
}

QStringList CreateTableLines(ServerKind::Kind kind, const TTableStruct& table, bool booleanAsChar)
{
    QStringList lines{QStringLiteral("create table ") + SqlName(table.TableName(), kind) +
                      QLatin1Char('(')};
    const int count = table.Fields().Count();
    for (int i = 0; i < count; ++i) {
        QString line =
            QLatin1Char(' ') + ColumnDefinition(kind, *table.Fields().Items(i), booleanAsChar);
        if (i < count - 1)
            line += QLatin1Char(',');
        lines.append(line);
    }
    const QString key = table.KeyFields();
    if (kind == ServerKind::Standard && !key.isEmpty())
        lines.append(QStringLiteral(",primary key(") + SqlNameList(key, kind) + QLatin1Char(')'));
    lines.append(QStringLiteral(")"));
    return lines;
}

QString CreateIndexText(ServerKind::Kind kind, const QString& tableName, const TIndexItem& item,
                        const QString& indexName)
{
    const QString table = SqlName(tableName, kind);
    QString text;
    if (item.Options.testFlag(idxPrimary)) {
        text = QStringLiteral("alter table %1 add constraint %2 primary key ")
                   .arg(table, SqlName(QStringLiteral("PK_") + tableName, kind));
        if (kind == ServerKind::MSSQL && !item.Options.testFlag(idxClastered))
            text += QStringLiteral("nonclustered ");
    } else {
        text = QStringLiteral("create ");
        if (item.Options.testFlag(idxUnique))
            text += QStringLiteral("unique ");
        if (item.Options.testFlag(idxClastered) && kind == ServerKind::MSSQL)
            text += QStringLiteral("clustered ");
        text +=
            QStringLiteral("index ") + SqlName(indexName, kind) + QStringLiteral(" on ") + table;
    }
    return text + QLatin1Char('(') + SqlNameList(item.IndexFields, kind) + QLatin1Char(')');
}

QString LocalIndexFields(const QString& indexFields)
{
    QStringList names = indexFields.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& n : names)
        n = n.trimmed();
    return names.join(QLatin1Char(';'));
}
