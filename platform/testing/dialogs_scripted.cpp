// The scripted dialog service used by tests: answers in script order, records every request and
// reports any dialog the script did not foresee.
#include "dialogs_scripted.h"

#include <platform/ui/forms.h>

#include <QPointer>
#include <QtDebug>

std::function<void(const QString&)> ScriptedDialogs::failureHook;

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString ScriptedDialogs::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Message:
        return QStringLiteral("message box");
    case Kind::ShowMessage:
        return QStringLiteral("plain message");
    case Kind::Input:
        return QStringLiteral("input box");
    case Kind::OpenFile:
        return QStringLiteral("open-file dialog");
    case Kind::SaveFile:
        return QStringLiteral("save-file dialog");
    case Kind::Directory:
        return QStringLiteral("folder dialog");
    case Kind::Modal:
        return QStringLiteral("modal form");
    case Kind::Exception:
        return QStringLiteral("exception box");
    case Kind::PrinterSetup:
        return QStringLiteral("printer set-up");
    }
    return QString();
}

void ScriptedDialogs::fail(const QString& failure)
{
    if (failureHook)
        failureHook(failure);
    else
        qCritical("scripted dialogs: %s", qUtf8Printable(failure));
}

ScriptedDialogs& ScriptedDialogs::add(Entry entry)
{
    m_script.append(std::move(entry));
    return *this;
}

ScriptedDialogs& ScriptedDialogs::answerMessage(int result, const QString& expectedText,
                                                std::optional<TMsgDlgType> expectedType,
                                                std::optional<TMsgDlgButtons> expectedButtons)
{
    Entry entry;
    entry.kind = Kind::Message;
    entry.result = result;
    entry.expectedText = expectedText;
    entry.expectedType = expectedType;
    entry.expectedButtons = expectedButtons;
    return add(std::move(entry));
}

ScriptedDialogs& ScriptedDialogs::expectShowMessage(const QString& expectedText)
{
    Entry entry;
    entry.kind = Kind::ShowMessage;
    entry.expectedText = expectedText;
    return add(std::move(entry));
}

ScriptedDialogs& ScriptedDialogs::expectException(const QString& expectedText)
{
    Entry entry;
    entry.kind = Kind::Exception;
    entry.expectedText = expectedText;
    return add(std::move(entry));
}

ScriptedDialogs& ScriptedDialogs::answerInput(bool confirm, const QString& value,
                                              const QString& expectedPrompt)
{
    Entry entry;
    entry.kind = Kind::Input;
    entry.confirm = confirm;
    entry.answer = value;
    entry.expectedText = expectedPrompt;
    return add(std::move(entry));
}

ScriptedDialogs& ScriptedDialogs::answerPath(Kind kind, const QString& path)
{
    Entry entry;
    entry.kind = kind;
    entry.answer = path;
    return add(std::move(entry));
}

ScriptedDialogs& ScriptedDialogs::answerOpenFile(const QString& path)
{
    return answerPath(Kind::OpenFile, path);
}

ScriptedDialogs& ScriptedDialogs::answerSaveFile(const QString& path)
{
    return answerPath(Kind::SaveFile, path);
}

ScriptedDialogs& ScriptedDialogs::answerDirectory(const QString& path)
{
    return answerPath(Kind::Directory, path);
}

ScriptedDialogs& ScriptedDialogs::answerModal(const QString& className, ModalAnswer answer)
{
    Entry entry;
    entry.kind = Kind::Modal;
    entry.expectedText = className;
    entry.modal = std::move(answer);
    return add(std::move(entry));
}

ScriptedDialogs& ScriptedDialogs::answerPrinterSetup(bool confirm, PrinterAnswer choose)
{
    Entry entry;
    entry.kind = Kind::PrinterSetup;
    entry.confirm = confirm;
    entry.printer = std::move(choose);
    return add(std::move(entry));
}

QStringList ScriptedDialogs::remaining() const
{
    QStringList result;
    for (const Entry& entry : m_script) {
        QString line = kindName(entry.kind);
        if (!entry.expectedText.isEmpty())
            line += QLatin1Char(' ') + quoted(entry.expectedText);
        result.append(line);
    }
    return result;
}

void ScriptedDialogs::clear()
{
    m_script.clear();
    m_requests.clear();
}

