// The source configuration dialog offscreen, its dialogs answered by script: every source type
// created, edited and deleted from the main window's sources list, what the dialog shows of a
// stored source, the ID Source that follows the type, every refusal of a bad entry (nothing
// written), a save that fails half-way (nothing left), and the serial options round trip.
#include "localtables_fixture.h"
#include "mainwindow_fixture.h"

#include <analysers/comdrv.h>
#include <analysers/comslots.h>
#include <analysers/workstation.h>
#include <app/appglobals.h>
#include <app/documents/workstation_app.h>
#include <app/mainwindow/mainform.h>
#include <app/sources/comoptionsdlg.h>
#include <app/sources/configform.h>
#include <app/sources/testform.h>
#include <platform/db/localtable.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <platform/testing/serialline_fake.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

void choose(QComboBox* list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

class ConfigFormTest : public ::testing::Test
{
protected:
    LocalTablesFixture f;
    ScopedScriptedDialogs dialogs;
    QString savedIni = IniFileName;
    QStringList restarts;

    ConfigFormTest()
    {
        IniFileName = f.ws.path(u"QUORVANE.INI"_s);
        TSourceRestarts& r = SourceRestarts();
        r.CheckFileSources = [this] { restarts << u"CheckFileSources"_s; };
        r.CheckBreezeSources = [this] { restarts << u"CheckBreezeSources"_s; };
        r.CheckPrinterSources = [this] { restarts << u"CheckPrinterSources"_s; };
        r.CreateSourceDriver = [this](int number, int state) {
            restarts << u"CreateSourceDriver(%1, %2)"_s.arg(number).arg(state);
        };
        r.InitClipboardSource = [this] { restarts << u"InitClipboardSource"_s; };
        TConfigForm::InstalledPrinters = [] {
            return QStringList{u"HP LaserJet on LPT1:"_s, u"Brother-HL sur USB001"_s, u"PDF"_s};
        };
    }
    ~ConfigFormTest() override
    {
        ResetSourceRestarts();
        TConfigForm::InstalledPrinters = nullptr;
        IniFileName = savedIni;
        EditedSourceNumber = 0;
    }

    // The dialog as the main window opens it, shown (which loads it) but not modally, so that a
    // test can press its buttons and look at what stays open.
    struct OpenForm
    {
        TConfigForm* form;
        explicit OpenForm(int number)
        {
            EditedSourceNumber = number;
            form = CreateForm<TConfigForm>();
            form->show();
        }
        ~OpenForm() { form->Free(); }
        TConfigForm* operator->() const { return form; }
    };

    QString sources() const
    {
        return f.cli(u"SELECT Number, Type, State, Titul, Extension, NeedId, NeedComment, "
                     "Warning, quote(DS_CODE) FROM \"cfg.db\" ORDER BY Number;"_s);
    }
    QString rows(const QString& table) const
    {
        return f.cli(u"SELECT * FROM \"%1\";"_s.arg(table));
    }
    QString typeRows() const
    {
        return rows(u"fr.db"_s) + rows(u"rcfiles.DB"_s) + rows(u"printers.db"_s) +
               rows(u"com.DB"_s);
    }
};

} // namespace

