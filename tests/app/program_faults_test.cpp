// The real program in an unkind environment: every file ends up a document once, with its
// bytes, or waits where it was; the failures it cannot mend reach the user and the log.
#include "program_folder.h"

#include <platform/controlchars.h>
#include <support/ptypair.h>

#include <QDir>
#include <QDirIterator>
#include <QScopeGuard>

#include <csignal>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// One folder source (1) that clears the folder `in`.
void prepare(ProgramFolder& folder, const QString& in, const QStringList& moreIni = {})
{
    QDir().mkpath(in);
    folder.writeUsualIni(moreIni);
    folder.prepareTables(
        u"INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, NeedComment, "
        "Warning) VALUES (1, 1, 1, 'Drop', 'PDF', 0, 0, 0);"
        "INSERT INTO \"fr.db\" VALUES (1, '%1', '*.*', 1, 0);"_s.arg(in));
}

int documents(ProgramFolder& folder)
{
    return folder.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s).toInt();
}

QByteArray operationsLog(ProgramFolder& folder)
{
    return readFileBytes(folder.work() + u"QUORVANE.LOG"_s);
}

void kill9(ProgramFolder& folder)
{
    ::kill(pid_t(folder.process.processId()), SIGKILL);
    folder.process.waitForFinished(10000);
}

// Whether the process holds the device a link names open.
bool holdsDevice(qint64 pid, const QString& link)
{
    const QString device = QFileInfo(link).canonicalFilePath();
    if (device.isEmpty())
        return false;
    for (QDirIterator it(u"/proc/%1/fd"_s.arg(pid), QDir::System); it.hasNext();) {
        if (QFileInfo(it.next()).symLinkTarget() == device)
            return true;
    }
    return false;
}

} // namespace

// A settings file that is a pipe would keep start-up waiting for a writer: it is refused.
TEST(ProgramFaults, ASettingsFileThatIsAPipeIsRefused)
{
    ProgramFolder folder;
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.dir() + u"QUORVANE.INI"_s).constData(), 0644), 0);
    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }));
    EXPECT_TRUE(folder.output().contains("INIT Failure: ")) << folder.output().constData();
    EXPECT_TRUE(folder.output().contains("QUORVANE.INI")) << folder.output().constData();
}

// An operations log that cannot be written (here a folder stands in its place): the user is
// told, each lost line goes to standard error, and the log counts them once it works again.
TEST(ProgramFaults, AnUnwritableLogReachesTheUserAndCountsItsLostLines)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QString log = folder.work() + u"QUORVANE.LOG"_s;
    // A practice-software folder without its version file is logged at start-up.
    prepare(folder, in, {u"Tressoly_Path="_s + folder.ws.path(u"nowhere"_s)});
    ASSERT_TRUE(QDir().mkpath(log));
    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }));
    EXPECT_TRUE(folder.output().contains("QUORVANE.LOG not written")) << folder.output().data();
    EXPECT_TRUE(folder.output().contains("File tressoly.ver not foud.")) << folder.output().data();

    // Writable again. The next line: a data file left under the next document's number is set
    // aside.
    ASSERT_TRUE(QDir(log).removeRecursively());
    writeFileBytes(folder.work() + u"buf/1.1"_s, "stale");
    writeFileBytes(in + u"/a.pdf"_s, "A");
    ASSERT_TRUE(folder.waitFor([&] { return operationsLog(folder).contains("kept as"); }))
        << folder.output().constData() << operationsLog(folder).constData();
    const qsizetype lost = folder.output().count("QUORVANE.LOG not written");
    const QList<QByteArray> lines = operationsLog(folder).split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().endsWith(" - " + QByteArray::number(lost) +
                                       " lines of this log could not be written\r"))
        << lines.first().constData();
    kill9(folder);
}

// A serial line whose far end goes away (socat stopped) and comes back under the same name:
// the hang-up is logged once, the port opened again, and captures arrive before and after.
TEST(ProgramFaults, ASerialLineThatHangsUpIsOpenedAgainWhenItComesBack)
{
    ProgramFolder folder;
    const QString device = folder.ws.path(u"ttyCOM1"_s);
    const QString analyser = folder.ws.path(u"ttyAnalyser"_s);
    // A raw capture on COM1 that ends a document at each ETX.
    folder.prepareTables(u"INSERT INTO \"cfg.db\" VALUES (1, 4, 1, 'Analyser', 'XYZ', 0, 0, 0, "
                         "NULL);"
                         "INSERT INTO \"com.DB\" VALUES (1, 1, 0, 2, 3, -1, 6, 8, 0, 0, 0);"_s);
    folder.writeUsualIni({u"[Options.COM1]"_s, u"Device="_s + device});
    QProcess socat;
    const auto lineUp = [&] {
        socat.start(u"socat"_s,
                    {u"pty,raw,echo=0,link="_s + device, u"pty,raw,echo=0,link="_s + analyser});
        return pumpEventsUntil([&] { return QFileInfo::exists(analyser); }, 10000);
    };
    const auto send = [&](const QByteArray& bytes) {
        QFile far(analyser);
        return far.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && far.write(bytes) > 0;
    };
    const auto stop = qScopeGuard([&] {
        socat.terminate();
        socat.waitForFinished(10000);
    });
    const auto logged = [&](const char* text) { return operationsLog(folder).count(text); };
    const auto captured = [&](int number) {
        return readFileBytes(folder.work() + u"buf/%1.4"_s.arg(number));
    };
    ASSERT_TRUE(lineUp());
    folder.start();
    // The ports are set up before the first tick.
    ASSERT_TRUE(folder.waitForTicks(1));
    ASSERT_TRUE(holdsDevice(folder.process.processId(), device));
    ASSERT_TRUE(send("BEFORE" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }));
    EXPECT_EQ(captured(1), "BEFORE");

    socat.terminate();
    ASSERT_TRUE(socat.waitForFinished(10000));
    ASSERT_TRUE(folder.waitFor([&] { return logged("hung up") == 1; }));
    ASSERT_TRUE(lineUp());
    ASSERT_TRUE(folder.waitFor([&] { return logged("is open again") == 1; }));
    ASSERT_TRUE(send("AFTER" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 2; }));
    EXPECT_EQ(captured(2), "AFTER");
    EXPECT_EQ(logged("hung up"), 1);
    kill9(folder);
}
