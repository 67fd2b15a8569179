// The small text helpers: version texts read as numbers, fields cut at a delimiter, trimming.
#include <gtest/gtest.h>
#include <platform/support/textprocs.h>

TEST(TextProcs, StrToFloatAnyReadsVersionTexts)
{
    // clang-format off
    const std::pair<const char*, int> cases[] = {
        {"2.07", 207}, {"3", 300}, {"-1.5", -150},
        {"0.005", 1}, // 0.5 rounds away from zero
        // Readings that stop early give 0: a second point, another character, nothing at all;
        // out of range is no version either.
        {"2.0.7", 0}, {"2.07b", 0}, {"2,07", 0}, {"", 0}, {".", 0}, {"1e99", 0}};
    // clang-format on
    for (const auto& [text, value] : cases)
        EXPECT_EQ(StrToFloatAny(text), value) << text;
    EXPECT_EQ(StrToIntDef0(" -7 "), -7);
    EXPECT_EQ(StrToIntDef0("4.2"), 0);
}

TEST(TextProcs, FieldsAreCutAtTheDelimiterAndTrimmed)
{
    const std::pair<int, const char*> fields[] = {{0, ""}, {1, "a"}, {2, "b b"},
                                                  {3, ""}, {4, "c"}, {5, ""}};
    for (const auto& [index, field] : fields)
        EXPECT_EQ(GetField("a ; b b ;;c", index, ';'), field) << index;
    EXPECT_EQ(GetField("\tx\t|y", 1, '|'), "x");
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
}
