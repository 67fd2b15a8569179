// Format: directives, widths and precisions, argument kinds and the errors for a format that
// does not match its arguments.
#include <platform/exception.h>
#include <platform/format.h>
#include <platform/regional.h>

#include <gtest/gtest.h>
#include <support/qt_printers.h>

namespace {

class FormatTest : public ::testing::Test
{
protected:
    void SetUp() override { setRegionalLanguage(1); }
};

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
    try {
        Format("%s %s", {"a"});
        ADD_FAILURE() << "too few arguments accepted";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "Format '%s %s' invalid or incompatible with argument list");
    }
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
