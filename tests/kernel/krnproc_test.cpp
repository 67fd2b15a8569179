// The kernel's support routines: permissions and grants, parameters, the dialect cast per server
// kind (the local kind run on SQLite), the record compare and copy family, and the reserved-word
// look-up of the three server kinds.
#include "kernel_helpers.h"

#include <kernel/cacheapi.h>
#include <kernel/reswords.h>
#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/params.h>

#include <support/qt_printers.h>

#include <gtest/gtest.h>

using krntest::kernelErrorOf;

namespace {

// A kernel cache as the copy routines see one: an in-memory dataset with a row identifier and a
// packet limit.
class FakeCache : public MemDataSet, public TKernelCache
{
public:
    int limit = -1;
    bool reached = false;
    QString RowIdFieldName() const override { return QStringLiteral("UPDATE_ID"); }
    int PacketLimit() const override { return limit; }
    void SetPacketLimitReached(bool r) override { reached = r; }
    void SetRequestSQL(const QString&) override {}
    void OpenCache() override {}
    void AddSelectField(const QString&) override {}
    const TTableProps* GetTableProps() const override { return nullptr; }
    void ReplaceTableProps(const TTableProps*, const TTableProps*) override {}
};

// ID, NAME, FLAG and UPDATE_ID: in a target FLAG is a Boolean and a calculated CALC follows; in a
// source FLAG is a text ("T"/"f") and EXTRA follows.
void define(MemDataSet& ds, bool target)
{
    ds.fieldDefs().add(QStringLiteral("ID"), FieldType::Integer);
    ds.fieldDefs().add(QStringLiteral("NAME"), FieldType::String, 20);
    ds.fieldDefs().add(QStringLiteral("FLAG"), target ? FieldType::Boolean : FieldType::String,
                       target ? 0 : 1);
    ds.fieldDefs().add(QStringLiteral("UPDATE_ID"), FieldType::Integer);
    if (target) {
        for (const FieldDef& d : ds.fieldDefs().list())
            ds.addField(d.name, d.type, d.size);
        ds.addField(QStringLiteral("CALC"), FieldType::String, 10, Field::Kind::Calculated);
        ds.onCalcFields = [](DataSet& d) { d.fieldByName("CALC")->setAsString("calc"); };
    } else {
        ds.fieldDefs().add(QStringLiteral("EXTRA"), FieldType::String, 5);
    }
    ds.createDataSet();
}

// A source of `count` rows (i, "Ni", "T" or "f", 100 + i, "x").
std::unique_ptr<MemDataSet> makeSource(int count)
{
    auto ds = std::make_unique<MemDataSet>();
    define(*ds, false);
    for (int i = 1; i <= count; ++i)
        ds->appendRecord({i, QStringLiteral("N%1").arg(i), i % 2 ? "T" : "f", 100 + i, "x"});
    ds->first();
    return ds;
}

QStringList rowsOf(DataSet& ds)
{
    QStringList out;
    for (ds.first(); !ds.eof(); ds.next()) {
        QStringList row;
        for (int i = 0; i < ds.fieldCount(); ++i)
            row.append(ds.field(i)->isNull() ? QStringLiteral("null") : ds.field(i)->asString());
        out.append(row.join(QLatin1Char('|')));
    }
    return out;
}

} // namespace

TEST(KernelSupport, PermissionKindsAndGrantStatementsPerServerKind)
{
    EXPECT_EQ(kernelErrorOf([] { PermissionKind(""); }), "Empty permission kind");
    EXPECT_EQ(kernelErrorOf([] { PermissionKind("xecute"); }), "xecute is invalid permission kind");

    // "%s %s on %s to %s" with the permission's own leading blank: two blanks after the verb.
    const QList<std::tuple<QList<int>, QString, int, QString>> cases = {
        {{0, 1, 3}, "S", 1, "GRANT  SELECT on PATIENTS to Role1"},
        {{0, 1, 3}, "i", 0, "REVOKE  INSERT on PATIENTS to Role1"},
        {{0, 1, 3}, "Delete", -1, "DENY  DELETE on PATIENTS to Role1"},
        {{2}, "U", 1, "GRANT  UPDATE on PATIENTS to \"Role1\""},
        {{2}, "U", 0, "REVOKE  UPDATE on PATIENTS from \"Role1\""},
        {{2}, "S", -1, "REVOKE  SELECT on PATIENTS from \"Role1\""},
    };
    for (const auto& [kinds, permission, grant, expected] : cases) {
        for (int kind : kinds)
            EXPECT_EQ(BuildGrantSQL("PATIENTS", "Role1", permission, ServerKind::Kind(kind), grant),
                      expected)
                << kind;
    }
}

