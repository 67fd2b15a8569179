// Exception reporting: which exceptions get a plain box, which get the lock and damage messages,
// and the error window with its log lines.
#include "apperror.h"

#include "errorform.h"

#include <app/mainwindow/mainform_texts.h>
#include <platform/db/enginecodes.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/format.h>
#include <platform/support/logfile.h>
#include <translation/lc.h>

#include <QPlainTextEdit>
#include <QScopedValueRollback>

namespace {

bool g_inHandler = false;

QString mainText(int n)
{
    return MainFormTexts().GetConst(n);
}

// The engine conditions with a message of their own. False when the error window must follow.
bool handledEngineCondition(const EngineError& e)
{
    const int code = e.errorCode();
    if (code == EngineCode::RecordLocked) {
        const int answer =
            dialogService().messageDlg(mainText(12), mtWarning, TMsgDlgButtons(mbOK) | mbRetry);
        return answer != mrRetry;
    }
    if (code == EngineCode::Locked) {
        WriteToLog(mainText(13));
        dialogService().messageDlg(mainText(14), mtWarning, mbOK);
        return true;
    }
    if (EngineCode::isDamagedTable(code)) {
        WriteToLog(mainText(15));
        dialogService().messageDlg(Format(mainText(16), {QStringLiteral("\n\r")}), mtWarning, mbOK);
        return true;
    }
    return false;
}

void showErrorWindow(const std::exception& e)
{
    TfError* form = CreateForm<TfError>();
    QStringList descr;
    if (const auto* engine = dynamic_cast<const EngineError*>(&e);
        engine && !engine->entries().isEmpty()) {
        const EngineError::Entry& first = engine->entries().first();
        const QString detail = QStringLiteral("%1 %2/%3 - %4")
                                   .arg(first.errorCode)
                                   .arg(first.category())
                                   .arg(first.subCode())
                                   .arg(first.message);
        WriteToLog(QStringLiteral("DB! ") + detail);
        descr << QStringLiteral("Erreur No.") + detail;
        for (qsizetype i = 1; i < engine->entries().size(); ++i) {
            WriteToLog(QStringLiteral("DB! ") + engine->entries().at(i).message);
            descr << engine->entries().at(i).message;
        }
    } else {
        WriteToLog(QStringLiteral("! ") + exceptionMessage(e));
        descr << exceptionMessage(e);
    }
    form->Descr->setPlainText(descr.join(QLatin1Char('\n')));
    form->ShowModal();
    const QString typed = form->Memo1->toPlainText();
    if (!typed.isEmpty()) {
        for (const QString& line : typed.split(QLatin1Char('\n')))
            WriteToLog(QStringLiteral("> ") + line);
    }
    form->Free();
}

} // namespace

void LogException(const std::exception& e)
{
    setScreenCursor(crDefault);
    if (dynamic_cast<const EDBEditError*>(&e) || dynamic_cast<const EConvertError*>(&e)) {
        dialogService().showException(exceptionMessage(e));
        return;
    }
    if (const auto* engine = dynamic_cast<const EngineError*>(&e)) {
        if (handledEngineCondition(*engine))
            return;
    }
    showErrorWindow(e);
}

void AppException(QObject*, const std::exception& e)
{
    if (g_inHandler)
        return;
    const QScopedValueRollback inHandler(g_inHandler, true);
    LogException(e);
}
