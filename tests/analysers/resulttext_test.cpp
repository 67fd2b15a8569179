// The decoders' text routines: the text-file reader and the cut at CR, trimming, comma texts and
// the number tests.
#include <analysers/resulttext.h>

#include <gtest/gtest.h>

namespace {

using Lines = QList<QByteArray>;

TEST(ResultText, TextFileReaderEndsLinesAtCrLfLfAndLoneCrAndKeeps255Bytes)
{
    const QByteArray longLine(300, 'h');
    const std::pair<QByteArray, Lines> cases[] = {
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"\r\n\r\n", {"", ""}},
        {"", {}},
        {"x", {"x"}},
        {longLine + "\r\nnext", {QByteArray(255, 'h'), "next"}},
        {longLine + "\rnext\n", {QByteArray(255, 'h'), "next"}},
        {QByteArray(255, 'h') + "\n", {QByteArray(255, 'h')}},
    };
    for (const auto& [bytes, lines] : cases)
        EXPECT_EQ(TextLines(bytes), lines) << bytes.toStdString();
}

TEST(ResultText, LinesAtCrDropLfAnywhere)
{
    const std::tuple<QByteArray, int, Lines> cases[] = {
        {"a\r\nb\rc", 0, {"a", "b", "c"}},
        {"a\nb\r", 0, {"ab"}},
        {"\r", 0, {""}},
        {"a\r\r", 0, {"a", ""}},
        {"\n", 0, {}},
        {"", 0, {}},
        {"abcdef\rxy", 3, {"abc", "xy"}},
        {"ab\ncdef", 3, {"abc"}},
    };
    for (const auto& [bytes, max, lines] : cases)
        EXPECT_EQ(LinesAtCR(bytes, max), lines) << bytes.toStdString();
}

TEST(ResultText, TrimmingAndNumberTests)
{
    EXPECT_EQ(TrimBytes(QByteArray("\0 \tab c\x1f ", 9)), "ab c");
    EXPECT_EQ(TrimBytes("\x80 a \xa0"), "\x80 a \xa0") << "bytes above 32 stay";
    EXPECT_EQ(TrimLeftBytes("  a  "), "a  ");
    EXPECT_EQ(TrimRightBytes("  a  "), "  a");
    EXPECT_EQ(TrimBytes(" \r\n "), "");

    const std::pair<QByteArray, QByteArray> zeros[] = {
        {"0012", "12"}, {"000", ""}, {"a00", "a00"}, {"0.5", ".5"}, {"", ""}};
    for (const auto& [text, expected] : zeros)
        EXPECT_EQ(TrimLeftChar(text, '0'), expected) << text.toStdString();

    const std::tuple<QByteArray, QByteArray, bool> numbers[] = {
        // text, LeadingNumber, IsNumberText
        {"12.5s", "12.5", false}, {",5x", ",5", false}, {"x1", "", false}, {"", "", false},
        {"1,2.3", "1,2.3", true}, {" 1", "", false},    {"-1", "", false}, {"42", "42", true},
    };
    for (const auto& [text, leading, number] : numbers) {
        EXPECT_EQ(LeadingNumber(text), leading) << text.toStdString();
        EXPECT_EQ(IsNumberText(text), number) << text.toStdString();
    }
}

TEST(ResultText, CommaTextItems)
{
    const std::pair<QByteArray, Lines> cases[] = {
        {"GLU,NORMAL,,", {"GLU", "NORMAL", ""}},
        {"GLU,NORMAL,", {"GLU", "NORMAL"}},
        {"PRO,+-,0.3,,H", {"PRO", "+-", "0.3", "", "H"}},
        {"a b\tc", {"a", "b", "c"}},
        {"  a , b  ", {"a", "b"}},
        {"\"a, b\",c", {"a, b", "c"}},
        {"\"x\"\"y\"", {"x\"y"}},
        {"\"open, still", {"open, still"}},
        {"\"a\"b", {"a", "b"}},
        {" , a", {"", "a"}},
        {",", {""}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto& [text, items] : cases)
        EXPECT_EQ(CommaTextItems(text), items) << text.toStdString();
}

TEST(ResultText, MidBytesNeverReadsOutsideTheText)
{
    const std::tuple<int, int, QByteArray> cases[] = {
        {2, 1, "b"},  {3, 5, "c"},   {4, 1, ""}, {0, 2, "ab"},
        {-5, 1, "a"}, {2, -1, "bc"}, {2, 0, ""}, {100, 3, ""},
    };
    for (const auto& [pos, count, expected] : cases)
        EXPECT_EQ(MidBytes("abc", pos, count), expected) << pos << "," << count;
}

} // namespace
