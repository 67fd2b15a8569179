// Loading a request into a cache: binding the cache to its main table, defining its fields from
// the source and the select items (with the calculated and lookup pseudo-fields), copying the
// rows, the two direct loads by key and by key range, and the index they need on a local table.
#include "request.h"

#include <kernel/appserver.h>
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/fielddesc.h>
#include <kernel/krnproc.h>
#include <kernel/metadata.h>
#include <kernel/plainquery.h>
#include <platform/codepage.h>
#include <platform/db/driver.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>
#include <platform/fileops.h>

namespace {

// The items of a comma list, trimmed, empty ones left out.
QStringList commaItems(const QString& text)
{
    QStringList items;
    for (const QString& item : text.split(QLatin1Char(','))) {
        if (!item.trimmed().isEmpty())
            items.append(item.trimmed());
    }
    return items;
}

// Closes the query when the scope ends, whatever happens.
class ClosedAfter
{
public:
    explicit ClosedAfter(SqlQuery& query) : m_query(query) {}
    ~ClosedAfter() { m_query.close(); }
    ClosedAfter(const ClosedAfter&) = delete;
    ClosedAfter& operator=(const ClosedAfter&) = delete;

private:
    SqlQuery& m_query;
};

bool isDateKind(TDataType type)
{
    return type == dtDateTime || type == dtDate || type == dtTime;
}

// The rows of the statement (the first one already stepped to when `pending`) appended to the
// cache as CopyDataSet appends a query's: each column into the field of its name but the row
// identifier, a Boolean field taking the value as a Boolean (texts by their first letter), up
// to the cache's packet size.
void streamRows(DbStatement& statement, bool pending, const FieldDefs& sourceDefs, TDBCache& cache)
{
    struct Column
    {
        int column;
        int slot;
        FieldType type;
    };
    const FieldDefs& defs = cache.fieldDefs();
    std::vector<Column> columns;
    for (int c = 0; c < sourceDefs.count(); ++c) {
        const int slot = defs.indexOf(sourceDefs.at(c).name);
        if (slot >= 0 && !sameName(defs.at(slot).name, cache.RowIdFieldName()))
            columns.push_back({c, slot, defs.at(slot).type});
    }
    const int limit = cache.PacketLimit();
    int copied = 0;
    // One list for every row: the cache takes the values out of it and leaves its size.
    QList<Variant> values(defs.count());
    cache.beginBulkAppend();
    try {
        for (bool row = pending; row; row = statement.step()) {
            for (const Column& k : columns) {
                if (k.type != FieldType::Boolean) {
                    values[k.slot] = statement.columnValue(k.column, k.type);
                    continue;
                }
                const Variant stored = statement.columnValue(k.column);
                if (stored.isEmpty())
                    values[k.slot] = Variant::null();
                else
                    values[k.slot] = stored.type() == Variant::Type::String
                                         ? textAsBoolean(stored.toString())
                                         : stored.toBool();
            }
            if (!cache.bulkAppend(std::move(values)))
                break;
            ++copied;
        }
    } catch (...) {
        cache.endBulkAppend();
        throw;
    }
    cache.endBulkAppend();
    cache.first();
    cache.SetPacketLimitReached(limit >= 0 && copied >= limit);
}

// A cache field made from a source column: its type follows the column's metadata `meta` (null
// when it has none) or else the type `exprType` of the select expression that gave it, by server
// kind; only text keeps its size.
FieldDef cacheColumnDef(FieldDef d, const TFieldProps* meta, TDataType exprType,
                        ServerKind::Kind kind)
{
    if (meta && (d.type == FieldType::Blob || d.type == FieldType::Memo)) {
        if (meta->DataType == dtString || meta->DataType == dtLangString)
            d.type = FieldType::Memo;
        else if (DataTypeToFieldType(meta->DataType) != FieldType::Unknown)
            d.type = DataTypeToFieldType(meta->DataType);
    }
    if (d.type == FieldType::AutoInc)
        d.type = FieldType::Integer;
    if (d.type == FieldType::String && meta && meta->Size > 255)
        d.type = FieldType::Memo;
    if (meta && meta->DataType == dtBoolean)
        d.type = FieldType::Boolean;
    if (kind == ServerKind::Oracle) {
        if (meta && (meta->DataType == dtInteger || meta->DataType == dtAutoinc))
            d.type = FieldType::Integer;
        if (!meta && exprType == dtInteger)
            d.type = FieldType::Integer;
        if (!meta && exprType == dtBoolean)
            d.type = FieldType::Boolean;
    }
    if (kind == ServerKind::Standard) {
        const TDataType t = meta ? meta->DataType : exprType;
        if (t == dtDateTime || t == dtDate)
            d.type = FieldType::DateTime;
        else if (!meta && exprType == dtBoolean)
            d.type = FieldType::Boolean;
        else if (!meta && exprType == dtMoney)
            d.type = FieldType::Currency;
    }
    if (d.type != FieldType::String)
        d.size = 0;
    return d;
}

} // namespace

