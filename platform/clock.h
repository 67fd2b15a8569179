// The program's one source of the current date and time, which tests can set and move.
//
// It is a class of static functions rather than a namespace because the C library already
// declares a function named clock(); calls read the same either way: clock::now().
// Waits and time-outs do not use it: they run on the monotonic clock (QDeadlineTimer).
#pragma once

#include <QDateTime>

class clock
{
public:
    clock() = delete;

    // The current local date and time: the system's, or the fixed one, moved by advance().
    static QDateTime now();
    // The same instant in UTC, for what is only stored and compared: it costs no look at the
    // time zone.
    static QDateTime nowUtc();

    // Stops the clock at `at` (taken as local time) until reset().
    static void setFixed(const QDateTime& at);
    // Moves the clock by `ms` milliseconds (backwards when negative): the fixed time when there
    // is one, otherwise from then on an offset to the system's time.
    static void advance(qint64 ms);
    // Back to the system's time.
    static void reset();
};
