// Kernel metadata loaded from a real SQLite kernel database, reloaded per table and as a whole;
// read from a plain query's statement as its cursor would show it, a bad stored value stopping the
// load; and its texts: multi-language labels, Custom lists, join texts, view fields by origin.
#include "kernel_helpers.h"

#include <kernel/schemaapi.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QScopeGuard>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

QStringList namesOf(const TLinksList& links)
{
    QStringList out;
    for (const TLinkInfo* l : links)
        out.append(QStringLiteral("%1>%2#%3").arg(l->Parent, l->Child).arg(l->ID));
    return out;
}

// Every link a description lists is owned by the access component.
void expectNoFreedLinks(const TDBAccess& access)
{
    for (int i = 0; i < access.TableProps().Count(); ++i) {
        const TTableProps* t = access.TableProps().At(i);
        for (const TLinksList* list : {&t->ParentLinks, &t->ChildLinks}) {
            for (const TLinkInfo* l : *list)
                EXPECT_TRUE(access.LinkSet().Contains(l)) << t->TableName.toStdString();
        }
    }
}

QStringList tableNames(const TDBAccess& access)
{
    QStringList names;
    for (int i = 0; i < access.TableProps().Count(); ++i)
        names.append(access.TableProps().At(i)->TableName);
    return names;
}

// A description as text lines: the table, its fields in order, then its links to parents ("<",
// marked when optional) and to children (">").
QStringList describe(const TTableProps* t)
{
    auto yes = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    auto link = [](const TLinkInfo* l) {
        return l->Parent + ">" + l->Child + "#" + QString::number(l->ID);
    };
    QStringList out({QStringList({t->TableName, t->KeyFields, yes(t->System), yes(t->TraceLog),
                                  t->BaseTable, t->Custom.Text()})
                         .join('|')});
    for (int f = 0; f < t->FieldCount(); ++f) {
        const TFieldProps* p = t->Fields.At(f);
        out.append(QStringList({"  " + p->FieldName, yes(p->Required), yes(p->Visible), p->MetaType,
                                QString::number(p->DataType), QString::number(p->Size),
                                QString::number(p->Precision), p->Custom.Text(), p->Origin,
                                p->NativeName, yes(p->LookupReady)})
                       .join('|'));
    }
    for (const TLinkInfo* l : t->ParentLinks)
        out.append("  < " + link(l) + (l->Optional ? " optional" : ""));
    for (const TLinkInfo* l : t->ChildLinks)
        out.append("  > " + link(l));
    return out;
}

QString loadError(AccessOnKernel& s)
{
    QString message;
    s.access.OnConnectError = [&message](const Exception& e, bool&) { message = e.message(); };
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::Failed);
    return message;
}

// The sample kernel and a component on it, started by start() after what the test changes.
class SampleMetadata : public ::testing::Test
{
protected:
    void start() { ASSERT_TRUE(s.access.Init()); }

    SampleKernel s;
    ScopedScriptedDialogs dialogs;
};

// The same, its metadata read from the queries' statements or walked by their cursors.
class BothReadings : public SampleMetadata, public ::testing::WithParamInterface<bool>
{
};

// Sets the label language until the returned guard goes.
auto inLanguage(const QString& key)
{
    const QString saved = CurrentLangKey();
    SetCurrentLangKey(key);
    return qScopeGuard([saved] { SetCurrentLangKey(saved); });
}

} // namespace

