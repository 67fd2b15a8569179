// Key collation: exact order by the bytes of the program's code page, and the folded order
// without regard to case and accents. Both compare character by character through weight tables
// built once per code page, so that index searches allocate nothing.
#include "collation.h"

#include <platform/codepage.h>

#include <array>
#include <memory>

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

} // namespace

int compareExact(const QString& a, const QString& b)
{
    const ByteTable& t = table(codepage::current());
    const qsizetype la = effectiveLength(a), lb = effectiveLength(b);
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    const qsizetype n = qMin(la, lb);
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] == pb[i])
            continue;
        const quint32 wa = exactWeight(t, pa[i]), wb = exactWeight(t, pb[i]);
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

QString foldedKey(const QString& text)
{
    // Decompose, drop the combining marks, lower-case: "Éric" and "eric" give the same key.
    const QString decomposed =
        text.left(effectiveLength(text)).normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (!c.isMark())
            out.append(c.toLower());
    }
    return out;
}

int compareFoldedKeys(const QString& a, const QString& b)
{
    const codepage::CodePage cp = codepage::current();
    const ByteTable& t = table(cp);
    const bool cyrillicFirst = cp == codepage::Cp1251;
    const qsizetype la = effectiveLength(a), lb = effectiveLength(b);
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    const qsizetype n = qMin(la, lb);
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] == pb[i])
            continue;
        const quint32 wa = foldedWeight(t, cyrillicFirst, pa[i]);
        const quint32 wb = foldedWeight(t, cyrillicFirst, pb[i]);
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

int compareFolded(const QString& a, const QString& b)
{
    return compareFoldedKeys(foldedKey(a), foldedKey(b));
}

int compareCaseInsensitive(const QString& a, const QString& b)
{
    const int c = compareFolded(a, b);
    return c != 0 ? c : compareExact(a, b);
}

} // namespace collation
