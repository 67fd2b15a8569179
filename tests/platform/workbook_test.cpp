// The workbook model and its .xlsx files, as another program (openpyxl) reads them and as our own
// reader takes them back; damaged files and books holding what the model cannot keep are refused;
// the painting routine's pixels.
#include <platform/fileops.h>
#include <platform/ui/workbookview.h>
#include <platform/uitexts.h>
#include <platform/workbook/workbook.h>
#include <platform/workbook/workbookpaint.h>
#include <support/python.h>
#include <support/qt_printers.h>
#include <support/workspace.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <bit>
#include <limits>

namespace {

CellFormat formatWith(const std::function<void(CellFormat&)>& change)
{
    CellFormat f;
    change(f);
    return f;
}

QImage picture(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
}

// Everything the writer writes, on two sheets; the second is current.
void fill(Workbook& book)
{
    book.Title = QStringLiteral("Résultats");
    Worksheet& s = book.current();
    s.Name = QStringLiteral("Отчёт");
    s.SetText(1, 1, QStringLiteral("=1+1"));
    s.SetText(2, 2, QStringLiteral("Gras"));
    s.SetFormatAt(2, 2, formatWith([](CellFormat& f) {
                      f.Font = CellFont{
                          QStringLiteral("Arial"), 12, true, true, true, true, 0xFFFF0000, 0};
                  }));
    s.SetText(3, 2, QStringLiteral("Fond"));
    s.SetFormatAt(3, 2, formatWith([](CellFormat& f) {
                      f.Pattern = 1;
                      f.PatternColor = 0xFFFFFF00;
                  }));
    s.SetFormatAt(3, 3, formatWith([](CellFormat& f) {
                      f.Pattern = 3;
                      f.PatternColor = 0xFF0000FF;
                  }));
    s.SetFormatAt(4, 2, formatWith([](CellFormat& f) {
                      f.setBorder(BorderSide::Left, ThinBorder);
                      f.setBorder(BorderSide::Bottom, ThinBorder);
                  }));
    s.SetText(1, 3, QStringLiteral("Titre centré"));
    for (int col = 3; col <= 5; ++col)
        s.SetFormatAt(1, col,
                      formatWith([](CellFormat& f) { f.Horizontal = HAlign::CenterAcross; }));
    s.SetText(5, 2, QStringLiteral("Droite en haut, sur deux lignes"));
    s.SetFormatAt(5, 2, formatWith([](CellFormat& f) {
                      f.Horizontal = HAlign::Right;
                      f.Vertical = VAlign::Top;
                      f.WordWrap = true;
                  }));
    s.SetNumber(9, 1, 2.5);
    s.SetBoolean(9, 2, true);
    s.SetFormula(9, 3, QStringLiteral("A9*2"), 5);
    s.SetText(10, 2, QStringLiteral("Fusion"));
    s.Merged.append(CellRange{10, 2, 11, 3});
    s.SetColWidth(2, 1440);
    s.SetColHidden(4, true);
    s.SetRowHeight(2, 600);
    s.SetRowHidden(6, true);
    s.Print.LeftMargin = 1.0;
    s.Print.RightMargin = 0.5;
    s.Print.TopMargin = 0.8;
    s.Print.BottomMargin = 0.9;
    s.Print.HeaderMargin = 0.2;
    s.Print.FooterMargin = 0.25;
    s.Print.Landscape = true;
    s.AddRowBreak(11);
    s.AddColBreak(3);
    s.ViewScale = 150;
    // Middle of column B (B is 96 pixels) to the end of B, over row 8.
    s.AddPicture(picture(48, 20, Qt::red), QRectF(QPointF(1.5, 7.0), QPointF(2.0, 8.0)));
    book.InsertSheets(2, 1);
    book.SetSheetName(2, QStringLiteral("Second"));
    Worksheet& second = book.sheet(2);
    second.SetText(1, 1, QStringLiteral("Deuxième"));
    second.Print.Header = QStringLiteral("&CPage &P");
    second.Print.Footer = QStringLiteral("&R&D");
    second.Print.HCenter = true;
    second.Print.GridLines = true;
    book.SetCurrentSheet(2);
}

const char* const ReadWithOpenpyxl = R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print('title', wb.properties.title, 'sheets', wb.sheetnames, 'active', wb.active.title)
ws = wb.worksheets[0]
a1 = ws['A1']
print('A1', repr(a1.value), a1.data_type)
f = ws['B2'].font
print('B2 font', f.name, f.sz, f.b, f.i, f.u, f.strike, f.color.rgb)
for ref in ('B3', 'C3'):
    fl = ws[ref].fill
    print(ref, 'fill', fl.fill_type, fl.fgColor.rgb, fl.bgColor.rgb)
b = ws['B4'].border
print('B4 border', b.left.style, b.right.style, b.top.style, b.bottom.style)
print('C1 E1', ws['C1'].alignment.horizontal, ws['E1'].alignment.horizontal)
al = ws['B5'].alignment
print('B5', al.horizontal, al.vertical, al.wrap_text)
print('row 9', ws['A9'].value, ws['B9'].value, ws['C9'].value)
print('merged', [str(r) for r in ws.merged_cells.ranges])
print('B width', ws.column_dimensions['B'].width, 'D hidden', ws.column_dimensions['D'].hidden)
print('row 2', ws.row_dimensions[2].height, 'row 6 hidden', ws.row_dimensions[6].hidden)
m = ws.page_margins
print('margins', m.left, m.right, m.top, m.bottom, m.header, m.footer)
print('orientation', ws.page_setup.orientation, 'zoom', ws.sheet_view.zoomScale)
print('breaks', [b.id for b in ws.row_breaks.brk], [b.id for b in ws.col_breaks.brk])
a = ws._images[0].anchor._from
print('picture', a.col, a.colOff, a.row, a.rowOff)
s = wb.worksheets[1]
print('second', s.oddHeader.center.text, s.oddFooter.right.text,
      s.print_options.horizontalCentered, s.print_options.gridLines)
)";

} // namespace

