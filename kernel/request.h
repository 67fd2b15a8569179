// TDBRequest: one query of the database kernel described as data (select items, tables and how
// they join, conditions, grouping, ordering) or given as a fixed SQL text. The request compiler
// (compiler.h) turns the description into the SQL of the kernel's server kind; caches load their
// rows through it and the schema tools make views of it.
#pragma once

#include <kernel/krnproc.h>
#include <kernel/schemaapi.h>
#include <platform/db/params.h>

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class DataSet;
class LocalTable;
class SqlQuery;
class TDBAccess;
class TDBCache;
class TDBRequest;
class TFieldProps;
class TFromItem;
class TLinkInfo;
class TRequestCompiler;
class TRequestSection;

enum TSelectMode { smDefault, smClient, smServer };
enum TUpdateMode { umDefault, umClient, umServer };
enum TDisplayMode { dmDefault, dmHide, dmShow };

// ---- items

// Base of every item of a request section: a main text, a name that is only copied, the Enabled
// switch (the compiler skips disabled items) and the alternative-branch mark of from items. Any
// change of an item marks its request not compiled.
class TRequestItem
{
public:
    explicit TRequestItem(TRequestSection& section);
    virtual ~TRequestItem();
    TRequestItem(const TRequestItem&) = delete;
    TRequestItem& operator=(const TRequestItem&) = delete;

    // Copies an item of the same class; another class raises EConvertError.
    virtual void Assign(const TRequestItem& source);
    // The item's text (a select item shows its origin too).
    virtual QString DisplayName() const;

    TRequestSection& Collection() const { return *m_section; }
    TDBRequest& Request() const;
    int Index() const;

    // "<no name>" at creation.
    QString Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    // On a from item: not empty when the item is one alternative branch below its master.
    QString Union() const { return m_union; }
    void SetUnion(const QString& value);

protected:
    const QString& text() const { return m_text; }
    // The setter of the main text (Text, TableName or FieldName of the descendants).
    virtual void SetText(const QString& text);
    void storeText(const QString& text) { m_text = text; }
    // Marks the request not compiled.
    void Changed();
    // Raises EConvertError unless `source` is of this item's class.
    void checkSameClass(const TRequestItem& source) const;

private:
    TRequestSection* m_section;
    QString m_text;
    QString m_name = QStringLiteral("<no name>");
    bool m_enabled = true;
    QString m_union;
};

// An item whose text may hold ":NAME" parameters; they are parsed whenever the text changes.
class TPrmRequestItem : public TRequestItem
{
public:
    using TRequestItem::TRequestItem;

    void Assign(const TRequestItem& source) override;

    QString Text() const { return text(); }
    // A different text marks the request not compiled and rebuilds the parameters, keeping the
    // values of those whose names remain. A parameter name holding "=" (":A=B") is cut before
    // the "=" by a blank written into the text (":A =B").
    void SetText(const QString& text) override;

    Params& ItemParams() { return m_params; }
    const Params& ItemParams() const { return m_params; }

private:
    Params m_params;
};

class TSelectItem : public TPrmRequestItem
{
public:
    using TPrmRequestItem::TPrmRequestItem;

    void Assign(const TRequestItem& source) override;
    // Origin + "." + text when an origin is set, else the text.
    QString DisplayName() const override;

    // The alias or table name the field comes from.
    QString Origin() const { return m_origin; }
    void SetOrigin(const QString& origin);
    // The column's name in the result.
    QString Alias() const { return m_alias; }
    void SetAlias(const QString& alias);
    // The text is an expression, not a field of Origin.
    bool IsExpr() const { return m_isExpr; }
    void SetIsExpr(bool on);
    QString Title() const { return m_title; }
    void SetTitle(const QString& title);
    // The alias of the table an expression belongs to.
    QString ExprOrg() const { return m_exprOrg; }
    void SetExprOrg(const QString& alias);
    TDataType DataType() const { return m_dataType; }
    void SetDataType(TDataType type);
    int Size() const { return m_size; }
    void SetSize(int size);
    TDisplayMode DisplayMode() const { return m_displayMode; }
    void SetDisplayMode(TDisplayMode mode);
    bool ConvertCurrency() const { return m_convertCurrency; }
    void SetConvertCurrency(bool on);

