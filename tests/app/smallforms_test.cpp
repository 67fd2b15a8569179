// The serial-line options dialog, the text and picture windows and the port test window, with
// the dialogs answered by script.
#include <analysers/comdrv.h>
#include <app/comoptionsdlg.h>
#include <app/imageform.h>
#include <app/memoform.h>
#include <app/testform.h>
#include <platform/testing/serialline_fake.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
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

QStringList itemTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
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

TEST(COMOptionsDlg, ShowsTheStoredValuesAndReturnsTheChosenOnesOnlyOnOk)
{
    ScopedScriptedDialogs dialogs;
    ComSettings settings;
    QStringList shown;
    const auto choose = [&](int result) {
        dialogs.answerModal("TCOMOptionsDlg", [&, result](TForm& form) {
            auto& dlg = static_cast<TCOMOptionsDlg&>(form);
            shown = {dlg.Caption(),
                     dlg.cbBaudRate->currentText(),
                     dlg.cbDataBits->currentText(),
                     dlg.cbHandshaking->currentText(),
                     dlg.cbParity->currentText(),
                     dlg.cbStopBits->currentText(),
                     dlg.chbEnableDTROnOpen->isChecked() ? "DTR" : "no DTR"};
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
    EXPECT_EQ(shown, QStringList({"Paramètres du Port Série", "9600", "8 bits", "RTS", "Inpair",
                                  "2 bits", "DTR"}));

    EXPECT_TRUE(choose(mrOk));
    EXPECT_EQ(settings, (ComSettings{9, 5, 4, 4, 1, false}));
}

TEST(COMOptionsDlg, ValuesThatNameNoItemSurviveOk)
{
    ScopedScriptedDialogs dialogs;
    ComSettings settings;
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
    EXPECT_EQ(settings.baud, 12);
    EXPECT_EQ(settings.dataBits, 3);
    EXPECT_EQ(settings.parity, -1);
    EXPECT_EQ(settings.stopBits, 0);
    EXPECT_EQ(settings.handshaking, 2);
}

TEST(COMOptionsDlg, EnterConfirmsAndEscapeCancelsFromTheLists)
{
    ScopedScriptedDialogs dialogs;
    dialogs.answerModal("TCOMOptionsDlg", [](TForm& form) {
        auto& dlg = static_cast<TCOMOptionsDlg&>(form);
        dlg.cbDataBits->setCurrentIndex(3);
        press(dlg.cbParity, Qt::Key_Return);
        return form.ModalResult();
    });
    ComSettings settings;
    EXPECT_TRUE(settings.edit());
    EXPECT_EQ(settings.dataBits, 7);

    dialogs.answerModal("TCOMOptionsDlg", [](TForm& form) {
        auto& dlg = static_cast<TCOMOptionsDlg&>(form);
        dlg.cbDataBits->setCurrentIndex(0);
        press(dlg.cbBaudRate, Qt::Key_Escape);
        return form.ModalResult();
    });
    EXPECT_FALSE(settings.edit());
    EXPECT_EQ(settings.dataBits, 7);
}

TEST(MemoForm, MenusAndShortcuts)
{
    TMemoForm* form = CreateForm<TMemoForm>();
    const auto freeForm = qScopeGuard([form] { form->Free(); });
    EXPECT_EQ(form->Caption(), "Visualisation du document");
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(itemTexts(form->MainMenu1->actions()), QStringList({"&Edition", "&Fermer"}));
    ASSERT_NE(form->Edition1->menu(), nullptr);
    const QList<QAction*> edit = form->Edition1->menu()->actions();
    EXPECT_EQ(itemTexts(edit),
              QStringList({"Couper", "Copier", "Coller", "-", "Tout sélectionner"}));
    QStringList keys;
    for (const QAction* action : edit)
        keys << action->shortcut().toString(QKeySequence::PortableText);
    EXPECT_EQ(keys, QStringList({"Ctrl+X", "Ctrl+C", "Ctrl+V", "", "Ctrl+A"}));
}

TEST(MemoForm, ShownTextIsReadOnlyButCanBeCopied)
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
}

TEST(Viewers, FermerClosesTheModalWindow)
{
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
    TMemoForm* memo = CreateForm<TMemoForm>();
    EXPECT_EQ(memo->ShowModal(), mrCancel);
    memo->Free();
    TImageForm* image = CreateForm<TImageForm>();
    EXPECT_EQ(image->Caption(), "Visualisation de l'image");
    EXPECT_EQ(itemTexts(image->MainMenu1->actions()), QStringList({"&Fermer"}));
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
