// The access component on a real SQLite kernel database: connection through an alias, the module
// version check with its outcomes and hand-offs, login and failure reporting, golden statements
// for MS SQL Server and Oracle through a recording connection, lookup sources.
#include "kernel_helpers.h"

#include <kernel/schemaapi.h>
#include <platform/db/localtable.h>
#include <platform/db/odbcdriver.h>
#include <platform/inifile.h>
#include <platform/ui/application.h>

#include <support/kernel_schema.h>
#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

struct FakeSchemaTools : TSchemaTools
{
    bool answer = true;
    QList<QPair<int, int>> calls;
    bool UpgradeKernelModule(TDBAccess&, int databaseVersion, int codeVersion) override
    {
        calls.append(qMakePair(databaseVersion, codeVersion));
        return answer;
    }
    void CreateView(TDBAccess&, const TViewStruct&, const QStringList&) override {}
};

const QString Upgrade = "Following modules must be upgraded:\n";

} // namespace

TEST(KernelAccess, DefaultsAndTheModuleRegistry)
{
    TDBAccess access;
    EXPECT_EQ(access.ModuleVersions(), QStringList({"DBKERNEL=7"}));
    EXPECT_TRUE(access.SysPassword().isEmpty()); // no password ships with the component

    access.RegisterModuleVersion("DATABASE", 207);
    EXPECT_EQ(kernelErrorOf([&] { access.RegisterModuleVersion("database", 300); }),
              "Module version 'database' already registered.");
    EXPECT_EQ(access.ModuleVersions(), QStringList({"DBKERNEL=7", "DATABASE=207"}));
    // A database at the kernel's version needs no upgrade; an older one needs the schema tools.
    EXPECT_TRUE(TDBAccess::UpgradeKernelModule(access, 7, 7));
    EXPECT_FALSE(TDBAccess::UpgradeKernelModule(access, 6, 7));
    // Without a database every call that needs one refuses.
    for (const auto& call : QList<std::function<void()>>{
             [&] { access.GetTable("NOTES"); }, [&] { access.StartTransaction(); },
             [&] { access.Commit(); }, [&] { access.Rollback(); }})
        EXPECT_EQ(kernelErrorOf(call), "Not assigned database.");
}

TEST(KernelAccess, InitConnectsThroughTheAliasAndLoadsEverything)
{
    SampleKernel s;
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(s.access.ServerKind(), 3);
    EXPECT_FALSE(s.access.BooleanAsChar());
    EXPECT_EQ(kernelErrorOf([&] { s.access.GetUserID(); }),
              "The database server gives no user ID.");
    // Tables are made once on the connection.
    s.kernel.exec("create table NOTES (ID integer, TXT varchar(20)); insert into NOTES values (1, "
                  "'a')");
    LocalTable* table = s.access.GetTable("NOTES");
    EXPECT_EQ(s.access.GetTable("notes"), table);
    table->open();
    EXPECT_EQ(table->fieldByName("TXT")->asString(), "a");

    // BLOB SIZE in kilobytes, from the database's parameters, else its alias's, else 32.
    ConnectionParams params = AliasRegistry::global().params("KRN");
    params.setValue("BLOB SIZE", "16");
    AliasRegistry::global().modify("KRN", "STANDARD", params);
    for (const auto& [own, bytes] : QList<QPair<QString, int>>{{"64", 65536}, {"many", 32768}}) {
        s.db.params().setValue("BLOB SIZE", own);
        ASSERT_TRUE(s.access.Init());
        EXPECT_EQ(s.access.BlobSize(), bytes);
    }
    s.db.params().remove("BLOB SIZE");
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(s.access.BlobSize(), 16384);
}

