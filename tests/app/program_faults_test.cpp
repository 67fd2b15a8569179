// The real program in an unkind environment: every file ends up a document once, with its
// bytes, or waits where it was; the failures it cannot mend reach the user and the log.
#include "program_folder.h"

#include <platform/controlchars.h>
#include <support/ptypair.h>
#include <support/qt_printers.h>

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <limits>
#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// One folder source (1) that clears the folder `in` (or leaves its files there).
void prepare(ProgramFolder& folder, const QString& in, const QStringList& moreIni = {},
             bool clear = true)
{
    QDir().mkpath(in);
    folder.writeUsualIni(moreIni);
    folder.prepareTables(
        u"INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, NeedComment, "
        "Warning) VALUES (1, 1, 1, 'Drop', 'PDF', 0, 0, 0);"
        "INSERT INTO \"fr.db\" VALUES (1, '%1', '*.*', %2, 0);"_s.arg(in)
            .arg(clear ? 1 : 0));
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

// Waits for `changes` changes of the folder `watched`, or until done() holds; ms bound the wait.
void waitForChanges(const QString& watched, int changes, const std::function<bool()>& done, int ms)
{
    QFileSystemWatcher watcher({watched});
    QEventLoop loop;
    int seen = 0;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (++seen >= changes || done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
}

// Another program (the sqlite3 tool) holding the local database in a write transaction, from
// hold() until release(), end() or its own end.
class DatabaseHold
{
public:
    explicit DatabaseHold(ProgramFolder& folder)
    {
        m_tool.start(u"sqlite3"_s, {folder.database()});
    }
    ~DatabaseHold() { end(); }
    DatabaseHold(const DatabaseHold&) = delete;
    DatabaseHold& operator=(const DatabaseHold&) = delete;

    // True once the transaction is open.
    bool hold()
    {
        m_tool.write("BEGIN IMMEDIATE;\nSELECT 'held';\n");
        return m_tool.waitForReadyRead(10000);
    }
    // Ends the transaction; the tool stays.
    bool release()
    {
        m_tool.write("ROLLBACK;\n");
        return m_tool.waitForBytesWritten(10000);
    }
    // Ends the transaction and the tool.
    void end()
    {
        if (m_tool.state() == QProcess::NotRunning)
            return;
        m_tool.write("ROLLBACK;\n.quit\n");
        m_tool.waitForFinished(10000);
    }

private:
    QProcess m_tool;
};

// A folder `depth` levels below `root`, each level's name 250 bytes long: a file in it has a path
// far too long to be told in a file name of the documents' folder.
QString deepFolder(const QString& root, int depth)
{
    QString dir = root;
    for (int level = 0; level < depth; ++level)
        dir += u'/' + QString(250, QChar(u'a' + level));
    EXPECT_TRUE(QDir().mkpath(dir));
    return dir;
}

// The files of `buf` left on their way in, under a hand-over name.
QStringList handOverNames(const QString& buf)
{
    return QDir(buf).entryList({u".handover.*"_s}, QDir::Files | QDir::Hidden);
}

// Drops `bytes` at `file` while another program holds the database, and kills the program once
// the file has come into `buf` under its hand-over name: the program is then waiting for the
// lock to store the document's row.
void killWhileTheRowWaitsForALock(ProgramFolder& folder, DatabaseHold& holder, const QString& file,
                                  const QByteArray& bytes)
{
    const QString buf = folder.work() + u"buf"_s;
    ASSERT_TRUE(QDir().mkpath(buf));
    ASSERT_TRUE(holder.hold());
    writeFileBytes(file, bytes);
    waitForChanges(
        buf, std::numeric_limits<int>::max(), [&] { return !handOverNames(buf).isEmpty(); }, 20000);
    ASSERT_EQ(handOverNames(buf).size(), 1);
    kill9(folder);
}

} // namespace

TEST(ProgramFaults, KilledWhileAnotherProgramHoldsTheTableLosesNoFile)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    prepare(folder, in);
    folder.start();
    ASSERT_TRUE(folder.waitForTicks(2));
    DatabaseHold holder(folder);
    ASSERT_TRUE(holder.hold());
    writeFileBytes(in + u"/a.pdf"_s, "A");
    // The error window is open, and the polling goes on under it: the file is back in its
    // folder, or on its way in again under a hand-over name.
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }));
    kill9(folder);
    const QStringList onItsWay =
        QDir(folder.work() + u"buf"_s).entryList({u".handover.*"_s}, QDir::Files | QDir::Hidden);
    if (onItsWay.isEmpty())
        EXPECT_EQ(readFileBytes(in + u"/a.pdf"_s), "A");
    else
        EXPECT_EQ(readFileBytes(folder.work() + u"buf/"_s + onItsWay.value(0)), "A")
            << onItsWay.join(u' ').toStdString();
    holder.end();
    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; })) << documents(folder);
    EXPECT_EQ(readFileBytes(folder.work() + u"buf/1.1"_s), "A");
    EXPECT_EQ(QDir(folder.work() + u"buf"_s).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"1.1"_s});
}

