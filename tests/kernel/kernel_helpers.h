// Helpers of the kernel tests: an access component on a kernel database (support/kernel_db.h),
// metadata datasets that behave like the kernel's caches, and the two kernel databases written by
// hand.
#pragma once

#include <kernel/cacheapi.h>
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/krnproc.h>
#include <kernel/request.h>
#include <platform/db/database.h>
#include <platform/db/driver.h>
#include <platform/db/sqlquery.h>

#include <support/kernel_db.h>

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <tuple>

namespace krntest {

// The message of the EDBKernelError that `call` raises.
template <typename F> QString kernelErrorOf(F&& call)
{
    try {
        call();
    } catch (const EDBKernelError& e) {
        return e.message();
    }
    return QStringLiteral("<no EDBKernelError>");
}

// Registers the ODBC drivers; true when the SQLite ODBC driver is registered as Debian's package
// registers it, so that kinds 1 and 2 can run through ODBC on a SQLite file.
bool sqliteOdbcReady();

// An access component on a kernel database through `alias`, with plain queries as its metadata
// datasets; nothing is connected yet.
struct AccessOnKernel
{
    explicit AccessOnKernel(const QString& alias = QStringLiteral("KRN"));

    KernelDb kernel;
    Database db;
    SqlQuery tables;
    SqlQuery fields;
    SqlQuery links;
    TDBAccess access;
};

// An update-batch exchange that records what the kernel asks of it: "open", "send", "discard",
// and "add " with each statement's text (its lines joined by " | ") and then its parameters as
// "NAME=value" (value "NULL" when null).
struct RecordingExchange : TUpdateBatchExchange
{
    QStringList calls;
    void OpenUpdateBatch() override { calls.append("open"); }
    void AddBatchStatement(const SqlQuery& statement) override;
    void SendUpdateBatch() override { calls.append("send"); }
    void DiscardUpdateBatch() override { calls.append("discard"); }
};

// Metadata datasets that behave like the kernel's caches: statements given by the access
// component, opened through OpenCache.
class MetaCache : public SqlQuery, public TKernelCache
{
public:
    explicit MetaCache(const QString& sql = QString()) { setSql(sql); }
    QString RowIdFieldName() const override { return QStringLiteral("UPDATE_ID"); }
    int PacketLimit() const override { return -1; }
    void SetPacketLimitReached(bool) override {}
    void SetRequestSQL(const QString& sql) override { setSql(sql); }
    void OpenCache() override { open(); }
    void AddSelectField(const QString& field) override { addedFields.append(field); }
    const TTableProps* GetTableProps() const override { return bound; }
    void ReplaceTableProps(const TTableProps* old, const TTableProps* replacement) override
    {
        replacements.append(qMakePair(old, replacement));
        if (bound == old)
            bound = replacement;
    }

    const TTableProps* bound = nullptr;
    QList<QPair<const TTableProps*, const TTableProps*>> replacements;
    QStringList addedFields;
};

// The sample of the metadata and access component tests (tests/data/kernel/sample.sql), with the
// module DATABASE 207 registered.
struct SampleKernel : AccessOnKernel
{
    explicit SampleKernel(const QString& alias = QStringLiteral("KRN"));
};

// The practice of the request tests (tests/data/kernel/practice.sql) with its metadata loaded for
// a server kind (MS SQL Server and Oracle through a recording driver over the same SQLite file),
// the kernel's program folder a temporary one.
class Practice : public AccessOnKernel
{
public:
    explicit Practice(int serverKind = 3);
    ~Practice();

    // A request on the practice's access component.
    std::unique_ptr<TDBRequest> request(const QString& name = QStringLiteral("Req"));
    // Runs the request's compiled text with its parameters, or a statement, as queryRows does.
    QStringList rows(const TDBRequest& request);
    QStringList rows(const QString& sql) { return queryRows(db, sql); }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    // The kernel's program folder for the test ("indexes.log", the default cache folder).
    QTemporaryDir programFolder;
};

// The practice with the write-back tests' tables (tests/data/kernel/writeback.sql).
struct WritePractice : Practice
{
    explicit WritePractice(int serverKind = 3);
};

// A cache open on `fields` of a table, through a request of its own; "FIELD as NAME" selects a
// field under another name.
struct CacheOn
{
    CacheOn(Practice& p, const QString& table, const QString& fields = QStringLiteral("*"),
            TDBCacheOptions options = {});
    TDBCache* operator->() const { return cache.get(); }
    TDBCache& operator*() const { return *cache; }
    // The values of a field in every row, in the cache's order ("NULL" for null).
    QStringList column(const QString& field) const;

    std::unique_ptr<TDBRequest> request;
    std::unique_ptr<TDBCache> cache;
};

// The name of a case of a test over the server kinds, whose parameter is (kind, case with a
// `name`): "MsSql", "Oracle" or "Local" followed by the case's name.
template <typename Info> std::string kindCaseName(const Info& info)
{
    static const char* const kinds[] = {"", "MsSql", "Oracle", "Local"};
    return std::string(kinds[std::get<0>(info.param)]) + std::get<1>(info.param).name;
}

// The compiled lines, or the EDBKernelError message prefixed with "error: ".
QStringList compiled(TDBRequest& request);

// From, select and where items in one call.
TFromItem* addFrom(TDBRequest& r, const QString& table, const QString& alias,
                   const QString& master = QString(), const QString& masterFields = QString());
TSelectItem* addSelect(TDBRequest& r, const QString& origin, const QString& text,
                       const QString& alias = QString(), TDataType type = dtUnknown, int size = 0);
TWhereItem* addWhere(TDBRequest& r, const QString& text, int group = 0,
                     const QString& origin = QString());

} // namespace krntest
