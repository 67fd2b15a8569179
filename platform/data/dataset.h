// The cursor dataset base shared by every dataset of the program (the in-memory dataset, query
// results, local tables): fields, states and the order in which their events fire, navigation,
// bookmarks, Locate and Lookup, filters, counted DisableControls and observers; and the indexed
// dataset with index definitions, key search and key ranges. Backends implement a narrow
// record-storage interface (the protected "internal" operations below).
//
// Adding a dataset kind: derive from DataSet, or from IndexedDataSet when the records have an order
// chosen by index with key search and ranges (MemDataSet and LocalTable are the models; SqlQuery is
// the read-only one). Implement the pure internal* operations of the base (open, close, the four
// moves, read, the three bookmark operations, post, delete) and, for IndexedDataSet, setIndex,
// seek and setRange; override the optional ones (record count and number, refresh, new-record
// defaults, canModify) where the storage can answer faster or differently. A backend keeps only
// its own cursor and records: the base fires every event in the order drawn above DataSet, applies
// the filter, keeps the states and tells the observers, so a backend never calls a handler or an
// observer itself. When its records change outside the base's operations (a bulk load, emptying
// the storage), it calls resync(). A database dataset holds its database through a DatabaseBinding.
// Tests: the event order, bookmarks, filters and observers are checked once on MemDataSet
// (tests/platform/dataset_test.cpp, with EventLog and CountingObserver from dataset_helpers.h); a
// new kind gets a suite of its own for what its storage does (order, keys, ranges, writes, errors)
// against real storage, as db_localtable_test.cpp does on SQLite files.
#pragma once

#include <platform/data/field.h>
#include <platform/exception.h>

#include <QObject>

#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

struct FilterExpr;

// The error of the in-memory dataset engine ("Key violation.", damaged dataset files).
QV_EXCEPTION_CLASS(EDBClient, EDBEditError)

// The value of one record position, kept by a caller to come back to that record. A bookmark stays
// valid while its record exists, across edits of that record or of any other; after the record is
// deleted it is reported invalid.
class Bookmark
{
public:
    Bookmark() = default;
    explicit Bookmark(qint64 id) : m_id(id), m_set(true) {}
    bool isNull() const { return !m_set; }
    qint64 id() const { return m_id; }
    friend bool operator==(const Bookmark& a, const Bookmark& b)
    {
        return a.m_set == b.m_set && (!a.m_set || a.m_id == b.m_id);
    }

private:
    qint64 m_id = 0;
    bool m_set = false;
};

// Receives the changes of a dataset (grids and other views). A dataset tells its observers once
// per change; while its controls are disabled it tells them nothing and, when the count returns
// to 0, sends one dataSetChanged.
class DataSetObserver
{
public:
    virtual ~DataSetObserver() = default;
    // Content, order or layout changed (open, close, refresh, filter, index, range, delete, post
    // of a new record): views re-read everything.
    virtual void dataSetChanged(DataSet& dataSet) = 0;
    // A value of the current record changed while editing; field is null when several did.
    virtual void recordChanged(DataSet& dataSet, Field* field) = 0;
    // The state changed (see DataSet::State).
    virtual void stateChanged(DataSet& dataSet) = 0;
    // The cursor moved to another record.
    virtual void scrolled(DataSet& dataSet) = 0;
};