// A file taken while another program holds the documents table, whose exporting program writes
// its next file under the same name before the busy wait ends: the first file cannot go back and
// waits in the documents' folder; it becomes a document before the second (here at the next
// start, the program being killed while the lock is held), and nothing is left in the folder.
TEST(ProgramFaults, AFileWhosePlaceANewerFileTookBecomesADocumentBeforeIt)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QString result = in + u"/result.txt"_s;
    const QString buf = folder.work() + u"buf/"_s;
    prepare(folder, in);
    folder.start();
    ASSERT_TRUE(folder.waitForTicks(2));
    DatabaseHold holder(folder);
    ASSERT_TRUE(holder.hold());
    writeFileBytes(result, "first");
    waitForChanges(
        in, 1, [&] { return !QFileInfo::exists(result); }, 20000);
    ASSERT_FALSE(QFileInfo::exists(result));
    writeFileBytes(result, "second");
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }));
    kill9(folder);
    holder.end();
    EXPECT_EQ(readFileBytes(result), "second");

    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 2; })) << documents(folder);
    EXPECT_EQ(readFileBytes(buf + u"1.1"_s), "first");
    EXPECT_EQ(readFileBytes(buf + u"2.1"_s), "second");
    EXPECT_EQ(folder.cli(u"SELECT group_concat(File_name, '|') FROM \"FILES.DB\";"_s),
              result + u"|"_s + result);
    EXPECT_EQ(QDir(buf).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({u"1.1"_s, u"2.1"_s}));
    kill9(folder);
}

// A file on its way in when the program is killed while another program holds the database,
// and a start while that program still holds it: the file cannot be registered at the start and
// waits, as does the newer file its exporting program wrote at the same path meanwhile; once the
// lock is gone both become documents, in the order they came, also after one more start under
// the lock. The folder's path may be as long as the system allows.
class HandOverMetByALock : public testing::TestWithParam<int>
{
};

TEST_P(HandOverMetByALock, WaitsAndBecomesADocumentOnceTheLockEnds)
{
    ProgramFolder folder;
    const QString in = deepFolder(folder.ws.path(u"in"_s), GetParam());
    const QString result = in + u"/result.txt"_s;
    const QString buf = folder.work() + u"buf/"_s;
    prepare(folder, in);
    folder.start();
    ASSERT_TRUE(folder.waitForTicks(2));
    DatabaseHold holder(folder);
    killWhileTheRowWaitsForALock(folder, holder, result, "first");
    writeFileBytes(result, "second");

    for (int start = 0; start < 2; ++start) {
        folder.start();
        // The start is over once the program ticks.
        ASSERT_TRUE(folder.waitForTicks(1));
        EXPECT_FALSE(QFileInfo::exists(folder.work() + u"recovered"_s));
        EXPECT_EQ(documents(folder), 0);
        if (start == 0)
            kill9(folder);
    }
    ASSERT_TRUE(holder.release());
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 2; }, 40000))
        << documents(folder) << operationsLog(folder).constData();
    EXPECT_EQ(readFileBytes(buf + u"1.1"_s), "first");
    EXPECT_EQ(readFileBytes(buf + u"2.1"_s), "second");
    EXPECT_EQ(folder.cli(u"SELECT group_concat(File_name, '|') FROM \"FILES.DB\";"_s),
              result + u"|"_s + result);
    EXPECT_EQ(QDir(buf).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({u"1.1"_s, u"2.1"_s}));
    EXPECT_FALSE(QFileInfo::exists(folder.work() + u"recovered"_s));
    kill9(folder);
}

// A folder path of 5 bytes after the test's folder, and one of some 3,800.
INSTANTIATE_TEST_SUITE_P(Paths, HandOverMetByALock, testing::Values(0, 15));

// A file whose path is too long for a file name (here near the system's limit of 4,096 bytes),
// on its way in when the program is killed while the database is held: the next start knows
// where it came from. A source that leaves its files in place takes it once (the copy cut short
// is dropped, the file being still there); one that clears its folder registers it under its
// own path.
class LongPathHandOverKilled : public testing::TestWithParam<bool>
{
};

