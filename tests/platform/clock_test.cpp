// The program's clock: fixed and moved by tests, otherwise the system's local time.
#include <platform/clock.h>

#include <QTimeZone>
#include <gtest/gtest.h>

TEST(Clock, FixedTimeMovesOnlyWhenAdvanced)
{
    const QDateTime newYearsEve(QDate(2023, 12, 31), QTime(23, 59, 59, 500));
    clock::setFixed(newYearsEve);
    EXPECT_EQ(clock::now(), newYearsEve);
    clock::advance(600);
    EXPECT_EQ(clock::now(), QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0, 100)));

    // A time given in UTC reads back as the same moment in local time.
    const QDateTime utc(QDate(2024, 6, 1), QTime(12, 0), QTimeZone::utc());
    clock::setFixed(utc);
    EXPECT_EQ(clock::now().toMSecsSinceEpoch(), utc.toMSecsSinceEpoch());
    EXPECT_EQ(clock::now().timeSpec(), Qt::LocalTime);

    // Reset and then advanced: the system's time plus an offset, running on.
    clock::reset();
    constexpr qint64 hour = 3600 * 1000;
    clock::advance(hour);
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = clock::now();
    const QDateTime after = QDateTime::currentDateTime();
    clock::reset();
    EXPECT_LE(before.addMSecs(hour), now);
    EXPECT_LE(now, after.addMSecs(hour));
}
