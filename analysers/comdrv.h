// TCommPortDriver: the component that owns one RS-232 port. It opens the port, applies the line
// settings, polls the receive queue with a timer of its own and hands each received chunk to
// OnReceiveData; it writes with a time-out and reads synchronously.
#pragma once

#include <platform/serial/serialline.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFlags>
#include <QMutex>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QTimer;

// Ordinal n is port COM n+1.
enum TComPortNumber {
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16
};
enum TComPortBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum TComPortDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking { hhNONE, hhNONERTSON, hhRTSCTS };
enum TComPortSwHandshaking { shNONE, shXONXOFF };
enum TPacketMode { pmDiscard, pmPass };

// Active modem input lines.
enum TComLineSignal { lsCTS = 0x1, lsDSR = 0x2, lsRING = 0x4, lsRLSD = 0x8 };
Q_DECLARE_FLAGS(TComLineSignals, TComLineSignal)
Q_DECLARE_OPERATORS_FOR_FLAGS(TComLineSignals)

class TCommPortDriver;
// Received bytes; DataPtr is valid only during the call.
using TComPortReceiveDataEvent =
    std::function<void(TCommPortDriver* Sender, const char* DataPtr, int DataSize)>;
using TComPortReceivePacketEvent =
    std::function<void(TCommPortDriver* Sender, const char* Packet, int DataSize)>;

// States: closed (no line, timer stopped), open (line open, timer running) and waiting (the
// device went away while open: a USB adapter pulled out, a line server restarted; or it could
// not be opened at all: missing, busy, not permitted).
//
//   state    | Connect                      | Disconnect, destruction | the device goes away
//   closed   | open the device, apply the   | nothing                 | -
//            | settings, start the timer;   |                         |
//            | when that fails: logged,     |                         |
//            | waiting                      |                         |
//   open     | nothing, true                | stop the timer, close   | logged, line closed:
//            |                              | the line                | waiting
//   waiting  | tried again, false while it  | closed                  | -
//            | fails (not logged again)     |                         |
//
// While waiting the device is opened again every ReopenIntervalMs with the same settings, the
// opening is logged and OnReopened called; Disconnect (the source turned passive) ends the
// attempts. Each failure
// and the opening go to the operations log and standard error, once.
//
// The polling timer delivers, on each tick while the pause counter is 0, the bytes waiting (up to
// ComPortInBufSize) as one chunk through OnReceiveData. A tick that arrives while a handler is
// still running (it pumped events) delivers nothing: the bytes wait for the next tick.
//
// Threads: the component lives on the main thread; its properties, handlers and timer belong to
// it. Another thread (the table-driven driver's worker) may call Connect, Disconnect, SendData,
// SendChar, WriteWithTimeout, ReadData, InputCount, OutputRoom, LineSignals and the pause calls
// while the main thread polls; set the properties before that thread starts. Connect, Disconnect
// and the closing of a line that went away exclude each other: of two callers that find the port
// closed at once, the second finds it open and is told so.
class TCommPortDriver : public QObject
{
    Q_OBJECT

public:
    // Drives the system's serial device named by DeviceName.
    explicit TCommPortDriver(QObject* AOwner = nullptr);
    // Drives the given line instead (a scripted line in tests).
    explicit TCommPortDriver(std::unique_ptr<SerialLine> line, QObject* AOwner = nullptr);
    ~TCommPortDriver() override;

    // True when the port is open (also when it already was). A port that cannot be opened
    // (missing, in use, not permitted) gives false, nothing is raised: the failure is logged once
    // with the port and the reason, and the port is tried again until it opens.
    bool Connect();
    void Disconnect();
    bool Connected() const;

    // Writes the line settings to the open port; does nothing while closed. The device's answers
    // are not checked: a device that refuses a setting keeps its previous one.
    void ApplyLineSettings();
    // Discards the input and/or output queue and forgets the first-byte time of a packet.
    void PurgeBuffers(bool Input, bool Output);
    // Bytes waiting in the input queue; 65535 while closed.
    int InputCount() const;
    // ComPortOutBufSize minus the bytes queued for output (never below 0); -1 while closed.
    int OutputRoom() const;
    // Active modem lines; empty while closed or when the device cannot tell.
    TComLineSignals LineSignals() const;