    // Set by the compiler: the from item the field comes from and its table.
    TFromItem* FromItem() const { return m_fromItem; }
    QString OriginTable() const { return m_originTable; }

private:
    friend class TRequestCompiler;

    QString m_origin;
    QString m_alias;
    bool m_isExpr = false;
    QString m_title;
    QString m_exprOrg;
    TDataType m_dataType = dtUnknown;
    int m_size = 0;
    TDisplayMode m_displayMode = dmDefault;
    bool m_convertCurrency = false;
    TFromItem* m_fromItem = nullptr;
    QString m_originTable;
};

class TFromItem : public TRequestItem
{
public:
    using TRequestItem::TRequestItem;

    void Assign(const TRequestItem& source) override;

    // The request's main table. Setting it clears Updates on every other item of the section.
    bool Updates() const { return m_updates; }
    void SetUpdates(bool on);
    QString Alias() const { return m_alias; }
    void SetAlias(const QString& alias);
    // An explicit join condition; its ":NAME" parameters are parsed as those of item texts.
    QString JoinExpr() const { return m_joinExpr; }
    void SetJoinExpr(const QString& expression);
    Params& JoinParams() { return m_joinParams; }
    const Params& JoinParams() const { return m_joinParams; }
    // Read in upper case, "JOIN" when empty.
    QString JoinOperator() const;
    void SetJoinOperator(const QString& op);
    QString TableName() const { return text(); }
    void SetTableName(const QString& name) { SetText(name); }
    // The alias of the item this one is joined to; empty for a root table.
    QString MasterTable() const { return m_masterTable; }
    void SetMasterTable(const QString& alias);
    // Chooses among several links between the two tables (the link's REF_FIELDS).
    QString MasterFields() const { return m_masterFields; }
    void SetMasterFields(const QString& fields);
    // The table name as it stands, not through the access component's table-name map.
    bool IgnoreMask() const { return m_ignoreMask; }
    void SetIgnoreMask(bool on);

    // Set by the compiler: Alias, else TableName; the master in the join tree (null for a root or
    // an item left out of the tree), the tree level (1 for a root), the link that joins the item
    // to its master and whether the item is the link's parent side (joined as a master).
    QString ResolvedAlias() const { return m_resolvedAlias; }
    TFromItem* Parent() const { return m_parent; }
    int Level() const { return m_level; }
    const TLinkInfo* JoinLink() const { return m_link; }
    bool JoinedAsMaster() const { return m_linkIsMaster; }

private:
    friend class TRequestCompiler;
    friend class TFromSection;

    bool m_updates = false;
    QString m_alias;
    QString m_joinExpr;
    Params m_joinParams;
    QString m_joinOperator;
    QString m_masterTable;
    QString m_masterFields;
    bool m_ignoreMask = false;

    QString m_resolvedAlias;
    TFromItem* m_parent = nullptr;
    int m_level = 0;
    int m_childCount = 0;
    bool m_excluded = false;
    bool m_savedExcluded = false;
    bool m_optional = false;
    bool m_linkIsMaster = false;
    const TLinkInfo* m_link = nullptr;
};

class TWhereItem : public TPrmRequestItem
{
public:
    using TPrmRequestItem::TPrmRequestItem;

    void Assign(const TRequestItem& source) override;

    // Items of the same group above 0 are joined by OR.
    int Group() const { return m_group; }
    void SetGroup(int group);
    // The alias of the table the condition belongs to.
    QString Origin() const { return m_origin; }
    void SetOrigin(const QString& origin);
    // The condition goes to HAVING.
    bool IsHaving() const { return m_isHaving; }
    void SetIsHaving(bool on);

    TFromItem* FromItem() const { return m_fromItem; }

private:
    friend class TRequestCompiler;

    int m_group = 0;
    QString m_origin;
    bool m_isHaving = false;
    TFromItem* m_fromItem = nullptr;
};

class TOrderItem : public TRequestItem
{
public:
    using TRequestItem::TRequestItem;

    void Assign(const TRequestItem& source) override;

    QString FieldName() const { return text(); }
    void SetFieldName(const QString& name) { SetText(name); }
    bool Desc() const { return m_desc; }
    void SetDesc(bool on);

private:
    bool m_desc = false;
};

