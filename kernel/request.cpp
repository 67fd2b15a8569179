// The request description: items and sections with their parameter parsing, the request's
// properties, finders and copy, the row limit and typed nulls the compiler writes, the choice of
// the application server, and the key condition of a cache field (BuildKeyWhere).
#include "request.h"

#include <kernel/compiler.h>
#include <kernel/dbaccess.h>
#include <kernel/metadata.h>
#include <platform/codepage.h>
#include <platform/db/sqlquery.h>

#include <typeinfo>

namespace {

// The position of the first "=" of a parameter as written (":A=B"), outside the quotes of a
// quoted name; -1 when there is none. A blank written there ends the name before it.
qsizetype unquotedEquals(QStringView occurrence)
{
    QChar quote;
    for (qsizetype i = 1; i < occurrence.size(); ++i) {
        const QChar c = occurrence.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('=')) {
            return i;
        }
    }
    return -1;
}

// Parses an item text into `params` (keeping the values of names that remain) and returns the
// text as it is stored: a parameter name holding "=" gets a blank before the "=".
QString parseItemText(const QString& text, Params& params)
{
    QString t = text;
    for (;;) {
        const ParsedSql parsed = parseSqlParams(t);
        bool fixed = false;
        for (qsizetype k = parsed.spans.size() - 1; k >= 0; --k) {
            const QString& name = parsed.names.at(parsed.occurrences.at(k));
            if (!name.contains(QLatin1Char('=')))
                continue;
            const auto [start, length] = parsed.spans.at(k);
            const qsizetype eq = unquotedEquals(QStringView(t).mid(start, length));
            if (eq > 0) {
                t.insert(start + eq, QLatin1Char(' '));
                fixed = true;
            }
        }
        if (!fixed) {
            Params rebuilt(parsed);
            rebuilt.assignValues(params);
            params = rebuilt;
            return t;
        }
    }
}

} // namespace

Params ParseRequestParams(const QString& text)
{
    return Params(parseSqlParams(text));
}

QString ReplaceParam(const QString& text, const QString& name, const QString& replacement)
{
    const ParsedSql parsed = parseSqlParams(text);
    QString out = text;
    for (qsizetype k = parsed.spans.size() - 1; k >= 0; --k) {
        if (codepage::sameText(parsed.names.at(parsed.occurrences.at(k)), name))
            out.replace(parsed.spans.at(k).first, parsed.spans.at(k).second, replacement);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Items

TRequestItem::TRequestItem(TRequestSection& section) : m_section(&section)
{
}

TRequestItem::~TRequestItem() = default;

TDBRequest& TRequestItem::Request() const
{
    return m_section->Request();
}

int TRequestItem::Index() const
{
    return m_section->IndexOf(this);
}

QString TRequestItem::DisplayName() const
{
    return m_text;
}

void TRequestItem::SetEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    Changed();
}

void TRequestItem::SetUnion(const QString& value)
{
    if (m_union == value)
        return;
    m_union = value;
    Changed();
}

void TRequestItem::SetText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    Changed();
}

void TRequestItem::Changed()
{
    m_section->Update();
}

namespace {

QString itemClassName(const TRequestItem& item)
{
    if (dynamic_cast<const TSelectItem*>(&item))
        return QStringLiteral("TSelectItem");
    if (dynamic_cast<const TFromItem*>(&item))
        return QStringLiteral("TFromItem");
    if (dynamic_cast<const TWhereItem*>(&item))
        return QStringLiteral("TWhereItem");
    if (dynamic_cast<const TOrderItem*>(&item))
        return QStringLiteral("TOrderItem");
    if (dynamic_cast<const TGroupItem*>(&item))
        return QStringLiteral("TGroupItem");
    return QStringLiteral("TRequestItem");
}

} // namespace

void TRequestItem::checkSameClass(const TRequestItem& source) const
{
    if (typeid(source) != typeid(*this)) {
        throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2")
                                .arg(itemClassName(source), itemClassName(*this)));
    }
}

void TRequestItem::Assign(const TRequestItem& source)
{
    checkSameClass(source);
    m_section->BeginUpdate();
    m_name = source.m_name;
    SetEnabled(source.m_enabled);
    SetText(source.m_text);
    SetUnion(source.m_union);
    m_section->EndUpdate();
}

