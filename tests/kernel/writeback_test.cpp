// Writing cached rows back on the local kind (SQLite, rows read back with the sqlite3 tool): edits,
// inserts and deletes with the walk along the links, what a write leaves when it fails, the
// editing events, lookup fields and the application server's update batch.
#include "kernel_helpers.h"

#include <kernel/dbcache.h>
#include <kernel/fielddesc.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

// The message of any error `call` raises.
template <typename F> QString errorOf(F&& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

void setText(TDBCache& c, const char* field, const QString& value)
{
    c.FieldByName(field)->setAsString(value);
}

} // namespace

TEST(WriteBack, EditsInsertsAndDeletesReachTheLocalTables)
{
    WritePractice p;
    CacheOn m(p, "MALADES", "*", coForwardID);
    ASSERT_TRUE(m->locate("MALADES_ID", 2));
    m->edit();
    setText(*m, "NOM", "Bertrand");
    m->FieldByName("ACTIF")->setAsBoolean(true);
    m->post();
    EXPECT_EQ(p.kernel.rows("select NOM, ACTIF from MALADES where MALADES_ID = 2"),
              QStringList({"Bertrand|1"}));
    EXPECT_EQ(m->ChangeCounter(), 0);
    EXPECT_EQ(m->WorkRecords()->recordCount(), 0);

    // A new row takes its identifier at once: one above the table's highest key, which
    // ID_VALUES keeps from then on; its Booleans start False.
    m->append();
    EXPECT_EQ(m->FieldByName("MALADES_ID")->asInteger(), 4);
    setText(*m, "NOM", "Denis");
    m->FieldByName("NE_LE")->setAsDateTime(
        TDateTime(QDate(1999, 12, 31).toJulianDay() - QDate(1899, 12, 30).toJulianDay()));
    m->post();
    EXPECT_EQ(p.kernel.rows("select * from MALADES where MALADES_ID = 4"),
              QStringList({"4|Denis|0|NULL|NULL|1999-12-31"}));
    EXPECT_EQ(p.kernel.rows("select * from ID_VALUES"), QStringList({"MALADES|4"}));

    // A blob is written as its bytes; emptied, it becomes null.
    m->edit();
    m->FieldByName("PHOTO")->setAsBytes(QByteArray("\x00\xff\x10", 3));
    m->post();
    EXPECT_EQ(p.kernel.rows("select hex(PHOTO) from MALADES where MALADES_ID = 4"),
              QStringList({"00FF10"}));
    m->edit();
    m->FieldByName("PHOTO")->setAsBytes(QByteArray());
    m->post();
    EXPECT_EQ(p.kernel.rows("select PHOTO is null from MALADES where MALADES_ID = 4"),
              QStringList({"1"}));

    // Claude has neither stays nor bills; his appointment loses him.
    ASSERT_TRUE(m->locate("MALADES_ID", 3));
    m->deleteRecord();
    EXPECT_EQ(p.kernel.rows("select MALADES_ID from MALADES order by 1"),
              QStringList({"1", "2", "4"}));
    EXPECT_EQ(p.kernel.rows("select * from RDV order by 1"),
              QStringList({"900|1|2024-05-01", "901|2|2024-05-02", "902|NULL|NULL"}));
    EXPECT_EQ(m->recordCount(), 3);
}

TEST(WriteBack, AnUnchangedRowWritesNothingAndOnUpdateDataMayDeleteIt)
{
    WritePractice p;
    p.kernel.exec("create table WRITES (WHAT varchar(20));"
                  "create trigger MALADES_U after update on MALADES"
                  " begin insert into WRITES values ('update ' || new.NOM); end;");
    CacheOn m(p, "MALADES");
    QStringList seen;
    m->OnUpdateData = [&seen](DataSet& log, TDBCache&, TUpdateKind& kind) {
        seen.append(log.fieldByName("NOM")->asString());
        kind = ukDelete;
    };
    ASSERT_TRUE(m->locate("MALADES_ID", 2));
    m->edit();
    setText(*m, "NOM", "Bernard");
    m->post();
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_TRUE(p.kernel.rows("select * from WRITES").isEmpty());

    // The handler sees the row as it was and turns the post into a delete.
    ASSERT_TRUE(m->locate("MALADES_ID", 3));
    m->edit();
    setText(*m, "NOM", "Claudine");
    m->post();
    EXPECT_EQ(seen, QStringList({"Claude"}));
    EXPECT_TRUE(p.kernel.rows("select * from MALADES where MALADES_ID = 3").isEmpty());
    EXPECT_TRUE(p.kernel.rows("select * from WRITES").isEmpty());
    EXPECT_EQ(p.kernel.rows("select MALADES_ID from RDV where RDV_ID = 902"),
              QStringList({"NULL"}));
}

