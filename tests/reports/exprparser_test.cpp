// The expression language on its own (no callbacks): grouping and precedence, relations, strings,
// the lexer's edge cases, every error with its message, and an independent check of arithmetic
// against Debian's python3.
#include <reports/exprparser.h>
#include <reports/rconst.h>
#include <reports/repproc.h>
#include <translation/lc.h>

#include <support/workspace.h>

#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

std::unique_ptr<TExprNode> parse(const QString& text, TExprParser* parser = nullptr)
{
    TExprParser own;
    TExprParser& p = parser ? *parser : own;
    p.SetExpression(text);
    return p.Parse();
}

// What an expression gives: a value of a type, or the message of an error.
struct Outcome
{
    Variant value;
    Variant::Type type = Variant::Type::Unassigned;
    int messageId = 0;
    QString message;
};

Outcome run(const QString& text)
{
    Outcome o;
    try {
        std::unique_ptr<TExprNode> root = parse(text);
        o.value = root ? root->Evaluate() : Variant();
        o.type = o.value.type();
    } catch (const EParseException& e) {
        o.messageId = e.MessageId();
        o.message = e.message();
    }
    return o;
}

struct ValueCase
{
    const char* group;
    const char* text;
    Variant expected;
};

// Worked out by hand from the grammar: AND and OR share one level and group from the left, a
// leading minus takes only the primary after it, relations do not chain.
const ValueCase valueCases[] = {
    {"arithmetic", "1 + 2 * 3", 7.0},
    {"arithmetic", "2 - 3 - 4", -5.0},
    {"arithmetic", "-2 * 3", -6.0},
    {"arithmetic", "- (2 + 3) * 2", -10.0},
    {"arithmetic", "2 - -3", 5.0},
    {"arithmetic", "10 / 4", 2.5},
    {"arithmetic", "12 / 2 / 3", 2.0},
    {"arithmetic", "1.5 + 1", 2.5}, // "." read under the regional ","
    {"arithmetic", "1E3 + 0.25", 1000.25},
    {"division by zero", "7 / 0", 0},
    {"division by zero", "7 / (3 - 3)", 0},
    {"division by zero", "1 + 7 / 0", 1.0},
    {"logic", "1 = 1 OR 1 = 1 AND 1 = 2", false}, // (T OR T) AND F
    {"logic", "1 < 2 AND 2 < 1 OR 1 = 1", true},  // (T AND F) OR T
    {"logic", "NOT 1 = 2", true},
    {"logic", "not 2 >= 1", false},
    {"logic", "1 <> 1 or 2 <= 2", true},
    {"strings", "'abc' = 'ABC'", true},
    {"strings", "'e' < 'é'", true},
    {"strings", "'e' = 'é'", false}, // only case is left aside
    {"strings", "'é' < 'f'", true},
    {"strings", "'a' < 'B'", true}, // case left aside: by bytes 'a' comes after 'B'
    {"strings", "'abc' <> 'abd'", true},
    {"strings", "'ab' + 'cd'", "abcd"},
    {"strings", "'[x]' + ''", "[x]"},
    {"identifiers", "foo", "foo"},
    {"identifiers", "foo = 'FOO'", true},
    {"identifiers", "_a1 + 'b'", "_a1b"},
    {"identifiers", "é1", "é1"}, // a byte from 129 to 254 starts an identifier
    {"identifiers", "AND1", "AND1"},
};

class ValueTable : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(ValueTable, EvaluatesAsWorkedOut)
{
    const ValueCase& c = GetParam();
    const Outcome o = run(QString::fromUtf8(c.text));
    ASSERT_EQ(o.messageId, 0) << c.text << ": " << o.message.toStdString();
    EXPECT_EQ(o.type, c.expected.type()) << c.text;
    EXPECT_EQ(o.value, c.expected) << c.text << " gave " << o.value.toString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Groups, ValueTable, ::testing::ValuesIn(valueCases));

struct ErrorCase
{
    const char* text;
    int id;
    const char* message;
};

