// The workbook model: sheets, cells and their pooled formats, sizes, selection, page breaks and
// pictures.
#include "workbook.h"
#include "xlsxtext_p.h"

#include <platform/uitexts.h>

#include <QBuffer>

#include <algorithm>
#include <cmath>

size_t qHash(const CellFormat& f, size_t seed)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, f.Font.Name);
    seed = combine(seed, f.Font.Size);
    seed = combine(seed, (int(f.Font.Bold) | int(f.Font.Italic) << 1 | int(f.Font.Underline) << 2 |
                          int(f.Font.StrikeOut) << 3 | f.Font.Charset << 4));
    seed = combine(seed, f.Font.Color);
    seed = combine(seed, (int(f.Pattern) | int(f.Horizontal) << 8 | int(f.Vertical) << 12 |
                          int(f.WordWrap) << 16));
    seed = combine(seed, f.PatternColor);
    seed = combine(seed, f.BackColor);
    seed = combine(seed, (f.Borders[0] | f.Borders[1] << 8 | f.Borders[2] << 16 |
                          quint32(f.Borders[3]) << 24));
    seed = combine(seed, f.NumberFormatId);
    return combine(seed, f.NumberFormat);
}

namespace {

QString outside(int row, int col)
{
    return QStringLiteral("La cellule (ligne %1, colonne %2) est hors de la feuille")
        .arg(row)
        .arg(col);
}

// The pages a walk over sizes makes: a new page where the next line does not fit any more, or
// where a manual break stands.
QList<int> breaksOf(const QList<int>& manual, int last, double available,
                    const std::function<int(int)>& size)
{
    QList<int> all;
    double used = 0;
    int pageStart = 1;
    auto nextManual = manual.cbegin();
    for (int i = 1; i <= last; ++i) {
        while (nextManual != manual.cend() && *nextManual < i)
            ++nextManual;
        const bool manualHere = nextManual != manual.cend() && *nextManual == i;
        const int s = size(i);
        if (i > pageStart && (manualHere || used + s > available)) {
            all.append(i);
            pageStart = i;
            used = 0;
        }
        used += s;
    }
    return all;
}

} // namespace

// ---- the sheet

Worksheet::Worksheet(Workbook* book, QString name) : Name(std::move(name)), m_book(book)
{
}

void Worksheet::touch()
{
    m_book->touch();
}

void Worksheet::checkCell(int row, int col) const
{
    if (row < 1 || row > Workbook::MaxRow || col < 1 || col > Workbook::MaxCol)
        throw EWorkbookError(outside(row, col));
}

void Worksheet::checkText(int row, int col, const QString& text) const
{
    // A character takes at most seven in the file ("_x0001_"): a short text always fits.
    if (text.size() <= Workbook::MaxTextLength / 7)
        return;
    const qsizetype written = xlsxtext::protectEscapes(text).size();
    if (written > Workbook::MaxTextLength)
        throw EWorkbookError(uiText(UiText::CellTextTooLong)
                                 .arg(cellName(row, col), Name)
                                 .arg(written)
                                 .arg(Workbook::MaxTextLength));
}

QString Worksheet::cellName(int row, int col)
{
    QString letters;
    for (int n = col; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters + QString::number(row);
}

const Cell* Worksheet::cellAt(int row, int col) const
{
    if (row < 1 || row > Workbook::MaxRow || col < 1 || col > Workbook::MaxCol)
        return nullptr;
    const auto it = m_cells.find(cellKey(row, col));
    return it == m_cells.end() ? nullptr : &it->second;
}

Cell& Worksheet::cellFor(int row, int col)
{
    checkCell(row, col);
    const quint64 key = cellKey(row, col);
    // Sheets are mostly written row by row: the cell is the last one or comes after it.
    if (!m_cells.empty()) {
        auto last = std::prev(m_cells.end());
        if (last->first == key)
            return last->second;
        if (last->first < key)
            return m_cells.emplace_hint(m_cells.end(), key, Cell{})->second;
    }
    return m_cells[key];
}

void Worksheet::dropIfBare(quint64 key)
{
    const auto it = m_cells.find(key);
    if (it != m_cells.end() && !it->second.hasValue() && it->second.Format == 0)
        m_cells.erase(it);
}

namespace {

// A number as a cell shows it; one that is not a number, or an infinity, is the spreadsheet's
// error value, as it is written.
QString numberText(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 15) : QStringLiteral("#NUM!");
}

} // namespace

