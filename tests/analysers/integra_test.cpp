// The Integra driver: a numbered dump per chunk, ACK after ETX or ENQ, dumps of earlier runs kept,
// and no acknowledgement for a chunk that could not be kept.
#include "driverharness.h"

#include <analysers/integra.h>

namespace {

using IntegraOnPty = DriverOnPty<TIntegraDriver>;
using IntegraOnLine = DriverOnFakeLine<TIntegraDriver>;

QString dump(int n)
{
    return WorkPath + u"com_buf/mvd_"_s + QString::number(n) + u".dat"_s;
}

} // namespace

TEST_F(IntegraOnPty, EachChunkIsDumpedAndMessageEndsAreAcknowledged)
{
    const QByteArray message("\x02"
                             "1|Integra 400|R|GLU 5.4\x03");
    peer.write("\x05").expect("\x06");
    peer.write(message).expect("\x06");
    ASSERT_TRUE(peer.run()) << peer.failure().toStdString();

    EXPECT_EQ(readFileBytes(dump(2000)), QByteArray("\x05"));
    // The line may cut the message into several chunks, each with its dump.
    QByteArray dumped;
    for (int n = 2001; n < driver->DumpCounter(); ++n)
        dumped += readFileBytes(dump(n));
    EXPECT_EQ(dumped, message);
    EXPECT_TRUE(workstation.handed.isEmpty()) << "nothing the Integra sends is a document";
}

TEST_F(IntegraOnLine, OnlyTheEndOfAMessageIsAcknowledged)
{
    receive("\x02"
            "1|part one");
    receive("two\x03"
            "x"); // ETX that is not the last byte
    EXPECT_EQ(answers(), QByteArray());
    receive("\x04\x05");
    receive(" \x03");
    EXPECT_EQ(answers(), "\x06\x06");
    EXPECT_EQ(readFileBytes(dump(2000)), QByteArray("\x02"
                                                    "1|part one"));
    EXPECT_EQ(readFileBytes(dump(2001)), QByteArray("two\x03"
                                                    "x"));
    EXPECT_EQ(readFileBytes(dump(2003)), QByteArray(" \x03"));
}

TEST_F(IntegraOnLine, DumpsOfAnEarlierRunAreKept)
{
    writeFileBytes(dump(2000), "earlier run");
    writeFileBytes(dump(2001), "earlier run too");
    receive("new\x03");
    EXPECT_EQ(readFileBytes(dump(2000)), QByteArray("earlier run"));
    EXPECT_EQ(readFileBytes(dump(2001)), QByteArray("earlier run too"));
    EXPECT_EQ(readFileBytes(dump(2002)), QByteArray("new\x03"));
    EXPECT_EQ(driver->DumpCounter(), 2003);
}

TEST_F(IntegraOnLine, AChunkThatCannotBeKeptIsNotAcknowledged)
{
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_THROW(receive("lost?\x03"), EInOutError);
    EXPECT_EQ(answers(), QByteArray());
    // Sent again, it takes the number that failed.
    receive("lost?\x03");
    EXPECT_EQ(answers(), "\x06");
    EXPECT_EQ(readFileBytes(dump(2000)), QByteArray("lost?\x03"));
}
