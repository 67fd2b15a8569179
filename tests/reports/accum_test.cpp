// Report expressions over a source dataset: their errors, where fields land and how they are
// used, aggregates worked out by hand per group level, macros, user functions and virtual fields.
#include "report_pass.h"

#include <reports/rconst.h>

#include <support/workspace.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace reporttest;

namespace {

class ReportExpr : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Rows 2, 5, Null, 9 in group 1 and 1 in group 2.
        fillSource(source, {{1, 2.0, QStringLiteral("deux"), true},
                            {1, 5.0, QStringLiteral("cinq")},
                            {1, Variant::null()},
                            {1, 9.0},
                            {2, 1.0}});
        report.SetSourceDataSet(&source);
        report.SetUserFunction({QStringLiteral("F")});
        report.SetUserFunction2({QStringLiteral("G")});
        TVirtualField* v = report.VirtualFields().Add();
        v->SetDisplayName(QStringLiteral("V1"));
        v->SetExpression(QStringLiteral("2 * 3"));
    }

    TRptExpr* expr(const QString& text, bool totals = false)
    {
        auto e = std::make_unique<TRptExpr>(&report.Accumulator());
        e->SetFunctions(report.UserFunction(), report.UserFunction2());
        e->SetDataSet(&source);
        e->Totals = totals;
        e->UsedFields = &report.UsedFields();
        e->SetText(text);
        expressions.push_back(std::move(e));
        return expressions.back().get();
    }

    // The value of the expression on the accumulator's row of the group.
    Variant at(TRptExpr* e, qint64 key)
    {
        EXPECT_TRUE(report.Accumulator().GotoKey(key)) << key;
        return e->Evaluate();
    }

    int errorOf(TRptExpr* e, QString* message = nullptr)
    {
        try {
            e->Evaluate();
        } catch (const EParseException& ex) {
            if (message)
                *message = ex.message();
            return ex.MessageId();
        }
        return 0;
    }

    MemDataSet source;
    MemDataSet keys;
    TRptGen report;
    std::vector<std::unique_ptr<TRptExpr>> expressions;
};

struct ErrorCase
{
    const char* text;
    bool totals;
    int id;
    const char* message;
};

const ErrorCase errorCases[] = {
    {"SUM()", false, 12, "Argument manquant dans la fonction d'agrégat"},
    {"MAX( )", false, 12, "Argument manquant dans la fonction d'agrégat"},
    {"SUM(SUM(X))", false, 21, "Fonction d'agrégat dans une autre"},
    {"AVG(1 + MIN(X))", false, 21, "Fonction d'agrégat dans une autre"},
    {"SUM('abc')", false, 22, "Nom inconnu ou valeur non cumulable : « abc »"},
    {"SUM(nothing)", false, 22, "Nom inconnu ou valeur non cumulable : « nothing »"},
    {"[NOPE] + 1", false, 22, "Nom inconnu ou valeur non cumulable : « NOPE »"},
    {"X + 1", true, 23, "Champ hors d'une fonction d'agrégat dans un total"},
    {"SUM(X) + [V1]", true, 23, "Champ hors d'une fonction d'agrégat dans un total"},
    {"%SELF%", false, 28, "Expression trop imbriquée (plus de 256 niveaux)"},
    // Accepted: COUNT inside SUM, a string as a later argument, fields inside a user function
    // or COUNT of a totals expression, a virtual field accumulated there.
    {"SUM(COUNT())", false, 0, ""},
    {"SUM(X, 1, 'key')", false, 0, ""},
    {"SUM(X) + F(X)", true, 0, ""},
    {"COUNT(X)", true, 0, ""},
    {"SUM([V1])", true, 0, ""},
};

class ReportExprErrors : public ReportExpr, public ::testing::WithParamInterface<ErrorCase>
{
};

TEST_P(ReportExprErrors, RaiseTheirMessage)
{
    const ErrorCase& c = GetParam();
    report.OnGetMacroValue = [](const QString& name, QString& value) {
        if (name == QLatin1String("SELF"))
            value = QStringLiteral("%SELF%");
    };
    TRptExpr* e = expr(QString::fromUtf8(c.text), c.totals);
    QString message;
    if (c.id == 0) {
        EXPECT_NO_THROW(e->Root()) << c.text;
        return;
    }
    EXPECT_EQ(errorOf(e, &message), c.id) << c.text;
    EXPECT_EQ(message, QString::fromUtf8(c.message)) << c.text;
    // Invalid from now on: message 24, without parsing again.
    EXPECT_EQ(e->State(), esInvalid);
    EXPECT_EQ(errorOf(e, &message), 24) << c.text;
    EXPECT_EQ(message, QStringLiteral("Expression invalide"));
}

