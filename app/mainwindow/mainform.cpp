// The main window: its components, start-up (FormCreate), showing and hiding, and the way the
// program ends. The polling loop is in mainform_loop.cpp, the lists and commands in
// mainform_lists.cpp.
#include "mainform.h"

#include "mainform_texts.h"
#include "mainmodules.h"
#include "taskbaricon.h"
#include "titul.h"

#include <analysers/comslots.h>
#include <analysers/maxmfile.h>
#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/tablehelpers.h>
#include <app/documents/workstation_app.h>
#include <app/sources/printer_source.h>
#include <app/sources/testform.h>
#include <app/translatableforms.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/format.h>
#include <platform/inifile.h>
#include <platform/printqueue.h>
#include <platform/process.h>
#include <platform/regional.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <platform/support/procs.h>
#include <platform/support/textprocs.h>
#include <platform/ui/application.h>
#include <platform/ui/windowplace.h>
#include <platform/uitexts.h>
#include <translation/lc.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// The designed client area: the least the window's layouts make it.
constexpr int ClientWidth = 623;
constexpr int DesignedClientHeight = 414;
constexpr int MaxCaptionLength = 108;

QString g_captureServerNameForTesting;

// A button of the row under the documents: at least its designed size, and never narrower than
// its caption, whatever language the caption was translated into after the window was laid out
// (a size set once would let the row's equal shares cut a longer caption).
class RowButton : public QPushButton
{
public:
    using QPushButton::QPushButton;
    QSize minimumSizeHint() const override { return sizeHint().expandedTo(QSize(144, 28)); }
};

// The program's picture: the application's icon when it has one, else a drawn one.
QPixmap programPicture(int size)
{
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        return icon.pixmap(size, size);
    QPixmap pixmap(size, size);
    pixmap.fill(QColor(0, 128, 128));
    QPainter painter(&pixmap);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size * 2 / 3);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Q"));
    return pixmap;
}

QTreeWidget* makeList(QTreeWidget* list, const QStringList& titles)
{
    list->setColumnCount(int(titles.size()));
    list->setHeaderLabels(titles);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setStretchLastSection(false);
    return list;
}

// The practice software's version file, whatever the case of its name; empty when it is missing.
QString practiceVersionFile()
{
    return files::findNoCase(TressolyPath, QStringLiteral("TRESSOLY.VER"));
}

} // namespace

// ---- creation

QUORVANE_TRANSLATABLE_FORM(TMainForm);

