// The serial-source manager: the index maps, the raw capture cut by start and end bytes, silence
// and acknowledge mode, what happens to captures that cannot be stored, BFA captures, the
// device-code table, and the ports of active and passive sources over pseudo-terminal pairs.
#include "driverharness.h"

#include <analysers/acl2000.h>
#include <analysers/comslots.h>
#include <analysers/hmx.h>
#include <analysers/integra.h>
#include <analysers/miditron.h>
#include <platform/clock.h>
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
        const auto at =
            std::find_if(sources.begin(), sources.end(),
                         [Number](const SerialSourceRow& r) { return r.Number == Number; });
        return at == sources.end() ? std::nullopt : std::optional(*at);
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

TEST(ComSlotMaps, StoredSettingsToPortEnumerations)
{
    // The stop bits are stored as the position in the list one, one and a half, two; values
    // outside the lists give the first port, 110 baud, 8 data bits, one stop bit and no parity.
    for (const auto& [stored, stop] : {std::pair{0.0, sb1BITS},
                                       {1.0, sb1HALFBITS},
                                       {1.5, sb1HALFBITS},
                                       {2.0, sb2BITS},
                                       {3.0, sb1BITS}})
        EXPECT_EQ(StopBitsToEnum(stored), stop) << stored;
    EXPECT_EQ(PortNumberToIndex(8), 7);
    EXPECT_EQ(PortNumberToIndex(9), 0);
    EXPECT_EQ(BaudIndexToRate(12), br115200);
    EXPECT_EQ(BaudIndexToRate(13), br110);
    EXPECT_EQ(DataBitsToEnum(7), db7BITS);
    EXPECT_EQ(DataBitsToEnum(4), db8BITS);
    EXPECT_EQ(ParityToEnum(4), ptSPACE);
    EXPECT_EQ(ParityToEnum(5), ptNONE);
}

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
    EXPECT_EQ(readFileBytes(BufDir + u"1A.4"_s), "AB");
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
    EXPECT_EQ(readFileBytes(BufDir + u"1C.4"_s), "TWO");
    QStringList kept;
    for (const QFileInfo& f :
         QDir(ComBufDir).entryInfoList({u"comport2-*.buf"_s}, QDir::Files, QDir::Name))
        kept << QString::fromLatin1(readFileBytes(f.filePath()));
    kept.sort();
    EXPECT_EQ(kept, (QStringList{u"ONE"_s, u"left over"_s}));

    // Source 6 takes over COM2 while source 3 is collecting: what was collected is source 3's
    // document.
    receive(2, "\x02THREE");
    workstation.sources.append(serialSource(6, 2, u"ABC"_s, false, 0x02, 0x03, 30));
    CreateSourceDriver(6, 2);
    ASSERT_EQ(workstation.handed.size(), 5);
    EXPECT_EQ(workstation.handed[4].bytes, "THREE");
    EXPECT_EQ(workstation.handed[4].source, 3);
    EXPECT_EQ(workstation.handed[4].type, u"XYZ"_s);
    EXPECT_EQ(ComPortSlots[2].State, 0);
    EXPECT_EQ(ComPortSlots[2].Number, 6);
}

