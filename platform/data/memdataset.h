// The in-memory dataset: a whole table held in memory, with field and index definitions, named
// indexes (primary, unique, descending, case-insensitive), key search and ranges, filters, a fast
// bulk-append path for loading, a row limit for filling in packets, and save and load to a file.
#pragma once

#include <platform/data/dataset.h>
#include <platform/data/recordsink.h>

#include <QHash>

#include <functional>

// Index order: without options an index compares texts exactly (by the bytes of the program's
// code page); with CaseInsensitive it compares the folded texts and breaks ties by the exact text,
// so a unique case-insensitive index still takes two names that differ only in case, while
// findKey and ranges on it match on the folded text alone. Null sorts before every value. Records
// with equal keys keep the order in which they were posted (a record posted later comes after).
//
// File format (little-endian): magic "QVMDS1\r\n"; format version (quint16); field count (quint32)
// and per field its name (UTF-8 with a quint32 length), type (quint8, the FieldType number), size
// (qint32) and flags (quint8: 1 required, 2 empty text is a value); index count and per index its
// name, field list and options (quint32); record count and per record, in storage order, a null
// bitmap (one bit per field), its post order (quint64) and the values of the fields that are not
// null (texts as UTF-8 with a length, integers and currencies as qint64, booleans as one byte,
// floats and dates as IEEE doubles, bytes with a length); last a CRC-32 of everything before it.
// Files are written under a temporary name and renamed; a damaged or truncated file raises
// EDBClient and the dataset keeps what it held.
class MemDataSet : public IndexedDataSet
{
    Q_OBJECT
public:
    explicit MemDataSet(QObject* parent = nullptr);
    ~MemDataSet() override;

    // Creates the empty storage from fieldDefs() and indexDefs() and opens the dataset.
    void createDataSet();
    // Removes every record (dataset open); observers are told once.
    void emptyDataSet();

    // Index management on an open dataset as well (the index is built at once).
    void addIndex(const QString& name, const QString& fields, IndexDef::Options options = {});
    void deleteIndex(const QString& name);

    // Records taken per packet when the dataset is filled: -1 all (the default), 0 none.
    int packetRecords() const { return m_packetRecords; }
    void setPacketRecords(int count) { m_packetRecords = count; }

    // Bulk loading: between begin and end, bulkAppend adds records at the end with no events, no
    // per-record index upkeep and no required-field checks; values are given per field definition
    // and converted to the field types. bulkAppend returns false (and adds nothing) once the
    // packet limit is reached. Given an rvalue list, it may move texts and bytes out of it (those
    // values are left Unassigned, the list keeps its size); at the packet limit it leaves the list
    // as it was. endBulkAppend builds the indexes once and tells observers once; when a unique
    // index refuses a duplicate it removes the records of this load, raises EDBClient "Key
    // violation." and the dataset holds what it held before.
    void beginBulkAppend();
    bool bulkAppend(const QList<Variant>& values);
    bool bulkAppend(QList<Variant>&& values);
    // The same record made value by value: `fill` gives the new record's values to the sink,
    // each taken as bulkAppend takes the Variant of that type (a field given no value is null).
    // At the packet limit `fill` is not called. When it raises, nothing is added.
    bool bulkAppend(const std::function<void(RecordSink&)>& fill);
    void endBulkAppend();
    bool inBulkAppend() const { return m_bulk; }
    // True when the last bulk load stopped at the packet limit.
    bool packetLimitReached() const { return m_limitReached; }

    // Saves the definitions and all records (not only those visible through a filter or range).
    void saveToFile(const QString& fileName) const;
    // Replaces definitions and records by those of the file and opens the dataset (on its first
    // record, storage order). Raises EDBClient when the file cannot be read or is damaged; the
    // dataset then keeps its previous content and state.
    void loadFromFile(const QString& fileName);

protected:
    void internalOpen() override;
    void internalClose() override;
    bool internalFirst() override;
    bool internalLast() override;
    bool internalNext() override;
    bool internalPrior() override;
    void internalRead(QList<Variant>& values) const override;
    Bookmark internalBookmark() const override;
    bool internalGotoBookmark(const Bookmark& bookmark) override;
    bool internalBookmarkValid(const Bookmark& bookmark) const override;
    void internalInitRecord(QList<Variant>& values) override;
    bool internalPost(const QList<Variant>& values, PostMode mode) override;
    bool internalDelete() override;
    int internalRecordCount() const override;
    int internalRecNo() const override;
    bool internalSetRecNo(int recNo) override;
    void internalSetIndex(const QString& indexName, const QStringList& fieldNames) override;
    bool internalSeek(const VariantList& key, SeekMode mode) override;
    void internalSetRange(const std::optional<VariantList>& start,
                          const std::optional<VariantList>& end) override;

private:
    struct Storage;
    struct LoadedFile;
    std::unique_ptr<Storage> makeStorage(const FieldDefs& defs, const IndexDefs& indexDefs) const;
    // Loading a file: read it whole and make its storage, check it against the persistent fields
    // and the chosen order, then put it in place of what the dataset held.
    LoadedFile readFile(const QString& fileName) const;
    static LoadedFile storageOf(const QByteArray& data);
    void checkFitsFields(const LoadedFile& loaded, const QString& fileName) const;
    void swapIn(LoadedFile loaded);
    template <typename Values> bool appendLoaded(Values& values);
    bool atPacketLimit();

    std::unique_ptr<Storage> m_store;   // while open
    std::unique_ptr<Storage> m_pending; // made by createDataSet or loadFromFile, taken by open
    int m_packetRecords = -1;
    bool m_bulk = false;
    bool m_limitReached = false;
};
