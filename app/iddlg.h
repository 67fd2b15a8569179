// The patient identification dialog.
#pragma once

// Creates the identification dialog for the document CurrentNumber (0: none), its patient grid
// bound to the patients in use, shows it modally and frees it.
void ShowIdDlg();