TEST_F(ConfigFormTest, EverySourceTypeIsCreatedEditedAndDeletedFromTheSourcesList)
{
    TMainForm* main = new TMainForm(); // its start-up is not run: only the lists are used
    const auto freeMain = qScopeGuard([main] { main->Free(); });
    const auto add = [&](const std::function<void(TConfigForm&)>& fill) {
        dialogs.answerModal(u"TConfigForm"_s, [fill](TForm& form) {
            auto& c = static_cast<TConfigForm&>(form);
            c.show();
            fill(c);
            c.OKBtn->click();
            return c.ModalResult();
        });
        main->AddClick(nullptr);
    };
    // Folder: the first source ever is number 1, active.
    add([this](TConfigForm& c) {
        EXPECT_EQ(c.Titul->text(), u"Nouvelle source"_s);
        EXPECT_TRUE(c.NeedId->isChecked() && c.NeedComment->isChecked());
        EXPECT_FALSE(c.NeedWarning->isChecked() || c.NeedWarning->isEnabled());
        c.Titul->setText(u"Spiromètre"_s);
        c.Extension->setText(u"jae"_s);
        c.NeedId->setChecked(false);
        c.Edit2->setText(f.ws.path(u"spiro"_s));
        c.Edit3->setText(u"*.pdf"_s);
        c.CheckBox1->setChecked(false);
    });
    EXPECT_EQ(EditedSourceNumber, 1);
    EXPECT_EQ(rowTexts(main->ListView2).value(0),
              u"Spiromètre|Fichiers|Actif|"_s + f.ws.path(u"spiro/*.pdf"_s));

    // Breeze: the Breeze ID cut to three letters, upper case.
    add([](TConfigForm& c) {
        choose(c.ComboBox1, 1);
        c.Titul->setText(u"Effort"_s);
        c.Extension->setText(u"br3"_s);
        c.FileName->setText(u"/breeze/CURPAT.DAT"_s);
        c.setRadioGroup2Index(1);
        c.Edit1->setText(u"sm1x"_s);
    });
    // Virtual printer: the bare printer name, and a second printer to print through.
    add([](TConfigForm& c) {
        choose(c.ComboBox1, 2);
        EXPECT_FALSE(c.PrintersList1->isEnabled());
        c.PrintersList->setCurrentIndex(1);
        c.cbDirectPrint->setChecked(true);
        EXPECT_TRUE(c.PrintersList1->isEnabled());
        c.PrintersList1->setCurrentIndex(2);
    });
    // Serial port: COM3, the line settings through the options dialog, DTR raised.
    add([this](TConfigForm& c) {
        choose(c.ComboBox1, 3);
        EXPECT_EQ(c.Extension->text(), u"AVL"_s);
        c.COMBox1->setCurrentIndex(2);
        dialogs.answerModal(u"TCOMOptionsDlg"_s, [](TForm& form) {
            auto& o = static_cast<TCOMOptionsDlg&>(form);
            EXPECT_EQ(o.cbBaudRate->currentText(), u"9600"_s);
            EXPECT_FALSE(o.chbEnableDTROnOpen->isChecked());
            o.cbBaudRate->setCurrentIndex(9);
            o.cbDataBits->setCurrentIndex(3);
            o.cbParity->setCurrentIndex(2);
            o.cbStopBits->setCurrentIndex(2);
            o.cbHandshaking->setCurrentIndex(1);
            o.chbEnableDTROnOpen->setChecked(true);
            return int(mrOk);
        });
        c.COMOptions->click();
    });
    // Screen image: no type row.
    add([](TConfigForm& c) { choose(c.ComboBox1, 4); });

    EXPECT_EQ(sources(), u"1|1|1|Spiromètre|JAE|0|1|0|NULL\n"
                         "2|2|1|Effort|BR3|1|1|0|NULL\n"
                         "3|3|1|Nouvelle source|EMF|1|1|0|NULL\n"
                         "4|4|1|Nouvelle source|AVL|1|1|0|NULL\n"
                         "5|5|1|Nouvelle source|BMP|1|1|0|NULL"_s);
    EXPECT_EQ(rows(u"fr.db"_s), u"1|"_s + f.ws.path(u"spiro"_s) + u"|*.pdf|0|0"_s);
    EXPECT_EQ(rows(u"rcfiles.DB"_s), u"2|/breeze/CURPAT.DAT|1|0|SM1||"_s);
    EXPECT_EQ(rows(u"printers.db"_s), u"3|Brother-HL sur USB001|1|Brother|PDF"_s);
    EXPECT_EQ(rows(u"com.DB"_s), u"4|3|1|2|7|30|9|7|1|2|2"_s);
    EXPECT_EQ(IniFile(IniFileName).readString(u"Options.COM3"_s, u"EnableDTROnOpen"_s), u"1"_s);
    EXPECT_EQ(restarts,
              (QStringList{u"CheckFileSources"_s, u"CheckBreezeSources"_s, u"CheckPrinterSources"_s,
                           u"CreateSourceDriver(4, 1)"_s, u"InitClipboardSource"_s}));

    // Editing shows what is stored; the type can no longer change.
    const auto modify = [&](int row, const std::function<void(TConfigForm&)>& change) {
        main->ListView2->clearSelection();
        main->ListView2->topLevelItem(row)->setSelected(true);
        dialogs.answerModal(u"TConfigForm"_s, [change](TForm& form) {
            auto& c = static_cast<TConfigForm&>(form);
            c.show();
            EXPECT_FALSE(c.ComboBox1->isEnabled());
            change(c);
            c.OKBtn->click();
            return c.ModalResult();
        });
        main->bModifyClick(nullptr);
    };
    modify(0, [](TConfigForm& c) {
        EXPECT_EQ(c.Extension->text(), u"JAE"_s);
        EXPECT_FALSE(c.CheckBox1->isChecked());
        c.CheckBox1->setChecked(true);
    });
    modify(1, [](TConfigForm& c) {
        EXPECT_EQ(c.RadioGroup2Index(), 1);
        c.Edit1->clear();
    });
    modify(2, [](TConfigForm& c) {
        EXPECT_EQ(c.PrintersList->currentText(), u"Brother-HL sur USB001"_s);
        EXPECT_TRUE(c.cbDirectPrint->isChecked());
        EXPECT_EQ(c.PrintersList1->currentText(), u"PDF"_s);
        c.PrintersList->setCurrentIndex(0);
        c.cbDirectPrint->setChecked(false);
    });
    modify(3, [](TConfigForm& c) {
        EXPECT_EQ(c.COMBox1->currentText(), u"COM3"_s);
        EXPECT_EQ(c.DataBits, 7);
        EXPECT_TRUE(c.DTROnOpen);
        c.NeedTimeout->setChecked(false);
        c.NeedSTX->setChecked(false);
    });
    EXPECT_EQ(rows(u"fr.db"_s), u"1|"_s + f.ws.path(u"spiro"_s) + u"|*.pdf|1|0"_s);
    EXPECT_EQ(rows(u"rcfiles.DB"_s), u"2|/breeze/CURPAT.DAT|1|0|DTX||"_s);
    EXPECT_EQ(rows(u"printers.db"_s), u"3|HP LaserJet on LPT1:|0|HP LaserJet|"_s);
    EXPECT_EQ(rows(u"com.DB"_s), u"4|3|0|2|7|-1|9|7|1|2|2"_s);

    // A serial source without a time-out shows the box unchecked and 30.
    {
        OpenForm c(4);
        EXPECT_FALSE(c->NeedTimeout->isChecked());
        EXPECT_EQ(c->Timeout->value(), 30);
    }

    // Deleting each source removes its row and its type row.
    for (int left = 5; left > 0; --left) {
        main->ListView2->clearSelection();
        main->ListView2->topLevelItem(0)->setSelected(true);
        dialogs.answerMessage(mrYes, u"Supprimer cette source?"_s);
        main->BitBtn9Click(nullptr);
        ASSERT_EQ(main->ListView2->topLevelItemCount(), left - 1);
    }
    EXPECT_EQ(sources(), QString());
    EXPECT_EQ(typeRows(), QString());
}

