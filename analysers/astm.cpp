// The ASTM layer: the E1394 field table and the record layout table, frames, records, messages
// (parsing, building, the result file, the result holder) and TASTMDriver's exchange.
#include "astm.h"

#include <analysers/comdrv.h>
#include <analysers/hostquery.h>
#include <analysers/rawdump.h>
#include <analysers/workstation.h>
#include <kernel/dbaccess.h>
#include <platform/clock.h>
#include <platform/codepage.h>
#include <platform/controlchars.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/format.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

int ASTMDumpCounter = 0;

namespace {

// ---- the E1394 field table

enum AstmFieldType {
    ftReserved = 0,
    ftComposite = 1,
    ftCoded = 2,
    ftFixed = 3,
    ftText = 4,
    ftNumber = 5,
    ftSequence = 6,
    ftDate = 7,
    ftDateTime = 9
};

struct FieldLabel
{
    int code;
    const char* label;
};

// In table order.
constexpr FieldLabel FieldLabels[] = {
    {1, "Record type ID"},
    {2, "Sequence Number"},
    {3, "Termination code"},
    {4, "Delimiter definition"},
    {101, "Message control ID"},
    {102, "Access password"},
    {103, "Sender name or ID"},
    {1031, "Sender name or ID"},
    {1032, "Manufacturer"},
    {1033, "Software version"},
    {1034, "Analyzer Identification #"},
    {104, "Reserved field"},
    {105, "Sender street address"},
    {106, "Sender telephone number"},
    {107, "Characteristics of sender"},
    {108, "Receiver ID"},
    {109, "Comment or special instructions"},
    {110, "Processing ID"},
    {111, "Version No."},
    {112, "date and time of message"},
    {113, "Practice Assigned Patient ID"},
    {114, "Laboratory Assigned Patient ID"},
    {115, "patient ID No.3"},
    {116, "patient name"},
    {1161, "last name"},
    {1162, "first name"},
    {1163, "middle name or initial"},
    {1164, "suffix, title"},
    {117, "mothers maiden name"},
    {118, "date of birth"},
    {119, "patient sex"},
    {120, "patient race-ethnic origin"},
    {121, "patient address"},
    {122, "Reserved field"},
    {123, "patient telephone number"},
    {124, "attending physician ID"},
    {125, "special field 1"},
    {126, "special field 2"},
    {127, "patient height (in cm)"},
    {128, "patient weight in (kg)"},
    {129, "patient's known or suspected diagnosis"},
    {130, "patient active medications"},
    {131, "patient's diet"},
    {132, "practice field No.l"},
    {133, "practice field No.2"},
    {134, "admission and discharge dates"},
    {135, "admission status"},
    {136, "location"},
    {137, "nature of alternative diagnostic code and classifiers"},
    {138, "alternative diagnostic code and classification"},
    {139, "patient religion"},
    {140, "marital status"},
    {141, "isolation status"},
    {142, "language"},
    {143, "hospital service"},
    {144, "hospital institution"},
    {145, "dosage category"},
    {146, "Specimen ID"},
    {147, "Sequence #"},
    {1471, "Sequence #"},
    {1472, "Carrier # (carrier is rack or disk)"},
    {1473, "Position in carrier"},
    {1474, "Format"},
    {1475, "Data carrier type"},
    {1476, "Container type"},
    {1477, "Container cap type"},
    {1478, "Initial volume"},
    {148, "Universal test ID"},
    {1481, "Universal test ID"},
    {1482, "Universal test name"},
    {1483, "Universal test ID type"},
    {1484, "Manufacturer defined test code"},
    {1485, "Auto-dilution fact."},
    {1486, "Pre dilution"},
    {1487, "Instrument identification"},
    {149, "priority"},
    {150, "requested/ordered date and time"},
    {151, "Specimen collection date and time"},
    {152, "collection end time"},
    {153, "collection volume (in ml)"},
    {154, "collector ID"},
    {155, "action code"},
    {156, "danger code"},
    {157, "relevant clinical informat."},
    {158, "date/time specimen received"},
    {159, "Specimen Descriptor"},
    {1591, "type"},
    {1592, "source"},
    {160, "ordering physician"},
    {161, "physician’s telephone number"},
    {162, "user field No.1"},
    {163, "user field No.2"},
    {164, "laboratory field No.1"},
    {165, "laboratory field No.2"},
    {166, "date/time results reported or last modified"},
    {167, "instr. charge to computer system"},
    {168, "instrument section ID"},
    {169, "Report Types"},
    {170, "Reserved field"},
    {171, "location or ward of specimen collection"},
    {172, "nosocomial infection flag"},
    {173, "specimen service"},
    {174, "specimen institution"},
    {175, "Universal test ID"},
    {176, "data or measurement value"},
    {1761, "data or measurement value"},
    {1762, ""},
    {177, "units"},
    {178, "Reference ranges"},
    {1781, "Lower Limit"},
    {1782, "Upper Limit"},
    {179, "result abnormal flags"},
    {180, "nature of abnormality testing"},
    {181, "result status"},
    {182, "date of change in instrument normative values or units"},
    {183, "operator identification"},
    {184, "date/time test started"},
    {185, "date/time test completed"},
    {186, "instrument identification"},
    {187, "Comment source"},
    {188, "Comment Text"},
    {189, "Comment type"},
    {190, "starting range ID number (patient ID/specimen ID/instrument specimen ID)"},
    {1901, "Patient ID"},
    {191, "ending range ID number"},
    {192, "universal test ID"},
    {193, "nature of request time limits"},
    {194, "beginning request results date and time"},
    {195, "ending request results date and time"},
    {196, "requesting physician name"},
    {197, "requesting physician telephone number"},
    {198, "user field No. 1"},
    {199, "user field No. 2"},
    {200, "request information status codes"},
};
static_assert(std::size(FieldLabels) == 134, "134 fields");

bool isOneOf(int code, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

TFldInfo fieldInfo(int index)
{
    const FieldLabel& f = FieldLabels[index];
    const int c = f.code;
    TFldInfo info;
    info.CODE = c;
    info.DEFLABEL = QString::fromUtf8(f.label);

    if (isOneOf(c, {103, 116, 147, 148, 159, 175, 176, 178, 190}))
        info.FLDTYPE = ftComposite;
    else if (isOneOf(c, {1, 3, 110, 119, 140, 149, 155, 169, 180, 181, 187, 189, 193}))
        info.FLDTYPE = ftCoded;
    else if (isOneOf(c, {4, 135, 141, 179}))
        info.FLDTYPE = ftFixed;
    else if (isOneOf(c, {111, 127, 128, 153}))
        info.FLDTYPE = ftNumber;
    else if (c == 2)
        info.FLDTYPE = ftSequence;
    else if (isOneOf(c, {118, 134, 182}))
        info.FLDTYPE = ftDate;
    else if (isOneOf(c, {112, 150, 151, 158, 166, 184, 185, 194, 195}))
        info.FLDTYPE = ftDateTime;
    else if (isOneOf(c, {104, 122, 170}))
        info.FLDTYPE = ftReserved;
    else
        info.FLDTYPE = ftText;

    switch (c) {
    case 4:
        info.FLDLEN = 4;
        break;
    case 135:
        info.FLDLEN = 2;
        break;
    case 141:
        info.FLDLEN = 3;
        break;
    case 179:
        info.FLDLEN = 2;
        break;
    case 111:
    case 2:
        info.FLDLEN = 1;
        break;
    default:
        break;
    }

    if (c <= 4 || isOneOf(c, {104, 122, 170}))
        info.FLDGROUP = 0;
    else if (c == 148 || (c >= 1481 && c <= 1487) || (c >= 175 && c <= 186) ||
             isOneOf(c, {1761, 1762, 1781, 1782}))
        info.FLDGROUP = 3;
    else
        info.FLDGROUP = 1;

    switch (c) {
    case 1031:
        info.SYSCODE = scSenderName;
        break;
    case 114:
    case 146:
        info.SYSCODE = scSampleID;
        break;
    case 1471:
        info.SYSCODE = scCarrierSeqNo;
        break;
    case 1472:
        info.SYSCODE = scCarrierNo;
        break;
    case 1473:
        info.SYSCODE = scCarrierPos;
        break;
    case 113:
        info.SYSCODE = scPatientID;
        break;
    case 1761:
        info.SYSCODE = scResultValue;
        break;
    case 1484:
        info.SYSCODE = scTestCode;
        break;
    case 177:
        info.SYSCODE = scUnits;
        break;
    case 179:
    case 1762:
        info.SYSCODE = scResultFlags;
        break;
    default:
        break;
    }

    switch (c) {
    case 3:
        info.FLDCONT = QStringLiteral("\r\n\r\nN\r\nE\r\nF\r\nI\r\nQ");
        break;
    case 135:
        info.FLDCONT = QStringLiteral("OP=outpatient\r\nPA=preadmit\r\nIP=inpatient\r\n"
                                      "ER=emergency room");
        break;
    case 149:
        info.FLDCONT = QStringLiteral("R=routine\r\nS=STAT");
        break;
    case 169:
        info.FLDCONT = QStringLiteral(
            "O=order record; user asking that analysis be performed\r\n"
            "I=in instrument pending\r\n"
            "Z=no record of this patient (in response to query)\r\n"
            "Q=response to query (this record is a response to a request-information query)\r\n"
            "F=final result\r\n"
            "Y=no order for this record");
        break;
    default:
        break;
    }
    return info;
}

// ---- the record layout table

struct LayoutEntry
{
    int code;
    int reccode;
    int options;
};

// The rows of a record type after "Record type ID": top-level codes, and components written
// with the code of their composite.
std::vector<LayoutEntry> layoutOf(char type)
{
    std::vector<LayoutEntry> rows{{1, 0, 0}};
    const auto top = [&](int from, int to) {
        for (int c = from; c <= to; ++c)
            rows.push_back({c, 0, 0});
    };
    const auto components = [&](int from, int to, int composite) {
        for (int c = from; c <= to; ++c)
            rows.push_back({c, composite, 0});
    };
    switch (type) {
    case 'H':
        rows.push_back({4, 0, 1});
        top(101, 103);
        components(1031, 1034, 103);
        top(104, 112);
        break;
    case 'L':
        top(2, 2);
        break;
    case 'P':
        top(2, 2);
        top(113, 116);
        components(1161, 1164, 116);
        top(117, 145);
        break;
    case 'O':
        top(2, 2);
        top(146, 147);
        components(1471, 1478, 147);
        top(148, 148);
        components(1481, 1487, 148);
        top(149, 159);
        components(1591, 1592, 159);
        top(160, 174);
        break;
    case 'R':
        top(2, 2);
        top(175, 175);
        components(1481, 1488, 175);
        top(176, 176);
        components(1761, 1762, 176);
        top(177, 178);
        components(1781, 1782, 178);
        top(179, 179);
        rows.push_back({180, 0, 2});
        rows.push_back({181, 0, 2});
        top(182, 186);
        break;
    case 'C':
        top(2, 2);
        top(187, 189);
        break;
    case 'Q':
        top(2, 2);
        top(190, 190);
        components(1901, 1901, 190);
        components(146, 146, 190);
        components(1471, 1478, 190);
        top(191, 200);
        break;
    default:
        break;
    }
    return rows;
}

constexpr char LayoutTypes[] = "HLPORCQ";

int typeIndex(char type)
{
    for (int i = 0; LayoutTypes[i]; ++i) {
        if (LayoutTypes[i] == type)
            return i;
    }
    return -1;
}

// ---- bytes

bool isTrimmed(char c)
{
    return quint8(c) <= 0x20;
}

// The bytes of a frame's text: BEL, TAB, VT, FF, CR, the printable ASCII and everything from 0x80.
constexpr std::array<bool, 256> TextBytes = [] {
    std::array<bool, 256> bytes{};
    for (int b = 0; b < 256; ++b)
        bytes[size_t(b)] = b == 0x07 || b == 0x09 || (b >= 0x0B && b <= 0x0D) ||
                           (b >= 0x20 && b <= 0x7E) || b >= 0x80;
    return bytes;
}();

// Whether none of the eight bytes of the word is below 0x20 or DEL: all of them are text.
bool printableWord(quint64 word)
{
    constexpr quint64 Ones = 0x0101010101010101ull;
    constexpr quint64 Highs = 0x8080808080808080ull;
    const quint64 control = (word - Ones * 0x20) & ~word & Highs;
    const quint64 del = word ^ (Ones * 0x7F);
    return (control | ((del - Ones) & ~del & Highs)) == 0;
}

// The sum of the eight bytes of the word, modulo 256.
quint8 byteSum(quint64 word)
{
    constexpr quint64 Lanes = 0x00FF00FF00FF00FFull;
    const quint64 pairs = (word & Lanes) + ((word >> 8) & Lanes); // four sums below 0x200
    return quint8((pairs * 0x0001000100010001ull) >> 48);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

quint8 checksum(const char* data, qsizetype count)
{
    quint8 sum = 0;
    for (qsizetype i = 0; i < count; ++i)
        sum = quint8(sum + quint8(data[i]));
    return sum;
}

const char HexDigits[] = "0123456789ABCDEF";

// The size bytes at a are those of the view, compared eight at a time (values are short: this
// beats a call to memcmp).
bool sameBytes(const char* a, qsizetype size, QByteArrayView view)
{
    qsizetype n = view.size();
    if (size != n)
        return false;
    const char* b = view.data();
    for (; n >= 8; n -= 8, a += 8, b += 8) {
        quint64 x;
        quint64 y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y)
            return false;
    }
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

// A value's hash with its field code, and whether all its bytes are ASCII: one pass, eight bytes
// at a time.
std::pair<size_t, bool> hashOf(int code, QByteArrayView value)
{
    constexpr quint64 Prime = 0x100000001B3ull;
    quint64 hash = (quint64(quint32(code)) * 0x9E3779B97F4A7C15ull) ^ quint64(value.size());
    quint64 bits = 0;
    const char* p = value.data();
    qsizetype n = value.size();
    for (; n >= 8; n -= 8, p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        bits |= word;
        hash = (hash ^ word) * Prime;
    }
    if (n > 0) {
        quint64 word = 0;
        for (qsizetype i = 0; i < n; ++i)
            word |= quint64(quint8(p[i])) << (8 * i);
        bits |= word;
        hash = (hash ^ word) * Prime;
    }
    return {size_t(hash ^ (hash >> 29)), (bits & 0x8080808080808080ull) == 0};
}

// A value of 14 digits (year, month, day, hour, minute, second) as the workstation writes a date
// and time; none when it is no such value.
std::optional<QString> dateTimeText(const QString& value)
{
    if (value.size() < 14)
        return std::nullopt;
    int parts[6] = {};
    const int at[6][2] = {{0, 4}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 2}};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const QStringView digits = QStringView(value).mid(at[i][0], at[i][1]);
        for (const QChar ch : digits)
            if (!ch.isDigit() || ch.unicode() > '9')
                return std::nullopt;
        parts[i] = digits.toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(parts[0], parts[1], parts[2], date) ||
        !TryEncodeTime(parts[3], parts[4], parts[5], 0, time))
        return std::nullopt;
    const TDateTime moment = date + time;
    return DateToStr(moment) + QLatin1Char(' ') + TimeToStr(moment);
}

// The meaning of a coded value from a value list of "code=meaning" lines; none when no line
// names it.
std::optional<QString> meaningOf(const QString& list, const QString& value)
{
    for (const QStringView line : QStringView(list).split(QLatin1Char('\n'))) {
        const QStringView l = line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line;
        const qsizetype eq = l.indexOf(QLatin1Char('='));
        if (eq >= 0 && l.left(eq) == value)
            return l.mid(eq + 1).toString();
    }
    return std::nullopt;
}

} // namespace

