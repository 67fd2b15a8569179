// The SMTP and FTP sessions against real servers on 127.0.0.1: how a VRFY reply is judged, the
// order of the connection states, an upload and a download in binary, a refused download that
// leaves no file, and the bounds on a server that never answers.
#include <platform/net/ftpsession.h>
#include <platform/net/smtpsession.h>

#include <support/netpeers.h>
#include <support/workspace.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Processes events until `done` holds (a minute at most).
template <class Done> bool until(Done done)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(2);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

} // namespace

TEST(SmtpSession, VerifyIsJudgedOnTheReplyCode)
{
    TestWorkspace ws;
    const struct
    {
        int code;
        bool passes;
    } cases[] = {{250, true},  {252, true},  {500, true},  {502, true}, {504, true},
                 {550, false}, {551, false}, {553, false}, {450, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        SmtpPeer server(QStringLiteral("vrfy%1").arg(c.code), ws.root());
        SmtpSession smtp;
        QList<int> states;
        QObject::connect(&smtp, &NetSession::stateChanged, [&](int s) { states << s; });
        int errors = 0;
        QObject::connect(&smtp, &NetSession::errorOccurred, [&] { ++errors; });
        bool verified = false;
        QObject::connect(&smtp, &SmtpSession::verified, [&] { verified = true; });
        smtp.setRemoteHost(QStringLiteral("127.0.0.1"));
        smtp.setRemotePort(server.port);
        smtp.connectToServer();
        ASSERT_TRUE(until([&] { return smtp.state() == nsConnected && !smtp.isBusy(); }));
        smtp.verify(QStringLiteral("Dr Martin <martin@cabinet.fr>"));
        ASSERT_TRUE(smtp.waitWhileBusy());
        EXPECT_EQ(verified, c.passes);
        // The answer to VRFY, not the farewell the library may send after a refusal.
        EXPECT_EQ(smtp.lastReply(), QStringLiteral("%1 reply of the test").arg(c.code));
        smtp.quit();
        ASSERT_TRUE(smtp.waitForState(nsDisconnected));
        EXPECT_EQ(states, QList<int>({nsConnecting, nsResolving, nsResolved, nsConnected,
                                      nsDisconnecting, nsDisconnected}));
        EXPECT_EQ(errors, 0);
    }
}

TEST(SmtpSession, ASilentServerEndsInTheErrorEvent)
{
    TestWorkspace ws;
    SmtpPeer server(QStringLiteral("silent"), ws.root());
    SmtpSession smtp;
    NetBounds bounds;
    bounds.connectMs = 300;
    smtp.setBounds(bounds);
    int errors = 0;
    QObject::connect(&smtp, &NetSession::errorOccurred, [&] { ++errors; });
    smtp.setRemoteHost(QStringLiteral("127.0.0.1"));
    smtp.setRemotePort(server.port);
    smtp.connectToServer();
    ASSERT_TRUE(until([&] { return errors > 0; }));
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(smtp.state(), nsDisconnected);
    EXPECT_EQ(smtp.lastError(), NetError::TimedOut);
}

TEST(FtpSession, UploadAndDownloadInBinary)
{
    TestWorkspace ws;
    QByteArray bytes("\r\n");
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    writeFileBytes(ws.path("home/.keep"), "");
    writeFileBytes(ws.path("local.bin"), bytes.repeated(1000));
    FtpPeer server(ws.path("home"), QStringLiteral("rw"));
    FtpSession ftp;
    QList<int> protocol;
    int errors = 0;
    QObject::connect(&ftp, &NetSession::errorOccurred, [&] { ++errors; });
    QObject::connect(&ftp, &FtpSession::protocolStateChanged, [&](int state) {
        protocol << state;
        if (state == fpAuthentication)
            ftp.authenticate(QStringLiteral("u"), QStringLiteral("pw"));
        else
            ftp.changeDirectory(QStringLiteral("/"));
    });
    qint64 last = 0, total = 0;
    QObject::connect(&ftp, &FtpSession::documentOutput, [&](qint64 done, qint64 all) {
        last = done;
        total = all;
    });
    ftp.setRemoteHost(QStringLiteral("127.0.0.1"));
    ftp.setRemotePort(server.port);
    ftp.connectToServer();
    ASSERT_TRUE(until([&] { return ftp.state() == nsConnected && !ftp.isBusy(); }));
    EXPECT_EQ(protocol, QList<int>({fpAuthentication, fpTransaction}));
    ftp.putFile(ws.path("local.bin"), QStringLiteral("up.bin"));
    ASSERT_TRUE(ftp.waitWhileBusy());
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(readFileBytes(ws.path("home/up.bin")), bytes.repeated(1000));
    EXPECT_EQ(last, 258000);
    EXPECT_EQ(total, 258000);
    ftp.getFile(QStringLiteral("up.bin"), ws.path("down.bin"));
    ASSERT_TRUE(ftp.waitWhileBusy());
    EXPECT_EQ(readFileBytes(ws.path("down.bin")), bytes.repeated(1000));
    // A file the host does not have: the error event, and nothing written here.
    ftp.getFile(QStringLiteral("missing.bin"), ws.path("missing.bin"));
    ftp.waitWhileBusy();
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(QFile::exists(ws.path("missing.bin")));
    EXPECT_EQ(QDir(ws.root()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"down.bin", "local.bin"}));
}
