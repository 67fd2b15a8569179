// The translation editor, offscreen, on two registered forms (a parent and its child), its
// questions answered by script and its writes compared with hand-written files.
#include <translation/langmanager.h>
#include <translation/langrus.h>
#include <translation/lc.h>
#include <translation/lmsearch.h>

#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>
#include <support/translator_scope.h>
#include <support/workspace.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {
int g_formCreates = 0;
}

class TParentForm : public TForm
{
    Q_OBJECT

public:
    TParentForm()
    {
        OnCreate = [](QObject*) { ++g_formCreates; };
        setCaption("Parent");
        makeComponent<QLabel>("Label1", "TLabel")->setText("Nom");
        makeComponent<QPushButton>("Cancel1", "TBitBtn")->setText("&Annuler");
        makeComponent<TLC>("LC1", "TLC", this)->Consts = {"1=Un", "17=<Aucun>"};
    }
};

class TChildForm : public TParentForm
{
    Q_OBJECT

public:
    TChildForm() { makeComponent<QLabel>("Label2", "TLabel")->setText("Prénom"); }
};

namespace {

class LangManager : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedClasses = TranslatableForms();
        TranslatableForms() = {
            {"TParentForm", &TParentForm::staticMetaObject, [] { return new TParentForm; }},
            {"TChildForm", &TChildForm::staticMetaObject, [] { return new TChildForm; }}};
        IniFileName = ws.path("QUORVANE.INI");
        writeFileBytes(TranslationFileName, testData("translation/editor.lan"));
        LoadTranslations();
        g_formCreates = 0;
    }
    void TearDown() override
    {
        editor.reset();
        TranslatableForms() = m_savedClasses;
        IniFileName.clear();
        fileops::resetFaults();
        EXPECT_EQ(g_formCreates, 0) << "a form created to read its texts ran its own OnCreate";
    }

    // A new editor with the child form selected.
    void open()
    {
        editor.reset(CreateForm<TLangManager>());
        editor->show();
        QTreeWidgetItem* parent = editor->FormTree->topLevelItem(0);
        EXPECT_EQ(parent->text(0) + ">" + parent->child(0)->text(0), "TParentForm>TChildForm");
        editor->FormTree->setCurrentItem(parent->child(0));
    }

    QStringList column(int c) const
    {
        QStringList texts;
        for (int r = 0; r < editor->TrGrid->rowCount(); ++r)
            texts << editor->TrGrid->item(r, c)->text();
        return texts;
    }

    // Types a translation into a row's cell, as a user does.
    void edit(int row, const QString& text)
    {
        QTableWidget* grid = editor->TrGrid;
        QTableWidgetItem* cell = grid->item(row, TLangManager::colTranslation);
        grid->setCurrentItem(cell);
        grid->editItem(cell);
        auto* box = qobject_cast<QLineEdit*>(grid->indexWidget(grid->indexFromItem(cell)));
        ASSERT_NE(box, nullptr);
        box->setText(text);
        emit grid->itemDelegate()->commitData(box);
        emit grid->itemDelegate()->closeEditor(box);
    }

    // The edit box open in a row's translation cell, if any.
    QLineEdit* cellEditor(int row) const
    {
        QTableWidget* grid = editor->TrGrid;
        return qobject_cast<QLineEdit*>(
            grid->indexWidget(grid->indexFromItem(grid->item(row, TLangManager::colTranslation))));
    }

    // The options dialog with the given boxes clicked, then OK.
    void clickOptions(const QList<const char*>& boxes)
    {
        dialogs.answerModal("TlmOptionsDlg", [boxes](TForm& form) {
            for (const char* box : boxes)
                static_cast<QCheckBox*>(form.findComponent(box))->click();
            return int(mrOk);
        });
        editor->btnOptions->click();
    }

    TestWorkspace ws;
    const TranslatorScope translator{ws.path("QUORVANE.LAN")};
    ScopedScriptedDialogs dialogs;
    std::unique_ptr<TLangManager> editor;

private:
    QList<TFormClass> m_savedClasses;
};