// =============================================================================================
// TASTMFrame

void TASTMFrame::Clear()
{
    // Emptied, not freed: the next frame reuses the room.
    Data.truncate(0);
    m_textAt = 0;
    m_textSize = 0;
    Terminator = 0;
    ChecksumOK = false;
}

bool TASTMFrame::AddData(const char* Input, qsizetype Count)
{
    qsizetype i = 0;
    if (Data.isEmpty()) {
        for (; i < Count; ++i) {
            if (Input[i] == LF)
                return false;
            if (Input[i] == STX) {
                Data.append(STX);
                ++i;
                break;
            }
        }
        if (Data.isEmpty())
            return false;
    }
    const char* lf = static_cast<const char*>(std::memchr(Input + i, LF, size_t(Count - i)));
    const qsizetype end = lf ? lf - Input : Count;
    if (Data.size() + (end - i) > MaxSize) {
        // No frame is this long: what came so far is dropped, the next STX starts again.
        Clear();
        return false;
    }
    Data.append(Input + i, end - i);
    if (!lf)
        return false;
    Parse();
    return true;
}

void TASTMFrame::Parse()
{
    m_textAt = 0;
    m_textSize = 0;
    Terminator = 0;
    ChecksumOK = false;
    const qsizetype n = Data.size();
    const auto* d = reinterpret_cast<const quint8*>(Data.constData());
    if (n < 2 || d[1] < '0' || d[1] > '7')
        return;
    FrameNumber = quint8(d[1] - '0');
    quint8 sum = d[1];
    qsizetype i = 2;
    // Eight bytes at a time while they are all text of the kind most frames are made of; a word
    // with a control character (the terminator among them) or DEL is left to the byte loop.
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, d + i, 8);
        if (!printableWord(word))
            break;
        sum = quint8(sum + byteSum(word));
    }
    for (; i < n; ++i) {
        const quint8 b = d[i];
        sum = quint8(sum + b);
        if (b == quint8(ETX) || b == quint8(ETB)) {
            Terminator = b;
            break;
        }
        if (!TextBytes[b])
            return;
    }
    if (Terminator == 0)
        return;
    m_textAt = 2;
    m_textSize = i - 2;
    if (i + 2 >= n)
        return;
    const int high = hexValue(char(d[i + 1]));
    const int low = hexValue(char(d[i + 2]));
    if (high < 0 || low < 0)
        return;
    ChecksumOK = (high * 16 + low) == sum;
}

