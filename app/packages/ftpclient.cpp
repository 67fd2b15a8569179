// The FTP transfer form TFTPClient.
#include "ftpclient.h"

#include <app/translatableforms.h>
#include <platform/net/ftpsession.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <translation/lc.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

QUORVANE_TRANSLATABLE_FORM(TFTPClient);

TFTPClient::TFTPClient(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TFTPClient::createComponents()
{
    setCaption(QStringLiteral("FTP Client"));
    StatusLabel = makeComponent<QLabel>("StatusLabel", "TLabel");
    StatusLabel->setTextFormat(Qt::PlainText);
    ProgressBar1 = makeComponent<QProgressBar>("ProgressBar1", "TProgressBar");
    ProgressBar1->setRange(0, 100);
    FTPTimer = makeComponent<QTimer>("FTPTimer", "TTimer", this);
    FTPTimer->setInterval(1000);
    FTP1 = makeComponent<FtpSession>("FTP1", "TFTP", this);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TFTPClient::layoutComponents()
{
    auto* all = new QVBoxLayout(this);
    all->addWidget(StatusLabel);
    all->addWidget(ProgressBar1);
    all->addStretch();
    StatusLabel->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(320, 80);
}

void TFTPClient::connectHandlers()
{
    connect(FTPTimer, &QTimer::timeout, this, [this] { FTPTimerTimer(FTPTimer); });
    connect(FTP1, &FtpSession::stateChanged, this, [this](int state) { FTPStateChanged(state); });
    connect(FTP1, &FtpSession::protocolStateChanged, this,
            [this](int state) { FTPProtocolStateChanged(state); });
    connect(FTP1, &FtpSession::busyChanged, this, [this](bool busy) { FTPBusy(busy); });
    connect(FTP1, &FtpSession::documentInput, this,
            [this](qint64 done, qint64 total) { FTPDocInput(done, total); });
    connect(FTP1, &FtpSession::documentOutput, this,
            [this](qint64 done, qint64 total) { FTPDocOutput(done, total); });
    connect(FTP1, &FtpSession::errorOccurred, this,
            [this](int code, const QString& text) { FTPError(code, text); });
}

void TFTPClient::FormShow(QObject*)
{
    m_ticks = 0;
    ProgressBar1->setValue(0);
    FTPTimer->start();
    Connect();
}

void TFTPClient::Connect()
{
    if (FTP1->state() == nsConnected) {
        Disconnect();
        FTP1->waitForState(nsDisconnected);
    }
    FTP1->setRemoteHost(Host);
    FTP1->setRemotePort(Port);
    Busy = true;
    FTP1->connectToServer();
}

void TFTPClient::Disconnect()
{
    FTP1->quit();
    QCoreApplication::processEvents();
}

void TFTPClient::FTPProtocolStateChanged(int State)
{
    if (State == fpAuthentication)
        FTP1->authenticate(UserName, Password);
    else if (State == fpTransaction)
        FTP1->changeDirectory(QStringLiteral("/"));
}

void TFTPClient::FTPStateChanged(int State)
{
    switch (State) {
    case nsConnecting:
    case nsResolving:
        StatusLabel->setText(QStringLiteral("Connecting"));
        break;
    case nsResolved:
        StatusLabel->setText(QStringLiteral("Host resolved"));
        break;
    case nsConnected:
        StatusLabel->setText(QStringLiteral("Connected to: ") + FTP1->remoteHost());
        break;
    case nsDisconnecting:
        StatusLabel->setText(QStringLiteral("Disconnecting"));
        break;
    case nsDisconnected:
        StatusLabel->setText(QStringLiteral("Disconnected"));
        break;
    default:
        break;
    }
}

void TFTPClient::FTPBusy(bool IsBusy)
{
    setScreenCursor(IsBusy ? crHourGlass : crDefault);
    Busy = IsBusy;
}

void TFTPClient::FTPDocInput(qint64 Transferred, qint64 Total)
{
    if (Total > 0)
        ProgressBar1->setValue(
            int(qMin<long>(100, std::lround(double(Transferred) * 100 / double(Total)))));
}

void TFTPClient::FTPDocOutput(qint64 Transferred, qint64 Total)
{
    FTPDocInput(Transferred, Total);
}

void TFTPClient::FTPError(int, const QString& Description)
{
    m_failed = true;
    Busy = false;
    WriteToLog(QStringLiteral("FTP %1 of %2 on %3: %4")
                   .arg(Mode == 2 ? QStringLiteral("download") : QStringLiteral("upload"), FileName,
                        Host, Description));
}

// Starts the transfer of the form's mode; false, with the failure logged, when it is refused here.
bool TFTPClient::transfer()
{
    m_failed = false;
    if (Mode != 2) {
        FTP1->putFile(FileName, QFileInfo(FileName).fileName());
        return true;
    }
    const QString name = FileName;
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name == u"." ||
        name == u"..") {
        FTPError(int(NetError::LocalFile),
                 QStringLiteral("\"%1\" is not the bare name of a file").arg(name));
        return false;
    }
    const QString folder = WorkPath + QStringLiteral("ftpfiles/");
    CheckDirectory(folder, true);
    FTP1->getFile(name, folder + name);
    return true;
}

void TFTPClient::FTPTimerTimer(QObject*)
{
    if (m_ticks < 6)
        ++m_ticks;
    else if (FTP1->state() == nsDisconnected) {
        FTPTimer->stop();
        setScreenCursor(crDefault);
        Close();
        return;
    }
    if (FTP1->state() != nsConnected || FTP1->isBusy())
        return;
    FTPTimer->stop();
    if (transfer())
        FTP1->waitWhileBusy();
    Completed = !m_failed;
    Disconnect();
    FTP1->waitForState(nsDisconnected);
    setScreenCursor(crDefault);
    Close();
}
