// The in-memory dataset: index orders (case-sensitive by default, case-insensitive beside it),
// key search on partial keys, ranges, unique indexes, bulk loading with the packet limit, and the
// dataset file with its damaged and truncated forms.
#include "dataset_helpers.h"

#include <platform/codepage.h>
#include <platform/data/collation.h>
#include <platform/fileops.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>

using namespace testdata;

namespace {

std::unique_ptr<MemDataSet> makeNames(const QStringList& names)
{
    auto ds = std::make_unique<MemDataSet>();
    ds->fieldDefs().add("ID", FieldType::Integer);
    ds->fieldDefs().add("NAME", FieldType::String, 30);
    ds->indexDefs().add("bySensitive", "NAME");
    ds->indexDefs().add("byName", "NAME", IndexDef::CaseInsensitive);
    ds->createDataSet();
    int id = 0;
    for (const QString& n : names)
        ds->appendRecord({++id, n});
    return ds;
}

// A part of the device parameter catalogue: device, parameter number, code.
std::unique_ptr<MemDataSet> makeCatalogue()
{
    auto ds = std::make_unique<MemDataSet>();
    ds->fieldDefs().add("MDEV_ID", FieldType::Integer, 0, true);
    ds->fieldDefs().add("NUMBER", FieldType::Integer, 0, true);
    ds->fieldDefs().add(FieldDef{"CODE", FieldType::String, 12, true, true});
    ds->createDataSet();
    const struct
    {
        int dev, num;
        const char* code;
    } rows[] = {{11, 1, "WBC"},  {11, 2, "RBC"},    {11, 3, "HGB"}, {20, 49, "Cl"},
                {20, 1, "GLU"},  {20, 53, "BIL-I"}, {20, 55, "IA"}, {21, 20, ""},
                {10, 22, "HDL"}, {10, 30, "HDL"}};
    for (const auto& r : rows)
        ds->appendRecord({r.dev, r.num, r.code});
    return ds;
}

struct CodePageScope
{
    explicit CodePageScope(codepage::CodePage cp) : saved(codepage::current())
    {
        codepage::setCurrent(cp);
    }
    ~CodePageScope() { codepage::setCurrent(saved); }
    codepage::CodePage saved;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// CRC-32 as zlib computes it, from Debian's own Python.
quint32 zlibCrc32(const QByteArray& data)
{
    QProcess p;
    p.start("/usr/bin/python3",
            {"-c", "import sys,zlib; print(zlib.crc32(sys.stdin.buffer.read()))"});
    p.write(data);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return quint32(p.readAllStandardOutput().trimmed().toULongLong());
}

} // namespace

TEST(MemDataSet, CaseSensitiveDefaultIndexBesideCaseInsensitiveOne)
{
    auto ds = makeNames({"eric", "Eric", "Émile", "Edgar", "Zoe", "adam"});

    ds->setIndexName("bySensitive"); // by the bytes of windows-1252
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"Edgar", "Eric", "Zoe", "adam", "eric", "Émile"}));
    EXPECT_FALSE(ds->findKey({"ERIC"}));
    EXPECT_TRUE(ds->findKey({"eric"}));
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1);

    ds->setIndexName("byName"); // folded, ties by the exact text
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"adam", "Edgar", "Émile", "Eric", "eric", "Zoe"}));
    EXPECT_TRUE(ds->findKey({"ERIC"}));
    EXPECT_EQ(ds->fieldByName("NAME")->asString(), "Eric");
    EXPECT_TRUE(ds->findKey({"emile"}));
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 3);

    // Switching the order keeps the current record.
    ds->setIndexName("bySensitive");
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 3);
    EXPECT_EQ(ds->recNo(), 6);
    ds->setIndexFieldNames("ID");
    EXPECT_EQ(ds->indexName(), QString());
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 3);
    EXPECT_EQ(ds->recNo(), 3);
    ds->setIndexFieldNames(QString());
    EXPECT_EQ(column(*ds, "ID"), QStringList({"1", "2", "3", "4", "5", "6"}));
    EXPECT_THROW(ds->setIndexName("nope"), EDBEditError);

    // A unique case-insensitive index takes names that differ in case only, not twice the same.
    MemDataSet u;
    u.fieldDefs().add("NAME", FieldType::String, 30);
    u.indexDefs().add("u", "NAME", IndexDef::Unique | IndexDef::CaseInsensitive);
    u.createDataSet();
    u.appendRecord({"Eric"});
    u.appendRecord({"eric"});
    EXPECT_THROW(u.appendRecord({"Eric"}), EDBClient);
    EXPECT_EQ(u.state(), DataSet::State::Browse); // appendRecord gives the new record up
    EXPECT_EQ(u.recordCount(), 2);
}