TEST_P(BothReadings, TablesFieldsLinksAndLabelsFromTheKernelDatabase)
{
    // A scroll handler on every metadata query makes the loader walk their cursors; plain queries
    // are otherwise read from their statements. Values stored in the forms other tools write
    // (Booleans as text, a number with blanks) read the same either way.
    int scrolls = 0;
    if (GetParam()) {
        for (SqlQuery* q : {&s.tables, &s.fields, &s.links})
            q->afterScroll = [&scrolls](DataSet&) { ++scrolls; };
    }
    s.kernel.exec("update METATABLE set SYSTEM = 'true' where TABLE_NAME = 'VISITS';"
                  "update METAFIELD set VISIBLE = '0', DATATYPE = ' 7 '"
                  " where TABLE_NAME = 'PATIENTS' and FIELD_NAME = 'NOM';");
    s.access.SetLanguage(krnLangFRA);
    start();
    EXPECT_EQ(scrolls > 0, GetParam());
    for (SqlQuery* q : {&s.tables, &s.fields, &s.links})
        EXPECT_FALSE(q->isActive());
    const TDBAccess& a = s.access;

    // Looked up without regard to case; fields attach to their table whatever the case of its
    // name, in their order; the stray NOTHERE row disturbs nothing. Links are numbered in reading
    // order and attached to both ends; the view takes its base table's link with its own key and
    // the number the set had when the copy was made.
    const TTableProps* patients = a.FindTableProps("patients");
    const TTableProps* visits = a.FindTableProps("VISITS");
    const TTableProps* view = a.FindTableProps("V_PATIENTS");
    ASSERT_TRUE(patients && visits && view);
    EXPECT_EQ(
        describe(patients),
        QStringList({"PATIENTS|PATIENTS_ID|0|1||Label=#fra#Patients#rus#Пациенты\r\nColor=blue",
                     "  PATIENTS_ID|1|1||1|0|0|Label=#fra#Numéro#rus#Номер|||0",
                     "  NOM|1|0||7|30|0||||0",
                     "  SEXE|0|1||1|0|0|LookupKeys=1,2\r\nLookupValues=#fra#Homme#rus#Мужской,"
                     "#fra#Femme#rus#Женский|||1",
                     "  MEDECINS_ID|0|0||1|0|0||||0", "  < MEDECINS>PATIENTS#3 optional",
                     "  > PATIENTS>VISITS#1"}));
    EXPECT_EQ(describe(visits),
              QStringList({"VISITS|VISITS_ID|1|0||Label=#fra#Visites#eng#",
                           "  VISITS_ID|1|1||1|0|0||||0", "  PATIENTS_ID|1|1||1|0|0||||0",
                           "  MEDECINS_ID|0|1||1|0|0||||0", "  MONTANT|0|1|money|7|20|4||||0",
                           "  < PATIENTS>VISITS#1", "  < MEDECINS>VISITS#2 optional"}));
    EXPECT_EQ(describe(a.FindTableProps("MEDECINS")),
              QStringList({"MEDECINS|MEDECINS_ID|1|0||Label=Médecins",
                           "  MEDECINS_ID|1|1||1|0|0||||0", "  NOM|1|1||3|40|0||||0",
                           "  > MEDECINS>VISITS#2", "  > MEDECINS>PATIENTS#3"}));
    EXPECT_EQ(describe(view),
              QStringList({"V_PATIENTS|PATIENTS_ID|0|0|PATIENTS|",
                           "  PATIENTS_ID|1|1||1|0|0||PATIENTS|PATIENTS_ID|0",
                           "  NOM|0|1||3|30|0||PATIENTS|NOM|0", "  > V_PATIENTS>VISITS#3"}));
    EXPECT_EQ(visits->FieldPropsByName("montant")->Owner, visits);
    EXPECT_EQ(kernelErrorOf([&] { a.GetTableProps("NOTHERE"); }),
              "Properties for table 'NOTHERE' not found.");
    EXPECT_EQ(kernelErrorOf([&] { patients->FieldPropsByName("AGE"); }),
              "Table 'PATIENTS': properties for field 'AGE' not found.");
    EXPECT_EQ(patients->FindFieldProps("AGE"), nullptr);
    // "Cascade", "c" and "N".
    const TLinkInfo* toVisits = patients->ChildLinks.first();
    EXPECT_TRUE(toVisits->AttachedToParent);
    EXPECT_EQ(QList<TDeleteAction>({toVisits->DeleteAction, visits->ParentLinks.at(1)->DeleteAction,
                                    patients->ParentLinks.first()->DeleteAction}),
              QList<TDeleteAction>({daCascade, daNone, daSetNull}));
    const TLinkInfo* copy = view->ChildLinks.first();
    EXPECT_EQ(copy->KeyFields + ">" + copy->RefFields, "PATIENTS_ID>PATIENTS_ID");
    EXPECT_EQ(copy->Custom.Values("Label"), toVisits->Custom.Values("Label"));

    // Built-in descriptions follow the database's own.
    EXPECT_EQ(tableNames(a), QStringList({"MEDECINS", "PATIENTS", "VISITS", "V_PATIENTS", "DBROLE",
                                          "DBUSER", "USERROLE", "METATABLE", "METAFIELD"}));
    expectNoFreedLinks(a);

    // Descriptions are read-only outside a load.
    auto& custom = const_cast<TCustomPropList&>(patients->Custom);
    EXPECT_EQ(kernelErrorOf([&] { custom.SetValues("Label", "x"); }),
              "Cannot modify readonly property");
    EXPECT_EQ(kernelErrorOf([&] { custom.SetText(""); }), "Cannot modify readonly property");

    // Labels in French and Russian.
    const TTableProps* doctors = a.FindTableProps("MEDECINS");
    const TFieldProps* sex = patients->FieldPropsByName("SEXE");

    s.access.SetLanguage(krnLangFRA);
    EXPECT_EQ(patients->Label(), "Patients");
    EXPECT_EQ(visits->Label(), "Visites");
    EXPECT_EQ(doctors->Label(), "Médecins");
    EXPECT_EQ(patients->FieldPropsByName("PATIENTS_ID")->Label(), "Numéro");
    EXPECT_EQ(patients->FieldPropsByName("NOM")->Label(), "NOM");
    EXPECT_EQ(sex->LookupValue("2"), "Femme");
    EXPECT_EQ(sex->LookupValue("3"), "");
    EXPECT_EQ(patients->ChildLinks.first()->Custom.Values("Label"),
              "#fra#Visites du patient#rus#Визиты пациента");

    s.access.SetLanguage(krnLangRUS);
    EXPECT_EQ(patients->Label(), "Пациенты");
    EXPECT_EQ(visits->Label(), ""); // a label with parts, none of them Russian
    EXPECT_EQ(patients->FieldPropsByName("PATIENTS_ID")->Label(), "Номер");
    EXPECT_EQ(sex->LookupValue("1"), "Мужской");

    s.access.SetLanguage(krnLangENG);
    EXPECT_EQ(s.access.FindTableProps("V_PATIENTS")->Label(), "V_PATIENTS");
    s.access.SetLanguage(krnLangUnknown);
}

