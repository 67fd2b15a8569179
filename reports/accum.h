// Report expressions and aggregates: TRptExpr binds the expression language to a report (fields of
// its dataset, virtual fields, user functions, macros, and the aggregates SUM, AVG, MIN, MAX and
// COUNT per group), and TAccumulator holds the accumulated values of one report in an in-memory
// table with one floating-point column per accumulated quantity.
//
// Driving the accumulator is the report pass's business; what it does, per source row and per
// group row it feeds (the grand total's row has the key -1):
//   1. locate the group row by its key field (KeyFieldName), or append it with FirstRow set;
//   2. ClearAccumulated(), edit the row, call Accumulate() of every TAccField of every expression
//      (AccFields()), add one to the row count (the table's last column), post;
//   3. bind the field nodes the callbacks left unbound (FieldNodes()) to the rows they read.
// The table's columns are field definitions added while it is closed: the pass parses every
// expression first, adds its key field and, last, the row-count column, then creates the table.
#pragma once

#include "exprparser.h"
#include "uflist.h"

#include <platform/data/memdataset.h>

#include <QPointer>

#include <memory>
#include <vector>

namespace rgen {
class TRptGen;
}
class TAccumulator;
class TRptExpr;

// Accumulation kinds.
enum TAccKind : quint8 { akSum = 0, akAvg = 1, akMin = 2, akMax = 3 };

// Aggregate indexes (the position in SUM, AVG, MIN, MAX, COUNT), and the index inside a user
// function.
enum : quint8 { aiSum = 0, aiAvg = 1, aiMin = 2, aiMax = 3, aiCount = 4, aiFunction = 5 };
// "SUM", "AVG", "MIN", "MAX", "COUNT".
QString AggregateName(quint8 index);

// States of a report expression.
enum : quint8 {
    esEmpty = 0,     // nothing to evaluate
    esText = 1,      // a text to evaluate (also: inside a user function while parsing)
    esAggregate = 2, // the expression holds an aggregate
    esInvalid = 3,   // its text did not parse: evaluating it is message 24
};

// A field of a dataset, read from the current record. Unbound until the node is bound to a
// dataset; evaluating an unbound node raises a clear error.
class TFieldNode : public TExprNode
{
public:
    TFieldNode(TRptExpr* owner, const QString& fieldName);

    // Looks the field up by name (any case): a string field gives the string type with its size
    // plus one, a Boolean field the Boolean type, any other the number type. Raises when the
    // dataset has no such field.
    void Bind(DataSet* dataSet);
    bool Bound() const { return !m_dataSet.isNull(); }
    DataSet* BoundDataSet() const { return m_dataSet; }
    const QString& FieldName() const { return m_name; }

    QString GetText() const override { return m_name; }
    // The field's value; through the report's OnGetFieldValue when it is assigned and the field
    // belongs to the report's SourceDataSet.
    Variant Evaluate() override;

private:
    TRptExpr* m_owner;
    QString m_name;
    QPointer<DataSet> m_dataSet;
};

// A virtual field of the report: its value is that of the method (Null without one). Evaluating
// it walks the field's own tree: its operators count as levels of this node.
using TVFieldMethod = std::function<Variant()>;
class TVFieldNode : public TExprNode
{
public:
    TVFieldNode(const QString& displayName, quint8 resultType, int size, int levels,
                TVFieldMethod method);
    QString GetText() const override { return m_name; }
    Variant Evaluate() override { return m_method ? m_method() : Variant::null(); }

private:
    QString m_name;
    TVFieldMethod m_method;
};

// A number in the value argument of an aggregate: it counts once per accumulated row.
class TAccConst : public TExprNode
{
public:
    TAccConst(TAccumulator* accumulator, double value);
    QString GetText() const override;
    Variant Evaluate() override;

private:
    TAccumulator* m_accumulator;
    double m_value;
};

// One distinct accumulated source (a field, or a node by its text; names compared without regard
// to case), with a column of the accumulator table per kind asked for.
class TAccItem
{
public:
    TAccItem(TAccumulator* accumulator, const QString& sourceName);

