// The numbered-texts component: reading and formatting numbered lines, and the hooks on its
// owner's creation and painting, observed through a fake translator and the owner's handlers.
#include <translation/lc.h>

#include <platform/exception.h>

#include <support/qt_printers.h>

#include <gtest/gtest.h>

namespace {

QStringList g_log;

// How the component and its owner are set up before the creation step, as a form's stored
// properties would set them.
struct LcSetup
{
    bool predCreate = false;
    bool translate = true;
    bool ownPaint = true;
    bool beforeTranslate = false;
    bool globalTranslate = false;
    int componentCount = 1;
};

} // namespace

class TLcTestForm : public TForm
{
    Q_OBJECT

public:
    explicit TLcTestForm(const LcSetup& setup = {})
    {
        OnCreate = [this](QObject* sender) { g_log.append(sender == this ? "FormCreate" : "?"); };
        if (setup.ownPaint)
            OnPaint = [](QObject*) { g_log.append("FormPaint"); };
        OnResize = [](QObject*) { g_log.append("FormResize"); };
        OnDestroy = [](QObject*) { g_log.append("FormDestroy"); };
        for (int i = 1; i <= setup.componentCount; ++i) {
            TLC* lc =
                makeComponent<TLC>(QByteArray("LC" + QByteArray::number(i)).constData(), "TLC");
            lc->PredCreate = setup.predCreate;
            lc->Translate = setup.translate;
            if (setup.beforeTranslate)
                lc->BeforeTranslate = [](QObject*) { g_log.append("Before"); };
            if (setup.globalTranslate)
                lc->GlobalTranslate = [](QObject*) { g_log.append("Global"); };
        }
        LC1 = static_cast<TLC*>(findComponent(QStringLiteral("LC1")));
    }

    TLC* LC1 = nullptr;
};

class TLcTestModule : public TDataModule
{
    Q_OBJECT

public:
    TLcTestModule()
    {
        OnCreate = [](QObject*) { g_log.append("DataModuleCreate"); };
        makeComponent<TLC>("LC1", "TLC");
    }
};

class NumberedTexts : public ::testing::Test
{
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset()
    {
        CurrentLanguage = 0;
        ForceTranslate = 0;
        TranslatingAllForms = 0;
        CollectingTexts = 0;
        TranslateFormProc = [](QObject* owner, TInternationalLang language) {
            g_log.append(QStringLiteral("translate %1 %2")
                             .arg(QString::fromLatin1(owner->metaObject()->className()))
                             .arg(int(language)));
        };
        g_log.clear();
    }

    // Creates a form (kept in `keep` when given) and returns what its creation logged.
    static QStringList created(const LcSetup& setup = {},
                               std::unique_ptr<TLcTestForm>* keep = nullptr)
    {
        g_log.clear();
        auto form = std::make_unique<TLcTestForm>(setup);
        form->create();
        if (keep)
            *keep = std::move(form);
        return g_log;
    }
};

