// The patient identification dialog, opened for one document.
#include "iddlg.h"

// Will show the identification dialog TIdDlg for CurrentNumber.
void ShowIdDlg()
{
}
