// The real program, started offscreen from a temporary program folder, with two folder sources in
// its local tables: files dropped in the folders become documents with their data files and rows,
// a file another process still writes waits for it, a kept file is taken again only when its time
// changes, and nothing is registered twice while the program polls.
#include "program_folder.h"

#include <support/fileholder.h>
#include <support/qt_printers.h>

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(FolderSourceRun, DroppedFilesBecomeDocumentsOnceWhileTheProgramPolls)
{
    ProgramFolder folder;
    const QString in = folder.ws.path(u"in"_s);
    const QString keep = folder.ws.path(u"keep"_s);
    folder.writeUsualIni();
    // Source 1 clears its folder, source 2 leaves its files in place.
    folder.prepareTables(
        u"INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, NeedComment, "
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
    folder.start();

    const auto documents = [&folder] {
        return folder.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s).toInt();
    };
    ASSERT_TRUE(folder.waitFor([&] { return documents() == 3; })) << documents();
    // Twenty ticks: nothing is registered twice, and the file still open for writing waits for its
    // writer.
    ASSERT_TRUE(folder.waitForTicks(20));
    EXPECT_EQ(documents(), 3);
    EXPECT_EQ(QDir(in).entryList(QDir::Files), QStringList{u"open.txt"_s});

    // The kept file saved anew is taken again; the written file, once closed, is taken.
    writeFileBytes(keep + u"/k.txt"_s, "K2");
    setModified(keep + u"/k.txt"_s, monday.addSecs(60));
    writer.release();
    ASSERT_TRUE(folder.waitFor([&] { return documents() == 5; })) << documents();
    ASSERT_TRUE(folder.waitForTicks(3));
    EXPECT_EQ(documents(), 5);
    EXPECT_EQ(QDir(in).entryList(QDir::Files), QStringList());
    EXPECT_EQ(readFileBytes(keep + u"/k.txt"_s), "K2");

    // Each row names its source and its file; each data file holds that file's bytes as it was
    // taken.
    const QStringList rows = folder
                                 .cli(u"SELECT Number, Cfg, File_name, Type, Pages, NeedId FROM "
                                      "\"FILES.DB\" ORDER BY Number;"_s)
                                 .split(u'\n');
    QMap<QString, QByteArrayList> taken;
    for (const QString& row : rows) {
        const QStringList f = row.split(u'|');
        ASSERT_EQ(f.size(), 6) << row.toStdString();
        EXPECT_EQ(f.mid(3), (QStringList{u"0"_s, u"1"_s, u"0"_s}));
        const QString dataFile =
            folder.work() + u"buf/"_s + QString::number(f[0].toInt(), 16).toUpper() + u".1"_s;
        taken[f[1] + u":"_s + f[2]].append(readFileBytes(dataFile));
    }
    EXPECT_EQ(taken, (QMap<QString, QByteArrayList>{
                         {u"1:"_s + in + u"/a.pdf"_s, {"A"}},
                         {u"1:"_s + in + u"/B.TXT"_s, {"B"}},
                         {u"1:"_s + in + u"/open.txt"_s, {"partial"}},
                         {u"2:"_s + keep + u"/k.txt"_s, {"K1", "K2"}},
                     }));
    EXPECT_EQ(folder.cli(u"SELECT Cfg, Name FROM \"FrFiles.db\" WHERE Cfg = 2;"_s),
              u"2|"_s + keep + u"/k.txt"_s);

    folder.process.terminate();
    ASSERT_TRUE(folder.process.waitForFinished(20000));
    EXPECT_EQ(folder.process.exitCode(), 0);
}
