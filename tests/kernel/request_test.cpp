// The request description: items and sections, parameter parsing (ordinary and hostile texts),
// copying, the join tree, the row limit and typed nulls, calculated and lookup descriptors and the
// key condition of a cache field.
#include "kernel_helpers.h"

#include <kernel/fielddesc.h>
#include <kernel/metadata.h>

#include <support/qt_printers.h>

#include <gtest/gtest.h>

using namespace krntest;
using krntest::kernelErrorOf;

TEST(RequestItems, TheJoinTreeAndTheCompiledFlag)
{
    Practice p;
    auto r = p.request();
    TFromItem* first = addFrom(*r, "PATIENTS", "P");
    TFromItem* second = addFrom(*r, "VISITS", "V", "P");
    addFrom(*r, "MEDECINS", "M", "V", "MEDECINS_ID");
    EXPECT_TRUE(first->Updates());
    EXPECT_FALSE(second->Updates());
    second->SetUpdates(true);
    EXPECT_FALSE(first->Updates());
    EXPECT_EQ(r->MainTableName(), "VISITS");

    TSelectItem* nom = addSelect(*r, "P", "NOM");
    addSelect(*r, "M", "NOM", "MNOM");
    r->SetCompiled(true);
    ASSERT_TRUE(r->Compiled());
    // A field comes from a table through the join tree, by the master fields where given.
    EXPECT_TRUE(r->IsFieldFromTable("MNOM", "visits", "MEDECINS_ID"));
    EXPECT_FALSE(r->IsFieldFromTable("MNOM", "VISITS", "REMPL_ID"));
    EXPECT_TRUE(r->IsFieldFromTable("MNOM", "PATIENTS", "ANY")); // V has no MasterFields
    EXPECT_TRUE(r->IsFieldFromTable("NOM", "VISITS", "ANY"));
    EXPECT_TRUE(r->IsFieldFromTable("NOM", "MEDECINS", "MEDECINS_ID"));
    EXPECT_FALSE(r->IsFieldFromTable("NOM", "MEDECINS", "REMPL_ID"));
    EXPECT_FALSE(r->IsFieldFromTable("NOM", "LAB", "ANY"));
    EXPECT_FALSE(r->IsFieldFromTable("PRENOM", "VISITS", "ANY"));

    // Changes drop the compiled text.
    nom->SetText("NOM"); // the same text
    EXPECT_TRUE(r->Compiled());
    EXPECT_FALSE(r->CompiledSQL().isEmpty());
    nom->SetText("MEDECINS_ID");
    EXPECT_FALSE(r->Compiled());
    EXPECT_TRUE(r->CompiledSQL().isEmpty());

    // Enabled, a section change and a request flag that changes the text each drop it too.
    const QList<std::function<void()>> changes = {[&] { nom->SetEnabled(false); },
                                                  [&] { nom->SetEnabled(true); },
                                                  [&] { r->Order().Add()->SetFieldName("P.NOM"); },
                                                  [&] { r->Order().Delete(0); },
                                                  [&] { r->SetDistinct(true); },
                                                  [&] { second->SetUnion("1"); }};
    for (int i = 0; i < changes.size(); ++i) {
        r->SetCompiled(true);
        changes[i]();
        EXPECT_FALSE(r->Compiled()) << i;
    }
}

TEST(RequestItems, AssignCopiesTheDescriptionOnly)
{
    Practice p;
    auto source = p.request("Source");
    source->SetSQLText("select * from PATIENTS where NOM = :NOM");
    source->SetPacketRecords(10);
    source->SetCached(true);
    source->SetViewTitle("Patients");
    source->SetSplitWhereToUnion(true);
    addFrom(*source, "PATIENTS", "P");
    TFromItem* v = addFrom(*source, "VISITS", "V", "P");
    v->SetJoinOperator("left outer join");
    v->SetJoinExpr("V.PATIENTS_ID = P.PATIENTS_ID and V.MONTANT > :MIN");
    v->JoinParams()[0].setAsInteger(26);
    addSelect(*source, "P", "NOM")->SetTitle("Nom");
    addSelect(*source, "V", "MONTANT");
    addWhere(*source, "P.PATIENTS_ID = :ID", 1)->ItemParams()[0].setAsInteger(1);
    addWhere(*source, "P.PATIENTS_ID = :ID", 1)->ItemParams()[0].setAsInteger(4);
    source->Order().Add()->SetFieldName("P.NOM");

    TDBRequest copy;
    copy.Assign(*source);
    // Neither the fixed text nor its parameters, packet size or caching.
    EXPECT_TRUE(copy.SQL().isEmpty());
    EXPECT_TRUE(copy.GetParams().isEmpty());
    EXPECT_EQ(copy.PacketRecords(), 50);
    EXPECT_FALSE(copy.Cached());
    EXPECT_EQ(copy.ViewTitle(), "Patients");
    EXPECT_EQ(copy.Select()[0]->Title(), "Nom");
    // The items with their values: the copy selects what the description asks for.
    compiled(copy);
    EXPECT_EQ(p.rows(copy), QStringList({"Arnaud|30", "Denis|NULL"}));

    // Items copy only from their own class.
    EXPECT_THROW(copy.Select()[0]->Assign(*copy.Where()[0]), EConvertError);
}

