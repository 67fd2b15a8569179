// The older ACL 2000 exchange: messages cut at two bytes after their second LF, dumped and
// acknowledged with "!" and four of their bytes.
#include "acl2000.h"

#include <analysers/comdrv.h>
#include <analysers/rawdump.h>
#include <platform/controlchars.h>
#include <platform/softcheck.h>
#include <platform/support/logfile.h>

#include <QThread>

namespace {

// The analyser takes the answer only at this pace.
constexpr int CharPauseMs = 20;

// Size of the complete message at the start of Bytes; 0 while it is incomplete.
qsizetype completeMessageSize(QByteArrayView Bytes)
{
    const qsizetype first = Bytes.indexOf(LF);
    if (first < 0)
        return 0;
    const qsizetype second = Bytes.indexOf(LF, first + 1);
    if (second < 0 || Bytes.size() < second + 3)
        return 0;
    return second + 3;
}

} // namespace

void TACL2000::DataReceived(const char* Data, int Count)
{
    if (!Data || Count <= 0)
        return;
    m_buffer.Seek(0, soEnd);
    m_buffer.Write(Data, Count);
    for (;;) {
        const QByteArrayView buffer(m_buffer.Memory(), m_buffer.Size());
        const qsizetype size = completeMessageSize(buffer);
        if (size == 0)
            return;
        const QByteArray message = buffer.first(size).toByteArray();
        WriteRawDump(QStringLiteral("acl2_"), m_counter, message);
        const QByteArray rest = buffer.sliced(size).toByteArray();
        m_buffer.Clear();
        m_buffer.Write(rest.constData(), rest.size());
        Answer(message);
    }
}

void TACL2000::Answer(const QByteArray& Message)
{
    if (Message.size() < 5) {
        WriteToLog(QStringLiteral("ACL 2000 (source %1): a message of %2 bytes is too short to be "
                                  "answered; it is kept in its dump only")
                       .arg(Number)
                       .arg(Message.size()));
        return;
    }
    if (!QV_SOFT_CHECK(Port, QStringLiteral("the ACL 2000 driver is bound to no port")))
        return;
    const QByteArray answer = '!' + Message.mid(1, 4);
    for (const char c : answer) {
        QThread::msleep(CharPauseMs);
        Port->SendChar(c);
    }
}
