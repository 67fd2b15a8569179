// The report viewer offscreen: its components, zoom and its fits by hand, paging over known
// breaks, tabs, saving and inserting into .xlsx files (read back by openpyxl), the patient
// button, printing a three-page report with its logo into a PDF file that poppler reads, and the
// settings component's activation.
#include <reports/pagemetrics.h>
#include <reports/repf1.h>
#include <reports/rfileit.h>
#include <reports/rgen.h>
#include <reports/scroll.h>

#include <platform/ui/filedialog.h>
#include <platform/ui/workbookview.h>
#include <platform/workbook/workbook.h>
#include <support/python.h>
#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>

#include <gtest/gtest.h>

using rgen::TRptGen;

namespace {

// A report as the (future) report pass leaves it: its sheet written through its output object.
std::unique_ptr<TRptGen> report(const QString& sheetName, int rows, const QList<int>& breaks = {})
{
    auto gen = std::make_unique<TRptGen>();
    auto& out = static_cast<TF1Iterator&>(*gen->Output());
    out.SetSheetName(sheetName);
    for (int row = 1; row <= rows; ++row) {
        out.SetArea(TRect{1, row, 1, row});
        out.SetCellText(QStringLiteral("%1 ligne %2").arg(sheetName).arg(row));
    }
    for (int b : breaks)
        out.Book().current().AddRowBreak(b);
    return gen;
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    EXPECT_TRUE(p.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

class Viewer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetPrinterPageMetricsForTesting(TPageMetrics{595, 842, false});
        viewer = CreateForm<TfF1Processor>();
    }
    void TearDown() override
    {
        viewer->Free();
        SetPrinterPageMetricsForTesting(std::nullopt);
        PatientButtonHook = nullptr;
        ImagesDir.clear();
    }
    Workbook& book() { return viewer->F1Viewer->book(); }

    TestWorkspace ws;
    TfF1Processor* viewer = nullptr;
};

QString textOf(QObject* c)
{
    if (auto* a = qobject_cast<QAction*>(c))
        return a->text();
    if (auto* b = qobject_cast<QToolButton*>(c))
        return b->toolTip();
    if (auto* d = qobject_cast<FileDialog*>(c))
        return d->Title + QLatin1Char('|') + d->Filter + QLatin1Char('|') + d->DefaultExt;
    if (auto* t = qobject_cast<QTabBar*>(c))
        return t->tabText(0);
    if (auto* s = qobject_cast<TPageScrollBar*>(c))
        return QString::number(s->PageSize());
    if (auto* combo = qobject_cast<QComboBox*>(c)) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return combo->currentText() + QLatin1Char('|') + items.join(QLatin1Char(','));
    }
    return QString();
}

} // namespace

