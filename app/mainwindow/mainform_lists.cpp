// The main window's two lists (documents and sources) and the commands applied to them, the menu
// commands, the log viewer and the entry points of other programs and components.
#include "mainform.h"

#include "mainmodules.h"
#include "showlog.h"

#include <analysers/comslots.h>
#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/patients/directsend.h>
#include <app/sources/configform.h>
#include <app/sources/screen_source.h>
#include <platform/data/field.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlname.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/inifile.h>
#include <platform/serial/serialline.h>
#include <platform/support/docfiles.h>
#include <platform/support/paths.h>
#include <platform/ui/application.h>
#include <platform/uitexts.h>
#include <translation/lc.h>

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <exception>
#include <functional>

namespace {

// Positions a table on its row of the primary key `key`; false when there is none.
bool seekPrimary(LocalTable& table, const Variant& key)
{
    table.setIndexName(QString());
    return TableActionGuarded(table, {key});
}

void selectRow(QTreeWidget* list, int row)
{
    if (row < 0 || row >= list->topLevelItemCount())
        return;
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->setCurrentItem(item);
    item->setSelected(true);
}

} // namespace

int TMainForm::SelectedRow(QTreeWidget* List) const
{
    const QList<QTreeWidgetItem*> selected = List->selectedItems();
    if (selected.isEmpty())
        return -1;
    return List->indexOfTopLevelItem(selected.first());
}

// ---- the documents list

QString TMainForm::PatientName(int PatientId)
{
    if (PracticeDBInUse)
        return MainFormModules().PracticePatientName(PatientId);
    LocalTable& patients = *DataTables->Patients_Local;
    patients.setIndexName(QString());
    if (!patients.findKey({PatientId}))
        return QString();
    return FieldText(patients, "Nom") + QStringLiteral(" ") + FieldText(patients, "Prenom");
}

// The documents list follows the rows of the documents table that changed since it was last
// filled (added, removed, identified), as the local database names them (RowWatch): a tick that
// registers one document reads that document, not the whole table. It is filled again
// from the whole table at the first fill, after the tables were reopened, and whenever the
// watch cannot name every change (another program wrote to the database, a change of the
// sources or too many rows at once).
void TMainForm::FillDocumentList()
{
    LocalTable& files = *DataTables->files;
    TableAction(files, 2);
    // Tables that had to be reopened show nothing until the next refill.
    if (!files.isEmpty() && !CheckTables()) {
        ForgetDocumentList();
        return;
    }
    files.setIndexName(QString());
    DataTables->cfg->setIndexName(QString());
    try {
        if (!FollowDocumentChanges())
            RebuildDocumentList();
    } catch (...) {
        // What was taken from the watch is lost with the failure: the next fill reads all.
        m_documentWatch.reset();
        throw;
    }
    selectRow(ListView1, 0);
    const bool any = !DocNumbers.isEmpty();
    bView->setEnabled(any);
    bIdentify->setEnabled(any);
    bComment->setEnabled(any);
    bDelete->setEnabled(any);
}

// A patient renamed in the practice database changes no row of the local database, so the watch
// cannot name the documents that show the patient: after the dialogs that may rename one, the next
// fill reads every row (and every name) again.
void TMainForm::RereadPatientNamesNextFill()
{
    if (PracticeDBInUse)
        m_documentWatch.reset();
}

void TMainForm::ForgetDocumentList()
{
    ListView1->clear();
    DocNumbers.clear();
    m_listedRows.clear();
    m_rowOfDocument.clear();
    m_documentWatch.reset();
}

QStringList TMainForm::DocumentRowTexts()
{
    const LocalTable& files = *DataTables->files;
    LocalTable& cfg = *DataTables->cfg;
    const int source = FieldInt(files, "Cfg");
    const int needId = FieldInt(files, "NeedId");
    const int patient = FieldInt(files, "Patient");
    const QString when =
        files.fieldByName(QStringLiteral("Date"))->displayText() + QStringLiteral(" (") +
        files.fieldByName(QStringLiteral("Time"))->displayText() + QStringLiteral(")");
    const QString title = cfg.findKey({source}) ? FieldText(cfg, "Titul") : QString();
    QString patientText;
    if (needId == 1)
        patientText = LC1->GetConst(7);
    else if (patient != 0)
        patientText = PatientName(patient);
    return {title, patientText, when};
}

