// Filling a kernel cache with 100,000 rows of a SQLite database through a request, against
// stepping the same statement with SQLite's own C API and touching every column (goal: at most
// 2x); and restoring the same cache from its local cache file, against loading it (goal: at most
// half the time).
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <platform/db/database.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlquery.h>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "kernel_access.h"
#include "ratio.h"
#include <sqlite3.h>
#include <support/kernel_schema.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int Rows = 100000;
const char* const Select = "select * from ROWS";

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error ? error : "sqlite error");
        std::abort();
    }
}

// A kernel database with one described table of patients-like rows: a key, a name, an amount,
// a date and a short note.
struct Fixture
{
    QTemporaryDir dir;
    QTemporaryDir cacheDir;
    Database db;
    SqlQuery tables, fields, links;
    TDBAccess access;

    Fixture()
    {
        const QString file = dir.path() + QLatin1Char('/') + sqlitedb::DatabaseFileName;
        sqlite3* raw = nullptr;
        sqlite3_open(file.toUtf8().constData(), &raw);
        exec(raw, kernelschema::createTables().toUtf8().constData());
        exec(raw, "insert into METATABLE values ('ROWS', 'ROWS_ID', 0, null, 0, null, 'T');"
                  "insert into METAFIELD values"
                  " ('ROWS', 'ROWS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),"
                  " ('ROWS', 'NOM', 1, 1, null, 3, 40, 0, null, null, null, 2),"
                  " ('ROWS', 'MONTANT', 0, 1, null, 7, 0, 0, null, null, null, 3),"
                  " ('ROWS', 'NE_LE', 0, 1, null, 5, 0, 0, null, null, null, 4),"
                  " ('ROWS', 'NOTE', 0, 1, null, 3, 100, 0, null, null, null, 5);"
                  "create table ROWS (ROWS_ID integer, NOM varchar(40), MONTANT money,"
                  " NE_LE date, NOTE varchar(100));"
                  "begin");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(raw, "insert into ROWS values (?, ?, ?, ?, ?)", -1, &insert, nullptr);
        for (int i = 0; i < Rows; ++i) {
            const QByteArray name = QStringLiteral("Lefèvre %1").arg(i * 7919 % Rows).toUtf8();
            const QByteArray day = QStringLiteral("19%1-%2-%3")
                                       .arg(40 + i % 60)
                                       .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                                       .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                                       .toUtf8();
            sqlite3_bind_int(insert, 1, i);
            sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_double(insert, 3, (i % 1000) * 1.5);
            sqlite3_bind_text(insert, 4, day.constData(), int(day.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 5, "consultation de contrôle", -1, SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        exec(raw, "commit");
        sqlite3_close(raw);

        wireKernelAccess(dir.path(), db, tables, fields, links, access);
        access.SetPacketRecords(-1);
        access.SetCachePath(cacheDir.path());
        access.LoadMetaData();
    }

    // A request on the table, all its columns, cached under `alias` when one is given.
    std::unique_ptr<TDBRequest> request(const QString& alias = QString())
    {
        auto r = std::make_unique<TDBRequest>();
        r->SetDBAccess(&access);
        r->From().Add()->SetTableName(QStringLiteral("ROWS"));
        r->Select().Add()->SetText(QStringLiteral("*"));
        r->SetCached(!alias.isEmpty());
        r->SetCacheAlias(alias);
        return r;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_StepStatement(benchmark::State& state)
{
    sqlite3* db = nullptr;
    const QString file = fixture().dir.path() + QLatin1Char('/') + sqlitedb::DatabaseFileName;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, Select, -1, &st, nullptr);
        qint64 sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += sqlite3_column_int64(st, 0);
            sum += sqlite3_column_bytes(st, 1) + sqlite3_column_text(st, 1)[0];
            sum += qint64(sqlite3_column_double(st, 2));
            sum += sqlite3_column_bytes(st, 3) + sqlite3_column_text(st, 3)[0];
            sum += sqlite3_column_bytes(st, 4) + sqlite3_column_text(st, 4)[0];
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close_v2(db);
    state.SetItemsProcessed(state.iterations() * Rows);
}

void loadEach(benchmark::State& state, TDBRequest& request)
{
    TDBCache cache;
    cache.SetRequest(&request);
    cache.Open(); // the first load of a cached request writes its file
    for (auto _ : state) {
        cache.Close();
        cache.Open();
        if (cache.recordCount() != Rows)
            state.SkipWithError("rows missing");
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void BM_LoadRequest(benchmark::State& state)
{
    const auto request = fixture().request();
    loadEach(state, *request);
}

void BM_RestoreFromFile(benchmark::State& state)
{
    const auto request = fixture().request(QStringLiteral("rows"));
    loadEach(state, *request);
}

BENCHMARK(BM_StepStatement)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadRequest)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RestoreFromFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BenchProgram benchProgram()
{
    return {.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_LoadRequest", "BM_StepStatement", "at most 2.0");
        r.printRatio("BM_RestoreFromFile", "BM_LoadRequest", "at most 0.5");
    }};
}