TEST_P(LongPathHandOverKilled, IsRecoveredWithItsPathAndTakenOnce)
{
    const bool clear = GetParam();
    ProgramFolder folder;
    const QString in = deepFolder(folder.ws.path(u"in"_s), 15);
    const QString file = in + u"/"_s + QString(250, u'r') + u".pdf"_s;
    ASSERT_GT(file.size(), 4000);
    ASSERT_LT(file.toUtf8().size(), 4096);
    const QString buf = folder.work() + u"buf/"_s;
    prepare(folder, in, {}, clear);
    folder.start();
    ASSERT_TRUE(folder.waitForTicks(2));
    {
        DatabaseHold holder(folder);
        killWhileTheRowWaitsForALock(folder, holder, file, "A");
    }
    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }))
        << operationsLog(folder).constData();
    ASSERT_TRUE(folder.waitForTicks(5));
    EXPECT_EQ(documents(folder), 1);
    EXPECT_EQ(folder.cli(u"SELECT File_name FROM \"FILES.DB\";"_s), file);
    EXPECT_EQ(readFileBytes(buf + u"1.1"_s), "A");
    EXPECT_EQ(QDir(buf).entryList(QDir::Files | QDir::Hidden), QStringList{u"1.1"_s});
    EXPECT_EQ(QFileInfo::exists(file), !clear);
    if (!clear) {
        EXPECT_EQ(folder.cli(u"SELECT Name FROM \"FrFiles.db\";"_s), file);
    }
    kill9(folder);
}

INSTANTIATE_TEST_SUITE_P(Sources, LongPathHandOverKilled, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "ClearOn" : "ClearOff";
                         });

namespace {

// What may stand under the name of the record that keeps a long source path: the record damaged
// (missing, empty, cut short, another path's, longer than any path), or no record at all.
enum class AtRecord { Missing, Empty, CutShort, OtherPath, TooLong, Folder, Pipe, Link };

const char* const AtRecordNames[] = {"Missing", "Empty",  "CutShort", "OtherPath",
                                     "TooLong", "Folder", "Pipe",     "Link"};

// The key that stands for a long source path in hidden names: the first 32 hexadecimal digits of
// the path's SHA-256.
QByteArray keyOf(const QString& path)
{
    return QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
}

// Puts `what` under the name of the record of `path` in `buf`. The pipe has no writer, the folder
// holds a file, the link points to `outside`, which holds `linked`.
void placeAtRecord(AtRecord what, const QString& buf, const QString& path, const QString& outside,
                   const QByteArray& linked)
{
    const QString record = buf + u".record."_s + QString::fromLatin1(keyOf(path));
    const QByteArray bytes = path.toUtf8();
    switch (what) {
    case AtRecord::Missing:
        break;
    case AtRecord::Empty:
        writeFileBytes(record, {});
        break;
    case AtRecord::CutShort:
        writeFileBytes(record, bytes.chopped(1));
        break;
    case AtRecord::OtherPath:
        writeFileBytes(record, bytes + 'x');
        break;
    case AtRecord::TooLong:
        writeFileBytes(record, bytes + QByteArray(4096, '/'));
        break;
    case AtRecord::Folder:
        ASSERT_TRUE(QDir().mkpath(record));
        writeFileBytes(record + u"/inside"_s, bytes);
        break;
    case AtRecord::Pipe:
        ASSERT_EQ(::mkfifo(QFile::encodeName(record).constData(), 0600), 0);
        break;
    case AtRecord::Link:
        writeFileBytes(outside, linked);
        ASSERT_TRUE(QFile::link(outside, record));
        break;
    }
}

// Every entry of `buf`, hidden ones, folders, pipes and links included.
QStringList everythingIn(const QString& buf)
{
    return QDir(buf).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

std::string atRecordName(const testing::TestParamInfo<AtRecord>& info)
{
    return AtRecordNames[int(info.param)];
}

// SIGTERM ends the program as a confirmed quit does.
void expectEndsOnSigterm(ProgramFolder& folder)
{
    folder.process.terminate();
    EXPECT_TRUE(folder.process.waitForFinished(20000));
    EXPECT_EQ(folder.process.exitCode(), 0);
}

class DamagedRecordAtTheStart : public testing::TestWithParam<AtRecord>
{
};

} // namespace

// Two files of a source that leaves its files in place, their paths too long for a file name,
// were on their way in when the program was killed, before their rows were stored; the record of
// each path is damaged, or no record at all. The file still in its folder is taken once; the
// other, gone from its folder since, becomes a document all the same. Nothing is left under the
// records' names, the start does not wait on a pipe, and a link's target is left as it was.
TEST_P(DamagedRecordAtTheStart, NoFileIsTakenTwiceAndNoneIsLost)
{
    ProgramFolder folder;
    const QString in = deepFolder(folder.ws.path(u"in"_s), 15);
    const QString there = in + u"/"_s + QString(250, u'a') + u".pdf"_s;
    const QString gone = in + u"/"_s + QString(250, u'b') + u".pdf"_s;
    const QString buf = folder.work() + u"buf/"_s;
    prepare(folder, in, {}, false);
    writeFileBytes(there, "A");
    ASSERT_TRUE(QDir().mkpath(buf));
    // "PDF" is 504446 in hex; the file whose source is gone was on its way first.
    writeFileBytes(buf + u".handover.1.0.1.1.504446.#"_s + QString::fromLatin1(keyOf(gone)), "B");
    writeFileBytes(buf + u".handover.1.0.2.1.504446.#"_s + QString::fromLatin1(keyOf(there)), "A");
    const QString outside = folder.ws.path(u"elsewhere"_s);
    placeAtRecord(GetParam(), buf, there, outside + u"A"_s, there.toUtf8());
    placeAtRecord(GetParam(), buf, gone, outside + u"B"_s, gone.toUtf8());

    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 2; }))
        << operationsLog(folder).constData();
    ASSERT_TRUE(folder.waitForTicks(5));
    EXPECT_EQ(documents(folder), 2) << operationsLog(folder).constData();
    EXPECT_EQ(readFileBytes(buf + u"1.1"_s), "B");
    EXPECT_EQ(readFileBytes(buf + u"2.1"_s), "A");
    EXPECT_EQ(folder.cli(u"SELECT File_name FROM \"FILES.DB\" WHERE Number = 2;"_s), there);
    EXPECT_EQ(folder.cli(u"SELECT Name FROM \"FrFiles.db\";"_s), there);
    EXPECT_EQ(everythingIn(buf), QStringList({u"1.1"_s, u"2.1"_s}));
    EXPECT_FALSE(QFileInfo::exists(folder.work() + u"recovered"_s));
    if (GetParam() == AtRecord::Link) {
        EXPECT_EQ(readFileBytes(outside + u"A"_s), there.toUtf8());
        EXPECT_EQ(readFileBytes(outside + u"B"_s), gone.toUtf8());
    }
    expectEndsOnSigterm(folder);
}

