// Program entry of the structure tool: the structure editor on one table of a kernel database.
#include <platform/db/odbcdriver.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>
#include <schema/structuretool.h>

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    // The program's name: the tool reads the workstation's alias file.
    QApplication::setApplicationName(ProgName);
    odbcdb::registerDrivers(); // MSSQL and ORACLE kernel databases
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return StructureToolMain(arguments);
}