class TGroupItem : public TRequestItem
{
public:
    using TRequestItem::TRequestItem;

    void Assign(const TRequestItem& source) override;

    QString FieldName() const { return text(); }
    void SetFieldName(const QString& name) { SetText(name); }
    QString Origin() const { return m_origin; }
    void SetOrigin(const QString& origin);

private:
    QString m_origin;
};

// ---- sections

// An ordered collection of items that knows its request; every change of it marks the request
// not compiled (once, at the end of an update bracket).
class TRequestSection
{
public:
    explicit TRequestSection(TDBRequest& request) : m_request(request) {}
    virtual ~TRequestSection();
    TRequestSection(const TRequestSection&) = delete;
    TRequestSection& operator=(const TRequestSection&) = delete;

    TDBRequest& Request() const { return m_request; }
    int Count() const { return int(m_items.size()); }
    TRequestItem* Item(int index) const;
    int IndexOf(const TRequestItem* item) const;
    void Delete(int index);
    void Clear();
    // Replaces the items by copies of the other section's (of the same kind).
    void Assign(const TRequestSection& source);

    void BeginUpdate() { ++m_updating; }
    void EndUpdate();
    // Marks the request not compiled (deferred while updating).
    void Update();

protected:
    TRequestItem* addItem(std::unique_ptr<TRequestItem> item);
    virtual std::unique_ptr<TRequestItem> createItem() = 0;

private:
    TDBRequest& m_request;
    std::vector<std::unique_ptr<TRequestItem>> m_items;
    int m_updating = 0;
    bool m_changedWhileUpdating = false;
};

// A section typed to its item class.
template <class T> class TTypedSection : public TRequestSection
{
public:
    using TRequestSection::TRequestSection;
    T* Items(int index) const { return static_cast<T*>(Item(index)); }
    T* operator[](int index) const { return Items(index); }
    virtual T* Add() { return static_cast<T*>(addItem(createItem())); }

protected:
    std::unique_ptr<TRequestItem> createItem() override { return std::make_unique<T>(*this); }
};

class TSelectSection : public TTypedSection<TSelectItem>
{
public:
    using TTypedSection::TTypedSection;
};

class TFromSection : public TTypedSection<TFromItem>
{
public:
    using TTypedSection::TTypedSection;
    // The first item added to the section becomes the main table.
    TFromItem* Add() override;
};

class TWhereSection : public TTypedSection<TWhereItem>
{
public:
    using TTypedSection::TTypedSection;
};

class TGroupSection : public TTypedSection<TGroupItem>
{
public:
    using TTypedSection::TTypedSection;
};

class TOrderSection : public TTypedSection<TOrderItem>
{
public:
    using TTypedSection::TTypedSection;
};

// ---- the cache side

// What a request asks of the cached dataset it fills (the cache sets itself as the request's
// target around a load) and of the cache given to BuildKeyWhere. The cached dataset implements it.
class TRequestCache
{
public:
    virtual ~TRequestCache() = default;
    // True: the cache takes its packet size from its request.
    virtual bool ParentPacketRecords() const = 0;
    virtual int PacketRecords() const = 0;
    // The request that fills the cache.
    virtual TDBRequest* Request() const = 0;
    // The description paired with the cache field of that name; null when it has none.
    virtual const TFieldProps* FieldPropsOf(const QString& fieldName) const = 0;
};

// Where one row of a cache field's own table is found by its key.
struct TKeyWhere
{
    QString TableName; // the table the field comes from (its origin, for a view field)
    QString FieldName; // the column in that table
    QString Where;     // "where KEY=:FIELD and ...": each key field bound to the cache field
                       // that carries it
};

// For reading one TEXT or IMAGE column of a cache's current row by key: the table the named field
// comes from, and a where text binding each key field of that table to a cache field that
// carries it (the key field itself, or a field that refers to it through a link between the
// request's tables). False when the field, its table, its key or a carrier of any key field
// cannot be found. The request must be compiled.
bool BuildKeyWhere(const TRequestCache& cache, const QString& fieldName, TKeyWhere& result);

// ---- the request

