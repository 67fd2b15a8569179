// The Hitachi 912 host protocol: its frames with their block check, its sample header, the order
// answer and the handling of each frame received.
#include "hitachi912.h"

#include <platform/codepage.h>
#include <platform/controlchars.h>
#include <platform/exception.h>
#include <platform/format.h>
#include <platform/regional.h>
#include <platform/support/logfile.h>
#include <platform/support/procs.h>

namespace {

const TSampleLayout Layout{false, 5, 10000, true};

struct Meaning
{
    char key;
    const char* text;
};

constexpr Meaning SampleTypes[] = {
    {'A', "Routine sample"},
    {'B', "Routine sample (automatic rerun)"},
    {'C', "Routine sample (manual rerun)"},
    {'D', "Stat sample"},
    {'E', "Stat sample (automatic rerun)"},
    {'F', "Control sample"},
    {'G', "Calibration (Photometry)"},
    {'H', "Calibration (ISE)"},
    {'I', "Absorbance data (Routine)"},
    {'K', "Absorbance data (STAT)"},
    {'N', "Routine sample"},
    {'O', "Routine sample (Automatic Rerun)"},
    {'P', "outine sample (Manual Rerun)"},
    {'Q', "STAT sample"},
    {'R', "STAT sample (Automatic Rerun)"},
};

quint8 blockCheck(const QByteArray& bytes)
{
    quint8 check = 0;
    for (const char c : bytes)
        check ^= quint8(c);
    return check;
}

quint8 classOf(char letter)
{
    if (IsOneOf(letter, "ABCNOP"))
        return 1;
    if (IsOneOf(letter, "DEQR"))
        return 2;
    if (letter == 'F')
        return 3;
    return 0;
}

QString text(char c)
{
    return codepage::fromAnsi(QByteArray(1, c));
}

void readResults(TFrameReader& reader, THitachiFrame& frame)
{
    frame.AddField(QStringLiteral("cOperatorID"), codepage::fromAnsi(reader.Take(6)));
    int count = 0;
    if (!TryStrToInt(QString::fromLatin1(reader.Take(2).trimmed()), count))
        count = 0;
    for (int i = 0; i < count; ++i) {
        const QString number = codepage::fromAnsi(reader.Take(2)).trimmed();
        const QString result = codepage::fromAnsi(reader.Take(6));
        const char alarm = reader.TakeByte();
        frame.AddField(number, result);
        if (alarm != ' ')
            frame.Alarms.append({number, alarm});
    }
}

} // namespace

THitachi912Driver::THitachi912Driver()
    : THitachiDriver(QStringLiteral("912"), QStringLiteral("!h912_"))
{
}

QString THitachi912Driver::SampleTypeMeaning(char Letter)
{
    for (const Meaning& m : SampleTypes) {
        if (m.key == Letter)
            return QLatin1String(m.text);
    }
    return {};
}

QByteArray THitachi912Driver::Frame(char FrameChar, const QByteArray& Body)
{
    const QByteArray checked = FrameChar + Body + ETX;
    return STX + checked + char(blockCheck(checked));
}

bool THitachi912Driver::StxIsData(const QByteArray& Buffer) const
{
    return Buffer.size() >= 2 && Buffer.back() == ETX;
}

bool THitachi912Driver::Complete(const QByteArray& Buffer) const
{
    return Buffer.size() > 2 && Buffer[Buffer.size() - 2] == ETX;
}

