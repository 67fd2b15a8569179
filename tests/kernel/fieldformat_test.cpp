// Field presentation: typed dates and times, and the formats and text handlers a cache's fields
// get from their kernel types.
#include "kernel_helpers.h"

#include <kernel/dbcache.h>
#include <kernel/fieldformat.h>
#include <kernel/kerneltexts.h>
#include <platform/regional.h>

#include <support/workspace.h>

#include <QScopeGuard>

#include <gtest/gtest.h>

using namespace krntest;

TEST(FieldPresentation, TypedDates)
{
    const struct
    {
        int language;
        const char* typed;
        const char* written;
    } cases[] = {
        {1, "1/2/05", "01/02/2005"},
        {1, "1/2/1905", "01/02/1905"},
        {1, "1/2/45", "01/02/1945"},
        {1, "29/02/00", "29/02/2000"},
        {1, "  /  /  ", ""},
        {1, "31/02/05", "31/02/05"},
        {1, "01/01/1900 7:5", "01/01/1900 07:05"},
        // Hours above 24 and minutes above 60 count as 0.
        {1, "1/2/19 25:70", "01/02/2019"},
        {2, "1.2.05", "01.02.2005"},
        {2, "1/2/05", "1/2/05"},
    };
    for (const auto& k : cases) {
        TestWorkspace ws(k.language);
        EXPECT_EQ(NormalizeDateText(k.typed), k.written) << k.typed;
    }
}

TEST(FieldPresentation, CacheFieldsByKernelType)
{
    TestWorkspace ws(1);
    Practice p;
    p.kernel.execScript("fiches.sql");
    p.access.LoadMetaData();
    p.access.SetLanguage(krnLangFRA);
    auto r = p.request();
    TDBCache c;
    c.Options = coAutoFormats;
    c.SetRequest(r.get());
    c.LoadRange("FICHES", "FICHES_ID", {1}, {3});
    auto shown = [&c](const char* field) {
        QStringList texts;
        for (c.first(); !c.eof(); c.next())
            texts.append(c.FieldByName(field)->displayText());
        return texts;
    };
    EXPECT_EQ(shown("MONTANT"), QStringList({"1 234,50", "", "-1 234,50"}));
    EXPECT_EQ(shown("TAUX"), QStringList({"12,50", "", ""}));
    EXPECT_EQ(shown("NE_LE"), QStringList({"01/02/2005", "", ""}));
    EXPECT_EQ(shown("HEURE"), QStringList({"07:05", "", ""}));
    EXPECT_EQ(shown("ACTIF"), QStringList({"Oui", "Non", "Non"}));
    EXPECT_EQ(shown("SEXE"), QStringList({"Femme", "Homme", ""}));
    EXPECT_EQ(c.FieldByName("SEXE")->displayWidth(), 6);     // 1 + "Femme"
    EXPECT_EQ(c.FieldByName("LIBELLE")->displayWidth(), 10); // (45 - 15) / 3

    c.first();
    c.edit();
    c.FieldByName("HEURE")->setText("8:3");
    EXPECT_EQ(c.FieldByName("HEURE")->asDateTime(),
              EncodeDate(1900, 1, 1) + EncodeTime(8, 3, 0, 0));
    EXPECT_EQ(c.FieldByName("HEURE")->displayText(), "08:03");
    c.FieldByName("NE_LE")->setText("1/2/45");
    EXPECT_EQ(c.FieldByName("NE_LE")->asDateTime(), EncodeDate(1945, 2, 1));
    c.FieldByName("TAUX")->setText("150");
    EXPECT_EQ(c.FieldByName("TAUX")->asFloat(), 100);
    c.FieldByName("HEURE")->setText("  /  ");
    EXPECT_TRUE(c.FieldByName("HEURE")->isNull());

    // A multi-language text edited in Russian keeps the French part.
    p.access.SetLanguage(krnLangRUS);
    Field* label = c.FieldByName("LIBELLE");
    EXPECT_EQ(label->displayText(), "Да");
    label->setText("Нет");
    EXPECT_EQ(label->asString(), "#fra#Oui#rus#Нет");
    c.post();
    EXPECT_EQ(shown("SEXE"), QStringList({"Женщина", "Мужчина", ""}));
    p.access.SetLanguage(krnLangUnknown);
}

// A typed exchange rate is kept just above the written value (a 1 after six decimals), so that
// rounding it to six decimals never falls below what was typed; a whole number is kept as typed.
TEST(FieldPresentation, TypedExchangeRateIsStoredJustAboveTheWrittenValue)
{
    TestWorkspace ws(1);
    Practice p;
    p.kernel.exec("insert into METATABLE values ('CHANGES', 'CHANGES_ID', 0, null, 0, null, 'T');"
                  "insert into METAFIELD values"
                  " ('CHANGES', 'CHANGES_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),"
                  " ('CHANGES', 'COURS', 0, 1, null, 13, 0, 0, null, null, null, 2);"
                  "create table CHANGES (CHANGES_ID integer, COURS real);"
                  "insert into CHANGES values (1, 1.5);");
    p.access.LoadMetaData();
    auto r = p.request();
    TDBCache c;
    c.Options = coAutoFormats;
    c.SetRequest(r.get());
    c.LoadKey("CHANGES", "CHANGES_ID", {1});
    ASSERT_EQ(c.recordCount(), 1);
    c.edit();
    Field* rate = c.FieldByName("COURS");
    const struct
    {
        const char* typed;
        double stored;
    } cases[] = {
        {"2,5", 2.5000001},
        {"1,234567", 1.2345671},
        {"0,12345678", 0.123456781},
        {"-0,5", -0.5000001},
        {"3", 3},
        {"", 0},
    };
    for (const auto& k : cases) {
        rate->setText(k.typed);
        EXPECT_DOUBLE_EQ(rate->asFloat(), k.stored) << k.typed;
        EXPECT_FALSE(rate->isNull()) << k.typed;
    }
    c.cancel();
}

// A text a rate, an exchange rate or a date cannot take is refused with the kernel's field-value
// format message, the module's own text while the kernel texts module has not filled it (the
// variable alone would give an empty message), its variable once filled.
TEST(FieldPresentation, ATextTheFieldCannotTakeIsRefusedWithTheFieldFormatMessage)
{
    TestWorkspace ws(1);
    Practice p;
    p.kernel.execScript("fiches.sql");
    p.access.LoadMetaData();
    auto r = p.request();
    TDBCache c;
    c.Options = coAutoFormats;
    c.SetRequest(r.get());
    c.LoadRange("FICHES", "FICHES_ID", {1}, {1});
    c.edit();
    const auto refusal = [&c](const char* field, const char* typed) {
        try {
            c.FieldByName(field)->setText(typed);
        } catch (const EConvertError& e) {
            return e.message();
        }
        return QStringLiteral("<taken>");
    };
    EXPECT_EQ(refusal("TAUX", "douze"), "Le format de la champ 'TAUX' est incorrect.");
    EXPECT_EQ(refusal("NE_LE", "31/02/05"), "Le format de la champ 'NE_LE' est incorrect.");
    EXPECT_DOUBLE_EQ(c.FieldByName("TAUX")->asFloat(), 12.5); // the value stays
    SetKernelMessageVariable(TKrnMsg::FieldFormat, QStringLiteral("Неверный формат поля '%s'."));
    const auto reset = qScopeGuard([] { SetKernelMessageVariable(TKrnMsg::FieldFormat, {}); });
    EXPECT_EQ(refusal("TAUX", "x"), "Неверный формат поля 'TAUX'.");
}
