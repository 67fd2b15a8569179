// Identifiers on the local kind (ID_VALUES read back with the sqlite3 tool, two processes at
// once, another program holding the file) and through the servers' procedures (recording driver),
// and the versions of cached aliases in CACHESYS.
#include "kernel_helpers.h"

#include <kernel/dbcache.h>

#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace krntest;

TEST(Identifiers, LocalReservationsAdvanceIdValues)
{
    WritePractice p;
    const QString last = "select LAST_VALUE from ID_VALUES where KEY_NAME = 'MALADES'";
    // The first reservation starts above the table's highest key; fewer than one identifier
    // reserve one.
    EXPECT_EQ(p.access.GetID("MALADES", "", 0), 4);
    EXPECT_EQ(p.kernel.rows(last), QStringList({"4"}));
    EXPECT_EQ(p.access.GetID("MALADES", "", -1), 5);
    EXPECT_EQ(p.access.GetID("MALADES", "", -5), 6);
    EXPECT_EQ(p.access.GetID("MALADES", "", 5), 11);
    EXPECT_EQ(p.kernel.rows(last), QStringList({"11"}));
    // A value the table already holds is passed over: 12 is taken, so the reservation starts
    // again from 13 and takes one more.
    p.kernel.exec("insert into MALADES (MALADES_ID, NOM) values (12, 'Écrit à la main')");
    EXPECT_EQ(p.access.GetID("MALADES", "MALADES_ID", 1), 14);
    EXPECT_EQ(p.kernel.rows(last), QStringList({"14"}));

    // A table without description and without row has no identifiers; the kernel's user table
    // has its key built in.
    EXPECT_EQ(p.access.GetID("INCONNUE", "", 1), 0);
    p.kernel.exec("create table DBUSER (DBUSER_ID integer, NAME varchar(50));"
                  "insert into DBUSER values (40, 'admin')");
    EXPECT_EQ(p.access.GetID("DBUSER", "", 1), 41);
    EXPECT_EQ(kernelErrorOf([&] { p.access.GetID("USERROLE", "", 1); }),
              "GetID capability not supported for complex keys");
    EXPECT_EQ(kernelErrorOf([&] { p.access.GetID("METATABLE", "", 1); }),
              "GetID supports only integer datatypes.");
    p.kernel.exec("drop table ID_VALUES");
    EXPECT_EQ(kernelErrorOf([&] { p.access.GetID("MALADES", "", 1); }),
              "GetID for key MALADES failed.");
}

TEST(Identifiers, TwoProcessesNeverTakeTheSameValue)
{
    WritePractice p;
    p.kernel.exec("insert into ID_VALUES values ('MALADES', 3)");
    const QString child = QStringLiteral(QUORVANE_BINARY_DIR "/tests/getid_child");
    QProcess a, b;
    for (QProcess* c : {&a, &b})
        c->start(child, {p.kernel.folder(), "MALADES", "MALADES_ID", "300"});
    QList<int> values;
    for (QProcess* c : {&a, &b}) {
        ASSERT_TRUE(c->waitForFinished(120000));
        EXPECT_EQ(c->exitCode(), 0) << c->readAllStandardError().constData();
        for (const QByteArray& line : c->readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                values.append(line.toInt());
        }
    }
    ASSERT_EQ(values.size(), 600);
    const QSet<int> distinct(values.begin(), values.end());
    EXPECT_EQ(distinct.size(), 600);
    EXPECT_EQ(*std::min_element(values.begin(), values.end()), 4);
    EXPECT_EQ(*std::max_element(values.begin(), values.end()), 603);
    EXPECT_EQ(p.kernel.rows("select LAST_VALUE from ID_VALUES"), QStringList({"603"}));
}

// Another program holding the database file: each of the hundred tries waits briefly, then the
// reservation gives up with an error instead of handing out a value.
TEST(Identifiers, AProgramHoldingTheFileMakesTheReservationGiveUp)
{
    WritePractice p;
    p.kernel.exec("insert into ID_VALUES values ('MALADES', 3)");
    QProcess holder;
    holder.start("/usr/bin/sqlite3", {"-batch", p.kernel.file()});
    auto say = [&holder](const QByteArray& sql, const QByteArray& sign) {
        holder.write(sql + "select '" + sign + "';\n");
        QByteArray heard;
        while (!heard.contains(sign) && holder.waitForReadyRead(10000))
            heard += holder.readAllStandardOutput();
        ASSERT_TRUE(heard.contains(sign));
    };
    say("begin exclusive;\n", "held");
    EXPECT_EQ(kernelErrorOf([&] { p.access.GetID("MALADES", "", 1); }),
              "GetID for key MALADES failed.");
    say("commit;\n", "released");
    EXPECT_EQ(p.access.GetID("MALADES", "", 1), 4);
    holder.closeWriteChannel();
    holder.waitForFinished(10000);
}

