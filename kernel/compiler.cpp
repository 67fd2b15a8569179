// The request compiler: star expansion, aliases, the join tree and its joins (ANSI JOIN clauses,
// or on Oracle tables listed with their conditions in WHERE), alternative branches and OR groups
// as unions, the select list with its typed nulls, conditions, grouping and ordering, parameters
// and embedded requests, and the macros of the server kind last.
#include "compiler.h"

#include <kernel/dbaccess.h>
#include <kernel/fielddesc.h>
#include <kernel/metadata.h>
#include <kernel/request.h>
#include <kernel/tokenizer.h>
#include <platform/codepage.h>

#include <QHash>
#include <QSet>

#include <functional>

namespace {

int indexOfName(const QStringList& list, const QString& name)
{
    for (int i = 0; i < list.size(); ++i) {
        if (codepage::sameText(list.at(i), name))
            return i;
    }
    return -1;
}

bool sameValue(const Param& a, const Param& b)
{
    return (a.isNull() && b.isNull()) || a.value() == b.value();
}

const QString Separator[] = {QString(), QStringLiteral("UNION ALL"), QString()};

void appendUnionSeparator(QStringList& lines)
{
    if (!lines.isEmpty())
        lines << Separator[0] << Separator[1] << Separator[2];
}

// Leaves the request's "compiling" state and gives back what the OR split set aside, however the
// compilation ends.
class CompileScope
{
public:
    CompileScope(bool& compiling, std::function<void()> restore)
        : m_compiling(compiling), m_previous(compiling), m_restore(std::move(restore))
    {
        m_compiling = true;
    }
    ~CompileScope()
    {
        m_restore();
        m_compiling = m_previous;
    }
    CompileScope(const CompileScope&) = delete;
    CompileScope& operator=(const CompileScope&) = delete;

private:
    bool& m_compiling;
    bool m_previous;
    std::function<void()> m_restore;
};

} // namespace

TRequestCompiler::TRequestCompiler(TDBRequest& request, QStringList& registry, qint32& counter)
    : m_request(request), m_registry(registry), m_counter(counter)
{
}

void TRequestCompiler::error(const QString& format) const
{
    DBKernelError(format.arg(m_request.Name()));
}

void TRequestCompiler::Run()
{
    TDBRequest& r = m_request;
    CompileScope scope(r.m_compiling, [this] { restoreSplitItems(); });
    r.m_compiledSQL.clear();
    try {
        expandStar();
        if (r.OnBeforeCompile)
            r.OnBeforeCompile(r);
        requireAccess();
        requireSections();
        originOfSingleTable();
        resetParams();
        resolveAliases();
        buildTableList();
        requireRoots();
        buildTrees();
        QStringList text;
        for (TFromItem* root : std::as_const(m_roots)) {
            const QStringList block = compileRoot(root);
            if (!block.isEmpty() && !text.isEmpty())
                m_union = true;
            appendUnionSeparator(text);
            text << block;
        }
        // One ORDER BY for the whole text: after the last statement of a union, naming the
        // columns as the union's result knows them.
        buildOrder();
        if (!m_order.isEmpty())
            text << QStringLiteral("ORDER BY\n") + m_order;
        r.m_compiledSQL = text;
        if (r.OnAfterCompile)
            r.OnAfterCompile(r);
        r.m_compiledSQL = finish(r.m_compiledSQL).split(QLatin1Char('\n'));
    } catch (...) {
        r.m_compiledSQL.clear();
        r.m_compiled = false;
        throw;
    }
}

// ---------------------------------------------------------------------------------------------
// Steps

void TRequestCompiler::expandStar()
{
    TDBRequest& r = m_request;
    TDBAccess* access = r.DBAccess();
    if (!access || r.From().Count() < 2)
        return;
    const TSelectSection& select = r.Select();
    if (select.Count() > 1 ||
        (select.Count() == 1 && select[0]->Text().trimmed() != QLatin1String("*") &&
         !select[0]->Text().trimmed().isEmpty()))
        return;
    r.Select().Clear();
    QSet<QString> used;
    for (int i = 0; i < r.From().Count(); ++i) {
        const TFromItem* from = r.From()[i];
        const TTableProps* table = access->FindTableProps(from->TableName());
        if (!table) {
            DBKernelError(r.Name() + QStringLiteral(": table properties for table ") +
                          from->TableName() + QStringLiteral(" not found."));
        }
        const QString origin = from->Alias().isEmpty() ? from->TableName() : from->Alias();
        for (int f = 0; f < table->FieldCount(); ++f) {
            const QString field = table->Fields.At(f)->FieldName;
            QString alias = field;
            for (int n = 1; used.contains(alias.toUpper()); ++n)
                alias = field + QLatin1Char('_') + QString::number(n);
            used.insert(alias.toUpper());
            TSelectItem* item = r.Select().Add();
            item->SetText(field);
            item->SetOrigin(origin);
            item->SetAlias(alias);
        }
    }
}

