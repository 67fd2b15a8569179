// The patient identification dialog TIdDlg: its components, the name search over the patients of
// the mode, the choice written into the document's row, and ShowIdDlg, which opens it.
#include "iddlg.h"

#include "patientdlg.h"
#include "practicepatients.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/documents/viewer.h>
#include <app/translatableforms.h>
#include <kernel/dbaccess.h>
#include <platform/codepage.h>
#include <platform/data/datasetmodel.h>
#include <platform/db/localtable.h>
#include <platform/dialogs.h>
#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QAbstractProxyModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The practice database's patients are searched in its table PATIENTS by name.
const QString PatientsTable = QStringLiteral("PATIENTS");
const QString NameKey = QStringLiteral("NOM;PRENOM");

// Upper end of a practice-database name search: the text followed by four times the last letter
// of the program's code page in the database's order. A server puts "я" last in windows-1251 and
// "z" in windows-1252 ("ÿ" sorts as "y"); the practice database file sorts by the program's own
// order, in which the Cyrillic letters come before the Latin ones, so "z" is last there in both.
QString practiceRangeEnd(const QString& text)
{
    const TDBAccess* access = DataTables ? DataTables->DBAccess : nullptr;
    const bool ownOrder = access && access->ServerKind() == ServerKind::Standard;
    const bool cyrillicLast = !ownOrder && codepage::current() == codepage::Cp1251;
    return text + QString(4, cyrillicLast ? QChar(u'я') : QChar(u'z'));
}
// Above every character a name can hold in the local tables' folded order: the upper end of a
// prefix range there.
constexpr char16_t PrefixEnd = 0xFFFF;

// A green plus: the style's file icon looked like a disabled button.
QIcon addIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 140, 40));
    painter.drawRoundedRect(QRectF(6, 1, 4, 14), 1, 1);
    painter.drawRoundedRect(QRectF(1, 6, 14, 4), 1, 1);
    painter.end();
    return QIcon(pixmap);
}

void setFieldText(LocalTable& table, const char* name, const QString& value)
{
    table.fieldByName(QLatin1String(name))->setAsString(value);
}

// The edit takes no more characters than the field keeps.
void limitToField(QLineEdit* edit, const LocalTable& table, const char* name)
{
    if (const Field* f = table.findField(QLatin1String(name)); f && f->size() > 0)
        edit->setMaxLength(f->size());
}

} // namespace

// The grid's columns: the named fields of the dataset model, in the order given, whatever other
// fields the dataset has. A field the dataset lacks shows an empty column.
class TIdDlg::GridColumns : public QAbstractProxyModel
{
public:
    explicit GridColumns(QObject* parent) : QAbstractProxyModel(parent) {}

    void setSource(DataSetModel* source)
    {
        beginResetModel();
        if (sourceModel())
            disconnect(sourceModel(), nullptr, this, nullptr);
        QAbstractProxyModel::setSourceModel(source);
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this,
                [this] { beginResetModel(); });
        connect(source, &QAbstractItemModel::modelReset, this, [this] {
            remap();
            endResetModel();
        });
        connect(source, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& from, const QModelIndex& to) {
                    if (columnCount() > 0)
                        emit dataChanged(index(from.row(), 0), index(to.row(), columnCount() - 1));
                });
        remap();
        endResetModel();
    }

    void setFieldNames(const QStringList& names)
    {
        beginResetModel();
        m_names = names;
        remap();
        endResetModel();
    }

    QModelIndex mapToSource(const QModelIndex& proxy) const override
    {
        if (!proxy.isValid() || !sourceModel() || proxy.column() >= m_sourceColumn.size())
            return {};
        const int column = m_sourceColumn.at(proxy.column());
        return column < 0 ? QModelIndex() : sourceModel()->index(proxy.row(), column);
    }
    QModelIndex mapFromSource(const QModelIndex& source) const override
    {
        if (!source.isValid())
            return {};
        const int column = int(m_sourceColumn.indexOf(source.column()));
        return column < 0 ? QModelIndex() : index(source.row(), column);
    }
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 ||
            column >= columnCount())
            return {};
        return createIndex(row, column);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !sourceModel() ? 0 : sourceModel()->rowCount();
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_names.size());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Vertical || section < 0 || section >= m_names.size())
            return QAbstractProxyModel::headerData(section, orientation, role);
        const int column = m_sourceColumn.at(section);
        if (column >= 0 && sourceModel())
            return sourceModel()->headerData(column, orientation, role);
        return role == Qt::DisplayRole ? QVariant(m_names.at(section)) : QVariant();
    }

