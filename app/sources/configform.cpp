// The configuration dialog of one data source: its controls, the loading of the source's rows,
// the checks of every entry before anything is written, the writing of all its rows in one
// transaction, and the restart of the sources of its type.
#include "configform.h"

#include "breeze_source.h"
#include "comoptionsdlg.h"
#include "folder_source.h"
#include "printer_source.h"
#include "screen_source.h"

#include <analysers/comslots.h>
#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/translatableforms.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/inifile.h>
#include <platform/regional.h>
#include <platform/serial/serialline.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>

const QStringList DefaultExtensions = {QString(),
                                       QStringLiteral("TXT"),
                                       QStringLiteral("BR1"),
                                       QStringLiteral("EMF"),
                                       QStringLiteral("AVL"),
                                       QStringLiteral("BMP")};

std::function<QStringList()> TConfigForm::InstalledPrinters;

namespace {

// Sizes of the text fields the entries are written to (the local tables' layout).
constexpr int TitleSize = 64;
constexpr int ExtensionSize = 16;
constexpr int PatternSize = 64;
constexpr int BreezeIdSize = 3;
constexpr int PortCount = 8;

// The form's numbered texts. 0 to 26 are the dialog's own; 27 and 28 explain the refusal of a
// value that cannot be stored, 29 a virtual printer with no printer to capture.
const QStringList ConfigFormConsts = {
    QStringLiteral("0=Fichiers"),
    QStringLiteral("1=Breeze"),
    QStringLiteral("2=Imprimante Virtuelle (EMF)"),
    QStringLiteral("3=Port série"),
    QStringLiteral("4=Image de l'écran (Impécr)"),
    QStringLiteral("5=Nouvelle source"),
    QStringLiteral("6=Invalid extension!"),
    QStringLiteral("7=Le paramètre \"ID Source\" est obligatoire et indique à QUORVANE le type de "
                   "données à importer."),
    QStringLiteral("8=Les valeurs dépendent de votre version de logiciel de gestion du cabinet."),
    QStringLiteral("9=Adressez-vous à votre distributeur de QUORVANE pour des informations plus "
                   "détaillées."),
    QStringLiteral("10=Valeurs possibles en fonction du type de la source :"),
    QStringLiteral("11=1. Fichiers"),
    QStringLiteral("12=   JAE %S- E.F.R. exportées d'n logiciel JAEGER"),
    QStringLiteral("13=   DYN %S- E.F.R. exportées d'n logiciel DYN'R"),
    QStringLiteral("14=   TXT %S- Données exportées en format texte de n'importe quel logiciel "
                   "médical"),
    QStringLiteral("15=2. Port série"),
    QStringLiteral("16=   AVL %S- Gaz du sang importés d'un appareil AVL Compact 2 (ou "
                   "compatible)"),
    QStringLiteral("17=   TXT %S- Données importées en format texte de n'importe quel appareil "
                   "(si compatible)"),
    QStringLiteral("18=3. Imprimante virtuelle (EMF)"),
    QStringLiteral("19=   EMF %S- Source universelle (convient pour SensorMedics, STALLERGENES "
                   "etc...)"),
    QStringLiteral("20=4. Image de l'écran (obtenue avec la touche Impécr)"),
    QStringLiteral("21=   BMP %S- Source universelle (convient pour tout type de logiciel)"),
    QStringLiteral("22=5. Connexions spécifiques"),
    QStringLiteral("23= a) Breeze"),
    QStringLiteral("24=    BR1%S- E.F.R. sélectionnées dans le logiciel Breeze de MedGraphics (ID "
                   "Breeze: DTX)"),
    QStringLiteral("25=    BR3%S- Epreuves d'effort sélectionnées dans le logiciel Breeze3 de "
                   "MedGraphics (ID Breeze: SM1)"),
    QStringLiteral("26=    BRS%S- Tests de provocation bronchique de MedGraphics (ID Breeze: "
                   "SAL)"),
    QStringLiteral("27=La valeur de %s doit être un nombre entier de 0 à 255."),
    QStringLiteral("28=Le code de transfert direct doit être un nombre entier."),
    QStringLiteral("29=Aucune imprimante n'est installée."),
};

Field* fieldOf(const LocalTable& table, const char* name)
{
    return table.fieldByName(QString::fromLatin1(name));
}

// The row of `table` (keyed by its primary index) whose key is `key`; false when there is none.
bool seek(LocalTable& table, int key)
{
    table.setIndexName(QString());
    return key != 0 && TableActionGuarded(table, {key});
}

// Selects the last entry of `list` that contains `stored`; a stored entry that no longer exists
// is added at the end and selected, so that saving keeps it.
void selectStored(QComboBox* list, const QString& stored)
{
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->itemText(i).contains(stored)) {
            list->setCurrentIndex(i);
            return;
        }
    }
    list->addItem(stored);
    list->setCurrentIndex(list->count() - 1);
}

// The printer name within a printer entry: the text before the earliest of "-", " on " and
// " sur ", or the whole text.
QString workName(const QString& printer)
{
    qsizetype cut = -1;
    for (const QLatin1String separator :
         {QLatin1String("-"), QLatin1String(" on "), QLatin1String(" sur ")}) {
        const qsizetype at = printer.indexOf(separator);
        if (at >= 0 && (cut < 0 || at < cut))
            cut = at;
    }
    return cut < 0 ? printer : printer.left(cut);
}

