// The stream tokenizer (TFFParser), the macro table (TMacroInfo) and the macro expansion that the
// request compiler runs over every statement it builds.
#include "tokenizer.h"

#include <platform/codepage.h>
#include <platform/support/textprocs.h>

#include <QIODevice>
#include <QPointer>

#include <algorithm>
#include <climits>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Sources

class TFFCustomParser::Source
{
public:
    virtual ~Source() = default;
    // Reads up to `max` characters into `dst`; returns how many were read (0 at the end).
    virtual qsizetype read(char16_t* dst, qsizetype max) = 0;
    virtual void seek(qint64 pos) = 0;
};

// A text read in place of a stream.
class TFFCustomParser::TextSource : public Source
{
public:
    explicit TextSource(const QString& text) : m_text(text) {}
    qsizetype read(char16_t* dst, qsizetype max) override
    {
        const qsizetype n = std::min(max, m_text.size() - m_pos);
        if (n <= 0)
            return 0;
        std::memcpy(dst, m_text.utf16() + m_pos, size_t(n) * sizeof(char16_t));
        m_pos += n;
        return n;
    }
    void seek(qint64 pos) override { m_pos = std::clamp<qsizetype>(pos, 0, m_text.size()); }

private:
    QString m_text;
    qsizetype m_pos = 0;
};

// A device whose bytes are text in the program's code page. The code pages are single-byte, so
// offsets in characters are offsets in bytes.
class TFFCustomParser::DeviceSource : public Source
{
public:
    explicit DeviceSource(QIODevice* device) : m_device(device)
    {
        const codepage::CodePage cp = codepage::current();
        for (int b = 0; b < 256; ++b) {
            const QString c = codepage::decode(QByteArray(1, char(b)), cp);
            m_table[b] = c.size() == 1 ? c.at(0).unicode() : char16_t(0xFFFD);
        }
    }
    qsizetype read(char16_t* dst, qsizetype max) override
    {
        if (!m_device)
            return 0;
        m_bytes.resize(max);
        const qint64 n = m_device->read(m_bytes.data(), max);
        if (n <= 0)
            return 0;
        for (qint64 i = 0; i < n; ++i)
            dst[i] = m_table[static_cast<unsigned char>(m_bytes.at(i))];
        return n;
    }
    void seek(qint64 pos) override
    {
        if (m_device && !m_device->isSequential())
            m_device->seek(pos);
    }

private:
    QPointer<QIODevice> m_device; // a device destroyed before the parser reads as ended
    char16_t m_table[256];
    QByteArray m_bytes;
};

// ---------------------------------------------------------------------------------------------
// Parser

