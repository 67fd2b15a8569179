// 10,000 recorded ASTM result messages (H, P, O, five R, C, L: ten frames each) taken through
// the frame, record and message layer of the Elecsys driver, against a raw pass over the same
// bytes that finds the same frames and sums and compares their checksums.
#include <analysers/astmdevices.h>
#include <platform/controlchars.h>

#include <benchmark/benchmark.h>

#include "ratio.h"

namespace {

constexpr int kMessages = 10000;

QByteArray frame(int number, const QByteArray& text)
{
    const QByteArray body = QByteArray::number(number % 8) + text + CR + ETX;
    quint8 sum = 0;
    for (const char c : body)
        sum = quint8(sum + quint8(c));
    return STX + body + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + CR + LF;
}

// The frames of every message, each as the port would deliver it.
const QList<QByteArray>& recorded()
{
    static const QList<QByteArray> frames = [] {
        QList<QByteArray> out;
        int n = 0;
        for (int m = 0; m < kMessages; ++m) {
            const QByteArray sample = "S" + QByteArray::number(100000 + m);
            QList<QByteArray> texts = {
                "H|\\^&|||cobas^E170^1.0|||||||P||20261207103005",
                "P|1||" + sample + "||DUPONT^JEAN",
                "O|1|" + sample + "|1^50^1|^^^10\\^^^20|R||||||N||||||||||||||F",
            };
            for (int r = 1; r <= 5; ++r)
                texts << "R|" + QByteArray::number(r) + "|^^^" + QByteArray::number(10 * r) +
                             "/1|" + QByteArray::number(m % 97) + ".5" +
                             "|mIU/l|0.27^4.2|N||F||op||20261207103005";
            texts << "C|1|I|no remark|G"
                  << "L|1|N";
            for (const QByteArray& t : texts)
                out << frame(++n, t);
            n = 0;
        }
        return out;
    }();
    return frames;
}

void BM_FrameRecordMessage(benchmark::State& state)
{
    const QList<QByteArray>& frames = recorded();
    const auto driver = TDriver::New<TElecsys>();
    qint64 records = 0;
    for (auto _ : state) {
        records = 0;
        TASTMFrame f;
        std::unique_ptr<TASTMRecord> record = driver->Message->NewRecord();
        for (const QByteArray& bytes : frames) {
            if (!f.AddData(bytes) || !f.ChecksumOK)
                state.SkipWithError("a recorded frame was refused");
            if (record->AddFrame(f)) {
                const quint8 number = record->FrameNumber;
                driver->Message->AddRecord(std::exchange(record, driver->Message->NewRecord()));
                // Numbers run on within a message; the next one starts again after its ENQ.
                record->FrameNumber = driver->Message->Records.back()->RecType == 'L' ? 0 : number;
                ++records;
            }
            f.Clear();
        }
        benchmark::DoNotOptimize(driver->Message->Values.size());
    }
    state.counters["records"] = double(records);
}
BENCHMARK(BM_FrameRecordMessage)->Unit(benchmark::kMillisecond);

void BM_RawFrames(benchmark::State& state)
{
    const QList<QByteArray>& frames = recorded();
    qint64 found = 0;
    for (auto _ : state) {
        found = 0;
        for (const QByteArray& bytes : frames) {
            const char* p = bytes.constData();
            const qsizetype n = bytes.size();
            const qsizetype stx = bytes.indexOf(STX);
            qsizetype end = stx + 1;
            quint8 sum = 0;
            while (end < n && p[end] != ETX && p[end] != ETB)
                sum = quint8(sum + quint8(p[end++]));
            if (end + 2 >= n)
                continue;
            sum = quint8(sum + quint8(p[end]));
            const auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
            if (hex(p[end + 1]) * 16 + hex(p[end + 2]) == sum)
                ++found;
        }
        benchmark::DoNotOptimize(found);
    }
    if (found != recorded().size())
        state.SkipWithError("the raw pass missed frames");
    state.counters["frames"] = double(found);
}
BENCHMARK(BM_RawFrames)->Unit(benchmark::kMillisecond);

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    program.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_FrameRecordMessage", "BM_RawFrames", "at most 10");
    };
    return program;
}
