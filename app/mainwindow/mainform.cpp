// The main window: its components, start-up (FormCreate), showing and hiding, and the way the
// program ends. The polling loop is in mainform_loop.cpp, the lists and commands in
// mainform_lists.cpp.
#include "mainform.h"

#include "mainform_texts.h"
#include "mainmodules.h"
#include "taskbaricon.h"
#include "titul.h"

#include <analysers/comslots.h>
#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
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
#include <platform/process.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <platform/support/procs.h>
#include <platform/support/textprocs.h>
#include <platform/ui/application.h>
#include <translation/lc.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>
#include <cstdio>

namespace {

constexpr int ClientWidth = 623;
constexpr int DesignedClientHeight = 414;
constexpr int MaxCaptionLength = 108;

QString g_captureServerNameForTesting;

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

QTreeWidget* makeList(QTreeWidget* list, const QStringList& titles, const QList<int>& widths)
{
    list->setColumnCount(int(titles.size()));
    list->setHeaderLabels(titles);
    for (int i = 0; i < widths.size(); ++i)
        list->setColumnWidth(i, widths.at(i));
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
    MainForm = this;
    // The loop's state starts afresh with each window (tests create several in one process).
    FirstTick = true;
    TimerBusy = false;
    IdleTicks = 0;
    ConfigPanelOpen = false;
    IdentificationActive = false;
    CurrentNumber = 0;
    QuitConfirmed = false;

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
    if (MainForm == this)
        MainForm = nullptr;
    SetMainFormTexts(nullptr);
    setWorkstationService(nullptr);
    // The ports outlive the window: they must not call it any more.
    for (int slot = 1; slot <= TComPortSlots::Count; ++slot)
        ComPortSlots[slot].Port->OnReceiveData = {};
    if (Titul)
        Titul->Free();
}

void TMainForm::createComponents()
{
    setCaption(ProgName);
    m_client = new QWidget(this);
    createDocumentPanel();

    bShowLOG = makeComponent<QPushButton>("bShowLOG", "TBitBtn", m_client);
    bShowLOG->setText(QStringLiteral("&Afficher le journal..."));
    bTransfer = makeComponent<QPushButton>("bTransfer", "TBitBtn", m_client);
    bTransfer->setText(QStringLiteral("&Transférer..."));
    ConfigBtn = makeComponent<QPushButton>("ConfigBtn", "TSpeedButton", m_client);
    ConfigBtn->setText(QStringLiteral("Con&figuration"));
    ConfigBtn->setCheckable(true);
    bCont = makeComponent<QPushButton>("bCont", "TBitBtn", m_client);
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
    }
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = MainFormConsts();
    SetMainFormTexts(LC1);

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
        {QStringLiteral("Source"), QStringLiteral("Patient"), QStringLiteral("Date&Heure")},
        {120, 104, 125});
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
                          QStringLiteral("Etat"), QStringLiteral("Paramètres")},
                         {150, 150, 69, 120});
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

    // The designed form: fixed positions in a window of fixed size.
    Panel1->setGeometry(0, 0, ClientWidth, 206);
    Image1->setGeometry(8, 8, 120, 104);
    Image2->setGeometry(8, 8, 120, 104);
    Image3->setGeometry(8, 4, 40, 40);
    Image1->setAlignment(Qt::AlignCenter);
    Image2->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(8, 118, 120, 16);
    Label6->setGeometry(8, 134, 120, 16);
    Label2->setGeometry(8, 156, 44, 16);
    Label4->setGeometry(52, 156, 80, 16);
    Label3->setGeometry(8, 176, 44, 16);
    Label5->setGeometry(52, 176, 80, 16);
    Label7->setGeometry(136, 2, 300, 16);
    ListView1->setGeometry(136, 20, 357, 180);
    bView->setGeometry(500, 20, 115, 27);
    bIdentify->setGeometry(500, 52, 115, 27);
    bComment->setGeometry(500, 84, 115, 27);
    bDelete->setGeometry(500, 116, 115, 27);

    bShowLOG->setGeometry(8, 212, 150, 28);
    bTransfer->setGeometry(164, 212, 150, 28);
    ConfigBtn->setGeometry(320, 212, 144, 28);
    bCont->setGeometry(470, 212, 145, 28);

    Panel2->setGeometry(0, ClosedPanelHeight, ClientWidth, OpenPanelHeight - ClosedPanelHeight);
    ListView2->setGeometry(8, 4, 497, 164);
    Add->setGeometry(512, 4, 103, 27);
    bModify->setGeometry(512, 36, 103, 27);
    BitBtn9->setGeometry(512, 68, 103, 27);
    BitBtn10->setGeometry(512, 100, 103, 27);

    auto* file = new QMenu(this);
    file->addActions({About1, N1, Exit1});
    Fichier1->setMenu(file);
    auto* options = new QMenu(this);
    options->addActions(
        {IWaitMode, miDirectSend, N2, User1, Compression1, TestforCOM11, Deletepackages1});
    Options1->setMenu(options);
    MainMenu1->addAction(Fichier1);
    MainMenu1->addAction(Options1);

    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(0);
    all->setSizeConstraint(QLayout::SetFixedSize);
    all->setMenuBar(MainMenu1);
    all->addWidget(m_client);
    SetClientHeight(DesignedClientHeight);
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
    m_client->setFixedSize(ClientWidth, Height);
}

