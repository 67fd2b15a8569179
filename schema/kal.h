// The week calendar: a painted grid of seven columns, a header row of short day names and one row
// per week, showing one month or two consecutive months, the days of the neighbouring months in
// a paler colour and single dates in colours of their own. No window of the program places it.
#pragma once

#include <platform/systemnames.h>

#include <QColor>
#include <QDate>
#include <QList>
#include <QWidget>

// Colours of single dates. The first entry of a date is the one that counts.
class TDayColorList
{
public:
    void Add(const QDate& date, const QColor& color);
    // The colour of the first entry of exactly that date; an invalid colour when there is none.
    QColor ColorOf(const QDate& date) const;
    void Clear() { m_entries.clear(); }
    int Count() const { return int(m_entries.size()); }

private:
    struct Entry
    {
        QDate date;
        QColor color;
    };
    QList<Entry> m_entries;
};

class TWeekCalendar : public QWidget
{
    Q_OBJECT

public:
    explicit TWeekCalendar(QWidget* parent = nullptr);
    ~TWeekCalendar() override;

    // ---- properties
    QColor InactiveMonthColor() const { return m_inactiveColor; }
    void SetInactiveMonthColor(const QColor& color);
    int Day() const { return m_date.day(); }
    int Month() const { return m_date.month(); }
    int Year() const { return m_date.year(); }
    // A value of 0 or less, a month above 12, a day above the days of the month, or the value the
    // date already has changes nothing. Otherwise the date changes (its day brought down to the
    // last day of its month where that month is shorter), stops following today and OnChange
    // fires.
    void SetDay(int day);
    void SetMonth(int month);
    void SetYear(int year);
    QDate CalendarDate() const { return m_date; }
    // The user cannot select cells.
    bool ReadOnly = false;
    // The day of the first column: 0 Sunday ... 6 Saturday.
    int StartOfWeek() const { return m_startOfWeek; }
    void SetStartOfWeek(int day);
    // The date is today's (true at creation).
    bool UseCurrentDate() const { return m_useCurrentDate; }
    void SetUseCurrentDate(bool on);
    // 1 or 2 months; any other value is ignored.
    int MonthCount() const { return m_monthCount; }
    void SetMonthCount(int count);
    int GridLineWidth() const { return m_gridLineWidth; }
    void SetGridLineWidth(int width);
    TDayColorList& DayColors() { return m_dayColors; }
    // Fired after every change of the date.
    TNotifyEvent OnChange;

    // ---- the grid
    static bool IsLeapYear(int year);
    static int DaysPerMonth(int year, int month);
    int DaysThisMonth() const;
    int DaysNextMonth() const;
    int DaysPrevMonth() const;
    // Lays the month out again: rows, the place of day 1 and the selected cell.
    void UpdateCalendar();
    // Where day 1 falls: the day number the first cell of the first week row stands for, always
    // before 1 (-6 to 0), so that the first week row begins with days of the previous month.
    int MonthOffset() const { return m_offset; }
    int ColCount() const { return 7; }
    int RowCount() const { return m_monthCount == 2 ? 11 : 7; }
    // The text of a cell: the short day name in row 0, else the day number it shows.
    QString CellText(int col, int row) const;
    // The selected cell.
    int Col() const { return m_col; }
    int Row() const { return m_row; }
    // Whether the cell may be selected (only while updating or when not read-only, and only a
    // cell with a text below the header).
    bool SelectCell(int col, int row) const;
    QRect CellRect(int col, int row) const;
    int DefaultColWidth() const { return m_colWidth; }
    int DefaultRowHeight() const { return m_rowHeight; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The day a week cell stands for: -1 the previous month, 0 this month, 1 the next, 2 the one
    // after; and its day number.
    int cellMonth(int col, int row, int* day) const;
    void DrawCell(QPainter& painter, int col, int row);
    // The cell selected by the user's mouse or keys, when it may be, then clicked.
    void selectAndClick(int col, int row);
    // A click on the selected cell: a day of another month moves the calendar there.
    void Click();
    // The date (already checked); changes, stops following today, lays out and tells.
    void changeDate(const QDate& date);
    void sizeCells();

    QDate m_date;
    QColor m_inactiveColor = QColor(0xEE, 0xEE, 0xEE);
    int m_startOfWeek = 0;
    bool m_useCurrentDate = true;
    int m_monthCount = 1;
    int m_gridLineWidth = 1;
    int m_offset = 0;
    int m_col = 0;
    int m_row = 1;
    int m_colWidth = 24;
    int m_rowHeight = 18;
    bool m_updating = false;
    TDayColorList m_dayColors;
};
