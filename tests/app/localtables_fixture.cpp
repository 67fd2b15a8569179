// The local tables fixture shared by the registry, table helper, source and upgrade tests.
#include "localtables_fixture.h"

#include <app/appglobals.h>
#include <app/documents/tablehelpers.h>
#include <app/documents/upgrade.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlitedriver.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>

#include <support/db_helpers.h>

#include <QDir>

#include <gtest/gtest.h>

LocalTablesFixture::LocalTablesFixture()
{
    QDir().mkpath(BufDir);
    EXPECT_TRUE(PrepareLocalTables());
    tables = CreateForm<TDataTables>();
    tables->BindTables(DataDir, true);
    // A write that meets another writer gives up quickly here.
    tables->LocalDB->params().setValue(DbParam::BusyTimeout, QStringLiteral("50"));
    for (LocalTable* table : tables->StartupTables(true))
        TableAction(*table, 0);
}

LocalTablesFixture::~LocalTablesFixture()
{
    tables->Free();
    fileops::resetFaults();
    CurrentPack = 0;
    CheckSession = false;
}

QString LocalTablesFixture::databaseFile() const
{
    return DataDir + QLatin1Char('/') + sqlitedb::DatabaseFileName;
}

QString LocalTablesFixture::cli(const QString& script) const
{
    return dbtest::sqliteCli(databaseFile(), script);
}

void LocalTablesFixture::addSource(int number, int type, bool needId, bool needComment, int warning,
                                   const QString& extension)
{
    appendSource(*tables->cfg, number, type, 1, QStringLiteral("Source %1").arg(number), extension,
                 needId, needComment, warning);
}

void LocalTablesFixture::addComSettings(int number, int com, bool fstx, int stx, int etx,
                                        int timeout, int handshaking)
{
    tables->com->appendRecord({number, com, fstx, stx, etx, timeout, 6, 8, handshaking, 0, 0});
}

void appendSource(LocalTable& cfg, int number, int type, int state, const QString& title,
                  const QString& extension, bool needId, bool needComment, int warning)
{
    cfg.appendRecord({number, type, state, title, extension, needId, needComment, warning});
}

ExclusiveHolder::ExclusiveHolder(const QString& tableName)
{
    db.setLocalFolder(DataDir);
    table.setDatabase(&db);
    table.setTableName(tableName);
    table.setExclusive(true);
    table.open();
}
