// A dialog service that answers from a script, for tests: each dialog the program opens takes the
// next answer in order, and everything asked is recorded.
#pragma once

#include <platform/dialogs.h>
#include <platform/ui/forms.h>

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QPrinter;

class ScriptedDialogs : public DialogService
{
public:
    enum class Kind {
        Message,
        ShowMessage,
        Input,
        OpenFile,
        SaveFile,
        Directory,
        Modal,
        Exception,
        PrinterSetup
    };

    // One dialog as the program asked for it.
    struct Request
    {
        Kind kind = Kind::Message;
        QString text;    // the message, the prompt, or the exception's message
        QString caption; // as passed (empty when the caller gave none)
        TMsgDlgType type = mtCustom;
        TMsgDlgButtons buttons;
        QString value;     // input box: the value offered; file dialogs: the folder
        QString filter;    // file dialogs
        QString className; // modal forms
    };

    using ModalAnswer = std::function<int(TForm& form)>;
    using PrinterAnswer = std::function<void(QPrinter& printer)>;

    // Called, with a description, when a dialog meets no script entry or one that does not fit;
    // the dialog then answers mrCancel, false or an empty name. Unset: the failure is logged.
    static std::function<void(const QString& failure)> failureHook;

    ScriptedDialogs() = default;

    // Script entries, taken in the order they were added. An expected text is a fragment the
    // dialog's text must contain; an empty one accepts any text.
    ScriptedDialogs& answerMessage(int result, const QString& expectedText = {},
                                   std::optional<TMsgDlgType> expectedType = {},
                                   std::optional<TMsgDlgButtons> expectedButtons = {});
    ScriptedDialogs& expectShowMessage(const QString& expectedText = {});
    ScriptedDialogs& expectException(const QString& expectedText = {});
    // Confirms with `value`, or cancels when `confirm` is false.
    ScriptedDialogs& answerInput(bool confirm, const QString& value = {},
                                 const QString& expectedPrompt = {});
    // An empty path answers as a cancelled dialog.
    ScriptedDialogs& answerOpenFile(const QString& path);
    ScriptedDialogs& answerSaveFile(const QString& path);
    ScriptedDialogs& answerDirectory(const QString& path);
    // For a modal form of this class (its metaObject()->className()): the callback may fill the
    // form's controls and returns the modal result. The form then runs its closing step as it
    // would under the user's hand; a form that refuses to close is a failure.
    ScriptedDialogs& answerModal(const QString& className, ModalAnswer answer);
    // The printer set-up: confirmed (after `choose` has changed the printer) or cancelled.
    ScriptedDialogs& answerPrinterSetup(bool confirm, PrinterAnswer choose = {});

    const QList<Request>& requests() const { return m_requests; }
    // Descriptions of the script entries not used yet.
    QStringList remaining() const;
    void clear();

    int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                   const QString& caption = {}) override;
    void showMessage(const QString& text) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    QString getOpenFileName(const QString& caption, const QString& dir,
                            const QString& filter) override;
    QString getSaveFileName(const QString& caption, const QString& dir,
                            const QString& filter) override;
    QString getExistingDirectory(const QString& caption, const QString& dir) override;
    int showModal(TForm& form) override;
    void showException(const QString& message) override;
    bool printerSetup(QPrinter& printer) override;

    static QString kindName(Kind kind);

private:
    struct Entry
    {
        Kind kind = Kind::Message;
        int result = mrNone;
        bool confirm = false;
        QString answer;       // input value or path
        QString expectedText; // fragment, or the class name of a modal form
        std::optional<TMsgDlgType> expectedType;
        std::optional<TMsgDlgButtons> expectedButtons;
        ModalAnswer modal;
        PrinterAnswer printer;
    };

    // Records the request and hands out the next entry when it is of the request's kind (and
    // for a modal form, of its class); otherwise reports the failure and leaves the entry.
    std::optional<Entry> take(const Request& request);
    QString choosePath(Kind kind, const QString& caption, const QString& dir,
                       const QString& filter);
    static void fail(const QString& failure);
    ScriptedDialogs& add(Entry entry);
    ScriptedDialogs& answerPath(Kind kind, const QString& path);

    QList<Entry> m_script;
    QList<Request> m_requests;
};
