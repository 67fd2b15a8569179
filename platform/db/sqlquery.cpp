// The SQL query dataset: runs its statement with the bound parameters, defines fields from the
// result columns, reads rows as the cursor needs them, and loads whole results into in-memory
// datasets.
#include "sqlquery.h"

#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/storedvalue.h>

#include <QSet>

#include <functional>
#include <vector>

FieldDefs resultFieldDefs(const DbStatement& statement, bool hasRow)
{
    FieldDefs defs;
    QSet<QString> used;
    for (int c = 0; c < statement.columnCount(); ++c) {
        QString name = statement.columnName(c);
        if (used.contains(name.toUpper())) {
            int n = 1;
            while (used.contains(QStringLiteral("%1_%2").arg(name).arg(n).toUpper()))
                ++n;
            name = QStringLiteral("%1_%2").arg(name).arg(n);
        }
        used.insert(name.toUpper());
        int size = 0;
        FieldType type = storedvalue::fieldTypeOf(statement.columnDeclaredType(c), &size);
        if (type == FieldType::AutoInc)
            type = FieldType::Integer; // a result column is never filled by the engine
        if (type == FieldType::Unknown) {
            switch (hasRow ? statement.columnValue(c).type() : Variant::Type::Null) {
            case Variant::Type::Integer:
                type = FieldType::Integer;
                break;
            case Variant::Type::Double:
                type = FieldType::Float;
                break;
            case Variant::Type::Bytes:
                type = FieldType::Blob;
                break;
            default:
                type = FieldType::String;
                break;
            }
        }
        defs.add(name, type, type == FieldType::String ? size : 0);
    }
    return defs;
}

SqlQuery::SqlQuery(QObject* parent) : DataSet(parent)
{
}

SqlQuery::~SqlQuery()
{
    // The statements must go before the connection does; closing here keeps that order.
    m_statement.reset();
    m_execStatement.reset();
}

void SqlQuery::setDatabase(Database* database)
{
    if (database != m_binding.database())
        m_execStatement.reset();
    m_binding.setDatabase(database);
}

void SqlQuery::setSql(const QString& text)
{
    if (text == m_sql)
        return;
    close();
    m_execStatement.reset();
    m_sql = text;
    if (m_paramCheck) {
        m_parsed = parseSqlParams(text);
    } else {
        m_parsed = ParsedSql();
        m_parsed.statement = text;
    }
    Params fresh(m_parsed);
    fresh.assignValues(m_params);
    m_params = fresh;
}

void SqlQuery::setParamCheck(bool on)
{
    if (on == m_paramCheck)
        return;
    m_paramCheck = on;
    const QString text = m_sql;
    m_sql.clear();
    setSql(text);
}

std::unique_ptr<DbStatement> SqlQuery::run()
{
    if (!database())
        throw EngineError(EngineCode::InvalidRequest,
                          messagePrefix() + tr("No database assigned to the query"));
    if (m_sql.trimmed().isEmpty())
        throw EngineError(EngineCode::InvalidRequest, messagePrefix() + tr("No SQL statement"));
    std::unique_ptr<DbStatement> st = database()->connection().prepare(m_parsed.statement);
    bindParams(*st, m_parsed, m_params);
    return st;
}

void SqlQuery::execSql()
{
    if (m_execStatement) {
        m_execStatement->clearBindings();
        bindParams(*m_execStatement, m_parsed, m_params);
    } else {
        m_execStatement = run();
    }
    // A statement that failed is prepared again next time.
    std::unique_ptr<DbStatement> st = std::move(m_execStatement);
    while (st->step()) {
    }
    m_rowsAffected = st->rowsAffected();
    readOutputParams(*st, m_parsed, m_params);
    if (m_keepPrepared) {
        st->reset();
        m_execStatement = std::move(st);
    }
}

void SqlQuery::setKeepPrepared(bool on)
{
    m_keepPrepared = on;
    if (!on)
        m_execStatement.reset();
}

qint64 SqlQuery::fetchInto(MemDataSet& target)
{
    std::unique_ptr<DbStatement> st = run();
    if (st->columnCount() == 0)
        throw EngineError(EngineCode::InvalidRequest,
                          messagePrefix() + tr("The statement returns no rows"));
    bool hasRow = st->step();
    if (!target.isActive()) {
        target.fieldDefs() = resultFieldDefs(*st, hasRow);
        target.createDataSet();
    }
    // Column -> target definition, and the type each value is read as.
    const FieldDefs& defs = target.fieldDefs();
    std::vector<DbStatement::ColumnRead> reads;
    for (int c = 0; c < st->columnCount(); ++c) {
        const int field = defs.indexOf(st->columnName(c));
        if (field >= 0)
            reads.push_back({c, defs.at(field).type, field});
    }
    // The values go into the target's record as the statement reads them; fields without a
    // column stay null.
    const std::function<void(RecordSink&)> fill = [&st, &reads](RecordSink& sink) {
        st->readColumns(reads, sink);
    };
    qint64 count = 0;
    const bool wasEmpty = target.isEmpty();
    QSet<qint64> before;
    if (!wasEmpty) {
        for (const Bookmark& b : target.bookmarks())
            before.insert(b.id());
    }
    target.beginBulkAppend();
    try {
        for (; hasRow; hasRow = st->step()) {
            if (!target.bulkAppend(fill))
                break;
            ++count;
        }
    } catch (...) {
        // A value that cannot be read ends the load: the target gets back what it held, never a
        // part of the result.
        target.endBulkAppend();
        target.disableControls();
        if (wasEmpty) {
            target.emptyDataSet();
        } else {
            for (const Bookmark& b : target.bookmarks()) {
                if (!before.contains(b.id())) {
                    target.gotoBookmark(b);
                    target.deleteRecord();
                }
            }
        }
        target.enableControls();
        throw;
    }
    target.endBulkAppend();
    return count;
}

