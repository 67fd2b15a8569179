// The regular-expression engine on tables of patterns grouped by feature, its errors, ExecNext,
// its bounds, and its one user UpperCaseSQLVariables.
#include <kernel/krnproc.h>
#include <kernel/regexpr.h>

#include <support/qt_printers.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Expected outcome of one search; positions are 1-based characters, -1 for "no match"/"unset".
struct Case
{
    const char* pattern; // UTF-8
    std::string subject; // UTF-8
    int pos;
    int len = -1;
    std::vector<std::array<int, 3>> groups = {}; // {index, pos, len}
};

std::string repeated(const char* piece, int times)
{
    std::string s;
    for (int k = 0; k < times; ++k)
        s += piece;
    return s;
}

QString u8(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void checkTable(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("pattern ") + c.pattern + " on \"" + c.subject + "\"");
        TRegExpr re;
        try {
            re.SetExpression(QString::fromUtf8(c.pattern));
        } catch (const ERegExpr& e) {
            ADD_FAILURE() << "does not compile: " << e.what();
            continue;
        }
        EXPECT_EQ(re.Exec(u8(c.subject)), c.pos > 0);
        EXPECT_EQ(re.GetMatchPos(0), c.pos);
        EXPECT_EQ(re.GetMatchLen(0), c.pos > 0 ? c.len : -1);
        for (const auto& g : c.groups) {
            EXPECT_EQ(re.GetMatchPos(g[0]), g[1]) << "group " << g[0];
            EXPECT_EQ(re.GetMatchLen(g[0]), g[2]) << "group " << g[0];
        }
    }
}

// The code and message of the ERegExpr that `call` raises.
template <typename F> std::pair<int, QString> errorOf(F&& call)
{
    try {
        call();
    } catch (const ERegExpr& e) {
        return {e.errorCode(), e.message()};
    }
    return {0, QStringLiteral("<no ERegExpr>")};
}

using Matches = std::vector<std::pair<int, int>>; // {pos, len}

// Every match of a search and its ExecNext rounds; once they fail, the search stays ended.
Matches allMatches(TRegExpr& re, const QString& subject)
{
    Matches found;
    for (bool more = re.Exec(subject); more; more = re.ExecNext())
        found.emplace_back(re.GetMatchPos(0), re.GetMatchLen(0));
    EXPECT_EQ(re.GetMatchPos(0), -1);
    EXPECT_FALSE(re.ExecNext());
    return found;
}

} // namespace

TEST(RegExprSyntax, ClassesEscapesAndAnchors)
{
    checkTable({
        {"a.c", "a\nc", 1, 3},
        {R"([\]]+)", "a]]", 2, 2},
        {R"(\W+)", "ab, c", 3, 2},
        {R"(\s+)", "a \t\r\n\v\fb", 2, 6},
        {R"([^\d\s]+)", "1 2ab 3", 4, 2},
        {R"(\t\n\r\f\a\e)", std::string("x\t\n\r\f\a\x1B") + "y", 2, 6},
        {R"(\x41\x{42}\x{000043})", "zABC", 2, 3},
        {R"([\x41-\x43]+)", "zABCD", 2, 3},
        {R"(\.\*\+\?\[\(\)\|\\\{\^\$)", "x.*+?[()|\\{^$", 2, 12},
        // Word characters are Latin only.
        {R"(\w+)", "имя_1", 4, 2},
        // Cyrillic ranges take in ё and Ё unless r is off.
        {"[а-я]+", "ABёжикZ", 3, 4},
        {"(?-r)[а-я]+", "ABёжикZ", 4, 3},
        {"[А-Я]+", "xЁЖИКx", 2, 4},
        {"[а-д]+", "ёабв", 2, 3},
        // Characters outside the code page read as "?", and positions stay those of the text.
        {"a.b", "a中b", 1, 3},
        {"b", "😀b", 3, 1},
        {"中+", "x中中", 2, 2},
        // Anchors.
        {"ab$", "abab", 3, 2},
        {"^$", "", 1, 0},
        {"$", "abc", 4, 0},
        {"a|^b", "bcd", 1, 1},
        {"^a|^b", "cb", -1},
        {"x^", "x", -1},
    });
}

