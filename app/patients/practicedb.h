// The practice database: the server data module, the connection at start-up (the practice
// software's version file, the engine parameters, the login with stored or typed credentials), the
// login dialog the program keeps, and the patients' names read from it.
#pragma once

#include <QString>

class Database;
class IniFile;
class SqlQuery;
class TDBAccess;
class TLoginDlg;

// A practice database kept in files (no database server) is this one SQLite file in the practice
// software's folder, its name in any case.
inline const QString PracticeDatabaseFileName = QStringLiteral("tressoly.sqlite");

// The practice database is on a database server (set by SetDatabaseParams).
extern bool KernelIsServer;
// The login dialog the program keeps from start-up on (never shown: the connection's login uses a
// dialog of its own).
extern TLoginDlg* LoginDlg;

// Creates the server data module TServer (the database connection and the kernel access).
void CreateServerModule();
// Creates LoginDlg.
void CreateLoginDlg();
// Frees what the two above created; the practice database's patients are no longer offered.
void FreePracticeModules();

// Connects to the practice database named by the practice software's version file TRESSOLY.VER
// in TressolyPath; true when its patients can be used, which are then registered
// (SetPracticePatients) for identification, the lists and direct send. Every failure is false: an
// error is logged (never a credential), refusals were told to the user by the kernel. A database
// newer than the program ends it (Application::terminated() is then true).
bool ConnectDatabase();

// Builds the engine parameters of `DataBase` from the version file and gives the three queries
// (those given) the database. Section [DBKERNEL]: DBType 1 is a database server; -1 (the default)
// is a server unless KernelTablesExist(TressolyPath); any other value is the practice database
// file. A server named by DatabaseName and ServerName is reached through the engine session's
// alias "Main" (made with the MSSQL driver when the session has none); one without them through
// the alias `Alias`; false when that is empty too. `AccessComponent` is not used.
bool SetDatabaseParams(const IniFile& Ini, Database& DataBase, TDBAccess* AccessComponent,
                       SqlQuery* QueryFields, SqlQuery* QueryTables, SqlQuery* QueryLinks);
// True when `Folder` holds the practice database file and it holds the tables METATABLE,
// METAFIELD, TABLELINK, PATIENTS and MEDECINS.
bool KernelTablesExist(const QString& Folder);
// A version text as a number: a text with "." is read whole as a real number with "." as the
// decimal point, times 100, rounded ("2.07" 207, "3.0" 300); any other text as a whole number
// ("3" 3). A text that is not such a number raises EConvertError ("2.07b", "2.0.7", "").
int VersionNumber(const QString& Text);

// The stored login of a server and database (program's INI file, section ServerName + "_" +
// DatabaseName, keys User and Pswd, enciphered); true when a user name is stored. A stored value
// that cannot be deciphered counts as none.
bool ReadUserPassword(const QString& DatabaseName, const QString& ServerName, QString& User,
                      QString& Password);
void WriteUserPassword(const QString& DatabaseName, const QString& ServerName, const QString& User,
                       const QString& Password);
// Gives the access component the login: with [Application] OldStyleLogin=1 of the program's INI
// file, user and password as typed; otherwise the password EncodePassword derives from both, the
// user staying the component's own ("sa").
void SetDatabaseLogin(TDBAccess& Access, const QString& User, const QString& Password);

// "NOM PRENOM" of the practice database's patient PatientId; empty when there is none.
QString PracticePatientName(int PatientId);
