// Structures applied for real on the local kind (SQLite), read back with the sqlite3 tool and the
// engine: types, keys, metadata rows, alters, renames, drops, existence tests and a view made
// through the kernel's schema tools.
#include "schema_helpers.h"

#include <kernel/dbaccess.h>
#include <platform/db/localtable.h>
#include <platform/db/tablelock.h>
#include <schema/schematools.h>

#include <support/qt_printers.h>

#include <QFile>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

// PATIENT, and VISIT linked to it with an index on its code.
void createPatientAndVisit(SchemaDb& d)
{
    auto patient = d.table("PATIENT");
    addField(*patient, "PATIENT_ID", dtInteger, 0, foRequired);
    addField(*patient, "NAME", dtString, 40);
    addIndex(*patient, "PRIMARY KEY", "PATIENT_ID", idxPrimary);
    patient->Execute();
    auto visit = d.table("VISIT");
    addField(*visit, "VISIT_ID", dtInteger, 0, foRequired);
    addField(*visit, "PATIENT_ID", dtInteger);
    addField(*visit, "CODE", dtString, 10);
    addIndex(*visit, "PRIMARY KEY", "VISIT_ID", idxPrimary);
    addIndex(*visit, "IX_CODE", "CODE");
    addLink(*visit, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade);
    visit->Execute();
}

} // namespace

TEST(SchemaLocal, TableOfEveryTypeReadsBackAsItsKernelTypesWithMetadataAndKey)
{
    SchemaDb d;
    auto s = d.table("AllTypes");
    for (int t = dtInteger; t <= dtLangString; ++t)
        addField(*s, QString("F%1").arg(t), TDataType(t), 20)->Precision = 2;
    s->Fields().Items(0)->Options = foRequired | foHidden;
    addIndex(*s, "PRIMARY KEY", "F1", idxPrimary);
    addIndex(*s, "BY_TEXT", "F3");
    s->OwnerName = "O'Neil";
    s->Execute();

    LocalTable t;
    t.setDatabase(&d.db);
    t.setTableName("ALLTYPES");
    t.open();
    const QList<TDataType> expected{dtInteger,  dtInteger, dtString,  dtDateTime, dtDateTime,
                                    dtDateTime, dtMoney,   dtNumeric, dtMemo,     dtBlob,
                                    dtBoolean,  dtGraphic, dtNumeric, dtNumeric,  dtString};
    QList<TDataType> read;
    for (int i = 0; i < t.fieldCount(); ++i)
        read.append(FieldTypeToDataType(t.field(i)->dataType()));
    EXPECT_EQ(read, expected);
    // The engine knows the key as the primary index.
    const IndexDefs indexes = t.storedIndexDefs();
    ASSERT_EQ(indexes.count(), 2);
    EXPECT_EQ(indexes.at(1).fields, "F1");
    EXPECT_TRUE(indexes.at(1).options.testFlag(IndexDef::Primary));
    t.close();
    EXPECT_EQ(d.rows("select name from sqlite_master where type = 'index' and sql is not null "
                     "and tbl_name = 'ALLTYPES' order by name"),
              QStringList({"ALLTYPES$BY_TEXT", "ALLTYPES$PRIMARY"}));
    EXPECT_EQ(d.rows("select TABLE_NAME, KEY_FIELDS, SYSTEM, OWNER_NAME, OBJECT_KIND from "
                     "METATABLE"),
              QStringList({"ALLTYPES|F1|1|O'Neil|T"}));
    EXPECT_EQ(d.rows("select count(*), group_concat(ORD), sum(DATATYPE) from METAFIELD"),
              QStringList({"15|1,2,3,4,5,6,7,8,9,10,11,12,13,14,15|120"}));
    EXPECT_EQ(d.rows("select REQUIRED, VISIBLE from METAFIELD where FIELD_NAME = 'F1'"),
              QStringList({"1|0"}));
    EXPECT_EQ(d.rows("select group_concat(ACTION, '') from ROLEPERM"), QStringList({"SIUD"}));

    // A table whose rows are copied in by the engine gets no default rights.
    auto copy = d.table("COPY_TMP");
    addField(*copy, "ID", dtInteger);
    copy->SkipRolePerm = true;
    copy->Execute();
    EXPECT_EQ(d.rows("select count(*) from ROLEPERM where TABLE_NAME = 'COPY_TMP'"),
              QStringList({"0"}));
}