TDBAccess& TDBRequest::loadingAccess() const
{
    if (!m_dbAccess)
        DBKernelError(QStringLiteral("%1 cannot load data: not assigned DBAccess.").arg(Name()));
    return *m_dbAccess;
}

// ---------------------------------------------------------------------------------------------
// Loading the request's own result

void TDBRequest::LoadData(TDBCache& cache)
{
    TDBAccess& access = loadingAccess();
    m_query->setDatabase(access.DataBase());
    if (!m_sql.isEmpty()) {
        m_query->setSql(m_sql);
    } else {
        // Compiled anew: the row limit written into the text depends on the cache being filled.
        SetCompiled(false);
        SetCompiled(true);
        m_query->close();
        m_query->setSql(m_compiledSQL);
    }
    m_query->setParams(m_params);
    BindCache(cache);
    LoadCache(cache);
}

void TDBRequest::LoadCache(TDBCache& cache)
{
    if (m_cached && !m_cacheAlias.isEmpty())
        LoadThroughCacheFile(cache);
    else
        fillFromServer(cache);
}

void TDBRequest::fillFromServer(TDBCache& cache)
{
    TDBAccess& access = loadingAccess();
    if (access.ServerKind() == ServerKind::Oracle)
        ConvertBooleanParams(m_query->params());
    if (UseRemoteSelect()) {
        LocalTable result;
        access.ExecRemoteSelect(*m_query, result);
        // The moved result goes once the cache holds its rows, also when the fill fails.
        struct Dropped
        {
            LocalTable& table;
            ~Dropped() { DeleteRemoteResult(table); }
        } dropped{result};
        FillCache(cache, result, QString(), 0);
        return;
    }
    ClosedAfter closed(*m_query);
    FillCache(cache, *m_query, QString(), 0);
}

