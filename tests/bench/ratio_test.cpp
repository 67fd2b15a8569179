// The figures the benchmark programs keep of their runs: a run is found under its function and
// arguments, whatever settings it ran under.
#include "ratio.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using BenchRun = benchmark::BenchmarkReporter::Run;

BenchRun run(const std::string& function, const std::string& args, double secondsEach,
             int iterations)
{
    BenchRun r;
    r.run_name.function_name = function;
    r.run_name.args = args;
    r.iterations = iterations;
    r.real_accumulated_time = secondsEach * iterations;
    return r;
}

} // namespace

TEST(RatioReporter, RunsAreFoundByFunctionAndArgumentsWhateverTheirSettings)
{
    RatioReporter reporter;
    std::ostringstream console;
    reporter.SetOutputStream(&console);
    reporter.SetErrorStream(&console);
    // Two repetitions of a benchmark that sets its iterations, repetitions and manual time, and
    // of one that sets its minimum time.
    for (const double ours : {0.3, 0.5}) {
        BenchRun set = run("BM_Ours", {}, ours, 6);
        set.run_name.iterations = "iterations:6";
        set.run_name.repetitions = "repeats:2";
        set.run_name.time_type = "manual_time";
        set.counters["ratio"] = benchmark::Counter(ours * 4);
        BenchRun timed = run("BM_Baseline", "1000", 0.2, 10);
        timed.run_name.min_time = "min_time:2.000";
        reporter.ReportRuns({set, timed});
    }
    EXPECT_DOUBLE_EQ(reporter.seconds("BM_Ours"), 0.4);
    EXPECT_DOUBLE_EQ(reporter.seconds("BM_Baseline/1000"), 0.2);
    EXPECT_DOUBLE_EQ(reporter.counter("BM_Ours", "ratio"), 1.6);
    EXPECT_DOUBLE_EQ(reporter.printRatio("BM_Ours", "BM_Baseline/1000", "at most 2"), 2.0);
    EXPECT_DOUBLE_EQ(reporter.printMeasuredRatio("BM_Ours", "in turns", "at most 2"), 1.6);
    EXPECT_EQ(reporter.seconds("BM_Missing"), 0.0);
}
