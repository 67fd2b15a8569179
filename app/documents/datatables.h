// The local tables data module: one shared cursor per local table of the workstation, over one
// SQLite file in the data folder, and the routines that check and reopen them.
#pragma once

#include <platform/ui/forms.h>

#include <QList>

class Database;
class DbConnection;
class LocalTable;
class SqlQuery;
class TDBAccess;
class TDBCache;
class TDBRequest;

// The data module creates its components and opens nothing. Start-up binds the tables to the data
// folder (BindTables) once the local upgrade has run, then opens them (TableAction, action 0).
//
// The cursors are shared by every part of the program: a routine that needs a row looks it up
// by key itself (or through a query) and never relies on where another routine left a cursor.
class TDataTables : public TDataModule
{
    Q_OBJECT

public:
    explicit TDataTables(QObject* parent = nullptr);
    ~TDataTables() override;

    // The local tables' database: the one SQLite file of the data folder.
    Database* LocalDB;

    // Components, in their order.
    LocalTable* cfg;            // "cfg.db": sources
    LocalTable* fRep;           // "fr.db": folder-source parameters
    LocalTable* packs;          // "PACKAGE.DB": packages
    LocalTable* files;          // "FILES.DB": documents
    LocalTable* rcfiles;        // "rcfiles.DB": Breeze-source parameters
    LocalTable* prn;            // "printers.db": virtual-printer parameters
    LocalTable* com;            // "com.DB": serial-source parameters
    LocalTable* Patients_Local; // "Patients.db": local patients, for names in lists and reports
    LocalTable* FrFiles;        // "FrFiles.db": files already taken by folder sources
    // Practice-database patients for the identification dialog (PATIENTS through
    // DBRequestCommon, 500 rows a packet). The practice software's lock table would stand next:
    // nothing ever opens it, so it is not made.
    TDBCache* IdPatients_Global;
    LocalTable* SPacks;  // "Package.DB": a second cursor on the packages (package purge)
    LocalTable* DSFiles; // "DSfiles.db": files handed over by direct send
    // The practice database: the server data module's Database1 once the connection step has
    // run (null before).
    Database* AM_DB = nullptr;
    // The kernel's metadata read by plain queries; the connection step gives them the practice
    // database.
    SqlQuery* QTables; // "select * from METATABLE order by TABLE_NAME"
    SqlQuery* QLinks;  // "select * from TABLELINK"
    SqlQuery* QFields; // "select * from METAFIELD order by TABLE_NAME"
    // The request of the two patient caches (all rows a packet, not cached); its access
    // component is DBAccess.
    TDBRequest* DBRequestCommon;
    LocalTable* IdPatients_Local; // "patients.db": local patients for the identification dialog
    // The kernel access component: the server data module's DBAccess1 once the connection step
    // has run (null before).
    TDBAccess* DBAccess = nullptr;
    // Practice-database patients for names in lists and descriptors (as IdPatients_Global).
    TDBCache* Patients_Global;

    // Every table component, in component order.
    QList<LocalTable*> Tables() const;
    // The tables start-up binds to the data folder and opens, in its order: cfg, fRep, packs,
    // files, rcfiles, prn, com, FrFiles; Patients_Local and IdPatients_Local when the practice
    // database is not used for patients; then SPacks and DSFiles.
    QList<LocalTable*> StartupTables(bool withLocalPatients) const;
    // Points the database at `dataDir` (tables closed first) and binds StartupTables to it.
    void BindTables(const QString& dataDir, bool withLocalPatients);
};

// The data module, raising a clear error while it does not exist yet.
TDataTables& CheckedDataTables();
// The connection a local table is bound to, raising a clear error while it is unbound.
DbConnection& ConnectionOf(const LocalTable& table);

// Probes the local tables before a walk over them. True at once when CheckSession is off, and
// when the probe (a look-up in cfg) succeeds. When it fails, the tables are reopened (cfg
// included) and the result is false: the caller then abandons its work silently.
bool CheckTables();

// Closes the local tables' database, which closes every table, and opens again, in component
// order, every table that was open. Errors while closing are ignored; errors while opening go to
// the caller.
void ReopenTables();