INSTANTIATE_TEST_SUITE_P(Records, DamagedRecordAtTheStart,
                         testing::Values(AtRecord::Missing, AtRecord::Empty, AtRecord::CutShort,
                                         AtRecord::OtherPath, AtRecord::TooLong, AtRecord::Folder,
                                         AtRecord::Pipe, AtRecord::Link),
                         atRecordName);

namespace {

class NoRecordAtItsName : public testing::TestWithParam<AtRecord>
{
};

} // namespace

// A pipe, a folder or a link stands under the name of the record a file with a long path needs,
// while the program runs. The file becomes a document all the same, the name is cleared, what
// the link points to is left as it was, and SIGTERM still ends the program.
TEST_P(NoRecordAtItsName, IsClearedAndTheFileTaken)
{
    ProgramFolder folder;
    const QString in = deepFolder(folder.ws.path(u"in"_s), 15);
    const QString file = in + u"/"_s + QString(250, u'r') + u".pdf"_s;
    const QString buf = folder.work() + u"buf/"_s;
    const QString outside = folder.ws.path(u"elsewhere"_s);
    prepare(folder, in);
    ASSERT_TRUE(QDir().mkpath(buf));
    folder.start();
    ASSERT_TRUE(folder.waitForTicks(2));
    placeAtRecord(GetParam(), buf, file, outside, "someone's file");
    writeFileBytes(file, "A");

    EXPECT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }))
        << operationsLog(folder).constData();
    EXPECT_EQ(folder.cli(u"SELECT File_name FROM \"FILES.DB\";"_s), file);
    EXPECT_EQ(readFileBytes(buf + u"1.1"_s), "A");
    EXPECT_EQ(everythingIn(buf), QStringList{u"1.1"_s});
    if (GetParam() == AtRecord::Link) {
        EXPECT_EQ(readFileBytes(outside), "someone's file");
    }
    expectEndsOnSigterm(folder);
}

INSTANTIATE_TEST_SUITE_P(Records, NoRecordAtItsName,
                         testing::Values(AtRecord::Folder, AtRecord::Pipe, AtRecord::Link),
                         atRecordName);