class TDBRequest : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TDBRequest& sender)>;

    explicit TDBRequest(QObject* owner = nullptr);
    ~TDBRequest() override;

    // The request's name in messages (the object name).
    QString Name() const { return objectName(); }

    TSelectSection& Select() { return m_select; }
    const TSelectSection& Select() const { return m_select; }
    TFromSection& From() { return m_from; }
    const TFromSection& From() const { return m_from; }
    TWhereSection& Where() { return m_where; }
    const TWhereSection& Where() const { return m_where; }
    TGroupSection& Group() { return m_group; }
    const TGroupSection& Group() const { return m_group; }
    TOrderSection& Order() { return m_order; }
    const TOrderSection& Order() const { return m_order; }

    // The parameters of the compiled or fixed SQL. Setting them copies only the values of the
    // same-named parameters.
    Params& GetParams() { return m_params; }
    const Params& GetParams() const { return m_params; }
    void SetParams(const Params& params) { m_params.assignValues(params); }
    // The engine's lookup: raises when the name is missing.
    Param& ParamByName(const QString& name) { return m_params.paramByName(name); }

    // A fixed SQL text used instead of the description for loading. A different text rebuilds
    // the parameters, keeping the values of those whose names remain.
    QStringList SQL() const { return m_sql; }
    void SetSQL(const QStringList& lines);
    void SetSQLText(const QString& text);

    // True while CompiledSQL holds the compiled text of the current description. True compiles
    // (raising EDBKernelError on a faulty description, which leaves it False); False drops the
    // text.
    bool Compiled() const { return m_compiled; }
    void SetCompiled(bool compiled);
    const QStringList& CompiledSQL() const { return m_compiledSQL; }
    // The compiled lines as one text, as the engine takes it.
    QString CompiledText() const { return m_compiledSQL.join(QLatin1Char('\n')); }

    TDBAccess* DBAccess() const { return m_dbAccess; }
    void SetDBAccess(TDBAccess* access);

    // Join the tables by their master tree (true) or list them side by side.
    bool AutoJoin() const { return m_autoJoin; }
    void SetAutoJoin(bool on) { setFlag(m_autoJoin, on); }
    TSelectMode SelectMode() const { return m_selectMode; }
    void SetSelectMode(TSelectMode mode) { m_selectMode = mode; }
    TUpdateMode UpdateMode() const { return m_updateMode; }
    void SetUpdateMode(TUpdateMode mode) { m_updateMode = mode; }
    // The packet size is the row limit written into the compiled text.
    bool ParentPacketRecords() const { return m_parentPacketRecords; }
    void SetParentPacketRecords(bool on) { setFlag(m_parentPacketRecords, on); }
    int PacketRecords() const { return m_packetRecords; }
    void SetPacketRecords(int count);
    bool Cached() const { return m_cached; }
    void SetCached(bool on) { m_cached = on; }
    QString CacheAlias() const { return m_cacheAlias; }
    void SetCacheAlias(const QString& alias) { m_cacheAlias = alias; }
    bool Distinct() const { return m_distinct; }
    void SetDistinct(bool on) { setFlag(m_distinct, on); }
    // Tables that nothing selects or filters are left out of the joins.
    bool JoinOptimization() const { return m_joinOptimization; }
    void SetJoinOptimization(bool on) { setFlag(m_joinOptimization, on); }
    QString ViewName() const { return m_viewName; }
    void SetViewName(const QString& name) { m_viewName = name; }
    QString ViewTitle() const { return m_viewTitle; }
    void SetViewTitle(const QString& title) { m_viewTitle = title; }
    SchemaVersion* DBVersion() const { return m_dbVersion; }
    void SetDBVersion(SchemaVersion* version) { m_dbVersion = version; }
    // OR groups of conditions become a UNION of statements.
    bool SplitWhereToUnion() const { return m_splitWhereToUnion; }
    void SetSplitWhereToUnion(bool on) { setFlag(m_splitWhereToUnion, on); }
    bool AutoCreateLinks() const { return m_autoCreateLinks; }
    void SetAutoCreateLinks(bool on) { m_autoCreateLinks = on; }
    // Stored and copied; nothing reads it.
    bool EmptyOnVoidFilter() const { return m_emptyOnVoidFilter; }
    void SetEmptyOnVoidFilter(bool on) { m_emptyOnVoidFilter = on; }

    // Fired at the start of every compilation, and after the statements are built but before
    // the macros are expanded.
    TNotifyEvent OnBeforeCompile;
    TNotifyEvent OnAfterCompile;

    // Creates the database view ViewName of the request with the kernel metadata describing it
    // (fields, key index on the main table's key, links to the tables whose keys it carries),
    // through the registered schema tools; `System` becomes the view's system flag. The column
    // types come from opening a copy of the request that fetches no row. Raises EDBKernelError
    // (no view name, a table without description, a column no select item names, no schema
    // tools); the database's errors pass through.
    void CreateView(bool System);

    // While a view is made of the request, its conditions are "0 = 1": opening it reads only the
    // column types.
    bool ViewGeneration() const { return m_viewGeneration; }
    void SetViewGeneration(bool on) { setFlag(m_viewGeneration, on); }

    // The cache being filled, set by the cache around a load; null otherwise.
    TRequestCache* TargetCache() const { return m_targetCache; }
    void SetTargetCache(TRequestCache* cache) { m_targetCache = cache; }

    // From another request: AutoJoin, Distinct, DBAccess, the five sections, JoinOptimization,
    // ViewName, ViewTitle, SplitWhereToUnion and EmptyOnVoidFilter. Not the SQL, the parameters,
    // the packet, cache and mode settings, DBVersion, AutoCreateLinks nor the events.
    void Assign(const TDBRequest& source);

    // The TableName of the first from item marked Updates, else of the first from item.
    QString MainTableName() const;
    // The first select item whose Alias is the name, else the first whose text is; null when
    // none (case ignored).
    TSelectItem* FindSelectItem(const QString& name) const;
    // The first select item whose Origin + "." + text (the text alone for an expression) is the
    // name; null when none (case ignored).
    TSelectItem* FindSelectItemByOrigin(const QString& name) const;
    // The first from item whose Alias is the name, else the first whose TableName is.
    TFromItem* FindFromItem(const QString& name) const;
    // Whether the select field `fieldName` is joined (above or below its own table in the join
    // tree) to `tableName` through `field`. The request must be compiled.
    bool IsFieldFromTable(const QString& fieldName, const QString& tableName,
                          const QString& field) const;

    // Loading and write-back go through the application server (local server kind only).
    bool UseRemoteSelect() const;
    bool UseRemoteUpdate() const;

    // Rows fetched per packet: the access component's packet size with ParentPacketRecords, else
    // the request's own; the target cache's own when it does not take it from the request.
    int GetRowLimit() const;
    // The row limit as the start of the select list ("TOP n" on MS SQL Server) and as a
    // condition (" ROWNUM <= n" on Oracle); empty elsewhere and for a negative limit.
    QString RowLimitPrefix() const;
    QString RowLimitCondition() const;
    // A null column typed for a union with a real column of that kernel type and size:
    // " null " on MS SQL Server, else " cast(null as TYPE) " with a type the server accepts.
    QString TypedNullColumn(TDataType type, int size) const;

    // Compiles the description into CompiledSQL, naming the parameters of every item uniquely
    // through `registry` and `counter` (the request's own, or those of the request this one is
    // embedded in). Raises EDBKernelError; CompiledSQL is then empty.
    void Compile(QStringList& registry, qint32& counter);

    // The handle that an "EMB_DBREQ..." parameter of another request holds to embed this one
    // (from the access component's registry of live requests). Raises EDBKernelError without
    // an access component.
    int EmbedHandle();

    // Marks the request not compiled (any change of the description).
    void Changed();

    // ---- loading caches (requestload.cpp, cachefile.cpp)
    //
    // The query the request runs, and the one it uses for bookkeeping statements (the versions
    // of cached aliases, the long texts of MS SQL Server).
    SqlQuery& Query() const { return *m_query; }
    SqlQuery& Query2() const { return *m_query2; }
    // The fixed SQL, else the compiled description, with the request's parameters, into the
    // cache (bound to the request's main table first). Raises "<name> cannot load data: not
    // assigned DBAccess.".
    void LoadData(TDBCache& cache);
    // Fills the bound cache from the query, the application server or the local cache file.
    void LoadCache(TDBCache& cache);
    // The cache's field descriptions and main table from the select items and the from items.
    void BindCache(TDBCache& cache);
    // The same for a direct load of `fields` of `tableName` (every key field must be among
    // them).
    void BindCacheToTable(TDBCache& cache, const QString& tableName, const QString& fields);
    // Defines the cache's fields from the source (or from `fields`, a comma list that may hold
    // "CALC(" and "LOOK(" items) and copies the rows: mode 0 all (up to the cache's packet
    // size), 1 the source's current row, any other none. One fill at a time per request.
    // With `range` (mode 0, the source a local table), the range is set on the source once the
    // cache is ready and its records are copied (CopyTableRange).
    struct TableRange
    {
        VariantList low, high;
    };
    void FillCache(TDBCache& cache, DataSet& source, const QString& fields, int mode,
                   const TableRange* range = nullptr);
    // The row of the table whose key fields hold the values: true when it exists. With
    // `checkOnly` the cache (may be null) is neither bound nor filled.
    bool LoadKey(TDBCache* cache, bool checkOnly, const QString& tableName,
                 const QString& keyFields, const VariantList& keyValues, const QString& fields);
    // The rows whose key lies between the two ends: `count` -1 loads them into the cache, 0
    // only counts them (the number comes back in `count`).
    void LoadRange(TDBCache* cache, int& count, const QString& tableName, const QString& keyFields,
                   const VariantList& lowValues, const VariantList& highValues,
                   const QString& fields);
    // A cached request: the cache from the local file of the alias while the database's version
    // of the alias is the one the file was saved at, else from the database (and saved).
    void LoadThroughCacheFile(TDBCache& cache);
    // The folder of the local cache files (made when missing), ending with a separator.
    QString GetCacheDir() const;
    // Makes sure the local table has an index on the key fields and orders it by them.
    void EnsureTableIndex(LocalTable& table, const QString& keyFields);
    // A fill is running.
    bool Loading() const { return m_loading; }

