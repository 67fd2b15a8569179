// The program's clock: the system's local time, or a time fixed by a test. Safe across threads,
// since the analyser engine's worker reads it too.
#include "clock.h"

#include <QMutex>

#include <optional>

namespace {

struct ClockState
{
    QMutex mutex;
    std::optional<QDateTime> fixed;
    qint64 offsetMs = 0;
};

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

void clock::setFixed(const QDateTime& at)
{
    Q_ASSERT(at.isValid());
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    s.fixed = at.toLocalTime();
    s.offsetMs = 0;
}

void clock::advance(qint64 ms)
{
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    if (s.fixed)
        s.fixed = s.fixed->addMSecs(ms);
    else
        s.offsetMs += ms;
}

void clock::reset()
{
    ClockState& s = state();
    const QMutexLocker lock(&s.mutex);
    s.fixed.reset();
    s.offsetMs = 0;
}
