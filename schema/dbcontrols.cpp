// The schema dialogs' grid over a dataset (its columns, pictures, in-place editor and cursor) and
// the controls bound to one field of a dataset's current record.
#include "dbcontrols.h"

#include <platform/dialogs.h>
#include <platform/ui/application.h>

#include <QAbstractProxyModel>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

namespace {

// Runs a reaction to the user the way an event handler runs: an exception goes to the program's
// exception handler instead of unwinding through Qt's own code.
template <class F> void guarded(QObject* sender, F&& reaction)
{
    try {
        reaction();
    } catch (const std::exception& e) {
        Application::handleException(sender, e);
    }
}

bool hasRecord(const DataSet& d)
{
    return d.isActive() && (d.state() == DataSet::State::Edit ||
                            d.state() == DataSet::State::Insert || !d.isEmpty());
}

// Puts the current record in edit state and gives the field a value.
void writeField(DataSet& d, const QString& fieldName, const std::function<void(Field&)>& set)
{
    if (d.state() == DataSet::State::Browse)
        d.edit();
    set(*d.fieldByName(fieldName));
}

} // namespace

DataSetWatcher::DataSetWatcher(DataSet* dataSet, std::function<void()> changed, QObject* parent)
    : QObject(parent), m_dataSet(dataSet), m_changed(std::move(changed))
{
    if (m_dataSet)
        m_dataSet->addObserver(this);
}

DataSetWatcher::~DataSetWatcher()
{
    if (m_dataSet)
        m_dataSet->removeObserver(this);
}

EventHook::EventHook(QObject* target, std::function<bool(QEvent*)> hook)
    : QObject(target), m_hook(std::move(hook))
{
    target->installEventFilter(this);
}

void EventHook::Install(QObject* target, std::function<bool(QEvent*)> hook)
{
    new EventHook(target, std::move(hook));
}

bool EventHook::eventFilter(QObject*, QEvent* event)
{
    bool handled = false;
    guarded(parent(), [&] { handled = m_hook(event); });
    return handled;
}

// ---- the grid's columns

// The grid's columns over the dataset model: the named fields in the given order with their
// titles (which the translator may replace), and the cell pictures. A record being inserted,
// which the dataset model does not show, is shown as a row of its own: at the end when it is
// appended, else where the cursor was.
class TDBGrid::Columns : public QAbstractProxyModel
{
public:
    explicit Columns(TDBGrid* grid) : QAbstractProxyModel(grid), m_grid(grid) {}

