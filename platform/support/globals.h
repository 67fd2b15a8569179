// The workstation's program-wide values, set once at start-up and read by every layer (the support
// routines, the sources, the analyser drivers). Kept together here so there is one place to look.
#pragma once

#include <QString>

// Program identity.
extern QString ProgName;           // "QUORVANE": captions, messages and the tray tip
extern QString ProgVersion;        // "2.07"
extern QString ProgBuild;          // build label shown by the about box
extern QString ProgSubtitle;       // third part of the main window caption
extern unsigned char ProgLanguage; // 1 French, 2 Russian, 3 English

// Folders and files. Folder names end with the separator, except DataDir.
extern QString WorkPath;    // working folder ([Application] Path)
extern QString BufDir;      // WorkPath + "buf/": the documents' data files
extern QString ExchangeDir; // WorkPath + "exchange/"
extern QString ComBufDir;   // WorkPath + "com_buf/": serial capture buffers and dumps
extern QString DataDir;     // WorkPath + "data": the local tables
extern QString IniFileName; // the program's folder + "QUORVANE.INI"
extern QString LogFileName; // the program's folder + "qvxfiles.log": the direct-send log

// Organisation lines printed at the head of analyser reports ([Info] keys of the settings file;
// built-in texts until start-up reads them).
extern QString OrgName1; // the laboratory's name
extern QString OrgName2; // its department
extern QString OrgInfo1; // postal address
extern QString OrgInfo2; // telephone and fax

// The practice database is connected and used for patients.
extern bool PracticeDBInUse;
