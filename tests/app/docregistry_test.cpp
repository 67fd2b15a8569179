// The document registry: numbers, rows, data file names, the hand-over of a source's file and
// what is left when storing fails. Rows are read back with the sqlite3 tool.
#include "localtables_fixture.h"

#include <analysers/maxmfile.h>
#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/sources/folder_source.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>

#include <support/scoped_dialogs.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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
QString returningFile; // written again while the registry works on it, when set

bool recordingHook(const QString& fileName)
{
    hookCalls.append(fileName);
    if (!returningFile.isEmpty())
        writeFileBytes(returningFile, "second");
    return true;
}

// Rewrites the file through a temporary file put in its place, as the MaxM rewrite does.
bool rewritingHook(const QString& fileName)
{
    return fileops::writeFile(fileName, readFileBytes(fileName) + " rewritten");
}

} // namespace

TEST(DocumentRegistry, RowsTakeTheFlagsOfTheSourceNamedAndDataFilesAreNamedByNumberAndType)
{
    LocalTablesFixture f;
    f.addSource(1, 1, true);            // identification
    f.addSource(2, 2, false, true);     // comment
    f.addSource(3, 3, false, false, 3); // warning
    f.addSource(4, 4);
    f.addSource(5, 5);
    // A caller walking the sources by type stands on source 1.
    LocalTable& cfg = *f.tables->cfg;
    cfg.setIndexName("type_index");
    ASSERT_TRUE(cfg.findKey({1}));
    CurrentPack = -5;
    for (int source : {1, 2, 3, 4, 99})
        AddImportedFile(CurrentPack, "/x", source, 0, "AST");
    // A further page never needs its own identification.
    AddImportedFile(CurrentPack, "/x", 1, 1, "AST");
    EXPECT_EQ(f.cli("SELECT group_concat(NeedId) FROM (SELECT NeedId FROM \"FILES.DB\" ORDER BY "
                    "Number);"),
              "1,1,2,0,0,0");
    // The clock of the workspace stands at 6 December 2026, 22:10:46.
    EXPECT_EQ(f.cli("SELECT Number, Pack, File_name, Cfg, Date, Time, Type, Pages, NeedId, "
                    "quote(Patient), quote(Comment) FROM \"FILES.DB\" WHERE Number = 1;"),
              "1|-5|/x|1|2026-12-06|22:10:46|0|1|1|NULL|NULL");
    // The walker's place and order are untouched.
    EXPECT_EQ(cfg.indexName(), "type_index");
    EXPECT_EQ(cfg.fieldByName("Number")->asInteger(), 1);
    cfg.next();
    EXPECT_EQ(cfg.fieldByName("Number")->asInteger(), 2);

    for (int i = 0; i < 19; ++i)
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
    // A data file written in lower case is found all the same.
    writeFileBytes(BufDir + "1e.4", "lower");
    EXPECT_EQ(FindDocumentFile(30, 4), BufDir + "1e.4");
    EXPECT_EQ(FindDocumentFile(26, 4), BufDir + "1A.4");
    EXPECT_TRUE(FindDocumentFile(26, 1).isEmpty());

    // Numbers follow the highest: the highest deleted is given again, a gap below it is not
    // filled, and an empty table starts at 1 again.
    LocalTable& files = *f.tables->files;
    files.setIndexName(QString());
    for (int number : {29, 2}) {
        ASSERT_TRUE(files.findKey({number}));
        files.deleteRecord();
    }
    EXPECT_EQ(NextDocumentNumber(), 29);
    files.emptyTable();
    EXPECT_EQ(AddImportedFile(CurrentPack, "/x", 1, 0, "AST"), 1);
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

TEST(DocumentRegistry, MxmFilesAreRewrittenAndAFileReturnedToATakenPathWaitsForItsTurn)
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
    // The registry's own copy is rewritten, inside the documents' folder, before it is named.
    ASSERT_EQ(hookCalls.size(), 2);
    EXPECT_EQ(hookCalls[0], "/cap/r.mxm");
    EXPECT_TRUE(hookCalls[1].startsWith(BufDir + ".")) << hookCalls[1].toStdString();

    // While a file is being registered, the exporting program writes the next one under the same
    // name; the registration fails and the first file, taken back, waits to be registered.
    returningFile = f.ws.path("in/a.mxm");
    writeFileBytes(returningFile, "first");
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_EQ(RegisterDocument(returningFile, 1, 0, "MXM", HandOver::Move), 0);
    SetRestructureRecordFileHook(nullptr);
    returningFile.clear();
    EXPECT_EQ(readFileBytes(f.ws.path("in/a.mxm")), "second");
    const QList<WaitingFile> waiting = WaitingFiles(1);
    ASSERT_EQ(waiting.size(), 1);
    EXPECT_EQ(waiting[0].source.text(), f.ws.path("in/a.mxm"));
    EXPECT_EQ(countRows(f), "4");
    EXPECT_EQ(RegisterWaitingFile(waiting[0]), 5);
    EXPECT_EQ(readFileBytes(BufDir + "5.4"), "first");
    EXPECT_EQ(f.cli("SELECT File_name FROM \"FILES.DB\" WHERE Number = 5;"), f.ws.path("in/a.mxm"));
    EXPECT_TRUE(WaitingFiles(1).isEmpty());
}

