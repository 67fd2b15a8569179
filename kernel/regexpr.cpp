// TRegExpr: the expression's life (compile, search, sub-matches, messages) and the backtracking
// matcher that runs a compiled program over the code page 1251 bytes of the input.
#include "regexpr.h"

#include "regexpr_p.h"

#include <platform/codepage.h>

#include <QHash>
#include <array>
#include <cstring>
#include <limits>

namespace regexpr {
namespace {

// A fault found while matching; TRegExpr turns it into Error(code).
struct ExecFault
{
    int code;
};

// An entry of the backtracking stack: it undoes a capture, resumes an alternative, or gives back
// one more character of a greedy repeat.
struct Frame
{
    enum Kind : std::uint8_t { Restore, Resume, GiveBack };
    int a; // Restore: slot; Resume: instruction; GiveBack: the Repeat instruction
    int b; // Restore: old value; Resume, GiveBack: position
    int c; // GiveBack: characters still taken
    Kind kind;
};

// The states of the program (a Split or a Repeat at an input position) known to fail on the
// current input. Whether a state leads to a match depends on nothing but the state (there are
// no back-references, and "^" looks at the position only), so a state that failed once is cut
// short when it comes again, in this search and in the following searches of ExecNext; this keeps
// all of them polynomial together. A state entered while the stack was `depth` deep has been
// explored in full once the stack comes back below that depth; the states still open when a match
// is found lie on its path and are forgotten. The map is built only once the searches of an input
// have done more work than scanning it explains, so easy searches pay nothing for it.
class FailureMap
{
public:
    void reset(int rows, int inputLength);
    void count(long long steps) { m_steps += steps; }
    // False when the state is known to fail.
    bool enter(int row, int pos, std::size_t depth);
    // The stack came down to `depth`.
    void settle(std::size_t depth)
    {
        while (!m_open.empty() && m_open.back().depth > depth)
            m_open.pop_back();
    }
    // A match was found.
    void forgetOpen();

private:
    struct Open
    {
        long long bit;
        std::size_t depth;
    };

    std::vector<std::uint64_t> m_bits;
    std::vector<Open> m_open;
    bool m_active = false;
    int m_rows = 0;
    long long m_width = 0;
    long long m_steps = 0;
    long long m_after = 0;
};

void FailureMap::reset(int rows, int inputLength)
{
    constexpr long long maxBits = 1LL << 28; // 32 MiB
    m_rows = rows;
    m_width = inputLength + 1LL;
    m_steps = 0;
    m_active = false;
    m_bits.clear();
    m_open.clear();
    const long long bits = m_rows * m_width;
    m_after =
        bits > maxBits ? std::numeric_limits<long long>::max() : 4096 + 4 * m_width + bits / 64;
}

bool FailureMap::enter(int row, int pos, std::size_t depth)
{
    if (!m_active) {
        if (m_steps < m_after)
            return true;
        m_active = true;
        m_bits.assign(std::size_t((m_rows * m_width + 63) / 64), 0);
    }
    const long long bit = row * m_width + pos;
    std::uint64_t& word = m_bits[std::size_t(bit >> 6)];
    const std::uint64_t mask = std::uint64_t(1) << (bit & 63);
    if (word & mask)
        return false;
    word |= mask;
    m_open.push_back(Open{bit, depth});
    return true;
}

void FailureMap::forgetOpen()
{
    for (const Open& o : m_open)
        m_bits[std::size_t(o.bit >> 6)] &= ~(std::uint64_t(1) << (o.bit & 63));
    m_open.clear();
}

// Backtracking over an explicit stack, so that the depth of a search costs heap, not C++ stack.
// The stack and the failure map are lent by the caller and outlive one search.
class Matcher
{
public:
    using Slots = std::array<int, 2 * TRegExpr::SubExprCount>;

    Matcher(const Program& program, const QByteArray& input, Slots& subs, std::vector<Frame>& stack,
            FailureMap& failures)
        : m_prog(program), m_in(reinterpret_cast<const unsigned char*>(input.constData())),
          m_n(int(input.size())), m_slots(subs), m_stack(stack), m_failures(failures)
    {
    }

