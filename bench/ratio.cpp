// The figures every benchmark program keeps of its runs, the ratios it prints from them, and the
// baseline run in turns with the benchmark.
#include "ratio.h"

#include <algorithm>
#include <cstdio>

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

void inTurns(benchmark::State& state, const std::function<double()>& ours,
             const std::function<double()>& baseline, qint64 rows)
{
    double oursSum = 0, baselineSum = 0;
    int turn = 0;
    for (auto _ : state) {
        double mine = 0, theirs = 0;
        for (int side = 0; side < 2; ++side) {
            if ((side + turn) % 2 == 0)
                theirs = baseline();
            else
                mine = ours();
        }
        ++turn;
        if (mine < 0 || theirs < 0) {
            state.SkipWithError("wrong result");
            return;
        }
        oursSum += mine;
        baselineSum += theirs;
        state.SetIterationTime(mine);
    }
    state.counters["ratio"] = baselineSum > 0 ? oursSum / baselineSum : 0;
    state.SetItemsProcessed(state.iterations() * rows);
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& r : runs) {
        if (r.error_occurred)
            m_error = true;
        if (r.run_type != Run::RT_Iteration || r.error_occurred || r.iterations <= 0)
            continue;
        // A run is known by its function and arguments, whatever settings it ran under.
        benchmark::BenchmarkName name;
        name.function_name = r.run_name.function_name;
        name.args = r.run_name.args;
        Figures& figures = m_runs[name.str()];
        figures.seconds.push_back(r.real_accumulated_time / double(r.iterations));
        for (const auto& [key, c] : r.counters)
            figures.counters[key].push_back(c.value);
    }
    ConsoleReporter::ReportRuns(runs);
}

const RatioReporter::Figures* RatioReporter::find(const std::string& name) const
{
    const auto it = m_runs.find(name);
    return it == m_runs.end() ? nullptr : &it->second;
}

double RatioReporter::seconds(const std::string& name) const
{
    const Figures* f = find(name);
    return f ? median(f->seconds) : 0.0;
}

double RatioReporter::counter(const std::string& name, const std::string& key) const
{
    const Figures* f = find(name);
    if (!f)
        return 0;
    const auto it = f->counters.find(key);
    return it == f->counters.end() ? 0.0 : median(it->second);
}

double RatioReporter::printRatio(const std::string& name, const std::string& baseline,
                                 const char* goal) const
{
    const Figures* t = find(name);
    const Figures* b = find(baseline);
    if (!t || !b)
        return 0;
    const double ratio = median(t->seconds) / median(b->seconds);
    std::printf("%s / %s = %.2f", name.c_str(), baseline.c_str(), ratio);
    const size_t pairs = std::min(t->seconds.size(), b->seconds.size());
    if (pairs > 1) {
        std::vector<double> ratios;
        for (size_t i = 0; i < pairs; ++i)
            ratios.push_back(t->seconds[i] / b->seconds[i]);
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf(" (%.2f-%.2f over %zu repetitions)", *low, *high, pairs);
    }
    if (goal)
        std::printf("  (goal: %s)", goal);
    std::printf("\n");
    return ratio;
}

double RatioReporter::printMeasuredRatio(const std::string& name, const char* baseline,
                                         const char* goal) const
{
    const double ratio = counter(name, "ratio");
    if (ratio <= 0)
        return 0;
    std::printf("%s / %s = %.2f", name.c_str(), baseline, ratio);
    if (goal)
        std::printf("  (goal: %s)", goal);
    std::printf("\n");
    return ratio;
}
