// The workstation program's own program-wide values, kept together here: the settings read at
// start-up, the state of the one-second polling loop, and what the main window, the sources, the
// identification and direct send share. (The values every layer shares, such as WorkPath and
// BufDir, are in platform/support/globals.h.) A form's own state lives in the form.
#pragma once

#include <QString>

class TDataTables;
class TMainForm;
class TServer;

// ---- Settings, read from the program's INI file at start-up

// Folder of the practice software ([Application] Tressoly_Path); empty when not configured;
// replaced by DataDir when the practice database cannot be connected.
extern QString TressolyPath;
// Archiver program used for packages ([Application] RAR_Path).
extern QString RarPath;
// Packages are compressed ([Application] NeedCompression not 0).
extern bool NeedCompression;
// Manual reception: the timer does not poll ([Application] WaitMode not 0).
extern bool WaitMode;
// The virtual-printer source writes trace messages ([Application] Debug).
extern bool DebugMode;
// [Troubles] CheckSession of the settings: walks over the local tables probe them first.
extern bool CheckSession;
// The user confirmed quitting; only ever goes from false to true.
extern bool QuitConfirmed;

// ---- The main window and the data modules

// The main window, created at program start.
extern TMainForm* MainForm;
// The local tables data module, created at program start.
extern TDataTables* DataTables;
// The server data module while it exists (made by CreateServerModule).
extern TServer* Server;
// Number of the open package: set at start-up and whenever a package is closed; every new
// document row stores it.
extern qint32 CurrentPack;

// ---- The polling loop

// The first tick has not run yet.
extern bool FirstTick;
// A tick is running its polling part; further ticks return at once.
extern bool TimerBusy;
// Quiet ticks in a row: 0..5 counting, -1 once direct send has run and nothing new has come.
extern qint32 IdleTicks;
// The sources panel of the main window is open: nothing is polled.
extern bool ConfigPanelOpen;
// The identification dialog is open, for the document CurrentNumber.
extern bool IdentificationActive;
extern qint32 CurrentNumber;

// ---- The sources

// Number of the source the configuration dialog edits, 0 for a new one; after a new source is
// saved, its number. Set by the main window before it opens the dialog.
extern int EditedSourceNumber;
// Active folder sources found by the last CheckFileSources; the main loop polls them only when it
// is not 0.
extern int FileSourceCount;
// Active virtual-printer sources found by the last CheckPrinterSources; the main loop polls them
// only when it is not 0.
extern int PrinterSourceCount;
// The spool folder the virtual-printer sources watch, and the layout version of its job files.
// Set at start-up; the folder stays empty (nothing is watched) until a spool folder is configured.
extern QString SpoolDir;
extern qint16 SpoolVersion;
// Number of the active screen-capture source; 0 when there is none.
extern int ScreenSourceNumber;

// ---- Patients and direct send

// The key of the patient the patient dialog edits; 0 for a new patient, whose key the dialog
// stores here once it has created it. Set by the identification dialog before it opens the other.
extern qint32 EditedPatientID;
// Direct send is on (the menu item "Transfert direct vers" is checked).
extern bool DirectSend;
// The practice software's import folder: its folder + "QVXIMP/".
extern QString ExportDir;

// ---- The server data module's settings
//
// The database password, the kernel's cache folder and the report template and temporary
// folders that the server data module hands on when it is created. Nothing in this program sets
// them: they are empty, which clears the module's own values.
extern QString DBPassword;
extern QString DBCachePath;
extern QString ReportTemplatePath;
extern QString ReportTempPath;

// ---- The program's folder

// The folder of the program file, with a trailing "/": the INI file and the direct-send log live
// there.
QString ProgramDir();
// Tests only: runs the program as if its file were in `folder` (empty: the real folder again).
void SetProgramDirForTesting(const QString& folder);