    // Leftmost match starting at or after `start` (0-based).
    bool search(int start);

private:
    bool attempt(int at);
    bool backtrack(int& pc, int& pos);
    int countRepeat(const Instr& in, int pos) const;
    void push(const Frame& f)
    {
        if (m_stack.size() >= std::size_t(TRegExpr::LoopStackLimit))
            throw ExecFault{RegExprCode::LoopStackExceeded};
        m_stack.push_back(f);
    }

    const Program& m_prog;
    const unsigned char* m_in;
    const int m_n;
    Slots& m_slots;
    std::vector<Frame>& m_stack;
    FailureMap& m_failures;
};

bool Matcher::search(int start)
{
    if (m_prog.anchored)
        return attempt(start);
    if (m_prog.firstChar >= 0) {
        for (int p = start; p < m_n;) {
            const void* hit = std::memchr(m_in + p, m_prog.firstChar, std::size_t(m_n - p));
            if (!hit)
                return false;
            p = int(static_cast<const unsigned char*>(hit) - m_in);
            if (attempt(p))
                return true;
            ++p;
        }
        return false;
    }
    const int last = m_prog.canBeEmpty ? m_n : m_n - 1;
    for (int p = start; p <= last; ++p) {
        m_failures.count(1);
        if ((p < m_n && m_prog.firstSet.has(m_in[p])) || m_prog.canBeEmpty) {
            if (attempt(p))
                return true;
        }
    }
    return false;
}

int Matcher::countRepeat(const Instr& in, int pos) const
{
    const int limit = std::min(in.c, m_n - pos);
    const unsigned char* p = m_in + pos;
    int k = 0;
    switch (in.operand) {
    case Op::Exact:
        while (k < limit && p[k] == in.a)
            ++k;
        break;
    case Op::ExactFold:
        while (k < limit && foldCase(p[k]) == in.a)
            ++k;
        break;
    case Op::Any:
        k = limit;
        break;
    case Op::AnyButBreak:
        while (k < limit && p[k] != '\n' && p[k] != '\r')
            ++k;
        break;
    case Op::Set: {
        const ByteSet& set = m_prog.sets[std::size_t(in.a)];
        while (k < limit && set.has(p[k]))
            ++k;
        break;
    }
    default:
        throw ExecFault{RegExprCode::RepeatCalledInappropriately};
    }
    return k;
}

bool Matcher::attempt(int at)
{
    m_slots.fill(-1);
    m_stack.clear();
    m_failures.settle(0);
    m_slots[0] = at;
    int pc = 0;
    int pos = at;
    const std::vector<Instr>& code = m_prog.code;
    const auto* lit = reinterpret_cast<const unsigned char*>(m_prog.literals.constData());
    for (;;) {
        m_failures.count(1);
        const Instr& in = code[std::size_t(pc)];
        int advance = -1; // characters consumed, -1 when the instruction fails
        switch (in.op) {
        case Op::Exact:
            if (m_n - pos >= in.b && std::memcmp(m_in + pos, lit + in.a, std::size_t(in.b)) == 0)
                advance = in.b;
            break;
        case Op::ExactFold:
            advance = m_n - pos >= in.b ? in.b : -1;
            for (int k = 0; advance > 0 && k < in.b; ++k)
                if (foldCase(m_in[pos + k]) != lit[in.a + k])
                    advance = -1;
            break;
        case Op::Any:
            advance = pos < m_n ? 1 : -1;
            break;
        case Op::AnyButBreak:
            advance = pos < m_n && m_in[pos] != '\n' && m_in[pos] != '\r' ? 1 : -1;
            break;
        case Op::Set:
            advance = pos < m_n && m_prog.sets[std::size_t(in.a)].has(m_in[pos]) ? 1 : -1;
            break;
        case Op::Bol:
            advance = pos == 0 ? 0 : -1;
            break;
        case Op::Eol:
            advance = pos == m_n ? 0 : -1;
            break;
        case Op::Save:
            push(Frame{in.a, m_slots[std::size_t(in.a)], 0, Frame::Restore});
            m_slots[std::size_t(in.a)] = pos;
            advance = 0;
            break;
        case Op::Jump:
            pc = in.a;
            continue;
        case Op::Split:
            if (!m_failures.enter(in.memo, pos, m_stack.size()))
                break;
            push(Frame{in.b, pos, 0, Frame::Resume});
            pc = in.a;
            continue;
        case Op::Repeat: {
            if (!m_failures.enter(in.memo, pos, m_stack.size()))
                break;
            const int k = countRepeat(in, pos);
            m_failures.count(k);
            if (k < in.b)
                break;
            if (k > in.b)
                push(Frame{pc, pos, k, Frame::GiveBack});
            advance = k;
            break;
        }
        case Op::Match:
            m_slots[1] = pos;
            m_failures.forgetOpen();
            return true;
        default:
            throw ExecFault{RegExprCode::MatchMemoryCorruption};
        }
        if (advance >= 0) {
            pos += advance;
            ++pc;
        } else if (!backtrack(pc, pos)) {
            m_slots.fill(-1);
            return false;
        }
    }
}

bool Matcher::backtrack(int& pc, int& pos)
{
    bool resumed = false;
    while (!resumed && !m_stack.empty()) {
        m_failures.count(1);
        Frame& f = m_stack.back();
        switch (f.kind) {
        case Frame::Restore:
            m_slots[std::size_t(f.a)] = f.b;
            m_stack.pop_back();
            break;
        case Frame::Resume:
            pc = f.a;
            pos = f.b;
            m_stack.pop_back();
            resumed = true;
            break;
        case Frame::GiveBack: {
            const int taken = --f.c;
            pc = f.a + 1;
            pos = f.b + taken;
            if (taken <= m_prog.code[std::size_t(f.a)].b)
                m_stack.pop_back();
            resumed = true;
            break;
        }
        }
    }
    m_failures.settle(m_stack.size());
    return resumed;
}

// Each character of the text as one code page 1251 byte, so that byte offsets are character
// offsets. Characters the code page cannot hold become "?" and are marked in `foreign`.
QByteArray engineBytes(const QString& text, std::vector<bool>* foreign)
{
    bool lossless = true;
    QByteArray bytes = codepage::encode(text, codepage::Cp1251, &lossless);
    if (foreign)
        foreign->clear();
    if (lossless && bytes.size() == text.size())
        return bytes;

    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int b = 0; b < 256; ++b) {
            const QString c = codepage::decode(QByteArray(1, char(b)), codepage::Cp1251);
            if (c.size() == 1 && c.at(0) != QChar::ReplacementCharacter &&
                !t.contains(c.at(0).unicode()))
                t.insert(c.at(0).unicode(), char(b));
        }
        return t;
    }();
    bytes.resize(text.size());
    if (foreign)
        foreign->assign(std::size_t(text.size()), false);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto it = table.constFind(text.at(i).unicode());
        if (it != table.cend()) {
            bytes[i] = *it;
        } else {
            bytes[i] = '?';
            if (foreign)
                (*foreign)[std::size_t(i)] = true;
        }
    }
    return bytes;
}

} // namespace
} // namespace regexpr

