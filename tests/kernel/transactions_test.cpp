// Nested kernel transactions: only the outermost level acts on the server (MS SQL Server and
// Oracle through a recording connection on SQLite), the unpaired and failing paths, the rollback
// retries and question, and the local kind, which opens no server transaction.
#include "kernel_helpers.h"

#include <kernel/dbaccess.h>
#include <platform/ui/application.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

const QString RollbackQuestion = "Rollback transaction failed.\r\nrollback refused\r\n"
                                 "======================================\r\n"
                                 "Do you want to try again rollback transaction?\r\n"
                                 "Overwise application will be terminated.";
const QString PartRolledBack = "Cannot commit: a part of the transaction was rolled back, so all "
                               "of it has been rolled back.";

// A server kind 1 or 2 database with a table T (A integer), reached through the recording driver
// under the kind's name.
class ServerTransactions : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        registerRecordingDriver(GetParam(), recorder);
        kernel.addAlias("SRV", GetParam());
        kernel.exec("create table T (A integer)");
        db.setDatabaseName("Main");
        db.setAliasName("SRV");
        access.SetDataBase(&db);
        access.UpdateServerKind();
        EXPECT_EQ(access.ServerKind(), QString(GetParam()) == "MSSQL" ? 1 : 2);
        access.SetRollbackWait([this](int ms) { waits.append(ms); });
        recorder->transactions.clear();
    }
    void TearDown() override
    {
        recorder->failRollbacks = 0;
        Application::resetTerminated();
    }
    void insert(int value) { db.execute(QStringLiteral("insert into T values (%1)").arg(value)); }
    // What another connection reads.
    QStringList committed() const { return kernel.rows("select A from T order by A"); }

    KernelDb kernel;
    Database db;
    TDBAccess access;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    QList<int> waits;
    ScopedScriptedDialogs dialogs;
};

} // namespace

TEST_P(ServerTransactions, TheServerSeesOneTransactionPerOutermostLevel)
{
    access.StartTransaction();
    access.StartTransaction();
    insert(1);
    access.Commit();
    EXPECT_EQ(recorder->transactions, QStringList({"BEGIN"}));
    EXPECT_TRUE(committed().isEmpty());
    access.Commit();
    EXPECT_EQ(committed(), QStringList({"1"}));
    access.StartTransaction();
    access.StartTransaction();
    insert(2);
    access.Rollback();
    EXPECT_TRUE(db.inTransaction());
    access.Rollback();
    EXPECT_EQ(recorder->transactions, QStringList({"BEGIN", "COMMIT", "BEGIN", "ROLLBACK"}));

    // An inner rollback turns the outer commit into a rollback; unpaired calls reach nothing.
    access.StartTransaction();
    insert(3);
    access.StartTransaction();
    access.Rollback();
    EXPECT_EQ(kernelErrorOf([this] { access.Commit(); }), PartRolledBack);
    EXPECT_EQ(kernelErrorOf([this] { access.Commit(); }), "Cannot commit: no transaction is open.");
    access.Rollback();
    EXPECT_EQ(recorder->transactions.mid(4), QStringList({"BEGIN", "ROLLBACK"}));
    EXPECT_EQ(access.TransactionDepth(), 0);
    EXPECT_FALSE(db.inTransaction());
    EXPECT_TRUE(waits.isEmpty());
    EXPECT_EQ(committed(), QStringList({"1"}));

    // A refused commit leaves the transaction open for the caller's rollback.
    recorder->failCommits = 1;
    access.StartTransaction();
    insert(4);
    EXPECT_THROW(access.Commit(), EngineError);
    EXPECT_EQ(access.TransactionDepth(), 1);
    EXPECT_TRUE(db.inTransaction());
    access.Rollback();
    EXPECT_EQ(access.TransactionDepth(), 0);
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(committed(), QStringList({"1"}));
}

TEST_P(ServerTransactions, AFailingRollbackIsRetriedThenTheUserIsAsked)
{
    // Two refusals are retried a second apart without asking.
    recorder->failRollbacks = 2;
    access.StartTransaction();
    insert(1);
    access.Rollback();
    EXPECT_EQ(recorder->transactions, QStringList({"BEGIN", "ROLLBACK", "ROLLBACK", "ROLLBACK"}));
    EXPECT_EQ(waits, QList<int>({1000, 1000}));
    EXPECT_FALSE(db.inTransaction());
    EXPECT_TRUE(committed().isEmpty());

    // The first try and ten retries fail; the user asks once more, which works.
    recorder->transactions.clear();
    waits.clear();
    recorder->failRollbacks = 11;
    dialogs.answerMessage(mrYes, RollbackQuestion, mtWarning, TMsgDlgButtons(mbYes) | mbAbort);
    access.StartTransaction();
    access.Rollback();
    EXPECT_EQ(recorder->transactions.count("ROLLBACK"), 12);
    EXPECT_EQ(waits, QList<int>(11, 1000));
    ASSERT_EQ(dialogs.requests().size(), 1);
    EXPECT_EQ(dialogs.requests().first().text, RollbackQuestion);
    EXPECT_FALSE(db.inTransaction());
    EXPECT_FALSE(Application::terminated());

    // Any other answer ends the program.
    recorder->failRollbacks = 1000;
    dialogs.answerMessage(mrAbort, RollbackQuestion);
    access.StartTransaction();
    access.Rollback();
    EXPECT_TRUE(Application::terminated());
    EXPECT_EQ(access.TransactionDepth(), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ServerTransactions, ::testing::Values("MSSQL", "ORACLE"));

namespace {

} // namespace

TEST(KernelTransactions, TheLocalKindOpensNoServerTransaction)
{
    KernelDb kernel;
    kernel.exec("create table T (A integer)");
    Database db;
    db.setAliasName("KRN");
    TDBAccess access;
    access.SetDataBase(&db);
    access.UpdateServerKind();
    ASSERT_EQ(access.ServerKind(), 3);

    access.StartTransaction();
    EXPECT_FALSE(db.inTransaction());
    db.execute("insert into T values (1)");
    // Written at once: another connection already reads it.
    EXPECT_EQ(kernel.rows("select A from T"), QStringList({"1"}));
    access.StartTransaction();
    access.Rollback();
    access.Rollback();
    EXPECT_EQ(access.TransactionDepth(), 0);
    EXPECT_EQ(kernel.rows("select A from T"), QStringList({"1"}));
    access.StartTransaction();
    access.Commit();
    EXPECT_EQ(access.TransactionDepth(), 0);

    // A batch for the application server needs its exchange; without it nothing starts.
    EXPECT_EQ(kernelErrorOf([&] { access.StartTransaction(true); }),
              "Cannot collect an update batch: the application server exchange is not "
              "available.");
    EXPECT_EQ(access.TransactionDepth(), 0);
    access.Rollback();

    RecordingExchange exchange;
    access.SetUpdateBatchExchange(&exchange);
    access.StartTransaction(true);
    EXPECT_TRUE(access.UpdateBatchOpen());
    access.StartTransaction(false);
    access.Commit();
    EXPECT_EQ(exchange.calls, QStringList({"open"}));
    access.Commit();
    EXPECT_EQ(exchange.calls, QStringList({"open", "send", "discard"}));
    EXPECT_FALSE(access.UpdateBatchOpen());

    exchange.calls.clear();
    access.StartTransaction(true);
    access.Rollback();
    EXPECT_EQ(exchange.calls, QStringList({"open", "discard"}));
    exchange.calls.clear();
    access.StartTransaction(false);
    access.Commit();
    EXPECT_TRUE(exchange.calls.isEmpty());
    EXPECT_FALSE(db.inTransaction());
}
