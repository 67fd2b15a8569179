// The report model: a new report's defaults, display names, the header tree, the circular check
// of virtual fields, the container class, references that go away, and the ancestor lookup.
#include "report_pass.h"

#include <reports/rfileit.h>

#include <support/workspace.h>

#include <QDir>

#include <gtest/gtest.h>

using namespace reporttest;

namespace {

TEST(RptGen, NewReportDefaults)
{
    TRptGen report;
    EXPECT_EQ(report.Server(), nullptr);
    EXPECT_EQ(report.SourceDataSet(), nullptr);
    EXPECT_EQ(report.FieldMap(), nullptr);
    // Its output goes to a workbook of its own.
    EXPECT_NE(dynamic_cast<TF1Iterator*>(report.Output()), nullptr);
    EXPECT_TRUE(report.ShowDetail);
    EXPECT_FALSE(report.ParadoxTable());
    EXPECT_FALSE(report.Landscape);
    EXPECT_EQ(report.LeftMargin + report.RightMargin + report.TopMargin + report.BottomMargin, 0);
    EXPECT_TRUE(report.SortOrder.isEmpty() && report.DatabasePath.isEmpty());
    EXPECT_TRUE(report.UserFunction().isEmpty() && report.UserFunction2().isEmpty());
    EXPECT_EQ(report.HeadItems().Count() + report.GroupItems().Count() +
                  report.DetailItems().Count() + report.TitleItems().Count() +
                  report.Totals().Count() + report.FooterItems().Count() +
                  report.VirtualFields().Count(),
              0);
    EXPECT_TRUE(report.Totals().ShowValues);
    EXPECT_FALSE(report.Totals().SeparateCaption);
    EXPECT_EQ(report.Totals().Color, 0xC0C0C0u);
    EXPECT_EQ(report.Accumulator().Counter, -2);
    EXPECT_FALSE(report.Accumulator().Flag || report.Accumulator().FirstRow);

    // Cells: all four borders, no colour, centred, the default font; titles and footers without
    // borders.
    const TCellDefinition& cell = report.HeadItems().Add()->CellDefinition();
    EXPECT_EQ(cell.Border, TBorderSet::All());
    EXPECT_EQ(cell.Color, clNone);
    EXPECT_EQ(cell.VAlign, vaCenter);
    EXPECT_EQ(cell.HAlign, haCenter);
    EXPECT_FALSE(cell.WrapText);
    EXPECT_TRUE(cell.DefaultFont);
    EXPECT_EQ(report.HeadItems()[0]->Master, -1);
    EXPECT_TRUE(report.TitleItems().Add()->CellDefinition().Border.IsEmpty());
    EXPECT_EQ(report.TitleItems()[0]->Placement, tpAllPages);
    EXPECT_TRUE(report.FooterItems().Add()->CellDefinition().Border.IsEmpty());
    EXPECT_EQ(report.FooterItems()[0]->Kind, fkText);
    TGroupItem* group = report.GroupItems().Add();
    EXPECT_TRUE(group->ShowValues);
    EXPECT_TRUE(group->Totals().ShowValues);
    EXPECT_EQ(group->Totals().Color, 0xC0C0C0u);
    // Totals collections are numbered across the whole program.
    EXPECT_EQ(group->Totals().Number(), report.Totals().Number() + 1);
    EXPECT_EQ(TRptGen().Totals().Number(), group->Totals().Number() + 1);

    // Setting a cell copies font, text, alignments, colour and borders.
    TCellDefinition given;
    given.Text = QStringLiteral("Total");
    given.Color = clRed;
    given.Border = {btTop};
    given.HAlign = haRight;
    given.WrapText = true;
    given.Font.Bold = true;
    group->SetCellDefinition(given);
    EXPECT_EQ(group->CellDefinition().Text, QStringLiteral("Total"));
    EXPECT_EQ(group->CellDefinition().Color, clRed);
    EXPECT_EQ(group->CellDefinition().Border, TBorderSet{btTop});
    EXPECT_EQ(group->CellDefinition().HAlign, haRight);
    EXPECT_TRUE(group->CellDefinition().Font.Bold);
    EXPECT_FALSE(group->CellDefinition().WrapText);
    EXPECT_EQ(ColorToRGB(clBtnFace), 0xC0C0C0u);
    EXPECT_EQ(ColorToRGB(clWindowText), 0u);
    EXPECT_EQ(ColorToRGB(clInfoBk), 0xE1FFFFu);
    EXPECT_EQ(ColorToRGB(clNone), 0xFFFFFFu);
    EXPECT_EQ(ColorToRGB(clTeal), 0x808000u);
}

TEST(RptGen, DisplayNames)
{
    TRptGen report;
    THeadItem* head0 = report.HeadItems().Add();
    THeadItem* head1 = report.HeadItems().Add();
    head1->CellDefinition().Text = QStringLiteral("Patient");
    report.GroupItems().Add();
    TGroupItem* group1 = report.GroupItems().Add();
    TDetailItem* detail = report.DetailItems().Add();
    TTitleItem* title = report.TitleItems().Add();
    TTotalDef* total = report.Totals().Add();
    TVirtualField* field = report.VirtualFields().Add();
    struct Row
    {
        const TRptCollectionItem* item;
        const char* before;
    };
    const Row rows[] = {{head0, "THeadItem0"},   {head1, "Patient"},    {group1, "G1"},
                        {detail, "TDetailItem"}, {title, "TTitleItem"}, {total, "TTotalDef"},
                        {field, "TVirtualField"}};
    for (const Row& r : rows)
        EXPECT_EQ(r.item->DisplayName(), QLatin1String(r.before));
    detail->FieldName = QStringLiteral("NOM");
    title->CellDefinition().Text = QStringLiteral("Liste");
    total->FieldName = QStringLiteral("MONTANT");
    field->SetDisplayName(QStringLiteral("AGE"));
    EXPECT_EQ(detail->DisplayName(), QStringLiteral("NOM"));
    EXPECT_EQ(title->DisplayName(), QStringLiteral("Liste"));
    EXPECT_EQ(total->DisplayName(), QStringLiteral("MONTANT"));
    EXPECT_EQ(field->DisplayName(), QStringLiteral("AGE"));

    TFooterItem* footer = report.FooterItems().Add();
    EXPECT_EQ(footer->DisplayName(), QStringLiteral("TFooterItem"));
    footer->CellDefinition().Text = QStringLiteral("Page");
    const std::pair<TFooterKind, const char*> kinds[] = {{fkText, "Page"},
                                                         {fkDate, "DATE"},
                                                         {fkTime, "TIME"},
                                                         {fkDateTime, "DATETIME"},
                                                         {fkPagenum, "PAGENUMBER"}};
    for (const auto& [kind, name] : kinds) {
        footer->Kind = kind;
        EXPECT_EQ(footer->DisplayName(), QLatin1String(name));
    }
    EXPECT_STREQ(RptSectionNames[0], "RepHEAD");
    EXPECT_STREQ(RptSectionNames[5], "RepTITLE");
}

TEST(RptGen, DestroyedHeaderItemHandsItsChildrenToItsMaster)
{
    TRptGen report;
    TRptHeader& heads = report.HeadItems();
    for (int i = 0; i < 5; ++i)
        heads.Add();
    // 0 at the top; 1 and 3 under 0; 2 under 1; 4 under 2.
    heads[1]->Master = 0;
    heads[2]->Master = 1;
    heads[3]->Master = 0;
    heads[4]->Master = 2;
    heads.Delete(1); // 2 goes under 0
    EXPECT_EQ(heads.FindItemID(2) ? static_cast<THeadItem*>(heads.FindItemID(2))->Master : -9, 0);
    heads.Delete(0); // 2 and 3 go to the top; 4 stays under 2
    QList<int> masters;
    for (int i = 0; i < heads.Count(); ++i)
        masters << heads[i]->Master;
    EXPECT_EQ(masters, (QList<int>{-1, -1, 2}));
    EXPECT_EQ(heads.Add()->ID(), 5) << "IDs are not reused";
}

class VirtualFields : public ::testing::Test
{
protected:
    TVirtualField* field(const char* name, const char* expression = "")
    {
        TVirtualField* f = report.VirtualFields().Add();
        f->SetDisplayName(QLatin1String(name));
        f->SetExpression(QString::fromUtf8(expression));
        return f;
    }
    // The general exception's message, or the parse error's, or "" when the setter takes it.
    static QString refusal(TVirtualField* f, const char* text)
    {
        try {
            f->SetExpression(QString::fromUtf8(text));
        } catch (const EParseException& e) {
            return QStringLiteral("parse %1").arg(e.MessageId());
        } catch (const Exception& e) {
            return e.message();
        }
        return QString();
    }

