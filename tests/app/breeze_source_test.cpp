// Breeze sources over a real current-patient file: a new patient's result file taken once, the
// Windows path inside the file, result files found whatever their case, a source coming back from
// passive, Breeze files rewritten after a direct send, and the files a package takes along.
#include "filetime.h"
#include "localtables_fixture.h"

#include <app/appglobals.h>
#include <app/documents/fileage.h>
#include <app/patients/directsend.h>
#include <app/sources/breeze_source.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

#include <support/qt_printers.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime Monday(QDate(2026, 11, 30), QTime(8, 15, 0));

class BreezeSourceTest : public ::testing::Test
{
protected:
    LocalTablesFixture f;
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

    QString documents() const
    {
        return f.cli(u"SELECT group_concat(Number || ':' || Cfg || ':' || File_name, ' ') FROM "
                     "(SELECT * FROM \"FILES.DB\" ORDER BY Number);"_s);
    }
};

} // namespace

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

    // The same patient selected again: nothing.
    select("C:\\BREEZE\\DATA\\PAT0001.PAT");
    EXPECT_FALSE(PollBreezeSources());

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

TEST_F(BreezeSourceTest, RewrittenBreezeFileIsSentAgainOncePerChange)
{
    struct DirectSendOn
    {
        DirectSendOn() { DirectSend = true; }
        ~DirectSendOn() { DirectSend = false; }
    } on;
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

    // Direct send off: nothing is followed up.
    DirectSend = false;
    setModified(data + u"/P1.DTX"_s, Monday.addSecs(120));
    PollBreezeSources();
    EXPECT_EQ(readFileBytes(import + u"/1.DTX"_s), "imported and changed there");
}

TEST_F(BreezeSourceTest, PackageTakesEachDocumentsBreezeFile)
{
    addBreezeSource(1, u"DTX"_s, 1, 1, false); // the newest, copied
    addBreezeSource(2, u"SM1"_s, 1, 0, true);  // the first, moved
    // Three files of one patient whose names differ only in case; the middle one is newest.
    for (const auto& [name, secs] :
         {std::pair{u"P1.DTX"_s, 0}, std::pair{u"p1.dtx"_s, 300}, std::pair{u"P1.dtx"_s, 60}}) {
        writeFileBytes(data + u"/"_s + name, name.toUtf8());
        setModified(data + u"/"_s + name, Monday.addSecs(secs));
    }
    writeFileBytes(data + u"/P9.SM1"_s, "exercise");
    const auto document = [this](int number, int pack, int cfg, const QString& name) {
        f.tables->files->appendRecord(
            {number, pack, name, cfg, Variant::null(), Variant::null(), 0});
    };
    document(26, 7, 1, data + u"/P1.DTX"_s);
    document(27, 7, 2, data + u"/p9.sm1"_s);
    document(28, 8, 1, data + u"/P1.DTX"_s); // another package
    document(29, 7, 1, data + u"/P5.DTX"_s); // its file is gone

    PackBreezeFiles(7, 1, BufDir);
    PackBreezeFiles(7, 2, BufDir);

    EXPECT_EQ(QDir(BufDir).entryList(QDir::Files, QDir::Name), (QStringList{u"1A.2"_s, u"1B.2"_s}));
    EXPECT_EQ(readFileBytes(BufDir + u"1A.2"_s), "p1.dtx");
    EXPECT_EQ(QFileInfo(BufDir + u"1A.2"_s).lastModified(), Monday.addSecs(300));
    EXPECT_TRUE(QFileInfo::exists(data + u"/p1.dtx"_s)) << "copied when Clear is off";
    EXPECT_EQ(readFileBytes(BufDir + u"1B.2"_s), "exercise");
    EXPECT_FALSE(QFileInfo::exists(data + u"/P9.SM1"_s)) << "moved when Clear is on";
    EXPECT_TRUE(f.ws.operationsLog().contains("P5.DTX"));
}