    void setSource(DataSetModel* source)
    {
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
                        emit dataChanged(index(proxyRow(from.row()), 0),
                                         index(proxyRow(to.row()), columnCount() - 1));
                });
        connect(source, &DataSetModel::currentRowChanged, this, [this](int row) {
            if (row >= 0)
                m_lastCurrent = row;
        });
    }

    // Follows the dataset into and out of insert state, and the values typed meanwhile.
    void dataSetChanged()
    {
        const DataSet* d = dataSet();
        const bool inserting = d && d->state() == DataSet::State::Insert;
        if (inserting != (m_insertRow >= 0)) {
            beginResetModel();
            const int rows = sourceModel()->rowCount();
            m_insertRow = !inserting ? -1 : d->isAppending() ? rows : std::min(m_lastCurrent, rows);
            if (m_insertRow < 0 && inserting)
                m_insertRow = 0;
            endResetModel();
        } else if (inserting && columnCount() > 0) {
            emit dataChanged(index(m_insertRow, 0), index(m_insertRow, columnCount() - 1));
        }
    }

    void setColumns(const QList<TDBGridColumn>& columns)
    {
        beginResetModel();
        m_titles.clear();
        for (const TDBGridColumn& c : columns)
            m_titles.append(c.Title);
        remap();
        endResetModel();
    }

    // The row of the dataset's current record (the record being inserted, when there is one).
    int currentRow() const
    {
        return m_insertRow >= 0 ? m_insertRow : proxyRow(source()->currentRow());
    }
    // The dataset model's row of a grid row; -1 for the record being inserted.
    int sourceRow(int row) const
    {
        if (m_insertRow < 0 || row < m_insertRow)
            return row;
        return row == m_insertRow ? -1 : row - 1;
    }
    int proxyRow(int row) const { return m_insertRow >= 0 && row >= m_insertRow ? row + 1 : row; }

    QModelIndex mapToSource(const QModelIndex& proxy) const override
    {
        if (!proxy.isValid() || proxy.column() >= m_sourceColumn.size())
            return {};
        const int column = m_sourceColumn.at(proxy.column());
        const int row = sourceRow(proxy.row());
        return column < 0 || row < 0 ? QModelIndex() : sourceModel()->index(row, column);
    }
    QModelIndex mapFromSource(const QModelIndex& source) const override
    {
        const int column = source.isValid() ? int(m_sourceColumn.indexOf(source.column())) : -1;
        return column < 0 ? QModelIndex() : index(proxyRow(source.row()), column);
    }
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 ||
            column >= columnCount())
            return {};
        return createIndex(row, column);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    // Every cell edits itself (the record being inserted has no cell in the dataset model).
    QModelIndex buddy(const QModelIndex& index) const override { return index; }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (parent.isValid() || !sourceModel())
            return 0;
        return sourceModel()->rowCount() + (m_insertRow >= 0 ? 1 : 0);
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_titles.size());
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                               : Qt::NoItemFlags;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const TDBGridColumn& column = m_grid->columns().at(index.column());
        if (role == Qt::BackgroundRole && column.Color.isValid())
            return column.Color;
        if (role == Qt::ForegroundRole && column.FontColor.isValid())
            return column.FontColor;
        if (role == Qt::DisplayRole || role == Qt::DecorationRole) {
            const QIcon icon = image(index);
            if (!icon.isNull())
                return role == Qt::DecorationRole ? QVariant(icon) : QVariant(QString());
            if (role == Qt::DecorationRole)
                return {};
        }
        if (index.row() == m_insertRow) {
            const Field* f = dataSet()->findField(column.FieldName);
            if (role == Qt::DisplayRole)
                return f ? f->displayText() : QString();
            if (role == Qt::TextAlignmentRole && f)
                return QVariant::fromValue(f->alignment() | Qt::AlignVCenter);
            return {};
        }
        return QAbstractProxyModel::data(index, role);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= m_titles.size())
            return QAbstractProxyModel::headerData(section, orientation, role);
        if (role == Qt::DisplayRole)
            return m_titles.at(section);
        return {};
    }
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role) override
    {
        if (orientation != Qt::Horizontal || role != Qt::EditRole || section < 0 ||
            section >= m_titles.size())
            return false;
        m_titles[section] = value.toString();
        emit headerDataChanged(orientation, section, section);
        return true;
    }

    QString fieldName(int column) const
    {
        return column >= 0 && column < m_grid->columns().size()
                   ? m_grid->columns().at(column).FieldName
                   : QString();
    }

private:
    DataSetModel* source() const { return static_cast<DataSetModel*>(sourceModel()); }
    DataSet* dataSet() const { return source() ? source()->dataSet() : nullptr; }

    QIcon image(const QModelIndex& index) const
    {
        QIcon icon;
        DataSet* d = dataSet();
        if (!m_grid->CellImage || !d)
            return icon;
        const QString field = fieldName(index.column());
        const int row = sourceRow(index.row());
        if (row < 0)
            icon = m_grid->CellImage(*d, field);
        else
            d->viewRecord(source()->bookmarkAt(row), [&] { icon = m_grid->CellImage(*d, field); });
        return icon;
    }

    void remap()
    {
        m_sourceColumn.clear();
        const DataSetModel* model = source();
        for (int i = 0; i < m_titles.size(); ++i) {
            int found = -1;
            for (int c = 0; model && c < model->columnCount(); ++c) {
                if (model->fieldAt(c)->fieldName().compare(fieldName(i), Qt::CaseInsensitive) ==
                    0) {
                    found = c;
                    break;
                }
            }
            m_sourceColumn.append(found);
        }
        // A reset of the dataset model shows the inserted record once it is posted.
        const DataSet* d = dataSet();
        if (!d || d->state() != DataSet::State::Insert)
            m_insertRow = -1;
    }

    TDBGrid* m_grid;
    QStringList m_titles;
    QList<int> m_sourceColumn;
    int m_insertRow = -1;
    int m_lastCurrent = 0;
};

// ---- the in-place editor

