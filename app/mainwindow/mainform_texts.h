// The main window's numbered texts (the lines of its TLC). They are defined here, apart from the
// window, because the error reporting uses them from the first moment of the program.
#pragma once

#include <QStringList>

class TLC;

// The lines "n=text" of the main window's TLC, numbers 0 to 25.
const QStringList& MainFormConsts();

// The main window's numbered texts: its own TLC once the window exists, the same lines before.
const TLC& MainFormTexts();
void SetMainFormTexts(const TLC* lc);
