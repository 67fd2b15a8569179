// Code page conversion and Windows ANSI case mapping through 256-entry tables, one set per code
// page, built once from Qt's codecs; and the case- and accent-folding key for sorting names.
#include <platform/codepage.h>

#include <platform/exception.h>

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <atomic>

namespace codepage {
namespace {

std::atomic<CodePage> g_current{Cp1252};

const char* codecName(CodePage cp)
{
    return cp == Cp1251 ? "windows-1251" : "windows-1252";
}

// Everything the conversions and case mappings of one code page need.
class Table
{
public:
    explicit Table(CodePage cp);

    char16_t toUnicode(unsigned char b) const { return m_toUnicode[b]; }
    // The byte for a UTF-16 unit, or -1 when the code page has none.
    int fromUnicode(char16_t c) const
    {
        if (c < 0x80)
            return c;
        const auto it = std::lower_bound(m_high.begin(), m_high.end(), c,
                                         [](const Entry& e, char16_t v) { return e.unit < v; });
        return it != m_high.end() && it->unit == c ? it->byte : -1;
    }
    unsigned char upper(unsigned char b) const { return m_upper[b]; }
    unsigned char lower(unsigned char b) const { return m_lower[b]; }

private:
    struct Entry
    {
        char16_t unit;
        unsigned char byte;
    };
    std::array<char16_t, 256> m_toUnicode{};
    std::array<Entry, 128> m_high{}; // the upper half, sorted by code unit
    std::array<unsigned char, 256> m_upper{};
    std::array<unsigned char, 256> m_lower{};
};

Table::Table(CodePage cp)
{
    QStringDecoder decoder(codecName(cp));
    if (!decoder.isValid())
        qFatal("Qt offers no %s codec (Qt must be built with ICU)", codecName(cp));

    for (int b = 0; b < 0x80; ++b)
        m_toUnicode[b] = char16_t(b);
    for (int b = 0x80; b < 0x100; ++b) {
        const char byte = char(b);
        const QString s = decoder.decode(QByteArrayView(&byte, 1));
        decoder.resetState();
        char16_t unit = char16_t(b);
        // A byte the code page leaves undefined (or that a codec reports as an error) keeps the
        // C1 control of its value, as Windows does, so that it survives a round trip.
        if (s.size() == 1 && s.at(0) != QChar::ReplacementCharacter && s.at(0).unicode() >= 0x80)
            unit = s.at(0).unicode();
        m_toUnicode[b] = unit;
        m_high[b - 0x80] = Entry{unit, static_cast<unsigned char>(b)};
    }
    std::sort(m_high.begin(), m_high.end(),
              [](const Entry& a, const Entry& b) { return a.unit < b.unit; });
    // Round trips need one byte per character.
    for (size_t i = 1; i < m_high.size(); ++i)
        Q_ASSERT(m_high[i - 1].unit != m_high[i].unit);

    for (int b = 0; b < 0x100; ++b) {
        const char32_t c = m_toUnicode[b];
        const char32_t u = QChar::toUpper(c);
        const char32_t l = QChar::toLower(c);
        const int ub = u <= 0xFFFF ? fromUnicode(char16_t(u)) : -1;
        const int lb = l <= 0xFFFF ? fromUnicode(char16_t(l)) : -1;
        m_upper[b] = static_cast<unsigned char>(ub >= 0 ? ub : b);
        m_lower[b] = static_cast<unsigned char>(lb >= 0 ? lb : b);
    }
}

const Table& table(CodePage cp)
{
    static const Table t1252(Cp1252);
    static const Table t1251(Cp1251);
    return cp == Cp1251 ? t1251 : t1252;
}

template <typename MapByte> QString mapText(const QString& text, const Table& t, MapByte map)
{
    QString out = text;
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < out.size(); ++i) {
        const int b = t.fromUnicode(d[i]);
        if (b >= 0)
            d[i] = t.toUnicode(map(static_cast<unsigned char>(b)));
    }
    return out;
}

template <typename MapByte> QByteArray mapBytes(const QByteArray& bytes, MapByte map)
{
    QByteArray out = bytes;
    for (char& c : out)
        c = char(map(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

CodePage forLanguage(int language)
{
    return language == 2 ? Cp1251 : Cp1252;
}
CodePage current()
{
    return g_current.load(std::memory_order_relaxed);
}
void setCurrent(CodePage cp)
{
    g_current.store(cp, std::memory_order_relaxed);
}

QByteArray encode(const QString& text, CodePage cp, bool* lossless)
{
    const Table& t = table(cp);
    QByteArray out;
    out.reserve(text.size());
    bool ok = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const int b = t.fromUnicode(c.unicode());
        if (b >= 0) {
            out.append(char(b));
            continue;
        }
        ok = false;
        out.append('?');
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }
    if (lossless)
        *lossless = ok;
    return out;
}

QString decode(const QByteArray& bytes, CodePage cp)
{
    const Table& t = table(cp);
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        d[i] = t.toUnicode(static_cast<unsigned char>(bytes.at(i)));
    return out;
}

bool canEncode(const QString& text, CodePage cp)
{
    const Table& t = table(cp);
    return std::all_of(text.begin(), text.end(),
                       [&t](QChar c) { return t.fromUnicode(c.unicode()) >= 0; });
}

QByteArray toAnsi(const QString& text, bool* lossless)
{
    return encode(text, current(), lossless);
}
QString fromAnsi(const QByteArray& bytes)
{
    return decode(bytes, current());
}

QByteArray toAnsiStrict(const QString& text, const QString& what)
{
    const CodePage cp = current();
    bool ok = true;
    QByteArray out = encode(text, cp, &ok);
    if (!ok) {
        const Table& t = table(cp);
        QString bad;
        for (const QChar c : text) {
            if (t.fromUnicode(c.unicode()) < 0 && !c.isLowSurrogate() && !bad.contains(c))
                bad.append(c);
        }
        throw EConvertError(
            QStringLiteral("%1 \"%2\" holds characters that code page %3 cannot store: %4")
                .arg(what, text, QString::number(int(cp)), bad));
    }
    return out;
}

QString upper(const QString& text, CodePage cp)
{
    const Table& t = table(cp);
    return mapText(text, t, [&t](unsigned char b) { return t.upper(b); });
}

QString lower(const QString& text, CodePage cp)
{
    const Table& t = table(cp);
    return mapText(text, t, [&t](unsigned char b) { return t.lower(b); });
}

QByteArray upperBytes(const QByteArray& bytes, CodePage cp)
{
    const Table& t = table(cp);
    return mapBytes(bytes, [&t](unsigned char b) { return t.upper(b); });
}

QByteArray lowerBytes(const QByteArray& bytes, CodePage cp)
{
    const Table& t = table(cp);
    return mapBytes(bytes, [&t](unsigned char b) { return t.lower(b); });
}

unsigned char upperByte(unsigned char b, CodePage cp)
{
    return table(cp).upper(b);
}
unsigned char lowerByte(unsigned char b, CodePage cp)
{
    return table(cp).lower(b);
}

bool sameText(const QString& a, const QString& b, CodePage cp)
{
    if (a.size() != b.size())
        return false;
    const Table& t = table(cp);
    const auto up = [&t](QChar c) -> char16_t {
        const int byte = t.fromUnicode(c.unicode());
        return byte >= 0 ? t.toUnicode(t.upper(static_cast<unsigned char>(byte))) : c.unicode();
    };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i) != b.at(i) && up(a.at(i)) != up(b.at(i)))
            return false;
    }
    return true;
}

QString foldKey(const QString& text)
{
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        QString out = text;
        for (QChar& c : out) {
            if (c >= u'A' && c <= u'Z')
                c = QChar(c.unicode() + 0x20);
        }
        return out;
    }

    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        char32_t c = decomposed.at(i).unicode();
        qsizetype width = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < decomposed.size() &&
            decomposed.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(decomposed.at(i), decomposed.at(i + 1));
            width = 2;
        }
        if (!QChar::isMark(c))
            out.append(decomposed.constData() + i, width);
        i += width - 1;
    }
    return out.toLower();
}

} // namespace codepage
