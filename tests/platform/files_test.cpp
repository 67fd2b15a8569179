// Windows wildcard rules, look-ups without regard to case, folder names, and the in-use checks
// against real processes holding files, with leases and through the size-and-time fallback:
// IsFileFree deletes only a file nobody holds, WaitFileFree gives up after its time and keeps the
// program's events running meanwhile.
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/support/paths.h>

#include <support/fileholder.h>
#include <support/workspace.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Leases off for one test, whatever happens in it.
struct WithoutLeases
{
    WithoutLeases() { files::testing::setLeasesAvailable(false); }
    ~WithoutLeases() { files::testing::setLeasesAvailable(true); }
};

} // namespace

TEST(Wildcard, WindowsRules)
{
    struct Case
    {
        const char* pattern;
        const char* name;
        bool matches;
    };
    // clang-format off
    const Case cases[] = {
        // "*" and "*.*" take every name, with or without a dot.
        {"*", "README", true}, {"*.*", "README", true}, {"*.*", "a.b.c", true},
        {"*.*", ".profile", true},
        // Case does not matter, on either side, accented letters included.
        {"*.txt", "A.TXT", true}, {"*.pdf", "Résumé.PDF", true}, {"É*", "école.doc", true},
        // "*." before an extension stops at the last dot.
        {"*.txt", "a.b.txt", true}, {"*.txt", "a.txt.bak", false}, {"*.txt", "txt", false},
        // "*." alone: names without an extension only.
        {"*.", "README", true}, {"*.", "a.txt", false}, {"*.", "a.b.c", false},
        // A final ".*" or "." also takes the name without the dot.
        {"abc.*", "abc", true}, {"abc.*", "ABC.pdf", true}, {"abc.*", "abcd", false},
        {"abc.", "abc", true},
        // "?" is one character, never a dot; a run of them may end early at a dot or the end.
        {"a?c", "abc", true}, {"a?c", "ac", false}, {"a?c", "a.c", false},
        {"a?c", "abbc", false}, {"???.txt", "ab.txt", true}, {"???.txt", "abcd.txt", false},
        {"data?.dat", "DATA1.DAT", true}, {"data?.dat", "data.dat", true},
        {"data?.dat", "data12.dat", false}, {"file.??", "file.c", true},
        {"file.??", "file", true},
        // A plain "*" inside the name crosses dots; no pattern, no match.
        {"r*e", "readme.note", true}, {"", "a", false}};
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(files::matchesWildcard(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)),
                  c.matches)
            << "pattern \"" << c.pattern << "\" on \"" << c.name << "\"";
    }
}

TEST(Wildcard, ListsMatchingFilesOnly)
{
    QTemporaryDir dir;
    for (const char* name : {"b.TXT", "a.txt", "README", ".hidden.txt", "c.pdf"})
        writeFileBytes(dir.filePath(QString::fromLatin1(name)), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub.txt"));

    EXPECT_EQ(files::matchingFiles(dir.path(), "*.txt"), (QStringList{"a.txt", "b.TXT"}));
    EXPECT_EQ(files::matchingFiles(dir.path(), "*.*"),
              (QStringList{"a.txt", "b.TXT", "c.pdf", "README"}));
    EXPECT_EQ(files::matchingFiles(dir.path(), "*."), QStringList{"README"});
    EXPECT_TRUE(files::matchingFiles(dir.filePath("none"), "*").isEmpty());
    EXPECT_TRUE(files::matchingFiles(QString(), "*").isEmpty());
}

TEST(FindNoCase, FindsTheRealSpelling)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    writeFileBytes(dir.filePath("TRESSOLY.VER"), "x");
    writeFileBytes(dir.filePath("Export/DATA/00A3F.dat"), "x");
    writeFileBytes(dir.filePath("twice.ini"), "x");
    writeFileBytes(dir.filePath("TWICE.INI"), "x");
    ASSERT_TRUE(QDir(folder).mkdir("Folder"));

    EXPECT_EQ(files::findNoCase(folder + u'/', "Tressoly.Ver"), dir.filePath("TRESSOLY.VER"));
    // Sub-folders too, each part found whatever its case.
    EXPECT_EQ(files::findNoCase(folder, "export/data/00a3f.DAT"),
              dir.filePath("Export/DATA/00A3F.dat"));
    // The exact spelling wins over another one.
    EXPECT_EQ(files::findNoCase(folder, "TWICE.INI"), dir.filePath("TWICE.INI"));
    EXPECT_EQ(files::findNoCase(folder, "twice.ini"), dir.filePath("twice.ini"));
    // Not found: no such name, a folder where a file is wanted, no folder at all.
    EXPECT_EQ(files::findNoCase(folder, "tressoly.ve"), QString());
    EXPECT_EQ(files::findNoCase(folder, "folder"), QString());
    EXPECT_EQ(files::findNoCase(QString(), "tressoly.ver"), QString());

    // Windows paths from the settings become native ones.
    EXPECT_EQ(files::nativePath("C:\\Data\\a.pdf"), "C:/Data/a.pdf");
    EXPECT_EQ(files::nativePath("\\\\srv\\share\\x"), "//srv/share/x");
}

