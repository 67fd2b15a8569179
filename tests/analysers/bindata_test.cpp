// The drivers' byte buffers: TBinData's fixed buffer and position, TMemStream's growing one, and
// their files.
#include <analysers/bindata.h>
#include <platform/exception.h>

#include <support/workspace.h>

#include <gtest/gtest.h>

namespace {

QByteArray contents(const TMemStream& m)
{
    return QByteArray(m.Memory(), m.Size());
}

} // namespace

TEST(BinData, SetSizeZeroFillsAndSavingTakesTheWrittenPartOrTheWholeBuffer)
{
    TestWorkspace ws;
    const QString path = ws.path(QStringLiteral("frame.dat"));
    TBinData b;
    EXPECT_EQ(b.GetByte(0), 0); // no buffer yet
    b.SetSize(3);
    b.WriteString("XYZ");
    b.SetSize(4); // the old bytes go
    EXPECT_EQ(b.Position(), 0);
    EXPECT_EQ(QByteArray(b.Data(), b.Size()), QByteArray(4, '\0'));

    EXPECT_TRUE(b.WriteString("AB"));
    b.SaveToFile(path);
    EXPECT_EQ(readFileBytes(path), QByteArray("AB"));
    // Position 0 saves every byte; the two never written are 0, not whatever memory held.
    b.Reset();
    b.SaveToFile(path);
    EXPECT_EQ(readFileBytes(path), QByteArray("AB\0\0", 4));

    // A file that cannot be written raises, for both buffers; a failed load keeps the stream.
    const QString notAFolder = ws.path(QStringLiteral("plain"));
    writeFileBytes(notAFolder, "x");
    EXPECT_THROW(b.SaveToFile(notAFolder + QStringLiteral("/frame.dat")), EInOutError);
    TMemStream m;
    m.WriteString("x");
    EXPECT_THROW(m.SaveToFile(notAFolder + QStringLiteral("/m.dat")), EInOutError);
    EXPECT_THROW(m.LoadFromFile(ws.path(QStringLiteral("missing.dat"))), EInOutError);
    EXPECT_EQ(m.Size(), 1);
}

TEST(BinData, ReadsWritesAndSearchesStopAtTheEnd)
{
    TBinData b;
    b.SetSize(2);
    EXPECT_FALSE(b.WriteString("ABC")); // C does not fit
    EXPECT_FALSE(b.WriteByte('D'));
    EXPECT_EQ(QByteArray(b.Data(), b.Size()), QByteArray("AB"));
    EXPECT_EQ(b.ReadByte(), 0);
    EXPECT_EQ(b.Remaining(), 0);
    b.Reset();
    QByteArray s;
    b.ReadString(3, s);
    EXPECT_EQ(s, QByteArray("AB\0", 3));
    EXPECT_EQ(b.Position(), 2);
    EXPECT_EQ(QList<int>({b.GetByte(1), b.GetByte(2), b.GetByte(-1)}), QList<int>({'B', 0, 0}));

    // IndexOfByte looks only from the position.
    b.SetSize(5);
    b.WriteString("A\x03"
                  "B\x03"
                  "C");
    b.Reset();
    EXPECT_EQ(b.IndexOfByte(0x03), 1);
    b.ReadString(2, s);
    EXPECT_EQ(b.IndexOfByte(0x03), 3);
    EXPECT_EQ(b.IndexOfByte('A'), -1);
}

TEST(MemStream, ReadsStopOnTheirByteOrAtTheEndAndPadPastIt)
{
    TMemStream m;
    QByteArray s;
    m.WriteString("AB\rC");
    m.SetPosition(0);
    m.ReadText(s);
    m.ReadText(s); // on the control byte already
    EXPECT_EQ(s, QByteArray());
    EXPECT_EQ(m.Position(), 2);
    m.SetPosition(0);
    EXPECT_TRUE(m.SeekByte(0x0D));
    EXPECT_EQ(m.Position(), 2);
    EXPECT_FALSE(m.SeekByte(0x0A));
    EXPECT_EQ(m.Position(), 4);
    EXPECT_EQ(m.ReadByte(), 0); // at the end

    // Reads at a place leave the position; a read past the end pads.
    m.ReadStringAt(0, 2, s);
    EXPECT_EQ(s + char(m.ReadByteAt(3)), QByteArray("ABC"));
    EXPECT_EQ(m.Position(), 4);
    m.SetPosition(2);
    m.ReadString(4, s);
    EXPECT_EQ(s, QByteArray("\rC\0\0", 4));
    char buf[4] = {};
    EXPECT_EQ(m.Seek(-2, soEnd), 2);
    EXPECT_EQ(m.Read(buf, 4), 2);
    EXPECT_EQ(m.Seek(-10, soCurrent), 0);
}

TEST(MemStream, WritesGrowTheStreamRangesCopyOnlyExistingBytesAndFilesHoldItWhole)
{
    TestWorkspace ws;
    TMemStream m;
    m.SetPosition(3);
    m.WriteByte('X');
    EXPECT_EQ(contents(m), QByteArray("\0\0\0X", 4));
    EXPECT_EQ(m.WriteString("YZ"), 2);
    EXPECT_EQ(m.Size(), 6);

    TMemStream src;
    src.WriteString("ABCDEF");
    TMemStream dst;
    dst.WriteRange(src, 1, 3);
    dst.WriteRange(src, 4, 10); // runs past the source: only E and F exist
    dst.WriteRange(src, 3, 2);  // empty range
    EXPECT_EQ(contents(dst), QByteArray("BCDEF"));
    dst.WriteRange(dst, 0, 1); // a range of itself
    EXPECT_EQ(contents(dst), QByteArray("BCDEFBC"));
    dst.SetSize(2);
    EXPECT_EQ(dst.Position(), 2);
    dst.SetSize(4);
    EXPECT_EQ(contents(dst), QByteArray("BC\0\0", 4));

    // The position does not limit what is saved; a load replaces the contents.
    const QString path = ws.path(QStringLiteral("message.dat"));
    dst.SetPosition(1);
    dst.SaveToFile(path);
    EXPECT_EQ(readFileBytes(path), QByteArray("BC\0\0", 4));
    m.LoadFromFile(path);
    EXPECT_EQ(m.Position(), 0);
    EXPECT_EQ(contents(m), QByteArray("BC\0\0", 4));
}
