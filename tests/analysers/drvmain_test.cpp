// The driver framework: the description tables a driver builds when it is created, the default
// operations, the result holder, and the control-character, hexadecimal and byte-pattern helpers.
// A real driver takes the framework from the line to the result holder in the Miditron tests.
#include "driverharness.h"

#include <platform/codepage.h>

namespace {

// ---- drivers made for the tests

// A device described by class tables, in an order that differs from the codes' order.
const TFldInfo sampleFields[] = {
    {1, scSenderName, 0, u"Sender name"_s, 4, 0, QString()},
    {20, scSampleID, 1, u"Specimen ID"_s, 4, 13, QString()},
    {31, scResultValue, 3, QString(), 5, 0, QString()}, // no label, as some devices' fields
    {7, scNone, 0, u"Termination code"_s, 2, 1, u"N=normal\nE=error"_s},
    {40, scSampleID, 3, u"Patient ID"_s, 4, 10, QString()},
};
const TRecInfo sampleRecords[] = {{2, 1, 1}, {1, 1, 1}, {1, 2, 20}, {2, 2, 31}, {1, 3, 7}};
const TTestInfo sampleTests[] = {
    {10, u"tsh"_s, u"mIU/l"_s, u"Thyrotropin"_s},
    {460, u"HBEAG"_s, QString(), QString()},
    {460, u"A-HBCIGM"_s, QString(), u"Антитела к HBc IgM"_s},
    {0, u"Na+"_s, u"mmol/L"_s, u"Sodium Concentration"_s},
};

class TSampleDriver : public TComDriver
{
public:
    int GetFieldCount() const override { return int(std::size(sampleFields)); }
    void GetFieldInfo(int Index, TFldInfo& Info) const override { Info = sampleFields[Index]; }
    int GetRecordCount() const override { return int(std::size(sampleRecords)); }
    void GetRecordInfo(int Index, TRecInfo& Info) const override { Info = sampleRecords[Index]; }
    int GetTestCount() const override { return int(std::size(sampleTests)); }
    void GetTestInfo(int Index, TTestInfo& Info) const override { Info = sampleTests[Index]; }
};

// Adapts its Fields table after filling it, as drivers with device-specific fields do.
class TAdaptingDriver : public TSampleDriver
{
protected:
    void FillFields() override
    {
        TSampleDriver::FillFields();
        ASSERT_TRUE(Fields()->locate(u"CODE"_s, 20));
        Fields()->edit();
        Fields()->fieldByName(u"DEFLABEL"_s)->setAsString(u"Sample number"_s);
        Fields()->post();
    }
};

// A driver that describes nothing.
class TBareDriver : public TComDriver
{
};

// Counts tests but gives none.
class TTestsWithoutGetter : public TComDriver
{
public:
    int GetTestCount() const override { return 2; }
};

// Describes the code 5 twice.
class TDuplicateCodes : public TComDriver
{
public:
    int GetFieldCount() const override { return 2; }
    void GetFieldInfo(int Index, TFldInfo& Info) const override
    {
        Info = {5, 0, 0, Index == 0 ? u"A"_s : u"B"_s, 4, 0, QString()};
    }
};

} // namespace