TEST_F(ConfigFormTest, BadEntriesAreRefusedBeforeAnythingIsWritten)
{
    OpenForm c(0);
    choose(c->ComboBox1, 3);

    // An empty ID Source: the closing step says why and keeps the dialog open.
    c->Extension->setText(u"  "_s);
    c->OKBtn->click();
    dialogs.expectShowMessage(u"Invalid extension!"_s);
    EXPECT_FALSE(c->CloseQuery());
    EXPECT_TRUE(c->CloseQuery()) << "the refusal is said once";
    // One the code page cannot hold is refused the same way (it names files in packages).
    c->Extension->setText(u"日本"_s);
    c->OKBtn->click();
    dialogs.expectShowMessage(u"Invalid extension!"_s);
    EXPECT_FALSE(c->CloseQuery());
    c->Extension->setText(u"AVL"_s);

    const auto refused = [&](const QString& message) {
        dialogs.answerMessage(mrOk, message, mtError);
        c->setModalResult(mrNone);
        c->OKBtn->click();
        EXPECT_EQ(c->ModalResult(), int(mrNone)) << message.toStdString();
    };
    c->STX->setText(u"x2"_s);
    refused(u"La valeur de STX doit être un nombre entier de 0 à 255."_s);
    c->STX->setText(u"2"_s);
    c->EOF_->setText(u"300"_s);
    refused(u"La valeur de EOF doit être un nombre entier de 0 à 255."_s);
    c->EOF_->setText(u" 3 "_s);
    c->eCode->setText(u"12a"_s);
    refused(u"Le code de transfert direct doit être un nombre entier."_s);
    choose(c->ComboBox1, 1);
    c->eCode->setText(u"12"_s);
    c->Edit1->setText(u"ДТХ"_s); // Cyrillic: not in windows-1252, the program's code page here
    refused(u"Invalid extension!"_s);

    EXPECT_EQ(sources(), QString()) << "no source row without its type row";
    EXPECT_EQ(typeRows(), QString());
    EXPECT_TRUE(restarts.isEmpty());

    // Corrected, it is saved whole.
    choose(c->ComboBox1, 3);
    c->OKBtn->click();
    EXPECT_EQ(c->ModalResult(), int(mrOk));
    EXPECT_EQ(sources(), u"1|4|1|Nouvelle source|AVL|1|1|0|12"_s);
    EXPECT_EQ(rows(u"com.DB"_s), u"1|1|1|2|3|30|6|8|0|0|0"_s); // a new source: 8 data bits
}