TEST(KernelSupport, ParametersFromValuesAndFields)
{
    Params params;
    Param& p = params.add("P");
    VarRecToParam(p, Variant("Dupont"));
    EXPECT_EQ(p.dataType(), FieldType::String);
    EXPECT_EQ(p.asString(), "Dupont");
    for (const Variant& bad :
         {Variant::null(), Variant::fromDateTime(45000), Variant(QByteArray("b"))})
        EXPECT_EQ(kernelErrorOf([&] { VarRecToParam(p, bad); }), "Invalid variant type.");

    MemDataSet ds;
    ds.fieldDefs().add("ID", FieldType::Integer);
    ds.fieldDefs().add("NAME", FieldType::String, 10);
    ds.fieldDefs().add("ACTIVE", FieldType::Boolean);
    ds.createDataSet();
    ds.appendRecord({7, "", true});
    Params q;
    q.add("id");
    q.add("NAME").setAsString("stale");
    q.add("ACTIVE");
    q.add("OTHER").setAsInteger(3);
    AssignParamsFromDataSet(q, ds);
    EXPECT_EQ(q[0].asInteger(), 7);
    // An empty text leaves the parameter null, typed as its field.
    EXPECT_TRUE(q[1].isNull());
    EXPECT_EQ(q[1].dataType(), FieldType::String);
    EXPECT_EQ(q[3].asInteger(), 3); // no such field: untouched

    // Booleans for databases that keep them as characters.
    q[3].setAsBoolean(false);
    ConvertBooleanParams(q);
    EXPECT_EQ(q[2].asString(), "T");
    EXPECT_EQ(q[3].asString(), "F");
    EXPECT_EQ(q[0].dataType(), FieldType::Integer);
}

TEST(KernelCast, GoldenTextsPerServerKind)
{
    using F = FieldType;
    const QList<std::tuple<int, bool, QString, F, int, QString>> cases = {
        // MS SQL Server: convert forms; an empty expression is a typed null.
        {1, false, "NAME", F::String, 20, "convert(varchar(20),NAME)"},
        {1, false, "", F::String, 20, "convert(varchar(20),null)"},
        {1, false, "X", F::Boolean, 0, "convert(bit,X)"},
        {1, true, "X", F::Boolean, 0, "convert(varchar(1),X)"},
        {1, false, "X", F::Currency, 0, "convert(money,X)"},
        {1, false, "X", F::DateTime, 0, "convert(datetime,X)"},
        {1, false, "X", F::Memo, 0, "convert(text,X)"},
        // Oracle: cast forms; time and date-time are Oracle's "date".
        {2, false, "NAME", F::String, 8, "cast(NAME as varchar(8))"},
        {2, false, "", F::String, 8, "cast('' as varchar(8))"},
        {2, false, "X", F::Boolean, 0, "cast(X as varchar(1))"},
        {2, false, "X", F::Currency, 0, "cast(X as Numeric(20,6))"},
        {2, false, "X", F::Date, 0, "cast(X as date)"},
        {2, false, "X", F::Time, 0, "cast(X as date)"},
        {2, false, "", F::DateTime, 0, "cast('' as date)"},
        // Any other kind: the local kind's texts, without Boolean and memo types.
        {0, false, "X", F::Boolean, 0, "cast(X as )"},
        {0, false, "", F::Memo, 0, "cast('' as )"},
    };
    for (const auto& [kind, charBoolean, expression, type, size, expected] : cases)
        EXPECT_EQ(CastExpression(ServerKind::Kind(kind), charBoolean, expression, type, size),
                  expected)
            << kind;

    EXPECT_EQ(kernelErrorOf(
                  [] { CastExpression(ServerKind::Oracle, false, "NOTE", FieldType::Memo, 0); }),
              "Attempt cast expression NOTE as memo. Capability not supported by ORACLE");
    for (int kind : {0, 1, 2, 3}) {
        for (FieldType t : {FieldType::AutoInc, FieldType::Blob, FieldType::Graphic})
            EXPECT_EQ(
                kernelErrorOf([&] { CastExpression(ServerKind::Kind(kind), false, "X", t, 0); }),
                "Attempt convert expression to unsupported data type");
    }
}

