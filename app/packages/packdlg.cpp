// The package transfer dialog TPackDlg: its buttons, the three ways of sending and the history.
#include "packdlg.h"

#include "emaildlg.h"
#include "ftpclient.h"
#include "ftpdlg.h"
#include "mime64.h"
#include "packages.h"
#include "smtpform.h"
#include "transferglobals.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/translatableforms.h>
#include <platform/data/datasetmodel.h>
#include <platform/db/localtable.h>
#include <platform/dialogs.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <translation/lc.h>

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTableView>
#include <QVBoxLayout>

#include <cerrno>

namespace {

const QString Section = QStringLiteral("Packages");

// The columns of the history, by field, with their titles.
struct Column
{
    const char* field;
    const char* title;
};
constexpr Column HistoryColumns[] = {{"Number", "Paquet"}, {"S_date", "Crée le..."},
                                     {"S_time", "Heure"},  {"F_date", "Fermé le..."},
                                     {"F_time", "Heure"},  {"Transfer state", "Etat"}};

QString stateText(const QVariant& state)
{
    bool ok = false;
    const int value = state.toInt(&ok);
    if (!ok)
        return {};
    switch (value) {
    case 0:
        return QStringLiteral("En cours...");
    case 1:
        return QStringLiteral("A transférer !");
    case 2:
        return QStringLiteral("Ok");
    default:
        return {};
    }
}

// A folder on the floppy drive of old settings files, in any case.
bool isFloppyPath(const QString& path)
{
    return path.left(3).toUpper() == QLatin1String("A:\\");
}

} // namespace

// The history's view of SPacks: the six columns in their order, the number in hexadecimal and
// the state in words.
class TPackDlg::History : public QIdentityProxyModel
{
public:
    explicit History(QObject* parent) : QIdentityProxyModel(parent) {}

    // The source column of each shown one (-1 when the table lacks the field).
    QList<int> sourceColumns() const
    {
        QList<int> out;
        const auto* model = static_cast<const DataSetModel*>(sourceModel());
        for (const Column& c : HistoryColumns) {
            int found = -1;
            for (int i = 0; model && i < model->columnCount(); ++i) {
                if (model->fieldAt(i)->fieldName().compare(QLatin1String(c.field),
                                                           Qt::CaseInsensitive) == 0)
                    found = i;
            }
            out.append(found);
        }
        return out;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const QVariant value = QIdentityProxyModel::data(index, role);
        if (role != Qt::DisplayRole)
            return value;
        const QString field = fieldOf(index.column());
        if (field == QLatin1String("Number")) {
            bool ok = false;
            const qint64 number = value.toString().toLongLong(&ok);
            return ok ? QVariant(PackageHex(qint32(number))) : QVariant();
        }
        if (field == QLatin1String("Transfer state"))
            return stateText(value.toString());
        return value;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            const QString field = fieldOf(section);
            for (const Column& c : HistoryColumns) {
                if (field == QLatin1String(c.field))
                    return QString::fromUtf8(c.title);
            }
        }
        return QIdentityProxyModel::headerData(section, orientation, role);
    }

private:
    QString fieldOf(int column) const
    {
        const auto* model = static_cast<const DataSetModel*>(sourceModel());
        const Field* f = model ? model->fieldAt(column) : nullptr;
        return f ? f->fieldName() : QString();
    }
};

QUORVANE_TRANSLATABLE_FORM(TPackDlg);

