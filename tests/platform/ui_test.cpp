// The dialog service: the scripted service's failures and the per-test wrapper, and the Qt
// service's message and input boxes and choosers driven as a user would, in the program's
// languages.
#include <platform/dialogs.h>
#include <platform/testing/dialogs_scripted.h>
#include <platform/ui/application.h>
#include <platform/ui/forms.h>
#include <platform/uitexts.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

// Collects the scripted service's failures for the length of a test instead of failing it.
class FailureCollector
{
public:
    FailureCollector() : m_saved(ScriptedDialogs::failureHook)
    {
        ScriptedDialogs::failureHook = [this](const QString& failure) { failures.append(failure); };
    }
    ~FailureCollector() { ScriptedDialogs::failureHook = m_saved; }
    FailureCollector(const FailureCollector&) = delete;
    FailureCollector& operator=(const FailureCollector&) = delete;

    QStringList failures;

private:
    std::function<void(const QString&)> m_saved;
};

// Acts on the next modal window once it is shown (its Show event is the sign); one the action
// leaves open is closed, so that a test cannot hang.
void onNextModalDialog(std::function<void(QWidget*)> act)
{
    struct Watcher : QObject
    {
        std::function<void(QWidget*)> act;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* window = qobject_cast<QWidget*>(watched);
            if (event->type() != QEvent::Show || !window || !window->isWindow() ||
                !window->isModal())
                return false;
            qApp->removeEventFilter(this);
            const auto acting = [act = act, dialog = QPointer<QWidget>(window)] {
                act(dialog);
                if (dialog && dialog->isVisible()) {
                    ADD_FAILURE() << "the dialog stayed open";
                    dialog->close();
                }
            };
            QMetaObject::invokeMethod(qApp, acting, Qt::QueuedConnection);
            deleteLater();
            return false;
        }
    };
    auto* watcher = new Watcher;
    watcher->act = std::move(act);
    qApp->installEventFilter(watcher);
}

// The texts of a window's push buttons, sorted; and the button with a text.
QStringList buttonTexts(const QWidget* window)
{
    QStringList texts;
    for (const QPushButton* button : window->findChildren<QPushButton*>())
        texts << button->text();
    texts.sort();
    return texts;
}

