// The in-memory dataset: index orders (case-sensitive by default, case-insensitive beside it),
// key search on partial keys, ranges, unique indexes, bulk loading with the packet limit, and the
// dataset file with its damaged and truncated forms.
#include "dataset_helpers.h"

#include <platform/codepage.h>
#include <platform/data/collation.h>
#include <platform/fileops.h>

#include <support/qt_printers.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

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

// The same for many inputs in one run: each sent with its length on a line before it.
QList<quint32> zlibCrc32s(const QList<QByteArray>& inputs)
{
    QProcess p;
    p.start("/usr/bin/python3",
            {"-c", "import sys,zlib\nr=sys.stdin.buffer\nwhile l:=r.readline():\n"
                   "    print(zlib.crc32(r.read(int(l))))"});
    for (const QByteArray& input : inputs)
        p.write(QByteArray::number(input.size()) + '\n' + input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    QList<quint32> crcs;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            crcs.append(quint32(line.toULongLong()));
    return crcs;
}

} // namespace

TEST(MemDataSet, CaseSensitiveDefaultIndexBesideCaseInsensitiveOne)
{
    auto ds = makeNames({"eric", "Eric", "Émile", "Edgar", "Zoe", "adam"});

    ds->setIndexName("bySensitive"); // by the bytes of windows-1252
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"Edgar", "Eric", "Zoe", "adam", "eric", "Émile"}));
    EXPECT_EQ(found(*ds, {"ERIC"}), "-");
    EXPECT_EQ(found(*ds, {"eric"}), "1");

    ds->setIndexName("byName"); // folded, ties by the exact text
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"adam", "Edgar", "Émile", "Eric", "eric", "Zoe"}));
    EXPECT_EQ(found(*ds, {"ERIC"}, "NAME"), "Eric");
    EXPECT_EQ(found(*ds, {"emile"}), "3");

    // Switching the order keeps the current record.
    ds->setIndexName("bySensitive");
    EXPECT_EQ(ds->recNo(), 6);
    ds->setIndexFieldNames(QString());
    EXPECT_EQ(ds->recNo(), 3);
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
    EXPECT_EQ(found(*ds, {"ПЕТРОВ"}), "1");
}

TEST(MemDataSet, FindKeyOnPartialCompositeKeys)
{
    auto ds = makeCatalogue();
    EXPECT_THROW(ds->findKey({11}), EDBEditError); // storage order has no key

    ds->setIndexFieldNames("MDEV_ID;NUMBER");
    EXPECT_EQ(found(*ds, {20, 50}, "CODE"), "-");
    EXPECT_EQ(found(*ds, {20, 53}, "CODE"), "BIL-I");
    EXPECT_EQ(found(*ds, {20}, "CODE"), "GLU");      // the first parameter of device 20 by number
    EXPECT_EQ(found(*ds, {"21", "20"}, "CODE"), ""); // keys take the fields' types
    EXPECT_THROW(ds->findKey({1, 2, 3}), EDBEditError);
    ds->findNearest({20, 50});
    EXPECT_EQ(ds->fieldByName("NUMBER")->asInteger(), 53);

    ds->setIndexFieldNames("MDEV_ID;CODE");
    EXPECT_EQ(found(*ds, {10, "HDL"}, "NUMBER"), "22"); // of two equal keys, the first posted
    EXPECT_EQ(found(*ds, {10, "hdl"}), "-");            // no options: case-sensitive

    // A key given field by field, in the SetKey state.
    ds->setIndexFieldNames("MDEV_ID;NUMBER");
    ds->setKey();
    ds->fieldByName("MDEV_ID")->setValue(11);
    ds->fieldByName("NUMBER")->setValue(3);
    EXPECT_TRUE(ds->gotoKey());
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "HGB");
    ds->editKey(); // keeps the device
    ds->fieldByName("NUMBER")->setValue(2);
    EXPECT_TRUE(ds->gotoKey());
    EXPECT_EQ(ds->fieldByName("CODE")->asString(), "RBC");
    EXPECT_EQ(ds->state(), DataSet::State::Browse);
}

