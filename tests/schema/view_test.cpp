// Views made of requests on the local kind for real: the view's rows and SQL read back with the
// sqlite3 tool, its kernel metadata, the key columns a view gets for its links, and the request
// faults that stop it.
#include "schema_helpers.h"

#include <kernel/request.h>
#include <kernel/schemaapi.h>
#include <schema/schematools.h>

#include <support/workspace.h>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

// PATIENT and VISIT, linked, with labels; DOCTOR and ROOM, linked, both keyed "ID"; rows in all.
void seed(SchemaDb& d)
{
    auto patient = d.table("PATIENT");
    patient->SetCustom({"Label=Patients"});
    addField(*patient, "PATIENT_ID", dtInteger, 0, foRequired);
    addField(*patient, "NAME", dtString, 40);
    addIndex(*patient, "PRIMARY KEY", "PATIENT_ID", idxPrimary);
    patient->Execute();
    auto visit = d.table("VISIT");
    visit->SetCustom({"Label=Visites"});
    addField(*visit, "VISIT_ID", dtInteger, 0, foRequired);
    addField(*visit, "PATIENT_ID", dtInteger);
    addField(*visit, "CODE", dtString, 10)->Custom = QStringList{"Label=Code"};
    addIndex(*visit, "PRIMARY KEY", "VISIT_ID", idxPrimary);
    addLink(*visit, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade)->Custom =
        QStringList{"Label=Visites du patient"};
    visit->Execute();
    auto doctor = d.table("DOCTOR");
    addField(*doctor, "ID", dtInteger, 0, foRequired);
    addField(*doctor, "NAME", dtString, 40);
    addIndex(*doctor, "PRIMARY KEY", "ID", idxPrimary);
    doctor->Execute();
    auto room = d.table("ROOM");
    addField(*room, "ID", dtInteger, 0, foRequired);
    addField(*room, "DOCTOR_ID", dtInteger);
    addField(*room, "LABEL", dtString, 20);
    addIndex(*room, "PRIMARY KEY", "ID", idxPrimary);
    addLink(*room, "DOCTOR", "DOCTOR_ID", "ID", daNone);
    room->Execute();
    d.kernel.exec("insert into PATIENT values (1, 'Durand'), (2, 'Martin');"
                  "insert into VISIT values (10, 1, 'A'), (11, 1, 'B'), (12, 2, 'C');"
                  "insert into DOCTOR values (1, 'House'); insert into ROOM values (5, 1, 'Blue');"
                  "create table NOTES (NOTE_ID integer, TEXT varchar(80));");
}

std::unique_ptr<TDBRequest> request(AccessOn& a, const QString& view)
{
    auto r = std::make_unique<TDBRequest>();
    r->setObjectName("rView");
    r->SetDBAccess(&a.access);
    r->SetViewName(view);
    return r;
}

TFromItem* from(TDBRequest& r, const QString& table, const QString& alias,
                const QString& master = QString())
{
    TFromItem* f = r.From().Add();
    f->SetTableName(table);
    f->SetAlias(alias);
    f->SetMasterTable(master);
    return f;
}

TSelectItem* select(TDBRequest& r, const QString& origin, const QString& text,
                    const QString& alias = QString())
{
    TSelectItem* s = r.Select().Add();
    s->SetOrigin(origin);
    s->SetText(text);
    s->SetAlias(alias);
    return s;
}

struct Views
{
    Views()
    {
        seed(d);
        a.access.LoadMetaData();
        RegisterSchemaTools();
    }
    SchemaDb d;
    AccessOn a{d.db};
};

} // namespace

TEST(RequestView, VisitsWithTheirPatientsReadBackAsWorkedOutByHand)
{
    Views v;
    auto r = request(v.a, "V_VISIT");
    r->SetViewTitle("Visites et patients");
    from(*r, "VISIT", "V")->SetUpdates(true);
    from(*r, "PATIENT", "P", "V");
    select(*r, "V", "VISIT_ID");
    select(*r, "V", "PATIENT_ID");
    select(*r, "V", "CODE");
    select(*r, "P", "NAME")->SetTitle("Patient");
    TSelectItem* upper = select(*r, QString(), "upper(P.NAME)", "NAME_UP");
    upper->SetIsExpr(true);
    r->Where().Add()->SetText("V.CODE <> 'B'");
    r->CreateView(true);

    const SchemaDb& d = v.d;
    EXPECT_EQ(d.rows("select * from V_VISIT order by VISIT_ID"),
              QStringList({"10|1|A|Durand|DURAND", "12|2|C|Martin|MARTIN"}));
    // The view's text (SQLite keeps its first two words in capitals): the request's own
    // condition, not the one that read the column types.
    EXPECT_EQ(d.rows("select substr(sql, 1, 22), instr(sql, '0 = 1'), instr(sql, '<> ''B''') > 0 "
                     "from sqlite_master where name = 'V_VISIT'"),
              QStringList({"CREATE VIEW V_VISIT as|0|1"}));
    EXPECT_EQ(d.rows("select TABLE_NAME, KEY_FIELDS, SYSTEM, OBJECT_KIND, BASE_TABLE, "
                     "rtrim(CUSTOM, char(13, 10)) from METATABLE where TABLE_NAME = 'V_VISIT'"),
              QStringList({"V_VISIT|VISIT_ID|1|V|VISIT|Label=Visites et patients"}));
    EXPECT_EQ(d.rows("select FIELD_NAME, DATATYPE, FSIZE, REQUIRED, VISIBLE, ORIGIN, NATIVE_NAME, "
                     "ORD, rtrim(CUSTOM, char(13, 10)) from METAFIELD where TABLE_NAME = "
                     "'V_VISIT' order by ORD"),
              QStringList({"VISIT_ID|1|0|1|1|VISIT|VISIT_ID|1|Label=VISIT_ID",
                           "PATIENT_ID|1|0|0|1|VISIT|PATIENT_ID|2|Label=PATIENT_ID",
                           "CODE|3|10|0|1|VISIT|CODE|3|Label=Code",
                           "NAME|3|40|0|1|PATIENT|NAME|4|Label=Patient",
                           "NAME_UP|3|0|0|1|V_VISIT|NAME_UP|5|Label=NAME_UP"}));
    // The view carries both tables' keys: the main table's own, the patient's through the link.
    EXPECT_EQ(d.rows("select PARENT, CHILD, KEY_FIELDS, REF_FIELDS, DEL_ACT, rtrim(CUSTOM, "
                     "char(13, 10)) from TABLELINK where CHILD = 'V_VISIT' order by PARENT"),
              QStringList({"PATIENT|V_VISIT|PATIENT_ID|PATIENT_ID| |Label=Visites du patient",
                           "VISIT|V_VISIT|VISIT_ID|VISIT_ID| |Label=Visites"}));
    EXPECT_EQ(d.rows("select ACTION from ROLEPERM where TABLE_NAME = 'V_VISIT'"),
              QStringList({"S"}));
    EXPECT_EQ(r->Select().Count(), 5); // the request itself keeps its items
}

