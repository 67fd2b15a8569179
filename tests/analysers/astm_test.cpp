// The ASTM frame, record and message layer, and the receiving driver on the scripted line: frames
// parsed and checked, records joined across ETB frames and numbered across records, fields parsed
// by the layout, the result file, the result holder, and the host's frame of a record. Frames sent
// to the driver get their checksum from `framed`; every expected output is written out by hand.
#include "driverharness.h"

#include <analysers/astmdevices.h>
#include <platform/controlchars.h>
#include <platform/regional.h>
#include <platform/support/logfile.h>

namespace {

// A frame as an analyser sends it: STX, number, text, terminator, checksum, CR, LF.
QByteArray framed(int number, const QByteArray& text, char terminator = ETX)
{
    QByteArray body = QByteArray::number(number) + text + terminator;
    quint8 sum = 0;
    for (const char c : body)
        sum = quint8(sum + quint8(c));
    return STX + body + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + CR + LF;
}

QByteArray record(int number, const QByteArray& text)
{
    return framed(number, text + CR);
}

// The values as "code=value" lines.
std::string values(const TASTMMessage& m)
{
    QStringList out;
    for (const TASTMValue& v : m.Values)
        out << QString::number(v.Code) + u'=' + v.Value;
    return out.join(u'\n').toStdString();
}

std::string lines(const QStringList& l)
{
    return l.join(u'\n').toStdString();
}

class AstmLayer : public DriverOnFakeLine<TElecsys>
{
protected:
    // Parses the records of a message, each as received in one frame.
    TASTMMessage& parse(const QList<QByteArray>& records)
    {
        driver->Message->Clear();
        for (const QByteArray& r : records) {
            auto rec = std::make_unique<TASTMRecord>();
            rec->RecType = r[0];
            rec->Text = r.mid(1);
            driver->Message->AddRecord(std::move(rec));
        }
        return *driver->Message;
    }
};

using AstmDriver = AstmLayer;

} // namespace

TEST(AstmFrame, FramesAreCheckedByTheirNumberTerminatorAndChecksum)
{
    const struct
    {
        QByteArray bytes;
        bool complete;
        bool ok;
        int number;
        QByteArray text;
        char terminator;
    } cases[] = {
        // "1H|\^&" CR ETX sums to 0x1E5.
        {"\x02"
         "1H|\\^&\r\x03"
         "E5\r\n",
         true, true, 1, "H|\\^&\r", ETX},
        {"\x02"
         "1H|\\^&\r\x03"
         "E6\r\n",
         true, false, 1, "H|\\^&\r", ETX},
        {"\x02"
         "1H|\\^&\r\x03"
         "e5\r\n",
         true, false, 1, "H|\\^&\r", ETX}, // lower case
        {"\x02"
         "1H|\\^&\r\x03"
         "G5\r\n",
         true, false, 1, "H|\\^&\r", ETX},
        {"\x02"
         "1H|\\^&\r\x03"
         "E\n",
         true, false, 1, "H|\\^&\r", ETX}, // one digit
        // "2" 0xFF ETB: 0x32 + 0xFF + 0x17 = 0x148.
        {"\x02"
         "2\xff\x17"
         "48\r\n",
         true, true, 2, "\xff", ETB},
        // Long texts. "1", sixteen 0xFF, ETX: 0x31 + 0xFF0 + 0x03 = 0x1024.
        {"\x02"
         "1\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x03"
         "24\r\n",
         true, true, 1, QByteArray(16, '\xff'), ETX},
        // "2", TAB, "B" to "P", ETX: 0x32 + 0x09 + 15 * 0x49 + 0x03 = 0x485.
        {"\x02"
         "2\tBCDEFGHIJKLMNOP\x03"
         "85\r\n",
         true, true, 2, "\tBCDEFGHIJKLMNOP", ETX},
        // DEL ends the text after ten good bytes.
        {"\x02"
         "1ABCDEFGHIJ\x7f"
         "K\x03"
         "00\r\n",
         true, false, 1, "", 0},
        // A byte 0x01 ends the text: no terminator, no checksum.
        {"\x02"
         "3a\x01"
         "b\x03"
         "00\r\n",
         true, false, 3, "", 0},
        {"\x02"
         "8H\x03"
         "7B\r\n",
         true, false, 0, "", 0}, // 8 is no frame number
        {"xx\x02"
         "1",
         false, false, 0, "", 0},
        {"ab\ncd\x02"
         "1\x03"
         "34\n",
         false, false, 0, "", 0}, // an LF before the STX
    };
    for (const auto& c : cases) {
        TASTMFrame frame;
        EXPECT_EQ(frame.AddData(c.bytes), c.complete) << describeBytes(c.bytes).toStdString();
        EXPECT_EQ(frame.ChecksumOK, c.ok) << describeBytes(c.bytes).toStdString();
        if (c.complete) {
            EXPECT_EQ(frame.FrameNumber, c.number) << describeBytes(c.bytes).toStdString();
            EXPECT_EQ(frame.Text().toByteArray(), c.text) << describeBytes(c.bytes).toStdString();
            EXPECT_EQ(frame.Terminator, quint8(c.terminator));
        }
    }

    // Split anywhere: the frame goes on with the next chunk; what follows its LF is not read.
    TASTMFrame frame;
    EXPECT_FALSE(frame.AddData(QByteArray("\x02"
                                          "1H|\\^")));
    EXPECT_TRUE(frame.AddData(QByteArray("&\r\x03"
                                         "E5\r\n\x02"
                                         "2L")));
    EXPECT_TRUE(frame.ChecksumOK);
    EXPECT_EQ(frame.Data, QByteArray("\x02"
                                     "1H|\\^&\r\x03"
                                     "E5\r"));
}

