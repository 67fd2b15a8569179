// Start-up of the main window against a temporary program folder: the settings file of a first
// start, the folders, the working folder's case, the practice software's version file, the
// sources panel of a workstation without sources, and the failure path.
#include "mainwindow_fixture.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/errorform.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/exception.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The box that says start-up failed, then the error window, whose description goes to `described`.
void expectFailureReport(ScriptedDialogs& dialogs, QString& described)
{
    dialogs.answerMessage(mrOk, "Impossible d'initialiser QUORVANE", mtError, TMsgDlgButtons(mbOK));
    dialogs.answerModal("TfError", [&described](TForm& form) {
        described = static_cast<TfError&>(form).Descr->toPlainText();
        return int(mrOk);
    });
}

} // namespace

TEST(MainWindowStartup, FirstStartOpensTheSourcesPanelAndStartsTheSourcesInTheirOrder)
{
    // The settings file and the folders of a first start are checked on the real program.
    MainWindowFixture f;
    f.start();
    ASSERT_FALSE(f.form->StartupFailed());
    EXPECT_EQ(WorkPath, f.programDir() + "BIN/");
    EXPECT_EQ(LogFileName, f.programDir() + "qvxfiles.log");
    QStringList started = f.calls;
    started.removeAll("CheckDatabaseVersion");
    EXPECT_EQ(started.mid(0, 6),
              (QStringList{"StartComSources", "CheckFileSources", "InitCurrentPackage",
                           "CheckBreezeSources", "CheckPrinterSources", "InitClipboardSource"}));
    EXPECT_FALSE(f.calls.contains("ConnectDatabase")) << "no practice software is configured";
    // No source yet: the window opens on the sources panel, so nothing is polled.
    EXPECT_TRUE(f.form->ConfigBtn->isChecked());
    EXPECT_TRUE(ConfigPanelOpen);
    EXPECT_TRUE(f.calls.contains("CloseAllComPorts"));
    EXPECT_TRUE(f.form->isVisible());
    EXPECT_TRUE(f.form->CommonTimer->isActive());
    // Received Max-M files are rewritten into their stored layout as they are registered.
    const QString mxm = f.ws.path("r.mxm");
    writeFileBytes(mxm, testData("fuzz/decoders/maxm_received_2x200.mxm"));
    EXPECT_EQ(AddImportedFile(CurrentPack, mxm, 1, 0, "mxm"), 1);
    EXPECT_EQ(readFileBytes(mxm), testData("analysers/maxm_stored_2x256.mxm"));
}

TEST(MainWindowStartup, AConfiguredFolderKeepsItsCaseAnEmptyOneIsTheDefaultAndSettingsAreRead)
{
    {
        MainWindowFixture f;
        f.writeIni({"[Application]", "Path=", "User=Tester"});
        f.start();
        ASSERT_FALSE(f.form->StartupFailed());
        EXPECT_EQ(WorkPath, f.programDir() + "BIN/") << "never the root";
        EXPECT_TRUE(QFileInfo(f.programDir() + "BIN/buf").isDir());
    }
    MainWindowFixture f;
    QDir().mkpath(f.ws.path("lower/work"));
    f.writeIni({"[Application]", "Path=" + f.ws.path("lower/work"), "User=Anne Martin",
                "WaitMode=1", "RAR_Path=/usr/bin/rar", "NeedCompression=1", "[Troubles]",
                "CheckSession=1", "[Info]", "OrgName1=Laboratoire du Parc"});
    f.start();
    ASSERT_FALSE(f.form->StartupFailed());
    // Used as written, a separator added; nothing upper-cased beside it.
    EXPECT_EQ(WorkPath, f.ws.path("lower/work/"));
    EXPECT_TRUE(QFileInfo(f.ws.path("lower/work/buf")).isDir());
    EXPECT_FALSE(QFileInfo::exists(f.ws.path("LOWER")));
    EXPECT_FALSE(QFileInfo::exists(f.ws.path("lower/WORK")));
    EXPECT_EQ(f.form->Label6->text(), "Anne Martin");
    EXPECT_TRUE(WaitMode && f.form->IWaitMode->isChecked() && NeedCompression && CheckSession);
    EXPECT_EQ(RarPath, "/usr/bin/rar");
    EXPECT_EQ(OrgName1, "Laboratoire du Parc");
}