// A cursor over records.
//
// States and transitions (the public operation, then the events in the order they fire):
//
//   Inactive --open--> Browse           BeforeOpen, AfterOpen, AfterScroll (when not empty)
//   Browse   --close-> Inactive         BeforeClose, AfterClose (a pending edit is dropped)
//   Browse   --edit--> Edit             BeforeEdit, AfterEdit (edit of an empty dataset inserts)
//   Browse   --insert/append--> Insert  BeforeInsert, BeforeScroll, OnNewRecord, AfterInsert,
//                                       AfterScroll
//   Edit|Insert --post--> Browse        BeforePost, (required check, write), AfterPost
//   Edit|Insert --cancel--> Browse      BeforeCancel, AfterCancel
//   Browse|Edit --deleteRecord--> Browse  BeforeDelete, BeforeScroll, AfterDelete, AfterScroll
//                                       (deleteRecord while inserting cancels the insert)
//   Browse   --first/next/.../locate/gotoBookmark/findKey--> Browse
//                                       BeforeScroll, AfterScroll (a search that finds nothing
//                                       fires BeforeScroll only and stays put)
//   Browse   --setKey/setRangeStart/...--> SetKey --gotoKey/applyRange/cancel--> Browse
//   (CalcFields and Filter are entered only around OnCalcFields and OnFilterRecord.)
//
// Rules: edit while editing or inserting does nothing; insert, append and every move first end a
// pending edit (posted when modified, cancelled when not); a Before* handler that raises aborts the
// operation and leaves the record and the state as they were; a BeforePost handler that posts or
// cancels itself ends the outer post, which then does nothing more. Errors of the dataset are
// EDBEditError with the messages the program's handlers know ("Dataset not in edit or insert
// mode", "Cannot modify a read-only dataset", "Record not found", ...).
class DataSet : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert, SetKey, CalcFields, Filter };
    enum LocateOption { CaseInsensitive = 0x1, PartialKey = 0x2 };
    Q_DECLARE_FLAGS(LocateOptions, LocateOption)
    enum FilterOption { FilterCaseInsensitive = 0x1 };
    Q_DECLARE_FLAGS(FilterOptions, FilterOption)

    using NotifyEvent = std::function<void(DataSet& dataSet)>;
    using FilterRecordEvent = std::function<void(DataSet& dataSet, bool& accept)>;

    explicit DataSet(QObject* parent = nullptr);
    ~DataSet() override;

    // ---- fields
    // Column definitions: set by the caller before opening (in-memory datasets) or read from the
    // storage when opening (queries, tables).
    FieldDefs& fieldDefs() { return m_fieldDefs; }
    const FieldDefs& fieldDefs() const { return m_fieldDefs; }
    // Adds a persistent field (kept across close and open) before the dataset is opened. Data
    // fields are bound to the definition of the same name when opening; calculated and lookup
    // fields get their values from OnCalcFields. Without persistent data fields, opening creates
    // one field per definition, and closing removes them again.
    Field* addField(const QString& name, FieldType type, int size = 0,
                    Field::Kind kind = Field::Kind::Data);
    // Removes every persistent field (dataset closed).
    void clearFields();
    int fieldCount() const { return int(m_fields.size()); }
    Field* field(int i) const { return m_fields.at(size_t(i)).get(); }
    // Null when absent. Names compare without regard to case.
    Field* findField(const QString& name) const;
    // Raises EDBEditError "<dataset name> : Champ '<name>' non trouvé" when absent ("Champ
    // '<name>' non trouvé" for a dataset without a name).
    Field* fieldByName(const QString& name) const;
    // Names of the fields, in order.
    QStringList fieldNames() const;

    // ---- opening
    void open();
    void close();
    void setActive(bool active);
    bool isActive() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    // Re-reads the records from the storage, keeping the current record when it still exists.
    void refresh();

    // ---- navigation
    void first();
    void last();
    void next();
    void prior();
    // Moves by `distance` records; returns how many it moved (negative backwards).
    int moveBy(int distance);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    // True for a closed dataset too.
    bool isEmpty() const;
    // Records visible through the filter and the range.
    int recordCount() const;
    // Position of the current record among them, from 1; 0 when there is none (or while
    // inserting).
    int recNo() const;
    void setRecNo(int recNo);

    // ---- editing
    void edit();
    void insert();
    void append();
    void post();
    void cancel();
    void deleteRecord();
    // Append, set the data fields in order from the values (null for missing ones), post.
    void appendRecord(const VariantList& values);
    // Ends a pending edit as a move does: post when modified, cancel when not.
    void checkBrowseMode();
    // A field was changed since edit or insert began.
    bool isModified() const { return m_modified; }
    // In insert state: the record goes to the end (append) rather than before the current one.
    bool isAppending() const
    {
        return m_state == State::Insert && m_insertMode == PostMode::Append;
    }
    // False for read-only datasets (raising "Cannot modify a read-only dataset" on edit).
    virtual bool canModify() const { return true; }

    // ---- bookmarks
    Bookmark bookmark() const;
    // Raises EDBEditError "Record not found" when the record no longer exists.
    void gotoBookmark(const Bookmark& bookmark);
    bool bookmarkValid(const Bookmark& bookmark) const;

    // ---- searching
    // Moves to the first record (in the current order, through the filter and the range) whose
    // fields ("A;B;C", 1 to 6 names) equal the values. Case-insensitive compares texts by the
    // program's folding collation; partial key compares texts by their beginning. Returns false
    // and stays put when no record matches.
    bool locate(const QString& keyFields, const VariantList& values, LocateOptions options = {});
    bool locate(const QString& keyField, const Variant& value, LocateOptions options = {});
    // Bookmarks of every record that locate would find (fields and values as it takes them), in
    // the current order. The cursor does not move and no event fires.
    QList<Bookmark> matchingBookmarks(const QString& keyFields, const VariantList& values,
                                      LocateOptions options = {});
    // The value of `resultField` in the first record matching as locate without options, Null
    // when none matches. The cursor does not move and no event fires.
    Variant lookup(const QString& keyFields, const VariantList& values, const QString& resultField);

    // ---- filtering
    // With Filtered on, a record is visible when the filter text accepts it and OnFilterRecord
    // accepts it. The filter text is a small expression: comparisons of a field with a literal
    // (=, <>, <, >, <=, >=; strings in single quotes with '' for a quote; numbers; NULL), a
    // boolean field alone, AND, OR, NOT and parentheses, e.g. "FIELD_NAME = 'X' and LANGUE_ID = 1"
    // or "CHANGED". A text that does not parse, or whose parentheses and NOTs nest more than 256
    // levels deep, raises EDBEditError when it is set.
    void setFiltered(bool filtered);
    bool isFiltered() const { return m_filtered; }
    void setFilter(const QString& text);
    const QString& filter() const { return m_filterText; }
    void setFilterOptions(FilterOptions options);
    FilterOptions filterOptions() const { return m_filterOptions; }

    // ---- views
    // Counted: observers are told nothing until every disable has been matched by an enable; the
    // last enable sends one dataSetChanged when anything happened in between.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }
    void addObserver(DataSetObserver* observer);
    void removeObserver(DataSetObserver* observer);

    // Shows a record to `visit` without moving the cursor and without events: while it runs, the
    // fields read that record (calculated fields computed; the record being edited shows its
    // edited values). False (visit not called) when the bookmark is not valid.
    bool viewRecord(const Bookmark& bookmark, const std::function<void()>& visit);
    // Bookmarks of all visible records in the current order, without moving the cursor.
    QList<Bookmark> bookmarks();

    // ---- events
    NotifyEvent beforeOpen, afterOpen, beforeClose, afterClose;
    NotifyEvent beforeInsert, afterInsert, beforeEdit, afterEdit;
    NotifyEvent beforePost, afterPost, beforeCancel, afterCancel;
    NotifyEvent beforeDelete, afterDelete, beforeScroll, afterScroll;
    NotifyEvent onNewRecord, onCalcFields;
    FilterRecordEvent onFilterRecord;