TEST(AstmRecord, JointsKeepEveryByteAndNumbersRunAcrossRecords)
{
    // Three ETB frames, a blank ending the first and a TAB beginning the third; leading blanks
    // and the closing CR go.
    TASTMRecord rec;
    rec.FrameNumber = 6;
    TASTMFrame f;
    ASSERT_TRUE(f.AddData(framed(7, "  R|1|^^^10 ", ETB)));
    EXPECT_FALSE(rec.AddFrame(f));
    f.Clear();
    ASSERT_TRUE(f.AddData(framed(0, "|1.5", ETB)));
    EXPECT_FALSE(rec.AddFrame(f));
    f.Clear();
    ASSERT_TRUE(f.AddData(framed(3, "wrong number")));
    EXPECT_FALSE(rec.AddFrame(f)); // dropped
    f.Clear();
    ASSERT_TRUE(f.AddData(framed(1, "\tmg|N \r")));
    EXPECT_TRUE(rec.AddFrame(f));
    EXPECT_EQ(rec.RecType, 'R');
    EXPECT_EQ(rec.Text, QByteArray("|1|^^^10 |1.5\tmg|N"));
    EXPECT_EQ(rec.FrameNumber, 1);

    // The host's frame of a header record of the delimiter definition alone.
    TASTMRecord header;
    header.RecType = 'H';
    header.Text = "|\\^&";
    QByteArray bytes = "stale";
    header.BuildFrame(0, bytes);
    EXPECT_EQ(bytes, QByteArray::fromHex("02 31 48 7C 5C 5E 26 0D 03 45 35 0D 0A"));
}