QString Worksheet::Text(int row, int col) const
{
    const Cell* cell = cellAt(row, col);
    if (!cell)
        return QString();
    switch (cell->kind) {
    case Cell::Kind::Empty:
        return QString();
    case Cell::Kind::Text:
        return cell->Text;
    case Cell::Kind::Boolean:
        return cell->Number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case Cell::Kind::Number:
        return numberText(cell->Number);
    case Cell::Kind::Formula:
        return cell->TextResult ? cell->Text : numberText(cell->Number);
    }
    return QString();
}

namespace {

// A cell of the given kind that keeps the format of the one it replaces.
Cell freshCell(Cell::Kind kind, const Cell& old)
{
    Cell cell;
    cell.kind = kind;
    cell.Format = old.Format;
    return cell;
}

} // namespace

void Worksheet::SetText(int row, int col, const QString& text)
{
    checkCell(row, col);
    checkText(row, col, text);
    Cell& cell = cellFor(row, col);
    cell = freshCell(text.isEmpty() ? Cell::Kind::Empty : Cell::Kind::Text, cell);
    cell.Text = text;
    if (text.isEmpty())
        dropIfBare(cellKey(row, col));
    touch();
}

void Worksheet::SetNumber(int row, int col, double value)
{
    Cell& cell = cellFor(row, col);
    cell = freshCell(Cell::Kind::Number, cell);
    cell.Number = value;
    touch();
}

void Worksheet::SetBoolean(int row, int col, bool value)
{
    Cell& cell = cellFor(row, col);
    cell = freshCell(Cell::Kind::Boolean, cell);
    cell.Number = value ? 1.0 : 0.0;
    touch();
}

void Worksheet::SetFormula(int row, int col, const QString& formula, double value)
{
    Cell& cell = cellFor(row, col);
    cell = freshCell(Cell::Kind::Formula, cell);
    cell.Formula = formula;
    cell.Number = value;
    touch();
}

void Worksheet::SetFormulaText(int row, int col, const QString& formula, const QString& value)
{
    checkCell(row, col);
    checkText(row, col, value);
    Cell& cell = cellFor(row, col);
    cell = freshCell(Cell::Kind::Formula, cell);
    cell.Formula = formula;
    cell.Text = value;
    cell.TextResult = true;
    touch();
}

void Worksheet::ClearValue(int row, int col)
{
    SetText(row, col, QString());
}

int Worksheet::LastRow() const
{
    return m_cells.empty() ? 0 : keyRow(m_cells.rbegin()->first);
}

int Worksheet::LastCol() const
{
    int last = 0;
    for (const auto& [key, cell] : m_cells)
        last = std::max(last, keyCol(key));
    return last;
}

int Worksheet::PrintLastRow() const
{
    int last = LastRow();
    for (const Picture& p : Pictures)
        last = std::max(last, int(std::ceil(p.Anchor.bottom())));
    return std::min(last, Workbook::MaxRow);
}

int Worksheet::PrintLastCol() const
{
    int last = LastCol();
    for (const Picture& p : Pictures)
        last = std::max(last, int(std::ceil(p.Anchor.right())));
    return std::min(last, Workbook::MaxCol);
}

const CellFormat& Worksheet::FormatAt(int row, int col) const
{
    const Cell* cell = cellAt(row, col);
    return m_book->format(cell ? cell->Format : 0);
}

void Worksheet::SetFormatAt(int row, int col, const CellFormat& format)
{
    checkCell(row, col);
    const int index = m_book->addFormat(format);
    if (index == 0) {
        const auto it = m_cells.find(cellKey(row, col));
        if (it == m_cells.end())
            return;
        it->second.Format = 0;
        if (!it->second.hasValue())
            m_cells.erase(it);
    } else {
        cellFor(row, col).Format = index;
    }
    touch();
}

void Worksheet::SetSelection(const CellRange& range)
{
    checkCell(range.Row1, range.Col1);
    checkCell(range.Row2, range.Col2);
    m_selection = CellRange{std::min(range.Row1, range.Row2), std::min(range.Col1, range.Col2),
                            std::max(range.Row1, range.Row2), std::max(range.Col1, range.Col2)};
    m_activeRow = m_selection.Row1;
    m_activeCol = m_selection.Col1;
    for (Picture& p : Pictures)
        p.Selected = false;
    touch();
}

void Worksheet::SetActiveCell(int row, int col)
{
    checkCell(row, col);
    if (!m_selection.contains(row, col))
        m_selection = CellRange{row, col, row, col};
    m_activeRow = row;
    m_activeCol = col;
    touch();
}

