// The custom data editor: the language columns of the labels and lookup values, read from and
// written into the Custom texts of its sources, and the table-list mode over the metadata tables.
#include "customedit.h"

#include "dbcontrols.h"
#include "schemawork.h"
#include "tablestreditdlg.h"
#include "tablestrwork.h"

#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>
#include <kernel/schemaapi.h>
#include <platform/format.h>
#include <platform/regional.h>
#include <translation/lc.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace strwork;

namespace {

const char* const LanguageKeys[] = {"fra", "rus", "eng"};
const char* const ValueFields[] = {"VAL1", "VAL2", "VAL3"};

// The value of a Custom line by its name (case ignored); empty when there is none.
QString customValue(const QStringList& lines, const QString& name)
{
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return QString();
}

// Gives the line its value, or removes it for an empty value; other lines stay as they are.
void setCustomValue(QStringList& lines, const QString& name, const QString& value)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype eq = lines.at(i).indexOf(QLatin1Char('='));
        if (eq < 0 || QStringView(lines.at(i)).left(eq).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (value.isEmpty())
            lines.removeAt(i);
        else
            lines[i] = name + QLatin1Char('=') + value;
        return;
    }
    if (!value.isEmpty())
        lines.append(name + QLatin1Char('=') + value);
}

// The label's text in each language into the current row's VAL1..VAL3.
void splitLabel(DataSet& d, const QString& label)
{
    for (int i = 0; i < 3; ++i)
        F(d, ValueFields[i]).setAsString(ExtractMultiLabel(label, QLatin1String(LanguageKeys[i])));
}

// The label of a row: the stored one as it was when the row still reads the same in every
// language (a label stored in another form is not rewritten by an OK that changed nothing), else
// the three columns composed.
QString labelOf(const DataSet& d, const QString& stored)
{
    bool same = true;
    for (int i = 0; i < 3; ++i)
        same = same &&
               ExtractMultiLabel(stored, QLatin1String(LanguageKeys[i])) == S(d, ValueFields[i]);
    return same ? stored : ComposeMultiLabel(S(d, "VAL1"), S(d, "VAL2"), S(d, "VAL3"));
}

QStringList withoutTrailingBlanks(QStringList entries)
{
    while (!entries.isEmpty() && entries.last().isEmpty())
        entries.removeLast();
    return entries;
}

void define(MemDataSet& d, const char* name, std::initializer_list<WorkColumn> columns)
{
    DefineWorkSet(d, name, columns);
    d.createDataSet();
}

// Texts are kept whole: a label or a lookup entry has no length of its own.
constexpr auto Text = FieldType::String;
constexpr auto Int = FieldType::Integer;
constexpr auto Bool = FieldType::Boolean;
constexpr auto Memo = FieldType::Memo;

// The characters a text cannot hold where it is stored: "#" separates the languages of a label
// and "," the entries of a lookup list. Refused when the cell is edited, so that nothing is
// written that would read back as other languages or other entries.
void refuseSeparators(Field& field, bool label, bool lookup)
{
    field.onValidate = [label, lookup](Field&, const Variant& value) {
        const QString text = value.toString();
        if (label && text.contains(QLatin1Char('#')))
            throw EDBEditError(QStringLiteral(
                "A label cannot contain \"#\": it separates the languages of the label."));
        if (lookup && text.contains(QLatin1Char(',')))
            throw EDBEditError(QStringLiteral(
                "A lookup key or value cannot contain \",\": it separates the lookup entries."));
    };
}

} // namespace

QUORVANE_FORM(TfCustomEdit);

TfCustomEdit::TfCustomEdit(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnDestroy = [this](QObject* sender) { FormDestroy(sender); };
    OnResize = [this](QObject* sender) { FormResize(sender); };
    createWorkSets();
    createComponents();
    layoutComponents();
    connectHandlers();
}

TfCustomEdit::~TfCustomEdit() = default;

