// The port test window: what is typed goes to the chosen slot's port in the program's code page.
// (The serial-line options dialog is used by the source configuration tests.)
#include <analysers/comdrv.h>
#include <app/testform.h>
#include <platform/serial/serialline_fake.h>

#include <support/workspace.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
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

} // namespace

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