void TDBRequest::BindCache(TDBCache& cache)
{
    TDBAccess& access = loadingAccess();
    cache.ClearFieldProps();
    cache.Close();

    bool singleStar = false;
    int items = 0;
    for (int i = 0; i < m_select.Count(); ++i) {
        const TSelectItem* s = m_select[i];
        const QString text = s->Text().trimmed();
        if (!s->Enabled() || text.isEmpty())
            continue;
        ++items;
        singleStar = text == QLatin1String("*");
        QString tableName = s->OriginTable();
        if (tableName.isEmpty() && s->FromItem())
            tableName = s->FromItem()->TableName();
        if (tableName.isEmpty() && m_from.Count() == 1)
            tableName = m_from[0]->TableName();
        const TTableProps* table = access.FindTableProps(tableName);
        if (!table)
            continue;
        if (text == QLatin1String("*")) {
            for (int f = 0; f < table->FieldCount(); ++f)
                cache.AddFieldProps(table->Fields.At(f)->FieldName, table->Fields.At(f));
        } else if (const TFieldProps* field = table->FindFieldProps(text)) {
            cache.AddFieldProps(s->Alias().isEmpty() ? text : s->Alias(), field);
        }
    }
    singleStar = singleStar && items == 1;

    const TTableProps* main = nullptr;
    bool updatable = false;
    if (m_from.Count() == 0) {
        updatable = true;
    } else if (m_from.Count() == 1) {
        main = access.FindTableProps(m_from[0]->TableName());
        updatable = m_from[0]->Updates();
    } else {
        const TFromItem* updated = nullptr;
        for (int i = 0; i < m_from.Count() && !updated; ++i) {
            if (m_from[i]->Enabled() && m_from[i]->Updates())
                updated = m_from[i];
        }
        if (updated) {
            main = access.FindTableProps(updated->TableName());
            updatable = true;
            if (main && !singleStar) {
                for (const QString& key : FieldNameList(main->KeyFields)) {
                    const auto& list = cache.FieldPropsList();
                    const bool carried = std::any_of(list.begin(), list.end(), [&](const auto& e) {
                        return e.second && e.second->Owner == main &&
                               sameName(e.second->FieldName, key);
                    });
                    if (!carried) {
                        DBKernelError(QStringLiteral("%1: key field %2 not found at dataset.")
                                          .arg(main->TableName, key));
                    }
                }
            }
        } else {
            main = access.FindTableProps(m_from[0]->TableName());
        }
    }
    cache.BindTable(main, updatable && main);
}

void TDBRequest::BindCacheToTable(TDBCache& cache, const QString& tableName, const QString& fields)
{
    const TTableProps* table = loadingAccess().GetTableProps(tableName);
    QStringList names;
    for (const QString& item : commaItems(fields)) {
        if (!IsFieldDescriptor(item))
            names.append(item);
    }
    if (names.isEmpty() || names.contains(QStringLiteral("*"))) {
        for (int f = 0; f < table->FieldCount(); ++f)
            cache.AddFieldProps(table->Fields.At(f)->FieldName, table->Fields.At(f));
    } else {
        QStringList keys = FieldNameList(table->KeyFields);
        for (const QString& name : std::as_const(names)) {
            if (const TFieldProps* props = table->FindFieldProps(name))
                cache.AddFieldProps(name, props);
            keys.removeIf([&name](const QString& k) { return sameName(k, name); });
        }
        if (!keys.isEmpty()) {
            DBKernelError(QStringLiteral("%1: key fields '%2' not found.")
                              .arg(tableName, keys.join(QLatin1Char(','))));
        }
    }
    cache.BindTable(table, true);
}

// ---------------------------------------------------------------------------------------------
// Filling

FieldDefs TDBRequest::cacheFieldDefs(TDBCache& cache, const FieldDefs& source,
                                     const QString& fields)
{
    TDBAccess& access = loadingAccess();
    const ServerKind::Kind kind = access.ServerKind();

    // The pseudo-fields of the select items: the source only carries their typed null columns.
    QList<TFieldDescriptor> selected;
    for (int i = 0; i < m_select.Count(); ++i) {
        const TSelectItem* s = m_select[i];
        if (s->Enabled() && IsFieldDescriptor(s->Text())) {
            selected.append(ParseFieldDescriptor(access, Name(), s->Text()));
            if (selected.last().IsLookup)
                cache.AddLookupDescriptor(selected.last().Name, s->Text().trimmed());
        }
    }

    FieldDefs out;
    auto adjusted = [&](FieldDef d) {
        d.required = false;
        d.emptyTextIsValue = false;
        for (const TFieldDescriptor& pseudo : std::as_const(selected)) {
            if (sameName(pseudo.Name, d.name)) {
                d.type = pseudo.DataType;
                d.size = pseudo.Size;
                return d;
            }
        }
        const TFieldProps* meta = cache.FindFieldProps(d.name);
        const TSelectItem* item = FindSelectItem(d.name);
        return cacheColumnDef(d, meta, item && item->IsExpr() ? item->DataType() : dtUnknown, kind);
    };
    auto addSource = [&](const FieldDef& d) {
        if (out.indexOf(d.name) < 0)
            out.add(adjusted(d));
    };
    auto addAllSource = [&] {
        for (const FieldDef& d : source.list())
            addSource(d);
    };

    const QString list = fields.trimmed();
    if (list.isEmpty() || list == QLatin1String("*")) {
        addAllSource();
    } else {
        for (const QString& item : commaItems(list)) {
            if (item == QLatin1String("*")) {
                addAllSource();
            } else if (IsFieldDescriptor(item)) {
                const TFieldDescriptor d = ParseFieldDescriptor(access, Name(), item);
                if (d.IsLookup)
                    cache.AddLookupDescriptor(d.Name, item);
                if (out.indexOf(d.Name) < 0)
                    out.add(d.Name, d.DataType, d.DataType == FieldType::String ? d.Size : 0);
            } else if (const FieldDef* d = source.find(item)) {
                addSource(*d);
            }
        }
    }

    QString rowId;
    if (cache.HasKeyTable()) {
        rowId = QStringLiteral("UPDATE_ID");
        for (int n = 0; out.indexOf(rowId) >= 0; ++n)
            rowId = QStringLiteral("UPDATE_ID%1").arg(n);
        out.add(rowId, FieldType::Integer);
    }
    cache.SetRowIdField(rowId);
    return out;
}

