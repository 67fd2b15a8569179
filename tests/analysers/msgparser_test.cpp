// The table-driven parser: ACL 2000 messages cut by the analyser's tables (expected fields worked
// out from the layout by hand), switches that select blocks by whole items, delimited fields and
// repeated groups on small layouts of their own, and the building of protocol steps.
#include <analysers/acl2000util.h>
#include <platform/support/globals.h>
#include <support/workspace.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace protocol;

namespace {

// A parser on a layout of the test's own, with no checksum.
class LayoutParser : public TParser
{
public:
    using TParser::TParser;

protected:
    void AppendChecksum(TResult&) override {}
    void CalcSpecialFields(TActionsList&, TFieldsList&) override {}
};

// "Name=value|value" of every field, in list order.
QStringList fieldsOf(const TParser& parser)
{
    QStringList out;
    for (const protocol::TFldInfo& f : parser.Fields) {
        QStringList values;
        for (const TResult& v : f.Values)
            values << QString::fromLatin1(v.Data);
        out << QString::fromLatin1(f.Name) + u'=' + values.join(u'|');
    }
    return out;
}

QStringList namesOf(const TParser& parser)
{
    QStringList out;
    for (const protocol::TFldInfo& f : parser.Fields)
        out << QString::fromLatin1(f.Name);
    return out;
}

// An ACL 2000 message: ":", SC "SC12", device "01", "ABCD", the header length, CR LF, the body
// (which ends in its own CR LF) and two checksum characters (not checked by the parser).
QByteArray aclMessage(const QByteArray& headerLength, const QByteArray& body)
{
    return ":SC1201ABCD" + headerLength + "\r\n" + body + "00";
}

// A result header of a test: 52 body bytes. Format "4", the warnings "B" and "F", raw data "1",
// test type "8", sensor "E".
QByteArray aclHeader(const QByteArray& test)
{
    const QByteArray body = test + "01" + "4" + "05.12.2026 LUN" + "10:20:30 " + "B" + "F" +
                            "00042" + "1" + "8" + "E" + "BATH00000001" + "\r\n";
    EXPECT_EQ(body.size(), 52);
    return aclMessage("0034", body);
}

// A short record with its identifier at bytes 41 and 42: 28 body bytes.
QByteArray aclShort(const QByteArray& id)
{
    const QByteArray body = "123456789012" + QByteArray("ABCDEFGHIJKL") + id + "\r\n";
    EXPECT_EQ(body.size(), 28);
    return aclMessage("001C", body);
}

// The ACL 2000 driver, its protocol file beside the settings file of a test folder.
class ACLParser : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedIni = IniFileName;
        IniFileName = ws.path(u"QUORVANE.INI"_s);
    }
    void TearDown() override { IniFileName = m_savedIni; }

    std::unique_ptr<TACL2000Util> driver(const QByteArray& protocol = "0\n0\n")
    {
        writeFileBytes(ws.path(u"Protocols/acl2000.prt"_s), protocol);
        return TDriver::New<TACL2000Util>();
    }

    TestWorkspace ws;

private:
    QString m_savedIni;
};

} // namespace

TEST_F(ACLParser, ShortRecordSelectsTheSampleIdentifier)
{
    const auto acl = driver();
    acl->ParseMessage(aclShort("25"));
    EXPECT_EQ(fieldsOf(*acl), QStringList({u"SC=SC12"_s, u"Device ID=01"_s, u"Header length=001C"_s,
                                           u"Id=25"_s, u"Sample Id=123456789012"_s}));
}

