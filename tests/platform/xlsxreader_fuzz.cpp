// Fuzz target: .xlsx workbooks through the workbook's reader. An input starting with "PK" is a
// whole file; any other input is the package's parts already unpacked, as names and contents
// separated by byte 1 ("xl/workbook.xml" 1 "<workbook ..." 1 ...), which reaches the XML readers
// without the archive's checksums in the way. Reading must end in a book or in EWorkbookError,
// and a refused read leaves the book as it was; a book that was read is written and read again.
#include <platform/workbook/workbook.h>
#include <support/fuzz_support.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::Scratch scratch;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    Workbook book;
    book.current().SetText(1, 1, QStringLiteral("avant"));
    try {
        if (input.startsWith("PK")) {
            const QString path = scratch.path(QStringLiteral("input.xlsx"));
            fuzz::writeFile(path, input);
            book.Read(path);
        } else {
            QHash<QString, QByteArray> parts;
            const QList<QByteArray> pieces = input.split('\1');
            for (qsizetype i = 0; i + 1 < pieces.size(); i += 2)
                parts.insert(QString::fromLatin1(pieces[i]), pieces[i + 1]);
            book.ReadParts(parts);
        }
    } catch (const EWorkbookError&) {
        if (book.SheetCount() != 1 || book.current().Text(1, 1) != QLatin1String("avant"))
            fuzz::fail("xlsxreader", QStringLiteral("a refused read changed the book"));
        return 0;
    }
    try {
        const QString again = scratch.path(QStringLiteral("again.xlsx"));
        book.Write(again);
        Workbook read;
        read.Read(again);
        if (read.SheetCount() != book.SheetCount())
            fuzz::fail("xlsxreader", QStringLiteral("a book read back has other sheets"));
    } catch (const EWorkbookError&) {
        // A book read from elsewhere may hold what the writer refuses (a sheet name, say).
    }
    return 0;
}
