// Exception reporting: which exceptions get a plain box, which get the lock and damage messages,
// and the error window with its log lines.
#include "apperror.h"

#include "errorform.h"

#include <app/mainwindow/mainform_texts.h>
#include <platform/db/enginecodes.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/format.h>
#include <platform/process.h>
#include <platform/support/logfile.h>
#include <translation/lc.h>

#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QSet>

namespace {

bool g_inHandler = false;

QString mainText(int n)
{
    return MainFormTexts().GetConst(n);
}

// One report: what it shows and, for the error window, what it logs.
struct Report
{
    enum class Box {
        Exception,    // the standard exception box, nothing logged
        RecordLocked, // the record-lock box, with Retry leading to the error window
        Locked,       // the lock box
        Damaged,      // the damaged-database box
        ErrorWindow,
    };
    Box box = Box::ErrorWindow;
    QString message;      // the box's text, or what the error window describes
    QStringList logLines; // the error window's lines, before it opens
    QString cause;        // the same for the same failure, so that it is told once
};

Report prepare(const std::exception& e)
{
    Report r;
    r.message = exceptionMessage(e);
    if (dynamic_cast<const EDBEditError*>(&e) || dynamic_cast<const EConvertError*>(&e)) {
        r.box = Report::Box::Exception;
        r.cause = QStringLiteral("exception:") + r.message;
        return r;
    }
    const auto* engine = dynamic_cast<const EngineError*>(&e);
    if (engine) {
        const int code = engine->errorCode();
        r.cause = QStringLiteral("engine %1:").arg(code);
        if (code == EngineCode::RecordLocked)
            r.box = Report::Box::RecordLocked;
        else if (code == EngineCode::Locked)
            r.box = Report::Box::Locked;
        else if (EngineCode::isDamagedTable(code))
            r.box = Report::Box::Damaged;
    }
    if (r.box == Report::Box::Locked || r.box == Report::Box::Damaged)
        return r; // one box whatever the engine said
    QStringList descr;
    if (engine && !engine->entries().isEmpty()) {
        const EngineError::Entry& first = engine->entries().first();
        const QString detail = QStringLiteral("%1 %2/%3 - %4")
                                   .arg(first.errorCode)
                                   .arg(first.category())
                                   .arg(first.subCode())
                                   .arg(first.message);
        r.logLines << QStringLiteral("DB! ") + detail;
        descr << QStringLiteral("Erreur No.") + detail;
        for (qsizetype i = 1; i < engine->entries().size(); ++i) {
            r.logLines << QStringLiteral("DB! ") + engine->entries().at(i).message;
            descr << engine->entries().at(i).message;
        }
    } else {
        r.logLines << QStringLiteral("! ") + r.message;
        descr << r.message;
    }
    r.message = descr.join(QLatin1Char('\n'));
    r.cause += r.message;
    return r;
}

// What the log says of the failure as it happens (the record-lock box logs only when retried).
void logReport(const Report& r)
{
    switch (r.box) {
    case Report::Box::Locked:
        WriteToLog(mainText(13));
        break;
    case Report::Box::Damaged:
        WriteToLog(mainText(15));
        break;
    case Report::Box::ErrorWindow:
        for (const QString& line : r.logLines)
            WriteToLog(line);
        break;
    case Report::Box::Exception:
    case Report::Box::RecordLocked:
        break;
    }
}

void showErrorWindow(const QString& descr)
{
    TfError* form = CreateForm<TfError>();
    form->Descr->setPlainText(descr);
    form->ShowModal();
    const QString typed = form->Memo1->toPlainText();
    if (!typed.isEmpty()) {
        for (const QString& line : typed.split(QLatin1Char('\n')))
            WriteToLog(QStringLiteral("> ") + line);
    }
    form->Free();
}

void show(const Report& r)
{
    setScreenCursor(crDefault);
    switch (r.box) {
    case Report::Box::Exception:
        dialogService().showException(r.message);
        return;
    case Report::Box::RecordLocked:
        if (dialogService().messageDlg(mainText(12), mtWarning, TMsgDlgButtons(mbOK) | mbRetry) !=
            mrRetry)
            return;
        for (const QString& line : r.logLines)
            WriteToLog(line);
        showErrorWindow(r.message);
        return;
    case Report::Box::Locked:
        dialogService().messageDlg(mainText(14), mtWarning, mbOK);
        return;
    case Report::Box::Damaged:
        dialogService().messageDlg(Format(mainText(16), {QStringLiteral("\n\r")}), mtWarning, mbOK);
        return;
    case Report::Box::ErrorWindow:
        showErrorWindow(r.message);
        return;
    }
}

// The reports held while the polling loop works, and the causes told.
struct HeldState
{
    int holders = 0;
    bool showing = false;
    QList<Report> waiting;
    QString shown; // the cause of the box open now
    QSet<QString> told;
};

HeldState& held()
{
    static HeldState state;
    return state;
}

} // namespace

void LogException(const std::exception& e)
{
    const Report r = prepare(e);
    logReport(r);
    show(r);
}

void AppException(QObject*, const std::exception& e)
{
    HeldState& h = held();
    if (h.holders > 0) {
        Report r = prepare(e);
        logReport(r);
        if (!h.told.contains(r.cause)) {
            h.told.insert(r.cause);
            h.waiting.append(std::move(r));
        }
        return;
    }
    if (g_inHandler)
        return;
    const QScopedValueRollback inHandler(g_inHandler, true);
    LogException(e);
}

HeldReports::HeldReports()
{
    ++held().holders;
}

HeldReports::~HeldReports()
{
    --held().holders;
}

void ShowHeldReports()
{
    HeldState& h = held();
    if (h.holders > 0 || h.showing)
        return; // the loop that shows them now takes the new ones too
    h.showing = true;
    while (!h.waiting.isEmpty() && !terminationRequested()) {
        const Report r = h.waiting.takeFirst();
        h.shown = r.cause;
        // Not marked as inside the handler: the polling goes on under the box, and a window it
        // opens there (the identification dialog) reports its own failures as usual.
        show(r);
    }
    h.waiting.clear(); // the program ends: nobody is left to read them
    h.shown.clear();
    h.showing = false;
}

bool HeldReportsWaiting()
{
    const HeldState& h = held();
    return !h.waiting.isEmpty() && !h.showing;
}

void ForgetToldCauses()
{
    HeldState& h = held();
    // A box still open or waiting keeps its cause: the same failure meanwhile adds none.
    h.told.clear();
    if (!h.shown.isEmpty())
        h.told.insert(h.shown);
    for (const Report& r : std::as_const(h.waiting))
        h.told.insert(r.cause);
}

void DiscardHeldReports()
{
    held().waiting.clear();
    ForgetToldCauses();
}