TEST(RegExprSyntax, QuantifiersBracesGroupsAndAlternation)
{
    checkTable({
        {"ab*c", "xacx", 2, 2},
        {"ab?c", "abbc ac", 6, 2},
        {"a.*b", "aXbYbZ", 1, 5},
        {"[a-z]*ing", "singing!", 1, 7},
        {"a{2,}", "baaaa", 2, 4},
        {"a{2,3}", "aaaaa", 1, 3},
        {"a{0}b", "ab", 2, 1},
        {"a{1,2147483646}", "aaa", 1, 3},
        {"(?-s).{2}", "a\nbc", 3, 2},
        // "{" that opens no count is an ordinary character.
        {"a{,3}", "xa{,3}", 2, 5},
        {"{x}", "a{x}", 2, 3},
        // Repeated groups keep their last round.
        {"(ab)*c", "ababc", 1, 5, {{1, 3, 2}}},
        {"(ab)?c", "c", 1, 1, {{1, -1, -1}}},
        // Groups and alternatives.
        {"((a)b)c", "abc", 1, 3, {{1, 1, 2}, {2, 1, 1}}},
        {"a(|b)c", "ac", 1, 2, {{1, 2, 0}}},
        {"(a)|b", "b", 1, 1, {{1, -1, -1}}},
        {"()", "x", 1, 0, {{1, 1, 0}}},
        // The first alternative that leads to a match wins, not the longest.
        {"a|ab", "ab", 1, 1},
        {"(a|ab)(c|bcd)", "abcd", 1, 4, {{1, 1, 1}, {2, 2, 3}}},
        // Fourteen groups; the slots past them stay unset.
        {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)",
         "xabcdefghijklmn",
         2,
         14,
         {{1, 2, 1}, {14, 15, 1}, {15, -1, -1}, {-1, -1, -1}}},
    });
}

TEST(RegExprSyntax, ModifiersCommentsAndCyrillicCase)
{
    checkTable({
        {"a(?i)b", "aB", 1, 2},
        {"(?i)a(?-i)b", "Ab", 1, 2},
        // A modifier ends with its group.
        {"((?i)a)b", "AB", -1},
        {"(?i)x+", "xXxY", 1, 3},
        {"(?i)[a-c]+", "xABCd", 2, 3},
        {"(?i)[^a]", "Ab", 2, 1},
        {"(?-s)a.b", "a\nb", -1},
        {"(?-s)a.b", "a\rb", -1},
        {"(?-s)(?s)a.b", "a\nb", 1, 3},
        {"(?is-r)[а-я]+", "ЁЖ", 2, 1},
        // Comments.
        {"a(?#comment)b", "ab", 1, 2},
        // Cyrillic case folding.
        {"(?i)ёлка", "ЁЛКА", 1, 4},
        {"(?i)[а-в]+", "АБВг", 1, 3},
        // Only the letters of the table fold: ё is not е, and ў stays apart from Ў.
        {"(?i)е", "Ё", -1},
        {"(?i)ў", "Ў", -1},
    });
}

// A search that can loop over itself in many ways explores each state once: these finish.
TEST(RegExprSearch, CompetingPathsAreExploredOnce)
{
    const std::string abs = repeated("ab", 3000);
    checkTable({
        {"(a+)+b", repeated("a", 40).append("c"), -1},
        {"(a|b|ab)*c", abs + "d", -1},
        {"(a|b|ab)*d", abs + "d", 1, 6001, {{1, 6000, 1}}},
    });
}