TEST_F(Viewer, ComponentsHaveTheirNamesClassesAndTexts)
{
    const struct
    {
        const char* name;
        const char* kind;
        const char* text;
    } expected[] = {
        {"tbPatient", "TToolButton", "Открыть карту пациента"},
        {"tbPrev", "TToolButton", "Page précédente"},
        {"tbNext", "TToolButton", "Page suivante"},
        {"tbPrint", "TToolButton", "Imprimer"},
        {"tbExcel", "TToolButton", "Enregistrer le rapport..."},
        {"tbZoom", "TToolButton", "Agrandissement"},
        {"tbHideBreaks", "TToolButton", "Cacher les sauts de pages"},
        {"cbZoom", "TComboBox",
         "100%|10%,25%,50%,75%,100%,125%,150%,200%,250%,300%,400%,Largeur page,Page entière"},
        {"tbZoomIn", "TToolButton", "Plus près"},
        {"tbZoomOut", "TToolButton", "Plus loin"},
        {"tbExit", "TToolButton", "Fermer (Alt+F4)"},
        {"pmPrev", "TPopupMenu", ""},
        {"miPrev", "TMenuItem", "Page &précédente"},
        {"miFirstPage", "TMenuItem", "P&remière page"},
        {"miNext", "TMenuItem", "Page &suivante"},
        {"miLastpage", "TMenuItem", "&Dernière page"},
        {"miPrint2", "TMenuItem", "Imprimer"},
        {"miPrinterSetup2", "TMenuItem", "Configuration de l'imprimante"},
        {"miExcelWrite", "TMenuItem", "Enregistrer sous..."},
        {"miExcelAppend", "TMenuItem", "Insérer dans..."},
        {"miNumFormats", "TMenuItem", "Exporter les nombres"},
        {"F1Viewer", "TF1BookNew", ""},
        {"tsReports", "TTabSet", " Sheet1 "},
        {"sbHScrollBar", "TPageScrollBar", "30"},
        {"sbVScrollBar", "TPageScrollBar", "0"},
        {"sbState", "TStatusBar", ""},
        {"pmMenu", "TPopupMenu", ""},
        {"miZoomIn", "TMenuItem", "Plus près"},
        {"miPageWidth", "TMenuItem", "Largeur page"},
        {"miPage", "TMenuItem", "Page entière"},
        {"miHideBreak", "TMenuItem", "Cacher les sauts de pages"},
        {"SaveToExcel", "TSaveDialog",
         "Enregistrer le rapport...|Classeur Excel (*.xlsx)|*.xlsx|xlsx"},
        {"AppendToExcel", "TOpenDialog",
         "Insérer le rapport dans un fichier (Excel ou F1)...|Classeur Excel (*.xlsx)|*.xlsx|xlsx"},
        {"LC1", "TLC", ""},
    };
    viewer->show();
    for (const auto& e : expected) {
        QObject* c = viewer->findComponent(QString::fromLatin1(e.name));
        ASSERT_NE(c, nullptr) << e.name;
        EXPECT_EQ(c->property("componentClass").toString(), QLatin1String(e.kind)) << e.name;
        EXPECT_EQ(textOf(c), QString::fromUtf8(e.text)) << e.name;
    }
    EXPECT_EQ(viewer->Caption(), QStringLiteral("Aperçu des éditions"));
    EXPECT_TRUE(F1Captions.contains(QStringLiteral("F1.tbPrev.Hint=Page précédente")));
    EXPECT_TRUE(F1Captions.contains(
        QStringLiteral("F1.AppendToExcel.Filter=Classeur Excel (*.xlsx)|*.xlsx")));
    EXPECT_EQ(viewer->PanelText(1), QStringLiteral("1/ 1"));
    EXPECT_TRUE(viewer->tbZoom->isChecked());
    EXPECT_EQ(viewer->tbPrint->isEnabled(), !QPrinterInfo::availablePrinterNames().isEmpty());
    viewer->SaveToExcelTypeChange(viewer->SaveToExcel);
    EXPECT_EQ(viewer->SaveToExcel->DefaultExt, QStringLiteral("xlsx"));
    viewer->miNumFormats->trigger();
    EXPECT_TRUE(viewer->miNumFormats->isChecked());
    // The zoom cursors come from the program's resources.
    for (const char* cursor : {":/reports/zoomin.xpm", ":/reports/zoomout.xpm"})
        EXPECT_EQ(QPixmap(QString::fromLatin1(cursor)).size(), QSize(32, 32)) << cursor;
    EXPECT_EQ(viewer->F1Viewer->cursor().shape(), Qt::BitmapCursor);
    EXPECT_FALSE(viewer->F1Viewer->ShowEditBar);
}