TEST(MemDataSet, RussianNamesFallInsideACaseInsensitiveRangeOfTheirPrefix)
{
    CodePageScope cyrillic(codepage::Cp1251);
    auto ds = makeNames({"Петров", "Иванов", "иванова", "Ivanov", "Ивченко", "ИВАН"});
    ds->setIndexName("byName");
    // Russian lists put Cyrillic before Latin; ё and е, upper and lower case sort together.
    EXPECT_EQ(column(*ds, "NAME"),
              QStringList({"ИВАН", "Иванов", "иванова", "Ивченко", "Петров", "Ivanov"}));

    // The identification dialog's prefix range: typed text + NUL .. typed text + "zzzz".
    for (const QString& typed : {QStringLiteral("Иван"), QStringLiteral("иван")}) {
        ds->setRange({typed + QChar(0)}, {typed + "zzzz"});
        EXPECT_EQ(column(*ds, "NAME"), QStringList({"ИВАН", "Иванов", "иванова"}))
            << typed.toStdString();
    }
    ds->cancelRange();
    EXPECT_EQ(ds->recordCount(), 6);
    EXPECT_TRUE(ds->findKey({"ПЕТРОВ"}));
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1);
}

TEST(MemDataSet, FindKeyOnPartialCompositeKeys)
{
    auto ds = makeCatalogue();
    EXPECT_THROW(ds->findKey({11}), EDBEditError); // storage order has no key

    ds->setIndexFieldNames("MDEV_ID;NUMBER");
    EXPECT_FALSE(ds->findKey({20, 50}));
    EXPECT_TRUE(ds->findKey({20, 53}));
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "BIL-I");
    EXPECT_TRUE(ds->findKey({20})); // the first parameter of device 20 by number
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "GLU");
    EXPECT_TRUE(ds->findKey({"21", "20"})); // keys take the fields' types
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "");
    EXPECT_THROW(ds->findKey({1, 2, 3}), EDBEditError);

    ds->findNearest({20, 50});
    EXPECT_EQ(ds->fieldByName("NUMBER")->asInteger(), 53);
    ds->findNearest({99});
    EXPECT_EQ(ds->fieldByName("MDEV_ID")->asInteger(), 21);
    ds->findNearest({0});
    EXPECT_EQ(ds->fieldByName("NUMBER")->asInteger(), 22);

    ds->setIndexFieldNames("MDEV_ID;CODE");
    EXPECT_TRUE(ds->findKey({10, "HDL"})); // of two equal keys, the first posted
    EXPECT_EQ(ds->fieldByName("NUMBER")->asInteger(), 22);
    EXPECT_FALSE(ds->findKey({10, "hdl"})); // no options: case-sensitive

    // The classic form: key fields assigned in the SetKey state.
    ds->setIndexFieldNames("MDEV_ID;NUMBER");
    ds->setKey();
    EXPECT_EQ(ds->state(), DataSet::State::SetKey);
    ds->fieldByName("MDEV_ID")->setValue(11);
    ds->fieldByName("NUMBER")->setValue(3);
    EXPECT_TRUE(ds->gotoKey());
    EXPECT_EQ(ds->state(), DataSet::State::Browse);
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "HGB");
    ds->editKey();
    ds->fieldByName("NUMBER")->setValue(2);
    EXPECT_TRUE(ds->gotoKey());
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "RBC");
    ds->setKey();
    ds->fieldByName("MDEV_ID")->setValue(20);
    EXPECT_TRUE(ds->gotoKey());
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "GLU");
    ds->setKey();
    ds->cancel();
    EXPECT_EQ(ds->state(), DataSet::State::Browse);
}