TEST(WorkbookFile, OpenpyxlReadsWhatTheModelWrote)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    Workbook book;
    fill(book);
    book.Write(path);
    // Widths by hand: 1440 twips are 96 pixels, which a file keeps as 96 / 7 characters cut to
    // 1/256 (13.7109375); 600 twips are 30 points; a picture in the middle of the 96-pixel
    // column B starts 48 pixels (457200 EMU) into column 1 (from 0).
    EXPECT_EQ(runPython(QString::fromLatin1(ReadWithOpenpyxl), {path}),
              QStringLiteral("title Résultats sheets ['Отчёт', 'Second'] active Second\n"
                             "A1 '=1+1' s\n"
                             "B2 font Arial 12.0 True True single True FFFF0000\n"
                             "B3 fill solid FFFFFF00 FFFFFFFF\n"
                             "C3 fill darkGray FF0000FF FFFFFFFF\n"
                             "B4 border thin None None thin\n"
                             "C1 E1 centerContinuous centerContinuous\n"
                             "B5 right top True\n"
                             "row 9 2.5 True =A9*2\n"
                             "merged ['B10:C11']\n"
                             "B width 13.7109375 D hidden True\n"
                             "row 2 30.0 row 6 hidden True\n"
                             "margins 1.0 0.5 0.8 0.9 0.2 0.25\n"
                             "orientation landscape zoom 150\n"
                             "breaks [10] [2]\n"
                             "picture 1 457200 7 0\n"
                             "second Page &P &D True True\n"));
}

