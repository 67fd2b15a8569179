// Kernel metadata: multi-language labels, value lists, join texts, and the descriptions loaded
// from a real SQLite kernel database (tables, fields, links, views, built-in descriptions), looked
// up by name, in French and Russian, reloaded per table and as a whole.
#include "kernel_helpers.h"

#include <kernel/schemaapi.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QScopeGuard>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

// Sets the label language until the returned guard goes.
auto inLanguage(const QString& key)
{
    const QString saved = CurrentLangKey();
    SetCurrentLangKey(key);
    return qScopeGuard([saved] { SetCurrentLangKey(saved); });
}

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

} // namespace

TEST(MultiLanguageTexts, ExtractMultiLabelTakesTheWholeTag)
{
    const QString label = "#fra#Patients#rus#Пациенты";
    EXPECT_EQ(ExtractMultiLabel(label, "fra"), "Patients");
    EXPECT_EQ(ExtractMultiLabel(label, "rus"), "Пациенты");
    EXPECT_EQ(ExtractMultiLabel(label, "eng"), "");
    EXPECT_EQ(ExtractMultiLabel("Patients", "rus"), "Patients"); // valid for every language
    EXPECT_EQ(ExtractMultiLabel("", "fra"), "");
    EXPECT_EQ(ExtractMultiLabel("#fra#Visites#eng#", "eng"), "");
    EXPECT_EQ(ExtractMultiLabel("#eng#Tables#fra#Tableaux", "fra"), "Tableaux");
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
    SetCurrentLangKey("");
    EXPECT_EQ(MultiLangSetText("#fra#A", "X"), "#fra#A");
}

TEST(MetadataTexts, CustomListsValueListsAndDeleteActions)
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
    EXPECT_EQ(f.LookupValue("h"), "");
    EXPECT_EQ(f.Label(), "Sex");
    EXPECT_EQ(f.GetCustom("label"), "#fra#Sexe#eng#Sex");

    f.Custom.SetValues("LookupKeys", "1,2,3");
    f.PrepareLookup();
    EXPECT_FALSE(f.LookupReady); // three keys, two values
    f.Custom.SetValues("LookupKeys", "");
    f.PrepareLookup();
    EXPECT_FALSE(f.LookupReady);
    EXPECT_EQ(f.Custom.Lines(), QStringList({"LookupValues=#fra#Homme#eng#Man,#fra#Femme#eng#Woman",
                                             "Label=#fra#Sexe#eng#Sex"}));

    // "Cascade", "c" and "N" come from the sample's links in the load test.
    EXPECT_EQ(DeleteActionFromText("R"), daRestrict);
    EXPECT_EQ(DeleteActionFromText("X"), daNoDelete);
    EXPECT_EQ(DeleteActionFromText(""), daNone);
}

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

    EXPECT_EQ(link.JoinWhereText("P", "V", 0), " P.K1 = V.R1 AND P.K2 = V.R2 ");
    EXPECT_EQ(link.JoinWhereText("P", "V", joReversed), " V.R1 = P.K1 AND V.R2 = P.K2 ");
    EXPECT_EQ(link.JoinWhereText("P", "V", 0, "LEFT OUTER JOIN"),
              " P.K1 = V.R1 (+) AND P.K2 = V.R2 (+) ");
    EXPECT_EQ(link.JoinWhereText("P", "V", 0, "RIGHT OUTER JOIN"),
              " V.R1 = P.K1 (+) AND V.R2 = P.K2 (+) ");
    EXPECT_EQ(link.JoinWhereText("", "", 0),
              " PATIENTS.K1 = VISITS_2024.R1 AND PATIENTS.K2 = VISITS_2024.R2 ");
    EXPECT_EQ(link.JoinWhereText("", "", joChildAsStored),
              " PATIENTS.K1 = VISITS.R1 AND PATIENTS.K2 = VISITS.R2 ");

    EXPECT_EQ(link.JoinClauseText("P", "V", 0),
              " JOIN VISITS_2024 V ON P.K1 = V.R1 AND P.K2 = V.R2 ");
    EXPECT_EQ(link.JoinClauseText("P", "V", joWithTableNames),
              " PATIENTS P JOIN VISITS_2024 V ON P.K1 = V.R1 AND P.K2 = V.R2 ");
    EXPECT_EQ(link.JoinClauseText("P", "V", joWithTableNames | joReversed),
              " VISITS_2024 V JOIN PATIENTS P ON P.K1 = V.R1 AND P.K2 = V.R2 ");
    EXPECT_EQ(link.JoinClauseText("P", "V", joReversed, "INNER JOIN"),
              " INNER JOIN PATIENTS P ON P.K1 = V.R1 AND P.K2 = V.R2 ");
    EXPECT_EQ(
        link.JoinClauseText("", "", 0),
        " JOIN VISITS_2024  ON PATIENTS.K1 = VISITS_2024.R1 AND PATIENTS.K2 = VISITS_2024.R2 ");

    // An optional link joins outer by default.
    link.Optional = true;
    link.KeyFields = "PATIENTS_ID";
    link.RefFields = "PATIENTS_ID";
    EXPECT_EQ(link.JoinWhereText("P", "V", 0), " P.PATIENTS_ID = V.PATIENTS_ID (+) ");
    EXPECT_EQ(link.JoinWhereText("P", "V", 0, "JOIN"), " P.PATIENTS_ID = V.PATIENTS_ID ");
    EXPECT_EQ(link.JoinClauseText("P", "V", joChildAsStored),
              " LEFT OUTER JOIN VISITS V ON P.PATIENTS_ID = V.PATIENTS_ID ");

    link.KeyFields = "K1,K2";
    link.RefFields = "R1";
    const QString invalid = "Invalid reference for table 'VISITS'(K1,K2) from table PATIENTS(R1).";
    EXPECT_EQ(kernelErrorOf([&] { link.JoinWhereText("P", "V", 0); }), invalid);
    EXPECT_EQ(kernelErrorOf([&] { link.JoinClauseText("P", "V", 0); }), invalid);
}