TEST(MemDataSet, RangesMayNameFewerFieldsThanTheIndex)
{
    auto ds = makeCatalogue();
    ds->setIndexFieldNames("MDEV_ID;NUMBER");
    ds->setRange({11}, {11});
    EXPECT_EQ(column(*ds, "CODE"), QStringList({"WBC", "RBC", "HGB"}));
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
    ds->appendRecord({12, 1, "SG"});
    EXPECT_EQ(ds->fieldByName("MDEV_ID")->asInteger(), 11);
    EXPECT_EQ(column(*ds, "CODE"), QStringList({"WBC", "RBC", "HGB", "PLT"}));
}

// Key search and ranges on large indexes of integers, money and Booleans, ascending and
// descending, with a null and the least integer among the keys (both sort first going up), and
// again after records came and went. IDs are 3 * i for i in 0..999, posted in a shuffled order;
// AMOUNT is i units and OK whether i is even.
TEST(MemDataSet, KeySearchOnLargeIndexesBothWays)
{
    constexpr qint64 Least = std::numeric_limits<qint64>::min();
    MemDataSet ds;
    ds.fieldDefs().add("ID", FieldType::Integer);
    ds.fieldDefs().add("AMOUNT", FieldType::Currency);
    ds.fieldDefs().add("OK", FieldType::Boolean);
    ds.indexDefs().add("up", "ID");
    ds.indexDefs().add("down", "ID", IndexDef::Descending);
    ds.indexDefs().add("amount", "AMOUNT");
    ds.indexDefs().add("ok", "OK");
    ds.createDataSet();
    std::vector<int> order(1000);
    for (int i = 0; i < 1000; ++i)
        order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    for (int i : order)
        ds.appendRecord({3 * i, Currency{qint64(i) * 10000}, i % 2 == 0});
    ds.appendRecord({Variant::null(), Variant::null(), Variant::null()});
    ds.appendRecord({Least, Variant::null(), Variant::null()});
    const auto id = [&ds] {
        const Field* f = ds.fieldByName("ID");
        return f->isNull() ? QStringLiteral("null") : QString::number(f->asInteger());
    };
    const auto search = [&](const Variant& key) {
        return ds.findKey({key}) ? id() : QStringLiteral("-");
    };
    const auto nearest = [&](const Variant& key) {
        ds.findNearest({key});
        return id();
    };

    for (const char* index : {"up", "down"}) {
        SCOPED_TRACE(index);
        ds.setIndexName(index);
        for (int i : {0, 1, 63, 64, 65, 500, 998, 999})
            EXPECT_EQ(search(3 * i), QString::number(3 * i));
        for (int key : {1, 2998, -1, 3000})
            EXPECT_EQ(search(key), "-");
        EXPECT_EQ(search(Least), QString::number(Least));
        EXPECT_EQ(search(Variant::null()), "null");
    }
    ds.setIndexName("up");
    EXPECT_EQ(nearest(1), "3");
    EXPECT_EQ(nearest(-5), "0");
    EXPECT_EQ(nearest(5000), "2997"); // past the last: the last
    ds.first();
    EXPECT_EQ(id(), "null");
    ds.next();
    EXPECT_EQ(id(), QString::number(Least));
    ds.setRange({300}, {600});
    EXPECT_EQ(ds.recordCount(), 101);
    ds.first();
    EXPECT_EQ(id(), "300");
    ds.cancelRange();

    ds.setIndexName("down");
    EXPECT_EQ(nearest(1), "0");
    EXPECT_EQ(nearest(2996), "2994");
    ds.first();
    EXPECT_EQ(id(), "2997");
    ds.last();
    EXPECT_EQ(id(), "null");
    ds.setRange({600}, {300});
    EXPECT_EQ(ds.recordCount(), 101);
    ds.first();
    EXPECT_EQ(id(), "600");
    ds.cancelRange();

    ds.setIndexName("amount");
    EXPECT_EQ(search(Currency{5000000}), "1500");
    EXPECT_EQ(search(Currency{5000001}), "-");
    ds.setIndexName("ok");
    ds.setRange({false}, {false});
    EXPECT_EQ(ds.recordCount(), 500);
    ds.cancelRange();

    // Records come and go: the searches follow.
    ds.setIndexName("up");
    ASSERT_TRUE(ds.findKey({300}));
    ds.deleteRecord();
    ds.appendRecord({301, Currency{0}, false});
    ds.appendRecord({-7, Currency{0}, false});
    for (const char* index : {"up", "down"}) {
        SCOPED_TRACE(index);
        ds.setIndexName(index);
        EXPECT_EQ(search(300), "-");
        EXPECT_EQ(search(301), "301");
        EXPECT_EQ(search(-7), "-7");
        EXPECT_EQ(search(303), "303");
    }
    ds.setIndexName("up");
    ds.setRange({300}, {600});
    EXPECT_EQ(ds.recordCount(), 101);
}

