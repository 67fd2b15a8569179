// Guarded operations on the shared local-table cursors: posting with the error reported, and
// opening, closing, refreshing and key searches that wait out a table another program holds.
#pragma once

#include <platform/variant.h>

#include <QString>

#include <functional>

class DataSet;
class Database;
class LocalTable;

// How often and how far apart an operation that meets a busy table (engine error 0x2B33) is
// tried before the error goes to the caller.
inline constexpr int BusyTries = 10;
inline constexpr int BusyPauseMs = 100;

// When the table is being edited or inserted into: posts the record and has it written to disk;
// true on success. When that raises, the edit or insert is cancelled and the error reported:
// with an empty `Message` it goes to the application's exception handler and the operations log
// receives "DB! SAFEPOST: " + the table name; otherwise the cursor returns to normal and
// `Message` is shown in an error box. The result is then false. False too, with nothing done,
// when the table was not being edited.
bool FlushTable(LocalTable& Table, const QString& Message);

// A field of the current record by its name, as text or as an integer. Raises when the dataset
// has no such field.
QString FieldText(const DataSet& Table, const char* Name);
int FieldInt(const DataSet& Table, const char* Name);

// Runs `Writes` on the record `Table` is editing or inserting (the field values, and the post
// when the caller posts there). When it raises, the edit or insert is cancelled before the error
// goes on: a half-made record must not wait on a shared cursor for its next move to post it.
template <typename Table, typename Writes> void WriteOrCancel(Table& table, Writes writes)
{
    try {
        writes();
    } catch (...) {
        table.cancel();
        throw;
    }
}

// Action 0 opens the table (when closed) and refreshes it; 1 posts a pending edit (FlushTable)
// and closes it; 2 refreshes it. An engine error 0x2B33 repeats the action, up to BusyTries
// tries BusyPauseMs apart, then goes to the caller like every other error. The waits do not
// process messages.
void TableAction(LocalTable& Table, int Action);

// Refreshes the table (action 2 above), then searches its current index for the key values;
// true when a row was found (the cursor then stands on it). A busy table is waited out as above.
bool TableActionGuarded(LocalTable& Table, const VariantList& Keys);

// One above the highest value of the integer field `Field`, 1 when the table has no value there.
// Read with a query: the shared cursor does not move.
int NextKeyValue(const LocalTable& Table, const QString& Field);

// Runs `Work` in a transaction of `Db`: one of its own when none is open, committed when `Work`
// returns and rolled back when it raises; otherwise as part of the caller's. Errors go to the
// caller.
void InTransaction(Database& Db, const std::function<void()>& Work);
// Rolls back the open transaction, if any. A failure is not reported: the error that made the
// caller roll back is the one to report.
void RollbackQuietly(Database& Db);
