// The structure engine on the local kind, for real on SQLite and read back with the sqlite3 tool:
// alterations in place and rebuilds that keep every row, renames, drops, key changes, and the
// same changes failing at each of their statements or ended by a killed process.
#include "schema_helpers.h"

#include <schema/tablestrengine.h>

#include <support/qt_printers.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

// PATIENT (three rows; the tools' own rights, whose role 0 has no DBROLE row, and one of NURSE)
// and VISIT, whose PATIENT_ID refers to it.
void clinic(SchemaDb& d)
{
    d.kernel.exec("insert into DBROLE values (5, 'NURSE');");
    auto patient = d.table("PATIENT");
    addField(*patient, "PATIENT_ID", dtInteger, 0, foRequired);
    addField(*patient, "NAME", dtString, 40)->MetaType = "NOM";
    addField(*patient, "CITY", dtString, 30);
    addIndex(*patient, "PRIMARY KEY", "PATIENT_ID", idxPrimary | idxUnique);
    addIndex(*patient, "IX_NAME", "NAME");
    patient->SetInsertBody({"-- audit"});
    patient->Execute();
    auto visit = d.table("VISIT");
    addField(*visit, "VISIT_ID", dtInteger, 0, foRequired);
    TFieldItem* patientId = addField(*visit, "PATIENT_ID", dtInteger);
    patientId->MetaType = "PAT";
    patientId->Custom = {"Label=Patient"};
    addField(*visit, "CODE", dtString, 10);
    addIndex(*visit, "PRIMARY KEY", "VISIT_ID", idxPrimary);
    addLink(*visit, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade);
    visit->Execute();
    // Through the engine: the sqlite3 tool knows no ANSI collation to keep IX_NAME with.
    for (const char* sql :
         {"insert into PATIENT values (1, 'Durand', 'Lyon'), (2, 'O''Neil', NULL),"
          " (3, NULL, 'Metz')",
          "insert into VISIT values (10, 1, 'A'), (11, 2, 'B')",
          "insert into ROLEPERM values (5, 'PATIENT', 'S', 1)"})
        d.db.execute(QString::fromLatin1(sql));
}

// Everything a change may touch, as the sqlite3 tool shows it.
QStringList snapshot(SchemaDb& d)
{
    return d.rows("select type, name, tbl_name, sql from sqlite_master order by name") +
           d.rows("select * from PATIENT order by 1") + d.rows("select * from VISIT order by 1") +
           d.rows("select * from METATABLE order by 1") +
           d.rows("select * from METAFIELD order by 1, 2") +
           d.rows("select * from TABLELINK order by 1, 2") +
           d.rows("select * from ROLEPERM order by 2, 1, 3");
}

} // namespace

