// The dialog service's accessor, the modal results of the message-box buttons and the filter
// conversion the file choosers share. The services themselves live with the user interface.
#include "dialogs.h"

#include <platform/softcheck.h>

namespace {

// Answers for a process that has no user interface installed: nobody can be asked, so every
// question is a failed soft check and is answered as a cancelled dialog.
class UnattendedDialogs final : public DialogService
{
public:
    int messageDlg(const QString& text, TMsgDlgType, TMsgDlgButtons, const QString&) override
    {
        unanswered(text);
        return mrCancel;
    }
    void showMessage(const QString& text) override { unanswered(text); }
    bool inputQuery(const QString&, const QString& prompt, QString&) override
    {
        unanswered(prompt);
        return false;
    }
    QString getOpenFileName(const QString& caption, const QString&, const QString&) override
    {
        unanswered(caption);
        return {};
    }
    QString getSaveFileName(const QString& caption, const QString&, const QString&) override
    {
        unanswered(caption);
        return {};
    }
    QString getExistingDirectory(const QString& caption, const QString&) override
    {
        unanswered(caption);
        return {};
    }
    int showModal(TForm&) override
    {
        unanswered(QStringLiteral("a modal form"));
        return mrCancel;
    }
    void showException(const QString& message) override { unanswered(message); }
    bool printerSetup(QPrinter&) override
    {
        unanswered(QStringLiteral("the printer set-up"));
        return false;
    }

private:
    static void unanswered(const QString& question)
    {
        QV_SOFT_CHECK(false, QStringLiteral("no dialog service to ask: ") + question);
    }
};

DialogService* s_service = nullptr;
DialogService* s_default = nullptr;

} // namespace

DialogService::~DialogService() = default;

int modalResultOf(TMsgDlgBtn button)
{
    switch (button) {
    case mbYes:
        return mrYes;
    case mbNo:
        return mrNo;
    case mbOK:
        return mrOk;
    case mbCancel:
        return mrCancel;
    case mbAbort:
        return mrAbort;
    case mbRetry:
        return mrRetry;
    case mbIgnore:
        return mrIgnore;
    case mbAll:
        return mrAll;
    case mbNoToAll:
        return mrNoToAll;
    case mbYesToAll:
        return mrYesToAll;
    }
    return mrNone;
}

DialogService& dialogService()
{
    static UnattendedDialogs unattended;
    if (s_service)
        return *s_service;
    return s_default ? *s_default : unattended;
}

void setDialogService(DialogService* service)
{
    s_service = service;
}

void setDefaultDialogService(DialogService* service)
{
    s_default = service;
}

QString qtFileFilter(const QString& filter)
{
    if (!filter.contains(QLatin1Char('|')))
        return filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            if (trimmed.isEmpty())
                continue;
            // "*.*" meant every file; on this system a name need not have an extension.
            patterns.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        if (patterns.isEmpty())
            continue;
        entries.append(parts.at(i).trimmed() + QLatin1String(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

QString normalizedLineEnds(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\n' && c != u'\r') {
            result.append(c);
            continue;
        }
        // The other character of a CR LF or LF CR pair belongs to the same line end.
        const QChar pair = c == u'\n' ? u'\r' : u'\n';
        if (i + 1 < text.size() && text.at(i + 1) == pair)
            ++i;
        result.append(u'\n');
    }
    return result;
}