TEST(MemDataSet, UniqueIndexesRefuseDuplicates)
{
    auto ds = makeItems({{1, "A", 1}, {2, "B", 2}});
    ds->addIndex("pk", "ID", IndexDef::Primary);
    ds->addIndex("uName", "NAME", IndexDef::Unique);

    ds->append();
    ds->fieldByName("ID")->setValue(2);
    ds->fieldByName("NAME")->setValue("C");
    EXPECT_EQ(messageOf<EDBClient>([&] { ds->post(); }), "Key violation.");
    EXPECT_EQ(ds->state(), DataSet::State::Insert);
    ds->fieldByName("ID")->setValue(3);
    ds->post();

    ASSERT_TRUE(ds->locate("ID", 1));
    ds->edit();
    ds->fieldByName("NAME")->setValue("B");
    EXPECT_THROW(ds->post(), EDBClient);
    ds->cancel();
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
    ds->beginBulkAppend();
    ds->bulkAppend({7, "G", 0.0});
    ds->bulkAppend({1, "H", 0.0});
    EXPECT_THROW(ds->endBulkAppend(), EDBClient);
    ds->setIndexName("pk");
    EXPECT_EQ(column(*ds, "ID"), QStringList({"1", "2", "3", "4", "6"}));
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"A", "B", "C", "", "F"}));
    ds->appendRecord({7, "G", 0.0});
    EXPECT_EQ(ds->recordCount(), 6);
}