// =============================================================================================
// TASTMRecord

void TASTMRecord::Clear()
{
    FrameNumber = 0;
    RecType = 0;
    if (Text.capacity() > KeptRoom)
        Text.clear();
    else
        Text.truncate(0);
}

bool TASTMRecord::AddFrame(const TASTMFrame& Frame)
{
    const quint8 expected = FrameNumber == 7 ? 0 : quint8(FrameNumber + 1);
    if (Frame.FrameNumber != expected)
        return false;
    FrameNumber = Frame.FrameNumber;
    const bool last = Frame.Terminator == quint8(ETX);
    const QByteArrayView text = Frame.Text();
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (last) {
        while (end > begin && isTrimmed(end[-1]))
            --end;
    }
    if (RecType == 0) {
        while (begin < end && isTrimmed(*begin))
            ++begin;
        if (begin == end)
            return last;
        RecType = *begin++;
    }
    Text.append(begin, end - begin);
    return last;
}

void TASTMRecord::BuildFrame(int Index, QByteArray& Stream) const
{
    Stream.clear();
    Stream.reserve(Text.size() + 8);
    Stream += STX;
    Stream += char('0' + (Index + 1) % 8);
    Stream += RecType;
    Stream += Text;
    Stream += CR;
    Stream += ETX;
    const quint8 sum = checksum(Stream.constData() + 1, Stream.size() - 1);
    Stream += HexDigits[sum >> 4];
    Stream += HexDigits[sum & 0x0F];
    Stream += CR;
    Stream += LF;
}