void TRequestCompiler::requireAccess()
{
    m_access = m_request.DBAccess();
    if (!m_access)
        error(QStringLiteral("%1 cannot compile query: not assigned DBAccess."));
    m_kind = m_access->ServerKind();
}

void TRequestCompiler::requireSections()
{
    TDBRequest& r = m_request;
    if (r.Select().Count() == 0)
        r.Select().Add()->SetText(QStringLiteral("*"));
    if (r.From().Count() == 0)
        error(QStringLiteral("Cannot compile %1: empty from section."));
}

void TRequestCompiler::originOfSingleTable()
{
    TDBRequest& r = m_request;
    if (r.From().Count() != 1 || r.Select().Count() != 1 || r.Select()[0]->IsExpr())
        return;
    const TFromItem* from = r.From()[0];
    r.Select()[0]->SetOrigin(from->Alias().isEmpty() ? from->TableName() : from->Alias());
}

void TRequestCompiler::resetParams()
{
    m_request.m_params.clear();
    m_request.m_paramRegistry.clear();
    m_request.m_paramCounter = 0;
}

void TRequestCompiler::resolveAliases()
{
    TDBRequest& r = m_request;
    for (int i = 0; i < r.From().Count(); ++i) {
        TFromItem* item = r.From()[i];
        item->m_resolvedAlias = item->Alias().isEmpty() ? item->TableName() : item->Alias();
        item->m_parent = nullptr;
        item->m_optional = false;
        item->m_link = nullptr;
        item->m_linkIsMaster = false;
        if (!item->Enabled())
            continue;
        if (indexOfName(m_aliases, item->m_resolvedAlias) >= 0) {
            DBKernelError(QStringLiteral("%1: duplicate alias name '%2'.")
                              .arg(r.Name(), item->m_resolvedAlias));
        }
        if (item->MasterTable().isEmpty())
            m_roots.append(item);
        m_aliases.append(item->m_resolvedAlias);
    }
}

void TRequestCompiler::buildTableList()
{
    const TFromSection& from = m_request.From();
    for (int i = 0; i < from.Count(); ++i) {
        const TFromItem* item = from[i];
        if (item->Enabled() && !item->TableName().trimmed().isEmpty()) {
            m_tables.append(item->TableName());
            m_tableAliases.append(item->m_resolvedAlias);
        }
    }
    if (m_tables.isEmpty())
        error(QStringLiteral("Cannot compile %1: empty from section."));
}

// Tables whose master tables lead round in a circle would be left out of every statement, and a
// request made only of such tables would compile to nothing at all.
void TRequestCompiler::requireRoots()
{
    const TFromSection& from = m_request.From();
    QHash<QString, const TFromItem*> byAlias;
    for (int i = 0; i < from.Count(); ++i) {
        if (from[i]->Enabled())
            byAlias.insert(from[i]->m_resolvedAlias.toUpper(), from[i]);
    }
    for (int i = 0; i < from.Count(); ++i) {
        if (!from[i]->Enabled())
            continue;
        QSet<const TFromItem*> seen;
        for (const TFromItem* item = from[i]; item && !item->MasterTable().isEmpty();
             item = byAlias.value(item->MasterTable().toUpper())) {
            if (seen.contains(item)) {
                DBKernelError(QStringLiteral("Cannot compile %1: the master tables of %2 lead "
                                             "round in a circle.")
                                  .arg(m_request.Name(), from[i]->m_resolvedAlias));
            }
            seen.insert(item);
        }
    }
    if (m_roots.isEmpty())
        error(QStringLiteral("Cannot compile %1: from section has no root table."));
}

void TRequestCompiler::buildTrees()
{
    for (TFromItem* root : std::as_const(m_roots))
        buildTree(root, 1);
}

