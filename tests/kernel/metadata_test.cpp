// Kernel metadata texts: multi-language labels, Custom lists and value lists, join texts of a
// link and view fields compared by their origin.
#include "kernel_helpers.h"

#include <support/qt_printers.h>

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
    EXPECT_EQ(f.LookupValue("h"), "");
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
    EXPECT_EQ(link.JoinWhereText("P", "V", joReversed), " V.R1 = P.K1 AND V.R2 = P.K2 ");
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
