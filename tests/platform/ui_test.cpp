// The Qt dialog service: its message and input boxes driven as a user would, and its file
// filters.
#include <platform/dialogs.h>

#include <support/qt_printers.h>

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

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
    EXPECT_EQ(Dialogs().messageDlg("Fermer ?", mtConfirmation, mbYes | mbNo | mbCancel), mrNo);
    EXPECT_EQ(caption, "Confirm");
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttonCount, 3);

    // Escape answers Cancel when there is one, else No; Enter the default, OK or else Yes.
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(Dialogs().messageDlg("?", mtWarning, mbYes | mbNo | mbCancel), mrCancel);
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(Dialogs().messageDlg("?", mtWarning, mbYes | mbNo), mrNo);
    onNextModalDialog([](QWidget* box) { pressKey(box, Qt::Key_Return); });
    EXPECT_EQ(Dialogs().messageDlg("?", mtWarning, mbNo | mbYes), mrYes);

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
    EXPECT_EQ(Dialogs().messageDlg("Remplacer ?", mtError, mbAll | mbNoToAll, "Copie"), mrAll);
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
        EXPECT_EQ(Dialogs().inputQuery("Patient", "Nom :", value), confirm);
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
