// Windows wildcard rules, look-ups without regard to case, and the in-use checks against real
// processes holding files, with leases and through the size-and-time fallback.
#include "fileholder.h"

#include <platform/files.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void put(const QString& path, const QByteArray& data = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(data), data.size());
}

void appendTo(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    ASSERT_EQ(f.write(data), data.size());
}

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
    const Case cases[] = {
        // "*" and "*.*" take every name, with or without a dot.
        {"*", "README", true},
        {"*.*", "README", true},
        {"*.*", "a.b.c", true},
        {"*.*", ".profile", true},
        // Case does not matter, on either side, accented letters included.
        {"*.txt", "A.TXT", true},
        {"*.pdf", "Résumé.PDF", true},
        {"É*", "école.doc", true},
        // "*." before an extension stops at the last dot.
        {"*.txt", "a.b.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt", "txt", false},
        // "*." alone: names without an extension only.
        {"*.", "README", true},
        {"*.", "a.txt", false},
        {"*.", "a.b.c", false},
        // A final ".*" or "." also takes the name without the dot.
        {"abc.*", "abc", true},
        {"abc.*", "ABC.pdf", true},
        {"abc.*", "abcd", false},
        {"abc.", "abc", true},
        // "?" is one character, never a dot; a run of them may end early at a dot or the end.
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "a.c", false},
        {"a?c", "abbc", false},
        {"???.txt", "ab.txt", true},
        {"???.txt", "abcd.txt", false},
        {"data?.dat", "DATA1.DAT", true},
        {"data?.dat", "data.dat", true},
        {"data?.dat", "data12.dat", false},
        {"file.??", "file.c", true},
        {"file.??", "file", true},
        // A plain "*" inside the name crosses dots.
        {"r*e", "readme.note", true},
        // No pattern, no match.
        {"", "a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(files::matchesWildcard(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)),
                  c.matches)
            << "pattern \"" << c.pattern << "\" on \"" << c.name << "\"";
    }
}

TEST(Wildcard, ListsMatchingFilesOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"b.TXT", "a.txt", "README", ".hidden.txt", "c.pdf"})
        put(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub.txt")));

    EXPECT_EQ(files::matchingFiles(dir.path(), QStringLiteral("*.txt")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.TXT")}));
    EXPECT_EQ(files::matchingFiles(dir.path(), QStringLiteral("*.*")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.TXT"),
                           QStringLiteral("c.pdf"), QStringLiteral("README")}));
    EXPECT_EQ(files::matchingFiles(dir.path(), QStringLiteral("*.")),
              QStringList{QStringLiteral("README")});
    EXPECT_TRUE(
        files::matchingFiles(dir.filePath(QStringLiteral("none")), QStringLiteral("*")).isEmpty());
    EXPECT_TRUE(files::matchingFiles(QString(), QStringLiteral("*")).isEmpty());
}

TEST(FindNoCase, FindsTheRealSpelling)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    put(dir.filePath(QStringLiteral("TRESSOLY.VER")));
    ASSERT_TRUE(QDir(folder).mkpath(QStringLiteral("Export/DATA")));
    put(dir.filePath(QStringLiteral("Export/DATA/00A3F.dat")));
    put(dir.filePath(QStringLiteral("twice.ini")));
    put(dir.filePath(QStringLiteral("TWICE.INI")));
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("Folder")));

    EXPECT_EQ(files::findNoCase(folder, QStringLiteral("tressoly.ver")),
              dir.filePath(QStringLiteral("TRESSOLY.VER")));
    EXPECT_EQ(files::findNoCase(folder + u'/', QStringLiteral("Tressoly.Ver")),
              dir.filePath(QStringLiteral("TRESSOLY.VER")));
    // Sub-folders too, each part found whatever its case.
    EXPECT_EQ(files::findNoCase(folder, QStringLiteral("export/data/00a3f.DAT")),
              dir.filePath(QStringLiteral("Export/DATA/00A3F.dat")));
    // The exact spelling wins over another one.
    EXPECT_EQ(files::findNoCase(folder, QStringLiteral("TWICE.INI")),
              dir.filePath(QStringLiteral("TWICE.INI")));
    EXPECT_EQ(files::findNoCase(folder, QStringLiteral("twice.ini")),
              dir.filePath(QStringLiteral("twice.ini")));
    // Not found: no such name, a folder where a file is wanted, no folder at all.
    EXPECT_EQ(files::findNoCase(folder, QStringLiteral("tressoly.ve")), QString());
    EXPECT_EQ(files::findNoCase(folder, QStringLiteral("folder")), QString());
    EXPECT_EQ(files::findNoCase(QString(), QStringLiteral("tressoly.ver")), QString());
    EXPECT_EQ(files::findNoCase(folder, QString()), QString());
}

