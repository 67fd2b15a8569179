// The Hitachi 911 host protocol: its frames, its sample types and data alarms, the order answer,
// the paced sending and the handling of each frame received.
#include "hitachi911.h"

#include <platform/codepage.h>
#include <platform/controlchars.h>
#include <platform/exception.h>
#include <platform/regional.h>
#include <platform/support/logfile.h>
#include <platform/support/procs.h>

#include <chrono>
#include <thread>

namespace {

const TSampleLayout Layout{true, 3, 800, false};

struct Meaning
{
    char key;
    const char* text;
};

constexpr Meaning SampleTypes[] = {
    {'A', "Routine sample"},
    {'B', "Routine sample"},
    {'C', "Routine sample (automatic rerun)"},
    {'D', "Routine sample (automatic rerun)"},
    {'E', "Routine sample (manual rerun)"},
    {'F', "Routine sample (manual rerun)"},
    {'G', "Stat sample"},
    {'H', "Stat sample"},
    {'I', "Stat sample (automatic rerun)"},
    {'J', "Stat sample (automatic rerun)"},
    {'K', "Control sample"},
    {'L', "Control sample"},
    {'M', "Calibration sample"},
    {'N', "Calibration sample"},
    {'O', "Absorbance data (routine)"},
    {'P', "Absorbance data (routine)"},
    {'Q', "Absorbance data (Stat)"},
    {'R', "Absorbance data (Stat)"},
    {'S', "Routine sample"},
    {'T', "Routine sample"},
    {'U', "Routine sample (automatic rerun)"},
    {'V', "Routine sample (automatic rerun)"},
    {'W', "Routine sample (manual rerun)"},
    {'X', "Routine sample (manual rerun)"},
};

constexpr Meaning DataAlarms[] = {
    {'A', "ADC abnormal (ADC?)"},
    {'Q', "Cell blank abnormal (CELL?)"},
    {'V', "Sample short (SAMPL)"},
    {'T', "Reagent short (REAGN)"},
    {'Z', "Absorbance over (ABS?)"},
    {'P', "PROZONE error (.....P)"},
    {'I', "Reac limit over at all points (LIMT0)"},
    {'J', "Reaction limit over except at 1 point (LIMT1)"},
    {'K', "Reaction limit over except at 2 or 3 points (LIMT2)"},
    {'W', "Linearity abnormal for 9 points or more (LIN.)"},
    {'F', "Linearity abnormal for 8 points or less (LIN.8)"},
    {'H', "Standard 1 absorbance abnormal (S1ABS?)"},
    {'U', "Duplicate error (DUP)"},
    {'S', "STD error (STD?)"},
    {'Y', "Sensitivity error (SENS)"},
    {'B', "Calibration error (CALIB)"},
    {'G', "SD error (SD?)"},
    {'N', "Noise error (NOISE)"},
    {'L', "Level error (LEVEL)"},
    {'E', "Slope abnormal (SLOPE?)"},
    {'R', "Preparation abnormal (PREP.)"},
    {'D', "Internal standard concentration abnormal (I.STD)"},
};

template <size_t N> QString meaningOf(const Meaning (&table)[N], char key)
{
    for (const Meaning& m : table) {
        if (m.key == key)
            return QLatin1String(m.text);
    }
    return {};
}

// The function characters whose frames carry a sample (and its ContainerInfo byte).
constexpr const char* SampleFrames = "12:;";

quint8 checksum(const QByteArray& bytes)
{
    quint8 sum = 0;
    for (const char c : bytes)
        sum = quint8(sum + quint8(c));
    return sum;
}

quint8 classOf(char letter)
{
    if (IsOneOf(letter, "ABCDEFSTUVWX"))
        return 1;
    if (IsOneOf(letter, "GHIJ"))
        return 2;
    if (IsOneOf(letter, "KL"))
        return 3;
    if (IsOneOf(letter, "MN"))
        return 4;
    if (IsOneOf(letter, "OPQR"))
        return 5;
    return 0;
}

QString functionCharText(char c)
{
    return QLatin1Char('$') + QString::fromLatin1(HexPair(quint8(c)));
}

void readTests(TFrameReader& reader, THitachiFrame& frame)
{
    int count = 0;
    if (!TryStrToInt(QString::fromLatin1(reader.Take(2).trimmed()), count))
        count = 0;
    for (int i = 0; i < count; ++i) {
        const QString number = codepage::fromAnsi(reader.Take(2)).trimmed();
        const QString result = codepage::fromAnsi(reader.Take(6)).remove(QLatin1Char(' '));
        const char alarm = reader.TakeByte();
        frame.AddField(number, result);
        if (alarm != ' ')
            frame.Alarms.append({number, alarm});
    }
}

} // namespace

