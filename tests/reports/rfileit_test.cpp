// The spreadsheet output on the program's workbook, worked out by hand: centimetres to twips at
// 2.541 to the inch, the area and the current cell, alignment by moving, fonts, fitting the page
// width, saving every sheet with the current sheet's print settings.
#include <reports/pagemetrics.h>
#include <reports/rfileit.h>

#include <platform/workbook/workbook.h>
#include <support/python.h>
#include <support/qt_printers.h>
#include <support/workspace.h>
#include <translation/language.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class F1Iterator : public ::testing::Test
{
protected:
    void SetUp() override { SetPrinterPageMetricsForTesting(TPageMetrics{595, 842, false}); }
    void TearDown() override
    {
        SetPrinterPageMetricsForTesting(std::nullopt);
        CurrentLanguage = 1;
    }
    Worksheet& sheet() { return it.Book().current(); }

    TestWorkspace ws;
    TF1Iterator it;
};

} // namespace

TEST_F(F1Iterator, SizesCrossInCentimetresAt2541ToTheInch)
{
    // Before any width is set, a width reads in twips all the same: 960 twips.
    EXPECT_DOUBLE_EQ(it.GetColWidth(2), 960 * 2.541 / 1440);
    it.SetColWidth(1, 2.54); // 1439.43
    EXPECT_EQ(sheet().ColWidth(1), 1439);
    EXPECT_DOUBLE_EQ(it.GetColWidth(1), 1439 * 2.541 / 1440);
    it.SetColWidth(3, 80); // 45336.48: more than 16 bits hold
    EXPECT_EQ(sheet().ColWidth(3), 45336);
    it.SetRowHeight(2, 1.0); // 566.7
    EXPECT_EQ(sheet().RowHeight(2), 567);
    it.SetLeftMargin(2.541);
    it.SetFooterMargin(1.2705);
    EXPECT_DOUBLE_EQ(sheet().Print.LeftMargin, 1.0);
    EXPECT_DOUBLE_EQ(sheet().Print.FooterMargin, 0.5);
    EXPECT_DOUBLE_EQ(it.GetLeftMargin(), 2.541);
}

TEST_F(F1Iterator, AreaMakesItsFirstCellCurrentAndKeepsItForThatCell)
{
    EXPECT_EQ(it.GetCellText(), QString());
    it.SetArea(TRect{2, 3, 4, 6});
    EXPECT_EQ(sheet().Selection(), (CellRange{3, 2, 6, 4}));
    it.SetActiveCell(TPoint{2, 3});
    EXPECT_EQ(sheet().Selection(), (CellRange{3, 2, 6, 4}));
    it.SetCellText(QStringLiteral("=1+1"));
    EXPECT_EQ(sheet().cellAt(3, 2)->kind, Cell::Kind::Text);
    EXPECT_EQ(it.GetCellText(), QStringLiteral("=1+1"));
    it.SetActiveCell(TPoint{3, 5});
    EXPECT_EQ(sheet().Selection(), (CellRange{3, 2, 6, 4}));
    EXPECT_EQ(sheet().Row(), 5);
    it.SetActiveCell(TPoint{7, 1});
    EXPECT_EQ(sheet().Selection(), (CellRange{1, 7, 1, 7}));
}

