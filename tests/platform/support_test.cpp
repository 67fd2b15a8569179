// The operations log, the line log, the INI shortcuts and the OK/Cancel error boxes.
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/procs.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <gtest/gtest.h>

TEST(OperationsLog, LinesCarryDateTimeAndAnsiTextOfTheLanguage)
{
    {
        TestWorkspace ws;
        WriteToLog("File tressoly.ver not foud.");
        WriteToLog("Opération réussie");
        EXPECT_EQ(ws.operationsLog(),
                  QByteArray("06/12/2026 22:10:46 - File tressoly.ver not foud.\r\n"
                             "06/12/2026 22:10:46 - Op\xE9ration r\xE9ussie\r\n"));
        AppendLogLine(ws.path("qvxfiles.log"), "first", true);
        AppendLogLine(ws.path("qvxfiles.log"), "second", false);
        EXPECT_EQ(readFileBytes(ws.path("qvxfiles.log")),
                  QByteArray("06/12/2026 22:10:46\tfirst\r\nsecond\r\n"));
    }
    TestWorkspace ws(2);
    WriteToLog("Ошибка");
    EXPECT_EQ(ws.operationsLog(), QByteArray("06.12.2026 22:10:46 - \xCE\xF8\xE8\xE1\xEA\xE0\r\n"));

    // A log it cannot write loses the line and never raises.
    WorkPath = ws.path("missing/folder/");
    EXPECT_NO_THROW(WriteToLog("lost"));
    WorkPath.clear(); // not configured: nothing is written anywhere
    EXPECT_NO_THROW(WriteToLog("lost too"));
    EXPECT_TRUE(OperationsLogFileName().isEmpty());
}

TEST(IniShortcuts, ReadAndWriteOneInteger)
{
    TestWorkspace ws;
    const QString file = ws.path("QUORVANE.INI");
    EXPECT_EQ(ReadIniInteger(file, "Application", "DelInterval", -1), -1);
    WriteIniInteger(file, "Application", "DelInterval", 30);
    EXPECT_EQ(ReadIniInteger(file, "application", "delinterval", -1), 30);
    EXPECT_EQ(readFileBytes(file), QByteArray("[Application]\r\nDelInterval=30\r\n"));
}

TEST(ErrorBoxes, OkCancelAnswersAndFormatting)
{
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, "Continuer ?", mtError, TMsgDlgButtons(mbOK) | mbCancel)
        .answerMessage(mrCancel, "Port COM3 occupé", mtError, TMsgDlgButtons(mbOK) | mbCancel);
    EXPECT_TRUE(ErrorOkCancel("Continuer ?"));
    EXPECT_FALSE(ErrorOkCancelFmt("Port COM%d %s", {3, "occupé"}));
}
