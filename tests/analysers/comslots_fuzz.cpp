// Fuzz target: the raw capture of a serial slot. Four bytes set the source (flags: 1 wait for the
// start byte, 2 acknowledge mode, 4 seven data bits; the start byte; the end byte; the silence
// time-out), the rest is chunks of the line, an empty chunk one second of silence and a poll.
// Every document is non-empty and holds no end byte but as its first byte after a silence
// (without a start byte to wait for); the acknowledge mode drops SOH and ACK and answers SOH and
// ETX; nothing is lost: without a start byte, only end bytes go.
#include "analyser_fuzz.h"

#include <analysers/comslots.h>
#include <platform/controlchars.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    if (size < 4)
        return 0;
    scratch.clear();
    fuzz::Workstation workstation;
    SerialSourceRow& source = workstation.source;
    source = {3, 1, data[0] & 2 ? QStringLiteral("ALB") : QStringLiteral("TXT"), true, 2};
    source.FSTX = data[0] & 1;
    source.STX = data[1];
    source.ETX = data[2];
    source.Timeout = data[3] % 5 - 1;
    source.DataBits = data[0] & 4 ? 7 : 8;
    const bool ackMode = data[0] & 2;
    const quint8 mask = ackMode || source.DataBits == 7 ? 0x7F : 0xFF;

    qsizetype kept = 0;
    workstation.onResult = [&](const QByteArray& doc, const QString& type) {
        kept += doc.size();
        const qsizetype etx = doc.indexOf(char(source.ETX));
        if (type != source.Extension || doc.isEmpty() || etx > 0 || (etx == 0 && source.FSTX) ||
            (ackMode && (doc.contains(SOH) || doc.contains(ACK))) ||
            std::any_of(doc.begin(), doc.end(), [&](char c) { return (quint8(c) & ~mask) != 0; }))
            fuzz::fail("comslots", QStringLiteral("document of %1 bytes").arg(doc.size()));
    };
    auto owned = std::make_unique<FakeSerialLine>();
    const FakeSerialLine* line = owned.get();
    TCommPortDriver port(std::move(owned));
    ComPortSlots[2].Port = &port;
    CreateSourceDriver(3, 1);

    qsizetype passed = 0; // bytes the capture takes
    qsizetype ends = 0;   // of them, end bytes
    QByteArray acks;
    fuzz::forEachChunk(data + 4, std::min<std::size_t>(size - 4, 16 * 1024),
                       [&](const QByteArray& chunk) {
                           if (chunk.isEmpty()) {
                               clock::advance(1000);
                               PollComBuffers();
                               return;
                           }
                           for (const char c : chunk) {
                               const quint8 b = quint8(c) & mask;
                               if (ackMode && (b == SOH || b == ETX))
                                   acks += source.DataBits == 7 ? char(0x86) : ACK;
                               if (ackMode && (b == SOH || b == ACK))
                                   continue;
                               ++passed;
                               ends += b == source.ETX;
                           }
                           ReceiveComData(2, int(chunk.size()), chunk.constData());
                       });
    if (ComPortSlots[2].State == 1)
        kept += fuzz::readFile(ComPortBufferName(2)).size();
    FreeComPortSlots();
    if (line->written() != acks)
        fuzz::fail(
            "comslots",
            QStringLiteral("%1 answers for %2").arg(line->written().size()).arg(acks.size()));
    if (kept > passed || (!source.FSTX && kept < passed - ends))
        fuzz::fail("comslots", QStringLiteral("%1 bytes kept of %2").arg(kept).arg(passed));
    return 0;
}
