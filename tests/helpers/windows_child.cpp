// A child process for the tests that look at the program's windows from outside, on a real display
// or offscreen. It starts as the program does (the language's dates, the application object) and
// writes its signs on stdout, one a line.
//
//   windows_child dates LANGUAGE FOLDER
//       The process's locale for characters ("ctype C.UTF-8"), for times ("time C.UTF-8") and
//       for numbers ("numeric C"), a number as the C library prints it ("number 2.5"), the time
//       variable the programs it starts inherit ("LC_TIME (unset)"), then each file of
//       FOLDER as a file chooser lists it: "file NAME | DATE".
//   windows_child dialog
//       A window at the screen's top left ("shown owner ID"); over it, once its frame is drawn, a
//       dialog of the program's ("placed dialog ID"); over that, once it is active, a message box
//       ("placed box ID").
//   windows_child viewer
//       A window centred on the screen ("placed owner ID"), then the picture viewer over it as
//       the program opens it, with a picture larger than the screen: "maximised viewer ID" once
//       the window manager has maximised it; then restored, as by the user, "placed viewer ID"
//       once it stands where it was placed.
#include <app/documents/imageform.h>
#include <platform/dialogs.h>
#include <platform/ui/application.h>
#include <platform/ui/forms.h>
#include <platform/ui/windowplace.h>

#include <QAbstractItemModel>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

namespace {

void sign(const char* what, const QWidget* window)
{
    std::printf("%s %llu\n", what, static_cast<unsigned long long>(window->winId()));
    std::fflush(stdout);
}

// Runs `then` once, from the first event of `watched` (or, for the application, of any object)
// that `happened` accepts.
class OnEvent final : public QObject
{
public:
    using Test = std::function<bool(QObject*, QEvent*)>;
    using Action = std::function<void(QObject*)>;

    OnEvent(QObject* watched, Test happened, Action then)
        : QObject(watched), m_happened(std::move(happened)), m_then(std::move(then))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_then && m_happened(watched, event))
            std::exchange(m_then, nullptr)(watched);
        return false;
    }

private:
    Test m_happened;
    Action m_then;
};

// A window of the program's with some contents.
TForm* makeWindow(QWidget* owner, const QString& title, const QString& text, QSize size)
{
    auto* form = CreateForm<TForm>(owner);
    form->setCaption(title);
    auto* layout = new QVBoxLayout(form);
    layout->addWidget(new QLabel(text));
    form->setDesignedSize(size.width(), size.height());
    return form;
}

int dates(int language, const QString& folder, int argc, char** argv)
{
    useLanguageDates(language);
    Application app(argc, argv);
    std::printf("ctype %s\n", std::setlocale(LC_CTYPE, nullptr));
    std::printf("time %s\n", std::setlocale(LC_TIME, nullptr));
    std::printf("numeric %s\n", std::setlocale(LC_NUMERIC, nullptr));
    std::printf("number %.1f\n", 2.5);
    std::printf("LC_TIME %s\n",
                qEnvironmentVariableIsSet("LC_TIME") ? qgetenv("LC_TIME").constData() : "(unset)");
    QFileDialog chooser(nullptr, QString(), folder);
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setViewMode(QFileDialog::Detail);
    auto* files = chooser.findChild<QFileSystemModel*>();
    auto* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!files || !view)
        return 2;
    // The chooser reads other folders too (those on the way to this one).
    QEventLoop loaded;
    const QString wanted = QDir(folder).canonicalPath();
    QObject::connect(files, &QFileSystemModel::directoryLoaded, &loaded,
                     [&loaded, wanted](const QString& path) {
                         if (QDir(path).canonicalPath() == wanted)
                             loaded.quit();
                     });
    QTimer::singleShot(15000, &loaded, &QEventLoop::quit);
    loaded.exec();
    const QAbstractItemModel* shown = view->model();
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < shown->rowCount(root); ++row)
        std::printf("file %s | %s\n", qPrintable(shown->index(row, 0, root).data().toString()),
                    qPrintable(shown->index(row, 3, root).data().toString()));
    return 0;
}

