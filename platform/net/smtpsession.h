// An SMTP client session in the manner of the mail control the transfer form drives: connect,
// verify a recipient, send a document made of headers and a file, quit; with its state, busy and
// progress notifications. Plain SMTP, no TLS and no login.
#pragma once

#include <platform/net/netsession.h>

#include <QList>
#include <QPair>

// The document's progress: the steps its events report.
enum SmtpDocState : int {
    sdStarting = 1, // the send begins
    sdHeaders = 2,  // the headers go
    sdSending = 3,  // the body goes (with byte counts)
    sdDone = 5,     // the server took the message
};

class SmtpSession : public NetSession
{
    Q_OBJECT

public:
    explicit SmtpSession(QObject* parent = nullptr); // port 25

    // Connects to remoteHost() and greets the server; stateChanged goes 1 to 4, or the error
    // event comes.
    void connectToServer();
    // Asks the server about the address (VRFY). The reply decides: 2xx, and 500, 502 and 504
    // (a server that offers no VRFY) raise verified(); any other reply raises nothing (the
    // address is refused); a failed connection raises the error event.
    void verify(const QString& address);
    // Sends a message from the "From" header's address to the "To" header's (and to the "CC"
    // one's when it is not empty): the headers in their order ("Name: value", in the program's
    // code page), an empty line, then the file's bytes unchanged. documentProgress reports the
    // steps; a refusal raises the error event.
    void sendDocument(const QList<QPair<QString, QString>>& headers, const QString& fileName);
    // Says goodbye to the server and disconnects: states 5 then 6.
    void quit();

signals:
    void verified();
    void documentProgress(int docState, qint64 transferred, qint64 total);

private:
    class Command;
    class Message;
};
