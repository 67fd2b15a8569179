// The older ACL 2000 exchange: messages ending two bytes after their second LF, split over chunks
// and joined in one, each dumped and answered with "!" and its bytes 1 to 4.
#include "driverharness.h"

#include <analysers/acl2000.h>

#include <QFileInfo>

namespace {

using ACL2000OnLine = DriverOnFakeLine<TACL2000>;

QString dump(int n)
{
    return WorkPath + u"com_buf/acl2_"_s + QString::number(n) + u".dat"_s;
}

// A message as the analyser sends it: a head, two lines, and two bytes after the second LF.
const QByteArray first("\x02"
                       "1234 PT 12.5\nFIB 3.1\n\x03"
                       "7");
const QByteArray second("\x02"
                        "5678 PT 11.0\nAPTT 30\n\x03"
                        "A");

} // namespace

TEST_F(ACL2000OnLine, MessagesSplitJoinedAndTooShortToAnswer)
{
    // Split: nothing until the second byte after the second LF.
    receive(first.left(5));
    receive(first.mid(5, 9)); // through the first LF
    receive(first.mid(14, first.size() - 15));
    EXPECT_EQ(answers(), QByteArray());
    EXPECT_FALSE(QFileInfo::exists(dump(0)));
    receive(first.right(1));
    EXPECT_EQ(answers(), "!1234");
    EXPECT_EQ(readFileBytes(dump(0)), first);
    EXPECT_EQ(driver->Buffer().Size(), 0);

    // Joined: two whole messages and the start of a third in one chunk.
    receive(second + first + second.left(3));
    EXPECT_EQ(answers(), "!5678!1234");
    EXPECT_EQ(readFileBytes(dump(1)), second);
    EXPECT_EQ(readFileBytes(dump(2)), first);
    EXPECT_EQ(QByteArray(driver->Buffer().Memory(), driver->Buffer().Size()), second.left(3));

    // The kept start and the rest make the third.
    receive(second.mid(3));
    EXPECT_EQ(answers(), "!5678");
    EXPECT_EQ(readFileBytes(dump(3)), second);
    EXPECT_EQ(driver->DumpCounter(), 4);
    EXPECT_TRUE(workstation.handed.isEmpty()) << "nothing the ACL 2000 sends is a document";

    // Four bytes are too few to answer (its bytes 1 to 4 run past its end): only dumped. Five
    // are enough.
    receive("\n\nAB");
    EXPECT_EQ(answers(), QByteArray());
    EXPECT_EQ(readFileBytes(dump(4)), QByteArray("\n\nAB"));
    EXPECT_TRUE(ws.operationsLog().contains("too short to be answered"));
    receive("X\n\nAB");
    EXPECT_EQ(answers(), QByteArray("!\n\nAB"));
    EXPECT_EQ(driver->Buffer().Size(), 0);
}

TEST_F(ACL2000OnLine, AMessageThatCannotBeDumpedWaitsForTheNextChunk)
{
    writeFileBytes(dump(0), "earlier run");
    fileops::failNth(fileops::Op::Write, 1, ENOSPC);
    EXPECT_THROW(receive(first), EInOutError);
    EXPECT_EQ(answers(), QByteArray()) << "not answered while not kept";
    receive(second.left(2));
    EXPECT_EQ(answers(), "!1234");
    EXPECT_EQ(readFileBytes(dump(0)), QByteArray("earlier run"));
    EXPECT_EQ(readFileBytes(dump(1)), first);
    receive(second.mid(2));
    EXPECT_EQ(answers(), "!5678");
    EXPECT_EQ(readFileBytes(dump(2)), second);
}
