// Report expressions: the nodes that read fields, virtual fields, user functions and accumulated
// values, the accumulator, and the parser callbacks that build those nodes.
#include "accum.h"

#include "rconst.h"
#include "repproc.h"
#include "rgen.h"

#include <platform/codepage.h>
#include <platform/regional.h>

#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <optional>

using rgen::TRptGen;
using rgen::TVirtualFieldInfo;

namespace {

const char* const AggregateNames[] = {"SUM", "AVG", "MIN", "MAX", "COUNT"};
const char* const KindSuffixes[] = {"SUM", "AVG", "MIN", "MAX"};

double asNumber(const Variant& v)
{
    return v.isNull() ? 0.0 : v.toDouble();
}

QString columnName(int number, TAccKind kind)
{
    return QString::number(number) + QLatin1String(KindSuffixes[kind]);
}

} // namespace

QString AggregateName(quint8 index)
{
    return index < std::size(AggregateNames) ? QLatin1String(AggregateNames[index]) : QString();
}

double ReportNumber(const QString& text)
{
    const FormatSettings& fs = regional();
    double value = 0;
    if (TryStrToFloat(text, value, fs))
        return value;
    const QChar separator = fs.decimalSeparator;
    const QChar other = separator == QLatin1Char('.') ? QLatin1Char(',') : QLatin1Char('.');
    if (text.contains(other)) {
        QString t = text;
        t.replace(other, separator);
        if (TryStrToFloat(t, value, fs))
            return value;
    }
    return 0;
}

// ---- Field and virtual-field nodes

TFieldNode::TFieldNode(TRptExpr* owner, const QString& fieldName)
    : m_owner(owner), m_name(fieldName)
{
}

void TFieldNode::Bind(DataSet* dataSet)
{
    if (!dataSet)
        throw Exception(QStringLiteral("Le champ « %1 » n'a pas de jeu de données").arg(m_name));
    FieldType type = FieldType::Unknown;
    int size = 0;
    if (const Field* field = dataSet->findField(m_name)) {
        m_name = field->fieldName();
        type = field->dataType();
        size = field->size();
    } else if (const FieldDef* def = dataSet->fieldDefs().find(m_name)) {
        m_name = def->name;
        type = def->type;
        size = def->size;
    } else {
        throw Exception(QStringLiteral("Champ « %1 » introuvable").arg(m_name));
    }
    ResultType = isTextType(type) ? rtString : type == FieldType::Boolean ? rtBoolean : rtNumber;
    Size = ResultType == rtString ? size + 1 : 0;
    m_dataSet = dataSet;
}

Variant TFieldNode::Evaluate()
{
    if (!m_dataSet)
        throw Exception(
            QStringLiteral("Le champ « %1 » n'est lié à aucun jeu de données").arg(m_name));
    Field* field = m_dataSet->findField(m_name);
    if (!field)
        throw Exception(QStringLiteral("Champ « %1 » introuvable").arg(m_name));
    Variant value = field->value();
    const TRptGen* report = m_owner->Report();
    if (report && report->OnGetFieldValue && report->SourceDataSet() == m_dataSet)
        report->OnGetFieldValue(*m_dataSet, *field, value);
    return value;
}

TVFieldNode::TVFieldNode(const QString& displayName, quint8 resultType, int size, int levels,
                         TVFieldMethod method)
    : m_name(displayName), m_method(std::move(method))
{
    ResultType = resultType;
    Size = size;
    setLevels(levels);
}

// ---- Accumulated values

// A number in the value argument of an aggregate is added once per row, like any other term:
// SUM(X+5) is SUM(X) + 5 x COUNT, and MIN(X+5) is MIN(X) + 5 x COUNT as well. Aggregates apply
// term by term on purpose; reports written for the engine count on it.
TAccConst::TAccConst(TAccumulator* accumulator, double value)
    : m_accumulator(accumulator), m_value(value)
{
}

QString TAccConst::GetText() const
{
    return FloatToStr(m_value);
}

Variant TAccConst::Evaluate()
{
    return m_value * double(m_accumulator->RowCount());
}

TAccItem::TAccItem(TAccumulator* accumulator, const QString& sourceName)
    : m_accumulator(accumulator), m_name(codepage::upper(sourceName)), m_number(AccItemCounter++)
{
}

