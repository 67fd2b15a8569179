// The Qt dialog service: message boxes, input boxes, file choosers and the nested event loop of
// a modal form. Whatever it shows stands above the windows that keep themselves on top (the
// splash): they step aside while it is open.
#include "qtdialogs.h"

#include "forms.h"

#include <platform/uitexts.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

namespace {

struct ButtonSpec
{
    TMsgDlgBtn button;
    QDialogButtonBox::StandardButton standard; // NoButton: a button of our own
};

constexpr ButtonSpec kButtons[] = {
    {mbYes, QDialogButtonBox::Yes},         {mbNo, QDialogButtonBox::No},
    {mbOK, QDialogButtonBox::Ok},           {mbCancel, QDialogButtonBox::Cancel},
    {mbAbort, QDialogButtonBox::Abort},     {mbRetry, QDialogButtonBox::Retry},
    {mbIgnore, QDialogButtonBox::Ignore},   {mbAll, QDialogButtonBox::NoButton},
    {mbNoToAll, QDialogButtonBox::NoToAll}, {mbYesToAll, QDialogButtonBox::YesToAll},
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
        return uiText(UiText::Warning);
    case mtError:
        return uiText(UiText::Error);
    case mtInformation:
        return uiText(UiText::Information);
    case mtConfirmation:
        return uiText(UiText::Confirm);
    case mtCustom:
        break;
    }
    return applicationTitle();
}

QStyle::StandardPixmap iconOf(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return QStyle::SP_MessageBoxWarning;
    case mtError:
        return QStyle::SP_MessageBoxCritical;
    case mtInformation:
        return QStyle::SP_MessageBoxInformation;
    case mtConfirmation:
        return QStyle::SP_MessageBoxQuestion;
    case mtCustom:
        break;
    }
    return QStyle::SP_CustomBase; // none
}

bool keepsOnTop(const QWidget* window)
{
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

// The windows that keep themselves above the others (the splash) are hidden while a dialog is
// open, and shown again afterwards, so that nothing the user must read or press is under them.
class OnTopWindowsAside
{
public:
    OnTopWindowsAside()
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && keepsOnTop(window) && !window->isModal()) {
                m_hidden.append(window);
                window->hide();
            }
        }
    }
    ~OnTopWindowsAside()
    {
        for (const QPointer<QWidget>& window : std::as_const(m_hidden)) {
            if (window)
                window->show();
        }
    }
    OnTopWindowsAside(const OnTopWindowsAside&) = delete;
    OnTopWindowsAside& operator=(const OnTopWindowsAside&) = delete;

private:
    QList<QPointer<QWidget>> m_hidden;
};

// The window a dialog belongs to: the active one, unless it is one that steps aside.
QWidget* dialogParent()
{
    QWidget* active = QApplication::activeWindow();
    return active && !keepsOnTop(active) ? active : nullptr;
}

QRect availableArea(const QWidget* near)
{
    const QScreen* screen =
        near && near->screen() ? near->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// A message box: an icon, the text (scrolled when it is taller than the screen allows) and the
// buttons asked for. Escape and the window's close box answer with the escape button.
class MessageBox final : public QDialog
{
public:
    MessageBox(QWidget* parent, const QString& caption, const QString& text, TMsgDlgType type)
        : QDialog(parent)
    {
        setWindowTitle(caption);
        m_text = new QLabel(normalizedLineEnds(text));
        m_text->setObjectName(QStringLiteral("text"));
        m_text->setTextFormat(Qt::PlainText);
        m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_scroll = new QScrollArea;
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setWidgetResizable(true);
        m_scroll->setWidget(m_text);
        m_scroll->viewport()->setAutoFillBackground(false);
        m_text->setAutoFillBackground(false);
        m_buttons = new QDialogButtonBox(Qt::Horizontal);

        auto* grid = new QGridLayout(this);
        if (type != mtCustom) {
            auto* icon = new QLabel;
            const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
            icon->setPixmap(style()->standardIcon(iconOf(type), nullptr, this).pixmap(size, size));
            grid->addWidget(icon, 0, 0, Qt::AlignTop);
        }
        grid->addWidget(m_scroll, 0, 1);
        grid->addWidget(m_buttons, 1, 0, 1, 2);
        grid->setColumnStretch(1, 1);
        connect(m_buttons, &QDialogButtonBox::clicked, this, [this](QAbstractButton* button) {
            m_clicked = button;
            accept();
        });
    }

    void addButton(TMsgDlgBtn which, QDialogButtonBox::StandardButton standard)
    {
        QPushButton* button =
            standard != QDialogButtonBox::NoButton
                ? m_buttons->addButton(standard)
                : m_buttons->addButton(uiText(UiText::AllButton), QDialogButtonBox::AcceptRole);
        m_made.append({button, which});
    }

    QPushButton* buttonFor(TMsgDlgBtn wanted) const
    {
        for (const auto& [button, which] : m_made) {
            if (which == wanted)
                return button;
        }
        return nullptr;
    }

    void setDefaultButton(QPushButton* button)
    {
        button->setDefault(true);
        button->setFocus();
    }
    void setEscapeButton(QPushButton* button) { m_escape = button; }

    // Long lines wrap at two thirds of the screen's width; a text taller than the screen leaves
    // room for scrolls within the box, whose buttons stay on the screen.
    void fitToScreen()
    {
        const QRect area = availableArea(parentWidget());
        int width = m_text->sizeHint().width();
        if (width > area.width() * 2 / 3) {
            m_text->setWordWrap(true);
            width = area.width() * 2 / 3;
        }
        const int textHeight =
            m_text->wordWrap() ? m_text->heightForWidth(width) : m_text->sizeHint().height();
        // The rest of the box: its margins, the buttons and the window's title bar and frame.
        const QMargins margins = layout()->contentsMargins();
        const int rest = margins.top() + margins.bottom() + layout()->spacing() +
                         m_buttons->sizeHint().height() +
                         style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) +
                         2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
        const int room = std::max(area.height() - rest, 4 * fontMetrics().lineSpacing());
        const bool scrolls = textHeight > room;
        m_scroll->setFixedHeight(scrolls ? room : textHeight);
        m_scroll->setFixedWidth(width +
                                (scrolls ? m_scroll->verticalScrollBar()->sizeHint().width() : 0));
    }

    int run()
    {
        fitToScreen();
        exec();
        const QAbstractButton* chosen = m_clicked ? m_clicked : m_escape.data();
        for (const auto& [button, which] : m_made) {
            if (button == chosen)
                return modalResultOf(which);
        }
        return mrCancel;
    }

private:
    QLabel* m_text;
    QScrollArea* m_scroll;
    QDialogButtonBox* m_buttons;
    QList<std::pair<QPushButton*, TMsgDlgBtn>> m_made;
    QPointer<QAbstractButton> m_clicked;
    QPointer<QPushButton> m_escape;
};

