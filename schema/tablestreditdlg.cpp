// The structure editor dialog: its pages and controls over the engine's work sets, and the
// handlers that pass the user's actions to the engine.
#include "tablestreditdlg.h"

#include "customedit.h"
#include "dbcontrols.h"
#include "newlink.h"
#include "strimages.h"
#include "tablestrwork.h"

#include <kernel/krnproc.h>
#include <kernel/metadata.h>
#include <platform/ui/application.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

using namespace strwork;

namespace {

// The name box: a combo box that says when its list is about to drop down.
class TableNameBox : public QComboBox
{
public:
    using QComboBox::QComboBox;
    std::function<void()> OnDropDown;

    void showPopup() override
    {
        if (OnDropDown)
            OnDropDown();
        QComboBox::showPopup();
    }
};

QIcon checkImage(const DataSet& record, const QString& fieldName)
{
    return StrEditImage(record.fieldByName(fieldName)->asBoolean() ? 2 : 3);
}

// What the buttons of a page go by: whether the set has a current row, is inserting one, and
// the row's mark; revert is for a row altered, dropped or being inserted, drop for a stored row
// not dropped yet.
struct CurrentRow
{
    explicit CurrentRow(const DataSet& d)
        : rows(d.isActive() && !d.isEmpty()), inserting(d.state() == DataSet::State::Insert),
          mark(rows || inserting ? Mark(d) : QString())
    {
    }
    bool any() const { return rows || inserting; }
    bool revertible() const { return mark == MarkAltered || mark == MarkDropped || inserting; }
    bool droppable() const { return rows && mark != MarkDropped && !inserting; }

    bool rows;
    bool inserting;
    QString mark;
};

QLabel* caption(QLabel* label, const QString& text)
{
    label->setText(text);
    return label;
}

} // namespace

QUORVANE_FORM(TTableStrEditDlg);