INSTANTIATE_TEST_SUITE_P(Readings, BothReadings, ::testing::Values(false, true));

TEST_F(SampleMetadata, ADatabaseThatDescribesAKernelTableKeepsItsOwnDescription)
{
    s.kernel.exec("insert into METATABLE values ('METATABLE', 'TABLE_NAME', 0, 'Label=Meta', 0,"
                  " null, 'T');"
                  "insert into METAFIELD values ('METATABLE', 'TABLE_NAME', 1, 1, null, 3, 64, 0,"
                  " null, null, null, 1);");
    start();
    const TTableProps* meta = s.access.FindTableProps("METATABLE");
    EXPECT_EQ(meta->Label(), "Meta");
    EXPECT_FALSE(meta->System);
    EXPECT_EQ(meta->Fields.Names(), QStringList({"TABLE_NAME"}));
    EXPECT_EQ(meta->FieldPropsByName("TABLE_NAME")->Size, 64);
    EXPECT_EQ(tableNames(s.access).count("METATABLE"), 1);
}

namespace {

struct CountingServices : TKernelCacheServices
{
    QStringList versions;
    DataSet* CreateLookupSource(TDBAccess&, const QString&, const QString&, const QString&) override
    {
        return nullptr;
    }
    void IncCacheVersion(Database& database, const QString& aliases) override
    {
        versions.append(database.aliasName() + ":" + aliases);
    }
};

} // namespace

