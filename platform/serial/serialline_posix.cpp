// The POSIX terminal backend of SerialLine (Linux): exclusive open (TIOCEXCL and an advisory
// lock), raw line settings through termios2 so that rates without a standard code (14400, 56000)
// can be set, queue counts, flushes, bounded writes and the modem lines.
//
// <asm/termbits.h> defines the kernel's own terminal structure, which <termios.h> would clash
// with; this file therefore speaks to the terminal through ioctl calls only.
#include "serialline_posix_p.h"

#include <platform/controlchars.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSerialLine, "quorvane.serial")

namespace serialposix {

namespace {

struct RateCode
{
    int rate;
    unsigned code;
};

constexpr RateCode kStandardRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

unsigned standardRateCode(int rate)
{
    for (const RateCode& r : kStandardRates) {
        if (r.rate == rate)
            return r.code;
    }
    return 0;
}

// Binary line: no line editing, echo, signals, translations or parity checking.
void makeRaw(termios2* t)
{
    t->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                    IXANY | INPCK | IUCLC | IMAXBEL);
    t->c_oflag &= ~OPOST;
    t->c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t->c_cflag |= CREAD | CLOCAL;
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
}

} // namespace

bool toTermios(const SerialLine::Settings& s, termios2* t)
{
    if (s.baudRate < 1 || s.dataBits < 5 || s.dataBits > 8)
        return false;
    makeRaw(t);

    // Input speed code 0 means "as the output".
    t->c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    const unsigned code = standardRateCode(s.baudRate);
    t->c_cflag |= code ? code : BOTHER;
    t->c_ispeed = unsigned(s.baudRate);
    t->c_ospeed = unsigned(s.baudRate);

    t->c_cflag &= ~CSIZE;
    switch (s.dataBits) {
    case 5:
        t->c_cflag |= CS5;
        break;
    case 6:
        t->c_cflag |= CS6;
        break;
    case 7:
        t->c_cflag |= CS7;
        break;
    default:
        t->c_cflag |= CS8;
        break;
    }

    // Mark and space parity are the "stick" parity of CMSPAR: PARODD selects mark.
    t->c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (s.parity) {
    case SerialLine::Parity::None:
        break;
    case SerialLine::Parity::Odd:
        t->c_cflag |= PARENB | PARODD;
        break;
    case SerialLine::Parity::Even:
        t->c_cflag |= PARENB;
        break;
    case SerialLine::Parity::Mark:
        t->c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SerialLine::Parity::Space:
        t->c_cflag |= PARENB | CMSPAR;
        break;
    }

    // Terminals know one or two stop bits; one and a half is sent as two.
    if (s.stopBits == SerialLine::StopBits::One)
        t->c_cflag &= ~CSTOPB;
    else
        t->c_cflag |= CSTOPB;

    if (s.rtsCtsFlow)
        t->c_cflag |= CRTSCTS;
    else
        t->c_cflag &= ~CRTSCTS;

    if (s.xonXoffFlow)
        t->c_iflag |= IXON | IXOFF;
    t->c_cc[VSTART] = DC1; // XON
    t->c_cc[VSTOP] = DC3;  // XOFF
    return true;
}

SerialLine::Error errorFromErrno(int err)
{
    using E = SerialLine::Error;
    switch (err) {
    case 0:
        return E::NoError;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return E::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return E::AccessDenied;
    case EBUSY:
    case EWOULDBLOCK: // a lock another open holds
        return E::InUse;
    case EBADF:
        return E::NotOpen;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP:
        return E::NotSupported;
    case EINVAL:
        return E::InvalidArgument;
    case ETIMEDOUT:
        return E::TimedOut;
    case EIO:
    case EPIPE:
        return E::DeviceGone;
    default:
        return E::Other;
    }
}

} // namespace serialposix

namespace {

QString displayName(const QString& path)
{
    return path.isEmpty() ? QStringLiteral("(no device)") : path;
}

// A write waits for room in slices of this length, letting close() on another thread in between.
constexpr int kWriteSliceMs = 20;
// How long close() lets queued output leave before it drops the rest.
constexpr int kCloseDrainMs = 500;

class PosixSerialLine final : public SerialLine
{
public:
    ~PosixSerialLine() override { close(); }

    bool open(const QString& devicePath) override;
    void close() override;
    bool isOpen() const override;
    QString devicePath() const override;
    bool applySettings(const Settings& settings) override;
    int bytesWaiting() const override;
    int bytesToWrite() const override;
    bool flush(bool input, bool output) override;
    qint64 read(char* data, qint64 maxSize) override;
    qint64 write(const char* data, qint64 size, int timeoutMs) override;
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool modemSignals(ModemSignals* lines) const override;
    Error lastError() const override { return m_lastError.load(); }

private:
    // Records a failure and logs it (call, errno, device), each kind once per open, so that a
    // failure repeated on every poll or every settings change does not flood the log. Returns
    // false for the caller's convenience.
    bool fail(const char* call, int err, const QString& path) const;
    bool failError(const char* call, Error error, const QString& path) const;
    int queueCount(unsigned long request, const char* call) const;
    bool modemLine(int bit, bool on, const char* call);

