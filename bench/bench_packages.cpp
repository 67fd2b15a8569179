// The package file against its baseline, both in the same run: 1,000 documents of 100 KiB
// (100 MiB) written into one package file (each data file found, read in blocks, its description
// looked up and written, the whole flushed to the disk and renamed into place) against
// concatenating the same files into one file with the same flush and rename. The two take turns,
// and the ratio is that of their summed times.
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/tablehelpers.h>
#include <app/documents/upgrade.h>
#include <app/packages/packages.h>
#include <platform/db/localtable.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int DocumentCount = 1000;
constexpr int DocumentSize = 100 * 1024;

using Clock = std::chrono::steady_clock;

struct Fixture
{
    QTemporaryDir dir;
    QStringList dataFiles;
    TDataTables* tables = nullptr;

    Fixture()
    {
        WorkPath = dir.path() + QLatin1Char('/');
        BufDir = WorkPath + QStringLiteral("buf/");
        ExchangeDir = WorkPath + QStringLiteral("exchange/");
        DataDir = WorkPath + QStringLiteral("data");
        QDir().mkpath(BufDir);
        QDir().mkpath(ExchangeDir);
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
        cfg.fieldByName(QStringLiteral("Titul"))->setAsString(QStringLiteral("Résultats"));
        cfg.post();
        const QByteArray content(DocumentSize, 'x');
        for (int i = 0; i < DocumentCount; ++i) {
            const int number = AddImportedFile(1, QStringLiteral("doc"), 1, 0, QStringLiteral("X"));
            const QString name = DocumentFileName(number, 1);
            QFile f(name);
            if (number <= 0 || !f.open(QIODevice::WriteOnly) || f.write(content) != DocumentSize)
                std::abort();
            dataFiles.append(name);
        }
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// The baseline: every data file appended to one file through a buffer of the same size, then
// flushed and renamed into place.
bool concatenate(const Fixture& f, const QString& target)
{
    const QByteArray temp = QFile::encodeName(target + QStringLiteral(".tmp"));
    const int out = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        return false;
    std::vector<char> buffer(60000);
    bool ok = true;
    for (const QString& name : f.dataFiles) {
        const int in = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
        ok = in >= 0;
        ssize_t n = 0;
        while (ok && (n = ::read(in, buffer.data(), buffer.size())) > 0)
            ok = ::write(out, buffer.data(), size_t(n)) == n;
        ::close(in);
        if (!ok)
            break;
    }
    ok = ok && ::fdatasync(out) == 0;
    ::close(out);
    return ok && ::rename(temp.constData(), QFile::encodeName(target).constData()) == 0;
}

void BM_WritePackageBody(benchmark::State& state)
{
    Fixture& f = fixture();
    std::chrono::duration<double> plain{0}, package{0};
    int n = 0;
    for (auto _ : state) {
        std::chrono::duration<double> writing{0};
        for (int turn = 0; turn < 2; ++turn) {
            const bool plainly = (turn + n) % 2 == 0;
            const Clock::time_point start = Clock::now();
            bool ok = true;
            if (plainly) {
                ok = concatenate(f, ExchangeDir + QStringLiteral("plain"));
            } else {
                try {
                    ok = WritePackageBody(ExchangeDir + QStringLiteral("1.mpk"), BufDir, nullptr)
                             .size() == DocumentCount;
                } catch (const std::exception&) {
                    ok = false;
                }
            }
            (plainly ? plain : writing) += Clock::now() - start;
            if (!ok) {
                state.SkipWithError("a write failed");
                return;
            }
        }
        ++n;
        package += writing;
        state.SetIterationTime(writing.count());
    }
    const double runs = double(state.iterations());
    state.counters["plain_ms"] = plain.count() / runs * 1000;
    state.counters["ratio"] = plain.count() > 0 ? package.count() / plain.count() : 0;
    state.SetBytesProcessed(state.iterations() * qint64(DocumentCount) * DocumentSize);
}

BENCHMARK(BM_WritePackageBody)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseManualTime();

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    program.application = makeApplication<QApplication>;
    program.ratios = [](const RatioReporter& r) {
        r.printMeasuredRatio("BM_WritePackageBody", "concatenating the same files", "at most 1.5");
    };
    return program;
}
