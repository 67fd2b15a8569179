// Folder and Breeze sources over real folders and the real local tables. Folders: files taken and
// cleared, files left in place and taken again only when their time changes, failures that lose
// nothing and are logged once, and BFA result files turned into one report per patient (a file
// still being written is shown with the real program: folder_source_run_test.cpp). Breeze: a new
// patient's result file taken once from the current-patient file, a source coming back from
// passive, Breeze files rewritten after a direct send, and a package taking the Breeze files.
#include "bfa_frames.h"
#include "localtables_fixture.h"

#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/documents/fileage.h>
#include <app/sources/breeze_source.h>
#include <app/sources/folder_source.h>
#include <platform/db/localtable.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>

#include <support/qt_printers.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <fstream>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

class FolderSourceTest : public ::testing::Test
{
protected:
    LocalTablesFixture f;

    QString folder(const QString& name) const
    {
        const QString path = f.ws.path(name);
        QDir().mkpath(path);
        return path;
    }
    void addFolderSource(int number, const QString& dir, bool clear,
                         const QString& pattern = u"*.*"_s, const QString& extension = u"TXT"_s)
    {
        f.addSource(number, 1, false, false, 0, extension);
        f.tables->fRep->appendRecord({number, dir, pattern, clear, 0});
    }
    QString documents() const
    {
        return f.cli(u"SELECT group_concat(Number || ':' || Cfg || ':' || File_name, ' ') FROM "
                     "(SELECT * FROM \"FILES.DB\" ORDER BY Number);"_s);
    }
    QString count(const QString& table) const
    {
        return f.cli(u"SELECT count(*) FROM \"%1\";"_s.arg(table));
    }
    static QStringList entries(const QString& dir)
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                   QDir::Name);
    }
    int logged(const QString& fragment) const
    {
        return int(QString::fromUtf8(f.ws.operationsLog()).count(fragment));
    }
};

const QDateTime Monday(QDate(2026, 11, 30), QTime(8, 15, 0));

class BreezeSourceTest : public FolderSourceTest
{
protected:
    QString data = f.ws.path(u"breeze/data"_s);
    QString curpat = data + u"/CURPAT.DAT"_s;
    int writes = 0;

    BreezeSourceTest() { QDir().mkpath(data); }

    void addBreezeSource(int number, const QString& id, int state = 1, int reg = 0,
                         bool clear = false)
    {
        appendSource(*f.tables->cfg, number, 2, state, u"Breeze"_s, u"BR3"_s);
        f.tables->rcfiles->appendRecord({number, curpat, reg, clear, id});
    }

    // Breeze makes a patient current: the file is written anew, with a later time each time.
    void select(const QByteArray& firstLine)
    {
        writeFileBytes(curpat, firstLine + "\r\nDOE^JOHN\r\n");
        setModified(curpat, Monday.addSecs(10 * ++writes));
    }
};

} // namespace

TEST_F(FolderSourceTest, ClearingSourceMovesEachMatchingFileAndAMissingFolderMakesItPassive)
{
    const QString in = folder(u"in"_s);
    const QString later = f.ws.path(u"later"_s);
    addFolderSource(1, in, true, u"*.txt"_s);
    addFolderSource(2, later, true);
    addFolderSource(3, QString(), true); // no folder chosen
    CheckFileSources();
    EXPECT_EQ(FileSourceCount, 1);
    EXPECT_EQ(f.cli(u"SELECT group_concat(State) FROM (SELECT State FROM \"cfg.db\" ORDER BY "
                    "Number);"_s),
              u"1,2,2"_s);
    EXPECT_FALSE(QFileInfo::exists(later)) << "the folder is not created";
    EXPECT_FALSE(PollFileSources()) << "an empty folder gives nothing";

    writeFileBytes(in + u"/Lung 1.TXT"_s, "first");
    writeFileBytes(in + u"/lung2.txt"_s, "second");
    writeFileBytes(in + u"/notes.doc"_s, "not matching");
    writeFileBytes(in + u"/.hidden.txt"_s, "hidden");
    QDir().mkpath(in + u"/sub.txt"_s);
    QDir().mkpath(later);
    CheckFileSources();
    EXPECT_EQ(FileSourceCount, 2);
    // Only the first source finds a file: the pass has still registered something.
    EXPECT_TRUE(PollFileSources());
    EXPECT_FALSE(PollFileSources());
    const QStringList taken =
        f.cli(u"SELECT File_name FROM \"FILES.DB\" ORDER BY Number;"_s).split(u'\n');
    EXPECT_EQ(QSet<QString>(taken.begin(), taken.end()),
              (QSet<QString>{in + u"/Lung 1.TXT"_s, in + u"/lung2.txt"_s}));
    EXPECT_EQ(entries(in), (QStringList{u".hidden.txt"_s, u"notes.doc"_s, u"sub.txt"_s}));
    EXPECT_EQ(count(u"FrFiles.db"_s), u"2"_s) << "every taken file is recorded";
}

