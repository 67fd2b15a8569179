// TMainForm, the workstation's main window: start-up, the one-second polling loop, the documents
// and sources lists with their commands, the tray icon, and the way the program ends.
#pragma once

#include "taskbaricon.h"
#include <platform/support/globals.h>
#include <platform/ui/forms.h>
#include <platform/variant.h>

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class QAction;
class QFrame;
class QLabel;
class QLocalServer;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TCommPortDriver;
class TLC;
class TTaskBarIcon;
class TTitul;
namespace sqlitedb {
class RowWatch;
}

// Lifecycle of the window:
//
//   created ──FormCreate──┬─ failed ──> StartupFailed() true: the program ends without its loop
//                         └─ ready: timer on, shown when the loop starts
//   ready ── "&Continuer", No to "Quitter", a built package ──> hidden (minimised where the
//            desktop has no notification area); the tray icon shows it again
//   ready ── quit confirmed (menu, SIGTERM, SIGINT) ──> closing once no tick is running and no
//            dialog is open (a signal cancels the open dialog): timer off, tables closed, the
//            application's loop ends
//   ready ── any other close request ──> refused; while documents wait the window comes to the
//            front, otherwise the quit command asks its question
class TMainForm : public TForm
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- components, in their order
    QFrame* Panel1;
    QLabel* Image1; // logo for palette screens
    QLabel* Image2; // logo for true-colour screens
    QLabel* Image3; // shown while the sources panel is open
    QLabel* Label1;
    QLabel* Label6; // user name
    QLabel* Label2;
    QLabel* Label4; // date
    QLabel* Label3;
    QLabel* Label5; // time
    QLabel* Label7;
    QTreeWidget* ListView1; // documents
    QPushButton* bView;
    QPushButton* bIdentify;
    QPushButton* bComment;
    QPushButton* bDelete;
    QPushButton* bShowLOG;
    QPushButton* bTransfer;
    QPushButton* ConfigBtn; // a toggle: down while the sources panel is open
    QPushButton* bCont;
    QFrame* Panel2;
    QTreeWidget* ListView2; // sources
    QPushButton* Add;
    QPushButton* bModify;
    QPushButton* BitBtn9;
    QPushButton* BitBtn10;
    QMenuBar* MainMenu1;
    QAction* Fichier1;
    QAction* About1;
    QAction* N1;
    QAction* Exit1;
    QAction* Options1;
    QAction* IWaitMode;
    QAction* miDirectSend;
    QAction* N2;
    QAction* User1;
    QAction* Compression1;
    QAction* TestforCOM11;
    QAction* Deletepackages1;
    QTimer* CommonTimer;
    TLC* LC1;
    // Created in code by FormCreate, owned by the window.
    TTaskBarIcon* TrayIcon = nullptr;

    // Document numbers of the rows of ListView1 and source numbers of the rows of ListView2.
    QList<int> DocNumbers;
    QList<int> SourceNumbers;

    // ---- start-up and the end
    void FormCreate(QObject* Sender);
    // True when start-up failed or was refused: the program must end without running its loop.
    bool StartupFailed() const { return m_startupFailed; }
    // True when start-up stopped between its steps because the program was asked to end.
    bool StartupStoppedOnRequest() const { return m_startupStoppedOnRequest; }
    void FormShow(QObject* Sender);
    void FormHide(QObject* Sender);
    void FormActivate(QObject* Sender);
    void FormKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void FormClose(QObject* Sender, TCloseAction& Action);
    void bCloseClick(QObject* Sender);
    void Exit1Click(QObject* Sender);
    void bClsClk(QObject* Sender);
    // SIGTERM and SIGINT: the program ends as a confirmed quit does.
    void TerminateRequested();
    // The window's client height (the menu bar not counted).
    int ClientHeight() const;

    // ---- the polling loop
    void CommonTimerTimer(QObject* Sender);
    // Called after documents were registered outside a tick: refills the documents list and
    // counts the quiet ticks from 0 again. Values below 1 do nothing.
    void RefreshDocuments(int Value);

    // ---- the lists and the commands
    void FillDocumentList();
    void FillSourceList();
    void bViewClick(QObject* Sender);
    void ListView1DblClick(QObject* Sender);
    void bIdentifyClick(QObject* Sender);
    void bDeleteClick(QObject* Sender);
    void AddClick(QObject* Sender);
    void bModifyClick(QObject* Sender);
    void ListView2DblClick(QObject* Sender);
    void BitBtn9Click(QObject* Sender);
    void BitBtn10Click(QObject* Sender);
    void ConfigBtnClick(QObject* Sender);
    void bTransferClick(QObject* Sender);
    void bShowLOGClick(QObject* Sender);
    void User1Click(QObject* Sender);
    void IWaitModeClick(QObject* Sender);
    void miDirectSendClick(QObject* Sender);
    void Compression1Click(QObject* Sender);
    void TestforCOM11Click(QObject* Sender);
    void Deletepackages1Click(QObject* Sender);
    void About1Click(QObject* Sender);
    void TrayIconClick(QObject* Sender, TMouseButton Button, Qt::KeyboardModifiers Shift, int X,
                       int Y);
    void TrayIconDblClick(QObject* Sender, TMouseButton Button, Qt::KeyboardModifiers Shift, int X,
                          int Y);

    // ---- entry points of other programs and components
    // An outside program asks for a screen capture (on the local socket, see below).
    void WMScreenCapture();
    void ComPort1Receive(TCommPortDriver* Sender, const char* Data, int Count);
    void ComPort2Receive(TCommPortDriver* Sender, const char* Data, int Count);
    void ComPort3Receive(TCommPortDriver* Sender, const char* Data, int Count);
    void ComPort4Receive(TCommPortDriver* Sender, const char* Data, int Count);
    void ComPort5Receive(TCommPortDriver* Sender, const char* Data, int Count);
    void ComPort6Receive(TCommPortDriver* Sender, const char* Data, int Count);
    void ComPort7Receive(TCommPortDriver* Sender, const char* Data, int Count);
    void ComPort8Receive(TCommPortDriver* Sender, const char* Data, int Count);

    // The local socket on which an outside program asks for a screen capture: "quorvane-" + the
    // user's login name, in the user's private runtime folder (XDG_RUNTIME_DIR) where there is
    // one, else (a bare name) in the system's temporary folder. Each connection on which at
    // least one byte arrives asks for one capture; a connection that sends nothing asks for
    // nothing.
    static QString ScreenCaptureServerName();
    // Tests only: another name (empty: the normal one again).
    static void SetScreenCaptureServerNameForTesting(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createComponents();
    void createDocumentPanel();
    void createSourcePanel();
    void createMenu();
    void layoutComponents();
    void layoutDocumentPanel();
    void layoutSourcePanel();
    void layoutMenu();
    void connectHandlers();

    // Start-up steps
    void PrepareSettingsFile();
    void ReadSettings();
    void PrepareFolders();
    void ConnectPracticeDatabase();
    void OpenLocalTables();
    void CreateTrayIcon();
    void BindPortSlots();
    void StartSources();
    void StartScreenCaptureServer();
    void SplashText(const QString& Text);

    // The polling loop
    void FirstTickStep();
    void PollingStep();
    void IdentificationStep();
    void WarningStep();
    void UpdateClock();
    // Tells the user, once start-up is over, that the operations log could not be written: once
    // per cause, as the failures of the polling (see ForgetToldFailures).
    void TellLogFailure();
    // The sources work again: a failure that comes back is told again, unless its box is open.
    void ForgetToldFailures();
    // Tests of the whole program only: the sign on stderr that a tick has ended, and where the
    // default button of a question is.
    void TickEnded();
    static void ReportDefaultButton(QWidget* Window);
    // The bytes of a port slot, received with their failures' boxes held (see HeldReports).
    void ReceiveOnSlot(int Slot, const char* Data, int Count);

    // Helpers of the lists and commands
    int SelectedRow(QTreeWidget* List) const;
    QString PatientName(int PatientId);
    void SetClientHeight(int Height);
    // The lists' columns: their designed widths, widened to their titles (and, for the
    // documents' date, to a whole date and time), are the least ones; FitColumns widens them to
    // their rows after a refill.
    static TDateTime SampleMoment();
    const QList<int>& DesignedColumns(const QTreeWidget* List) const;
    void PrepareColumns(QTreeWidget* List);
    void FitColumns(QTreeWidget* List);
    // Widens the columns to the given rows alone (rows that were added or changed).
    void WidenColumns(QTreeWidget* List, const QList<QTreeWidgetItem*>& Items);
    void FollowColumnWidths(QTreeWidget* List);
    // The documents list: filled from the whole table, or following the rows that changed
    // (false when it cannot say which did).
    void RebuildDocumentList();
    bool FollowDocumentChanges();
    void ForgetDocumentList();
    void RereadPatientNamesNextFill();
    // The texts of the row of the document the documents table stands on.
    QStringList DocumentRowTexts();
    static QTreeWidgetItem* NewDocumentItem(const QStringList& Texts, int Patient);
    // Item data of the documents list: the patient a row shows.
    static constexpr int PatientRole = Qt::UserRole + 1;
    // The sources list's state column: its text (with whether a serial source's port is open)
    // from the source's state and COM port, kept as item data of the column.
    void ShowSourceState(QTreeWidgetItem* Item, int Number);
    void ShowSourceStates();
    static constexpr int SourceStateRole = Qt::UserRole + 1;
    static constexpr int SourcePortRole = Qt::UserRole + 2;
    // The window grows with its lists' columns: it is centred once they are filled at start-up,
    // and a window that grows later is moved back whole onto its screen where it can be.
    void CentreOnScreen();
    void KeepOnScreen();
    // Hides the window, or minimises it where the desktop shows no tray icon to bring it back.
    void HideMainWindow();
    void BringToFront();
    // Closes the window for a confirmed quit as soon as nothing runs under it.
    void CarryOutQuit();
    bool SafeToClose() const;
    void CancelModalWindow();
    bool DocumentsWaiting() const;

    // Client heights with the sources panel closed and open.
    static constexpr int ClosedPanelHeight = 246;
    static constexpr int OpenPanelHeight = 419;

    TTitul* Titul = nullptr;
    QWidget* m_client = nullptr; // the client area under the menu bar
    int m_clientHeight = 0;
    bool m_defaultWorkPath = false; // WorkPath is the first start's folder
    bool m_appMessageHooked = false;
    bool m_langManagerOpen = false;
    QLocalServer* m_captureServer = nullptr;
    QTimer* m_quitRetry = nullptr;
    bool m_startupFailed = false;
    bool m_startupStoppedOnRequest = false;
    bool m_firstTickRunning = false;
    bool m_closing = false;
    bool m_quitPending = false;
    bool m_terminating = false; // the quit came from SIGTERM or SIGINT
    bool m_askingToQuit = false;
    QString m_logFailure;     // why the operations log could not be written, until it is told
    QString m_logFailureTold; // the cause told last, and whether its box is still open
    bool m_logFailureShowing = false;
    // Set by QUORVANE_TEST_TICK_MS: ticks and questions are reported on stderr.
    bool m_testSigns = false;
    int m_ticksEnded = 0;
    // The changes the documents list follows, and which table rows (rowids) it lists under
    // which document numbers.
    std::shared_ptr<sqlitedb::RowWatch> m_documentWatch;
    QHash<qint64, int> m_listedRows;
    QHash<int, qint64> m_rowOfDocument;
};
