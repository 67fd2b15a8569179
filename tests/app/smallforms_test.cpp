// The serial-line options dialog, the text and picture windows and the port test window, with
// the dialogs answered by script.
#include <analysers/comdrv.h>
#include <app/comoptionsdlg.h>
#include <app/imageform.h>
#include <app/memoform.h>
#include <app/testform.h>
#include <platform/serial/serialline_fake.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <gtest/gtest.h>

namespace {

struct ComSettings
{
    int baud = 6; // 9600
    int dataBits = 8;
    int handshaking = 2; // RTS
    int parity = 1;      // odd
    int stopBits = 2;    // two
    bool dtr = true;

    bool edit() { return EditCOMOptions(baud, dataBits, handshaking, parity, stopBits, dtr); }
    bool operator==(const ComSettings&) const = default;
};

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

TEST(COMOptionsDlg, ShowsTheStoredValuesReturnsTheChosenOnesOnOkAndKeepsThoseNamingNoItem)
{
    ScopedScriptedDialogs dialogs;
    ComSettings settings;
    QStringList shown;
    const auto choose = [&](int result) {
        dialogs.answerModal("TCOMOptionsDlg", [&, result](TForm& form) {
            auto& dlg = static_cast<TCOMOptionsDlg&>(form);
            shown = {dlg.cbBaudRate->currentText(),
                     dlg.cbDataBits->currentText(),
                     dlg.cbHandshaking->currentText(),
                     dlg.cbParity->currentText(),
                     dlg.cbStopBits->currentText(),
                     dlg.chbEnableDTROnOpen->isChecked() ? "DTR" : "-"};
            dlg.cbBaudRate->setCurrentText("38400");
            dlg.cbDataBits->setCurrentText("5 bits");
            dlg.cbHandshaking->setCurrentText("DTRDSR");
            dlg.cbParity->setCurrentText("Espace");
            dlg.cbStopBits->setCurrentText("1.5 bits");
            dlg.chbEnableDTROnOpen->setChecked(false);
            return result;
        });
        return settings.edit();
    };
    EXPECT_FALSE(choose(mrCancel));
    EXPECT_EQ(settings, ComSettings{});
    EXPECT_EQ(shown, QStringList({"9600", "8 bits", "RTS", "Inpair", "2 bits", "DTR"}));
    EXPECT_TRUE(choose(mrOk));
    EXPECT_EQ(settings, (ComSettings{9, 5, 4, 4, 1, false}));

    // Stored values that name no item: none is selected, and OK keeps them.
    settings = ComSettings{};
    settings.baud = 12;    // 115200 in the port's own numbering: not offered here
    settings.dataBits = 3; // below the first item
    settings.parity = -1;
    QList<int> selections;
    dialogs.answerModal("TCOMOptionsDlg", [&](TForm& form) {
        auto& dlg = static_cast<TCOMOptionsDlg&>(form);
        selections << dlg.cbBaudRate->currentIndex() << dlg.cbDataBits->currentIndex()
                   << dlg.cbParity->currentIndex();
        dlg.cbStopBits->setCurrentIndex(0);
        return int(mrOk);
    });
    EXPECT_TRUE(settings.edit());
    EXPECT_EQ(selections, QList<int>({-1, -1, -1}));
    EXPECT_EQ(settings, (ComSettings{12, 3, 2, -1, 0, true}));
}

TEST(COMOptionsDlg, EnterConfirmsAndEscapeCancelsFromTheLists)
{
    ScopedScriptedDialogs dialogs;
    const auto pressIn = [&](int index, int key) {
        dialogs.answerModal("TCOMOptionsDlg", [index, key](TForm& form) {
            auto& dlg = static_cast<TCOMOptionsDlg&>(form);
            dlg.cbDataBits->setCurrentIndex(index);
            press(key == Qt::Key_Return ? dlg.cbParity : dlg.cbBaudRate, key);
            return form.ModalResult();
        });
    };
    ComSettings settings;
    pressIn(3, Qt::Key_Return);
    EXPECT_TRUE(settings.edit());
    EXPECT_EQ(settings.dataBits, 7);
    pressIn(0, Qt::Key_Escape);
    EXPECT_FALSE(settings.edit());
    EXPECT_EQ(settings.dataBits, 7);
}

TEST(Viewers, ShownTextIsReadOnlyButCanBeCopiedAndFermerClosesTheModalWindow)
{
    TMemoForm* form = CreateForm<TMemoForm>();
    const auto freeForm = qScopeGuard([form] { form->Free(); });
    form->Text->setPlainText("ligne 1\nligne 2");
    form->show();
    EXPECT_TRUE(form->Text->isReadOnly());
    QApplication::clipboard()->setText("pasted");
    form->Coller1->trigger();
    form->Toutslectionner1->trigger();
    form->Couper1->trigger();
    EXPECT_EQ(form->Text->toPlainText(), "ligne 1\nligne 2");
    EXPECT_EQ(QApplication::clipboard()->text(), "pasted");
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
