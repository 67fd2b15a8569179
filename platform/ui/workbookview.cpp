// The spreadsheet control over the workbook model and its painting routine.
#include "workbookview.h"

#include <platform/workbook/workbookpaint.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

WorkbookView::WorkbookView(QWidget* parent) : QWidget(parent), m_book(std::make_unique<Workbook>())
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(40, 40);
    attach();
    updateCursor();
}

WorkbookView::~WorkbookView()
{
    disconnect(m_changed);
}

void WorkbookView::attach()
{
    disconnect(m_changed);
    m_changed = connect(m_book.get(), &Workbook::changed, this, qOverload<>(&QWidget::update));
    setUpdatesEnabled(m_book->RepaintEnabled());
    update();
}

std::unique_ptr<Workbook> WorkbookView::takeBook()
{
    disconnect(m_changed);
    std::unique_ptr<Workbook> book = std::move(m_book);
    m_book = std::make_unique<Workbook>();
    attach();
    return book;
}

int WorkbookView::ViewScale() const
{
    return m_book->current().ViewScale;
}

void WorkbookView::SetViewScale(int percent)
{
    Worksheet& sheet = m_book->current();
    percent = std::clamp(percent, 10, 400);
    if (sheet.ViewScale != percent) {
        sheet.ViewScale = percent;
        m_book->touch();
    }
}

int WorkbookView::TopRow() const
{
    return m_book->current().TopRow;
}

int WorkbookView::LeftCol() const
{
    return m_book->current().LeftCol;
}

void WorkbookView::SetTopLeft(int row, int col)
{
    Worksheet& sheet = m_book->current();
    row = std::clamp(row, 1, Workbook::MaxRow);
    col = std::clamp(col, 1, Workbook::MaxCol);
    if (row == sheet.TopRow && col == sheet.LeftCol)
        return;
    sheet.TopRow = row;
    sheet.LeftCol = col;
    m_book->touch();
    topLeftChanged();
}

void WorkbookView::SetRepaintFlag(bool on)
{
    m_book->SetRepaintEnabled(on);
    setUpdatesEnabled(on);
}

void WorkbookView::SetShowPageBreaks(bool show)
{
    m_showBreaks = show;
    update();
}

void WorkbookView::SetMousePointer(int pointer)
{
    m_pointer = pointer;
    updateCursor();
}

void WorkbookView::updateCursor()
{
    // A cursor of the caller's own (setCursor) is left alone.
    if (testAttribute(Qt::WA_SetCursor) && cursor().shape() == Qt::BitmapCursor)
        return;
    setCursor(m_pointer == 1 ? Qt::ArrowCursor : Qt::CrossCursor);
}

double WorkbookView::pixelsPerTwip() const
{
    return ViewScale() / 100.0 * logicalDpiX() / 1440.0;
}

bool WorkbookView::cellAt(const QPoint& point, int& row, int& col) const
{
    SheetView view;
    view.PixelsPerTwip = pixelsPerTwip();
    view.TopRow = TopRow();
    view.LeftCol = LeftCol();
    return cellAtPoint(m_book->current(), view, point, row, col);
}

void WorkbookView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SheetView view;
    view.PixelsPerTwip = pixelsPerTwip();
    view.TopRow = TopRow();
    view.LeftCol = LeftCol();
    view.GridLines = ShowGridLines;
    view.PageBreaks = m_showBreaks;
    view.Selection = ShowSelections == 2 || (ShowSelections == 1 && hasFocus());
    paintSheet(painter, m_book->current(), rect(), view);
}

void WorkbookView::selectionChanged()
{
    if (OnSelChange)
        OnSelChange(this);
}

void WorkbookView::topLeftChanged()
{
    if (OnTopLeftChanged)
        OnTopLeftChanged(this);
}

void WorkbookView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    int row = 0;
    int col = 0;
    if (event->button() != Qt::LeftButton || !cellAt(event->position().toPoint(), row, col))
        return;
    Worksheet& sheet = m_book->current();
    if (event->modifiers() & Qt::ShiftModifier) {
        sheet.SetSelection(CellRange{m_anchorRow, m_anchorCol, row, col});
        sheet.SetActiveCell(m_anchorRow, m_anchorCol);
    } else {
        m_anchorRow = row;
        m_anchorCol = col;
        sheet.SetSelection(CellRange{row, col, row, col});
    }
    m_dragging = true;
    selectionChanged();
}

void WorkbookView::mouseMoveEvent(QMouseEvent* event)
{
    int row = 0;
    int col = 0;
    if (!m_dragging || !cellAt(event->position().toPoint(), row, col))
        return;
    Worksheet& sheet = m_book->current();
    const CellRange wanted{m_anchorRow, m_anchorCol, row, col};
    const CellRange normal{std::min(m_anchorRow, row), std::min(m_anchorCol, col),
                           std::max(m_anchorRow, row), std::max(m_anchorCol, col)};
    if (sheet.Selection() == normal)
        return;
    sheet.SetSelection(wanted);
    sheet.SetActiveCell(m_anchorRow, m_anchorCol);
    selectionChanged();
}

void WorkbookView::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    if (OnMouseUp)
        OnMouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void WorkbookView::mouseDoubleClickEvent(QMouseEvent*)
{
    if (OnDblClick)
        OnDblClick(this);
}

void WorkbookView::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    if (OnKeyDown)
        OnKeyDown(this, key, event->modifiers());
    if (key == 0)
        return;
    Worksheet& sheet = m_book->current();
    int row = sheet.Row();
    int col = sheet.Col();
    const int page =
        std::max(1, int(height() / std::max(1.0, sheet.DefaultRowHeight * pixelsPerTwip())));
    switch (key) {
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    case Qt::Key_Left:
        --col;
        break;
    case Qt::Key_Right:
        ++col;
        break;
    case Qt::Key_PageUp:
        row -= page;
        break;
    case Qt::Key_PageDown:
        row += page;
        break;
    case Qt::Key_Home:
        col = 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    row = std::clamp(row, 1, Workbook::MaxRow);
    col = std::clamp(col, 1, Workbook::MaxCol);
    m_anchorRow = row;
    m_anchorCol = col;
    sheet.SetSelection(CellRange{row, col, row, col});
    // The active cell stays in the window.
    int top = std::min(TopRow(), row);
    int left = std::min(LeftCol(), col);
    int lastRow = 0;
    int lastCol = 0;
    if (cellAt(QPoint(width() - 1, height() - 1), lastRow, lastCol)) {
        if (row > lastRow - 1 && row > top)
            top += row - std::max(top, lastRow - 1);
        if (col > lastCol - 1 && col > left)
            left += col - std::max(left, lastCol - 1);
    }
    SetTopLeft(top, left);
    selectionChanged();
}

void WorkbookView::keyReleaseEvent(QKeyEvent* event)
{
    int key = event->key();
    if (OnKeyUp)
        OnKeyUp(this, key, event->modifiers());
    if (key != 0)
        QWidget::keyReleaseEvent(event);
}

void WorkbookView::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 40;
    if (steps != 0)
        SetTopLeft(TopRow() - steps, LeftCol());
    event->accept();
}
