// The translation editor: the class tree, the grid of texts and translations with its pending
// edits, the named schemas of a form's translations, search, options and the export.
#include "langmanager.h"

#include "dictionary.h"
#include "exporttable.h"
#include "lmsearch.h"

#include <platform/codepage.h>
#include <platform/dialogs.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

void (*LanguageChangedProc)(TInternationalLang Language) = nullptr;

namespace {

const QString DefaultSchema = QStringLiteral("Default");
const QString EmptyText = QStringLiteral("<empty>");

QString languageTitle(TInternationalLang language)
{
    switch (language) {
    case 1:
        return QStringLiteral("Français");
    case 2:
        return QStringLiteral("Russian");
    case 3:
        return QStringLiteral("English");
    default:
        return QString();
    }
}

// The number a numbered line starts with, and "=": the prefix of its translations.
QString linePrefix(const QString& line)
{
    static const QRegularExpression number(QStringLiteral("^\\d+"));
    const QRegularExpressionMatch match = number.match(line);
    return match.hasMatch() ? match.captured() + QLatin1Char('=') : QString();
}

bool startsWithNumberAndEquals(const QString& text)
{
    static const QRegularExpression numbered(QStringLiteral("^\\d+="));
    return numbered.match(text).hasMatch();
}

// The schema an entry belongs to: the second "|"-separated field of its class part; empty for
// an entry of no schema.
QString schemaOf(int index)
{
    const QStringList fields = TranslationFormClass(index).split(QLatin1Char('|'));
    return fields.size() > 1 ? fields.at(1) : QString();
}

// The entries of a schema, last first.
QList<int> schemaEntries(const QString& schema)
{
    QList<int> found;
    for (int i = TranslationCount() - 1; i >= 0; --i) {
        if (schemaOf(i) == schema)
            found.append(i);
    }
    return found;
}

void languageChanged()
{
    if (LanguageChangedProc)
        LanguageChangedProc(CurrentLanguage);
}

} // namespace

// Starts and ends the editing of translation cells through the editor, and draws the cells.
class TLangManager::GridDelegate : public QStyledItemDelegate
{
public:
    explicit GridDelegate(TLangManager* manager) : QStyledItemDelegate(manager), m_manager(manager)
    {
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        QString value = index.data(Qt::EditRole).toString();
        m_manager->TrGridGetEditText(index.column(), index.row(), value);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setText(value);
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            m_manager->TrGridSetEditText(index.column(), index.row(), line->text());
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        m_manager->StyleCell(index.row(), index.column(), *option);
    }

private:
    TLangManager* m_manager;
};

QUORVANE_FORM(TLangManager);

