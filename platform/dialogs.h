// The one service through which the program asks the user anything: message boxes,
// confirmations, input boxes, file and folder dialogs, modal forms and the exception box.
// The user interface installs the Qt service; tests replace it with a scripted one.
#pragma once

#include <platform/systemnames.h>

#include <QString>

class QPrinter;
class TForm;

// The modal result a button gives (mbOK gives mrOk, mbNoToAll gives mrNoToAll, ...).
int modalResultOf(TMsgDlgBtn button);

class DialogService
{
public:
    virtual ~DialogService();

    // A message box of the given kind with the given buttons; returns the modal result of the
    // button pressed. The default caption is the kind's ("Warning", "Error", "Information",
    // "Confirm"; the application's name for mtCustom). No buttons at all means mbOK.
    virtual int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                           const QString& caption = {}) = 0;
    // A plain message with an OK button, captioned with the application's name.
    virtual void showMessage(const QString& text) = 0;
    // An input box; true and `value` replaced when the user confirms, false and `value`
    // untouched otherwise.
    virtual bool inputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // File and folder choosers; an empty result means the user cancelled. `filter` is given as
    // the program's dialogs give it ("Text|*.txt;*.log|All|*.*"); Qt's own form
    // ("Text (*.txt)") is accepted too.
    virtual QString getOpenFileName(const QString& caption, const QString& dir,
                                    const QString& filter) = 0;
    virtual QString getSaveFileName(const QString& caption, const QString& dir,
                                    const QString& filter) = 0;
    virtual QString getExistingDirectory(const QString& caption, const QString& dir) = 0;
    // Shows the form modally until its modal result is set and its closing step agrees, or the
    // window goes away (mrCancel). Event loops nest: timers keep firing meanwhile.
    virtual int showModal(TForm& form) = 0;
    // The application's standard exception box.
    virtual void showException(const QString& message) = 0;
    // The printer set-up dialog over `printer`, which takes the choices when the user confirms;
    // false when cancelled.
    virtual bool printerSetup(QPrinter& printer) = 0;

protected:
    DialogService() = default;
    DialogService(const DialogService&) = default;
    DialogService& operator=(const DialogService&) = default;
};

// The service in use. Not owned: setDialogService(nullptr) restores the default one.
DialogService& dialogService();
void setDialogService(DialogService* service);
// The service used when none is set: the user interface installs the Qt one at start-up. Without
// one, every question fails a soft check and is answered as cancelled.
void setDefaultDialogService(DialogService* service);

// The dialogs' filter form turned into Qt's: pairs of description and patterns separated by
// "|" become "description (patterns)" entries joined by ";;", patterns separated by blanks, and
// "*.*" (every file, with or without an extension) becomes "*". Text without "|" is taken to be
// in Qt's form already and is returned unchanged.
QString qtFileFilter(const QString& filter);
// The text a message box shows: every line end (LF, CR, CR LF or LF CR, the form the program's
// texts were written with) becomes one line break.
QString normalizedLineEnds(const QString& text);
