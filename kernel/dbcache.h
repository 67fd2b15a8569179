// TDBCache: the kernel's in-memory dataset. A request fills it (from the database, the local
// cache file of its alias, or a table by key or key range), it knows the table and key its rows
// come from, and it registers itself with its access component so that the other open caches can
// follow its writes. Callers use it as an ordinary dataset plus the operations below; field
// lookups by name accept the legacy column names of the practice software.
#pragma once

#include <kernel/cacheapi.h>
#include <kernel/request.h>
#include <platform/data/memdataset.h>
#include <platform/db/params.h>

#include <QDateTime>
#include <QHash>
#include <QPointer>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class SqlQuery;
class TFieldProps;
struct TFieldDescriptor;

enum TDBCacheOption : quint16 {
    coAutoFields = 0x001,    // fields exist once loaded and formats and labels are applied then
    coAutoFormats = 0x002,   // display formats from the field metadata
    coAutoDisplay = 0x004,   // labels and visibility from the select items and the metadata
    coForwardID = 0x008,     // editing: a new row takes its identifier at once
    coNoRefresh = 0x010,     // never brought in line with another cache's writes
    coNoDupKeys = 0x020,     // after loading, one row per key value
    coNoCheckNulls = 0x040,  // stored only
    coNoCount = 0x080,       // the record counter ignores other caches' inserts and deletes
    coLocalFilter = 0x100,   // stored only
    coAlwaysExpand = 0x200,  // stored only
    coShowAllFields = 0x400, // fields the metadata hides are shown too
    coNoRefreshExpr = 0x800, // expression fields are not copied from other caches' writes
};
Q_DECLARE_FLAGS(TDBCacheOptions, TDBCacheOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDBCacheOptions)

// The kind of a pending change of a cache row.
enum TUpdateKind { ukModify = 0, ukInsert = 1, ukDelete = 2 };

class TDBCache : public MemDataSet, public TKernelCache, public TRequestCache
{
    Q_OBJECT
public:
    using TOnUpdateDataNotifyEvent =
        std::function<void(DataSet& logData, TDBCache& dataSet, TUpdateKind& updateKind)>;
    using TOpenLinksNotifyEvent = std::function<void(TDBCache& master, TDBCache& link)>;
    using TOnRefreshNotifyEvent =
        std::function<void(TUpdateKind updateKind, TDBCache& source, bool& done)>;
    using TCreateChildNodeEvent =
        std::function<void(TDBCache& master, TDBCache& child, bool& allowCreate)>;
    using TGetRecordCodeNotifyEvent = std::function<void(TDBCache& cache, QString& value)>;
    // A cache field name with the description of its column.
    using FieldPropsEntry = std::pair<QString, const TFieldProps*>;

    explicit TDBCache(QObject* owner = nullptr);
    // Unregisters from the access component first.
    ~TDBCache() override;

    // The cache's name in messages (the object name).
    QString Name() const { return objectName(); }

    // ---- properties
    // Stored only: the behaviour comes from the same-named members of Options.
    bool AutoFields = false;
    bool AutoFormats = false;
    bool AutoDisplay = false;
    // The order: a field list ("A;B"), made an index of the cache; empty: the fields of the key
    // columns of the cache's table (ColumnField), or the order the rows came in when the cache
    // lacks one. An index made for a list once is reused.
    QString IndexFieldNames() const { return m_indexFieldNames; }
    void SetIndexFieldNames(const QString& fields);
    // The direction of the next index made by SetIndexFieldNames.
    bool Descending() const { return m_descending; }
    void SetDescending(bool on) { m_descending = on; }

