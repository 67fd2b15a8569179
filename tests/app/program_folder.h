// The real program in a temporary program folder of its own (on Linux the program's folder is
// that of its executable file, so the built binary is copied there), with its settings file and
// its local tables, started offscreen; and the waits, each for a sign it gives, of tests that
// watch it run.
#pragma once

#include <support/workspace.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

class ProgramFolder
{
public:
    ProgramFolder();
    // Kills the program if a test left it running.
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    // The program and its settings file; the working folder the settings name.
    QString dir() const { return ws.path(QStringLiteral("prog/")); }
    QString work() const { return ws.path(QStringLiteral("work/")); }
    QString database() const;
    // The sqlite3 tool on the local database.
    QString cli(const QString& script) const;
    // Writes the settings file: the lines joined with CR LF, in the program's code page.
    void writeIni(const QStringList& lines) const;
    // The usual settings: the working folder, a user (so that no one is asked for), no purge.
    void writeUsualIni(const QStringList& more = {}) const;
    // The tables of a new installation in the working folder, made as the program makes them,
    // and a script run on them.
    void prepareTables(const QString& script = {}) const;
    // Starts the program offscreen, ticking every 50 ms with a sign on stderr after each tick;
    // "NAME=value" entries of `environment` are set last (another platform, a display), and a
    // "NAME" entry without a value removes that variable.
    void start(const QStringList& environment = {});
    // Starts another copy of the program from the same folder, as start() does.
    void startCopy(QProcess& copy, const QStringList& environment = {});
    // Reads the program's output until done() holds (checked as each sign arrives), the program
    // ends, or ms pass.
    bool waitFor(const std::function<bool()>& done, int ms = 20000);
    bool waitForTicks(int n);
    // All the program wrote, stdout and stderr.
    const QByteArray& output();

    TestWorkspace ws;
    QProcess process;

private:
    QByteArray m_output;
};