TEST_F(SampleMetadata, ReloadOneTableWhateverTheCaseOfItsName)
{
    start();
    MetaCache cache;
    cache.bound = s.access.FindTableProps("PATIENTS");
    s.access.RegisterOpenCache(&cache);
    CountingServices services;
    TKernelCacheServices* const previous = KernelCacheServices();
    SetKernelCacheServices(&services);
    const auto restore = qScopeGuard([previous] { SetKernelCacheServices(previous); });

    s.kernel.exec(
        "update METATABLE set CUSTOM = 'Label=#fra#Malades' where TABLE_NAME = 'PATIENTS';"
        "insert into METAFIELD values ('PATIENTS', 'TEL', 0, 1, null, 3, 20, 0, null,"
        " null, null, 5);"
        "delete from TABLELINK where PARENT = 'MEDECINS' and CHILD = 'PATIENTS';");
    const TTableProps* old = s.access.FindTableProps("PATIENTS");
    s.access.LoadTableProps("patients");

    EXPECT_EQ(services.versions, QStringList({"KRN:META_Links,META_Tables,META_Fields"}));
    const TTableProps* patients = s.access.FindTableProps("PATIENTS");
    ASSERT_TRUE(patients);
    EXPECT_EQ(patients->Custom.Values("Label"), "#fra#Malades");
    EXPECT_EQ(patients->Fields.Names(),
              QStringList({"PATIENTS_ID", "NOM", "SEXE", "MEDECINS_ID", "TEL"}));
    // Its links are read again, numbered after the highest number so far.
    EXPECT_EQ(namesOf(patients->ChildLinks), QStringList({"PATIENTS>VISITS#4"}));
    EXPECT_TRUE(patients->ParentLinks.isEmpty());
    // The tables at the other ends see the new links and none of the old ones (VISITS, attached
    // again, now also sees the link the view took from PATIENTS).
    EXPECT_EQ(namesOf(s.access.FindTableProps("VISITS")->ParentLinks),
              QStringList({"MEDECINS>VISITS#2", "V_PATIENTS>VISITS#3", "PATIENTS>VISITS#4"}));
    EXPECT_EQ(namesOf(s.access.FindTableProps("MEDECINS")->ChildLinks),
              QStringList({"MEDECINS>VISITS#2"}));
    expectNoFreedLinks(s.access);
    // The cache bound to the old description moved to the new one.
    ASSERT_EQ(cache.replacements.size(), 1);
    EXPECT_EQ(cache.replacements.first().first, old);
    EXPECT_EQ(cache.bound, patients);
    EXPECT_EQ(s.access.TableProps().Count(), 9);
}

TEST_F(SampleMetadata, ReloadATableNoLongerDescribedIsDroppedWithItsLinks)
{
    start();
    MetaCache cache;
    cache.bound = s.access.FindTableProps("VISITS");
    s.access.RegisterOpenCache(&cache);

    s.kernel.exec("delete from METATABLE where TABLE_NAME = 'VISITS';"
                  "delete from METAFIELD where upper(TABLE_NAME) = 'VISITS';"
                  "delete from TABLELINK where CHILD = 'VISITS';");
    s.access.LoadTableProps("Visits");
    EXPECT_EQ(s.access.FindTableProps("VISITS"), nullptr);
    EXPECT_TRUE(s.access.FindTableProps("PATIENTS")->ChildLinks.isEmpty());
    EXPECT_EQ(namesOf(s.access.FindTableProps("MEDECINS")->ChildLinks),
              QStringList({"MEDECINS>PATIENTS#3"}));
    EXPECT_TRUE(s.access.FindTableProps("V_PATIENTS")->ChildLinks.isEmpty());
    expectNoFreedLinks(s.access);
    EXPECT_EQ(cache.bound, nullptr);

    // The whole metadata again: every description is new and the links are numbered from 1.
    const TTableProps* before = s.access.FindTableProps("MEDECINS");
    s.access.LoadTableProps();
    EXPECT_NE(s.access.FindTableProps("MEDECINS"), before);
    EXPECT_EQ(namesOf(s.access.FindTableProps("MEDECINS")->ChildLinks),
              QStringList({"MEDECINS>PATIENTS#1"}));
    expectNoFreedLinks(s.access);

    // A full load at the next start-up frees the old descriptions too; caches follow.
    cache.bound = s.access.FindTableProps("PATIENTS");
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(cache.bound, s.access.FindTableProps("PATIENTS"));
    expectNoFreedLinks(s.access);

    // A reload whose links cannot be read loses none of the old ones.
    s.kernel.exec("alter table TABLELINK rename to OLD_TABLELINK");
    EXPECT_THROW(s.access.LoadTableProps("MEDECINS"), EngineError);
    EXPECT_EQ(namesOf(s.access.FindTableProps("MEDECINS")->ChildLinks),
              QStringList({"MEDECINS>PATIENTS#1"}));
    expectNoFreedLinks(s.access);
}