QTreeWidgetItem* TMainForm::NewDocumentItem(const QStringList& Texts, int Patient)
{
    auto* item = new QTreeWidgetItem(Texts);
    item->setFlags(item->flags() | Qt::ItemNeverHasChildren);
    item->setData(0, PatientRole, Patient);
    return item;
}

void TMainForm::RebuildDocumentList()
{
    ForgetDocumentList();
    LocalTable& files = *DataTables->files;
    // Watched from before the walk, so that nothing written after it is missed.
    DbConnection& connection = ConnectionOf(files);
    QStringList watched{files.tableName(), DataTables->cfg->tableName()};
    if (!PracticeDBInUse)
        watched << DataTables->Patients_Local->tableName();
    m_documentWatch = sqlitedb::watchRows(connection, watched);
    {
        auto st =
            connection.prepare(QStringLiteral("SELECT rowid, \"Number\" FROM %1 WHERE \"Type\" = 0")
                                   .arg(quoteSqlName(files.tableName())));
        while (st->step()) {
            const qint64 rowid = st->columnValue(0).toInt64();
            const int number = int(st->columnValue(1).toInt64());
            m_listedRows.insert(rowid, number);
            m_rowOfDocument.insert(number, rowid);
        }
    }

    // Newest first; further pages of a document are not listed.
    QList<std::pair<QStringList, int>> rows;
    files.last();
    while (!files.bof()) {
        if (FieldInt(files, "Type") == 0) {
            rows.append({DocumentRowTexts(), FieldInt(files, "Patient")});
            DocNumbers.append(FieldInt(files, "Number"));
        }
        files.prior();
    }
    // Made one after the other, the items lie together in memory, which the list's layout
    // walks over each time a row comes or goes.
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const auto& [texts, patient] : rows)
        items.append(NewDocumentItem(texts, patient));
    ListView1->addTopLevelItems(items);
    FitColumns(ListView1);
}

bool TMainForm::FollowDocumentChanges()
{
    if (!m_documentWatch)
        return false;
    sqlitedb::RowWatch::Changes changes = m_documentWatch->take();
    LocalTable& files = *DataTables->files;
    const QString filesName = files.tableName().toLower();
    const QString patientsName = DataTables->Patients_Local->tableName().toLower();
    // A source's title is shown on each of its rows: a changed source is seldom worth following.
    if (!changes.complete || changes.rows.contains(DataTables->cfg->tableName().toLower()))
        return false;
    DbConnection& connection = ConnectionOf(files);

    // Patients whose name changed: the rows that show them are written again.
    QSet<int> renamed;
    if (changes.rows.contains(patientsName)) {
        auto st =
            connection.prepare(QStringLiteral("SELECT \"Patient_ID\" FROM %1 WHERE rowid = ?")
                                   .arg(quoteSqlName(DataTables->Patients_Local->tableName())));
        for (const qint64 rowid : changes.rows.value(patientsName)) {
            st->reset();
            st->bind(0, Variant(rowid));
            // A patient removed may be shown on any row.
            if (!st->step())
                return false;
            renamed.insert(int(st->columnValue(0).toInt64()));
        }
    }

    QList<QTreeWidgetItem*> shown;
    // Numbers run downwards, newest first.
    const auto placeOf = [this](int number) {
        return int(
            std::lower_bound(DocNumbers.begin(), DocNumbers.end(), number, std::greater<int>()) -
            DocNumbers.begin());
    };
    const auto unlist = [&](int number) {
        const int at = placeOf(number);
        if (at < DocNumbers.size() && DocNumbers.at(at) == number) {
            shown.removeOne(ListView1->topLevelItem(at));
            delete ListView1->takeTopLevelItem(at);
            DocNumbers.removeAt(at);
        }
        m_listedRows.remove(m_rowOfDocument.take(number));
    };
    auto st =
        connection.prepare(QStringLiteral("SELECT \"Number\", \"Type\" FROM %1 WHERE rowid = ?")
                               .arg(quoteSqlName(files.tableName())));
    for (const qint64 rowid : changes.rows.value(filesName)) {
        st->reset();
        st->bind(0, Variant(rowid));
        const bool listed = st->step() && st->columnValue(1).toInt64() == 0;
        const int number = listed ? int(st->columnValue(0).toInt64()) : 0;
        st->reset();
        const int before = m_listedRows.value(rowid, 0);
        if (before != 0 && before != number && m_rowOfDocument.value(before) == rowid)
            unlist(before);
        if (!listed)
            continue;
        // Another row listed under this number belonged to a document removed since.
        if (m_rowOfDocument.value(number, rowid) != rowid)
            unlist(number);
        if (!files.findKey({number}))
            return false; // written meanwhile by another hand: read everything again
        const QStringList texts = DocumentRowTexts();
        const int patient = FieldInt(files, "Patient");
        m_listedRows.insert(rowid, number);
        m_rowOfDocument.insert(number, rowid);
        const int at = placeOf(number);
        QTreeWidgetItem* item = nullptr;
        if (at < DocNumbers.size() && DocNumbers.at(at) == number) {
            item = ListView1->topLevelItem(at);
            for (int c = 0; c < texts.size(); ++c)
                item->setText(c, texts.at(c));
            item->setData(0, PatientRole, patient);
        } else {
            item = NewDocumentItem(texts, patient);
            ListView1->insertTopLevelItem(at, item);
            DocNumbers.insert(at, number);
        }
        if (!shown.contains(item))
            shown.append(item);
    }

    if (!renamed.isEmpty()) {
        for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = ListView1->topLevelItem(i);
            const int patient = item->data(0, PatientRole).toInt();
            if (!renamed.contains(patient) || !files.findKey({DocNumbers.at(i)}) ||
                FieldInt(files, "NeedId") == 1)
                continue;
            item->setText(1, PatientName(patient));
            if (!shown.contains(item))
                shown.append(item);
        }
    }
    WidenColumns(ListView1, shown);
    return true;
}

