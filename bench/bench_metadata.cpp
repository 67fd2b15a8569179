// Loading the kernel metadata of 2,000 tables, 40,000 fields and 2,000 links from a SQLite kernel
// database through the access component, against stepping the same three selects with SQLite's
// own C API and touching every column, in the same run (goal: at most 2x).
#include <kernel/dbaccess.h>
#include <platform/db/database.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlquery.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ratio.h"
#include <sqlite3.h>
#include <support/kernel_schema.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int TableCount = 2000;
constexpr int FieldsPerTable = 20;
constexpr int FieldCount = TableCount * FieldsPerTable;

using kernelschema::SelectFields;
using kernelschema::SelectLinks;
using kernelschema::SelectTables;

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error ? error : "sqlite error");
        std::abort();
    }
}

// A kernel database as the schema tools write it: each table has a key, a label in two languages
// and twenty fields, a few with value lists; each table but the first refers to its predecessor.
struct Fixture
{
    QTemporaryDir dir;
    QString file;

    Fixture() : file(dir.path() + QLatin1Char('/') + sqlitedb::DatabaseFileName)
    {
        sqlite3* db = nullptr;
        sqlite3_open(file.toUtf8().constData(), &db);
        exec(db, kernelschema::createTables().toUtf8().constData());
        exec(db, "insert into VERSION values ('DBKERNEL', 7); begin");
        sqlite3_stmt* table = nullptr;
        sqlite3_stmt* field = nullptr;
        sqlite3_stmt* link = nullptr;
        sqlite3_prepare_v2(db, "insert into METATABLE values (?, ?, 0, ?, 0, null, 'T')", -1,
                           &table, nullptr);
        sqlite3_prepare_v2(db,
                           "insert into METAFIELD values (?, ?, ?, 1, null, ?, ?, 0, ?, null, "
                           "null, ?)",
                           -1, &field, nullptr);
        sqlite3_prepare_v2(db, "insert into TABLELINK values (?, ?, ?, ?, 'R', null)", -1, &link,
                           nullptr);
        auto text = [](sqlite3_stmt* st, int i, const QString& value) {
            const QByteArray utf8 = value.toUtf8();
            sqlite3_bind_text(st, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        };
        for (int t = 0; t < TableCount; ++t) {
            const QString name = QStringLiteral("T%1").arg(t, 4, 10, QLatin1Char('0'));
            const QString key = name + QStringLiteral("_ID");
            text(table, 1, name);
            text(table, 2, key);
            text(table, 3,
                 QStringLiteral("Label=#fra#Table %1#rus#Таблица %1\r\nStatHidden=0").arg(t));
            sqlite3_step(table);
            sqlite3_reset(table);
            for (int f = 1; f <= FieldsPerTable; ++f) {
                const bool isKey = f == 1;
                const bool isRef = f == 2 && t > 0;
                text(field, 1, name);
                text(field, 2,
                     isKey   ? key
                     : isRef ? QStringLiteral("T%1_ID").arg(t - 1, 4, 10, QLatin1Char('0'))
                             : QStringLiteral("F%1").arg(f, 2, 10, QLatin1Char('0')));
                sqlite3_bind_int(field, 3, isKey ? 1 : 0);
                sqlite3_bind_int(field, 4, isKey || isRef ? 1 : 3);
                sqlite3_bind_int(field, 5, isKey || isRef ? 0 : 40);
                text(field, 6,
                     f == 5 ? QStringLiteral("Label=#fra#Sexe#rus#Пол\r\nLookupKeys=1,2\r\n"
                                             "LookupValues=#fra#Homme#rus#М,#fra#Femme#rus#Ж")
                            : QStringLiteral("Label=#fra#Champ %1#rus#Поле %1").arg(f));
                sqlite3_bind_int(field, 7, f);
                sqlite3_step(field);
                sqlite3_reset(field);
            }
            if (t > 0) {
                const QString parent = QStringLiteral("T%1").arg(t - 1, 4, 10, QLatin1Char('0'));
                text(link, 1, parent);
                text(link, 2, name);
                text(link, 3, parent + QStringLiteral("_ID"));
                text(link, 4, parent + QStringLiteral("_ID"));
                sqlite3_step(link);
                sqlite3_reset(link);
            }
        }
        sqlite3_finalize(table);
        sqlite3_finalize(field);
        sqlite3_finalize(link);
        exec(db, "commit");
        sqlite3_close(db);
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

qint64 rawRead(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    qint64 sum = 0;
    const int columns = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_INTEGER) {
                sum += sqlite3_column_int64(st, c);
            } else {
                const unsigned char* s = sqlite3_column_text(st, c);
                sum += sqlite3_column_bytes(st, c) + (s ? s[0] : 0);
            }
        }
    }
    sqlite3_finalize(st);
    return sum;
}

void BM_RawRead(benchmark::State& state)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(fixture().file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        qint64 sum = rawRead(db, SelectLinks);
        sum += rawRead(db, SelectTables);
        sum += rawRead(db, SelectFields);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close_v2(db);
    state.SetItemsProcessed(state.iterations() * (TableCount + FieldCount));
}

void BM_LoadMetaData(benchmark::State& state)
{
    Database db;
    db.setDriverName(QStringLiteral("STANDARD"));
    db.params().setValue(DbParam::Path, fixture().dir.path());
    db.open();
    SqlQuery tables, fields, links;
    for (SqlQuery* q : {&tables, &fields, &links})
        q->setDatabase(&db);
    links.setSql(QString::fromLatin1(SelectLinks));
    tables.setSql(QString::fromLatin1(SelectTables));
    fields.setSql(QString::fromLatin1(SelectFields));
    for (auto _ : state) {
        // The load at start-up: a component that holds no description yet.
        state.PauseTiming();
        auto access = std::make_unique<TDBAccess>();
        access->SetDataBase(&db);
        access->SetTables(&tables);
        access->SetFields(&fields);
        access->SetLinks(&links);
        access->SetLanguage(krnLangFRA);
        state.ResumeTiming();
        access->LoadMetaData();
        state.PauseTiming();
        if (access->TableProps().Count() != TableCount + 5 ||
            access->FindTableProps(QStringLiteral("T1999"))->FieldCount() != FieldsPerTable ||
            access->LinkSet().Count() != TableCount - 1 + 3)
            state.SkipWithError("metadata incomplete");
        access.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (TableCount + FieldCount));
}

// For reading the figure above: opening the same three queries as datasets and reading every
// column of every row as text, without building any description.
void BM_WalkQueries(benchmark::State& state)
{
    Database db;
    db.setDriverName(QStringLiteral("STANDARD"));
    db.params().setValue(DbParam::Path, fixture().dir.path());
    db.open();
    for (auto _ : state) {
        qint64 sum = 0;
        for (const char* sql : {SelectLinks, SelectTables, SelectFields}) {
            SqlQuery q;
            q.setDatabase(&db);
            q.setSql(QString::fromLatin1(sql));
            q.open();
            QList<const Field*> columns;
            for (int i = 0; i < q.fieldCount(); ++i)
                columns.append(q.field(i));
            for (; !q.eof(); q.next()) {
                for (const Field* f : std::as_const(columns))
                    sum += f->asString().size();
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * (TableCount + FieldCount));
}

BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadMetaData)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WalkQueries)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BenchProgram benchProgram()
{
    return {.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_LoadMetaData", "BM_RawRead", "at most 2.0");
        r.printRatio("BM_WalkQueries", "BM_RawRead");
    }};
}
