// The one-second loop driven tick by tick with the clock standing still: the first tick, the
// poll order, re-entry, manual reception, direct send after six quiet ticks, new documents,
// identification and warnings; and how the program ends: closing refused while documents wait,
// the confirmed quit, refusing the confirmation, and a quit or a termination signal that arrives
// while a tick is running.
#include "mainwindow_fixture.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/mainwindow/titul.h>
#include <app/patients/directsend.h>
#include <app/sources/folder_source.h>
#include <app/sources/printer_source.h>
#include <app/sources/screen_source.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/ui/application.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// A window with one active source, after its first tick, with the calls of start-up forgotten.
struct RunningWindow : MainWindowFixture
{
    explicit RunningWindow(const QStringList& ini = {}) { startRunning(ini); }

    int count(const QString& call) const { return int(calls.count(call)); }
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

const QString QuitQuestion = QStringLiteral(
    "Fermer QUORVANE ?\n\r\n\rAttention ! Les services de QUORVANE ne seront plus opérationnels !");

bool splashAlive()
{
    for (QObject* object : applicationComponents()) {
        if (qobject_cast<TTitul*>(object))
            return true;
    }
    return false;
}

} // namespace

TEST(MainWindowLoop, FirstTickFreesTheSplashPurgesAsksForTheUserNameAndAFailureIsReportedOnce)
{
    {
        MainWindowFixture f;
        f.writeIni({"[Application]", "Path=" + f.ws.root(), "DelInterval=10"});
        f.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension) "
                        "VALUES (1, 1, 1, 'Dossier', 'TXT');");
        f.start();
        EXPECT_TRUE(splashAlive());
        f.calls.clear();
        f.dialogs.answerInput(true, "Dr Lenoir", "Nom de l'utilisateur:");
        f.firstTick();
        EXPECT_FALSE(splashAlive());
        // Ten days before 6 December 2026; and no polling on the first tick.
        EXPECT_EQ(f.calls, QStringList{"PurgeOldPackages 2026-11-26"});
        EXPECT_EQ(f.form->Label6->text(), "Dr Lenoir");
        EXPECT_TRUE(readFileBytes(f.programDir() + "QUORVANE.INI").contains("User=Dr Lenoir\r\n"));
    }

    const auto purgesWith = [](const QStringList& ini) {
        MainWindowFixture f;
        f.writeIni(QStringList{"[Application]", "Path=" + f.ws.root(), "User=Tester"} + ini);
        f.start();
        f.calls.clear();
        f.firstTick();
        return f.calls;
    };
    EXPECT_EQ(purgesWith({"DelInterval=0"}), QStringList{"PurgeOldPackages 2026-12-06"});
    EXPECT_TRUE(purgesWith({}).isEmpty());
    EXPECT_TRUE(purgesWith({"DelInterval=-1"}).isEmpty());
    // Counted back from today a negative interval would reach into days to come.
    EXPECT_TRUE(purgesWith({"DelInterval=-3"}).isEmpty());

    // A failing first tick is reported once and leaves the timer running.
    MainWindowFixture f;
    f.writeIni({"[Application]", "Path=" + f.ws.root(), "User=Tester", "DelInterval=5"});
    MainFormModules().PurgeOldPackages = [](const QDate&) {
        throw EInOutError("The exchange folder cannot be read");
    };
    f.start();
    f.dialogs.answerModal("TfError", [](TForm&) { return int(mrOk); });
    f.firstTick();
    EXPECT_TRUE(f.form->CommonTimer->isActive());
    EXPECT_EQ(f.ws.operationsLog().count("! The exchange folder cannot be read"), 1);
}

TEST(MainWindowLoop, SourcesArePolledInTheirOrderAndATickArrivingWhileOneRunsReturnsAtOnce)
{
    RunningWindow w;
    // The first tick does not poll, nor show the time.
    EXPECT_EQ(w.form->Label5->text(), QString());
    FileSourceCount = 1;
    PrinterSourceCount = 2;
    ScreenSourceNumber = 5;
    w.tick();
    EXPECT_EQ(w.calls,
              (QStringList{"PollFileSources", "PollBreezeSources", "PollPrinterSources  " + BufDir,
                           "PollComBuffers", "CaptureClipboardBitmap " + BufDir}));
    EXPECT_EQ(w.form->Label5->text(), "22:10:46");
    EXPECT_EQ(w.form->Label4->text(), "06/12/2026");

    // Without folder, printer and screen sources only the Breeze and serial polls run. A poll
    // that opens a dialog: the timer keeps firing inside its modal loop.
    FileSourceCount = 0;
    PrinterSourceCount = 0;
    ScreenSourceNumber = 0;
    w.calls.clear();
    MainFormModules().PollBreezeSources = [&w] {
        w.calls << "PollBreezeSources";
        TForm dialog;
        dialog.ShowModal();
        return false;
    };
    bool busyInside = false;
    w.dialogs.answerModal("TForm", [&](TForm&) {
        busyInside = TimerBusy;
        w.form->Label5->clear();
        w.tick(2);
        return int(mrOk);
    });
    w.tick();
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(w.calls, (QStringList{"PollBreezeSources", "PollComBuffers"}));
    // The inner ticks did not even reach the clock.
    EXPECT_EQ(w.form->Label5->text(), QString());
    EXPECT_FALSE(TimerBusy);
}