TEST(EngineLocal, RebuildsKeepEveryRowFieldByFieldWithLinksPermissionsAndTexts)
{
    // A change, the table afterwards, its rows and its METAFIELD rows (FIELD_NAME, DATATYPE,
    // FSIZE, ORD, METATYPE), each list written with "," between its rows.
    struct Rebuild
    {
        std::function<void(TTableStruct&)> change;
        QString table, rows, metadata;
    };
    const QString kept = "1|Durand|Lyon,2|O'Neil|NULL,3|NULL|Metz";
    const QString id = "PATIENT_ID|1|0|1|,";
    const QList<Rebuild> cases{
        {[](TTableStruct& s) { alterField(s, "NAME", dtString, 60); }, "PATIENT", kept,
         id + "NAME|3|60|2|NOM,CITY|3|30|3|"},
        {[](TTableStruct& s) { s.SetFieldsOrder("PATIENT_ID,CITY,NAME"); }, "PATIENT",
         "1|Lyon|Durand,2|NULL|O'Neil,3|Metz|NULL", id + "CITY|3|30|2|,NAME|3|40|3|NOM"},
        {[](TTableStruct& s) { alterField(s, "NAME", dtString, 40, "LAST_NAME"); }, "PATIENT", kept,
         id + "LAST_NAME|3|40|2|NOM,CITY|3|30|3|"},
        {[](TTableStruct& s) {
             alterField(s, "NAME", dtString, 60), addField(s, "ACTIVE", dtBoolean);
         },
         "PATIENT", "1|Durand|Lyon|0,2|O'Neil|NULL|0,3|NULL|Metz|0",
         id + "NAME|3|60|2|NOM,CITY|3|30|3|,ACTIVE|11|0|4|"},
        {[](TTableStruct& s) { addField(s, "AGE", dtInteger, 0, foRequired); }, "PATIENT",
         "1|Durand|Lyon|NULL,2|O'Neil|NULL|NULL,3|NULL|Metz|NULL",
         id + "NAME|3|40|2|NOM,CITY|3|30|3|,AGE|1|0|4|"},
        {[](TTableStruct& s) { s.SetNewName("CLIENT"), alterField(s, "CITY", dtString, 50); },
         "CLIENT", kept, id + "NAME|3|40|2|NOM,CITY|3|50|3|"},
    };
    for (const Rebuild& c : cases) {
        SCOPED_TRACE(c.metadata.toStdString());
        SchemaDb d;
        clinic(d);
        auto s = d.table("PATIENT", uaAlter);
        c.change(*s);
        saveStructure(d, *s);
        const QString t = c.table;
        EXPECT_EQ(d.rows("select * from " + t + " order by 1"), c.rows.split(','));
        EXPECT_EQ(d.rows("select FIELD_NAME, DATATYPE, FSIZE, ORD, METATYPE from METAFIELD where "
                         "TABLE_NAME = '" +
                         t + "' order by ORD"),
                  c.metadata.split(','));
        EXPECT_EQ(d.rows("select name from sqlite_master where type = 'table' and name in "
                         "('PATIENT', 'PATIENT_TMP', 'CLIENT')"),
                  QStringList{t});
        EXPECT_EQ(d.rows("select replace(INSERT_BODY, char(13, 10), '/'), KEY_FIELDS from "
                         "METATABLE where TABLE_NAME = '" +
                         t + "'"),
                  QStringList{"-- audit/|PATIENT_ID"});
        EXPECT_EQ(d.rows("select * from TABLELINK"),
                  QStringList{t + "|VISIT|PATIENT_ID|PATIENT_ID|C|"});
        EXPECT_EQ(d.rows("select DBROLE_ID || ACTION from ROLEPERM where TABLE_NAME = '" + t +
                         "' order by 1"),
                  QStringList({"0D", "0I", "0S", "0U", "5S"}));
        EXPECT_EQ(d.rows("select count(*) from VISIT"), QStringList{"2"});
    }
}

TEST(EngineLocal, MetadataOnlyAndNullableAddsAlterInPlace)
{
    SchemaDb d;
    clinic(d);
    auto s = d.table("PATIENT", uaAlter);
    TFieldItem* name = alterField(*s, "NAME", dtString, 40);
    name->Options = foHidden;
    name->Custom = {"Label=Nom"};
    addField(*s, "NOTE", dtString, 20);
    const qsizetype from = d.recorder->statements.size();
    saveStructure(d, *s);
    EXPECT_FALSE(d.recorder->statements.mid(from).join('\n').contains("_TMP"));
    EXPECT_EQ(d.rows("select * from PATIENT order by 1"),
              QStringList({"1|Durand|Lyon|NULL", "2|O'Neil|NULL|NULL", "3|NULL|Metz|NULL"}));
    EXPECT_EQ(d.rows("select FIELD_NAME, VISIBLE, replace(CUSTOM, char(13, 10), '/'), METATYPE "
                     "from METAFIELD where TABLE_NAME = 'PATIENT' order by ORD"),
              QStringList({"PATIENT_ID|1||", "NAME|0|Label=Nom/|NOM", "CITY|1||", "NOTE|1||"}));
}

