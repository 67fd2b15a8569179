// The dialog service of a program with windows: Qt's message boxes, input boxes and file
// choosers, and modal forms in a nested event loop.
#pragma once

#include <platform/dialogs.h>

// Makes the Qt service the default one (see setDefaultDialogService). Needs a QApplication.
void useQtDialogs();
