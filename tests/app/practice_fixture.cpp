// The practice folder and the workstation beside it.
#include "practice_fixture.h"

#include <app/appglobals.h>
#include <app/patients/practicedb.h>
#include <app/patients/practicepatients.h>
#include <kernel/dbaccess.h>
#include <platform/codepage.h>
#include <platform/db/alias.h>
#include <platform/process.h>
#include <platform/support/globals.h>

#include <support/db_helpers.h>

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

QStringList iniSectionOf(const QString& file, const QString& section)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import configparser, sys\n"
                            "c = configparser.ConfigParser(interpolation=None)\n"
                            "c.optionxform = str\n"
                            "c.read(sys.argv[1], encoding='cp1252')\n"
                            "if c.has_section(sys.argv[2]):\n"
                            "    for k, v in c[sys.argv[2]].items():\n"
                            "        print(k + '=' + v)\n"),
             file, section});
    EXPECT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

PracticeFolder::PracticeFolder(const QString& folder) : m_folder(folder)
{
    QDir().mkpath(folder);
}

QString PracticeFolder::databaseFile() const
{
    return m_folder + PracticeDatabaseFileName;
}

void PracticeFolder::writeVersionFile(const QStringList& kernelLines, const QString& version) const
{
    const QStringList lines =
        QStringList{QStringLiteral("[Application]"), QStringLiteral("Version=") + version,
                    QStringLiteral("ProgName=Tressoly"), QStringLiteral("[DBKERNEL]")} +
        kernelLines;
    writeFileBytes(m_folder + QStringLiteral("TRESSOLY.VER"),
                   codepage::toAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
}

void PracticeFolder::createDatabase(const QString& more) const
{
    cli(QStringLiteral(".read '" QUORVANE_TEST_DATA "/practice/tressoly.sql'\n") + more);
}

QString PracticeFolder::cli(const QString& script) const
{
    return dbtest::sqliteCli(databaseFile(), QStringLiteral(".timeout 5000\n") + script);
}

PracticeWorkstation::PracticeWorkstation() : practice(ws.path(QStringLiteral("tressoly/")))
{
    TressolyPath = practice.folder();
    IniFileName = ws.path(QStringLiteral("prog/QUORVANE.INI"));
    SetKernelProgramDirForTesting(ws.path(QStringLiteral("prog/")));
    QDir().mkpath(ws.path(QStringLiteral("prog")));
    CreateServerModule();
}

PracticeWorkstation::~PracticeWorkstation()
{
    FreePracticeModules();
    SessionAliases::clear();
    SetKernelProgramDirForTesting(QString());
    TressolyPath.clear();
    IniFileName.clear();
    KernelIsServer = false;
    PracticeDBInUse = false;
    clearTerminationRequest();
}

void PracticeWorkstation::writeIni(const QStringList& lines) const
{
    writeFileBytes(IniFileName,
                   codepage::toAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
}

QStringList PracticeWorkstation::iniSection(const QString& section) const
{
    return iniSectionOf(IniFileName, section);
}

ServerPractice::ServerPractice(const QString& driver, bool throughAliasFile)
    : m_previousAliases(AliasRegistry::globalFileName())
{
    recorder->acceptUnknown = true; // the servers' own statements, such as "set language"
    krntest::registerRecordingDriver(driver, recorder);
    const ConnectionParams file =
        ConnectionParams::fromLines({QStringLiteral("PATH=") + practice.databaseFile()});
    if (throughAliasFile) {
        AliasRegistry::setGlobalFileName(ws.path(QStringLiteral("aliases.ini")));
        AliasRegistry::global().modify(QStringLiteral("PRAXIS"), driver, file);
        practice.writeVersionFile({QStringLiteral("DBType=1"), QStringLiteral("Alias=PRAXIS")});
    } else {
        SessionAliases::add(QStringLiteral("Main"), driver, file);
        practice.writeVersionFile({QStringLiteral("DBType=1"),
                                   QStringLiteral("DatabaseName=PRAXIS"),
                                   QStringLiteral("ServerName=SRV")});
    }
}

ServerPractice::~ServerPractice()
{
    AliasRegistry::setGlobalFileName(m_previousAliases);
}
