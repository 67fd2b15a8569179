// The program's exception reporting: lock and damage conditions, the error window and its log.
#include <app/apperror.h>
#include <app/errorform.h>
#include <platform/exception.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QPlainTextEdit>
#include <gtest/gtest.h>

namespace {

QByteArray logLines(std::initializer_list<const char*> texts)
{
    QByteArray out;
    for (const char* t : texts)
        out += QByteArray("06/12/2026 22:10:46 - ") + QString::fromUtf8(t).toLatin1() + "\r\n";
    return out;
}

class ExceptionReport : public ::testing::Test
{
protected:
    // The error window is expected next; its description is kept in `shown`.
    void expectErrorWindow()
    {
        dialogs.answerModal("TfError", [this](TForm& form) {
            shown = static_cast<TfError&>(form).Descr->toPlainText();
            return mrOk;
        });
    }

    TestWorkspace ws;
    ScopedScriptedDialogs dialogs;
    QString shown;
};

} // namespace

TEST_F(ExceptionReport, EngineErrorsGoToTheErrorWindowWithEveryEntryAndRecordLockedOnlyOnRetry)
{
    dialogs.answerMessage(mrOk, "Elle est bloquée par un autre utilisateur.", mtWarning,
                          TMsgDlgButtons(mbOK) | mbRetry);
    LogException(EngineError(0x2801, "Record locked by another user."));
    EXPECT_TRUE(ws.operationsLog().isEmpty());

    // Retried, it goes on to the error window. 0x2801 = 10241: category 0x28 = 40, sub-code 1.
    dialogs.answerMessage(mrRetry);
    expectErrorWindow();
    LogException(EngineError(0x2801, "Record locked by another user."));
    EXPECT_EQ(shown, "Erreur No.10241 40/1 - Record locked by another user.");

    // 0x2C01 = 11265: category 44, sub-code 1.
    expectErrorWindow();
    LogException(EngineError({{0x2C01, "General SQL error.", 0}, {0x3E06, "Invalid column", 207}}));
    EXPECT_EQ(shown, "Erreur No.11265 44/1 - General SQL error.\nInvalid column");
    EXPECT_EQ(ws.operationsLog(),
              logLines({"DB! 10241 40/1 - Record locked by another user.",
                        "DB! 11265 44/1 - General SQL error.", "DB! Invalid column"}));
}

TEST_F(ExceptionReport, LockDamageEditingAndConversionErrorsUseTheirStandardBoxes)
{
    dialogs.answerMessage(mrOk, "Le serveur est surchargé. Vous devez relancer le logiciel.",
                          mtWarning, TMsgDlgButtons(mbOK));
    LogException(EngineError(0x2B33, "Table is busy."));
    for (int code : {0x2201, 0x2302, 0x2B06, 0x2F02, 0x3302}) {
        dialogs.answerMessage(mrOk,
                              "Vous devez réparer la base de données.\n\rTous les utilisateurs "
                              "doivent quitter le logiciel.",
                              mtWarning, TMsgDlgButtons(mbOK));
        LogException(EngineError(code, "Corrupt table."));
    }
    // Editing and conversion errors are not logged.
    dialogs.expectException("'x' is not a valid integer value")
        .expectException("must have a value");
    LogException(EConvertError("'x' is not a valid integer value"));
    LogException(EDBEditError("Field 'Nom' must have a value"));
    EXPECT_EQ(ws.operationsLog(), logLines({"!!!! Lock violation", "!!!! Corrupted Database",
                                            "!!!! Corrupted Database", "!!!! Corrupted Database",
                                            "!!!! Corrupted Database", "!!!! Corrupted Database"}));
}

TEST_F(ExceptionReport, OtherErrorsLogWhatTheUserTypedAndASecondOneWhileReportingIsIgnored)
{
    dialogs.answerModal("TfError", [&](TForm& form) {
        auto& window = static_cast<TfError&>(form);
        shown = window.Descr->toPlainText();
        window.Memo1->setPlainText("I clicked Transfer\ntwice");
        AppException(nullptr, Exception("second")); // no second window, nothing logged
        return mrOk;
    });
    AppException(nullptr, Exception("Disk full"));
    EXPECT_EQ(shown, "Disk full");
    // Once the first report is over, the handler works again.
    expectErrorWindow();
    LogException(Exception("third"));
    EXPECT_EQ(ws.operationsLog(),
              logLines({"! Disk full", "> I clicked Transfer", "> twice", "! third"}));
}
