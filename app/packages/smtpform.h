// The e-mail sending form: connects to the SMTP server, checks the recipient and sends the buffer
// file with its headers, showing where it stands.
#pragma once

#include <platform/ui/forms.h>

class QLabel;
class QProgressBar;
class QTimer;
class SmtpSession;
class TLC;

// Sends MailFile to MailTo through MailServer as MailFrom with MailSubject (transferglobals.h),
// and sets MailFailed, with the reason in MailError, when the mailing failed: an error of the
// session (a server that cannot be reached, a refusal, a wait beyond its bound), a recipient the
// server refused (the address box "Le format de l'adresse est incorrect !" is then shown), or the
// user closing the form (its close box or Escape) before the message was sent, which drops the
// connection at once, whatever it was waiting for. The form closes itself.
class TSMTPTForm : public TForm
{
    Q_OBJECT

public:
    explicit TSMTPTForm(QWidget* parent = nullptr);

    QLabel* ConnectStatus; // the connection's state
    QLabel* SMTPStatus;    // the document's progress
    QProgressBar* ProgressBar1;
    QTimer* SMTPTimer; // 1000 ms, off at start: from connected to verifying and sending
    SmtpSession* SMTP1;
    TLC* LC1;

    // Set by the session's error event and verify event.
    bool Failed = false;
    bool Verified = false;

    void FormShow(QObject* Sender);
    void FormClose(QObject* Sender, TCloseAction& Action);
    void SMTPTimerTimer(QObject* Sender);
    void SMTP1Error(int Code, const QString& Description);
    void SMTP1StateChanged(int State);
    void SMTP1DocInput(int DocState, qint64 Transferred, qint64 Total);
    void SMTP1Verify();
    void FormKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);

    void Connect();
    // The six headers of the message, in their order.
    QList<QPair<QString, QString>> SetHeaders() const;
    void SendFile(const QString& FileName);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
    // Closes the form when its work is over (as opposed to the user closing it).
    void finish();
    // The user asked to close the form: what runs is dropped.
    void userClosed();
    void failWith(const QString& reason);

    bool m_closing = false;
    bool m_finished = false;
};
