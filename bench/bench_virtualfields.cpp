// Virtual fields that name one another, each benchmark against a baseline run in turns with it
// within one run:
// - setting the expressions of 4,000 fields that form one chain (V<i> = "[V<i+1>]+1"), against
//   the same 4,000 fields set to texts that name no other field ("[X<i>]+1"), so that each
//   setting has nothing to follow. Each setting checks the new text for a circular reference
//   through the other fields; over a chain that check must cost about what it costs for a field
//   alone, in either order the chain is set: from its end up (each field on a finished chain) or
//   from its head down (each field naming one not set yet);
// - setting and evaluating the longest chain the depth bound accepts (257 fields) where each
//   field uses the next twice ("[V<i+1>]+[V<i+1>]", 2^256 paths to the last), against as many
//   fields each using the next once ("[V<i+1>]+1"): a field used twice is worked out once;
// - setting and evaluating 131,071 fields in a tree (V<i> = "[V<2i+1>]+[V<2i+2>]", the leaves
//   "1") through its root, against 16 trees of 8,191 fields: the work grows with the number of
//   fields, not faster.
#include <reports/rgen.h>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <chrono>
#include <cmath>
#include <functional>

namespace {

constexpr int Fields = 4000;

using Clock = std::chrono::steady_clock;

enum class Texts { ChainFromItsEnd, ChainFromItsHead, Alone };

QString nameOf(int i)
{
    return QStringLiteral("V%1").arg(i);
}

// Fields V0 ... V<count - 1> added to the report and named.
QList<rgen::TVirtualField*> namedFields(rgen::TRptGen& report, int count)
{
    QList<rgen::TVirtualField*> fields;
    for (int i = 0; i < count; ++i) {
        rgen::TVirtualField* field = report.VirtualFields().Add();
        field->SetDisplayName(nameOf(i));
        fields << field;
    }
    return fields;
}

// Seconds to set the expressions of fields V0 ... V3999 that exist and are named already; -1 when
// a text was not taken.
double setFields(Texts texts)
{
    rgen::TRptGen report;
    const QList<rgen::TVirtualField*> fields = namedFields(report, Fields);
    QStringList expressions;
    for (int i = 0; i < Fields; ++i) {
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

// The fields V0 ... V<count - 1>, named, with their expressions set by `text` from the last to
// the first, then V0 evaluated; seconds, or -1 when V0's value is not `expected`.
double setAndEvaluate(int count, const std::function<QString(int)>& text, double expected)
{
    rgen::TRptGen report;
    const QList<rgen::TVirtualField*> fields = namedFields(report, count);
    QStringList expressions;
    for (int i = 0; i < count; ++i)
        expressions << text(i);
    const Clock::time_point start = Clock::now();
    for (int i = count - 1; i >= 0; --i)
        fields[i]->SetExpression(expressions[i]);
    const Variant value = fields[0]->Value();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return value.toDouble() == expected ? seconds : -1;
}

// The longest chain the depth bound accepts: 256 links.
constexpr int ChainFields = 257;

QString link(int i, const char* format)
{
    return i == ChainFields - 1 ? QStringLiteral("1")
                                : QString::fromLatin1(format).arg(nameOf(i + 1));
}

void BM_ChainUsingEachFieldTwice(benchmark::State& state)
{
    inTurns(
        state,
        [] {
            return setAndEvaluate(
                ChainFields, [](int i) { return link(i, "[%1]+[%1]"); },
                std::ldexp(1.0, ChainFields - 1));
        },
        [] {
            return setAndEvaluate(
                ChainFields, [](int i) { return link(i, "[%1]+1"); }, double(ChainFields));
        },
        ChainFields);
}
BENCHMARK(BM_ChainUsingEachFieldTwice)->Unit(benchmark::kMillisecond)->UseManualTime();

// A tree of fields, V<i> = "[V<2i+1>]+[V<2i+2>]" and the leaves "1", set and evaluated through its
// root; seconds, or -1 for a wrong value.
double setAndEvaluateTree(int fields)
{
    return setAndEvaluate(
        fields,
        [fields](int i) {
            return 2 * i + 2 < fields
                       ? QLatin1Char('[') + nameOf(2 * i + 1) + QStringLiteral("]+[") +
                             nameOf(2 * i + 2) + QLatin1Char(']')
                       : QStringLiteral("1");
        },
        (fields + 1) / 2);
}

constexpr int TreeLevels = 17; // 131,071 fields
constexpr int SmallTreeLevels = 13;

void BM_TreeOfFields(benchmark::State& state)
{
    inTurns(
        state, [] { return setAndEvaluateTree((1 << TreeLevels) - 1); },
        [] {
            double seconds = 0;
            for (int k = 0; k < 1 << (TreeLevels - SmallTreeLevels); ++k) {
                const double one = setAndEvaluateTree((1 << SmallTreeLevels) - 1);
                if (one < 0)
                    return one;
                seconds += one;
            }
            return seconds;
        },
        (1 << TreeLevels) - 1);
}
BENCHMARK(BM_TreeOfFields)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    program.ratios = [](const RatioReporter& r) {
        const char* const baseline = "4,000 fields naming none, in turns";
        r.printMeasuredRatio("BM_SetChainFromItsEnd", baseline, "at most 1.5");
        r.printMeasuredRatio("BM_SetChainFromItsHead", baseline, "at most 1.5");
        r.printMeasuredRatio("BM_ChainUsingEachFieldTwice",
                             "as many fields using the next once, set and evaluated, in turns",
                             "at most 2");
        r.printMeasuredRatio("BM_TreeOfFields",
                             "16 trees of 8,191 fields set and evaluated, in turns", "at most 2");
    };
    return program;
}
