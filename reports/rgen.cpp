// The report model: cell definitions, the collections and their items, virtual fields with their
// circular-reference check, and the report component.
#include "rgen.h"

#include "rconst.h"
#include "rfileit.h"

#include <platform/codepage.h>

#include <QSet>

namespace rgen {

const char* const RptSectionNames[6] = {"RepHEAD",   "RepDETAIL", "RepFOOTER",
                                        "RepGROUPS", "RepTOTAL",  "RepTITLE"};

void TCellDefinition::Assign(const TCellDefinition& source)
{
    Font = source.Font;
    Text = source.Text;
    VAlign = source.VAlign;
    HAlign = source.HAlign;
    Color = source.Color;
    Border = source.Border;
}

// ---- Collections

TRptCollectionItem::TRptCollectionItem(TRptCollectionBase* collection)
    : m_collection(collection), m_id(collection->m_nextId++)
{
}

TRptCollectionItem::~TRptCollectionItem() = default;

int TRptCollectionItem::Index() const
{
    return m_collection->IndexOf(this);
}

QString TRptCollectionItem::DisplayName() const
{
    return QLatin1String(ClassName());
}

TRptCollectionBase::~TRptCollectionBase()
{
    Clear();
}

int TRptCollectionBase::IndexOf(const TRptCollectionItem* item) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].get() == item)
            return int(i);
    }
    return -1;
}

TRptCollectionItem* TRptCollectionBase::FindItemID(int id) const
{
    for (const auto& item : m_items) {
        if (item->ID() == id)
            return item.get();
    }
    return nullptr;
}

void TRptCollectionBase::Delete(int index)
{
    std::unique_ptr<TRptCollectionItem> item = std::move(m_items.at(size_t(index)));
    m_items.erase(m_items.begin() + index);
    item.reset();
}

void TRptCollectionBase::Clear()
{
    while (!m_items.empty())
        Delete(int(m_items.size()) - 1);
}

// ---- Items

THeadItem::THeadItem(TRptCollectionBase* collection) : TRptCollectionItem(collection)
{
}

THeadItem::~THeadItem()
{
    TRptCollectionBase* items = Collection();
    for (int i = 0; i < items->Count(); ++i) {
        auto* item = static_cast<THeadItem*>(items->ItemAt(i));
        if (item != this && item->Master == ID())
            item->Master = Master;
    }
}

QString THeadItem::DisplayName() const
{
    return m_cell.Text.isEmpty() ? QLatin1String(ClassName()) + QString::number(ID()) : m_cell.Text;
}

TTotalDef::TTotalDef(TRptCollectionBase* collection) : TRptCollectionItem(collection)
{
    TRptGen* report = collection->Owner();
    m_expr = std::make_unique<TRptExpr>(report ? &report->Accumulator() : nullptr);
    m_expr->Totals = true;
    if (report) {
        m_expr->SetFunctions(report->UserFunction(), report->UserFunction2());
        m_expr->SetDataSet(report->SourceDataSet());
        m_expr->UsedFields = &report->UsedFields();
    }
}

TTotalDef::~TTotalDef() = default;

QString TTotalDef::DisplayName() const
{
    return FieldName.isEmpty() ? QLatin1String(ClassName()) : FieldName;
}

TTotalDefs::TTotalDefs(TRptGen* owner) : TRptCollection(owner), m_number(TotalDefsCounter++)
{
}

TGroupItem::TGroupItem(TRptCollectionBase* collection)
    : TRptCollectionItem(collection), m_totals(std::make_unique<TTotalDefs>(collection->Owner()))
{
}

TGroupItem::~TGroupItem() = default;

QString TGroupItem::DisplayName() const
{
    return QStringLiteral("G") + QString::number(ID());
}

QString TDetailItem::DisplayName() const
{
    return FieldName.isEmpty() ? QLatin1String(ClassName()) : FieldName;
}

TTitleItem::TTitleItem(TRptCollectionBase* collection) : TRptCollectionItem(collection)
{
    m_cell.Border = TBorderSet();
}

QString TTitleItem::DisplayName() const
{
    return m_cell.Text.isEmpty() ? QLatin1String(ClassName()) : m_cell.Text;
}

TFooterItem::TFooterItem(TRptCollectionBase* collection) : TRptCollectionItem(collection)
{
    m_cell.Border = TBorderSet();
}

