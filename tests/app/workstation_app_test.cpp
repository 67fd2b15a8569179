// The workstation service the serial sources use, over real local tables: reading the serial
// sources, storing results and what is left when that fails, the patient of a BFA report; and a
// BFA capture from a pseudo-terminal pair turned into documents, checked with sqlite3.
#include "bfa_frames.h"
#include "localtables_fixture.h"

#include <analysers/comslots.h>
#include <app/appglobals.h>
#include <app/documents/workstation_app.h>
#include <platform/clock.h>
#include <platform/db/localtable.h>
#include <platform/fileops.h>
#include <platform/inifile.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <support/ptypair.h>
#include <support/scoped_dialogs.h>

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class AppWorkstationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(ComBufDir);
        m_savedIni = IniFileName;
        IniFileName = f.ws.path(u"QUORVANE.INI"_s);
        setWorkstationService(&AppWorkstation());
    }
    void TearDown() override
    {
        FreeComPortSlots();
        setWorkstationService(nullptr);
        IniFileName = m_savedIni;
    }

    // A serial source with its settings row: 9600 baud, 8 data bits.
    void addSerial(int number, int com, const QString& code, bool fstx, int stx, int etx,
                   int timeout)
    {
        f.addSource(number, 4, false, false, 0, code);
        f.addComSettings(number, com, fstx, stx, etx, timeout);
    }
    QString rows(const QString& columns) const
    {
        return f.cli(u"SELECT %1 FROM \"FILES.DB\" ORDER BY Number;"_s.arg(columns));
    }
    QStringList keptCaptures(const QString& pattern) const
    {
        return QDir(ComBufDir).entryList({pattern}, QDir::Files, QDir::Name);
    }

    LocalTablesFixture f;

private:
    QString m_savedIni;
};

} // namespace

TEST_F(AppWorkstationTest,
       AResultIsStoredWholeOrKeptAndAddImportedFileRaisesWhenNothingIsRegistered)
{
    addSerial(3, 2, u"XYZ"_s, true, 2, 3, 30);
    WorkstationService& ws = AppWorkstation();
    const QString capture = ComBufDir + u"comport2.buf"_s;

    writeFileBytes(capture, "FIRST");
    EXPECT_EQ(ws.StoreResult(capture, 3, u"XYZ"_s), 1);
    EXPECT_EQ(readFileBytes(BufDir + u"1.4"_s), "FIRST");
    EXPECT_FALSE(QFile::exists(capture));
    EXPECT_EQ(rows(u"Number, Cfg, File_name"_s), u"1|3|"_s + capture);

    // A source that no longer exists gets no document; the file stays, under its own name.
    writeFileBytes(capture, "SECOND");
    EXPECT_EQ(ws.StoreResult(capture, 42, u"XYZ"_s), 0);
    // The data file cannot take its final name: the row is taken back.
    writeFileBytes(capture, "THIRD");
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_EQ(ws.StoreResult(capture, 3, u"XYZ"_s), 0);

    // The table refuses the row: by the time the error window opens, the result is kept under a
    // name of its own (a kill then loses nothing, and the next capture cannot overwrite it).
    writeFileBytes(capture, "FOURTH");
    f.cli(u"CREATE TRIGGER refuse BEFORE INSERT ON \"FILES.DB\" BEGIN SELECT RAISE(ABORT, "
          "'refused'); END;"_s);
    ScopedScriptedDialogs dialogs;
    bool keptFirst = false;
    dialogs.answerModal(u"TfError"_s, [&](TForm&) {
        keptFirst = !QFile::exists(capture) && keptCaptures(u"comport2-*.buf"_s).size() == 3;
        return int(mrOk);
    });
    EXPECT_EQ(ws.StoreResult(capture, 3, u"XYZ"_s), 0);
    EXPECT_TRUE(keptFirst);
    f.cli(u"DROP TRIGGER refuse;"_s);

    EXPECT_EQ(rows(u"Number"_s), u"1"_s);
    EXPECT_EQ(QDir(BufDir).entryList(QDir::Files | QDir::Hidden), QStringList{u"1.4"_s});
    QStringList kept;
    for (const QString& name : keptCaptures(u"comport2-*.buf"_s))
        kept << QString::fromLatin1(readFileBytes(ComBufDir + name));
    kept.sort();
    EXPECT_EQ(kept, (QStringList{u"FOURTH"_s, u"SECOND"_s, u"THIRD"_s}));
    EXPECT_TRUE(f.ws.operationsLog().contains("was not stored as a document"));

    // An earlier document 2 (deleted since: its data file stays) whose result cannot be put
    // aside stops the registration, which raises; put aside, it is not overwritten.
    writeFileBytes(BufDir + u"2.4"_s, "old result");
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_THROW(ws.AddImportedFile(CurrentPack, u"/com_buf/~buf~.mdt"_s, 3, 0, u"mdt"_s),
                 EInOutError);
    EXPECT_EQ(rows(u"Number"_s), u"1"_s);
    writeFileBytes(ComBufDir + u"~buf~.mdt"_s, "new result");
    EXPECT_EQ(ws.StoreResult(ComBufDir + u"~buf~.mdt"_s, 3, u"mdt"_s), 2);
    EXPECT_EQ(readFileBytes(BufDir + u"2.4"_s), "new result");
    EXPECT_EQ(readFileBytes(BufDir + u"2.4.old"_s), "old result");
}