// A screen capture written to the documents' folder just before a kill, its hand-over not begun:
// the next start makes it a document of the first screen source, without a file name, as the
// capture would have been. Without a screen source it cannot be placed and is kept in the
// recovery folder.
TEST(ProgramFaults, AScreenCaptureWrittenBeforeAKillBecomesADocumentAtTheNextStart)
{
    for (const bool screenSource : {true, false}) {
        SCOPED_TRACE(screenSource ? "screen source" : "none");
        ProgramFolder folder;
        const QString buf = folder.work() + u"buf/"_s;
        const QString in = folder.ws.path(u"in"_s);
        prepare(folder, in);
        if (screenSource)
            folder.cli(u"INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                       "NeedComment, Warning) VALUES (4, 5, 1, 'Ecran', 'BMP', 0, 0, 0), "
                       "(7, 5, 1, 'Ecran 2', 'BMP', 0, 0, 0);"_s);
        const QByteArray picture = "BM" + QByteArray(4000, '\x5a');
        writeFileBytes(buf + u".capture-4242.bmp"_s, picture);

        folder.start();
        ASSERT_TRUE(folder.waitForTicks(3)) << folder.output().constData();
        if (screenSource) {
            EXPECT_EQ(folder.cli(u"SELECT group_concat(Number || ':' || Cfg || ':' || "
                                 "ifnull(File_name, '')) FROM \"FILES.DB\";"_s),
                      u"1:4:"_s);
            EXPECT_EQ(readFileBytes(buf + u"1.5"_s), picture);
            EXPECT_EQ(everythingIn(buf), QStringList{u"1.5"_s});
            EXPECT_FALSE(QFileInfo::exists(folder.work() + u"recovered"_s));
        } else {
            EXPECT_EQ(documents(folder), 0);
            EXPECT_EQ(readFileBytes(folder.work() + u"recovered/capture-4242.bmp"_s), picture);
            EXPECT_EQ(everythingIn(buf), QStringList());
        }
        kill9(folder);
    }
}

// A source that leaves its files in place, killed after a document's row was stored and before
// its file took its final name (the state the kill leaves is made here): the next start completes
// the document, and the source remembers the file as taken instead of taking it again.
TEST(ProgramFaults, AHandOverCompletedAtTheStartIsNotTakenAgainFromAFolderLeftInPlace)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QString file = in + u"/a.pdf"_s;
    const QString buf = folder.work() + u"buf/"_s;
    prepare(folder, in, {}, false);
    writeFileBytes(file, "A");
    QDir().mkpath(buf);
    // The copy keeps the file's time, as the hand-over's copy does; "PDF" is 504446 in hex.
    const QString left =
        buf + u".handover.1.0.1.1.504446."_s + QString(file).replace(u'/', u"%2F"_s);
    writeFileBytes(left, "A");
    QFile copy(left);
    ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        copy.setFileTime(QFileInfo(file).lastModified(), QFileDevice::FileModificationTime));
    copy.close();
    folder.cli(u"INSERT INTO \"FILES.DB\" (Number, Pack, Cfg, File_name, Type, Pages, NeedId) "
               "VALUES (1, 0, 1, '%1', 0, 1, 0);"_s.arg(file));

    folder.start();
    ASSERT_TRUE(folder.waitFor([&] {
        return operationsLog(folder).contains(
            "Document 1 completed after an interrupted hand-over");
    }));
    ASSERT_TRUE(folder.waitForTicks(5));
    EXPECT_EQ(documents(folder), 1);
    EXPECT_EQ(readFileBytes(buf + u"1.1"_s), "A");
    EXPECT_EQ(QDir(buf).entryList(QDir::Files | QDir::Hidden), QStringList{u"1.1"_s});
    kill9(folder);
}

// Another program holds the database past the busy wait: the box tells it once, and the polling
// goes on under it. A second source meeting the same lock opens no second box; once the lock is
// gone, the waiting files are taken without anybody answering the box.
TEST(ProgramFaults, ALockedDatabaseIsToldOnceAndTheFilesAreTakenOnceItEndsWithoutAClick)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QString in2 = folder.ws.path(u"in2"_s);
    QDir().mkpath(in2);
    prepare(folder, in);
    folder.cli(u"INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
               "NeedComment, Warning) VALUES (2, 1, 1, 'Drop 2', 'PDF', 0, 0, 0);"
               "INSERT INTO \"fr.db\" VALUES (2, '%1', '*.*', 1, 0);"_s.arg(in2));
    folder.start();
    ASSERT_TRUE(folder.waitForTicks(2));
    DatabaseHold holder(folder);
    ASSERT_TRUE(holder.hold());
    writeFileBytes(in + u"/a.pdf"_s, "A");
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }, 30000));
    writeFileBytes(in2 + u"/b.pdf"_s, "B");
    const QByteArray bRefused = (in2 + u"/b.pdf not registered"_s).toUtf8();
    ASSERT_TRUE(folder.waitFor([&] { return operationsLog(folder).contains(bRefused); }, 40000))
        << "the polling stopped behind the box" << folder.output().constData()
        << operationsLog(folder).constData();
    EXPECT_EQ(folder.output().count("question open"), 1);

    ASSERT_TRUE(holder.release());
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 2; }, 40000)) << documents(folder);
    EXPECT_EQ(folder.output().count("question open"), 1) << folder.output().constData();
    EXPECT_EQ(folder.cli(u"SELECT group_concat(Cfg) FROM (SELECT Cfg FROM \"FILES.DB\" "
                         "ORDER BY Cfg);"_s),
              u"1,2"_s);
    EXPECT_TRUE(QDir(in).isEmpty());
    EXPECT_TRUE(QDir(in2).isEmpty());
    kill9(folder);
}