TEST_F(FolderSourceTest, SourceLeavingFilesTakesEachFileOncePerTimeWhateverTheCaseOfItsName)
{
    const QString in = folder(u"keep"_s);
    addFolderSource(1, in, false);
    const QString report = in + u"/Report.TXT"_s;
    writeFileBytes(report, "v1");
    setModified(report, Monday);
    // A row written under another spelling of a file, as older installations wrote them.
    writeFileBytes(in + u"/Result.txt"_s, "r");
    setModified(in + u"/Result.txt"_s, Monday);
    f.tables->FrFiles->appendRecord({1, (in + u"/RESULT.TXT"_s).toUpper(), PackFileTime(Monday)});
    CheckFileSources();

    // Taken once (the running program polls it twenty times over); the file stays.
    EXPECT_TRUE(PollFileSources());
    EXPECT_FALSE(PollFileSources());
    EXPECT_EQ(documents(), u"1:1:"_s + report);
    // The real paths are remembered, with the files' packed time; the old row now names the file
    // as it is spelt, so it is not dropped as missing.
    EXPECT_EQ(
        f.cli(u"SELECT Cfg, Name, \"Date&Time\" FROM \"FrFiles.db\" ORDER BY Name;"_s),
        u"1|%1|%2\n1|%3|%2"_s.arg(report).arg(PackFileTime(Monday)).arg(in + u"/Result.txt"_s));
    // The memory survives a restart of the sources.
    CheckFileSources();
    EXPECT_FALSE(PollFileSources());
    // Two files whose names differ only in case are two files.
    writeFileBytes(in + u"/RESULT.TXT"_s, "R");
    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(f.cli(u"SELECT File_name FROM \"FILES.DB\" WHERE Number = 2;"_s),
              in + u"/RESULT.TXT"_s);

    // Removed: forgotten at the end of the pass; the same name and time coming back is new.
    QFile::remove(report);
    EXPECT_FALSE(PollFileSources());
    EXPECT_EQ(count(u"FrFiles.db"_s), u"2"_s);
    writeFileBytes(report, "v1");
    setModified(report, Monday);
    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(count(u"FILES.DB"_s), u"3"_s);
}

// A kept file is remembered once its document's row is stored; when the document still fails
// (its data file cannot take its name), the memory is taken back, for a new file as for one
// taken before with another time, and the file is taken at the next pass.
TEST_F(FolderSourceTest, AKeptFileWhoseDocumentFailsAfterItsRowIsNotRemembered)
{
    const QString in = folder(u"keep"_s);
    const QString report = in + u"/report.txt"_s;
    addFolderSource(1, in, false);
    CheckFileSources();
    const QDateTime Tuesday = Monday.addDays(1);
    for (const QDateTime& time : {Monday, Tuesday}) {
        SCOPED_TRACE(time.toString().toStdString());
        writeFileBytes(report, time.toString().toUtf8());
        setModified(report, time);
        fileops::failNth(fileops::Op::Rename, 1);
        EXPECT_FALSE(PollFileSources());
        EXPECT_EQ(f.cli(u"SELECT group_concat(\"Date&Time\") FROM \"FrFiles.db\";"_s),
                  time == Monday ? QString() : QString::number(PackFileTime(Monday)));
        EXPECT_TRUE(PollFileSources());
        EXPECT_EQ(f.cli(u"SELECT group_concat(\"Date&Time\") FROM \"FrFiles.db\";"_s),
                  QString::number(PackFileTime(time)));
    }
    EXPECT_EQ(count(u"FILES.DB"_s), u"2"_s);
}