// A byte value written as a decimal integer.
std::optional<int> byteValue(const QString& text)
{
    int value = 0;
    if (!TryStrToInt(text.trimmed(), value) || value < 0 || value > 255)
        return std::nullopt;
    return value;
}

void cancelPending(LocalTable& table)
{
    if (table.state() == DataSet::State::Edit || table.state() == DataSet::State::Insert)
        table.cancel();
}

void refreshQuietly(LocalTable& table)
{
    try {
        if (table.isActive())
            table.refresh();
    } catch (const std::exception&) {
        // The error being reported is the one that made us come here.
    }
}

} // namespace

// ---- restarts ---------------------------------------------------------------------------------

TSourceRestarts& SourceRestarts()
{
    static TSourceRestarts restarts;
    static bool initialised = false;
    if (!initialised) {
        initialised = true;
        ResetSourceRestarts();
    }
    return restarts;
}

void ResetSourceRestarts()
{
    TSourceRestarts& r = SourceRestarts();
    r.CheckFileSources = &CheckFileSources;
    r.CheckBreezeSources = &CheckBreezeSources;
    r.CheckPrinterSources = &CheckPrinterSources;
    r.CreateSourceDriver = &CreateSourceDriver;
    r.InitClipboardSource = &InitClipboardSource;
}

// ---- the form ---------------------------------------------------------------------------------

QUORVANE_TRANSLATABLE_FORM(TConfigForm);