TEST(KernelAccess, VersionCheckOutcomes)
{
    struct Case
    {
        const char* name;
        QString rows;    // VERSION rows replacing the matching ones
        QString message; // the error box, empty for none
        TInitResult result;
        int upgrade = 0; // the schema tools may upgrade the kernel and do (1) or refuse (-1)
    };
    const QList<Case> cases = {
        {"equal", "", "", TInitResult::Ready},
        {"unregistered module", "insert into VERSION values ('STATS', 99)", "", TInitResult::Ready},
        {"older module", "update VERSION set VERSION = 200 where MODULE = 'DATABASE'",
         "Impossible launch application. " + Upgrade + "Module DATABASE up to version 207.",
         TInitResult::VersionsRefused},
        {"kernel older", "update VERSION set VERSION = 5 where MODULE = 'DBKERNEL'",
         "Impossible launch application. " + Upgrade + "Module DBKERNEL up to version 7.",
         TInitResult::VersionsRefused},
        {"kernel upgraded", "update VERSION set VERSION = 5 where MODULE = 'DBKERNEL'", "",
         TInitResult::Ready, 1},
        {"kernel upgrade refused", "update VERSION set VERSION = 5 where MODULE = 'DBKERNEL'",
         "Impossible launch application. " + Upgrade + "Module DBKERNEL up to version 7.",
         TInitResult::VersionsRefused, -1},
        {"no rows", "delete from VERSION",
         "Impossible launch application. " + Upgrade +
             "Module DBKERNEL up to version 7.\nModule DATABASE up to version 207.",
         TInitResult::VersionsRefused},
        {"newer database",
         "update VERSION set MODULE = 'Database', VERSION = 300 where MODULE = 'DATABASE'",
         "Version of module Database (207) is less than database version (300).",
         TInitResult::Terminated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto guard = qScopeGuard([] {
            Application::resetTerminated();
            SetSchemaTools(nullptr);
        });
        SampleKernel s;
        if (!c.rows.isEmpty())
            s.kernel.exec(c.rows);
        // Switched off (as it always is in this program), the schema tools are not even asked.
        FakeSchemaTools tools;
        tools.answer = c.upgrade > 0;
        SetSchemaTools(&tools);
        s.access.SetAutoKernelUpgrade(c.upgrade != 0);
        ScopedScriptedDialogs dialogs;
        if (!c.message.isEmpty())
            dialogs.answerMessage(mrOk, c.message, mtError, TMsgDlgButtons(mbOK));
        EXPECT_EQ(s.access.Init(), c.result == TInitResult::Ready);
        EXPECT_EQ(s.access.InitResult(), c.result);
        EXPECT_EQ(s.db.isConnected(), c.result == TInitResult::Ready);
        EXPECT_EQ(Application::terminated(), c.result == TInitResult::Terminated);
        EXPECT_EQ(tools.calls, (QList<QPair<int, int>>(c.upgrade ? 1 : 0, qMakePair(5, 7))));
        if (!c.message.isEmpty()) {
            ASSERT_EQ(dialogs.requests().size(), 1);
            EXPECT_EQ(dialogs.requests().first().text, c.message);
        }
        if (c.result == TInitResult::Terminated) {
            // Once the program is to end, start-up neither connects nor asks anything again.
            EXPECT_FALSE(s.access.Init());
            EXPECT_EQ(s.access.InitResult(), TInitResult::Terminated);
            EXPECT_EQ(dialogs.requests().size(), 1);
            EXPECT_FALSE(s.db.isConnected());
        }
    }
}

TEST(KernelAccess, TheSetupUtilityGetsItsIniSectionAndTwoArguments)
{
    SampleKernel s;
    s.kernel.exec("update VERSION set VERSION = 200 where MODULE = 'DATABASE'");
    // A folder with blanks, so that a command line split at blanks would show.
    const QString folder = s.kernel.folder() + "/setup tools";
    const QString script = folder + "/db setup.sh";
    const QString ran = s.kernel.folder() + "/ran.txt";
    writeFileBytes(script, QString("#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > "
                                   "'%1.tmp'\nmv '%1.tmp' '%1'\n")
                               .arg(ran)
                               .toUtf8());
    QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner);
    s.access.SetSetupModule(script);
    const QString question = Upgrade + "Module DATABASE up to version 207.\n"
                                       "Do you want to launch the database setup utility now ?\n"
                                       "Overwise application will be terminated.";
    const QString ini = folder + "/db setup.ini";

    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrNo, question, mtConfirmation, TMsgDlgButtons(mbYes) | mbNo);
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::VersionsRefused);
    EXPECT_FALSE(QFile::exists(ini));

    dialogs.answerMessage(mrYes, question);
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::VersionsRefused);
    EXPECT_FALSE(s.db.isConnected());
    EXPECT_FALSE(Application::terminated());

    IniFile setup(ini);
    EXPECT_EQ(setup.readSectionValues("DATABASE"),
              QStringList({"Connection=Server", "Server=PARADOX", "ServerName=", "DatabaseName="}));
    // The utility runs on its own: its output file appearing in the folder is the sign.
    QFileSystemWatcher watcher({s.kernel.folder()});
    QEventLoop loop;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (QFile::exists(ran))
            loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!QFile::exists(ran))
        loop.exec();
    QFile out(ran);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly)) << "the setup utility did not run";
    const QStringList lines = QString::fromUtf8(out.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines, QStringList({QDir(folder).canonicalPath(), "[KRN]",
                                  "[" + QCoreApplication::applicationFilePath() + "]"}));
}

