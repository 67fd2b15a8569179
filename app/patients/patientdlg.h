// The patient dialog: creates a patient or edits the one chosen in the identification dialog.
#pragma once

#include <platform/ui/forms.h>

#include <QtGlobal>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TLC;

// Works on the patients of the identification dialog: the practice database's IdPatients_Global
// (PATIENTS: NOM, PRENOM, NE_LE, N_OMON) when it is in use, else the local IdPatients_Local
// (Nom, Prenom, "Date de naissance", N_Dossier). OK writes the four edits into the patient's row
// (a new row for a new patient) and leaves the dataset's cursor on it. A file number that is not
// a whole number, or none, leaves the stored number as it was. A date of birth the field cannot
// take (not a date, where the table keeps dates) is refused with an EConvertError in the
// program's language naming the field and the value, and the dialog stays open.
class TPatientDlg : public TForm
{
    Q_OBJECT

public:
    explicit TPatientDlg(QWidget* parent = nullptr);

    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QGroupBox* GroupBox1; // "Patient"
    QLabel* Label1;
    QLineEdit* Edit1; // "Nom :"
    QLabel* Label2;
    QLineEdit* Edit2; // "Prénom :"
    QLabel* Label3;
    QLineEdit* Edit3; // "Date de naissance :"
    QLabel* Label4;
    QLineEdit* Edit4; // "Numéro du dossier :"
    TLC* LC1;

    // Loads the patient's values the first time the dialog becomes active (later activations,
    // after a message box for instance, keep what the user typed).
    void FormActivate(QObject* Sender);
    void OKBtnClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
    void saveLocal();
    void savePractice();

    bool m_loaded = false;
};
