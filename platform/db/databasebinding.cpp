// The dataset's link to its database: following the database's closing.
#include "databasebinding.h"

#include <platform/data/dataset.h>
#include <platform/db/database.h>

DatabaseBinding::DatabaseBinding(DataSet& dataSet, std::function<void()> releaseStatements)
    : m_dataSet(dataSet), m_releaseStatements(std::move(releaseStatements))
{
}

DatabaseBinding::~DatabaseBinding()
{
    QObject::disconnect(m_closing);
}

void DatabaseBinding::setDatabase(Database* database)
{
    if (m_database == database)
        return;
    m_dataSet.close();
    QObject::disconnect(m_closing);
    m_database = database;
    if (m_database)
        m_closing = QObject::connect(m_database, &Database::closing, &m_dataSet, [this] {
            m_dataSet.close();
            m_releaseStatements();
        });
}