int dialog(int argc, char** argv)
{
    Application app(argc, argv);
    TForm* owner = makeWindow(nullptr, QStringLiteral("Fenêtre"), QStringLiteral("Propriétaire"),
                              QSize(480, 300));
    owner->move(40, 30);
    TForm* dialog =
        makeWindow(owner, QStringLiteral("Dialogue"), QStringLiteral("Au-dessus"), QSize(260, 120));
    const auto openBox = [](QObject*) {
        QTimer::singleShot(0, [] {
            dialogService().messageDlg(QStringLiteral("Une question au-dessus du dialogue"),
                                       mtInformation, mbOK);
        });
    };
    QObject::connect(WindowPlacer::of(dialog), &WindowPlacer::placed, dialog, [dialog, openBox] {
        sign("placed dialog", dialog);
        if (dialog->isActiveWindow())
            openBox(dialog);
        else
            new OnEvent(
                dialog, [](QObject*, QEvent* e) { return e->type() == QEvent::WindowActivate; },
                openBox);
    });
    // A message box is one of Qt's dialogs, watched as it shows.
    new OnEvent(
        &app,
        [](QObject* watched, QEvent* e) {
            return e->type() == QEvent::Show && qobject_cast<QDialog*>(watched);
        },
        [](QObject* watched) {
            auto* box = static_cast<QWidget*>(watched);
            QObject::connect(WindowPlacer::of(box), &WindowPlacer::placed, box,
                             [box] { sign("placed box", box); });
        });
    // The dialog opens once the owner's frame is drawn: it is centred by that frame.
    owner->show();
    sign("shown owner", owner);
    new OnEvent(
        owner,
        [owner](QObject*, QEvent* e) {
            return (e->type() == QEvent::Move || e->type() == QEvent::Paint) &&
                   frameOnScreen(owner).has_value();
        },
        [dialog](QObject*) { QTimer::singleShot(0, dialog, [dialog] { dialog->show(); }); });
    return app.exec();
}

int viewer(int argc, char** argv)
{
    Application app(argc, argv);
    TForm* owner = makeWindow(nullptr, QStringLiteral("Fenêtre"), QStringLiteral("Propriétaire"),
                              QSize(480, 300));
    owner->centreOnScreen();
    QObject::connect(WindowPlacer::of(owner), &WindowPlacer::placed, owner, [owner] {
        sign("placed owner", owner);
        QTimer::singleShot(0, owner, [owner] {
            auto* viewer = CreateForm<TImageForm>();
            const QSize screen = owner->screen()->size();
            QPixmap picture(screen + QSize(200, 100));
            picture.fill(Qt::darkCyan);
            viewer->Image1->setPixmap(picture);
            viewer->Image1->setFixedSize(picture.size());
            // Maximised once the display shows it over the whole screen and Qt agrees (no word
            // of the window manager's is still on its way); placed once it stands where it was
            // placed after that.
            auto maximised = std::make_shared<bool>(false);
            new OnEvent(
                viewer,
                [viewer, screen](QObject*, QEvent* e) {
                    const QRect whole(QPoint(0, 0), screen);
                    return (e->spontaneous() || e->type() == QEvent::Paint) &&
                           viewer->isMaximized() && frameOnScreen(viewer) == whole &&
                           viewer->geometry().bottomRight() == whole.bottomRight() &&
                           viewer->geometry().top() > 0;
                },
                [viewer, maximised](QObject*) {
                    *maximised = true;
                    sign("maximised viewer", viewer);
                    // The user restores it.
                    QTimer::singleShot(0, viewer, [viewer] { viewer->showNormal(); });
                });
            QObject::connect(WindowPlacer::of(viewer), &WindowPlacer::placed, viewer,
                             [viewer, maximised] {
                                 if (*maximised)
                                     sign("placed viewer", viewer);
                             });
            viewer->ShowModal();
            viewer->Free();
        });
    });
    owner->show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "dates") == 0 && argc == 4)
        return dates(std::atoi(argv[2]), QString::fromLocal8Bit(argv[3]), argc, argv);
    if (std::strcmp(mode, "dialog") == 0)
        return dialog(argc, argv);
    if (std::strcmp(mode, "viewer") == 0)
        return viewer(argc, argv);
    std::fprintf(stderr, "usage: windows_child dates LANGUAGE FOLDER | dialog | viewer\n");
    return 2;
}
