// Fuzz target: any text as a report expression over a small source dataset, with virtual fields
// (one pair of them reaching each other, and a chain of them as deep as an expression may be),
// user functions, macros (one naming itself) and group links, parsed, accumulated over the rows as
// a report pass would, and evaluated on every row. It must end in a value or in the engine's
// errors: EParseException with one of its messages, the general exception of a circular virtual
// field or of a field it cannot read, or EConvertError for a value that is no number. Run with a
// time limit, for example -max_total_time=600 -timeout=10 -max_len=4096.
#include <reports/rconst.h>
#include <reports/rgen.h>

#include <platform/codepage.h>
#include <support/fuzz_support.h>

#include <QSet>

#include <cstdint>

using namespace rgen;

namespace {

void fillSource(MemDataSet& source)
{
    source.fieldDefs().add(QStringLiteral("X"), FieldType::Float);
    source.fieldDefs().add(QStringLiteral("Y"), FieldType::Integer);
    source.fieldDefs().add(QStringLiteral("S"), FieldType::String, 10);
    source.fieldDefs().add(QStringLiteral("B"), FieldType::Boolean);
    source.createDataSet();
    source.appendRecord({1.5, 1, QStringLiteral("un"), true});
    source.appendRecord({Variant::null(), 1, Variant::null(), false});
    source.appendRecord({-2.0, 2, QStringLiteral("deux")});
    source.appendRecord({4.0, 5, QStringLiteral("5")});
}

void configure(TRptGen& report, MemDataSet& source, MemDataSet& keys)
{
    report.SetSourceDataSet(&source);
    report.SetUserFunction({QStringLiteral("F"), QStringLiteral("SUMX")});
    report.SetUserFunction2({QStringLiteral("G")});
    const char* const fields[][2] = {
        {"V1", "1 + 2"},   {"V2", "[V1] * 2"}, {"V3", "'abc' + 'd'"}, {"V4", "SUM(3) + COUNT()"},
        {"V5", "F(x, 1)"}, {"V6", "[V7] + 1"}, {"W", "[V6] - 1"},
    };
    for (const auto& [name, expression] : fields) {
        TVirtualField* field = report.VirtualFields().Add();
        field->SetDisplayName(QLatin1String(name));
        field->SetExpression(QLatin1String(expression));
    }
    // Renamed, W is V7: V6 and V7 reach each other.
    report.VirtualFields()[6]->SetDisplayName(QStringLiteral("V7"));
    // A chain C0 ... C257 ("[C<i+1>]+1", the last "1"): C0 is too deep on its own, C1 just fits.
    constexpr int links = 257;
    for (int i = links; i >= 0; --i) {
        TVirtualField* field = report.VirtualFields().Add();
        field->SetDisplayName(QStringLiteral("C%1").arg(i));
        field->SetExpression(i == links ? QStringLiteral("1")
                                        : QStringLiteral("[C%1]+1").arg(i + 1));
    }
    report.OnGetMacroValue = [](const QString& name, QString& value) {
        static const QHash<QString, QString> macros = {
            {QStringLiteral("M"), QStringLiteral("X + 1")},
            {QStringLiteral("S"), QStringLiteral("%S%")},
            {QStringLiteral("A"), QStringLiteral("SUM(X)")},
            {QStringLiteral("P"), QStringLiteral("(")},
            {QStringLiteral("T"), QStringLiteral("S + 'x'")},
            {QStringLiteral("L"), QStringLiteral("-1")},
        };
        value = macros.value(name.toUpper());
    };
    report.OnGetFunctionValue = [](DataSet*, const QString&, const QString& params, double& value) {
        value = double(params.size());
    };
    report.OnGetFieldValue = [](DataSet&, Field&, Variant&) {};
    keys.fieldDefs().add(QStringLiteral("KEY"), FieldType::Integer);
    keys.fieldDefs().add(QStringLiteral("PARENT"), FieldType::Integer);
    keys.createDataSet();
    for (const auto& [key, parent] : {std::pair{1, 10}, {2, 10}, {10, -1}, {5, 6}, {6, 5}})
        keys.appendRecord({key, parent});
    report.KeyDataSet = &keys;
}

// Empty when the error is one the engine may give; otherwise what went wrong.
QString unexpected(const std::exception& e)
{
    static const QSet<int> ids = {12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 28};
    if (const auto* parse = dynamic_cast<const EParseException*>(&e)) {
        if (!ids.contains(parse->MessageId()) || parse->message().isEmpty())
            return QStringLiteral("message %1: %2").arg(parse->MessageId()).arg(parse->message());
        return QString();
    }
    if (dynamic_cast<const EConvertError*>(&e))
        return QString();
    if (const auto* ex = dynamic_cast<const Exception*>(&e)) {
        if (QLatin1String(ex->className()) == QLatin1String("Exception"))
            return QString();
        return QStringLiteral("%1: %2").arg(QLatin1String(ex->className()), ex->message());
    }
    return QStringLiteral("std::exception: ") + QString::fromLocal8Bit(e.what());
}

// Feeds every source row to its group row (Y), the rows above it and the grand total (-1).
void accumulate(TRptGen& report, MemDataSet& source, TRptExpr& expr)
{
    TAccumulator& acc = report.Accumulator();
    MemDataSet& table = acc.Table();
    table.fieldDefs().add(QStringLiteral("KEY"), FieldType::Integer);
    table.fieldDefs().add(QStringLiteral("N"), FieldType::Integer);
    acc.KeyFieldName = QStringLiteral("KEY");
    table.createDataSet();
    for (source.first(); !source.eof(); source.next()) {
        const qint64 group = source.fieldByName(QStringLiteral("Y"))->asInteger();
        QList<qint64> rows{group};
        for (qint64 key = report.AncestorKey(group, -1); key != -1 && !rows.contains(key);
             key = report.AncestorKey(key, -1))
            rows << key;
        if (!rows.contains(-1))
            rows << -1;
        for (qint64 key : rows) {
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
            try {
                for (TAccField* field : expr.AccFields())
                    field->Accumulate();
            } catch (...) {
                table.cancel();
                throw;
            }
            Field* n = table.fieldByName(QStringLiteral("N"));
            n->setAsInteger(n->asInteger() + 1);
            table.post();
        }
    }
    for (int i = 0; i < expr.FieldNodeCount(); ++i) {
        if (!expr.FieldNodes(i)->Bound())
            expr.FieldNodes(i)->Bind(&source);
    }
}

QString faultOf(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return QString();
    const quint8 flags = data[0];
    const codepage::CodePage cp = flags & 2 ? codepage::Cp1251 : codepage::Cp1252;
    codepage::setCurrent(cp);
    const QString text =
        codepage::decode(QByteArray(reinterpret_cast<const char*>(data + 1),
                                    qsizetype(std::min<std::size_t>(size - 1, 4096))),
                         cp);

    MemDataSet source;
    MemDataSet keys;
    TRptGen report;
    fillSource(source);
    configure(report, source, keys);
    TRptExpr expr(&report.Accumulator());
    expr.SetFunctions(report.UserFunction(), report.UserFunction2());
    expr.SetDataSet(&source);
    expr.Totals = flags & 1;
    expr.UsedFields = &report.UsedFields();
    expr.SetText(text);

    try {
        expr.Root();
    } catch (const std::exception& e) {
        if (QString fault = unexpected(e); !fault.isEmpty())
            return QStringLiteral("parse: ") + fault;
        if (!text.isEmpty() && expr.State() != esInvalid)
            return QStringLiteral("a failed parse left state %1").arg(expr.State());
        try {
            expr.Evaluate();
        } catch (const EParseException& again) {
            if (again.MessageId() == 24)
                return QString();
        }
        return QStringLiteral("an invalid expression did not give message 24");
    }
    if (expr.ResultType() > rtBoolean)
        return QStringLiteral("result type %1").arg(expr.ResultType());
    if (expr.Root())
        expr.Root()->GetText();

    try {
        accumulate(report, source, expr);
    } catch (const std::exception& e) {
        if (QString fault = unexpected(e); !fault.isEmpty())
            return QStringLiteral("accumulate: ") + fault;
        return QString();
    }
    MemDataSet& table = report.Accumulator().Table();
    for (source.first(); !source.eof(); source.next()) {
        for (table.first(); !table.eof(); table.next()) {
            const Bookmark here = table.bookmark();
            try {
                expr.Evaluate();
            } catch (const std::exception& e) {
                if (QString fault = unexpected(e); !fault.isEmpty())
                    return QStringLiteral("evaluate: ") + fault;
            }
            if (table.bookmark() != here)
                return QStringLiteral("an aggregate left the accumulator elsewhere");
        }
    }
    return QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString fault = faultOf(data, size);
    if (!fault.isEmpty())
        fuzz::fail("exprparser", fault);
    return 0;
}
