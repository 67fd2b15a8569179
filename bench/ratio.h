// What every benchmark program shares: a console reporter that keeps the time of each run, so that
// the program can print its ratios against the baseline measured in the same process.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred)
                continue;
            std::string name = r.benchmark_name();
            name = name.substr(0, name.find("/min_time"));
            m_times[name] = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Time per iteration of a run (its name with arguments, without "/min_time:..."), in the
    // run's own unit; 0 when it did not run.
    double time(const std::string& name) const
    {
        const auto it = m_times.find(name);
        return it == m_times.end() ? 0.0 : it->second;
    }

    // Prints "name / baseline = ratio" (with the goal, when given) when both ran; returns the
    // ratio, 0 when it could not be taken.
    double printRatio(const std::string& name, const std::string& baseline,
                      const char* goal = nullptr) const
    {
        const double t = time(name), b = time(baseline);
        if (t <= 0 || b <= 0)
            return 0;
        std::printf("%s / %s = %.2f%s%s%s\n", name.c_str(), baseline.c_str(), t / b,
                    goal ? "  (goal: " : "", goal ? goal : "", goal ? ")" : "");
        return t / b;
    }

private:
    std::map<std::string, double> m_times;
};
