// The identification and patient dialogs, offscreen with a scripted dialog service: the name
// search (accented and Cyrillic prefixes among them), the choice and the description written into
// the document's row, cancel, new and modified patients, deletion, and the practice-database mode
// over a stand-in for the kernel's patient caches.
#include "localtables_fixture.h"
#include "practice_standin.h"

#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/patients/iddlg.h>
#include <app/patients/patientdlg.h>
#include <app/patients/practicepatients.h>
#include <platform/codepage.h>
#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/scoped_dialogs.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

struct LocalPatient
{
    int id;
    QString nom;
    QString prenom;
    QString birth = {}; // dd/mm/yyyy
    Variant dossier = Variant::null();
};

void addPatients(LocalTablesFixture& f, const QList<LocalPatient>& patients)
{
    for (const LocalPatient& p : patients) {
        f.tables->IdPatients_Local->appendRecord(
            {p.id, p.nom, p.prenom,
             p.birth.isEmpty() ? Variant::null() : Variant::fromDateTime(StrToDate(p.birth)),
             p.dossier});
    }
}

// A document waiting for identification.
int addDocument(LocalTablesFixture& f)
{
    if (!f.tables->cfg->findKey({1}))
        f.addSource(1, 1, true, false, 0, "PDF");
    return AddImportedFile(CurrentPack, QStringLiteral("scan.pdf"), 1, 0, "PDF");
}

// The first column of every row the grid shows, and that of its current row.
QStringList gridNames(const TIdDlg& dlg)
{
    QStringList out;
    const QAbstractItemModel* m = dlg.PatGrid->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->data(m->index(r, 0)).toString();
    return out;
}

QString currentName(const TIdDlg& dlg)
{
    const QModelIndex at = dlg.PatGrid->selectionModel()->currentIndex();
    return at.isValid() ? dlg.PatGrid->model()->data(at.siblingAtColumn(0)).toString() : QString();
}

template <class Form> int pressOk(Form& dlg)
{
    dlg.OKBtn->click();
    return dlg.ModalResult();
}

// Answers the next modal form of class Form, shown first as the Qt service would show it so that
// its show and activation handlers run.
template <class Form> void answer(ScriptedDialogs& dialogs, const std::function<int(Form&)>& answer)
{
    dialogs.answerModal(Form::staticMetaObject.className(), [answer](TForm& form) {
        form.show();
        form.activateWindow();
        QApplication::processEvents();
        return answer(static_cast<Form&>(form));
    });
}

QString documentRow(const LocalTablesFixture& f, int number)
{
    return f.cli(QStringLiteral("SELECT NeedId, ifnull(Patient, 'NULL'), ifnull(TComment1, "
                                "'NULL'), ifnull(TComment2, 'NULL'), ifnull(replace(Comment, "
                                "char(13), '<CR>'), 'NULL') FROM \"FILES.DB\" WHERE Number = %1;")
                     .arg(number));
}

// The dialog opened as the polling loop and the main window open it.
void identify(int number)
{
    CurrentNumber = number;
    IdentificationActive = true;
    ShowIdDlg();
    IdentificationActive = false;
}

// What the grid lists for each text typed in the search box.
QMap<QString, QStringList> searched(const QStringList& texts)
{
    ScopedScriptedDialogs dialogs;
    QMap<QString, QStringList> found;
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        for (const QString& text : texts) {
            dlg.Edit1->setText(text);
            found[text] = gridNames(dlg);
        }
        return int(mrCancel);
    });
    identify(0);
    return found;
}

const QList<LocalPatient> FrenchNames{
    {1, "DUPONT", "Jean", "12/03/1950", 123},
    {2, "DU", "Marc"},
    {3, "DUBOIS", "Anne", "01/01/1961", 77},
    {4, "DÜRER", "Albrecht"},
    {5, "Dußmann", "Karl"},
    {6, "DAVID", "Paul"},
    {7, "MARTIN", "Luc"},
    {8, "ÉTIENNE", "Louise"},
    {9, "EVRARD", "Marie"},
    {10, "LEROY", "Éric"},
};

} // namespace

