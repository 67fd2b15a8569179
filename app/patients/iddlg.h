// The patient identification dialog: the user picks the patient of a document, searching the
// patients by name, and describes the document.
#pragma once

#include <platform/ui/forms.h>

#include <QStringList>

class DataSet;
class DataSetModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class TLC;

// The patients come from the practice database when it is in use (PracticeDBInUse: the kernel's
// cache IdPatients_Global, key PATIENTS_ID) and otherwise from the local table IdPatients_Local
// (key Patient_ID). The dialog works on the document CurrentNumber (0: none): OK stores the
// chosen patient and the description in the document's row, Cancel only marks the document as
// needing no more identification; both end with NeedId 0.
class TIdDlg : public TForm
{
    Q_OBJECT

public:
    explicit TIdDlg(QWidget* parent = nullptr);
    ~TIdDlg() override;

    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QGroupBox* GroupBox1; // "Patient"
    QPushButton* Add;
    QPushButton* Modify;
    QPushButton* Delete;
    QGroupBox* GroupBox2; // "Informations sur le document"
    QLabel* Label2;
    QLineEdit* Edit2; // "Date:"
    QLabel* Label3;
    QLineEdit* Edit3; // "Description:"
    QLabel* Label4;
    QPlainTextEdit* Memo1; // "Commentaire:"
    QTableView* PatGrid;
    DataSetModel* DataSource1;
    QLabel* Label1;
    QLineEdit* Edit1; // the name searched for ("Nom:")
    QPushButton* bView;
    TLC* LC1;

    // Binds the grid to the patients: DataSource1 shows `patients`, and the grid's columns are
    // the given fields, in that order, with those widths in pixels at least (wider for their
    // titles, and for the names they show).
    void BindPatients(DataSet* patients, const QStringList& fieldNames, const QList<int>& widths);

    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormActivate(QObject* Sender);
    void Edit1Change(QObject* Sender);
    void OKBtnClick(QObject* Sender);
    void CancelBtnClick(QObject* Sender);
    void AddClick(QObject* Sender);
    void ModifyClick(QObject* Sender);
    void DeleteClick(QObject* Sender);
    void bViewClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
    // The dataset the grid shows and the key of its current patient (0 when there is none).
    DataSet& patients() const;
    int currentPatientKey() const;
    void selectCurrentRow(int row);
    // Positions FILES.DB on CurrentNumber; false when the document no longer exists.
    bool seekDocument() const;
    void loadWholeRange();
    void showPatientDlg();

    class GridColumns;
    GridColumns* m_columns = nullptr;
    QList<int> m_leastWidths; // the columns' designed widths, widened to their titles
    bool m_shown = false;     // the columns have been fitted once
    void FitColumns();
};

// Creates the identification dialog for the document CurrentNumber, binds its grid to the
// patients of the mode (NOM, PRENOM, NE_LE of IdPatients_Global with the practice database, else
// Nom, Prenom, "Date de naissance" of IdPatients_Local), shows it modally and frees it. The
// caller sets CurrentNumber and IdentificationActive around it.
void ShowIdDlg();
