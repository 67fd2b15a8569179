// The data-aware controls of the schema tools' dialogs: a grid over a dataset with columns chosen
// by field, in-place editing through the dataset and cell pictures; and the binding of a memo,
// an edit or a check box to one field of a dataset's current record.
#pragma once

#include <platform/data/datasetmodel.h>

#include <QColor>
#include <QIcon>
#include <QPointer>
#include <QTableView>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

// Calls `changed` on every change of a dataset: content, current record, values or state.
class DataSetWatcher : public QObject, private DataSetObserver
{
public:
    DataSetWatcher(DataSet* dataSet, std::function<void()> changed, QObject* parent);
    ~DataSetWatcher() override;

private:
    void dataSetChanged(DataSet&) override { m_changed(); }
    void recordChanged(DataSet&, Field*) override { m_changed(); }
    void stateChanged(DataSet&) override { m_changed(); }
    void scrolled(DataSet&) override { m_changed(); }

    QPointer<DataSet> m_dataSet;
    std::function<void()> m_changed;
};

// Shows the events of one object to a function before the object sees them; the function's true
// keeps an event from the object. Lives as long as the object.
class EventHook : public QObject
{
public:
    static void Install(QObject* target, std::function<bool(QEvent* event)> hook);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EventHook(QObject* target, std::function<bool(QEvent*)> hook);
    std::function<bool(QEvent*)> m_hook;
};

// One column of a grid: the field it shows, its title, its least width in pixels, the choices of
// its drop-down editor (none: a plain edit), whether it refuses editing, and its colours (none:
// the grid's).
struct TDBGridColumn
{
    QString FieldName;
    QString Title;
    int Width = 0;
    QStringList PickList = {};
    int DropDownRows = 7;
    bool ReadOnly = false;
    QColor Color = {};
    QColor FontColor = {};
};

// A grid over a dataset, its rows the dataset's records and its current row the dataset's
// cursor. Cells are edited in place, through the dataset: the current record goes to edit state
// and the field takes the text with its own handlers; the record is posted when the cursor
// leaves it (or the form posts it). As in a grid of data, Insert inserts a record, Down on the
// last row appends one, Escape gives up the record being edited and Ctrl+Delete deletes the
// current one after a question; a read-only grid does none of this. Errors of the dataset go to the
// program's exception handler.
class TDBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void setDataSet(DataSet* dataSet);
    DataSet* dataSet() const;
    DataSetModel* dataSource() const { return m_source; }
    void setColumns(const QList<TDBGridColumn>& columns);
    const QList<TDBGridColumn>& columns() const { return m_columnList; }

    // The grid row of the dataset's current record (the record being inserted has a row too).
    int CurrentRow() const;
    // The field of the current column, and choosing the current column by its field.
    QString SelectedField() const;
    void SetSelectedField(const QString& fieldName);

    // The whole grid refuses in-place editing.
    bool ReadOnly = false;
    // Whether the current record's cell of a column may be edited in place (on entering it).
    std::function<bool(const QString& fieldName)> CanEditColumn;
    // The picture of a cell, read from the record (the dataset shows that record meanwhile); a
    // null icon for none. A cell with a picture shows no text.
    std::function<QIcon(const DataSet& record, const QString& fieldName)> CellImage;
    // A click in a cell, once the cursor is on its record.
    std::function<void(const QString& fieldName)> OnCellClick;
    // A key pressed in the grid outside an editor; setting `handled` keeps it from the grid.
    std::function<void(int key, Qt::KeyboardModifiers modifiers, bool& handled)> OnKeyDown;

    // What the in-place editor does with a text: the current record's field takes it.
    void SetCellText(const QString& fieldName, const QString& text);
    // Sizes the columns to their least widths, titles and texts, and makes the grid wide enough
    // to show them side by side.
    void FitColumns();
    // What a column needs: its least width, its title and the texts it shows.
    int LeastColumnWidth(int column) const;

    using QTableView::edit;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Columns;
    class Delegate;

    void selectCurrentRow();

    DataSetModel* m_source;
    Columns* m_columns;
    DataSetWatcher* m_watcher = nullptr;
    QList<TDBGridColumn> m_columnList;
    bool m_following = false;
};

// Keeps a control showing one field of the dataset's current record and writes what the user
// changes back into it (the record goes to edit state). Nothing is written while the dataset is
// empty or the control is read-only.
void BindMemo(QPlainTextEdit* memo, DataSet* dataSet, const QString& fieldName);
void BindEdit(QLineEdit* edit, DataSet* dataSet, const QString& fieldName);
void BindCheckBox(QCheckBox* box, DataSet* dataSet, const QString& fieldName);
