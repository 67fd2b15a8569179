// Numbers as an .xlsx file keeps them. libxlsxwriter writes a cell's number with printf's "%.16G",
// whose sixteen digits do not keep every double (0.30000000000000004 becomes 0.3, the largest
// double a text past it) and which follows the C locale's decimal mark. Every number is to be
// the shortest text that reads back as the same double, laid out as "%G" lays it out; the cells
// where the library's text is another get theirs put into the written package afterwards.
#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

namespace xlsxnumbers {

// The fewest digits that read back as exactly `value` (finite), laid out as "%G" does: with an
// exponent ("E-05", "E+308") below 0.0001 and from 1E+16 up, without one between.
QByteArray shortestText(double value);

// The library's text for `value`.
QByteArray writerText(double value);

// A cell whose value text is to be replaced.
struct CellText
{
    int Row = 1;
    int Col = 1;
    QByteArray Text;
};

// The cells to mend of each worksheet part ("xl/worksheets/sheet1.xml"), each list in the order
// the cells stand in the part (row by row, left to right).
using Mends = std::map<QString, std::vector<CellText>>;

// Copies the package `from` (a file the writer has just made) to `to`, the values of the given
// cells replaced; the other parts are copied as they are. Returns why it could not; empty when
// done.
QString rewritePackage(const QString& from, const QString& to, const Mends& mends);

} // namespace xlsxnumbers