TEST_F(ConfigFormTest, StoredValuesAreShownAndKept)
{
    // A printer that is no longer installed stays selectable, so saving keeps it.
    f.addSource(1, 3, false, false, 0, u"EMF"_s);
    f.tables->prn->appendRecord(
        {1, u"Old Printer on LPT2:"_s, 4, u"Old Printer"_s, Variant::null()});
    {
        OpenForm c(1);
        EXPECT_EQ(c->PrintersList->count(), 4);
        EXPECT_EQ(c->PrintersList->currentText(), u"Old Printer on LPT2:"_s);
        EXPECT_FALSE(c->cbDirectPrint->isChecked());
        EXPECT_FALSE(c->PrintersList1->isEnabled());
        c->OKBtn->click();
    }
    EXPECT_EQ(rows(u"printers.db"_s), u"1|Old Printer on LPT2:|3|Old Printer|"_s);

    // A source whose type row is missing shows the defaults and gets its row on saving; the
    // other sources' rows stay as they were.
    f.addSource(2, 1);
    f.addSource(3, 1);
    f.tables->fRep->appendRecord({3, u"/other"_s, u"*.txt"_s, false, 0});
    {
        OpenForm c(2);
        EXPECT_EQ(c->Edit2->text(), QString());
        EXPECT_EQ(c->Edit3->text(), u"*.*"_s);
        c->Edit2->setText(u"/new"_s);
        c->OKBtn->click();
    }
    EXPECT_EQ(rows(u"fr.db"_s), u"3|/other|*.txt|0|0\n2|/new|*.*|1|0"_s);

    // The direct-send code: set, shown, kept by -1, cleared by emptying it.
    const auto save = [this](const QString& code) {
        OpenForm c(3);
        const QString shown = c->eCode->text();
        c->eCode->setText(code);
        c->OKBtn->click();
        return shown + u">"_s + f.cli(u"SELECT quote(DS_CODE) FROM \"cfg.db\" WHERE Number = 3;"_s);
    };
    EXPECT_EQ(save(u"42"_s), u">42"_s);
    EXPECT_EQ(save(u"-1"_s), u"42>42"_s);
    EXPECT_EQ(save(QString()), u"42>NULL"_s);
    EXPECT_EQ(save(QString()), u">NULL"_s);

    // Serial settings that name no item of the options dialog (115200 baud, 3 data bits, no
    // parity item) are kept when it is confirmed.
    f.addSource(4, 4, false, false, 0, u"AVL"_s);
    f.tables->com->appendRecord({4, 2, 1, 2, 3, 30, 12, 3, 2, -1, 0});
    {
        OpenForm c(4);
        dialogs.answerModal(u"TCOMOptionsDlg"_s, [](TForm& form) {
            auto& o = static_cast<TCOMOptionsDlg&>(form);
            EXPECT_EQ(o.cbBaudRate->currentIndex(), -1);
            EXPECT_EQ(o.cbDataBits->currentIndex(), -1);
            return int(mrOk);
        });
        c->COMOptions->click();
        c->OKBtn->click();
    }
    EXPECT_EQ(rows(u"com.DB"_s), u"4|2|1|2|3|30|12|3|2|-1|0"_s);
}