QString TAccItem::Column(TAccKind kind)
{
    const QString name = columnName(m_number, kind);
    if (!HasKind(kind)) {
        MemDataSet& table = m_accumulator->Table();
        if (table.isActive())
            throw Exception(
                QStringLiteral("Le tableau des cumuls est ouvert : la colonne %1 ne peut plus "
                               "y être ajoutée")
                    .arg(name));
        table.fieldDefs().add(name, FieldType::Float);
        m_kinds |= quint8(1u << kind);
    }
    return name;
}

TAccField::TAccField(TAccumulator* accumulator, TAccKind kind, std::unique_ptr<TExprNode> node)
    : m_accumulator(accumulator), m_kind(kind), m_node(std::move(node))
{
    m_item = accumulator->Item(m_node->GetText());
    m_item->Column(kind);
}

TAccField::TAccField(TAccumulator* accumulator, TAccKind kind, DataSet* dataSet,
                     const QString& fieldName)
    : m_accumulator(accumulator), m_kind(kind), m_dataSet(dataSet), m_fieldName(fieldName)
{
    m_item = accumulator->Item(fieldName);
    m_item->Column(kind);
}

void TAccField::SetContext(void* context)
{
    TExprNode::SetContext(context);
    if (m_node)
        m_node->SetContext(context);
}

QString TAccField::GetText() const
{
    return m_node ? m_node->GetText() : columnName(m_item->Number(), m_kind);
}

Variant TAccField::Evaluate()
{
    return asNumber(m_accumulator->Column(columnName(m_item->Number(), m_kind)).value());
}

void TAccField::Accumulate()
{
    if (m_item->Accumulated(m_kind))
        return;
    Variant source;
    if (m_node) {
        source = m_node->Evaluate();
    } else {
        if (!m_dataSet)
            throw Exception(
                QStringLiteral("Le champ « %1 » n'a pas de jeu de données").arg(m_fieldName));
        Field* field = m_dataSet->findField(m_fieldName);
        if (!field)
            throw Exception(QStringLiteral("Champ « %1 » introuvable").arg(m_fieldName));
        source = field->value();
        const TRptGen* report = m_accumulator->Report();
        if (report && report->OnGetFieldValue)
            report->OnGetFieldValue(*m_dataSet, *field, source);
    }
    const double value = asNumber(source);
    Field& column = m_accumulator->Column(columnName(m_item->Number(), m_kind));
    switch (m_kind) {
    case akSum:
    case akAvg:
        column.setAsFloat(asNumber(column.value()) + value);
        break;
    case akMin:
        column.setAsFloat(m_accumulator->FirstRow ? value
                                                  : std::min(asNumber(column.value()), value));
        break;
    case akMax:
        column.setAsFloat(m_accumulator->FirstRow ? value
                                                  : std::max(asNumber(column.value()), value));
        break;
    }
    m_item->SetAccumulated(m_kind);
    // The totals a virtual field reads have advanced.
    if (TRptGen* report = m_accumulator->Report())
        report->ValuesChanged();
}

TAccFunc::TAccFunc(TAccumulator* accumulator, quint8 aggregate, TExprNodeList& args)
    : m_accumulator(accumulator), m_aggregate(aggregate)
{
    if (aggregate == aiCount) {
        if (args.Count() > 0)
            m_level = args.Take(0);
        m_unused.TakeRest(args);
        return;
    }
    if (args.Count() == 0)
        throw EParseException(RptMsg::EmptyAggregate);
    m_value = args.Take(0);
    if (args.Count() > 1)
        m_level = args.Take(1);
    if (args.Count() > 2) {
        std::vector<std::unique_ptr<TExprNode>> keys;
        QString lookup = AggregateName(aggregate) + m_value->GetText();
        for (int i = 2; i < args.Count(); ++i) {
            keys.push_back(args.Take(i));
            lookup += keys.back()->GetText();
        }
        m_keyStorage = accumulator->KeyStorages().FindOrAdd(lookup);
        // A storage that has its keys keeps them; these are not used.
        if (m_keyStorage->KeyNodes().empty()) {
            m_keyStorage->KeyNodes() = std::move(keys);
        } else {
            for (auto& key : keys)
                m_unused.Add(std::move(key));
        }
    }
    m_value->SetContext(this);
}