// ---- dataset storage

void SqlQuery::internalOpen()
{
    std::unique_ptr<DbStatement> st = run();
    if (st->columnCount() == 0)
        throw EngineError(EngineCode::InvalidRequest,
                          messagePrefix() + tr("The statement returns no rows: use ExecSQL"));
    const bool hasRow = st->step();
    fieldDefs() = resultFieldDefs(*st, hasRow);
    m_types.clear();
    for (const FieldDef& d : fieldDefs().list())
        m_types.append(d.type);
    m_rows.clear();
    m_current = -1;
    m_statement = std::move(st);
    if (hasRow)
        readRow();
    else
        m_statement.reset();
}

void SqlQuery::internalClose()
{
    m_statement.reset();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_current = -1;
}

// Keeps the row under the statement and moves the statement on.
void SqlQuery::readRow() const
{
    QList<Variant> row(m_types.size());
    for (int c = 0; c < m_types.size(); ++c)
        row[c] = m_statement->columnValue(c, m_types.at(c));
    m_rows.push_back(std::move(row));
}

void SqlQuery::fetchTo(qsizetype row) const
{
    while (m_statement && qsizetype(m_rows.size()) <= row) {
        if (m_statement->step())
            readRow();
        else
            m_statement.reset();
    }
}

void SqlQuery::fetchAll() const
{
    fetchTo(std::numeric_limits<qsizetype>::max());
}

bool SqlQuery::internalFirst()
{
    fetchTo(0);
    if (m_rows.empty())
        return false;
    m_current = 0;
    return true;
}

bool SqlQuery::internalLast()
{
    fetchAll();
    if (m_rows.empty())
        return false;
    m_current = qsizetype(m_rows.size()) - 1;
    return true;
}

bool SqlQuery::internalNext()
{
    fetchTo(m_current + 1);
    if (m_current + 1 >= qsizetype(m_rows.size()))
        return false;
    ++m_current;
    return true;
}

bool SqlQuery::internalPrior()
{
    if (m_current <= 0)
        return false;
    --m_current;
    return true;
}

void SqlQuery::internalRead(QList<Variant>& values) const
{
    if (m_current < 0 || m_current >= qsizetype(m_rows.size()))
        return;
    const QList<Variant>& row = m_rows.at(size_t(m_current));
    for (int i = 0; i < row.size() && i < values.size(); ++i)
        values[i] = row.at(i);
}

Bookmark SqlQuery::internalBookmark() const
{
    return m_current < 0 ? Bookmark() : Bookmark(m_current + 1);
}

bool SqlQuery::internalGotoBookmark(const Bookmark& bookmark)
{
    if (!internalBookmarkValid(bookmark))
        return false;
    m_current = qsizetype(bookmark.id() - 1);
    return true;
}

bool SqlQuery::internalBookmarkValid(const Bookmark& bookmark) const
{
    if (bookmark.isNull() || bookmark.id() < 1)
        return false;
    fetchTo(qsizetype(bookmark.id() - 1));
    return bookmark.id() <= qint64(m_rows.size());
}

bool SqlQuery::internalPost(const QList<Variant>&, PostMode)
{
    throw EDBEditError(messagePrefix() + tr("Cannot modify a read-only dataset"));
}

bool SqlQuery::internalDelete()
{
    throw EDBEditError(messagePrefix() + tr("Cannot modify a read-only dataset"));
}

void SqlQuery::internalRefresh()
{
    std::unique_ptr<DbStatement> st = run();
    const bool hasRow = st->step();
    m_rows.clear();
    m_statement = std::move(st);
    if (hasRow)
        readRow();
    else
        m_statement.reset();
    m_current = m_rows.empty() ? -1 : 0;
}

int SqlQuery::internalRecordCount() const
{
    fetchAll();
    return int(m_rows.size());
}

int SqlQuery::internalRecNo() const
{
    return m_current < 0 ? -1 : int(m_current + 1);
}

bool SqlQuery::internalSetRecNo(int recNo)
{
    if (recNo < 1)
        return false;
    fetchTo(recNo - 1);
    if (recNo > int(m_rows.size()))
        return false;
    m_current = recNo - 1;
    return true;
}