TMainForm::TMainForm(QWidget* parent) : TForm(parent)
{
    // Nothing global is touched here: the translation editor creates windows of this class only
    // to read their texts, while the program's own window runs.
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnHide = [this](QObject* sender) { FormHide(sender); };
    OnActivate = [this](QObject* sender) { FormActivate(sender); };
    OnKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        FormKeyDown(sender, key, shift);
    };
    OnCloseQuery = [this](QObject* sender, bool& canClose) { FormCloseQuery(sender, canClose); };
    OnClose = [this](QObject* sender, TCloseAction& action) { FormClose(sender, action); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

TMainForm::~TMainForm()
{
    if (MainForm == this) {
        MainForm = nullptr;
        SetMainFormTexts(nullptr);
        setWorkstationService(nullptr);
        SetRestructureRecordFileHook(nullptr);
        SetLogFailureHandler({});
        // The ports outlive the window: they must not call it any more.
        for (int slot = 1; slot <= TComPortSlots::Count; ++slot)
            ComPortSlots[slot].Port->OnReceiveData = {};
    }
    if (Titul)
        Titul->Free();
}

void TMainForm::createComponents()
{
    setCaption(ProgName);
    m_client = new QWidget(this);
    createDocumentPanel();

    bShowLOG = makeComponent<RowButton>("bShowLOG", "TBitBtn", m_client);
    bShowLOG->setText(QStringLiteral("&Afficher le journal..."));
    bTransfer = makeComponent<RowButton>("bTransfer", "TBitBtn", m_client);
    bTransfer->setText(QStringLiteral("&Transférer..."));
    ConfigBtn = makeComponent<RowButton>("ConfigBtn", "TSpeedButton", m_client);
    ConfigBtn->setText(QStringLiteral("Con&figuration"));
    ConfigBtn->setCheckable(true);
    bCont = makeComponent<RowButton>("bCont", "TBitBtn", m_client);
    bCont->setText(QStringLiteral("&Continuer"));

    createSourcePanel();
    createMenu();

    CommonTimer = makeComponent<QTimer>("CommonTimer", "TTimer");
    CommonTimer->setInterval(1000);
    // Tests of the whole program set a shorter tick and wait for the signs of ticks and questions
    // on stderr instead of for time to pass.
    bool testTick = false;
    const int testInterval = qEnvironmentVariableIntValue("QUORVANE_TEST_TICK_MS", &testTick);
    if (testTick && testInterval > 0) {
        m_testSigns = true;
        CommonTimer->setInterval(testInterval);
        connect(WindowPlacer::of(this), &WindowPlacer::placed, this, [this] {
            std::fprintf(stderr, "QUORVANE main window placed: window %llu\n",
                         static_cast<unsigned long long>(winId()));
        });
    }
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = MainFormConsts();

    m_quitRetry = new QTimer(this);
    m_quitRetry->setSingleShot(true);
    m_quitRetry->setInterval(100);
}

// The upper panel: the logos, the user, the clock and the documents list with its commands.
void TMainForm::createDocumentPanel()
{
    Panel1 = makeComponent<QFrame>("Panel1", "TPanel", m_client);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Image1 = makeComponent<QLabel>("Image1", "TImage", Panel1);
    Image1->setPixmap(programPicture(96));
    Image2 = makeComponent<QLabel>("Image2", "TImage", Panel1);
    Image2->setPixmap(programPicture(96));
    Image3 = makeComponent<QLabel>("Image3", "TImage", Panel1);
    Image3->setPixmap(programPicture(40));
    Image3->setVisible(false);
    Label1 = makeComponent<QLabel>("Label1", "TLabel", Panel1);
    Label1->setText(QStringLiteral("Utilisateur:"));
    Label6 = makeComponent<QLabel>("Label6", "TLabel", Panel1);
    Label6->setText(QStringLiteral("<Aucun>"));
    Label6->setTextFormat(Qt::PlainText);
    Label2 = makeComponent<QLabel>("Label2", "TLabel", Panel1);
    Label2->setText(QStringLiteral("Date:"));
    Label4 = makeComponent<QLabel>("Label4", "TLabel", Panel1);
    Label3 = makeComponent<QLabel>("Label3", "TLabel", Panel1);
    Label3->setText(QStringLiteral("Heure:"));
    Label5 = makeComponent<QLabel>("Label5", "TLabel", Panel1);
    Label7 = makeComponent<QLabel>("Label7", "TLabel", Panel1);
    Label7->setText(QStringLiteral("Liste des documents importés:"));
    ListView1 = makeList(
        makeComponent<QTreeWidget>("ListView1", "TListView", Panel1),
        {QStringLiteral("Source"), QStringLiteral("Patient"), QStringLiteral("Date&Heure")});
    bView = makeComponent<QPushButton>("bView", "TBitBtn", Panel1);
    bView->setText(QStringLiteral("Visualiser..."));
    bIdentify = makeComponent<QPushButton>("bIdentify", "TBitBtn", Panel1);
    bIdentify->setText(QStringLiteral("Identifier..."));
    bComment = makeComponent<QPushButton>("bComment", "TBitBtn", Panel1);
    bComment->setText(QStringLiteral("Commenter..."));
    bDelete = makeComponent<QPushButton>("bDelete", "TBitBtn", Panel1);
    bDelete->setText(QStringLiteral("Supprimer"));
}

// The sources panel the configuration button opens: the sources list and its commands.
void TMainForm::createSourcePanel()
{
    Panel2 = makeComponent<QFrame>("Panel2", "TPanel", m_client);
    Panel2->setFrameShape(QFrame::StyledPanel);
    ListView2 = makeList(makeComponent<QTreeWidget>("ListView2", "TListView", Panel2),
                         {QStringLiteral("Description de la source"), QStringLiteral("Type"),
                          QStringLiteral("Etat"), QStringLiteral("Paramètres")});
    Add = makeComponent<QPushButton>("Add", "TBitBtn", Panel2);
    Add->setText(QStringLiteral("Ajouter"));
    bModify = makeComponent<QPushButton>("bModify", "TBitBtn", Panel2);
    bModify->setText(QStringLiteral("Modifier"));
    BitBtn9 = makeComponent<QPushButton>("BitBtn9", "TBitBtn", Panel2);
    BitBtn9->setText(QStringLiteral("Supprimer"));
    BitBtn10 = makeComponent<QPushButton>("BitBtn10", "TBitBtn", Panel2);
    BitBtn10->setText(QStringLiteral("Activer/Désact."));
}

void TMainForm::createMenu()
{
    MainMenu1 = makeComponent<QMenuBar>("MainMenu1", "TMainMenu");
    Fichier1 = makeMenuItem("Fichier1", QStringLiteral("&Fichier"));
    About1 = makeMenuItem("About1", QStringLiteral("A propos..."));
    N1 = makeMenuItem("N1", QStringLiteral("-"));
    Exit1 = makeMenuItem("Exit1", QStringLiteral("&Quitter QUORVANE"));
    Options1 = makeMenuItem("Options1", QStringLiteral("&Options"));
    IWaitMode = makeMenuItem("IWaitMode", QStringLiteral("Réception manuelle des données"));
    IWaitMode->setCheckable(true);
    miDirectSend = makeMenuItem("miDirectSend", QStringLiteral("Transfert direct vers"));
    miDirectSend->setCheckable(true);
    miDirectSend->setVisible(false);
    N2 = makeMenuItem("N2", QStringLiteral("-"));
    User1 = makeMenuItem("User1", QStringLiteral("Nom de l'utilisateur..."));
    Compression1 = makeMenuItem("Compression1", QStringLiteral("Compression..."));
    TestforCOM11 = makeMenuItem("TestforCOM11", QStringLiteral("Test for COM"));
    TestforCOM11->setVisible(false);
    Deletepackages1 = makeMenuItem("Deletepackages1", QStringLiteral("Purge des paquets..."));
}

void TMainForm::layoutComponents()
{
    // A minimise box only: the program ends through its quit command and the question it asks.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);
    KeyPreview = true;

    // The designed sizes are the least ones; a larger font makes room for itself.
    for (QLabel* image : {Image1, Image2}) {
        image->setFixedSize(120, 104);
        image->setAlignment(Qt::AlignCenter);
    }
    Image3->setFixedSize(40, 40);
    for (QPushButton* button : {bView, bIdentify, bComment, bDelete})
        button->setMinimumSize(115, 27);
    for (QPushButton* button : {Add, bModify, BitBtn9, BitBtn10})
        button->setMinimumSize(103, 27);
    // The clock keeps its width whatever the date and time shown.
    for (QLabel* value : {Label4, Label5}) {
        value->setText(value == Label4 ? DateToStr(SampleMoment()) : TimeToStr(SampleMoment()));
        value->setMinimumWidth(value->sizeHint().width() + 2);
        value->clear();
    }
    // The lists take their designed height and the width of their columns; the window's size
    // comes from these least sizes, not from the lists' own preferences.
    ListView1->setMinimumHeight(180);
    ListView2->setMinimumHeight(164);
    for (QTreeWidget* list : {ListView1, ListView2})
        list->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    PrepareColumns(ListView1);
    PrepareColumns(ListView2);

    layoutDocumentPanel();

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 0, 8, 0);
    for (QPushButton* button : {bShowLOG, bTransfer, ConfigBtn, bCont})
        buttons->addWidget(button, 1);

    layoutSourcePanel();

    auto* client = new QVBoxLayout(m_client);
    client->setContentsMargins(0, 0, 0, 6);
    client->setSpacing(6);
    client->addWidget(Panel1, 1);
    client->addLayout(buttons);
    client->addWidget(Panel2);

    layoutMenu();

    // The window takes the size its contents ask for, never less than the designed one.
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(0);
    all->setSizeConstraint(QLayout::SetFixedSize);
    all->setMenuBar(MainMenu1);
    all->addWidget(m_client);
    SetClientHeight(DesignedClientHeight);
}

