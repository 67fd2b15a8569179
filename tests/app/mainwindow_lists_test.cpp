// The documents and sources lists and the commands on them, with dialogs answered by script:
// what the rows show, deleting documents and their files, rows that vanished before a command
// ran, the sources' commands and the window's other commands.
#include "mainwindow_fixture.h"

#include <analysers/comslots.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/workstation_app.h>
#include <app/mainwindow/showlog.h>
#include <app/sources/configform.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/ptypair.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Sources of every type, and an unknown one.
struct ListsWindow : MainWindowFixture
{
    ListsWindow()
    {
        writeUsualIni();
        prepareTables(
            "INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, NeedComment, "
            "Warning) VALUES (1, 1, 1, 'Résultats EFR', 'TXT', 0, 0, 0), "
            "(2, 2, 2, 'Breeze', 'BR1', 0, 0, 0), (3, 3, 1, 'Imprimante', 'EMF', 0, 0, 0), "
            "(4, 4, 2, 'Analyseur', 'AST', 0, 0, 0), (5, 5, 1, 'Ecran', 'BMP', 0, 0, 0), "
            "(6, 9, 7, 'Inconnu', 'XXX', 0, 0, 0);"
            "INSERT INTO \"fr.db\" (Configuration, Dir, Pattern) VALUES (1, '/srv/efr', '*.txt');"
            "INSERT INTO \"rcfiles.DB\" (Configuration, File, Extension) "
            "VALUES (2, '/srv/breeze/CURPAT.DAT', 'DTX');"
            "INSERT INTO \"printers.db\" (Configuration, Printer) VALUES (3, 'EMF on LPT1:');"
            "INSERT INTO \"com.DB\" (Configuration, Com) VALUES (4, 3);");
        start();
        EXPECT_FALSE(form->StartupFailed());
        calls.clear();
    }

    // Documents of the given sources, with data files.
    void documents(const QList<std::pair<int, int>>& numberAndCfg)
    {
        for (const auto& [number, cfg] : numberAndCfg) {
            addDocument(number, cfg, 0);
            writeFileBytes(DocumentFileName(number, cfg), "data");
        }
        form->FillDocumentList();
    }
    void select(int row) const
    {
        form->ListView1->setCurrentItem(form->ListView1->topLevelItem(row));
    }
    void deleteSelected(int row, int answer)
    {
        select(row);
        dialogs.answerMessage(answer, "Supprimer ce document?", mtConfirmation,
                              TMsgDlgButtons(mbYes) | mbNo);
        form->bDelete->click();
    }
};

} // namespace

