// The main window's two lists (documents and sources) and the commands applied to them, the menu
// commands, the log viewer and the entry points of other programs and components.
#include "mainform.h"

#include "mainmodules.h"
#include "showlog.h"

#include <analysers/comslots.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/patients/directsend.h>
#include <app/sources/configform.h>
#include <app/sources/screen_source.h>
#include <platform/data/field.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/dialogs.h>
#include <platform/inifile.h>
#include <platform/serial/serialline.h>
#include <platform/support/docfiles.h>
#include <platform/support/paths.h>
#include <translation/lc.h>

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTreeWidget>

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

void TMainForm::FillDocumentList()
{
    ListView1->clear();
    DocNumbers.clear();
    LocalTable& files = *DataTables->files;
    LocalTable& cfg = *DataTables->cfg;
    TableAction(files, 2);
    // Tables that had to be reopened show nothing until the next refill.
    if (!files.isEmpty() && !CheckTables())
        return;
    files.setIndexName(QString());
    cfg.setIndexName(QString());

    // Newest first; further pages of a document are not listed.
    files.last();
    while (!files.bof()) {
        if (FieldInt(files, "Type") == 0) {
            const int number = FieldInt(files, "Number");
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
            new QTreeWidgetItem(ListView1, {title, patientText, when});
            DocNumbers.append(number);
        }
        files.prior();
    }
    FitColumns(ListView1);
    selectRow(ListView1, 0);
    const bool any = !DocNumbers.isEmpty();
    bView->setEnabled(any);
    bIdentify->setEnabled(any);
    bComment->setEnabled(any);
    bDelete->setEnabled(any);
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
        const QString stateText = state == 1   ? LC1->GetConst(5)
                                  : state == 2 ? LC1->GetConst(6)
                                               : QString();
        QString parameters;
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
            if (seekPrimary(*DataTables->com, number))
                parameters = QStringLiteral("COM") + FieldText(*DataTables->com, "Com");
            break;
        default:
            break;
        }
        new QTreeWidgetItem(ListView2, {FieldText(cfg, "Titul"), typeText, stateText, parameters});
        SourceNumbers.append(number);
    }
    FitColumns(ListView2);
    selectRow(ListView2, 0);
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
    if (FieldInt(cfg, "Type") == stSerial && seekPrimary(com, number)) {
        const int port = FieldInt(com, "Com");
        // A port number outside 1..8 names no slot: the state is toggled all the same.
        if (port >= 1 && port <= TComPortSlots::Count) {
            TComPortSlot& slot = ComPortSlots[port];
            slot.State = 0;
            if (TCommPortDriver* driver = slot.Port) {
                if (state == 1) {
                    driver->Disconnect();
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
                    driver->Connect();
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
    if (QTreeWidgetItem* item = ListView2->topLevelItem(row))
        item->setText(2, LC1->GetConst(newState == 1 ? 5 : 6));
    selectRow(ListView2, row);
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

void TMainForm::ComPort1Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(1, Count, Data);
}

void TMainForm::ComPort2Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(2, Count, Data);
}

void TMainForm::ComPort3Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(3, Count, Data);
}

void TMainForm::ComPort4Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(4, Count, Data);
}

void TMainForm::ComPort5Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(5, Count, Data);
}

void TMainForm::ComPort6Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(6, Count, Data);
}

void TMainForm::ComPort7Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(7, Count, Data);
}

void TMainForm::ComPort8Receive(TCommPortDriver*, const char* Data, int Count)
{
    ReceiveComData(8, Count, Data);
}
