// The practice database: server data module, connection and patient names.
#include "practicedb.h"

// Will create the server data module with the database and the kernel access component.
void CreateServerModule()
{
}

// Will create the program's login dialog.
void CreateLoginDlg()
{
}

// Will free the server data module and the login dialog.
void FreePracticeModules()
{
}

// Will read TRESSOLY.VER, log in and check the module versions.
bool ConnectDatabase()
{
    return false;
}

// Will load the patient into the practice database's patient cache.
QString PracticePatientName(int)
{
    return QString();
}
