// A workstation with its local tables: a temporary working folder, the tables of a new
// installation created in its data folder, the data module bound to them and every table open.
// The sqlite3 command-line tool looks at the database file independently of the program.
#pragma once

#include <app/datatables.h>

#include <support/workspace.h>

#include <QString>

#include <memory>

class LocalTablesFixture
{
public:
    LocalTablesFixture();
    ~LocalTablesFixture();

    TestWorkspace ws;
    TDataTables* tables = nullptr;

    // The database file of the data folder.
    QString databaseFile() const;
    // Runs a script with /usr/bin/sqlite3 on the database file; rows come back as "a|b" lines.
    QString cli(const QString& script) const;
    // Appends a source row to cfg.db.
    void addSource(int number, int type, bool needId = false, bool needComment = false,
                   int warning = 0, const QString& extension = QStringLiteral("TXT"));
};
