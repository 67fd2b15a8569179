// The tour of the program's windows: its workstation, the answers it gives in place of the user,
// the order in which it opens the windows, and what a user would find wrong in them.
#include "windowtour.h"

#include "structuretour.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/imageform.h>
#include <app/mainwindow/about.h>
#include <app/mainwindow/mainform.h>
#include <app/packages/compform.h>
#include <app/packages/packdlg.h>
#include <app/patients/iddlg.h>
#include <app/sources/configform.h>
#include <platform/codepage.h>
#include <platform/db/localtable.h>
#include <platform/dialogs.h>
#include <platform/fileops.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>
#include <platform/ui/forms.h>
#include <platform/ui/qtdialogs.h>
#include <platform/variant.h>
#include <translation/langrus.h>
#include <translation/language.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStackedWidget>
#include <QStyleOption>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <map>

namespace {

// Lays the window out now, from its innermost layouts outwards, as the event loop soon would:
// what changed in a control reaches the window's size before anyone looks.
void settle(QWidget* window)
{
    QCoreApplication::processEvents();
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    std::reverse(widgets.begin(), widgets.end());
    widgets.append(window);
    for (QWidget* widget : std::as_const(widgets)) {
        if (widget->layout())
            widget->layout()->activate();
    }
}

// The notebook with tabs a page holder belongs to; none for a notebook turned otherwise.
QTabWidget* tabsOf(QStackedWidget* notebook)
{
    return notebook ? qobject_cast<QTabWidget*>(notebook->parentWidget()) : nullptr;
}

// Shows the window, each page of its notebooks in turn (those of a notebook with tabs that a
// user can open, by a tab shown and enabled), and hands it over.
void showAll(QWidget* window, const QString& name, const WindowTour::Visit& visit)
{
    window->show();
    QList<std::pair<QStackedWidget*, int>> pages;
    for (QStackedWidget* notebook : window->findChildren<QStackedWidget*>()) {
        const QTabWidget* tabs = tabsOf(notebook);
        for (int page = 0; notebook->isVisibleTo(window) && page < notebook->count(); ++page) {
            if (!tabs || (tabs->isTabVisible(page) && tabs->isTabEnabled(page)))
                pages.append({notebook, page});
        }
    }
    if (pages.isEmpty())
        pages.append({nullptr, 0});
    for (const auto& [notebook, page] : pages) {
        // A notebook with tabs turns its page as a click on the page's tab does.
        if (QTabWidget* tabs = tabsOf(notebook))
            tabs->setCurrentIndex(page);
        else if (notebook)
            notebook->setCurrentIndex(page);
        settle(window);
        visit(window, notebook ? name + QStringLiteral("-page%1").arg(page) : name);
    }
}

QString className(const QObject* object)
{
    return QString::fromLatin1(object->metaObject()->className());
}

// The user of the tour: a modal window is shown and visited, then what the user would do next
// in it (`next`, by class) is done; a file or folder chooser is shown, visited once it shows its
// folder, and cancelled; every question is answered as cancelled.
class TourDialogs final : public DialogService
{
public:
    explicit TourDialogs(const WindowTour::Visit& visit) : m_visit(visit) {}

    std::map<QString, std::function<void(TForm&)>> next;
    QStringList shown;

    int messageDlg(const QString&, TMsgDlgType, TMsgDlgButtons, const QString&) override
    {
        return mrCancel;
    }
    void showMessage(const QString&) override {}
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
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
    void showException(const QString&) override {}
    bool printerSetup(QPrinter&) override { return false; }

    int showModal(TForm& form) override
    {
        const QString name = className(&form);
        shown << name;
        form.beginModal();
        showAll(&form, name, m_visit);
        doNext(form);
        form.endModal();
        form.hide();
        return mrCancel;
    }

