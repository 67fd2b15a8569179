// The ODBC driver: its connection strings and diagnostic codes by table, and the driver itself for
// real through the SQLite ODBC driver (connecting, parameters of every field type and long values,
// transactions, error entries, column types) and FreeTDS (a server that never answers).
#include <platform/data/field.h>
#include <platform/db/database.h>
#include <platform/db/odbcdriver.h>
#include <platform/db/sqlquery.h>

#include <support/db_helpers.h>
#include <support/qt_printers.h>

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace dbtest;
using namespace odbcdb;

namespace {

// Debian keeps ODBC drivers in /usr/lib/<triplet>/odbc.
QString findOdbcLibrary(const QString& file)
{
    const QDir lib("/usr/lib");
    for (const QString& triplet : lib.entryList({"*-linux-gnu*"}, QDir::Dirs)) {
        const QString path = lib.filePath(triplet + "/odbc/" + file);
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

// The SQLite ODBC driver as "SQLite3" and FreeTDS as "FreeTDS", registered in a private
// odbcinst.ini for this process; /etc is never touched. The driver manager reads the place of that
// file once, at its first call: this runs before any test.
class OdbcDriversEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        const QString sqlite = findOdbcLibrary("libsqlite3odbc.so");
        const QString tds = findOdbcLibrary("libtdsodbc.so");
        ASSERT_FALSE(sqlite.isEmpty() || tds.isEmpty())
            << "libsqliteodbc or tdsodbc is not installed: run scripts/setup";
        QFile ini(m_folder.filePath("odbcinst.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[SQLite3]\nDriver=%1\n\n[FreeTDS]\nDriver=%2\n")
                      .arg(sqlite, tds)
                      .toUtf8());
        ini.close();
        qputenv("ODBCSYSINI", QFile::encodeName(m_folder.path()));
        qunsetenv("ODBCINSTINI");
    }

private:
    QTemporaryDir m_folder;
};

[[maybe_unused]] ::testing::Environment* const odbcDrivers =
    ::testing::AddGlobalTestEnvironment(new OdbcDriversEnvironment);

class OdbcSqlite : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { registerDrivers(); }

    QString file() const { return m_dir.filePath("odbc.sqlite"); }

    // A connection string override pointing at the SQLite ODBC driver; `busyMs` is how long a
    // statement waits for another connection's lock.
    ConnectionParams params(int busyMs = 5000) const
    {
        ConnectionParams p;
        p.setValue(
            ConnectionStringParam,
            QStringLiteral("DRIVER={SQLite3};Database=%1;Timeout=%2").arg(file()).arg(busyMs));
        return p;
    }

    std::unique_ptr<DbConnection> connect(int busyMs = 5000) const
    {
        return DbDriver::find(MsSqlDriverName)->connect(params(busyMs));
    }

    // A database by driver name, as the program opens one.
    void useDatabase(Database& db) const
    {
        db.setDriverName(MsSqlDriverName);
        db.params().setValue(ConnectionStringParam, params().value(ConnectionStringParam));
    }

    QTemporaryDir m_dir;
};

EngineError errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EngineError& e) {
        return e;
    }
    ADD_FAILURE() << "no EngineError";
    return EngineError(QList<EngineError::Entry>{});
}

} // namespace

