// The kernel's small stream tokenizer and the SQL macro table with its expansion. Kernel SQL is
// written once for every server kind; "%name" and "%name(args)" calls stand where the dialects
// differ and are replaced by the values of the connection's macro table.
#pragma once

#include <platform/exception.h>

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QIODevice;

// The parse error of the tokenizer ("Parse error on line %d:" and the reason).
QV_EXCEPTION_CLASS(EParserError, Exception)

// Token kinds. Any other token is a single character and its kind is that character's code.
inline constexpr char16_t toEOF = 0;
inline constexpr char16_t toSymbol = 1;
inline constexpr char16_t toString = 2;
inline constexpr char16_t toInteger = 3;
inline constexpr char16_t toFloat = 4;

// Reads a text or a stream token by token: identifiers, strings ('quoted' parts and #nn character
// codes run together), numbers (decimal, "$" hexadecimal, floats with "." as the decimal point)
// and single characters. Blanks and control characters between tokens are skipped.
//
// A stream is read through a buffer of a fixed size; the buffer always ends at a line feed, so a
// line longer than the buffer raises EParserError ("Ligne trop longue"). Stream bytes are read in
// the program's code page, one byte per character. A text is read in one piece.
class TFFCustomParser : public QObject
{
public:
    explicit TFFCustomParser(QObject* owner = nullptr);
    // Leaves a stream that is not owned positioned at the start of the current token.
    ~TFFCustomParser() override;

    // Reads from `stream` (not owned) with a buffer of `size` characters (1 to 65536; any other
    // size means 65536), from its start. Reads the first token.
    void SetStream(QIODevice* stream, int size);
    // Reads the text (copied). Reads the first token.
    void SetString(const QString& text);

    // Back to the start of the source: line 1, first token read.
    virtual void Reset();
    // Moves the unread rest to the buffer's start and fills the buffer from the source.
    virtual void ReadBuffer();

    // With `advance` the next token is read and returned; otherwise the current one. At the end
    // of the source the token stays toEOF.
    char16_t Token(bool advance);
    // The token's text; for a string its value (with its quotes when strings are enclosed).
    QString TokenString() const;
    // Index of the token's text in the keyword list (case ignored); -1 when absent.
    int KeywordIndex() const;
    // Offset of the current token's first character in the source.
    qint64 SourcePos() const;
    // Current line, from 1.
    int SourceLine() const { return m_line; }
    // Type letter after the last float ("c", "d", "s" in either case), or a null character.
    QChar FloatType() const { return m_floatType; }

    // Raises EParserError: "Parse error on line <n>:" + LF + CR + message.
    [[noreturn]] void Error(const QString& message) const;

protected:
    const QStringList& keywordList() const { return m_keywords; }
    void setKeywordList(const QStringList& list) { m_keywords = list; }
    bool encloseStrings() const { return m_encloseStrings; }
    void setEncloseStrings(bool on) { m_encloseStrings = on; }
    // Called for every line feed skipped between tokens, with the parser as sender.
    void setOnNextLine(std::function<void(QObject*)> handler) { m_onNextLine = std::move(handler); }

private:
    class Source;
    class DeviceSource;
    class TextSource;

    void setSource(std::unique_ptr<Source> source, int bufferSize);
    QStringView tokenText() const;
    void skipBlanks();
    void readToken();
    void readString();
    void readNumber();

    std::unique_ptr<Source> m_source; // a device (not owned itself) or a copy of a text
    std::vector<char16_t> m_buffer;   // buffer size + 1 for the terminating zero
    qsizetype m_bufSize = 0;
    qsizetype m_readEnd = 0;   // end of the characters read from the source
    qsizetype m_sourceEnd = 0; // end of the usable part (holds the terminating zero)
    qsizetype m_sourcePtr = 0; // scanning position
    qint64 m_origin = 0;       // source offset of the buffer's start
    qsizetype m_tokenStart = 0;
    qsizetype m_tokenEnd = 0;
    QString m_stringValue; // value of a string token
    int m_line = 1;
    char16_t m_token = toEOF;
    QChar m_floatType;
    char16_t m_saveChar = 0; // the character replaced by the terminating zero
    QStringList m_keywords;
    bool m_encloseStrings = false;
    std::function<void(QObject*)> m_onNextLine;
};

class TFFParser : public TFFCustomParser
{
public:
    explicit TFFParser(QObject* owner = nullptr) : TFFCustomParser(owner) {}

    const QStringList& KeywordList() const { return keywordList(); }
    void SetKeywordList(const QStringList& list) { setKeywordList(list); }
    // Off by default: string tokens give their value without quotes.
    bool EncloseStrings() const { return encloseStrings(); }
    void SetEncloseStrings(bool on) { setEncloseStrings(on); }
    void SetOnNextLine(std::function<void(QObject*)> handler) { setOnNextLine(std::move(handler)); }
};

// A connection's macro table: names (without the "%") and values, parallel by index. The first of
// two equal names wins at lookup.
class TMacroInfo
{
public:
    QStringList Names;
    QStringList Values;

    void Clear();
    // Adds one macro per line of "%name=value": the line is trimmed on the left, its first
    // character skipped, the name runs to the first "=" and the value is the rest. A line without
    // "=" gives an empty name and the whole line as its value. Nothing is checked.
    void SetText(const QString& text);
};

// Replaces every macro call of `text` that stands outside quotes by the macro's value. A call is
// "%" and a macro name (case ignored), with an optional argument list "(a,b,...)" whose arguments
// are expanded first; in a value "%1".."%n" stand for the arguments (empty when missing). With
// `args` given, "%n" in `text` is argument n; without it "%n" stays as written. Anything else
// after "%" stays as written. A macro whose value calls itself, directly or through others, and
// calls nested deeper than the expansion can follow, raise EParserError.
QString ExpandMacros(const TMacroInfo& macros, const QString& text,
                     const QStringList* args = nullptr);