    // Exclusive for open() and close(); shared around every other use of the descriptor.
    mutable std::shared_mutex m_fdLock;
    // Serialises whole writes from different threads.
    std::mutex m_writeLock;
    int m_fd = -1;
    quint64 m_generation = 0; // changes on every open and close
    QString m_path;
    termios2 m_saved{};

    mutable std::atomic<Error> m_lastError{Error::NoError};
    mutable std::mutex m_logLock;
    mutable QSet<QByteArray> m_logged;
};

bool PosixSerialLine::fail(const char* call, int err, const QString& path) const
{
    const Error error = serialposix::errorFromErrno(err);
    m_lastError.store(error);
    const QByteArray key = QByteArray(call) + ':' + QByteArray::number(err);
    {
        const std::lock_guard lock(m_logLock);
        if (m_logged.contains(key))
            return false;
        m_logged.insert(key);
    }
    qCWarning(lcSerialLine).noquote() << QStringLiteral("%1 on %2 failed: %3 (errno %4)")
                                             .arg(QLatin1String(call), displayName(path),
                                                  QString::fromLocal8Bit(std::strerror(err)))
                                             .arg(err);
    return false;
}

bool PosixSerialLine::failError(const char* call, Error error, const QString& path) const
{
    m_lastError.store(error);
    const QByteArray key = QByteArray(call) + ":e" + QByteArray::number(int(error));
    {
        const std::lock_guard lock(m_logLock);
        if (m_logged.contains(key))
            return false;
        m_logged.insert(key);
    }
    qCWarning(lcSerialLine).noquote()
        << QStringLiteral("%1 on %2 failed: %3")
               .arg(QLatin1String(call), displayName(path), errorText(error));
    return false;
}

bool PosixSerialLine::open(const QString& devicePath)
{
    const std::unique_lock lock(m_fdLock);
    if (m_fd >= 0)
        return failError("open", Error::InUse, devicePath);
    if (devicePath.isEmpty())
        return failError("open", Error::NotFound, devicePath);

    const int fd = ::open(QFile::encodeName(devicePath).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail("open", errno, devicePath);

    auto abandon = [&](const char* call) {
        const int err = errno;
        ::close(fd); // releases the advisory lock with it
        return fail(call, err, devicePath);
    };

    termios2 saved{};
    if (::ioctl(fd, TCGETS2, &saved) < 0)
        return abandon("TCGETS2"); // not a terminal
    // The advisory lock first: it is what a root process (which TIOCEXCL does not stop) or a
    // second open inside this program meets. Taking TIOCEXCL only after it means a refused open
    // never touches the holder's exclusive flag.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0)
        return abandon("flock");
    if (::ioctl(fd, TIOCEXCL) < 0)
        return abandon("TIOCEXCL");
    // Binary at once, so that nothing is echoed back to the device before the settings come;
    // speed and character format stay the device's until then.
    termios2 raw = saved;
    serialposix::makeRaw(&raw);
    if (::ioctl(fd, TCSETS2, &raw) < 0) {
        const int err = errno;
        ::ioctl(fd, TIOCNXCL);
        errno = err;
        return abandon("TCSETS2");
    }

    m_fd = fd;
    m_saved = saved;
    m_path = devicePath;
    ++m_generation;
    m_lastError.store(Error::NoError);
    const std::lock_guard logLock(m_logLock);
    m_logged.clear();
    return true;
}

void PosixSerialLine::close()
{
    if (!isOpen())
        return;
    {
        // Let queued output leave first, bounded: a peer holding the line (flow control) must not
        // keep the program waiting.
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            const int queued = bytesToWrite();
            if (queued <= 0 || waited.elapsed() >= kCloseDrainMs)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    const std::unique_lock lock(m_fdLock);
    if (m_fd < 0)
        return;
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        ::ioctl(m_fd, TCFLSH, TCOFLUSH);
        qCWarning(lcSerialLine).noquote()
            << QStringLiteral("close of %1 dropped %2 bytes the peer did not take")
                   .arg(m_path)
                   .arg(queued);
    }
    // Give back what open() changed; the lock goes with the descriptor. The exclusive flag
    // outlives this descriptor while another one keeps the terminal open, so clear it.
    ::ioctl(m_fd, TCSETS2, &m_saved);
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    ++m_generation;
}

bool PosixSerialLine::isOpen() const
{
    const std::shared_lock lock(m_fdLock);
    return m_fd >= 0;
}

QString PosixSerialLine::devicePath() const
{
    const std::shared_lock lock(m_fdLock);
    return m_path;
}

bool PosixSerialLine::applySettings(const Settings& settings)
{
    const std::shared_lock lock(m_fdLock);
    if (m_fd < 0)
        return failError("settings", Error::NotOpen, m_path);
    termios2 t{};
    if (::ioctl(m_fd, TCGETS2, &t) < 0)
        return fail("TCGETS2", errno, m_path);
    if (!serialposix::toTermios(settings, &t))
        return failError("settings", Error::InvalidArgument, m_path);
    if (::ioctl(m_fd, TCSETS2, &t) < 0)
        return fail("TCSETS2", errno, m_path);
    return true;
}

int PosixSerialLine::queueCount(unsigned long request, const char* call) const
{
    const std::shared_lock lock(m_fdLock);
    if (m_fd < 0) {
        failError(call, Error::NotOpen, m_path);
        return -1;
    }
    int count = 0;
    if (::ioctl(m_fd, request, &count) < 0) {
        fail(call, errno, m_path);
        return -1;
    }
    return count;
}

int PosixSerialLine::bytesWaiting() const
{
    {
        // A line that hung up still counts 0 bytes waiting; only poll tells.
        const std::shared_lock lock(m_fdLock);
        pollfd p{m_fd, POLLIN, 0};
        if (m_fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) &&
            !(p.revents & POLLIN)) {
            fail("poll", EIO, m_path);
            return -1;
        }
    }
    return queueCount(FIONREAD, "FIONREAD");
}

int PosixSerialLine::bytesToWrite() const
{
    return queueCount(TIOCOUTQ, "TIOCOUTQ");
}

bool PosixSerialLine::flush(bool input, bool output)
{
    if (!input && !output)
        return true;
    const std::shared_lock lock(m_fdLock);
    if (m_fd < 0)
        return failError("flush", Error::NotOpen, m_path);
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (::ioctl(m_fd, TCFLSH, which) < 0)
        return fail("TCFLSH", errno, m_path);
    return true;
}

qint64 PosixSerialLine::read(char* data, qint64 maxSize)
{
    const std::shared_lock lock(m_fdLock);
    if (m_fd < 0) {
        failError("read", Error::NotOpen, m_path);
        return -1;
    }
    if (maxSize <= 0)
        return 0;
    for (;;) {
        const ssize_t n = ::read(m_fd, data, size_t(maxSize));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        fail("read", errno, m_path);
        return -1;
    }
}

qint64 PosixSerialLine::write(const char* data, qint64 size, int timeoutMs)
{
    const std::lock_guard writer(m_writeLock);
    QElapsedTimer elapsed;
    elapsed.start();
    quint64 generation = 0;
    {
        const std::shared_lock lock(m_fdLock);
        if (m_fd < 0) {
            failError("write", Error::NotOpen, m_path);
            return 0;
        }
        generation = m_generation;
    }
    qint64 done = 0;
    while (done < size) {
        const std::shared_lock lock(m_fdLock);
        if (m_fd < 0 || m_generation != generation) {
            failError("write", Error::NotOpen, m_path); // closed under the write
            break;
        }
        const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail("write", errno, m_path);
            break;
        }
        const qint64 left = qint64(timeoutMs) - elapsed.elapsed();
        if (left <= 0) {
            failError("write", Error::TimedOut, m_path);
            break;
        }
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, int(std::min<qint64>(left, kWriteSliceMs)));
    }
    return done;
}

