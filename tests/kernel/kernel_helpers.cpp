// The kernel tests' temporary database, alias file and recording driver.
#include "kernel_helpers.h"

#include <platform/db/sqlitedriver.h>
#include <platform/db/storedvalue.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace krntest {

namespace {

bool isTransactionCall(const QString& entry)
{
    return entry == QLatin1String("BEGIN") || entry == QLatin1String("COMMIT") ||
           entry == QLatin1String("ROLLBACK");
}

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

} // namespace

QStringList Recorder::statementsOnly() const
{
    QStringList out;
    for (const QString& entry : log) {
        if (!isTransactionCall(entry))
            out.append(entry);
    }
    return out;
}

QStringList Recorder::transactionCalls() const
{
    QStringList out;
    for (const QString& entry : log) {
        if (isTransactionCall(entry))
            out.append(entry);
    }
    return out;
}

QStringList sqliteRows(sqlite3* db, const QString& sql)
{
    QStringList out;
    sqlite3_stmt* st = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in: " << sql.toStdString();
        return out;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList row;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            row.append(
                sqlite3_column_type(st, i) == SQLITE_NULL
                    ? QStringLiteral("NULL")
                    : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
        out.append(row.join(QLatin1Char('|')));
    }
    sqlite3_finalize(st);
    return out;
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

namespace {

class AnswerStatement : public DbStatement
{
public:
    explicit AnswerStatement(Recorder::Answer answer, std::shared_ptr<Recorder> recorder)
        : m_answer(std::move(answer)), m_recorder(std::move(recorder))
    {
    }
    int parameterCount() const override { return 0; }
    void bind(int, const Variant& value, FieldType) override
    {
        m_recorder->bound.append(value.toString());
    }
    void clearBindings() override {}
    bool step() override { return ++m_row < m_answer.rows.size(); }
    void reset() override { m_row = -1; }
    int columnCount() const override { return int(m_answer.columns.size()); }
    QString columnName(int column) const override { return m_answer.columns.at(column); }
    QString columnDeclaredType(int) const override { return QString(); }
    Variant columnValue(int column) const override { return m_answer.rows.at(m_row).at(column); }
    Variant columnValue(int column, FieldType type) const override
    {
        return storedvalue::fromStored(type, columnValue(column));
    }
    qint64 rowsAffected() const override { return 0; }

private:
    Recorder::Answer m_answer;
    std::shared_ptr<Recorder> m_recorder;
    qsizetype m_row = -1;
};

// Records the values bound to a statement SQLite runs.
class RecordedStatement : public DbStatement
{
public:
    RecordedStatement(std::unique_ptr<DbStatement> inner, std::shared_ptr<Recorder> recorder)
        : m_inner(std::move(inner)), m_recorder(std::move(recorder))
    {
    }
    int parameterCount() const override { return m_inner->parameterCount(); }
    void bind(int index, const Variant& value, FieldType type) override
    {
        m_recorder->bound.append(value.toString());
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
    Variant columnValue(int column) const override { return m_inner->columnValue(column); }
    Variant columnValue(int column, FieldType type) const override
    {
        return m_inner->columnValue(column, type);
    }
    qint64 rowsAffected() const override { return m_inner->rowsAffected(); }

private:
    std::unique_ptr<DbStatement> m_inner;
    std::shared_ptr<Recorder> m_recorder;
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
        m_recorder->log.append(sql);
        const auto it = m_recorder->answers.constFind(sql);
        if (it != m_recorder->answers.constEnd())
            return std::make_unique<AnswerStatement>(*it, m_recorder);
        return std::make_unique<RecordedStatement>(m_inner->prepare(sql), m_recorder);
    }
    void beginTransaction() override
    {
        m_recorder->log.append(QStringLiteral("BEGIN"));
        m_inner->beginTransaction();
    }
    void commit() override
    {
        m_recorder->log.append(QStringLiteral("COMMIT"));
        if (m_recorder->failCommits > 0) {
            --m_recorder->failCommits;
            throw EngineError(EngineCode::InvalidRequest, QStringLiteral("commit refused"));
        }
        m_inner->commit();
    }
    void rollback() override
    {
        m_recorder->log.append(QStringLiteral("ROLLBACK"));
        if (m_recorder->failRollbacks > 0) {
            --m_recorder->failRollbacks;
            throw EngineError(EngineCode::InvalidRequest, QStringLiteral("rollback refused"));
        }
        m_inner->rollback();
    }
    bool inTransaction() const override { return m_inner->inTransaction(); }
    QStringList tableNames() override { return m_inner->tableNames(); }
    QString databaseFile() const override { return m_inner->databaseFile(); }

private:
    QString m_name;
    std::unique_ptr<DbConnection> m_inner;
    std::shared_ptr<Recorder> m_recorder;
};

class RecordingDriver : public DbDriver
{
public:
    RecordingDriver(QString name, std::shared_ptr<Recorder> recorder)
        : m_name(std::move(name)), m_recorder(std::move(recorder))
    {
    }
    QString name() const override { return m_name; }
    std::unique_ptr<DbConnection> connect(const ConnectionParams& params) override
    {
        return std::make_unique<RecordingConnection>(
            m_name, DbDriver::find(QStringLiteral("STANDARD"))->connect(params), m_recorder);
    }

private:
    QString m_name;
    std::shared_ptr<Recorder> m_recorder;
};

} // namespace

void registerRecordingDriver(const QString& name, std::shared_ptr<Recorder> recorder)
{
    DbDriver::registerDriver(std::make_unique<RecordingDriver>(name, std::move(recorder)));
}

AliasScope::AliasScope() : m_previous(AliasRegistry::globalFileName())
{
    AliasRegistry::setGlobalFileName(m_dir.path() + QStringLiteral("/aliases.ini"));
}

AliasScope::~AliasScope()
{
    AliasRegistry::setGlobalFileName(m_previous);
}

KernelDb::KernelDb()
{
    addAlias(QStringLiteral("KRN"), QStringLiteral("STANDARD"));
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
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "") << " in: " << sql.toStdString();
    sqlite3_free(error);
    sqlite3_close(db);
}