namespace {

// Drops `files` files into `in` (named f<i>.pdf, holding "content of <i>") while the running
// program is killed `kills` times, each kill after a random number of changes in `buf` or once
// `settled(i)` holds for the file just dropped. Returns the random seed, for the failure messages.
quint32 dropThroughKills(ProgramFolder& folder, const QString& in, const QString& buf, int files,
                         int kills, const std::function<bool(int)>& settled)
{
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE(seed);
    QList<int> killAfter;
    while (killAfter.size() < kills) {
        const int at = int(random.bounded(files));
        if (!killAfter.contains(at))
            killAfter.append(at);
    }
    folder.start();
    for (int i = 0; i < files; ++i) {
        writeFileBytes(in + u"/f%1.pdf"_s.arg(i), "content of " + QByteArray::number(i));
        if (!killAfter.contains(i))
            continue;
        waitForChanges(
            buf, 1 + int(random.bounded(40)), [&] { return settled(i); }, 20000);
        kill9(folder);
        folder.start();
    }
    return seed;
}

// Every file dropped by dropThroughKills is one document (as many rows as files, each name
// once), whose data file holds its bytes; `buf` holds nothing else, hidden or not.
void expectEachFileOnce(ProgramFolder& folder, const QString& buf, int files)
{
    EXPECT_EQ(folder.cli(u"SELECT count(*) || ' ' || count(DISTINCT File_name) FROM "
                         "\"FILES.DB\";"_s),
              u"%1 %1"_s.arg(files));
    for (const QString& row :
         folder.cli(u"SELECT Number, File_name FROM \"FILES.DB\";"_s).split(u'\n'))
        EXPECT_EQ(
            readFileBytes(buf + u"/%1.1"_s.arg(row.section(u'|', 0, 0).toInt(), 0, 16).toUpper()),
            "content of " + QFileInfo(row.section(u'|', 1)).baseName().mid(1).toUtf8());
    EXPECT_EQ(QDir(buf).entryList(QDir::Files | QDir::Hidden).size(), files);
}
} // namespace

// 500 files dropped while the program is killed 20 times, at random points of the drop and of
// its taking (a random number of steps of the taking later, or once nothing is left to take);
// each restart finishes what the last one left.
TEST(ProgramFaults, FiveHundredFilesDroppedThroughTwentyKillsAreEachRegisteredOnce)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QString buf = folder.work() + u"buf"_s;
    prepare(folder, in);
    QDir().mkpath(buf);
    SCOPED_TRACE(
        dropThroughKills(folder, in, buf, 500, 20, [&](int) { return QDir(in).isEmpty(); }));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) >= 500 && QDir(in).isEmpty(); }))
        << documents(folder);
    ASSERT_TRUE(folder.waitForTicks(2));
    expectEachFileOnce(folder, buf, 500);
    EXPECT_FALSE(QFileInfo::exists(folder.work() + u"recovered"_s));
}

// The same with a source that leaves its files in place, 300 files and 60 kills: every file is
// taken once, also when a kill falls between a document's row and its file's final name.
TEST(ProgramFaults, ThreeHundredFilesLeftInPlaceThroughSixtyKillsAreEachTakenOnce)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QString buf = folder.work() + u"buf"_s;
    prepare(folder, in, {}, false);
    QDir().mkpath(buf);
    SCOPED_TRACE(
        dropThroughKills(folder, in, buf, 300, 60, [&](int i) { return documents(folder) > i; }));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) >= 300; })) << documents(folder);
    ASSERT_TRUE(folder.waitForTicks(5));
    expectEachFileOnce(folder, buf, 300);
    EXPECT_EQ(folder.cli(u"SELECT count(*) FROM \"FrFiles.db\";"_s), u"300"_s);
}