TEST(EngineLocal, RenameAloneAltersInPlaceThenRelinksChildrenAndKeepsTriggerTexts)
{
    SchemaDb d;
    clinic(d);
    auto s = d.table("PATIENT", uaAlter);
    s->SetNewName("CLIENT");
    const qsizetype from = d.recorder->statements.size();
    saveStructure(d, *s);
    EXPECT_FALSE(d.recorder->statements.mid(from).join('\n').contains("_TMP"));
    EXPECT_EQ(d.rows("select * from CLIENT order by 1"),
              QStringList({"1|Durand|Lyon", "2|O'Neil|NULL", "3|NULL|Metz"}));
    EXPECT_EQ(d.rows("select TABLE_NAME, replace(INSERT_BODY, char(13, 10), '/') from METATABLE "
                     "order by 1"),
              QStringList({"CLIENT|-- audit/", "VISIT|"}));
    EXPECT_EQ(d.rows("select * from TABLELINK"),
              QStringList{"CLIENT|VISIT|PATIENT_ID|PATIENT_ID|C|"});

    // A child renamed keeps its link and the label and type of the field that makes it.
    auto child = d.table("VISIT", uaAlter);
    child->SetNewName("CONSULT");
    saveStructure(d, *child);
    EXPECT_EQ(d.rows("select * from TABLELINK"),
              QStringList{"CLIENT|CONSULT|PATIENT_ID|PATIENT_ID|C|"});
    EXPECT_EQ(d.rows("select FIELD_NAME, VISIBLE, METATYPE, replace(CUSTOM, char(13, 10), '/') "
                     "from METAFIELD where TABLE_NAME = 'CONSULT' order by ORD"),
              QStringList({"VISIT_ID|1||", "PATIENT_ID|1|PAT|Label=Patient/", "CODE|1||"}));
    EXPECT_EQ(d.rows("select * from CONSULT order by 1"), QStringList({"10|1|A", "11|2|B"}));
}

TEST(EngineLocal, KeyChangesRecreateChildLinksOrDropThemKeepingChildColumns)
{
    for (const bool sameWidth : {true, false}) {
        SCOPED_TRACE(sameWidth);
        SchemaDb d;
        clinic(d);
        auto s = d.table("PATIENT", uaAlter);
        if (sameWidth)
            alterField(*s, "PATIENT_ID", dtInteger, 0, "PAT_ID")->Options = foRequired;
        else
            addIndex(*s, "PRIMARY KEY", "PATIENT_ID,NAME", idxPrimary)->UpgradeAction = uaAlter;
        saveStructure(d, *s);
        EXPECT_EQ(d.rows("select KEY_FIELDS from METATABLE where TABLE_NAME = 'PATIENT'"),
                  QStringList{sameWidth ? "PAT_ID" : "PATIENT_ID,NAME"});
        EXPECT_EQ(d.rows("select * from TABLELINK"),
                  sameWidth ? QStringList{"PATIENT|VISIT|PAT_ID|PATIENT_ID|C|"} : QStringList());
        EXPECT_EQ(d.rows("select * from VISIT order by 1"), QStringList({"10|1|A", "11|2|B"}));
        EXPECT_EQ(d.rows("select group_concat(FIELD_NAME) from METAFIELD where TABLE_NAME = "
                         "'VISIT'"),
                  QStringList{"VISIT_ID,PATIENT_ID,CODE"});
    }
}

TEST(EngineLocal, DropRemovesEachChildsLinksInOneAlterationThenTheTable)
{
    SchemaDb d;
    clinic(d);
    auto note = d.table("NOTE");
    addField(*note, "NOTE_ID", dtInteger, 0, foRequired);
    addField(*note, "AUTHOR_ID", dtInteger);
    addField(*note, "PATIENT_ID", dtInteger);
    addIndex(*note, "PRIMARY KEY", "NOTE_ID", idxPrimary);
    addLink(*note, "PATIENT", "AUTHOR_ID", "PATIENT_ID", daNone);
    addLink(*note, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade);
    note->Execute();
    d.db.execute("insert into NOTE values (7, 1, 2)");
    const qsizetype from = d.recorder->statements.size();
    TTableStrEngine e;
    e.DropTable(*d.table("PATIENT", uaDrop));
    // One alteration of NOTE: its field order is looked at once.
    EXPECT_EQ(d.firstLines(from).count("select * from NOTE where 0=1"), 1);
    EXPECT_EQ(d.rows("select name from sqlite_master where name like 'PATIENT%'"), QStringList());
    EXPECT_EQ(d.rows("select count(*) from TABLELINK union all select count(*) from METATABLE "
                     "where TABLE_NAME = 'PATIENT' union all select count(*) from ROLEPERM where "
                     "TABLE_NAME = 'PATIENT'"),
              QStringList({"0", "0", "0"}));
    EXPECT_EQ(d.rows("select * from VISIT union all select * from NOTE"),
              QStringList({"10|1|A", "11|2|B", "7|1|2"}));
}

