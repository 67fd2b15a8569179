// The Qt dialog service: message boxes, input boxes, file choosers and the nested event loop of
// a modal form. Whatever it shows stands above the windows that keep themselves on top (the
// splash): they step aside while it is open.
#include "qtdialogs.h"

#include "forms.h"

#include <platform/uitexts.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionHeader>
#include <QTreeView>

#include <numeric>

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

// ---- File and folder choosers

// Rows of a folder looked at for the width of their texts: enough for any folder a user reads
// through, few enough to open a crowded one at once.
constexpr int kMeasuredRows = 2000;

// The columns of a chooser's list: its file system model's.
constexpr int kNameColumn = 0;
constexpr int kKindColumn = 2;

// The width a column's title takes as the header draws it: with the sort arrow when it has one,
// in bold when the header highlights the columns of a selection.
int titleWidth(const QHeaderView* header, int section)
{
    QStyleOptionHeader option;
    option.initFrom(header);
    option.orientation = header->orientation();
    option.section = section;
    option.text = header->model()->headerData(section, header->orientation()).toString();
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() == section)
        option.sortIndicator = QStyleOptionHeader::SortDown;
    QFont font = header->font();
    font.setBold(header->highlightSections());
    option.fontMetrics = QFontMetrics(font);
    return header->style()
        ->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header)
        .width();
}

// The width a column needs to show its title and the texts of the folder's rows whole.
int columnWidth(const QTreeView* view, int column)
{
    int width = titleWidth(view->header(), column);
    const QAbstractItemModel* model = view->model();
    const QModelIndex folder = view->rootIndex();
    const int rows = std::min(model->rowCount(folder), kMeasuredRows);
    const int indent = column == view->header()->logicalIndex(0) && view->rootIsDecorated()
                           ? view->indentation()
                           : 0;
    for (int row = 0; row < rows; ++row)
        width = std::max(width, view->sizeHintForIndex(model->index(row, column, folder)).width() +
                                    indent);
    return width;
}

// Keeps a widget chooser as wide as its list's columns and its side bar need (see
// createFileChooser). A chooser the platform draws itself has neither, and is left alone.
class ChooserFit final : public QObject
{
public:
    explicit ChooserFit(QFileDialog* chooser) : QObject(chooser), m_chooser(chooser)
    {
        chooser->installEventFilter(this);
        if (auto* model = chooser->findChild<QFileSystemModel*>()) {
            connect(model, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
                if (QFileInfo(path).canonicalFilePath() ==
                    QFileInfo(m_chooser->directory().absolutePath()).canonicalFilePath())
                    fit();
            });
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_chooser && event->type() == QEvent::Show)
            fit();
        return false;
    }

