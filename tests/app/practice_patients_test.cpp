// The practice database's patients through the kernel's real caches, on the practice database file
// written by hand (tests/data/practice): the connection without login, the identification dialog's
// name search offscreen, a new patient under the identifier the kernel reserves, and the names in
// the documents list and in the descriptors of direct send.
#include "mainwindow_fixture.h"
#include "practice_fixture.h"

#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/mainwindow/mainmodules.h>
#include <app/patients/dbmain.h>
#include <app/patients/directsend.h>
#include <app/patients/iddlg.h>
#include <app/patients/patientdlg.h>
#include <app/patients/practicedb.h>
#include <app/patients/practicepatients.h>
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <platform/exception.h>
#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/scoped_dialogs.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// A workstation connected to the practice database file, its patients in use.
struct ConnectedPractice : PracticeWorkstation
{
    // The code page is the program's from before the connection on, as at start-up.
    explicit ConnectedPractice(codepage::CodePage cp = codepage::Cp1252, const QString& more = {})
        : codePage(cp)
    {
        practice.writeVersionFile();
        practice.createDatabase(more);
        connected = ConnectDatabase();
        PracticeDBInUse = connected;
    }
    CodePageScope codePage;
    bool connected = false;
};

// Every row the grid shows, its columns joined with "|".
QStringList gridRows(const TIdDlg& dlg, int columns = 1)
{
    QStringList out;
    const QAbstractItemModel* m = dlg.PatGrid->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row << m->data(m->index(r, c)).toString();
        out << row.join('|');
    }
    return out;
}

// Opens the identification dialog for no document and notes, for each text typed, the names
// listed ("" first: what the dialog lists when it opens).
QMap<QString, QStringList> searched(const QStringList& texts)
{
    ScopedScriptedDialogs dialogs;
    QMap<QString, QStringList> found;
    dialogs.answerModal("TIdDlg", [&](TForm& form) {
        auto& dlg = static_cast<TIdDlg&>(form);
        form.show();
        QApplication::processEvents();
        found["opened"] = gridRows(dlg);
        for (const QString& text : texts) {
            dlg.Edit1->setText(text);
            found[text] = gridRows(dlg);
        }
        return int(mrCancel);
    });
    CurrentNumber = 0;
    ShowIdDlg();
    return found;
}

std::string joined(const QStringList& list)
{
    return list.join(", ").toStdString();
}

const QStringList Everyone{"ANDRÉ",   "BERNARD", "BERTRAND", "DAVID",   "DU",       "DUBOIS",
                           "DUPONT",  "DURAND",  "EDUARD",   "ÉTIENNE", "FOURNIER", "GARCIA",
                           "GIRARD",  "LAURENT", "LEFEBVRE", "LEGRAND", "LEROY",    "MARTIN",
                           "MERCIER", "MICHEL",  "MOREAU",   "MOREL",   "PETIT",    "RICHARD",
                           "ROBERT",  "ROUX",    "SIMON",    "THOMAS",  "VINCENT",  "ДУБОВ"};

} // namespace

TEST(PracticePatients, TheDatabaseFileConnectsWithoutLoginAndServesItsPatients)
{
    ScopedScriptedDialogs dialogs; // nothing is asked
    ConnectedPractice w;
    ASSERT_TRUE(w.connected) << w.ws.operationsLog().toStdString();
    TDBAccess& access = *Server->DBAccess1;
    EXPECT_EQ(access.ServerKind(), ServerKind::Standard);
    EXPECT_EQ(access.ModuleVersions(), QStringList({"DBKERNEL=7", "DATABASE=207"}));
    EXPECT_TRUE(access.FindTableProps("PATIENTS") && access.FindTableProps("MEDECINS"));
    EXPECT_EQ(access.Language(), krnLangUnknown); // CurrentLanguage is 0 in the tests
    EXPECT_EQ(w.tables->AM_DB, Server->Database1);
    EXPECT_EQ(w.tables->DBAccess, &access);
    EXPECT_EQ(w.tables->DBRequestCommon->DBAccess(), &access);
    EXPECT_EQ(w.tables->QTables->database(), Server->Database1);
    EXPECT_EQ(PracticePatientName(1).toStdString(), "DUPONT JEAN");
    EXPECT_EQ(PracticePatientName(8).toStdString(), "LEGRAND ");
    EXPECT_EQ(PracticePatientName(99).toStdString(), "");
    // Opened, never created: nothing was written beside it but its own journal's absence.
    EXPECT_EQ(w.practice.cli("select count(*) from PATIENTS;").toStdString(), "30");
}