INSTANTIATE_TEST_SUITE_P(Table, ReportExprErrors, ::testing::ValuesIn(errorCases));

TEST_F(ReportExpr, AFailedTextIsNotParsedAgainUntilItChanges)
{
    int expansions = 0;
    report.OnGetMacroValue = [&](const QString&, QString& value) {
        ++expansions;
        value = QStringLiteral("1");
    };
    TRptExpr* e = expr(QStringLiteral("%ONE% + )"));
    EXPECT_EQ(errorOf(e), 19);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(errorOf(e), 24);
    EXPECT_THROW(e->ResultType(), EParseException);
    EXPECT_EQ(expansions, 1);
    // A new dataset, or the text set again, gives it another chance.
    MemDataSet other;
    e->SetDataSet(&other);
    EXPECT_EQ(errorOf(e), 19);
    EXPECT_EQ(expansions, 2);
    e->SetText(QStringLiteral("%ONE% + 1"));
    EXPECT_EQ(e->Evaluate(), Variant(2.0));
    e->SetText(QString());
    EXPECT_EQ(e->State(), esEmpty);
    EXPECT_TRUE(e->Evaluate().isNull());
}

// Where a field lands: accumulated as the first argument of SUM, AVG, MIN or MAX; a field node
// bound at once elsewhere, except after an aggregate (the report pass binds those); and the
// usage flags it leaves in the used-field list.
struct PositionCase
{
    const char* text;
    const char* field;
    int flags;
    const char* node; // "accumulated", "bound" or "unbound"
};

const PositionCase positionCases[] = {
    {"SUM(X)", "X", 8, "accumulated"},
    {"SUM(X, GRP)", "GRP", 1, "bound"},
    {"F(GRP)", "GRP", 2, "bound"},
    {"COUNT(GRP)", "GRP", 2, "bound"},
    {"GRP", "GRP", 4, "bound"},
    {"SUM(X) + GRP", "GRP", 4, "unbound"},
    {"SUM(X) + COUNT(GRP)", "GRP", 2, "unbound"},
    {"GRP + SUM(grp)", "GRP", 12, "bound"},
};

class FieldPositions : public ReportExpr, public ::testing::WithParamInterface<PositionCase>
{
};

TEST_P(FieldPositions, GiveNodeAndFlags)
{
    const PositionCase& c = GetParam();
    TUsedFieldList used;
    TRptExpr* e = expr(QString::fromUtf8(c.text));
    e->UsedFields = &used;
    e->Root();
    const int line = used.IndexOf(QLatin1String(c.field));
    ASSERT_GE(line, 0) << c.text;
    EXPECT_EQ(used.Flags(line), c.flags) << c.text;
    const QString node = QLatin1String(c.node);
    if (node == QLatin1String("accumulated")) {
        ASSERT_EQ(e->AccFields().size(), 1u);
        EXPECT_EQ(e->AccFields()[0]->Item()->Name(), QLatin1String(c.field));
        EXPECT_EQ(e->FieldNodeCount(), 0) << c.text;
        return;
    }
    TFieldNode* found = nullptr;
    for (int i = 0; i < e->FieldNodeCount(); ++i) {
        if (e->FieldNodes(i)->FieldName() == QLatin1String(c.field)) {
            found = e->FieldNodes(i);
            EXPECT_EQ(e->FieldNodeFlags(i), c.flags & 7) << c.text;
        }
    }
    ASSERT_NE(found, nullptr) << c.text;
    EXPECT_EQ(found->Bound(), node == QLatin1String("bound")) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Table, FieldPositions, ::testing::ValuesIn(positionCases));

TEST_F(ReportExpr, AnUnboundFieldSaysSo)
{
    TRptExpr* e = expr(QStringLiteral("SUM(X) + GRP"));
    e->Root();
    EXPECT_EQ(messageOf<Exception>([&] { e->FieldNodes(0)->Evaluate(); }),
              QStringLiteral("Le champ « GRP » n'est lié à aucun jeu de données"));
}

