// The serial-source manager: the raw capture cut by start and end bytes, what happens to captures
// that cannot be stored, BFA captures, binding, and the ports of active and passive sources over
// pseudo-terminal pairs. Silence and the acknowledge mode are left to the capture's fuzz target,
// whose seeds play them, and to the end-to-end tests.
#include "driverharness.h"

#include <analysers/acl2000util.h>
#include <analysers/comslots.h>
#include <platform/inifile.h>
#include <platform/regional.h>

#include <QFileInfo>

namespace {

// The workstation of FakeWorkstation with serial sources, BFA conversion and patient fields.
class SlotsWorkstation : public FakeWorkstation
{
public:
    QList<SerialSourceRow> SerialSources() override { return sources; }
    std::optional<SerialSourceRow> SerialSource(int Number) override
    {
        for (const SerialSourceRow& r : sources)
            if (r.Number == Number)
                return r;
        return std::nullopt;
    }
    void SetDocumentPatient(int Number, const DocumentPatient& Patient) override
    {
        patients[Number] = Patient;
    }
    int ReadBFAFile(const QString& FileName, QStringList& Lines) override
    {
        return bfa(FileName, Lines);
    }

    QList<SerialSourceRow> sources;
    std::map<int, DocumentPatient> patients;
    std::function<int(const QString&, QStringList&)> bfa = [](const QString&, QStringList&) {
        return 0;
    };
};

// A serial source with capture settings; line settings 9600 baud, 8 data bits.
SerialSourceRow serialSource(int number, int com, const QString& code, bool fstx, int stx, int etx,
                             int timeout, int state = 2)
{
    return {number, state, code, true, com, fstx, stx, etx, timeout, 6, 8};
}

void receive(int slot, const QByteArray& bytes)
{
    ReceiveComData(slot, int(bytes.size()), bytes.constData());
}

// A driver that keeps what it is given and can be told to fail.
class ProbeDriver : public TComDriver
{
public:
    void DataReceived(const char* Data, int Count) override
    {
        received.append(Data, Count);
        if (failNext) {
            failNext = false;
            throw Exception(u"the probe failed"_s);
        }
    }
    QByteArray received;
    bool failNext = false;
};

class ComSlots : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedIni = IniFileName;
        IniFileName = ws.path(u"QUORVANE.INI"_s);
    }
    void TearDown() override
    {
        FreeComPortSlots();
        fileops::resetFaults();
        IniFileName = m_savedIni;
    }
    // Binds the sources as start-up does.
    void start(const QList<SerialSourceRow>& sources)
    {
        workstation.sources = sources;
        StartComSources();
    }
    // What the captures set aside in the capture folder hold, sorted.
    static QStringList keptCaptures(int slot)
    {
        QStringList kept;
        for (const QFileInfo& f : QDir(ComBufDir).entryInfoList({u"comport%1-*.buf"_s.arg(slot)}))
            kept << QString::fromLatin1(readFileBytes(f.filePath()));
        kept.sort();
        return kept;
    }
    QStringList handedBytes() const
    {
        QStringList out;
        for (const FakeWorkstation::Handed& h : workstation.handed)
            out << QString::fromLatin1(h.bytes);
        return out;
    }

    TestWorkspace ws;
    SlotsWorkstation workstation;

private:
    QString m_savedIni;
};

} // namespace