TEST(WriteBack, LocalDeletesFollowTheLinksOrLeaveEveryTableAsItWas)
{
    WritePractice p;
    const QString tables = "select 'S', count(*) from SEJOURS union all select 'A', count(*) "
                           "from ACTES union all select 'R', count(MALADES_ID) from RDV union all "
                           "select 'M', count(*) from MALADES";
    const QStringList before = p.kernel.rows(tables);
    ASSERT_EQ(before, QStringList({"S|3", "A|4", "R|3", "M|3"}));
    CacheOn m(p, "MALADES");

    // Bernard has a bill.
    ASSERT_TRUE(m->locate("MALADES_ID", 2));
    EXPECT_EQ(kernelErrorOf([&] { m->deleteRecord(); }), "Cannot delete records at FACTURES");
    EXPECT_EQ(p.kernel.rows(tables), before);
    EXPECT_EQ(m->FieldByName("MALADES_ID")->asInteger(), 2);
    EXPECT_EQ(FailedWriteCache(), &*m);

    // Arnaud's own delete fails in a trigger after his stays, their acts and his appointment
    // were dealt with: all of it is undone, and the delete can be tried again.
    p.kernel.exec("create trigger MALADES_D before delete on MALADES when old.NOM = 'Arnaud'"
                  " begin select raise(abort, 'dossier archivé'); end;");
    ASSERT_TRUE(m->locate("MALADES_ID", 1));
    EXPECT_TRUE(errorOf([&] { m->deleteRecord(); }).contains("dossier archivé"));
    EXPECT_EQ(p.kernel.rows(tables), before);
    EXPECT_EQ(m->recordCount(), 3);

    p.kernel.exec("drop trigger MALADES_D");
    m->deleteRecord();
    EXPECT_EQ(p.kernel.rows("select SEJOURS_ID from SEJOURS"), QStringList({"12"}));
    EXPECT_EQ(p.kernel.rows("select ACTES_ID from ACTES"), QStringList({"103"}));
    EXPECT_EQ(p.kernel.rows("select RDV_ID, MALADES_ID from RDV order by 1"),
              QStringList({"900|NULL", "901|2", "902|3"}));
    EXPECT_EQ(p.kernel.rows("select MALADES_ID from MALADES order by 1"), QStringList({"2", "3"}));
}

TEST(WriteBack, AFailedPostKeepsTheRowEditedAndItsChangePending)
{
    WritePractice p;
    p.kernel.exec("create trigger MALADES_U before update on MALADES"
                  " begin select raise(abort, 'verrouillé'); end;");
    CacheOn m(p, "MALADES");
    ASSERT_TRUE(m->locate("MALADES_ID", 1));
    m->edit();
    setText(*m, "NOM", "Arnould");
    EXPECT_TRUE(errorOf([&] { m->post(); }).contains("verrouillé"));
    EXPECT_EQ(m->state(), DataSet::State::Edit);
    EXPECT_EQ(m->FieldByName("NOM")->asString(), "Arnould");
    EXPECT_EQ(m->WorkRecords()->recordCount(), 1);

    p.kernel.exec("drop trigger MALADES_U");
    m->post();
    EXPECT_EQ(p.kernel.rows("select NOM from MALADES where MALADES_ID = 1"),
              QStringList({"Arnould"}));
}

