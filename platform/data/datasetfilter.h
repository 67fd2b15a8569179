// The filter text of a dataset, parsed once when it is set and evaluated against every record
// under test (see DataSet::setFilter for what a text may say).
#pragma once

#include <platform/variant.h>

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class DataSet;

// One node of a parsed filter text. AND and OR keep their operands in one list, so that a long run
// of them does not make the tree deep; only parentheses and NOT nest, and no deeper than MaxDepth.
struct FilterExpr
{
    // A text whose parentheses and NOTs nest deeper is refused: parsing and evaluating recurse
    // once per level.
    static constexpr int MaxDepth = 256;

    enum class Kind { And, Or, Not, Compare, IsTrue, Constant };
    enum class Cmp { Eq, Ne, Lt, Gt, Le, Ge };
    struct Operand
    {
        bool isField = false;
        QString name;
        Variant literal; // Null for NULL
    };

    Kind kind = Kind::Constant;
    std::vector<std::unique_ptr<FilterExpr>> operands; // And, Or: in order; Not: the one negated
    Cmp cmp = Cmp::Eq;                                 // Compare: a cmp b
    Operand a, b;                                      // IsTrue: a, a boolean field
    bool constant = true;

    // Raises EDBEditError when the text does not parse or nests deeper than MaxDepth.
    static std::unique_ptr<FilterExpr> parse(const QString& text);
    // Whether the record accepts the expression; `buffer` holds its values by field slot. A name
    // that is no field of the dataset raises EDBEditError.
    bool evaluate(const DataSet& ds, const QList<Variant>& buffer, bool caseInsensitive) const;

private:
    bool compare(const DataSet& ds, const QList<Variant>& buffer, bool caseInsensitive) const;
};
