// Row containers: a keyed table in which the report generator collects rows, either in memory
// (TClientDSContainer) or in a temporary table file of its own (TPDXContainer). The caller defines
// the fields and indexes through GetFieldDefs and GetIndexDefs, then calls CreateStorage.
#pragma once

#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>

#include <QString>

#include <functional>
#include <memory>

class TAbstractDSContainer
{
public:
    virtual ~TAbstractDSContainer();

    virtual IndexedDataSet* GetDataSet() const = 0;
    FieldDefs& GetFieldDefs() { return GetDataSet()->fieldDefs(); }
    IndexDefs& GetIndexDefs() { return GetDataSet()->indexDefs(); }
    QString GetIndexName() const { return GetDataSet()->indexName(); }
    void SetIndexName(const QString& name) { GetDataSet()->setIndexName(name); }

    // Key search and ranges, passed straight to the dataset.
    void ApplyRange() { GetDataSet()->applyRange(); }
    void EditRangeStart() { GetDataSet()->editRangeStart(); }
    void EditRangeEnd() { GetDataSet()->editRangeEnd(); }
    void SetRange(const VariantList& startValues, const VariantList& endValues)
    {
        GetDataSet()->setRange(startValues, endValues);
    }
    void EditKey() { GetDataSet()->editKey(); }
    bool GotoKey() { return GetDataSet()->gotoKey(); }

    // Creates the storage from the definitions and opens it (nothing when it is open).
    virtual void CreateStorage() = 0;
    // The folder of the storage's file (the in-memory container has none).
    virtual void SetDatabasePath(const QString& folder);
};

// In memory.
class TClientDSContainer : public TAbstractDSContainer
{
public:
    TClientDSContainer();
    ~TClientDSContainer() override;

    IndexedDataSet* GetDataSet() const override { return m_dataSet.get(); }
    void CreateStorage() override;

private:
    std::unique_ptr<MemDataSet> m_dataSet;
};

// A temporary table: a database file "<folder><hex>.DB" of its own, made for this container alone
// (its name is taken by creating the file exclusively) and holding the one table, named as the
// file. Destroying the container removes every file it made: the database, its journal and the
// table's lock file. Without a folder the system's temporary folder is used.
class TPDXContainer : public TAbstractDSContainer
{
public:
    TPDXContainer();
    ~TPDXContainer() override;

    IndexedDataSet* GetDataSet() const override { return m_table.get(); }
    // Chooses the file name, creates the table and opens it. The database engine's errors, and
    // EInOutError when no file can be made in the folder, pass to the caller; nothing is left
    // behind then.
    void CreateStorage() override;
    void SetDatabasePath(const QString& folder) override { m_folder = folder; }
    QString DatabasePath() const { return m_folder; }
    // The database file, once made.
    QString FileName() const { return m_file; }

    // The numbers file names are made of (0 to 2147483646); random unless a test sets it.
    static std::function<quint32()> NumberSource;

private:
    void removeFiles();

    std::unique_ptr<Database> m_database;
    std::unique_ptr<LocalTable> m_table;
    QString m_folder;
    QString m_file;
};