// ---- the sources list

void TMainForm::FillSourceList()
{
    ListView2->clear();
    SourceNumbers.clear();
    LocalTable& cfg = *DataTables->cfg;
    TableAction(cfg, 2);
    cfg.setIndexName(QString());
    for (cfg.first(); !cfg.eof(); cfg.next()) {
        const int number = FieldInt(cfg, "Number");
        const int type = FieldInt(cfg, "Type");
        const int state = FieldInt(cfg, "State");
        const QString typeText =
            type >= FirstSourceType && type <= LastSourceType ? LC1->GetConst(type - 1) : QString();
        QString parameters;
        int port = 0;
        switch (type) {
        case stFolder:
            if (seekPrimary(*DataTables->fRep, number))
                parameters = FieldText(*DataTables->fRep, "Dir") + QStringLiteral("/") +
                             FieldText(*DataTables->fRep, "Pattern");
            break;
        case stBreeze:
            if (seekPrimary(*DataTables->rcfiles, number))
                parameters = FieldText(*DataTables->rcfiles, "File") + QStringLiteral(" (.") +
                             FieldText(*DataTables->rcfiles, "Extension") + QStringLiteral(")");
            break;
        case stPrinter:
            if (seekPrimary(*DataTables->prn, number))
                parameters = FieldText(*DataTables->prn, "Printer");
            break;
        case stSerial:
            if (seekPrimary(*DataTables->com, number)) {
                parameters = QStringLiteral("COM") + FieldText(*DataTables->com, "Com");
                port = FieldInt(*DataTables->com, "Com");
            }
            break;
        default:
            break;
        }
        auto* item = new QTreeWidgetItem(
            ListView2, {FieldText(cfg, "Titul"), typeText, QString(), parameters});
        item->setData(2, SourceStateRole, state);
        item->setData(2, SourcePortRole, port);
        SourceNumbers.append(number);
        ShowSourceState(item, number);
    }
    FitColumns(ListView2);
    selectRow(ListView2, 0);
}

void TMainForm::ShowSourceState(QTreeWidgetItem* Item, int Number)
{
    const int state = Item->data(2, SourceStateRole).toInt();
    QString text = state == 1 ? LC1->GetConst(5) : state == 2 ? LC1->GetConst(6) : QString();
    // An active serial source whose port could not be opened says so, and why in its hint.
    const QString failure =
        state == 1 ? ComPortFailure(Item->data(2, SourcePortRole).toInt(), Number) : QString();
    if (!failure.isEmpty())
        text += QStringLiteral(" (") + uiText(UiText::SerialNotConnected) + QStringLiteral(")");
    Item->setText(2, text);
    Item->setToolTip(2, failure);
}

