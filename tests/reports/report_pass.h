// What the report pass would do with the accumulator, done by hand for the tests: a source
// dataset in groups, and the group rows fed per source row, each with its parent rows and the
// grand total's row (key -1).
#pragma once

#include <reports/rgen.h>

#include <QMap>

#include <gtest/gtest.h>

namespace reporttest {

// The tests name the report model's classes as the report engine does.
using namespace rgen;

// Source rows: GRP (integer), X (float, Null allowed), S (string 10), B (Boolean).
inline void fillSource(MemDataSet& source, const QList<VariantList>& rows)
{
    source.fieldDefs().add(QStringLiteral("GRP"), FieldType::Integer);
    source.fieldDefs().add(QStringLiteral("X"), FieldType::Float);
    source.fieldDefs().add(QStringLiteral("S"), FieldType::String, 10);
    source.fieldDefs().add(QStringLiteral("B"), FieldType::Boolean);
    source.createDataSet();
    for (const VariantList& row : rows)
        source.appendRecord(row);
    source.first();
}

// The links between group rows (row key to the key above it), as the report's keyed dataset.
inline void fillKeys(MemDataSet& keys, const QMap<qint64, qint64>& parents)
{
    keys.fieldDefs().add(QStringLiteral("KEY"), FieldType::Integer);
    keys.fieldDefs().add(QStringLiteral("PARENT"), FieldType::Integer);
    keys.createDataSet();
    for (auto it = parents.begin(); it != parents.end(); ++it)
        keys.appendRecord({it.key(), it.value()});
}

// Parses the expressions (their columns join the closed table), adds the key column and, last,
// the row count, opens the table and feeds every source row to the row of its group (the
// source's GRP), to the rows above it by `parents`, and to the grand total.
inline void runPass(TRptGen& report, MemDataSet& source, const QList<TRptExpr*>& expressions,
                    const QMap<qint64, qint64>& parents = {})
{
    TAccumulator& acc = report.Accumulator();
    for (TRptExpr* e : expressions)
        e->Root();
    MemDataSet& table = acc.Table();
    table.fieldDefs().add(QStringLiteral("KEY"), FieldType::Integer);
    table.fieldDefs().add(QStringLiteral("N"), FieldType::Integer);
    acc.KeyFieldName = QStringLiteral("KEY");
    table.createDataSet();
    for (source.first(); !source.eof(); source.next()) {
        QList<qint64> keys{source.fieldByName(QStringLiteral("GRP"))->asInteger()};
        while (parents.contains(keys.last()) && parents.value(keys.last()) != -1)
            keys << parents.value(keys.last());
        keys << -1;
        for (qint64 key : keys) {
            if (table.locate(QStringLiteral("KEY"), Variant(key))) {
                table.edit();
                acc.FirstRow = false;
            } else {
                table.append();
                table.fieldByName(QStringLiteral("KEY"))->setAsInteger(key);
                table.fieldByName(QStringLiteral("N"))->setAsInteger(0);
                acc.FirstRow = true;
            }
            acc.ClearAccumulated();
            for (TRptExpr* e : expressions) {
                for (TAccField* field : e->AccFields())
                    field->Accumulate();
            }
            Field* n = table.fieldByName(QStringLiteral("N"));
            n->setAsInteger(n->asInteger() + 1);
            table.post();
        }
    }
    for (TRptExpr* e : expressions) {
        for (int i = 0; i < e->FieldNodeCount(); ++i) {
            if (!e->FieldNodes(i)->Bound())
                e->FieldNodes(i)->Bind(&source);
        }
    }
}

} // namespace reporttest
