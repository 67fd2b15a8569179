// Breeze sources: the current-patient export of the Breeze cardio-pulmonary testing program.
#pragma once

#include <QString>

// One Breeze source: its row of rcfiles.DB.
struct TBreezeSource
{
    int Configuration = 0; // the source's number
    QString File;          // the current-patient file (CURPAT.DAT)
    int Reg = 0;           // 0 "Tous les fichiers", 1 "Dernier fichier"
    bool Clear = false;    // a package takes the Breeze file away instead of copying it
    QString Extension;     // the Breeze ID: extension of the result files (DTX, SM1, SAL)
    QString Cur_file;      // the result file of the patient last taken
    int Cur_time = 0;      // packed time of the current-patient file when last taken
};

// Sets every Breeze source that is active or passive (State 1 or 2) active when its current-patient
// file exists and passive when it does not. A source that comes back from passive starts from the
// present state: the patient current now is taken only once another one has been current.
// Called at start-up and after a Breeze source is saved.
void CheckBreezeSources();

// Looks at every active Breeze source (CheckBreezeFile), then carries rewritten Breeze files over
// to the practice software (RefreshSentBreezeFiles). True when a document was registered; false
// without looking when the local tables had to be reopened (CheckTables).
bool PollBreezeSources();

// One source: when its current-patient file has changed since it was last taken and names
// another patient whose result file (<folder of the current-patient file>/<base name>.<Breeze
// ID>, found whatever the case of its name) exists, that file is registered as a document of the
// source and stays where Breeze keeps it; the source then remembers that file and the time of
// the current-patient file. True when it registered a document. A current-patient file still
// being written is looked at on a later tick; one that cannot be read raises EInOutError.
bool CheckBreezeFile(TBreezeSource& Source);

// While direct send is on: every Breeze file already sent to the practice software (DSfiles.db)
// whose time has changed since is copied over its copy again, once per change; rows whose file
// or copy is gone are dropped.
void RefreshSentBreezeFiles();

// For the package builder: writes <DestDir><hex Number>.2 for every document of Breeze source
// `Cfg` in package `Pack`, from the Breeze file of the document's patient in the source's folder
// (Reg 0: the first file of that name in any case; Reg 1: of those, the newest). The file is
// moved when the source's Clear is on, else copied, keeping its time. A document whose Breeze
// file is gone is logged and left out; a copy or move that fails raises EInOutError naming the
// file (what was written before stays).
void PackBreezeFiles(int Pack, int Cfg, const QString& DestDir);

// The file-name part of a path written on Windows or here, without its extension (the last "."
// and what follows): "C:\BREEZE\DATA\PAT0001.PAT" gives "PAT0001".
QString BreezeBaseName(const QString& Path);
