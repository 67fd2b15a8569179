// The package transfer dialog: sends the workstation's documents, or an older package again, to
// the practice by a copy into a folder, by e-mail or by FTP, and shows the history of packages.
#pragma once

#include <platform/ui/forms.h>

class DataSetModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class TLC;

class TPackDlg : public TForm
{
    Q_OBJECT

public:
    explicit TPackDlg(QWidget* parent = nullptr);
    ~TPackDlg() override;

    QLabel* PLabel; // "Transfert de données...", shown while a package is built
    QProgressBar* PB;
    QPushButton* PackagesBtn; // "Historique...": shows the history
    QPushButton* bFTP;        // hidden: the FTP path is not offered
    QPushButton* bEMAIL;
    QPushButton* bFile;
    QPushButton* bClose;
    QGroupBox* Panel1; // "Paramètres de transfert de données"
    QLabel* Label1;
    QLineEdit* FPath; // the folder files are copied into
    QPushButton* SpeedButton1;
    QLabel* Label2;
    QLineEdit* EMAIL; // the recipient
    QPushButton* BitBtn1;
    QLabel* Label3;       // hidden
    QLineEdit* FTP;       // hidden: the FTP host
    QPushButton* BitBtn2; // hidden
    QTableView* PackagesGrid;
    DataSetModel* DataSource1; // over SPacks
    TLC* LC1;

    // The package the dialog works on: CurrentPack when it is shown, or the package chosen in
    // the history.
    qint32 OpenedPack = 0;

    void FormShow(QObject* Sender);
    void FormClose(QObject* Sender, TCloseAction& Action);
    // A send button is enabled when its edit is not empty and there is something to send: the
    // documents of the workstation (HasDocuments) or an older package chosen in the history.
    void ParamsChange(QObject* Sender);
    void SpeedButton1Click(QObject* Sender);
    void BitBtn1Click(QObject* Sender);
    void BitBtn2Click(QObject* Sender);
    void PackagesBtnClick(QObject* Sender);
    void PackagesGridCellClick(QObject* Sender);
    // Copies the file to send into FPath; the package is then sent (Transfer state 2). A folder
    // that does not exist shows text 3, or for "A:\" text 2 with Retry; a copy that fails shows
    // text 1 (no room) or text 3. The dialog closes.
    void bFileClick(QObject* Sender);
    // Mails the file to send to EMAIL as a Base64 part; sent on success, text 4 otherwise.
    void bEMAILClick(QObject* Sender);
    // Asks for the password, builds a new package and uploads it to the host FTP; the package
    // is sent once the upload completed, text 4 otherwise.
    void bFTPClick(QObject* Sender);
    void bCloseClick(QObject* Sender);

    // Closes the open package and builds its files (PreparePackage), showing the progress;
    // returns the file to transfer.
    QString MakePackage();

private:
    class History;
    void createComponents();
    void layoutComponents();
    void connectHandlers();
    void setButtons();
    // The file to send: a new package for the open one, else the older package's .mrk, or its
    // .mpk; empty (text 3 shown, naming the file) when it has neither.
    QString fileToSend();
    void markSent(qint32 Number);

    History* m_history = nullptr;
};

// The package dialog TPackDlg, shown modally and freed.
void ShowPackDlg();
