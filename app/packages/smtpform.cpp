// The e-mail sending form TSMTPTForm.
#include "smtpform.h"

#include "transferglobals.h"

#include <app/translatableforms.h>
#include <platform/clock.h>
#include <platform/dialogs.h>
#include <platform/net/smtpsession.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <translation/lc.h>

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

QUORVANE_TRANSLATABLE_FORM(TSMTPTForm);

TSMTPTForm::TSMTPTForm(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    OnClose = [this](QObject* sender, TCloseAction& action) { FormClose(sender, action); };
    OnKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        FormKeyDown(sender, key, shift);
    };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TSMTPTForm::createComponents()
{
    setCaption(QStringLiteral("Transfert par courrier électronique"));
    ConnectStatus = makeComponent<QLabel>("ConnectStatus", "TLabel");
    SMTPStatus = makeComponent<QLabel>("SMTPStatus", "TLabel");
    for (QLabel* label : {ConnectStatus, SMTPStatus}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
    }
    ProgressBar1 = makeComponent<QProgressBar>("ProgressBar1", "TProgressBar");
    ProgressBar1->setRange(0, 100);
    SMTPTimer = makeComponent<QTimer>("SMTPTimer", "TTimer", this);
    SMTPTimer->setInterval(1000);
    SMTP1 = makeComponent<SmtpSession>("SMTP1", "TSMTP", this);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TSMTPTForm::layoutComponents()
{
    auto* all = new QVBoxLayout(this);
    all->addWidget(ConnectStatus);
    all->addWidget(SMTPStatus);
    all->addWidget(ProgressBar1);
    all->addStretch();
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(380, 100);
}

void TSMTPTForm::connectHandlers()
{
    connect(SMTPTimer, &QTimer::timeout, this, [this] { SMTPTimerTimer(SMTPTimer); });
    connect(SMTP1, &SmtpSession::errorOccurred, this,
            [this](int code, const QString& text) { SMTP1Error(code, text); });
    connect(SMTP1, &SmtpSession::stateChanged, this,
            [this](int state) { SMTP1StateChanged(state); });
    connect(SMTP1, &SmtpSession::documentProgress, this,
            [this](int state, qint64 done, qint64 total) { SMTP1DocInput(state, done, total); });
    connect(SMTP1, &SmtpSession::verified, this, [this] { SMTP1Verify(); });
    // A result the form did not set itself is the user's: the close box, Escape.
    connect(this, &TForm::modalResultChanged, this, [this] {
        if (!m_finished)
            userClosed();
    });
}

void TSMTPTForm::finish()
{
    m_finished = true;
    Close();
}

void TSMTPTForm::failWith(const QString& reason)
{
    Failed = true;
    if (MailError.isEmpty())
        MailError = reason;
}

void TSMTPTForm::userClosed()
{
    m_finished = true;
    SMTPTimer->stop();
    if (m_closing) {
        // The message has gone or the mailing had already failed: only the farewell is dropped.
        SMTP1->abort();
        return;
    }
    WriteToLog(
        QStringLiteral("E-mail to %1 through %2: cancelled by the user").arg(MailTo, MailServer));
    failWith(QStringLiteral("Transfert annulé !"));
    SMTPStatus->setText(QStringLiteral("Transfert annulé !"));
    SMTP1->abort();
}

void TSMTPTForm::FormKeyDown(QObject*, int& Key, Qt::KeyboardModifiers Shift)
{
    if (Key == Qt::Key_Escape && !(Shift & ~Qt::KeypadModifier)) {
        Key = 0;
        Close();
    }
}

void TSMTPTForm::FormShow(QObject*)
{
    MailFailed = false;
    MailError.clear();
    ProgressBar1->setValue(0);
    Connect();
}

void TSMTPTForm::Connect()
{
    if (SMTP1->state() == nsConnected)
        SMTP1->quit();
    if (SMTP1->state() == nsDisconnected) {
        SMTP1->setRemoteHost(MailServer);
        Failed = false;
        SMTP1->connectToServer();
        SMTPTimer->start();
    }
}

void TSMTPTForm::SMTPTimerTimer(QObject*)
{
    if (SMTP1->state() == nsDisconnected) {
        SMTPTimer->stop();
        finish();
        return;
    }
    if (SMTP1->state() != nsConnected)
        return;
    SMTPTimer->stop();
    Verified = false;
    Failed = false;
    if (!SMTP1->waitWhileBusy())
        return; // the error event, or the user, has closed the form
    SMTP1->verify(MailTo);
    if (!SMTP1->waitWhileBusy())
        return;
    if (!Verified) {
        // A recipient the server refuses is a failed mailing: nothing was sent.
        MailFailed = true;
        if (MailError.isEmpty())
            MailError = SMTP1->lastReply().isEmpty()
                            ? MailTo
                            : MailTo + QStringLiteral(" : ") + SMTP1->lastReply();
        dialogService().messageDlg(QStringLiteral("Le format de l'adresse est incorrect !"),
                                   mtError, mbOK);
        finish();
        return;
    }
    SendFile(MailFile);
}

QList<QPair<QString, QString>> TSMTPTForm::SetHeaders() const
{
    const QString now = DateTimeToStr(toDateTime(clock::now()));
    return {{QStringLiteral("To"), MailTo},
            {QStringLiteral("From"), MailFrom},
            {QStringLiteral("CC"), QString()},
            {QStringLiteral("Subject"), MailSubject},
            {QStringLiteral("Message-Id"), QStringLiteral("%1_%2_%3").arg(ProgName, now, MailFrom)},
            {QStringLiteral("Content-Type"), QStringLiteral("TEXT/PLAIN charset=US-ASCII")}};
}

void TSMTPTForm::SendFile(const QString& FileName)
{
    SMTP1->sendDocument(SetHeaders(), FileName);
}

void TSMTPTForm::SMTP1DocInput(int DocState, qint64 Transferred, qint64 Total)
{
    switch (DocState) {
    case sdStarting:
        SMTPStatus->setText(QStringLiteral("Initialisation du transfert du fichier"));
        break;
    case sdHeaders:
        SMTPStatus->setText(QStringLiteral("Envoi de l'en-tête"));
        break;
    case sdSending:
        if (Total > 0) {
            const int percent = int(qMin<qint64>(100, Transferred * 100 / Total));
            SMTPStatus->setText(QStringLiteral("Envoi de données : %1 de %2 octets (%3%)")
                                    .arg(Transferred)
                                    .arg(Total)
                                    .arg(percent));
            ProgressBar1->setValue(percent);
        } else {
            SMTPStatus->setText(QStringLiteral("Envoi..."));
        }
        break;
    case sdDone:
        SMTPStatus->setText(
            Failed
                ? QStringLiteral("Transfert annulé !")
                : QStringLiteral("Fichier envoyé à %1 (%2 octets)").arg(MailTo).arg(Transferred));
        finish();
        break;
    default:
        break;
    }
}

void TSMTPTForm::SMTP1StateChanged(int State)
{
    const QString host = SMTP1->remoteHost();
    switch (State) {
    case nsConnecting:
        ConnectStatus->setText(QStringLiteral("Connexion au serveur SMTP : ") + host +
                               QStringLiteral("..."));
        break;
    case nsResolving:
        ConnectStatus->setText(QStringLiteral("Recherche de l'Hôte"));
        break;
    case nsResolved:
        ConnectStatus->setText(QStringLiteral("Hôte trouvé"));
        break;
    case nsConnected:
        ConnectStatus->setText(QStringLiteral("Connecté au serveur SMTP : ") + host);
        break;
    case nsDisconnecting:
        ConnectStatus->setText(QStringLiteral("Deconnexion du serveur SMTP : ") + host +
                               QStringLiteral("..."));
        break;
    case nsDisconnected:
        ConnectStatus->setText(QStringLiteral("Deconnecté du serveur SMTP : ") + host);
        break;
    default:
        break;
    }
}

void TSMTPTForm::SMTP1Error(int, const QString& Description)
{
    const QString detail = SMTP1->lastDetail();
    WriteToLog(QStringLiteral("E-mail to %1 through %2: %3%4")
                   .arg(MailTo, MailServer, Description,
                        detail.isEmpty() ? QString() : QStringLiteral(" [") + detail + u']'));
    if (m_closing)
        return; // what was to be done is done: the farewell only went wrong
    SMTPTimer->stop();
    failWith(Description);
    SMTPStatus->setText(QStringLiteral("Transfert annulé !"));
    finish();
}

void TSMTPTForm::SMTP1Verify()
{
    Verified = true;
}

void TSMTPTForm::FormClose(QObject*, TCloseAction&)
{
    m_closing = true;
    SMTPTimer->stop();
    if (!Failed) {
        SMTP1->waitWhileBusy();
        SMTP1->quit();
    } else {
        MailFailed = true;
    }
    SMTP1->waitForState(nsDisconnected);
}
