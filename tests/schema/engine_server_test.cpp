// The structure engine on MS SQL Server and Oracle through the recording driver: the indexes read
// from the catalogues, the statements of a rebuild, a failing copy or drop, the copy table's name
// checked first, a replicated table's versions, and copying an existing table's structure.
#include "schema_helpers.h"

#include <schema/tablestrengine.h>

#include <support/qt_printers.h>

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

// PATIENT and VISIT linked to it, a permission of NURSE on PATIENT, and the catalogue answers
// that tell the tables exist with their keys.
void clinic(SchemaDb& d)
{
    d.kernel.exec(
        "insert into DBROLE values (5, 'NURSE');"
        "create table SYSIND (TBL varchar(40), indid integer, name varchar(30), keycnt "
        "integer, status integer);"
        "create table IDXCOL (TBL varchar(40), indid integer, nkey integer, col varchar(30));");
    auto patient = d.table("PATIENT");
    addField(*patient, "PATIENT_ID", dtInteger, 0, foRequired);
    addField(*patient, "NAME", dtString, 40);
    addIndex(*patient, "PRIMARY KEY", "PATIENT_ID", idxPrimary | idxClastered);
    patient->Execute();
    auto visit = d.table("VISIT");
    addField(*visit, "VISIT_ID", dtInteger, 0, foRequired);
    addField(*visit, "PATIENT_ID", dtInteger);
    addIndex(*visit, "PRIMARY KEY", "VISIT_ID", idxPrimary);
    addLink(*visit, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade);
    visit->Execute();
    d.kernel.exec("insert into PATIENT values (1, 'Durand'); insert into VISIT values (10, 1);"
                  "insert into ROLEPERM values (5, 'PATIENT', 'S', 1);");
    d.answer("select indid, name, keycnt,status\r\nfrom sysindexes\r\nwhere id = object_id(?) and "
             "indid > 0 and indid < 255 order by indid",
             "select indid, name, keycnt, status from SYSIND where TBL = ? order by indid");
    d.answer("select index_col(?, ?, ?) col_name",
             "select col as col_name from IDXCOL where TBL = ? and indid = ? and nkey = ?");
    d.kernel.exec("insert into SYSIND values ('[dbo].[PATIENT]', 1, 'PK_PATIENT', 1, 2066);"
                  "insert into IDXCOL values ('[dbo].[PATIENT]', 1, 1, 'PATIENT_ID');");
    // The rename as SQLite says it; the tables and the key as the catalogues tell them.
    d.answer("exec sp_rename 'PATIENT_TMP','PATIENT'", "alter table PATIENT_TMP rename to PATIENT");
    for (const char* t : {"PATIENT", "PK_PATIENT"})
        d.answer(QString("select id from sysobjects where id = object_id('%1')").arg(t),
                 "select 1 as id");
    d.answer("select OBJECT_ID as id from USER_OBJECTS where OBJECT_NAME = UPPER('PATIENT')\r\n" +
                 QString(43, ' ') + "and OBJECT_TYPE = UPPER('TABLE')",
             "select 1 as id");
    d.kernel.exec("create table ORAIND (TABLE_NAME varchar(30), INDEX_NAME varchar(30), UNIQUENESS "
                  "varchar(10)); create table ORACOL (INDEX_NAME varchar(30), COLUMN_NAME "
                  "varchar(30), COLUMN_POSITION integer, TABLE_NAME varchar(30));"
                  "insert into ORAIND values ('patient', 'pk_patient', 'UNIQUE');"
                  "insert into ORACOL values ('pk_patient', 'PATIENT_ID', 1, 'PATIENT');");
    d.answer("select TABLE_NAME,INDEX_NAME,UNIQUENESS from SYS.ALL_INDEXES\r\nwhere "
             "(Upper(TABLE_NAME) = Upper(?))",
             "select * from ORAIND where upper(TABLE_NAME) = upper(?) order by rowid");
    d.answer("select INDEX_NAME,COLUMN_NAME,COLUMN_POSITION\r\nfrom SYS.ALL_IND_COLUMNS A\r\nwhere "
             "(Upper(TABLE_NAME) = Upper(?))\r\norder by COLUMN_POSITION ",
             "select INDEX_NAME, COLUMN_NAME, COLUMN_POSITION from ORACOL where "
             "upper(TABLE_NAME) = upper(?) order by COLUMN_POSITION");
}

