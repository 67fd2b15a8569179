// Regional settings, the number and date routines and Format: expected texts worked out from the
// settings of each language (French: "dd/mm/yyyy", Russian: "dd.mm.yyyy"; "," and a blank).
#include <platform/exception.h>
#include <platform/format.h>
#include <platform/regional.h>

#include <gtest/gtest.h>
#include <support/qt_printers.h>
#include <support/workspace.h>

#include <array>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

class Regional : public ::testing::Test
{
protected:
    void SetUp() override { setRegionalLanguage(1); }
    void TearDown() override { setRegionalLanguage(1); }
};

// Every text of `bad` is refused by `read` with EConvertError.
template <typename F> void expectRefused(std::initializer_list<const char*> bad, F read)
{
    for (const char* text : bad)
        EXPECT_THROW(read(QString::fromUtf8(text)), EConvertError) << text;
}

// A date and time as the six numbers and the milliseconds DecodeDate and DecodeTime give.
std::tuple<int, int, int, int, int, int, int> decoded(double value)
{
    int y, m, d, h, n, s, z;
    DecodeDate(value, y, m, d);
    DecodeTime(value, h, n, s, z);
    return {y, m, d, h, n, s, z};
}

// 2024-03-05 was a Tuesday: 1 January 2024 was a Monday and 5 March is 64 days later.
const double March5 = 45356; // 2024-01-01 is day 45292, then 31 + 29 + 4 days
const double At140709045 = (14 * 3600000.0 + 7 * 60000.0 + 9000.0 + 45.0) / 86400000.0;

// Format's own tests: directives, widths and precisions, argument kinds, and the errors for a
// format that does not match its arguments.
using FormatTest = Regional;

struct Case
{
    const char* format;
    VariantList args;
    const char* text;
};

void expectFormatted(std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(Format(c.format, c.args), c.text) << c.format;
}

} // namespace

TEST_F(Regional, IntegersToAndFromText)
{
    EXPECT_EQ(IntToStr(-1234567890123LL), "-1234567890123");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(qint64(-2), 4), "FFFFFFFFFFFFFFFE");

    // clang-format off
    const std::pair<const char*, int> ints[] = {
        {"42", 42}, {"  -17", -17}, {"+8", 8}, {"$FF", 255}, {"0x1f", 31}, {"-$10", -16},
        {"$FFFFFFFF", -1}, {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()}};
    // clang-format on
    for (const auto& [text, value] : ints)
        EXPECT_EQ(StrToInt(text), value) << text;
    EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(StrToInt64("$FFFFFFFFFF"), 0xFFFFFFFFFFLL);

    expectRefused({"", " ", "abc", "12 ", "1.5", "1,5", "$", "0x", "-", "2147483648", "-2147483649",
                   "$1FFFFFFFF", "12a", "٣"},
                  [](const QString& t) { return StrToInt(t); });
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_EQ(messageOf<EConvertError>([] { StrToInt("abc"); }),
              "'abc' is not a valid integer value");
    EXPECT_EQ(StrToIntDef("x", 7), 7);
}

TEST_F(Regional, FloatsToAndFromText)
{
    // clang-format off
    const std::pair<double, const char*> cases[] = {
        {2.5, "2,5"}, {-0.125, "-0,125"}, {100, "100"}, {0, "0"}, {-0.0, "0"},
        {0.1 + 0.2, "0,3"}, // 15 significant digits hide the binary error
        {2.0 / 3.0, "0,666666666666667"}, {123456789012345.0, "123456789012345"},
        {1e15, "1E15"}, {1.5e20, "1,5E20"}, {0.0001, "0,0001"}, {0.00001, "1E-5"},
        {-2.5e-7, "-2,5E-7"}, {std::nan(""), "NAN"},
        {-std::numeric_limits<double>::infinity(), "-INF"}};
    // clang-format on
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FloatToStr(value), text) << value;

    EXPECT_EQ(FloatToStrF(1234.5, ffCurrency, 18, 2), "1 234,50 €");
    EXPECT_EQ(FloatToStrF(-1234567.125, ffNumber, 18, 2), "-1 234 567,13");
    EXPECT_EQ(FloatToStrF(0.5, ffExponent, 4, 2), "5,000E-01");

    EXPECT_EQ(CurrToStr(Currency{1000000}), "100");
    EXPECT_EQ(CurrToStr(Currency{-1}), "-0,0001");
    EXPECT_EQ(CurrToStr(Currency{std::numeric_limits<qint64>::min()}), "-922337203685477,5808");

    // clang-format off
    const std::pair<const char*, double> texts[] = {
        {"2,5", 2.5}, {"2.5", 2.5}, {" -1,5E3 ", -1500}, {"+4e-2", 0.04}, {",5", 0.5},
        {"007", 7}, {"1e-400", 0} /* too small to hold */, {"0,333333333333333", 0.333333333333333},
        {"6,02E23", 6.02e23}, {"1E-10", 1e-10}};
    // clang-format on
    for (const auto& [text, value] : texts)
        EXPECT_EQ(StrToFloat(text), value) << text;
    expectRefused({"", "abc", "1,2,3", "1.234,5", "1 234", "1e", "1e+", "e5", ".", "-", "1e400",
                   "nan", "inf", "0x10", "5 kg"},
                  [](const QString& t) { return StrToFloat(t); });
    EXPECT_EQ(messageOf<EConvertError>([] { StrToFloat("abc"); }),
              "'abc' is not a valid floating point value");
    EXPECT_EQ(StrToFloatDef("x", 1.5), 1.5);
    double v = 9;
    EXPECT_FALSE(TryStrToFloat("x", v));
    EXPECT_EQ(v, 9);
    EXPECT_TRUE(TryStrToFloat("3,25", v));
    EXPECT_EQ(v, 3.25);
}