private:
    void remap()
    {
        m_sourceColumn.clear();
        const auto* model = static_cast<const DataSetModel*>(sourceModel());
        for (const QString& name : std::as_const(m_names)) {
            int found = -1;
            for (int c = 0; model && c < model->columnCount(); ++c) {
                if (model->fieldAt(c)->fieldName().compare(name, Qt::CaseInsensitive) == 0) {
                    found = c;
                    break;
                }
            }
            m_sourceColumn.append(found);
        }
    }

    QStringList m_names;
    QList<int> m_sourceColumn;
};

QUORVANE_TRANSLATABLE_FORM(TIdDlg);

TIdDlg::TIdDlg(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnActivate = [this](QObject* sender) { FormActivate(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

TIdDlg::~TIdDlg() = default;

void TIdDlg::createComponents()
{
    setCaption(QStringLiteral("Identification"));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TBitBtn");
    OKBtn->setText(QStringLiteral("&Valider"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TBitBtn");
    CancelBtn->setText(QStringLiteral("&Annuler"));

    GroupBox1 = makeComponent<QGroupBox>("GroupBox1", "TGroupBox");
    GroupBox1->setTitle(QStringLiteral("Patient"));
    Add = makeComponent<QPushButton>("Add", "TSpeedButton", GroupBox1);
    Add->setIcon(addIcon());
    Add->setToolTip(QStringLiteral("Ajouter un nouveau patient"));
    Modify = makeComponent<QPushButton>("Modify", "TSpeedButton", GroupBox1);
    Modify->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    Modify->setToolTip(QStringLiteral("Modifier le patient sélectionné"));
    Delete = makeComponent<QPushButton>("Delete", "TSpeedButton", GroupBox1);
    Delete->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    Delete->setToolTip(QStringLiteral("Supprimer le patient sélectionné"));
    for (QPushButton* b : {Add, Modify, Delete})
        b->setAutoDefault(false);

    GroupBox2 = makeComponent<QGroupBox>("GroupBox2", "TGroupBox");
    GroupBox2->setTitle(QStringLiteral("Informations sur le document"));
    Label2 = makeComponent<QLabel>("Label2", "TLabel", GroupBox2);
    Label2->setText(QStringLiteral("Date:"));
    Edit2 = makeComponent<QLineEdit>("Edit2", "TEdit", GroupBox2);
    Label3 = makeComponent<QLabel>("Label3", "TLabel", GroupBox2);
    Label3->setText(QStringLiteral("Description:"));
    Edit3 = makeComponent<QLineEdit>("Edit3", "TEdit", GroupBox2);
    Label4 = makeComponent<QLabel>("Label4", "TLabel", GroupBox2);
    Label4->setText(QStringLiteral("Commentaire:"));
    Memo1 = makeComponent<QPlainTextEdit>("Memo1", "TMemo", GroupBox2);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);

    PatGrid = makeComponent<QTableView>("PatGrid", "TDBGrid", GroupBox1);
    PatGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PatGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    PatGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    PatGrid->verticalHeader()->hide();
    PatGrid->setTabKeyNavigation(false); // Tab goes on to the list's commands
    DataSource1 = makeComponent<DataSetModel>("DataSource1", "TDataSource", nullptr, this);
    m_columns = new GridColumns(this);
    m_columns->setSource(DataSource1);
    PatGrid->setModel(m_columns);

    Label1 = makeComponent<QLabel>("Label1", "TLabel", GroupBox1);
    Label1->setText(QStringLiteral("Nom:"));
    Edit1 = makeComponent<QLineEdit>("Edit1", "TEdit", GroupBox1);
    Label1->setBuddy(Edit1);
    bView = makeComponent<QPushButton>("bView", "TBitBtn");
    bView->setText(QStringLiteral("Visualiser..."));
    bView->setToolTip(QStringLiteral("Visualiser le document"));
    bView->setAutoDefault(false);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = QStringList{QStringLiteral("0=Supprimer le patient %S ?")};
}

void TIdDlg::layoutComponents()
{
    auto* search = new QHBoxLayout;
    search->addWidget(Label1);
    search->addWidget(Edit1, 1);
    auto* gridCommands = new QVBoxLayout;
    gridCommands->addWidget(Add);
    gridCommands->addWidget(Modify);
    gridCommands->addWidget(Delete);
    gridCommands->addStretch();
    auto* patient = new QGridLayout(GroupBox1);
    patient->addLayout(search, 0, 0);
    patient->addWidget(PatGrid, 1, 0);
    patient->addLayout(gridCommands, 1, 1);

    auto* info = new QGridLayout(GroupBox2);
    info->addWidget(Label2, 0, 0);
    info->addWidget(Edit2, 0, 1);
    info->addWidget(Label3, 1, 0);
    info->addWidget(Edit3, 1, 1);
    info->addWidget(Label4, 2, 0, 1, 2);
    info->addWidget(Memo1, 3, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bView);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* all = new QVBoxLayout(this);
    all->addWidget(GroupBox1);
    all->addWidget(GroupBox2, 1);
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(378, 452);

    // Tab follows the eye: the search, the list and its commands, the document's fields, then
    // the dialog's buttons.
    const QList<QWidget*> order{Edit1, PatGrid, Add,   Modify, Delete,   Edit2,
                                Edit3, Memo1,   bView, OKBtn,  CancelBtn};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

void TIdDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(CancelBtn); });
    connect(PatGrid, &QAbstractItemView::doubleClicked, this, [this] { OKBtnClick(PatGrid); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(Edit1); });
    connect(Add, &QPushButton::clicked, this, [this] { AddClick(Add); });
    connect(Modify, &QPushButton::clicked, this, [this] { ModifyClick(Modify); });
    connect(Delete, &QPushButton::clicked, this, [this] { DeleteClick(Delete); });
    connect(bView, &QPushButton::clicked, this, [this] { bViewClick(bView); });

    // The grid and the dataset's cursor follow each other.
    connect(PatGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    DataSource1->setCurrentRow(current.row());
            });
    connect(DataSource1, &DataSetModel::currentRowChanged, this,
            [this](int row) { selectCurrentRow(row); });
    connect(m_columns, &QAbstractItemModel::modelReset, this, [this] {
        FitColumns();
        selectCurrentRow(DataSource1->currentRow());
    });
}

void TIdDlg::BindPatients(DataSet* patients, const QStringList& fieldNames,
                          const QList<int>& widths)
{
    DataSource1->setDataSet(patients);
    m_columns->setFieldNames(fieldNames);
    // A column is at least as wide as its title.
    m_leastWidths.clear();
    for (int i = 0; i < widths.size() && i < fieldNames.size(); ++i)
        m_leastWidths.append(
            std::max(widths.at(i), columnTitleWidth(PatGrid->horizontalHeader(), i)));
    FitColumns();
    selectCurrentRow(DataSource1->currentRow());
}

void TIdDlg::FitColumns()
{
    // Columns widen to the names they show and never narrow while the dialog is open; the list
    // widens with them up to twice its least width, beyond which it scrolls.
    const QAbstractItemView* grid = PatGrid;
    int least = 0;
    int total = 0;
    for (int i = 0; i < m_leastWidths.size(); ++i) {
        const int width = std::max({m_leastWidths.at(i), grid->sizeHintForColumn(i),
                                    m_shown ? PatGrid->columnWidth(i) : 0});
        PatGrid->setColumnWidth(i, width);
        least += m_leastWidths.at(i);
        total += width;
    }
    m_shown = true;
    PatGrid->setMinimumWidth(2 * PatGrid->frameWidth() +
                             PatGrid->verticalScrollBar()->sizeHint().width() +
                             std::min(total, 2 * least));
}

DataSet& TIdDlg::patients() const
{
    if (!DataSource1->dataSet())
        throw Exception(QStringLiteral("The identification dialog has no patient list"));
    return *DataSource1->dataSet();
}

int TIdDlg::currentPatientKey() const
{
    const DataSet& list = patients();
    if (!list.isActive() || list.isEmpty())
        return 0;
    const QString key =
        PracticeDBInUse ? QStringLiteral("PATIENTS_ID") : QStringLiteral("Patient_ID");
    return int(list.fieldByName(key)->asInteger());
}

void TIdDlg::selectCurrentRow(int row)
{
    if (row < 0) {
        PatGrid->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_columns->index(row, 0);
    if (!index.isValid() || PatGrid->selectionModel()->currentIndex().row() == row)
        return;
    PatGrid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    PatGrid->scrollTo(index);
}

bool TIdDlg::seekDocument() const
{
    LocalTable& files = *DataTables->files;
    files.setIndexName(QString());
    return CurrentNumber != 0 && TableActionGuarded(files, {CurrentNumber});
}

void TIdDlg::loadWholeRange()
{
    // Everyone, in name order: bounds would drop names the server sorts outside them.
    PracticePatientsInUse().IdPatients_Global().LoadRange(PatientsTable, NameKey, {}, {});
}

void TIdDlg::FormCreate(QObject*)
{
    Add->setVisible(true);
    Modify->setVisible(true);
    // Delete works on the local patients table, which is not open while the practice database
    // holds the patients.
    Delete->setVisible(!PracticeDBInUse);
    PatGrid->setFixedHeight(133);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TIdDlg::FormShow(QObject*)
{
    Edit1->clear();
    Edit1->setFocus();
    Memo1->clear();

    const bool found = CurrentNumber != 0 && seekDocument();
    if (PracticeDBInUse) {
        loadWholeRange();
    } else {
        LocalTable& list = *DataTables->IdPatients_Local;
        // Patients added since the table was last read (automatic identification) are listed.
        TableAction(list, 2);
        list.cancelRange();
        list.setIndexName(QString());
        const int patient =
            found ? int(DataTables->files->fieldByName(QStringLiteral("Patient"))->asInteger()) : 0;
        if (CurrentNumber == 0 || !list.findKey({patient})) {
            list.setIndexName(QStringLiteral("NomPrenom"));
            list.first();
        }
    }

    const LocalTable& files = *DataTables->files;
    limitToField(Edit2, files, "TComment1");
    limitToField(Edit3, files, "TComment2");
    if (found) {
        Edit2->setText(files.fieldByName(QStringLiteral("TComment1"))->asString());
        Edit3->setText(files.fieldByName(QStringLiteral("TComment2"))->asString());
        QString comment = files.fieldByName(QStringLiteral("Comment"))->asString();
        comment.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        Memo1->setPlainText(comment);
    } else {
        Edit2->clear();
        Edit3->clear();
    }
}

void TIdDlg::FormActivate(QObject*)
{
    activateWindow();
}

void TIdDlg::Edit1Change(QObject*)
{
    const QString text = Edit1->text();
    if (PracticeDBInUse) {
        if (text.isEmpty())
            loadWholeRange();
        else
            // The name alone is bounded: a patient without first name is found too.
            PracticePatientsInUse().IdPatients_Global().LoadRange(PatientsTable, NameKey, {text},
                                                                  {practiceRangeEnd(text)});
        return;
    }
    LocalTable& list = *DataTables->IdPatients_Local;
    list.setIndexName(QStringLiteral("NomPrenom"));
    if (text.isEmpty()) {
        list.cancelRange();
        return;
    }
    // Every name that begins with the text in the index's own order (without regard to case and
    // accents), whatever letters follow it.
    list.setRange({text}, {text + QChar(PrefixEnd)});
}

void TIdDlg::OKBtnClick(QObject*)
{
    if (!seekDocument()) {
        // The document is gone: nothing is written, and certainly not into another row.
        setModalResult(mrOk);
        return;
    }
    const int patient = currentPatientKey();
    LocalTable& files = *DataTables->files;
    files.edit();
    WriteOrCancel(files, [&] {
        files.fieldByName(QStringLiteral("NeedId"))->setAsInteger(0);
        files.fieldByName(QStringLiteral("Patient"))->setAsInteger(patient);
        setFieldText(files, "TComment1", Edit2->text());
        setFieldText(files, "TComment2", Edit3->text());
        // Comments keep the CR LF line ends that the descriptors and the other readers expect.
        QString comment = Memo1->toPlainText();
        comment.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        setFieldText(files, "Comment", comment);
    });
    // A row that could not be stored keeps the dialog open with what the user typed.
    if (FlushTable(files, QString()))
        setModalResult(mrOk);
}

void TIdDlg::CancelBtnClick(QObject*)
{
    if (seekDocument()) {
        LocalTable& files = *DataTables->files;
        files.edit();
        files.fieldByName(QStringLiteral("NeedId"))->setAsInteger(0);
        FlushTable(files, QString());
    }
    setModalResult(mrCancel);
}

void TIdDlg::showPatientDlg()
{
    QPointer<TPatientDlg> dialog = CreateForm<TPatientDlg>();
    const auto freeDialog = qScopeGuard([&dialog] {
        if (dialog)
            dialog->Free();
    });
    dialog->ShowModal();
    if (!PracticeDBInUse) {
        const bool any = !patients().isEmpty();
        Modify->setEnabled(any);
        Delete->setEnabled(any);
    }
}

void TIdDlg::AddClick(QObject*)
{
    EditedPatientID = 0;
    showPatientDlg();
}

void TIdDlg::ModifyClick(QObject*)
{
    EditedPatientID = currentPatientKey();
    showPatientDlg();
}

void TIdDlg::DeleteClick(QObject*)
{
    if (PracticeDBInUse)
        return;
    LocalTable& list = *DataTables->IdPatients_Local;
    if (!list.isActive() || list.isEmpty())
        return;
    const QString question =
        LC1->GetConstFmt(0, {list.fieldByName(QStringLiteral("Nom"))->asString()});
    if (dialogService().messageDlg(question, mtConfirmation, TMsgDlgButtons(mbYes) | mbNo) != mrYes)
        return;
    list.deleteRecord();
    const bool any = !list.isEmpty();
    Modify->setEnabled(any);
    Delete->setEnabled(any);
}

void TIdDlg::bViewClick(QObject*)
{
    if (CurrentNumber != 0)
        ViewDocument(CurrentNumber);
}

void ShowIdDlg()
{
    QPointer<TIdDlg> dialog = CreateForm<TIdDlg>();
    const auto freeDialog = qScopeGuard([&dialog] {
        if (dialog)
            dialog->Free();
    });
    const QList<int> widths{120, 91, 109};
    if (PracticeDBInUse)
        dialog->BindPatients(
            &PracticePatientsInUse().IdPatients_Global().dataSet(),
            {QStringLiteral("NOM"), QStringLiteral("PRENOM"), QStringLiteral("NE_LE")}, widths);
    else
        dialog->BindPatients(
            DataTables->IdPatients_Local,
            {QStringLiteral("Nom"), QStringLiteral("Prenom"), QStringLiteral("Date de naissance")},
            widths);
    dialog->ShowModal();
}
