// The row containers.
#include "enumrows.h"

#include <platform/db/tablelock.h>
#include <platform/regional.h>
#include <platform/support/paths.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

TAbstractDSContainer::~TAbstractDSContainer() = default;

void TAbstractDSContainer::SetDatabasePath(const QString&)
{
}

TClientDSContainer::TClientDSContainer() : m_dataSet(std::make_unique<MemDataSet>())
{
}

TClientDSContainer::~TClientDSContainer() = default;

void TClientDSContainer::CreateStorage()
{
    if (!m_dataSet->isActive())
        m_dataSet->createDataSet();
}

std::function<quint32()> TPDXContainer::NumberSource;

TPDXContainer::TPDXContainer() : m_table(std::make_unique<LocalTable>())
{
}

TPDXContainer::~TPDXContainer()
{
    m_table->close();
    m_table.reset();
    removeFiles();
}

void TPDXContainer::removeFiles()
{
    if (m_database)
        m_database->close();
    m_database.reset();
    if (m_file.isEmpty())
        return;
    const QString table = QFileInfo(m_file).fileName();
    for (const QString& file :
         {m_file, m_file + QStringLiteral("-journal"), m_file + QStringLiteral("-wal"),
          m_file + QStringLiteral("-shm"), TableLock::lockFileName(m_file, table)})
        QFile::remove(file);
    m_file.clear();
}

void TPDXContainer::CreateStorage()
{
    if (m_table->isActive())
        return;
    const QString folder = AddBackslash(m_folder.isEmpty() ? QDir::tempPath() : m_folder);
    // The name is taken by making the file: two containers, in this process or another, never
    // share one.
    QString file;
    for (int attempt = 0;; ++attempt) {
        const quint32 n =
            NumberSource ? NumberSource() : QRandomGenerator::global()->bounded(2147483647u);
        file = folder + IntToHex(n, 2) + QStringLiteral(".DB");
        QFile f(file);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!QFileInfo::exists(file) || attempt >= 1000)
            throw EInOutError(
                QStringLiteral("Impossible de créer %1 : %2").arg(file, f.errorString()));
    }
    m_file = file;
    try {
        m_database = std::make_unique<Database>();
        m_database->setDriverName(QStringLiteral("STANDARD"));
        m_database->params().setValue(DbParam::Path, m_file);
        m_database->open();
        m_table->setDatabase(m_database.get());
        m_table->setTableName(QFileInfo(m_file).fileName());
        m_table->createTable();
        m_table->open();
    } catch (...) {
        m_table->close();
        m_table->setDatabase(nullptr);
        removeFiles();
        throw;
    }
}