QPushButton* buttonWithText(const QWidget* window, const QString& text)
{
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

void pressKey(QWidget* widget, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST(ScriptedDialogs, DialogsTheScriptDidNotForeseeAreReported)
{
    FailureCollector collector;
    ScriptedDialogs dialogs;

    // Nothing scripted.
    EXPECT_EQ(dialogs.messageDlg("Continuer ?", mtWarning, mbYes | mbNo), mrCancel);
    dialogs.showException("Erreur inattendue");
    ASSERT_EQ(collector.failures.size(), 2);
    EXPECT_TRUE(collector.failures.at(1).contains("Erreur inattendue"));

    // An entry whose expectations the dialog does not meet is spent on it.
    dialogs.answerMessage(mrOk, "Supprimer")
        .answerMessage(mrOk, {}, mtError)
        .answerMessage(mrOk, {}, {}, TMsgDlgButtons(mbOK))
        .answerMessage(mrYes); // no such button on the box below
    for (const TMsgDlgButtons buttons :
         {TMsgDlgButtons(mbOK), TMsgDlgButtons(mbOK), mbOK | mbCancel, mbOK | mbCancel})
        EXPECT_EQ(dialogs.messageDlg("Envoyer ?", mtConfirmation, buttons), mrCancel);
    EXPECT_EQ(collector.failures.size(), 6);
    EXPECT_TRUE(dialogs.remaining().isEmpty());

    // A modal form of another class, and a form that refuses to close.
    setDialogService(&dialogs);
    std::unique_ptr<TForm> form(CreateForm<TForm>());
    form->OnCloseQuery = [](QObject*, bool& canClose) { canClose = false; };
    dialogs.answerModal("TOtherForm", [](TForm&) { return int(mrOk); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    dialogs.clear();
    dialogs.answerModal("TForm", [](TForm&) { return int(mrOk); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(collector.failures.size(), 8);
    EXPECT_TRUE(collector.failures.at(7).contains("refused"));
    EXPECT_FALSE(form->isShownModal());
    setDialogService(nullptr);

    // The per-test service fails its test on entries left unused, and puts the Qt service back.
    EXPECT_NONFATAL_FAILURE(
        {
            ScopedScriptedDialogs scoped;
            scoped.answerMessage(mrYes, "Quitter");
        },
        "Quitter");
    EXPECT_EQ(dynamic_cast<ScriptedDialogs*>(&dialogService()), nullptr);
}

TEST(QtDialogs, BoxesShowTheirKindAndGiveTheAnswer)
{
    QString caption;
    QStringList buttons;
    onNextModalDialog([&](QWidget* box) {
        caption = box->windowTitle();
        buttons = buttonTexts(box);
        buttonWithText(box, "&No")->click();
    });
    EXPECT_EQ(dialogService().messageDlg("Fermer ?", mtConfirmation, mbYes | mbNo | mbCancel),
              mrNo);
    EXPECT_EQ(caption, "Confirm");
    EXPECT_EQ(buttons, (QStringList{"&No", "&Yes", "Cancel"}));

    // Escape answers Cancel when there is one, else No; Enter the default, OK or else Yes; the
    // window's close box as Escape does.
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogService().messageDlg("?", mtWarning, mbYes | mbNo | mbCancel), mrCancel);
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogService().messageDlg("?", mtWarning, mbYes | mbNo), mrNo);
    onNextModalDialog([](QWidget* box) { pressKey(box->focusWidget(), Qt::Key_Return); });
    EXPECT_EQ(dialogService().messageDlg("?", mtWarning, mbNo | mbYes), mrYes);
    onNextModalDialog([](QWidget* box) { box->close(); });
    EXPECT_EQ(dialogService().messageDlg("?", mtWarning, mbOK), mrOk);

    // The button without a standard counterpart, and a caption of the caller's.
    onNextModalDialog([&](QWidget* box) {
        caption = box->windowTitle();
        buttonWithText(box, "&All")->click();
    });
    EXPECT_EQ(dialogService().messageDlg("Remplacer ?", mtError, mbAll | mbNoToAll, "Copie"),
              mrAll);
    EXPECT_EQ(caption, "Copie");

    // The input box offers the value and replaces it only when confirmed.
    QString value = "Dupont";
    for (const bool confirm : {false, true}) {
        onNextModalDialog([confirm](QWidget* widget) {
            auto* input = qobject_cast<QInputDialog*>(widget);
            ASSERT_NE(input, nullptr);
            EXPECT_EQ(input->textValue(), "Dupont");
            input->setTextValue("Martin");
            confirm ? input->accept() : input->reject();
        });
        EXPECT_EQ(dialogService().inputQuery("Patient", "Nom :", value), confirm);
        EXPECT_EQ(value, confirm ? "Martin" : "Dupont");
    }
}

// What Qt and the platform add to the boxes and choosers speaks the program's language: French
// under language 1, Russian under 2; the choosers' own titles and the kinds of their files too.
TEST(QtDialogs, TextsFollowTheProgramsLanguage)
{
    const struct
    {
        int language;
        QStringList box;     // caption, then buttons
        QStringList chooser; // buttons
        QStringList files;   // an untitled chooser's title; a folder's kind in its list
    } cases[] = {
        {1, {"Confirmation", "&Non", "&Oui"}, {"&Choisir", "Annuler"}, {"Ouvrir", "Dossier"}},
        {2, {"Подтверждение", "&Да", "&Нет"}, {"&Выбрать", "Отмена"}, {"Открыть", "Папка"}}};
    const QTemporaryDir folder;
    const QString examens = folder.filePath("Examens");
    QDir().mkpath(examens);
    const auto english = qScopeGuard([] {
        setUiTextLanguage(0);
        installQtTranslations(0);
    });
    for (const auto& c : cases) {
        setUiTextLanguage(c.language);
        ASSERT_TRUE(installQtTranslations(c.language)) << "package qt6-translations-l10n";
        QStringList shown;
        onNextModalDialog([&](QWidget* box) {
            shown = QStringList{box->windowTitle()} + buttonTexts(box);
            box->close();
        });
        dialogService().messageDlg("Supprimer ce document?", mtConfirmation, mbYes | mbNo);
        EXPECT_EQ(shown, c.box);
        onNextModalDialog([&](QWidget* chooser) {
            shown = buttonTexts(chooser);
            chooser->close();
        });
        dialogService().getExistingDirectory("Dossier", QDir::tempPath());
        EXPECT_EQ(shown, c.chooser);
        onNextModalDialog([&](QWidget* chooser) {
            shown = QStringList{chooser->windowTitle()};
            if (auto* model = chooser->findChild<QFileSystemModel*>()) {
                shown << model->index(examens, 2).data().toString();
            }
            chooser->close();
        });
        dialogService().getOpenFileName({}, folder.path(), {});
        EXPECT_EQ(shown, c.files);
    }
}

// The program's texts end their lines with LF CR: each line end is one break. A text taller than
// the screen scrolls in a box whose button stays on the screen, and a window kept on top (the
// splash) steps aside while the box is open.
TEST(QtDialogs, BoxesShowEveryLineOnceAndStayOnTheScreen)
{
    for (const auto& [text, shown] : {std::pair{"a\n\rb", "a\nb"},
                                      {"a\r\nb", "a\nb"},
                                      {"a\n\r\n\rb", "a\n\nb"},
                                      {"a\n\nb\r", "a\n\nb\n"},
                                      {"\r\n\n\r", "\n\n"}})
        EXPECT_EQ(normalizedLineEnds(text), shown) << text;

    QWidget splash(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint);
    splash.show();
    QStringList lines;
    for (int i = 1; i <= 120; ++i)
        lines << QString("Ligne %1").arg(i);
    bool splashHidden = false;
    bool scrolls = false;
    QString text;
    QRect ok;
    onNextModalDialog([&](QWidget* box) {
        splashHidden = !splash.isVisible();
        text = box->findChild<QLabel*>("text")->text();
        scrolls = box->findChild<QScrollArea*>()->verticalScrollBar()->isVisible();
        QPushButton* button = buttonWithText(box, "OK");
        ok = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
        button->click();
    });
    dialogService().messageDlg(lines.join("\n\r"), mtInformation, mbOK);
    EXPECT_EQ(text, lines.join('\n'));
    EXPECT_TRUE(scrolls);
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(ok));
    EXPECT_TRUE(splashHidden);
    EXPECT_TRUE(splash.isVisible()) << "the splash comes back";
}

TEST(QtDialogs, FileFiltersBecomeQtFilters)
{
    EXPECT_EQ(qtFileFilter("WINRAR|WINRAR95.EXE"), "WINRAR (WINRAR95.EXE)");
    EXPECT_EQ(qtFileFilter("Textes|*.txt;*.log|Tous|*.*"), "Textes (*.txt *.log);;Tous (*)");
    EXPECT_EQ(qtFileFilter("Textes (*.txt)"), "Textes (*.txt)");
    EXPECT_EQ(qtFileFilter("Vide||Images|*.png|Seul"), "Images (*.png)");
    EXPECT_EQ(qtFileFilter(QString()), QString());
}
