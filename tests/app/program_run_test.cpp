// The program's own binary started offscreen from a temporary program folder. It polls until
// SIGTERM or SIGINT and then ends as a confirmed quit does, its tables closed.
#include "program_folder.h"

#include <platform/db/sqlitedriver.h>

#include <QFile>
#include <QFileInfo>

#include <csignal>

#include <gtest/gtest.h>

namespace {

QString warningDocument(int number)
{
    return QStringLiteral(
               "INSERT INTO \"FILES.DB\" (Number, Pack, Cfg, Date, Time, Type, Pages, "
               "NeedId, Patient) VALUES (%1, 0, 1, '2026-12-06', '22:10:46', 0, 1, 2, 0);")
        .arg(number);
}

} // namespace

TEST(ProgramRun, PollsUntilSigtermThenEndsCleanly)
{
    ProgramFolder folder;
    folder.writeUsualIni();
    // One source, so that the window does not open on its sources panel (which stops polling),
    // and a document whose warning the loop clears.
    folder.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                         "NeedComment, Warning) VALUES (1, 1, 1, 'Dossier', 'TXT', 0, 0, 2);" +
                         warningDocument(1));
    folder.start();
    const auto needIds = [&folder] {
        return folder.cli(QStringLiteral("SELECT group_concat(NeedId) FROM \"FILES.DB\";"));
    };
    EXPECT_TRUE(folder.waitFor([&] { return needIds() == QStringLiteral("0"); }))
        << needIds().toStdString();
    // A second warning, while it runs: the loop is still at work.
    folder.cli(warningDocument(2));
    EXPECT_TRUE(folder.waitFor([&] { return needIds() == QStringLiteral("0,0"); }))
        << needIds().toStdString();

    folder.process.terminate(); // SIGTERM
    ASSERT_TRUE(folder.process.waitForFinished(20000));
    EXPECT_EQ(folder.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(folder.process.exitCode(), 0);
    EXPECT_TRUE(folder.output().contains("runs offscreen: its windows are not visible"));
    // Every table closed: the database's write-ahead log is folded back and removed.
    EXPECT_FALSE(QFileInfo::exists(folder.database() + QStringLiteral("-wal")));
    EXPECT_EQ(needIds(), QStringLiteral("0,0"));
}

TEST(ProgramRun, SigintCancelsTheOpenDialogAndEndsCleanly)
{
    ProgramFolder folder;
    // A first start: no settings, no source, no user name, so the first tick asks for one.
    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }));
    ASSERT_TRUE(QFileInfo::exists(folder.dir() + "BIN/data"));
    ASSERT_EQ(folder.process.state(), QProcess::Running);
    ::kill(pid_t(folder.process.processId()), SIGINT);
    ASSERT_TRUE(folder.process.waitForFinished(20000));
    EXPECT_EQ(folder.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(folder.process.exitCode(), 0);
    // The settings of a first start: exactly the seven keys with their defaults, in the program's
    // code page with CR LF; the user name was never given.
    EXPECT_EQ(readFileBytes(folder.dir() + "QUORVANE.INI"),
              "[Application]\r\nPath=" + folder.dir().toUtf8() +
                  "BIN\r\nTressoly_Path=\r\nUser=\r\nRAR_Path=\r\nNeedCompression=0\r\n"
                  "WaitMode=0\r\nDelInterval=30\r\n");
    for (const char* made : {"BIN/buf", "BIN/exchange", "BIN/com_buf"})
        EXPECT_TRUE(QFileInfo(folder.dir() + made).isDir()) << made;
    EXPECT_FALSE(
        QFileInfo::exists(folder.dir() + "BIN/data/" + sqlitedb::DatabaseFileName + "-wal"));
}

