// The stored date and time texts read back as day numbers (days since 1899-12-30), on the edges of
// the calendar: leap years, the first and last days four digits hold, days before 1899-12-30.
#include <platform/db/storedvalue.h>

#include <gtest/gtest.h>

namespace {

std::optional<TDateTime> parseBoth(const char* text)
{
    // The engine reads its own UTF-8 bytes; other callers pass a QString. Both must agree.
    const std::optional<TDateTime> fromBytes = storedvalue::parseDateTime(text, qstrlen(text));
    const std::optional<TDateTime> fromText = storedvalue::parseDateTime(QString::fromLatin1(text));
    EXPECT_EQ(fromBytes.has_value(), fromText.has_value()) << text;
    if (fromBytes && fromText) {
        EXPECT_EQ(*fromBytes, *fromText) << text;
    }
    return fromBytes;
}

} // namespace

TEST(StoredValue, DateAndTimeTextsReadAsDayNumbers)
{
    const struct
    {
        const char* text;
        double day;
    } days[] = {
        {"1899-12-30", 0},       {"1899-12-31", 1},     {"1899-12-29", -1},
        {"1900-01-01", 2},       {"1900-03-01", 61},    {"2000-01-01", 36526},
        {"2024-02-29", 45351},   {"2024-03-05", 45356}, {"0001-01-01", -693593},
        {"9999-12-31", 2958465},
    };
    for (const auto& d : days)
        EXPECT_EQ(parseBoth(d.text), d.day) << d.text;
    // 1600 and 2000 are leap years, 1900 and 2100 are not; no year 0, month 13 or 31 April, no
    // hour 24 or minute 60.
    EXPECT_TRUE(parseBoth("1600-02-29").has_value());
    for (const char* bad :
         {"1900-02-29", "2100-02-29", "2023-02-29", "0000-01-01", "2024-13-01", "2024-00-10",
          "2024-04-31", "2024-01-00", "2024-01-32", "2024/01/05", "20x4-01-05", "24:00:00",
          "12:60:00", "12:00:60", "2024-03-05 24:00:00", "2024-03-05T25:00:00"})
        EXPECT_FALSE(parseBoth(bad).has_value()) << bad;

    // Times and date-times keep the time of day.
    EXPECT_EQ(parseBoth("23:59:59"), 86399.0 / 86400.0);
    EXPECT_EQ(parseBoth("2024-03-05 18:00:00"), 45356.75);
    // Before 1899-12-30 the days count backwards while the fraction stays the time of day.
    EXPECT_EQ(parseBoth("1899-12-29 06:00:00"), -1.25);
    // The other forms the engine reads.
    EXPECT_EQ(parseBoth("2024-03-05T18:00:00"), 45356.75);
    EXPECT_EQ(parseBoth("2024-3-5"), 45356.0);
    EXPECT_EQ(parseBoth("18:00"), 0.75);
    EXPECT_EQ(parseBoth("6:00:00"), 0.25);
}