TTableStrEditDlg::TTableStrEditDlg(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnClose = [this](QObject* sender, TCloseAction& action) { FormClose(sender, action); };
    OnDestroy = [this](QObject* sender) { FormDestroy(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
    Engine.SetView(this);
}

TTableStrEditDlg::~TTableStrEditDlg()
{
    Engine.SetView(nullptr);
}

// ---- components

QToolButton* TTableStrEditDlg::toolButton(const char* name, int image, const QString& hint,
                                          QWidget* bar)
{
    auto* button = makeComponent<QToolButton>(name, "TToolButton", bar);
    button->setIcon(StrEditImage(image));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    static_cast<QToolBar*>(bar)->addWidget(button);
    return button;
}

void TTableStrEditDlg::createComponents()
{
    setCaption(QStringLiteral("Edit table structure"));
    bOK = makeComponent<QPushButton>("bOK", "TButton");
    bOK->setText(QStringLiteral("OK"));
    CancelButton = makeComponent<QPushButton>("CancelButton", "TButton");
    CancelButton->setText(QStringLiteral("Cancel"));
    pReadOnly = makeComponent<QFrame>("pReadOnly", "TPanel");
    imMTF = makeComponent<QLabel>("imMTF", "TImage", pReadOnly);
    imMTF->setPixmap(StrEditWarningImage().pixmap(32, 32));
    lReadOnly = makeComponent<QLabel>("lReadOnly", "TLabel", pReadOnly);
    lReadOnly->setText(QStringLiteral("Warning - saving is dissabled designing version (%d) is "
                                      "less or equal to current database version (%d)"));
    lReadOnly->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lReadOnly->setWordWrap(true);
    pReadOnly->hide();

    PC = makeComponent<QTabWidget>("PC", "TPageControl");
    createTablePage();
    createFieldsPage();
    createIndexesPage();
    createLinksPage();
    pgInsTrig = createTriggerPage("pgInsTrig", "Ins", lInsHead, mInsHead, lInsBody, mInsBody);
    pgUpdTrig = createTriggerPage("pgUpdTrig", "Upd", lUpdHead, mUpdHead, lUpdBody, mUpdBody);
    pgDelTrig = createTriggerPage("pgDelTrig", "Del", lDelHead, mDelHead, lDelBody, mDelBody);
    PC->addTab(pgTable, QStringLiteral("Table"));
    PC->addTab(pgFields, QStringLiteral("Fields"));
    PC->addTab(pgInd, QStringLiteral("Indexes"));
    PC->addTab(pgLink, QStringLiteral("Links"));
    PC->addTab(pgInsTrig, QStringLiteral("Insert trigger"));
    PC->addTab(pgUpdTrig, QStringLiteral("Update trigger"));
    PC->addTab(pgDelTrig, QStringLiteral("Delete trigger"));
}

void TTableStrEditDlg::createTablePage()
{
    pgTable = makeComponent<QWidget>("pgTable", "TTabSheet");
    lTName =
        caption(makeComponent<QLabel>("lTName", "TLabel", pgTable), QStringLiteral("Table name"));
    auto* box = makeComponent<TableNameBox>("fTName", "TDBComboBox", pgTable);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::InsertAlphabetically);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(30);
    fTName = box;
    lTName->setBuddy(fTName);
    lNewName =
        caption(makeComponent<QLabel>("lNewName", "TLabel", pgTable), QStringLiteral("New name"));
    fNewName = makeComponent<QLineEdit>("fNewName", "TDBEdit", pgTable);
    fNewName->setMaxLength(30);
    lNewName->setBuddy(fNewName);
    fAction = makeComponent<QGroupBox>("fAction", "TRadioGroup", pgTable);
    fAction->setTitle(QStringLiteral("Action"));
    fActionCreate = new QRadioButton(QStringLiteral("CREATE"), fAction);
    fActionAlter = new QRadioButton(QStringLiteral("ALTER"), fAction);
    fAction->setEnabled(false);
    fAction->hide();
    lCustom =
        caption(makeComponent<QLabel>("lCustom", "TLabel", pgTable), QStringLiteral("Custom"));
    fCustom = makeComponent<QPlainTextEdit>("fCustom", "TDBMemo", pgTable);
    lCustom->setBuddy(fCustom);
    cbRepl = makeComponent<QCheckBox>("cbRepl", "TDBCheckBox", pgTable);
    cbRepl->setText(QStringLiteral("ENABLE REPLICATION"));
    bGetTable = makeComponent<QPushButton>("bGetTable", "TButton", pgTable);
    bGetTable->setText(QStringLiteral("Assign existing table structure"));
    bGetTable->setAutoDefault(false);
    mTables = makeComponent<QMenu>("mTables", "TPopupMenu", this);
}

void TTableStrEditDlg::createFieldsPage()
{
    pgFields = makeComponent<QWidget>("pgFields", "TTabSheet");
    tbFields = makeComponent<QToolBar>("tbFields", "TToolBar", pgFields);
    tbNewFld = toolButton("tbNewFld", 0, QStringLiteral("Add column"), tbFields);
    tbDelFld = toolButton("tbDelFld", 5, QStringLiteral("Drop column"), tbFields);
    tbRevFld = toolButton("tbRevFld", 6, QStringLiteral("Revert column"), tbFields);
    tbUp = toolButton("tbUp", 7, QStringLiteral("Move column up"), tbFields);
    tbUp->setProperty("Tag", -2);
    tbDown = toolButton("tbDown", 8, QStringLiteral("Move column down"), tbFields);
    tbDown->setProperty("Tag", 1);
    tbRestFld = toolButton("tbRestFld", 10, QStringLiteral("Undo changes"), tbFields);
    tbFields->addSeparator();
    tbCustom = toolButton("tbCustom", 13, QStringLiteral("Custom data editor "), tbFields);
    gFields = makeComponent<TDBGrid>("gFields", "TDBGrid", pgFields);
    pFldCustom =
        caption(makeComponent<QLabel>("pFldCustom", "TPanel", pgFields), QStringLiteral("Custom"));
    mFldCustom = makeComponent<QPlainTextEdit>("mFldCustom", "TDBMemo", pgFields);
    mFldCustom->setMaximumHeight(mFldCustom->fontMetrics().lineSpacing() * 5);
}

void TTableStrEditDlg::createIndexesPage()
{
    pgInd = makeComponent<QWidget>("pgInd", "TTabSheet");
    tbInd = makeComponent<QToolBar>("tbInd", "TToolBar", pgInd);
    tbNewInd = toolButton("tbNewInd", 0, QStringLiteral("Add index"), tbInd);
    tbDelInd = toolButton("tbDelInd", 5, QStringLiteral("Drop index"), tbInd);
    tbRevInd = toolButton("tbRevInd", 6, QStringLiteral("Revert index"), tbInd);
    tbRestInd = toolButton("tbRestInd", 10, QStringLiteral("Undo changes"), tbInd);
    gInd = makeComponent<TDBGrid>("gInd", "TDBGrid", pgInd);
    lIndList = caption(makeComponent<QLabel>("lIndList", "TLabel", pgInd),
                       QStringLiteral("Index Members"));
    IndList = makeComponent<QListWidget>("IndList", "TListBox", pgInd);
    IndList->setDragEnabled(true);
    IndList->setAcceptDrops(true);
    IndList->setDragDropMode(QAbstractItemView::DragDrop);
    IndList->setDefaultDropAction(Qt::CopyAction);
    lSrcList = caption(makeComponent<QLabel>("lSrcList", "TLabel", pgInd),
                       QStringLiteral("Available Fields"));
    SrcList = makeComponent<QListWidget>("SrcList", "TListBox", pgInd);
    const auto arrowButton = [this](const char* name, Qt::ArrowType arrow, const QString& hint) {
        auto* b = makeComponent<QToolButton>(name, "TSpeedButton", pgInd);
        b->setArrowType(arrow);
        b->setToolTip(hint);
        return b;
    };
    bIn = arrowButton("bIn", Qt::LeftArrow, QStringLiteral("Add to the index"));
    bOut = arrowButton("bOut", Qt::RightArrow, QStringLiteral("Take out of the index"));
    bUp = arrowButton("bUp", Qt::UpArrow, QStringLiteral("Move up"));
    bDown = arrowButton("bDown", Qt::DownArrow, QStringLiteral("Move down"));
    bUp->setEnabled(false);
    bDown->setEnabled(false);
}

void TTableStrEditDlg::createLinksPage()
{
    pgLink = makeComponent<QWidget>("pgLink", "TTabSheet");
    tbLink = makeComponent<QToolBar>("tbLink", "TToolBar", pgLink);
    tbNewLink = toolButton("tbNewLink", 0, QStringLiteral("Add link"), tbLink);
    tbDelLink = toolButton("tbDelLink", 5, QStringLiteral("Drop link"), tbLink);
    tbRevLink = toolButton("tbRevLink", 6, QStringLiteral("Revert link"), tbLink);
    tbRestLink = toolButton("tbRestLink", 10, QStringLiteral("Undo changes"), tbLink);
    gLink = makeComponent<TDBGrid>("gLink", "TDBGrid", pgLink);
    pLinkCustom =
        caption(makeComponent<QLabel>("pLinkCustom", "TPanel", pgLink), QStringLiteral("Custom"));
    mLinkCustom = makeComponent<QPlainTextEdit>("mLinkCustom", "TDBMemo", pgLink);
    mLinkCustom->setMaximumHeight(mLinkCustom->fontMetrics().lineSpacing() * 5);
}

QWidget* TTableStrEditDlg::createTriggerPage(const char* page, const char* prefix,
                                             QLabel*& headLabel, QPlainTextEdit*& head,
                                             QLabel*& bodyLabel, QPlainTextEdit*& body)
{
    auto* sheet = makeComponent<QWidget>(page, "TTabSheet");
    const QByteArray p(prefix);
    headLabel = caption(makeComponent<QLabel>(("l" + p + "Head").constData(), "TLabel", sheet),
                        QStringLiteral("Variables"));
    head = makeComponent<QPlainTextEdit>(("m" + p + "Head").constData(), "TDBMemo", sheet);
    head->setMaximumHeight(head->fontMetrics().lineSpacing() * 6);
    bodyLabel = caption(makeComponent<QLabel>(("l" + p + "Body").constData(), "TLabel", sheet),
                        QStringLiteral("Script"));
    body = makeComponent<QPlainTextEdit>(("m" + p + "Body").constData(), "TDBMemo", sheet);
    for (QPlainTextEdit* memo : {head, body}) {
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    }
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(headLabel);
    layout->addWidget(head);
    layout->addWidget(bodyLabel);
    layout->addWidget(body, 1);
    return sheet;
}

void TTableStrEditDlg::layoutComponents()
{
    auto* table = new QGridLayout(pgTable);
    table->addWidget(lTName, 0, 0);
    table->addWidget(fTName, 0, 1);
    table->addWidget(bGetTable, 0, 2);
    table->addWidget(lNewName, 1, 0);
    table->addWidget(fNewName, 1, 1);
    table->addWidget(cbRepl, 1, 2);
    table->addWidget(fAction, 2, 0, 1, 3);
    auto* actions = new QHBoxLayout(fAction);
    actions->addWidget(fActionCreate);
    actions->addWidget(fActionAlter);
    table->addWidget(lCustom, 3, 0, 1, 3);
    table->addWidget(fCustom, 4, 0, 1, 3);
    table->setRowStretch(4, 1);
    table->setColumnStretch(1, 1);

    auto* fields = new QVBoxLayout(pgFields);
    fields->addWidget(tbFields);
    fields->addWidget(gFields, 1);
    fields->addWidget(pFldCustom);
    fields->addWidget(mFldCustom);

    auto* moves = new QVBoxLayout;
    moves->addStretch();
    for (QToolButton* b : {bIn, bOut, bUp, bDown})
        moves->addWidget(b);
    moves->addStretch();
    auto* lists = new QGridLayout;
    lists->addWidget(lIndList, 0, 0);
    lists->addWidget(IndList, 1, 0);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(lSrcList, 0, 2);
    lists->addWidget(SrcList, 1, 2);
    auto* indexes = new QVBoxLayout(pgInd);
    indexes->addWidget(tbInd);
    indexes->addWidget(gInd, 1);
    indexes->addLayout(lists, 1);

    auto* links = new QVBoxLayout(pgLink);
    links->addWidget(tbLink);
    links->addWidget(gLink, 1);
    links->addWidget(pLinkCustom);
    links->addWidget(mLinkCustom);

    auto* warning = new QHBoxLayout(pReadOnly);
    warning->addWidget(imMTF);
    warning->addWidget(lReadOnly, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOK);
    buttons->addWidget(CancelButton);

    auto* all = new QVBoxLayout(this);
    all->addWidget(pReadOnly);
    all->addWidget(PC, 1);
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setDesignedSize(686, 480);
}

void TTableStrEditDlg::connectHandlers()
{
    KeyPreview = true;
    DefaultButton = bOK;
    TForm::CancelButton = CancelButton;
    connect(bOK, &QPushButton::clicked, this, [this] { bOKClick(bOK); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
    connect(PC, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_settingPage) {
            m_page = index;
            return;
        }
        bool allow = true;
        try {
            if (m_page == PC->indexOf(pgTable))
                PCChanging(PC, allow);
        } catch (const std::exception& e) {
            allow = false;
            Application::handleException(PC, e);
        }
        if (!allow) {
            const QScopedValueRollback<bool> setting(m_settingPage, true);
            PC->setCurrentIndex(m_page);
            return;
        }
        m_page = index;
        try {
            PCChange(PC);
        } catch (const std::exception& e) {
            Application::handleException(PC, e);
        }
    });
    connectTablePage();
    connectGrids();
    connectIndexMembers();
    connect(tbNewFld, &QToolButton::clicked, this, [this] { tbNewFldClick(tbNewFld); });
    connect(tbDelFld, &QToolButton::clicked, this, [this] { tbDelFldClick(tbDelFld); });
    connect(tbRevFld, &QToolButton::clicked, this, [this] { tbRevFldClick(tbRevFld); });
    connect(tbUp, &QToolButton::clicked, this, [this] { tbUpClick(tbUp); });
    connect(tbDown, &QToolButton::clicked, this, [this] { tbUpClick(tbDown); });
    connect(tbRestFld, &QToolButton::clicked, this, [this] { tbRestFldClick(tbRestFld); });
    connect(tbCustom, &QToolButton::clicked, this, [this] { tbCustomClick(tbCustom); });
    connect(tbNewInd, &QToolButton::clicked, this, [this] { tbNewIndClick(tbNewInd); });
    connect(tbDelInd, &QToolButton::clicked, this, [this] { tbDelIndClick(tbDelInd); });
    connect(tbRevInd, &QToolButton::clicked, this, [this] { tbRevIndClick(tbRevInd); });
    connect(tbRestInd, &QToolButton::clicked, this, [this] { tbRestIndClick(tbRestInd); });
    connect(tbNewLink, &QToolButton::clicked, this, [this] { tbNewLinkClick(tbNewLink); });
    connect(tbDelLink, &QToolButton::clicked, this, [this] { tbDelLinkClick(tbDelLink); });
    connect(tbRevLink, &QToolButton::clicked, this, [this] { tbRevLinkClick(tbRevLink); });
    connect(tbRestLink, &QToolButton::clicked, this, [this] { tbRestLinkClick(tbRestLink); });
}

void TTableStrEditDlg::connectTablePage()
{
    auto* box = static_cast<TableNameBox*>(fTName);
    box->OnDropDown = [this] { fTNameDropDown(fTName); };
    connect(fTName, &QComboBox::editTextChanged, this, [this] { fTNameChange(fTName); });
    connect(fTName, &QComboBox::activated, this, [this] { flushTableName(); });
    connect(fTName->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        flushTableName();
        fTNameExit(fTName);
    });
    for (QRadioButton* b : {fActionCreate, fActionAlter}) {
        connect(b, &QRadioButton::pressed, this, [this] { fActionEnter(fAction); });
        connect(b, &QRadioButton::clicked, this, [this] { fActionClick(fAction); });
    }
    connect(bGetTable, &QPushButton::clicked, this, [this] { bGetTableClick(bGetTable); });
    BindEdit(fNewName, &Engine.TTable, QStringLiteral("NEW_NAME"));
    BindMemo(fCustom, &Engine.TTable, QStringLiteral("CUSTOM"));
    BindCheckBox(cbRepl, &Engine.TTable, QStringLiteral("REPL"));
    BindMemo(mInsHead, &Engine.TTable, QStringLiteral("INSERT_HEAD"));
    BindMemo(mInsBody, &Engine.TTable, QStringLiteral("INSERT_BODY"));
    BindMemo(mUpdHead, &Engine.TTable, QStringLiteral("UPDATE_HEAD"));
    BindMemo(mUpdBody, &Engine.TTable, QStringLiteral("UPDATE_BODY"));
    BindMemo(mDelHead, &Engine.TTable, QStringLiteral("DELETE_HEAD"));
    BindMemo(mDelBody, &Engine.TTable, QStringLiteral("DELETE_BODY"));
    // The name box shows the table row's name, and the page its action.
    new DataSetWatcher(
        &Engine.TTable,
        [this] {
            const QString name =
                Engine.TTable.isActive() && !Engine.TTable.isEmpty()
                    ? Engine.TTable.fieldByName(QStringLiteral("TABLE_NAME"))->asString()
                    : QString();
            if (!fTName->hasFocus() && fTName->currentText() != name)
                fTName->setEditText(name);
            applyActionLook();
        },
        this);
}

