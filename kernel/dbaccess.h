// The kernel access component TDBAccess: the one door through which the kernel reaches the
// practice database. It holds the connection, knows the server kind, checks the module versions
// against table VERSION (handing over to the database setup utility when they differ), loads the
// metadata and the SQL macros, counts nested transactions and keeps the caches of tables and
// lookup sources.
#pragma once

#include <kernel/metadata.h>
#include <kernel/tokenizer.h>
#include <platform/data/dataset.h>
#include <platform/db/database.h>
#include <platform/db/serverkind.h>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class LocalTable;
class MemDataSet;
class SqlQuery;
class TDBRequest;
class TKernelCache;

// Connects the database and maps the driver name of its alias, exactly as spelled: "STANDARD" 3,
// "MSSQL" 1, "ORACLE" 2, anything else 0. Engine errors of the connection pass through.
ServerKind::Kind GetServerKind(Database& database);

// The server and database names the setup utility is told about; nothing in this program assigns
// them, so the setup file carries them empty.
extern QString DBServerName;
extern QString DBDatabaseName;

// The application-server exchange's update batch, driven by the outermost transaction on the
// local server kind. The exchange comes with its own unit.
class TUpdateBatchExchange
{
public:
    virtual ~TUpdateBatchExchange() = default;
    virtual void OpenUpdateBatch() = 0;
    // Appends one statement of the write-back (its SQL text and its parameters with their values)
    // to the open batch.
    virtual void AddBatchStatement(const SqlQuery& statement) = 0;
    // Sends the collected statements and waits for the server's answer (nothing without an open
    // batch); the server's error passes to the caller.
    virtual void SendUpdateBatch() = 0;
    virtual void DiscardUpdateBatch() = 0;
};

// Why TDBAccess::Init did not make the component ready.
enum class TInitResult {
    Ready,           // connected, versions accepted, metadata loaded
    NoDatabase,      // no database assigned
    LoginRefused,    // the connection was not made: asking for other credentials may help
    VersionsRefused, // modules must be upgraded first (the user was told, the setup utility
                     // offered): other credentials will not help
    Terminated,      // the program was asked to end: start-up must stop, with no further dialog
    Failed,          // any other error after connecting (it was reported)
};

// The lookup of a field: the table it looks up and two of its fields, the one matched and the one
// shown.
struct TLookupDescription
{
    QString Table;
    QString KeyField;
    QString ResultField;
};

class TDBAccess : public QObject
{
    Q_OBJECT
public:
    // The kernel's own schema version, registered as module "DBKERNEL".
    static constexpr int KernelCodeVersion = 7;

    explicit TDBAccess(QObject* owner = nullptr);
    ~TDBAccess() override;

    // ---- properties
    bool AutoLookups() const { return m_autoLookups; }
    void SetAutoLookups(bool on) { m_autoLookups = on; }
    // The datasets delivering METATABLE, METAFIELD and TABLELINK (normally kernel caches).
    DataSet* Tables() const { return m_tables; }
    void SetTables(DataSet* dataSet) { m_tables = dataSet; }
    DataSet* Fields() const { return m_fields; }
    void SetFields(DataSet* dataSet) { m_fields = dataSet; }
    DataSet* Links() const { return m_links; }
    void SetLinks(DataSet* dataSet) { m_links = dataSet; }
    // The connection. Operations that need it raise "Not assigned database." without one.
    Database* DataBase() const { return m_database; }
    void SetDataBase(Database* database);
    // The credentials a login handler puts into the connection parameters. Empty by default.
    QString SysLogin() const { return m_sysLogin; }
    void SetSysLogin(const QString& login) { m_sysLogin = login; }
    QString SysPassword() const { return m_sysPassword; }
    void SetSysPassword(const QString& password) { m_sysPassword = password; }
    // The application server's shared folder; a non-empty value ends with a separator.
    QString AppServerPath() const { return m_appServerPath; }
    void SetAppServerPath(const QString& path);
    bool RemoteUpdate() const { return m_remoteUpdate; }
    void SetRemoteUpdate(bool on) { m_remoteUpdate = on; }
    bool RemoteSelect() const { return m_remoteSelect; }
    void SetRemoteSelect(bool on) { m_remoteSelect = on; }
    // Seconds to wait for the application server (15).
    int RemoteTimeout() const { return m_remoteTimeout; }
    void SetRemoteTimeout(int seconds) { m_remoteTimeout = seconds; }
    // Records a request fetches per packet (50).
    int PacketRecords() const { return m_packetRecords; }
    void SetPacketRecords(int count) { m_packetRecords = count; }
    // Folder of the local cache files (empty: a CACHE folder beside the program).
    QString CachePath() const { return m_cachePath; }
    void SetCachePath(const QString& path) { m_cachePath = path; }
    // Full paths of the database setup utility and of the statistics module.
    QString SetupModule() const { return m_setupModule; }
    void SetSetupModule(const QString& path) { m_setupModule = path; }
    QString StatModule() const { return m_statModule; }
    void SetStatModule(const QString& path) { m_statModule = path; }
    // The metadata language; setting it selects the process-wide key labels are read in.
    TKrnLang Language() const { return m_language; }
    void SetLanguage(TKrnLang language);
    QString UserTableName() const { return m_userTableName; }
    void SetUserTableName(const QString& name) { m_userTableName = name; }
    // Called when Init fails with an exception; setting `raise` makes Init raise it again.
    std::function<void(const Exception& e, bool& raise)> OnConnectError;
    // The automatic kernel upgrade switch: off; nothing in this program switches it on.
    bool AutoKernelUpgrade() const { return m_autoKernelUpgrade; }
    void SetAutoKernelUpgrade(bool on) { m_autoKernelUpgrade = on; }
    // The kernel version the upgrade recorded after a successful run (0 until then).
    int KernelVersion() const { return m_kernelVersion; }
    void SetKernelVersion(int version) { m_kernelVersion = version; }