protected:
    // ---- record storage, implemented by each backend.
    //
    // The backend keeps its own cursor over its records in its current order (with its index and
    // range applied; the base applies the filter). Data values travel as one Variant per field
    // definition, in definition order, already converted to the field types. Every operation may
    // raise; the base then leaves its state as it was.

    // Opens the storage; fills fieldDefs() when the storage defines the columns.
    virtual void internalOpen() = 0;
    virtual void internalClose() = 0;
    // Moves the backend cursor; false (cursor unchanged) when there is no such record.
    virtual bool internalFirst() = 0;
    virtual bool internalLast() = 0;
    virtual bool internalNext() = 0;
    virtual bool internalPrior() = 0;
    // Reads the record under the backend cursor into values[0 .. fieldDefs().count() - 1] (the list
    // may be longer; the rest belongs to the base).
    virtual void internalRead(QList<Variant>& values) const = 0;
    // The record under the backend cursor; null when the storage (within its range) is empty.
    virtual Bookmark internalBookmark() const = 0;
    // Moves to the record; false (cursor unchanged) when it no longer exists or lies outside the
    // range.
    virtual bool internalGotoBookmark(const Bookmark& bookmark) = 0;
    virtual bool internalBookmarkValid(const Bookmark& bookmark) const = 0;
    // Gives a new record its initial values (all null on entry): defaults, the next autoinc.
    virtual void internalInitRecord(QList<Variant>& values);
    enum class PostMode { Edit, Insert, Append };
    // Writes the record: Edit replaces the record under the cursor; Insert puts a new record before
    // it (at the end when the storage is empty), Append at the end; the storage's order decides
    // where it lands when there is one. Afterwards the cursor stands on the written record (on a
    // neighbour within the range when the record falls outside it); returns false when it stands
    // on none. A refusal (key violation) raises and changes nothing.
    virtual bool internalPost(const QList<Variant>& values, PostMode mode) = 0;
    // Asked right after an internalPost that returned true: whether the cursor stands on the
    // written record and that record holds exactly the values posted, so that reading it back
    // would change nothing. The default says no.
    virtual bool internalPostKeptValues() const;
    // Removes the record under the cursor, which then stands on the next record, else on the
    // previous one; returns false when none is left.
    virtual bool internalDelete() = 0;
    // Re-reads the storage; the default does nothing.
    virtual void internalRefresh();
    // Count of the backend's records (range applied, no filter); -1 when unknown (then counted by
    // walking).
    virtual int internalRecordCount() const;
    // Position of the cursor from 1 (range applied, no filter), -1 when unknown.
    virtual int internalRecNo() const;
    // Moves to the record at that position (range applied, no filter); false when out of range.
    virtual bool internalSetRecNo(int recNo);
    // Called once a persistent or default field set exists for the open storage, and after close.
    virtual void fieldsChanged() {}

    // ---- for backends and derived datasets
    // The backend's records changed outside the base's own operations (range, index, load):
    // re-reads the current record and tells the observers. Puts the cursor on the first visible
    // record when `toFirst`, else keeps it on the current record when it is still visible.
    void resync(bool toFirst);
    // Raises "Cannot perform this operation on a closed dataset" when inactive.
    void checkActive() const;
    void setState(State state);
    void notifyDataSetChanged()
    {
        if (observed())
            tellDataSetChanged();
    }
    // The value buffer of the current state (see Field); for key states the derived class's.
    virtual QList<Variant>* stateBuffer(State state);
    // Runs the filter on the backend's current record (filter text, then OnFilterRecord).
    bool recordAccepted();
    bool hasFilter() const;
    // The fields were made from the definitions when opening (no persistent data fields).
    bool hasDefaultFields() const { return m_defaultFields; }
    // Base of an error message: "<name>: " when the dataset has a name.
    QString messagePrefix() const;
    // The message of a field the dataset does not have, as fieldByName raises it.
    QString fieldNotFoundMessage(const QString& fieldName) const;
    // A field was assigned in the SetKey state (slot in the state buffer).
    virtual void keyValueAssigned(int slot);

