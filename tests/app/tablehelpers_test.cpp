// The program's exception reporting (lock and damage conditions, the error window and its log),
// the table helpers on the shared cursors (guarded post, table actions with their bounded wait for
// a busy table) and the session probe that reopens the tables.
#include "localtables_fixture.h"

#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/tablehelpers.h>
#include <app/errorform.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/exception.h>
#include <platform/support/globals.h>

#include <support/db_helpers.h>
#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QPlainTextEdit>

#include <gtest/gtest.h>

TEST(FlushTable, PostsOrReportsAndCancels)
{
    LocalTablesFixture f;
    LocalTable& cfg = *f.tables->cfg;
    EXPECT_FALSE(FlushTable(cfg, QString())); // nothing being edited
    f.addSource(1, 1);
    cfg.append();
    cfg.fieldByName("Number")->setAsInteger(2);
    EXPECT_TRUE(FlushTable(cfg, QString()));

    // A key violation with no message of the caller's: the error window, then the log line.
    ScopedScriptedDialogs dialogs;
    QString shown;
    dialogs.answerModal("TfError", [&](TForm& form) {
        shown = static_cast<TfError&>(form).Descr->toPlainText();
        return mrOk;
    });
    cfg.append();
    cfg.fieldByName("Number")->setAsInteger(1);
    EXPECT_FALSE(FlushTable(cfg, QString()));
    EXPECT_EQ(cfg.state(), DataSet::State::Browse);
    EXPECT_TRUE(shown.startsWith("Erreur No.9729 38/1 - Key violation.")) << shown.toStdString();
    const QByteArray log = f.ws.operationsLog();
    EXPECT_LT(log.indexOf("DB! 9729 38/1 - Key violation."), log.indexOf("DB! SAFEPOST: cfg.db"));

    // With a message of the caller's: that message in an error box, nothing logged.
    dialogs.answerMessage(mrOk, "Source non enregistrée", mtError, TMsgDlgButtons(mbOK));
    cfg.append();
    cfg.fieldByName("Number")->setAsInteger(2);
    EXPECT_FALSE(FlushTable(cfg, "Source non enregistrée"));
    EXPECT_EQ(cfg.state(), DataSet::State::Browse);
    EXPECT_EQ(f.ws.operationsLog(), log);
    EXPECT_EQ(f.cli("SELECT group_concat(Number) FROM \"cfg.db\";"), "1,2");
}

TEST(TableAction, OpensClosesRefreshesAndGivesUpOnATableHeldByAnotherProgram)
{
    LocalTablesFixture f;
    LocalTable& com = *f.tables->com;
    TableAction(com, 1);
    EXPECT_FALSE(com.isActive());
    // A row written behind the closed cursor's back is there once it is opened again.
    f.tables->LocalDB->execute("INSERT INTO \"com.DB\" (Configuration, Com) VALUES (3, 2)");
    TableAction(com, 0);
    EXPECT_TRUE(TableActionGuarded(com, {3}));
    EXPECT_EQ(com.fieldByName("Com")->asInteger(), 2);
    EXPECT_FALSE(TableActionGuarded(com, {4}));
    // Closing posts the pending edit first.
    com.edit();
    com.fieldByName("Com")->setAsInteger(5);
    TableAction(com, 1);
    EXPECT_EQ(f.cli("SELECT Com FROM \"com.DB\" WHERE Configuration = 3;"), "5");

    // The busy retry is bounded: the error reaches the caller.
    ExclusiveHolder holder("com.DB");
    EXPECT_EQ(dbtest::engineCodeOf([&] { TableAction(com, 0); }), 0x2B33);
    EXPECT_FALSE(com.isActive());
    holder.table.close();
    TableAction(com, 0);
    EXPECT_TRUE(com.isActive());
}

TEST(CheckTables, ProbesOnlyWhenAskedAndReopensAfterAFailure)
{
    LocalTablesFixture f;
    f.addSource(1, 1);
    LocalTable& cfg = *f.tables->cfg;
    cfg.close();
    EXPECT_TRUE(CheckTables()); // [Troubles] CheckSession off: nothing is probed
    EXPECT_FALSE(cfg.isActive());

    CheckSession = true;
    EXPECT_FALSE(CheckTables());
    EXPECT_TRUE(cfg.isActive());
    // The tables that were open are open again, on a new connection.
    for (LocalTable* table : f.tables->StartupTables(true))
        EXPECT_TRUE(table->isActive()) << table->tableName().toStdString();
    EXPECT_TRUE(cfg.findKey({1}));
    EXPECT_TRUE(CheckTables());
}

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