TEST(RegExprErrors, CompileErrorsCarryCodeMessageAndPosition)
{
    // The pattern, the code and position, and the message between "TRegExpr(comp): " and " (pos
    // N)".
    const std::vector<std::tuple<std::string, int, int, const char*>> cases = {
        {"", 100, 0, "Null Argument"},
        {std::string(40000, 'a'), 101, 32768, "Regexp Too Big"},
        {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)(o)", 102, 43, "ParseReg Too Many ()"},
        {"(a", 103, 3, "ParseReg Unmatched ()"},
        {"(?i", 103, 4, "ParseReg Unmatched ()"},
        {"a)b", 105, 2, "ParseReg Unmatched ()"},
        {"(a*)*", 106, 5, "*+ Operand Could Be Empty"},
        {"(a|)+", 106, 5, "*+ Operand Could Be Empty"},
        {"^*", 106, 2, "*+ Operand Could Be Empty"},
        {"a**", 107, 3, "Nested *?+"},
        {R"(\x{1z})", 108, 5, "Bad Hex Digit"},
        {R"(\x4)", 108, 4, "Bad Hex Digit"},
        {R"([a-\d])", 109, 4, "Invalid [] Range"},
        {R"(ab\)", 110, 4, "Parse Atom Trailing \\"},
        {R"(\x)", 111, 3, "No Hex Code After \\x"},
        {R"(\x{})", 111, 4, "No Hex Code After \\x"},
        {R"(\x{100})", 112, 6, "Hex Code After \\x Is Too Big"},
        {"[^]", 113, 4, "Unmatched []"},
        {"{2}", 115, 1, "?+*{ Follows Nothing"},
        {"(?i)?", 115, 5, "?+*{ Follows Nothing"},
        {R"([a\)", 116, 4, "Trailing \\"},
        {"a{1,99999999999}", 118, 14, "BRACES Argument Too Big"},
        {"a{3,2}", 119, 6, "BRACE Min Param Greater then Max"},
        {"a(?#abc", 120, 8, "Unclosed (?#Comment)"},
        {"(ab){2}", 121, 5,
         "If you want take part in beta-testing BRACES '{min,max}' for complex "
         "cases - remove '.' from {.$DEFINE ComplexBraces}"},
        {"(?i-q)", 122, 5, "Urecognized Modifier"},
    };
    for (const auto& [pattern, code, pos, text] : cases) {
        SCOPED_TRACE("pattern " + pattern.substr(0, 60));
        TRegExpr re;
        try {
            re.SetExpression(u8(pattern));
            ADD_FAILURE() << "compiled";
        } catch (const ERegExpr& e) {
            EXPECT_EQ(e.errorCode(), code);
            EXPECT_EQ(e.compilerErrorPos(), pos);
            EXPECT_EQ(e.message(), "TRegExpr(comp): " + QString::fromUtf8(text) + " (pos " +
                                       QString::number(pos) + ")");
            EXPECT_STREQ(e.className(), "ERegExpr");
        }
        // The failed expression refuses to search until a good one is set.
        EXPECT_EQ(
            errorOf([&] { re.Exec(QStringLiteral("a")); }),
            std::make_pair(1012, QStringLiteral("TRegExpr(exec): Exec After Compilation Error")));
        re.SetExpression(QStringLiteral("a"));
        EXPECT_TRUE(re.Exec(QStringLiteral("ba")));
    }
}

TEST(RegExprErrors, ExecErrorsAndANewExpression)
{
    TRegExpr re;
    EXPECT_EQ(
        errorOf([&] { re.Exec(QStringLiteral("a")); }),
        std::make_pair(1003, QStringLiteral("TRegExpr(exec): Not Assigned Expression Property")));
    re.SetExpression(QStringLiteral("a"));
    EXPECT_EQ(errorOf([&] { re.ExecNext(); }),
              std::make_pair(1007, QStringLiteral("TRegExpr(exec): ExecNext Without Exec[Pos]")));

    // A new expression forgets the last search; the same expression again keeps it.
    ASSERT_TRUE(re.Exec(QStringLiteral("aa")));
    re.SetExpression(QStringLiteral("b"));
    EXPECT_EQ(re.GetMatchPos(0), -1);
    EXPECT_EQ(errorOf([&] { re.ExecNext(); }).first, 1007);
    ASSERT_TRUE(re.Exec(QStringLiteral("xb")));
    re.SetExpression(QStringLiteral("b"));
    EXPECT_EQ(re.GetMatchPos(0), 2);
}