TConfigForm::TConfigForm(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnCloseQuery = [this](QObject* sender, bool& canClose) { FormCloseQuery(sender, canClose); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TConfigForm::createComponents()
{
    setCaption(QStringLiteral("Configurer une source"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Description :"));
    Titul = makeComponent<QLineEdit>("Titul", "TEdit");
    Titul->setMaxLength(TitleSize);
    Label2 = makeComponent<QLabel>("Label2", "TLabel");
    Label2->setText(QStringLiteral("Type :"));
    ComboBox1 = makeComponent<QComboBox>("ComboBox1", "TComboBox");
    Label3 = makeComponent<QLabel>("Label3", "TLabel");
    Label3->setText(QStringLiteral("ID Source :"));
    Extension = makeComponent<QLineEdit>("Extension", "TEdit");
    Extension->setMaxLength(ExtensionSize);
    Extension->setToolTip(QStringLiteral(
        "Ce paramètre est obligatoire et indique à QUORVANE le type de données à importer"));
    SpeedButton1 = makeComponent<QToolButton>("SpeedButton1", "TSpeedButton");
    SpeedButton1->setText(QStringLiteral("?"));
    SpeedButton1->setToolTip(QStringLiteral("Informations sur ce paramètre..."));
    NeedId = makeComponent<QCheckBox>("NeedId", "TCheckBox");
    NeedId->setText(QStringLiteral("Identification du patient"));
    NeedComment = makeComponent<QCheckBox>("NeedComment", "TCheckBox");
    NeedComment->setText(QStringLiteral("Commentaire"));
    NeedWarning = makeComponent<QCheckBox>("NeedWarning", "TCheckBox");
    NeedWarning->setText(QStringLiteral("Avertissement"));
    Label4 = makeComponent<QLabel>("Label4", "TLabel");
    Label4->setText(QStringLiteral("Code :"));
    eCode = makeComponent<QLineEdit>("eCode", "TEdit");

    Notebook1 = makeComponent<QStackedWidget>("Notebook1", "TNotebook");
    createPages();

    OKBtn = makeComponent<QPushButton>("OKBtn", "TBitBtn");
    OKBtn->setText(QStringLiteral("Valider"));
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TBitBtn");
    CancelBtn->setText(QStringLiteral("Annuler"));
    CancelBtn->setAutoDefault(true);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = ConfigFormConsts;
}

// One page of Notebook1 per source type, in the order of the types.
void TConfigForm::createPages()
{
    Files = makeComponent<QWidget>("Files", "TPage", Notebook1);
    Label5 = makeComponent<QLabel>("Label5", "TLabel", Files);
    Label5->setText(QStringLiteral("Dossier :"));
    Edit2 = makeComponent<QLineEdit>("Edit2", "TEdit", Files);
    BitBtn1 = makeComponent<QPushButton>("BitBtn1", "TBitBtn", Files);
    BitBtn1->setText(QStringLiteral("Parcourir..."));
    Label6 = makeComponent<QLabel>("Label6", "TLabel", Files);
    Label6->setText(QStringLiteral("Masque :"));
    Edit3 = makeComponent<QLineEdit>("Edit3", "TEdit", Files);
    Edit3->setMaxLength(PatternSize);
    CheckBox1 = makeComponent<QCheckBox>("CheckBox1", "TCheckBox", Files);
    CheckBox1->setText(QStringLiteral("Supprimer les fichiers importés"));

    Breeze = makeComponent<QWidget>("Breeze", "TPage", Notebook1);
    Label7 = makeComponent<QLabel>("Label7", "TLabel", Breeze);
    Label7->setText(QStringLiteral("Fichier :"));
    FileName = makeComponent<QLineEdit>("FileName", "TEdit", Breeze);
    BitBtn2 = makeComponent<QPushButton>("BitBtn2", "TBitBtn", Breeze);
    BitBtn2->setText(QStringLiteral("Parcourir..."));
    RadioGroup2 = makeComponent<QGroupBox>("RadioGroup2", "TRadioGroup", Breeze);
    RadioGroup2->setTitle(QStringLiteral("Importer"));
    rcfDeleteBox = makeComponent<QCheckBox>("rcfDeleteBox", "TCheckBox", Breeze);
    rcfDeleteBox->setText(QStringLiteral("Déplacer les fichiers"));
    Label8 = makeComponent<QLabel>("Label8", "TLabel", Breeze);
    Label8->setText(QStringLiteral("ID Breeze :"));
    Edit1 = makeComponent<QLineEdit>("Edit1", "TEdit", Breeze);

    EMF = makeComponent<QWidget>("EMF", "TPage", Notebook1);
    Label9 = makeComponent<QLabel>("Label9", "TLabel", EMF);
    Label9->setText(QStringLiteral("Imprimante :"));
    PrintersList = makeComponent<QComboBox>("PrintersList", "TComboBox", EMF);
    cbDirectPrint = makeComponent<QCheckBox>("cbDirectPrint", "TCheckBox", EMF);
    cbDirectPrint->setText(QStringLiteral("Imprimer les documents"));
    PrintersList1 = makeComponent<QComboBox>("PrintersList1", "TComboBox", EMF);

    COMPort = makeComponent<QWidget>("COMPort", "TPage", Notebook1);
    Label10 = makeComponent<QLabel>("Label10", "TLabel", COMPort);
    Label10->setText(QStringLiteral("Port :"));
    COMBox1 = makeComponent<QComboBox>("COMBox1", "TComboBox", COMPort);
    for (int port = 1; port <= PortCount; ++port)
        COMBox1->addItem(QStringLiteral("COM%1").arg(port));
    NeedSTX = makeComponent<QCheckBox>("NeedSTX", "TCheckBox", COMPort);
    NeedSTX->setText(QStringLiteral("Attendre STX"));
    STX = makeComponent<QLineEdit>("STX", "TEdit", COMPort);
    Label11 = makeComponent<QLabel>("Label11", "TLabel", COMPort);
    Label11->setText(QStringLiteral("EOF:"));
    EOF_ = makeComponent<QLineEdit>("EOF", "TEdit", COMPort);
    NeedTimeout = makeComponent<QCheckBox>("NeedTimeout", "TCheckBox", COMPort);
    NeedTimeout->setText(QStringLiteral("Delai d'attente (en sec.)"));
    Timeout = makeComponent<QSpinBox>("Timeout", "TSpinEdit", COMPort);
    Timeout->setRange(1, 1000);
    COMOptions = makeComponent<QPushButton>("COMOptions", "TButton", COMPort);
    COMOptions->setText(QStringLiteral("Options..."));

    Clipboard = makeComponent<QWidget>("Clipboard", "TPage", Notebook1);
    Label12 = makeComponent<QLabel>("Label12", "TLabel", Clipboard);
    Label12->setText(QStringLiteral("L'image de l'écran est prise avec la touche Impécr."));
}

void TConfigForm::layoutComponents()
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);

    auto* common = new QFormLayout;
    common->addRow(Label1, Titul);
    common->addRow(Label2, ComboBox1);
    auto* id = new QHBoxLayout;
    id->addWidget(Extension);
    id->addWidget(SpeedButton1);
    common->addRow(Label3, id);
    auto* flags = new QHBoxLayout;
    flags->addWidget(NeedId);
    flags->addWidget(NeedComment);
    flags->addWidget(NeedWarning);
    common->addRow(flags);
    common->addRow(Label4, eCode);

    layoutPages();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addLayout(common);
    all->addWidget(Notebook1, 1);
    all->addLayout(buttons);
    setDesignedSize(480, 400);
}

void TConfigForm::layoutPages()
{
    auto* files = new QGridLayout(Files);
    files->addWidget(Label5, 0, 0);
    files->addWidget(Edit2, 0, 1);
    files->addWidget(BitBtn1, 0, 2);
    files->addWidget(Label6, 1, 0);
    files->addWidget(Edit3, 1, 1);
    files->addWidget(CheckBox1, 2, 1);
    files->setRowStretch(3, 1);

    m_regButtons = new QButtonGroup(this);
    auto* regLayout = new QVBoxLayout(RadioGroup2);
    const QStringList regItems = {QStringLiteral("Tous les fichiers"),
                                  QStringLiteral("Dernier fichier")};
    for (int i = 0; i < regItems.size(); ++i) {
        auto* button = new QRadioButton(regItems.at(i), RadioGroup2);
        m_regButtons->addButton(button, i);
        regLayout->addWidget(button);
    }
    auto* breeze = new QGridLayout(Breeze);
    breeze->addWidget(Label7, 0, 0);
    breeze->addWidget(FileName, 0, 1);
    breeze->addWidget(BitBtn2, 0, 2);
    breeze->addWidget(RadioGroup2, 1, 1);
    breeze->addWidget(rcfDeleteBox, 2, 1);
    breeze->addWidget(Label8, 3, 0);
    breeze->addWidget(Edit1, 3, 1);
    breeze->setRowStretch(4, 1);

    auto* emf = new QGridLayout(EMF);
    emf->addWidget(Label9, 0, 0);
    emf->addWidget(PrintersList, 0, 1);
    emf->addWidget(cbDirectPrint, 1, 1);
    emf->addWidget(PrintersList1, 2, 1);
    emf->setRowStretch(3, 1);

    auto* com = new QGridLayout(COMPort);
    com->addWidget(Label10, 0, 0);
    com->addWidget(COMBox1, 0, 1);
    com->addWidget(COMOptions, 0, 2);
    com->addWidget(NeedSTX, 1, 0);
    com->addWidget(STX, 1, 1);
    com->addWidget(Label11, 2, 0);
    com->addWidget(EOF_, 2, 1);
    com->addWidget(NeedTimeout, 3, 0);
    com->addWidget(Timeout, 3, 1);
    com->setRowStretch(4, 1);

    auto* clipboard = new QVBoxLayout(Clipboard);
    clipboard->addWidget(Label12);
    clipboard->addStretch();

    for (QWidget* page : {Files, Breeze, EMF, COMPort, Clipboard})
        Notebook1->addWidget(page);
}

void TConfigForm::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
    // A type chosen by the user; FormShow runs the handler itself once the dialog is loaded.
    connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(ComboBox1); });
    // Boxes checked by the program run their handlers too, as the user's clicks do.
    connect(NeedId, &QCheckBox::toggled, this, [this] { NeedIdClick(NeedId); });
    connect(NeedComment, &QCheckBox::toggled, this, [this] { NeedCommentClick(NeedComment); });
    connect(NeedSTX, &QCheckBox::toggled, this, [this] { NeedSTXClick(NeedSTX); });
    connect(NeedTimeout, &QCheckBox::toggled, this, [this] { NeedTimeoutClick(NeedTimeout); });
    connect(cbDirectPrint, &QCheckBox::toggled, this,
            [this] { cbDirectPrintClick(cbDirectPrint); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(BitBtn2); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(SpeedButton1); });
    connect(COMOptions, &QPushButton::clicked, this, [this] { COMOptionsClick(COMOptions); });
}

