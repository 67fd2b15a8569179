// Fuzz target: the record walk over a metafile page, its text records as the text search reads
// them, and the check that guards the drawing library. Text is never read past a record's end.
#include <app/documents/emfview.h>
#include <app/documents/metafile.h>
#include <support/fuzz_support.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    WalkEmfRecords(page, [](quint32 type, QByteArrayView record) {
        if (record.size() < 8)
            fuzz::fail("emfwalk", QStringLiteral("a record of %1 bytes").arg(record.size()));
        if (type == EmfTextRecordType)
            if (const std::optional<EmfText> text = ReadEmfText(record))
                if (76 + text->text.size() > std::max<qsizetype>(76, record.size()))
                    fuzz::fail("emfwalk", QStringLiteral("text read past the record"));
        return true;
    });
    IsDrawableEmf(page);
    QString result;
    FindEmfText(page, QStringLiteral("a"), 0, 0, true, false, false, 0, 0, 10, 10, 10, 10, 0, 1000,
                result);
    FindEmfText(page, QString(), 0, 0, false, true, true, 0, 0, 10, 10, 10, 10, 0, 1000, result);
    return 0;
}
