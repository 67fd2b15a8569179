// The package transfer dialog.
#pragma once

// The package dialog TPackDlg, shown modally and freed.
void ShowPackDlg();