int TConfigForm::RadioGroup2Index() const
{
    return m_regButtons->checkedId();
}

void TConfigForm::setRadioGroup2Index(int index)
{
    if (QAbstractButton* button = m_regButtons->button(index)) {
        button->setChecked(true);
        return;
    }
    m_regButtons->setExclusive(false);
    for (QAbstractButton* button : m_regButtons->buttons())
        button->setChecked(false);
    m_regButtons->setExclusive(true);
}

// ---- the source entries and the source types' pages ------------------------------------------

struct TConfigForm::Entries
{
    int type = 0;
    QString title;
    QString extension;
    bool needId = false;
    bool needComment = false;
    int warning = 0;
    // Unset: DS_CODE stays as it was; set to nullopt: DS_CODE becomes null.
    std::optional<std::optional<int>> dsCode;
    // Folder.
    QString dir, pattern;
    bool clear = false;
    // Breeze.
    QString breezeFile, breezeId;
    int reg = 0;
    bool move = false;
    // Printer.
    QString printer, printerName;
    int printerIndex = -1;
    std::optional<QString> printThrough;
    // Serial.
    int port = 1;
    bool waitStx = true;
    int stx = 2, etx = 7, timeout = 30;
    int baudRate = 6, dataBits = 8, handshaking = 0, parity = 0, stopBits = 0;
    bool dtrOnOpen = false;
};

// The source types whose page edits a row of a type table of their own (the screen capture has
// none).
struct TConfigForm::TypePage
{
    int type;
    LocalTable* TDataTables::*table;
    int TConfigForm::*rowNumber;
    bool (TConfigForm::*read)(Entries& e);
    void (*save)(LocalTable& table, const Entries& e, int number);
};

// ---- showing ----------------------------------------------------------------------------------

void TConfigForm::FormShow(QObject*)
{
    TDataTables& t = CheckedDataTables();
    ComboBox1->clear();
    for (int i = 0; i <= 4; ++i)
        ComboBox1->addItem(LC1->GetConst(i));

    LocalTable& cfg = *t.cfg;
    if (EditedSourceNumber != 0 && !seek(cfg, EditedSourceNumber))
        EditedSourceNumber = 0; // gone meanwhile: the dialog makes a new source
    FileSourceNumber = BreezeSourceNumber = PrinterSourceNumber = SerialSourceNumber = 0;
    if (EditedSourceNumber != 0) {
        Titul->setText(fieldOf(cfg, "Titul")->asString());
        NeedId->setChecked(fieldOf(cfg, "NeedId")->asBoolean());
        NeedComment->setChecked(fieldOf(cfg, "NeedComment")->asBoolean());
        Extension->setText(fieldOf(cfg, "Extension")->asString());
        if (!fieldOf(cfg, "DS_CODE")->isNull())
            eCode->setText(QString::number(fieldOf(cfg, "DS_CODE")->asInteger()));
        NeedWarning->setChecked(fieldOf(cfg, "Warning")->asInteger() >= 1);
        const int type = int(fieldOf(cfg, "Type")->asInteger());
        m_sourceType = type;
        ComboBox1->setCurrentIndex(type >= FirstSourceType && type <= LastSourceType ? type - 1
                                                                                     : -1);
        ComboBox1->setEnabled(false);
        // The type row, when the source has one; without it the page shows its defaults and
        // saving appends the row.
        const TypePage* page = typePage(type);
        if (page && seek(*(t.*page->table), EditedSourceNumber))
            this->*page->rowNumber = EditedSourceNumber;
    } else {
        m_sourceType = 0;
        Titul->setText(LC1->GetConst(5));
        ComboBox1->setCurrentIndex(0);
        ComboBox1->setEnabled(true);
        NeedId->setChecked(true);
        NeedComment->setChecked(true);
    }
    NeedIdClick(NeedId);

    loadPrinterPage(PrinterSourceNumber);
    loadFolderPage(FileSourceNumber);
    loadBreezePage(BreezeSourceNumber);
    loadSerialPage(SerialSourceNumber);

    if (EditedSourceNumber == 0) {
        ExtensionEdited = false;
        ExtensionDefaultType = stFolder;
        Extension->setText(DefaultExtensions.at(stFolder));
    } else {
        ExtensionEdited = true;
    }
    ExtensionMissing = false;

    NeedSTXClick(NeedSTX);
    NeedTimeoutClick(NeedTimeout);
    ComboBox1Change(ComboBox1);
}

