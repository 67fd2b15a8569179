// The week calendar: the date, the layout of a month in week rows, the cells' texts and colours,
// and the clicks that move it from month to month.
#include "kal.h"

#include <platform/clock.h>

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

// ---- day colours

void TDayColorList::Add(const QDate& date, const QColor& color)
{
    m_entries.append({date, color});
}

QColor TDayColorList::ColorOf(const QDate& date) const
{
    for (const Entry& e : m_entries) {
        if (e.date == date)
            return e.color;
    }
    return QColor();
}

// ---- the calendar

TWeekCalendar::TWeekCalendar(QWidget* parent) : QWidget(parent)
{
    setProperty("componentClass", QStringLiteral("TWeekCalendar"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_date = clock::now().date();
    UpdateCalendar();
}

TWeekCalendar::~TWeekCalendar() = default;

bool TWeekCalendar::IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int TWeekCalendar::DaysPerMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

int TWeekCalendar::DaysThisMonth() const
{
    return DaysPerMonth(Year(), Month());
}

int TWeekCalendar::DaysNextMonth() const
{
    return Month() == 12 ? DaysPerMonth(Year() + 1, 1) : DaysPerMonth(Year(), Month() + 1);
}

int TWeekCalendar::DaysPrevMonth() const
{
    return Month() == 1 ? DaysPerMonth(Year() - 1, 12) : DaysPerMonth(Year(), Month() - 1);
}

void TWeekCalendar::UpdateCalendar()
{
    m_updating = true;
    // The day of the week of day 1, Sunday being 1.
    const int first = QDate(Year(), Month(), 1).dayOfWeek() % 7 + 1;
    m_offset = 2 - ((first - m_startOfWeek + 7) % 7);
    if (m_offset == 2)
        m_offset = -5;
    else if (m_offset == 1)
        m_offset = -6;
    m_col = (Day() - m_offset) % 7;
    m_row = (Day() - m_offset) / 7 + 1;
    sizeCells();
    update();
    m_updating = false;
}

int TWeekCalendar::cellMonth(int col, int row, int* day) const
{
    const int n = m_offset + col + (row - 1) * 7;
    const int thisMonth = DaysThisMonth();
    const int nextMonth = DaysNextMonth();
    int month = 0;
    int number = n;
    // Beyond the next month is tested before the next month: both hold for such a day.
    if (n < 1) {
        month = -1;
        number = DaysPrevMonth() + n;
    } else if (n > thisMonth + nextMonth) {
        month = 2;
        number = n - thisMonth - nextMonth;
    } else if (n > thisMonth) {
        month = 1;
        number = n - thisMonth;
    }
    if (day)
        *day = number;
    return month;
}

QString TWeekCalendar::CellText(int col, int row) const
{
    if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount())
        return QString();
    if (row == 0) {
        // Day names count from Sunday = 1; the locale counts from Monday = 1.
        const int day = (m_startOfWeek + col) % 7 + 1;
        return QLocale().dayName(day == 1 ? 7 : day - 1, QLocale::ShortFormat);
    }
    int day = 0;
    cellMonth(col, row, &day);
    return QString::number(day);
}

bool TWeekCalendar::SelectCell(int col, int row) const
{
    return (m_updating || !ReadOnly) && row >= 1 && row < RowCount() && col >= 0 &&
           col < ColCount() && !CellText(col, row).isEmpty();
}

void TWeekCalendar::changeDate(const QDate& date)
{
    if (!date.isValid() || date == m_date)
        return;
    m_date = date;
    m_useCurrentDate = false;
    UpdateCalendar();
    if (const TNotifyEvent handler = OnChange)
        handler(this);
}

void TWeekCalendar::SetDay(int day)
{
    if (day <= 0 || day > DaysThisMonth() || day == Day())
        return;
    changeDate(QDate(Year(), Month(), day));
}

void TWeekCalendar::SetMonth(int month)
{
    if (month <= 0 || month > 12 || month == Month())
        return;
    changeDate(QDate(Year(), month, std::min(Day(), DaysPerMonth(Year(), month))));
}

void TWeekCalendar::SetYear(int year)
{
    if (year <= 0 || year == Year())
        return;
    changeDate(QDate(year, Month(), std::min(Day(), DaysPerMonth(year, Month()))));
}

void TWeekCalendar::SetInactiveMonthColor(const QColor& color)
{
    if (color == m_inactiveColor)
        return;
    m_inactiveColor = color;
    UpdateCalendar();
}

void TWeekCalendar::SetStartOfWeek(int day)
{
    if (day < 0 || day > 6 || day == m_startOfWeek)
        return;
    m_startOfWeek = day;
    UpdateCalendar();
}

void TWeekCalendar::SetUseCurrentDate(bool on)
{
    if (on == m_useCurrentDate)
        return;
    m_useCurrentDate = on;
    if (on)
        m_date = clock::now().date();
    UpdateCalendar();
}

void TWeekCalendar::SetMonthCount(int count)
{
    if ((count != 1 && count != 2) || count == m_monthCount)
        return;
    m_monthCount = count;
    UpdateCalendar();
    updateGeometry();
}

void TWeekCalendar::SetGridLineWidth(int width)
{
    if (width < 0 || width == m_gridLineWidth)
        return;
    m_gridLineWidth = width;
    sizeCells();
    update();
}

// ---- drawing

void TWeekCalendar::sizeCells()
{
    const QRect client = contentsRect();
    m_colWidth = std::max(1, (client.width() - 6 * m_gridLineWidth) / 7);
    m_rowHeight =
        std::max(1, (client.height() - 6 * m_gridLineWidth) / (m_monthCount == 2 ? 11 : 7));
}

QRect TWeekCalendar::CellRect(int col, int row) const
{
    const QPoint origin = contentsRect().topLeft();
    return QRect(origin.x() + col * (m_colWidth + m_gridLineWidth),
                 origin.y() + row * (m_rowHeight + m_gridLineWidth), m_colWidth, m_rowHeight);
}

QSize TWeekCalendar::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    const int width = std::max(fm.horizontalAdvance(QStringLiteral("00")),
                               fm.horizontalAdvance(QLocale().dayName(3, QLocale::ShortFormat))) +
                      fm.averageCharWidth() * 2;
    const int height = fm.height() + 4;
    return {7 * width + 6 * m_gridLineWidth, RowCount() * height + 6 * m_gridLineWidth};
}

