// The configuration dialog of one data source, TConfigForm ("Configurer une source"): the source's
// common row in cfg.db, the row of its type (fr.db, rcfiles.DB, printers.db, com.DB) and, for a
// serial source, the section Options.COM<n> of the settings file.
#pragma once

#include <platform/support/docfiles.h>
#include <platform/ui/forms.h>

#include <QStringList>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class LocalTable;
class TLC;

// The ID Source a new source of each type proposes, indexed by type 1..5 (index 0 is unused).
extern const QStringList DefaultExtensions;

// What saving a source starts again so that the change takes effect at once, by its type. The
// program's own start functions unless a test replaces an entry.
struct TSourceRestarts
{
    std::function<void()> CheckFileSources;                        // type 1
    std::function<void()> CheckBreezeSources;                      // type 2
    std::function<void()> CheckPrinterSources;                     // type 3
    std::function<void(int Number, int State)> CreateSourceDriver; // type 4
    std::function<void()> InitClipboardSource;                     // type 5
};
TSourceRestarts& SourceRestarts();
void ResetSourceRestarts();

class TConfigForm : public TForm
{
    Q_OBJECT

public:
    explicit TConfigForm(QWidget* parent = nullptr);

    // The installed printers as the operating environment lists them; a test may set its own
    // list. Unset: Qt's list of the system's printers.
    static std::function<QStringList()> InstalledPrinters;

    // ---- components, in their order
    QLabel* Label1;
    QLineEdit* Titul;
    QLabel* Label2;
    QComboBox* ComboBox1; // the type: item index + 1
    QLabel* Label3;
    QLineEdit* Extension; // "ID Source"
    QToolButton* SpeedButton1;
    QCheckBox* NeedId;
    QCheckBox* NeedComment;
    QCheckBox* NeedWarning;
    QLabel* Label4;
    QLineEdit* eCode; // the direct-send code
    QStackedWidget* Notebook1;
    QWidget* Files;
    QLabel* Label5;
    QLineEdit* Edit2; // folder
    QPushButton* BitBtn1;
    QLabel* Label6;
    QLineEdit* Edit3; // file mask
    QCheckBox* CheckBox1;
    QWidget* Breeze;
    QLabel* Label7;
    QLineEdit* FileName; // the current-patient file
    QPushButton* BitBtn2;
    QGroupBox* RadioGroup2;
    QCheckBox* rcfDeleteBox;
    QLabel* Label8;
    QLineEdit* Edit1; // Breeze ID
    QWidget* EMF;
    QLabel* Label9;
    QComboBox* PrintersList;
    QCheckBox* cbDirectPrint;
    QComboBox* PrintersList1;
    QWidget* COMPort;
    QLabel* Label10;
    QComboBox* COMBox1;
    QCheckBox* NeedSTX;
    QLineEdit* STX;
    QLabel* Label11;
    QLineEdit* EOF_; // component "EOF" (EOF is a macro of the C library)
    QCheckBox* NeedTimeout;
    QSpinBox* Timeout;
    QPushButton* COMOptions;
    QWidget* Clipboard;
    QLabel* Label12;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1;

    // The item chosen in RadioGroup2, -1 when none; and choosing one.
    int RadioGroup2Index() const;
    void setRadioGroup2Index(int index);

    // The six serial line settings the options dialog edits.
    int BaudRate = 6;
    int DataBits = 8;
    int Handshaking = 0;
    int Parity = 0;
    int StopBits = 0;
    bool DTROnOpen = false;

    // ---- handlers
    void FormShow(QObject* Sender);
    void OKBtnClick(QObject* Sender);
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void ComboBox1Change(QObject* Sender);
    void NeedIdClick(QObject* Sender);
    void NeedCommentClick(QObject* Sender);
    void BitBtn1Click(QObject* Sender);
    void BitBtn2Click(QObject* Sender);
    void SpeedButton1Click(QObject* Sender);
    void NeedSTXClick(QObject* Sender);
    void NeedTimeoutClick(QObject* Sender);
    void COMOptionsClick(QObject* Sender);
    void cbDirectPrintClick(QObject* Sender);

    // What OK writes, every entry checked and converted before anything is written.
    struct Entries;

private:
    // The source types whose page edits a row of a type table of their own, found by type.
    struct TypePage;
    static const TypePage* typePage(int type);

    void createComponents();
    void createPages();
    void layoutComponents();
    void layoutPages();
    void connectHandlers();

    // One routine per source type's page: loading its type row `number` (0, or a row that is
    // gone: the page's defaults), reading its entries (false when one is refused: the reason is
    // shown and the entry has the focus), and writing its row.
    void loadFolderPage(int number);
    bool readFolderPage(Entries& e);
    static void saveFolderRow(LocalTable& fr, const Entries& e, int number);
    void loadBreezePage(int number);
    bool readBreezePage(Entries& e);
    static void saveBreezeRow(LocalTable& rc, const Entries& e, int number);
    void loadPrinterPage(int number);
    bool readPrinterPage(Entries& e);
    static void savePrinterRow(LocalTable& prn, const Entries& e, int number);
    void loadSerialPage(int number);
    bool readSerialPage(Entries& e);
    static void saveSerialRow(LocalTable& com, const Entries& e, int number);

    bool readCommonEntries(Entries& e, const QString& extension);
    void refuse(QWidget* where, const QString& message);
    static void writeSource(const Entries& e);
    bool saveSource(const Entries& e);

    // The Configuration of the type row being edited, 0 when a new row must be appended. FormShow
    // sets all four to 0 for a new source, and the one of its type for an existing source that
    // has its type row.
    int FileSourceNumber = 0;
    int BreezeSourceNumber = 0;
    int PrinterSourceNumber = 0;
    int SerialSourceNumber = 0;
    // The automatic filling of the "ID Source" field: it follows the type chosen until the user
    // changes it; and the refusal of an empty (or unwritable) one at closing.
    bool ExtensionEdited = false;
    unsigned char ExtensionDefaultType = stFolder;
    bool ExtensionMissing = false;

    QButtonGroup* m_regButtons = nullptr;
    int m_storedReg = 0;  // a stored Reg no item shows is kept as it was
    int m_sourceType = 0; // the type of an existing source, fixed once it exists
};

// Shows TConfigForm modally for EditedSourceNumber and frees it; returns its modal result (mrOk
// when the source was saved, EditedSourceNumber then holding its number).
int ExecuteConfigForm();