TEST(IdentificationDialog, NameSearchIsAPrefixMatchInTheNameOrderForLatinAndCyrillicNames)
{
    {
        LocalTablesFixture f;
        addPatients(f, FrenchNames);
        const auto found = searched({"DU", "du", "É", "Ét", "D", "X", ""});
        const QStringList du{"DU", "DUBOIS", "DUPONT", "DÜRER", "Dußmann"};
        EXPECT_EQ(found["DU"], du);
        EXPECT_EQ(found["du"], du);
        EXPECT_EQ(found["É"], QStringList({"ÉTIENNE", "EVRARD"}));
        EXPECT_EQ(found["Ét"], QStringList({"ÉTIENNE"}));
        EXPECT_EQ(found["D"], QStringList({"DAVID"}) + du);
        EXPECT_EQ(found["X"], QStringList());
        EXPECT_EQ(found[""], QStringList({"DAVID", "DU", "DUBOIS", "DUPONT", "DÜRER", "Dußmann",
                                          "ÉTIENNE", "EVRARD", "LEROY", "MARTIN"}));
    }
    LocalTablesFixture f;
    setRegionalLanguage(2);
    codepage::setCurrent(codepage::Cp1251);
    addPatients(f, {{1, "Борисов", "Иван"},
                    {2, "БОНДАРЕНКО", "Ольга"},
                    {3, "Бабкин", "Пётр"},
                    {4, "Ёлкин", "Сергей"},
                    {5, "Ершов", "Антон"},
                    {6, "Иванов", "Илья"},
                    {7, "BORIS", "Jean"}});
    const auto found = searched({"Бо", "бо", "Б", "Ё", "Ел", "Bo"});
    EXPECT_EQ(found["Бо"], QStringList({"БОНДАРЕНКО", "Борисов"}));
    EXPECT_EQ(found["бо"], found["Бо"]);
    EXPECT_EQ(found["Б"], QStringList({"Бабкин", "БОНДАРЕНКО", "Борисов"}));
    EXPECT_EQ(found["Ё"], QStringList({"Ёлкин", "Ершов"}));
    EXPECT_EQ(found["Ел"], QStringList({"Ёлкин"}));
    EXPECT_EQ(found["Bo"], QStringList({"BORIS"}));
}

TEST(IdentificationDialog, ChoiceAndDescriptionGoIntoTheDocumentRowAndCancelOnlyEndsTheQuestion)
{
    LocalTablesFixture f;
    addPatients(f, FrenchNames);
    const int untouched = addDocument(f);
    const int first = addDocument(f);
    ScopedScriptedDialogs dialogs;

    QStringList shown;
    QStringList tabOrder;
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        for (int i = 0; i < 11; ++i) {
            tabOrder << dlg.focusWidget()->objectName();
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QApplication::sendEvent(dlg.focusWidget(), &tab);
        }
        shown << dlg.Edit2->text() << dlg.Edit3->text() << dlg.Memo1->toPlainText();
        dlg.Edit1->setText("DUP");
        shown << currentName(dlg);
        dlg.Edit2->setText("06/12/2026");
        dlg.Edit3->setText("ECG d'effort");
        dlg.Memo1->setPlainText("ligne 1\nligne 2");
        return pressOk(dlg);
    });
    identify(first);
    // Tab follows the eye: the name, the list and its commands, the document, the buttons.
    EXPECT_EQ(tabOrder, QStringList({"Edit1", "PatGrid", "Add", "Modify", "Delete", "Edit2",
                                     "Edit3", "Memo1", "bView", "OKBtn", "CancelBtn"}));
    EXPECT_EQ(shown, QStringList({"", "", "", "DUPONT"}));
    EXPECT_EQ(documentRow(f, first), "0|1|06/12/2026|ECG d'effort|ligne 1<CR>\nligne 2");

    // Opened again, the dialog shows what was stored and the patient of the document; a double
    // click on another patient chooses that one.
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        shown = {dlg.Edit2->text(), dlg.Edit3->text(), dlg.Memo1->toPlainText(), currentName(dlg)};
        dlg.Edit1->setText("M");
        const QModelIndex martin = dlg.PatGrid->model()->index(0, 1);
        dlg.PatGrid->selectionModel()->setCurrentIndex(martin, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
        emit dlg.PatGrid->doubleClicked(martin);
        return dlg.ModalResult();
    });
    identify(first);
    EXPECT_EQ(shown, QStringList({"06/12/2026", "ECG d'effort", "ligne 1\nligne 2", "DUPONT"}));
    EXPECT_EQ(documentRow(f, first), "0|7|06/12/2026|ECG d'effort|ligne 1<CR>\nligne 2");

    // Cancel: nothing typed is kept. The stored patient no longer exists: the list starts at the
    // first name.
    LocalTable& files = *f.tables->files;
    ASSERT_TRUE(files.findKey({untouched}));
    files.edit();
    files.fieldByName("TComment1")->setAsString("avant");
    files.fieldByName("Patient")->setAsInteger(42);
    files.post();
    QString current;
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        current = currentName(dlg);
        dlg.Edit2->setText("typed, then cancelled");
        dlg.Memo1->setPlainText("lost");
        dlg.Edit1->setText("DUB");
        dlg.CancelBtn->click();
        return dlg.ModalResult();
    });
    identify(untouched);
    EXPECT_EQ(current, "DAVID");
    EXPECT_EQ(documentRow(f, untouched), "0|42|avant|NULL|NULL");
}

