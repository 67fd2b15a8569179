// Column types and the DDL of structures on MS SQL Server and Oracle, as the recording driver saw
// them: the order of a creation with its metadata rows, alters of present and absent columns,
// indexes, renames, drops and views.
#include "schema_helpers.h"

#include <kernel/dbaccess.h>
#include <schema/ddltext.h>

#include <support/qt_printers.h>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

const QString Ord = "update METAFIELD set ORD = ? where TABLE_NAME = ? and FIELD_NAME = ?";

QString dropTrigger(const QString& name)
{
    return "if exists (select * from sysobjects where id = object_id('dbo." + name + "'))";
}

// VISIT: its key, a statistics index, a clustered index and a cascading link to PATIENT.
std::unique_ptr<TTableStruct> visit(SchemaDb& d)
{
    auto s = d.table("visit");
    addField(*s, "VISIT_ID", dtInteger, 0, foRequired);
    addField(*s, "PATIENT_ID", dtInteger, 0, foRequired);
    addField(*s, "NOTE", dtString, 40);
    addIndex(*s, "PRIMARY KEY", "VISIT_ID", idxPrimary);
    addIndex(*s, "_WA_Sys_NOTE", "NOTE");
    addIndex(*s, "IX_PAT", "PATIENT_ID", idxClastered);
    addLink(*s, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade);
    return s;
}

} // namespace

TEST(SchemaTypes, ColumnTypeOfEveryKernelTypeOnEveryKind)
{
    struct Row
    {
        TDataType type;
        int size, precision;
        const char* mssql;
        const char* oracle;
        const char* local;
    };
    const Row rows[] = {
        {dtUnknown, 0, 0, "", "", ""},
        {dtInteger, 0, 0, "INT", "INT", "INTEGER"},
        {dtAutoinc, 0, 0, "INT", "INT", "INTEGER"},
        {dtString, 20, 0, "VARCHAR(20) ", "VARCHAR2(20) ", "VARCHAR(20) "},
        {dtString, 300, 0, "VARCHAR(300) ", "VARCHAR2(300) ", "BLOB(240, 1)"},
        {dtDateTime, 0, 0, "DATETIME", "DATE", "TIMESTAMP"},
        {dtDate, 0, 0, "DATETIME", "DATE", "DATE"},
        {dtTime, 0, 0, "DATETIME", "DATE", "TIMESTAMP"},
        {dtMoney, 0, 0, "MONEY", "NUMERIC(20,6)", "MONEY"},
        {dtNumeric, 12, 2, "NUMERIC(12,2)", "NUMERIC(12,2)", "NUMERIC(12,2)"},
        {dtMemo, 20, 0, "TEXT", "CLOB", "BLOB(20, 1)"},
        {dtBlob, 20, 0, "IMAGE", "BLOB", "BLOB(20, 2)"},
        {dtBoolean, 0, 0, "BIT", "VARCHAR2(1)", "BOOLEAN"},
        {dtGraphic, 0, 0, "IMAGE", "BLOB", "BLOB(1,5)"},
        {dtCours, 0, 0, "NUMERIC(20,6)", "NUMERIC(20,6)", "NUMERIC(20,6)"},
        {dtTaux, 0, 0, "NUMERIC(9,6)", "NUMERIC(9,6)", "NUMERIC(9,6)"},
        // (n + 5) x 3 characters: 255 stays a string on the local kind, 258 becomes a memo.
        {dtLangString, 80, 0, "VARCHAR(255) ", "VARCHAR2(255) ", "VARCHAR(255) "},
        {dtLangString, 81, 0, "VARCHAR(258) ", "VARCHAR2(258) ", "BLOB(240, 1)"},
    };
    for (const bool flag : {false, true}) {
        for (const Row& r : rows) {
            QStringList expected{r.mssql, r.oracle, r.local};
            if (flag && r.type == dtBoolean)
                expected = QStringList{"VARCHAR(1)", "VARCHAR2(1)", "VARCHAR(1)"};
            QStringList got;
            for (const ServerKind::Kind kind :
                 {ServerKind::MSSQL, ServerKind::Oracle, ServerKind::Standard})
                got.append(ColumnTypeText(kind, r.type, r.size, r.precision, flag));
            EXPECT_EQ(got, expected) << int(r.type) << " flag " << flag;
            EXPECT_EQ(ColumnTypeText(ServerKind::Unknown, r.type, r.size, r.precision, flag), "");
        }
    }
}

