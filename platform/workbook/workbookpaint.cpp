// Drawing a sheet with QPainter, for the view, pictures and printing alike.
#include "workbookpaint.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>
#include <vector>

namespace {

QColor colorOf(QRgb rgb)
{
    return QColor::fromRgb(rgb | 0xFF000000);
}

// Where the visible columns (rows) fall: the device position of each one's first unit and of the
// one after it.
struct Band
{
    int first = 1;
    std::vector<double> edges; // edges[i] is the start of line first + i; one more at the end

    int last() const { return first + int(edges.size()) - 2; }
    bool holds(int i) const { return i >= first && i <= last(); }
    double start(int i) const { return edges[size_t(i - first)]; }
    double end(int i) const { return edges[size_t(i - first + 1)]; }
};

template <class Size>
Band bandOf(int first, int last, int max, double origin, double limit, double scale, Size size)
{
    Band band;
    band.first = first;
    double twips = 0;
    band.edges.push_back(std::round(origin));
    for (int i = first; i <= max && (last > 0 ? i <= last : true); ++i) {
        if (last <= 0 && origin + twips * scale >= limit)
            break;
        twips += size(i);
        band.edges.push_back(std::round(origin + twips * scale));
    }
    return band;
}

// Fill patterns as Qt draws them; 1 is solid.
Qt::BrushStyle brushOf(quint8 pattern)
{
    switch (pattern) {
    case 2: // medium grey
    case 3: // dark grey
        return Qt::Dense4Pattern;
    case 4: // light grey
        return Qt::Dense6Pattern;
    case 5:
    case 11:
        return Qt::HorPattern;
    case 6:
    case 12:
        return Qt::VerPattern;
    case 7:
    case 13:
        return Qt::FDiagPattern;
    case 8:
    case 14:
        return Qt::BDiagPattern;
    case 9:
    case 15:
        return Qt::CrossPattern;
    case 10:
    case 16:
        return Qt::DiagCrossPattern;
    case 17:
    case 18:
        return Qt::Dense7Pattern;
    default:
        return Qt::SolidPattern;
    }
}

class SheetPainter
{
public:
    SheetPainter(QPainter& painter, const Worksheet& sheet, const QRectF& area,
                 const SheetView& view)
        : m_painter(painter), m_sheet(sheet), m_area(area), m_view(view)
    {
        const double scale = view.PixelsPerTwip;
        m_cols = bandOf(view.LeftCol, view.LastCol, Workbook::MaxCol, area.left(), area.right(),
                        scale, [&sheet](int c) { return sheet.ShownColWidth(c); });
        m_rows = bandOf(view.TopRow, view.LastRow, Workbook::MaxRow, area.top(), area.bottom(),
                        scale, [&sheet](int r) { return sheet.ShownRowHeight(r); });
        const QPaintDevice* device = painter.device();
        m_deviceDpi = device ? device->logicalDpiY() : 96;
        m_pad = std::round(2 * 15 * scale);
    }

    void paint()
    {
        m_painter.save();
        m_painter.setClipRect(m_area);
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.fillRect(m_area, Qt::white);
        if (m_view.GridLines)
            paintGrid();
        forEachCell([this](int row, int col, const Cell& cell) { paintFill(row, col, cell); });
        forEachCell([this](int row, int col, const Cell& cell) { paintBorders(row, col, cell); });
        forEachCell([this](int row, int col, const Cell& cell) { paintText(row, col, cell); });
        if (m_view.Pictures)
            paintPictures();
        if (m_view.PageBreaks)
            paintBreaks();
        if (m_view.Selection)
            paintSelection();
        m_painter.restore();
    }

private:
    // The block of cells a cell stands for: its merged block when it heads one.
    CellRange blockOf(int row, int col) const
    {
        for (const CellRange& m : m_sheet.Merged) {
            if (m.contains(row, col))
                return m;
        }
        return CellRange{row, col, row, col};
    }