TEST_F(Regional, PictureFormats)
{
    const struct
    {
        const char* format;
        double value;
        const char* text;
    } cases[] = {
        // clang-format off
        {"0.00", 2.5, "2,50"}, {"0.00", 2.675, "2,68"}, {"0.00", -0.001, "0,00"},
        {"#,##0.00", 1234567.891, "1 234 567,89"}, {"#,##0.00", -1234.5, "-1 234,50"},
        {"#,##0.00", 0.5, "0,50"}, {"#,##0", 1000000, "1 000 000"},
        {"0.###", 2, "2"}, {"0.###", 2.5, "2,5"}, {"0.###", 1.23456, "1,235"},
        {"#0", 7.5, "8"}, {"#0", -7.5, "-8"}, {"#0", 0.4, "0"}, {"000", 7, "007"},
        {"00", 12345, "12345"}, {"#.##", 0.5, ",5"}, {"#.##", 0, ""},
        {"0.0 'mg/l'", 3.14, "3,1 mg/l"}, {"\"x\"0", 3, "x3"}, {"", 2.5, "2,5"},
        // Sections: positive; negative (no sign of its own); zero, chosen after rounding.
        {"0.00;(0.00);'zero'", -3.5, "(3,50)"}, {"0.00;(0.00);'zero'", 0, "zero"},
        {"0.00;(0.00);'zero'", 0.001, "zero"}, {"0.00;;'zero'", -2, "-2,00"},
        // Blanks between placeholders group the digits written before them (none before the
        // first digit); digits beyond the placeholders go before the first one.
        {"# ### ##0.00;;# ### ##", 1234567.5, "1 234 567,50"},
        {"# ### ##0.00;;# ### ##", 1234.5, "1 234,50"}, {"# ### ##0.00;;# ### ##", -1234.5,
        "-1 234,50"}, {"# ### ##0.00;;# ### ##", 5, "5,00"}, {"# ### ##0.00;;# ### ##", 0, ""},
        {"# ##0", 1234567, "1234 567"},
        // Scientific.
        {"0.00E+00", 1234.5, "1,23E+03"}, {"0.0E-0", 0.00012, "1,2E-4"}, {"0.0E-0", 12, "1,2E1"},
        {"00.00E+00", 1234.5, "12,35E+02"}, {"0.00E+00", 0, "0,00E+00"},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFloat(c.format, c.value), c.text) << c.format << " " << c.value;
}