using namespace regexpr;

struct TRegExpr::Private
{
    enum class State { Unset, Compiled, Failed };

    QString expression;
    State state = State::Unset;
    Program program;
    int compilerErrorPos = 0;

    QString input;
    QByteArray bytes;
    bool searched = false; // an Exec has run with this expression
    Matcher::Slots subs;
    std::vector<Frame> stack;
    FailureMap failures;
    // Where the required literal was last found: at mustAt (-1: nowhere) searching from mustFrom.
    int mustFrom = -1;
    int mustAt = -1;

    Private() { subs.fill(-1); }
};

TRegExpr::TRegExpr() : d(std::make_unique<Private>())
{
}

TRegExpr::~TRegExpr() = default;

QString TRegExpr::Expression() const
{
    return d->expression;
}

void TRegExpr::SetExpression(const QString& text)
{
    if (d->state == Private::State::Compiled && text == d->expression)
        return;
    d->expression = text;
    d->state = Private::State::Failed;
    d->program = Program();
    d->searched = false;
    d->subs.fill(-1);
    if (text.isEmpty()) {
        d->compilerErrorPos = 0;
        Error(RegExprCode::NullArgument);
        return;
    }
    std::vector<bool> foreign;
    const QByteArray pattern = engineBytes(text, &foreign);
    try {
        d->program = compile(pattern, foreign);
    } catch (const CompileFault& fault) {
        d->compilerErrorPos = fault.pos;
        if (!fault.message.isEmpty()) {
            throw ERegExpr(fault.message, fault.code, fault.pos);
        }
        Error(fault.code);
        return;
    }
    d->compilerErrorPos = 0;
    d->state = Private::State::Compiled;
}