TEST(DocumentRegistry, AReceivedMaxMFileIsRewrittenOrKeptAsItCameAndItsRowIsStoredEitherWay)
{
    LocalTablesFixture f;
    f.addSource(1, 4);
    SetRestructureRecordFileHook(&RestructureRecordFile);
    const QString file = f.ws.path("cap/r.mxm");
    const auto same = [&file](const QString& data) {
        return QProcess::execute("cmp", {file, QStringLiteral(QUORVANE_TEST_DATA "/") + data}) == 0;
    };
    writeFileBytes(file, testData("fuzz/decoders/maxm_received_2x200.mxm"));
    EXPECT_EQ(AddImportedFile(CurrentPack, file, 1, 0, "mxm"), 1);
    EXPECT_TRUE(same("analysers/maxm_stored_2x256.mxm"));
    EXPECT_TRUE(f.ws.operationsLog().isEmpty());

    const struct
    {
        const char* file;
        bool failWrite;
    } failures[] = {
        {"fuzz/decoders/maxm_received_count_03.mxm", false},
        {"fuzz/decoders/maxm_received_too_long.mxm", false},
        {"fuzz/decoders/maxm_received_2x200.mxm", true},
    };
    int number = 1;
    for (const auto& c : failures) {
        SCOPED_TRACE(c.file);
        QFile::remove(OperationsLogFileName());
        writeFileBytes(file, testData(c.file));
        if (c.failWrite)
            fileops::failNth(fileops::Op::Write, 1);
        EXPECT_EQ(AddImportedFile(CurrentPack, file, 1, 0, "MXM"), ++number);
        fileops::resetFaults();
        EXPECT_TRUE(same(c.file));
        const QByteArray log = f.ws.operationsLog();
        EXPECT_TRUE(log.startsWith("Proc. CorrectMaxM: \"" + file.toUtf8() + "\": "))
            << log.constData();
        EXPECT_EQ(log.count('\n'), 1) << log.constData();
    }
    SetRestructureRecordFileHook(nullptr);
    EXPECT_EQ(countRows(f), "4");
}

