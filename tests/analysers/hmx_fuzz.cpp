// Fuzz target: chunks of an HMX analyser's link through the HMX driver. The driver answers with
// handshake bytes only, and stores a transfer only when it is whole: the two count digits and that
// many good blocks, numbered from 1.
#include "analyser_fuzz.h"

#include <analysers/hmx.h>
#include <platform/controlchars.h>

namespace {

constexpr int WireBlock = THMXDriver::BlockSize + 8;

QString transferFault(const QByteArray& t)
{
    if (t.size() < 2 || t[0] < '0' || t[0] > '9' || t[1] < '0' || t[1] > '9')
        return QStringLiteral("no block count");
    const int count = (t[0] - '0') * 10 + (t[1] - '0');
    if (count == 0 || t.size() != 2 + qsizetype(count) * WireBlock)
        return QStringLiteral("%1 bytes for %2 blocks").arg(t.size()).arg(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray block = t.mid(2 + i * WireBlock, WireBlock);
        const QByteArray crc = QByteArray::number(HMXBlockCRC(block.mid(3, 256)), 16).toUpper();
        if (block.front() != STX || block.back() != ETX ||
            block.mid(1, 2) != QByteArray::number(i + 1).rightJustified(2, '0') ||
            block.mid(259, 4) != crc.rightJustified(4, '0'))
            return QStringLiteral("block %1 is not a good block").arg(i + 1);
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    scratch.clear();
    fuzz::Workstation workstation;
    workstation.onResult = [](const QByteArray& bytes, const QString& type) {
        const QString fault = type == QLatin1String("mxm") ? transferFault(bytes) : type;
        if (!fault.isEmpty())
            fuzz::fail("hmx", QStringLiteral("stored transfer: ") + fault);
    };
    fuzz::BoundDriver<THMXDriver> hmx;
    fuzz::forEachChunk(data, std::min<std::size_t>(size, 64 * 1024),
                       [&](const QByteArray& chunk) { hmx.receive(chunk); });
    for (const char c : hmx.line->written()) {
        if (c != ACK && c != NAK && c != SYN)
            fuzz::fail("hmx", QStringLiteral("answered %1").arg(int(c)));
    }
    return 0;
}