TEST(DriverTables, CreationCopiesTheClassDescriptionsAndTheNamedIndexesFindThem)
{
    const auto driver = TDriver::New<TSampleDriver>();
    ASSERT_TRUE(driver->Fields() && driver->Records() && driver->Tests());
    MemDataSet& fields = *driver->Fields();
    MemDataSet& records = *driver->Records();
    MemDataSet& tests = *driver->Tests();
    ASSERT_TRUE(fields.isActive() && records.isActive() && tests.isActive());

    // "ID" is the place in the class table: idxID gives the class order. An empty label or
    // content is stored as a value, not refused as missing.
    fields.setIndexName(u"idxID"_s);
    ASSERT_TRUE(fields.findKey({2}));
    EXPECT_EQ(fields.fieldByName(u"CODE"_s)->asInteger(), 31);
    EXPECT_EQ(fields.fieldByName(u"SYSCODE"_s)->asInteger(), int(scResultValue));
    EXPECT_FALSE(fields.fieldByName(u"DEFLABEL"_s)->isNull());
    EXPECT_FALSE(fields.fieldByName(u"FLDCONT"_s)->isNull());
    tests.setIndexName(u"idxID"_s);
    EXPECT_EQ(tableRows(tests, {u"NUM"_s, u"CODE"_s, u"NAME"_s, u"INST"_s}),
              QStringList({u"NUM=10 CODE=tsh NAME=Thyrotropin INST=True"_s,
                           u"NUM=460 CODE=HBEAG NAME= INST=True"_s,
                           u"NUM=460 CODE=A-HBCIGM NAME=Антитела к HBc IgM INST=True"_s,
                           u"NUM=0 CODE=Na+ NAME=Sodium Concentration INST=True"_s}));
    fields.setIndexName(u"idxCODE"_s);
    ASSERT_TRUE(fields.findKey({7}));
    EXPECT_EQ(fields.fieldByName(u"FLDCONT"_s)->asString(), u"N=normal\nE=error"_s);
    // Two fields mean the sample identifier; the key finds the first in class order.
    fields.setIndexName(u"idxSYSCODE"_s);
    ASSERT_TRUE(fields.findKey({int(scSampleID)}));
    EXPECT_EQ(fields.fieldByName(u"CODE"_s)->asInteger(), 20);
    records.setIndexName(u"idxRECTYPE"_s);
    records.setRange({1}, {1});
    EXPECT_EQ(tableRows(records, {u"NUM"_s, u"CODE"_s}),
              QStringList({u"NUM=1 CODE=1"_s, u"NUM=2 CODE=20"_s, u"NUM=3 CODE=7"_s}));
    // idxNUM: a number that stands twice finds its first row; idxCODE ignores case.
    tests.setIndexName(u"idxNUM"_s);
    ASSERT_TRUE(tests.findKey({460}));
    EXPECT_EQ(tests.fieldByName(u"CODE"_s)->asString(), u"HBEAG"_s);
    tests.setIndexName(u"idxCODE"_s);
    ASSERT_TRUE(tests.findKey({u"na+"_s}));
    EXPECT_EQ(tests.fieldByName(u"UNIT_"_s)->asString(), u"mmol/L"_s);
    EXPECT_FALSE(tests.findKey({u"T4"_s}));
}

TEST(DriverTables, CreationReachesTheOverridesOfTheClassBeingMade)
{
    const auto driver = TDriver::New<TAdaptingDriver>();
    ASSERT_TRUE(driver->Fields()->locate(u"CODE"_s, 20));
    EXPECT_EQ(driver->Fields()->fieldByName(u"DEFLABEL"_s)->asString(), u"Sample number"_s);

    // FindFieldInfo reads the class descriptions, not the adapted table.
    TFldInfo info;
    ASSERT_TRUE(driver->FindFieldInfo(20, info));
    EXPECT_EQ(info.DEFLABEL, u"Specimen ID"_s);
    // Nothing found: the argument keeps what it held.
    EXPECT_FALSE(driver->FindFieldInfo(99, info));
    EXPECT_EQ(info.CODE, 20);

    // Each driver made from a class reference has tables of its own.
    const TDriverClass driverClass = DriverClassOf<TSampleDriver>();
    const std::unique_ptr<TDriver> a = driverClass();
    const std::unique_ptr<TDriver> b = driverClass();
    ASSERT_TRUE(a && b);
    a->Tests()->first();
    a->Tests()->deleteRecord();
    EXPECT_EQ(a->Tests()->recordCount(), 3);
    EXPECT_EQ(b->Tests()->recordCount(), 4);
}

TEST(DriverTables, AFaultyClassStopsItsCreation)
{
    try {
        TDriver::New<TTestsWithoutGetter>();
        FAIL() << "a test count without the getter must not create";
    } catch (const EAbstractError& e) {
        EXPECT_TRUE(e.message().contains(u"TTestsWithoutGetter"_s)) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(u"GetTestInfo"_s)) << e.message().toStdString();
    }
    EXPECT_THROW(TDriver::New<TDuplicateCodes>(), EDBClient) << "idxCODE is unique";
}