// Loaded values already in their field's form are taken as they are (moved out of a list given as
// an rvalue); the others are converted as a posted value would be. Loading raises no per-record
// event and stops at the packet limit.
TEST(MemDataSet, BulkLoadTakesOrConvertsEachValueUpToThePacketLimit)
{
    MemDataSet ds;
    ds.fieldDefs().add("ID", FieldType::AutoInc);
    ds.fieldDefs().add("S", FieldType::String, 4);
    ds.fieldDefs().add("D", FieldType::Date);
    ds.fieldDefs().add("T", FieldType::Time);
    ds.fieldDefs().add("DT", FieldType::DateTime);
    ds.fieldDefs().add("N", FieldType::Integer);
    ds.createDataSet();
    ds.setPacketRecords(50);
    CountingObserver obs;
    ds.addObserver(&obs);
    EventLog log;
    log.attach(ds);
    ds.beginBulkAppend();

    const auto dt = &Variant::fromDateTime;
    const Variant none;
    VariantList row{none, "abcd", dt(45356), dt(0.25), dt(45356.5), Variant(qint64(7))};
    ASSERT_TRUE(ds.bulkAppend(std::move(row)));
    ASSERT_EQ(row.size(), 6);              // moved out, not shrunk
    EXPECT_TRUE(row.at(1).isUnassigned()); // the text was handed over, not copied

    // Too long a text is cut; a date keeps its day, a time its time of day (a negative date-time
    // counts its days backwards, its fraction is still the time); numbers become date-times.
    row = {none, "abcdef", dt(45356.75), dt(45356.25), Variant(qint64(3)), Variant(2.0)};
    ASSERT_TRUE(ds.bulkAppend(std::move(row)));
    EXPECT_EQ(row.at(1).toString(), "abcdef"); // converted from, so left as it was
    const VariantList negative{none, "", dt(-1.25), dt(-1.25), none, Variant::null()};
    ASSERT_TRUE(ds.bulkAppend(negative));
    EXPECT_EQ(negative.at(2).toDateTime(), -1.25); // a list given as it is stays as it is

    // A value of no form of its field's type, or a row of another size, raises and adds nothing.
    EXPECT_THROW(ds.bulkAppend({none, "x", "not a date", none, none, none}), EConvertError);
    EXPECT_THROW(ds.bulkAppend({none, "x", none, none, none, "seven"}), EConvertError);
    EXPECT_THROW(ds.bulkAppend({1, 2}), EDBClient);

    int taken = 3;
    for (int i = 0; i < 60; ++i)
        taken += ds.bulkAppend({none, "", none, none, none, QString::number(100 + (i * 37) % 60)});
    ds.endBulkAppend();
    EXPECT_EQ(taken, 50);
    EXPECT_TRUE(ds.packetLimitReached());
    EXPECT_TRUE(log.events.isEmpty());
    EXPECT_EQ(obs.changed, 1);
    ds.removeObserver(&obs);

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
        EXPECT_EQ(ds.fieldByName("D")->asDateTime(), e.d);
        EXPECT_EQ(ds.fieldByName("T")->asDateTime(), e.t);
        EXPECT_EQ(ds.fieldByName("DT")->value().type(), e.dtType); // Unassigned is kept as null
        EXPECT_EQ(ds.fieldByName("DT")->asDateTime(), e.dt);
        EXPECT_EQ(ds.fieldByName("N")->asInteger(), e.n);
        ds.next();
    }
    ds.last();
    EXPECT_EQ(ds.fieldByName("ID")->asInteger(), 50); // autoinc numbered in load order
    EXPECT_EQ(ds.fieldByName("N")->value().type(), Variant::Type::Integer);
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
    const auto add = [&](int i) {
        ds.appendRecord({Variant(), QStringLiteral("name %1").arg(i), QByteArray(i, char(i))});
    };
    for (int i = 1; i <= 40; ++i)
        add(i);
    // Delete every other record, then add new ones into the room they left.
    for (ds.first(); !ds.eof();)
        ds.fieldByName("ID")->asInteger() % 2 == 0 ? ds.deleteRecord() : ds.next();
    for (int i = 41; i <= 60; ++i)
        add(i);
    // A refused post (the unique index) changes nothing; an edit replaces the values it edits.
    ds.append();
    ds.fieldByName("NAME")->setAsString("name 41");
    EXPECT_THROW(ds.post(), EDBClient);
    ds.cancel();
    ASSERT_TRUE(ds.locate("NAME", "name 3"));
    ds.edit();
    ds.fieldByName("NAME")->setAsString("renamed 3");
    ds.post();

    ds.setIndexName("byName");
    EXPECT_EQ(ds.recordCount(), 40);
    for (ds.first(); !ds.eof(); ds.next()) {
        const qint64 id = ds.fieldByName("ID")->asInteger();
        EXPECT_EQ(ds.fieldByName("NAME")->asString(),
                  id == 3 ? QStringLiteral("renamed 3") : QStringLiteral("name %1").arg(id));
        EXPECT_EQ(ds.fieldByName("DATA")->asBytes(), QByteArray(int(id), char(id)));
        EXPECT_TRUE(id % 2 == 1 || id > 40) << id;
    }

    const Bookmark b = ds.bookmark();
    ds.emptyDataSet();
    EXPECT_FALSE(ds.bookmarkValid(b));
    ds.appendRecord({Variant(), "again", QByteArray("z")});
    EXPECT_EQ(ds.recordCount(), 1);
    EXPECT_EQ(ds.fieldByName("ID")->asInteger(), 61); // numbering goes on
    EXPECT_EQ(ds.fieldByName("DATA")->asBytes(), QByteArray("z"));

    // Once the highest number is taken there is none left to give: the record is refused.
    ds.appendRecord({std::numeric_limits<qint64>::max(), "last", QByteArray()});
    EXPECT_THROW(ds.appendRecord({Variant(), "one more", QByteArray()}), EDBClient);
    EXPECT_EQ(ds.recordCount(), 2);
}

