// The table of the modules the main window calls, filled with the modules' own functions.
#include "mainmodules.h"

#include "about.h"

#include <analysers/comslots.h>
#include <app/documents/upgrade.h>
#include <app/documents/viewer.h>
#include <app/packages/compform.h>
#include <app/packages/packages.h>
#include <app/packages/packdlg.h>
#include <app/patients/autoident.h>
#include <app/patients/directsend.h>
#include <app/patients/iddlg.h>
#include <app/patients/practicedb.h>
#include <app/sources/breeze_source.h>
#include <app/sources/configform.h>
#include <app/sources/folder_source.h>
#include <app/sources/printer_source.h>
#include <app/sources/screen_source.h>
#include <app/sources/testform.h>
#include <translation/langmanager.h>

namespace {

TMainFormModules ownModules()
{
    TMainFormModules m;
    m.CheckDatabaseVersion = &CheckDatabaseVersion;
    m.ConnectDatabase = &ConnectDatabase;
    m.InitDirectSend = &InitDirectSend;
    m.StartComSources = &StartComSources;
    m.CheckFileSources = &CheckFileSources;
    m.InitCurrentPackage = &InitCurrentPackage;
    m.CheckBreezeSources = &CheckBreezeSources;
    m.CheckPrinterSources = &CheckPrinterSources;
    m.InitClipboardSource = &InitClipboardSource;

    m.PurgeOldPackages = &PurgeOldPackages;
    m.PollFileSources = &PollFileSources;
    m.PollBreezeSources = &PollBreezeSources;
    m.PollPrinterSources = &PollPrinterSources;
    m.PollComBuffers = &PollComBuffers;
    m.CaptureClipboardBitmap = &CaptureClipboardBitmap;
    m.ExportPendingDocuments = &ExportPendingDocuments;
    m.IdentifyFile = &IdentifyFile;
    m.ShowIdDlg = &ShowIdDlg;

    m.PracticePatientName = &PracticePatientName;
    m.ViewDocument = &ViewDocument;
    m.ExecuteConfigForm = &ExecuteConfigForm;
    m.CloseAllComPorts = &CloseAllComPorts;
    m.OpenConfiguredComPorts = &OpenConfiguredComPorts;
    m.ShowPackDlg = &ShowPackDlg;
    m.ShowCompForm = &ShowCompForm;
    m.ShowDelDlg = &ShowDelDlg;
    m.ShowAboutBox = &ShowAboutBox;
    m.ShowTestForm = [] {
        TTestForm* form = CreateForm<TTestForm>();
        form->ShowModal();
        form->Free();
    };
    m.ShowLangManager = &ShowLangManager;

    m.StopComSources = &StopComSources;
    return m;
}

} // namespace

TMainFormModules& MainFormModules()
{
    static TMainFormModules modules = ownModules();
    return modules;
}

void ResetMainFormModules()
{
    MainFormModules() = ownModules();
}
