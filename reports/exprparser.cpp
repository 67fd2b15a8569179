// The expression language: nodes and their evaluation, the lexer and the parser.
#include "exprparser.h"

#include "rconst.h"

#include <platform/codepage.h>
#include <platform/data/collation.h>
#include <platform/regional.h>

#include <algorithm>

EParseException::EParseException(int id, const VariantList& args)
    : Exception(FormatRptMessage(id, args)), m_id(id)
{
}

QString OperatorText(quint8 op)
{
    static const char* const texts[] = {"#", "+",  "-",  "/",  "*",   "=",  ">",
                                        "<", ">=", "<=", "<>", "AND", "OR", "NOT"};
    return op < std::size(texts) ? QLatin1String(texts[op]) : QString();
}

namespace {

double asNumber(const Variant& v)
{
    return v.isNull() ? 0.0 : v.toDouble();
}

QString asText(const Variant& v)
{
    return v.isNull() ? QString() : v.toString();
}

// Text order of the string relations: without regard to case (and accents), ties broken by the
// ANSI upper-case forms, so that 'abc' = 'ABC' and 'e' < 'é'.
int compareTexts(const QString& a, const QString& b)
{
    const int folded = collation::compareFolded(a, b);
    if (folded != 0)
        return folded;
    return collation::compareExact(codepage::upper(a), codepage::upper(b));
}

QString upperName(const QString& name)
{
    return codepage::upper(name);
}

} // namespace

// ---- Nodes

TExprNode::~TExprNode() = default;

void TExprNode::SetContext(void* context)
{
    if (context != m_context)
        m_context = context;
}

bool TExprNode::IsType(quint8 type)
{
    return ResultType == type;
}

TConstNode::TConstNode(const Variant& value)
{
    setValue(value);
}

TConstNode::TConstNode(const VariantList& alternatives)
    : m_alternatives(alternatives), m_hasAlternatives(true)
{
    setValue(alternatives.isEmpty() ? Variant() : alternatives.first());
}

void TConstNode::setValue(const Variant& value)
{
    m_value = value;
    if (value.type() == Variant::Type::String) {
        ResultType = rtString;
        Size = int(value.stringView().size());
    }
}

bool TConstNode::IsType(quint8 type)
{
    if (ResultType == type)
        return true;
    if (!m_hasAlternatives)
        return false;
    for (const Variant& v : m_alternatives) {
        const quint8 t = v.type() == Variant::Type::String ? rtString : rtNumber;
        if (t == type) {
            m_value = v;
            ResultType = type;
            return true;
        }
    }
    return false;
}

QString TConstNode::GetText() const
{
    return m_value.toString();
}

TOpNode::TOpNode(quint8 op, std::unique_ptr<TExprNode> left, std::unique_ptr<TExprNode> right)
    : m_op(op), m_left(std::move(left)), m_right(std::move(right))
{
    if (!m_left && !m_right)
        throw EParseException(RptMsg::NoOperands);
    if (!m_left)
        m_left = std::move(m_right);
    if (!m_right) {
        if (op != opSubtract && op != opNot)
            throw EParseException(RptMsg::NotUnary, {OperatorText(op)});
        m_unary = true;
    }
    setLevels(1 + std::max(m_left->Levels(), m_right ? m_right->Levels() : 0));

    quint8 type = m_left->ResultType;
    if (!m_unary && m_right->ResultType != type) {
        if (m_left->IsType(rtNumber) && m_right->IsType(rtNumber))
            type = rtNumber;
        else if (m_left->IsType(rtString) && m_right->IsType(rtString))
            type = rtString;
        else
            throw EParseException(RptMsg::TypeMismatch, {m_left->GetText(), m_right->GetText()});
    }
    const bool suits = type == rtNumber   ? op >= opAdd && op <= opNotEqual
                       : type == rtString ? op == opAdd || (op >= opEqual && op <= opNotEqual)
                                          : op >= opEqual && op <= opNot;
    if (!suits)
        throw EParseException(RptMsg::TypeMismatch);

    const bool strings = type == rtString;
    switch (op) {
    case opAdd:
        m_evaluate = strings ? &TOpNode::evalConcat : &TOpNode::evalAdd;
        if (strings)
            Size = m_left->Size + m_right->Size;
        break;
    case opSubtract:
        m_evaluate = m_unary ? &TOpNode::evalNegate : &TOpNode::evalSubtract;
        break;
    case opMultiply:
        m_evaluate = &TOpNode::evalMultiply;
        break;
    case opDivide:
        m_evaluate = &TOpNode::evalDivide;
        break;
    case opAnd:
        m_evaluate = &TOpNode::evalAnd;
        break;
    case opOr:
        m_evaluate = &TOpNode::evalOr;
        break;
    case opNot:
        m_evaluate = &TOpNode::evalNot;
        break;
    default:
        m_evaluate = strings ? &TOpNode::evalCompareStrings : &TOpNode::evalCompareNumbers;
        break;
    }
    ResultType = op >= opEqual ? quint8(rtBoolean) : type;
}

