// The local tables fixture shared by the registry, table helper and upgrade tests.
#include "localtables_fixture.h"

#include <app/tablehelpers.h>
#include <app/upgrade.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlitedriver.h>
#include <platform/support/globals.h>

#include "../platform/db_helpers.h"

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
    LocalTable& cfg = *tables->cfg;
    cfg.append();
    cfg.fieldByName("Number")->setAsInteger(number);
    cfg.fieldByName("Type")->setAsInteger(type);
    cfg.fieldByName("State")->setAsInteger(1);
    cfg.fieldByName("Titul")->setAsString(QStringLiteral("Source %1").arg(number));
    cfg.fieldByName("Extension")->setAsString(extension);
    cfg.fieldByName("NeedId")->setAsBoolean(needId);
    cfg.fieldByName("NeedComment")->setAsBoolean(needComment);
    cfg.fieldByName("Warning")->setAsInteger(warning);
    cfg.post();
}
