// The ODBC driver on the unixODBC C API: the server kinds "MSSQL" (SQL Server, through FreeTDS
// by default) and "ORACLE" (through the site's Oracle ODBC driver). Only this driver's own .cpp
// sees ODBC's types.
//
// Connection string. When the parameter "ODBC CONNECTION STRING" is not empty it is used as it
// stands, and "UID" and "PWD" are added from "USER NAME" and "PASSWORD" when it names none of its
// own (so that the login still reaches a connection configured by hand). Otherwise the string is
// built from the alias parameters:
//   MSSQL   DRIVER={<"ODBC DRIVER", default FreeTDS>};SERVER=<SERVER NAME>;DATABASE=<DATABASE NAME>
//           SERVER NAME may be "host", "host,port" or "host\INSTANCE". With FreeTDS,
//           TDS_Version=7.4 is added: FreeTDS's automatic version probing ignores the login
//           time-out and waits without end on a server that does not answer. 7.4 is spoken by
//           SQL Server 2012 and later; an older server needs a connection string of its own.
//   ORACLE  DRIVER={<"ODBC DRIVER", default "Oracle">};DBQ=<SERVER NAME>
//           SERVER NAME is the TNS name. DATABASE NAME is not used: an Oracle user is its own
//           schema. The site registers its Oracle driver under the name "Oracle" in odbcinst.ini
//           or names it in "ODBC DRIVER".
//   then    UID=<USER NAME>;PWD=<PASSWORD>
// Empty parameters are left out. A value holding ';', '{' or '}', or blanks at either end, is
// written in braces with '}' doubled, so that no value can add keywords of its own.
//
// Other parameters: "LOGIN TIMEOUT" (seconds to wait for the login, default 15) and
// "MAX QUERY TIME" (seconds a statement may run before the driver cancels it, default 300; the
// practice software writes this parameter into its alias). A value that is not a positive number
// gives the default. "LANGDRIVER", "BLOB SIZE" and "BLOBS TO CACHE" are not used: text travels as
// UTF-16 through ODBC's wide functions, so no code page is involved on the way, and long texts and
// blobs are always read whole.
//
// The connection runs in auto-commit mode; an open transaction switches it to manual commit until
// its commit or rollback. Statements take positional "?" parameters; values are bound by field
// type (text as wide text, whole numbers as integers, floats and currency as doubles, dates,
// times and date-times as ODBC date and time values, blobs as bytes). Results give their values in
// the stored forms of storedvalue.h: Null, Integer, Double, String (also dates "YYYY-MM-DD",
// times "HH:MM:SS" and date-times "YYYY-MM-DD HH:MM:SS", with ".zzz" when there are
// milliseconds) or Bytes. Every row is read whole when it is fetched. Rows affected are the
// driver's count (-1 when it cannot tell). Over FreeTDS a connection carries one open result at a
// time: read a result to its end, or reset its statement, before running another statement on
// the same connection.
//
// Errors: every diagnostic record of a failed call becomes an EngineError entry with the driver's
// message, its SQLSTATE and the server's native error. The entry that names a condition of its own
// (a lock or deadlock, a key violation, ...) comes first; warnings come after errors.
#pragma once

#include <platform/db/driver.h>
#include <platform/db/serverkind.h>

namespace odbcdb {

inline const QString MsSqlDriverName = QStringLiteral("MSSQL");
inline const QString OracleDriverName = QStringLiteral("ORACLE");

inline const QString OdbcDriverParam = QStringLiteral("ODBC DRIVER");
inline const QString ConnectionStringParam = QStringLiteral("ODBC CONNECTION STRING");
inline const QString LoginTimeoutParam = QStringLiteral("LOGIN TIMEOUT");
inline const QString MaxQueryTimeParam = QStringLiteral("MAX QUERY TIME");

inline const QString DefaultMsSqlOdbcDriver = QStringLiteral("FreeTDS");
inline const QString DefaultOracleOdbcDriver = QStringLiteral("Oracle");
constexpr int DefaultLoginTimeoutSecs = 15;
constexpr int DefaultMaxQueryTimeSecs = 300;

// The connection string for a server kind and its parameters (rules above).
QString connectionString(ServerKind::Kind kind, const ConnectionParams& params);

// The drivers, named "MSSQL" and "ORACLE".
std::unique_ptr<DbDriver> makeDriver(ServerKind::Kind kind);
// Registers both drivers with DbDriver; called once at start-up.
void registerDrivers();

// ---- diagnostics

// The database system on the other end, told by the name it reports for itself; native error
// numbers mean something only for a known one.
enum class Dbms { Other, SqlServer, Oracle, SQLite };
Dbms dbmsOf(const QString& dbmsName);

// One diagnostic record of a failed call.
struct Diagnostic
{
    QString state; // the five-character SQLSTATE
    int nativeError = 0;
    QString message;
};

// The engine code of one record: a lock time-out or deadlock is 0x2B33, a unique violation
// KeyViolation, a missing required value RequiredField, a missing table or column NotFound, an
// existing one AlreadyExists, a lost link IoError (CannotOpen while connecting); anything else
// `fallbackCode` (InvalidRequest for statements, CannotOpen for connecting).
int engineCode(const Diagnostic& record, Dbms dbms, int fallbackCode = EngineCode::InvalidRequest);

// The engine error of a failed call: one entry per record (message "<driver's message> (SQLSTATE
// <state>)", the native error), the most telling one first, `context` (when given) put before its
// message, and `sql` (when given) as a last entry for the log.
EngineError engineError(const QList<Diagnostic>& records, Dbms dbms, int fallbackCode,
                        const QString& context = QString(), const QString& sql = QString());

} // namespace odbcdb