TEST(PracticePatients, NoDatabaseFileOrAWrongVersionTextIsNoConnection)
{
    {
        ScopedScriptedDialogs dialogs;
        PracticeWorkstation w;
        w.practice.writeVersionFile({"DBType=0"});
        EXPECT_FALSE(ConnectDatabase());
        EXPECT_FALSE(QFileInfo::exists(w.practice.databaseFile()));
        EXPECT_TRUE(w.ws.operationsLog().contains("tressoly.sqlite is not in"));
    }
    ScopedScriptedDialogs dialogs;
    PracticeWorkstation w;
    w.practice.writeVersionFile({}, "2.0.7");
    w.practice.createDatabase();
    EXPECT_FALSE(ConnectDatabase());
    EXPECT_TRUE(w.ws.operationsLog().contains(
        "Practice database not connected: '2.0.7' is not a valid version number"))
        << w.ws.operationsLog().toStdString();
    EXPECT_FALSE(Server->Database1->isConnected());
}

// The search of the identification dialog: everyone when it opens and when the text is emptied,
// the patient without first name and the Cyrillic name included; a typed text is a prefix of the
// name, whatever the case and accents on this database.
TEST(PracticePatients, NameSearchOnTheKernelCache)
{
    ConnectedPractice w;
    ASSERT_TRUE(w.connected);
    auto found = searched({"DU", "du", "É", "DUP", "X", ""});
    EXPECT_EQ(joined(found["opened"]), joined(Everyone));
    EXPECT_EQ(joined(found["DU"]), "DU, DUBOIS, DUPONT, DURAND");
    EXPECT_EQ(found["du"], found["DU"]);
    EXPECT_EQ(joined(found["É"]), "EDUARD, ÉTIENNE");
    EXPECT_EQ(joined(found["DUP"]), "DUPONT");
    EXPECT_EQ(joined(found["X"]), "");
    EXPECT_EQ(joined(found[""]), joined(Everyone));

    // The grid's three columns are found by name after every load; a date shows as the date.
    ScopedScriptedDialogs dialogs;
    QStringList seen;
    dialogs.answerModal("TIdDlg", [&](TForm& form) {
        auto& dlg = static_cast<TIdDlg&>(form);
        form.show();
        QApplication::processEvents();
        for (const char* text : {"DUP", "LEG", "ДУБ"}) {
            dlg.Edit1->setText(text);
            seen << gridRows(dlg, 3);
        }
        for (int c = 0; c < 3; ++c)
            seen << dlg.PatGrid->model()->headerData(c, Qt::Horizontal).toString();
        return int(mrCancel);
    });
    CurrentNumber = 0;
    ShowIdDlg();
    EXPECT_EQ(joined(seen), "DUPONT|JEAN|12/03/1950, LEGRAND||09/09/1966, NOM, PRENOM, NE_LE");
}

// In Russian the practice database file lists the Cyrillic names first, and finds Latin names as
// well as Cyrillic ones.
TEST(PracticePatients, NameSearchInRussian)
{
    ConnectedPractice w(codepage::Cp1251);
    ASSERT_TRUE(w.connected);
    const auto found = searched({"Д", "ДУ", "ду", "B", "Б"});
    EXPECT_EQ(found["opened"].value(0).toStdString(), "ДУБОВ");
    EXPECT_EQ(found["opened"].size(), Everyone.size());
    EXPECT_EQ(joined(found["Д"]), "ДУБОВ");
    EXPECT_EQ(joined(found["ДУ"]), "ДУБОВ");
    EXPECT_EQ(joined(found["ду"]), "ДУБОВ");
    EXPECT_EQ(joined(found["B"]), "BERNARD, BERTRAND");
    EXPECT_EQ(joined(found["Б"]), "");
}