// The statements of a change that make, copy into, alter or drop tables and indexes, each
// statement's lines followed by "go"; triggers and the kernel's rows are left out.
QStringList tableStatements(const SchemaDb& d, qsizetype from)
{
    static const QRegularExpression re(
        "^(create table|create public synonym|create index|alter table|drop table|drop index|"
        "grant|GRANT|exec sp_rename|insert into PATIENT_TMP)");
    QStringList lines;
    for (const QString& statement : d.recorder->statements.mid(from)) {
        if (re.match(statement).hasMatch())
            lines << statement.split("\r\n") << "go";
    }
    return lines;
}

// The structure with NAME made longer, rebuilding PATIENT.
std::unique_ptr<TTableStruct> longerName(SchemaDb& d, int size = 60)
{
    auto s = d.table("PATIENT", uaAlter);
    alterField(*s, "NAME", dtString, size);
    return s;
}

} // namespace

TEST(EngineServer, IndexesReadFromTheCataloguesWithTheKeyFirst)
{
    const QStringList fields{"UA", "NEW_NAME", "FIELDS", "PK", "UNIQUE", "CLASTERED"};
    for (const quint8 kind : {1, 2}) {
        SchemaDb d(kind);
        clinic(d);
        // On Oracle the key comes second from the catalogue, in other letters.
        d.kernel.exec("insert into SYSIND values ('[dbo].[PATIENT]', 2, 'IX_NAME', 1, 0),"
                      " ('[dbo].[PATIENT]', 3, '_WA_Sys_NAME_1A2B', 1, 0), ('[dbo].[PATIENT]', 4, "
                      "'IX_TWO', 3, 2);"
                      "insert into IDXCOL values ('[dbo].[PATIENT]', 2, 1, 'NAME'),"
                      " ('[dbo].[PATIENT]', 4, 1, 'NAME'), ('[dbo].[PATIENT]', 4, 2, 'PATIENT_ID');"
                      "delete from ORAIND; insert into ORAIND values ('PATIENT', "
                      "'PATIENT_IX_NAME', 'NONUNIQUE'),"
                      " ('patient', 'pk_patient', 'UNIQUE');"
                      "insert into ORACOL values ('PATIENT_IX_NAME', 'NAME', 1, 'PATIENT');");
        auto s = d.table("PATIENT", uaAlter);
        TTableStrEngine e;
        e.BatchMode = true;
        e.LoadStructure(*s);
        EXPECT_EQ(rowsOf(e.TInd, fields),
                  kind == 1 ? QStringList({"|PRIMARY KEY|PATIENT_ID|1|1|1", "|IX_NAME|NAME|0|0|0",
                                           "|IX_TWO|NAME,PATIENT_ID|0|1|0"})
                            : QStringList({"|PRIMARY KEY|PATIENT_ID|1|1|0",
                                           "|PATIENT_IX_NAME|NAME|0|0|0"}));
    }
}