// ---- the pages of the source types --------------------------------------------------------------
//
// Each page loads its type row `number` (0, or a row that is gone: the page's defaults), reads
// its entries (false when one is refused: the reason is shown and the entry has the focus) and
// writes its row within the saving transaction.

namespace {

// Appends the row keyed `key` to `table`, or edits it when it exists.
void editOrAppend(LocalTable& table, const char* keyField, int key)
{
    if (seek(table, key)) {
        table.edit();
    } else {
        table.append();
        fieldOf(table, keyField)->setAsInteger(key);
    }
}

} // namespace

void TConfigForm::loadFolderPage(int number)
{
    LocalTable& fr = *CheckedDataTables().fRep;
    if (number != 0 && seek(fr, number)) {
        Edit2->setText(fieldOf(fr, "Dir")->asString());
        Edit3->setText(fieldOf(fr, "Pattern")->asString());
        CheckBox1->setChecked(fieldOf(fr, "Clear")->asBoolean());
    } else {
        Edit2->clear();
        Edit3->setText(QStringLiteral("*.*"));
        CheckBox1->setChecked(true);
    }
}

bool TConfigForm::readFolderPage(Entries& e)
{
    e.dir = Edit2->text();
    e.pattern = Edit3->text();
    e.clear = CheckBox1->isChecked();
    return true;
}

void TConfigForm::saveFolderRow(LocalTable& fr, const Entries& e, int number)
{
    editOrAppend(fr, "Configuration", number);
    fieldOf(fr, "Dir")->setAsString(e.dir);
    fieldOf(fr, "Pattern")->setAsString(e.pattern);
    fieldOf(fr, "Clear")->setAsBoolean(e.clear);
    fieldOf(fr, "Date&Time")->setAsInteger(0);
    fr.post();
}

void TConfigForm::loadBreezePage(int number)
{
    LocalTable& rc = *CheckedDataTables().rcfiles;
    if (number != 0 && seek(rc, number)) {
        FileName->setText(fieldOf(rc, "File")->asString());
        m_storedReg = int(fieldOf(rc, "Reg")->asInteger());
        setRadioGroup2Index(m_storedReg);
        rcfDeleteBox->setChecked(fieldOf(rc, "Clear")->asBoolean());
        Edit1->setText(fieldOf(rc, "Extension")->asString());
    } else {
        FileName->clear();
        m_storedReg = 0;
        setRadioGroup2Index(0);
        rcfDeleteBox->setChecked(false);
        Edit1->setText(QStringLiteral("DTX"));
    }
}

bool TConfigForm::readBreezePage(Entries& e)
{
    e.breezeFile = FileName->text();
    const QString id = Edit1->text().trimmed();
    e.breezeId = id.isEmpty() ? QStringLiteral("DTX") : codepage::upper(id.left(BreezeIdSize));
    if (!codepage::canEncode(e.breezeId, codepage::current())) {
        refuse(Edit1, LC1->GetConst(6));
        return false;
    }
    e.reg = RadioGroup2Index() >= 0 ? RadioGroup2Index() : m_storedReg;
    e.move = rcfDeleteBox->isChecked();
    return true;
}

void TConfigForm::saveBreezeRow(LocalTable& rc, const Entries& e, int number)
{
    editOrAppend(rc, "Configuration", number);
    fieldOf(rc, "File")->setAsString(e.breezeFile);
    fieldOf(rc, "Reg")->setAsInteger(e.reg);
    fieldOf(rc, "Clear")->setAsBoolean(e.move);
    fieldOf(rc, "Extension")->setAsString(e.breezeId);
    rc.post();
}