// The search on a server, as the statements sent show it: the whole table in name order when
// the dialog opens and when the text is emptied, and a typed text bounding the name only, up to
// the text followed by four times the code page's last letter (the server's collation decides
// what lies between). MS SQL Server takes 500 rows at most from its statement; the kernel stops
// Oracle's rows at 500 itself.
TEST(PracticePatients, SearchStatementsOnServers)
{
    for (const char* driver : {"MSSQL", "ORACLE"}) {
        for (const auto cp : {codepage::Cp1252, codepage::Cp1251}) {
            SCOPED_TRACE(std::string(driver) + " " + std::to_string(int(cp)));
            ServerPractice w(driver);
            CodePageScope codePage(cp);
            const bool mssql = QString(driver) == "MSSQL";
            // Oracle's own table of one row.
            w.practice.createDatabase(
                mssql ? ""
                      : "create table DUAL (DUMMY varchar(1)); insert into DUAL values ('X');");
            const QString select =
                mssql ? "select TOP 500 * from PATIENTS " : "select  * from PATIENTS ";
            const QString whole = select + "\norder by NOM,PRENOM";
            const QString bounded = select + "\nwhere  NOM >= ? and NOM <= ? \norder by NOM,PRENOM";
            // SQLite knows no TOP: it runs the same without.
            for (const QString& statement : {whole, bounded})
                w.recorder->standIns[statement] = QString(statement).remove("TOP 500 ");
            WriteUserPassword("PRAXIS", "SRV", "DUPONT", "secret");
            {
                ScopedScriptedDialogs nothingAsked;
                ASSERT_TRUE(ConnectDatabase())
                    << w.recorder->statements.join("\n---\n").toStdString();
            }
            PracticeDBInUse = true;
            EXPECT_EQ(Server->DBAccess1->ServerKind(),
                      mssql ? ServerKind::MSSQL : ServerKind::Oracle);

            const QString typed = cp == codepage::Cp1251 ? "Д" : "DU";
            QStringList seen;
            ScopedScriptedDialogs dialogs;
            dialogs.answerModal("TIdDlg", [&](TForm& form) {
                auto& dlg = static_cast<TIdDlg&>(form);
                form.show();
                QApplication::processEvents();
                const auto note = [&] {
                    SqlQuery& q = w.tables->DBRequestCommon->Query();
                    QString bounds;
                    for (const char* name : {"L0", "H0", "L1", "H1"}) {
                        if (const Param* p = q.params().findParam(name))
                            bounds += QString(" %1=%2").arg(name, p->asString());
                    }
                    QStringList patients;
                    for (const QString& statement : std::as_const(w.recorder->statements)) {
                        if (statement.contains("from PATIENTS"))
                            patients << statement;
                    }
                    w.recorder->statements.clear();
                    seen << patients.join(" + ") + bounds + " -> " + gridRows(dlg).join(',');
                };
                note();
                dlg.Edit1->setText(typed);
                note();
                dlg.Edit1->setText("");
                note();
                return int(mrCancel);
            });
            w.recorder->statements.clear();
            CurrentNumber = 0;
            ShowIdDlg();
            // The recording server orders by the characters' codes.
            QStringList byCode = Everyone;
            byCode.move(byCode.indexOf("ÉTIENNE"), byCode.indexOf("VINCENT"));
            const QString everyone = byCode.join(',');
            EXPECT_EQ(
                seen.join('\n').toStdString(),
                QStringList({whole + " -> " + everyone,
                             bounded + " L0=" + typed + " H0=" + typed +
                                 (cp == codepage::Cp1251 ? "яяяя" : "zzzz") + " -> " +
                                 (cp == codepage::Cp1251 ? "ДУБОВ" : "DU,DUBOIS,DUPONT,DURAND"),
                             whole + " -> " + everyone})
                    .join('\n')
                    .toStdString());
        }
    }
}

// The dialog's patients come in a packet of 500 rows: once 600 more patients exist (written
// through the program's own engine), the whole list shows the first 500 by name.
TEST(PracticePatients, APacketOf500Rows)
{
    ConnectedPractice w;
    ASSERT_TRUE(w.connected);
    Database& db = *Server->Database1;
    db.startTransaction();
    Params p;
    p.add("ID", FieldType::Integer);
    p.add("NOM", FieldType::String);
    for (int i = 0; i < 600; ++i) {
        p.paramByName("ID").setAsInteger(100 + i);
        p.paramByName("NOM").setAsString(QString("PATIENT %1").arg(i, 3, 10, QChar('0')));
        db.execute("insert into PATIENTS (PATIENTS_ID, NOM, PRENOM) values (:ID, :NOM, 'X')", &p);
    }
    db.commit();
    EXPECT_EQ(w.practice.cli("select count(*) from PATIENTS;").toStdString(), "630");

    const auto found = searched({"PATIENT 59", ""});
    EXPECT_EQ(found["opened"].size(), 500);
    EXPECT_TRUE(w.tables->IdPatients_Global->MoreRecords());
    // ANDRÉ to PATIENT 477: the 22 names before "PATIENT" in the list of everyone, then 478.
    EXPECT_EQ(found["opened"].last().toStdString(), "PATIENT 477");
    EXPECT_EQ(found["PATIENT 59"].size(), 10);
    EXPECT_EQ(found[""], found["opened"]);
}

