// The table-driven ACL 2000 driver: its checksum (worked out by hand from the running sum with its
// carry), the framing and check of its answers, its tests, settings text and protocol file.
#include <analysers/acl2000util.h>
#include <platform/support/globals.h>
#include <support/workspace.h>

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace protocol;

namespace {

// The driver with its protected operations in reach.
class OpenACL2000 : public TACL2000Util
{
public:
    using TACL2000Util::AppendChecksum;
    using TACL2000Util::CalcSpecialFields;
    using TACL2000Util::CheckAnswer;
    using TACL2000Util::IsAnswerComplete;
};

class ACL2000Util : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedIni = IniFileName;
        IniFileName = ws.path(u"QUORVANE.INI"_s);
    }
    void TearDown() override { IniFileName = m_savedIni; }

    std::unique_ptr<OpenACL2000> driver(const QByteArray& protocol = "0\n0\n",
                                        const QString& name = u"Protocols/acl2000.prt"_s)
    {
        writeFileBytes(ws.path(name), protocol);
        return TDriver::New<OpenACL2000>();
    }

    TestWorkspace ws;

private:
    QString m_savedIni;
};

// ":ACK" CR LF CR LF sums to 57 (the carry of "K" included): 256 - 57 = 0xC7.
const QByteArray GoodAnswer = ":ACK\r\n\r\nC7";

} // namespace

TEST(ACL2000Checksum, RunningSumWithCarry)
{
    EXPECT_EQ(ACL2000Checksum("abc"), "D9");  // 97, 195, 294 -> 39 with a carry
    EXPECT_EQ(ACL2000Checksum("abcd"), "74"); // 39 + 1 + 100 = 140
    EXPECT_EQ(ACL2000Checksum(""), "00");
    EXPECT_EQ(ACL2000Checksum(":QUERY\r\n"), "17");
}

TEST_F(ACL2000Util, ChecksumAppendedUnlessTheCommandStartsWithBang)
{
    const auto acl = driver();
    TResult command{0, ":QUERY\r\n"};
    acl->AppendChecksum(command);
    EXPECT_EQ(command.Data, ":QUERY\r\n17");
    TResult bang{0, "!BYE\r\n"};
    acl->AppendChecksum(bang);
    EXPECT_EQ(bang.Data, "!BYE\r\n");
}

// Whole, and as it arrives in pieces of every size, each look going over the new bytes only: a
// CR LF split between two pieces counts.
TEST_F(ACL2000Util, AnswerCompleteWithItsChecksum)
{
    const auto acl = driver();
    for (qsizetype n = 0; n < GoodAnswer.size(); ++n)
        EXPECT_FALSE(acl->IsAnswerComplete(GoodAnswer.left(n), 0)) << n << " bytes";
    EXPECT_TRUE(acl->IsAnswerComplete(GoodAnswer, 0));
    EXPECT_FALSE(acl->IsAnswerComplete(":A\r\nB\nC\rD7", 0));
    EXPECT_FALSE(acl->IsAnswerComplete(":A\r\r\n", 0)) << "one CR LF, after a CR";

    for (qsizetype piece = 1; piece <= GoodAnswer.size(); ++piece) {
        QByteArray arrived;
        qsizetype completeAt = -1;
        while (arrived.size() < GoodAnswer.size() && completeAt < 0) {
            const qsizetype from = arrived.size();
            arrived += GoodAnswer.mid(from, piece);
            if (acl->IsAnswerComplete(arrived, from))
                completeAt = arrived.size();
        }
        EXPECT_EQ(completeAt, GoodAnswer.size()) << "pieces of " << piece;
    }
    // A new answer (looked at from 0) forgets what the last one had found.
    EXPECT_FALSE(acl->IsAnswerComplete(":ACK\r\n", 0));
    EXPECT_FALSE(acl->IsAnswerComplete(":ACK\r\n\r", 6));
    EXPECT_FALSE(acl->IsAnswerComplete("\n", 0));
}

TEST_F(ACL2000Util, AnswerCheckedByItsFirstByteAndChecksum)
{
    const auto acl = driver();
    EXPECT_TRUE(acl->CheckAnswer(GoodAnswer));
    const QByteArray bad[] = {
        "ACK\r\n\r\nC7",  // no ":" first
        ":ACK\r\n\r\nC8", // wrong checksum
        ":ACK\r\n\r\nc7", // lower case
        ":ACK\n\nC7",     // no CR LF
        QByteArray(),     ":",
    };
    for (const QByteArray& answer : bad)
        EXPECT_FALSE(acl->CheckAnswer(answer)) << answer.toStdString();
}