TEST(DocumentRegistry, AStoreRefusedOrAFailedHandOverLeavesTheFileAndNoRow)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    const QString source = f.ws.path("in/a.txt");
    writeFileBytes(source, "result");
    // Another program is writing to the table.
    Database other;
    other.setLocalFolder(DataDir);
    other.startTransaction();
    other.execute("INSERT INTO \"FILES.DB\" (Number) VALUES (77)");
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, "Le serveur est surchargé.", mtWarning);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Move), 0);
    other.rollback();
    EXPECT_EQ(f.tables->files->state(), DataSet::State::Browse);
    const QByteArray log = f.ws.operationsLog();
    EXPECT_TRUE(log.contains("!!!! Lock violation"));
    EXPECT_TRUE(log.contains("DB! SAFEPOST: FILES.DB"));

    // The file cannot be brought in; or it is in, the row stored, but it cannot take its final
    // name: the row goes again. A source that no longer exists names no data file.
    fileops::failNth(fileops::Op::Move, 1);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Move), 0);
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Move), 0);
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Copy), 0);
    EXPECT_EQ(RegisterDocument(source, 99, 0, "TXT", HandOver::Move), 0);
    EXPECT_EQ(readFileBytes(source), "result");
    EXPECT_TRUE(bufFiles().isEmpty()) << bufFiles().join(' ').toStdString();
    EXPECT_EQ(countRows(f), "0");
    EXPECT_EQ(f.ws.operationsLog().count("not registered"), 5);

    // The same file goes in once nothing is in the way.
    EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", HandOver::Move), 1);
    EXPECT_EQ(readFileBytes(BufDir + "1.1"), "result");
}

// A document whose bytes cannot be written through to the disk is not registered, and its bytes
// are flushed before its row is stored: a power cut in between would leave a row over a file
// that was never written. Here another program holds the table, so a row store would be refused
// with a warning: the flush fails first, and no store is tried.
TEST(DocumentRegistry, AFailedFlushUndoesTheRegistration)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    const QString source = f.ws.path("in/a.txt");
    writeFileBytes(source, "result");
    Database other;
    other.setLocalFolder(DataDir);
    other.startTransaction();
    other.execute("INSERT INTO \"FILES.DB\" (Number) VALUES (77)");

    for (const HandOver mode : {HandOver::Move, HandOver::Copy}) {
        fileops::failNth(fileops::Op::Flush, 1);
        EXPECT_EQ(RegisterDocument(source, 1, 0, "TXT", mode), 0);
        EXPECT_EQ(readFileBytes(source), "result");
        EXPECT_TRUE(bufFiles().isEmpty()) << bufFiles().join(' ').toStdString();
    }
    other.rollback();
    EXPECT_EQ(countRows(f), "0");
    const QByteArray log = f.ws.operationsLog();
    EXPECT_EQ(log.count("not registered"), 2);
    EXPECT_EQ(log.count("cannot flush"), 2);
    EXPECT_FALSE(log.contains("Lock violation"));
}

// What a program killed in the middle of hand-overs left in the documents' folder, met at the
// next start: a file whose row was stored gets its final name; one whose row was not is
// registered, unless its source still holds the same bytes (a copy, or a move across file
// systems, cut short: the source offers it again); anything else is kept in the recovery folder.
// A hand-over name reads ".handover.<cfg>.<type>.<number>.<n>.<extension in hex>.<source path,
// "/" as %2F>".
TEST(DocumentRegistry, HandOversCutShortAreFinishedAtTheNextStart)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    f.cli("INSERT INTO \"FILES.DB\" (Number, Cfg, File_name, Type) VALUES (3, 1, '/in/b.txt', 0);");
    const QString kept = f.ws.path("kept.txt");
    writeFileBytes(kept, "still there");
    const QString keptName = QString(kept).replace("/", "%2F");
    writeFileBytes(BufDir + ".handover.1.0.3.1.545854.%2Fin%2Fb.txt", "row stored");
    writeFileBytes(BufDir + ".handover.1.0.4.1.545854.%2Fin%2Fc.txt", "row not stored");
    writeFileBytes(BufDir + ".handover.1.0.5.1.545854." + keptName, "still there");
    writeFileBytes(BufDir + ".incoming-77-1", "unknown");
    ASSERT_TRUE(QDir().mkpath(BufDir + ".Trash-0"));
    RecoverHandOvers();
    EXPECT_EQ(bufFiles(), QStringList({"3.1", "4.1"}));
    EXPECT_EQ(readFileBytes(BufDir + "3.1"), "row stored");
    EXPECT_EQ(readFileBytes(BufDir + "4.1"), "row not stored");
    EXPECT_EQ(f.cli("SELECT Number || ':' || File_name FROM \"FILES.DB\" ORDER BY Number;"),
              "3:/in/b.txt\n4:/in/c.txt");
    EXPECT_EQ(readFileBytes(kept), "still there");
    EXPECT_EQ(readFileBytes(WorkPath + "recovered/incoming-77-1"), "unknown");
    EXPECT_TRUE(QFileInfo(BufDir + ".Trash-0").isDir());
}

