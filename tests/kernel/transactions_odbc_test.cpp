// Nested kernel transactions for MS SQL Server and Oracle through the real ODBC driver, on a SQLite
// file reached through the SQLite ODBC driver: only the outermost level commits or rolls back, and
// the mended failure paths hold.
#include "kernel_helpers.h"

#include <support/kernel_schema.h>

#include <kernel/dbaccess.h>
#include <platform/db/odbcdriver.h>
#include <platform/db/sqlquery.h>

#include <support/qt_printers.h>

#include <QProcess>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

// The SQLite ODBC driver as Debian's package registers it.
bool sqliteOdbcRegistered()
{
    QProcess p;
    p.start(QStringLiteral("odbcinst"), {QStringLiteral("-q"), QStringLiteral("-d")});
    if (!p.waitForFinished(10000))
        return false;
    return QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("[SQLite3]"));
}

class OdbcTransactions : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        if (!sqliteOdbcRegistered())
            GTEST_SKIP() << "the SQLite ODBC driver is not registered: run scripts/setup";
        odbcdb::registerDrivers();
        kernel.exec("create table T (A integer)");
        ConnectionParams params;
        params.setValue(
            odbcdb::ConnectionStringParam,
            QStringLiteral("DRIVER={SQLite3};Database=%1;Timeout=5000").arg(kernel.file()));
        AliasRegistry::global().modify("ODBC", GetParam(), params);
        db.setDatabaseName("Main");
        db.setAliasName("ODBC");
        access.SetDataBase(&db);
        access.UpdateServerKind();
    }
    void insert(int value) { db.execute(QStringLiteral("insert into T values (%1)").arg(value)); }
    // What another connection reads.
    QStringList committed() const { return kernel.rows("select A from T order by A"); }

    KernelDb kernel;
    Database db;
    TDBAccess access;
};

} // namespace

TEST_P(OdbcTransactions, InnerCommitWaitsForTheOuterOne)
{
    EXPECT_EQ(access.ServerKind(), QString(GetParam()) == "MSSQL" ? 1 : 2);
    access.StartTransaction();
    EXPECT_TRUE(db.inTransaction());
    insert(1);
    access.StartTransaction();
    insert(2);
    access.Commit();
    EXPECT_TRUE(db.inTransaction());
    EXPECT_TRUE(committed().isEmpty());
    access.Commit();
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(committed(), QStringList({"1", "2"}));
}

TEST_P(OdbcTransactions, RollbacksAndTheMendedFailurePaths)
{
    // Only the outermost rollback undoes.
    access.StartTransaction();
    access.StartTransaction();
    insert(1);
    access.Rollback();
    EXPECT_TRUE(db.inTransaction());
    access.Rollback();
    EXPECT_FALSE(db.inTransaction());
    EXPECT_TRUE(committed().isEmpty());

    // An inner rollback: the outer commit rolls everything back and says so.
    access.StartTransaction();
    insert(2);
    access.StartTransaction();
    insert(3);
    access.Rollback();
    EXPECT_EQ(kernelErrorOf([this] { access.Commit(); }),
              "Cannot commit: a part of the transaction was rolled back, so all of it has been "
              "rolled back.");
    EXPECT_FALSE(db.inTransaction());
    EXPECT_TRUE(committed().isEmpty());

    // Unpaired calls change nothing.
    EXPECT_EQ(kernelErrorOf([this] { access.Commit(); }), "Cannot commit: no transaction is open.");
    access.Rollback();
    EXPECT_EQ(access.TransactionDepth(), 0);
    access.StartTransaction();
    insert(4);
    access.Commit();
    EXPECT_EQ(committed(), QStringList({"4"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, OdbcTransactions, ::testing::Values("MSSQL", "ORACLE"));

// The whole start-up of an Oracle-kind component runs for real on the SQLite file: its statements
// are plain enough (DUAL is a table of the test database).
TEST(OdbcKernel, OracleKindStartsUpAndLoadsTheMetadata)
{
    if (!sqliteOdbcRegistered())
        GTEST_SKIP() << "the SQLite ODBC driver is not registered: run scripts/setup";
    odbcdb::registerDrivers();
    KernelDb kernel;
    kernel.exec(kernelschema::createTables());
    // Oracle keeps Booleans as characters.
    kernel.exec(
        "drop table METAFIELD;"
        "create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30),"
        " REQUIRED varchar(1), VISIBLE varchar(1), METATYPE varchar(30), DATATYPE integer,"
        " FSIZE integer, FPREC integer, CUSTOM clob, ORIGIN varchar(30), NATIVE_NAME varchar(30),"
        " ORD integer);"
        "insert into VERSION values ('DBKERNEL', 7);"
        "insert into METATABLE values ('PATIENTS', 'PATIENTS_ID', 0, 'Label=#fra#Patients', 1,"
        " null, 'T');"
        "insert into METAFIELD values ('PATIENTS', 'PATIENTS_ID', 'F', 'T', null, 1, 0, 0, null,"
        " null, null, 1);"
        "insert into METAFIELD values ('patients', 'NOM', 'T', 'F', null, 3, 30, 0, null, null,"
        " null, 2);"
        "insert into META_MACRO values ('%age', 'trunc(months_between(sysdate, %1) / 12)');");
    ConnectionParams params;
    params.setValue(odbcdb::ConnectionStringParam,
                    QStringLiteral("DRIVER={SQLite3};Database=%1").arg(kernel.file()));
    AliasRegistry::global().modify("ORA", "ORACLE", params);
    Database db;
    db.setAliasName("ORA");
    SqlQuery tables, fields;
    for (SqlQuery* q : {&tables, &fields})
        q->setDatabase(&db);
    tables.setSql("select * from METATABLE order by TABLE_NAME");
    fields.setSql("select * from METAFIELD order by TABLE_NAME,ORD");
    TDBAccess access;
    access.SetDataBase(&db);
    access.SetTables(&tables);
    access.SetFields(&fields);
    ASSERT_TRUE(access.Init());
    EXPECT_EQ(access.ServerKind(), 2);
    EXPECT_TRUE(access.BooleanAsChar());
    EXPECT_EQ(access.DecimalSeparator(), '.');
    const TTableProps* patients = access.FindTableProps("PATIENTS");
    ASSERT_TRUE(patients);
    EXPECT_TRUE(patients->TraceLog);
    EXPECT_EQ(patients->Fields.Names(), QStringList({"PATIENTS_ID", "NOM"}));
    // Booleans kept as characters read as the data-access layer reads them.
    EXPECT_TRUE(patients->FieldPropsByName("NOM")->Required);
    EXPECT_FALSE(patients->FieldPropsByName("NOM")->Visible);
    EXPECT_FALSE(patients->FieldPropsByName("PATIENTS_ID")->Required);
    EXPECT_TRUE(patients->FieldPropsByName("PATIENTS_ID")->Visible);
    EXPECT_EQ(ExpandMacros(access.MacroInfo(), "%coalesce(%age(BIRTH),0) %add 'x'"),
              "NVL(trunc(months_between(sysdate, BIRTH) / 12),0) || 'x'");
}
