// Cutting a print job into its pages against its baseline in the same run: a 64 MiB job file of
// 20 pages, with stray bytes between them, cut into 20 page files (each written under a temporary
// name and renamed) against copying the same file once with the program's own copy, which writes
// it the same way. Neither is flushed to the disk here: the registry flushes the pages when it
// takes them, as it flushes a copied file.
#include <app/sources/spoolfiles.h>
#include <platform/fileops.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 JobSize = 64 * 1024 * 1024;
constexpr int PageCount = 20;
constexpr qint64 Gap = 4096;

struct Fixture
{
    QTemporaryDir dir;
    QString job;

    Fixture()
    {
        job = dir.path() + QStringLiteral("/spool/00002.SPL");
        QDir().mkpath(dir.path() + QStringLiteral("/spool"));
        QDir().mkpath(dir.path() + QStringLiteral("/copy"));
        QFile out(job);
        if (!out.open(QIODevice::WriteOnly))
            std::abort();
        const quint32 pageSize = quint32((JobSize - PageCount * Gap) / PageCount) & ~3u;
        QRandomGenerator random(22);
        for (int page = 0; page < PageCount; ++page) {
            QByteArray gap(Gap, Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32*>(gap.data()), Gap / 4);
            QByteArray bytes(pageSize, '\x7f');
            bytes[0] = 0x01;
            bytes.replace(40, 4, " EMF");
            qToLittleEndian(pageSize, bytes.data() + 48);
            if (out.write(gap) != Gap || out.write(bytes) != bytes.size())
                std::abort();
        }
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void removePages()
{
    QDir spool(fixture().dir.path() + QStringLiteral("/spool"));
    for (const QString& name : spool.entryList({QStringLiteral("*.emf")}, QDir::Files))
        spool.remove(name);
}

void BM_CopyJobFile(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString copy = f.dir.path() + QStringLiteral("/copy/00002.SPL");
    for (auto _ : state) {
        // The former copy goes outside the timing, as the former pages do below.
        state.PauseTiming();
        QFile::remove(copy);
        state.ResumeTiming();
        if (!fileops::copy(f.job, copy, nullptr, fileops::Flush::Later)) {
            state.SkipWithError("the copy failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * JobSize);
}

void BM_ExtractEmfPages(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        removePages();
        QStringList pages;
        state.ResumeTiming();
        if (ExtractEmfPages(f.job, pages) != EmfExtraction::Whole || pages.size() != PageCount) {
            state.SkipWithError("the job was not cut into its pages");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * JobSize);
}

BENCHMARK(BM_CopyJobFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExtractEmfPages)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    program.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_ExtractEmfPages", "BM_CopyJobFile", "at most 1.5");
    };
    return program;
}