TEST_F(ExceptionReport, EngineErrorsLockDamageAndTheRestEachGetTheirBoxAndTheirLogLines)
{
    // Record locked: a box with Retry; retried, it goes on to the error window. 0x2801 = 10241:
    // category 0x28 = 40, sub-code 1.
    dialogs.answerMessage(mrOk, "Elle est bloquée par un autre utilisateur.", mtWarning,
                          TMsgDlgButtons(mbOK) | mbRetry);
    LogException(EngineError(0x2801, "Record locked by another user."));
    EXPECT_TRUE(ws.operationsLog().isEmpty());
    dialogs.answerMessage(mrRetry);
    expectErrorWindow();
    LogException(EngineError(0x2801, "Record locked by another user."));
    EXPECT_EQ(shown, "Erreur No.10241 40/1 - Record locked by another user.");
    // Every entry of an engine error is shown and logged. 0x2C01 = 11265: category 44.
    expectErrorWindow();
    LogException(EngineError({{0x2C01, "General SQL error.", 0}, {0x3E06, "Invalid column", 207}}));
    EXPECT_EQ(shown, "Erreur No.11265 44/1 - General SQL error.\nInvalid column");

    // Lock and damage conditions have their standard boxes; editing and conversion errors are
    // shown and not logged.
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
    dialogs.expectException("'x' is not a valid integer value")
        .expectException("must have a value");
    LogException(EConvertError("'x' is not a valid integer value"));
    LogException(EDBEditError("Field 'Nom' must have a value"));
    EXPECT_EQ(ws.operationsLog(),
              logLines({"DB! 10241 40/1 - Record locked by another user.",
                        "DB! 11265 44/1 - General SQL error.", "DB! Invalid column",
                        "!!!! Lock violation", "!!!! Corrupted Database", "!!!! Corrupted Database",
                        "!!!! Corrupted Database", "!!!! Corrupted Database",
                        "!!!! Corrupted Database"}));
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

// Reports held over a tick: logged as they happen, shown afterwards one box per cause, and a
// cause told once stays told until the sources work again.
TEST_F(ExceptionReport, HeldReportsAreLoggedAtOnceAndEachCauseIsShownOnce)
{
    DiscardHeldReports();
    const EngineError busy(0x2B33, "Table is busy.");
    {
        const HeldReports held;
        AppException(nullptr, busy);
        AppException(nullptr, Exception("Disk full"));
        AppException(nullptr, busy);
        ShowHeldReports(); // still held: nothing is shown
        EXPECT_TRUE(dialogs.requests().isEmpty());
    }
    EXPECT_EQ(ws.operationsLog(),
              logLines({"!!!! Lock violation", "! Disk full", "!!!! Lock violation"}));
    ASSERT_TRUE(HeldReportsWaiting());

    dialogs.answerMessage(mrOk, "Le serveur est surchargé.", mtWarning);
    // A tick under the error window: a cause told already adds nothing, a new one is shown
    // after it.
    dialogs.answerModal("TfError", [&](TForm&) {
        {
            const HeldReports held;
            AppException(nullptr, Exception("Disk full"));
            AppException(nullptr, Exception("Patients unreadable"));
        }
        EXPECT_FALSE(HeldReportsWaiting()); // the window open takes it next
        ShowHeldReports();
        return mrOk;
    });
    expectErrorWindow();
    ShowHeldReports();
    EXPECT_EQ(shown, "Patients unreadable");
    EXPECT_FALSE(HeldReportsWaiting());

    // Still locked: no second box. Once a document is registered, the next lock is told again.
    {
        const HeldReports held;
        AppException(nullptr, busy);
    }
    EXPECT_FALSE(HeldReportsWaiting());
    ForgetToldCauses();
    {
        const HeldReports held;
        AppException(nullptr, busy);
    }
    dialogs.answerMessage(mrOk, "Le serveur est surchargé.", mtWarning);
    ShowHeldReports();

    // A window the polling opened under a box (the identification dialog) reports its own
    // failure at once.
    {
        const HeldReports held;
        AppException(nullptr, Exception("Index damaged"));
    }
    dialogs.answerModal("TfError", [&](TForm&) {
        AppException(nullptr, EConvertError("Date invalide"));
        return mrOk;
    });
    dialogs.expectException("Date invalide");
    ShowHeldReports();
}