QFileDialog::Options fileDialogOptions(const QString& filter)
{
    // The program's filters show only their descriptions, as its dialogs always did.
    return filter.contains(QLatin1Char('|')) ? QFileDialog::HideNameFilterDetails
                                             : QFileDialog::Options();
}

int showBox(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, const QString& caption)
{
    OnTopWindowsAside aside;
    MessageBox box(dialogParent(), caption, text, type);
    for (const ButtonSpec& entry : kButtons) {
        if (buttons.testFlag(entry.button))
            box.addButton(entry.button, entry.standard);
    }
    // OK or Yes is the default button; Cancel, else No, else OK answers Escape.
    if (QPushButton* ok = box.buttonFor(mbOK))
        box.setDefaultButton(ok);
    else if (QPushButton* yes = box.buttonFor(mbYes))
        box.setDefaultButton(yes);
    for (TMsgDlgBtn escape : {mbCancel, mbNo, mbOK}) {
        if (QPushButton* button = box.buttonFor(escape)) {
            box.setEscapeButton(button);
            break;
        }
    }
    return box.run();
}

class QtDialogService final : public DialogService
{
public:
    int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                   const QString& caption) override
    {
        return showBox(text, type, buttons ? buttons : TMsgDlgButtons(mbOK),
                       caption.isEmpty() ? defaultCaption(type) : caption);
    }

    void showMessage(const QString& text) override
    {
        showBox(text, mtCustom, mbOK, applicationTitle());
    }

    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override
    {
        OnTopWindowsAside aside;
        bool ok = false;
        const QString entered =
            QInputDialog::getText(dialogParent(), caption, prompt, QLineEdit::Normal, value, &ok);
        if (ok)
            value = entered;
        return ok;
    }

    QString getOpenFileName(const QString& caption, const QString& dir,
                            const QString& filter) override
    {
        OnTopWindowsAside aside;
        return QFileDialog::getOpenFileName(dialogParent(), caption, dir, qtFileFilter(filter),
                                            nullptr, fileDialogOptions(filter));
    }

    QString getSaveFileName(const QString& caption, const QString& dir,
                            const QString& filter) override
    {
        OnTopWindowsAside aside;
        return QFileDialog::getSaveFileName(dialogParent(), caption, dir, qtFileFilter(filter),
                                            nullptr, fileDialogOptions(filter));
    }

    QString getExistingDirectory(const QString& caption, const QString& dir) override
    {
        OnTopWindowsAside aside;
        return QFileDialog::getExistingDirectory(dialogParent(), caption, dir);
    }

    int showModal(TForm& form) override;

    void showException(const QString& message) override
    {
        showBox(message, mtError, mbOK, applicationTitle());
    }

    bool printerSetup(QPrinter& printer) override
    {
        OnTopWindowsAside aside;
        QPrintDialog dialog(&printer, dialogParent());
        return dialog.exec() == QDialog::Accepted;
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
    OnTopWindowsAside aside;
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