TEST_F(SampleMetadata, TheQueryParametersAndTheTablesFilterDecideWhatIsDescribed)
{
    s.tables.setSql("select * from METATABLE where TABLE_NAME <> :SKIP order by TABLE_NAME");
    s.tables.paramByName("SKIP").setAsString("MEDECINS");
    s.tables.setFilter("TABLE_NAME <> 'VISITS'");
    start();
    EXPECT_EQ(tableNames(s.access), QStringList({"PATIENTS", "V_PATIENTS", "DBROLE", "DBUSER",
                                                 "USERROLE", "METATABLE", "METAFIELD"}));
    // The fields of the tables left out are passed over; the links are all read.
    EXPECT_EQ(s.access.FindTableProps("PATIENTS")->Fields.Names(),
              QStringList({"PATIENTS_ID", "NOM", "SEXE", "MEDECINS_ID"}));
    EXPECT_EQ(s.access.LinkSet().Count(), 3 + 1 + 3);

    // Without the filter the same query, parameter and all, is read from its statement.
    s.tables.setFilter(QString());
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(tableNames(s.access), QStringList({"PATIENTS", "VISITS", "V_PATIENTS", "DBROLE",
                                                 "DBUSER", "USERROLE", "METATABLE", "METAFIELD"}));
}

TEST(MetadataReading, AStoredValueThatCannotBeReadStopsTheLoadEvenInAColumnNotUsed)
{
    for (bool walked : {false, true}) {
        SampleKernel s;
        s.kernel.exec("update METAFIELD set ORD = 'x' where FIELD_NAME = 'MONTANT'");
        if (walked)
            s.fields.afterScroll = [](DataSet&) {};
        EXPECT_EQ(loadError(s), "'x' is not a valid Integer value (field 'ORD')") << walked;
    }
    // A select that lacks a column the loader needs is refused as the dataset refuses it.
    SampleKernel s;
    s.fields.setObjectName("Fields");
    s.fields.setSql("select FIELD_NAME from METAFIELD");
    EXPECT_EQ(loadError(s), "Fields : Champ 'TABLE_NAME' non trouvé");
}

TEST(MultiLanguageTexts, ExtractMultiLabelTakesTheWholeTag)
{
    const QString label = "#fra#Patients#rus#Пациенты";
    EXPECT_EQ(ExtractMultiLabel(label, "fra"), "Patients");
    EXPECT_EQ(ExtractMultiLabel(label, "eng"), "");
    EXPECT_EQ(ExtractMultiLabel("Patients", "rus"), "Patients"); // valid for every language
    EXPECT_EQ(ExtractMultiLabel("#fra#Visites#eng#", "eng"), "");
    // A label that merely holds the key before a "#" is no tag.
    EXPECT_EQ(ExtractMultiLabel("#fra#Virus#eng#Virus", "rus"), "");
    // A text that starts with the key and "#" still names it.
    EXPECT_EQ(ExtractMultiLabel("fra#Tables#rus#Таблицы", "fra"), "Tables");
    // An empty key finds the first "#".
    EXPECT_EQ(ExtractMultiLabel("#fra#Tables", ""), "fra");
    EXPECT_EQ(ExtractMultiLabel("Plain", ""), "Plain");
}