TEST(KernelCast, LocalKindCastsGiveTheIntendedValuesOnSQLite)
{
    // Type, size and expression, then the value ("NULL" for a null) and SQLite's typeof().
    const QList<std::tuple<FieldType, int, QString, QString, QString>> cases = {
        {FieldType::String, 10, "", "NULL", "null"},
        {FieldType::Integer, 0, "'42'", "42", "integer"},
        {FieldType::Float, 0, "'2.5'", "2.5", "real"},
        {FieldType::Boolean, 0, "1", "1", "integer"},
        {FieldType::Memo, 0, "'long text'", "long text", "text"},
        // Dates keep the stored ISO text; a date-time cast to a date keeps its day.
        {FieldType::Date, 0, "'2024-01-05'", "2024-01-05", "text"},
        {FieldType::Date, 0, "'2024-01-05 10:30:00'", "2024-01-05", "text"},
        {FieldType::Date, 0, "", "NULL", "null"},
        {FieldType::Time, 0, "'10:30:15'", "10:30:15", "text"},
        {FieldType::DateTime, 0, "'2024-01-05'", "2024-01-05 00:00:00", "text"},
        {FieldType::DateTime, 0, "'2024-01-05 10:30:00'", "2024-01-05 10:30:00", "text"},
    };
    const krntest::KernelDb db;
    for (const auto& [type, size, expression, value, storage] : cases) {
        const QString expr = CastExpression(ServerKind::Standard, false, expression, type, size);
        EXPECT_EQ(db.rows("select " + expr + ", typeof(" + expr + ")"),
                  QStringList(value + "|" + storage))
            << expr.toStdString();
    }
}

TEST(KernelRecords, CopyRecordPairsDataFieldsByNameAndSkipsTheRowIdentifier)
{
    auto source = makeSource(2);
    FakeCache cache;
    define(cache, true);
    MemDataSet plain;
    define(plain, true);

    for (MemDataSet* target : {static_cast<MemDataSet*>(&cache), &plain}) {
        target->append();
        target->fieldByName("UPDATE_ID")->setAsInteger(-5);
        CopyRecord(*source, *target);
        target->post();
    }
    // "T" reads as true for a Boolean field; EXTRA has no partner; CALC is calculated.
    EXPECT_EQ(rowsOf(cache), QStringList({"1|N1|True|-5|calc"}));
    EXPECT_EQ(rowsOf(plain), QStringList({"1|N1|True|101|calc"}));

    // Only the listed names; the others stay.
    source->next();
    plain.first();
    plain.edit();
    CopyFieldsByList(*source, plain, {"flag", "NAME"});
    plain.post();
    EXPECT_EQ(rowsOf(plain), QStringList({"1|N2|False|101|calc"}));

    // Nothing is copied unless both are open.
    MemDataSet closed;
    closed.fieldDefs().add("NAME", FieldType::String, 20);
    plain.first();
    plain.edit();
    CopyRecord(closed, plain);
    AppendRecordCopy(closed, plain);
    plain.cancel();
    EXPECT_EQ(rowsOf(plain), QStringList({"1|N2|False|101|calc"}));

    source->last();
    AppendRecordCopy(*source, cache);
    EXPECT_EQ(rowsOf(cache), QStringList({"1|N1|True|-5|calc", "2|N2|False|null|calc"}));
}

TEST(KernelRecords, CopyAllRecordsStopsAtTheCachePacketLimit)
{
    // Source rows, the cache's limit, the rows copied and whether the limit was reached.
    for (const auto& [rows, limit, copied, limited] : QList<std::tuple<int, int, int, bool>>{
             {60, 50, 50, true}, {50, 50, 50, true}, {49, 50, 49, false}, {7, -1, 7, false}}) {
        auto source = makeSource(rows);
        source->last(); // the copy starts from the first record whatever the position
        FakeCache cache;
        define(cache, true);
        cache.limit = limit;
        CopyAllRecords(*source, cache);
        EXPECT_EQ(cache.recordCount(), copied) << rows << "/" << limit;
        EXPECT_EQ(cache.reached, limited) << rows << "/" << limit;
        EXPECT_FALSE(cache.controlsDisabled());
        EXPECT_FALSE(source->controlsDisabled());
    }
    // A plain dataset has no limit.
    auto source = makeSource(70);
    MemDataSet plain;
    define(plain, true);
    CopyAllRecords(*source, plain);
    EXPECT_EQ(plain.recordCount(), 70);
}