TEST_F(F1Iterator, AlignmentInAnAreaMovesTheTextAndItsFormat)
{
    it.SetArea(TRect{2, 3, 2, 3});
    it.SetCellText(QStringLiteral("Milieu"));
    it.SetFontBold(true);
    it.SetColor(1, clYellow, clWhite);
    it.SetArea(TRect{2, 3, 2, 6});
    it.SetVAlign(vaCenter);
    EXPECT_EQ(sheet().Text(3, 2), QString());
    EXPECT_EQ(sheet().Text(4, 2), QStringLiteral("Milieu"));
    EXPECT_TRUE(sheet().FormatAt(4, 2).Font.Bold);
    EXPECT_EQ(sheet().FormatAt(4, 2).PatternColor, 0xFFFFFF00);
    EXPECT_EQ(sheet().FormatAt(6, 2).Vertical, VAlign::Center);
    EXPECT_EQ(it.GetVAlign(), vaCenter);
    it.SetVAlign(vaBottom);
    EXPECT_EQ(sheet().Text(6, 2), QStringLiteral("Milieu"));

    it.SetArea(TRect{2, 8, 5, 8});
    it.SetCellText(QStringLiteral("Droite"));
    it.SetHAlign(haRight);
    EXPECT_EQ(sheet().Text(8, 5), QStringLiteral("Droite"));
    EXPECT_EQ(sheet().FormatAt(8, 2).Horizontal, HAlign::Right);
    it.SetArea(TRect{2, 9, 5, 9});
    it.SetCellText(QStringLiteral("Titre"));
    it.SetHAlign(haCenter);
    EXPECT_EQ(sheet().Text(9, 2), QStringLiteral("Titre"));
    EXPECT_EQ(sheet().FormatAt(9, 5).Horizontal, HAlign::CenterAcross);
    EXPECT_EQ(it.GetHAlign(), haCenter);

    it.AlignByMoving = false;
    it.SetArea(TRect{2, 10, 2, 12});
    it.SetCellText(QStringLiteral("Reste"));
    it.SetVAlign(vaBottom);
    EXPECT_EQ(sheet().Text(10, 2), QStringLiteral("Reste"));
}

TEST_F(F1Iterator, FontsTakeTheCyrillicCharacterSetUnderRussianAndResolveSystemColours)
{
    it.SetArea(TRect{1, 1, 2, 1});
    it.SetFontName(QStringLiteral("Arial"));
    EXPECT_EQ(sheet().FormatAt(1, 2).Font.Charset, 0);
    CurrentLanguage = 2;
    it.SetFontName(QStringLiteral("Arial"));
    EXPECT_EQ(sheet().FormatAt(1, 2).Font.Charset, 204);
    EXPECT_EQ(it.GetFontName(), QStringLiteral("Arial"));

    TFont font;
    font.Name = QStringLiteral("Times New Roman");
    font.Size = 14;
    font.Italic = true;
    font.Color = clHighlight; // navy in the standard scheme
    it.SetArea(TRect{3, 3, 3, 3});
    it.SetFont(font);
    const CellFont& f = sheet().FormatAt(3, 3).Font;
    EXPECT_EQ(f.Name, QStringLiteral("Times New Roman"));
    EXPECT_EQ(f.Size, 14);
    EXPECT_TRUE(f.Italic);
    EXPECT_EQ(f.Color, 0xFF000080);
    EXPECT_EQ(f.Charset, 204);
    EXPECT_EQ(it.GetFontColor(), TColor(0x800000));
    it.SetFontColor(clBtnFace);
    EXPECT_EQ(sheet().FormatAt(3, 3).Font.Color, 0xFFC0C0C0);
    it.SetBorders(TBorderSet{btLeft, btBottom});
    EXPECT_TRUE(it.GetBorder(btLeft));
    EXPECT_FALSE(it.GetBorder(btTop));
    EXPECT_EQ(sheet().FormatAt(3, 3).border(BorderSide::Bottom), ThinBorder);
}

// A4 upright is 595 points wide, 585 less the 10 points; margins of one inch each leave 441.
TEST_F(F1Iterator, FitToPageWidthCountsNarrowsAndLeavesAColumnWithNoWidthToGive)
{
    it.SetLeftMargin(2.541);
    it.SetRightMargin(2.541);
    for (int col = 1; col <= 3; ++col)
        it.SetColWidth(col, 2.0); // 1133 twips, 56.65 points
    // 169.95 points, then five empty columns of 48 points (409.95); the ninth passes 441.
    EXPECT_EQ(it.FitToPageWidth(20), 8);
    EXPECT_EQ(sheet().ColWidth(9), 960);
    // From one column on, the ninth is narrowed by its 16.95 points over and 5 more: 439 twips.
    EXPECT_EQ(it.FitToPageWidth(1), 9);
    EXPECT_EQ(sheet().ColWidth(9), 521);

    TF1Iterator narrow;
    narrow.SetLeftMargin(2.541);
    narrow.SetRightMargin(2.541);
    Worksheet& s = narrow.Book().current();
    s.SetColWidth(1, 8810); // 440.5 points
    s.SetColWidth(2, 100);  // 5 points: 4.5 over, and 9.5 to take from it
    EXPECT_EQ(narrow.FitToPageWidth(1), 1);
    EXPECT_EQ(s.ColWidth(2), 100);

    // Columns of no width never fill the page: the walk ends with the sheet's last column.
    TF1Iterator empty;
    for (int col = 1; col <= Workbook::MaxCol; ++col)
        empty.Book().current().SetColWidth(col, 0);
    EXPECT_EQ(empty.FitToPageWidth(1), Workbook::MaxCol);
}

