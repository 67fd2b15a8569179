// The program's forms under the translator: each read in text-collecting mode while the main
// window runs, each marked through the dictionary, and a statement file at start-up, in process
// and in the real program.
#include "mainwindow_fixture.h"
#include "program_folder.h"

#include <analysers/comslots.h>
#include <app/appglobals.h>
#include <app/mainwindow/mainform_texts.h>
#include <app/translatableforms.h>
#include <platform/ui/filedialog.h>
#include <translation/langmanager.h>
#include <translation/langrus.h>
#include <translation/lc.h>

#include <support/translator_scope.h>
#include <windowtour/windowtour.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTableWidget>
#include <QTreeWidget>

#include <csignal>

#include <gtest/gtest.h>

namespace {

// Every text of a form's widgets, actions and numbered lines that a person could read.
QStringList shownTexts(QObject* form)
{
    QStringList texts;
    QList<QObject*> objects = form->findChildren<QObject*>();
    objects.prepend(form);
    for (QObject* o : std::as_const(objects)) {
        for (const char* property : {"windowTitle", "toolTip", "text", "title"})
            if (!qobject_cast<QAction*>(o) || qstrcmp(property, "toolTip") != 0) // follows text
                texts << o->property(property).toString();
        if (auto* t = qobject_cast<QTreeWidget*>(o))
            for (int c = 0; c < t->columnCount(); ++c)
                texts << t->headerItem()->text(c);
        if (auto* lc = qobject_cast<TLC*>(o))
            texts << lc->Consts;
        if (auto* dialog = qobject_cast<FileDialog*>(o))
            texts << dialog->Title;
    }
    return texts;
}

TEST(TranslatedProgram, EveryFormReadsItsTextsWithoutDisturbingTheRunningWindow)
{
    MainWindowFixture f;
    const TranslatorScope translator(f.programDir() + "QUORVANE.LAN");
    f.startRunning();
    TMainForm* running = MainForm;
    for (const TFormClass& formClass : ProgramFormClasses()) {
        if (!formClass.Create)
            continue;
        SCOPED_TRACE(formClass.ClassName.toStdString());
        const QList<TCollectedText> texts = CollectFormTexts(formClass);
        std::unique_ptr<QObject> probe(formClass.Create());
        // A numbered-texts component that runs the form's own creation after the translation
        // is what keeps the form's FormCreate from running while its texts are read.
        int numbered = 0;
        for (QObject* component : dynamic_cast<ComponentOwner&>(*probe).components()) {
            if (const auto* lc = qobject_cast<TLC*>(component)) {
                ++numbered;
                EXPECT_FALSE(lc->PredCreate) << lc->objectName().toStdString();
            }
        }
        EXPECT_GT(numbered, 0);
        QSet<QString> names;
        for (const TCollectedText& t : texts) {
            names.insert(t.Name);
            const QString component = t.Name.section(QRegularExpression("[._]"), 0, 0);
            EXPECT_TRUE(t.Name.isEmpty() ||
                        dynamic_cast<ComponentOwner&>(*probe).findComponent(component))
                << t.Name.toStdString();
        }
        EXPECT_EQ(names.size(), texts.size()); // no name twice

        // A marker per collected name marks exactly the texts the translator looked up.
        ClearTranslations();
        for (const TCollectedText& t : texts) {
            const QString number = t.ComponentClass == "TLC" ? t.Name.section('.', 1) + "=" : "";
            AddTranslation(formClass.ClassName, t.Name, number + "«" + t.Name + "»");
        }
        const QStringList before = shownTexts(probe.get());
        CollectingTexts = 1;
        TranslateForm(probe.get(), CurrentLanguage);
        CollectingTexts = 0;
        const QStringList after = shownTexts(probe.get());
        ASSERT_EQ(before.size(), after.size());
        QSet<QString> marked; // a submenu's title is its menu item's caption: one text
        for (qsizetype i = 0; i < after.size(); ++i) {
            if (after.at(i) != before.at(i)) {
                EXPECT_TRUE(after.at(i).contains("«")) << after.at(i).toStdString();
                marked.insert(after.at(i));
            }
        }
        EXPECT_EQ(marked.size(), texts.size());
        ClearTranslations();
    }
    EXPECT_EQ(MainForm, running);
    EXPECT_FALSE(FirstTick);
    EXPECT_EQ(&MainFormTexts(), running->LC1);
    EXPECT_TRUE(bool(ComPortSlots[2].Port->OnReceiveData)); // bound by the running window
}

TEST(TranslatedProgram, ScrollLockOpensTheEditorWhoseConfirmedCloseWritesTheStatementFile)
{
    MainWindowFixture f;
    const TranslatorScope translator(f.programDir() + "QUORVANE.LAN");
    f.startRunning();
    const QList<TFormClass> registered = std::exchange(TranslatableForms(), ProgramFormClasses());
    const auto unregister = qScopeGuard([&registered] { TranslatableForms() = registered; });
    MainFormModules().ShowLangManager = &ShowLangManager;
    f.dialogs.answerModal("TLangManager", [](TForm& form) {
        auto& editor = static_cast<TLangManager&>(form);
        editor.FormTree->setCurrentItem(
            editor.FormTree->findItems("TMainForm", Qt::MatchExactly | Qt::MatchRecursive).at(0));
        const auto type = [&editor](const QString& object, const QString& text) {
            const int column = TLangManager::colTranslation;
            for (int r = 0; r < editor.TrGrid->rowCount(); ++r) {
                if (editor.TrGrid->item(r, TLangManager::colObject)->text() != object)
                    continue;
                QString shown = editor.TrGrid->item(r, column)->text();
                editor.TrGridGetEditText(column, r, shown);
                editor.TrGridSetEditText(column, r, text);
                return;
            }
            ADD_FAILURE() << "no row " << object.toStdString();
        };
        type("bCont", "&Poursuivre");
        type("LC1.17", "<Personne>"); // the line's number is put in front
        return int(mrCancel);         // the close box
    });
    f.dialogs.answerMessage(mrYes, "Save changes ?", mtConfirmation);
    QWidget* focus = QApplication::focusWidget();
    QKeyEvent scrollLock(QEvent::KeyPress, Qt::Key_ScrollLock, Qt::NoModifier);
    QApplication::sendEvent(focus ? focus : f.form, &scrollLock);

    // There was no statement file: the confirmed close made one.
    EXPECT_EQ(readFileBytes(TranslationFileName),
              "begin\r\n"
              "if (F='TMainForm')AND(N='bCont') then Result:='&Poursuivre';\r\n"
              "if (F='TMainForm')AND(N='LC1.17') then Result:='17=<Personne>';\r\n"
              "end; {TRANSLATE}\r\n");
    // The running window was translated again.
    EXPECT_EQ(f.form->bCont->text(), "&Poursuivre");
    EXPECT_EQ(f.form->LC1->GetConst(17), "<Personne>");
}

// Closing the editor, even without an edit, translates every window again: the main window keeps
// the user's name and the title it set, with or without a statement file.
TEST(TranslatedProgram, ClosingTheEditorKeepsWhatTheMainWindowWroteItself)
{
    for (const bool withFile : {false, true}) {
        SCOPED_TRACE(withFile);
        MainWindowFixture f;
        const TranslatorScope translator(f.programDir() + "QUORVANE.LAN");
        if (withFile) {
            writeFileBytes(TranslationFileName, testData("translation/mainform.lan"));
            LoadTranslations();
            AddTranslation("TMainForm", "", "Quorvane traduit"); // the form's own caption
        }
        f.startRunning();
        const QString title = f.form->Caption();
        ASSERT_EQ(f.form->Label6->text(), "Tester");
        ASSERT_TRUE(title.startsWith("QUORVANE"));
        const QList<TFormClass> registered =
            std::exchange(TranslatableForms(), ProgramFormClasses());
        const auto unregister = qScopeGuard([&registered] { TranslatableForms() = registered; });
        MainFormModules().ShowLangManager = &ShowLangManager;
        f.dialogs.answerModal("TLangManager", [](TForm&) { return int(mrCancel); });
        QWidget* focus = QApplication::focusWidget();
        QKeyEvent scrollLock(QEvent::KeyPress, Qt::Key_ScrollLock, Qt::NoModifier);
        QApplication::sendEvent(focus ? focus : f.form, &scrollLock);
        EXPECT_EQ(f.form->Label6->text(), "Tester");
        EXPECT_EQ(f.form->Caption(), title);
        EXPECT_EQ(f.form->bCont->text(), withFile ? "&Suite" : "&Continuer");
    }
}

TEST(TranslatedProgram, AStatementFileTranslatesTheMainWindowAtStartUp)
{
    for (const bool withFile : {true, false}) {
        SCOPED_TRACE(withFile);
        MainWindowFixture run;
        const TranslatorScope translator(run.programDir() + "QUORVANE.LAN");
        if (withFile)
            writeFileBytes(TranslationFileName, testData("translation/mainform.lan"));
        EXPECT_EQ(LoadTranslations(), withFile);
        run.writeIni({"[Application]", "Path=" + run.ws.root(), "DelInterval=-1"});
        run.prepareTables();
        run.start();
        const QString none = withFile ? "<Personne>" : "<Aucun>";
        EXPECT_EQ(run.form->bCont->text(), withFile ? "&Suite" : "&Continuer");
        EXPECT_EQ(run.form->Label6->text(), none);
        EXPECT_EQ(run.form->LC1->GetConst(17), none);
        run.dialogs.answerInput(true, "Dupont", "Nom de l'utilisateur:"); // must be asked
        run.firstTick();
    }
}

// The main window's bottom buttons take the room their translated captions need: Russian ones
// are longer than the French ones the window was laid out with.
TEST(TranslatedProgram, RussianCaptionsFitTheMainWindowsButtons)
{
    MainWindowFixture f;
    const TranslatorScope translator(f.programDir() + "QUORVANE.LAN", 2);
    ExtTranslateProc = &TranslateCaptionRUS;
    const char* const captions[][2] = {{"bShowLOG", "&Показать журнал событий..."},
                                       {"bTransfer", "&Передать данные практике..."},
                                       {"ConfigBtn", "&Конфигурация источников"},
                                       {"bCont", "&Продолжить работу"}};
    for (const auto& [name, caption] : captions)
        AddTranslation("TMainForm", name, caption);
    f.startRunning();
    f.form->show();
    QApplication::processEvents();
    for (const auto& [name, caption] : captions) {
        const auto* button = static_cast<QPushButton*>(f.form->findComponent(name));
        EXPECT_EQ(button->text(), QString::fromUtf8(caption));
        EXPECT_GE(button->width(), button->sizeHint().width()) << name;
    }
    for (const QString& fault : WindowTour::faults(f.form))
        EXPECT_FALSE(fault.contains("bShowLOG") || fault.contains("bTransfer") ||
                     fault.contains("ConfigBtn") || fault.contains("bCont"))
            << fault.toStdString();
}

// The translation editor shows Russian translations whole, however much longer than the French
// texts they stand for.
TEST(TranslatedProgram, TheEditorShowsRussianTranslationsWhole)
{
    MainWindowFixture f;
    const TranslatorScope translator(f.programDir() + "QUORVANE.LAN", 2);
    ExtTranslateProc = &TranslateCaptionRUS;
    const QList<TFormClass> registered = std::exchange(TranslatableForms(), ProgramFormClasses());
    const auto unregister = qScopeGuard([&registered] { TranslatableForms() = registered; });
    AddTranslation("TMainForm", "bShowLOG", "&Показать журнал событий программы...");
    AddTranslation("TMainForm", "bCont", "&Продолжить работу с документами");
    AddTranslation("TMainForm", "LC1.17", "17=<Пользователь не указан>");
    AddTranslation("TMainForm", "LC1.9",
                   "9=Закрыть %S ?%SВнимание! Службы %S перестанут работать до следующего "
                   "запуска программы!");
    std::unique_ptr<TLangManager> editor(CreateForm<TLangManager>());
    editor->show();
    editor->FormTree->setCurrentItem(
        editor->FormTree->findItems("TMainForm", Qt::MatchExactly | Qt::MatchRecursive).at(0));
    QApplication::processEvents();
    QStringList shown;
    for (int r = 0; r < editor->TrGrid->rowCount(); ++r)
        shown << editor->TrGrid->item(r, TLangManager::colTranslation)->text();
    EXPECT_TRUE(shown.contains("17=<Пользователь не указан>")) << shown.join('|').toStdString();
    for (const QString& fault : WindowTour::faults(editor.get()))
        ADD_FAILURE() << fault.toStdString();
}

TEST(TranslatedProgramRun, TheProgramLoadsItsStatementFileBesideIt)
{
    ProgramFolder folder;
    writeFileBytes(folder.dir() + "QUORVANE.LAN", testData("translation/mainform.lan"));
    folder.start();
    // The user name is asked for (the two texts still agree) under the translated title.
    ASSERT_TRUE(folder.waitFor([&] { return folder.output().contains("question open: Qui ?"); }))
        << folder.output().toStdString();
    ::kill(pid_t(folder.process.processId()), SIGINT);
    ASSERT_TRUE(folder.process.waitForFinished(20000));
    EXPECT_EQ(folder.process.exitCode(), 0);
}

} // namespace