// =============================================================================================
// TASTMMessage

// The walk of the layout rows of one record type: the cursor stays on the last row once it is
// reached, as a dataset cursor at its end does; the fields-table row stays on the last one found.
struct TASTMMessage::Walk
{
    const std::vector<TASTMLayoutRow>& rows;
    const std::vector<TASTMLayoutField>& fields; // of the rows
    size_t cursor = 1;
    const TASTMLayoutField* field = nullptr;

    const TASTMLayoutRow& row() const { return rows[cursor]; }
    void next()
    {
        if (cursor + 1 < rows.size())
            ++cursor;
    }
};

TASTMMessage::TASTMMessage(TASTMDriver* Driver_) : Driver(Driver_)
{
}

TASTMMessage::~TASTMMessage() = default;

void TASTMMessage::Clear()
{
    for (std::unique_ptr<TASTMRecord>& record : Records) {
        if (m_spare.size() == MaxSpareRecords)
            break;
        record->Clear();
        m_spare.push_back(std::move(record));
    }
    Records.clear();
    Values.clear();
}

std::unique_ptr<TASTMRecord> TASTMMessage::NewRecord()
{
    if (m_spare.empty())
        return std::make_unique<TASTMRecord>();
    std::unique_ptr<TASTMRecord> record = std::move(m_spare.back());
    m_spare.pop_back();
    return record;
}

void TASTMMessage::AddRecord(std::unique_ptr<TASTMRecord> Record)
{
    if (Record->RecType == 'H')
        Clear();
    const TASTMRecord& record = *Record;
    Records.push_back(std::move(Record));
    const std::vector<TASTMLayoutRow>& rows = Driver->LayoutRows(record.RecType);
    if (rows.size() < 2)
        return; // a record type without layout: kept, not parsed
    const std::vector<TASTMLayoutField>& fields = Driver->LayoutFields(record.RecType);
    if (fields.size() != rows.size())
        return; // the fields table is not read yet
    Walk walk{rows, fields};
    if (record.Text.size() > 1)
        ParseFields(walk, QByteArrayView(record.Text).sliced(1));
}

void TASTMMessage::ParseFields(Walk& W, QByteArrayView Text)
{
    const bool components = W.row().RECCODE != 0;
    qsizetype p = 0;
    while (p < Text.size()) {
        // Read afresh: the header's delimiter definition applies to the fields after it.
        const char delim = components ? ComponentDelim : FieldDelim;
        if (W.fields[W.cursor].Info)
            W.field = &W.fields[W.cursor];
        if (!W.field)
            return; // no row found yet: nothing to parse with
        const TASTMLayoutField& field = *W.field;
        QByteArrayView value;
        if ((W.row().OPTIONS & 1) && field.FLDLEN > 0) {
            value = Text.sliced(p, qMin<qsizetype>(field.FLDLEN, Text.size() - p));
            p += value.size();
        } else {
            // Fields are short: a plain loop beats a call to memchr.
            qsizetype end = p;
            while (end < Text.size() && Text[end] != delim)
                ++end;
            value = Text.sliced(p, end - p);
            p = end + 1;
        }
        if (field.FLDTYPE == ftComposite && W.cursor + 1 < W.rows.size()) {
            const int composite = W.row().CODE;
            W.next();
            ParseFields(W, value);
            while (W.row().RECCODE == composite && W.cursor + 1 < W.rows.size())
                W.next();
        } else {
            if (!value.isEmpty()) {
                if (field.FLDGROUP != 0) {
                    StoreValue(field, value);
                } else if (field.CODE == 4 && value.size() == 4) {
                    RepeatDelim = value[0];
                    ComponentDelim = value[1];
                    EscapeDelim = value[2];
                    FieldDelim = value[3];
                }
            }
            W.next();
        }
    }
}

void TASTMMessage::StoreValue(const TASTMLayoutField& Field, QByteArrayView Value)
{
    const auto [hash, ascii] = hashOf(Field.CODE, Value);
    Decoded* known = nullptr;
    if (ascii && Value.size() <= MaxRemembered) {
        if (m_decoded.empty())
            m_decoded.resize(RememberedSlots);
        known = &m_decoded[hash % RememberedSlots];
        if (known->code == Field.CODE && sameBytes(known->bytes, known->size, Value)) {
            Values.append({known->value, Field.CODE, known->raw});
            return;
        }
    }

    const QString source =
        ascii ? QString::fromLatin1(Value) : codepage::fromAnsi(Value.toByteArray());
    QString value = source;
    if (Field.FLDTYPE == ftDateTime) {
        if (const std::optional<QString> text = dateTimeText(value))
            value = *text;
    }
    if (!Field.Info->FLDCONT.isEmpty()) {
        if (const std::optional<QString> meaning = meaningOf(Field.Info->FLDCONT, value))
            value = *meaning;
    }
    // The bytes are kept only where the text does not give them back.
    QByteArray raw = ascii && value == source ? QByteArray() : Value.toByteArray();
    if (known) {
        known->code = Field.CODE;
        known->size = int(Value.size());
        std::memcpy(known->bytes, Value.data(), size_t(Value.size()));
        known->value = value;
        known->raw = raw;
    }
    Values.append({std::move(value), Field.CODE, std::move(raw)});
}

int TASTMMessage::GetKind() const
{
    for (const auto& r : Records) {
        switch (r->RecType) {
        case 'M':
            return 4;
        case 'Q':
            return 1;
        case 'R':
            return 3;
        default:
            break;
        }
    }
    return 0;
}

QByteArray TASTMMessage::SavedBytes() const
{
    QByteArray bytes;
    for (const auto& r : Records) {
        bytes += STX;
        bytes += r->RecType;
        bytes += r->Text;
        bytes += ETX;
    }
    return bytes;
}