TEST_F(Viewer, ZoomStepsThroughTheListWithinItsLimits)
{
    viewer->SetZoom(100);
    viewer->tbZoomInClick(viewer->tbZoomIn);
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 125);
    EXPECT_EQ(viewer->cbZoom->currentText(), QStringLiteral("125%"));
    viewer->tbZoomOutClick(viewer->tbZoomOut);
    viewer->tbZoomOutClick(viewer->tbZoomOut);
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 75);
    viewer->SetZoom(1000);
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 400);
    EXPECT_FALSE(viewer->tbZoomIn->isEnabled());
    viewer->ZoomIn();
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 400);
    viewer->SetZoom(3);
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 10);
    EXPECT_FALSE(viewer->tbZoomOut->isEnabled());
    EXPECT_FALSE(viewer->miZoomOut->isEnabled());
    viewer->SetZoom(11);
    EXPECT_TRUE(viewer->tbZoomOut->isEnabled());
    // Every sheet takes the zoom.
    viewer->AddReport(report(QStringLiteral("Un"), 3));
    viewer->AddReport(report(QStringLiteral("Deux"), 3));
    viewer->cbZoom->setCurrentText(QStringLiteral("250%"));
    viewer->cbZoomClick(viewer->cbZoom);
    EXPECT_EQ(book().sheet(1).ViewScale, 250);
    EXPECT_EQ(book().sheet(2).ViewScale, 250);
    // A click in zoom mode keeps the clicked cell under the pointer.
    viewer->SetZoom(100);
    viewer->F1Viewer->SetTopLeft(1, 1);
    viewer->F1ViewerMouseUp(Qt::LeftButton, Qt::NoModifier, QPoint(70, 45));
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 125);
    int row = 0;
    int col = 0;
    ASSERT_TRUE(viewer->F1Viewer->cellAt(QPoint(70, 45), row, col));
    EXPECT_EQ(QList<int>({row, col}), QList<int>({3, 2}));
    viewer->F1ViewerMouseUp(Qt::LeftButton, Qt::ShiftModifier, QPoint(70, 45));
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 100);
}

// A4 upright is 595 by 842 points; default margins are 0.7 and 0.75 inch (50.4 and 54 points).
TEST_F(Viewer, FitsComeFromThePageAndTheMarginsByHand)
{
    viewer->F1Viewer->setFixedSize(600, 400);
    ASSERT_EQ(viewer->logicalDpiX(), 96);
    // Width 595 - 100.8 = 494: 600 * 144000 / (494 * 20 * 96) = 91.09.
    EXPECT_EQ(viewer->PageWidthZoom(), 91);
    // Height 842 - 108 = 734: 400 * 144000 / (734 * 20 * 96) = 40.87; the larger one wins.
    EXPECT_EQ(viewer->WholePageZoom(), 91);
    viewer->cbZoom->setCurrentText(QStringLiteral("Largeur page"));
    viewer->cbZoomClick(viewer->cbZoom);
    EXPECT_EQ(viewer->cbZoom->currentText(), QStringLiteral("91%"));
    // Landscape on an upright printer: 842 - 100.8 = 741 wide (60.73), 595 - 108 = 487 high
    // (61.60).
    book().current().Print.Landscape = true;
    EXPECT_EQ(viewer->PageWidthZoom(), 61);
    EXPECT_EQ(viewer->WholePageZoom(), 62);
    // Margins that leave no page keep the zoom.
    book().current().Print.LeftMargin = 6;
    book().current().Print.RightMargin = 6;
    viewer->SetZoom(150);
    viewer->tbPageWidthClick(viewer->tbZoom);
    EXPECT_EQ(viewer->F1Viewer->ViewScale(), 150);
}

