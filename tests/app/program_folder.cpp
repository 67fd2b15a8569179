// The real program in a temporary program folder, and the waits of the tests that run it.
#include "program_folder.h"

#include <app/documents/upgrade.h>
#include <platform/codepage.h>
#include <platform/db/sqlitedriver.h>
#include <platform/support/globals.h>

#include <support/db_helpers.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

ProgramFolder::ProgramFolder()
{
    const QString built = QStringLiteral(QUORVANE_BINARY_DIR "/quorvane");
    QDir().mkpath(dir());
    QDir().mkpath(work());
    EXPECT_TRUE(QFile::copy(built, dir() + QStringLiteral("quorvane")))
        << "build the program first: " << qPrintable(built);
    QFile::setPermissions(dir() + QStringLiteral("quorvane"), QFile::permissions(built));
}

ProgramFolder::~ProgramFolder()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QString ProgramFolder::database() const
{
    return work() + QStringLiteral("data/") + sqlitedb::DatabaseFileName;
}

QString ProgramFolder::cli(const QString& script) const
{
    // The program writes at every tick: wait for its lock rather than fail on it.
    return dbtest::sqliteCli(database(), QStringLiteral(".timeout 5000\n") + script);
}

void ProgramFolder::writeIni(const QStringList& lines) const
{
    writeFileBytes(dir() + QStringLiteral("QUORVANE.INI"),
                   codepage::toAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
}

void ProgramFolder::writeUsualIni(const QStringList& more) const
{
    writeIni(QStringList{QStringLiteral("[Application]"), QStringLiteral("Path=") + work(),
                         QStringLiteral("User=Tester"), QStringLiteral("DelInterval=-1")} +
             more);
}

void ProgramFolder::prepareTables(const QString& script) const
{
    const QString saved = DataDir;
    DataDir = work() + QStringLiteral("data");
    EXPECT_TRUE(PrepareLocalTables());
    DataDir = saved;
    if (!script.isEmpty())
        cli(script);
}

void ProgramFolder::start(const QStringList& environment)
{
    startCopy(process, environment);
}

void ProgramFolder::startCopy(QProcess& copy, const QStringList& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUORVANE_TEST_TICK_MS"), QStringLiteral("50"));
    // The program keeps settings in the user's configuration folder: the test's own.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ws.root() + QStringLiteral("config"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QString& entry : environment) {
        if (entry.contains(QLatin1Char('=')))
            env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        else
            env.remove(entry);
    }
    copy.setProcessEnvironment(env);
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.setWorkingDirectory(ws.root());
    copy.start(dir() + QStringLiteral("quorvane"), {});
    ASSERT_TRUE(copy.waitForStarted(10000)) << copy.errorString().toStdString();
}

bool ProgramFolder::waitFor(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired() && process.state() == QProcess::Running)
        process.waitForReadyRead(int(deadline.remainingTime()));
    return done();
}

bool ProgramFolder::waitForTicks(int n)
{
    const auto ticks = [this] { return output().count("QUORVANE tick "); };
    const qsizetype target = ticks() + n;
    return waitFor([&] { return ticks() >= target; });
}

const QByteArray& ProgramFolder::output()
{
    m_output += process.readAll();
    return m_output;
}