TEST(OdbcConnectionString, BuiltFromTheAliasParametersOrGivenWhole)
{
    ConnectionParams p;
    p.setValue(DbParam::ServerName, "labsrv\\CABINET");
    p.setValue(DbParam::DatabaseName, "Cabinet");
    p.setValue(DbParam::UserName, "sa");
    p.setValue(DbParam::Password, "pw");
    EXPECT_EQ(connectionString(ServerKind::MSSQL, p),
              "DRIVER={FreeTDS};SERVER=labsrv\\CABINET;"
              "DATABASE=Cabinet;TDS_Version=7.4;UID=sa;PWD=pw");
    // Oracle: the server name is the TNS name; there is no database name.
    EXPECT_EQ(connectionString(ServerKind::Oracle, p),
              "DRIVER={Oracle};DBQ=labsrv\\CABINET;UID=sa;PWD=pw");

    // Another driver: no FreeTDS keyword; empty parameters left out; dangerous values braced.
    p.setValue(OdbcDriverParam, "ODBC Driver 18 for SQL Server");
    p.remove(DbParam::DatabaseName);
    p.setValue(DbParam::UserName, " sa");
    p.setValue(DbParam::Password, "a;DATABASE=x}");
    EXPECT_EQ(connectionString(ServerKind::MSSQL, p),
              "DRIVER={ODBC Driver 18 for SQL Server};SERVER=labsrv\\CABINET;UID={ sa};"
              "PWD={a;DATABASE=x}}}");

    // A string given whole gets the login unless it names its own; braced values hide keywords.
    p.setValue(DbParam::UserName, "u");
    p.setValue(DbParam::Password, "p");
    p.setValue(ConnectionStringParam, "DSN=Lab;");
    EXPECT_EQ(connectionString(ServerKind::MSSQL, p), "DSN=Lab;UID=u;PWD=p");
    p.setValue(ConnectionStringParam, "Driver={X};uid=me;Pwd=secret");
    EXPECT_EQ(connectionString(ServerKind::Oracle, p), "Driver={X};uid=me;Pwd=secret");
    p.setValue(ConnectionStringParam, "Driver={X};Pwd={a;uid=b}");
    EXPECT_EQ(connectionString(ServerKind::MSSQL, p), "Driver={X};Pwd={a;uid=b};UID=u");
}

TEST(OdbcDiagnostics, CodesOfTheServersConditionsAndTheRecordsKept)
{
    const int Invalid = EngineCode::InvalidRequest, Open = EngineCode::CannotOpen;
    struct Case
    {
        Dbms dbms;
        const char* state;
        int native;
        const char* message;
        int fallback;
        int expected;
    } const cases[] = {
        // Deadlocks and lock time-outs, as each server says them.
        {Dbms::SqlServer, "40001", 1205, "deadlocked", Invalid, EngineCode::Locked},
        {Dbms::SqlServer, "HY000", 1222, "Lock request time out", Invalid, EngineCode::Locked},
        {Dbms::Oracle, "61000", 60, "ORA-00060: deadlock detected", Invalid, EngineCode::Locked},
        {Dbms::Oracle, "HY000", 54, "ORA-00054: resource busy", Invalid, EngineCode::Locked},
        {Dbms::Other, "40001", 0, "serialization failure", Invalid, EngineCode::Locked},
        // A native number means something only on its own server.
        {Dbms::Other, "HY000", 1222, "whatever", Invalid, Invalid},
        // Keys, required values, missing and existing objects.
        {Dbms::SqlServer, "23000", 2627, "Violation of PRIMARY KEY", Invalid,
         EngineCode::KeyViolation},
        {Dbms::Oracle, "23000", 1, "ORA-00001", Invalid, EngineCode::KeyViolation},
        {Dbms::SqlServer, "23000", 515, "Cannot insert NULL", Invalid, EngineCode::RequiredField},
        {Dbms::SQLite, "HY000", 19, "CHECK constraint failed: t (19)", Invalid, Invalid},
        {Dbms::Other, "23000", 0, "integrity constraint violation", Invalid, Invalid},
        {Dbms::Oracle, "42S02", 942, "ORA-00942", Invalid, EngineCode::NotFound},
        {Dbms::Other, "42S01", 0, "table exists", Invalid, EngineCode::AlreadyExists},
        // The link: refused while connecting, lost afterwards.
        {Dbms::Other, "08001", 0, "Unable to connect", Open, Open},
        {Dbms::SqlServer, "08S01", 20004, "Read from the server failed", Invalid,
         EngineCode::IoError},
        {Dbms::Other, "HYT00", 0, "Timeout expired", Open, Open},
    };
    for (const Case& c : cases) {
        const Diagnostic d{QString::fromLatin1(c.state), c.native, QString::fromUtf8(c.message)};
        EXPECT_EQ(engineCode(d, c.dbms, c.fallback), c.expected) << c.state << " " << c.native;
    }

    // The telling record comes first and none is lost.
    const QList<Diagnostic> records{
        {"01000", 5701, "Changed database context."},
        {"HY000", 3621, "The statement has been terminated."},
        {"40001", 1205, "Transaction was deadlocked."},
    };
    const EngineError e = engineError(records, Dbms::SqlServer, EngineCode::InvalidRequest,
                                      "Posting", "UPDATE  T\n SET A = ?");
    ASSERT_EQ(e.entries().size(), 4);
    EXPECT_EQ(e.errorCode(), 0x2B33);
    EXPECT_EQ(e.message(), "Posting: Transaction was deadlocked. (SQLSTATE 40001)");
    EXPECT_EQ(e.entries()[1].message, "Changed database context. (SQLSTATE 01000)");
    EXPECT_EQ(e.entries()[2].nativeError, 3621);
    EXPECT_EQ(e.entries()[3].message, "SQL: UPDATE T SET A = ?");

    // An error goes before a warning; a warning alone is still reported.
    const EngineError w = engineError({{"01000", 0, "a warning"}, {"08001", 0, "refused"}},
                                      Dbms::Other, EngineCode::CannotOpen);
    EXPECT_EQ(w.message(), "refused (SQLSTATE 08001)");
    const EngineError alone = engineError({{"01000", 0, "x"}}, Dbms::Other, EngineCode::CannotOpen);
    EXPECT_EQ(alone.errorCode(), EngineCode::CannotOpen);
}

