// The real program, started offscreen from a temporary program folder, with two folder sources in
// its local tables: files dropped in the folders become documents with their data files and rows,
// a file another process still writes waits for it, a kept file is taken again only when its time
// changes, and nothing is registered twice while the program polls.
#include <app/upgrade.h>
#include <platform/codepage.h>
#include <platform/db/sqlitedriver.h>
#include <platform/support/globals.h>

#include "../platform/db_helpers.h"
#include "../platform/fileholder.h"
#include <support/qt_printers.h>
#include <support/workspace.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

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

void setModified(const QString& path, const QDateTime& when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

TEST(FolderSourceRun, DroppedFilesBecomeDocumentsOnceWhileTheProgramPolls)
{
    TestWorkspace ws;
    const QString prog = ws.path(u"prog/"_s);
    const QString work = ws.path(u"work/"_s);
    const QString in = ws.path(u"in"_s);
    const QString keep = ws.path(u"keep"_s);
    for (const QString& folder : {prog, work, in, keep})
        QDir().mkpath(folder);
    const QString built = QStringLiteral(QUORVANE_BINARY_DIR "/quorvane");
    ASSERT_TRUE(QFile::copy(built, prog + u"quorvane"_s)) << "build the program first";
    QFile::setPermissions(prog + u"quorvane"_s, QFile::permissions(built));
    writeFileBytes(prog + u"QUORVANE.INI"_s,
                   codepage::toAnsi(u"[Application]\r\nPath=%1\r\nUser=Tester\r\n"
                                    "DelInterval=-1\r\n"_s.arg(work)));
    const QString saved = DataDir;
    DataDir = work + u"data"_s;
    ASSERT_TRUE(PrepareLocalTables());
    DataDir = saved;
    const QString database = work + u"data/"_s + sqlitedb::DatabaseFileName;
    const auto cli = [&database](const QString& script) {
        return dbtest::sqliteCli(database, script);
    };
    // Source 1 clears its folder, source 2 leaves its files in place.
    cli(u"INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, NeedComment, "
        "Warning) VALUES (1, 1, 1, 'Lung', 'JAE', 0, 0, 0), (2, 1, 1, 'Export', 'TXT', 0, 0, 0);"
        "INSERT INTO \"fr.db\" VALUES (1, '%1', '*.*', 1, 0), (2, '%2', '*.txt', 0, 0);"_s.arg(
            in, keep));

    const QDateTime monday(QDate(2026, 11, 30), QTime(8, 15, 0));
    writeFileBytes(in + u"/a.pdf"_s, "A");
    writeFileBytes(in + u"/B.TXT"_s, "B");
    writeFileBytes(in + u"/open.txt"_s, "partial");
    writeFileBytes(keep + u"/k.txt"_s, "K1");
    writeFileBytes(keep + u"/skip.pdf"_s, "not matching");
    setModified(keep + u"/k.txt"_s, monday);
    FileHolder writer;
    ASSERT_TRUE(writer.start(in + u"/open.txt"_s, FileHolder::OpenForWriting));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.remove(u"DISPLAY"_s);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(ws.root());
    process.start(prog + u"quorvane"_s, {});
    ASSERT_TRUE(process.waitForStarted(10000));
    const auto kill = qScopeGuard([&process] {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    });

    const auto documents = [&cli] { return cli(u"SELECT count(*) FROM \"FILES.DB\";"_s).toInt(); };
    ASSERT_TRUE(waitFor([&] { return documents() == 3; }, 20000)) << documents();
    // Twenty ticks and more: nothing is registered twice, and the file still open for writing
    // waits for its writer.
    QThread::msleep(21000);
    EXPECT_EQ(documents(), 3);
    EXPECT_EQ(QDir(in).entryList(QDir::Files), QStringList{u"open.txt"_s});

    // The kept file saved anew is taken again; the written file, once closed, is taken.
    writeFileBytes(keep + u"/k.txt"_s, "K2");
    setModified(keep + u"/k.txt"_s, monday.addSecs(60));
    writer.release();
    ASSERT_TRUE(waitFor([&] { return documents() == 5; }, 20000)) << documents();
    QThread::msleep(3000);
    EXPECT_EQ(documents(), 5);
    EXPECT_EQ(QDir(in).entryList(QDir::Files), QStringList());
    EXPECT_EQ(readFileBytes(keep + u"/k.txt"_s), "K2");

    // Each row names its source and its file; each data file holds that file's bytes as it was
    // taken.
    const QStringList rows =
        cli(u"SELECT Number, Cfg, File_name, Type, Pages, NeedId FROM \"FILES.DB\" ORDER BY "
            "Number;"_s)
            .split(u'\n');
    QMap<QString, QByteArrayList> taken;
    for (const QString& row : rows) {
        const QStringList f = row.split(u'|');
        ASSERT_EQ(f.size(), 6) << row.toStdString();
        EXPECT_EQ(f.mid(3), (QStringList{u"0"_s, u"1"_s, u"0"_s}));
        const QString dataFile =
            work + u"buf/"_s + QString::number(f[0].toInt(), 16).toUpper() + u".1"_s;
        taken[f[1] + u":"_s + f[2]].append(readFileBytes(dataFile));
    }
    EXPECT_EQ(taken, (QMap<QString, QByteArrayList>{
                         {u"1:"_s + in + u"/a.pdf"_s, {"A"}},
                         {u"1:"_s + in + u"/B.TXT"_s, {"B"}},
                         {u"1:"_s + in + u"/open.txt"_s, {"partial"}},
                         {u"2:"_s + keep + u"/k.txt"_s, {"K1", "K2"}},
                     }));
    EXPECT_EQ(cli(u"SELECT Cfg, Name FROM \"FrFiles.db\" WHERE Cfg = 2;"_s),
              u"2|"_s + keep + u"/k.txt"_s);

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
}
