// The practice database: the server data module, the connection at start-up with its engine
// parameters and its login, the kept login dialog, and the practice patients offered to the rest
// of the workstation once connected.
#include "practicedb.h"

#include "dbmain.h"
#include "login.h"
#include "practicepatients.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/request.h>
#include <platform/db/database.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlquery.h>
#include <platform/files.h>
#include <platform/inifile.h>
#include <platform/regional.h>
#include <platform/support/cipher.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <translation/language.h>

#include <cmath>

bool KernelIsServer = false;
TLoginDlg* LoginDlg = nullptr;

namespace {

const QString KernelSection = QStringLiteral("DBKERNEL");
const QString ApplicationSection = QStringLiteral("Application");
// The engine session's alias of a database server named in the version file.
const QString MainAlias = QStringLiteral("Main");
// Stored logins are padded to this length before they are enciphered.
constexpr int StoredLoginLength = 33;

// The practice database's patients: the data module's two patient caches and the kernel's
// identifiers. The caches are looked up at each call, so the data module may come and go.
class KernelPatientCache final : public PatientCache
{
public:
    explicit KernelPatientCache(TDBCache* TDataTables::*member) : m_member(member) {}

    DataSet& dataSet() override { return cache(); }
    void LoadRange(const QString& table, const QString& key, const VariantList& low,
                   const VariantList& high, const QString& text) override
    {
        cache().LoadRange(table, key, low, high, text);
    }
    void LoadKey(const QString& table, const QString& key, const Variant& value) override
    {
        cache().LoadKey(table, key, {value});
    }

private:
    TDBCache& cache() const { return *(CheckedDataTables().*m_member); }