// The documents panel: the logo, the user and the clock; the list; its commands.
void TMainForm::layoutDocumentPanel()
{
    auto* left = new QGridLayout;
    left->setContentsMargins(0, 0, 0, 0);
    left->setVerticalSpacing(2);
    left->addWidget(Image1, 0, 0, 1, 2);
    left->addWidget(Image2, 0, 0, 1, 2);
    left->addWidget(Image3, 0, 0, 1, 2, Qt::AlignLeft | Qt::AlignTop);
    left->addWidget(Label1, 1, 0, 1, 2);
    left->addWidget(Label6, 2, 0, 1, 2);
    left->addWidget(Label2, 3, 0);
    left->addWidget(Label4, 3, 1);
    left->addWidget(Label3, 4, 0);
    left->addWidget(Label5, 4, 1);
    left->setRowMinimumHeight(1, 20);
    left->setRowStretch(5, 1);
    left->setColumnStretch(1, 1);
    auto* commands = new QVBoxLayout;
    commands->setSpacing(5);
    for (QPushButton* button : {bView, bIdentify, bComment, bDelete})
        commands->addWidget(button);
    commands->addStretch();
    auto* documents = new QGridLayout;
    documents->setContentsMargins(0, 0, 0, 0);
    documents->setHorizontalSpacing(7);
    documents->setVerticalSpacing(2);
    documents->addWidget(Label7, 0, 0);
    documents->addWidget(ListView1, 1, 0);
    documents->addLayout(commands, 1, 1);
    documents->setColumnStretch(0, 1);
    auto* panel1 = new QHBoxLayout(Panel1);
    panel1->setContentsMargins(8, 2, 8, 6);
    panel1->setSpacing(8);
    panel1->addLayout(left);
    panel1->addLayout(documents, 1);
}

// The sources panel: the list and its commands.
void TMainForm::layoutSourcePanel()
{
    auto* sourceCommands = new QVBoxLayout;
    sourceCommands->setSpacing(5);
    for (QPushButton* button : {Add, bModify, BitBtn9, BitBtn10})
        sourceCommands->addWidget(button);
    sourceCommands->addStretch();
    auto* panel2 = new QHBoxLayout(Panel2);
    panel2->setContentsMargins(8, 4, 8, 4);
    panel2->setSpacing(7);
    panel2->addWidget(ListView2, 1);
    panel2->addLayout(sourceCommands);
}

// The menu bar's two menus.
void TMainForm::layoutMenu()
{
    auto* file = new QMenu(this);
    file->addActions({About1, N1, Exit1});
    Fichier1->setMenu(file);
    auto* options = new QMenu(this);
    options->addActions(
        {IWaitMode, miDirectSend, N2, User1, Compression1, TestforCOM11, Deletepackages1});
    Options1->setMenu(options);
    MainMenu1->addAction(Fichier1);
    MainMenu1->addAction(Options1);
}

TDateTime TMainForm::SampleMoment()
{
    // The widest date and time of the clock and the lists (two-digit day, month and hour).
    return EncodeDate(2028, 12, 28) + EncodeTime(23, 58, 58, 0);
}

const QList<int>& TMainForm::DesignedColumns(const QTreeWidget* List) const
{
    static const QList<int> documents{120, 104, 125};
    static const QList<int> sources{150, 150, 69, 120};
    return List == ListView1 ? documents : sources;
}

