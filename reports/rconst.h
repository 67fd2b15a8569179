// The report engine's numbered messages: their texts come from a numbered-text component that the
// host supplies (the engine's own French texts unless it installs another), read by number and
// formatted with their arguments.
#pragma once

#include <platform/variant.h>

#include <QString>

class TLC;

// Message numbers of the expression language and the report expressions.
namespace RptMsg {
enum : int {
    EmptyAggregate = 12,  // SUM, AVG, MIN or MAX without an argument
    ExpectedEnd = 13,     // text after a complete expression; a macro name not closed by "%"
    ExpectedClose = 14,   // ")" missing
    ExpectedOpen = 15,    // "(" missing
    UnclosedText = 16,    // end of text inside a bracketed name or a string
    BadCharacter = 17,    // a character that starts no token (arg: the character)
    NoOperands = 18,      // an operator without operands
    NotUnary = 19,        // a unary use of another operator than "-" and NOT (arg: the operator)
    ExpectedOperand = 20, // a token that cannot start an operand (arg: the token)
    NestedAggregate = 21, // an aggregate inside SUM, AVG, MIN or MAX
    UnknownName = 22,     // no such aggregate or virtual field; a string to accumulate (arg)
    FieldOutside = 23,    // a field outside an aggregate in a totals expression
    InvalidExpression = 24,
    TypeMismatch = 25,      // with the two operand texts, or without arguments
    CircularReference = 27, // a virtual field reaching itself (arg: its name)
    TooDeep = 28,           // nesting beyond MaxNesting
};
}

// Levels that an expression's tree may take: parentheses, argument lists and macro expansions
// around a node, and the operators at and below it (a chain of operators is as deep as it is long).
constexpr int MaxNesting = 256;

// The text of message `Id`: the component is obtained once, on first use, through OnGetReportLC
// (repproc.h); without one every text is empty.
QString GetRptMessage(int Id);
// The text formatted with the arguments. A text whose directives do not fit the arguments (a
// host's own) is given unformatted rather than failing.
QString FormatRptMessage(int Id, const VariantList& Args);

// The engine's own component: a French text for each message number. OnGetReportLC supplies it
// unless the host installs another.
TLC* ReportEngineLC();