TEST_F(ComSlots, StartAndEndBytesCutDocumentsAndNothingCapturedIsLost)
{
    start({serialSource(3, 2, u"XYZ"_s, true, 0x02, 0x03, 30)});

    // Bytes before the start byte and after the end byte are dropped.
    receive(2, "\x41\x02\x41\x42\x03\x43");
    EXPECT_EQ(ComPortSlots[2].State, 0);
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_EQ(workstation.handed[0].bytes, "AB");
    EXPECT_EQ(workstation.handed[0].source, 3);
    EXPECT_EQ(workstation.handed[0].type, u"XYZ"_s);
    EXPECT_EQ(workstation.handed[0].file, ComBufDir + u"comport2.buf"_s);
    EXPECT_EQ(workstation.refreshed, QList<int>{26});

    // A document over three batches; a start byte inside a document is kept.
    receive(2, "\x02"
               "CD");
    EXPECT_EQ(ComPortSlots[2].State, 1);
    receive(2, "E\x02");
    EXPECT_EQ(readFileBytes(ComBufDir + u"comport2.buf"_s), "CDE\x02");
    receive(2, "F\x03");
    EXPECT_EQ(handedBytes(), (QStringList{u"AB"_s, u"CDE\x02"
                                                   "F"_s}));

    // An empty document is no document.
    receive(2, "\x02\x03");
    EXPECT_EQ(workstation.handed.size(), 2);
    EXPECT_EQ(ComPortSlots[2].State, 0);

    // A buffer left holding bytes (the program ended during a capture) is kept aside when the next
    // document starts.
    writeFileBytes(ComPortBufferName(2), "left over");
    // The documents table refuses the first document: it is kept under a name of its own.
    workstation.refusals = 1;
    receive(2, "\x02ONE\x03");
    receive(2, "\x02TWO\x03");
    ASSERT_EQ(workstation.handed.size(), 4);
    EXPECT_EQ(workstation.handed[2].number, 0);
    EXPECT_EQ(workstation.handed[3].bytes, "TWO");
    EXPECT_EQ(keptCaptures(2), (QStringList{u"ONE"_s, u"left over"_s}));

    // Source 6 takes over COM2 while source 3 is collecting: what was collected is source 3's
    // document.
    receive(2, "\x02THREE");
    workstation.sources.append(serialSource(6, 2, u"ABC"_s, false, 0x02, 0x03, 30));
    CreateSourceDriver(6, 2);
    ASSERT_EQ(workstation.handed.size(), 5);
    EXPECT_EQ(workstation.handed[4].bytes + workstation.handed[4].type.toLatin1(), "THREEXYZ");
    EXPECT_EQ(workstation.handed[4].source, 3);
    EXPECT_EQ(ComPortSlots[2].State, 0);
    EXPECT_EQ(ComPortSlots[2].Number, 6);
}

TEST_F(ComSlots, BFACaptureBecomesOneDocumentPerReport)
{
    start({serialSource(9, 4, u"BFA"_s, true, 0x02, 0x03, 30)});
    workstation.bfa = [&](const QString& file, QStringList& lines) {
        EXPECT_EQ(readFileBytes(file), "raw BFA records");
        for (const char* n : {"1", "2", "3"})
            writeFileBytes(ComBufDir + u"~bfa%1.tmp"_s.arg(n), QByteArray("report ") + n);
        QFile::remove(file);
        lines << u" IVANOV I. \t 17 \t06/12/2026\t22:10:46"_s << u"\t\t07/12/2026\t08:00:00"_s
              << u"PETROV\tA12\tyesterday\t25:00:00"_s;
        return 3;
    };
    receive(4, "\x02raw BFA records\x03");
    EXPECT_EQ(handedBytes(), (QStringList{u"report 1"_s, u"report 2"_s, u"report 3"_s}));
    EXPECT_EQ(workstation.handed[2].source, 9);
    EXPECT_EQ(workstation.handed[2].type, u"BFA"_s);
    EXPECT_EQ(workstation.refreshed, (QList<int>{26, 27, 28}));
    ASSERT_EQ(workstation.patients.size(), 3u);

    const DocumentPatient& first = workstation.patients[26];
    EXPECT_EQ(first.Name, u"IVANOV I."_s);
    EXPECT_EQ(first.Dossier, 17);
    EXPECT_EQ(first.Date, EncodeDate(2026, 12, 6));
    EXPECT_EQ(first.Time, EncodeTime(22, 10, 46, 0));
    EXPECT_FALSE(workstation.patients[27].Dossier.has_value()) << "no record number: left alone";
    // A record number that is no number gives 0; a date or time that does not read is logged and
    // the document keeps those of its registration.
    const DocumentPatient& third = workstation.patients[28];
    EXPECT_EQ(third.Dossier, 0);
    EXPECT_FALSE(third.Date.has_value());
    EXPECT_FALSE(third.Time.has_value());
    EXPECT_TRUE(ws.operationsLog().contains("\"yesterday\" is no date"));

    // A conversion that fails keeps the capture.
    workstation.bfa = [](const QString& file, QStringList&) -> int {
        throw EInOutError(u"Cannot read \"%1\""_s.arg(file));
    };
    receive(4, "\x02unreadable\x03");
    EXPECT_EQ(workstation.handed.size(), 3);
    EXPECT_EQ(keptCaptures(4), QStringList{u"unreadable"_s});
}