TEST(FileInUse, LeasesTellWritersFromReaders)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("report.pdf");
    writeFileBytes(file, "x");

    EXPECT_FALSE(files::isBusy(dir.filePath("missing.pdf")));
    EXPECT_FALSE(files::isFreeForExclusiveUse(dir.path())) << "a folder is not a file to take";

    {
        FileHolder writer;
        ASSERT_TRUE(writer.start(file, FileHolder::OpenForWriting));
        EXPECT_TRUE(files::isBusy(file));
        files::BusyWatch watch;
        EXPECT_TRUE(watch.isBusy(file));
        writer.release();
        EXPECT_FALSE(files::isBusy(file));
        EXPECT_FALSE(watch.isBusy(file)) << "with leases, no tick is needed to see it free";
    }
    {
        FileHolder reader;
        ASSERT_TRUE(reader.start(file, FileHolder::OpenForReading));
        EXPECT_FALSE(files::isBusy(file)) << "a reader does not make a file busy";
    }
    EXPECT_TRUE(files::isFreeForExclusiveUse(file));
    EXPECT_TRUE(QFileInfo::exists(file)) << "asking changes nothing";
}

TEST(FileInUse, WithoutLeasesAChangingFileIsBusy)
{
    QTemporaryDir dir;
    const QString still = dir.filePath("still.pdf");
    const QString growing = dir.filePath("growing.pdf");
    writeFileBytes(still, "x");
    writeFileBytes(growing, QByteArray());
    const WithoutLeases noLeases;

    EXPECT_FALSE(files::isBusy(still, 20));
    EXPECT_TRUE(files::isFreeForExclusiveUse(still, 20));

    FileHolder writer;
    ASSERT_TRUE(writer.start(growing, FileHolder::Appending));
    EXPECT_TRUE(files::isBusy(growing));
    EXPECT_FALSE(files::isFreeForExclusiveUse(growing));

    // A watch that polls compares with what it saw at the previous tick.
    const QString file = dir.filePath("scan.tif");
    writeFileBytes(file, "part one");
    files::BusyWatch watch;

    EXPECT_TRUE(watch.isBusy(file)) << "first seen: wait one tick";
    EXPECT_FALSE(watch.isBusy(file));
    writeFileBytes(file, "part one and two"); // it grew
    EXPECT_TRUE(watch.isBusy(file));
    EXPECT_FALSE(watch.isBusy(file));

    watch.forget(file);
    EXPECT_TRUE(watch.isBusy(file)) << "forgotten: seen for the first time again";

    ASSERT_TRUE(QFile::remove(file));
    EXPECT_FALSE(watch.isBusy(file));
    writeFileBytes(file, "new file, same name");
    EXPECT_TRUE(watch.isBusy(file)) << "a file that went and came back starts over";
}

TEST(AddBackslash, AppendsTheSeparatorOnce)
{
    EXPECT_EQ(AddBackslash("/data/work"), "/data/work/");
    EXPECT_EQ(AddBackslash("/data/work/"), "/data/work/");
    EXPECT_EQ(AddBackslash(QString()), QString()) << "an empty folder is not the root";
}

TEST(CheckDirectory, CreatesOneLevelOrSaysWhyNot)
{
    QTemporaryDir dir;
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