// The database truncated, its first 128 KB overwritten, renamed aside or deleted under the
// running program: the next file stays in its folder. The next start refuses a damaged file and
// names it, on standard error and in the log; where the file is gone, it makes a new one.
TEST(ProgramFaults, ADatabaseDamagedOrMovedUnderTheProgramStopsTheTaking)
{
    enum Harm { Truncated, Overwritten, Renamed, Deleted };
    for (const Harm harm : {Truncated, Overwritten, Renamed, Deleted}) {
        SCOPED_TRACE(harm);
        ProgramFolder folder;
        const QString in = folder.ws.path(u"in"_s);
        prepare(folder, in);
        folder.start();
        writeFileBytes(in + u"/a.pdf"_s, "A");
        ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }));
        QFile db(folder.database());
        switch (harm) {
        case Truncated:
        case Overwritten:
            ASSERT_TRUE(db.open(QIODevice::ReadWrite));
            ASSERT_TRUE(harm == Truncated ? db.resize(4096)
                                          : db.write(QByteArray(128 * 1024, '\x5A')) > 0);
            db.close();
            break;
        case Renamed:
            ASSERT_TRUE(db.rename(folder.database() + u".aside"_s));
            break;
        case Deleted:
            ASSERT_TRUE(db.remove());
            break;
        }
        writeFileBytes(in + u"/b.pdf"_s, "B");
        ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }));
        kill9(folder);
        EXPECT_EQ(readFileBytes(in + u"/b.pdf"_s), "B");
        EXPECT_TRUE(operationsLog(folder).contains("database is damaged"));
        if (harm == Renamed || harm == Deleted)
            continue;

        folder.start();
        const QByteArray name = folder.database().toUtf8();
        const auto refused = [&name](const QByteArray& text) {
            return text.contains("INIT Failure: ") && text.contains(name);
        };
        EXPECT_TRUE(folder.waitFor([&] { return refused(folder.output()); }))
            << folder.output().constData();
        EXPECT_TRUE(folder.waitFor([&] { return refused(operationsLog(folder)); }))
            << operationsLog(folder).constData();
        EXPECT_EQ(readFileBytes(in + u"/b.pdf"_s), "B");
    }
}

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

// The documents' folder on a full file system: the file waits, reported once, and is taken once
// there is room, without a restart.
TEST(ProgramFaults, AFileRefusedByAFullDiskIsTakenWhenRoomReturns)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QByteArray buf = QFile::encodeName(folder.work() + u"buf"_s);
    prepare(folder, in);
    QDir().mkpath(buf);
    if (::mount("tmpfs", buf.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(errno);
    const auto unmount = qScopeGuard([&] { ::umount2(buf.constData(), MNT_DETACH); });
    folder.start();
    writeFileBytes(in + u"/big.pdf"_s, QByteArray(128 * 1024, 'b'));
    ASSERT_TRUE(folder.waitFor([&] { return operationsLog(folder).contains("not registered"); }));
    ASSERT_TRUE(folder.waitForTicks(5));
    EXPECT_TRUE(QFileInfo::exists(in + u"/big.pdf"_s));
    ASSERT_EQ(::mount("tmpfs", buf.constData(), "tmpfs", MS_REMOUNT, "size=1m"), 0);
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }));
    EXPECT_EQ(readFileBytes(buf + "/1.1"), QByteArray(128 * 1024, 'b'));
    EXPECT_EQ(operationsLog(folder).count("not registered"), 1);
    kill9(folder);
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

namespace {

// One serial source (1) capturing raw data on a port, a document at each ETX; its device is a
// link that socat makes, paired with the analyser's end, while the line is up.
struct SerialCapture
{
    SerialCapture(ProgramFolder& folder, int port)
        : folder(folder), port(port), device(folder.ws.path(u"ttyCOM%1"_s.arg(port))),
          analyser(folder.ws.path(u"ttyAnalyser"_s))
    {
        folder.prepareTables(
            u"INSERT INTO \"cfg.db\" VALUES (1, 4, 1, 'Analyser', 'XYZ', 0, 0, 0, "
            "NULL);"
            "INSERT INTO \"com.DB\" VALUES (1, %1, 0, 2, 3, -1, 6, 8, 0, 0, 0);"_s.arg(port));
        folder.writeUsualIni({u"[Options.COM%1]"_s.arg(port), u"Device="_s + device});
    }
    ~SerialCapture() { lineDown(); }

    bool lineUp()
    {
        socat.start(u"socat"_s,
                    {u"pty,raw,echo=0,link="_s + device, u"pty,raw,echo=0,link="_s + analyser});
        return pumpEventsUntil([&] { return QFileInfo::exists(analyser); }, 10000);
    }
    bool lineDown()
    {
        socat.terminate();
        return socat.waitForFinished(10000);
    }
    bool send(const QByteArray& bytes) const
    {
        QFile far(analyser);
        return far.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && far.write(bytes) > 0;
    }
    // How often the operations log says `text` of this port (its label "COMn (device)" first).
    qsizetype logged(const QByteArray& text) const
    {
        return operationsLog(folder).count(u"COM%1 (%2) "_s.arg(port).arg(device).toUtf8() + text);
    }
    QByteArray captured(int number) const
    {
        return readFileBytes(folder.work() + u"buf/%1.4"_s.arg(number));
    }