void TConfigForm::loadPrinterPage(int number)
{
    LocalTable& prn = *CheckedDataTables().prn;
    const QStringList installed =
        InstalledPrinters ? InstalledPrinters() : QPrinterInfo::availablePrinterNames();
    PrintersList->clear();
    PrintersList1->clear();
    PrintersList->addItems(installed);
    PrintersList1->addItems(installed);
    PrintersList->setCurrentIndex(installed.isEmpty() ? -1 : 0);
    PrintersList->setPlaceholderText(installed.isEmpty() ? LC1->GetConst(29) : QString());
    PrintersList1->setCurrentIndex(installed.isEmpty() ? -1 : 0);
    bool directPrint = false;
    if (number != 0 && seek(prn, number)) {
        selectStored(PrintersList, fieldOf(prn, "Printer")->asString());
        directPrint = !fieldOf(prn, "NameForPrint")->isNull();
        if (directPrint)
            selectStored(PrintersList1, fieldOf(prn, "NameForPrint")->asString());
    }
    cbDirectPrint->setChecked(directPrint);
    cbDirectPrintClick(cbDirectPrint);
}

bool TConfigForm::readPrinterPage(Entries& e)
{
    if (PrintersList->currentIndex() < 0 || PrintersList->currentText().isEmpty()) {
        refuse(PrintersList, LC1->GetConst(29));
        return false;
    }
    e.printer = PrintersList->currentText();
    e.printerIndex = PrintersList->currentIndex();
    e.printerName = workName(e.printer);
    if (cbDirectPrint->isChecked())
        e.printThrough = PrintersList1->currentText();
    return true;
}

void TConfigForm::savePrinterRow(LocalTable& prn, const Entries& e, int number)
{
    editOrAppend(prn, "Configuration", number);
    fieldOf(prn, "Printer")->setAsString(e.printer);
    fieldOf(prn, "Index")->setAsInteger(e.printerIndex);
    fieldOf(prn, "Work_name")->setAsString(e.printerName);
    if (e.printThrough)
        fieldOf(prn, "NameForPrint")->setAsString(*e.printThrough);
    else
        fieldOf(prn, "NameForPrint")->clear();
    prn.post();
}

void TConfigForm::loadSerialPage(int number)
{
    LocalTable& com = *CheckedDataTables().com;
    if (number != 0 && seek(com, number)) {
        const int port = int(fieldOf(com, "Com")->asInteger());
        COMBox1->setCurrentIndex(port >= 1 && port <= PortCount ? port - 1 : -1);
        NeedSTX->setChecked(fieldOf(com, "FSTX")->asBoolean());
        STX->setText(QString::number(fieldOf(com, "STX")->asInteger()));
        EOF_->setText(QString::number(fieldOf(com, "ETX")->asInteger()));
        const int timeout = int(fieldOf(com, "Timeout")->asInteger());
        NeedTimeout->setChecked(timeout >= 1);
        Timeout->setValue(timeout >= 1 ? timeout : 30);
        BaudRate = int(fieldOf(com, "Baud Rate")->asInteger());
        DataBits = int(fieldOf(com, "Data Bits")->asInteger());
        Handshaking = int(fieldOf(com, "Handshaking")->asInteger());
        Parity = int(fieldOf(com, "Parity")->asInteger());
        StopBits = int(fieldOf(com, "Stop Bits")->asInteger());
        DTROnOpen =
            IniFile(IniFileName)
                .readInteger(comOptionsSection(port), QStringLiteral("EnableDTROnOpen"), 0) == 1;
    } else {
        COMBox1->setCurrentIndex(0);
        NeedSTX->setChecked(true);
        STX->setText(QStringLiteral("2"));
        EOF_->setText(QStringLiteral("7"));
        NeedTimeout->setChecked(true);
        Timeout->setValue(30);
        BaudRate = 6;
        // 8 bits: the line a new source has always opened with (4 was shown, but 8 applied).
        DataBits = 8;
        Handshaking = 0;
        Parity = 0;
        StopBits = 0;
        DTROnOpen = false;
    }
}

bool TConfigForm::readSerialPage(Entries& e)
{
    const std::optional<int> stx = byteValue(STX->text());
    if (!stx) {
        refuse(STX, LC1->GetConstFmt(27, {QStringLiteral("STX")}));
        return false;
    }
    const std::optional<int> etx = byteValue(EOF_->text());
    if (!etx) {
        refuse(EOF_, LC1->GetConstFmt(27, {QStringLiteral("EOF")}));
        return false;
    }
    e.port = COMBox1->currentIndex() + 1;
    e.waitStx = NeedSTX->isChecked();
    e.stx = *stx;
    e.etx = *etx;
    e.timeout = NeedTimeout->isChecked() ? Timeout->value() : -1;
    e.baudRate = BaudRate;
    e.dataBits = DataBits;
    e.handshaking = Handshaking;
    e.parity = Parity;
    e.stopBits = StopBits;
    e.dtrOnOpen = DTROnOpen;
    return true;
}

void TConfigForm::saveSerialRow(LocalTable& com, const Entries& e, int number)
{
    editOrAppend(com, "Configuration", number);
    fieldOf(com, "Com")->setAsInteger(e.port);
    fieldOf(com, "FSTX")->setAsBoolean(e.waitStx);
    fieldOf(com, "STX")->setAsInteger(e.stx);
    fieldOf(com, "ETX")->setAsInteger(e.etx);
    fieldOf(com, "Timeout")->setAsInteger(e.timeout);
    fieldOf(com, "Baud Rate")->setAsInteger(e.baudRate);
    fieldOf(com, "Data Bits")->setAsInteger(e.dataBits);
    fieldOf(com, "Handshaking")->setAsInteger(e.handshaking);
    fieldOf(com, "Parity")->setAsInteger(e.parity);
    fieldOf(com, "Stop Bits")->setAsInteger(e.stopBits);
    com.post();
    IniFile(IniFileName)
        .writeInteger(comOptionsSection(e.port), QStringLiteral("EnableDTROnOpen"),
                      e.dtrOnOpen ? 1 : 0);
}