TEST(SchemaTypes, CreateStatementOfAKernelTable)
{
    TTableStruct s;
    s.SetTableName("RM_DATABASES");
    addField(s, "RM_DATABASES_ID", dtInteger, 0, foRequired);
    addField(s, "DBNAME", dtString, 80, foRequired);
    addField(s, "IS_LOCAL", dtBoolean, 0, foRequired);
    addField(s, "CONNECTION_PARAMS", dtMemo);
    addIndex(s, "PRIMARY KEY", "RM_DATABASES_ID", idxPrimary);
    EXPECT_EQ(CreateTableLines(ServerKind::MSSQL, s, false),
              QStringList({"create table RM_DATABASES(", "  RM_DATABASES_ID INT NOT  NULL ,",
                           "  DBNAME VARCHAR(80)  NOT  NULL ,", "  IS_LOCAL BIT NOT  NULL ,",
                           "  CONNECTION_PARAMS TEXT NULL ", ")"}));
    // The local kind declares the key with the table.
    EXPECT_EQ(
        CreateTableLines(ServerKind::Standard, s, false),
        QStringList({"create table RM_DATABASES(", "  RM_DATABASES_ID INTEGER ,",
                     "  DBNAME VARCHAR(80)  ,", "  IS_LOCAL BOOLEAN ,",
                     "  CONNECTION_PARAMS BLOB(0, 1) ", ",primary key(RM_DATABASES_ID)", ")"}));
}

TEST(SchemaTypes, FaultyDescriptionsAreRefusedByName)
{
    TTableStruct s;
    s.setObjectName("TS_NOTES");
    const auto refusal = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const EDBKernelError& e) {
            return e.message();
        }
        return QString();
    };
    EXPECT_EQ(refusal([&s] { s.Execute(); }), "Not assigned DBVersion for TableStruct TS_NOTES");
    addField(s, "ID", dtInteger);
    addField(s, "", dtUnknown);
    EXPECT_EQ(refusal([&s] { s.CheckFields(); }),
              "TableStruct TS_NOTES: not specified FieldName for field item 1.");
    s.Fields().Items(1)->FieldName = "NOTE";
    EXPECT_EQ(refusal([&s] { s.CheckFields(); }),
              "TableStruct TS_NOTES field NOTE is unknown datatype.");
    // An alter may carry an existing field without its type.
    s.SetUpgradeAction(uaAlter);
    s.Fields().Items(1)->UpgradeAction = uaAlter;
    EXPECT_EQ(refusal([&s] { s.CheckFields(); }), "");
}

TEST(SchemaDdl, CreateOnMsSqlServerWritesTableMetadataIndexesLinksTriggersAndOrder)
{
    SchemaDb d(1);
    auto s = visit(d);
    s->Execute();
    EXPECT_EQ(d.firstLines(), golden("create_mssql_order.txt"));
    EXPECT_EQ(d.ddl(), golden("create_mssql.sql"));
    EXPECT_EQ(d.rows("select TABLE_NAME, KEY_FIELDS, SYSTEM, OBJECT_KIND, TRACE_LOG, REPL, "
                     "OWNER_NAME from METATABLE"),
              QStringList({"VISIT|VISIT_ID|1|T|F|0|"}));
    EXPECT_EQ(d.rows("select FIELD_NAME, REQUIRED, VISIBLE, DATATYPE, FSIZE, ORD from METAFIELD "
                     "order by ORD"),
              QStringList({"VISIT_ID|1|1|1|0|1", "PATIENT_ID|1|1|1|0|2", "NOTE|0|1|3|40|3"}));
    EXPECT_EQ(d.rows("select * from TABLELINK"),
              QStringList({"PATIENT|VISIT|PATIENT_ID|PATIENT_ID|C|"}));
    EXPECT_EQ(d.rows("select ACTION from ROLEPERM where TABLE_NAME = 'VISIT' and DBROLE_ID = 0 "
                     "and KIND = 1"),
              QStringList({"S", "I", "U", "D"}));
}