class TDBGrid::Delegate : public QStyledItemDelegate
{
public:
    explicit Delegate(TDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override
    {
        const TDBGridColumn& column = m_grid->columns().at(index.column());
        // Every cell is edited as the text of its field.
        if (column.PickList.isEmpty()) {
            auto* edit = new QLineEdit(parent);
            edit->setFrame(false);
            return edit;
        }
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(column.PickList);
        combo->setMaxVisibleItems(column.DropDownRows);
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        const Field* field = m_grid->dataSet()->findField(fieldOf(index));
        const QString text = field ? field->text() : QString();
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            combo->setEditText(text);
        else if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setText(text);
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        QString text;
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            text = combo->currentText();
        else if (auto* line = qobject_cast<QLineEdit*>(editor))
            text = line->text();
        m_grid->SetCellText(fieldOf(index), text);
    }

private:
    QString fieldOf(const QModelIndex& index) const
    {
        return m_grid->columns().at(index.column()).FieldName;
    }

    TDBGrid* m_grid;
};

// ---- the grid

TDBGrid::TDBGrid(QWidget* parent)
    : QTableView(parent), m_source(new DataSetModel(nullptr, this)), m_columns(new Columns(this))
{
    m_columns->setSource(m_source);
    setModel(m_columns);
    setItemDelegate(new Delegate(this));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setTabKeyNavigation(true); // Tab goes from column to column, as in a grid of data
    verticalHeader()->hide();
    // Rows as high as a line of text, as a grid of data shows them.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsMovable(false);

    // The grid and the dataset's cursor follow each other.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (m_following || !current.isValid() || current.row() == previous.row())
                    return;
                const int row = m_columns->sourceRow(current.row());
                // Leaving a record being inserted moves even to the row the dataset model last
                // showed as current.
                DataSet* d = dataSet();
                if (row >= 0 && d &&
                    (row != m_source->currentRow() || d->state() != DataSet::State::Browse))
                    guarded(this, [&] { d->gotoBookmark(m_source->bookmarkAt(row)); });
                // A record that could not be left keeps the cursor.
                if (m_columns->currentRow() != current.row())
                    selectCurrentRow();
            });
    connect(m_source, &DataSetModel::currentRowChanged, this, [this] { selectCurrentRow(); });
    connect(m_columns, &QAbstractItemModel::modelReset, this, [this] {
        FitColumns();
        selectCurrentRow();
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (OnCellClick && index.isValid() && index.row() == m_columns->currentRow())
            guarded(this, [&] { OnCellClick(m_columns->fieldName(index.column())); });
    });
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::setDataSet(DataSet* dataSet)
{
    m_source->setDataSet(dataSet);
    delete m_watcher;
    m_watcher = dataSet ? new DataSetWatcher(
                              dataSet, [this] { m_columns->dataSetChanged(); }, this)
                        : nullptr;
}

DataSet* TDBGrid::dataSet() const
{
    return m_source->dataSet();
}

void TDBGrid::setColumns(const QList<TDBGridColumn>& columns)
{
    m_columnList = columns;
    m_columns->setColumns(columns);
    FitColumns();
}

int TDBGrid::CurrentRow() const
{
    return m_columns->currentRow();
}

QString TDBGrid::SelectedField() const
{
    return m_columns->fieldName(currentIndex().isValid() ? currentIndex().column() : 0);
}

void TDBGrid::SetSelectedField(const QString& fieldName)
{
    for (int i = 0; i < m_columnList.size(); ++i) {
        if (m_columnList.at(i).FieldName.compare(fieldName, Qt::CaseInsensitive) != 0)
            continue;
        const QSignalBlocker quiet(selectionModel());
        const int row = std::max(m_columns->currentRow(), 0);
        selectionModel()->setCurrentIndex(m_columns->index(row, i),
                                          QItemSelectionModel::ClearAndSelect);
        viewport()->update();
        return;
    }
}

void TDBGrid::selectCurrentRow()
{
    const int row = m_columns->currentRow();
    if (row < 0)
        return;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    m_following = true;
    selectionModel()->setCurrentIndex(m_columns->index(row, column),
                                      QItemSelectionModel::ClearAndSelect);
    m_following = false;
}

