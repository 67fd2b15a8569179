// The component translator on a form holding one component of each kind it knows: which texts it
// looks up under which names, what it collects, and the fonts and captions of language 2.
#include <translation/langrus.h>
#include <translation/lc.h>

#include <support/qt_printers.h>
#include <support/translator_scope.h>
#include <support/workspace.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

class TKindsForm : public TForm
{
    Q_OBJECT

public:
    TKindsForm()
    {
        setCaption("Formulaire");
        makeMenuItem("Item1", "&Fichier");
        makeComponent<QMenu>("Menu2", "TMenuItem", this)->setTitle("&Edition");
        auto* speed = makeComponent<QToolButton>("Speed1", "TSpeedButton");
        speed->setText("Aller");
        speed->setToolTip("Va");
        makeComponent<QPushButton>("Bit1", "TBitBtn")->setText("&Annuler");
        makeComponent<QPushButton>("Button1", "TButton"); // no caption, no hint
        Label1 = makeComponent<QLabel>("Label1", "TLabel");
        makeComponent<QLabel>("_Hidden", "TLabel")->setText("Caché");
        makeComponent<QLabel>("Bang1", "TLabel")->setText("!Bang");
        makeComponent<QGroupBox>("Group1", "TGroupBox")->setTitle("Groupe");
        makeComponent<QCheckBox>("Check1", "TCheckBox")->setText("Coché");
        makeComponent<QCheckBox>("DBCheck1", "TDBCheckBox")->setText("Lié");
        makeComponent<QRadioButton>("Radio1", "TRadioButton")->setText("Radio");
        makeComponent<QLabel>("Image1", "TImage")->setToolTip("Image");
        RGroup1 = makeComponent<QGroupBox>("RGroup1", "TRadioGroup");
        RGroup1->setTitle("Choix");
        new QRadioButton("Un", RGroup1);
        new QRadioButton("Deux", RGroup1);
        makeComponent<QFrame>("Panel1", "TPanel");
        makeComponent<QPlainTextEdit>("AllLabels", "TMemo")->setPlainText("a\nb");
        Memo2 = makeComponent<QPlainTextEdit>("Memo2", "TMemo");
        Memo2->setPlainText("garde");
        makeComponent<TLC>("LC1", "TLC", this)->Consts = {"1=Un", "17=<Aucun>"};
        auto* grid = makeComponent<QTableView>("Grid1", "TDBGrid");
        auto* model = new QStandardItemModel(0, 2, grid);
        model->setHorizontalHeaderLabels({"Nom", "Prénom"});
        grid->setModel(model);
        makeComponent<QLabel>("Static1", "TStaticText")->setText("Statique");
        auto* tabs = makeComponent<QTabBar>("Tabs1", "TTabControl");
        tabs->addTab("T0");
        tabs->addTab("T1");
        makeComponent<QTabBar>("TabSet1", "TTabSet")->addTab("S0");
        Pages1 = makeComponent<QTabWidget>("Pages1", "TPageControl");
        Pages1->addTab(new QWidget, "P0");
        Pages1->addTab(new QWidget, "P1");
        makeComponent<QTabWidget>("Book1", "TTabbedNotebook");
        makeComponent<QFileDialog>("Open1", "TOpenDialog", this)->setWindowTitle("Ouvrir");
        auto* list = makeComponent<QTreeWidget>("List1", "TListView");
        list->setHeaderLabels({"Source", "Date"});
        makeComponent<QTableWidget>("Strings1", "TStringGrid");
        makeComponent<QTimer>("Timer1", "TTimer");
    }

    QLabel* Label1;
    QGroupBox* RGroup1;
    QPlainTextEdit* Memo2;
    QTabWidget* Pages1;
};

namespace {

// Every text the kinds form shows, as collected: name "=" default, in component order.
QStringList kindsTexts()
{
    return QString::fromUtf8(testData("translation/kinds.txt")).split("\n", Qt::SkipEmptyParts);
}

class Translator : public ::testing::Test
{
protected:
    const TranslatorScope translator;

