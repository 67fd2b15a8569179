// The kernel access component: connection and server kind, the module version check with the
// setup-utility hand-off, the macro table, nested transactions, the table and lookup-source caches.
// The metadata loaders are in metadata.cpp.
#include "dbaccess.h"

#include <kernel/appserver.h>
#include <kernel/cacheapi.h>
#include <kernel/macros.h>
#include <kernel/request.h>
#include <kernel/schemaapi.h>
#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>
#include <platform/dialogs.h>
#include <platform/inifile.h>
#include <platform/process.h>
#include <platform/regional.h>
#include <platform/support/paths.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>

QString DBServerName;
QString DBDatabaseName;

namespace {
QString g_programDirForTesting;
} // namespace

QString KernelProgramDir()
{
    if (!g_programDirForTesting.isEmpty())
        return g_programDirForTesting;
    return AddBackslash(QCoreApplication::applicationDirPath());
}

void SetKernelProgramDirForTesting(const QString& folder)
{
    g_programDirForTesting = AddBackslash(folder);
}

namespace {

TKernelCacheServices* cacheServices = nullptr;

const QString KernelModule = QStringLiteral("DBKERNEL");

QString moduleName(const QString& line)
{
    return line.section(QLatin1Char('='), 0, 0);
}

QString moduleVersion(const QString& line)
{
    return line.section(QLatin1Char('='), 1);
}

int versionNumber(const QString& text)
{
    int value = 0;
    return TryStrToInt(text, value) ? value : 0;
}

// The work query closes and forgets its statement when the scope ends, whatever happens.
class WorkStatement
{
public:
    WorkStatement(SqlQuery& query, const QString& sql) : m_query(query) { m_query.setSql(sql); }
    ~WorkStatement()
    {
        m_query.close();
        m_query.setSql(QString());
    }
    WorkStatement(const WorkStatement&) = delete;
    WorkStatement& operator=(const WorkStatement&) = delete;

private:
    SqlQuery& m_query;
};

struct StoredVersion
{
    QString module;
    qint64 version;
};

// The rows of the database's VERSION table.
QList<StoredVersion> storedVersions(SqlQuery& work)
{
    QList<StoredVersion> rows;
    WorkStatement st(work, QStringLiteral("select * from VERSION"));
    work.open();
    Field* module = work.fieldByName(QStringLiteral("MODULE"));
    Field* version = work.fieldByName(QStringLiteral("VERSION"));
    for (; !work.eof(); work.next())
        rows.append({module->asString(), version->asInteger()});
    return rows;
}

// The program's modules ("NAME=version" lines) that the database is older than, one line each
// under a heading; empty when none. The kernel's own module is upgraded on the spot when it can
// be, and is then not listed.
QString upgradeMessage(TDBAccess& access, const QStringList& modules,
                       const QList<StoredVersion>& rows)
{
    QString message;
    for (const QString& line : modules) {
        const QString module = moduleName(line);
        const int codeVersion = versionNumber(moduleVersion(line));
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const StoredVersion& r) {
            return r.module.compare(module, Qt::CaseInsensitive) == 0;
        });
        bool upgrade = true;
        if (row != rows.end()) {
            upgrade = row->version < codeVersion;
            if (upgrade && module.toUpper() == KernelModule)
                upgrade = !TDBAccess::UpgradeKernelModule(access, int(row->version), codeVersion);
        }
        if (!upgrade)
            continue;
        message += message.isEmpty() ? QStringLiteral("Following modules must be upgraded:\n")
                                     : QStringLiteral("\n");
        message += QStringLiteral("Module %1 up to version %2.").arg(module, moduleVersion(line));
    }
    return message;
}

} // namespace

TKernelCacheServices* KernelCacheServices()
{
    return cacheServices;
}

void SetKernelCacheServices(TKernelCacheServices* services)
{
    cacheServices = services;
}

ServerKind::Kind GetServerKind(Database& database)
{
    database.open();
    return ServerKind::ofDriverName(database.driverName());
}

QString CastExpression(const TDBAccess& access, const QString& expression, FieldType type, int size)
{
    return CastExpression(access.ServerKind(), access.BooleanAsChar(), expression, type, size);
}

// ---------------------------------------------------------------------------------------------
// Construction and properties