TEST(MemDataSet, RangesMayNameFewerFieldsThanTheIndex)
{
    auto ds = makeCatalogue();
    ds->setIndexFieldNames("MDEV_ID;NUMBER");
    ds->setRange({11}, {11});
    EXPECT_EQ(column(*ds, "CODE"), QStringList({"WBC", "RBC", "HGB"}));
    EXPECT_EQ(ds->recordCount(), 3);
    ds->first();
    ds->cancelRange();
    EXPECT_EQ(ds->recordCount(), 10);
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "WBC"); // the record stays current

    ds->setRange({20, 2}, {20, 53});
    EXPECT_EQ(column(*ds, "CODE"), QStringList({"Cl", "BIL-I"}));
    ds->setRange({20}, {});
    EXPECT_EQ(column(*ds, "CODE"), QStringList({"GLU", "Cl", "BIL-I", "IA", ""}));

    ds->setRangeStart();
    ds->fieldByName("MDEV_ID")->setValue(10);
    ds->setRangeEnd();
    ds->fieldByName("MDEV_ID")->setValue(11);
    ds->applyRange();
    EXPECT_EQ(column(*ds, "CODE"), QStringList({"HDL", "HDL", "WBC", "RBC", "HGB"}));
    ds->editRangeEnd();
    ds->fieldByName("NUMBER")->setValue(2);
    ds->applyRange();
    EXPECT_EQ(ds->recordCount(), 4);

    // Records posted inside the range join it; those outside do not show.
    ds->setRange({11}, {11});
    ds->appendRecord({11, 8, "PLT"});
    EXPECT_EQ(ds->recordCount(), 4);
    ds->appendRecord({12, 1, "SG"});
    EXPECT_EQ(ds->recordCount(), 4);
    EXPECT_EQ(ds->fieldByName("MDEV_ID")->asInteger(), 11);
    ds->cancelRange();
    EXPECT_EQ(ds->recordCount(), 12);

    // Names as the identification dialog searches them: a name equal to the text is included.
    MemDataSet p;
    p.fieldDefs().add("NOM", FieldType::String, 30);
    p.fieldDefs().add("PRENOM", FieldType::String, 30);
    p.createDataSet();
    for (const auto& r : QList<VariantList>{{"DU", "Jean"},
                                            {"DUPONT", "Marie"},
                                            {"DURAND", Variant::null()},
                                            {"DAVID", "Paul"},
                                            {"DZ", "Anne"},
                                            {"Dupuis", "Luc"}})
        p.appendRecord(r);
    p.setIndexFieldNames("NOM;PRENOM");
    p.setRange({QString("DU") + QChar(0), QString(QChar(0))}, {"DUzzzz", "zzzz"});
    EXPECT_EQ(column(p, "NOM"), QStringList({"DU", "DUPONT", "DURAND"}));
}

TEST(MemDataSet, DescendingIndexAndEqualKeysInPostOrder)
{
    auto ds = makeItems({{1, "a", 2}, {2, "b", 5}, {3, "c", 1}});
    ds->addIndex("byQtyDesc", "QTY", IndexDef::Descending);
    ds->setIndexName("byQtyDesc");
    EXPECT_EQ(column(*ds, "ID"), QStringList({"2", "1", "3"}));
    EXPECT_TRUE(ds->findKey({2.0}));
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1);
    ds->setRange({5}, {2}); // from the first key in this order to the last
    EXPECT_EQ(column(*ds, "ID"), QStringList({"2", "1"}));
    ds->cancelRange();

    // Among equal keys a record posted later comes after the others, also after an edit.
    ds->setIndexFieldNames("QTY");
    ds->appendRecord({4, "d", 2});
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"c", "a", "d", "b"}));
    ASSERT_TRUE(ds->locate("ID", 1));
    ds->edit();
    ds->fieldByName("NAME")->setValue("A");
    ds->post();
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"c", "d", "A", "b"}));
}

