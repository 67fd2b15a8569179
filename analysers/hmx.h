// THMXDriver: receives the counted series of CRC-checked blocks that an HMX or Max-M Coulter
// analyser sends under a SYN/ACK/NAK handshake, and stores the whole transfer as one document.
#pragma once

#include <analysers/bindata.h>
#include <analysers/drvmain.h>

#include <QByteArrayView>
#include <QElapsedTimer>

#include <memory>

class QTimer;

// The block check of the HMX protocol: CRC-16 with polynomial 0x1021, initial value 0xFFFF, no
// reflection and a final exclusive-or with 0xFFFF ("123456789" gives 0xD64E).
quint16 HMXBlockCRC(QByteArrayView Data);

// The block count and the block numbers of the protocol: the first two bytes of Text read as
// decimal digits ("12" is twelve); -1 when Text is shorter or they are not both digits. The
// stored Max-M file keeps the count as received, so its decoder and its rewrite read it so too.
int HMXTwoDigits(QByteArrayView Text);

// The transfer, as the host sees it (SYN 0x16, ACK 0x06, NAK 0x15, STX 0x02, ETX 0x03):
//
//   state                | receives                        | answers | next
//   0 idle               | a chunk starting with SYN       | SYN     | 1
//                        | anything else                   | -       | 0
//   1 waiting for count  | a chunk starting with SYN       | SYN     | 1 (a new call)
//                        | two decimal digits, count 0     | ACK     | 0 (nothing stored)
//                        | two decimal digits, count 1..99 | ACK     | 2, block 1 expected
//                        | two bytes that are no number    | NAK     | 1 (the count again)
//                        | fewer, or more, than two bytes  | -       | 1
//   2 receiving blocks   | a good block, not the last      | ACK     | 2, next block expected
//                        | a good block, the last          | ACK     | 3
//                        | part of a block, no ETX at end  | -       | 2
//                        | anything else                   | NAK     | 2, the block again
//   3 waiting for close  | a chunk starting with SYN       | ACK     | 0, transfer stored
//                        | anything else                   | NAK     | 0, transfer dropped
//   1, 2, 3              | silence for IdleTimeout         | -       | 0, transfer dropped
//
// A block is BlockSize + 8 = 264 bytes: STX, the block number in two decimal digits, 256 data
// bytes, the CRC of the data in four upper-case hexadecimal digits, ETX. A good block is exactly
// that, with the number expected and the right CRC.
//
// The stored transfer, "~buf~.mxm" in the capture folder until the workstation takes it: the two
// count characters followed by every accepted block whole, in order. It is handed over as
// document type "mxm".
//
// Main thread only. One object serves every source bound to it (device codes MXM and HMX).
class THMXDriver : public TComDriver
{
public:
    THMXDriver();
    ~THMXDriver() override;

    void DataReceived(const char* Data, int Count) override;

    // Silence after which an interrupted transfer is dropped and the driver waits for a new one;
    // 30 000 ms unless set. A new value counts from the next chunk.
    int IdleTimeout() const { return m_idleTimeout; }
    void SetIdleTimeout(int Ms);

    // The transfer so far: the count characters and the accepted blocks.
    const TMemStream& Message() const { return m_message; }
    static constexpr int BlockSize = 256;
    int BlockNo = 0;    // number of the block expected, from 1
    int BlockCount = 0; // blocks announced

private:
    enum { Idle = 0, WaitingForCount = 1, ReceivingBlocks = 2, WaitingForClose = 3 };

    void ReadCount();
    void JudgeBlock();
    void Close(bool Store);
    // Back to the idle state; the transfer so far is dropped.
    void Reset();
    void Drop(const QString& Why);
    void Send(char Byte);
    void ArmIdleTimer();

    TMemStream m_message;
    TMemStream m_block;
    int m_idleTimeout = 30000;
    QElapsedTimer m_lastChunk;
    std::unique_ptr<QTimer> m_idleTimer;
};