    // ---- state
    ServerKind::Kind ServerKind() const { return m_serverKind; }
    void UpdateServerKind();
    bool BooleanAsChar() const { return m_booleanAsChar; }
    // The server's decimal separator, as it writes a number cast to text.
    QChar DecimalSeparator() const { return m_decimalSeparator; }
    // The connection's "BLOB SIZE" (kilobytes, 32 by default) in bytes.
    int BlobSize() const { return m_blobSize; }
    const TMacroInfo& MacroInfo() const { return m_macros; }

    // ---- start-up
    // Adds module=version to the registry; a module registered twice raises
    // "Module version '%s' already registered.".
    void RegisterModuleVersion(const QString& module, int version);
    // "NAME=version" lines in registration order.
    QStringList ModuleVersions() const { return m_modules; }
    // Connects, checks the module versions and loads the metadata and macros; true when ready.
    // Failures are reported (OnConnectError, else an error box) and InitResult tells why.
    bool Init();
    TInitResult InitResult() const { return m_initResult; }
    // Compares the registered modules with table VERSION. A module older than the database ends
    // the program; modules to upgrade are listed and the setup utility offered. True when every
    // module matches; otherwise the connection is closed.
    bool CheckVersions();
    // Brings the kernel's tables up to `codeVersion` through the schema tools: true at once for a
    // database at that version or newer, false while the component's automatic upgrade switch is
    // off or no schema tools are registered.
    static bool UpgradeKernelModule(TDBAccess& access, int databaseVersion, int codeVersion);

    // ---- metadata (metadata.cpp)
    // Reads the Boolean-as-character flag, the macros, the links, tables and fields, the
    // built-in descriptions and the server's decimal separator.
    void LoadMetaData();
    // Reloads one table's description (case ignored) and its links, or every table when the name
    // is empty. A table no longer described is dropped with its links.
    void LoadTableProps(const QString& tableName = QString());
    // Raises the cache versions of "META_Links", "META_Tables" and "META_Fields".
    void InvalidateMetaCaches();
    const TTableProps* FindTableProps(const QString& tableName) const;
    // Raises "Properties for table '%s' not found.".
    const TTableProps* GetTableProps(const QString& tableName) const;
    const TTablePropsList& TableProps() const { return m_tableProps; }
    const TLinksSet& LinkSet() const { return m_linkSet; }

    // ---- macros
    // Builds the macro table of the server kind with the rows of META_MACRO; a row naming a macro
    // already defined is reported with a warning and skipped. A missing META_MACRO is ignored.
    bool LoadMacros();

