// What the access component and the support routines ask of the kernel's cached datasets and
// requests, which live in their own unit: the cached dataset implements TKernelCache, and the
// request unit registers TKernelCacheServices for the automatic lookup sources and the cache
// versions. Until it does, no dataset is a kernel cache and the services do nothing.
#pragma once

#include <QString>

class DataSet;
class Database;
class TDBAccess;
class TTableProps;

// A cached dataset: an in-memory dataset filled by a request of its own and bound to one table
// description. Found on a DataSet by dynamic_cast.
class TKernelCache
{
public:
    virtual ~TKernelCache() = default;

    // The hidden row-identifier field ("UPDATE_ID"), which copies never carry over.
    virtual QString RowIdFieldName() const = 0;
    // Records taken per packet: -1 all.
    virtual int PacketLimit() const = 0;
    // Whether the last fill stopped at the packet limit (more rows wait on the server).
    virtual void SetPacketLimitReached(bool reached) = 0;

    // Replaces the statement of its request.
    virtual void SetRequestSQL(const QString& sql) = 0;
    // Opens the cache through its own loading (the request fills it).
    virtual void OpenCache() = 0;
    // Adds a select item for the field to its request, so that the next opening fetches it.
    virtual void AddSelectField(const QString& fieldName) = 0;
    // The name of the field that shows the column of the bound table's field `fieldName`,
    // which a cache may select under another name; empty when it shows no such column (or,
    // by default, cannot tell).
    virtual QString ColumnFieldName(const QString& /*fieldName*/) const { return QString(); }

    // The table description the cache is bound to; null when none.
    virtual const TTableProps* GetTableProps() const = 0;
    // A reload replaced `old` by `replacement`: the cache binds to the new description, takes the
    // same-named field descriptions from it and drops (with their select items) the fields the
    // new description lacks. `old` is freed after the call.
    virtual void ReplaceTableProps(const TTableProps* old, const TTableProps* replacement) = 0;
};

// Services of the request unit that the access component calls.
class TKernelCacheServices
{
public:
    virtual ~TKernelCacheServices() = default;

    // A new automatic lookup source on `table` fetching the two fields, owned by `access` (as a
    // Qt child) together with its request; it must implement TKernelCache.
    virtual DataSet* CreateLookupSource(TDBAccess& access, const QString& table,
                                        const QString& keyField, const QString& resultField) = 0;
    // Raises the version of every alias of the comma list in CACHESYS of the database, so that
    // every workstation reloads its local copy of those caches.
    virtual void IncCacheVersion(Database& database, const QString& aliases) = 0;
};

// The registered services; null until the request unit registers them. Not owned.
TKernelCacheServices* KernelCacheServices();
void SetKernelCacheServices(TKernelCacheServices* services);