    QRectF rectOf(const CellRange& r) const
    {
        const auto x = [this](int col, bool end) {
            if (col < m_cols.first)
                return m_cols.edges.front();
            if (col > m_cols.last())
                return m_cols.edges.back();
            return end ? m_cols.end(col) : m_cols.start(col);
        };
        const auto y = [this](int row, bool end) {
            if (row < m_rows.first)
                return m_rows.edges.front();
            if (row > m_rows.last())
                return m_rows.edges.back();
            return end ? m_rows.end(row) : m_rows.start(row);
        };
        return QRectF(QPointF(x(r.Col1, false), y(r.Row1, false)),
                      QPointF(x(r.Col2, true), y(r.Row2, true)));
    }

    template <class Visit> void forEachCell(Visit visit) const
    {
        if (m_cols.edges.size() < 2 || m_rows.edges.size() < 2)
            return;
        const auto& cells = m_sheet.cells();
        for (int row = m_rows.first; row <= m_rows.last(); ++row) {
            auto it = cells.lower_bound(Worksheet::cellKey(row, m_cols.first));
            const auto end = cells.upper_bound(Worksheet::cellKey(row, m_cols.last()));
            for (; it != end; ++it)
                visit(row, Worksheet::keyCol(it->first), it->second);
        }
        // Merged blocks whose first cell lies above or left of the view still show.
        for (const CellRange& m : m_sheet.Merged) {
            if ((m.Row1 < m_rows.first || m.Col1 < m_cols.first) && m.Row2 >= m_rows.first &&
                m.Col2 >= m_cols.first) {
                if (const Cell* cell = m_sheet.cellAt(m.Row1, m.Col1))
                    visit(m.Row1, m.Col1, *cell);
            }
        }
    }

    bool insideMergedTail(int row, int col) const
    {
        const CellRange b = blockOf(row, col);
        return b.Row1 != row || b.Col1 != col;
    }

    void paintGrid()
    {
        const QColor grid(0xD0, 0xD0, 0xD0);
        const double w = m_view.LineWidth;
        for (int col = m_cols.first; col <= m_cols.last(); ++col) {
            if (m_sheet.ShownColWidth(col) > 0)
                m_painter.fillRect(QRectF(m_cols.end(col) - w, m_rows.edges.front(), w,
                                          m_rows.edges.back() - m_rows.edges.front()),
                                   grid);
        }
        for (int row = m_rows.first; row <= m_rows.last(); ++row) {
            if (m_sheet.ShownRowHeight(row) > 0)
                m_painter.fillRect(QRectF(m_cols.edges.front(), m_rows.end(row) - w,
                                          m_cols.edges.back() - m_cols.edges.front(), w),
                                   grid);
        }
    }

    void paintFill(int row, int col, const Cell& cell)
    {
        if (insideMergedTail(row, col))
            return;
        const CellFormat& f = m_sheet.book().format(cell.Format);
        const CellRange block = blockOf(row, col);
        const QRectF r = rectOf(block);
        if (block.cellCount() > 1 && f.Pattern == 0)
            m_painter.fillRect(r, Qt::white); // a merged block shows no grid inside
        if (f.Pattern == 0)
            return;
        if (f.Pattern != 1)
            m_painter.fillRect(r, colorOf(f.BackColor));
        m_painter.fillRect(r, QBrush(colorOf(f.PatternColor), brushOf(f.Pattern)));
    }

    void paintBorders(int row, int col, const Cell& cell)
    {
        const CellFormat& f = m_sheet.book().format(cell.Format);
        if (f.Borders == std::array<quint8, 4>{})
            return;
        const QRectF r = rectOf(CellRange{row, col, row, col});
        const auto width = [this](quint8 style) {
            const bool heavy = style == 2 || style == 5 || style == 6 || style == 8 ||
                               style == 10 || style == 12 || style == 13;
            return m_view.LineWidth * (heavy ? 2 : 1);
        };
        m_painter.save();
        const QColor black(Qt::black);
        if (const quint8 s = f.border(BorderSide::Left))
            m_painter.fillRect(QRectF(r.left() - m_view.LineWidth, r.top() - m_view.LineWidth,
                                      width(s), r.height() + m_view.LineWidth),
                               black);
        if (const quint8 s = f.border(BorderSide::Right))
            m_painter.fillRect(QRectF(r.right() - m_view.LineWidth, r.top() - m_view.LineWidth,
                                      width(s), r.height() + m_view.LineWidth),
                               black);
        if (const quint8 s = f.border(BorderSide::Top))
            m_painter.fillRect(QRectF(r.left() - m_view.LineWidth, r.top() - m_view.LineWidth,
                                      r.width() + m_view.LineWidth, width(s)),
                               black);
        if (const quint8 s = f.border(BorderSide::Bottom))
            m_painter.fillRect(QRectF(r.left() - m_view.LineWidth, r.bottom() - m_view.LineWidth,
                                      r.width() + m_view.LineWidth, width(s)),
                               black);
        m_painter.restore();
    }

