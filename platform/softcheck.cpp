// Soft check reporting.
#include "softcheck.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace softcheck {

bool fatal()
{
    static const bool value = qEnvironmentVariableIntValue("QUORVANE_FATAL_SOFT_CHECKS") == 1;
    return value;
}

void fail(const char* condition, const char* file, int line, const QString& detail)
{
    std::fprintf(stderr, "soft check failed: %s at %s:%d: %s\n", condition, file, line,
                 detail.toLocal8Bit().constData());
    if (fatal())
        std::abort();
}

} // namespace softcheck