// At the next start, files waiting in the documents' folder are registered first, oldest first;
// so are files kept as "unregistered-<name>" by earlier versions, as documents of the one folder
// source that clears its folder and takes such names (the others are kept in the recovery
// folder), each recorded in the source's memory of taken files.
TEST(DocumentRegistry, WaitingAndUnregisteredFilesAreRegisteredAtTheNextStart)
{
    LocalTablesFixture f;
    f.addSource(1, 1, false, false, 0, "TXT");
    f.addSource(2, 1, false, false, 0, "PDF");
    f.addSource(3, 1, false, false, 0, "PDF");
    f.addSource(4, 1, false, false, 0, "TXT");
    f.tables->fRep->appendRecord({1, "/in", "*.txt", true, 0});
    f.tables->fRep->appendRecord({2, "/pdf", "*.pdf", true, 0});
    f.tables->fRep->appendRecord({3, "/pdf2", "*.pdf", true, 0});
    f.tables->fRep->appendRecord({4, "/keep", "*.*", false, 0}); // moves nothing
    const auto kept = [](const QString& name, const QByteArray& bytes, int minutesAgo) {
        writeFileBytes(BufDir + name, bytes);
        QFile file(BufDir + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo),
                         QFileDevice::FileModificationTime);
    };
    kept("unregistered-r.txt-2", "newer", 5);
    kept("unregistered-r.txt", "older", 10);
    kept("unregistered-x.pdf", "two sources take it", 10);
    // Waiting since this run's predecessor: "TXT" is 545854 in hex.
    writeFileBytes(BufDir + ".waiting.1.0.7.1.545854.%2Fin%2Fw.txt", "waiting");
    RecoverHandOvers();
    EXPECT_EQ(f.cli("SELECT group_concat(Number || ':' || Cfg || ':' || File_name, ' ') FROM "
                    "(SELECT * FROM \"FILES.DB\" ORDER BY Number);"),
              "1:1:/in/w.txt 2:1:/in/r.txt 3:1:/in/r.txt");
    EXPECT_EQ(readFileBytes(BufDir + "1.1"), "waiting");
    EXPECT_EQ(readFileBytes(BufDir + "2.1"), "older");
    EXPECT_EQ(readFileBytes(BufDir + "3.1"), "newer");
    EXPECT_EQ(bufFiles(), QStringList({"1.1", "2.1", "3.1"}));
    EXPECT_EQ(readFileBytes(WorkPath + "recovered/unregistered-x.pdf"), "two sources take it");
    EXPECT_EQ(f.cli("SELECT group_concat(Name, ' ') FROM \"FrFiles.db\" WHERE Cfg = 1;"),
              "/in/w.txt /in/r.txt /in/r.txt");
    EXPECT_TRUE(WaitingFiles(1).isEmpty());
}