TEST(MemDataSet, SaveAndLoadEveryFieldType)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("all.dat");

    MemDataSet ds;
    using T = FieldType;
    for (const auto& [name, type] : {std::pair{"I", T::Integer},
                                     {"A", T::AutoInc},
                                     {"S", T::String},
                                     {"M", T::Memo},
                                     {"B", T::Boolean},
                                     {"F", T::Float},
                                     {"C", T::Currency},
                                     {"D", T::Date},
                                     {"T", T::Time},
                                     {"DT", T::DateTime},
                                     {"BL", T::Blob},
                                     {"G", T::Graphic}})
        ds.fieldDefs().add(
            FieldDef{name, type, type == T::String ? 10 : 0, type == T::String, type == T::String});
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

    const QByteArray bytes = readFileBytes(path);
    ASSERT_GT(bytes.size(), 14);
    EXPECT_EQ(bytes.left(8), QByteArray("QVMDS1\r\n"));
    EXPECT_EQ(bytes.mid(8, 6), QByteArray("\x01\x00\x0c\x00\x00\x00", 6)); // version 1, 12 fields

    MemDataSet back;
    back.loadFromFile(path);
    EXPECT_TRUE(back.fieldDefs() == ds.fieldDefs());
    ASSERT_EQ(back.indexDefs().count(), 2);
    EXPECT_EQ(back.indexDefs().at(1).name, "byI");
    EXPECT_EQ(back.indexDefs().at(1).options, IndexDef::Unique | IndexDef::Descending);
    ASSERT_EQ(back.recordCount(), 3);
    for (ds.first(), back.first(); !ds.eof(); ds.next(), back.next()) {
        for (int i = 0; i < ds.fieldCount(); ++i)
            EXPECT_TRUE(ds.field(i)->value() == back.field(i)->value())
                << qPrintable(ds.field(i)->fieldName()) << " of record " << ds.recNo();
    }
    back.setIndexName("byI");
    EXPECT_EQ(column(back, "I"), QStringList({"9", "7", "-5"}));
    EXPECT_THROW(back.appendRecord({9, Variant::null(), "z"}),
                 EDBClient); // the unique index came back too
    back.appendRecord({10, Variant::null(), "y"});
    EXPECT_EQ(back.fieldByName("A")->asInteger(), 4); // autoinc goes on after the loaded values
}

// The checksum is worked out sixteen bytes at a time where the processor allows, the bytes
// left over one by one: files of every length around those steps carry zlib's CRC-32.
TEST(MemDataSet, FilesOfEveryLengthCarryTheCommonChecksum)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sized.dat");
    QList<QByteArray> bodies, stored;
    for (const int length :
         {0,  1,  2,  3,  5,  8,  13,  15,  16,  17,  31,  32,  33,   47,   48,   49,
          63, 64, 65, 79, 80, 81, 127, 128, 129, 255, 256, 257, 1000, 4099, 70001}) {
        MemDataSet ds;
        ds.fieldDefs().add("M", FieldType::Memo);
        ds.createDataSet();
        QByteArray text(length, 'a');
        for (int i = 0; i < length; ++i)
            text[i] = char('a' + (i * 7 + length) % 26);
        ds.appendRecord({QString::fromLatin1(text)});
        ds.saveToFile(path);
        const QByteArray bytes = readFileBytes(path);
        ASSERT_GT(bytes.size(), 4);
        bodies.append(bytes.chopped(4));
        stored.append(bytes.right(4));
        MemDataSet back;
        back.loadFromFile(path); // and the loader agrees
        EXPECT_EQ(back.fieldByName("M")->asString().size(), length);
    }
    const QList<quint32> crcs = zlibCrc32s(bodies);
    ASSERT_EQ(crcs.size(), bodies.size());
    for (qsizetype i = 0; i < crcs.size(); ++i) {
        QByteArray le(4, 0);
        qToLittleEndian(crcs[i], le.data());
        EXPECT_EQ(stored[i], le) << "a file of " << bodies[i].size() + 4 << " bytes";
    }
}