void TTableStrEditDlg::connectGrids()
{
    gFields->setDataSet(&Engine.TFields);
    gFields->CanEditColumn = [this](const QString& f) { return gFieldsColEnter(f); };
    gFields->CellImage = [this](const DataSet& r, const QString& f) {
        return gFieldsDrawColumnCell(r, f);
    };
    gFields->OnCellClick = [this](const QString& f) { gFieldsCellClick(f); };
    gFields->OnKeyDown = [this](int key, Qt::KeyboardModifiers shift, bool& handled) {
        int k = key;
        gFieldsKeyDown(gFields, k, shift);
        handled = k != key;
    };
    gInd->setDataSet(&Engine.TInd);
    gInd->CanEditColumn = [this](const QString& f) { return gIndColEnter(f); };
    gInd->CellImage = [this](const DataSet& r, const QString& f) {
        return gIndDrawColumnCell(r, f);
    };
    gInd->OnCellClick = [this](const QString& f) { gIndCellClick(f); };
    gInd->OnKeyDown = [this](int key, Qt::KeyboardModifiers shift, bool& handled) {
        int k = key;
        gIndKeyDown(gInd, k, shift);
        handled = k != key;
    };
    gLink->setDataSet(&Engine.TLink);
    gLink->CanEditColumn = [this](const QString& f) { return gLinkColEnter(f); };
    gLink->CellImage = [this](const DataSet& r, const QString& f) {
        return gLinkDrawColumnCell(r, f);
    };
    BindMemo(mFldCustom, &Engine.TFields, QStringLiteral("CUSTOM"));
    BindMemo(mLinkCustom, &Engine.TLink, QStringLiteral("CUSTOM"));
    new DataSetWatcher(
        &Engine.TFields, [this] { DSFieldsDataChange(gFields); }, this);
    new DataSetWatcher(
        &Engine.TInd, [this] { DSIndDataChange(gInd); }, this);
    new DataSetWatcher(
        &Engine.TLink, [this] { DSLinkDataChange(gLink); }, this);
}

