// The grid model over a dataset: rows are the dataset's bookmarks, read without moving the cursor;
// the model follows the dataset through its observer interface.
#include "datasetmodel.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QSize>

DataSetModel::DataSetModel(DataSet* dataSet, QObject* parent) : QAbstractTableModel(parent)
{
    setDataSet(dataSet);
}

DataSetModel::~DataSetModel()
{
    if (m_dataSet)
        m_dataSet->removeObserver(this);
}

void DataSetModel::setDataSet(DataSet* dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet) {
        m_dataSet->removeObserver(this);
        disconnect(m_dataSet, nullptr, this, nullptr);
    }
    m_dataSet = dataSet;
    if (m_dataSet) {
        m_dataSet->addObserver(this);
        // A dataset destroyed under the model leaves an empty grid.
        connect(m_dataSet, &QObject::destroyed, this, [this] {
            beginResetModel();
            m_columns.clear();
            m_rows.clear();
            m_rowOf.clear();
            m_texts.clear();
            m_current = -1;
            endResetModel();
        });
    }
    reload();
}

void DataSetModel::reload()
{
    beginResetModel();
    m_columns.clear();
    if (m_dataSet && m_dataSet->isActive()) {
        for (int i = 0; i < m_dataSet->fieldCount(); ++i) {
            if (m_dataSet->field(i)->isVisible())
                m_columns.append(m_dataSet->field(i));
        }
    }
    readRows();
    endResetModel();
    updateCurrent();
}

void DataSetModel::readRows()
{
    m_rows.clear();
    m_rowOf.clear();
    m_texts.clear();
    if (!m_dataSet || !m_dataSet->isActive())
        return;
    m_rows = m_dataSet->bookmarks();
    m_rowOf.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        m_rowOf.insert(m_rows.at(i).id(), i);
}

void DataSetModel::updateCurrent()
{
    int row = -1;
    if (m_dataSet && m_dataSet->isActive()) {
        const Bookmark b = m_dataSet->bookmark();
        if (!b.isNull())
            row = m_rowOf.value(b.id(), -1);
    }
    if (row != m_current) {
        m_current = row;
        emit currentRowChanged(row);
    }
}

Field* DataSetModel::fieldAt(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column) : nullptr;
}

void DataSetModel::setCurrentRow(int row)
{
    if (!m_dataSet || row < 0 || row >= m_rows.size() || row == m_current)
        return;
    m_dataSet->gotoBookmark(m_rows.at(row));
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

const QStringList* DataSetModel::texts(int row) const
{
    const auto it = m_texts.constFind(row);
    if (it != m_texts.constEnd())
        return &it.value();
    QStringList out;
    const bool ok = m_dataSet->viewRecord(m_rows.at(row), [&] {
        for (const Field* f : m_columns)
            out.append(f->displayText());
    });
    if (!ok)
        return nullptr;
    return &m_texts.insert(row, out).value();
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!m_dataSet || !index.isValid() || index.row() >= m_rows.size() ||
        index.column() >= m_columns.size())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: {
        const QStringList* t = texts(index.row());
        return t ? QVariant(t->at(index.column())) : QVariant();
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns.at(index.column())->alignment() | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const Field* f = m_columns.at(section);
    switch (role) {
    case Qt::DisplayRole:
        return f->displayLabel();
    case Qt::SizeHintRole: {
        const QFontMetrics fm(QGuiApplication::font());
        const int chars = qMax(f->displayWidth(), int(f->displayLabel().size()));
        return QSize(chars * fm.averageCharWidth() + 2 * fm.horizontalAdvance(QLatin1Char(' ')),
                     fm.height() + 4);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(f->alignment() | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

void DataSetModel::dataSetChanged(DataSet&)
{
    reload();
}

void DataSetModel::recordChanged(DataSet&, Field*)
{
    if (m_current < 0)
        return;
    m_texts.remove(m_current);
    emit dataChanged(index(m_current, 0), index(m_current, int(m_columns.size()) - 1));
}

void DataSetModel::stateChanged(DataSet& dataSet)
{
    // Open and close come with dataSetChanged; here the current record starts or ends an edit.
    if (dataSet.isActive())
        recordChanged(dataSet, nullptr);
}

void DataSetModel::scrolled(DataSet&)
{
    updateCurrent();
}