QStringList TRequestCompiler::compileRoot(TFromItem* root)
{
    TDBRequest& r = m_request;
    m_select.clear();
    m_from.clear();
    m_whereJoins.clear();
    m_where.clear();
    m_group.clear();
    m_having.clear();

    markUsage();
    buildTree(root, 1);

    for (int i = 0; i < r.From().Count(); ++i)
        r.From()[i]->m_excluded = false;
    for (TFromItem* other : std::as_const(m_roots))
        other->m_excluded = true;
    root->m_excluded = false;

    for (QList<TFromItem*>& level : m_levels)
        level.clear();
    collectAlternatives(root);
    qint64 product = 1;
    for (qsizetype l = m_levels.size() - 1; l >= 0; --l) {
        for (TFromItem* item : std::as_const(m_levels.at(l)))
            item->m_excluded = true;
        if (!m_levels.at(l).isEmpty())
            product *= m_levels.at(l).size();
    }
    if (product > 1) {
        m_union = true;
        return alternativeBranches();
    }

    if (r.SplitWhereToUnion())
        splitOrGroups();
    buildFrom(root);
    const TSelectSection& select = r.Select();
    if (select.Count() == 1 && select[0]->Text() == QLatin1String("*") &&
        select[0]->Origin().isEmpty()) {
        if (m_tables.size() == 1)
            select[0]->m_originTable = m_tables.first();
        m_select = (r.Distinct() ? QStringLiteral("SELECT DISTINCT ") : QStringLiteral("SELECT ")) +
                   rowLimitPrefix() + QStringLiteral(" * ") + QLatin1Char('\n');
    } else {
        buildSelect();
    }
    buildGroup();

    QStringList lines;
    if (m_splitActive) {
        m_union = true;
        QStringList variants;
        unionVariants(0, variants);
        lines << QStringLiteral("select %1 Q.* from (%2) Q")
                     .arg(r.RowLimitPrefix(), variants.join(QLatin1Char('\n')));
        const QString condition = r.RowLimitCondition();
        if (m_kind == ServerKind::Oracle && !condition.isEmpty())
            lines << QStringLiteral("WHERE ") + condition;
        restoreSplitItems();
    } else {
        buildWhere();
        lines = statement();
    }
    return lines;
}

QString TRequestCompiler::finish(const QStringList& text)
{
    return ExpandMacros(m_access->MacroInfo(), text.join(QLatin1Char('\n')));
}

// ---------------------------------------------------------------------------------------------
// The join tree

bool TRequestCompiler::excluded(const TFromItem* item) const
{
    for (; item; item = item->m_parent) {
        if (item->m_excluded || !item->Enabled())
            return true;
    }
    return false;
}

bool TRequestCompiler::usable(const TFromItem* item) const
{
    return item->Enabled() && !item->TableName().trimmed().isEmpty() && !item->m_excluded;
}

void TRequestCompiler::markUsage()
{
    TDBRequest& r = m_request;
    for (int s = 0; s < r.Select().Count(); ++s)
        r.Select()[s]->m_fromItem = nullptr;
    for (int w = 0; w < r.Where().Count(); ++w)
        r.Where()[w]->m_fromItem = nullptr;
    for (int i = 0; i < r.From().Count(); ++i) {
        TFromItem* from = r.From()[i];
        from->m_optional = false;
        bool used = false;
        for (int s = 0; s < r.Select().Count(); ++s) {
            TSelectItem* item = r.Select()[s];
            if (item->Enabled() && (sameName(item->Origin(), from->m_resolvedAlias) ||
                                    sameName(item->ExprOrg(), from->m_resolvedAlias))) {
                item->m_fromItem = from;
                used = true;
            }
        }
        for (int w = 0; w < r.Where().Count(); ++w) {
            TWhereItem* item = r.Where()[w];
            if (sameName(item->Origin(), from->m_resolvedAlias)) {
                item->m_fromItem = from;
                used = used || item->Enabled();
            }
        }
        if (from->Enabled() && !used && r.JoinOptimization())
            from->m_optional = true;
    }
}

bool TRequestCompiler::buildTree(TFromItem* item, int level)
{
    item->m_childCount = 0;
    item->m_level = level;
    while (m_levels.size() <= level)
        m_levels.append(QList<TFromItem*>());
    const TFromSection& from = m_request.From();
    for (int i = 0; i < from.Count(); ++i) {
        TFromItem* child = from[i];
        if (child == item || !child->Enabled() ||
            !sameName(child->MasterTable(), item->m_resolvedAlias))
            continue;
        if (buildTree(child, level + 1) || mentionedByExpression(child)) {
            child->m_parent = item;
            ++item->m_childCount;
        } else {
            child->m_parent = nullptr;
        }
    }
    return !(item->m_childCount == 0 && item->m_optional);
}