TEST_F(ComSlots, BindingNeedsSettingsAndAPortOfOneToEightAndSurvivesAFailedWarmUp)
{
    int warmUps = 0;
    TDeviceDriverEntry entry = DeviceDriverEntryOf<ProbeDriver>(u"TPR"_s);
    entry.Code = u"TWU"_s;
    entry.DevCode = 4;
    entry.WarmUp = [&warmUps](TDriver&) {
        ++warmUps;
        throw Exception(u"the practice database is not connected"_s);
    };
    RegisterDeviceDriver(entry);
    SerialSourceRow noSettings = serialSource(1, 1, u"XYZ"_s, true, 2, 3, 30, 1);
    noSettings.HasSettings = false;
    SerialSourceRow com9 = serialSource(2, 9, u"XYZ"_s, true, 2, 3, 30, 1);
    ASSERT_NO_THROW(start({noSettings, com9, serialSource(4, 4, u"TWU"_s, true, 2, 3, 30),
                           serialSource(3, 3, u"XYZ"_s, true, 2, 3, 30)}));
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(ComPortSlots[n].Number, n == 3 || n == 4 ? n : 0);
    CreateSourceDriver(77, 1); // no such source
    const QByteArray log = ws.operationsLog();
    EXPECT_TRUE(log.contains("Serial source 1 not started: it has no serial settings"));
    EXPECT_TRUE(log.contains("Serial source 2 not started: its port COM9"));
    EXPECT_TRUE(log.contains("Serial source 77 not started"));

    // The failed warm-up is logged; the binding stands and the driver gets the slot's bytes.
    EXPECT_EQ(warmUps, 1);
    auto* probe = static_cast<ProbeDriver*>(DriverObject(typeid(ProbeDriver)));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->DevCode, 4);
    EXPECT_TRUE(ws.operationsLog().contains("the practice database is not connected"));
    receive(4, "abc");
    EXPECT_EQ(probe->received, "abc");
}

TEST_F(ComSlots, ActivePortsOpenWithTheirSettingsAndOutliveAFailingDriverPassiveOnesStayClosed)
{
    PtyPair com3;
    PtyPair com6;
    ASSERT_TRUE(com3.isOpen() && com6.isOpen());
    routePorts({{3, &com3}, {6, &com6}});
    IniFile ini(IniFileName);
    ini.writeInteger(u"Options.COM3"_s, u"EnableDTROnOpen"_s, 1);

    RegisterDeviceDriver(DeviceDriverEntryOf<ProbeDriver>(u"TPR"_s));
    SerialSourceRow active = serialSource(1, 3, u"TPR"_s, true, 2, 3, 30, 1);
    active.BaudRate = 8; // 19200
    active.StopBits = 1; // the place in the list: one and a half, sent as two
    active.Parity = 2;
    SerialSourceRow passive = serialSource(2, 6, u"XYZ"_s, true, 2, 3, 30, 2);
    start({active, passive});

    TCommPortDriver& port3 = *ComPortSlots[3].Port;
    ASSERT_TRUE(port3.Connected());
    EXPECT_EQ(port3.ComPortStopBits(), sb1HALFBITS);
    EXPECT_EQ(port3.ComPortParity(), ptEVEN);
    EXPECT_TRUE(port3.EnableDTROnOpen());
    const PtyLineSettings line = com3.nearSettings();
    EXPECT_EQ(line.baudRate, 19200);
    EXPECT_TRUE(line.twoStopBits);
    EXPECT_FALSE(line.rtsCts || line.xonXoff) << "no flow control on the line";
    EXPECT_FALSE(ComPortSlots[6].Port->Connected());

    // Saving the passive source binds it and leaves its port closed.
    CreateSourceDriver(2, 1);
    EXPECT_FALSE(ComPortSlots[6].Port->Connected());

    // The configuration panel closes all ports and, when it closes, opens the active ones.
    CloseAllComPorts();
    EXPECT_FALSE(port3.Connected());
    OpenConfiguredComPorts();
    EXPECT_TRUE(port3.Connected());
    EXPECT_FALSE(ComPortSlots[6].Port->Connected());

    // A driver that fails does not stop its port: the next chunk, delivered as the main window
    // delivers each slot's bytes, reaches it.
    port3.OnReceiveData = [](TCommPortDriver*, const char* Data, int Count) {
        ReceiveComData(3, Count, Data);
    };
    port3.SetComPortPollingDelay(10);
    auto* probe = static_cast<ProbeDriver*>(DriverObject(typeid(ProbeDriver)));
    ASSERT_NE(probe, nullptr);
    probe->failNext = true;
    EXPECT_THROW(receive(3, "first"), Exception);
    ScriptedPeer peer(com3);
    peer.write("second").waitFor([&] { return probe->received.endsWith("second"); }, u"delivery"_s);
    ASSERT_TRUE(peer.run()) << peer.failure().toStdString();

    // Deactivated: binding it closes its port.
    workstation.sources[0].State = 2;
    CreateSourceDriver(1, 1);
    EXPECT_FALSE(port3.Connected());
}

