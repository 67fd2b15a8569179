// The report viewer: its components, paging, zoom, printing, saving and inserting into files, and
// the patient button.
#include "repf1.h"

#include "pagemetrics.h"
#include "repimg.h"
#include "repwrite.h"
#include "rfileit.h"
#include "rgen.h"
#include "scroll.h"

#include <platform/ui/filedialog.h>
#include <platform/ui/workbookview.h>
#include <platform/workbook/workbookpaint.h>
#include <translation/lc.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

QStringList F1Captions{QStringLiteral("F1.Cap=Aperçu des éditions")};
std::function<void(qint32, qint32)> PatientButtonHook;
QPointer<TfF1Processor> fF1Processor;
std::function<TfF1Processor*()> CreateF1Processor = [] {
    auto* viewer = CreateForm<TfF1Processor>();
    // Kept until the application ends.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, viewer, [viewer] { viewer->Free(); });
    return viewer;
};

QUORVANE_FORM(TfF1Processor);

namespace {

constexpr int ZoomInCursor = 101;
constexpr int ZoomOutCursor = 102;
const int ZoomSteps[] = {10, 25, 50, 75, 100, 125, 150, 200, 250, 300, 400};

// The program's screen cursors by number, as the viewer registers them.
QHash<int, QCursor>& screenCursors()
{
    static QHash<int, QCursor> cursors;
    return cursors;
}

void registerCursor(int number, const QString& resource, QPoint hotSpot)
{
    screenCursors().insert(number, QCursor(QPixmap(resource), hotSpot.x(), hotSpot.y()));
}

// MulDiv of the system: a * b / c rounded to the nearest, halves away from zero.
int MulDiv(qint64 a, qint64 b, qint64 c)
{
    if (c == 0)
        return -1;
    const double exact = double(a) * double(b) / double(c);
    return int(std::lround(exact));
}

// The tool buttons' pictures, drawn: 16 by 16 pixels.
QIcon toolIcon(const char* kind)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x20, 0x20, 0x60), 1.5));
    const QByteArray k(kind);
    if (k == "prev" || k == "next") {
        const bool back = k == "prev";
        const QPointF tip(back ? 3 : 13, 8);
        p.setBrush(QColor(0x20, 0x50, 0xA0));
        p.drawPolygon(QPolygonF{tip, QPointF(back ? 12 : 4, 2), QPointF(back ? 12 : 4, 14)});
    } else if (k == "print") {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 1.5, 8, 6));
        p.setBrush(QColor(0xB0, 0xB0, 0xB0));
        p.drawRect(QRectF(1.5, 7, 13, 6));
    } else if (k == "excel") {
        p.setBrush(QColor(0x20, 0x80, 0x40));
        p.drawRect(QRectF(2, 2, 12, 12));
        p.setPen(QPen(Qt::white, 1.5));
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
    } else if (k == "zoom" || k == "in" || k == "out") {
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.drawLine(QPointF(9, 9), QPointF(14, 14));
        if (k != "zoom")
            p.drawLine(QPointF(4, 6), QPointF(8, 6));
        if (k == "in")
            p.drawLine(QPointF(6, 4), QPointF(6, 8));
    } else if (k == "breaks") {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 1.5, 10, 13));
        p.setPen(QPen(QColor(0x20, 0x20, 0xA0), 1, Qt::DashLine));
        p.drawLine(QPointF(1, 8), QPointF(15, 8));
    } else if (k == "exit") {
        p.setPen(QPen(QColor(0xA0, 0x20, 0x20), 2));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    } else if (k == "patient") {
        p.setBrush(QColor(0xE0, 0xC0, 0xA0));
        p.drawEllipse(QRectF(5, 1.5, 6, 6));
        p.drawRoundedRect(QRectF(3, 9, 10, 6), 2, 2);
    }
    return QIcon(pixmap);
}

} // namespace