void TASTMMessage::SaveToFile(const QString& Name) const
{
    QString error;
    if (!fileops::writeFile(Name, SavedBytes(), &error))
        throw EInOutError(
            QStringLiteral("Cannot write the ASTM message \"%1\": %2").arg(Name, error));
}

void TASTMMessage::LoadFromFile(const QString& Name)
{
    QFile file(Name);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Cannot read the ASTM message \"%1\": %2")
                              .arg(Name, file.errorString()));
    LoadFromBytes(file.readAll());
}

void TASTMMessage::LoadFromBytes(const QByteArray& Bytes)
{
    Clear();
    std::unique_ptr<TASTMRecord> record;
    bool typeNext = false;
    for (const char b : Bytes) {
        if (b == STX) {
            record = NewRecord();
            typeNext = true;
        } else if (!record) {
            continue;
        } else if (b == ETX) {
            AddRecord(std::move(record));
            record.reset();
        } else if (typeNext) {
            record->RecType = b;
            typeNext = false;
        } else {
            record->Text += b;
        }
    }
}

const QString* TASTMMessage::ValueOf(int Code) const
{
    for (const TASTMValue& v : Values) {
        if (v.Code == Code)
            return &v.Value;
    }
    return nullptr;
}

void TASTMMessage::GetResults(TResInfo& ResInfo) const
{
    MemDataSet& header = ResInfo.Header();
    MemDataSet& results = ResInfo.Results();
    MemDataSet& tests = *Driver->Tests();
    bool pending = false;
    const auto post = [&] {
        if (pending)
            results.post();
        pending = false;
    };
    const auto newResult = [&] {
        post();
        const int id = results.recordCount() + 1;
        results.append();
        results.fieldByName(QStringLiteral("ID"))->setAsInteger(id);
        pending = true;
    };
    const auto setResult = [&](const char* name, const QString& value) {
        if (pending)
            results.fieldByName(QLatin1String(name))->setAsString(value);
    };

    for (const TASTMValue& v : Values) {
        const TFldInfo* field = Driver->FieldOf(v.Code);
        if (!field)
            continue;
        if (field->FLDGROUP != 3) {
            const int id = header.recordCount() + 1;
            header.append();
            header.fieldByName(QStringLiteral("ID"))->setAsInteger(id);
            header.fieldByName(QStringLiteral("NAME"))->setAsString(field->DEFLABEL);
            header.fieldByName(QStringLiteral("VAL"))->setAsString(v.Value);
            header.fieldByName(QStringLiteral("CODE"))->setAsInteger(v.Code);
            header.post();
            continue;
        }
        switch (field->SYSCODE) {
        case scTestNumber: {
            newResult();
            setResult("NUM", v.Value);
            int number = 0;
            tests.setIndexName(QStringLiteral("idxNUM"));
            if (TryStrToInt(v.Value, number) && tests.findKey({Variant(qint64(number))})) {
                setResult("CODE", tests.fieldByName(QStringLiteral("CODE"))->asString());
                setResult("LABEL", tests.fieldByName(QStringLiteral("NAME"))->asString());
            }
            break;
        }
        case scTestCode: {
            newResult();
            const QString code = codepage::upper(v.Value);
            setResult("CODE", code);
            tests.setIndexName(QStringLiteral("idxCODE"));
            if (!code.isEmpty() && tests.findKey({Variant(code)})) {
                const Field* num = tests.fieldByName(QStringLiteral("NUM"));
                setResult("NUM", num->isNull() ? QString() : num->asString());
                setResult("LABEL", tests.fieldByName(QStringLiteral("NAME"))->asString());
            }
            break;
        }
        case scResultValue:
            setResult("VAL", v.Value.trimmed());
            break;
        case scUnits:
            setResult("UNIT", v.Value);
            break;
        case scResultFlags:
            setResult("STATE", v.Value);
            break;
        default:
            break;
        }
    }
    post();
}

void TASTMMessage::BuildAnswer(TASTMMessage& Query)
{
    Query.Values.removeIf([](const TASTMValue& v) { return v.Code == 110 || v.Code == 112; });
    const QString* specimen = Query.ValueOf(146);
    Driver->QueryHost(specimen ? *specimen : QString());
    for (const char type : {'H', 'P', 'O', 'L'})
        Records.push_back(BuildRecord(type, &Query));
}

QByteArray TASTMMessage::AnswerValue(const TFldInfo& Field, const TASTMMessage* Query) const
{
    MemDataSet* orders = Driver->HostQuery ? Driver->HostQuery->Orders.get() : nullptr;
    const auto fromOrders = [&](const char* column) {
        if (!orders || orders->eof())
            return QByteArray();
        const QString value = orders->fieldByName(QLatin1String(column))->asString();
        orders->next();
        return codepage::toAnsi(value);
    };
    // An echo goes back as it was received.
    const auto echo = [&](int code) -> const TASTMValue* {
        if (!Query)
            return nullptr;
        for (const TASTMValue& v : Query->Values) {
            if (v.Code == code)
                return &v;
        }
        return nullptr;
    };
    const auto bytesOf = [](const TASTMValue& v) { return v.RawBytes(); };
    switch (Field.SYSCODE) {
    case scNone:
        break;
    case scPatientID: {
        const TDBCache* patient =
            Driver->HostQuery ? Driver->HostQuery->PatientCache.get() : nullptr;
        if (!patient || !patient->Active() || patient->isEmpty())
            return {};
        return codepage::toAnsi(patient->FieldByName(QStringLiteral("PATIENTS_ID"))->asString());
    }
    case scTestNumber:
        return fromOrders("NUM");
    case scTestCode:
        return fromOrders("CODE");
    default: {
        QString value;
        if (Driver->GetSysCodeValue(Field.SYSCODE, value))
            return codepage::toAnsi(value);
        for (const int code : Driver->CodesOfSysCode(Field.SYSCODE)) {
            if (const TASTMValue* v = echo(code))
                return bytesOf(*v);
        }
        return {};
    }
    }
    if (Field.CODE >= 1474 && Field.CODE <= 1478)
        return {};
    if (const TASTMValue* v = echo(Field.CODE))
        return bytesOf(*v);
    switch (Field.CODE) {
    case 149:
        return "R";
    case 155:
        return "N";
    case 169:
        return "O";
    case 1485:
        return orders && !orders->isEmpty() ? "0" : QByteArray();
    default:
        return {};
    }
}

