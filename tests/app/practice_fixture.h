// The practice software beside a workstation, for the tests of the practice database: its folder
// with the version file TRESSOLY.VER and the practice database file written by hand
// (tests/data/practice/tressoly.sql, through the sqlite3 tool), and the workstation's side of the
// connection: the local tables, the server data module and the program's settings file.
#pragma once

#include "localtables_fixture.h"

#include <support/kernel_db.h>

#include <QString>
#include <QStringList>

#include <memory>

// The keys of an INI file's section as Python's configparser reads the file in windows-1252:
// "key=value" lines, none when the section is missing.
QStringList iniSectionOf(const QString& file, const QString& section);

class PracticeFolder
{
public:
    // The practice software's folder (made when missing), with a trailing "/".
    explicit PracticeFolder(const QString& folder);

    QString folder() const { return m_folder; }
    QString databaseFile() const;
    // TRESSOLY.VER: [Application] Version and ProgName "Tressoly", then [DBKERNEL] with these
    // lines.
    void writeVersionFile(const QStringList& kernelLines = {},
                          const QString& version = QStringLiteral("2.07")) const;
    // The practice database of tressoly.sql, then `more` run on it.
    void createDatabase(const QString& more = {}) const;
    // Runs a script with the sqlite3 tool on the database file; rows as "a|b" lines.
    QString cli(const QString& script) const;

private:
    QString m_folder;
};

// A workstation whose TressolyPath is the practice folder, IniFileName its settings file and the
// kernel's program folder (its cache files) one of its own; the server data module exists. All
// of it goes with the fixture, the engine session's aliases and the registered practice patients
// too.
class PracticeWorkstation : public LocalTablesFixture
{
public:
    PracticeWorkstation();
    ~PracticeWorkstation();

    // The program's settings file, lines joined with CR LF.
    void writeIni(const QStringList& lines) const;
    // The section of the program's settings file, as configparser reads it: "key=value" lines.
    QStringList iniSection(const QString& section) const;

    PracticeFolder practice;
};

// The practice database on a server: the practice database file behind a recording driver that
// reports `driver` ("MSSQL" or "ORACLE"), reached through the engine session's alias "Main" made
// here (so that the connection keeps it; the version file names server SRV and database PRAXIS),
// or through the alias PRAXIS of an alias file of the test's own (the version file names only the
// alias). The server takes any login until the recorder is told which one.
class ServerPractice : public PracticeWorkstation
{
public:
    explicit ServerPractice(const QString& driver, bool throughAliasFile = false);
    ~ServerPractice();

    std::shared_ptr<krntest::Recorder> recorder = std::make_shared<krntest::Recorder>();

private:
    QString m_previousAliases;
};