    // What the user does next in a window the tour has shown.
    void doNext(TForm& form)
    {
        const auto then = next.find(className(&form));
        if (then == next.end())
            return;
        const QPointer<TForm> opener = m_opener;
        m_opener = &form;
        then->second(form);
        m_opener = opener;
    }

private:
    // The chooser is named after the window that opened it ("TCompForm-chooser").
    QString choose(ChooserKind kind, const QString& caption, const QString& dir,
                   const QString& filter)
    {
        QPointer<QFileDialog> chooser = createFileChooser(kind, m_opener, caption, dir, filter);
        const auto done = qScopeGuard([&chooser] { delete chooser; });
        bool read = true;
        if (auto* model = chooser->findChild<QFileSystemModel*>()) {
            read = false;
            const QString folder =
                QFileInfo(chooser->directory().absolutePath()).canonicalFilePath();
            QObject::connect(model, &QFileSystemModel::directoryLoaded, chooser,
                             [&read, folder](const QString& path) {
                                 read = read || QFileInfo(path).canonicalFilePath() == folder;
                             });
        }
        chooser->show();
        const QDeadlineTimer deadline(10000);
        while (!read && chooser && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!chooser)
            return {};
        settle(chooser);
        m_visit(chooser, (m_opener ? className(m_opener) : QStringLiteral("QFileDialog")) +
                             QStringLiteral("-chooser"));
        return {};
    }

    const WindowTour::Visit& m_visit;
    QPointer<TForm> m_opener;
};

// The archiver and the transfer folder, which the user gives the compression settings and the
// transfer dialog before choosing anew with their choosers.
QString archiverFile(const QString& work)
{
    return work + QStringLiteral("rar/rar");
}
QString transferFolder(const QString& work)
{
    return work + QStringLiteral("transfert");
}

void writeSettings(const QString& programDir, const QString& work)
{
    const QStringList lines{QStringLiteral("[Application]"), QStringLiteral("Path=") + work,
                            QStringLiteral("User=Dr Martin"), QStringLiteral("DelInterval=-1")};
    fileops::writeFile(
        programDir + QStringLiteral("QUORVANE.INI"),
        codepage::toAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
}

// What a workstation in use holds: a folder source and a passive analyser, a patient with a
// compound name, a document of hers and one waiting to be identified.
void addSampleRows(TDataTables& t)
{
    t.cfg->appendRecord(
        {1, 1, 1, QStringLiteral("Spiromètre du cabinet"), QStringLiteral("JAE"), true, true, 0});
    t.fRep->appendRecord({1, QStringLiteral("/srv/spirometrie"), QStringLiteral("*.txt"), true, 0});
    t.cfg->appendRecord(
        {2, 4, 2, QStringLiteral("Gaz du sang"), QStringLiteral("AVL"), true, false, 0});
    t.com->appendRecord({2, 3, true, 2, 7, 30, 6, 8, 0, 0, 0});
    t.Patients_Local->appendRecord({7, QStringLiteral("DUPRÉ-LEFEBVRE"),
                                    QStringLiteral("Marie-Hélène"),
                                    Variant::fromDateTime(EncodeDate(1948, 3, 12))});
    const TDateTime when = toDateTime(QDateTime::currentDateTime());
    t.files->appendRecord({1, 0, Variant::null(), 1, Variant::fromDateTime(Trunc(when)),
                           Variant::fromDateTime(Frac(when)), 0, 1, 0, 7});
    t.files->appendRecord({2, 0, Variant::null(), 2, Variant::fromDateTime(Trunc(when)),
                           Variant::fromDateTime(Frac(when)), 0, 1, 1, 0});
}

// The archiver's folder as its installation leaves it (two programs, a list and a manual), and
// the transfer folder with a folder a month.
void addSampleFiles(const QString& work)
{
    const QString archiver = archiverFile(work);
    const QString folder = QFileInfo(archiver).path() + QLatin1Char('/');
    QDir().mkpath(folder);
    const QByteArray program("\177ELF\002\001\001", 7); // a 64-bit program's first bytes
    const QDateTime installed(QDate(2026, 12, 7), QTime(21, 50));
    for (const auto& [name, bytes] :
         {std::pair{QStringLiteral("rar"), program + QByteArray(68493, '\0')},
          {QStringLiteral("unrar"), program + QByteArray(31000, '\0')},
          {QStringLiteral("rarfiles.lst"), QByteArray("*.txt\n*.doc\n")},
          {QStringLiteral("readme.txt"), QByteArray(2400, 'x')}}) {
        fileops::writeFile(folder + name, bytes);
        QFile written(folder + name);
        if (written.open(QIODevice::ReadWrite))
            written.setFileTime(installed, QFileDevice::FileModificationTime);
        if (!name.contains(QLatin1Char('.')))
            written.setPermissions(written.permissions() | QFileDevice::ExeOwner);
    }
    for (const char* month : {"2026-11", "2026-12"})
        QDir().mkpath(transferFolder(work) + QLatin1Char('/') + QLatin1String(month));
}

// A picture as large as the screen, framed so that its edges show, as the viewer loads one.
void showScreenCapture(TImageForm& viewer)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    QPixmap capture(screen ? screen->geometry().size() : QSize(1280, 1024));
    capture.fill(QColor(0xE8, 0xEE, 0xF4));
    QPainter painter(&capture);
    painter.setPen(QPen(Qt::darkBlue, 8));
    painter.drawRect(capture.rect().adjusted(4, 4, -4, -4));
    painter.end();
    viewer.Image1->setPixmap(capture);
    viewer.Image1->setFixedSize(capture.size());
}

// Puts back the program-wide values the workstation set, for whatever runs next in the process.
void forgetWorkstation()
{
    SetProgramDirForTesting(QString());
    TMainForm::SetScreenCaptureServerNameForTesting(QString());
    Application::setExceptionHandler({});
    Application::resetTerminated();
    setDialogService(nullptr);
    setScreenCursor(crDefault);
    for (QString* value : {&IniFileName, &LogFileName, &TressolyPath, &WorkPath, &BufDir,
                           &ExchangeDir, &ComBufDir, &DataDir})
        value->clear();
    CurrentNumber = 0;
    EditedSourceNumber = 0;
    FileSourceCount = PrinterSourceCount = ScreenSourceNumber = 0;
}

// What a control needs to show its text whole; a zero width or height is not checked.
QSize needed(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->wordWrap() ? QSize(0, label->heightForWidth(w->width())) : w->sizeHint();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (button->text().isEmpty())
            return button->icon().isNull() ? QSize() : button->iconSize();
        return {w->sizeHint().width(), w->minimumSizeHint().height()};
    }
    if (qobject_cast<QAbstractSpinBox*>(w))
        return w->minimumSizeHint();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        const QMargins m = edit->textMargins();
        const QSize text(
            edit->fontMetrics().horizontalAdvance(edit->text()) + 4 + m.left() + m.right(), 0);
        return {w->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, w).width(), 0};
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.frame = combo->hasFrame();
        const QRect field = w->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, w);
        return {w->width() - field.width() +
                    w->fontMetrics().horizontalAdvance(combo->currentText()),
                0};
    }
    return {};
}