TEST(SchemaDdl, CreateOnOracleWithItsSynonymPrefixedIndexAndTruthTexts)
{
    SchemaDb d(2);
    d.answer("select USER from DUAL", "select 'CLINIC' as USER");
    d.answer("select OBJECT_ID as id from ALL_OBJECTS where OBJECT_NAME = UPPER('VISIT')and "
             "OBJECT_TYPE = 'SYNONYM' and OWNER = 'PUBLIC'",
             "select 7 as id");
    d.answer("select INDEX_NAME from ALL_INDEXES\r\nwhere INDEX_NAME = Upper('IX_PAT')",
             "select 'IX_PAT' as INDEX_NAME"); // taken by another table
    auto s = visit(d);
    s->Fields().Items(2)->Options = foHidden;
    s->Execute();
    EXPECT_EQ(d.ddl(), golden("create_oracle.sql")); // ":new" and ":old" as they are
    EXPECT_EQ(d.rows("select SYSTEM, REPL, TRACE_LOG from METATABLE"), QStringList({"T|F|F"}));
    EXPECT_EQ(d.rows("select FIELD_NAME, REQUIRED, VISIBLE from METAFIELD order by ORD"),
              QStringList({"VISIT_ID|T|T", "PATIENT_ID|T|T", "NOTE|F|F"}));
}

TEST(SchemaDdl, AlterDropsIndexesFirstThenAddsAndDropsOnlyWhatNeedsIt)
{
    SchemaDb d(1);
    d.kernel.exec("create table VISIT (VISIT_ID integer, PATIENT_ID integer, NOTE varchar(40), "
                  "OLD integer)");
    const QString column = "select id from syscolumns where id=object_id('VISIT') and name = '%1'";
    const QString one = "select 1 as id";
    d.answer(column.arg("VISIT_ID"), one);
    d.answer(column.arg("OLD"), one);
    d.answer("select id from sysobjects where id = object_id('PK_VISIT')", one);
    d.answer("select id from sysindexes where id = object_id('VISIT') and NAME = 'IX_PAT'", one);
    auto s = d.table("VISIT", uaAlter);
    addField(*s, "NOTE2", dtBoolean)->UpgradeAction = uaCreate;
    addField(*s, "VISIT_ID", dtInteger)->UpgradeAction = uaCreate; // present
    addField(*s, "OLD", dtInteger)->UpgradeAction = uaDrop;
    addField(*s, "GONE", dtInteger)->UpgradeAction = uaDrop; // absent
    addField(*s, "NOTE", dtString, 40)->UpgradeAction = uaAlter;
    addField(*s, "PATIENT_ID", dtInteger)->Unchanged = true;
    s->Fields().Items(5)->UpgradeAction = uaAlter;
    addIndex(*s, "PRIMARY KEY", "VISIT_ID", idxPrimary | idxClastered)->UpgradeAction = uaAlter;
    addIndex(*s, "IX_PAT", "PATIENT_ID")->UpgradeAction = uaDrop;
    addIndex(*s, "IX_NOTE", "NOTE", idxUnique);
    s->Execute();
    EXPECT_EQ(d.firstLines(), golden("alter_mssql_order.txt"));
    EXPECT_EQ(d.rows("select FIELD_NAME, ORD from METAFIELD"), QStringList({"NOTE2|4"}));

    // The order is right now: nothing is written the second time.
    auto again = d.table("VISIT", uaAlter);
    const qsizetype before = d.recorder->statements.size();
    again->Execute();
    EXPECT_FALSE(d.firstLines(before).contains(Ord));
}