void TTableStrEditDlg::connectIndexMembers()
{
    // Dragging a member onto another moves it there; any drop is accepted.
    EventHook::Install(IndList->viewport(), [this](QEvent* event) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            bool accept = false;
            IndListDragOver(IndList, accept);
            // The list's own drag only moves a member: nothing leaves the list.
            drag->setDropAction(Qt::CopyAction);
            drag->setAccepted(accept);
            return true;
        }
        if (event->type() != QEvent::Drop)
            return false;
        auto* drop = static_cast<QDropEvent*>(event);
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        const QListWidgetItem* target = IndList->itemAt(drop->position().toPoint());
        IndListDragDrop(IndList, target ? IndList->row(target) : -1);
        return true;
    });
    EventHook::Install(IndList, [this](QEvent* event) {
        if (event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent*>(event)->key() != Qt::Key_Delete)
            return false;
        bOutClick(IndList);
        return true;
    });
    connect(IndList, &QListWidget::currentRowChanged, this, [this] { IndListClick(IndList); });
    connect(IndList, &QListWidget::itemDoubleClicked, this, [this] { bOutClick(IndList); });
    connect(SrcList, &QListWidget::itemDoubleClicked, this, [this] { bInClick(SrcList); });
    connect(bIn, &QToolButton::clicked, this, [this] { bInClick(bIn); });
    connect(bOut, &QToolButton::clicked, this, [this] { bOutClick(bOut); });
    connect(bUp, &QToolButton::clicked, this, [this] { bUpClick(bUp); });
    connect(bDown, &QToolButton::clicked, this, [this] { bUpClick(bDown); });
}

