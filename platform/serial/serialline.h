// One serial line: the list of operations every backend (the POSIX terminal backend, the scripted
// fake) implements in full, and the mapping from a port number to the device it opens.
#pragma once

#include <QFlags>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

// A serial line opened exclusively by device path.
//
// Threads: one thread may read and poll while another writes (the table-driven analyser driver
// writes from its worker while the main thread polls). Every call is safe against every other;
// writes from two threads are serialised whole, never interleaved. open() and close() wait for
// the call in progress on the other thread (a write waits in short slices, so that wait is short).
class SerialLine
{
public:
    // The small vocabulary every backend maps its failures to.
    enum class Error {
        NoError,
        NotFound,        // no such device
        AccessDenied,    // no permission to open it
        InUse,           // opened by this program or by another cooperating process
        NotOpen,         // the call needs an open line
        NotSupported,    // the device refuses the call (a pseudo-terminal has no modem lines)
        InvalidArgument, // a setting the line cannot take
        TimedOut,        // a bounded write ended before all bytes were taken
        DeviceGone,      // the device went away or hung up while open
        Other
    };

    enum class StopBits { One, OneAndHalf, Two };
    enum class Parity { None, Odd, Even, Mark, Space };

    enum ModemSignal { Cts = 0x1, Dsr = 0x2, Ring = 0x4, Dcd = 0x8 };
    Q_DECLARE_FLAGS(ModemSignals, ModemSignal)

    // Line settings. The line is always binary (raw): no echo, no line editing, no translation of
    // bytes, no parity checking of received bytes (the parity bit is generated, never checked).
    struct Settings
    {
        int baudRate = 9600; // any positive rate; rates without a standard code go through
                             // the kernel's custom-rate call
        int dataBits = 8;    // 5 to 8
        StopBits stopBits = StopBits::One; // one and a half becomes two on POSIX terminals
        Parity parity = Parity::None;
        bool rtsCtsFlow = false;  // hardware handshaking: RTS/CTS
        bool xonXoffFlow = false; // software handshaking in both directions (XON 0x11, XOFF 0x13)

        bool operator==(const Settings&) const = default;
    };

    virtual ~SerialLine() = default;

    // Opens the device for reading and writing, exclusively. Fully or not at all: on failure the
    // line stays closed and lastError() says why. Opening an open line fails with InUse.
    virtual bool open(const QString& devicePath) = 0;
    // Closes the line and gives back what open() changed (line settings, the lock). Output still
    // queued gets a short bounded time to leave; what the peer refuses to take then is dropped.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString devicePath() const = 0;

    // Applies the settings; on failure the line keeps its previous ones.
    virtual bool applySettings(const Settings& settings) = 0;

    // Bytes waiting in the input queue / still queued for output; -1 on failure.
    virtual int bytesWaiting() const = 0;
    virtual int bytesToWrite() const = 0;
    // Discards the input and/or output queue.
    virtual bool flush(bool input, bool output) = 0;

    // Reads at most maxSize waiting bytes without waiting: 0 when none wait, -1 on failure.
    virtual qint64 read(char* data, qint64 maxSize) = 0;
    // Writes until all bytes are taken or timeoutMs has passed since the call began, and returns
    // the bytes taken (fewer than size means a time-out or a failure, see lastError()).
    virtual qint64 write(const char* data, qint64 size, int timeoutMs) = 0;

    // Modem lines. A device without modem lines refuses these with NotSupported.
    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;
    // Active input lines; false (and *lines empty) when the device cannot tell.
    virtual bool modemSignals(ModemSignals* lines) const = 0;

    // The failure of the last call that failed, on whichever thread.
    virtual Error lastError() const = 0;

    static QString errorText(Error error);
    // The same in the program's language (uiText), for the user.
    static QString errorUiText(Error error);

    // The POSIX terminal backend.
    static std::unique_ptr<SerialLine> createSystemLine();
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SerialLine::ModemSignals)

// Reads one INI value: (section, key) -> value, empty when missing.
using SerialIniReader = std::function<QString(const QString& section, const QString& key)>;

// The device of COM port `port` (1-based): the value of key "Device" in section "Options.COM<n>"
// when it is set, else "/dev/ttyS<n-1>" (also with no reader). Empty for a port number below 1.
QString serialDeviceFromIni(int port, const SerialIniReader& read);
// The program INI file's section of COM port n's settings: "Options.COM" + n.
QString comOptionsSection(int port);