TEST(WorkbookFile, OurReaderTakesBackWhatTheModelWrote)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    Workbook book;
    fill(book);
    book.Write(path);
    Workbook read;
    read.Read(path);
    EXPECT_EQ(read.Title, book.Title);
    EXPECT_EQ(read.FileName, path);
    ASSERT_EQ(read.SheetCount(), 2);
    EXPECT_EQ(read.CurrentSheet(), 2);
    for (int n = 1; n <= 2; ++n) {
        EXPECT_EQ(read.SheetName(n), book.SheetName(n));
        EXPECT_TRUE(read.sheet(n).sameContent(book.sheet(n))) << n;
    }
    ASSERT_EQ(read.sheet(1).Pictures.size(), 1);
    EXPECT_EQ(read.sheet(1).Pictures[0].Image.pixelColor(10, 10), QColor(Qt::red));

    // Written again, the file says the same.
    const QString again = dir.filePath(QStringLiteral("again.xlsx"));
    read.Write(again);
    EXPECT_EQ(runPython(QString::fromLatin1(ReadWithOpenpyxl), {again}),
              runPython(QString::fromLatin1(ReadWithOpenpyxl), {path}));
}

TEST(WorkbookFile, RefusedFilesLeaveTheBookAndTheFileAsTheyWere)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.xlsx"));
    Workbook written;
    fill(written);
    written.Write(good);
    const QByteArray bytes = readFileBytes(good);
    runPython(
        QStringLiteral("import sys, openpyxl\n"
                       "from openpyxl.chart import BarChart, Reference\n"
                       "wb = openpyxl.Workbook(); ws = wb.active\n"
                       "for i in range(1, 5): ws.append([i, i * i])\n"
                       "c = BarChart(); c.add_data(Reference(ws, min_col=2, min_row=1, "
                       "max_row=4))\n"
                       "ws.add_chart(c, 'D2'); wb.save(sys.argv[1])\n"
                       "wb = openpyxl.Workbook(); wb.active['A1'] = 'x'\n"
                       "from openpyxl.comments import Comment\n"
                       "wb.active['A1'].comment = Comment('note', 'moi'); wb.save(sys.argv[2])\n"),
        {dir.filePath(QStringLiteral("chart.xlsx")), dir.filePath(QStringLiteral("comment.xlsx"))});
    QByteArray flipped = bytes;
    for (qsizetype i = bytes.size() / 3; i < bytes.size() / 3 + 64; ++i)
        flipped[i] = char(flipped[i] ^ 0x5A);
    writeFileBytes(dir.filePath(QStringLiteral("truncated.xlsx")), bytes.left(bytes.size() / 2));
    writeFileBytes(dir.filePath(QStringLiteral("flipped.xlsx")), flipped);
    writeFileBytes(dir.filePath(QStringLiteral("text.xlsx")), "Nom;Prénom\r\n");
    writeFileBytes(dir.filePath(QStringLiteral("empty.xlsx")), "");

    const struct
    {
        const char* file;
        const char* reason;
    } cases[] = {
        {"chart.xlsx", "graphiques"},     {"comment.xlsx", "commentaires"},
        {"truncated.xlsx", ""},           {"flipped.xlsx", "endommagé"},
        {"text.xlsx", "pas un classeur"}, {"empty.xlsx", "pas un classeur"},
        {"missing.xlsx", "n'existe pas"},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.file));
        const QByteArray before = readFileBytes(path);
        Workbook book;
        book.current().SetText(1, 1, QStringLiteral("gardé"));
        const QString message = messageOf<EWorkbookError>([&] { book.Read(path); });
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.reason)))
            << c.file << ": " << message.toStdString();
        EXPECT_NE(message, QStringLiteral("<no error>")) << c.file;
        EXPECT_EQ(book.current().Text(1, 1), QStringLiteral("gardé")) << c.file;
        EXPECT_EQ(readFileBytes(path), before) << c.file;
    }
}