    TRptGen report;
};

TEST_F(VirtualFields, CircularReferencesAreRefused)
{
    TVirtualField* a = field("A", "1");
    field("B", "[C] + 1");
    field("C", "[A] * 2");
    // A cycle among other fields: D and E reach each other once E is renamed.
    field("D", "[Y] + 1");
    TVirtualField* e = field("E", "[D]");
    e->SetDisplayName(QStringLiteral("Y"));

    struct Case
    {
        const char* text;
        const char* refusal;
    };
    const Case cases[] = {
        {"[A] + 1", "Référence circulaire dans le champ virtuel « A »"}, // directly
        {"[ a ]", "Référence circulaire dans le champ virtuel « A »"},   // trimmed, any case
        {"[B] / 2", "Référence circulaire dans le champ virtuel « A »"}, // B -> C -> A
        {"'[A]' + 'x'", ""},                                             // inside a string
        {"[D] + [C2]", ""},                                              // the cycle D, Y ends
        {"'[A]", "parse 16"},
        {"[A", "parse 16"},
    };
    for (const Case& c : cases) {
        a->SetExpression(QStringLiteral("1"));
        EXPECT_EQ(refusal(a, c.text), QString::fromUtf8(c.refusal)) << c.text;
        // A refused text leaves the old expression in place.
        EXPECT_EQ(a->Expression(), c.refusal[0] ? QStringLiteral("1") : QString::fromUtf8(c.text))
            << c.text;
    }
}

TEST_F(VirtualFields, ARenameThatMakesASelfReferenceIsCaughtWhenUsed)
{
    TVirtualField* f = field("F", "[G] + 1"); // no G yet: nothing to refuse
    TVirtualField* h = field("H", "[G] * 2");
    f->SetDisplayName(QStringLiteral("G"));
    const QString circular = QStringLiteral("Référence circulaire dans le champ virtuel « G »");
    // Reached through another field, then directly.
    EXPECT_EQ(messageOf<Exception>([&] { h->Value(); }), circular);
    // F failed on the way: it is invalid from then on, rather than tried again per row.
    EXPECT_EQ(messageOf<Exception>([&] { f->Value(); }), QStringLiteral("Expression invalide"));
    f->Expr().SetText(f->Expression());
    EXPECT_EQ(messageOf<Exception>([&] { f->ResultType(); }), circular);
    // Named back, the fields work again once their expressions are set anew.
    f->SetDisplayName(QStringLiteral("F"));
    field("G", "5");
    f->SetExpression(QStringLiteral("[G] + 2"));
    h->SetExpression(QStringLiteral("[F] * 2"));
    EXPECT_EQ(f->Value(), Variant(7.0));
    EXPECT_EQ(h->Value(), Variant(14.0));
}

TEST(RptGen, ParadoxTableSwitchesTheRowContainers)
{
    TestWorkspace workspace;
    TRptGen report;
    report.DatabasePath = workspace.path(QStringLiteral("rows"));
    QDir().mkpath(report.DatabasePath);
    EXPECT_NE(dynamic_cast<TClientDSContainer*>(report.NewContainer().get()), nullptr);
    report.SetParadoxTable(true);
    EXPECT_TRUE(report.ParadoxTable());
    auto container = report.NewContainer();
    auto* pdx = dynamic_cast<TPDXContainer*>(container.get());
    ASSERT_NE(pdx, nullptr);
    EXPECT_EQ(pdx->DatabasePath(), report.DatabasePath);
    report.SetParadoxTable(false);
    EXPECT_NE(dynamic_cast<TClientDSContainer*>(report.NewContainer().get()), nullptr);
}

TEST(RptGen, TotalsFollowTheSourceAndTheUserFunctions)
{
    TRptGen report;
    TTotalDef* total = report.Totals().Add();
    total->SetExpression(QStringLiteral("SUM(X) + SUM(F(2))"));
    TGroupItem* group = report.GroupItems().Add();
    TTotalDef* groupTotal = group->Totals().Add();
    groupTotal->SetExpression(QStringLiteral("COUNT(X)"));
    TVirtualField* v = report.VirtualFields().Add();
    v->SetDisplayName(QStringLiteral("V"));
    v->SetExpression(QStringLiteral("F(1) + G(a, b)"));

    // The names arrive after the items exist.
    auto source = std::make_unique<MemDataSet>();
    fillSource(*source, {{1, 2.0}, {1, 3.0}});
    report.SetSourceDataSet(source.get());
    report.SetUserFunction({QStringLiteral("F")});
    report.SetUserFunction2({QStringLiteral("G")});
    report.OnGetFunctionValue = [](DataSet*, const QString& name, const QString& params,
                                   double& value) {
        value = name == QLatin1String("F") ? params.toDouble() * 10 : params.size();
    };
    EXPECT_EQ(v->Value(), Variant(14.0)); // 10 + "a, b"
    runPass(report, *source, {&total->Expr(), &groupTotal->Expr()});
    EXPECT_TRUE(report.Accumulator().GotoKey(1));
    EXPECT_EQ(total->Expr().Evaluate(), Variant(45.0)); // 5 + 2 x 20
    EXPECT_EQ(groupTotal->Expr().Evaluate(), Variant(2.0));
    const int line = report.UsedFields().IndexOf(QStringLiteral("x"));
    ASSERT_GE(line, 0);
    EXPECT_EQ(report.UsedFields().Flags(line), ufAccumulated | ufInFunction);

    // The dataset goes: the report forgets it and the totals no longer know its fields.
    source.reset();
    EXPECT_EQ(report.SourceDataSet(), nullptr);
    total->SetExpression(QStringLiteral("SUM(X)"));
    EXPECT_EQ(messageOf<EParseException>([&] { total->Expr().Evaluate(); }),
              QStringLiteral("Nom inconnu ou valeur non cumulable : « X »"));
    // So does the settings component.
    auto server = std::make_unique<TReportServer>();
    report.SetServer(server.get());
    EXPECT_EQ(report.Server(), server.get());
    server.reset();
    EXPECT_EQ(report.Server(), nullptr);
}

TEST(RptGen, AncestorLookup)
{
    TRptGen report;
    MemDataSet keys;
    EXPECT_EQ(report.AncestorKey(7, -1), -1) << "no keyed dataset";
    // 1 -> 10 -> 100 -> -1; 5 -> 6 -> 5 (a loop); 8 -> (missing link)
    fillKeys(keys, {{1, 10}, {10, 100}, {100, -1}, {5, 6}, {6, 5}, {8, 42}});
    report.KeyDataSet = &keys;
    keys.last();
    const qint64 current = keys.fieldByName(QStringLiteral("KEY"))->asInteger();
    const struct
    {
        qint64 key, steps, expected;
    } cases[] = {
        {1, 0, 1},   {1, 3, 1},     {1, -1, 10},  {1, -2, 100},     {1, -3, -1},
        {1, -9, -1}, {10, -1, 100}, {5, -1, 6},   {5, -1000001, 6}, {6, -4, 6},
        {8, -1, 42}, {8, -2, -1},   {99, -1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(report.AncestorKey(c.key, c.steps), c.expected) << c.key << " " << c.steps;
    EXPECT_EQ(keys.fieldByName(QStringLiteral("KEY"))->asInteger(), current) << "the cursor stays";
}

} // namespace