TEST(Identifiers, MsSqlReseedsACounterThatStartsAtOne)
{
    WritePractice p(1);
    const QString call = "{call dbo.up_get_id(?,?,?)}";
    const QString reseed = "if exists (select * from dbo.sysobjects where id = object_id(?) "
                           "and sysstat & 0xf = 3)\nbegin\nupdate ID_VALUES set\n"
                           "LAST_VALUE = (select IsNull(max(MALADES_ID),0) from MALADES)\n"
                           "where KEY_NAME = ?\nselect 1\nend\nelse select 0";
    // What the server's procedure and batch do, in SQLite's words.
    p.recorder->standIns.insert(call, "insert into ID_VALUES (KEY_NAME, LAST_VALUE) values (?1, ?2)"
                                      " on conflict (KEY_NAME) do update set"
                                      " LAST_VALUE = LAST_VALUE + ?2 returning LAST_VALUE");
    p.recorder->standIns.insert(reseed, "update ID_VALUES set LAST_VALUE = (select max(MALADES_ID)"
                                        " from MALADES) where KEY_NAME = ?1 and ?2 = ?1"
                                        " returning 1");
    EXPECT_EQ(p.access.GetID("MALADES", "", 1), 4);
    EXPECT_EQ(p.recorder->statements, QStringList({call, reseed, call}));
    ASSERT_EQ(p.recorder->runs.size(), 3);
    EXPECT_EQ(p.recorder->runs.at(0).second, VariantList({"MALADES", 1, "<out>"}));
    EXPECT_EQ(p.recorder->runs.at(1).second, VariantList({"MALADES", "MALADES"}));
    EXPECT_EQ(p.access.GetID("MALADES", "", 0), 5);
    EXPECT_EQ(p.kernel.rows("select * from ID_VALUES"), QStringList({"MALADES|5"}));
}

TEST(Identifiers, OracleSeedsItsCounterInATransaction)
{
    WritePractice p(2);
    const QString call = "{call UP_GET_ID(?,?,?)}";
    p.recorder->standIns.insert(call, "update ID_VALUES set LAST_VALUE = LAST_VALUE + ?2"
                                      " where KEY_NAME = ?1 returning LAST_VALUE");
    p.recorder->transactions.clear();
    EXPECT_EQ(p.access.GetID("MALADES", "", 1), 4);
    EXPECT_EQ(
        p.recorder->statements,
        QStringList({"select * from ID_VALUES where KEY_NAME = Upper('MALADES')",
                     "select max(MALADES_ID) id from MALADES",
                     "insert into ID_VALUES(KEY_NAME,LAST_VALUE) values('MALADES',3)", call}));
    EXPECT_EQ(p.recorder->transactions, QStringList({"BEGIN", "COMMIT"}));

    // A complex key fails before anything is reserved, and the transaction is rolled back.
    p.recorder->statements.clear();
    p.recorder->transactions.clear();
    EXPECT_EQ(kernelErrorOf([&] { p.access.GetID("USERROLE", "", 1); }),
              "GetID capability not supported for complex keys");
    EXPECT_TRUE(p.recorder->statements.isEmpty());
    EXPECT_EQ(p.recorder->transactions, QStringList({"BEGIN", "ROLLBACK"}));
    EXPECT_EQ(p.access.TransactionDepth(), 0);
}

TEST(CacheVersions, RaisedVersionsMakeCachedRequestsReload)
{
    Practice p;
    const QString versions = "select ALIAS, VERSION from CACHESYS order by ALIAS";
    p.access.InvalidateCache("Patients, Medecins");
    EXPECT_EQ(p.kernel.rows(versions), QStringList({"Medecins|1", "Patients|1"}));
    p.access.InvalidateCache("PATIENTS");
    EXPECT_EQ(p.kernel.rows(versions), QStringList({"Medecins|1", "Patients|2"}));

    // Reloading one table's description raises the three metadata caches.
    p.access.LoadTableProps("PATIENTS");
    p.access.LoadTableProps("PATIENTS");
    EXPECT_EQ(p.kernel.rows(versions), QStringList({"META_Fields|2", "META_Links|2",
                                                    "META_Tables|2", "Medecins|1", "Patients|2"}));

    // A cached request reads its file until the version moves.
    QTemporaryDir cacheFolder;
    p.access.SetCachePath(cacheFolder.path());
    CacheOn patients(p, "PATIENTS");
    patients.request->SetCached(true);
    patients.request->SetCacheAlias("Patients");
    patients->Close();
    patients->Open();
    p.kernel.exec("update PATIENTS set NOM = 'Zoé' where PATIENTS_ID = 1");
    patients->Close();
    patients->Open();
    EXPECT_EQ(patients.column("NOM").first(), "Arnaud");
    p.access.InvalidateCache("Patients");
    patients->Close();
    patients->Open();
    EXPECT_EQ(patients.column("NOM").first(), "Zoé");
}

// A stored row is raised whatever its version, 0 included: no second row comes beside it (which a
// unique alias would refuse).
TEST(CacheVersions, AStoredVersionOfZeroIsRaised)
{
    Practice p;
    p.kernel.exec("create unique index CACHESYS_ALIAS on CACHESYS (ALIAS);"
                  "insert into CACHESYS (ALIAS, VERSION) values ('Patients', 0)");
    const QString versions = "select ALIAS, VERSION from CACHESYS order by ALIAS";
    p.access.InvalidateCache("Patients");
    EXPECT_EQ(p.kernel.rows(versions), QStringList({"Patients|1"}));
    p.access.InvalidateCache("PATIENTS");
    EXPECT_EQ(p.kernel.rows(versions), QStringList({"Patients|2"}));
}