// A number that is no number, or an infinity, has no place in a file: it is written as the
// spreadsheet's error value #NUM!, which this reader and another take. Texts with characters XML
// cannot carry (control characters, U+FFFE, U+FFFF, which the file keeps as "_x0001_") and texts
// that look like such escapes come back whole, in text cells and as formulas' text results.
TEST(WorkbookFile, ValuesAFileCannotHoldAsTheyAreComeBackWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("values.xlsx"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QString texts[] = {
        QStringLiteral("a\x01z"),
        QStringLiteral("\x1f"
                       "bord\x1f"),
        QStringLiteral("ligne\r\nsuite\t"),
        QStringLiteral("_x0041_"),
        QStringLiteral("_x005F_"),
        QStringLiteral("\x02_x0001_\x03"),
        QStringLiteral("__x0041__x0042_"),
        QStringLiteral("_X0041_ _x00 _x004G_"),
        QStringLiteral("ab_x0041\x01"),
        QString::fromUtf16(u"a\0b", 3),
        QString::fromUtf16(u"\0", 1),
        QString::fromUtf16(u"a\uFFFEb\uFFFF"),
        QString::fromUtf16(u"_x0041\uFFFF_xFFFE_"),
    };
    Workbook book;
    Worksheet& s = book.current();
    s.SetNumber(1, 1, nan);
    s.SetNumber(2, 1, inf);
    s.SetNumber(3, 1, -inf);
    s.SetFormula(4, 1, QStringLiteral("A2*2"), inf);
    s.SetNumber(5, 1, 1e308);
    for (int i = 0; i < int(std::size(texts)); ++i) {
        s.SetText(i + 1, 2, texts[i]);
        s.SetFormulaText(i + 1, 3, QStringLiteral("B%1").arg(i + 1), texts[i]);
    }
    EXPECT_EQ(s.Text(1, 1), QStringLiteral("#NUM!"));
    EXPECT_EQ(s.Text(4, 1), QStringLiteral("#NUM!"));
    book.Write(path);

    Workbook read;
    read.Read(path);
    const Worksheet& r = read.current();
    for (int row = 1; row <= 4; ++row)
        EXPECT_EQ(r.Text(row, 1), QStringLiteral("#NUM!")) << row;
    EXPECT_EQ(r.cellAt(4, 1)->Formula, QStringLiteral("A2*2"));
    EXPECT_EQ(r.cellAt(5, 1)->Number, 1e308);
    for (int i = 0; i < int(std::size(texts)); ++i) {
        EXPECT_EQ(r.Text(i + 1, 2), texts[i]) << i;
        EXPECT_EQ(r.Text(i + 1, 3), texts[i]) << i;
        EXPECT_EQ(r.cellAt(i + 1, 3)->Formula, QStringLiteral("B%1").arg(i + 1)) << i;
    }

    // Another reader: the errors as the file gives them. openpyxl turns back only the escaped
    // underscore "_x005F_", and only in shared texts (column B), not in formulas' results
    // (column C): what it shows is the file's text.
    EXPECT_EQ(runPython(QStringLiteral("import sys, openpyxl\n"
                                       "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                       "print([ws.cell(r, 1).value for r in range(1, 6)])\n"
                                       "ws = openpyxl.load_workbook(sys.argv[1], "
                                       "data_only=True).active\n"
                                       "print([ws.cell(r, 1).value for r in range(1, 5)])\n"
                                       "for r in (1, 4, 10, 12, 13):\n"
                                       "    print(ascii(ws.cell(r, 2).value), "
                                       "ascii(ws.cell(r, 3).value))\n"),
                        {path}),
              QStringLiteral("['=#NUM!', '=#NUM!', '=#NUM!', '=A2*2', 1e+308]\n"
                             "['#NUM!', '#NUM!', '#NUM!', '#NUM!']\n"
                             "'a_x0001_z' 'a_x0001_z'\n"
                             "'_x0041_' '_x005F_x0041_'\n"
                             "'a_x0000_b' 'a_x0000_b'\n"
                             "'a_xFFFE_b_xFFFF_' 'a_xFFFE_b_xFFFF_'\n"
                             "'_x0041_xFFFF__xFFFE_' '_x005F_x0041_xFFFF__x005F_xFFFE_'\n"));
}

// Every finite double is written as the shortest text that reads back as the same double, as a
// number and as a formula's last value; this reader and another take each back to the last bit.
TEST(WorkbookFile, NumbersComeBackToTheLastBit)
{
    const struct
    {
        double value;
        const char* inFile;   // the shortest text that reads back whole
        const char* inPython; // how Python shows the double openpyxl read
    } cases[] = {
        {0.30000000000000004, "0.30000000000000004", "0.30000000000000004"},
        {1.0000000000000002, "1.0000000000000002", "1.0000000000000002"},
        {2.2250738585072014e-308, "2.2250738585072014E-308", "2.2250738585072014e-308"},
        {123456789.12345678, "123456789.12345678", "123456789.12345678"},
        {std::numeric_limits<double>::max(), "1.7976931348623157E+308", "1.7976931348623157e+308"},
        {-std::numeric_limits<double>::max(), "-1.7976931348623157E+308",
         "-1.7976931348623157e+308"},
        {std::numeric_limits<double>::denorm_min(), "5E-324", "5e-324"},
        {0.1, "0.1", "0.1"},
        {-2.5, "-2.5", "-2.5"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("numbers.xlsx"));
    Workbook book;
    Worksheet& s = book.current();
    QString inFile;
    QString inPython;
    for (int i = 0; i < int(std::size(cases)); ++i) {
        s.SetNumber(i + 1, 1, cases[i].value);
        s.SetFormula(i + 1, 2, QStringLiteral("A%1").arg(i + 1), cases[i].value);
        inFile += QStringLiteral("%1 %1\n").arg(QLatin1String(cases[i].inFile));
        inPython += QStringLiteral("%1 %1\n").arg(QLatin1String(cases[i].inPython));
    }
    // A second sheet of the same numbers: each sheet's cells are mended in its own part.
    book.InsertSheets(2, 1);
    book.CopySheet(book, 1, QStringLiteral("Copie"));
    book.Write(path);

    Workbook read;
    read.Read(path);
    ASSERT_EQ(read.SheetCount(), 3);
    for (int n : {1, 3}) {
        for (int i = 0; i < int(std::size(cases)); ++i) {
            for (int col : {1, 2}) {
                const Cell* cell = read.sheet(n).cellAt(i + 1, col);
                ASSERT_NE(cell, nullptr) << n << " " << i << " " << col;
                EXPECT_EQ(std::bit_cast<quint64>(cell->Number),
                          std::bit_cast<quint64>(cases[i].value))
                    << cases[i].inFile << " sheet " << n << " column " << col;
            }
        }
    }
    EXPECT_EQ(read.sheet(1).cellAt(2, 2)->Formula, QStringLiteral("A2"));

    const QString script =
        QStringLiteral("import sys, re, zipfile, openpyxl\n"
                       "for name in ('xl/worksheets/sheet1.xml', 'xl/worksheets/sheet3.xml'):\n"
                       "    xml = zipfile.ZipFile(sys.argv[1]).read(name).decode()\n"
                       "    values = re.findall(r'<c "
                       "r=\"([AB])(\\d+)\"[^>]*>(?:<f>[^<]*</f>)?<v>([^<]*)</v>', xml)\n"
                       "    for row in range(1, %1):\n"
                       "        print(*[v for c, r, v in values if int(r) == row])\n"
                       "wb = openpyxl.load_workbook(sys.argv[1], data_only=True)\n"
                       "for ws in (wb.worksheets[0], wb.worksheets[2]):\n"
                       "    for row in ws.iter_rows(min_col=1, max_col=2, values_only=True):\n"
                       "        print(*[repr(v) for v in row])\n");
    EXPECT_EQ(runPython(script.arg(std::size(cases) + 1), {path}),
              inFile + inFile + inPython + inPython);
}

// A text that its escapes make longer than a cell holds is refused where it is set, naming the
// cell in the program's language; the cell keeps what it had and the book is written whole.
TEST(WorkbookFile, TextsLongerInTheFileThanACellHoldsAreRefusedWhereTheyAreSet)
{
    const auto language = qScopeGuard([] { setUiTextLanguage(0); });
    const QString control(1, QChar(0x01));
    const QString lookalike = QStringLiteral("_x0041_");
    const struct
    {
        QString text;
        int inFile; // its length in the file, counted by hand
    } cases[] = {
        {QString(32767, u'a'), 32767},
        {QString(32760, u'a') + control, 32767},
        {QString(32761, u'a') + control, 32768},
        {QString(4681, QChar(0xFFFE)), 32767},
        {QString(4682, QChar(0xFFFF)), 32774},
        {lookalike.repeated(2520), 32760}, // each becomes "_x005F_x0041_", 13
        {lookalike.repeated(2521), 32773},
        {QString(32768, u'a'), 32768},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.xlsx"));
    Workbook book;
    Worksheet& s = book.current();
    s.Name = QStringLiteral("Résultats");
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const int row = i + 1;
        s.SetText(row, 3, QStringLiteral("avant"));
        s.SetFormulaText(row, 4, QStringLiteral("C%1").arg(row), QStringLiteral("avant"));
        const bool fits = cases[i].inFile <= Workbook::MaxTextLength;
        setUiTextLanguage(1);
        const QString french =
            fits ? QStringLiteral("<no error>")
                 : QStringLiteral("Le texte de la cellule C%1 de la feuille \"Résultats\" est trop "
                                  "long pour un classeur : il occupe %2 caractères dans le "
                                  "fichier, et une cellule en contient 32767 au plus")
                       .arg(row)
                       .arg(cases[i].inFile);
        EXPECT_EQ(messageOf<EWorkbookError>([&] { s.SetText(row, 3, cases[i].text); }), french);
        setUiTextLanguage(2);
        const QString russian =
            fits ? QStringLiteral("<no error>")
                 : QStringLiteral("Текст ячейки D%1 на листе \"Résultats\" слишком длинный для "
                                  "книги: его длина в файле — %2, а ячейка вмещает не более 32767 "
                                  "символов")
                       .arg(row)
                       .arg(cases[i].inFile);
        EXPECT_EQ(messageOf<EWorkbookError>([&] {
                      s.SetFormulaText(row, 4, QStringLiteral("C%1").arg(row), cases[i].text);
                  }),
                  russian);
        const QString kept = fits ? cases[i].text : QStringLiteral("avant");
        EXPECT_EQ(s.Text(row, 3), kept) << i;
        EXPECT_EQ(s.Text(row, 4), kept) << i;
    }

    book.Write(path);
    Workbook read;
    read.Read(path);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const QString kept =
            cases[i].inFile <= Workbook::MaxTextLength ? cases[i].text : QStringLiteral("avant");
        EXPECT_EQ(read.current().Text(i + 1, 3), kept) << i;
        EXPECT_EQ(read.current().Text(i + 1, 4), kept) << i;
    }
    // The lengths of the texts as another reader finds them in the file: their escapes as they
    // stand there, but for the shared texts' "_x005F_" that openpyxl turns back into "_".
    EXPECT_EQ(runPython(QStringLiteral("import sys, openpyxl\n"
                                       "ws = openpyxl.load_workbook(sys.argv[1], "
                                       "data_only=True).active\n"
                                       "for row in ws.iter_rows(min_col=3, max_col=4, "
                                       "values_only=True):\n"
                                       "    print(*[len(v) for v in row])\n"),
                        {path}),
              QStringLiteral("32767 32767\n32767 32767\n5 5\n32767 32767\n5 5\n17640 32760\n"
                             "5 5\n5 5\n"));
}

TEST(WorkbookFile, WritingReplacesAFileWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    writeFileBytes(path, "ancien");
    Workbook book;
    book.current().Name = QStringLiteral("a/b");
    EXPECT_TRUE(messageOf<EWorkbookError>([&] { book.Write(path); }).contains(QStringLiteral("/")));
    book.current().Name = QStringLiteral("Résultats");
    book.InsertSheets(2, 1);
    book.SetSheetName(2, QStringLiteral("RÉSULTATS"));
    EXPECT_TRUE(
        messageOf<EWorkbookError>([&] { book.Write(path); }).contains(QStringLiteral("deux")));
    book.DeleteSheets(2, 1);
    // A number whose text is mended: the file goes through a second temporary copy.
    book.current().SetNumber(1, 1, 0.1 + 0.2);
    fileops::failNth(fileops::Op::Rename, 1, ENOSPC);
    EXPECT_NE(messageOf<EWorkbookError>([&] { book.Write(path); }), QStringLiteral("<no error>"));
    EXPECT_EQ(readFileBytes(path), QByteArray("ancien"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"book.xlsx"});
    book.Write(path);
    Workbook read;
    read.Read(path);
    EXPECT_EQ(read.SheetName(1), QStringLiteral("Résultats"));
    EXPECT_EQ(read.current().cellAt(1, 1)->Number, 0.1 + 0.2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"book.xlsx"});
}