TEST(CacheEvents, NewKeysBooleansCancelsAndVetoes)
{
    WritePractice p;
    CacheOn n(p, "NOTES");
    // An autoincrement key left 0 or null gets an identifier when posted; a Boolean that is
    // null by then is False.
    n->append();
    EXPECT_FALSE(n->FieldByName("URGENT")->isNull());
    n->FieldByName("NOTES_ID")->setAsInteger(0);
    setText(*n, "TEXTE", "zéro");
    n->post();
    n->append();
    setText(*n, "TEXTE", "vide");
    n->FieldByName("URGENT")->clear();
    n->post();
    n->append();
    n->FieldByName("NOTES_ID")->setAsInteger(7);
    n->post();
    EXPECT_EQ(p.kernel.rows("select * from NOTES order by 1"),
              QStringList({"1|première|0", "2|zéro|0", "3|vide|0", "7|NULL|0"}));
    EXPECT_EQ(p.kernel.rows("select * from ID_VALUES"), QStringList({"NOTES|3"}));

    // A cancelled edit leaves nothing pending.
    n->edit();
    setText(*n, "TEXTE", "oubliée");
    EXPECT_EQ(n->WorkRecords()->recordCount(), 1);
    n->cancel();
    EXPECT_EQ(n->WorkRecords()->recordCount(), 0);
    EXPECT_EQ(n->ChangeCounter(), 0);

    // A BeforePost handler that cancels ends the post: nothing is written.
    n->BeforePost = [](DataSet& d) { d.cancel(); };
    ASSERT_TRUE(n->locate("NOTES_ID", 1));
    n->edit();
    setText(*n, "TEXTE", "refusée");
    n->post();
    EXPECT_EQ(n->state(), DataSet::State::Browse);
    EXPECT_EQ(n->FieldByName("TEXTE")->asString(), "première");
    EXPECT_EQ(p.kernel.rows("select TEXTE from NOTES where NOTES_ID = 1"),
              QStringList({"première"}));
    EXPECT_GE(LastPostTime(), QDateTime::currentDateTime().addSecs(-60));
}

TEST(CacheEvents, LookupFieldsFollowTheirSourceField)
{
    // The source cache is read by the lookup table's columns, whatever it calls them.
    const struct
    {
        const char* fields;
        const char* key; // the field of the key column
    } sources[] = {{"*", "MEDECINS_ID"},
                   {"MEDECINS_ID as ID,NOM", "ID"},
                   {"MEDECINS_ID as NOM,NOM as MEDECINS_ID", "NOM"}};
    for (const auto& s : sources) {
        SCOPED_TRACE(s.fields);
        WritePractice p;
        CacheOn medecins(p, "MEDECINS", s.fields);
        ASSERT_TRUE(medecins->locate(s.key, 3));
        p.access.RegisterLookupSource("MEDECINS", &*medecins);
        auto r = p.request("Visites");
        TDBCache v;
        v.SetRequest(r.get());
        ASSERT_TRUE(v.LoadKey("VISITS", "VISITS_ID", {10}, "*,LOOK(DOC.MEDECINS.NOM.MEDECINS_ID)"));
        v.edit();
        v.FieldByName("MEDECINS_ID")->setAsInteger(2);
        EXPECT_EQ(v.FieldByName("DOC")->asString(), "Martin");
        v.FieldByName("MEDECINS_ID")->setAsInteger(99);
        EXPECT_TRUE(v.FieldByName("DOC")->isNull());
        v.FieldByName("MEDECINS_ID")->setAsInteger(1);
        EXPECT_EQ(v.FieldByName("DOC")->asString(), "Dupont");
        // The source stays on its row.
        EXPECT_EQ(medecins->FieldByName(s.key)->asInteger(), 3);
        // Rows are matched on one to six fields, a memo of the cache counting as equal.
        EXPECT_TRUE(LocateByFields(*medecins, "MEDECINS_ID", v, "MEDECINS_ID"));
        EXPECT_EQ(medecins->FieldByName(s.key)->asInteger(), 1);
        EXPECT_FALSE(LocateByFields(*medecins, "A,B,C,D,E,F,G", v, "A,B,C,D,E,F,G"));
        EXPECT_FALSE(LocateByFields(*medecins, "MEDECINS_ID", v, ""));
        EXPECT_TRUE(FieldsEqual(v, "VISITS_ID,MEDECINS_ID", v, "VISITS_ID,MEDECINS_ID"));
        EXPECT_FALSE(FieldsEqual(v, "VISITS_ID", v, "MEDECINS_ID"));
        v.post();
        EXPECT_EQ(p.kernel.rows("select MEDECINS_ID from VISITS where VISITS_ID = 10"),
                  QStringList({"1"}));
    }
}