TEST(MultiLanguageTexts, EnteredTextBecomesThePartOfTheCurrentLanguage)
{
    const auto restore = inLanguage("fra");
    EXPECT_EQ(MultiLangGetText("#fra#Homme#rus#Мужчина"), "Homme");
    EXPECT_EQ(MultiLangSetText("#fra#Homme#rus#Мужчина", "Monsieur"), "#fra#Monsieur#rus#Мужчина");
    // An old value without tags belongs to no other language.
    EXPECT_EQ(MultiLangSetText("Homme", "Monsieur"), "#fra#Monsieur");
    EXPECT_EQ(MultiLangSetText("#fra#A#rus#B", ""), "#rus#B");
    // A text that carries its own tags is stored as typed.
    EXPECT_EQ(MultiLangSetText("#fra#A", "#eng#Man"), "#eng#Man");
    SetCurrentLangKey("rus");
    EXPECT_EQ(MultiLangSetText("#eng#B#fra#A", "В"), "#fra#A#rus#В#eng#B");
    // Without a language the text typed is the whole value (nothing typed is lost).
    SetCurrentLangKey("");
    EXPECT_EQ(MultiLangSetText("#fra#A", "X"), "X");
}

TEST(MetadataTexts, CustomListsTheirLinesAndValueLists)
{
    TMetaModifyScope modify;
    TFieldProps f;
    f.FieldName = "SEXE";
    f.Custom.SetText("LookupKeys=#fra#h,f#eng#m,w\r\nLookupValues=#fra#Homme#eng#Man,"
                     "#fra#Femme#eng#Woman\nLabel=#fra#Sexe#eng#Sex");
    const auto restore = inLanguage("eng");
    f.PrepareLookup();
    EXPECT_TRUE(f.LookupReady);
    EXPECT_EQ(f.LookupValue("W"), "Woman"); // keys compare without regard to case
    EXPECT_EQ(f.Label(), "Sex");

    f.Custom.SetValues("LookupKeys", "1,2,3");
    f.PrepareLookup();
    EXPECT_FALSE(f.LookupReady); // three keys, two values
    f.Custom.SetValues("LookupKeys", "");
    EXPECT_EQ(f.Custom.Lines(), QStringList({"LookupValues=#fra#Homme#eng#Man,#fra#Femme#eng#Woman",
                                             "Label=#fra#Sexe#eng#Sex"}));

    // Stored texts keep their lines whatever their breaks.
    TCustomPropList c;
    const QList<QPair<QString, QString>> cases = {
        {"A=1\r\nB=2\r\n", "A=1\r\nB=2"}, // a break at the end opens no line
        {"A=1\rB=2\nC=3", "A=1\r\nB=2\r\nC=3"},
        {"A=1\n\r\nB=2", "A=1\r\n\r\nB=2"},
        {"A=1\r\n\r\nB=2", "A=1\r\n\r\nB=2"},
        {"\r\n", ""},
        {"\nA=1", "\r\nA=1"},
    };
    for (const auto& [text, joined] : cases) {
        c.SetText(text);
        EXPECT_EQ(c.Text(), joined) << text.toStdString();
    }

    // Only CR LF ends a line in a stored text: a CR that a value brought in stays in it.
    c.SetText("LookupKeys=1,2\r\nLabel=Sexe");
    c.SetValues("Note", "a\rb");
    c.SetValues("Mark", "1");
    EXPECT_EQ(c.Text(), "LookupKeys=1,2\r\nLabel=Sexe\r\nNote=a\rb\r\nMark=1");
    EXPECT_EQ(c.Values("note"), "a\rb");
    EXPECT_EQ(c.Values("LookupKey"), "");
    EXPECT_EQ(c.Values("Label=Sexe"), "");
}

