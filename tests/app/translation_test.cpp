// The program's forms under the translator: each read in text-collecting mode while the main
// window runs, each marked through the dictionary, and a statement file at start-up, in process
// and in the real program.
#include "mainwindow_fixture.h"
#include "program_folder.h"

#include <analysers/comslots.h>
#include <app/appglobals.h>
#include <app/mainwindow/mainform_texts.h>
#include <app/translatableforms.h>
#include <translation/lc.h>

#include <support/translator_scope.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
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