TEST(MainWindowLists, RowsShowTypesStatesParametersAndPatientsNewestFirstWithoutFurtherPages)
{
    ListsWindow w;
    EXPECT_EQ(rowTexts(w.form->ListView2),
              (QStringList{"Résultats EFR|Fichiers|Actif|/srv/efr/*.txt",
                           "Breeze|Breeze|Passif|/srv/breeze/CURPAT.DAT (.DTX)",
                           "Imprimante|Imprimante virtuelle (EMF)|Actif|EMF on LPT1:",
                           "Analyseur|Port série|Passif|COM3",
                           "Ecran|Image de l'écran (Impécr)|Actif|", "Inconnu|||"}));
    EXPECT_EQ(w.form->SourceNumbers, (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(w.form->ListView2->currentItem(), w.form->ListView2->topLevelItem(0));

    EXPECT_EQ(w.form->ListView1->topLevelItemCount(), 0);
    for (QPushButton* b : {w.form->bView, w.form->bIdentify, w.form->bComment, w.form->bDelete})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    w.addPatient(7, "DUPONT", "Marie");
    w.addDocument(1, 1, 0, 0, 7);
    w.addDocument(2, 3, 1);
    w.addDocument(3, 3, 0, 2);     // second page of document 2
    w.addDocument(4, 4, 0, 0, 99); // a patient that does not exist
    w.addDocument(5, 77, 0);       // a source deleted since
    w.form->FillDocumentList();
    EXPECT_EQ(rowTexts(w.form->ListView1),
              (QStringList{"||06/12/2026 (22:10:46)", "Analyseur||06/12/2026 (22:10:46)",
                           "Imprimante|A identifier...|06/12/2026 (22:10:46)",
                           "Résultats EFR|DUPONT Marie|06/12/2026 (22:10:46)"}));
    EXPECT_EQ(w.form->DocNumbers, (QList<int>{5, 4, 2, 1}));
    EXPECT_EQ(w.form->ListView1->currentItem(), w.form->ListView1->topLevelItem(0));
    EXPECT_TRUE(w.form->bDelete->isEnabled());
}

TEST(MainWindowLists, DeleteAsksThenRemovesTheRowItsPagesAndTheirFiles)
{
    ListsWindow w;
    w.documents({{1, 1}, {2, 3}, {5, 4}});
    for (int page : {3, 4}) {
        w.addDocument(page, 3, 0, 2);
        writeFileBytes(DocumentFileName(page, 3), "page");
    }
    w.form->FillDocumentList();
    ASSERT_EQ(w.form->DocNumbers, (QList<int>{5, 2, 1}));

    w.deleteSelected(1, mrNo);
    EXPECT_EQ(w.cli("SELECT count(*) FROM \"FILES.DB\";"), "5");
    // Yes on the printed document: its three rows and three files go.
    w.deleteSelected(1, mrYes);
    EXPECT_EQ(w.cli("SELECT Number FROM \"FILES.DB\" ORDER BY Number;"), "1\n5");
    for (int number : {2, 3, 4})
        EXPECT_FALSE(QFileInfo::exists(DocumentFileName(number, 3))) << number;
    EXPECT_EQ(w.form->DocNumbers, (QList<int>{5, 1}));
    // The serial result keeps its data file: the analyser may not send it again.
    w.deleteSelected(0, mrYes);
    EXPECT_EQ(w.cli("SELECT Number FROM \"FILES.DB\";"), "1");
    EXPECT_TRUE(QFileInfo::exists(DocumentFileName(5, 4)));
    // A folder document, its file written in lower case by an older version, goes whole.
    QFile::rename(DocumentFileName(1, 1), BufDir + "1.1");
    w.deleteSelected(0, mrYes);
    EXPECT_EQ(w.cli("SELECT count(*) FROM \"FILES.DB\";"), "0");
    EXPECT_TRUE(FindDocumentFile(1, 1).isEmpty());
    EXPECT_FALSE(w.form->bDelete->isEnabled());
}

TEST(MainWindowLists, CommandOnARowThatVanishedOnlyRefreshesTheList)
{
    ListsWindow w;
    w.documents({{1, 1}, {2, 1}});
    // Document 2 exported behind the list's back.
    w.deleteDocument(2);
    w.deleteSelected(0, mrYes);
    EXPECT_EQ(w.cli("SELECT Number FROM \"FILES.DB\";"), "1");
    EXPECT_TRUE(QFileInfo::exists(DocumentFileName(1, 1)));
    EXPECT_EQ(w.form->DocNumbers, QList<int>{1});

    w.deleteDocument(1);
    w.select(0);
    w.form->bView->click();
    w.form->bIdentify->click();
    EXPECT_TRUE(w.calls.isEmpty()) << w.calls.join(", ").toStdString();
    EXPECT_TRUE(w.form->DocNumbers.isEmpty());

    // A source deleted meanwhile is not toggled, nor is its neighbour.
    w.form->ListView2->setCurrentItem(w.form->ListView2->topLevelItem(0));
    ASSERT_TRUE(DataTables->cfg->findKey({1}));
    DataTables->cfg->deleteRecord();
    w.form->BitBtn10->click();
    EXPECT_EQ(w.cli("SELECT Number, State FROM \"cfg.db\" WHERE Number <= 2 ORDER BY Number;"),
              "2|2");
    EXPECT_EQ(w.form->SourceNumbers.first(), 2);
    w.form->bModify->click(); // on the refilled list's first row: source 2
    EXPECT_EQ(w.calls, QStringList{"ExecuteConfigForm"});
    EXPECT_EQ(EditedSourceNumber, 2);
}

TEST(MainWindowLists, IdentifyRewritesThePatientOfItsDocumentEvenWhenTheListWasRefilled)
{
    ListsWindow w;
    w.addPatient(3, "MARTIN", "Paul");
    w.addDocument(1, 1, 1);
    w.form->FillDocumentList();
    w.select(0);
    MainFormModules().ShowIdDlg = [&w] {
        EXPECT_TRUE(IdentificationActive);
        EXPECT_EQ(CurrentNumber, 1);
        // While the dialog is open a serial result arrives and the list is refilled.
        w.addDocument(2, 4, 0);
        w.form->RefreshDocuments(2);
        LocalTable& files = *DataTables->files;
        files.setIndexName(QString());
        ASSERT_TRUE(files.findKey({1}));
        files.edit();
        files.fieldByName("NeedId")->setAsInteger(0);
        files.fieldByName("Patient")->setAsInteger(3);
        files.post();
    };
    w.form->bComment->click();
    EXPECT_FALSE(IdentificationActive);
    EXPECT_EQ(rowTexts(w.form->ListView1),
              (QStringList{"Analyseur||06/12/2026 (22:10:46)",
                           "Résultats EFR|MARTIN Paul|06/12/2026 (22:10:46)"}));
}

// The list follows the documents that changed: the rows of the others stay as they were (the
// mark a test puts on them survives), whoever wrote the change, and a new row widens its column.
TEST(MainWindowLists, DocumentListFollowsTheDocumentsThatChangedAndKeepsTheOtherRows)
{
    ListsWindow w;
    w.addPatient(7, "DUPONT", "Marie");
    w.documents({{1, 1}, {2, 3}, {3, 4}});
    constexpr int Mark = Qt::UserRole + 40;
    const auto markRows = [&w] {
        for (int i = 0; i < w.form->ListView1->topLevelItemCount(); ++i)
            w.form->ListView1->topLevelItem(i)->setData(0, Mark, w.form->DocNumbers.at(i));
    };
    // The documents whose rows kept their mark.
    const auto kept = [&w] {
        QList<int> numbers;
        for (int i = 0; i < w.form->ListView1->topLevelItemCount(); ++i) {
            const QVariant mark = w.form->ListView1->topLevelItem(i)->data(0, Mark);
            if (mark.isValid() && mark.toInt() == w.form->DocNumbers.at(i))
                numbers << mark.toInt();
        }
        return numbers;
    };
    const auto setPatient = [](int number, int patient) {
        LocalTable& files = *DataTables->files;
        files.setIndexName(QString());
        ASSERT_TRUE(files.findKey({number}));
        files.edit();
        files.fieldByName("NeedId")->setAsInteger(0);
        files.fieldByName("Patient")->setAsInteger(patient);
        files.post();
    };
    const QString when = "|06/12/2026 (22:10:46)";
    struct Step
    {
        const char* what;
        std::function<void()> change;
        QStringList rows;
        QList<int> kept;
    };
    const QList<Step> steps{
        {"a document added",
         [&w] { w.addDocument(4, 5); },
         {"Ecran|" + when, "Analyseur|" + when, "Imprimante|" + when, "Résultats EFR|" + when},
         {3, 2, 1}},
        {"a further page added",
         [&w] { w.addDocument(5, 3, 0, 2); },
         {"Ecran|" + when, "Analyseur|" + when, "Imprimante|" + when, "Résultats EFR|" + when},
         {4, 3, 2, 1}},
        {"a document identified",
         [&] { setPatient(2, 7); },
         {"Ecran|" + when, "Analyseur|" + when, "Imprimante|DUPONT Marie" + when,
          "Résultats EFR|" + when},
         {4, 3, 2, 1}},
        {"the patient renamed",
         [] {
             LocalTable& patients = *DataTables->Patients_Local;
             patients.setIndexName(QString());
             ASSERT_TRUE(patients.findKey({7}));
             patients.edit();
             patients.fieldByName("Prenom")->setAsString("Anne");
             patients.post();
         },
         {"Ecran|" + when, "Analyseur|" + when, "Imprimante|DUPONT Anne" + when,
          "Résultats EFR|" + when},
         {4, 3, 2, 1}},
        {"a document deleted through the table",
         [&w] { w.deleteDocument(3); },
         {"Ecran|" + when, "Imprimante|DUPONT Anne" + when, "Résultats EFR|" + when},
         {4, 2, 1}},
        {"a document deleted by the registry",
         [] { DeleteDocumentRow(1); },
         {"Ecran|" + when, "Imprimante|DUPONT Anne" + when},
         {4, 2}},
        {"the newest replaced by another under its number",
         [&w] {
             w.deleteDocument(4);
             w.addDocument(4, 1, 1);
         },
         {"Résultats EFR|A identifier..." + when, "Imprimante|DUPONT Anne" + when},
         {2}},
        {"a document added by another program",
         [&w] {
             w.cli("INSERT INTO \"FILES.DB\" (Number, Pack, Cfg, Date, Time, Type, Pages, "
                   "NeedId, Patient) VALUES (9, 0, 4, '2026-12-06', '22:10:46', 0, 1, 0, 0);");
         },
         {"Analyseur|" + when, "Résultats EFR|A identifier..." + when,
          "Imprimante|DUPONT Anne" + when},
         {}},
    };
    for (const Step& step : steps) {
        markRows();
        step.change();
        w.form->FillDocumentList();
        EXPECT_EQ(rowTexts(w.form->ListView1), step.rows) << step.what;
        EXPECT_EQ(kept(), step.kept) << step.what;
        EXPECT_EQ(w.form->ListView1->currentItem(), w.form->ListView1->topLevelItem(0))
            << step.what;
    }
    EXPECT_EQ(w.form->DocNumbers, (QList<int>{9, 4, 2}));

    // A row wider than its column widens it.
    const QString title = "Analyseur de la salle de prélèvement numéro trois, poste de droite";
    w.addSource(8, 4, 1, title);
    w.form->FillDocumentList();
    const int narrow = w.form->ListView1->columnWidth(0);
    markRows();
    w.addDocument(10, 8);
    w.form->FillDocumentList();
    EXPECT_EQ(kept(), (QList<int>{9, 4, 2}));
    const int widened = w.form->ListView1->columnWidth(0);
    EXPECT_GT(widened, narrow);
    // As wide as measuring every row makes it (a changed source fills the list again).
    w.addSource(9, 4, 1);
    w.form->FillDocumentList();
    EXPECT_EQ(w.form->ListView1->columnWidth(0), widened);
}

// A serial source whose port cannot be opened: at start-up the sources list says so, with the
// reason in the state's hint, and no box opens; once the device is there the port opens at its
// next attempt and the list shows the source as usual. Activating or saving the source while its
// device is missing tells the user once.
TEST(MainWindowLists, SerialSourceWhosePortCannotBeOpenedSaysSoUntilItOpens)
{
    setUiTextLanguage(1);
    MainWindowFixture w;
    const auto cleanUp = qScopeGuard([] {
        setUiTextLanguage(0);
        FreeComPortSlots(); // no port left trying its device
    });
    const QString device = w.ws.path("analyseur-com3");
    w.writeUsualIni({"[Options.COM3]", "Device=" + device});
    w.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                    "NeedComment, Warning) VALUES (4, 4, 1, 'Analyseur', 'TXT', 0, 0, 0);"
                    "INSERT INTO \"com.DB\" (Configuration, Com, FSTX, STX, ETX, Timeout, "
                    "\"Baud Rate\", \"Data Bits\", Handshaking, Parity, \"Stop Bits\") "
                    "VALUES (4, 3, 1, 2, 3, 30, 6, 8, 0, 0, 0);");
    MainFormModules().StartComSources = &StartComSources;
    w.start();
    ASSERT_FALSE(w.form->StartupFailed());
    QTreeWidgetItem* row = w.form->ListView2->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    const QString failure =
        "Port série COM3 (" + device + ") non ouvert : aucun périphérique série de ce nom";
    EXPECT_EQ(row->text(2), "Actif (non connecté)");
    EXPECT_EQ(row->toolTip(2), failure);
    EXPECT_TRUE(w.dialogs.requests().isEmpty());

    PtyPair pty;
    ASSERT_TRUE(pty.isOpen()) << pty.errorString().toStdString();
    ASSERT_TRUE(QFile::link(pty.nearPath(), device));
    EXPECT_TRUE(pumpEventsUntil([row] { return row->text(2) == "Actif"; }, 15000))
        << row->text(2).toStdString();
    EXPECT_EQ(row->toolTip(2), QString());

    // Made passive, its device gone, then activated: one box, and the list tells it again.
    w.form->ListView2->setCurrentItem(row);
    w.form->BitBtn10->click();
    EXPECT_EQ(row->text(2), "Passif");
    ASSERT_TRUE(QFile::remove(device));
    const QString box = "Le port série COM3 (" + device +
                        ") ne peut pas être ouvert : aucun périphérique série de ce nom.\n"
                        "La source reste active : l'ouverture du port est réessayée toutes les 2 "
                        "secondes.";
    w.dialogs.answerMessage(mrOk, box, mtWarning, TMsgDlgButtons(mbOK));
    w.form->BitBtn10->click();
    EXPECT_EQ(row->text(2), "Actif (non connecté)");
    EXPECT_EQ(row->toolTip(2), failure);
    EXPECT_EQ(w.dialogs.requests().size(), 1);

    // Saved while its device is missing: once more.
    w.dialogs.answerMessage(mrOk, box, mtWarning, TMsgDlgButtons(mbOK));
    EditedSourceNumber = 4;
    TConfigForm* config = CreateForm<TConfigForm>();
    config->show();
    config->OKBtn->click();
    config->Free();
    EXPECT_EQ(w.dialogs.requests().size(), 2);
    EXPECT_EQ(w.cli("SELECT State FROM \"cfg.db\";"), "1");
}

// The sources panel closes the serial ports while it is open: a source whose port could not be
// opened before shows its state alone then, whatever becomes of its device meanwhile. Closing the
// panel tries the port at once, and the list shows what came of it.
TEST(MainWindowLists, SerialSourceStateFollowsThePortsThePanelClosesAndOpens)
{
    setUiTextLanguage(1);
    MainWindowFixture w;
    const auto cleanUp = qScopeGuard([] {
        setUiTextLanguage(0);
        FreeComPortSlots();
    });
    const QString device = w.ws.path("analyseur-com3");
    w.writeUsualIni({"[Options.COM3]", "Device=" + device});
    w.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                    "NeedComment, Warning) VALUES (4, 4, 1, 'Analyseur', 'TXT', 0, 0, 0);"
                    "INSERT INTO \"com.DB\" (Configuration, Com, FSTX, STX, ETX, Timeout, "
                    "\"Baud Rate\", \"Data Bits\", Handshaking, Parity, \"Stop Bits\") "
                    "VALUES (4, 3, 1, 2, 3, 30, 6, 8, 0, 0, 0);");
    MainFormModules().StartComSources = &StartComSources;
    MainFormModules().CloseAllComPorts = &CloseAllComPorts;
    MainFormModules().OpenConfiguredComPorts = &OpenConfiguredComPorts;
    w.start();
    ASSERT_FALSE(w.form->StartupFailed());
    QTreeWidgetItem* row = w.form->ListView2->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    const TCommPortDriver* port = ComPortSlots[3].Port;
    const QString failure =
        "Port série COM3 (" + device + ") non ouvert : aucun périphérique série de ce nom";
    const auto state = [row] { return (row->text(2) + " / " + row->toolTip(2)).toStdString(); };
    const std::string notConnected = ("Actif (non connecté) / " + failure).toStdString();
    ASSERT_EQ(state(), notConnected);

    // Open: the state alone, also once the device is there.
    w.form->ConfigBtn->click();
    ASSERT_TRUE(ConfigPanelOpen);
    EXPECT_EQ(state(), "Actif / ");
    PtyPair pty;
    ASSERT_TRUE(pty.isOpen()) << pty.errorString().toStdString();
    ASSERT_TRUE(QFile::link(pty.nearPath(), device));
    QApplication::processEvents();
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(state(), "Actif / ");

    // Closed: the port opens at once, not at a later attempt.
    w.form->ConfigBtn->click();
    EXPECT_TRUE(port->Connected());
    QApplication::processEvents();
    EXPECT_EQ(state(), "Actif / ");

    // The device gone while the panel is open: closing it finds out and says why.
    w.form->ConfigBtn->click();
    EXPECT_FALSE(port->Connected());
    ASSERT_TRUE(QFile::remove(device));
    w.form->ConfigBtn->click();
    EXPECT_FALSE(port->Connected());
    QApplication::processEvents();
    EXPECT_EQ(state(), notConnected);
    EXPECT_TRUE(w.dialogs.requests().isEmpty());
}