THitachi911Driver::THitachi911Driver()
    : THitachiDriver(QStringLiteral("911"), QStringLiteral("!h911_"))
{
}

QString THitachi911Driver::SampleTypeMeaning(char Letter)
{
    return meaningOf(SampleTypes, Letter);
}

QString THitachi911Driver::DataAlarmMeaning(char Alarm)
{
    return meaningOf(DataAlarms, Alarm);
}

QString THitachi911Driver::AlarmMeaning(char Alarm) const
{
    return DataAlarmMeaning(Alarm);
}

QByteArray THitachi911Driver::Frame(char FrameChar, const QByteArray& Body)
{
    const QByteArray checked = FrameChar + Body;
    return STX + checked + ETX + HexPair(checksum(checked)) + CR;
}

bool THitachi911Driver::StxIsData(const QByteArray& Buffer) const
{
    return Buffer.size() == 3 && IsOneOf(Buffer[1], SampleFrames);
}

bool THitachi911Driver::Complete(const QByteArray& Buffer) const
{
    const qsizetype etx = Buffer.size() - 4;
    return Buffer.size() > 4 && Buffer[etx] == ETX && !(etx == 3 && StxIsData(Buffer.left(3)));
}

THitachiFrame THitachi911Driver::ParseFrame(const QByteArray& Bytes)
{
    if (Bytes.isEmpty() || Bytes[0] != STX) {
        ErrorOkCancel(QStringLiteral("Ожидается STX"));
        throw TFrameRefused{QStringLiteral("it does not begin with STX")};
    }
    const int etx = int(Bytes.size()) - 4;
    if (etx < 2 || Bytes[etx] != ETX || Bytes.back() != CR)
        throw TFrameRefused{QStringLiteral("it does not end with ETX, two check digits and CR")};
    if (Bytes.mid(etx + 1, 2) != HexPair(checksum(Bytes.mid(1, etx - 1))))
        throw TFrameRefused{QStringLiteral("its check digits are wrong")};

    THitachiFrame frame;
    frame.FrameChar = Bytes[1];
    if (!IsOneOf(frame.FrameChar, "12:;>?@")) {
        ErrorOkCancelFmt(QStringLiteral("Некорректный код типа фрейма (Frame Character): %S."),
                         {functionCharText(frame.FrameChar)});
        throw TFrameRefused{QStringLiteral("its function character %1 is unknown")
                                .arg(functionCharText(frame.FrameChar))};
    }
    TFrameReader reader(Bytes, etx);
    if (IsOneOf(frame.FrameChar, SampleFrames)) {
        frame.TypeLetter = reader.TakeByte();
        const QString meaning = SampleTypeMeaning(frame.TypeLetter);
        if (meaning.isEmpty()) {
            const QString letter = codepage::fromAnsi(QByteArray(1, frame.TypeLetter));
            if (ErrorOkCancel(QStringLiteral("Найдено некорректное (\"") + letter +
                              QStringLiteral("\") значение класса/типа образца для "
                                             "функционального символа \"") +
                              QLatin1Char(frame.FrameChar) + QStringLiteral("\".")))
                throw TFrameRefused{QStringLiteral("its sample type %1 is unknown").arg(letter)};
        } else {
            frame.AddField(QStringLiteral("SampleType"), meaning);
            frame.ClassNo = classOf(frame.TypeLetter);
        }
        if (IsOneOf(frame.TypeLetter, "ACEGIKOQSUW"))
            frame.AddField(QStringLiteral("SampleClass"), QStringLiteral("1"));
        else if (IsOneOf(frame.TypeLetter, "BDFHJLPRTVX"))
            frame.AddField(QStringLiteral("SampleClass"), QStringLiteral("2"));

        switch (frame.ClassNo) {
        case 3: // control
        case 4: // calibration
            reader.SkipToEtx();
            break;
        case 5: // absorbance data
            ReadContainerInfo(reader, frame);
            reader.SkipToEtx();
            break;
        default:
            ReadSampleFields(reader, frame, Layout);
            if (frame.FrameChar == ':')
                readTests(reader, frame);
        }
    }
    if (!reader.AtEtx())
        throw TFrameRefused{QStringLiteral("it holds more than its fields")};
    return frame;
}

