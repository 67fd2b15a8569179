// Database engine figures, each against a baseline measured in the same run: loading a whole
// SQLite result into an in-memory dataset against stepping the same statement with SQLite's own C
// API (reading every column), and appending rows through a local table against raw prepared
// inserts, both in one transaction. Each of the two takes turns with its baseline within one
// benchmark, so that the ratio does not swing with what else the machine does between runs.
#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "ratio.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr int LoadRows = 200000;
constexpr int AppendRows = 100000;
const char* const SelectAll = "SELECT ID, NAME, BORN, AMOUNT, CODE FROM T ORDER BY ID";

struct Fixture
{
    QTemporaryDir dir;
    QString file;

    Fixture()
    {
        Database db;
        db.setLocalFolder(dir.path());
        db.open();
        file = db.databaseFile();
        db.execute(QStringLiteral("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(40), "
                                  "BORN DATE, AMOUNT FLOAT, CODE INTEGER)"));
        db.startTransaction();
        auto st = db.connection().prepare(QStringLiteral("INSERT INTO T VALUES (?, ?, ?, ?, ?)"));
        for (int i = 0; i < LoadRows; ++i) {
            st->bind(0, i);
            st->bind(1, QStringLiteral("Patient %1 Dupont-Durand").arg(i));
            st->bind(2, QStringLiteral("19%1-%2-%3")
                            .arg(50 + i % 50)
                            .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                            .arg(1 + i % 28, 2, 10, QLatin1Char('0')));
            st->bind(3, i * 0.25);
            st->bind(4, i % 7);
            st->step();
            st->reset();
        }
        db.commit();
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// Opened as the engine opens its connections: one thread at a time, so without SQLite's own
// locking around every call.
sqlite3* openRaw(const QString& file)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    return db;
}

using Clock = std::chrono::steady_clock;

// The fixture's database opened as the program opens it, with the query of every row.
struct Engine
{
    Database db;
    SqlQuery query;
    Engine()
    {
        db.setLocalFolder(fixture().dir.path());
        db.open();
        query.setDatabase(&db);
        query.setSql(QString::fromLatin1(SelectAll));
    }
};

// One pass of the baseline: the statement stepped with SQLite's C API, every column read.
double rawLoad(sqlite3* db)
{
    const Clock::time_point start = Clock::now();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, SelectAll, -1, &st, nullptr);
    qint64 sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        sum += sqlite3_column_int64(st, 0);
        const unsigned char* name = sqlite3_column_text(st, 1);
        sum += sqlite3_column_bytes(st, 1) + name[0];
        const unsigned char* born = sqlite3_column_text(st, 2);
        sum += sqlite3_column_bytes(st, 2) + born[0];
        sum += qint64(sqlite3_column_double(st, 3));
        sum += sqlite3_column_int64(st, 4);
    }
    sqlite3_finalize(st);
    benchmark::DoNotOptimize(sum);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One load of the whole result into an in-memory dataset; -1 when the count is wrong. Freeing
// the rows is no part of loading them.
double memLoad(SqlQuery& q)
{
    auto target = std::make_unique<MemDataSet>();
    const Clock::time_point start = Clock::now();
    const qint64 n = q.fetchInto(*target);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return n == LoadRows ? seconds : -1;
}

// Alone, for the ratio of BM_LoadVariantRows.
void BM_LoadRawStep(benchmark::State& state)
{
    sqlite3* db = openRaw(fixture().file);
    for (auto _ : state)
        rawLoad(db);
    sqlite3_close_v2(db);
    state.SetItemsProcessed(state.iterations() * LoadRows);
}

void BM_LoadMemDataSet(benchmark::State& state)
{
    sqlite3* raw = openRaw(fixture().file);
    Engine e;
    inTurns(
        state, [&e] { return memLoad(e.query); }, [raw] { return rawLoad(raw); }, LoadRows);
    sqlite3_close_v2(raw);
}

// The cost of keeping a result as value lists at all: the rows of BM_LoadMemDataSet as a query's
// cursor keeps them, one list of values per row, without the dataset's blocks.
void BM_LoadVariantRows(benchmark::State& state)
{
    Engine e;
    SqlQuery& q = e.query;
    for (auto _ : state) {
        q.open();
        q.last();
        if (q.recordCount() != LoadRows)
            state.SkipWithError("wrong row count");
        // Freeing the rows is no part of loading them.
        state.PauseTiming();
        q.close();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * LoadRows);
}

const char* const AppendTable = "CREATE TABLE %1 (Number INTEGER NOT NULL, Pack INTEGER, "
                                "File_name VARCHAR(64), Date DATE, Type INTEGER, NeedId INTEGER)";