TPackDlg::TPackDlg(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnClose = [this](QObject* sender, TCloseAction& action) { FormClose(sender, action); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

TPackDlg::~TPackDlg() = default;

void TPackDlg::createComponents()
{
    setCaption(QStringLiteral("Transférer les données"));
    PLabel = makeComponent<QLabel>("PLabel", "TLabel");
    PLabel->setText(QStringLiteral("Transfert de données..."));
    PLabel->setAlignment(Qt::AlignCenter);
    PLabel->setAutoFillBackground(true);
    PLabel->setStyleSheet(QStringLiteral("QLabel { background: yellow; color: black; }"));
    PLabel->setVisible(false);
    PB = makeComponent<QProgressBar>("PB", "TProgressBar");
    PB->setVisible(false);
    PackagesBtn = makeComponent<QPushButton>("PackagesBtn", "TSpeedButton");
    PackagesBtn->setText(QStringLiteral("Historique..."));
    PackagesBtn->setToolTip(QStringLiteral("Voir la liste des paquets"));
    PackagesBtn->setCheckable(true);
    bFTP = makeComponent<QPushButton>("bFTP", "TBitBtn");
    bFTP->setText(QStringLiteral("FTP"));
    bFTP->setToolTip(QStringLiteral("Transférer les données par le Porte-documents (Internet)"));
    bFTP->setVisible(false);
    bEMAIL = makeComponent<QPushButton>("bEMAIL", "TBitBtn");
    bEMAIL->setText(QStringLiteral("&E-MAIL"));
    bEMAIL->setToolTip(
        QStringLiteral("Transférer les données par courrier électronique (Internet)"));
    bFile = makeComponent<QPushButton>("bFile", "TBitBtn");
    bFile->setText(QStringLiteral("&Fichier"));
    bFile->setToolTip(QStringLiteral("Transférer les données sous forme de fichier"));
    bClose = makeComponent<QPushButton>("bClose", "TBitBtn");
    bClose->setText(QStringLiteral("&Fermer"));
    for (QPushButton* b : {PackagesBtn, bFTP, bEMAIL, bFile, bClose})
        b->setAutoDefault(false);

    Panel1 = makeComponent<QGroupBox>("Panel1", "TGroupBox");
    Panel1->setTitle(QStringLiteral("Paramètres de transfert de données"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel", Panel1);
    Label1->setText(QStringLiteral("Chemin pour le transfert de fichiers:"));
    FPath = makeComponent<QLineEdit>("FPath", "TEdit", Panel1);
    SpeedButton1 = makeComponent<QPushButton>("SpeedButton1", "TSpeedButton", Panel1);
    SpeedButton1->setText(QStringLiteral("..."));
    Label2 = makeComponent<QLabel>("Label2", "TLabel", Panel1);
    Label2->setText(QStringLiteral("Courrier électronique (adresse E-MAIL):"));
    EMAIL = makeComponent<QLineEdit>("EMAIL", "TEdit", Panel1);
    BitBtn1 = makeComponent<QPushButton>("BitBtn1", "TBitBtn", Panel1);
    BitBtn1->setText(QStringLiteral("Options..."));
    Label3 = makeComponent<QLabel>("Label3", "TLabel", Panel1);
    Label3->setText(QStringLiteral("Porte-documents (adresse FTP):"));
    FTP = makeComponent<QLineEdit>("FTP", "TEdit", Panel1);
    BitBtn2 = makeComponent<QPushButton>("BitBtn2", "TBitBtn", Panel1);
    BitBtn2->setText(QStringLiteral("Options..."));
    for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(FTP),
                       static_cast<QWidget*>(BitBtn2)})
        w->setVisible(false);
    for (QPushButton* b : {SpeedButton1, BitBtn1, BitBtn2})
        b->setAutoDefault(false);

    PackagesGrid = makeComponent<QTableView>("PackagesGrid", "TDBGrid");
    PackagesGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PackagesGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    PackagesGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    PackagesGrid->verticalHeader()->hide();
    PackagesGrid->setVisible(false);
    DataSource1 = makeComponent<DataSetModel>("DataSource1", "TDataSource", nullptr, this);
    m_history = new History(this);
    m_history->setSourceModel(DataSource1);
    PackagesGrid->setModel(m_history);

    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = QStringList{
        QStringLiteral("0=Transférer les données"),
        QStringLiteral("1=Erreur! Espace disque insuffisant!"),
        QStringLiteral("2=Le lecteur A:\\ est vide. Veuillez insérer un disque et refaire le "
                       "transfert."),
        QStringLiteral("3=Erreur d'accès à %S !"),
        QStringLiteral("4=Erreur ! Vous devez recommencer le transfert.")};
}

void TPackDlg::layoutComponents()
{
    const int wide = fontMetrics().averageCharWidth() * 36;
    for (QLineEdit* edit : {FPath, EMAIL, FTP})
        edit->setMinimumWidth(wide);
    auto* params = new QGridLayout(Panel1);
    params->addWidget(Label1, 0, 0, 1, 2);
    params->addWidget(FPath, 1, 0);
    params->addWidget(SpeedButton1, 1, 1);
    params->addWidget(Label2, 2, 0, 1, 2);
    params->addWidget(EMAIL, 3, 0);
    params->addWidget(BitBtn1, 3, 1);
    params->addWidget(Label3, 4, 0, 1, 2);
    params->addWidget(FTP, 5, 0);
    params->addWidget(BitBtn2, 5, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PackagesBtn);
    buttons->addStretch();
    buttons->addWidget(bFTP);
    buttons->addWidget(bEMAIL);
    buttons->addWidget(bFile);
    buttons->addWidget(bClose);

    auto* all = new QVBoxLayout(this);
    all->addWidget(Panel1);
    all->addLayout(buttons);
    all->addWidget(PackagesGrid, 1);
    all->addWidget(PLabel);
    all->addWidget(PB);
    all->setSizeConstraint(QLayout::SetMinimumSize);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(420, 198);
}

void TPackDlg::connectHandlers()
{
    CancelButton = bClose;
    for (QLineEdit* edit : {FPath, EMAIL, FTP})
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { ParamsChange(edit); });
    connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(SpeedButton1); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(BitBtn2); });
    connect(PackagesBtn, &QPushButton::clicked, this, [this] { PackagesBtnClick(PackagesBtn); });
    connect(PackagesGrid, &QTableView::clicked, this, [this](const QModelIndex& index) {
        DataSource1->setCurrentRow(index.row());
        PackagesGridCellClick(PackagesGrid);
    });
    connect(bFile, &QPushButton::clicked, this, [this] { bFileClick(bFile); });
    connect(bEMAIL, &QPushButton::clicked, this, [this] { bEMAILClick(bEMAIL); });
    connect(bFTP, &QPushButton::clicked, this, [this] { bFTPClick(bFTP); });
    connect(bClose, &QPushButton::clicked, this, [this] { bCloseClick(bClose); });
}

