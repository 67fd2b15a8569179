// The SQLite driver, connections, transactions and SQL queries, with the files checked by the
// sqlite3 command-line tool; the stored date and time texts; the parameter scanner.
#include "dataset_helpers.h"

#include <platform/codepage.h>
#include <platform/db/alias.h>
#include <platform/db/params.h>
#include <platform/db/sqlquery.h>
#include <platform/db/storedvalue.h>
#include <platform/uitexts.h>

#include <support/db_helpers.h>

#include <QDir>
#include <QFile>

#include <optional>

using namespace dbtest;
using namespace testdata;

namespace {

// The first column of a statement's rows, read through a query.
QStringList rows(Database& db, const QString& sql)
{
    SqlQuery q;
    q.setDatabase(&db);
    q.setSql(sql);
    q.open();
    QStringList out;
    for (; !q.eof(); q.next())
        out.append(q.field(0)->asString());
    return out;
}

// 2024-02-29 and 13:45:30, as days since 1899-12-30 (worked out by hand: 2024-01-01 is 45292).
constexpr double LeapDay = 45351;
constexpr double HalfPastOne = (13 * 3600 + 45 * 60 + 30) / 86400.0;

const QString ItemsTable = QStringLiteral(
    "CREATE TABLE T (ID INTEGER, NAME VARCHAR(20), BORN DATE, AT TIME, STAMP DATETIME, "
    "OK BOOLEAN, PRICE CURRENCY, RATE FLOAT, DATA BLOB)");

TEST(DbSqlite, LocalDatabaseIsOneWalFileAndStandardOneUsesTheRollbackJournal)
{
    LocalDb local;
    EXPECT_EQ(local.file(), QDir(local.dir.path()).filePath("quorvane.sqlite"));
    EXPECT_TRUE(local.db.isLocal());
    EXPECT_EQ(local.cli("PRAGMA journal_mode;"), "wal");
    EXPECT_EQ(rows(local.db, "PRAGMA synchronous"), QStringList{"2"}); // FULL: commits are durable

    QTemporaryDir dir;
    Database standard;
    standard.setDriverName("STANDARD");
    standard.params().setValue(DbParam::Path, dir.path());
    // A STANDARD database that is not there is an error, not a new empty database.
    EXPECT_EQ(engineCodeOf([&] { standard.open(); }), EngineCode::CannotOpen);
    EXPECT_FALSE(standard.isConnected());
    standard.params().setValue("create", "TRUE");
    standard.open();
    standard.execute("CREATE TABLE X (A INTEGER)");
    EXPECT_EQ(sqliteCli(standard.databaseFile(), "PRAGMA journal_mode;"), "delete");
}

TEST(DbSqlite, ValuesAreStoredInTheirTextAndNumberFormsAndReadBackTyped)
{
    LocalDb local;
    local.db.execute(ItemsTable);
    Params p(parseSqlParams(QStringLiteral(
        "insert into T values (:ID, :NAME, :BORN, :AT, :STAMP, :OK, :PRICE, :RATE, :DATA)")));
    p.paramByName("ID").setAsInteger(1);
    p.paramByName("NAME").setAsString("Zoé");
    p.paramByName("BORN").setAsDate(LeapDay);
    p.paramByName("AT").setAsTime(HalfPastOne);
    p.paramByName("STAMP").setAsDateTime(LeapDay + HalfPastOne);
    p.paramByName("OK").setAsBoolean(true);
    p.paramByName("PRICE").setAsCurrency(Currency{125000});
    p.paramByName("RATE").setAsFloat(0.25);
    p.paramByName("DATA").setAsBlob(QByteArray("\x01\x02", 2));
    EXPECT_EQ(local.db.execute("insert into T values (:ID, :NAME, :BORN, :AT, "
                               ":STAMP, :OK, :PRICE, :RATE, :DATA)",
                               &p),
              1);
    EXPECT_EQ(local.cli("select ID, NAME, BORN, AT, STAMP, OK, PRICE, RATE, "
                        "hex(DATA), typeof(PRICE) from T;"),
              "1|Zoé|2024-02-29|13:45:30|2024-02-29 13:45:30|1|12.5|0.25|0102|real");

    SqlQuery q;
    q.setDatabase(&local.db);
    q.setSql("select * from T");
    q.open();
    using T = FieldType;
    const FieldType types[] = {T::Integer, T::String,   T::Date,  T::Time, T::DateTime,
                               T::Boolean, T::Currency, T::Float, T::Blob};
    ASSERT_EQ(q.fieldCount(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(q.field(i)->dataType(), types[i]) << i;
    EXPECT_EQ(q.fieldByName("NAME")->size(), 20);
    EXPECT_EQ(q.fieldByName("NAME")->asString(), "Zoé");
    EXPECT_EQ(q.fieldByName("BORN")->asDateTime(), LeapDay);
    EXPECT_NEAR(q.fieldByName("AT")->asDateTime(), HalfPastOne, 1e-9);
    EXPECT_NEAR(q.fieldByName("STAMP")->asDateTime(), LeapDay + HalfPastOne, 1e-9);
    EXPECT_TRUE(q.fieldByName("OK")->asBoolean());
    EXPECT_EQ(q.fieldByName("PRICE")->asCurrency().scaled, 125000);
    EXPECT_EQ(q.fieldByName("DATA")->asBytes(), QByteArray("\x01\x02", 2));
    EXPECT_FALSE(q.canModify());
    EXPECT_THROW(q.edit(), EDBEditError);
}

TEST(DbSqlite, QueryBindsNamedParametersAndWalksALargeResultBothWays)
{
    LocalDb local;
    local.db.execute("create table T (ID integer, NAME varchar(10))");
    SqlQuery ins;
    ins.setDatabase(&local.db);
    ins.setSql("insert into T (ID, NAME) values (:ID, 'n' || :ID)");
    ASSERT_EQ(ins.params().count(), 1);
    local.db.startTransaction();
    for (int i = 1; i <= 250; ++i) {
        ins.paramByName("ID").setAsInteger(i);
        ins.execSql();
        ASSERT_EQ(ins.rowsAffected(), 1);
    }
    local.db.commit();
    EXPECT_EQ(local.cli("select count(*), max(NAME) from T where ID > 240;"), "10|n250");

    SqlQuery q;
    q.setDatabase(&local.db);
    q.setSql("select ID, count(*) over () as N from T where ID > :MIN order by ID");
    // A parameter never given a value is refused, not taken for NULL.
    EXPECT_EQ(messageOf<Exception>([&] { q.open(); }), "No value for parameter 'MIN'");
    q.paramByName("min").setAsInteger(10);
    q.open();
    EXPECT_EQ(q.fieldByName("N")->dataType(), FieldType::Integer);
    EXPECT_EQ(q.fieldByName("ID")->asInteger(), 11);
    q.last();
    EXPECT_EQ(q.fieldByName("ID")->asInteger(), 250);
    q.prior();
    EXPECT_EQ(q.fieldByName("ID")->asInteger(), 249);
    EXPECT_EQ(q.recordCount(), 240);

    // A new text keeps the values of the parameters that remain.
    q.setSql("select ID from T where ID > :MIN and ID <= :MAX");
    EXPECT_FALSE(q.isActive());
    EXPECT_EQ(q.params().names(), (QStringList{"MIN", "MAX"}));
    EXPECT_EQ(q.paramByName("MIN").asInteger(), 10);
    q.paramByName("MAX").setAsInteger(12);
    q.open();
    EXPECT_EQ(q.recordCount(), 2);
    // Without parameter checking the text reaches the engine as written (and SQLite leaves its
    // own unbound parameter null).
    q.setParamCheck(false);
    EXPECT_TRUE(q.params().isEmpty());
    q.setSql("select coalesce(:MIN, 'as written') as A");
    q.open();
    EXPECT_EQ(q.field(0)->asString(), "as written");

    // Two statements in one text would leave the second undone: refused, and nothing runs.
    EXPECT_EQ(engineCodeOf([&] { local.db.execute("delete from T where ID = 1; delete from T"); }),
              EngineCode::InvalidRequest);
    local.db.execute("delete from T where ID = 0; -- nothing follows\n");

    // A statement without rows cannot be opened, and is not run by trying.
    SqlQuery del;
    del.setDatabase(&local.db);
    del.setSql("delete from T");
    EXPECT_THROW(del.open(), EngineError);
    EXPECT_EQ(local.cli("select count(*) from T;"), "250");
}

// A statement run with execSql and kept prepared runs again with the next values; a failed run, a
// new text or another database starts afresh.
TEST(DbSqlite, ExecSqlRunsItsStatementAgainWhereverTheQueryPointsNow)
{
    LocalDb local;
    local.db.execute("create table T (ID integer primary key, NAME varchar(10))");
    SqlQuery ins;
    ins.setDatabase(&local.db);
    ins.setKeepPrepared(true);
    ins.setSql("insert into T values (:ID, :NAME)");
    ins.paramByName("NAME").setAsString("a");
    for (const int id : {1, 2}) {
        ins.paramByName("ID").setAsInteger(id);
        ins.execSql();
    }
    EXPECT_THROW(ins.execSql(), EngineError);
    ins.paramByName("ID").setAsInteger(3);
    ins.execSql();
    EXPECT_EQ(local.cli("select group_concat(ID) from T;"), "1,2,3");

    LocalDb other;
    other.db.execute("create table T (ID integer primary key, NAME varchar(10))");
    ins.setDatabase(&other.db);
    ins.execSql();
    // A table changed under the statement: SQLite prepares it again by itself.
    other.db.execute("alter table T add column X integer");
    ins.setSql("insert into T (ID, NAME) values (:ID, :NAME)");
    ins.paramByName("ID").setAsInteger(4);
    ins.execSql();
    EXPECT_EQ(other.cli("select group_concat(ID) from T;"), "3,4");
    EXPECT_EQ(local.cli("select count(*) from T;"), "3");

    // SQLite has no output parameters.
    SqlQuery out;
    out.setDatabase(&local.db);
    out.setSql("select :A");
    out.paramByName("A").setParamType(ParamType::Output);
    EXPECT_EQ(messageOf<EngineError>([&] { out.execSql(); }),
              "The database driver has no output parameters");
}

TEST(DbSqlite, TransactionsAndAWriterMeetingAnotherOne)
{
    LocalDb first;
    first.db.execute("create table T (A integer)");
    first.db.startTransaction();
    first.db.execute("insert into T values (0)");
    first.db.rollback();
    EXPECT_FALSE(first.db.inTransaction());

    // The second writer reports busy after its time-out, and succeeds once the first commits.
    Database second;
    second.setLocalFolder(first.dir.path());
    second.params().setValue(DbParam::BusyTimeout, "50");
    second.open();

    first.db.startTransaction();
    first.db.execute("insert into T values (1)");
    EXPECT_EQ(engineCodeOf([&] { second.execute("insert into T values (2)"); }),
              EngineCode::Locked);
    EXPECT_EQ(engineCodeOf([&] { second.startTransaction(); }), EngineCode::Locked);
    EXPECT_FALSE(second.inTransaction());
    // The wait can be shortened for a while: none at all here.
    DbConnection& waiting = second.connection();
    EXPECT_EQ(waiting.busyTimeout(), 50);
    waiting.setBusyTimeout(0);
    EXPECT_EQ(engineCodeOf([&] { second.execute("insert into T values (2)"); }),
              EngineCode::Locked);
    waiting.setBusyTimeout(50);
    first.db.commit();
    second.execute("insert into T values (2)");
    EXPECT_EQ(first.cli("select group_concat(A) from T;"), "1,2");

    // Closing with a transaction open undoes it.
    first.db.startTransaction();
    first.db.execute("insert into T values (3)");
    first.db.close();
    EXPECT_EQ(second.execute("delete from T where A = 3"), 0);
}

// A connection keeps the statements its users are done with and hands them out again for the
// same text: each comes back reset (no lock held, no rows left over), without its old values,
// and following the schema as another program changes it.
TEST(DbSqlite, StatementsPreparedAgainStartAfresh)
{
    QTemporaryDir dir;
    Database db;
    db.setDriverName("STANDARD"); // a rollback journal: a reader left running blocks writers
    db.params().setValue(DbParam::Path, dir.path());
    db.params().setValue("create", "TRUE");
    db.open();
    const QString file = db.databaseFile();
    db.execute("CREATE TABLE T (A INTEGER)");
    db.execute("INSERT INTO T VALUES (1), (2), (3)");
    const QString sql = "SELECT A FROM T WHERE A >= ? ORDER BY A";
    const auto all = [&](std::optional<int> from) {
        auto st = db.connection().prepare(sql);
        if (from)
            st->bind(0, *from);
        QStringList out;
        while (st->step())
            out.append(st->columnValue(0).toString());
        return out;
    };

    {
        auto st = db.connection().prepare(sql);
        st->bind(0, 2);
        ASSERT_TRUE(st->step()); // left half read
    }
    sqliteCli(file, "INSERT INTO T VALUES (4);"); // not locked out by the statement put aside
    EXPECT_EQ(all(std::nullopt), QStringList());  // A >= NULL: the old value is gone
    EXPECT_EQ(all(1), QStringList({"1", "2", "3", "4"}));

    sqliteCli(file, "DROP TABLE T; CREATE TABLE T (Z TEXT, A INTEGER); INSERT INTO T VALUES "
                    "('x', 7);");
    EXPECT_EQ(all(1), QStringList({"7"}));
    sqliteCli(file, "DROP TABLE T;");
    EXPECT_EQ(engineCodeOf([&] { all(1); }), engineCodeOf([&] { db.execute("SELECT A FROM T"); }));
    EXPECT_NE(engineCodeOf([&] { all(1); }), 0);

    // A statement still held when the connection closes is let go afterwards.
    db.execute("CREATE TABLE U (B INTEGER)");
    auto held = db.connection().prepare("SELECT count(*) FROM U");
    for (int i = 0; i < 40; ++i) // more texts than are kept
        db.connection().prepare(QStringLiteral("SELECT %1 FROM U").arg(i));
    ASSERT_TRUE(held->step());
    EXPECT_EQ(held->columnValue(0).toInt(), 0);
    db.close();
    held.reset();
}

TEST(DbSqlite, DamagedFilesGiveTheDamagedTableCodes)
{
    // Not a database at all.
    QTemporaryDir dir;
    writeFileBytes(dir.filePath("quorvane.sqlite"), QByteArray(8192, 'x'));
    Database db;
    db.setLocalFolder(dir.path());
    const int notADatabase = engineCodeOf([&] { db.open(); });
    EXPECT_TRUE(EngineCode::isDamagedTable(notADatabase)) << std::hex << notADatabase;
    EXPECT_EQ(readFileBytes(dir.filePath("quorvane.sqlite")), QByteArray(8192, 'x'));

    // A database whose table pages were overwritten.
    QTemporaryDir dir2;
    {
        Database made;
        made.setDriverName("STANDARD");
        made.params().setValue(DbParam::Path, dir2.path());
        made.params().setValue("CREATE", "TRUE");
        made.execute("create table T (A integer, B varchar(100))");
        made.startTransaction();
        for (int i = 0; i < 2000; ++i)
            made.execute(QStringLiteral("insert into T values (%1, '%2')")
                             .arg(i)
                             .arg(QString(60, QLatin1Char('a' + i % 26))));
        made.commit();
    }
    QFile f(dir2.filePath("quorvane.sqlite"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_GT(f.size(), 8 * 4096);
    f.seek(4096 * 4);
    f.write(QByteArray(4096 * 3, char(0xA5)));
    f.close();
    Database broken;
    broken.setDriverName("STANDARD");
    broken.params().setValue(DbParam::Path, dir2.path());
    const int code = engineCodeOf([&] { rows(broken, "select sum(A), sum(length(B)) from T"); });
    EXPECT_TRUE(EngineCode::isDamagedTable(code)) << std::hex << code;
}

TEST(DbSqlite, FoldingCollationAndCaseFunctionsKnowTheCodePage)
{
    LocalDb local;
    local.db.execute("create table N (NAME varchar(20))");
    local.db.execute("create unique index N_FOLD on N (NAME collate FOLD)");
    for (const char* name : {"zoe", "Éric", "bernard", "Zoé", "eric"})
        local.db.execute(
            QStringLiteral("insert into N values ('%1')").arg(QString::fromUtf8(name)));
    const auto names = [&](const QString& sql) { return rows(local.db, sql); };
    // Folded first; equal folded texts by the bytes of windows-1252 (e < É, Z < z).
    EXPECT_EQ(names("select NAME from N order by NAME collate FOLD"),
              (QStringList{"bernard", "eric", "Éric", "Zoé", "zoe"}));
    // A unique folding index still refuses the very same text.
    EXPECT_EQ(engineCodeOf([&] { local.db.execute("insert into N values ('eric')"); }),
              EngineCode::KeyViolation);
    // The exact order is that of windows-1252 bytes: B (42) a (61) z (7A) é (E9).
    local.db.execute("create table E (S varchar(5))");
    for (const char* s : {"é", "z", "a", "B"})
        local.db.execute(QStringLiteral("insert into E values ('%1')").arg(QString::fromUtf8(s)));
    EXPECT_EQ(names("select S from E order by S collate ANSI"), (QStringList{"B", "a", "z", "é"}));
    // upper() and lower() follow the code page's case, beyond ASCII.
    EXPECT_EQ(names("select upper('élodie ÿ œ') || '/' || lower('ÉLODIE')"),
              (QStringList{"ÉLODIE Ÿ Œ/élodie"}));

    // Under another code page the folded order changes (Cyrillic before Latin): a file last used
    // under the first one has its indexes rebuilt when it is opened.
    local.db.execute("insert into N values ('Иванов')");
    local.db.close();
    const CodePageScope cyrillic(codepage::Cp1251);
    local.db.open();
    EXPECT_EQ(names("PRAGMA integrity_check"), QStringList{"ok"});
    EXPECT_EQ(names("select upper('ёлка')"), (QStringList{"ЁЛКА"}));
}

TEST(DbSqlite, AliasesLiveInTheirIniFileAndOpenDatabases)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("aliases.ini");
    AliasRegistry reg(file);
    ConnectionParams p;
    p.setValue(DbParam::ServerName, "SRV");
    p.setValue("database name", "Cabinet");
    reg.add("Main", "MSSQL", p);
    EXPECT_EQ(reg.driverName("main"), "MSSQL");
    EXPECT_EQ(reg.params("MAIN").value("Database Name"), "Cabinet");
    EXPECT_THROW(reg.add("main", "ORACLE", {}), Exception);
    EXPECT_EQ(reg.driverName("Main"), "MSSQL");
    // A value the file cannot hold is refused before anything is written.
    ConnectionParams bad;
    bad.setValue(DbParam::Password, "a\nb");
    EXPECT_THROW(reg.add("Other", "MSSQL", bad), EConvertError);
    EXPECT_FALSE(reg.exists("Other"));
    EXPECT_TRUE(readFileBytes(file).startsWith("[Main]\r\nTYPE=MSSQL\r\n"));

    // The databases of the program open through the global registry: an unknown alias is an error.
    AliasRegistry::setGlobalFileName(file);
    Database unknown;
    unknown.setAliasName("Nowhere");
    EXPECT_EQ(engineCodeOf([&] { unknown.open(); }), EngineCode::NotFound);
    AliasRegistry::setGlobalFileName(QString());
}

// PATH names a folder (one that exists, or any path ending in a separator) holding
// quorvane.sqlite, or else the database file itself; a file that is not there is named exactly.
TEST(DbSqlite, APathIsAFolderOrTheFileItself)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFileBytes(root + "/other.db", "");
    const struct
    {
        QString path, looked;
    } cases[] = {
        {root, root + "/quorvane.sqlite"},
        {root + "/", root + "/quorvane.sqlite"},
        {root + "/cabinet.sqlite", root + "/cabinet.sqlite"},
        {root + "\\cabinet.sqlite", root + "/cabinet.sqlite"},
        {root + "/missing/", root + "/missing/quorvane.sqlite"},
        {root + "/missing", root + "/missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        Database db;
        db.setDriverName("STANDARD");
        db.params().setValue(DbParam::Path, c.path);
        const QString message = messageOf<EngineError>([&] { db.open(); });
        EXPECT_EQ(message.toStdString(),
                  uiText(UiText::DatabaseNotFound).arg(c.looked).toStdString());
    }
    // With CREATE the file named is made, not a file inside a folder of that name.
    Database made;
    made.setDriverName("STANDARD");
    made.params().setValue(DbParam::Path, root + "/cabinet.sqlite");
    made.params().setValue("CREATE", "TRUE");
    made.open();
    made.execute("CREATE TABLE X (A INTEGER)");
    EXPECT_EQ(made.databaseFile(), root + "/cabinet.sqlite");
    EXPECT_EQ(sqliteCli(root + "/cabinet.sqlite", "SELECT name FROM sqlite_master;"), "X");
    // The local tables of a folder not made yet go inside it.
    Database local;
    local.setLocalFolder(root + "/data");
    EXPECT_EQ(
        messageOf<EngineError>([&] { local.open(); }).startsWith(root + "/data/quorvane.sqlite"),
        true);
}

TEST(DbSqlite, WholeResultsLoadIntoAnInMemoryDatasetOrNotAtAll)
{
    LocalDb local;
    local.db.execute("create table T (ID integer, NAME varchar(8), D date)");
    local.db.execute("insert into T values (1, 'un', '2024-02-29'), (2, 'deux', "
                     "null), (3, 'trois', '2000-01-01')");
    SqlQuery q;
    q.setDatabase(&local.db);
    q.setSql("select ID, NAME, D from T order by ID desc");
    MemDataSet target;
    EXPECT_EQ(q.fetchInto(target), 3);
    ASSERT_TRUE(target.isActive());
    EXPECT_EQ(target.fieldDefs().at(1).type, FieldType::String);
    EXPECT_EQ(target.fieldDefs().at(1).size, 8);
    EXPECT_EQ(target.fieldDefs().at(2).type, FieldType::Date);
    target.first();
    EXPECT_EQ(target.fieldByName("NAME")->asString(), "trois");
    EXPECT_EQ(target.fieldByName("D")->asDateTime(), 36526); // 2000-01-01
    target.next();
    EXPECT_TRUE(target.fieldByName("D")->isNull());

    // A value that cannot be read, after three that can: the target keeps what it had and
    // nothing of the result.
    local.db.execute("insert into T values (4, 'quatre', 'not a date')");
    q.setSql("select ID, NAME, D from T order by ID");
    EXPECT_THROW(q.fetchInto(target), EConvertError);
    EXPECT_EQ(column(target, "NAME"), QStringList({"trois", "deux", "un"}));
    MemDataSet fresh;
    EXPECT_THROW(q.fetchInto(fresh), EConvertError);
    EXPECT_EQ(fresh.isActive() ? fresh.recordCount() : 0, 0);
}

// A whole result loaded into a dataset: the values go from the statement into the records in
// their own types. Each case stores one value through SQL and loads it both that way and as the
// value the statement gives for the field (a Variant, through the dataset's list append): both
// must give the expected value, of the same type, worked out from the stored text.
struct LoadCase
{
    const char* declared; // the column's declared type
    const char* stored;   // the SQL literal stored
    FieldType type;       // the field the column makes
    Variant expected;
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.declared << " " << c.stored;
}

std::string describe(const Variant& v)
{
    const QString value = v.type() == Variant::Type::Bytes
                              ? QString::fromLatin1(v.toBytes().toHex())
                          : v.isEmpty() ? QString()
                                        : v.toString();
    return std::string(Variant::typeName(v.type())) + " " + value.toStdString();
}

class LoadedValues : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(LoadedValues, AreTheValuesOfTheirFieldsByEitherPath)
{
    const LoadCase& c = GetParam();
    LocalDb local;
    local.db.execute(QStringLiteral("create table T (V %1)").arg(QLatin1String(c.declared)));
    local.db.execute(QStringLiteral("insert into T values (%1)").arg(QString::fromUtf8(c.stored)));

    // Through the values a statement gives for its fields, one list per record.
    auto st = local.db.connection().prepare("select V from T");
    ASSERT_TRUE(st->step());
    MemDataSet viaValues;
    viaValues.fieldDefs() = resultFieldDefs(*st, true);
    ASSERT_EQ(viaValues.fieldDefs().at(0).type, c.type);
    viaValues.createDataSet();
    viaValues.beginBulkAppend();
    viaValues.bulkAppend(QList<Variant>{st->columnValue(0, c.type)});
    viaValues.endBulkAppend();
    st.reset();

    // Straight into the records; a field the result has no column for stays null.
    MemDataSet loaded;
    loaded.fieldDefs() = viaValues.fieldDefs();
    loaded.fieldDefs().add("W", FieldType::Integer);
    loaded.createDataSet();
    SqlQuery q;
    q.setDatabase(&local.db);
    q.setSql("select V from T");
    ASSERT_EQ(q.fetchInto(loaded), 1);
    loaded.first();
    EXPECT_EQ(loaded.fieldByName("W")->value().type(), Variant::Type::Null);

    viaValues.first();
    const Variant byList = viaValues.fieldByName("V")->value();
    const Variant direct = loaded.fieldByName("V")->value();
    EXPECT_EQ(direct, byList) << describe(direct) << " / " << describe(byList);
    EXPECT_EQ(direct.type(), c.expected.type()) << describe(direct);
    if (c.expected.type() == Variant::Type::DateTime)
        EXPECT_NEAR(direct.toDateTime(), c.expected.toDateTime(), 1e-9);
    else
        EXPECT_EQ(direct, c.expected) << describe(direct);
}

using T = FieldType;
const QByteArray Bytes3("\x01\x02\xff", 3);
const Variant NullValue = Variant::null();

INSTANTIATE_TEST_SUITE_P(
    EveryType, LoadedValues,
    ::testing::Values(
        LoadCase{"INTEGER", "42", T::Integer, qint64(42)},
        LoadCase{"INTEGER", "-9007199254740993", T::Integer, qint64(-9007199254740993LL)},
        LoadCase{"INTEGER", "'17'", T::Integer, qint64(17)}, // affinity makes it a number
        LoadCase{"INTEGER", "null", T::Integer, NullValue},
        LoadCase{"VARCHAR(40)", "'Zoé Lefèvre-Žižek'", T::String, "Zoé Lefèvre-Žižek"},
        LoadCase{"VARCHAR(40)", "'Patient 12 Dupont-Durand'", T::String,
                 "Patient 12 Dupont-Durand"},
        LoadCase{"VARCHAR(40)", "'abcdefghijklmnop'", T::String, "abcdefghijklmnop"},
        LoadCase{"VARCHAR(40)", "'abcdefghijklmnopé'", T::String, "abcdefghijklmnopé"},
        LoadCase{"VARCHAR(40)", "'Dupont-D'", T::String, "Dupont-D"},
        LoadCase{"VARCHAR(40)", "''", T::String, ""},
        LoadCase{"VARCHAR(4)", "'abcdef'", T::String, "abcd"}, // cut to the field's size
        LoadCase{"VARCHAR(40)", "x'4869'", T::String, "Hi"},   // bytes read as UTF-8
        LoadCase{"VARCHAR(40)", "null", T::String, NullValue},
        LoadCase{"FLOAT", "0.25", T::Float, 0.25}, LoadCase{"FLOAT", "3", T::Float, 3.0},
        LoadCase{"FLOAT", "null", T::Float, NullValue},
        LoadCase{"CURRENCY", "12.5", T::Currency, Currency{125000}},
        LoadCase{"CURRENCY", "-3", T::Currency, Currency{-30000}},
        LoadCase{"CURRENCY", "null", T::Currency, NullValue},
        LoadCase{"BOOLEAN", "1", T::Boolean, true}, LoadCase{"BOOLEAN", "0", T::Boolean, false},
        LoadCase{"BOOLEAN", "2", T::Boolean, true}, LoadCase{"BOOLEAN", "'true'", T::Boolean, true},
        LoadCase{"BOOLEAN", "'F'", T::Boolean, false},
        LoadCase{"BOOLEAN", "null", T::Boolean, NullValue},
        LoadCase{"DATE", "'2024-02-29'", T::Date, Variant::fromDateTime(LeapDay)},
        LoadCase{"DATE", "'1899-12-29'", T::Date, Variant::fromDateTime(-1)},
        LoadCase{"DATE", "'2024-02-29 13:45:30'", T::Date, Variant::fromDateTime(LeapDay)},
        LoadCase{"DATE", "45351", T::Date, Variant::fromDateTime(LeapDay)},
        LoadCase{"DATE", "null", T::Date, NullValue},
        LoadCase{"TIME", "'13:45:30'", T::Time, Variant::fromDateTime(HalfPastOne)},
        LoadCase{"TIME", "'2024-02-29 13:45:30'", T::Time, Variant::fromDateTime(HalfPastOne)},
        LoadCase{"TIME", "null", T::Time, NullValue},
        LoadCase{"DATETIME", "'2024-02-29 13:45:30'", T::DateTime,
                 Variant::fromDateTime(LeapDay + HalfPastOne)},
        LoadCase{"DATETIME", "'2024-02-29T13:45:30'", T::DateTime,
                 Variant::fromDateTime(LeapDay + HalfPastOne)},
        LoadCase{"DATETIME", "null", T::DateTime, NullValue},
        LoadCase{"CLOB", "'Ligne un' || char(10) || 'Ligne deux, été'", T::Memo,
                 "Ligne un\nLigne deux, été"},
        LoadCase{"CLOB", "null", T::Memo, NullValue},
        LoadCase{"BLOB", "x'0102ff'", T::Blob, Bytes3},
        LoadCase{"BLOB", "null", T::Blob, NullValue}));

// A value with no form of its field's type ends either load the same way.
TEST(LoadedValues, AValueWithoutTheFieldsFormIsRefusedByEitherPath)
{
    LocalDb local;
    local.db.execute("create table T (V FLOAT)");
    local.db.execute("insert into T values ('abc')");
    auto st = local.db.connection().prepare("select V from T");
    ASSERT_TRUE(st->step());
    EXPECT_THROW(st->columnValue(0, FieldType::Float), EConvertError);
    st.reset();
    SqlQuery q;
    q.setDatabase(&local.db);
    q.setSql("select V from T");
    MemDataSet target;
    EXPECT_THROW(q.fetchInto(target), EConvertError);
}

// Texts read back as they were written, plain ASCII or not, whatever their length, a NUL
// included; the sqlite3 tool sees the same characters.
TEST(DbSqlite, TextsReadBackAsWritten)
{
    LocalDb local;
    local.db.execute("create table T (ID integer, NAME varchar(40))");
    // Lengths about eight and sixteen, with the one non-ASCII character first or last.
    const QStringList texts{QString(),
                            "abcdefgh",
                            "abcdefghijklmnop",
                            "Dupont-Durand-Lefèvre",
                            "ÿ",
                            "Жанна Иванова",
                            QString("a") + QChar(0) + "b",
                            "abcdefg",
                            "abcdefgé",
                            "éabcdefgh",
                            "abcdefghijklmnopé",
                            "abcdefghijklmnoé"};
    auto insert = local.db.connection().prepare("insert into T values (?, ?)");
    for (int i = 0; i < texts.size(); ++i) {
        insert->bind(0, i);
        insert->bind(1, texts.at(i).isNull() ? "" : texts.at(i), FieldType::String);
        insert->step();
        insert->reset();
    }
    insert.reset();
    EXPECT_EQ(local.cli("select NAME from T where ID = 3;"), "Dupont-Durand-Lefèvre");

    EXPECT_EQ(rows(local.db, "select NAME from T order by ID"), texts);
}

// Bindings outlive a reset: a text bound again must still be written as it is now, whether it is
// the same string, another one in the same place, a view of outside memory changed meanwhile, or
// follows a number or cleared bindings at that position.
TEST(DbSqlite, TextsBoundAgainAreWrittenAsTheyAreNow)
{
    LocalDb local;
    local.db.execute("create table T (ID integer, NAME varchar(40))");
    auto insert = local.db.connection().prepare("insert into T values (?, ?)");
    int id = 0;
    const auto write = [&](const Variant& name) {
        insert->bind(0, ++id);
        insert->bind(1, name);
        insert->step();
        insert->reset();
    };
    const QString same = "same-text";
    write(same);
    write(same);
    QString changed = same;
    changed[0] = QChar('S'); // its own copy now
    write(changed);
    write(same);
    write(7);
    write(same);
    char16_t outside[] = u"outside1";
    const QString view = QString::fromRawData(reinterpret_cast<const QChar*>(outside), 8);
    write(view);
    outside[7] = u'2';
    write(view);
    insert->clearBindings();
    write(same);
    insert.reset();
    EXPECT_EQ(rows(local.db, "select coalesce(NAME, 'null') from T order by ID"),
              QStringList({"same-text", "same-text", "Same-text", "same-text", "7", "same-text",
                           "outside1", "outside2", "same-text"}));
}

// The stored date and time texts read back as day numbers (days since 1899-12-30), on the edges of
// the calendar: leap years, the first and last days four digits hold, days before 1899-12-30.
std::optional<TDateTime> parseBoth(const char* text)
{
    // The engine reads its own UTF-8 bytes; other callers pass a QString. Both must agree.
    const std::optional<TDateTime> fromBytes = storedvalue::parseDateTime(text, qstrlen(text));
    const std::optional<TDateTime> fromText = storedvalue::parseDateTime(QString::fromLatin1(text));
    EXPECT_EQ(fromBytes.has_value(), fromText.has_value()) << text;
    if (fromBytes && fromText) {
        EXPECT_EQ(*fromBytes, *fromText) << text;
    }
    return fromBytes;
}

TEST(StoredValue, DateAndTimeTextsReadAsDayNumbers)
{
    const struct
    {
        const char* text;
        double day;
    } days[] = {
        {"1899-12-30", 0},       {"1899-12-31", 1},     {"1899-12-29", -1},
        {"1900-01-01", 2},       {"1900-03-01", 61},    {"2000-01-01", 36526},
        {"2024-02-29", 45351},   {"2024-03-05", 45356}, {"0001-01-01", -693593},
        {"9999-12-31", 2958465},
    };
    for (const auto& d : days)
        EXPECT_EQ(parseBoth(d.text), d.day) << d.text;
    // 1600 and 2000 are leap years, 1900 and 2100 are not; no year 0, month 13 or 31 April, no
    // hour 24 or minute 60.
    EXPECT_TRUE(parseBoth("1600-02-29").has_value());
    for (const char* bad :
         {"1900-02-29", "2100-02-29", "2023-02-29", "0000-01-01", "2024-13-01", "2024-00-10",
          "2024-04-31", "2024-01-00", "2024-01-32", "2024/01/05", "20x4-01-05", "24:00:00",
          "12:60:00", "12:00:60", "2024-03-05 24:00:00", "2024-03-05T25:00:00"})
        EXPECT_FALSE(parseBoth(bad).has_value()) << bad;

    // Times and date-times keep the time of day.
    EXPECT_EQ(parseBoth("23:59:59"), 86399.0 / 86400.0);
    EXPECT_EQ(parseBoth("2024-03-05 18:00:00"), 45356.75);
    // Before 1899-12-30 the days count backwards while the fraction stays the time of day.
    EXPECT_EQ(parseBoth("1899-12-29 06:00:00"), -1.25);
    // The other forms the engine reads.
    EXPECT_EQ(parseBoth("2024-03-05T18:00:00"), 45356.75);
    EXPECT_EQ(parseBoth("2024-3-5"), 45356.0);
    EXPECT_EQ(parseBoth("18:00"), 0.75);
    EXPECT_EQ(parseBoth("6:00:00"), 0.25);
}

// A value that is no text, put into a text or memo column, is stored as the text a user reads
// for it under the regional settings (French here); an empty text is stored as NULL only where
// the local tables' rule asks for it.
TEST(StoredValue, NonTextValuesInTextColumnsAreStoredAsTheirText)
{
    const struct
    {
        FieldType type;
        Variant value;
        bool emptyIsNull;
        Variant stored;
    } cases[] = {
        {FieldType::String, qint64(42), false, QStringLiteral("42")},
        {FieldType::Memo, qint64(-7), true, QStringLiteral("-7")},
        {FieldType::String, 0.25, false, QStringLiteral("0,25")},
        {FieldType::Memo, Currency{125000}, false, QStringLiteral("12,5")},
        {FieldType::String, true, false, QStringLiteral("True")},
        {FieldType::String, false, true, QStringLiteral("False")},
        {FieldType::String, Variant::fromDateTime(LeapDay), false, QStringLiteral("29/02/2024")},
        {FieldType::Memo, Variant::fromDateTime(LeapDay + HalfPastOne), false,
         QStringLiteral("29/02/2024 13:45:30")},
        {FieldType::String, Variant::fromDateTime(HalfPastOne), false, QStringLiteral("13:45:30")},
        // Bytes put into a text column are read as UTF-8, the database's own text.
        {FieldType::Memo, QByteArray("Zo\xC3\xA9"), false, QStringLiteral("Zoé")},
        {FieldType::String, QByteArray(), true, Variant::null()},
        {FieldType::String, QString(), false, QString()},
        {FieldType::String, QString(), true, Variant::null()},
        {FieldType::Memo, Variant::null(), false, Variant::null()},
    };
    for (const auto& c : cases) {
        const Variant stored = storedvalue::toStored(c.type, c.value, c.emptyIsNull);
        EXPECT_EQ(stored.type(), c.stored.type()) << c.value.toString().toStdString();
        EXPECT_EQ(stored, c.stored) << c.value.toString().toStdString();
    }
}

// The parameter scanner of SQL texts and the parameter list.
struct Case
{
    const char* text;
    const char* statement;
    QStringList names;
};

TEST(DbParams, ScannerFindsNamesAndRewritesToPositions)
{
    const Case cases[] = {
        // The request examples: a quoted ':X' is no parameter, "::" is one colon.
        {"A = :P1 and B = ':X'", "A = ? and B = ':X'", {"P1"}},
        {"A::B", "A:B", {}},
        // "=" does not end a name; a blank before it does.
        {"X = :A=B", "X = ?", {"A=B"}},
        {"X = :A =B", "X = ? =B", {"A"}},
        // A name at the very end of the text.
        {"where ID = :ID", "where ID = ?", {"ID"}},
        // Every character that ends a name.
        {"(:P1,:P2;:P3)\r\n:P4\n:P5\t:P6 :P7",
         "(?,?;?)\r\n?\n?\t? ?",
         {"P1", "P2", "P3", "P4", "P5", "P6", "P7"}},
        // A quoted name loses its quotes; blanks inside the quotes belong to it.
        {":\"My Param\" + 1", "? + 1", {"My Param"}},
        {"f(:'a b')", "f(?)", {"a b"}},
        // Literals of either quote; the other quote inside one does not end it.
        {"\"a:b\" = :V", "\"a:b\" = ?", {"V"}},
        {"NAME = \"O'Brien\" and ID = :ID", "NAME = \"O'Brien\" and ID = ?", {"ID"}},
        {"'it''s :no' || :yes", "'it''s :no' || ?", {"yes"}},
        {"'a::b'", "'a::b'", {}},
        // "::" then a parameter.
        {":::P", ":?", {"P"}},
        // Lone colons stay as they are.
        {"a : b", "a : b", {}},
        {"x :", "x :", {}},
        // An unterminated literal hides the rest.
        {"'abc :P", "'abc :P", {}},
    };
    for (const Case& c : cases) {
        const ParsedSql p = parseSqlParams(QString::fromUtf8(c.text));
        EXPECT_EQ(p.statement, QString::fromUtf8(c.statement)) << c.text;
        EXPECT_EQ(p.names, c.names) << c.text;
        EXPECT_EQ(p.occurrences.size(), p.statement.count(QLatin1Char('?'))) << c.text;
    }

    // A name used again, in any case, is one parameter bound at every place it stands.
    const ParsedSql p = parseSqlParams(QStringLiteral(
        "select * from T where A = :a or B = :B or C = :A or D = :élan or E = :ÉLAN"));
    EXPECT_EQ(p.names, (QStringList{"a", "B", "élan"}));
    EXPECT_EQ(p.occurrences, (QList<int>{0, 1, 0, 2, 2}));
}

TEST(DbParams, ListLooksUpWithoutCaseAndCopiesOnlySameNamedValues)
{
    Params params(parseSqlParams("A = :ID and B = :Name"));
    ASSERT_EQ(params.count(), 2);
    params.paramByName("id").setAsInteger(7);
    EXPECT_EQ(params[0].asInteger(), 7);
    EXPECT_EQ(params[0].dataType(), FieldType::Integer);
    EXPECT_EQ(messageOf<Exception>([&] { params.paramByName("MISSING"); }),
              "Parameter 'MISSING' not found");

    Params other;
    other.add("NAME").setAsString("Dupont");
    other.add("EXTRA").setAsInteger(1);
    params.assignValues(other);
    EXPECT_EQ(params.count(), 2);        // nothing added
    EXPECT_EQ(params[0].asInteger(), 7); // not in the other list: kept
    EXPECT_EQ(params[1].asString(), "Dupont");
    EXPECT_EQ(params[1].dataType(), FieldType::String);

    // A value gives its type only to a parameter without one.
    Param d("D");
    d.setValue(Variant::fromDateTime(45000.5));
    d.setValue("x");
    EXPECT_EQ(d.dataType(), FieldType::DateTime);
    d.setAsDate(45000);
    EXPECT_EQ(d.dataType(), FieldType::Date);
}

} // namespace