std::optional<ScriptedDialogs::Entry> ScriptedDialogs::take(const Request& request)
{
    m_requests.append(request);
    const QString asked = kindName(request.kind) + QLatin1Char(' ') +
                          quoted(request.kind == Kind::Modal ? request.className : request.text);
    if (m_script.isEmpty()) {
        fail(QStringLiteral("unscripted %1").arg(asked));
        return std::nullopt;
    }
    const Entry& next = m_script.first();
    if (next.kind != request.kind ||
        (request.kind == Kind::Modal && next.expectedText != request.className)) {
        // The entry stays for the dialog it was meant for.
        fail(QStringLiteral("%1 came while the script expected a %2")
                 .arg(asked, remaining().constFirst()));
        return std::nullopt;
    }
    Entry entry = m_script.takeFirst();
    if (request.kind != Kind::Modal && !request.text.contains(entry.expectedText)) {
        fail(QStringLiteral("%1 does not contain %2").arg(asked, quoted(entry.expectedText)));
        return std::nullopt;
    }
    if (entry.expectedType && *entry.expectedType != request.type) {
        fail(QStringLiteral("%1 is of type %2, expected %3")
                 .arg(asked)
                 .arg(int(request.type))
                 .arg(int(*entry.expectedType)));
        return std::nullopt;
    }
    if (entry.expectedButtons && *entry.expectedButtons != request.buttons) {
        fail(QStringLiteral("%1 has buttons 0x%2, expected 0x%3")
                 .arg(asked)
                 .arg(request.buttons.toInt(), 0, 16)
                 .arg(entry.expectedButtons->toInt(), 0, 16));
        return std::nullopt;
    }
    return entry;
}

int ScriptedDialogs::messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                const QString& caption)
{
    Request request;
    request.kind = Kind::Message;
    request.text = text;
    request.caption = caption;
    request.type = type;
    request.buttons = buttons;
    const std::optional<Entry> entry = take(request);
    if (!entry)
        return mrCancel;
    // An answer no button of the box could give would hide a fault in the script or the code.
    const TMsgDlgButtons offered = buttons ? buttons : TMsgDlgButtons(mbOK);
    for (unsigned bit = 1; bit <= mbYesToAll; bit <<= 1) {
        const auto button = TMsgDlgBtn(bit);
        if (offered.testFlag(button) && modalResultOf(button) == entry->result)
            return entry->result;
    }
    fail(QStringLiteral("message box \"%1\" has no button giving %2").arg(text).arg(entry->result));
    return mrCancel;
}

void ScriptedDialogs::showMessage(const QString& text)
{
    Request request;
    request.kind = Kind::ShowMessage;
    request.text = text;
    take(request);
}

void ScriptedDialogs::showException(const QString& message)
{
    Request request;
    request.kind = Kind::Exception;
    request.text = message;
    take(request);
}

bool ScriptedDialogs::printerSetup(QPrinter& printer)
{
    Request request;
    request.kind = Kind::PrinterSetup;
    const std::optional<Entry> entry = take(request);
    if (!entry || !entry->confirm)
        return false;
    if (entry->printer)
        entry->printer(printer);
    return true;
}

bool ScriptedDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value)
{
    Request request;
    request.kind = Kind::Input;
    request.text = prompt;
    request.caption = caption;
    request.value = value;
    const std::optional<Entry> entry = take(request);
    if (!entry || !entry->confirm)
        return false;
    value = entry->answer;
    return true;
}

QString ScriptedDialogs::getOpenFileName(const QString& caption, const QString& dir,
                                         const QString& filter)
{
    return choosePath(Kind::OpenFile, caption, dir, filter);
}

QString ScriptedDialogs::getSaveFileName(const QString& caption, const QString& dir,
                                         const QString& filter)
{
    return choosePath(Kind::SaveFile, caption, dir, filter);
}

QString ScriptedDialogs::getExistingDirectory(const QString& caption, const QString& dir)
{
    return choosePath(Kind::Directory, caption, dir, QString());
}

QString ScriptedDialogs::choosePath(Kind kind, const QString& caption, const QString& dir,
                                    const QString& filter)
{
    Request request;
    request.kind = kind;
    request.caption = caption;
    request.value = dir;
    request.filter = filter;
    const std::optional<Entry> entry = take(request);
    return entry ? entry->answer : QString();
}

int ScriptedDialogs::showModal(TForm& form)
{
    Request request;
    request.kind = Kind::Modal;
    request.className = QString::fromLatin1(form.metaObject()->className());
    request.caption = form.Caption();
    const std::optional<Entry> entry = take(request);
    if (!entry)
        return mrCancel;

    QPointer<TForm> guard(&form);
    form.beginModal();
    const int result = entry->modal ? entry->modal(form) : mrCancel;
    if (!guard) {
        fail(QStringLiteral("modal form %1 was deleted while shown").arg(request.className));
        return mrCancel;
    }
    int outcome = mrCancel;
    if (result == mrNone) {
        fail(QStringLiteral("modal form %1 was answered with no result").arg(request.className));
    } else {
        form.setModalResult(result);
        form.closeModal();
        if (!guard) {
            fail(QStringLiteral("modal form %1 was deleted while closing").arg(request.className));
            return mrCancel;
        }
        if (form.ModalResult() == mrNone)
            fail(QStringLiteral("modal form %1 refused to close with result %2")
                     .arg(request.className)
                     .arg(result));
        else
            outcome = form.ModalResult();
    }
    form.endModal();
    return outcome;
}