TEST(MemDataSet, UniqueIndexesRefuseDuplicates)
{
    auto ds = makeItems({{1, "A", 1}, {2, "B", 2}});
    ds->addIndex("pk", "ID", IndexDef::Primary);
    ds->addIndex("uName", "NAME", IndexDef::Unique);

    ds->append();
    ds->fieldByName("ID")->setValue(2);
    ds->fieldByName("NAME")->setValue("C");
    try {
        ds->post();
        FAIL() << "a duplicate primary key was accepted";
    } catch (const EDBClient& e) {
        EXPECT_EQ(e.message(), "Key violation.");
    }
    EXPECT_EQ(ds->state(), DataSet::State::Insert);
    ds->fieldByName("ID")->setValue(3);
    ds->post();
    EXPECT_EQ(ds->recordCount(), 3);

    ASSERT_TRUE(ds->locate("ID", 1));
    ds->edit();
    ds->fieldByName("NAME")->setValue("B");
    EXPECT_THROW(ds->post(), EDBClient);
    ds->cancel();
    EXPECT_EQ(ds->fieldByName("NAME")->asString(), "A");
    ds->edit();
    ds->fieldByName("QTY")->setValue(9.0); // its own key is no duplicate
    ds->post();

    // Null counts as a key value: one record may hold it.
    ds->appendRecord({4, Variant::null(), 0.0});
    EXPECT_THROW(ds->appendRecord({5, Variant::null(), 0.0}), EDBClient);

    // An index that the data already breaks is refused and not added.
    ds->appendRecord({6, "F", 9.0});
    EXPECT_THROW(ds->addIndex("uQty", "QTY", IndexDef::Unique), EDBClient);
    EXPECT_EQ(ds->indexDefs().find("uQty"), nullptr);
    EXPECT_THROW(ds->addIndex("blank", " ; "), EDBClient); // an index needs a field

    // A bulk load with a duplicate is taken back as a whole.
    const int before = ds->recordCount();
    ds->beginBulkAppend();
    ds->bulkAppend({7, "G", 0.0});
    ds->bulkAppend({1, "H", 0.0});
    EXPECT_THROW(ds->endBulkAppend(), EDBClient);
    EXPECT_EQ(ds->recordCount(), before);
    EXPECT_FALSE(ds->locate("ID", 7));
    ds->setIndexName("pk");
    EXPECT_EQ(column(*ds, "ID"), QStringList({"1", "2", "3", "4", "6"}));
    ds->appendRecord({7, "G", 0.0});
    EXPECT_EQ(ds->recordCount(), before + 1);
}

TEST(MemDataSet, BulkLoadPacketLimitAndEmptying)
{
    MemDataSet ds;
    ds.fieldDefs().add("ID", FieldType::AutoInc);
    ds.fieldDefs().add("N", FieldType::Integer);
    ds.fieldDefs().add("S", FieldType::String, 4);
    ds.indexDefs().add("byN", "N");
    ds.createDataSet();
    ds.setPacketRecords(50);
    CountingObserver obs;
    ds.addObserver(&obs);
    EventLog log;
    log.attach(ds);

    ds.beginBulkAppend();
    int taken = 0;
    for (int i = 0; i < 60; ++i) {
        if (ds.bulkAppend({Variant::null(), QString::number((i * 37) % 60), "abcdef"}))
            ++taken;
    }
    ds.endBulkAppend();
    EXPECT_EQ(taken, 50);
    EXPECT_TRUE(ds.packetLimitReached());
    EXPECT_EQ(ds.recordCount(), 50);
    EXPECT_TRUE(log.events.isEmpty()); // no per-record events
    EXPECT_EQ(obs.changed, 1);
    EXPECT_EQ(ds.fieldByName("S")->asString(), "abcd"); // converted as a posted value would be
    EXPECT_EQ(ds.fieldByName("N")->value().type(), Variant::Type::Integer);

    ds.setIndexName("byN");
    ds.first();
    int last = -1;
    bool ordered = true;
    while (!ds.eof()) {
        ordered = ordered && ds.fieldByName("N")->asInteger() >= last;
        last = int(ds.fieldByName("N")->asInteger());
        ds.next();
    }
    EXPECT_TRUE(ordered);
    ds.setIndexName(QString());
    ds.last();
    EXPECT_EQ(ds.fieldByName("ID")->asInteger(), 50); // autoinc numbered in load order

    ds.beginBulkAppend();
    EXPECT_THROW(ds.bulkAppend({1, 2}), EDBClient);
    ds.endBulkAppend();

    const Bookmark b = ds.bookmark();
    ds.emptyDataSet();
    EXPECT_TRUE(ds.isEmpty());
    EXPECT_FALSE(ds.bookmarkValid(b));
    ds.appendRecord({Variant::null(), 1, "x"});
    EXPECT_EQ(ds.fieldByName("ID")->asInteger(), 51); // numbering goes on
    ds.removeObserver(&obs);
}