TEST(KernelRecords, CopyDataSetSkipsKeysAlreadyHeldAndEndsOnFirstRecords)
{
    auto source = makeSource(4);
    MemDataSet target;
    define(target, true);
    target.appendRecord({3, "held", false, 0});
    source->last();
    CopyDataSet(*source, target, "ID", false);
    EXPECT_EQ(rowsOf(target), QStringList({"3|held|False|0|calc", "1|N1|True|101|calc",
                                           "2|N2|False|102|calc", "4|N4|False|104|calc"}));
    target.last();
    CopyDataSet(*source, target, "ID", false);
    EXPECT_EQ(target.recordCount(), 4);
    EXPECT_EQ(target.recNo(), 1);
    EXPECT_EQ(source->recNo(), 1);

    // The current record only, whatever the key.
    source->setRecNo(3);
    CopyDataSet(*source, target, "ID", true);
    target.last();
    EXPECT_EQ(target.fieldByName("NAME")->asString(), "N3");
    EXPECT_EQ(target.recordCount(), 5);

    // Into a cache: its limit counts the records copied, not those skipped.
    FakeCache cache;
    define(cache, true);
    cache.appendRecord({1, "held", false});
    cache.limit = 2;
    CopyDataSet(*source, cache, "ID", false);
    EXPECT_EQ(rowsOf(cache), QStringList({"1|held|False|null|calc", "2|N2|False|null|calc",
                                          "3|N3|True|null|calc"}));
    EXPECT_TRUE(cache.reached);
}

// A local table's range goes into a cache as the table reads it when its cursor adds nothing:
// every column type arrives with the value and type the cursor gives (also stored forms another
// program may have written), by name whatever the cache's field order, within the packet or not,
// and the table stands on the range's first record either way.
struct RangeCopyCase
{
    int rows;
    int packet;
    int low, high;
};

class LocalTableRangeCopy : public ::testing::TestWithParam<RangeCopyCase>
{
};