TEST(KernelAccess, LoginAndFailuresAreReportedWithTheirReason)
{
    SampleKernel s;
    ScopedScriptedDialogs dialogs;

    // A login handler that does not connect: refused, without a word.
    int logins = 0;
    s.db.onLogin = [&logins](Database&, ConnectionParams&) { ++logins; };
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::LoginRefused);
    EXPECT_EQ(logins, 1);

    // The handler receives the parameters and connects.
    s.access.SetSysLogin("sa");
    s.db.onLogin = [&s](Database& db, ConnectionParams& params) {
        params.setValue(DbParam::UserName, s.access.SysLogin());
        db.open();
    };
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(s.db.params().value(DbParam::UserName), "sa");

    // A refused connection is reported and counts as a refused login.
    s.db.onLogin = [](Database&, ConnectionParams&) {
        throw EngineError(0x3E05, "Login failed for user 'sa'.");
    };
    dialogs.answerMessage(mrOk, "Login failed for user 'sa'.", mtError);
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::LoginRefused);
    s.db.onLogin = nullptr;

    // An error after connecting: reported, and the connection is not kept.
    s.kernel.exec("drop table METAFIELD");
    dialogs.answerMessage(mrOk, "METAFIELD", mtError);
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::Failed);
    EXPECT_FALSE(s.db.isConnected());

    // OnConnectError takes the place of the error box, and may pass the error on.
    QStringList seen;
    s.access.OnConnectError = [&seen](const Exception& e, bool& raise) {
        seen.append(e.message());
        raise = seen.size() > 1;
    };
    EXPECT_FALSE(s.access.Init());
    EXPECT_THROW(s.access.Init(), EngineError);
    EXPECT_EQ(seen.size(), 2);

    TDBAccess lonely;
    lonely.setObjectName("DBAccess1");
    dialogs.answerMessage(mrOk, "Cannot init DBAccess1 becouse not assigned database.", mtError);
    EXPECT_FALSE(lonely.Init());
    EXPECT_EQ(lonely.InitResult(), TInitResult::NoDatabase);
    lonely.OnConnectError = [](const Exception&, bool& raise) { raise = true; };
    EXPECT_THROW(lonely.Init(), EDBKernelError);
}

