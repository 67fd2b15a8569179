// The FTP transfer form: connects, logs in, uploads (or downloads) one file and disconnects,
// showing where it stands.
#pragma once

#include <platform/ui/forms.h>

class FtpSession;
class QLabel;
class QProgressBar;
class QTimer;
class TLC;

class TFTPClient : public TForm
{
    Q_OBJECT

public:
    explicit TFTPClient(QWidget* parent = nullptr);

    QLabel* StatusLabel;
    QProgressBar* ProgressBar1;
    QTimer* FTPTimer; // 1000 ms, off at start
    FtpSession* FTP1;
    TLC* LC1;

    // Set by the caller before the form is shown.
    QString UserName;
    QString Password;
    QString Host;
    int Port = 21;
    QString FileName; // Mode 1: the local file; mode 2: the bare name of the remote file
    int Mode = 1;     // 1 upload, 2 download
    // Follows the session's busy event.
    bool Busy = false;
    // The transfer ended complete (read by the caller once the form has closed).
    bool Completed = false;

    void FormShow(QObject* Sender);
    // Once a second. The first six ticks are counted; from the seventh on, a disconnected session
    // closes the form (the connection failed or ended). On any tick, a connected idle session
    // gets the transfer: mode 1 stores FileName on the host under its bare name in the
    // account's root, mode 2 fetches "/" + FileName into WorkPath + "ftpfiles/" (a name with a
    // folder part, or "." or "..", is refused); then the session disconnects and the form closes.
    void FTPTimerTimer(QObject* Sender);
    void FTPStateChanged(int State);
    void FTPProtocolStateChanged(int State);
    void FTPBusy(bool IsBusy);
    void FTPDocInput(qint64 Transferred, qint64 Total);
    void FTPDocOutput(qint64 Transferred, qint64 Total);
    void FTPError(int Code, const QString& Description);

    void Connect();
    void Disconnect();

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
    bool transfer();

    int m_ticks = 0;
    bool m_failed = false;
};
