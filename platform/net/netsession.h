// What the SMTP and FTP sessions of the transfer forms share: the connection states they report,
// the bounds on every wait, the busy flag and the error event. Everything runs on the thread that
// made the session (the main thread): the work is done a little at a time by a timer, so a
// caller that waits processes events meanwhile and nothing blocks.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

// The connection states, reported in this order (a failure jumps to nsDisconnected).
enum NetState : int {
    nsConnecting = 1,
    nsResolving = 2,
    nsResolved = 3,
    nsConnected = 4,
    nsDisconnecting = 5,
    nsDisconnected = 6,
};

// Each bound ends its wait with the error event; the session is then disconnected.
struct NetBounds
{
    int connectMs = 30000; // from the start of a connection until the server has answered
    int stallMs = 60000;   // a transfer that moves no byte for this long
    int waitMs = 10000;    // waitWhileBusy without a byte moving, waitForState in all
};

// The bounds new sessions take: the ones above unless a test set others.
NetBounds defaultNetBounds();
void setDefaultNetBounds(const NetBounds& bounds);

// Why a session failed: our own small vocabulary, whatever the library said.
enum class NetError {
    None,
    HostNotFound,
    ConnectionRefused,
    TimedOut,
    LoginRefused,
    CommandRefused, // the server refused a command (a recipient, an upload, a folder)
    ConnectionLost,
    LocalFile, // the local file could not be read or written
    Other,
};

class NetSession : public QObject
{
    Q_OBJECT

public:
    ~NetSession() override;

    QString remoteHost() const { return m_host; }
    void setRemoteHost(const QString& host) { m_host = host; }
    int remotePort() const { return m_port; }
    void setRemotePort(int port) { m_port = port; }
    NetBounds bounds() const { return m_bounds; }
    void setBounds(const NetBounds& bounds) { m_bounds = bounds; }

    int state() const { return m_state; }
    bool isBusy() const;
    // The last error reported (NetError::None when there was none).
    NetError lastError() const { return m_lastError; }
    // The server's reply to the last transfer's command (the last line it sent when the library
    // had no reply code), for messages.
    QString lastReply() const { return m_lastReply; }
    // What the library said about the last transfer that ended with an error, for the log (the
    // error event's description is the session's own, in the program's language).
    QString lastDetail() const { return m_lastDetail; }

    // Processes events while a command or a transfer runs. True once the session is idle; false
    // once bounds().waitMs have passed with no byte moving (the work is then abandoned with the
    // error event), or when abort() was called meanwhile (by a handler the wait ran).
    bool waitWhileBusy();
    // Processes events until the session is in `state`. False after bounds().waitMs: the
    // connection is then dropped with the error event.
    bool waitForState(int state);
    // Drops the connection at once (no farewell to the server): disconnected, no error event.
    void abort();

signals:
    void stateChanged(int state);
    void busyChanged(bool busy);
    void errorOccurred(int code, const QString& description);

protected:
    NetSession(int defaultPort, QObject* parent);

    struct Transfer; // one command or transfer of the library, see netsession_p.h
    // Runs one transfer; `transfer` says how to set it up and what to do when it ends. While it
    // runs the session is busy. When the session is not connected yet, the transfer connects
    // first: the states go resolving, resolved, and the connection bound applies.
    void start(std::unique_ptr<Transfer> transfer);
    void setState(int state);
    // Reports the error event (the session disconnected first) and clears the busy flag.
    void fail(NetError code, const QString& description);
    QString urlBase(const char* scheme) const;

private:
    struct Backend;
    void poll();
    void finish(int curlCode);
    void setBusy(bool busy);
    QString errorText(NetError error, bool connecting) const;

    std::unique_ptr<Backend> d;
    QString m_host;
    int m_port;
    NetBounds m_bounds;
    int m_state = nsDisconnected;
    bool m_busy = false;
    NetError m_lastError = NetError::None;
    QString m_lastReply;
    QString m_lastDetail;
    quint64 m_aborts = 0; // calls of abort(), for the waits

    friend struct Transfer;
};
