// The table helpers on the shared cursors (guarded post, table actions with their bounded wait
// for a busy table) and the session probe that reopens the tables.
#include "localtables_fixture.h"

#include <app/errorform.h>
#include <app/tablehelpers.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

#include <support/scoped_dialogs.h>

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
    EXPECT_EQ(f.cli("SELECT group_concat(Number) FROM \"cfg.db\";"), "1,2");

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
    EXPECT_EQ(f.cli("SELECT count(*) FROM \"cfg.db\";"), "2");
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
    int code = 0;
    try {
        TableAction(com, 0);
    } catch (const EngineError& e) {
        code = e.errorCode();
    }
    EXPECT_EQ(code, 0x2B33);
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
