// The Qt dialog service: message boxes, input boxes, file choosers and the nested event loop of
// a modal form.
#include "qtdialogs.h"

#include "forms.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {

struct ButtonSpec
{
    TMsgDlgBtn button;
    QMessageBox::StandardButton standard; // NoButton: a button of our own
    const char* text;                     // for a button of our own
};

// In the order the buttons were laid out.
constexpr ButtonSpec kButtons[] = {
    {mbYes, QMessageBox::Yes, nullptr},         {mbNo, QMessageBox::No, nullptr},
    {mbOK, QMessageBox::Ok, nullptr},           {mbCancel, QMessageBox::Cancel, nullptr},
    {mbAbort, QMessageBox::Abort, nullptr},     {mbRetry, QMessageBox::Retry, nullptr},
    {mbIgnore, QMessageBox::Ignore, nullptr},   {mbAll, QMessageBox::NoButton, "&All"},
    {mbNoToAll, QMessageBox::NoToAll, nullptr}, {mbYesToAll, QMessageBox::YesToAll, nullptr},
};

QString applicationTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Quorvane") : name;
}

QString defaultCaption(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return QStringLiteral("Warning");
    case mtError:
        return QStringLiteral("Error");
    case mtInformation:
        return QStringLiteral("Information");
    case mtConfirmation:
        return QStringLiteral("Confirm");
    case mtCustom:
        break;
    }
    return applicationTitle();
}

QMessageBox::Icon iconOf(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
        return QMessageBox::Information;
    case mtConfirmation:
        return QMessageBox::Question;
    case mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

QFileDialog::Options fileDialogOptions(const QString& filter)
{
    // The program's filters show only their descriptions, as its dialogs always did.
    return filter.contains(QLatin1Char('|')) ? QFileDialog::HideNameFilterDetails
                                             : QFileDialog::Options();
}

class QtDialogService final : public DialogService
{
public:
    int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                   const QString& caption) override
    {
        if (!buttons)
            buttons = mbOK;
        QMessageBox box(iconOf(type), caption.isEmpty() ? defaultCaption(type) : caption, text,
                        QMessageBox::NoButton, QApplication::activeWindow());
        QList<std::pair<QAbstractButton*, TMsgDlgBtn>> made;
        for (const ButtonSpec& entry : kButtons) {
            if (!buttons.testFlag(entry.button))
                continue;
            QAbstractButton* button =
                entry.standard != QMessageBox::NoButton
                    ? static_cast<QAbstractButton*>(box.addButton(entry.standard))
                    : box.addButton(QString::fromLatin1(entry.text), QMessageBox::AcceptRole);
            made.append({button, entry.button});
        }
        const auto buttonFor = [&made](TMsgDlgBtn wanted) -> QAbstractButton* {
            for (const auto& [button, which] : made) {
                if (which == wanted)
                    return button;
            }
            return nullptr;
        };
        // OK or Yes is the default button; Cancel, else No, else OK answers Escape.
        if (auto* ok = buttonFor(mbOK))
            box.setDefaultButton(qobject_cast<QPushButton*>(ok));
        else if (auto* yes = buttonFor(mbYes))
            box.setDefaultButton(qobject_cast<QPushButton*>(yes));
        for (TMsgDlgBtn escape : {mbCancel, mbNo, mbOK}) {
            if (auto* button = buttonFor(escape)) {
                box.setEscapeButton(button);
                break;
            }
        }
        box.exec();
        const QAbstractButton* clicked = box.clickedButton();
        for (const auto& [button, which] : made) {
            if (button == clicked)
                return modalResultOf(which);
        }
        return mrCancel;
    }

    void showMessage(const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }

    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override
    {
        bool ok = false;
        const QString entered = QInputDialog::getText(QApplication::activeWindow(), caption, prompt,
                                                      QLineEdit::Normal, value, &ok);
        if (ok)
            value = entered;
        return ok;
    }

    QString getOpenFileName(const QString& caption, const QString& dir,
                            const QString& filter) override
    {
        return QFileDialog::getOpenFileName(QApplication::activeWindow(), caption, dir,
                                            qtFileFilter(filter), nullptr,
                                            fileDialogOptions(filter));
    }

    QString getSaveFileName(const QString& caption, const QString& dir,
                            const QString& filter) override
    {
        return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, dir,
                                            qtFileFilter(filter), nullptr,
                                            fileDialogOptions(filter));
    }

    QString getExistingDirectory(const QString& caption, const QString& dir) override
    {
        return QFileDialog::getExistingDirectory(QApplication::activeWindow(), caption, dir);
    }

    int showModal(TForm& form) override;

    void showException(const QString& message) override
    {
        QMessageBox box(QMessageBox::Critical, applicationTitle(), message, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }
};

/*
    The modal loop:

        show ──> wait (nested event loop) ──> result set ──> closing step ──┬─ agreed ──> end
                  ^                                                         │
                  └──────────────────────── refused (result back to mrNone) ┘

    The window hidden, the form deleted, or every event loop told to exit (the application
    quitting) ends the wait with mrCancel.
*/
int QtDialogService::showModal(TForm& form)
{
    QPointer<TForm> guard(&form);
    if (form.isVisible())
        form.hide(); // modality is taken on when the window is shown
    form.beginModal();
    form.setWindowModality(Qt::ApplicationModal);

    QEventLoop loop;
    bool woken = false;
    const auto wake = [&loop, &woken] {
        woken = true;
        loop.quit();
    };
    QObject::connect(&form, &TForm::modalResultChanged, &loop, wake);
    QObject::connect(&form, &TForm::hidden, &loop, wake);
    QObject::connect(&form, &QObject::destroyed, &loop, wake);

    form.show();
    form.activateWindow();

    int result = mrCancel;
    for (;;) {
        if (!guard)
            break;
        if (form.ModalResult() != mrNone) {
            form.closeModal();
            if (!guard)
                break;
            if (form.ModalResult() != mrNone) {
                result = form.ModalResult();
                break;
            }
        }
        if (!form.isVisible())
            break;
        woken = false;
        loop.exec();
        if (!woken)
            break; // the application is quitting
    }

    if (guard) {
        form.endModal();
        form.hide();
        form.setWindowModality(Qt::NonModal);
    }
    return result;
}

} // namespace

void useQtDialogs()
{
    static QtDialogService service;
    setDefaultDialogService(&service);
}