TEST_F(Regional, EncodingAndDecodingDates)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(2024, 3, 5), March5);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
    EXPECT_EQ(EncodeDate(2000, 2, 29), EncodeDate(2000, 3, 1) - 1);
    // clang-format off
    for (auto [y, m, d] : std::initializer_list<std::array<int, 3>>{
             {2020, 2, 30}, {2019, 2, 29}, {1900, 2, 29}, {2024, 4, 31}, {2024, 0, 1},
             {2024, 13, 1}, {2024, 1, 0}, {0, 1, 1}, {10000, 1, 1}})
        // clang-format on
        EXPECT_THROW(EncodeDate(y, m, d), EConvertError) << y << "-" << m << "-" << d;
    EXPECT_EQ(messageOf<EConvertError>([] { EncodeDate(2021, 2, 29); }),
              "Invalid argument to date encode");

    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(14, 7, 9, 45), At140709045);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);

    EXPECT_EQ(decoded(March5 + At140709045), std::tuple(2024, 3, 5, 14, 7, 9, 45));
    // Before 1899-12-30 the fraction's absolute value is the time.
    EXPECT_EQ(decoded(-1.25), std::tuple(1899, 12, 29, 6, 0, 0, 0));
    EXPECT_EQ(decoded(-0.5), std::tuple(1899, 12, 30, 12, 0, 0, 0));
    // Less than half a millisecond before midnight is midnight of the next day.
    EXPECT_EQ(decoded(2 + (86400000.0 - 0.4) / 86400000.0), std::tuple(1900, 1, 2, 0, 0, 0, 0));
    // Outside the calendar: zeros, never a crash.
    for (double bad : {3e6, -7e5, std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(decoded(bad), std::tuple(0, 0, 0, 0, 0, 0, 0)) << bad;
        EXPECT_EQ(FormatDateTime("dd/mm/yyyy dddd mmmm", bad), "00/00/0000  ");
    }

    EXPECT_EQ(Frac(-1.25), -0.25);
    EXPECT_THROW(Trunc(1e19), EConvertError);

    // To and from Qt's date-times, to the millisecond, over the whole calendar.
    EXPECT_EQ(toDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 45))), March5 + At140709045);
    EXPECT_EQ(toDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);

    const QDateTime samples[] = {
        QDateTime(QDate(1899, 12, 30), QTime(0, 0)),
        QDateTime(QDate(1800, 6, 15), QTime(10, 20, 30, 456)),
        QDateTime(QDate(1, 1, 1), QTime(0, 0, 0, 1)),
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)),
        QDateTime(QDate(2000, 2, 29), QTime(12, 0, 0, 1)),
    };
    for (const QDateTime& q : samples)
        EXPECT_EQ(toQDateTime(toDateTime(q)), q) << q.toString(Qt::ISODateWithMs).toStdString();

    EXPECT_FALSE(toQDateTime(3e6).isValid());
    EXPECT_FALSE(toQDateTime(std::nan("")).isValid());
    EXPECT_THROW(toDateTime(QDateTime()), EConvertError);
}

TEST_F(Regional, DateTimeFormats)
{
    const double t = March5 + At140709045;
    // clang-format off
    const std::pair<const char*, const char*> french[] = {
        {"dd/mm/yyyy hh:nn:ss", "05/03/2024 14:07:09"}, {"d/m/yy", "5/3/24"},
        {"yyyy-mm-dd", "2024-03-05"}, {"ddd dddd mmm mmmm", "mar. mardi mars mars"},
        {"DD/MM/YYYY HH:mm", "05/03/2024 14:07"} /* m after h: minutes */, {"mm/hh", "03/14"},
        {"h:nn am/pm", "2:07 pm"}, {"s.zzz|z", "9.045|45"}, {"'le' dd 'à' hh\"h\"", "le 05 à 14h"},
        {"c", "05/03/2024 14:07:09"}, {"", "05/03/2024 14:07:09"}, {"t|tt", "14:07|14:07:09"},
        {"ddddd|dddddd", "05/03/2024|mardi 5 mars 2024"}};
    // clang-format on
    for (const auto& [format, text] : french)
        EXPECT_EQ(FormatDateTime(format, t), text) << format;
    EXPECT_EQ(FormatDateTime("h:nn AM/PM", March5 + 0.25), "6:00 AM");
    EXPECT_EQ(FormatDateTime("hh a/p", March5), "12 a");
    EXPECT_EQ(FormatDateTime("c", March5), "05/03/2024");
    EXPECT_EQ(FormatDateTime("c", 0.5), "30/12/1899 12:00:00");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", -1.25), "29/12/1899 06:00");
    EXPECT_EQ(DateToStr(t), "05/03/2024");
    EXPECT_EQ(TimeToStr(t), "14:07:09");

    // Every language but Russian writes dates, times and month names the French way.
    for (int language : {0, 3})
        EXPECT_EQ(FormatDateTime("c mmmm", t, regionalForLanguage(language)),
                  "05/03/2024 14:07:09 mars")
            << language;
    setRegionalLanguage(2);
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", t), "05.03.2024 14:07:09");
    EXPECT_EQ(FloatToStrF(-1234.5, ffNumber, 18, 1), "-1 234,5");
    EXPECT_EQ(DateTimeToStr(t), "05.03.2024 14:07:09");
    EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", t), "Вт вторник мар Март");
    EXPECT_EQ(FormatDateTime("dd'/'mm'/'yyyy", t), "05/03/2024"); // a quoted "/" stays one

    // A settings format that names itself does not loop.
    FormatSettings looping = regionalForLanguage(1);
    looping.shortDateFormat = QStringLiteral("ddddd");
    EXPECT_EQ(FormatDateTime("c", March5, looping), "");
}

