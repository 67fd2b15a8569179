// The field map: a matrix of integers whose rows map a key (column 0) to further integers, read by
// the report viewer to find the record behind a spreadsheet row.
#pragma once

#include <platform/exception.h>

#include <QList>

#include <vector>

// The list-index error: "Index de liste hors limites (<index>)".
QV_EXCEPTION_CLASS(EListError, Exception)

class TFieldMap
{
public:
    // Whether the map holds data (a column layout, possibly without rows).
    bool HasData() const { return m_hasData; }
    // The number of value columns (0 without data).
    int ColCount() const { return m_colCount; }
    int RowCount() const { return m_rowCount; }

    // Filling: the number of value columns first (the rows go), then the rows in ascending key
    // order. A row whose key is not above the last one, or whose value count differs from
    // ColCount, is refused with EListError and the map stays as it was.
    void SetColCount(int count);
    void AddRow(qint32 key, const QList<qint32>& values);
    // Back to no data.
    void Clear();

    // The integer in row `row` (from 0) and column `col` (0 is the key, up to ColCount). Outside
    // the matrix: EListError with the row number.
    qint32& Cell(int row, int col);
    qint32 Cell(int row, int col) const;

    // The value in value column `col` (from 0) of the row whose key is `key`; 0 when the map holds
    // no data or no rows, or when no row has the key. A column beyond ColCount - 1 raises
    // EListError (when a row has the key).
    qint32 Lookup(qint32 key, int col) const;

private:
    int indexOf(int row, int col) const;

    std::vector<qint32> m_data; // rows of ColCount + 1 integers, one after another
    int m_colCount = 0;
    int m_rowCount = 0;
    bool m_hasData = false;
};
