// A main window started against a temporary program folder: its INI file, working folder and
// local tables are the test's own, every call into the modules the window drives is recorded
// (and may be answered), and dialogs are answered by script.
#pragma once

#include <app/mainwindow/mainform.h>
#include <app/mainwindow/mainmodules.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QString>
#include <QStringList>

class LocalTable;

class MainWindowFixture
{
public:
    MainWindowFixture();
    ~MainWindowFixture();
    MainWindowFixture(const MainWindowFixture&) = delete;
    MainWindowFixture& operator=(const MainWindowFixture&) = delete;

    TestWorkspace ws;
    ScopedScriptedDialogs dialogs;
    // Every module call of the window, in order: "PollFileSources", "IdentifyFile 3", ...
    QStringList calls;
    TMainForm* form = nullptr;

    // The program's folder (it exists; no INI file in it yet).
    QString programDir() const;
    // Writes the program's INI file: the lines joined with CR LF.
    void writeIni(const QStringList& lines);
    // The usual settings: the working folder is the workspace, a user name is set and no
    // package is purged at the first tick.
    void writeUsualIni(const QStringList& more = {});
    // Creates the local tables of a new installation in the workspace's data folder and runs a
    // script on them with the sqlite3 tool, before the window starts.
    void prepareTables(const QString& script = {});
    // Creates the data module and the main window (FormCreate runs).
    void start();
    // Runs the first tick (splash, purge, user name), after which ticks poll.
    void firstTick();
    // One tick, or n of them.
    void tick(int n = 1);
    // The usual settings and one active folder source "Dossier": started, past its first tick,
    // with the calls of start-up forgotten.
    void startRunning(const QStringList& ini = {});

    // Rows through the program's own tables once the window runs.
    void addSource(int number, int type, int state = 1, const QString& title = {});
    void addDocument(int number, int cfg, int needId = 0, int type = 0, int patient = 0);
    void deleteDocument(int number);
    void addPatient(int id, const QString& name, const QString& firstName);
    // The sqlite3 tool on the local database.
    QString cli(const QString& script) const;
    QString databaseFile() const;
};

// Texts of a list's rows, columns joined with "|".
QStringList rowTexts(const class QTreeWidget* list);