TEST_F(ACLParser, ResultHeaderWithEveryTranslatedText)
{
    const auto acl = driver();
    acl->ParseMessage(aclHeader("0F"));
    // The format switch of row 8 finds the result rows of "0F;15" before the format rows: the
    // format byte is cut into Result1 and never translated.
    EXPECT_EQ(fieldsOf(*acl),
              QStringList({
                  u"SC=SC12"_s,
                  u"Device ID=01"_s,
                  u"Header length=0034"_s,
                  u"TestId=0F"_s,
                  u"Msg count=01"_s,
                  u"Result1=0F014"_s,
                  u"Result2=05.1"_s,
                  u"Date=05.12.2026 LUN"_s,
                  u"Time=10:20:30 "_s,
                  u"Warning=Magnetic stirrer fail., no reagent 18 and fluidic sensor fail.|"
                  "Reagent preheater and rotor temp. out of range, cover open during run"_s,
                  u"ISINumber=00042"_s,
                  u"Transmission=Transmission of raw data"_s,
                  u"TestType=SINGLE, ABS., SPECIAL with on-plate calculation"_s,
                  u"Status=No reagents"_s,
                  u"Bath number=BATH00000001"_s,
              }));

    // The next message empties the collected fields; the test identifier stays, with one value.
    acl->ParseMessage(aclHeader("1B"));
    EXPECT_TRUE(fieldsOf(*acl).contains(u"TestId=1B"_s));
    EXPECT_TRUE(fieldsOf(*acl).contains(u"Format=g/l INR off"_s))
        << "test 1B reaches the format rows";
    EXPECT_FALSE(namesOf(*acl).contains(u"Result1"_s));
}

// Messages that sent the switches into themselves until the stack ran out: each now selects a
// block by a whole item, searched from the row after the switch.
struct SwitchCase
{
    const char* name;
    QByteArray header; // test of a result header parsed first; empty for none
    QByteArray shortId;
    QStringList blockFields; // the fields after the message's fixed ones
};

class ACLSwitches : public ACLParser, public ::testing::WithParamInterface<SwitchCase>
{
};