    // The caller's handlers. The cache keeps the dataset's own event slots for its routines,
    // which call these; loading and bringing the cache in line with another one fire none.
    NotifyEvent AfterOpen, BeforePost, BeforeEdit, BeforeInsert, AfterInsert, AfterEdit;
    NotifyEvent BeforeDelete, AfterDelete, BeforeCancel, AfterCancel, BeforeClose, AfterClose;
    NotifyEvent AfterPost, AfterScroll, BeforeScroll, OnCalcFields, OnNewRecord;
    FilterRecordEvent OnFilterRecord;
    TOnUpdateDataNotifyEvent OnUpdateData;
    TOpenLinksNotifyEvent OnOpenLink;
    TOnRefreshNotifyEvent OnRefresh;
    TOnRefreshNotifyEvent OnAfterRefresh;
    TCreateChildNodeEvent OnCreateChildNode;
    TGetRecordCodeNotifyEvent OnGetRecordCode;

    // The request that fills the cache; forgotten (and the cache unregistered) when it goes.
    TDBRequest* Request() const override { return m_request; }
    void SetRequest(TDBRequest* request);
    // Write-back from the change log instead of row by row; the setter only stores it.
    bool CachedUpdates() const { return m_cachedUpdates; }
    void SetCachedUpdates(bool on) { m_cachedUpdates = on; }
    // True loads the cache through its request, false closes it.
    bool Active() const { return isActive(); }
    void SetActive(bool active);
    // True: the packet size comes from the request (or the access component) at each load.
    bool ParentPacketRecords() const override { return m_parentPacketRecords; }
    void SetParentPacketRecords(bool on) { m_parentPacketRecords = on; }
    int PacketRecords() const override { return packetRecords(); }
    QString Title;
    TDBCacheOptions Options;
    QPointer<TDBCache> Master;
    QString CodeFields;

    // ---- loading
    void Open() { SetActive(true); }
    // Clears the range parameters, closes and forgets the lookup descriptors (when open).
    void Close();
    // The whole result of the request. Raises "<name> cannot load data: not assigned Request.".
    void LoadData();
    // The row of `tableName` whose key fields (';' or ',' between them) hold the values; all
    // fields when `fields` is empty. True when found (the cache is then that row, else empty).
    bool LoadKey(const QString& tableName, const QString& keyFields, const VariantList& keyValues,
                 const QString& fields = QString());
    // The rows whose key lies between the low and the high values (each end may name fewer
    // fields), in key order.
    void LoadRange(const QString& tableName, const QString& keyFields, const VariantList& lowValues,
                   const VariantList& highValues, const QString& fields = QString());
    // The last fill stopped at the packet limit: more rows wait on the server.
    bool MoreRecords() const { return m_moreRecords; }

    // ---- fields
    // By name (case ignored), also under the practice software's legacy names ("N_PATIENT",
    // "Prénom", ...) and, on Oracle, under the renamed form of a reserved word ("SIZE_" for
    // "SIZE"); null when absent.
    Field* FindField(const QString& name) const;
    // Raises EDBEditError "<cache> : Champ '<name>' non trouvé" when absent (the field part
    // alone for a cache without a name).
    Field* FieldByName(const QString& name) const;
    // The description paired with a cache field; null when none. The strict form raises
    // "<table>: properties for field '<name>' not found.".
    const TFieldProps* FindFieldProps(const QString& fieldName) const;
    const TFieldProps& FieldPropsByName(const QString& fieldName) const;
    const std::vector<FieldPropsEntry>& FieldPropsList() const { return m_fieldProps; }
    // The metadata field's name of a cache field (itself when none); the way there is
    // ColumnField, by column.
    QString CacheToMetaName(const QString& cacheName) const;

    // ---- table and key
    // Positions on the first row with the values in the index fields; without index fields, the
    // fields of the key columns of the cache's table become the index first (false, and no move,
    // when the cache lacks one).
    bool FindKey(const VariantList& keyValues);
    // The bound table's name, else the request's main table, else empty.
    QString GetTableName() const;
    // The key fields (comma list) of the bound table, else of the request's main table; raises
    // "<name>: key fields properties not found" when there are none.
    QString GetKeyFields() const;
    // Bound to a table (loading found it updatable) that has key fields.
    bool HasKeyTable() const;
    // The field selected from the column behind the table's field `metaName` (in a view, its
    // column of the base table), whatever the cache calls it; of two, the one of that name.
    // Null when the cache shows no such column: a field that only bears the name holds another
    // column. Every routine that needs a key field of the cache finds it here.
    Field* ColumnField(const QString& metaName) const;
    // The names of the fields ColumnField gives, in order; empty when one has none.
    QStringList ColumnFieldNames(const QStringList& metaNames) const;

