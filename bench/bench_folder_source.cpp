// A quiet polling tick of the folder sources against its baseline in the same run: 20 sources that
// leave their files in place, 500 files each, every file taken already, so a tick finds nothing
// new; against listing the same 20 folders with the standard library and reading each file's
// time, which is the least a tick must do to see a changed file. For reading that figure: the
// same listing without the times.
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/documents/upgrade.h>
#include <app/sources/folder_source.h>
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

constexpr int SourceCount = 20;
constexpr int FilesPerSource = 500;

struct Fixture
{
    QTemporaryDir dir;
    std::vector<std::filesystem::path> folders;
    TDataTables* tables = nullptr;

    Fixture()
    {
        WorkPath = dir.path() + QLatin1Char('/');
        BufDir = WorkPath + QStringLiteral("buf/");
        DataDir = WorkPath + QStringLiteral("data");
        QDir().mkpath(BufDir);
        PrepareLocalTables();
        tables = CreateForm<TDataTables>();
        tables->BindTables(DataDir, true);
        for (LocalTable* table : tables->StartupTables(true))
            TableAction(*table, 0);

        for (int s = 1; s <= SourceCount; ++s) {
            const QString folder = WorkPath + QStringLiteral("source%1").arg(s);
            QDir().mkpath(folder);
            folders.emplace_back(QFile::encodeName(folder).toStdString());
            for (int i = 1; i <= FilesPerSource; ++i) {
                QFile f(folder + QStringLiteral("/result%1.txt").arg(i));
                if (!f.open(QIODevice::WriteOnly) || f.write("result\n") != 7)
                    std::abort();
            }
            tables->cfg->appendRecord({s, 1, 1, QStringLiteral("Source %1").arg(s),
                                       QStringLiteral("TXT"), false, false, 0, Variant::null()});
            tables->fRep->appendRecord({s, folder, QStringLiteral("*.*"), false, 0});
        }
        CheckFileSources();
        // The first pass takes every file; later passes are quiet.
        if (!PollFileSources() || PollFileSources())
            std::abort();
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_ListFoldersWithTimes(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        std::size_t files = 0;
        for (const std::filesystem::path& folder : f.folders) {
            for (const std::filesystem::directory_entry& entry :
                 std::filesystem::directory_iterator(folder)) {
                if (entry.is_regular_file()) {
                    benchmark::DoNotOptimize(entry.path().filename().native().size());
                    benchmark::DoNotOptimize(entry.last_write_time());
                    ++files;
                }
            }
        }
        if (files != std::size_t(SourceCount) * FilesPerSource)
            state.SkipWithError("the folders changed");
    }
}

void BM_ListFolderNames(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        for (const std::filesystem::path& folder : f.folders) {
            for (const std::filesystem::directory_entry& entry :
                 std::filesystem::directory_iterator(folder))
                benchmark::DoNotOptimize(entry.path().filename().native().size());
        }
    }
}

void BM_QuietTick(benchmark::State& state)
{
    fixture();
    for (auto _ : state) {
        if (PollFileSources()) {
            state.SkipWithError("a quiet tick registered a document");
            return;
        }
    }
}

BENCHMARK(BM_ListFoldersWithTimes)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ListFolderNames)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QuietTick)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    // The data module is a Qt object; the offscreen platform needs no display.
    program.application = makeApplication<QApplication>;
    program.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_QuietTick", "BM_ListFoldersWithTimes", "at most 1.5");
        r.printRatio("BM_QuietTick", "BM_ListFolderNames");
    };
    return program;
}