// A cell of a table that wraps its texts: its text, wrapped at the column's width as the table
// draws it, must fit the row.
QString cutWrappedCell(QTableView* table, int row, int column)
{
    const QModelIndex index = table->model()->index(row, column, table->rootIndex());
    QStyleOptionViewItem option;
    option.initFrom(table);
    option.font = table->font();
    option.features |= QStyleOptionViewItem::WrapText;
    option.rect = QRect(0, 0, table->columnWidth(column), table->rowHeight(row));
    const QSize need = table->itemDelegateForIndex(index)->sizeHint(option, index);
    if (need.width() <= option.rect.width() && need.height() <= option.rect.height())
        return {};
    return QStringLiteral("row %1 of column %2 is %3x%4 for %5x%6")
        .arg(row)
        .arg(column)
        .arg(option.rect.width())
        .arg(option.rect.height())
        .arg(need.width())
        .arg(need.height());
}

// A list's columns: each as wide as its title and its rows (a table that wraps its texts: its
// rows as tall as their texts), all inside the list.
QString cutColumns(QAbstractItemView* view)
{
    const QHeaderView* header = nullptr;
    if (auto* tree = qobject_cast<QTreeView*>(view); tree && !tree->isHeaderHidden())
        header = tree->header();
    else if (auto* table = qobject_cast<QTableView*>(view))
        header = table->horizontalHeader();
    if (!header)
        return {};
    if (header->length() > view->viewport()->width())
        return QStringLiteral("columns %1 wide in %2")
            .arg(header->length())
            .arg(view->viewport()->width());
    for (int i = 0; i < header->count(); ++i) {
        const bool highlighted =
            header->highlightSections() && view->selectionModel() &&
            view->selectionModel()->columnIntersectsSelection(i, view->rootIndex());
        auto* wrapping = qobject_cast<QTableView*>(view);
        if (wrapping && !wrapping->wordWrap())
            wrapping = nullptr;
        for (int row = 0; wrapping && row < view->model()->rowCount(view->rootIndex()); ++row) {
            if (const QString cut = cutWrappedCell(wrapping, row, i); !cut.isEmpty())
                return cut;
        }
        const int need = std::max(columnTitleWidth(header, i, highlighted),
                                  wrapping ? 0 : view->sizeHintForColumn(i));
        if (header->sectionSize(i) < need)
            return QStringLiteral("column %1 is %2 wide for %3")
                .arg(i)
                .arg(header->sectionSize(i))
                .arg(need);
    }
    return {};
}

