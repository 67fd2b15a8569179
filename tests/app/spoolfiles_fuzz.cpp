// Fuzz target: the spool readers. A page cut out is in the job as written and no shorter than a
// header; a job not cut whole leaves no page behind, and no temporary file is ever left.
#include <app/sources/spoolfiles.h>
#include <support/fuzz_support.h>

#include <QFileInfo>

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
    // The folder holds the job and the pages cut out of it, nothing else (no temporary file).
    QStringList expected{QStringLiteral("00002.SPL")};
    for (const QString& page : std::as_const(pages))
        expected.append(QFileInfo(page).fileName());
    expected.sort();
    if (result != EmfExtraction::Whole && !pages.isEmpty())
        fuzz::fail("spoolfiles", QStringLiteral("pages given by a job that was not taken"));
    if (QDir(WorkPath + QStringLiteral("buf")).entryList(QDir::Files | QDir::Hidden, QDir::Name) !=
        expected)
        fuzz::fail("spoolfiles", QStringLiteral("files left beside the job"));
    for (const QString& page : pages) {
        const QByteArray cut = fuzz::readFile(page);
        if (cut.size() < 88 || !bytes.contains(cut))
            fuzz::fail("spoolfiles", QStringLiteral("%1 is not a page of the job").arg(page));
    }
    return 0;
}