void TAccFunc::SetContext(void* context)
{
    TExprNode::SetContext(context);
    if (m_level)
        m_level->SetContext(context);
}

QString TAccFunc::GetText() const
{
    return AggregateName(m_aggregate) + QLatin1Char('(') +
           (m_value ? m_value->GetText() : QString()) + QLatin1Char(')');
}

Variant TAccFunc::Evaluate()
{
    m_accumulator->Column(QString()); // raises when the table is closed
    // The row the level argument asks for, when another than the current one.
    std::optional<qint64> target;
    if (m_level) {
        const double level = asNumber(m_level->Evaluate());
        const qint64 n =
            std::isnan(level) ? 0 : qint64(std::nearbyint(std::clamp(level, -1e9, 1e9)));
        if (n == 1) {
            target = -1;
        } else if (n < 0) {
            const TRptGen* report = m_accumulator->Report();
            target = report ? report->AncestorKey(m_accumulator->CurrentKey(), n) : -1;
        }
        if (target && m_accumulator->OnKey(*target))
            target.reset();
    }
    Bookmark saved;
    const auto restore = qScopeGuard([&] {
        if (target)
            m_accumulator->GotoBookmark(saved);
    });
    if (target) {
        // Moving away would end the edit of the row being accumulated, and the values taken
        // since would land on another row.
        const DataSet::State state = m_accumulator->Table().state();
        if (state == DataSet::State::Edit || state == DataSet::State::Insert)
            throw Exception(QStringLiteral("Le cumul d'un autre niveau ne peut pas être lu pendant "
                                           "que les cumuls de la ligne sont calculés"));
        saved = m_accumulator->GetBookmark();
        if (!m_accumulator->GotoKey(*target))
            return 0.0;
    }
    switch (m_aggregate) {
    case aiCount:
        return double(m_accumulator->RowCount());
    case aiAvg: {
        const double sum = asNumber(m_value->Evaluate());
        const qint64 count = m_accumulator->RowCount();
        return count == 0 ? 0.0 : sum / double(count);
    }
    default:
        return asNumber(m_value->Evaluate());
    }
}

TUserFuncNode::TUserFuncNode(TRptExpr* owner, const QString& name, const QString& params)
    : m_owner(owner), m_name(name), m_params(params)
{
}

QString TUserFuncNode::GetText() const
{
    return m_name + QLatin1Char('(') + m_params + QLatin1Char(')');
}

Variant TUserFuncNode::Evaluate()
{
    TRptGen* report = m_owner ? m_owner->Report() : nullptr;
    // Also when the function fails half-way.
    const auto changed = qScopeGuard([report] {
        if (report)
            report->ValuesChanged();
    });
    return Calculate();
}

Variant TUserFuncNode::Calculate()
{
    double value = 0;
    const TRptGen* report = m_owner ? m_owner->Report() : nullptr;
    if (report && report->OnGetFunctionValue)
        report->OnGetFunctionValue(m_owner->GetDataSet(), m_name, m_params, value);
    return value;
}

// ---- Key storages

TKeyStorage::TKeyStorage() : m_table(std::make_unique<MemDataSet>())
{
}

TKeyStorage::~TKeyStorage() = default;

QString TKeyStorage::DisplayName() const
{
    QString name;
    for (const auto& node : m_keyNodes)
        name += node->GetText();
    return name;
}

void TKeyStorage::Clear()
{
    m_table->close();
    m_table->fieldDefs().clear();
    m_table->indexDefs().clear();
    m_keyNodes.clear();
}

TKeyStorage* TKeyStorageList::FindOrAdd(const QString& name)
{
    for (const auto& storage : m_items) {
        if (codepage::sameText(storage->DisplayName(), name))
            return storage.get();
    }
    m_items.push_back(std::make_unique<TKeyStorage>());
    return m_items.back().get();
}

// ---- Accumulator

TAccumulator::TAccumulator(TRptGen* report)
    : m_report(report), m_table(std::make_unique<MemDataSet>())
{
}

TAccumulator::~TAccumulator() = default;

TAccItem* TAccumulator::Item(const QString& sourceName)
{
    const QString name = codepage::upper(sourceName);
    for (const auto& item : m_items) {
        if (item->Name() == name)
            return item.get();
    }
    m_items.push_back(std::make_unique<TAccItem>(this, sourceName));
    return m_items.back().get();
}