TEST(KernelAccess, GoldenStatementsForTheServerKinds)
{
    struct Golden
    {
        const char* driver;
        QStringList init;
        QString userQuery;
        QString flag;     // the Boolean-as-character flag stored, if any
        QString expanded; // "%true %false %add %age(BIRTH)" with the database's own %age
    };
    const QString flags1 =
        "select VALUE from _KRN_SYS_FLAGS where Upper(FLAG) = Upper('USE_BOOLEAN_CHAR')";
    const QString flags2 = "select \"_KRN_SYS_FLAGS\".\"VALUE\" from \"_KRN_SYS_FLAGS\" where "
                           "Upper(FLAG) = Upper('USE_BOOLEAN_CHAR')";
    const QList<Golden> cases = {
        {"MSSQL",
         {"set language us_english", "select * from VERSION", flags1, "select * from META_MACRO",
          "select * from TABLELINK", "select * from METATABLE order by TABLE_NAME",
          "select * from METAFIELD order by TABLE_NAME,ORD", "select cast(? as char(3)) NUM"},
         "select user_id() UID",
         "insert into _KRN_SYS_FLAGS values ('use_boolean_char', '1')",
         "'T' 'F' + datediff(year,BIRTH,getdate())"},
        {"ORACLE",
         {"select * from VERSION", flags2, "select * from META_MACRO", "select * from TABLELINK",
          "select * from METATABLE order by TABLE_NAME",
          "select * from METAFIELD order by TABLE_NAME,ORD",
          "select cast(? as char(3)) NUM\nfrom DUAL"},
         "select uid \"UID\" from DUAL",
         "",
         "'T' 'F' || datediff(year,BIRTH,getdate())"},
    };
    for (const Golden& c : cases) {
        SCOPED_TRACE(c.driver);
        auto recorder = std::make_shared<Recorder>();
        recorder->standIns.insert("set language us_english", "select 1 where 0");
        recorder->standIns.insert(c.userQuery, "select 5 UID");
        registerRecordingDriver(c.driver, recorder);
        SampleKernel s("SRV");
        s.kernel.addAlias("SRV", c.driver);
        // The server kind follows the exact driver name.
        registerRecordingDriver(QString(c.driver).toLower(), recorder);
        s.kernel.addAlias("LOWER", QString(c.driver).toLower());
        Database lower;
        lower.setAliasName("LOWER");
        EXPECT_EQ(GetServerKind(lower), 0);
        EXPECT_TRUE(lower.isConnected());
        // Oracle keeps Booleans as characters whatever the flag says.
        s.kernel.exec(c.flag +
                      ";insert into META_MACRO values ('%age', 'datediff(year,%1,getdate())')");
        // The metadata datasets are kernel caches: the component gives them their statements.
        MetaCache tables, fields, links("select * from TABLELINK");
        for (MetaCache* m : {&tables, &fields, &links})
            m->setDatabase(&s.db);
        s.access.SetTables(&tables);
        s.access.SetFields(&fields);
        s.access.SetLinks(&links);
        ScopedScriptedDialogs dialogs;
        ASSERT_TRUE(s.access.Init());
        EXPECT_EQ(recorder->statements, c.init);
        EXPECT_TRUE(s.access.BooleanAsChar());
        EXPECT_EQ(ExpandMacros(s.access.MacroInfo(), "%true %false %add %age(BIRTH)"), c.expanded);
        ASSERT_TRUE(s.access.FindTableProps("PATIENTS"));

        recorder->statements.clear();
        EXPECT_EQ(s.access.GetUserID(), 5);
        EXPECT_EQ(recorder->statements, QStringList({c.userQuery}));

        // A reload raises the versions of the three metadata caches (new rows at 1 here), then
        // binds the table's name instead of writing it into the text.
        recorder->statements.clear();
        s.access.LoadTableProps("patients");
        QStringList reload;
        for (const char* alias : {"META_Links", "META_Tables", "META_Fields"}) {
            reload << QString("select VERSION from CACHESYS where Upper(ALIAS) = Upper('%1')")
                          .arg(alias)
                   << QString("insert into CACHESYS(ALIAS,VERSION)\nvalues('%1',1)").arg(alias);
        }
        reload
            << "select * from TABLELINK where Upper(CHILD) = Upper(?) or Upper(PARENT) = Upper(?)"
            << "select * from METATABLE where Upper(TABLE_NAME) = Upper(?) order by TABLE_NAME"
            << "select * from METAFIELD where Upper(TABLE_NAME) = Upper(?) order by "
               "TABLE_NAME,ORD";
        EXPECT_EQ(recorder->statements, reload);
        EXPECT_EQ(s.access.FindTableProps("PATIENTS")->FieldCount(), 4);

        // A name with a quote is only a value.
        s.access.LoadTableProps("O'HARA");
        EXPECT_EQ(s.access.FindTableProps("O'HARA"), nullptr);
    }
}