TDBAccess::TDBAccess(QObject* owner)
    : QObject(owner), m_work(new SqlQuery(this)),
      m_rollbackWait([](int ms) { QThread::msleep(ulong(ms)); }),
      m_traceLogWait([](int ms) { QThread::msleep(ulong(ms)); })
{
    RegisterModuleVersion(KernelModule, KernelCodeVersion);
    m_appServer = std::make_unique<TAppServerExchange>(*this);
}

TDBAccess::~TDBAccess()
{
    // The tables, the automatic lookup sources and the work query are Qt children. They go
    // first, while the lists they may still reach (a cache unregisters itself) exist.
    const QObjectList owned = children();
    qDeleteAll(owned);
    m_openCaches.clear();
    m_boundCaches.clear();
    m_tableProps.Clear();
    m_linkSet.Clear();
}

void TDBAccess::SetDataBase(Database* database)
{
    m_database = database;
    m_work->setDatabase(database);
}

void TDBAccess::SetAppServerPath(const QString& path)
{
    m_appServerPath = AddBackslash(path);
}

void TDBAccess::SetLanguage(TKrnLang language)
{
    m_language = language;
    SetCurrentLangKey(KrnLangKey(language));
}

Database& TDBAccess::requireDatabase() const
{
    if (!m_database)
        DBKernelError(QStringLiteral("Not assigned database."));
    return *m_database;
}

void TDBAccess::UpdateServerKind()
{
    m_serverKind = GetServerKind(requireDatabase());
}

void TDBAccess::readBooleanAsChar()
{
    const bool quoted = m_serverKind == ServerKind::Oracle || m_serverKind == ServerKind::Standard;
    const QString sql =
        quoted ? QStringLiteral("select \"_KRN_SYS_FLAGS\".\"VALUE\" from \"_KRN_SYS_FLAGS\" "
                                "where Upper(FLAG) = Upper('USE_BOOLEAN_CHAR')")
               : QStringLiteral("select VALUE from _KRN_SYS_FLAGS "
                                "where Upper(FLAG) = Upper('USE_BOOLEAN_CHAR')");
    int value = 0;
    {
        WorkStatement st(*m_work, sql);
        m_work->open();
        if (!m_work->eof() && !TryStrToInt(m_work->field(0)->asString().trimmed(), value))
            value = 0;
    }
    m_booleanAsChar = m_serverKind == ServerKind::Oracle || value == 1;
}

void TDBAccess::readDecimalSeparator()
{
    if (m_serverKind == ServerKind::Standard) {
        m_decimalSeparator = QLatin1Char('.');
        return;
    }
    QString sql = QStringLiteral("select cast(:NUM as char(3)) NUM");
    if (m_serverKind == ServerKind::Oracle)
        sql += QStringLiteral("\nfrom DUAL");
    QString num;
    {
        WorkStatement st(*m_work, sql);
        m_work->paramByName(QStringLiteral("NUM")).setAsFloat(0.1);
        m_work->open();
        if (!m_work->eof())
            num = m_work->fieldByName(QStringLiteral("NUM"))->asString();
    }
    if (num.size() >= 2)
        m_decimalSeparator = num.at(1);
}

// ---------------------------------------------------------------------------------------------
// Start-up

void TDBAccess::RegisterModuleVersion(const QString& module, int version)
{
    for (const QString& line : std::as_const(m_modules)) {
        if (moduleName(line).compare(module, Qt::CaseInsensitive) == 0)
            DBKernelError(QStringLiteral("Module version '%1' already registered.").arg(module));
    }
    m_modules.append(module + QLatin1Char('=') + QString::number(version));
}

