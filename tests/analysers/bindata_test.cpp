// The drivers' byte buffers: TBinData's fixed buffer and position, its file output, and the
// byte and text helpers of TMemStream.
#include <analysers/bindata.h>
#include <platform/exception.h>

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray bytes(const char* data, int size)
{
    return QByteArray(data, size);
}

} // namespace

TEST(BinData, SetSizeZeroFillsAndSavingTakesTheWrittenPartOrTheWholeBuffer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frame.dat"));
    TBinData b;
    EXPECT_EQ(b.GetByte(0), 0); // no buffer yet
    b.SetSize(3);
    b.WriteString("XYZ");
    b.SetSize(4); // the old bytes go
    EXPECT_EQ(b.Position(), 0);
    EXPECT_EQ(QByteArray(b.Data(), b.Size()), QByteArray(4, '\0'));

    EXPECT_TRUE(b.WriteString("AB"));
    b.SaveToFile(path);
    EXPECT_EQ(fileBytes(path), QByteArray("AB"));
    // Position 0 saves every byte; the two never written are 0, not whatever memory held.
    b.Reset();
    b.SaveToFile(path);
    EXPECT_EQ(fileBytes(path), bytes("AB\0\0", 4));
}

TEST(BinData, ReadsAndWritesStopAtTheEnd)
{
    TBinData b;
    b.SetSize(2);
    EXPECT_FALSE(b.WriteString("ABC")); // C does not fit
    EXPECT_EQ(b.Position(), 2);
    EXPECT_FALSE(b.WriteByte('D'));
    EXPECT_EQ(QByteArray(b.Data(), b.Size()), QByteArray("AB"));

    EXPECT_EQ(b.ReadByte(), 0);
    EXPECT_EQ(b.Position(), 2);
    EXPECT_EQ(b.Remaining(), 0);

    b.Reset();
    QByteArray s;
    b.ReadString(3, s);
    EXPECT_EQ(s, bytes("AB\0", 3));
    EXPECT_EQ(b.Position(), 2);

    EXPECT_EQ(b.GetByte(1), 'B');
    EXPECT_EQ(b.GetByte(2), 0);
    EXPECT_EQ(b.GetByte(-1), 0);
}

TEST(BinData, IndexOfByteLooksOnlyFromThePosition)
{
    TBinData b;
    b.SetSize(5);
    b.WriteString("A\x03"
                  "B\x03"
                  "C");
    b.Reset();
    EXPECT_EQ(b.IndexOfByte(0x03), 1);
    QByteArray skipped;
    b.ReadString(2, skipped);
    EXPECT_EQ(b.IndexOfByte(0x03), 3);
    EXPECT_EQ(b.IndexOfByte('A'), -1);
    b.ReadString(2, skipped);
    EXPECT_EQ(b.IndexOfByte(0x03), -1);
    b.ReadByte();
    EXPECT_EQ(b.IndexOfByte('C'), -1); // at the end
}

TEST(BinData, SaveFailureRaisesInOutError)
{
    QTemporaryDir dir;
    const QString notAFolder = dir.filePath(QStringLiteral("plain"));
    QFile f(notAFolder);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    TBinData b;
    b.SetSize(1);
    EXPECT_THROW(b.SaveToFile(notAFolder + QStringLiteral("/frame.dat")), EInOutError);

    TMemStream m;
    m.WriteString("x");
    EXPECT_THROW(m.SaveToFile(notAFolder + QStringLiteral("/m.dat")), EInOutError);
    EXPECT_THROW(m.LoadFromFile(dir.filePath(QStringLiteral("missing.dat"))), EInOutError);
    EXPECT_EQ(m.Size(), 1); // a failed load keeps the stream
}

TEST(MemStream, ReadTextAndSeekByteStopOnTheirByteOrAtTheEnd)
{
    TMemStream m;
    QByteArray s;
    m.WriteString("AB\rC");
    m.SetPosition(0);
    m.ReadText(s);
    EXPECT_EQ(s, QByteArray("AB"));
    EXPECT_EQ(m.Position(), 2);
    m.ReadText(s); // on the control byte already
    EXPECT_EQ(s, QByteArray());
    EXPECT_EQ(m.Position(), 2);
    m.SetPosition(3);
    m.ReadText(s);
    EXPECT_EQ(s, QByteArray("C"));
    EXPECT_EQ(m.Position(), 4);

    m.SetPosition(0);
    EXPECT_TRUE(m.SeekByte(0x0D));
    EXPECT_EQ(m.Position(), 2);
    EXPECT_FALSE(m.SeekByte(0x0A));
    EXPECT_EQ(m.Position(), 4);
    EXPECT_EQ(m.ReadByte(), 0); // at the end
    EXPECT_EQ(m.Position(), 4);
}

TEST(MemStream, ReadsAtPositionsAndPadsPastTheEnd)
{
    TMemStream m;
    m.WriteString("ABC");
    QByteArray s;
    m.ReadStringAt(0, 2, s);
    EXPECT_EQ(s, QByteArray("AB"));
    EXPECT_EQ(m.Position(), 2);
    EXPECT_EQ(m.ReadByteAt(2), 'C');
    EXPECT_EQ(m.Position(), 3);

    m.SetPosition(1);
    m.ReadString(4, s);
    EXPECT_EQ(s, bytes("BC\0\0", 4));
    EXPECT_EQ(m.Position(), 3);

    char buf[4] = {};
    EXPECT_EQ(m.Seek(-2, soEnd), 1);
    EXPECT_EQ(m.Read(buf, 4), 2);
    EXPECT_EQ(m.Seek(-10, soCurrent), 0);
}

TEST(MemStream, WritesGrowTheStreamAndRangesCopyOnlyExistingBytes)
{
    TMemStream m;
    m.SetPosition(3);
    m.WriteByte('X');
    EXPECT_EQ(QByteArray(m.Memory(), m.Size()), bytes("\0\0\0X", 4));
    EXPECT_EQ(m.WriteString("YZ"), 2);
    EXPECT_EQ(m.Size(), 6);

    TMemStream src;
    src.WriteString("ABCDEF");
    TMemStream dst;
    dst.WriteRange(src, 1, 3);
    dst.WriteRange(src, 4, 10); // runs past the source: only E and F exist
    dst.WriteRange(src, 3, 2);  // empty range
    EXPECT_EQ(QByteArray(dst.Memory(), dst.Size()), QByteArray("BCDEF"));

    // A stream copying a range of itself.
    dst.WriteRange(dst, 0, 1);
    EXPECT_EQ(QByteArray(dst.Memory(), dst.Size()), QByteArray("BCDEFBC"));

    dst.SetSize(2);
    EXPECT_EQ(dst.Position(), 2);
    dst.SetSize(4);
    EXPECT_EQ(QByteArray(dst.Memory(), dst.Size()), bytes("BC\0\0", 4));
}

TEST(MemStream, SavesAndLoadsTheWholeStream)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("message.dat"));
    TMemStream m;
    m.WriteString(bytes("\x02"
                        "1H|\0\r",
                        6));
    m.SetPosition(2); // the position does not limit what is saved
    m.SaveToFile(path);
    EXPECT_EQ(fileBytes(path), bytes("\x02"
                                     "1H|\0\r",
                                     6));

    TMemStream n;
    n.WriteString("old");
    n.LoadFromFile(path);
    EXPECT_EQ(n.Position(), 0);
    EXPECT_EQ(QByteArray(n.Memory(), n.Size()), bytes("\x02"
                                                      "1H|\0\r",
                                                      6));
}
