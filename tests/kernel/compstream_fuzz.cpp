// Fuzz target: any bytes as an application-server request file (component resources, the component
// stream inside them, BigData), and as a BigData block by itself. The reader either refuses them
// with EDBKernelError or returns components that the writer writes out again as a file that reads
// back to the same bytes.
#include <kernel/compstream.h>
#include <kernel/krnproc.h>
#include <support/fuzz_support.h>

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace {

// The components written again, or an empty array when the writer refuses them (a value it
// would not send, such as an integer beyond 32 bits in BigData).
QByteArray rewritten(const QList<TStreamedComponent>& components)
{
    TComponentWriter writer;
    try {
        for (const TStreamedComponent& c : components)
            writer.WriteComponent(c);
    } catch (const EDBKernelError&) {
        return QByteArray();
    }
    return writer.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        TComponentReader::ReadBigData(bytes);
    } catch (const EDBKernelError&) {
    }

    QList<TStreamedComponent> components;
    try {
        components = TComponentReader::ReadAll(bytes);
    } catch (const EDBKernelError&) {
        return 0;
    }
    const QByteArray once = rewritten(components);
    if (once.isEmpty())
        return 0;
    QList<TStreamedComponent> again;
    try {
        again = TComponentReader::ReadAll(once);
    } catch (const EDBKernelError& e) {
        fuzz::fail("compstream",
                   QStringLiteral("what the writer wrote does not read: ") + e.message());
    }
    if (rewritten(again) != once)
        fuzz::fail("compstream", QStringLiteral("a request read back writes other bytes"));
    return 0;
}
