// The table-driven ACL 2000 driver: its checksum, the framing of its answers and its protocol file.
#include "acl2000util.h"

#include <platform/controlchars.h>
#include <platform/files.h>
#include <platform/support/globals.h>
#include <platform/support/paths.h>

#include <QCoreApplication>
#include <QFileInfo>

using protocol::TAction;
using protocol::TActionsList;
using protocol::TFieldsList;
using protocol::TResult;

namespace {

const QByteArray CrLf("\r\n");

} // namespace

QByteArray ACL2000Checksum(QByteArrayView Bytes)
{
    int sum = 0;
    int carry = 0;
    for (const char c : Bytes) {
        sum += carry + quint8(c);
        carry = 0;
        if (sum > 255) {
            carry = 1;
            sum %= 255;
        }
    }
    // The low byte of -(sum mod 255); the carry of the last byte is dropped.
    const quint8 low = quint8(-(sum % 255));
    return QByteArray::number(low, 16).toUpper().rightJustified(2, '0');
}

TACL2000Util::TACL2000Util()
    : TCOMPortDriver(ProtocolFileName(), nullptr, ACL2000MsgFields(), ACL2000RepFields(),
                     QStringLiteral("ACL2000"), 2000)
{
}

TACL2000Util::~TACL2000Util()
{
    Stop();
}

QString TACL2000Util::ProtocolFileName()
{
    const QString folder = IniFileName.isEmpty() ? QCoreApplication::applicationDirPath()
                                                 : QFileInfo(IniFileName).path();
    const QString name = QStringLiteral("Protocols/acl2000.prt");
    const QString found = files::findNoCase(folder, name);
    return found.isEmpty() ? AddBackslash(folder) + name : found;
}

void TACL2000Util::GetFieldInfo(int, TFldInfo& Info) const
{
    Info = TFldInfo();
}

int TACL2000Util::GetTestCount() const
{
    return int(ACL2000Tests().size());
}

void TACL2000Util::GetTestInfo(int Index, TTestInfo& Info) const
{
    Info = ACL2000Tests().at(size_t(Index));
}

void TACL2000Util::GetDefaultSettings(QString& Text)
{
    static const char* const lines[] = {"BaundRate=9600",       "CheckLineStatus=false",
                                        "DataBits=8",           "EnableDTROnOpen=true",
                                        "HwFLOW=NoneRTSOn",     "InBufSize=2048",
                                        "InputTimeOut=200",     "OutBufSize=2048",
                                        "OutputTimeout=500",    "PacketMode=Discard",
                                        "PacketSize=-1",        "PacketTimeOut=-1",
                                        "Parity=NONE",          "PollingDelay=50",
                                        "PortName=\\\\.\\COM2", "StopBits=1BITS",
                                        "SwFlow=NONE"};
    Text.clear();
    for (const char* line : lines)
        Text += QLatin1String(line) + QStringLiteral("\r\n");
}

void TACL2000Util::AppendChecksum(TResult& Value)
{
    if (Value.Data.startsWith('!'))
        return;
    Value.AppendData(ACL2000Checksum(Value.Data));
}

void TACL2000Util::CalcSpecialFields(TActionsList& Actions, TFieldsList&)
{
    // The sum was to cover the fields "SC" and "Msg count", but each is added only while the sum
    // is already above 0; starting at 0, nothing is ever added, and "SC" always gets "0000".
    const int sum = 0;
    TAction* action = Actions.Find(QByteArrayLiteral("SC"));
    if (!action || action->Values.IsEmpty())
        return;
    TResult& first = action->Values.GetItem(0);
    first.SetData(QByteArray::number(sum, 16).toUpper().rightJustified(4, '0').right(4),
                  first.Kind);
}

bool TACL2000Util::IsAnswerComplete(const QByteArray& Data, qsizetype From)
{
    if (From <= 0) {
        m_lineEnds = 0;
        m_searchFrom = 0;
    }
    // Before From nothing more was found: only a CR just before it may begin a CR LF.
    while (m_lineEnds < 2) {
        const qsizetype at = Data.indexOf(CrLf, qMax(m_searchFrom, From - 1));
        if (at < 0)
            return false;
        ++m_lineEnds;
        m_searchFrom = at + 2;
    }
    return Data.size() >= m_searchFrom + 2;
}

bool TACL2000Util::CheckAnswer(const QByteArray& Data)
{
    try {
        if (Data.size() < 2 || Data.front() != ':' || !Data.contains(CrLf))
            return false;
        const QByteArrayView body = QByteArrayView(Data).chopped(2);
        return ACL2000Checksum(body) == QByteArrayView(Data).last(2);
    } catch (...) {
        return false;
    }
}
