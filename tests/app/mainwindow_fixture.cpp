// The main window fixture: temporary program folder, recorded module calls, scripted dialogs.
#include "mainwindow_fixture.h"
#include "localtables_fixture.h"

#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/upgrade.h>
#include <app/patients/directsend.h>
#include <app/sources/folder_source.h>
#include <app/sources/printer_source.h>
#include <app/sources/screen_source.h>
#include <platform/codepage.h>
#include <platform/data/field.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlitedriver.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>

#include <support/db_helpers.h>

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

int g_serverCount = 0;

} // namespace

MainWindowFixture::MainWindowFixture()
{
    QDir().mkpath(programDir());
    SetProgramDirForTesting(programDir());
    Application::resetTerminated();
    // Tests running side by side each listen on a socket of their own.
    TMainForm::SetScreenCaptureServerNameForTesting(QStringLiteral("quorvane-test-%1-%2")
                                                        .arg(QCoreApplication::applicationPid())
                                                        .arg(++g_serverCount));

    // Every module answers "nothing new"; the calls are noted with their arguments.
    TMainFormModules& m = MainFormModules();
    const auto note = [this](const char* name, const QStringList& args = {}) {
        calls << (QStringList{QLatin1String(name)} + args).join(QLatin1Char(' '));
    };
    const auto noted = [note](const char* name, auto result) {
        return [note, name, result] {
            note(name);
            return result;
        };
    };
    const auto notedVoid = [note](const char* name) { return [note, name] { note(name); }; };
    m.CheckDatabaseVersion = [note] {
        note("CheckDatabaseVersion");
        return CheckDatabaseVersion();
    };
    m.ConnectDatabase = noted("ConnectDatabase", false);
    m.InitDirectSend = [note](const QString& path) { note("InitDirectSend", {path}); };
    for (auto [hook, name] : {std::pair{&m.StartComSources, "StartComSources"},
                              {&m.CheckFileSources, "CheckFileSources"},
                              {&m.InitCurrentPackage, "InitCurrentPackage"},
                              {&m.CheckBreezeSources, "CheckBreezeSources"},
                              {&m.CheckPrinterSources, "CheckPrinterSources"},
                              {&m.InitClipboardSource, "InitClipboardSource"},
                              {&m.CloseAllComPorts, "CloseAllComPorts"},
                              {&m.OpenConfiguredComPorts, "OpenConfiguredComPorts"},
                              {&m.ShowPackDlg, "ShowPackDlg"},
                              {&m.ShowCompForm, "ShowCompForm"},
                              {&m.ShowDelDlg, "ShowDelDlg"},
                              {&m.ShowAboutBox, "ShowAboutBox"},
                              {&m.ShowTestForm, "ShowTestForm"},
                              {&m.ShowLangManager, "ShowLangManager"},
                              {&m.StopComSources, "StopComSources"}})
        *hook = notedVoid(name);
    m.PurgeOldPackages = [note](const QDate& before) {
        note("PurgeOldPackages", {before.toString(Qt::ISODate)});
    };
    m.PollFileSources = noted("PollFileSources", false);
    m.PollBreezeSources = noted("PollBreezeSources", false);
    m.PollPrinterSources = [note](const QString& spool, const QString& buf) {
        note("PollPrinterSources", {spool, buf});
        return false;
    };
    m.PollComBuffers = noted("PollComBuffers", false);
    m.CaptureClipboardBitmap = [note](const QString& buf) {
        note("CaptureClipboardBitmap", {buf});
        return 0;
    };
    m.ExportPendingDocuments = [note](int& flags) {
        note("ExportPendingDocuments");
        flags = 0;
    };
    m.IdentifyFile = [note](int number) {
        note("IdentifyFile", {QString::number(number)});
        return false;
    };
    m.ShowIdDlg = [note] { note("ShowIdDlg", {QString::number(CurrentNumber)}); };
    m.PracticePatientName = [note](int id) {
        note("PracticePatientName", {QString::number(id)});
        return QString();
    };
    m.ViewDocument = [note](int number) { note("ViewDocument", {QString::number(number)}); };
    m.ExecuteConfigForm = noted("ExecuteConfigForm", int(mrCancel));
}