TEST_F(AstmLayer, FieldsAreParsedByTheLayout)
{
    // The header's delimiters and sender; a patient; an Elecsys result whose test field has a
    // ninth component (1488, stored under 1487's code), with a 14-digit date; a comment with
    // more fields than the layout has (the surplus under the last code); coded values.
    const TASTMMessage& m = parse({
        "H|\\^&|||ASTM-Host^E170^1.0|||||||P||20261207103005",
        "P|1|4711|S1||DUPONT^JEAN",
        "O|1|S1||^^^10|S||||||||||||||||||||F",
        "R|1|^^^10^^^I1^I2|1.52^H|mIU/l|0.27^4.2|N||F||op||20261207103005",
        "C|1|I|Text|G|surplus|more",
        "L|1|N",
    });
    EXPECT_EQ(m.FieldDelim, '|');
    EXPECT_EQ(m.RepeatDelim, '\\');
    EXPECT_EQ(m.ComponentDelim, '^');
    EXPECT_EQ(m.EscapeDelim, '&');
    const QString when = DateToStr(EncodeDate(2026, 12, 7) + EncodeTime(10, 30, 5, 0)) + u' ' +
                         TimeToStr(EncodeTime(10, 30, 5, 0));
    EXPECT_EQ(values(m),
              lines({
                  u"1031=ASTM-Host"_s,   u"1032=E170"_s, u"1033=1.0"_s,  u"110=P"_s,
                  u"112="_s + when,      u"113=4711"_s,  u"114=S1"_s,    u"1161=DUPONT"_s,
                  u"1162=JEAN"_s,        u"146=S1"_s,    u"1484=10"_s,   u"149=STAT"_s,
                  u"169=final result"_s, u"1484=10"_s,   u"1487=I1"_s,   u"1487=I2"_s,
                  u"1761=1.52"_s,        u"1762=H"_s,    u"177=mIU/l"_s, u"1781=0.27"_s,
                  u"1782=4.2"_s,         u"179=N"_s,     u"181=F"_s,     u"183=op"_s,
                  u"185="_s + when,      u"187=I"_s,     u"188=Text"_s,  u"189=G"_s,
                  u"189=surplus"_s,      u"189=more"_s,
              }));
    EXPECT_EQ(m.GetKind(), 3);

    // Values met again take the texts their fields gave them: the same bytes as a date and as a
    // name, as a priority code and as a specimen and a test.
    EXPECT_EQ(values(parse({"H|\\^&|||20261207103005|||||||P||20261207103005", "O|1|S||^^^S|S"})),
              lines({u"1031=20261207103005"_s, u"110=P"_s, u"112="_s + when, u"146=S"_s,
                     u"1484=S"_s, u"149=STAT"_s}));

    // A malformed date is kept as received.
    EXPECT_EQ(values(parse({"H|\\^&", "Q|1|^S2||ALL||2026120"})),
              lines({u"146=S2"_s, u"192=ALL"_s, u"194=2026120"_s}));
    EXPECT_EQ(driver->Message->GetKind(), 1);
    EXPECT_EQ(parse({"H|\\^&", "M|1|TCQ", "R|1"}).GetKind(), 4);
    EXPECT_EQ(parse({"H|\\^&", "P|1", "L|1"}).GetKind(), 0);

    // Other delimiters, from the header on; a new header clears the message.
    const TASTMMessage& other = parse({"H|\\^&|||A", "H!\\@&!!!X@Y", "P!1!!S3"});
    EXPECT_EQ(values(other), lines({u"1031=X"_s, u"1032=Y"_s, u"114=S3"_s}));
    EXPECT_EQ(other.FieldDelim, '!');
    EXPECT_EQ(other.ComponentDelim, '@');
}

TEST_F(AstmLayer, TheResultFileSavesLoadsAndSavesTheSameBytes)
{
    const QByteArray file = "\x02H|\\^&|||cobas\x03\x02P|1||S1||\xff\xe0\x03"
                            "\x02R|1|^^^10|1.52|mIU/l\x03\x02L|1|N\x03";
    const CodePageScope russian(codepage::Cp1251);
    ASSERT_TRUE(fileops::writeFile(ws.path(u"in.4"_s), "garbage" + file + "\x02tail"));
    TASTMMessage& m = *driver->Message;
    m.LoadFromFile(ws.path(u"in.4"_s));
    EXPECT_EQ(m.SavedBytes(), file);
    EXPECT_EQ(values(m), lines({u"1031=cobas"_s, u"114=S1"_s, u"1161=яа"_s, u"1484=10"_s,
                                u"1761=1.52"_s, u"177=mIU/l"_s}));
    m.SaveToFile(ws.path(u"out.4"_s));
    m.LoadFromFile(ws.path(u"out.4"_s));
    EXPECT_EQ(readFileBytes(ws.path(u"out.4"_s)), file);
    EXPECT_THROW(m.LoadFromFile(ws.path(u"missing.4"_s)), EInOutError);
}