// Every error of the language with its arguments, as the engine's own texts give it.
const ErrorCase errorCases[] = {
    {"1 < 2 < 3", 13, "Fin d'expression attendue"},
    {"1)", 13, "Fin d'expression attendue"},
    {"(1", 14, "« ) » attendue"},
    {"'abc", 16, "Fin de texte dans un nom entre crochets ou une chaîne"},
    {"[abc", 16, "Fin de texte dans un nom entre crochets ou une chaîne"},
    {"1 # 2", 17, "Caractère inattendu « # »"},
    {"€", 17, "Caractère inattendu « € »"},  // 0x80 in the code page: no identifier
    {"ÿ", 17, "Caractère inattendu « ÿ »"},  // 0xFF
    {"Ωx", 17, "Caractère inattendu « Ω »"}, // not in the code page
    {"() + ()", 18, "Opérateur sans opérande"},
    {"1 + ()", 19, "L'opérateur « + » ne peut pas être unaire"},
    {"() * 2", 19, "L'opérateur « * » ne peut pas être unaire"},
    {"", 20, "Opérande attendu au lieu de «  »"},
    {"   ", 20, "Opérande attendu au lieu de «  »"},
    {"NOT NOT 1 = 1", 20, "Opérande attendu au lieu de « NOT »"},
    {"1 + * 2", 20, "Opérande attendu au lieu de « * »"},
    {"1 +", 20, "Opérande attendu au lieu de «  »"},
    {"'abc' + 1", 25, "Types incompatibles"},
    {"1 = 'a'", 25, "Types incompatibles"},
    {"-'a'", 25, "Types incompatibles"},
    {"1 AND 2", 25, "Types incompatibles"},
    {"NOT 1", 25, "Types incompatibles"},
    {"'a' * 'b'", 25, "Types incompatibles"},
};

class ErrorTable : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(ErrorTable, RaisesItsMessage)
{
    const ErrorCase& c = GetParam();
    const Outcome o = run(QString::fromUtf8(c.text));
    EXPECT_EQ(o.messageId, c.id) << c.text;
    EXPECT_EQ(o.message, QString::fromUtf8(c.message)) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Messages, ErrorTable, ::testing::ValuesIn(errorCases));

TEST(ExprParser, LexerEdges)
{
    // Empty parentheses alone build nothing.
    EXPECT_EQ(parse(QStringLiteral("()")), nullptr);

    // "1E-5" is three tokens: the number "1E", "-" and "5".
    TExprParser p;
    QStringList numbers;
    p.OnNumber = [&](TExprParser&, const QString& text, std::unique_ptr<TExprNode>& node) {
        numbers << text;
        node = std::make_unique<TConstNode>(Variant(1.0));
    };
    parse(QStringLiteral("1E-5 + 1.5"), &p);
    EXPECT_EQ(numbers, (QStringList{"1E", "5", "1.5"}));
    // Without a callback "1E" is no number.
    EXPECT_EQ(messageOf<EConvertError>([] { parse(QStringLiteral("1E-5")); }),
              QStringLiteral("'1E' is not a valid floating point value"));

    // A bracketed name is cut to 256 characters, without an error.
    QString name;
    p.OnVirtualField = [&](TExprParser&, const QString& text, std::unique_ptr<TExprNode>&) {
        name = text;
    };
    parse(QLatin1Char('[') + QString(300, QLatin1Char('n')) + QLatin1Char(']'), &p);
    EXPECT_EQ(name, QString(256, QLatin1Char('n')));

    // A NUL character ends the text; characters 1 to 32 are blanks.
    EXPECT_EQ(parse(QStringLiteral("1\t+\n2") + QChar() + QStringLiteral("junk"))->Evaluate(),
              Variant(3.0));

    // Under the Cyrillic code page a Cyrillic letter starts an identifier.
    const CodePageScope cyrillic(codepage::Cp1251);
    EXPECT_EQ(parse(QStringLiteral("Жx"))->Evaluate(), Variant(QStringLiteral("Жx")));
}

// What the parser offers its aggregate and function callbacks: argument lists, raw arguments and
// the raw parameter text.
TEST(ExprParser, ArgumentListsForCallbacks)
{
    TExprParser p;
    p.SetFunctions({QStringLiteral("F")});
    p.RawFunctionNames().Assign({QStringLiteral("R")});
    p.FieldNames().Add(QStringLiteral("X"));
    QStringList seen;
    p.OnFunction = [&](TExprParser& sender, const QString& name, std::unique_ptr<TExprNode>& node) {
        QString raw;
        sender.GetRawParams(true, raw);
        TExprNodeList args;
        if (sender.RawFunctionNames().Contains(name))
            sender.ParseRawArgs(args);
        else
            sender.ParseArgs(args);
        QStringList texts;
        for (int i = 0; i < args.Count(); ++i)
            texts << args.Items(i)->GetText();
        seen << raw + QLatin1Char('|') + texts.join(QLatin1Char(';'));
        node = std::make_unique<TConstNode>(Variant(double(args.Count())));
    };
    EXPECT_EQ(parse(QStringLiteral("F(1, (2), ) + f() + r(a, b c)"), &p)->Evaluate(), Variant(3.0));
    EXPECT_EQ(seen, (QStringList{"1, (2|1;2", "|", "a, b c|a, b c"}));
    EXPECT_EQ(messageOf<EParseException>([&] { parse(QStringLiteral("F(1, 2"), &p); }),
              QStringLiteral("« ) » attendue"));
    // A callback that asks for an argument list where none begins.
    p.OnField = [](TExprParser& sender, const QString&, std::unique_ptr<TExprNode>&) {
        TExprNodeList args;
        sender.ParseArgs(args);
    };
    EXPECT_EQ(messageOf<EParseException>([&] { parse(QStringLiteral("X + 1"), &p); }),
              QStringLiteral("« ( » attendue"));
}

