// The practice database: server data module, connection and patient names.
#include "practicedb.h"

#include "dbmain.h"

#include <app/appglobals.h>

void CreateServerModule()
{
    Server = CreateForm<TServer>();
}

// Will create the program's login dialog.
void CreateLoginDlg()
{
}

// Will free the login dialog too.
void FreePracticeModules()
{
    if (Server)
        Server->Free();
    Server = nullptr;
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
