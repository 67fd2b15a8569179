// Fuzz target: the metafile record walk, the text search and the drawing library's guard.
#include <app/documents/emfview.h>
#include <app/documents/metafile.h>
#include <support/fuzz_support.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    // What passes the guard is converted without crashing the drawing library.
    EmfToSvg(page);
    QString result;
    FindEmfText(page, QStringLiteral("a"), 0, 0, true, false, false, 0, 0, 10, 10, 10, 10, 0, 1000,
                result);
    FindEmfText(page, QString(), 0, 0, false, true, true, 0, 0, 10, 10, 10, 10, 0, 1000, result);
    return 0;
}