TEST_F(ACL2000Util, SpecialFieldGivesSCFourZerosOfItsKind)
{
    const auto acl = driver("2\n7 SC:FFFF\n1 SC:1234\n0\n");
    acl->Fields.SetValue("SC", "00FF", false);
    acl->Fields.SetValue("Msg count", "01", false);
    acl->CalcSpecialFields(acl->Actions, acl->Fields);
    const TAction* sc = acl->Actions.Find("SC");
    ASSERT_TRUE(sc);
    EXPECT_EQ(sc->Values.GetItem(0).Data, "0000");
    EXPECT_EQ(sc->Values.GetItem(0).Kind, 7);
    EXPECT_EQ(sc->Values.GetItem(1).Data, "1234");
}

TEST_F(ACL2000Util, TestsSettingsAndItsOwnPort)
{
    const auto acl = driver();
    EXPECT_EQ(acl->GetTestCount(), 30);
    EXPECT_EQ(acl->GetFieldCount(), 0);
    EXPECT_EQ(acl->GetRecordCount(), 0);
    EXPECT_EQ(acl->TDriver::Fields(), nullptr) << "no field table: the parser's Fields hide it";
    MemDataSet& tests = *acl->Tests();
    EXPECT_EQ(tests.recordCount(), 30);
    tests.first();
    EXPECT_EQ(tests.fieldByName(u"CODE"_s)->asString(), u"00"_s);
    EXPECT_EQ(tests.fieldByName(u"NAME"_s)->asString(), u"delete BATCH NO."_s);
    EXPECT_EQ(tests.fieldByName(u"NUM"_s)->asInteger(), 0);
    tests.last();
    EXPECT_EQ(tests.fieldByName(u"CODE"_s)->asString(), u"6E"_s);
    EXPECT_EQ(tests.fieldByName(u"NAME"_s)->asString(), u"FREE SPECIAL 3"_s);

    QString settings;
    acl->GetDefaultSettings(settings);
    EXPECT_EQ(settings, u"BaundRate=9600\r\nCheckLineStatus=false\r\nDataBits=8\r\n"
                        "EnableDTROnOpen=true\r\nHwFLOW=NoneRTSOn\r\nInBufSize=2048\r\n"
                        "InputTimeOut=200\r\nOutBufSize=2048\r\nOutputTimeout=500\r\n"
                        "PacketMode=Discard\r\nPacketSize=-1\r\nPacketTimeOut=-1\r\n"
                        "Parity=NONE\r\nPollingDelay=50\r\nPortName=\\\\.\\COM2\r\n"
                        "StopBits=1BITS\r\nSwFlow=NONE\r\n"_s);
    // The port keeps the component's defaults, the same as that text.
    const TCommPortDriver& port = *acl->Port();
    EXPECT_EQ(port.ComPort(), pnCOM2);
    EXPECT_EQ(port.ComPortSpeed(), br9600);
    EXPECT_EQ(port.ComPortDataBits(), db8BITS);
    EXPECT_EQ(port.ComPortParity(), ptNONE);
    EXPECT_EQ(port.ComPortStopBits(), sb1BITS);
    EXPECT_EQ(acl->Name(), u"ACL2000"_s);
    EXPECT_EQ(acl->DefaultTimeout(), 2000);
}

TEST_F(ACL2000Util, ProtocolFileFoundWhateverItsCase)
{
    const auto acl = driver("0\n0\n0 0 0 100\n0\n", u"protocols/ACL2000.PRT"_s);
    EXPECT_EQ(acl->FileName(), ws.path(u"protocols/ACL2000.PRT"_s));
    EXPECT_EQ(acl->Commands.Count(), 1);

    QDir(ws.path(u"protocols"_s)).removeRecursively();
    const QString expected = ws.path(u"Protocols/acl2000.prt"_s);
    const QString error = messageOf<EInOutError>([] { TDriver::New<TACL2000Util>(); });
    EXPECT_TRUE(error.contains(expected)) << error.toStdString();
}
