// Virtual fields that use one another: a field's levels count wherever it is used, so that a chain
// of fields is bounded as one expression is, however and in whatever order it was built; the
// circular check over long chains; and a field used many times worked out once, yet never read
// stale.
#include "report_pass.h"

#include <support/workspace.h>

#include <QThread>

#include <gtest/gtest.h>

#include <functional>

using namespace reporttest;

namespace {

enum class Order { TopDown, BottomUp };

// Fields V0 ... V<n>: V<i> is `link` with %1 naming V<i+1>, V<n> is "1". Top down sets V0 first,
// each field naming one not yet set; bottom up sets V<n> first, each field on a finished chain.
QList<TVirtualField*> addChain(TRptGen& report, int n, const char* link, Order order)
{
    QList<TVirtualField*> fields;
    for (int i = 0; i <= n; ++i) {
        TVirtualField* field = report.VirtualFields().Add();
        field->SetDisplayName(QStringLiteral("V%1").arg(i));
        fields << field;
    }
    const auto text = [&](int i) {
        return i == n ? QStringLiteral("1")
                      : QString::fromLatin1(link).arg(QStringLiteral("V%1").arg(i + 1));
    };
    for (int k = 0; k <= n; ++k) {
        const int i = order == Order::TopDown ? k : n - k;
        fields[i]->SetExpression(text(i));
    }
    return fields;
}

TVirtualField* addField(TRptGen& report, const QString& name, const QString& expression)
{
    TVirtualField* field = report.VirtualFields().Add();
    field->SetDisplayName(name);
    field->SetExpression(expression);
    return field;
}

// A value, or the number of the report message raised instead.
struct Outcome
{
    Variant value;
    int messageId = 0;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os)
{
    if (o.messageId)
        *os << "message " << o.messageId;
    else
        *os << o.value.toString().toStdString();
}

Outcome valueOf(TVirtualField* field)
{
    try {
        return {field->Value()};
    } catch (const EParseException& e) {
        return {Variant(), e.MessageId()};
    }
}

Outcome tooDeep()
{
    return {Variant(), 28};
}

// Runs `work` in a thread with a 1 MiB stack (8 MiB under the address sanitizer, whose frames are
// several times larger), and waits for it to end.
void onSmallStack(const std::function<void()>& work)
{
    uint bytes = 1u << 20;
#if defined(__SANITIZE_ADDRESS__)
    bytes = 8u << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    bytes = 8u << 20;
#endif
#endif
    std::unique_ptr<QThread> thread(QThread::create(work));
    thread->setStackSize(bytes);
    thread->start();
    thread->wait();
}

// Levels worked out by hand. A field counts one level where it is named, as a macro does, with
// all its expression's levels below; its operators add to those around it. So a field
// "[next]+1" reaches one level more than the next (V<i> of a chain of n such links reaches n - i
// levels, is as many operators deep and is worth 1 + n - i), a field "[next]" reaches one more
// with no operator; parentheses, argument lists and macros around the name, and operators above
// it, count where the field is used. Each case is tried with nothing built yet, and with the
// chain's trees built from its end up to V1 before: the outcome is the same.
TEST(VirtualFieldChains, AFieldsLevelsCountWhereItIsUsed)
{
    struct Case
    {
        const char* what;
        int links;
        const char* link;
        const char* use; // the expression of a field U; null: the value of V0
        Outcome expected;
        Outcome v1; // V1, which is within the bound, afterwards
    };
    const Case cases[] = {
        {"255 sums, used", 255, "[%1]+1", "[V0]", {256.0}, {255.0}},
        {"256 sums, alone", 256, "[%1]+1", nullptr, {257.0}, {256.0}},
        {"256 sums, used", 256, "[%1]+1", "[V0]", tooDeep(), {256.0}},
        {"256 sums, used from the second", 256, "[%1]+1", "[V1]", {256.0}, {256.0}},
        {"257 sums, alone", 257, "[%1]+1", nullptr, tooDeep(), {257.0}},
        {"256 names, alone", 256, "[%1]", nullptr, {1.0}, {1.0}},
        {"256 names, used", 256, "[%1]", "[V0]", tooDeep(), {1.0}},
        {"in a parenthesis", 256, "[%1]+1", "([V2])", {255.0}, {256.0}},
        {"in two", 256, "[%1]+1", "(([V2]))", tooDeep(), {256.0}},
        {"under two operators", 256, "[%1]+1", "[V2]+1+1", {257.0}, {256.0}},
        {"under three", 256, "[%1]+1", "[V2]+1+1+1", tooDeep(), {256.0}},
        {"in a macro", 256, "[%1]+1", "%M%", {255.0}, {256.0}},
        {"in a macro, in a parenthesis", 256, "[%1]+1", "%P%", tooDeep(), {256.0}},
        {"an argument", 256, "[%1]+1", "F([V2])", {0.0}, {256.0}},
        {"in a parenthesis of an argument", 256, "[%1]+1", "F(([V2]))", tooDeep(), {256.0}},
    };
    for (const bool built : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (built ? ", chain built" : ", nothing built"));
            TRptGen report;
            report.SetUserFunction({QStringLiteral("F")});
            report.OnGetMacroValue = [](const QString& name, QString& value) {
                value =
                    name == QLatin1String("M") ? QStringLiteral("[V2]") : QStringLiteral("([V2])");
            };
            const QList<TVirtualField*> chain = addChain(report, c.links, c.link, Order::BottomUp);
            if (built) {
                for (qsizetype i = chain.size() - 1; i > 0; --i)
                    valueOf(chain[i]);
            }
            TVirtualField* use =
                c.use ? addField(report, QStringLiteral("U"), QLatin1String(c.use)) : chain[0];
            EXPECT_EQ(valueOf(use), c.expected);
            // Too deep where it was used, a field stays good on its own.
            EXPECT_EQ(valueOf(chain[1]), c.v1);
        }
    }
}