TEST_F(Viewer, PagesFollowTheBreaksAndTabsTheSheets)
{
    viewer->AddReport(report(QStringLiteral("Rapport"), 30, {11, 21}));
    viewer->AddReport(report(QStringLiteral("Rapport"), 5));
    viewer->show();
    EXPECT_EQ(book().SheetCount(), 2);
    EXPECT_EQ(viewer->tsReports->count(), 2);
    EXPECT_EQ(viewer->tsReports->tabText(1), QStringLiteral(" Rapport_ "));
    viewer->tsReports->setCurrentIndex(0);
    EXPECT_EQ(book().CurrentSheet(), 1);
    EXPECT_EQ(viewer->PanelText(1), QStringLiteral("1/ 3"));
    EXPECT_FALSE(viewer->tbPrev->isEnabled());
    EXPECT_FALSE(viewer->miFirstPage->isEnabled());
    EXPECT_TRUE(viewer->tbNext->isEnabled());
    viewer->miNextClick(viewer->tbNext);
    EXPECT_EQ(viewer->F1Viewer->TopRow(), 11);
    EXPECT_EQ(viewer->PanelText(1), QStringLiteral("2/ 3"));
    EXPECT_TRUE(viewer->tbPrev->isEnabled());
    viewer->miLastpageClick(viewer->miLastpage);
    EXPECT_EQ(viewer->F1Viewer->TopRow(), 21);
    EXPECT_EQ(viewer->PanelText(1), QStringLiteral("3/ 3"));
    EXPECT_FALSE(viewer->tbNext->isEnabled());
    EXPECT_FALSE(viewer->miLastpage->isEnabled());
    viewer->miPrevClick(viewer->tbPrev);
    EXPECT_EQ(viewer->F1Viewer->TopRow(), 11);
    viewer->miFirstPageClick(viewer->miFirstPage);
    EXPECT_EQ(viewer->F1Viewer->TopRow(), 1);
    // The current cell shows outside zoom mode only.
    EXPECT_EQ(viewer->PanelText(0), QString());
    viewer->tbZoom->click();
    book().current().SetActiveCell(5, 2);
    viewer->F1ViewerSelChange(viewer->F1Viewer);
    EXPECT_EQ(viewer->PanelText(0), QStringLiteral("2: 5"));
    viewer->tsReports->setCurrentIndex(1);
    EXPECT_EQ(book().CurrentSheet(), 2);
    EXPECT_EQ(viewer->PanelText(1), QStringLiteral("1/ 1"));
    // The break lines and their menu twin.
    EXPECT_FALSE(viewer->F1Viewer->ShowPageBreaks());
    viewer->tbHideBreaks->click();
    EXPECT_TRUE(viewer->F1Viewer->ShowPageBreaks());
    EXPECT_FALSE(viewer->miHideBreak->isChecked());
}

