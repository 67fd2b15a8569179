// The workstation program's own program-wide values: the settings read at start-up and the state
// of the one-second polling loop, kept together here. (The values every layer shares, such as
// WorkPath and BufDir, are in platform/support/globals.h.)
#pragma once

#include <QString>

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
// The user confirmed quitting; only ever goes from false to true.
extern bool QuitConfirmed;

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

// ---- The program's folder

// The folder of the program file, with a trailing "/": the INI file and the direct-send log live
// there.
QString ProgramDir();
// Tests only: runs the program as if its file were in `folder` (empty: the real folder again).
void SetProgramDirForTesting(const QString& folder);
