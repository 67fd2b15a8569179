// The document registry: numbers, rows, data file names, the hand-over of a source's file and
// what is left when storing fails. Rows are read back with the sqlite3 tool.
#include "localtables_fixture.h"

#include <app/docregistry.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>

#include <support/scoped_dialogs.h>

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QString countRows(const LocalTablesFixture& f)
{
    return f.cli("SELECT count(*) FROM \"FILES.DB\";");
}

// Every file of BufDir, hidden ones included, sorted.
QStringList bufFiles()
{
    return QDir(BufDir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QStringList hookCalls;
bool recordingHook(const QString& fileName)
{
    hookCalls.append(fileName);
    return true;
}

} // namespace

TEST(DocumentRegistry, NumbersStartAtOneAndFollowTheHighest)
{
    LocalTablesFixture f;
    f.addSource(1, 4);
    const auto add = [] {
        return AddImportedFile(CurrentPack, "/com_buf/comport1.buf", 1, 0, "AST");
    };
    EXPECT_EQ(NextDocumentNumber(), 1);
    for (int i = 1; i <= 1000; ++i)
        ASSERT_EQ(add(), i);

    LocalTable& files = *f.tables->files;
    ASSERT_TRUE(files.findKey({1000}));
    files.deleteRecord();
    EXPECT_EQ(add(), 1000);
    // A gap below the highest number is not filled.
    ASSERT_TRUE(files.findKey({2}));
    files.deleteRecord();
    EXPECT_EQ(add(), 1001);
    EXPECT_EQ(f.cli("SELECT count(*), count(DISTINCT Number), min(Number), max(Number), "
                    "sum(Number = 2) FROM \"FILES.DB\";"),
              "1000|1000|1|1001|0");
    files.emptyTable();
    EXPECT_EQ(add(), 1);
}

TEST(DocumentRegistry, RowHoldsWhatTheSourceGave)
{
    LocalTablesFixture f;
    f.addSource(2, 1, true);
    CurrentPack = -5;
    writeFileBytes(f.ws.path("in/Result 1.txt"), "result");
    EXPECT_EQ(RegisterDocument(f.ws.path("in/Result 1.txt"), 2, 0, "TXT", HandOver::Move), 1);
    // The clock of the workspace stands at 6 December 2026, 22:10:46.
    EXPECT_EQ(f.cli("SELECT Number, Pack, File_name = '" + f.ws.path("in/Result 1.txt") +
                    "', Cfg, Date, Time, Type, Pages, NeedId, quote(Patient), quote(Comment) "
                    "FROM \"FILES.DB\";"),
              "1|-5|1|2|2026-12-06|22:10:46|0|1|1|NULL|NULL");
}

TEST(DocumentRegistry, NeedIdComesFromTheSourceNamedNotFromTheCursor)
{
    LocalTablesFixture f;
    f.addSource(1, 4, true, false, 0);  // identification
    f.addSource(2, 4, false, true, 0);  // comment
    f.addSource(3, 4, false, false, 3); // warning
    f.addSource(4, 4, false, false, 0); // nothing
    // A caller walking the sources by type stands on source 1.
    LocalTable& cfg = *f.tables->cfg;
    cfg.setIndexName("type_index");
    ASSERT_TRUE(cfg.findKey({4}));
    ASSERT_EQ(cfg.fieldByName("Number")->asInteger(), 1);

    for (int source : {1, 2, 3, 4, 99})
        AddImportedFile(CurrentPack, "/x", source, 0, "AST");
    // A further page never needs its own identification.
    AddImportedFile(CurrentPack, "/x", 1, 12, "AST");
    EXPECT_EQ(f.cli("SELECT group_concat(NeedId) FROM (SELECT NeedId FROM \"FILES.DB\" ORDER BY "
                    "Number);"),
              "1,1,2,0,0,0");

    // The walker's place and order are untouched.
    EXPECT_EQ(cfg.indexName(), "type_index");
    EXPECT_EQ(cfg.fieldByName("Number")->asInteger(), 1);
    cfg.next();
    EXPECT_EQ(cfg.fieldByName("Number")->asInteger(), 2);
}

TEST(DocumentRegistry, DataFilesAreNamedByNumberAndSourceType)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    f.addSource(2, 2);
    f.addSource(3, 3);
    f.addSource(4, 4);
    f.addSource(5, 5);
    for (int i = 0; i < 25; ++i)
        AddImportedFile(CurrentPack, "/breeze/P.DTX", 2, 0, "BR1");

    writeFileBytes(f.ws.path("com_buf/comport1.buf"), "serial");
    writeFileBytes(f.ws.path("in/a.txt"), "folder");
    writeFileBytes(f.ws.path("spool/00012.SPL"), "page");
    writeFileBytes(f.ws.path("capture.bmp"), "screen");
    EXPECT_EQ(RegisterDocument(f.ws.path("com_buf/comport1.buf"), 4, 0, "ast", HandOver::Move), 26);
    EXPECT_EQ(RegisterDocument(f.ws.path("in/a.txt"), 1, 0, "TXT", HandOver::Copy), 27);
    EXPECT_EQ(RegisterDocument(f.ws.path("spool/00012.SPL"), 3, 0, "", HandOver::Move), 28);
    EXPECT_EQ(RegisterDocument(f.ws.path("capture.bmp"), 5, 0, "BMP", HandOver::Move), 29);

    EXPECT_EQ(bufFiles(), QStringList({"1A.4", "1B.1", "1C.3", "1D.5"}));
    EXPECT_EQ(readFileBytes(BufDir + "1A.4"), "serial");
    EXPECT_EQ(readFileBytes(BufDir + "1B.1"), "folder");
    EXPECT_FALSE(QFileInfo::exists(f.ws.path("com_buf/comport1.buf")));
    EXPECT_EQ(readFileBytes(f.ws.path("in/a.txt")), "folder"); // copied: still there
    EXPECT_EQ(DocumentFileName(26, 4), BufDir + "1A.4");

    // A data file written in lower case is found all the same.
    writeFileBytes(BufDir + "1e.4", "lower");
    EXPECT_EQ(FindDocumentFile(30, 4), BufDir + "1e.4");
    EXPECT_EQ(FindDocumentFile(26, 4), BufDir + "1A.4");
    EXPECT_TRUE(FindDocumentFile(26, 1).isEmpty());
}

