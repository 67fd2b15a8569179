// The engine's own table locks: SQLite locks whole files, so an exclusive open of one table is an
// advisory lock on a lock file named after the table, beside the database file.
#pragma once

#include <QString>

// A held lock (shared or exclusive) on one table; released when destroyed. Locks of two
// TableLock objects conflict even within one process.
class TableLock
{
public:
    TableLock() = default;
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
    ~TableLock() { release(); }

    // The lock file of a table of a database file ("<file>.<table in lower case>.lck").
    static QString lockFileName(const QString& databaseFile, const QString& tableName);

    // Takes the lock without waiting. Raises EngineError 0x2B33 when another holder has it the
    // other way (or exclusively), and EngineError 0x2104 when the lock file cannot be made.
    void acquire(const QString& lockFile, bool exclusive, const QString& tableName);
    void release();
    bool isHeld() const { return m_fd >= 0; }
    bool isExclusive() const { return m_exclusive; }

private:
    int m_fd = -1;
    bool m_exclusive = false;
};