    QFont fontOf(int formatIndex)
    {
        const auto it = m_fonts.constFind(formatIndex);
        if (it != m_fonts.cend())
            return *it;
        const CellFont& cf = m_sheet.book().format(formatIndex).Font;
        QFont font(cf.Name);
        // Points on this device that make the font's size at the view's scale.
        font.setPointSizeF(std::max(0.5, cf.Size * m_view.PixelsPerTwip * 1440 / m_deviceDpi));
        font.setBold(cf.Bold);
        font.setItalic(cf.Italic);
        font.setUnderline(cf.Underline);
        font.setStrikeOut(cf.StrikeOut);
        m_fonts.insert(formatIndex, font);
        return font;
    }

    bool emptyAt(int row, int col) const
    {
        const Cell* c = m_sheet.cellAt(row, col);
        return (!c || !c->hasValue()) && !insideMergedTail(row, col);
    }

    void paintText(int row, int col, const Cell& cell)
    {
        if (!cell.hasValue() || insideMergedTail(row, col))
            return;
        const QString text = m_sheet.Text(row, col);
        if (text.isEmpty())
            return;
        const CellFormat& f = m_sheet.book().format(cell.Format);
        const CellRange block = blockOf(row, col);
        QRectF r = rectOf(block);
        if (r.width() <= 0 || r.height() <= 0)
            return;
        const bool number = cell.kind == Cell::Kind::Number ||
                            (cell.kind == Cell::Kind::Formula && !cell.TextResult);
        int flags = 0;
        HAlign h = f.Horizontal;
        if (h == HAlign::General)
            h = number ? HAlign::Right : HAlign::Left;
        const bool single = block.cellCount() == 1 && !f.WordWrap;
        switch (h) {
        case HAlign::Center:
            flags |= Qt::AlignHCenter;
            break;
        case HAlign::Right:
            flags |= Qt::AlignRight;
            if (single) {
                for (int c = col - 1; c >= m_cols.first && emptyAt(row, c); --c)
                    r.setLeft(m_cols.start(c));
            }
            break;
        case HAlign::CenterAcross: {
            flags |= Qt::AlignHCenter;
            const auto across = [this, row](int c) {
                return m_cols.holds(c) && emptyAt(row, c) &&
                       m_sheet.FormatAt(row, c).Horizontal == HAlign::CenterAcross;
            };
            for (int c = col + 1; across(c); ++c)
                r.setRight(m_cols.end(c));
            for (int c = col - 1; across(c); --c)
                r.setLeft(m_cols.start(c));
            break;
        }
        default:
            flags |= Qt::AlignLeft;
            if (single) {
                for (int c = col + 1; c <= m_cols.last() && emptyAt(row, c); ++c)
                    r.setRight(m_cols.end(c));
            }
            break;
        }
        flags |= f.Vertical == VAlign::Top      ? Qt::AlignTop
                 : f.Vertical == VAlign::Center ? Qt::AlignVCenter
                                                : Qt::AlignBottom;
        if (f.WordWrap || h == HAlign::Justify)
            flags |= Qt::TextWordWrap;
        m_painter.setFont(fontOf(cell.Format));
        m_painter.setPen(colorOf(f.Font.Color));
        m_painter.drawText(r.adjusted(m_pad, 0, -m_pad, -m_view.LineWidth), flags, text);
    }

