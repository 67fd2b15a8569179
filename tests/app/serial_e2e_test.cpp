// The program itself, started offscreen, with analysers scripted on pseudo-terminal pairs: a raw
// capture cut by its end byte and by silence on COM6, HMX transfers of 3 and 12 blocks on COM3
// with a damaged block refused and sent again, a Miditron session on COM8, and a passive source
// on COM5 whose port stays closed; a Max-M Coulter analyser on COM3 whose 12-block transfer is
// stored as sent and decodes. Documents are read with sqlite3, data files compared with the
// hand-written files.
#include "program_folder.h"

#include <analysers/resultdecoders.h>
#include <platform/controlchars.h>
#include <support/ptypair.h>

#include <QDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <iostream>
#include <map>

using namespace Qt::StringLiterals;

namespace {

// The records of a record file: a 32-bit little-endian count, then each record's length and bytes.
QList<QByteArray> recordsOf(const QByteArray& file)
{
    QList<QByteArray> records;
    const auto int32At = [&](qsizetype at) {
        return qFromLittleEndian<qint32>(file.constData() + at);
    };
    qsizetype at = 4;
    for (qint32 i = 0; i < int32At(0); ++i) {
        const qint32 length = int32At(at);
        records.append(file.mid(at + 4, length));
        at += 4 + length;
    }
    return records;
}

struct Source
{
    int number;
    int state; // 1 active, 2 passive
    QString code;
    int com;
    bool fstx;
    int stx;
    int etx;
    int timeout;
};

class SerialEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (PtyPair* pair : {&com3, &com5, &com6, &com8})
            ASSERT_TRUE(pair->isOpen()) << pair->errorString().toStdString();
    }
    void TearDown() override
    {
        if (HasFailure())
            std::cerr
                << "program output:\n"
                << folder.output().toStdString() << "\noperations log:\n"
                << readFileBytes(folder.work() + u"QUORVANE.LOG"_s).toStdString()
                << "\ncapture folder: "
                << QDir(folder.work() + u"com_buf"_s)
                       .entryList(QDir::Files)
                       .join(u' ')
                       .toStdString()
                << "\ndocuments' folder: "
                << QDir(folder.work() + u"buf"_s).entryList(QDir::Files).join(u' ').toStdString()
                << "\ndocuments: " << documents().toStdString() << '\n';
    }

    // The local tables of a new installation with the serial sources (9600 baud, 8 data bits,
    // no parity, one stop bit); the settings file names the working folder, the user (so that
    // no one is asked for) and each port's device.
    void configure(const QList<Source>& sources)
    {
        QString script;
        for (const Source& s : sources)
            script +=
                u"INSERT INTO \"cfg.db\" VALUES (%1, 4, %2, 'Analyser %1', '%3', 0, 0, 0, NULL);"
                "INSERT INTO \"com.DB\" VALUES (%1, %4, %5, %6, %7, %8, 6, 8, 0, 0, 0);"_s
                    .arg(s.number)
                    .arg(s.state)
                    .arg(s.code)
                    .arg(s.com)
                    .arg(int(s.fstx))
                    .arg(s.stx)
                    .arg(s.etx)
                    .arg(s.timeout);
        folder.prepareTables(script);
        QStringList ini{u"[Application]"_s, u"Path="_s + folder.work(), u"User=Lab"_s};
        const std::map<int, PtyPair*> ports{{3, &com3}, {5, &com5}, {6, &com6}, {8, &com8}};
        for (const auto& [n, pair] : ports)
            ini << u"[Options.COM%1]"_s.arg(n) << u"Device="_s + pair->nearPath();
        folder.writeIni(ini);
    }

    // Starts the program and waits until it holds the ports of the active sources and has
    // ticked once: start-up is then over, so what a peer sends from now on is not purged with
    // the bytes a port holds when it opens.
    void startProgram(const QList<PtyPair*>& activePorts)
    {
        folder.start();
        const bool opened = pumpEventsUntil(
            [&] {
                if (folder.process.state() == QProcess::NotRunning)
                    return true;
                if (!folder.output().contains("QUORVANE tick "))
                    return false;
                for (PtyPair* pair : activePorts)
                    if (!pair->nearSettings().exclusive)
                        return false;
                return true;
            },
            30000);
        ASSERT_EQ(folder.process.state(), QProcess::Running) << "the program ended during start-up";
        ASSERT_TRUE(opened) << "the ports of the active sources were not opened";
    }

    // "Number|Cfg" of every document, in order.
    QString documents() const
    {
        return folder.cli(u"SELECT Number, Cfg FROM \"FILES.DB\" ORDER BY Number;"_s);
    }
    bool documentCount(int n) const
    {
        return folder.cli(u"SELECT count(*) FROM \"FILES.DB\";"_s) == QString::number(n);
    }
    QByteArray dataFile(int number) const
    {
        return readFileBytes(folder.work() + u"buf/"_s + QString::number(number, 16).toUpper() +
                             u".4"_s);
    }

    ProgramFolder folder;
    PtyPair com3;
    PtyPair com5;
    PtyPair com6;
    PtyPair com8;
};

