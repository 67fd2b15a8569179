// Multi-language labels read and composed, the metadata label dictionary and its three
// translators (directly and through the loading of descriptions), and the kernel's texts before
// the kernel texts module fills them.
#include "kernel_helpers.h"

#include <kernel/kerneltexts.h>
#include <kernel/schemaapi.h>

#include <support/workspace.h>

#include <QScopeGuard>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

TCustomPropList custom(const QString& text)
{
    return TCustomPropList(text);
}

// Installs a dictionary for the test and takes it away after.
struct DictionaryScope
{
    DictionaryScope()
    {
        SetMetaDictionary(std::make_unique<TMetaDictionary>());
        d = MetaDictionary();
    }
    ~DictionaryScope() { SetMetaDictionary(nullptr); }
    TMetaDictionary* d;
};

} // namespace

TEST(MultiLabels, ReadingOneLanguageAndComposingThree)
{
    const struct
    {
        const char* label;
        const char* key;
        const char* read;
    } reads[] = {
        {"Patient", "rus", "Patient"},
        {"#fra#Nom#rus#Imya#eng#Name", "eng", "Name"},
        {"#fra#Nom#rus##eng#Name", "rus", ""},
        {"#fra#Nom", "eng", ""},
        // A language's text ending in a key's letters is not that language's tag.
        {"#fra#Virus#rus#Вирус#eng#Virus", "rus", "Вирус"},
    };
    for (const auto& r : reads)
        EXPECT_EQ(ExtractMultiLabel(QString::fromUtf8(r.label), r.key), QString::fromUtf8(r.read))
            << r.label << " " << r.key;

    const struct
    {
        const char *fra, *rus, *eng, *label;
    } composed[] = {
        {"Nom", "", "", "Nom"},
        {"Nom", "Nom", "Nom", "Nom"},
        {"", "", "Name", "Name"},
        {"", "", "", ""},
        {"Nom", "", "Name", "#fra#Nom#rus##eng#Name"},
        {"Nom", "nom", "", "#fra#Nom#rus#nom#eng#"}, // case counts
    };
    for (const auto& c : composed)
        EXPECT_EQ(ComposeMultiLabel(c.fra, c.rus, c.eng), c.label) << c.label;
}

TEST(MetaDictionaryTranslators, ReplaceOnlyWithNonBlankTextsAndValuesWithAPosition)
{
    const TMetaModifyScope modify;
    const QString field = QStringLiteral("Label=Sexe\r\nLookupKeys=h, f ,x\r\nLookupValues=Homme,"
                                         "Femme\r\nWidth=3");
    // Without a dictionary nothing changes.
    TCustomPropList table = custom(QStringLiteral("Label=Fiches"));
    TCustomPropList list = custom(field);
    TranslateTableLabel(QStringLiteral("FICHES"), table);
    TranslateFieldLabel(QStringLiteral("FICHES"), QStringLiteral("SEXE"), list);
    TranslateFieldCustom(QStringLiteral("FICHES"), QStringLiteral("SEXE"), list);
    EXPECT_EQ(table.Text(), "Label=Fiches");
    EXPECT_EQ(list.Text(), field);

    DictionaryScope dictionary;
    TMetaDictionary& d = *dictionary.d;
    // Blanks never replace a text.
    d.Table("fiches").Label = QStringLiteral("   ");
    d.Table("FICHES").FieldLabels = {QStringLiteral("sexe=  ")};
    d.Field("FICHES", "Sexe").Label = QStringLiteral(" ");
    d.Field("FICHES", "SEXE").LookupValues = {QStringLiteral("H= ")};
    TranslateTableLabel(QStringLiteral("FICHES"), table);
    TranslateFieldLabel(QStringLiteral("FICHES"), QStringLiteral("SEXE"), list);
    TranslateFieldCustom(QStringLiteral("FICHES"), QStringLiteral("SEXE"), list);
    EXPECT_EQ(table.Text(), "Label=Fiches");
    EXPECT_EQ(list.Values("Label"), "Sexe");
    EXPECT_EQ(list.Values("LookupValues"), "Homme,Femme");

    // Names, fields and codes in any case; three codes and two values: the third code has no
    // value to translate, and its line keeps its entries.
    d.Table("FICHES").Label = QStringLiteral(" Карточки ");
    d.Table("FICHES").FieldLabels = {QStringLiteral("SEXE=Пол (таблица)")};
    d.Field("FICHES", "SEXE").Label = QStringLiteral("Пол");
    d.Field("FICHES", "SEXE").LookupValues = {
        QStringLiteral("H=Мужчина"), QStringLiteral("f=Женщина"), QStringLiteral("x=Другое")};
    TranslateTableLabel(QStringLiteral("Fiches"), table);
    EXPECT_EQ(table.Values("Label"), "Карточки");
    TranslateFieldLabel(QStringLiteral("fiches"), QStringLiteral("sexe"), list);
    EXPECT_EQ(list.Values("Label"), "Пол (таблица)");
    TranslateFieldCustom(QStringLiteral("FICHES"), QStringLiteral("Sexe"), list);
    EXPECT_EQ(list.Text(), "Label=Пол\r\nLookupKeys=h,f,x\r\nLookupValues=Мужчина,Женщина\r\n"
                           "Width=3");
    // A table or field the dictionary does not know stays as it was.
    TCustomPropList other = custom(QStringLiteral("Label=Autre"));
    TranslateFieldCustom(QStringLiteral("AUTRE"), QStringLiteral("SEXE"), other);
    TranslateTableLabel(QStringLiteral("AUTRE"), other);
    EXPECT_EQ(other.Text(), "Label=Autre");
}