bool TRequestCompiler::mentionedByExpression(const TFromItem* item)
{
    if (!m_expressionsReady) {
        const TSelectSection& select = m_request.Select();
        for (int i = 0; i < select.Count(); ++i) {
            if (select[i]->IsExpr())
                m_expressions.append(
                    ExpandMacros(m_access->MacroInfo(), select[i]->Text()).toUpper());
        }
        m_expressionsReady = true;
    }
    const QString mark = item->m_resolvedAlias.toUpper() + QLatin1Char('.');
    for (const QString& expression : std::as_const(m_expressions)) {
        if (expression.contains(mark))
            return true;
    }
    return false;
}

void TRequestCompiler::collectAlternatives(TFromItem* item)
{
    const TFromSection& from = m_request.From();
    QList<TFromItem*> children;
    int alternatives = 0;
    for (int i = 0; i < from.Count(); ++i) {
        TFromItem* child = from[i];
        if (child->m_parent == item && usable(child)) {
            children.append(child);
            if (!child->Union().isEmpty())
                ++alternatives;
        }
    }
    if (alternatives >= 2) {
        for (TFromItem* child : std::as_const(children)) {
            if (!child->Union().isEmpty())
                m_levels[child->m_level].append(child);
        }
    }
    for (TFromItem* child : std::as_const(children))
        collectAlternatives(child);
}

bool TRequestCompiler::hasUnionBelow(const TFromItem* item) const
{
    const TFromSection& from = m_request.From();
    for (int i = 0; i < from.Count(); ++i) {
        const TFromItem* child = from[i];
        if (child->m_parent == item && (!child->Union().isEmpty() || hasUnionBelow(child)))
            return true;
    }
    return false;
}

QStringList TRequestCompiler::alternativeBranches()
{
    TFromSection& from = m_request.From();
    QStringList lines;
    const QList<QList<TFromItem*>> levels = m_levels;
    for (const QList<TFromItem*>& level : levels) {
        for (TFromItem* branch : level) {
            if (hasUnionBelow(branch))
                continue;
            for (int i = 0; i < from.Count(); ++i)
                from[i]->m_savedExcluded = from[i]->m_excluded;
            for (TFromItem* item = branch; item; item = item->m_parent)
                item->m_excluded = false;
            TFromItem* root = branch;
            while (root->m_parent)
                root = root->m_parent;
            m_where.clear();
            m_having.clear();
            buildFrom(root);
            buildSelect();
            buildWhere();
            buildGroup();
            for (int i = 0; i < from.Count(); ++i)
                from[i]->m_excluded = from[i]->m_savedExcluded;
            appendUnionSeparator(lines);
            lines << statement();
        }
    }
    return lines;
}

// ---------------------------------------------------------------------------------------------
// OR groups as a union

bool TRequestCompiler::applies(const TWhereItem* item) const
{
    return item->Enabled() && !item->Text().trimmed().isEmpty() && !excluded(item->m_fromItem);
}

// The conditions of each OR group that bear on this root's statement are set aside; a group with
// two or more of them is split: one statement per choice of one condition from each group.
void TRequestCompiler::splitOrGroups()
{
    const TWhereSection& where = m_request.Where();
    QList<int> order;
    QHash<int, QList<TWhereItem*>> bearing;
    QHash<int, QList<TWhereItem*>> all;
    for (int i = 0; i < where.Count(); ++i) {
        TWhereItem* item = where[i];
        if (!item->Enabled() || item->Group() <= 0)
            continue;
        if (!all.contains(item->Group()))
            order.append(item->Group());
        all[item->Group()].append(item);
        if (applies(item))
            bearing[item->Group()].append(item);
    }
    for (int group : std::as_const(order)) {
        if (bearing.value(group).size() < 2)
            continue;
        m_splitGroups.append(bearing.value(group));
        for (TWhereItem* item : all.value(group)) {
            item->SetEnabled(false);
            m_splitDisabled.append(item);
        }
    }
    m_splitActive = !m_splitGroups.isEmpty();
}

void TRequestCompiler::restoreSplitItems()
{
    for (TWhereItem* item : std::as_const(m_splitDisabled))
        item->SetEnabled(true);
    m_splitDisabled.clear();
    m_splitGroups.clear();
    m_splitActive = false;
}