const QByteArray Syn(1, SYN);
const QByteArray Ack(1, ACK);
const QByteArray Nak(1, NAK);

// A Miditron record and the host's acknowledgement record.
QByteArray miditronRecord(const QByteArray& body, const char* check)
{
    return STX + body + ETX + QByteArray(check) + CR;
}
const QByteArray MiditronAck = miditronRecord(">", "3?");

} // namespace

TEST_F(SerialEndToEnd, AnalysersDeliverDocumentsIntoTheRunningProgram)
{
    configure({
        {1, 1, u"XYZ"_s, 6, false, STX, ETX, 1}, // raw capture, one second of silence
        {2, 1, u"HMX"_s, 3, true, STX, ETX, -1},
        {3, 2, u"XYZ"_s, 5, true, STX, ETX, 1}, // passive
        {4, 1, u"MDT"_s, 8, true, STX, ETX, -1},
    });
    startProgram({&com3, &com6, &com8});
    EXPECT_FALSE(com5.nearSettings().exclusive) << "the passive source's port was opened";

    // The passive source's analyser talks to nobody.
    ScriptedPeer passive(com5);
    passive.write(STX + QByteArray("PASSIVE") + ETX);
    ASSERT_TRUE(passive.run()) << passive.failure().toStdString();

    // Raw capture on COM6: the end byte ends the first document, silence the second.
    ScriptedPeer raw(com6);
    raw.write(QByteArray("FIRST") + ETX + "SECOND");
    raw.waitFor([&] { return documentCount(2); }, u"two raw documents"_s, 15000);
    ASSERT_TRUE(raw.run()) << raw.failure().toStdString();
    EXPECT_EQ(dataFile(1), "FIRST");
    EXPECT_EQ(dataFile(2), "SECOND");

    // HMX on COM3: 3 blocks, then 12 with block 5 damaged on the line, refused and sent again.
    ScriptedPeer hmx(com3);
    for (const QByteArray& transfer :
         {testData(u"analysers/hmx_3_blocks.4"_s), testData(u"analysers/hmx_12_blocks.4"_s)}) {
        hmx.write(Syn).expect(Syn).write(transfer.left(2)).expect(Ack);
        for (qsizetype at = 2, block = 1; at < transfer.size(); at += 264, ++block) {
            if (block == 5 && transfer.size() > 1000) {
                QByteArray damaged = transfer.mid(at, 264);
                damaged[100] = char(damaged[100] ^ 0x01);
                hmx.write(damaged).expect(Nak);
            }
            hmx.write(transfer.mid(at, 264)).expect(Ack);
        }
        hmx.write(Syn).expect(Ack);
    }
    hmx.waitFor([&] { return documentCount(4); }, u"both transfers stored"_s, 15000);
    ASSERT_TRUE(hmx.run()) << hmx.failure().toStdString();
    EXPECT_EQ(dataFile(3), testData(u"analysers/hmx_3_blocks.4"_s));
    EXPECT_EQ(dataFile(4), testData(u"analysers/hmx_12_blocks.4"_s));

    // Miditron on COM8: two samples, the records of the second in one chunk.
    const QList<QByteArray> sample1 = recordsOf(testData(u"analysers/miditron_sample_1.4"_s));
    const QList<QByteArray> sample2 = recordsOf(testData(u"analysers/miditron_sample_2.4"_s));
    ASSERT_EQ(sample1.size(), 2);
    ASSERT_EQ(sample2.size(), 2);
    const QByteArray start = miditronRecord("<", "3C");
    ScriptedPeer miditron(com8);
    miditron.write(start).expect(MiditronAck);
    miditron.write(sample1[0]).expect(MiditronAck).write(sample1[1]).expect(MiditronAck);
    miditron.write(start).expect(MiditronAck);
    miditron.write(sample2[0] + sample2[1]).expect(MiditronAck + MiditronAck);
    miditron.write(miditronRecord(":", "3A"));
    miditron.waitFor([&] { return documentCount(6); }, u"both samples stored"_s, 15000);
    ASSERT_TRUE(miditron.run()) << miditron.failure().toStdString();
    EXPECT_EQ(dataFile(5), testData(u"analysers/miditron_sample_1.4"_s));
    EXPECT_EQ(dataFile(6), testData(u"analysers/miditron_sample_2.4"_s));

    EXPECT_EQ(documents(), u"1|1\n2|1\n3|2\n4|2\n5|4\n6|4"_s) << "nothing from the passive source";
    EXPECT_FALSE(com5.nearSettings().exclusive);
}

