// The request files of the application-server exchange, byte by byte: a select and a batch
// statement written out by hand, what the test peer reads of them, what the reader refuses, and
// the switchable cached query and the large-parameter query they are built on.
#include "kernel_helpers.h"

#include <kernel/bigquery.h>
#include <kernel/compstream.h>
#include <kernel/lookuplist.h>

#include <support/workspace.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace krntest;

namespace {

// Bytes of a literal, embedded zeros included.
template <size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

// select * from T / where A=:A, with A = 7, on the database "Main".
const QByteArray SelectStream = bytes("TPF0"
                                      "\x06"
                                      "TQuery"
                                      "\x00"
                                      "\x0c"
                                      "DatabaseName"
                                      "\x06\x04"
                                      "Main"
                                      "\x0b"
                                      "SQL.Strings"
                                      "\x01"
                                      "\x06\x0f"
                                      "select * from T"
                                      "\x06\x0a"
                                      "where A=:A"
                                      "\x00"
                                      "\x06"
                                      "Params"
                                      "\x0e"
                                      "\x01"
                                      "\x08"
                                      "DataType"
                                      "\x07\x09"
                                      "ftInteger"
                                      "\x04"
                                      "Name"
                                      "\x06\x01"
                                      "A"
                                      "\x09"
                                      "ParamType"
                                      "\x07\x07"
                                      "ptInput"
                                      "\x05"
                                      "Value"
                                      "\x04\x07\x00\x00\x00"
                                      "\x00"
                                      "\x00"
                                      "\x00\x00");
// 145 bytes of stream.
const QByteArray SelectResource = bytes("\xff\x0a\x00"
                                        "TQUERY"
                                        "\x00\x30\x10\x91\x00\x00\x00") +
                                  SelectStream;

// BigData of S = "AB", I = 5, D a null date, U never given a value nor a type.
const QByteArray BigData = bytes("\x04\x00"
                                 "\x01\x00"
                                 "S"
                                 "\x01\x01\x03\x00\x00\x00"
                                 "AB"
                                 "\x00\x00\x01"
                                 "\x01\x00"
                                 "I"
                                 "\x01\x03\x04\x00\x00\x00\x05\x00\x00\x00\x00\x01"
                                 "\x01\x00"
                                 "D"
                                 "\x01\x09\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x01"
                                 "\x01\x00"
                                 "U"
                                 "\x01\x00\x01\x00");
// insert into T values(:S,:I,:D,:U), component Q1 on "Main": 167 bytes of stream, 57 of BigData.
const QByteArray StatementResource = bytes("\xff\x0a\x00"
                                           "TBIGQUERY"
                                           "\x00\x30\x10\xa7\x00\x00\x00"
                                           "TPF0"
                                           "\x09"
                                           "TBigQuery"
                                           "\x02"
                                           "Q1"
                                           "\x0c"
                                           "DatabaseName"
                                           "\x06\x04"
                                           "Main"
                                           "\x0b"
                                           "SQL.Strings"
                                           "\x01"
                                           "\x06\x21"
                                           "insert into T values(:S,:I,:D,:U)"
                                           "\x00"
                                           "\x11"
                                           "BigParams.BigData"
                                           "\x0a\x39\x00\x00\x00") +
                                     BigData + bytes("\x00\x00");

void fillStatement(TBigQuery& q)
{
    q.setObjectName("Q1");
    q.SetDatabaseName("Main");
    q.setSql("insert into T values(:S,:I,:D,:U)");
    q.paramByName("S").setAsString("AB");
    q.paramByName("I").setAsInteger(5);
    q.paramByName("D").setDataType(FieldType::Date);
    q.paramByName("D").clear();
}

// What the test peer reads of a request file.
QJsonObject peerReads(const QByteArray& request)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("q1.bin");
    writeFileBytes(file, request);
    QProcess peer;
    peer.start(
        "/usr/bin/python3",
        {QStringLiteral(QUORVANE_TEST_DATA "/../kernel/appserver_peer.py"), "--parse", file});
    EXPECT_TRUE(peer.waitForFinished(30000));
    return QJsonDocument::fromJson(peer.readAllStandardOutput()).object();
}

} // namespace

