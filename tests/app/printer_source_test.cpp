// The virtual-printer source over spool folders built here, with pages written by libuemf: jobs of
// both layouts taken whole as one document, the queue control asked of a recording backend, jobs
// that must wait (empty job files, a writer, a half-written page, no page entry, a failed move),
// and pages printed through into PDF files read back with pdfinfo.
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

#include <QDir>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A shadow file naming `queue` at 0x88, behind a short document name at 0x78.
QByteArray shadowFile(const QString& queue)
{
    QByteArray shd(0x78, '\0');
    shd += QByteArray(reinterpret_cast<const char*>(u"Rapport"), 14) + QByteArray(2, '\0');
    shd += QByteArray(reinterpret_cast<const char*>(queue.utf16()), queue.size() * 2);
    return shd + QByteArray(2, '\0');
}

// What a page's header looks like to the search, with the length given.
QByteArray falseHeader(quint32 length)
{
    QByteArray bytes(52, '\0');
    bytes[0] = 0x01;
    bytes.replace(40, 4, " EMF");
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
    void writeJob2(const QString& base, const QString& queueName, const QByteArray& data)
    {
        writeFileBytes(spool + base + u".SHD"_s, shadowFile(queueName));
        writeFileBytes(spool + base + u".SPL"_s, data);
    }
    QString rows() const
    {
        return f.cli(u"SELECT Number, Type, Pages, File_name FROM \"FILES.DB\" ORDER BY Number;"_s);
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
    writeJob2(u"00002"_s, u"Cardio on host"_s,
              falseHeader(0) + falseHeader(40) + pages[0] + "xx" + pages[1] + pages[2]);
    writeJob2(u"00003"_s, u"Other"_s, pages[0]);
    CheckPrinterSources();
    EXPECT_EQ(PrinterSourceCount, 1);
    EXPECT_EQ(queue.fake->calls, QStringList{u"Pause Cardio"_s});

    EXPECT_EQ(poll(2), 0) << "two passes settle the spool folder";
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(rows(), u"1|0|3|%1_0.emf\n2|1|1|%1_1.emf\n3|1|1|%1_2.emf"_s.arg(spool + u"00002"_s));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readFileBytes(BufDir + QString::number(i + 1) + u".3"_s), pages[i]) << i;
    EXPECT_EQ(spoolFiles(), (QStringList{u"00003.SHD"_s, u"00003.SPL"_s}));
    EXPECT_EQ(queue.fake->calls, (QStringList{u"Pause Cardio"_s, u"Purge Cardio"_s}));
    EXPECT_EQ(poll(3), 0) << "another queue's job is left alone";
    EXPECT_EQ(queue.fake->calls.size(), 2);
}

TEST_F(PrinterSourceTest, EmptyJobFileHoldsCaptureBackAndIsLoggedOnceAfterSixtyPasses)
{
    writeJob2(u"00002"_s, u"Cardio"_s, pages[0]);
    writeFileBytes(spool + u"00005.SPL"_s, {});
    EXPECT_EQ(poll(59), 0);
    EXPECT_EQ(logged(u"00005.SPL has stayed empty"_s), 0);
    EXPECT_EQ(poll(10), 0);
    EXPECT_EQ(logged(u"00005.SPL has stayed empty"_s), 1);
    EXPECT_TRUE(QFile::exists(spool + u"00005.SPL"_s)) << "never deleted";

    QFile::remove(spool + u"00005.SPL"_s);
    EXPECT_EQ(poll(2), 0);
    EXPECT_EQ(poll(), 1);
}

