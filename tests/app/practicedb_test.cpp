// The practice database's connection seen from its parts: the database password derived from a
// login (answers worked out by hand from the cipher's definition), version texts, and the engine
// parameters built from the practice software's version file.
#include "practice_fixture.h"

#include <app/appglobals.h>
#include <app/patients/dbmain.h>
#include <app/patients/login.h>
#include <app/patients/practicedb.h>
#include <app/patients/practicepatients.h>
#include <kernel/krnproc.h>
#include <platform/db/alias.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <platform/inifile.h>
#include <platform/process.h>
#include <platform/support/cipher.h>
#include <platform/support/globals.h>

#include <support/db_helpers.h>
#include <support/kernel_db.h>
#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

// The message of the exception of class E that `call` raises.
template <class E, typename F> QString errorOf(F&& call)
{
    try {
        call();
    } catch (const E& e) {
        return e.message();
    }
    return QStringLiteral("<none>");
}

TEST(PracticeLogin, EncodePasswordKnownAnswers)
{
    TestWorkspace ws; // windows-1252
    const struct
    {
        const char* login;
        QString password;
        const char* hex;
    } cases[] = {
        {"SA", "", "8CABE065C11112B5115554EFA311CA"},
        {"sa", "SECRET", "8CA7C4E8F44C68F5C294D0CFE83C0F"},
        {"SA", "secret", "8CA7C4E8F44C68F5C294D0CFE83C0F"},
        {"A", QString(40, QLatin1Char('x')), "8851E095DF853B99B611D06D2E8CA3"},
        {"Dupont", "Été", "1A50AD0EAD62880835E99AEB867010"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodePassword(QString::fromUtf8(c.login), c.password).toStdString(), c.hex)
            << c.login;
    EXPECT_EQ(errorOf<EDBKernelError>([] { EncodePassword("", "secret"); }).toStdString(),
              "Bad login");
}

} // namespace

TEST(PracticeConnection, VersionNumbers)
{
    const struct
    {
        const char* text;
        int number; // -1: the text is refused
    } cases[] = {{"2.07", 207}, {"3", 3},    {"3.0", 300},  {"2.5", 250},
                 {"0", 0},      {".5", 50},  {"2.07b", -1}, {"2.0.7", -1},
                 {"", -1},      {"abc", -1}, {"2,07", -1},  {"1.0e999", -1}};
    for (const auto& c : cases) {
        int got = -1;
        try {
            got = VersionNumber(QString::fromLatin1(c.text));
        } catch (const EConvertError&) {
        }
        EXPECT_EQ(got, c.number) << c.text;
    }
}

