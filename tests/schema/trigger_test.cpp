// The generated triggers: insert checks of required and optional links, delete actions and
// no-delete checks, update triggers with the table's own texts, replication and tracing, on both
// servers; and, through the recording driver, which triggers a change rebuilds.
#include "schema_helpers.h"

#include <kernel/dbaccess.h>
#include <schema/triggertext.h>

#include <support/qt_printers.h>

#include <gtest/gtest.h>

using namespace schematest;

TEST(SchemaTriggers, InsertChecksARequiredAndAnOptionalTwoColumnLink)
{
    const QList<TTriggerLink> links{{"PATIENT", "VISIT", {"PATIENT_ID"}, {"PATIENT_ID"}, " "},
                                    {"DOCS", "VISIT", {"TYPE", "NO"}, {"DOC_TYPE", "DOC_NO"}, " "}};
    const QStringList required{"visit_id", "patient_id"};
    EXPECT_EQ(InsertTriggerLines(ServerKind::MSSQL, "VISIT", {}, links, required, false, false),
              golden("insert_mssql.sql"));
    EXPECT_EQ(InsertTriggerLines(ServerKind::Oracle, "VISIT", {}, links, required, false, false),
              golden("insert_oracle.sql"));
    // Nothing to check and nothing of its own: no trigger.
    EXPECT_TRUE(
        InsertTriggerLines(ServerKind::MSSQL, "VISIT", {}, {}, required, false, false).isEmpty());
}

TEST(SchemaTriggers, DeleteActsOnEveryKindOfChildAndChecksItsOwnNoDeleteLink)
{
    TTriggerTexts texts;
    texts.KeyFields = "PATIENT_ID";
    texts.Trace = true;
    const QList<TTriggerLink> noDelete{{"FAMILY", "PATIENT", {"FAMILY_ID"}, {"FAMILY_ID"}, "X"}};
    const QList<TTriggerLink> children{{"PATIENT", "VISIT", {"PATIENT_ID"}, {"PATIENT_ID"}, "C"},
                                       {"PATIENT", "BILL", {"PATIENT_ID"}, {"PATIENT_ID"}, "R"},
                                       {"PATIENT", "NOTE", {"PATIENT_ID"}, {"PATIENT_ID"}, "N"},
                                       {"PATIENT", "CARD", {"PATIENT_ID"}, {"PATIENT_ID"}, "X"}};
    EXPECT_EQ(DeleteTriggerLines(ServerKind::MSSQL, "PATIENT", texts, noDelete, children, false),
              golden("delete_mssql.sql"));
    EXPECT_EQ(DeleteTriggerLines(ServerKind::Oracle, "PATIENT", texts, noDelete, children, false),
              golden("delete_oracle.sql"));
    // Tracing alone keeps the trigger that records the deletes.
    EXPECT_EQ(DeleteTriggerLines(ServerKind::MSSQL, "PATIENT", texts, {}, {}, false).size(), 13);
    texts.Trace = false;
    EXPECT_TRUE(DeleteTriggerLines(ServerKind::Oracle, "PATIENT", texts, {}, {}, false).isEmpty());
}

// A child table and a column whose names the server cannot take as they stand are quoted in the
// statements; the trigger's name and the messages keep them as they are.
TEST(SchemaTriggers, NamesTheServerCannotTakeAsTheyStandAreQuoted)
{
    const QList<TTriggerLink> links{{"PATIENT", "2LAB", {"PATIENT_ID"}, {"2X"}, "N"}};
    const QStringList mssql =
        InsertTriggerLines(ServerKind::MSSQL, "2LAB", {}, links, {}, false, false);
    EXPECT_EQ(
        mssql.mid(0, 1) + mssql.mid(9, 8),
        QStringList({"create trigger tI_2LAB on [2LAB] for INSERT as",
                     "select @validcnt = count(*) from inserted,PATIENT",
                     "where inserted.[2X] = PATIENT.PATIENT_ID",
                     "select @nullcnt = count(*) from inserted", "where inserted.[2X] is null",
                     "if @validcnt + @nullcnt != @numrows", "begin", "  select @errno = 50001,",
                     "  @errmsg = 'Cannot INSERT 2LAB because PATIENT does not exist.'"}));
    EXPECT_EQ(
        InsertTriggerLines(ServerKind::Oracle, "2LAB", {}, links, {}, false, false).mid(0, 10),
        QStringList({"create or replace trigger tI_2LAB  after INSERT on \"2LAB\" for each row",
                     "declare  numrows integer;", "begin",
                     "select count(*) into numrows from PATIENT",
                     "where :new.\"2X\" = PATIENT.PATIENT_ID;", "if numrows = 0",
                     "and :new.\"2X\" is not null", "then",
                     "  raise_application_error(-20002, 'Cannot INSERT 2LAB because PATIENT "
                     "does not exist.');",
                     "end if;"}));
    EXPECT_EQ(DeleteTriggerLines(ServerKind::MSSQL, "PATIENT", {}, {}, links, false).mid(5, 4),
              QStringList({"update [2LAB]", "set [2LAB].[2X] = NULL", "from deleted, [2LAB]",
                           "where deleted.PATIENT_ID = [2LAB].[2X]"}));
    EXPECT_EQ(DeleteTriggerLines(ServerKind::Oracle, "PATIENT", {}, {}, links, false).mid(3, 3),
              QStringList({"update \"2LAB\"", "set \"2LAB\".\"2X\" = NULL",
                           "where :old.PATIENT_ID = \"2LAB\".\"2X\";"}));
}

