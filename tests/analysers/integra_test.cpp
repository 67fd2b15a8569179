// The Integra driver: dumps of earlier runs kept, and no acknowledgement for a chunk that could
// not be kept. A dump per chunk and ACK only after ETX or ENQ are checked by its fuzz target.
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
