// A workstation with its local tables: a temporary working folder, the tables of a new
// installation created in its data folder, the data module bound to them and every table open.
// The sqlite3 command-line tool looks at the database file independently of the program.
#pragma once

#include <app/documents/datatables.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>

#include <support/workspace.h>

#include <QString>

class LocalTablesFixture
{
public:
    LocalTablesFixture();
    // Also clears the file-operation faults a test set.
    ~LocalTablesFixture();

    TestWorkspace ws;
    TDataTables* tables = nullptr;

    // The database file of the data folder.
    QString databaseFile() const;
    // Runs a script with /usr/bin/sqlite3 on the database file; rows come back as "a|b" lines.
    QString cli(const QString& script) const;
    // Appends an active source row to cfg.db.
    void addSource(int number, int type, bool needId = false, bool needComment = false,
                   int warning = 0, const QString& extension = QStringLiteral("TXT"));
    // Appends the serial settings of source `number` to com.DB: 9600 baud, 8 data bits, no parity,
    // one stop bit.
    void addComSettings(int number, int com, bool fstx, int stx, int etx, int timeout,
                        int handshaking = 2);
};

// Appends a source row through the program's cursor on cfg.db.
void appendSource(LocalTable& cfg, int number, int type, int state, const QString& title,
                  const QString& extension, bool needId = false, bool needComment = false,
                  int warning = 0);

// Another program holding a table of the data folder exclusively, on a connection of its own,
// for as long as it lives.
struct ExclusiveHolder
{
    explicit ExclusiveHolder(const QString& tableName);
    Database db;
    LocalTable table;
};
