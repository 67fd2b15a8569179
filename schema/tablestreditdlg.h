// The structure editor: one table's name, Custom text, fields, indexes, links and trigger texts
// in seven pages, over the work sets of the structure engine it owns. The dialog is the engine's
// view; every rule about rows and marks is the engine's, and the dialog's handlers call it.
#pragma once

#include <schema/tablestrengine.h>

#include <platform/ui/forms.h>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolBar;
class QToolButton;
class TDBGrid;

// Lifecycle: created -> LoadStructure (the engine reads the table and sets the action) -> shown
// modally -> OK (the edited structure is assigned to the structure that was loaded; nothing is
// applied to the database) or Cancel (nothing is written) -> freed by its opener.
class TTableStrEditDlg : public TForm, public TTableStrView
{
    Q_OBJECT

public:
    explicit TTableStrEditDlg(QWidget* parent = nullptr);
    ~TTableStrEditDlg() override;

    // Loads the structure into the engine and the pages (see TTableStrEngine::LoadStructure).
    void LoadStructure(TTableStruct& Struct);

    TTableStrEngine Engine;

    // ---- components
    QPushButton* bOK;
    QPushButton* CancelButton;
    QFrame* pReadOnly;
    QLabel* imMTF;
    QLabel* lReadOnly;
    QTabWidget* PC;
    QWidget* pgTable;
    QWidget* pgFields;
    QWidget* pgInd;
    QWidget* pgLink;
    QWidget* pgInsTrig;
    QWidget* pgUpdTrig;
    QWidget* pgDelTrig;
    // page Table
    QLabel* lTName;
    QComboBox* fTName;
    QLabel* lNewName;
    QLineEdit* fNewName;
    QGroupBox* fAction;
    QRadioButton* fActionCreate;
    QRadioButton* fActionAlter;
    QLabel* lCustom;
    QPlainTextEdit* fCustom;
    QCheckBox* cbRepl;
    QPushButton* bGetTable;
    QMenu* mTables;
    // page Fields
    QToolBar* tbFields;
    QToolButton* tbNewFld;
    QToolButton* tbDelFld;
    QToolButton* tbRevFld;
    QToolButton* tbUp;
    QToolButton* tbDown;
    QToolButton* tbRestFld;
    QToolButton* tbCustom;
    TDBGrid* gFields;
    QLabel* pFldCustom;
    QPlainTextEdit* mFldCustom;
    // page Indexes
    QToolBar* tbInd;
    QToolButton* tbNewInd;
    QToolButton* tbDelInd;
    QToolButton* tbRevInd;
    QToolButton* tbRestInd;
    TDBGrid* gInd;
    QLabel* lIndList;
    QListWidget* IndList;
    QLabel* lSrcList;
    QListWidget* SrcList;
    QToolButton* bIn;
    QToolButton* bOut;
    QToolButton* bUp;
    QToolButton* bDown;
    // page Links
    QToolBar* tbLink;
    QToolButton* tbNewLink;
    QToolButton* tbDelLink;
    QToolButton* tbRevLink;
    QToolButton* tbRestLink;
    TDBGrid* gLink;
    QLabel* pLinkCustom;
    QPlainTextEdit* mLinkCustom;
    // the trigger pages: "Variables" above "Script"
    QLabel* lInsHead;
    QPlainTextEdit* mInsHead;
    QLabel* lInsBody;
    QPlainTextEdit* mInsBody;
    QLabel* lUpdHead;
    QPlainTextEdit* mUpdHead;
    QLabel* lUpdBody;
    QPlainTextEdit* mUpdBody;
    QLabel* lDelHead;
    QPlainTextEdit* mDelHead;
    QLabel* lDelBody;
    QPlainTextEdit* mDelBody;

