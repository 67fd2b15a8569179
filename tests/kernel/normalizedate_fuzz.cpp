// Fuzz target: any typed text through the reading of typed dates, with either regional date
// separator. What comes back is empty, the text as typed (it is no date), or a date written in
// the program's form, which reads back as itself.
#include <kernel/fieldformat.h>
#include <platform/regional.h>
#include <support/fuzz_support.h>

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                            qsizetype(qMin<std::size_t>(size, 256)));
    for (int language : {1, 2}) {
        setRegionalLanguage(language);
        const QString written = NormalizeDateText(typed);
        if (written.isEmpty() || written == typed)
            continue;
        if ((written.size() != 10 && written.size() != 16) || NormalizeDateText(written) != written)
            fuzz::fail("normalizedate", typed + QStringLiteral(" -> ") + written);
    }
    setRegionalLanguage(1);
    return 0;
}
