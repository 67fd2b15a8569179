// TCommPortDriver: opening and settings of one serial port, the polling timer that delivers
// received chunks (or packets), and the bounded writes and reads.
#include "comdrv.h"

#include <platform/support/logfile.h>
#include <platform/uitexts.h>

#include <QDebug>
#include <QMetaObject>
#include <QScopedValueRollback>
#include <QThread>
#include <QTimer>
#include <cmath>

TCommPortDriver::TCommPortDriver(QObject* AOwner)
    : TCommPortDriver(SerialLine::createSystemLine(), AOwner)
{
}

TCommPortDriver::TCommPortDriver(std::unique_ptr<SerialLine> line, QObject* AOwner)
    : QObject(AOwner), m_line(std::move(line)), m_timer(new QTimer(this))
{
    Q_ASSERT(m_line);
    m_reopenTimer = new QTimer(this);
    m_reopenTimer->setInterval(ReopenIntervalMs);
    connect(m_reopenTimer, &QTimer::timeout, this, &TCommPortDriver::ReopenTick);
    m_receiveBuffer = QByteArray(m_inBufSize, '\0');
    m_clock.start();
    connect(m_timer, &QTimer::timeout, this, &TCommPortDriver::PollTimerTick);
}

TCommPortDriver::~TCommPortDriver()
{
    Disconnect();
}

int TCommPortDriver::BaudRateValue(TComPortBaudRate Rate)
{
    static constexpr int kRates[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                     14400, 19200, 38400, 56000, 57600, 115200};
    const int i = int(Rate);
    return i >= 0 && i < int(std::size(kRates)) ? kRates[i] : 9600;
}

bool TCommPortDriver::Connect()
{
    if (Connected())
        return true;
    QString device;
    SerialLine::Error error = SerialLine::Error::NoError;
    bool failureChanged = false;
    bool firstFailure = false;
    bool wasWaiting = false;
    bool again = false;
    bool opened = false;
    {
        // The worker's next block and the reopen timer may both find the port closed: the one
        // that comes second finds it open here and has nothing to do.
        const QMutexLocker lock(&m_connectLock);
        if (Connected())
            return true;
        device =
            m_deviceName.isEmpty() ? serialDeviceFromIni(int(m_comPort) + 1, {}) : m_deviceName;
        opened = m_line->open(device);
        if (!opened) {
            error = m_line->lastError();
            failureChanged = StoreConnectFailure(
                error == SerialLine::Error::NoError ? SerialLine::Error::Other : error, device);
            // Told once: the attempts that follow fail the same way until the device is there.
            firstFailure = !m_waiting.exchange(true);
            if (firstFailure)
                m_hungUp = false;
        } else {
            ApplyLineSettings();
            failureChanged = StoreConnectFailure(SerialLine::Error::NoError, QString());
            wasWaiting = m_waiting.exchange(false);
            again = m_hungUp;
        }
    }
    // Told outside the lock: a receiver may connect or disconnect the port in turn.
    if (failureChanged)
        emit ConnectionChanged();
    SyncReopenTimer();
    if (!opened) {
        if (firstFailure)
            Log(QStringLiteral(
                    "COM%1 (%2) cannot be opened: %3; it is tried again every %4 seconds")
                    .arg(int(m_comPort) + 1)
                    .arg(device, SerialLine::errorText(error))
                    .arg(ReopenIntervalMs / 1000));
        return false;
    }
    SyncTimer();
    if (wasWaiting)
        Log(QStringLiteral("%1 %2").arg(PortLabel(), again ? QStringLiteral("is open again")
                                                           : QStringLiteral("is open now")));
    return Connected();
}

void TCommPortDriver::Disconnect()
{
    bool wasOpen = false;
    {
        const QMutexLocker lock(&m_connectLock);
        m_waiting = false;
        wasOpen = Connected();
        if (wasOpen)
            m_line->close();
    }
    SyncReopenTimer();
    if (wasOpen)
        SyncTimer();
}

bool TCommPortDriver::Connected() const
{
    return m_line->isOpen();
}

void TCommPortDriver::SyncTimer()
{
    if (QThread::currentThread() == thread())
        ApplyTimerState();
    else
        QMetaObject::invokeMethod(this, &TCommPortDriver::ApplyTimerState, Qt::QueuedConnection);
}

