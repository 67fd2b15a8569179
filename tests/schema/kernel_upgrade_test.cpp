// The kernel's own upgrade: a kernel database written by hand at an old version, brought up to
// version 7 on the local kind for real (read back with the sqlite3 tool) and on MS SQL Server and
// Oracle through the recording driver, whose statements are compared with golden files written
// from the required statements; steps that fail, and what they leave.
#include "schema_helpers.h"

#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/request.h>
#include <schema/krnupgrade.h>
#include <schema/schematools.h>

#include <QRegularExpression>
#include <QScopeGuard>

#include <support/workspace.h>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

// A kernel database on a server kind (MS SQL Server and Oracle through the recording driver over
// the same SQLite file), with an access component whose metadata datasets are caches with
// aliases, as the server data module's are, and its automatic upgrade switched on.
struct Kernel
{
    explicit Kernel(int kind = 3, const QString& script = QStringLiteral("kernel_v1.sql"))
    {
        kernel.exec(".read '" QUORVANE_TEST_DATA "/schema/" + script + "'");
        const QString driver = kind == 1   ? QStringLiteral("MSSQL")
                               : kind == 2 ? QStringLiteral("ORACLE")
                                           : QStringLiteral("STANDARD");
        recorder->acceptUnknown = kind != 3;
        krntest::registerRecordingDriver(driver, recorder);
        if (kind != 3)
            kernel.addAlias(QStringLiteral("SRV"), driver);
        db.setDatabaseName(QStringLiteral("Main"));
        db.setAliasName(kind == 3 ? QStringLiteral("KRN") : QStringLiteral("SRV"));
        access.setObjectName(QStringLiteral("DBAccess1"));
        access.SetDataBase(&db);
        const auto meta = [this](TDBRequest& r, TDBCache& c, const char* sql, const char* alias) {
            r.SetSQLText(QLatin1String(sql));
            r.SetCacheAlias(QLatin1String(alias));
            r.SetDBAccess(&access);
            r.SetParentPacketRecords(false);
            r.SetPacketRecords(-1);
            c.SetRequest(&r);
        };
        meta(rTables, tables, "select * from METATABLE order by TABLE_NAME", "meta_tables");
        meta(rFields, fields, "select * from METAFIELD order by TABLE_NAME,ORD", "meta_fields");
        meta(rLinks, links, "select * from TABLELINK", "meta_links");
        access.SetTables(&tables);
        access.SetFields(&fields);
        access.SetLinks(&links);
        access.SetAutoKernelUpgrade(true);
        RegisterSchemaTools();
    }
    ~Kernel()
    {
        db.close();
        krntest::restoreStandardDriver();
    }
    QStringList rows(const QString& sql) const { return kernel.rows(sql); }
    // The upgrade as the version check asks for it.
    bool upgrade(int from)
    {
        access.UpdateServerKind();
        return TDBAccess::UpgradeKernelModule(access, from, TDBAccess::KernelCodeVersion);
    }

    krntest::KernelDb kernel;
    std::shared_ptr<krntest::Recorder> recorder = std::make_shared<krntest::Recorder>();
    Database db;
    TDBAccess access;
    TDBRequest rTables, rFields, rLinks;
    TDBCache tables, fields, links;
};

// The columns of a table: name, declared type and " pk" for a key column, in table order. (SQLite
// shows the types it knows by name, INT and INTEGER, in capitals.)
QStringList columnsOf(const Kernel& k, const QString& table)
{
    return k.rows("select name || ' ' || type || case when pk then ' pk' else '' end from "
                  "pragma_table_info('" +
                  table + "')");
}

} // namespace

