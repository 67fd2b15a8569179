// Identifiers and cache versions: the next values of a table's integer key (the server's
// procedure on MS SQL Server and Oracle, ID_VALUES advanced under an exclusive open on the local
// kind) and the versions of cached aliases in CACHESYS.
#include "dbaccess.h"

#include <kernel/metadata.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>

#include <QDeadlineTimer>
#include <QThread>

namespace {

// Tries of a local reservation, and how long each waits for another holder of ID_VALUES.
constexpr int ReserveTries = 100;
constexpr int TryWaitMs = 20;

const QString IdTable = QStringLiteral("ID_VALUES");
const QString KeyNameField = QStringLiteral("KEY_NAME");
const QString LastValueField = QStringLiteral("LAST_VALUE");

// A text between single quotes in a statement.
QString literal(const QString& text)
{
    return QString(text).replace(QLatin1Char('\''), QStringLiteral("''"));
}

[[noreturn]] void idFailed(const QString& keyName)
{
    DBKernelError(QStringLiteral("GetID for key %1 failed.").arg(keyName));
}

// The connection's lock wait for the length of a scope.
class BusyTimeout
{
public:
    BusyTimeout(DbConnection& connection, int ms)
        : m_connection(connection), m_previous(connection.busyTimeout())
    {
        m_connection.setBusyTimeout(ms);
    }
    ~BusyTimeout()
    {
        if (m_previous >= 0)
            m_connection.setBusyTimeout(m_previous);
    }
    BusyTimeout(const BusyTimeout&) = delete;
    BusyTimeout& operator=(const BusyTimeout&) = delete;

private:
    DbConnection& m_connection;
    int m_previous;
};

bool isLockError(const EngineError& e)
{
    for (const EngineError::Entry& entry : e.entries()) {
        if (entry.errorCode == EngineCode::Locked)
            return true;
    }
    return false;
}

enum class KeyRow { Found, Missing, Unreachable };

// One try at the key's row of ID_VALUES: the table opened exclusively (or refreshed when open)
// and positioned on the row. While another holds the table the try waits up to TryWaitMs for it;
// any other error ends the try at once. The table is closed unless the row was reached.
KeyRow openOnKey(LocalTable& table, const QString& keyName)
{
    // A lock another workstation or program holds on the file is waited for as briefly.
    BusyTimeout wait(table.database()->connection(), TryWaitMs);
    QDeadlineTimer deadline(TryWaitMs);
    for (;;) {
        try {
            if (table.isActive()) {
                table.refresh();
            } else {
                table.open();
                if (table.indexFields().isEmpty() ||
                    !sameName(table.indexFields().first(), KeyNameField))
                    table.setIndexFieldNames(KeyNameField);
            }
            return table.findKey({keyName}) ? KeyRow::Found : KeyRow::Missing;
        } catch (const EngineError& e) {
            table.close();
            if (!isLockError(e) || deadline.hasExpired())
                return KeyRow::Unreachable;
            QThread::msleep(1);
        }
    }
}

} // namespace

SqlQuery& TDBAccess::idQuery()
{
    if (!m_idQuery)
        m_idQuery = new SqlQuery(this);
    m_idQuery->close();
    m_idQuery->setDatabase(&requireDatabase());
    return *m_idQuery;
}

QString TDBAccess::idKeyField(const QString& tableName) const
{
    if (const TTableProps* table = FindTableProps(tableName)) {
        if (table->KeyFields.contains(QLatin1Char(',')))
            DBKernelError(QStringLiteral("GetID capability not supported for complex keys"));
        const QString key = table->KeyFields.trimmed();
        const TFieldProps* field = table->FindFieldProps(key);
        if (!field || (field->DataType != dtInteger && field->DataType != dtAutoinc))
            DBKernelError(QStringLiteral("GetID supports only integer datatypes."));
        return key;
    }
    if (tableName.toUpper() == QLatin1String("DBUSER"))
        return QStringLiteral("DBUSER_ID");
    return QString();
}

