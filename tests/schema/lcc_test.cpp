// The kernel texts module: its eight families as listed, the kernel's variables and grid texts it
// fills (translated first when a statement file translates it), and its registration with the
// custom data editor for the translation editor, which creates both without their creation
// handlers.
#include <kernel/kerneltexts.h>
#include <platform/codepage.h>
#include <platform/ui/forms.h>
#include <schema/customedit.h>
#include <schema/lcc.h>
#include <schema/schematools.h>
#include <translation/lc.h>

#include <support/translator_scope.h>
#include <support/workspace.h>

#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

// The kernel's texts as they were before the module filled them.
void forgetKernelTexts()
{
    for (int i = 0; i < KernelMessageCount; ++i)
        SetKernelMessageVariable(TKrnMsg(i), QString());
    for (int n = 1; n <= GridTextCount; ++n)
        SetGridText(n, GridTextDefaults().at(n - 1));
}

QString text(const TLC* lc, int number)
{
    return lc->GetConst(number);
}

} // namespace

TEST(KernelTextsModule, EightFamiliesHoldTheTextsAsListed)
{
    TLCC module;
    const struct
    {
        const TLC* lc;
        const char* name;
        int count;
    } families[] = {{module.LC1, "LC1", 4},          {module.db_list, "db_list", 52},
                    {module.db_edit, "db_edit", 20}, {module.sys_msg, "sys_msg", 27},
                    {module.db_sql, "db_sql", 5},    {module.month, "month", 12},
                    {module.day, "day", 7},          {module.grid_const, "grid_const", 36}};
    for (const auto& f : families) {
        EXPECT_EQ(f.lc->objectName(), f.name);
        EXPECT_EQ(f.lc->property("componentClass").toString(), "TLC");
        EXPECT_EQ(f.lc->Consts.size(), f.count) << f.name;
        EXPECT_FALSE(f.lc->PredCreate);
        EXPECT_TRUE(f.lc->Translate);
    }
    EXPECT_EQ(module.LC1->Consts.first(), "1=&Utilisateurs");
    EXPECT_EQ(text(module.db_list, 18), "Rafraîchir");
    EXPECT_EQ(text(module.db_list, 35), "Search fields");
    EXPECT_EQ(text(module.db_list, 38), "Начинается");
    EXPECT_EQ(text(module.db_list, 52), "Список");
    EXPECT_EQ(text(module.db_edit, 7), "%s [voir l'enregistrement]");
    EXPECT_EQ(text(module.db_edit, 17), "Показывать заголовок");
    EXPECT_EQ(text(module.sys_msg, 3), "%s ''%s'' existe déjà.");
    EXPECT_EQ(text(module.sys_msg, 4), "Impossible d'attribuer l'identifiant à la table  %s.");
    EXPECT_EQ(text(module.sys_msg, 12),
              "Impossible de modifer l'enregistrement car il est ouvert par le module %s.");
    EXPECT_EQ(text(module.sys_msg, 17), "%s doit être compris entre entre %d et %d.");
    EXPECT_EQ(text(module.sys_msg, 25), "montant");
    EXPECT_EQ(text(module.sys_msg, 26), "Сохранение данных...");
    EXPECT_EQ(text(module.db_sql, 4), "Modèles de requête");
    EXPECT_EQ(text(module.month, 2), "Février");
    EXPECT_EQ(text(module.month, 8), "Août");
    EXPECT_EQ(text(module.day, 1), "DI");
    EXPECT_EQ(text(module.day, 7), "SA");
    EXPECT_EQ(text(module.grid_const, 2), "&Не учитывать регистр");
    EXPECT_EQ(text(module.grid_const, 25), "<Не определено>");
    EXPECT_EQ(text(module.grid_const, 36), "Заполнено");
}

TEST(KernelTextsModule, CreatingItFillsTheTwentySixVariablesAndTheGridTexts)
{
    const auto reset = qScopeGuard(forgetKernelTexts);
    TLCC* module = CreateForm<TLCC>();
    const auto free = qScopeGuard([module] { module->Free(); });
    // Each variable from its own text: sys_msg 1 to 23, 26 and 27, then db_sql 3.
    const QList<int> sysMsg{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                            14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 26, 27};
    ASSERT_EQ(KernelMessageCount, 26);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(KernelMessageVariable(TKrnMsg(i)), text(module->sys_msg, sysMsg.at(i))) << i;
    EXPECT_EQ(KernelMessageVariable(TKrnMsg::EmptySetContinue),
              "L'ensemble est vide, continuer quand même ?");
    EXPECT_EQ(KernelMessageVariable(TKrnMsg::FieldFormat),
              "Le format de la champ '%s' est incorrect.");
    EXPECT_EQ(KernelMessageVariable(TKrnMsg::Saving), "Сохранение данных...");
    EXPECT_EQ(GridText(1), "Искать");
    EXPECT_EQ(GridText(29), "Не больше");
    EXPECT_EQ(GridText(36), "Заполнено");
}

