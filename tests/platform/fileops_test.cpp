// The file operations seam: whole-file replacement, appends, renames, moves within and across file
// systems, copies, and the planned failures that must leave every file as it was.
#include <platform/fileops.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(data), data.size());
}

// Every entry of a folder, hidden ones too: temporary files must not stay behind.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

struct timespec modified(const QString& path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mtim;
}

void setModified(const QString& path, time_t seconds, long nanoseconds)
{
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

dev_t deviceOf(const QString& path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_dev;
}

class FileOps : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { fileops::resetFaults(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(FileOps, WriteFileReplacesTheWholeFileAndLeavesNoTemporary)
{
    const QString target = path(QStringLiteral("settings.ini"));
    QString error;
    ASSERT_TRUE(fileops::writeFile(target, "first version, rather long\n", &error))
        << qPrintable(error);
    ::chmod(QFile::encodeName(target).constData(), 0640);

    ASSERT_TRUE(fileops::writeFile(target, "second\n", &error)) << qPrintable(error);
    EXPECT_EQ(readAll(target), QByteArray("second\n"));
    EXPECT_EQ(entries(m_dir.path()), QStringList{QStringLiteral("settings.ini")});
    struct stat st = {};
    ::stat(QFile::encodeName(target).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file's permissions are kept";

    // A failing write keeps the old file whole and cleans up after itself.
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_FALSE(fileops::writeFile(target, "third\n", &error));
    EXPECT_TRUE(error.contains(target)) << qPrintable(error);
    EXPECT_TRUE(error.contains(QStringLiteral("the disk is full"))) << qPrintable(error);
    EXPECT_EQ(readAll(target), QByteArray("second\n"));

    // A folder that does not exist.
    EXPECT_FALSE(fileops::writeFile(path(QStringLiteral("none/a.ini")), "x", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("does not exist"))) << qPrintable(error);
}

TEST_F(FileOps, WriteFileThroughALinkReplacesWhatItPointsTo)
{
    const QString real = path(QStringLiteral("real.ini"));
    const QString link = path(QStringLiteral("link.ini"));
    put(real, "old");
    ASSERT_TRUE(QFile::link(real, link));

    QString error;
    ASSERT_TRUE(fileops::writeFile(link, "new", &error)) << qPrintable(error);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(real), QByteArray("new"));
}

TEST_F(FileOps, AppendCreatesThenAddsAndAFailureChangesNothing)
{
    const QString log = path(QStringLiteral("QUORVANE.LOG"));
    QString error;
    ASSERT_TRUE(fileops::appendFile(log, "one\n", &error)) << qPrintable(error);
    ASSERT_TRUE(fileops::appendFile(log, "two\n", &error)) << qPrintable(error);
    EXPECT_EQ(readAll(log), QByteArray("one\ntwo\n"));

    fileops::failNth(fileops::Op::Append, 1);
    EXPECT_FALSE(fileops::appendFile(log, "three\n", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(log), QByteArray("one\ntwo\n"));

    EXPECT_FALSE(fileops::appendFile(path(QStringLiteral("none/x.log")), "x", &error));
}

TEST_F(FileOps, AFailedRenameKeepsBothFiles)
{
    const QString from = path(QStringLiteral("a.pdf"));
    const QString to = path(QStringLiteral("b.pdf"));
    put(from, "new document");
    put(to, "old document");

    QString error;
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_FALSE(fileops::rename(from, to, &error));
    EXPECT_EQ(readAll(from), QByteArray("new document"));
    EXPECT_EQ(readAll(to), QByteArray("old document"));

    // A source that does not exist must not cost the target.
    EXPECT_FALSE(fileops::rename(path(QStringLiteral("missing.pdf")), to, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("does not exist"))) << qPrintable(error);
    EXPECT_EQ(readAll(to), QByteArray("old document"));

    ASSERT_TRUE(fileops::rename(from, to, &error)) << qPrintable(error);
    EXPECT_FALSE(QFileInfo::exists(from));
    EXPECT_EQ(readAll(to), QByteArray("new document"));
}

TEST_F(FileOps, AMoveThatFailsLeavesTheSourceInPlace)
{
    const QString from = path(QStringLiteral("scan.pdf"));
    const QString to = path(QStringLiteral("documents/0001.pdf"));
    ASSERT_TRUE(QDir().mkdir(path(QStringLiteral("documents"))));
    put(from, "scan");

    QString error;
    fileops::failNth(fileops::Op::Move, 1, EACCES);
    EXPECT_FALSE(fileops::move(from, to, &error));
    EXPECT_TRUE(error.contains(from) && error.contains(to)) << qPrintable(error);
    EXPECT_TRUE(error.contains(QStringLiteral("access is denied"))) << qPrintable(error);
    EXPECT_EQ(readAll(from), QByteArray("scan"));
    EXPECT_FALSE(QFileInfo::exists(to));

    ASSERT_TRUE(fileops::move(from, to, &error)) << qPrintable(error);
    EXPECT_FALSE(QFileInfo::exists(from));
    EXPECT_EQ(readAll(to), QByteArray("scan"));
}

TEST_F(FileOps, AMoveAcrossFileSystemsKeepsTheTimeAndLeavesNothingBehind)
{
    QTemporaryDir other(QStringLiteral("/dev/shm/qv-fileops-XXXXXX"));
    if (!other.isValid() || deviceOf(other.path()) == deviceOf(m_dir.path()))
        GTEST_SKIP() << "needs /dev/shm on another file system than the temporary folder";

    const QString from = other.filePath(QStringLiteral("result.hl7"));
    const QString to = path(QStringLiteral("result.hl7"));
    const QByteArray content(300 * 1024, 'r'); // more than one buffer's worth
    put(from, content);
    setModified(from, 981173106, 500000000); // 2001-02-03 04:05:06.5 UTC

    QString error;
    ASSERT_TRUE(fileops::move(from, to, &error)) << qPrintable(error);
    EXPECT_FALSE(QFileInfo::exists(from));
    EXPECT_EQ(readAll(to), content);
    EXPECT_EQ(modified(to).tv_sec, 981173106);
    EXPECT_EQ(modified(to).tv_nsec, 500000000);
    EXPECT_EQ(entries(m_dir.path()), QStringList{QStringLiteral("result.hl7")});

    // Replacing an existing file there.
    put(from, "second");
    ASSERT_TRUE(fileops::move(from, to, &error)) << qPrintable(error);
    EXPECT_EQ(readAll(to), QByteArray("second"));

    // The copy is made, but the final name is taken by a folder: the source stays, and the
    // copy does not.
    put(from, "third");
    const QString folder = path(QStringLiteral("taken"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_FALSE(fileops::move(from, folder, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(from), QByteArray("third"));
    EXPECT_EQ(entries(m_dir.path()),
              (QStringList{QStringLiteral("result.hl7"), QStringLiteral("taken")}));
    EXPECT_TRUE(entries(folder).isEmpty());

    // A target folder that does not exist.
    EXPECT_FALSE(fileops::move(from, path(QStringLiteral("none/x")), &error));
    EXPECT_EQ(readAll(from), QByteArray("third"));
}

TEST_F(FileOps, CopyKeepsTheSourceAndTheTime)
{
    const QString from = path(QStringLiteral("a.txt"));
    const QString to = path(QStringLiteral("b.txt"));
    put(from, "content");
    put(to, "older");
    setModified(from, 1000000000, 0);

    QString error;
    fileops::failNth(fileops::Op::Copy, 1);
    EXPECT_FALSE(fileops::copy(from, to, &error));
    EXPECT_EQ(readAll(to), QByteArray("older"));

    ASSERT_TRUE(fileops::copy(from, to, &error)) << qPrintable(error);
    EXPECT_EQ(readAll(from), QByteArray("content"));
    EXPECT_EQ(readAll(to), QByteArray("content"));
    EXPECT_EQ(modified(to).tv_sec, 1000000000);

    EXPECT_FALSE(fileops::copy(path(QStringLiteral("missing")), to, &error));
    EXPECT_EQ(readAll(to), QByteArray("content"));
    EXPECT_EQ(entries(m_dir.path()),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
}

TEST_F(FileOps, PlannedFailuresHitExactlyTheCallsNamed)
{
    // The second and the fourth of the next removals fail; the others go through.
    fileops::failNth(fileops::Op::Remove, 2);
    fileops::failNth(fileops::Op::Remove, 4);
    // Planned failures of one kind do not touch calls of another.
    fileops::failNth(fileops::Op::Write, 1);

    std::vector<bool> results;
    for (int i = 1; i <= 5; ++i) {
        const QString file = path(QStringLiteral("f%1").arg(i));
        put(file, "x");
        results.push_back(fileops::remove(file));
        EXPECT_EQ(QFileInfo::exists(file), !results.back()) << i;
    }
    EXPECT_EQ(results, (std::vector<bool>{true, false, true, false, true}));

    EXPECT_FALSE(fileops::writeFile(path(QStringLiteral("w")), "x"));
    EXPECT_TRUE(fileops::writeFile(path(QStringLiteral("w")), "x"));

    // resetFaults() drops what is still planned.
    fileops::failNth(fileops::Op::Append, 1);
    fileops::resetFaults();
    EXPECT_TRUE(fileops::appendFile(path(QStringLiteral("w")), "y"));

    EXPECT_FALSE(fileops::remove(path(QStringLiteral("never-was"))));
}

TEST_F(FileOps, PlannedFailuresCountCallsFromSeveralThreads)
{
    constexpr int threads = 8;
    constexpr int callsEach = 40;
    for (int t = 0; t < threads; ++t)
        for (int i = 0; i < callsEach; ++i)
            put(path(QStringLiteral("t%1-%2").arg(t).arg(i)), "x");

    fileops::failNth(fileops::Op::Remove, 100);
    fileops::failNth(fileops::Op::Remove, 200);
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < callsEach; ++i)
                if (!fileops::remove(path(QStringLiteral("t%1-%2").arg(t).arg(i))))
                    ++failures;
        });
    }
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(failures.load(), 2);
    EXPECT_EQ(entries(m_dir.path()).size(), 2);
}