TfF1Processor::TfF1Processor(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnDestroy = [this](QObject* sender) { FormDestroy(sender); };
    OnResize = [this](QObject* sender) { pMainResize(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

TfF1Processor::~TfF1Processor() = default;

void TfF1Processor::createComponents()
{
    const auto button = [this](QToolButton*& b, const char* name, const QString& caption,
                               const char* icon, QWidget* bar) {
        b = makeComponent<QToolButton>(name, "TToolButton", bar);
        b->setText(caption);
        b->setToolTip(caption);
        b->setIcon(toolIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
    };
    setCaption(QStringLiteral("Aperçu des éditions"));
    ToolBar1 = makeComponent<QFrame>("ToolBar1", "TToolBar");
    button(tbPatient, "tbPatient", QStringLiteral("Открыть карту пациента"), "patient", ToolBar1);
    button(tbPrev, "tbPrev", QStringLiteral("Page précédente"), "prev", ToolBar1);
    button(tbNext, "tbNext", QStringLiteral("Page suivante"), "next", ToolBar1);
    button(tbPrint, "tbPrint", QStringLiteral("Imprimer"), "print", ToolBar1);
    button(tbExcel, "tbExcel", QStringLiteral("Enregistrer le rapport..."), "excel", ToolBar1);
    button(tbZoom, "tbZoom", QStringLiteral("Agrandissement"), "zoom", ToolBar1);
    tbZoom->setCheckable(true);
    tbZoom->setChecked(true);
    button(tbHideBreaks, "tbHideBreaks", QStringLiteral("Cacher les sauts de pages"), "breaks",
           ToolBar1);
    tbHideBreaks->setCheckable(true);
    tbHideBreaks->setChecked(true);
    cbZoom = makeComponent<QComboBox>("cbZoom", "TComboBox", ToolBar1);
    cbZoom->setEditable(true);
    cbZoom->setInsertPolicy(QComboBox::NoInsert);
    for (int step : ZoomSteps)
        cbZoom->addItem(QStringLiteral("%1%").arg(step));
    cbZoom->addItems({QStringLiteral("Largeur page"), QStringLiteral("Page entière")});
    cbZoom->setCurrentText(QStringLiteral("100%"));
    cbZoom->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbZoom->setMinimumContentsLength(12);
    ToolBar2 = makeComponent<QFrame>("ToolBar2", "TToolBar");
    button(tbZoomIn, "tbZoomIn", QStringLiteral("Plus près"), "in", ToolBar2);
    button(tbZoomOut, "tbZoomOut", QStringLiteral("Plus loin"), "out", ToolBar2);
    button(tbExit, "tbExit", QStringLiteral("Fermer (Alt+F4)"), "exit", ToolBar2);

    pmPrev = makeComponent<QMenu>("pmPrev", "TPopupMenu");
    miPrev = makeMenuItem("miPrev", QStringLiteral("Page &précédente"));
    miFirstPage = makeMenuItem("miFirstPage", QStringLiteral("P&remière page"));
    pmPrev->addActions({miPrev, miFirstPage});
    pmNext = makeComponent<QMenu>("pmNext", "TPopupMenu");
    miNext = makeMenuItem("miNext", QStringLiteral("Page &suivante"));
    miLastpage = makeMenuItem("miLastpage", QStringLiteral("&Dernière page"));
    pmNext->addActions({miNext, miLastpage});
    pmPrint = makeComponent<QMenu>("pmPrint", "TPopupMenu");
    miPrint2 = makeMenuItem("miPrint2", QStringLiteral("Imprimer"));
    miPrinterSetup2 =
        makeMenuItem("miPrinterSetup2", QStringLiteral("Configuration de l'imprimante"));
    pmPrint->addActions({miPrint2, miPrinterSetup2});
    pmExcel = makeComponent<QMenu>("pmExcel", "TPopupMenu");
    miExcelWrite = makeMenuItem("miExcelWrite", QStringLiteral("Enregistrer sous..."));
    miExcelAppend = makeMenuItem("miExcelAppend", QStringLiteral("Insérer dans..."));
    miNumFormats = makeMenuItem("miNumFormats", QStringLiteral("Exporter les nombres"));
    miNumFormats->setCheckable(true);
    pmExcel->addActions({miExcelWrite, miExcelAppend, miNumFormats});
    tbPrev->setMenu(pmPrev);
    tbNext->setMenu(pmNext);
    tbPrint->setMenu(pmPrint);
    tbExcel->setMenu(pmExcel);
    for (QToolButton* b : {tbPrev, tbNext, tbPrint, tbExcel})
        b->setPopupMode(QToolButton::MenuButtonPopup);

    pMain = makeComponent<QFrame>("pMain", "TPanel");
    F1Viewer = makeComponent<WorkbookView>("F1Viewer", "TF1BookNew", pMain);
    sbVScrollBar =
        makeComponent<TPageScrollBar>("sbVScrollBar", "TPageScrollBar", Qt::Vertical, pMain);
    sbVScrollBar->SetPageSize(0);
    pHScrollBar = makeComponent<QFrame>("pHScrollBar", "TPanel", pMain);
    tsReports = makeComponent<QTabBar>("tsReports", "TTabSet", pHScrollBar);
    tsReports->setShape(QTabBar::RoundedSouth);
    tsReports->setExpanding(false);
    tsReports->setUsesScrollButtons(true);
    for (const char* tab : {" Sheet1 ", " Sheet2 ", " Sheet3 "})
        tsReports->addTab(QString::fromLatin1(tab));
    sbHScrollBar = makeComponent<TPageScrollBar>("sbHScrollBar", "TPageScrollBar", Qt::Horizontal,
                                                 pHScrollBar);
    sbHScrollBar->setMaximum(100);
    sbHScrollBar->SetPageSize(30);
    sbState = makeComponent<QStatusBar>("sbState", "TStatusBar");
    for (const char* text : {"1:1", "1/1", ""}) {
        auto* panel = new QLabel(QString::fromLatin1(text), sbState);
        panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        panel->setMinimumWidth(
            panel->fontMetrics().horizontalAdvance(QStringLiteral("00000: 0000000")));
        sbState->addPermanentWidget(panel);
        m_panels.append(panel);
    }
    m_panels.last()->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    pmMenu = makeComponent<QMenu>("pmMenu", "TPopupMenu");
    miNextPage = makeMenuItem("miNextPage", QStringLiteral("Page suivante"));
    miPrevPage = makeMenuItem("miPrevPage", QStringLiteral("Page précédente"));
    miFirstPage2 = makeMenuItem("miFirstPage2", QStringLiteral("Première page"));
    miLastPage2 = makeMenuItem("miLastPage2", QStringLiteral("Dernière page"));
    N1 = makeMenuItem("N1", QStringLiteral("-"));
    miZoomIn = makeMenuItem("miZoomIn", QStringLiteral("Plus près"));
    miZoomOut = makeMenuItem("miZoomOut", QStringLiteral("Plus loin"));
    miPageWidth = makeMenuItem("miPageWidth", QStringLiteral("Largeur page"));
    miPage = makeMenuItem("miPage", QStringLiteral("Page entière"));
    N2 = makeMenuItem("N2", QStringLiteral("-"));
    miHideBreak = makeMenuItem("miHideBreak", QStringLiteral("Cacher les sauts de pages"));
    miHideBreak->setCheckable(true);
    miHideBreak->setChecked(true);
    N3 = makeMenuItem("N3", QStringLiteral("-"));
    miPrint = makeMenuItem("miPrint", QStringLiteral("Imprimer"));
    miPrinterSetup =
        makeMenuItem("miPrinterSetup", QStringLiteral("Configuration de l'imprimante"));
    pmMenu->addActions({miNextPage, miPrevPage, miFirstPage2, miLastPage2, N1, miZoomIn, miZoomOut,
                        miPageWidth, miPage, N2, miHideBreak, N3, miPrint, miPrinterSetup});

    // Workbooks are .xlsx files, whatever the file is called.
    SaveToExcel = makeComponent<FileDialog>("SaveToExcel", "TSaveDialog", FileDialog::Save, this);
    SaveToExcel->DefaultExt = QStringLiteral("xlsx");
    SaveToExcel->Filter = QStringLiteral("Classeur Excel (*.xlsx)|*.xlsx");
    SaveToExcel->Title = QStringLiteral("Enregistrer le rapport...");
    SaveToExcel->OverwritePrompt = true;
    AppendToExcel =
        makeComponent<FileDialog>("AppendToExcel", "TOpenDialog", FileDialog::Open, this);
    AppendToExcel->DefaultExt = QStringLiteral("xlsx");
    AppendToExcel->Filter = QStringLiteral("Classeur Excel (*.xlsx)|*.xlsx");
    AppendToExcel->Title = QStringLiteral("Insérer le rapport dans un fichier (Excel ou F1)...");
    AppendToExcel->FileMustExist = true;

    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = QStringList{
        QStringLiteral("1=Report has more then %d items."),
        QStringLiteral("2=Le rapport est incomplet. Voulez-vous continuer ?"),
        QStringLiteral("F1.Error=Le fichier %s ne peut pas être ouvert."),
    };
    m_printBook = std::make_unique<Workbook>();
}

void TfF1Processor::layoutComponents()
{
    const auto bar = [](QFrame* frame, std::initializer_list<QWidget*> widgets) {
        auto* row = new QHBoxLayout(frame);
        row->setContentsMargins(2, 2, 2, 2);
        row->setSpacing(1);
        for (QWidget* w : widgets)
            row->addWidget(w);
    };
    bar(ToolBar1, {tbPatient, tbPrev, tbNext, tbPrint, tbExcel, tbZoom, tbHideBreaks, cbZoom});
    bar(ToolBar2, {tbZoomIn, tbZoomOut, tbExit});
    auto* bars = new QHBoxLayout;
    bars->setSpacing(6);
    bars->addWidget(ToolBar1);
    bars->addWidget(ToolBar2);
    bars->addStretch();

    auto* bottom = new QHBoxLayout(pHScrollBar);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(0);
    bottom->addWidget(tsReports, 1);
    bottom->addWidget(sbHScrollBar, 1);
    auto* grid = new QGridLayout(pMain);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(F1Viewer, 0, 0);
    grid->addWidget(sbVScrollBar, 0, 1);
    grid->addWidget(pHScrollBar, 1, 0, 1, 2);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);

    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(0);
    all->addLayout(bars);
    all->addWidget(pMain, 1);
    all->addWidget(sbState);
    setDesignedSize(640, 480);
}

void TfF1Processor::connectHandlers()
{
    const auto click = [this](QToolButton* b, void (TfF1Processor::*handler)(QObject*)) {
        connect(b, &QToolButton::clicked, this, [this, b, handler] { (this->*handler)(b); });
    };
    const auto item = [this](QAction* a, void (TfF1Processor::*handler)(QObject*)) {
        connect(a, &QAction::triggered, this, [this, a, handler] { (this->*handler)(a); });
    };
    click(tbPatient, &TfF1Processor::tbPatientClick);
    click(tbPrev, &TfF1Processor::miPrevClick);
    click(tbNext, &TfF1Processor::miNextClick);
    click(tbPrint, &TfF1Processor::tbPrintClick);
    click(tbExcel, &TfF1Processor::tbExcelClick);
    click(tbZoom, &TfF1Processor::tbZoomClick);
    click(tbHideBreaks, &TfF1Processor::tbHideBreaksClick);
    click(tbZoomIn, &TfF1Processor::tbZoomInClick);
    click(tbZoomOut, &TfF1Processor::tbZoomOutClick);
    click(tbExit, &TfF1Processor::tbExitClick);
    item(miPrev, &TfF1Processor::miPrevClick);
    item(miFirstPage, &TfF1Processor::miFirstPageClick);
    item(miNext, &TfF1Processor::miNextClick);
    item(miLastpage, &TfF1Processor::miLastpageClick);
    item(miPrint2, &TfF1Processor::tbPrintClick);
    item(miPrinterSetup2, &TfF1Processor::miPrinterSetupClick);
    item(miExcelWrite, &TfF1Processor::tbExcelClick);
    item(miExcelAppend, &TfF1Processor::miExcelAppendClick);
    item(miNumFormats, &TfF1Processor::miNumFormatsClick);
    item(miNextPage, &TfF1Processor::miNextClick);
    item(miPrevPage, &TfF1Processor::miPrevClick);
    item(miFirstPage2, &TfF1Processor::miFirstPageClick);
    item(miLastPage2, &TfF1Processor::miLastpageClick);
    item(miZoomIn, &TfF1Processor::tbZoomInClick);
    item(miZoomOut, &TfF1Processor::tbZoomOutClick);
    item(miPageWidth, &TfF1Processor::tbPageWidthClick);
    item(miPage, &TfF1Processor::tbPageClick);
    item(miHideBreak, &TfF1Processor::miHideBreakClick);
    item(miPrint, &TfF1Processor::tbPrintClick);
    item(miPrinterSetup, &TfF1Processor::miPrinterSetupClick);
    connect(cbZoom, &QComboBox::activated, this, [this] { cbZoomClick(cbZoom); });
    connect(cbZoom->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        int key = Qt::Key_Return;
        cbZoomKeyDown(cbZoom, key, Qt::NoModifier);
    });
    connect(tsReports, &QTabBar::currentChanged, this, [this](int tab) { tsReportsChange(tab); });
    connect(sbHScrollBar, &QScrollBar::valueChanged, this,
            [this](int value) { sbHScrollBarScroll(value); });
    connect(sbVScrollBar, &QScrollBar::valueChanged, this,
            [this](int value) { sbVScrollBarScroll(value); });
    SaveToExcel->OnTypeChange = [this](QObject* sender) { SaveToExcelTypeChange(sender); };
    F1Viewer->OnMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, const QPoint& at) {
        F1ViewerMouseUp(b, m, at);
    };
    F1Viewer->OnKeyDown = [this](QObject* s, int& key, Qt::KeyboardModifiers m) {
        F1ViewerKeyDown(s, key, m);
    };
    F1Viewer->OnKeyUp = [this](QObject* s, int& key, Qt::KeyboardModifiers m) {
        F1ViewerKeyUp(s, key, m);
    };
    F1Viewer->OnDblClick = [this](QObject* s) { F1ViewerDblClick(s); };
    F1Viewer->OnSelChange = [this](QObject* s) { F1ViewerSelChange(s); };
    F1Viewer->OnTopLeftChanged = [this](QObject* s) { F1ViewerTopLeftChanged(s); };
}

// ---- creation and showing

void TfF1Processor::FormCreate(QObject*)
{
    const QString title = QGuiApplication::applicationDisplayName();
    F1Viewer->book().Title = title;
    m_printBook->Title = title;
    registerCursor(ZoomInCursor, QStringLiteral(":/reports/zoomin.xpm"), QPoint(11, 11));
    registerCursor(ZoomOutCursor, QStringLiteral(":/reports/zoomout.xpm"), QPoint(11, 11));
    const TPageMetrics page = PrinterPageMetrics();
    F1Viewer->book().PageSize =
        QSizeF(std::min(page.Width, page.Height), std::max(page.Width, page.Height));
    AddCaptions();
}

void TfF1Processor::AddCaptions()
{
    const auto add = [](const QString& name, const char* what, const QString& text) {
        F1Captions.append(QStringLiteral("F1.%1.%2=%3").arg(name, QLatin1String(what), text));
    };
    for (QObject* c : components()) {
        const QString name = c->objectName();
        if (auto* a = qobject_cast<QAction*>(c); a && !a->isSeparator()) {
            add(name, "Caption", a->text());
            add(name, "Hint", a->statusTip());
        } else if (auto* b = qobject_cast<QToolButton*>(c)) {
            add(name, "Caption", b->text());
            add(name, "Hint", b->toolTip());
        } else if (auto* d = qobject_cast<FileDialog*>(c)) {
            add(name, "Title", d->Title);
            add(name, "Filter", d->Filter);
        }
    }
}

void TfF1Processor::ApplyCaptions()
{
    const auto text = [](const QString& key) {
        const QString prefix = key + QLatin1Char('=');
        for (const QString& line : std::as_const(F1Captions)) {
            if (line.startsWith(prefix))
                return line.mid(prefix.size());
        }
        return QString();
    };
    setCaption(text(QStringLiteral("F1.Cap")));
    for (QObject* c : components()) {
        const QString key = QStringLiteral("F1.") + c->objectName();
        if (auto* a = qobject_cast<QAction*>(c); a && !a->isSeparator()) {
            a->setText(text(key + QStringLiteral(".Caption")));
            a->setStatusTip(text(key + QStringLiteral(".Hint")));
        } else if (auto* b = qobject_cast<QToolButton*>(c)) {
            b->setText(text(key + QStringLiteral(".Caption")));
            b->setToolTip(text(key + QStringLiteral(".Hint")));
        } else if (auto* d = qobject_cast<FileDialog*>(c)) {
            d->Title = text(key + QStringLiteral(".Title"));
            d->Filter = text(key + QStringLiteral(".Filter"));
        }
    }
}

void TfF1Processor::FormShow(QObject*)
{
    tbHideBreaksClick(tbHideBreaks);
    ApplyZoomMode();
    RefreshTabs();
    UpdatePageControls();
    tbPrint->setEnabled(!QPrinterInfo::availablePrinterNames().isEmpty());
    SetZoom(100);
    cbZoom->setCurrentText(QStringLiteral("100%"));
    F1Viewer->setFocus();
    ApplyCaptions();
}

void TfF1Processor::FormDestroy(QObject*)
{
    m_sheets.clear();
    m_printBook.reset();
    m_printer.reset();
}

QString TfF1Processor::PanelText(int panel) const
{
    return m_panels.value(panel) ? m_panels.value(panel)->text() : QString();
}

QString TfF1Processor::LCText(const QString& Name) const
{
    const QString prefix = Name + QLatin1Char('=');
    for (const QString& line : std::as_const(LC1->Consts)) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return QString();
}

// ---- reports and sheets

void TfF1Processor::AddReport(std::unique_ptr<rgen::TRptGen> Report, const TReportParams& Params)
{
    auto* output = Report ? dynamic_cast<TF1Iterator*>(Report->Output()) : nullptr;
    if (!output)
        throw EReportException(QStringLiteral("Le rapport n'a pas de classeur"));
    Workbook& book = F1Viewer->book();
    const Workbook& source = output->Book();
    QStringList taken;
    for (int i = 1; i <= book.SheetCount() && !m_sheets.empty(); ++i)
        taken.append(book.SheetName(i));
    const int sheet = book.CopySheet(source, source.CurrentSheet(),
                                     Workbook::FitSheetName(source.current().Name, taken));
    // The first report takes the place of the empty sheet a new control has.
    if (m_sheets.empty())
        book.DeleteSheets(1, sheet - 1);
    book.sheet(book.SheetCount()).ViewScale = F1Viewer->ViewScale();
    m_sheets.push_back(SheetData{std::move(Report), Params});
    RefreshTabs();
    UpdatePageControls();
}

void TfF1Processor::RefreshTabs()
{
    const QSignalBlocker quiet(tsReports);
    const Workbook& book = F1Viewer->book();
    while (tsReports->count() > book.SheetCount())
        tsReports->removeTab(tsReports->count() - 1);
    for (int i = 1; i <= book.SheetCount(); ++i) {
        const QString text = QLatin1Char(' ') + book.SheetName(i) + QLatin1Char(' ');
        if (i <= tsReports->count())
            tsReports->setTabText(i - 1, text);
        else
            tsReports->addTab(text);
    }
    tsReports->setCurrentIndex(book.CurrentSheet() - 1);
}

void TfF1Processor::tsReportsChange(int NewTab)
{
    F1Viewer->book().SetCurrentSheet(NewTab + 1);
    UpdatePageControls();
    UpdatePatientButton();
}

// ---- pages

QList<int> TfF1Processor::PageStarts() const
{
    QList<int> starts{1};
    starts += F1Viewer->book().current().AllRowBreaks();
    return starts;
}

void TfF1Processor::MoveToPage(int Page)
{
    const QList<int> starts = PageStarts();
    Page = std::clamp(Page, 1, int(starts.size()));
    F1Viewer->SetTopLeft(starts.at(Page - 1), F1Viewer->LeftCol());
    UpdatePageControls();
}

void TfF1Processor::UpdatePageControls()
{
    const Worksheet& sheet = F1Viewer->book().current();
    const QList<int> breaks = sheet.AllRowBreaks();
    const int top = sheet.TopRow;
    const bool next = std::any_of(breaks.cbegin(), breaks.cend(), [top](int b) { return b > top; });
    const bool previous = !breaks.isEmpty() && breaks.first() <= top;
    for (QToolButton* b : {tbNext})
        b->setEnabled(next);
    for (QAction* a : {miNext, miLastpage, miNextPage, miLastPage2})
        a->setEnabled(next);
    tbPrev->setEnabled(previous);
    for (QAction* a : {miPrev, miFirstPage, miPrevPage, miFirstPage2})
        a->setEnabled(previous);
    {
        const QSignalBlocker quietV(sbVScrollBar);
        const QSignalBlocker quietH(sbHScrollBar);
        sbVScrollBar->setRange(1, std::max({1, sheet.PrintLastRow(), top}));
        sbVScrollBar->setValue(top);
        sbHScrollBar->setRange(1, std::max({1, sheet.PrintLastCol(), sheet.LeftCol}));
        sbHScrollBar->setValue(sheet.LeftCol);
    }
    const int page =
        1 + int(std::count_if(breaks.cbegin(), breaks.cend(), [top](int b) { return b <= top; }));
    m_panels[0]->setText(ZoomMode() ? QString()
                                    : QStringLiteral("%1: %2").arg(sheet.Col()).arg(sheet.Row()));
    m_panels[1]->setText(QStringLiteral("%1/ %2").arg(page).arg(breaks.size() + 1));
}

void TfF1Processor::miFirstPageClick(QObject*)
{
    MoveToPage(1);
}

void TfF1Processor::miLastpageClick(QObject*)
{
    MoveToPage(int(PageStarts().size()));
}

void TfF1Processor::miNextClick(QObject*)
{
    const QList<int> starts = PageStarts();
    const int top = F1Viewer->TopRow();
    const int page =
        int(std::count_if(starts.cbegin(), starts.cend(), [top](int s) { return s <= top; }));
    MoveToPage(page + 1);
}

void TfF1Processor::miPrevClick(QObject*)
{
    const QList<int> starts = PageStarts();
    const int top = F1Viewer->TopRow();
    const int page =
        int(std::count_if(starts.cbegin(), starts.cend(), [top](int s) { return s <= top; }));
    MoveToPage(page - 1);
}

void TfF1Processor::F1ViewerTopLeftChanged(QObject*)
{
    UpdatePageControls();
}

void TfF1Processor::sbHScrollBarScroll(int Position)
{
    F1Viewer->SetTopLeft(F1Viewer->TopRow(), Position);
}

void TfF1Processor::sbVScrollBarScroll(int Position)
{
    F1Viewer->SetTopLeft(Position, F1Viewer->LeftCol());
}

void TfF1Processor::pMainResize(QObject*)
{
    UpdatePageControls();
}

void TfF1Processor::pHScrollBarResize(QObject*)
{
    UpdatePageControls();
}

void TfF1Processor::tbHideBreaksClick(QObject*)
{
    F1Viewer->SetShowPageBreaks(!tbHideBreaks->isChecked());
    miHideBreak->setChecked(tbHideBreaks->isChecked());
    F1Viewer->update();
}

void TfF1Processor::miHideBreakClick(QObject*)
{
    tbHideBreaks->setChecked(miHideBreak->isChecked());
    tbHideBreaksClick(miHideBreak);
}

// ---- zoom

bool TfF1Processor::ZoomMode() const
{
    return tbZoom->isChecked();
}

void TfF1Processor::SetZoom(int Z)
{
    Z = std::clamp(Z, 10, 400);
    Workbook& book = F1Viewer->book();
    const bool repainting = F1Viewer->RepaintFlag();
    F1Viewer->SetRepaintFlag(false);
    const int current = book.CurrentSheet();
    for (int i = 1; i <= book.SheetCount(); ++i) {
        if (book.sheet(i).ViewScale != Z)
            book.sheet(i).ViewScale = Z;
    }
    book.SetCurrentSheet(current);
    if (repainting)
        F1Viewer->SetRepaintFlag(true);
    tbZoomIn->setEnabled(Z < 400);
    miZoomIn->setEnabled(Z < 400);
    tbZoomOut->setEnabled(Z >= 11);
    miZoomOut->setEnabled(Z >= 11);
    cbZoom->setCurrentText(QStringLiteral("%1%").arg(Z));
}

void TfF1Processor::KeepUnder(const QPoint& At, int Row, int Col)
{
    // The first row and column from which the clicked cell stands where the pointer is.
    const double scale = F1Viewer->pixelsPerTwip();
    const Worksheet& sheet = F1Viewer->book().current();
    int top = Row;
    double above = 0;
    while (top > 1 && above + sheet.ShownRowHeight(top - 1) * scale <= At.y()) {
        above += sheet.ShownRowHeight(top - 1) * scale;
        --top;
    }
    int left = Col;
    double before = 0;
    while (left > 1 && before + sheet.ShownColWidth(left - 1) * scale <= At.x()) {
        before += sheet.ShownColWidth(left - 1) * scale;
        --left;
    }
    F1Viewer->SetTopLeft(top, left);
}

void TfF1Processor::ZoomIn(const QPoint* At)
{
    const int current = F1Viewer->ViewScale();
    int row = 0;
    int col = 0;
    const bool onCell = At && F1Viewer->cellAt(*At, row, col);
    for (int step : ZoomSteps) {
        if (step > current) {
            SetZoom(step);
            break;
        }
    }
    if (onCell)
        KeepUnder(*At, row, col);
    UpdatePageControls();
}

void TfF1Processor::ZoomOut(const QPoint* At)
{
    const int current = F1Viewer->ViewScale();
    int row = 0;
    int col = 0;
    const bool onCell = At && F1Viewer->cellAt(*At, row, col);
    for (auto step = std::rbegin(ZoomSteps); step != std::rend(ZoomSteps); ++step) {
        if (*step < current) {
            SetZoom(*step);
            break;
        }
    }
    if (onCell)
        KeepUnder(*At, row, col);
    UpdatePageControls();
}

void TfF1Processor::tbZoomInClick(QObject*)
{
    ZoomIn();
}

void TfF1Processor::tbZoomOutClick(QObject*)
{
    ZoomOut();
}

int TfF1Processor::PageWidthZoom() const
{
    const TPageMetrics page = PrinterPageMetrics();
    const PrintSettings& p = F1Viewer->book().current().Print;
    const bool agree = p.Landscape == page.Landscape;
    const int width = int((agree ? page.Width : page.Height) - (p.LeftMargin + p.RightMargin) * 72);
    // Margins that leave no page keep the zoom as it is.
    if (width <= 0)
        return F1Viewer->ViewScale();
    return std::clamp(MulDiv(F1Viewer->width(), 144000, qint64(width) * 20 * logicalDpiX()), 10,
                      400);
}

int TfF1Processor::WholePageZoom() const
{
    const TPageMetrics page = PrinterPageMetrics();
    const PrintSettings& p = F1Viewer->book().current().Print;
    const bool agree = p.Landscape == page.Landscape;
    const int height =
        int((agree ? page.Height : page.Width) - (p.TopMargin + p.BottomMargin) * 72);
    if (height <= 0)
        return F1Viewer->ViewScale();
    const int byHeight = std::clamp(
        MulDiv(F1Viewer->height(), 144000, qint64(height) * 20 * logicalDpiY()), 10, 400);
    return std::max(byHeight, PageWidthZoom());
}

void TfF1Processor::tbPageWidthClick(QObject*)
{
    SetZoom(PageWidthZoom());
    UpdatePageControls();
}

void TfF1Processor::tbPageClick(QObject*)
{
    SetZoom(WholePageZoom());
    UpdatePageControls();
}

void TfF1Processor::ApplyZoomText(const QString& Text)
{
    if (Text == QLatin1String("Largeur page")) {
        tbPageWidthClick(cbZoom);
        return;
    }
    if (Text == QLatin1String("Page entière")) {
        tbPageClick(cbZoom);
        return;
    }
    QString number = Text;
    number.remove(QLatin1Char('%'));
    bool ok = false;
    const int zoom = number.trimmed().toInt(&ok);
    if (ok)
        SetZoom(zoom);
    else
        cbZoom->setCurrentText(QStringLiteral("%1%").arg(F1Viewer->ViewScale()));
    UpdatePageControls();
}

void TfF1Processor::cbZoomClick(QObject*)
{
    ApplyZoomText(cbZoom->currentText());
}

void TfF1Processor::cbZoomKeyDown(QObject*, int& Key, Qt::KeyboardModifiers)
{
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter)
        ApplyZoomText(cbZoom->currentText());
}