TEST_F(FolderSourceTest, FileThatCannotBeTakenIsTriedAgainAtEveryPassAndReportedOnce)
{
    const QString in = folder(u"in"_s);
    const QString keep = folder(u"keep"_s);
    addFolderSource(1, in, true);
    addFolderSource(2, keep, false);
    CheckFileSources();
    writeFileBytes(in + u"/a.txt"_s, "a");
    writeFileBytes(keep + u"/b.txt"_s, "b");

    // A full disk for five passes: the move out of the watched folder and the copy of the kept
    // file fail each time.
    for (int n = 1; n <= 5; ++n) {
        fileops::failNth(fileops::Op::Move, n, ENOSPC);
        fileops::failNth(fileops::Op::Copy, n, ENOSPC);
    }
    for (int tick = 0; tick < 5; ++tick)
        EXPECT_FALSE(PollFileSources());
    EXPECT_EQ(count(u"FILES.DB"_s), u"0"_s);
    EXPECT_EQ(readFileBytes(in + u"/a.txt"_s), "a");
    EXPECT_EQ(count(u"FrFiles.db"_s), u"0"_s) << "a kept file not taken is not remembered";
    EXPECT_EQ(logged(u"not registered"_s), 2) << f.ws.operationsLog().constData();
    EXPECT_TRUE(entries(BufDir).isEmpty()) << entries(BufDir).join(u' ').toStdString();

    // Room again for the cleared folder, where a new file came too: both taken at the next
    // pass, with no restart of the sources. The kept file fails once more, now as document 3:
    // the same reason, not reported again.
    writeFileBytes(in + u"/c.txt"_s, "c");
    fileops::failNth(fileops::Op::Copy, 1, ENOSPC);
    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(count(u"FILES.DB"_s), u"2"_s);
    EXPECT_EQ(entries(in), QStringList());
    EXPECT_EQ(logged(u"not registered"_s), 2) << f.ws.operationsLog().constData();
    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(count(u"FILES.DB"_s), u"3"_s);
}

namespace {

QString nextResult; // written by the exporting program while the registry works on its file

bool writingNextResult(const QString&)
{
    if (!nextResult.isEmpty())
        writeFileBytes(std::exchange(nextResult, QString()), "second");
    return true;
}

} // namespace

// An analyser that always writes "r.mxm" writes its next result while the first is being
// registered, and the registration fails after the first left the folder: the first waits in
// the documents' folder. A later pass registers it before the second; while it cannot, the
// second waits too.
TEST_F(FolderSourceTest, AFileWhosePlaceANewerFileTookIsTakenBeforeItAtALaterPass)
{
    const QString in = folder(u"in"_s);
    const QString r = in + u"/r.mxm"_s;
    addFolderSource(1, in, true, u"*.*"_s, u"MXM"_s);
    CheckFileSources();
    writeFileBytes(r, "first");
    nextResult = r;
    SetRestructureRecordFileHook(&writingNextResult);
    const auto unhook = qScopeGuard([] { SetRestructureRecordFileHook(nullptr); });
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_FALSE(PollFileSources());
    EXPECT_EQ(readFileBytes(r), "second");
    ASSERT_EQ(WaitingFiles(1).size(), 1);
    EXPECT_EQ(readFileBytes(WaitingFiles(1).first().file.text()), "first");

    // The waiting file cannot be brought in yet: neither file is taken.
    fileops::failNth(fileops::Op::Move, 1);
    EXPECT_FALSE(PollFileSources());
    EXPECT_EQ(count(u"FILES.DB"_s), u"0"_s);
    EXPECT_EQ(readFileBytes(r), "second");

    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(documents(), u"1:1:%1 2:1:%1"_s.arg(r));
    EXPECT_EQ(readFileBytes(BufDir + u"1.1"_s), "first");
    EXPECT_EQ(readFileBytes(BufDir + u"2.1"_s), "second");
    EXPECT_EQ(entries(BufDir), (QStringList{u"1.1"_s, u"2.1"_s}));
    EXPECT_TRUE(WaitingFiles(1).isEmpty());
    EXPECT_EQ(count(u"FrFiles.db"_s), u"2"_s);
}

