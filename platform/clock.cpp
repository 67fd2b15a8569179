// The program's clock: the system's local time, or a time fixed by a test. Safe across threads,
// since the analyser engine's worker reads it too.
#include "clock.h"

#include <QElapsedTimer>
#include <QMutex>

#include <optional>

namespace {

struct ClockState
{
    QMutex mutex;
    std::optional<QDateTime> fixed;
    qint64 offsetMs = 0;
    qint64 monotonicOffsetMs = 0;
    std::optional<qint64> frozenMs; // the monotonic reading while the clock is fixed
};

qint64 elapsedMs()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

ClockState& state()
{
    static ClockState s;
    return s;
}

} // namespace

QDateTime clock::now()
{
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    if (s.fixed)
        return *s.fixed;
    const QDateTime system = QDateTime::currentDateTime();
    return s.offsetMs == 0 ? system : system.addMSecs(s.offsetMs);
}

QDateTime clock::nowUtc()
{
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    if (s.fixed)
        return s.fixed->toUTC();
    const QDateTime system = QDateTime::currentDateTimeUtc();
    return s.offsetMs == 0 ? system : system.addMSecs(s.offsetMs);
}

qint64 clock::monotonicMs()
{
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    return s.frozenMs ? *s.frozenMs : elapsedMs() + s.monotonicOffsetMs;
}

void clock::setFixed(const QDateTime& at)
{
    Q_ASSERT(at.isValid());
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    s.fixed = at.toLocalTime();
    s.offsetMs = 0;
    if (!s.frozenMs)
        s.frozenMs = elapsedMs() + s.monotonicOffsetMs;
}

void clock::advance(qint64 ms)
{
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    if (s.fixed)
        s.fixed = s.fixed->addMSecs(ms);
    else
        s.offsetMs += ms;
    if (ms > 0)
        (s.frozenMs ? *s.frozenMs : s.monotonicOffsetMs) += ms;
}

void clock::reset()
{
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    s.fixed.reset();
    s.offsetMs = 0;
    if (s.frozenMs) {
        // Going on from the frozen reading: the monotonic clock never goes back.
        s.monotonicOffsetMs = *s.frozenMs - elapsedMs();
        s.frozenMs.reset();
    }
}