void TfF1Processor::ApplyZoomMode()
{
    if (ZoomMode()) {
        F1Viewer->SetMousePointer(1);
        F1Viewer->ShowSelections = 0;
        F1Viewer->setCursor(screenCursors().value(ZoomInCursor, QCursor(Qt::ArrowCursor)));
        F1Viewer->DoRDblClick = false;
        F1Viewer->ShowEditBar = false;
    } else {
        F1Viewer->SetMousePointer(0);
        F1Viewer->ShowSelections = 2;
        F1Viewer->unsetCursor();
        F1Viewer->SetMousePointer(0);
        F1Viewer->DoRDblClick = true;
        F1Viewer->ShowEditBar = true;
    }
    F1Viewer->update();
}

void TfF1Processor::tbZoomClick(QObject*)
{
    ApplyZoomMode();
    UpdatePageControls();
    UpdatePatientButton();
}

void TfF1Processor::F1ViewerMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                                    const QPoint& At)
{
    if (!ZoomMode())
        return;
    if (Button == Qt::LeftButton) {
        if (Shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
            ZoomOut(&At);
        else
            ZoomIn(&At);
    } else if (Button == Qt::RightButton) {
        pmMenu->popup(F1Viewer->mapToGlobal(At));
    }
}

void TfF1Processor::F1ViewerKeyDown(QObject*, int& Key, Qt::KeyboardModifiers)
{
    if (!ZoomMode())
        return;
    switch (Key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
        F1Viewer->setCursor(screenCursors().value(ZoomOutCursor, QCursor(Qt::ArrowCursor)));
        break;
    case Qt::Key_PageDown:
        miNextClick(F1Viewer);
        Key = 0;
        break;
    case Qt::Key_PageUp:
        miPrevClick(F1Viewer);
        Key = 0;
        break;
    default:
        break;
    }
}

void TfF1Processor::F1ViewerKeyUp(QObject*, int& Key, Qt::KeyboardModifiers)
{
    if (ZoomMode() && (Key == Qt::Key_Shift || Key == Qt::Key_Control || Key == Qt::Key_Alt))
        F1Viewer->setCursor(screenCursors().value(ZoomInCursor, QCursor(Qt::ArrowCursor)));
}

void TfF1Processor::F1ViewerDblClick(QObject*)
{
    // The control edits nothing: a double click has no meaning of its own here.
}

void TfF1Processor::F1ViewerSelChange(QObject*)
{
    UpdatePatientButton();
    UpdatePageControls();
}

// ---- the patient button

qint32 TfF1Processor::CurrentKey(int Col) const
{
    const int sheet = F1Viewer->book().CurrentSheet();
    if (sheet < 1 || sheet > int(m_sheets.size()) || !m_sheets[size_t(sheet - 1)].Report)
        return 0;
    const TFieldMap* map = m_sheets[size_t(sheet - 1)].Report->FieldMap();
    if (!map || Col >= map->ColCount())
        return 0;
    return map->Lookup(F1Viewer->book().current().Row(), Col);
}

void TfF1Processor::UpdatePatientButton()
{
    tbPatient->setEnabled(CurrentKey(0) != 0 && !ZoomMode());
}

void TfF1Processor::tbPatientClick(QObject*)
{
    const qint32 key = CurrentKey(0);
    if (key != 0 && PatientButtonHook)
        PatientButtonHook(key, CurrentKey(1));
}

// ---- printing

QPrinter& TfF1Processor::Printer()
{
    if (!m_printer) {
        const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
        m_printer = printer.isNull()
                        ? std::make_unique<QPrinter>(QPrinter::HighResolution)
                        : std::make_unique<QPrinter>(printer, QPrinter::HighResolution);
    }
    return *m_printer;
}

void TfF1Processor::miPrinterSetupClick(QObject*)
{
    dialogService().printerSetup(Printer());
}

void TfF1Processor::tbPrintClick(QObject*)
{
    const bool breaksShown = F1Viewer->ShowPageBreaks();
    Workbook& viewer = F1Viewer->book();
    Workbook& print = *m_printBook;
    RemoveImages(print);
    print.Clear();
    print.CopySheet(viewer, viewer.CurrentSheet(), viewer.current().Name);
    print.DeleteSheets(1, 1);
    Worksheet& sheet = print.current();
    PrintSettings& p = sheet.Print;
    p.HeaderMargin = 0;
    p.GridLines = false;
    p.Header.clear();
    p.Scale = 100;
    QPrinter& printer = Printer();
    print.PageSize = printer.pageLayout().pageSize().size(QPageSize::Point);
    const int sheetNumber = viewer.CurrentSheet();
    if (sheetNumber <= int(m_sheets.size())) {
        const Variant logo = TReportServer::GetParamValue(m_sheets[size_t(sheetNumber - 1)].Params,
                                                          QStringLiteral("LOGO"));
        if (!logo.isNull()) {
            const QString set = logo.toString();
            const int count = ImageCount(set);
            const QList<int> breaks = sheet.AllRowBreaks();
            PlaceImages(print, set, 1, count);
            for (int start : breaks)
                PlaceImages(print, set, start, count);
        }
    }
    PrintSheet(print);
    F1Viewer->SetShowPageBreaks(breaksShown);
}

void TfF1Processor::PrintSheet(Workbook& Book)
{
    const Worksheet& sheet = Book.current();
    QPrinter& printer = Printer();
    printer.setPageOrientation(sheet.Print.Landscape ? QPageLayout::Landscape
                                                     : QPageLayout::Portrait);
    printer.setFullPage(true);
    printer.setDocName(Book.Title.isEmpty() ? sheet.Name : Book.Title);
    QPainter painter;
    if (!painter.begin(&printer))
        throw EReportException(QStringLiteral("L'imprimante « %1 » n'imprime pas")
                                   .arg(printer.printerName().isEmpty() ? printer.outputFileName()
                                                                        : printer.printerName()));
    const QList<PrintPage> pages = sheet.Pages();
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0)
            printer.newPage();
        paintPage(painter, sheet, pages[i], paper.translated(-paper.topLeft()),
                  printer.resolution(), int(i) + 1, int(pages.size()));
    }
    painter.end();
}

