// The spreadsheet control: a window over a workbook's current sheet, drawn by the workbook's one
// painting routine at the sheet's zoom, from its top-left cell. It selects cells with the mouse
// and the keyboard, tells where a point falls, and reports the six events a viewer listens to.
#pragma once

#include <platform/systemnames.h>
#include <platform/workbook/workbook.h>

#include <QWidget>

#include <functional>
#include <memory>

class QMouseEvent;

class WorkbookView : public QWidget
{
    Q_OBJECT
public:
    // With a new workbook of its own.
    explicit WorkbookView(QWidget* parent = nullptr);
    ~WorkbookView() override;

    Workbook& book() const { return *m_book; }
    // Hands the workbook out (it keeps existing without the view) and takes a new one.
    std::unique_ptr<Workbook> takeBook();

    // The current sheet's zoom in percent (10 to 400).
    int ViewScale() const;
    void SetViewScale(int percent);
    // The cell at the top-left corner of the window.
    int TopRow() const;
    int LeftCol() const;
    void SetTopLeft(int row, int col);

    // 0: the selection is not shown; 1: shown while the view has the focus; 2: always.
    int ShowSelections = 2;
    bool ShowPageBreaks() const { return m_showBreaks; }
    void SetShowPageBreaks(bool show);
    bool ShowGridLines = true;
    // 0: the cursor of each part (a cross over the cells); 1: an arrow everywhere. A cursor set
    // on the view (a zoom cursor) overrides both.
    int MousePointer() const { return m_pointer; }
    void SetMousePointer(int pointer);
    // Kept for the viewer, which switches them with its zoom mode: right double clicks and an
    // edit bar, which this control does not have.
    bool DoRDblClick = true;
    bool ShowEditBar = true;
    // While off, nothing is repainted.
    bool RepaintFlag() const { return m_book->RepaintEnabled(); }
    void SetRepaintFlag(bool on);

    // The cell under a point of the window; false where there is none.
    bool cellAt(const QPoint& point, int& row, int& col) const;
    // The device units per twip at the current zoom.
    double pixelsPerTwip() const;

    // Events: a mouse button released (button, modifiers, position), a key pressed or released
    // (a handler may set the key to 0 to swallow it), a double click, the selection changed, the
    // top-left cell changed.
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)> OnMouseUp;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnSelChange;
    TNotifyEvent OnTopLeftChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void attach();
    void selectionChanged();
    void topLeftChanged();
    void updateCursor();

    std::unique_ptr<Workbook> m_book;
    QMetaObject::Connection m_changed;
    bool m_showBreaks = true;
    int m_pointer = 0;
    bool m_dragging = false;
    int m_anchorRow = 1;
    int m_anchorCol = 1;
};