TEST(MainWindowLoop, ManualReceptionAndTheSourcesPanelStopPolling)
{
    RunningWindow w({"WaitMode=1"});
    w.form->Label5->clear();
    w.tick(2);
    EXPECT_TRUE(w.calls.isEmpty()) << w.calls.join(", ").toStdString();
    EXPECT_EQ(w.form->Label5->text(), "22:10:46"); // the clock still runs

    // Showing the window polls once, and manual reception stays on.
    w.form->show();
    w.tick();
    EXPECT_EQ(w.count("PollBreezeSources"), 1);

    // Switched off from the menu: polling again, and the setting is written.
    w.form->IWaitMode->trigger();
    EXPECT_FALSE(WaitMode);
    EXPECT_TRUE(readFileBytes(w.programDir() + "QUORVANE.INI").contains("WaitMode=0\r\n"));
    w.tick();
    EXPECT_EQ(w.count("PollBreezeSources"), 2);

    // The sources panel open: nothing polled.
    w.form->ConfigBtn->click();
    w.tick();
    EXPECT_EQ(w.count("PollBreezeSources"), 2);
    w.form->ConfigBtn->click();
    w.tick();
    EXPECT_EQ(w.count("PollBreezeSources"), 3);
}

TEST(MainWindowLoop, DirectSendRunsOnTheSixthQuietTickInARow)
{
    RunningWindow w;
    w.tick(5);
    EXPECT_EQ(w.count("ExportPendingDocuments"), 0);
    w.tick();
    EXPECT_EQ(w.count("ExportPendingDocuments"), 1);
    w.tick(12);
    EXPECT_EQ(w.count("ExportPendingDocuments"), 1); // nothing new since

    // A document registered between ticks counts the quiet ticks from 0 again.
    w.form->RefreshDocuments(0);
    w.tick(6);
    EXPECT_EQ(w.count("ExportPendingDocuments"), 1);
    w.form->RefreshDocuments(7);
    w.tick(5);
    EXPECT_EQ(w.count("ExportPendingDocuments"), 1);
    w.tick();
    EXPECT_EQ(w.count("ExportPendingDocuments"), 2);

    // A document under identification in the way: tried again six quiet ticks later.
    MainFormModules().ExportPendingDocuments = [&w](int& flags) {
        w.calls << "ExportPendingDocuments";
        flags = dsHeldBack;
    };
    w.form->RefreshDocuments(1);
    w.tick(12);
    EXPECT_EQ(w.count("ExportPendingDocuments"), 4);
}

TEST(MainWindowLoop, ANewDocumentEndsTheTickAndAWarningRaisesTheWindowOnce)
{
    RunningWindow w;
    // The list shows it; the screen is still polled, but identification waits for the next tick.
    w.tick(4);
    EXPECT_EQ(IdleTicks, 4);
    w.addDocument(1, 1, 1);
    bool registered = true;
    MainFormModules().PollComBuffers = [&] { return std::exchange(registered, false); };
    ScreenSourceNumber = 5;
    w.calls.clear();
    w.tick();
    EXPECT_EQ(rowTexts(w.form->ListView1),
              QStringList{"Dossier|A identifier...|06/12/2026 (22:10:46)"});
    EXPECT_EQ(IdleTicks, 0);
    EXPECT_EQ(w.calls, (QStringList{"PollBreezeSources", "CaptureClipboardBitmap " + BufDir}));
    w.tick();
    EXPECT_EQ(w.count("IdentifyFile 1"), 1);

    // A warning brings the hidden window forward once, and is cleared.
    w.deleteDocument(1);
    w.addDocument(2, 1, 2);
    w.form->hide();
    w.tick();
    EXPECT_EQ(IdleTicks, 0);
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_FALSE(w.form->isMinimized());
    EXPECT_EQ(w.cli("SELECT Number, NeedId FROM \"FILES.DB\";"), "2|0");
    w.form->hide();
    w.tick();
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_EQ(IdleTicks, 1);
}