void TOpNode::SetContext(void* context)
{
    TExprNode::SetContext(context);
    m_left->SetContext(context);
    if (m_right)
        m_right->SetContext(context);
}

QString TOpNode::GetText() const
{
    if (m_unary)
        return OperatorText(m_op) + m_left->GetText();
    return m_left->GetText() + OperatorText(m_op) + m_right->GetText();
}

Variant TOpNode::evalAdd()
{
    const double l = asNumber(m_left->Evaluate());
    return l + asNumber(m_right->Evaluate());
}

Variant TOpNode::evalConcat()
{
    const QString l = asText(m_left->Evaluate());
    return l + asText(m_right->Evaluate());
}

Variant TOpNode::evalNegate()
{
    return -asNumber(m_left->Evaluate());
}

Variant TOpNode::evalSubtract()
{
    const double l = asNumber(m_left->Evaluate());
    return l - asNumber(m_right->Evaluate());
}

Variant TOpNode::evalMultiply()
{
    const double l = asNumber(m_left->Evaluate());
    return l * asNumber(m_right->Evaluate());
}

Variant TOpNode::evalDivide()
{
    const double divisor = asNumber(m_right->Evaluate());
    if (divisor == 0)
        return 0;
    return asNumber(m_left->Evaluate()) / divisor;
}

Variant TOpNode::evalCompareNumbers()
{
    const double l = asNumber(m_left->Evaluate());
    const double r = asNumber(m_right->Evaluate());
    switch (m_op) {
    case opEqual:
        return l == r;
    case opGreater:
        return l > r;
    case opLess:
        return l < r;
    case opGreaterEqual:
        return l >= r;
    case opLessEqual:
        return l <= r;
    default:
        return l != r;
    }
}

Variant TOpNode::evalCompareStrings()
{
    const QString r = asText(m_right->Evaluate());
    const int c = compareTexts(asText(m_left->Evaluate()), r);
    switch (m_op) {
    case opEqual:
        return c == 0;
    case opGreater:
        return c > 0;
    case opLess:
        return c < 0;
    case opGreaterEqual:
        return c >= 0;
    case opLessEqual:
        return c <= 0;
    default:
        return c != 0;
    }
}

Variant TOpNode::evalAnd()
{
    if (!m_left->Evaluate().toBool())
        return false;
    return m_right->Evaluate().toBool();
}

Variant TOpNode::evalOr()
{
    if (m_left->Evaluate().toBool())
        return true;
    return m_right->Evaluate().toBool();
}

Variant TOpNode::evalNot()
{
    return !m_left->Evaluate().toBool();
}

// ---- Name lists

void TNameList::Add(const QString& name)
{
    const QString key = upperName(name);
    const auto at =
        std::lower_bound(m_names.begin(), m_names.end(), key,
                         [](const QString& a, const QString& k) { return upperName(a) < k; });
    if (at != m_names.end() && upperName(*at) == key)
        return;
    m_names.insert(at, name);
}

void TNameList::Assign(const QStringList& names)
{
    m_names.clear();
    for (const QString& name : names)
        Add(name);
}

bool TNameList::Contains(const QString& name) const
{
    const QString key = upperName(name);
    const auto at =
        std::lower_bound(m_names.begin(), m_names.end(), key,
                         [](const QString& a, const QString& k) { return upperName(a) < k; });
    return at != m_names.end() && upperName(*at) == key;
}

// ---- Parser

TExprParser::TExprParser()
{
    m_aggregateNames.Assign({QStringLiteral("SUM"), QStringLiteral("MIN"), QStringLiteral("MAX"),
                             QStringLiteral("AVG"), QStringLiteral("COUNT")});
}

void TExprParser::SetExpression(const QString& text)
{
    m_text = text;
    const qsizetype nul = text.indexOf(QChar());
    m_length = int(nul < 0 ? text.size() : nul);
}

void TExprParser::enterNesting()
{
    if (++m_depth > MaxNesting)
        throw EParseException(RptMsg::TooDeep);
    m_peak = std::max(m_peak, m_depth);
    m_reach = std::max(m_reach, m_peak);
}

