// The filter text's lexer, its parser (a recursive descent over OR, AND, NOT, comparisons and
// parentheses, with a bound on the nesting) and the evaluation of a parsed text against a record.
#include "datasetfilter.h"

#include "collation.h"
#include "dataset.h"

namespace {

struct Token
{
    enum Type { End, Name, String, Number, Op, LParen, RParen } type = End;
    QString text;
};

class FilterLexer
{
public:
    explicit FilterLexer(const QString& text) : m_text(text) {}

    Token next()
    {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
        Token t;
        if (m_pos >= m_text.size())
            return t;
        const QChar c = m_text.at(m_pos);
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            ++m_pos;
            t.type = c == QLatin1Char('(') ? Token::LParen : Token::RParen;
            return t;
        }
        if (c == QLatin1Char('\'')) {
            ++m_pos;
            t.type = Token::String;
            for (;;) {
                if (m_pos >= m_text.size())
                    throw EDBEditError(
                        QStringLiteral("Unterminated string in filter: %1").arg(m_text));
                const QChar d = m_text.at(m_pos++);
                if (d == QLatin1Char('\'')) {
                    if (m_pos < m_text.size() && m_text.at(m_pos) == QLatin1Char('\'')) {
                        t.text.append(d);
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                t.text.append(d);
            }
            return t;
        }
        if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
            const qsizetype end = m_text.indexOf(close, m_pos + 1);
            if (end < 0)
                throw EDBEditError(
                    QStringLiteral("Unterminated field name in filter: %1").arg(m_text));
            t.type = Token::Name;
            t.text = m_text.mid(m_pos + 1, end - m_pos - 1);
            m_pos = end + 1;
            return t;
        }
        if (c.isDigit() || ((c == QLatin1Char('-') || c == QLatin1Char('.')) &&
                            m_pos + 1 < m_text.size() && m_text.at(m_pos + 1).isDigit())) {
            return run(Token::Number, [](QChar d) { return d.isDigit() || d == QLatin1Char('.'); });
        }
        if (c.isLetter() || c == QLatin1Char('_')) {
            return run(Token::Name,
                       [](QChar d) { return d.isLetterOrNumber() || d == QLatin1Char('_'); });
        }
        static const char* const ops[] = {"<>", "<=", ">=", "=", "<", ">"};
        for (const char* op : ops) {
            const QLatin1StringView v(op);
            if (QStringView(m_text).mid(m_pos).startsWith(v)) {
                m_pos += v.size();
                t.type = Token::Op;
                t.text = v.toString();
                return t;
            }
        }
        throw EDBEditError(
            QStringLiteral("Invalid character '%1' in filter: %2").arg(c).arg(m_text));
    }

private:
    // The token of the current character and the characters after it that `inRun` takes.
    template <typename InRun> Token run(Token::Type type, InRun inRun)
    {
        const qsizetype start = m_pos++;
        while (m_pos < m_text.size() && inRun(m_text.at(m_pos)))
            ++m_pos;
        Token t;
        t.type = type;
        t.text = m_text.mid(start, m_pos - start);
        return t;
    }

    QString m_text;
    qsizetype m_pos = 0;
};

class FilterParser
{
    using Expr = FilterExpr;

public:
    explicit FilterParser(const QString& text) : m_text(text), m_lexer(text) { advance(); }

    std::unique_ptr<Expr> parseAll()
    {
        auto e = parseOr();
        if (m_tok.type != Token::End)
            fail();
        return e;
    }

private:
    using Rule = std::unique_ptr<Expr> (FilterParser::*)();

    // One level deeper for as long as it lives; refuses the text beyond the bound.
    class Nesting
    {
    public:
        explicit Nesting(FilterParser& parser) : m_parser(parser)
        {
            if (++m_parser.m_depth > Expr::MaxDepth)
                throw EDBEditError(
                    QStringLiteral("Filter expression nested more than %1 levels deep: %2")
                        .arg(Expr::MaxDepth)
                        .arg(m_parser.m_text));
        }
        ~Nesting() { --m_parser.m_depth; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        FilterParser& m_parser;
    };

