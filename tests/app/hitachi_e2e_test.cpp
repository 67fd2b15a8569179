// The program itself, started offscreen, with a Hitachi 911 on COM3 and a 912 on COM4 played by
// script on pseudo-terminal pairs: results stored and acknowledged, control samples acknowledged
// only, frames after stray bytes, after a frame broken off and after input that fills the receive
// buffer, a raw byte of a frame that looks like STX, refused checks. Frames, check digits and the
// data files are written out by hand; documents are read with sqlite3.
#include "program_folder.h"

#include <platform/controlchars.h>
#include <support/ptypair.h>

#include <QDir>

#include <gtest/gtest.h>

#include <iostream>

using namespace Qt::StringLiterals;

namespace {

class HitachiEndToEnd : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "program output:\n"
                      << folder.output().toStdString() << "\noperations log:\n"
                      << log().toStdString() << "\ndocuments: "
                      << folder.cli(u"SELECT Number, Cfg FROM \"FILES.DB\";"_s).toStdString()
                      << '\n';
    }

    // One active source of the device code on the pair's port, frames starting at STX; started,
    // and ticked once, so that what the analyser sends is not purged when the port opens.
    void start(const QString& code, int com, PtyPair& pair)
    {
        ASSERT_TRUE(pair.isOpen()) << pair.errorString().toStdString();
        folder.prepareTables(
            u"INSERT INTO \"cfg.db\" VALUES (1, 4, 1, 'Hitachi', '%1', 0, 0, 0, "
            "NULL);"
            "INSERT INTO \"com.DB\" VALUES (1, %2, 1, 2, 3, -1, 6, 8, 0, 0, 0);"_s.arg(code)
                .arg(com));
        folder.writeUsualIni({u"[Options.COM%1]"_s.arg(com), u"Device="_s + pair.nearPath()});
        folder.start();
        ASSERT_TRUE(folder.waitFor([&] {
            return folder.output().contains("QUORVANE tick ") && pair.nearSettings().exclusive;
        })) << "the program did not open the port";
    }

    QByteArray log() const { return readFileBytes(folder.work() + u"QUORVANE.LOG"_s); }
    bool documentCount(int n) const
    {
        return folder.cli(u"SELECT count(*) FROM \"FILES.DB\" WHERE Cfg = 1;"_s) ==
               QString::number(n);
    }
    QByteArray dataFile(int number) const
    {
        return readFileBytes(folder.work() + u"buf/%1.4"_s.arg(number, 0, 16));
    }
    // The dumps of refused bytes, by content.
    QList<QByteArray> refusedDumps(const QString& prefix) const
    {
        QList<QByteArray> dumps;
        const QDir dir(folder.work() + u"com_buf"_s);
        for (const QString& name : dir.entryList({prefix + u'*'}, QDir::Files))
            dumps << readFileBytes(dir.filePath(name));
        return dumps;
    }

    ProgramFolder folder;
    PtyPair com;
};

QByteArray sent911(const QByteArray& text, const char* check)
{
    return STX + text + ETX + check + CR;
}

const QByteArray Results911 = "  7105S100          45321224991030 3 1  5.55  5 12.3  12   0.4";
const QByteArray File911 = "SampleType=Routine sample\r\nSampleClass=1\r\nContainerInfo=31\r\n"
                           "SampleNo=  7\r\nDiskNo=1\r\nPositionNo=05\r\nCode=S100\r\n"
                           "AgeCnt= 45\r\nAgeUnit=3\r\nSex=2\r\nDate=24/12/99\r\nTime=10:30\r\n"
                           "1=5.55\r\n5=12.3\r\n12=0.4\r\n";

} // namespace

