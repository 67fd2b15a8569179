// The kernel's compact backtracking regular-expression engine (Perl-like syntax) working on the
// bytes of code page 1251, and its exception.
#pragma once

#include <platform/exception.h>

#include <QString>
#include <memory>

// Error codes of the engine, numbered in the order of the message table. Messages begin with
// "TRegExpr(comp): " (compile), "TRegExpr(exec): " (search) or "TRegExpr(dump): ". Codes below
// 1000 are compile errors: their message ends with " (pos N)", N being the 1-based position in the
// expression of the character the compiler could not accept (the expression's length + 1 when it
// ran out of text; 0 for an empty expression).
//
//   100 "Null Argument"                    the expression is empty
//   101 "Regexp Too Big"                   the compiled program would pass ProgramSizeLimit
//   102 "ParseReg Too Many ()"             a 15th group is opened (at its "(")
//   103 "ParseReg Unmatched ()"            a ")" is missing (at the end)
//   104 "ParseReg Junk On End"             text left after the expression (internal fault)
//   105 "ParseReg Unmatched ()"            a ")" without its "("
//   106 "*+ Operand Could Be Empty"        a repeat of something that may match nothing
//   107 "Nested *?+"                       a quantifier right after a quantifier
//   108 "Bad Hex Digit"                    "\x" followed by a character that is no hex digit
//   109 "Invalid [] Range"                 a range running backwards, or ending in a class escape
//   110 "Parse Atom Trailing \"            "\" ends the expression
//   111 "No Hex Code After \x"             "\x" ends the expression, or "\x{}"
//   112 "Hex Code After \x Is Too Big"     "\x{...}" above 255 (at the digit that passes 255)
//   113 "Unmatched []"                     a "[" without its "]"
//   114 "Internal Urp"                     internal fault of the compiler
//   115 "?+*{ Follows Nothing"             a quantifier with nothing before it
//   116 "Trailing \"                       "\" ends the expression inside "[...]"
//   117 "RarseAtom Internal Disaster"      internal fault of the compiler
//   118 "BRACES Argument Too Big"          a count above 2147483646 (at the digit that passes it)
//   119 "BRACE Min Param Greater then Max" "{min,max}" with min > max (at the "}")
//   120 "Unclosed (?#Comment)"             a comment without its ")"
//   121 "If you want take part in beta-testing BRACES ..."  braces after a group or an anchor
//   122 "Urecognized Modifier"             "(?" followed by anything but i, r, s and "-"
//  1000 "RegRepeat Called Inappropriately" internal fault of the matcher
//  1001 "MatchPrim Memory Corruption"      internal fault of the matcher (unknown instruction)
//  1002 "MatchPrim Corrupted Pointers"     not produced here
//  1003 "Not Assigned Expression Property" Exec before any expression was set
//  1004 "Corrupted Program"                not produced here
//  1005 "No Inpit String Specified"        not produced here (every QString is an input)
//  1006 "Offset Must Be Greater Then 0"    not produced here (there is no search from an offset)
//  1007 "ExecNext Without Exec[Pos]"       ExecNext before any Exec with this expression
//  1008 "GetInputString Without InputString"  not produced here
//  1011 "Corrupted Opcode" (dump)          not produced here (there is no dump)
//  1012 "Exec After Compilation Error"     Exec while the expression failed to compile
//  1014 "Loop Stack Exceeded"              the backtracking stack passed LoopStackLimit
//  1015 "Loop Without LoopEntry !"         not produced here (no counted loops of groups)
// The class builder's own check raises "TRegExpr.ParseAtom(subroutine EmitRangeC): RangeChMin >
// RangeChMax" with code 114 (an internal fault: backward ranges are refused with 109 first).
namespace RegExprCode {
constexpr int NoError = 0;
constexpr int NullArgument = 100;
constexpr int RegexpTooBig = 101;
constexpr int TooManyGroups = 102;
constexpr int UnmatchedOpen = 103;
constexpr int JunkOnEnd = 104;
constexpr int UnmatchedClose = 105;
constexpr int OperandCouldBeEmpty = 106;
constexpr int NestedQuantifier = 107;
constexpr int BadHexDigit = 108;
constexpr int InvalidRange = 109;
constexpr int AtomTrailingBackslash = 110;
constexpr int NoHexCode = 111;
constexpr int HexCodeTooBig = 112;
constexpr int UnmatchedBracket = 113;
constexpr int InternalUrp = 114;
constexpr int QuantifierFollowsNothing = 115;
constexpr int TrailingBackslash = 116;
constexpr int AtomInternalDisaster = 117;
constexpr int BracesArgTooBig = 118;
constexpr int BraceMinGreaterThanMax = 119;
constexpr int UnclosedComment = 120;
constexpr int ComplexBraces = 121;
constexpr int UnrecognizedModifier = 122;
constexpr int RepeatCalledInappropriately = 1000;
constexpr int MatchMemoryCorruption = 1001;
constexpr int MatchCorruptedPointers = 1002;
constexpr int NoExpression = 1003;
constexpr int CorruptedProgram = 1004;
constexpr int NoInputString = 1005;
constexpr int OffsetNotPositive = 1006;
constexpr int ExecNextWithoutExec = 1007;
constexpr int InputStringMissing = 1008;
constexpr int CorruptedOpcode = 1011;
constexpr int ExecAfterCompileError = 1012;
constexpr int LoopStackExceeded = 1014;
constexpr int LoopWithoutEntry = 1015;
} // namespace RegExprCode