TEST(ExprParser, NodesKeepTheirTexts)
{
    EXPECT_EQ(parse(QStringLiteral("1 + 2.5 * -3"))->GetText(), QStringLiteral("1+2,5*-3"));
    EXPECT_EQ(parse(QStringLiteral("'a' + 'bcd'"))->Size, 4);
    EXPECT_EQ(parse(QStringLiteral("NOT 1 < 2"))->ResultType, rtBoolean);

    // A constant with alternatives takes the first of the type its partner needs.
    auto alternatives = std::make_unique<TConstNode>(VariantList{QStringLiteral("five"), 5.0});
    EXPECT_EQ(alternatives->ResultType, rtString);
    TOpNode sum(opAdd, std::move(alternatives), std::make_unique<TConstNode>(Variant(2.0)));
    EXPECT_EQ(sum.ResultType, rtNumber);
    EXPECT_EQ(sum.Evaluate(), Variant(7.0));
    EXPECT_EQ(messageOf<EParseException>([] {
                  TOpNode(opAdd, std::make_unique<TConstNode>(VariantList{QStringLiteral("a")}),
                          std::make_unique<TConstNode>(Variant(1.0)));
              }),
              QStringLiteral("Types incompatibles"));
}

TEST(ExprParser, NestingIsBounded)
{
    const auto nested = [](int levels) {
        return QString(levels, QLatin1Char('(')) + QLatin1Char('1') +
               QString(levels, QLatin1Char(')'));
    };
    EXPECT_EQ(parse(nested(256))->Evaluate(), Variant(1.0));
    const Outcome deeper = run(nested(257));
    EXPECT_EQ(deeper.messageId, 28);
    EXPECT_EQ(deeper.message, QStringLiteral("Expression trop imbriquée (plus de 256 niveaux)"));
    // A long run of "(" ends in the same message rather than at the end of the stack.
    EXPECT_EQ(run(QString(200000, QLatin1Char('('))).messageId, 28);
}

// Every operator is one level of the tree, as every parenthesis is one of nesting: a chain is as
// deep as it is long, and walking a deeper tree (its text, its value, freeing it) would run out of
// stack. Levels worked out by hand: n operators in a row are n levels; a parenthesised operand
// counts its parentheses while inside them and its operators after.
struct ChainCase
{
    const char* what;
    QString text;
    Variant expected; // unassigned: message 28
};

QString ones(int operators, const char* op = "+1")
{
    return QStringLiteral("1") + QString::fromLatin1(op).repeated(operators);
}

QString parenthesised(int levels, const QString& inner)
{
    return QString(levels, QLatin1Char('(')) + inner + QString(levels, QLatin1Char(')'));
}

TEST(ExprParser, OperatorChainsAreBounded)
{
    const ChainCase cases[] = {
        {"256 operators", ones(256), 257.0},
        {"257 operators", ones(257), Variant()},
        {"50,000 operators", ones(50000), Variant()},
        {"200 parentheses around 56 operators", parenthesised(200, ones(56)), 57.0},
        {"200 parentheses around 57 operators", parenthesised(200, ones(57)), Variant()},
        {"128 operators in parentheses, 128 after", parenthesised(1, ones(128)) + ones(128).mid(1),
         257.0},
        {"128 operators in parentheses, 129 after", parenthesised(1, ones(128)) + ones(129).mid(1),
         Variant()},
        {"128 relations joined by 127 AND, then 128 OR",
         QStringLiteral("1=1") + QStringLiteral(" AND 1=1").repeated(127) +
             QStringLiteral(" OR 1=2").repeated(128),
         true},
        {"the same with one OR more",
         QStringLiteral("1=1") + QStringLiteral(" AND 1=1").repeated(127) +
             QStringLiteral(" OR 1=2").repeated(129),
         Variant()},
    };
    for (const ChainCase& c : cases) {
        const Outcome o = run(c.text);
        if (c.expected.type() == Variant::Type::Unassigned) {
            EXPECT_EQ(o.messageId, 28) << c.what;
        } else {
            EXPECT_EQ(o.messageId, 0) << c.what;
            EXPECT_EQ(o.value, c.expected) << c.what;
        }
    }
    // At the limit the text is whole.
    EXPECT_EQ(parse(ones(256))->GetText(), ones(256));
}