private:
    friend class Field;
    friend class IndexedDataSet;
    friend struct FilterExpr;

    // Where the backend cursor stood, to come back after a silent walk.
    struct Position
    {
        Bookmark bookmark;
    };

    static int slotOf(const Field* field) { return field->m_slot; }
    void bindFields();
    void unbindFields();
    int bufferSize() const;
    void readCurrent(bool bufferIsCurrent = false);
    void readCandidate();
    bool candidateAccepted();
    void calculateFields(QList<Variant>& buffer)
    {
        if (onCalcFields)
            runCalcFields(buffer);
    }
    void runCalcFields(QList<Variant>& buffer);
    bool seekVisible(bool forward, bool includeCurrent);
    void moveToFirstVisible();
    void moveToLastVisible();
    Position savePosition() const;
    void restorePosition(const Position& position);
    void beginScroll();
    void endScroll();
    bool step(bool forward);
    void checkCanModify() const;
    template <typename Tell> void tellObservers(const Tell& tell);
    // Whether a notification now has anybody to tell, or is to be remembered for later: edits
    // of a dataset nobody watches skip the call.
    bool observed() const { return m_disableCount > 0 || !m_observers.isEmpty(); }
    void notifyScrolled()
    {
        if (observed())
            tellScrolled();
    }
    void notifyRecordChanged(Field* field)
    {
        if (observed())
            tellRecordChanged(field);
    }
    void notifyStateChanged()
    {
        if (observed())
            tellStateChanged();
    }
    void tellDataSetChanged();
    void tellScrolled();
    void tellRecordChanged(Field* field);
    void tellStateChanged();
    Variant fieldValue(const Field& field) const;
    void checkFieldWritable(const Field& field);
    void setFieldValue(Field& field, const Variant& value);
    void setFieldValue(Field& field, Variant&& value);
    void storeFieldValue(Field& field, Variant&& converted);
    void checkRequiredFields() const;
    void beginInsertAppend(PostMode mode);
    void finishWrite(bool bufferIsCurrent = false);
    QList<int> fieldSlots(const QString& names, QList<FieldType>* types) const;
    bool candidateMatches(const QList<int>& columns, const QList<FieldType>& types,
                          const VariantList& values, LocateOptions options) const;
    bool search(const QString& keyFields, const VariantList& values, LocateOptions options);
    // Moves to the record `find` leaves the backend cursor on, with the scroll events; when it
    // finds none (BeforeScroll has fired) or raises, the cursor comes back to where it was. The
    // search is called through a plain pointer: a key search makes one on every call, and a
    // std::function of it would allocate.
    template <typename Find> bool scrollToFound(Find&& find)
    {
        using F = std::remove_reference_t<Find>;
        return scrollToFound(const_cast<void*>(static_cast<const void*>(&find)),
                             [](void* f) { return (*static_cast<F*>(f))(); });
    }
    bool scrollToFound(void* find, bool (*call)(void* find));
    // The visible records from the first up to `stop` (all when null), counted by walking; the
    // cursor comes back afterwards. `reached` tells whether `stop` was met.
    int countVisible(const Bookmark& stop, bool* reached) const;
    void run(const NotifyEvent& event);

    State m_state = State::Inactive;
    FieldDefs m_fieldDefs;
    std::vector<std::unique_ptr<Field>> m_fields;
    bool m_defaultFields = false;
    int m_dataFieldCount = 0;      // values stored by the backend
    QList<Variant> m_buffer;       // current (or edited) record: data values, then calculated
    QList<Variant> m_filterBuffer; // the record under test (filter, search)
    QList<Variant>* m_calcTarget = nullptr; // the buffer OnCalcFields fills
    QList<Variant>* m_viewBuffer = nullptr; // the record viewRecord shows
    PostMode m_insertMode = PostMode::Insert;
    bool m_bof = true, m_eof = true;
    bool m_hasCurrent = false; // the backend cursor stands on a visible record
    bool m_modified = false;
    bool m_filtered = false;
    QString m_filterText;
    FilterOptions m_filterOptions;
    std::shared_ptr<FilterExpr> m_filterExpr;
    int m_disableCount = 0;
    bool m_pendingNotify = false;
    QList<DataSetObserver*> m_observers;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DataSet::LocateOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(DataSet::FilterOptions)