TEST(UpdateBatch, APostGoesToTheApplicationServerOrNowhere)
{
    WritePractice p;
    RecordingExchange exchange;
    p.access.SetRemoteUpdate(true);
    p.access.SetUpdateBatchExchange(&exchange);
    CacheOn m(p, "MALADES");
    ASSERT_TRUE(m->locate("MALADES_ID", 1));
    m->edit();
    setText(*m, "NOM", "Arnould");
    m->post();
    ASSERT_TRUE(m->locate("MALADES_ID", 3));
    m->deleteRecord();
    EXPECT_EQ(exchange.calls,
              QStringList({"open",
                           "add update MALADES set  | NOM=:NOM | "
                           "where MALADES_ID=:WHERE_MALADES_ID NOM=Arnould WHERE_MALADES_ID=1",
                           "send", "discard", "open",
                           "add update RDV | set MALADES_ID=null  | where RDV_ID=:RDV_ID "
                           "RDV_ID=902",
                           "add delete from MALADES | where MALADES_ID=:MALADES_ID MALADES_ID=3",
                           "send", "discard"}));
    EXPECT_EQ(p.kernel.rows("select NOM from MALADES order by MALADES_ID"),
              QStringList({"Arnaud", "Bernard", "Claude"}));
    EXPECT_EQ(p.kernel.rows("select count(MALADES_ID) from RDV"), QStringList({"3"}));

    // Without the exchange nothing can take the statements: the post fails, the row stays
    // edited.
    p.access.SetUpdateBatchExchange(nullptr);
    ASSERT_TRUE(m->locate("MALADES_ID", 2));
    m->edit();
    setText(*m, "NOM", "Bertrand");
    EXPECT_EQ(kernelErrorOf([&] { m->post(); }),
              "Cannot collect an update batch: the application server exchange is not available.");
    EXPECT_EQ(m->state(), DataSet::State::Edit);
    EXPECT_EQ(p.kernel.rows("select NOM from MALADES where MALADES_ID = 2"),
              QStringList({"Bernard"}));
}

// With CachedUpdates the changes wait as work records; a row inserted and deleted before the
// write only drops its record.
TEST(WriteBack, CachedUpdatesWriteEveryPendingChangeAtOnce)
{
    WritePractice p;
    CacheOn m(p, "MALADES");
    m->SetCachedUpdates(true);
    ASSERT_TRUE(m->locate("MALADES_ID", 1));
    m->edit();
    setText(*m, "NOM", "Arnould");
    m->post();
    m->append();
    m->FieldByName("MALADES_ID")->setAsInteger(8);
    setText(*m, "NOM", "Éphémère");
    m->post();
    m->append();
    m->FieldByName("MALADES_ID")->setAsInteger(9);
    setText(*m, "NOM", "Étienne");
    m->post();
    ASSERT_TRUE(m->locate("MALADES_ID", 8));
    m->deleteRecord();
    EXPECT_EQ(m->WorkRecords()->recordCount(), 2);
    EXPECT_EQ(p.kernel.rows("select count(*) from MALADES"), QStringList({"3"}));
    m->ApplyRecord();
    EXPECT_EQ(p.kernel.rows("select MALADES_ID, NOM from MALADES order by 1"),
              QStringList({"1|Arnould", "2|Bernard", "3|Claude", "9|Étienne"}));
}

