// The week calendar offscreen: leap years, where day 1 falls under each first day of the week,
// the cells of a two-month view, refused date parts, days brought down to the month's end, and
// clicks into the neighbouring months (refused when read-only).
#include <schema/kal.h>

#include <support/workspace.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

// A calendar on a date, shown offscreen, counting its change events.
struct Calendar
{
    explicit Calendar(int year, int month, int day, int startOfWeek = 0, int months = 1)
    {
        w.SetStartOfWeek(startOfWeek);
        w.SetMonthCount(months);
        w.SetYear(year);
        w.SetMonth(month);
        w.SetDay(day);
        w.resize(7 * 40, w.RowCount() * 24);
        w.show();
        w.OnChange = [this](QObject*) { ++changes; };
    }
    void click(int col, int row)
    {
        const QPointF at = w.CellRect(col, row).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, w.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &press);
    }
    QStringList row(int r) const
    {
        QStringList texts;
        for (int c = 0; c < 7; ++c)
            texts << w.CellText(c, r);
        return texts;
    }

    TWeekCalendar w;
    int changes = 0;
};

} // namespace

TEST(WeekCalendar, LeapYearsAndMonthLengths)
{
    EXPECT_FALSE(TWeekCalendar::IsLeapYear(1900));
    EXPECT_TRUE(TWeekCalendar::IsLeapYear(2000));
    EXPECT_TRUE(TWeekCalendar::IsLeapYear(2024));
    EXPECT_FALSE(TWeekCalendar::IsLeapYear(2023));
    EXPECT_EQ(TWeekCalendar::DaysPerMonth(1900, 2), 28);
    EXPECT_EQ(TWeekCalendar::DaysPerMonth(2000, 2), 29);
    EXPECT_EQ(TWeekCalendar::DaysPerMonth(2023, 4), 30);
    TestWorkspace ws;
    Calendar january(2001, 1, 15);
    EXPECT_EQ(january.w.DaysPrevMonth(), 31); // December 2000
    EXPECT_EQ(january.w.DaysNextMonth(), 28); // February 2001
    Calendar december(1999, 12, 1);
    EXPECT_EQ(december.w.DaysNextMonth(), 31); // January 2000
    EXPECT_EQ(december.w.DaysPrevMonth(), 30);
}

TEST(WeekCalendar, DayOneFallsInTheFirstWeekRowUnlessItWouldOpenIt)
{
    TestWorkspace ws;
    // Months of 2023 whose day 1 is a Sunday, Monday ... Saturday.
    const int months[] = {1, 5, 8, 2, 6, 9, 4};
    // The number the first cell stands for, by weekday of day 1 (rows, Sunday first) and first
    // day of the week (columns, 0 Sunday ... 6 Saturday): day 1 goes in the column of its
    // weekday, in the second row when that column is the first.
    const int offsets[7][7] = {{-6, -5, -4, -3, -2, -1, 0}, {0, -6, -5, -4, -3, -2, -1},
                               {-1, 0, -6, -5, -4, -3, -2}, {-2, -1, 0, -6, -5, -4, -3},
                               {-3, -2, -1, 0, -6, -5, -4}, {-4, -3, -2, -1, 0, -6, -5},
                               {-5, -4, -3, -2, -1, 0, -6}};
    for (int weekday = 0; weekday < 7; ++weekday) {
        for (int start = 0; start < 7; ++start) {
            Calendar c(2023, months[weekday], 1, start);
            EXPECT_EQ(c.w.MonthOffset(), offsets[weekday][start])
                << "month " << months[weekday] << " start " << start;
            // Day 1 is selected where it is shown.
            EXPECT_EQ(c.w.CellText(c.w.Col(), c.w.Row()), "1");
        }
    }
}