CellFormat Worksheet::SelectionFormat() const
{
    return FormatAt(m_activeRow, m_activeCol);
}

void Worksheet::SetSelectionFormat(const CellFormat& format)
{
    ModifySelectionFormat([&format](CellFormat& f) { f = format; });
}

void Worksheet::ClearSelection()
{
    if (anyPictureSelected()) {
        Pictures.removeIf([](const Picture& p) { return p.Selected; });
        touch();
        return;
    }
    const CellRange& s = m_selection;
    auto it = m_cells.lower_bound(cellKey(s.Row1, 1));
    while (it != m_cells.end() && keyRow(it->first) <= s.Row2) {
        const int col = keyCol(it->first);
        if (col >= s.Col1 && col <= s.Col2)
            it = m_cells.erase(it);
        else
            ++it;
    }
    touch();
}

int Worksheet::ColWidth(int col) const
{
    const auto it = m_cols.find(col);
    return it == m_cols.end() || it->second.Size < 0 ? DefaultColWidth : it->second.Size;
}

void Worksheet::SetColWidth(int col, int twips)
{
    checkCell(1, col);
    m_cols[col].Size = std::max(0, twips);
    touch();
}

bool Worksheet::ColHidden(int col) const
{
    const auto it = m_cols.find(col);
    return it != m_cols.end() && it->second.Hidden;
}

void Worksheet::SetColHidden(int col, bool hidden)
{
    checkCell(1, col);
    m_cols[col].Hidden = hidden;
    if (m_cols[col] == LineSize{})
        m_cols.erase(col);
    touch();
}

int Worksheet::RowHeight(int row) const
{
    const auto it = m_rows.find(row);
    return it == m_rows.end() || it->second.Size < 0 ? DefaultRowHeight : it->second.Size;
}

void Worksheet::SetRowHeight(int row, int twips)
{
    checkCell(row, 1);
    m_rows[row].Size = std::max(0, twips);
    touch();
}

bool Worksheet::RowHidden(int row) const
{
    const auto it = m_rows.find(row);
    return it != m_rows.end() && it->second.Hidden;
}

void Worksheet::SetRowHidden(int row, bool hidden)
{
    checkCell(row, 1);
    m_rows[row].Hidden = hidden;
    if (m_rows[row] == LineSize{})
        m_rows.erase(row);
    touch();
}

void Worksheet::AddRowBreak(int row)
{
    checkCell(row, 1);
    const auto at = std::lower_bound(RowBreaks.begin(), RowBreaks.end(), row);
    if (row > 1 && (at == RowBreaks.end() || *at != row))
        RowBreaks.insert(at, row);
    touch();
}

void Worksheet::AddColBreak(int col)
{
    checkCell(1, col);
    const auto at = std::lower_bound(ColBreaks.begin(), ColBreaks.end(), col);
    if (col > 1 && (at == ColBreaks.end() || *at != col))
        ColBreaks.insert(at, col);
    touch();
}

QList<int> Worksheet::autoBreaks(const QList<int>& manual, int last, bool rows) const
{
    QSizeF paper = m_book->PageSize;
    if (Print.Landscape)
        paper.transpose();
    const double scale = std::clamp(Print.Scale, 10, 400) / 100.0;
    // Twips of the sheet that one page holds.
    const double available =
        rows ? (paper.height() * 20 - (Print.TopMargin + Print.BottomMargin) * 1440) / scale
             : (paper.width() * 20 - (Print.LeftMargin + Print.RightMargin) * 1440) / scale;
    if (rows)
        return breaksOf(manual, last, available, [this](int i) { return ShownRowHeight(i); });
    return breaksOf(manual, last, available, [this](int i) { return ShownColWidth(i); });
}

QList<int> Worksheet::AllRowBreaks() const
{
    return autoBreaks(RowBreaks, PrintLastRow(), true);
}

QList<int> Worksheet::AllColBreaks() const
{
    return autoBreaks(ColBreaks, PrintLastCol(), false);
}

QList<PrintPage> Worksheet::Pages() const
{
    const int lastRow = std::max(1, PrintLastRow());
    const int lastCol = std::max(1, PrintLastCol());
    const auto bands = [](const QList<int>& breaks, int last) {
        QList<std::pair<int, int>> out;
        int start = 1;
        for (int b : breaks) {
            out.append({start, b - 1});
            start = b;
        }
        out.append({start, last});
        return out;
    };
    QList<PrintPage> pages;
    const auto rowBands = bands(AllRowBreaks(), lastRow);
    for (const auto& [c1, c2] : bands(AllColBreaks(), lastCol)) {
        for (const auto& [r1, r2] : rowBands)
            pages.append(PrintPage{CellRange{r1, c1, r2, c2}});
    }
    return pages;
}