TEST_F(NumberedTexts, LinesAreFoundByTheirNumberAndFormatted)
{
    // An owner that is neither a form nor a data module gets no hook; the texts work the same.
    QObject plainOwner;
    TLC lc(&plainOwner);
    // Neither "12a" nor 2^32 + 12 is read as 12.
    lc.Consts = {"5=a", "5=b", "12a=y", "4294967308=z", " 1 2 = x",
                 "abc", "7=",  "3=a=b", "-1=minus"};
    EXPECT_EQ(lc.GetConst(5), "a"); // the first of two lines wins
    EXPECT_EQ(lc.GetConst(12), " x");
    EXPECT_EQ(lc.GetConst(-1), "y"); // the first line without a number, before "-1=minus"
    EXPECT_EQ(lc.GetConst(7), "");
    EXPECT_EQ(lc.GetConst(3), "a=b");

    QString text;
    EXPECT_EQ(TLC::ParseConstLine(" 4 2 ", text), 42); // no "=": all text
    EXPECT_EQ(text, " 4 2 ");
    EXPECT_EQ(TLC::ParseConstLine("  = z ", text), -1);
    EXPECT_EQ(text, " z ");

    // Formatted texts pass through OnGetConst.
    lc.Consts = {"9=Fermer %S ?%SLes services de %S s'arrêtent.", "4=%d fichiers"};
    EXPECT_EQ(lc.GetConstFmt(9, {"Quorvane", "\n", "Quorvane"}),
              "Fermer Quorvane ?\nLes services de Quorvane s'arrêtent.");

    CurrentLanguage = 2;
    QStringList calls;
    lc.OnGetConst = [&](QObject* sender, TInternationalLang lang, int index,
                        const VariantList& args, QString& lcString) {
        EXPECT_EQ(sender, &lc);
        calls.append(
            QStringLiteral("%1 %2 %3 [%4]").arg(lang).arg(index).arg(args.size()).arg(lcString));
        if (index == 4)
            lcString = QStringLiteral("3 файла");
    };
    EXPECT_EQ(lc.GetConstFmt(4, {3}), "3 файла");
    EXPECT_EQ(lc.GetConstFmt(50, {}), ""); // absent: the empty text formatted
    EXPECT_EQ(calls, QStringList({"2 4 1 [3 fichiers]", "2 50 0 []"}));

    // Placeholders that the arguments do not fill: the formatting error, and no event.
    calls.clear();
    EXPECT_THROW(lc.GetConstFmt(4, {}), EConvertError);
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(NumberedTexts, FormIsTranslatedBeforeOrAfterItsOwnCreation)
{
    // In the forms' own language (0) nothing is translated, and the events stay.
    std::unique_ptr<TLcTestForm> form;
    EXPECT_EQ(created({.beforeTranslate = true, .globalTranslate = true}, &form),
              QStringList({"FormCreate"}));
    EXPECT_TRUE(form->LC1->BeforeTranslate && form->LC1->GlobalTranslate);
    ForceTranslate = 1; // translates even in the form's own language
    EXPECT_EQ(created(), QStringList({"translate TLcTestForm 0", "FormCreate"}));
    ForceTranslate = 0;

    // Stored as every form of the program stores it: its own handler after the translation.
    CurrentLanguage = 1;
    EXPECT_EQ(created({}, &form), QStringList({"translate TLcTestForm 1", "FormCreate"}));
    // The hook served once: the form's own handler is back in place.
    g_log.clear();
    form->OnCreate(form.get());
    EXPECT_EQ(g_log, QStringList({"FormCreate"}));

    EXPECT_EQ(created({.predCreate = true}),
              QStringList({"FormCreate", "translate TLcTestForm 1"}));
    // Translate False: no translation, the form's creation all the same.
    EXPECT_EQ(created({.translate = false}), QStringList({"FormCreate"}));

    // Two components: each wraps the hook of the one before it, each translates, and the
    // form's own handler runs once, last.
    EXPECT_EQ(created({.componentCount = 2}),
              QStringList({"translate TLcTestForm 1", "translate TLcTestForm 1", "FormCreate"}));

    // A data module: OnCreate only.
    g_log.clear();
    TLcTestModule().create();
    EXPECT_EQ(g_log, QStringList({"translate TLcTestModule 1", "DataModuleCreate"}));

    // No translator installed yet: creation goes on untouched.
    TranslateFormProc = nullptr;
    EXPECT_EQ(created(), QStringList({"FormCreate"}));
}

TEST_F(NumberedTexts, CollectingTextsFiresTheEventsAndLeavesAThrowAwayInstanceIdle)
{
    CurrentLanguage = 1;
    // Outside text collection the translation events are dropped without firing.
    std::unique_ptr<TLcTestForm> form;
    EXPECT_EQ(created({.beforeTranslate = true, .globalTranslate = true}, &form),
              QStringList({"translate TLcTestForm 1", "FormCreate"}));
    EXPECT_FALSE(form->LC1->BeforeTranslate || form->LC1->GlobalTranslate);

    CollectingTexts = 1;
    EXPECT_EQ(created({.beforeTranslate = true, .globalTranslate = true}),
              QStringList({"Global", "translate TLcTestForm 1"}));
    EXPECT_EQ(created({.beforeTranslate = true}),
              QStringList({"Before", "translate TLcTestForm 1"}));

    // The form's own creation is skipped and its resize and destroy handlers are cleared.
    EXPECT_EQ(created({}, &form), QStringList({"translate TLcTestForm 1"}));
    EXPECT_FALSE(form->OnResize);
    g_log.clear();
    form.release()->Free();
    EXPECT_TRUE(g_log.isEmpty());

    // With PredCreate the form's own creation still runs, before the translation.
    EXPECT_EQ(created({.predCreate = true}, &form),
              QStringList({"FormCreate", "translate TLcTestForm 1"}));
    EXPECT_FALSE(form->OnDestroy);
}

TEST_F(NumberedTexts, PaintHookTranslatesOnlyWhileAllFormsAreTranslated)
{
    CurrentLanguage = 1;
    std::unique_ptr<TLcTestForm> form;
    created({.translate = false, .beforeTranslate = true}, &form);
    const auto painted = [](TLcTestForm& target) {
        g_log.clear();
        target.OnPaint(&target);
        return g_log;
    };

    // Translating every form: the paint hook translates (Translate is not consulted there)
    // and holds the form's own paint handler back.
    TranslatingAllForms = 1;
    EXPECT_EQ(painted(*form), QStringList({"translate TLcTestForm 1"}));
    EXPECT_FALSE(form->LC1->BeforeTranslate);

    // The first ordinary paint hands the event back to the form's own handler...
    TranslatingAllForms = 0;
    EXPECT_EQ(painted(*form), QStringList({"FormPaint"}));
    // ...so later translations of every form no longer pass through the paint hook.
    TranslatingAllForms = 1;
    EXPECT_EQ(painted(*form), QStringList({"FormPaint"}));

    // Without a paint handler of its own the form keeps the hook, which Qt's paint events reach.
    TranslatingAllForms = 0;
    created({.ownPaint = false}, &form);
    form->OnResize = nullptr;
    g_log.clear();
    form->grab();
    EXPECT_TRUE(g_log.isEmpty());
    TranslatingAllForms = 1;
    form->grab();
    EXPECT_EQ(g_log, QStringList({"translate TLcTestForm 1"}));
}

#include "lc_test.moc"