QByteArray THitachi911Driver::BuildOrderAnswer(const THitachiFrame& Query)
{
    THitachiFrame answer = Query;
    if (answer.ClassNo == 0) {
        const char letter = answer.TypeLetter;
        answer.ClassNo = IsOneOf(letter, "ABCNOP") ? 1
                         : IsOneOf(letter, "DEQR") ? 2
                         : letter == 'F'           ? 3
                                                   : 0;
        if (answer.ClassNo == 0) {
            ErrorOkCancelFmt(QStringLiteral("Тип образца не определён (Function Character): %S."),
                             {codepage::fromAnsi(QByteArray(1, letter))});
            return {};
        }
    }
    QueryHost(answer.Field(QStringLiteral("Code")).value_or(QString()));
    const QString sex = QStringLiteral("Sex=") + OrderSex(*this);
    answer.Fields.removeIf([](const QString& f) { return f.startsWith(QLatin1String("Sex=")); });
    answer.Fields.append(sex);

    QString patient;
    QString doctor;
    GetPatientName(patient);
    GetDoctorName(doctor);
    const std::optional<QString> container = answer.Field(QStringLiteral("ContainerInfo"));
    QByteArray body(1, answer.TypeLetter);
    body += container ? char(HexToInt(*container)) : ' ';
    body += OrderSampleBlock(answer, Layout) + OrderTestBlock(*this);
    body += "11111" + QByteArray(30, ' ') + OrderColumn(Translit(patient), 25) +
            OrderColumn(Translit(doctor), 20) + OrderColumn(OrderPatientNumber(*this), 15) +
            QByteArray(10, ' ');
    return Frame(';', body);
}

bool THitachi911Driver::SendFrame(const QByteArray& Bytes)
{
    // The analyser needs a pause between two frames; nothing else runs meanwhile.
    while (!m_nextSend.hasExpired())
        std::this_thread::sleep_for(std::chrono::nanoseconds(m_nextSend.remainingTimeNSecs()));
    const bool written = Write(Bytes);
    m_nextSend = QDeadlineTimer(std::chrono::milliseconds(m_pacing), Qt::PreciseTimer);
    m_sendBuffer = Bytes;
    if (Bytes.size() > 10) {
        try {
            Dump(QStringLiteral("h911_host_"), Bytes);
        } catch (const Exception& e) {
            WriteToLog(QStringLiteral("Hitachi 911: the frame sent was not dumped: ") +
                       e.message());
        }
    }
    return written;
}

bool THitachi911Driver::SendChar(char FrameChar)
{
    return SendFrame(Frame(FrameChar, {}));
}

void THitachi911Driver::HandleFrame(const QByteArray& Bytes)
{
    if (Bytes.size() > 10) {
        try {
            Dump(QStringLiteral("h911_"), Bytes);
        } catch (const Exception& e) {
            WriteToLog(QStringLiteral("Hitachi 911: a frame received was not dumped: ") +
                       e.message());
        }
    }
    THitachiFrame frame;
    try {
        frame = ParseFrame(Bytes);
    } catch (const TFrameRefused& refused) {
        const QString dump = Dump(RefusedPrefix, Bytes);
        WriteToLog(QStringLiteral("Hitachi 911 (source %1): a frame was refused (%2); kept in "
                                  "\"%3\"")
                       .arg(Number)
                       .arg(refused.Reason, dump));
        SendChar('>');
        return;
    }

    switch (frame.FrameChar) {
    case ':':
        // An unstored result is not acknowledged: the analyser sends it again.
        if (!IsOneOf(frame.TypeLetter, "KLMN") && StoreFrame(frame) < 1)
            return;
        SendChar('>');
        return;
    case ';': {
        const QByteArray answer = BuildOrderAnswer(frame);
        if (!answer.isEmpty())
            SendFrame(answer);
        return;
    }
    case '>':
        if (!SendChar('>'))
            SendFailed("MOR");
        return;
    case '?':
        if (!m_sendBuffer.isEmpty())
            SendFrame(m_sendBuffer);
        return;
    default: // "1", "2", "@"
        return;
    }
}
