// The SQLite driver: the workstation's local tables (one file in the data folder, WAL journal)
// and the STANDARD server kind (a database that several workstations may share over a network
// folder, rollback journal). Only this driver's own .cpp sees SQLite's C API.
#pragma once

#include <platform/db/driver.h>

#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>

namespace sqlitedb {

// Name of the database file kept in a folder (local tables and STANDARD databases alike).
inline const QString DatabaseFileName = QStringLiteral("quorvane.sqlite");

// Parameters read by the driver besides PATH and BUSY TIMEOUT:
// "JOURNAL MODE" "WAL" for the local tables, otherwise the rollback journal; "CREATE" "TRUE" to
// create a missing database file (a WAL database is always created).
inline const QString JournalModeParam = QStringLiteral("JOURNAL MODE");
inline const QString CreateParam = QStringLiteral("CREATE");

// The database file named by a PATH parameter: DatabaseFileName in that folder when the path is an
// existing folder or ends with a separator, else the path itself (a file, there or not).
QString databaseFile(const QString& path);

std::unique_ptr<DbDriver> makeDriver();

// Whether the engine reads `name` as one of its SQL keywords (ORDER, SELECT, KEY, ...), case
// ignored: such a name stands in a statement only quoted.
bool isKeyword(const QString& name);

// A look at the database file of a connection of this driver past the engine's cache and journal,
// which can hide what another program did to the file: the file at the database's path must
// still be the one the engine has open (not renamed, deleted or replaced), start with the
// engine's header and be at least as long as the pages its header counts since the last
// checkpoint. False, with
// the reason in `why`, when it is not (or cannot be read); true for other connections. The bytes
// are read through the engine's own handle on the file: a second open and close of it would
// drop the engine's locks.
bool fileLooksIntact(DbConnection& connection, QString* why);

// A mark of the database's rows as a connection of this driver sees them: two marks taken on the
// same connection are equal only when no row changed in between, through that connection or any
// other. Reading a mark costs one short statement; nullopt for other connections.
struct ContentsMark
{
    qint64 others = 0; // changes committed by other connections, as the engine counts them
    qint64 own = 0;    // rows changed through this connection

    friend bool operator==(const ContentsMark&, const ContentsMark&) = default;
};
std::optional<ContentsMark> contentsMark(DbConnection& connection);

// Follows the rows that change through one connection of this driver in some of its tables, so
// that a view can follow the rows that changed instead of reading a whole table again. take()
// hands out the rowids inserted, updated or deleted in each watched table since the last take
// (or since watchRows). It says it cannot (complete false) when it may have missed a change:
// another connection committed, a change was made that names no row (a table emptied in one
// statement), the schema changed, the connection was closed, or more than MaxRows rows changed.
// The rowids only say where to look: a row may have changed back since (a rollback).
class RowWatch
{
public:
    static constexpr int MaxRows = 2000;
    struct Changes
    {
        bool complete = false;
        QHash<QString, QSet<qint64>> rows; // by table name in lower case
    };
    virtual ~RowWatch() = default;
    virtual Changes take() = 0;
};
// Table names compare without regard to ASCII case. Nullptr for other connections.
std::shared_ptr<RowWatch> watchRows(DbConnection& connection, const QStringList& tables);

// Text collations registered on every connection:
// "FOLD"  the case- and accent-folding order (folded text, ties broken by the exact text);
// "ANSI"  the exact order by the bytes of the program's code page.
// A FOLD operand ending in FoldLow (or FoldHigh) stands just before (or just after) every text
// with the same folded text: key searches use it to match on the folded text alone.
inline const QString FoldCollation = QStringLiteral("FOLD");
inline const QString AnsiCollation = QStringLiteral("ANSI");
constexpr char16_t FoldLow = 0xFDD0;
constexpr char16_t FoldHigh = 0xFDD1;

} // namespace sqlitedb