// A start-up that fails opens its box; SIGTERM or SIGINT then cancels it, opens no other window
// and ends the program.
TEST(ProgramRun, ASignalEndsAFailedStartAndItsBox)
{
    struct Case
    {
        const char* name;
        bool damagedDatabase; // else a working folder that cannot be made
        int signal;
    };
    for (const Case& c : {Case{"working folder under a file", false, SIGTERM},
                          Case{"damaged database", true, SIGINT}}) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder;
        if (c.damagedDatabase) {
            folder.writeUsualIni();
            folder.prepareTables();
            QFile db(folder.database());
            ASSERT_TRUE(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ASSERT_EQ(db.write(QByteArray(64 * 1024, 'Z')), 64 * 1024);
        } else {
            writeFileBytes(folder.ws.path("plain"), "a file, not a folder");
            folder.writeIni(
                {"[Application]", "Path=" + folder.ws.path("plain/work"), "User=Tester"});
        }
        folder.start();
        ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }))
            << folder.output().constData();
        EXPECT_TRUE(folder.output().contains("INIT Failure: ")) << folder.output().constData();
        ::kill(pid_t(folder.process.processId()), c.signal);
        ASSERT_TRUE(folder.process.waitForFinished(20000)) << "the box kept the program";
        EXPECT_EQ(folder.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(folder.process.exitCode(), 1);
        EXPECT_EQ(folder.output().count("question open"), 1) << folder.output().constData();
    }
}

// Two copies started on one program folder (an automatic start and a manual one): the second
// says so, takes nothing, touches nothing and ends on SIGTERM; a copy killed earlier keeps no
// later one out.
TEST(ProgramRun, ASecondCopyOnTheSameFolderTakesNothing)
{
    ProgramFolder folder;
    const QString in = folder.ws.path("in");
    folder.writeUsualIni();
    // A source that leaves its files in place: each copy would take each file once.
    folder.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                         "NeedComment, Warning) VALUES (1, 1, 1, 'Export', 'TXT', 0, 0, 0);"
                         "INSERT INTO \"fr.db\" VALUES (1, '" +
                         in + "', '*.*', 0, 0);");
    writeFileBytes(in + "/a.txt", "A");
    const auto documents = [&folder] {
        return folder.cli("SELECT count(*) FROM \"FILES.DB\";").toInt();
    };
    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return documents() == 1; }));

    QProcess second;
    folder.startCopy(second);
    QByteArray said;
    const QByteArray text = "QUORVANE fonctionne déjà dans le dossier " +
                            folder.dir().chopped(1).toUtf8() +
                            ".\nCette seconde copie s'arrête sans recevoir aucun document.";
    const auto secondSaid = [&] {
        second.waitForReadyRead(200);
        said += second.readAll();
        return said.contains(text) || second.state() != QProcess::Running;
    };
    ASSERT_TRUE(folder.waitFor(secondSaid, 20000)) << said.constData();
    ASSERT_TRUE(said.contains(text)) << said.constData();
    ASSERT_EQ(second.state(), QProcess::Running) << "the box waits for its OK";
    // The first copy takes the next file, once.
    writeFileBytes(in + "/b.txt", "B");
    ASSERT_TRUE(folder.waitFor([&] { return documents() == 2; }));
    ASSERT_TRUE(folder.waitForTicks(5));
    EXPECT_EQ(documents(), 2);
    second.terminate(); // SIGTERM
    ASSERT_TRUE(second.waitForFinished(20000)) << "the box kept the second copy";
    said += second.readAll();
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    // It never started: no sign of a tick, nothing logged.
    EXPECT_FALSE(said.contains("QUORVANE tick")) << said.constData();
    EXPECT_FALSE(readFileBytes(folder.work() + "QUORVANE.LOG").contains("fonctionne"));

    // Killed, the first copy leaves nothing that keeps the next one out.
    ::kill(pid_t(folder.process.processId()), SIGKILL);
    ASSERT_TRUE(folder.process.waitForFinished(10000));
    folder.start();
    writeFileBytes(in + "/c.txt", "C");
    ASSERT_TRUE(folder.waitFor([&] { return documents() == 3; })) << folder.output().constData();
    folder.process.terminate();
    ASSERT_TRUE(folder.process.waitForFinished(20000));
    EXPECT_EQ(folder.process.exitCode(), 0);
}
