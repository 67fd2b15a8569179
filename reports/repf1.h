// The report viewer TfF1Processor: a preview over the program's spreadsheet control in which
// reports are shown page by page, zoomed, printed, saved or inserted into .xlsx files, and from
// which the record behind a row can be handed to the host (the patient button).
#pragma once

#include "repproc.h"

#include <platform/ui/forms.h>
#include <platform/variant.h>

#include <QMap>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class FileDialog;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPrinter;
class QStatusBar;
class QTabBar;
class QToolButton;
class TLC;
class TPageScrollBar;
namespace rgen {
class TRptGen;
}
class Workbook;
class WorkbookView;

// The process-wide caption list of the viewer: "F1.Cap=Aperçu des éditions" from the start, then
// "F1.<component>.Caption=...", ".Hint=", ".Title=", ".Filter=" lines its creation adds.
extern QStringList F1Captions;

// Called by the patient button with the record keys of the current row: the key of the field
// map's first column, and of its second (0 when the map has one). Nothing by default.
extern std::function<void(qint32 key, qint32 secondKey)> PatientButtonHook;

class TfF1Processor;
// The viewer, made once by TReportServer::SetActive.
extern QPointer<TfF1Processor> fF1Processor;
// How SetActive makes the viewer: CreateForm<TfF1Processor>() unless set otherwise.
extern std::function<TfF1Processor*()> CreateF1Processor;

class TfF1Processor : public TForm
{
    Q_OBJECT
public:
    explicit TfF1Processor(QWidget* parent = nullptr);
    ~TfF1Processor() override;

    // ---- components
    QFrame* ToolBar1;
    QToolButton* tbPatient;
    QToolButton* tbPrev;
    QToolButton* tbNext;
    QToolButton* tbPrint;
    QToolButton* tbExcel;
    QToolButton* tbZoom;
    QToolButton* tbHideBreaks;
    QComboBox* cbZoom;
    QFrame* ToolBar2;
    QToolButton* tbZoomIn;
    QToolButton* tbZoomOut;
    QToolButton* tbExit;
    QMenu* pmPrev;
    QAction* miPrev;
    QAction* miFirstPage;
    QMenu* pmNext;
    QAction* miNext;
    QAction* miLastpage;
    QMenu* pmPrint;
    QAction* miPrint2;
    QAction* miPrinterSetup2;
    QMenu* pmExcel;
    QAction* miExcelWrite;
    QAction* miExcelAppend;
    QAction* miNumFormats;
    QFrame* pMain;
    WorkbookView* F1Viewer;
    TPageScrollBar* sbVScrollBar;
    QFrame* pHScrollBar;
    QTabBar* tsReports;
    TPageScrollBar* sbHScrollBar;
    QStatusBar* sbState;
    QMenu* pmMenu;
    QAction* miNextPage;
    QAction* miPrevPage;
    QAction* miFirstPage2;
    QAction* miLastPage2;
    QAction* N1;
    QAction* miZoomIn;
    QAction* miZoomOut;
    QAction* miPageWidth;
    QAction* miPage;
    QAction* N2;
    QAction* miHideBreak;
    QAction* N3;
    QAction* miPrint;
    QAction* miPrinterSetup;
    FileDialog* SaveToExcel;
    FileDialog* AppendToExcel;
    TLC* LC1;

    // The text of a status bar panel (0 to 2).
    QString PanelText(int panel) const;

    // Shows a report as a new sheet: the current sheet of the report's workbook is copied in,
    // and the report (whose field map finds the record behind a row) and its named parameters
    // ("LOGO": the picture set printed on every page) stay with the sheet.
    void AddReport(std::unique_ptr<rgen::TRptGen> Report, const TReportParams& Params = {});
    int ReportCount() const { return int(m_sheets.size()); }

    // The workbook printing copies the current sheet into, and the printer it prints on (the
    // default printer unless the set-up chose another).
    Workbook& PrintBook() { return *m_printBook; }
    QPrinter& Printer();

    // ---- handlers
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void tbPatientClick(QObject* Sender);
    void miPrevClick(QObject* Sender);
    void miNextClick(QObject* Sender);
    void miFirstPageClick(QObject* Sender);
    void miLastpageClick(QObject* Sender);
    void tbPrintClick(QObject* Sender);
    void miPrinterSetupClick(QObject* Sender);
    void tbExcelClick(QObject* Sender);
    void miExcelAppendClick(QObject* Sender);
    void SaveToExcelTypeChange(QObject* Sender);
    void miNumFormatsClick(QObject* Sender);
    void tbZoomClick(QObject* Sender);
    void tbHideBreaksClick(QObject* Sender);
    void miHideBreakClick(QObject* Sender);
    void cbZoomClick(QObject* Sender);
    void cbZoomKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void tbZoomInClick(QObject* Sender);
    void tbZoomOutClick(QObject* Sender);
    void tbPageWidthClick(QObject* Sender);
    void tbPageClick(QObject* Sender);
    void tbExitClick(QObject* Sender);
    void F1ViewerMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, const QPoint& At);
    void F1ViewerKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void F1ViewerKeyUp(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void F1ViewerDblClick(QObject* Sender);
    void F1ViewerSelChange(QObject* Sender);
    void F1ViewerTopLeftChanged(QObject* Sender);
    void tsReportsChange(int NewTab);
    void sbHScrollBarScroll(int Position);
    void sbVScrollBarScroll(int Position);
    void pMainResize(QObject* Sender);
    void pHScrollBarResize(QObject* Sender);

    // ---- zoom: Z is kept within 10 and 400; the fits from the printer's page and the sheet's
    // margins. A click at a point keeps the cell under it there.
    void SetZoom(int Z);
    void ZoomIn(const QPoint* At = nullptr);
    void ZoomOut(const QPoint* At = nullptr);
    int PageWidthZoom() const;
    int WholePageZoom() const;
    bool ZoomMode() const;

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();

    void UpdatePageControls();
    void UpdatePatientButton();
    void RefreshTabs();
    void ApplyZoomMode();
    void ApplyZoomText(const QString& Text);
    void MoveToPage(int Page);
    void KeepUnder(const QPoint& At, int Row, int Col);
    QList<int> PageStarts() const;
    qint32 CurrentKey(int Col) const;
    QString LCText(const QString& Name) const;
    void CopyReportSheets(Workbook& Into, const QStringList& Taken);
    void PrintSheet(Workbook& Book);
    void AddCaptions();
    void ApplyCaptions();

    struct SheetData
    {
        std::unique_ptr<rgen::TRptGen> Report;
        TReportParams Params;
    };
    std::vector<SheetData> m_sheets;
    std::unique_ptr<Workbook> m_printBook;
    std::unique_ptr<QPrinter> m_printer;
    QList<QLabel*> m_panels;
};