void TMainForm::PrepareColumns(QTreeWidget* List)
{
    const QList<int>& designed = DesignedColumns(List);
    QList<int> least = designed;
    for (int i = 0; i < least.size(); ++i)
        least[i] = std::max(least.at(i), List->header()->sectionSizeHint(i));
    if (List == ListView1) {
        // The date column shows "dd/mm/yyyy (hh:nn:ss)" whole.
        const QString when = DateToStr(SampleMoment()) + QStringLiteral(" (") +
                             TimeToStr(SampleMoment()) + QStringLiteral(")");
        const int margin = 2 * (List->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
        least[2] = std::max(least.at(2), List->fontMetrics().horizontalAdvance(when) + margin);
    }
    List->setProperty("leastColumnWidths", QVariant::fromValue(least));
    for (int i = 0; i < least.size(); ++i)
        List->setColumnWidth(i, least.at(i));
    FitColumns(List);
}

void TMainForm::FitColumns(QTreeWidget* List)
{
    // Columns widen to their rows, and never narrow again while the window lives, so that it
    // keeps its size; the list widens with them, up to twice its designed width, beyond which it
    // scrolls.
    const QList<int> least = List->property("leastColumnWidths").value<QList<int>>();
    for (int i = 0; i < least.size(); ++i) {
        const int before = List->columnWidth(i);
        List->resizeColumnToContents(i);
        List->setColumnWidth(i, std::max({before, least.at(i), List->columnWidth(i)}));
    }
    FollowColumnWidths(List);
}

void TMainForm::WidenColumns(QTreeWidget* List, const QList<QTreeWidgetItem*>& Items)
{
    if (Items.isEmpty())
        return;
    const int columns = int(List->property("leastColumnWidths").value<QList<int>>().size());
    bool widened = false;
    for (int c = 0; c < columns; ++c) {
        int wanted = List->columnWidth(c);
        for (QTreeWidgetItem* item : Items) {
            const QModelIndex index =
                List->model()->index(List->indexOfTopLevelItem(item), c, QModelIndex());
            wanted =
                std::max(wanted, List->sizeHintForIndex(index).width() +
                                     (c == 0 && List->rootIsDecorated() ? List->indentation() : 0));
        }
        if (wanted > List->columnWidth(c)) {
            List->setColumnWidth(c, wanted);
            widened = true;
        }
    }
    if (widened)
        FollowColumnWidths(List);
}

void TMainForm::FollowColumnWidths(QTreeWidget* List)
{
    const int chrome = 2 * List->frameWidth() + List->verticalScrollBar()->sizeHint().width();
    const QList<int>& designedColumns = DesignedColumns(List);
    int designed = 0;
    int total = 0;
    for (int i = 0; i < designedColumns.size(); ++i) {
        designed += designedColumns.at(i);
        total += List->columnWidth(i);
    }
    List->setMinimumWidth(chrome + std::min(total, 2 * designed));
}

void TMainForm::CentreOnScreen()
{
    // By its frame, with the size it has once shown (its layout may still grow it before).
    centreOnScreen();
}

void TMainForm::KeepOnScreen()
{
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    const QRect area = shownOn->availableGeometry();
    const QRect frame = frameGeometry();
    if (area.contains(frame))
        return;
    move(insideArea(frame, area));
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    TForm::resizeEvent(event);
    KeepOnScreen();
}

void TMainForm::connectHandlers()
{
    const auto click = [this](QPushButton* button, void (TMainForm::*handler)(QObject*)) {
        connect(button, &QPushButton::clicked, this,
                [this, button, handler] { (this->*handler)(button); });
    };
    const auto trigger = [this](QAction* action, void (TMainForm::*handler)(QObject*)) {
        connect(action, &QAction::triggered, this,
                [this, action, handler] { (this->*handler)(action); });
    };
    click(bView, &TMainForm::bViewClick);
    click(bIdentify, &TMainForm::bIdentifyClick);
    click(bComment, &TMainForm::bIdentifyClick);
    click(bDelete, &TMainForm::bDeleteClick);
    click(bShowLOG, &TMainForm::bShowLOGClick);
    click(bTransfer, &TMainForm::bTransferClick);
    click(ConfigBtn, &TMainForm::ConfigBtnClick);
    click(bCont, &TMainForm::bClsClk);
    click(Add, &TMainForm::AddClick);
    click(bModify, &TMainForm::bModifyClick);
    click(BitBtn9, &TMainForm::BitBtn9Click);
    click(BitBtn10, &TMainForm::BitBtn10Click);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this,
            [this] { ListView1DblClick(ListView1); });
    connect(ListView2, &QTreeWidget::itemDoubleClicked, this,
            [this] { ListView2DblClick(ListView2); });
    trigger(About1, &TMainForm::About1Click);
    trigger(Exit1, &TMainForm::Exit1Click);
    connect(IWaitMode, &QAction::triggered, this, [this](bool checked) {
        IWaitMode->setChecked(!checked);
        IWaitModeClick(IWaitMode);
    });
    // Checkable items are toggled by Qt before the handler runs; these handlers decide their
    // check mark themselves from the state it had.
    connect(miDirectSend, &QAction::triggered, this, [this](bool checked) {
        miDirectSend->setChecked(!checked);
        miDirectSendClick(miDirectSend);
    });
    trigger(User1, &TMainForm::User1Click);
    trigger(Compression1, &TMainForm::Compression1Click);
    trigger(TestforCOM11, &TMainForm::TestforCOM11Click);
    trigger(Deletepackages1, &TMainForm::Deletepackages1Click);
    connect(CommonTimer, &QTimer::timeout, this, [this] { CommonTimerTimer(CommonTimer); });
    connect(m_quitRetry, &QTimer::timeout, this, [this] { CarryOutQuit(); });
}

int TMainForm::ClientHeight() const
{
    return m_clientHeight;
}

void TMainForm::SetClientHeight(int Height)
{
    m_clientHeight = Height;
    m_client->setMinimumSize(ClientWidth, Height);
}

// ---- start-up

void TMainForm::SplashText(const QString& Text)
{
    if (Titul)
        Titul->SetAction(Text);
}