TEST(RequestView, AKeyColumnIsAddedOnlyWithAutoCreateLinksAndNamedApart)
{
    Views v;
    for (const bool autoCreate : {false, true}) {
        SCOPED_TRACE(autoCreate ? "on" : "off");
        auto r = request(v.a, "V_ROOM");
        r->SetAutoCreateLinks(autoCreate);
        from(*r, "ROOM", "R")->SetUpdates(true);
        from(*r, "DOCTOR", "D", "R");
        select(*r, "D", "ID");
        select(*r, "D", "NAME");
        select(*r, "R", "LABEL");
        r->CreateView(true);
        EXPECT_EQ(v.d.rows("select FIELD_NAME, ORIGIN, NATIVE_NAME from METAFIELD where "
                           "TABLE_NAME = 'V_ROOM' order by ORD"),
                  autoCreate
                      ? QStringList({"ID|DOCTOR|ID", "NAME|DOCTOR|NAME", "LABEL|ROOM|LABEL",
                                     "ID_1|ROOM|ID"})
                      : QStringList({"ID|DOCTOR|ID", "NAME|DOCTOR|NAME", "LABEL|ROOM|LABEL"}));
        EXPECT_EQ(v.d.rows("select * from V_ROOM"),
                  QStringList({autoCreate ? "1|House|Blue|5" : "1|House|Blue"}));
        EXPECT_EQ(v.d.rows("select PARENT, KEY_FIELDS, REF_FIELDS, rtrim(CUSTOM, char(13, 10)) "
                           "from TABLELINK where CHILD = 'V_ROOM' order by PARENT"),
                  autoCreate ? QStringList({"DOCTOR|ID|ID|Label=DOCTOR", "ROOM|ID|ID_1|Label=ROOM"})
                             : QStringList({"DOCTOR|ID|ID|Label=DOCTOR"}));
        EXPECT_EQ(r->Select().Count(), 3);
    }
}

TEST(RequestView, FaultsOfTheRequestStopItBeforeAnyView)
{
    Views v;
    auto noName = request(v.a, QString());
    from(*noName, "PATIENT", "P");
    select(*noName, "P", "NAME");
    EXPECT_EQ(messageOf<EDBKernelError>([&] { noName->CreateView(true); }),
              "rView: cannot create view. Not specified view name");

    auto notes = request(v.a, "V_NOTES");
    from(*notes, "NOTES", "N");
    select(*notes, "N", "TEXT");
    EXPECT_EQ(messageOf<EDBKernelError>([&] { notes->CreateView(true); }),
              "Cannot create view: properties for table 'NOTES' not found");

    // The origin written into the text: the column is "NAME", which no item names.
    auto named = request(v.a, "V_PATIENT");
    from(*named, "PATIENT", "P");
    select(*named, QString(), "P.PATIENT_ID", "PATIENT_ID");
    select(*named, QString(), "P.NAME");
    EXPECT_EQ(messageOf<EDBKernelError>([&] { named->CreateView(true); }),
              "Cannot find select item for field 'NAME'");

    // A program without the schema tools cannot make views.
    auto patients = request(v.a, "V_PATIENT");
    from(*patients, "PATIENT", "P");
    select(*patients, "P", "NAME");
    SetSchemaTools(nullptr);
    const QString noTools = messageOf<EDBKernelError>([&] { patients->CreateView(true); });
    RegisterSchemaTools();
    EXPECT_EQ(noTools, "rView: cannot create view. The schema tools are not available.");

    EXPECT_EQ(v.d.rows("select count(*) from sqlite_master where type = 'view' union all select "
                       "count(*) from METATABLE where OBJECT_KIND = 'V'"),
              QStringList({"0", "0"}));
}