// A control as Tab meets it: a part of a list, a spin box or a memo is that control.
QWidget* tabStop(QWidget* widget, const QWidget* window)
{
    QWidget* stop = widget;
    for (QWidget* p = widget->parentWidget(); p && p != window; p = p->parentWidget()) {
        if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p) ||
            qobject_cast<QAbstractItemView*>(p) || qobject_cast<QAbstractScrollArea*>(p))
            stop = p;
    }
    return stop;
}

// Where a reader meets `b` before `a`: it stands wholly above `a`, or wholly to its left on the
// same row. Compared as the children of the panel holding both, since a
// panel's controls are read together.
bool readBefore(const QWidget* b, const QWidget* a, const QWidget* window)
{
    const QWidget* panel = a->parentWidget();
    while (panel && panel != window && !panel->isAncestorOf(b))
        panel = panel->parentWidget();
    const auto within = [panel](const QWidget* w) {
        while (w->parentWidget() != panel)
            w = w->parentWidget();
        return QRect(w->mapTo(panel, QPoint(0, 0)), w->size());
    };
    const QRect ra = within(a);
    const QRect rb = within(b);
    if (ra == rb)
        return false;
    const bool sameRow = rb.contains(rb.center().x(), ra.center().y()) ||
                         ra.contains(ra.center().x(), rb.center().y());
    return rb.bottom() < ra.top() || (sameRow && rb.right() < ra.left());
}

// Tab from one control to the next, as the window's focus chain goes: a control that a reader
// meets before one Tab reached earlier is out of order.
QStringList tabFaults(QWidget* window, const std::function<QString(const QWidget*)>& name)
{
    QList<QWidget*> chain;
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        if (w->window() != window || !w->isVisibleTo(window) || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        QWidget* stop = tabStop(w, window);
        if (!chain.contains(stop))
            chain << stop;
    }
    QStringList found;
    for (qsizetype i = 0; i < chain.size(); ++i) {
        for (qsizetype j = i + 1; j < chain.size(); ++j) {
            if (readBefore(chain[j], chain[i], window)) {
                found << QStringLiteral("Tab goes to %1 after %2")
                             .arg(name(chain[j]), name(chain[i]));
                break;
            }
        }
    }
    return found;
}

