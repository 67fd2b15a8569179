// The field map.
#include "flookup.h"

#include <platform/format.h>

namespace {

[[noreturn]] void listIndexError(int index)
{
    throw EListError(Format(QStringLiteral("Index de liste hors limites (%d)"), {index}));
}

} // namespace

void TFieldMap::SetColCount(int count)
{
    if (count < 0)
        listIndexError(count);
    m_data.clear();
    m_colCount = count;
    m_rowCount = 0;
    m_hasData = true;
}

void TFieldMap::AddRow(qint32 key, const QList<qint32>& values)
{
    if (!m_hasData || values.size() != m_colCount)
        listIndexError(m_rowCount);
    if (m_rowCount > 0 && key <= Cell(m_rowCount - 1, 0))
        throw EListError(
            Format(QStringLiteral("Clé %d non croissante dans la table de correspondance"), {key}));
    m_data.push_back(key);
    m_data.insert(m_data.end(), values.begin(), values.end());
    ++m_rowCount;
}

void TFieldMap::Clear()
{
    m_data.clear();
    m_colCount = 0;
    m_rowCount = 0;
    m_hasData = false;
}

int TFieldMap::indexOf(int row, int col) const
{
    if (row < 0 || row >= m_rowCount || col < 0 || col > m_colCount)
        listIndexError(row);
    return row * (m_colCount + 1) + col;
}

qint32& TFieldMap::Cell(int row, int col)
{
    return m_data[size_t(indexOf(row, col))];
}

qint32 TFieldMap::Cell(int row, int col) const
{
    return m_data[size_t(indexOf(row, col))];
}

qint32 TFieldMap::Lookup(qint32 key, int col) const
{
    if (!m_hasData || m_rowCount == 0)
        return 0;
    int low = 0;
    int high = m_rowCount - 1;
    int middle = 0;
    while (low <= high) {
        middle = (low + high) / 2;
        const qint32 k = Cell(middle, 0);
        if (k < key)
            low = middle + 1;
        else if (k > key)
            high = middle - 1;
        else
            break;
    }
    if (Cell(middle, 0) != key)
        return 0;
    if (col < -1 || col >= m_colCount)
        listIndexError(middle);
    return Cell(middle, col + 1);
}
