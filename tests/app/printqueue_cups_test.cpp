// Queue control against a CUPS server of the test's own (its configuration, port and spool in the
// test's folder; a queue printing into /dev/null), read back with lpstat: without the setting the
// queue is left enabled, with PrintQueueControl=CUPS it is paused, and a held job survives the
// purge a taken job asks for either way.
#include "emf_pages.h"
#include "localtables_fixture.h"

#include <app/appglobals.h>
#include <app/sources/printer_source.h>
#include <platform/printqueue.h>
#include <platform/support/globals.h>

#include <support/scoped_dialogs.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class PrivateCupsd
{
public:
    explicit PrivateCupsd(const QString& root) : m_root(root)
    {
        for (const char* dir : {"spool", "tmp", "cache", "state", "log"})
            QDir().mkpath(root + QLatin1String(dir));
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
        probe.close();
        writeFileBytes(root + u"cupsd.conf"_s,
                       u"Listen 127.0.0.1:%1\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                       "<Policy default>\n<Limit All>\nOrder allow,deny\nAllow all\n</Limit>\n"
                       "</Policy>\n"_s.arg(m_port)
                           .toUtf8());
        writeFileBytes(root + u"cups-files.conf"_s,
                       u"ServerRoot %1\nRequestRoot %1spool\nTempDir %1tmp\nCacheDir %1cache\n"
                       "StateDir %1state\nErrorLog %1log/error_log\nAccessLog %1log/access_log\n"
                       "PageLog %1log/page_log\nPrintcap %1printcap\nFileDevice Yes\n"_s.arg(root)
                           .toUtf8());
        writeFileBytes(root + u"printers.conf"_s, "<Printer testq>\nDeviceURI file:///dev/null\n"
                                                  "State Idle\nAccepting Yes\n</Printer>\n");
        m_cupsd.start(u"/usr/sbin/cupsd"_s, {u"-f"_s, u"-c"_s, root + u"cupsd.conf"_s, u"-s"_s,
                                             root + u"cups-files.conf"_s});
        // Ready once it accepts a connection.
        const QDeadlineTimer deadline(20000);
        while (m_cupsd.waitForStarted(10000) && m_cupsd.state() == QProcess::Running &&
               !deadline.hasExpired()) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(1000)) {
                m_ready = true;
                break;
            }
            QThread::msleep(20);
        }
    }
    ~PrivateCupsd()
    {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished(10000);
        }
    }

    bool ready() const { return m_ready; }
    QString server() const { return u"127.0.0.1:%1"_s.arg(m_port); }
    // A CUPS client program's output, run against this server.
    QString run(const QString& program, QStringList args) const
    {
        QProcess client;
        client.start(program, QStringList{u"-h"_s, server()} + args);
        client.waitForFinished(20000);
        return QString::fromUtf8(client.readAllStandardOutput() + client.readAllStandardError());
    }

private:
    QString m_root;
    quint16 m_port = 0;
    QProcess m_cupsd;
    bool m_ready = false;
};

TEST(PrintQueueCups, QueuePausedOnlyWithTheSettingAndHeldJobsNeverPurged)
{
    LocalTablesFixture f;
    ScopedScriptedDialogs dialogs;
    PrivateCupsd cups(f.ws.path(u"cups/"_s));
    ASSERT_TRUE(cups.ready()) << "cupsd (Debian package cups) did not start";
    const QByteArray savedServer = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", cups.server().toUtf8());

    writeFileBytes(f.ws.path(u"letter.txt"_s), "Dear colleague");
    EXPECT_TRUE(
        cups.run(u"lp"_s, {u"-d"_s, u"testq"_s, u"-H"_s, u"hold"_s, f.ws.path(u"letter.txt"_s)})
            .contains(u"testq-1"_s));
    f.addSource(3, 3, false, false, 0, u"EMF"_s);
    f.tables->prn->appendRecord({3, u"testq"_s, 0, u"testq"_s});
    const QString spool = f.ws.path(u"spool/"_s);
    QDir().mkpath(spool);
    SpoolVersion = 2;

    for (const QString& setting : {QString(), u"CUPS"_s}) {
        SCOPED_TRACE(setting.toStdString());
        ResetSpoolStateForTesting();
        ASSERT_TRUE(printqueue::select(setting));
        CheckPrinterSources();
        const QString state = cups.run(u"lpstat"_s, {u"-p"_s, u"testq"_s});
        EXPECT_TRUE(
            state.contains(setting.isEmpty() ? u"testq is idle.  enabled"_s : u"testq disabled"_s))
            << state.toStdString();

        // A job taken asks for the purge of the queue.
        QByteArray shadow(0x78, '\0');
        shadow += QByteArray(reinterpret_cast<const char*>(u"testq"), 10) + QByteArray(2, '\0');
        writeFileBytes(spool + u"00002.SHD"_s, shadow);
        writeFileBytes(spool + u"00002.SPL"_s, emfPage({{10, 10, "page"}}));
        bool taken = false;
        for (int pass = 0; pass < 3; ++pass)
            taken = PollPrinterSources(spool, BufDir) || taken;
        EXPECT_TRUE(taken);
        EXPECT_TRUE(cups.run(u"lpstat"_s, {u"-o"_s, u"testq"_s}).contains(u"testq-1"_s));
    }
    EXPECT_EQ(QString::fromUtf8(f.ws.operationsLog()).count(u"\"testq\" is never purged"_s), 1);

    printqueue::setCurrent(nullptr);
    ResetSpoolStateForTesting();
    SpoolVersion = 1;
    if (savedServer.isNull())
        qunsetenv("CUPS_SERVER");
    else
        qputenv("CUPS_SERVER", savedServer);
}

} // namespace
