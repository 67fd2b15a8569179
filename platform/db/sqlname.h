// Names of tables, fields and indexes written into SQL text: always quoted, so names with blanks
// or of reserved words ("Date de naissance", "Date") stand as they are.
#pragma once

#include <QString>

inline QString quoteSqlName(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}