// A waiting file that is no longer under its waiting name holds nothing back: the file now at its
// path is taken at the same pass. One removed from the documents' folder is simply gone; one that
// a failed attempt could not give back stays under its hand-over name, and the next start
// registers it.
TEST_F(FolderSourceTest, AWaitingFileThatIsGoneNoLongerHoldsBackTheFileAtItsPath)
{
    const QString in = folder(u"in"_s);
    const QString r = in + u"/r.mxm"_s;
    addFolderSource(1, in, true, u"*.*"_s, u"MXM"_s);
    CheckFileSources();
    SetRestructureRecordFileHook(&writingNextResult);
    const auto unhook = qScopeGuard([] { SetRestructureRecordFileHook(nullptr); });
    const auto leaveWaiting = [&](const QByteArray& bytes) {
        writeFileBytes(r, bytes);
        nextResult = r;
        fileops::failNth(fileops::Op::Rename, 1);
        EXPECT_FALSE(PollFileSources());
        ASSERT_EQ(WaitingFiles(1).size(), 1);
        EXPECT_EQ(readFileBytes(WaitingFiles(1).first().file.text()), bytes);
    };

    leaveWaiting("first");
    ASSERT_TRUE(QFile::remove(WaitingFiles(1).first().file.text()));
    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(documents(), u"1:1:%1"_s.arg(r));
    EXPECT_EQ(readFileBytes(BufDir + u"1.1"_s), "second");
    EXPECT_TRUE(WaitingFiles(1).isEmpty());

    leaveWaiting("third");
    // Its final name is refused, and so is the way back to its waiting name.
    fileops::failNth(fileops::Op::Rename, 1);
    fileops::failNth(fileops::Op::Move, 2);
    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(documents(), u"1:1:%1 2:1:%1"_s.arg(r));
    EXPECT_EQ(readFileBytes(BufDir + u"2.1"_s), "second");
    EXPECT_TRUE(WaitingFiles(1).isEmpty());
    RecoverHandOvers();
    EXPECT_EQ(documents(), u"1:1:%1 2:1:%1 3:1:%1"_s.arg(r));
    EXPECT_EQ(readFileBytes(BufDir + u"3.1"_s), "third");
    EXPECT_EQ(entries(BufDir), (QStringList{u"1.1"_s, u"2.1"_s, u"3.1"_s}));
}

// A link in a folder that is cleared brings its target's bytes and goes; the target stays. A
// name written in windows-1252 by an old copier (0xFF is "ÿ" there, and no UTF-8) is taken
// and stored as the code page reads it.
TEST_F(FolderSourceTest, LinksAndNamesOutsideTheFileNameEncodingAreTaken)
{
    const QString in = folder(u"in"_s);
    const QString outside = f.ws.path(u"target.pdf"_s);
    addFolderSource(1, in, true);
    CheckFileSources();
    writeFileBytes(outside, "target");
    ASSERT_TRUE(QFile::link(outside, in + u"/link.pdf"_s));
    const QByteArray odd = QFile::encodeName(in) + "/r\xE9sultat\xFF.txt";
    std::ofstream(odd.constData()) << "odd";

    EXPECT_TRUE(PollFileSources());
    EXPECT_EQ(entries(in), QStringList());
    EXPECT_EQ(readFileBytes(outside), "target");
    const QStringList rows =
        f.cli(u"SELECT File_name FROM \"FILES.DB\" ORDER BY File_name;"_s).split(u'\n');
    EXPECT_EQ(rows, (QStringList{in + u"/link.pdf"_s, in + u"/résultatÿ.txt"_s}));
    EXPECT_FALSE(QFileInfo(BufDir + u"1.1"_s).isSymLink() ||
                 QFileInfo(BufDir + u"2.1"_s).isSymLink());
    EXPECT_EQ(
        (QSet<QByteArray>{readFileBytes(BufDir + u"1.1"_s), readFileBytes(BufDir + u"2.1"_s)}),
        (QSet<QByteArray>{"target", "odd"}));
}