TEST(RequestParams, NamesInItemTextsAndFixedTextsHostileOnesIncluded)
{
    Practice p;
    auto r = p.request();
    TWhereItem* w = r->Where().Add();
    struct Case
    {
        QString text;
        QStringList names;
        QString stored; // the text as it stays
    };
    const QList<Case> cases = {
        {"A = :P1 and B = ':X'", {"P1"}, "A = :P1 and B = ':X'"},
        {"A::B", {}, "A::B"},
        {"X = :A=B", {"A"}, "X = :A =B"},
        {"X = :A=B and Y = :A=B", {"A"}, "X = :A =B and Y = :A =B"},
        {"\"col:x\" = :Y", {"Y"}, "\"col:x\" = :Y"},
        {":\"My name\", :b;", {"My name", "b"}, ":\"My name\", :b;"},
        {"WHERE ID = :ID", {"ID"}, "WHERE ID = :ID"},
        {"A = :ID or B = :id", {"ID"}, "A = :ID or B = :id"},
        {"A = 'x :Y", {}, "A = 'x :Y"},
        {"A = : and B = :", {}, "A = : and B = :"},
        {"f(:A)\r\n:B\n:::C", {"A", "B", "C"}, "f(:A)\r\n:B\n:::C"},
        // A quoted name keeps its "=": a blank inside the quotes would not end it.
        {":\"A=B\" = 1", {"A=B"}, ":\"A=B\" = 1"},
    };
    for (const Case& c : cases) {
        w->SetText(c.text);
        EXPECT_EQ(w->ItemParams().names(), c.names) << c.text.toStdString();
        EXPECT_EQ(w->Text(), c.stored) << c.text.toStdString();
    }

    // Values stay with the names that remain, in items and in the fixed SQL.
    w->SetText(":A and :B");
    w->ItemParams().paramByName("A").setAsInteger(1);
    w->ItemParams().paramByName("B").setAsInteger(2);
    w->SetText(":b and :C");
    EXPECT_EQ(w->ItemParams().names(), QStringList({"b", "C"}));
    EXPECT_EQ(w->ItemParams()[0].asInteger(), 2);
    EXPECT_TRUE(w->ItemParams()[1].isNull());

    r->SetSQL({"select * from PATIENTS where PATIENTS_ID = :ID", "and NOM <> ':X' and NOM = :NOM"});
    EXPECT_EQ(r->GetParams().names(), QStringList({"ID", "NOM"}));
    r->ParamByName("ID").setAsInteger(4);
    r->SetSQLText("select * from PATIENTS where PATIENTS_ID = :ID");
    EXPECT_EQ(r->GetParams().names(), QStringList({"ID"}));
    EXPECT_EQ(r->ParamByName("ID").asInteger(), 4);
    // The fixed text itself keeps its "=" names: the fix-up is for item texts.
    r->SetSQLText("select :A=B");
    EXPECT_EQ(r->GetParams().names(), QStringList({"A=B"}));
    EXPECT_THROW(r->ParamByName("NOM"), Exception);

    // Renaming touches whole parameters only: not a longer name, a literal or "::".
    EXPECT_EQ(ReplaceParam("a = :ID and b = :ID2 and c = ':ID' and d = ::ID and e = :\"id\"", "id",
                           ":P1"),
              "a = :P1 and b = :ID2 and c = ':ID' and d = ::ID and e = :P1");
}