// A total counts the levels of a field it accumulates as any expression does: the argument list,
// the name, and the field's 254 or 255 levels.
TEST(VirtualFieldChains, TotalsCountTheFieldsTheyAccumulate)
{
    TRptGen report;
    addChain(report, 256, "[%1]+1", Order::BottomUp);
    TTotalDef* total = report.Totals().Add();
    total->SetExpression(QStringLiteral("SUM([V2])"));
    EXPECT_NO_THROW(total->Expr().Root());
    total->SetExpression(QStringLiteral("SUM([V1])"));
    try {
        total->Expr().Root();
        ADD_FAILURE() << "SUM([V1]) is 257 levels deep";
    } catch (const EParseException& e) {
        EXPECT_EQ(e.MessageId(), 28);
    }
}

// Ten thousand fields in a chain: the first ones are too deep, wherever the chain is entered,
// and finding that out takes no more stack than the bound allows (a thread with a 1 MiB stack);
// the last 256 links work.
TEST(VirtualFieldChains, ALongChainIsTooDeepWithoutRunningOutOfStack)
{
    TRptGen report;
    const QList<TVirtualField*> chain = addChain(report, 10000, "[%1]+1", Order::TopDown);
    TVirtualField* tail = addField(report, QStringLiteral("U"), QStringLiteral("[V9745] * 2"));
    QList<Outcome> outcomes;
    onSmallStack([&] {
        outcomes << valueOf(chain[0]) << valueOf(chain[5000]) << valueOf(chain[9743])
                 << valueOf(chain[9744]) << valueOf(tail);
    });
    EXPECT_EQ(outcomes, (QList<Outcome>{tooDeep(), tooDeep(), tooDeep(), {257.0}, {2.0 * 256.0}}));
}

// A tree built before a field it uses changed is built anew: with the field's new levels (200
// operators on each side of the name are 400 levels) and its new type.
TEST(VirtualFieldChains, ATreeFollowsTheFieldsItUses)
{
    TRptGen report;
    const QString operators = QStringLiteral("+1").repeated(200);
    TVirtualField* v = addField(report, QStringLiteral("V"), QStringLiteral("1"));
    TVirtualField* a = addField(report, QStringLiteral("A"), QStringLiteral("[V]") + operators);
    EXPECT_EQ(valueOf(a), Outcome{201.0});
    v->SetExpression(QStringLiteral("1") + operators);
    EXPECT_EQ(valueOf(v), Outcome{201.0});
    EXPECT_EQ(valueOf(a), tooDeep());

    TVirtualField* b = addField(report, QStringLiteral("B"), QStringLiteral("[V] + 1"));
    v->SetExpression(QStringLiteral("2"));
    EXPECT_EQ(valueOf(b), Outcome{3.0});
    v->SetExpression(QStringLiteral("'deux'"));
    EXPECT_EQ(valueOf(b), (Outcome{Variant(), 25}));
}

