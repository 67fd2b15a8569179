// The kernel tests' temporary database, alias file and recording driver.
#include "kernel_db.h"

#include <platform/codepage.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlquery.h>

#include <support/db_helpers.h>

namespace krntest {

namespace {

QString valueText(const Variant& v)
{
    if (v.isEmpty())
        return QStringLiteral("NULL");
    switch (v.type()) {
    case Variant::Type::Double:
    case Variant::Type::Currency:
        return QString::number(v.toDouble(), 'g', 15);
    case Variant::Type::Integer:
        return QString::number(v.toInt64());
    default:
        return v.toString();
    }
}

// A statement whose texts come back cut at the recorder's length.
class CuttingStatement : public DbStatement
{
public:
    CuttingStatement(std::unique_ptr<DbStatement> inner, int cut)
        : m_inner(std::move(inner)), m_cut(cut)
    {
    }
    int parameterCount() const override { return m_inner->parameterCount(); }
    void bind(int index, const Variant& value, FieldType type) override
    {
        m_inner->bind(index, value, type);
    }
    void clearBindings() override { m_inner->clearBindings(); }
    bool step() override { return m_inner->step(); }
    void reset() override { m_inner->reset(); }
    int columnCount() const override { return m_inner->columnCount(); }
    QString columnName(int column) const override { return m_inner->columnName(column); }
    QString columnDeclaredType(int column) const override
    {
        return m_inner->columnDeclaredType(column);
    }
    Variant columnValue(int column) const override { return cut(m_inner->columnValue(column)); }
    Variant columnValue(int column, FieldType type) const override
    {
        return cut(m_inner->columnValue(column, type));
    }
    qint64 rowsAffected() const override { return m_inner->rowsAffected(); }

private:
    Variant cut(const Variant& value) const
    {
        if (value.type() != Variant::Type::String)
            return value;
        const QByteArray bytes = codepage::toAnsi(value.toString());
        return bytes.size() <= m_cut ? value : Variant(codepage::fromAnsi(bytes.left(m_cut)));
    }

    std::unique_ptr<DbStatement> m_inner;
    int m_cut;
};

class RecordingConnection : public DbConnection
{
public:
    RecordingConnection(QString name, std::unique_ptr<DbConnection> inner,
                        std::shared_ptr<Recorder> recorder)
        : m_name(std::move(name)), m_inner(std::move(inner)), m_recorder(std::move(recorder))
    {
    }
    QString driverName() const override { return m_name; }
    std::unique_ptr<DbStatement> prepare(const QString& sql) override
    {
        m_recorder->statements.append(sql);
        if (m_recorder->statements.size() == m_recorder->failAt ||
            (!m_recorder->failOn.isEmpty() && sql.startsWith(m_recorder->failOn)))
            throw EngineError(EngineCode::InvalidRequest, QStringLiteral("statement refused"));
        try {
            std::unique_ptr<DbStatement> statement =
                m_inner->prepare(m_recorder->standIns.value(sql, sql));
            if (m_recorder->textCut > 0)
                return std::make_unique<CuttingStatement>(std::move(statement),
                                                          m_recorder->textCut);
            return statement;
        } catch (const EngineError&) {
            if (!m_recorder->acceptUnknown)
                throw;
            return m_inner->prepare(QStringLiteral("select 1 where 0"));
        }
    }
    void beginTransaction() override
    {
        m_recorder->transactions.append(QStringLiteral("BEGIN"));
        m_inner->beginTransaction();
    }
    void commit() override
    {
        refuseOnce(QStringLiteral("COMMIT"), m_recorder->failCommits);
        m_inner->commit();
    }
    void rollback() override
    {
        refuseOnce(QStringLiteral("ROLLBACK"), m_recorder->failRollbacks);
        m_inner->rollback();
    }
    bool inTransaction() const override { return m_inner->inTransaction(); }
    QStringList tableNames() override { return m_inner->tableNames(); }
    QString databaseFile() const override { return m_inner->databaseFile(); }

private:
    void refuseOnce(const QString& call, int& failures)
    {
        m_recorder->transactions.append(call);
        if (failures > 0) {
            --failures;
            throw EngineError(EngineCode::InvalidRequest, call.toLower() + " refused");
        }
    }

    QString m_name;
    std::unique_ptr<DbConnection> m_inner;
    std::shared_ptr<Recorder> m_recorder;
};

class RecordingDriver : public DbDriver
{
public:
    RecordingDriver(QString name, std::shared_ptr<Recorder> recorder)
        : m_name(std::move(name)), m_recorder(std::move(recorder)), m_sqlite(sqlitedb::makeDriver())
    {
    }
    QString name() const override { return m_name; }
    std::unique_ptr<DbConnection> connect(const ConnectionParams& params) override
    {
        const QString user = params.value(DbParam::UserName);
        const QString password = params.value(DbParam::Password);
        m_recorder->logins.append(user + QLatin1Char('/') + password);
        if (!m_recorder->user.isEmpty() &&
            (user != m_recorder->user || password != m_recorder->password))
            throw EngineError(EngineCode::CannotOpen,
                              QStringLiteral("Login failed for user '%1'").arg(user));
        return std::make_unique<RecordingConnection>(m_name, m_sqlite->connect(params), m_recorder);
    }

private:
    QString m_name;
    std::shared_ptr<Recorder> m_recorder;
    std::unique_ptr<DbDriver> m_sqlite;
};

} // namespace

void registerRecordingDriver(const QString& name, std::shared_ptr<Recorder> recorder)
{
    DbDriver::registerDriver(std::make_unique<RecordingDriver>(name, std::move(recorder)));
}

void restoreStandardDriver()
{
    DbDriver::registerDriver(sqlitedb::makeDriver());
}

QStringList queryRows(Database& db, const QString& sql, const Params* params)
{
    SqlQuery q;
    q.setDatabase(&db);
    q.setSql(sql);
    if (params)
        q.setParams(*params);
    q.open();
    QStringList out;
    for (q.first(); !q.eof(); q.next()) {
        QStringList row;
        for (int i = 0; i < q.fieldCount(); ++i)
            row.append(valueText(q.field(i)->value()));
        out.append(row.join(QLatin1Char('|')));
    }
    return out;
}

KernelDb::KernelDb() : m_previousAliases(AliasRegistry::globalFileName())
{
    AliasRegistry::setGlobalFileName(m_aliases.path() + QStringLiteral("/aliases.ini"));
    addAlias(QStringLiteral("KRN"), QStringLiteral("STANDARD"));
}

KernelDb::~KernelDb()
{
    AliasRegistry::setGlobalFileName(m_previousAliases);
}

QString KernelDb::file() const
{
    return m_dir.path() + QLatin1Char('/') + sqlitedb::DatabaseFileName;
}

void KernelDb::addAlias(const QString& alias, const QString& driver) const
{
    ConnectionParams params;
    params.setValue(DbParam::Path, m_dir.path());
    params.setValue(sqlitedb::CreateParam, QStringLiteral("TRUE"));
    AliasRegistry::global().modify(alias, driver, params);
}

void KernelDb::exec(const QString& sql) const
{
    dbtest::sqliteCli(file(), ".timeout 5000\nbegin;\n" + sql + "\n;\ncommit;");
}

void KernelDb::execScript(const QString& name) const
{
    exec(".read '" QUORVANE_TEST_DATA "/kernel/" + name + "'");
}

QStringList KernelDb::rows(const QString& sql) const
{
    const QString out = dbtest::sqliteCli(file(), ".nullvalue NULL\n.timeout 5000\n" + sql + ";");
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

} // namespace krntest