TEST(SchemaDdl, AlterOnOracleFindsColumnsAndPrefixedIndexesInItsCatalogues)
{
    SchemaDb d(2);
    d.kernel.exec("create table VISIT (VISIT_ID integer, NOTE varchar(40), OLD integer);"
                  "insert into VISIT values (1, 'a', 2)");
    const QString column = "select COLUMN_ID as id from USER_TAB_COLUMNS where TABLE_NAME = "
                           "'VISIT' and Upper(COLUMN_NAME) = Upper('%1')";
    const QString one = "select 1 as id";
    d.answer(column.arg("VISIT_ID"), one);
    d.answer(column.arg("OLD"), one);
    d.answer("select OBJECT_ID as id from USER_OBJECTS where OBJECT_NAME = UPPER('PK_VISIT')\r\n" +
                 QString(43, ' ') + "and OBJECT_TYPE = UPPER('INDEX')",
             one);
    // IX_PAT was made under the table's prefix.
    d.answer("select INDEX_NAME from SYS.ALL_INDEXES\r\nwhere (TABLE_NAME = Upper('VISIT') and "
             "INDEX_NAME = Upper('VISIT_IX_PAT'))",
             "select 'VISIT_IX_PAT' as INDEX_NAME");
    auto s = d.table("VISIT", uaAlter);
    addField(*s, "NOTE2", dtBoolean);
    addField(*s, "VISIT_ID", dtInteger); // present
    addField(*s, "OLD", dtInteger)->UpgradeAction = uaDrop;
    addField(*s, "GONE", dtInteger)->UpgradeAction = uaDrop; // absent
    addIndex(*s, "PRIMARY KEY", "VISIT_ID", idxPrimary)->UpgradeAction = uaAlter;
    addIndex(*s, "IX_PAT", "PATIENT_ID")->UpgradeAction = uaDrop;
    addIndex(*s, "IX_NOTE", "NOTE", idxUnique | idxClastered);
    s->Execute();
    EXPECT_EQ(d.ddl(), golden("alter_oracle.sql"));
    // Oracle keeps Booleans as characters: the new column reads false as "F".
    EXPECT_EQ(d.rows("select * from VISIT"), QStringList{"1|a|F"});
    EXPECT_EQ(d.rows("select FIELD_NAME, REQUIRED, VISIBLE, DATATYPE from METAFIELD"),
              QStringList{"NOTE2|F|T|11"});
}

TEST(SchemaDdl, RenameMovesKeyTriggersAndMetadataOnBothServers)
{
    for (quint8 kind : {1, 2}) {
        SchemaDb d(kind);
        d.kernel.exec("insert into METATABLE (TABLE_NAME, KEY_FIELDS) values ('VISIT', "
                      "'VISIT_ID');"
                      "insert into TABLELINK (PARENT, CHILD) values ('PATIENT', 'VISIT');"
                      "insert into ROLEPERM values (0, 'VISIT', 'S', 1)");
        const QString one = "select 1 as id";
        auto s = d.table("VISIT", uaAlter);
        s->SetNewName("CONSULT");
        if (kind == 1) {
            d.answer("select id from sysobjects where id = object_id('PK_VISIT')", one);
        } else {
            // An index CreateIndex gave the table's prefix is found and dropped under it.
            d.answer("select INDEX_NAME from SYS.ALL_INDEXES\r\nwhere (TABLE_NAME = "
                     "Upper('VISIT') and INDEX_NAME = Upper('VISIT_IX_PAT'))",
                     "select 'VISIT_IX_PAT' as INDEX_NAME");
            addIndex(*s, "IX_PAT", "PATIENT_ID")->UpgradeAction = uaDrop;
            d.answer("select TRIGGER_NAME from USER_TRIGGERS where TRIGGER_NAME = "
                     "UPPER('tU_VISIT')",
                     "select 'TU_VISIT' as TRIGGER_NAME");
        }
        s->Execute();
        EXPECT_EQ(d.ddl(), golden(kind == 1 ? "rename_mssql.sql" : "rename_oracle.sql"));
        EXPECT_EQ(d.rows("select TABLE_NAME from METATABLE union all select CHILD from TABLELINK "
                         "union all select TABLE_NAME from ROLEPERM"),
                  QStringList({"CONSULT", "CONSULT", "CONSULT"}));
    }
}