TEST_F(LangManager, RowsFollowTheOptionsAndLeaveOutWhatTheParentShows)
{
    const QStringList all{"Form caption", "Label1", "Cancel1", "LC1.1", "LC1.17", "Label2"};
    const std::pair<QList<const char*>, QStringList> cases[] = {
        {{}, all},
        {{"cbParentControls"}, {"Label2"}},
        {{"cbEmptyCaptions"}, {"LC1.17"}}, // the parent's entry is not the child's own
        {{"cbTranslatedCaptions"}, {"Form caption", "Label1", "Cancel1", "LC1.1", "Label2"}},
        {{"cbTranslateDefaults"}, {"Form caption", "Label1", "LC1.1", "LC1.17", "Label2"}},
        {{"cbEmptyCaptions", "cbTranslatedCaptions"}, {""}}, // one empty row
    };
    ExtTranslateProc = &TranslateCaptionRUS;
    for (const auto& [clicked, objects] : cases) {
        open();
        clickOptions(clicked);
        EXPECT_EQ(column(TLangManager::colObject), objects);
    }
    open();
    EXPECT_EQ(column(TLangManager::colType),
              QStringList({"TChildForm", "TLabel", "TBitBtn", "TLC", "TLC", "TLabel"}));
}

TEST_F(LangManager, PendingEditsShowUntilSavedOrRestored)
{
    open();
    edit(5, "Prénom d'usage");
    edit(4, "<Nothing>"); // stored with its line's number
    edit(3, "1=Uno");     // typed with a number: stored as typed
    edit(1, "Name");      // the same text: nothing pending
    edit(2, "");          // nothing typed into "<empty>": nothing pending
    clickOptions({});     // a refill shows what is pending, entry or not
    EXPECT_EQ(column(TLangManager::colTranslation),
              QStringList({"<empty>", "Name", "<empty>", "1=Uno", "<Nothing>", "Prénom d'usage"}));
    EXPECT_TRUE(editor->btnRestoreDefaults->isEnabled());
    editor->TrGrid->setCurrentCell(3, TLangManager::colTranslation);
    EXPECT_TRUE(editor->btnLineRestore->isEnabled());
    editor->btnLineRestore->click();
    EXPECT_EQ(editor->TrGrid->item(3, TLangManager::colTranslation)->text(), "<empty>");
    edit(3, "1=One");

    // A failed write keeps the file and every edit.
    fileops::failNth(fileops::Op::Rename, 1);
    EXPECT_THROW(editor->btnSaveClick(nullptr), EInOutError);
    EXPECT_EQ(readFileBytes(TranslationFileName), testData("translation/editor.lan"));
    EXPECT_EQ(editor->TrGrid->item(5, TLangManager::colTranslation)->text(), "Prénom d'usage");

    std::unique_ptr<TChildForm> live(CreateForm<TChildForm>());
    --g_formCreates;
    editor->btnSave->click();
    EXPECT_EQ(readFileBytes(TranslationFileName), testData("translation/editor_saved.lan"));
    EXPECT_FALSE(editor->btnRestoreDefaults->isEnabled() || editor->btnLineRestore->isEnabled());
    EXPECT_EQ(static_cast<QLabel*>(live->findComponent("Label2"))->text(), "Prénom d'usage");
    // The parent's entry serves the child, which has none of its own.
    EXPECT_EQ(static_cast<QLabel*>(live->findComponent("Label1"))->text(), "Name");

    edit(2, "Abbrechen");
    editor->btnRestoreDefaults->click();
    EXPECT_EQ(editor->TrGrid->item(2, TLangManager::colTranslation)->text(), "<empty>");
    EXPECT_FALSE(editor->btnRestoreDefaults->isEnabled());
}