TEST(MetadataTexts, SameFieldPropsCountsViewFieldsByTheirOrigin)
{
    TFieldProps table, view, other, bare;
    table.TableName = "PATIENTS";
    table.FieldName = "NOM";
    view.TableName = "V_PATIENTS";
    view.FieldName = "NAME";
    view.Origin = "PATIENTS";
    view.NativeName = "NOM";
    other.TableName = "V_OTHER";
    other.FieldName = "X";
    other.Origin = "PATIENTS";
    other.NativeName = "NOM";
    bare.TableName = "T";
    bare.FieldName = "F";
    EXPECT_TRUE(SameFieldProps(&table, &table));
    EXPECT_FALSE(SameFieldProps(&table, nullptr));
    EXPECT_TRUE(SameFieldProps(&table, &view));
    EXPECT_TRUE(SameFieldProps(&view, &table));
    EXPECT_TRUE(SameFieldProps(&view, &other)); // both from PATIENTS.NOM
    EXPECT_FALSE(SameFieldProps(&bare, &table));
    TFieldProps lower = table;
    lower.FieldName = "nom"; // names compare exactly
    EXPECT_FALSE(SameFieldProps(&lower, &table));
}

TEST(MetadataLoad, TablesFieldsAndLinksFromTheKernelDatabase)
{
    SampleKernel s;
    s.access.SetLanguage(krnLangFRA);
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
    const TDBAccess& a = s.access;

    // Looked up without regard to case; the stray NOTHERE row and the lower-case "visits" row
    // disturb nothing.
    const TTableProps* patients = a.FindTableProps("patients");
    ASSERT_TRUE(patients);
    EXPECT_EQ(patients->TableName, "PATIENTS");
    EXPECT_EQ(patients->KeyFields, "PATIENTS_ID");
    EXPECT_TRUE(patients->TraceLog);
    EXPECT_FALSE(patients->System);
    EXPECT_EQ(patients->Fields.Names(), QStringList({"PATIENTS_ID", "NOM", "SEXE", "MEDECINS_ID"}));
    EXPECT_EQ(patients->Custom.Values("color"), "blue");
    const TTableProps* visits = a.FindTableProps("VISITS");
    ASSERT_TRUE(visits);
    EXPECT_EQ(visits->Fields.Names(),
              QStringList({"VISITS_ID", "PATIENTS_ID", "MEDECINS_ID", "MONTANT"}));
    const TFieldProps* amount = visits->FieldPropsByName("montant");
    EXPECT_EQ(amount->TableName, "VISITS");
    EXPECT_EQ(amount->Owner, visits);
    EXPECT_EQ(amount->DataType, dtMoney);
    EXPECT_EQ(amount->Size, 20);
    EXPECT_EQ(amount->Precision, 4);
    EXPECT_EQ(amount->MetaType, "money");
    EXPECT_FALSE(amount->Required);
    EXPECT_FALSE(patients->FieldPropsByName("MEDECINS_ID")->Visible);
    EXPECT_TRUE(a.FindTableProps("MEDECINS")->System);
    EXPECT_EQ(a.FindTableProps("NOTHERE"), nullptr);
    EXPECT_EQ(kernelErrorOf([&] { a.GetTableProps("NOTHERE"); }),
              "Properties for table 'NOTHERE' not found.");
    EXPECT_EQ(kernelErrorOf([&] { patients->FieldPropsByName("AGE"); }),
              "Table 'PATIENTS': properties for field 'AGE' not found.");
    EXPECT_EQ(patients->FindFieldProps("AGE"), nullptr);

    // Links, numbered in reading order, attached to both ends.
    EXPECT_EQ(namesOf(patients->ChildLinks), QStringList({"PATIENTS>VISITS#1"}));
    EXPECT_EQ(namesOf(patients->ParentLinks), QStringList({"MEDECINS>PATIENTS#3"}));
    EXPECT_EQ(namesOf(a.FindTableProps("MEDECINS")->ChildLinks),
              QStringList({"MEDECINS>VISITS#2", "MEDECINS>PATIENTS#3"}));
    EXPECT_EQ(namesOf(visits->ParentLinks),
              QStringList({"PATIENTS>VISITS#1", "MEDECINS>VISITS#2"}));
    const TLinkInfo* toVisits = patients->ChildLinks.first();
    EXPECT_FALSE(toVisits->Optional); // VISITS.PATIENTS_ID is required
    EXPECT_TRUE(toVisits->AttachedToParent);
    EXPECT_EQ(toVisits->DeleteAction, daCascade);
    EXPECT_TRUE(visits->ParentLinks.at(1)->Optional);
    EXPECT_EQ(visits->ParentLinks.at(1)->DeleteAction, daNone); // "c"
    EXPECT_TRUE(patients->ParentLinks.first()->Optional);
    EXPECT_EQ(patients->ParentLinks.first()->DeleteAction, daSetNull);

    // The view takes its base table's links, with its own key.
    const TTableProps* view = a.FindTableProps("V_PATIENTS");
    ASSERT_TRUE(view);
    EXPECT_EQ(view->BaseTable, "PATIENTS");
    ASSERT_EQ(view->ChildLinks.size(), 1);
    const TLinkInfo* copy = view->ChildLinks.first();
    EXPECT_EQ(copy->Parent, "V_PATIENTS");
    EXPECT_EQ(copy->Child, "VISITS");
    EXPECT_EQ(copy->KeyFields, "PATIENTS_ID");
    EXPECT_EQ(copy->RefFields, "PATIENTS_ID");
    EXPECT_EQ(copy->ID, 3); // the set's count when the copy was made
    EXPECT_EQ(copy->Custom.Values("Label"), toVisits->Custom.Values("Label"));

    // Built-in descriptions follow the database's own.
    const QStringList order = [&] {
        QStringList names;
        for (int i = 0; i < a.TableProps().Count(); ++i)
            names.append(a.TableProps().At(i)->TableName);
        return names;
    }();
    EXPECT_EQ(order, QStringList({"MEDECINS", "PATIENTS", "VISITS", "V_PATIENTS", "DBROLE",
                                  "DBUSER", "USERROLE", "METATABLE", "METAFIELD"}));
    const TTableProps* userRole = a.FindTableProps("USERROLE");
    EXPECT_EQ(namesOf(userRole->ParentLinks),
              QStringList({"DBROLE>USERROLE#0", "DBUSER>USERROLE#0"}));
    EXPECT_FALSE(userRole->ParentLinks.first()->Optional);
    const TTableProps* metaTable = a.FindTableProps("METATABLE");
    EXPECT_EQ(metaTable->Fields.Names(),
              QStringList({"TABLE_NAME", "KEY_FIELDS", "CUSTOM", "TRACE_LOG"}));
    EXPECT_EQ(namesOf(metaTable->ChildLinks), QStringList({"METATABLE>METAFIELD#0"}));
    EXPECT_EQ(metaTable->ChildLinks.first()->DeleteAction, daCascade);
    expectNoFreedLinks(a);

    // Descriptions are read-only outside a load.
    auto& custom = const_cast<TCustomPropList&>(patients->Custom);
    EXPECT_EQ(kernelErrorOf([&] { custom.SetValues("Label", "x"); }),
              "Cannot modify readonly property");
    EXPECT_EQ(kernelErrorOf([&] { custom.SetText(""); }), "Cannot modify readonly property");
}