void TPrmRequestItem::SetText(const QString& text)
{
    if (text == this->text())
        return;
    Changed();
    storeText(parseItemText(text, m_params));
}

void TPrmRequestItem::Assign(const TRequestItem& source)
{
    checkSameClass(source);
    Collection().BeginUpdate();
    TRequestItem::Assign(source);
    m_params.assignValues(static_cast<const TPrmRequestItem&>(source).m_params);
    Collection().EndUpdate();
}

#define QV_SETTER(Class, Setter, Type, member)                                                     \
    void Class::Setter(Type value)                                                                 \
    {                                                                                              \
        if (member == value)                                                                       \
            return;                                                                                \
        member = value;                                                                            \
        Changed();                                                                                 \
    }

QV_SETTER(TSelectItem, SetOrigin, const QString&, m_origin)
QV_SETTER(TSelectItem, SetAlias, const QString&, m_alias)
QV_SETTER(TSelectItem, SetIsExpr, bool, m_isExpr)
QV_SETTER(TSelectItem, SetTitle, const QString&, m_title)
QV_SETTER(TSelectItem, SetExprOrg, const QString&, m_exprOrg)
QV_SETTER(TSelectItem, SetDataType, TDataType, m_dataType)
QV_SETTER(TSelectItem, SetSize, int, m_size)
QV_SETTER(TSelectItem, SetDisplayMode, TDisplayMode, m_displayMode)
QV_SETTER(TSelectItem, SetConvertCurrency, bool, m_convertCurrency)
QV_SETTER(TFromItem, SetAlias, const QString&, m_alias)
QV_SETTER(TFromItem, SetJoinOperator, const QString&, m_joinOperator)
QV_SETTER(TFromItem, SetMasterTable, const QString&, m_masterTable)
QV_SETTER(TFromItem, SetMasterFields, const QString&, m_masterFields)
QV_SETTER(TFromItem, SetIgnoreMask, bool, m_ignoreMask)
QV_SETTER(TWhereItem, SetGroup, int, m_group)
QV_SETTER(TWhereItem, SetOrigin, const QString&, m_origin)
QV_SETTER(TWhereItem, SetIsHaving, bool, m_isHaving)
QV_SETTER(TOrderItem, SetDesc, bool, m_desc)
QV_SETTER(TGroupItem, SetOrigin, const QString&, m_origin)

#undef QV_SETTER

QString TSelectItem::DisplayName() const
{
    return m_origin.isEmpty() ? text() : m_origin + QLatin1Char('.') + text();
}

void TSelectItem::Assign(const TRequestItem& source)
{
    checkSameClass(source);
    const auto& s = static_cast<const TSelectItem&>(source);
    Collection().BeginUpdate();
    TPrmRequestItem::Assign(source);
    SetExprOrg(s.m_exprOrg);
    SetIsExpr(s.m_isExpr);
    SetOrigin(s.m_origin);
    SetAlias(s.m_alias);
    SetDataType(s.m_dataType);
    SetSize(s.m_size);
    SetTitle(s.m_title);
    SetDisplayMode(s.m_displayMode);
    SetConvertCurrency(s.m_convertCurrency);
    Collection().EndUpdate();
}

void TFromItem::SetUpdates(bool on)
{
    if (on) {
        for (int i = 0; i < Collection().Count(); ++i) {
            auto* other = static_cast<TFromItem*>(Collection().Item(i));
            if (other != this && other->m_updates) {
                other->m_updates = false;
                Changed();
            }
        }
    }
    if (m_updates == on)
        return;
    m_updates = on;
    Changed();
}

void TFromItem::SetJoinExpr(const QString& expression)
{
    if (m_joinExpr == expression)
        return;
    Changed();
    m_joinExpr = parseItemText(expression, m_joinParams);
}

QString TFromItem::JoinOperator() const
{
    return m_joinOperator.isEmpty() ? QStringLiteral("JOIN") : m_joinOperator.toUpper();
}

void TFromItem::Assign(const TRequestItem& source)
{
    checkSameClass(source);
    const auto& s = static_cast<const TFromItem&>(source);
    Collection().BeginUpdate();
    TRequestItem::Assign(source);
    if (m_updates != s.m_updates) {
        m_updates = s.m_updates;
        Changed();
    }
    SetAlias(s.m_alias);
    SetMasterTable(s.m_masterTable);
    SetMasterFields(s.m_masterFields);
    SetJoinOperator(s.m_joinOperator);
    SetJoinExpr(s.m_joinExpr);
    m_joinParams.assignValues(s.m_joinParams);
    SetIgnoreMask(s.m_ignoreMask);
    Collection().EndUpdate();
}