// The statement file is written in the program's code page: a translation that it cannot hold is
// refused with a message naming the characters (each once), nothing is pending, and the cell is
// edited again with the text as typed, for the user to correct it; what the code page can hold
// is taken.
TEST_F(LangManager, TextsOutsideTheCodePageAreRefusedAndKeptForCorrection)
{
    const struct
    {
        codepage::CodePage cp;
        QString typed, outside, corrected;
    } cases[] = {
        {codepage::Cp1252, "Фамилия", "Фамиля", "Nom de famille"},
        {codepage::Cp1252, "Prénom € œ", "", ""},
        {codepage::Cp1252, "Nom 😀 usuel", "😀", "Nom usuel"},
        {codepage::Cp1251, "Prénom", "é", "Имя"},
        {codepage::Cp1251, "Имя, ёж", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const CodePageScope codePage(c.cp);
        open();
        if (!c.outside.isEmpty())
            dialogs.answerMessage(mrOk,
                                  QStringLiteral("Code page %1 cannot hold these characters: %2")
                                      .arg(int(c.cp))
                                      .arg(c.outside),
                                  mtError);
        edit(5, c.typed);
        QCoreApplication::processEvents();
        EXPECT_EQ(dialogs.remaining(), QStringList());
        if (!c.outside.isEmpty()) {
            QLineEdit* box = cellEditor(5);
            ASSERT_NE(box, nullptr) << "the cell is not edited again";
            EXPECT_EQ(box->text(), c.typed);
            EXPECT_FALSE(editor->btnRestoreDefaults->isEnabled());
            box->setText(c.corrected);
            emit editor->TrGrid->itemDelegate()->commitData(box);
            emit editor->TrGrid->itemDelegate()->closeEditor(box);
        }
        const QString taken = c.outside.isEmpty() ? c.typed : c.corrected;
        EXPECT_EQ(editor->TrGrid->item(5, TLangManager::colTranslation)->text(), taken);
        EXPECT_TRUE(editor->btnRestoreDefaults->isEnabled());
        editor->btnSave->click();
        EXPECT_TRUE(readFileBytes(TranslationFileName)
                        .contains(codepage::encode(
                            "(F='TChildForm')AND(N='Label2') then Result:='" + taken + "';", c.cp)))
            << readFileBytes(TranslationFileName).toStdString();
        writeFileBytes(TranslationFileName, testData("translation/editor.lan"));
        LoadTranslations();
    }
}

TEST_F(LangManager, CloseAsksBeforeWritingAndTranslatesEveryFormAgain)
{
    static int changes = 0;
    LanguageChangedProc = [](TInternationalLang language) { changes += language; };
    const auto guard = qScopeGuard([] { LanguageChangedProc = nullptr; });
    std::unique_ptr<TChildForm> live(CreateForm<TChildForm>());
    --g_formCreates;
    // The editor opened, a text typed (or none) and the window closed; the question answered.
    // Escape closes it as its close box does.
    const auto closeAfterTyping = [this](const QString& text, int answer = mrNone,
                                         bool escape = false) {
        open();
        dialogs.answerModal("TLangManager", [this, text, escape](TForm& form) {
            if (!text.isEmpty())
                edit(5, text);
            if (!escape)
                return int(mrCancel);
            form.show();
            QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(editor->TrGrid, &key);
            return form.ModalResult();
        });
        if (answer != mrNone)
            dialogs.answerMessage(answer, "Save changes ?", mtConfirmation,
                                  TMsgDlgButtons(mbYes) | mbNo);
        editor->ShowModal();
    };

    closeAfterTyping("Surname", mrNo);
    EXPECT_EQ(readFileBytes(TranslationFileName), testData("translation/editor.lan"));
    EXPECT_EQ(static_cast<QLabel*>(live->findComponent("Label2"))->text(), "Prénom");

    closeAfterTyping("First name", mrYes, true);
    EXPECT_EQ(readFileBytes(TranslationFileName),
              "begin\r\n"
              "if (F='TParentForm')AND(N='Label1') then Result:='Name';\r\n"
              "if (F='TChildForm')AND(N='LC1.17') then Result:='17=<None>';\r\n"
              "if (F='TChildForm')AND(N='Label2') then Result:='First name';\r\n"
              "end; {TRANSLATE}\r\n");
    EXPECT_EQ(static_cast<QLabel*>(live->findComponent("Label2"))->text(), "First name");

    closeAfterTyping({}, mrNone, true); // nothing pending: no question
    EXPECT_EQ(changes, 3 * CurrentLanguage);
}

TEST_F(LangManager, SearchMovesToTheFirstMatchFromTheCurrentRowOn)
{
    open();
    const auto search = [this](int item, const QString& text) {
        dialogs.answerModal("TlmSearchDlg", [item](TForm& form) {
            static_cast<TlmSearchDlg&>(form).setItemIndex(item);
            return int(mrOk);
        });
        dialogs.answerInput(true, text, "Search string");
        editor->btnSearch->click();
        return std::pair{editor->TrGrid->currentRow(), editor->TrGrid->currentColumn()};
    };
    EXPECT_EQ(search(2, "tlc"), std::pair(3, int(TLangManager::colType)));
    EXPECT_EQ(search(1, "NONE"), std::pair(4, int(TLangManager::colTranslation)));
    EXPECT_EQ(search(0, "zzz"), std::pair(4, int(TLangManager::colTranslation)));
}

TEST_F(LangManager, SchemasAreAddedRenamedAndDeleted)
{
    open();
    dialogs.answerInput(true, "Clinic", "New shema:");
    editor->sbAdd->click();
    EXPECT_GE(FindTranslation("TChildForm|Clinic", ""), 0);
    EXPECT_TRUE(readFileBytes(TranslationFileName).contains("(F='TChildForm|Clinic')AND(N='')"));
    EXPECT_EQ(editor->cbExtTranslating->currentText(), "Clinic");
    edit(1, "Nom du cabinet");

    dialogs.answerInput(true, "Cabinet", "Enter new name");
    editor->sbEdit->click();
    EXPECT_EQ(TranslationText(FindTranslation("TChildForm|Cabinet", "Label1")), "Nom du cabinet");
    EXPECT_EQ(FindTranslation("TChildForm|Clinic", ""), -1);
    EXPECT_EQ(editor->cbExtTranslating->currentText(), "Default");
    EXPECT_EQ(editor->cbExtTranslating->count(), 2);

    editor->cbExtTranslating->setCurrentIndex(1);
    dialogs.answerMessage(mrYes, "Are you sure?", mtConfirmation);
    editor->sbDelete->click();
    EXPECT_EQ(editor->cbExtTranslating->count(), 1);
    EXPECT_EQ(readFileBytes(TranslationFileName), testData("translation/schemas_deleted.lan"));
}

TEST_F(LangManager, TheExportNeedsItsThreeNamesAndWritesTheTable)
{
    open();
    const QString table = ws.path("table.txt");
    const QStringList keys{"FileName=" + table, "FRA_FileName=" + ws.path("fra.lan"),
                           "ENG_FileName=" + ws.path("eng.lan")};
    const char* messages[] = {"Not found export filename", "Not found \"FRA\"-filename",
                              "Not found \"ENG\"-filename"};
    for (int missing = 0; missing < 3; ++missing) {
        QStringList lines = keys;
        lines[missing] = keys.at(missing).section('=', 0, 0) + "=";
        writeFileBytes(IniFileName, ("[Export]\r\n" + lines.join("\r\n")).toUtf8());
        dialogs.expectShowMessage(messages[missing]);
        editor->btnCreateFile->click();
        EXPECT_FALSE(QFile::exists(table));
    }
    writeFileBytes(ws.path("fra.lan"), "'TParentForm' 'Label1' 'Nom FR'\r\n");
    writeFileBytes(ws.path("eng.lan"), "'TChildForm' 'Label2' 'First name'\r\n"
                                       "'TChildForm' '' 'Child'\r\n");
    writeFileBytes(IniFileName, ("[Export]\r\n" + keys.join("\r\n")).toUtf8());
    editor->btnCreateFile->click();
    EXPECT_EQ(readFileBytes(table), testData("translation/export.txt"));
    EXPECT_EQ(TranslationText(FindTranslation("TParentForm", "Label1")), "Name");
}

} // namespace

#include "langmanager_test.moc"