TEST(KernelUpgrade, LocalDatabaseAtVersionOneComesUpToSevenAsWorkedOutByHand)
{
    Kernel k;
    ASSERT_TRUE(k.access.Init());
    EXPECT_EQ(k.access.KernelVersion(), 7);
    EXPECT_NE(k.access.FindTableProps("RM_SEARCH_KEYS"), nullptr); // the metadata read after it

    // Step 2: every described column numbered in its table's order; a row without column stays.
    EXPECT_EQ(k.rows("select TABLE_NAME, FIELD_NAME, ORD from METAFIELD where TABLE_NAME in "
                     "('PATIENT', 'VISIT') order by TABLE_NAME, ORD"),
              QStringList({"PATIENT|OLD_CODE|NULL", "PATIENT|PATIENT_ID|1", "PATIENT|NAME|2",
                           "PATIENT|BIRTH|3", "VISIT|VISIT_ID|1", "VISIT|PATIENT_ID|2",
                           "VISIT|DAY|3", "VISIT|NOTE|4"}));
    // Steps 2 to 6: the kernel's columns with their local types.
    EXPECT_EQ(columnsOf(k, "METATABLE"),
              QStringList({"TABLE_NAME varchar(30)", "KEY_FIELDS varchar(50)", "SYSTEM boolean",
                           "CUSTOM clob", "OWNER_NAME varchar(30)", "INSERT_HEAD BLOB(1,1)",
                           "INSERT_BODY BLOB(1,1)", "UPDATE_HEAD BLOB(1,1)",
                           "UPDATE_BODY BLOB(1,1)", "DELETE_HEAD BLOB(1,1)",
                           "DELETE_BODY BLOB(1,1)", "REPL boolean", "BASE_TABLE varchar(1)",
                           "OBJECT_KIND varchar(1)", "ISLOOKUP INT", "TRACE_LOG varchar(1)"}));
    EXPECT_EQ(columnsOf(k, "METAFIELD"),
              QStringList({"TABLE_NAME varchar(30)", "FIELD_NAME varchar(30)", "REQUIRED boolean",
                           "VISIBLE boolean", "METATYPE varchar(30)", "DATATYPE INTEGER",
                           "FSIZE INTEGER", "FPREC INTEGER", "CUSTOM clob", "ORD INTEGER",
                           "ORIGIN varchar(30)", "NATIVE_NAME varchar(30)"}));
    EXPECT_EQ(columnsOf(k, "_KRN_SYS_FLAGS"), QStringList({"FLAG varchar(30) pk", "VALUE INT"}));
    EXPECT_EQ(k.rows("select distinct OBJECT_KIND, TRACE_LOG from METATABLE"),
              QStringList({"T|F"}));

    // Step 7: the nine tables, their keys and indexes (the local kind's are not unique).
    EXPECT_EQ(
        k.rows("select m.name, group_concat(p.name || ' ' || p.type || case when p.pk then ' pk' "
               "else '' end, ', ') from sqlite_master m, pragma_table_info(m.name) p where m.type "
               "= 'table' and m.name like 'RM\\_%' escape '\\' group by m.name order by m.name"),
        QStringList(
            {"RM_DATABASES|RM_DATABASES_ID INTEGER pk, DBNAME VARCHAR(80), IS_LOCAL BOOLEAN, "
             "CONNECTION_PARAMS BLOB(0, 1)",
             "RM_FIELDS|RM_FIELDS_ID INTEGER pk, RM_TABLES_ID INTEGER, NAME VARCHAR(30), TITLE "
             "VARCHAR(30), IN_NAME VARCHAR(30), IN_TITLE VARCHAR(30), ORD INTEGER, DATATYPE "
             "INTEGER, IS_REQUIRED BOOLEAN, CONST_VALUE VARCHAR(255), USE_CONST_ADD INTEGER, "
             "USE_CONST_UPDATE INTEGER, USE_CONST_SEARCH INTEGER",
             "RM_KEYS|RM_KEYS_ID INTEGER pk, RM_DATABASES_ID INTEGER, TABLE_NAME VARCHAR(30), "
             "REC_ID INTEGER, EXT_REC_ID INTEGER",
             "RM_LINKS|RM_LINKS_ID INTEGER pk, RM_TABLES_ID INTEGER, MASTER_TABLE_ID INTEGER, "
             "KEY_FIELDS VARCHAR(30), IS_MASTER_DETAIL BOOLEAN",
             "RM_QUERIES|RM_QUERIES_ID INTEGER pk, SCHEME_NAME VARCHAR(30), ENTITY_NAME "
             "VARCHAR(30), DATE_CREATE TIMESTAMP, DATE_PROCESS TIMESTAMP, USER_ID INTEGER, "
             "INCOMING BOOLEAN, ALL_RECORDS BOOLEAN",
             "RM_QUERY_PARAMS|RM_QUERY_PARAMS_ID INTEGER pk, RM_QUERIES_ID INTEGER, FIELD_NAME "
             "VARCHAR(30), VALUE VARCHAR(255), CONDITION_TYPE INTEGER",
             "RM_SCHEMES|RM_SCHEMES_ID INTEGER pk, SCHEME_NAME VARCHAR(30), OUT_DATABASE_ID "
             "INTEGER, OUT_DIR VARCHAR(255), IN_DATABASE_ID INTEGER, IN_DIR VARCHAR(255), "
             "IN_PROCESSED_DIR VARCHAR(255), RPL_IMPL_VERSION INTEGER",
             "RM_SEARCH_KEYS|RM_SEARCH_KEYS_ID INTEGER pk, RM_TABLES_ID INTEGER, RANG INTEGER, "
             "SEARCH_KEYS VARCHAR(255)",
             "RM_TABLES|RM_TABLES_ID INTEGER pk, RM_SCHEMES_ID INTEGER, TABLE_NAME VARCHAR(30), "
             "TITLE VARCHAR(30), KEY_FIELDS VARCHAR(30), IN_TABLE_NAME VARCHAR(30), IN_TITLE "
             "VARCHAR(30), IN_KEY_FIELDS VARCHAR(30), IS_MAIN BOOLEAN, USE_LOGICAL_NAMES BOOLEAN, "
             "IS_VIEW BOOLEAN, IS_KEY_SYNCHRO BOOLEAN, IN_ALLOW_ADD BOOLEAN, IN_ALLOW_MODIFY "
             "BOOLEAN, IN_ALLOW_DELETE BOOLEAN, FILTER BLOB(0, 1), CHANGE_FILTER BLOB(0, 1)"}));
    EXPECT_EQ(k.rows("select m.name, (select group_concat(name, ',') from "
                     "pragma_index_info(m.name)), l.\"unique\" from sqlite_master m join "
                     "pragma_index_list(m.tbl_name) l on l.name = m.name where m.type = 'index' "
                     "and m.tbl_name like 'RM\\_%' escape '\\' and m.sql is not null order by "
                     "m.name"),
              QStringList(
                  {"RM_DATABASES$PRIMARY|RM_DATABASES_ID|1", "RM_DATABASES$idxDBNAME|DBNAME|0",
                   "RM_FIELDS$PRIMARY|RM_FIELDS_ID|1", "RM_KEYS$PRIMARY|RM_KEYS_ID|1",
                   "RM_KEYS$idxDATABASETABLEREC|RM_DATABASES_ID,TABLE_NAME,RM_KEYS_ID|0",
                   "RM_LINKS$PRIMARY|RM_LINKS_ID|1", "RM_QUERIES$PRIMARY|RM_QUERIES_ID|1",
                   "RM_QUERIES$idxSCHEMEENTITYDATE_CREATE|SCHEME_NAME,ENTITY_NAME,"
                   "DATE_CREATE|0",
                   "RM_QUERY_PARAMS$PRIMARY|RM_QUERY_PARAMS_ID|1",
                   "RM_QUERY_PARAMS$idxQUERIESFIELD_NAME|RM_QUERIES_ID,FIELD_NAME|0",
                   "RM_SCHEMES$PRIMARY|RM_SCHEMES_ID|1", "RM_SCHEMES$idxSHEME_NAME|SCHEME_NAME|0",
                   "RM_SEARCH_KEYS$PRIMARY|RM_SEARCH_KEYS_ID|1", "RM_TABLES$PRIMARY|RM_TABLES_ID|1",
                   "RM_TABLES$idxSCHEMEIN_TABLE_NAME|RM_SCHEMES_ID,IN_TABLE_NAME|0",
                   "RM_TABLES$idxSCHEMETABLE_NAME|RM_SCHEMES_ID,TABLE_NAME|0"}));

    // Their metadata rows.
    EXPECT_EQ(
        k.rows("select TABLE_NAME, KEY_FIELDS, SYSTEM, rtrim(CUSTOM, char(13, 10)), "
               "OBJECT_KIND, TRACE_LOG, REPL from METATABLE where TABLE_NAME like 'RM%' "
               "order by rowid"),
        QStringList({"RM_QUERIES|RM_QUERIES_ID|1|Label=|T|F|0",
                     "RM_QUERY_PARAMS|RM_QUERY_PARAMS_ID|1|Label=|T|F|0",
                     "RM_DATABASES|RM_DATABASES_ID|1|Label=|T|F|0",
                     "RM_KEYS|RM_KEYS_ID|1|Label=|T|F|0", "RM_SCHEMES|RM_SCHEMES_ID|1|Label=|T|F|0",
                     "RM_TABLES|RM_TABLES_ID|1|Label=|T|F|0",
                     "RM_FIELDS|RM_FIELDS_ID|1|Label=|T|F|0", "RM_LINKS|RM_LINKS_ID|1|Label=|T|F|0",
                     "RM_SEARCH_KEYS|RM_SEARCH_KEYS_ID|1|Label=|T|F|0"}));
    EXPECT_EQ(k.rows("select count(*), count(ORD), count(distinct TABLE_NAME) from METAFIELD "
                     "where TABLE_NAME like 'RM%'"),
              QStringList({"69|69|9"}));
    const QString custom = "replace(rtrim(CUSTOM, char(13, 10)), char(13, 10), '/')";
    EXPECT_EQ(k.rows("select FIELD_NAME, ORD, DATATYPE, FSIZE, REQUIRED, VISIBLE, " + custom +
                     " from METAFIELD where TABLE_NAME = 'RM_QUERIES' order by ORD"),
              QStringList({"RM_QUERIES_ID|1|2|0|1|1|Label=", "SCHEME_NAME|2|3|30|1|1|Label=",
                           "ENTITY_NAME|3|3|30|1|1|Label=", "DATE_CREATE|4|4|0|1|1|Label=",
                           "DATE_PROCESS|5|4|0|0|1|Label=",
                           "USER_ID|6|1|0|0|1|OldFieldName=Medecin_ID/Label=/MdGloss=F",
                           "INCOMING|7|11|0|1|1|Label=", "ALL_RECORDS|8|11|0|1|1|Label="}));
    EXPECT_EQ(k.rows("select FIELD_NAME, " + custom +
                     " from METAFIELD where FIELD_NAME in ('CONDITION_TYPE', 'USE_CONST_SEARCH', "
                     "'CONNECTION_PARAMS') order by FIELD_NAME"),
              QStringList({"CONDITION_TYPE|Label=/LookupKeys=0,1,2,3,4,5,6/LookupValues==,<>,>,<,"
                           ">=,<=,LIKE",
                           "CONNECTION_PARAMS|Label=",
                           "USE_CONST_SEARCH|Label=/LookupKeys=0,1,2/LookupValues=0,1,2"}));
    EXPECT_EQ(k.rows("select FSIZE from METAFIELD where DATATYPE = 9"),
              QStringList({"0", "0", "0"})); // memos
    EXPECT_EQ(k.rows("select count(*), count(distinct TABLE_NAME) from ROLEPERM"),
              QStringList({"36|9"}));
    EXPECT_EQ(k.rows("select group_concat(ACTION, '') from ROLEPERM where TABLE_NAME = 'RM_KEYS'"),
              QStringList({"SIUD"}));
    EXPECT_EQ(k.rows("select PARENT, CHILD, KEY_FIELDS, REF_FIELDS, DEL_ACT from TABLELINK where "
                     "CHILD like 'RM%' order by CHILD, REF_FIELDS"),
              QStringList({"RM_TABLES|RM_FIELDS|RM_TABLES_ID|RM_TABLES_ID|C",
                           "RM_DATABASES|RM_KEYS|RM_DATABASES_ID|RM_DATABASES_ID|C",
                           "RM_TABLES|RM_LINKS|RM_TABLES_ID|MASTER_TABLE_ID|C",
                           "RM_TABLES|RM_LINKS|RM_TABLES_ID|RM_TABLES_ID|C",
                           "RM_QUERIES|RM_QUERY_PARAMS|RM_QUERIES_ID|RM_QUERIES_ID|C",
                           "RM_DATABASES|RM_SCHEMES|RM_DATABASES_ID|IN_DATABASE_ID|R",
                           "RM_DATABASES|RM_SCHEMES|RM_DATABASES_ID|OUT_DATABASE_ID|R",
                           "RM_TABLES|RM_SEARCH_KEYS|RM_TABLES_ID|RM_TABLES_ID|C",
                           "RM_SCHEMES|RM_TABLES|RM_SCHEMES_ID|RM_SCHEMES_ID|C"}));

    // The version recorded once, its alias and the metadata caches' raised, the local database.
    EXPECT_EQ(k.rows("select * from VERSION"), QStringList({"DBKERNEL|7"}));
    EXPECT_EQ(k.rows("select ALIAS, VERSION from CACHESYS order by ALIAS"),
              QStringList({"DBKERNEL#7|1", "meta_fields|2", "meta_tables|1"}));
    EXPECT_EQ(k.rows("select * from RM_DATABASES"), QStringList({"1|LOCAL|1|NULL"}));
}