TEST(MetadataLoad, LabelsInFrenchAndRussian)
{
    SampleKernel s;
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
    const TTableProps* patients = s.access.FindTableProps("PATIENTS");
    const TTableProps* visits = s.access.FindTableProps("VISITS");
    const TTableProps* doctors = s.access.FindTableProps("MEDECINS");
    const TFieldProps* sex = patients->FieldPropsByName("SEXE");

    s.access.SetLanguage(krnLangFRA);
    EXPECT_EQ(patients->Label(), "Patients");
    EXPECT_EQ(visits->Label(), "Visites");
    EXPECT_EQ(doctors->Label(), "Médecins");
    EXPECT_EQ(patients->FieldPropsByName("PATIENTS_ID")->Label(), "Numéro");
    EXPECT_EQ(patients->FieldPropsByName("NOM")->Label(), "NOM");
    EXPECT_TRUE(sex->LookupReady);
    EXPECT_EQ(sex->LookupValue("2"), "Femme");
    EXPECT_EQ(sex->LookupValue("3"), "");
    EXPECT_EQ(patients->ChildLinks.first()->Custom.Values("Label"),
              "#fra#Visites du patient#rus#Визиты пациента");

    s.access.SetLanguage(krnLangRUS);
    EXPECT_EQ(patients->Label(), "Пациенты");
    EXPECT_EQ(visits->Label(), ""); // a label with parts, none of them Russian
    EXPECT_EQ(doctors->Label(), "Médecins");
    EXPECT_EQ(patients->FieldPropsByName("PATIENTS_ID")->Label(), "Номер");
    EXPECT_EQ(sex->LookupValue("1"), "Мужской");
    EXPECT_EQ(s.access.FindTableProps("METATABLE")->Label(), "Таблицы");
    EXPECT_EQ(s.access.FindTableProps("METATABLE")->FieldPropsByName("TRACE_LOG")->Label(),
              "Трассировка изменений");

    s.access.SetLanguage(krnLangENG);
    EXPECT_EQ(visits->Label(), "");
    EXPECT_EQ(s.access.FindTableProps("V_PATIENTS")->Label(), "V_PATIENTS");
    s.access.SetLanguage(krnLangUnknown);
}

