// The scripted serial line: a device played by a test, recording what the program does to it.
#include "serialline_fake.h"

#include <QElapsedTimer>
#include <QSet>
#include <thread>

namespace {
// Device paths held by open fakes, so that two fakes exclude each other as two opens would.
std::mutex g_heldLock;
QSet<QString>& heldPaths()
{
    static QSet<QString> paths;
    return paths;
}
} // namespace

FakeSerialLine::~FakeSerialLine()
{
    close();
}

bool FakeSerialLine::setError(Error error) const
{
    m_lastError = error;
    return error == Error::NoError;
}

bool FakeSerialLine::open(const QString& devicePath)
{
    const std::lock_guard lock(m_lock);
    if (m_open)
        return setError(Error::InUse);
    if (m_openError != Error::NoError)
        return setError(m_openError);
    if (devicePath.isEmpty())
        return setError(Error::NotFound);
    {
        const std::lock_guard held(g_heldLock);
        if (heldPaths().contains(devicePath))
            return setError(Error::InUse);
        heldPaths().insert(devicePath);
    }
    m_open = true;
    m_path = devicePath;
    m_dtr = m_modemSupported;
    m_rts = m_modemSupported;
    ++m_openCount;
    m_calls << QStringLiteral("open ") + devicePath;
    return setError(Error::NoError);
}

void FakeSerialLine::close()
{
    const std::lock_guard lock(m_lock);
    if (!m_open)
        return;
    {
        const std::lock_guard held(g_heldLock);
        heldPaths().remove(m_path);
    }
    m_open = false;
    m_input.clear();
    m_dtr = false;
    m_rts = false;
    m_calls << QStringLiteral("close");
}

bool FakeSerialLine::isOpen() const
{
    const std::lock_guard lock(m_lock);
    return m_open;
}

QString FakeSerialLine::devicePath() const
{
    const std::lock_guard lock(m_lock);
    return m_path;
}

bool FakeSerialLine::applySettings(const Settings& settings)
{
    const std::lock_guard lock(m_lock);
    if (!m_open)
        return setError(Error::NotOpen);
    if (settings.baudRate < 1 || settings.dataBits < 5 || settings.dataBits > 8)
        return setError(Error::InvalidArgument);
    m_settings << settings;
    m_calls << QStringLiteral("settings");
    return true;
}

int FakeSerialLine::bytesWaiting() const
{
    const std::lock_guard lock(m_lock);
    if (!m_open) {
        setError(Error::NotOpen);
        return -1;
    }
    return int(m_input.size());
}

int FakeSerialLine::bytesToWrite() const
{
    const std::lock_guard lock(m_lock);
    if (!m_open) {
        setError(Error::NotOpen);
        return -1;
    }
    return m_outputQueue;
}

bool FakeSerialLine::flush(bool input, bool output)
{
    const std::lock_guard lock(m_lock);
    if (!m_open)
        return setError(Error::NotOpen);
    if (input)
        m_input.clear();
    if (output)
        m_outputQueue = 0;
    m_calls << QStringLiteral("flush%1%2")
                   .arg(input ? QStringLiteral(" in") : QString(),
                        output ? QStringLiteral(" out") : QString());
    return true;
}

qint64 FakeSerialLine::read(char* data, qint64 maxSize)
{
    const std::lock_guard lock(m_lock);
    if (!m_open) {
        setError(Error::NotOpen);
        return -1;
    }
    const qint64 n = qMin<qint64>(qMax<qint64>(maxSize, 0), m_input.size());
    std::copy_n(m_input.constData(), n, data);
    m_input.remove(0, n);
    return n;
}

qint64 FakeSerialLine::write(const char* data, qint64 size, int timeoutMs)
{
    int limit = 0;
    {
        const std::lock_guard lock(m_lock);
        if (!m_open) {
            setError(Error::NotOpen);
            return 0;
        }
        limit = m_writeLimit;
        if (limit != 0) {
            const qint64 n = limit < 0 ? size : qMin<qint64>(size, limit);
            m_written.append(data, n);
            if (n < size)
                setError(Error::TimedOut);
            return n;
        }
    }
    // A refused write waits out its time-out, as a blocked line would.
    std::this_thread::sleep_for(std::chrono::milliseconds(qMax(timeoutMs, 0)));
    const std::lock_guard lock(m_lock);
    setError(size > 0 ? Error::TimedOut : Error::NoError);
    return 0;
}

bool FakeSerialLine::setDtr(bool on)
{
    const std::lock_guard lock(m_lock);
    if (!m_open)
        return setError(Error::NotOpen);
    if (!m_modemSupported)
        return setError(Error::NotSupported);
    m_dtr = on;
    m_calls << QStringLiteral("dtr %1").arg(int(on));
    return true;
}

bool FakeSerialLine::setRts(bool on)
{
    const std::lock_guard lock(m_lock);
    if (!m_open)
        return setError(Error::NotOpen);
    if (!m_modemSupported)
        return setError(Error::NotSupported);
    m_rts = on;
    m_calls << QStringLiteral("rts %1").arg(int(on));
    return true;
}

bool FakeSerialLine::modemSignals(ModemSignals* lines) const
{
    *lines = {};
    const std::lock_guard lock(m_lock);
    if (!m_open)
        return setError(Error::NotOpen);
    if (!m_modemSupported)
        return setError(Error::NotSupported);
    *lines = m_signals;
    return true;
}

SerialLine::Error FakeSerialLine::lastError() const
{
    const std::lock_guard lock(m_lock);
    return m_lastError;
}

void FakeSerialLine::refuseOpen(Error error)
{
    const std::lock_guard lock(m_lock);
    m_openError = error;
}

void FakeSerialLine::feed(const QByteArray& bytes)
{
    const std::lock_guard lock(m_lock);
    if (m_open)
        m_input.append(bytes);
}

void FakeSerialLine::setModemSignals(ModemSignals lines)
{
    const std::lock_guard lock(m_lock);
    m_signals = lines;
}

void FakeSerialLine::setModemLinesSupported(bool supported)
{
    const std::lock_guard lock(m_lock);
    m_modemSupported = supported;
}

void FakeSerialLine::setOutputQueue(int bytes)
{
    const std::lock_guard lock(m_lock);
    m_outputQueue = bytes;
}

void FakeSerialLine::setWriteLimit(int bytesPerCall)
{
    const std::lock_guard lock(m_lock);
    m_writeLimit = bytesPerCall;
}

QByteArray FakeSerialLine::written() const
{
    const std::lock_guard lock(m_lock);
    return m_written;
}

QList<SerialLine::Settings> FakeSerialLine::appliedSettings() const
{
    const std::lock_guard lock(m_lock);
    return m_settings;
}

bool FakeSerialLine::dtr() const
{
    const std::lock_guard lock(m_lock);
    return m_dtr;
}

bool FakeSerialLine::rts() const
{
    const std::lock_guard lock(m_lock);
    return m_rts;
}

int FakeSerialLine::openCount() const
{
    const std::lock_guard lock(m_lock);
    return m_openCount;
}

QStringList FakeSerialLine::calls() const
{
    const std::lock_guard lock(m_lock);
    return m_calls;
}
