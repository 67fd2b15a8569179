// The table of the modules the main window calls, filled with the modules' own functions.
#include "mainmodules.h"

#include "about.h"
#include "autoident.h"
#include "breeze_source.h"
#include "compform.h"
#include "configform.h"
#include "directsend.h"
#include "folder_source.h"
#include "iddlg.h"
#include "packages.h"
#include "packdlg.h"
#include "practicedb.h"
#include "printer_source.h"
#include "screen_source.h"
#include "testform.h"
#include "upgrade.h"
#include "viewer.h"

#include <analysers/comslots.h>
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