std::unique_ptr<TASTMRecord> TASTMMessage::BuildRecord(char RecType, const TASTMMessage* Query)
{
    auto record = std::make_unique<TASTMRecord>();
    record->RecType = RecType;
    const std::vector<TASTMLayoutRow>& rows = Driver->LayoutRows(RecType);
    MemDataSet* orders = Driver->HostQuery ? Driver->HostQuery->Orders.get() : nullptr;
    QByteArray& text = record->Text;
    QByteArray pendingFields(1, FieldDelim);
    QByteArray pendingComponents;
    int lastRepeatAt = -1; // the orders row of the last repetition, so that each one moves on
    size_t i = 1;
    while (i < rows.size()) {
        const TASTMLayoutRow& row = rows[i];
        if (const TFldInfo* field = Driver->FieldOf(row.CODE)) {
            if (field->FLDTYPE == ftComposite) {
                pendingComponents = pendingFields;
                pendingFields += FieldDelim;
            } else {
                QByteArray bytes;
                if (field->FLDGROUP != 0)
                    bytes = AnswerValue(*field, Query);
                else if (row.CODE == 2)
                    bytes = "1";
                else if (row.CODE == 4)
                    bytes = QByteArray(1, RepeatDelim) + ComponentDelim + EscapeDelim + FieldDelim;
                if (!bytes.isEmpty()) {
                    if (row.RECCODE == 0) {
                        text += pendingFields + bytes;
                        pendingFields.clear();
                    } else {
                        text += pendingComponents + bytes;
                        pendingComponents.clear();
                        pendingFields = QByteArray(1, FieldDelim);
                    }
                }
                if (!(row.OPTIONS & 1)) {
                    if (row.RECCODE != 0)
                        pendingComponents += ComponentDelim;
                    else
                        pendingFields += FieldDelim;
                }
            }
        }
        ++i;
        // Each ordered test is one repetition of the test field.
        if (i < rows.size() && rows[i].CODE == 149 && orders && !orders->eof() &&
            orders->recNo() != lastRepeatAt) {
            lastRepeatAt = orders->recNo();
            const auto first = std::find_if(rows.begin(), rows.end(),
                                            [](const TASTMLayoutRow& r) { return r.ID == 72; });
            if (first != rows.end()) {
                i = size_t(first - rows.begin());
                pendingComponents = QByteArray(1, RepeatDelim);
            }
        }
    }
    return record;
}

// =============================================================================================
// TASTMDriver

TASTMDriver::TASTMDriver()
    : Message(std::make_unique<TASTMMessage>(this)), Record(std::make_unique<TASTMRecord>()),
      Frame(std::make_unique<TASTMFrame>())
{
}

TASTMDriver::~TASTMDriver() = default;

int TASTMDriver::GetFieldCount() const
{
    return int(std::size(FieldLabels));
}

void TASTMDriver::GetFieldInfo(int Index, TFldInfo& Info) const
{
    if (Index < 0 || Index >= GetFieldCount())
        throw Exception(QStringLiteral("ASTM: no field %1").arg(Index));
    Info = fieldInfo(Index);
}

int TASTMDriver::GetMode()
{
    return 3;
}

bool TASTMDriver::StartPolling()
{
    return false;
}

int TASTMDriver::GetDeviceFieldCount() const
{
    return 0;
}

void TASTMDriver::GetDeviceFieldInfo(int, TFldInfo&) const
{
    AbstractCall("GetDeviceFieldInfo");
}

void TASTMDriver::FillFields()
{
    TComDriver::FillFields();
    MemDataSet& fields = *Fields();
    fields.setIndexName(QStringLiteral("idxCODE"));
    for (int i = 0; i < GetDeviceFieldCount(); ++i) {
        TFldInfo info;
        GetDeviceFieldInfo(i, info);
        if (!fields.findKey({Variant(qint64(info.CODE))}))
            throw Exception(
                Format(QStringLiteral("ASTM. Не найдено поле с кодом %d"), {info.CODE}));
        fields.edit();
        fields.fieldByName(QStringLiteral("SYSCODE"))->setAsInteger(info.SYSCODE);
        fields.fieldByName(QStringLiteral("FLDGROUP"))->setAsInteger(info.FLDGROUP);
        fields.fieldByName(QStringLiteral("DEFLABEL"))->setAsString(info.DEFLABEL);
        fields.fieldByName(QStringLiteral("FLDTYPE"))->setAsInteger(info.FLDTYPE);
        fields.fieldByName(QStringLiteral("FLDLEN"))->setAsInteger(info.FLDLEN);
        fields.fieldByName(QStringLiteral("FLDCONT"))->setAsString(info.FLDCONT);
        fields.post();
    }
    fields.setIndexName(QStringLiteral("idxID"));
}