void TWeekCalendar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    sizeCells();
}

void TWeekCalendar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    for (int row = 0; row < RowCount(); ++row) {
        for (int col = 0; col < ColCount(); ++col)
            DrawCell(painter, col, row);
    }
}

void TWeekCalendar::DrawCell(QPainter& painter, int col, int row)
{
    const QRect cell = CellRect(col, row);
    const bool selected = row > 0 && col == m_col && row == m_row;
    QColor background = palette().color(QPalette::Base);
    QColor text = palette().color(QPalette::Text);
    if (row == 0) {
        background = palette().color(QPalette::Button);
        text = palette().color(QPalette::ButtonText);
    } else if (selected) {
        background = palette().color(QPalette::Highlight);
        text = palette().color(QPalette::HighlightedText);
    } else {
        int day = 0;
        const int month = cellMonth(col, row, &day);
        if (month == -1 || month == 1)
            background = m_inactiveColor;
        else if (month == 2)
            background = QColor(0xFF, 0xFF, 0xFF);
        const QDate first = QDate(Year(), Month(), 1).addMonths(month);
        const QColor own = m_dayColors.ColorOf(QDate(first.year(), first.month(), day));
        if (own.isValid())
            background = own;
    }
    painter.fillRect(cell, background);
    painter.setPen(text);
    painter.drawText(cell, Qt::AlignCenter, CellText(col, row));
    if (selected && hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = cell.adjusted(1, 1, -1, -1);
        focus.backgroundColor = background;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

// ---- the user

void TWeekCalendar::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint() - contentsRect().topLeft();
    selectAndClick(at.x() / (m_colWidth + m_gridLineWidth),
                   at.y() / (m_rowHeight + m_gridLineWidth));
}

void TWeekCalendar::keyPressEvent(QKeyEvent* event)
{
    int col = m_col, row = m_row;
    switch (event->key()) {
    case Qt::Key_Left:
        --col;
        break;
    case Qt::Key_Right:
        ++col;
        break;
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    selectAndClick(col, row);
}

void TWeekCalendar::selectAndClick(int col, int row)
{
    if (!SelectCell(col, row))
        return;
    m_col = col;
    m_row = row;
    update();
    Click();
}

void TWeekCalendar::Click()
{
    int day = 0;
    const int month = cellMonth(m_col, m_row, &day);
    if (month == 0) {
        SetDay(day);
        return;
    }
    // Day 1 of the clicked day's month: its day is valid there, whatever the current day is.
    const QDate first = QDate(Year(), Month(), 1).addMonths(month);
    changeDate(QDate(first.year(), first.month(), day));
}