TEST(IdentificationDialog, AGoneOrBusyRowIsNeverOverwrittenNorLost)
{
    LocalTablesFixture f;
    addPatients(f, FrenchNames);
    const int gone = addDocument(f);
    const int other = addDocument(f);
    ScopedScriptedDialogs dialogs;

    // The document was deleted while the dialog was open: OK writes into no other row.
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        f.cli(QStringLiteral("DELETE FROM \"FILES.DB\" WHERE Number = %1;").arg(gone));
        dlg.Edit2->setText("perdu");
        return pressOk(dlg);
    });
    identify(gone);
    EXPECT_EQ(f.cli("SELECT Number, NeedId, ifnull(TComment1, 'NULL') FROM \"FILES.DB\";"),
              QString("%1|1|NULL").arg(other));

    // Another program holds the database: the error is shown and the dialog stays open with
    // what was typed, so that OK can be pressed again.
    Database holder;
    holder.setLocalFolder(DataDir);
    holder.open();
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        dlg.Edit2->setText("gardé");
        holder.startTransaction();
        holder.execute("UPDATE \"cfg.db\" SET State = 2");
        dlg.OKBtn->click();
        EXPECT_EQ(dlg.ModalResult(), mrNone);
        EXPECT_EQ(dlg.Edit2->text(), "gardé");
        holder.rollback();
        return pressOk(dlg);
    });
    dialogs.answerMessage(mrOk, "Le serveur est surchargé");
    identify(other);
    EXPECT_EQ(f.cli("SELECT NeedId, TComment1 FROM \"FILES.DB\";"), "0|gardé");
}