TEST_F(PrinterSourceTest, JobStillBeingWrittenIsTakenOnceWholeAndClosed)
{
    // A page that runs past the end of the job file: nothing is taken, no page file is left.
    const QByteArray whole = pages[0] + pages[1];
    writeJob2(u"00002"_s, u"Cardio"_s, whole.left(pages[0].size() + 60));
    EXPECT_EQ(poll(4), 0);
    EXPECT_EQ(spoolFiles(), (QStringList{u"00002.SHD"_s, u"00002.SPL"_s}));
    EXPECT_EQ(rows(), QString());

    // Whole now, but still open for writing by another program.
    writeFileBytes(spool + u"00002.SPL"_s, whole);
    FileHolder writer;
    ASSERT_TRUE(writer.start(spool + u"00002.SPL"_s, FileHolder::OpenForWriting));
    EXPECT_EQ(poll(3), 0);
    writer.release();
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(f.cli(u"SELECT group_concat(Pages) FROM \"FILES.DB\";"_s), u"2,1"_s);
    EXPECT_EQ(queue.fake->calls, QStringList{u"Purge Cardio"_s});
}

TEST_F(PrinterSourceTest, JobWhosePageCannotBeMovedStaysWholeInTheSpoolFolder)
{
    writeJob2(u"00002"_s, u"Cardio"_s, pages[0] + pages[1] + pages[2]);
    poll(2);
    fileops::failNth(fileops::Op::Move, 2, ENOSPC); // the second page's
    EXPECT_EQ(poll(4), 0);
    EXPECT_EQ(rows(), QString());
    EXPECT_TRUE(QDir(BufDir).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(spoolFiles(), (QStringList{u"00002.SHD"_s, u"00002.SPL"_s, u"00002_0.emf"_s,
                                         u"00002_1.emf"_s, u"00002_2.emf"_s}));
    EXPECT_EQ(readFileBytes(spool + u"00002_0.emf"_s), pages[0]);
    EXPECT_EQ(logged(u"Print job "_s + spool + u"00002.SHD not taken"_s), 1);
    EXPECT_TRUE(queue.fake->calls.isEmpty()) << "no purge";

    // Tried again once the sources are checked again.
    CheckPrinterSources();
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(f.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s), u"3"_s);
    EXPECT_EQ(queue.fake->calls, (QStringList{u"Pause Cardio"_s, u"Purge Cardio"_s}));
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
        ASSERT_TRUE(pdfinfo.waitForFinished(10000));
        const QString info = QString::fromUtf8(pdfinfo.readAllStandardOutput());
        EXPECT_TRUE(info.contains(QRegularExpression(u"Pages: +1\n"_s))) << info.toStdString();
        EXPECT_TRUE(info.contains(QRegularExpression(u"Title: +%1\\.3\n"_s.arg(job))))
            << info.toStdString();
    }
}

TEST_F(PrinterSourceTest, QueueControlFailuresAreShownAndAnEmptySpoolFolderIsNoFolder)
{
    ScopedScriptedDialogs dialogs;
    dialogs.expectShowMessage(u"Erreur d'accès à l'imprimante virtuelle: OPPRN 1801"_s)
        .expectShowMessage(u"Erreur d'accès à l'imprimante virtuelle: SETPRN 1025"_s);
    queue.fake->answer = {printqueue::Outcome::NotOpened, 1801, u"no such queue"_s};
    SetPrn(u"Cardio"_s, 2);
    queue.fake->answer = {printqueue::Outcome::Refused, 1025, u"not allowed"_s};
    SetPrn(u"Cardio"_s, 1);
    SetPrn(u"Cardio"_s, 4);
    EXPECT_EQ(queue.fake->calls, (QStringList{u"Pause Cardio"_s, u"Resume Cardio"_s}));

    // A job in the current folder is not one of an empty spool folder's.
    writeJob2(u"00002"_s, u"Cardio"_s, pages[0]);
    const QString current = QDir::currentPath();
    QDir::setCurrent(spool);
    for (int pass = 0; pass < 4; ++pass)
        EXPECT_FALSE(ReadSpool({3, u"Cardio"_s, {}}, QString(), BufDir));
    QDir::setCurrent(current);
    EXPECT_EQ(logged(u"No spool folder is configured"_s), 1);
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
