// Document registration against its baseline, both in the same run: 2,000 small files handed
// over to the registry (brought into the documents' folder under a temporary name and flushed,
// the row stored and written to disk, the file renamed to its data file name) against handing the
// same files over with the standard library and flushing each file and its folder entry to the
// disk, which is the promise the registry makes. Once with copies (sources that leave their files
// in place), once with moves (as most sources hand their files over).
//
// The disk of a shared machine is busy in bursts, so the registry and its baseline take turns in
// batches of 100 and the ratio is that of their summed times; the reported time of a run is the
// registry's. After each batch the registry's side goes back to the event loop, as a source does
// after a scan, and so pays for the flush of the final names that waits for it.
//
// A registration makes two ordered writes to the disk (the document before the row that names it,
// the row before the registration returns) where the baseline makes one: the goal is at most twice
// the baseline, for copies and moves alike.
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/tablehelpers.h>
#include <app/documents/upgrade.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int FileCount = 2000;
constexpr int FileSize = 2048;
constexpr int Batch = 100;

using Clock = std::chrono::steady_clock;

struct Fixture
{
    QTemporaryDir dir;
    QStringList sources;                          // handed to the registry
    std::vector<std::filesystem::path> plainFrom; // the same files for the baseline
    std::filesystem::path plainTo;                // where the baseline puts them
    TDataTables* tables = nullptr;

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    void writeSources() const
    {
        const QByteArray content(FileSize, 'x');
        QStringList all = sources;
        for (const std::filesystem::path& p : plainFrom)
            all.append(QFile::decodeName(p.c_str()));
        for (const QString& name : all) {
            QFile f(name);
            if (!f.open(QIODevice::WriteOnly) || f.write(content) != FileSize)
                std::abort();
        }
    }

    // Writes what the set-up of a run left in memory to the disk, so that the timed part does not
    // pay for it: flushing one file may take every earlier change of the file system with it.
    void settle() const
    {
        const int fd = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::syncfs(fd) != 0)
            std::abort();
        ::close(fd);
    }

    Fixture()
    {
        WorkPath = dir.path() + QLatin1Char('/');
        BufDir = WorkPath + QStringLiteral("buf/");
        DataDir = WorkPath + QStringLiteral("data");
        for (const QString& folder : {BufDir, path("in"), path("plain-in"), path("plain-out")})
            QDir().mkpath(folder);
        plainTo = QFile::encodeName(path("plain-out")).toStdString();
        for (int i = 1; i <= FileCount; ++i) {
            sources.append(path(QStringLiteral("in/result%1.txt").arg(i)));
            plainFrom.emplace_back(
                QFile::encodeName(path(QStringLiteral("plain-in/result%1.txt").arg(i)))
                    .toStdString());
        }
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

// The baseline for files [from, to): each copied or moved, then its bytes and its folder entry
// flushed. False when a call failed.
bool handOverPlainly(const Fixture& f, int from, int to, HandOver mode, int folder)
{
    for (int i = from; i < to; ++i) {
        const std::filesystem::path& source = f.plainFrom[size_t(i)];
        const std::filesystem::path target = f.plainTo / source.filename();
        std::error_code error;
        if (mode == HandOver::Move)
            std::filesystem::rename(source, target, error);
        else
            std::filesystem::copy_file(source, target, error);
        const int file = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        const bool ok = !error && file >= 0 && ::fdatasync(file) == 0 && ::fsync(folder) == 0;
        ::close(file);
        if (!ok)
            return false;
    }
    return true;
}

bool registerAll(const Fixture& f, int from, int to, HandOver mode)
{
    for (int i = from; i < to; ++i) {
        if (RegisterDocument(f.sources.at(i), 1, 0, QStringLiteral("TXT"), mode) != i + 1)
            return false;
    }
    QCoreApplication::processEvents();
    return true;
}

void handOverInTurns(benchmark::State& state, HandOver mode)
{
    Fixture& f = fixture();
    std::chrono::duration<double> plain{0}, registry{0};
    for (auto _ : state) {
        f.tables->files->emptyTable();
        clearFolder(BufDir);
        clearFolder(f.path("plain-out"));
        f.writeSources();
        f.settle();
        const int folder = ::open(f.plainTo.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::chrono::duration<double> registering{0};
        bool ok = folder >= 0;
        // Batches alternate which of the two goes first.
        for (int from = 0, n = 0; ok && from < FileCount; from += Batch, ++n) {
            const int to = std::min(from + Batch, FileCount);
            for (int turn = 0; ok && turn < 2; ++turn) {
                const bool plainly = (turn + n) % 2 == 0;
                const Clock::time_point start = Clock::now();
                ok = plainly ? handOverPlainly(f, from, to, mode, folder)
                             : registerAll(f, from, to, mode);
                (plainly ? plain : registering) += Clock::now() - start;
            }
        }
        ::close(folder);
        if (!ok) {
            state.SkipWithError("a hand-over failed");
            return;
        }
        registry += registering;
        state.SetIterationTime(registering.count());
    }
    const double n = double(state.iterations());
    state.counters["plain_ms"] = plain.count() / n * 1000;
    state.counters["ratio"] = plain.count() > 0 ? registry.count() / plain.count() : 0;
    state.SetItemsProcessed(state.iterations() * FileCount);
}

void BM_RegisterCopies(benchmark::State& state)
{
    handOverInTurns(state, HandOver::Copy);
}

void BM_RegisterMoves(benchmark::State& state)
{
    handOverInTurns(state, HandOver::Move);
}

BENCHMARK(BM_RegisterCopies)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseManualTime();
BENCHMARK(BM_RegisterMoves)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseManualTime();

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    // The data module is a Qt object; the offscreen platform needs no display.
    program.application = makeApplication<QApplication>;
    program.ratios = [](const RatioReporter& r) {
        r.printMeasuredRatio("BM_RegisterCopies", "copies flushed with their folder entry",
                             "at most 2.0");
        r.printMeasuredRatio("BM_RegisterMoves", "moves flushed with their folder entry",
                             "at most 2.0");
    };
    return program;
}