namespace {

// Prescriptions, keyed by their stay and their rank: two of stay 10 and one of stay 11, so that
// the stay alone names no prescription. And stay 1, numbered like a patient, so that a stay
// number read from the patients' column names another stay.
void addPrescriptions(WritePractice& p)
{
    p.kernel.exec(
        "insert into SEJOURS values (1, 2, 'Contrôle');"
        "insert into METATABLE values ('POSOLOGIES', 'SEJOURS_ID,RANG', 0, null, 0, "
        "null, 'T');"
        "insert into METAFIELD values"
        " ('POSOLOGIES', 'SEJOURS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),"
        " ('POSOLOGIES', 'RANG', 1, 1, null, 1, 0, 0, null, null, null, 2),"
        " ('POSOLOGIES', 'DOSE', 0, 1, null, 3, 20, 0, null, null, null, 3);"
        "create table POSOLOGIES (SEJOURS_ID integer, RANG integer, DOSE varchar(20));"
        "insert into POSOLOGIES values (10, 1, '1 cp'), (10, 2, '2 cp'), (11, 1, '3 cp');");
    p.access.LoadMetaData();
}

// An update or a delete finds its row by the whole key of its table. A cache that lacks a key
// field (or one part of a composite key) would name no row, or several: its write is refused
// before any statement runs, and the cache keeps the edit, on every server kind. A field named
// like a key field but selected from another column does not hold the key.
struct KeyMissingCase
{
    const char* name;
    int kind;
    const char* table;
    const char* fields;
    const char* missing;
    const char* edited; // the field the edit changes
};

class KeyMissing : public ::testing::TestWithParam<KeyMissingCase>
{
};

} // namespace

TEST_P(KeyMissing, WriteIsRefusedAndTheEditKept)
{
    const KeyMissingCase& c = GetParam();
    WritePractice p(c.kind);
    // No row limit: SQLite, under the servers' recording driver, knows neither TOP nor ROWNUM.
    p.access.SetPacketRecords(-1);
    addPrescriptions(p);
    const QString all = QStringLiteral("select * from %1 order by 1, 2").arg(c.table);
    const QStringList before = p.kernel.rows(all);
    const QString refusal =
        QStringLiteral("%1: the key field %2 is not in the cache. Update failed.")
            .arg(c.table, c.missing);

    CacheOn cache(p, c.table, c.fields);
    const int count = cache->recordCount();
    ASSERT_GE(count, 3);
    cache->first();
    const QString was = cache->FieldByName(c.edited)->asString();
    p.recorder->statements.clear();
    cache->edit();
    setText(*cache, c.edited, QStringLiteral("Tout"));
    EXPECT_EQ(kernelErrorOf([&] { cache->post(); }), refusal);
    EXPECT_TRUE(p.recorder->statements.isEmpty())
        << p.recorder->statements.join('\n').toStdString();
    EXPECT_EQ(p.kernel.rows(all), before);
    EXPECT_EQ(cache->state(), DataSet::State::Edit);
    EXPECT_EQ(cache->FieldByName(c.edited)->asString(), "Tout");
    EXPECT_EQ(cache->WorkRecords()->recordCount(), 1);
    EXPECT_EQ(FailedWriteCache(), &*cache);

    cache->cancel();
    EXPECT_EQ(cache->FieldByName(c.edited)->asString(), was);
    EXPECT_EQ(kernelErrorOf([&] { cache->deleteRecord(); }), refusal);
    EXPECT_TRUE(p.recorder->statements.isEmpty())
        << p.recorder->statements.join('\n').toStdString();
    EXPECT_EQ(p.kernel.rows(all), before);
    EXPECT_EQ(cache->recordCount(), count);
}

