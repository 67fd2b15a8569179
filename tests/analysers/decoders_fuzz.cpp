// Fuzz target: a stored result file of any bytes through every result-file decoder, in either
// code page (the first byte's lowest bit). A decoder may refuse a file only with the errors it
// promises (the index errors of the Aution MINI and RFT decoders, the conversion and file errors
// of the AUTOLAB, Sysmex and Advia decoders); its lines are "name=value" (a Hitachi header line
// is any line of the file), and their number follows the file's lines or layout; the decoders of
// fixed layouts give a legend line only with a result line.
//
// Then the Max-M rewrite on a copy of the bytes: it never raises; when it says no, the file is
// as it was; when it rewrote it, the file has the stored layout's size for the same count, and a
// second rewrite leaves it. No temporary file stays behind, and the log holds only its lines.
#include <analysers/devcatalogue.h>
#include <analysers/hmx.h>
#include <analysers/maxmfile.h>
#include <analysers/resultdecoders.h>
#include <analysers/resulttext.h>
#include <platform/codepage.h>
#include <platform/exception.h>

#include <support/fuzz_support.h>

namespace {

using Decoder = void (*)(const QString&, QStringList&, QStringList&, QStringList*);

// The errors a decoder may raise.
enum Raises { NoError = 0, IndexError = 1, ConvertError = 2, FileError = 4 };

// The most lines a list may hold: by the file's lines, or by its layout.
enum class Bound { Lines, Autolab, Sysmex, Advia, MaxM };

struct Member
{
    const char* name;
    Decoder decode;
    int mayRaise;
    Bound bound = Bound::Lines;
};

void urilux(const QString& f, QStringList& h, QStringList& r, QStringList* l)
{
    ViewUriluxFile(f, h, r, l, UriluxTemplate(), mdUrilux, 3);
}

void trombotimer(const QString& f, QStringList& h, QStringList& r, QStringList* l)
{
    ViewTrombotimerFile(f, h, r, l);
}

void maxm(const QString& f, QStringList& h, QStringList& r, QStringList* l)
{
    ViewMaxMFile(f, h, r, l);
}

constexpr Member Members[] = {
    {"ULX", urilux, NoError},
    {"TBT", trombotimer, NoError},
    {"AUM", ViewAutionMiniFile, IndexError},
    {"RFT", ViewRftFile, IndexError},
    {"ABX", ViewAbxFile, NoError},
    {"SRS", ViewStarrsedFile, NoError},
    {"911", ViewHitachi911File, NoError},
    {"912", ViewHitachi912File, NoError},
    {"ALB", ViewAutolabFile, ConvertError | FileError, Bound::Autolab},
    {"SMX", ViewSysmexFile, ConvertError, Bound::Sysmex},
    {"ADV", ViewAdviaFile, ConvertError | FileError, Bound::Advia},
    {"MXM", maxm, NoError, Bound::MaxM},
};

void check(const Member& m, const QStringList& list, const char* which, qsizetype most)
{
    if (list.size() > most)
        fuzz::fail(m.name, QStringLiteral("%1 lines in the %2 of a file of %3 lines")
                               .arg(list.size())
                               .arg(QLatin1String(which))
                               .arg(most));
    for (const QString& line : list)
        if (!line.contains(u'='))
            fuzz::fail(m.name,
                       QStringLiteral("%1 line without \"=\": %2").arg(QLatin1String(which), line));
}

// The Max-M rewrite on a copy of the bytes.
void restructure(const fuzz::Scratch& scratch, const QByteArray& bytes)
{
    const QString file = scratch.path(QStringLiteral("buf/r.mxm"));
    fuzz::writeFile(file, bytes);
    bool rewritten = false;
    try {
        rewritten = RestructureRecordFile(file);
    } catch (const std::exception& e) {
        fuzz::fail("restructure", QStringLiteral("raised ") + exceptionMessage(e));
    }
    const QByteArray after = fuzz::readFile(file);
    if (!rewritten && after != bytes)
        fuzz::fail("restructure", QStringLiteral("the file changed, but no rewrite was reported"));
    if (rewritten) {
        const int count = HMXTwoDigits(bytes);
        if (count <= 0 || after.size() != 2 + qsizetype(count) * 264 ||
            after.left(2) != bytes.left(2))
            fuzz::fail("restructure", QStringLiteral("%1 bytes written for the count \"%2\"")
                                          .arg(after.size())
                                          .arg(QString::fromLatin1(bytes.left(2).toHex())));
        if (RestructureRecordFile(file) || fuzz::readFile(file) != after)
            fuzz::fail("restructure", QStringLiteral("a stored file was rewritten again"));
    }
    if (QDir(scratch.path(QStringLiteral("buf"))).entryList(QDir::Files | QDir::Hidden).size() != 1)
        fuzz::fail("restructure", QStringLiteral("a temporary file stayed behind"));
    const QByteArray log = fuzz::readFile(scratch.path(QStringLiteral("QUORVANE.LOG")));
    for (const QByteArray& line : log.split('\n'))
        if (!line.isEmpty() && !line.startsWith("Proc. CorrectMaxM: "))
            fuzz::fail("restructure", QStringLiteral("logged ") + QString::fromLatin1(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    scratch.clear();
    const QByteArray bytes(reinterpret_cast<const char*>(data),
                           qsizetype(std::min<std::size_t>(size, 64 * 1024)));
    codepage::setCurrent(size > 0 && (data[0] & 1) ? codepage::Cp1251 : codepage::Cp1252);
    const QString file = scratch.path(QStringLiteral("1a.4"));
    fuzz::writeFile(file, bytes);
    // A line gives at most five items (the URILUX template's), a file at most ten more (the
    // headers of RFT and StaRRsed); only the Aution MINI header, an item per word of the first
    // line, is not bounded by lines.
    const qsizetype lines = std::max(TextLines(bytes).size(), LinesAtCR(bytes).size());
    const qsizetype most = 5 * lines + 10;
    for (const Member& m : Members) {
        QStringList header, results, legend;
        try {
            m.decode(file, header, results, &legend);
        } catch (const EStringListError&) {
            if (!(m.mayRaise & IndexError))
                fuzz::fail(m.name, QStringLiteral("an index error"));
        } catch (const EConvertError& e) {
            if (!(m.mayRaise & ConvertError))
                fuzz::fail(m.name, QStringLiteral("a conversion error: ") + e.message());
        } catch (const EInOutError& e) {
            if (!(m.mayRaise & FileError))
                fuzz::fail(m.name, QStringLiteral("a file error: ") + e.message());
        } catch (const std::exception& e) {
            fuzz::fail(m.name, QStringLiteral("raised ") + exceptionMessage(e));
        }
        switch (m.bound) {
        case Bound::Lines: {
            const bool hitachi = qstrcmp(m.name, "911") == 0 || qstrcmp(m.name, "912") == 0;
            check(m, results, "results", most);
            check(m, legend, "legend", most);
            if (!hitachi)
                check(m, header, "header", qstrcmp(m.name, "AUM") == 0 ? header.size() : most);
            else if (header.size() + results.size() > lines)
                fuzz::fail(m.name, QStringLiteral("more lines than the file has"));
            continue;
        }
        case Bound::Autolab:
            check(m, header, "header", 2);
            check(m, results, "results", std::max<qsizetype>(bytes.size() - 39, 0) / 10);
            break;
        case Bound::Sysmex:
            check(m, header, "header", 2);
            check(m, results, "results", 18);
            break;
        case Bound::Advia:
            check(m, header, "header", 7);
            check(m, results, "results", 22 + 15);
            break;
        case Bound::MaxM:
            check(m, header, "header", 10);
            check(m, results, "results", bytes.count("\r\n"));
            break;
        }
        check(m, legend, "legend", results.size());
    }
    restructure(scratch, bytes);
    return 0;
}