void TASTMDriver::Create()
{
    TComDriver::Create();

    RecordLayout = std::make_unique<MemDataSet>();
    RecordLayout->setObjectName(QStringLiteral("RecordLayout"));
    FieldDefs& defs = RecordLayout->fieldDefs();
    defs.add(FieldDef{QStringLiteral("ID"), FieldType::Integer, 0, true, true});
    defs.add(FieldDef{QStringLiteral("RECTYPE"), FieldType::String, 1, true, true});
    defs.add(FieldDef{QStringLiteral("NUM"), FieldType::Integer, 0, true, true});
    defs.add(FieldDef{QStringLiteral("CODE"), FieldType::Integer, 0, true, true});
    defs.add(FieldDef{QStringLiteral("RECCODE"), FieldType::Integer, 0, true, true});
    defs.add(FieldDef{QStringLiteral("OPTIONS"), FieldType::Integer, 0, true, true});
    RecordLayout->indexDefs().add(QStringLiteral("idxID"), QStringLiteral("ID"), IndexDef::Primary);
    RecordLayout->indexDefs().add(QStringLiteral("idxRecType"), QStringLiteral("RECTYPE;ID"));
    RecordLayout->createDataSet();

    m_layout.clear();
    m_layoutByType.assign(std::size(LayoutTypes) - 1, {});
    for (int t = 0; LayoutTypes[t]; ++t) {
        const char type = LayoutTypes[t];
        int num = 0;
        int component = 0;
        for (const LayoutEntry& e : layoutOf(type)) {
            component = e.reccode ? component + 1 : 0;
            if (!e.reccode)
                ++num;
            const TASTMLayoutRow row{int(m_layout.size()),
                                     type,
                                     e.reccode ? component : num,
                                     e.code,
                                     e.reccode,
                                     e.options};
            m_layout.push_back(row);
            m_layoutByType[size_t(t)].push_back(row);
            RecordLayout->appendRecord({Variant(qint64(row.ID)), Variant(QString(QChar(type))),
                                        Variant(qint64(row.NUM)), Variant(qint64(row.CODE)),
                                        Variant(qint64(row.RECCODE)),
                                        Variant(qint64(row.OPTIONS))});
        }
    }
    Q_ASSERT(m_layout.size() == 161);

    // The parser reads the fields table (with the device's fields in it) by code.
    m_fields.clear();
    m_fieldIndex.clear();
    MemDataSet& fields = *Fields();
    fields.setIndexName(QStringLiteral("idxID"));
    for (fields.first(); !fields.eof(); fields.next()) {
        TFldInfo info;
        info.CODE = int(fields.fieldByName(QStringLiteral("CODE"))->asInteger());
        info.SYSCODE = int(fields.fieldByName(QStringLiteral("SYSCODE"))->asInteger());
        info.FLDGROUP = int(fields.fieldByName(QStringLiteral("FLDGROUP"))->asInteger());
        info.DEFLABEL = fields.fieldByName(QStringLiteral("DEFLABEL"))->asString();
        info.FLDTYPE = int(fields.fieldByName(QStringLiteral("FLDTYPE"))->asInteger());
        info.FLDLEN = int(fields.fieldByName(QStringLiteral("FLDLEN"))->asInteger());
        info.FLDCONT = fields.fieldByName(QStringLiteral("FLDCONT"))->asString();
        if (info.CODE >= 0) {
            if (size_t(info.CODE) >= m_fieldIndex.size())
                m_fieldIndex.resize(size_t(info.CODE) + 1, -1);
            m_fieldIndex[size_t(info.CODE)] = int(m_fields.size());
        }
        m_fields.push_back(std::move(info));
    }
    m_layoutFieldsByType.assign(m_layoutByType.size(), {});
    for (size_t t = 0; t < m_layoutByType.size(); ++t) {
        for (const TASTMLayoutRow& row : m_layoutByType[t]) {
            const TFldInfo* info = FieldOf(row.CODE);
            m_layoutFieldsByType[t].push_back(info ? TASTMLayoutField{info, info->CODE,
                                                                      info->FLDTYPE, info->FLDGROUP,
                                                                      info->FLDLEN}
                                                   : TASTMLayoutField{});
        }
    }
}

const std::vector<TASTMLayoutRow>& TASTMDriver::LayoutRows(char RecType) const
{
    static const std::vector<TASTMLayoutRow> none;
    const int t = typeIndex(RecType);
    return t < 0 || size_t(t) >= m_layoutByType.size() ? none : m_layoutByType[size_t(t)];
}

const std::vector<TASTMLayoutField>& TASTMDriver::LayoutFields(char RecType) const
{
    static const std::vector<TASTMLayoutField> none;
    const int t = typeIndex(RecType);
    return t < 0 || size_t(t) >= m_layoutFieldsByType.size() ? none
                                                             : m_layoutFieldsByType[size_t(t)];
}

QList<int> TASTMDriver::CodesOfSysCode(int SysCode) const
{
    QList<int> codes;
    for (const TFldInfo& f : m_fields) {
        if (f.SYSCODE == SysCode)
            codes << f.CODE;
    }
    return codes;
}

void TASTMDriver::SaveToFile(const QString& FileName)
{
    Message->SaveToFile(FileName);
}

void TASTMDriver::LoadFromFile(const QString& FileName)
{
    Message->LoadFromFile(FileName);
}

void TASTMDriver::GetResults(TResInfo& ResInfo)
{
    Message->GetResults(ResInfo);
}

std::unique_ptr<TASTMMessage> TASTMDriver::NewMessage()
{
    return std::make_unique<TASTMMessage>(this);
}

void TASTMDriver::Log(const QString& Text) const
{
    WriteToLog(QStringLiteral("ASTM (source %1): ").arg(Number) + Text);
}

bool TASTMDriver::SendByte(char Byte)
{
    return Port && Port->SendChar(Byte);
}

// ---- receiving

void TASTMDriver::DataReceived(const char* Data, int Count)
{
    if (!Data || Count <= 0)
        return;
    // A second source bound to this driver may deliver while a chunk is handled: its bytes wait.
    if (m_receiving) {
        m_pending.append(Data, Count);
        return;
    }
    m_receiving = true;
    const auto done = qScopeGuard([this] { m_receiving = false; });
    QByteArray chunk(Data, Count);
    while (!chunk.isEmpty()) {
        Receive(chunk);
        chunk = std::exchange(m_pending, {});
    }
}

void TASTMDriver::Dump(const QByteArray& Chunk)
{
    try {
        QDir().mkpath(AddBackslash(WorkPath) + QStringLiteral("com_buf"));
        WriteRawDump(QStringLiteral("klb20_"), ASTMDumpCounter, Chunk);
    } catch (const Exception& e) {
        Log(QStringLiteral("a chunk received was not dumped: ") + e.message());
        ++ASTMDumpCounter;
    }
}

void TASTMDriver::Receive(const QByteArray& Chunk)
{
    Dump(Chunk);
    const char last = Chunk.back();
    switch (State) {
    case 0:
        if (last == ENQ && SendByte(ACK)) {
            State = 1;
            Record->Clear();
            Frame->Clear();
        }
        return;
    case 1:
        if (last == EOT) {
            EndOfMessage(false);
        } else if (last == ENQ) {
            // An EOT before the ENQ ended a message the analyser then followed with another.
            if (Chunk.lastIndexOf(EOT) >= 0)
                EndOfMessage(true);
            Message->Clear();
            Record->Clear();
            Frame->Clear();
            State = 1;
            SendByte(ACK);
        } else {
            ReceiveFrame(Chunk);
        }
        return;
    case 2:
        Reply(Chunk.front());
        return;
    default:
        return;
    }
}

void TASTMDriver::ReceiveFrame(const QByteArray& Chunk)
{
    try {
        if (!Frame->AddData(Chunk))
            return;
        if (!Frame->ChecksumOK) {
            SendByte(NAK);
            Frame->Clear();
            return;
        }
        SendByte(ACK);
        if (Record->AddFrame(*Frame))
            TakeRecord();
        Frame->Clear();
    } catch (const std::exception& e) {
        Frame->Clear();
        Log(QStringLiteral("a frame could not be taken: ") + exceptionMessage(e));
    }
}

