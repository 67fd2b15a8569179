// The Integra driver: a numbered dump per chunk, ACK after ETX or ENQ, dumps of earlier runs kept,
// and no acknowledgement for a chunk that could not be kept.
#include "driverharness.h"

#include <analysers/integra.h>
#include <platform/controlchars.h>

namespace {

using IntegraOnLine = DriverOnFakeLine<TIntegraDriver>;

QString dump(int n)
{
    return WorkPath + u"com_buf/mvd_"_s + QString::number(n) + u".dat"_s;
}

} // namespace

TEST_F(IntegraOnLine, OnlyTheEndOfAMessageIsAcknowledged)
{
    receive("\x02"
            "1|part one");
    receive("two\x03"
            "x"); // ETX that is not the last byte
    EXPECT_EQ(answers(), QByteArray());
    receive("\x04\x05");
    receive(" \x03");
    EXPECT_EQ(answers(), QByteArray(2, ACK));
    EXPECT_EQ(readFileBytes(dump(2000)), QByteArray("\x02"
                                                    "1|part one"));
    EXPECT_EQ(readFileBytes(dump(2001)), QByteArray("two\x03"
                                                    "x"));
    EXPECT_EQ(readFileBytes(dump(2003)), QByteArray(" \x03"));
    EXPECT_TRUE(workstation.handed.isEmpty()) << "nothing the Integra sends is a document";
}

TEST_F(IntegraOnLine, DumpsOfAnEarlierRunAreKeptAndAChunkNotKeptIsNotAcknowledged)
{
    writeFileBytes(dump(2000), "earlier run");
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_THROW(receive("lost?\x03"), EInOutError);
    EXPECT_EQ(answers(), QByteArray());
    // Sent again, it takes the number that failed.
    receive("lost?\x03");
    EXPECT_EQ(answers(), QByteArray(1, ACK));
    EXPECT_EQ(readFileBytes(dump(2000)), QByteArray("earlier run"));
    EXPECT_EQ(readFileBytes(dump(2001)), QByteArray("lost?\x03"));
    EXPECT_EQ(driver->DumpCounter(), 2002);
}
