// libFuzzer target: arbitrary expressions and subjects through the regular-expression engine and
// UpperCaseSQLVariables. Run with a time limit, for example -timeout=10 -max_len=9300.
#include "regexpr_fuzzentry.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString fault = RunRegExprFuzzInput(data, size);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "regexpr: %s\n", qPrintable(fault));
        std::abort();
    }
    return 0;
}
