// Local tables: index order both ways across pages, key search, ranges, one-row writes, empty text
// as NULL, exclusive open across connections and processes, creation and restructuring.
#include "dataset_helpers.h"

#include <support/db_helpers.h>
#include <support/fileholder.h>

#include <platform/db/localtable.h>
#include <platform/db/tablelock.h>

#include <algorithm>
#include <vector>

using namespace dbtest;
using testdata::found;

namespace {

const QString Files = "FILES.DB";

struct Doc
{
    int number, needId, type;
};

// 350 documents (more than three pages), added in the order 350, 1, 349, 2, ...
QList<Doc> documents()
{
    QList<Doc> out;
    for (int k = 0; k < 350; ++k) {
        const int n = k % 2 == 0 ? 350 - k / 2 : 1 + k / 2;
        out.append({n, n % 3, n % 2 == 0 ? 0 : n % 5});
    }
    return out;
}

void defineFiles(LocalTable& t)
{
    t.fieldDefs().clear();
    t.fieldDefs().add("Number", FieldType::Integer, 0, true);
    t.fieldDefs().add("File_name", FieldType::String, 20);
    t.fieldDefs().add("Date", FieldType::Date);
    t.fieldDefs().add("NeedId", FieldType::Integer);
    t.fieldDefs().add("Type", FieldType::Integer);
    t.indexDefs().clear();
    t.indexDefs().add(QString(), "Number", IndexDef::Primary);
    t.indexDefs().add("NeedId_index", "NeedId;Type");
    t.indexDefs().add("type_index", "Type");
}

// A table of patients named `name`: Patient_ID, Nom and Prenom, with the primary index.
void definePatients(LocalTable& t, Database& db, const QString& name, int nomSize = 64)
{
    t.setDatabase(&db);
    t.setTableName(name);
    t.fieldDefs().add("Patient_ID", FieldType::Integer, 0, true);
    t.fieldDefs().add("Nom", FieldType::String, nomSize);
    t.fieldDefs().add("Prenom", FieldType::String, 8);
    t.indexDefs().add(QString(), "Patient_ID", IndexDef::Primary);
}

struct FilesFixture : ::testing::Test
{
    LocalDb local;
    LocalTable files;

    void SetUp() override
    {
        files.setDatabase(&local.db);
        files.setTableName(Files);
        defineFiles(files);
        files.createTable();
        files.open();
        local.db.startTransaction();
        for (const Doc& d : documents())
            files.appendRecord({d.number, QStringLiteral("f%1").arg(d.number), 45351 + d.number,
                                d.needId, d.type});
        local.db.commit();
    }

    QList<int> numbers(bool backwards)
    {
        QList<int> out;
        if (backwards) {
            for (files.last(); !files.bof(); files.prior())
                out.append(int(files.fieldByName("Number")->asInteger()));
        } else {
            for (files.first(); !files.eof(); files.next())
                out.append(int(files.fieldByName("Number")->asInteger()));
        }
        return out;
    }
    int number() { return int(files.fieldByName("Number")->asInteger()); }

