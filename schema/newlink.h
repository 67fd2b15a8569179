// The new link dialog of the structure editor: a master table, its key fields each paired with a
// field of the edited table (existing, or made with the master field's type), the link's Custom
// text, whether new fields are required and the delete action. OK appends the missing fields and
// one new link row to the editor's work sets.
#pragma once

#include <platform/data/memdataset.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>
#include <platform/ui/forms.h>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class TDBGrid;
class TTableStrEditDlg;

class TfNewLink : public TForm
{
    Q_OBJECT

public:
    explicit TfNewLink(QWidget* parent = nullptr);
    ~TfNewLink() override;

    // Prepares the dialog for the editor (after the editor has put its tables into fTList).
    void Init(TTableStrEditDlg& Editor);

    // ---- components
    QLabel* lTList;
    QComboBox* fTList;
    TDBGrid* G;
    QLabel* lCustom;
    QPlainTextEdit* fCustom;
    QCheckBox* fReq;
    QGroupBox* fAct;
    QList<QRadioButton*> fActItems;
    QPushButton* bOK;
    QPushButton* CancelButton;
    MemDataSet TKeys;
    SqlQuery QKey;
    SqlQuery QFields;
    LocalTable T;

    // The chosen delete action (0 None ... 4 No delete).
    int ActIndex() const;
    void SetActIndex(int index);

    // ---- handlers
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void fTListEnter(QObject* Sender);
    void fTListExit(QObject* Sender);
    void fTListClick(QObject* Sender);
    void TKeysNewRecord(DataSet& DataSet);
    void TKeysBeforeInsert(DataSet& DataSet); // also before a delete
    bool GColEnter(const QString& FieldName);
    void TKeysKEYChange(Field& Sender);
    void DSKeysDataChange(QObject* Sender);
    void bOKClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
    // The editor's field and link rows for the keys (steps of OK).
    void markExistingFields();
    void addFieldRows(QStringList& references);
    void copyMasterType(const QString& keyField);
    void addLinkRow(const QStringList& references, const QStringList& keys);

    TTableStrEditDlg* m_editor = nullptr;
    quint8 m_serverKind = 0;
    // The master table last entered or chosen, its key fields, and whether the keys are being
    // filled in.
    QString m_lastMaster;
    QStringList m_keyFields;
    bool m_filling = false;
};