TEST(SchemaLocal, AlterRenameAndDropKeepTheMetadataInStep)
{
    SchemaDb d;
    createPatientAndVisit(d);
    d.db.execute("insert into VISIT values (1, 5, 'A'), (2, 5, 'B')"); // its index has the engine's
                                                                       // collation

    auto s = d.table("VISIT", uaAlter);
    addField(*s, "DONE", dtBoolean);
    addField(*s, "VISIT_ID", dtInteger);                            // present: left alone
    addField(*s, "CODE", dtString, 10)->UpgradeAction = uaDrop;     // with its index
    addField(*s, "NOTE", dtString, 10)->UpgradeAction = uaDrop;     // absent
    addField(*s, "PATIENT_ID", dtInteger)->UpgradeAction = uaAlter; // metadata only
    s->Fields().Items(4)->MetaType = "PATIENT";
    addIndex(*s, "IX_CODE", "CODE")->UpgradeAction = uaDrop;
    addLink(*s, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade); // written again
    s->Execute();
    EXPECT_EQ(d.rows("select * from VISIT"), QStringList({"1|5|0", "2|5|0"}));
    EXPECT_EQ(d.rows("select FIELD_NAME, METATYPE, ORD from METAFIELD where TABLE_NAME = 'VISIT' "
                     "order by ORD"),
              QStringList({"VISIT_ID||1", "PATIENT_ID|PATIENT|2", "DONE||3"}));
    EXPECT_EQ(d.rows("select count(*) from TABLELINK"), QStringList({"1"}));
    // The positions are right now: an alter that changes nothing writes none.
    const qsizetype from = d.recorder->statements.size();
    d.table("VISIT", uaAlter)->Execute();
    EXPECT_TRUE(d.firstLines(from).contains("select FIELD_NAME,ORD from METAFIELD where "
                                            "TABLE_NAME = ?"));
    EXPECT_FALSE(d.firstLines(from).join('\n').contains("update METAFIELD set ORD"));

    // A link label with a quote, and a new name that everything follows.
    s = d.table("VISIT", uaAlter);
    addLink(*s, "PATIENT", "PATIENT_ID", "PATIENT_ID", daRestrict)->UpgradeAction = uaAlter;
    s->Links().Items(0)->Custom = QStringList{"Label=Date d'entrée"};
    s->SetNewName("CONSULT");
    s->Execute();
    EXPECT_EQ(d.rows("select CHILD, DEL_ACT, rtrim(CUSTOM, char(13, 10)) from TABLELINK"),
              QStringList({"CONSULT|R|Label=Date d'entrée"}));
    EXPECT_EQ(d.rows("select distinct TABLE_NAME from METAFIELD where TABLE_NAME <> 'PATIENT' "
                     "union all select distinct TABLE_NAME from ROLEPERM where TABLE_NAME <> "
                     "'PATIENT'"),
              QStringList({"CONSULT", "CONSULT"}));
    EXPECT_FALSE(QFile::exists(TableLock::lockFileName(d.db.databaseFile(), "VISIT")));
    {
        LocalTable t;
        t.setDatabase(&d.db);
        t.setTableName("CONSULT");
        t.open();
        EXPECT_TRUE(t.findKey({2}));
        EXPECT_EQ(t.recordCount(), 2);
    }

    TDBAccess access;
    access.SetDataBase(&d.db);
    access.UpdateServerKind();
    EXPECT_TRUE(TableExists("consult", access));
    EXPECT_TRUE(FieldExists("CONSULT", "DONE", access));
    EXPECT_FALSE(FieldExists("CONSULT", "CODE", access));
    EXPECT_FALSE(FieldExists("VISIT", "DONE", access));

    auto drop = d.table("CONSULT", uaDrop);
    drop->Execute();
    EXPECT_FALSE(TableExists("CONSULT", access));
    EXPECT_EQ(d.rows("select count(*) from METATABLE where TABLE_NAME = 'CONSULT' union all "
                     "select count(*) from TABLELINK"),
              QStringList({"0", "0"}));
}

TEST(SchemaLocal, ViewMadeThroughTheKernelsSchemaTools)
{
    SchemaDb d;
    createPatientAndVisit(d);
    RegisterSchemaTools();
    TDBAccess access;
    access.SetDataBase(&d.db);
    access.UpdateServerKind();
    TViewStruct view;
    view.TableName = "v_patient";
    view.BaseTable = "PATIENT";
    view.PrimaryIndexFields = "PATIENT_ID";
    view.Fields = {{"PATIENT_ID", dtInteger, 0, 0, true, false, {}, "PATIENT", "PATIENT_ID"},
                   {"NAME", dtString, 40, 0, false, false, {"Label=Nom"}, "PATIENT", "NAME"}};
    view.Links = {{"PATIENT", "PATIENT_ID", "PATIENT_ID", "v_patient", daNone, {}}};
    // Made again (a later version of its module), the view replaces itself.
    for (int run = 0; run < 2; ++run)
        SchemaTools()->CreateView(access, view, {"select PATIENT_ID, NAME from PATIENT"});
    EXPECT_EQ(d.rows("select TABLE_NAME, KEY_FIELDS, OBJECT_KIND, BASE_TABLE from METATABLE where "
                     "OBJECT_KIND = 'V'"),
              QStringList({"V_PATIENT|PATIENT_ID|V|PATIENT"}));
    EXPECT_EQ(d.rows("select FIELD_NAME, rtrim(CUSTOM, char(13, 10)), ORIGIN, ORD from METAFIELD "
                     "where TABLE_NAME = 'V_PATIENT'"),
              QStringList({"PATIENT_ID||PATIENT|1", "NAME|Label=Nom|PATIENT|2"}));
    EXPECT_EQ(d.rows("select ACTION from ROLEPERM where TABLE_NAME = 'V_PATIENT'"),
              QStringList({"S"}));
    EXPECT_EQ(d.rows("select CHILD, REF_FIELDS, DEL_ACT from TABLELINK where CHILD <> 'VISIT'"),
              QStringList({"v_patient|PATIENT_ID| "}));
    EXPECT_FALSE(TDBAccess::UpgradeKernelModule(access, 6, 7));
}