TEST(SchemaTriggers, UpdateMergesHeadAndBodyWithReplicationAndTracing)
{
    TTriggerTexts texts;
    texts.Head = {"@who varchar(30),", "@at datetime"};
    texts.Body = {"select @who = user_name()"};
    texts.KeyFields = "VISIT_ID";
    texts.Repl = true;
    texts.Trace = true;
    EXPECT_EQ(UpdateTriggerLines(ServerKind::MSSQL, "VISIT", texts), golden("update_mssql.sql"));
    // Oracle takes the head lines as they stand and keeps no replication.
    texts.Head = {"v_who varchar2(30);"};
    texts.Body = {"v_who := user;"};
    EXPECT_EQ(UpdateTriggerLines(ServerKind::Oracle, "VISIT", texts), golden("update_oracle.sql"));
    texts = TTriggerTexts();
    texts.Repl = true;
    EXPECT_TRUE(UpdateTriggerLines(ServerKind::Oracle, "VISIT", texts).isEmpty());
    EXPECT_EQ(CleanTriggerText("a\r\n  \r\n\tb\n\n"), QStringList({"a", "\tb"}));
}

TEST(SchemaTriggers, RebuiltFromTheStoredTextsWithVariablesUpperCasedOrOnlyDropped)
{
    SchemaDb d(1);
    d.kernel.exec("create table VISIT (VISIT_ID integer);"
                  "insert into METATABLE (TABLE_NAME, KEY_FIELDS) values ('VISIT', 'VISIT_ID')");
    auto s = d.table("VISIT", uaAlter);
    s->SetUpdateHead({"@Who varchar(30)"});
    s->SetUpdateBody({"", "select @Who = user_name()"});
    s->TriggersChanged = TriggerBit::Update;
    s->Execute();
    EXPECT_EQ(d.sent("create trigger tU_VISIT on VISIT for UPDATE as"),
              golden("update_stored_mssql.sql"));
    // Cleared texts: the old trigger goes and none comes.
    s->SetUpdateHead({});
    s->SetUpdateBody({});
    const qsizetype before = d.recorder->statements.size();
    s->Execute();
    EXPECT_EQ(d.ddl(before), QStringList({"if exists (select * from sysobjects where id = "
                                          "object_id('dbo.tU_VISIT'))",
                                          "drop trigger dbo.tU_VISIT", "go"}));
}

TEST(SchemaTriggers, ALinkMadeOrDroppedRebuildsTheChildsOwnDeleteTrigger)
{
    SchemaDb d(1);
    d.kernel.exec("create table CARD (CARD_ID integer, PATIENT_ID integer);"
                  "insert into METATABLE (TABLE_NAME, KEY_FIELDS) values ('CARD', 'CARD_ID')");
    auto s = d.table("CARD", uaAlter);
    addLink(*s, "PATIENT", "PATIENT_ID", "PATIENT_ID", daNoDelete);
    s->Execute();
    EXPECT_EQ(
        d.sent("create trigger tD_CARD on CARD for DELETE as").mid(4, 9),
        QStringList({"if @@ROWCOUNT = 0 return", "if exists(", "  select * from deleted,PATIENT",
                     "  where deleted.PATIENT_ID = PATIENT.PATIENT_ID)", "begin",
                     "  select @ERRNO  = 50002,",
                     "  @ERRMSG = 'Cannot DELETE CARD because PATIENT exists.'", "  goto error",
                     "end"}));
    // The master's trigger sets the child's reference to null.
    EXPECT_EQ(d.sent("create trigger tD_PATIENT on PATIENT for DELETE as").mid(5, 4),
              QStringList({"update CARD", "set CARD.PATIENT_ID = NULL", "from deleted, CARD",
                           "where deleted.PATIENT_ID = CARD.PATIENT_ID"}));

    // Without the link, deletes from the child no longer look at the master.
    s->Links().Items(0)->UpgradeAction = uaDrop;
    const qsizetype before = d.recorder->statements.size();
    s->Execute();
    const QStringList ddl = d.ddl(before);
    EXPECT_TRUE(ddl.contains("drop trigger dbo.tD_CARD"));
    EXPECT_FALSE(ddl.contains("create trigger tD_CARD on CARD for DELETE as"));
    EXPECT_TRUE(d.rows("select * from TABLELINK").isEmpty());
}