private:
    void fit()
    {
        auto* view = m_chooser->findChild<QTreeView*>();
        QSplitter* splitter = nullptr;
        QWidget* pane = view;
        while (pane && !splitter) {
            splitter = qobject_cast<QSplitter*>(pane->parentWidget());
            if (!splitter)
                pane = pane->parentWidget();
        }
        if (!view || !splitter || splitter->count() != 2 || splitter->indexOf(pane) != 1 ||
            !m_chooser->isVisible())
            return;
        auto* side = qobject_cast<QAbstractItemView*>(splitter->widget(0));
        if (m_chooser->layout())
            m_chooser->layout()->activate();

        QHeaderView* header = view->header();
        QList<int> widths(header->count(), 0);
        for (int column = 0; column < header->count(); ++column) {
            if (!header->isSectionHidden(column))
                widths[column] = columnWidth(view, column);
        }
        const auto total = [&widths] { return std::accumulate(widths.begin(), widths.end(), 0); };
        const int extent =
            m_chooser->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
        int sideWidth = splitter->sizes().value(0);
        if (side && side->isVisibleTo(m_chooser)) {
            sideWidth = side->sizeHintForColumn(0) + 2 * side->frameWidth();
            const int places = side->model() ? side->model()->rowCount(side->rootIndex()) : 0;
            if (places > 0 && places * side->sizeHintForRow(0) > side->viewport()->height())
                sideWidth += extent;
        }
        // The list's frame and a vertical scroll bar, shown or to come when the rows arrive.
        const int viewFrame = view->width() - view->viewport()->width() +
                              (view->verticalScrollBar()->isVisible() ? 0 : extent);
        int wanted = m_chooser->width() - splitter->width() + sideWidth + splitter->handleWidth() +
                     pane->width() - view->width() + viewFrame + total();
        // The folder it is in, named whole in the box above the list.
        const auto* place = m_chooser->findChild<QComboBox*>(QStringLiteral("lookInCombo"));
        if (place && place->isVisibleTo(m_chooser)) {
            QStyleOptionComboBox option;
            option.initFrom(place);
            option.frame = place->hasFrame();
            const QRect field = place->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, place);
            int text = place->fontMetrics().horizontalAdvance(place->currentText());
            if (!place->itemIcon(place->currentIndex()).isNull())
                text += place->iconSize().width() + 4;
            wanted = std::max(wanted, m_chooser->width() + text - field.width());
        }

        const QRect area = availableArea(m_chooser);
        const int frame = m_chooser->frameGeometry().width() - m_chooser->width();
        const int width = std::max(std::min(wanted, area.width() - frame), m_chooser->width());
        if (width > m_chooser->width()) {
            m_chooser->resize(width, m_chooser->height());
            if (m_chooser->layout())
                m_chooser->layout()->activate();
            const QRect outer = m_chooser->frameGeometry();
            if (outer.right() > area.right())
                m_chooser->move(std::max(area.left(), area.right() + 1 - outer.width()),
                                m_chooser->y());
        }
        const int room = splitter->width() - splitter->handleWidth();
        splitter->setSizes({sideWidth, room - sideWidth});

        // Where the screen is too narrow for every text, the kinds of the files give way first,
        // then the names (a file is chosen by its name); their titles stay whole. Where it is
        // wider, the names take the rest.
        const int left = view->viewport()->width() - total();
        for (const int column : {kKindColumn, kNameColumn}) {
            if (left >= 0 || header->isSectionHidden(column))
                continue;
            const int needed = total() - view->viewport()->width();
            widths[column] =
                std::max(titleWidth(header, column), widths[column] - std::max(needed, 0));
        }
        if (left > 0)
            widths[kNameColumn] += left;
        for (int column = 0; column < header->count(); ++column) {
            if (!header->isSectionHidden(column))
                header->resizeSection(column, widths[column]);
        }
    }

    QFileDialog* m_chooser;
};

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
        return choose(ChooserKind::OpenFile, caption, dir, filter);
    }

    QString getSaveFileName(const QString& caption, const QString& dir,
                            const QString& filter) override
    {
        return choose(ChooserKind::SaveFile, caption, dir, filter);
    }

    QString getExistingDirectory(const QString& caption, const QString& dir) override
    {
        return choose(ChooserKind::Folder, caption, dir, QString());
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

private:
    static QString choose(ChooserKind kind, const QString& caption, const QString& dir,
                          const QString& filter)
    {
        OnTopWindowsAside aside;
        // Whatever closes the chooser's parent while it is open deletes it too.
        const QPointer<QFileDialog> chooser =
            createFileChooser(kind, dialogParent(), caption, dir, filter);
        const bool chosen = chooser->exec() == QDialog::Accepted && chooser;
        const QString file = chosen ? chooser->selectedFiles().value(0) : QString();
        delete chooser;
        return file;
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

QFileDialog* createFileChooser(ChooserKind kind, QWidget* parent, const QString& caption,
                               const QString& dir, const QString& filter)
{
    auto* chooser = new QFileDialog(parent, caption, dir, qtFileFilter(filter));
    switch (kind) {
    case ChooserKind::OpenFile:
        chooser->setFileMode(QFileDialog::ExistingFile);
        break;
    case ChooserKind::SaveFile:
        chooser->setFileMode(QFileDialog::AnyFile);
        chooser->setAcceptMode(QFileDialog::AcceptSave);
        break;
    case ChooserKind::Folder:
        chooser->setFileMode(QFileDialog::Directory);
        chooser->setOption(QFileDialog::ShowDirsOnly);
        break;
    }
    // The program's filters show only their descriptions, as its dialogs always did.
    if (filter.contains(QLatin1Char('|')))
        chooser->setOption(QFileDialog::HideNameFilterDetails);
    new ChooserFit(chooser);
    return chooser;
}

void useQtDialogs()
{
    static QtDialogService service;
    setDefaultDialogService(&service);
}
