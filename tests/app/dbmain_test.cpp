// The server data module: the kernel's metadata kept in local cache files from one run to the
// next, and the report settings it hands on through the registry.
#include <app/patients/dbmain.h>
#include <kernel/dbcache.h>
#include <platform/fileops.h>
#include <platform/registry.h>
#include <reports/repf1.h>
#include <reports/repproc.h>

#include <kerneltests/kernel_helpers.h>
#include <support/kernel_schema.h>
#include <support/workspace.h>

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

// The registry of the test's own.
struct ScopedRegistry
{
    ScopedRegistry() { userregistry::setFileName(file()); }
    ~ScopedRegistry() { userregistry::setFileName(QString()); }
    QString file() const { return dir.path() + "/registry.ini"; }
    // Every key and value as Python's configparser reads the file.
    QString read() const
    {
        QProcess p;
        p.start("/usr/bin/python3",
                {"-c",
                 "import configparser, sys\n"
                 "c = configparser.ConfigParser(interpolation=None)\n"
                 "c.optionxform = str\n"
                 "c.read(sys.argv[1])\n"
                 "for s in c.sections():\n"
                 "    print(s + ':', ' '.join(k + '=' + repr(v) for k, v in c[s].items()))\n",
                 file()});
        EXPECT_TRUE(p.waitForFinished(30000));
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    QTemporaryDir dir;
};

} // namespace

TEST(ServerModule, MetadataCachesLiveInLocalFiles)
{
    ScopedRegistry registry;
    krntest::KernelDb k;
    k.exec(kernelschema::createTables());
    k.execScript("sample.sql");
    QTemporaryDir cache;
    auto run = [&](const char* table, bool failSave = false) {
        TServer* s = CreateForm<TServer>();
        // No password is built in: neither the kernel's nor the connection's.
        EXPECT_TRUE(s->DBAccess1->SysPassword().isEmpty());
        EXPECT_TRUE(s->Database1->params().value(DbParam::Password).isEmpty());
        EXPECT_FALSE(s->Tables->Active());
        s->Database1->setAliasName("KRN");
        s->DBAccess1->SetCachePath(cache.path());
        if (failSave)
            fileops::failNth(fileops::Op::Write, 1);
        const bool ready = s->DBAccess1->Init();
        fileops::resetFaults();
        EXPECT_TRUE(ready && s->DBAccess1->FindTableProps(table)) << table;
        s->Free();
    };
    auto fileSize = [&](const char* name) { return QFileInfo(cache.path() + name).size(); };

    run("PATIENTS");
    EXPECT_EQ(k.rows("select ALIAS, VERSION from CACHESYS order by ALIAS"),
              QStringList({"meta_fields|1", "meta_links|1", "meta_tables|1"}));
    EXPECT_EQ(QDir(cache.path()).entryList(QDir::Files, QDir::Name),
              QStringList({"cache.dat", "meta_fields.dat", "meta_links.dat", "meta_tables.dat"}));
    // The next run reads the files, not the tables.
    k.exec("alter table METATABLE rename to OLD_METATABLE");
    run("PATIENTS");
    // A raised version reads the table again.
    k.exec("alter table OLD_METATABLE rename to METATABLE;"
           "insert into METATABLE values ('NOUVELLE', 'N_ID', 0, null, 0, null, 'T');"
           "update CACHESYS set VERSION = 2 where ALIAS = 'meta_tables';");
    run("NOUVELLE");
    // A damaged file is read again from the database and written anew.
    const qint64 whole = fileSize("/meta_tables.dat");
    QFile::resize(cache.path() + "/meta_tables.dat", 10);
    run("NOUVELLE");
    EXPECT_EQ(fileSize("/meta_tables.dat"), whole);
    // A file that could not be saved is not promised: the next run reads the table again
    // rather than the file's older rows.
    k.exec("update CACHESYS set VERSION = 3 where ALIAS = 'meta_tables';"
           "insert into METATABLE values ('AUTRE', 'A_ID', 0, null, 0, null, 'T')");
    const QByteArray older = readFileBytes(cache.path() + "/meta_tables.dat");
    run("AUTRE", true);
    EXPECT_EQ(readFileBytes(cache.path() + "/meta_tables.dat"), older);
    run("AUTRE");
}

TEST(ServerModule, ReportSettingsInTheRegistry)
{
    ScopedRegistry registry;
    TServer* s = CreateForm<TServer>();
    TReportServer& reports = *s->ReportServer;
    EXPECT_EQ(ImagesDir, "Images/");
    EXPECT_EQ(registry.read(), "Software\\Quorvane: Template='' TempDir=''");
    reports.SetTempDir("x");
    EXPECT_EQ(reports.TempDir(), "x/");
    EXPECT_EQ(registry.read(), "Software\\Quorvane: Template='' TempDir='x/'");
    TReportServer next;
    next.SetRegPath("Quorvane");
    EXPECT_EQ(next.TempDir(), "x/");
    // The back end's text is read exactly.
    for (const auto& [text, mode] : {std::pair{"Excel 97", smExcel}, {"excel 97", smRemote}}) {
        userregistry::writeString("Software\\Mode", "ServerMode", text);
        TReportServer other;
        other.SetRegPath("Mode");
        EXPECT_EQ(other.ServerMode(), mode) << text;
    }
    // Without a key nothing is written.
    QFile::remove(registry.file());
    TReportServer none;
    none.SetTempDir("y");
    EXPECT_FALSE(QFile::exists(registry.file()));

    // The Formula One back end opens the report viewer.
    reports.SetActive(true);
    ASSERT_NE(fF1Processor, nullptr);
    fF1Processor->Free();
    QTemporaryDir folder;
    for (const char* name : {"A%20B.REP", "report.old.rep", "notes.txt"})
        writeFileBytes(folder.path() + "/" + name, "");
    none.SetTempDir(folder.path());
    none.SetServerMode(smRemote);
    none.SetActive(true);
    EXPECT_EQ(none.ReportNames(), QStringList({"A B", "REPORT"}));
    s->Free();
}
