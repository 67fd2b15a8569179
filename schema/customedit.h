// The custom data editor: the labels of a table, its fields and its links in the three
// languages, the table's statistics flag and the lookup values of small code fields, read from
// and written back into the Custom texts of three sources: the structure editor's work sets, or
// (table-list mode) the rows of a table's description read through the kernel access component
// and saved to the metadata tables.
#pragma once

#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <platform/ui/forms.h>

#include <QPointer>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class TDBGrid;
class TDBAccess;
class TLC;
class TTableStrEditDlg;

// Lifecycle: created -> sources set and loaded (SetSources, or LoadTable in table-list mode) ->
// shown modally -> OK writes the changed texts back (table-list mode: saves them) -> freed.
class TfCustomEdit : public TForm
{
    Q_OBJECT

public:
    explicit TfCustomEdit(QWidget* parent = nullptr);
    ~TfCustomEdit() override;

    // Takes the structure editor's table, field and link rows as sources and loads them.
    void SetSources(TTableStrEditDlg& Editor);
    void LoadFromSources();
    // Table-list mode: reads the table's description through DBAccess into the form's own
    // sources and loads them; nothing when that table is loaded already.
    void LoadTable(const QString& TableName);
    // Table-list mode: writes the changed rows into METATABLE, METAFIELD and TABLELINK and has
    // the access component read the table's description again.
    void SaveToDatabase();

    // ---- components
    QFrame* pTableList;
    QComboBox* fTableList;
    QCheckBox* cbStatHidden;
    TDBGrid* GTable;
    QFrame* pLink;
    QLabel* pLinkH;
    TDBGrid* GLink;
    QLabel* pFieldsH;
    QLabel* DBText1;
    QCheckBox* cbLook;
    TDBGrid* GFields;
    QFrame* pLook;
    QLabel* pLookH;
    TDBGrid* GLook;
    QPushButton* bOK;
    QPushButton* CancelButton;
    TLC* LC1;
    // The work sets.
    MemDataSet CDSTable, CDSFields, CDSLink, CDSLook;
    // Table-list mode's own sources.
    MemDataSet TTable, TFields, TLink;
    SqlQuery QUpdate;

    // The kernel access component of table-list mode.
    QPointer<TDBAccess> DBAccess;

    // ---- handlers
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void FormResize(QObject* Sender);
    void CDSFieldsBeforeScroll(DataSet& DataSet);
    void CDSFieldsAfterScroll(DataSet& DataSet);
    void cbLookClick(QObject* Sender);
    void DSLookDataChange(QObject* Sender);
    void CDSLookNewRecord(DataSet& DataSet);
    void CDSLookBeforePost(DataSet& DataSet);
    // Refuses a user's insert or delete of a row (not while loading).
    void SkipUpdate(DataSet& DataSet);
    // Table-list mode: a row of the form's own sources changed.
    void TTableBeforePost(DataSet& DataSet);
    // Writes the grids back into the sources; with a sender the form then closes with OK.
    void bOKClick(QObject* Sender);
    void fTableListClick(QObject* Sender);

private:
    void createComponents();
    void createWorkSets();
    void layoutComponents();
    void connectHandlers();
    void buildColumns();
    void shareLanguageColumns(TDBGrid* grid);

    // The lookup rows of a field: keys and values (the value stored for a key kept while its
    // row still reads the same).
    void lookupRowsOf(const QString& fieldName, const QStringList& storedKeys,
                      const QStringList& storedValues, QStringList& keys, QStringList& values);
    // Rewrites the current row's CUSTOM of a source when the lines changed.
    void writeCustom(DataSet& source, const QStringList& lines);

    DataSet* m_tableSource = nullptr;
    DataSet* m_fieldsSource = nullptr;
    DataSet* m_linksSource = nullptr;
    bool m_loading = false;
    QStringList m_custom; // the Custom list being edited
};

// Opens the custom data editor on the structure editor's rows: true when closed with OK.
bool ShowCustomEditor(TTableStrEditDlg& Editor);