TEST_F(HitachiEndToEnd, TheHitachi911)
{
    start(u"911"_s, 3, com);
    const QByteArray ack = "\x02\x3E\x03\x33\x45\x0D";
    const QByteArray result = sent911(":A1" + Results911 + ' ', "69");
    const QByteArray alarmed = sent911(":A1" + Results911 + 'V', "9F");
    ScriptedPeer hitachi(com);

    // A result, then the same with the alarm "sample short" on test 12: the same file, and the
    // alarm in the log.
    hitachi.write(result).expect(ack);
    hitachi.write(alarmed).expect(ack);
    hitachi.waitFor([&] { return documentCount(2); }, u"two results"_s);
    ASSERT_TRUE(hitachi.run()) << hitachi.failure().toStdString();
    EXPECT_EQ(dataFile(1), File911);
    EXPECT_EQ(dataFile(2), File911);
    EXPECT_EQ(log().count("data alarm"), 1);
    EXPECT_TRUE(log().contains("Hitachi 911: document 2, SampleNo 7, Code S100, test 12: data "
                               "alarm V (Sample short (SAMPL))"));

    // A control sample is acknowledged and not stored; two frames in one write; a stray byte; an
    // STX and 1,100 letters; a frame broken off and sent again whole; a ContainerInfo of 0x02.
    const QByteArray brokenOff = result.left(20);
    hitachi.write(sent911(":K1 312QC-1", "5E")).expect(ack);
    hitachi.write(result + result).expect(ack + ack);
    hitachi.write("x" + result).expect(ack);
    hitachi.write(STX + QByteArray(1100, 'A') + result).expect(ack);
    hitachi.write(brokenOff).write(result).expect(ack);
    hitachi.write(sent911(":A\x02" + Results911 + ' ', "3A")).expect(ack);
    hitachi.waitFor([&] { return documentCount(8); }, u"eight results"_s);
    ASSERT_TRUE(hitachi.run()) << hitachi.failure().toStdString();
    for (int n = 3; n <= 7; ++n)
        EXPECT_EQ(dataFile(n), File911) << n;
    QByteArray withStx = File911;
    withStx.replace("ContainerInfo=31", "ContainerInfo=02");
    EXPECT_EQ(dataFile(8), withStx);
    EXPECT_EQ(refusedDumps(u"!h911_"_s),
              (QList<QByteArray>{STX + QByteArray(1023, 'A'), brokenOff}));

    // A wrong check: acknowledged, not stored, and its dump named in the log.
    const QByteArray wrong = sent911(":A1" + Results911 + ' ', "00");
    hitachi.write(wrong).expect(ack);
    hitachi.waitFor([&] { return refusedDumps(u"!h911_"_s).size() == 3; }, u"the dump"_s);
    ASSERT_TRUE(hitachi.run()) << hitachi.failure().toStdString();
    const QDir dumps(folder.work() + u"com_buf"_s);
    QString name;
    for (const QString& n : dumps.entryList({u"!h911_*"_s}, QDir::Files))
        if (readFileBytes(dumps.filePath(n)) == wrong)
            name = n;
    ASSERT_FALSE(name.isEmpty()) << "no dump holds the refused frame";
    EXPECT_TRUE(log().contains("its check digits are wrong") && log().contains(name.toUtf8()));
    EXPECT_TRUE(documentCount(8));
}

TEST_F(HitachiEndToEnd, TheHitachi912)
{
    start(u"912"_s, 4, com);
    const QByteArray ack = "\x02\x3E\x03\x3D";
    const QByteArray body = "A1   422111S100          45321224991030OPER0";
    const QByteArray result = STX + (':' + body + "1 2 1  5.55 20 7.0  H") + ETX + char(0x7B);
    const QByteArray file = "SampleType=Routine sample\r\nClass=1\r\nSampleNo=   42\r\nDiskNo=2\r\n"
                            "PositionNo=11\r\nSampleCup=1\r\nCode=S100\r\nAgeCnt= 45\r\n"
                            "AgeUnit=3\r\nSex=2\r\nDate=24/12/99\r\nTime=10:30\r\n"
                            "cOperatorID=OPER01\r\n1=  5.55\r\n20= 7.0  \r\n";
    ScriptedPeer hitachi(com);

    // A result; a control sample (F), acknowledged only; a wrong block check, asked again; a
    // block check of 0x02; a frame broken off and sent again whole.
    const QByteArray brokenOff = result.left(30);
    hitachi.write(result).expect(ack);
    hitachi.write(STX + QByteArray(":F QC-1 whatever") + ETX + char(0x7F)).expect(ack);
    hitachi.write(result.left(result.size() - 1) + '\0').expect("\x02\x3F\x03\x3C");
    hitachi.write(STX + (':' + body + "H 2 1  5.55 20 7.0  H") + ETX + STX).expect(ack);
    hitachi.write(brokenOff).write(result).expect(ack);
    hitachi.waitFor([&] { return documentCount(3); }, u"three results"_s);
    ASSERT_TRUE(hitachi.run()) << hitachi.failure().toStdString();
    EXPECT_EQ(dataFile(1), file);
    QByteArray operatorH = file;
    operatorH.replace("OPER01", "OPER0H");
    EXPECT_EQ(dataFile(2), operatorH);
    EXPECT_EQ(dataFile(3), file);
    EXPECT_EQ(refusedDumps(u"!h912_"_s), QList<QByteArray>{brokenOff});
    EXPECT_TRUE(documentCount(3));
}