Field& TAccumulator::Column(const QString& name) const
{
    if (!m_table->isActive())
        throw Exception(QStringLiteral("Le tableau des cumuls n'est pas ouvert"));
    if (name.isEmpty()) {
        if (m_table->fieldCount() == 0)
            throw Exception(QStringLiteral("Le tableau des cumuls n'a pas de colonne"));
        return *m_table->field(m_table->fieldCount() - 1);
    }
    Field* field = m_table->findField(name);
    if (!field)
        throw Exception(QStringLiteral("Colonne %1 absente du tableau des cumuls").arg(name));
    return *field;
}

qint64 TAccumulator::CurrentKey() const
{
    if (KeyFieldName.isEmpty() || !m_table->isActive() || m_table->isEmpty())
        return -1;
    const Field* key = m_table->findField(KeyFieldName);
    if (!key || key->isNull())
        return -1;
    return key->asInteger();
}

bool TAccumulator::OnKey(qint64 key) const
{
    if (KeyFieldName.isEmpty() || !m_table->isActive() || m_table->isEmpty())
        return false;
    const Field* field = m_table->findField(KeyFieldName);
    return field && !field->isNull() && field->asInteger() == key;
}

bool TAccumulator::GotoKey(qint64 key)
{
    if (KeyFieldName.isEmpty() || !m_table->isActive())
        return false;
    return m_table->locate(KeyFieldName, Variant(key));
}

qint64 TAccumulator::RowCount() const
{
    const Field& count = Column(QString());
    return count.isNull() ? 0 : count.asInteger();
}

Bookmark TAccumulator::GetBookmark() const
{
    return m_table->isActive() ? m_table->bookmark() : Bookmark();
}

void TAccumulator::GotoBookmark(const Bookmark& bookmark)
{
    try {
        if (!bookmark.isNull() && m_table->isActive() && m_table->bookmarkValid(bookmark))
            m_table->gotoBookmark(bookmark);
    } catch (const Exception&) {
        // A row that cannot be returned to leaves the table where it is.
    }
}

void TAccumulator::ClearAccumulated()
{
    for (const auto& item : m_items)
        item->ClearAccumulated();
}

// ---- Report expressions

TRptExpr::TRptExpr(TAccumulator* accumulator) : m_accumulator(accumulator)
{
    wire(m_parser);
}

TRptExpr::~TRptExpr()
{
    reset(esEmpty);
}

TRptGen* TRptExpr::Report() const
{
    return m_accumulator ? m_accumulator->Report() : nullptr;
}

void TRptExpr::reset(quint8 state)
{
    m_accFields.clear();
    m_fieldNodes.clear();
    m_root.reset();
    m_parsed = false;
    m_usesVirtualFields = false;
    m_reached = 0;
    m_state = state;
}

void TRptExpr::changed(quint8 state)
{
    reset(state);
    if (TRptGen* report = Report())
        report->ExpressionChanged();
}

bool TRptExpr::stale() const
{
    const TRptGen* report = m_usesVirtualFields ? Report() : nullptr;
    return m_parsed && report && report->ExpressionChanges() != m_changes;
}

void TRptExpr::SetText(const QString& text)
{
    m_parser.SetExpression(text);
    changed(text.isEmpty() ? esEmpty : esText);
}

void TRptExpr::SetDataSet(DataSet* dataSet)
{
    // A dataset that has just gone reads as null already: its names must go all the same.
    if (dataSet == m_dataSet && (dataSet || m_parser.FieldNames().Count() == 0))
        return;
    m_dataSet = dataSet;
    TNameList& names = m_parser.FieldNames();
    names.Clear();
    if (dataSet) {
        QStringList fields = dataSet->fieldNames();
        if (fields.isEmpty()) {
            for (const FieldDef& def : dataSet->fieldDefs().list())
                fields.append(def.name);
        }
        for (const QString& name : fields)
            names.Add(codepage::upper(name));
    }
    changed(Text().isEmpty() ? esEmpty : esText);
}

void TRptExpr::SetFunctions(const QStringList& functions, const QStringList& rawFunctions)
{
    m_parser.SetFunctions(functions);
    m_parser.RawFunctionNames().Assign(rawFunctions);
    changed(Text().isEmpty() ? esEmpty : esText);
}