TEST(MetadataLoad, ADatabaseThatDescribesAKernelTableKeepsItsOwnDescription)
{
    SampleKernel s;
    s.kernel.exec("insert into METATABLE values ('METATABLE', 'TABLE_NAME', 0, 'Label=Meta', 0,"
                  " null, 'T');"
                  "insert into METAFIELD values ('METATABLE', 'TABLE_NAME', 1, 1, null, 3, 64, 0,"
                  " null, null, null, 1);");
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
    const TTableProps* meta = s.access.FindTableProps("METATABLE");
    EXPECT_EQ(meta->Label(), "Meta");
    EXPECT_FALSE(meta->System);
    EXPECT_EQ(meta->Fields.Names(), QStringList({"TABLE_NAME"}));
    EXPECT_EQ(meta->FieldPropsByName("TABLE_NAME")->Size, 64);
    int count = 0;
    for (int i = 0; i < s.access.TableProps().Count(); ++i)
        count += s.access.TableProps().At(i)->TableName == "METATABLE";
    EXPECT_EQ(count, 1);
}

TEST(MetadataLoad, AReferencingFieldWithoutDescriptionStopsTheLoad)
{
    SampleKernel s;
    s.kernel.exec("insert into TABLELINK values ('PATIENTS', 'MEDECINS', 'PATIENTS_ID', 'PAT_ID',"
                  " null, null)");
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, "Table 'MEDECINS': properties for field 'PAT_ID' not found.",
                          mtError);
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::Failed);
    EXPECT_FALSE(s.db.isConnected());
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

TEST(MetadataReload, OneTableWhateverTheCaseOfItsName)
{
    SampleKernel s;
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
    MetaCache cache;
    cache.bound = s.access.FindTableProps("PATIENTS");
    s.access.RegisterOpenCache(&cache);
    CountingServices services;
    SetKernelCacheServices(&services);
    const auto restore = qScopeGuard([] { SetKernelCacheServices(nullptr); });

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

TEST(MetadataReload, ATableNoLongerDescribedIsDroppedWithItsLinks)
{
    SampleKernel s;
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
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
}