void TASTMDriver::TakeRecord()
{
    if (Record->RecType == 'H') {
        // A header starts a new message: the one received so far is not lost.
        const int kind = Message->GetKind();
        if (kind == 3) {
            try {
                StoreMessage();
            } catch (const std::exception& e) {
                Log(QStringLiteral("a result message could not be stored: ") + exceptionMessage(e));
            }
        } else if (kind == 1) {
            DropQuery(QStringLiteral("a new header came before its end"));
        }
    }
    const quint8 frameNumber = Record->FrameNumber;
    Message->AddRecord(std::exchange(Record, Message->NewRecord()));
    Record->FrameNumber = frameNumber;
}

void TASTMDriver::EndOfMessage(bool Restarting)
{
    State = 0;
    switch (Message->GetKind()) {
    case 3:
        StoreMessage();
        break;
    case 1: {
        if (Restarting) {
            DropQuery(QStringLiteral("the analyser began a new transmission at once"));
            break;
        }
        auto answer = NewMessage();
        try {
            answer->BuildAnswer(*Message);
        } catch (...) {
            Message->Clear();
            Log(QStringLiteral("the host query failed; nothing is answered"));
            throw;
        }
        Message->Clear();
        SendMessage(std::move(answer));
        break;
    }
    default:
        break;
    }
}

void TASTMDriver::StoreMessage()
{
    const QString file = AddBackslash(ComBufDir) + QStringLiteral("~buf~.ast");
    Message->SaveToFile(file);
    Message->Clear();
    Frame->Clear();
    WorkstationService& workstation = Workstation();
    const int number = workstation.StoreResult(file, Number, QStringLiteral("AST"));
    if (number > 0)
        workstation.RefreshDocuments(number);
}

void TASTMDriver::DropQuery(const QString& Why)
{
    const QString* specimen = Message->ValueOf(146);
    Log(QStringLiteral("the query for specimen \"%1\" is dropped: %2")
            .arg(specimen ? *specimen : QString(), Why));
}

// ---- sending

void TASTMDriver::SendMessage(std::unique_ptr<TASTMMessage> Message_)
{
    if (Answer && State != 2)
        Log(QStringLiteral("a waiting answer is replaced by a newer one"));
    Answer = std::move(Message_);
    m_bids = 0;
    m_bidAt = clock::monotonicMs();
    if (State == 0)
        Bid();
}

void TASTMDriver::Bid()
{
    SendIndex = 0;
    ++m_bids;
    if (!SendByte(ENQ)) {
        BidFailed(NakBidDelayMs, QStringLiteral("the ENQ could not be written"));
        return;
    }
    State = 2;
    m_awaiting = Awaiting::EnqReply;
    m_deadline = clock::monotonicMs() + ReplyTimeoutMs;
}

void TASTMDriver::BidFailed(int DelayMs, const QString& Why)
{
    State = 0;
    m_awaiting = Awaiting::Nothing;
    if (m_bids >= MaxBids) {
        Answer.reset();
        Log(QStringLiteral("the answer is dropped after %1 bids: %2").arg(m_bids).arg(Why));
        return;
    }
    m_bidAt = clock::monotonicMs() + DelayMs;
}

void TASTMDriver::SendCurrentFrame()
{
    ++m_sends;
    m_deadline = clock::monotonicMs() + ReplyTimeoutMs;
    if (Port)
        Port->SendData(m_frameBytes.constData(), int(m_frameBytes.size()));
}

void TASTMDriver::GiveUp(const QString& Why)
{
    SendByte(EOT);
    State = 0;
    m_awaiting = Awaiting::Nothing;
    Answer.reset();
    Log(Why);
}

void TASTMDriver::Reply(char Byte)
{
    if (!Answer) {
        State = 0;
        return;
    }
    const int count = int(Answer->Records.size());
    if (m_awaiting == Awaiting::EnqReply) {
        switch (Byte) {
        case ACK:
            break; // the first frame goes below
        case NAK:
            BidFailed(NakBidDelayMs, QStringLiteral("the analyser refused the ENQ"));
            return;
        case ENQ:
            // The analyser wants to send: it wins, and its ENQ is answered when it bids again.
            BidFailed(ContentionBidDelayMs, QStringLiteral("the analyser bid at the same time"));
            return;
        default:
            return;
        }
    } else if (m_awaiting == Awaiting::FrameReply) {
        switch (Byte) {
        case ACK:
            break;
        case NAK:
            if (m_sends < MaxSends) {
                SendCurrentFrame();
            } else {
                GiveUp(QStringLiteral("frame %1 of the answer was refused %2 times; the answer "
                                      "is dropped")
                           .arg(SendIndex)
                           .arg(m_sends));
            }
            return;
        case EOT: {
            // The receiver's interrupt: the frame counts as taken, the rest is not sent.
            const int left = count - SendIndex;
            SendByte(EOT);
            State = 0;
            m_awaiting = Awaiting::Nothing;
            Answer.reset();
            if (left > 0)
                Log(QStringLiteral("the analyser interrupted the answer; %1 record(s) left "
                                   "unsent")
                        .arg(left));
            return;
        }
        default:
            return;
        }
    } else {
        return;
    }
    if (SendIndex >= count) {
        SendByte(EOT);
        State = 0;
        m_awaiting = Awaiting::Nothing;
        Answer.reset();
        return;
    }
    Answer->Records[size_t(SendIndex)]->BuildFrame(SendIndex, m_frameBytes);
    ++SendIndex;
    m_sends = 0;
    m_awaiting = Awaiting::FrameReply;
    SendCurrentFrame();
}

void TASTMDriver::Tick()
{
    if (m_receiving)
        return;
    const qint64 now = clock::monotonicMs();
    if (State == 2 && m_awaiting != Awaiting::Nothing && now >= m_deadline) {
        GiveUp(m_awaiting == Awaiting::EnqReply
                   ? QStringLiteral("no reply to the ENQ within 15 s; the answer is dropped")
                   : QStringLiteral("no reply to frame %1 within 15 s; the answer is dropped")
                         .arg(SendIndex));
    } else if (State == 0 && Answer && now >= m_bidAt) {
        Bid();
    }
}
