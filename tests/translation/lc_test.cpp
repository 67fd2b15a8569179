// The numbered-texts component: reading and formatting numbered lines, and the hooks on its
// owner's creation and painting, observed through a fake translator and the owner's handlers.
#include <translation/lc.h>

#include <platform/exception.h>

#include <support/qt_printers.h>

#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList g_log;

void recordTranslation(QObject* owner, TInternationalLang language)
{
    g_log.append(QStringLiteral("translate %1 %2")
                     .arg(QString::fromLatin1(owner->metaObject()->className()))
                     .arg(int(language)));
}

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
        OnCreate = [this](QObject* sender) { FormCreate(sender); };
        if (setup.ownPaint)
            OnPaint = [](QObject*) { g_log.append(QStringLiteral("FormPaint")); };
        OnResize = [](QObject*) { g_log.append(QStringLiteral("FormResize")); };
        OnDestroy = [](QObject*) { g_log.append(QStringLiteral("FormDestroy")); };
        for (int i = 1; i <= setup.componentCount; ++i) {
            TLC* lc =
                makeComponent<TLC>(QByteArray("LC" + QByteArray::number(i)).constData(), "TLC");
            lc->Consts = {QStringLiteral("1=Fermer")};
            lc->PredCreate = setup.predCreate;
            lc->Translate = setup.translate;
            if (setup.beforeTranslate)
                lc->BeforeTranslate = [](QObject*) { g_log.append(QStringLiteral("Before")); };
            if (setup.globalTranslate)
                lc->GlobalTranslate = [](QObject*) { g_log.append(QStringLiteral("Global")); };
        }
        LC1 = static_cast<TLC*>(findComponent(QStringLiteral("LC1")));
    }

    TLC* LC1 = nullptr;

private:
    void FormCreate(QObject* sender)
    {
        EXPECT_EQ(sender, this);
        g_log.append(QStringLiteral("FormCreate"));
    }
};

class TLcTestModule : public TDataModule
{
    Q_OBJECT

public:
    explicit TLcTestModule(bool predCreate = false)
    {
        OnCreate = [](QObject*) { g_log.append(QStringLiteral("DataModuleCreate")); };
        OnDestroy = [](QObject*) { g_log.append(QStringLiteral("DataModuleDestroy")); };
        LC1 = makeComponent<TLC>("LC1", "TLC");
        LC1->PredCreate = predCreate;
    }

    TLC* LC1 = nullptr;
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
        TranslateFormProc = &recordTranslation;
        g_log.clear();
    }

    static std::unique_ptr<TLcTestForm> createForm(const LcSetup& setup = {})
    {
        auto form = std::make_unique<TLcTestForm>(setup);
        form->create();
        return form;
    }
};

TEST_F(NumberedTexts, LinesAreFoundByTheirNumber)
{
    TLC lc;
    // Neither "12a" nor 2^32 + 12 is read as 12.
    lc.Consts = {QStringLiteral("5=a"),      QStringLiteral("5=b"),
                 QStringLiteral("12a=y"),    QStringLiteral("4294967308=z"),
                 QStringLiteral(" 1 2 = x"), QStringLiteral("abc"),
                 QStringLiteral("7="),       QStringLiteral("3=a=b"),
                 QStringLiteral("-1=minus"), QStringLiteral("17=<Aucun>")};

    EXPECT_EQ(lc.GetConst(5), QStringLiteral("a")); // the first of two lines wins
    EXPECT_EQ(lc.GetConst(12), QStringLiteral(" x"));
    EXPECT_EQ(lc.GetConst(-1), QStringLiteral("y")); // the first line without a number
    EXPECT_EQ(lc.GetConst(7), QString());
    EXPECT_EQ(lc.GetConst(8), QString());
    EXPECT_EQ(lc.GetConst(3), QStringLiteral("a=b"));
    EXPECT_EQ(lc.GetConst(17), QStringLiteral("<Aucun>"));
    EXPECT_EQ(lc.GetConst(0), QString());

    QString text;
    EXPECT_EQ(TLC::ParseConstLine(QStringLiteral(" 4 2 "), text), 42); // no "=": all text
    EXPECT_EQ(text, QStringLiteral(" 4 2 "));
    EXPECT_EQ(TLC::ParseConstLine(QStringLiteral("  = z "), text), -1);
    EXPECT_EQ(text, QStringLiteral(" z "));
    EXPECT_EQ(TLC::ParseConstLine(QStringLiteral("+8=p"), text), 8);

    // A line that is not an integer is found under -1 before a line numbered -1.
    TLC minus;
    minus.Consts = {QStringLiteral("x=first"), QStringLiteral("-1=second")};
    EXPECT_EQ(minus.GetConst(-1), QStringLiteral("first"));
}