// Error and ErrorMsg are the customisation points: a subclass may word the messages or swallow
// the error, and then the failed operation is simply abandoned.
TEST(RegExprSearch, ExecNextWalksThroughTheMatches)
{
    Matches emptyEverywhere;
    for (int i = 1; i <= 4001; ++i)
        emptyEverywhere.emplace_back(i, 0);
    const std::vector<std::tuple<const char*, std::string, Matches>> cases = {
        {"\\d+", "a1b22c333", {{2, 1}, {4, 2}, {7, 3}}},
        // The required literal "ab" is found again after each match.
        {"ab", "ab ab ab", {{1, 2}, {4, 2}, {7, 2}}},
        {"^a", "aa", {{1, 1}}},
        {"z", "aa", {}},
        // An empty match is followed by a search one character further on, so ExecNext ends.
        {"a*", "baab", {{1, 0}, {2, 2}, {4, 0}, {5, 0}}},
        // What one search learns about failing states serves the following ones; the states a
        // match went through are not among them, so the empty match right after it is found.
        {"(a|b)*", repeated("ab", 3000) + "X", {{1, 6000}, {6001, 0}, {6002, 0}}},
        // Every position starts a long failing search before the empty alternative matches.
        {".+.*x|", repeated("a", 4000), emptyEverywhere},
    };
    for (const auto& [pattern, subject, expected] : cases) {
        SCOPED_TRACE(pattern);
        TRegExpr re;
        re.SetExpression(QString::fromUtf8(pattern));
        EXPECT_EQ(allMatches(re, u8(subject)), expected);
    }
}

// Very long backtracking histories end in the loop-stack error, not in a crash.
TEST(RegExprSearch, LoopStackIsBounded)
{
    const std::string subject = repeated("ab", 700001);
    TRegExpr re;
    re.SetExpression(QStringLiteral("(ab)*$"));
    EXPECT_EQ(errorOf([&] { re.Exec(u8(subject)); }),
              std::make_pair(1014, QStringLiteral("TRegExpr(exec): Loop Stack Exceeded")));
    EXPECT_EQ(re.GetMatchPos(0), -1);
    // A greedy repeat of one character keeps one entry however long it runs.
    re.SetExpression(QStringLiteral("[ab]*$"));
    ASSERT_TRUE(re.Exec(u8(subject)));
    EXPECT_EQ(re.GetMatchLen(0), int(subject.size()));
}

TEST(UpperCaseSQLVariables, UpperCasesEachVariableWithTheCharacterAfterIt)
{
    EXPECT_EQ(UpperCaseSQLVariables(QStringLiteral("select @a_1, x from t where y=@Name ")),
              QStringLiteral("select @A_1, x from t where y=@NAME "));
    EXPECT_EQ(UpperCaseSQLVariables(QStringLiteral("select @a_1, x from t where y=@Name")),
              QStringLiteral("select @A_1, x from t where y=@Name"));
    EXPECT_EQ(UpperCaseSQLVariables(QStringLiteral("@v\nselect @w;")),
              QStringLiteral("@V\nselect @W;"));
    EXPECT_EQ(UpperCaseSQLVariables(QStringLiteral("select 1 -- @ alone")),
              QStringLiteral("select 1 -- @ alone"));
    // Names are Latin; the rest of the text is carried over as it was, whatever its characters.
    EXPECT_EQ(UpperCaseSQLVariables(QStringLiteral("@имя = 'чай' 中 @x)")),
              QStringLiteral("@имя = 'чай' 中 @X)"));
    // The match ends inside a surrogate pair; the pair still comes out whole.
    EXPECT_EQ(UpperCaseSQLVariables(QStringLiteral("@a😀 @b")), QStringLiteral("@A😀 @b"));
}