TEST(MainWindowLists, SourceCommands)
{
    ListsWindow w;
    // Activate the passive Breeze source, then deactivate it.
    w.form->ListView2->setCurrentItem(w.form->ListView2->topLevelItem(1));
    w.form->BitBtn10->click();
    EXPECT_EQ(w.cli("SELECT State FROM \"cfg.db\" WHERE Number = 2;"), "1");
    EXPECT_EQ(w.form->ListView2->topLevelItem(1)->text(2), "Actif");
    w.form->BitBtn10->click();
    EXPECT_EQ(w.cli("SELECT State FROM \"cfg.db\" WHERE Number = 2;"), "2");

    // A new source saved by the dialog is selected in the refilled list.
    MainFormModules().ExecuteConfigForm = [&w] {
        EXPECT_EQ(EditedSourceNumber, 0);
        w.addSource(8, 1, 1, "Nouveau");
        EditedSourceNumber = 8;
        return int(mrOk);
    };
    w.form->Add->click();
    EXPECT_EQ(w.form->ListView2->currentItem()->text(0), "Nouveau");

    // Deleting asks first (each type's own rows go with it: see the configuration tests); the
    // screen source's deletion looks for the active one again.
    w.form->ListView2->setCurrentItem(w.form->ListView2->topLevelItem(0));
    w.dialogs.answerMessage(mrNo, "Supprimer cette source?").answerMessage(mrYes);
    w.form->BitBtn9->click();
    EXPECT_EQ(w.cli("SELECT count(*) FROM \"cfg.db\";"), "7");
    w.form->BitBtn9->click();
    EXPECT_EQ(w.cli("SELECT count(*) FROM \"cfg.db\" WHERE Number = 1;"), "0");
    w.form->ListView2->setCurrentItem(w.form->ListView2->topLevelItem(3)); // the screen source
    w.calls.clear();
    w.dialogs.answerMessage(mrYes);
    w.form->BitBtn9->click();
    EXPECT_EQ(w.calls, QStringList{"InitClipboardSource"});
    EXPECT_EQ(w.form->SourceNumbers, (QList<int>{2, 3, 4, 6, 8}));

    // The panel: the ports close while it is open and open again after.
    w.calls.clear();
    w.form->ConfigBtn->click();
    w.form->ConfigBtn->click();
    EXPECT_EQ(w.calls, (QStringList{"CloseAllComPorts", "OpenConfiguredComPorts"}));
}