    // Deletes a document through another dataset on the same connection.
    void deleteElsewhere(int documentNumber)
    {
        LocalTable other;
        other.setDatabase(&local.db);
        other.setTableName(Files);
        other.open();
        ASSERT_TRUE(other.findKey({documentNumber}));
        other.deleteRecord();
    }
};

TEST_F(FilesFixture, CreatedTableKeepsItsNamesAndIsReadInIndexOrderBothWays)
{
    EXPECT_EQ(local.cli("select name from sqlite_master where type = 'index' order by name;"),
              "FILES.DB$NeedId_index\nFILES.DB$PRIMARY\nFILES.DB$type_index");
    EXPECT_EQ(local.cli("select File_name, Date from \"FILES.DB\" where Number = 26;"),
              "f26|2024-03-26"); // 45351 + 26 days after 2024-02-29

    // The primary index gives the table's own order.
    QList<int> ascending;
    for (int i = 1; i <= 350; ++i)
        ascending.append(i);
    EXPECT_EQ(numbers(false), ascending);
    EXPECT_EQ(numbers(true), QList<int>(ascending.rbegin(), ascending.rend()));

    // NeedId, then Type, then the order in which the rows were added.
    QList<Doc> docs = documents();
    std::stable_sort(docs.begin(), docs.end(), [](const Doc& a, const Doc& b) {
        return std::tie(a.needId, a.type) < std::tie(b.needId, b.type);
    });
    QList<int> byNeed;
    for (const Doc& d : docs)
        byNeed.append(d.number);
    files.findKey({200});
    files.setIndexName("NeedId_index");
    EXPECT_EQ(number(), 200); // switching keeps the record
    EXPECT_EQ(numbers(false), byNeed);
    EXPECT_EQ(numbers(true), QList<int>(byNeed.rbegin(), byNeed.rend()));

    // From the middle, across page ends in both directions.
    files.setIndexName(QString());
    ASSERT_TRUE(files.findKey({150}));
    EXPECT_EQ(files.recNo(), 150);
    EXPECT_EQ(files.moveBy(120), 120);
    EXPECT_EQ(number(), 270);
    EXPECT_EQ(files.moveBy(-250), -250);
    EXPECT_EQ(number(), 20);
    EXPECT_EQ(files.recordCount(), 350);
}

TEST_F(FilesFixture, TheFirstPageReadAgainShowsEveryChangeAndAWalkReadAheadReadsTheSame)
{
    const auto firstName = [this] {
        files.first();
        return QStringLiteral("%1 %2").arg(number()).arg(
            files.fieldByName("File_name")->asString());
    };
    EXPECT_EQ(firstName(), "1 f1");
    EXPECT_EQ(firstName(), "1 f1");
    // Another program's changes, then this connection's through another dataset.
    local.cli("update \"FILES.DB\" set File_name = 'x' where Number = 1;");
    EXPECT_EQ(firstName(), "1 x");
    local.cli("insert into \"FILES.DB\" (Number, File_name, NeedId, Type) values (0, 'z', 0, 0);");
    EXPECT_EQ(firstName(), "0 z");
    ASSERT_NO_FATAL_FAILURE(deleteElsewhere(0));
    EXPECT_EQ(firstName(), "1 x");
    // Within a range, and a change made through the dataset itself.
    files.setRange({2}, {300});
    EXPECT_EQ(firstName(), "2 f2");
    files.edit();
    files.fieldByName("File_name")->setAsString("y");
    files.post();
    EXPECT_EQ(firstName(), "2 y");
    files.cancelRange();

    // A walk announced for 250 records, then past them: the same records in the same order.
    QList<int> ascending;
    for (int i = 1; i <= 350; ++i)
        ascending.append(i);
    files.setReadAhead(250);
    EXPECT_EQ(numbers(false), ascending);
    files.setReadAhead(120);
    ASSERT_TRUE(files.findKey({150}));
    EXPECT_EQ(files.moveBy(150), 150); // a key search ends the walk
    EXPECT_EQ(number(), 300);
    files.setReadAhead(0);
    EXPECT_EQ(numbers(false), ascending);
}

TEST_F(FilesFixture, ARangeTakenAsItIsReadGivesItsRecordsAndStandsOnItsFirst)
{
    // Numbers of the records taken, the take saying no after `accept` of them.
    QList<int> taken;
    int accept = -1;
    const auto take = [&](QList<Variant>& values) {
        if (accept >= 0 && taken.size() == accept)
            return false;
        taken.append(int(values.at(0).toInt64()));
        values.clear(); // the table fills the list again
        return true;
    };
    const auto range = [](int from, int to) {
        QList<int> out;
        for (int n = from; n <= to; ++n)
            out.append(n);
        return out;
    };
    struct Case
    {
        int low, high, limit, accept;
        QList<int> expected;
    };
    const Case cases[] = {
        {10, 300, 100, -1, range(10, 109)}, // a packet of a range, in the order
        {10, 300, -1, -1, range(10, 300)},  // no limit: the whole range
        {10, 300, 100, 5, range(10, 14)},   // the taker stops early
        {10, 300, 0, -1, {}},               // nothing to take, the table still placed
        {340, 400, 100, -1, range(340, 350)},
        {400, 500, 100, -1, {}}, // an empty range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            QStringLiteral("%1..%2 limit %3").arg(c.low).arg(c.high).arg(c.limit).toStdString());
        taken.clear();
        accept = c.accept;
        files.last(); // away from where the range starts
        EXPECT_EQ(files.setRangeTaking({c.low}, {c.high}, c.limit, take), c.expected.size());
        // As vectors: two empty lists of this Qt do not compare cleanly.
        EXPECT_EQ(std::vector<int>(taken.begin(), taken.end()),
                  std::vector<int>(c.expected.begin(), c.expected.end()));
        EXPECT_TRUE(files.hasRange());
        if (c.low > 350) {
            EXPECT_TRUE(files.eof());
            continue;
        }
        // On the range's first record, and the cursor goes on from there.
        EXPECT_TRUE(files.bof());
        EXPECT_EQ(number(), c.low);
        EXPECT_EQ(files.fieldByName("File_name")->asString(), QStringLiteral("f%1").arg(c.low));
        EXPECT_EQ(numbers(false), range(c.low, std::min(c.high, 350)));
    }

    // What the table read before is not what it hands out: changes by another program, by
    // another dataset and by the table itself are seen.
    files.setRange({1}, {3});
    files.first();
    local.cli("update \"FILES.DB\" set Number = 0 where Number = 2;");
    taken.clear();
    accept = -1;
    files.setRangeTaking({0}, {3}, 10, take);
    EXPECT_EQ(taken, QList<int>({0, 1, 3}));
    ASSERT_NO_FATAL_FAILURE(deleteElsewhere(0));
    taken.clear();
    files.setRangeTaking({0}, {3}, 10, take);
    EXPECT_EQ(taken, QList<int>({1, 3}));
    files.edit();
    files.fieldByName("Number")->setAsInteger(2);
    files.post();
    taken.clear();
    files.setRangeTaking({0}, {3}, 10, take);
    EXPECT_EQ(taken, QList<int>({2, 3}));
    files.first();
    EXPECT_EQ(number(), 2);
}

TEST_F(FilesFixture, KeysAndRangesOnACompositeIndex)
{
    EXPECT_EQ(found(files, {9999}, "Number"), "-");
    files.setIndexName("NeedId_index");
    // NeedId 1, Type 0: n % 3 == 1 and n even (or an odd multiple of 5); of 4, 10, ... 346 and
    // 25, 55, ... 325 the first added is 4 (the eighth row: 350, 1, 349, 2, 348, 3, 347, 4).
    EXPECT_EQ(found(files, {1, 0}, "Number"), "4");
    // NeedId 2 alone: the first row with NeedId 2 has the smallest Type (0): 350 is added first.
    EXPECT_EQ(found(files, {2}, "Number"), "350");
    EXPECT_EQ(found(files, {1, 7}, "Number"), "-");
    // Nearest: (0, 2) exists (n = 27, 57, ... 327; 327 is added before 27); after (1, 5), which
    // does not, comes (2, 0), whose first row is the first one added, 350.
    files.findNearest({0, 2});
    EXPECT_EQ(number(), 327);
    files.findNearest({1, 5});
    EXPECT_EQ(number(), 350);

    files.setRange({1, 0}, {1, 0});
    QList<int> expected; // n % 3 == 1 with Type 0, in the order they were added
    for (const Doc& d : documents()) {
        if (d.needId == 1 && d.type == 0)
            expected.append(d.number);
    }
    ASSERT_EQ(expected.size(), 58 + 11); // 4, 10, ... 346 and 25, 55, ... 325
    EXPECT_EQ(numbers(false), expected);
    EXPECT_EQ(numbers(true), QList<int>(expected.rbegin(), expected.rend()));
    EXPECT_EQ(files.recordCount(), 69);
    EXPECT_FALSE(files.findKey({2, 0})); // outside the range

    // Partial ends: NeedId from 1 to 2, any type.
    files.setRange({1}, {2});
    EXPECT_EQ(files.recordCount(), 350 - 116); // 116 multiples of 3 up to 350
    files.first();
    EXPECT_EQ(files.fieldByName("NeedId")->asInteger(), 1);

    // A record edited out of the range leaves the cursor on a neighbour within it.
    const int moved = number();
    files.edit();
    files.fieldByName("NeedId")->setAsInteger(0);
    files.post();
    EXPECT_NE(number(), moved);
    EXPECT_EQ(files.recordCount(), 350 - 116 - 1);
    files.cancelRange();
    EXPECT_EQ(files.recordCount(), 350);
}

// An appended row shows at once what the table holds, without a refresh: an empty text is NULL
// there, a date is its day. Rows appended one after another each show their own values.
TEST_F(FilesFixture, AnAppendedRowShowsWhatTheTableHolds)
{
    constexpr double LeapDay = 45351; // 2024-02-29
    Field* name = files.fieldByName("File_name");
    Field* date = files.fieldByName("Date");
    files.append();
    files.fieldByName("Number")->setAsInteger(1001);
    name->setAsString(QString(""));
    date->setAsDateTime(LeapDay + 0.75); // the time of day is dropped
    files.post();
    EXPECT_TRUE(name->isNull());
    EXPECT_EQ(date->asDateTime(), LeapDay);

    files.append();
    files.fieldByName("Number")->setAsInteger(1002);
    name->setAsString("g.pdf");
    date->setAsDateTime(LeapDay);
    files.post();
    EXPECT_EQ(name->asString(), "g.pdf");
    EXPECT_EQ(number(), 1002);
    EXPECT_EQ(local.cli("select Number, quote(File_name), Date from \"FILES.DB\" "
                        "where Number > 1000 order by Number;"),
              "1001|NULL|2024-02-29\n1002|'g.pdf'|2024-02-29");
}

TEST_F(FilesFixture, EditsAndDeletesWriteOneRowAndEmptyTextIsNull)
{
    ASSERT_TRUE(files.findKey({7}));
    // Another program changes a field meanwhile: an edit writes only the fields it changed.
    local.cli("update \"FILES.DB\" set Type = 9 where Number = 7;");
    files.edit();
    files.fieldByName("File_name")->setAsString(QString());
    files.post();
    EXPECT_EQ(local.cli("select quote(File_name), Type from \"FILES.DB\" where Number = 7;"),
              "NULL|9");
    files.refresh();
    EXPECT_TRUE(files.fieldByName("File_name")->isNull());

    // Delete: the cursor moves to the next row; after the last row, back.
    files.deleteRecord();
    EXPECT_EQ(number(), 8);
    files.last();
    files.deleteRecord();
    EXPECT_EQ(number(), 349);
    EXPECT_EQ(local.cli("select count(*) from \"FILES.DB\" where Number in (7, 350);"), "0");

    // A duplicate primary key is refused and nothing is written.
    files.append();
    files.fieldByName("Number")->setAsInteger(8);
    EXPECT_EQ(engineCodeOf([&] { files.post(); }), EngineCode::KeyViolation);
    files.cancel();

    // Rows added by another program are seen after a refresh.
    local.cli("insert into \"FILES.DB\" (Number, NeedId, Type) values (999, 0, 0);");
    files.refresh();
    files.last();
    EXPECT_EQ(number(), 999);

    // Rows posted in a transaction go away with its rollback.
    local.db.startTransaction();
    files.appendRecord({1000, "t", 0, 0, 0});
    local.db.rollback();
    EXPECT_EQ(local.cli("select count(*) from \"FILES.DB\";"), "349");
    files.refresh();
    EXPECT_EQ(files.recordCount(), 349);
    local.db.close(); // closes its tables
    EXPECT_FALSE(files.isActive());
}

TEST(DbLocalTable, CaseInsensitiveAndDescendingIndexes)
{
    LocalDb local;
    LocalTable t;
    definePatients(t, local.db, "Patients.db");
    t.fieldDefs()[0] = {"Patient_ID", FieldType::AutoInc};
    t.indexDefs().add("NomPrenom", "Nom;Prenom", IndexDef::CaseInsensitive);
    t.indexDefs().add("NomDesc", "Nom", IndexDef::Descending);
    t.createTable();
    t.setTableName("patients.DB"); // opened under another spelling of its name
    t.open();
    for (const char* name :
         {"dupont;marc", "Durand;Léa", "DUPONT;Anne", "Dupont;anne", "élie;Paul"}) {
        const QStringList parts = QString::fromUtf8(name).split(QLatin1Char(';'));
        t.appendRecord({Variant::null(), parts.at(0), parts.at(1)});
    }
    // Auto-increment numbers in the order of adding.
    EXPECT_EQ(local.cli("select group_concat(Patient_ID) from \"Patients.db\";"), "1,2,3,4,5");

    auto names = [&] {
        QStringList out;
        for (t.first(); !t.eof(); t.next())
            out.append(t.fieldByName("Nom")->asString() + QLatin1Char(' ') +
                       t.fieldByName("Prenom")->asString());
        return out;
    };
    t.setIndexName("nomprenom");
    // Folded names; equal folded names by their bytes (D < d), then the first names likewise.
    EXPECT_EQ(names(), (QStringList{"DUPONT Anne", "Dupont anne", "dupont marc", "Durand Léa",
                                    "élie Paul"}));
    // Case-insensitive search matches the folded text alone.
    EXPECT_EQ(found(t, {"dupont"}, "Prenom"), "Anne");
    EXPECT_EQ(found(t, {"DUPONT", "MARC"}, "Patient_ID"), "1");
    EXPECT_EQ(found(t, {"ELIE"}, "Prenom"), "Paul");
    t.setRange({"dupont"}, {"DUPONT"});
    EXPECT_EQ(t.recordCount(), 3);
    t.cancelRange();

    // Descending, case-sensitive: by windows-1252 bytes, largest first (é E9 > d > D).
    t.setIndexName("NomDesc");
    EXPECT_EQ(names(), (QStringList{"élie Paul", "dupont marc", "Durand Léa", "Dupont anne",
                                    "DUPONT Anne"}));
    EXPECT_EQ(found(t, {"dupond"}), "-");
    t.setRange({"dupont"}, {"Dupont"});
    EXPECT_EQ(names(), (QStringList{"dupont marc", "Durand Léa", "Dupont anne"}));
}

TEST(DbLocalTable, ExclusiveOpenFailsWhileAnotherConnectionOrProcessHoldsTheTable)
{
    LocalDb local;
    LocalTable made;
    made.setDatabase(&local.db);
    made.setTableName("ID_VALUES");
    made.fieldDefs().add("KEY_NAME", FieldType::String, 30);
    made.fieldDefs().add("LAST_VALUE", FieldType::Integer);
    made.indexDefs().add(QString(), "KEY_NAME", IndexDef::Primary);
    made.createTable();

    Database second;
    second.setLocalFolder(local.dir.path());
    LocalTable mine, theirs;
    mine.setDatabase(&local.db);
    mine.setTableName("ID_VALUES");
    mine.setExclusive(true);
    theirs.setDatabase(&second);
    theirs.setTableName("id_values");

    mine.open();
    EXPECT_EQ(engineCodeOf([&] { theirs.open(); }), EngineCode::Locked);
    theirs.setExclusive(true);
    EXPECT_EQ(engineCodeOf([&] { theirs.open(); }), EngineCode::Locked);
    EXPECT_FALSE(theirs.isActive());
    // Other tables of the same file stay free: the lock is the table's, not the file's.
    second.execute("create table OTHER (A integer)");
    mine.close();
    theirs.open();
    // And the other way round: an exclusive open fails while a plain open holds the table.
    theirs.close();
    theirs.setExclusive(false);
    theirs.open();
    EXPECT_EQ(engineCodeOf([&] { mine.open(); }), EngineCode::Locked);
    // Restructuring needs the table to itself too.
    EXPECT_EQ(engineCodeOf([&] {
                  made.addField({"X", FieldType::Integer, 0, false});
              }),
              EngineCode::Locked);
    theirs.close();
    mine.open();
    mine.close();

    // Another process holding the lock file.
    FileHolder holder;
    ASSERT_TRUE(
        holder.start(TableLock::lockFileName(local.file(), "ID_VALUES"), FileHolder::Locked));
    EXPECT_EQ(engineCodeOf([&] { mine.open(); }), EngineCode::Locked);
    holder.release();
    mine.open();
    EXPECT_TRUE(mine.isActive());
}

TEST(DbLocalTable, RestructuringKeepsTheData)
{
    LocalDb local;
    LocalTable t;
    definePatients(t, local.db, "patients.db", 10);
    t.fieldDefs().add("Code", FieldType::String, 5);
    t.createTable();
    t.open();
    t.appendRecord({1, "Martin", "Jean", "12"});
    t.appendRecord({2, "Petit", "Ève", "abc"});
    t.close();

    // Widen a text field: declared size changes, values stay.
    t.changeField("Prenom", {"Prenom", FieldType::String, 64});
    // A type change that a value cannot follow leaves everything as it was.
    EXPECT_THROW(t.changeField("Code", {"Code", FieldType::Integer}), EngineError);
    EXPECT_THROW(t.changeField("Nom", {"Nom", FieldType::String, 5}), EngineError);
    EXPECT_EQ(local.cli("select group_concat(type, ',') from pragma_table_info('patients.db');"),
              "INTEGER,VARCHAR(10),VARCHAR(64),VARCHAR(5)");
    // Add, copy across, drop: the steps of the local upgrade.
    t.addField({"TempField", FieldType::String, 64});
    t.addField({"Dossier", FieldType::Integer});
    EXPECT_EQ(engineCodeOf([&] {
                  t.addField({"Required", FieldType::Integer, 0, true});
              }),
              EngineCode::RequiredField); // the table has rows
    EXPECT_THROW(t.addField({"dossier", FieldType::Integer}), EngineError);
    t.open();
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.fieldByName("TempField")->setAsString(t.field(2)->asString());
        t.post();
    }
    t.close();
    t.dropField("Prenom");
    t.changeField("TempField", {"Prenom", FieldType::String, 64});
    t.addIndex("NomPrenom", "Nom;Prenom", IndexDef::CaseInsensitive);
    EXPECT_THROW(t.dropField("Nom"), EngineError); // used by an index
    EXPECT_EQ(local.cli("select Patient_ID, Nom, Prenom, quote(Dossier), Code "
                        "from \"patients.db\" order by Patient_ID;"),
              "1|Martin|Jean|NULL|12\n2|Petit|Ève|NULL|abc");
    EXPECT_EQ(local.cli("select group_concat(name, ',') from pragma_table_info('patients.db');"),
              "Patient_ID,Nom,Code,Prenom,Dossier");
    const IndexDefs ix = t.storedIndexDefs();
    ASSERT_NE(ix.find("NomPrenom"), nullptr);
    EXPECT_EQ(ix.find("NomPrenom")->fields, "Nom;Prenom");
    EXPECT_TRUE(ix.find("NomPrenom")->options.testFlag(IndexDef::CaseInsensitive));
    t.open();
    t.setIndexName("NomPrenom");
    EXPECT_TRUE(t.findKey({"PETIT", "ève"}));
    t.close();
    t.deleteIndex("NomPrenom");
    EXPECT_THROW(t.deleteIndex("NomPrenom"), EngineError);
    EXPECT_THROW(t.createTable(), EngineError); // exists