// ---- saving and inserting

void TfF1Processor::CopyReportSheets(Workbook& Into, const QStringList& Taken)
{
    QStringList taken = Taken;
    const Workbook& viewer = F1Viewer->book();
    for (int i = 1; i <= viewer.SheetCount(); ++i) {
        const QString name = Workbook::FitSheetName(viewer.SheetName(i), taken);
        Into.CopySheet(viewer, i, name);
        taken.append(name);
    }
}

void TfF1Processor::tbExcelClick(QObject*)
{
    if (!SaveToExcel->Execute())
        return;
    std::unique_ptr<Workbook> scratch = TF1Write::NewBook();
    const int empty = scratch->SheetCount();
    CopyReportSheets(*scratch, {});
    scratch->DeleteSheets(1, empty);
    scratch->SetCurrentSheet(F1Viewer->book().CurrentSheet());
    scratch->Write(SaveToExcel->FileName);
}

void TfF1Processor::miExcelAppendClick(QObject*)
{
    if (!AppendToExcel->Execute())
        return;
    const QString file = AppendToExcel->FileName;
    std::unique_ptr<Workbook> scratch = TF1Write::NewBook();
    try {
        scratch->Read(file);
    } catch (const EWorkbookError& e) {
        qWarning("%s: %s", qUtf8Printable(file), qUtf8Printable(e.message()));
        dialogService().messageDlg(
            LCText(QStringLiteral("F1.Error")).replace(QStringLiteral("%s"), file), mtError, mbOK);
        return;
    }
    QStringList taken;
    for (int i = 1; i <= scratch->SheetCount(); ++i)
        taken.append(scratch->SheetName(i));
    CopyReportSheets(*scratch, taken);
    scratch->Write(file);
}

void TfF1Processor::SaveToExcelTypeChange(QObject*)
{
    // The one type written is .xlsx.
    SaveToExcel->DefaultExt = QStringLiteral("xlsx");
}

void TfF1Processor::miNumFormatsClick(QObject*)
{
    // A checkable item: Qt turned its mark already.
}

void TfF1Processor::tbExitClick(QObject*)
{
    Close();
}
