// A scripted serial line for what a pseudo-terminal cannot show: modem lines, parity and data
// bits, paced or refused writes.
#pragma once

#include <platform/serial/serialline.h>

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <mutex>

// Records what the program does to the line (settings, modem lines, flushes, bytes written) and
// lets a test play the device: feed input, raise modem lines, refuse or pace writes, refuse the
// open. Like a terminal, it raises DTR and RTS when opened. Fakes opened on the same device path
// exclude each other, as exclusive opens of one device do. Safe for the same threads as any line.
class FakeSerialLine final : public SerialLine
{
public:
    FakeSerialLine() = default;
    ~FakeSerialLine() override;
    FakeSerialLine(const FakeSerialLine&) = delete;
    FakeSerialLine& operator=(const FakeSerialLine&) = delete;

    // SerialLine
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
    Error lastError() const override;

    // Playing the device.
    void refuseOpen(Error error); // every open fails with error; NoError opens again
    void feed(const QByteArray& bytes);
    void setModemSignals(ModemSignals lines);
    // False: modem-line calls fail with NotSupported, as on a pseudo-terminal.
    void setModemLinesSupported(bool supported);
    // What bytesToWrite() reports.
    void setOutputQueue(int bytes);
    // At most this many bytes are taken per write call (0: none; the call then waits out its
    // time-out and fails). A negative limit takes everything.
    void setWriteLimit(int bytesPerCall);

    // What the program did.
    QByteArray written() const;
    QList<Settings> appliedSettings() const;
    bool dtr() const;
    bool rts() const;
    int openCount() const;
    // Every call that changes the line, in order: "open PATH", "settings", "dtr 1", "rts 0",
    // "flush in out", "close".
    QStringList calls() const;

private:
    bool setError(Error error) const;

    mutable std::mutex m_lock;
    bool m_open = false;
    QString m_path;
    Error m_openError = Error::NoError;
    mutable Error m_lastError = Error::NoError;
    QByteArray m_input;
    QByteArray m_written;
    QList<Settings> m_settings;
    QStringList m_calls;
    ModemSignals m_signals;
    bool m_modemSupported = true;
    bool m_dtr = false;
    bool m_rts = false;
    int m_outputQueue = 0;
    int m_writeLimit = -1;
    int m_openCount = 0;
};
