// The patient dialog TPatientDlg: the four values of a patient loaded from, and written to, the
// patients of the identification dialog in either mode.
#include "patientdlg.h"

#include "practicepatients.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/translatableforms.h>
#include <platform/data/dataset.h>
#include <platform/db/localtable.h>
#include <platform/exception.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/uitexts.h>
#include <translation/lc.h>

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString PatientsTable = QStringLiteral("PATIENTS");
const QString PatientsKey = QStringLiteral("PATIENTS_ID");

Field* field(const DataSet& dataSet, const char* name)
{
    return dataSet.fieldByName(QLatin1String(name));
}

QString numberText(const Field* f)
{
    return f->isNull() ? QString() : QString::number(f->asInteger());
}

void limitToField(QLineEdit* edit, const DataSet& dataSet, const char* name)
{
    if (const Field* f = dataSet.findField(QLatin1String(name)); f && f->size() > 0)
        edit->setMaxLength(f->size());
}

// Runs `convert` on a value the user typed in `edit`; a value it cannot convert is refused in
// the program's language, naming the field as its label shows it and the value.
template <class Convert>
auto typedValue(const QLabel* label, const QLineEdit* edit, Convert convert)
{
    try {
        return convert();
    } catch (const EConvertError&) {
        QString caption = label->text().remove(QLatin1Char('&')).trimmed();
        if (caption.endsWith(QLatin1Char(':')))
            caption = caption.chopped(1).trimmed();
        throw EConvertError(uiText(UiText::ValueNotValid).arg(caption, edit->text()));
    }
}

} // namespace

QUORVANE_TRANSLATABLE_FORM(TPatientDlg);

