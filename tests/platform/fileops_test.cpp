// The file operations seam: whole-file replacement, renames, moves within and across file systems,
// copies, and the planned failures that must leave every file as it was.
#include <platform/fileops.h>

#include <support/qt_printers.h>
#include <support/workspace.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Every entry of a folder, hidden ones too: temporary files must not stay behind.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

struct stat statOf(const QString& path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

void setModified(const QString& path, time_t seconds, long nanoseconds)
{
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

class FileOps : public ::testing::Test
{
protected:
    void TearDown() override { fileops::resetFaults(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString error;
};

} // namespace

TEST_F(FileOps, WriteFileReplacesTheWholeFileAndLeavesNoTemporary)
{
    const QString target = path("settings.ini");
    ASSERT_TRUE(fileops::writeFile(target, "first version, rather long\n", &error))
        << qPrintable(error);
    ::chmod(QFile::encodeName(target).constData(), 0640);

    ASSERT_TRUE(fileops::writeFile(target, "second\n", &error)) << qPrintable(error);
    EXPECT_EQ(readFileBytes(target), "second\n");
    EXPECT_EQ(entries(m_dir.path()), QStringList({"settings.ini"}));
    EXPECT_EQ(statOf(target).st_mode & 0777, 0640u) << "the replaced file's permissions are kept";

    // A failing write keeps the old file whole and cleans up after itself.
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_FALSE(fileops::writeFile(target, "third\n", &error));
    EXPECT_TRUE(error.contains(target) && error.contains("the disk is full")) << qPrintable(error);
    EXPECT_EQ(readFileBytes(target), "second\n");
    EXPECT_EQ(entries(m_dir.path()), QStringList({"settings.ini"}));

    // A folder that does not exist.
    EXPECT_FALSE(fileops::writeFile(path("none/a.ini"), "x", &error));
    EXPECT_TRUE(error.contains("does not exist")) << qPrintable(error);

    // Through a symbolic link: what it points to is replaced, and the link stays.
    const QString link = path("link.ini");
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(fileops::writeFile(link, "new", &error)) << qPrintable(error);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFileBytes(target), "new");
}

// A planned failure of a rename, a move or a copy leaves both files as they were; a missing source
// costs the target nothing; then the call goes through.
TEST_F(FileOps, FailedRenamesMovesAndCopiesChangeNothing)
{
    using Call = bool (*)(const fileops::NativePath&, const fileops::NativePath&, QString*);
    const struct
    {
        fileops::Op op;
        Call call;
        bool keepsSource;
    } cases[] = {{fileops::Op::Rename, fileops::rename, false},
                 {fileops::Op::Move, fileops::move, false},
                 {fileops::Op::Copy,
                  [](const fileops::NativePath& a, const fileops::NativePath& b, QString* e) {
                      return fileops::copy(a, b, e);
                  },
                  true}};
    const QString from = path("scan.pdf");
    const QString to = path("documents/0001.pdf");
    ASSERT_TRUE(QDir().mkdir(path("documents")));
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.op));
        writeFileBytes(from, "new document");
        writeFileBytes(to, "old document");
        setModified(from, 1000000000, 0);
        fileops::failNth(c.op, 1, EACCES);
        EXPECT_FALSE(c.call(from, to, &error));
        EXPECT_TRUE(error.contains(from) && error.contains(to) &&
                    error.contains("access is denied"))
            << qPrintable(error);
        EXPECT_EQ(readFileBytes(from), "new document");
        EXPECT_EQ(readFileBytes(to), "old document");

        EXPECT_FALSE(c.call(path("missing.pdf"), to, &error));
        EXPECT_TRUE(error.contains("does not exist")) << qPrintable(error);
        EXPECT_EQ(readFileBytes(to), "old document");

        ASSERT_TRUE(c.call(from, to, &error)) << qPrintable(error);
        EXPECT_EQ(QFileInfo::exists(from), c.keepsSource);
        EXPECT_EQ(readFileBytes(to), "new document");
        EXPECT_EQ(statOf(to).st_mtim.tv_sec, 1000000000);
        EXPECT_EQ(entries(path("documents")), QStringList({"0001.pdf"}));
    }
}

