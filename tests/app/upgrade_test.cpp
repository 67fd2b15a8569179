// First start and the local upgrade: a new installation, tables of each older layout with and
// without a version file, a data version newer than the program's, and failures midway.
#include "localtables_fixture.h"
#include <support/db_helpers.h>

#include <app/documents/upgrade.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString Question = QStringLiteral(
    "La version du logiciel 2.07 (B2017-10/10/2016)\rest incompatible avec la structure de la "
    "base de données %1.\r\rVoulez-vous effectuer la mise à jour de la structure des données?");
const QString Done = QStringLiteral("Mise à jour terminée.");

QString dbFile()
{
    return DataDir + QStringLiteral("/quorvane.sqlite");
}

QString cli(const QString& script)
{
    return dbtest::sqliteCli(dbFile(), script);
}

// Tables, fields and indexes as the sqlite3 tool sees them, and every row of the three tables
// the upgrade changes.
QString snapshot()
{
    return cli("SELECT name, sql FROM sqlite_master ORDER BY name;"
               "SELECT * FROM \"cfg.db\";"
               "SELECT * FROM \"FILES.DB\";"
               "SELECT * FROM \"patients.db\" ORDER BY Patient_ID;");
}

// Builds the tables of a layout from a script of tests/data/localdb, one statement a line.
void buildLayout(const QString& script)
{
    QDir().mkpath(DataDir);
    QFile file(QStringLiteral(QUORVANE_TEST_DATA "/localdb/") + script);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << script.toStdString();
    Database db;
    db.setLocalFolder(DataDir);
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith("--"))
            db.connection().execute(QString::fromUtf8(line));
    }
}

void writeVersion(const QString& text, const QString& name = QStringLiteral("quorvane.ver"))
{
    writeFileBytes(DataDir + QLatin1Char('/') + name,
                   "[Application]\r\nVersion=" + text.toLatin1() + "\r\n");
}

QByteArray versionFile()
{
    return readFileBytes(DataDir + QStringLiteral("/quorvane.ver"));
}

// The messages the program showed, in order.
QStringList shown(const ScriptedDialogs& dialogs)
{
    QStringList out;
    for (const ScriptedDialogs::Request& r : dialogs.requests())
        out.append(r.text);
    return out;
}

const QString UpgradedPatients = QStringLiteral("1|Jean|1950-03-04\n"
                                                "2|Marie-Christine-Alexandra|1961-11-30\n"
                                                "3|Élodie|1999-01-01\n"
                                                "4||");

QString patientsAfterUpgrade()
{
    return cli("SELECT Patient_ID, Prenom, \"Date de naissance\" FROM \"patients.db\" ORDER BY "
               "Patient_ID;");
}

} // namespace

TEST(LocalUpgrade, AnEmptyDataFolderGetsTheTablesAndTheVersionAndAMissingVersionIsAsked)
{
    TestWorkspace ws;
    ScopedScriptedDialogs dialogs;
    ASSERT_FALSE(QFileInfo::exists(DataDir));
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_TRUE(dialogs.requests().isEmpty()) << "nothing is asked";
    EXPECT_EQ(versionFile(), "[Application]\r\nVersion=2.07\r\n");

    // A crash right after the tables were made, before the version file: asked, and they stay.
    ASSERT_TRUE(QFile::remove(DataDir + "/quorvane.ver"));
    const QString before = cli("SELECT name, sql FROM sqlite_master ORDER BY name;");
    dialogs.answerMessage(mrYes).answerMessage(mrOk, Done);
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_EQ(shown(dialogs), QStringList({Question.arg("inconnue"), Done}));
    EXPECT_EQ(cli("SELECT name, sql FROM sqlite_master ORDER BY name;"), before);
    EXPECT_EQ(versionFile(), "[Application]\r\nVersion=2.07\r\n");
}

TEST(LocalUpgrade, OldTablesWithoutAVersionFileAskThenUpgrade)
{
    TestWorkspace ws;
    buildLayout("layout-before-2.00.sql");
    const QString before = snapshot();
    ScopedScriptedDialogs dialogs;

    // Declined: the program ends and nothing is touched.
    dialogs.answerMessage(mrNo);
    EXPECT_FALSE(CheckDatabaseVersion());
    EXPECT_EQ(dialogs.requests().at(0).text, Question.arg("inconnue"));
    EXPECT_EQ(dialogs.requests().at(0).type, mtInformation);
    EXPECT_EQ(dialogs.requests().at(0).buttons, TMsgDlgButtons(mbYes) | mbNo);
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(QFileInfo::exists(DataDir + "/quorvane.ver"));

    dialogs.answerMessage(mrYes).answerMessage(mrOk, Done, mtInformation);
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_EQ(patientsAfterUpgrade(), UpgradedPatients);
    EXPECT_EQ(cli("SELECT group_concat(name, ',') FROM pragma_table_info('patients.db');"
                  "SELECT group_concat(name, ',') FROM pragma_table_info('FILES.DB');"
                  "SELECT group_concat(name, ',') FROM pragma_table_info('cfg.db');"
                  "SELECT name FROM sqlite_master WHERE tbl_name = 'patients.db' AND type = "
                  "'index' ORDER BY name;"
                  "SELECT Nom, N_Dossier FROM \"patients.db\" WHERE Patient_ID = 1;"),
              "Patient_ID,Nom,Date de naissance,N_Dossier,Prenom\n"
              "Number,Pack,File_name,Cfg,Date,Time,Type,Pages,NeedId,Patient,Comment,TComment1,"
              "TComment2,Dossier,Patient_Nom\n"
              "Number,Type,State,Titul,Extension,NeedId,NeedComment,Warning,DS_CODE\n"
              "patients.db$NomPrenom\npatients.db$PRIMARY\n"
              "DUPONT|12");
    EXPECT_EQ(versionFile(), "[Application]\r\nVersion=2.07\r\n");
    // The upgraded tables serve the program as it opens them.
    LocalTable patients;
    Database db;
    db.setLocalFolder(DataDir);
    patients.setDatabase(&db);
    patients.setTableName("Patients.db");
    patients.open();
    patients.setIndexName("NomPrenom");
    EXPECT_TRUE(patients.findKey({"dupont", "JEAN"}));
    EXPECT_EQ(patients.fieldByName("Patient_ID")->asInteger(), 1);
}