TEST(DriverOperations, ABareDriverHasOnlyAnEmptyTestsTableAndTheBaseOperations)
{
    const auto driver = TDriver::New<TBareDriver>();
    EXPECT_EQ(driver->Fields(), nullptr);
    EXPECT_EQ(driver->Records(), nullptr);
    ASSERT_NE(driver->Tests(), nullptr);
    EXPECT_TRUE(driver->Tests()->isActive() && driver->Tests()->isEmpty());

    QString value = u"kept"_s;
    EXPECT_TRUE(driver->GetSysCodeValue(scSenderName, value));
    EXPECT_EQ(value, u"QUORVANE"_s);
    value = u"kept"_s;
    EXPECT_FALSE(driver->GetSysCodeValue(scSampleID, value));
    EXPECT_FALSE(driver->GetSysCodeValue(0, value));
    EXPECT_EQ(value, u"kept"_s);

    // Operations a driver class must provide before anyone may call them.
    TResInfo holder;
    EXPECT_THROW(driver->DataReceived("\x05", 1), EAbstractError);
    EXPECT_THROW(driver->PortReceiveData(nullptr, "\x05", 1), EAbstractError);
    EXPECT_THROW(driver->SaveToFile(u"x"_s), EAbstractError);
    EXPECT_THROW(driver->LoadFromFile(u"x"_s), EAbstractError);
    EXPECT_THROW(driver->GetResults(holder), EAbstractError);
    TFldInfo info;
    EXPECT_FALSE(driver->FindFieldInfo(1, info)) << "no fields: nothing to scan";

    // The result holder's tables are open and empty; an empty name is a name.
    ASSERT_TRUE(holder.Header().isActive() && holder.Results().isActive());
    EXPECT_TRUE(holder.Header().isEmpty() && holder.Results().isEmpty());
    holder.Header().appendRecord({1, QString(), u"x"_s, 5});
    EXPECT_EQ(holder.Header().recordCount(), 1);
}

// ---- helpers

TEST(ControlChars, NamesBothWaysAndTagTextBothWays)
{
    for (int b = 1; b <= 31; ++b)
        EXPECT_EQ(ControlCharByName(ControlCharName(b)), b) << b;
    EXPECT_EQ(ControlCharName(1) + ControlCharName(21) + ControlCharName(31), u"SOHNAKUS"_s);
    for (int b : {0, 32, -1})
        EXPECT_TRUE(ControlCharName(b).isEmpty()) << b;
    for (const QString& name : {u"stx"_s, u"NUL"_s, QString()})
        EXPECT_EQ(ControlCharByName(name), -1);

    EXPECT_EQ(BytesToTagText(QByteArray("\x02"
                                        "A\x03\x0D\x0A\x16\x17\x1F\x01")),
              u"[STX]A[ETX][CR][LF][SYN][ETB][US][SOH]"_s);
    // Byte 0, blanks, DEL and the upper half are copied as characters of the code page.
    EXPECT_EQ(BytesToTagText(QByteArray("a\0 \x7F\xE9\x80", 6)), u"a"_s + QChar(0) + u" \x7Fé€"_s);
    {
        TestWorkspace russian(2);
        EXPECT_EQ(BytesToTagText(QByteArray("\xE9\x02")), u"й[STX]"_s);
    }
    // Count 0 leaves the text as it was; a count takes only that many bytes.
    QString text = u"before"_s;
    BytesToTagText("\x02", 0, text);
    EXPECT_EQ(text, u"before"_s);
    BytesToTagText("\x04xyz", 2, text);
    EXPECT_EQ(text, u"[EOT]x"_s);

    QByteArray data("[stx]A[ETX]");
    int count = int(data.size());
    TagTextToBytes(data.data(), count);
    EXPECT_EQ(data.left(count), QByteArray("\x02\x41\x03"));
    const auto expand = [](QByteArray bytes) {
        TagTextToBytes(bytes);
        return bytes;
    };
    // What is not a name stays as written; a "[" whose bracket is not a name leaves the next one
    // free to be.
    const std::pair<const char*, const char*> cases[] = {{"[Syn][etb][US]", "\x16\x17\x1F"},
                                                         {"", ""},
                                                         {"[XYZ]1", "[XYZ]1"},
                                                         {"[]", "[]"},
                                                         {"[ STX]", "[ STX]"},
                                                         {"a[STX", "a[STX"},
                                                         {"[STX]]", "\x02]"},
                                                         {"[A[STX]", "[A\x02"},
                                                         {"[[ETX]]", "[\x03]"}};
    for (const auto& [tags, expected] : cases)
        EXPECT_EQ(expand(tags), QByteArray(expected)) << tags;
    // Every byte survives the trip to tag text and back.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(expand(codepage::toAnsi(BytesToTagText(all))), all);
}

