// A connection to a database as the program sees it: opened by alias or by driver and parameters,
// without any login prompt; transactions; statements executed with named parameters.
#pragma once

#include <platform/db/alias.h>
#include <platform/db/driver.h>
#include <platform/db/params.h>

#include <QObject>

#include <functional>

class Database : public QObject
{
    Q_OBJECT
public:
    explicit Database(QObject* parent = nullptr);
    ~Database() override;

    // The name the program knows the database by.
    QString databaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& name) { m_databaseName = name; }
    // Setting an alias clears the driver name and the other way round (database closed).
    QString aliasName() const { return m_aliasName; }
    void setAliasName(const QString& alias);
    // The database's own driver name when set, else the driver of its alias, the session's or the
    // alias file's (empty when neither names one).
    QString driverName() const;
    void setDriverName(const QString& driver);
    // Parameters of the connection; with an alias they override the alias's own.
    ConnectionParams& params() { return m_params; }
    const ConnectionParams& params() const { return m_params; }
    // The workstation's local tables in `folder`: the STANDARD driver on the folder's database
    // file, in WAL mode, created when missing.
    void setLocalFolder(const QString& folder);
    bool isLocal() const;

    // Called by whoever connects in the program's name (the kernel) with the database and its
    // parameters, to put the user's name and password into them. The database never prompts.
    std::function<void(Database& database, ConnectionParams& params)> onLogin;

    // Connects (nothing happens when connected). Raises EngineError when the driver is unknown or
    // the connection fails; the database then stays closed.
    void open();
    // Closes every dataset of the database (closing() first), rolls back an open transaction and
    // disconnects.
    void close();
    bool isConnected() const { return m_connection != nullptr; }
    void setConnected(bool connected);

    void startTransaction();
    void commit();
    void rollback();
    bool inTransaction() const;

    // Runs one statement; `:NAME` parameters take the values of the same-named parameters of
    // `params` (Exception "Parameter 'NAME' not found" when one is missing). Returns the rows it
    // changed. Opens the database when needed.
    qint64 execute(const QString& sql, const Params* params = nullptr);

    // The open connection (opening the database when needed).
    DbConnection& connection();
    // The file holding the database, for drivers that keep one.
    QString databaseFile() const;

Q_SIGNALS:
    // Sent before the connection goes away: datasets on it close themselves.
    void closing();

private:
    ConnectionParams effectiveParams() const;

    QString m_databaseName;
    QString m_aliasName;
    QString m_driverName;
    ConnectionParams m_params;
    std::unique_ptr<DbConnection> m_connection;
};

// Binds the values of named parameters to the positional parameters of a scanned statement;
// output and input-output parameters are bound as such (an output parameter needs no value).
void bindParams(DbStatement& statement, const ParsedSql& parsed, const Params& params);
// After the statement has run to its end: each output, input-output or result parameter takes
// the value the server gave back.
void readOutputParams(const DbStatement& statement, const ParsedSql& parsed, Params& params);
// True for the directions a server writes to.
bool isOutputParam(const Param& param);