    // ---- range parameters: "L<n>" and "H<n>" for entry n of the key field list
    Params& RangeParams() { return m_rangeParams; }
    QString RangeKeyFields() const { return m_rangeKeyFields; }
    void SetRangeKeyFields(const QString& fields) { m_rangeKeyFields = fields; }
    // Applies the parameters as a range of the cache (nothing without parameters).
    void ApplyParamRange();
    // Forgets the parameters (unless kept) and lifts the range; the keeping form leaves them.
    void CancelParamRange();
    void CancelParamRangeKeeping();

    // ---- registration with the access component of the request
    void RegisterOpenCache();
    void UnregisterOpenCache();
    // A cache restored from its file is not open for the others' writes, but it follows
    // reloads of the descriptions.
    void RegisterBoundCache();

    // ---- what the request's loading fills (requestload.cpp)
    TDBAccess* Access() const;
    void ClearFieldProps() { m_fieldProps.clear(); }
    void AddFieldProps(const QString& fieldName, const TFieldProps* props);
    void BindTable(const TTableProps* table, bool bound);
    void SetRowIdField(const QString& name) { m_rowIdField = name; }
    // "name=descriptor" pairs, comma-separated, one per lookup field.
    QString LookupDescriptors() const { return m_lookupDescriptors; }
    void AddLookupDescriptor(const QString& name, const QString& descriptor);
    // The rows are in: the index, the duplicate keys, the formats and labels, AfterOpen.
    void AfterLoad();
    // Formats (coAutoFormats) and labels (coAutoDisplay) of the fields as they are now.
    void SetupFormatsAndLabels();

    // ---- editing and write-back (writeback.cpp)
    //
    // While the cache's handlers are plugged in, every post and delete of a row of a cache bound
    // to a table with key fields is written to the database at once: the cache keeps a copy of
    // the row as it was (the work record), compares the edited row with it and writes the
    // difference in one transaction, with a trace row for traced tables on MS SQL Server and
    // Oracle; the other open caches then follow. With CachedUpdates the changes wait as work
    // records until ApplyRecord.

    // Records the current row before it changes (the edit, new-row and delete handlers call it).
    void PrepareWorkRecord(TUpdateKind kind);
    // Forgets every pending change.
    void ClearWorkRecords();
    // Writes the pending change (with CachedUpdates every work record) and carries it into the
    // other open caches. Raises on failure: everything written is rolled back and the changes
    // stay pending; the cache row keeps its edited values and its state.
    void ApplyRecord();
    // The step after the commit that carries the written rows into the other open caches.
    void ApplyChanges();
    // The pending work records; null until the first change.
    const MemDataSet* WorkRecords() const { return m_workRecords.get(); }
    int ChangeCounter() const { return m_changeCounter; }
    // True while the new-record handler runs.
    bool InNewRecord() const { return m_inNewRecord; }
    // The rows the cache counts, kept up when other caches insert or delete rows it shows
    // (frozen by coNoCount), and the same count without that option's effect.
    int RecordCounter() const { return m_recordCount; }
    int RowCounter() const { return m_rowCount; }

    // ---- following the writes of other caches (propagation.cpp)
    //
    // After a write through `source`, positioned on the written row, the other open caches of
    // its access component that show the table are brought in line in memory: a modified field
    // where the row (or a row linked to it, or a lookup of it) is shown, an inserted row where
    // it belongs, a deleted row removed. Caches with coNoRefresh, caches being edited and caches
    // not bound to a table are left alone; each keeps its current row.
    static void PropagateModified(TDBCache& source, const QStringList& changedFields);
    static void PropagateInserted(TDBCache& source);
    static void PropagateDeleted(TDBCache& source);
    // Remembers the current row (by its row identifier when it has one, else by bookmark) and
    // takes the cache's handlers out and its controls off until RestorePosition, which comes
    // back to the row. A cache being edited is never moved.
    void SavePosition();
    void RestorePosition();
    // Whether this cache, following `writer`, takes a row `writer` inserted: true unless the
    // writer is a detail whose request selects by master values that this cache's current row
    // does not carry.
    bool AcceptsMasterRow(const TDBCache& writer) const;
    // True while the cache follows another cache's write (its handlers are out).
    bool Refreshing() const { return !m_positions.isEmpty(); }