TEST(HexDigits, OnlyDigitsAndUpperCaseAToF)
{
    QByteArray accepted;
    for (int b = 0; b < 256; ++b) {
        if (IsHexChar(char(b)))
            accepted += char(b);
    }
    // ":" to "@" (0x3A to 0x40) and the lower-case letters are not digits.
    EXPECT_EQ(accepted, QByteArray("0123456789ABCDEF"));

    for (const auto& [text, value] : {std::pair{"1F", 31},
                                      {"0", 0},
                                      {"001C", 28},
                                      {"7FFFFFFF", 2147483647},
                                      {"FFFFFFFF", -1}}) {
        EXPECT_EQ(HexToInt(QByteArray(text)), value) << text;
        EXPECT_EQ(HexToInt(QString::fromLatin1(text)), value) << text;
    }
    for (const char* bad : {"", "1g", "1f", "3:", "@", "1 F", " 1F", "-1", "123456789"}) {
        EXPECT_THROW(HexToInt(QByteArray(bad)), EConvertError) << bad;
        EXPECT_THROW(HexToInt(QString::fromLatin1(bad)), EConvertError) << bad;
    }
    EXPECT_THROW(HexToInt(u"1Ａ"), EConvertError) << "a full-width letter";
    try {
        HexToInt(u"1G");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_TRUE(e.message().contains(u"'1G'"_s)) << e.message().toStdString();
    }
}

TEST(BytePatterns, FindBytesAndSameBytes)
{
    const struct
    {
        QByteArray pattern, data;
        int at;
    } finds[] = {{"\x03\x0D", "\x41\x03\x0D", 1},
                 {"\x03\x0D", "\x41\x03", -1},
                 {"\x03\x0D", "\x03\x0D", 0},
                 {"ab", "xxabyyab", 2},     // the first place
                 {"\r\r\n", "\r\r\r\n", 1}, // a partial match does not hide the real one
                 {"abc", "ab", -1},
                 {"a", "", -1},
                 {"", "", -1},
                 {"", "a", 0},
                 {QByteArray("\0b", 2), QByteArray("a\0b", 3), 1}}; // zero bytes count
    for (const auto& f : finds)
        EXPECT_EQ(FindBytes(f.pattern, f.data), f.at) << describeBytes(f.pattern).toStdString();
    // The lengths bound the search, not the buffers.
    EXPECT_EQ(FindBytes("cd", 2, "abcd", 3), -1);
    EXPECT_EQ(FindBytes("cd", 1, "abcd", 3), 2);

    EXPECT_TRUE(SameBytes(QByteArray(), QByteArray()));
    EXPECT_TRUE(SameBytes(QByteArray("\x02x\x03"), QByteArray("\x02x\x03")));
    EXPECT_FALSE(SameBytes(QByteArray("ab"), QByteArray("abc")));
    EXPECT_FALSE(SameBytes(QByteArray("abc"), QByteArray("abd")));
    EXPECT_FALSE(SameBytes(QByteArray(""), QByteArray("\0", 1)));
    EXPECT_TRUE(SameBytes("abX", 2, "abY", 2));
}