bool PosixSerialLine::modemLine(int bit, bool on, const char* call)
{
    const std::shared_lock lock(m_fdLock);
    if (m_fd < 0)
        return failError(call, Error::NotOpen, m_path);
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit) < 0) {
        // Terminals without modem lines (pseudo-terminals) answer ENOTTY or EINVAL.
        return fail(call, errno == EINVAL ? ENOTTY : errno, m_path);
    }
    return true;
}

bool PosixSerialLine::setDtr(bool on)
{
    return modemLine(TIOCM_DTR, on, on ? "set DTR" : "clear DTR");
}

bool PosixSerialLine::setRts(bool on)
{
    return modemLine(TIOCM_RTS, on, on ? "set RTS" : "clear RTS");
}

bool PosixSerialLine::modemSignals(ModemSignals* lines) const
{
    *lines = {};
    const std::shared_lock lock(m_fdLock);
    if (m_fd < 0)
        return failError("TIOCMGET", Error::NotOpen, m_path);
    int bits = 0;
    if (::ioctl(m_fd, TIOCMGET, &bits) < 0)
        return fail("TIOCMGET", errno == EINVAL ? ENOTTY : errno, m_path);
    if (bits & TIOCM_CTS)
        *lines |= Cts;
    if (bits & TIOCM_DSR)
        *lines |= Dsr;
    if (bits & TIOCM_RNG)
        *lines |= Ring;
    if (bits & TIOCM_CAR)
        *lines |= Dcd;
    return true;
}

} // namespace

std::unique_ptr<SerialLine> SerialLine::createSystemLine()
{
    return std::make_unique<PosixSerialLine>();
}