TEST(MemDataSet, DamagedFilesAndFailedSavesChangeNothing)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.dat");
    auto source = makeItems({{1, "A", 1}, {2, "B", 2}, {3, "C", 3}});
    source->saveToFile(good);
    const QByteArray bytes = readFileBytes(good);

    auto target = makeNames({"x", "y"});
    target->next();
    const auto unchanged = [&] {
        EXPECT_TRUE(target->isActive());
        EXPECT_EQ(target->fieldNames(), QStringList({"ID", "NAME"}));
        EXPECT_EQ(target->recordCount(), 2);
        EXPECT_EQ(target->fieldByName("NAME")->asString(), "y");
    };
    const auto rejected = [&](const QByteArray& content, const char* reason) {
        writeFileBytes(dir.filePath("bad.dat"), content);
        const QString message =
            messageOf<EDBClient>([&] { target->loadFromFile(dir.filePath("bad.dat")); });
        EXPECT_TRUE(message.contains(reason)) << qPrintable(message);
        unchanged();
    };

    QByteArray flipped = bytes;
    flipped[bytes.size() / 2] = char(flipped[bytes.size() / 2] ^ 0x20);
    rejected(flipped, "checksum");
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
    QByteArray noField = readFileBytes(good).chopped(4);
    const QByteArray idList("\x02\0\0\0ID", 6); // the index's field list comes after the field's
    noField.replace(noField.lastIndexOf(idList), idList.size(), QByteArray("\x02\0\0\0; ", 6));
    rejected(sealed(noField), "names no field");
    source->saveToFile(good);

    EXPECT_TRUE(messageOf<EDBClient>([&] {
                    target->loadFromFile(dir.filePath("missing.dat"));
                }).contains("missing.dat"));
    unchanged();

    target->loadFromFile(good);
    EXPECT_EQ(target->fieldNames(), QStringList({"ID", "NAME", "QTY"}));
    EXPECT_EQ(target->recordCount(), 3);

    // A save that fails keeps the old file.
    EXPECT_THROW(source->saveToFile(dir.filePath("no/such/folder/x.dat")), EInOutError);
    source->appendRecord({4, "D", 4});
    fileops::failNth(fileops::Op::Write, 1);
    EXPECT_THROW(source->saveToFile(good), EInOutError);
    fileops::resetFaults();
    EXPECT_EQ(readFileBytes(good), bytes);
}

// The folded comparison reads the texts unit by unit; it orders them as their folded keys do,
// also through marks, letters outside the code pages, ligatures that fold to two letters and
// characters beyond the basic plane, which make it fold the whole text.
TEST(Collation, FoldedComparisonAgreesWithTheFoldedKeys)
{
    const QStringList pieces = {
        "a", "A", "é", "E\u0301", "\u0301",         "İ", "ß", "ﬁ", "Œ", "ж", "Ё", "가",
        "😀", "z", " ", "9",       QString(QChar(0))};
    std::mt19937 rng(99);
    for (const codepage::CodePage cp : {codepage::Cp1252, codepage::Cp1251}) {
        CodePageScope scope(cp);
        for (int i = 0; i < 3000; ++i) {
            QString a, b;
            for (int k = int(rng() % 4); k > 0; --k)
                a += pieces.at(int(rng() % pieces.size()));
            for (int k = int(rng() % 4); k > 0; --k)
                b += pieces.at(int(rng() % pieces.size()));
            const int want =
                collation::compareFoldedKeys(collation::foldedKey(a), collation::foldedKey(b));
            ASSERT_EQ(collation::compareFolded(a, b), want)
                << a.toStdString() << " / " << b.toStdString() << " (code page " << cp << ")";
        }
    }
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
        for (int i = 0; i < texts.size(); ++i)
            bulk ? void(ds.bulkAppend({i, texts.at(i)})) : ds.appendRecord({i, texts.at(i)});
        if (bulk)
            ds.endBulkAppend();

        for (const auto& [index, folded, descending] :
             {std::tuple{"cs", false, false}, {"ci", true, false}, {"ciDesc", true, true}}) {
            ds.setIndexName(index);
            const QStringList got = column(ds, "T");
            ASSERT_EQ(got.size(), texts.size());
            for (int i = 1; i < got.size(); ++i) {
                const int c = folded ? collation::compareCaseInsensitive(got.at(i - 1), got.at(i))
                                     : collation::compareExact(got.at(i - 1), got.at(i));
                ASSERT_TRUE(descending ? c >= 0 : c <= 0)
                    << index << " (code page " << cp << ", bulk " << bulk << ") at " << i << ": "
                    << got.at(i - 1).toStdString() << " / " << got.at(i).toStdString();
            }
        }
        for (int i = 0; i < texts.size(); i += 7) {
            ds.setIndexName("ci");
            ASSERT_TRUE(ds.findKey({texts.at(i).toUpper()})) << texts.at(i).toStdString();
            EXPECT_EQ(collation::compareFolded(ds.fieldByName("T")->asString(), texts.at(i)), 0);
            ds.setIndexName("cs");
            ASSERT_TRUE(ds.findKey({texts.at(i)})) << texts.at(i).toStdString();
            EXPECT_EQ(collation::compareExact(ds.fieldByName("T")->asString(), texts.at(i)), 0);
        }
    }
}