namespace {

struct LookupServices : TKernelCacheServices
{
    QStringList created;
    DataSet* CreateLookupSource(TDBAccess& access, const QString& table, const QString& key,
                                const QString& result) override
    {
        created.append(table + ":" + key + "," + result);
        auto* cache = new MetaCache(QString("select %1, %2 from %3").arg(key, result, table));
        cache->setParent(&access);
        cache->setDatabase(access.DataBase());
        return cache;
    }
    void IncCacheVersion(Database&, const QString&) override {}
};

} // namespace

TEST(KernelAccess, LookupSourcesRegisteredOrMadeOnDemand)
{
    SampleKernel s;
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
    const TLookupDescription doctors{"MEDECINS", "MEDECINS_ID", "NOM"};
    EXPECT_EQ(kernelErrorOf([&] { s.access.GetLookupSource(doctors); }),
              "Lookup source for table 'MEDECINS' not found");

    SqlQuery registered;
    registered.setDatabase(&s.db);
    registered.setSql("select MEDECINS_ID from METAFIELD");
    s.access.RegisterLookupSource("medecins", &registered);
    EXPECT_EQ(s.access.GetLookupSource(doctors), &registered);

    LookupServices services;
    TKernelCacheServices* const previous = KernelCacheServices();
    SetKernelCacheServices(&services);
    const auto restore = qScopeGuard([previous] { SetKernelCacheServices(previous); });
    s.access.SetAutoLookups(true);
    const TLookupDescription patients{"PATIENTS", "PATIENTS_ID", "NOM"};
    DataSet* source = s.access.GetLookupSource(patients);
    EXPECT_EQ(s.access.GetLookupSource(patients), source);
    EXPECT_EQ(services.created, QStringList({"PATIENTS:PATIENTS_ID,NOM"}));

    // A source opened without the field the lookup matches on fetches it next time.
    auto* cache = dynamic_cast<MetaCache*>(source);
    cache->setSql("select FIELD_NAME NOM from METAFIELD");
    cache->open();
    EXPECT_EQ(s.access.GetLookupSource(patients), source);
    EXPECT_FALSE(source->isActive());
    EXPECT_EQ(cache->addedFields, QStringList({"PATIENTS_ID"}));
}

// The whole start-up of an Oracle-kind component runs for real through ODBC on the SQLite file:
// its statements are plain enough (DUAL is a table of the test database).
TEST(KernelAccess, OracleKindStartsUpThroughOdbc)
{
    if (!sqliteOdbcReady())
        GTEST_SKIP() << "the SQLite ODBC driver is not registered: run scripts/setup";
    AccessOnKernel s("ORA");
    // Oracle keeps Booleans as characters.
    s.kernel.exec(kernelschema::createTables(true));
    s.kernel.exec(
        "insert into VERSION values ('DBKERNEL', 7);"
        "insert into METATABLE values ('PATIENTS', 'PATIENTS_ID', 0, 'Label=#fra#Patients', 1,"
        " null, 'T');"
        "insert into METAFIELD values ('PATIENTS', 'PATIENTS_ID', 'F', 'T', null, 1, 0, 0, null,"
        " null, null, 1);"
        "insert into METAFIELD values ('patients', 'NOM', 'T', 'F', null, 3, 30, 0, null, null,"
        " null, 2);");
    ConnectionParams params;
    params.setValue(odbcdb::ConnectionStringParam, "DRIVER={SQLite3};Database=" + s.kernel.file());
    AliasRegistry::global().modify("ORA", "ORACLE", params);
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(s.access.ServerKind(), 2);
    EXPECT_TRUE(s.access.BooleanAsChar());
    const TTableProps* patients = s.access.FindTableProps("PATIENTS");
    ASSERT_TRUE(patients);
    EXPECT_EQ(patients->Fields.Names(), QStringList({"PATIENTS_ID", "NOM"}));
    // Booleans kept as characters read as the data-access layer reads them.
    const TFieldProps* name = patients->FieldPropsByName("NOM");
    const TFieldProps* id = patients->FieldPropsByName("PATIENTS_ID");
    EXPECT_EQ(QList<bool>({name->Required, name->Visible, id->Required, id->Visible}),
              QList<bool>({true, false, false, true}));
}