// ---- the engine's view

bool TTableStrEditDlg::FormVisible() const
{
    return isVisible();
}

void TTableStrEditDlg::ShowPage(TStrPage page)
{
    QWidget* const pages[] = {pgTable, pgFields, pgInd, pgLink};
    const QScopedValueRollback<bool> setting(m_settingPage, true);
    PC->setCurrentWidget(pages[page]);
}

void TTableStrEditDlg::FocusControl(const QString& control, const QString& field)
{
    auto* widget = qobject_cast<QWidget*>(findComponent(control));
    if (!widget)
        return;
    if (auto* grid = qobject_cast<TDBGrid*>(widget); grid && !field.isEmpty())
        grid->SetSelectedField(field);
    widget->setFocus();
}

void TTableStrEditDlg::ErrorBox(const QString& message)
{
    ErrorMsg(message);
}

void TTableStrEditDlg::ShowTriggerPages(bool visible)
{
    for (QWidget* page : {pgInsTrig, pgUpdTrig, pgDelTrig})
        PC->setTabVisible(PC->indexOf(page), visible);
}

// ---- the form and page Table

void TTableStrEditDlg::LoadStructure(TTableStruct& Struct)
{
    Engine.LoadStructure(Struct);
    applyActionLook();
}

void TTableStrEditDlg::FormCreate(QObject*)
{
    ShowPage(::pgTable);
    gFields->setColumns({{QStringLiteral("UA"), QStringLiteral(" *  "), 0, {}},
                         {QStringLiteral("NEW_NAME"), QStringLiteral("Field name"), 291, {}},
                         {QStringLiteral("DT"), QStringLiteral("Data type"), 130,
                          TTableStrEngine::DataTypeCaptions(), 15},
                         {QStringLiteral("SIZE"), QStringLiteral("Size"), 0, {}},
                         {QStringLiteral("PREC"), QStringLiteral("Prec."), 0, {}},
                         {QStringLiteral("REQUIRED"), QStringLiteral("Required"), 0, {}},
                         {QStringLiteral("HIDDEN"), QStringLiteral("Hidden"), 0, {}}});
    gInd->setColumns({{QStringLiteral("UA"), QStringLiteral(" *"), 0, {}},
                      {QStringLiteral("NEW_NAME"), QStringLiteral("Name"), 200, {}},
                      {QStringLiteral("UNIQUE"), QStringLiteral("Unique"), 0, {}},
                      {QStringLiteral("CLASTERED"), QStringLiteral("Clastered"), 0, {}}});
    gLink->setColumns(
        {{QStringLiteral("UA"), QStringLiteral(" * "), 0, {}},
         {QStringLiteral("MASTER"), QStringLiteral("Master table"), 160, {}},
         {QStringLiteral("ACT"), QStringLiteral("Delete action"), 100,
          TTableStrEngine::DeleteActionCaptions()},
         {QStringLiteral("REFERENCE"), QStringLiteral("Master fields"), 160, {}, 7, true}});
}

void TTableStrEditDlg::FormShow(QObject*)
{
    applyCaption();
}

void TTableStrEditDlg::FormClose(QObject*, TCloseAction&)
{
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
}

