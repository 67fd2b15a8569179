// The one-second polling loop of the main window: the first tick, the clock, the sources polled in
// their order, direct send after six quiet ticks, the identification of waiting documents and the
// warnings that bring the window to the front.
#include "mainform.h"

#include "mainmodules.h"
#include "titul.h"

#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/packages/packages.h>
#include <app/patients/directsend.h>
#include <app/sources/folder_source.h>
#include <app/sources/printer_source.h>
#include <app/sources/screen_source.h>
#include <platform/clock.h>
#include <platform/data/field.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/dialogs.h>
#include <platform/inifile.h>
#include <platform/regional.h>
#include <platform/support/logfile.h>
#include <platform/ui/application.h>
#include <platform/uitexts.h>
#include <translation/lc.h>

#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <optional>
#include <utility>

namespace {

// Hands an exception that ended a step of the loop to the application's exception handler.
void report(QObject* sender, std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        Application::handleException(sender, e);
    } catch (...) {
        Application::handleException(sender, Exception(uiText(UiText::UnknownException)));
    }
}

} // namespace

/*
    One tick:

        first tick ──> splash freed, old packages purged, user name asked; no polling
        later ticks:
          busy? ──yes──> return
          clock labels
          manual reception or sources panel open? ──yes──> return
          busy := true
          poll folders, Breeze, printer, serial buffers, screen (their failures held)
          new document? ──yes──> list refilled, quiet count 0, end
          quiet count: 0..4 grows; 5 runs direct send (then 0 or -1; failures held); -1 waits
          no identification dialog open? ──> identify the first waiting document, then clear the
                                              first warning document
          busy := false; the held failures told, polling going on under their boxes
*/
void TMainForm::CommonTimerTimer(QObject*)
{
    if (FirstTick) {
        FirstTickStep();
        return;
    }
    if (TimerBusy)
        return;
    UpdateClock();
    TellLogFailure();
    if (WaitMode || ConfigPanelOpen)
        return;
    TimerBusy = true;
    std::exception_ptr failure;
    try {
        PollingStep();
    } catch (...) {
        failure = std::current_exception();
    }
    TimerBusy = false;
    TickEnded();
    if (failure) {
        const HeldReports held;
        report(this, failure);
    }
    // What failed is told apart from the tick, as soon as the program is back in its event loop:
    // a timer does not fire again while its handler runs, so a box opened here would stop the
    // polling until somebody answers it.
    if (HeldReportsWaiting())
        QTimer::singleShot(0, this, [] { ShowHeldReports(); });
    if (m_quitPending)
        CarryOutQuit();
}

void TMainForm::TellLogFailure()
{
    if (m_logFailure.isEmpty())
        return;
    QString reason = std::exchange(m_logFailure, QString());
    // A log on a full disk may take a short line now and then between the ones it loses: the
    // same cause is told once, not at each of them.
    if (reason == m_logFailureTold)
        return;
    m_logFailureTold = reason;
    m_logFailureShowing = true;
    // Opened apart from the tick, so that polling goes on while the box waits for its OK.
    QTimer::singleShot(0, this, [this, reason = std::move(reason)] {
        dialogService().messageDlg(
            uiText(UiText::LogNotWritten).arg(OperationsLogFileName(), reason), mtError, mbOK);
        m_logFailureShowing = false;
    });
}

void TMainForm::ForgetToldFailures()
{
    ForgetToldCauses();
    if (!m_logFailureShowing)
        m_logFailureTold.clear();
}

void TMainForm::FirstTickStep()
{
    CommonTimer->stop();
    m_firstTickRunning = true;
    std::exception_ptr failure;
    try {
        if (Titul) {
            TTitul* splash = Titul;
            Titul = nullptr;
            splash->Free();
        }
        // Cleared first: a first tick that fails is reported once, not again every second.
        FirstTick = false;
        const int interval =
            IniFile(IniFileName)
                .readInteger(QStringLiteral("Application"), QStringLiteral("DelInterval"), -1);
        // Any negative interval means "keep every package": counted back from today it would
        // name a day to come and purge the packages still being filled.
        if (interval >= 0)
            MainFormModules().PurgeOldPackages(clock::now().date().addDays(-interval));
        if (Label6->text() == LC1->GetConst(17))
            User1Click(User1);
    } catch (...) {
        failure = std::current_exception();
    }
    m_firstTickRunning = false;
    TickEnded();
    // Polling goes on whatever became of the first tick.
    if (!m_closing)
        CommonTimer->start();
    if (failure)
        report(this, failure);
    if (m_quitPending)
        CarryOutQuit();
}