// On Oracle an index made under its table's prefix (the plain name was taken elsewhere) is the
// index an upgrade item names by its plain name.
TEST(EngineServer, AnOracleIndexUnderItsTablesPrefixAnswersToItsPlainName)
{
    const struct
    {
        TUpgradeAction action;
        const char* fields;
        QStringList rows; // UA, NAME, NEW_NAME, FIELDS of the index rows after the key
    } cases[] = {
        {uaAlter, "NAME,PATIENT_ID", {"A|IX_NAME|IX_NAME|NAME,PATIENT_ID"}},
        {uaDrop, "NAME", {"D|IX_NAME|IX_NAME|NAME"}},
        {uaCreate, "NAME", {"|PATIENT_IX_NAME|PATIENT_IX_NAME|NAME"}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(int(k.action));
        SchemaDb d(2);
        clinic(d);
        d.kernel.exec("insert into ORAIND values ('PATIENT', 'PATIENT_IX_NAME', 'NONUNIQUE');"
                      "insert into ORACOL values ('PATIENT_IX_NAME', 'NAME', 1, 'PATIENT');");
        auto s = d.table("PATIENT", uaAlter);
        addIndex(*s, "IX_NAME", k.fields)->UpgradeAction = k.action;
        TTableStrEngine e;
        e.BatchMode = true;
        e.LoadStructure(*s);
        EXPECT_EQ(rowsOf(e.TInd, {"UA", "NAME", "NEW_NAME", "FIELDS"}).mid(1), k.rows);
        // Applied, an alteration or a drop takes the prefixed index away.
        d.answer("select INDEX_NAME from SYS.ALL_INDEXES\r\nwhere (TABLE_NAME = Upper('PATIENT') "
                 "and INDEX_NAME = Upper('PATIENT_IX_NAME'))",
                 "select 'PATIENT_IX_NAME' as INDEX_NAME");
        EXPECT_EQ(saveStructure(d, *s).contains("drop index PATIENT_IX_NAME"),
                  k.action != uaCreate);
    }
}

TEST(EngineServer, RebuildSendsItsStatementsOnTheCallersTransactionOnly)
{
    for (const quint8 kind : {1, 2}) {
        SchemaDb d(kind);
        clinic(d);
        auto s = longerName(d);
        EXPECT_EQ(saveStructure(d, *s),
                  golden(kind == 1 ? "engine_rebuild_mssql.txt" : "engine_rebuild_oracle.txt"));
        EXPECT_EQ(d.recorder->transactions, QStringList());
        EXPECT_EQ(d.rows("select * from PATIENT"), QStringList{"1|Durand"});
        // The tools' own rights (role 0, which has no DBROLE row) are kept, without a grant.
        EXPECT_EQ(d.rows("select DBROLE_ID || ACTION from ROLEPERM where TABLE_NAME = 'PATIENT' "
                         "order by 1"),
                  QStringList({"0D", "0I", "0S", "0U", "5S"}));
        // A copy or a drop that fails ends the rebuild there; the caller rolls back.
        for (const char* text : {"insert into PATIENT_TMP(", "drop table PATIENT"}) {
            const QString statement(text);
            d.recorder->failOn = statement;
            d.db.startTransaction();
            auto longer = longerName(d, 80);
            EXPECT_THROW(saveStructure(d, *longer), EngineError);
            EXPECT_TRUE(d.recorder->statements.last().startsWith(statement));
            d.db.rollback();
        }
    }
}

TEST(EngineServer, TheCopysNameIsCheckedBeforeAnyStatement)
{
    for (const quint8 kind : {1, 2}) {
        SCOPED_TRACE(int(kind));
        SchemaDb d(kind);
        clinic(d);
        const QString exists = kind == 1
                                   ? "select id from sysobjects where id = object_id('%1')"
                                   : "select OBJECT_ID as id from USER_OBJECTS where OBJECT_NAME = "
                                     "UPPER('%1')\r\n" +
                                         QString(43, ' ') + "and OBJECT_TYPE = UPPER('TABLE')";
        // A table of the new name is never replaced.
        d.answer(exists.arg("CLIENT"), "select 1 as id");
        auto renamed = longerName(d);
        renamed->SetNewName("CLIENT");
        try {
            saveStructure(d, *renamed);
            ADD_FAILURE() << "saved";
        } catch (const EDBKernelError& e) {
            EXPECT_EQ(e.message(), "Table PATIENT cannot be renamed to CLIENT: a table named "
                                   "CLIENT already exists.");
        }
        EXPECT_EQ(d.recorder->statements.last(), exists.arg("CLIENT"));
        // A copy left by an earlier rebuild is replaced while the table keeps its description,
        // and refused once the description is gone.
        d.answer(exists.arg("PATIENT_TMP"), "select 1 as id");
        auto s = longerName(d);
        EXPECT_TRUE(saveStructure(d, *s).contains("drop table PATIENT_TMP"));
        d.kernel.exec("delete from METATABLE where TABLE_NAME = 'PATIENT'");
        EXPECT_THROW(saveStructure(d, *longerName(d, 80)), EDBKernelError);
        EXPECT_EQ(d.firstLines(d.recorder->statements.size() - 2),
                  QStringList({exists.arg("PATIENT_TMP").section("\r\n", 0, 0),
                               "select * from METATABLE"}));
    }
}

TEST(EngineServer, AReplicatedTableKeepsOneVersionRowPerRecord)
{
    for (const bool renamed : {false, true}) {
        SchemaDb d(1);
        clinic(d);
        auto s = longerName(d);
        s->SetReplication(true);
        if (renamed)
            s->SetNewName("CLIENT");
        const QString copy = renamed ? "CLIENT" : "PATIENT_TMP";
        const QStringList sent = saveStructure(d, *s);
        const qsizetype at = sent.indexOf("insert into " + copy + "(PATIENT_ID,NAME)");
        ASSERT_GE(at, 0);
        QStringList expected{"delete from REC_VERSION where TABLE_NAME = '" + copy + "'"};
        if (renamed)
            expected << "update REC_VERSION set TABLE_NAME = 'CLIENT' where TABLE_NAME = 'PATIENT'";
        EXPECT_EQ(sent.mid(at + 1, expected.size()), expected);
        // The rebuilt table keeps versioning its rows.
        const QString t = renamed ? "CLIENT" : "PATIENT";
        EXPECT_TRUE(d.sent("create trigger tU_" + t + " on " + t + " for UPDATE as")
                        .contains("update REC_VERSION set VERSION_GUID = NEWID()"));
        EXPECT_TRUE(d.sent("create trigger tI_" + t + " on " + t + " for INSERT as")
                        .contains("insert REC_VERSION(TABLE_NAME,UNIREC_ID,REC_GUID,VERSION_GUID,"
                                  "ISDELETED)"));
    }
}

TEST(EngineServer, CopyingAnExistingTableMarksEverythingNewWithLegacyLabels)
{
    SchemaDb d(1);
    clinic(d);
    d.kernel.exec(
        "create table VISITS (VISIT_ID integer, PATIENTS_ID integer, KIND varchar(10), DONE bit,"
        " FEE money, RATE float, NOTE text, SCAN image);"
        "create table DISPLAY_TABLE (DISPLAY_TABLE_ID integer, CODE varchar(30), LIB varchar(40),"
        " LANGUE_ID integer);"
        "create table DISPLAY_FIELD (DISPLAY_TABLE_ID integer, CODE varchar(30), LIB varchar(40),"
        " LANGUE_ID integer);"
        "create table COMBO (TABLE_NAME varchar(30), FIELD_NAME varchar(30), CODE varchar(10),"
        " LANGUE_ID integer, LIB varchar(40), SORT integer);"
        "create table SYSCOL (name varchar(30), isnullable integer, xusertype integer);"
        "insert into DISPLAY_TABLE values (1, 'VISITS', 'Visite', 1);"
        "insert into DISPLAY_FIELD values (1, 'KIND', '<Genre>', 1), (1, 'KIND', 'Kind', 3),"
        " (1, 'PATIENTS_ID', 'Patient', 1), (1, 'FEE', 'Tarif', 1);"
        "insert into COMBO values ('VISITS', 'KIND', 'B', 1, 'Bilan', 2),"
        " ('VISITS', 'KIND', 'A', 1, 'Analyse', 1), ('VISITS', 'KIND', 'X', 3, 'Other', 0);"
        "insert into SYSCOL values ('VISIT_ID', 0, 56), ('DONE', 1, 258);"
        "insert into SYSIND values ('[dbo].[VISITS]', 1, 'PK_VISITS', 1, 2066);"
        "insert into IDXCOL values ('[dbo].[VISITS]', 1, 1, 'VISIT_ID');");
    d.answer("select object_name(id) TABLE_NAME from sysobjects where type = 'U'",
             "select 'PATIENTS' as TABLE_NAME union all select 'VISITS'");
    d.answer("select name,isnullable,xusertype from syscolumns where id = object_id(?)",
             "select * from SYSCOL where ? is not null");
    auto s = d.table("NEW_VISITS");
    TTableStrEngine e;
    e.LoadStructure(*s);
    e.mCopyTableClick("VISITS");
    EXPECT_FALSE(e.CopyingTable);
    EXPECT_EQ(e.TTable.fieldByName("CUSTOM")->asString(), "Label=Visite\r\nMultiLabel=Visites\r\n");
    EXPECT_EQ(rowsOf(e.TFields, {"UA", "NEW_NAME", "DATATYPE", "SIZE", "PREC", "REQUIRED", "HIDDEN",
                                 "LINK_ID", "CUSTOM"}),
              QStringList({"C|VISIT_ID|1|||1|1||", "C|PATIENTS_ID|1|||0|1|1|",
                           "C|KIND|3|10||0|0||Label=Genre\r\nLookupKeys=A,B\r\n"
                           "LookupValues=Analyse,Bilan\r\n",
                           "C|DONE|11|||0|0||", "C|FEE|7|||0|0||Label=Tarif\r\n",
                           "C|RATE|8|20|6|0|0||", "C|NOTE|9|||0|0||", "C|SCAN|12|||0|0||"}));
    EXPECT_EQ(rowsOf(e.TInd, {"UA", "NEW_NAME", "FIELDS"}), QStringList{"C|PRIMARY KEY|VISIT_ID"});
    EXPECT_EQ(
        rowsOf(e.TLink, {"UA", "MASTER", "KEY", "REFERENCE", "ACTION", "ACT", "NEW_REFERENCE"}),
        QStringList{"C|PATIENTS|PATIENTS_ID|PATIENTS_ID|0|None|PATIENTS_ID"});
}

TEST(EngineServer, ARebuildUnderANewNameKeepsTheDeleteActionsTowardsItsChildren)
{
    for (const quint8 kind : {1, 2}) {
        SCOPED_TRACE(int(kind));
        SchemaDb d(kind);
        clinic(d);
        auto s = longerName(d);
        s->SetNewName("CLIENT");
        saveStructure(d, *s);
        const QStringList trigger =
            d.sent(kind == 1 ? "create trigger tD_CLIENT on CLIENT for DELETE as"
                             : "create or replace trigger tD_CLIENT after delete on CLIENT for "
                               "each row");
        EXPECT_TRUE(trigger.contains(kind == 1 ? "delete VISIT" : "delete from VISIT"))
            << trigger.join('\n').toStdString();
        EXPECT_EQ(d.rows("select PARENT, CHILD from TABLELINK"), QStringList{"CLIENT|VISIT"});
    }
}

// Columns the table has under names the tool refuses for new ones (made behind its back, one of
// them a word of a run-together reserved entry): a rebuild names them quoted and keeps their
// values.
TEST(EngineServer, ARebuildQuotesTheColumnsTheServerCannotTakeAsTheyStand)
{
    for (const quint8 kind : {1, 2}) {
        SCOPED_TRACE(int(kind));
        SchemaDb d(kind);
        clinic(d);
        const QString word = kind == 1 ? "JOIN" : "USER";
        d.kernel.exec(QString("alter table PATIENT add column \"2X\" varchar(10);"
                              "alter table PATIENT add column \"%1\" integer;"
                              "update PATIENT set \"2X\" = 'a', \"%1\" = 7;")
                          .arg(word));
        auto s = longerName(d);
        addIndex(*s, "IX_2X", "2X," + word);
        const qsizetype from = d.recorder->statements.size();
        saveStructure(d, *s);
        EXPECT_EQ(tableStatements(d, from),
                  golden(kind == 1 ? "rebuild_quoted_mssql.sql" : "rebuild_quoted_oracle.sql"));
        EXPECT_EQ(d.rows("select * from PATIENT"), QStringList{"1|Durand|a|7"});
    }
}