void TfCustomEdit::createWorkSets()
{
    define(CDSTable, "CDSTable",
           {{"FIELD_NAME", Text, 0},
            {"KEY", Text, 0},
            {"VAL1", Text, 0},
            {"VAL2", Text, 0},
            {"VAL3", Text, 0}});
    define(CDSFields, "CDSFields",
           {{"FIELD_NAME", Text, 0},
            {"KEY", Text, 0},
            {"VAL1", Text, 0},
            {"VAL2", Text, 0},
            {"VAL3", Text, 0},
            {"DATATYPE", Int, 0},
            {"SIZE", Int, 0}});
    define(CDSLink, "CDSLink",
           {{"FIELD_NAME", Text, 0},
            {"KEY", Text, 0},
            {"VAL1", Text, 0},
            {"VAL2", Text, 0},
            {"VAL3", Text, 0},
            {"LINK_ID", Int, 0}});
    define(CDSLook, "CDSLook",
           {{"FIELD_NAME", Text, 0},
            {"KEY", Text, 0},
            {"VAL1", Text, 0},
            {"VAL2", Text, 0},
            {"VAL3", Text, 0}});
    define(TTable, "TTable", {{"TABLE_NAME", Text, 30}, {"CUSTOM", Memo, 0}, {"CHANGED", Bool, 0}});
    define(TFields, "TFields",
           {{"NEW_NAME", Text, 30},
            {"DATATYPE", Int, 0},
            {"SIZE", Int, 0},
            {"CUSTOM", Memo, 0},
            {"HIDDEN", Bool, 0},
            {"CHANGED", Bool, 0}});
    define(
        TLink, "TLink",
        {{"REFERENCE", Text, 0}, {"CUSTOM", Memo, 0}, {"LINK_ID", Int, 0}, {"CHANGED", Bool, 0}});
    for (MemDataSet* d : {&CDSTable, &CDSFields, &CDSLink})
        for (const char* v : ValueFields)
            refuseSeparators(F(*d, v), true, false);
    for (const char* v : ValueFields)
        refuseSeparators(F(CDSLook, v), true, true);
    refuseSeparators(F(CDSLook, "KEY"), false, true);
    CDSLook.setFiltered(true);
}

void TfCustomEdit::createComponents()
{
    setCaption(QStringLiteral("Custom data - "));
    pTableList = makeComponent<QFrame>("pTableList", "TPanel");
    fTableList = makeComponent<QComboBox>("fTableList", "TComboBox", pTableList);
    fTableList->setMaxVisibleItems(50);
    fTableList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pTableList->hide();
    cbStatHidden = makeComponent<QCheckBox>("cbStatHidden", "TCheckBox");
    cbStatHidden->setText(QStringLiteral("Table hidden for stat module"));
    GTable = makeComponent<TDBGrid>("GTable", "TDBGrid");
    QFont bold = GTable->horizontalHeader()->font();
    bold.setBold(true);
    GTable->horizontalHeader()->setFont(bold);
    pLink = makeComponent<QFrame>("pLink", "TPanel");
    pLinkH = makeComponent<QLabel>("pLinkH", "TPanel", pLink);
    pLinkH->setText(QStringLiteral(" Links"));
    GLink = makeComponent<TDBGrid>("GLink", "TDBGrid", pLink);
    GLink->horizontalHeader()->hide();
    pFieldsH = makeComponent<QLabel>("pFieldsH", "TPanel");
    pFieldsH->setText(QStringLiteral(" Field labels"));
    DBText1 = makeComponent<QLabel>("DBText1", "TDBText");
    DBText1->setStyleSheet(QStringLiteral("color: navy; font-weight: bold"));
    cbLook = makeComponent<QCheckBox>("cbLook", "TCheckBox");
    cbLook->setText(QStringLiteral("Enable lookup values"));
    GFields = makeComponent<TDBGrid>("GFields", "TDBGrid");
    GFields->horizontalHeader()->hide();
    pLook = makeComponent<QFrame>("pLook", "TPanel");
    pLookH = makeComponent<QLabel>("pLookH", "TPanel", pLook);
    GLook = makeComponent<TDBGrid>("GLook", "TDBGrid", pLook);
    bOK = makeComponent<QPushButton>("bOK", "TButton");
    bOK->setText(QStringLiteral("OK"));
    bOK->setDefault(true);
    CancelButton = makeComponent<QPushButton>("CancelButton", "TButton");
    CancelButton->setText(QStringLiteral("Cancel"));
    // No numbered texts are given; the component still carries the form's translation.
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    GTable->setDataSet(&CDSTable);
    GLink->setDataSet(&CDSLink);
    GFields->setDataSet(&CDSFields);
    GLook->setDataSet(&CDSLook);
}

