// The access component's macro table: built-in lines of the connection's server kind, the rows of
// META_MACRO with their duplicate warnings, golden expansions for MS SQL Server and Oracle, and
// expanded statements run on SQLite for the local kind.
#include "kernel_helpers.h"

#include <support/kernel_schema.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

QString duplicate(const QString& code)
{
    return "Duplicate macros " + code +
           " - the system macros kept, the stat module macros will be inaccessible.";
}

} // namespace

TEST(KernelMacros, LocalKindReadsMetaMacroAndRunsTheExpandedStatements)
{
    KernelDb kernel;
    kernel.exec(kernelschema::createTables());
    kernel.exec("create table P (NAME varchar(20), FIRST varchar(20), NICK varchar(20),"
                " SEX integer, ACTIVE boolean);"
                "insert into P values ('DUPONT', 'Jean', null, 1, 1);"
                "insert into P values ('MARTIN', 'Anne', 'Nanou', 2, 0);"
                // A built-in name in capitals is a duplicate; a value stored with bare line
                // feeds stays one macro; the SQLite stand-in %coalesce gives way silently.
                "insert into META_MACRO values ('%ADD', '-');"
                "insert into META_MACRO values ('%full', '%1 %add '' ''' || char(10) || '%add %2');"
                "insert into META_MACRO values ('%COALESCE', 'ifnull(%1,%2)');"
                "insert into META_MACRO values ('%full', 'x');");
    Database db;
    db.setAliasName("KRN");
    TDBAccess access;
    access.SetDataBase(&db);

    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, duplicate("%ADD"), mtWarning)
        .answerMessage(mrOk, duplicate("%full"), mtWarning);
    EXPECT_TRUE(access.LoadMacros());
    EXPECT_EQ(access.MacroInfo().Names,
              QStringList({"add", "join", "COALESCE", "true", "false", "case", "full"}));
    EXPECT_EQ(access.MacroInfo().Values.last(), "%1 %add ' ' %add %2");

    const QString sql =
        ExpandMacros(access.MacroInfo(), "select %full(NAME,FIRST), %coalesce(NICK,'-'),"
                                         " %case(SEX,1,'M','F') from P where ACTIVE = %true");
    EXPECT_EQ(queryRows(db, sql), QStringList({"DUPONT Jean|-|M"}));
    EXPECT_EQ(
        queryRows(db, ExpandMacros(access.MacroInfo(), "select NAME from P where ACTIVE = %false")),
        QStringList({"MARTIN"}));
}

TEST(KernelMacros, AMissingMetaMacroLeavesTheBuiltInsSilently)
{
    KernelDb kernel;
    kernel.exec("create table X (A integer)");
    Database db;
    db.setAliasName("KRN");
    TDBAccess access;
    access.SetDataBase(&db);
    ScopedScriptedDialogs dialogs; // any dialog would fail the test
    EXPECT_TRUE(access.LoadMacros());
    EXPECT_EQ(access.MacroInfo().Names,
              QStringList({"add", "join", "coalesce", "true", "false", "case"}));
}

TEST(KernelMacros, GoldenExpansionsOfTheServerKinds)
{
    const QString sql = "select %coalesce(A,0) %add B from T where X%join = Y and F = %true"
                        " and G = %false and U = %user and %case(K,1,'a','b') = 'a'";
    struct Case
    {
        const char* driver;
        const char* flag; // _KRN_SYS_FLAGS USE_BOOLEAN_CHAR
        QStringList statements;
        QString expanded;
    };
    const QList<Case> cases = {
        {"MSSQL",
         "0",
         {"select VALUE from _KRN_SYS_FLAGS where Upper(FLAG) = Upper('USE_BOOLEAN_CHAR')",
          "select * from META_MACRO"},
         "select coalesce(A,0) + B from T where X = Y and F = 1 and G = 0 and U = user_id()"
         " and case K when 1 then 'a' else 'b' end = 'a'"},
        {"MSSQL",
         "1",
         {"select VALUE from _KRN_SYS_FLAGS where Upper(FLAG) = Upper('USE_BOOLEAN_CHAR')",
          "select * from META_MACRO"},
         "select coalesce(A,0) + B from T where X = Y and F = 'T' and G = 'F' and U = user_id()"
         " and case K when 1 then 'a' else 'b' end = 'a'"},
        {"ORACLE",
         "0",
         {"select \"_KRN_SYS_FLAGS\".\"VALUE\" from \"_KRN_SYS_FLAGS\" where Upper(FLAG) = "
          "Upper('USE_BOOLEAN_CHAR')",
          "select * from META_MACRO"},
         "select NVL(A,0) || B from T where X(+) = Y and F = 'T' and G = 'F' and U = uid"
         " and DECODE(K,1,'a','b') = 'a'"},
    };
    for (const Case& c : cases) {
        auto recorder = std::make_shared<Recorder>();
        registerRecordingDriver(c.driver, recorder);
        KernelDb kernel;
        kernel.exec(kernelschema::createTables());
        kernel.exec(QString("insert into _KRN_SYS_FLAGS values ('use_boolean_char', '") + c.flag +
                    "');"
                    "insert into META_MACRO values ('%age', 'datediff(year,%1,getdate())');");
        kernel.addAlias("SRV", c.driver);
        Database db;
        db.setAliasName("SRV");
        TDBAccess access;
        access.SetDataBase(&db);
        access.LoadMetaData(); // no metadata datasets: the flag and the macros only
        EXPECT_EQ(recorder->statementsOnly(), c.statements) << c.driver << c.flag;
        EXPECT_EQ(ExpandMacros(access.MacroInfo(), sql), c.expanded) << c.driver << c.flag;
        EXPECT_EQ(ExpandMacros(access.MacroInfo(), "%age(BIRTH)"),
                  "datediff(year,BIRTH,getdate())");
    }
}