// SQLite checks every view when a table is renamed or loses a column; the local kind's changes
// do not depend on views: one on the changed table keeps reading it, and one whose table was
// dropped blocks nothing.
TEST(EngineLocal, ViewsNeitherBlockNorLoseAChange)
{
    const struct
    {
        const char* change;
        std::function<void(TTableStruct&)> alter;
        QString table;
        QString rows;
    } cases[] = {
        {"rebuild", [](TTableStruct& s) { alterField(s, "NAME", dtString, 60); }, "PATIENT",
         "1|Durand|Lyon,2|O'Neil|NULL,3|NULL|Metz"},
        {"column drop",
         [](TTableStruct& s) { addField(s, "CITY", dtString, 30)->UpgradeAction = uaDrop; },
         "PATIENT", "1|Durand,2|O'Neil,3|NULL"},
        {"rename", [](TTableStruct& s) { s.SetNewName("CLIENT"); }, "CLIENT",
         "1|Durand|Lyon,2|O'Neil|NULL,3|NULL|Metz"},
    };
    for (const auto& k : cases) {
        for (const bool visitDropped : {false, true}) {
            SCOPED_TRACE(
                QString("%1, VISIT dropped: %2").arg(k.change).arg(visitDropped).toStdString());
            SchemaDb d;
            clinic(d);
            d.db.execute("create view V_PATIENT as select PATIENT_ID, NAME from PATIENT");
            d.db.execute("create view V_VISIT as select VISIT_ID, CODE from VISIT");
            if (visitDropped) {
                TTableStrEngine e;
                e.DropTable(*d.table("VISIT", uaDrop));
            }
            auto s = d.table("PATIENT", uaAlter);
            k.alter(*s);
            try {
                saveStructure(d, *s);
            } catch (const Exception& e) {
                ADD_FAILURE() << e.message().toStdString();
                continue;
            }
            EXPECT_EQ(d.rows("select * from " + k.table + " order by 1"), k.rows.split(','));
            // The views are still there; one on a table that keeps its name still reads it.
            EXPECT_EQ(d.rows("select name from sqlite_master where type = 'view' order by 1"),
                      QStringList({"V_PATIENT", "V_VISIT"}));
            if (k.table == "PATIENT") {
                EXPECT_EQ(d.rows("select * from V_PATIENT order by 1"),
                          QStringList({"1|Durand", "2|O'Neil", "3|NULL"}));
            }
            if (!visitDropped) {
                EXPECT_EQ(d.rows("select * from V_VISIT order by 1"),
                          QStringList({"10|A", "11|B"}));
            }
        }
    }
}

TEST(EngineLocal, AFailureAtAnyChangeLeavesEverythingAsItWas)
{
    SchemaDb d;
    clinic(d);
    auto s = d.table("PATIENT", uaAlter);
    alterField(*s, "NAME", dtString, 60);
    // The rebuild or the drop with its n-th statement (from 1) refused; the statements it sent.
    const auto change = [&d, &s](bool drop, qsizetype n) {
        TTableStrEngine e;
        e.BatchMode = true;
        if (!drop)
            e.LoadStructure(*s);
        const qsizetype from = d.recorder->statements.size();
        d.recorder->failAt = n > 0 ? from + n : 0;
        drop ? e.DropTable(*d.table("PATIENT", uaDrop)) : e.SaveStructure();
        return d.recorder->statements.mid(from);
    };
    static const QRegularExpression writes(
        "^(insert|update|delete|create|drop|alter|savepoint|release)\\b",
        QRegularExpression::CaseInsensitiveOption);
    const QStringList before = snapshot(d);
    const QStringList rows = d.rows("select * from PATIENT order by 1");
    const QString file = d.kernel.file();
    d.db.close();
    ASSERT_TRUE(QFile::copy(file, file + ".bak"));
    const auto restore = [&d, &file] {
        d.db.close();
        ASSERT_TRUE(QFile::remove(file) && QFile::copy(file + ".bak", file));
    };
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "drop" : "rebuild");
        // A run that gets through tells which statements change anything.
        const QStringList statements = change(drop, 0);
        restore();
        qsizetype first = 0, last = 0;
        for (qsizetype n = 1; n <= statements.size(); ++n) {
            if (writes.match(statements.at(n - 1)).hasMatch())
                (first == 0 ? first : last) = n;
        }
        ASSERT_GT(last, first);
        for (qsizetype n = first; n <= last; ++n) {
            const QString& statement = statements.at(n - 1);
            SCOPED_TRACE(statement.toStdString());
            bool refused = false;
            try {
                change(drop, n);
            } catch (const Exception&) {
                refused = true;
            }
            if (refused) {
                ASSERT_EQ(snapshot(d), before);
                continue;
            }
            // Only an existence test fails unseen (it answers "no"); the change still keeps
            // every row.
            EXPECT_TRUE(statement.startsWith("select")) << "not reported";
            if (!drop) {
                EXPECT_EQ(d.rows("select * from PATIENT order by 1"), rows);
            }
            restore();
        }
        // A commit that fails is rolled back.
        d.recorder->failCommits = 1;
        EXPECT_THROW(change(drop, 0), Exception);
        d.recorder->failCommits = 0;
        ASSERT_EQ(snapshot(d), before);
    }
}

