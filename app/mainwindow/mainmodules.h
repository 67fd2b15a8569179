// What the main window calls of the other modules of the workstation (the sources, direct send,
// identification, packages, the practice database, the dialogs its commands open), gathered in
// one table. The program uses the modules' own functions; tests replace single entries to record
// the calls or to answer in place of a dialog, and put the table back with ResetMainFormModules.
//
// Adding a module: declare its entry point in the module's own header, in its folder (a module
// not built yet gets an entry point that does nothing, as ShowPackDlg has); add a std::function
// entry below, in the group of the moment the main window calls it, and call it there only
// through MainFormModules(). Its default is the module's own function, set in ownModules() in
// mainmodules.cpp, which ResetMainFormModules also restores. A test replaces the entry for as
// long as it needs, for example
//     MainFormModules().ShowPackDlg = [] { CurrentPack = 4242; };
// and the main-window fixture resets the whole table when the test ends.
#pragma once

#include <QDate>
#include <QString>

#include <functional>

struct TMainFormModules
{
    // Start-up
    std::function<bool()> CheckDatabaseVersion;
    std::function<bool()> ConnectDatabase;
    std::function<void(const QString& PracticePath)> InitDirectSend;
    std::function<void()> StartComSources;
    std::function<void()> CheckFileSources;
    std::function<void()> InitCurrentPackage;
    std::function<void()> CheckBreezeSources;
    std::function<void()> CheckPrinterSources;
    std::function<void()> InitClipboardSource;

    // The polling loop
    std::function<void(const QDate& Before)> PurgeOldPackages;
    std::function<bool()> PollFileSources;
    std::function<bool()> PollBreezeSources;
    std::function<bool(const QString& SpoolDir, const QString& BufDir)> PollPrinterSources;
    std::function<bool()> PollComBuffers;
    std::function<int(const QString& BufDir)> CaptureClipboardBitmap;
    std::function<void(int& Flags)> ExportPendingDocuments;
    std::function<bool(int Number)> IdentifyFile;
    std::function<void()> ShowIdDlg;

    // The lists and the commands
    std::function<QString(int PatientId)> PracticePatientName;
    std::function<void(int Number)> ViewDocument;
    std::function<int()> ExecuteConfigForm;
    std::function<void()> CloseAllComPorts;
    std::function<void()> OpenConfiguredComPorts;
    std::function<void()> ShowPackDlg;
    std::function<void()> ShowCompForm;
    std::function<void()> ShowDelDlg;
    std::function<void()> ShowAboutBox;
    std::function<void()> ShowTestForm;
    std::function<void()> ShowLangManager;

    // Shut-down
    std::function<void()> StopComSources;
};

// The table in use.
TMainFormModules& MainFormModules();
// Every entry back to the module's own function.
void ResetMainFormModules();