TEST_F(ReportExpr, AggregatesWorkedByHand)
{
    // Group rows 1 and 2 hang under 10 and 20, which hang under the grand total.
    fillKeys(keys, {{1, 10}, {2, 20}, {10, -1}, {20, -1}});
    report.KeyDataSet = &keys;
    struct Row
    {
        const char* text;
        double group1, group2, total;
    };
    const Row rows[] = {
        {"SUM(X)", 16, 1, 17},
        {"AVG(X)", 4, 1, 3.4},
        {"MIN(X)", 0, 1, 0}, // Null counts as 0
        {"MAX(X)", 9, 1, 9},
        {"COUNT()", 4, 1, 5},
        // A number in the value argument counts once per row.
        {"SUM(X+5)", 36, 6, 42},
        {"AVG(X+5)", 9, 6, 8.4},
        {"MIN(X+5)", 20, 6, 25},
        {"MAX(X+5)", 29, 6, 34},
        // Levels: 1 the grand total, -1 the row above, -2 two above, 0 or 2 the row itself.
        {"SUM(X, 1)", 17, 17, 17},
        {"SUM(X, -1)", 16, 1, 17},
        {"COUNT(-1)", 4, 1, 5},
        {"SUM(X, -2)", 17, 17, 17},
        {"SUM(X, -7)", 17, 17, 17},
        {"SUM(X, 0) + SUM(X, 2)", 32, 2, 34},
        {"AVG(X, 0.6)", 3.4, 3.4, 3.4}, // rounds to 1
        {"SUM(X) / COUNT()", 4, 1, 3.4},
    };
    QList<TRptExpr*> list;
    for (const Row& r : rows)
        list << expr(QLatin1String(r.text));
    runPass(report, source, list, {{1, 10}, {2, 20}, {10, -1}, {20, -1}});
    for (int i = 0; i < int(std::size(rows)); ++i) {
        EXPECT_DOUBLE_EQ(at(list[i], 1).toDouble(), rows[i].group1) << rows[i].text;
        EXPECT_EQ(report.Accumulator().CurrentKey(), 1) << "the position comes back";
        EXPECT_DOUBLE_EQ(at(list[i], 2).toDouble(), rows[i].group2) << rows[i].text;
        EXPECT_DOUBLE_EQ(at(list[i], -1).toDouble(), rows[i].total) << rows[i].text;
    }
}

TEST_F(ReportExpr, AverageOfNoRowsIsZero)
{
    TRptExpr* avg = expr(QStringLiteral("AVG(X)"));
    TRptExpr* aboveAvg = expr(QStringLiteral("AVG(X, -1)"));
    fillKeys(keys, {{1, 50}});
    report.KeyDataSet = &keys;
    runPass(report, source, {avg, aboveAvg});
    // A group row that no source row reached yet, and a level whose row (50) does not exist.
    MemDataSet& table = report.Accumulator().Table();
    table.appendRecord({Variant::null(), 99, 0});
    EXPECT_EQ(at(avg, 99), Variant(0.0));
    EXPECT_EQ(at(aboveAvg, 1), Variant(0.0));
    EXPECT_EQ(at(avg, 1), Variant(4.0));
}

// A virtual field that holds an aggregate, accumulated in turn: read on the row being
// accumulated, it works; another level's row cannot be read then, and says so.
TEST_F(ReportExpr, AggregatesInsideAccumulatedValues)
{
    TVirtualField* count = report.VirtualFields().Add();
    count->SetDisplayName(QStringLiteral("CNT"));
    count->SetExpression(QStringLiteral("COUNT()"));
    TRptExpr* sum = expr(QStringLiteral("SUM([CNT])"));
    runPass(report, source, {sum});
    EXPECT_EQ(at(sum, 1), Variant(6.0)); // 0 + 1 + 2 + 3: the count before each row's own
    TRptGen other;
    TVirtualField* total = other.VirtualFields().Add();
    total->SetDisplayName(QStringLiteral("CNT"));
    total->SetExpression(QStringLiteral("COUNT(1)"));
    TRptExpr sumOther(&other.Accumulator());
    sumOther.SetText(QStringLiteral("SUM([CNT])"));
    EXPECT_EQ(messageOf<Exception>([&] { runPass(other, source, {&sumOther}); }),
              QStringLiteral("Le cumul d'un autre niveau ne peut pas être lu pendant que les "
                             "cumuls de la ligne sont calculés"));
}

TEST_F(ReportExpr, SumAndMaxOfOneFieldShareAnItem)
{
    TRptExpr* e = expr(QStringLiteral("SUM(X) + MAX(x)"));
    e->Root();
    ASSERT_EQ(e->AccFields().size(), 2u);
    TAccItem* item = e->AccFields()[0]->Item();
    EXPECT_EQ(e->AccFields()[1]->Item(), item);
    const FieldDefs& defs = report.Accumulator().Table().fieldDefs();
    EXPECT_NE(defs.find(QString::number(item->Number()) + QStringLiteral("SUM")), nullptr);
    EXPECT_NE(defs.find(QString::number(item->Number()) + QStringLiteral("MAX")), nullptr);
    EXPECT_EQ(defs.count(), 2);
    // Another expression over the same field takes the same item; items count on.
    TRptExpr* other = expr(QStringLiteral("MIN(X) + SUM(S)"));
    other->Root();
    EXPECT_EQ(other->AccFields()[0]->Item(), item);
    EXPECT_EQ(other->AccFields()[1]->Item()->Number(), item->Number() + 1);
}