// Raised by TRegExpr::Error: the code above and the position of the last compile error.
class ERegExpr : public Exception
{
public:
    ERegExpr(QString message, int errorCode, int compilerErrorPos)
        : Exception(std::move(message)), m_errorCode(errorCode),
          m_compilerErrorPos(compilerErrorPos)
    {
    }
    int errorCode() const { return m_errorCode; }
    int compilerErrorPos() const { return m_compilerErrorPos; }
    const char* className() const override { return "ERegExpr"; }

private:
    int m_errorCode;
    int m_compilerErrorPos;
};

// A compiled expression and the matches of its last search.
//
// Syntax: literal characters; "." (any character); "^" and "$" (start and end of the input);
// "[...]" and "[^...]" with ranges ("]" first and "-" first or last stand for themselves);
// "\" before a meta character "^$.[()|?+*\{"; "\t" 9, "\n" 10, "\r" 13, "\f" 12, "\a" 7, "\e" 27;
// "\xHH" or "\x{H...}" (at most 255); "\d" digits, "\w" word characters (Latin letters, "_" and
// digits), "\s" white space (space, 9, 10, 11, 12, 13) and their complements "\D", "\W", "\S";
// any other character after "\" stands for itself (inside brackets too); groups "(...)" (at most
// 14, numbered by their "("); "|"; "*", "+", "?" and "{n}", "{n,}", "{n,m}" (greedy; "{" that
// does not open such a count is an ordinary character); comments "(?#...)"; modifiers
// "(?irs-irs)", in either case, valid to the end of the enclosing group:
//   i  letters match either case: Latin a-z/A-Z and the Cyrillic а-я/А-Я and ё/Ё (off at first);
//   r  a range from е or below to ж or above takes in ё, the same for Е, Ж and Ё (on at first);
//   s  "." matches line breaks (10 and 13) as well (on at first).
// Braces are applied to single characters, "." and classes only; after a group or an anchor they
// raise ComplexBraces. A group that may match nothing cannot be repeated more than once.
//
// Text is matched as its code page 1251 bytes; a character that code page cannot hold reads as a
// literal "?" (in the expression too). Positions and lengths count characters, from 1.
// The search explores each state of the program at each input position at most once, so no
// expression makes it take exponential time; its backtracking stack is bounded by LoopStackLimit.
class TRegExpr
{
public:
    // Sub-match slots: 0 the whole match, 1..14 the groups.
    static constexpr int SubExprCount = 15;
    // Items of a compiled program (instructions, literal characters and classes).
    static constexpr int ProgramSizeLimit = 65536;
    // Entries of the backtracking stack during one search.
    static constexpr int LoopStackLimit = 1 << 21;

    TRegExpr();
    virtual ~TRegExpr();
    TRegExpr(const TRegExpr&) = delete;
    TRegExpr& operator=(const TRegExpr&) = delete;

    QString Expression() const;
    // Stores and compiles the expression at once; nothing happens when it is unchanged and
    // compiled. A fault raises a compile error; Exec then raises ExecAfterCompileError.
    void SetExpression(const QString& text);

    // Searches `input` from its first character; false when nothing matches.
    bool Exec(const QString& input);
    // Searches again from the end of the previous match (one character further when that match
    // was empty); false when the previous search found nothing or nothing more matches.
    bool ExecNext();

    // 1-based position and length of sub-match idx; -1 when idx is outside 0..14 or the slot is
    // unset. GetMatch gives its text, empty when unset.
    int GetMatchPos(int idx) const;
    int GetMatchLen(int idx) const;
    QString GetMatch(int idx) const;

    // Raises ERegExpr with ErrorMsg(code), " (pos N)" appended for compile errors. When an
    // override returns instead, the compile or the search that failed is abandoned (the
    // expression stays uncompiled, the search reports no match).
    virtual void Error(int code);
    // The message of a code: the table above, "No errors" for 0, "Unknown error" otherwise.
    virtual QString ErrorMsg(int code) const;

private:
    bool execFrom(int start);

    struct Private;
    std::unique_ptr<Private> d;
};
