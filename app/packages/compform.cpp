// The compression settings dialog.
#include "compform.h"

// Will show the dialog for NeedCompression and the archiver program.
void ShowCompForm()
{
}