void TMainForm::FormCreate(QObject*)
{
    MainForm = this;
    SetMainFormTexts(LC1);
    // The loop's state starts afresh with each window (tests create several in one process).
    FirstTick = true;
    TimerBusy = false;
    IdleTicks = 0;
    ConfigPanelOpen = false;
    IdentificationActive = false;
    CurrentNumber = 0;
    QuitConfirmed = false;
    DiscardHeldReports();

    TMainFormModules& modules = MainFormModules();
    try {
        // The logo that suits the screen.
        const bool trueColour = GetScreenPaletteSize() == 0;
        Image2->setVisible(trueColour);
        Image1->setVisible(!trueColour);

        Titul = CreateForm<TTitul>();
        Titul->show();
        SplashText(QStringLiteral("Initialisation..."));

        CreateTrayIcon();

        CentreOnScreen();
        setScreenCursor(crHourGlass);

        setCaption(
            (ProgName + QStringLiteral(" ") + ProgVersion + QStringLiteral(" - ") + ProgSubtitle)
                .left(MaxCaptionLength));
        Application::setExceptionHandler(AppException);
        // A log that cannot be written is told by the polling loop (TellLogFailure), never inside
        // the work that was writing the line, nor in the middle of start-up.
        SetLogFailureHandler([form = QPointer<TMainForm>(this)](const QString& reason) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [form, reason] {
                    if (form)
                        form->m_logFailure = reason;
                },
                Qt::QueuedConnection);
        });
        PrepareSettingsFile();
        ReadSettings();
        PrepareFolders();

        SplashText(QStringLiteral("Initialisation de la base de données..."));
        DataDir = WorkPath + QStringLiteral("data");
        if (!modules.CheckDatabaseVersion()) {
            // The user refused the upgrade of the local tables: the program ends at once.
            setScreenCursor(crDefault);
            m_startupFailed = true;
            return;
        }
        // The program is asked to end (SIGTERM, SIGINT, or the kernel refusing a database it
        // may not work on): start-up stops between its steps, the dialog it waited in cancelled.
        // Once the sources have started, it ends as a confirmed quit does (see main).
        const auto endRequested = [this] {
            if (!Application::terminated())
                return false;
            setScreenCursor(crDefault);
            m_startupFailed = true;
            m_startupStoppedOnRequest = true;
            return true;
        };
        if (endRequested())
            return;
        ConnectPracticeDatabase();
        if (endRequested())
            return;
        OpenLocalTables();
        // What a killed program left half handed over, before any source offers new files.
        RecoverHandOvers();
        if (endRequested())
            return;

        StartSources();

        FillSourceList();
        FillDocumentList();
        CentreOnScreen(); // the rows may have widened the window

        setScreenCursor(crDefault);
        m_appMessageHooked = true;
        StartScreenCaptureServer();
        QCoreApplication::processEvents();

        const bool shiftHeld =
            QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
        if (shiftHeld || SourceNumbers.isEmpty()) {
            showNormal();
            ConfigBtn->setChecked(true);
            ConfigBtnClick(ConfigBtn);
        }
        CommonTimer->start();
    } catch (const std::exception& e) {
        setScreenCursor(crDefault);
        // Also where someone starting the program without a screen will look.
        WriteToStandardError(QStringLiteral("INIT Failure: ") + exceptionMessage(e));
        WriteToLog(QStringLiteral("INIT Failure: ") + exceptionMessage(e));
        // Asked to end meanwhile, or while the box is open: no window waits for an answer.
        if (!Application::terminated())
            dialogService().messageDlg(QStringLiteral("Impossible d'initialiser ") + ProgName,
                                       mtError, mbOK);
        if (!Application::terminated())
            AppException(this, e);
        CommonTimer->stop();
        m_startupFailed = true;
    }
}

void TMainForm::CreateTrayIcon()
{
    TrayIcon = new TTaskBarIcon(this);
    TrayIcon->OnDblClick = [this](QObject* sender, TMouseButton button, Qt::KeyboardModifiers shift,
                                  int x, int y) { TrayIconDblClick(sender, button, shift, x, y); };
    TrayIcon->OnDown = [this](QObject* sender, TMouseButton button, Qt::KeyboardModifiers shift,
                              int x, int y) { TrayIconClick(sender, button, shift, x, y); };
    TrayIcon->SetTip(ProgName);
    TrayIcon->SetIcon(QIcon(programPicture(32)));
    TrayIcon->SetVisible(true);
}

// The sources in their order, and the open package among them.
void TMainForm::StartSources()
{
    TMainFormModules& modules = MainFormModules();
    SplashText(QStringLiteral("Initialisation des sources..."));
    // No print spooler hands its jobs to this program here: the virtual-printer sources watch
    // the spool folder the settings name (none by default), and queues are left alone unless a
    // setting asks for their control.
    const IniFile ini(IniFileName);
    const QString app = QStringLiteral("Application");
    SpoolDir = files::nativePath(ini.readString(app, QStringLiteral("SpoolDir")));
    SpoolVersion = qint16(ini.readInteger(app, QStringLiteral("SpoolVersion"), 2));
    printqueue::select(ini.readString(app, QStringLiteral("PrintQueueControl")));
    BindPortSlots();
    modules.StartComSources();
    modules.CheckFileSources();
    modules.InitCurrentPackage();
    modules.CheckBreezeSources();
    modules.CheckPrinterSources();
    modules.InitClipboardSource();
}