    TDBCache* TDataTables::*m_member;
};

class KernelPatients final : public PracticePatients
{
public:
    PatientCache& IdPatients_Global() override { return m_idPatients; }
    PatientCache& Patients_Global() override { return m_patients; }
    int GetID(const QString& table, const QString& field, int count) override
    {
        TDBAccess* access = CheckedDataTables().DBAccess;
        if (!access)
            throw Exception(QStringLiteral("The practice database is not connected"));
        return access->GetID(table, field, count);
    }

private:
    KernelPatientCache m_idPatients{&TDataTables::IdPatients_Global};
    KernelPatientCache m_patients{&TDataTables::Patients_Global};
};

KernelPatients& kernelPatients()
{
    static KernelPatients patients;
    return patients;
}

// The engine's language driver for the program's language, for a new alias or for the database.
QString languageDriver(bool forAlias)
{
    switch (ProgLanguage) {
    case 1:
        return QStringLiteral("BLLT1FR0");
    case 2:
        return QStringLiteral("ANCYRR");
    case 3:
        return forAlias ? QStringLiteral("ANCYRR") : QString();
    default:
        return QString();
    }
}

QString loginSection(const QString& DatabaseName, const QString& ServerName)
{
    return ServerName + QLatin1Char('_') + DatabaseName;
}

// A stored value deciphered; false when it cannot be.
bool readStored(const IniFile& ini, const QString& section, const QString& key, QString& value)
{
    const QString stored = ini.readString(section, key);
    if (stored.isEmpty()) {
        value.clear();
        return true;
    }
    try {
        value = DecryptPadded(stored);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

} // namespace

void CreateServerModule()
{
    Server = CreateForm<TServer>();
}

void CreateLoginDlg()
{
    if (!LoginDlg)
        LoginDlg = CreateForm<TLoginDlg>();
}

void FreePracticeModules()
{
    SetPracticePatients(nullptr);
    if (LoginDlg)
        LoginDlg->Free();
    LoginDlg = nullptr;
    if (Server)
        Server->Free();
    Server = nullptr;
}

bool KernelTablesExist(const QString& Folder)
{
    if (Folder.trimmed().isEmpty())
        return false;
    const QString file = files::findNoCase(Folder, PracticeDatabaseFileName);
    DbDriver* driver = DbDriver::find(QStringLiteral("STANDARD"));
    if (file.isEmpty() || !driver)
        return false;
    QStringList tables;
    try {
        ConnectionParams params;
        params.setValue(DbParam::Path, file);
        tables = driver->connect(params)->tableNames();
    } catch (const EngineError&) {
        return false; // not a database, or one another program keeps locked
    }
    for (const char* name : {"METATABLE", "METAFIELD", "TABLELINK", "PATIENTS", "MEDECINS"}) {
        if (!tables.contains(QLatin1String(name), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

bool SetDatabaseParams(const IniFile& Ini, Database& DataBase, TDBAccess*, SqlQuery* QueryFields,
                       SqlQuery* QueryTables, SqlQuery* QueryLinks)
{
    const int dbType = Ini.readInteger(KernelSection, QStringLiteral("DBType"), -1);
    if (dbType == 1)
        KernelIsServer = true;
    else if (dbType == -1)
        KernelIsServer = !KernelTablesExist(TressolyPath);
    else
        KernelIsServer = false;

    ConnectionParams& params = DataBase.params();
    params.clear();
    const QString blobSize =
        QString::number(Ini.readInteger(KernelSection, QStringLiteral("BlobSize"), 32));
    const QString blobsToCache =
        QString::number(Ini.readInteger(KernelSection, QStringLiteral("BlobsToCache"), 100));
    if (KernelIsServer) {
        const QString databaseName = Ini.readString(KernelSection, QStringLiteral("DatabaseName"));
        const QString serverName = Ini.readString(KernelSection, QStringLiteral("ServerName"));
        if (!databaseName.isEmpty() && !serverName.isEmpty()) {
            if (!SessionAliases::exists(MainAlias)) {
                ConnectionParams alias;
                alias.setValue(DbParam::UserName, QStringLiteral("sa"));
                alias.setValue(QStringLiteral("BLOB SIZE"), blobSize);
                alias.setValue(QStringLiteral("BLOBS TO CACHE"), blobsToCache);
                alias.setValue(QStringLiteral("MAX QUERY TIME"),
                               QString::number(Ini.readInteger(
                                   KernelSection, QStringLiteral("MaxQueryTime"), 300)));
                if (const QString driver = languageDriver(true); !driver.isEmpty())
                    alias.setValue(DbParam::LangDriver, driver);
                SessionAliases::add(MainAlias, QStringLiteral("MSSQL"), alias);
            }
            DataBase.setDatabaseName(MainAlias);
            DataBase.setAliasName(MainAlias);
            params.setValue(QStringLiteral("BLOB SIZE"), blobSize);
            params.setValue(QStringLiteral("BLOBS TO CACHE"), blobsToCache);
            params.setValue(DbParam::DatabaseName, databaseName);
            params.setValue(DbParam::ServerName, serverName);
            if (const QString driver = languageDriver(false); !driver.isEmpty())
                params.setValue(DbParam::LangDriver, driver);
        } else {
            const QString alias = Ini.readString(KernelSection, QStringLiteral("Alias"));
            if (alias.isEmpty())
                return false;
            DataBase.setAliasName(alias);
            DataBase.setDatabaseName(alias);
        }
    } else {
        // The kernel's tables in the practice database file, which is opened, never created.
        const QString file = files::findNoCase(TressolyPath, PracticeDatabaseFileName);
        if (file.isEmpty()) {
            WriteToLog(QStringLiteral("The practice database file %1 is not in %2")
                           .arg(PracticeDatabaseFileName, TressolyPath));
            return false;
        }
        DataBase.setDriverName(QStringLiteral("STANDARD"));
        params.setValue(DbParam::Path, file);
    }

    for (SqlQuery* query : {QueryFields, QueryTables, QueryLinks}) {
        if (query)
            query->setDatabase(&DataBase);
    }
    return true;
}

int VersionNumber(const QString& Text)
{
    if (!Text.contains(QLatin1Char('.')))
        return StrToInt(Text);
    // The whole text is the number: "2.07b" or "2.0.7" is no version, rather than version 0.
    bool ok = false;
    const double value = Text.toDouble(&ok) * 100.0;
    if (!ok || !std::isfinite(value) || std::fabs(value) > 2147483647.0)
        throw EConvertError(QStringLiteral("'%1' is not a valid version number").arg(Text));
    return int(std::round(value));
}

bool ReadUserPassword(const QString& DatabaseName, const QString& ServerName, QString& User,
                      QString& Password)
{
    const IniFile ini(IniFileName);
    const QString section = loginSection(DatabaseName, ServerName);
    QString user;
    QString password;
    if (!readStored(ini, section, QStringLiteral("User"), user) ||
        !readStored(ini, section, QStringLiteral("Pswd"), password)) {
        WriteToLog(
            QStringLiteral("The stored login [%1] cannot be read: it is asked for").arg(section));
        return false;
    }
    if (user.isEmpty())
        return false;
    User = user;
    Password = password;
    return true;
}

void WriteUserPassword(const QString& DatabaseName, const QString& ServerName, const QString& User,
                       const QString& Password)
{
    IniFile ini(IniFileName);
    const QString section = loginSection(DatabaseName, ServerName);
    ini.writeString(section, QStringLiteral("User"), EncryptPadded(User, StoredLoginLength));
    ini.writeString(section, QStringLiteral("Pswd"), EncryptPadded(Password, StoredLoginLength));
}

void SetDatabaseLogin(TDBAccess& Access, const QString& User, const QString& Password)
{
    if (IniFile(IniFileName).readInteger(ApplicationSection, QStringLiteral("OldStyleLogin"), 0) ==
        1) {
        Access.SetSysLogin(User);
        Access.SetSysPassword(Password);
    } else {
        Access.SetSysPassword(EncodePassword(User, Password));
    }
}

bool ConnectDatabase()
{
    SetPracticePatients(nullptr);
    TDataTables& tables = CheckedDataTables();
    if (!Server)
        throw Exception(QStringLiteral("The server data module does not exist"));
    Database& database = *Server->Database1;
    TDBAccess& access = *Server->DBAccess1;
    tables.AM_DB = &database;
    tables.DBAccess = &access;
    tables.DBRequestCommon->SetDBAccess(&access);
    database.setAliasName(QString());

    try {
        const QString versionFile = files::findNoCase(TressolyPath, QStringLiteral("TRESSOLY.VER"));
        if (versionFile.isEmpty())
            return false;
        {
            const IniFile ini(versionFile);
            if (!SetDatabaseParams(ini, database, &access, tables.QFields, tables.QTables,
                                   tables.QLinks))
                return false;
            access.SetTables(nullptr);
            access.SetFields(nullptr);
            access.SetLinks(nullptr);
            access.RegisterModuleVersion(
                QStringLiteral("DATABASE"),
                VersionNumber(ini.readString(ApplicationSection, QStringLiteral("Version"),
                                             QStringLiteral("0"))));
        }
        access.SetTables(Server->Tables);
        access.SetFields(Server->Fields);
        access.SetLinks(Server->Links);

        if (KernelIsServer) {
            const QString databaseName = database.params().value(DbParam::DatabaseName);
            const QString serverName = database.params().value(DbParam::ServerName);
            QString user;
            QString password;
            if (ReadUserPassword(databaseName, serverName, user, password)) {
                SetDatabaseLogin(access, user, password);
                if (access.SysPassword() != QLatin1String("_"))
                    access.Init();
            }
            // Other credentials would not help a database whose modules must be upgraded first,
            // and a program told to end asks nothing more.
            if (!database.isConnected() && access.InitResult() != TInitResult::VersionsRefused &&
                access.InitResult() != TInitResult::Terminated) {
                if (!ExecuteLoginDlg(user, password))
                    return false;
                SetDatabaseLogin(access, user, password);
                access.Init();
            }
            if (!database.isConnected())
                return false;
            WriteUserPassword(databaseName, serverName, user, password);
        } else if (!access.Init()) {
            return false;
        }

        tables.DBRequestCommon->SetDBAccess(&access);
        access.SetLanguage(TKrnLang(qBound(0, int(CurrentLanguage), 3)));
    } catch (const std::exception& e) {
        WriteToLog(QStringLiteral("Practice database not connected: ") +
                   QString::fromUtf8(e.what()));
        if (database.isConnected())
            database.close();
        return false;
    }
    SetPracticePatients(&kernelPatients());
    return true;
}

QString PracticePatientName(int PatientId)
{
    PatientCache& cache = PracticePatientsInUse().Patients_Global();
    cache.LoadKey(QStringLiteral("PATIENTS"), QStringLiteral("PATIENTS_ID"), PatientId);
    const DataSet& row = cache.dataSet();
    if (row.isEmpty() || row.fieldByName(QStringLiteral("PATIENTS_ID"))->asInteger() != PatientId)
        return QString();
    return row.fieldByName(QStringLiteral("NOM"))->asString() + QLatin1Char(' ') +
           row.fieldByName(QStringLiteral("PRENOM"))->asString();
}