namespace {
constexpr int MaxBufferSize = 65536;

bool isDigit(char16_t c)
{
    return c >= '0' && c <= '9';
}
bool isLetter(char16_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isHexDigit(char16_t c)
{
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool isFloatPart(char16_t c)
{
    return isDigit(c) || c == '+' || c == '-' || c == 'E' || c == 'e';
}
bool isFloatType(char16_t c)
{
    return c == 'c' || c == 'C' || c == 'd' || c == 'D' || c == 's' || c == 'S';
}
} // namespace

TFFCustomParser::TFFCustomParser(QObject* owner) : QObject(owner)
{
    m_buffer.assign(1, 0);
}

TFFCustomParser::~TFFCustomParser()
{
    if (m_source)
        m_source->seek(SourcePos());
}

void TFFCustomParser::setSource(std::unique_ptr<Source> source, int bufferSize)
{
    m_source = std::move(source);
    m_bufSize = bufferSize;
    m_buffer.assign(size_t(m_bufSize) + 1, 0);
    Reset();
}

void TFFCustomParser::SetStream(QIODevice* stream, int size)
{
    const int bufferSize = size >= 1 && size <= MaxBufferSize ? size : MaxBufferSize;
    setSource(stream ? std::make_unique<DeviceSource>(stream) : nullptr, bufferSize);
}

void TFFCustomParser::SetString(const QString& text)
{
    // The whole text plus its terminating zero fits, so a text never meets the line-length limit.
    setSource(std::make_unique<TextSource>(text),
              int(std::min<qsizetype>(text.size() + 1, INT_MAX)));
}

void TFFCustomParser::Reset()
{
    if (m_source)
        m_source->seek(0);
    m_origin = 0;
    m_readEnd = m_sourceEnd = m_sourcePtr = 0;
    m_tokenStart = m_tokenEnd = 0;
    m_saveChar = 0;
    m_buffer[0] = 0;
    m_line = 1;
    m_stringValue.clear();
    m_floatType = QChar();
    m_token = toEOF;
    readToken();
}

void TFFCustomParser::ReadBuffer()
{
    char16_t* const buf = m_buffer.data();
    m_origin += m_sourcePtr;
    buf[m_sourceEnd] = m_saveChar;
    const qsizetype count = m_readEnd - m_sourcePtr;
    if (count > 0 && m_sourcePtr > 0)
        std::memmove(buf, buf + m_sourcePtr, size_t(count) * sizeof(char16_t));
    m_tokenStart -= m_sourcePtr;
    m_tokenEnd -= m_sourcePtr;
    m_readEnd = count;
    if (m_source)
        m_readEnd += m_source->read(buf + m_readEnd, m_bufSize - m_readEnd);
    m_sourcePtr = 0;
    m_sourceEnd = m_readEnd;
    if (m_bufSize > 0 && m_sourceEnd == m_bufSize) {
        // A full buffer is cut after its last line feed; the rest waits for the next refill.
        qsizetype lf = m_bufSize - 1;
        while (lf >= 0 && buf[lf] != '\n')
            --lf;
        if (lf < 0)
            Error(QStringLiteral("Ligne trop longue"));
        m_sourceEnd = lf + 1;
    }
    m_saveChar = buf[m_sourceEnd];
    buf[m_sourceEnd] = 0;
}

void TFFCustomParser::skipBlanks()
{
    for (;;) {
        const char16_t c = m_buffer[size_t(m_sourcePtr)];
        if (c == 0) {
            ReadBuffer();
            if (m_buffer[size_t(m_sourcePtr)] == 0)
                return;
            continue;
        }
        if (c == '\n') {
            ++m_line;
            if (m_onNextLine)
                m_onNextLine(this);
        }
        if (c > ' ')
            return;
        ++m_sourcePtr;
    }
}

void TFFCustomParser::readToken()
{
    skipBlanks();
    const char16_t* const buf = m_buffer.data();
    m_tokenStart = m_sourcePtr;
    const char16_t c = buf[m_sourcePtr];
    if (c == 0) {
        m_token = toEOF;
    } else if (c == '#' || c == '\'') {
        readString();
        m_token = toString;
    } else if (c == '$' || c == '-' || isDigit(c)) {
        readNumber();
    } else if (isLetter(c) || c == '_') {
        ++m_sourcePtr;
        while (isLetter(buf[m_sourcePtr]) || isDigit(buf[m_sourcePtr]) || buf[m_sourcePtr] == '_')
            ++m_sourcePtr;
        m_token = toSymbol;
    } else {
        ++m_sourcePtr;
        m_token = c;
    }
    m_tokenEnd = m_sourcePtr;
}

void TFFCustomParser::readString()
{
    const char16_t* const buf = m_buffer.data();
    m_stringValue.clear();
    for (;;) {
        const char16_t c = buf[m_sourcePtr];
        if (c == '#') {
            ++m_sourcePtr;
            int code = 0;
            bool any = false;
            // Digits are taken while the code stays a byte; a further digit starts a new token.
            while (isDigit(buf[m_sourcePtr]) && code * 10 + (buf[m_sourcePtr] - '0') < 256) {
                code = code * 10 + (buf[m_sourcePtr] - '0');
                ++m_sourcePtr;
                any = true;
            }
            if (any)
                m_stringValue += codepage::decode(QByteArray(1, char(code)), codepage::current());
        } else if (c == '\'') {
            ++m_sourcePtr;
            if (m_encloseStrings)
                m_stringValue += QLatin1Char('\'');
            const qsizetype start = m_sourcePtr;
            while (buf[m_sourcePtr] != '\'' && buf[m_sourcePtr] != 0)
                ++m_sourcePtr;
            m_stringValue.append(reinterpret_cast<const QChar*>(buf + start), m_sourcePtr - start);
            if (buf[m_sourcePtr] != '\'')
                return; // no closing quote: the string ends with the text
            ++m_sourcePtr;
            if (m_encloseStrings)
                m_stringValue += QLatin1Char('\'');
        } else {
            return;
        }
    }
}

void TFFCustomParser::readNumber()
{
    const char16_t* const buf = m_buffer.data();
    ++m_sourcePtr;
    while (isHexDigit(buf[m_sourcePtr]))
        ++m_sourcePtr;
    m_token = toInteger;
    m_floatType = QChar();
    // The decimal point is always ".": kernel SQL is the same text whatever the regional settings.
    if (buf[m_sourcePtr] == '.') {
        ++m_sourcePtr;
        while (isFloatPart(buf[m_sourcePtr]))
            ++m_sourcePtr;
        m_token = toFloat;
        if (isFloatType(buf[m_sourcePtr])) {
            m_floatType = QChar(buf[m_sourcePtr]);
            ++m_sourcePtr;
        }
    }
}

char16_t TFFCustomParser::Token(bool advance)
{
    if (advance && m_token != toEOF)
        readToken();
    return m_token;
}

QStringView TFFCustomParser::tokenText() const
{
    // A refill called from outside moves the buffer past the token: it then has no text.
    if (m_tokenStart < 0)
        return {};
    return QStringView(reinterpret_cast<const QChar*>(m_buffer.data() + m_tokenStart),
                       m_tokenEnd - m_tokenStart);
}

QString TFFCustomParser::TokenString() const
{
    if (m_token == toString)
        return m_stringValue;
    return tokenText().toString();
}

int TFFCustomParser::KeywordIndex() const
{
    const QStringView text = m_token == toString ? QStringView(m_stringValue) : tokenText();
    for (qsizetype i = 0; i < m_keywords.size(); ++i) {
        if (text.compare(m_keywords.at(i), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

qint64 TFFCustomParser::SourcePos() const
{
    return m_origin + m_tokenStart;
}

void TFFCustomParser::Error(const QString& message) const
{
    throw EParserError(QStringLiteral("Parse error on line %1:\n\r").arg(m_line) + message);
}

// ---------------------------------------------------------------------------------------------
// Macro table

void TMacroInfo::Clear()
{
    Names.clear();
    Values.clear();
}

void TMacroInfo::SetText(const QString& text)
{
    // Lines end at CR LF, CR or LF; a break at the very end opens no further line.
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && text.at(end) != QLatin1Char('\r') && text.at(end) != QLatin1Char('\n'))
            ++end;
        const QString line = TrimLeft(text.mid(start, end - start));
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            Names.append(QString());
            Values.append(line);
        } else {
            Names.append(eq >= 1 ? line.mid(1, eq - 1) : QString());
            Values.append(line.mid(eq + 1));
        }
        if (end < n && text.at(end) == QLatin1Char('\r') && end + 1 < n &&
            text.at(end + 1) == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
}

// ---------------------------------------------------------------------------------------------
// Expansion

namespace {

// Deeper than any statement the compiler writes; it keeps a runaway text from exhausting the
// stack.
constexpr int MaxNesting = 200;

// The expansion reads a text by the tokenizer's rules without running the tokenizer, since it
// runs over every statement the compiler builds. What it needs of those rules: a "%" outside
// quotes is always a token of its own (no other kind of token holds one); a quote outside a
// quoted part always opens one, which runs to the next quote; blanks are the characters up to
// " "; and a zero character ends the text, as it ends the tokenizer's buffer.

bool atEnd(QStringView text, qsizetype i)
{
    return i >= text.size() || text.utf16()[i] == 0;
}

qsizetype skipBlanks(QStringView text, qsizetype i)
{
    const char16_t* s = text.utf16();
    while (i < text.size() && s[i] != 0 && s[i] <= ' ')
        ++i;
    return i;
}

// From the quote at i to just after the quote that closes it, or to the end of the text.
qsizetype skipQuoted(QStringView text, qsizetype i)
{
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    ++i;
    while (i < n && s[i] != '\'' && s[i] != 0)
        ++i;
    return i < n && s[i] == '\'' ? i + 1 : i;
}

// The next "%" outside quotes from i on; -1 when the text ends first.
qsizetype nextPercent(QStringView text, qsizetype i)
{
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    while (i < n) {
        const char16_t c = s[i];
        if (c == '%')
            return i;
        if (c == 0)
            return -1;
        i = c == '\'' ? skipQuoted(text, i) : i + 1;
    }
    return -1;
}

class Expander
{
public:
    explicit Expander(const TMacroInfo& macros) : m_macros(macros) {}

    QString expand(const QString& text, const QStringList* args)
    {
        if (!text.contains(QLatin1Char('%')))
            return text;
        if (m_depth >= MaxNesting)
            throw EParserError(
                QStringLiteral("Macro calls are nested more than %1 levels deep.").arg(MaxNesting));
        ++m_depth;
        struct Leave
        {
            int& depth;
            ~Leave() { --depth; }
        } leave{m_depth};
        return expandText(text, args);
    }

private:
    QString expandText(QStringView text, const QStringList* args);
    qsizetype collectArguments(QStringView text, qsizetype from, const QStringList* args,
                               QStringList& callArgs, qsizetype& callEnd);
    QString expandValue(int index, const QStringList& callArgs);
    int macroIndex(QStringView name) const;

    const TMacroInfo& m_macros;
    std::vector<int> m_chain; // macros whose values are being expanded, outermost first
    int m_depth = 0;
};

QString Expander::expandText(QStringView text, const QStringList* args)
{
    const qsizetype length = text.size();
    QString result;
    result.reserve(length + length / 8);
    qsizetype copied = 0;
    auto replace = [&](qsizetype from, qsizetype to, const QString& with) {
        result.append(text.mid(copied, from - copied));
        result.append(with);
        copied = to;
    };

    qsizetype i = 0;
    for (;;) {
        const qsizetype callStart = nextPercent(text, i);
        if (callStart < 0)
            break;
        // The token after the "%".
        const qsizetype at = skipBlanks(text, callStart + 1);
        if (atEnd(text, at))
            break;
        const char16_t c = text[at].unicode();
        if (isLetter(c) || c == '_') {
            qsizetype end = at + 1;
            while (end < length && (isLetter(text[end].unicode()) || isDigit(text[end].unicode()) ||
                                    text[end] == u'_'))
                ++end;
            const int index = macroIndex(text.sliced(at, end - at));
            i = end; // not a macro: the name stays as written
            if (index < 0)
                continue;
            qsizetype callEnd = end;
            QStringList callArgs;
            const qsizetype next = skipBlanks(text, end);
            if (next < length && text[next] == u'(')
                i = collectArguments(text, next + 1, args, callArgs, callEnd);
            // The token after the call is examined like any other: it may start the next call.
            replace(callStart, callEnd, expandValue(index, callArgs));
            continue;
        }
        if (args && (c == '$' || c == '-' || isDigit(c))) {
            // A number token: hexadecimal digits, and a float when a "." follows them.
            qsizetype end = at + 1;
            while (end < length && isHexDigit(text[end].unicode()))
                ++end;
            const QStringView digits = text.sliced(at, end - at);
            const bool integer = !(end < length && text[end] == u'.');
            if (integer && std::all_of(digits.cbegin(), digits.cend(),
                                       [](QChar d) { return isDigit(d.unicode()); })) {
                bool ok = false;
                const qlonglong n = digits.toLongLong(&ok);
                replace(callStart, end,
                        ok && n >= 1 && n <= args->size() ? args->at(qsizetype(n - 1)) : QString());
                i = end;
                continue;
            }
        }
        // Anything else after "%" stays as written; the token itself is examined again.
        i = at;
    }
    result.append(text.mid(copied));
    return result;
}

// `from` is just after the "(" that follows a macro name. Each argument runs from its first token
// to the "," or ")" that closes it outside brackets. Returns where the text goes on after the
// closing ")"; without one, the call runs to the end of the text.
qsizetype Expander::collectArguments(QStringView text, qsizetype from, const QStringList* args,
                                     QStringList& callArgs, qsizetype& callEnd)
{
    const qsizetype length = text.size();
    std::vector<char16_t> closers;
    qsizetype i = from;
    for (;;) {
        i = skipBlanks(text, i);
        const qsizetype argStart = i;
        closers.clear();
        while (!atEnd(text, i)) {
            const char16_t c = text[i].unicode();
            if (closers.empty() && (c == ',' || c == ')'))
                break;
            if (c == '\'') {
                i = skipQuoted(text, i);
                continue;
            }
            if (c == '(')
                closers.push_back(')');
            else if (c == '[')
                closers.push_back(']');
            else if (c == '{')
                closers.push_back('}');
            else if (!closers.empty() && c == closers.back())
                closers.pop_back();
            ++i;
        }
        if (atEnd(text, i)) {
            callArgs.append(expand(text.sliced(argStart).toString(), args));
            callEnd = length;
            return length;
        }
        callArgs.append(expand(text.sliced(argStart, i - argStart).toString(), args));
        if (text[i] == u')') {
            callEnd = i + 1;
            return i + 1;
        }
        ++i; // past the ","
    }
}

int Expander::macroIndex(QStringView name) const
{
    const QStringList& names = m_macros.Names;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (name.compare(names.at(i), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

QString Expander::expandValue(int index, const QStringList& callArgs)
{
    // A value that calls itself would never end: refuse it with the macro's name.
    if (std::find(m_chain.cbegin(), m_chain.cend(), index) != m_chain.cend())
        throw EParserError(QStringLiteral("Macro %%1 calls itself.").arg(m_macros.Names.at(index)));
    m_chain.push_back(index);
    struct Pop
    {
        std::vector<int>& chain;
        ~Pop() { chain.pop_back(); }
    } pop{m_chain};
    return expand(m_macros.Values.value(index), &callArgs);
}

} // namespace

QString ExpandMacros(const TMacroInfo& macros, const QString& text, const QStringList* args)
{
    return Expander(macros).expand(text, args);
}
