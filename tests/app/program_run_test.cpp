// The program's own binary started offscreen from a temporary program folder (the binary is
// copied there: on Linux the program's folder is that of its executable file). It polls until
// SIGTERM or SIGINT and then ends as a confirmed quit does, its tables closed.
#include <app/upgrade.h>
#include <platform/codepage.h>
#include <platform/db/sqlitedriver.h>
#include <platform/support/globals.h>

#include <support/workspace.h>

#include "../platform/db_helpers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <functional>

#include <gtest/gtest.h>

namespace {

// A copy of the built program in a folder of its own, with its settings and local tables.
class ProgramFolder
{
public:
    ProgramFolder()
    {
        const QString built = QStringLiteral(QUORVANE_BINARY_DIR "/quorvane");
        EXPECT_TRUE(QFileInfo::exists(built)) << "build the program first: " << qPrintable(built);
        QDir().mkpath(dir());
        EXPECT_TRUE(QFile::copy(built, program()));
        QFile::setPermissions(program(), QFile::permissions(built));
        QDir().mkpath(work());
    }

    QString dir() const { return ws.path(QStringLiteral("prog/")); }
    QString program() const { return dir() + QStringLiteral("quorvane"); }
    QString work() const { return ws.path(QStringLiteral("work/")); }
    QString database() const
    {
        return work() + QStringLiteral("data/") + sqlitedb::DatabaseFileName;
    }
    QString cli(const QString& script) const { return dbtest::sqliteCli(database(), script); }

    void writeIni(const QStringList& lines) const
    {
        writeFileBytes(
            dir() + QStringLiteral("QUORVANE.INI"),
            codepage::toAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    }

    // The tables of a new installation, made as the program makes them.
    void prepareTables(const QString& script) const
    {
        const QString saved = DataDir;
        DataDir = work() + QStringLiteral("data");
        EXPECT_TRUE(PrepareLocalTables());
        DataDir = saved;
        cli(script);
    }

    void start(QProcess& process) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(ws.root());
        process.start(program(), {});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    TestWorkspace ws;
};

// Waits, up to `ms`, for `done`; the program runs meanwhile in its own process.
bool waitFor(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (done())
            return true;
        QThread::msleep(100);
    }
    return done();
}

// Ends the process if a test left it running.
struct Reaper
{
    QProcess& process;
    ~Reaper()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

QString warningDocument(int number)
{
    return QStringLiteral(
               "INSERT INTO \"FILES.DB\" (Number, Pack, Cfg, Date, Time, Type, Pages, "
               "NeedId, Patient) VALUES (%1, 0, 1, '2026-12-06', '22:10:46', 0, 1, 2, 0);")
        .arg(number);
}

} // namespace

TEST(ProgramRun, PollsEverySecondUntilSigtermThenEndsCleanly)
{
    ProgramFolder folder;
    folder.writeIni({"[Application]", "Path=" + folder.work(), "User=Tester", "DelInterval=-1"});
    // One source, so that the window does not open on its sources panel (which stops polling),
    // and a document whose warning the loop clears.
    folder.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                         "NeedComment, Warning) VALUES (1, 1, 1, 'Dossier', 'TXT', 0, 0, 2);" +
                         warningDocument(1));
    QProcess process;
    Reaper reaper{process};
    folder.start(process);
    const auto needIds = [&folder] {
        return folder.cli(QStringLiteral("SELECT group_concat(NeedId) FROM \"FILES.DB\";"));
    };
    EXPECT_TRUE(waitFor([&] { return needIds() == QStringLiteral("0"); }, 20000))
        << needIds().toStdString();
    // A second warning, while it runs: the loop is still at work.
    folder.cli(warningDocument(2));
    EXPECT_TRUE(waitFor([&] { return needIds() == QStringLiteral("0,0"); }, 20000))
        << needIds().toStdString();

    process.terminate(); // SIGTERM
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError())
                    .contains(QStringLiteral("runs offscreen: its windows are not visible")));
    // Every table closed: the database's write-ahead log is folded back and removed.
    EXPECT_FALSE(QFileInfo::exists(folder.database() + QStringLiteral("-wal")));
    EXPECT_EQ(needIds(), QStringLiteral("0,0"));
}

TEST(ProgramRun, SigintCancelsTheOpenDialogAndEndsCleanly)
{
    ProgramFolder folder;
    // A first start: no settings, no source, no user name, so the first tick asks for one.
    QProcess process;
    Reaper reaper{process};
    folder.start(process);
    const QString ini = folder.dir() + QStringLiteral("QUORVANE.INI");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(folder.dir() + "BIN/data"); }, 20000));
    // Give the first tick the time to open its question.
    QThread::msleep(2500);
    ASSERT_EQ(process.state(), QProcess::Running);
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(readFileBytes(ini).contains("User=\r\n"));
    EXPECT_FALSE(
        QFileInfo::exists(folder.dir() + "BIN/data/" + sqlitedb::DatabaseFileName + "-wal"));
}
