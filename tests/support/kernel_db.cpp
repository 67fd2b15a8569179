// The kernel tests' temporary database, alias file and recording driver.
#include "kernel_db.h"

#include <platform/codepage.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlquery.h>
#include <platform/db/storedvalue.h>

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

// A recorded statement: texts come back cut at the recorder's length (0: never), and output
// parameters, which SQLite has not, take the columns of the first row of the statement SQLite runs
// in the server's place, in their order (a stand-in for a stored procedure returns its answer as
// a row).
class RecordedStatement : public DbStatement
{
public:
    // `accepted`: the server's statement was taken without SQLite running anything in its
    // place, so its values are only recorded.
    RecordedStatement(std::unique_ptr<DbStatement> inner, std::shared_ptr<Recorder> recorder,
                      const QString& sql, bool accepted)
        : m_inner(std::move(inner)), m_recorder(std::move(recorder)), m_sql(sql),
          m_cut(accepted ? 0 : m_recorder->textCut), m_accepted(accepted)
    {
    }
    int parameterCount() const override { return m_inner->parameterCount(); }
    void bind(int index, const Variant& value, FieldType type) override
    {
        record(index, value);
        if (!m_accepted)
            m_inner->bind(index, value, type);
    }
    void bindOutput(int index, const Variant&, FieldType type, ParamType) override
    {
        record(index, Variant(QStringLiteral("<out>")));
        m_outputs.append({index, type});
    }
    Variant outputValue(int index) const override
    {
        for (qsizetype i = 0; i < m_outputs.size(); ++i) {
            if (m_outputs.at(i).first == index && i < m_answer.size())
                return storedvalue::fromStored(m_outputs.at(i).second, m_answer.at(i));
        }
        return Variant::null();
    }
    void clearBindings() override { m_inner->clearBindings(); }
    bool step() override
    {
        if (!m_stepped)
            m_recorder->runs.append({m_sql, m_values});
        const bool row = m_inner->step();
        if (row && !m_stepped && !m_outputs.isEmpty()) {
            for (int c = 0; c < m_inner->columnCount(); ++c)
                m_answer.append(m_inner->columnValue(c));
        }
        m_stepped = true;
        return row;
    }
    void reset() override
    {
        m_inner->reset();
        m_stepped = false; // a run again is recorded again
        m_answer.clear();
    }
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
    void record(int index, const Variant& value)
    {
        while (m_values.size() <= index)
            m_values.append(Variant());
        m_values[index] = value;
    }
    Variant cut(const Variant& value) const
    {
        if (m_cut <= 0 || value.type() != Variant::Type::String)
            return value;
        const QByteArray bytes = codepage::toAnsi(value.toString());
        return bytes.size() <= m_cut ? value : Variant(codepage::fromAnsi(bytes.left(m_cut)));
    }

    std::unique_ptr<DbStatement> m_inner;
    std::shared_ptr<Recorder> m_recorder;
    QString m_sql;
    int m_cut;
    bool m_accepted;
    VariantList m_values;
    QList<QPair<int, FieldType>> m_outputs;
    QList<Variant> m_answer;
    bool m_stepped = false;
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
            return std::make_unique<RecordedStatement>(
                m_inner->prepare(m_recorder->standIns.value(sql, sql)), m_recorder, sql, false);
        } catch (const EngineError&) {
            if (!m_recorder->acceptUnknown)
                throw;
            return std::make_unique<RecordedStatement>(
                m_inner->prepare(QStringLiteral("select 1 where 0")), m_recorder, sql, true);
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
    int busyTimeout() const override { return m_inner->busyTimeout(); }
    void setBusyTimeout(int ms) override { m_inner->setBusyTimeout(ms); }
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