namespace {

// The kernel's tables as the steps 2 to `version` leave them on the local kind, written by hand,
// and the version recorded.
void writeVersion(Kernel& k, int version, const QString& more = QString())
{
    static const char* const steps[] = {
        "alter table METAFIELD add ORD integer;",
        "alter table METATABLE add INSERT_HEAD BLOB(1,1); alter table METATABLE add INSERT_BODY "
        "BLOB(1,1); alter table METATABLE add UPDATE_HEAD BLOB(1,1); alter table METATABLE add "
        "UPDATE_BODY BLOB(1,1); alter table METATABLE add DELETE_HEAD BLOB(1,1); alter table "
        "METATABLE add DELETE_BODY BLOB(1,1);",
        "alter table METATABLE add REPL boolean;",
        "alter table METATABLE add BASE_TABLE varchar(1); alter table METATABLE add OBJECT_KIND "
        "varchar(1); alter table METATABLE add ISLOOKUP int; alter table METAFIELD add ORIGIN "
        "varchar(30); alter table METAFIELD add NATIVE_NAME varchar(30); create table "
        "_KRN_SYS_FLAGS (FLAG varchar(30), VALUE int, primary key (FLAG)); update METATABLE set "
        "OBJECT_KIND = 'T';",
        "alter table METATABLE add TRACE_LOG varchar(1); update METATABLE set TRACE_LOG = 'F';"};
    QString sql;
    for (int v = 2; v <= version; ++v)
        sql += QLatin1String(steps[v - 2]);
    k.kernel.exec(sql + more + QString("update VERSION set VERSION = %1;").arg(version));
}

// The statements sent since `from`, each's lines followed by "go", and the transaction calls of
// the connection as "<BEGIN>", "<COMMIT>", "<ROLLBACK>".
QStringList sentSince(const Kernel& k, qsizetype from)
{
    static const QRegularExpression lineEnd("\r?\n");
    QStringList lines;
    for (qsizetype i = from; i < k.recorder->sequence.size(); ++i) {
        const QString& entry = k.recorder->sequence.at(i);
        if (entry == "BEGIN" || entry == "COMMIT" || entry == "ROLLBACK")
            lines << "<" + entry + ">";
        else
            lines << entry.split(lineEnd) << "go";
    }
    return lines;
}

// The first lines of the statements sent since `from` that match.
QStringList firstLinesMatching(const Kernel& k, qsizetype from, const QString& pattern)
{
    const QRegularExpression re(pattern);
    QStringList lines;
    for (qsizetype i = from; i < k.recorder->statements.size(); ++i) {
        const QString first =
            k.recorder->statements.at(i).section(QRegularExpression("\r?\n"), 0, 0);
        if (re.match(first).hasMatch())
            lines << first;
    }
    return lines;
}

} // namespace