    void paintPictures()
    {
        const double scale = m_view.PixelsPerTwip;
        const auto x = [this, scale](double position) {
            const int whole = int(position);
            double twips = twipsAcrossCols(m_sheet, m_cols.first, whole + 1);
            if (whole + 1 <= Workbook::MaxCol)
                twips += (position - whole) * m_sheet.ShownColWidth(whole + 1);
            return m_area.left() + twips * scale;
        };
        const auto y = [this, scale](double position) {
            const int whole = int(position);
            double twips = twipsAcrossRows(m_sheet, m_rows.first, whole + 1);
            if (whole + 1 <= Workbook::MaxRow)
                twips += (position - whole) * m_sheet.ShownRowHeight(whole + 1);
            return m_area.top() + twips * scale;
        };
        for (const Picture& p : m_sheet.Pictures) {
            if (p.Anchor.bottom() < m_rows.first - 1 || p.Anchor.top() > m_rows.last() ||
                p.Anchor.right() < m_cols.first - 1 || p.Anchor.left() > m_cols.last())
                continue;
            const QRectF target(QPointF(x(p.Anchor.left()), y(p.Anchor.top())),
                                QPointF(x(p.Anchor.right()), y(p.Anchor.bottom())));
            if (!target.intersects(m_area))
                continue;
            m_painter.drawImage(target, p.Image);
            if (p.Selected && m_view.Selection)
                m_painter.fillRect(target, QColor(0, 120, 215, 60));
        }
    }

    void paintBreaks()
    {
        QPen pen(QColor(0, 0, 160), m_view.LineWidth, Qt::DashLine);
        m_painter.setPen(pen);
        for (int row : m_sheet.AllRowBreaks()) {
            if (m_rows.holds(row)) {
                const double y = m_rows.start(row) - m_view.LineWidth / 2;
                m_painter.drawLine(QPointF(m_cols.edges.front(), y),
                                   QPointF(m_cols.edges.back(), y));
            }
        }
        for (int col : m_sheet.AllColBreaks()) {
            if (m_cols.holds(col)) {
                const double x = m_cols.start(col) - m_view.LineWidth / 2;
                m_painter.drawLine(QPointF(x, m_rows.edges.front()),
                                   QPointF(x, m_rows.edges.back()));
            }
        }
    }

    void paintSelection()
    {
        const CellRange& s = m_sheet.Selection();
        const QRectF block = rectOf(s);
        if (s.cellCount() > 1) {
            const QRectF active =
                rectOf(CellRange{m_sheet.Row(), m_sheet.Col(), m_sheet.Row(), m_sheet.Col()});
            QRegion shaded = QRegion(block.toAlignedRect()).subtracted(active.toAlignedRect());
            for (const QRect& part : shaded)
                m_painter.fillRect(part, QColor(0, 120, 215, 50));
        }
        QPen pen(Qt::black, 2 * m_view.LineWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        m_painter.setPen(pen);
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawRect(block.adjusted(-m_view.LineWidth, -m_view.LineWidth, 0, 0));
    }

    QPainter& m_painter;
    const Worksheet& m_sheet;
    QRectF m_area;
    SheetView m_view;
    Band m_cols;
    Band m_rows;
    int m_deviceDpi = 96;
    double m_pad = 2;
    QHash<int, QFont> m_fonts;
};

// The header or footer text: "&L", "&C" and "&R" start the left, centre and right parts; "&P"
// is the page number, "&N" the number of pages, "&D" and "&T" the date and time, "&A" the sheet's
// name, "&F" the file's name and "&&" an ampersand; other codes (fonts, sizes) are left out.
std::array<QString, 3> headerParts(const QString& text, const Worksheet& sheet, int page, int pages)
{
    std::array<QString, 3> parts;
    int part = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'&' || i + 1 >= text.size()) {
            parts[size_t(part)] += c;
            continue;
        }
        const QChar code = text.at(++i).toUpper();
        if (code == u'L' || code == u'C' || code == u'R')
            part = code == u'L' ? 0 : code == u'C' ? 1 : 2;
        else if (code == u'P')
            parts[size_t(part)] += QString::number(page);
        else if (code == u'N')
            parts[size_t(part)] += QString::number(pages);
        else if (code == u'D')
            parts[size_t(part)] += QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
        else if (code == u'T')
            parts[size_t(part)] += QLocale().toString(QTime::currentTime(), QLocale::ShortFormat);
        else if (code == u'A')
            parts[size_t(part)] += sheet.Name;
        else if (code == u'F')
            parts[size_t(part)] += QFileInfo(sheet.book().FileName).fileName();
        else if (code == u'&')
            parts[size_t(part)] += u'&';
        else if (code == u'"') {
            while (i + 1 < text.size() && text.at(++i) != u'"') {
            }
        } else {
            while (i + 1 < text.size() && text.at(i + 1).isDigit())
                ++i;
        }
    }
    return parts;
}

} // namespace