TEST(Workbook, SheetNamesAreMadeToFitTheFile)
{
    const QString long31 = QString(31, u'A');
    const struct
    {
        QString name;
        QStringList taken;
        QString fitted;
    } cases[] = {
        {QStringLiteral("Résultats"), {}, QStringLiteral("Résultats")},
        {QStringLiteral("a[b]:c*d?e/f\\g"), {}, QStringLiteral("a_b__c_d_e_f_g")},
        {QString(40, u'B'), {}, QString(31, u'B')},
        {QStringLiteral("Résultats"), {QStringLiteral("RÉSULTATS")}, QStringLiteral("Résultats_")},
        {QStringLiteral("x"), {QStringLiteral("X"), QStringLiteral("x_")}, QStringLiteral("x__")},
        {long31, {long31.toLower()}, QString(30, u'A') + u'_'},
        {long31, {long31, QString(30, u'A') + u'_'}, QString(29, u'A') + QStringLiteral("__")},
        {QString(), {}, QStringLiteral("Sheet")},
        {QStringLiteral("'cité'"), {}, QStringLiteral("_cité_")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Workbook::FitSheetName(c.name, c.taken), c.fitted) << c.name.toStdString();
        EXPECT_EQ(Workbook::SheetNameFault(c.fitted), QString());
    }
}