    // ---- lookup fields (propagation.cpp)
    // After a load: a change of the last source field of each lookup field reads its value
    // again.
    void SetupLookupFields();
    // Reads every lookup field of the current row (being edited) again, or one of them: the
    // value of the lookup table's row that matches the source fields, cleared when none does.
    void RefreshLookupFields();
    void RefreshLookupField(const TFieldDescriptor& lookup);

    // ---- TKernelCache
    QString RowIdFieldName() const override { return m_rowIdField; }
    int PacketLimit() const override { return packetRecords(); }
    void SetPacketLimitReached(bool reached) override { m_moreRecords = reached; }
    void SetRequestSQL(const QString& sql) override;
    void OpenCache() override { Open(); }
    void AddSelectField(const QString& fieldName) override;
    QString ColumnFieldName(const QString& fieldName) const override;
    const TTableProps* GetTableProps() const override { return m_tableProps; }
    void ReplaceTableProps(const TTableProps* old, const TTableProps* replacement) override;

    // ---- TRequestCache
    const TFieldProps* FieldPropsOf(const QString& fieldName) const override
    {
        return FindFieldProps(fieldName);
    }

protected:
    // A post that meets the cache in browse state (its BeforePost handler posted already) writes
    // nothing.
    bool internalPost(const QList<Variant>& values, PostMode mode) override;
    void fieldsChanged() override;

private:
    struct WriteCall;
    struct WorkField;
    struct SavedPosition
    {
        Bookmark bookmark;
        qint64 rowId = 0; // 0: by bookmark
        bool plugged = false;
    };

    // Runs one load of the request with the cache's own routines out of the dataset's slots.
    template <typename Load> auto loadFrame(const char* what, Load load);
    void installRoutines();
    void plugHandlers();
    void unplugHandlers();
    void routeBeforePost();
    void routeUnpluggedBeforePost();
    void routeAfterEdit();
    void routeNewRecord();
    void routeBeforeDelete();
    void routeBeforeCancel();
    void routeBeforeClose();
    void routeAfterClose();
    void releaseWorkState();
    void releaseWorkRecords();
    void dropDuplicateKeys();
    void setupLabels();
    void rebuildFieldIndex() const;
    Field* lookUp(const QString& upperName) const;

    // writeback.cpp
    QString statementTable() const;
    QString columnOf(const QString& fieldName) const;
    // The column of the statement table behind the table's field `metaName`: the field itself,
    // or in a view its column of the base table; empty for a view's field from elsewhere.
    QString tableColumn(const QString& metaName) const;
    // The work field of ColumnField(metaName); null when none.
    const WorkField* storedField(const QString& metaName) const;
    // "where K1<op>:F1", "and K2<op>:F2", ...: each key column with the stored field holding it.
    QStringList keyCondition(QLatin1StringView op) const;
    TUpdateKind pendingKind() const;
    // Positions the work records on the pending change (every record with CachedUpdates, in
    // order) and calls `visit` there.
    template <typename Visit> void forEachWorkRecord(Visit visit);
    void copyToWorkRecord();
    void changedFields(QStringList& names) const;
    void writeRecord(WriteCall& call);
    // Raises "<table>: the key field <field> is not in the cache. Update failed." for the first
    // key field of the table that the work records do not hold.
    void requireWholeKey() const;
    void writeDelete(WriteCall& call);
    void writeChange(WriteCall& call, TUpdateKind kind, const QStringList& changed);
    void writeLongTexts(WriteCall& call, const QStringList& fields);
    void deleteWithLinks(WriteCall& call);
    QStringList traceLines(WriteCall& call, TUpdateKind kind, const QStringList& changed,
                           const QStringList& keyLines);
    void WriteTraceLog(WriteCall& call, TUpdateKind kind, QStringList& lines);
    void runStatement(WriteCall& call, SqlQuery& query);
    QList<TDBCache*> followingCaches() const;
    // propagation.cpp
    void lookupSourceChanged(Field& field);
    void dropLookupHandlers();
    QString m_indexFieldNames;
    bool m_descending = false;
    QPointer<TDBRequest> m_request;
    QMetaObject::Connection m_requestGone;
    bool m_cachedUpdates = false;
    bool m_parentPacketRecords = true;
    bool m_moreRecords = false;