// What is wrong with the window as shown, one line per fault. The controls are its labels with
// a text, buttons, edits, lists and memos; not the parts inside them.
QStringList layoutFaults(QWidget* window)
{
    QStringList found;
    QList<QWidget*> controls;
    const auto name = [window](const QWidget* w) {
        return QLatin1String(window->metaObject()->className()) + u'.' +
               (w->objectName().isEmpty() ? QLatin1String(w->metaObject()->className())
                                          : w->objectName());
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(w);
        bool part = false;
        for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
            part = part || qobject_cast<const QAbstractScrollArea*>(p) ||
                   qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractSpinBox*>(p);
        if (part || !w->isVisibleTo(window) || w->isWindow() ||
            (label && label->text().isEmpty()) ||
            !(label || qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
              qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
              qobject_cast<QAbstractScrollArea*>(w)))
            continue; // a part of a control, a picture or a panel
        controls << w;
        const QSize need = needed(w);
        if (w->width() < need.width() || w->height() < need.height())
            found << name(w) + QStringLiteral(": text cut, %1x%2 for %3x%4")
                                   .arg(w->width())
                                   .arg(w->height())
                                   .arg(need.width())
                                   .arg(need.height());
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && !cutColumns(view).isEmpty())
            found << name(w) + QStringLiteral(": ") + cutColumns(view);
        for (const QWidget* p = w->parentWidget(); p;
             p = p == window ? nullptr : p->parentWidget()) {
            if (!p->rect().contains(QRect(w->mapTo(p, QPoint(0, 0)), w->size())))
                found << name(w) + QStringLiteral(": outside ") + name(p);
        }
    }
    if (!(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        window->width() < titleBarWidth(window))
        found << QLatin1String(window->metaObject()->className()) +
                     QStringLiteral(": title cut, %1 wide for %2")
                         .arg(window->width())
                         .arg(titleBarWidth(window));
    found << tabFaults(window, name);
    for (const QTabWidget* notebook : window->findChildren<QTabWidget*>()) {
        const int page = notebook->indexOf(notebook->currentWidget());
        if (!notebook->isVisibleTo(window))
            continue;
        if (page != notebook->currentIndex())
            found << name(notebook) + QStringLiteral(": tab %1 highlighted over page %2")
                                          .arg(notebook->currentIndex())
                                          .arg(page);
        else if (!notebook->isTabVisible(page))
            found << name(notebook) + QStringLiteral(": page %1 shown without its tab").arg(page);
    }
    for (const QMenu* menu : window->findChildren<QMenu*>()) {
        for (const QAction* action : menu->actions()) {
            if (action->isSeparator() && !action->text().isEmpty())
                found << name(menu) + QStringLiteral(": a separator shows ") + action->text();
        }
    }
    for (qsizetype i = 0; i < controls.size(); ++i) {
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            QWidget* a = controls[i];
            QWidget* b = controls[j];
            if (QRect(a->mapTo(window, QPoint(0, 0)), a->size())
                    .intersects(QRect(b->mapTo(window, QPoint(0, 0)), b->size())) &&
                !a->isAncestorOf(b) && !b->isAncestorOf(a))
                found << name(a) + QStringLiteral(" over ") + name(b);
        }
    }
    return found;
}

} // namespace

QStringList WindowTour::faults(QWidget* window)
{
    return layoutFaults(window);
}