// A MaxM file of a source that leaves its files in place is rewritten by its hand-over, and the
// program is killed after the row was stored, before the final name: the next start completes the
// document and records the time the source's file has, so the source does not take it again.
TEST(DocumentRegistry, ARewrittenFileCompletedAtTheNextStartIsNotTakenAgainFromItsFolder)
{
    LocalTablesFixture f;
    f.addSource(1, 1, false, false, 0, "MXM");
    const QString in = f.ws.path("in");
    ASSERT_TRUE(QDir().mkpath(in));
    f.tables->fRep->appendRecord({1, in, "*.*", false, 0});
    const QString file = in + "/r.mxm";
    writeFileBytes(file, "raw");
    {
        QFile source(file);
        ASSERT_TRUE(source.open(QIODevice::ReadWrite));
        ASSERT_TRUE(source.setFileTime(QDateTime::currentDateTime().addSecs(-600),
                                       QFileDevice::FileModificationTime));
    }
    SetRestructureRecordFileHook(&rewritingHook);
    QString handOverName;
    const int number = RegisterDocument(file, 1, 0, "MXM", HandOver::Copy, nullptr, [&](int) {
        for (const QString& name : bufFiles()) {
            if (name.startsWith(".handover."))
                handOverName = name;
        }
    });
    SetRestructureRecordFileHook(nullptr);
    ASSERT_EQ(number, 1);
    // What the kill leaves: the row, and the file under its hand-over name (a rename keeps its
    // time).
    ASSERT_FALSE(handOverName.isEmpty());
    ASSERT_TRUE(QFile::rename(BufDir + "1.1", BufDir + handOverName));
    RecoverHandOvers();
    EXPECT_EQ(readFileBytes(BufDir + "1.1"), "raw rewritten");
    EXPECT_FALSE(ScanFileSource(1, in, "*.*", false));
    EXPECT_EQ(countRows(f), "1");
}

// A file left by an interrupted hand-over, handed over again at the next start and interrupted
// once more (here: it cannot take its final name, nor go back to the name it was left under),
// still leads back to its first source: the row names that file, not the left-over name.
TEST(DocumentRegistry, AHandOverOfALeftFileCutShortAgainKeepsItsFirstSource)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    writeFileBytes(BufDir + ".handover.1.0.4.1.545854.%2Fin%2Fc.txt", "row not stored");
    fileops::failNth(fileops::Op::Rename, 1);
    fileops::failNth(fileops::Op::Move, 2);
    RecoverHandOvers();
    EXPECT_EQ(countRows(f), "0");
    RecoverHandOvers();
    EXPECT_EQ(f.cli("SELECT Number || ':' || File_name FROM \"FILES.DB\";"), "1:/in/c.txt");
    EXPECT_EQ(bufFiles(), QStringList({"1.1"}));
    EXPECT_EQ(readFileBytes(BufDir + "1.1"), "row not stored");
}

// A screen capture's row keeps no file name, its file being the program's own: so does one
// finished or registered after an interrupted hand-over.
TEST(DocumentRegistry, ACapturesRowHasNoFileNameAlsoAfterAnInterruptedHandOver)
{
    LocalTablesFixture f;
    f.addSource(2, 5);
    const QString capture = BufDir + ".capture-1.bmp";
    writeFileBytes(capture, "picture");
    EXPECT_EQ(RegisterDocument(capture, 2, 0, "BMP", HandOver::Move), 1);
    // Cut short after the row, and before it.
    f.cli("INSERT INTO \"FILES.DB\" (Number, Cfg, File_name, Type) VALUES (6, 2, NULL, 0);");
    const QString path = QString(capture).replace("/", "%2F");
    writeFileBytes(BufDir + ".handover.2.0.6.1.424d50." + path, "row stored");
    writeFileBytes(BufDir + ".handover.2.0.7.2.424d50." + path, "row not stored");
    RecoverHandOvers();
    EXPECT_EQ(bufFiles(), QStringList({"1.5", "6.5", "7.5"}));
    EXPECT_EQ(readFileBytes(BufDir + "7.5"), "row not stored");
    EXPECT_EQ(f.cli("SELECT Number || ':' || ifnull(File_name, '') FROM \"FILES.DB\" ORDER BY "
                    "Number;"),
              "1:\n6:\n7:");
}