TEST_F(OdbcSqlite, FailedConnectionsGiveClearErrorsWithoutThePassword)
{
    ConnectionParams p;
    p.setValue(ConnectionStringParam, "DRIVER={No Such Driver};Database=x");
    p.setValue(DbParam::Password, "Secret-42");
    const EngineError e = errorOf([&] { DbDriver::find(MsSqlDriverName)->connect(p); });
    EXPECT_EQ(e.errorCode(), EngineCode::CannotOpen);
    EXPECT_TRUE(e.message().startsWith("Cannot connect to the MSSQL database given by parameter "
                                       "ODBC CONNECTION STRING: "));
    EXPECT_TRUE(e.message().contains("No Such Driver")) << e.message().toStdString();
    for (const auto& entry : e.entries())
        EXPECT_FALSE(entry.message.contains("Secret-42"));
}

TEST_F(OdbcSqlite, TheLoginWaitsNoLongerThanItsTimeOut)
{
    // A server that takes the connection and never answers (the kernel completes the handshake
    // on its own): FreeTDS waits for its reply until the login time-out.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    ConnectionParams p;
    p.setValue(DbParam::ServerName, QStringLiteral("127.0.0.1,%1").arg(silent.serverPort()));
    p.setValue(DbParam::DatabaseName, "Cabinet");
    p.setValue(LoginTimeoutParam, "1");
    const EngineError e = errorOf([&] { DbDriver::find(MsSqlDriverName)->connect(p); });
    EXPECT_EQ(e.errorCode(), EngineCode::CannotOpen);
    EXPECT_TRUE(e.message().startsWith(QStringLiteral("Cannot connect to the MSSQL database "
                                                      "'Cabinet' on '127.0.0.1,%1' through ODBC "
                                                      "driver 'FreeTDS': ")
                                           .arg(silent.serverPort())));
    EXPECT_TRUE(e.message().contains("(SQLSTATE HYT00)")) << e.message().toStdString();
}