void TCommPortDriver::ApplyTimerState()
{
    if (!Connected())
        m_timer->stop();
    else if (!m_timer->isActive() || m_timer->interval() != int(m_pollingDelay))
        m_timer->start(int(m_pollingDelay));
}

SerialLine::Settings TCommPortDriver::LineSettings() const
{
    SerialLine::Settings s;
    s.baudRate = BaudRateValue(m_speed);
    s.dataBits = 5 + int(m_dataBits);
    switch (m_stopBits) {
    case sb1BITS:
        s.stopBits = SerialLine::StopBits::One;
        break;
    case sb1HALFBITS:
        s.stopBits = SerialLine::StopBits::OneAndHalf;
        break;
    case sb2BITS:
        s.stopBits = SerialLine::StopBits::Two;
        break;
    }
    switch (m_parity) {
    case ptNONE:
        s.parity = SerialLine::Parity::None;
        break;
    case ptODD:
        s.parity = SerialLine::Parity::Odd;
        break;
    case ptEVEN:
        s.parity = SerialLine::Parity::Even;
        break;
    case ptMARK:
        s.parity = SerialLine::Parity::Mark;
        break;
    case ptSPACE:
        s.parity = SerialLine::Parity::Space;
        break;
    }
    s.rtsCtsFlow = m_hwHandshaking == hhRTSCTS;
    s.xonXoffFlow = m_swHandshaking == shXONXOFF;
    return s;
}

void TCommPortDriver::ApplyLineSettings()
{
    if (!Connected())
        return;
    // The kernel sizes its own queues and flow-control thresholds, so the queue sizes and the
    // XON/XOFF limits have nothing to set here.
    m_line->applySettings(LineSettings());
    m_line->setDtr(m_enableDTROnOpen);
    if (m_hwHandshaking == hhNONERTSON)
        m_line->setRts(true);
    else if (m_hwHandshaking == hhNONE)
        m_line->setRts(false);
    // With RTS/CTS handshaking the kernel drives RTS itself.
    PurgeBuffers(true, true);
}

void TCommPortDriver::PurgeBuffers(bool Input, bool Output)
{
    if (Connected())
        m_line->flush(Input, Output);
    m_firstByteTime = -1;
}

int TCommPortDriver::InputCount() const
{
    if (!Connected())
        return 65535;
    return qMax(m_line->bytesWaiting(), 0);
}

int TCommPortDriver::OutputRoom() const
{
    if (!Connected())
        return -1;
    // The kernel's output queue is not bounded by ComPortOutBufSize, so it can hold more.
    return qMax(int(m_outBufSize) - qMax(m_line->bytesToWrite(), 0), 0);
}

TComLineSignals TCommPortDriver::LineSignals() const
{
    TComLineSignals result;
    SerialLine::ModemSignals lines;
    if (!Connected() || !m_line->modemSignals(&lines))
        return result;
    if (lines & SerialLine::Cts)
        result |= lsCTS;
    if (lines & SerialLine::Dsr)
        result |= lsDSR;
    if (lines & SerialLine::Ring)
        result |= lsRING;
    if (lines & SerialLine::Dcd)
        result |= lsRLSD;
    return result;
}

int TCommPortDriver::WriteWithTimeout(const char* Data, int Count, int TimeoutMs)
{
    if (!Connected() || !Data || Count <= 0)
        return 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int total = 0;
    while (total < Count) {
        const int room = OutputRoom();
        if (room < 0)
            break; // closed under the write
        bool progress = false;
        if (room > 0) {
            if (m_checkLineStatus && !LineSignals())
                break;
            const qint64 left = qMax<qint64>(TimeoutMs - sinceProgress.elapsed(), 0);
            const qint64 n = m_line->write(Data + total, qMin(room, Count - total), int(left));
            if (n > 0) {
                total += int(n);
                sinceProgress.restart();
                progress = true;
            }
        }
        if (!progress) {
            if (sinceProgress.elapsed() > TimeoutMs)
                break;
            QThread::msleep(1); // the queue is full or the line failed: let it move
        }
    }
    return total;
}

int TCommPortDriver::SendData(const char* Data, int Count)
{
    return WriteWithTimeout(Data, Count, m_outputTimeout);
}

bool TCommPortDriver::SendChar(char Ch)
{
    return SendData(&Ch, 1) == 1;
}

