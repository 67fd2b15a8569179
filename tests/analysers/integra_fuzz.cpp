// Fuzz target: chunks of an Integra analyser's link through the Integra driver. Every chunk is kept
// whole in a dump file of its own, and only a chunk that ends a message (ETX or ENQ) is
// acknowledged, once.
#include "analyser_fuzz.h"

#include <analysers/integra.h>
#include <platform/controlchars.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    scratch.clear();
    fuzz::Workstation workstation;
    fuzz::BoundDriver<TIntegraDriver> integra;
    int acks = 0;
    fuzz::forEachChunk(data, std::min<std::size_t>(size, 16 * 1024), [&](const QByteArray& chunk) {
        const int number = integra.driver->DumpCounter();
        integra.receive(chunk);
        if (chunk.isEmpty())
            return;
        const QString dump = scratch.path(QStringLiteral("com_buf/mvd_%1.dat").arg(number));
        if (integra.driver->DumpCounter() != number + 1 || fuzz::readFile(dump) != chunk)
            fuzz::fail(
                "integra",
                QStringLiteral("a chunk of %1 bytes is not in %2").arg(chunk.size()).arg(dump));
        if (chunk.back() == ETX || chunk.back() == ENQ)
            ++acks;
        if (integra.line->written() != QByteArray(acks, ACK))
            fuzz::fail("integra", QStringLiteral("%1 acknowledgements expected").arg(acks));
    });
    if (workstation.stored != 0)
        fuzz::fail("integra", QStringLiteral("a dump became a document"));
    return 0;
}