TEST(DocumentRegistry, KeptDataFilesUnderANewNumberAreRenamedAside)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    for (int i = 0; i < 9; ++i)
        AddImportedFile(CurrentPack, "/x", 1, 0, "TXT");
    // Document 10 once came from a serial source (kept in lower case when it was deleted) and
    // from a folder source; an earlier set-aside copy is there too.
    writeFileBytes(BufDir + "a.4", "old serial");
    writeFileBytes(BufDir + "a.4.old", "older serial");
    writeFileBytes(BufDir + "A.1", "old folder");
    writeFileBytes(f.ws.path("in/new.txt"), "new");

    EXPECT_EQ(RegisterDocument(f.ws.path("in/new.txt"), 1, 0, "TXT", HandOver::Move), 10);
    EXPECT_EQ(readFileBytes(BufDir + "A.1"), "new");
    EXPECT_EQ(readFileBytes(BufDir + "A.1.old"), "old folder");
    EXPECT_EQ(readFileBytes(BufDir + "a.4.old"), "older serial");
    EXPECT_EQ(readFileBytes(BufDir + "a.4.old2"), "old serial");
    EXPECT_FALSE(QFileInfo::exists(BufDir + "a.4"));
    const QByteArray log = f.ws.operationsLog();
    EXPECT_TRUE(log.contains("Data file A.1 of an earlier document 10 kept as A.1.old"))
        << log.data();
    EXPECT_TRUE(log.contains("Data file a.4 of an earlier document 10 kept as a.4.old2"))
        << log.data();
}

TEST(DocumentRegistry, MxmFilesAreRewrittenBeforeTheyAreStored)
{
    LocalTablesFixture f;
    f.addSource(1, 4);
    hookCalls.clear();
    // Without a rewrite routine the file is stored as received.
    EXPECT_EQ(AddImportedFile(CurrentPack, "/cap/r.mxm", 1, 0, "mxm"), 1);
    SetRestructureRecordFileHook(&recordingHook);
    AddImportedFile(CurrentPack, "/cap/r.mxm", 1, 0, "mxm");
    AddImportedFile(CurrentPack, "/cap/r.ast", 1, 0, "AST");
    writeFileBytes(f.ws.path("cap/s.mxm"), "raw");
    RegisterDocument(f.ws.path("cap/s.mxm"), 1, 0, "Mxm", HandOver::Move);
    SetRestructureRecordFileHook(nullptr);
    // The registry's own copy is rewritten, inside the documents' folder, before it is named.
    ASSERT_EQ(hookCalls.size(), 2);
    EXPECT_EQ(hookCalls[0], "/cap/r.mxm");
    EXPECT_TRUE(hookCalls[1].startsWith(BufDir + ".")) << hookCalls[1].toStdString();
}

