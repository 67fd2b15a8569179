// Fuzz target: dataset files through MemDataSet::loadFromFile. The input is the body of a file
// (what follows the magic text); the target adds the magic and the checksum, so that the loader
// goes past them. A file either loads or is refused with EDBClient; one that loads, saved and
// loaded again, gives the same records.
#include <platform/data/memdataset.h>
#include <platform/exception.h>
#include <support/fuzz_support.h>

#include <QtEndian>

namespace {

// The file's checksum, the common CRC-32, bit by bit.
quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char b : bytes) {
        crc ^= quint8(b);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

QList<QList<Variant>> recordsOf(MemDataSet& ds)
{
    QList<QList<Variant>> records;
    for (ds.first(); !ds.eof(); ds.next()) {
        QList<Variant> values;
        for (int i = 0; i < ds.fieldCount(); ++i)
            values << ds.field(i)->value();
        records << values;
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    QByteArray file =
        QByteArray("QVMDS1\r\n") + QByteArray(reinterpret_cast<const char*>(data),
                                              qsizetype(std::min<std::size_t>(size, 64 * 1024)));
    const quint32 crc = qToLittleEndian(crc32(file));
    file.append(reinterpret_cast<const char*>(&crc), sizeof crc);
    const QString name = scratch.path(QStringLiteral("fuzz.mds"));
    fuzz::writeFile(name, file);

    MemDataSet loaded;
    try {
        loaded.loadFromFile(name);
    } catch (const EDBClient&) {
        return 0;
    }
    const QList<QList<Variant>> records = recordsOf(loaded);
    loaded.saveToFile(name);
    MemDataSet again;
    again.loadFromFile(name);
    if (recordsOf(again) != records || again.indexDefs().count() != loaded.indexDefs().count())
        fuzz::fail("memdataset", QStringLiteral("a saved file does not load as it was"));
    return 0;
}
