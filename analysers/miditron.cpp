// The Miditron driver: its device tables, the record parser, the record exchange with the
// analyser, and the reading of a stored sample into header fields and strip results.
#include "miditron.h"

#include <analysers/comdrv.h>
#include <analysers/workstation.h>
#include <platform/codepage.h>
#include <platform/controlchars.h>
#include <platform/regional.h>
#include <platform/softcheck.h>
#include <platform/support/paths.h>
#include <platform/support/textprocs.h>

#include <QScopeGuard>

#include <array>

namespace {

// What follows the last field of a record: ETX, two check characters, CR.
constexpr int TrailerSize = 4;

// The field codes of the strip lines.
constexpr int ChemistryLine = 5;
constexpr int PhysicalLine = 6;
constexpr int LineGroup = 3;

struct FieldDesc
{
    qint32 code, syscode, group;
    const char* label;
    qint32 type, length;
};

constexpr std::array<FieldDesc, 6> MiditronFields{{
    {1, scPatientID, 1, "Pat-ID", 3, 10},
    {2, scCarrierSeqNo, 1, "Seq.-NO.", 3, 5},
    {3, scDate, 1, "Date", 3, 8},
    {4, scTime, 1, "Time", 3, 5},
    {ChemistryLine, scDataLine, LineGroup, "Data", 4, 0},
    {PhysicalLine, scDataLine, LineGroup, "Data", 4, 0},
}};

constexpr std::array<TRecInfo, 11> MiditronRecords{{
    {mrA, 1, 1},
    {mrC, 1, 1},
    {mrC, 2, 2},
    {mrC, 3, 3},
    {mrC, 4, 4},
    {mrC, 5, ChemistryLine},
    {mrD, 1, 1},
    {mrD, 2, 2},
    {mrD, 3, 3},
    {mrD, 4, 4},
    {mrD, 5, PhysicalLine},
}};

struct TestDesc
{
    const char* code;
    const char* unit;
    const char* name;
};

const std::array<TestDesc, 12> MiditronTests{{
    {"SG", "г/см^3", "Плотность"},
    {"PH", "", "pH"},
    {"LEU", "в мкл", "Лейкоциты"},
    {"NIT", "мкмоль/л", "Нитриты"},
    {"PRO", "г/л", "Белок"},
    {"GLU", "ммоль/л", "Глюкоза"},
    {"KET", "ммоль/л", "Кетоны"},
    {"UBG", "мкмоль/л", "Уробилиноген"},
    {"BIL", "мкмоль/л", "Билирубин"},
    {"ERY", "в мкл", "Эритроциты"},
    {"COLOR", "", "Цвет"},
    {"CLEARITY", "", "Прозрачность"},
}};

// One item of a strip line: a test name, its value and its flag, each of a fixed width.
struct Item
{
    int name, value, flag;
};

// SG, PH, LEU, NIT, PRO, GLU, KET, UBG, BIL, ERY and one item no test reads.
constexpr std::array<Item, 11> ChemistryItems{{
    {2, 11, 0},
    {2, 9, 0},
    {3, 11, 6},
    {3, 3, 6},
    {3, 11, 6},
    {3, 11, 6},
    {3, 11, 6},
    {3, 11, 6},
    {3, 11, 6},
    {3, 11, 6},
    {3, 17, 0},
}};
// COLOR and CLARITY.
constexpr std::array<Item, 2> PhysicalItems{{{5, 14, 0}, {8, 11, 0}}};

// The kind characters of a record kind; empty for none.
QByteArray kindChars(int RecType)
{
    switch (RecType) {
    case mrA:
        return ";A";
    case mrC:
        return ";C";
    case mrD:
        return ";D";
    case mrStart:
        return "<";
    case mrAnswer:
        return ">";
    case mrQuestion:
        return "?";
    case mrEnd:
        return ":";
    default:
        return {};
    }
}

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray bytesOf(const TMemStream& Stream)
{
    return QByteArray(Stream.Memory(), Stream.Size());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMiditronRec

void TMiditronRec::Build(int RecType)
{
    Clear();
    const QByteArray record = STX + kindChars(RecType) + ETX + "3?" + CR;
    Data.Write(record.constData(), record.size());
    this->RecType = RecType;
}

int TMiditronRec::KindOf(const QByteArray& Record)
{
    if (Record.size() < 2 || Record.at(0) != STX)
        return mrNone;
    switch (Record.at(1)) {
    case ':':
        return mrEnd;
    case '<':
        return mrStart;
    case '>':
        return mrAnswer;
    case '?':
        return mrQuestion;
    case ';':
        if (Record.size() < 3)
            return mrNone;
        return Record.at(2) == 'A'   ? mrA
               : Record.at(2) == 'C' ? mrC
               : Record.at(2) == 'D' ? mrD
                                     : mrNone;
    default:
        return mrNone;
    }
}

bool TMiditronRec::Complete() const
{
    return Data.Size() > 0 && Data.Memory()[Data.Size() - 1] == CR;
}

bool TMiditronRec::Parse(TMemStream& Stream)
{
    const qint64 from = qBound<qint64>(0, Stream.Position(), Stream.Size());
    const QByteArrayView rest(Stream.Memory() + from, Stream.Size() - from);
    const qsizetype cr = rest.indexOf(CR);
    // The record that counts starts at the last STX before its CR: one begun earlier and not
    // finished was abandoned by the analyser.
    const qsizetype stx = (cr >= 0 ? rest.first(cr) : rest).lastIndexOf(STX);

    qsizetype start = 0;
    if (stx >= 0) {
        Clear();
        start = stx;
    } else if (Data.Size() > 0 && !Complete()) {
        start = 0; // the rest of the record begun in an earlier chunk
    } else {
        // Bytes of no record, up to and with the CR that ends them.
        Stream.SetPosition(cr >= 0 ? from + cr + 1 : Stream.Size());
        return false;
    }

    if (cr < 0) {
        Data.Write(rest.constData() + start, rest.size() - start);
        Stream.SetPosition(Stream.Size());
        return false;
    }
    Data.Write(rest.constData() + start, cr - start + 1);
    Stream.SetPosition(from + cr + 1);
    return Decode();
}

bool TMiditronRec::Decode()
{
    const QByteArray record = bytesOf(Data);
    RecType = KindOf(record);
    if (RecType == mrNone)
        return false;

    TDriver& driver = *Msg->Driver;
    MemDataSet& records = *driver.Records();
    MemDataSet& fields = *driver.Fields();
    records.setIndexFieldNames(QStringLiteral("RECTYPE;NUM"));
    records.setRange({RecType}, {RecType});
    fields.setIndexName(QStringLiteral("idxCODE"));

    // The values go to the message only from a well-formed record: a damaged one would put its
    // misplaced bytes first, and the first value of a field wins.
    QList<TFieldValue> values;
    qsizetype pos = 1 + kindChars(RecType).size();
    for (records.first(); !records.eof(); records.next()) {
        const int code = int(records.fieldByName(QStringLiteral("CODE"))->asInteger());
        if (!QV_SOFT_CHECK(fields.findKey({code}),
                           QStringLiteral("record table names field %1, which the Miditron "
                                          "field table lacks")
                               .arg(code)))
            continue;
        ++pos; // the separator
        const QString fixed = fields.fieldByName(QStringLiteral("FLDCONT"))->asString();
        const int length = int(fields.fieldByName(QStringLiteral("FLDLEN"))->asInteger());
        qsizetype width = 0;
        if (!fixed.isEmpty()) {
            width = fixed.size();
        } else if (length > 0) {
            width = length;
        } else {
            while (pos + width < record.size() && quint8(record.at(pos + width)) >= 0x20)
                ++width;
        }
        values.append({code, Trim(codepage::fromAnsi(record.mid(pos, width)))});
        pos += width;
    }
    records.cancelRange();
    if (record.size() - pos != TrailerSize)
        return false;
    for (const TFieldValue& v : std::as_const(values))
        Msg->AddValue(v.Code, v.Value);
    return true;
}

// ---------------------------------------------------------------------------------------------
// TMiditronMsg

bool TMiditronMsg::LoadFromFile(const QString& Name)
{
    const QList<QByteArray> stored = ReadRecordFile(Name);
    Clear();
    for (const QByteArray& bytes : stored) {
        TMiditronRec rec(this);
        TMemStream stream;
        stream.Write(bytes.constData(), bytes.size());
        stream.SetPosition(0);
        if (rec.Parse(stream))
            AddRecord(rec);
    }
    return !Records.isEmpty();
}

void TMiditronMsg::GetResults(TResInfo& ResInfo) const
{
    MemDataSet& fields = *Driver->Fields();
    MemDataSet& tests = *Driver->Tests();
    fields.setIndexName(QStringLiteral("idxCODE"));
    tests.setIndexName(QStringLiteral("idxCODE"));
    MemDataSet& header = ResInfo.Header();
    MemDataSet& results = ResInfo.Results();

    const auto cut = [&](const QString& line, const auto& items) {
        qsizetype pos = 0;
        for (const Item& item : items) {
            QString name = line.mid(pos, item.name);
            pos += item.name;
            if (name == QStringLiteral("CLARITY "))
                name = QStringLiteral("CLEARITY");
            const QString value = Trim(line.mid(pos, item.value));
            pos += item.value;
            const QString flag = item.flag > 0 ? Trim(line.mid(pos, item.flag)) : QString();
            pos += item.flag;
            if (!tests.findKey({name}))
                continue;
            double number = 0;
            results.append();
            results.fieldByName(QStringLiteral("ID"))->setAsInteger(results.recordCount() + 1);
            results.fieldByName(QStringLiteral("CODE"))
                ->setAsString(tests.fieldByName(QStringLiteral("CODE"))->asString());
            results.fieldByName(QStringLiteral("LABEL"))
                ->setAsString(tests.fieldByName(QStringLiteral("NAME"))->asString());
            results.fieldByName(QStringLiteral("VAL"))->setAsString(value);
            if (TryStrToFloat(value, number))
                results.fieldByName(QStringLiteral("UNIT"))
                    ->setAsString(tests.fieldByName(QStringLiteral("UNIT_"))->asString());
            if (!flag.isEmpty())
                results.fieldByName(QStringLiteral("STATE"))->setAsString(flag);
            results.post();
        }
    };

    for (const TFieldValue& v : Values) {
        if (!fields.findKey({v.Code}))
            continue;
        if (fields.fieldByName(QStringLiteral("FLDGROUP"))->asInteger() != LineGroup) {
            header.appendRecord({header.recordCount() + 1,
                                 fields.fieldByName(QStringLiteral("DEFLABEL"))->asString(),
                                 v.Value, v.Code});
        } else if (v.Code == ChemistryLine) {
            cut(v.Value, ChemistryItems);
        } else if (v.Code == PhysicalLine) {
            cut(v.Value, PhysicalItems);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TMiditronDriver

TMiditronDriver::TMiditronDriver()
    : m_msg(std::make_unique<TMiditronMsg>(this)),
      m_rec(std::make_unique<TMiditronRec>(m_msg.get()))
{
}

TMiditronDriver::~TMiditronDriver() = default;

int TMiditronDriver::GetFieldCount() const
{
    return int(MiditronFields.size());
}

void TMiditronDriver::GetFieldInfo(int Index, TFldInfo& Info) const
{
    const FieldDesc& d = MiditronFields.at(size_t(Index));
    Info = TFldInfo{d.code, d.syscode, d.group, QString::fromLatin1(d.label), d.type, d.length, {}};
}

int TMiditronDriver::GetRecordCount() const
{
    return int(MiditronRecords.size());
}

void TMiditronDriver::GetRecordInfo(int Index, TRecInfo& Info) const
{
    Info = MiditronRecords.at(size_t(Index));
}

int TMiditronDriver::GetTestCount() const
{
    return int(MiditronTests.size());
}

void TMiditronDriver::GetTestInfo(int Index, TTestInfo& Info) const
{
    const TestDesc& d = MiditronTests.at(size_t(Index));
    Info = TTestInfo{0, text(d.code), text(d.unit), text(d.name)};
}

void TMiditronDriver::PortReceiveData(TCommPortDriver*, const char* Data, int Count)
{
    if (!Data || Count <= 0)
        return;
    TMemStream chunk;
    chunk.Write(Data, Count);
    chunk.SetPosition(0);
    while (chunk.Position() < chunk.Size()) {
        if (m_rec->Parse(chunk))
            Handle();
    }
}

void TMiditronDriver::Handle()
{
    const int kind = m_rec->RecType;
    if (State == 0) {
        if (kind == mrStart) {
            Acknowledge();
            m_rec->Clear();
            m_msg->Clear();
            State = 1;
        }
        return;
    }
    switch (kind) {
    case mrC:
        m_msg->AddRecord(*m_rec);
        Acknowledge();
        m_rec->Clear();
        break;
    case mrD:
        m_msg->AddRecord(*m_rec);
        Acknowledge();
        m_rec->Clear();
        StoreSample();
        break;
    case mrStart:
    case mrQuestion:
        Acknowledge();
        m_rec->Clear();
        m_msg->Clear();
        break;
    case mrEnd:
        State = 0;
        break;
    default: // ";A" and ">" need nothing
        break;
    }
}

void TMiditronDriver::StoreSample()
{
    const QString file = AddBackslash(ComBufDir) + QStringLiteral("~buf~.mdt");
    // The sample is over whatever happens to its file: the next one starts empty.
    const auto clearAfter = qScopeGuard([this] { m_msg->Clear(); });
    m_msg->SaveToFile(file);
    WorkstationService& workstation = Workstation();
    workstation.RefreshDocuments(workstation.StoreResult(file, Number, QStringLiteral("mdt")));
}

void TMiditronDriver::Acknowledge()
{
    if (!QV_SOFT_CHECK(Port, QStringLiteral("the Miditron driver is bound to no port")))
        return;
    TMiditronRec answer(m_msg.get());
    answer.Build(mrAnswer);
    Port->SendData(answer.Data.Memory(), int(answer.Data.Size()));
}

void TMiditronDriver::LoadFromFile(const QString& FileName)
{
    m_msg->LoadFromFile(FileName);
}

void TMiditronDriver::GetResults(TResInfo& ResInfo)
{
    m_msg->GetResults(ResInfo);
}
