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

QString errorOf(const QString& format, const VariantList& args)
{
    try {
        Format(format, args);
    } catch (const EConvertError& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST_F(FormatTest, TextsAndIntegers)
{
    EXPECT_EQ(Format("plain", {}), "plain");
    EXPECT_EQ(Format("%s", {"abc"}), "abc");
    EXPECT_EQ(Format("%S-%s", {"a", "b"}), "a-b");
    EXPECT_EQ(Format("%s", {"50%d"}), "50%d"); // an argument is never read as a format
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_EQ(Format("%d items", {42}), "42 items");
    EXPECT_EQ(Format("%D", {qint64(-9000000000)}), "-9000000000");
    EXPECT_EQ(Format("Envoi de données : %d de %d octets (%d%%)", {512, 2048, 25}),
              "Envoi de données : 512 de 2048 octets (25%)");
    EXPECT_EQ(Format("%u", {7}), "7");
    EXPECT_EQ(Format("%u", {-1}), "4294967295");
    EXPECT_EQ(Format("%u", {qint64(-5000000000)}), "18446744068709551616");
    EXPECT_EQ(Format("%p", {255}), "000000FF");
}

TEST_F(FormatTest, HexadecimalIsUpperCase)
{
    EXPECT_EQ(Format("%x", {255}), "FF");
    EXPECT_EQ(Format("%X", {255}), "FF");
    EXPECT_EQ(Format("%x.4", {3054}), "BEE.4"); // a stored document file name
    EXPECT_EQ(Format("%.4x", {255}), "00FF");
    EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
    EXPECT_EQ(Format("%x", {qint64(0x1A2B3C4D5E)}), "1A2B3C4D5E");
    EXPECT_EQ(Format("%x", {0}), "0");
}

TEST_F(FormatTest, WidthsPrecisionsAndIndexes)
{
    EXPECT_EQ(Format("[%5d]", {42}), "[   42]");
    EXPECT_EQ(Format("[%-5d]", {42}), "[42   ]");
    EXPECT_EQ(Format("[%2d]", {12345}), "[12345]"); // a width never cuts
    EXPECT_EQ(Format("[%.5d]", {-42}), "[-00042]");
    EXPECT_EQ(Format("[%8.3d]", {7}), "[     007]");
    EXPECT_EQ(Format("[%*d]", {6, 42}), "[    42]");
    EXPECT_EQ(Format("[%-*d]", {4, 1}), "[1   ]");
    EXPECT_EQ(Format("[%*d]", {-4, 1}), "[1   ]");
    EXPECT_EQ(Format("[%.*f]", {1, 2.25}), "[2,3]");
    EXPECT_EQ(Format("[%*.*f]", {7, 3, 2.5}), "[  2,500]");
    EXPECT_EQ(Format("[%5s]", {"ab"}), "[   ab]");
    EXPECT_EQ(Format("[%.2s]", {"abcdef"}), "[ab]");
    EXPECT_EQ(Format("[%-6.3s]", {"abcdef"}), "[abc   ]");
    EXPECT_EQ(Format("%1:s %0:s", {"a", "b"}), "b a");
    EXPECT_EQ(Format("%1:s %s", {"a", "b", "c"}), "b c");
    EXPECT_EQ(Format("%0:s%0:s", {"a"}), "aa");
    EXPECT_EQ(Format("[%0:-4s]", {"a"}), "[a   ]");
    EXPECT_EQ(Format("%s", {"a", "unused"}), "a");
}

TEST_F(FormatTest, FloatingValues)
{
    EXPECT_EQ(Format("%f", {2.5}), "2,50");
    EXPECT_EQ(Format("%.0f", {2.5}), "3");
    EXPECT_EQ(Format("%.2f", {2.675}), "2,68");
    EXPECT_EQ(Format("%.3f", {-0.0004}), "0,000");
    EXPECT_EQ(Format("%.2f", {-1234.5}), "-1234,50");
    EXPECT_EQ(Format("%F", {Currency{125000}}), "12,50");
    EXPECT_EQ(Format("%.1f", {Variant::fromDateTime(1.5)}), "1,5");
    EXPECT_EQ(Format("%n", {1234567.891}), "1 234 567,89");
    EXPECT_EQ(Format("%.0n", {999.5}), "1 000");
    EXPECT_EQ(Format("%m", {1234.5}), "1 234,50 €");
    EXPECT_EQ(Format("%m", {-0.5}), "-0,50 €");
    EXPECT_EQ(Format("%e", {1234.5}), "1,23450000000000E+003");
    EXPECT_EQ(Format("%.3e", {0.00012345}), "1,23E-004");
    EXPECT_EQ(Format("%g", {0.5}), "0,5");
    EXPECT_EQ(Format("%g", {1e20}), "1E20");
    EXPECT_EQ(Format("%.3g", {1234.5}), "1,23E3");
    EXPECT_EQ(Format("[%8.2f]", {3.14159}), "[    3,14]");
    setRegionalLanguage(2);
    EXPECT_EQ(Format("%.2f", {2.5}), "2,50");
}

TEST_F(FormatTest, MismatchesAreErrors)
{
    EXPECT_EQ(errorOf("%s %s", {"a"}), "Format '%s %s' invalid or incompatible with argument list");
    EXPECT_EQ(errorOf("%d", {"5"}), "Format '%d' invalid or incompatible with argument list");
    const struct
    {
        const char* format;
        VariantList args;
    } bad[] = {
        {"%d", {2.0}},         // a double is not an integer
        {"%d", {true}},        // nor is a Boolean
        {"%d", {Currency{1}}}, // nor money
        {"%x", {"FF"}},        //
        {"%f", {2}},           // an integer is not a floating value
        {"%f", {"2,5"}},       //
        {"%s", {5}},           // a number is not a string
        {"%s", {Variant::null()}},
        {"%s", {QByteArray("a")}},
        {"%d", {}},             // too few
        {"%y", {1}},            // unknown type
        {"abc%", {}},           // cut off
        {"%5", {1}},            //
        {"%-", {1}},            //
        {"%.", {1.0}},          //
        {"%*d", {"x", 1}},      // "*" needs an integer
        {"%*d", {3}},           // ... and then the value
        {"%3:s", {"a"}},        // index beyond the arguments
        {"%99999999999d", {1}}, // width beyond reason
        {"%.2000000f", {1.0}},  //
        {"%*d", {2000000, 1}},  //
    };
    for (const auto& b : bad)
        EXPECT_THROW(Format(b.format, b.args), EConvertError) << b.format;
}