TEST(MainWindowLists, TheOtherCommandsAndTheResultsOfAnalysers)
{
    ListsWindow w;
    // The user name: cancelled or empty, nothing changes.
    w.dialogs.answerInput(false).answerInput(true, QString());
    w.form->User1->trigger();
    w.form->User1->trigger();
    EXPECT_EQ(w.form->Label6->text(), "Tester");
    ASSERT_EQ(w.dialogs.requests().size(), 2);
    EXPECT_EQ(w.dialogs.requests().first().value, "Tester");

    // Direct send switched on counts the quiet ticks afresh and takes the transfer away.
    IdleTicks = -1;
    w.form->miDirectSend->trigger();
    EXPECT_TRUE(DirectSend && !w.form->bTransfer->isEnabled());
    EXPECT_EQ(IdleTicks, 0);
    w.form->miDirectSend->trigger();
    EXPECT_TRUE(!DirectSend && w.form->bTransfer->isEnabled());

    // The log viewer shows the end of the direct-send log: 400 lines of 100 bytes with CR LF,
    // the last 320 fit in 32000 bytes; a line that would cross the limit is dropped whole.
    QByteArray log;
    for (int i = 1; i <= 400; ++i)
        log += QByteArray::number(i).rightJustified(98, '.') + "\r\n";
    writeFileBytes(LogFileName, log);
    QStringList shown;
    w.dialogs.answerModal("TLOGForm", [&](TForm& form) {
        auto& viewer = static_cast<TLOGForm&>(form);
        shown = viewer.mLOG->toPlainText().split('\n');
        // Escape closes it, from the text too.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(viewer.mLOG, &escape);
        return viewer.ModalResult();
    });
    w.form->bShowLOG->click();
    ASSERT_EQ(shown.size(), 320);
    EXPECT_EQ(shown.first(), QByteArray::number(81).rightJustified(98, '.'));
    EXPECT_EQ(ReadLogTail(LogFileName, 31999).size(), 319);

    // Analysers reach the list through the workstation service while the window lives.
    CurrentPack = 31;
    writeFileBytes(ComBufDir + "~buf~.ast", "H|\\^&|||cobas\r");
    Workstation().RefreshDocuments(Workstation().StoreResult(ComBufDir + "~buf~.ast", 4, "AST"));
    EXPECT_EQ(w.cli("SELECT Number, Pack, Cfg FROM \"FILES.DB\";"), "1|31|4");
    EXPECT_EQ(rowTexts(w.form->ListView1), QStringList{"Analyseur||06/12/2026 (22:10:46)"});

    // A transfer that built a package hides the window.
    MainFormModules().ShowPackDlg = [] { CurrentPack = 4242; };
    w.form->bTransfer->click();
    EXPECT_TRUE(w.form->isHidden() || w.form->isMinimized());
    delete w.form;
    w.form = nullptr;
    EXPECT_NE(&Workstation(), static_cast<WorkstationService*>(&AppWorkstation()));
}