int TCommPortDriver::ReadData(char* Data, int Count)
{
    if (!Connected() || !Data || Count <= 0)
        return 0;
    const PollingPause pause(*this);
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int total = 0;
    while (total < Count) {
        const int waiting = InputCount();
        if (waiting < 1) {
            if (sinceProgress.elapsed() > m_inputTimeout)
                break;
            QThread::msleep(1);
            continue;
        }
        const qint64 n = m_line->read(Data + total, qMin(waiting, Count - total));
        if (n < 0)
            break; // the line failed or was closed under the read
        if (n > 0) {
            total += int(n);
            sinceProgress.restart();
        }
    }
    return total;
}

void TCommPortDriver::PausePolling()
{
    ++m_pauseCount;
}

void TCommPortDriver::ContinuePolling()
{
    --m_pauseCount;
}

void TCommPortDriver::Deliver(const TComPortReceiveDataEvent& Handler, int Size)
{
    if (!Handler)
        return;
    const QScopedValueRollback delivering(m_delivering, true);
    Handler(this, m_receiveBuffer.constData(), Size);
}

void TCommPortDriver::PollTimerTick()
{
    // A handler that pumps events must not see the next chunk read over the one it holds.
    if (!Connected() || m_pauseCount.load() > 0 || m_delivering)
        return;
    int waiting = 0;
    bool hungUp = false;
    bool failureChanged = false;
    QString label;
    {
        // Probed and closed under the lock: a port the worker closed and opened again meanwhile
        // answers here and stays open.
        const QMutexLocker lock(&m_connectLock);
        if (!Connected())
            return;
        waiting = m_line->bytesWaiting();
        hungUp = waiting < 0 && m_line->lastError() == SerialLine::Error::DeviceGone;
        if (hungUp) {
            label = PortLabel();
            failureChanged = LineHungUp();
        }
    }
    if (hungUp) {
        if (failureChanged)
            emit ConnectionChanged();
        Log(QStringLiteral("%1 hung up; it is opened again as soon as it comes back").arg(label));
        SyncTimer();
        SyncReopenTimer();
        return;
    }
    if (waiting <= 0)
        return;
    if (m_packetSize >= 1) {
        ReceivePackets(waiting);
        return;
    }
    // The bytes are read, and lost, also when no handler is assigned.
    const qint64 n = m_line->read(m_receiveBuffer.data(), qMin<qint64>(waiting, m_inBufSize));
    if (n > 0)
        Deliver(OnReceiveData, int(n));
}

QString TCommPortDriver::PortLabel() const
{
    return QStringLiteral("COM%1 (%2)").arg(int(m_comPort) + 1).arg(m_line->devicePath());
}

void TCommPortDriver::Log(const QString& Text) const
{
    WriteToLog(Text);
    qWarning().noquote() << Text;
}

SerialLine::Error TCommPortDriver::ConnectFailure() const
{
    const QMutexLocker lock(&m_failureLock);
    return m_failure;
}

QString TCommPortDriver::ConnectFailureDevice() const
{
    const QMutexLocker lock(&m_failureLock);
    return m_failureDevice;
}

QString TCommPortDriver::ConnectFailureText() const
{
    const QMutexLocker lock(&m_failureLock);
    if (m_failure == SerialLine::Error::NoError)
        return QString();
    return uiText(UiText::SerialPortNotOpen)
        .arg(QStringLiteral("COM%1").arg(int(m_comPort) + 1), m_failureDevice,
             SerialLine::errorUiText(m_failure));
}

void TCommPortDriver::ForgetConnectFailure()
{
    SetConnectFailure(SerialLine::Error::NoError, QString());
}

void TCommPortDriver::SetConnectFailure(SerialLine::Error Error, const QString& Device)
{
    if (StoreConnectFailure(Error, Device))
        emit ConnectionChanged();
}

bool TCommPortDriver::StoreConnectFailure(SerialLine::Error Error, const QString& Device)
{
    const QMutexLocker lock(&m_failureLock);
    if (m_failure == Error && m_failureDevice == Device)
        return false;
    m_failure = Error;
    m_failureDevice = Device;
    return true;
}

bool TCommPortDriver::LineHungUp()
{
    const bool changed = StoreConnectFailure(SerialLine::Error::DeviceGone, m_line->devicePath());
    m_line->close();
    m_hungUp = true;
    m_waiting = true;
    return changed;
}

void TCommPortDriver::SyncReopenTimer()
{
    if (QThread::currentThread() == thread())
        ApplyReopenTimerState();
    else
        QMetaObject::invokeMethod(this, &TCommPortDriver::ApplyReopenTimerState,
                                  Qt::QueuedConnection);
}