// ---------------------------------------------------------------------------------------------
// Index definitions

struct IndexDef
{
    enum Option { Primary = 0x1, Unique = 0x2, Descending = 0x4, CaseInsensitive = 0x8 };
    Q_DECLARE_FLAGS(Options, Option)

    QString name;
    QString fields; // "A;B;C"
    Options options;
    // Field names of the list, trimmed.
    QStringList fieldList() const;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(IndexDef::Options)

// The names of a field list "A;B;C", trimmed, empty ones left out.
QStringList splitFieldList(const QString& names);

// The named indexes of a dataset. Names compare without regard to case.
class IndexDefs
{
public:
    void add(const QString& name, const QString& fields, IndexDef::Options options = {});
    void add(const IndexDef& def);
    void remove(const QString& name);
    void clear() { m_defs.clear(); }
    int count() const { return int(m_defs.size()); }
    bool isEmpty() const { return m_defs.isEmpty(); }
    const IndexDef& at(int i) const { return m_defs.at(i); }
    int indexOf(const QString& name) const;
    const IndexDef* find(const QString& name) const;
    // The first index whose field list equals `fields` (compared without regard to case).
    const IndexDef* findForFields(const QString& fields) const;
    const QList<IndexDef>& list() const { return m_defs; }

private:
    QList<IndexDef> m_defs;
};

// A dataset with an order chosen by a named index or a field list, key search on that order
// (also on fewer values than the index has fields), and an inclusive key range whose two ends may
// name fewer fields than the index.
//
// Keys are given either as value lists (findKey, findNearest, setRange) or field by field, by
// entering the SetKey state (setKey, editKey, setRangeStart, setRangeEnd, editRangeStart,
// editRangeEnd), assigning index fields and ending with gotoKey, gotoNearest or applyRange; the
// key then covers the index fields up to the last one assigned (unassigned ones before it count
// as null).
class IndexedDataSet : public DataSet
{
    Q_OBJECT
public:
    explicit IndexedDataSet(QObject* parent = nullptr);
    ~IndexedDataSet() override;

