// The virtual-printer source over spool folders built here with libuemf pages, queue control
// asked of a recording backend and of a CUPS server of the test's own.
#include "emf_pages.h"
#include "localtables_fixture.h"
#include "mainwindow_fixture.h"

#include <app/appglobals.h>
#include <app/sources/printer_source.h>
#include <app/sources/spoolfiles.h>
#include <platform/fileops.h>
#include <platform/printqueue.h>
#include <platform/support/globals.h>
#include <platform/testing/printqueue_fake.h>

#include <support/fileholder.h>
#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// What a page's header looks like to the search, with the length given.
QByteArray falseHeader(quint32 length)
{
    QByteArray bytes(52, '\0');
    bytes.replace(0, 1, "\x01").replace(40, 4, " EMF");
    qToLittleEndian(length, bytes.data() + 48);
    return bytes;
}

class PrinterSourceTest : public ::testing::Test
{
protected:
    LocalTablesFixture f;
    ScopedFakePrintQueue queue;
    QString spool = f.ws.path(u"spool/"_s);
    const QList<QByteArray> pages{emfPage({{100, 100, "page one"}}),
                                  emfPage({{100, 100, "page two"}}),
                                  emfPage({{100, 100, "page three"}})};

    PrinterSourceTest()
    {
        QDir().mkpath(spool);
        ResetSpoolStateForTesting();
        SpoolVersion = 2;
        f.addSource(3, 3, false, false, 0, u"EMF"_s);
        f.tables->prn->appendRecord({3, u"Cardio on host"_s, 0, u"Cardio"_s});
    }
    ~PrinterSourceTest() override
    {
        ResetSpoolStateForTesting();
        SetPrinterOpenerForTesting(nullptr);
        SpoolVersion = 1;
    }

    // Passes that took a job, out of n.
    int poll(int n = 1)
    {
        int taken = 0;
        for (int i = 0; i < n; ++i)
            taken += PollPrinterSources(spool, BufDir) ? 1 : 0;
        return taken;
    }
    // A shadow file naming the queue at 0x88, behind a short document name at 0x78.
    void writeJob2(const QString& base, const QString& queueName, const QByteArray& data)
    {
        const QString names = u"Rapport"_s + QChar() + queueName + QChar();
        writeFileBytes(
            spool + base + u".SHD"_s,
            QByteArray(0x78, '\0') +
                QByteArray(reinterpret_cast<const char*>(names.utf16()), names.size() * 2));
        writeFileBytes(spool + base + u".SPL"_s, data);
    }
    QStringList spoolFiles() const { return QDir(spool).entryList(QDir::Files, QDir::Name); }
    int logged(const QString& fragment) const
    {
        return int(QString::fromUtf8(f.ws.operationsLog()).count(fragment));
    }
};

TEST_F(PrinterSourceTest, ThreePageJobBecomesOneDocumentOnceSettledAndOnlyItsQueueIsPurged)
{
    // Two false headers (lengths 0 and 40) and stray bytes around the pages of the job.
    // The shadow file names the queue in capitals: compared without regard to case.
    writeJob2(u"00002"_s, u"CARDIO on host"_s,
              falseHeader(0) + falseHeader(40) + pages[0] + "xx" + pages[1] + pages[2]);
    writeJob2(u"00003"_s, u"Other"_s, pages[0]);
    CheckPrinterSources();
    EXPECT_EQ(queue.fake->calls, QStringList{u"Pause Cardio"_s});

    EXPECT_EQ(poll(2), 0) << "two passes settle the spool folder";
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(f.cli(u"SELECT Number, Type, Pages, File_name FROM \"FILES.DB\" ORDER BY Number;"_s),
              u"1|0|3|%1_0.emf\n2|1|1|%1_1.emf\n3|1|1|%1_2.emf"_s.arg(spool + u"00002"_s));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readFileBytes(BufDir + QString::number(i + 1) + u".3"_s), pages[i]) << i;
    EXPECT_EQ(spoolFiles(), (QStringList{u"00003.SHD"_s, u"00003.SPL"_s}));
    EXPECT_EQ(queue.fake->calls, (QStringList{u"Pause Cardio"_s, u"Purge Cardio"_s}));
    EXPECT_EQ(poll(3), 0) << "another queue's job is left alone";
    EXPECT_EQ(queue.fake->calls.size(), 2);
    // An empty spool folder is no folder (not the current one); said once.
    EXPECT_FALSE(ReadSpool({3, u"Cardio"_s, {}}, QString(), BufDir));
    EXPECT_FALSE(ReadSpool({3, u"Cardio"_s, {}}, QString(), BufDir));
    EXPECT_EQ(logged(u"No spool folder is configured"_s), 1);
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_FALSE(ReadSpool({3, u"Cardio"_s, {}}, spool + u"gone"_s, BufDir));
    EXPECT_EQ(
        logged(u"The spool folder "_s + spool + u"gone/ ([Application] SpoolDir) does not exist"_s),
        1);
}

