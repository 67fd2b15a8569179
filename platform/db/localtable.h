// A dataset over one table of a local database (the workstation's tables and STANDARD
// databases): index order, key search, ranges, one-row writes, exclusive open, creation and
// restructuring.
#pragma once

#include <platform/data/dataset.h>
#include <platform/db/database.h>
#include <platform/db/databasebinding.h>

#include <functional>

// The table is read in pages through keyset queries on the current order (index fields, then the
// row's own number), forwards and backwards; it is never loaded whole. Each post writes one row
// at once (committed unless the database has a transaction open).
//
// Storage: the table keeps its name and its field names; an index is stored under the name
// "<table>$<index>" (the primary index as "<table>$PRIMARY"), since index names are shared by a
// whole database file. Text columns of case-insensitive indexes use the FOLD collation, those of
// other indexes the ANSI one. An empty text is stored as NULL and reads back as "" with IsNull.
//
// Indexes: the primary index (listed in indexDefs() with an empty name and the Primary option)
// gives the table's own order, also when indexName is empty; without one, the order is that in
// which rows were added. Named indexes are chosen with setIndexName, field lists with
// setIndexFieldNames: the order of the table's index over exactly those fields when it has one
// (case-insensitive or descending as that index is), else ascending and case-sensitive. findKey
// matches the leading index fields (also fewer than the index has); texts of a case-insensitive
// index match on the folded text alone.
//
// Locks: opening takes a shared lock on a lock file named after the table beside the database
// file; an exclusive open takes it exclusively. Either fails at once with EngineError 0x2B33 while
// another dataset, connection or process holds it the other way. The lock is released on close.
class LocalTable : public IndexedDataSet
{
    Q_OBJECT
public:
    explicit LocalTable(QObject* parent = nullptr);
    ~LocalTable() override;

    Database* database() const { return m_binding.database(); }
    // The table closes itself when its database closes.
    void setDatabase(Database* database) { m_binding.setDatabase(database); }
    // The name as the program spells it ("FILES.DB"); table names compare without regard to
    // ASCII case.
    QString tableName() const { return m_tableName; }
    void setTableName(const QString& name);
    // Takes effect at the next open.
    bool exclusive() const { return m_exclusive; }
    void setExclusive(bool exclusive) { m_exclusive = exclusive; }

    // ---- structure (dataset closed; each change takes the table's lock exclusively and runs in
    // one transaction: it is made whole or not at all)
    bool exists() const;
    // Creates the table from fieldDefs() and indexDefs(). Raises EngineError when it exists.
    void createTable();
    void deleteTable();
    // Removes every row.
    void emptyTable();
    void addIndex(const QString& name, const QString& fields, IndexDef::Options options = {});
    // Raises EngineError when there is no such index.
    void deleteIndex(const QString& name);
    // Adds a field at the end (its value null in every row).
    void addField(const FieldDef& def);
    // Drops a field and its values. Raises EngineError when an index uses it.
    void dropField(const QString& name);
    // Gives a field a new definition (name, type, size, required), converting every value. A
    // value the new type cannot hold (a text that is no number, a text longer than the new size,
    // a null in a required field) raises and leaves the table as it was.
    void changeField(const QString& name, const FieldDef& def);
    // Gives the table a new name, with its indexes ("<table>$<index>") and its lock file; the
    // dataset then names the table by it. Raises EngineError when the table is missing, the new
    // name is taken or either name is in use.
    void renameTable(const QString& newName);
    // The field and index definitions stored for the table (dataset open or closed).
    FieldDefs storedFieldDefs() const;
    IndexDefs storedIndexDefs() const;

    // Written rows are on disk once posted, unless the database has a transaction open (then the
    // commit writes them). Raises when the table is not open.
    void flushBuffers();

    // A reader about to walk forward from the first record through `records` records (0: no
    // such walk) has the pages read for it sized to the walk: one statement for the whole walk
    // from the first record rather than two for every hundred records. Any move other than to
    // the next record ends the walk; what the walk reads is the same either way.
    void setReadAhead(int records);

    // setRange for a reader that takes the range's first records at once (a cache being
    // filled): the records from the range's first on, at most `limit` (all when negative), are
    // handed to `take` as they are read, each as the table's data fields show it (by field
    // definition; the list may be emptied by `take`, which returns false to stop). The filter
    // is not applied to them. The table then stands on the range's first record as after
    // setRange; the records handed out are not kept. Returns how many `take` accepted.
    int setRangeTaking(const VariantList& startValues, const VariantList& endValues, int limit,
                       const std::function<bool(QList<Variant>&)>& take);

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
    bool internalPost(const QList<Variant>& values, PostMode mode) override;
    bool internalPostKeptValues() const override;
    bool internalDelete() override;
    void internalRefresh() override;
    int internalRecordCount() const override;
    int internalRecNo() const override;
    bool internalSetRecNo(int recNo) override;
    void internalSetIndex(const QString& indexName, const QStringList& fieldNames) override;
    bool internalSeek(const VariantList& key, SeekMode mode) override;
    void internalSetRange(const std::optional<VariantList>& start,
                          const std::optional<VariantList>& end) override;
    void updateIndexDefs() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    DatabaseBinding m_binding;
    QString m_tableName;
    bool m_exclusive = false;
};

// Runs `change` (a rename or a column drop of a local database) with the database's views set
// aside: SQLite checks every view when a table is renamed or loses a column, so a view on a table
// that has been dropped, or on the table a rebuild puts back under its name, would refuse it. The
// views are dropped, `change` runs, and each view is made again from its own text, all in one
// savepoint; a rename leaves the views' texts as they were (as the servers do). Raises what
// `change` or the views raise, with nothing changed.
void changeOutsideViews(DbConnection& conn, const std::function<void()>& change);
