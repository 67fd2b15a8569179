// Fuzz target: the Miditron driver. With the first byte even, the rest is chunks of the link: the
// driver answers with acknowledgement records only, and every sample it stores reads back for the
// viewer with at least one record. With the first byte odd, the rest is a stored sample file,
// read for the viewer: it loads or raises our own exception.
#include "analyser_fuzz.h"

#include <analysers/miditron.h>
#include <platform/controlchars.h>
#include <platform/exception.h>

namespace {

// What the viewer does with a stored sample; false when the file is refused.
bool view(const QString& file)
{
    auto viewer = TDriver::New<TMiditronDriver>();
    try {
        viewer->LoadFromFile(file);
    } catch (const Exception&) {
        return false;
    }
    TResInfo results;
    viewer->GetResults(results);
    return !viewer->Msg().Records.isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    if (size < 1)
        return 0;
    scratch.clear();
    size = std::min<std::size_t>(size, 64 * 1024);
    const QString stored = scratch.path(QStringLiteral("sample.mdt"));
    if (data[0] & 1) {
        fuzz::writeFile(stored, QByteArray(reinterpret_cast<const char*>(data + 1), size - 1));
        view(stored);
        return 0;
    }

    fuzz::Workstation workstation;
    workstation.onResult = [&stored](const QByteArray& bytes, const QString& type) {
        fuzz::writeFile(stored, bytes);
        if (type != QLatin1String("mdt") || !view(stored))
            fuzz::fail("miditron",
                       QStringLiteral("a stored %1 sample does not read back").arg(type));
    };
    fuzz::BoundDriver<TMiditronDriver> miditron;
    fuzz::forEachChunk(data + 1, size - 1,
                       [&](const QByteArray& chunk) { miditron.receive(chunk); });
    const QByteArray ack = STX + QByteArray(">") + ETX + "3?" + CR;
    const QByteArray answers = miditron.line->written();
    if (answers != ack.repeated(answers.size() / ack.size()))
        fuzz::fail("miditron", QStringLiteral("answered other than acknowledgements"));
    return 0;
}
