// The regular-expression compiler: reads the expression into a small tree, checks it, and turns it
// into the matcher's program with the hints that let a search skip hopeless positions.
#include "regexpr_p.h"

#include <kernel/regexpr.h>

#include <utility>

namespace regexpr {

namespace {

// An open maximum of a repeat.
constexpr int Unbounded = 2147483646;
constexpr int MaxGroups = TRegExpr::SubExprCount - 1;

struct Flags
{
    bool fold = false;  // i
    bool ranges = true; // r
    bool dotAll = true; // s
};

struct Node
{
    enum Kind { Literal, Any, Set, Bol, Eol, Group, Alt, Seq, Repeat };
    Kind kind;
    int a = 0; // Literal: byte; Any: dotAll; Set: set index; Group: number; Repeat: minimum
    int b = 0; // Literal: fold; Repeat: maximum
    std::vector<int> kids;
};

struct Quantifier
{
    int min = 0;
    int max = 0;
    bool braces = false;
    int pos = 0; // 1-based position of its first character
};

class Parser
{
public:
    Parser(const QByteArray& pattern, const std::vector<bool>& foreign)
        : m_pat(pattern), m_foreign(foreign), m_n(int(pattern.size()))
    {
    }

    Program run();

private:
    static constexpr int End = -1;
    static constexpr int Foreign = 0x100;

    int charAt(int j) const
    {
        if (j >= m_n)
            return End;
        if (!m_foreign.empty() && m_foreign[std::size_t(j)])
            return Foreign;
        return static_cast<unsigned char>(m_pat[j]);
    }
    int peek(int ahead = 0) const { return charAt(m_i + ahead); }
    static bool isDigit(int c) { return c >= '0' && c <= '9'; }
    static int hexValue(int c);
    [[noreturn]] static void fail(int code, int pos) { throw CompileFault{code, pos, {}}; }

    void grow(int cost, int pos);
    int add(Node node);
    int literal(int byte, int pos);

    int parseAlternation();
    int parseBranch();
    void parsePiece(std::vector<int>& items);
    int parseAtom();
    int parseParen();
    int parseEscape();
    int parseClass();
    int parseHex();
    bool bracesAt(int j) const;
    bool quantifierAt(int j) const;
    bool readQuantifier(Quantifier& q);
    int readCount();
    void addRange(ByteSet& set, int lo, int hi) const;

    struct ClassItem
    {
        bool isSet = false;
        int byte = 0;
        ByteSet set;
    };
    ClassItem classItem();
    static void classEscape(int letter, ByteSet& set);

    bool isSimple(int node) const;
    bool canBeEmpty(int node) const;
    bool firstBytes(int node, ByteSet& out) const;
    void generate(int node);
    void generateSeq(const Node& seq);
    void generateAlt(const Node& alt);
    void generateRepeat(const Node& repeat);
    int emitInstr(Op op, int a = 0, int b = 0);
    void computeHints(int root);