INSTANTIATE_TEST_SUITE_P(
    ServerKinds, KeyMissing,
    ::testing::Values(
        KeyMissingCase{"MsSqlSingleKey", 1, "SEJOURS", "MOTIF", "SEJOURS_ID", "MOTIF"},
        KeyMissingCase{"OracleSingleKey", 2, "SEJOURS", "MOTIF", "SEJOURS_ID", "MOTIF"},
        KeyMissingCase{"LocalSingleKey", 3, "SEJOURS", "MOTIF,MALADES_ID", "SEJOURS_ID", "MOTIF"},
        KeyMissingCase{"MsSqlCompositeKey", 1, "POSOLOGIES", "SEJOURS_ID,DOSE", "RANG", "DOSE"},
        KeyMissingCase{"OracleCompositeKey", 2, "POSOLOGIES", "DOSE,RANG", "SEJOURS_ID", "DOSE"},
        KeyMissingCase{"LocalCompositeKey", 3, "POSOLOGIES", "SEJOURS_ID,DOSE", "RANG", "DOSE"},
        // The first stay's patient (1) shown as its number: the rows of patient 1, or stay 1.
        KeyMissingCase{"MsSqlKeyNameOnAnotherColumn", 1, "SEJOURS",
                       "MALADES_ID as SEJOURS_ID,MOTIF", "SEJOURS_ID", "MOTIF"},
        KeyMissingCase{"OracleKeyNameOnAnotherColumn", 2, "SEJOURS",
                       "MALADES_ID as SEJOURS_ID,MOTIF", "SEJOURS_ID", "MOTIF"},
        KeyMissingCase{"LocalKeyNameOnAnotherColumn", 3, "SEJOURS",
                       "MALADES_ID as SEJOURS_ID,MOTIF", "SEJOURS_ID", "MOTIF"},
        // The stay shown as the rank too: every prescription of the stay.
        KeyMissingCase{"MsSqlKeyPartNameOnAnotherColumn", 1, "POSOLOGIES",
                       "SEJOURS_ID,SEJOURS_ID as RANG,DOSE", "RANG", "DOSE"},
        KeyMissingCase{"OracleKeyPartNameOnAnotherColumn", 2, "POSOLOGIES",
                       "SEJOURS_ID,SEJOURS_ID as RANG,DOSE", "RANG", "DOSE"},
        KeyMissingCase{"LocalKeyPartNameOnAnotherColumn", 3, "POSOLOGIES",
                       "SEJOURS_ID,SEJOURS_ID as RANG,DOSE", "RANG", "DOSE"}),
    [](const auto& info) { return std::string(info.param.name); });

// With the whole composite key the same edit reaches its one row.
TEST(WriteBack, ACompositeKeyNamesOneRow)
{
    WritePractice p;
    addPrescriptions(p);
    CacheOn cache(p, "POSOLOGIES", "SEJOURS_ID,RANG,DOSE");
    ASSERT_TRUE(cache->locate("SEJOURS_ID;RANG", VariantList({10, 2})));
    cache->edit();
    setText(*cache, "DOSE", "Tout");
    cache->post();
    ASSERT_TRUE(cache->locate("SEJOURS_ID;RANG", VariantList({11, 1})));
    cache->deleteRecord();
    EXPECT_EQ(p.kernel.rows("select * from POSOLOGIES order by 1, 2"),
              QStringList({"10|1|1 cp", "10|2|Tout"}));
}

namespace {

// A key field is held by the field selected from its column, whatever that field is named.
struct KeyCarrierCase
{
    const char* name;
    const char* table;
    const char* fields;
    const char* locate;       // the cache fields that name the row written
    VariantList at;           // and their values
    const char* edited;       // the field the edit changes
    const char* keyCondition; // as MS SQL Server and Oracle get it
    VariantList key;          // its values
    QStringList editedRows;   // the table after the edit
    QStringList deletedRows;  // and after the row's delete
};

class KeyCarrier : public ::testing::TestWithParam<std::tuple<int, KeyCarrierCase>>
{
};

const QStringList StaysEdited = {"1|2|Contrôle", "10|1|Grippe", "11|1|Tout", "12|2|Bilan"};
const QStringList StaysDeleted = {"1|2|Contrôle", "10|1|Grippe", "12|2|Bilan"};

} // namespace