void TMainForm::PrepareSettingsFile()
{
    IniFileName = ProgramDir() + QStringLiteral("QUORVANE.INI");
    if (QFileInfo::exists(IniFileName)) {
        // Read as empty, it would start the program on default settings.
        if (!QFileInfo(IniFileName).isFile())
            throw EInOutError(uiText(UiText::CannotReadSettings)
                                  .arg(IniFileName, uiText(UiText::NotARegularFile)));
        return;
    }
    // Written in one piece, so a start that fails half-way leaves no half-made file behind.
    const QStringList lines{
        QStringLiteral("[Application]"),
        QStringLiteral("Path=") + ProgramDir() + QStringLiteral("BIN"),
        QStringLiteral("Tressoly_Path="),
        QStringLiteral("User="),
        QStringLiteral("RAR_Path="),
        QStringLiteral("NeedCompression=0"),
        QStringLiteral("WaitMode=0"),
        QStringLiteral("DelInterval=30"),
    };
    QString error;
    if (!fileops::writeFile(
            IniFileName,
            codepage::toAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")), &error))
        throw EInOutError(error);
}

void TMainForm::ReadSettings()
{
    const IniFile ini(IniFileName);
    const QString app = QStringLiteral("Application");
    const QString defaultPath = ProgramDir() + QStringLiteral("BIN");
    // An empty Path is the first start's folder, never the root of the file system.
    QString path = files::nativePath(ini.readString(app, QStringLiteral("Path"), defaultPath));
    if (Trim(path).isEmpty())
        path = defaultPath;
    m_defaultWorkPath = AddBackslash(path) == AddBackslash(defaultPath);
    WorkPath = AddBackslash(path);
    TressolyPath = files::nativePath(ini.readString(app, QStringLiteral("Tressoly_Path")));
    const QString user = ini.readString(app, QStringLiteral("User"));
    RarPath = files::nativePath(ini.readString(app, QStringLiteral("RAR_Path")));
    NeedCompression = ini.readInteger(app, QStringLiteral("NeedCompression"), 0) != 0;
    WaitMode = ini.readInteger(app, QStringLiteral("WaitMode"), 0) != 0;
    DebugMode = ini.readBool(app, QStringLiteral("Debug"), false);
    CheckSession =
        ini.readInteger(QStringLiteral("Troubles"), QStringLiteral("CheckSession"), 0) == 1;
    const QString info = QStringLiteral("Info");
    OrgName1 = ini.readString(info, QStringLiteral("OrgName1"), OrgName1);
    OrgName2 = ini.readString(info, QStringLiteral("OrgName2"), OrgName2);
    OrgInfo1 = ini.readString(info, QStringLiteral("OrgInfo1"), OrgInfo1);
    OrgInfo2 = ini.readString(info, QStringLiteral("OrgInfo2"), OrgInfo2);

    IWaitMode->setChecked(WaitMode);
    if (!user.isEmpty())
        Label6->setText(user);
}

void TMainForm::PrepareFolders()
{
    // The working folder of a first start is created; a configured one is not, since it may be
    // a share that is not mounted yet: creating its sub-folders then fails and start-up ends.
    if (m_defaultWorkPath)
        CheckDirectory(WorkPath, true);
    BufDir = WorkPath + QStringLiteral("buf/");
    ExchangeDir = WorkPath + QStringLiteral("exchange/");
    ComBufDir = WorkPath + QStringLiteral("com_buf/");
    CheckDirectory(BufDir, true);
    CheckDirectory(ExchangeDir, true);
    CheckDirectory(ComBufDir, true);
    LogFileName = ProgramDir() + QStringLiteral("qvxfiles.log");
}

void TMainForm::ConnectPracticeDatabase()
{
    PracticeDBInUse = false;
    // An empty (or blank) folder means the practice software is not installed here; it is never
    // taken for the root folder.
    if (Trim(TressolyPath).isEmpty())
        return;
    if (practiceVersionFile().isEmpty()) {
        WriteToLog(QStringLiteral("File tressoly.ver not foud."));
        return;
    }
    PracticeDBInUse = MainFormModules().ConnectDatabase();
    if (!PracticeDBInUse)
        TressolyPath = DataDir;
}

void TMainForm::OpenLocalTables()
{
    // Lock files a Paradox engine may have left in a data folder brought over from an older
    // installation.
    for (const QString& lockFile :
         {QStringLiteral("PDOXUSRS.LCK"), QStringLiteral("PARADOX.LCK")}) {
        const QString found = files::findNoCase(DataDir, lockFile);
        if (!found.isEmpty())
            IsFileFree(found);
    }
    DataTables->BindTables(DataDir, !PracticeDBInUse);
    if (PracticeDBInUse) {
        MainFormModules().InitDirectSend(TressolyPath);
        const QString versionFile = practiceVersionFile();
        const QString practiceName =
            versionFile.isEmpty()
                ? QString()
                : IniFile(versionFile)
                      .readString(QStringLiteral("Application"), QStringLiteral("ProgName"));
        miDirectSend->setText(miDirectSend->text() + QStringLiteral(" ") + practiceName);
        miDirectSend->setVisible(true);
        miDirectSend->setChecked(true);
        bTransfer->setEnabled(false);
    }
    for (LocalTable* table : DataTables->StartupTables(!PracticeDBInUse))
        TableAction(*table, 0);
}

void TMainForm::BindPortSlots()
{
    setWorkstationService(&AppWorkstation());
    SetRestructureRecordFileHook(&RestructureRecordFile);
    // Every slot delivers its bytes, so a source on COM5 to COM8 is heard as well.
    const std::array<void (TMainForm::*)(TCommPortDriver*, const char*, int), TComPortSlots::Count>
        handlers{&TMainForm::ComPort1Receive, &TMainForm::ComPort2Receive,
                 &TMainForm::ComPort3Receive, &TMainForm::ComPort4Receive,
                 &TMainForm::ComPort5Receive, &TMainForm::ComPort6Receive,
                 &TMainForm::ComPort7Receive, &TMainForm::ComPort8Receive};
    for (int slot = 1; slot <= TComPortSlots::Count; ++slot) {
        const auto handler = handlers.at(size_t(slot - 1));
        ComPortSlots[slot].Port->OnReceiveData = [this, handler](TCommPortDriver* sender,
                                                                 const char* data, int count) {
            (this->*handler)(sender, data, count);
        };
        // A port that opens, fails or goes away shows in the sources list.
        connect(ComPortSlots[slot].Port, &TCommPortDriver::ConnectionChanged, this,
                &TMainForm::ShowSourceStates, Qt::QueuedConnection);
    }
    TTestForm::PortResolver = [](int slot) -> TCommPortDriver* {
        return slot >= 1 && slot <= TComPortSlots::Count ? ComPortSlots[slot].Port : nullptr;
    };
}

// ---- the outside screen-capture trigger

QString TMainForm::ScreenCaptureServerName()
{
    if (!g_captureServerNameForTesting.isEmpty())
        return g_captureServerNameForTesting;
    const QString name = ProgName.toLower() + QStringLiteral("-") + loginName();
    // In the shared temporary folder anyone could take the name first.
    const QString runtime = privateRuntimeDir();
    return runtime.isEmpty() ? name : runtime + QStringLiteral("/") + name;
}

void TMainForm::SetScreenCaptureServerNameForTesting(const QString& name)
{
    g_captureServerNameForTesting = name;
}

void TMainForm::StartScreenCaptureServer()
{
    const QString name = ScreenCaptureServerName();
    // A bare name is a socket of the temporary folder.
    const QString path =
        QDir::isAbsolutePath(name) ? name : QDir::tempPath() + QStringLiteral("/") + name;
    const LocalSocketPlace place = localSocketPlace(path);
    // Another running copy of the program keeps its socket: asked first, since listening with
    // access options replaces whatever socket has the name. Only a socket of this user can be
    // one; one left behind by a program that ended abruptly answers nobody and is taken over, as
    // is another user's.
    bool inUse = false;
    if (place == LocalSocketPlace::ThisUsers) {
        QLocalSocket probe;
        probe.connectToServer(path);
        inUse = probe.waitForConnected(500);
        probe.abort();
    }
    m_captureServer = new QLocalServer(this);
    m_captureServer->setSocketOptions(QLocalServer::UserAccessOption);
    QString refused;
    if (inUse) {
        refused = QStringLiteral("another copy of the program answers on ") + path;
    } else if (place == LocalSocketPlace::NotASocket) {
        refused = path + QStringLiteral(" is not a socket");
    } else {
        if (place != LocalSocketPlace::Free)
            QLocalServer::removeServer(path);
        if (!m_captureServer->listen(path))
            refused = m_captureServer->errorString() + QStringLiteral(" ") + path +
                      (place == LocalSocketPlace::AnotherUsers
                           ? QStringLiteral(" (a socket of another user)")
                           : QString());
    }
    if (!refused.isEmpty()) {
        WriteToLog(QStringLiteral("Screen capture requests are not received: ") + refused);
        return;
    }
    connect(m_captureServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_captureServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->property("served").toBool()) {
                    socket->readAll();
                    return;
                }
                socket->setProperty("served", true);
                socket->readAll();
                socket->disconnectFromServer();
                WMScreenCapture();
            });
        }
    });
}