TEST(SchemaDdl, DropRemovesMetadataTriggersAndTableAndRebuildsTheMastersTrigger)
{
    SchemaDb d(1);
    d.kernel.exec("insert into TABLELINK (PARENT, CHILD, KEY_FIELDS, REF_FIELDS, DEL_ACT) "
                  "values ('PATIENT', 'VISIT', 'PATIENT_ID', 'PATIENT_ID', 'C')");
    d.answer("select id from sysobjects where id = object_id('VISIT')", "select 1 as id");
    auto s = visit(d);
    s->SetUpgradeAction(uaDrop);
    s->Execute();
    QStringList expected;
    for (const char* trigger : {"tD_VISIT", "tI_VISIT", "tU_VISIT", "tD_PATIENT"})
        expected << dropTrigger(trigger) << "drop trigger dbo." + QString(trigger) << "go";
    EXPECT_EQ(d.ddl(), expected << "drop table VISIT"
                                << "go");
    EXPECT_TRUE(d.rows("select * from TABLELINK").isEmpty());
}

TEST(SchemaDdl, ViewWithItsMetadataAndAWorkStructureClearedAfterIt)
{
    SchemaDb d(1);
    TDBAccess access;
    access.SetDataBase(&d.db);
    access.UpdateServerKind();
    auto s = d.table("v_visit");
    s->SetSystem(false);
    addField(*s, "VISIT_ID", dtInteger);
    addLink(*s, "VISIT", "VISIT_ID", "VISIT_ID", daNone)->ChildTable = "v_visit";
    d.kernel.exec("create table VISIT (VISIT_ID integer)");
    s->CreateView(access, {"select VISIT_ID", "from VISIT"});
    EXPECT_EQ(d.ddl(), QStringList({"create VIEW V_VISIT as ", "select VISIT_ID", "from VISIT",
                                    "go", "grant select on V_VISIT to PUBLIC", "go"}));
    EXPECT_EQ(d.recorder->transactions, QStringList({"BEGIN", "COMMIT"}));
    EXPECT_EQ(d.rows("select OBJECT_KIND from METATABLE union all select ACTION from ROLEPERM"),
              QStringList({"V", "S"}));
    // Made again, the view replaces its link row under the child name it was written with.
    d.answer("select id from sysobjects where id = object_id('V_VISIT')", "select 1 as id");
    s->CreateView(access, {"select VISIT_ID", "from VISIT"});
    EXPECT_TRUE(d.ddl().contains("drop view V_VISIT"));
    EXPECT_EQ(d.rows("select PARENT, CHILD from TABLELINK"), QStringList({"VISIT|v_visit"}));

    // Reused for a table, the structure drops the table, not a view.
    s->Clear();
    s->SetTableName("VISIT");
    s->SetUpgradeAction(uaDrop);
    d.answer("select id from sysobjects where id = object_id('VISIT')", "select 1 as id");
    const qsizetype before = d.recorder->statements.size();
    s->Execute();
    EXPECT_EQ(d.ddl(before).mid(d.ddl(before).size() - 2), QStringList({"drop table VISIT", "go"}));
}