bool TRegExpr::Exec(const QString& input)
{
    if (d->state != Private::State::Compiled) {
        Error(d->state == Private::State::Unset ? RegExprCode::NoExpression
                                                : RegExprCode::ExecAfterCompileError);
        return false;
    }
    d->input = input;
    d->bytes = engineBytes(input, nullptr);
    d->searched = true;
    d->failures.reset(d->program.memoRows, int(d->bytes.size()));
    d->mustFrom = -1;
    d->mustAt = -1;
    return execFrom(0);
}

bool TRegExpr::ExecNext()
{
    if (d->state != Private::State::Compiled) {
        Error(d->state == Private::State::Unset ? RegExprCode::NoExpression
                                                : RegExprCode::ExecAfterCompileError);
        return false;
    }
    if (!d->searched) {
        Error(RegExprCode::ExecNextWithoutExec);
        return false;
    }
    if (d->subs[0] < 0)
        return false;
    // After an empty match step on, or the same empty match would be found forever.
    const int start = d->subs[1] == d->subs[0] ? d->subs[1] + 1 : d->subs[1];
    if (start > d->bytes.size()) {
        d->subs.fill(-1);
        return false;
    }
    return execFrom(start);
}

bool TRegExpr::execFrom(int start)
{
    d->subs.fill(-1);
    const QByteArray& must = d->program.mustHave;
    if (!must.isEmpty()) {
        // The literal's last place serves while the search has not passed it.
        if (d->mustFrom < 0 || start < d->mustFrom || (d->mustAt >= 0 && start > d->mustAt)) {
            d->mustFrom = start;
            d->mustAt = int(d->bytes.indexOf(must, start));
        }
        if (d->mustAt < 0)
            return false;
    }
    // A long search's stack is not kept for the life of the object.
    struct TrimStack
    {
        std::vector<Frame>& stack;
        ~TrimStack()
        {
            if (stack.capacity() > 65536)
                std::vector<Frame>().swap(stack);
        }
    } trim{d->stack};
    try {
        Matcher matcher(d->program, d->bytes, d->subs, d->stack, d->failures);
        return matcher.search(start);
    } catch (const ExecFault& fault) {
        d->subs.fill(-1);
        Error(fault.code);
        return false;
    }
}

int TRegExpr::GetMatchPos(int idx) const
{
    if (idx < 0 || idx >= SubExprCount)
        return -1;
    const int from = d->subs[std::size_t(2 * idx)];
    const int to = d->subs[std::size_t(2 * idx + 1)];
    return from < 0 || to < 0 ? -1 : from + 1;
}

int TRegExpr::GetMatchLen(int idx) const
{
    if (idx < 0 || idx >= SubExprCount)
        return -1;
    const int from = d->subs[std::size_t(2 * idx)];
    const int to = d->subs[std::size_t(2 * idx + 1)];
    return from < 0 || to < 0 ? -1 : to - from;
}

QString TRegExpr::GetMatch(int idx) const
{
    const int pos = GetMatchPos(idx);
    return pos < 0 ? QString() : d->input.mid(pos - 1, GetMatchLen(idx));
}

void TRegExpr::Error(int code)
{
    QString message = ErrorMsg(code);
    if (code < 1000)
        message += QStringLiteral(" (pos %1)").arg(d->compilerErrorPos);
    throw ERegExpr(message, code, d->compilerErrorPos);
}