TEST_F(PrinterSourceTest, JobsWaitUntilWholeAndAreTakenWholeOrNotAtAll)
{
    // An empty job file holds every job back; it is logged once after 60 passes, never deleted.
    const QByteArray whole = pages[0] + pages[1];
    writeJob2(u"00002"_s, u"Cardio"_s, whole);
    writeFileBytes(spool + u"00005.SPL"_s, {});
    EXPECT_EQ(poll(59), 0);
    EXPECT_EQ(logged(u"00005.SPL has stayed empty"_s), 0);
    EXPECT_EQ(poll(10), 0);
    EXPECT_EQ(logged(u"00005.SPL has stayed empty"_s), 1);
    QFile::remove(spool + u"00005.SPL"_s);
    // A page that runs past the end of the job file: nothing taken, no page file left.
    writeFileBytes(spool + u"00002.SPL"_s, whole.left(pages[0].size() + 60));
    EXPECT_EQ(poll(4), 0);
    EXPECT_EQ(spoolFiles(), (QStringList{u"00002.SHD"_s, u"00002.SPL"_s}));
    // Whole, but still open for writing by another program.
    writeFileBytes(spool + u"00002.SPL"_s, whole);
    FileHolder writer;
    ASSERT_TRUE(writer.start(spool + u"00002.SPL"_s, FileHolder::OpenForWriting));
    EXPECT_EQ(poll(3), 0);
    writer.release();
    // The second page cannot be moved: the first comes back, the job stays, nothing is purged.
    fileops::failNth(fileops::Op::Move, 2, ENOSPC);
    EXPECT_EQ(poll(3), 0);
    EXPECT_EQ(f.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s), u"0"_s);
    EXPECT_TRUE(QDir(BufDir).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(spoolFiles(),
              (QStringList{u"00002.SHD"_s, u"00002.SPL"_s, u"00002_0.emf"_s, u"00002_1.emf"_s}));
    EXPECT_EQ(logged(u"Print job "_s + spool + u"00002.SHD not taken"_s), 1);
    EXPECT_TRUE(queue.fake->calls.isEmpty());
    // Tried again 60 passes after it failed, failing once more, which is not said again.
    fileops::failNth(fileops::Op::Move, 1, ENOSPC);
    EXPECT_EQ(poll(57), 0);
    EXPECT_EQ(spoolFiles().size(), 4);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(spoolFiles().size(), 4);
    EXPECT_EQ(logged(u"Print job "_s + spool + u"00002.SHD not taken"_s), 1);
    EXPECT_EQ(logged(fileops::errorText(ENOSPC)), 2) << "the second failure was met";
    CheckPrinterSources(); // tried again at once
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(f.cli(u"SELECT group_concat(Pages) FROM \"FILES.DB\";"_s), u"2,1"_s);
    EXPECT_EQ(queue.fake->calls, (QStringList{u"Pause Cardio"_s, u"Purge Cardio"_s}));
}