// A capture written just before a kill, at a start while another program holds the database: it
// waits, and a later start makes it one document of the first screen source.
TEST(DocumentRegistry, ACaptureLeftBeforeItsHandOverWaitsAndBecomesOneDocumentOfTheScreenSource)
{
    LocalTablesFixture f;
    f.addSource(3, 1);
    f.addSource(4, 5);
    f.addSource(6, 5);
    writeFileBytes(BufDir + ".capture-77.bmp", "picture");
    {
        Database other;
        other.setLocalFolder(DataDir);
        other.startTransaction();
        other.execute("INSERT INTO \"FILES.DB\" (Number) VALUES (77)");
        ScopedScriptedDialogs dialogs;
        RecoverHandOvers();
        other.rollback();
    }
    EXPECT_EQ(countRows(f), "0");
    ASSERT_EQ(bufFiles().size(), 1);
    EXPECT_TRUE(bufFiles()[0].startsWith(".waiting.4.0.")) << bufFiles()[0].toStdString();
    for (int start = 0; start < 2; ++start)
        RecoverHandOvers();
    EXPECT_EQ(f.cli("SELECT Number || ':' || Cfg || ':' || ifnull(File_name, '') FROM "
                    "\"FILES.DB\";"),
              "1:4:");
    EXPECT_EQ(bufFiles(), QStringList{"1.5"});
    EXPECT_EQ(readFileBytes(BufDir + "1.5"), "picture");
    EXPECT_FALSE(QFileInfo::exists(WorkPath + "recovered"));
}

namespace {

// A folder `depth` levels below `root`, each level's name 250 bytes long: a file in it has a path
// far too long to be told in a file name of the documents' folder.
QString deepFolder(const QString& root, int depth)
{
    QString dir = root;
    for (int level = 0; level < depth; ++level)
        dir += '/' + QString(250, QChar(u'a' + level));
    EXPECT_TRUE(QDir().mkpath(dir));
    return dir;
}

// The hidden files of BufDir with their bytes, as a kill at that moment would leave them.
QMap<QString, QByteArray> hiddenFiles()
{
    QMap<QString, QByteArray> files;
    for (const QString& name : bufFiles()) {
        if (name.startsWith('.'))
            files.insert(name, readFileBytes(BufDir + name));
    }
    return files;
}

} // namespace