TEST(ExprParser, MessagesComeFromTheHostsComponent)
{
    TLC own;
    own.Consts = QStringList{QStringLiteral("17=Unexpected '%s'")};
    const auto savedCallback = OnGetReportLC;
    OnGetReportLC = [&] { return &own; };
    ReportLCObtained = false;
    EXPECT_EQ(run(QStringLiteral("#")).message, QStringLiteral("Unexpected '#'"));
    EXPECT_EQ(run(QStringLiteral("(1")).message, QString()); // no text for 14
    // Without a component every text is empty.
    OnGetReportLC = nullptr;
    ReportLCObtained = false;
    EXPECT_EQ(run(QStringLiteral("#")).message, QString());
    OnGetReportLC = savedCallback;
    ReportLCObtained = false;
    EXPECT_EQ(run(QStringLiteral("#")).message, QStringLiteral("Caractère inattendu « # »"));
}

// 1,000 random arithmetic expressions over number literals, evaluated by the engine and by
// python3, whose numbers divide through a function that gives 0 for a zero divisor.
TEST(ExprParser, ArithmeticAgreesWithPython)
{
    std::mt19937 random(20260612);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    // Engine text and Python text of one expression, built side by side.
    std::function<std::pair<QString, QString>(int)> make = [&](int depth) {
        if (depth == 0 || pick(10) < 3) {
            const QString literal = pick(3) == 0 ? QString::asprintf("%d.%02d", pick(10), pick(100))
                                                 : QString::number(pick(100));
            std::pair<QString, QString> leaf{literal, QStringLiteral("N(%1)").arg(literal)};
            if (pick(7) == 0)
                leaf = {QLatin1Char('-') + leaf.first, QLatin1Char('-') + leaf.second};
            return leaf;
        }
        static const char ops[] = "+-*/";
        const QChar op = QLatin1Char(ops[pick(4)]);
        auto [l1, l2] = make(depth - 1);
        auto [r1, r2] = make(depth - 1);
        std::pair<QString, QString> e{l1 + QLatin1Char(' ') + op + QLatin1Char(' ') + r1,
                                      l2 + op + r2};
        if (pick(2) == 0) {
            e = {QLatin1Char('(') + e.first + QLatin1Char(')'),
                 QLatin1Char('(') + e.second + QLatin1Char(')')};
            if (pick(6) == 0)
                e = {QLatin1Char('-') + e.first, QLatin1Char('-') + e.second};
        }
        return e;
    };
    QStringList engineTexts, pythonTexts;
    for (int i = 0; i < 1000; ++i) {
        auto [engine, python] = make(1 + pick(5));
        engineTexts << engine;
        pythonTexts << python;
    }

    const QString script = QStringLiteral(R"(
import sys
class N(float):
    def __add__(a, b): return N(float(a) + float(b))
    def __sub__(a, b): return N(float(a) - float(b))
    def __mul__(a, b): return N(float(a) * float(b))
    def __truediv__(a, b): return N(0) if float(b) == 0 else N(float(a) / float(b))
    def __neg__(a): return N(-float(a))
for line in sys.stdin:
    print(repr(float(eval(line))))
)");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script});
    ASSERT_TRUE(python.waitForStarted(10000));
    python.write(pythonTexts.join(QLatin1Char('\n')).toUtf8() + '\n');
    python.closeWriteChannel();
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QStringList results = QString::fromUtf8(python.readAllStandardOutput())
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(results.size(), 1000);

    int divisionsByZero = 0;
    for (int i = 0; i < 1000; ++i) {
        const double expected = results.at(i).toDouble();
        const Variant got = parse(engineTexts.at(i))->Evaluate();
        const double value = got.toDouble();
        if (got.type() == Variant::Type::Integer)
            ++divisionsByZero;
        EXPECT_LE(std::abs(value - expected), 1e-9 * std::max(std::abs(expected), 1e-300))
            << engineTexts.at(i).toStdString() << " gave " << value << ", python " << expected;
    }
    // The table reached the zero divisors at the top as well as inside.
    EXPECT_GT(divisionsByZero, 0);
}

} // namespace
