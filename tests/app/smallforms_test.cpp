// The text and picture windows, the port test window, and the notification-area icon: when it is
// shown, what it shows, and the events its clicks raise. (The serial-line options dialog is used
// by the source configuration tests.)
#include <analysers/comdrv.h>
#include <app/imageform.h>
#include <app/memoform.h>
#include <app/taskbaricon.h>
#include <app/testform.h>
#include <platform/serial/serialline_fake.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

void press(QWidget* target, int key, const QString& text = {})
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &event);
}

// A port slot: a port driver over a scripted line, opened as an active source's port would be.
struct Slot
{
    FakeSerialLine* line = nullptr;
    std::unique_ptr<TCommPortDriver> port;

    explicit Slot(TComPortNumber number)
    {
        auto fake = std::make_unique<FakeSerialLine>();
        line = fake.get();
        port = std::make_unique<TCommPortDriver>(std::move(fake));
        port->SetComPort(number);
        EXPECT_TRUE(port->Connect());
    }
};

// The icon on a desktop that has a notification area, or not, as the test says.
class AreaIcon : public TTaskBarIcon
{
public:
    explicit AreaIcon(QObject* owner = nullptr, bool available = true)
        : TTaskBarIcon(owner), areaAvailable(available)
    {
    }
    bool areaAvailable;

protected:
    bool notificationAreaAvailable() const override { return areaAvailable; }
};

QIcon redIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

QSystemTrayIcon* shownIcon(const TTaskBarIcon& icon)
{
    const QList<QSystemTrayIcon*> all = icon.findChildren<QSystemTrayIcon*>();
    return all.size() == 1 ? all.first() : nullptr;
}

} // namespace

TEST(Viewers, ShownTextIsReadOnlyButCanBeCopiedAndFermerClosesTheModalWindow)
{
    TMemoForm* form = CreateForm<TMemoForm>();
    const auto freeForm = qScopeGuard([form] { form->Free(); });
    form->Text->setPlainText("ligne 1\nligne 2");
    form->show();
    QApplication::clipboard()->setText("pasted");
    form->Coller1->trigger();
    form->Toutslectionner1->trigger();
    form->Couper1->trigger();
    EXPECT_EQ(form->Text->toPlainText(), "ligne 1\nligne 2") << "read-only";
    form->Copier1->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "ligne 1\nligne 2");

    ScopedScriptedDialogs dialogs;
    dialogs
        .answerModal("TMemoForm",
                     [](TForm& form) {
                         static_cast<TMemoForm&>(form).Quitter1->trigger();
                         return form.ModalResult();
                     })
        .answerModal("TImageForm", [](TForm& form) {
            static_cast<TImageForm&>(form).Quitter1->trigger();
            return form.ModalResult();
        });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    TImageForm* image = CreateForm<TImageForm>();
    EXPECT_EQ(image->ShowModal(), mrCancel);
    image->Free();
}

TEST(TestForm, TypedCharactersGoToTheSelectedSlotsPort)
{
    TestWorkspace ws; // French: code page 1252
    Slot slot1(pnCOM1), slot2(pnCOM2);
    TTestForm::PortResolver = [&](int slot) -> TCommPortDriver* {
        return slot == 1 ? slot1.port.get() : slot == 2 ? slot2.port.get() : nullptr;
    };
    const auto unregister = qScopeGuard([] { TTestForm::PortResolver = nullptr; });

    TTestForm* form = CreateForm<TTestForm>();
    const auto freeForm = qScopeGuard([form] { form->Free(); });
    form->ComboBox1->setCurrentIndex(3);
    form->show();
    EXPECT_EQ(form->ComboBox1->currentText(), "COM1");

    form->ComboBox1->setCurrentText("COM2");
    press(form->Memo1, Qt::Key_A, "A");
    EXPECT_EQ(slot2.line->written(), QByteArray("\x41"));
    EXPECT_TRUE(slot1.line->written().isEmpty());
    EXPECT_EQ(form->Memo1->toPlainText(), "A");

    form->ComboBox1->setCurrentIndex(0);
    press(form->Memo1, 0, QString::fromUtf8("é"));
    press(form->Memo1, 0, QString::fromUtf8("€")); // 0x80 in 1252, not in Latin-1
    press(form->Memo1, 0, QString::fromUtf8("Ж")); // not in 1252
    press(form->Memo1, Qt::Key_Return, "\r");
    press(form->Memo1, Qt::Key_Left);
    press(form->Memo1, Qt::Key_Shift);
    EXPECT_EQ(slot1.line->written(), QByteArray("\xE9\x80?\r"));
    EXPECT_EQ(slot2.line->written(), QByteArray("\x41"));

    // COM3 has no port, and without a resolver no slot has one: the memo still shows the keys.
    form->Memo1->clear();
    form->ComboBox1->setCurrentText("COM3");
    press(form->Memo1, Qt::Key_B, "B");
    TTestForm::PortResolver = nullptr;
    form->ComboBox1->setCurrentText("COM1");
    press(form->Memo1, Qt::Key_C, "C");
    EXPECT_EQ(form->Memo1->toPlainText(), "BC");
    EXPECT_EQ(slot1.line->written(), QByteArray("\xE9\x80?\r"));
}

TEST(TaskBarIcon, ShownWithAnIconWhereTheDesktopHasAnAreaItsTipCutAt63)
{
    AreaIcon icon(nullptr, false);
    icon.SetVisible(true); // no picture yet
    EXPECT_FALSE(icon.Visible());
    icon.SetIcon(redIcon());
    icon.SetVisible(true); // no notification area
    EXPECT_FALSE(icon.Visible());
    icon.SetTip(QString(60, 'a') + "bcdefghijk");
    EXPECT_EQ(icon.Tip(), QString(60, 'a') + "bcd");
    // A character outside the basic plane straddling the limit is dropped whole.
    icon.SetTip(QString(62, 'x') + QString::fromUtf8("\xF0\x9F\x98\x80") + "z");
    EXPECT_EQ(icon.Tip(), QString(62, 'x'));
    icon.SetTip("QUORVANE"); // set while hidden: appears when shown
    icon.areaAvailable = true;
    icon.SetVisible(true);
    QSystemTrayIcon* shown = shownIcon(icon);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(icon.Visible() && shown->isVisible());
    EXPECT_EQ(shown->toolTip(), "QUORVANE");
    icon.SetTip("QUORVANE - 2 documents"); // set while shown: appears at once
    EXPECT_EQ(shown->toolTip(), "QUORVANE - 2 documents");

    // A press on the icon raises OnDown with the button and the cursor's position (the main
    // window's tests use it); without a handler it is skipped.
    emit shown->activated(QSystemTrayIcon::Trigger);
    QString pressed;
    icon.OnDown = [&pressed](QObject*, TMouseButton button, TShiftState, int x, int y) {
        pressed = QStringLiteral("%1 %2,%3").arg(button).arg(x).arg(y);
    };
    QCursor::setPos(120, 45);
    emit shown->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(pressed, QStringLiteral("%1 120,45").arg(mbRight));
    icon.SetVisible(false);
    EXPECT_FALSE(icon.Visible() || shown->isVisible());
}
