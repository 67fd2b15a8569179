// The HMX block protocol: bad counts, the inactivity time-out and what is handed to the
// workstation. Whole transfers of the hand-written files run against the program in the
// end-to-end tests; blocks cut across chunks and refused blocks are seeds of the fuzz target.
#include "driverharness.h"

#include <analysers/hmx.h>
#include <platform/controlchars.h>

#include <QElapsedTimer>

namespace {

const QByteArray Syn(1, SYN);
const QByteArray Ack(1, ACK);
const QByteArray Nak(1, NAK);

// A block of 256 data bytes "x" with its number and the CRC the analyser would send (worked out
// apart from the program: CRC-16/GENIBUS of 256 bytes "x" is 0x43B0).
QByteArray blockWith(const char* number, const char* crc, char fill = 'x')
{
    return STX + QByteArray(number) + QByteArray(256, fill) + QByteArray(crc) + ETX;
}

using HMXOnLine = DriverOnFakeLine<THMXDriver>;

} // namespace

// What the fuzz target cannot see: a chunk ending with ETX before the block is whole is refused
// at once, anything but SYN to close drops the transfer, and a chunk that does not start with SYN
// opens none.
TEST_F(HMXOnLine, ABlockEndedTooSoonAndAClosingOtherThanSynAreRefused)
{
    receive(Syn);
    receive("01");
    receive(blockWith("01", "43B0").left(50) + ETX);
    receive(blockWith("01", "43B0"));
    receive(QByteArray(1, EOT));
    receive("x" + Syn);
    EXPECT_EQ(answers(), Syn + Ack + Nak + Ack + Nak);
    EXPECT_EQ(driver->State, 0);
    EXPECT_TRUE(workstation.handed.isEmpty());
}

TEST_F(HMXOnLine, TheBlockCountIsTwoDecimalDigits)
{
    // An empty transfer is acknowledged and stores nothing.
    receive(Syn);
    receive("00");
    EXPECT_EQ(answers(), Syn + Ack);
    EXPECT_EQ(driver->State, 0);

    // A count that is no number is refused and logged; the count sent again is taken, one digit
    // at a time.
    receive(Syn);
    receive("1A");
    EXPECT_EQ(answers(), Syn + Nak);
    EXPECT_TRUE(ws.operationsLog().contains("HMX: the block count \"1A\" is not a number"))
        << ws.operationsLog().toStdString();
    // The analyser calls again instead: answered as a new call, not read as a count digit.
    receive(Syn);
    EXPECT_EQ(answers(), Syn);
    receive("1");
    EXPECT_EQ(answers(), QByteArray());
    receive("0");
    EXPECT_EQ(answers(), Ack);
    EXPECT_EQ(driver->BlockCount, 10);

    // Blocks are numbered in decimal: block 10 is "10", not "0A".
    for (int n = 1; n <= 9; ++n)
        receive(blockWith(QByteArray::number(n).rightJustified(2, '0'), "43B0"));
    EXPECT_EQ(answers(), QByteArray(9, ACK));
    receive(blockWith("0A", "43B0"));
    receive(blockWith("10", "43B0"));
    receive(Syn);
    EXPECT_EQ(answers(), Nak + Ack + Ack);
    ASSERT_EQ(workstation.handed.size(), 1);
    const FakeWorkstation::Handed& h = workstation.handed.first();
    EXPECT_EQ(h.bytes.size(), 2 + 10 * 264);
    EXPECT_EQ(h.file, ComBufDir + u"~buf~.mxm"_s);
    EXPECT_EQ(h.type, u"mxm"_s);
}

TEST_F(HMXOnLine, SilenceEndsAnInterruptedTransfer)
{
    driver->SetIdleTimeout(50);
    // A count that arrives with the start of the first block is never read; the silence brings
    // the driver back to waiting for a new transfer.
    receive(Syn);
    receive("03" + blockWith("01", "43B0").left(40));
    EXPECT_EQ(answers(), Syn);
    ASSERT_TRUE(pumpEventsUntil([&] { return driver->State == 0; }, 5000));
    EXPECT_TRUE(ws.operationsLog().contains("the analyser fell silent"));

    // Broken in the middle of a block, it does not swallow the next transfer.
    receive(Syn);
    receive("01");
    receive(blockWith("01", "43B0").left(130));
    ASSERT_TRUE(pumpEventsUntil([&] { return driver->State == 0; }, 5000));
    receive(Syn);
    receive("01");
    receive(blockWith("01", "43B0"));
    receive(Syn);
    EXPECT_EQ(answers(), Syn + Ack + Syn + Ack + Ack + Ack);
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_EQ(workstation.handed.first().bytes, "01" + blockWith("01", "43B0"));

    // The silence counts on the next chunk too, when the timer has had no turn: no event is
    // pumped until the driver's silence (1 ms on the monotonic clock it reads) has run out.
    driver->SetIdleTimeout(1);
    receive(Syn);
    receive("01");
    QElapsedTimer silence;
    silence.start();
    while (!silence.hasExpired(1)) {
    }
    receive(Syn);
    EXPECT_EQ(answers(), Syn + Ack + Syn) << "the late chunk starts a new transfer";
    EXPECT_EQ(driver->State, 1);
}

TEST_F(HMXOnLine, ATransferThatCannotBeKeptIsNotLost)
{
    const QByteArray transfer = "01" + blockWith("01", "43B0");
    const auto play = [&] {
        receive(Syn);
        receive("01");
        receive(blockWith("01", "43B0"));
        receive(Syn);
    };
    // The workstation refuses it: it stays in the capture folder, aside.
    workstation.refusals = 1;
    play();
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_EQ(workstation.refreshed, QList<int>{0}) << "a refused result announces nothing";
    const QString kept = ComBufDir + u"~buf~-20261206-221046.mxm"_s;
    EXPECT_EQ(readFileBytes(kept), transfer);

    // It cannot be written: the error reaches the caller and the driver is ready again.
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_THROW(play(), EInOutError);
    EXPECT_EQ(workstation.handed.size(), 1);
    play();
    ASSERT_EQ(workstation.handed.size(), 2);
    EXPECT_EQ(readFileBytes(kept), transfer) << "the result set aside is not overwritten";
}
