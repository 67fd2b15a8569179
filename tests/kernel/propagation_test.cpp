// Open caches on one SQLite file following a write through another one: the same table, a detail
// joined through TABLELINK and a lookup field; the rows each stays on; the counters, the refresh
// vetoes, caches closed to refreshes and caches being edited.
#include "kernel_helpers.h"

#include <kernel/dbcache.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

// "a|b" for each row of the cache's fields, sorted.
QStringList rowsOf(TDBCache& c, const QStringList& fields)
{
    QStringList rows;
    for (const Bookmark& b : c.bookmarks()) {
        c.viewRecord(b, [&] {
            QStringList row;
            for (const QString& f : fields) {
                const Field* field = c.FieldByName(f);
                row.append(field->isNull() ? QStringLiteral("NULL") : field->asString());
            }
            rows.append(row.join('|'));
        });
    }
    rows.sort();
    return rows;
}

qint64 current(TDBCache& c, const char* key)
{
    return c.FieldByName(key)->asInteger();
}

// Visits with the name of their patient, joined through the link PATIENTS -> VISITS.
struct VisitsWithNames
{
    explicit VisitsWithNames(Practice& p) : request(p.request("Visites"))
    {
        addFrom(*request, "VISITS", "V");
        addFrom(*request, "PATIENTS", "P", "V");
        addSelect(*request, "V", "VISITS_ID");
        addSelect(*request, "V", "PATIENTS_ID");
        addSelect(*request, "P", "NOM");
        cache.SetRequest(request.get());
        cache.Open();
    }
    std::unique_ptr<TDBRequest> request;
    TDBCache cache;
};

} // namespace

TEST(Propagation, AModificationReachesTheSameTableADetailAndALookup)
{
    Practice p;
    CacheOn writer(p, "PATIENTS");
    CacheOn same(p, "PATIENTS", "PATIENTS_ID,NOM");
    VisitsWithNames detail(p);
    CacheOn lookups(p, "VISITS", "*,LOOK(PNOM.PATIENTS.NOM.PATIENTS_ID)");
    CacheOn closed(p, "PATIENTS", "*", coNoRefresh);
    CacheOn editing(p, "PATIENTS");
    int userEvents = 0;
    same->AfterPost = [&userEvents](DataSet&) { ++userEvents; };
    same->AfterScroll = [&userEvents](DataSet&) { ++userEvents; };

    ASSERT_TRUE(same->locate("PATIENTS_ID", 3));
    ASSERT_TRUE(detail.cache.locate("VISITS_ID", 11));
    ASSERT_TRUE(lookups->locate("VISITS_ID", 13));
    ASSERT_TRUE(editing->locate("PATIENTS_ID", 1));
    editing->edit();
    userEvents = 0;

    ASSERT_TRUE(writer->locate("PATIENTS_ID", 1));
    writer->edit();
    writer->FieldByName("NOM")->setAsString("Arnould");
    writer->post();

    EXPECT_EQ(p.kernel.rows("select NOM from PATIENTS where PATIENTS_ID = 1"),
              QStringList({"Arnould"}));
    EXPECT_EQ(rowsOf(*same, {"PATIENTS_ID", "NOM"}),
              QStringList({"1|Arnould", "2|Bernard", "3|Claude", "4|Denis"}));
    EXPECT_EQ(rowsOf(detail.cache, {"VISITS_ID", "NOM"}),
              QStringList({"10|Arnould", "11|Arnould", "12|Bernard", "13|Denis"}));
    EXPECT_EQ(rowsOf(*lookups, {"VISITS_ID", "PNOM"}),
              QStringList({"10|Arnould", "11|Arnould", "12|NULL", "13|NULL"}));
    // Each stays on its row, the detail also when that row was changed; none of them fires the
    // caller's events.
    EXPECT_EQ(current(*same, "PATIENTS_ID"), 3);
    EXPECT_EQ(current(detail.cache, "VISITS_ID"), 11);
    EXPECT_EQ(current(*lookups, "VISITS_ID"), 13);
    EXPECT_EQ(userEvents, 0);
    // A cache closed to refreshes and one being edited are left alone.
    EXPECT_EQ(rowsOf(*closed, {"NOM"}).first(), "Arnaud");
    EXPECT_EQ(editing->FieldByName("NOM")->asString(), "Arnaud");
    editing->cancel();
    EXPECT_TRUE(editing->locate("NOM", "Arnaud"));
}

