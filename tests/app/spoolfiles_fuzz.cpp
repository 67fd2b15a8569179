// Fuzz target: a spool folder's job files as the virtual-printer source reads them: the page
// entries of a version-1 job, the queue names of a shadow file, and the pages cut out of a
// version-2 job file. Every page written is a whole header's worth at least and lies in the job
// file as written; a job that is not Whole leaves no page behind.
#include <app/sources/spoolfiles.h>
#include <support/fuzz_support.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    if (size > 256 * 1024)
        return 0;
    scratch.clear();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const SpoolV1Job v1 = ParseSpoolV1(bytes);
    for (const QByteArray& page : v1.pages)
        SpoolPageFileName(page);
    ShadowNamesQueue(bytes, QStringLiteral("Cardio"));

    const QString job = scratch.path(QStringLiteral("buf/00002.SPL"));
    fuzz::writeFile(job, bytes);
    QStringList pages;
    const EmfExtraction result = ExtractEmfPages(job, pages);
    const QStringList written =
        QDir(scratch.path(QStringLiteral("buf"))).entryList({QStringLiteral("*.emf")}, QDir::Files);
    if (result != EmfExtraction::Whole && !(pages.isEmpty() && written.isEmpty()))
        fuzz::fail("spoolfiles", QStringLiteral("pages left by a job that was not taken"));
    for (const QString& page : pages) {
        const QByteArray cut = fuzz::readFile(page);
        if (cut.size() < 88 || !bytes.contains(cut))
            fuzz::fail("spoolfiles", QStringLiteral("%1 is not a page of the job").arg(page));
    }
    return 0;
}