void TDBRequest::FillCache(TDBCache& cache, DataSet& source, const QString& fields, int mode,
                           const TableRange* range)
{
    if (m_loading) {
        DBKernelError(Name() + QStringLiteral(" erorr: \"Attempt load cache ") + cache.Name() +
                      QStringLiteral(" while loading another cache\"."));
    }
    m_loading = true;
    struct Clear
    {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{m_loading};

    TDBAccess& access = loadingAccess();
    // All the rows of a plain query go from the engine's statement straight into the cache; the
    // long texts of MS SQL Server need the query's own rows.
    std::unique_ptr<DbStatement> statement;
    SqlQuery* plain =
        mode == 0 && access.ServerKind() != ServerKind::MSSQL ? PlainQuery(source) : nullptr;
    if (plain)
        statement = PreparedSelect(*plain);
    bool pending = false;
    FieldDefs sourceDefs;
    if (statement) {
        pending = statement->step();
        sourceDefs = resultFieldDefs(*statement, pending);
    } else {
        if (!source.isActive())
            source.open();
        sourceDefs = source.fieldDefs();
    }
    cache.close();
    cache.fieldDefs() = cacheFieldDefs(cache, sourceDefs, fields);
    // Indexes of an earlier load may name fields this one lacks; the after-load step makes the
    // index of the cache's field list again.
    cache.indexDefs().clear();
    cache.setIndexName(QString());
    cache.createDataSet();
    if (cache.Options.testFlag(coAutoFields))
        cache.SetupFormatsAndLabels();
    cache.RegisterOpenCache();
    if (!cache.RowIdFieldName().isEmpty())
        cache.fieldByName(cache.RowIdFieldName())->setVisible(false);
    if (cache.ParentPacketRecords())
        cache.setPacketRecords(m_parentPacketRecords ? access.PacketRecords() : m_packetRecords);
    if (statement)
        streamRows(*statement, pending, sourceDefs, cache);
    else if (mode == 0 && range)
        CopyTableRange(static_cast<LocalTable&>(source), cache, range->low, range->high);
    else if (mode == 0)
        CopyDataSet(source, cache, QString(), false);
    else if (mode == 1)
        CopyDataSet(source, cache, QString(), true);
    cache.AfterLoad();
}

// ---------------------------------------------------------------------------------------------
// Direct loads by key and by key range

QString TDBRequest::directSelectList(const QString& tableName, const QString& fields) const
{
    QStringList items = commaItems(fields);
    if (items.isEmpty())
        items.append(QStringLiteral("*"));
    if (items.size() > 1 && items.first() == QLatin1String("*"))
        items.first() = tableName + QStringLiteral(".*");
    for (QString& item : items) {
        if (IsFieldDescriptor(item))
            item = DescriptorColumn(*m_dbAccess, ParseFieldDescriptor(*m_dbAccess, Name(), item));
    }
    return items.join(QLatin1Char(','));
}

void TDBRequest::setKeyParam(const QString& tableName, const QString& keyField,
                             const QString& param, const Variant& value)
{
    const TTableProps* table = m_dbAccess->FindTableProps(tableName);
    const TFieldProps* field = table ? table->FindFieldProps(keyField) : nullptr;
    Param& p = m_query->paramByName(param);
    if (field && isDateKind(field->DataType))
        p.setAsDateTime(value.toDateTime());
    else
        VarRecToParam(p, value);
}

LocalTable* TDBRequest::startDirectLoad(TDBCache* cache, const QString& tableName,
                                        const QStringList& keys, const QString& fields)
{
    TDBAccess& access = loadingAccess();
    m_query->setDatabase(access.DataBase());
    if (cache) {
        cache->ClearFieldProps();
        cache->Close();
        BindCacheToTable(*cache, tableName, fields);
    }
    if (access.ServerKind() != ServerKind::Standard)
        return nullptr;
    LocalTable& table = *access.GetTable(tableName);
    EnsureTableIndex(table, keys.join(QLatin1Char(';')));
    if (!table.isActive())
        DataSetAction(table, 0);
    DataSetAction(table, 2);
    return &table;
}

bool TDBRequest::LoadKey(TDBCache* cache, bool checkOnly, const QString& tableName,
                         const QString& keyFields, const VariantList& keyValues,
                         const QString& fields)
{
    const QStringList keys = FieldNameList(keyFields);
    if (LocalTable* table = startDirectLoad(checkOnly ? nullptr : cache, tableName, keys, fields)) {
        // The table is shared: a range left by an earlier load would hide the key.
        table->cancelRange();
        const bool found = table->findKey(keyValues);
        if (!checkOnly)
            FillCache(*cache, *table, fields, found ? 1 : -1);
        return found;
    }

    QStringList sql{
        QStringLiteral("select %1 from %2 ").arg(directSelectList(tableName, fields), tableName)};
    for (qsizetype i = 0; i < keyValues.size(); ++i) {
        if (i >= keys.size())
            DBKernelError(QStringLiteral("%1 LoadKey: fields index out of bound.").arg(Name()));
        sql.append((i == 0 ? QStringLiteral("where ") : QStringLiteral("and ")) +
                   QStringLiteral(" %1 = :%1 ").arg(keys.at(i)));
    }
    m_query->close();
    m_query->setSql(sql);
    for (qsizetype i = 0; i < keyValues.size(); ++i)
        setKeyParam(tableName, keys.at(i), keys.at(i), keyValues.at(i));
    ClosedAfter closed(*m_query);
    m_query->open();
    const bool found = !m_query->isEmpty();
    if (!checkOnly)
        FillCache(*cache, *m_query, fields, found ? 1 : -1);
    return found;
}

void TDBRequest::LoadRange(TDBCache* cache, int& count, const QString& tableName,
                           const QString& keyFields, const VariantList& lowValues,
                           const VariantList& highValues, const QString& fields)
{
    const QStringList keys = FieldNameList(keyFields);
    if (LocalTable* table =
            startDirectLoad(count == -1 ? cache : nullptr, tableName, keys, fields)) {
        // The cache takes a packet from the range's first record on: the table reads it at once.
        struct ReadAhead
        {
            LocalTable& table;
            ~ReadAhead() { table.setReadAhead(0); }
        } readAhead{*table};
        if (count == -1) {
            const int packet =
                cache->ParentPacketRecords()
                    ? (m_parentPacketRecords ? loadingAccess().PacketRecords() : m_packetRecords)
                    : cache->packetRecords();
            table->setReadAhead(packet);
            // The range's records go into the cache as the table reads them.
            const TableRange range{lowValues, highValues};
            FillCache(*cache, *table, fields, 0, &range);
        } else {
            table->setRange(lowValues, highValues);
            count = table->recordCount();
        }
        return;
    }

    QStringList sql;
    if (count == 0) {
        sql.append(QStringLiteral("select count(*) REC_COUNT from %1 ").arg(tableName));
    } else {
        sql.append(QStringLiteral("select %1 %2 from %3 ")
                       .arg(RowLimitPrefix(), directSelectList(tableName, fields), tableName));
    }
    const qsizetype bounds = qMax(lowValues.size(), highValues.size());
    for (qsizetype i = 0; i < bounds; ++i) {
        if (i >= keys.size())
            DBKernelError(QStringLiteral("%1 LoadRange: fields index out of bound.").arg(Name()));
        const bool low = i < lowValues.size();
        const bool high = i < highValues.size();
        const QString& key = keys.at(i);
        QString line;
        if (low && high)
            line = QStringLiteral(" %1 >= :L%2 and %1 <= :H%2 ").arg(key).arg(i);
        else if (low)
            line = QStringLiteral(" %1 >= :L%2 ").arg(key).arg(i);
        else
            line = QStringLiteral(" %1 <= :H%2 ").arg(key).arg(i);
        sql.append((i == 0 ? QStringLiteral("where ") : QStringLiteral("and ")) + line);
    }
    if (count != 0)
        sql.append(QStringLiteral("order by ") + keys.join(QLatin1Char(',')));
    m_query->close();
    m_query->setSql(sql);
    for (qsizetype i = 0; i < bounds; ++i) {
        if (i < lowValues.size())
            setKeyParam(tableName, keys.at(i), QStringLiteral("L%1").arg(i), lowValues.at(i));
        if (i < highValues.size())
            setKeyParam(tableName, keys.at(i), QStringLiteral("H%1").arg(i), highValues.at(i));
    }
    ClosedAfter closed(*m_query);
    m_query->open();
    if (count == 0)
        count = int(m_query->fieldByName(QStringLiteral("REC_COUNT"))->asInteger());
    else
        FillCache(*cache, *m_query, fields, 0);
}

void TDBRequest::EnsureTableIndex(LocalTable& table, const QString& keyFields)
{
    const QStringList keys = FieldNameList(keyFields);
    const QString fieldsText = keys.join(QLatin1Char(';'));
    const auto covers = [&keys](const IndexDefs& defs) {
        for (const IndexDef& def : defs.list()) {
            const QStringList indexed = def.fieldList();
            if (indexed.size() == keys.size() &&
                std::equal(indexed.begin(), indexed.end(), keys.begin(),
                           [](const QString& a, const QString& b) { return sameName(a, b); }))
                return true;
        }
        return false;
    };
    // An open table knows the indexes it had at its opening; only a missing one is looked for
    // again in the database, which another program may have given it since.
    IndexDefs existing;
    bool covered = table.isActive() && covers(table.indexDefs());
    if (!covered) {
        existing = table.storedIndexDefs();
        covered = covers(existing);
    }
    if (!covered) {
        table.close();
        const QString name = (QStringLiteral("idx") + keys.join(QString())).left(20) +
                             QLatin1Char('_') + QString::number(existing.count());
        table.addIndex(name, fieldsText, IndexDef::CaseInsensitive);
        // A record for whoever looks after the database; a folder that cannot take it costs
        // nothing else.
        const QString line = table.tableName() + QLatin1Char('\t') + name + QLatin1Char('\t') +
                             fieldsText + QStringLiteral("\r\n");
        fileops::appendFile(KernelProgramDir() + QStringLiteral("indexes.log"),
                            codepage::toAnsi(line));
    }
    // Switching the order costs the table a new reading: only when it is another order.
    if (!table.indexName().isEmpty() ||
        table.indexFieldNames().compare(fieldsText, Qt::CaseInsensitive) != 0) {
        table.setIndexName(QString());
        table.setIndexFieldNames(fieldsText);
    }
}