private:
    friend class TRequestCompiler;

    void setFlag(bool& flag, bool on);
    void rebuildParams();
    // requestload.cpp
    TDBAccess& loadingAccess() const;
    void fillFromServer(TDBCache& cache);
    FieldDefs cacheFieldDefs(TDBCache& cache, const FieldDefs& source, const QString& fields);
    QString directSelectList(const QString& tableName, const QString& fields) const;
    // The start of a load by key or range: the cache (when given) bound to the table; on the
    // local kind the table object, indexed on the keys, open and refreshed (else null).
    LocalTable* startDirectLoad(TDBCache* cache, const QString& tableName, const QStringList& keys,
                                const QString& fields);
    void setKeyParam(const QString& tableName, const QString& keyField, const QString& param,
                     const Variant& value);

    TSelectSection m_select{*this};
    TFromSection m_from{*this};
    TWhereSection m_where{*this};
    TGroupSection m_group{*this};
    TOrderSection m_order{*this};
    Params m_params;
    QStringList m_sql;
    QStringList m_compiledSQL;
    bool m_compiled = false;
    QPointer<TDBAccess> m_dbAccess;
    bool m_autoJoin = true;
    TSelectMode m_selectMode = smDefault;
    TUpdateMode m_updateMode = umDefault;
    bool m_parentPacketRecords = true;
    int m_packetRecords = 50;
    bool m_cached = false;
    QString m_cacheAlias;
    bool m_distinct = false;
    bool m_joinOptimization = false;
    QString m_viewName;
    QString m_viewTitle;
    QPointer<SchemaVersion> m_dbVersion;
    bool m_splitWhereToUnion = false;
    bool m_autoCreateLinks = true;
    bool m_emptyOnVoidFilter = false;

    // The parameter names and counter of the last compilation.
    QStringList m_paramRegistry;
    qint32 m_paramCounter = 0;
    bool m_viewGeneration = false;
    bool m_compiling = false; // changes made by the compiler itself leave the flag alone
    TRequestCache* m_targetCache = nullptr;
    SqlQuery* m_query;  // child
    SqlQuery* m_query2; // child
    bool m_loading = false;
};

// Scans `text` for ":NAME" parameters (the platform's one scanner) and gives the parameter list:
// each name once, input, without data type.
Params ParseRequestParams(const QString& text);
// The text with every occurrence of the parameter `name` (case ignored; literals and "::" are
// no parameters) replaced whole, from its ":" to the end of its name, by `replacement`.
QString ReplaceParam(const QString& text, const QString& name, const QString& replacement);