    // The upper-cased name of the source.
    const QString& Name() const { return m_name; }
    // Serial number, shared by the whole program.
    int Number() const { return m_number; }
    // The column of the kind ("<number>SUM", "AVG", "MIN", "MAX"), made the first time: a
    // floating-point field definition of the accumulator table, which must then be closed.
    QString Column(TAccKind kind);
    bool HasKind(TAccKind kind) const { return m_kinds & (1u << kind); }
    // Kinds already accumulated for the current row.
    bool Accumulated(TAccKind kind) const { return m_done & (1u << kind); }
    void SetAccumulated(TAccKind kind) { m_done |= quint8(1u << kind); }
    void ClearAccumulated() { m_done = 0; }

private:
    TAccumulator* m_accumulator;
    QString m_name;
    int m_number;
    quint8 m_kinds = 0;
    quint8 m_done = 0;
};

// An accumulated value of one kind: evaluating it reads its column in the accumulator's current
// row; Accumulate() adds the source's value for the current source row.
class TAccField : public TExprNode
{
public:
    // A node as the source (owned).
    TAccField(TAccumulator* accumulator, TAccKind kind, std::unique_ptr<TExprNode> node);
    // A field of a dataset as the source.
    TAccField(TAccumulator* accumulator, TAccKind kind, DataSet* dataSet, const QString& fieldName);

    TAccKind Kind() const { return m_kind; }
    TAccItem* Item() const { return m_item; }
    TExprNode* Node() const { return m_node.get(); }

    void SetContext(void* context) override;
    // The node's text, or the column's name.
    QString GetText() const override;
    Variant Evaluate() override;

    // Takes the source's value (the field's through OnGetFieldValue when assigned, or the node's;
    // Null counts as 0) into the accumulator's current row, which is being edited: SUM and AVG
    // add it, MIN and MAX keep it on the first row (FirstRow) and else the smaller or larger.
    // A kind is taken once per item and row.
    void Accumulate();

private:
    TAccumulator* m_accumulator;
    TAccKind m_kind;
    TAccItem* m_item;
    std::unique_ptr<TExprNode> m_node;
    QPointer<DataSet> m_dataSet;
    QString m_fieldName;
};

class TKeyStorage;

// An aggregate: its value argument, an optional level argument and, with key expressions, a key
// storage of the accumulator.
class TAccFunc : public TExprNode
{
public:
    // Takes its arguments out of the list. SUM, AVG, MIN and MAX without an argument raise
    // message 12.
    TAccFunc(TAccumulator* accumulator, quint8 aggregate, TExprNodeList& args);

    quint8 Aggregate() const { return m_aggregate; }
    TKeyStorage* KeyStorage() const { return m_keyStorage; }
    TExprNode* ValueArgument() const { return m_value.get(); }

    // The value argument keeps this node as its context.
    void SetContext(void* context) override;
    QString GetText() const override;
    // On the row the level argument chooses (1: the grand total, -n: the group n levels up, else
    // the current row): SUM, MIN and MAX the value argument, AVG the value argument divided by
    // the row count (0 for no rows), COUNT the row count; 0 when that row does not exist. The
    // accumulator's position is kept: another row is not read while the current one is edited
    // (an aggregate of another level accumulated into the current row raises a clear error).
    Variant Evaluate() override;

private:
    TAccumulator* m_accumulator;
    quint8 m_aggregate;
    std::unique_ptr<TExprNode> m_value;
    std::unique_ptr<TExprNode> m_level;
    TKeyStorage* m_keyStorage = nullptr;
    // Arguments not used (COUNT's after the first, key expressions a storage already had): kept,
    // since the expression's field-node list points at the fields among them.
    TExprNodeList m_unused;
};