// The main window connected at start-up to the practice database file: the documents list names
// each identified document's patient from it, a patient it no longer has with nothing.
TEST(PracticePatients, TheDocumentsListNamesThePatients)
{
    MainWindowFixture f;
    PracticeFolder practice(f.ws.path("tressoly/"));
    practice.writeVersionFile();
    practice.createDatabase();
    f.writeUsualIni({"Tressoly_Path=" + practice.folder()});
    f.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                    "NeedComment, Warning) VALUES (1, 1, 1, 'Dossier', 'ECG', 0, 0, 0);");
    SetKernelProgramDirForTesting(f.programDir());
    CreateServerModule();
    const auto cleanup = qScopeGuard([] {
        FreePracticeModules();
        SetKernelProgramDirForTesting(QString());
    });
    MainFormModules().ConnectDatabase = &ConnectDatabase;
    MainFormModules().PracticePatientName = &PracticePatientName;
    f.start();
    ASSERT_TRUE(PracticeDBInUse);
    f.addDocument(1, 1, 0, 0, 1);
    f.addDocument(2, 1, 0, 0, 7);
    f.addDocument(3, 1, 0, 0, 99);
    f.form->FillDocumentList();
    QStringList patients;
    for (const QString& row : rowTexts(f.form->ListView1))
        patients << row.section('|', 1, 1);
    EXPECT_EQ(joined(patients), ", ДУБОВ ИВАН, DUPONT JEAN");
}

// A patient added in the identification dialog is written to PATIENTS under the identifier the
// kernel reserved in ID_VALUES, and the document takes it. Needs the kernel's identifiers and
// write-back, which the kernel does not have yet: enabled with them.
TEST(PracticePatients, AddStoresTheKeyGetIDReserved)
{
    ConnectedPractice w;
    ASSERT_TRUE(w.connected);
    w.addSource(1, 1, true);
    const int number = AddImportedFile(CurrentPack, "scan.pdf", 1, 0, "PDF");
    ScopedScriptedDialogs dialogs;
    dialogs.answerModal("TIdDlg", [](TForm& form) {
        auto& dlg = static_cast<TIdDlg&>(form);
        form.show();
        QApplication::processEvents();
        dlg.Add->click();
        dlg.OKBtn->click();
        return dlg.ModalResult();
    });
    dialogs.answerModal("TPatientDlg", [](TForm& form) {
        auto& dlg = static_cast<TPatientDlg&>(form);
        dlg.Edit1->setText("NOUVEAU");
        dlg.Edit2->setText("Nina");
        // A date that is none is refused in French, naming the field and the value; the dialog
        // stays, and no identifier is reserved for it.
        dlg.Edit3->setText("31/02/1990");
        setUiTextLanguage(1);
        const auto english = qScopeGuard([] { setUiTextLanguage(0); });
        EXPECT_EQ(messageOf<EConvertError>([&] { dlg.OKBtnClick(dlg.OKBtn); }).toStdString(),
                  "\"31/02/1990\" n'est pas une valeur valable pour le champ \"Date de "
                  "naissance\"");
        EXPECT_EQ(dlg.ModalResult(), mrNone);
        dlg.Edit3->setText("03/04/1990");
        dlg.Edit4->setText("12");
        dlg.OKBtn->click();
        return dlg.ModalResult();
    });
    CurrentNumber = number;
    IdentificationActive = true;
    ShowIdDlg();
    IdentificationActive = false;
    EXPECT_EQ(EditedPatientID, 31);
    EXPECT_EQ(w.practice
                  .cli("select PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON from PATIENTS"
                       " where PATIENTS_ID > 30;")
                  .toStdString(),
              "31|NOUVEAU|Nina|1990-04-03|12");
    EXPECT_EQ(w.practice.cli("select LAST_VALUE from ID_VALUES where KEY_NAME = 'PATIENTS';")
                  .toStdString(),
              "31");
    EXPECT_EQ(w.cli(QString("select Patient from \"FILES.DB\" where Number = %1;").arg(number))
                  .toStdString(),
              "31");
}

// Direct send takes the practice software's import folder in whatever case it was made, and
// makes it (in capitals) only when there is none.
TEST(PracticePatients, DirectSendUsesTheImportFolderInAnyCase)
{
    TestWorkspace ws;
    const auto off = qScopeGuard([] {
        DirectSend = false;
        ExportDir.clear();
    });
    QDir().mkpath(ws.path("practice/QvxImp"));
    InitDirectSend(ws.path("practice"));
    EXPECT_EQ(ExportDir.toStdString(), ws.path("practice/QvxImp/").toStdString());
    EXPECT_EQ(QDir(ws.path("practice")).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"QvxImp"}));
    QDir().mkpath(ws.path("other"));
    InitDirectSend(ws.path("other"));
    EXPECT_EQ(ExportDir.toStdString(), ws.path("other/QVXIMP/").toStdString());
    EXPECT_TRUE(QFileInfo(ws.path("other/QVXIMP")).isDir());
}