void TCommPortDriver::ApplyReopenTimerState()
{
    // Follows the waiting state as it is when the call arrives, so that starts and stops asked
    // for from two threads cannot land in the wrong order.
    if (!m_waiting)
        m_reopenTimer->stop();
    else if (!m_reopenTimer->isActive())
        m_reopenTimer->start();
}

void TCommPortDriver::ReopenTick()
{
    // A tick queued before another caller's Connect opened the port has nothing to do. Connect
    // logs the opening; a failure was told once already.
    if (!Connected() && Connect() && OnReopened)
        OnReopened(this);
}

void TCommPortDriver::ReceivePackets(int Waiting)
{
    const int size = m_packetSize;
    const qint64 transferMs = std::llround(double(size) / (BaudRateValue(m_speed) * 0.1) * 1000.0);
    while (Waiting >= size) {
        const qint64 n = m_line->read(m_receiveBuffer.data(), size);
        if (n <= 0)
            return; // the bytes stay queued for the next tick
        Deliver(OnReceivePacket, int(n));
        if (!Connected())
            return;
        // Without a first-byte time (the packet came whole) there is nothing to advance.
        if (m_firstByteTime >= 0)
            m_firstByteTime += transferMs;
        Waiting -= size;
        if (Waiting == 0)
            m_firstByteTime = -1;
    }
    if (Waiting <= 0)
        return;
    const qint64 now = m_clock.elapsed();
    if (m_packetTimeout >= 1 && m_firstByteTime >= 0 && now - m_firstByteTime > m_packetTimeout) {
        const qint64 n = m_line->read(m_receiveBuffer.data(), qMin<qint64>(Waiting, m_inBufSize));
        m_firstByteTime = -1;
        if (n > 0 && m_packetMode == pmPass)
            Deliver(OnReceivePacket, int(n));
    } else if (m_firstByteTime < 0) {
        m_firstByteTime = now;
    }
}

void TCommPortDriver::SetComPort(TComPortNumber Value)
{
    if (!Connected())
        m_comPort = Value;
}

void TCommPortDriver::SetDeviceName(const QString& Value)
{
    if (!Connected())
        m_deviceName = Value;
}

void TCommPortDriver::SetComPortSpeed(TComPortBaudRate Value)
{
    m_speed = Value;
    ApplyLineSettings();
}

void TCommPortDriver::SetComPortDataBits(TComPortDataBits Value)
{
    m_dataBits = Value;
    ApplyLineSettings();
}

void TCommPortDriver::SetComPortStopBits(TComPortStopBits Value)
{
    m_stopBits = Value;
    ApplyLineSettings();
}

void TCommPortDriver::SetComPortParity(TComPortParity Value)
{
    m_parity = Value;
    ApplyLineSettings();
}

void TCommPortDriver::SetComPortHwHandshaking(TComPortHwHandshaking Value)
{
    m_hwHandshaking = Value;
    ApplyLineSettings();
}

void TCommPortDriver::SetComPortSwHandshaking(TComPortSwHandshaking Value)
{
    m_swHandshaking = Value;
    ApplyLineSettings();
}

void TCommPortDriver::SetComPortInBufSize(quint16 Value)
{
    if (Connected())
        return;
    m_inBufSize = Value;
    m_receiveBuffer = QByteArray(m_inBufSize, '\0');
    SetPacketSize(m_packetSize);
}

void TCommPortDriver::SetComPortOutBufSize(quint16 Value)
{
    if (!Connected())
        m_outBufSize = Value;
}

void TCommPortDriver::SetPacketSize(qint16 Value)
{
    if (Value < 1) {
        m_packetSize = -1;
        return;
    }
    m_packetSize = Value;
    if (Value > m_inBufSize) {
        m_inBufSize = quint16(2 * Value);
        m_receiveBuffer = QByteArray(m_inBufSize, '\0');
    }
}

void TCommPortDriver::SetPacketTimeout(qint32 Value)
{
    if (Value < 1)
        m_packetTimeout = -1;
    else if (Value < m_pollingDelay)
        m_packetTimeout = m_pollingDelay + 150;
    else
        m_packetTimeout = Value;
}

void TCommPortDriver::SetComPortPollingDelay(quint16 Value)
{
    m_pollingDelay = Value;
    if (Connected())
        SyncTimer();
    SetPacketTimeout(m_packetTimeout);
}