TEST(WeekCalendar, TwoMonthsShowTheDaysOfFourMonths)
{
    TestWorkspace ws;
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto locale = qScopeGuard([&saved] { QLocale::setDefault(saved); });
    Calendar c(2023, 1, 10, 0, 2); // January 2023 begins on a Sunday
    EXPECT_EQ(c.w.RowCount(), 11);
    EXPECT_EQ(c.row(0), QStringList({"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}));
    EXPECT_EQ(c.row(1), QStringList({"25", "26", "27", "28", "29", "30", "31"}));
    EXPECT_EQ(c.row(2), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
    EXPECT_EQ(c.row(6), QStringList({"29", "30", "31", "1", "2", "3", "4"}));
    // The end of February and the first days of March, shown as such.
    EXPECT_EQ(c.row(10), QStringList({"26", "27", "28", "1", "2", "3", "4"}));
    c.w.SetStartOfWeek(1);
    EXPECT_EQ(c.row(0).first(), "Mon");
    EXPECT_EQ(c.row(1), QStringList({"26", "27", "28", "29", "30", "31", "1"}));
}

TEST(WeekCalendar, RefusedDatePartsChangeNothingAndDaysFollowTheMonthsEnd)
{
    TestWorkspace ws;
    Calendar c(2023, 1, 31);
    for (const auto& set : {std::function<void()>([&] { c.w.SetMonth(13); }),
                            std::function<void()>([&] { c.w.SetMonth(0); }),
                            std::function<void()>([&] { c.w.SetDay(0); }),
                            std::function<void()>([&] { c.w.SetDay(32); }),
                            std::function<void()>([&] { c.w.SetYear(-1); }),
                            std::function<void()>([&] { c.w.SetDay(31); })}) {
        set();
        EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 1, 31));
    }
    EXPECT_EQ(c.changes, 0);
    c.w.SetMonth(2);
    EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 2, 28));
    c.w.SetYear(2024);
    c.w.SetDay(29);
    c.w.SetYear(2023);
    EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 2, 28));
    c.w.SetMonth(3);
    c.w.SetDay(31);
    c.w.SetMonth(4);
    EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 4, 30));
    EXPECT_EQ(c.changes, 7);
    EXPECT_FALSE(c.w.UseCurrentDate());
}

TEST(WeekCalendar, ClicksOnOtherMonthsMoveTheCalendarUnlessReadOnly)
{
    TestWorkspace ws;
    Calendar c(2023, 1, 31, 0, 2);
    c.click(0, 1); // 25 December 2022
    EXPECT_EQ(c.w.CalendarDate(), QDate(2022, 12, 25));
    // December 2022 begins on a Thursday: its sixth week row holds 1 to 7 January.
    EXPECT_EQ(c.row(5), QStringList({"25", "26", "27", "28", "29", "30", "31"}));
    EXPECT_EQ(c.row(6), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
    c.click(2, 6); // 3 January
    EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 1, 3));
    c.click(3, 10); // 1 March, beyond the next month
    EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 3, 1));
    c.click(4, 1); // 2 March, this month (March 2023 begins on a Wednesday)
    EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 3, 2));
    EXPECT_EQ(c.changes, 4);
    EXPECT_EQ(c.w.CellText(c.w.Col(), c.w.Row()), "2");

    c.w.ReadOnly = true;
    c.click(0, 1);
    c.click(5, 3);
    EXPECT_EQ(c.w.CalendarDate(), QDate(2023, 3, 2));
    EXPECT_EQ(c.changes, 4);
    EXPECT_FALSE(c.w.SelectCell(5, 3));

    c.w.DayColors().Add(QDate(2023, 3, 8), Qt::yellow);
    c.w.DayColors().Add(QDate(2023, 3, 8), Qt::red);
    EXPECT_EQ(c.w.DayColors().ColorOf(QDate(2023, 3, 8)), QColor(Qt::yellow));
    EXPECT_FALSE(c.w.DayColors().ColorOf(QDate(2023, 3, 9)).isValid());
}