TEST_F(FolderSourceTest, BfaFileBecomesOneDocumentPerPatientAndCupAndLosesNothingOnAFailure)
{
    using namespace bfa;
    const QString savedOrg = OrgName1;
    OrgName1 = u"Лаборатория"_s;
    const QString in = folder(u"bfa"_s);
    addFolderSource(1, in, true, u"*.*"_s, u"bfa"_s);
    CheckFileSources();
    // Two records of one patient and cup (one report), a record number that is no number, and a
    // last record cut off before its end mark.
    const QByteArray semenov = field("iPNAME", iso(u"Семёнов Пётр"_s)) + field("rCUP", "3");
    const QByteArray input =
        STX + semenov + field("iPID", "501") + result("Gluc", "5.4", "mmol/L") + EOT + STX +
        semenov + result("ALT", "31", "U/L") + EOT + STX + field("iPNAME", "Petrov") +
        field("rCUP", "4") + field("iPID", "x12") + result("K", "4.1", "mmol/L") + EOT + STX +
        field("iPNAME", "Sidorova") + field("rCUP", "5") + result("Na", "140", "mmol/L");
    writeFileBytes(in + u"/RESULTS.DAT"_s, input);

    // The second report cannot be brought into the documents' folder.
    fileops::failNth(fileops::Op::Move, 2, ENOSPC);
    EXPECT_FALSE(PollFileSources());
    EXPECT_EQ(entries(in), QStringList{u"RESULTS.DAT"_s});
    EXPECT_EQ(readFileBytes(in + u"/RESULTS.DAT"_s), input);
    EXPECT_EQ(count(u"FILES.DB"_s), u"0"_s) << "the first report's document is withdrawn";
    EXPECT_TRUE(entries(BufDir).isEmpty()) << entries(BufDir).join(u' ').toStdString();
    EXPECT_EQ(entries(WorkPath + u"bfa_work"_s), QStringList());
    EXPECT_EQ(logged(u"BFA file"_s), 1);

    // The next pass takes the whole file, once, from a copy in the private work folder.
    EXPECT_TRUE(PollFileSources());
    EXPECT_FALSE(PollFileSources());
    EXPECT_EQ(entries(in), QStringList()) << "the original is removed, no report is left there";
    EXPECT_EQ(entries(WorkPath + u"bfa_work"_s), QStringList());
    EXPECT_EQ(f.cli(u"SELECT Number, Cfg, Patient_Nom, quote(Dossier), Date, Time FROM "
                    "\"FILES.DB\" ORDER BY Number;"_s),
              u"1|1|Семёнов Пётр|501|2026-12-06|22:10:46\n"
              "2|1|Petrov|0|2026-12-06|22:10:46\n"
              "3|1|Sidorova|NULL|2026-12-06|22:10:46"_s);
    // The reports, whose layout the report tests check, carry the organisation's lines.
    const QByteArray first = readFileBytes(BufDir + u"1.1"_s);
    EXPECT_TRUE(first.contains(cp1251(u"\r\n"_s + sp(20) + u"Лаборатория\r\n"_s)));
    EXPECT_TRUE(first.contains(cp1251(u"    Gluc"_s)) && first.contains(cp1251(u"    ALT"_s)));
    EXPECT_TRUE(readFileBytes(BufDir + u"3.1"_s).contains(cp1251(u"    Na"_s)));
    OrgName1 = savedOrg;
}