TEST_F(OdbcSqlite, ParametersOfEveryFieldTypeRoundTrip)
{
    auto c = connect();
    c->execute("CREATE TABLE T (ID INTEGER, S VARCHAR(40), M CLOB, I INTEGER, "
               "BIG INTEGER, B BOOLEAN, F FLOAT, C CURRENCY, D DATE, TM TIME, "
               "DT DATETIME, BL BLOB, G LONGVARBINARY)");
    const FieldType types[] = {FieldType::Integer, FieldType::String,   FieldType::Memo,
                               FieldType::Integer, FieldType::Integer,  FieldType::Boolean,
                               FieldType::Float,   FieldType::Currency, FieldType::Date,
                               FieldType::Time,    FieldType::DateTime, FieldType::Blob,
                               FieldType::Graphic};
    const QByteArray bytes("\x00\x01\x80\xFF\x7F\x00z", 7);
    const Currency money = Currency::fromDouble(12.3456);
    // 2026-12-06 is day 46362 (1900-01-01 is day 2; 126 years, 31 of them leap, and 339 days).
    const TDateTime moment = 46362 + (22 * 3600 + 10 * 60 + 46) / 86400.0;
    const Variant big = qint64(9007199254740993); // 2^53 + 1: no double holds it
    // Long values, read in pieces: 100 000 characters (200 KB as UTF-16) and 300 001 bytes.
    QString memo;
    for (int i = 0; memo.size() < 100000; ++i)
        memo += QStringLiteral("Résultat n°%1 ;\r\n").arg(i);
    memo.truncate(100000);
    QByteArray picture(300001, Qt::Uninitialized);
    for (int i = 0; i < picture.size(); ++i)
        picture[i] = char(i * 7 % 256);
    const QList<Variant> values{qint64(1),
                                "Élodie ✓",
                                memo,
                                qint64(-123),
                                big,
                                true,
                                0.1,
                                money,
                                Variant::fromDateTime(moment), // bound as a date: the day only
                                Variant::fromDateTime(3.5),    // as a time: 12:00:00
                                Variant::fromDateTime(moment),
                                bytes,
                                picture};
    auto ins = c->prepare("INSERT INTO T VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)");
    ASSERT_EQ(ins->parameterCount(), 13);
    for (int i = 0; i < 13; ++i)
        ins->bind(i, values[i], types[i]);
    EXPECT_FALSE(ins->step());
    EXPECT_EQ(ins->rowsAffected(), 1);

    // Every type NULL; an empty text stays a text on a server.
    ins->clearBindings();
    ins->bind(0, qint64(2), FieldType::Integer);
    ins->bind(2, QString(), FieldType::Memo);
    for (int i = 3; i < 13; ++i)
        ins->bind(i, Variant::null(), types[i]);
    EXPECT_FALSE(ins->step());

    // Without a field type each value goes by its own type (dates and times left out: a date-time
    // bound as such is not a date).
    ins->clearBindings();
    QList<Variant> untyped = values;
    untyped[0] = qint64(3);
    untyped[8] = untyped[9] = Variant::null();
    for (int i = 0; i < 13; ++i)
        ins->bind(i, untyped[i]);
    EXPECT_FALSE(ins->step());

    auto sel = c->prepare("SELECT * FROM T ORDER BY ID");
    ASSERT_TRUE(sel->step());
    QList<Variant> expected = values;
    expected[8] = Variant::fromDateTime(46362);
    expected[9] = Variant::fromDateTime(0.5);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(sel->columnValue(i, types[i]), expected[i]) << "column " << i;
    ASSERT_TRUE(sel->step());
    EXPECT_TRUE(sel->columnValue(1).isNull());
    EXPECT_EQ(sel->columnValue(2), QString());
    for (int i = 3; i < 13; ++i)
        EXPECT_TRUE(sel->columnValue(i, types[i]).isNull()) << "column " << i;
    ASSERT_TRUE(sel->step());
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(sel->columnValue(i, types[i]), untyped[i]) << "column " << i;
    EXPECT_FALSE(sel->step());

    // As another program reads the file: UTF-8 text, the stored date forms, whole integers.
    EXPECT_EQ(sqliteCli(file(), "SELECT hex(S) || '|' || D || '|' || TM || '|' || "
                                "BIG || '|' || hex(BL) || '|' || length(M) || '|' || length(G) "
                                "FROM T WHERE ID = 1;"),
              "C3896C6F64696520E29C93|2026-12-06|12:00:00|9007199254740993|000180FF7F007A|"
              "100000|300001");
}

