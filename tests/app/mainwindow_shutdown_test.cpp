// How the program ends: closing refused while documents wait, the confirmed quit, refusing the
// confirmation, and a quit or a termination signal that arrives while a tick is running.
#include "mainwindow_fixture.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/ui/application.h>

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString QuitQuestion = QStringLiteral(
    "Fermer QUORVANE ?\n\r\n\rAttention ! Les services de QUORVANE ne seront plus opérationnels !");

struct EndingWindow : MainWindowFixture
{
    explicit EndingWindow(bool withDocument)
    {
        startRunning();
        if (withDocument)
            addDocument(1, 1, 0);
    }

    bool tablesOpen() const
    {
        for (LocalTable* table :
             {DataTables->cfg, DataTables->fRep, DataTables->packs, DataTables->files,
              DataTables->rcfiles, DataTables->prn, DataTables->com, DataTables->FrFiles,
              DataTables->Patients_Local}) {
            if (table->isActive())
                return true;
        }
        return false;
    }
    bool tablesAllOpen() const
    {
        return DataTables->files->isActive() && DataTables->cfg->isActive();
    }
};

} // namespace

TEST(MainWindowShutdown, ACloseRequestEndsNothingWithoutTheQuitQuestion)
{
    EndingWindow w(true);
    // A minimise box only.
    EXPECT_EQ(w.form->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                       Qt::WindowCloseButtonHint),
              Qt::WindowMinimizeButtonHint);
    // While documents wait, the window comes forward and nothing is asked.
    w.form->showMinimized();
    EXPECT_FALSE(w.form->close());
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_FALSE(w.form->isMinimized());
    EXPECT_TRUE(w.dialogs.requests().isEmpty());
    w.tick();
    EXPECT_EQ(w.calls.count("PollBreezeSources"), 1);

    // Without documents, the quit command asks: No keeps the program polling, Yes ends it.
    w.deleteDocument(1);
    for (const int answer : {mrNo, mrYes}) {
        w.dialogs.answerMessage(answer, QuitQuestion, mtConfirmation);
        EXPECT_FALSE(w.form->close());
        EXPECT_TRUE(w.tablesAllOpen());
        QCoreApplication::processEvents();
        EXPECT_EQ(w.form->CommonTimer->isActive(), answer == mrNo);
        EXPECT_EQ(w.tablesOpen(), answer == mrNo);
        EXPECT_EQ(Application::terminated(), answer == mrYes);
    }
    EXPECT_EQ(w.dialogs.requests().size(), 2);
}

TEST(MainWindowShutdown, QuitAnsweredYesEndsEvenWithWaitingDocuments)
{
    EndingWindow w(true);
    w.dialogs.answerMessage(mrYes, QuitQuestion, mtConfirmation, TMsgDlgButtons(mbYes) | mbNo);
    w.form->Exit1->trigger();
    EXPECT_TRUE(QuitConfirmed);
    EXPECT_TRUE(Application::terminated());
    EXPECT_FALSE(w.form->CommonTimer->isActive());
    EXPECT_FALSE(w.tablesOpen());
    // Nothing is written to the settings at the end.
    EXPECT_EQ(readFileBytes(w.programDir() + "QUORVANE.INI"),
              QByteArray("[Application]\r\nPath=") + w.ws.root().toUtf8() +
                  "\r\nUser=Tester\r\nDelInterval=-1\r\n");
    // The rows are on disk.
    EXPECT_EQ(w.cli("SELECT Number FROM \"FILES.DB\";"), "1");
}

TEST(MainWindowShutdown, QuitAnsweredNoHidesTheWindowAndPollingGoesOn)
{
    EndingWindow w(false);
    w.form->show();
    w.dialogs.answerMessage(mrNo, QuitQuestion);
    w.form->Exit1->trigger();
    EXPECT_FALSE(QuitConfirmed);
    // Hidden behind the tray icon, or minimised where the desktop shows none.
    EXPECT_TRUE(w.form->isHidden() || w.form->isMinimized());
    EXPECT_TRUE(w.form->CommonTimer->isActive());
    EXPECT_TRUE(w.tablesAllOpen());
    w.tick();
    EXPECT_EQ(w.calls.count("PollComBuffers"), 1);
    // A press on the tray icon brings it back.
    w.form->TrayIcon->OnDown(w.form->TrayIcon, mbLeft, Qt::NoModifier, 0, 0);
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_FALSE(w.form->isMinimized());
    // "&Continuer" does the same.
    w.form->show();
    w.form->bCont->click();
    EXPECT_TRUE(w.form->isHidden() || w.form->isMinimized());
}

TEST(MainWindowShutdown, QuitConfirmedDuringATickIsCarriedOutWhenTheTickEnds)
{
    EndingWindow w(true);
    bool openAfterConfirming = false;
    MainFormModules().PollBreezeSources = [&w, &openAfterConfirming] {
        // The tick waits for a file here; the user quits meanwhile.
        w.form->bCloseClick(w.form->Exit1);
        openAfterConfirming = w.tablesAllOpen() && QuitConfirmed;
        return false;
    };
    w.dialogs.expectShowMessage("INTO-reg!!!");
    w.dialogs.answerMessage(mrYes, QuitQuestion);
    w.tick();
    EXPECT_TRUE(openAfterConfirming);
    EXPECT_FALSE(w.tablesOpen());
    EXPECT_FALSE(w.form->CommonTimer->isActive());
}

TEST(MainWindowShutdown, TerminationSignalEndsAsAConfirmedQuitAfterTheRunningTick)
{
    EndingWindow w(true);
    bool openAfterSignal = false;
    MainFormModules().PollComBuffers = [&w, &openAfterSignal] {
        w.form->TerminateRequested();
        openAfterSignal = w.tablesAllOpen();
        return false;
    };
    w.tick();
    EXPECT_TRUE(openAfterSignal);
    EXPECT_TRUE(QuitConfirmed);
    EXPECT_FALSE(w.tablesOpen());
    EXPECT_TRUE(w.dialogs.requests().isEmpty());
}