// A new serial source starts at 8 data bits, shown as such, stored as 8, and its line opens with
// 8. A virtual printer with no printer installed says so and is not saved.
TEST_F(ConfigFormTest, NewSourceShowsWhatItApplies)
{
    auto owned = std::make_unique<FakeSerialLine>();
    const FakeSerialLine* line = owned.get();
    TCommPortDriver port(std::move(owned));
    TCommPortDriver* const savedPort = std::exchange(ComPortSlots[1].Port, &port);
    setWorkstationService(&AppWorkstation());
    const auto restore = qScopeGuard([savedPort] {
        ComPortSlots[1].Port = savedPort;
        setWorkstationService(nullptr);
    });
    SourceRestarts().CreateSourceDriver = &CreateSourceDriver;
    {
        OpenForm c(0);
        choose(c->ComboBox1, 3);
        QString shown;
        dialogs.answerModal(u"TCOMOptionsDlg"_s, [&shown](TForm& form) {
            shown = static_cast<TCOMOptionsDlg&>(form).cbDataBits->currentText();
            return int(mrCancel);
        });
        c->COMOptions->click();
        EXPECT_EQ(shown, u"8 bits"_s);
        c->OKBtn->click();
    }
    EXPECT_EQ(f.cli(u"SELECT \"Data Bits\" FROM \"com.DB\";"_s), u"8"_s);
    ASSERT_FALSE(line->appliedSettings().isEmpty());
    EXPECT_EQ(line->appliedSettings().last().dataBits, 8);

    TConfigForm::InstalledPrinters = [] { return QStringList(); };
    OpenForm c(0);
    choose(c->ComboBox1, 2);
    EXPECT_EQ(c->PrintersList->placeholderText(), u"Aucune imprimante n'est installée."_s);
    dialogs.answerMessage(mrOk, u"Aucune imprimante n'est installée."_s, mtError);
    c->OKBtn->click();
    EXPECT_EQ(c->ModalResult(), int(mrNone));
    EXPECT_EQ(rows(u"printers.db"_s), QString());
}

TEST_F(ConfigFormTest, SaveThatFailsHalfWayLeavesNoSource)
{
    // The settings file cannot be written (its name is a folder): the serial source's rows are
    // taken back, and the error goes to the error window.
    IniFileName = f.ws.path(u"ini-folder"_s);
    QDir().mkpath(IniFileName);
    OpenForm c(0);
    choose(c->ComboBox1, 3);
    dialogs.answerModal(u"TfError"_s, [](TForm&) { return int(mrOk); });
    c->OKBtn->click();
    EXPECT_EQ(c->ModalResult(), int(mrNone));
    EXPECT_EQ(EditedSourceNumber, 0);
    EXPECT_EQ(sources(), QString());
    EXPECT_EQ(typeRows(), QString());
    EXPECT_TRUE(restarts.isEmpty());
    // The cursors show the tables as they are.
    EXPECT_TRUE(f.tables->cfg->isEmpty());
    EXPECT_TRUE(f.tables->com->isEmpty());
}

// The port test window sends what is typed into its memo through the selected entry's port, one
// byte a character; Escape too is a byte for the analyser (0x1B), not a request to close.
TEST(PortTestWindow, TypedKeysEscapeIncludedGoToTheSelectedPort)
{
    auto owned = std::make_unique<FakeSerialLine>();
    const FakeSerialLine* line = owned.get();
    TCommPortDriver port(std::move(owned));
    ASSERT_TRUE(port.Connect());
    TTestForm::PortResolver = [&port](int slot) { return slot == 2 ? &port : nullptr; };
    const auto restore = qScopeGuard([] { TTestForm::PortResolver = nullptr; });
    TTestForm form;
    form.show();
    form.beginModal();
    form.ComboBox1->setCurrentIndex(1);
    for (const auto& [key, text] : {std::pair{Qt::Key_A, u"A"_s}, {Qt::Key_Escape, u"\x1b"_s}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(form.Memo1, &press);
    }
    EXPECT_EQ(line->written(), QByteArray("A\x1b"));
    EXPECT_EQ(form.ModalResult(), int(mrNone));
    EXPECT_TRUE(form.isVisible());
    form.endModal();
}