TEST_P(ACLSwitches, SelectWholeItemsAndNeverReenterABlock)
{
    const SwitchCase& c = GetParam();
    const auto acl = driver();
    const QStringList headerFields{u"Date"_s,      u"Time"_s,         u"Warning"_s,
                                   u"ISINumber"_s, u"Transmission"_s, u"TestType"_s,
                                   u"Status"_s,    u"Bath number"_s};
    if (c.shortId.isEmpty()) {
        acl->ParseMessage(aclHeader(c.header));
        EXPECT_EQ(namesOf(*acl), QStringList({u"SC"_s, u"Device ID"_s, u"Header length"_s,
                                              u"TestId"_s, u"Msg count"_s}) +
                                     c.blockFields + headerFields);
    } else {
        acl->ParseMessage(aclHeader(c.header));
        acl->ParseMessage(aclShort(c.shortId));
        EXPECT_EQ(namesOf(*acl),
                  QStringList({u"TestId"_s, u"SC"_s, u"Device ID"_s, u"Header length"_s, u"Id"_s}) +
                      c.blockFields);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mend, ACLSwitches,
    ::testing::Values(SwitchCase{"Header03",
                                 "03",
                                 {},
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Units3"_s, u"Units4"_s,
                                  u"Result1"_s, u"Result2"_s, u"Result3"_s, u"Result4"_s}},
                      SwitchCase{"Header06",
                                 "06",
                                 {},
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Result1"_s, u"Result2"_s}},
                      SwitchCase{"Header09",
                                 "09",
                                 {},
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Result1"_s, u"Result2"_s}},
                      SwitchCase{"Header15",
                                 "15",
                                 {},
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Result1"_s, u"Result2"_s}},
                      SwitchCase{"Header34", "34", {}, {u"Sample Id"_s}},
                      // The data rows switch on test "01" again: its block is the one being parsed.
                      SwitchCase{"Header01", "01", {}, {u"Data"_s}},
                      SwitchCase{"Data06",
                                 "06",
                                 "05",
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Result1"_s, u"Result2"_s}},
                      SwitchCase{"Data09",
                                 "09",
                                 "05",
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Result1"_s, u"Result2"_s}},
                      SwitchCase{"Data15",
                                 "15",
                                 "05",
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Result1"_s, u"Result2"_s}},
                      SwitchCase{"ShortId01",
                                 "03",
                                 "01",
                                 {u"Data"_s, u"Units1"_s, u"Units2"_s, u"Units3"_s, u"Units4"_s,
                                  u"Result1"_s, u"Result2"_s, u"Result3"_s, u"Result4"_s}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ACLParser, DataRecordTakesUnitsAndResultsOfTheLastHeader)
{
    const auto acl = driver();
    acl->ParseMessage(aclHeader("03"));
    acl->ParseMessage(aclShort("05"));
    EXPECT_EQ(fieldsOf(*acl), QStringList({
                                  u"TestId=03"_s,
                                  u"SC=SC12"_s,
                                  u"Device ID=01"_s,
                                  u"Header length=001C"_s,
                                  u"Id=05"_s,
                                  u"Data=123456789012ABCDEFG"_s,
                                  u"Units1=s"_s,
                                  u"Units2=%"_s,
                                  u"Units3=R-INR"_s,
                                  u"Units4=mg/dl"_s, // the first of the two rows of "03"
                                  u"Result1=1234"_s,
                                  u"Result2=567"_s,
                                  u"Result3=8901"_s,
                                  u"Result4=2ABC"_s,
                              }));
}

// ---- small layouts of the test's own

class Layouts : public ::testing::Test
{
protected:
    std::unique_ptr<LayoutParser> parser(std::vector<TMsgFldInfo> rows)
    {
        const QString file = ws.path(u"layout.prt"_s);
        writeFileBytes(file, "0\n0\n");
        return TDriver::New<LayoutParser>(file, std::move(rows), std::vector<TRepFldInfo>{});
    }
    TestWorkspace ws;
};

TEST_F(Layouts, DelimitedFieldsPlaceTheRowsBehindThem)
{
    const auto p = parser({
        {"first", {}, 0, "Begin", "", 0, 0, 1},
        {{}, {}, 0, "Name", "|", 3, 1, 0},
        {{}, {}, 0, "Age", "[HT]", 4, 0, 0}, // persistent; the delimiter is one byte
        {{}, {}, 0, "Tail", "", 1, 0, 2},
    });
    p->ParseMessage(QByteArray("<ABC|42\txy"));
    EXPECT_EQ(fieldsOf(*p), QStringList({u"Name=ABC"_s, u"Age=42"_s, u"Tail=xy"_s}));
    // The persistent field stays in its place; the others are made anew behind it.
    p->ParseMessage(QByteArray("<LONGER|7\tzz"));
    EXPECT_EQ(fieldsOf(*p), QStringList({u"Age=7"_s, u"Name=LONGER"_s, u"Tail=zz"_s}));
    // Without its delimiter Age stores nothing (it keeps the last one), and Tail lies past the end.
    p->ParseMessage(QByteArray("<ABC|42"));
    EXPECT_EQ(fieldsOf(*p), QStringList({u"Age=7"_s, u"Name=ABC"_s}));
    p->ParseMessage(QByteArray("<"));
    EXPECT_EQ(fieldsOf(*p), QStringList({u"Age=7"_s}));
    p->ParseMessage(nullptr, 5);
    EXPECT_EQ(fieldsOf(*p), QStringList({u"Age=7"_s})) << "no message, no change";
}

TEST_F(Layouts, RepeatedGroupRunsToItsEndOrTheMessageEnd)
{
    const auto p = parser({
        {"first", {}, 0, "Head", "", 1, 0, 2},
        {{}, {}, 0, "Item", ",", 3, 2, 0},
        {{}, {}, 0, "End", ";", 6, 0, 1},
        {{}, {}, 0, "Tail", "", 1, 0, 1},
    });
    for (int twice = 0; twice < 2; ++twice) {
        p->ParseMessage(QByteArray("H:aa,bb,cc,;T"));
        EXPECT_EQ(fieldsOf(*p), QStringList({u"Head=H:"_s, u"Item=aa|bb|cc"_s, u"Tail=T"_s}))
            << "the rows are back in place after the group";
    }
    p->ParseMessage(QByteArray("H:aa,bb,cc,"));
    EXPECT_EQ(fieldsOf(*p), QStringList({u"Head=H:"_s, u"Item=aa|bb|cc"_s}))
        << "without its end the group stops at the end of the message";
    p->ParseMessage(QByteArray("H:aa,bbb"));
    EXPECT_EQ(fieldsOf(*p), QStringList({u"Head=H:"_s, u"Item=aa"_s}));
}

TEST_F(Layouts, SwitchSelectsByWholeItemsAndNotByAnEmptyValue)
{
    const auto p = parser({
        {"first", {}, 0, "Code", ":", 3, 0, 0},
        {{}, {}, 0, "Switch", "Code", 5, 0, 0},
        {"a;", {}, 0, "A", "", 1, 0, 1},
        {"25", {}, 0, "B", "", 1, 0, 1},
    });
    const std::pair<QByteArray, QStringList> cases[] = {
        {":x", {u"Code="_s}},
        {"a:", {u"Code=a"_s, u"A=a"_s}},
        {"5:", {u"Code=5"_s}},
        {"25:", {u"Code=25"_s, u"B=2"_s}},
    };
    for (const auto& [message, fields] : cases) {
        p->ParseMessage(message);
        EXPECT_EQ(fieldsOf(*p), fields) << message.toStdString();
    }
}

// ---- building steps

TEST_F(ACLParser, BuildingStepsFromTheirParts)
{
    const auto acl = driver("0\n"
                            "5\n"
                            "T:1:0\n"
                            "C:2:7\n"
                            "V:0:AB\n"
                            "V:0:CD\n"
                            "V:0:EF\n"
                            "0 2 3 1000\n"
                            "0\n"
                            "0 [STX]\n"
                            "0 AB\n"
                            "0\n"
                            "0 :\n"
                            "0 OK\n"
                            "0 1 1 1000\n"
                            "0\n"
                            "1 V\n"
                            "0 x\n"
                            "0 3 0 1000\n"
                            "0\n"
                            "3 V\n"
                            "0 ,\n"
                            "2 ;\n");
    const auto field = [&](const char* name) {
        const protocol::TFldInfo* f = acl->Fields.Find(name);
        return f ? QString::fromLatin1(f->Values.GetItem(0).Data) : u"<none>"_s;
    };
    // Three parts get the checksum: 02 41 42 sums to 133, 256 - 133 = 0x7B; ":OK" to 212, 0x2C.
    // Built twice, the same bytes; the toggle and the counter move at every build.
    for (const char* toggle : {"1", "0"}) {
        acl->BuildCommand(0);
        EXPECT_EQ(acl->Commands.GetItem(0).SendData.Data, QByteArray("\x02"
                                                                     "AB7B"));
        EXPECT_EQ(acl->Commands.GetItem(0).ExpectedData.Data, QByteArray(":OK2C"));
        EXPECT_EQ(field("T"), QLatin1String(toggle));
    }
    EXPECT_EQ(field("C"), u"9"_s);

    // A kind-1 part takes the field's first value away; two parts get no checksum, and an answer
    // list of one part builds nothing.
    for (const QByteArray& expected : {QByteArray("AB"), QByteArray("CD")}) {
        acl->BuildCommand(1);
        EXPECT_EQ(acl->Commands.GetItem(1).SendData.Data, expected);
        EXPECT_TRUE(acl->Commands.GetItem(1).ExpectedData.Data.isEmpty());
    }
    // A group repeats once while its field has values left: "AB" and "CD" were taken above. Four
    // parts: "EF,;" sums to 242, 256 - 242 = 0x0E.
    acl->BuildCommand(2);
    EXPECT_EQ(acl->Commands.GetItem(2).SendData.Data, QByteArray("EF,;0E"));
    EXPECT_EQ(field("V"), u"<none>"_s) << "the field goes with its last value";
    acl->BuildCommand(1);
    EXPECT_TRUE(acl->Commands.GetItem(1).SendData.Data.isEmpty());
}

TEST_F(ACLParser, GroupOfPartsRepeatsOncePerBuild)
{
    const auto acl = driver("0\n3\nV:0:AB\nV:0:CD\nV:0:EF\n"
                            "0 3 0 1000\n0\n3 V\n0 ,\n2 ;\n");
    // "AB,CD,;" sums to 310 at "D" (55 with a carry), then 100 and 159: 256 - 159 = 0x61.
    acl->BuildCommand(0);
    EXPECT_EQ(acl->Commands.GetItem(0).SendData.Data, QByteArray("AB,CD,;61"));
    EXPECT_EQ(acl->Fields.Find("V")->Values.Count(), 1);
}

TEST_F(ACLParser, CounterThatIsNoNumberRaises)
{
    const auto acl = driver("0\n1\nN:2:x\n0 0 0 100\n0\n");
    EXPECT_EQ(messageOf<EConvertError>([&] { acl->BuildCommand(0); }),
              u"'x' is not a valid integer value"_s);
}