void TPackDlg::setButtons()
{
    const bool something = HasDocuments || OpenedPack != CurrentPack;
    bFile->setEnabled(something && !FPath->text().isEmpty());
    bEMAIL->setEnabled(something && !EMAIL->text().isEmpty());
    bFTP->setEnabled(something && !FTP->text().isEmpty());
}

void TPackDlg::FormShow(QObject*)
{
    PackagesBtn->setChecked(false);
    OpenedPack = CurrentPack;
    setCaption(LC1->GetConst(0));
    LocalTable& files = *CheckedDataTables().files;
    TableAction(files, 2);
    HasDocuments = !files.isEmpty();
    const IniFile ini(IniFileName);
    FPath->setText(ini.readString(Section, QStringLiteral("GetDir")));
    EMAIL->setText(ini.readString(Section, QStringLiteral("e-mail")));
    FTP->setText(ini.readString(Section, QStringLiteral("FTP")));
    setButtons();
    if (bFile->isEnabled())
        bFile->setFocus();
    PB->setVisible(false);
    PLabel->setVisible(false);
    PackagesBtnClick(PackagesBtn);
}

void TPackDlg::FormClose(QObject*, TCloseAction&)
{
    IniFile ini(IniFileName);
    ini.writeString(Section, QStringLiteral("GetDir"), FPath->text());
    ini.writeString(Section, QStringLiteral("e-mail"), EMAIL->text());
    ini.writeString(Section, QStringLiteral("FTP"), FTP->text());
}

void TPackDlg::ParamsChange(QObject*)
{
    setButtons();
}

void TPackDlg::SpeedButton1Click(QObject*)
{
    const QString start = FPath->text().isEmpty() ? QDir::homePath() : FPath->text();
    const QString folder = dialogService().getExistingDirectory(Caption(), start);
    if (!folder.isEmpty())
        FPath->setText(folder);
}

