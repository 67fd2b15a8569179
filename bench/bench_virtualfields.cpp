// Setting the expressions of 4,000 virtual fields that form one chain (V<i> = "[V<i+1>]+1"),
// against 4,000 settings of one field: the same 4,000 fields set to texts that name no other
// field ("[X<i>]+1"), so that each setting has nothing to follow. The two run in turns within one
// run. Each setting checks the new text for a circular reference through the other fields; over a
// chain that check must cost about what it costs for a field alone, in either order the chain is
// set: from its end up (each field on a finished chain) or from its head down (each field naming
// one not set yet).
#include <reports/rgen.h>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <chrono>

namespace {

constexpr int Fields = 4000;

using Clock = std::chrono::steady_clock;

enum class Texts { ChainFromItsEnd, ChainFromItsHead, Alone };

QString nameOf(int i)
{
    return QStringLiteral("V%1").arg(i);
}

// Seconds to set the expressions of fields V0 ... V3999 that exist and are named already; -1 when
// a text was not taken.
double setFields(Texts texts)
{
    rgen::TRptGen report;
    QList<rgen::TVirtualField*> fields;
    QStringList expressions;
    for (int i = 0; i < Fields; ++i) {
        rgen::TVirtualField* field = report.VirtualFields().Add();
        field->SetDisplayName(nameOf(i));
        fields << field;
        if (texts == Texts::Alone)
            expressions << QStringLiteral("[X%1]+1").arg(i);
        else
            expressions << (i == Fields - 1
                                ? QStringLiteral("1")
                                : QLatin1Char('[') + nameOf(i + 1) + QStringLiteral("]+1"));
    }
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < Fields; ++k) {
        const int i = texts == Texts::ChainFromItsEnd ? Fields - 1 - k : k;
        fields[i]->SetExpression(expressions[i]);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (int i = 0; i < Fields; ++i) {
        if (fields[i]->Expression() != expressions[i])
            return -1;
    }
    return seconds;
}

void BM_SetChainFromItsEnd(benchmark::State& state)
{
    inTurns(
        state, [] { return setFields(Texts::ChainFromItsEnd); },
        [] { return setFields(Texts::Alone); }, Fields);
}
BENCHMARK(BM_SetChainFromItsEnd)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseManualTime();

void BM_SetChainFromItsHead(benchmark::State& state)
{
    inTurns(
        state, [] { return setFields(Texts::ChainFromItsHead); },
        [] { return setFields(Texts::Alone); }, Fields);
}
BENCHMARK(BM_SetChainFromItsHead)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseManualTime();

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    program.ratios = [](const RatioReporter& r) {
        const char* const baseline = "4,000 fields naming none, in turns";
        r.printMeasuredRatio("BM_SetChainFromItsEnd", baseline, "at most 1.5");
        r.printMeasuredRatio("BM_SetChainFromItsHead", baseline, "at most 1.5");
    };
    return program;
}