TEST_F(BreezeSourceTest, EachNewCurrentPatientGivesOneDocument)
{
    addBreezeSource(1, u"SM1"_s);
    // The folder named inside the file does not matter: the result file is looked for beside
    // the current-patient file, whatever the case of its name.
    writeFileBytes(data + u"/pat0001.sm1"_s, "exercise test");
    select("C:\\BREEZE\\DATA\\PAT0001.PAT");

    EXPECT_TRUE(PollBreezeSources());
    EXPECT_FALSE(PollBreezeSources());
    EXPECT_EQ(documents(), u"1:1:"_s + data + u"/pat0001.sm1"_s);
    EXPECT_EQ(readFileBytes(data + u"/pat0001.sm1"_s), "exercise test") << "the file stays";
    EXPECT_TRUE(QDir(BufDir).isEmpty());
    EXPECT_EQ(f.cli(u"SELECT Cur_file, Cur_time FROM \"rcfiles.DB\";"_s),
              u"%1|%2"_s.arg(data + u"/pat0001.sm1"_s).arg(PackFileTime(Monday.addSecs(10))));

    // Another patient whose results are not written yet: looked at again on every tick. The
    // file is read in the program's code page (windows-1252 here: 0xC9 is É).
    select("D:\\OTHER\\\xC9lodie.pat");
    EXPECT_FALSE(PollBreezeSources());
    EXPECT_FALSE(PollBreezeSources());
    writeFileBytes(data + u"/Élodie.SM1"_s, "second");
    EXPECT_TRUE(PollBreezeSources());

    // The first patient once more, now that another one was current in between.
    select("C:\\BREEZE\\DATA\\PAT0001.PAT");
    EXPECT_TRUE(PollBreezeSources());
    EXPECT_EQ(documents(), u"1:1:%1/pat0001.sm1 2:1:%1/Élodie.SM1 3:1:%1/pat0001.sm1"_s.arg(data));
}

TEST_F(BreezeSourceTest, SourceBackFromPassiveStartsFromThePresentPatient)
{
    addBreezeSource(1, u"DTX"_s, 1);
    addBreezeSource(2, u"DTX"_s, 3); // neither active nor passive: left alone
    QFile::remove(curpat);
    CheckBreezeSources();
    EXPECT_EQ(f.cli(u"SELECT group_concat(State) FROM \"cfg.db\";"_s), u"2,3"_s);
    EXPECT_FALSE(PollBreezeSources());

    writeFileBytes(data + u"/P1.DTX"_s, "1");
    writeFileBytes(data + u"/P2.DTX"_s, "2");
    select("C:\\DATA\\P1.PAT");
    CheckBreezeSources();
    EXPECT_EQ(f.cli(u"SELECT group_concat(State) FROM \"cfg.db\";"_s), u"1,3"_s);
    EXPECT_FALSE(PollBreezeSources()) << "the patient current on return is not taken";
    select("C:\\DATA\\P1.PAT");
    EXPECT_FALSE(PollBreezeSources()) << "nor when Breeze writes the same patient again";

    select("C:\\DATA\\P2.PAT");
    EXPECT_TRUE(PollBreezeSources());
    EXPECT_EQ(documents(), u"1:1:"_s + data + u"/P2.DTX"_s);
}

