// The analyser driver base: creation of the description tables, the default virtual operations,
// the result holder, and the control-character, hexadecimal and byte-pattern helpers.
#include "drvmain.h"

#include <platform/codepage.h>
#include <platform/controlchars.h>
#include <platform/support/globals.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <typeinfo>
#ifdef __GNUG__
#include <cxxabi.h>
#endif

namespace {

struct ControlCharTag
{
    char byte;
    const char* name;
};

constexpr ControlCharTag ControlCharTags[] = {
    {SOH, "SOH"}, {STX, "STX"}, {ETX, "ETX"}, {EOT, "EOT"}, {ENQ, "ENQ"}, {ACK, "ACK"},
    {BEL, "BEL"}, {BS, "BS"},   {HT, "HT"},   {LF, "LF"},   {VT, "VT"},   {FF, "FF"},
    {CR, "CR"},   {SO, "SO"},   {SI, "SI"},   {DLE, "DLE"}, {DC1, "DC1"}, {DC2, "DC2"},
    {DC3, "DC3"}, {DC4, "DC4"}, {NAK, "NAK"}, {SYN, "SYN"}, {ETB, "ETB"}, {CAN, "CAN"},
    {EM, "EM"},   {SUB, "SUB"}, {ESC, "ESC"}, {FS, "FS"},   {GS, "GS"},   {RS, "RS"},
    {US, "US"}};

// The names by byte. Index 0 stands for no name: the byte 0 is copied as it is.
constexpr std::array<const char*, 32> ControlCharNames = [] {
    std::array<const char*, 32> names{};
    names[0] = "";
    for (const ControlCharTag& tag : ControlCharTags)
        names[size_t(tag.byte)] = tag.name;
    return names;
}();
static_assert(std::all_of(ControlCharNames.begin(), ControlCharNames.end(),
                          [](const char* name) { return name != nullptr; }),
              "every byte 1 to 31 has a name");

// The byte of an upper-case name given as bytes; -1 when it is none of the names.
int controlCharOf(const QByteArray& name)
{
    for (int b = 1; b <= 31; ++b) {
        if (name == ControlCharNames[b])
            return b;
    }
    return -1;
}

// A column definition; required texts take "" as a value, since descriptions and results hold
// empty labels and contents.
FieldDef column(const char* name, FieldType type, int size = 0, bool required = false)
{
    return FieldDef{QString::fromLatin1(name), type, size, required, required};
}

QString className(const std::type_info& type)
{
#ifdef __GNUG__
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    if (status == 0 && name)
        return QString::fromLatin1(name.get());
#endif
    return QString::fromLatin1(type.name());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TDriver

TDriver::TDriver() = default;

TDriver::~TDriver() = default;

void TDriver::Create()
{
    if (GetFieldCount() > 0) {
        CreateFieldsTable();
        Q_ASSERT(m_fields);
        m_fields->createDataSet();
        FillFields();
    }
    if (GetRecordCount() > 0) {
        CreateRecordsTable();
        Q_ASSERT(m_records);
        m_records->createDataSet();
        FillRecords();
    }
    CreateTestsTable();
    Q_ASSERT(m_tests);
    m_tests->createDataSet();
    if (GetTestCount() > 0)
        FillTests();
}

void TDriver::CreateFieldsTable()
{
    m_fields = std::make_unique<MemDataSet>();
    m_fields->setObjectName(QStringLiteral("Fields"));
    FieldDefs& defs = m_fields->fieldDefs();
    defs.add(column("ID", FieldType::Integer, 0, true));
    defs.add(column("CODE", FieldType::Integer, 0, true));
    defs.add(column("SYSCODE", FieldType::Integer, 0, true));
    defs.add(column("FLDGROUP", FieldType::Integer, 0, true));
    defs.add(column("DEFLABEL", FieldType::String, 255, true));
    defs.add(column("FLDTYPE", FieldType::Integer, 0, true));
    defs.add(column("FLDLEN", FieldType::Integer, 0, true));
    defs.add(column("FLDCONT", FieldType::String, 255, true));
    IndexDefs& indexes = m_fields->indexDefs();
    indexes.add(QStringLiteral("idxID"), QStringLiteral("ID"), IndexDef::Primary);
    indexes.add(QStringLiteral("idxCODE"), QStringLiteral("CODE"), IndexDef::Unique);
    indexes.add(QStringLiteral("idxSYSCODE"), QStringLiteral("SYSCODE"));
}

void TDriver::CreateRecordsTable()
{
    m_records = std::make_unique<MemDataSet>();
    m_records->setObjectName(QStringLiteral("Records"));
    FieldDefs& defs = m_records->fieldDefs();
    defs.add(column("ID", FieldType::Integer, 0, true));
    defs.add(column("RECTYPE", FieldType::Integer, 0, true));
    defs.add(column("NUM", FieldType::Integer, 0, true));
    defs.add(column("CODE", FieldType::Integer, 0, true));
    IndexDefs& indexes = m_records->indexDefs();
    indexes.add(QStringLiteral("idxID"), QStringLiteral("ID"), IndexDef::Primary);
    indexes.add(QStringLiteral("idxRECTYPE"), QStringLiteral("RECTYPE"));
}

void TDriver::CreateTestsTable()
{
    m_tests = std::make_unique<MemDataSet>();
    m_tests->setObjectName(QStringLiteral("Tests"));
    FieldDefs& defs = m_tests->fieldDefs();
    defs.add(column("ID", FieldType::Integer, 0, true));
    defs.add(column("NUM", FieldType::Integer));
    defs.add(column("CODE", FieldType::String, 30, true));
    defs.add(column("NAME", FieldType::String, 255));
    defs.add(column("UNIT_", FieldType::String, 50));
    defs.add(column("INST", FieldType::Boolean, 0, true));
    IndexDefs& indexes = m_tests->indexDefs();
    indexes.add(QStringLiteral("idxID"), QStringLiteral("ID"), IndexDef::Primary);
    indexes.add(QStringLiteral("idxNUM"), QStringLiteral("NUM"));
    indexes.add(QStringLiteral("idxCODE"), QStringLiteral("CODE"), IndexDef::CaseInsensitive);
}

void TDriver::AddField(int Index)
{
    TFldInfo info;
    GetFieldInfo(Index, info);
    MemDataSet& t = *m_fields;
    t.fieldByName(QStringLiteral("ID"))->setAsInteger(Index);
    t.fieldByName(QStringLiteral("CODE"))->setAsInteger(info.CODE);
    t.fieldByName(QStringLiteral("SYSCODE"))->setAsInteger(info.SYSCODE);
    t.fieldByName(QStringLiteral("FLDGROUP"))->setAsInteger(info.FLDGROUP);
    t.fieldByName(QStringLiteral("DEFLABEL"))->setAsString(info.DEFLABEL);
    t.fieldByName(QStringLiteral("FLDTYPE"))->setAsInteger(info.FLDTYPE);
    t.fieldByName(QStringLiteral("FLDLEN"))->setAsInteger(info.FLDLEN);
    t.fieldByName(QStringLiteral("FLDCONT"))->setAsString(info.FLDCONT);
}

void TDriver::AddRecord(int Index)
{
    TRecInfo info;
    GetRecordInfo(Index, info);
    MemDataSet& t = *m_records;
    t.fieldByName(QStringLiteral("ID"))->setAsInteger(Index);
    t.fieldByName(QStringLiteral("RECTYPE"))->setAsInteger(info.RECTYPE);
    t.fieldByName(QStringLiteral("NUM"))->setAsInteger(info.NUM);
    t.fieldByName(QStringLiteral("CODE"))->setAsInteger(info.CODE);
}

void TDriver::AddTest(int Index)
{
    TTestInfo info;
    GetTestInfo(Index, info);
    MemDataSet& t = *m_tests;
    t.fieldByName(QStringLiteral("ID"))->setAsInteger(Index);
    t.fieldByName(QStringLiteral("NUM"))->setAsInteger(info.NUM);
    t.fieldByName(QStringLiteral("CODE"))->setAsString(info.CODE);
    t.fieldByName(QStringLiteral("UNIT_"))->setAsString(info.UNIT_);
    t.fieldByName(QStringLiteral("NAME"))->setAsString(info.NAME);
    t.fieldByName(QStringLiteral("INST"))->setAsBoolean(true);
}

void TDriver::FillTable(MemDataSet& Table, int Count, void (TDriver::*Add)(int))
{
    for (int i = 0; i < Count; ++i) {
        Table.append();
        (this->*Add)(i);
        Table.post();
    }
}

void TDriver::FillFields()
{
    FillTable(*m_fields, GetFieldCount(), &TDriver::AddField);
}

void TDriver::FillRecords()
{
    FillTable(*m_records, GetRecordCount(), &TDriver::AddRecord);
}

void TDriver::FillTests()
{
    FillTable(*m_tests, GetTestCount(), &TDriver::AddTest);
}

int TDriver::GetFieldCount() const
{
    return 0;
}

void TDriver::GetFieldInfo(int, TFldInfo&) const
{
    AbstractCall("GetFieldInfo");
}

int TDriver::GetRecordCount() const
{
    return 0;
}

void TDriver::GetRecordInfo(int, TRecInfo&) const
{
    AbstractCall("GetRecordInfo");
}

int TDriver::GetTestCount() const
{
    return 0;
}

void TDriver::GetTestInfo(int, TTestInfo&) const
{
    AbstractCall("GetTestInfo");
}

void TDriver::DataReceived(const char*, int)
{
    AbstractCall("DataReceived");
}

void TDriver::PortReceiveData(TCommPortDriver*, const char*, int)
{
    AbstractCall("PortReceiveData");
}

bool TDriver::FindFieldInfo(int Code, TFldInfo& Info) const
{
    for (int i = 0, n = GetFieldCount(); i < n; ++i) {
        TFldInfo candidate;
        GetFieldInfo(i, candidate);
        if (candidate.CODE == Code) {
            Info = std::move(candidate);
            return true;
        }
    }
    return false;
}

void TDriver::SaveToFile(const QString&)
{
    AbstractCall("SaveToFile");
}

void TDriver::LoadFromFile(const QString&)
{
    AbstractCall("LoadFromFile");
}

void TDriver::GetResults(TResInfo&)
{
    AbstractCall("GetResults");
}

bool TDriver::GetSysCodeValue(int SysCode, QString& Value)
{
    if (SysCode != scSenderName)
        return false;
    Value = ProgName;
    return true;
}

bool TDriver::GetFlag() const
{
    return Flag;
}

void TDriver::SetFlag(bool Value)
{
    Flag = Value;
}

void TDriver::AbstractCall(const char* Operation) const
{
    throw EAbstractError(QStringLiteral("Abstract error: %1 does not provide %2")
                             .arg(className(typeid(*this)), QLatin1String(Operation)));
}

// ---------------------------------------------------------------------------------------------
// TResInfo

TResInfo::TResInfo()
{
    m_header.setObjectName(QStringLiteral("Header"));
    FieldDefs& header = m_header.fieldDefs();
    header.add(column("ID", FieldType::Integer, 0, true));
    header.add(column("NAME", FieldType::String, 255, true));
    header.add(column("VAL", FieldType::String, 255));
    header.add(column("CODE", FieldType::Integer, 0, true));
    m_header.indexDefs().add(QStringLiteral("idxID"), QStringLiteral("ID"), IndexDef::Primary);
    m_header.createDataSet();

    m_results.setObjectName(QStringLiteral("Results"));
    FieldDefs& results = m_results.fieldDefs();
    results.add(column("ID", FieldType::Integer, 0, true));
    results.add(column("NUM", FieldType::String, 30));
    results.add(column("CODE", FieldType::String, 30));
    results.add(column("LABEL", FieldType::String, 255));
    results.add(column("VAL", FieldType::String, 100));
    results.add(column("UNIT", FieldType::String, 80));
    results.add(column("STATE", FieldType::String, 150));
    results.add(column("COMMENT", FieldType::Memo));
    m_results.indexDefs().add(QStringLiteral("idxID"), QStringLiteral("ID"), IndexDef::Primary);
    m_results.createDataSet();
}

TResInfo::~TResInfo() = default;

// ---------------------------------------------------------------------------------------------
// Control characters

QString ControlCharName(int Byte)
{
    if (Byte < 1 || Byte > 31)
        return QString();
    return QString::fromLatin1(ControlCharNames[Byte]);
}

int ControlCharByName(QStringView Name)
{
    for (int b = 1; b <= 31; ++b) {
        if (Name == QLatin1String(ControlCharNames[b]))
            return b;
    }
    return -1;
}

void BytesToTagText(const char* Data, int Count, QString& Text)
{
    if (Count <= 0)
        return;
    // The code pages are single-byte: character i of the decoded text is byte i.
    const QString chars = codepage::fromAnsi(QByteArray(Data, Count));
    Q_ASSERT(chars.size() == Count);
    QString text;
    text.reserve(Count + 16);
    for (const QChar c : chars) {
        const ushort u = c.unicode();
        if (u >= 1 && u <= 31)
            text += QLatin1Char('[') + QLatin1String(ControlCharNames[u]) + QLatin1Char(']');
        else
            text += c;
    }
    Text = text;
}

QString BytesToTagText(const QByteArray& Data)
{
    QString text;
    BytesToTagText(Data.constData(), int(Data.size()), text);
    return text;
}

void TagTextToBytes(char* Data, int& Count)
{
    // The output never outruns the input (a name of two or three letters in brackets becomes
    // one byte, everything else is copied), so the conversion runs in place. The names have at
    // most three letters: a "]" farther away than that closes no name.
    constexpr int longestName = 3;
    int out = 0;
    int i = 0;
    while (i < Count) {
        if (Data[i] == '[') {
            const int span = qMin(Count - i - 1, longestName + 1);
            const void* found = std::memchr(Data + i + 1, ']', size_t(span));
            if (found) {
                const int close = int(static_cast<const char*>(found) - Data);
                const int byte = controlCharOf(QByteArray(Data + i + 1, close - i - 1).toUpper());
                if (byte > 0) {
                    Data[out++] = char(byte);
                    i = close + 1;
                    continue;
                }
            }
        }
        Data[out++] = Data[i++];
    }
    Count = out;
}

void TagTextToBytes(QByteArray& Data)
{
    int count = int(Data.size());
    TagTextToBytes(Data.data(), count);
    Data.truncate(count);
}

// ---------------------------------------------------------------------------------------------
// Hexadecimal

bool IsHexChar(char Ch)
{
    return (Ch >= '0' && Ch <= '9') || (Ch >= 'A' && Ch <= 'F');
}

namespace {

// Digit i of the text is text(i), as a character code. More than 8 digits would overflow.
template <class Digits> int hexValue(const Digits& text, qsizetype size, const QString& shown)
{
    const auto refuse = [&] {
        return EConvertError(QStringLiteral("'%1' is not a valid hexadecimal number").arg(shown));
    };
    if (size == 0 || size > 8)
        throw refuse();
    quint32 value = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const uint u = text(i);
        if (u > 0x7F || !IsHexChar(char(u)))
            throw refuse();
        value = value * 16 + (u <= '9' ? u - '0' : u - 'A' + 10);
    }
    return int(value);
}

} // namespace

int HexToInt(const QByteArray& Text)
{
    return hexValue([&](qsizetype i) { return uint(uchar(Text.at(i))); }, Text.size(),
                    codepage::fromAnsi(Text));
}

int HexToInt(QStringView Text)
{
    return hexValue([&](qsizetype i) { return uint(Text.at(i).unicode()); }, Text.size(),
                    Text.toString());
}

// ---------------------------------------------------------------------------------------------
// Bytes

int FindBytes(const char* Pattern, int PatternLength, const char* Data, int DataLength)
{
    if (DataLength < 1 || PatternLength < 0 || DataLength < PatternLength)
        return -1;
    for (int i = 0; i <= DataLength - PatternLength; ++i) {
        if (std::memcmp(Data + i, Pattern, size_t(PatternLength)) == 0)
            return i;
    }
    return -1;
}

int FindBytes(const QByteArray& Pattern, const QByteArray& Data)
{
    return FindBytes(Pattern.constData(), int(Pattern.size()), Data.constData(), int(Data.size()));
}

bool SameBytes(const char* A, int LengthA, const char* B, int LengthB)
{
    if (LengthA != LengthB)
        return false;
    return LengthA <= 0 || std::memcmp(A, B, size_t(LengthA)) == 0;
}

bool SameBytes(const QByteArray& A, const QByteArray& B)
{
    return SameBytes(A.constData(), int(A.size()), B.constData(), int(B.size()));
}