TEST(EngineLocal, AProcessKilledBetweenTheDropAndTheRenameLeavesTheTableWhole)
{
    const QString child = QStringLiteral(QUORVANE_BINARY_DIR "/tests/tablestr_child");
    SchemaDb d;
    clinic(d);
    const QStringList before = snapshot(d);
    d.db.close();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVANE_TEST_CRASH_AT", "table-dropped");
    p.setProcessEnvironment(env);
    p.start(child, {d.kernel.folder()});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 70) << p.readAllStandardError().toStdString();
    EXPECT_EQ(snapshot(d), before);
}

// A column the table has under a name the tool would refuse for a new one (made behind its back)
// is carried through every change, quoted where the statements name it.
TEST(EngineLocal, AColumnNamedAgainstTheNewNameRulesKeepsItsRowsThroughEveryChange)
{
    const struct
    {
        const char* change;
        std::function<void(TTableStruct&)> alter;
        QString columns; // of PATIENT afterwards, as the table lists them
        QString rows;
    } cases[] = {
        {"another column made longer", [](TTableStruct& s) { alterField(s, "NAME", dtString, 60); },
         "PATIENT_ID,NAME,CITY,2X", "1|Durand|Lyon|a,2|O'Neil|NULL|NULL,3|NULL|Metz|c"},
        {"the column made longer", [](TTableStruct& s) { alterField(s, "2X", dtString, 20); },
         "PATIENT_ID,NAME,CITY,2X", "1|Durand|Lyon|a,2|O'Neil|NULL|NULL,3|NULL|Metz|c"},
        {"the columns moved", [](TTableStruct& s) { s.SetFieldsOrder("PATIENT_ID,2X,NAME,CITY"); },
         "PATIENT_ID,2X,NAME,CITY", "1|a|Durand|Lyon,2|NULL|O'Neil|NULL,3|c|NULL|Metz"},
        {"the column renamed", [](TTableStruct& s) { alterField(s, "2X", dtString, 10, "X2"); },
         "PATIENT_ID,NAME,CITY,X2", "1|Durand|Lyon|a,2|O'Neil|NULL|NULL,3|NULL|Metz|c"},
        {"the column dropped",
         [](TTableStruct& s) { addField(s, "2X", dtString, 10)->UpgradeAction = uaDrop; },
         "PATIENT_ID,NAME,CITY", "1|Durand|Lyon,2|O'Neil|NULL,3|NULL|Metz"},
        {"an index on it",
         [](TTableStruct& s) { alterField(s, "NAME", dtString, 60), addIndex(s, "IX_2X", "2X"); },
         "PATIENT_ID,NAME,CITY,2X", "1|Durand|Lyon|a,2|O'Neil|NULL|NULL,3|NULL|Metz|c"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.change);
        SchemaDb d;
        clinic(d);
        d.db.execute("alter table PATIENT add column \"2X\" varchar(10)");
        d.db.execute("update PATIENT set \"2X\" = case PATIENT_ID when 1 then 'a' when 3 then 'c' "
                     "end");
        auto s = d.table("PATIENT", uaAlter);
        k.alter(*s);
        try {
            saveStructure(d, *s);
        } catch (const Exception& e) {
            ADD_FAILURE() << e.message().toStdString();
            continue;
        }
        EXPECT_EQ(d.rows("select group_concat(name) from pragma_table_info('PATIENT')"),
                  QStringList{k.columns});
        EXPECT_EQ(d.rows("select * from PATIENT order by 1"), k.rows.split(','));
        EXPECT_EQ(d.rows("select group_concat(FIELD_NAME) from (select FIELD_NAME from METAFIELD "
                         "where TABLE_NAME = 'PATIENT' order by ORD)"),
                  QStringList{k.columns});
        EXPECT_EQ(d.rows("select name from sqlite_master where name like 'PATIENT_TMP%'"),
                  QStringList());
    }
}

