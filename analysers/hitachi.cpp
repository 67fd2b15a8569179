// The Hitachi drivers' common ground: transliteration, the frame and its sample fields, the order
// answer's blocks, the receive buffer and the hand-over of a result.
#include "hitachi.h"

#include <analysers/comdrv.h>
#include <analysers/hostquery.h>
#include <analysers/rawdump.h>
#include <analysers/workstation.h>
#include <kernel/dbaccess.h>
#include <platform/codepage.h>
#include <platform/controlchars.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/format.h>
#include <platform/regional.h>
#include <platform/softcheck.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <platform/support/procs.h>

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace {

// A receive buffer holding the STX of a new frame, with room for the longest frame.
QByteArray startOfFrame()
{
    QByteArray buffer;
    buffer.reserve(THitachiDriver::ReceiveCapacity);
    buffer.append(STX);
    return buffer;
}

const QString CyrillicTable = QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧ Ш Щ ЪЫЬЭЮЯ ");
const QString LatinTable = QStringLiteral("ABVGDEEGZIIKLMNOPRSTYFHCCHSHSH__'EUYA");
static_assert(sizeof("ABVGDEEGZIIKLMNOPRSTYFHCCHSHSH__'EUYA") == 38, "37 Latin characters");

QString upper1251(QChar c)
{
    return codepage::upper(QString(c), codepage::Cp1251);
}

bool isBlank(const QByteArray& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// The value of a field as an integer within [Low, High]; none for anything else (blanks, letters,
// a number out of range).
std::optional<int> inRange(const QByteArray& text, int low, int high)
{
    int value = 0;
    if (!TryStrToInt(QString::fromLatin1(text.trimmed()), value) || value < low || value > high)
        return std::nullopt;
    return value;
}

QString ansi(const QByteArray& bytes)
{
    return codepage::fromAnsi(bytes);
}

// Asks the operator about a value out of range: OK refuses the frame, Cancel skips the field.
void outOfRange(const char* name, const QByteArray& value)
{
    const QString format = QStringLiteral("Некорректное значение %1 = %S").arg(QLatin1String(name));
    if (ErrorOkCancelFmt(format, {ansi(value)}))
        throw TFrameRefused{QStringLiteral("%1 \"%2\" refused by the operator")
                                .arg(QLatin1String(name), ansi(value))};
}

// A field of Width characters stored as received when it is a number from Low to High.
void numberField(TFrameReader& reader, THitachiFrame& frame, const char* name, int width, int low,
                 int high)
{
    const QByteArray value = reader.Take(width);
    if (inRange(value, low, high))
        frame.AddField(QLatin1String(name), ansi(value));
    else
        outOfRange(name, value);
}

// The date or time parts, each of two characters within its range, joined by the separator in
// the order given; a part out of range asks with an empty text.
void partsField(THitachiFrame& frame, const char* name, const QList<QByteArray>& parts,
                const QList<std::pair<int, int>>& ranges, const QList<int>& order, QChar separator)
{
    for (int i = 0; i < parts.size(); ++i) {
        if (!inRange(parts[i], ranges[i].first, ranges[i].second)) {
            if (ErrorOkCancelFmt(QString(), {}))
                throw TFrameRefused{QStringLiteral("%1 \"%2\" refused by the operator")
                                        .arg(QLatin1String(name), ansi(parts.join()))};
            return;
        }
    }
    QStringList shown;
    for (const int i : order)
        shown << ansi(parts[i]);
    frame.AddField(QLatin1String(name), shown.join(separator));
}

// The right-aligned field of the answer: the value cut to the width, blanks where it is missing.
QByteArray rightAligned(const THitachiFrame& frame, const char* name, int width)
{
    return codepage::toAnsi(frame.Field(QLatin1String(name)).value_or(QString()))
        .rightJustified(width, ' ', true);
}

// Two characters of a "dd/mm/yy" or "hh:mm" value; blanks when the value is not of that form.
QByteArray partOf(const std::optional<QString>& value, int part, int parts)
{
    const QStringList items =
        value ? value->split(QRegularExpression(QStringLiteral("[/:]"))) : QStringList();
    if (items.size() != parts || items.at(part).size() != 2)
        return "  ";
    return codepage::toAnsi(items.at(part));
}

const TDBCache* patientRow(const TDriver& driver)
{
    const TDBCache* cache = driver.HostQuery ? driver.HostQuery->PatientCache.get() : nullptr;
    return cache && cache->Active() && !cache->isEmpty() ? cache : nullptr;
}

} // namespace

bool IsOneOf(char C, const char* Set)
{
    return C != 0 && std::strchr(Set, C) != nullptr;
}

QString Translit(const QString& Text)
{
    QString out;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text.at(i);
        const QString up = upper1251(c);
        const qsizetype k = c == QLatin1Char(' ') ? -1 : CyrillicTable.indexOf(up);
        if (k < 0) {
            out += c;
            continue;
        }
        const bool upperCase = up == QString(c);
        qsizetype end = k + 1;
        while (end < CyrillicTable.size() && CyrillicTable.at(end) == QLatin1Char(' '))
            ++end;
        for (qsizetype j = k; j < end; ++j) {
            const QChar latin = LatinTable.at(j);
            const bool asUpper = upperCase && (j == k || i > 0);
            out += asUpper ? latin : latin.toLower();
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// The frame

void THitachiFrame::AddField(const QString& Name, const QString& Value)
{
    if (Field(Name))
        throw Exception(Format(QStringLiteral("Параметр данных %S уже существует."), {Name}));
    Fields.append(Name + QLatin1Char('=') + Value);
}

std::optional<QString> THitachiFrame::Field(const QString& Name) const
{
    for (const QString& line : Fields) {
        if (line.size() > Name.size() && line.at(Name.size()) == QLatin1Char('=') &&
            line.startsWith(Name))
            return line.mid(Name.size() + 1);
    }
    return std::nullopt;
}

QByteArray TFrameReader::Take(int Count)
{
    if (Count > m_etx - m_pos)
        throw TFrameRefused{QStringLiteral("the frame ends within its fields")};
    const QByteArray part = m_frame.mid(m_pos, Count);
    m_pos += Count;
    return part;
}

QByteArray HexPair(quint8 Byte)
{
    return QByteArray::number(Byte, 16).toUpper().rightJustified(2, '0');
}

void ReadContainerInfo(TFrameReader& Reader, THitachiFrame& Frame)
{
    Frame.AddField(QStringLiteral("ContainerInfo"),
                   QString::fromLatin1(HexPair(Reader.TakeByte())));
}

void ReadSampleFields(TFrameReader& Reader, THitachiFrame& Frame, const TSampleLayout& Layout)
{
    if (Layout.ContainerInfo)
        ReadContainerInfo(Reader, Frame);
    const QByteArray sampleNo = Reader.Take(Layout.SampleNoWidth);
    if (!isBlank(sampleNo)) {
        if (inRange(sampleNo, 1, Layout.SampleNoMax))
            Frame.AddField(QStringLiteral("SampleNo"), ansi(sampleNo));
        else
            outOfRange("SampleNo", sampleNo);
    }
    numberField(Reader, Frame, "DiskNo", 1, 0, 9);
    numberField(Reader, Frame, "PositionNo", 2, 1, Frame.ClassNo == 2 ? 70 : 50);
    if (Layout.SampleCup)
        numberField(Reader, Frame, "SampleCup", 1, 1, 5);
    Frame.AddField(QStringLiteral("Code"), ansi(Reader.Take(13)).trimmed());

    const QByteArray ageCnt = Reader.Take(3);
    if (isBlank(ageCnt)) {
        Frame.AddField(QStringLiteral("AgeUnit"), ansi(Reader.Take(1)));
    } else {
        if (inRange(ageCnt, 0, 200))
            Frame.AddField(QStringLiteral("AgeCnt"), ansi(ageCnt));
        else
            outOfRange("AgeCnt", ageCnt);
        numberField(Reader, Frame, "AgeUnit", 1, 1, 3);
    }

    const QByteArray sex = Reader.Take(1);
    if (sex == " " || inRange(sex, 0, 2))
        Frame.AddField(QStringLiteral("Sex"), ansi(sex));
    else
        outOfRange("Sex", sex);

    const QByteArray date = Reader.Take(6);
    partsField(Frame, "Date", {date.mid(0, 2), date.mid(2, 2), date.mid(4, 2)},
               {{0, 12}, {0, 31}, {0, 99}}, {1, 0, 2}, QLatin1Char('/'));
    const QByteArray time = Reader.Take(4);
    partsField(Frame, "Time", {time.mid(0, 2), time.mid(2, 2)}, {{0, 23}, {0, 59}}, {0, 1},
               QLatin1Char(':'));
}

// ---------------------------------------------------------------------------------------------
// The order answer

QByteArray OrderSampleBlock(const THitachiFrame& Frame, const TSampleLayout& Layout)
{
    const bool control = Frame.ClassNo == 3;
    QByteArray block;
    if (control)
        block += rightAligned(Frame, "ControlNo", 2) + rightAligned(Frame, "SeqNo", 3);
    else
        block += rightAligned(Frame, "SampleNo", Layout.SampleNoWidth);
    block += rightAligned(Frame, "DiskNo", 1) + rightAligned(Frame, "PositionNo", 2);
    if (Layout.SampleCup)
        block += rightAligned(Frame, "SampleCup", 1);
    block += rightAligned(Frame, "Code", 13);
    if (control)
        return block + QByteArray(15, ' ');
    const std::optional<QString> date = Frame.Field(QStringLiteral("Date"));
    const std::optional<QString> time = Frame.Field(QStringLiteral("Time"));
    block += rightAligned(Frame, "AgeCnt", 3) + rightAligned(Frame, "AgeUnit", 1) +
             rightAligned(Frame, "Sex", 1);
    block +=
        date ? partOf(date, 1, 3) + partOf(date, 0, 3) + partOf(date, 2, 3) : QByteArray(6, ' ');
    block += time ? partOf(time, 0, 2) + partOf(time, 1, 2) : QByteArray(4, ' ');
    return block;
}

QByteArray OrderTestBlock(const TDriver& Driver)
{
    QByteArray flags(48, '0');
    TDBCache* ordered = Driver.HostQuery ? Driver.HostQuery->OrderedTests.get() : nullptr;
    if (ordered && ordered->Active()) {
        for (ordered->first(); !ordered->eof(); ordered->next()) {
            const Field* index = ordered->FieldByName(QStringLiteral("TEST_INDEX"));
            const qint64 i = index->isNull() ? 0 : index->asInteger();
            if (i >= 1 && i <= 48)
                flags[i - 1] = '1';
        }
    }
    return "48" + flags;
}

QByteArray OrderColumn(const QString& Text, int Width)
{
    return codepage::toAnsi(Text).leftJustified(Width, ' ', true);
}

QString OrderSex(const TDriver& Driver)
{
    const TDBCache* row = patientRow(Driver);
    const Field* pol = row ? row->FieldByName(QStringLiteral("POL")) : nullptr;
    if (!pol || pol->isNull())
        return QStringLiteral(" ");
    switch (pol->asInteger()) {
    case 0:
        return QStringLiteral("1");
    case 1:
        return QStringLiteral("2");
    default:
        return QStringLiteral(" ");
    }
}

QString OrderPatientNumber(const TDriver& Driver)
{
    const TDBCache* row = patientRow(Driver);
    return row ? row->FieldByName(QStringLiteral("N_OMON"))->asString() : QString();
}

// ---------------------------------------------------------------------------------------------
// The driver

THitachiDriver::THitachiDriver(QString Unit_, QString DumpPrefix)
    : Unit(std::move(Unit_)), RefusedPrefix(std::move(DumpPrefix))
{
    m_buffer.reserve(ReceiveCapacity);
}

THitachiDriver::~THitachiDriver() = default;

int THitachiDriver::GetFieldCount() const
{
    return 5;
}

void THitachiDriver::GetFieldInfo(int Index, TFldInfo& Info) const
{
    static const char* const labels[] = {"Patient ID", "Patint name", "Patient age", "Patient sex",
                                         "Medecin name"};
    if (!QV_SOFT_CHECK(Index >= 0 && Index < 5, QStringLiteral("no field %1").arg(Index)))
        return;
    Info = TFldInfo{Index + 1, scPatientID + Index, 1, QLatin1String(labels[Index]), 4, 0, {}};
}

void THitachiDriver::DataReceived(const char* Data, int Count)
{
    if (!Data || Count <= 0)
        return;
    // A second source bound to this driver may deliver while a box is open: its bytes wait.
    if (m_receiving) {
        m_pending.append(Data, Count);
        return;
    }
    m_receiving = true;
    m_error = nullptr;
    QByteArray chunk(Data, Count);
    while (!chunk.isEmpty()) {
        for (const char byte : std::as_const(chunk)) {
            try {
                Take(byte);
            } catch (const TFrameRefused& refused) {
                QV_SOFT_CHECK(false, refused.Reason); // refusals are handled by the frame
            } catch (...) {
                if (!m_error)
                    m_error = std::current_exception();
            }
        }
        chunk = std::exchange(m_pending, {});
    }
    m_receiving = false;
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

void THitachiDriver::Take(char Byte)
{
    if (m_buffer.isEmpty()) {
        if (Byte == STX)
            m_buffer.append(Byte);
        return;
    }
    if (Byte == STX && !StxIsData(m_buffer)) {
        // The new frame begins before the old one is dumped, which may fail.
        const QByteArray broken = std::exchange(m_buffer, startOfFrame());
        Drop(broken, QStringLiteral("was broken off by a new frame"));
        return;
    }
    m_buffer.append(Byte);
    if (Complete(m_buffer))
        HandleFrame(std::exchange(m_buffer, QByteArray()));
    else if (m_buffer.size() >= ReceiveCapacity)
        Drop(std::exchange(m_buffer, QByteArray()),
             QStringLiteral("filled the receive buffer without an end"));
    if (m_buffer.capacity() < ReceiveCapacity)
        m_buffer.reserve(ReceiveCapacity);
}

void THitachiDriver::Drop(const QByteArray& Bytes, const QString& Why)
{
    const QString dump = Dump(RefusedPrefix, Bytes);
    WriteToLog(QStringLiteral("Hitachi %1 (source %2): %3 bytes from STX %4; not answered, kept "
                              "in \"%5\"")
                   .arg(Unit)
                   .arg(Number)
                   .arg(Bytes.size())
                   .arg(Why, dump));
}

QString THitachiDriver::Dump(const QString& Prefix, const QByteArray& Bytes)
{
    QDir().mkpath(AddBackslash(WorkPath) + QStringLiteral("com_buf"));
    return WriteRawDump(Prefix, m_dumpCounters[Prefix], Bytes);
}

bool THitachiDriver::Write(const QByteArray& Bytes)
{
    if (!QV_SOFT_CHECK(Port, QStringLiteral("the Hitachi %1 driver is bound to no port").arg(Unit)))
        return false;
    return Port->SendData(Bytes.constData(), int(Bytes.size())) == Bytes.size();
}

void THitachiDriver::SendFailed(const char* Frame)
{
    ErrorOkCancelFmt(QStringLiteral("Ошибка пересылки Host => CU. Frame: %S."),
                     {QString::fromLatin1(Frame)});
}

QString THitachiDriver::AlarmMeaning(char) const
{
    return {};
}

int THitachiDriver::StoreFrame(const THitachiFrame& Frame)
{
    const QString file = AddBackslash(ComBufDir) + QStringLiteral("~buf~.") + Unit;
    QByteArray text;
    for (const QString& line : Frame.Fields)
        text += codepage::toAnsi(line) + "\r\n";
    QString error;
    if (!fileops::writeFile(file, text, &error))
        throw EInOutError(QStringLiteral("Cannot write the result file: %1").arg(error));

    WorkstationService& workstation = Workstation();
    const int number = workstation.StoreResult(file, Number, Unit);
    if (number < 1)
        return 0;
    workstation.RefreshDocuments(number);
    for (const auto& [test, alarm] : Frame.Alarms) {
        const QString meaning = AlarmMeaning(alarm);
        WriteToLog(QStringLiteral("Hitachi %1: document %2, SampleNo %3, Code %4, test %5: data "
                                  "alarm %6%7")
                       .arg(Unit)
                       .arg(number)
                       .arg(Frame.Field(QStringLiteral("SampleNo")).value_or(QString()).trimmed(),
                            Frame.Field(QStringLiteral("Code")).value_or(QString()), test,
                            ansi(QByteArray(1, alarm)),
                            meaning.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(meaning)));
    }
    return number;
}