    const TTableProps* m_tableProps = nullptr;
    bool m_bound = false;
    QPointer<TDBAccess> m_access;
    Params m_rangeParams;
    QString m_rangeKeyFields;
    bool m_keepRange = false;
    QString m_rowIdField = QStringLiteral("UPDATE_ID");
    mutable QHash<QString, Field*> m_fieldIndex; // upper-cased field name -> field
    mutable bool m_fieldIndexStale = true;
    mutable int m_indexedFieldCount = 0;
    std::vector<FieldPropsEntry> m_fieldProps;
    QString m_lookupDescriptors;
    int m_recordCount = 0;   // rows after the last load, kept up by the write-back
    int m_rowCount = 0;      // the same, whatever coNoCount says
    int m_changeCounter = 0; // the write-back's change numbers
    std::unique_ptr<MemDataSet> m_workRecords;
    // Each stored field of the cache with its field in the work records, its column and the
    // type its parameter is written as (Unknown: the field's own); the row identifier last, and
    // the key's columns. Made and freed with the work records.
    struct WorkField
    {
        Field* field;
        Field* copy;
        QString column;
        FieldType paramType = FieldType::Unknown;
    };
    std::vector<WorkField> m_workFields;
    std::vector<const WorkField*> m_workKeys;
    const WorkField* workField(const QString& name) const;
    // Statement texts already built, by the set of changed fields: [0] updates, [1] inserts.
    QHash<quint64, QString> m_statementTexts[2];
    bool m_inNewRecord = false;
    bool m_plugged = false;
    bool m_followMark = false; // chosen to follow the write under way (its first update pending)
    bool m_answering = false;  // answering a refresh request of a writing cache
    QList<SavedPosition> m_positions;
    int m_lookupGeneration = 0; // the source-field handlers of earlier loads do nothing
};

// The cache whose last write failed; null when none failed or it is gone.
TDBCache* FailedWriteCache();
// When the last post or delete of a cache began (the program's clock).
QDateTime LastPostTime();
// True while a cache writes to the database.
bool WriteInProgress();

// Positions `target` (its handlers, if a cache, left as they are) on its first row whose
// `keyFields` (commas or semicolons) hold the values of `sourceFields` (commas) of the source's
// current row; one to six fields. In a cache bound to a table, a field of the table stands for
// the cache field of its column (TDBCache::ColumnField). False, and no move, when none matches,
// the lists are empty or longer, or the cache lacks a column.
bool LocateByFields(DataSet& target, const QString& keyFields, const DataSet& source,
                    const QString& sourceFields);
// Whether `fields` of the cache's current row hold the values of `otherFields` of the other
// dataset's (a memo of the cache counts as equal).
bool FieldsEqual(const TDBCache& cache, const QString& fields, const DataSet& other,
                 const QString& otherFields);
// Each parameter of the query takes the whole parameter of the request of the same name.
void CopyRequestParams(const TDBRequest& request, SqlQuery& query);

// The trace copy of a text: the text in the program's ANSI code page, enciphered in pieces of 510
// characters each starting the cipher afresh, the hexadecimal texts joined. Only enciphering is
// done (`encipher` false gives the text back).
QString CryptLongText(const QString& text, bool encipher);
