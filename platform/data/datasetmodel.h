// A Qt item model that shows any dataset in a grid: one column per visible field, one row per
// visible record, following the dataset's cursor and changes.
#pragma once

#include <platform/data/dataset.h>

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>

// Columns are the dataset's visible fields in field order, titled with their display labels and
// sized by their display widths; cells show each field's display text (through OnGetText). The
// rows are the records the dataset shows (filter and range applied), in its current order; the
// record being edited shows its edited values. The model reads records without moving the
// cursor. It is read-only: editing goes through the dataset.
class DataSetModel : public QAbstractTableModel, private DataSetObserver
{
    Q_OBJECT
public:
    explicit DataSetModel(DataSet* dataSet = nullptr, QObject* parent = nullptr);
    ~DataSetModel() override;

    void setDataSet(DataSet* dataSet);
    DataSet* dataSet() const { return m_dataSet; }
    // The field shown in a column; null outside the columns.
    Field* fieldAt(int column) const;

    // The row of the dataset's current record; -1 when there is none.
    int currentRow() const { return m_current; }
    // Moves the dataset to the record shown in the row (with its scroll events).
    void setCurrentRow(int row);
    // The record shown in the row (null outside the rows), for reading it with viewRecord.
    Bookmark bookmarkAt(int row) const
    {
        return row >= 0 && row < m_rows.size() ? m_rows.at(row) : Bookmark();
    }
    // Reads columns and rows again, after display properties of fields changed.
    void reload();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    void currentRowChanged(int row);

private:
    void dataSetChanged(DataSet& dataSet) override;
    void recordChanged(DataSet& dataSet, Field* field) override;
    void stateChanged(DataSet& dataSet) override;
    void scrolled(DataSet& dataSet) override;
    void readRows();
    void updateCurrent();
    const QStringList* texts(int row) const;

    QPointer<DataSet> m_dataSet;
    QList<Field*> m_columns;
    QList<Bookmark> m_rows;
    QHash<qint64, int> m_rowOf;
    int m_current = -1;
    mutable QHash<int, QStringList> m_texts; // display texts of rows already shown
};
