// Inner parts of the regular-expression engine shared by its compiler and its matcher: byte sets,
// the compiled program and its search hints.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace regexpr {

// A set of the 256 byte values.
class ByteSet
{
public:
    bool has(unsigned char b) const { return (m_bits[b >> 6] >> (b & 63)) & 1; }
    void add(unsigned char b) { m_bits[b >> 6] |= std::uint64_t(1) << (b & 63); }
    void addRange(unsigned char lo, unsigned char hi);
    void unite(const ByteSet& other);
    void invert();
    void fill() { m_bits.fill(~std::uint64_t(0)); }
    bool isFull() const;
    int count() const;
    // Adds the other case of every letter in the set.
    void addOtherCases();

private:
    std::array<std::uint64_t, 4> m_bits{};
};

// The case partner of a letter (Latin a-z/A-Z, Cyrillic а-я/А-Я and ё/Ё in code page 1251);
// any other byte is its own partner.
unsigned char otherCase(unsigned char b);
// The lower-case form used to compare letters without regard to case.
unsigned char foldCase(unsigned char b);

enum class Op : std::uint8_t {
    Exact,       // literal bytes: a offset in literals, b length
    ExactFold,   // the same without regard to case; the literal is stored folded
    Any,         // any byte
    AnyButBreak, // any byte but 10 and 13
    Set,         // a byte of sets[a]
    Bol,         // start of the input
    Eol,         // end of the input
    Save,        // slots[a] = position
    Jump,        // go to a
    Split,       // go to a; on failure go to b
    Repeat,      // `operand` (a one-byte op whose argument is a) b to c times, greedily
    Match,
};

struct Instr
{
    Op op = Op::Match;
    Op operand = Op::Match;
    int a = 0;
    int b = 0;
    int c = 0;
    int memo = -1; // row of the visited map (Split and Repeat)
};

struct Program
{
    std::vector<Instr> code;
    QByteArray literals;
    std::vector<ByteSet> sets;
    int memoRows = 0;
    int groupCount = 0;

    // Search hints.
    bool anchored = false;   // every alternative starts with "^"
    int firstChar = -1;      // the one byte every match starts with, or -1
    QByteArray mustHave;     // a literal every match contains
    ByteSet firstSet;        // the bytes a match may start with
    bool canBeEmpty = false; // a match may be empty (then every position is tried)
};

// A compile fault: its code, its 1-based position, and (for the class builder's own checks)
// a message of its own.
struct CompileFault
{
    int code;
    int pos;
    QString message;
};

// Compiles the expression's bytes; `foreign` marks characters the code page cannot hold, which
// stand for a literal "?". Throws CompileFault.
Program compile(const QByteArray& pattern, const std::vector<bool>& foreign);

} // namespace regexpr