TEST(RequestFiles, ASelectAndABatchStatementByteForByte)
{
    Database db;
    db.setDatabaseName("Main");
    SqlQuery select;
    select.setDatabase(&db);
    select.setSql("select * from T\nwhere A=:A");
    select.paramByName("A").setAsInteger(7);
    EXPECT_EQ(SelectRequest(select).toHex(' '), SelectResource.toHex(' '));

    TBigQuery statement;
    fillStatement(statement);
    TComponentWriter writer;
    statement.WriteState(writer);
    EXPECT_EQ(writer.Bytes().toHex(' '), StatementResource.toHex(' '));
    // The parameters are the query's again once written.
    EXPECT_EQ(statement.params().names(), QStringList({"S", "I", "D", "U"}));
    EXPECT_EQ(statement.paramByName("S").asString(), "AB");
    EXPECT_TRUE(statement.BigParams().List().isEmpty());

    const QJsonObject q = peerReads(SelectResource)["components"][0].toObject();
    EXPECT_EQ(q["resource"], "TQUERY");
    EXPECT_EQ(q["flags"], 0x1030);
    EXPECT_EQ(q["class"], "TQuery");
    EXPECT_EQ(q["database"], "Main");
    EXPECT_EQ(q["sql"], QJsonArray({"select * from T", "where A=:A"}));
    EXPECT_EQ(
        q["params"],
        QJsonArray({QJsonObject{
            {"name", "A"}, {"datatype", "ftInteger"}, {"paramtype", "ptInput"}, {"value", 7}}}));

    const QJsonObject b = peerReads(StatementResource)["components"][0].toObject();
    EXPECT_EQ(b["resource"], "TBIGQUERY");
    EXPECT_EQ(b["class"], "TBigQuery");
    EXPECT_EQ(b["name"], "Q1");
    EXPECT_EQ(b["sql"], QJsonArray({"insert into T values(:S,:I,:D,:U)"}));
    const QJsonArray expected = {QJsonObject{{"name", "S"},
                                             {"paramtype", 1},
                                             {"datatype", 1},
                                             {"size", 3},
                                             {"value", "AB"},
                                             {"null", false},
                                             {"bound", true}},
                                 QJsonObject{{"name", "I"},
                                             {"paramtype", 1},
                                             {"datatype", 3},
                                             {"size", 4},
                                             {"value", 5},
                                             {"null", false},
                                             {"bound", true}},
                                 QJsonObject{{"name", "D"},
                                             {"paramtype", 1},
                                             {"datatype", 9},
                                             {"size", 8},
                                             {"value", QJsonValue::Null},
                                             {"null", true},
                                             {"bound", true}},
                                 QJsonObject{{"name", "U"},
                                             {"paramtype", 1},
                                             {"datatype", 0},
                                             {"value", QJsonValue::Null},
                                             {"null", true},
                                             {"bound", false}}};
    EXPECT_EQ(b["bigdata"], expected);
}

