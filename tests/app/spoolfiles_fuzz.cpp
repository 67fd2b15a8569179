// Fuzz target: the spool readers. A page cut out is in the job as written and no shorter than a
// header; a job not cut whole leaves no page behind.
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
    if (result != EmfExtraction::Whole &&
        !(pages.isEmpty() && QDir(WorkPath + QStringLiteral("buf")).entryList({"*.emf"}).isEmpty()))
        fuzz::fail("spoolfiles", QStringLiteral("pages left by a job that was not taken"));
    for (const QString& page : pages) {
        const QByteArray cut = fuzz::readFile(page);
        if (cut.size() < 88 || !bytes.contains(cut))
            fuzz::fail("spoolfiles", QStringLiteral("%1 is not a page of the job").arg(page));
    }
    return 0;
}