void TWhereItem::Assign(const TRequestItem& source)
{
    checkSameClass(source);
    const auto& s = static_cast<const TWhereItem&>(source);
    Collection().BeginUpdate();
    TPrmRequestItem::Assign(source);
    SetOrigin(s.m_origin);
    SetGroup(s.m_group);
    SetIsHaving(s.m_isHaving);
    Collection().EndUpdate();
}

void TOrderItem::Assign(const TRequestItem& source)
{
    checkSameClass(source);
    Collection().BeginUpdate();
    TRequestItem::Assign(source);
    SetDesc(static_cast<const TOrderItem&>(source).m_desc);
    Collection().EndUpdate();
}

void TGroupItem::Assign(const TRequestItem& source)
{
    checkSameClass(source);
    Collection().BeginUpdate();
    TRequestItem::Assign(source);
    SetOrigin(static_cast<const TGroupItem&>(source).m_origin);
    Collection().EndUpdate();
}

// ---------------------------------------------------------------------------------------------
// Sections

TRequestSection::~TRequestSection() = default;

TRequestItem* TRequestSection::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw Exception(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_items.at(size_t(index)).get();
}

int TRequestSection::IndexOf(const TRequestItem* item) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).get() == item)
            return int(i);
    }
    return -1;
}

TRequestItem* TRequestSection::addItem(std::unique_ptr<TRequestItem> item)
{
    m_items.push_back(std::move(item));
    Update();
    return m_items.back().get();
}

void TRequestSection::Delete(int index)
{
    Item(index); // range check
    m_items.erase(m_items.begin() + index);
    Update();
}

void TRequestSection::Clear()
{
    if (m_items.empty())
        return;
    m_items.clear();
    Update();
}

void TRequestSection::Assign(const TRequestSection& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    Clear();
    for (const auto& item : source.m_items)
        addItem(createItem())->Assign(*item);
    EndUpdate();
}

void TRequestSection::EndUpdate()
{
    if (m_updating > 0 && --m_updating == 0 && m_changedWhileUpdating) {
        m_changedWhileUpdating = false;
        m_request.Changed();
    }
}

void TRequestSection::Update()
{
    if (m_updating > 0)
        m_changedWhileUpdating = true;
    else
        m_request.Changed();
}

TFromItem* TFromSection::Add()
{
    TFromItem* item = TTypedSection::Add();
    if (Count() == 1)
        item->m_updates = true;
    return item;
}

// ---------------------------------------------------------------------------------------------
// The request

TDBRequest::TDBRequest(QObject* owner)
    : QObject(owner), m_query(new SqlQuery(this)), m_query2(new SqlQuery(this))
{
}

TDBRequest::~TDBRequest() = default;

void TDBRequest::setFlag(bool& flag, bool on)
{
    if (flag == on)
        return;
    flag = on;
    Changed();
}

void TDBRequest::SetDBAccess(TDBAccess* access)
{
    if (m_dbAccess == access)
        return;
    m_dbAccess = access;
    Changed();
}

void TDBRequest::SetPacketRecords(int count)
{
    if (m_packetRecords == count)
        return;
    m_packetRecords = count;
    Changed();
}

void TDBRequest::Changed()
{
    if (!m_compiling)
        SetCompiled(false);
}

void TDBRequest::SetSQL(const QStringList& lines)
{
    if (lines == m_sql)
        return;
    m_sql = lines;
    rebuildParams();
}