// DEL_ACT holds one letter, read by its first character only: a misread would turn "restrict"
// into "cascade" and let a delete take the child rows with it.
TEST(MetadataTexts, DeleteActionLettersReadBack)
{
    const std::pair<const char*, TDeleteAction> cases[] = {
        {"C", daCascade},   {"R", daRestrict}, {"N", daSetNull}, {"X", daNoDelete},
        {"Rx", daRestrict}, {"", daNone},      {"r", daNone},    {"c", daNone},
        {"Q", daNone},      {" R", daNone},
    };
    for (const auto& [text, action] : cases)
        EXPECT_EQ(DeleteActionFromText(text), action) << text;
}

// The compiler's tests cover the plain forms; here the two-field keys, the name map and the
// options.
TEST(MetadataTexts, JoinTextsOfALink)
{
    TDBAccess access;
    access.SetTableNameMap({"visits=VISITS_2024"});
    TLinkInfo link;
    link.Owner = &access;
    link.Parent = "PATIENTS";
    link.Child = "VISITS";
    link.KeyFields = "K1,K2";
    link.RefFields = "R1,R2";
    EXPECT_EQ(link.JoinWhereText("", "", 0),
              " PATIENTS.K1 = VISITS_2024.R1 AND PATIENTS.K2 = VISITS_2024.R2 ");
    EXPECT_EQ(link.JoinWhereText("", "", joChildAsStored),
              " PATIENTS.K1 = VISITS.R1 AND PATIENTS.K2 = VISITS.R2 ");
    EXPECT_EQ(link.JoinClauseText("P", "V", joWithTableNames | joReversed),
              " VISITS_2024 V JOIN PATIENTS P ON P.K1 = V.R1 AND P.K2 = V.R2 ");

    // An optional link joins outer by default.
    link.Optional = true;
    EXPECT_EQ(link.JoinWhereText("P", "V", 0), " P.K1 = V.R1 (+) AND P.K2 = V.R2 (+) ");
    EXPECT_EQ(link.JoinClauseText("P", "V", joChildAsStored),
              " LEFT OUTER JOIN VISITS V ON P.K1 = V.R1 AND P.K2 = V.R2 ");

    link.RefFields = "R1";
    const QString invalid = "Invalid reference for table 'VISITS'(K1,K2) from table PATIENTS(R1).";
    EXPECT_EQ(kernelErrorOf([&] { link.JoinWhereText("P", "V", 0); }), invalid);
    EXPECT_EQ(kernelErrorOf([&] { link.JoinClauseText("P", "V", 0); }), invalid);
}

TEST(MetadataTexts, SameFieldPropsCountsViewFieldsByTheirOrigin)
{
    auto props = [](const char* table, const char* field, const char* origin, const char* native) {
        TFieldProps p;
        p.TableName = table;
        p.FieldName = field;
        p.Origin = origin;
        p.NativeName = native;
        return p;
    };
    const TFieldProps table = props("PATIENTS", "NOM", "", ""),
                      view = props("V_PATIENTS", "NAME", "PATIENTS", "NOM"),
                      other = props("V_OTHER", "X", "PATIENTS", "NOM"),
                      bare = props("T", "F", "", ""), lower = props("PATIENTS", "nom", "", "");
    EXPECT_TRUE(SameFieldProps(&table, &table));
    EXPECT_FALSE(SameFieldProps(&table, nullptr));
    EXPECT_TRUE(SameFieldProps(&table, &view));
    EXPECT_TRUE(SameFieldProps(&view, &table));
    EXPECT_TRUE(SameFieldProps(&view, &other)); // both from PATIENTS.NOM
    EXPECT_FALSE(SameFieldProps(&bare, &table));
    EXPECT_FALSE(SameFieldProps(&lower, &table)); // names compare exactly
}
