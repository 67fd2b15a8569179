// A request made into a database view: the view's columns read from a copy of the request that
// fetches no row, its key index and its links to the tables whose keys it carries, handed to the
// schema tools with the request's SQL.
#include "dbaccess.h"
#include "dbcache.h"
#include "metadata.h"
#include "request.h"
#include "schemaapi.h"

#include <memory>

namespace {

// The lines of a Custom text with its Label set.
QStringList withLabel(const QStringList& lines, const QString& label)
{
    const TMetaModifyScope modify;
    TCustomPropList custom(lines.join(QStringLiteral("\r\n")));
    custom.SetValues(QStringLiteral("Label"), label);
    return custom.Lines();
}

// The view column carrying `field` of the table under `alias`: the first select item with that
// origin and that text. Its name is its alias, else its text; empty when there is none.
QString viewColumn(const TDBRequest& copy, const QString& alias, const QString& field)
{
    for (int i = 0; i < copy.Select().Count(); ++i) {
        const TSelectItem* s = copy.Select()[i];
        if (sameName(s->Origin(), alias) && sameName(s->Text(), field))
            return s->Alias().isEmpty() ? s->Text() : s->Alias();
    }
    return QString();
}

// Adds the select item of `field` of the table under `alias` to the copy; its column takes the
// field's name, or the name followed by "_" and the first free number when a select item uses
// that name already. Returns the column's name.
QString addViewColumn(TDBRequest& copy, const QString& alias, const QString& field)
{
    const auto taken = [&copy](const QString& name) {
        for (int i = 0; i < copy.Select().Count(); ++i) {
            const TSelectItem* s = copy.Select()[i];
            if (sameName(s->Text(), name) || sameName(s->Alias(), name))
                return true;
        }
        return false;
    };
    TSelectItem* item = copy.Select().Add();
    item->SetOrigin(alias);
    item->SetText(field);
    if (!taken(field))
        return field;
    for (int n = 1; n <= 999; ++n) {
        const QString name = field + QLatin1Char('_') + QString::number(n);
        if (!taken(name)) {
            item->SetAlias(name);
            return name;
        }
    }
    DBKernelError(
        QStringLiteral("Cannot create view: no free column name for field '%1'.").arg(field));
}

bool isDetailOf(const TFromItem* item, const TFromItem* main)
{
    return (item->Parent() == main && !item->JoinedAsMaster()) ||
           (main->Parent() == item && main->JoinedAsMaster());
}

// Whether the view keeps one row per row of the item's table: it is not grouped, or grouped by
// the table's key.
bool groupedByKey(const TDBRequest& copy, const TFromItem* item, const QString& keyFields)
{
    if (copy.Group().Count() == 0)
        return true;
    const QString alias = item->ResolvedAlias();
    for (int i = 0; i < copy.Group().Count(); ++i) {
        const TGroupItem* g = copy.Group()[i];
        if (sameName(g->FieldName(), alias + QLatin1Char('.') + keyFields) ||
            (sameName(g->Origin(), alias) && sameName(g->FieldName(), keyFields)))
            return true;
    }
    return false;
}

// Whether a link of the metadata joins the tree item `other` as the link's child, by the
// referencing fields `masterFields` chose when they are given.
bool linkJoins(const TLinkInfo* link, const TFromItem* other, const QString& masterFields)
{
    return sameName(link->Child, other->TableName()) &&
           (masterFields.isEmpty() || sameName(link->RefFields, masterFields));
}

// The view's links: for each table of the copy whose rows the view keeps, the column that carries
// its key (the key itself, else the referencing fields of the table that joins it), added to the
// copy when missing and AutoCreateLinks is on.
void addViewLinks(TDBRequest& copy, TDBAccess& access, const TFromItem* main, bool autoCreate,
                  const QString& viewName, TViewStruct& view)
{
    const TFromSection& from = copy.From();
    for (int i = 0; i < from.Count(); ++i) {
        const TFromItem* item = from[i];
        const TTableProps* table = access.FindTableProps(item->TableName());
        if (!table)
            DBKernelError(QStringLiteral("Cannot create view: properties for table '") +
                          item->TableName() + QStringLiteral("' not found"));
        if (!groupedByKey(copy, item, table->KeyFields) || isDetailOf(item, main))
            continue;
        QString alias = item->ResolvedAlias();
        QString field = table->KeyFields;
        QString column = viewColumn(copy, alias, field);
        const TLinkInfo* used = nullptr;
        if (column.isEmpty() && item != main) {
            QList<const TFromItem*> children;
            for (int c = 0; c < from.Count(); ++c) {
                if (from[c]->Parent() == item)
                    children.append(from[c]);
            }
            for (const TLinkInfo* link : table->ChildLinks) {
                const TFromItem* joined = nullptr;
                if (item->Parent() && linkJoins(link, item->Parent(), item->MasterFields())) {
                    joined = item->Parent();
                } else {
                    for (const TFromItem* child : std::as_const(children)) {
                        if (linkJoins(link, child, child->MasterFields())) {
                            joined = child;
                            break;
                        }
                    }
                }
                if (joined) {
                    used = link;
                    alias = joined->ResolvedAlias();
                    field = link->RefFields;
                    column = viewColumn(copy, alias, field);
                    break;
                }
            }
        }
        if (column.isEmpty()) {
            if (!autoCreate)
                continue;
            column = addViewColumn(copy, alias, field);
        }
        TViewLinkItem link;
        link.MasterTable = item->TableName();
        link.MasterFields = column;
        link.KeyFields = table->KeyFields;
        link.Child = viewName;
        link.DeleteAction = daNone;
        link.Custom =
            used ? used->Custom.Lines() : QStringList{QStringLiteral("Label=") + table->Label()};
        view.Links.append(link);
    }
}

// The view's fields: one per column of the open cache, described by the field's metadata when
// the cache has it, else by the column.
void addViewFields(const TDBCache& cache, const TDBRequest& copy, const QString& viewName,
                   TViewStruct& view)
{
    for (int i = 0; i < cache.fieldCount(); ++i) {
        const Field* column = cache.field(i);
        const QString name = column->fieldName();
        const TSelectItem* select = nullptr;
        for (int s = 0; s < copy.Select().Count() && !select; ++s) {
            const TSelectItem* item = copy.Select()[s];
            if (sameName(item->Alias().isEmpty() ? item->Text() : item->Alias(), name))
                select = item;
        }
        if (!select)
            DBKernelError(QStringLiteral("Cannot find select item for field '") + name +
                          QStringLiteral("'"));
        TViewFieldItem field;
        field.FieldName = name;
        field.Origin = select->FromItem() ? select->FromItem()->TableName() : viewName;
        if (const TFieldProps* props = cache.FindFieldProps(name)) {
            field.DataType = props->DataType;
            field.Size = props->Size;
            field.Precision = props->Precision;
            field.Custom = props->Custom.Lines();
            field.Required = props->Required;
            field.NativeName = props->FieldName;
        } else {
            field.DataType = FieldTypeToDataType(column->dataType());
            field.Size = column->size();
            if (column->dataType() == FieldType::Float) {
                field.Size = 20;
                field.Precision = 6;
            }
            field.NativeName = name;
        }
        field.Custom = withLabel(field.Custom, column->displayLabel());
        field.Hidden = !column->isVisible();
        view.Fields.append(field);
    }
}

} // namespace

