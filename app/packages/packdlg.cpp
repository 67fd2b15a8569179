// The package transfer dialog.
#include "packdlg.h"

// Will show the dialog that builds the package and transfers it.
void ShowPackDlg()
{
}