// Rows longer than the designed columns widen the window past the screen's width (800 pixels
// offscreen): started with them, or when they come later, it keeps its left edge on the screen.
TEST(MainWindowLists, WindowWidenedByItsRowsStaysOnTheScreen)
{
    const QString title = "Spiromètre du cabinet de pneumologie, salle d examen numéro deux";
    // Each level of the window's nested layouts answers the requests of the one inside it in a
    // round of posted events of its own.
    const auto layOut = [] {
        for (int level = 0; level < 5; ++level)
            QApplication::processEvents();
    };
    for (const bool atStart : {true, false}) {
        MainWindowFixture w;
        w.writeUsualIni();
        w.prepareTables(atStart ? "INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension) "
                                  "VALUES (1, 1, 1, '" +
                                      title +
                                      "', 'TXT');"
                                      "INSERT INTO \"FILES.DB\" (Number, Pack, Cfg, Date, Time, "
                                      "Type, Pages, NeedId, Patient) "
                                      "VALUES (1, 0, 1, '2026-12-06', '22:10:46', 0, 1, 0, 0);"
                                : QString());
        w.start();
        ASSERT_FALSE(w.form->StartupFailed());
        w.form->show();
        layOut();
        if (!atStart) {
            w.addSource(1, 1, 1, title + ", poste de gauche");
            w.addDocument(1, 1);
            w.form->FillSourceList();
            w.form->FillDocumentList();
            layOut();
        }
        const QRect area = w.form->screen()->availableGeometry();
        const QRect frame = w.form->frameGeometry();
        EXPECT_GT(frame.width(), area.width())
            << "the rows widen the window, at start: " << atStart;
        EXPECT_EQ(frame.left(), area.left()) << "at start: " << atStart;
        EXPECT_GE(frame.top(), area.top()) << "at start: " << atStart;
    }
}