TEST(FileInUse, LeasesTellWritersFromReaders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    put(file);

    EXPECT_FALSE(files::isBusy(file));
    EXPECT_TRUE(files::isFreeForExclusiveUse(file));
    const QString missing = dir.filePath(QStringLiteral("missing.pdf"));
    EXPECT_FALSE(files::isBusy(missing));
    EXPECT_TRUE(files::isFreeForExclusiveUse(missing));
    EXPECT_FALSE(files::isFreeForExclusiveUse(dir.path())) << "a folder is not a file to take";

    {
        FileHolder writer;
        ASSERT_TRUE(writer.start(file, FileHolder::OpenForWriting));
        EXPECT_TRUE(files::isBusy(file));
        EXPECT_FALSE(files::isFreeForExclusiveUse(file));
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
        EXPECT_FALSE(files::isFreeForExclusiveUse(file)) << "but it is not free to take";
    }
    EXPECT_TRUE(files::isFreeForExclusiveUse(file));
    EXPECT_TRUE(QFileInfo::exists(file)) << "asking changes nothing";
}

TEST(FileInUse, WithoutLeasesAChangingFileIsBusy)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString still = dir.filePath(QStringLiteral("still.pdf"));
    const QString growing = dir.filePath(QStringLiteral("growing.pdf"));
    put(still);
    put(growing, QByteArray());
    const WithoutLeases noLeases;

    EXPECT_FALSE(files::isBusy(still, 20));
    EXPECT_TRUE(files::isFreeForExclusiveUse(still, 20));

    FileHolder writer;
    ASSERT_TRUE(writer.start(growing, FileHolder::Appending));
    EXPECT_TRUE(files::isBusy(growing));
    EXPECT_FALSE(files::isFreeForExclusiveUse(growing));
    writer.release();

    // A lock held by another process (a database's lock file on a network share) is seen even
    // though nothing changes.
    FileHolder locker;
    ASSERT_TRUE(locker.start(still, FileHolder::Locked));
    EXPECT_FALSE(files::isFreeForExclusiveUse(still, 20));
    locker.release();
    EXPECT_TRUE(files::isFreeForExclusiveUse(still, 20));
}

TEST(FileInUse, PollingComparesWithThePreviousTick)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("scan.tif"));
    put(file, "part one");
    const WithoutLeases noLeases;
    files::BusyWatch watch;

    EXPECT_TRUE(watch.isBusy(file)) << "first seen: wait one tick";
    EXPECT_FALSE(watch.isBusy(file));
    appendTo(file, " and two");
    EXPECT_TRUE(watch.isBusy(file));
    EXPECT_FALSE(watch.isBusy(file));

    watch.forget(file);
    EXPECT_TRUE(watch.isBusy(file)) << "forgotten: seen for the first time again";
    EXPECT_FALSE(watch.isBusy(file));

    ASSERT_TRUE(QFile::remove(file));
    EXPECT_FALSE(watch.isBusy(file));
    put(file, "new file, same name");
    EXPECT_TRUE(watch.isBusy(file)) << "a file that went and came back starts over";
}

TEST(NativePath, ConvertsSeparatorsAndKeepsTheDrive)
{
    EXPECT_EQ(files::nativePath(QStringLiteral("C:\\Data\\a.pdf")),
              QStringLiteral("C:/Data/a.pdf"));
    EXPECT_EQ(files::nativePath(QStringLiteral("\\\\srv\\share\\x")),
              QStringLiteral("//srv/share/x"));
}
