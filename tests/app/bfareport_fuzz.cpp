// Fuzz target: BFA result files through ReadBFAFile, and each report it writes through the viewer's
// FormatBFAReport. A file gives at least one report, numbered from 1, and is removed once they are
// written.
#include <app/sources/bfareport.h>
#include <platform/codepage.h>
#include <support/fuzz_support.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    if (size > 8 * 1024)
        return 0;
    scratch.clear();
    const QString input = scratch.path(QStringLiteral("com_buf/comport1.buf"));
    fuzz::writeFile(input, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QList<BFAReport> reports = ReadBFAFile(input);
    if (reports.isEmpty() || QFile::exists(input))
        fuzz::fail("bfareport", QString::asprintf("%d reports, input left: %d", int(reports.size()),
                                                  int(QFile::exists(input))));
    for (qsizetype i = 0; i < reports.size(); ++i) {
        const QString name = scratch.path(QStringLiteral("com_buf/~bfa%1.tmp").arg(i + 1));
        if (reports[i].fileName != name || !QFile::exists(name))
            fuzz::fail("bfareport", QStringLiteral("report %1 is not %2").arg(i + 1).arg(name));
        QStringList lines =
            codepage::decode(fuzz::readFile(name), codepage::Cp1251).split(QStringLiteral("\r\n"));
        FormatBFAReport(lines);
    }
    return 0;
}
