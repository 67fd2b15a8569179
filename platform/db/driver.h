// The interface every database driver implements (SQLite for local tables and STANDARD
// databases, ODBC for MSSQL and ORACLE): connections, prepared statements with positional
// parameters, result rows, and errors reported as EngineError entries. No driver's own types
// appear here.
#pragma once

#include <platform/data/field.h>
#include <platform/data/recordsink.h>
#include <platform/db/alias.h>
#include <platform/db/enginecodes.h>
#include <platform/db/params.h>
#include <platform/exception.h>

#include <memory>
#include <span>

// A prepared statement. Parameters are positional ("?"), numbered from 0. Values travel as
// Variants; a parameter's field type (Unknown when not known) tells the driver how the value is to
// be kept (a date-time bound as a date, for example).
class DbStatement
{
public:
    virtual ~DbStatement() = default;

    virtual int parameterCount() const = 0;
    // Raises EngineError when the position is out of range or the value cannot be bound.
    virtual void bind(int index, const Variant& value, FieldType type = FieldType::Unknown) = 0;
    // Binds values[i] to parameter i, as bind(i, values[i]) does for each in turn.
    virtual void bindAll(std::span<const Variant> values);
    virtual void clearBindings() = 0;
    // An output parameter (or an input-output one, which also takes `value` in): the value the
    // server gives back is read with outputValue once the statement has run to its end. Drivers
    // without output parameters raise EngineError.
    virtual void bindOutput(int index, const Variant& value, FieldType type, ParamType direction);
    // What the server gave back in the output parameter at `index`; Null before the run ended,
    // for a parameter not bound as output, and when the server gave nothing.
    virtual Variant outputValue(int index) const;

    // Runs the statement (first call) or moves to its next row: true when a row is available,
    // false when the statement is done. Raises EngineError on failure.
    virtual bool step() = 0;
    // Makes the statement ready to run again; bindings are kept.
    virtual void reset() = 0;

    // The result's columns (0 for statements without a result).
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // The column's type as the database declares it ("VARCHAR(64)", "DATE", ...); empty for an
    // expression without one.
    virtual QString columnDeclaredType(int column) const = 0;
    // The value of a column of the current row in its stored form: Null, Integer, Double, String
    // or Bytes.
    virtual Variant columnValue(int column) const = 0;
    // The same, converted to a field type (see storedvalue::fromStored); raises EConvertError when
    // the stored value has no form of that type.
    virtual Variant columnValue(int column, FieldType type) const = 0;

    // Reads columns of the current row into a record: each column's value, converted to its
    // field type as columnValue(column, type) converts it, goes to `field` of the sink. Drivers
    // may give a value in its own type instead of as a Variant; the record gets the same.
    struct ColumnRead
    {
        int column;
        FieldType type;
        int field;
    };
    virtual void readColumns(std::span<const ColumnRead> columns, RecordSink& sink) const;

    // Rows changed by the last run of an INSERT, UPDATE or DELETE.
    virtual qint64 rowsAffected() const = 0;

protected:
    // Raises EngineError when `index` is no parameter position of the statement.
    void checkParameterIndex(int index) const;
};

// One open connection to a database. Closed when destroyed.
class DbConnection
{
public:
    virtual ~DbConnection() = default;

    // The driver name of the connection ("STANDARD", "MSSQL", "ORACLE").
    virtual QString driverName() const = 0;
    // Prepares one statement with "?" parameters. Raises EngineError.
    virtual std::unique_ptr<DbStatement> prepare(const QString& sql) = 0;
    // Runs a statement without parameters or result; returns the rows it changed.
    virtual qint64 execute(const QString& sql);

    virtual void beginTransaction() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    // A transaction is open on the server (also one left open by a failed commit or rollback).
    virtual bool inTransaction() const = 0;

    // How long a statement waits for another connection's lock before it fails as busy
    // (EngineError 0x2B33), in milliseconds; -1 for drivers that do not wait on locks, whose
    // setter does nothing.
    virtual int busyTimeout() const { return -1; }
    virtual void setBusyTimeout(int ms) { Q_UNUSED(ms); }

    // The row number the last INSERT on this connection gave its row, for drivers whose tables
    // have one (-1 otherwise).
    virtual qint64 lastInsertRowId() const { return -1; }

    // The table names of the database, in no particular order.
    virtual QStringList tableNames() = 0;
    // The file holding the database, for drivers that keep one (empty otherwise).
    virtual QString databaseFile() const { return QString(); }
};

// A driver: makes connections from parameters.
class DbDriver
{
public:
    virtual ~DbDriver() = default;
    virtual QString name() const = 0;
    // Connects without any prompt. Raises EngineError when the connection cannot be made.
    virtual std::unique_ptr<DbConnection> connect(const ConnectionParams& params) = 0;

    // The drivers known to the program, by driver name (exact match: "STANDARD", "MSSQL",
    // "ORACLE"). The SQLite driver is always there as "STANDARD"; other drivers register at
    // start-up. A registered driver replaces one of the same name.
    static DbDriver* find(const QString& name);
    static void registerDriver(std::unique_ptr<DbDriver> driver);
};