// Loaded values already in their field's form are taken as they are (moved out of a list given as
// an rvalue); the others are converted as a posted value would be.
TEST(MemDataSet, BulkLoadTakesOrConvertsEachValue)
{
    MemDataSet ds;
    ds.fieldDefs().add("S", FieldType::String, 4);
    ds.fieldDefs().add("D", FieldType::Date);
    ds.fieldDefs().add("T", FieldType::Time);
    ds.fieldDefs().add("DT", FieldType::DateTime);
    ds.fieldDefs().add("N", FieldType::Integer);
    ds.createDataSet();
    ds.beginBulkAppend();

    VariantList row{"abcd", Variant::fromDateTime(45356), Variant::fromDateTime(0.25),
                    Variant::fromDateTime(45356.5), Variant(qint64(7))};
    ASSERT_TRUE(ds.bulkAppend(std::move(row)));
    ASSERT_EQ(row.size(), 5);              // moved out, not shrunk
    EXPECT_TRUE(row.at(0).isUnassigned()); // the text was handed over, not copied

    // Too long a text is cut; a date keeps its day, a time its time of day (a negative date-time
    // counts its days backwards, its fraction is still the time); numbers become date-times.
    row = {"abcdef", Variant::fromDateTime(45356.75), Variant::fromDateTime(45356.25),
           Variant(qint64(3)), Variant(2.0)};
    ASSERT_TRUE(ds.bulkAppend(std::move(row)));
    EXPECT_EQ(row.at(0).toString(), "abcdef"); // converted from, so left as it was
    const VariantList negative{"", Variant::fromDateTime(-1.25), Variant::fromDateTime(-1.25),
                               Variant(), Variant::null()};
    ASSERT_TRUE(ds.bulkAppend(negative));
    EXPECT_EQ(negative.at(1).toDateTime(), -1.25); // a list given as it is stays as it is

    // A value of no form of its field's type raises and adds nothing.
    EXPECT_THROW(ds.bulkAppend({"x", "not a date", Variant(), Variant(), Variant()}),
                 EConvertError);
    EXPECT_THROW(ds.bulkAppend({"x", Variant(), Variant(), Variant(), "seven"}), EConvertError);
    ds.endBulkAppend();
    ASSERT_EQ(ds.recordCount(), 3);

    struct Expected
    {
        const char* s;
        double d, t, dt;
        Variant::Type dtType;
        qint64 n;
    };
    const Expected expected[] = {{"abcd", 45356, 0.25, 45356.5, Variant::Type::DateTime, 7},
                                 {"abcd", 45356, 0.25, 3, Variant::Type::DateTime, 2},
                                 {"", -1, 0.25, 0, Variant::Type::Null, 0}};
    ds.first();
    for (const Expected& e : expected) {
        EXPECT_EQ(ds.fieldByName("S")->asString(), QString::fromLatin1(e.s));
        EXPECT_EQ(ds.fieldByName("D")->value().type(), Variant::Type::DateTime);
        EXPECT_EQ(ds.fieldByName("D")->asDateTime(), e.d);
        EXPECT_EQ(ds.fieldByName("T")->asDateTime(), e.t);
        EXPECT_EQ(ds.fieldByName("DT")->value().type(), e.dtType); // Unassigned is kept as null
        EXPECT_EQ(ds.fieldByName("DT")->asDateTime(), e.dt);
        EXPECT_EQ(ds.fieldByName("N")->value().type(),
                  e.n ? Variant::Type::Integer : Variant::Type::Null);
        EXPECT_EQ(ds.fieldByName("N")->asInteger(), e.n);
        ds.next();
    }
}

