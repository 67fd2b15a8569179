// Storage of the workstation program's own program-wide values.
#include "appglobals.h"

#include <platform/support/paths.h>

#include <QCoreApplication>

QString TressolyPath;
QString RarPath;
bool NeedCompression = false;
bool WaitMode = false;
bool DebugMode = false;
bool CheckSession = false;
bool QuitConfirmed = false;

TMainForm* MainForm = nullptr;
TDataTables* DataTables = nullptr;
TServer* Server = nullptr;
qint32 CurrentPack = 0;

bool FirstTick = true;
bool TimerBusy = false;
qint32 IdleTicks = 0;
bool ConfigPanelOpen = false;
bool IdentificationActive = false;
qint32 CurrentNumber = 0;

int EditedSourceNumber = 0;
int FileSourceCount = 0;
int PrinterSourceCount = 0;
QString SpoolDir;
qint16 SpoolVersion = 1;
int ScreenSourceNumber = 0;

qint32 EditedPatientID = 0;
bool DirectSend = false;
QString ExportDir;

QString DBPassword;
QString DBCachePath;
QString ReportTemplatePath;
QString ReportTempPath;

namespace {
QString g_programDirForTesting;
}

QString ProgramDir()
{
    if (!g_programDirForTesting.isEmpty())
        return g_programDirForTesting;
    return AddBackslash(QCoreApplication::applicationDirPath());
}

void SetProgramDirForTesting(const QString& folder)
{
    g_programDirForTesting = AddBackslash(folder);
}