void TDBRequest::CreateView(bool System)
{
    if (m_viewName.isEmpty())
        DBKernelError(Name() + QStringLiteral(": cannot create view. Not specified view name"));
    TSchemaTools* tools = SchemaTools();
    if (!tools)
        DBKernelError(Name() + QStringLiteral(": cannot create view. The schema tools are not "
                                              "available."));
    TDBAccess* access = m_dbAccess;
    if (access && m_dbVersion) {
        // Tables the version being applied has just made are not described yet.
        for (int i = 0; i < m_from.Count(); ++i) {
            if (!access->FindTableProps(m_from[i]->TableName()))
                access->LoadTableProps(m_from[i]->TableName());
        }
    }

    auto copy = std::make_unique<TDBRequest>();
    auto cache = std::make_unique<TDBCache>(); // goes before its request
    TViewStruct view;
    SetCompiled(true);
    copy->Assign(*this);
    copy->SetCompiled(true);
    access = copy->DBAccess();
    if (!access)
        DBKernelError(Name() + QStringLiteral(": cannot create view. Not assigned DBAccess."));

    const TFromItem* main = nullptr;
    for (int i = 0; i < copy->From().Count(); ++i) {
        if (i == 0 || copy->From()[i]->Updates())
            main = copy->From()[i];
    }
    if (!main)
        DBKernelError(Name() + QStringLiteral(": cannot create view. No table to select from."));
    const QString mainTable = main->TableName();
    addViewLinks(*copy, *access, main, m_autoCreateLinks, m_viewName, view);

    const TTableProps* mainProps = access->FindTableProps(mainTable);
    for (int i = 0; i < copy->From().Count(); ++i)
        copy->From()[i]->SetUpdates(false);
    copy->setObjectName(QStringLiteral("ViewGenerator"));
    cache->setObjectName(QStringLiteral("ViewSource"));
    copy->SetViewGeneration(true);
    cache->SetRequest(copy.get());
    copy->SetParentPacketRecords(false);
    copy->SetPacketRecords(-1);
    cache->Options |= coAutoDisplay;
    cache->Open();

    view.TableName = m_viewName;
    view.System = System;
    view.ServerKind = access->ServerKind();
    if (mainProps) {
        view.Custom = mainProps->Custom.Lines();
        view.PrimaryIndexFields = mainProps->KeyFields;
    }
    view.BaseTable = mainTable;
    if (!m_viewTitle.isEmpty())
        view.Custom = withLabel(view.Custom, m_viewTitle);
    addViewFields(*cache, *copy, m_viewName, view);

    cache->Close();
    copy->SetViewGeneration(false);
    copy->SetCompiled(true);
    tools->CreateView(*access, view, copy->CompiledSQL());
}