TEST_F(F1Iterator, SaveToFileGivesEverySheetTheCurrentSheetsPrintSettingsAndStaysOnIt)
{
    QTemporaryDir dir;
    EXPECT_EQ(messageOf<EF1Iterator>([&] { it.Save(); }), QStringLiteral("File name not defined."));
    it.InsertSheets(2, 2);
    EXPECT_EQ(it.GetSheetCount(), 3);
    it.SelectSheetByName(QStringLiteral("SHEET2"));
    EXPECT_EQ(it.GetSheet(), 2);
    it.SetSheetName(QStringLiteral("Résultats"));
    it.SetLeftMargin(2.541);
    it.SetRightMargin(1.2705);
    it.SetTopMargin(5.082);
    it.SetBottomMargin(2.541);
    it.SetFooterMargin(1.2705);
    it.SetLandscape(true);
    it.SetSheet(7);
    EXPECT_EQ(it.GetSheet(), 2);
    const QString path = dir.filePath(QStringLiteral("rapport.xlsx"));
    it.SaveToFile(path);
    EXPECT_EQ(it.GetSheet(), 2);
    EXPECT_EQ(it.GetFileName(), path);
    EXPECT_EQ(runPython(QStringLiteral("import sys, openpyxl\n"
                                       "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                       "print(wb.active.title)\n"
                                       "for ws in wb:\n"
                                       "    m = ws.page_margins\n"
                                       "    print(ws.title, m.left, m.right, m.top, m.bottom, "
                                       "m.footer, ws.page_setup.orientation)\n"),
                        {path}),
              QStringLiteral("Résultats\n"
                             "Sheet1 1.0 0.5 2.0 1.0 0.5 landscape\n"
                             "Résultats 1.0 0.5 2.0 1.0 0.5 landscape\n"
                             "Sheet3 1.0 0.5 2.0 1.0 0.5 landscape\n"));
    QStringList names;
    it.GetSheetNames(names);
    EXPECT_EQ(names, (QStringList{"Sheet1", "Résultats", "Sheet3"}));

    TF1Iterator loaded;
    loaded.LoadFromFile(path);
    EXPECT_EQ(loaded.GetSheetName(), QStringLiteral("Résultats"));
    loaded.DeleteSheets(1, 1);
    loaded.Save();
    loaded.LoadFromFile(dir.filePath(QStringLiteral("absent.xlsx")));
    EXPECT_EQ(loaded.GetSheetCount(), 1);
    TF1Iterator again;
    again.LoadFromFile(path);
    EXPECT_EQ(again.GetSheetCount(), 2);
}

TEST_F(F1Iterator, ClearSelectionTakesSelectedPicturesElseTheCells)
{
    it.SetArea(TRect{1, 1, 2, 2});
    it.SetCellText(QStringLiteral("x"));
    it.SetColor(1, clRed, clWhite);
    QImage image(4, 4, QImage::Format_RGB32);
    const int id = sheet().AddPicture(image, QRectF(0, 0, 1, 1));
    sheet().findPicture(id)->Selected = true;
    it.ClearSelection();
    EXPECT_TRUE(sheet().Pictures.isEmpty());
    EXPECT_EQ(sheet().Text(1, 1), QStringLiteral("x"));
    it.ClearSelection();
    EXPECT_EQ(sheet().cellAt(1, 1), nullptr);
    int pattern = -1;
    TColor fore = 0;
    TColor back = 0;
    it.GetColor(pattern, fore, back);
    EXPECT_EQ(pattern, 0);
    EXPECT_NE(messageOf<EF1Iterator>([&] { it.SetColor(19, clRed, clWhite); }),
              QStringLiteral("<no error>"));
}