    // A rename takes the indexes and the lock file along; a name in use is refused.
    t.addIndex("ByCode", "Code");
    LocalTable other;
    definePatients(other, local.db, "other.db");
    other.createTable();
    EXPECT_EQ(engineCodeOf([&] { t.renameTable("OTHER.DB"); }), EngineCode::AlreadyExists);
    t.renameTable("people.db");
    EXPECT_EQ(t.tableName(), "people.db");
    EXPECT_EQ(local.cli("select group_concat(name, ',') from (select name from sqlite_master "
                        "where tbl_name = 'people.db' and sql is not null order by name);"),
              "people.db,people.db$ByCode,people.db$PRIMARY");
    EXPECT_FALSE(QFile::exists(TableLock::lockFileName(local.file(), "patients.db")));
    t.setIndexName("ByCode");
    t.open();
    EXPECT_TRUE(t.findKey({"abc"}));
    EXPECT_EQ(t.fieldByName("Patient_ID")->asInteger(), 2);
}

// A rename, a column drop and a field change (which rebuilds the table) of a local table, beside
// a view on the table and a view whose table was dropped: neither blocks the change, and both
// views are still there afterwards, with their own texts.
TEST(DbLocalTable, ViewsDoNotBlockStructureChanges)
{
    const struct
    {
        const char* change;
        std::function<void(LocalTable&)> run;
        QString view; // what the view on the table reads afterwards
    } cases[] = {
        {"rename", [](LocalTable& t) { t.renameTable("clients.db"); }, "error"},
        {"drop", [](LocalTable& t) { t.dropField("Prenom"); }, "1|Martin"},
        {"change",
         [](LocalTable& t) {
             t.changeField("Nom", {"Nom", FieldType::String, 90});
         },
         "1|Martin"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.change);
        LocalDb local;
        LocalTable t;
        definePatients(t, local.db, "patients.db");
        t.createTable();
        t.open();
        t.appendRecord({1, "Martin", "Jean"});
        t.close();
        local.db.execute("create table GONE (A integer)");
        local.db.execute("create view V_GONE as select A from GONE");
        local.db.execute("create view V_PATIENTS as select Patient_ID, Nom from \"patients.db\"");
        local.db.execute("drop table GONE");
        k.run(t);
        EXPECT_EQ(local.cli("select group_concat(name, ',') from (select name from sqlite_master "
                            "where type = 'view' order by name);"),
                  "V_GONE,V_PATIENTS");
        // The program's connection is left as it was.
        auto legacy = local.db.connection().prepare("PRAGMA legacy_alter_table");
        ASSERT_TRUE(legacy->step());
        EXPECT_EQ(legacy->columnValue(0).toInt(), 0);
        QString read;
        try {
            auto view = local.db.connection().prepare("select * from V_PATIENTS");
            while (view->step())
                read += view->columnValue(0).toString() + '|' + view->columnValue(1).toString();
        } catch (const EngineError&) {
            read = "error"; // it names a table that is gone, as a server's view would
        }
        EXPECT_EQ(read, k.view);
    }
}

} // namespace
