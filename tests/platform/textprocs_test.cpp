#include <platform/support/textprocs.h>
#include <gtest/gtest.h>

TEST(TextProcs, StrToFloatAnyReadsVersionTexts)
{
    EXPECT_EQ(StrToFloatAny("2.07"), 207);
    EXPECT_EQ(StrToFloatAny("2.00"), 200);
    EXPECT_EQ(StrToFloatAny("2.01"), 201);
    EXPECT_EQ(StrToFloatAny("3"), 300);
    EXPECT_EQ(StrToFloatAny("-1.5"), -150);
    EXPECT_EQ(StrToFloatAny("0.005"), 1); // 0.5 rounds away from zero
    // Readings that stop early give 0: a second point, another character, nothing at all.
    EXPECT_EQ(StrToFloatAny("2.0.7"), 0);
    EXPECT_EQ(StrToFloatAny("2.07b"), 0);
    EXPECT_EQ(StrToFloatAny("2,07"), 0);
    EXPECT_EQ(StrToFloatAny(""), 0);
    EXPECT_EQ(StrToFloatAny("."), 0);
    EXPECT_EQ(StrToFloatAny("1e99"), 0); // out of range is no version either
}

TEST(TextProcs, StrToIntDef0)
{
    EXPECT_EQ(StrToIntDef0("42"), 42);
    EXPECT_EQ(StrToIntDef0(" -7 "), -7);
    EXPECT_EQ(StrToIntDef0("4.2"), 0);
    EXPECT_EQ(StrToIntDef0("x"), 0);
    EXPECT_EQ(StrToIntDef0(""), 0);
}

TEST(TextProcs, GetFieldSplitsAndTrims)
{
    EXPECT_EQ(GetField("a ; b b ;c", 2, ';'), "b b");
    EXPECT_EQ(GetField("a;b;c", 1, ';'), "a");
    EXPECT_EQ(GetField("a;b;c", 3, ';'), "c");
    EXPECT_EQ(GetField("a;b;c", 4, ';'), "");
    EXPECT_EQ(GetField("a;;c", 2, ';'), "");
    EXPECT_EQ(GetField("a;b", 0, ';'), "");
    EXPECT_EQ(GetField("", 1, ';'), "");
    EXPECT_EQ(GetField("\tx\t|y", 1, '|'), "x");
    EXPECT_EQ(GetDelimitedField("a|b", 2, '|'), "b");
}

TEST(TextProcs, StringOfCharAndTrim)
{
    EXPECT_EQ(StringOfChar(3, 'x'), "xxx");
    EXPECT_EQ(StringOfChar(0, 'x'), "");
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
}