QString TFooterItem::DisplayName() const
{
    switch (Kind) {
    case fkDate:
        return QStringLiteral("DATE");
    case fkTime:
        return QStringLiteral("TIME");
    case fkDateTime:
        return QStringLiteral("DATETIME");
    case fkPagenum:
        return QStringLiteral("PAGENUMBER");
    case fkText:
        break;
    }
    return m_cell.Text.isEmpty() ? QLatin1String(ClassName()) : m_cell.Text;
}

// ---- Virtual fields

// Marks the field while its type or value is worked out: reaching it again on the way is a
// circular reference, which would otherwise recurse without end.
class TVirtualField::Busy
{
public:
    explicit Busy(TVirtualField& field) : m_field(field)
    {
        if (field.m_busy)
            throw Exception(FormatRptMessage(RptMsg::CircularReference, {field.m_displayName}));
        field.m_busy = true;
    }
    ~Busy() { m_field.m_busy = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    TVirtualField& m_field;
};

TVirtualField::TVirtualField(TRptCollectionBase* collection) : TRptCollectionItem(collection)
{
    Expr();
}

TVirtualField::~TVirtualField() = default;

TRptExpr& TVirtualField::Expr()
{
    if (!m_expr) {
        TRptGen* report = Collection()->Owner();
        m_expr = std::make_unique<TRptExpr>(report ? &report->Accumulator() : nullptr);
        if (report) {
            m_expr->SetFunctions(report->UserFunction(), report->UserFunction2());
            m_expr->UsedFields = &report->UsedFields();
        }
        m_expr->SetText(m_expression);
    }
    return *m_expr;
}

void TVirtualField::SetExpression(const QString& text)
{
    if (text == m_expression)
        return;
    checkCircular(text);
    m_expression = text;
    Expr().SetText(text);
}

void TVirtualField::checkCircular(const QString& text) const
{
    // Each virtual field is walked at most once: a cycle among the others ends the walk.
    QSet<const TVirtualField*> visited;
    QStringList pending{text};
    const TRptCollectionBase* fields = Collection();
    while (!pending.isEmpty()) {
        const QString t = pending.takeLast();
        for (qsizetype i = 0; i < t.size(); ++i) {
            const QChar c = t.at(i);
            if (c != QLatin1Char('\'') && c != QLatin1Char('['))
                continue;
            const qsizetype close =
                t.indexOf(c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('\''), i + 1);
            if (close < 0)
                throw EParseException(RptMsg::UnclosedText);
            const QString name = t.mid(i + 1, close - i - 1).trimmed();
            i = close;
            if (c == QLatin1Char('\'') || name.isEmpty())
                continue;
            if (codepage::sameText(name, m_displayName))
                throw Exception(FormatRptMessage(RptMsg::CircularReference, {m_displayName}));
            for (int k = 0; k < fields->Count(); ++k) {
                const auto* other = static_cast<const TVirtualField*>(fields->ItemAt(k));
                if (codepage::sameText(other->m_displayName, name)) {
                    if (!visited.contains(other)) {
                        visited.insert(other);
                        pending.append(other->m_expression);
                    }
                    break;
                }
            }
        }
    }
}

quint8 TVirtualField::ResultType()
{
    const Busy busy(*this);
    return Expr().ResultType();
}

int TVirtualField::Size()
{
    const Busy busy(*this);
    return Expr().Size();
}

Variant TVirtualField::Value()
{
    const Busy busy(*this);
    return Expr().Evaluate();
}

QString TVirtualField::DisplayName() const
{
    return m_displayName.isEmpty() ? QLatin1String(ClassName()) : m_displayName;
}

// ---- The report

TRptGen::TRptGen(QObject* owner)
    : QObject(owner), m_accumulator(std::make_unique<TAccumulator>(this)),
      m_output(std::make_shared<TF1Iterator>()), m_headItems(std::make_unique<TRptHeader>(this)),
      m_groupItems(std::make_unique<TGroups>(this)),
      m_detailItems(std::make_unique<TDetailItems>(this)),
      m_titleItems(std::make_unique<TTitleItems>(this)),
      m_totals(std::make_unique<TTotalDefs>(this)),
      m_footerItems(std::make_unique<TFooterItems>(this)),
      m_virtualFields(std::make_unique<TVirtualFields>(this))
{
}

TRptGen::~TRptGen()
{
    QObject::disconnect(m_sourceGone);
    // The expressions go before the accumulator their nodes point into; the output object with
    // the rest.
    m_virtualFields.reset();
    m_footerItems.reset();
    m_totals.reset();
    m_titleItems.reset();
    m_detailItems.reset();
    m_groupItems.reset();
    m_headItems.reset();
    m_output.reset();
}

void TRptGen::forEachTotals(const std::function<void(TTotalDefs&)>& visit)
{
    visit(*m_totals);
    for (int i = 0; i < m_groupItems->Count(); ++i)
        visit(m_groupItems->Items(i)->Totals());
}

void TRptGen::SetSourceDataSet(DataSet* dataSet)
{
    QObject::disconnect(m_sourceGone);
    m_sourceDataSet = dataSet;
    if (dataSet)
        m_sourceGone =
            connect(dataSet, &QObject::destroyed, this, [this] { SetSourceDataSet(nullptr); });
    forEachTotals([dataSet](TTotalDefs& totals) {
        for (int i = 0; i < totals.Count(); ++i)
            totals.Items(i)->Expr().SetDataSet(dataSet);
    });
}

void TRptGen::SetUserFunction(const QStringList& names)
{
    m_userFunction = names;
    updateExpressions();
}

void TRptGen::SetUserFunction2(const QStringList& names)
{
    m_userFunction2 = names;
    updateExpressions();
}

void TRptGen::updateExpressions()
{
    forEachTotals([this](TTotalDefs& totals) {
        for (int i = 0; i < totals.Count(); ++i)
            totals.Items(i)->Expr().SetFunctions(m_userFunction, m_userFunction2);
    });
    for (int i = 0; i < m_virtualFields->Count(); ++i)
        m_virtualFields->Items(i)->Expr().SetFunctions(m_userFunction, m_userFunction2);
}

std::unique_ptr<TAbstractDSContainer> TRptGen::NewContainer() const
{
    std::unique_ptr<TAbstractDSContainer> container;
    if (m_paradoxTable)
        container = std::make_unique<TPDXContainer>();
    else
        container = std::make_unique<TClientDSContainer>();
    container->SetDatabasePath(DatabasePath);
    return container;
}

TVirtualFieldInfo TRptGen::FindVirtualField(const QString& name)
{
    TVirtualFieldInfo info;
    if (name.isEmpty())
        return info;
    for (int i = 0; i < m_virtualFields->Count(); ++i) {
        TVirtualField* field = m_virtualFields->Items(i);
        if (!codepage::sameText(field->GetDisplayName(), name))
            continue;
        info.ResultType = field->ResultType();
        info.Size = field->Size();
        info.DisplayName = field->GetDisplayName();
        info.Found = true;
        // The field is looked up again at each evaluation: it may have gone since.
        TVirtualFields* fields = m_virtualFields.get();
        const int id = field->ID();
        info.Method = [fields, id] {
            auto* f = static_cast<TVirtualField*>(fields->FindItemID(id));
            return f ? f->Value() : Variant::null();
        };
        return info;
    }
    return info;
}

qint64 TRptGen::AncestorKey(qint64 key, qint64 steps) const
{
    if (steps >= 0)
        return key;
    DataSet* keys = KeyDataSet;
    if (!keys || !keys->isActive() || keys->fieldCount() < 2)
        return -1;
    const QString keyField = keys->field(0)->fieldName();
    const Field* parent = keys->field(1);
    const Bookmark saved = keys->isEmpty() ? Bookmark() : keys->bookmark();
    auto restore = [&] {
        if (!saved.isNull() && keys->bookmarkValid(saved))
            keys->gotoBookmark(saved);
    };
    // The keys met so far: links that come back to one of them repeat from there.
    QList<qint64> path{key};
    for (qint64 remaining = -steps; remaining > 0;) {
        if (!keys->locate(keyField, Variant(key))) {
            restore();
            return -1;
        }
        key = parent->isNull() ? -1 : parent->asInteger();
        --remaining;
        const qsizetype seen = path.indexOf(key);
        if (seen >= 0) {
            key = path.at(seen + qsizetype(remaining % (path.size() - seen)));
            break;
        }
        path.append(key);
    }
    restore();
    return key;
}

} // namespace rgen
