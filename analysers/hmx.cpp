// The HMX block protocol: the handshake, the block count, the numbered blocks with their CRC, the
// closing SYN, the inactivity time-out, and the hand-over of a complete transfer as a document.
#include "hmx.h"

#include <analysers/comdrv.h>
#include <analysers/workstation.h>
#include <platform/controlchars.h>
#include <platform/softcheck.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>

#include <QTimer>

namespace {

// Offsets in a block on the wire.
constexpr int NumberAt = 1;
constexpr int DataAt = 3;
constexpr int CrcDigits = 4;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

int HMXTwoDigits(QByteArrayView Text)
{
    if (Text.size() < 2 || !isDigit(Text[0]) || !isDigit(Text[1]))
        return -1;
    return (Text[0] - '0') * 10 + (Text[1] - '0');
}

quint16 HMXBlockCRC(QByteArrayView Data)
{
    quint16 crc = 0xFFFF;
    for (const char c : Data) {
        crc ^= quint16(quint8(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc ^ 0xFFFF;
}

THMXDriver::THMXDriver() : m_idleTimer(std::make_unique<QTimer>())
{
    m_idleTimer->setSingleShot(true);
    QObject::connect(m_idleTimer.get(), &QTimer::timeout, m_idleTimer.get(), [this] {
        if (State != Idle)
            Drop(QStringLiteral("the analyser fell silent"));
    });
}

THMXDriver::~THMXDriver() = default;

void THMXDriver::SetIdleTimeout(int Ms)
{
    m_idleTimeout = qMax(Ms, 1);
}

void THMXDriver::DataReceived(const char* Data, int Count)
{
    if (!Data || Count <= 0)
        return;
    // The timer may not have had its turn yet (a busy main thread): the silence counts all the
    // same, so a late chunk starts from the idle state rather than continuing a dead transfer.
    if (State != Idle && m_lastChunk.isValid() && m_lastChunk.hasExpired(m_idleTimeout))
        Drop(QStringLiteral("the analyser fell silent"));

    switch (State) {
    case Idle:
        if (Data[0] == SYN) {
            Send(SYN);
            m_message.Clear();
            State = WaitingForCount;
            ArmIdleTimer();
        }
        return;
    case WaitingForCount:
        // The analyser gave up on a garbled count and calls again: answer as to a new call.
        if (Data[0] == SYN) {
            m_message.Clear();
            Send(SYN);
            ArmIdleTimer();
            return;
        }
        ArmIdleTimer();
        m_message.Write(Data, Count);
        ReadCount();
        return;
    case ReceivingBlocks:
        ArmIdleTimer();
        m_block.Write(Data, Count);
        JudgeBlock();
        return;
    case WaitingForClose:
        Close(Data[0] == SYN);
        return;
    default:
        QV_SOFT_CHECK(false, QStringLiteral("HMX driver in unknown state %1").arg(int(State)));
        Reset();
        return;
    }
}

void THMXDriver::ReadCount()
{
    // The two count characters must come alone; with more, the transfer waits (and times out).
    if (m_message.Size() != 2)
        return;
    const int count = HMXTwoDigits(QByteArrayView(m_message.Memory(), 2));
    if (count < 0) {
        WriteToLog(QStringLiteral("HMX: the block count \"%1\" is not a number; asked again")
                       .arg(BytesToTagText(QByteArray(m_message.Memory(), 2))));
        m_message.Clear();
        Send(NAK);
        return;
    }
    BlockCount = count;
    if (count > 0) {
        m_block.Clear();
        BlockNo = 1;
        State = ReceivingBlocks;
    } else {
        Reset();
    }
    Send(ACK);
}

void THMXDriver::JudgeBlock()
{
    constexpr int wireSize = BlockSize + 8;
    const QByteArray block(m_block.Memory(), m_block.Size());
    if (block.size() < wireSize && block.back() != ETX)
        return; // the rest is still coming

    m_block.Clear();
    const bool good =
        block.size() == wireSize && block.front() == STX && block.back() == ETX &&
        HMXTwoDigits(QByteArrayView(block).sliced(NumberAt)) == BlockNo &&
        block.mid(DataAt + BlockSize, CrcDigits) ==
            QByteArray::number(HMXBlockCRC(QByteArrayView(block).sliced(DataAt, BlockSize)), 16)
                .toUpper()
                .rightJustified(CrcDigits, '0');
    if (!good) {
        Send(NAK); // the analyser sends the block again
        return;
    }
    Send(ACK);
    m_message.Write(block.constData(), block.size());
    if (BlockNo == BlockCount)
        State = WaitingForClose;
    else
        ++BlockNo;
}

void THMXDriver::Close(bool Store)
{
    if (!Store) {
        Send(NAK);
        Drop(QStringLiteral("the closing SYN did not come"));
        return;
    }
    Send(ACK);
    TMemStream transfer;
    transfer.Write(m_message.Memory(), m_message.Size());
    Reset(); // before anything can fail, so that the next transfer starts clean

    const QString file = AddBackslash(ComBufDir) + QStringLiteral("~buf~.mxm");
    transfer.SaveToFile(file);
    WorkstationService& workstation = Workstation();
    workstation.RefreshDocuments(workstation.StoreResult(file, Number, QStringLiteral("mxm")));
}

void THMXDriver::Reset()
{
    State = Idle;
    m_message.Clear();
    m_block.Clear();
    m_idleTimer->stop();
    m_lastChunk.invalidate();
}

void THMXDriver::Drop(const QString& Why)
{
    WriteToLog(
        QStringLiteral("HMX (source %1): %2; the transfer of %3 blocks is dropped after %4 "
                       "of them, and the driver waits for a new one")
            .arg(Number)
            .arg(Why)
            .arg(State == WaitingForCount ? QStringLiteral("unknown") : QString::number(BlockCount))
            .arg(State == WaitingForCount   ? 0
                 : State == ReceivingBlocks ? BlockNo - 1
                                            : BlockCount));
    Reset();
}

void THMXDriver::Send(char Byte)
{
    if (QV_SOFT_CHECK(Port, QStringLiteral("the HMX driver is bound to no port")))
        Port->SendChar(Byte);
}

void THMXDriver::ArmIdleTimer()
{
    m_lastChunk.start();
    m_idleTimer->start(m_idleTimeout);
}