TEST(RequestRowLimit, PacketSizesAndTypedNulls)
{
    struct Cache : TRequestCache
    {
        bool parent = false;
        int packet = 7;
        bool ParentPacketRecords() const override { return parent; }
        int PacketRecords() const override { return packet; }
        TDBRequest* Request() const override { return nullptr; }
        const TFieldProps* FieldPropsOf(const QString&) const override { return nullptr; }
    };
    Practice ms(1), ora(2), std3(3);
    auto r = ms.request();
    EXPECT_EQ(r->GetRowLimit(), 50);
    ms.access.SetPacketRecords(20);
    EXPECT_EQ(r->RowLimitPrefix(), "TOP 20");
    r->SetParentPacketRecords(false);
    r->SetPacketRecords(10);
    EXPECT_EQ(r->GetRowLimit(), 10);
    Cache cache;
    r->SetTargetCache(&cache);
    EXPECT_EQ(r->GetRowLimit(), 7);
    cache.parent = true;
    EXPECT_EQ(r->GetRowLimit(), 10);
    r->SetPacketRecords(-1);
    EXPECT_EQ(r->RowLimitPrefix(), "");
    EXPECT_EQ(r->RowLimitCondition(), "");
    EXPECT_EQ(ora.request()->RowLimitPrefix() + ora.request()->RowLimitCondition(),
              " ROWNUM <= 50");
    EXPECT_EQ(std3.request()->RowLimitPrefix() + std3.request()->RowLimitCondition(), "");

    // Type and size, then the Oracle type and the local kind's.
    const QList<std::tuple<TDataType, int, QString, QString>> nulls = {
        {dtInteger, 0, "INT", "INTEGER"},
        {dtAutoinc, 0, "INT", "INTEGER"},
        {dtString, 30, "VARCHAR2(30)", "VARCHAR(30) "},
        {dtLangString, 10, "VARCHAR2(45)", "VARCHAR(45) "},
        {dtDateTime, 0, "DATE", "TIMESTAMP"},
        {dtDate, 0, "DATE", "DATE"},
        {dtTime, 0, "DATE", "TIME"},
        {dtMoney, 0, "NUMERIC(20,6)", "MONEY"},
        {dtNumeric, 15, "NUMERIC(15,6)", "NUMERIC(15,6)"},
        {dtTaux, 0, "NUMERIC(20,6)", "NUMERIC(0,6)"},
        {dtBoolean, 0, "VARCHAR2(1)", "BOOLEAN"},
        {dtMemo, 0, "VARCHAR2(100)", "VARCHAR(100)"},
        {dtString, 0, "VARCHAR2(100)", "VARCHAR(0) "},
    };
    auto msr = ms.request();
    auto orar = ora.request();
    auto stdr = std3.request();
    for (const auto& [type, size, oracle, local] : nulls) {
        SCOPED_TRACE(int(type));
        EXPECT_EQ(msr->TypedNullColumn(type, size), " null ");
        EXPECT_EQ(orar->TypedNullColumn(type, size), " cast(null as " + oracle + ") ");
        const QString column = stdr->TypedNullColumn(type, size);
        EXPECT_EQ(column, " cast(null as " + local + ") ");
        // A null, not 0 or '' as a cast of '' would give.
        EXPECT_EQ(std3.rows("select" + column + "X"), QStringList({"NULL"}));
    }
}

TEST(RequestFieldDescriptors, CalculatedAndLookupItems)
{
    Practice p;
    auto parse = [&p](const QString& text) { return ParseFieldDescriptor(p.access, "Req", text); };
    const TFieldDescriptor total = parse("CALC(TOTAL.MONEY)");
    EXPECT_EQ(std::tuple(total.Name, total.DataType), std::tuple("TOTAL", FieldType::Currency));
    const TFieldDescriptor label = parse("calc(LABEL.char(30))");
    EXPECT_EQ(std::tuple(label.DataType, label.Size), std::tuple(FieldType::String, 30));
    for (const char* bad :
         {"CALC(X.CHAR)", "CALC(X.CHAR(a))", "CALC(NODOT)", "CALC(X.INT", "CALC(X.BLOB)"}) {
        EXPECT_EQ(kernelErrorOf([&] { parse(bad); }),
                  QString("Req. Invalid calculated field descriptor: %1.").arg(bad));
    }

    const TFieldDescriptor doc = parse("LOOK(DOC.MEDECINS.NOM)");
    EXPECT_TRUE(doc.IsLookup);
    EXPECT_EQ(QStringList({doc.Name, doc.LookupTable, doc.LookupResultField, doc.KeyFields,
                           doc.LookupKeyFields}),
              QStringList({"DOC", "MEDECINS", "NOM", "MEDECINS_ID", "MEDECINS_ID"}));
    EXPECT_EQ(std::tuple(doc.DataType, doc.Size), std::tuple(FieldType::String, 40));
    const TFieldDescriptor paid = parse("LOOK(PAID.VISITS.MONTANT.PATIENTS_ID.MEDECINS_ID)");
    EXPECT_EQ(std::tuple(paid.KeyFields, paid.LookupKeyFields, paid.DataType),
              std::tuple("PATIENTS_ID,MEDECINS_ID", "VISITS_ID", FieldType::Currency));
    EXPECT_EQ(kernelErrorOf([&] { parse("LOOK(X.MEDECINS)"); }),
              "Req. Invalid lookup field descriptor: LOOK(X.MEDECINS).");
    EXPECT_EQ(kernelErrorOf([&] { parse("LOOK(X.NOWHERE.NOM)"); }),
              "Properties for table 'NOWHERE' not found.");

    // The column standing for it in each dialect.
    EXPECT_EQ(DescriptorColumn(p.access, total), "cast(null as money) TOTAL");
    Practice ms(1), ora(2);
    EXPECT_EQ(DescriptorColumn(ms.access, total), "convert(money,null) TOTAL");
    EXPECT_EQ(DescriptorColumn(ora.access, total), "cast('' as Numeric(20,6)) TOTAL");
}