bool TDBAccess::Init()
{
    // Once the program is to end, nothing more is connected and nothing more is asked.
    if (terminationRequested()) {
        m_initResult = TInitResult::Terminated;
        return false;
    }
    TInitResult failure = TInitResult::Failed;
    try {
        if (!m_database) {
            failure = TInitResult::NoDatabase;
            DBKernelError(
                QStringLiteral("Cannot init %1 becouse not assigned database.").arg(objectName()));
        }
        Database& db = *m_database;
        db.close();
        failure = TInitResult::LoginRefused;
        if (db.onLogin)
            db.onLogin(db, db.params());
        else
            db.open();
        if (!db.isConnected()) {
            m_initResult = TInitResult::LoginRefused;
            return false;
        }
        failure = TInitResult::Failed;
        UpdateServerKind();
        m_work->setDatabase(&db);

        if (!CheckVersions()) {
            m_initResult =
                terminationRequested() ? TInitResult::Terminated : TInitResult::VersionsRefused;
            return false;
        }

        QString blob = db.params().value(QStringLiteral("BLOB SIZE"));
        if (!db.params().contains(QStringLiteral("BLOB SIZE")) && !db.aliasName().isEmpty())
            blob =
                AliasRegistry::global().params(db.aliasName()).value(QStringLiteral("BLOB SIZE"));
        int kilobytes = 32;
        if (!TryStrToInt(blob.trimmed(), kilobytes))
            kilobytes = 32;
        m_blobSize = kilobytes * 1024;

        LoadMetaData();
        m_initResult = TInitResult::Ready;
        return true;
    } catch (const Exception& e) {
        // A component that is not ready keeps no connection.
        if (m_database)
            m_database->close();
        m_initResult = terminationRequested() ? TInitResult::Terminated : failure;
        if (OnConnectError) {
            bool raise = false;
            OnConnectError(e, raise);
            if (raise)
                throw;
        } else if (!terminationRequested()) {
            ErrorMsg(e.message());
        }
        return false;
    }
}

bool TDBAccess::CheckVersions()
{
    Database& db = requireDatabase();
    if (m_serverKind == ServerKind::MSSQL) {
        // The server's messages and date forms in English for the rest of the connection.
        WorkStatement st(*m_work, QStringLiteral("set language us_english"));
        m_work->execSql();
    }

    const QList<StoredVersion> rows = storedVersions(*m_work);
    auto registered = [this](const QString& module) -> const QString* {
        for (const QString& line : std::as_const(m_modules)) {
            if (moduleName(line).compare(module, Qt::CaseInsensitive) == 0)
                return &line;
        }
        return nullptr;
    };

    // A program older than its database must not work on it.
    for (const StoredVersion& row : rows) {
        const QString* line = registered(row.module);
        if (line && row.version > versionNumber(moduleVersion(*line))) {
            ErrorMsg(QStringLiteral("Version of module %1 (%2) is less than database version (%3).")
                         .arg(row.module, moduleVersion(*line))
                         .arg(row.version));
            db.close();
            requestTermination();
            return false;
        }
    }

    QString message = upgradeMessage(*this, m_modules, rows);
    if (message.isEmpty())
        return db.isConnected();

    if (!m_setupModule.isEmpty() && QFileInfo(m_setupModule).isFile()) {
        message += QStringLiteral("\nDo you want to launch the database setup utility now ?\n"
                                  "Overwise application will be terminated.");
        if (ConfirmMsg(message))
            launchSetupUtility();
    } else {
        ErrorMsg(QStringLiteral("Impossible launch application. ") + message);
    }
    db.close();
    return false;
}

void TDBAccess::launchSetupUtility()
{
    const QFileInfo module(m_setupModule);
    IniFile setup(module.absolutePath() + QLatin1Char('/') + module.completeBaseName() +
                  QStringLiteral(".ini"));
    static const char* const servers[] = {"", "MSSQL", "ORACLE", "PARADOX"};
    const QString database = QStringLiteral("DATABASE");
    setup.writeString(database, QStringLiteral("Connection"), QStringLiteral("Server"));
    setup.writeString(database, QStringLiteral("Server"),
                      QLatin1String(m_serverKind <= 3 ? servers[m_serverKind] : ""));
    setup.writeString(database, QStringLiteral("ServerName"), DBServerName);
    setup.writeString(database, QStringLiteral("DatabaseName"), DBDatabaseName);
    // The alias and the program's path travel as two arguments, so a path with blanks stays
    // whole. Whether the utility started is not checked: the program goes on without the
    // database either way.
    QProcess::startDetached(
        m_setupModule, {requireDatabase().aliasName(), QCoreApplication::applicationFilePath()},
        module.absolutePath());
}

bool TDBAccess::UpgradeKernelModule(TDBAccess& access, int databaseVersion, int codeVersion)
{
    if (databaseVersion >= KernelCodeVersion)
        return true;
    if (!access.AutoKernelUpgrade())
        return false;
    TSchemaTools* tools = SchemaTools();
    return tools && tools->UpgradeKernelModule(access, databaseVersion, codeVersion);
}

// ---------------------------------------------------------------------------------------------
// Macros