TEST(KernelUpgrade, OnlyMissingColumnsAreAddedAndAFailedStepLeavesNothingAndIsResumed)
{
    Kernel k;
    // At version 4, with two of step 5's columns there already; a trigger refuses step 6's update
    // of METATABLE (step 5's touches only rows without object kind).
    writeVersion(k, 4,
                 "alter table METATABLE add BASE_TABLE varchar(1); alter table METAFIELD add "
                 "NATIVE_NAME varchar(30); create trigger NO_TRACING before update on METATABLE "
                 "when old.OBJECT_KIND is not null begin select raise(abort, 'tracing refused'); "
                 "end;");
    const qsizetype from = k.recorder->statements.size();
    try {
        k.upgrade(4);
        ADD_FAILURE() << "step 6 went through";
    } catch (const EngineError& e) {
        EXPECT_TRUE(e.message().contains("tracing refused")) << e.message().toStdString();
    }
    EXPECT_EQ(
        firstLinesMatching(k, from, "^(alter|create) table"),
        QStringList({"alter table METATABLE add OBJECT_KIND varchar(1)",
                     "alter table METATABLE add ISLOOKUP int",
                     "alter table METAFIELD add ORIGIN varchar(30)",
                     "create table \"_KRN_SYS_FLAGS\" (FLAG varchar(30),\"VALUE\" int,primary "
                     "key(FLAG))",
                     "alter table METATABLE add TRACE_LOG varchar(1)"}));
    EXPECT_EQ(k.rows("select VERSION from VERSION"), QStringList({"5"}));
    EXPECT_EQ(k.rows("select count(*) from pragma_table_info('METATABLE') where name = "
                     "'TRACE_LOG'"),
              QStringList({"0"}));
    EXPECT_EQ(k.rows("select distinct OBJECT_KIND from METATABLE"), QStringList({"T"}));
    EXPECT_EQ(k.access.KernelVersion(), 0);

    // Without the trigger the version check resumes at step 6.
    k.kernel.exec("drop trigger NO_TRACING;");
    k.db.close();
    ASSERT_TRUE(k.access.Init());
    EXPECT_EQ(k.access.KernelVersion(), 7);
    EXPECT_EQ(k.rows("select * from VERSION"), QStringList({"DBKERNEL|7"}));
    EXPECT_EQ(k.rows("select distinct TRACE_LOG from METATABLE"), QStringList({"F"}));
}