TEST(DocumentRegistry, AStoreRefusedByALockedTableLeavesTheFileAndNoRow)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    writeFileBytes(f.ws.path("in/a.txt"), "result");
    // Another program is writing to the table.
    Database other;
    other.setLocalFolder(DataDir);
    other.startTransaction();
    other.execute("INSERT INTO \"FILES.DB\" (Number) VALUES (77)");

    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, "Le serveur est surchargé.", mtWarning);
    EXPECT_EQ(RegisterDocument(f.ws.path("in/a.txt"), 1, 0, "TXT", HandOver::Move), 0);
    other.rollback();

    EXPECT_EQ(readFileBytes(f.ws.path("in/a.txt")), "result");
    EXPECT_TRUE(bufFiles().isEmpty()) << bufFiles().join(' ').toStdString();
    EXPECT_EQ(countRows(f), "0");
    EXPECT_EQ(f.tables->files->state(), DataSet::State::Browse);
    const QByteArray log = f.ws.operationsLog();
    EXPECT_TRUE(log.contains("!!!! Lock violation"));
    EXPECT_TRUE(log.contains("DB! SAFEPOST: FILES.DB"));
    // The same file goes in once the table is free.
    EXPECT_EQ(RegisterDocument(f.ws.path("in/a.txt"), 1, 0, "TXT", HandOver::Move), 1);
    EXPECT_EQ(readFileBytes(BufDir + "1.1"), "result");
}

TEST(DocumentRegistry, AFailedHandOverLeavesTheSourceAsItWas)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    const QString source = f.ws.path("in/a.txt");
    writeFileBytes(source, "result");

    // The file cannot be brought in.
    fileops::failNth(fileops::Op::Move, 1);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Move), 0);
    // It is in, the row stored, but it cannot take its final name: the row goes again.
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Move), 0);
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Copy), 0);
    // A source that no longer exists names no data file.
    EXPECT_EQ(RegisterDocument(source, 99, 0, "TXT", HandOver::Move), 0);

    EXPECT_EQ(readFileBytes(source), "result");
    EXPECT_TRUE(bufFiles().isEmpty()) << bufFiles().join(' ').toStdString();
    EXPECT_EQ(countRows(f), "0");
    EXPECT_EQ(f.ws.operationsLog().count("not registered"), 4);
}

// A document whose bytes or name cannot be written through to the disk is not registered: a
// power cut would lose it with its row still there.
TEST(DocumentRegistry, AFailedFlushUndoesTheRegistration)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    const QString source = f.ws.path("in/a.txt");
    writeFileBytes(source, "result");

    for (const HandOver mode : {HandOver::Move, HandOver::Copy}) {
        fileops::failNth(fileops::Op::Flush, 1);
        EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", mode), 0);
        EXPECT_EQ(readFileBytes(source), "result");
        EXPECT_TRUE(bufFiles().isEmpty()) << bufFiles().join(' ').toStdString();
        EXPECT_EQ(countRows(f), "0");
    }
    EXPECT_EQ(f.ws.operationsLog().count("not registered"), 2);
}

TEST(DocumentRegistry, AFileReturnedToATakenPathIsKeptAside)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    static QString source;
    source = f.ws.path("in/a.mxm");
    writeFileBytes(source, "first");
    // While the first file is being registered, the exporting program writes the next one under
    // the same name.
    SetRestructureRecordFileHook([](const QString&) {
        writeFileBytes(source, "second");
        return true;
    });
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "MXM", HandOver::Move), 0);
    SetRestructureRecordFileHook(nullptr);

    EXPECT_EQ(readFileBytes(source), "second");
    EXPECT_EQ(readFileBytes(BufDir + "unregistered-a.mxm"), "first");
    EXPECT_EQ(countRows(f), "0");
}