MainWindowFixture::~MainWindowFixture()
{
    delete form;
    if (DataTables) {
        DataTables->Free();
        DataTables = nullptr;
    }
    ResetMainFormModules();
    SetProgramDirForTesting(QString());
    TMainForm::SetScreenCaptureServerNameForTesting(QString());
    Application::setExceptionHandler({});
    Application::resetTerminated();
    IniFileName.clear();
    LogFileName.clear();
    TressolyPath.clear();
    PracticeDBInUse = false;
    WaitMode = false;
    DirectSend = false;
    FileSourceCount = 0;
    PrinterSourceCount = 0;
    ScreenSourceNumber = 0;
    CurrentPack = 0;
    CheckSession = false;
    setScreenCursor(crDefault);
    // The workspace puts WorkPath and the folders back.
}

QString MainWindowFixture::programDir() const
{
    return ws.path(QStringLiteral("prog/"));
}

void MainWindowFixture::writeIni(const QStringList& lines)
{
    writeFileBytes(programDir() + QStringLiteral("QUORVANE.INI"),
                   codepage::toAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
}

void MainWindowFixture::writeUsualIni(const QStringList& more)
{
    writeIni(QStringList{QStringLiteral("[Application]"), QStringLiteral("Path=") + ws.root(),
                         QStringLiteral("User=Tester"), QStringLiteral("DelInterval=-1")} +
             more);
}

void MainWindowFixture::prepareTables(const QString& script)
{
    DataDir = ws.root() + QStringLiteral("data");
    ASSERT_TRUE(PrepareLocalTables());
    if (!script.isEmpty())
        cli(script);
}

void MainWindowFixture::start()
{
    DataTables = CreateForm<TDataTables>();
    form = CreateForm<TMainForm>();
}

void MainWindowFixture::firstTick()
{
    ASSERT_TRUE(FirstTick);
    tick();
    ASSERT_FALSE(FirstTick);
}

void MainWindowFixture::tick(int n)
{
    for (int i = 0; i < n; ++i) {
        form->CommonTimerTimer(form->CommonTimer);
        // What the loop's event would show next.
        ShowHeldReports();
    }
}

void MainWindowFixture::startRunning(const QStringList& ini)
{
    writeUsualIni(ini);
    prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                  "NeedComment, Warning) VALUES (1, 1, 1, 'Dossier', 'TXT', 0, 0, 0);");
    start();
    EXPECT_FALSE(form->StartupFailed());
    firstTick();
    calls.clear();
}

void MainWindowFixture::addSource(int number, int type, int state, const QString& title)
{
    appendSource(*DataTables->cfg, number, type, state,
                 title.isEmpty() ? QStringLiteral("Source %1").arg(number) : title,
                 QStringLiteral("TXT"));
}

void MainWindowFixture::addDocument(int number, int cfgNumber, int needId, int type, int patient)
{
    DataTables->files->appendRecord(
        {number, 0, Variant::null(), cfgNumber, Variant::fromDateTime(EncodeDate(2026, 12, 6)),
         Variant::fromDateTime(EncodeTime(22, 10, 46, 0)), type, 1, needId, patient});
}

void MainWindowFixture::deleteDocument(int number)
{
    LocalTable& files = *DataTables->files;
    files.setIndexName(QString());
    ASSERT_TRUE(files.findKey({number}));
    files.deleteRecord();
}

void MainWindowFixture::addPatient(int id, const QString& name, const QString& firstName)
{
    DataTables->Patients_Local->appendRecord({id, name, firstName});
}

QString MainWindowFixture::databaseFile() const
{
    return ws.root() + QStringLiteral("data/") + sqlitedb::DatabaseFileName;
}

QString MainWindowFixture::cli(const QString& script) const
{
    return dbtest::sqliteCli(databaseFile(), script);
}

QStringList rowTexts(const QTreeWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList columns;
        for (int c = 0; c < list->columnCount(); ++c)
            columns << list->topLevelItem(i)->text(c);
        rows << columns.join(QLatin1Char('|'));
    }
    return rows;
}