TEST_F(Viewer, SavingWritesEveryReportAndInsertingKeepsWhatTheFileHeld)
{
    ScopedScriptedDialogs dialogs;
    const QString long31 = QStringLiteral("Résultats biologiques du moisXX");
    ASSERT_EQ(long31.size(), 31);
    viewer->AddReport(report(QStringLiteral("Rapport"), 3, {2}));
    viewer->AddReport(report(long31, 2));
    book().sheet(1).Print.Landscape = true;

    dialogs.answerSaveFile(ws.path(QStringLiteral("sortie")));
    viewer->tbExcelClick(viewer->tbExcel);
    const QString saved = ws.path(QStringLiteral("sortie.xlsx"));
    EXPECT_EQ(runPython(QStringLiteral("import sys, openpyxl\n"
                                       "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                       "print(wb.sheetnames, wb.worksheets[0]['A3'].value,\n"
                                       "      [b.id for b in wb.worksheets[0].row_breaks.brk],\n"
                                       "      wb.worksheets[0].page_setup.orientation)\n"),
                        {saved}),
              QStringLiteral("['Rapport', '%1'] Rapport ligne 3 [1] landscape\n").arg(long31));

    // A book of another program: numbers (one a date), a formula, merged cells, and sheets
    // whose names the reports' names meet without regard to case.
    const QString other = ws.path(QStringLiteral("autre.xlsx"));
    runPython(QStringLiteral("import sys, datetime, openpyxl\n"
                             "wb = openpyxl.Workbook(); ws = wb.active; ws.title = 'Données'\n"
                             "ws['A1'] = 12.5; ws['A2'] = 7; ws['A3'] = '=SUM(A1:A2)'\n"
                             "ws['B1'] = datetime.date(2026, 12, 6)\n"
                             "ws['B1'].number_format = 'dd/mm/yyyy'\n"
                             "ws['C1'] = 'fusion'; ws.merge_cells('C1:D2')\n"
                             "wb.create_sheet('RAPPORT'); wb.create_sheet(sys.argv[2].lower())\n"
                             "wb.save(sys.argv[1])\n"),
              {other, long31});
    dialogs.answerOpenFile(other);
    viewer->miExcelAppendClick(viewer->miExcelAppend);
    EXPECT_EQ(runPython(QStringLiteral("import sys, openpyxl\n"
                                       "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                       "print(wb.sheetnames)\n"
                                       "ws = wb['Données']\n"
                                       "print(ws['A1'].value, ws['A2'].value, ws['A3'].value)\n"
                                       "print(ws['B1'].value, ws['B1'].number_format, "
                                       "ws['B1'].is_date)\n"
                                       "print([str(r) for r in ws.merged_cells.ranges])\n"),
                        {other}),
              QStringLiteral("['Données', 'RAPPORT', '%1', 'Rapport_', '%2_']\n"
                             "12.5 7 =SUM(A1:A2)\n"
                             "2026-12-06 00:00:00 dd/mm/yyyy True\n"
                             "['C1:D2']\n")
                  .arg(long31.toLower(), long31.left(30)));
    Workbook back;
    back.Read(other);
    EXPECT_EQ(back.sheet(1).cellAt(3, 1)->Formula, QStringLiteral("SUM(A1:A2)"));
    EXPECT_EQ(back.sheet(4).Text(1, 1), QStringLiteral("Rapport ligne 1"));

    // Workbooks it cannot keep are refused with LC1's text and left byte for byte.
    const QString chart = ws.path(QStringLiteral("graphique.xlsx"));
    runPython(QStringLiteral("import sys, openpyxl\n"
                             "from openpyxl.chart import BarChart, Reference\n"
                             "wb = openpyxl.Workbook(); ws = wb.active\n"
                             "for i in range(1, 5): ws.append([i])\n"
                             "c = BarChart()\n"
                             "c.add_data(Reference(ws, min_col=1, min_row=1, max_row=4))\n"
                             "ws.add_chart(c, 'C2'); wb.save(sys.argv[1])\n"),
              {chart});
    const QString damaged = ws.path(QStringLiteral("abîmé.xlsx"));
    writeFileBytes(damaged, readFileBytes(saved).left(900));
    for (const QString& path : {chart, damaged}) {
        const QByteArray before = readFileBytes(path);
        dialogs.answerOpenFile(path);
        dialogs.answerMessage(
            mrOk, QStringLiteral("Le fichier %1 ne peut pas être ouvert.").arg(path), mtError);
        viewer->miExcelAppendClick(viewer->miExcelAppend);
        EXPECT_EQ(readFileBytes(path), before) << path.toStdString();
    }
}

TEST_F(Viewer, ThePatientButtonHandsTheRowsKeysToTheHost)
{
    auto gen = report(QStringLiteral("Patients"), 6);
    auto map = std::make_unique<TFieldMap>();
    map->SetColCount(2);
    map->AddRow(5, {1234, 77});
    map->AddRow(6, {0, 0});
    gen->SetFieldMap(std::move(map));
    viewer->AddReport(std::move(gen));
    auto single = report(QStringLiteral("Un"), 3);
    auto one = std::make_unique<TFieldMap>();
    one->SetColCount(1);
    one->AddRow(2, {99});
    single->SetFieldMap(std::move(one));
    viewer->AddReport(std::move(single));
    QList<qint32> called;
    PatientButtonHook = [&called](qint32 key, qint32 second) { called << key << second; };

    book().SetCurrentSheet(1);
    book().current().SetActiveCell(5, 1);
    viewer->F1ViewerSelChange(viewer->F1Viewer);
    EXPECT_FALSE(viewer->tbPatient->isEnabled()); // zoom mode
    viewer->tbZoom->click();
    viewer->F1ViewerSelChange(viewer->F1Viewer);
    EXPECT_TRUE(viewer->tbPatient->isEnabled());
    viewer->tbPatient->click();
    EXPECT_EQ(called, QList<qint32>({1234, 77}));
    book().current().SetActiveCell(6, 1);
    viewer->F1ViewerSelChange(viewer->F1Viewer);
    EXPECT_FALSE(viewer->tbPatient->isEnabled());
    viewer->tsReports->setCurrentIndex(1);
    book().current().SetActiveCell(2, 1);
    viewer->F1ViewerSelChange(viewer->F1Viewer);
    called.clear();
    viewer->tbPatient->click();
    EXPECT_EQ(called, QList<qint32>({99, 0}));
    // Without a hook the click does nothing.
    PatientButtonHook = nullptr;
    viewer->tbPatient->click();
}

TEST_F(Viewer, PrintingAThreePageReportWithItsLogoMakesAPdfPopplerReads)
{
    ImagesDir = ws.path(QStringLiteral("Images/"));
    writeFileBytes(ws.path(QStringLiteral("Images/images.ini")),
                   "[LOGO]\r\nIMAGES=1\r\nIMAGE1_X1=1920\r\nIMAGE1_Y1=0\r\nIMAGE1_X2=2880\r\n"
                   "IMAGE1_Y2=600\r\nIMAGE1_NAME=Logo\\Cabinet.png\r\n");
    QImage logo(60, 30, QImage::Format_RGB32);
    logo.fill(QColor(0, 90, 160));
    QDir().mkpath(ws.path(QStringLiteral("Images/logo")));
    ASSERT_TRUE(logo.save(ws.path(QStringLiteral("Images/logo/cabinet.png"))));
    viewer->AddReport(report(QStringLiteral("Bilan"), 30, {11, 21}),
                      TReportParams{{QStringLiteral("LOGO"), QStringLiteral("LOGO")}});
    const QString pdf = ws.path(QStringLiteral("rapport.pdf"));
    QPrinter& printer = viewer->Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    viewer->tbPrintClick(viewer->tbPrint);

    EXPECT_TRUE(
        run(QStringLiteral("pdfinfo"), {pdf}).contains(QRegularExpression("Pages:\\s+3\\n")));
    for (int page = 1; page <= 3; ++page) {
        const QString text = run(QStringLiteral("pdftotext"),
                                 {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                  QString::number(page), pdf, QStringLiteral("-")});
        const int first = page * 10 - 9;
        EXPECT_TRUE(text.contains(QStringLiteral("Bilan ligne %1\n").arg(first))) << page;
        EXPECT_TRUE(text.contains(QStringLiteral("Bilan ligne %1\n").arg(first + 9))) << page;
        EXPECT_FALSE(text.contains(QStringLiteral("Bilan ligne %1\n").arg(first + 10))) << page;
    }
    // One picture a page.
    const QStringList images =
        run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(u'\n');
    QList<int> pages;
    for (const QString& line : images.mid(2)) {
        const QStringList fields = line.simplified().split(u' ');
        if (fields.size() > 4 && fields[2] == QLatin1String("image"))
            pages << fields[0].toInt();
    }
    EXPECT_EQ(pages, QList<int>({1, 2, 3}));
    // The print book holds the logo on each page's first row; the report's own sheet does not.
    EXPECT_EQ(viewer->PrintBook().current().Pictures.size(), 3);
    EXPECT_TRUE(book().current().Pictures.isEmpty());
}

TEST(ReportServer, ActivationMakesOneViewerAndReportsAFailure)
{
    TestWorkspace ws;
    {
        TReportServer server;
        server.SetTempDir(ws.root());
        int activated = 0;
        server.OnActivate = [&activated](TReportServer&) { ++activated; };
        server.SetActive(true);
        ASSERT_NE(fF1Processor, nullptr);
        EXPECT_FALSE(fF1Processor->F1Viewer->RepaintFlag());
        EXPECT_EQ(activated, 1);
        TfF1Processor* first = fF1Processor;
        TReportServer second;
        second.SetActive(true);
        EXPECT_EQ(fF1Processor, first);
        fF1Processor->Free();
    }
    const auto saved = CreateF1Processor;
    CreateF1Processor = []() -> TfF1Processor* { throw Exception(QStringLiteral("pas d'écran")); };
    TReportServer failing;
    EXPECT_EQ(messageOf<EReportException>([&] { failing.SetActive(true); }),
              QStringLiteral("Chargement de Formula One échoué: pas d'écran"));
    EXPECT_FALSE(failing.Active());
    CreateF1Processor = saved;
}