void TfCustomEdit::layoutComponents()
{
    auto* list = new QHBoxLayout(pTableList);
    list->setContentsMargins(0, 0, 0, 0);
    list->addWidget(fTableList);
    auto* top = new QHBoxLayout;
    top->addWidget(pTableList);
    top->addWidget(cbStatHidden);
    top->addStretch();

    auto* links = new QVBoxLayout(pLink);
    links->setContentsMargins(0, 0, 0, 0);
    links->addWidget(pLinkH);
    links->addWidget(GLink);

    auto* fieldsHead = new QHBoxLayout;
    fieldsHead->addWidget(pFieldsH);
    fieldsHead->addWidget(DBText1);
    fieldsHead->addStretch();
    fieldsHead->addWidget(cbLook);

    auto* look = new QVBoxLayout(pLook);
    look->setContentsMargins(0, 0, 0, 0);
    look->addWidget(pLookH);
    look->addWidget(GLook);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOK);
    buttons->addWidget(CancelButton);

    GLink->setMaximumHeight(5 * GLink->verticalHeader()->defaultSectionSize());

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(GTable);
    all->addWidget(pLink);
    all->addLayout(fieldsHead);
    all->addWidget(GFields, 2);
    all->addWidget(pLook, 1);
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setDesignedSize(696, 671);
}

