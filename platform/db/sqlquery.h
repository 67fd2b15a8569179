// A dataset over the result of one SQL statement with named parameters, and the fast path that
// loads a whole result into an in-memory dataset.
#pragma once

#include <platform/data/dataset.h>
#include <platform/db/databasebinding.h>
#include <platform/db/params.h>

class Database;
class DbStatement;
class MemDataSet;

// The statement's ":NAME" parameters are found by parseSqlParams and bound by position. Opening
// runs the statement and makes one field per result column (type and size from the column's
// declared type; for an expression, from the kind of its first value); rows are read from the
// engine as the cursor moves, so a large result costs nothing until it is walked. The result is
// read-only.
class SqlQuery : public DataSet
{
    Q_OBJECT
public:
    explicit SqlQuery(QObject* parent = nullptr);
    ~SqlQuery() override;

    Database* database() const { return m_binding.database(); }
    // The query closes itself when its database closes.
    void setDatabase(Database* database);

    // The statement text. Changing it closes the query and rebuilds the parameters, keeping the
    // values of the parameters whose names remain.
    QString sql() const { return m_sql; }
    void setSql(const QString& text);
    void setSql(const QStringList& lines) { setSql(lines.join(QLatin1Char('\n'))); }
    // Whether ":NAME" in the text marks a parameter (on by default). Off, the text goes to the
    // engine as it stands: for server scripts whose colons are the server's own (":new.ID").
    bool paramCheck() const { return m_paramCheck; }
    void setParamCheck(bool on);

    Params& params() { return m_params; }
    const Params& params() const { return m_params; }
    // Copies the values of the same-named parameters (the others keep theirs).
    void setParams(const Params& params) { m_params.assignValues(params); }
    // Raises Exception "Parameter 'NAME' not found" when absent.
    Param& paramByName(const QString& name) { return m_params.paramByName(name); }

    // Runs a statement that returns no rows (INSERT, UPDATE, DELETE, DDL); rowsAffected() then
    // tells how many rows it changed. Raises EngineError; a parameter never given a value raises
    // Exception "No value for parameter 'NAME'". Parameters whose type is output or input-output
    // (a stored procedure's) are bound as such and take the values the server gave back.
    void execSql();
    // Keeps the statement of execSql prepared for its next run while the text and the database
    // stay, for a statement run again and again (off by default: each run prepares).
    bool keepPrepared() const { return m_keepPrepared; }
    void setKeepPrepared(bool on);
    // Rows changed by the last execSql, -1 before one.
    qint64 rowsAffected() const { return m_rowsAffected; }

    // Runs the statement and appends its whole result to `target`. When the target is closed, its
    // field definitions are made from the result columns (as opening does) and it is created
    // empty first; when it is open, columns go to the fields of the same name (others are
    // skipped, fields without a column stay null). Stops early when the target's packet limit is
    // reached. Returns the number of rows appended. The query itself stays as it was.
    qint64 fetchInto(MemDataSet& target);

    bool canModify() const override { return false; }

protected:
    void internalOpen() override;
    void internalClose() override;
    bool internalFirst() override;
    bool internalLast() override;
    bool internalNext() override;
    bool internalPrior() override;
    void internalRead(QList<Variant>& values) const override;
    Bookmark internalBookmark() const override;
    bool internalGotoBookmark(const Bookmark& bookmark) override;
    bool internalBookmarkValid(const Bookmark& bookmark) const override;
    bool internalPost(const QList<Variant>& values, PostMode mode) override;
    bool internalDelete() override;
    void internalRefresh() override;
    int internalRecordCount() const override;
    int internalRecNo() const override;
    bool internalSetRecNo(int recNo) override;

private:
    std::unique_ptr<DbStatement> run();
    void fetchTo(qsizetype row) const;
    void fetchAll() const;
    void readRow() const;

    QString m_sql;
    ParsedSql m_parsed;
    bool m_paramCheck = true;
    Params m_params;
    qint64 m_rowsAffected = -1;

    // The open result: rows read so far, and the statement while more may follow.
    mutable std::unique_ptr<DbStatement> m_statement;
    mutable std::vector<QList<Variant>> m_rows;
    QList<FieldType> m_types;
    qsizetype m_current = -1;

    // execSql's statement, done and reset between runs (with keepPrepared).
    bool m_keepPrepared = false;
    std::unique_ptr<DbStatement> m_execStatement;

    DatabaseBinding m_binding{*this, [this] {
                                  m_statement.reset();
                                  m_execStatement.reset();
                              }};
};

// The field definitions of a statement's result: one per column, named after it (a repeated name
// gets "_1", "_2", ...), typed by its declared type, or, for an expression, by the kind of the
// value in the current row (`hasRow`), else as text.
FieldDefs resultFieldDefs(const DbStatement& statement, bool hasRow);