TExprNode* TRptExpr::Root(int depth)
{
    if (stale())
        reset(esText);
    if (m_state == esInvalid)
        throw EParseException(RptMsg::InvalidExpression);
    if (m_state == esEmpty)
        return nullptr;
    if (!m_parsed) {
        m_state = esText;
        m_kind = akSum;
        m_aggregate = aiSum;
        if (const TRptGen* report = Report())
            m_changes = report->ExpressionChanges();
        m_parser.SetBaseDepth(depth);
        const auto ownDepth = qScopeGuard([this] { m_parser.SetBaseDepth(0); });
        try {
            m_root = m_parser.Parse();
        } catch (const EParseException& e) {
            // Too deep where it is used is no fault of the text itself.
            reset(depth > 0 && e.MessageId() == RptMsg::TooDeep ? esText : esInvalid);
            throw;
        } catch (...) {
            reset(esInvalid);
            throw;
        }
        m_reached = m_parser.Reached();
        m_parsed = true;
        if (m_root)
            m_root->SetContext(m_accumulator);
    }
    return m_root.get();
}

quint8 TRptExpr::ResultType()
{
    if (m_state == esEmpty)
        return rtNumber;
    const TExprNode* root = Root();
    return root ? root->ResultType : quint8(rtNumber);
}

int TRptExpr::Size()
{
    if (m_state == esEmpty)
        return 0;
    const TExprNode* root = Root();
    return root ? root->Size : 0;
}

Variant TRptExpr::Evaluate()
{
    if (m_state == esEmpty)
        return Variant::null();
    const TRptGen::TEvaluation evaluation(Report());
    TExprNode* root = Root();
    return root ? root->Evaluate() : Variant::null();
}

void TRptExpr::wire(TExprParser& parser)
{
    auto bind = [this](void (TRptExpr::*callback)(TExprParser&, const QString&,
                                                  std::unique_ptr<TExprNode>&)) {
        return [this, callback](TExprParser& p, const QString& name,
                                std::unique_ptr<TExprNode>& node) {
            (this->*callback)(p, name, node);
        };
    };
    parser.OnString = bind(&TRptExpr::onString);
    parser.OnNumber = bind(&TRptExpr::onNumber);
    parser.OnField = bind(&TRptExpr::onField);
    parser.OnVirtualField = bind(&TRptExpr::onVirtualField);
    parser.OnAggregate = bind(&TRptExpr::onAggregate);
    parser.OnFunction = bind(&TRptExpr::onFunction);
    parser.OnMacro = bind(&TRptExpr::onMacro);
}

bool TRptExpr::insideAggregate(const TExprParser& parser) const
{
    return parser.InArgs() && m_aggregate < aiCount;
}

std::unique_ptr<TExprNode> TRptExpr::accumulated(std::unique_ptr<TExprNode> node)
{
    auto field = std::make_unique<TAccField>(m_accumulator, m_kind, std::move(node));
    m_accFields.push_back(field.get());
    return field;
}

void TRptExpr::useField(const QString& name, int flags)
{
    if (UsedFields)
        UsedFields->Add(name, flags);
}

void TRptExpr::onString(TExprParser& p, const QString& text, std::unique_ptr<TExprNode>& node)
{
    if (firstArgument(p))
        throw EParseException(RptMsg::UnknownName, {text});
    if (!p.CheckOnly)
        node = std::make_unique<TConstNode>(Variant(text));
}

void TRptExpr::onNumber(TExprParser& p, const QString& text, std::unique_ptr<TExprNode>& node)
{
    if (p.CheckOnly)
        return;
    const double value = ReportNumber(text);
    if (firstArgument(p))
        node = std::make_unique<TAccConst>(m_accumulator, value);
    else
        node = std::make_unique<TConstNode>(Variant(value));
}