int TDBAccess::GetID(const QString& keyName, const QString& fieldName, int shift)
{
    requireDatabase();
    // Fewer than one identifier would hand out one that is in use.
    const int count = std::max(shift, 1);
    int id = 0;
    switch (m_serverKind) {
    case ServerKind::MSSQL:
        id = getIdOnServer(QStringLiteral("dbo.up_get_id"), keyName, count);
        if (id == 1 && reseedMsSql(keyName) > 0)
            id = getIdOnServer(QStringLiteral("dbo.up_get_id"), keyName, count);
        break;
    case ServerKind::Oracle:
        StartTransaction();
        try {
            reseedOracle(keyName);
            id = getIdOnServer(QStringLiteral("UP_GET_ID"), keyName, count);
            Commit();
        } catch (...) {
            Rollback();
            throw;
        }
        break;
    case ServerKind::Standard: {
        bool noKey = false;
        id = getIdStandard(keyName, fieldName, count, noKey);
        if (noKey)
            return 0;
        break;
    }
    default:
        break;
    }
    // A reservation that gave up (-1) has reserved nothing either.
    if (id == 0 || id == -1)
        idFailed(keyName);
    return id;
}

int TDBAccess::getIdOnServer(const QString& procedure, const QString& keyName, int shift)
{
    SqlQuery& q = idQuery();
    q.setSql(QStringLiteral("{call %1(:KeyName,:Shift,:ID)}").arg(procedure));
    q.paramByName(QStringLiteral("KeyName")).setAsString(keyName);
    q.paramByName(QStringLiteral("Shift")).setAsInteger(shift);
    Param& id = q.paramByName(QStringLiteral("ID"));
    id.setParamType(ParamType::Output);
    id.setDataType(FieldType::Integer);
    id.clear();
    q.execSql();
    return int(q.paramByName(QStringLiteral("ID")).asInteger());
}

int TDBAccess::reseedMsSql(const QString& keyName)
{
    const QString key = idKeyField(keyName);
    if (key.isEmpty())
        return 0;
    SqlQuery& q = idQuery();
    q.setSql(QStringList{
        QStringLiteral("if exists (select * from dbo.sysobjects where id = object_id(:KEY_NAME) "
                       "and sysstat & 0xf = 3)"),
        QStringLiteral("begin"), QStringLiteral("update ID_VALUES set"),
        QStringLiteral("LAST_VALUE = (select IsNull(max(%1),0) from %2)").arg(key, keyName),
        QStringLiteral("where KEY_NAME = :KEY_NAME"), QStringLiteral("select 1"),
        QStringLiteral("end"), QStringLiteral("else select 0")});
    q.paramByName(QStringLiteral("KEY_NAME")).setAsString(keyName);
    q.open();
    const int count = q.eof() ? 0 : int(q.field(0)->asInteger());
    q.close();
    return count;
}

int TDBAccess::reseedOracle(const QString& keyName)
{
    const QString key = idKeyField(keyName);
    if (key.isEmpty())
        return 0;
    SqlQuery& q = idQuery();
    q.setSql(QStringLiteral("select * from ID_VALUES where KEY_NAME = Upper('%1')")
                 .arg(literal(keyName)));
    q.open();
    const bool present = !q.eof();
    q.close();
    if (present)
        return 0;
    q.setSql(QStringLiteral("select max(%1) id from %2").arg(key, keyName));
    q.open();
    const qint64 max = q.eof() ? 0 : q.field(0)->asInteger();
    q.close();
    q.setSql(QStringLiteral("insert into ID_VALUES(KEY_NAME,LAST_VALUE) values('%1',%2)")
                 .arg(literal(keyName))
                 .arg(max));
    q.execSql();
    return int(q.rowsAffected());
}

