// The link of a dataset to the database it reads, shared by the datasets of the engine.
#pragma once

#include <QMetaObject>
#include <QPointer>

#include <functional>

class DataSet;
class Database;

// Holds the database of a dataset. When the database closes, the dataset closes and lets go of its
// prepared statements (they must go before the connection does); changing the database closes the
// dataset first.
class DatabaseBinding
{
public:
    DatabaseBinding(DataSet& dataSet, std::function<void()> releaseStatements);
    ~DatabaseBinding();
    DatabaseBinding(const DatabaseBinding&) = delete;
    DatabaseBinding& operator=(const DatabaseBinding&) = delete;

    Database* database() const { return m_database; }
    void setDatabase(Database* database);

private:
    DataSet& m_dataSet;
    std::function<void()> m_releaseStatements;
    QPointer<Database> m_database;
    QMetaObject::Connection m_closing;
};
