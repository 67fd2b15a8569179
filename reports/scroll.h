// TPageScrollBar: a scroll bar whose thumb shows the part of the whole that one page is.
#pragma once

#include <QScrollBar>

class TPageScrollBar : public QScrollBar
{
    Q_OBJECT
public:
    explicit TPageScrollBar(QWidget* parent = nullptr);
    explicit TPageScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // A value other than the current one and not above the maximum is taken; the thumb becomes
    // that part of the bar.
    int PageSize() const { return m_pageSize; }
    void SetPageSize(int size);

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_pageSize = 0;
};
