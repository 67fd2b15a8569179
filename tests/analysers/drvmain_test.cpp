// The driver framework: the description tables a driver builds when it is created, the default
// operations, the result holder, and the control-character and hexadecimal helpers. A real driver
// takes the framework from the line to the result holder (its tables and their indexes) in the
// Miditron tests.
#include "driverharness.h"

#include <platform/codepage.h>

namespace {

// ---- drivers made for the tests

// A device described by class tables.
const TFldInfo sampleFields[] = {
    {1, scSenderName, 0, u"Sender name"_s, 4, 0, QString()},
    {20, scSampleID, 1, u"Specimen ID"_s, 4, 13, QString()},
    {31, scResultValue, 3, QString(), 5, 0, QString()}, // no label, as some devices' fields
};
const TRecInfo sampleRecords[] = {{2, 1, 1}, {1, 1, 20}};
const TTestInfo sampleTests[] = {
    {10, u"tsh"_s, u"mIU/l"_s, u"Thyrotropin"_s},
    {460, u"A-HBCIGM"_s, QString(), u"Антитела к HBc IgM"_s},
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

TEST(DriverTables, CreationReachesTheOverridesOfTheClassBeingMadeAndRefusesAFaultyClass)
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
    EXPECT_EQ(a->Tests()->recordCount(), 1);
    EXPECT_EQ(b->Tests()->recordCount(), 2);
    // An empty label is stored as a value, not refused as missing.
    ASSERT_TRUE(b->Fields()->locate(u"CODE"_s, 31));
    EXPECT_FALSE(b->Fields()->fieldByName(u"DEFLABEL"_s)->isNull());

    // A faulty class is not made.
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
    EXPECT_TRUE(!driver->Fields() && !driver->Records());
    ASSERT_TRUE(driver->Tests() && driver->Tests()->isActive() && driver->Tests()->isEmpty());

    QString value;
    EXPECT_TRUE(driver->GetSysCodeValue(scSenderName, value));
    EXPECT_FALSE(driver->GetSysCodeValue(scSampleID, value));
    EXPECT_FALSE(driver->GetSysCodeValue(0, value));
    EXPECT_EQ(value, u"QUORVANE"_s) << "the sender's name, and nothing else, is answered";

    // Operations a driver class must provide before anyone may call them.
    TResInfo holder;
    EXPECT_THROW(driver->DataReceived("\x05", 1), EAbstractError);
    EXPECT_THROW(driver->LoadFromFile(u"x"_s), EAbstractError);
    EXPECT_THROW(driver->GetResults(holder), EAbstractError);
    TFldInfo info;
    EXPECT_FALSE(driver->FindFieldInfo(1, info)) << "no fields: nothing to scan";
    // The result holder's tables are open and empty; an empty name is a name.
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

    const auto expand = [](QByteArray bytes) {
        TagTextToBytes(bytes);
        return bytes;
    };
    // What is not a name stays as written; a "[" whose bracket is not a name leaves the next one
    // free to be.
    const std::pair<const char*, const char*> cases[] = {{"[Syn][etb][US]", "\x16\x17\x1F"},
                                                         {"[XYZ]1", "[XYZ]1"},
                                                         {"[]", "[]"},
                                                         {"[ STX]", "[ STX]"},
                                                         {"a[STX", "a[STX"},
                                                         {"[A[STX]", "[A\x02"},
                                                         {"[[ETX]]", "[\x03]"}};
    for (const auto& [tags, expected] : cases)
        EXPECT_EQ(expand(tags), QByteArray(expected)) << tags;
    // Every byte survives the trip to tag text (byte 0, DEL and the upper half as characters of
    // the code page) and back.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(expand(codepage::toAnsi(BytesToTagText(all))), all);
    EXPECT_EQ(BytesToTagText(QByteArray("A\x03\x0D\xE9\x80")), u"A[ETX][CR]é€"_s);
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
    const QString message = messageOf<EConvertError>([] { HexToInt(u"1G"); });
    EXPECT_TRUE(message.contains(u"'1G'"_s)) << message.toStdString();
}