TEST(MetaDictionaryTranslators, SeenThroughTheLoadingOfTheDescriptions)
{
    TestWorkspace ws(1);
    Practice p;
    p.kernel.execScript("fiches.sql");
    DictionaryScope dictionary;
    dictionary.d->Table("FICHES").Label = QStringLiteral("Fiches patients");
    dictionary.d->Field("FICHES", "SEXE").Label = QStringLiteral("#fra#Sexe#rus#Пол");
    dictionary.d->Field("FICHES", "SEXE").LookupValues = {QStringLiteral("f=#fra#Dame#rus#Дама")};
    p.access.LoadMetaData();
    const TTableProps* fiches = p.access.GetTableProps(QStringLiteral("FICHES"));
    p.access.SetLanguage(krnLangRUS);
    EXPECT_EQ(fiches->Label(), "Fiches patients");
    const TFieldProps* sexe = fiches->FieldPropsByName(QStringLiteral("SEXE"));
    EXPECT_EQ(sexe->Label(), "Пол");
    EXPECT_EQ(sexe->LookupValue("f"), "Дама");
    EXPECT_EQ(sexe->LookupValue("h"), "Мужчина");
    EXPECT_TRUE(sexe->LookupReady);
    p.access.SetLanguage(krnLangFRA);
    EXPECT_EQ(sexe->LookupValue("f"), "Dame");
}

TEST(KernelTexts, BeforeTheKernelTextsModuleTheGridIsFrenchAndMessagesReadTheirOwnTexts)
{
    for (int i = 0; i < KernelMessageCount; ++i)
        EXPECT_TRUE(KernelMessageVariable(TKrnMsg(i)).isEmpty()) << i;
    EXPECT_EQ(KernelMessage(TKrnMsg::FieldFormat), "Le format de la champ '%s' est incorrect.");
    EXPECT_EQ(KernelMessage(TKrnMsg::OutOfRange), "%s doit être compris entre entre %d et %d.");
    EXPECT_EQ(KernelMessage(TKrnMsg::CannotAssignId),
              "Impossible d'attribuer l'identifiant à la table  %s.");
    EXPECT_EQ(KernelMessage(TKrnMsg::CannotDelete),
              "Невозможно удалить запись, так как она используется в таблице '%s'.");
    EXPECT_EQ(KernelMessage(TKrnMsg::EmptySetContinue),
              "L'ensemble est vide, continuer quand même ?");
    EXPECT_EQ(GridText(1), "Recherche");
    EXPECT_EQ(GridText(3), "&Début");
    EXPECT_EQ(GridText(25), "<non défini>");
    EXPECT_EQ(GridText(36), "Non vide");
    EXPECT_EQ(GridText(0), "");
    EXPECT_EQ(GridText(37), "");
}
