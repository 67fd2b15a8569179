// Soft checks: conditions that data from outside can break. A failed check is logged and the
// caller recovers; with QUORVANE_FATAL_SOFT_CHECKS=1 in the environment (as the test runs set it)
// it aborts instead, so that no test passes over one silently.
#pragma once

#include <QString>

namespace softcheck {
// Reports a failed check; returns normally unless soft checks are fatal.
void fail(const char* condition, const char* file, int line, const QString& detail);
bool fatal();
} // namespace softcheck

#define QV_SOFT_CHECK(cond, detail)                                                                \
    ((cond) ? true : (softcheck::fail(#cond, __FILE__, __LINE__, (detail)), false))