// A session on the scripted line: frames ACKed, a bad checksum NAKed, every chunk dumped, the
// message stored at EOT as the result file written out by hand.
TEST_F(AstmDriver, AResultMessageIsStoredAtItsEnd)
{
    const QList<QByteArray> chunks = {
        "\x05",
        record(1, "H|\\^&|||cobas"),
        record(2, "P|1||S1||DUPONT^\xff"),
        record(3, "R|1|^^^10|1.5"), // sent first with a wrong checksum
        record(3, "R|1|^^^10|1.5"),
        "\x04",
    };
    QByteArray bad = chunks[3];
    bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
    receive(chunks[0]);
    EXPECT_EQ(answers(), QByteArray("\x06"));
    receive(chunks[1]);
    receive(chunks[2].left(7));
    EXPECT_EQ(answers(), QByteArray("\x06"));
    receive(chunks[2].mid(7));
    receive(record(5, "C|1|I|out of order")); // acknowledged, dropped
    receive(bad);
    receive(chunks[4]);
    EXPECT_EQ(answers(), QByteArray("\x06\x06\x15\x06"));
    receive(chunks[5]);
    EXPECT_EQ(answers(), QByteArray());
    ASSERT_EQ(workstation.handed.size(), 1);
    EXPECT_EQ(workstation.handed[0].type, u"AST"_s);
    EXPECT_EQ(workstation.handed[0].source, 5);
    EXPECT_EQ(
        workstation.handed[0].bytes,
        QByteArray("\x02H|\\^&|||cobas\x03\x02P|1||S1||DUPONT^\xff\x03\x02R|1|^^^10|1.5\x03"));
    EXPECT_EQ(workstation.refreshed, QList<int>{26});
    EXPECT_EQ(driver->State, 0);

    QByteArray dumped;
    for (int n = 0;; ++n) {
        const QString dump = WorkPath + u"com_buf/klb20_%1.dat"_s.arg(n);
        if (!QFile::exists(dump))
            break;
        dumped += readFileBytes(dump);
    }
    EXPECT_TRUE(dumped.endsWith(chunks[0] + chunks[1] + chunks[2] +
                                record(5, "C|1|I|out of order") + bad + chunks[4] + chunks[5]));
}

namespace {

const QByteArray PollH = "\x02"
                         "1H|\\^&|||ASTM-Host\r\x03"
                         "59\r\n";
const QByteArray PollM = "\x02"
                         "2M|1|TCQ^BM^E1^1||||||||||||\r\x03"
                         "C0\r\n";
const QByteArray PollL = "\x02"
                         "3L|1|N\r\x03"
                         "06\r\n";

} // namespace

// The Elecsys host poll goes out one frame per ACK, then EOT; a frame refused is sent again. (The
// other sending rules are played with a query answer over a pseudo-terminal in the app tests.)
TEST_F(AstmDriver, ThePollGoesOutOneFramePerAck)
{
    ASSERT_TRUE(driver->StartPolling());
    EXPECT_EQ(answers(), QByteArray("\x05"));
    EXPECT_FALSE(driver->StartPolling()); // busy
    receive("\x06");
    EXPECT_EQ(answers(), PollH);
    receive("\x15");
    EXPECT_EQ(answers(), PollH);
    receive("\x06");
    EXPECT_EQ(answers(), PollM);
    receive("\x06");
    EXPECT_EQ(answers(), PollL);
    receive("\x06");
    EXPECT_EQ(answers(), QByteArray("\x04"));
    EXPECT_EQ(driver->State, 0);
    EXPECT_TRUE(driver->Answer == nullptr);
}

// A query that a new header or an EOT ENQ cuts short is dropped, and the log says so; nothing is
// asked of the practice database.
TEST_F(AstmDriver, AQueryCutShortIsDroppedAndLogged)
{
    const QByteArray query = "\x05" + record(1, "H|\\^&") + record(2, "Q|1|^S7||ALL");
    for (const QByteArray& cut : {record(3, "H|\\^&") + "\x04", QByteArray("\x04\x05")}) {
        receive(query.left(1));
        receive(query.mid(1, record(1, "H|\\^&").size()));
        receive(record(2, "Q|1|^S7||ALL"));
        if (cut.startsWith('\x02')) {
            receive(cut.left(cut.size() - 1));
            receive(cut.right(1));
        } else {
            receive(cut);
        }
        EXPECT_EQ(answers(), QByteArray("\x06\x06\x06\x06")); // ENQ, H, Q and the cut
        EXPECT_TRUE(driver->Answer == nullptr);
        if (driver->State == 1)
            receive("\x04");
    }
    EXPECT_EQ(ws.operationsLog().count("the query for specimen \"S7\" is dropped"), 2);
}
