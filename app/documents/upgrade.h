// The local database's structure version: the first start of an installation, the check of the
// version recorded with the local tables against the program's, and the upgrade of older tables.
#pragma once

#include <QString>

// The version file of the local tables: "quorvane.ver" in DataDir, found whatever the case of its
// name; the name as this program writes it when there is none. An INI file: [Application]
// Version = the program version that last brought the tables up to date ("2.07").
QString VersionFileName();

// First start: creates DataDir when it is missing. When it holds none of the local tables, they
// are all created at the current layout and the version file is written with ProgVersion, in one
// step (when the version file cannot be written, no table is created either). Returns true when
// it created them. Raises EInOutError or EngineError when the folder, the tables or the version
// file cannot be made.
bool PrepareLocalTables();

// Start-up's local version check, run before the local tables are opened: PrepareLocalTables
// first, so a new installation is never asked anything; then the version D recorded in the
// version file (0 when there is none) is compared with ProgVersion's, P (each as StrToFloatAny
// reads it: "2.07" is 207).
//   D = P: true.
//   D < P: the user is asked (the main window's texts 21 to 23) whether to upgrade; No: false
//          (start-up then ends the program), Yes: UpgradeDatabase(D).
//   D > P: UpgradeDatabase(D) without a question (no step applies; the version file is set
//          back to the program's version).
// Errors go to the caller (start-up reports them and ends the program).
bool CheckDatabaseVersion();

// Brings the local tables in DataDir from data version `DataVersion` to the current layout:
//   below 200: FILES.DB gets Dossier; Patients.db gets its first names in a field Prenom of 64
//              characters (taken from the old layout's third field, which is removed); the
//              index NomPrenom; FILES.DB gets Patient_Nom;
//   below 201: cfg.db gets DS_CODE.
// Each step runs only while the tables still need it, so running the upgrade on tables that are
// already up to date changes nothing. All steps and the version file (set to ProgVersion) form
// one transaction: when anything fails, the tables and the version file stay as they were and
// the error goes to the caller. On success "Mise à jour terminée." is shown and the result is
// true. The tables must not be open (they are changed under an exclusive lock).
bool UpgradeDatabase(int DataVersion);