namespace {

// A BFA record of one patient and cup, framed as the analyser frames it.
QByteArray bfaRecord(const QString& name, const QByteArray& id, const QByteArray& cup)
{
    using namespace bfa;
    return STX + field("iPNAME", iso(name)) + field("iPID", id) + field("rCUP", cup) +
           result("Gluc", "5.4", "mmol/L") + EOT;
}

} // namespace

TEST_F(AppWorkstationTest, ABFACaptureFromAPseudoTerminalBecomesOneDocumentPerPatientAndReport)
{
    PtyPair com4;
    ASSERT_TRUE(com4.isOpen());
    IniFile(IniFileName).writeString(u"Options.COM4"_s, u"Device"_s, com4.nearPath());
    addSerial(5, 4, u"BFA"_s, false, STX, ETB, 5); // the end byte never comes: silence ends
    f.addSource(6, 4, false, false, 0, u"ACL"_s);  // no serial settings row
    f.addSource(7, 1);                             // a folder source
    StartComSources();
    CreateSourceDriver(7, 1);
    EXPECT_TRUE(f.ws.operationsLog().contains("Serial source 6 not started: it has no serial"));
    EXPECT_TRUE(f.ws.operationsLog().contains("Serial source 7 not started"));
    TCommPortDriver& port = *ComPortSlots[4].Port;
    port.SetComPortPollingDelay(10);
    port.OnReceiveData = [](TCommPortDriver*, const char* Data, int Count) {
        ReceiveComData(4, Count, Data);
    };
    ASSERT_TRUE(port.Connected());

    const QByteArray stream =
        bfaRecord(u"Иванова Анна"_s, "4711", "7") + bfaRecord(u"Петров Пётр"_s, "812", "3");
    ScriptedPeer bfa(com4);
    bfa.write(stream);
    bfa.waitFor([&] { return readFileBytes(ComPortBufferName(4)) == stream; },
                u"the whole stream in the capture buffer"_s);
    ASSERT_TRUE(bfa.run()) << bfa.failure().toStdString();
    EXPECT_FALSE(PollComBuffers());
    clock::advance(6000);
    EXPECT_TRUE(PollComBuffers());

    EXPECT_EQ(rows(u"Number, Cfg, Patient_Nom, Dossier, Date, Time"_s),
              u"1|5|Иванова Анна|4711|2026-12-06|22:10:52\n"
              "2|5|Петров Пётр|812|2026-12-06|22:10:52"_s);
    EXPECT_TRUE(readFileBytes(BufDir + u"1.4"_s).contains(bfa::cp1251(u"Иванова Анна"_s)));
    EXPECT_TRUE(readFileBytes(BufDir + u"2.4"_s).contains(bfa::cp1251(u"Петров Пётр"_s)));
    EXPECT_TRUE(QDir(ComBufDir).entryList({u"~bfa*"_s}, QDir::Files).isEmpty());

    // Fields without a value are left as they are; a document that does not exist raises.
    WorkstationService& ws = AppWorkstation();
    ws.SetDocumentPatient(
        1, DocumentPatient{u"PETROV"_s, std::nullopt, std::nullopt, EncodeTime(7, 5, 9, 0)});
    EXPECT_EQ(rows(u"Patient_Nom, Dossier, Date, Time"_s).section(u'\n', 0, 0),
              u"PETROV|4711|2026-12-06|07:05:09"_s);
    EXPECT_THROW(ws.SetDocumentPatient(3, DocumentPatient{}), Exception);
}