void TRequestCompiler::unionVariants(int group, QStringList& lines)
{
    const bool last = group == m_splitGroups.size() - 1;
    for (TWhereItem* item : m_splitGroups.at(group)) {
        item->SetEnabled(true);
        if (last) {
            if (!lines.isEmpty())
                lines << QStringLiteral("UNION");
            m_where.clear();
            m_having.clear();
            buildWhere();
            lines << statement();
            if (m_firstCount == std::numeric_limits<qint32>::max())
                m_firstCount = qint32(m_registry.size());
        } else {
            unionVariants(group + 1, lines);
        }
        item->SetEnabled(false);
    }
}

// ---------------------------------------------------------------------------------------------
// From clause

QString TRequestCompiler::tableText(const TFromItem* item) const
{
    return item->IgnoreMask() ? item->TableName() : m_access->MapTableName(item->TableName());
}

void TRequestCompiler::buildFrom(TFromItem* root)
{
    m_whereJoins.clear();
    m_from.clear();
    if (m_request.AutoJoin()) {
        m_joinCounter = 0;
        m_firstTable = true;
        if (root->m_childCount > 0)
            joinsFrom(root);
        // A root alone, also when none of its children could be joined.
        if (m_firstTable)
            m_from = QStringLiteral("FROM\n ") + tableText(root) + QLatin1Char(' ') +
                     root->m_resolvedAlias;
        return;
    }
    const TFromSection& from = m_request.From();
    for (int i = 0; i < from.Count(); ++i) {
        const TFromItem* item = from[i];
        if (!item->Enabled() || excluded(item) || item->TableName().trimmed().isEmpty())
            continue;
        m_from += m_from.isEmpty() ? QStringLiteral("FROM") : QStringLiteral(",");
        m_from +=
            QStringLiteral("\n ") + tableText(item) + QLatin1Char(' ') + item->m_resolvedAlias;
    }
}

void TRequestCompiler::joinsFrom(TFromItem* master)
{
    const TFromSection& from = m_request.From();
    for (int i = 0; i < from.Count(); ++i) {
        TFromItem* item = from[i];
        if (item->m_parent != master || !usable(item))
            continue;
        if (!item->JoinExpr().isEmpty())
            explicitJoin(master, item);
        else
            linkJoin(master, item);
        m_firstTable = false;
        if (++m_joinCounter > from.Count())
            error(QStringLiteral("Cannot compile %1: circular links was dedected."));
        joinsFrom(item);
    }
}

void TRequestCompiler::explicitJoin(TFromItem* master, TFromItem* item)
{
    const QString condition = QLatin1Char('(') +
                              applyParams(item->JoinExpr(), item->JoinParams(), true) +
                              QLatin1Char(')');
    if (m_kind == ServerKind::Oracle || sameName(item->JoinOperator(), QStringLiteral("WHERE"))) {
        if (m_firstTable)
            m_from = QStringLiteral("FROM\n ") + tableText(master) + QLatin1Char(' ') +
                     master->m_resolvedAlias;
        m_from +=
            QStringLiteral(",\n ") + tableText(item) + QLatin1Char(' ') + item->m_resolvedAlias;
        if (!m_whereJoins.isEmpty())
            m_whereJoins += QStringLiteral("\n AND ");
        m_whereJoins += condition;
        return;
    }
    m_from += m_from.isEmpty() ? QStringLiteral("FROM\n") : QStringLiteral("\n");
    if (m_firstTable)
        m_from += tableText(master) + QLatin1Char(' ') + master->m_resolvedAlias + QLatin1Char(' ');
    m_from += QLatin1Char(' ') + item->JoinOperator() + QLatin1Char(' ') + tableText(item) +
              QLatin1Char(' ') + item->m_resolvedAlias + QStringLiteral(" ON ") + condition;
}

