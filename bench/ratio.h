// What every benchmark program shares: a console reporter that keeps the figures of each run, and
// the description each program gives of itself to the one main() they all use (bench/main.cpp),
// which runs the benchmarks and then prints the program's ratios against the baselines measured
// in the same process.
#pragma once

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QString>

#include <QtGlobal>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Seconds per iteration of a run, named by its function and arguments ("BM_Load/1000"), without
    // the settings it ran under ("/min_time:...", "/iterations:...", "/repeats:..."); with
    // repetitions, the median. 0 when it did not run.
    double seconds(const std::string& name) const;
    // A user counter of a run (rates per second, as the console shows them); with repetitions,
    // the median. 0 when absent.
    double counter(const std::string& name, const std::string& key) const;

    // Prints "name / baseline = ratio" of the median times, with the range of the ratios of
    // the repetitions taken pairwise when there were several, and the goal when given. Returns
    // the ratio, 0 when it could not be taken.
    double printRatio(const std::string& name, const std::string& baseline,
                      const char* goal = nullptr) const;
    // The same for a ratio the benchmark took itself against a baseline run in turns with it,
    // kept in its "ratio" counter; `baseline` describes that baseline.
    double printMeasuredRatio(const std::string& name, const char* baseline,
                              const char* goal = nullptr) const;

    // Whether a benchmark stopped with an error; the program then fails.
    bool anyError() const { return m_error; }

private:
    struct Figures
    {
        std::vector<double> seconds;
        std::map<std::string, std::vector<double>> counters;
    };
    const Figures* find(const std::string& name) const;

    std::map<std::string, Figures> m_runs;
    bool m_error = false;
};

// Runs `ours` and `baseline` in turns, each going first every other time, and keeps the ratio of
// their summed times in the "ratio" counter (for printMeasuredRatio): a shared machine's bursts
// then weigh on both alike. The reported time is ours (use manual time). Each returns its
// seconds, or a negative number for a wrong result; `rows` counts the items of one run.
void inTurns(benchmark::State& state, const std::function<double()>& ours,
             const std::function<double()>& baseline, qint64 rows);

// What a benchmark program adds to its benchmarks. Each program defines benchProgram() once.
struct BenchProgram
{
    // The application object the program's code needs; a QCoreApplication when not given.
    std::function<std::unique_ptr<QCoreApplication>(int& argc, char** argv)> application = {};
    // Runs before the benchmarks; an error text stops the program with status 1.
    std::function<QString()> check = {};
    // Prints the program's ratios and goals once every benchmark has run.
    std::function<void(const RatioReporter&)> ratios = {};
};

BenchProgram benchProgram();

// For BenchProgram::application: a program whose code needs another application class.
template <typename Application>
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    return std::make_unique<Application>(argc, argv);
}