bool TDBAccess::LoadMacros()
{
    Database& db = requireDatabase();
    const ServerKind::Kind kind = GetServerKind(db);
    QList<QPair<QString, QString>> rows;
    {
        WorkStatement st(*m_work, QStringLiteral("select * from META_MACRO"));
        try {
            m_work->open();
            Field* code = m_work->fieldByName(QStringLiteral("CODE"));
            Field* macro = m_work->fieldByName(QStringLiteral("MACRO"));
            for (; !m_work->eof(); m_work->next())
                rows.append({code->asString(), macro->asString()});
        } catch (const Exception&) {
            // A database without META_MACRO has only the built-in macros.
        }
    }
    const QStringList lines =
        BuildMacroLines(kind, m_booleanAsChar, rows, [](const QString& text) { WarningMsg(text); });
    m_macros.Clear();
    m_macros.SetText(lines.join(QStringLiteral("\r\n")));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Names, users, tables, lookup sources, caches

QString TDBAccess::MapTableName(const QString& tableName) const
{
    for (const QString& line : m_tableNameMap) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(tableName, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return tableName;
}

int TDBAccess::GetUserID()
{
    requireDatabase();
    QString sql;
    if (m_serverKind == ServerKind::MSSQL)
        sql = QStringLiteral("select user_id() UID");
    else if (m_serverKind == ServerKind::Oracle)
        sql = QStringLiteral("select uid \"UID\" from DUAL");
    else
        DBKernelError(QStringLiteral("The database server gives no user ID."));
    WorkStatement st(*m_work, sql);
    m_work->open();
    return int(m_work->fieldByName(QStringLiteral("UID"))->asInteger());
}

LocalTable* TDBAccess::GetTable(const QString& tableName)
{
    for (const auto& [name, table] : std::as_const(m_tableCache)) {
        if (table && name.compare(tableName, Qt::CaseInsensitive) == 0)
            return table;
    }
    auto* table = new LocalTable(this);
    table->setDatabase(&requireDatabase());
    table->setTableName(tableName);
    m_tableCache.append({tableName, table});
    return table;
}

void TDBAccess::RegisterLookupSource(const QString& tableName, DataSet* source)
{
    for (auto& entry : m_lookupSources) {
        if (entry.first.compare(tableName, Qt::CaseInsensitive) == 0) {
            entry.second = source;
            return;
        }
    }
    m_lookupSources.append({tableName, source});
}

DataSet* TDBAccess::GetLookupSource(const TLookupDescription& lookup)
{
    auto find = [&lookup](const QList<QPair<QString, QPointer<DataSet>>>& list) -> DataSet* {
        for (const auto& [name, source] : list) {
            if (source && name.compare(lookup.Table, Qt::CaseInsensitive) == 0)
                return source;
        }
        return nullptr;
    };
    DataSet* source = find(m_lookupSources);
    if (!source && m_autoLookups) {
        source = find(m_autoLookupSources);
        if (!source && cacheServices) {
            source = cacheServices->CreateLookupSource(*this, lookup.Table, lookup.KeyField,
                                                       lookup.ResultField);
            if (source)
                m_autoLookupSources.append({lookup.Table, source});
        }
    }
    if (!source)
        DBKernelError(QStringLiteral("Lookup source for table '%1' not found").arg(lookup.Table));
    // A source opened without the field the lookup matches on fetches it at its next opening;
    // a cache that shows the key column under another name has it already.
    if (source->isActive() && !source->findField(lookup.KeyField)) {
        auto* cache = dynamic_cast<TKernelCache*>(source);
        if (cache && cache->ColumnFieldName(lookup.KeyField).isEmpty()) {
            source->close();
            cache->AddSelectField(lookup.KeyField);
        }
    }
    return source;
}

void TDBAccess::RegisterOpenCache(TKernelCache* cache)
{
    if (cache && !m_openCaches.contains(cache))
        m_openCaches.append(cache);
}

void TDBAccess::UnregisterOpenCache(TKernelCache* cache)
{
    m_openCaches.removeAll(cache);
}

void TDBAccess::RegisterBoundCache(TKernelCache* cache)
{
    if (cache && !m_boundCaches.contains(cache))
        m_boundCaches.append(cache);
}

void TDBAccess::UnregisterBoundCache(TKernelCache* cache)
{
    m_boundCaches.removeAll(cache);
}

MemDataSet& TDBAccess::CacheCatalogue()
{
    if (!m_catalogue)
        m_catalogue = new MemDataSet(this);
    return *m_catalogue;
}

int TDBAccess::RequestHandle(TDBRequest& request)
{
    m_requests.removeIf(
        [](const QPair<int, QPointer<TDBRequest>>& e) { return e.second.isNull(); });
    for (const auto& [handle, live] : std::as_const(m_requests)) {
        if (live == &request)
            return handle;
    }
    m_requests.append(qMakePair(++m_lastRequestHandle, QPointer<TDBRequest>(&request)));
    return m_lastRequestHandle;
}

TDBRequest* TDBAccess::FindRequest(qint64 handle) const
{
    for (const auto& [h, live] : m_requests) {
        if (h == handle)
            return live.data();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Nested transactions
//
//   depth 0 --StartTransaction--> 1 (the server transaction or the update batch opens)
//   depth n --StartTransaction--> n+1          depth n>1 --Commit--> n-1
//   depth n>1 --Rollback--> n-1, the transaction is marked for rollback
//   depth 1 --Commit--> 0 (committed; rolled back and raising when marked)
//   depth 1 --Rollback--> 0 (rolled back)
//   depth 0 --Commit--> raises              depth 0 --Rollback--> nothing

void TDBAccess::StartTransaction(bool useBatch)
{
    Database& db = requireDatabase();
    if (m_depth < 1) {
        const bool standard = m_serverKind == ServerKind::Standard;
        const bool batch = useBatch && standard;
        if (batch) {
            // Statements collected for nobody would be lost without a word.
            if (!m_exchange)
                DBKernelError(QStringLiteral(
                    "Cannot collect an update batch: the application server exchange is not "
                    "available."));
            m_exchange->OpenUpdateBatch();
        } else if (!standard) {
            db.startTransaction();
        }
        m_batch = batch;
        m_rollbackOnly = false;
    }
    ++m_depth;
}

void TDBAccess::Commit()
{
    Database& db = requireDatabase();
    if (m_depth > 1) {
        --m_depth;
        return;
    }
    if (m_depth < 1)
        DBKernelError(QStringLiteral("Cannot commit: no transaction is open."));
    if (m_rollbackOnly) {
        rollbackOutermost();
        DBKernelError(QStringLiteral("Cannot commit: a part of the transaction was rolled back, "
                                     "so all of it has been rolled back."));
    }
    if (m_serverKind == ServerKind::Standard) {
        if (m_batch && m_exchange) {
            SendUpdateBatch();
            m_exchange->DiscardUpdateBatch();
        }
    } else {
        db.commit();
    }
    --m_depth;
    m_batch = false;
}

void TDBAccess::Rollback()
{
    requireDatabase();
    if (m_depth < 1)
        return; // nothing open: the caller's start failed, and its error is the one to keep
    if (m_depth > 1) {
        --m_depth;
        m_rollbackOnly = true;
        return;
    }
    rollbackOutermost();
}

void TDBAccess::AddBatchStatement(const SqlQuery& statement)
{
    if (!m_batch || !m_exchange)
        DBKernelError(QStringLiteral("Cannot add a statement: no update batch is open."));
    m_exchange->AddBatchStatement(statement);
}

void TDBAccess::rollbackOnServer(QString& lastError)
{
    lastError.clear();
    if (m_serverKind == ServerKind::Standard) {
        if (m_batch && m_exchange)
            m_exchange->DiscardUpdateBatch();
        return;
    }
    try {
        requireDatabase().rollback();
    } catch (const Exception& e) {
        lastError = e.message();
    }
}

void TDBAccess::rollbackOutermost()
{
    Database& db = requireDatabase();
    QString lastError;
    rollbackOnServer(lastError);
    m_depth = 0;
    m_batch = false;
    m_rollbackOnly = false;

    const bool server = m_serverKind != ServerKind::Standard;
    for (int attempt = 0; attempt < 10 && server && db.inTransaction(); ++attempt) {
        m_rollbackWait(1000);
        rollbackOnServer(lastError);
    }
    while (server && db.inTransaction() && !terminationRequested()) {
        const QString text = QStringLiteral("Rollback transaction failed.\r\n") + lastError +
                             QStringLiteral("\r\n") + QString(38, QLatin1Char('=')) +
                             QStringLiteral("\r\nDo you want to try again rollback transaction?"
                                            "\r\nOverwise application will be terminated.");
        if (dialogService().messageDlg(text, mtWarning, TMsgDlgButtons(mbYes) | mbAbort) !=
            modalResultOf(mbYes)) {
            requestTermination();
            return;
        }
        rollbackOnServer(lastError);
        m_rollbackWait(1000);
    }
}