// The table-driven ACL 2000 source ("ACX") talks over COM2, its driver's own port: a slot on COM2
// is left closed for it, a slot on another port captures, a passive binding ends the dialogue, and
// a missing protocol file leaves the source unbound until a later binding finds it.
TEST_F(ComSlots, ACXDialogueHoldsItsOwnPortAndNeedsItsProtocolFile)
{
    PtyPair com2;
    PtyPair com3;
    ASSERT_TRUE(com2.isOpen() && com3.isOpen());
    routePorts({{2, &com2}, {3, &com3}});
    const QString protocol = ws.path(u"Protocols/acl2000.prt"_s);

    // No protocol file: logged with its name, the source unbound, the other source bound.
    start({serialSource(3, 2, u"ACX"_s, false, 2, 3, 30, 1),
           serialSource(4, 3, u"XYZ"_s, false, 2, 3, 30, 1)});
    EXPECT_TRUE(ws.operationsLog().contains(
        u"Serial source 3 (ACX) not started: its driver cannot be made: Protocol file \"%1\" "
        "cannot be read"_s.arg(protocol)
            .toLatin1()))
        << ws.operationsLog().toStdString();
    EXPECT_EQ(ComPortSlots[2].Number, 0);
    EXPECT_FALSE(ComPortSlots[2].Port->Connected());
    EXPECT_TRUE(ComPortSlots[3].Port->Connected());

    // Bound again with its file, the dialogue runs on COM2 while the slot of COM2 stays closed.
    writeFileBytes(protocol, "0\n0\n0 1 3 5000\n0\n0 !HELLO\n0\n0 :ACK[CR][LF]\n0 [CR][LF]\n");
    CreateSourceDriver(3, 1);
    auto* dialogue = dynamic_cast<TACL2000Util*>(DriverObject(typeid(TACL2000Util)));
    ASSERT_NE(dialogue, nullptr);
    EXPECT_EQ(ComPortSlots[2].Number, 3);
    EXPECT_FALSE(ComPortSlots[2].ReceiveProc) << "the driver takes no bytes from the slot";
    ScriptedPeer analyser(com2);
    analyser.expect("!HELLO").write(":ACK\r\n\r\nC7");
    analyser.waitFor([&] { return !dialogue->Alive(); }, u"the end of the dialogue"_s);
    ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();
    EXPECT_FALSE(ComPortSlots[2].Port->Connected());
    OpenConfiguredComPorts();
    EXPECT_FALSE(ComPortSlots[2].Port->Connected()) << "the driver's port is not the slot's";

    // On COM3 the slot captures, and the dialogue still goes to COM2.
    workstation.sources[0].Com = 3;
    CreateSourceDriver(3, 1);
    EXPECT_TRUE(ComPortSlots[3].Port->Connected());
    receive(3, "RAW\x03");
    ASSERT_EQ(handedBytes(), QStringList({u"RAW"_s}));
    analyser.expect("!HELLO");
    ASSERT_TRUE(analyser.run()) << analyser.failure().toStdString();

    // Passive: the dialogue ends.
    workstation.sources[0].State = 2;
    CreateSourceDriver(3, 1);
    EXPECT_FALSE(dialogue->Running());
    EXPECT_FALSE(dialogue->Alive());
}