    const QByteArray& m_pat;
    const std::vector<bool>& m_foreign;
    const int m_n;
    int m_i = 0;
    Flags m_flags;
    int m_groups = 0;
    int m_cost = 1; // the final Match
    std::vector<Node> m_nodes;
    Program m_prog;
};

int Parser::hexValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The cost is counted while parsing, an upper bound of the program's items, so that the fault
// can point at the place that made the program too big.
void Parser::grow(int cost, int pos)
{
    m_cost += cost;
    if (m_cost > TRegExpr::ProgramSizeLimit)
        fail(RegExprCode::RegexpTooBig, pos);
}

int Parser::add(Node node)
{
    m_nodes.push_back(std::move(node));
    return int(m_nodes.size()) - 1;
}

int Parser::literal(int byte, int pos)
{
    grow(2, pos);
    const bool fold = m_flags.fold && otherCase(static_cast<unsigned char>(byte)) != byte;
    return add(Node{Node::Literal, byte, fold ? 1 : 0, {}});
}

Program Parser::run()
{
    const int root = parseAlternation();
    if (peek() == ')')
        fail(RegExprCode::UnmatchedClose, m_i + 1);
    if (peek() != End)
        fail(RegExprCode::JunkOnEnd, m_i + 1);

    m_prog.groupCount = m_groups;
    generate(root);
    emitInstr(Op::Match);
    computeHints(root);
    return std::move(m_prog);
}

// alternation: branch ("|" branch)*
int Parser::parseAlternation()
{
    std::vector<int> branches{parseBranch()};
    while (peek() == '|') {
        grow(2, m_i + 1);
        ++m_i;
        branches.push_back(parseBranch());
    }
    if (branches.size() == 1)
        return branches.front();
    return add(Node{Node::Alt, 0, 0, std::move(branches)});
}

// branch: piece*, up to "|", ")" or the end
int Parser::parseBranch()
{
    std::vector<int> items;
    for (int c = peek(); c != End && c != '|' && c != ')'; c = peek())
        parsePiece(items);
    return add(Node{Node::Seq, 0, 0, std::move(items)});
}

// piece: atom quantifier?
void Parser::parsePiece(std::vector<int>& items)
{
    const int atom = parseAtom();
    if (atom < 0)
        return; // a comment or a modifier group
    Quantifier q;
    if (!readQuantifier(q)) {
        items.push_back(atom);
        return;
    }
    const bool simple = isSimple(atom);
    // Repeating something that can match nothing would loop without consuming input.
    if (!simple && q.max > 1 && canBeEmpty(atom))
        fail(RegExprCode::OperandCouldBeEmpty, q.pos);
    if (q.braces && !simple)
        fail(RegExprCode::ComplexBraces, q.pos);
    grow(simple ? 0 : 2, q.pos);
    items.push_back(add(Node{Node::Repeat, q.min, q.max, {atom}}));
    if (quantifierAt(m_i))
        fail(RegExprCode::NestedQuantifier, m_i + 1);
}

int Parser::parseAtom()
{
    const int pos = m_i + 1;
    const int c = peek();
    switch (c) {
    case Foreign:
        ++m_i;
        return literal('?', pos);
    case '^':
    case '$':
        ++m_i;
        grow(1, pos);
        return add(Node{c == '^' ? Node::Bol : Node::Eol, 0, 0, {}});
    case '.':
        ++m_i;
        grow(1, pos);
        return add(Node{Node::Any, m_flags.dotAll ? 1 : 0, 0, {}});
    case '[':
        return parseClass();
    case '(':
        return parseParen();
    case ')':
    case '|':
    case End:
        fail(RegExprCode::AtomInternalDisaster, pos);
    case '*':
    case '+':
    case '?':
        fail(RegExprCode::QuantifierFollowsNothing, pos);
    case '{':
        if (bracesAt(m_i))
            fail(RegExprCode::QuantifierFollowsNothing, pos);
        ++m_i;
        return literal('{', pos);
    case '\\':
        return parseEscape();
    default:
        ++m_i;
        return literal(c, pos);
    }
}

// "(" alternation ")", "(?#comment)" or "(?modifiers)"; the last two give -1.
int Parser::parseParen()
{
    if (peek(1) == '?') {
        if (peek(2) == '#') {
            int j = m_i + 3;
            while (j < m_n && charAt(j) != ')')
                ++j;
            if (j >= m_n)
                fail(RegExprCode::UnclosedComment, m_n + 1);
            m_i = j + 1;
            return -1;
        }
        m_i += 2;
        bool on = true;
        for (;;) {
            const int c = peek();
            if (c == End)
                fail(RegExprCode::UnmatchedOpen, m_i + 1);
            if (c == ')')
                break;
            switch (c) {
            case '-':
                on = false;
                break;
            case 'i':
            case 'I':
                m_flags.fold = on;
                break;
            case 'r':
            case 'R':
                m_flags.ranges = on;
                break;
            case 's':
            case 'S':
                m_flags.dotAll = on;
                break;
            default:
                fail(RegExprCode::UnrecognizedModifier, m_i + 1);
            }
            ++m_i;
        }
        ++m_i;
        return -1;
    }

    const int pos = m_i + 1;
    if (m_groups == MaxGroups)
        fail(RegExprCode::TooManyGroups, pos);
    const int number = ++m_groups;
    ++m_i;
    const Flags outer = m_flags;
    const int inner = parseAlternation();
    if (peek() != ')')
        fail(RegExprCode::UnmatchedOpen, m_i + 1);
    ++m_i;
    m_flags = outer; // modifiers end with their group
    grow(2, pos);
    return add(Node{Node::Group, number, 0, {inner}});
}

int Parser::parseEscape()
{
    const int pos = m_i + 1;
    ++m_i;
    const int c = peek();
    if (c == End)
        fail(RegExprCode::AtomTrailingBackslash, m_i + 1);
    if (c == 'x')
        return literal(parseHex(), pos);
    ++m_i;
    switch (c) {
    case Foreign:
        return literal('?', pos);
    case 't':
        return literal(9, pos);
    case 'n':
        return literal(10, pos);
    case 'r':
        return literal(13, pos);
    case 'f':
        return literal(12, pos);
    case 'a':
        return literal(7, pos);
    case 'e':
        return literal(27, pos);
    case 'd':
    case 'w':
    case 's':
    case 'D':
    case 'W':
    case 'S': {
        grow(2, pos);
        ByteSet set;
        classEscape(c, set);
        m_prog.sets.push_back(set);
        return add(Node{Node::Set, int(m_prog.sets.size()) - 1, 0, {}});
    }
    default:
        return literal(c, pos);
    }
}

// "\x" with m_i on the "x": two hexadecimal digits, or digits in braces up to 255.
int Parser::parseHex()
{
    ++m_i;
    int c = peek();
    if (c == End)
        fail(RegExprCode::NoHexCode, m_i + 1);
    int value = 0;
    if (c == '{') {
        ++m_i;
        int digits = 0;
        for (;;) {
            c = peek();
            if (c == '}') {
                if (digits == 0)
                    fail(RegExprCode::NoHexCode, m_i + 1);
                ++m_i;
                return value;
            }
            const int v = hexValue(c);
            if (v < 0)
                fail(RegExprCode::BadHexDigit, m_i + 1);
            value = value * 16 + v;
            if (value > 255)
                fail(RegExprCode::HexCodeTooBig, m_i + 1);
            ++digits;
            ++m_i;
        }
    }
    for (int k = 0; k < 2; ++k) {
        const int v = hexValue(peek());
        if (v < 0)
            fail(RegExprCode::BadHexDigit, m_i + 1);
        value = value * 16 + v;
        ++m_i;
    }
    return value;
}

void Parser::classEscape(int letter, ByteSet& set)
{
    switch (letter) {
    case 'd':
    case 'D':
        set.addRange('0', '9');
        break;
    case 'w':
    case 'W':
        set.addRange('a', 'z');
        set.addRange('A', 'Z');
        set.add('_');
        set.addRange('0', '9');
        break;
    default: // s, S
        set.add(' ');
        set.addRange(9, 13);
        break;
    }
    if (letter >= 'A' && letter <= 'Z')
        set.invert();
}

Parser::ClassItem Parser::classItem()
{
    ClassItem item;
    int c = peek();
    if (c != '\\') {
        ++m_i;
        item.byte = c == Foreign ? '?' : c;
        return item;
    }
    ++m_i;
    c = peek();
    if (c == End)
        fail(RegExprCode::TrailingBackslash, m_i + 1);
    if (c == 'x') {
        item.byte = parseHex();
        return item;
    }
    ++m_i;
    switch (c) {
    case Foreign:
        item.byte = '?';
        break;
    case 't':
        item.byte = 9;
        break;
    case 'n':
        item.byte = 10;
        break;
    case 'r':
        item.byte = 13;
        break;
    case 'f':
        item.byte = 12;
        break;
    case 'a':
        item.byte = 7;
        break;
    case 'e':
        item.byte = 27;
        break;
    case 'd':
    case 'w':
    case 's':
    case 'D':
    case 'W':
    case 'S':
        item.isSet = true;
        classEscape(c, item.set);
        break;
    default:
        item.byte = c;
        break;
    }
    return item;
}

void Parser::addRange(ByteSet& set, int lo, int hi) const
{
    if (lo > hi)
        throw CompileFault{RegExprCode::InternalUrp, m_i + 1,
                           QStringLiteral("TRegExpr.ParseAtom(subroutine EmitRangeC): RangeChMin > "
                                          "RangeChMax")};
    set.addRange(static_cast<unsigned char>(lo), static_cast<unsigned char>(hi));
    if (!m_flags.ranges)
        return;
    // In the alphabet ё stands between е and ж, but in the code page far from both.
    if (lo <= 0xE5 && hi >= 0xE6)
        set.add(0xB8);
    if (lo <= 0xC5 && hi >= 0xC6)
        set.add(0xA8);
}

// "[" "^"? item+ "]"; "]" as the first item and "-" first or last stand for themselves.
int Parser::parseClass()
{
    const int pos = m_i + 1;
    ++m_i;
    ByteSet set;
    bool negate = false;
    if (peek() == '^') {
        negate = true;
        ++m_i;
    }
    for (bool first = true;; first = false) {
        const int c = peek();
        if (c == End)
            fail(RegExprCode::UnmatchedBracket, m_i + 1);
        if (c == ']' && !first) {
            ++m_i;
            break;
        }
        const ClassItem lo = classItem();
        if (lo.isSet) {
            set.unite(lo.set);
            continue;
        }
        if (peek() == '-' && peek(1) != End && peek(1) != ']') {
            ++m_i;
            const int hiPos = m_i + 1;
            const ClassItem hi = classItem();
            if (hi.isSet || hi.byte < lo.byte)
                fail(RegExprCode::InvalidRange, hiPos);
            addRange(set, lo.byte, hi.byte);
        } else {
            set.add(static_cast<unsigned char>(lo.byte));
        }
    }
    if (m_flags.fold)
        set.addOtherCases();
    if (negate)
        set.invert();
    grow(2, pos);
    m_prog.sets.push_back(set);
    return add(Node{Node::Set, int(m_prog.sets.size()) - 1, 0, {}});
}

// "{n}", "{n,}" or "{n,m}" starting at j.
bool Parser::bracesAt(int j) const
{
    if (charAt(j) != '{')
        return false;
    ++j;
    const int first = j;
    while (isDigit(charAt(j)))
        ++j;
    if (j == first)
        return false;
    if (charAt(j) == '}')
        return true;
    if (charAt(j) != ',')
        return false;
    ++j;
    while (isDigit(charAt(j)))
        ++j;
    return charAt(j) == '}';
}

bool Parser::quantifierAt(int j) const
{
    const int c = charAt(j);
    return c == '*' || c == '+' || c == '?' || bracesAt(j);
}

bool Parser::readQuantifier(Quantifier& q)
{
    q.pos = m_i + 1;
    switch (peek()) {
    case '*':
        q.min = 0;
        q.max = Unbounded;
        break;
    case '+':
        q.min = 1;
        q.max = Unbounded;
        break;
    case '?':
        q.min = 0;
        q.max = 1;
        break;
    case '{':
        if (!bracesAt(m_i))
            return false;
        q.braces = true;
        ++m_i;
        q.min = readCount();
        if (peek() == '}') {
            q.max = q.min;
        } else {
            ++m_i; // ","
            q.max = isDigit(peek()) ? readCount() : Unbounded;
        }
        if (q.min > q.max)
            fail(RegExprCode::BraceMinGreaterThanMax, m_i + 1);
        ++m_i; // "}"
        return true;
    default:
        return false;
    }
    ++m_i;
    return true;
}

int Parser::readCount()
{
    long long value = 0;
    while (isDigit(peek())) {
        value = value * 10 + (peek() - '0');
        if (value > Unbounded)
            fail(RegExprCode::BracesArgTooBig, m_i + 1);
        ++m_i;
    }
    return int(value);
}

bool Parser::isSimple(int node) const
{
    const Node::Kind k = m_nodes[std::size_t(node)].kind;
    return k == Node::Literal || k == Node::Any || k == Node::Set;
}

bool Parser::canBeEmpty(int node) const
{
    ByteSet ignored;
    return firstBytes(node, ignored);
}

// Adds to `out` the bytes a match of the node may start with; true when it may match nothing.
// "^" and "$" count as matching nothing, which keeps the set a superset.
bool Parser::firstBytes(int node, ByteSet& out) const
{
    const Node& n = m_nodes[std::size_t(node)];
    switch (n.kind) {
    case Node::Literal:
        out.add(static_cast<unsigned char>(n.a));
        if (n.b)
            out.add(otherCase(static_cast<unsigned char>(n.a)));
        return false;
    case Node::Any: {
        ByteSet all;
        all.fill();
        out.unite(all);
        return false;
    }
    case Node::Set:
        out.unite(m_prog.sets[std::size_t(n.a)]);
        return false;
    case Node::Bol:
    case Node::Eol:
        return true;
    case Node::Group:
        return firstBytes(n.kids.front(), out);
    case Node::Alt: {
        bool empty = false;
        for (int kid : n.kids)
            empty = firstBytes(kid, out) || empty;
        return empty;
    }
    case Node::Seq:
        for (int kid : n.kids)
            if (!firstBytes(kid, out))
                return false;
        return true;
    case Node::Repeat:
        return firstBytes(n.kids.front(), out) || n.a == 0;
    }
    return true;
}

int Parser::emitInstr(Op op, int a, int b)
{
    Instr in;
    in.op = op;
    in.a = a;
    in.b = b;
    if (op == Op::Split || op == Op::Repeat)
        in.memo = m_prog.memoRows++;
    m_prog.code.push_back(in);
    return int(m_prog.code.size()) - 1;
}

void Parser::generateSeq(const Node& seq)
{
    std::size_t k = 0;
    while (k < seq.kids.size()) {
        const Node& n = m_nodes[std::size_t(seq.kids[k])];
        if (n.kind != Node::Literal) {
            generate(seq.kids[k++]);
            continue;
        }
        // A run of literals of the same case rule becomes one instruction.
        const int fold = n.b;
        const int offset = int(m_prog.literals.size());
        while (k < seq.kids.size()) {
            const Node& lit = m_nodes[std::size_t(seq.kids[k])];
            if (lit.kind != Node::Literal || lit.b != fold)
                break;
            const auto byte = static_cast<unsigned char>(lit.a);
            m_prog.literals.append(char(fold ? foldCase(byte) : byte));
            ++k;
        }
        emitInstr(fold ? Op::ExactFold : Op::Exact, offset, int(m_prog.literals.size()) - offset);
    }
}

void Parser::generate(int node)
{
    const Node& n = m_nodes[std::size_t(node)];
    switch (n.kind) {
    case Node::Literal:
    case Node::Seq: {
        if (n.kind == Node::Seq) {
            generateSeq(n);
        } else {
            Node single{Node::Seq, 0, 0, {node}};
            generateSeq(single);
        }
        break;
    }
    case Node::Any:
        emitInstr(n.a ? Op::Any : Op::AnyButBreak);
        break;
    case Node::Set:
        emitInstr(Op::Set, n.a);
        break;
    case Node::Bol:
        emitInstr(Op::Bol);
        break;
    case Node::Eol:
        emitInstr(Op::Eol);
        break;
    case Node::Group:
        emitInstr(Op::Save, 2 * n.a);
        generate(n.kids.front());
        emitInstr(Op::Save, 2 * n.a + 1);
        break;
    case Node::Alt:
        generateAlt(n);
        break;
    case Node::Repeat:
        generateRepeat(n);
        break;
    }
}

void Parser::generateAlt(const Node& alt)
{
    std::vector<int> jumps;
    for (std::size_t k = 0; k + 1 < alt.kids.size(); ++k) {
        const int split = emitInstr(Op::Split);
        m_prog.code[std::size_t(split)].a = split + 1;
        generate(alt.kids[k]);
        jumps.push_back(emitInstr(Op::Jump));
        m_prog.code[std::size_t(split)].b = int(m_prog.code.size());
    }
    generate(alt.kids.back());
    for (int j : jumps)
        m_prog.code[std::size_t(j)].a = int(m_prog.code.size());
}

void Parser::generateRepeat(const Node& repeat)
{
    const Node& kid = m_nodes[std::size_t(repeat.kids.front())];
    if (isSimple(repeat.kids.front())) {
        const int r = emitInstr(Op::Repeat, 0, repeat.a);
        Instr& in = m_prog.code[std::size_t(r)];
        in.c = repeat.b;
        if (kid.kind == Node::Literal) {
            const auto byte = static_cast<unsigned char>(kid.a);
            in.operand = kid.b ? Op::ExactFold : Op::Exact;
            in.a = kid.b ? foldCase(byte) : byte;
        } else if (kid.kind == Node::Any) {
            in.operand = kid.a ? Op::Any : Op::AnyButBreak;
        } else {
            in.operand = Op::Set;
            in.a = kid.a;
        }
    } else if (repeat.a == 0 && repeat.b == 1) { // e?
        const int split = emitInstr(Op::Split);
        m_prog.code[std::size_t(split)].a = split + 1;
        generate(repeat.kids.front());
        m_prog.code[std::size_t(split)].b = int(m_prog.code.size());
    } else if (repeat.a == 0 && repeat.b == Unbounded) { // e*
        const int split = emitInstr(Op::Split);
        m_prog.code[std::size_t(split)].a = split + 1;
        generate(repeat.kids.front());
        emitInstr(Op::Jump, split);
        m_prog.code[std::size_t(split)].b = int(m_prog.code.size());
    } else if (repeat.a == 1 && repeat.b == Unbounded) { // e+
        const int body = int(m_prog.code.size());
        generate(repeat.kids.front());
        const int split = emitInstr(Op::Split, body);
        m_prog.code[std::size_t(split)].b = split + 1;
    } else {
        fail(RegExprCode::InternalUrp, 0); // braces on a group are refused while parsing
    }
}

void Parser::computeHints(int root)
{
    const Node& top = m_nodes[std::size_t(root)];
    const std::vector<int> branches = top.kind == Node::Alt ? top.kids : std::vector<int>{root};

    m_prog.anchored = true;
    for (int b : branches) {
        const Node& seq = m_nodes[std::size_t(b)];
        if (seq.kids.empty() || m_nodes[std::size_t(seq.kids.front())].kind != Node::Bol)
            m_prog.anchored = false;
    }

    ByteSet first;
    m_prog.canBeEmpty = firstBytes(root, first);
    if (m_prog.canBeEmpty)
        first.fill();
    m_prog.firstSet = first;
    if (first.count() == 1)
        for (int b = 0; b < 256; ++b)
            if (first.has(static_cast<unsigned char>(b)))
                m_prog.firstChar = b;

    // The longest run of exact literals in the top-level sequence occurs in every match.
    if (top.kind != Node::Seq)
        return;
    QByteArray run;
    for (int kid : top.kids) {
        const Node& n = m_nodes[std::size_t(kid)];
        if (n.kind == Node::Literal && !n.b) {
            run.append(char(n.a));
            if (run.size() > m_prog.mustHave.size())
                m_prog.mustHave = run;
        } else {
            run.clear();
        }
    }
}

} // namespace

void ByteSet::addRange(unsigned char lo, unsigned char hi)
{
    for (int b = lo; b <= hi; ++b)
        add(static_cast<unsigned char>(b));
}

void ByteSet::unite(const ByteSet& other)
{
    for (std::size_t k = 0; k < m_bits.size(); ++k)
        m_bits[k] |= other.m_bits[k];
}

void ByteSet::invert()
{
    for (auto& w : m_bits)
        w = ~w;
}

bool ByteSet::isFull() const
{
    for (auto w : m_bits)
        if (w != ~std::uint64_t(0))
            return false;
    return true;
}

int ByteSet::count() const
{
    int n = 0;
    for (auto w : m_bits)
        n += __builtin_popcountll(w);
    return n;
}

void ByteSet::addOtherCases()
{
    const ByteSet before = *this;
    for (int b = 0; b < 256; ++b)
        if (before.has(static_cast<unsigned char>(b)))
            add(otherCase(static_cast<unsigned char>(b)));
}

unsigned char otherCase(unsigned char b)
{
    if (b >= 'a' && b <= 'z')
        return b - 'a' + 'A';
    if (b >= 'A' && b <= 'Z')
        return b - 'A' + 'a';
    if (b >= 0xE0) // а..я
        return b - 0x20;
    if (b >= 0xC0) // А..Я
        return b + 0x20;
    if (b == 0xB8) // ё
        return 0xA8;
    if (b == 0xA8) // Ё
        return 0xB8;
    return b;
}

unsigned char foldCase(unsigned char b)
{
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF) || b == 0xA8)
        return otherCase(b);
    return b;
}

Program compile(const QByteArray& pattern, const std::vector<bool>& foreign)
{
    Parser parser(pattern, foreign);
    return parser.run();
}

} // namespace regexpr
