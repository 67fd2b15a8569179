// Compiling a request of 8 joined tables, 60 select items and 3 OR groups (goal: under 200 µs
// per compile), against SQLite preparing the compiled statement in the same run; the same request
// with its OR groups split into a union of 8 statements is reported beside it.
#include <kernel/dbaccess.h>
#include <kernel/request.h>
#include <platform/db/database.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlquery.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "kernel_access.h"
#include "ratio.h"
#include <sqlite3.h>
#include <support/kernel_schema.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int TableCount = 8;
constexpr int FieldsPerTable = 8;
constexpr int SelectCount = 60;

void exec(sqlite3* db, const QString& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error ? error : "sqlite error");
        std::abort();
    }
}

QString tableName(int t)
{
    return QStringLiteral("T%1").arg(t);
}

// Eight tables, each referring to the one before it, described in the kernel metadata; and a
// request over all of them.
struct Fixture
{
    QTemporaryDir dir;
    Database db;
    SqlQuery tables, fields, links;
    TDBAccess access;
    TDBRequest request;

    Fixture()
    {
        sqlite3* raw = nullptr;
        sqlite3_open((dir.path() + QLatin1Char('/') + sqlitedb::DatabaseFileName).toUtf8(), &raw);
        exec(raw, kernelschema::createTables());
        for (int t = 1; t <= TableCount; ++t) {
            const QString name = tableName(t);
            QStringList columns = {name + QStringLiteral("_ID integer")};
            exec(raw, QStringLiteral("insert into METATABLE values ('%1', '%1_ID', 0, null, 0,"
                                     " null, 'T');"
                                     "insert into METAFIELD values ('%1', '%1_ID', 1, 1, null, 1,"
                                     " 0, 0, null, null, null, 0);")
                          .arg(name));
            if (t > 1) {
                const QString parent = tableName(t - 1);
                columns << parent + QStringLiteral("_ID integer");
                exec(raw, QStringLiteral("insert into METAFIELD values ('%1', '%2_ID', 1, 1, null,"
                                         " 1, 0, 0, null, null, null, 1);"
                                         "insert into TABLELINK values ('%2', '%1', '%2_ID',"
                                         " '%2_ID', null, null);")
                              .arg(name, parent));
            }
            for (int f = 1; f <= FieldsPerTable; ++f) {
                columns << QStringLiteral("F%1 varchar(20)").arg(f);
                exec(raw, QStringLiteral("insert into METAFIELD values ('%1', 'F%2', 0, 1, null,"
                                         " 3, 20, 0, null, null, null, %3);")
                              .arg(name)
                              .arg(f)
                              .arg(f + 1));
            }
            exec(raw, QStringLiteral("create table %1 (%2);").arg(name, columns.join(", ")));
        }
        sqlite3_close(raw);

        wireKernelAccess(dir.path(), db, tables, fields, links, access);
        access.UpdateServerKind();
        access.LoadMetaData();

        request.setObjectName(QStringLiteral("Bench"));
        request.SetDBAccess(&access);
        for (int t = 1; t <= TableCount; ++t) {
            TFromItem* from = request.From().Add();
            from->SetTableName(tableName(t));
            from->SetAlias(QStringLiteral("A%1").arg(t));
            if (t > 1)
                from->SetMasterTable(QStringLiteral("A%1").arg(t - 1));
        }
        for (int i = 0; i < SelectCount; ++i) {
            const int t = i % TableCount + 1;
            const int f = i / TableCount + 1;
            TSelectItem* item = request.Select().Add();
            item->SetOrigin(QStringLiteral("A%1").arg(t));
            item->SetText(QStringLiteral("F%1").arg(f));
            item->SetAlias(QStringLiteral("A%1_F%2").arg(t).arg(f));
            item->SetDataType(dtString);
            item->SetSize(20);
        }
        for (int g = 1; g <= 3; ++g) {
            for (int k = 0; k < 2; ++k) {
                TWhereItem* where = request.Where().Add();
                where->SetText(QStringLiteral("A%1.F1 = :V%1_%2").arg(g).arg(k));
                where->SetGroup(g);
                where->ItemParams()[0].setAsString(QStringLiteral("x"));
            }
        }
        request.Order().Add()->SetFieldName(QStringLiteral("A1.F1"));
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void compile(TDBRequest& request)
{
    request.SetCompiled(false);
    request.SetCompiled(true);
}

void BM_PrepareCompiled(benchmark::State& state)
{
    Fixture& f = fixture();
    f.request.SetSplitWhereToUnion(false);
    compile(f.request);
    const QByteArray sql = f.request.CompiledText().toUtf8();
    sqlite3* db = nullptr;
    sqlite3_open_v2(f.db.databaseFile().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_finalize(st);
    }
    sqlite3_close_v2(db);
}

void BM_Compile(benchmark::State& state)
{
    Fixture& f = fixture();
    f.request.SetSplitWhereToUnion(state.range(0) != 0);
    for (auto _ : state)
        compile(f.request);
    if (f.request.CompiledSQL().isEmpty())
        state.SkipWithError("nothing compiled");
}

BENCHMARK(BM_PrepareCompiled)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_Compile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

} // namespace

BenchProgram benchProgram()
{
    return {.ratios = [](const RatioReporter& r) {
        std::printf("compile: %.1f us per request (goal: under 200 us)\n",
                    r.seconds("BM_Compile/0") * 1e6);
        r.printRatio("BM_Compile/0", "BM_PrepareCompiled");
        r.printRatio("BM_Compile/1", "BM_PrepareCompiled");
    }};
}