void TfCustomEdit::connectHandlers()
{
    DefaultButton = bOK;
    TForm::CancelButton = CancelButton;
    connect(bOK, &QPushButton::clicked, this, [this] { bOKClick(bOK); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
    connect(cbLook, &QCheckBox::clicked, this, [this] { cbLookClick(cbLook); });
    connect(fTableList, &QComboBox::activated, this, [this] { fTableListClick(fTableList); });
    for (MemDataSet* d : {&CDSTable, &CDSFields, &CDSLink}) {
        d->beforeInsert = [this](DataSet& set) { SkipUpdate(set); };
        d->beforeDelete = [this](DataSet& set) { SkipUpdate(set); };
    }
    CDSFields.beforeScroll = [this](DataSet& d) { CDSFieldsBeforeScroll(d); };
    CDSFields.afterScroll = [this](DataSet& d) { CDSFieldsAfterScroll(d); };
    CDSLook.onNewRecord = [this](DataSet& d) { CDSLookNewRecord(d); };
    CDSLook.beforePost = [this](DataSet& d) { CDSLookBeforePost(d); };
    for (MemDataSet* d : {&TTable, &TFields, &TLink})
        d->beforePost = [this](DataSet& set) { TTableBeforePost(set); };
    new DataSetWatcher(
        &CDSLook, [this] { DSLookDataChange(GLook); }, this);
    for (TDBGrid* grid : {GTable, GLink, GFields, GLook}) {
        // After the grid has fitted its columns to new rows.
        connect(grid->model(), &QAbstractItemModel::modelReset, this,
                [this, grid] { shareLanguageColumns(grid); });
        EventHook::Install(grid->viewport(), [this, grid](QEvent* event) {
            if (event->type() == QEvent::Resize)
                shareLanguageColumns(grid);
            return false;
        });
    }
}

void TfCustomEdit::buildColumns()
{
    const QColor edge = palette().color(QPalette::Light);
    const auto columns = [edge](const QString& first, const QString& title, bool key) {
        QList<TDBGridColumn> list;
        if (key)
            list.append({first, title, 60, {}});
        else
            list.append({first, title, 160, {}, 7, true, edge, QColor(Qt::blue)});
        const char* const titles[] = {"French", "Russian", "English"};
        for (int i = 0; i < 3; ++i)
            list.append(
                {QStringLiteral("VAL") + QString::number(i + 1), QLatin1String(titles[i]), 0, {}});
        return list;
    };
    GLook->setColumns(columns(QStringLiteral("KEY"), QStringLiteral("Key Value"), true));
    GFields->setColumns(columns(QStringLiteral("FIELD_NAME"), QStringLiteral("Field"), false));
    GTable->setColumns(columns(QStringLiteral("FIELD_NAME"), QStringLiteral("Property"), false));
    GLink->setColumns(columns(QStringLiteral("FIELD_NAME"), QStringLiteral("Property"), false));
    // The table's two rows need no more room than they show.
    GTable->setFixedHeight(GTable->horizontalHeader()->sizeHint().height() +
                           2 * GTable->verticalHeader()->defaultSectionSize() +
                           2 * GTable->frameWidth());
}

// ---- handlers

void TfCustomEdit::FormCreate(QObject*)
{
    m_custom.clear();
    buildColumns();
}

void TfCustomEdit::FormDestroy(QObject*)
{
    m_custom.clear();
}

void TfCustomEdit::FormResize(QObject*)
{
    for (TDBGrid* grid : {GTable, GLink, GFields, GLook})
        shareLanguageColumns(grid);
}

void TfCustomEdit::shareLanguageColumns(TDBGrid* grid)
{
    if (grid->columns().size() < 4)
        return;
    // The three languages share what the first column leaves, one pixel each for the lines; a
    // column never gets less than its title and texts need.
    const int share = (grid->viewport()->width() - grid->columnWidth(0)) / 3 - 1;
    for (int i = 1; i <= 3; ++i)
        grid->setColumnWidth(i, std::max(share, grid->LeastColumnWidth(i)));
}

void TfCustomEdit::SkipUpdate(DataSet&)
{
    if (!m_loading)
        throw EAbort(QString());
}

void TfCustomEdit::CDSFieldsBeforeScroll(DataSet&)
{
    if (!m_loading)
        PostIfEditing(CDSLook);
}

void TfCustomEdit::CDSFieldsAfterScroll(DataSet&)
{
    const QString field = CDSFields.isEmpty() ? QString() : S(CDSFields, "FIELD_NAME");
    CDSLook.setFilter(QStringLiteral("FIELD_NAME = '%1'")
                          .arg(QString(field).replace(QLatin1Char('\''), QLatin1String("''"))));
    pLookH->setText(QStringLiteral("%1 - [Lookup values]").arg(field));
    DBText1->setText(field);
    const bool rows = !CDSLook.isEmpty();
    cbLook->setChecked(rows);
    pLook->setVisible(rows);
    DSLookDataChange(GLook);
}

void TfCustomEdit::cbLookClick(QObject*)
{
    pLook->setVisible(cbLook->isChecked());
}

void TfCustomEdit::DSLookDataChange(QObject*)
{
    const bool rows = !CDSLook.isEmpty() || CDSLook.state() == DataSet::State::Insert;
    const bool field = CDSFields.isActive() && !CDSFields.isEmpty();
    const int type = field ? I(CDSFields, "DATATYPE") : 0;
    const int size = field ? I(CDSFields, "SIZE") : 0;
    cbLook->setEnabled(field && !rows && (type == dtInteger || (type == dtString && size < 5)));
}

void TfCustomEdit::CDSLookNewRecord(DataSet&)
{
    F(CDSLook, "FIELD_NAME").setAsString(S(CDSFields, "FIELD_NAME"));
}

void TfCustomEdit::CDSLookBeforePost(DataSet&)
{
    if (m_loading)
        return;
    const QString key = S(CDSLook, "KEY");
    if (key.isEmpty())
        DBKernelError(QStringLiteral("Lookup key is empty."));
    if (I(CDSFields, "DATATYPE") == dtInteger) {
        StrToInt(key);
        return;
    }
    const int size = I(CDSFields, "SIZE");
    if (key.size() > size)
        DBKernelError(Format(QStringLiteral("Key too long: max length is %d characters."), {size}));
}

void TfCustomEdit::TTableBeforePost(DataSet& DataSet)
{
    if (!m_loading)
        F(DataSet, "CHANGED").setAsBoolean(true);
}

// ---- loading

void TfCustomEdit::SetSources(TTableStrEditDlg& Editor)
{
    m_tableSource = &Editor.Engine.TTable;
    m_fieldsSource = &Editor.Engine.TFields;
    m_linksSource = &Editor.Engine.TLink;
    LoadFromSources();
}

void TfCustomEdit::LoadFromSources()
{
    if (!m_tableSource)
        DBKernelError(QStringLiteral("Cannot load: not assigned table source."));
    if (!m_fieldsSource)
        DBKernelError(QStringLiteral("Cannot load: not assigned fields source."));
    if (!m_linksSource)
        DBKernelError(QStringLiteral("Cannot load: not assigned links source."));
    {
        const QScopedValueRollback<bool> loading(m_loading, true);
        for (MemDataSet* d : {&CDSTable, &CDSFields, &CDSLink, &CDSLook})
            recreate(*d);
        m_custom =
            m_tableSource->isEmpty() ? QStringList() : MemoLines(S(*m_tableSource, "CUSTOM"));
        for (const auto& [name, key] :
             {std::pair{"Label", "Label"}, std::pair{"Multi Label", "MultiLabel"}}) {
            CDSTable.append();
            F(CDSTable, "FIELD_NAME").setAsString(QLatin1String(name));
            splitLabel(CDSTable, customValue(m_custom, QLatin1String(key)));
            CDSTable.post();
        }
        cbStatHidden->setChecked(customValue(m_custom, QStringLiteral("StatHidden")) ==
                                 QLatin1String("1"));
        DataSet& fields = *m_fieldsSource;
        for (const Bookmark& b : fields.bookmarks()) {
            fields.viewRecord(b, [&] {
                if (B(fields, "HIDDEN"))
                    return;
                const QStringList custom = MemoLines(S(fields, "CUSTOM"));
                const QString name = S(fields, "NEW_NAME");
                CDSFields.append();
                F(CDSFields, "FIELD_NAME").setAsString(name);
                F(CDSFields, "DATATYPE").setAsInteger(I(fields, "DATATYPE"));
                F(CDSFields, "SIZE").setAsInteger(I(fields, "SIZE"));
                splitLabel(CDSFields, customValue(custom, QStringLiteral("Label")));
                CDSFields.post();
                const QStringList keys =
                    SplitLookupList(customValue(custom, QStringLiteral("LookupKeys")));
                const QStringList values =
                    SplitLookupList(customValue(custom, QStringLiteral("LookupValues")));
                for (qsizetype i = 0; i < keys.size(); ++i) {
                    CDSLook.append();
                    F(CDSLook, "FIELD_NAME").setAsString(name);
                    F(CDSLook, "KEY").setAsString(keys.at(i));
                    splitLabel(CDSLook, values.value(i));
                    CDSLook.post();
                }
            });
        }
        DataSet& links = *m_linksSource;
        for (const Bookmark& b : links.bookmarks()) {
            links.viewRecord(b, [&] {
                CDSLink.append();
                F(CDSLink, "FIELD_NAME").setAsString(S(links, "REFERENCE"));
                F(CDSLink, "LINK_ID").setValue(F(links, "LINK_ID").value());
                splitLabel(CDSLink,
                           customValue(MemoLines(S(links, "CUSTOM")), QStringLiteral("Label")));
                CDSLink.post();
            });
        }
        pLink->setVisible(!CDSLink.isEmpty());
        for (MemDataSet* d : {&CDSTable, &CDSLink, &CDSLook})
            d->first();
        CDSFields.first();
    }
    CDSFieldsAfterScroll(CDSFields);
    FormResize(this);
}

// ---- writing back

void TfCustomEdit::lookupRowsOf(const QString& fieldName, const QStringList& storedKeys,
                                const QStringList& storedValues, QStringList& keys,
                                QStringList& values)
{
    keys.clear();
    values.clear();
    const QString filter = CDSLook.filter();
    CDSLook.setFilter(QStringLiteral("FIELD_NAME = '%1'")
                          .arg(QString(fieldName).replace(QLatin1Char('\''), QLatin1String("''"))));
    for (CDSLook.first(); !CDSLook.eof(); CDSLook.next()) {
        keys.append(S(CDSLook, "KEY"));
        values.append(labelOf(CDSLook, storedValues.value(storedKeys.indexOf(keys.last()))));
    }
    CDSLook.setFilter(filter);
}

void TfCustomEdit::writeCustom(DataSet& source, const QStringList& lines)
{
    if (MemoLines(S(source, "CUSTOM")) == lines)
        return;
    source.edit();
    F(source, "CUSTOM").setAsString(ListText(lines));
    source.post();
}

void TfCustomEdit::bOKClick(QObject* Sender)
{
    if (!m_tableSource || !m_fieldsSource || !m_linksSource)
        return;
    for (DataSet* d : {static_cast<DataSet*>(&CDSTable), static_cast<DataSet*>(&CDSFields),
                       static_cast<DataSet*>(&CDSLink), static_cast<DataSet*>(&CDSLook)})
        PostIfEditing(*d);

    m_custom = MemoLines(S(*m_tableSource, "CUSTOM"));
    setCustomValue(m_custom, QStringLiteral("StatHidden"),
                   cbStatHidden->isChecked() ? QStringLiteral("1") : QString());
    for (const auto& [row, key] :
         {std::pair{"Label", "Label"}, std::pair{"Multi Label", "MultiLabel"}}) {
        if (CDSTable.locate(QStringLiteral("FIELD_NAME"), Variant(QLatin1String(row))))
            setCustomValue(m_custom, QLatin1String(key),
                           labelOf(CDSTable, customValue(m_custom, QLatin1String(key))));
    }
    writeCustom(*m_tableSource, m_custom);

    const Bookmark current = CDSFields.bookmark();
    for (const Bookmark& b : CDSFields.bookmarks()) {
        CDSFields.gotoBookmark(b);
        const QString name = S(CDSFields, "FIELD_NAME");
        if (!m_fieldsSource->locate(QStringLiteral("NEW_NAME"), Variant(name),
                                    DataSet::CaseInsensitive))
            continue;
        QStringList lines = MemoLines(S(*m_fieldsSource, "CUSTOM"));
        setCustomValue(lines, QStringLiteral("Label"),
                       labelOf(CDSFields, customValue(lines, QStringLiteral("Label"))));
        const QStringList storedKeys =
            SplitLookupList(customValue(lines, QStringLiteral("LookupKeys")));
        const QStringList storedValues =
            SplitLookupList(customValue(lines, QStringLiteral("LookupValues")));
        QStringList keys, values;
        lookupRowsOf(name, storedKeys, storedValues, keys, values);
        // Lookup lines that still say the same stay as they are stored.
        if (keys != storedKeys ||
            withoutTrailingBlanks(values) != withoutTrailingBlanks(storedValues)) {
            setCustomValue(lines, QStringLiteral("LookupKeys"), JoinLookupList(keys));
            setCustomValue(lines, QStringLiteral("LookupValues"), JoinLookupList(values));
        }
        writeCustom(*m_fieldsSource, lines);
    }
    if (!current.isNull())
        CDSFields.gotoBookmark(current);

    for (CDSLink.first(); !CDSLink.eof(); CDSLink.next()) {
        if (!m_linksSource->locate(QStringLiteral("LINK_ID"), F(CDSLink, "LINK_ID").value()))
            continue;
        QStringList lines = MemoLines(S(*m_linksSource, "CUSTOM"));
        setCustomValue(lines, QStringLiteral("Label"),
                       labelOf(CDSLink, customValue(lines, QStringLiteral("Label"))));
        writeCustom(*m_linksSource, lines);
    }

    if (pTableList->isVisibleTo(this))
        SaveToDatabase();
    if (Sender)
        setModalResult(mrOk);
}

// ---- table-list mode

void TfCustomEdit::fTableListClick(QObject* Sender)
{
    if (Sender)
        bOKClick(nullptr);
    LoadTable(fTableList->currentText());
}

void TfCustomEdit::LoadTable(const QString& TableName)
{
    if (TTable.isActive() && !TTable.isEmpty() && sameName(S(TTable, "TABLE_NAME"), TableName))
        return;
    setCaption(QStringLiteral("Custom data - ") + TableName);
    if (!DBAccess)
        DBKernelError(QStringLiteral("Cannot load data: not assigned DBAccess"));
    const TTableProps* props = DBAccess->FindTableProps(TableName);
    if (!props) {
        DBAccess->LoadTableProps(TableName);
        props = DBAccess->FindTableProps(TableName);
    }
    if (!props)
        DBKernelError(Format(QStringLiteral("Properies for table %s not found."), {TableName}));
    {
        const QScopedValueRollback<bool> loading(m_loading, true);
        for (MemDataSet* d : {&TTable, &TFields, &TLink})
            recreate(*d);
        TTable.appendRecord({props->TableName, props->Custom.Text(), false});
        for (int i = 0; i < props->FieldCount(); ++i) {
            const TFieldProps* f = props->GetFieldProps(i);
            TFields.appendRecord(
                {f->FieldName, int(f->DataType), f->Size, f->Custom.Text(), !f->Visible, false});
        }
        for (const TLinkInfo* l : props->ParentLinks)
            TLink.appendRecord({l->RefFields, l->Custom.Text(), l->ID, false});
        for (MemDataSet* d : {&TTable, &TFields, &TLink})
            d->first();
    }
    m_tableSource = &TTable;
    m_fieldsSource = &TFields;
    m_linksSource = &TLink;
    LoadFromSources();
}

void TfCustomEdit::SaveToDatabase()
{
    if (!DBAccess || TTable.isEmpty())
        return;
    QUpdate.setDatabase(DBAccess->DataBase());
    const QString table = S(TTable, "TABLE_NAME");
    const auto run = [this](const QString& sql,
                            const QList<std::pair<const char*, QString>>& params) {
        QUpdate.close();
        QUpdate.setSql(sql);
        for (const auto& [name, value] : params)
            QUpdate.paramByName(QLatin1String(name)).setAsString(value);
        QUpdate.execSql();
    };
    bool changed = false;
    DBAccess->StartTransaction();
    try {
        if (B(TTable, "CHANGED")) {
            run(QStringLiteral(
                    "update METATABLE set CUSTOM = :CUSTOM where TABLE_NAME = :TABLE_NAME"),
                {{"CUSTOM", S(TTable, "CUSTOM")}, {"TABLE_NAME", table}});
            changed = true;
        }
        for (TFields.first(); !TFields.eof(); TFields.next()) {
            if (!B(TFields, "CHANGED"))
                continue;
            run(QStringLiteral("update METAFIELD set CUSTOM = :CUSTOM where TABLE_NAME = "
                               ":TABLE_NAME and FIELD_NAME = :FIELD_NAME"),
                {{"CUSTOM", S(TFields, "CUSTOM")},
                 {"TABLE_NAME", table},
                 {"FIELD_NAME", S(TFields, "NEW_NAME")}});
            changed = true;
        }
        for (TLink.first(); !TLink.eof(); TLink.next()) {
            if (!B(TLink, "CHANGED"))
                continue;
            run(QStringLiteral("update TABLELINK set CUSTOM = :CUSTOM where CHILD = :CHILD and "
                               "REF_FIELDS = :REF_FIELDS"),
                {{"CUSTOM", S(TLink, "CUSTOM")},
                 {"CHILD", table},
                 {"REF_FIELDS", S(TLink, "REFERENCE")}});
            changed = true;
        }
        DBAccess->Commit();
    } catch (...) {
        QUpdate.close();
        DBAccess->Rollback();
        throw;
    }
    QUpdate.close();
    // What is saved is no longer a change.
    {
        const QScopedValueRollback<bool> loading(m_loading, true);
        for (MemDataSet* d : {&TTable, &TFields, &TLink}) {
            for (d->first(); !d->eof(); d->next()) {
                if (!B(*d, "CHANGED"))
                    continue;
                d->edit();
                F(*d, "CHANGED").setAsBoolean(false);
                d->post();
            }
        }
    }
    if (changed)
        DBAccess->LoadTableProps(table);
}

bool ShowCustomEditor(TTableStrEditDlg& Editor)
{
    auto* form = CreateForm<TfCustomEdit>();
    const auto free = qScopeGuard([form] { form->Free(); });
    form->setCaption(QStringLiteral("Custom data - ") + Editor.Engine.TS.TableName());
    form->SetSources(Editor);
    return form->ShowModal() == mrOk;
}