TEST_F(PrinterSourceTest, JobWhoseFilesCannotBeRemovedIsTakenOnce)
{
    writeJob2(u"00002"_s, u"Cardio"_s, pages[0]);
    fileops::failNth(fileops::Op::Remove, 1, EACCES);
    fileops::failNth(fileops::Op::Remove, 2, EACCES);
    EXPECT_EQ(poll(6), 1);
    EXPECT_EQ(f.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s), u"1"_s);
    EXPECT_EQ(logged(u"was taken but stays"_s), 2);
    EXPECT_EQ(queue.fake->calls, QStringList{u"Purge Cardio"_s}) << "nothing left busy";
    // A new job under the same name is another job.
    writeJob2(u"00002"_s, u"Cardio on host"_s, pages[1]);
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(spoolFiles(), QStringList());
    EXPECT_EQ(readFileBytes(BufDir + u"2.3"_s), pages[1]);
}

TEST_F(PrinterSourceTest, PagesAreCutWholeAndByteForByte)
{
    writeJob2(u"00002"_s, u"Cardio"_s, "\x01 EMF" + pages[0] + pages[1] + pages[2] + "\x01");
    QStringList cut{u"earlier"_s};
    EXPECT_EQ(ExtractEmfPages(spool + u"00002.SPL"_s, cut), EmfExtraction::Whole);
    ASSERT_EQ(cut, (QStringList{u"earlier"_s, spool + u"00002_0.emf"_s, spool + u"00002_1.emf"_s,
                                spool + u"00002_2.emf"_s}));
    for (int i = 0; i < 3; ++i) {
        writeFileBytes(f.ws.path(u"expected.emf"_s), pages[i]);
        EXPECT_EQ(QProcess::execute(u"cmp"_s, {f.ws.path(u"expected.emf"_s), cut[i + 1]}), 0);
    }
    // Pages of megabytes, a header whose signature straddles a megabyte, a false header inside
    // a page, runs of 01 bytes and a false header between pages.
    const auto bulk = [](qsizetype size, char fill) {
        QByteArray page(size, fill);
        page.replace(0, 52, falseHeader(quint32(size)));
        if (size > 2000)
            page.replace(1000, 52, falseHeader(88));
        return page;
    };
    const qsizetype mib = 1 << 20;
    const QList<QByteArray> big{bulk(mib + mib / 2, 'a'), bulk(100, 'b'), bulk(mib - 3, 'c')};
    writeFileBytes(spool + u"00004.SPL"_s, QByteArray(mib - 42, '\0') + big[0] +
                                               QByteArray(7, '\x01') + big[1] + falseHeader(40) +
                                               big[2]);
    cut.clear();
    EXPECT_EQ(ExtractEmfPages(spool + u"00004.SPL"_s, cut), EmfExtraction::Whole);
    ASSERT_EQ(cut.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(readFileBytes(cut[i]) == big[i]) << i;

    // A page past the end: none is written, the ones before are taken back.
    writeFileBytes(spool + u"00003.SPL"_s, pages[0] + pages[1].chopped(1));
    cut.clear();
    EXPECT_EQ(ExtractEmfPages(spool + u"00003.SPL"_s, cut), EmfExtraction::Incomplete);
    EXPECT_TRUE(cut.isEmpty());
    EXPECT_TRUE(QDir(spool).entryList({u"00003*"_s}, QDir::Files | QDir::Hidden) ==
                QStringList{u"00003.SPL"_s});
}

TEST_F(PrinterSourceTest, VersionOneJobsNameTheirPagesAndOneWithoutPagesWaits)
{
    SpoolVersion = 1;
    const QByteArray head(16, '\x7f');
    const auto entry = [](const QByteArray& path) {
        return QByteArray("\x46\x54\x4D\x02\x09\0\0\0", 8) + path + '\0';
    };
    writeFileBytes(spool + u"FP00002.SPL"_s,
                   head + "Cardio on host,LPT1:\n" +
                       entry("C:\\WINDOWS\\SPOOL\\PRINTERS\\FP00002.EMF") +
                       entry("C:\\WINDOWS\\SPOOL\\PRINTERS\\FP00003.EMF"));
    writeFileBytes(spool + u"fp00002.emf"_s, pages[0]);
    writeFileBytes(spool + u"Fp00003.Emf"_s, pages[1]);
    // The queue name compares with its case; a job of this queue without a page entry waits.
    writeFileBytes(spool + u"FP00007.SPL"_s, head + "CARDIO on host\n" + entry("FP00008.EMF"));
    writeFileBytes(spool + u"FP00009.SPL"_s, head + "Cardio on host\n");

    EXPECT_EQ(poll(3), 1);
    EXPECT_EQ(f.cli(u"SELECT Number, Type, Pages FROM \"FILES.DB\" ORDER BY Number;"_s),
              u"1|0|2\n2|1|1"_s);
    EXPECT_EQ(readFileBytes(BufDir + u"2.3"_s), pages[1]);
    EXPECT_EQ(spoolFiles(), (QStringList{u"FP00007.SPL"_s, u"FP00009.SPL"_s}));
    EXPECT_TRUE(queue.fake->calls.isEmpty()) << "a pass that met a waiting job purges nothing";
}

TEST_F(PrinterSourceTest, PagesArePrintedThroughOneJobEachInOrder)
{
    f.cli(u"UPDATE \"printers.db\" SET NameForPrint = 'Laser';"_s);
    QStringList asked;
    int jobs = 0;
    SetPrinterOpenerForTesting([&](const QString& name) {
        asked << name;
        auto printer = std::make_unique<QPrinter>();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(f.ws.path(u"job%1.pdf"_s.arg(++jobs)));
        return printer;
    });
    writeJob2(u"00002"_s, u"Cardio"_s, pages[0] + pages[1] + pages[2]);
    EXPECT_EQ(poll(3), 1);
    EXPECT_EQ(asked, (QStringList{u"Laser"_s, u"Laser"_s, u"Laser"_s}));
    for (int job = 1; job <= 3; ++job) {
        QProcess pdfinfo;
        pdfinfo.start(u"pdfinfo"_s, {f.ws.path(u"job%1.pdf"_s.arg(job))});
        pdfinfo.waitForFinished(10000);
        const QString info = QString::fromUtf8(pdfinfo.readAllStandardOutput());
        EXPECT_TRUE(
            info.contains(QRegularExpression(u"Title: +%1\\.3\n[\\s\\S]*\nPages: +1\n"_s.arg(job))))
            << info.toStdString();
    }
}

TEST_F(PrinterSourceTest, CupsQueuePausedOnlyWithTheSettingAndHeldJobsNeverPurged)
{
    const QString root = f.ws.path(u"cups/"_s);
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    for (const auto& [name, text] :
         {std::pair{"cupsd.conf",
                    u"Listen 127.0.0.1:%2\nLogLevel info\nBrowsing No\nDefaultAuthType None\n"
                    "<Policy default>\n<Limit All>\nAllow all\n</Limit>\n</Policy>"_s},
          {"cups-files.conf", u"ServerRoot %1\nRequestRoot %1run\nTempDir %1run\nCacheDir %1run\n"
                              "StateDir %1run\nErrorLog stderr\nAccessLog %1log\nPageLog %1log\n"
                              "Printcap %1printcap"_s},
          {"printers.conf",
           u"<Printer Cardio>\nDeviceURI file:///dev/null\n</Printer>\n"
           "<DefaultPrinter Autre>\nDeviceURI file:///dev/null\n</DefaultPrinter>"_s}})
        writeFileBytes(
            root + QLatin1String(name),
            QString(text).replace(u"%1"_s, root).replace(u"%2"_s, QString::number(port)).toUtf8() +
                '\n');
    QDir().mkpath(root + u"run"_s); // cupsd empties it
    QProcess cupsd;
    cupsd.setProcessChannelMode(QProcess::MergedChannels);
    cupsd.start(u"/usr/sbin/cupsd"_s,
                {u"-f"_s, u"-c"_s, root + u"cupsd.conf"_s, u"-s"_s, root + u"cups-files.conf"_s});
    const QByteArray savedServer = qgetenv("CUPS_SERVER");
    const auto stop = qScopeGuard([&] {
        cupsd.kill();
        cupsd.waitForFinished(10000);
        savedServer.isNull() ? qunsetenv("CUPS_SERVER") : qputenv("CUPS_SERVER", savedServer);
    });
    QByteArray said; // its log: ready once it listens
    while (!said.contains("Listening to") && cupsd.waitForReadyRead(20000))
        said += cupsd.readAll();
    ASSERT_TRUE(said.contains("Listening to")) << "cupsd (Debian package cups) did not start";
    const QString server = u"127.0.0.1:%1"_s.arg(port);
    qputenv("CUPS_SERVER", server.toUtf8());
    const auto client = [&server](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, QStringList{u"-h"_s, server} + args);
        p.waitForFinished(60000); // a loaded machine's scheduler can be slow to answer
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    };
    writeFileBytes(f.ws.path(u"letter.txt"_s), "Dear colleague");
    EXPECT_TRUE(
        client(u"lp"_s, {u"-d"_s, u"Cardio"_s, u"-H"_s, u"hold"_s, f.ws.path(u"letter.txt"_s)})
            .contains(u"Cardio-1"_s));

    for (const QString& setting : {QString(), u"CUPS"_s}) {
        SCOPED_TRACE(setting.toStdString());
        ResetSpoolStateForTesting();
        ASSERT_TRUE(printqueue::select(setting));
        CheckPrinterSources();
        const QString state = client(u"lpstat"_s, {u"-p"_s, u"Cardio"_s});
        EXPECT_TRUE(state.contains(setting.isEmpty() ? u"Cardio is idle.  enabled"_s
                                                     : u"Cardio disabled"_s))
            << state.toStdString();
        writeJob2(u"00002"_s, u"Cardio"_s, pages[0]); // taken: the queue's purge is asked
        EXPECT_EQ(poll(3), 1);
        EXPECT_TRUE(client(u"lpstat"_s, {u"-o"_s, u"Cardio"_s}).contains(u"Cardio-1"_s));
    }
    EXPECT_EQ(logged(u"\"Cardio\" is never purged"_s), 1);
    // Printed through to the installed queue named so without regard to case, one job a page
    // (kept by the paused queue).
    PrintEmfPages(BufDir, {u"1.3"_s, u"2.3"_s}, u"cardio"_s);
    // The scheduler lists a job once it has taken it in: asked again until both show.
    QString jobs;
    QDeadlineTimer bound(60000);
    do
        jobs = client(u"lpstat"_s, {u"-o"_s, u"Cardio"_s});
    while (!(jobs.contains(u"Cardio-2"_s) && jobs.contains(u"Cardio-3"_s)) && !bound.hasExpired());
    EXPECT_TRUE(jobs.contains(u"Cardio-2"_s) && jobs.contains(u"Cardio-3"_s)) << jobs.toStdString();
}

