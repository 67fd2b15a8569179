// The report expression language: the lexer, the recursive-descent parser TExprParser, the node
// tree (TExprNode, TConstNode, TOpNode, TExprNodeList) and its evaluation over variants. The
// parser knows nothing of datasets or aggregates: names, literals, aggregates, function calls and
// macros go to callbacks that build their nodes; without callbacks it makes constants.
#pragma once

#include <platform/exception.h>
#include <platform/variant.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// The error of the expression language and of the report expressions: its message is always a
// report-engine message, obtained by number (rconst.h).
class EParseException : public Exception
{
public:
    explicit EParseException(int id, const VariantList& args = {});
    int MessageId() const { return m_id; }
    const char* className() const override { return "EParseException"; }

private:
    int m_id;
};

// Result types of a node.
enum : quint8 { rtNumber = 0, rtString = 1, rtBoolean = 2 };

// Operator codes: the index into the operator texts.
enum : quint8 {
    opNone = 0, // "#", never read from a text
    opAdd = 1,
    opSubtract = 2,
    opDivide = 3,
    opMultiply = 4,
    opEqual = 5,
    opGreater = 6,
    opLess = 7,
    opGreaterEqual = 8,
    opLessEqual = 9,
    opNotEqual = 10,
    opAnd = 11,
    opOr = 12,
    opNot = 13,
};
// "#", "+", "-", "/", "*", "=", ">", "<", ">=", "<=", "<>", "AND", "OR", "NOT".
QString OperatorText(quint8 op);

class TExprNode
{
public:
    virtual ~TExprNode();

    // Display width of a string result, 0 for others.
    int Size = 0;
    // rtNumber, rtString or rtBoolean.
    quint8 ResultType = rtNumber;

    // The context handed down the tree (the report's, or the aggregate a value belongs to).
    void* Context() const { return m_context; }
    virtual void SetContext(void* context);
    // The expression text of the node.
    virtual QString GetText() const = 0;
    // True when the result type is `type`; a node that can take several types may switch to it.
    virtual bool IsType(quint8 type);
    virtual Variant Evaluate() = 0;
    // Levels of operators below and at this node (0 for a leaf): how deep walking it goes. The
    // parser raises it for a node a callback built over arguments it parsed.
    int Levels() const { return m_levels; }

protected:
    TExprNode() = default;
    void setLevels(int levels) { m_levels = levels; }

private:
    friend class TExprParser;
    void* m_context = nullptr;
    int m_levels = 0;
};

// A value; a string value has the string type and its length as size. A node made from a list of
// alternatives shows the first and may switch to the first alternative of another type.
class TConstNode : public TExprNode
{
public:
    explicit TConstNode(const Variant& value);
    explicit TConstNode(const VariantList& alternatives);

    bool IsType(quint8 type) override;
    QString GetText() const override;
    Variant Evaluate() override { return m_value; }

private:
    void setValue(const Variant& value);

    Variant m_value;
    VariantList m_alternatives;
    bool m_hasAlternatives = false;
};

// An operator over one or two operands, which it owns. The constructor checks the operands'
// types and chooses the evaluation; it raises EParseException 18, 19 or 25 (the operands given
// are then destroyed with it).
class TOpNode : public TExprNode
{
public:
    TOpNode(quint8 op, std::unique_ptr<TExprNode> left, std::unique_ptr<TExprNode> right);

    quint8 Op() const { return m_op; }
    bool Unary() const { return m_unary; }
    TExprNode* Left() const { return m_left.get(); }
    TExprNode* Right() const { return m_right.get(); }

    void SetContext(void* context) override;
    // Operand texts around the operator, without blanks or parentheses ("-" and the operand for a
    // unary node).
    QString GetText() const override;
    Variant Evaluate() override { return (this->*m_evaluate)(); }

private:
    using Evaluator = Variant (TOpNode::*)();
    Variant evalAdd();
    Variant evalConcat();
    Variant evalNegate();
    Variant evalSubtract();
    Variant evalMultiply();
    Variant evalDivide();
    Variant evalCompareNumbers();
    Variant evalCompareStrings();
    Variant evalAnd();
    Variant evalOr();
    Variant evalNot();

    quint8 m_op;
    bool m_unary = false;
    std::unique_ptr<TExprNode> m_left;
    std::unique_ptr<TExprNode> m_right;
    Evaluator m_evaluate = nullptr;
};

// The arguments of an aggregate or a function call. Nodes taken from the list belong to whoever
// takes them; those left in it go with the list, so that an argument list given up half-way by an
// error leaks nothing.
class TExprNodeList
{
public:
    int Count() const { return int(m_nodes.size()); }
    TExprNode* Items(int i) const { return m_nodes.at(size_t(i)).get(); }
    void Add(std::unique_ptr<TExprNode> node) { m_nodes.push_back(std::move(node)); }
    // Hands node i over; its place stays, empty.
    std::unique_ptr<TExprNode> Take(int i) { return std::move(m_nodes.at(size_t(i))); }
    // Moves the nodes still in `other` to the end of this list.
    void TakeRest(TExprNodeList& other)
    {
        for (auto& node : other.m_nodes) {
            if (node)
                m_nodes.push_back(std::move(node));
        }
        other.m_nodes.clear();
    }

private:
    std::vector<std::unique_ptr<TExprNode>> m_nodes;
};

