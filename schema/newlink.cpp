// The new link dialog: choosing the master, pairing its key fields, and writing the fields and
// the link into the structure editor's work sets.
#include "newlink.h"

#include "dbcontrols.h"
#include "schemawork.h"
#include "tablestreditdlg.h"
#include "tablestrwork.h"

#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

using namespace strwork;

QUORVANE_FORM(TfNewLink);

TfNewLink::TfNewLink(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnDestroy = [this](QObject* sender) { FormDestroy(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

TfNewLink::~TfNewLink() = default;

void TfNewLink::createComponents()
{
    setCaption(QStringLiteral("New link"));
    lTList = makeComponent<QLabel>("lTList", "TLabel");
    lTList->setText(QStringLiteral("Master table"));
    fTList = makeComponent<QComboBox>("fTList", "TComboBox");
    fTList->setEditable(true);
    fTList->setInsertPolicy(QComboBox::InsertAlphabetically);
    lTList->setBuddy(fTList);

    DefineWorkSet(TKeys, "TKeys",
                  {{"KEY", FieldType::String, 30},
                   {"REFERENCE", FieldType::String, 30},
                   {"STORED", FieldType::Boolean, 0},
                   {"EXISTS", FieldType::Boolean, 0}});
    TKeys.createDataSet();
    G = makeComponent<TDBGrid>("G", "TDBGrid");
    G->setDataSet(&TKeys);
    G->setColumns({{QStringLiteral("KEY"), QStringLiteral("Master key"), 122, {}},
                   {QStringLiteral("REFERENCE"), QStringLiteral("Master field"), 128, {}}});
    G->setMinimumHeight(G->horizontalHeader()->sizeHint().height() +
                        4 * G->verticalHeader()->defaultSectionSize() + 2 * G->frameWidth());

    lCustom = makeComponent<QLabel>("lCustom", "TLabel");
    lCustom->setText(QStringLiteral("Custom"));
    fCustom = makeComponent<QPlainTextEdit>("fCustom", "TMemo");
    fCustom->setMaximumHeight(fCustom->fontMetrics().lineSpacing() * 5);
    lCustom->setBuddy(fCustom);
    fReq = makeComponent<QCheckBox>("fReq", "TCheckBox");
    fReq->setText(QStringLiteral("Required"));
    fReq->setChecked(true);
    fAct = makeComponent<QGroupBox>("fAct", "TRadioGroup");
    fAct->setTitle(QStringLiteral("Delete action"));
    for (const char* item : {"None", "Cascade", "Restrict", "Set Null", "No delete"})
        fActItems.append(new QRadioButton(QLatin1String(item), fAct));
    fActItems.first()->setChecked(true);

    bOK = makeComponent<QPushButton>("bOK", "TButton");
    bOK->setText(QStringLiteral("OK"));
    bOK->setDefault(true);
    bOK->setEnabled(false);
    CancelButton = makeComponent<QPushButton>("CancelButton", "TButton");
    CancelButton->setText(QStringLiteral("Cancel"));
}

void TfNewLink::layoutComponents()
{
    auto* actions = new QGridLayout(fAct);
    for (int i = 0; i < fActItems.size(); ++i)
        actions->addWidget(fActItems.at(i), i / 4, i % 4);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOK);
    buttons->addWidget(CancelButton);

    auto* all = new QVBoxLayout(this);
    all->addWidget(lTList);
    all->addWidget(fTList);
    all->addWidget(G, 1);
    all->addWidget(lCustom);
    all->addWidget(fCustom);
    all->addWidget(fReq);
    all->addWidget(fAct);
    all->addLayout(buttons);
    setWindowFlags(Qt::Tool | Qt::WindowCloseButtonHint);
    setDesignedSize(285, 390);
}

void TfNewLink::connectHandlers()
{
    DefaultButton = bOK;
    TForm::CancelButton = CancelButton;
    connect(bOK, &QPushButton::clicked, this, [this] { bOKClick(bOK); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
    connect(fTList, &QComboBox::activated, this, [this] { fTListClick(fTList); });
    for (QObject* box : {static_cast<QObject*>(fTList), static_cast<QObject*>(fTList->lineEdit())})
        EventHook::Install(box, [this](QEvent* event) {
            if (event->type() == QEvent::FocusIn)
                fTListEnter(fTList);
            else if (event->type() == QEvent::FocusOut && !fTList->hasFocus())
                fTListExit(fTList);
            return false;
        });
    TKeys.onNewRecord = [this](DataSet& d) { TKeysNewRecord(d); };
    TKeys.beforeInsert = [this](DataSet& d) { TKeysBeforeInsert(d); };
    TKeys.beforeDelete = [this](DataSet& d) { TKeysBeforeInsert(d); };
    F(TKeys, "KEY").onChange = [this](Field& f) { TKeysKEYChange(f); };
    G->CanEditColumn = [this](const QString& f) { return GColEnter(f); };
    new DataSetWatcher(
        &TKeys, [this] { DSKeysDataChange(G); }, this);
}

int TfNewLink::ActIndex() const
{
    for (int i = 0; i < fActItems.size(); ++i) {
        if (fActItems.at(i)->isChecked())
            return i;
    }
    return -1;
}

void TfNewLink::SetActIndex(int index)
{
    if (index >= 0 && index < fActItems.size())
        fActItems.at(index)->setChecked(true);
}

void TfNewLink::Init(TTableStrEditDlg& Editor)
{
    m_editor = &Editor;
    Database* database = Editor.Engine.StructDatabase;
    QKey.setDatabase(database);
    QFields.setDatabase(database);
    T.setDatabase(database);
    SetStatement(QKey, {QStringLiteral("select KEY_FIELDS"), QStringLiteral("from METATABLE"),
                        QStringLiteral("where TABLE_NAME = :TABLE_NAME")});
    SetStatement(QFields, {QStringLiteral("select * from METAFIELD"),
                           QStringLiteral("where TABLE_NAME=:TABLE_NAME")});
    m_serverKind = database ? GetServerKind(*database) : 0;
    fReq->setChecked(Editor.Engine.ActionIndex() == uaCreate);
}

void TfNewLink::FormCreate(QObject*)
{
    m_keyFields.clear();
}

void TfNewLink::FormDestroy(QObject*)
{
    m_keyFields.clear();
}

void TfNewLink::fTListEnter(QObject*)
{
    m_lastMaster = fTList->currentText();
}

void TfNewLink::fTListExit(QObject*)
{
    const QString text = fTList->currentText();
    if (text.isEmpty() || text != m_lastMaster)
        fTListClick(fTList);
}

void TfNewLink::fTListClick(QObject*)
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    recreate(TKeys);
    const QString name = fTList->currentText();
    if (fTList->findText(name, Qt::MatchFixedString) < 0)
        return;
    m_lastMaster = name;
    m_keyFields.clear();
    QKey.close();
    QKey.paramByName(QStringLiteral("TABLE_NAME")).setAsString(name);
    QKey.open();
    if (!QKey.isEmpty())
        m_keyFields = NameList(S(QKey, "KEY_FIELDS"));
    QKey.close();
    T.setTableName(name);
    for (const QString& key : std::as_const(m_keyFields)) {
        TKeys.append();
        F(TKeys, "KEY").setAsString(key);
        F(TKeys, "STORED").setAsBoolean(true);
        TKeys.post();
    }
    TKeys.first();
}

void TfNewLink::TKeysNewRecord(DataSet&)
{
    F(TKeys, "STORED").setAsBoolean(false);
}

void TfNewLink::TKeysBeforeInsert(DataSet&)
{
    // The master's key rows can be neither added to nor removed.
    if (m_filling)
        return;
    const bool chosen = fTList->findText(fTList->currentText(), Qt::MatchFixedString) >= 0;
    if (!chosen || (!TKeys.isEmpty() && B(TKeys, "STORED")))
        throw EAbort(QString());
}

bool TfNewLink::GColEnter(const QString& FieldName)
{
    return !(sameName(FieldName, QStringLiteral("KEY")) && B(TKeys, "STORED"));
}

void TfNewLink::TKeysKEYChange(Field&)
{
    if (S(TKeys, "REFERENCE").isEmpty())
        F(TKeys, "REFERENCE").setAsString(S(TKeys, "KEY"));
}

void TfNewLink::DSKeysDataChange(QObject*)
{
    bOK->setEnabled(TKeys.isActive() && !TKeys.isEmpty());
}

// ---- OK

void TfNewLink::bOKClick(QObject*)
{
    if (!TKeys.isActive() || TKeys.isEmpty())
        DBKernelError(QStringLiteral("Master fields is required"));
    TTableStrEngine& e = m_editor->Engine;
    PostIfEditing(TKeys);
    e.TLink.last();
    QStringList references, keys;
    {
        const QScopedValueRollback<bool> quiet(e.Updating, true);
        ControlsOff off(TKeys);
        try {
            QFields.close();
            QFields.paramByName(QStringLiteral("TABLE_NAME")).setAsString(fTList->currentText());
            markExistingFields();
            addFieldRows(references);
            for (TKeys.first(); !TKeys.eof(); TKeys.next())
                keys.append(S(TKeys, "KEY"));
            addLinkRow(references, keys);
        } catch (...) {
            // The dialog stays open; the row being written is given up.
            for (DataSet* d : {static_cast<DataSet*>(&e.TFields), static_cast<DataSet*>(&e.TLink)})
                if (d->state() == DataSet::State::Edit || d->state() == DataSet::State::Insert)
                    d->cancel();
            QFields.close();
            e.TFields.first();
            throw;
        }
        QFields.close();
        e.TFields.first();
    }
    setModalResult(mrOk);
}

// Keys paired with a field the edited table keeps (not dropped) are marked as existing.
void TfNewLink::markExistingFields()
{
    DataSet& fields = m_editor->Engine.TFields;
    for (TKeys.first(); !TKeys.eof(); TKeys.next()) {
        const QString reference = S(TKeys, "REFERENCE");
        bool exists = false;
        for (const Bookmark& b : fields.bookmarks()) {
            fields.viewRecord(b, [&] {
                exists = exists || (sameName(S(fields, "NEW_NAME"), reference) &&
                                    Mark(fields) != MarkDropped);
            });
        }
        TKeys.edit();
        F(TKeys, "EXISTS").setAsBoolean(exists);
        TKeys.post();
    }
}

// A field row per key: an existing one is tied to the link, a missing one made after the last
// field. Both get the link number -1 until the link row has its own.
void TfNewLink::addFieldRows(QStringList& references)
{
    DataSet& fields = m_editor->Engine.TFields;
    fields.last();
    int order = fields.isEmpty() ? 0 : I(fields, "ORDER");
    for (TKeys.first(); !TKeys.eof(); TKeys.next()) {
        const QString reference = S(TKeys, "REFERENCE");
        references.append(reference);
        if (B(TKeys, "EXISTS")) {
            for (const Bookmark& b : fields.bookmarks()) {
                fields.gotoBookmark(b);
                if (sameName(S(fields, "NEW_NAME"), reference) && Mark(fields) != MarkDropped)
                    break;
            }
            fields.edit();
        } else {
            fields.append();
            F(fields, "ORDER").setAsInteger(++order);
            F(fields, "UA").setAsString(MarkNew);
            F(fields, "NEW_NAME").setAsString(reference);
            copyMasterType(S(TKeys, "KEY"));
            F(fields, "REQUIRED").setAsBoolean(fReq->isChecked());
        }
        F(fields, "LINK_ID").setAsInteger(-1);
        fields.post();
    }
}

// The type, size, precision and Custom text of the master's key field (an autoincrement key is
// referred to by an integer). A key field the master does not describe copies nothing.
void TfNewLink::copyMasterType(const QString& keyField)
{
    DataSet& fields = m_editor->Engine.TFields;
    if (!QFields.isActive())
        QFields.open();
    if (!QFields.locate(QStringLiteral("FIELD_NAME"), Variant(keyField), DataSet::CaseInsensitive))
        return;
    int type = I(QFields, "DATATYPE");
    if (type == dtAutoinc)
        type = dtInteger;
    F(fields, "DATATYPE").setAsInteger(type);
    const QStringList& captions = TTableStrEngine::DataTypeCaptions();
    F(fields, "DT")
        .setAsString(type >= 1 && type <= captions.size() ? captions.at(type - 1) : QString());
    if (I(QFields, "FSIZE") != 0)
        F(fields, "SIZE").setAsInteger(I(QFields, "FSIZE"));
    if (I(QFields, "FPREC") != 0)
        F(fields, "PREC").setAsInteger(I(QFields, "FPREC"));
    F(fields, "CUSTOM").setAsString(S(QFields, "CUSTOM"));
}

void TfNewLink::addLinkRow(const QStringList& references, const QStringList& keys)
{
    TTableStrEngine& e = m_editor->Engine;
    const int action = std::max(ActIndex(), 0);
    e.TLink.append();
    F(e.TLink, "UA").setAsString(MarkNew);
    F(e.TLink, "MASTER").setAsString(fTList->currentText());
    F(e.TLink, "REFERENCE").setAsString(references.join(QLatin1Char(',')));
    F(e.TLink, "NEW_REFERENCE").setAsString(references.join(QLatin1Char(',')));
    // The master's key fields in the order of the keys, so that an applied link names them.
    F(e.TLink, "KEY").setAsString(keys.join(QLatin1Char(',')));
    F(e.TLink, "CUSTOM").setAsString(fCustom->toPlainText());
    F(e.TLink, "ACTION").setAsInteger(action);
    F(e.TLink, "ACT").setAsString(TTableStrEngine::DeleteActionCaptions().value(action));
    e.TLink.post();
    const Variant link = F(e.TLink, "LINK_ID").value();
    for (const Bookmark& b : e.TFields.bookmarks()) {
        e.TFields.gotoBookmark(b);
        if (I(e.TFields, "LINK_ID") != -1)
            continue;
        e.TFields.edit();
        F(e.TFields, "LINK_ID").setValue(link);
        e.TFields.post();
    }
}