// The circular check follows a chain of 1,000 fields to its end from either side, whichever order
// the chain was set in, and follows the names the fields have now.
TEST(VirtualFieldChains, TheCircularCheckFollowsLongChains)
{
    const QString refused = QStringLiteral("Référence circulaire dans le champ virtuel « V1000 »");
    const auto refusal = [](TVirtualField* field, const QString& text) {
        try {
            field->SetExpression(text);
        } catch (const Exception& e) {
            return e.message();
        }
        return QString();
    };
    for (const Order order : {Order::TopDown, Order::BottomUp}) {
        SCOPED_TRACE(order == Order::TopDown ? "top down" : "bottom up");
        TRptGen report;
        QList<TVirtualField*> chain = addChain(report, 1000, "[%1]+1", order);
        TVirtualField* last = chain[1000];
        EXPECT_EQ(refusal(last, QStringLiteral("[V0]")), refused);
        EXPECT_EQ(refusal(last, QStringLiteral("2 * [v500]")), refused);
        EXPECT_EQ(last->Expression(), QStringLiteral("1"));
        EXPECT_EQ(refusal(last, QStringLiteral("'[V0]'")), QString());
        // The first field of a name is the one followed: a later V3 that leads nowhere changes
        // nothing.
        addField(report, QStringLiteral("V3"), QStringLiteral("2"));
        EXPECT_EQ(refusal(last, QStringLiteral("[V0]")), refused);
        // Renamed, V500 is no longer reached by V499; named back, it is.
        chain[500]->SetDisplayName(QStringLiteral("W"));
        EXPECT_EQ(refusal(last, QStringLiteral("[V0]")), QString());
        last->SetExpression(QStringLiteral("1"));
        chain[500]->SetDisplayName(QStringLiteral("V500"));
        EXPECT_EQ(refusal(last, QStringLiteral("[V0]")), refused);
        // V0 leading straight to the last field; V700 gone.
        EXPECT_EQ(refusal(chain[0], QStringLiteral("[V1000] * 2")), QString());
        EXPECT_EQ(refusal(last, QStringLiteral("[V0]")), refused);
        EXPECT_EQ(refusal(last, QStringLiteral("[V400]")), refused);
        report.VirtualFields().Delete(chain[700]->Index());
        EXPECT_EQ(refusal(last, QStringLiteral("[V400]")), QString());
        EXPECT_EQ(refusal(last, QStringLiteral("[V0]")), refused);
    }
}

// A field whose expression reads the fields of `source`.
TVirtualField* addRowField(TRptGen& report, MemDataSet& source, const QString& name,
                           const QString& expression)
{
    TVirtualField* field = report.VirtualFields().Add();
    field->SetDisplayName(name);
    field->Expr().SetDataSet(&source);
    field->SetExpression(expression);
    return field;
}

// Sixteen fields each using the next twice, the last reading the row's X through a macro: 65,536
// paths lead to X, yet one evaluation reads it once, and the last field's tree is built once.
// Each evaluation from outside reads the row anew.
TEST(VirtualFieldValues, AFieldUsedTwiceIsWorkedOutOnce)
{
    MemDataSet source;
    fillSource(source, {{1, 2.0}, {1, 5.0}});
    TRptGen report;
    report.SetSourceDataSet(&source);
    int reads = 0;
    int expansions = 0;
    report.OnGetFieldValue = [&](DataSet&, Field&, Variant&) { ++reads; };
    report.OnGetMacroValue = [&](const QString&, QString& value) {
        ++expansions;
        value = QStringLiteral("X");
    };
    const QList<TVirtualField*> chain = addChain(report, 16, "[%1]+[%1]", Order::BottomUp);
    TVirtualField* first = chain[0];
    TVirtualField* last = chain[16];
    last->Expr().SetDataSet(&source);
    last->SetExpression(QStringLiteral("%M%"));
    const double paths = 65536;

    EXPECT_EQ(valueOf(first), Outcome{paths * 2});
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(expansions, 1);
    source.next();
    EXPECT_EQ(valueOf(first), Outcome{paths * 5});
    TRptExpr both(&report.Accumulator());
    both.SetText(QStringLiteral("[V0] + [V1] + [V16]"));
    EXPECT_EQ(both.Evaluate(), Variant((paths + paths / 2 + 1) * 5));
    EXPECT_EQ(valueOf(last), Outcome{5.0});
    EXPECT_EQ(reads, 4);
    EXPECT_EQ(expansions, 1);
}