// ---- showing and hiding

void TMainForm::FormShow(QObject*)
{
    ListView1->setFocus();
    if (!WaitMode)
        return;
    // Manual reception: showing the window polls the sources once.
    WaitMode = false;
    const auto restore = qScopeGuard([] { WaitMode = true; });
    CommonTimerTimer(CommonTimer);
}

void TMainForm::FormHide(QObject*)
{
}

void TMainForm::FormActivate(QObject*)
{
    if (!ConfigBtn->isChecked()) {
        SetClientHeight(ClosedPanelHeight);
        Panel2->hide();
    }
}

void TMainForm::FormKeyDown(QObject*, int&, Qt::KeyboardModifiers)
{
    if (FirstTick)
        showNormal();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (m_testSigns && event->type() == QEvent::Show && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isModal()) {
        auto* window = static_cast<QWidget*>(watched);
        std::fprintf(stderr, "QUORVANE question open: %s\n", qPrintable(window->windowTitle()));
        connect(WindowPlacer::of(window), &WindowPlacer::placed, this, [window] {
            std::fprintf(stderr, "QUORVANE question placed: window %llu\n",
                         static_cast<unsigned long long>(window->winId()));
        });
        QTimer::singleShot(0, this,
                           [window = QPointer<QWidget>(window)] { ReportDefaultButton(window); });
    }
    // The application's message hook: Scroll Lock opens the translation editor, wherever the
    // focus is. A key travels on to the parents of the control that has the focus; only its
    // first receiver counts.
    if (m_appMessageHooked && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_ScrollLock && watched->isWidgetType()) {
        QWidget* focus = QApplication::focusWidget();
        QWidget* widget = static_cast<QWidget*>(watched);
        if (widget == focus || (!focus && widget->isWindow())) {
            if (!m_langManagerOpen) {
                m_langManagerOpen = true;
                const auto done = qScopeGuard([this] { m_langManagerOpen = false; });
                MainFormModules().ShowLangManager();
            }
            return true;
        }
    }
    return TForm::eventFilter(watched, event);
}

namespace {

// Waits for a window to be on the display before its question's button is reported: a test
// clicks where the report says as soon as it reads it.
class ExposedSign final : public QObject
{
public:
    ExposedSign(QWidget* window, void (*report)(QWidget*))
        : QObject(window->windowHandle()), m_window(window), m_report(report)
    {
        window->windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, watched,
                               [window = m_window, report = m_report] { report(window); });
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    void (*m_report)(QWidget*);
};

} // namespace

