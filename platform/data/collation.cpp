// Key collation: exact order by the bytes of the program's code page, and the folded order
// without regard to case and accents. Both compare character by character through weight tables
// built once per code page, so that index searches allocate nothing.
#include "collation.h"

#include <platform/codepage.h>

#include <array>
#include <memory>
#include <optional>

namespace collation {
namespace {

constexpr quint16 NotInCodePage = 0xFFFF;

// Byte of each UTF-16 code unit in one code page; NotInCodePage for characters it cannot hold.
struct ByteTable
{
    std::array<quint16, 65536> byteOf;
    explicit ByteTable(codepage::CodePage cp)
    {
        byteOf.fill(NotInCodePage);
        for (int b = 0; b < 256; ++b) {
            const QString ch = codepage::decode(QByteArray(1, char(b)), cp);
            if (ch.size() == 1 && ch.at(0) != QChar::ReplacementCharacter)
                byteOf[ch.at(0).unicode()] = quint16(b);
        }
    }
};

const ByteTable& table(codepage::CodePage cp)
{
    static const std::unique_ptr<ByteTable> t1252 = std::make_unique<ByteTable>(codepage::Cp1252);
    static const std::unique_ptr<ByteTable> t1251 = std::make_unique<ByteTable>(codepage::Cp1251);
    return cp == codepage::Cp1251 ? *t1251 : *t1252;
}

// Characters outside the code page sort after every byte of it, by their code.
inline quint32 exactWeight(const ByteTable& t, char16_t c)
{
    const quint16 b = t.byteOf[c];
    return b == NotInCodePage ? 0x100u + c : b;
}

// Folded weights leave room below each byte weight, so that under the Cyrillic code page the
// Cyrillic letters can stand between the ASCII punctuation and the Latin letters.
inline quint32 foldedWeight(const ByteTable& t, bool cyrillicFirst, char16_t c)
{
    const quint32 w = exactWeight(t, c);
    if (cyrillicFirst && c >= 0x0400 && c <= 0x04FF && w < 0x100)
        return (u'a' << 9) - 0x100 + w; // above '`', below 'a'
    return w << 9;
}

inline qsizetype effectiveLength(const QString& s)
{
    const qsizetype nul = s.indexOf(QChar(0));
    return nul < 0 ? s.size() : nul;
}

// Walks two texts up to their ends or first NUL, comparing differing characters by weight.
template <typename Weight> int compareBy(const QString& a, const QString& b, Weight weight)
{
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    const qsizetype la = a.size(), lb = b.size();
    const qsizetype n = qMin(la, lb);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = pa[i], cb = pb[i];
        if (ca == cb) {
            if (ca == 0)
                return 0;
            continue;
        }
        if (ca == 0 || cb == 0)
            return ca == 0 ? -1 : 1;
        const quint32 wa = weight(ca), wb = weight(cb);
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    // One text ended: the other is longer unless it ends here too.
    if (la == lb)
        return 0;
    if (la > lb)
        return pa[n] == 0 ? 0 : 1;
    return pb[n] == 0 ? 0 : -1;
}

} // namespace

int compareExact(const QString& a, const QString& b)
{
    const ByteTable& t = table(codepage::current());
    return compareBy(a, b, [&t](char16_t c) { return exactWeight(t, c); });
}

QString foldedKey(const QString& text)
{
    return codepage::foldKey(text.left(effectiveLength(text)));
}

int compareFoldedKeys(const QString& a, const QString& b)
{
    const codepage::CodePage cp = codepage::current();
    const ByteTable& t = table(cp);
    const bool cyrillicFirst = cp == codepage::Cp1251;
    return compareBy(a, b, [&](char16_t c) { return foldedWeight(t, cyrillicFirst, c); });
}

namespace {

// Packs small ranks of the first characters, 0 standing for the end of the text. A character
// outside the code page sorts after all others; it gets the top rank and ends the prefix, so that
// texts sharing the characters before it fall back to a full comparison.
template <typename Rank>
quint64 packPrefix(const QString& text, int part, int chars, int bits, Rank rank)
{
    const quint32 top = (1u << bits) - 1;
    quint64 p = 0;
    bool ended = false;
    for (int i = 0; i < (part + 1) * chars; ++i) {
        quint32 r = 0;
        if (!ended && i < text.size() && text.at(i).unicode() != 0) {
            r = rank(text.at(i).unicode());
            ended = r == top;
        } else {
            ended = true;
        }
        if (i >= part * chars)
            p = (p << bits) | r;
        else if (ended)
            return 0; // an earlier part already ends the text
    }
    return p;
}

} // namespace

quint64 exactPrefix(const QString& text, int part)
{
    const ByteTable& t = table(codepage::current());
    return packPrefix(text, part, 7, 9, [&t](char16_t c) -> quint32 {
        const quint16 b = t.byteOf[c];
        return b == NotInCodePage ? 0x1FF : b + 1u;
    });
}

quint64 foldedPrefix(const QString& foldedKey, int part)
{
    const codepage::CodePage cp = codepage::current();
    const ByteTable& t = table(cp);
    const bool cyrillicFirst = cp == codepage::Cp1251;
    // The folded order in ranks: bytes up to '`', then (Cyrillic code page) Cyrillic letters,
    // then the other bytes.
    return packPrefix(foldedKey, part, 6, 10, [&](char16_t c) -> quint32 {
        const quint16 b = t.byteOf[c];
        if (b == NotInCodePage)
            return 0x3FF;
        if (cyrillicFirst && c >= 0x0400 && c <= 0x04FF)
            return 0x62u + b;
        return b <= 0x60 ? b + 1u : 0x162u + b;
    });
}

namespace {

// What folding makes of each UTF-16 unit on its own: the one unit it becomes, SkipUnit for a
// mark that folding drops, ComplexUnit for a unit that needs its neighbours or becomes several
// units (surrogates, ligatures that lower-case to two letters). Built once.
constexpr char16_t SkipUnit = 0xFFFE;
constexpr char16_t ComplexUnit = 0xFFFF;

const std::array<char16_t, 65536>& foldTable()
{
    static const std::unique_ptr<std::array<char16_t, 65536>> table = [] {
        auto t = std::make_unique<std::array<char16_t, 65536>>();
        for (int c = 0; c < 65536; ++c) {
            const QChar ch{char16_t(c)};
            if (ch.isSurrogate() || c == SkipUnit || c == ComplexUnit) {
                (*t)[c] = ComplexUnit;
                continue;
            }
            const QString folded = codepage::foldKey(QString(ch));
            (*t)[c] = folded.isEmpty()     ? SkipUnit
                      : folded.size() == 1 ? folded.at(0).unicode()
                                           : ComplexUnit;
        }
        return t;
    }();
    return *table;
}

// The folded order of two texts read unit by unit, without making their folded keys; nullopt
// when a unit needs the whole text's folding.
std::optional<int> compareFoldedInPlace(const QString& a, const QString& b)
{
    const std::array<char16_t, 65536>& fold = foldTable();
    const codepage::CodePage cp = codepage::current();
    const ByteTable& t = table(cp);
    const bool cyrillicFirst = cp == codepage::Cp1251;
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    const qsizetype la = effectiveLength(a), lb = effectiveLength(b);
    qsizetype i = 0, j = 0;
    for (;;) {
        char16_t ca = 0, cb = 0;
        while (i < la && (ca = fold[pa[i]]) == SkipUnit)
            ++i;
        while (j < lb && (cb = fold[pb[j]]) == SkipUnit)
            ++j;
        const bool endA = i >= la, endB = j >= lb;
        if (endA || endB)
            return endA == endB ? 0 : (endA ? -1 : 1);
        if (ca == ComplexUnit || cb == ComplexUnit)
            return std::nullopt;
        if (ca != cb) {
            const quint32 wa = foldedWeight(t, cyrillicFirst, ca);
            const quint32 wb = foldedWeight(t, cyrillicFirst, cb);
            if (wa != wb)
                return wa < wb ? -1 : 1;
        }
        ++i;
        ++j;
    }
}

} // namespace

int compareFolded(const QString& a, const QString& b)
{
    if (const std::optional<int> c = compareFoldedInPlace(a, b))
        return *c;
    return compareFoldedKeys(foldedKey(a), foldedKey(b));
}

int compareCaseInsensitive(const QString& a, const QString& b)
{
    const int c = compareFolded(a, b);
    return c != 0 ? c : compareExact(a, b);
}

} // namespace collation