TEST(KernelTextsModule, TranslatedForTheProgramsLanguageBeforeTheVariablesAreFilled)
{
    TestWorkspace ws(2);
    const TranslatorScope translator(ws.path("QUORVANE.LAN"), 2);
    const auto reset = qScopeGuard(forgetKernelTexts);
    writeFileBytes(TranslationFileName,
                   codepage::toAnsi(QStringLiteral(
                       "begin\r\n"
                       "if (F='TLCC')AND(N='sys_msg.Consts[15]') then Result:='16=Поле ''%s'': "
                       "неверный формат.';\r\n"
                       "if (F='TLCC')AND(N='grid_const.Consts[0]') then Result:='1=Найти';\r\n"
                       "end; {TRANSLATE}\r\n")));
    ASSERT_TRUE(LoadTranslations());
    TLCC* module = CreateForm<TLCC>();
    const auto free = qScopeGuard([module] { module->Free(); });
    EXPECT_EQ(KernelMessageVariable(TKrnMsg::FieldFormat), "Поле '%s': неверный формат.");
    EXPECT_EQ(KernelMessage(TKrnMsg::FieldFormat), "Поле '%s': неверный формат.");
    EXPECT_EQ(KernelMessageVariable(TKrnMsg::Search), "Recherche [%s]"); // not translated
    EXPECT_EQ(GridText(1), "Найти");
    EXPECT_EQ(GridText(2), "&Не учитывать регистр");
}

TEST(KernelTextsModule, CollectedForTheTranslationEditorWithoutTheirCreationHandlers)
{
    const TranslatorScope translator({}, 1);
    const QList<TFormClass> saved = std::exchange(
        TranslatableForms(), {{QStringLiteral("TfCustomEdit"), &TfCustomEdit::staticMetaObject,
                               [] { return static_cast<QObject*>(new TfCustomEdit()); }},
                              {QStringLiteral("TLCC"), &TLCC::staticMetaObject,
                               [] { return static_cast<QObject*>(new TLCC()); }}});
    const auto restore = qScopeGuard([&saved] { TranslatableForms() = saved; });
    const auto reset = qScopeGuard(forgetKernelTexts);
    const QList<TCollectedText> module = CollectFormTexts(TranslatableForms().at(1));
    int numbered = 0;
    for (const TCollectedText& t : module)
        numbered += t.ComponentClass == QLatin1String("TLC") ? 1 : 0;
    EXPECT_EQ(numbered, 4 + 52 + 20 + 27 + 5 + 12 + 7 + 36);
    // LCCCreate did not run: the variables and the grid are as they were.
    EXPECT_TRUE(KernelMessageVariable(TKrnMsg::FieldFormat).isEmpty());
    EXPECT_EQ(GridText(1), "Recherche");

    // The editor's FormCreate, which builds its grid columns, did not run either.
    const QList<TCollectedText> editor = CollectFormTexts(TranslatableForms().at(0));
    QStringList editorNames;
    for (const TCollectedText& t : editor)
        editorNames << t.Name;
    EXPECT_TRUE(editorNames.contains("bOK"));
    EXPECT_TRUE(editorNames.contains("cbStatHidden"));
    EXPECT_TRUE(editorNames.filter("Columns.Items").isEmpty())
        << editorNames.join(", ").toStdString();
}

TEST(KernelTextsModule, TheSchemaToolsRegisterBothClassesOnce)
{
    const QList<TFormClass> saved = std::exchange(TranslatableForms(), {});
    const auto restore = qScopeGuard([&saved] { TranslatableForms() = saved; });
    // The first call of the process registers; test order decides which call that is, so the
    // classes are counted in the list the whole run has built.
    TranslatableForms() = saved;
    RegisterSchemaTools();
    RegisterSchemaTools();
    int customEdit = 0, module = 0;
    for (const TFormClass& c : TranslatableForms()) {
        customEdit += c.ClassName == QLatin1String("TfCustomEdit") ? 1 : 0;
        module += c.ClassName == QLatin1String("TLCC") && c.MetaObject == &TLCC::staticMetaObject;
    }
    EXPECT_EQ(customEdit, 1);
    EXPECT_EQ(module, 1);
}