// Removed records leave room that later records take; what a record holds never mixes with what
// another held, through deletes, edits, refused posts and emptying.
TEST(MemDataSet, RecordsComeAndGoWithoutMixingTheirValues)
{
    MemDataSet ds;
    ds.fieldDefs().add("ID", FieldType::AutoInc);
    ds.fieldDefs().add("NAME", FieldType::String, 20);
    ds.fieldDefs().add("DATA", FieldType::Blob);
    ds.indexDefs().add("byName", "NAME", IndexDef::Unique | IndexDef::CaseInsensitive);
    ds.createDataSet();
    for (int i = 1; i <= 40; ++i)
        ds.appendRecord({Variant(), QStringLiteral("name %1").arg(i), QByteArray(i, char(i))});
    // Delete every other record, then add new ones into the room they left.
    ds.first();
    while (!ds.eof()) {
        if (ds.fieldByName("ID")->asInteger() % 2 == 0)
            ds.deleteRecord();
        else
            ds.next();
    }
    for (int i = 41; i <= 60; ++i)
        ds.appendRecord({Variant(), QStringLiteral("name %1").arg(i), QByteArray(i, char(i))});
    // A refused post (the unique index) changes nothing; an edit replaces the values it edits.
    ds.append();
    ds.fieldByName("NAME")->setAsString("name 41");
    EXPECT_THROW(ds.post(), EDBClient);
    ds.cancel();
    ASSERT_TRUE(ds.locate("NAME", "name 3"));
    ds.edit();
    ds.fieldByName("NAME")->setAsString("renamed 3");
    ds.post();

    EXPECT_EQ(ds.recordCount(), 40);
    ds.setIndexName("byName");
    QStringList seen;
    ds.first();
    while (!ds.eof()) {
        const qint64 id = ds.fieldByName("ID")->asInteger();
        const QString name = ds.fieldByName("NAME")->asString();
        EXPECT_EQ(name, id == 3 ? QStringLiteral("renamed 3") : QStringLiteral("name %1").arg(id));
        EXPECT_EQ(ds.fieldByName("DATA")->asBytes(), QByteArray(int(id), char(id)));
        EXPECT_TRUE(id % 2 == 1 || id > 40) << id;
        seen.append(name);
        ds.next();
    }
    EXPECT_EQ(seen.size(), 40);
    EXPECT_EQ(seen.first(), "name 1");
    EXPECT_EQ(seen.last(), "renamed 3");

    ds.emptyDataSet();
    ds.appendRecord({Variant(), "again", QByteArray("z")});
    EXPECT_EQ(ds.recordCount(), 1);
    EXPECT_EQ(ds.fieldByName("ID")->asInteger(), 61);
    EXPECT_EQ(ds.fieldByName("DATA")->asBytes(), QByteArray("z"));

    // Once the highest number is taken there is none left to give: the record is refused.
    ds.appendRecord({std::numeric_limits<qint64>::max(), "last", QByteArray()});
    EXPECT_THROW(ds.appendRecord({Variant(), "one more", QByteArray()}), EDBClient);
    EXPECT_EQ(ds.recordCount(), 2);
}

TEST(MemDataSet, SaveAndLoadEveryFieldType)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("all.dat");

    MemDataSet ds;
    ds.fieldDefs().add("I", FieldType::Integer);
    ds.fieldDefs().add("A", FieldType::AutoInc);
    ds.fieldDefs().add(FieldDef{"S", FieldType::String, 10, true, true});
    ds.fieldDefs().add("M", FieldType::Memo);
    ds.fieldDefs().add("B", FieldType::Boolean);
    ds.fieldDefs().add("F", FieldType::Float);
    ds.fieldDefs().add("C", FieldType::Currency);
    ds.fieldDefs().add("D", FieldType::Date);
    ds.fieldDefs().add("T", FieldType::Time);
    ds.fieldDefs().add("DT", FieldType::DateTime);
    ds.fieldDefs().add("BL", FieldType::Blob);
    ds.fieldDefs().add("G", FieldType::Graphic);
    ds.indexDefs().add("byS", "S", IndexDef::CaseInsensitive);
    ds.indexDefs().add("byI", "I", IndexDef::Unique | IndexDef::Descending);
    ds.createDataSet();
    ds.appendRecord({-5, Variant::null(), "Élan", "line1\nline2 ёж", true, 3.25, Currency{123456},
                     Variant::fromDateTime(45000), Variant::fromDateTime(0.5),
                     Variant::fromDateTime(45000.75), QByteArray("\x00\x01\xff", 3),
                     QByteArray("GIF89a")});
    ds.appendRecord({7, Variant::null(), ""});
    ds.appendRecord({9, Variant::null(), "x", "", false, -1e300, Currency{-1}, Variant::null(),
                     Variant::null(), Variant::null(), QByteArray(), Variant::null()});
    ds.saveToFile(path);

    const QByteArray bytes = readAll(path);
    ASSERT_GT(bytes.size(), 14);
    EXPECT_EQ(bytes.left(8), QByteArray("QVMDS1\r\n"));
    EXPECT_EQ(bytes.mid(8, 2), QByteArray("\x01\x00", 2));          // version 1
    EXPECT_EQ(bytes.mid(10, 4), QByteArray("\x0c\x00\x00\x00", 4)); // twelve fields
    const QByteArray tail = bytes.right(4);
    const quint32 crc = quint8(tail[0]) | quint8(tail[1]) << 8 | quint8(tail[2]) << 16 |
                        quint32(quint8(tail[3])) << 24;
    EXPECT_EQ(crc, zlibCrc32(bytes.left(bytes.size() - 4)));

    MemDataSet back;
    back.loadFromFile(path);
    EXPECT_TRUE(back.isActive());
    EXPECT_TRUE(back.fieldDefs() == ds.fieldDefs());
    ASSERT_EQ(back.indexDefs().count(), 2);
    EXPECT_EQ(back.indexDefs().at(1).name, "byI");
    EXPECT_EQ(back.indexDefs().at(1).options, IndexDef::Unique | IndexDef::Descending);
    ASSERT_EQ(back.recordCount(), 3);
    ds.first();
    back.first();
    for (int r = 0; r < 3; ++r) {
        for (int i = 0; i < ds.fieldCount(); ++i) {
            const Variant a = ds.field(i)->value(), b = back.field(i)->value();
            EXPECT_TRUE(a == b) << "record " << r << " field "
                                << qPrintable(ds.field(i)->fieldName()) << ": "
                                << qPrintable(a.toString()) << " / " << qPrintable(b.toString());
        }
        ds.next();
        back.next();
    }
    back.setIndexName("byS");
    EXPECT_EQ(column(back, "I"), QStringList({"7", "-5", "9"}));
    back.setIndexName("byI");
    EXPECT_EQ(column(back, "I"), QStringList({"9", "7", "-5"}));
    EXPECT_THROW(back.appendRecord({9, Variant::null(), "z"}),
                 EDBClient); // the unique index came back too
    back.appendRecord({10, Variant::null(), "y"});
    EXPECT_EQ(back.fieldByName("A")->asInteger(), 4); // autoinc goes on after the loaded values
}