// A statement with every kind of value, a 100 000-byte blob among them, comes back into the
// parameters of the query that reads it.
TEST(RequestFiles, AStatementReadBackRestoresItsParameters)
{
    QByteArray blob(100000, Qt::Uninitialized);
    for (int i = 0; i < blob.size(); ++i)
        blob[i] = char((i * 7) % 251);
    TBigQuery out;
    out.setSql("update T set A=:A, B=:B, C=:C, D=:D, E=:E, F=:F, G=:G, H=:H\nwhere K=:K");
    out.paramByName("A").setAsBlob(blob);
    out.paramByName("B").setAsString(QString(300, u'é'));
    out.paramByName("C").setAsBoolean(true);
    out.paramByName("D").setAsFloat(-2.5);
    out.paramByName("E").setAsCurrency(Currency::fromDouble(12.3456));
    out.paramByName("F").setAsDateTime(45000.75);
    out.paramByName("G").setDataType(FieldType::Memo);
    out.paramByName("G").clear();
    out.paramByName("K").setAsInteger(-2147483648LL);
    TComponentWriter writer;
    out.WriteState(writer);
    out.WriteState(writer);

    TComponentReader reader(writer.Bytes());
    for (int round = 0; round < 2; ++round) {
        TBigQuery in;
        in.ReadState(reader);
        EXPECT_EQ(in.sql(), out.sql());
        const Params& p = in.params();
        EXPECT_EQ(p.names(), QStringList({"A", "B", "C", "D", "E", "F", "G", "H", "K"}));
        EXPECT_EQ(p.paramByName("A").asBytes(), blob);
        EXPECT_EQ(p.paramByName("A").dataType(), FieldType::Blob);
        EXPECT_EQ(p.paramByName("B").asString(), QString(300, u'é'));
        EXPECT_TRUE(p.paramByName("C").asBoolean());
        EXPECT_EQ(p.paramByName("D").asFloat(), -2.5);
        EXPECT_EQ(p.paramByName("E").asCurrency(), Currency::fromDouble(12.3456));
        EXPECT_EQ(p.paramByName("F").dataType(), FieldType::DateTime);
        EXPECT_EQ(p.paramByName("F").asDateTime(), 45000.75);
        EXPECT_TRUE(p.paramByName("G").value().isNull());
        EXPECT_EQ(p.paramByName("G").dataType(), FieldType::Memo);
        EXPECT_TRUE(p.paramByName("H").value().isUnassigned());
        EXPECT_EQ(p.paramByName("K").asInteger(), -2147483648LL);
        EXPECT_TRUE(in.BigParams().List().isEmpty());
    }
    EXPECT_TRUE(reader.AtEnd());

    // What the code page cannot hold, and what four bytes cannot, is refused.
    out.paramByName("B").setAsString("Ωmega");
    EXPECT_EQ(kernelErrorOf([&] { out.WriteState(writer); }),
              "Cannot send the request to the application server: the value of parameter B "
              "\"Ωmega\" holds characters that code page 1252 cannot hold.");
    out.paramByName("B").setAsString("b");
    out.paramByName("K").setAsInteger(1LL << 32);
    EXPECT_EQ(kernelErrorOf([&] { out.WriteState(writer); }),
              "Cannot send the request to the application server: the value 4294967296 of "
              "parameter K does not fit in 32 bits.");
    EXPECT_EQ(out.paramByName("K").asInteger(), 1LL << 32) << "the parameters stay the query's";
}

TEST(RequestFiles, EveryTruncationOfAGoodRequestIsRefused)
{
    for (const QByteArray& good : {SelectResource, StatementResource}) {
        ASSERT_EQ(TComponentReader::ReadAll(good).size(), 1);
        for (qsizetype size = 0; size < good.size(); ++size) {
            SCOPED_TRACE(size);
            EXPECT_TRUE(kernelErrorOf([&] {
                            TComponentReader::ReadAll(good.left(size));
                        }).startsWith("The application server request is "));
        }
    }
}

