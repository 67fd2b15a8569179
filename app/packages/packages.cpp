// Packages: the open package at start-up and the purge of old ones.
#include "packages.h"

// Will set CurrentPack to the last package, or open the first one.
void InitCurrentPackage()
{
}

// Will delete the packages (rows and files) closed before the given day.
void PurgeOldPackages(const QDate&)
{
}

// Will show the purge settings dialog "Purge des paquets".
void ShowDelDlg()
{
}
