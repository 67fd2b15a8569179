// Database connections: alias resolution, connecting through the driver registry, transactions
// and statement execution with named parameters.
#include "database.h"

#include <platform/db/sqlitedriver.h>

Database::Database(QObject* parent) : QObject(parent)
{
}

Database::~Database()
{
    close();
}

void Database::setAliasName(const QString& alias)
{
    m_aliasName = alias;
    if (!alias.isEmpty())
        m_driverName.clear();
}

void Database::setDriverName(const QString& driver)
{
    m_driverName = driver;
    if (!driver.isEmpty())
        m_aliasName.clear();
}

QString Database::driverName() const
{
    if (!m_driverName.isEmpty() || m_aliasName.isEmpty())
        return m_driverName;
    return aliasDriverName(m_aliasName);
}

void Database::setLocalFolder(const QString& folder)
{
    setDriverName(QStringLiteral("STANDARD"));
    // Named as a folder even before it exists: the file goes inside it.
    m_params.setValue(DbParam::Path,
                      folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))
                          ? folder
                          : folder + QLatin1Char('/'));
    m_params.setValue(sqlitedb::JournalModeParam, QStringLiteral("WAL"));
    if (m_databaseName.isEmpty())
        m_databaseName = folder;
}

bool Database::isLocal() const
{
    return m_params.value(sqlitedb::JournalModeParam)
               .compare(QLatin1String("WAL"), Qt::CaseInsensitive) == 0;
}

ConnectionParams Database::effectiveParams() const
{
    ConnectionParams p;
    if (!m_aliasName.isEmpty() && m_driverName.isEmpty())
        p = aliasParams(m_aliasName);
    for (const QString& name : m_params.names())
        p.setValue(name, m_params.value(name));
    return p;
}

void Database::open()
{
    if (m_connection)
        return;
    const QString driver = driverName();
    if (driver.isEmpty()) {
        if (!m_aliasName.isEmpty() && !aliasExists(m_aliasName))
            throw EngineError(EngineCode::NotFound,
                              QStringLiteral("Unknown database alias: %1").arg(m_aliasName));
        throw EngineError(EngineCode::NotFound,
                          QStringLiteral("No driver named for database %1").arg(m_databaseName));
    }
    DbDriver* d = DbDriver::find(driver);
    if (!d)
        throw EngineError(EngineCode::NotFound,
                          QStringLiteral("Database driver not available: %1").arg(driver));
    m_connection = d->connect(effectiveParams());
}

void Database::close()
{
    if (!m_connection)
        return;
    Q_EMIT closing();
    try {
        m_connection->rollback();
    } catch (const EngineError&) {
        // The connection goes away anyway; the server undoes what was not committed.
    }
    m_connection.reset();
}

void Database::setConnected(bool connected)
{
    if (connected)
        open();
    else
        close();
}

void Database::startTransaction()
{
    connection().beginTransaction();
}

void Database::commit()
{
    connection().commit();
}

void Database::rollback()
{
    connection().rollback();
}

bool Database::inTransaction() const
{
    return m_connection && m_connection->inTransaction();
}

qint64 Database::execute(const QString& sql, const Params* params)
{
    const ParsedSql parsed = parseSqlParams(sql);
    std::unique_ptr<DbStatement> st = connection().prepare(parsed.statement);
    bindParams(*st, parsed, params ? *params : Params());
    while (st->step()) {
    }
    return st->rowsAffected();
}

DbConnection& Database::connection()
{
    open();
    return *m_connection;
}

QString Database::databaseFile() const
{
    return m_connection ? m_connection->databaseFile() : QString();
}

bool isOutputParam(const Param& param)
{
    return param.paramType() == ParamType::Output || param.paramType() == ParamType::InputOutput ||
           param.paramType() == ParamType::Result;
}

void bindParams(DbStatement& statement, const ParsedSql& parsed, const Params& params)
{
    for (int i = 0; i < parsed.occurrences.size(); ++i) {
        const Param& p = params.paramByName(parsed.names.at(parsed.occurrences.at(i)));
        if (isOutputParam(p)) {
            const bool in = p.paramType() == ParamType::InputOutput;
            statement.bindOutput(i, in ? p.value() : Variant::null(), p.dataType(),
                                 in ? ParamType::InputOutput : ParamType::Output);
            continue;
        }
        // A parameter nobody set is a mistake, not a NULL: binding NULL would quietly match
        // nothing (or write nothing).
        if (p.value().isUnassigned())
            throw Exception(QStringLiteral("No value for parameter '%1'").arg(p.name()));
        statement.bind(i, p.value(), p.dataType());
    }
}

void readOutputParams(const DbStatement& statement, const ParsedSql& parsed, Params& params)
{
    for (int i = 0; i < parsed.occurrences.size(); ++i) {
        Param& p = params.paramByName(parsed.names.at(parsed.occurrences.at(i)));
        if (isOutputParam(p)) {
            const FieldType type = p.dataType();
            p.setValue(statement.outputValue(i));
            p.setDataType(type);
        }
    }
}
