// The page scroll bar.
#include "scroll.h"

TPageScrollBar::TPageScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent)
{
}

TPageScrollBar::TPageScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{
}

void TPageScrollBar::SetPageSize(int size)
{
    if (size == m_pageSize || size > maximum())
        return;
    m_pageSize = size;
    setPageStep(std::max(1, size));
}

void TPageScrollBar::showEvent(QShowEvent* event)
{
    // The page size is given to the bar again whenever it gets a window.
    setPageStep(std::max(1, m_pageSize));
    QScrollBar::showEvent(event);
}