void TPackDlg::BitBtn1Click(QObject*)
{
    ExecuteForm<TeMailDlg>();
}

void TPackDlg::BitBtn2Click(QObject*)
{
    ExecuteForm<TFTPDlg>();
}

void TPackDlg::PackagesBtnClick(QObject*)
{
    const bool shown = PackagesBtn->isChecked();
    if (shown) {
        LocalTable& packs = *CheckedDataTables().SPacks;
        TableAction(packs, 2);
        packs.setIndexName(QString());
        packs.findKey({OpenedPack});
        packs.setIndexName(QStringLiteral("dnum_index"));
        DataSource1->setDataSet(&packs);
        const QList<int> columns = m_history->sourceColumns();
        for (int c = 0; c < DataSource1->columnCount(); ++c)
            PackagesGrid->setColumnHidden(c, !columns.contains(c));
        PackagesGrid->resizeColumnsToContents();
        int width = PackagesGrid->frameWidth() * 2;
        for (int c : columns) {
            if (c < 0)
                continue;
            PackagesGrid->setColumnWidth(c, qMax(81, PackagesGrid->columnWidth(c) + 8));
            width += PackagesGrid->columnWidth(c);
        }
        PackagesGrid->setMinimumWidth(width +
                                      PackagesGrid->verticalScrollBar()->sizeHint().width());
        if (DataSource1->currentRow() >= 0)
            PackagesGrid->selectRow(DataSource1->currentRow());
    }
    PackagesGrid->setVisible(shown);
    adjustSize();
}

void TPackDlg::PackagesGridCellClick(QObject*)
{
    const LocalTable& packs = *CheckedDataTables().SPacks;
    const Field* number = packs.isEmpty() ? nullptr : packs.fieldByName(QStringLiteral("Number"));
    OpenedPack = number && !number->isNull() ? qint32(number->asInteger()) : CurrentPack;
    setCaption(OpenedPack == CurrentPack ? LC1->GetConst(0)
                                         : LC1->GetConst(0) + QStringLiteral(" - [Package ") +
                                               PackageHex(OpenedPack) + u']');
    setButtons();
}

QString TPackDlg::MakePackage()
{
    for (QPushButton* b : {bFile, bEMAIL, bFTP})
        b->setEnabled(false);
    PB->setValue(0);
    PB->setVisible(true);
    PLabel->setVisible(true);
    const auto hide = qScopeGuard([this] {
        PB->setVisible(false);
        PLabel->setVisible(false);
        adjustSize();
    });
    QString file;
    PreparePackage(file, PB, PLabel);
    return file;
}

QString TPackDlg::fileToSend()
{
    if (OpenedPack == CurrentPack)
        return MakePackage();
    const QString hex = PackageHex(OpenedPack);
    for (const char* extension : {".mrk", ".mpk"}) {
        const QString found = files::findNoCase(ExchangeDir, hex + QLatin1String(extension));
        if (!found.isEmpty())
            return found;
    }
    dialogService().messageDlg(
        LC1->GetConstFmt(3, {PackageFileName(OpenedPack, QStringLiteral(".mrk"))}), mtError, mbOK);
    return {};
}

void TPackDlg::markSent(qint32 Number)
{
    LocalTable& packs = *CheckedDataTables().packs;
    packs.setIndexName(QString());
    if (!TableActionGuarded(packs, {Number})) {
        WriteToLog(QStringLiteral("Package %1 is no longer listed: its transfer is not recorded")
                       .arg(PackageHex(Number)));
        return;
    }
    packs.edit();
    packs.fieldByName(QStringLiteral("Transfer state"))->setAsInteger(2);
    FlushTable(packs, QString());
    TableAction(*CheckedDataTables().SPacks, 2);
}

