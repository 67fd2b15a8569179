// The kinds of database server the program speaks to, told by the driver name of a database's
// alias; the kernel and the schema tools choose every statement of a dialect by it.
#pragma once

#include <QString>
#include <QtGlobal>

namespace ServerKind {

enum Kind : quint8 {
    Unknown = 0,  // another driver, or not known yet
    MSSQL = 1,    // Microsoft SQL Server, driver "MSSQL" (ODBC)
    Oracle = 2,   // Oracle, driver "ORACLE" (ODBC)
    Standard = 3, // the local kind, driver "STANDARD" (SQLite)
};

// The kind of a driver name, exactly as spelled: "STANDARD" 3, "MSSQL" 1, "ORACLE" 2, anything
// else 0.
inline Kind ofDriverName(const QString& driverName)
{
    if (driverName == QLatin1String("STANDARD"))
        return Standard;
    if (driverName == QLatin1String("MSSQL"))
        return MSSQL;
    if (driverName == QLatin1String("ORACLE"))
        return Oracle;
    return Unknown;
}

} // namespace ServerKind