const TConfigForm::TypePage* TConfigForm::typePage(int type)
{
    static const TypePage pages[] = {
        {stFolder, &TDataTables::fRep, &TConfigForm::FileSourceNumber, &TConfigForm::readFolderPage,
         &TConfigForm::saveFolderRow},
        {stBreeze, &TDataTables::rcfiles, &TConfigForm::BreezeSourceNumber,
         &TConfigForm::readBreezePage, &TConfigForm::saveBreezeRow},
        {stPrinter, &TDataTables::prn, &TConfigForm::PrinterSourceNumber,
         &TConfigForm::readPrinterPage, &TConfigForm::savePrinterRow},
        {stSerial, &TDataTables::com, &TConfigForm::SerialSourceNumber,
         &TConfigForm::readSerialPage, &TConfigForm::saveSerialRow},
    };
    for (const TypePage& page : pages) {
        if (page.type == type)
            return &page;
    }
    return nullptr;
}

// ---- mechanical handlers ----------------------------------------------------------------------

void TConfigForm::ComboBox1Change(QObject*)
{
    const int type = ComboBox1->currentIndex() + 1;
    if (!ExtensionEdited && Extension->text() == DefaultExtensions.value(ExtensionDefaultType) &&
        type >= FirstSourceType && type <= LastSourceType) {
        Extension->setText(DefaultExtensions.at(type));
        ExtensionDefaultType = static_cast<unsigned char>(type);
    } else {
        ExtensionEdited = true;
    }
    if (type >= FirstSourceType && type <= LastSourceType)
        Notebook1->setCurrentIndex(type - 1);
}

void TConfigForm::NeedIdClick(QObject*)
{
    if (NeedId->isChecked() || NeedComment->isChecked()) {
        NeedWarning->setChecked(false);
        NeedWarning->setEnabled(false);
    } else {
        NeedWarning->setEnabled(true);
    }
}

void TConfigForm::NeedCommentClick(QObject* Sender)
{
    NeedIdClick(Sender);
}

void TConfigForm::NeedSTXClick(QObject*)
{
    STX->setEnabled(NeedSTX->isChecked());
}

void TConfigForm::NeedTimeoutClick(QObject*)
{
    Timeout->setEnabled(NeedTimeout->isChecked());
}

void TConfigForm::cbDirectPrintClick(QObject*)
{
    PrintersList1->setEnabled(cbDirectPrint->isChecked());
}

void TConfigForm::BitBtn1Click(QObject*)
{
    const QString folder = dialogService().getExistingDirectory(Caption(), QString());
    if (!folder.isEmpty())
        Edit2->setText(folder);
}

void TConfigForm::BitBtn2Click(QObject*)
{
    const QString file = dialogService().getOpenFileName(Caption(), FileName->text(), QString());
    if (!file.isEmpty())
        FileName->setText(file);
}

void TConfigForm::COMOptionsClick(QObject*)
{
    EditCOMOptions(BaudRate, DataBits, Handshaking, Parity, StopBits, DTROnOpen);
}

void TConfigForm::SpeedButton1Click(QObject*)
{
    // Each text and the line breaks that follow it (written LF CR, as the help always was).
    static const QList<QPair<int, const char*>> parts = {
        {7, "\n\r\n\r"},  {8, "\n\r"},  {9, "\n\r\n\r"},  {10, "\n\r"}, {11, "\n\r"},
        {12, "\n\r"},     {13, "\n\r"}, {14, "\n\r\n\r"}, {15, "\n\r"}, {16, "\n\r"},
        {17, "\n\r\n\r"}, {18, "\n\r"}, {19, "\n\r\n\r"}, {20, "\n\r"}, {21, "\n\r\n\r"},
        {22, "\n\r"},     {23, "\n\r"}, {24, "\n\r"},     {25, "\n\r"}, {26, "\n\r"}};
    static const QList<int> tabbed = {12, 13, 14, 16, 17, 19, 21, 24, 25, 26};
    QString text;
    for (const auto& [number, breaks] : parts) {
        QString part = LC1->GetConst(number);
        if (tabbed.contains(number))
            part.replace(QStringLiteral("%S"), QStringLiteral("\t"));
        text += part + QLatin1String(breaks);
    }
    dialogService().messageDlg(text, mtInformation, mbOK);
}

// ---- closing and saving -----------------------------------------------------------------------

void TConfigForm::FormCloseQuery(QObject*, bool& CanClose)
{
    if (ExtensionMissing) {
        dialogService().showMessage(LC1->GetConst(6));
        CanClose = false;
        ExtensionMissing = false;
    }
}

void TConfigForm::refuse(QWidget* where, const QString& message)
{
    dialogService().messageDlg(message, mtError, mbOK);
    where->setFocus();
}

