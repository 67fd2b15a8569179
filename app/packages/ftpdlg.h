// The FTP settings dialog (user name and port) and the password prompt of each upload.
#pragma once

#include <platform/ui/forms.h>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TLC;

// Works on UserName (default empty) and Port (default 21) of [FTP] in the program's settings.
class TFTPDlg : public TForm
{
    Q_OBJECT

public:
    explicit TFTPDlg(QWidget* parent = nullptr);

    QLabel* Label1; // "Utilisateur:"
    QLineEdit* UserNameEdit;
    QLabel* Label2; // "Port:"
    QLineEdit* RemotePortEdit;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1;

    void FormShow(QObject* Sender);
    // Writes the user name, then the port: a port that is not a whole number raises the
    // conversion error (the name is written already, the port is not) and the dialog stays.
    void OKBtnClick(QObject* Sender);
    void CancelBtnClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};

// Asks for the FTP password before an upload; offers the previous one when it was to be saved
// (FTPPassword and SavePassword, for the run of the program only).
class TFTPPasswordDlg : public TForm
{
    Q_OBJECT

public:
    explicit TFTPPasswordDlg(QWidget* parent = nullptr);

    QLabel* Label1;       // "Type password"
    QLineEdit* Edit1;     // shown as "*"
    QCheckBox* CheckBox1; // "save password"
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1;

    void FormShow(QObject* Sender);
    void OKBtnClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};