    ProgramFolder& folder;
    const int port;
    const QString device;
    const QString analyser;
    QProcess socat;
};

} // namespace

// A serial line whose far end goes away (socat stopped) and comes back under the same name:
// the hang-up is logged once, the port opened again, and captures arrive before and after.
TEST(ProgramFaults, ASerialLineThatHangsUpIsOpenedAgainWhenItComesBack)
{
    ProgramFolder folder;
    SerialCapture line(folder, 1);
    ASSERT_TRUE(line.lineUp());
    folder.start();
    // The ports are set up before the first tick.
    ASSERT_TRUE(folder.waitForTicks(1));
    ASSERT_TRUE(line.send("BEFORE" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }));
    EXPECT_EQ(line.captured(1), "BEFORE");

    ASSERT_TRUE(line.lineDown());
    ASSERT_TRUE(folder.waitFor([&] { return line.logged("hung up") == 1; }));
    ASSERT_TRUE(line.lineUp());
    ASSERT_TRUE(folder.waitFor([&] { return line.logged("is open again") == 1; }));
    ASSERT_TRUE(line.send("AFTER" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 2; }));
    EXPECT_EQ(line.captured(2), "AFTER");
    EXPECT_EQ(line.logged("hung up"), 1);
    kill9(folder);
}

// A serial source whose device is not there when the program starts: the failure is logged once
// with the port and the reason (in the log and on standard error), the source keeps its state,
// and the port opens when the device appears, capturing as usual.
TEST(ProgramFaults, ASerialPortThatCannotBeOpenedIsToldOnceAndOpenedWhenItAppears)
{
    ProgramFolder folder;
    SerialCapture line(folder, 2);
    const QByteArray told = "cannot be opened: no such serial device";
    folder.start();
    ASSERT_TRUE(folder.waitFor([&] { return line.logged(told) == 1; }));
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains(told); }));
    // Several attempts later, still one line; the source is still active.
    ASSERT_TRUE(folder.waitForTicks(60));
    EXPECT_EQ(operationsLog(folder).count("cannot be opened"), 1);
    EXPECT_EQ(folder.cli(u"SELECT State FROM \"cfg.db\";"_s), u"1"_s);

    ASSERT_TRUE(line.lineUp());
    ASSERT_TRUE(folder.waitFor([&] { return line.logged("is open now") == 1; }));
    ASSERT_TRUE(line.send("RESULT" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }));
    EXPECT_EQ(line.captured(1), "RESULT");
    kill9(folder);
}

// Another program holds the database while an analyser delivers: the refused result is kept
// aside and the box tells it once, opening after the port's handler, so the port goes on
// reading under it. A second result meets the same lock (kept, no second box); once the lock is
// gone, the next result becomes a document without anybody answering the box.
TEST(ProgramFaults, AResultRefusedByALockedDatabaseIsToldOnceAndThePortGoesOnReading)
{
    ProgramFolder folder;
    SerialCapture line(folder, 3);
    ASSERT_TRUE(line.lineUp());
    folder.start();
    ASSERT_TRUE(folder.waitForTicks(1));
    DatabaseHold holder(folder);
    ASSERT_TRUE(holder.hold());

    const QByteArray kept = "was not stored as a document";
    ASSERT_TRUE(line.send("FIRST" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open"); }, 30000))
        << operationsLog(folder).constData();
    ASSERT_TRUE(line.send("SECOND" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return operationsLog(folder).count(kept) == 2; }, 40000))
        << "the port stopped reading behind the box" << folder.output().constData()
        << operationsLog(folder).constData();
    EXPECT_EQ(folder.output().count("question open"), 1);

    ASSERT_TRUE(holder.release());
    ASSERT_TRUE(line.send("THIRD" + QByteArray(1, ETX)));
    ASSERT_TRUE(folder.waitFor([&] { return documents(folder) == 1; }, 40000))
        << operationsLog(folder).constData();
    EXPECT_EQ(line.captured(1), "THIRD");
    EXPECT_EQ(folder.output().count("question open"), 1) << folder.output().constData();
    // The refused results are kept, each under a name of its own beside the capture buffer.
    QList<QByteArray> aside;
    const QDir captures(folder.work() + u"com_buf"_s);
    for (const QString& name : captures.entryList({u"comport3-*.buf"_s}, QDir::Files))
        aside << readFileBytes(captures.filePath(name));
    std::sort(aside.begin(), aside.end());
    EXPECT_EQ(aside, (QList<QByteArray>{"FIRST", "SECOND"}));
    kill9(folder);
}
