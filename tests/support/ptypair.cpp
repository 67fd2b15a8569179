// The pseudo-terminal pair (opened in-process with openpty, both sides raw) and the scripted
// analyser that plays the far side.
#include "ptypair.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// In ptysettings.cpp, which speaks the kernel's own terminal structure.
PtyLineSettings readPtyLineSettings(int fd);

namespace {
QString systemError(const char* call)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(call),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

PtyPair::PtyPair()
{
    int far = -1;
    int near = -1;
    if (::openpty(&far, &near, nullptr, nullptr, nullptr) < 0) {
        m_error = systemError("openpty");
        return;
    }
    char name[128] = {};
    termios t{};
    if (::ttyname_r(near, name, sizeof name) != 0) {
        m_error = systemError("ttyname_r");
    } else if (::tcgetattr(near, &t) < 0) {
        m_error = systemError("tcgetattr");
    } else {
        // Raw on both sides, so that nothing is echoed or translated before the program opens
        // the near side and after it has closed it.
        ::cfmakeraw(&t);
        termios f = t;
        if (::tcsetattr(near, TCSANOW, &t) < 0 || ::tcgetattr(far, &f) < 0) {
            m_error = systemError("tcsetattr");
        } else {
            ::cfmakeraw(&f);
            const int flags = ::fcntl(far, F_GETFL);
            if (::tcsetattr(far, TCSANOW, &f) < 0 || flags < 0 ||
                ::fcntl(far, F_SETFL, flags | O_NONBLOCK) < 0)
                m_error = systemError("far side");
        }
    }
    if (!m_error.isEmpty()) {
        ::close(far);
        ::close(near);
        return;
    }
    ::fcntl(far, F_SETFD, FD_CLOEXEC);
    ::fcntl(near, F_SETFD, FD_CLOEXEC);
    m_far = far;
    m_near = near;
    m_nearPath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    if (m_far >= 0)
        ::close(m_far);
    if (m_near >= 0)
        ::close(m_near);
}

qint64 PtyPair::writeFar(const char* data, qint64 size)
{
    if (m_far < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::write(m_far, data, size_t(size));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN ? 0 : -1;
    }
}

QByteArray PtyPair::readFar()
{
    QByteArray all;
    if (m_far < 0)
        return all;
    // What waits now, not what a writer on another thread keeps adding meanwhile.
    int waiting = 0;
    if (::ioctl(m_far, FIONREAD, &waiting) < 0 || waiting <= 0)
        return all;
    all.resize(waiting);
    qsizetype got = 0;
    while (got < waiting) {
        const ssize_t n = ::read(m_far, all.data() + got, size_t(waiting - got));
        if (n > 0)
            got += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EAGAIN: nothing more waits; EIO: the near side is closed
    }
    all.truncate(got);
    return all;
}

bool PtyPair::waitFar(int timeoutMs) const
{
    if (m_far < 0)
        return false;
    pollfd fd{m_far, POLLIN, 0};
    int n = 0;
    do
        n = ::poll(&fd, 1, timeoutMs);
    while (n < 0 && errno == EINTR);
    return n > 0 && (fd.revents & POLLIN);
}

PtyLineSettings PtyPair::nearSettings() const
{
    return m_near >= 0 ? readPtyLineSettings(m_near) : PtyLineSettings{};
}

bool pumpEventsUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() >= timeoutMs)
            return condition();
        // A short nested loop sleeps in the event dispatcher instead of spinning.
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void pumpEventsFor(int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    pumpEventsUntil([&] { return elapsed.elapsed() >= ms; }, ms + 1000);
}

QString describeBytes(const QByteArray& bytes)
{
    QString hex;
    QString text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!hex.isEmpty())
            hex += QLatin1Char(' ');
        hex += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        text += b >= 0x20 && b < 0x7F ? QChar(QLatin1Char(c)) : QChar(QLatin1Char('.'));
    }
    if (bytes.isEmpty())
        return QStringLiteral("(nothing)");
    return QStringLiteral("%1 \"%2\" (%3 bytes)").arg(hex, text).arg(bytes.size());
}

ScriptedPeer& ScriptedPeer::write(const QByteArray& bytes, int timeoutMs)
{
    m_steps.append(Step{Step::Write, bytes, timeoutMs, {}, {}});
    return *this;
}

ScriptedPeer& ScriptedPeer::expect(const QByteArray& bytes, int timeoutMs)
{
    m_steps.append(Step{Step::Expect, bytes, timeoutMs, {}, {}});
    return *this;
}

ScriptedPeer& ScriptedPeer::waitFor(std::function<bool()> condition, const QString& what,
                                    int timeoutMs)
{
    m_steps.append(Step{Step::WaitFor, {}, timeoutMs, std::move(condition), what});
    return *this;
}

void ScriptedPeer::collect()
{
    m_received += m_pair.readFar();
}

bool ScriptedPeer::run()
{
    m_failure.clear();
    const QList<Step> steps = std::exchange(m_steps, {});
    for (const Step& step : steps) {
        ++m_stepsRun;
        if (!runStep(m_stepsRun, step))
            return false;
    }
    return true;
}

bool ScriptedPeer::runStep(int number, const Step& step)
{
    switch (step.kind) {
    case Step::Write: {
        qint64 sent = 0;
        const bool done = pumpEventsUntil(
            [&] {
                collect(); // keep the program's answers from filling the line meanwhile
                const qint64 n =
                    m_pair.writeFar(step.bytes.constData() + sent, step.bytes.size() - sent);
                if (n > 0)
                    sent += n;
                return n < 0 || sent == step.bytes.size();
            },
            step.ms);
        if (!done || sent != step.bytes.size()) {
            m_failure = QStringLiteral("step %1: write %2: only %3 bytes taken")
                            .arg(number)
                            .arg(describeBytes(step.bytes))
                            .arg(sent);
            return false;
        }
        return true;
    }
    case Step::Expect: {
        const qsizetype want = step.bytes.size();
        pumpEventsUntil(
            [&] {
                collect();
                return m_received.size() >= want || !step.bytes.startsWith(m_received);
            },
            step.ms);
        if (m_received.size() >= want && m_received.startsWith(step.bytes)) {
            m_received.remove(0, want);
            return true;
        }
        m_failure = QStringLiteral("step %1: expected %2, received %3")
                        .arg(number)
                        .arg(describeBytes(step.bytes), describeBytes(m_received));
        return false;
    }
    case Step::WaitFor:
        if (pumpEventsUntil(
                [&] {
                    collect();
                    return step.condition();
                },
                step.ms))
            return true;
        m_failure = QStringLiteral("step %1: %2 did not happen within %3 ms")
                        .arg(number)
                        .arg(step.what)
                        .arg(step.ms);
        return false;
    }
    return false;
}
