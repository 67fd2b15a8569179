// The program's windows one after another, as a user meets them, for their pictures
// (scripts/screenshots) and the check of their layouts (the layout test).
#pragma once

#include <QStringList>

#include <functional>

class QWidget;

// Runs a workstation of its own in a temporary folder (its settings, its local tables, two
// sources, a patient and two documents) and shows, in turn: the main window with its documents
// and with its sources panel; the windows its commands open, filled as the program fills them
// (identification and patient, a source and its line options, the log); then every other
// registered form as it opens (the picture window with a screen-sized capture, the about box
// also with its system lines), with the file and folder choosers of the compression settings, the
// transfer dialog and the report viewer. Each page of a notebook is shown in turn. A modal window
// is shown and handed to the visitor instead of waiting for an answer; a chooser once it shows
// its folder; every other question is answered as cancelled. The caption and the about box show
// the subtitle of the program's language.
class WindowTour
{
public:
    // `window` is shown and laid out; `name` is its class, its state and its page
    // ("TConfigForm-page3").
    using Visit = std::function<void(QWidget* window, const QString& name)>;

    // False, with the reason in `error`, when the workstation could not be started.
    static bool run(const Visit& visit, QString* error = nullptr);

    // What a user would find wrong with the window as shown, one line per fault: a label or a
    // button narrower than its text, an edit or a list's column or title narrower than what it
    // shows, columns wider than their list, a control outside its window or its panel, two
    // controls over each other (pictures and panels may overlap), a menu separator with a text,
    // Tab going back to a control a reader meets earlier, a notebook whose highlighted tab is not
    // the page it shows, a window too narrow for its title.
    static QStringList faults(QWidget* window);
};