bool TConfigForm::readCommonEntries(Entries& e, const QString& extension)
{
    e.type = EditedSourceNumber != 0 ? m_sourceType : ComboBox1->currentIndex() + 1;
    e.title = Titul->text();
    e.extension = codepage::upper(extension);
    e.needId = NeedId->isChecked() && NeedId->isEnabled();
    e.needComment = NeedComment->isChecked() && NeedComment->isEnabled();
    e.warning = NeedWarning->isChecked() ? 1 : 0;
    const QString code = eCode->text().trimmed();
    if (code.isEmpty()) {
        e.dsCode = std::optional<int>(); // emptied: no direct-send code
        return true;
    }
    int value = 0;
    if (!TryStrToInt(code, value)) {
        refuse(eCode, LC1->GetConst(28));
        return false;
    }
    if (value != -1)
        e.dsCode = std::optional<int>(value);
    return true;
}

// Writes the source's common row and the row of its type; raises when the engine or the settings
// file refuses.
void TConfigForm::writeSource(const Entries& e)
{
    TDataTables& t = CheckedDataTables();
    LocalTable& cfg = *t.cfg;
    if (EditedSourceNumber == 0) {
        const int number = NextKeyValue(cfg, QStringLiteral("Number"));
        cfg.setIndexName(QString());
        cfg.append();
        fieldOf(cfg, "Number")->setAsInteger(number);
        fieldOf(cfg, "Type")->setAsInteger(e.type);
        fieldOf(cfg, "State")->setAsInteger(1);
        EditedSourceNumber = number;
    } else {
        if (!seek(cfg, EditedSourceNumber))
            throw EDBEditError(
                QStringLiteral("Source %1 no longer exists").arg(EditedSourceNumber));
        cfg.edit();
    }
    fieldOf(cfg, "Titul")->setAsString(e.title);
    fieldOf(cfg, "Extension")->setAsString(e.extension);
    fieldOf(cfg, "NeedId")->setAsBoolean(e.needId);
    fieldOf(cfg, "NeedComment")->setAsBoolean(e.needComment);
    fieldOf(cfg, "Warning")->setAsInteger(e.warning);
    if (e.dsCode) {
        if (*e.dsCode)
            fieldOf(cfg, "DS_CODE")->setAsInteger(**e.dsCode);
        else
            fieldOf(cfg, "DS_CODE")->clear();
    }
    cfg.post();

    if (const TypePage* page = typePage(e.type))
        page->save(*(t.*page->table), e, EditedSourceNumber);
}

// All rows, and the serial source's INI value, in one transaction: a source is saved whole or not
// at all. A failure is reported, and the tables and EditedSourceNumber are as they were.
bool TConfigForm::saveSource(const Entries& e)
{
    TDataTables& t = CheckedDataTables();
    Database& db = *t.LocalDB;
    const int editedBefore = EditedSourceNumber;
    try {
        InTransaction(db, [&] { writeSource(e); });
    } catch (const std::exception& error) {
        for (LocalTable* table : {t.cfg, t.fRep, t.rcfiles, t.prn, t.com}) {
            cancelPending(*table);
            refreshQuietly(*table);
        }
        EditedSourceNumber = editedBefore;
        AppException(this, error);
        return false;
    }
    return true;
}

namespace {

void restartSources(int type, int number)
{
    const TSourceRestarts& r = SourceRestarts();
    switch (type) {
    case stFolder:
        if (r.CheckFileSources)
            r.CheckFileSources();
        break;
    case stBreeze:
        if (r.CheckBreezeSources)
            r.CheckBreezeSources();
        break;
    case stPrinter:
        if (r.CheckPrinterSources)
            r.CheckPrinterSources();
        break;
    case stSerial:
        if (r.CreateSourceDriver)
            r.CreateSourceDriver(number, 1);
        break;
    case stScreen:
        if (r.InitClipboardSource)
            r.InitClipboardSource();
        break;
    default:
        break;
    }
}

} // namespace

void TConfigForm::OKBtnClick(QObject*)
{
    // Every entry is checked before anything is written: a refused one leaves the dialog open
    // with everything as the user typed it, and no row half-made.
    const QString extension = Extension->text().trimmed();
    if (extension.isEmpty() || !codepage::canEncode(extension, codepage::current())) {
        ExtensionMissing = true; // the closing step says why and keeps the dialog open
        setModalResult(mrOk);
        return;
    }
    Entries e;
    if (!readCommonEntries(e, extension))
        return;
    const TypePage* page = typePage(e.type);
    if (page && !(this->*page->read)(e))
        return;
    if (!saveSource(e))
        return;
    if (page)
        this->*page->rowNumber = EditedSourceNumber;
    try {
        restartSources(e.type, EditedSourceNumber);
    } catch (const std::exception& error) {
        // The source is saved; what failed to start is reported, and the dialog closes.
        AppException(this, error);
    }
    // A serial port that cannot be opened is told once, here; it is tried again unattended.
    if (e.type == stSerial && !ComPortFailure(e.port, EditedSourceNumber).isEmpty())
        dialogService().messageDlg(ComPortFailureMessage(e.port), mtWarning, mbOK);
    setModalResult(mrOk);
}

int ExecuteConfigForm()
{
    QPointer<TConfigForm> form = CreateForm<TConfigForm>();
    const auto freeForm = qScopeGuard([&form] {
        if (form)
            form->Free();
    });
    return form->ShowModal();
}