void TRequestCompiler::linkJoin(TFromItem* master, TFromItem* item)
{
    struct Match
    {
        const TLinkInfo* link;
        bool itemIsParent;
    };
    QList<Match> matches;
    if (const TTableProps* props = m_access->FindTableProps(master->TableName())) {
        for (const TLinkInfo* link : props->ChildLinks) {
            if (sameName(link->Child, item->TableName()))
                matches.append({link, false});
        }
        for (const TLinkInfo* link : props->ParentLinks) {
            if (sameName(link->Parent, item->TableName()))
                matches.append({link, true});
        }
    }
    const Match* chosen = nullptr;
    if (!item->MasterFields().isEmpty()) {
        for (const Match& m : std::as_const(matches)) {
            if (sameName(m.link->RefFields, item->MasterFields())) {
                chosen = &m;
                break;
            }
        }
    } else if (matches.size() > 1) {
        DBKernelError(QStringLiteral("Cannot compile %1: multiple joins %2 with %3 with empty "
                                     "MasterFields property.")
                          .arg(m_request.Name(), item->TableName(), master->TableName()));
    } else if (matches.size() == 1) {
        chosen = &matches.first();
    }
    if (!chosen) {
        DBKernelError(QStringLiteral("Cannot compile %1: link info for tables %2,%3 not found.")
                          .arg(m_request.Name(), master->TableName(), item->TableName()));
    }
    item->m_link = chosen->link;
    item->m_linkIsMaster = chosen->itemIsParent;

    const TFromItem* parentSide = chosen->itemIsParent ? item : master;
    const TFromItem* childSide = chosen->itemIsParent ? master : item;
    int options = (parentSide->IgnoreMask() ? joParentAsStored : 0) |
                  (childSide->IgnoreMask() ? joChildAsStored : 0) |
                  (chosen->itemIsParent ? joReversed : 0);
    if (m_kind == ServerKind::Oracle) {
        if (m_firstTable)
            m_from = QStringLiteral("FROM\n ") + tableText(master) + QLatin1Char(' ') +
                     master->m_resolvedAlias;
        if (!m_whereJoins.isEmpty())
            m_whereJoins += QStringLiteral("\n AND ");
        m_whereJoins += chosen->link->JoinWhereText(
            parentSide->m_resolvedAlias, childSide->m_resolvedAlias, options, item->JoinOperator());
        m_from +=
            QStringLiteral(",\n ") + tableText(item) + QLatin1Char(' ') + item->m_resolvedAlias;
        return;
    }
    if (m_firstTable)
        options |= joWithTableNames;
    m_from += m_from.isEmpty() ? QStringLiteral("FROM\n") : QStringLiteral("\n");
    m_from += chosen->link->JoinClauseText(parentSide->m_resolvedAlias, childSide->m_resolvedAlias,
                                           options, item->JoinOperator());
}

// ---------------------------------------------------------------------------------------------
// Select list, conditions, grouping, ordering

QString TRequestCompiler::rowLimitPrefix() const
{
    return m_splitActive ? QString() : m_request.RowLimitPrefix();
}

void TRequestCompiler::lineBreak(QString& list, int& counter) const
{
    if (list.isEmpty() || list.endsWith(QLatin1Char('\n')))
        return;
    list += QStringLiteral("\n ");
    counter = 0;
}

void TRequestCompiler::nextColumn(QString& list, int& counter) const
{
    if (!list.isEmpty())
        list += QLatin1Char(',');
    if (counter == 5)
        lineBreak(list, counter);
}

void TRequestCompiler::resolveOrigin(TSelectItem* item) const
{
    const TDBRequest& r = m_request;
    if (m_tables.size() >= 2 && item->Origin().trimmed().isEmpty() &&
        item->Text() == QLatin1String("*") && r.Select().Count() >= 2)
        error(QStringLiteral("Cannot compile %1: select notation \" * \" is invalid without "
                             "origin for multiple tables."));
    if (m_tables.size() == 1) {
        item->m_originTable = m_tables.first();
        return;
    }
    int at = indexOfName(m_tables, item->Origin());
    if (at < 0)
        at = indexOfName(m_tableAliases, item->Origin());
    if (at >= 0) {
        item->m_originTable = m_tables.at(at);
        return;
    }
    item->m_originTable.clear();
    if (!item->Origin().trimmed().isEmpty()) {
        DBKernelError(QStringLiteral("Cannot compile %1: origin %2 for select item %3 "
                                     "not found.")
                          .arg(r.Name(), item->Origin(), item->Text()));
    }
}