void TTableStrEditDlg::FormDestroy(QObject*)
{
    // The engine's lists go with it.
}

void TTableStrEditDlg::applyCaption()
{
    QString text = Engine.ActionIndex() == uaAlter ? QStringLiteral("Alter table")
                                                   : QStringLiteral("New table");
    if (!fTName->currentText().isEmpty())
        text += QStringLiteral(" - [") + fTName->currentText() + QLatin1Char(']');
    setCaption(text);
}

void TTableStrEditDlg::applyActionLook()
{
    const bool alter = Engine.ActionIndex() == uaAlter;
    fNewName->setEnabled(alter);
    QPalette palette = fNewName->palette();
    palette.setColor(QPalette::Base, alter ? QColor(Qt::white) : QColor(192, 192, 192));
    fNewName->setPalette(palette);
    bGetTable->setVisible(Engine.ActionIndex() == uaCreate);
    fActionCreate->setChecked(Engine.ActionIndex() == uaCreate);
    fActionAlter->setChecked(alter);
    applyCaption();
}

void TTableStrEditDlg::flushTableName()
{
    if (!Engine.TTable.isActive() || Engine.TTable.isEmpty())
        return;
    Field* name = Engine.TTable.fieldByName(QStringLiteral("TABLE_NAME"));
    if (name->asString() == fTName->currentText())
        return;
    try {
        if (Engine.TTable.state() == DataSet::State::Browse)
            Engine.TTable.edit();
        name->setAsString(fTName->currentText());
    } catch (const std::exception& e) {
        Application::handleException(fTName, e);
    }
}

void TTableStrEditDlg::PCChanging(QObject*, bool& AllowChange)
{
    if (fTName->currentText().isEmpty()) {
        ErrorMsg(QStringLiteral("Table name is required."));
        AllowChange = false;
        return;
    }
    flushTableName();
    if (Engine.ActionIndex() == uaAlter)
        AllowChange = !Engine.T.tableName().isEmpty();
}

void TTableStrEditDlg::PCChange(QObject*)
{
    Engine.PCChange();
    if (PC->currentWidget() == pgInd)
        RefillMemberLists();
}

void TTableStrEditDlg::fTNameChange(QObject*)
{
    Engine.TableNameBox = fTName->currentText();
    applyCaption();
}

void TTableStrEditDlg::fTNameDropDown(QObject*)
{
    const QString text = fTName->currentText();
    const QSignalBlocker quiet(fTName);
    if (Engine.ActionIndex() == uaCreate) {
        fTName->clear();
    } else if (fTName->count() == 0) {
        QStringList names = Engine.TableList;
        names.sort(Qt::CaseInsensitive);
        fTName->addItems(names);
    }
    fTName->setEditText(text);
}

void TTableStrEditDlg::fTNameExit(QObject*)
{
}

void TTableStrEditDlg::fActionEnter(QObject*)
{
    // The engine remembers the action it leaves.
}

void TTableStrEditDlg::fActionClick(QObject*)
{
    Engine.SetActionIndex(fActionAlter->isChecked() ? uaAlter : uaCreate);
    applyActionLook();
}

void TTableStrEditDlg::bGetTableClick(QObject*)
{
    mTables->clear();
    for (const QString& name : std::as_const(Engine.UserTableList)) {
        QAction* item = mTables->addAction(name);
        connect(item, &QAction::triggered, this, [this, item] { mCopyTableClick(item); });
    }
    mTables->popup(bGetTable->mapToGlobal(QPoint(0, 0)));
}

void TTableStrEditDlg::mCopyTableClick(QAction* Sender)
{
    const QString name = Sender->text();
    {
        const QSignalBlocker quiet(fTName);
        fTName->setEditText(name);
    }
    Engine.mCopyTableClick(name);
    applyCaption();
}

void TTableStrEditDlg::bOKClick(QObject*)
{
    flushTableName();
    bool valid = false;
    {
        ControlsOff fields(Engine.TFields);
        ControlsOff links(Engine.TLink);
        valid = Engine.ValidateStructure(false);
        if (valid) {
            PostIfEditing(Engine.TTable);
            Engine.TTable.edit();
            Engine.AssignStructure();
            if (Engine.SourceStruct)
                Engine.SourceStruct->Assign(Engine.TS);
            const QSignalBlocker quiet(fTName);
            fTName->setEditText(QString());
            Engine.TableNameBox.clear();
        }
    }
    if (valid)
        setModalResult(mrOk);
}

// ---- page Fields

void TTableStrEditDlg::tbNewFldClick(QObject*)
{
    Engine.tbNewFldClick();
}

void TTableStrEditDlg::gFieldsKeyDown(QObject*, int& Key, Qt::KeyboardModifiers)
{
    if (Key == Qt::Key_Insert) {
        Key = 0;
        Engine.gFieldsInsertKey();
    } else if (Key == Qt::Key_Space) {
        Key = 0;
        gFieldsCellClick(gFields->SelectedField());
    }
}

void TTableStrEditDlg::tbDelFldClick(QObject*)
{
    Engine.tbDelFldClick();
}

void TTableStrEditDlg::tbRevFldClick(QObject*)
{
    Engine.tbRevFldClick();
}

void TTableStrEditDlg::tbRestFldClick(QObject*)
{
    Engine.tbRestFldClick();
}

