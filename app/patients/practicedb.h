// The practice database: the server data module, the connection at start-up, the login dialog
// and the patients' names read from it.
#pragma once

#include <QString>

// Creates the server data module TServer (the database connection and the kernel access).
void CreateServerModule();
// Creates the login dialog TLoginDlg that the program keeps (never shown at start).
void CreateLoginDlg();
// Frees what the two above created.
void FreePracticeModules();
// Connects to the practice database named by the practice software's version file; true when
// its patients can be used.
bool ConnectDatabase();
// "NOM PRENOM" of the practice database's patient PatientId; empty when there is none.
QString PracticePatientName(int PatientId);