    // ---- handlers of the form and page Table
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormClose(QObject* Sender, TCloseAction& Action);
    void FormDestroy(QObject* Sender);
    // Before leaving a page; `AllowChange` false keeps it.
    void PCChanging(QObject* Sender, bool& AllowChange);
    void PCChange(QObject* Sender);
    void fTNameChange(QObject* Sender);
    void fTNameDropDown(QObject* Sender);
    void fTNameExit(QObject* Sender);
    void fActionEnter(QObject* Sender);
    void fActionClick(QObject* Sender);
    void bGetTableClick(QObject* Sender);
    void mCopyTableClick(QAction* Sender);
    void bOKClick(QObject* Sender);
    // ---- page Fields
    void tbNewFldClick(QObject* Sender);
    void gFieldsKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void tbDelFldClick(QObject* Sender);
    void tbRevFldClick(QObject* Sender);
    void tbRestFldClick(QObject* Sender);
    void tbUpClick(QObject* Sender);
    void tbCustomClick(QObject* Sender);
    void DSFieldsDataChange(QObject* Sender);
    bool gFieldsColEnter(const QString& FieldName);
    void gFieldsCellClick(const QString& FieldName);
    QIcon gFieldsDrawColumnCell(const DataSet& Record, const QString& FieldName) const;
    // ---- page Indexes
    void tbNewIndClick(QObject* Sender);
    void tbDelIndClick(QObject* Sender);
    void tbRevIndClick(QObject* Sender);
    void tbRestIndClick(QObject* Sender);
    void DSIndDataChange(QObject* Sender);
    bool gIndColEnter(const QString& FieldName);
    void gIndCellClick(const QString& FieldName);
    void gIndKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    QIcon gIndDrawColumnCell(const DataSet& Record, const QString& FieldName) const;
    // The member lists of the current index row.
    void RefillMemberLists();
    void IndListClick(QObject* Sender);
    void bInClick(QObject* Sender);
    void bOutClick(QObject* Sender);
    void bUpClick(QObject* Sender); // also bDown
    void IndListDragOver(QObject* Sender, bool& Accept);
    // A member dropped onto the member at `TargetRow` (-1: below the last) takes its place.
    void IndListDragDrop(QObject* Sender, int TargetRow);
    // ---- page Links
    void tbNewLinkClick(QObject* Sender);
    void tbDelLinkClick(QObject* Sender);
    void tbRevLinkClick(QObject* Sender);
    void tbRestLinkClick(QObject* Sender);
    void DSLinkDataChange(QObject* Sender);
    bool gLinkColEnter(const QString& FieldName);
    QIcon gLinkDrawColumnCell(const DataSet& Record, const QString& FieldName) const;

    // ---- the engine's view
    bool FormVisible() const override;
    void ShowPage(TStrPage page) override;
    void FocusControl(const QString& control, const QString& field) override;
    void ErrorBox(const QString& message) override;
    void ShowTriggerPages(bool visible) override;

private:
    void createComponents();
    void createTablePage();
    void createFieldsPage();
    void createIndexesPage();
    void createLinksPage();
    QWidget* createTriggerPage(const char* page, const char* prefix, QLabel*& headLabel,
                               QPlainTextEdit*& head, QLabel*& bodyLabel, QPlainTextEdit*& body);
    void layoutComponents();
    void connectHandlers();
    void connectTablePage();
    void connectGrids();
    void connectIndexMembers();

    QToolButton* toolButton(const char* name, int image, const QString& hint, QWidget* bar);
    // The caption: "New table" or "Alter table", and the table's name when the box holds one.
    void applyCaption();
    // What the chosen action changes on page Table.
    void applyActionLook();
    // The name box's text into the table row, as leaving the box would write it.
    void flushTableName();
    // The UA picture of a marked row; `links` adds the picture of a field made with a link.
    QIcon markImage(const DataSet& Record, bool links) const;
    QStringList members() const;
    void storeMembers(const QStringList& members, int selectedMember, int selectedSource,
                      bool updating);

    int m_page = 0;
    bool m_settingPage = false;
    bool m_storingMembers = false;
};
