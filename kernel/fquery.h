// TQueryFake: a query whose result can be switched into a fully fetched, cached mode with one
// call. The schema tools use it throughout; TBigQuery (bigquery.h) builds on it.
#pragma once

#include <platform/db/sqlquery.h>

class TQueryFake : public SqlQuery
{
    Q_OBJECT
public:
    explicit TQueryFake(QObject* parent = nullptr);
    ~TQueryFake() override;

    // Cached mode is the open query with every row fetched. Switching on a closed query opens it
    // (with the open events), fetches every row with its BeforeScroll and AfterScroll handlers
    // detached, goes to the first row and attaches them again; switching off closes it. A query
    // already in the asked mode is left alone. Raises "Error in TFakeQuery!" while the query is
    // being read from a stream.
    void SetCached(bool value);
    bool GetCached() const { return isActive(); }
    void CacheOn() { SetCached(true); }

    // The name of the database the query runs on, as a stream carries it: the name given by
    // SetDatabaseName (a query read from a stream), else that of its database.
    QString DatabaseName() const;
    void SetDatabaseName(const QString& name) { m_databaseName = name; }

    // Whether the query is being read from a stream (see TBigQuery::ReadState).
    bool IsReading() const { return m_reading; }

protected:
    // Marks the query as being read from a stream while it lives.
    class ReadingScope
    {
    public:
        explicit ReadingScope(TQueryFake& query) : m_query(query) { m_query.m_reading = true; }
        ~ReadingScope() { m_query.m_reading = false; }
        ReadingScope(const ReadingScope&) = delete;
        ReadingScope& operator=(const ReadingScope&) = delete;

    private:
        TQueryFake& m_query;
    };

private:
    QString m_databaseName;
    bool m_reading = false;
    bool m_destroying = false;
};