// A sorted list of names without duplicates, searched without regard to case (ANSI rules).
class TNameList
{
public:
    void Add(const QString& name);
    // Copies the names (sorted, duplicates dropped).
    void Assign(const QStringList& names);
    void Clear() { m_names.clear(); }
    bool Contains(const QString& name) const;
    const QStringList& Names() const { return m_names; }
    int Count() const { return int(m_names.size()); }

private:
    QStringList m_names; // in the order of their upper-case forms
};

class TExprParser
{
public:
    // Token kinds.
    enum : quint8 {
        tkOperator = 1,
        tkName = 2, // a bracketed name
        tkIdent = 3,
        tkNumber = 4,
        tkString = 5,
        tkOpen = 6,
        tkClose = 7,
        tkComma = 8,
        tkPercent = 9,
        tkEnd = 10,
    };

    // Builds the node for a name, literal, aggregate, function call or macro; leaves the node
    // empty to build none.
    using TNodeEvent = std::function<void(TExprParser& sender, const QString& name,
                                          std::unique_ptr<TExprNode>& node)>;

    // All callbacks unassigned; the aggregate names are SUM, MIN, MAX, AVG and COUNT.
    TExprParser();

    QString Expression() const { return m_text; }
    void SetExpression(const QString& text);

    // Parses the whole expression text and returns its root (empty when nothing was built, as
    // for "()"). Raises EParseException; an empty text is message 20. A number literal without a
    // number callback that does not convert raises EConvertError.
    std::unique_ptr<TExprNode> Parse();

    // Names: fields, aggregates, functions and functions whose arguments are taken as raw text.
    TNameList& FieldNames() { return m_fieldNames; }
    TNameList& AggregateNames() { return m_aggregateNames; }
    TNameList& FunctionNames() { return m_functionNames; }
    TNameList& RawFunctionNames() { return m_rawFunctionNames; }
    const TNameList& FieldNames() const { return m_fieldNames; }
    const TNameList& AggregateNames() const { return m_aggregateNames; }
    const TNameList& FunctionNames() const { return m_functionNames; }
    const TNameList& RawFunctionNames() const { return m_rawFunctionNames; }
    void SetFunctions(const QStringList& names) { m_functionNames.Assign(names); }

    // Set while the argument list of an aggregate or function is parsed; the index of the
    // argument being parsed in the innermost list (0 for the first).
    bool InArgs() const { return m_inArgs; }
    void SetInArgs(bool inArgs) { m_inArgs = inArgs; }
    int ArgIndex() const { return m_argIndex; }
    // No operator nodes are built (callbacks are expected to build nothing either).
    bool CheckOnly = false;
    // Nesting levels in use: those around the text where it is used (the parser whose macro this
    // one expands, the expression that names the virtual field this one parses), plus its own.
    // The tree built may be MaxNesting levels deep, counting parentheses, argument lists, macro
    // expansions and virtual fields around a node and the operators at and below it (message 28
    // beyond).
    int Depth() const { return m_depth; }
    void SetBaseDepth(int depth) { m_baseDepth = depth; }
    // For a callback whose node stands for a text parsed on its own (a macro's, a virtual
    // field's): that text takes `levels` more where the node stands. Message 28 past the bound.
    void Reach(int levels);
    // The levels the last Parse took below its base depth, the texts of Reach included: what the
    // expression adds where another one uses it.
    int Reached() const { return m_reach - m_baseDepth; }

    TNodeEvent OnField, OnVirtualField, OnNumber, OnString, OnAggregate, OnMacro, OnFunction;

    // For the aggregate and function callbacks, while the current token is the name: the argument
    // list in parentheses, each argument an expression (ParseArgs) or the raw text up to ")" read
    // as one identifier (ParseRawArgs). Empty arguments add no node. ")" stays the current token.
    void ParseArgs(TExprNodeList& args);
    void ParseRawArgs(TExprNodeList& args);
    // The text between the "(" that must follow and the first ")" after it. With `peek` the
    // reading goes on from where it was; without, from after the ")".
    void GetRawParams(bool peek, QString& text);

private:
    struct Token
    {
        QString text;
        quint8 kind = tkEnd;
        quint8 op = opNone;
    };
    struct Position
    {
        int pos;
        Token token;
    };

    QChar charAt(int i) const { return i < m_length ? m_text.at(i) : QChar(); }
    void nextToken();
    void nextRawToken();
    void readDelimited(QChar close, quint8 kind);
    bool peekOpen();
    void enterNesting();
    void checkLevels(const TExprNode* node);

    std::unique_ptr<TExprNode> build(quint8 op, std::unique_ptr<TExprNode> left,
                                     std::unique_ptr<TExprNode> right);
    std::unique_ptr<TExprNode> parseLogical();
    std::unique_ptr<TExprNode> parseNot();
    std::unique_ptr<TExprNode> parseRelation();
    std::unique_ptr<TExprNode> parseSum();
    std::unique_ptr<TExprNode> parseTerm();
    std::unique_ptr<TExprNode> parseUnary();
    std::unique_ptr<TExprNode> parsePrimary();
    std::unique_ptr<TExprNode> call(const TNodeEvent& event, const QString& name);
    void parseArgList(TExprNodeList& args, bool raw);

    QString m_text;
    int m_length = 0; // the text ends at its first NUL character
    int m_pos = 0;
    Token m_token;
    bool m_inArgs = false;
    int m_argIndex = 0;
    int m_depth = 0;
    int m_baseDepth = 0;
    int m_peak = 0;  // the deepest level a node reached so far
    int m_reach = 0; // the same, with the texts of Reach
    TNameList m_fieldNames, m_aggregateNames, m_functionNames, m_rawFunctionNames;
};