bool WindowTour::run(const Visit& visit, QString* error)
{
    QTemporaryDir folder;
    const QString programDir = folder.filePath(QStringLiteral("prog/"));
    const QString work = folder.filePath(QStringLiteral("work/"));
    QDir().mkpath(programDir);
    QDir().mkpath(work);
    SetProgramDirForTesting(programDir);
    TMainForm::SetScreenCaptureServerNameForTesting(
        QStringLiteral("quorvane-windows-%1").arg(QCoreApplication::applicationPid()));
    writeSettings(programDir, work);
    addSampleFiles(work);
    const auto cleanup = qScopeGuard(forgetWorkstation);
    // The program works in its working folder, where a chooser given no folder opens, and
    // shows in its caption and its about box the subtitle its language gives it at start-up.
    const QString savedFolder = QDir::currentPath();
    const QString savedSubtitle = ProgSubtitle;
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(savedFolder);
        ProgSubtitle = savedSubtitle;
    });
    QDir::setCurrent(work);
    if (CurrentLanguage != DefaultLanguage && ProgLanguage == 2)
        ProgSubtitle = SubtitleRUS();

    TourDialogs dialogs(visit);
    setDialogService(&dialogs);
    DataTables = CreateForm<TDataTables>();
    auto* main = CreateForm<TMainForm>();
    const auto freeAll = qScopeGuard([main] {
        delete main;
        DataTables->Free();
        DataTables = nullptr;
    });
    if (main->StartupFailed()) {
        if (error)
            *error = QStringLiteral("the workstation did not start in ") + folder.path();
        return false;
    }
    // The tour ticks itself, before there is anything to poll: the first tick, then one that
    // sets the clock. The first tick starts the timer again; no tick of its own opens a window
    // while the tour waits on the display.
    main->CommonTimer->stop();
    main->CommonTimerTimer(main->CommonTimer);
    main->CommonTimerTimer(main->CommonTimer);
    main->CommonTimer->stop();
    addSampleRows(*DataTables);
    fileops::writeFile(LogFileName, "06/12/2026 22:10:46\tDocument 1 sent to QVXIMP\r\n");
    if (main->ConfigBtn->isChecked())
        main->ConfigBtn->click();
    main->FillSourceList();
    main->FillDocumentList();

    showAll(main, QStringLiteral("TMainForm-documents"), visit);
    main->ConfigBtn->click();
    showAll(main, QStringLiteral("TMainForm-sources"), visit);
    main->ConfigBtn->click();

    // The windows the commands open: the first document identified (and its patient), the first
    // source (and its line), the log.
    dialogs.next[QStringLiteral("TIdDlg")] = [](TForm& form) {
        static_cast<TIdDlg&>(form).Modify->click();
    };
    dialogs.next[QStringLiteral("TConfigForm")] = [](TForm& form) {
        auto& config = static_cast<TConfigForm&>(form);
        config.Notebook1->setCurrentWidget(config.COMPort);
        config.COMOptions->click();
    };
    main->ListView1->setCurrentItem(main->ListView1->topLevelItem(1));
    main->bIdentify->click();
    main->ListView2->setCurrentItem(main->ListView2->topLevelItem(1));
    main->bModify->click();
    main->bShowLOG->click();

    ShowStructureEditor(folder.path(), dialogs.next);

    // The choosers of the archiver, of the transfer folder and of the report's workbook.
    dialogs.next[QStringLiteral("TCompForm")] = [&work](TForm& form) {
        auto& compression = static_cast<TCompForm&>(form);
        if (!compression.CheckBox1->isChecked())
            compression.CheckBox1->click();
        compression.Edit1->setText(archiverFile(work));
        compression.Button1->click();
    };
    dialogs.next[QStringLiteral("TPackDlg")] = [&work](TForm& form) {
        auto& transfer = static_cast<TPackDlg&>(form);
        transfer.FPath->setText(transferFolder(work));
        transfer.SpeedButton1->click();
    };
    dialogs.next[QStringLiteral("TfF1Processor")] = [](TForm& form) {
        if (auto* save = form.findChild<QToolButton*>(QStringLiteral("tbExcel")))
            save->click();
    };

    // Every other window, as it opens.
    for (const TRegisteredForm& registered : registeredFormClasses()) {
        if (dialogs.shown.contains(QString::fromLatin1(registered.metaObject->className())) ||
            registered.metaObject == &TMainForm::staticMetaObject)
            continue;
        auto* form = qobject_cast<TForm*>(registered.create());
        if (!form)
            continue;
        form->create();
        // The e-mail window starts its transfer as it shows, and closes at once without a server
        // to send to: it is shown as it opens, before the transfer.
        if (registered.metaObject->className() == QByteArrayView("TSMTPTForm"))
            form->OnShow = nullptr;
        // The picture window holds a screen capture, as large as the screen.
        if (auto* viewer = qobject_cast<TImageForm*>(form))
            showScreenCapture(*viewer);
        showAll(form, className(form), visit);
        dialogs.doNext(*form);
        // The about box once more, with its system lines open.
        if (auto* about = qobject_cast<TfAbout*>(form)) {
            about->BitBtn2->click();
            showAll(form, className(form) + QStringLiteral("-sysinfo"), visit);
        }
        form->Free();
    }
    return true;
}