// A user function: 0 unless the report's OnGetFunctionValue sets the value for (dataset, name,
// parameter text).
class TUserFuncNode : public TExprNode
{
public:
    TUserFuncNode(TRptExpr* owner, const QString& name, const QString& params);
    const QString& FunctionName() const { return m_name; }
    const QString& Params() const { return m_params; }
    // The parsed arguments the function node callback left in the list: they stay with the node,
    // since the expression's field-node list points at the fields among them.
    TExprNodeList& Arguments() { return m_args; }
    QString GetText() const override;
    // The function's value (Calculate). The virtual-field values the report keeps go afterwards
    // (TRptGen::TEvaluation): a function may read a changing state, or move a row.
    Variant Evaluate() final;

protected:
    TRptExpr* Owner() const { return m_owner; }
    // 0 unless the report's OnGetFunctionValue sets it; a node of the host's (OnGetFunctionNode)
    // works out its own value here.
    virtual Variant Calculate();

private:
    TRptExpr* m_owner;
    QString m_name;
    QString m_params;
    TExprNodeList m_args;
};

// Key expressions of aggregates and an in-memory table of their own.
class TKeyStorage
{
public:
    TKeyStorage();
    ~TKeyStorage();
    // Its key nodes' texts, joined.
    QString DisplayName() const;
    std::vector<std::unique_ptr<TExprNode>>& KeyNodes() { return m_keyNodes; }
    MemDataSet& Table() { return *m_table; }
    // Closes the table, clears its definitions and destroys the key nodes.
    void Clear();

private:
    std::vector<std::unique_ptr<TExprNode>> m_keyNodes;
    std::unique_ptr<MemDataSet> m_table;
};

class TKeyStorageList
{
public:
    // The storage whose display name is `name` (any case), or a new one.
    TKeyStorage* FindOrAdd(const QString& name);
    int Count() const { return int(m_items.size()); }
    TKeyStorage* Items(int i) const { return m_items.at(size_t(i)).get(); }
    void Clear() { m_items.clear(); }

private:
    std::vector<std::unique_ptr<TKeyStorage>> m_items;
};

class TAccumulator
{
public:
    // The report may be null (no virtual fields, handlers or ancestor links then).
    explicit TAccumulator(rgen::TRptGen* report);
    ~TAccumulator();
    TAccumulator(const TAccumulator&) = delete;
    TAccumulator& operator=(const TAccumulator&) = delete;

    rgen::TRptGen* Report() const { return m_report; }
    // The accumulator table.
    MemDataSet& Table() { return *m_table; }
    // The item of a source name (any case), made when missing.
    TAccItem* Item(const QString& sourceName);
    int ItemCount() const { return int(m_items.size()); }
    TAccItem* Items(int i) const { return m_items.at(size_t(i)).get(); }
    TKeyStorageList& KeyStorages() { return m_keyStorages; }

    // Left to the report pass: a counter (-2 at creation) and a flag.
    int Counter = -2;
    bool Flag = false;
    // Set by the pass while it accumulates the first source row into a group row.
    bool FirstRow = false;
    // The key field of the group rows; its value in the current row is where the level argument
    // of an aggregate starts from.
    QString KeyFieldName;

    // The current row's key, -1 when there is none.
    qint64 CurrentKey() const;
    // The current row has the key.
    bool OnKey(qint64 key) const;
    // Moves to the row with the key; false (staying put) when there is none.
    bool GotoKey(qint64 key);
    // The integer in the table's last column (the row count) of the current row.
    qint64 RowCount() const;
    // Position of the current row, and the way back to it (an invalid bookmark is ignored).
    Bookmark GetBookmark() const;
    void GotoBookmark(const Bookmark& bookmark);
    // Forgets, for every item, which kinds were taken for the current row.
    void ClearAccumulated();

    // The table open, with the named column: raises a clear error otherwise.
    Field& Column(const QString& name) const;

private:
    rgen::TRptGen* m_report;
    std::unique_ptr<MemDataSet> m_table;
    std::vector<std::unique_ptr<TAccItem>> m_items;
    TKeyStorageList m_keyStorages;
};

// A report expression: its text parsed on demand into a tree of the nodes above.
class TRptExpr
{
public:
    explicit TRptExpr(TAccumulator* accumulator);
    ~TRptExpr();
    TRptExpr(const TRptExpr&) = delete;
    TRptExpr& operator=(const TRptExpr&) = delete;