TEST(KernelUpgrade, SwitchedOffAtSevenOrWithoutAStepNothingIsSent)
{
    struct Case
    {
        int kind;
        bool on;
        int version;
        bool answer;
    };
    const Case cases[] = {{1, false, 4, false},
                          {3, false, 1, false},
                          {1, true, 7, true},
                          {3, true, 8, true},
                          {3, true, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " version " << c.version);
        Kernel k(c.kind);
        k.access.SetAutoKernelUpgrade(c.on);
        k.access.UpdateServerKind();
        const qsizetype sent = k.recorder->sequence.size();
        EXPECT_EQ(TDBAccess::UpgradeKernelModule(k.access, c.version, 7), c.answer);
        EXPECT_EQ(k.recorder->sequence.size(), sent);
        EXPECT_EQ(k.access.KernelVersion(), 0);
    }
}

// A step whose column went in but whose version row failed leaves no column behind: the next
// run does not stop at "duplicate column".
TEST(KernelUpgrade, LocalStepFailingAtItsVersionRowIsUndoneWhole)
{
    Kernel k;
    writeVersion(k, 3);
    k.recorder->failOn = "update VERSION set VERSION = 4";
    EXPECT_THROW(k.upgrade(3), EngineError);
    EXPECT_EQ(k.rows("select VERSION from VERSION"), QStringList({"3"}));
    EXPECT_EQ(k.rows("select count(*) from pragma_table_info('METATABLE') where name = 'REPL'"),
              QStringList({"0"}));
    k.recorder->failOn.clear();
    EXPECT_TRUE(k.upgrade(3));
    EXPECT_EQ(k.rows("select VERSION from VERSION"), QStringList({"7"}));
}