    // Writes Count bytes; gives up once no byte has gone out for more than TimeoutMs. With
    // CheckLineStatus set, stops as soon as no modem line is active. Returns the bytes written
    // (0 while closed); callers compare it with Count.
    int WriteWithTimeout(const char* Data, int Count, int TimeoutMs);
    // WriteWithTimeout with OutputTimeout.
    virtual int SendData(const char* Data, int Count);
    // True when the byte was written.
    virtual bool SendChar(char Ch);
    // Reads up to Count bytes, waiting while bytes keep coming (InputTimeout after the last);
    // polling is paused meanwhile. Returns the bytes read.
    virtual int ReadData(char* Data, int Count);

    // Raise / lower the pause counter; no chunk is delivered while it is above 0. Keep the calls
    // paired.
    void PausePolling();
    void ContinuePolling();

    // Properties. ComPort, DeviceName, ComPortInBufSize and ComPortOutBufSize are ignored while
    // open; the line settings are applied at once while open.
    TComPortNumber ComPort() const { return m_comPort; }
    void SetComPort(TComPortNumber Value);
    // The device Connect opens, handed over by the caller that reads the program's settings
    // (ComPortDevice); empty opens the default device of ComPort ("/dev/ttyS<n-1>" for COM n).
    QString DeviceName() const { return m_deviceName; }
    void SetDeviceName(const QString& Value);
    TComPortBaudRate ComPortSpeed() const { return m_speed; }
    void SetComPortSpeed(TComPortBaudRate Value);
    TComPortDataBits ComPortDataBits() const { return m_dataBits; }
    void SetComPortDataBits(TComPortDataBits Value);
    TComPortStopBits ComPortStopBits() const { return m_stopBits; }
    void SetComPortStopBits(TComPortStopBits Value);
    TComPortParity ComPortParity() const { return m_parity; }
    void SetComPortParity(TComPortParity Value);
    TComPortHwHandshaking ComPortHwHandshaking() const { return m_hwHandshaking; }
    void SetComPortHwHandshaking(TComPortHwHandshaking Value);
    TComPortSwHandshaking ComPortSwHandshaking() const { return m_swHandshaking; }
    void SetComPortSwHandshaking(TComPortSwHandshaking Value);
    // Size of the receive buffer, hence of the largest chunk delivered.
    quint16 ComPortInBufSize() const { return m_inBufSize; }
    void SetComPortInBufSize(quint16 Value);
    quint16 ComPortOutBufSize() const { return m_outBufSize; }
    void SetComPortOutBufSize(quint16 Value);
    // Below 1 becomes -1 (no packets); above ComPortInBufSize raises it to twice the packet size.
    qint16 PacketSize() const { return m_packetSize; }
    void SetPacketSize(qint16 Value);
    // Below 1 becomes -1 (none); below ComPortPollingDelay becomes ComPortPollingDelay + 150.
    qint32 PacketTimeout() const { return m_packetTimeout; }
    void SetPacketTimeout(qint32 Value);
    TPacketMode PacketMode() const { return m_packetMode; }
    void SetPacketMode(TPacketMode Value) { m_packetMode = Value; }
    quint16 ComPortPollingDelay() const { return m_pollingDelay; }
    void SetComPortPollingDelay(quint16 Value);
    bool EnableDTROnOpen() const { return m_enableDTROnOpen; }
    void SetEnableDTROnOpen(bool Value) { m_enableDTROnOpen = Value; }
    quint16 OutputTimeout() const { return m_outputTimeout; }
    void SetOutputTimeout(quint16 Value) { m_outputTimeout = Value; }
    qint32 InputTimeout() const { return m_inputTimeout; }
    void SetInputTimeout(qint32 Value) { m_inputTimeout = Value; }
    bool CheckLineStatus() const { return m_checkLineStatus; }
    void SetCheckLineStatus(bool Value) { m_checkLineStatus = Value; }

    TComPortReceiveDataEvent OnReceiveData;
    TComPortReceivePacketEvent OnReceivePacket;
    // Called on the component's thread when the retries of a waiting port have opened it (not
    // when a caller's own Connect does).
    std::function<void(TCommPortDriver* Sender)> OnReopened;