    IndexDefs& indexDefs() { return m_indexDefs; }
    const IndexDefs& indexDefs() const { return m_indexDefs; }

    // The named index gives the order; empty: the storage's own order (or the field list). Setting
    // one clears the other. Switching keeps the current record and cancels the range.
    QString indexName() const { return m_indexName; }
    void setIndexName(const QString& name);
    // A field list "A;B": order by those fields, ascending, case-sensitive.
    QString indexFieldNames() const { return m_indexFieldNames; }
    void setIndexFieldNames(const QString& fields);
    // The fields of the current order (empty when there is none).
    QStringList indexFields() const { return m_currentIndexFields; }
    int indexFieldCount() const { return int(m_currentIndexFields.size()); }
    // Options of the current order (those of the named index; none for a field list).
    IndexDef::Options indexOptions() const { return m_currentIndexOptions; }

    // Moves to the first record whose leading index fields equal the values (fewer values than
    // index fields compare only those). Case-insensitive indexes match on the folded text. False
    // and no move when none matches.
    bool findKey(const VariantList& values);
    // Moves to the first record whose key is at or after the values in index order; to the last
    // record when every key is before them.
    void findNearest(const VariantList& values);

    void setKey();
    void editKey();
    bool gotoKey();
    void gotoNearest();

    // Shows only the records whose keys lie between the two ends, both included; each end compares
    // only as many leading index fields as it has values (an empty end is open).
    void setRange(const VariantList& startValues, const VariantList& endValues);
    void setRangeStart();
    void setRangeEnd();
    void editRangeStart();
    void editRangeEnd();
    void applyRange();
    void cancelRange();
    bool hasRange() const { return m_rangeActive; }

protected:
    // ---- index storage, implemented by each backend.
    // Switches the order to the named index or to the field list (exactly one is set, or neither
    // for the storage's own order), dropping any range, keeping the cursor on the same record.
    // Raises when the index or a field does not exist.
    virtual void internalSetIndex(const QString& indexName, const QStringList& fieldNames) = 0;
    enum class SeekMode { Exact, Nearest };
    // Positions on the first record matching `key` (as findKey / findNearest say); false when
    // Exact finds nothing (cursor unchanged) or the dataset is empty.
    virtual bool internalSeek(const VariantList& key, SeekMode mode) = 0;
    // Limits the records to the range (ends as setRange says) or lifts it (both ends null). The
    // cursor stays on its record when that lies within the new range, else it stands on the first
    // record of the range.
    virtual void internalSetRange(const std::optional<VariantList>& start,
                                  const std::optional<VariantList>& end) = 0;
    // Lets the backend refresh indexDefs() from its storage before a name is looked up.
    virtual void updateIndexDefs() {}
    // Fields and options of the current order: internalSetIndex calls it for the order it chose
    // (also the storage's own order, which may have fields, as a table's primary index has).
    void setCurrentIndex(const QStringList& fields, IndexDef::Options options);
    void keyValueAssigned(int slot) override;

    QList<Variant>* stateBuffer(State state) override;
    void fieldsChanged() override;

private:
    enum class KeyKind { Search, RangeStart, RangeEnd };
    struct KeyBuffer
    {
        QList<Variant> values; // one per dataset buffer slot
        QList<bool> assigned;
    };
    void enterKeyState(KeyKind kind, bool clear);
    void leaveKeyState();
    void fillKeyBuffer(KeyKind kind, const VariantList& values);
    VariantList keyFromBuffer(const KeyBuffer& buffer) const;
    int slotOfIndexField(int i) const;
    void checkKey(const VariantList& values) const;
    bool candidateKeyEquals(const VariantList& key) const;
    bool seek(const VariantList& values, SeekMode mode);
    void switchOrder(const QString& indexName, const QString& fieldNames);

    IndexDefs m_indexDefs;
    QString m_indexName;
    QString m_indexFieldNames;
    QStringList m_currentIndexFields;
    IndexDef::Options m_currentIndexOptions;
    KeyBuffer m_keys[3];
    KeyKind m_keyKind = KeyKind::Search;
    bool m_rangeActive = false;
};