void TMainForm::ReportDefaultButton(QWidget* Window)
{
    if (!Window || !Window->isVisible())
        return;
    if (!Window->windowHandle() || !Window->windowHandle()->isExposed()) {
        if (Window->windowHandle())
            new ExposedSign(Window, &TMainForm::ReportDefaultButton);
        return;
    }
    // Once framed, the window may still be moved to its place: a click aimed before would miss.
    if (WindowPlacer* placer = WindowPlacer::of(Window); placer->placing()) {
        connect(
            placer, &WindowPlacer::placed, Window, [Window] { ReportDefaultButton(Window); },
            Qt::SingleShotConnection);
        return;
    }
    const auto* form = qobject_cast<TForm*>(Window);
    QAbstractButton* button = form ? form->DefaultButton.data() : nullptr;
    if (!button) {
        for (QPushButton* candidate : Window->findChildren<QPushButton*>()) {
            if (candidate->isDefault() && candidate->isVisible()) {
                button = candidate;
                break;
            }
        }
    }
    if (!button)
        return;
    // Window coordinates and the window's own id: a test on a real display clicks there without
    // looking for the window.
    const QPoint centre = button->mapTo(Window, button->rect().center());
    std::fprintf(stderr, "QUORVANE default button at %d %d in window %llu\n", centre.x(),
                 centre.y(), static_cast<unsigned long long>(Window->winId()));
}

void TMainForm::HideMainWindow()
{
    if (TrayIcon && TrayIcon->Visible())
        hide();
    else
        showMinimized();
}

void TMainForm::BringToFront()
{
    if (isMinimized() || isHidden())
        showNormal();
    raise();
    activateWindow();
}

void TMainForm::TrayIconClick(QObject*, TMouseButton, Qt::KeyboardModifiers, int, int)
{
    BringToFront();
}

void TMainForm::TrayIconDblClick(QObject*, TMouseButton, Qt::KeyboardModifiers, int, int)
{
}

void TMainForm::bClsClk(QObject*)
{
    HideMainWindow();
}

// ---- the end

void TMainForm::Exit1Click(QObject* Sender)
{
    bCloseClick(Sender);
}

void TMainForm::bCloseClick(QObject*)
{
    if (TimerBusy)
        dialogService().showMessage(LC1->GetConst(8));
    const QString question =
        Format(LC1->GetConst(9), {ProgName, QStringLiteral("\n\r\n\r"), ProgName});
    if (dialogService().messageDlg(question, mtConfirmation, TMsgDlgButtons(mbYes) | mbNo) ==
        mrYes) {
        QuitConfirmed = true;
        CarryOutQuit();
    } else {
        HideMainWindow();
    }
}

void TMainForm::TerminateRequested()
{
    QuitConfirmed = true;
    m_terminating = true;
    CarryOutQuit();
}

void TMainForm::CancelModalWindow()
{
    // The answer a user gives to end the dialog without acting on it.
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    if (auto* form = qobject_cast<TForm*>(modal))
        form->Close();
    else if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}

bool TMainForm::SafeToClose() const
{
    // A tick paused in a wait, or a dialog's own event loop, still works on the tables: the
    // window closes once control is back in the program's main loop.
    return !TimerBusy && !m_firstTickRunning && QThread::currentThread()->loopLevel() <= 1;
}

void TMainForm::CarryOutQuit()
{
    if (m_closing)
        return;
    if (!SafeToClose()) {
        // A termination signal does not wait for the user: the open dialog is cancelled, and
        // whatever ran it finishes before the window closes.
        if (m_terminating)
            CancelModalWindow();
        m_quitPending = true;
        m_quitRetry->start();
        return;
    }
    m_quitPending = false;
    m_quitRetry->stop();
    Close();
}

bool TMainForm::DocumentsWaiting() const
{
    if (!DataTables || !DataTables->files->isActive())
        return false;
    try {
        TableAction(*DataTables->files, 2);
    } catch (const std::exception& e) {
        WriteToLog(QStringLiteral("! ") + exceptionMessage(e));
    }
    return !DataTables->files->isEmpty();
}

void TMainForm::FormCloseQuery(QObject*, bool& CanClose)
{
    if (!SafeToClose()) {
        // Asked again once the tick or the dialog is over.
        CanClose = false;
        m_quitPending = true;
        m_quitRetry->start();
        return;
    }
    if (!QuitConfirmed) {
        // Closing the window would end every source with it: a close request that did not come
        // through the quit command goes there, unless documents wait, which brings the window
        // forward instead.
        CanClose = false;
        if (DocumentsWaiting()) {
            BringToFront();
        } else if (!m_askingToQuit) {
            m_askingToQuit = true;
            QTimer::singleShot(0, this, [this] {
                const auto asked = qScopeGuard([this] { m_askingToQuit = false; });
                bCloseClick(this);
            });
        }
        return;
    }
    CommonTimer->stop();
    m_closing = true;
    CanClose = true;
    Application::terminate();
}

void TMainForm::FormClose(QObject*, TCloseAction&)
{
    MainFormModules().StopComSources();
    if (m_captureServer)
        m_captureServer->close();
    if (!DataTables)
        return;
    const QList<LocalTable*> tables{
        DataTables->cfg,   DataTables->fRep,    DataTables->packs,
        DataTables->files, DataTables->rcfiles, DataTables->prn,
        DataTables->com,   DataTables->FrFiles, DataTables->Patients_Local};
    for (LocalTable* table : tables) {
        try {
            TableAction(*table, 1);
        } catch (const std::exception& e) {
            WriteToLog(QStringLiteral("! ") + exceptionMessage(e));
        }
    }
}