// A package takes each Breeze document's file into the buffer folder under the document's number:
// copied when the source leaves its files, moved when it clears them; of several files that
// match without regard to case, the first or the newest as the source says, or exactly the
// file's own name. Other packages and sources are left alone; a file gone is logged and skipped.
TEST_F(BreezeSourceTest, PackageTakesEachDocumentsFileCopiedOrMoved)
{
    addBreezeSource(1, u"SM1"_s, 1, 0, false);
    addBreezeSource(2, u"DTX"_s, 1, 1, true);
    addBreezeSource(3, u"XYZ"_s, 1, 2, true);
    const auto file = [this](const QString& name, const QByteArray& bytes, int minutes) {
        writeFileBytes(data + u"/"_s + name, bytes);
        setModified(data + u"/"_s + name, Monday.addSecs(60 * minutes));
    };
    file(u"P1.SM1"_s, "copied", 1);
    file(u"P2.DTX"_s, "older", 2);
    file(u"p2.dtx"_s, "newest", 4);
    file(u"P2.dtx"_s, "middle", 3);
    file(u"Q.XYZ"_s, "exact", 5);
    file(u"q.xyz"_s, "other case", 6);
    const QList<int> numbers = {
        AddImportedFile(CurrentPack, data + u"/P1.SM1"_s, 1, 0, u"SM1"_s),
        AddImportedFile(CurrentPack, data + u"/P2.DTX"_s, 2, 0, u"DTX"_s),
        AddImportedFile(CurrentPack + 1, data + u"/P1.SM1"_s, 1, 0, u"SM1"_s),
        AddImportedFile(CurrentPack, data + u"/GONE.SM1"_s, 1, 0, u"SM1"_s),
        AddImportedFile(CurrentPack, data + u"/Q.XYZ"_s, 3, 0, u"XYZ"_s),
    };
    ASSERT_EQ(numbers, QList<int>({1, 2, 3, 4, 5}));
    const QString pack = folder(u"pack"_s) + u"/"_s;
    for (int source : {1, 2, 3})
        PackBreezeFiles(CurrentPack, source, pack);

    EXPECT_EQ(entries(pack), QStringList({u"1.2"_s, u"2.2"_s, u"5.2"_s}));
    EXPECT_EQ(readFileBytes(pack + u"1.2"_s), "copied");
    EXPECT_EQ(readFileBytes(pack + u"2.2"_s), "newest");
    EXPECT_EQ(readFileBytes(pack + u"5.2"_s), "exact");
    for (const auto& [name, minutes] :
         {std::pair{u"1.2"_s, 1}, std::pair{u"2.2"_s, 4}, std::pair{u"5.2"_s, 5}})
        EXPECT_EQ(QFileInfo(pack + name).lastModified(), Monday.addSecs(60 * minutes))
            << name.toStdString();
    EXPECT_EQ(entries(data), QStringList({u"P1.SM1"_s, u"P2.DTX"_s, u"P2.dtx"_s, u"q.xyz"_s}));
    EXPECT_EQ(logged(u"GONE.SM1 of document 4 not found"_s), 1);
}

TEST_F(BreezeSourceTest, RewrittenBreezeFileIsSentAgainOncePerChange)
{
    DirectSend = true;
    const auto directSendOff = qScopeGuard([] { DirectSend = false; });
    const QString import = f.ws.path(u"import"_s);
    QDir().mkpath(import);
    writeFileBytes(data + u"/P1.DTX"_s, "first results");
    setModified(data + u"/P1.DTX"_s, Monday);
    writeFileBytes(import + u"/1.DTX"_s, "first results");
    writeFileBytes(import + u"/2.DTX"_s, "orphan copy");
    LocalTable& ds = *f.tables->DSFiles;
    ds.appendRecord({1, data + u"/P1.DTX"_s, PackFileTime(Monday), import + u"/1.DTX"_s, 1});
    ds.appendRecord({2, data + u"/GONE.DTX"_s, PackFileTime(Monday), import + u"/2.DTX"_s, 1});

    EXPECT_FALSE(PollBreezeSources());
    EXPECT_EQ(f.cli(u"SELECT Number FROM \"DSfiles.db\";"_s), u"1"_s)
        << "the row whose Breeze file is gone is dropped";
    EXPECT_EQ(readFileBytes(import + u"/1.DTX"_s), "first results");

    writeFileBytes(data + u"/P1.DTX"_s, "corrected results");
    setModified(data + u"/P1.DTX"_s, Monday.addSecs(60));
    PollBreezeSources();
    EXPECT_EQ(readFileBytes(import + u"/1.DTX"_s), "corrected results");
    EXPECT_EQ(QFileInfo(import + u"/1.DTX"_s).lastModified(), Monday.addSecs(60));
    EXPECT_EQ(f.cli(u"SELECT \"Date&Time\" FROM \"DSfiles.db\";"_s),
              QString::number(PackFileTime(Monday.addSecs(60))));

    // Unchanged since: the practice software's copy is left alone.
    writeFileBytes(import + u"/1.DTX"_s, "imported and changed there");
    PollBreezeSources();
    EXPECT_EQ(readFileBytes(import + u"/1.DTX"_s), "imported and changed there");
}