TEST_P(KeyCarrier, TheRowIsFoundByTheKeyColumnsOnce)
{
    const auto& [kind, c] = GetParam();
    WritePractice p(kind);
    p.access.SetPacketRecords(-1);
    addPrescriptions(p);
    const QString all = QStringLiteral("select * from %1 order by 1, 2").arg(c.table);
    CacheOn cache(p, c.table, c.fields);
    ASSERT_TRUE(cache->locate(c.locate, c.at));
    p.recorder->statements.clear();
    p.recorder->runs.clear();
    cache->edit();
    setText(*cache, c.edited, QStringLiteral("Tout"));
    cache->post();
    EXPECT_EQ(p.kernel.rows(all), c.editedRows);
    cache->deleteRecord();
    EXPECT_EQ(p.kernel.rows(all), c.deletedRows);
    if (kind == 3)
        return;
    const QString update =
        QStringLiteral("update %1 set \n%2=?\n%3").arg(c.table, c.edited, c.keyCondition);
    const QString remove = QStringLiteral("delete from %1\n%2").arg(c.table, c.keyCondition);
    EXPECT_EQ(p.recorder->statements, QStringList({update, remove}));
    ASSERT_EQ(p.recorder->runs.size(), 2);
    EXPECT_EQ(p.recorder->runs.at(0).second, VariantList({"Tout"}) + c.key);
    EXPECT_EQ(p.recorder->runs.at(1).second, c.key);
}

namespace {

// Kept out of the macro: its arguments cannot hold the commas of braced lists.
const KeyCarrierCase KeyCarriers[] = {
    {"KeyUnderAnotherName",
     "SEJOURS",
     "SEJOURS_ID as ID,MOTIF",
     "ID",
     {11},
     "MOTIF",
     "where SEJOURS_ID=?",
     {11},
     StaysEdited,
     StaysDeleted},
    {"KeySelectedTwice",
     "SEJOURS",
     "SEJOURS_ID,SEJOURS_ID as ID,MOTIF",
     "ID",
     {11},
     "MOTIF",
     "where SEJOURS_ID=?",
     {11},
     StaysEdited,
     StaysDeleted},
    {"KeyPartsUnderEachOthersNames",
     "POSOLOGIES",
     "RANG as SEJOURS_ID,SEJOURS_ID as RANG,DOSE",
     "RANG;SEJOURS_ID",
     {10, 2},
     "DOSE",
     "where SEJOURS_ID=?\nand RANG=?",
     {10, 2},
     {"10|1|1 cp", "10|2|Tout", "11|1|3 cp"},
     {"10|1|1 cp", "11|1|3 cp"}},
};

} // namespace

INSTANTIATE_TEST_SUITE_P(ServerKinds, KeyCarrier,
                         ::testing::Combine(::testing::Values(1, 2, 3),
                                            ::testing::ValuesIn(KeyCarriers)),
                         kindCaseName<testing::TestParamInfo<KeyCarrier::ParamType>>);

// A new row's identifier (coForwardID) goes to the field selected from the key column, whatever
// its name; a cache without one gives it to no field and reserves none.
TEST(CacheEvents, ANewIdentifierGoesToTheKeyColumnOnly)
{
    const struct
    {
        const char* fields;
        const char* carrier; // the field that shows the identifier; null: none
        const char* stored;  // the new stay on disk
    } cases[] = {
        {"SEJOURS_ID,MOTIF", "SEJOURS_ID", "13|NULL|Neuf"},
        {"SEJOURS_ID as ID,MOTIF", "ID", "13|NULL|Neuf"},
        {"MALADES_ID as SEJOURS_ID,MOTIF", nullptr, "NULL|NULL|Neuf"},
        {"MALADES_ID as SEJOURS_ID,SEJOURS_ID as ID,MOTIF", "ID", "13|NULL|Neuf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        WritePractice p;
        CacheOn stays(p, "SEJOURS", c.fields, coForwardID);
        stays->append();
        if (c.carrier) {
            EXPECT_EQ(stays->FieldByName(c.carrier)->asInteger(), 13);
        }
        setText(*stays, "MOTIF", "Neuf");
        stays->post();
        EXPECT_EQ(p.kernel.rows("select * from SEJOURS where MOTIF = 'Neuf'"),
                  QStringList({c.stored}));
        EXPECT_EQ(p.kernel.rows("select * from ID_VALUES"),
                  c.carrier ? QStringList({"SEJOURS|13"}) : QStringList());
    }
}