TEST_F(ReportExpr, MacrosNumbersFunctionsAndVirtualFields)
{
    report.OnGetMacroValue = [](const QString& name, QString& value) {
        if (name == QLatin1String("M"))
            value = QStringLiteral("X + 1");
        else if (name == QLatin1String("A"))
            value = QStringLiteral("SUM(X)");
    };
    QStringList nodeParams;
    QList<int> nodeArgs;
    report.OnGetFunctionNode = [&](const QString&, const QString& params, TExprNodeList& args,
                                   std::unique_ptr<TUserFuncNode>&) {
        nodeParams << params;
        nodeArgs << args.Count();
    };
    report.OnGetFunctionValue = [](DataSet*, const QString& name, const QString& params,
                                   double& value) {
        value = name == QLatin1String("F") ? params.size() : -1;
    };

    struct Case
    {
        const char* text;
        Variant value; // on the first source row, group 1 (SUM over the group)
    };
    const Case cases[] = {
        {"%M% * 2", 6.0},      // the macro stands as one operand: (2 + 1) * 2
        {"%A% + 1", 17.0},     // an aggregate through a macro
        {"1.2.3 + 1", 1.0},    // an unreadable number is 0
        {"1E-5", -5.0},        // "1E" (0), "-", "5"
        {"F( abc ) + 1", 4.0}, // the parameter text, trimmed: "abc"
        {"G(a, b)", -1.0},     // raw arguments
        {"F() + 1", 1.0},      // an empty argument list
        {"[V1] + 1", 7.0},     {"[v1] * COUNT()", 24.0}, {"SUM([V1])", 24.0},
        {"S + '!'", "deux!"},  {"B AND X = 2", true},
    };
    QList<TRptExpr*> list;
    for (const Case& c : cases)
        list << expr(QString::fromUtf8(c.text));
    // An unknown macro builds nothing, which leaves "+" without its right operand.
    EXPECT_EQ(errorOf(expr(QStringLiteral("1 + %Q%"))), 19);
    runPass(report, source, list);
    source.first();
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const Variant got = at(list[i], 1);
        EXPECT_EQ(got, cases[i].value) << cases[i].text << " gave " << got.toString().toStdString();
    }
    // The function node callback saw the raw text and the parsed arguments: F's one, G's text
    // "a, b" as a single raw argument.
    EXPECT_EQ(nodeParams, (QStringList{" abc ", "a, b", ""}));
    EXPECT_EQ(nodeArgs, (QList<int>{1, 1, 0}));
    EXPECT_EQ(list[4]->Root()->GetText(), QStringLiteral("F(abc)+1"));
    EXPECT_EQ(list[10]->Size(), 12); // S (10 characters) plus one, and "!"

    // An empty macro builds nothing; a macro name not closed by "%" is message 13.
    report.OnGetMacroValue = [](const QString&, QString& value) { value.clear(); };
    TRptExpr* empty = expr(QStringLiteral("%E%"));
    EXPECT_EQ(empty->Root(), nullptr);
    EXPECT_TRUE(empty->Evaluate().isNull());
    EXPECT_EQ(errorOf(expr(QStringLiteral("%E"))), 13);
}

// A macro's tree and a function's arguments count their levels where they stand, as a
// parenthesised operand does: 200 operators in a macro and 56 after it are 256 levels; a function
// adds its argument list to the 200 operators of its argument.
TEST_F(ReportExpr, MacrosAndArgumentsCountTheirLevels)
{
    const QString chain = QStringLiteral("1") + QStringLiteral("+1").repeated(200);
    report.OnGetMacroValue = [&](const QString&, QString& value) { value = chain; };
    const auto after = [](int operators) { return QStringLiteral("+1").repeated(operators); };
    EXPECT_EQ(expr(QStringLiteral("%M%") + after(56))->Evaluate(), Variant(257.0));
    EXPECT_EQ(errorOf(expr(QStringLiteral("%M%") + after(57))), 28);
    const QString function = QStringLiteral("F(") + chain + QStringLiteral(")");
    EXPECT_NO_THROW(expr(function + after(55))->Root());
    EXPECT_EQ(errorOf(expr(function + after(56))), 28);
}

TEST_F(ReportExpr, FieldValuesGoThroughTheReportsHandler)
{
    report.OnGetFieldValue = [](DataSet&, Field& field, Variant& value) {
        if (field.fieldName() == QLatin1String("X") && !value.isNull())
            value = value.toDouble() * 10;
    };
    TRptExpr* sum = expr(QStringLiteral("SUM(X)"));
    TRptExpr* x = expr(QStringLiteral("X + 0"));
    runPass(report, source, {sum, x});
    EXPECT_EQ(at(sum, 1), Variant(160.0));
    source.first();
    EXPECT_EQ(x->Evaluate(), Variant(20.0));
}

} // namespace