TEST_F(Regional, ReadingDatesAndTimes)
{
    // clang-format off
    const std::pair<const char*, double> dates[] = {
        {"05/03/2024", March5}, {" 5 / 3 / 2024 ", March5}, {"5/3/24", March5},
        {"1/2/05", EncodeDate(2005, 2, 1)}, {"1/2/1905", EncodeDate(1905, 2, 1)},
        {"29/02/2020", EncodeDate(2020, 2, 29)}, {"30/12/1899", 0}};
    // clang-format on
    for (const auto& [text, value] : dates)
        EXPECT_EQ(StrToDate(text), value) << text;
    expectRefused({"31/02/2020", "29/02/2021", "00/01/2020", "01/13/2020", "01/01/0000", "05/03",
                   "05.03.2024", "05/03/2024 10:00", "", "5/3/20245", "a/b/c", "05/03/2024/"},
                  [](const QString& t) { return StrToDate(t); });
    EXPECT_EQ(messageOf<EConvertError>([] { StrToDate("31/02/2020"); }),
              "'31/02/2020' is not a valid date");

    const std::pair<const char*, double> times[] = {
        {"14:07:09", EncodeTime(14, 7, 9, 0)}, {"7:5", EncodeTime(7, 5, 0, 0)},
        {"14:07:09.045", At140709045},         {"14:07:09,5", EncodeTime(14, 7, 9, 500)},
        {"2:07 pm", EncodeTime(14, 7, 0, 0)},  {"12:30 AM", EncodeTime(0, 30, 0, 0)},
        {"12:30 PM", EncodeTime(12, 30, 0, 0)}};
    for (const auto& [text, value] : times)
        EXPECT_EQ(StrToTime(text), value) << text;
    expectRefused({"24:00", "12:60", "12:00:60", "14", "13:00 PM", "0:10 AM", "14:07:", "14-07", "",
                   "14:07 x"},
                  [](const QString& t) { return StrToTime(t); });
    EXPECT_EQ(messageOf<EConvertError>([] { StrToTime("24:00"); }), "'24:00' is not a valid time");

    EXPECT_EQ(StrToDateTime("05/03/2024 14:07:09"), March5 + EncodeTime(14, 7, 9, 0));
    EXPECT_EQ(StrToDateTime("05/03/2024"), March5);
    EXPECT_EQ(StrToDateTime("14:07"), EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(StrToDateTime("29/12/1899 06:00"), -1.25);
    EXPECT_THROW(StrToDateTime("05/03/2024 25:00"), EConvertError);
    EXPECT_EQ(messageOf<EConvertError>([] { StrToDateTime("05/03/2024 x"); }),
              "'05/03/2024 x' is not a valid date and time");

    setRegionalLanguage(2);
    EXPECT_EQ(StrToDateTime("05.03.2024 14:07:09"), March5 + EncodeTime(14, 7, 9, 0));
    EXPECT_THROW(StrToDate("05/03/2024"), EConvertError);
}

TEST_F(FormatTest, TextsAndIntegers)
{
    // clang-format off
    expectFormatted({
        {"plain", {}, "plain"}, {"%s", {"abc"}, "abc"}, {"%S-%s", {"a", "b"}, "a-b"},
        {"%s", {"50%d"}, "50%d"}, // an argument is never read as a format
        {"100%%", {}, "100%"}, {"%d items", {42}, "42 items"},
        {"%D", {qint64(-9000000000)}, "-9000000000"},
        {"Envoi de données : %d de %d octets (%d%%)", {512, 2048, 25},
         "Envoi de données : 512 de 2048 octets (25%)"},
        {"%u", {7}, "7"}, {"%u", {-1}, "4294967295"},
        {"%u", {qint64(-5000000000)}, "18446744068709551616"}, {"%p", {255}, "000000FF"},
        // Hexadecimal is upper case, whatever the letter.
        {"%x", {255}, "FF"}, {"%X", {255}, "FF"}, {"%x.4", {3054}, "BEE.4"},
        {"%.4x", {255}, "00FF"}, {"%x", {-1}, "FFFFFFFF"},
        {"%x", {qint64(0x1A2B3C4D5E)}, "1A2B3C4D5E"}, {"%x", {0}, "0"}});
    // clang-format on
}

TEST_F(FormatTest, WidthsPrecisionsAndIndexes)
{
    // clang-format off
    expectFormatted({
        {"[%5d]", {42}, "[   42]"}, {"[%-5d]", {42}, "[42   ]"},
        {"[%2d]", {12345}, "[12345]"}, // a width never cuts
        {"[%.5d]", {-42}, "[-00042]"}, {"[%8.3d]", {7}, "[     007]"},
        {"[%*d]", {6, 42}, "[    42]"}, {"[%-*d]", {4, 1}, "[1   ]"}, {"[%*d]", {-4, 1}, "[1   ]"},
        {"[%.*f]", {1, 2.25}, "[2,3]"}, {"[%*.*f]", {7, 3, 2.5}, "[  2,500]"},
        {"[%5s]", {"ab"}, "[   ab]"}, {"[%.2s]", {"abcdef"}, "[ab]"},
        {"[%-6.3s]", {"abcdef"}, "[abc   ]"}, {"%1:s %0:s", {"a", "b"}, "b a"},
        {"%1:s %s", {"a", "b", "c"}, "b c"}, {"%0:s%0:s", {"a"}, "aa"},
        {"[%0:-4s]", {"a"}, "[a   ]"}, {"%s", {"a", "unused"}, "a"}});
    // clang-format on
}

TEST_F(FormatTest, FloatingValues)
{
    // clang-format off
    expectFormatted({
        {"%f", {2.5}, "2,50"}, {"%.0f", {2.5}, "3"}, {"%.2f", {2.675}, "2,68"},
        {"%.3f", {-0.0004}, "0,000"}, {"%.2f", {-1234.5}, "-1234,50"},
        {"%F", {Currency{125000}}, "12,50"}, {"%.1f", {Variant::fromDateTime(1.5)}, "1,5"},
        {"%n", {1234567.891}, "1 234 567,89"}, {"%.0n", {999.5}, "1 000"},
        {"%m", {1234.5}, "1 234,50 €"}, {"%m", {-0.5}, "-0,50 €"},
        {"%e", {1234.5}, "1,23450000000000E+003"}, {"%.3e", {0.00012345}, "1,23E-004"},
        {"%g", {0.5}, "0,5"}, {"%g", {1e20}, "1E20"}, {"%.3g", {1234.5}, "1,23E3"},
        {"[%8.2f]", {3.14159}, "[    3,14]"}});
    // clang-format on
    setRegionalLanguage(2);
    EXPECT_EQ(Format("%.2f", {2.5}), "2,50");
}

TEST_F(FormatTest, MismatchesAreErrors)
{
    EXPECT_EQ(messageOf<EConvertError>([] { Format("%s %s", {"a"}); }),
              "Format '%s %s' invalid or incompatible with argument list");
    const struct
    {
        const char* format;
        VariantList args;
    } bad[] = {
        // clang-format off
        // Only an integer is an integer: not a string, a double, a Boolean or money.
        {"%d", {"5"}}, {"%d", {2.0}}, {"%d", {true}}, {"%d", {Currency{1}}}, {"%x", {"FF"}},
        // An integer is not a floating value, and a number is not a string.
        {"%f", {2}}, {"%f", {"2,5"}}, {"%s", {5}}, {"%s", {Variant::null()}},
        {"%s", {QByteArray("a")}},
        // Too few, an unknown type, a directive cut off.
        {"%d", {}}, {"%y", {1}}, {"abc%", {}}, {"%5", {1}}, {"%-", {1}}, {"%.", {1.0}},
        // "*" needs an integer, and then the value; an index beyond the arguments.
        {"%*d", {"x", 1}}, {"%*d", {3}}, {"%3:s", {"a"}},
        // Widths and precisions beyond reason.
        {"%99999999999d", {1}}, {"%.2000000f", {1.0}}, {"%*d", {2000000, 1}},
        // clang-format on
    };
    for (const auto& b : bad)
        EXPECT_THROW(Format(b.format, b.args), EConvertError) << b.format;
}