TEST_F(FileOps, AMoveAcrossFileSystemsKeepsTheTimeAndLeavesNothingBehind)
{
    QTemporaryDir other("/dev/shm/qv-fileops-XXXXXX");
    if (!other.isValid() || statOf(other.path()).st_dev == statOf(m_dir.path()).st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system than the temporary folder";

    const QString from = other.filePath("result.hl7");
    const QString to = path("result.hl7");
    const QByteArray content(300 * 1024, 'r'); // more than one buffer's worth
    writeFileBytes(from, content);
    setModified(from, 981173106, 500000000); // 2001-02-03 04:05:06.5 UTC

    ASSERT_TRUE(fileops::move(from, to, &error)) << qPrintable(error);
    EXPECT_FALSE(QFileInfo::exists(from));
    EXPECT_EQ(readFileBytes(to), content);
    EXPECT_EQ(statOf(to).st_mtim.tv_sec, 981173106);
    EXPECT_EQ(statOf(to).st_mtim.tv_nsec, 500000000);
    EXPECT_EQ(entries(m_dir.path()), QStringList({"result.hl7"}));

    // Replacing an existing file there.
    writeFileBytes(from, "second");
    ASSERT_TRUE(fileops::move(from, to, &error)) << qPrintable(error);
    EXPECT_EQ(readFileBytes(to), "second");

    // The copy is made, but the final name is taken by a folder: the source stays, and the
    // copy does not.
    writeFileBytes(from, "third");
    const QString folder = path("taken");
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_FALSE(fileops::move(from, folder, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFileBytes(from), "third");
    EXPECT_EQ(entries(m_dir.path()), QStringList({"result.hl7", "taken"}));
    EXPECT_TRUE(entries(folder).isEmpty());

    // A target folder that does not exist.
    EXPECT_FALSE(fileops::move(from, path("none/x"), &error));
    EXPECT_EQ(readFileBytes(from), "third");
}

TEST_F(FileOps, ACopyLeftForALaterFlushIsTheSameCopy)
{
    const QString from = path("a.txt");
    writeFileBytes(from, "content");
    setModified(from, 1000000000, 0);
    ASSERT_TRUE(fileops::copy(from, path("c.txt"), &error, fileops::Flush::Later));
    EXPECT_EQ(readFileBytes(path("c.txt")), "content");
    EXPECT_EQ(statOf(path("c.txt")).st_mtim.tv_sec, 1000000000);
    EXPECT_TRUE(fileops::flushToDisk(path("c.txt"), &error)) << qPrintable(error);
    EXPECT_FALSE(fileops::flushToDisk(path("missing"), &error));
    EXPECT_EQ(error, "cannot flush \"" + path("missing") + "\": the file or folder does not exist");
}

// Publishing never replaces: a name that is taken, or a planned failure, leaves both files as
// they were.
TEST_F(FileOps, APublishNeverReplacesAFileOfTheSameName)
{
    const QString temp = path("~41.tmp");
    const QString final = path("q12.bin");
    writeFileBytes(temp, "request");
    writeFileBytes(final, "another workstation's request");
    EXPECT_FALSE(fileops::publish(temp, final, &error));
    EXPECT_TRUE(error.contains("already exists")) << qPrintable(error);
    EXPECT_EQ(readFileBytes(final), "another workstation's request");
    EXPECT_EQ(readFileBytes(temp), "request");

    ASSERT_TRUE(QFile::remove(final));
    fileops::failNth(fileops::Op::Publish, 1, EIO);
    EXPECT_FALSE(fileops::publish(temp, final, &error));
    EXPECT_EQ(entries(m_dir.path()), QStringList({"~41.tmp"}));

    ASSERT_TRUE(fileops::publish(temp, final, &error)) << qPrintable(error);
    EXPECT_EQ(entries(m_dir.path()), QStringList({"q12.bin"}));
    EXPECT_EQ(readFileBytes(final), "request");
}