void TMainForm::TickEnded()
{
    if (m_testSigns)
        std::fprintf(stderr, "QUORVANE tick %d ended\n", ++m_ticksEnded);
}

void TMainForm::UpdateClock()
{
    const TDateTime now = toDateTime(clock::now());
    const QString time = TimeToStr(now);
    if (Label5->text() != time) {
        Label5->setText(time);
        const QString date = DateToStr(now);
        if (Label4->text() != date)
            Label4->setText(date);
    }
}

void TMainForm::PollingStep()
{
    TMainFormModules& modules = MainFormModules();
    // A failure of the sources or of direct send waits for the end of the tick to be told: a box
    // opened here would stop the polling until somebody answers it. The identification dialog
    // is the user's, and tells its failures at once.
    std::optional<HeldReports> held(std::in_place);
    bool found = false;
    if (FileSourceCount != 0)
        found = modules.PollFileSources() || found;
    found = modules.PollBreezeSources() || found;
    if (PrinterSourceCount != 0)
        found = modules.PollPrinterSources(SpoolDir, BufDir) || found;
    found = modules.PollComBuffers() || found;
    if (ScreenSourceNumber != 0)
        found = modules.CaptureClipboardBitmap(BufDir) != 0 || found;
    if (found) {
        ForgetToldFailures();
        FillDocumentList();
        IdleTicks = 0;
        return;
    }

    if (IdleTicks >= 0 && IdleTicks <= 4) {
        ++IdleTicks;
    } else if (IdleTicks >= 5) {
        int flags = 0;
        modules.ExportPendingDocuments(flags);
        if (flags & dsExported)
            FillDocumentList();
        IdleTicks = (flags & dsHeldBack) ? 0 : -1;
    }
    held.reset();

    if (!IdentificationActive) {
        IdentificationStep();
        WarningStep();
    }
}

void TMainForm::IdentificationStep()
{
    LocalTable& files = *DataTables->files;
    files.setIndexName(QStringLiteral("NeedId_index"));
    if (!TableActionGuarded(files, {1, 0}))
        return;
    // The documents of a package being built are not offered: they are leaving.
    while (DocumentBeingPacked(FieldInt(files, "Number"))) {
        files.next();
        if (files.eof() || FieldInt(files, "NeedId") != 1 || FieldInt(files, "Type") != 0)
            return;
    }
    CurrentNumber = int(files.fieldByName(QStringLiteral("Number"))->asInteger());
    TMainFormModules& modules = MainFormModules();
    std::exception_ptr failure;
    try {
        if (!modules.IdentifyFile(CurrentNumber)) {
            IdentificationActive = true;
            modules.ShowIdDlg();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    RereadPatientNamesNextFill();
    // Put back whatever became of the identification, so that the next tick offers the next
    // document and direct send no longer holds this one back.
    IdentificationActive = false;
    IdleTicks = 0;
    try {
        files.setIndexName(QString());
        files.findKey({CurrentNumber});
        FillDocumentList();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TMainForm::WarningStep()
{
    LocalTable& files = *DataTables->files;
    files.setIndexName(QStringLiteral("NeedId_index"));
    if (!TableActionGuarded(files, {2, 0}))
        return;
    files.edit();
    files.fieldByName(QStringLiteral("NeedId"))->setAsInteger(0);
    FlushTable(files, QString());
    BringToFront();
    IdleTicks = 0;
}

void TMainForm::RefreshDocuments(int Value)
{
    if (Value < 1)
        return;
    ForgetToldFailures();
    FillDocumentList();
    IdleTicks = 0;
}