namespace {

// LEDGER, made behind the tool's back with its METATABLE and METAFIELD rows: a key ID, then
// columns named by SQLite's keywords ORDER, SELECT and GROUP and by the words the tool keeps
// from new names on this kind, FUNCTION and INT; two rows.
void ledger(SchemaDb& d)
{
    d.kernel.exec(
        "create table LEDGER (ID INTEGER, \"ORDER\" INTEGER, \"SELECT\" VARCHAR(20),"
        " \"GROUP\" VARCHAR(20), \"FUNCTION\" VARCHAR(20), \"INT\" INTEGER, primary key(ID));"
        "create unique index \"LEDGER$PRIMARY\" on LEDGER (ID);"
        "insert into METATABLE (TABLE_NAME, KEY_FIELDS, SYSTEM, OBJECT_KIND)"
        " values ('LEDGER', 'ID', 0, 'T');"
        "insert into METAFIELD (TABLE_NAME, FIELD_NAME, REQUIRED, VISIBLE, DATATYPE, FSIZE, FPREC,"
        " ORD) values ('LEDGER', 'ID', 1, 1, 1, 0, 0, 1), ('LEDGER', 'ORDER', 0, 1, 1, 0, 0, 2),"
        " ('LEDGER', 'SELECT', 0, 1, 3, 20, 0, 3), ('LEDGER', 'GROUP', 0, 1, 3, 20, 0, 4),"
        " ('LEDGER', 'FUNCTION', 0, 1, 3, 20, 0, 5), ('LEDGER', 'INT', 0, 1, 1, 0, 0, 6);"
        "insert into LEDGER values (1, 10, 'a', 'g1', 'f1', 100), (2, NULL, 'b', NULL, 'f2', "
        "200);");
}

} // namespace