// What the version file makes of the connection: the kind of practice database, the database's
// alias, name and parameters, the engine session's alias and the queries' database.
TEST(PracticeConnection, DatabaseParamsFromTheVersionFile)
{
    const QString none = QStringLiteral("<none>");
    const struct
    {
        int language;
        QStringList kernel;   // [DBKERNEL] of the version file
        const char* fileName; // the practice database file made in the folder, or none
        QString existingMain; // "DRIVER" of a session alias "Main" made before
        bool result;
        bool server;
        QString alias;      // of the database
        QString name;       // of the database
        QStringList params; // of the database
        QString mainAlias;  // "DRIVER: PARAMS" of the session alias "Main" afterwards
    } cases[] = {
        // A server by its names, through the session's alias "Main" made for it.
        {1,
         {"DBType=1", "DatabaseName=PRAXIS", "ServerName=SRV", "BlobSize=64"},
         nullptr,
         {},
         true,
         true,
         "Main",
         "Main",
         {"BLOB SIZE=64", "BLOBS TO CACHE=100", "DATABASE NAME=PRAXIS", "LANGDRIVER=BLLT1FR0",
          "SERVER NAME=SRV"},
         "MSSQL: BLOB SIZE=64|BLOBS TO CACHE=100|LANGDRIVER=BLLT1FR0|MAX QUERY TIME=300|USER "
         "NAME=sa"},
        // The same in Russian and in English (which gives the database no language driver).
        {2,
         {"DBType=1", "DatabaseName=PRAXIS", "ServerName=SRV", "BlobsToCache=7", "MaxQueryTime=60"},
         nullptr,
         {},
         true,
         true,
         "Main",
         "Main",
         {"BLOB SIZE=32", "BLOBS TO CACHE=7", "DATABASE NAME=PRAXIS", "LANGDRIVER=ANCYRR",
          "SERVER NAME=SRV"},
         "MSSQL: BLOB SIZE=32|BLOBS TO CACHE=7|LANGDRIVER=ANCYRR|MAX QUERY TIME=60|USER NAME=sa"},
        {3,
         {"DatabaseName=PRAXIS", "ServerName=SRV"},
         nullptr,
         {},
         true,
         true,
         "Main",
         "Main",
         {"BLOB SIZE=32", "BLOBS TO CACHE=100", "DATABASE NAME=PRAXIS", "SERVER NAME=SRV"},
         "MSSQL: BLOB SIZE=32|BLOBS TO CACHE=100|LANGDRIVER=ANCYRR|MAX QUERY TIME=300|USER "
         "NAME=sa"},
        // An alias "Main" of the session stays as it is.
        {1,
         {"DBType=1", "DatabaseName=PRAXIS", "ServerName=SRV"},
         nullptr,
         "ORACLE",
         true,
         true,
         "Main",
         "Main",
         {"BLOB SIZE=32", "BLOBS TO CACHE=100", "DATABASE NAME=PRAXIS", "LANGDRIVER=BLLT1FR0",
          "SERVER NAME=SRV"},
         "ORACLE: PATH=kept"},
        // A server by an alias of the alias file; none named at all.
        {1,
         {"DBType=1", "ServerName=SRV", "Alias=PRAXIS"},
         nullptr,
         {},
         true,
         true,
         "PRAXIS",
         "PRAXIS",
         {},
         none},
        {1, {"DBType=1", "DatabaseName=PRAXIS"}, nullptr, {}, false, true, {}, "Main", {}, none},
        // The practice database file, whatever the case of its name: a default type takes it
        // when it holds the kernel's tables, another type whether it does or not.
        {1,
         {"DatabaseName=PRAXIS", "ServerName=SRV"},
         "TRESSOLY.SQLITE",
         {},
         true,
         false,
         {},
         "Main",
         {"PATH=<file>"},
         none},
        {1, {"DBType=0"}, "tressoly.sqlite", {}, true, false, {}, "Main", {"PATH=<file>"}, none},
        {1, {"DBType=2"}, nullptr, {}, false, false, {}, "Main", {}, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kernel.join(' ').toStdString());
        TestWorkspace ws(c.language);
        ProgLanguage = quint8(c.language);
        const auto restore = qScopeGuard([] {
            ProgLanguage = 1;
            SessionAliases::clear();
            TressolyPath.clear();
        });
        PracticeFolder practice(ws.path("tressoly/"));
        TressolyPath = practice.folder();
        practice.writeVersionFile(c.kernel);
        QString file;
        if (c.fileName) {
            file = practice.folder() + c.fileName;
            dbtest::sqliteCli(file, "create table METATABLE (A); create table METAFIELD (A);"
                                    "create table TABLELINK (A); create table PATIENTS (A);"
                                    "create table medecins (A);");
        }
        if (!c.existingMain.isEmpty())
            SessionAliases::add("Main", c.existingMain, ConnectionParams::fromLines({"PATH=kept"}));

        Database db;
        db.setDatabaseName("Main");
        db.params().setValue(DbParam::UserName, "sa");
        SqlQuery fields, tables, links;
        const bool result = SetDatabaseParams(IniFile(practice.folder() + "TRESSOLY.VER"), db,
                                              nullptr, &fields, &tables, nullptr);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(KernelIsServer, c.server);
        EXPECT_EQ(db.aliasName().toStdString(), c.alias.toStdString());
        EXPECT_EQ(db.databaseName().toStdString(), c.name.toStdString());
        QString params = db.params().toLines().join('|');
        if (!file.isEmpty())
            params.replace(file, "<file>");
        EXPECT_EQ(params.toStdString(), c.params.join('|').toStdString());
        EXPECT_EQ(db.driverName().toStdString(),
                  (c.fileName ? QString("STANDARD") : aliasDriverName(c.alias)).toStdString());
        const QString main =
            SessionAliases::exists("Main")
                ? aliasDriverName("Main") + ": " + aliasParams("Main").toLines().join('|')
                : none;
        EXPECT_EQ(main.toStdString(), c.mainAlias.toStdString());
        // The queries given reach the database, whatever the result.
        if (c.result) {
            EXPECT_EQ(fields.database(), &db);
            EXPECT_EQ(tables.database(), &db);
        }
        // The alias file is never written.
        EXPECT_FALSE(AliasRegistry::global().exists("Main"));
    }
}