// Commits and rollbacks over this driver run in the kernel's transaction tests; here, what the
// connection itself refuses and what closing it undoes.
TEST_F(OdbcSqlite, OneTransactionAtATimeAndClosingRollsBack)
{
    auto a = connect();
    auto b = connect();
    a->execute("CREATE TABLE T (ID INTEGER)");
    const auto ids = [&] {
        auto st = b->prepare("SELECT group_concat(ID) FROM (SELECT ID FROM T ORDER BY ID)");
        return st->step() ? st->columnValue(0).toString() : "?";
    };
    a->beginTransaction();
    a->execute("INSERT INTO T VALUES (2)");
    EXPECT_THROW(a->beginTransaction(), EngineError);
    EXPECT_EQ(ids(), "");
    a->commit();
    EXPECT_THROW(a->commit(), EngineError);
    EXPECT_EQ(ids(), "2");

    // A connection closed inside a transaction leaves nothing behind; so does a Database.
    a->beginTransaction();
    a->execute("INSERT INTO T VALUES (4)");
    a.reset();
    EXPECT_EQ(ids(), "2");
    Database db;
    useDatabase(db);
    db.startTransaction();
    db.execute("DELETE FROM T");
    db.close();
    EXPECT_EQ(ids(), "2");
}

TEST_F(OdbcSqlite, ErrorsBecomeEngineErrorEntries)
{
    auto c = connect();
    c->execute("CREATE TABLE T (ID INTEGER PRIMARY KEY, S VARCHAR(10) NOT NULL, "
               "U VARCHAR(10) UNIQUE)");

    // Drivers may put off preparing until the statement runs: the error comes from either.
    EngineError e = errorOf([&] { c->execute("SELEC 1"); });
    EXPECT_EQ(e.errorCode(), EngineCode::InvalidRequest);
    ASSERT_EQ(e.entries().size(), 2);
    EXPECT_TRUE(e.message().contains("near \"SELEC\": syntax error")) << e.message().toStdString();
    EXPECT_TRUE(e.message().endsWith("(SQLSTATE HY000)")) << e.message().toStdString();
    EXPECT_EQ(e.entries()[1].message, "SQL: SELEC 1");

    e = errorOf([&] { c->prepare("  ")->bind(0, qint64(1)); });
    EXPECT_EQ(e.message(), "Empty SQL statement");

    // A unique violation; the statement runs again with another value.
    c->execute("INSERT INTO T VALUES (1, 'a', 'x')");
    auto ins = c->prepare("INSERT INTO T VALUES (?, 'b', ?)");
    e = errorOf([&] { ins->bind(2, qint64(1)); });
    EXPECT_EQ(e.message(), "Parameter 3 out of range (the statement has 2)");
    ins->bind(0, qint64(2));
    ins->bind(1, "x");
    e = errorOf([&] { ins->step(); });
    EXPECT_EQ(e.errorCode(), EngineCode::KeyViolation);
    EXPECT_EQ(e.entries()[0].nativeError, 19);
    ins->bind(1, "y");
    EXPECT_FALSE(ins->step());

    e = errorOf([&] { c->execute("INSERT INTO T (ID) VALUES (5)"); });
    EXPECT_EQ(e.errorCode(), EngineCode::RequiredField);

    // Another connection holds the database: the write reports 0x2B33 after its busy time-out
    // and succeeds when run again once the holder has committed.
    c->beginTransaction();
    c->execute("INSERT INTO T VALUES (10, 'c', NULL)");
    auto other = connect(100);
    auto write = other->prepare("INSERT INTO T VALUES (11, 'd', NULL)");
    e = errorOf([&] { write->step(); });
    EXPECT_EQ(e.errorCode(), 0x2B33);
    EXPECT_TRUE(e.message().contains("database is locked")) << e.message().toStdString();
    c->commit();
    EXPECT_FALSE(write->step());
    EXPECT_EQ(sqliteCli(file(), "SELECT count(*) FROM T WHERE ID IN (10, 11);"), "2");
}