void TRequestCompiler::buildSelect()
{
    TDBRequest& r = m_request;
    const TSelectSection& select = r.Select();
    QString list;
    int counter = 0;
    for (int i = 0; i < select.Count(); ++i) {
        TSelectItem* item = select[i];
        if (!item->Enabled() || item->Text().trimmed().isEmpty())
            continue;
        // A calculated or lookup field is a typed null column that the cache fills.
        if (IsFieldDescriptor(item->Text())) {
            nextColumn(list, counter);
            list += DescriptorColumn(*m_access,
                                     ParseFieldDescriptor(*m_access, r.Name(), item->Text()));
            ++counter;
            continue;
        }
        const QString name = !item->Alias().isEmpty() && item->Alias() != item->Text()
                                 ? item->Alias()
                                 : item->Text();
        if (excluded(item->m_fromItem)) {
            nextColumn(list, counter);
            list += r.TypedNullColumn(item->DataType(), item->Size());
            list += QLatin1Char(' ') + name;
            ++counter;
            continue;
        }
        resolveOrigin(item);

        nextColumn(list, counter);
        const QString text = applyParams(item->Text(), item->ItemParams(), true);
        if (list.endsWith(QLatin1Char('\r')))
            counter = 0;
        const bool long_ = item->ConvertCurrency() || text.size() > 120;
        if (!list.isEmpty() && counter != 0 && long_)
            lineBreak(list, counter);
        if (!item->Origin().isEmpty())
            list += item->Origin() + QLatin1Char('.');
        else if (m_tables.size() == 1 && item->Text() == QLatin1String("*"))
            list += m_tableAliases.first() + QLatin1Char('.'); // the name the FROM gives it

        list += text;
        if (!item->Alias().isEmpty() && item->Alias() != item->Text())
            list += QLatin1Char(' ') + item->Alias();
        ++counter;
        if (long_)
            lineBreak(list, counter);
    }
    if (list.isEmpty())
        error(QStringLiteral("Cannot compile %1: empty select section."));
    m_select = (r.Distinct() ? QStringLiteral("SELECT DISTINCT ") : QStringLiteral("SELECT ")) +
               rowLimitPrefix() + QStringLiteral("\n ") + list;
}

void TRequestCompiler::buildWhere()
{
    if (m_request.ViewGeneration()) {
        m_where = QStringLiteral("0 = 1");
        return;
    }
    m_where = m_splitActive ? QString() : m_request.RowLimitCondition();
    const TWhereSection& where = m_request.Where();
    QSet<int> handled;
    for (int i = 0; i < where.Count(); ++i) {
        TWhereItem* item = where[i];
        if (!applies(item) || (item->Group() > 0 && handled.contains(item->Group())))
            continue;
        QString& target = item->IsHaving() ? m_having : m_where;
        target += target.isEmpty() ? QStringLiteral(" ") : QStringLiteral("\n AND ");
        const QString own = QLatin1Char('(') + applyParams(item->Text(), item->ItemParams(), true) +
                            QLatin1Char(')');
        if (item->Group() <= 0) {
            target += own;
            continue;
        }
        // The other conditions of the group that bear on this statement, in section order.
        QString part = own;
        for (int j = i + 1; j < where.Count(); ++j) {
            TWhereItem* other = where[j];
            if (other->Group() == item->Group() && applies(other))
                part += QStringLiteral("\n      OR (") +
                        applyParams(other->Text(), other->ItemParams(), true) + QLatin1Char(')');
        }
        target += QLatin1Char('(') + part + QLatin1Char(')');
        handled.insert(item->Group());
    }
}

void TRequestCompiler::buildGroup()
{
    m_group.clear();
    int entries = 0;
    const TGroupSection& group = m_request.Group();
    for (int i = 0; i < group.Count(); ++i) {
        const TGroupItem* item = group[i];
        if (!item->Enabled() || item->FieldName().trimmed().isEmpty())
            continue;
        const QString name = item->Origin().isEmpty()
                                 ? item->FieldName()
                                 : item->Origin() + QLatin1Char('.') + item->FieldName();
        const TSelectItem* select = m_request.FindSelectItemByOrigin(name);
        if (select && excluded(select->m_fromItem))
            continue;
        m_group += m_group.isEmpty() ? QStringLiteral(" ") : QStringLiteral(",");
        if (entries == 5) {
            m_group += QStringLiteral("\n ");
            entries = 0;
        }
        m_group += item->FieldName();
        ++entries;
    }
}

// A union's ORDER BY can only name result columns: each "origin.field" element that a select
// item gives becomes that item's column name (its alias, else the field).
QString TRequestCompiler::unionColumnNames(const QString& orderField) const
{
    QStringList elements = orderField.split(QLatin1Char(','));
    const TSelectSection& select = m_request.Select();
    for (QString& element : elements) {
        const QString e = element.trimmed();
        const qsizetype dot = e.indexOf(QLatin1Char('.'));
        if (dot <= 0)
            continue;
        const QString origin = e.left(dot);
        const QString field = e.mid(dot + 1);
        for (int i = 0; i < select.Count(); ++i) {
            const TSelectItem* item = select[i];
            if (!item->IsExpr() && sameName(item->Origin(), origin) &&
                sameName(item->Text(), field)) {
                element = item->Alias().isEmpty() ? item->Text() : item->Alias();
                break;
            }
        }
    }
    return elements.join(QLatin1Char(','));
}