// The practice database file is taken only when it holds the five tables the practice software
// works with.
TEST(PracticeConnection, KernelTablesExistOnlyWithAllFive)
{
    TestWorkspace ws;
    const QString folder = ws.path("tressoly/");
    QDir().mkpath(folder);
    EXPECT_FALSE(KernelTablesExist(folder));
    EXPECT_FALSE(KernelTablesExist(QString()));
    const QString file = folder + "Tressoly.sqlite";
    dbtest::sqliteCli(file, "create table METATABLE (A); create table METAFIELD (A);"
                            "create table TABLELINK (A); create table PATIENTS (A);");
    EXPECT_FALSE(KernelTablesExist(folder));
    dbtest::sqliteCli(file, "create table MEDECINS (A);");
    EXPECT_TRUE(KernelTablesExist(folder));
    writeFileBytes(file, "not a database, but a file of that name");
    EXPECT_FALSE(KernelTablesExist(folder));
}

namespace {

bool practicePatientsRegistered()
{
    try {
        PracticePatientsInUse();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// The stored login of a section, deciphered: "user/password", or "" when none is stored.
QString storedLogin(const PracticeWorkstation& w, const QString& section)
{
    QString user, password;
    for (const QString& line : w.iniSection(section)) {
        const QString value = line.section('=', 1);
        EXPECT_EQ(value.size(), 66) << line.toStdString(); // never in plain text
        (line.startsWith("User=") ? user : password) = DecryptPadded(value);
    }
    return user.isEmpty() && password.isEmpty() ? QString() : user + '/' + password;
}

} // namespace

// Stored logins, the login dialog and what the kernel refuses, on a server. The server takes the
// user "sa" with the password EncodePassword derives from DUPONT and "secret" (with
// OldStyleLogin=1 it takes DUPONT and "secret" as they are). Dialogs are answered in order:
// "error" an error box, "login U P" the login dialog with U and P typed, "cancel" the dialog
// cancelled; each is noted as it opens ("login" with the user it offers).
TEST(PracticeConnection, StoredAndTypedLoginsOnAServer)
{
    const struct
    {
        const char* name;
        int databaseVersion;
        bool oldStyle;
        const char* stored; // "user/password" stored before, or none
        QStringList answers;
        QStringList seen;
        QStringList tried; // "user/password" the server was asked with
        bool connected;
        const char* storedAfter;
        bool throughAliasFile = false;
    } cases[] = {
        {"a stored login that works",
         207,
         false,
         "DUPONT/secret",
         {},
         {},
         {"DUPONT/secret"},
         true,
         "DUPONT/secret"},
        {"an old-style stored login",
         207,
         true,
         "DUPONT/secret",
         {},
         {},
         {"DUPONT/secret"},
         true,
         "DUPONT/secret"},
        {"a stored login refused, then one typed",
         207,
         false,
         "Dupont/WRONG",
         {"error", "login DUPONT secret"},
         {"error Login failed for user 'sa'", "login Dupont"},
         {"Dupont/WRONG", "DUPONT/secret"},
         true,
         "DUPONT/secret"},
        {"the dialog cancelled",
         207,
         false,
         "DUPONT/wrong",
         {"error", "cancel"},
         {"error Login failed for user 'sa'", "login DUPONT"},
         {"DUPONT/wrong"},
         false,
         "DUPONT/wrong"},
        {"nothing stored, and a typed login refused",
         207,
         false,
         nullptr,
         {"login DUPONT wrong", "error"},
         {"login ", "error Login failed for user 'sa'"},
         {"DUPONT/wrong"},
         false,
         ""},
        // "_" as the password of an old-style login is never tried: the dialog asks at once.
        {"an old-style password \"_\"",
         207,
         true,
         "DUPONT/_",
         {"login DUPONT secret"},
         {"login DUPONT"},
         {"DUPONT/secret"},
         true,
         "DUPONT/secret"},
        {"a database whose module must be upgraded",
         206,
         false,
         "DUPONT/secret",
         {"error"},
         {"error Impossible launch application. Following modules must be upgraded:\nModule "
          "DATABASE up to version 207."},
         {"DUPONT/secret"},
         false,
         "DUPONT/secret"},
        {"a database newer than the program",
         208,
         false,
         "DUPONT/secret",
         {"error"},
         {"error Version of module DATABASE (207) is less than database version (208)."},
         {"DUPONT/secret"},
         false,
         "DUPONT/secret"},
        // An alias names neither server nor database: the login is stored in section "_".
        {"through an alias",
         207,
         false,
         nullptr,
         {"login DUPONT secret"},
         {"login "},
         {"DUPONT/secret"},
         true,
         "DUPONT/secret",
         true},
        // A password the code page cannot hold is refused before anything is sent; the log
        // says why without the password.
        {"a password the code page cannot hold",
         207,
         false,
         nullptr,
         {"login DUPONT пароль"},
         {"login "},
         {},
         false,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerPractice w("MSSQL", c.throughAliasFile);
        const QString section = c.throughAliasFile ? "_" : "SRV_PRAXIS";
        w.practice.createDatabase(
            QString("update VERSION set VERSION = %1 where MODULE = 'DATABASE';")
                .arg(c.databaseVersion));
        w.writeIni({"[Application]", c.oldStyle ? "OldStyleLogin=1" : "OldStyleLogin=0"});
        w.recorder->user = c.oldStyle ? "DUPONT" : "sa";
        w.recorder->password = c.oldStyle ? "secret" : EncodePassword("DUPONT", "secret");
        if (c.stored)
            WriteUserPassword("PRAXIS", "SRV", QString(c.stored).section('/', 0, 0),
                              QString(c.stored).section('/', 1));
        const auto asked = [&c](const QString& tried) {
            const QString user = tried.section('/', 0, 0), password = tried.section('/', 1);
            return c.oldStyle ? tried : "sa/" + EncodePassword(user, password);
        };

        ScopedScriptedDialogs dialogs;
        QStringList offered; // the user each login dialog offered
        for (const QString& answer : c.answers) {
            if (answer == "error") {
                dialogs.answerMessage(mrOk, {}, mtError);
                continue;
            }
            dialogs.answerModal("TLoginDlg", [answer, &offered](TForm& form) {
                auto& dlg = static_cast<TLoginDlg&>(form);
                offered << dlg.edUser->text();
                if (answer == "cancel")
                    return int(mrCancel);
                dlg.edUser->setText(answer.section(' ', 1, 1));
                dlg.edPsw->setText(answer.section(' ', 2, 2));
                dlg.OKBtn->click();
                return dlg.ModalResult();
            });
        }
        const bool connected = ConnectDatabase();
        QStringList seen;
        for (const ScriptedDialogs::Request& r : dialogs.requests())
            seen << (r.kind == ScriptedDialogs::Kind::Modal ? "login " + offered.takeFirst()
                                                            : "error " + r.text);
        EXPECT_EQ(connected, c.connected);
        EXPECT_EQ(seen.join(" | ").toStdString(), c.seen.join(" | ").toStdString());
        QStringList tried;
        for (const QString& t : c.tried)
            tried << asked(t);
        EXPECT_EQ(w.recorder->logins.join(" | ").toStdString(), tried.join(" | ").toStdString());
        EXPECT_EQ(storedLogin(w, section).toStdString(), c.storedAfter);
        EXPECT_EQ(terminationRequested(), c.databaseVersion == 208);
        const QByteArray log = w.ws.operationsLog();
        EXPECT_FALSE(log.contains("secret") || log.contains("WRONG") || log.contains("wrong"));
        EXPECT_EQ(log.contains("Practice database not connected: The user name or password holds "
                               "characters that code page 1252 cannot store"),
                  QString(c.name).contains("cannot hold"))
            << log.toStdString();
        EXPECT_EQ(Server->Database1->isConnected(), c.connected);
        // Only a connection registers the practice database's patients.
        EXPECT_EQ(practicePatientsRegistered(), c.connected);
    }
}