// Columns named by words SQLite reads as its own keywords, or by the words the tool keeps from
// new names, are the table's: every change carries them and their rows, quoted where the
// statements name them. Only new and renamed names meet the tool's own list.
TEST(EngineLocal, ColumnsNamedBySqlKeywordsOrReservedWordsKeepTheirRowsThroughEveryChange)
{
    const QString columns = "ID,ORDER,SELECT,GROUP,FUNCTION,INT";
    const QString rows = "1|10|a|g1|f1|100,2|NULL|b|NULL|f2|200";
    const QString refused = "TS_LEDGER. The name FUNCTION is reserved and cannt be used for "
                            "field name";
    const struct
    {
        const char* change;
        std::function<void(TTableStruct&)> alter;
        QString table, columns, rows; // afterwards, as the sqlite3 tool lists them
        QString indexed = {};         // the columns of the new index IX_ORDER, when one is made
        QString failure = {};         // the tool's refusal, the table then as it was
    } cases[] = {
        {"a field added in place", [](TTableStruct& s) { addField(s, "NOTE", dtString, 10); },
         "LEDGER", columns + ",NOTE", "1|10|a|g1|f1|100|NULL,2|NULL|b|NULL|f2|200|NULL"},
        {"a new field named by a keyword of SQLite alone",
         [](TTableStruct& s) { addField(s, "WHERE", dtInteger); }, "LEDGER", columns + ",WHERE",
         "1|10|a|g1|f1|100|NULL,2|NULL|b|NULL|f2|200|NULL"},
        {"a required new field, which rebuilds",
         [](TTableStruct& s) { addField(s, "KEY", dtInteger, 0, foRequired); }, "LEDGER",
         columns + ",KEY", "1|10|a|g1|f1|100|NULL,2|NULL|b|NULL|f2|200|NULL"},
        {"a column made longer", [](TTableStruct& s) { alterField(s, "SELECT", dtString, 40); },
         "LEDGER", columns, rows},
        {"the columns moved",
         [](TTableStruct& s) { s.SetFieldsOrder("ID,INT,FUNCTION,GROUP,SELECT,ORDER"); }, "LEDGER",
         "ID,INT,FUNCTION,GROUP,SELECT,ORDER", "1|100|f1|g1|a|10,2|200|f2|NULL|b|NULL"},
        {"a column renamed to another keyword of SQLite",
         [](TTableStruct& s) { alterField(s, "GROUP", dtString, 20, "HAVING"); }, "LEDGER",
         "ID,ORDER,SELECT,HAVING,FUNCTION,INT", rows},
        {"a column dropped",
         [](TTableStruct& s) { addField(s, "ORDER", dtInteger)->UpgradeAction = uaDrop; }, "LEDGER",
         "ID,SELECT,GROUP,FUNCTION,INT", "1|a|g1|f1|100,2|b|NULL|f2|200"},
        {"an index on two of them, with a rebuild",
         [](TTableStruct& s) {
             alterField(s, "SELECT", dtString, 40), addIndex(s, "IX_ORDER", "ORDER,GROUP");
         },
         "LEDGER", columns, rows, "ORDER,GROUP"},
        {"the table renamed", [](TTableStruct& s) { s.SetNewName("JOURNAL"); }, "JOURNAL", columns,
         rows},
        {"a field renamed FUNCTION",
         [](TTableStruct& s) {
             alterField(s, "SELECT", dtString, 20, "FUNCTION");
             alterField(s, "FUNCTION", dtString, 20, "PURPOSE");
         },
         "LEDGER",
         columns,
         rows,
         {},
         refused},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.change);
        SchemaDb d;
        ledger(d);
        auto s = d.table("LEDGER", uaAlter);
        k.alter(*s);
        QString failure;
        try {
            saveStructure(d, *s);
        } catch (const Exception& e) {
            failure = e.message();
        }
        EXPECT_EQ(failure, k.failure);
        const QString t = k.table;
        EXPECT_EQ(d.rows("select group_concat(name) from pragma_table_info('" + t + "')"),
                  QStringList{k.columns});
        EXPECT_EQ(d.rows("select * from " + t + " order by 1"), k.rows.split(','));
        EXPECT_EQ(d.rows("select group_concat(FIELD_NAME) from (select FIELD_NAME from METAFIELD "
                         "where TABLE_NAME = '" +
                         t + "' order by ORD)"),
                  QStringList{k.columns});
        EXPECT_EQ(d.rows("select name from sqlite_master where type = 'table' and (name like "
                         "'LEDGER%' or name like 'JOURNAL%')"),
                  QStringList{t});
        if (!k.indexed.isEmpty()) {
            EXPECT_EQ(d.rows("select group_concat(i.name) from sqlite_master m, "
                             "pragma_index_info(m.name) i where m.type = 'index' and m.name like "
                             "'%IX_ORDER'"),
                      QStringList{k.indexed});
        }
    }

    // On a table without them: a new field FUNCTION is refused, a new field ORDER is taken.
    SchemaDb d;
    clinic(d);
    auto function = d.table("PATIENT", uaAlter);
    addField(*function, "FUNCTION", dtInteger);
    try {
        saveStructure(d, *function);
        ADD_FAILURE() << "FUNCTION taken";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "TS_PATIENT. The name FUNCTION is reserved and cannt be used for "
                               "field name");
    }
    auto order = d.table("PATIENT", uaAlter);
    addField(*order, "ORDER", dtInteger, 0, foRequired);
    saveStructure(d, *order);
    EXPECT_EQ(d.rows("select group_concat(name) from pragma_table_info('PATIENT')"),
              QStringList{"PATIENT_ID,NAME,CITY,ORDER"});
    EXPECT_EQ(d.rows("select * from PATIENT order by 1"),
              QStringList({"1|Durand|Lyon|NULL", "2|O'Neil|NULL|NULL", "3|NULL|Metz|NULL"}));
}