void TTableStrEditDlg::tbUpClick(QObject* Sender)
{
    if (Sender == tbDown)
        Engine.tbDownClick();
    else
        Engine.tbUpClick();
}

void TTableStrEditDlg::tbCustomClick(QObject*)
{
    ShowCustomEditor(*this);
}

void TTableStrEditDlg::DSFieldsDataChange(QObject*)
{
    DataSet& f = Engine.TFields;
    const CurrentRow row(f);
    const int link = row.any() ? I(f, "LINK_ID") : 0;
    const int order = row.rows ? I(f, "ORDER") : 0;
    // A dropped field of a link comes back with its link.
    tbRevFld->setEnabled(row.revertible() && !(row.mark == MarkDropped && link != 0));
    tbUp->setEnabled(order > 1);
    tbDown->setEnabled(row.rows && order < f.recordCount());
    tbDelFld->setEnabled(row.droppable() && link == 0);
    gFields->ReadOnly = row.mark == MarkDropped;
    mFldCustom->setReadOnly(row.mark == MarkDropped || !row.any());
}

bool TTableStrEditDlg::gFieldsColEnter(const QString& FieldName)
{
    static const QStringList fixed{QStringLiteral("UA"), QStringLiteral("REQUIRED"),
                                   QStringLiteral("HIDDEN")};
    if (HasName(fixed, FieldName))
        return false;
    const int type = I(Engine.TFields, "DATATYPE");
    if (sameName(FieldName, QStringLiteral("SIZE")))
        return type == dtString || type == dtNumeric || type == dtLangString;
    if (sameName(FieldName, QStringLiteral("PREC")))
        return type == dtNumeric;
    return true;
}

void TTableStrEditDlg::gFieldsCellClick(const QString& FieldName)
{
    Engine.gFieldsCellClick(FieldName);
}

QIcon TTableStrEditDlg::markImage(const DataSet& Record, bool links) const
{
    if (links && I(Record, "LINK_ID") != 0)
        return StrEditImage(12);
    const QString mark = Mark(Record);
    if (mark == MarkNew)
        return Engine.ActionIndex() == uaAlter ? StrEditImage(9) : QIcon();
    if (mark == MarkAltered)
        return StrEditImage(4);
    if (mark == MarkDropped)
        return StrEditImage(5);
    return QIcon();
}

QIcon TTableStrEditDlg::gFieldsDrawColumnCell(const DataSet& Record, const QString& FieldName) const
{
    if (FieldName == QLatin1String("UA"))
        return markImage(Record, true);
    if (FieldName == QLatin1String("REQUIRED") || FieldName == QLatin1String("HIDDEN"))
        return checkImage(Record, FieldName);
    return QIcon();
}

// ---- page Indexes

void TTableStrEditDlg::tbNewIndClick(QObject*)
{
    Engine.tbNewIndClick();
}

void TTableStrEditDlg::tbDelIndClick(QObject*)
{
    Engine.tbDelIndClick();
}

void TTableStrEditDlg::tbRevIndClick(QObject*)
{
    Engine.tbRevIndClick();
}

void TTableStrEditDlg::tbRestIndClick(QObject*)
{
    Engine.tbRestIndClick();
}

void TTableStrEditDlg::DSIndDataChange(QObject*)
{
    const CurrentRow row(Engine.TInd);
    const bool key = row.any() && B(Engine.TInd, "PK");
    tbRevInd->setEnabled(row.revertible());
    tbDelInd->setEnabled(row.droppable() && !key);
    gInd->ReadOnly = key || row.mark == MarkDropped;
    // The member lists follow the current index, except while the dialog stores them.
    if (!m_storingMembers && PC->currentWidget() == pgInd)
        RefillMemberLists();
}

bool TTableStrEditDlg::gIndColEnter(const QString& FieldName)
{
    return sameName(FieldName, QStringLiteral("NEW_NAME")) && !B(Engine.TInd, "PK");
}

void TTableStrEditDlg::gIndCellClick(const QString& FieldName)
{
    Engine.gIndCellClick(FieldName);
}

void TTableStrEditDlg::gIndKeyDown(QObject*, int& Key, Qt::KeyboardModifiers)
{
    if (Key == Qt::Key_Space) {
        Key = 0;
        gIndCellClick(gInd->SelectedField());
    }
}

QIcon TTableStrEditDlg::gIndDrawColumnCell(const DataSet& Record, const QString& FieldName) const
{
    if (FieldName == QLatin1String("UA"))
        return markImage(Record, false);
    if (FieldName == QLatin1String("UNIQUE") || FieldName == QLatin1String("CLASTERED"))
        return checkImage(Record, FieldName);
    return QIcon();
}

QStringList TTableStrEditDlg::members() const
{
    QStringList names;
    for (int i = 0; i < IndList->count(); ++i)
        names.append(IndList->item(i)->text());
    return names;
}