int TDBAccess::getIdStandard(const QString& keyName, const QString& fieldName, int shift,
                             bool& noKey)
{
    Database& db = requireDatabase();
    if (!m_idTable) {
        m_idTable = new LocalTable(this);
        m_idTable->setTableName(IdTable);
        m_idTable->setExclusive(true);
    }
    LocalTable& table = *m_idTable;
    table.setDatabase(&db);

    KeyRow row = KeyRow::Unreachable;
    for (int tries = 0; tries < ReserveTries && row == KeyRow::Unreachable; ++tries)
        row = openOnKey(table, keyName);
    if (row == KeyRow::Unreachable)
        return -1;
    if (row == KeyRow::Missing) {
        QString key;
        try {
            key = idKeyField(keyName);
            if (!key.isEmpty()) {
                SqlQuery& q = idQuery();
                q.setSql(QStringLiteral("select max(%1) LAST_VALUE from %2").arg(key, keyName));
                q.open();
                const qint64 max = q.eof() ? 0 : q.field(0)->asInteger();
                q.close();
                q.setSql(QStringLiteral("insert into ID_VALUES(KEY_NAME,LAST_VALUE)values('%1',%2)")
                             .arg(literal(keyName))
                             .arg(max));
                q.execSql();
            }
        } catch (...) {
            table.close();
            throw;
        }
        if (key.isEmpty()) {
            table.close();
            noKey = true;
            return 0;
        }
    }

    int value = reserveStandard(keyName, -1, shift);
    if (value == -1)
        return -1;
    const QString key = idKeyField(keyName);
    const QString column = fieldName.isEmpty() ? key : fieldName;
    // Values the table holds already (rows written past ID_VALUES) are skipped.
    while (!column.isEmpty()) {
        SqlQuery& q = idQuery();
        q.setSql(QStringLiteral(" SELECT ") + column + QStringLiteral(" FROM '") + keyName +
                 QStringLiteral("'") + QStringLiteral(" WHERE ") + column + QStringLiteral(" = ") +
                 QString::number(value));
        q.open();
        const bool taken = !q.eof();
        q.close();
        if (!taken)
            break;
        value = reserveStandard(keyName, value + 1, shift);
        if (value == -1)
            return -1;
    }
    return value;
}

int TDBAccess::reserveStandard(const QString& keyName, int candidate, int shift)
{
    LocalTable& table = *m_idTable;
    KeyRow row = KeyRow::Unreachable;
    for (int tries = 0; tries < ReserveTries && row == KeyRow::Unreachable; ++tries)
        row = openOnKey(table, keyName);
    if (row != KeyRow::Found) {
        table.close();
        return -1;
    }
    int value = -1;
    try {
        table.edit();
        Field* last = table.fieldByName(LastValueField);
        const qint64 stored = last->asInteger();
        value = int((candidate >= stored ? candidate : stored) + shift);
        last->setAsInteger(value);
        table.post();
    } catch (...) {
        if (table.state() == DataSet::State::Edit)
            table.cancel();
        table.close();
        throw;
    }
    table.close();
    return value;
}

void TDBAccess::IncCacheVersion(Database& database, const QString& aliases)
{
    for (const QString& item : aliases.split(QLatin1Char(','))) {
        const QString alias = literal(item.trimmed());
        if (alias.isEmpty())
            continue;
        SqlQuery q;
        q.setDatabase(&database);
        q.setSql(QStringLiteral("select VERSION from CACHESYS where Upper(ALIAS) = Upper('%1')")
                     .arg(alias));
        q.open();
        // A stored row is raised whatever its version, 0 included.
        const bool stored = !q.eof();
        const qint64 version = stored ? q.field(0)->asInteger() : 0;
        q.close();
        if (stored) {
            q.setSql(QStringList{QStringLiteral("update CACHESYS set VERSION=%1").arg(version + 1),
                                 QStringLiteral("where Upper(ALIAS) = Upper('%1')").arg(alias)});
        } else {
            q.setSql(QStringList{QStringLiteral("insert into CACHESYS(ALIAS,VERSION)"),
                                 QStringLiteral("values('%1',1)").arg(alias)});
        }
        q.execSql();
    }
}

void TDBAccess::InvalidateCache(const QString& aliases)
{
    IncCacheVersion(requireDatabase(), aliases);
}