    static bool isWord(const Token& t, const char* word)
    {
        return t.type == Token::Name &&
               t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    [[noreturn]] void fail() const
    {
        throw EDBEditError(QStringLiteral("Invalid filter expression: %1").arg(m_text));
    }
    void advance() { m_tok = m_lexer.next(); }

    // operand { word operand }: one node holding every operand of the run.
    std::unique_ptr<Expr> parseRun(Expr::Kind kind, const char* word, Rule operand)
    {
        auto first = (this->*operand)();
        if (!isWord(m_tok, word))
            return first;
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->operands.push_back(std::move(first));
        while (isWord(m_tok, word)) {
            advance();
            e->operands.push_back((this->*operand)());
        }
        return e;
    }
    std::unique_ptr<Expr> parseOr()
    {
        return parseRun(Expr::Kind::Or, "or", &FilterParser::parseAnd);
    }
    std::unique_ptr<Expr> parseAnd()
    {
        return parseRun(Expr::Kind::And, "and", &FilterParser::parseNot);
    }
    std::unique_ptr<Expr> parseNot()
    {
        if (isWord(m_tok, "not")) {
            const Nesting nesting(*this);
            advance();
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Not;
            e->operands.push_back(parseNot());
            return e;
        }
        return parsePrimary();
    }
    Expr::Operand parseOperand()
    {
        Expr::Operand o;
        switch (m_tok.type) {
        case Token::String:
            o.literal = Variant(m_tok.text);
            break;
        case Token::Number: {
            bool ok = false;
            const qint64 i = m_tok.text.toLongLong(&ok);
            if (ok) {
                o.literal = Variant(i);
            } else {
                const double d = m_tok.text.toDouble(&ok);
                if (!ok)
                    fail();
                o.literal = Variant(d);
            }
            break;
        }
        case Token::Name:
            if (isWord(m_tok, "null")) {
                o.literal = Variant::null();
            } else if (isWord(m_tok, "true") || isWord(m_tok, "false")) {
                o.literal = Variant(isWord(m_tok, "true"));
            } else {
                o.isField = true;
                o.name = m_tok.text;
            }
            break;
        default:
            fail();
        }
        advance();
        return o;
    }
    std::unique_ptr<Expr> parsePrimary()
    {
        if (m_tok.type == Token::LParen) {
            const Nesting nesting(*this);
            advance();
            auto e = parseOr();
            if (m_tok.type != Token::RParen)
                fail();
            advance();
            return e;
        }
        auto e = std::make_unique<Expr>();
        e->a = parseOperand();
        if (isWord(m_tok, "is")) {
            advance();
            e->cmp = Expr::Cmp::Eq;
            if (isWord(m_tok, "not")) {
                e->cmp = Expr::Cmp::Ne;
                advance();
            }
            if (!isWord(m_tok, "null"))
                fail();
            advance();
            e->kind = Expr::Kind::Compare;
            e->b.literal = Variant::null();
            return e;
        }
        if (m_tok.type != Token::Op) {
            if (e->a.isField) {
                e->kind = Expr::Kind::IsTrue;
            } else if (e->a.literal.type() == Variant::Type::Boolean) {
                e->kind = Expr::Kind::Constant;
                e->constant = e->a.literal.toBool();
            } else {
                fail();
            }
            return e;
        }
        static const struct
        {
            const char* text;
            Expr::Cmp cmp;
        } ops[] = {{"=", Expr::Cmp::Eq}, {"<>", Expr::Cmp::Ne}, {"<", Expr::Cmp::Lt},
                   {">", Expr::Cmp::Gt}, {"<=", Expr::Cmp::Le}, {">=", Expr::Cmp::Ge}};
        for (const auto& op : ops) {
            if (m_tok.text == QLatin1String(op.text))
                e->cmp = op.cmp;
        }
        advance();
        e->b = parseOperand();
        e->kind = Expr::Kind::Compare;
        if (!e->a.isField && !e->b.isField)
            fail();
        return e;
    }

    QString m_text;
    FilterLexer m_lexer;
    Token m_tok;
    int m_depth = 0;
};

} // namespace

std::unique_ptr<FilterExpr> FilterExpr::parse(const QString& text)
{
    return FilterParser(text).parseAll();
}

bool FilterExpr::evaluate(const DataSet& ds, const QList<Variant>& buffer,
                          bool caseInsensitive) const
{
    switch (kind) {
    case Kind::And:
    case Kind::Or: {
        // From left to right, up to the first operand that settles the whole: false for AND,
        // true for OR.
        const bool settles = kind == Kind::Or;
        for (const auto& e : operands) {
            if (e->evaluate(ds, buffer, caseInsensitive) == settles)
                return settles;
        }
        return !settles;
    }
    case Kind::Not:
        return !operands.front()->evaluate(ds, buffer, caseInsensitive);
    case Kind::Constant:
        return constant;
    case Kind::IsTrue: {
        const Field* f = ds.fieldByName(a.name);
        const Variant& v = buffer.at(DataSet::slotOf(f));
        return !v.isEmpty() && v.toBool();
    }
    case Kind::Compare:
        break;
    }
    return compare(ds, buffer, caseInsensitive);
}

bool FilterExpr::compare(const DataSet& ds, const QList<Variant>& buffer,
                         bool caseInsensitive) const
{
    // Field against literal (or field against field): the other side takes the field's type.
    const Operand& fo = a.isField ? a : b;
    const Operand& oo = a.isField ? b : a;
    const Field* f = ds.fieldByName(fo.name);
    const Variant fv = buffer.at(DataSet::slotOf(f));
    Variant ov = oo.isField ? buffer.at(DataSet::slotOf(ds.fieldByName(oo.name))) : oo.literal;
    Cmp op = cmp;
    if (!a.isField) { // literal on the left: mirror the operator
        switch (cmp) {
        case Cmp::Lt:
            op = Cmp::Gt;
            break;
        case Cmp::Gt:
            op = Cmp::Lt;
            break;
        case Cmp::Le:
            op = Cmp::Ge;
            break;
        case Cmp::Ge:
            op = Cmp::Le;
            break;
        default:
            break;
        }
    }
    if (ov.isEmpty() || fv.isEmpty()) {
        const bool bothNull = ov.isEmpty() && fv.isEmpty();
        if (op == Cmp::Eq)
            return bothNull;
        if (op == Cmp::Ne)
            return !bothNull;
        return false;
    }
    ov = convertFieldValue(f->dataType(), 0, ov);
    int c;
    if (isTextType(f->dataType()) && caseInsensitive)
        c = collation::compareFolded(fv.toString(), ov.toString());
    else
        c = compareFieldValues(f->dataType(), fv, ov);
    switch (op) {
    case Cmp::Eq:
        return c == 0;
    case Cmp::Ne:
        return c != 0;
    case Cmp::Lt:
        return c < 0;
    case Cmp::Gt:
        return c > 0;
    case Cmp::Le:
        return c <= 0;
    case Cmp::Ge:
        return c >= 0;
    }
    return false;
}