TEST(IdentificationDialog, NewModifiedAndDeletedPatients)
{
    LocalTablesFixture f;
    const int number = addDocument(f);
    ScopedScriptedDialogs dialogs;

    // In an empty table the first patient gets 1; its file number "12a" is not a number.
    QStringList loaded;
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        dlg.Add->click();
        loaded << currentName(dlg);
        dlg.Add->click();
        loaded << currentName(dlg);
        return pressOk(dlg);
    });
    answer<TPatientDlg>(dialogs, [&](TPatientDlg& dlg) {
        loaded << dlg.Edit1->text() << dlg.Edit2->text() << dlg.Edit3->text();
        dlg.Edit1->setText("NOUVEAU");
        dlg.Edit2->setText("Nina");
        dlg.Edit3->setText("03/04/1990");
        dlg.Edit4->setText("12a");
        return pressOk(dlg);
    });
    answer<TPatientDlg>(dialogs, [&](TPatientDlg& dlg) {
        dlg.Edit1->setText("SECOND");
        dlg.Edit4->setText("456");
        return pressOk(dlg);
    });
    identify(number);
    EXPECT_EQ(loaded, QStringList({"", "", "", "NOUVEAU", "SECOND"}));
    EXPECT_EQ(EditedPatientID, 2);
    EXPECT_EQ(f.cli("SELECT Patient_ID, Nom, ifnull(Prenom, 'NULL'), "
                    "ifnull(\"Date de naissance\", 'NULL'), ifnull(N_Dossier, 'NULL') "
                    "FROM \"Patients.db\" ORDER BY Patient_ID;"),
              "1|NOUVEAU|Nina|1990-04-03|NULL\n2|SECOND|NULL|NULL|456");
    // The patient just added is the one chosen.
    EXPECT_EQ(documentRow(f, number), "0|2|NULL|NULL|NULL");

    // Modify: the values are shown; a date that is none is refused and nothing changes; an empty
    // file number leaves the stored one. Delete asks first and disables itself on an empty list.
    addPatients(f, {{10, "DUBOIS", "Anne", "12/03/1950", 123}});
    loaded.clear();
    QList<bool> enabled;
    QString modified;
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        dlg.Edit1->setText("DUB");
        dlg.Modify->click();
        modified = f.cli("SELECT Patient_ID, Nom, Prenom, \"Date de naissance\", N_Dossier "
                         "FROM \"Patients.db\" WHERE Patient_ID = 10;");
        dlg.Edit1->setText("DUBO");
        enabled << dlg.Delete->isVisible();
        dlg.Delete->click();
        enabled << dlg.Modify->isEnabled() << dlg.Delete->isEnabled();
        dlg.Delete->click();
        enabled << dlg.Modify->isEnabled() << dlg.Delete->isEnabled();
        dlg.DeleteClick(&dlg); // nothing left to delete: no question
        return int(mrCancel);
    });
    answer<TPatientDlg>(dialogs, [&](TPatientDlg& dlg) {
        loaded << dlg.Edit1->text() << dlg.Edit2->text() << dlg.Edit3->text() << dlg.Edit4->text();
        dlg.Edit2->setText("Anne-Marie");
        dlg.Edit3->setText("31/02/1950");
        dlg.Edit4->clear();
        setUiTextLanguage(1);
        EXPECT_EQ(messageOf<EConvertError>([&] { dlg.OKBtnClick(dlg.OKBtn); }).toStdString(),
                  "\"31/02/1950\" n'est pas une valeur valable pour le champ \"Date de "
                  "naissance\"");
        setUiTextLanguage(0);
        EXPECT_EQ(dlg.ModalResult(), mrNone);
        // Another activation (after the error box) keeps what was typed.
        dlg.FormActivate(&dlg);
        EXPECT_EQ(dlg.Edit2->text(), "Anne-Marie");
        dlg.Edit3->setText("01/02/1950");
        return pressOk(dlg);
    });
    dialogs.answerMessage(mrNo, "Supprimer le patient DUBOIS ?", mtConfirmation,
                          TMsgDlgButtons(mbYes) | mbNo);
    dialogs.answerMessage(mrYes, "Supprimer le patient DUBOIS ?");
    identify(number);
    EXPECT_EQ(loaded, QStringList({"DUBOIS", "Anne", "12/03/1950", "123"}));
    EXPECT_EQ(EditedPatientID, 10);
    EXPECT_EQ(modified, "10|DUBOIS|Anne-Marie|1950-02-01|123");
    EXPECT_EQ(enabled, QList<bool>({true, true, true, false, false}));
    EXPECT_EQ(f.cli("SELECT group_concat(Patient_ID) FROM \"Patients.db\";"), "1,2");
}

TEST(IdentificationDialog, PracticeDatabaseModeListsItsPatientsAndOffersNoDelete)
{
    LocalTablesFixture f;
    const int number = addDocument(f);
    PracticeStandIn practice({{1, "DUVAL", "Paul", ""}, {2, "DURAND", "Léa", "01/02/1980"}});
    PracticeDBInUse = true;
    const auto localAgain = qScopeGuard([] { PracticeDBInUse = false; });

    ScopedScriptedDialogs dialogs;
    QStringList seen;
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        seen << (dlg.Delete->isVisible() ? "Delete shown" : "Delete hidden") << gridNames(dlg);
        for (int c = 0; c < 3; ++c)
            seen << dlg.PatGrid->model()->headerData(c, Qt::Horizontal).toString();
        return int(mrCancel);
    });
    identify(number);
    EXPECT_EQ(seen, QStringList({"Delete hidden", "DURAND", "DUVAL", "NOM", "PRENOM", "NE_LE"}));
}