// A log on a full disk that takes a short line between the ones it loses is told once; the same
// cause is told again once the sources work again.
TEST(MainWindowLoop, ALogThatLosesLinesIsToldOncePerCause)
{
    RunningWindow w;
    const auto noFaults = qScopeGuard([] { fileops::resetFaults(); });
    const auto logBoxes = [&] {
        QCoreApplication::processEvents();
        w.tick();
        QCoreApplication::processEvents();
        return std::count_if(w.dialogs.requests().begin(), w.dialogs.requests().end(),
                             [](const ScriptedDialogs::Request& r) {
                                 return r.text.contains(OperationsLogFileName());
                             });
    };
    const auto loseOne = [] {
        fileops::failNth(fileops::Op::Append, 1, ENOSPC);
        WriteToLog("lost");
    };
    w.dialogs.answerMessage(mrOk, OperationsLogFileName(), mtError);
    loseOne();
    EXPECT_EQ(logBoxes(), 1);
    WriteToLog("written");
    loseOne();
    EXPECT_EQ(logBoxes(), 1);

    bool registered = true;
    MainFormModules().PollComBuffers = [&] { return std::exchange(registered, false); };
    w.tick();
    w.dialogs.answerMessage(mrOk, OperationsLogFileName(), mtError);
    WriteToLog("written");
    loseOne();
    EXPECT_EQ(logBoxes(), 2);
    EXPECT_TRUE(w.dialogs.remaining().isEmpty());
}

TEST(MainWindowLoop, AWaitingDocumentGoesToTheSearchThenToTheDialogAndAFailureStillCleansUp)
{
    RunningWindow w;
    w.addDocument(1, 1, 0);
    w.addDocument(2, 1, 1);
    bool activeInDialog = false;
    MainFormModules().ShowIdDlg = [&] {
        w.calls << QStringLiteral("ShowIdDlg %1").arg(CurrentNumber);
        activeInDialog = IdentificationActive;
        throw Exception("The patients cannot be listed");
    };
    w.dialogs.answerModal("TfError", [](TForm&) { return int(mrOk); });
    w.tick();
    EXPECT_EQ(w.calls.mid(2), (QStringList{"IdentifyFile 2", "ShowIdDlg 2"}));
    EXPECT_TRUE(activeInDialog);
    // The dialog failed: the flag is cleared and the table put back all the same.
    EXPECT_FALSE(IdentificationActive);
    EXPECT_FALSE(TimerBusy);
    EXPECT_EQ(DataTables->files->indexName(), QString());
    EXPECT_TRUE(w.ws.operationsLog().contains("! The patients cannot be listed"));
    EXPECT_EQ(IdleTicks, 0);

    // Found by the automatic search on the next tick: no dialog.
    MainFormModules().IdentifyFile = [&](int number) {
        w.calls << QStringLiteral("IdentifyFile %1").arg(number);
        EXPECT_EQ(DataTables->files->fieldByName("Number")->asInteger(), number);
        DataTables->files->edit();
        DataTables->files->fieldByName("NeedId")->setAsInteger(0);
        DataTables->files->post();
        return true;
    };
    w.calls.clear();
    w.tick();
    EXPECT_EQ(w.calls.mid(2), QStringList{"IdentifyFile 2"});
    EXPECT_EQ(rowTexts(w.form->ListView1),
              (QStringList{"Dossier||06/12/2026 (22:10:46)", "Dossier||06/12/2026 (22:10:46)"}));
    w.calls.clear();
    w.tick();
    EXPECT_EQ(w.calls.mid(2), QStringList{});
}

TEST(MainWindowShutdown, ACloseRequestEndsNothingWithoutTheQuitQuestion)
{
    RunningWindow w;
    w.addDocument(1, 1, 0);
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

    // Without documents, the quit command asks: No keeps the program polling, Yes ends it (even
    // while documents wait: see below), writing nothing to the settings.
    w.deleteDocument(1);
    for (const int answer : {mrNo, mrYes}) {
        w.dialogs.answerMessage(answer, QuitQuestion, mtConfirmation, TMsgDlgButtons(mbYes) | mbNo);
        EXPECT_FALSE(w.form->close());
        EXPECT_TRUE(w.tablesAllOpen());
        QCoreApplication::processEvents();
        EXPECT_EQ(w.form->CommonTimer->isActive(), answer == mrNo);
        EXPECT_EQ(w.tablesOpen(), answer == mrNo);
        EXPECT_EQ(Application::terminated(), answer == mrYes);
    }
    EXPECT_EQ(w.dialogs.requests().size(), 2);
    EXPECT_EQ(readFileBytes(w.programDir() + "QUORVANE.INI"),
              QByteArray("[Application]\r\nPath=") + w.ws.root().toUtf8() +
                  "\r\nUser=Tester\r\nDelInterval=-1\r\n");
}

TEST(MainWindowShutdown, QuitAnsweredNoHidesTheWindowAndPollingGoesOn)
{
    RunningWindow w;
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
    RunningWindow w; // a document waits: the quit command ends the program all the same
    w.addDocument(1, 1, 0);
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
    EXPECT_TRUE(Application::terminated());
}

TEST(MainWindowShutdown, TerminationSignalEndsAsAConfirmedQuitAfterTheRunningTick)
{
    RunningWindow w;
    w.addDocument(1, 1, 0);
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
    EXPECT_EQ(w.calls.count("StopComSources"), 1) << "the analysers' own dialogues end with it";
    EXPECT_TRUE(w.dialogs.requests().isEmpty());
}
