// Report pictures: positions in twips turned into fractional cells by hand, picture sets read from
// "images.ini" (names with "\" in any case), identifiers in order, and removal of exactly what
// was placed.
#include <reports/repimg.h>
#include <reports/repproc.h>

#include <platform/workbook/workbook.h>
#include <support/workspace.h>

#include <gtest/gtest.h>

namespace {

// ImagesDir in a folder of the test's own.
class Pictures : public ::testing::Test
{
protected:
    void SetUp() override { ImagesDir = ws.path(QStringLiteral("Images/")); }
    void TearDown() override { ImagesDir.clear(); }

    void writeSet(const QByteArray& ini)
    {
        writeFileBytes(ws.path(QStringLiteral("Images/IMAGES.INI")), ini);
        QImage logo(30, 10, QImage::Format_RGB32);
        logo.fill(Qt::blue);
        QDir().mkpath(ws.path(QStringLiteral("Images/Sous")));
        ASSERT_TRUE(logo.save(ws.path(QStringLiteral("Images/Sous/logo.png"))));
        ASSERT_TRUE(logo.save(ws.path(QStringLiteral("Images/Second.PNG"))));
    }

    TestWorkspace ws;
};

} // namespace

TEST_F(Pictures, PositionsWalkTheColumnsAndRows)
{
    Workbook book;
    Worksheet& s = book.current();
    // X equal to the first two widths is column 2 exactly, whatever the widths.
    EXPECT_DOUBLE_EQ(ColumnPosition(1920, book), 2.0);
    s.SetColWidth(1, 1000);
    s.SetColWidth(2, 500);
    EXPECT_DOUBLE_EQ(ColumnPosition(1500, book), 2.0);
    EXPECT_DOUBLE_EQ(ColumnPosition(1250, book), 1.5);
    s.SetColHidden(1, true);
    EXPECT_DOUBLE_EQ(ColumnPosition(250, book), 1.5);
    EXPECT_DOUBLE_EQ(ColumnPosition(960.0 * Workbook::MaxCol, book), Workbook::MaxCol);

    // From row 5 on 300-twip rows: 450 twips is the middle of row 6.
    EXPECT_DOUBLE_EQ(RowPosition(450, 5, book), 5.5);
    s.SetRowHidden(5, true);
    EXPECT_DOUBLE_EQ(RowPosition(450, 5, book), 6.5);
    // An empty sheet walks up to row 10: past it, the last row passed.
    EXPECT_DOUBLE_EQ(RowPosition(100000, 5, book), 10);
    EXPECT_DOUBLE_EQ(RowPosition(100000, 12, book), 0);
    EXPECT_DOUBLE_EQ(RowPosition(0, -3, book), 0);
}

TEST_F(Pictures, SetsAreReadFromImagesIni)
{
    EXPECT_EQ(ImageCount(QStringLiteral("LOGO")), 0);
    writeSet("[LOGO]\r\nIMAGES=2\r\nIMAGE1_X1=960\r\nIMAGE1_Y1=150\r\nIMAGE1_X2=1920\r\n"
             "IMAGE1_Y2=600\r\nIMAGE1_NAME=sous\\LOGO.png\r\nIMAGE2_NAME=second.png\r\n"
             "[BAD]\r\nIMAGES=1\r\nIMAGE1_NAME=absent.png\r\n");
    EXPECT_EQ(ImageCount(QStringLiteral("logo")), 2);
    EXPECT_EQ(ImageCount(QStringLiteral("OTHER")), 0);
    int x1 = -1, y1 = -1, x2 = -1, y2 = -1;
    const QImage image = ReadImage(QStringLiteral("LOGO"), 1, x1, y1, x2, y2);
    EXPECT_EQ(image.size(), QSize(30, 10));
    EXPECT_EQ(QList<int>({x1, y1, x2, y2}), QList<int>({960, 150, 1920, 600}));
    ReadImage(QStringLiteral("LOGO"), 2, x1, y1, x2, y2);
    EXPECT_EQ(QList<int>({x1, y1, x2, y2}), QList<int>({0, 0, 0, 0}));
    EXPECT_TRUE(messageOf<EInvalidGraphic>([&] {
                    ReadImage(QStringLiteral("BAD"), 1, x1, y1, x2, y2);
                }).contains(QStringLiteral("absent.png")));
}

TEST_F(Pictures, PlacedPicturesTakeIdsInOrderAndOnlyTheyAreRemoved)
{
    writeSet("[LOGO]\r\nIMAGES=2\r\nIMAGE1_X1=960\r\nIMAGE1_Y1=150\r\nIMAGE1_X2=1920\r\n"
             "IMAGE1_Y2=600\r\nIMAGE1_NAME=Sous\\logo.png\r\nIMAGE2_NAME=Second.PNG\r\n");
    Workbook book;
    Worksheet& s = book.current();
    PlaceImages(book, QStringLiteral("LOGO"), 3, 2);
    ASSERT_EQ(s.Pictures.size(), 2);
    EXPECT_EQ(s.Pictures[0].Id, 1);
    EXPECT_EQ(s.Pictures[1].Id, 2);
    // Column 1 to 2, and from row 3: 150 twips is half of row 3, 600 the end of row 4.
    EXPECT_EQ(s.Pictures[0].Anchor, QRectF(QPointF(1, 2.5), QPointF(2, 4)));
    EXPECT_EQ(PlacedImages(book), QList<int>({1, 2}));

    const int own = s.AddPicture(QImage(5, 5, QImage::Format_RGB32), QRectF(4, 4, 1, 1));
    PlaceImages(book, QStringLiteral("LOGO"), 0, 1);
    EXPECT_EQ(PlacedImages(book), QList<int>({1, 2, 4}));
    RemoveImages(book);
    ASSERT_EQ(s.Pictures.size(), 1);
    EXPECT_EQ(s.Pictures[0].Id, own);
    EXPECT_TRUE(PlacedImages(book).isEmpty());

    // Another book counts its own.
    Workbook other;
    PlaceImages(other, QStringLiteral("LOGO"), 1, 1);
    EXPECT_EQ(other.current().Pictures[0].Id, 1);
}