void TDBGrid::SetCellText(const QString& fieldName, const QString& text)
{
    if (DataSet* d = dataSet())
        guarded(this, [&] { writeField(*d, fieldName, [&](Field& f) { f.setText(text); }); });
}

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (trigger == QAbstractItemView::NoEditTriggers || !index.isValid() || !dataSet())
        return QTableView::edit(index, trigger, event);
    if (ReadOnly || index.row() != m_columns->currentRow())
        return false;
    const QString field = m_columns->fieldName(index.column());
    const Field* f = dataSet()->findField(field);
    if (!f || f->isReadOnly() || m_columnList.at(index.column()).ReadOnly ||
        (CanEditColumn && !CanEditColumn(field)))
        return false;
    return QTableView::edit(index, trigger, event);
}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    if (state() == QAbstractItemView::EditingState) {
        QTableView::keyPressEvent(event);
        return;
    }
    if (OnKeyDown) {
        bool handled = false;
        guarded(this, [&] { OnKeyDown(event->key(), event->modifiers(), handled); });
        if (handled) {
            event->accept();
            return;
        }
    }
    DataSet* d = dataSet();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool last = m_columns->currentRow() == m_columns->rowCount() - 1;
    if (!ReadOnly && d && d->isActive()) {
        if (event->key() == Qt::Key_Insert && mods == Qt::NoModifier) {
            guarded(this, [d] { d->insert(); });
            return;
        }
        if (event->key() == Qt::Key_Down && mods == Qt::NoModifier && last) {
            guarded(this, [d] { d->append(); });
            return;
        }
        if (event->key() == Qt::Key_Escape && mods == Qt::NoModifier &&
            (d->state() == DataSet::State::Edit || d->state() == DataSet::State::Insert)) {
            guarded(this, [d] { d->cancel(); });
            return;
        }
        if (event->key() == Qt::Key_Delete && mods == Qt::ControlModifier && !d->isEmpty()) {
            if (dialogService().messageDlg(QStringLiteral("Delete record?"), mtConfirmation,
                                           mbOK | mbCancel) == mrOk)
                guarded(this, [d] { d->deleteRecord(); });
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

int TDBGrid::LeastColumnWidth(int column) const
{
    const QHeaderView* header = horizontalHeader();
    QStyleOptionHeader title;
    title.initFrom(header);
    title.text = m_columns->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    return std::max(
        {m_columnList.at(column).Width, sizeHintForColumn(column),
         header->style()->sizeFromContents(QStyle::CT_HeaderSection, &title, {}, header).width()});
}

void TDBGrid::FitColumns()
{
    int total = 0;
    for (int i = 0; i < m_columnList.size(); ++i) {
        const int width = LeastColumnWidth(i);
        setColumnWidth(i, width);
        total += width;
    }
    setMinimumWidth(total + 2 * frameWidth() + verticalScrollBar()->sizeHint().width());
}

// ---- controls bound to a field

namespace {

// Set on a control while its edit puts the record into edit state, which would otherwise show the
// field's stored value in it over what the user has just typed.
const char* const EnteringEdit = "qvEnteringEdit";

// Shows the field's value in the control whenever the dataset changes; `show` receives the
// value (or null without a record).
void follow(QWidget* control, DataSet* dataSet, const QString& fieldName,
            const std::function<void(const Field*)>& show)
{
    const QPointer<DataSet> d(dataSet);
    const auto refresh = [d, control, fieldName, show] {
        if (control->property(EnteringEdit).toBool())
            return;
        show(d && hasRecord(*d) ? d->findField(fieldName) : nullptr);
    };
    new DataSetWatcher(dataSet, refresh, control);
    refresh();
}

void write(QWidget* control, DataSet* dataSet, const QString& fieldName,
           const std::function<void(Field&)>& set)
{
    if (!dataSet || !hasRecord(*dataSet))
        return;
    guarded(control, [&] {
        if (dataSet->state() == DataSet::State::Browse) {
            control->setProperty(EnteringEdit, true);
            const auto entered =
                qScopeGuard([control] { control->setProperty(EnteringEdit, QVariant()); });
            dataSet->edit();
        }
        writeField(*dataSet, fieldName, set);
    });
}

} // namespace

void BindMemo(QPlainTextEdit* memo, DataSet* dataSet, const QString& fieldName)
{
    follow(memo, dataSet, fieldName, [memo](const Field* f) {
        const QString text = f ? f->asString() : QString();
        if (memo->toPlainText() != text) {
            const QSignalBlocker quiet(memo);
            memo->setPlainText(text);
        }
    });
    QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [memo, dataSet, fieldName] {
        if (!memo->isReadOnly())
            write(memo, dataSet, fieldName,
                  [memo](Field& f) { f.setAsString(memo->toPlainText()); });
    });
}

void BindEdit(QLineEdit* edit, DataSet* dataSet, const QString& fieldName)
{
    follow(edit, dataSet, fieldName, [edit](const Field* f) {
        const QString text = f ? f->asString() : QString();
        if (edit->text() != text)
            edit->setText(text);
    });
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, dataSet, fieldName] {
        if (!edit->isReadOnly())
            write(edit, dataSet, fieldName, [edit](Field& f) { f.setAsString(edit->text()); });
    });
}

void BindCheckBox(QCheckBox* box, DataSet* dataSet, const QString& fieldName)
{
    follow(box, dataSet, fieldName, [box](const Field* f) {
        const QSignalBlocker quiet(box);
        box->setChecked(f && f->asBoolean());
    });
    QObject::connect(box, &QCheckBox::clicked, box, [box, dataSet, fieldName](bool checked) {
        write(box, dataSet, fieldName, [checked](Field& f) { f.setAsBoolean(checked); });
    });
}