void TDBRequest::SetSQLText(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    if (t.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    SetSQL(t.isEmpty() ? QStringList() : lines);
}

void TDBRequest::rebuildParams()
{
    Params rebuilt = ParseRequestParams(m_sql.join(QLatin1Char('\n')));
    rebuilt.assignValues(m_params);
    m_params = rebuilt;
}

void TDBRequest::SetCompiled(bool compiled)
{
    if (compiled == m_compiled)
        return;
    if (compiled) {
        Compile(m_paramRegistry, m_paramCounter);
    } else {
        m_compiledSQL.clear();
    }
    m_compiled = compiled;
}

void TDBRequest::Compile(QStringList& registry, qint32& counter)
{
    TRequestCompiler(*this, registry, counter).Run();
}

int TDBRequest::EmbedHandle()
{
    if (!m_dbAccess)
        DBKernelError(
            QStringLiteral("%1 cannot compile query: not assigned DBAccess.").arg(Name()));
    return m_dbAccess->RequestHandle(*this);
}

void TDBRequest::Assign(const TDBRequest& source)
{
    if (&source == this)
        return;
    SetAutoJoin(source.m_autoJoin);
    SetDistinct(source.m_distinct);
    SetDBAccess(source.m_dbAccess);
    m_from.Assign(source.m_from);
    m_select.Assign(source.m_select);
    m_where.Assign(source.m_where);
    m_group.Assign(source.m_group);
    m_order.Assign(source.m_order);
    SetJoinOptimization(source.m_joinOptimization);
    SetViewName(source.m_viewName);
    SetViewTitle(source.m_viewTitle);
    SetSplitWhereToUnion(source.m_splitWhereToUnion);
    SetEmptyOnVoidFilter(source.m_emptyOnVoidFilter);
}

QString TDBRequest::MainTableName() const
{
    for (int i = 0; i < m_from.Count(); ++i) {
        if (m_from[i]->Updates())
            return m_from[i]->TableName();
    }
    return m_from.Count() > 0 ? m_from[0]->TableName() : QString();
}

namespace {

// The first item of the section whose alias is the name, else the first whose own name (given by
// ownName) is; nullptr when none.
template <class Section, class OwnName>
auto findByAliasOrName(const Section& section, const QString& name, OwnName ownName)
    -> decltype(section[0])
{
    for (int i = 0; i < section.Count(); ++i) {
        if (sameName(section[i]->Alias(), name))
            return section[i];
    }
    for (int i = 0; i < section.Count(); ++i) {
        if (sameName(ownName(*section[i]), name))
            return section[i];
    }
    return nullptr;
}

} // namespace

TSelectItem* TDBRequest::FindSelectItem(const QString& name) const
{
    return findByAliasOrName(m_select, name, [](const TSelectItem& s) { return s.Text(); });
}

TSelectItem* TDBRequest::FindSelectItemByOrigin(const QString& name) const
{
    for (int i = 0; i < m_select.Count(); ++i) {
        TSelectItem* s = m_select[i];
        const QString full = s->IsExpr() ? s->Text() : s->Origin() + QLatin1Char('.') + s->Text();
        if (sameName(full, name))
            return s;
    }
    return nullptr;
}

TFromItem* TDBRequest::FindFromItem(const QString& name) const
{
    return findByAliasOrName(m_from, name, [](const TFromItem& f) { return f.TableName(); });
}

bool TDBRequest::IsFieldFromTable(const QString& fieldName, const QString& tableName,
                                  const QString& field) const
{
    const TSelectItem* select = FindSelectItem(fieldName);
    const TFromItem* from = select ? select->FromItem() : nullptr;
    if (!from)
        return false;
    auto linkedBy = [&field](const TFromItem* below) {
        return sameName(below->MasterFields().isEmpty() ? field : below->MasterFields(), field);
    };
    for (const TFromItem* below = from; below->Parent(); below = below->Parent()) {
        if (sameName(below->Parent()->TableName(), tableName) && linkedBy(below))
            return true;
    }
    std::function<bool(const TFromItem*)> searchBelow = [&](const TFromItem* master) {
        for (int i = 0; i < m_from.Count(); ++i) {
            const TFromItem* c = m_from[i];
            if (c->Parent() != master)
                continue;
            if ((sameName(c->TableName(), tableName) && linkedBy(c)) || searchBelow(c))
                return true;
        }
        return false;
    };
    return searchBelow(from);
}

bool TDBRequest::UseRemoteSelect() const
{
    if (!m_dbAccess || m_dbAccess->ServerKind() != ServerKind::Standard)
        return false;
    return m_dbAccess->RemoteSelect() ? m_selectMode != smClient : m_selectMode == smServer;
}

bool TDBRequest::UseRemoteUpdate() const
{
    if (!m_dbAccess || m_dbAccess->ServerKind() != ServerKind::Standard)
        return false;
    if (m_dbAccess->UpdateBatchOpen())
        return true;
    return m_dbAccess->RemoteUpdate() ? m_updateMode != umClient : m_updateMode == umServer;
}

int TDBRequest::GetRowLimit() const
{
    int limit = m_parentPacketRecords && m_dbAccess ? m_dbAccess->PacketRecords() : m_packetRecords;
    if (m_targetCache && !m_targetCache->ParentPacketRecords())
        limit = m_targetCache->PacketRecords();
    return limit;
}

QString TDBRequest::RowLimitPrefix() const
{
    if (!m_dbAccess || m_dbAccess->ServerKind() != ServerKind::MSSQL)
        return QString();
    const int limit = GetRowLimit();
    return limit < 0 ? QString() : QStringLiteral("TOP %1").arg(limit);
}

QString TDBRequest::RowLimitCondition() const
{
    if (!m_dbAccess || m_dbAccess->ServerKind() != ServerKind::Oracle)
        return QString();
    const int limit = GetRowLimit();
    return limit < 0 ? QString() : QStringLiteral(" ROWNUM <= %1").arg(limit);
}

namespace {

// The type of a typed null column on Oracle: the types the schema tools give the kernel types
// there (no TIME, MONEY or BOOLEAN).
QString oracleNullType(TDataType type, int size)
{
    auto varchar2 = [](int n) {
        return QStringLiteral("VARCHAR2(%1)").arg(n >= 1 && n <= 4000 ? n : 100);
    };
    switch (type) {
    case dtInteger:
    case dtAutoinc:
        return QStringLiteral("INT");
    case dtString:
        return varchar2(size);
    case dtLangString:
        return varchar2(LangStringSize(size));
    case dtDateTime:
    case dtDate:
    case dtTime:
        return QStringLiteral("DATE");
    case dtMoney:
        return QStringLiteral("NUMERIC(20,6)");
    case dtNumeric:
    case dtCours:
    case dtTaux:
        return QStringLiteral("NUMERIC(%1,6)").arg(size >= 1 && size <= 38 ? size : 20);
    case dtBoolean:
        return QStringLiteral("VARCHAR2(1)");
    default:
        return varchar2(100);
    }
}

// The type of a typed null column on the other servers.
QString standardNullType(TDataType type, int size)
{
    switch (type) {
    case dtInteger:
    case dtAutoinc:
        return QStringLiteral("INTEGER");
    case dtString:
        return QStringLiteral("VARCHAR(%1) ").arg(size);
    case dtDateTime:
        return QStringLiteral("TIMESTAMP");
    case dtDate:
        return QStringLiteral("DATE");
    case dtTime:
        return QStringLiteral("TIME");
    case dtMoney:
        return QStringLiteral("MONEY");
    case dtNumeric:
    case dtCours:
    case dtTaux:
        return QStringLiteral("NUMERIC(%1,%2)").arg(size).arg(6);
    case dtBoolean:
        return QStringLiteral("BOOLEAN");
    case dtLangString:
        return QStringLiteral("VARCHAR(%1) ").arg(LangStringSize(size));
    default:
        return QStringLiteral("VARCHAR(100)");
    }
}

} // namespace

QString TDBRequest::TypedNullColumn(TDataType type, int size) const
{
    const ServerKind::Kind kind = m_dbAccess ? m_dbAccess->ServerKind() : ServerKind::Unknown;
    // On SQL Server a bare null takes its type from the other statements of the union.
    if (kind == ServerKind::MSSQL)
        return QStringLiteral(" null ");
    const QString typeText =
        kind == ServerKind::Oracle ? oracleNullType(type, size) : standardNullType(type, size);
    return QStringLiteral(" cast(null as ") + typeText + QStringLiteral(") ");
}

// ---------------------------------------------------------------------------------------------
// Key condition of a cache field

namespace {

// The description of the column a select item gives (null for expressions and unknown tables).
const TFieldProps* columnProps(const TDBAccess& access, const TSelectItem& s, const QString& field)
{
    if (s.IsExpr() || !s.FromItem())
        return nullptr;
    const TTableProps* table = access.FindTableProps(s.FromItem()->TableName());
    return table ? table->FindFieldProps(field) : nullptr;
}

// Whether a column described by `props` is the field `field` of `table` itself, or a view's copy
// of it.
bool isColumnOf(const TFieldProps* props, const QString& table, const QString& field)
{
    return props && ((sameName(props->TableName, table) && sameName(props->FieldName, field)) ||
                     (sameName(props->Origin, table) && sameName(props->NativeName, field)));
}

// The cache field (select alias, else text) that holds column `field` of `table`, taken from the
// from item `only` when given; empty when the request selects no such column. A "*" item holds
// every field of its table under the field's own name.
QString carrierOf(const TDBRequest& request, const TDBAccess& access, const QString& table,
                  const QString& field, const TFromItem* only = nullptr)
{
    for (int i = 0; i < request.Select().Count(); ++i) {
        const TSelectItem* s = request.Select()[i];
        if (!s->Enabled() || s->IsExpr() || !s->FromItem())
            continue;
        if (only && s->FromItem() != only)
            continue;
        if (s->Text().trimmed() == QLatin1String("*")) {
            if (isColumnOf(columnProps(access, *s, field), table, field) ||
                sameName(s->FromItem()->TableName(), table))
                return field;
            continue;
        }
        const bool direct =
            sameName(s->FromItem()->TableName(), table) && sameName(s->Text(), field);
        if (direct || isColumnOf(columnProps(access, *s, s->Text()), table, field))
            return s->Alias().isEmpty() ? s->Text() : s->Alias();
    }
    return QString();
}

// The carrier of `key` of `table` through a link whose parent is `table`: the referencing
// field, selected from the link's child side (from the item `only` when given).
QString carrierThroughLink(const TDBRequest& request, const TDBAccess& access,
                           const TLinkInfo* link, const QString& table, const QString& key,
                           const TFromItem* only)
{
    if (!link || !sameName(link->Parent, table))
        return QString();
    const QStringList keys = link->KeyFields.split(QLatin1Char(','));
    const QStringList refs = link->RefFields.split(QLatin1Char(','));
    for (qsizetype i = 0; i < keys.size() && i < refs.size(); ++i) {
        if (sameName(keys.at(i).trimmed(), key))
            return carrierOf(request, access, link->Child, refs.at(i).trimmed(), only);
    }
    return QString();
}

} // namespace

bool BuildKeyWhere(const TRequestCache& cache, const QString& fieldName, TKeyWhere& result)
{
    const TDBRequest* request = cache.Request();
    const TFieldProps* props = cache.FieldPropsOf(fieldName);
    if (!request || !props || !request->DBAccess())
        return false;
    const TDBAccess& access = *request->DBAccess();
    const bool fromView = !props->Origin.isEmpty();
    const QString table = fromView                      ? props->Origin
                          : !props->TableName.isEmpty() ? props->TableName
                                                        : request->MainTableName();
    const TTableProps* tableProps = access.FindTableProps(table);
    if (!tableProps || tableProps->KeyFields.trimmed().isEmpty())
        return false;

    const TSelectItem* own = request->FindSelectItem(fieldName);
    const TFromItem* ownFrom = own ? own->FromItem() : nullptr;
    QStringList conditions;
    for (const QString& k : tableProps->KeyFields.split(QLatin1Char(','))) {
        const QString key = k.trimmed();
        QString carrier = carrierOf(*request, access, table, key);
        // Through the link that joins the field's own table, then those of the tables joined
        // below it, then any link of the table.
        if (carrier.isEmpty() && ownFrom) {
            const TFromItem* linked = ownFrom->JoinedAsMaster() ? ownFrom->Parent() : ownFrom;
            carrier = carrierThroughLink(*request, access, ownFrom->JoinLink(), table, key, linked);
        }
        for (int i = 0; carrier.isEmpty() && ownFrom && i < request->From().Count(); ++i) {
            const TFromItem* child = request->From()[i];
            if (child->Parent() == ownFrom)
                carrier = carrierThroughLink(*request, access, child->JoinLink(), table, key,
                                             child->JoinedAsMaster() ? ownFrom : child);
        }
        for (const TLinkInfo* link : tableProps->ChildLinks) {
            if (!carrier.isEmpty())
                break;
            carrier = carrierThroughLink(*request, access, link, table, key, nullptr);
        }
        if (carrier.isEmpty())
            return false;
        conditions.append(QStringLiteral("%1=:%2").arg(key, carrier));
    }
    result.TableName = table;
    result.FieldName =
        fromView && !props->NativeName.isEmpty() ? props->NativeName : props->FieldName;
    result.Where = QStringLiteral("where ") + conditions.join(QStringLiteral(" and "));
    return true;
}