TEST_F(ComSlots, WithoutStartByteTheEndByteAndSilenceCutDocuments)
{
    start({serialSource(4, 1, u"SMX"_s, false, 0x02, 0x03, 90),
           serialSource(5, 8, u"SMX"_s, false, 0x02, 0x03, -1)});

    receive(1, "\x41\x03\x42");
    EXPECT_EQ(handedBytes(), QStringList{u"A"_s});
    EXPECT_EQ(ComPortSlots[1].State, 1);
    EXPECT_EQ(readFileBytes(ComPortBufferName(1)), "B");

    clock::advance(90'000);
    EXPECT_FALSE(PollComBuffers());
    clock::advance(1'000);
    EXPECT_TRUE(PollComBuffers());
    EXPECT_EQ(handedBytes(), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_EQ(ComPortSlots[1].State, 0);
    EXPECT_EQ(workstation.refreshed, (QList<int>{26, 27}));

    // The end byte leaves a new, empty buffer; its silence registers nothing.
    receive(1, "C\x03");
    EXPECT_EQ(ComPortSlots[1].State, 1);
    clock::advance(100'000);
    EXPECT_FALSE(PollComBuffers());
    EXPECT_EQ(ComPortSlots[1].State, 0);
    EXPECT_EQ(handedBytes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));

    // Without a time-out only the end byte ends a document.
    receive(8, "DE");
    clock::advance(10'000'000);
    EXPECT_FALSE(PollComBuffers());
    EXPECT_EQ(ComPortSlots[8].State, 1);
    receive(8, "F\x03");
    EXPECT_EQ(handedBytes().last(), u"DEF"_s);
}

TEST_F(ComSlots, AcknowledgeModeOnASevenBitPort)
{
    PtyPair pair;
    ASSERT_TRUE(pair.isOpen()) << pair.errorString().toStdString();
    routePorts({{5, &pair}});
    SerialSourceRow alb = serialSource(2, 5, u"alb"_s, true, 0x02, 0x03, 30, 1);
    alb.DataBits = 7;
    start({alb});
    ASSERT_TRUE(ComPortSlots[5].Port->Connected());
    EXPECT_TRUE(ComPortSlots[5].AckMode);

    // SOH is answered and dropped, the analyser's ACK dropped, bit 7 cleared (0xC1 is "A"), the
    // ETX (0x83 with bit 7) answered and ending the document.
    receive(5, "\x01\x02\xC1\x06"
               "B\x83");
    ScriptedPeer peer(pair);
    peer.expect("\x86\x86");
    ASSERT_TRUE(peer.run()) << peer.failure().toStdString();
    EXPECT_EQ(handedBytes(), QStringList{u"AB"_s});
}

TEST_F(ComSlots, BFACaptureBecomesOneDocumentPerReport)
{
    start({serialSource(9, 4, u"BFA"_s, true, 0x02, 0x03, 30)});
    QByteArray converted;
    workstation.bfa = [&](const QString& file, QStringList& lines) {
        converted = readFileBytes(file);
        writeFileBytes(ComBufDir + u"~bfa1.tmp"_s, "report one");
        writeFileBytes(ComBufDir + u"~bfa2.tmp"_s, "report two");
        writeFileBytes(ComBufDir + u"~bfa3.tmp"_s, "report three");
        QFile::remove(file);
        lines << u" IVANOV I. \t 17 \t06/12/2026\t22:10:46"_s << u"\t\t07/12/2026\t08:00:00"_s
              << u"PETROV\tA12\tyesterday\t25:00:00"_s;
        return 3;
    };
    receive(4, "\x02raw BFA records\x03");
    EXPECT_EQ(converted, "raw BFA records");
    EXPECT_EQ(handedBytes(), (QStringList{u"report one"_s, u"report two"_s, u"report three"_s}));
    for (const FakeWorkstation::Handed& h : workstation.handed) {
        EXPECT_EQ(h.source, 9);
        EXPECT_EQ(h.type, u"BFA"_s);
    }
    EXPECT_EQ(workstation.refreshed, (QList<int>{26, 27, 28}));
    ASSERT_EQ(workstation.patients.size(), 3u);

    const DocumentPatient& first = workstation.patients[26];
    EXPECT_EQ(first.Name, u"IVANOV I."_s);
    EXPECT_EQ(first.Dossier, 17);
    EXPECT_EQ(first.Date, EncodeDate(2026, 12, 6));
    EXPECT_EQ(first.Time, EncodeTime(22, 10, 46, 0));
    // No record number leaves the field alone.
    const DocumentPatient& second = workstation.patients[27];
    EXPECT_EQ(second.Name, QString());
    EXPECT_FALSE(second.Dossier.has_value());
    EXPECT_EQ(second.Date, EncodeDate(2026, 12, 7));
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
    const QStringList kept =
        QDir(ComBufDir).entryList({u"comport4-*.buf"_s}, QDir::Files, QDir::Name);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readFileBytes(ComBufDir + kept[0]), "unreadable");
}

TEST_F(ComSlots, DeviceCodesChooseTheDriverAndOneObjectServesEachClass)
{
    start(
        {serialSource(1, 1, u"MXM"_s, true, 2, 3, 30), serialSource(2, 2, u"HMX"_s, true, 2, 3, 30),
         serialSource(3, 3, u"mdt"_s, true, 2, 3, 30), serialSource(4, 4, u"INT"_s, true, 2, 3, 30),
         serialSource(5, 5, u"ACL"_s, true, 2, 3, 30), serialSource(6, 6, u"ALB"_s, true, 2, 3, 30),
         serialSource(7, 7, u"AST"_s, true, 2, 3, 30),
         serialSource(8, 8, u"XYZ"_s, true, 2, 3, 30)});

    auto* hmx = dynamic_cast<THMXDriver*>(DriverObject(typeid(THMXDriver)));
    ASSERT_NE(hmx, nullptr);
    // Both HMX codes share the object, which follows the later binding.
    EXPECT_EQ(hmx->Number, 2);
    EXPECT_EQ(hmx->Port, ComPortSlots[2].Port);
    auto* miditron = dynamic_cast<TMiditronDriver*>(DriverObject(typeid(TMiditronDriver)));
    ASSERT_NE(miditron, nullptr);
    EXPECT_EQ(miditron->Port, ComPortSlots[3].Port);
    EXPECT_NE(DriverObject(typeid(TIntegraDriver)), nullptr);
    EXPECT_NE(DriverObject(typeid(TACL2000)), nullptr);
    for (int n : {1, 2, 3, 4, 5})
        EXPECT_TRUE(bool(ComPortSlots[n].ReceiveProc)) << "COM" << n;
    for (int n : {6, 7, 8})
        EXPECT_FALSE(bool(ComPortSlots[n].ReceiveProc)) << "COM" << n;
    EXPECT_TRUE(ComPortSlots[6].AckMode);
    EXPECT_FALSE(ComPortSlots[7].AckMode);

    // Bytes on COM1 reach the one HMX object: the handshake is answered on the later port.
    receive(1, "\x16");
    EXPECT_EQ(hmx->State, 1);

    // Binding again makes no second object; a slot rebound from MDT to a code without a driver
    // captures.
    workstation.sources[2].Extension = u"URI"_s;
    StartComSources();
    EXPECT_EQ(DriverObject(typeid(THMXDriver)), hmx);
    EXPECT_EQ(DriverObject(typeid(TMiditronDriver)), miditron);
    receive(3, "\x02URINE\x03");
    EXPECT_EQ(handedBytes(), QStringList{u"URINE"_s});
    EXPECT_EQ(workstation.handed[0].type, u"URI"_s);
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
    const QByteArray log = ws.operationsLog();
    EXPECT_TRUE(log.contains("Serial source 1 not started: it has no serial settings"));
    EXPECT_TRUE(log.contains("Serial source 2 not started: its port COM9"));
    CreateSourceDriver(77, 1); // no such source
    EXPECT_TRUE(ws.operationsLog().contains("Serial source 77 not started"));

    // The failed warm-up is logged; the binding stands and the driver gets the slot's bytes.
    EXPECT_EQ(warmUps, 1);
    auto* probe = static_cast<ProbeDriver*>(DriverObject(typeid(ProbeDriver)));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->DevCode, 4);
    EXPECT_TRUE(ws.operationsLog().contains("the practice database is not connected"));
    receive(4, "abc");
    EXPECT_EQ(probe->received, "abc");
}

TEST_F(ComSlots, PortsOfActiveSourcesOpenWithTheirSettingsAndPassiveOnesStayClosed)
{
    PtyPair com3;
    PtyPair com6;
    ASSERT_TRUE(com3.isOpen() && com6.isOpen());
    routePorts({{3, &com3}, {6, &com6}});
    IniFile ini(IniFileName);
    ini.writeInteger(u"Options.COM3"_s, u"EnableDTROnOpen"_s, 1);

    SerialSourceRow active = serialSource(1, 3, u"XYZ"_s, true, 2, 3, 30, 1);
    active.BaudRate = 8; // 19200
    active.StopBits = 2;
    active.Parity = 2;
    SerialSourceRow passive = serialSource(2, 6, u"XYZ"_s, true, 2, 3, 30, 2);
    start({active, passive});

    TCommPortDriver& port3 = *ComPortSlots[3].Port;
    ASSERT_TRUE(port3.Connected());
    EXPECT_EQ(port3.ComPortSpeed(), br19200);
    EXPECT_EQ(port3.ComPortStopBits(), sb2BITS);
    EXPECT_EQ(port3.ComPortParity(), ptEVEN);
    EXPECT_TRUE(port3.EnableDTROnOpen());
    const PtyLineSettings line = com3.nearSettings();
    EXPECT_EQ(line.baudRate, 19200);
    EXPECT_TRUE(line.twoStopBits);
    EXPECT_FALSE(line.rtsCts) << "no flow control on the line";
    EXPECT_FALSE(line.xonXoff);
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

    // Deactivated: binding it closes its port.
    workstation.sources[0].State = 2;
    CreateSourceDriver(1, 1);
    EXPECT_FALSE(port3.Connected());
}

TEST_F(ComSlots, ADriverThatFailsDoesNotStopItsPort)
{
    PtyPair pair;
    ASSERT_TRUE(pair.isOpen());
    routePorts({{1, &pair}});
    RegisterDeviceDriver(DeviceDriverEntryOf<ProbeDriver>(u"TPR"_s));
    start({serialSource(1, 1, u"TPR"_s, true, 2, 3, 30, 1)});
    // Delivered as the main window delivers each slot's bytes.
    ComPortSlots[1].Port->OnReceiveData = [](TCommPortDriver*, const char* Data, int Count) {
        ReceiveComData(1, Count, Data);
    };
    ComPortSlots[1].Port->SetComPortPollingDelay(10);
    auto* probe = static_cast<ProbeDriver*>(DriverObject(typeid(ProbeDriver)));
    ASSERT_NE(probe, nullptr);

    probe->failNext = true;
    EXPECT_THROW(receive(1, "first"), Exception);
    ScriptedPeer peer(pair);
    peer.write("second");
    peer.waitFor([&] { return probe->received.endsWith("second"); }, u"the next chunk"_s);
    ASSERT_TRUE(peer.run()) << peer.failure().toStdString();
    EXPECT_EQ(probe->received, "firstsecond");
}