TEST(MemDataSet, DamagedOrTruncatedFileChangesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath("good.dat");
    auto source = makeItems({{1, "A", 1}, {2, "B", 2}, {3, "C", 3}});
    source->saveToFile(good);
    const QByteArray bytes = readAll(good);

    auto target = makeNames({"x", "y"});
    target->next();
    const auto unchanged = [&] {
        EXPECT_TRUE(target->isActive());
        EXPECT_EQ(target->fieldNames(), QStringList({"ID", "NAME"}));
        EXPECT_EQ(target->recordCount(), 2);
        EXPECT_EQ(target->fieldByName("NAME")->asString(), "y");
    };
    const auto rejected = [&](const QByteArray& content, const char* reason) {
        const QString path = dir.filePath("bad.dat");
        writeAll(path, content);
        try {
            target->loadFromFile(path);
            ADD_FAILURE() << "accepted a bad file: " << reason;
        } catch (const EDBClient& e) {
            EXPECT_TRUE(e.message().contains(reason)) << qPrintable(e.message());
        }
        unchanged();
    };

    QByteArray flipped = bytes;
    flipped[bytes.size() / 2] = char(flipped[bytes.size() / 2] ^ 0x20);
    rejected(flipped, "checksum");
    rejected(bytes.left(bytes.size() / 2), "checksum");
    rejected(bytes.left(bytes.size() - 1), "checksum");
    rejected(bytes.left(5), "truncated");
    rejected(QByteArray(), "truncated");
    rejected(QByteArray("ID;NAME\r\n1;A\r\n2;B\r\n"), "not a dataset file");

    // Sound checksums over a file from a later version and over one whose index names no field.
    const auto sealed = [](QByteArray body) {
        const quint32 crc = zlibCrc32(body);
        for (int i = 0; i < 4; ++i)
            body.append(char((crc >> (8 * i)) & 0xFF));
        return body;
    };
    QByteArray later = bytes.chopped(4);
    later[8] = 2;
    rejected(sealed(later), "version 2");
    auto indexed = makeItems({{1, "A", 1}});
    indexed->addIndex("byId", "ID");
    indexed->saveToFile(good);
    QByteArray noField = readAll(good).chopped(4);
    const QByteArray idList("\x02\0\0\0ID", 6); // the index's field list comes after the field's
    noField.replace(noField.lastIndexOf(idList), idList.size(), QByteArray("\x02\0\0\0; ", 6));
    rejected(sealed(noField), "names no field");
    source->saveToFile(good);

    try {
        target->loadFromFile(dir.filePath("missing.dat"));
        ADD_FAILURE();
    } catch (const EDBClient& e) {
        EXPECT_TRUE(e.message().contains("missing.dat"));
    }
    unchanged();

    target->loadFromFile(good);
    EXPECT_EQ(target->fieldNames(), QStringList({"ID", "NAME", "QTY"}));
    EXPECT_EQ(target->recordCount(), 3);
}