// The SQLite driver writes no output parameter of its own: each input-output parameter comes back
// as it went in, through the buffer the server would write into, once the statement's results
// have all been read; a pure output parameter comes back null.
TEST_F(OdbcSqlite, OutputParametersAreReadBackAfterTheLastResult)
{
    Database db;
    useDatabase(db);
    SqlQuery q;
    q.setDatabase(&db);
    q.setSql("SELECT :I, :F, :S, :D, :DT, :BL, :OUT");
    const Variant big = qint64(9007199254740993);
    // 2026-12-06 22:10:46 (day 46362, as above).
    const TDateTime moment = 46362 + (22 * 3600 + 10 * 60 + 46) / 86400.0;
    const QByteArray bytes("\x00\x01\x80\xFF", 4);
    const struct
    {
        const char* name;
        FieldType type;
        Variant value;
    } cases[] = {
        {"I", FieldType::Integer, big},
        {"F", FieldType::Float, 2.5},
        {"S", FieldType::String, QStringLiteral("Dupré")},
        {"D", FieldType::Date, Variant::fromDateTime(46362)},
        {"DT", FieldType::DateTime, Variant::fromDateTime(moment)},
        {"BL", FieldType::Blob, bytes},
    };
    for (const auto& c : cases) {
        Param& p = q.paramByName(c.name);
        p.setParamType(ParamType::InputOutput);
        p.setDataType(c.type);
        p.setValue(c.value);
    }
    q.paramByName("OUT").setParamType(ParamType::Output);
    q.paramByName("OUT").setDataType(FieldType::String);
    q.execSql();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Param& p = q.paramByName(c.name);
        EXPECT_EQ(p.dataType(), c.type);
        if (c.type == FieldType::Date || c.type == FieldType::DateTime)
            EXPECT_NEAR(p.asDateTime(), c.value.toDateTime(), 0.5 / 86400);
        else
            EXPECT_EQ(p.value(), c.value);
    }
    EXPECT_TRUE(q.paramByName("OUT").isNull());
}

TEST_F(OdbcSqlite, StatementsRunAgainAndCountTheirRows)
{
    auto c = connect();
    EXPECT_EQ(DbDriver::find(OracleDriverName)->connect(params())->driverName(), "ORACLE");
    c->execute("CREATE TABLE T (ID INTEGER, S VARCHAR(10))");
    EXPECT_EQ(c->tableNames(), QStringList{"T"});
    auto ins = c->prepare("INSERT INTO T VALUES (?, ?)");
    for (int i = 1; i <= 3; ++i) {
        ins->bind(0, qint64(i));
        ins->bind(1, QStringLiteral("r%1").arg(i));
        EXPECT_FALSE(ins->step());
    }
    // Bindings stay until cleared; cleared ones are NULL.
    ins->reset();
    EXPECT_FALSE(ins->step());
    ins->clearBindings();
    EXPECT_FALSE(ins->step());
    EXPECT_EQ(sqliteCli(file(), "SELECT count(*) || '|' || count(ID) FROM T;"), "5|4");
    EXPECT_EQ(c->execute("UPDATE T SET S = 'x' WHERE ID > 1"), 3);

    // Run again halfway through its rows, with another value.
    auto sel = c->prepare("SELECT ID FROM T WHERE ID <= ? ORDER BY ID");
    sel->bind(0, qint64(2));
    ASSERT_TRUE(sel->step());
    sel->bind(0, qint64(3));
    QList<qint64> ids;
    while (sel->step())
        ids.append(sel->columnValue(0).toInt64());
    EXPECT_EQ(ids, (QList<qint64>{1, 2, 3, 3}));

    // As the program connects: a database by driver name, statements with :NAME parameters.
    Database db;
    useDatabase(db);
    Params values;
    values.add("ID").setAsInteger(7);
    values.add("S").setAsString("Dupré");
    EXPECT_EQ(db.execute("INSERT INTO T VALUES (:ID, :S)", &values), 1);
    EXPECT_EQ(sqliteCli(file(), "SELECT ID || '|' || S FROM T WHERE ID = 7;"), "7|Dupré");
    // The query dataset makes its fields from the declared column types, known before it runs.
    SqlQuery q;
    q.setDatabase(&db);
    q.setSql("SELECT S, ID + 1 AS NEXT_ID FROM T WHERE ID = 7");
    q.open();
    EXPECT_EQ(q.fieldByName("S")->dataType(), FieldType::String);
    EXPECT_EQ(q.fieldByName("S")->size(), 10);
    EXPECT_EQ(q.fieldByName("S")->asString(), "Dupré");
}
