// Folder names and the checks for files other programs hold: IsFileFree deletes only a file nobody
// holds, WaitFileFree gives up after its time and keeps the program's events running meanwhile.
#include <support/fileholder.h>

#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/support/paths.h>

#include <support/workspace.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

TEST(AddBackslash, AppendsTheSeparatorOnce)
{
    EXPECT_EQ(AddBackslash("/data/work"), "/data/work/");
    EXPECT_EQ(AddBackslash("/data/work/"), "/data/work/");
    EXPECT_EQ(AddBackslash(QString()), QString()) << "an empty folder is not the root";
}

TEST(CheckDirectory, CreatesOneLevelOrSaysWhyNot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString docs = dir.filePath("docs");

    EXPECT_FALSE(CheckDirectory(docs, false));
    EXPECT_FALSE(QFileInfo::exists(docs)) << "nothing is created unless asked";
    EXPECT_TRUE(CheckDirectory(docs + u'/', true));
    EXPECT_TRUE(QFileInfo(docs).isDir());

    // Two levels missing: one level only, so the creation fails and says where.
    const QString deep = dir.filePath("a/b");
    try {
        CheckDirectory(deep, true);
        ADD_FAILURE() << "no error for " << deep.toStdString();
    } catch (const EInOutError& e) {
        EXPECT_TRUE(e.message().contains(deep) && e.message().contains("does not exist"))
            << e.message().toStdString();
        EXPECT_EQ(e.errorCode(), ENOENT);
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a")));

    // A file in the way.
    const QString file = dir.filePath("file");
    writeFileBytes(file, "file");
    EXPECT_THROW(CheckDirectory(file, true), EInOutError);
    EXPECT_TRUE(QFileInfo(file).isFile());

    // A folder that is not configured is never taken for the current one.
    EXPECT_FALSE(CheckDirectory(QString(), false));
    EXPECT_THROW(CheckDirectory(QString(), true), EInOutError);
}

TEST(IsFileFree, DeletesOnlyAFileNobodyHolds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString lock = dir.filePath("TABLE.LCK");

    EXPECT_TRUE(IsFileFree(lock)) << "a missing file is free";

    // Held by another process: open either way, or locked where leases are not available.
    writeFileBytes(lock, "lock");
    const struct
    {
        const char* script;
        bool leases;
    } holders[] = {{FileHolder::OpenForWriting, true},
                   {FileHolder::OpenForReading, true},
                   {FileHolder::Locked, false}};
    for (const auto& holder : holders) {
        SCOPED_TRACE(holder.script);
        files::testing::setLeasesAvailable(holder.leases);
        FileHolder other;
        ASSERT_TRUE(other.start(lock, holder.script));
        EXPECT_FALSE(IsFileFree(lock));
        EXPECT_TRUE(QFileInfo::exists(lock)) << "a held file is kept";
    }

    // A deletion that fails is reported as such; once it works, the file is free (here found
    // without leases).
    fileops::failNth(fileops::Op::Remove, 1);
    EXPECT_FALSE(IsFileFree(lock));
    EXPECT_TRUE(QFileInfo::exists(lock));
    fileops::resetFaults();
    EXPECT_TRUE(IsFileFree(lock));
    EXPECT_FALSE(QFileInfo::exists(lock));
    files::testing::setLeasesAvailable(true);
}

TEST(WaitFileFree, GivesUpAfterItsTimeAndSucceedsOnceLetGo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString archive = dir.filePath("package.rar");

    EXPECT_TRUE(WaitFileFree(dir.filePath("missing.rar"), 0));

    writeFileBytes(archive, "rar");
    FileHolder archiver;
    ASSERT_TRUE(archiver.start(archive, FileHolder::OpenForWriting));
    EXPECT_FALSE(WaitFileFree(archive, 200));
    EXPECT_TRUE(QFileInfo::exists(archive));

    // The holder is ended from a timer: that it fires at all shows that events run during the
    // wait, and the wait then ends well before its limit.
    bool fired = false;
    QTimer::singleShot(0, [&] {
        fired = true;
        archiver.release();
    });
    EXPECT_TRUE(WaitFileFree(archive, 60000));
    EXPECT_TRUE(fired);
    EXPECT_TRUE(QFileInfo::exists(archive)) << "waiting deletes nothing";
}
