// The structure editor in the tour of the windows, as the structure tool opens it.
#pragma once

#include <QString>

#include <functional>
#include <map>

class TForm;

// Opens the structure editor modally on a new table of a database of its own in `folder`, with
// fields, a key, lookup values and a link; `next` receives what the user does in it: open the
// custom data editor and the new link dialog.
void ShowStructureEditor(const QString& folder,
                         std::map<QString, std::function<void(TForm&)>>& next);