TEST(Workbook, SelectionKeepsItsBlockForAnActiveCellInsideIt)
{
    Workbook book;
    Worksheet& s = book.current();
    s.SetSelection(CellRange{3, 2, 6, 4});
    s.SetActiveCell(4, 3);
    EXPECT_EQ(s.Selection(), (CellRange{3, 2, 6, 4}));
    EXPECT_EQ(s.Row(), 4);
    s.SetActiveCell(8, 1);
    EXPECT_EQ(s.Selection(), (CellRange{8, 1, 8, 1}));
    EXPECT_TRUE(messageOf<EWorkbookError>([&] {
                    s.SetText(0, 1, QStringLiteral("x"));
                }).contains(QStringLiteral("hors")));
    EXPECT_NE(messageOf<EWorkbookError>([&] { s.SetText(1, Workbook::MaxCol + 1, "x"); }),
              QStringLiteral("<no error>"));
}

// Column A 64 pixels at 100%, B hidden, C 96 pixels; rows 20 pixels.
TEST(WorkbookPaint, FillsBordersAndHiddenColumnsFallWhereTheSizesSay)
{
    Workbook book;
    Worksheet& s = book.current();
    s.SetColHidden(2, true);
    s.SetColWidth(3, 1440);
    s.SetText(1, 2, QStringLiteral("caché"));
    s.SetFormatAt(1, 2, formatWith([](CellFormat& f) {
                      f.Pattern = 1;
                      f.PatternColor = 0xFFFF0000;
                  }));
    s.SetFormatAt(1, 3, formatWith([](CellFormat& f) {
                      f.Pattern = 1;
                      f.PatternColor = 0xFF0000FF;
                  }));
    s.SetFormatAt(2, 3, formatWith([](CellFormat& f) {
                      f.Pattern = 1;
                      f.PatternColor = 0xFF00FF00;
                  }));
    s.SetFormatAt(3, 1,
                  formatWith([](CellFormat& f) { f.setBorder(BorderSide::Bottom, ThinBorder); }));
    for (int zoom : {100, 200}) {
        const int k = zoom / 100;
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(Qt::gray);
        SheetView view;
        view.PixelsPerTwip = zoom / 100.0 * 96 / 1440;
        view.GridLines = false;
        {
            QPainter painter(&image);
            paintSheet(painter, s, QRectF(0, 0, 400, 200), view);
        }
        // C1 starts right after A: the hidden column takes nothing.
        EXPECT_EQ(image.pixelColor(64 * k, 10 * k), QColor(Qt::blue)) << zoom;
        EXPECT_EQ(image.pixelColor(64 * k - 1, 10 * k), QColor(Qt::white)) << zoom;
        for (int x = 0; x < 400; ++x)
            ASSERT_NE(image.pixelColor(x, 10 * k), QColor(Qt::red)) << zoom << " at " << x;
        // C2 is green over its 96 pixels.
        EXPECT_EQ(image.pixelColor(64 * k + 1, 30 * k), QColor(Qt::green)) << zoom;
        EXPECT_EQ(image.pixelColor(160 * k - 1, 30 * k), QColor(Qt::green)) << zoom;
        EXPECT_EQ(image.pixelColor(160 * k, 30 * k), QColor(Qt::white)) << zoom;
        // A3's bottom border is the last pixel line of row 3.
        EXPECT_EQ(image.pixelColor(30 * k, 60 * k - 1), QColor(Qt::black)) << zoom;
        EXPECT_EQ(image.pixelColor(30 * k, 60 * k - 2), QColor(Qt::white)) << zoom;
        EXPECT_EQ(image.pixelColor(30 * k, 60 * k), QColor(Qt::white)) << zoom;
    }
}