TLangManager::TLangManager(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnCloseQuery = [this](QObject* sender, bool& canClose) { FormCloseQuery(sender, canClose); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

TLangManager::~TLangManager() = default;

void TLangManager::createComponents()
{
    setCaption(QStringLiteral("Translator"));
    const auto button = [this](const char* name, const QString& text) {
        QPushButton* b = makeComponent<QPushButton>(name, "TButton");
        b->setText(text);
        b->setAutoDefault(false);
        return b;
    };
    btnRestoreDefaults = button("btnRestoreDefaults", QStringLiteral("Restore Defaults..."));
    btnLineRestore = button("btnLineRestore", QStringLiteral("Restore line..."));
    btnOptions = button("btnOptions", QStringLiteral("Options..."));
    btnSearch = button("btnSearch", QStringLiteral("Search..."));
    btnSave = button("btnSave", QStringLiteral("Save file"));
    btnClose = button("btnClose", QStringLiteral("Close"));
    btnCreateFile = button("btnCreateFile", QStringLiteral("Create file"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Extended translating:"));
    cbExtTranslating = makeComponent<QComboBox>("cbExtTranslating", "TComboBox");
    sbAdd = makeComponent<QToolButton>("sbAdd", "TSpeedButton");
    sbAdd->setText(QStringLiteral("+"));
    sbAdd->setToolTip(QStringLiteral("Add"));
    sbEdit = makeComponent<QToolButton>("sbEdit", "TSpeedButton");
    sbEdit->setText(QStringLiteral("..."));
    sbEdit->setToolTip(QStringLiteral("Rename"));
    sbDelete = makeComponent<QToolButton>("sbDelete", "TSpeedButton");
    sbDelete->setText(QStringLiteral("-"));
    sbDelete->setToolTip(QStringLiteral("Delete"));
    FormTree = makeComponent<QTreeWidget>("FormTree", "TTreeView");
    TrGrid = makeComponent<QTableWidget>("TrGrid", "TStringGrid");
}

void TLangManager::layoutComponents()
{
    resize(760, 480);
    btnRestoreDefaults->setEnabled(false);
    btnLineRestore->setEnabled(false);
    sbEdit->setEnabled(false);
    sbDelete->setEnabled(false);

    FormTree->setHeaderHidden(true);
    FormTree->setEditTriggers(QAbstractItemView::NoEditTriggers);

    TrGrid->setColumnCount(ColumnCount);
    TrGrid->setHorizontalHeaderLabels(
        {QStringLiteral("N°"), QStringLiteral("Object"), QStringLiteral("Object type"),
         QStringLiteral("Default string"), languageTitle(CurrentLanguage)});
    TrGrid->verticalHeader()->hide();
    TrGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    TrGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    TrGrid->setItemDelegate(new GridDelegate(this));
    TrGrid->horizontalHeader()->setStretchLastSection(true);
    // The texts wrap within their columns and each row is as tall as its texts (a translation is
    // often longer than the text it stands for).
    TrGrid->setWordWrap(true);
    TrGrid->setTextElideMode(Qt::ElideNone);
    QFont gridFont = TrGrid->font();
    gridFont.setFamily(QStringLiteral("Arial"));
    TrGrid->setFont(gridFont);
    FitColumns();

    auto* top = new QHBoxLayout;
    for (QPushButton* b : {btnRestoreDefaults, btnLineRestore, btnOptions, btnSearch, btnSave,
                           btnClose, btnCreateFile})
        top->addWidget(b);
    top->addStretch();
    auto* schemas = new QHBoxLayout;
    schemas->addWidget(cbExtTranslating, 1);
    schemas->addWidget(sbAdd);
    schemas->addWidget(sbEdit);
    schemas->addWidget(sbDelete);
    auto* left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addLayout(schemas);
    left->addWidget(FormTree, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addWidget(TrGrid, 3);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(body, 1);
}

void TLangManager::connectHandlers()
{
    const auto click = [this](QAbstractButton* b, void (TLangManager::*handler)(QObject*)) {
        connect(b, &QAbstractButton::clicked, this, [this, b, handler] { (this->*handler)(b); });
    };
    click(btnRestoreDefaults, &TLangManager::btnRestoreDefaultsClick);
    click(btnLineRestore, &TLangManager::btnLineRestoreClick);
    click(btnOptions, &TLangManager::btnOptionsClick);
    click(btnSearch, &TLangManager::btnSearchClick);
    // The rows follow the width their texts wrap in.
    connect(TrGrid->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                FitRows(section == colTranslation ? size : TrGrid->columnWidth(colTranslation));
            });
    click(btnSave, &TLangManager::btnSaveClick);
    connect(btnClose, &QPushButton::clicked, this, [this] { Close(); });
    click(btnCreateFile, &TLangManager::btnCreateFileClick);
    click(sbAdd, &TLangManager::sbAddClick);
    click(sbEdit, &TLangManager::sbEditClick);
    click(sbDelete, &TLangManager::sbDeleteClick);
    connect(FormTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node) { FormTreeChange(node); });
    connect(cbExtTranslating, &QComboBox::currentIndexChanged, this,
            [this] { cbExtTranslatingChange(cbExtTranslating); });
    connect(TrGrid, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { TrGridSelectCell(row, column); });
}

// ---- opening

void TLangManager::FormCreate(QObject*)
{
    m_schemaName = QStringLiteral(" ");
    Options = TLangOptions();
    BuildFormTree();
    const QWidget* active = QApplication::activeWindow();
    const QString activeClass =
        active ? QString::fromLatin1(active->metaObject()->className()) : QString();
    QTreeWidgetItem* select = nullptr;
    for (QTreeWidgetItemIterator it(FormTree); *it && !activeClass.isEmpty(); ++it) {
        if ((*it)->text(0) == activeClass) {
            select = *it;
            break;
        }
    }
    if (!select)
        select = FormTree->topLevelItem(0);
    if (select)
        FormTree->setCurrentItem(select);
    else
        FillGrid();
}

void TLangManager::BuildFormTree()
{
    FormTree->clear();
    QHash<QString, QTreeWidgetItem*> nodes;
    const QList<TFormClass>& classes = TranslatableForms();
    for (qsizetype i = 0; i < classes.size(); ++i) {
        // Each class under its nearest registered ancestor: the chain is walked from the top.
        QList<const TFormClass*> chain = RegisteredAncestors(classes.at(i).MetaObject);
        std::reverse(chain.begin(), chain.end());
        chain.append(&classes.at(i));
        QTreeWidgetItem* parent = nullptr;
        for (const TFormClass* formClass : std::as_const(chain)) {
            QTreeWidgetItem*& node = nodes[formClass->ClassName];
            if (!node) {
                node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(FormTree);
                node->setText(0, formClass->ClassName);
                node->setData(0, Qt::UserRole, int(formClass - classes.constData()));
            }
            parent = node;
        }
    }
    FormTree->expandAll();
}

void TLangManager::FormShow(QObject*)
{
    const int schema = cbExtTranslating->findText(m_schemaName);
    if (schema >= 0)
        cbExtTranslating->setCurrentIndex(schema);
}

void TLangManager::FormTreeChange(QTreeWidgetItem* Node)
{
    m_formClass = nullptr;
    if (Node) {
        const int index = Node->data(0, Qt::UserRole).toInt();
        if (index >= 0 && index < TranslatableForms().size())
            m_formClass = &TranslatableForms().at(index);
    }
    FillGrid();
}

// ---- the grid

QString TLangManager::SchemaName() const
{
    return cbExtTranslating->currentIndex() > 0 ? cbExtTranslating->currentText() : QString();
}

void TLangManager::FillSchemaList()
{
    const QSignalBlocker quiet(cbExtTranslating);
    cbExtTranslating->clear();
    QStringList schemas;
    if (m_formClass) {
        const QString prefix = m_formClass->ClassName + QLatin1Char('|');
        for (int i = 0; i < TranslationCount(); ++i) {
            const QString formClass = TranslationFormClass(i);
            if (formClass.startsWith(prefix) && !schemas.contains(formClass.mid(prefix.size())))
                schemas.append(formClass.mid(prefix.size()));
        }
    }
    cbExtTranslating->addItem(DefaultSchema);
    cbExtTranslating->addItems(schemas);
    cbExtTranslating->setCurrentIndex(0);
    sbEdit->setEnabled(false);
    sbDelete->setEnabled(false);
}

QString TLangManager::ShownTranslation(const QString& Name, bool* translated) const
{
    *translated = false;
    QString shown = EmptyText;
    if (m_formClass) {
        const QString schema = SchemaName();
        QList<const TFormClass*> chain = RegisteredAncestors(m_formClass->MetaObject);
        chain.prepend(m_formClass);
        for (const TFormClass* formClass : std::as_const(chain)) {
            const QString key = schema.isEmpty() ? formClass->ClassName
                                                 : formClass->ClassName + QLatin1Char('|') + schema;
            const int found = FindTranslation(key, Name);
            if (found >= 0) {
                *translated = true;
                shown = TranslationText(found);
                break;
            }
        }
    }
    // A pending edit shows even where the dictionary has no entry yet.
    const int pending = FindPending(m_classKey, Name);
    return pending >= 0 ? m_pending.at(pending).text : shown;
}

void TLangManager::FillGrid(bool SchemaChanged)
{
    if (!SchemaChanged)
        FillSchemaList();
    const QString className = m_formClass ? m_formClass->ClassName : QString();
    const QString schema = SchemaName();
    m_classKey = schema.isEmpty() ? className : className + QLatin1Char('|') + schema;

    QList<TCollectedText> texts;
    QSet<QString> inherited;
    if (m_formClass) {
        const QMetaObject* parent =
            m_formClass->MetaObject ? m_formClass->MetaObject->superClass() : nullptr;
        if (!Options.ParentControls && !IsFormBaseClass(parent)) {
            if (const TFormClass* registeredParent = FindTranslatableForm(parent)) {
                for (const TCollectedText& text : CollectFormTexts(*registeredParent))
                    inherited.insert(codepage::upper(text.Name));
            }
        }
        texts = CollectFormTexts(*m_formClass);
    }

    m_rows.clear();
    const TExtTranslateProc ext = ExtTranslateProc;
    for (const TCollectedText& text : std::as_const(texts)) {
        if (text.Default.isEmpty())
            continue;
        const bool hasEntry = FindTranslation(m_classKey, text.Name) >= 0;
        if ((!hasEntry && !Options.EmptyCaptions) || (hasEntry && !Options.TranslatedCaptions))
            continue;
        QString compiled;
        if (ext && !Options.TranslateDefaults &&
            ext(m_formClass->MetaObject, text.Name, text.Default, compiled))
            continue;
        if (!Options.ParentControls && inherited.contains(codepage::upper(text.Name)))
            continue;
        m_rows.append({text.Name, text.Default, text.ComponentClass, false});
    }

    const QSignalBlocker quiet(TrGrid);
    TrGrid->clearContents();
    TrGrid->setRowCount(int(std::max<qsizetype>(m_rows.size(), 1)));
    for (int r = 0; r < TrGrid->rowCount(); ++r) {
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            TrGrid->setItem(r, c, item);
        }
    }
    for (int r = 0; r < m_rows.size(); ++r) {
        Row& row = m_rows[r];
        TrGrid->item(r, colNumber)->setText(QString::number(r + 1));
        TrGrid->item(r, colObject)
            ->setText(row.name.isEmpty() ? QStringLiteral("Form caption") : row.name);
        TrGrid->item(r, colType)->setText(row.componentClass);
        TrGrid->item(r, colDefault)->setText(row.defaultText);
        QTableWidgetItem* translation = TrGrid->item(r, colTranslation);
        translation->setText(ShownTranslation(row.name, &row.translated));
        translation->setFlags(translation->flags() | Qt::ItemIsEditable);
    }
    FitColumns();
    TrGrid->setCurrentCell(0, colTranslation);
    TrGridSelectCell(0, colTranslation);
}

int TLangManager::GridLine() const
{
    return TrGrid->showGrid() ? 1 : 0;
}

QSize TLangManager::WrappedSize(int Row, int Column, int Width) const
{
    QStyleOptionViewItem option;
    option.initFrom(TrGrid);
    option.font = TrGrid->font();
    option.features |= QStyleOptionViewItem::WrapText;
    option.rect = QRect(0, 0, std::max(Width, 1), 1);
    return TrGrid->itemDelegate()->sizeHint(option, TrGrid->model()->index(Row, Column));
}

int TLangManager::LongestWordWidth(int Column) const
{
    // A cell wrapped as narrow as it goes is as wide as its longest word.
    int widest = 0;
    for (int r = 0; r < TrGrid->rowCount(); ++r)
        widest = std::max(widest, WrappedSize(r, Column, 1).width());
    return widest + GridLine();
}

int TLangManager::RowHeightFor(int Row, int TranslationWidth) const
{
    // A cell draws its text in its section less the grid line on its right and at its bottom.
    const int line = GridLine();
    int height = WrappedSize(Row, colTranslation, TranslationWidth - line).height();
    for (int c = 0; c < colTranslation; ++c)
        height = std::max(height, WrappedSize(Row, c, TrGrid->columnWidth(c) - line).height());
    return height + line;
}

void TLangManager::FitColumns()
{
    // The designed widths, or what a title needs when it is drawn bold for the current cell; the
    // names and types (which do not wrap) as wide as the longest shown, the texts as their
    // longest word.
    QHeaderView* header = TrGrid->horizontalHeader();
    int fixedWidth = 0;
    const std::pair<int, int> designed[] = {
        {colNumber, 40}, {colObject, 130}, {colType, 100}, {colDefault, 200}};
    for (const auto& [column, width] : designed) {
        int w = std::max(width, columnTitleWidth(header, column));
        if (column == colDefault) {
            w = std::max(w, LongestWordWidth(column));
        } else {
            for (int r = 0; r < TrGrid->rowCount(); ++r)
                w = std::max(w,
                             TrGrid->sizeHintForIndex(TrGrid->model()->index(r, column)).width() +
                                 GridLine());
        }
        TrGrid->setColumnWidth(column, w);
        fixedWidth += w;
    }
    // Room for the fixed columns, the language column at its default width or its longest word,
    // and a scroll bar.
    const int language = std::max({header->defaultSectionSize(), LongestWordWidth(colTranslation),
                                   columnTitleWidth(header, colTranslation)});
    TrGrid->setMinimumWidth(fixedWidth + language + 2 * TrGrid->frameWidth() +
                            TrGrid->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    // The language column takes what the grid leaves it once the window is laid out again (its
    // rows follow then); until its new width is known, each row is tall enough for the narrowest
    // it can be.
    FitRows(std::max(language, TrGrid->columnWidth(colTranslation)));
}

void TLangManager::FitRows(int TranslationWidth)
{
    for (int r = 0; r < TrGrid->rowCount(); ++r)
        TrGrid->setRowHeight(r, RowHeightFor(r, TranslationWidth));
}

void TLangManager::StyleCell(int ARow, int ACol, QStyleOptionViewItem& Option) const
{
    const bool selected = Option.state & QStyle::State_Selected;
    if (ACol == colNumber) {
        Option.backgroundBrush = Option.palette.button();
        Option.palette.setColor(QPalette::Text, Option.palette.color(QPalette::WindowText));
        return;
    }
    if (ARow < 0 || ARow >= m_rows.size())
        return;
    const Row& row = m_rows.at(ARow);
    if (ACol == colTranslation && FindPending(m_classKey, row.name) >= 0) {
        // The window system's green (0, 128, 0): behind the highlight text when selected.
        if (selected)
            Option.palette.setColor(QPalette::Highlight, Qt::darkGreen);
        else
            Option.palette.setColor(QPalette::Text, Qt::darkGreen);
        return;
    }
    if (!selected && row.componentClass == QLatin1String("TLC"))
        Option.backgroundBrush = QBrush(Qt::cyan);
}

// ---- editing

int TLangManager::FindPending(const QString& ClassKey, const QString& Name) const
{
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (m_pending.at(i).classKey == ClassKey && m_pending.at(i).name == Name)
            return int(i);
    }
    return -1;
}

void TLangManager::SetRestoreButtons(bool Enabled)
{
    btnRestoreDefaults->setEnabled(Enabled);
    btnLineRestore->setEnabled(Enabled);
}

void TLangManager::TrGridSelectCell(int ARow, int ACol)
{
    if (ACol == colTranslation)
        btnLineRestore->setEnabled(ARow >= 0 && ARow < m_rows.size() &&
                                   FindPending(m_classKey, m_rows.at(ARow).name) >= 0);
}

void TLangManager::TrGridGetEditText(int ACol, int ARow, QString& Value)
{
    if (ACol != colTranslation || ARow < 0 || ARow >= m_rows.size())
        return;
    const Row& row = m_rows.at(ARow);
    if (m_refused.classKey == m_classKey && m_refused.name == row.name) {
        // Edited again after a refusal: the text as typed, measured against the text the first
        // editing began with.
        Value = m_refused.text;
        m_textBeforeEdit = m_refused.textBefore;
        m_refused = {};
        return;
    }
    if (!row.translated && FindPending(m_classKey, row.name) < 0) {
        // "<empty>" is no text: the edit starts empty, and leaving it empty changes nothing.
        Value.clear();
        m_textBeforeEdit.clear();
        return;
    }
    m_textBeforeEdit = Value;
}

void TLangManager::TrGridSetEditText(int ACol, int ARow, const QString& Value)
{
    if (ACol != colTranslation || ARow < 0 || ARow >= m_rows.size() || Value == m_textBeforeEdit)
        return;
    if (const QString outside = CharactersOutsideCodePage(Value); !outside.isEmpty()) {
        // Told from the event loop: a box opened while the editor commits would take its focus,
        // and the commit would come again.
        m_refused = {m_classKey, m_rows.at(ARow).name, Value, m_textBeforeEdit};
        QMetaObject::invokeMethod(
            this, [this, outside] { RefuseEdit(outside); }, Qt::QueuedConnection);
        return;
    }
    const Row& row = m_rows.at(ARow);
    SetRestoreButtons(true);
    const int pending = FindPending(m_classKey, row.name);
    if (pending >= 0) {
        m_pending[pending].text = Value;
    } else {
        const QString prefix =
            row.componentClass == QLatin1String("TLC") ? linePrefix(row.defaultText) : QString();
        m_pending.append({m_classKey, row.name, Value, prefix});
    }
    TrGrid->item(ARow, colTranslation)->setText(Value);
    FitColumns();
}

QString TLangManager::CharactersOutsideCodePage(const QString& Text)
{
    QString outside;
    for (const char32_t c : Text.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        if (!codepage::canEncode(character, codepage::current()) && !outside.contains(character))
            outside += character;
    }
    return outside;
}

void TLangManager::RefuseEdit(const QString& Characters)
{
    ShowCodePageRefusal(Characters);
    // The cell is edited again with the refused text, unless the grid shows another form by now.
    int r = 0;
    while (r < m_rows.size() &&
           (m_refused.classKey != m_classKey || m_rows.at(r).name != m_refused.name))
        ++r;
    if (r == m_rows.size()) {
        m_refused = {};
        return;
    }
    QTableWidgetItem* cell = TrGrid->item(r, colTranslation);
    TrGrid->setCurrentItem(cell); // commits and closes an editor opened meanwhile elsewhere
    TrGrid->editItem(cell);
    m_refused = {}; // taken by the new editor, or there is none
}

void TLangManager::ShowCodePageRefusal(const QString& Characters)
{
    dialogService().messageDlg(uiText(UiText::TextNotInCodePage)
                                   .arg(QString::number(int(codepage::current())), Characters),
                               mtError, mbOK);
}

void TLangManager::btnLineRestoreClick(QObject*)
{
    const int r = TrGrid->currentRow();
    if (r < 0 || r >= m_rows.size())
        return;
    const int pending = FindPending(m_classKey, m_rows.at(r).name);
    if (pending >= 0)
        m_pending.removeAt(pending);
    btnLineRestore->setEnabled(false);
    Row& row = m_rows[r];
    TrGrid->item(r, colTranslation)->setText(ShownTranslation(row.name, &row.translated));
    FitColumns();
}

void TLangManager::btnRestoreDefaultsClick(QObject*)
{
    m_pending.clear();
    FillGrid();
    SetRestoreButtons(false);
}

// ---- writing

void TLangManager::WritePending()
{
    QStringList classes;
    QStringList names;
    QStringList texts;
    for (const Pending& p : std::as_const(m_pending)) {
        classes.append(p.classKey);
        names.append(p.name);
        texts.append(!p.prefix.isEmpty() && !startsWithNumberAndEquals(p.text) ? p.prefix + p.text
                                                                               : p.text);
    }
    MergeTranslations(classes, names, texts, TranslationFileName);
    m_pending.clear();
    LoadTranslations();
}

void TLangManager::btnSaveClick(QObject*)
{
    WritePending();
    FillGrid();
    SetRestoreButtons(false);
    TranslateAllForms();
    languageChanged();
}

void TLangManager::FormCloseQuery(QObject*, bool& CanClose)
{
    // A failed write raises before the window may close: the edits stay.
    if (btnRestoreDefaults->isEnabled() &&
        dialogService().messageDlg(QStringLiteral("Save changes ?"), mtConfirmation,
                                   TMsgDlgButtons(mbYes) | mbNo) == mrYes)
        WritePending();
    TranslateAllForms();
    languageChanged();
    CanClose = true;
}

// ---- options, search, export

void TLangManager::btnOptionsClick(QObject*)
{
    QPointer<TlmOptionsDlg> dialog = CreateForm<TlmOptionsDlg>();
    const auto freeDialog = qScopeGuard([&dialog] {
        if (dialog)
            dialog->Free();
    });
    if (dialog->Execute(Options))
        FillGrid();
}

void TLangManager::btnSearchClick(QObject*)
{
    int column = -1;
    {
        QPointer<TlmSearchDlg> dialog = CreateForm<TlmSearchDlg>();
        const auto freeDialog = qScopeGuard([&dialog] {
            if (dialog)
                dialog->Free();
        });
        if (dialog->ShowModal() != mrOk || !dialog)
            return;
        static constexpr int columns[] = {colDefault, colTranslation, colType};
        const int item = dialog->ItemIndex();
        if (item < 0 || item >= int(std::size(columns)))
            return;
        column = columns[item];
    }
    QString wanted;
    if (!dialogService().inputQuery(QStringLiteral("Search"), QStringLiteral("Search string"),
                                    wanted))
        return;
    const QString upperWanted = codepage::upper(wanted);
    for (int r = std::max(TrGrid->currentRow(), 0); r < TrGrid->rowCount(); ++r) {
        const QTableWidgetItem* cell = TrGrid->item(r, column);
        if (cell && codepage::upper(cell->text()).contains(upperWanted)) {
            TrGrid->setCurrentCell(r, column);
            return;
        }
    }
}

void TLangManager::btnCreateFileClick(QObject*)
{
    const IniFile ini(IniFileName);
    const QString section = QStringLiteral("Export");
    const QString fileName = ini.readString(section, QStringLiteral("FileName"));
    const QString french = ini.readString(section, QStringLiteral("FRA_FileName"));
    const QString english = ini.readString(section, QStringLiteral("ENG_FileName"));
    if (fileName.isEmpty())
        dialogService().showMessage(QStringLiteral("Not found export filename"));
    else if (french.isEmpty())
        dialogService().showMessage(QStringLiteral("Not found \"FRA\"-filename"));
    else if (english.isEmpty())
        dialogService().showMessage(QStringLiteral("Not found \"ENG\"-filename"));
    else
        ExportTranslationTable(fileName, french, english);
}

// ---- schemas

void TLangManager::cbExtTranslatingChange(QObject*)
{
    FillGrid(true);
    const bool named = cbExtTranslating->currentIndex() > 0;
    sbEdit->setEnabled(named);
    sbDelete->setEnabled(named);
}

void TLangManager::sbAddClick(QObject*)
{
    if (!m_formClass)
        return;
    QString name;
    if (!dialogService().inputQuery(QStringLiteral("Extended translating"),
                                    QStringLiteral("New shema:"), name))
        return;
    if (const QString outside = CharactersOutsideCodePage(name); !outside.isEmpty()) {
        ShowCodePageRefusal(outside);
        return;
    }
    WritePending();
    AddTranslation(m_formClass->ClassName + QLatin1Char('|') + name, QString(), QString());
    SaveTranslations();
    int item = 1;
    while (item < cbExtTranslating->count() && cbExtTranslating->itemText(item) != name)
        ++item;
    if (item == cbExtTranslating->count())
        cbExtTranslating->addItem(name);
    cbExtTranslating->setCurrentIndex(item);
}

void TLangManager::sbDeleteClick(QObject*)
{
    const QString schema = SchemaName();
    if (schema.isEmpty() ||
        dialogService().messageDlg(QStringLiteral("Are you sure?"), mtConfirmation,
                                   TMsgDlgButtons(mbYes) | mbNo) != mrYes)
        return;
    WritePending();
    for (int index : schemaEntries(schema))
        DeleteTranslation(index);
    SaveTranslations();
    FillGrid();
}

void TLangManager::sbEditClick(QObject*)
{
    const QString schema = SchemaName();
    QString name = schema;
    if (schema.isEmpty() || !dialogService().inputQuery(QStringLiteral("Extended translating"),
                                                        QStringLiteral("Enter new name"), name))
        return;
    if (const QString outside = CharactersOutsideCodePage(name); !outside.isEmpty()) {
        ShowCodePageRefusal(outside);
        return;
    }
    WritePending();
    RenameSchemaEntries(schema, name);
    SaveTranslations();
    FillGrid();
}

void TLangManager::RenameSchemaEntries(const QString& Schema, const QString& NewName)
{
    struct Taken
    {
        QString formClass;
        QString name;
        QString text;
    };
    QList<Taken> taken;
    for (int index : schemaEntries(Schema)) {
        taken.append({TranslationFormClass(index).section(QLatin1Char('|'), 0, 0),
                      TranslationName(index), TranslationText(index)});
        DeleteTranslation(index);
    }
    for (const Taken& t : std::as_const(taken))
        AddTranslation(t.formClass + QLatin1Char('|') + NewName, t.name, t.text);
}

void ShowLangManager()
{
    QPointer<TLangManager> manager = CreateForm<TLangManager>();
    const auto freeManager = qScopeGuard([&manager] {
        if (manager)
            manager->Free();
    });
    manager->ShowModal();
}