TEST(MainWindowStartup, PracticeSoftwareFolderAndItsVersionFile)
{
    // A folder without the version file: one line in the operations log, no connection.
    {
        MainWindowFixture f;
        QDir().mkpath(f.ws.path("tressoly"));
        f.writeUsualIni({"Tressoly_Path=" + f.ws.path("tressoly")});
        f.start();
        EXPECT_TRUE(f.ws.operationsLog().contains(" - File tressoly.ver not foud.\r\n"));
        EXPECT_FALSE(f.calls.contains("ConnectDatabase"));
    }
    // The file in lower case is found; a refused connection puts the data folder in its place.
    {
        MainWindowFixture f;
        writeFileBytes(f.ws.path("tressoly/tressoly.ver"), "[Application]\r\nProgName=T\r\n");
        f.writeUsualIni({"Tressoly_Path=" + f.ws.path("tressoly")});
        f.start();
        EXPECT_TRUE(f.calls.contains("ConnectDatabase"));
        EXPECT_FALSE(PracticeDBInUse);
        EXPECT_EQ(TressolyPath, DataDir);
        EXPECT_FALSE(f.form->miDirectSend->isVisible());
        EXPECT_TRUE(f.form->bTransfer->isEnabled());
    }
    // Connected: direct send is set up and offered under the practice software's name; the local
    // patient tables are left to the practice database.
    MainWindowFixture f;
    writeFileBytes(f.ws.path("tressoly/TRESSOLY.VER"),
                   "[Application]\r\nProgName=Tressoly Pro\r\n");
    f.writeUsualIni({"Tressoly_Path=" + f.ws.path("tressoly")});
    MainFormModules().ConnectDatabase = [] { return true; };
    f.start();
    EXPECT_TRUE(PracticeDBInUse);
    EXPECT_TRUE(f.calls.contains("InitDirectSend " + f.ws.path("tressoly")));
    EXPECT_EQ(f.form->miDirectSend->text(), "Transfert direct vers Tressoly Pro");
    EXPECT_TRUE(f.form->miDirectSend->isVisible() && f.form->miDirectSend->isChecked());
    EXPECT_FALSE(f.form->bTransfer->isEnabled());
    EXPECT_FALSE(DataTables->Patients_Local->isActive());
    EXPECT_TRUE(DataTables->files->isActive());
}

TEST(MainWindowStartup, FailureIsLoggedReportedAndEndsTheProgramAndAMissingFolderIsNotMade)
{
    {
        MainWindowFixture f;
        f.writeUsualIni();
        MainFormModules().InitCurrentPackage = [] {
            throw EInOutError("The packages table cannot be read");
        };
        QString described;
        expectFailureReport(f.dialogs, described);
        f.start();
        EXPECT_TRUE(f.form->StartupFailed());
        EXPECT_FALSE(f.form->CommonTimer->isActive());
        EXPECT_EQ(described, "The packages table cannot be read");
        const QByteArray log = f.ws.operationsLog();
        EXPECT_TRUE(log.contains(" - INIT Failure: The packages table cannot be read\r\n"))
            << log.toStdString();
        EXPECT_TRUE(log.contains(" - ! The packages table cannot be read\r\n"))
            << log.toStdString();
        EXPECT_EQ(screenCursor(), crDefault);
    }
    MainWindowFixture f;
    const QString share = f.ws.path("share/quorvane");
    f.writeIni({"[Application]", "Path=" + share, "User=Tester"});
    QString described;
    expectFailureReport(f.dialogs, described);
    f.start();
    EXPECT_TRUE(f.form->StartupFailed());
    EXPECT_FALSE(QFileInfo::exists(share));
    EXPECT_TRUE(described.contains(share + "/buf")) << described.toStdString();
    EXPECT_FALSE(f.calls.contains("CheckDatabaseVersion"));
}

TEST(MainWindowStartup, RefusedUpgradeOrAProgramEndedByTheKernelEndsWithoutAWord)
{
    for (bool byTheKernel : {true, false}) {
        MainWindowFixture f;
        writeFileBytes(f.ws.path("tressoly/TRESSOLY.VER"), "[Application]\r\nVersion=9.00\r\n");
        f.writeUsualIni({"Tressoly_Path=" + f.ws.path("tressoly")});
        if (byTheKernel) {
            MainFormModules().ConnectDatabase = [] {
                Application::terminate();
                return false;
            };
        } else {
            MainFormModules().CheckDatabaseVersion = [] { return false; };
        }
        f.start();
        EXPECT_TRUE(f.form->StartupFailed());
        EXPECT_TRUE(f.dialogs.requests().isEmpty());
        EXPECT_FALSE(f.calls.contains("StartComSources"));
        EXPECT_FALSE(f.form->CommonTimer->isActive());
    }
}
