// The report model: cell definitions, the collections and their items, virtual fields with their
// circular-reference check, and the report component.
#include "rgen.h"

#include "rconst.h"
#include "rfileit.h"

#include <platform/codepage.h>

#include <QSet>

#include <algorithm>

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

// Items are added at the end with rising IDs and never moved, so they stand in the order of their
// IDs and an item is found by halving: a virtual field is looked up at each of its uses.
std::vector<std::unique_ptr<TRptCollectionItem>>::const_iterator
TRptCollectionBase::findID(int id) const
{
    return std::lower_bound(
        m_items.begin(), m_items.end(), id,
        [](const std::unique_ptr<TRptCollectionItem>& item, int key) { return item->ID() < key; });
}

int TRptCollectionBase::IndexOf(const TRptCollectionItem* item) const
{
    if (!item)
        return -1;
    const auto found = findID(item->ID());
    return found != m_items.end() && found->get() == item ? int(found - m_items.begin()) : -1;
}

TRptCollectionItem* TRptCollectionBase::FindItemID(int id) const
{
    const auto found = findID(id);
    return found != m_items.end() && (*found)->ID() == id ? found->get() : nullptr;
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

TVirtualField::~TVirtualField()
{
    fields().rename(this, QString());
    fields().refer(this, {});
}

TVirtualFields& TVirtualField::fields() const
{
    return *static_cast<TVirtualFields*>(Collection());
}

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

void TVirtualField::SetDisplayName(const QString& name)
{
    m_displayName = name;
    fields().rename(this, codepage::upper(name));
}

void TVirtualField::SetExpression(const QString& text)
{
    if (text == m_expression)
        return;
    const QStringList references = checkCircular(text);
    m_expression = text;
    fields().refer(this, references);
    Expr().SetText(text);
}

namespace {

// The names a text refers to in brackets outside its string literals: trimmed, upper-cased, each
// once. The reading stops at a string or a bracket left open, which `unclosed` then tells.
QStringList referencesOf(const QString& text, bool& unclosed)
{
    QStringList names;
    unclosed = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\'') && c != QLatin1Char('['))
            continue;
        const qsizetype close =
            text.indexOf(c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('\''), i + 1);
        if (close < 0) {
            unclosed = true;
            break;
        }
        if (c == QLatin1Char('[')) {
            const QString name = codepage::upper(text.mid(i + 1, close - i - 1).trimmed());
            if (!name.isEmpty())
                names.append(name);
        }
        i = close;
    }
    names.sort();
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

} // namespace

QStringList TVirtualField::checkCircular(const QString& text) const
{
    bool unclosed = false;
    QStringList references = referencesOf(text, unclosed);
    // A reference to this field before the point where the text is left open is what is told.
    if (!m_nameKey.isEmpty() && fields().leadsTo(references, m_nameKey, this))
        throw Exception(FormatRptMessage(RptMsg::CircularReference, {m_displayName}));
    if (unclosed)
        throw EParseException(RptMsg::UnclosedText);
    return references;
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
    TRptGen* report = Collection()->Owner();
    const TRptGen::TEvaluation evaluation(report);
    if (report && m_valueGeneration == report->ValueGeneration())
        return m_value;
    const Busy busy(*this);
    const quint64 generation = report ? report->ValueGeneration() : 0;
    Variant value = Expr().Evaluate();
    // Kept only when nothing changed on the way: a value worked out through a user function may
    // differ at the next call.
    if (report && report->ValueGeneration() == generation) {
        m_value = value;
        m_valueGeneration = generation;
    }
    return value;
}

TVirtualFieldInfo TVirtualField::Describe(int depth)
{
    const Busy busy(*this);
    TRptExpr& expr = Expr();
    const TExprNode* root = expr.Root(depth);
    TVirtualFieldInfo info;
    info.Found = true;
    info.ResultType = expr.ResultType();
    info.Size = expr.Size();
    info.Levels = root ? root->Levels() : 0;
    info.Reach = expr.Reached();
    info.DisplayName = m_displayName;
    return info;
}

QString TVirtualField::DisplayName() const
{
    return m_displayName.isEmpty() ? QLatin1String(ClassName()) : m_displayName;
}

TVirtualFields::~TVirtualFields()
{
    Clear();
}