TEST(LocalUpgrade, EachVersionRunsOnlyTheStepsAboveItAndANewerOneIsSetBack)
{
    TestWorkspace ws;
    buildLayout("layout-before-2.00.sql");
    const QString patientsBefore = cli("SELECT * FROM \"patients.db\";");
    const QString filesBefore = cli("SELECT sql FROM sqlite_master WHERE tbl_name = 'FILES.DB';");
    ScopedScriptedDialogs dialogs;

    // 2.00: only the sources' DS_CODE.
    writeVersion("2.00");
    dialogs.answerMessage(mrYes).answerMessage(mrOk, Done);
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_EQ(shown(dialogs), QStringList({Question.arg("2.00"), Done}));
    EXPECT_EQ(cli("SELECT count(*) FROM pragma_table_info('cfg.db') WHERE name = 'DS_CODE';"), "1");
    EXPECT_EQ(cli("SELECT * FROM \"patients.db\";"), patientsBefore);
    EXPECT_EQ(cli("SELECT sql FROM sqlite_master WHERE tbl_name = 'FILES.DB';"), filesBefore);
    EXPECT_EQ(versionFile(), "[Application]\r\nVersion=2.07\r\n");

    // 2.01 up to 2.06: no step; the version is written and the end announced.
    const QString before = snapshot();
    writeVersion("2.01");
    dialogs.clear();
    dialogs.answerMessage(mrYes).answerMessage(mrOk, Done);
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_EQ(shown(dialogs), QStringList({Question.arg("2.01"), Done}));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(versionFile(), "[Application]\r\nVersion=2.07\r\n");

    // Newer, written by another program in upper case: set back without a question.
    ASSERT_TRUE(QFile::remove(DataDir + "/quorvane.ver"));
    writeVersion("3.00", "QUORVANE.VER");
    dialogs.clear();
    dialogs.answerMessage(mrOk, Done);
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_EQ(shown(dialogs), QStringList({Done}));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(readFileBytes(DataDir + "/QUORVANE.VER"), "[Application]\r\nVersion=2.07\r\n");
    EXPECT_FALSE(QFileInfo::exists(DataDir + "/quorvane.ver"));
}

TEST(LocalUpgrade, AFailureMidwayLeavesTablesAndVersionAsTheyWere)
{
    TestWorkspace ws;
    buildLayout("layout-before-2.00.sql");
    const QString before = snapshot();
    ScopedScriptedDialogs dialogs;

    // The last step meets a table another program holds, after the patients were done.
    {
        ExclusiveHolder holder("cfg.db");
        dialogs.answerMessage(mrYes);
        EXPECT_THROW(CheckDatabaseVersion(), EngineError);
    }
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(QFileInfo::exists(DataDir + "/quorvane.ver"));

    // The version file cannot be written, after every step.
    fileops::failNth(fileops::Op::Write, 1);
    dialogs.answerMessage(mrYes);
    EXPECT_THROW(CheckDatabaseVersion(), EInOutError);
    fileops::resetFaults();
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(QFileInfo::exists(DataDir + "/quorvane.ver"));

    // Once the obstacles are gone, the next start upgrades with every name and date kept.
    dialogs.answerMessage(mrYes).answerMessage(mrOk, Done);
    EXPECT_TRUE(CheckDatabaseVersion());
    EXPECT_EQ(patientsAfterUpgrade(), UpgradedPatients);
}

TEST(LocalUpgrade, AThirdFieldThatHoldsNoFirstNameIsNotMoved)
{
    TestWorkspace ws;
    QDir().mkpath(DataDir);
    {
        Database db;
        db.setLocalFolder(DataDir);
        db.connection().execute("CREATE TABLE \"FILES.DB\" (\"Number\" INTEGER NOT NULL)");
        db.connection().execute("CREATE TABLE \"cfg.db\" (\"Number\" INTEGER NOT NULL)");
        db.connection().execute(
            "CREATE TABLE \"Patients.db\" (\"Patient_ID\" INTEGER NOT NULL, \"Nom\" VARCHAR(64), "
            "\"Date de naissance\" VARCHAR(10), \"N_Dossier\" INTEGER)");
        db.connection().execute(
            "INSERT INTO \"Patients.db\" VALUES (1, 'DUPONT', '04/03/1950', 12)");
    }
    const QString before = cli("SELECT name, sql FROM sqlite_master ORDER BY name;"
                               "SELECT * FROM \"Patients.db\";");
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrYes);
    EXPECT_THROW(CheckDatabaseVersion(), Exception);
    EXPECT_EQ(cli("SELECT name, sql FROM sqlite_master ORDER BY name;"
                  "SELECT * FROM \"Patients.db\";"),
              before);
}