THitachiFrame THitachi912Driver::ParseFrame(const QByteArray& Bytes)
{
    if (Bytes.isEmpty() || Bytes[0] != STX) {
        ErrorOkCancel(QStringLiteral("Ожидается STX"));
        throw TFrameRefused{QStringLiteral("it does not begin with STX")};
    }
    const int etx = int(Bytes.size()) - 2;
    if (etx < 2 || Bytes[etx] != ETX)
        throw TFrameRefused{QStringLiteral("it does not end with ETX and a block check")};
    if (quint8(Bytes.back()) != blockCheck(Bytes.mid(1, etx)))
        throw TFrameRefused{QStringLiteral("its block check is wrong")};

    THitachiFrame frame;
    frame.FrameChar = Bytes[1];
    if (!IsOneOf(frame.FrameChar, "12:;>?@")) {
        const QString shown =
            QLatin1Char('$') + QString::fromLatin1(HexPair(quint8(frame.FrameChar)));
        ErrorOkCancelFmt(QStringLiteral("Некорректный код типа фрейма (Frame Character): %S."),
                         {shown});
        throw TFrameRefused{QStringLiteral("its function character %1 is unknown").arg(shown)};
    }
    TFrameReader reader(Bytes, etx);
    if (IsOneOf(frame.FrameChar, "12:;")) {
        frame.TypeLetter = reader.TakeByte();
        const QString meaning = SampleTypeMeaning(frame.TypeLetter);
        if (!meaning.isEmpty()) {
            frame.AddField(QStringLiteral("SampleType"), meaning);
            frame.ClassChar = reader.TakeByte();
            if (IsOneOf(frame.TypeLetter, "ABCDEIKNOPQR")) {
                if (!IsOneOf(frame.ClassChar, "12345") &&
                    ErrorOkCancel(QStringLiteral("Найдено некорректное (\"") +
                                  text(frame.ClassChar) +
                                  QStringLiteral("\") значение класса/типа образца для "
                                                 "функционального символа \"") +
                                  text(frame.TypeLetter) + QStringLiteral("\".")))
                    throw TFrameRefused{
                        QStringLiteral("its class %1 is unknown").arg(text(frame.ClassChar))};
                frame.AddField(QStringLiteral("Class"), text(frame.ClassChar));
            } else if (frame.ClassChar != ' ' &&
                       ErrorOkCancelFmt(
                           QStringLiteral("Некорректное значение \"%S\" класса/типа "
                                          "образца для функционального символа \"%S\"."),
                           {text(frame.ClassChar), text(frame.TypeLetter)})) {
                throw TFrameRefused{
                    QStringLiteral("its class %1 is unknown").arg(text(frame.ClassChar))};
            }
        }
        frame.ClassNo = classOf(frame.TypeLetter);
        if (frame.ClassNo == 1 || frame.ClassNo == 2) {
            ReadSampleFields(reader, frame, Layout);
            if (frame.FrameChar == ':')
                readResults(reader, frame);
        } else {
            reader.SkipToEtx(); // control samples and every other letter
        }
    }
    if (!reader.AtEtx())
        throw TFrameRefused{QStringLiteral("it holds more than its fields")};
    return frame;
}

QByteArray THitachi912Driver::BuildOrderAnswer(const THitachiFrame& Query)
{
    THitachiFrame answer = Query;
    if (answer.ClassNo == 0) {
        ErrorOkCancelFmt(QStringLiteral("Тип образца не определён (Function Character): %S."),
                         {text(answer.TypeLetter)});
        return {};
    }
    QueryHost(answer.Field(QStringLiteral("Code")).value_or(QString()));
    answer.Fields.removeIf([](const QString& f) { return f.startsWith(QLatin1String("Sex=")); });
    answer.Fields.append(QStringLiteral("Sex=") + OrderSex(*this));

    QString patient;
    QString doctor;
    GetPatientName(patient);
    GetDoctorName(doctor);
    QByteArray body(1, answer.TypeLetter);
    body += answer.ClassChar ? answer.ClassChar : ' ';
    body += OrderSampleBlock(answer, Layout) + OrderTestBlock(*this);
    body += "111111" + OrderColumn(Translit(patient), 30) + OrderColumn(Translit(doctor), 25) +
            OrderColumn(OrderPatientNumber(*this), 20) + QByteArray(45, ' ');
    return Frame(';', body);
}

bool THitachi912Driver::SendFrame(const QByteArray& Bytes)
{
    return Write(Bytes);
}

bool THitachi912Driver::SendChar(char FrameChar)
{
    return SendFrame(Frame(FrameChar, {}));
}

void THitachi912Driver::HandleFrame(const QByteArray& Bytes)
{
    THitachiFrame frame;
    try {
        frame = ParseFrame(Bytes);
    } catch (const TFrameRefused& refused) {
        WriteToLog(QStringLiteral("Hitachi 912 (source %1): a frame was refused (%2); asked again")
                       .arg(Number)
                       .arg(refused.Reason));
        if (!SendChar('?'))
            SendFailed("REP");
        return;
    }

    switch (frame.FrameChar) {
    case ':':
        // An unstored result is not acknowledged: the analyser sends it again.
        if (!IsOneOf(frame.TypeLetter, "FGHIK") && StoreFrame(frame) < 1)
            return;
        SendChar('>');
        return;
    case ';': {
        const QByteArray answer = BuildOrderAnswer(frame);
        if (!answer.isEmpty())
            SendFrame(answer);
        return;
    }
    case '?':
        SendChar('?');
        return;
    case '>':
        if (!SendChar('>'))
            SendFailed("MOR");
        return;
    default: // "1", "2", "@"
        return;
    }
}
