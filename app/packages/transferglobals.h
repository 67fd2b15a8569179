// The program-wide values of the transfer of packages (the e-mail and FTP forms and the transfer
// dialog), kept together here, and the one way these forms are shown.
#pragma once

#include <platform/ui/forms.h>

#include <QPointer>
#include <QScopeGuard>
#include <QString>

// ---- The e-mail form, set by its caller before it is shown

extern QString MailServer;  // the SMTP server's address
extern QString MailTo;      // the recipient
extern QString MailFrom;    // the sender
extern QString MailSubject; // the subject
extern QString MailFile;    // the buffer file sent as the message's body
// The mailing failed (read by the caller once the form has closed), and why, for the caller's
// message (empty when the mailing did not fail).
extern bool MailFailed;
extern QString MailError;

// ---- The FTP password prompt, for the run of the program only (never written to disk)

extern QString FTPPassword;
// The password is offered again at the next prompt.
extern bool SavePassword;

// ---- The transfer dialog

// FILES.DB held at least one document when the dialog was shown.
extern bool HasDocuments;

// Creates the form, lets `setup` fill it, shows it modally and frees it; returns the modal
// result. `setup` and `after` (run on the form once it has closed, before it is freed) may be
// left out.
template <class Form, class Setup, class After> int ExecuteForm(Setup&& setup, After&& after)
{
    QPointer<Form> form = CreateForm<Form>();
    const auto freeForm = qScopeGuard([&form] {
        if (form)
            form->Free();
    });
    setup(*form);
    const int result = form->ShowModal();
    if (form)
        after(*form);
    return result;
}

template <class Form> int ExecuteForm()
{
    return ExecuteForm<Form>([](Form&) {}, [](Form&) {});
}