TEST_F(SerialEndToEnd, AMaxMTransferOfTwelveBlocksIsStoredAsSentAndDecodes)
{
    configure({{1, 1, u"MXM"_s, 3, true, STX, ETX, -1}});
    startProgram({&com3});

    // "12" counts twelve blocks of 256 bytes: the stored layout already, which the registry's
    // rewrite leaves as it is.
    const QByteArray transfer = testData(u"analysers/maxm_transfer_12_blocks.4"_s);
    ASSERT_EQ(transfer.size(), 2 + 12 * 264);
    ScriptedPeer maxm(com3);
    maxm.write(Syn).expect(Syn).write(transfer.left(2)).expect(Ack);
    for (qsizetype at = 2; at < transfer.size(); at += 264)
        maxm.write(transfer.mid(at, 264)).expect(Ack);
    maxm.write(Syn).expect(Ack);
    maxm.waitFor([&] { return documentCount(1); }, u"the transfer stored"_s, 15000);
    ASSERT_TRUE(maxm.run()) << maxm.failure().toStdString();
    EXPECT_EQ(documents(), u"1|1"_s);
    EXPECT_EQ(dataFile(1), transfer);
    EXPECT_FALSE(readFileBytes(folder.work() + u"QUORVANE.LOG"_s).contains("CorrectMaxM"));

    QStringList header, results, legend;
    EXPECT_TRUE(ViewMaxMFile(folder.work() + u"buf/1.4"_s, header, results, &legend));
    EXPECT_EQ(header, (QStringList{u"Date=06/12/26"_s, u"Time=22:10"_s, u"Code=0004711"_s,
                                   u"SeqNo=0042"_s, u"ID2=B-17"_s, u"CASS/POS=12/4"_s, u"1EC/P=1"_s,
                                   u"ID1STATUS=OK"_s, u"C/PSTATUS=OK"_s, u"WLSTATUS=NONE"_s}))
        << "OPERATOR is no header item";
    EXPECT_EQ(
        results,
        (QStringList{u"WBC=7.25\t*10^9/л"_s, u"RBC=4.815\t*10^12/л"_s, u"HGB=14.3\tг/л"_s,
                     u"HCT=43.9\t%"_s,       u"MCV=91.2\tфл"_s,        u"MCH=29.7\tпг/клетку"_s,
                     u"MCHC=32.6\tг/л"_s,    u"RDW=12.9\t%"_s,         u"PLT=231\t*10^9/л"_s,
                     u"PCT=0.190\t"_s,       u"MPV=8.2\tфл"_s,         u"PDW=16.4\t"_s,
                     u"LY#=2.10\t*10^9/л"_s, u"MO#=0.61\t*10^9/л"_s,   u"NE#=4.20\t*10^9/л"_s,
                     u"EO#=0.25\t*10^9/л"_s, u"BA#=0.09\t*10^9/л"_s,   u"LY%=29.0\t%"_s,
                     u"MO%=8.4\t%"_s,        u"NE%=57.9\t%"_s,         u"EO%=3.4\t%"_s,
                     u"BA%=1.3\t%"_s}))
        << "NRBC is no code of the device; groups 5 to 7 are read past";
    EXPECT_EQ(legend.size(), 22);
    EXPECT_EQ(legend.value(9), u"PCT=Тромбокриты"_s);
    EXPECT_EQ(legend.value(21), u"BA%=Базофилы"_s);
}