// The practice database's patients through the kernel's patient cache: the name search asks for
// the range of names that begin with the text, a patient being modified is loaded by its key,
// and saving writes the row (a new one under the identifier the kernel reserves); the document
// takes the patient chosen.
TEST(IdentificationDialog, PracticeDatabaseModeSearchesLoadsAndSavesThroughTheKernelCache)
{
    LocalTablesFixture f;
    const int number = addDocument(f);
    PracticeStandIn practice({{101, "DURAND", "Léa", "01/02/1980", 12},
                              {102, "DUVAL", "Paul", "05/06/1970"},
                              {103, "MARTIN", "Luc", ""},
                              {104, "DU", "Marc", ""}});
    PracticeDBInUse = true;
    const auto localAgain = qScopeGuard([] { PracticeDBInUse = false; });
    QStringList& loads = practice.idPatients.loads;
    const DataSet& cache = practice.idPatients.data;
    const auto row = [&cache] {
        QStringList values;
        for (int i = 0; i < cache.fieldCount(); ++i)
            values << (cache.field(i)->isNull() ? "NULL" : cache.field(i)->asString());
        return values.join('|');
    };

    ScopedScriptedDialogs dialogs;
    QMap<QString, QStringList> found;
    QStringList edited;
    answer<TIdDlg>(dialogs, [&](TIdDlg& dlg) {
        found["whole"] = gridNames(dlg);
        for (const char* text : {"DU", "DUV", "X", ""}) {
            dlg.Edit1->setText(text);
            found[text] = gridNames(dlg);
        }
        dlg.Edit1->setText("DUV");
        dlg.Modify->click();
        edited << row();
        dlg.Add->click();
        edited << row();
        return pressOk(dlg);
    });
    answer<TPatientDlg>(dialogs, [&](TPatientDlg& dlg) {
        edited << dlg.Edit1->text() << dlg.Edit2->text() << dlg.Edit3->text() << dlg.Edit4->text();
        dlg.Edit2->setText("Paul-Henri");
        dlg.Edit4->setText("77");
        return pressOk(dlg);
    });
    answer<TPatientDlg>(dialogs, [&](TPatientDlg& dlg) {
        edited << dlg.Edit1->text() << dlg.Edit2->text();
        dlg.Edit1->setText("NOUVEAU");
        dlg.Edit2->setText("Nina");
        dlg.Edit3->setText("03/04/1990");
        dlg.Edit4->setText("12a");
        return pressOk(dlg);
    });
    identify(number);

    EXPECT_EQ(found["whole"], QStringList({"DU", "DURAND", "DUVAL", "MARTIN"}));
    EXPECT_EQ(found["DU"], QStringList({"DU", "DURAND", "DUVAL"}));
    EXPECT_EQ(found["DUV"], QStringList({"DUVAL"}));
    EXPECT_EQ(found["X"], QStringList());
    EXPECT_EQ(found[""], found["whole"]);
    // The whole table without bounds; a typed text bounds the name only, up to the text and four
    // times the code page's last letter.
    EXPECT_EQ(
        loads.mid(0, 6),
        QStringList({"range PATIENTS NOM;PRENOM   ", "range PATIENTS NOM;PRENOM DU DUzzzz ",
                     "range PATIENTS NOM;PRENOM DUV DUVzzzz ", "range PATIENTS NOM;PRENOM X Xzzzz ",
                     "range PATIENTS NOM;PRENOM   ", "range PATIENTS NOM;PRENOM DUV DUVzzzz "}));
    EXPECT_EQ(loads.value(6), "key PATIENTS PATIENTS_ID 102");
    EXPECT_EQ(edited,
              QStringList({"DUVAL", "Paul", "05/06/1970", "", "102|DUVAL|Paul-Henri|05/06/1970|77",
                           "", "", "500|NOUVEAU|Nina|03/04/1990|NULL"}));
    EXPECT_EQ(practice.ids, QStringList({"PATIENTS PATIENTS_ID 1"}));
    EXPECT_EQ(EditedPatientID, 500);
    // The patient just added is the one chosen.
    EXPECT_EQ(documentRow(f, number), "0|500|NULL|NULL|NULL");
}