// ---- start-up

void TMainForm::SplashText(const QString& Text)
{
    if (Titul)
        Titul->SetAction(Text);
}

void TMainForm::FormCreate(QObject*)
{
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

        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->geometry();
            move((area.width() - frameGeometry().width()) / 2,
                 (area.height() - frameGeometry().height()) / 2);
        }
        setScreenCursor(crHourGlass);

        setCaption(
            (ProgName + QStringLiteral(" ") + ProgVersion + QStringLiteral(" - ") + ProgSubtitle)
                .left(MaxCaptionLength));
        Application::setExceptionHandler(AppException);

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
        ConnectPracticeDatabase();
        if (Application::terminated()) {
            // The kernel ended the program while connecting (a database it may not work on).
            setScreenCursor(crDefault);
            m_startupFailed = true;
            return;
        }
        OpenLocalTables();

        StartSources();

        FillSourceList();
        FillDocumentList();

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
        WriteToLog(QStringLiteral("INIT Failure: ") + exceptionMessage(e));
        dialogService().messageDlg(QStringLiteral("Impossible d'initialiser ") + ProgName, mtError,
                                   mbOK);
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
    // No print spooler hands its jobs to this program here: the spool folder stays empty
    // until one is configured, and the virtual-printer sources watch nothing.
    SpoolDir.clear();
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
    if (QFileInfo::exists(IniFileName))
        return;
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
    return ProgName.toLower() + QStringLiteral("-") + loginName();
}

void TMainForm::SetScreenCaptureServerNameForTesting(const QString& name)
{
    g_captureServerNameForTesting = name;
}

void TMainForm::StartScreenCaptureServer()
{
    const QString name = ScreenCaptureServerName();
    m_captureServer = new QLocalServer(this);
    m_captureServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_captureServer->listen(name)) {
        // A socket left behind by a program that ended abruptly is taken over; one that another
        // running copy of the program still answers on is left to it.
        QLocalSocket probe;
        probe.connectToServer(name);
        const bool inUse = probe.waitForConnected(500);
        probe.abort();
        if (inUse || !QLocalServer::removeServer(name) || !m_captureServer->listen(name)) {
            WriteToLog(QStringLiteral("Screen capture requests are not received: ") +
                       (inUse ? QStringLiteral("another copy of the program answers on ")
                              : m_captureServer->errorString() + QStringLiteral(" ")) +
                       name);
            return;
        }
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
        static_cast<QWidget*>(watched)->isModal())
        std::fprintf(stderr, "QUORVANE question open\n");
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
