// A file dialog component, as a form designs one: its title, filter, default extension, folder and
// options, shown through the dialog service when the form executes it.
#pragma once

#include <platform/systemnames.h>

#include <QObject>
#include <QString>

class FileDialog : public QObject
{
    Q_OBJECT
public:
    enum Kind { Open, Save };

    explicit FileDialog(Kind kind, QObject* parent = nullptr);

    Kind kind() const { return m_kind; }
    QString Title;
    // In the program's form: "description|patterns|description|patterns".
    QString Filter;
    // The entry of the filter in use, from 1.
    int FilterIndex = 1;
    // Added, after a dot, to a chosen name that has no extension.
    QString DefaultExt;
    QString InitialDir;
    QString FileName;
    // An open dialog: the chosen file must exist.
    bool FileMustExist = false;
    // A save dialog: an existing file is replaced only once the user agrees (the dialog asks).
    bool OverwritePrompt = false;
    // Raised when the user picks another filter entry.
    TNotifyEvent OnTypeChange;

    // Shows the dialog; true with FileName set to the chosen file, false when cancelled.
    bool Execute();

private:
    Kind m_kind;
};
