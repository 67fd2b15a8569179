// The main() of every benchmark program: the application object, the program's own check, the
// benchmarks, then the program's ratios. The exit status is 1 when a check or a benchmark failed.
#include "ratio.h"

#include <platform/process.h>

#include <cstdio>

int main(int argc, char** argv)
{
    // The heap behaves as in the program.
    keepFreedMemory();
    const BenchProgram program = benchProgram();
    const std::unique_ptr<QCoreApplication> app =
        program.application ? program.application(argc, argv)
                            : std::make_unique<QCoreApplication>(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (program.check) {
        const QString error = program.check();
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    if (program.ratios)
        program.ratios(reporter);
    benchmark::Shutdown();
    return reporter.anyError() ? 1 : 0;
}