TEST_F(NumberedTexts, FormattedTextsPassThroughOnGetConst)
{
    TLC lc;
    lc.Consts = {
        QStringLiteral(
            "9=Fermer %S ?%SAttention ! Les services de %S ne seront plus opérationnels !"),
        QStringLiteral("4=%d fichiers")};
    const VariantList closing{QStringLiteral("Quorvane"), QStringLiteral("\n"),
                              QStringLiteral("Quorvane")};
    const QString expected = QStringLiteral(
        "Fermer Quorvane ?\nAttention ! Les services de Quorvane ne seront plus opérationnels !");
    EXPECT_EQ(lc.GetConstFmt(9, closing), expected);
    EXPECT_EQ(lc.GetConstFmt(4, {3}), QStringLiteral("3 fichiers"));
    EXPECT_EQ(lc.GetConstFmt(50, {3}), QString()); // absent: the empty text formatted

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
    EXPECT_EQ(lc.GetConstFmt(4, {3}), QStringLiteral("3 файла"));
    EXPECT_EQ(lc.GetConstFmt(50, {}), QString());
    EXPECT_EQ(calls,
              QStringList({QStringLiteral("2 4 1 [3 fichiers]"), QStringLiteral("2 50 0 []")}));

    // Placeholders that the arguments do not fill: the formatting error, and no event.
    calls.clear();
    EXPECT_THROW(lc.GetConstFmt(4, {}), EConvertError);
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(NumberedTexts, FormIsTranslatedBeforeOrAfterItsOwnCreation)
{
    CurrentLanguage = 1;

    // Stored as every form of the program stores it: its own handler after the translation.
    auto after = createForm();
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestForm 1"),
                                  QStringLiteral("FormCreate")}));
    // The hook served once: the form's own handler is back in place.
    g_log.clear();
    after->OnCreate(after.get());
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormCreate")}));

    g_log.clear();
    auto before = createForm({.predCreate = true});
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormCreate"),
                                  QStringLiteral("translate TLcTestForm 1")}));
    g_log.clear();
    before->OnCreate(before.get());
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormCreate")}));

    // Translate False: no translation, the form's creation all the same.
    g_log.clear();
    createForm({.translate = false});
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormCreate")}));

    // Two components: each wraps the hook of the one before it, each translates, and the
    // form's own handler runs once, last.
    g_log.clear();
    createForm({.componentCount = 2});
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestForm 1"),
                                  QStringLiteral("translate TLcTestForm 1"),
                                  QStringLiteral("FormCreate")}));

    // A data module: OnCreate only.
    g_log.clear();
    {
        TLcTestModule module;
        module.create();
    }
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestModule 1"),
                                  QStringLiteral("DataModuleCreate")}));
}

TEST_F(NumberedTexts, NothingIsTranslatedInTheFormsOwnLanguage)
{
    // Language 0: the form's creation runs once and nothing is translated.
    auto form = createForm({.beforeTranslate = true, .globalTranslate = true});
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormCreate")}));
    EXPECT_TRUE(form->LC1->BeforeTranslate); // kept: no translation took place
    EXPECT_TRUE(form->LC1->GlobalTranslate);

    // Forcing translates even in the form's own language.
    g_log.clear();
    ForceTranslate = 1;
    createForm();
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestForm 0"),
                                  QStringLiteral("FormCreate")}));

    // No translator installed yet: creation goes on untouched.
    g_log.clear();
    ForceTranslate = 0;
    CurrentLanguage = 3;
    TranslateFormProc = nullptr;
    createForm();
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormCreate")}));
}

