// The dialog service: the scripted service's failures and the per-test wrapper, and the Qt
// service's message and input boxes driven as a user would.
#include <platform/dialogs.h>
#include <platform/testing/dialogs_scripted.h>
#include <platform/ui/forms.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
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

// Acts on the next modal dialog once it is up. The wait is bounded: a dialog that never comes
// fails the test, and one left open is closed so that the test cannot hang.
void onNextModalDialog(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer(qApp);
    auto attempts = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, attempts, act] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->deleteLater();
            timer->stop();
            act(dialog);
            if (QApplication::activeModalWidget() == dialog) {
                ADD_FAILURE() << "the dialog stayed open";
                dialog->close();
            }
        } else if (++*attempts > 2000) {
            timer->deleteLater();
            timer->stop();
            ADD_FAILURE() << "no dialog came up";
        }
    });
    timer->start(5);
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
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    onNextModalDialog([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        icon = box->icon();
        buttonCount = box->buttons().size();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogService().messageDlg("Fermer ?", mtConfirmation, mbYes | mbNo | mbCancel),
              mrNo);
    EXPECT_EQ(caption, "Confirm");
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttonCount, 3);

    // Escape answers Cancel when there is one, else No; Enter the default, OK or else Yes.
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogService().messageDlg("?", mtWarning, mbYes | mbNo | mbCancel), mrCancel);
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogService().messageDlg("?", mtWarning, mbYes | mbNo), mrNo);
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Return); });
    EXPECT_EQ(dialogService().messageDlg("?", mtWarning, mbNo | mbYes), mrYes);

    // The button without a standard counterpart, and a caption of the caller's.
    onNextModalDialog([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        icon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == "&All")
                button->click();
        }
    });
    EXPECT_EQ(dialogService().messageDlg("Remplacer ?", mtError, mbAll | mbNoToAll, "Copie"),
              mrAll);
    EXPECT_EQ(caption, "Copie");
    EXPECT_EQ(icon, QMessageBox::Critical);

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

TEST(QtDialogs, FileFiltersBecomeQtFilters)
{
    EXPECT_EQ(qtFileFilter("WINRAR|WINRAR95.EXE"), "WINRAR (WINRAR95.EXE)");
    EXPECT_EQ(qtFileFilter("Textes|*.txt;*.log|Tous|*.*"), "Textes (*.txt *.log);;Tous (*)");
    EXPECT_EQ(qtFileFilter("Textes (*.txt)"), "Textes (*.txt)");
    EXPECT_EQ(qtFileFilter("Vide||Images|*.png|Seul"), "Images (*.png)");
    EXPECT_EQ(qtFileFilter(QString()), QString());
}