    // ---- names, users, tables
    // "name=replacement" lines used by MapTableName; empty unless the host fills it.
    QStringList TableNameMap() const { return m_tableNameMap; }
    void SetTableNameMap(const QStringList& lines) { m_tableNameMap = lines; }
    QString MapTableName(const QString& tableName) const;
    // The database's number for the connected user (MS SQL Server and Oracle only).
    int GetUserID();
    // The table object of that table on the connection, made on first use and kept.
    LocalTable* GetTable(const QString& tableName);

    // ---- lookup sources
    // A dataset (not owned) serving lookups on the table.
    void RegisterLookupSource(const QString& tableName, DataSet* source);
    // The registered source of the lookup's table, else (with AutoLookups) an automatic one made
    // by the request unit; raises "Lookup source for table '%s' not found".
    DataSet* GetLookupSource(const TLookupDescription& lookup);

    // ---- caches bound to this component (each registers itself)
    // The open caches: a write through one is carried into the others.
    void RegisterOpenCache(TKernelCache* cache);
    void UnregisterOpenCache(TKernelCache* cache);
    const QList<TKernelCache*>& OpenCaches() const { return m_openCaches; }
    // Caches that use the descriptions without taking part in the others' writes (those restored
    // from their local file): a reload of the descriptions moves them too.
    void RegisterBoundCache(TKernelCache* cache);
    void UnregisterBoundCache(TKernelCache* cache);
    // The catalogue of the local cache files (aliases and their versions), read from the cache
    // folder at its first use and kept for the component's life.
    MemDataSet& CacheCatalogue();
    bool CacheCatalogueRead() const { return m_catalogue != nullptr; }

    // ---- field presentation (fieldformat.cpp)
    // SetupField for every field of the dataset.
    void SetupFields(DataSet& dataSet);
    // Gives the field its display and edit formats, edit mask, width and text conversion by its
    // kernel type (from the cache's field descriptions) or its field type; a setting the field
    // has already is kept.
    void SetupField(Field& field);

    // ---- live requests, embedded in other requests' texts by the handle that an "EMB_DBREQ"
    // parameter holds
    // The request's handle, given on first use. Handles are never reused, so the handle of a
    // request that is gone finds nothing.
    int RequestHandle(TDBRequest& request);
    // The live request of the handle; null for a handle never given or a request that is gone.
    TDBRequest* FindRequest(qint64 handle) const;

    // ---- transactions (only the outermost level acts on the server)
    // The local kind opens no server transaction; with `useBatch` its statements are collected
    // as an update batch for the application server instead.
    void StartTransaction(bool useBatch = false);
    // Raises EDBKernelError without an open transaction. When an inner level was rolled back,
    // the outermost commit rolls the whole transaction back and raises.
    void Commit();
    // Does nothing without an open transaction. A failing server rollback is retried, then the
    // user chooses between trying again and ending the program.
    void Rollback();
    int TransactionDepth() const { return m_depth; }
    bool UpdateBatchOpen() const { return m_batch; }
    void SetUpdateBatchExchange(TUpdateBatchExchange* exchange) { m_exchange = exchange; }
    // Hands a statement to the open update batch instead of running it. Raises EDBKernelError
    // when no batch is open.
    void AddBatchStatement(const SqlQuery& statement);
    // The pause between rollback attempts (a blocking sleep; tests replace it).
    void SetRollbackWait(std::function<void(int ms)> wait) { m_rollbackWait = std::move(wait); }
    // The pause between two tries of writing a trace row (a blocking sleep; tests replace it).
    void SetTraceLogWait(std::function<void(int ms)> wait) { m_traceLogWait = std::move(wait); }
    void TraceLogWait(int ms) const { m_traceLogWait(ms); }

    // ---- identifiers and cache versions (identifiers.cpp)
    // Reserves `shift` identifiers (at least one) of the table's single integer key and returns
    // the last of them, the one to use when reserving one. MS SQL Server and Oracle run the
    // server's procedure; the local kind advances ID_VALUES itself under an exclusive open of the
    // table, taking the key's highest value in the table (by `fieldName`, else the described key
    // field) for a table it has no row of and skipping values the table already holds. Returns 0
    // at once, without error, for a local table without described key and without row. Raises
    // "GetID for key %s failed." when nothing is reserved (the local kind gives up after 100 tries
    // of at most 20 ms each while another holds ID_VALUES), "GetID capability not supported for
    // complex keys" and "GetID supports only integer datatypes.".
    int GetID(const QString& keyName, const QString& fieldName, int shift);
    // Raises the version of every alias of the comma list in CACHESYS of the database (a row at 1
    // for an alias it has none of): every workstation then reloads its copies of those caches.
    static void IncCacheVersion(Database& database, const QString& aliases);
    // The same on the component's own database.
    void InvalidateCache(const QString& aliases);

private:
    Database& requireDatabase() const;
    void launchSetupUtility();
    void rollbackOnServer(QString& lastError);
    void rollbackOutermost();
    void readBooleanAsChar();
    void readDecimalSeparator();