// What a kept value reads may change within one evaluation or between two: a user function may
// move the row or give another value at each call, totals advance while rows are accumulated and
// differ from one group row to the next, and fields are redefined, renamed and removed.
TEST(VirtualFieldValues, KeptValuesGoWhenWhatTheyReadChanges)
{
    MemDataSet source;
    fillSource(source, {{1, 2.0}, {1, 5.0}, {1, Variant::null()}, {1, 9.0}, {2, 1.0}});
    TRptGen report;
    report.SetSourceDataSet(&source);
    report.SetUserFunction({QStringLiteral("NEXTROW"), QStringLiteral("CALLS")});
    int calls = 0;
    report.OnGetFunctionValue = [&](DataSet*, const QString& name, const QString&, double& value) {
        if (name == QLatin1String("NEXTROW"))
            source.next();
        else
            value = ++calls;
    };
    addRowField(report, source, QStringLiteral("A"), QStringLiteral("X"));
    TVirtualField* moved =
        addField(report, QStringLiteral("M"), QStringLiteral("[A] + NEXTROW() + [A]"));
    addField(report, QStringLiteral("C"), QStringLiteral("CALLS() * 10"));
    TVirtualField* counted = addField(report, QStringLiteral("D"), QStringLiteral("[C] + [C]"));
    EXPECT_EQ(valueOf(moved), Outcome{2.0 + 5.0});
    EXPECT_EQ(valueOf(counted), Outcome{10.0 + 20.0});

    // Each row counts the rows before it in its group and in the grand total: 0 to 3 in group 1,
    // 0 in group 2, 0 to 4 in the grand total.
    addField(report, QStringLiteral("N"), QStringLiteral("COUNT()"));
    TVirtualField* twice = addField(report, QStringLiteral("T"), QStringLiteral("[N] + [N]"));
    TRptExpr sum(&report.Accumulator());
    sum.SetText(QStringLiteral("SUM([T])"));
    runPass(report, source, {&sum});
    const QList<std::pair<qint64, double>> rows{{1, 12.0}, {2, 0.0}, {-1, 20.0}, {1, 12.0}};
    for (const auto& [key, total] : rows) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(report.Accumulator().GotoKey(key));
        EXPECT_EQ(sum.Evaluate(), Variant(total));
        EXPECT_EQ(valueOf(twice), Outcome{key == 2 ? 2.0 : key == 1 ? 8.0 : 10.0});
    }

    TVirtualField* earlier = addField(report, QString(), QStringLiteral("7"));
    TVirtualField* b = addField(report, QStringLiteral("B"), QStringLiteral("1"));
    TVirtualField* used = addField(report, QStringLiteral("U"), QStringLiteral("[B] + [B]"));
    EXPECT_EQ(valueOf(used), Outcome{2.0});
    b->SetExpression(QStringLiteral("5"));
    EXPECT_EQ(valueOf(used), Outcome{10.0});
    // The first field of a name is the one it leads to.
    earlier->SetDisplayName(QStringLiteral("b"));
    EXPECT_EQ(valueOf(used), Outcome{14.0});
    report.VirtualFields().Delete(earlier->Index());
    EXPECT_EQ(valueOf(used), Outcome{10.0});
    b->SetDisplayName(QStringLiteral("Z"));
    EXPECT_EQ(valueOf(used), (Outcome{Variant(), 22}));
}

} // namespace
