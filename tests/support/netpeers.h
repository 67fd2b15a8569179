// Real SMTP and FTP servers on 127.0.0.1 for the tests of the transfer of packages: Debian's
// aiosmtpd and pyftpdlib, run by Debian's Python on a free port of their own.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A Python server of the test's: started on a free port of 127.0.0.1, which it prints first;
// stopped when it goes.
class PythonPeer
{
public:
    PythonPeer(const QString& script, const QStringList& arguments);
    ~PythonPeer();
    PythonPeer(const PythonPeer&) = delete;
    PythonPeer& operator=(const PythonPeer&) = delete;

    // True once the server has printed `word` (what it does is its sign); reads what has come
    // without waiting.
    bool said(const QByteArray& word);

    int port = 0;

private:
    QProcess m_process;
    QByteArray m_said;
};

// An SMTP server; modes: "ok"; "vrfyNNN", which answers VRFY with reply code NNN; "vrfysilent",
// which says "VRFY" when it gets one and never answers it; "rcpt550", which refuses every
// recipient; "silent", which takes connections, says "accepted" and never answers. Each message
// goes whole, as received, into the folder as msg0, msg1, ...
class SmtpPeer : public PythonPeer
{
public:
    SmtpPeer(const QString& mode, const QString& folder);
};

// An FTP server with the one user "u", password "pw", confined to `home`; mode "ro" makes the
// account read-only, "rw" lets it write.
class FtpPeer : public PythonPeer
{
public:
    FtpPeer(const QString& home, const QString& mode);
};

// A port of 127.0.0.1 nobody listens on.
int closedPort();
