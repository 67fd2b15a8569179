// Fuzz target: a stored result file of any bytes through every result-file decoder, in either
// code page (the first byte's lowest bit). A decoder may refuse a file only with the errors it
// promises (the index errors of the Aution MINI and RFT decoders); its lines are "name=value"
// (a Hitachi header line is any line of the file), and their number follows the file's lines.
#include <analysers/devcatalogue.h>
#include <analysers/resultdecoders.h>
#include <analysers/resulttext.h>
#include <platform/codepage.h>
#include <platform/exception.h>

#include <support/fuzz_support.h>

namespace {

using Decoder = void (*)(const QString&, QStringList&, QStringList&, QStringList*);

struct Member
{
    const char* name;
    Decoder decode;
    bool mayRaise; // the string list's index error
};

void urilux(const QString& f, QStringList& h, QStringList& r, QStringList* l)
{
    ViewUriluxFile(f, h, r, l, UriluxTemplate(), mdUrilux, 3);
}

void trombotimer(const QString& f, QStringList& h, QStringList& r, QStringList* l)
{
    ViewTrombotimerFile(f, h, r, l);
}

constexpr Member Members[] = {
    {"ULX", urilux, false},
    {"TBT", trombotimer, false},
    {"AUM", ViewAutionMiniFile, true},
    {"RFT", ViewRftFile, true},
    {"ABX", ViewAbxFile, false},
    {"SRS", ViewStarrsedFile, false},
    {"911", ViewHitachi911File, false},
    {"912", ViewHitachi912File, false},
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
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
            if (!m.mayRaise)
                fuzz::fail(m.name, QStringLiteral("an index error"));
        } catch (const std::exception& e) {
            fuzz::fail(m.name, QStringLiteral("raised ") + exceptionMessage(e));
        }
        const bool hitachi = qstrcmp(m.name, "911") == 0 || qstrcmp(m.name, "912") == 0;
        check(m, results, "results", most);
        check(m, legend, "legend", most);
        if (!hitachi)
            check(m, header, "header", qstrcmp(m.name, "AUM") == 0 ? header.size() : most);
        else if (header.size() + results.size() > lines)
            fuzz::fail(m.name, QStringLiteral("more lines than the file has"));
    }
    return 0;
}