void TRequestCompiler::buildOrder()
{
    m_order.clear();
    int entries = 0;
    const TOrderSection& order = m_request.Order();
    for (int i = 0; i < order.Count(); ++i) {
        const TOrderItem* item = order[i];
        QString field = item->FieldName().trimmed();
        if (m_union)
            field = unionColumnNames(field);
        if (!item->Enabled() || field.isEmpty())
            continue;
        m_order += m_order.isEmpty() ? QStringLiteral(" ") : QStringLiteral(",");
        if (entries == 5) {
            m_order += QStringLiteral("\n ");
            entries = 0;
        }
        m_order += field;
        if (item->Desc())
            m_order += QStringLiteral(" DESC");
        ++entries;
    }
}

QStringList TRequestCompiler::statement() const
{
    QStringList lines{m_select, m_from};
    QString where = m_where;
    if (!m_whereJoins.isEmpty())
        where = m_whereJoins + (where.isEmpty() ? QString() : QStringLiteral("\n AND ") + where);
    if (!where.isEmpty())
        lines << QStringLiteral("WHERE\n") + where;
    if (!m_group.isEmpty()) {
        lines << QStringLiteral("GROUP BY\n") + m_group;
        if (!m_having.isEmpty())
            lines << QStringLiteral("HAVING\n") + m_having;
    }
    return lines;
}

// ---------------------------------------------------------------------------------------------
// Parameters

QString TRequestCompiler::applyParams(const QString& text, const Params& params, bool rename)
{
    static const QString Embedded = QStringLiteral("EMB_DBREQ");
    static const QString CurrencyRate = QStringLiteral("SYS_OUT_CURRENCY_COURS");
    Params& target = m_request.m_params;
    QString t = text;
    for (int i = 0; i < params.count(); ++i) {
        const Param& p = params[i];
        const QString& name = p.name();
        if (name.startsWith(Embedded, Qt::CaseInsensitive)) {
            t = ReplaceParam(t, name, embeddedText(name, params, i));
            continue;
        }
        const int found = sameName(name, CurrencyRate) ? -1 : indexOfName(m_registry, name);
        bool renaming = false;
        if (rename && found >= 0) {
            renaming = m_firstCount == std::numeric_limits<qint32>::max() || found >= m_firstCount;
            // A name shared with an earlier statement must also mean the same value there.
            if (!renaming) {
                const Param* earlier = target.findParam(name);
                renaming = earlier && !sameValue(*earlier, p);
            }
        }
        QString newName = name;
        if (renaming) {
            do {
                ++m_counter;
                newName = QLatin1Char('P') + QString::number(m_counter);
            } while (indexOfName(m_registry, newName) >= 0);
        }
        if (found < 0)
            m_registry.append(name);
        if (renaming)
            m_registry.append(newName); // so that no later name can take it again
        Param* made = target.findParam(newName);
        if (!made)
            made = &target.add(newName, p.dataType(), p.paramType());
        made->setDataType(p.dataType());
        made->setParamType(p.paramType());
        if (p.isNull() || p.dataType() == FieldType::Unknown)
            made->clear();
        else if (p.dataType() == FieldType::String)
            made->setAsString(p.asString());
        else if (p.dataType() == FieldType::Memo)
            made->setAsMemo(p.asString());
        else
            made->setValue(p.value());
        if (renaming)
            t = ReplaceParam(t, name, QLatin1Char(':') + newName);
    }
    return t;
}

QString TRequestCompiler::embeddedText(const QString& paramName, const Params& params, int index)
{
    const Param& p = params[index];
    qint64 handle = 0;
    try {
        handle = p.isNull() ? 0 : p.value().toInt64();
    } catch (const EConvertError&) {
        handle = 0;
    }
    TDBRequest* sub = handle != 0 ? m_access->FindRequest(handle) : nullptr;
    // A request cannot hold itself, directly or through others.
    if (!sub || sub->m_compiling || m_expanding.contains(sub)) {
        DBKernelError(QStringLiteral("%1: invalid DBRequest reference parameter '%2'.")
                          .arg(m_request.Name(), paramName));
    }
    QString text;
    bool rename = false;
    if (!sub->SQL().isEmpty()) {
        text = sub->SQL().join(QLatin1Char(' '));
        rename = true;
    } else {
        sub->Compile(m_registry, m_counter);
        text = sub->CompiledSQL().join(QLatin1Char(' '));
    }
    text.remove(QLatin1Char('\n'));
    m_expanding.append(sub);
    const QString result = applyParams(text, sub->GetParams(), rename);
    m_expanding.removeLast();
    return result;
}