void TRptExpr::onField(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node)
{
    QString spelled = name;
    if (m_dataSet) {
        if (const Field* field = m_dataSet->findField(name))
            spelled = field->fieldName();
        else if (const FieldDef* def = m_dataSet->fieldDefs().find(name))
            spelled = def->name;
    }
    int flags = 0;
    if (firstArgument(p)) {
        flags = ufAccumulated;
        if (!p.CheckOnly) {
            auto field = std::make_unique<TAccField>(m_accumulator, m_kind, m_dataSet, spelled);
            m_accFields.push_back(field.get());
            node = std::move(field);
        }
    } else {
        const bool later = insideAggregate(p);
        if (!later && Totals && !p.InArgs())
            throw EParseException(RptMsg::FieldOutside);
        flags = later ? ufLaterArgument : p.InArgs() ? ufInFunction : ufOutside;
        if (!p.CheckOnly) {
            auto field = std::make_unique<TFieldNode>(this, spelled);
            if (later || m_state == esText)
                field->Bind(m_dataSet);
            m_fieldNodes.push_back({field.get(), flags});
            node = std::move(field);
        }
    }
    useField(spelled, flags);
}

void TRptExpr::onVirtualField(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node)
{
    TRptGen* report = Report();
    // The field's text counts one level deeper than the name, as a macro's does.
    const TVirtualFieldInfo info =
        report ? report->FindVirtualField(name, p.Depth() + 1) : TVirtualFieldInfo();
    if (!info.Found)
        throw EParseException(RptMsg::UnknownName, {name});
    const bool first = firstArgument(p);
    if (!first && Totals && !p.InArgs())
        throw EParseException(RptMsg::FieldOutside);
    m_usesVirtualFields = true;
    p.Reach(1 + info.Reach);
    if (p.CheckOnly)
        return;
    auto field = std::make_unique<TVFieldNode>(info.DisplayName, info.ResultType, info.Size,
                                               info.Levels, info.Method);
    node = first ? accumulated(std::move(field)) : std::move(field);
}

void TRptExpr::onAggregate(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node)
{
    const QString upper = codepage::upper(name);
    quint8 index = 0;
    while (index < std::size(AggregateNames) && upper != QLatin1String(AggregateNames[index]))
        ++index;
    if (index == std::size(AggregateNames))
        throw EParseException(RptMsg::UnknownName, {name});
    if (index != aiCount && insideAggregate(p))
        throw EParseException(RptMsg::NestedAggregate);
    const quint8 saved = m_aggregate;
    m_aggregate = index;
    if (index < aiCount)
        m_kind = TAccKind(index);
    TExprNodeList args;
    p.ParseArgs(args);
    m_state = esAggregate;
    if (!p.CheckOnly)
        node = std::make_unique<TAccFunc>(m_accumulator, index, args);
    m_aggregate = saved;
}

void TRptExpr::onFunction(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node)
{
    const quint8 savedAggregate = m_aggregate;
    const quint8 savedState = m_state;
    m_state = esText;
    m_aggregate = aiFunction;
    QString params;
    p.GetRawParams(true, params);
    TExprNodeList args;
    if (p.RawFunctionNames().Contains(name))
        p.ParseRawArgs(args);
    else
        p.ParseArgs(args);
    m_aggregate = savedAggregate;
    if (m_state != esAggregate)
        m_state = savedState;

    std::unique_ptr<TUserFuncNode> function;
    TRptGen* report = Report();
    if (report && report->OnGetFunctionNode)
        report->OnGetFunctionNode(name, params, args, function);
    if (p.CheckOnly)
        return;
    if (!function)
        function = std::make_unique<TUserFuncNode>(this, name, params.trimmed());
    function->Arguments().TakeRest(args);
    if (firstArgument(p))
        node = accumulated(std::move(function));
    else
        node = std::move(function);
}

void TRptExpr::onMacro(TExprParser& p, const QString& name, std::unique_ptr<TExprNode>& node)
{
    TRptGen* report = Report();
    if (!report || !report->OnGetMacroValue)
        return;
    QString value;
    report->OnGetMacroValue(name, value);
    if (value.isEmpty())
        return;
    // The macro's text is parsed as part of this expression: the same names and callbacks, one
    // level deeper.
    TExprParser expansion;
    expansion.FieldNames() = p.FieldNames();
    expansion.FunctionNames() = p.FunctionNames();
    expansion.RawFunctionNames() = p.RawFunctionNames();
    expansion.AggregateNames() = p.AggregateNames();
    expansion.SetInArgs(p.InArgs());
    expansion.SetBaseDepth(p.Depth() + 1);
    expansion.CheckOnly = p.CheckOnly;
    wire(expansion);
    expansion.SetExpression(value);
    node = expansion.Parse();
    p.Reach(1 + expansion.Reached());
}