TVirtualField* TVirtualFields::Find(const QString& name) const
{
    return name.isEmpty() ? nullptr : findKey(codepage::upper(name));
}

TVirtualField* TVirtualFields::findKey(const QString& key) const
{
    const auto named = m_byName.constFind(key);
    return named == m_byName.cend() ? nullptr : named->first();
}

void TVirtualFields::rename(TVirtualField* field, const QString& key)
{
    if (field->m_nameKey == key)
        return;
    // A name that led to the field may now lead to another or nowhere, and the new name may lead
    // here instead of to a later field: the trees that name fields are built anew. A first name
    // that no other field has changes no tree.
    TRptGen* report = Owner();
    if (report && (!field->m_nameKey.isEmpty() || m_byName.contains(key)))
        report->ExpressionChanged();
    if (const auto named = m_byName.find(field->m_nameKey); named != m_byName.end()) {
        named->removeOne(field);
        if (named->isEmpty())
            m_byName.erase(named);
    }
    field->m_nameKey = key;
    if (key.isEmpty())
        return;
    // Items keep the order of their IDs.
    QList<TVirtualField*>& named = m_byName[key];
    named.insert(std::lower_bound(named.begin(), named.end(), field,
                                  [](const TVirtualField* a, const TVirtualField* b) {
                                      return a->ID() < b->ID();
                                  }),
                 field);
}

void TVirtualFields::refer(TVirtualField* field, const QStringList& references)
{
    for (const QString& name : std::as_const(field->m_references)) {
        if (const auto users = m_referrers.find(name); users != m_referrers.end()) {
            users->remove(field);
            if (users->isEmpty())
                m_referrers.erase(users);
        }
    }
    field->m_references = references;
    for (const QString& name : references)
        m_referrers[name].insert(field);
}

// Whether one of `names` is `key` or leads to it, a name leading to those in the expression of the
// first field of that name (`field`'s own left out: it is being replaced). The search goes from
// both ends in turns, a step each, and ends when either end has nothing more to follow, so it
// costs about what the smaller end holds: setting the fields of a long chain one after another,
// in either order, takes a step or two each.
bool TVirtualFields::leadsTo(const QStringList& names, const QString& key,
                             const TVirtualField* field) const
{
    // Most settings end here: nothing leads to the field yet, or the names lead nowhere.
    bool onward = false;
    for (const QString& name : names) {
        if (name == key)
            return true;
        const TVirtualField* next = findKey(name);
        onward = onward || (next && next != field && !next->m_references.isEmpty());
    }
    if (!onward || !m_referrers.contains(key))
        return false;

    QSet<QString> ahead;       // reached from `names`
    QSet<QString> behind{key}; // leading to `key`
    QStringList aheadQueue, behindQueue{key};
    const auto reach = [](QSet<QString>& seen, QStringList& queue, const QString& name) {
        if (!seen.contains(name)) {
            seen.insert(name);
            queue.append(name);
        }
    };
    for (const QString& name : names)
        reach(ahead, aheadQueue, name);
    for (qsizetype a = 0, b = 0; a < aheadQueue.size() && b < behindQueue.size();) {
        const TVirtualField* next = findKey(aheadQueue.at(a++));
        if (next && next != field) {
            for (const QString& name : next->m_references) {
                if (behind.contains(name))
                    return true;
                reach(ahead, aheadQueue, name);
            }
        }
        const auto users = m_referrers.constFind(behindQueue.at(b++));
        if (users == m_referrers.cend())
            continue;
        for (const TVirtualField* user : *users) {
            // A field whose name an earlier field has is never followed.
            if (user == field || findKey(user->m_nameKey) != user)
                continue;
            if (ahead.contains(user->m_nameKey))
                return true;
            reach(behind, behindQueue, user->m_nameKey);
        }
    }
    return false;
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

TVirtualFieldInfo TRptGen::FindVirtualField(const QString& name, int depth)
{
    TVirtualField* field = m_virtualFields->Find(name);
    if (!field)
        return TVirtualFieldInfo();
    TVirtualFieldInfo info = field->Describe(depth);
    // The field is looked up again at each evaluation: it may have gone since.
    TVirtualFields* fields = m_virtualFields.get();
    const int id = field->ID();
    info.Method = [fields, id] {
        auto* f = static_cast<TVirtualField*>(fields->FindItemID(id));
        return f ? f->Value() : Variant::null();
    };
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
