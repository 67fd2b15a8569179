// The dialog service of a program with windows: Qt's message boxes, input boxes and file
// choosers, and modal forms in a nested event loop.
#pragma once

#include <platform/dialogs.h>

class QFileDialog;
class QWidget;

// Makes the Qt service the default one (see setDefaultDialogService). Needs a QApplication.
void useQtDialogs();

enum class ChooserKind { OpenFile, SaveFile, Folder };

// The chooser the Qt service shows: Qt's file dialog titled `caption`, opening in `dir` (a file
// named there is selected), with the program's `filter` ("description|patterns|..."), for an
// existing file to open, a file to save or a folder. Each time it is shown and each time it has
// read the folder it shows, it widens the columns of its list to their titles and their texts,
// its side bar to its places, and itself to hold them, within the screen (the names' column takes
// what is left). Not shown yet; the caller deletes it, unless `parent` does first.
QFileDialog* createFileChooser(ChooserKind kind, QWidget* parent, const QString& caption,
                               const QString& dir, const QString& filter = QString());