// The file names both append loops write, made beforehand so that neither loop times making them.
struct Names
{
    QStringList text;
    QList<QByteArray> utf8;
    Names()
    {
        for (int i = 1; i <= AppendRows; ++i) {
            text.append(QStringLiteral("file%1.pdf").arg(i));
            utf8.append(text.last().toUtf8());
        }
    }
};

const Names& names()
{
    static const Names n;
    return n;
}

// One round of the baseline into a new table: the rows through a prepared insert, in one
// transaction. The table is made before the clock starts.
double rawAppend(sqlite3* db, int round)
{
    const std::string table = "RAW" + std::to_string(round);
    const QString create = QString::fromLatin1(AppendTable).arg(QString::fromStdString(table));
    sqlite3_exec(db, create.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(
        db, ("CREATE UNIQUE INDEX \"" + table + "$PRIMARY\" ON " + table + " (Number)").c_str(),
        nullptr, nullptr, nullptr);
    const Clock::time_point start = Clock::now();
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, ("INSERT INTO " + table + " VALUES (?, ?, ?, ?, ?, ?)").c_str(), -1, &st,
                       nullptr);
    for (int i = 1; i <= AppendRows; ++i) {
        const QByteArray& name = names().utf8.at(i - 1);
        sqlite3_bind_int64(st, 1, i);
        sqlite3_bind_int64(st, 2, 3);
        sqlite3_bind_text(st, 3, name.constData(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 4, "2026-12-06", 10, SQLITE_STATIC);
        sqlite3_bind_int64(st, 5, 0);
        sqlite3_bind_int64(st, 6, i % 3);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One round through a local table of the same layout, made and opened before the clock starts.
double tableAppend(Database& db, int round)
{
    LocalTable t;
    t.setDatabase(&db);
    t.setTableName(QStringLiteral("TAB%1.DB").arg(round));
    t.fieldDefs().add(QStringLiteral("Number"), FieldType::Integer, 0, true);
    t.fieldDefs().add(QStringLiteral("Pack"), FieldType::Integer);
    t.fieldDefs().add(QStringLiteral("File_name"), FieldType::String, 64);
    t.fieldDefs().add(QStringLiteral("Date"), FieldType::Date);
    t.fieldDefs().add(QStringLiteral("Type"), FieldType::Integer);
    t.fieldDefs().add(QStringLiteral("NeedId"), FieldType::Integer);
    t.indexDefs().add(QString(), QStringLiteral("Number"), IndexDef::Primary);
    t.createTable();
    t.open();
    Field* number = t.fieldByName(QStringLiteral("Number"));
    Field* pack = t.fieldByName(QStringLiteral("Pack"));
    Field* name = t.fieldByName(QStringLiteral("File_name"));
    Field* date = t.fieldByName(QStringLiteral("Date"));
    Field* type = t.fieldByName(QStringLiteral("Type"));
    Field* needId = t.fieldByName(QStringLiteral("NeedId"));
    const Clock::time_point start = Clock::now();
    db.startTransaction();
    for (int i = 1; i <= AppendRows; ++i) {
        t.append();
        number->setAsInteger(i);
        pack->setAsInteger(3);
        name->setAsString(names().text.at(i - 1));
        date->setAsDateTime(46362); // 2026-12-06
        type->setAsInteger(0);
        needId->setAsInteger(i % 3);
        t.post();
    }
    db.commit();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_AppendLocalTable(benchmark::State& state)
{
    // Each round writes new tables, also across the runs of this benchmark.
    static int tables = 0, rawTables = 0;
    sqlite3* raw = openRaw(fixture().file);
    sqlite3_exec(raw, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    Database db;
    db.setLocalFolder(fixture().dir.path());
    db.open();
    names();
    inTurns(
        state, [&db] { return tableAppend(db, ++tables); },
        [raw] { return rawAppend(raw, ++rawTables); }, AppendRows);
    sqlite3_close_v2(raw);
}

BENCHMARK(BM_LoadRawStep)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadMemDataSet)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseManualTime();
BENCHMARK(BM_LoadVariantRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_AppendLocalTable)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseManualTime();

} // namespace

BenchProgram benchProgram()
{
    return {.ratios = [](const RatioReporter& r) {
        r.printMeasuredRatio("BM_LoadMemDataSet", "the raw step, in turns", "at most 1.5");
        r.printMeasuredRatio("BM_AppendLocalTable", "raw inserts, in turns", "at most 1.5");
        // For reading the first figure: the same rows as a query's cursor keeps them.
        r.printRatio("BM_LoadVariantRows", "BM_LoadRawStep");
    }};
}