    // Why the port could not be opened at its last attempt, or why it went away while open;
    // NoError before any attempt and once it opens. Disconnect keeps it, so that a port closed
    // while its source is edited still tells why it was not open, until it is tried again;
    // closing every port for the sources panel (CloseAllComPorts) forgets it.
    SerialLine::Error ConnectFailure() const;
    // The device that failed, and the failure as the user reads it ("COM1 (/dev/ttyS0) ...",
    // in the program's language); empty without a failure.
    QString ConnectFailureDevice() const;
    QString ConnectFailureText() const;
    // Forgets the failure: the port no longer serves the source that met it.
    void ForgetConnectFailure();

    // Bits per second of a rate ordinal.
    static int BaudRateValue(TComPortBaudRate Rate);

    static constexpr int ReopenIntervalMs = 2000;

signals:
    // ConnectFailure changed: the port opened, could not be opened or went away. Emitted on the
    // thread that saw it.
    void ConnectionChanged();

private:
    void SetConnectFailure(SerialLine::Error Error, const QString& Device);
    // Stores the failure; true when it changed and ConnectionChanged is due.
    bool StoreConnectFailure(SerialLine::Error Error, const QString& Device);
    void PollTimerTick();
    QString PortLabel() const;
    // Closes the line that went away and sets the port waiting; with m_connectLock held. True
    // when ConnectionChanged is due.
    bool LineHungUp();
    // Starts or stops the reopen timer to match m_waiting, on the component's own thread.
    void SyncReopenTimer();
    void ApplyReopenTimerState();
    void ReopenTick();
    void Log(const QString& Text) const;
    void ReceivePackets(int Waiting);
    void Deliver(const TComPortReceiveDataEvent& Handler, int Size);
    // Starts or stops the timer to match the open state, on the component's own thread.
    void SyncTimer();
    void ApplyTimerState();
    SerialLine::Settings LineSettings() const;

    std::unique_ptr<SerialLine> m_line;
    QTimer* m_timer = nullptr;
    QTimer* m_reopenTimer = nullptr;
    // Set while the port waits to be opened again; `m_hungUp` tells why.
    std::atomic<bool> m_waiting{false};
    std::atomic<bool> m_hungUp{false};
    QByteArray m_receiveBuffer;
    QElapsedTimer m_clock;       // tick count of the packet time-out
    qint64 m_firstByteTime = -1; // of an incomplete packet; -1 when none
    std::atomic<int> m_pauseCount{0};
    bool m_delivering = false;

    TComPortNumber m_comPort = pnCOM2;
    QString m_deviceName;
    TComPortBaudRate m_speed = br9600;
    TComPortDataBits m_dataBits = db8BITS;
    TComPortStopBits m_stopBits = sb1BITS;
    TComPortParity m_parity = ptNONE;
    TComPortHwHandshaking m_hwHandshaking = hhNONERTSON;
    TComPortSwHandshaking m_swHandshaking = shNONE;
    quint16 m_inBufSize = 2048;
    quint16 m_outBufSize = 2048;
    qint16 m_packetSize = -1;
    qint32 m_packetTimeout = -1;
    TPacketMode m_packetMode = pmDiscard;
    quint16 m_pollingDelay = 50;
    bool m_enableDTROnOpen = true;
    quint16 m_outputTimeout = 500;
    qint32 m_inputTimeout = 200;
    bool m_checkLineStatus = false;
    // Makes the check that the port is closed and its opening or closing one step, for the
    // worker thread and the owner's timers alike.
    QMutex m_connectLock;
    mutable QMutex m_failureLock;
    SerialLine::Error m_failure = SerialLine::Error::NoError;
    QString m_failureDevice;
};

// Pairs PausePolling with ContinuePolling, also when the body raises.
class PollingPause
{
public:
    explicit PollingPause(TCommPortDriver& port) : m_port(port) { m_port.PausePolling(); }
    ~PollingPause() { m_port.ContinuePolling(); }
    PollingPause(const PollingPause&) = delete;
    PollingPause& operator=(const PollingPause&) = delete;

private:
    TCommPortDriver& m_port;
};