TEST(WorkbookView, SelectsWithTheMouseAndKeysAndReportsItsEvents)
{
    WorkbookView view;
    view.resize(300, 200);
    QStringList events;
    view.OnSelChange = [&events](QObject*) { events << QStringLiteral("selection"); };
    view.OnMouseUp = [&events](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint& at) {
        events << QStringLiteral("up %1 %2,%3").arg(int(button)).arg(at.x()).arg(at.y());
    };
    view.OnTopLeftChanged = [&events](QObject*) { events << QStringLiteral("top-left"); };
    const auto mouse = [&view](QEvent::Type type, QPoint at, Qt::KeyboardModifiers mods = {}) {
        QMouseEvent event(type, at, view.mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, mods);
        QApplication::sendEvent(&view, &event);
    };
    // Columns of 64 pixels and rows of 20 at 100%: (70, 25) is B2.
    mouse(QEvent::MouseButtonPress, QPoint(70, 25));
    mouse(QEvent::MouseButtonRelease, QPoint(70, 25));
    const Worksheet& sheet = view.book().current();
    EXPECT_EQ(sheet.Selection(), (CellRange{2, 2, 2, 2}));
    mouse(QEvent::MouseButtonPress, QPoint(140, 65), Qt::ShiftModifier);
    EXPECT_EQ(sheet.Selection(), (CellRange{2, 2, 4, 3}));
    EXPECT_EQ(QList<int>({sheet.Row(), sheet.Col()}), QList<int>({2, 2}));
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(&view, &right);
    EXPECT_EQ(sheet.Selection(), (CellRange{2, 3, 2, 3}));
    // At 200%, columns of 128 pixels and rows of 40.
    view.SetViewScale(200);
    int row = 0;
    int col = 0;
    ASSERT_TRUE(view.cellAt(QPoint(140, 45), row, col));
    EXPECT_EQ(QList<int>({row, col}), QList<int>({2, 2}));
    view.SetViewScale(1000);
    EXPECT_EQ(view.ViewScale(), 400);
    view.SetTopLeft(5, 1);
    EXPECT_EQ(events,
              QStringList({"selection", "up 1 70,25", "selection", "selection", "top-left"}));
}