void TMainForm::ShowSourceStates()
{
    QList<QTreeWidgetItem*> items;
    for (int row = 0; row < ListView2->topLevelItemCount() && row < SourceNumbers.size(); ++row) {
        QTreeWidgetItem* item = ListView2->topLevelItem(row);
        const QString before = item->text(2);
        ShowSourceState(item, SourceNumbers.at(row));
        if (item->text(2) != before)
            items.append(item);
    }
    WidenColumns(ListView2, items);
}

// ---- document commands

void TMainForm::ListView1DblClick(QObject* Sender)
{
    bViewClick(Sender);
}

void TMainForm::bViewClick(QObject*)
{
    const int row = SelectedRow(ListView1);
    if (row < 0 || row >= DocNumbers.size()) {
        ListView1->setFocus();
        return;
    }
    const int number = DocNumbers.at(row);
    if (!seekPrimary(*DataTables->files, number)) {
        FillDocumentList();
        return;
    }
    MainFormModules().ViewDocument(number);
}

void TMainForm::bIdentifyClick(QObject*)
{
    const int row = SelectedRow(ListView1);
    if (row < 0 || row >= DocNumbers.size()) {
        ListView1->setFocus();
        return;
    }
    LocalTable& files = *DataTables->files;
    if (!seekPrimary(files, DocNumbers.at(row))) {
        FillDocumentList();
        return;
    }
    CurrentNumber = DocNumbers.at(row);
    IdentificationActive = true;
    const auto done = qScopeGuard([this] {
        IdentificationActive = false;
        ListView1->setFocus();
    });
    std::exception_ptr failure;
    try {
        MainFormModules().ShowIdDlg();
    } catch (...) {
        failure = std::current_exception();
    }
    RereadPatientNamesNextFill();
    // The list may have been refilled while the dialog was open: the document's row is found
    // again by its number.
    const int shown = int(DocNumbers.indexOf(CurrentNumber));
    if (shown >= 0 && seekPrimary(files, CurrentNumber)) {
        const int patient = FieldInt(files, "Patient");
        if (patient == 0) {
            ListView1->topLevelItem(shown)->setText(1, QString());
        } else {
            const QString name = PatientName(patient);
            if (!name.isEmpty())
                ListView1->topLevelItem(shown)->setText(1, name);
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TMainForm::bDeleteClick(QObject*)
{
    const int row = SelectedRow(ListView1);
    if (row < 0 || row >= DocNumbers.size()) {
        ListView1->setFocus();
        return;
    }
    const int number = DocNumbers.at(row);
    if (dialogService().messageDlg(LC1->GetConst(10), mtConfirmation,
                                   TMsgDlgButtons(mbYes) | mbNo) != mrYes)
        return;
    LocalTable& files = *DataTables->files;
    const auto refill = qScopeGuard([this] {
        FillDocumentList();
        ListView1->setFocus();
    });
    if (!seekPrimary(files, number))
        return;
    // The source type names the data files; a source deleted since leaves them in place.
    const int source = FieldInt(files, "Cfg");
    const int type = seekPrimary(*DataTables->cfg, source) ? FieldInt(*DataTables->cfg, "Type") : 0;
    // A serial result stays in the documents' folder: the analyser may not send it again.
    const bool deleteFiles =
        type == stFolder || type == stBreeze || type == stPrinter || type == stScreen;
    const auto deleteDataFile = [deleteFiles, type](int documentNumber) {
        if (!deleteFiles)
            return;
        const QString dataFile = FindDocumentFile(documentNumber, type);
        if (!dataFile.isEmpty())
            IsFileFree(dataFile);
    };
    deleteDataFile(number);
    files.deleteRecord();
    files.setIndexName(QStringLiteral("type_index"));
    while (TableActionGuarded(files, {number})) {
        deleteDataFile(FieldInt(files, "Number"));
        files.deleteRecord();
    }
    files.setIndexName(QString());
}

// ---- source commands

void TMainForm::AddClick(QObject*)
{
    EditedSourceNumber = 0;
    if (MainFormModules().ExecuteConfigForm() == mrOk) {
        FillSourceList();
        const int row = int(SourceNumbers.indexOf(EditedSourceNumber));
        if (row >= 0)
            selectRow(ListView2, row);
    }
    ListView2->setFocus();
}

void TMainForm::ListView2DblClick(QObject* Sender)
{
    bModifyClick(Sender);
}

void TMainForm::bModifyClick(QObject*)
{
    const int row = SelectedRow(ListView2);
    if (row >= 0 && row < SourceNumbers.size()) {
        if (!seekPrimary(*DataTables->cfg, SourceNumbers.at(row))) {
            FillSourceList();
        } else {
            EditedSourceNumber = SourceNumbers.at(row);
            if (MainFormModules().ExecuteConfigForm() == mrOk)
                FillSourceList();
        }
    }
    ListView2->setFocus();
}

void TMainForm::BitBtn9Click(QObject*)
{
    const auto focus = qScopeGuard([this] { ListView2->setFocus(); });
    if (dialogService().messageDlg(LC1->GetConst(11), mtConfirmation,
                                   TMsgDlgButtons(mbYes) | mbNo) != mrYes)
        return;
    const int row = SelectedRow(ListView2);
    if (row < 0 || row >= SourceNumbers.size())
        return;
    const int number = SourceNumbers.at(row);
    LocalTable& cfg = *DataTables->cfg;
    if (!seekPrimary(cfg, number)) {
        FillSourceList();
        return;
    }
    const int type = FieldInt(cfg, "Type");
    LocalTable* parameters = nullptr;
    switch (type) {
    case stFolder:
        parameters = DataTables->fRep;
        break;
    case stBreeze:
        parameters = DataTables->rcfiles;
        break;
    case stPrinter:
        parameters = DataTables->prn;
        break;
    case stSerial:
        parameters = DataTables->com;
        break;
    default:
        break;
    }
    if (parameters && seekPrimary(*parameters, number))
        parameters->deleteRecord();
    if (seekPrimary(cfg, number))
        cfg.deleteRecord();
    if (type == stScreen)
        MainFormModules().InitClipboardSource();
    FillSourceList();
}

void TMainForm::BitBtn10Click(QObject*)
{
    const auto focus = qScopeGuard([this] { ListView2->setFocus(); });
    const int row = SelectedRow(ListView2);
    if (row < 0 || row >= SourceNumbers.size())
        return;
    const int number = SourceNumbers.at(row);
    LocalTable& cfg = *DataTables->cfg;
    if (!seekPrimary(cfg, number)) {
        FillSourceList();
        return;
    }
    const int state = FieldInt(cfg, "State");
    LocalTable& com = *DataTables->com;
    QString openFailure;
    if (FieldInt(cfg, "Type") == stSerial && seekPrimary(com, number)) {
        const int port = FieldInt(com, "Com");
        // A port number outside 1..8 names no slot: the state is toggled all the same.
        if (port >= 1 && port <= TComPortSlots::Count) {
            TComPortSlot& slot = ComPortSlots[port];
            slot.State = 0;
            if (TCommPortDriver* driver = slot.Port) {
                if (state == 1) {
                    driver->Disconnect();
                    driver->ForgetConnectFailure();
                } else {
                    driver->SetComPort(TComPortNumber(PortNumberToIndex(port)));
                    driver->SetDeviceName(ComPortDevice(port));
                    driver->SetComPortSpeed(
                        TComPortBaudRate(BaudIndexToRate(FieldInt(com, "Baud Rate"))));
                    driver->SetComPortDataBits(
                        TComPortDataBits(DataBitsToEnum(FieldInt(com, "Data Bits"))));
                    driver->SetComPortStopBits(TComPortStopBits(
                        StopBitsToEnum(com.fieldByName(QStringLiteral("Stop Bits"))->asFloat())));
                    driver->SetComPortParity(TComPortParity(ParityToEnum(FieldInt(com, "Parity"))));
                    driver->SetEnableDTROnOpen(IniFile(IniFileName)
                                                   .readInteger(comOptionsSection(port),
                                                                QStringLiteral("EnableDTROnOpen"),
                                                                0) == 1);
                    // Told once, here: the attempts that follow go on unattended.
                    if (!driver->Connect())
                        openFailure = ComPortFailureMessage(port);
                }
            }
        }
    }
    const int newState = state == 1 ? 2 : 1;
    if (!seekPrimary(cfg, number)) {
        FillSourceList();
        return;
    }
    cfg.edit();
    cfg.fieldByName(QStringLiteral("State"))->setAsInteger(newState);
    FlushTable(cfg, QString());
    if (QTreeWidgetItem* item = ListView2->topLevelItem(row)) {
        item->setData(2, SourceStateRole, newState);
        ShowSourceState(item, number);
        WidenColumns(ListView2, {item});
    }
    selectRow(ListView2, row);
    if (!openFailure.isEmpty())
        dialogService().messageDlg(openFailure, mtWarning, mbOK);
}

void TMainForm::ConfigBtnClick(QObject*)
{
    if (ConfigBtn->isChecked()) {
        ConfigPanelOpen = true;
        SetClientHeight(OpenPanelHeight);
        Panel2->show();
        Image3->show();
        MainFormModules().CloseAllComPorts();
    } else {
        ConfigPanelOpen = false;
        Panel2->hide();
        SetClientHeight(ClosedPanelHeight);
        Image3->hide();
        MainFormModules().OpenConfiguredComPorts();
    }
    // The serial sources as their ports are now, without waiting for the ports' own signals.
    ShowSourceStates();
}

// ---- other commands

void TMainForm::bTransferClick(QObject*)
{
    const qint32 openPackage = CurrentPack;
    MainFormModules().ShowPackDlg();
    if (CurrentPack != openPackage) {
        FillDocumentList();
        HideMainWindow();
    }
}

void TMainForm::bShowLOGClick(QObject*)
{
    TLOGForm* form = CreateForm<TLOGForm>();
    form->mLOG->clear();
    if (QFileInfo::exists(LogFileName)) {
        const QStringList lines = ReadLogTail(LogFileName);
        form->mLOG->setPlainText(lines.join(QLatin1Char('\n')));
        form->mLOG->verticalScrollBar()->setValue(form->mLOG->verticalScrollBar()->maximum());
    }
    QPointer<TLOGForm> guard(form);
    form->ShowModal();
    if (guard)
        guard->Free();
}

void TMainForm::User1Click(QObject*)
{
    QString name = Label6->text() == LC1->GetConst(17) ? QString() : Label6->text();
    if (!dialogService().inputQuery(LC1->GetConst(18), LC1->GetConst(19), name) || name.isEmpty())
        return;
    Label6->setText(name);
    IniFile(IniFileName).writeString(QStringLiteral("Application"), QStringLiteral("User"), name);
}

void TMainForm::IWaitModeClick(QObject*)
{
    WaitMode = !WaitMode;
    IWaitMode->setChecked(WaitMode);
    IniFile(IniFileName)
        .writeInteger(QStringLiteral("Application"), QStringLiteral("WaitMode"), WaitMode ? 1 : 0);
}

void TMainForm::miDirectSendClick(QObject*)
{
    if (miDirectSend->isChecked()) {
        DirectSend = false;
        bTransfer->setEnabled(true);
        miDirectSend->setChecked(false);
    } else {
        DirectSend = true;
        bTransfer->setEnabled(false);
        miDirectSend->setChecked(true);
        IdleTicks = 0;
    }
}

void TMainForm::Compression1Click(QObject*)
{
    MainFormModules().ShowCompForm();
}

void TMainForm::TestforCOM11Click(QObject*)
{
    MainFormModules().ShowTestForm();
}

void TMainForm::Deletepackages1Click(QObject*)
{
    MainFormModules().ShowDelDlg();
}

void TMainForm::About1Click(QObject*)
{
    MainFormModules().ShowAboutBox();
}

// ---- entry points

void TMainForm::WMScreenCapture()
{
    if (ScreenSourceNumber != 0)
        RefreshDocuments(MainFormModules().CaptureClipboardBitmap(BufDir));
}

void TMainForm::ReceiveOnSlot(int Slot, const char* Data, int Count)
{
    {
        // A result that cannot be registered (a locked database, a full disk) is told once the
        // handler is over: a box opened here would stop the port's timer, and with it the
        // reading of the analyser, until somebody answers it.
        const HeldReports held;
        try {
            ReceiveComData(Slot, Count, Data);
        } catch (const std::exception& e) {
            Application::handleException(this, e);
        } catch (...) {
            Application::handleException(this, Exception(uiText(UiText::UnknownException)));
        }
    }
    if (HeldReportsWaiting())
        QTimer::singleShot(0, this, [] { ShowHeldReports(); });
}

void TMainForm::ComPort1Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(1, Data, Count);
}

void TMainForm::ComPort2Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(2, Data, Count);
}

void TMainForm::ComPort3Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(3, Data, Count);
}

void TMainForm::ComPort4Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(4, Data, Count);
}

void TMainForm::ComPort5Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(5, Data, Count);
}

void TMainForm::ComPort6Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(6, Data, Count);
}

void TMainForm::ComPort7Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(7, Data, Count);
}

void TMainForm::ComPort8Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveOnSlot(8, Data, Count);
}