// Counts, lengths and sizes that run past their block, and what else the reader checks; nothing
// of a damaged statement reaches the query's parameters.
TEST(RequestFiles, DamagedBlocksAreRefusedWithWhereTheyBreak)
{
    const qsizetype bigData = StatementResource.indexOf(BigData);
    auto patched = [&](qsizetype at, const QByteArray& with) {
        QByteArray b = StatementResource;
        b.replace(at, with.size(), with);
        return b;
    };
    const struct
    {
        QByteArray request;
        const char* message;
    } cases[] = {
        {patched(bigData, bytes("\x05\x00")),
         "a parameter name runs past the end of its block (byte 184)"},
        {patched(bigData + 7, bytes("\xff\xff\xff\x7f")),
         "a value runs past the end of its block (byte 138)"},
        {patched(bigData + 7, bytes("\xff\xff\xff\xff")), "negative value size -1 (byte 134)"},
        {patched(bigData + 2, bytes("\xff\xff")),
         "a parameter name runs past the end of its block (byte 131)"},
        {patched(bigData + 21, bytes("\x03")),
         "a value of 3 bytes for data type ftInteger (byte 148)"},
        {patched(bigData + 6, bytes("\x02")), "unknown data type 2 (byte 133)"},
        {patched(15, bytes("\xa8")), "the component data runs past the end of its block (byte 19)"},
        {patched(4, bytes("X")),
         "resource TXIGQUERY holds a component of class TBigQuery (byte 3)"},
        {patched(bigData - 5, bytes("\x0b")), "BigParams.BigData is not binary (byte 122)"},
        {StatementResource + bytes("\x00"), "not a component resource (byte 186)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TBigQuery q;
        fillStatement(q);
        TComponentReader reader(c.request);
        EXPECT_EQ(kernelErrorOf([&] {
                      reader.ReadComponent();
                      if (!reader.AtEnd())
                          reader.ReadComponent();
                  }),
                  QStringLiteral("The application server request is damaged: %1.")
                      .arg(QLatin1String(c.message)));
        TComponentReader again(c.request);
        EXPECT_THROW(
            {
                q.ReadState(again);
                q.ReadState(again);
            },
            EDBKernelError);
        EXPECT_EQ(q.paramByName("S").asString(), "AB");
    }
}

// Cached mode on a query of three rows.
TEST(QueryFake, SetCachedFetchesEveryRowWithTheScrollHandlersSilent)
{
    KernelDb kernel;
    kernel.exec("create table T (A integer); insert into T values (1), (2), (3);");
    Database db;
    db.setAliasName("KRN");
    TQueryFake q;
    q.setDatabase(&db);
    q.setSql("select A from T order by A");
    QStringList log;
    q.beforeOpen = [&](DataSet&) { log.append("BeforeOpen"); };
    q.afterOpen = [&](DataSet&) { log.append("AfterOpen"); };
    q.beforeScroll = [&](DataSet&) { log.append("BeforeScroll"); };
    q.afterScroll = [&](DataSet& d) {
        log.append("AfterScroll " + d.fieldByName("A")->asString());
    };

    q.CacheOn();
    EXPECT_TRUE(q.GetCached());
    EXPECT_EQ(log, QStringList({"BeforeOpen", "AfterOpen", "AfterScroll 1"}));
    EXPECT_EQ(q.fieldByName("A")->asInteger(), 1);
    // Every row is in memory: the table can change under the query.
    kernel.exec("delete from T;");
    q.next();
    EXPECT_EQ(log.mid(3), QStringList({"BeforeScroll", "AfterScroll 2"}));
    q.next();
    EXPECT_EQ(q.fieldByName("A")->asInteger(), 3);

    // On an open query it does nothing.
    log.clear();
    q.SetCached(true);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(q.fieldByName("A")->asInteger(), 3);
    q.SetCached(false);
    EXPECT_FALSE(q.isActive());
}

TEST(QueryFake, SwitchingWhileReadFromAStreamRaises)
{
    TBigQuery source;
    fillStatement(source);
    TComponentWriter writer;
    source.WriteState(writer);

    TBigQuery q;
    KernelDb kernel;
    Database db;
    db.setAliasName("KRN");
    q.setDatabase(&db);
    q.setSql("select 1 as X");
    q.open();
    q.afterClose = [&](DataSet&) { q.SetCached(true); };
    TComponentReader reader(writer.Bytes());
    EXPECT_EQ(kernelErrorOf([&] { q.ReadState(reader); }), "Error in TFakeQuery!");
    EXPECT_FALSE(q.IsReading());
    q.afterClose = nullptr;
    q.setSql("select 2 as X");
    q.CacheOn();
    EXPECT_EQ(q.fieldByName("X")->asInteger(), 2);
}

TEST(LookupList, EmptiedSafelyAndTheGlyphIsAResource)
{
    auto* request = new TDBRequest;
    auto* cache = new TDBCache;
    cache->SetRequest(request);
    QPointer<TDBCache> watched(cache);
    LookupList().append({"A", cache, request});
    LookupList().append({"B", nullptr, new TDBRequest});
    FreeLookupList();
    EXPECT_TRUE(watched.isNull());
    EXPECT_TRUE(LookupList().isEmpty());
    FreeLookupList();
    EXPECT_EQ(LookGlyph().size(), QSize(16, 16));
}