// A source path too long for a file name (near the system's limit of 4,096 bytes here) is kept
// in a record beside the file being handed over, from before the file takes its hand-over name
// until after its final name. Wherever a kill falls, the next start knows the file's path: a copy
// cut short is dropped while its source holds the same bytes, a moved file is registered under its
// own path, a document whose row was stored is completed and recorded as taken. A damaged record
// loses no file. No record outlives the files that need it.
TEST(DocumentRegistry, ALongSourcePathIsKnownAtTheStartWhereverAKillFell)
{
    enum Left { RecordOnly, FileNoRow, FileAndRow, FinalName, DamagedRecord };
    const struct
    {
        Left left;
        bool clear;
        bool rowOfItsOwnPath; // after the start, the one row names the file's path
        bool dataFile;        // and 1.1 holds the file
    } cases[] = {
        {RecordOnly, true, false, false}, {FileNoRow, true, true, true},
        {FinalName, true, true, true},    {DamagedRecord, true, false, true},
        {FileNoRow, false, false, false}, {FileAndRow, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kill " << c.left << ", clear " << c.clear);
        LocalTablesFixture f;
        f.addSource(1, 1);
        const QString in = deepFolder(f.ws.path("in"), 15);
        f.tables->fRep->appendRecord({1, in, "*.*", c.clear, 0});
        const QString file = in + '/' + QString(250, 'r') + ".txt";
        ASSERT_GT(file.size(), 4000);
        writeFileBytes(file, "result");

        QMap<QString, QByteArray> onItsWay;
        ASSERT_EQ(RegisterDocument(file, 1, 0, "TXT", c.clear ? HandOver::Move : HandOver::Copy,
                                   nullptr, [&](int) { onItsWay = hiddenFiles(); }),
                  1);
        ASSERT_EQ(bufFiles(), QStringList{"1.1"});
        ASSERT_EQ(onItsWay.size(), 2) << onItsWay.keys().join(' ').toStdString();
        const QString handOver = onItsWay.firstKey();
        const QString record = onItsWay.lastKey();
        ASSERT_TRUE(handOver.startsWith(".handover.1.0.1.1.545854.")) << handOver.toStdString();
        ASSERT_TRUE(record.startsWith(".record.")) << record.toStdString();

        // What the kill leaves.
        if (c.left != FinalName)
            QFile::remove(BufDir + "1.1");
        if (c.left != FinalName && c.left != FileAndRow)
            DeleteDocumentRow(1);
        if (c.left == RecordOnly && c.clear)
            writeFileBytes(file, "result");
        if (c.left != RecordOnly && c.left != FinalName)
            writeFileBytes(BufDir + handOver, onItsWay[handOver]);
        writeFileBytes(BufDir + record, onItsWay[record].chopped(c.left == DamagedRecord ? 1 : 0));
        // Killed while writing the record, on an earlier attempt.
        if (c.left == RecordOnly)
            writeFileBytes(BufDir + "." + record + ".k3j4h5g6.tmp", onItsWay[record].left(99));

        RecoverHandOvers();
        EXPECT_EQ(countRows(f), c.dataFile ? "1" : "0");
        if (c.rowOfItsOwnPath) {
            EXPECT_EQ(f.cli("SELECT File_name FROM \"FILES.DB\";"), file);
        }
        EXPECT_EQ(bufFiles(), c.dataFile ? QStringList{"1.1"} : QStringList());
        if (c.dataFile) {
            EXPECT_EQ(readFileBytes(BufDir + "1.1"), "result");
        }
        EXPECT_EQ(f.ws.operationsLog().contains("missing or damaged"), c.left == DamagedRecord);
        EXPECT_FALSE(QFileInfo::exists(WorkPath + "recovered"));
        // A source leaving its files in place takes the file once.
        if (!c.clear) {
            EXPECT_EQ(ScanFileSource(1, in, "*.*", false), !c.dataFile);
            EXPECT_EQ(countRows(f), "1");
            EXPECT_EQ(f.cli("SELECT Name FROM \"FrFiles.db\";"), file);
        }
    }
}

// A start while another program holds the database, or with the disk full: a file left by a
// hand-over cut short is not set aside for good. It waits after the files that waited before it,
// and its folder source's pass registers it once the cause is gone; one whose row was stored is
// completed then, recorded first as taken by its source, which leaves its files in place.
TEST(DocumentRegistry, AFileLeftThatAStartCannotPlaceWaitsForAPassOfItsSource)
{
    for (const bool fullDisk : {false, true}) {
        SCOPED_TRACE(fullDisk ? "full disk" : "database held");
        LocalTablesFixture f;
        f.addSource(1, 1);
        f.addSource(2, 1);
        const QString in = f.ws.path("in");
        const QString keep = f.ws.path("keep");
        ASSERT_TRUE(QDir().mkpath(in));
        f.tables->fRep->appendRecord({1, in, "*.*", true, 0});
        f.tables->fRep->appendRecord({2, keep, "*.*", false, 0});
        const auto named = [](const QString& path) { return QString(path).replace("/", "%2F"); };
        // Source 1: a file waiting since an earlier run, one whose row was not stored. Source 2:
        // one whose row was, with the file still in its folder.
        writeFileBytes(BufDir + ".waiting.1.0.1.1.545854." + named(in + "/w.txt"), "waited");
        writeFileBytes(BufDir + ".handover.1.0.3.1.545854." + named(in + "/a.txt"), "left");
        const QDateTime saved(QDate(2026, 12, 1), QTime(9, 30));
        writeFileBytes(keep + "/k.txt", "K");
        setModified(keep + "/k.txt", saved);
        writeFileBytes(BufDir + ".handover.2.0.2.1.545854." + named(keep + "/k.txt"), "K");
        setModified(BufDir + ".handover.2.0.2.1.545854." + named(keep + "/k.txt"), saved);
        f.cli(QStringLiteral("INSERT INTO \"FILES.DB\" (Number, Cfg, File_name, Type) VALUES "
                             "(2, 2, '%1', 0);")
                  .arg(keep + "/k.txt"));

        Database other;
        if (fullDisk) {
            // The waiting file, the file left and the completion each meet it.
            fileops::failNth(fileops::Op::Flush, 1, ENOSPC);
            fileops::failNth(fileops::Op::Flush, 2, ENOSPC);
            fileops::failNth(fileops::Op::Rename, 1, ENOSPC);
        } else {
            other.setLocalFolder(DataDir);
            other.startTransaction();
            other.execute("INSERT INTO \"FILES.DB\" (Number) VALUES (77)");
        }
        {
            ScopedScriptedDialogs dialogs;
            RecoverHandOvers();
        }
        fileops::resetFaults();
        if (!fullDisk)
            other.rollback();
        EXPECT_EQ(countRows(f), "1");
        EXPECT_FALSE(QFileInfo::exists(WorkPath + "recovered"));
        QStringList waiting;
        for (const int cfg : {1, 2}) {
            for (const WaitingFile& w : WaitingFiles(cfg))
                waiting << QFileInfo(w.source.text()).fileName();
        }
        EXPECT_EQ(waiting, QStringList({"w.txt", "a.txt", "k.txt"}));

        EXPECT_TRUE(ScanFileSource(1, in, "*.*", true));
        EXPECT_TRUE(ScanFileSource(2, keep, "*.*", false));
        EXPECT_FALSE(ScanFileSource(2, keep, "*.*", false));
        EXPECT_EQ(f.cli("SELECT group_concat(Number || ':' || File_name, ' ') FROM (SELECT * FROM "
                        "\"FILES.DB\" ORDER BY Number);"),
                  QStringLiteral("2:%1/k.txt 3:%2/w.txt 4:%2/a.txt").arg(keep, in));
        EXPECT_EQ(readFileBytes(BufDir + "2.1"), "K");
        EXPECT_EQ(readFileBytes(BufDir + "3.1"), "waited");
        EXPECT_EQ(readFileBytes(BufDir + "4.1"), "left");
        EXPECT_EQ(bufFiles(), QStringList({"2.1", "3.1", "4.1"}));
    }
}

// A file that cannot go back to its long source path, a newer file having taken it, waits under
// a name that refers to the record of that path. After a start it still holds the newer file
// back while it cannot be registered, and both become documents in the order they came.
TEST(DocumentRegistry, AWaitingFileFromALongPathHoldsTheNewerFileBackAfterAStart)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    const QString in = deepFolder(f.ws.path("in"), 15);
    f.tables->fRep->appendRecord({1, in, "*.*", true, 0});
    const QString file = in + "/result.txt";
    writeFileBytes(file, "first");
    fileops::failNth(fileops::Op::Rename, 1);
    HandOverFailure failure;
    EXPECT_EQ(RegisterDocument(file, 1, 0, "TXT", HandOver::Move, &failure,
                               [&](int) { writeFileBytes(file, "second"); }),
              0);

    // The next start, while another program holds the database.
    {
        Database other;
        other.setLocalFolder(DataDir);
        other.startTransaction();
        other.execute("INSERT INTO \"FILES.DB\" (Number) VALUES (77)");
        RecoverHandOvers();
        other.rollback();
    }
    const QList<WaitingFile> waiting = WaitingFiles(1);
    ASSERT_EQ(waiting.size(), 1);
    EXPECT_EQ(waiting[0].source.text(), file);
    fileops::failNth(fileops::Op::Move, 1);
    EXPECT_FALSE(ScanFileSource(1, in, "*.*", true));
    EXPECT_EQ(readFileBytes(file), "second");
    EXPECT_TRUE(ScanFileSource(1, in, "*.*", true));
    EXPECT_EQ(f.cli("SELECT group_concat(Number || ':' || (File_name = '" + file +
                    "'), ' ') FROM \"FILES.DB\";"),
              "1:1 2:1");
    EXPECT_EQ(readFileBytes(BufDir + "1.1"), "first");
    EXPECT_EQ(readFileBytes(BufDir + "2.1"), "second");
    EXPECT_EQ(bufFiles(), QStringList({"1.1", "2.1"}));
}