    // identifiers.cpp
    QString idKeyField(const QString& tableName) const;
    SqlQuery& idQuery();
    int getIdOnServer(const QString& procedure, const QString& keyName, int shift);
    int reseedMsSql(const QString& keyName);
    int reseedOracle(const QString& keyName);
    int getIdStandard(const QString& keyName, const QString& fieldName, int shift, bool& noKey);
    int reserveStandard(const QString& keyName, int candidate, int shift);

    // metadata.cpp
    // Reads TABLELINK (through `source` when given, else by a query of its own; one table's links
    // or all) and replaces the links concerned.
    void reloadLinks(const QString& tableName, DataSet* source);
    void addLink(std::unique_ptr<TLinkInfo> link);
    // Drops every reference to the links, which are then freed.
    void dropLinks(std::vector<std::unique_ptr<TLinkInfo>> links);
    void attachLinks(TTableProps& table);
    void inheritBaseLinks(TTableProps& view);
    void addBuiltInDescriptions();
    void replaceInCaches(const TTableProps* old, const TTableProps* replacement);

    int m_depth = 0;
    QPointer<Database> m_database;
    QString m_sysLogin;
    QString m_sysPassword;
    QPointer<DataSet> m_tables;
    QPointer<DataSet> m_fields;
    QPointer<DataSet> m_links;
    ServerKind::Kind m_serverKind = ServerKind::Unknown;
    QList<QPair<QString, QPointer<LocalTable>>> m_tableCache;
    QList<QPair<QString, QPointer<DataSet>>> m_lookupSources;
    QList<QPair<QString, QPointer<DataSet>>> m_autoLookupSources;
    QString m_appServerPath;
    bool m_remoteUpdate = false;
    bool m_remoteSelect = false;
    int m_remoteTimeout = 15;
    int m_packetRecords = 50;
    bool m_autoLookups = false;
    QString m_cachePath;
    QStringList m_modules;
    SqlQuery* m_work; // child: runs the component's own statements
    QString m_setupModule;
    QString m_statModule;
    QStringList m_tableNameMap;
    TKrnLang m_language = krnLangUnknown;
    QString m_userTableName;
    QChar m_decimalSeparator = QLatin1Char('.');
    int m_blobSize = 32 * 1024;
    TTablePropsList m_tableProps;
    TLinksSet m_linkSet;
    // Upper-cased table name -> links, in set order.
    using LinksByName = std::map<QString, TLinksList>;
    static TLinksList linksOf(const LinksByName& links, const QString& tableName);
    LinksByName m_linksByParent;
    LinksByName m_linksByChild;
    bool m_batch = false;
    bool m_rollbackOnly = false; // an inner level was rolled back
    QList<TKernelCache*> m_openCaches;
    QList<TKernelCache*> m_boundCaches;
    MemDataSet* m_catalogue = nullptr; // child
    QList<QPair<int, QPointer<TDBRequest>>> m_requests;
    int m_lastRequestHandle = 0;
    TMacroInfo m_macros;
    bool m_booleanAsChar = false;
    bool m_autoKernelUpgrade = false;
    int m_kernelVersion = 0;
    TInitResult m_initResult = TInitResult::Failed;
    TUpdateBatchExchange* m_exchange = nullptr;
    std::function<void(int ms)> m_rollbackWait;
    std::function<void(int ms)> m_traceLogWait;
    SqlQuery* m_idQuery = nullptr;   // child, made on first use
    LocalTable* m_idTable = nullptr; // child: ID_VALUES on the local kind, made on first use
};

// The folder of the program: beside it the kernel keeps its cache folder and "indexes.log".
QString KernelProgramDir();
void SetKernelProgramDirForTesting(const QString& folder);

// The expression cast for the component's server kind and Boolean form (see CastExpression).
QString CastExpression(const TDBAccess& access, const QString& expression, FieldType type,
                       int size);