TEST_F(PrinterSourceTest, QueueControlFailuresAreShownAndOtherActionsDoNothing)
{
    ScopedScriptedDialogs dialogs;
    dialogs.expectShowMessage(u"Erreur d'accès à l'imprimante virtuelle: OPPRN 1801"_s)
        .expectShowMessage(u"Erreur d'accès à l'imprimante virtuelle: SETPRN 1025"_s);
    queue.fake->answer = {printqueue::Outcome::NotOpened, 1801, u"no such queue"_s};
    SetPrn(u"Cardio"_s, 2);
    queue.fake->answer = {printqueue::Outcome::Refused, 1025, u"not allowed"_s};
    SetPrn(u"Cardio"_s, 1);
    queue.fake->answer = {};
    for (const int action : {0, 3, 4, 255})
        SetPrn(u"Cardio"_s, action);
    SetPrn(QString(), 2);
    EXPECT_EQ(queue.fake->calls,
              (QStringList{u"Pause Cardio"_s, u"Resume Cardio"_s, u"Purge Cardio"_s}));
}

TEST(PrinterSourceSettings, SpoolSettingsAreReadAtStartUpWithVersionTwoByDefault)
{
    for (const QStringList& ini :
         {QStringList{}, QStringList{u"SpoolDir=/var/spool/jobs"_s, u"SpoolVersion=1"_s}}) {
        MainWindowFixture w;
        SpoolVersion = 7;
        w.startRunning(ini);
        EXPECT_EQ(SpoolDir, ini.isEmpty() ? QString() : u"/var/spool/jobs"_s);
        EXPECT_EQ(SpoolVersion, ini.isEmpty() ? 2 : 1);
    }
    SpoolDir.clear();
    SpoolVersion = 1;
}

} // namespace