TEST(Propagation, InsertsAndDeletesCountedAndVetoed)
{
    Practice p;
    CacheOn writer(p, "PATIENTS");
    CacheOn counted(p, "PATIENTS");
    CacheOn uncounted(p, "PATIENTS", "*", coNoCount);
    CacheOn refusing(p, "PATIENTS");
    VisitsWithNames detail(p);
    refusing->OnRefresh = [](TUpdateKind kind, TDBCache&, bool& done) { done = kind == ukInsert; };
    // The writer keeps its modifications from the detail.
    writer->OnRefresh = [&detail](TUpdateKind, TDBCache& target, bool& done) {
        done = &target == &detail.cache;
    };
    ASSERT_TRUE(counted->locate("PATIENTS_ID", 2));
    ASSERT_EQ(counted->RecordCounter(), 4);

    writer->append();
    writer->FieldByName("PATIENTS_ID")->setAsInteger(5);
    writer->FieldByName("NOM")->setAsString("Émile");
    writer->post();
    EXPECT_EQ(p.kernel.rows("select NOM from PATIENTS where PATIENTS_ID = 5"),
              QStringList({"Émile"}));
    EXPECT_TRUE(rowsOf(*counted, {"NOM"}).contains("Émile"));
    EXPECT_EQ(counted->RecordCounter(), 5);
    EXPECT_EQ(current(*counted, "PATIENTS_ID"), 2);
    EXPECT_TRUE(rowsOf(*uncounted, {"NOM"}).contains("Émile"));
    EXPECT_EQ(uncounted->RecordCounter(), 4);
    EXPECT_EQ(uncounted->RowCounter(), 5);
    EXPECT_FALSE(rowsOf(*refusing, {"NOM"}).contains("Émile"));

    ASSERT_TRUE(writer->locate("PATIENTS_ID", 1));
    writer->edit();
    writer->FieldByName("NOM")->setAsString("Arnould");
    writer->post();
    EXPECT_TRUE(rowsOf(detail.cache, {"NOM"}).contains("Arnaud"));
    EXPECT_TRUE(rowsOf(*refusing, {"NOM"}).contains("Arnould"));

    ASSERT_TRUE(writer->locate("PATIENTS_ID", 5));
    writer->deleteRecord();
    EXPECT_FALSE(rowsOf(*counted, {"NOM"}).contains("Émile"));
    EXPECT_EQ(counted->RecordCounter(), 4);
    EXPECT_FALSE(rowsOf(*uncounted, {"NOM"}).contains("Émile"));
    EXPECT_EQ(uncounted->RecordCounter(), 4);
    EXPECT_EQ(uncounted->RowCounter(), 4);
    EXPECT_TRUE(p.kernel.rows("select * from PATIENTS where PATIENTS_ID = 5").isEmpty());
}

// A cache that shows another column under the key's name cannot tell which row was written: it is
// left alone, never changed on the rows whose column holds the written key. A cache that shows
// the key under another name follows.
TEST(Propagation, ACacheWithoutTheKeyColumnIsLeftAlone)
{
    WritePractice p;
    // Stay 1 bears the number of the patient of stays 10 and 11.
    p.kernel.exec("insert into SEJOURS values (1, 2, 'Contrôle')");
    CacheOn writer(p, "SEJOURS", "SEJOURS_ID,MALADES_ID,MOTIF");
    CacheOn byPatient(p, "SEJOURS", "MALADES_ID as SEJOURS_ID,MOTIF");
    CacheOn byStay(p, "SEJOURS", "SEJOURS_ID as ID,MOTIF");
    const QStringList patientRows = {"1|Fracture", "1|Grippe", "2|Bilan", "2|Contrôle"};
    auto sorted = [](QStringList rows) {
        rows.sort();
        return rows;
    };

    // A detail of stay 1 inserts a stay: taken where the current row is stay 1.
    CacheOn detail(p, "SEJOURS");
    detail->Master = &*writer;
    TWhereItem* where = detail.request->Where().Add();
    where->SetText("SEJOURS_ID = :SEJOURS_ID");
    where->ItemParams().paramByName("SEJOURS_ID").setAsInteger(1);
    ASSERT_TRUE(byStay->locate("ID", 1));
    ASSERT_EQ(current(*byPatient, "SEJOURS_ID"), 1);
    detail->append();
    detail->FieldByName("SEJOURS_ID")->setAsInteger(20);
    detail->FieldByName("MALADES_ID")->setAsInteger(1);
    detail->FieldByName("MOTIF")->setAsString("Neuf");
    detail->post();
    EXPECT_EQ(rowsOf(*byStay, {"ID", "MOTIF"}),
              sorted({"1|Contrôle", "10|Grippe", "11|Fracture", "12|Bilan", "20|Neuf"}));
    EXPECT_EQ(rowsOf(*byPatient, {"SEJOURS_ID", "MOTIF"}), patientRows);

    ASSERT_TRUE(writer->locate("SEJOURS_ID", 1));
    writer->edit();
    writer->FieldByName("MOTIF")->setAsString("Revu");
    writer->post();
    EXPECT_EQ(rowsOf(*byStay, {"ID", "MOTIF"}),
              sorted({"1|Revu", "10|Grippe", "11|Fracture", "12|Bilan", "20|Neuf"}));
    EXPECT_EQ(rowsOf(*byPatient, {"SEJOURS_ID", "MOTIF"}), patientRows);

    writer->deleteRecord();
    EXPECT_EQ(rowsOf(*byStay, {"ID", "MOTIF"}),
              sorted({"10|Grippe", "11|Fracture", "12|Bilan", "20|Neuf"}));
    EXPECT_EQ(rowsOf(*byPatient, {"SEJOURS_ID", "MOTIF"}), patientRows);
    EXPECT_EQ(p.kernel.rows("select * from SEJOURS order by 1"),
              QStringList({"10|1|Grippe", "11|1|Fracture", "12|2|Bilan", "20|1|Neuf"}));
}