TEST_P(LocalTableRangeCopy, GivesWhatTheCursorGives)
{
    const RangeCopyCase c = GetParam();
    krntest::KernelDb k;
    QString sql = "create table T (I INTEGER, S VARCHAR(20), F FLOAT, C CURRENCY, B BOOLEAN,"
                  " D DATE, H TIME, W DATETIME, M CLOB, X BLOB);";
    for (int i = 1; i <= c.rows; ++i) {
        if (i % 7 == 0)
            sql += QStringLiteral("insert into T (I) values (%1);").arg(i);
        else if (i % 5 == 0) // a date with a time, a time with a date, a date-time without
            sql += QStringLiteral("insert into T values (%1, 'ÉTÉ', 3, 1, 0, '2024-02-29 10:30:00',"
                                  " '1899-12-30 08:00:00', '2024-03-01', '', x'');")
                       .arg(i);
        else
            sql += QStringLiteral("insert into T values (%1, 'é%1', %1.5, 2.25, %2, '2024-02-29',"
                                  " '13:05:09', '1999-12-31 23:59:59', 'long %1', x'00ff');")
                       .arg(i)
                       .arg(i % 2);
    }
    k.exec(sql);
    Database db;
    db.setDriverName("STANDARD");
    db.params().setValue(DbParam::Path, k.folder());
    LocalTable table;
    table.setDatabase(&db);
    table.setTableName("T");
    table.open();
    table.setIndexFieldNames("I");
    // The cache: no Boolean (the copy converts those), the fields in another order.
    auto copy = [&](bool cursor) {
        auto cache = std::make_unique<FakeCache>();
        const FieldDefs& defs = table.fieldDefs();
        for (int i = defs.count() - 1; i >= 0; --i) {
            if (defs.at(i).type != FieldType::Boolean)
                cache->fieldDefs().add(defs.at(i).name, defs.at(i).type, defs.at(i).size);
        }
        cache->createDataSet();
        cache->limit = c.packet;
        cache->setPacketRecords(c.packet);
        // A filter that takes every record keeps the copy on the cursor.
        table.onFilterRecord = [](DataSet&, bool& accept) { accept = true; };
        table.setFiltered(cursor);
        table.last();
        CopyTableRange(table, *cache, {c.low}, {c.high});
        table.setFiltered(false);
        const bool any = c.rows >= c.low;
        EXPECT_EQ(table.eof(), !any);
        if (any) {
            EXPECT_EQ(table.fieldByName("I")->asInteger(), c.low);
        }
        return cache;
    };
    auto direct = copy(false);
    auto walked = copy(true);
    const int inRange = std::max(std::min(c.rows, c.high) - c.low + 1, 0);
    const int expected = c.packet < 0 ? inRange : std::min(inRange, c.packet);
    ASSERT_EQ(direct->recordCount(), expected);
    ASSERT_EQ(walked->recordCount(), expected);
    EXPECT_EQ(direct->reached, walked->reached);
    EXPECT_EQ(direct->recNo(), walked->recNo());
    for (direct->first(), walked->first(); !walked->eof(); direct->next(), walked->next()) {
        for (int f = 0; f < walked->fieldCount(); ++f) {
            const Variant a = direct->field(f)->value();
            const Variant b = walked->field(f)->value();
            EXPECT_EQ(a.type(), b.type()) << walked->field(f)->fieldName().toStdString();
            EXPECT_TRUE(a == b) << walked->field(f)->fieldName().toStdString() << " "
                                << b.toString().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    KernelRecords, LocalTableRangeCopy,
    ::testing::Values(RangeCopyCase{30, 10, 3, 25}, RangeCopyCase{30, 40, 3, 25},
                      RangeCopyCase{250, -1, 1, 250}, RangeCopyCase{250, 120, 2, 240},
                      RangeCopyCase{30, 0, 1, 30}, RangeCopyCase{0, 5, 1, 10}));

TEST(KernelRecords, ChangedFieldsAreNamedInFieldOrder)
{
    auto a = makeSource(3);
    auto b = makeSource(3);
    b->setRecNo(2);
    b->edit();
    b->fieldByName("NAME")->setAsString("N1");
    b->fieldByName("FLAG")->setAsString("T");
    b->post();
    b->setRecNo(2);
    MemDataSet narrow;
    narrow.fieldDefs().add("NAME", FieldType::String, 20);
    narrow.createDataSet();
    narrow.appendRecord({"N1"});

    QStringList names{"before"};
    GetChangedFields(*a, *b, names);
    EXPECT_EQ(names, QStringList({"before", "ID", "UPDATE_ID"}));
    names.clear();
    a->setRecNo(2);
    GetChangedFields(*a, *b, names);
    EXPECT_EQ(names, QStringList({"NAME", "FLAG"}));
    names.clear();
    GetChangedFields(*a, narrow, names); // fields narrow lacks are skipped
    EXPECT_EQ(names, QStringList({"NAME"}));
}

TEST(ReservedWords, LookUpPerServerKind)
{
    // Whole entries only, in any case; a non-ASCII letter never folds into a reserved word; other
    // kinds reserve nothing, whatever kind was asked before.
    struct Case
    {
        int kind;
        bool reserved;
        QStringList words;
    };
    const QList<Case> cases = {
        {1, true, {"select", "SELECT", "identity_insert", "current_timestamp"}},
        {1, false, {"rownum", "INT", " SELECT", "SELECT,", "SEL", ""}},
        {2, true, {"rownum", "RowId", "VARCHAR2"}},
        {2, false, {"SELECT", "INT"}},
        {3, true, {"INT", "Function"}},
        {3, false, {"SELECT", "ınt"}},
        {0, false, {"INT"}},
        {4, false, {"SELECT"}}};
    for (const Case& c : cases) {
        for (const QString& word : c.words)
            EXPECT_EQ(IsReservedWord(word, ServerKind::Kind(c.kind)), c.reserved)
                << word.toStdString() << c.kind;
    }
    EXPECT_EQ(ReservedWords(ServerKind::Standard), QStringList({"INT", "FUNCTION"}));
    EXPECT_TRUE(ReservedWords(ServerKind::Unknown).isEmpty());
}
