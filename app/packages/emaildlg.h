// The e-mail settings dialog: the SMTP server and the sender's address.
#pragma once

#include <platform/ui/forms.h>

class QLabel;
class QLineEdit;
class QPushButton;
class TLC;

// Works on SMTPServer and HOMEAddr of [e-mail] in the program's settings.
class TeMailDlg : public TForm
{
    Q_OBJECT

public:
    explicit TeMailDlg(QWidget* parent = nullptr);

    QLabel* Label1; // "Serveur:"
    QLineEdit* eSMTPServer;
    QLabel* Label2; // "Adresse de retour:"
    QLineEdit* eHomeAddr;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1;

    void FormShow(QObject* Sender);
    void OKBtnClick(QObject* Sender);
    void CancelBtnClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};
