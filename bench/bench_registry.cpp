// Document registration against its baseline in the same run: 2,000 small files handed over to
// the registry (copied into the documents' folder under a temporary name, the row stored and
// written to disk, the file renamed to its data file name) against copying the same files with
// the standard library. For reading that figure: the same registrations by moving the files, as
// most sources hand theirs over.
#include <app/datatables.h>
#include <app/docregistry.h>
#include <app/tablehelpers.h>
#include <app/upgrade.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int FileCount = 2000;
constexpr int FileSize = 2048;

struct Fixture
{
    QTemporaryDir dir;
    QStringList sources;
    std::vector<std::filesystem::path> sourcePaths;
    TDataTables* tables = nullptr;

    void writeSources() const
    {
        const QByteArray content(FileSize, 'x');
        for (const QString& path : sources) {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(content) != FileSize)
                std::abort();
        }
    }

    Fixture()
    {
        WorkPath = dir.path() + QLatin1Char('/');
        BufDir = WorkPath + QStringLiteral("buf/");
        DataDir = WorkPath + QStringLiteral("data");
        QDir().mkpath(BufDir);
        QDir().mkpath(WorkPath + QStringLiteral("in"));
        QDir().mkpath(WorkPath + QStringLiteral("out"));
        for (int i = 1; i <= FileCount; ++i) {
            sources.append(WorkPath + QStringLiteral("in/result%1.txt").arg(i));
            sourcePaths.emplace_back(sources.last().toStdString());
        }
        writeSources();
        PrepareLocalTables();
        tables = CreateForm<TDataTables>();
        tables->BindTables(DataDir, true);
        for (LocalTable* table : tables->StartupTables(true))
            TableAction(*table, 0);
        LocalTable& cfg = *tables->cfg;
        cfg.append();
        cfg.fieldByName(QStringLiteral("Number"))->setAsInteger(1);
        cfg.fieldByName(QStringLiteral("Type"))->setAsInteger(1);
        cfg.fieldByName(QStringLiteral("State"))->setAsInteger(1);
        cfg.fieldByName(QStringLiteral("Extension"))->setAsString(QStringLiteral("TXT"));
        cfg.fieldByName(QStringLiteral("NeedId"))->setAsBoolean(true);
        cfg.post();
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void clearFolder(const QString& folder)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

void BM_CopyFiles(benchmark::State& state)
{
    Fixture& f = fixture();
    const std::filesystem::path out = (f.dir.path() + QStringLiteral("/out")).toStdString();
    for (auto _ : state) {
        state.PauseTiming();
        clearFolder(f.dir.path() + QStringLiteral("/out"));
        state.ResumeTiming();
        for (const std::filesystem::path& source : f.sourcePaths)
            std::filesystem::copy_file(source, out / source.filename());
    }
    state.SetItemsProcessed(state.iterations() * FileCount);
}

void registerFiles(benchmark::State& state, HandOver mode)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        f.tables->files->emptyTable();
        clearFolder(BufDir);
        if (mode == HandOver::Move)
            f.writeSources();
        state.ResumeTiming();
        for (int i = 0; i < FileCount; ++i) {
            if (RegisterDocument(f.sources.at(i), 1, 0, QStringLiteral("TXT"), mode) != i + 1) {
                state.SkipWithError("a registration failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * FileCount);
}

void BM_RegisterFiles(benchmark::State& state)
{
    registerFiles(state, HandOver::Copy);
}

void BM_RegisterMovedFiles(benchmark::State& state)
{
    registerFiles(state, HandOver::Move);
}

BENCHMARK(BM_CopyFiles)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RegisterFiles)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RegisterMovedFiles)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    // The data module is a Qt object; the offscreen platform needs no display.
    program.application = makeApplication<QApplication>;
    program.ratios = [](const RatioReporter& r) {
        for (const char* name : {"BM_RegisterFiles", "BM_RegisterMovedFiles"})
            r.printRatio(name, "BM_CopyFiles", "at most 2.0");
    };
    return program;
}