TEST(MemDataSet, AFailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("keep.dat");
    auto ds = makeItems({{1, "A", 1}});
    ds->saveToFile(path);
    const QByteArray before = readAll(path);
    EXPECT_THROW(ds->saveToFile(dir.filePath("no/such/folder/x.dat")), EInOutError);

    fileops::failNth(fileops::Op::Write, 1);
    const QString probe = dir.filePath("probe");
    const bool seamWorks = !fileops::writeFile(probe, "x");
    fileops::resetFaults();
    if (!seamWorks)
        GTEST_SKIP() << "until the file seam can fail on demand";
    ds->appendRecord({2, "B", 2});
    fileops::failNth(fileops::Op::Write, 1);
    EXPECT_THROW(ds->saveToFile(path), EInOutError);
    fileops::resetFaults();
    EXPECT_EQ(readAll(path), before);
}

// The indexes keep numeric prefixes of their first key to settle comparisons early; whatever the
// texts share, the order must stay that of the collation itself, and every key must be found.
TEST(MemDataSet, IndexOrderAgreesWithTheCollation)
{
    const QStringList pieces = {"a", "A",      "é",      "É", "e", "z",
                                "Z", "ł",      "Ł",      "ж", " ", "0",
                                "9", "durand", "DURAND", "œ", "€", QString(QChar(0))};
    std::mt19937 rng(1234);
    QStringList texts;
    for (int i = 0; i < 600; ++i) {
        QString t;
        const int n = int(rng() % 6);
        for (int k = 0; k < n; ++k)
            t += pieces.at(int(rng() % pieces.size()));
        texts.append(t);
    }
    for (const auto& [cp, bulk] :
         {std::pair{codepage::Cp1252, false}, std::pair{codepage::Cp1252, true},
          std::pair{codepage::Cp1251, false}, std::pair{codepage::Cp1251, true}}) {
        CodePageScope scope(cp);
        MemDataSet ds;
        ds.fieldDefs().add("N", FieldType::Integer);
        ds.fieldDefs().add("T", FieldType::String, 100);
        ds.indexDefs().add("cs", "T");
        ds.indexDefs().add("ci", "T", IndexDef::CaseInsensitive);
        ds.indexDefs().add("ciDesc", "T;N", IndexDef::CaseInsensitive | IndexDef::Descending);
        ds.createDataSet();
        if (bulk)
            ds.beginBulkAppend();
        for (int i = 0; i < texts.size(); ++i) {
            if (bulk)
                ds.bulkAppend({i, texts.at(i)});
            else
                ds.appendRecord({i, texts.at(i)});
        }
        if (bulk)
            ds.endBulkAppend();

        struct Order
        {
            const char* index;
            std::function<int(const QString&, const QString&)> cmp;
            bool descending;
        };
        const Order orders[] = {{"cs", collation::compareExact, false},
                                {"ci", collation::compareCaseInsensitive, false},
                                {"ciDesc", collation::compareCaseInsensitive, true}};
        for (const Order& o : orders) {
            ds.setIndexName(o.index);
            const QStringList got = column(ds, "T");
            ASSERT_EQ(got.size(), texts.size());
            for (int i = 1; i < got.size(); ++i) {
                const int c = o.cmp(got.at(i - 1), got.at(i));
                ASSERT_TRUE(o.descending ? c >= 0 : c <= 0)
                    << o.index << " (code page " << cp << ", bulk " << bulk << ") at " << i << ": "
                    << got.at(i - 1).toStdString() << " / " << got.at(i).toStdString();
            }
        }
        ds.setIndexName("ci");
        for (int i = 0; i < texts.size(); i += 7) {
            ASSERT_TRUE(ds.findKey({texts.at(i).toUpper()})) << texts.at(i).toStdString();
            EXPECT_EQ(collation::compareFolded(ds.fieldByName("T")->asString(), texts.at(i)), 0);
        }
        ds.setIndexName("cs");
        for (int i = 0; i < texts.size(); i += 7) {
            ASSERT_TRUE(ds.findKey({texts.at(i)})) << texts.at(i).toStdString();
            EXPECT_EQ(collation::compareExact(ds.fieldByName("T")->asString(), texts.at(i)), 0);
        }
    }
}
