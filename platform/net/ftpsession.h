// An FTP client session in the manner of the control the FTP form drives: connect, log in, the
// folder of the transaction stage, upload and download in binary passive mode, quit; with its
// connection and protocol states, busy and progress notifications. Plain FTP, no TLS.
#pragma once

#include <platform/net/netsession.h>

// The protocol states.
enum FtpProtocolState : int {
    fpAuthentication = 1, // the server waits for the user's name and password
    fpTransaction = 2,    // logged in: commands and transfers may go
};

class FtpSession : public NetSession
{
    Q_OBJECT

public:
    explicit FtpSession(QObject* parent = nullptr); // port 21

    // Starts a connection to remoteHost() and remotePort(): state 1, then the authentication
    // stage is announced (protocolStateChanged(1)) for authenticate().
    void connectToServer();
    // Connects and logs in; states 2 to 4 follow, then protocolStateChanged(2). A refused login
    // or a host that cannot be reached raises the error event.
    void authenticate(const QString& user, const QString& password);
    // The folder the transfers work in, "/" being the account's own root (where the server puts
    // the user when logging in). Nothing is sent.
    void changeDirectory(const QString& folder);
    // Stores the local file on the host under `remoteName` in the current folder; documentOutput
    // reports the progress, the error event a refusal.
    void putFile(const QString& localFile, const QString& remoteName);
    // Fetches `remoteName` of the current folder into `localFile` (written under a temporary
    // name and renamed once whole); documentInput reports the progress.
    void getFile(const QString& remoteName, const QString& localFile);
    // Says goodbye to the server and disconnects: states 5 then 6.
    void quit();

signals:
    void protocolStateChanged(int state);
    void documentInput(qint64 transferred, qint64 total);
    void documentOutput(qint64 transferred, qint64 total);

private:
    class Step;
    class Upload;
    class Download;
    QByteArray urlOf(const QString& remoteName) const;

    QString m_user, m_password, m_folder = QStringLiteral("/");
};