// The local database's row goes in with version 7 or not at all.
TEST(KernelUpgrade, VersionSevenFailingOnItsDatabaseRowIsRolledBackAndDoneNextTime)
{
    Kernel k;
    writeVersion(k, 6);
    k.recorder->failOn = "insert into RM_DATABASES";
    EXPECT_EQ(messageOf<EDBKernelError>([&] { k.upgrade(6); }),
              "Table: RM_SEARCH_KEYS. statement refused");
    EXPECT_EQ(k.rows("select VERSION from VERSION"), QStringList({"6"}));
    EXPECT_EQ(k.rows("select count(*) from sqlite_master where name like 'RM\\_%' escape '\\' "
                     "union all select count(*) from METATABLE where TABLE_NAME like 'RM%' union "
                     "all select count(*) from CACHESYS"),
              QStringList({"0", "0", "0"}));
    k.recorder->failOn.clear();
    EXPECT_TRUE(k.upgrade(6));
    EXPECT_EQ(k.rows("select * from RM_DATABASES"), QStringList({"1|LOCAL|1|NULL"}));
    EXPECT_EQ(k.rows("select * from VERSION"), QStringList({"DBKERNEL|7"}));
}

class KernelUpgradeOnServer : public testing::TestWithParam<int>
{
};

// Steps 2 to 6 send exactly the statements of their server kind, each step in a transaction of
// the connection; on MS SQL Server every user is granted the kernel's tables after step 5's
// commit (META_MACRO because the database has it).
TEST_P(KernelUpgradeOnServer, StepsTwoToSixSendTheirStatements)
{
    const int kind = GetParam();
    Kernel k(kind);
    k.recorder->standIns["select id from sysobjects where id = object_id('META_MACRO')"] =
        "select 1 as id";
    k.access.UpdateServerKind();
    const qsizetype from = k.recorder->sequence.size();
    ASSERT_TRUE(UpgradeKernelSteps(k.access, 1, 6));
    EXPECT_EQ(k.access.KernelVersion(), 6);
    EXPECT_EQ(sentSince(k, from),
              golden(kind == 1 ? "krn_steps_mssql.sql" : "krn_steps_oracle.sql"));
    // Step 2 numbered the columns through one prepared statement.
    QStringList ords;
    for (const auto& run : std::as_const(k.recorder->runs)) {
        if (run.first.startsWith("update METAFIELD set ORD"))
            ords << run.second.at(0).toString() + " " + run.second.at(1).toString() + "." +
                        run.second.at(2).toString();
    }
    EXPECT_EQ(ords, QStringList({"1 PATIENT.PATIENT_ID", "2 PATIENT.NAME", "3 PATIENT.BIRTH",
                                 "1 VISIT.VISIT_ID", "2 VISIT.PATIENT_ID", "3 VISIT.DAY",
                                 "4 VISIT.NOTE"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, KernelUpgradeOnServer, testing::Values(1, 2));

// A database without the macro table: step 5 grants the others, and nothing fails after its
// commit.
TEST(KernelUpgrade, NoMacroTableNoGrantOfIt)
{
    Kernel k(1);
    writeVersion(k, 4);
    k.access.UpdateServerKind();
    const qsizetype from = k.recorder->statements.size();
    ASSERT_TRUE(UpgradeKernelSteps(k.access, 4, 5));
    EXPECT_EQ(
        firstLinesMatching(k, from, "^grant "),
        QStringList({"grant select on _KRN_SYS_FLAGS to PUBLIC",
                     "grant select on METATABLE to PUBLIC", "grant select on METAFIELD to PUBLIC",
                     "grant select on TABLELINK to PUBLIC", "grant select on VERSION to PUBLIC"}));
    EXPECT_EQ(k.rows("select VERSION from VERSION"), QStringList({"5"}));
}

// Version 7 on MS SQL Server, sampled: one of the tables with its key and insert trigger, and
// the delete trigger its master gets.
TEST(KernelUpgrade, VersionSevenOnMsSqlServer)
{
    Kernel k(1);
    writeVersion(k, 6);
    const qsizetype from = k.recorder->statements.size();
    const qsizetype calls = k.recorder->transactions.size();
    ASSERT_TRUE(k.upgrade(6));
    EXPECT_EQ(k.recorder->transactions.size(), calls); // the server's own transaction
    const auto count = [&](const QString& pattern) {
        return firstLinesMatching(k, from, pattern).size();
    };
    EXPECT_EQ(count("^create table RM_"), 9);
    EXPECT_EQ(count("^alter table RM_\\w+ add constraint PK_RM_\\w+ primary key \\(RM_\\w+_ID\\)$"),
              9);
    EXPECT_EQ(count("^create unique index "), 6);
    EXPECT_EQ(count("^create index idxSCHEMEIN_TABLE_NAME on RM_TABLES\\(RM_SCHEMES_ID,"
                    "IN_TABLE_NAME\\)$"),
              1);
    EXPECT_EQ(count("^grant select,insert,update,delete on RM_\\w+ to PUBLIC$"), 9);
    EXPECT_EQ(count("^create trigger tI_"), 7);
    EXPECT_EQ(count("^create trigger tD_"), 9);
    EXPECT_EQ(count("^create trigger tU_"), 0);
    const QStringList ddl = sentSince(k, 0);
    const auto statement = [&ddl](const QString& first) {
        QStringList lines;
        for (qsizetype i = ddl.lastIndexOf(first); i >= 0 && i < ddl.size() && ddl[i] != "go"; ++i)
            lines << ddl[i];
        return lines;
    };
    EXPECT_EQ(
        statement("create table RM_QUERY_PARAMS("),
        QStringList({"create table RM_QUERY_PARAMS(", "  RM_QUERY_PARAMS_ID INT NOT  NULL ,",
                     "  RM_QUERIES_ID INT NOT  NULL ,", "  FIELD_NAME VARCHAR(30)  NOT  NULL ,",
                     "  VALUE VARCHAR(255)  NOT  NULL ,", "  CONDITION_TYPE INT NOT  NULL ", ")"}));
    EXPECT_EQ(statement("alter table RM_QUERY_PARAMS add constraint PK_RM_QUERY_PARAMS primary "
                        "key (RM_QUERY_PARAMS_ID)")
                  .size(),
              1);
    EXPECT_EQ(statement("create trigger tI_RM_QUERY_PARAMS on RM_QUERY_PARAMS for INSERT as"),
              golden("krn7_ti_rm_query_params.sql"));
    EXPECT_EQ(statement("create trigger tD_RM_QUERIES on RM_QUERIES for DELETE as"),
              golden("krn7_td_rm_queries.sql"));
    EXPECT_EQ(k.rows("select * from VERSION"), QStringList({"DBKERNEL|7"}));
}