void TExprParser::checkLevels(const TExprNode* node)
{
    if (!node)
        return;
    const int levels = m_depth + node->Levels();
    if (levels > MaxNesting)
        throw EParseException(RptMsg::TooDeep);
    m_peak = std::max(m_peak, levels);
    m_reach = std::max(m_reach, m_peak);
}

void TExprParser::Reach(int levels)
{
    if (levels > MaxNesting - m_depth)
        throw EParseException(RptMsg::TooDeep);
    m_reach = std::max(m_reach, m_depth + levels);
}

void TExprParser::readDelimited(QChar close, quint8 kind)
{
    // Names and strings keep at most 256 characters; the rest is dropped.
    constexpr int maxLength = 256;
    const int start = m_pos + 1;
    int end = start;
    while (end < m_length && m_text.at(end) != close)
        ++end;
    if (end >= m_length)
        throw EParseException(RptMsg::UnclosedText);
    m_token.text = m_text.mid(start, std::min(end - start, maxLength));
    m_token.kind = kind;
    m_pos = end + 1;
}

void TExprParser::nextToken()
{
    m_token.op = opNone;
    while (m_pos < m_length && m_text.at(m_pos).unicode() <= 32)
        ++m_pos;
    if (m_pos >= m_length) {
        m_token.text.clear();
        m_token.kind = tkEnd;
        return;
    }
    const QChar c = m_text.at(m_pos);
    const char16_t u = c.unicode();
    auto single = [&](quint8 kind, quint8 op = opNone) {
        m_token.text = QString(c);
        m_token.kind = kind;
        m_token.op = op;
        ++m_pos;
    };
    auto isAsciiLetter = [](char16_t ch) {
        return (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
    };
    auto isDigit = [](char16_t ch) { return ch >= u'0' && ch <= u'9'; };

    bool identStart = isAsciiLetter(u) || u == u'_';
    if (u >= 128) {
        // Outside ASCII a character counts by its byte in the program's code page: 129 to 254
        // start an identifier; anything else, or a character the code page cannot hold, is an
        // error.
        QString ch(c);
        if (c.isHighSurrogate() && m_pos + 1 < m_length && m_text.at(m_pos + 1).isLowSurrogate())
            ch += m_text.at(m_pos + 1);
        bool lossless = true;
        const QByteArray bytes = codepage::toAnsi(ch, &lossless);
        const int b = bytes.size() == 1 ? quint8(bytes.at(0)) : -1;
        if (!lossless || b < 129 || b > 254)
            throw EParseException(RptMsg::BadCharacter, {ch});
        identStart = true;
    }

    if (identStart) {
        const int start = m_pos++;
        while (m_pos < m_length) {
            const char16_t n = m_text.at(m_pos).unicode();
            if (!isAsciiLetter(n) && !isDigit(n) && n != u'_')
                break;
            ++m_pos;
        }
        m_token.text = m_text.mid(start, m_pos - start);
        m_token.kind = tkIdent;
        static const char* const words[] = {"AND", "OR", "NOT"};
        for (quint8 i = 0; i < 3; ++i) {
            if (m_token.text.compare(QLatin1String(words[i]), Qt::CaseInsensitive) == 0) {
                m_token.kind = tkOperator;
                m_token.op = quint8(opAnd + i);
            }
        }
        return;
    }
    if (isDigit(u)) {
        const int start = m_pos++;
        while (m_pos < m_length) {
            const char16_t n = m_text.at(m_pos).unicode();
            if (!isDigit(n) && n != u'.' && n != u'E' && n != u'e')
                break;
            ++m_pos;
        }
        m_token.text = m_text.mid(start, m_pos - start);
        m_token.kind = tkNumber;
        return;
    }
    switch (u) {
    case u'[':
        readDelimited(QLatin1Char(']'), tkName);
        return;
    case u'\'':
        readDelimited(QLatin1Char('\''), tkString);
        return;
    case u'<': {
        const QChar n = charAt(m_pos + 1);
        if (n == QLatin1Char('=') || n == QLatin1Char('>')) {
            m_token.text = m_text.mid(m_pos, 2);
            m_token.kind = tkOperator;
            m_token.op = n == QLatin1Char('=') ? opLessEqual : opNotEqual;
            m_pos += 2;
        } else {
            single(tkOperator, opLess);
        }
        return;
    }
    case u'>':
        if (charAt(m_pos + 1) == QLatin1Char('=')) {
            m_token.text = QStringLiteral(">=");
            m_token.kind = tkOperator;
            m_token.op = opGreaterEqual;
            m_pos += 2;
        } else {
            single(tkOperator, opGreater);
        }
        return;
    case u'=':
        return single(tkOperator, opEqual);
    case u'+':
        return single(tkOperator, opAdd);
    case u'-':
        return single(tkOperator, opSubtract);
    case u'*':
        return single(tkOperator, opMultiply);
    case u'/':
        return single(tkOperator, opDivide);
    case u'(':
        return single(tkOpen);
    case u')':
        return single(tkClose);
    case u',':
        return single(tkComma);
    case u'%':
        return single(tkPercent);
    default:
        throw EParseException(RptMsg::BadCharacter, {QString(c)});
    }
}

void TExprParser::nextRawToken()
{
    m_token.op = opNone;
    if (m_pos >= m_length) {
        m_token.text.clear();
        m_token.kind = tkEnd;
        return;
    }
    if (m_text.at(m_pos) == QLatin1Char(')')) {
        m_token.text = QStringLiteral(")");
        m_token.kind = tkClose;
        ++m_pos;
        return;
    }
    const int start = m_pos;
    while (m_pos < m_length && m_text.at(m_pos) != QLatin1Char(')'))
        ++m_pos;
    m_token.text = m_text.mid(start, m_pos - start);
    m_token.kind = tkIdent;
}

bool TExprParser::peekOpen()
{
    const Position saved{m_pos, m_token};
    nextToken();
    const bool open = m_token.kind == tkOpen;
    m_pos = saved.pos;
    m_token = saved.token;
    return open;
}

std::unique_ptr<TExprNode> TExprParser::Parse()
{
    m_pos = 0;
    m_depth = m_baseDepth;
    m_peak = m_depth;
    m_reach = m_depth;
    m_argIndex = 0;
    if (m_depth > MaxNesting)
        throw EParseException(RptMsg::TooDeep);
    nextToken();
    std::unique_ptr<TExprNode> root = parseLogical();
    if (m_token.kind != tkEnd)
        throw EParseException(RptMsg::ExpectedEnd);
    return root;
}

std::unique_ptr<TExprNode> TExprParser::build(quint8 op, std::unique_ptr<TExprNode> left,
                                              std::unique_ptr<TExprNode> right)
{
    if (CheckOnly)
        return nullptr;
    auto node = std::make_unique<TOpNode>(op, std::move(left), std::move(right));
    checkLevels(node.get());
    return node;
}

std::unique_ptr<TExprNode> TExprParser::parseLogical()
{
    std::unique_ptr<TExprNode> left = parseNot();
    while (m_token.kind == tkOperator && (m_token.op == opAnd || m_token.op == opOr)) {
        const quint8 op = m_token.op;
        nextToken();
        std::unique_ptr<TExprNode> right = parseNot();
        left = build(op, std::move(left), std::move(right));
    }
    return left;
}

std::unique_ptr<TExprNode> TExprParser::parseNot()
{
    if (m_token.kind == tkOperator && m_token.op == opNot) {
        nextToken();
        return build(opNot, parseRelation(), nullptr);
    }
    return parseRelation();
}

std::unique_ptr<TExprNode> TExprParser::parseRelation()
{
    std::unique_ptr<TExprNode> left = parseSum();
    if (m_token.kind == tkOperator && m_token.op >= opEqual && m_token.op <= opNotEqual) {
        const quint8 op = m_token.op;
        nextToken();
        std::unique_ptr<TExprNode> right = parseSum();
        left = build(op, std::move(left), std::move(right));
    }
    return left;
}

std::unique_ptr<TExprNode> TExprParser::parseSum()
{
    std::unique_ptr<TExprNode> left = parseTerm();
    while (m_token.kind == tkOperator && (m_token.op == opAdd || m_token.op == opSubtract)) {
        const quint8 op = m_token.op;
        nextToken();
        std::unique_ptr<TExprNode> right = parseTerm();
        left = build(op, std::move(left), std::move(right));
    }
    return left;
}

std::unique_ptr<TExprNode> TExprParser::parseTerm()
{
    std::unique_ptr<TExprNode> left = parseUnary();
    while (m_token.kind == tkOperator && (m_token.op == opDivide || m_token.op == opMultiply)) {
        const quint8 op = m_token.op;
        nextToken();
        std::unique_ptr<TExprNode> right = parseUnary();
        left = build(op, std::move(left), std::move(right));
    }
    return left;
}

std::unique_ptr<TExprNode> TExprParser::parseUnary()
{
    if (m_token.kind == tkOperator && m_token.op == opSubtract) {
        nextToken();
        return build(opSubtract, parsePrimary(), nullptr);
    }
    return parsePrimary();
}

std::unique_ptr<TExprNode> TExprParser::call(const TNodeEvent& event, const QString& name)
{
    std::unique_ptr<TExprNode> node;
    if (!event)
        return node;
    // A node built over arguments is as deep as the deepest of them, whatever its class.
    const int outerPeak = m_peak;
    m_peak = m_depth;
    event(*this, name, node);
    if (node)
        node->setLevels(std::max(node->Levels(), m_peak - m_depth));
    m_peak = std::max(outerPeak, m_peak);
    checkLevels(node.get());
    return node;
}

std::unique_ptr<TExprNode> TExprParser::parsePrimary()
{
    std::unique_ptr<TExprNode> node;
    const QString name = m_token.text;
    switch (m_token.kind) {
    case tkName:
        node = call(m_fieldNames.Contains(name) ? OnField : OnVirtualField, name);
        break;
    case tkIdent:
        if (m_aggregateNames.Contains(name) && peekOpen())
            node = call(OnAggregate, name);
        else if (m_fieldNames.Contains(name))
            node = call(OnField, name);
        else if ((m_functionNames.Contains(name) || m_rawFunctionNames.Contains(name)) &&
                 peekOpen())
            node = call(OnFunction, name);
        else if (OnString)
            node = call(OnString, name);
        else if (!CheckOnly)
            node = std::make_unique<TConstNode>(Variant(name));
        break;
    case tkNumber:
        if (OnNumber) {
            node = call(OnNumber, name);
        } else if (!CheckOnly) {
            QString text = name;
            const QChar separator = regional().decimalSeparator;
            if (separator == QLatin1Char(',')) {
                const qsizetype dot = text.indexOf(QLatin1Char('.'));
                if (dot >= 0)
                    text[dot] = separator;
            }
            node = std::make_unique<TConstNode>(Variant(StrToFloat(text)));
        }
        break;
    case tkString:
        if (OnString)
            node = call(OnString, name);
        else if (!CheckOnly)
            node = std::make_unique<TConstNode>(Variant(name));
        break;
    case tkOpen:
        enterNesting();
        nextToken();
        node = parseLogical();
        if (m_token.kind != tkClose)
            throw EParseException(RptMsg::ExpectedClose);
        --m_depth;
        break;
    case tkClose:
        return nullptr;
    case tkPercent:
        nextToken();
        node = call(OnMacro, m_token.text);
        nextToken();
        if (m_token.kind != tkPercent)
            throw EParseException(RptMsg::ExpectedEnd);
        break;
    default:
        throw EParseException(RptMsg::ExpectedOperand, {m_token.text});
    }
    nextToken();
    return node;
}

void TExprParser::parseArgList(TExprNodeList& args, bool raw)
{
    // The flag and the index belong to the enclosing list again afterwards, also after an error.
    struct Restore
    {
        TExprParser* p;
        bool inArgs;
        int argIndex;
        ~Restore()
        {
            p->m_inArgs = inArgs;
            p->m_argIndex = argIndex;
        }
    } restore{this, m_inArgs, m_argIndex};

    m_inArgs = true;
    nextToken();
    if (m_token.kind != tkOpen)
        throw EParseException(RptMsg::ExpectedOpen);
    enterNesting();
    m_argIndex = 0;
    for (;;) {
        if (raw)
            nextRawToken();
        else
            nextToken();
        if (std::unique_ptr<TExprNode> node = parseLogical())
            args.Add(std::move(node));
        if (m_token.kind != tkComma)
            break;
        ++m_argIndex;
    }
    if (m_token.kind != tkClose)
        throw EParseException(RptMsg::ExpectedClose);
    --m_depth;
}

void TExprParser::ParseArgs(TExprNodeList& args)
{
    parseArgList(args, false);
}

void TExprParser::ParseRawArgs(TExprNodeList& args)
{
    parseArgList(args, true);
}

void TExprParser::GetRawParams(bool peek, QString& text)
{
    const Position saved{m_pos, m_token};
    nextToken();
    if (m_token.kind != tkOpen)
        throw EParseException(RptMsg::ExpectedOpen);
    const int start = m_pos;
    const qsizetype close = m_text.left(m_length).indexOf(QLatin1Char(')'), start);
    if (close < 0)
        throw EParseException(RptMsg::ExpectedClose);
    text = m_text.mid(start, close - start);
    if (peek) {
        m_pos = saved.pos;
        m_token = saved.token;
    } else {
        m_pos = int(close) + 1;
    }
}