void TPackDlg::bFileClick(QObject*)
{
    setScreenCursor(crHourGlass);
    const auto normal = qScopeGuard([] { setScreenCursor(crDefault); });
    const qint32 package = OpenedPack;
    const QString file = fileToSend();
    while (!file.isEmpty()) {
        const QString folder = FPath->text();
        if (QFileInfo(folder).isDir()) {
            const QString target = QDir(folder).filePath(QFileInfo(file).fileName());
            const qint64 size = QFileInfo(file).size();
            QString error;
            const QStorageInfo room(folder);
            bool copied =
                !(room.isValid() && room.bytesAvailable() >= 0 && room.bytesAvailable() < size);
            if (!copied)
                error = fileops::errorText(ENOSPC);
            else
                copied = fileops::copy(file, target, &error);
            if (copied && QFileInfo(target).size() != size) {
                error = QStringLiteral("the copy of \"%1\" has %2 bytes instead of %3")
                            .arg(target)
                            .arg(QFileInfo(target).size())
                            .arg(size);
                fileops::remove(target);
                copied = false;
            }
            if (copied) {
                markSent(package);
            } else {
                WriteToLog(error);
                const bool full = error.endsWith(fileops::errorText(ENOSPC)) ||
                                  error.endsWith(fileops::errorText(EDQUOT));
                dialogService().messageDlg(full ? LC1->GetConst(1) : LC1->GetConstFmt(3, {folder}),
                                           mtError, mbOK);
            }
            break;
        }
        if (isFloppyPath(folder)) {
            if (dialogService().messageDlg(LC1->GetConst(2), mtError, mbRetry | mbCancel) ==
                mrRetry)
                continue;
            break;
        }
        dialogService().messageDlg(LC1->GetConstFmt(3, {folder}), mtError, mbOK);
        break;
    }
    setModalResult(mrOk);
}

void TPackDlg::bEMAILClick(QObject*)
{
    setScreenCursor(crHourGlass);
    const auto normal = qScopeGuard([] { setScreenCursor(crDefault); });
    const qint32 package = OpenedPack;
    const QString file = fileToSend();
    if (!file.isEmpty()) {
        const QString buffer = QFileInfo(file).absolutePath() + QStringLiteral("/~email.buf");
        const auto removeBuffer = qScopeGuard([buffer] {
            if (QFileInfo::exists(buffer))
                fileops::remove(buffer);
        });
        const IniFile ini(IniFileName);
        MailTo = EMAIL->text();
        MailServer = ini.readString(QStringLiteral("e-mail"), QStringLiteral("SMTPServer"));
        MailFrom = ini.readString(QStringLiteral("e-mail"), QStringLiteral("HOMEAddr"));
        MailSubject = QStringLiteral("~QUORVANE PACKAGE~");
        MailFile = buffer;
        EncodeFileBase64(file, buffer);
        MailFailed = true;
        MailError.clear();
        ExecuteForm<TSMTPTForm>();
        // Text 4, and under it why (when the form could tell).
        if (MailFailed)
            dialogService().messageDlg(MailError.isEmpty() ? LC1->GetConst(4)
                                                           : LC1->GetConst(4) + u'\n' + MailError,
                                       mtError, mbOK);
        else
            markSent(package);
    }
    setModalResult(mrOk);
}

void TPackDlg::bFTPClick(QObject*)
{
    if (ExecuteForm<TFTPPasswordDlg>() != mrOk)
        return;
    setScreenCursor(crHourGlass);
    const auto normal = qScopeGuard([] { setScreenCursor(crDefault); });
    const qint32 package = CurrentPack;
    const QString file = MakePackage();
    const IniFile ini(IniFileName);
    bool completed = false;
    ExecuteForm<TFTPClient>(
        [&](TFTPClient& client) {
            client.UserName = ini.readString(QStringLiteral("FTP"), QStringLiteral("UserName"));
            client.Password = FTPPassword;
            client.Host = FTP->text();
            client.Port = ini.readInteger(QStringLiteral("FTP"), QStringLiteral("Port"), 21);
            client.FileName = file;
            client.Mode = 1;
        },
        [&](TFTPClient& client) { completed = client.Completed; });
    if (completed)
        markSent(package);
    else
        dialogService().messageDlg(LC1->GetConst(4), mtError, mbOK);
    setModalResult(mrOk);
}

void TPackDlg::bCloseClick(QObject*)
{
    setModalResult(mrCancel);
}

void ShowPackDlg()
{
    ExecuteForm<TPackDlg>();
}