// With the practice database, a patient renamed in the identification dialog changes no row of
// the local database: every document showing the patient takes the new name at the next fill.
TEST(MainWindowLists, APatientRenamedInThePracticeDatabaseShowsInEveryRowOfThePatient)
{
    ListsWindow w;
    PracticeDBInUse = true;
    const auto localAgain = qScopeGuard([] { PracticeDBInUse = false; });
    QString name = "DUPONT Marie";
    MainFormModules().PracticePatientName = [&name](int id) { return id == 7 ? name : QString(); };
    w.addDocument(1, 1, 0, 0, 7);
    w.addDocument(2, 4, 0, 0, 7);
    w.form->FillDocumentList();
    const QString when = "|06/12/2026 (22:10:46)";
    EXPECT_EQ(rowTexts(w.form->ListView1),
              QStringList({"Analyseur|DUPONT Marie" + when, "Résultats EFR|DUPONT Marie" + when}));
    MainFormModules().ShowIdDlg = [&name] { name = "DURAND Marie"; };
    w.select(0);
    w.form->bIdentify->click();
    w.addDocument(3, 5);
    w.form->FillDocumentList();
    EXPECT_EQ(rowTexts(w.form->ListView1),
              QStringList({"Ecran|" + when, "Analyseur|DURAND Marie" + when,
                           "Résultats EFR|DURAND Marie" + when}));
}
