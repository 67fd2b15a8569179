// Helpers of the database tests: a temporary folder with a local database, and the
// sqlite3 command-line tool to look at the files independently of the engine.
#pragma once

#include <platform/db/database.h>

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace dbtest {

// Runs one script with /usr/bin/sqlite3 on a database file (the rows come back as "a|b" lines)
// and returns its output without the final line end. Errors fail the calling test.
inline QString sqliteCli(const QString& file, const QString& script)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/sqlite3"), {QStringLiteral("-batch"), file});
    if (!p.waitForStarted(10000)) {
        ADD_FAILURE() << "sqlite3 did not start";
        return {};
    }
    p.write(script.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        ADD_FAILURE() << "sqlite3 did not finish";
        return {};
    }
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (out.endsWith(QLatin1Char('\n')))
        out.chop(1);
    return out;
}

// A local database (the workstation's kind: WAL) in a temporary folder.
struct LocalDb
{
    QTemporaryDir dir;
    Database db;
    QString path;

    LocalDb()
    {
        db.setLocalFolder(dir.path());
        db.open();
        path = db.databaseFile();
    }
    QString file() const { return path; }
    QString cli(const QString& script) const { return sqliteCli(file(), script); }
};

// The engine code of the error a call raises, 0 when it raises none.
template <typename F> int engineCodeOf(F&& call)
{
    try {
        call();
    } catch (const EngineError& e) {
        return e.errorCode();
    }
    return 0;
}

} // namespace dbtest