    TAccumulator* Accumulator() const { return m_accumulator; }
    rgen::TRptGen* Report() const;
    TExprParser& Parser() { return m_parser; }

    // Setting the text gives state esText (esEmpty when empty); the tree is built on demand.
    // Changing the text, the dataset or the functions of an expression of a report makes the
    // trees of the report's expressions that use virtual fields stale: they are built anew when
    // next wanted, so that none keeps the type or the levels a virtual field had.
    QString Text() const { return m_parser.Expression(); }
    void SetText(const QString& text);
    // The dataset whose field names the expression knows (upper-cased); a new one also ends the
    // invalid state.
    DataSet* GetDataSet() const { return m_dataSet; }
    void SetDataSet(DataSet* dataSet);
    // The user functions; raw: their arguments are taken as raw text.
    void SetFunctions(const QStringList& functions, const QStringList& rawFunctions);

    // Fields and virtual fields may appear only inside an argument list.
    bool Totals = false;
    // The report's list of used fields, when there is one.
    TUsedFieldList* UsedFields = nullptr;

    quint8 State() const { return m_state; }
    // Both 0 in state esEmpty; otherwise those of the tree, built when missing. A text that does
    // not parse raises its message and leaves the expression invalid (message 24 from then on)
    // until its text or its dataset changes.
    quint8 ResultType();
    int Size();
    // Null in state esEmpty, else the tree's value.
    Variant Evaluate();
    // The tree (built when missing); null when the text builds none. `depth`: the levels in use
    // where the tree is wanted, when an expression being parsed names this one's virtual field; a
    // tree that does not fit there raises message 28 and stays unbuilt, since it may fit where
    // less is around it.
    TExprNode* Root(int depth = 0);
    // Once the tree is built: the levels its text takes below where it is used.
    int Reached() const { return m_reached; }

    // The accumulated fields of the tree, and its field nodes with their usage flags.
    const std::vector<TAccField*>& AccFields() const { return m_accFields; }
    int FieldNodeCount() const { return int(m_fieldNodes.size()); }
    TFieldNode* FieldNodes(int i) const { return m_fieldNodes.at(size_t(i)).node; }
    int FieldNodeFlags(int i) const { return m_fieldNodes.at(size_t(i)).flags; }

private:
    struct FieldNodeEntry
    {
        TFieldNode* node;
        int flags;
    };

    void reset(quint8 state);
    // A change to the text, the dataset or the functions.
    void changed(quint8 state);
    bool stale() const;
    void wire(TExprParser& parser);
    bool insideAggregate(const TExprParser& parser) const;
    bool firstArgument(const TExprParser& parser) const
    {
        return insideAggregate(parser) && parser.ArgIndex() == 0;
    }
    std::unique_ptr<TExprNode> accumulated(std::unique_ptr<TExprNode> node);
    void useField(const QString& name, int flags);

    void onString(TExprParser& p, const QString& text, std::unique_ptr<TExprNode>& node);
    void onNumber(TExprParser& p, const QString& text, std::unique_ptr<TExprNode>& node);
    void onField(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node);
    void onVirtualField(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node);
    void onAggregate(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node);
    void onFunction(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node);
    void onMacro(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node);

    TAccumulator* m_accumulator;
    TExprParser m_parser;
    std::unique_ptr<TExprNode> m_root;
    bool m_parsed = false;
    int m_reached = 0;
    // The tree names a virtual field; the report's count of expression changes when it was built.
    bool m_usesVirtualFields = false;
    quint64 m_changes = 0;
    QPointer<DataSet> m_dataSet;
    std::vector<TAccField*> m_accFields;
    std::vector<FieldNodeEntry> m_fieldNodes;
    TAccKind m_kind = akSum;
    quint8 m_aggregate = aiSum;
    quint8 m_state = esEmpty;
};

// The number of a number literal: read with the regional decimal separator; failing that, with
// the other separator ("." or ",") replaced by it; 0 when neither reads.
double ReportNumber(const QString& text);
