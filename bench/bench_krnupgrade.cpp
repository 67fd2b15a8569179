// The kernel upgrade's step 2 (every described column numbered in METAFIELD.ORD) over 1,000
// tables of 20 columns on a local-kind kernel database, as the kernel's version check runs it at
// start-up, against the same work done with SQLite's own C API: the column names of each table
// read from a prepared select, and the same updates prepared once, in one transaction (goal: at
// most 2x).
#include <kernel/dbaccess.h>
#include <platform/db/database.h>
#include <platform/db/sqlitedriver.h>
#include <schema/schematools.h>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ratio.h"
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int TableCount = 1000;
constexpr int ColumnsPerTable = 20;
constexpr int RowsPerTable = 10;

void exec(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error ? error : "sqlite error");
        std::abort();
    }
}

std::string tableName(int t)
{
    char name[8];
    std::snprintf(name, sizeof name, "T%04d", t);
    return name;
}

// A kernel database at version 1 with its ORD column already added (so that every run does the
// same work), and 1,000 described tables of 20 columns, each with a few rows; METAFIELD lists
// the columns in reverse order, as a database whose descriptions were written by hand might.
struct Fixture
{
    QTemporaryDir dir;
    std::string file;

    Fixture() : file((dir.path() + QLatin1Char('/') + sqlitedb::DatabaseFileName).toStdString())
    {
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        exec(db, "create table VERSION (MODULE varchar(30), VERSION integer);"
                 "create table METATABLE (TABLE_NAME varchar(30), KEY_FIELDS varchar(50), "
                 "SYSTEM boolean, CUSTOM clob, OWNER_NAME varchar(30));"
                 "create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30), "
                 "REQUIRED boolean, VISIBLE boolean, METATYPE varchar(30), DATATYPE integer, "
                 "FSIZE integer, FPREC integer, CUSTOM clob, ORD integer);"
                 "create unique index METAFIELD$PRIMARY on METAFIELD (TABLE_NAME, FIELD_NAME);"
                 "create table CACHESYS (ALIAS varchar(30), VERSION integer, UPDATE_ID integer);"
                 "insert into VERSION values ('DBKERNEL', 1);"
                 "begin");
        for (int t = 0; t < TableCount; ++t) {
            const std::string name = tableName(t);
            std::string create = "create table " + name + " (" + name + "_ID integer primary key";
            std::string values;
            for (int c = 2; c <= ColumnsPerTable; ++c) {
                create += ", F" + std::to_string(c) + " varchar(40)";
                values += ", 'value " + std::to_string(c) + "'";
            }
            exec(db, create + ")");
            for (int r = 1; r <= RowsPerTable; ++r) {
                char row[16];
                std::snprintf(row, sizeof row, "%d", r);
                exec(db, "insert into " + name + " values (" + row + values + ")");
            }
            exec(db, "insert into METATABLE values ('" + name + "', '" + name + "_ID', 0, " +
                         "'Label=Table', null)");
            for (int c = ColumnsPerTable; c >= 1; --c) {
                const std::string column = c == 1 ? name + "_ID" : "F" + std::to_string(c);
                exec(db, "insert into METAFIELD values ('" + name + "', '" + column +
                             "', 0, 1, null, 3, 40, 0, 'Label=Field', null)");
            }
        }
        exec(db, "commit");
        sqlite3_close(db);
    }

    // Every ORD cleared and the version put back, between runs and outside the timing.
    void reset() const
    {
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        exec(db, "update METAFIELD set ORD = null; update VERSION set VERSION = 1");
        sqlite3_close(db);
    }

    // Whether a run numbered every column in table order.
    bool numbered() const
    {
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "select count(*) from METAFIELD where ORD = case FIELD_NAME when "
                           "TABLE_NAME || '_ID' then 1 else cast(substr(FIELD_NAME, 2) as "
                           "integer) end",
                           -1, &st, nullptr);
        const bool all = sqlite3_step(st) == SQLITE_ROW &&
                         sqlite3_column_int(st, 0) == TableCount * ColumnsPerTable;
        sqlite3_finalize(st);
        sqlite3_close(db);
        return all;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// The baseline: the table list, each table's column names from a prepared select, and the
// updates through one prepared statement, in one transaction, with the program's own journal and
// synchronous settings.
void BM_RawNumbering(benchmark::State& state)
{
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        f.reset();
        state.ResumeTiming();
        sqlite3* db = nullptr;
        sqlite3_open(f.file.c_str(), &db);
        exec(db, "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; begin");
        sqlite3_stmt* update = nullptr;
        sqlite3_prepare_v2(db,
                           "update METAFIELD set ORD = ?1 where TABLE_NAME = ?2 and FIELD_NAME "
                           "= ?3",
                           -1, &update, nullptr);
        sqlite3_stmt* tables = nullptr;
        sqlite3_prepare_v2(db, "select TABLE_NAME from METATABLE", -1, &tables, nullptr);
        while (sqlite3_step(tables) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(tables, 0));
            sqlite3_stmt* columns = nullptr;
            sqlite3_prepare_v2(db, ("select * from " + name).c_str(), -1, &columns, nullptr);
            for (int i = 0; i < sqlite3_column_count(columns); ++i) {
                sqlite3_bind_int(update, 1, i + 1);
                sqlite3_bind_text(update, 2, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(update, 3, sqlite3_column_name(columns, i), -1, SQLITE_TRANSIENT);
                sqlite3_step(update);
                sqlite3_reset(update);
            }
            sqlite3_finalize(columns);
        }
        sqlite3_finalize(tables);
        sqlite3_finalize(update);
        exec(db, "update VERSION set VERSION = 2 where UPPER(MODULE) = 'DBKERNEL'; commit");
        sqlite3_close(db);
        state.PauseTiming();
        if (!f.numbered())
            state.SkipWithError("columns not numbered");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * TableCount * ColumnsPerTable);
}

// The kernel's version check asking the schema tools for step 2, on an open connection.
void BM_KernelStepTwo(benchmark::State& state)
{
    const Fixture& f = fixture();
    RegisterSchemaTools();
    Database db;
    db.setDriverName(QStringLiteral("STANDARD"));
    db.params().setValue(DbParam::Path, f.dir.path());
    TDBAccess access;
    access.SetDataBase(&db);
    access.SetAutoKernelUpgrade(true);
    for (auto _ : state) {
        state.PauseTiming();
        db.close();
        f.reset();
        db.open();
        access.UpdateServerKind();
        state.ResumeTiming();
        if (!TDBAccess::UpgradeKernelModule(access, 1, 2))
            state.SkipWithError("step 2 refused");
        state.PauseTiming();
        if (!f.numbered())
            state.SkipWithError("columns not numbered");
        state.ResumeTiming();
    }
    db.close();
    state.SetItemsProcessed(state.iterations() * TableCount * ColumnsPerTable);
}

BENCHMARK(BM_RawNumbering)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_KernelStepTwo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BenchProgram benchProgram()
{
    return {.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_KernelStepTwo", "BM_RawNumbering", "at most 2.0");
    }};
}