TEST_F(NumberedTexts, TranslationEventsFireOnlyWhileCollectingTexts)
{
    CurrentLanguage = 1;
    // Outside text collection the events are dropped without firing.
    auto form = createForm({.beforeTranslate = true, .globalTranslate = true});
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestForm 1"),
                                  QStringLiteral("FormCreate")}));
    EXPECT_FALSE(form->LC1->BeforeTranslate);
    EXPECT_FALSE(form->LC1->GlobalTranslate);

    CollectingTexts = 1;
    g_log.clear();
    createForm({.beforeTranslate = true, .globalTranslate = true});
    EXPECT_EQ(g_log,
              QStringList({QStringLiteral("Global"), QStringLiteral("translate TLcTestForm 1")}));
    g_log.clear();
    createForm({.beforeTranslate = true});
    EXPECT_EQ(g_log,
              QStringList({QStringLiteral("Before"), QStringLiteral("translate TLcTestForm 1")}));
}

TEST_F(NumberedTexts, CollectingTextsLeavesAThrowAwayInstanceIdle)
{
    CurrentLanguage = 1;
    CollectingTexts = 1;

    auto form = createForm();
    // The form's own creation is skipped and its resize and destroy handlers are cleared.
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestForm 1")}));
    EXPECT_FALSE(form->OnResize);
    EXPECT_FALSE(form->OnDestroy);
    TLcTestForm* raw = form.release();
    g_log.clear();
    raw->Free();
    EXPECT_TRUE(g_log.isEmpty());

    // With PredCreate the form's own creation still runs, before the translation.
    g_log.clear();
    auto pred = createForm({.predCreate = true});
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormCreate"),
                                  QStringLiteral("translate TLcTestForm 1")}));
    EXPECT_FALSE(pred->OnResize);
    EXPECT_FALSE(pred->OnDestroy);

    // A data module loses its OnDestroy too.
    g_log.clear();
    auto* module = new TLcTestModule;
    module->create();
    EXPECT_FALSE(module->OnDestroy);
    module->Free();
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestModule 1")}));
}

TEST_F(NumberedTexts, PaintHookTranslatesOnlyWhileAllFormsAreTranslated)
{
    CurrentLanguage = 1;
    auto form = createForm({.translate = false, .beforeTranslate = true});
    g_log.clear();

    // Translating every form: the paint hook translates (Translate is not consulted there)
    // and holds the form's own paint handler back.
    TranslatingAllForms = 1;
    form->OnPaint(form.get());
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestForm 1")}));
    EXPECT_FALSE(form->LC1->BeforeTranslate);

    // The first ordinary paint hands the event back to the form's own handler...
    g_log.clear();
    TranslatingAllForms = 0;
    form->OnPaint(form.get());
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormPaint")}));
    // ...so later translations of every form no longer pass through the paint hook.
    g_log.clear();
    TranslatingAllForms = 1;
    form->OnPaint(form.get());
    EXPECT_EQ(g_log, QStringList({QStringLiteral("FormPaint")}));

    // A form without a paint handler of its own keeps the hook, idle outside such a pass; the
    // hook is what Qt's paint events reach.
    TranslatingAllForms = 0;
    auto plain = createForm({.ownPaint = false});
    plain->OnResize = nullptr;
    g_log.clear();
    plain->grab();
    EXPECT_TRUE(g_log.isEmpty());
    TranslatingAllForms = 1;
    plain->grab();
    EXPECT_EQ(g_log, QStringList({QStringLiteral("translate TLcTestForm 1")}));

    // In the form's own language the pass does not translate it.
    CurrentLanguage = 0;
    g_log.clear();
    plain->OnPaint(plain.get());
    EXPECT_TRUE(g_log.isEmpty());
}

TEST_F(NumberedTexts, ComponentWithoutAFormOwnerInstallsNoHook)
{
    CurrentLanguage = 1;
    QObject plainOwner;
    auto* lc = new TLC(&plainOwner);
    lc->Consts = {QStringLiteral("2=deux")};
    EXPECT_EQ(lc->GetConst(2), QStringLiteral("deux"));
    EXPECT_EQ(lc->parent(), &plainOwner);

    TLC orphan;
    orphan.Consts = {QStringLiteral("2=deux")};
    EXPECT_EQ(orphan.GetConstFmt(2, {}), QStringLiteral("deux"));
    EXPECT_TRUE(g_log.isEmpty());
}

#include "lc_test.moc"
