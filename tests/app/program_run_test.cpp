// The program's own binary started offscreen from a temporary program folder. It polls until
// SIGTERM or SIGINT and then ends as a confirmed quit does, its tables closed.
#include "program_folder.h"

#include <platform/db/sqlitedriver.h>

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
