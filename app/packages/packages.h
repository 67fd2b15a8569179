// Packages: the open package, the purge of old packages and its settings dialog.
#pragma once

#include <QDate>

// Sets CurrentPack from the packages table, opening a first package on a new installation.
void InitCurrentPackage();
// Removes the packages and exchange files older than Before.
void PurgeOldPackages(const QDate& Before);
// The package purge dialog TDelDlg, shown modally and freed.
void ShowDelDlg();