    // The texts collected from a form translated again in collecting mode: each text's name and
    // the design text it is translated from.
    static QStringList collected(TForm& form)
    {
        CollectingTexts = 1;
        TranslateForm(&form, CurrentLanguage);
        CollectingTexts = 0;
        QStringList texts;
        for (const TCollectedText& t : CollectedTexts())
            texts.append(t.Name + "=" + t.Default);
        return texts;
    }
};

TEST_F(Translator, EveryTextOfEveryKindIsLookedUpAndSetUnderItsName)
{
    // Each text once, with its default.
    EXPECT_EQ(collected(*std::unique_ptr<TKindsForm>(CreateForm<TKindsForm>())), kindsTexts());
    for (const QString& text : kindsTexts()) {
        // Numbered lines keep their number, so that they are found again under it.
        const QString name = text.section('=', 0, 0);
        AddTranslation("TKindsForm", name,
                       (name.startsWith("LC1.") ? name.mid(4) + "=" : QString()) + "<" + name +
                           ">");
    }
    // Texts the translator leaves alone, whatever the dictionary says.
    for (const char* name : {"Button1", "Button1_HINT", "_Hidden", "Memo2_i0", "Timer1"})
        AddTranslation("TKindsForm", name, "wrong");
    AddTranslation("TKindsForm", "Bang1", "!Bing");

    const std::unique_ptr<TKindsForm> form(CreateForm<TKindsForm>());
    // Translated again, every text is looked up once more from its design text.
    EXPECT_EQ(collected(*form), kindsTexts());
    // What each accessor wrote shows where a user sees it.
    EXPECT_EQ(form->Caption(), "<>");
    EXPECT_EQ(form->Label1->text(), "<Label1>");
    EXPECT_EQ(form->RGroup1->findChildren<QRadioButton*>().at(1)->text(), "<RGroup1_i1>");
    EXPECT_EQ(form->Memo2->toPlainText(), "garde");
    EXPECT_EQ(static_cast<QLabel*>(form->findComponent("Bang1"))->text(), "!Bing");
    EXPECT_EQ(static_cast<QLabel*>(form->findComponent("_Hidden"))->text(), "Caché");
    EXPECT_EQ(static_cast<TLC*>(form->findComponent("LC1"))->Consts,
              QStringList({"1=<LC1.1>", "17=<LC1.17>"}));
}

// Translating a form again (after the editor saved or closed) starts from its design texts, and
// leaves alone the texts the program wrote into it since (a user's name, a title of its own).
TEST_F(Translator, TranslatingAgainStartsFromTheDesignTextsAndKeepsWhatTheProgramWrote)
{
    AddTranslation("TKindsForm", "", "Fenêtre");
    AddTranslation("TKindsForm", "Label1", "Utilisateur");
    AddTranslation("TKindsForm", "Check1", "Cochée");
    AddTranslation("TKindsForm", "Radio1", "Bouton radio");
    AddTranslation("TKindsForm", "LC1.17", "17=<Personne>");
    const std::unique_ptr<TKindsForm> form(CreateForm<TKindsForm>());
    auto* check = static_cast<QCheckBox*>(form->findComponent("Check1"));
    auto* radio = static_cast<QRadioButton*>(form->findComponent("Radio1"));
    auto* lc = static_cast<TLC*>(form->findComponent("LC1"));
    ASSERT_EQ(check->text(), "Cochée");
    ASSERT_EQ(lc->Consts.at(1), "17=<Personne>");
    // What the program writes at run time.
    form->Label1->setText("Dupont");
    form->setCaption("Formulaire - Dupont");
    // The statement file changes: one text changed, two gone.
    ClearTranslations();
    AddTranslation("TKindsForm", "", "Fenêtre");
    AddTranslation("TKindsForm", "Label1", "Utilisateur");
    AddTranslation("TKindsForm", "Check1", "Cochée !");
    TranslateForm(form.get(), CurrentLanguage); // as TranslateAllForms does to each window
    EXPECT_EQ(form->Label1->text(), "Dupont");
    EXPECT_EQ(form->Caption(), "Formulaire - Dupont");
    EXPECT_EQ(check->text(), "Cochée !");
    EXPECT_EQ(radio->text(), "Radio");
    EXPECT_EQ(lc->Consts, QStringList({"1=Un", "17=<Aucun>"}));
    // Read again, the texts are the design texts.
    const QStringList texts = collected(*form);
    EXPECT_TRUE(texts.contains("Check1=Coché"));
    EXPECT_TRUE(texts.contains("LC1.17=17=<Aucun>"));
}

TEST_F(Translator, RussianCaptionsAndFontsComeWithLanguageTwoOnly)
{
    struct Case
    {
        TInternationalLang language;
        bool dictionary;
        const char* cancel;
        const char* face;
    };
    const Case cases[] = {{1, false, "&Annuler", "ms sans SERIF"},
                          {3, false, "&Annuler", "ms sans SERIF"},
                          {2, false, "Отмена", "Arial"},
                          {2, true, "Abbrechen", "Arial"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.language));
        CurrentLanguage = c.language;
        ExtTranslateProc = c.language == 2 ? &TranslateCaptionRUS : nullptr;
        ClearTranslations();
        if (c.dictionary)
            AddTranslation("TKindsForm", "Bit1", "Abbrechen");
        auto form = std::make_unique<TKindsForm>();
        QFont font = form->Memo2->font();
        font.setFamily("ms sans SERIF");
        form->Memo2->setFont(font);
        form->create();
        EXPECT_EQ(static_cast<QPushButton*>(form->findComponent("Bit1"))->text(), c.cancel);
        EXPECT_EQ(form->Memo2->font().family(), c.face);
    }

    // Without a language nothing is translated, whatever language a call asks for.
    CurrentLanguage = 0;
    auto form = std::make_unique<TKindsForm>();
    form->create();
    TranslateForm(form.get(), 2);
    EXPECT_EQ(static_cast<QPushButton*>(form->findComponent("Bit1"))->text(), "&Annuler");
    EXPECT_EQ(form->Caption(), "Formulaire");
}

} // namespace

#include "translator_test.moc"
