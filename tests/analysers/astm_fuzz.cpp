// Fuzz target: the ASTM layer. An even first byte feeds the rest as chunks of the link to an
// Elecsys driver: it answers only ACK, NAK, ENQ and EOT (without a practice database no answer is
// built), and every result it stores reads back into the same bytes. An odd first byte loads the
// rest as a result file: saving it, loading that and saving again gives the same bytes.
#include "analyser_fuzz.h"

#include <platform/testing/serialline_fake.h>

#include <analysers/astmdevices.h>
#include <platform/controlchars.h>
#include <platform/exception.h>

namespace {

void roundTrip(TASTMDriver& driver, const QByteArray& bytes)
{
    TASTMMessage first(&driver);
    first.LoadFromBytes(bytes);
    const QByteArray saved = first.SavedBytes();
    TASTMMessage second(&driver);
    second.LoadFromBytes(saved);
    if (second.SavedBytes() != saved)
        fuzz::fail("astm", QStringLiteral("a result file saved twice gave other bytes"));
    TResInfo holder;
    second.GetResults(holder);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    if (size < 1)
        return 0;
    scratch.clear();
    size = std::min<std::size_t>(size, 64 * 1024);
    fuzz::Workstation workstation;
    // One driver for the run, as the program has one; each input starts it idle on a line of
    // its own.
    static const std::unique_ptr<TElecsys> made = TDriver::New<TElecsys>();
    TElecsys& driver = *made;
    auto owned = std::make_unique<FakeSerialLine>();
    FakeSerialLine& line = *owned;
    TCommPortDriver port(std::move(owned));
    port.Connect();
    driver.Port = &port;
    driver.Number = 5;
    driver.State = 0;
    driver.Message->Clear();
    driver.Record->Clear();
    driver.Frame->Clear();
    driver.Answer.reset();
    if (data[0] & 1) {
        roundTrip(driver, QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
        driver.Port = nullptr;
        return 0;
    }
    workstation.onResult = [&](const QByteArray& bytes, const QString& type) {
        if (type != QLatin1String("AST"))
            fuzz::fail("astm", QStringLiteral("a result stored as %1").arg(type));
        TASTMMessage stored(&driver);
        stored.LoadFromBytes(bytes);
        if (stored.SavedBytes() != bytes)
            fuzz::fail("astm", QStringLiteral("a stored result does not read back"));
    };
    fuzz::forEachChunk(data + 1, size - 1, [&](const QByteArray& chunk) {
        try {
            ReceiveProcOf<TElecsys>(driver, chunk.constData(), int(chunk.size()));
        } catch (const Exception&) {
            // A query without the practice database.
        }
        driver.Tick();
    });
    for (const char b : line.written()) {
        if (b != ACK && b != NAK && b != ENQ && b != EOT)
            fuzz::fail("astm", QStringLiteral("the driver sent the byte %1").arg(int(quint8(b))));
    }
    driver.Port = nullptr;
    return 0;
}