TPatientDlg::TPatientDlg(QWidget* parent) : TForm(parent)
{
    OnActivate = [this](QObject* sender) { FormActivate(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TPatientDlg::createComponents()
{
    setCaption(QStringLiteral("Patient"));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Annuler"));
    GroupBox1 = makeComponent<QGroupBox>("GroupBox1", "TGroupBox");
    GroupBox1->setTitle(QStringLiteral("Patient"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel", GroupBox1);
    Label1->setText(QStringLiteral("Nom :"));
    Edit1 = makeComponent<QLineEdit>("Edit1", "TEdit", GroupBox1);
    Label2 = makeComponent<QLabel>("Label2", "TLabel", GroupBox1);
    Label2->setText(QStringLiteral("Prénom :"));
    Edit2 = makeComponent<QLineEdit>("Edit2", "TEdit", GroupBox1);
    Label3 = makeComponent<QLabel>("Label3", "TLabel", GroupBox1);
    Label3->setText(QStringLiteral("Date de naissance :"));
    Edit3 = makeComponent<QLineEdit>("Edit3", "TEdit", GroupBox1);
    Label4 = makeComponent<QLabel>("Label4", "TLabel", GroupBox1);
    Label4->setText(QStringLiteral("Numéro du dossier :"));
    Edit4 = makeComponent<QLineEdit>("Edit4", "TEdit", GroupBox1);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TPatientDlg::layoutComponents()
{
    // Wide enough for a full name and a date, and wider with the dialog.
    const int wide = fontMetrics().averageCharWidth() * 24;
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4})
        edit->setMinimumWidth(wide);
    auto* fields = new QFormLayout(GroupBox1);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    fields->addRow(Label1, Edit1);
    fields->addRow(Label2, Edit2);
    fields->addRow(Label3, Edit3);
    fields->addRow(Label4, Edit4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addWidget(GroupBox1, 1);
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(238, 197);
}

void TPatientDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

void TPatientDlg::FormActivate(QObject*)
{
    if (m_loaded)
        return;
    m_loaded = true;
    if (PracticeDBInUse) {
        if (EditedPatientID != 0) {
            PatientCache& cache = PracticePatientsInUse().IdPatients_Global();
            cache.LoadKey(PatientsTable, PatientsKey, EditedPatientID);
            const DataSet& patient = cache.dataSet();
            if (!patient.isEmpty()) {
                Edit1->setText(field(patient, "NOM")->asString());
                Edit2->setText(field(patient, "PRENOM")->asString());
                Edit3->setText(field(patient, "NE_LE")->asString());
                Edit4->setText(numberText(field(patient, "N_OMON")));
            }
        }
    } else {
        LocalTable& list = *DataTables->IdPatients_Local;
        limitToField(Edit1, list, "Nom");
        limitToField(Edit2, list, "Prenom");
        if (EditedPatientID != 0) {
            list.setIndexName(QString());
            if (list.findKey({EditedPatientID})) {
                Edit1->setText(field(list, "Nom")->asString());
                Edit2->setText(field(list, "Prenom")->asString());
                Edit3->setText(field(list, "Date de naissance")->asString());
                Edit4->setText(numberText(field(list, "N_Dossier")));
            }
        }
    }
    if (EditedPatientID == 0) {
        Edit1->clear();
        Edit2->clear();
        Edit3->clear();
    }
    Edit1->setFocus();
}

void TPatientDlg::OKBtnClick(QObject*)
{
    if (PracticeDBInUse)
        savePractice();
    else
        saveLocal();
    setModalResult(mrOk);
}

void TPatientDlg::savePractice()
{
    PracticePatients& practice = PracticePatientsInUse();
    DataSet& patient = practice.IdPatients_Global().dataSet();
    // A date of birth the field cannot take is refused before an identifier is reserved.
    if (const QString birth = Edit3->text(); !birth.isEmpty())
        typedValue(Label3, Edit3, [&] { return field(patient, "NE_LE")->convert(Variant(birth)); });
    int number = 0;
    const bool hasNumber = TryStrToInt(Edit4->text(), number);
    int id = EditedPatientID;
    if (id != 0) {
        if (patient.isEmpty() || field(patient, "PATIENTS_ID")->asInteger() != id)
            throw Exception(QStringLiteral("The patient %1 is no longer in the list").arg(id));
        patient.edit();
    } else {
        id = practice.GetID(PatientsTable, PatientsKey, 1);
        patient.append();
    }
    WriteOrCancel(patient, [&] {
        if (EditedPatientID == 0)
            field(patient, "PATIENTS_ID")->setAsInteger(id);
        field(patient, "NOM")->setAsString(Edit1->text());
        field(patient, "PRENOM")->setAsString(Edit2->text());
        typedValue(Label3, Edit3, [&] { field(patient, "NE_LE")->setAsString(Edit3->text()); });
        if (hasNumber)
            field(patient, "N_OMON")->setAsInteger(number);
        patient.post();
    });
    EditedPatientID = id;
}

void TPatientDlg::saveLocal()
{
    LocalTable& list = *DataTables->IdPatients_Local;
    // The local table keeps a date: a text that is none is refused before anything changes.
    const QString birthText = Edit3->text().trimmed();
    const Variant birth = birthText.isEmpty() ? Variant::null() : typedValue(Label3, Edit3, [&] {
        return Variant::fromDateTime(StrToDate(birthText));
    });
    int number = 0;
    const bool hasNumber = TryStrToInt(Edit4->text(), number);

    TableAction(list, 2);
    list.setIndexName(QString());
    int key = EditedPatientID;
    if (key != 0) {
        if (!list.findKey({key}))
            throw Exception(QStringLiteral("The patient %1 no longer exists").arg(key));
        list.edit();
    } else {
        key = 1;
        if (!list.isEmpty()) {
            list.last();
            key = int(field(list, "Patient_ID")->asInteger()) + 1;
        }
        list.append();
    }
    WriteOrCancel(list, [&] {
        if (EditedPatientID == 0)
            field(list, "Patient_ID")->setAsInteger(key);
        field(list, "Nom")->setAsString(Edit1->text());
        field(list, "Prenom")->setAsString(Edit2->text());
        field(list, "Date de naissance")->setValue(birth);
        if (hasNumber)
            field(list, "N_Dossier")->setAsInteger(number);
        list.post();
    });
    EditedPatientID = key;
}