QStringList KernelDb::rows(const QString& sql) const
{
    sqlite3* db = nullptr;
    if (sqlite3_open(file().toUtf8().constData(), &db) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << file().toStdString();
        return {};
    }
    sqlite3_busy_timeout(db, 5000);
    const QStringList out = sqliteRows(db, sql);
    sqlite3_close(db);
    return out;
}

void KernelDb::createKernelTables() const
{
    exec(QStringLiteral(
        "create table VERSION (MODULE varchar(30), VERSION integer);"
        "create table _KRN_SYS_FLAGS (FLAG varchar(30), VALUE varchar(30));"
        "create table META_MACRO (CODE varchar(30), MACRO clob);"
        "create table METATABLE (TABLE_NAME varchar(30), KEY_FIELDS varchar(50), SYSTEM boolean,"
        " CUSTOM clob, TRACE_LOG boolean, BASE_TABLE varchar(30), OBJECT_KIND varchar(1));"
        "create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30),"
        " REQUIRED boolean, VISIBLE boolean, METATYPE varchar(30), DATATYPE integer,"
        " FSIZE integer, FPREC integer, CUSTOM clob, ORIGIN varchar(30),"
        " NATIVE_NAME varchar(30), ORD integer);"
        "create table TABLELINK (PARENT varchar(30), CHILD varchar(30), KEY_FIELDS varchar(50),"
        " REF_FIELDS varchar(50), DEL_ACT varchar(1), CUSTOM clob);"
        "create table DUAL (DUMMY varchar(1)); insert into DUAL values ('X');"));
}

AccessOnKernel::AccessOnKernel(const QString& alias)
{
    db.setDatabaseName(QStringLiteral("Main"));
    db.setAliasName(alias);
    for (SqlQuery* q : {&tables, &fields, &links})
        q->setDatabase(&db);
    tables.setSql(QStringLiteral("select * from METATABLE order by TABLE_NAME"));
    fields.setSql(QStringLiteral("select * from METAFIELD order by TABLE_NAME,ORD"));
    links.setSql(QStringLiteral("select * from TABLELINK"));
    access.setObjectName(QStringLiteral("DBAccess1"));
    access.SetDataBase(&db);
    access.SetTables(&tables);
    access.SetFields(&fields);
    access.SetLinks(&links);
}

} // namespace krntest