double twipsAcrossCols(const Worksheet& sheet, int from, int to)
{
    double twips = 0;
    for (int c = std::min(from, to); c < std::max(from, to); ++c)
        twips += sheet.ShownColWidth(c);
    return to >= from ? twips : -twips;
}

double twipsAcrossRows(const Worksheet& sheet, int from, int to)
{
    double twips = 0;
    for (int r = std::min(from, to); r < std::max(from, to); ++r)
        twips += sheet.ShownRowHeight(r);
    return to >= from ? twips : -twips;
}

void paintSheet(QPainter& painter, const Worksheet& sheet, const QRectF& area,
                const SheetView& view)
{
    SheetPainter(painter, sheet, area, view).paint();
}

bool cellAtPoint(const Worksheet& sheet, const SheetView& view, const QPointF& point, int& row,
                 int& col)
{
    const auto walk = [](double at, int first, int max, double scale, auto size, int& found) {
        double edge = 0;
        for (int i = first; i <= max; ++i) {
            edge += size(i) * scale;
            if (at < edge) {
                found = i;
                return true;
            }
        }
        return false;
    };
    if (point.x() < 0 || point.y() < 0)
        return false;
    return walk(
               point.x(), view.LeftCol, Workbook::MaxCol, view.PixelsPerTwip,
               [&sheet](int c) { return sheet.ShownColWidth(c); }, col) &&
           walk(
               point.y(), view.TopRow, Workbook::MaxRow, view.PixelsPerTwip,
               [&sheet](int r) { return sheet.ShownRowHeight(r); }, row);
}

void paintPage(QPainter& painter, const Worksheet& sheet, const PrintPage& page,
               const QRectF& paper, double dpi, int pageNumber, int pageCount)
{
    const PrintSettings& p = sheet.Print;
    const double scale = std::clamp(p.Scale, 10, 400) / 100.0;
    SheetView view;
    view.PixelsPerTwip = dpi / 1440 * scale;
    view.LineWidth = std::max(1.0, std::round(dpi / 96));
    view.TopRow = page.Cells.Row1;
    view.LeftCol = page.Cells.Col1;
    view.LastRow = page.Cells.Row2;
    view.LastCol = page.Cells.Col2;
    view.GridLines = p.GridLines;
    const QRectF printable(paper.left() + p.LeftMargin * dpi, paper.top() + p.TopMargin * dpi,
                           paper.width() - (p.LeftMargin + p.RightMargin) * dpi,
                           paper.height() - (p.TopMargin + p.BottomMargin) * dpi);
    const double width =
        twipsAcrossCols(sheet, page.Cells.Col1, page.Cells.Col2 + 1) * view.PixelsPerTwip;
    const double height =
        twipsAcrossRows(sheet, page.Cells.Row1, page.Cells.Row2 + 1) * view.PixelsPerTwip;
    QPointF origin = printable.topLeft();
    if (p.HCenter && width < printable.width())
        origin.rx() += (printable.width() - width) / 2;
    if (p.VCenter && height < printable.height())
        origin.ry() += (printable.height() - height) / 2;
    paintSheet(painter, sheet, QRectF(origin, QSizeF(width + view.LineWidth, height)), view);

    const auto band = [&](const QString& text, bool header) {
        if (text.isEmpty())
            return;
        painter.save();
        QFont font(CellFont().Name);
        font.setPointSizeF(CellFont().Size * dpi / std::max(1, painter.device()->logicalDpiY()));
        painter.setFont(font);
        painter.setPen(Qt::black);
        const double lineHeight = painter.fontMetrics().height();
        const double y = header ? paper.top() + p.HeaderMargin * dpi
                                : paper.bottom() - p.FooterMargin * dpi - lineHeight;
        const QRectF line(paper.left() + p.LeftMargin * dpi, y,
                          paper.width() - (p.LeftMargin + p.RightMargin) * dpi, lineHeight);
        const auto parts = headerParts(text, sheet, pageNumber, pageCount);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, parts[0]);
        painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter, parts[1]);
        painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, parts[2]);
        painter.restore();
    };
    band(p.Header, true);
    band(p.Footer, false);
}