namespace {

// A cache as BuildKeyWhere sees it: its request and a description per field.
struct KeyCache : TRequestCache
{
    TDBRequest* request = nullptr;
    QHash<QString, const TFieldProps*> props;
    bool ParentPacketRecords() const override { return true; }
    int PacketRecords() const override { return 50; }
    TDBRequest* Request() const override { return request; }
    const TFieldProps* FieldPropsOf(const QString& name) const override
    {
        return props.value(name);
    }
};

} // namespace

TEST(RequestKeyWhere, KeyFieldsFoundDirectlyAndThroughLinks)
{
    Practice p;
    const TTableProps* visits = p.access.GetTableProps("VISITS");
    const TTableProps* medecins = p.access.GetTableProps("MEDECINS");
    const TTableProps* patients = p.access.GetTableProps("PATIENTS");
    auto r = p.request();
    addFrom(*r, "VISITS", "V");
    addFrom(*r, "MEDECINS", "M", "V", "MEDECINS_ID");
    addSelect(*r, "V", "VISITS_ID", "VID");
    addSelect(*r, "V", "MONTANT");
    addSelect(*r, "M", "NOM", "MNOM");
    TSelectItem* vmed = addSelect(*r, "V", "MEDECINS_ID", "VMED");
    r->SetCompiled(true);
    KeyCache cache;
    cache.request = r.get();
    cache.props = {{"MONTANT", visits->FindFieldProps("MONTANT")},
                   {"MNOM", medecins->FindFieldProps("NOM")}};

    // "TABLE.FIELD where ..." for a key found, "none" otherwise.
    auto keyOf = [](const KeyCache& c, const QString& field) {
        TKeyWhere key;
        if (!BuildKeyWhere(c, field, key))
            return QStringLiteral("none");
        return key.TableName + "." + key.FieldName + " " + key.Where;
    };
    EXPECT_EQ(keyOf(cache, "MONTANT"), "VISITS.MONTANT where VISITS_ID=:VID");
    // The doctor's key is carried by the visit's reference to it.
    EXPECT_EQ(keyOf(cache, "MNOM"), "MEDECINS.NOM where MEDECINS_ID=:VMED");
    vmed->SetEnabled(false);
    r->SetCompiled(true);
    EXPECT_EQ(keyOf(cache, "MNOM"), "none");
    EXPECT_EQ(keyOf(cache, "NOSUCHFIELD"), "none");

    // "*" carries every field of its table; a view field reads its origin table.
    auto star = p.request("Star");
    addFrom(*star, "PATIENTS", "P");
    addSelect(*star, "", "*");
    star->SetCompiled(true);
    TFieldProps viewField;
    viewField.TableName = "V_PATIENTS";
    viewField.FieldName = "PNOM";
    viewField.Origin = "PATIENTS";
    viewField.NativeName = "NOM";
    KeyCache starCache;
    starCache.request = star.get();
    starCache.props = {{"NOM", patients->FindFieldProps("NOM")}, {"PNOM", &viewField}};
    EXPECT_EQ(keyOf(starCache, "NOM"), "PATIENTS.NOM where PATIENTS_ID=:PATIENTS_ID");
    EXPECT_EQ(keyOf(starCache, "PNOM"), "PATIENTS.NOM where PATIENTS_ID=:PATIENTS_ID");
}