int Worksheet::AddPicture(const QImage& image, const QRectF& anchor)
{
    Picture picture;
    picture.Id = m_book->newObjectId();
    picture.Image = image;
    QBuffer buffer(&picture.Data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    picture.Anchor = anchor.normalized();
    Pictures.append(picture);
    touch();
    return picture.Id;
}

Picture* Worksheet::findPicture(int id)
{
    for (Picture& p : Pictures) {
        if (p.Id == id)
            return &p;
    }
    return nullptr;
}

bool Worksheet::anyPictureSelected() const
{
    return std::any_of(Pictures.cbegin(), Pictures.cend(),
                       [](const Picture& p) { return p.Selected; });
}

bool Worksheet::sameContent(const Worksheet& other) const
{
    if (m_cells.size() != other.m_cells.size())
        return false;
    for (auto a = m_cells.cbegin(), b = other.m_cells.cbegin(); a != m_cells.cend(); ++a, ++b) {
        Cell x = a->second;
        Cell y = b->second;
        if (a->first != b->first || !(m_book->format(x.Format) == other.book().format(y.Format)))
            return false;
        x.Format = y.Format = 0;
        if (!(x == y))
            return false;
    }
    const auto picturesAlike = [this, &other] {
        if (Pictures.size() != other.Pictures.size())
            return false;
        for (qsizetype i = 0; i < Pictures.size(); ++i) {
            if (Pictures[i].Image != other.Pictures[i].Image ||
                Pictures[i].Anchor != other.Pictures[i].Anchor)
                return false;
        }
        return true;
    };
    return Merged == other.Merged && DefaultColWidth == other.DefaultColWidth &&
           DefaultRowHeight == other.DefaultRowHeight && m_cols == other.m_cols &&
           m_rows == other.m_rows && Print == other.Print && ViewScale == other.ViewScale &&
           RowBreaks == other.RowBreaks && ColBreaks == other.ColBreaks && picturesAlike();
}

// ---- the book

Workbook::Workbook(QObject* parent) : QObject(parent)
{
    m_formats.push_back(CellFormat{});
    m_formatIndex.insert(CellFormat{}, 0);
    m_sheets.push_back(std::make_unique<Worksheet>(this, QStringLiteral("Sheet1")));
}

Workbook::~Workbook() = default;

void Workbook::SetCurrentSheet(int n)
{
    if (n >= 1 && n <= SheetCount() && n != m_current) {
        m_current = n;
        touch();
    }
}

Worksheet& Workbook::sheet(int n)
{
    if (n < 1 || n > SheetCount())
        throw EWorkbookError(QStringLiteral("Pas de feuille %1 dans le classeur").arg(n));
    return *m_sheets[size_t(n - 1)];
}

const Worksheet& Workbook::sheet(int n) const
{
    return const_cast<Workbook*>(this)->sheet(n);
}

void Workbook::SetSheetName(int n, const QString& name)
{
    sheet(n).Name = name;
    touch();
}

QString Workbook::freeSheetName() const
{
    for (int i = 1;; ++i) {
        const QString name = QStringLiteral("Sheet%1").arg(i);
        if (SheetByName(name) == 0)
            return name;
    }
}

void Workbook::InsertSheets(int before, int count)
{
    before = std::clamp(before, 1, SheetCount() + 1);
    for (int i = 0; i < count; ++i) {
        m_sheets.insert(m_sheets.begin() + (before - 1 + i),
                        std::make_unique<Worksheet>(this, freeSheetName()));
    }
    if (count > 0 && before <= m_current)
        m_current += count;
    touch();
}

void Workbook::DeleteSheets(int first, int count)
{
    first = std::max(first, 1);
    count = std::min(count, SheetCount() - first + 1);
    count = std::min(count, SheetCount() - 1);
    if (count <= 0)
        return;
    m_sheets.erase(m_sheets.begin() + (first - 1), m_sheets.begin() + (first - 1 + count));
    if (m_current >= first + count)
        m_current -= count;
    else if (m_current >= first)
        m_current = std::min(first, SheetCount());
    touch();
}

int Workbook::CopySheet(const Workbook& from, int n, const QString& name)
{
    const Worksheet& source = from.sheet(n);
    auto copy = std::make_unique<Worksheet>(this, name);
    for (const auto& [key, cell] : source.m_cells) {
        Cell c = cell;
        c.Format = addFormat(from.format(cell.Format));
        copy->m_cells.emplace_hint(copy->m_cells.end(), key, std::move(c));
    }
    copy->Merged = source.Merged;
    copy->DefaultColWidth = source.DefaultColWidth;
    copy->DefaultRowHeight = source.DefaultRowHeight;
    copy->m_cols = source.m_cols;
    copy->m_rows = source.m_rows;
    copy->m_selection = source.m_selection;
    copy->m_activeRow = source.m_activeRow;
    copy->m_activeCol = source.m_activeCol;
    copy->Print = source.Print;
    copy->ViewScale = source.ViewScale;
    copy->TopRow = source.TopRow;
    copy->LeftCol = source.LeftCol;
    copy->RowBreaks = source.RowBreaks;
    copy->ColBreaks = source.ColBreaks;
    for (Picture p : source.Pictures) {
        p.Id = newObjectId();
        p.Selected = false;
        copy->Pictures.append(p);
    }
    m_sheets.push_back(std::move(copy));
    touch();
    return SheetCount();
}

int Workbook::SheetByName(const QString& name) const
{
    for (int i = 1; i <= SheetCount(); ++i) {
        if (sheet(i).Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return 0;
}

QString Workbook::SheetNameFault(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("un nom de feuille vide");
    if (name.size() > MaxSheetNameLength)
        return QStringLiteral("le nom de feuille « %1 » dépasse 31 caractères").arg(name);
    for (QChar c : name) {
        if (QStringLiteral("[]:*?/\\").contains(c))
            return QStringLiteral("le nom de feuille « %1 » contient « %2 »").arg(name, c);
    }
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return QStringLiteral("le nom de feuille « %1 » commence ou finit par une apostrophe")
            .arg(name);
    return QString();
}

QString Workbook::FitSheetName(const QString& name, const QStringList& taken)
{
    QString base = name;
    for (QChar& c : base) {
        if (QStringLiteral("[]:*?/\\").contains(c))
            c = QLatin1Char('_');
    }
    if (base.startsWith(QLatin1Char('\'')))
        base[0] = QLatin1Char('_');
    base = base.left(MaxSheetNameLength);
    if (base.endsWith(QLatin1Char('\'')))
        base[base.size() - 1] = QLatin1Char('_');
    if (base.isEmpty())
        base = QStringLiteral("Sheet");
    QString candidate = base;
    for (int extra = 1; taken.contains(candidate, Qt::CaseInsensitive); ++extra) {
        const int keep = std::max(0, MaxSheetNameLength - extra);
        candidate = base.left(keep) + QString(std::min(extra, MaxSheetNameLength), u'_');
    }
    return candidate;
}

int Workbook::addFormat(const CellFormat& format)
{
    // A run of cells mostly takes one format: comparing costs less than hashing.
    if (m_lastFormat < int(m_formats.size()) && m_formats[size_t(m_lastFormat)] == format)
        return m_lastFormat;
    const int index = findOrAddFormat(format);
    m_lastFormat = index;
    return index;
}

int Workbook::findOrAddFormat(const CellFormat& format)
{
    const auto it = m_formatIndex.constFind(format);
    if (it != m_formatIndex.cend())
        return *it;
    m_formats.push_back(format);
    const int index = int(m_formats.size() - 1);
    m_formatIndex.insert(format, index);
    return index;
}

void Workbook::SetRepaintEnabled(bool on)
{
    if (on == m_repaint)
        return;
    m_repaint = on;
    if (on)
        emit changed();
}

void Workbook::touch()
{
    if (m_repaint)
        emit changed();
}

void Workbook::Clear()
{
    m_sheets.clear();
    m_sheets.push_back(std::make_unique<Worksheet>(this, QStringLiteral("Sheet1")));
    m_current = 1;
    m_formats.resize(1);
    m_lastFormat = 0;
    m_formatIndex.clear();
    m_formatIndex.insert(CellFormat{}, 0);
    touch();
}

void Workbook::TakeContents(Workbook& other)
{
    m_sheets = std::move(other.m_sheets);
    for (auto& s : m_sheets)
        s->m_book = this;
    m_formats = std::move(other.m_formats);
    m_formatIndex = std::move(other.m_formatIndex);
    m_lastFormat = 0;
    m_current = std::clamp(other.m_current, 1, SheetCount());
    m_lastObjectId = std::max(m_lastObjectId, other.m_lastObjectId);
    Title = other.Title;
    other.m_sheets.clear();
    other.Clear();
    touch();
}
