// The practice database's login: the dialog that asks for a user name and a password when no
// stored login works, and the database password derived from the two.
#pragma once

#include <platform/ui/forms.h>

class QLabel;
class QLineEdit;
class QPushButton;
class TLC;

class TLoginDlg : public TForm
{
    Q_OBJECT

public:
    explicit TLoginDlg(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* edUser; // "User :"
    QLabel* Label2;
    QLineEdit* edPsw; // "Password :", shown as "*"
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1; // no numbered texts: it translates the dialog

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};

// Shows a dialog of its own, with `User` preset (the focus on the password when there is one).
// True on OK, with User and Password taken from the dialog; false, both unchanged, otherwise.
bool ExecuteLoginDlg(QString& User, QString& Password);

// The database password of a user: 30 upper-case hexadecimal digits derived from the login and
// the password, both taken in the program's ANSI code page and upper-cased by its rules, so that
// letter case never matters. An empty login raises EDBKernelError "Bad login"; a login or
// password the code page cannot hold raises EConvertError (naming neither).
QString EncodePassword(const QString& Login, const QString& Password);