QString TRegExpr::ErrorMsg(int code) const
{
    const char* text = nullptr;
    switch (code) {
    case RegExprCode::NoError:
        text = "No errors";
        break;
    case RegExprCode::NullArgument:
        text = "TRegExpr(comp): Null Argument";
        break;
    case RegExprCode::RegexpTooBig:
        text = "TRegExpr(comp): Regexp Too Big";
        break;
    case RegExprCode::TooManyGroups:
        text = "TRegExpr(comp): ParseReg Too Many ()";
        break;
    case RegExprCode::UnmatchedOpen:
    case RegExprCode::UnmatchedClose:
        text = "TRegExpr(comp): ParseReg Unmatched ()";
        break;
    case RegExprCode::JunkOnEnd:
        text = "TRegExpr(comp): ParseReg Junk On End";
        break;
    case RegExprCode::OperandCouldBeEmpty:
        text = "TRegExpr(comp): *+ Operand Could Be Empty";
        break;
    case RegExprCode::NestedQuantifier:
        text = "TRegExpr(comp): Nested *?+";
        break;
    case RegExprCode::BadHexDigit:
        text = "TRegExpr(comp): Bad Hex Digit";
        break;
    case RegExprCode::InvalidRange:
        text = "TRegExpr(comp): Invalid [] Range";
        break;
    case RegExprCode::AtomTrailingBackslash:
        text = "TRegExpr(comp): Parse Atom Trailing \\";
        break;
    case RegExprCode::NoHexCode:
        text = "TRegExpr(comp): No Hex Code After \\x";
        break;
    case RegExprCode::HexCodeTooBig:
        text = "TRegExpr(comp): Hex Code After \\x Is Too Big";
        break;
    case RegExprCode::UnmatchedBracket:
        text = "TRegExpr(comp): Unmatched []";
        break;
    case RegExprCode::InternalUrp:
        text = "TRegExpr(comp): Internal Urp";
        break;
    case RegExprCode::QuantifierFollowsNothing:
        text = "TRegExpr(comp): ?+*{ Follows Nothing";
        break;
    case RegExprCode::TrailingBackslash:
        text = "TRegExpr(comp): Trailing \\";
        break;
    case RegExprCode::AtomInternalDisaster:
        text = "TRegExpr(comp): RarseAtom Internal Disaster";
        break;
    case RegExprCode::BracesArgTooBig:
        text = "TRegExpr(comp): BRACES Argument Too Big";
        break;
    case RegExprCode::BraceMinGreaterThanMax:
        text = "TRegExpr(comp): BRACE Min Param Greater then Max";
        break;
    case RegExprCode::UnclosedComment:
        text = "TRegExpr(comp): Unclosed (?#Comment)";
        break;
    case RegExprCode::ComplexBraces:
        text = "TRegExpr(comp): If you want take part in beta-testing BRACES '{min,max}' for "
               "complex cases - remove '.' from {.$DEFINE ComplexBraces}";
        break;
    case RegExprCode::UnrecognizedModifier:
        text = "TRegExpr(comp): Urecognized Modifier";
        break;
    case RegExprCode::RepeatCalledInappropriately:
        text = "TRegExpr(exec): RegRepeat Called Inappropriately";
        break;
    case RegExprCode::MatchMemoryCorruption:
        text = "TRegExpr(exec): MatchPrim Memory Corruption";
        break;
    case RegExprCode::MatchCorruptedPointers:
        text = "TRegExpr(exec): MatchPrim Corrupted Pointers";
        break;
    case RegExprCode::NoExpression:
        text = "TRegExpr(exec): Not Assigned Expression Property";
        break;
    case RegExprCode::CorruptedProgram:
        text = "TRegExpr(exec): Corrupted Program";
        break;
    case RegExprCode::NoInputString:
        text = "TRegExpr(exec): No Inpit String Specified";
        break;
    case RegExprCode::OffsetNotPositive:
        text = "TRegExpr(exec): Offset Must Be Greater Then 0";
        break;
    case RegExprCode::ExecNextWithoutExec:
        text = "TRegExpr(exec): ExecNext Without Exec[Pos]";
        break;
    case RegExprCode::InputStringMissing:
        text = "TRegExpr(exec): GetInputString Without InputString";
        break;
    case RegExprCode::CorruptedOpcode:
        text = "TRegExpr(dump): Corrupted Opcode";
        break;
    case RegExprCode::ExecAfterCompileError:
        text = "TRegExpr(exec): Exec After Compilation Error";
        break;
    case RegExprCode::LoopStackExceeded:
        text = "TRegExpr(exec): Loop Stack Exceeded";
        break;
    case RegExprCode::LoopWithoutEntry:
        text = "TRegExpr(exec): Loop Without LoopEntry !";
        break;
    default:
        text = "Unknown error";
        break;
    }
    return QString::fromLatin1(text);
}