void TTableStrEditDlg::RefillMemberLists()
{
    DataSet& ind = Engine.TInd;
    const bool row = ind.isActive() && (!ind.isEmpty() || ind.state() == DataSet::State::Insert);
    const QStringList current = row ? NameList(S(ind, "FIELDS")) : QStringList();
    const bool key = row && B(ind, "PK");
    const int selected = IndList->currentRow();
    const int sourceSelected = SrcList->currentRow();
    {
        const QSignalBlocker quiet(IndList);
        IndList->clear();
        IndList->addItems(current);
        IndList->setCurrentRow(
            selected >= 0 && selected < current.size() ? selected : (current.isEmpty() ? -1 : 0));
    }
    QStringList available;
    if (row) {
        DataSet& fields = Engine.TFields;
        for (const Bookmark& b : fields.bookmarks()) {
            fields.viewRecord(b, [&] {
                const int type = I(fields, "DATATYPE");
                const QString name = S(fields, "NEW_NAME");
                if (Mark(fields) != MarkDropped && type != dtMemo && type != dtBlob &&
                    !HasName(current, name) && (!key || B(fields, "REQUIRED")))
                    available.append(name);
            });
        }
    }
    SrcList->clear();
    SrcList->addItems(available);
    if (!available.isEmpty())
        SrcList->setCurrentRow(std::clamp(sourceSelected, 0, int(available.size()) - 1));
    IndListClick(IndList);
}

void TTableStrEditDlg::IndListClick(QObject*)
{
    const int at = IndList->currentRow();
    bUp->setEnabled(at > 0);
    bDown->setEnabled(at >= 0 && at < IndList->count() - 1);
    bOut->setEnabled(IndList->count() > 0);
}

void TTableStrEditDlg::storeMembers(const QStringList& members, int selectedMember,
                                    int selectedSource, bool updating)
{
    {
        const QScopedValueRollback<bool> storing(m_storingMembers, true);
        Engine.StoreIndexMembers(members, updating);
    }
    RefillMemberLists();
    IndList->setCurrentRow(selectedMember);
    if (selectedSource >= 0 && selectedSource < SrcList->count())
        SrcList->setCurrentRow(selectedSource);
    IndListClick(IndList);
}

void TTableStrEditDlg::bInClick(QObject*)
{
    if (SrcList->count() == 0 || Engine.TInd.isEmpty())
        return;
    // Key fields go in the order of the table: only the first available one can follow.
    const int from = B(Engine.TInd, "PK") ? 0 : std::max(SrcList->currentRow(), 0);
    QStringList names = members();
    names.append(SrcList->item(from)->text());
    storeMembers(names, int(names.size()) - 1, std::max(from - 1, 0), false);
}

void TTableStrEditDlg::bOutClick(QObject*)
{
    const int at = IndList->currentRow();
    if (at < 0)
        return;
    QStringList names = members();
    names.removeAt(at);
    storeMembers(names, std::max(at - 1, 0), SrcList->currentRow(), false);
}

void TTableStrEditDlg::bUpClick(QObject* Sender)
{
    const int at = IndList->currentRow();
    const int to = Sender == bDown ? at + 1 : at - 1;
    if (at < 0 || to < 0 || to >= IndList->count())
        return;
    QStringList names = members();
    names.swapItemsAt(at, to);
    storeMembers(names, to, SrcList->currentRow(), true);
}

void TTableStrEditDlg::IndListDragOver(QObject*, bool& Accept)
{
    Accept = true;
}

void TTableStrEditDlg::IndListDragDrop(QObject*, int TargetRow)
{
    const int from = IndList->currentRow();
    QStringList names = members();
    if (from < 0 || names.isEmpty())
        return;
    const int to = TargetRow < 0 || TargetRow >= names.size() ? int(names.size()) - 1 : TargetRow;
    names.move(from, to);
    // A reorder by drag and drop is kept, as one by the move buttons is.
    storeMembers(names, to, SrcList->currentRow(), true);
}

// ---- page Links

void TTableStrEditDlg::tbNewLinkClick(QObject*)
{
    const QScopedValueRollback<bool> open(Engine.LinkDialogOpen, true);
    gLink->SetSelectedField(QStringLiteral("MASTER"));
    auto* dialog = CreateForm<TfNewLink>();
    const auto free = qScopeGuard([dialog] { dialog->Free(); });
    dialog->setCaption(fTName->currentText() + QStringLiteral(" - [create link]"));
    QStringList masters = Engine.TableList;
    masters.sort(Qt::CaseInsensitive);
    dialog->fTList->addItems(masters);
    dialog->Init(*this);
    dialog->ShowModal();
}

void TTableStrEditDlg::tbDelLinkClick(QObject*)
{
    Engine.tbDelLinkClick();
}

void TTableStrEditDlg::tbRevLinkClick(QObject*)
{
    Engine.tbRevLinkClick();
}

void TTableStrEditDlg::tbRestLinkClick(QObject*)
{
    Engine.tbRestLinkClick();
}

void TTableStrEditDlg::DSLinkDataChange(QObject*)
{
    const CurrentRow row(Engine.TLink);
    tbRevLink->setEnabled(row.revertible());
    tbDelLink->setEnabled(row.droppable());
    // Nothing to edit past the last link.
    gLink->ReadOnly = !row.rows;
    mLinkCustom->setReadOnly(row.mark == MarkDropped || !row.any());
}

bool TTableStrEditDlg::gLinkColEnter(const QString& FieldName)
{
    return sameName(FieldName, QStringLiteral("ACT"));
}

QIcon TTableStrEditDlg::gLinkDrawColumnCell(const DataSet& Record, const QString& FieldName) const
{
    return FieldName == QLatin1String("UA") ? markImage(Record, false) : QIcon();
}
