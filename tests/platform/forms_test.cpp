// Forms and data modules: two-step creation, the components list, the application's list, the
// Qt events turned into the form's events, closing, key preview, and modal showing through the
// Qt dialog service's nested event loop.
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/ui/forms.h>

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

QStringList g_events;

// A control that records the keys it receives.
class KeyRecorder : public QWidget
{
public:
    using QWidget::QWidget;
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        keys.append(event->key());
        event->ignore(); // a control that leaves the key unused: it travels on to the form
    }
};

// Ends a modal loop that a broken form would leave running, so that a failing test fails
// instead of hanging.
void modalSafetyNet(TForm* form)
{
    QTimer::singleShot(20000, form, [form] {
        ADD_FAILURE() << "the modal loop did not end";
        form->endModal();
        form->hide();
    });
}

void runPostedEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

const QStringList kCreated{"constructor", "components 5", "FormCreate"};
const QStringList kClosed{"FormCloseQuery", "FormClose"};

} // namespace

class TSampleForm : public TForm
{
    Q_OBJECT

public:
    TSampleForm()
    {
        g_events.append("constructor");
        OnCreate = [this](QObject* sender) {
            g_events.append(sender == this ? "FormCreate" : "?");
        };
        OnDestroy = [this](QObject*) { g_events.append("FormDestroy " + marker); };
        OnCloseQuery = [this](QObject*, bool& canClose) {
            g_events.append("FormCloseQuery");
            canClose = refusals-- <= 0;
        };
        OnClose = [this](QObject*, TCloseAction& action) {
            g_events.append("FormClose");
            action = closeAction;
        };

        Panel1 = makeComponent<QWidget>("Panel1", "TPanel");
        Label1 = makeComponent<QLabel>("Label1", "TLabel", QStringLiteral("Nom"), Panel1);
        bOk = makeComponent<QPushButton>("bOk", "TBitBtn");
        Edit1 = makeComponent<KeyRecorder>("Edit1", "TEdit");
        Timer1 = makeComponent<QTimer>("Timer1", "TTimer");
        g_events.append(QStringLiteral("components %1").arg(components().size()));
    }

    QWidget* Panel1;
    QLabel* Label1;
    QPushButton* bOk;
    KeyRecorder* Edit1;
    QTimer* Timer1;

    QString marker = QStringLiteral("sample");
    int refusals = 0;
    TCloseAction closeAction = caHide;
};

class TSampleModule : public TDataModule
{
    Q_OBJECT

public:
    TSampleModule()
    {
        OnCreate = [](QObject*) { g_events.append("DataModuleCreate"); };
        OnDestroy = [](QObject*) { g_events.append("DataModuleDestroy"); };
        Query1 = makeComponent<QObject>("Query1", "TQuery");
    }

    QObject* Query1;
};

class Forms : public ::testing::Test
{
protected:
    void SetUp() override { g_events.clear(); }
    void TearDown() override { setScreenCursor(crDefault); }
};

TEST_F(Forms, CreationRunsInTwoStepsAndListsComponentsAndForms)
{
    // The constructor assigns the handlers and creates the components; OnCreate waits for the
    // creation step.
    const qsizetype before = applicationComponents().size();
    auto* form = new TSampleForm;
    EXPECT_EQ(g_events, kCreated.mid(0, 2));
    form->create();
    EXPECT_EQ(g_events, kCreated);

    QStringList listed;
    for (const QObject* component : form->components())
        listed.append(component->objectName() + ':' +
                      component->property("componentClass").toString());
    EXPECT_EQ(listed, QStringList({"Panel1:TPanel", "Label1:TLabel", "bOk:TBitBtn", "Edit1:TEdit",
                                   "Timer1:TTimer"}));
    EXPECT_EQ(form->findComponent(QStringLiteral("BOK")), form->bOk);
    // A component deleted at run time leaves the list.
    delete form->Label1;
    EXPECT_EQ(form->components().size(), 4);
    EXPECT_EQ(form->findComponent(QStringLiteral("Label1")), nullptr);

    // The application lists live forms and data modules in creation order.
    g_events.clear();
    TSampleModule* module = CreateForm<TSampleModule>();
    EXPECT_EQ(g_events, QStringList({"DataModuleCreate"}));
    std::unique_ptr<TSampleForm> another(CreateForm<TSampleForm>());
    EXPECT_EQ(module->components(), QList<QObject*>({module->Query1}));
    EXPECT_EQ(applicationComponents().mid(before), QList<QObject*>({form, module, another.get()}));

    // OnDestroy runs while the form's own members still exist.
    g_events.clear();
    module->Free();
    form->marker = QStringLiteral("second");
    form->Free();
    EXPECT_EQ(applicationComponents().mid(before), QList<QObject*>({another.get()}));
    another.reset(); // a plain delete raises nothing but still leaves the list
    EXPECT_EQ(applicationComponents().size(), before);
    EXPECT_EQ(g_events, QStringList({"DataModuleDestroy", "FormDestroy second"}));
}

TEST_F(Forms, ExceptionInCreationIsShownAndTheFormStays)
{
    ScopedScriptedDialogs dialogs;
    dialogs.expectException(QStringLiteral("base absente"));
    auto* form = new TSampleForm;
    form->OnCreate = [](QObject*) { throw EConvertError(QStringLiteral("base absente")); };
    form->create();
    // A silent exception shows nothing.
    auto* silent = new TSampleForm;
    silent->OnCreate = [](QObject*) { throw EAbort(QString()); };
    silent->create();
    form->Free();
    silent->Free();
}

TEST_F(Forms, QtEventsRaiseTheFormsEventsAndCloseFollowsItsAction)
{
    TSampleForm* form = CreateForm<TSampleForm>();
    QStringList seen;
    form->OnShow = [&](QObject*) { seen.append("show"); };
    form->OnHide = [&](QObject*) { seen.append("hide"); };
    form->OnResize = [&](QObject*) { seen.append("resize"); };
    form->resize(200, 100);
    form->show();
    EXPECT_EQ(seen.count("show"), 1);
    EXPECT_TRUE(seen.contains("resize"));
    seen.clear();

    form->refusals = 1;
    form->Close();
    EXPECT_TRUE(form->isVisible()); // refused
    EXPECT_EQ(g_events.mid(3), QStringList({"FormCloseQuery"}));

    g_events.clear();
    form->Close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(g_events, kClosed);
    EXPECT_EQ(seen, QStringList({"hide"}));

    form->show();
    form->closeAction = caNone;
    form->Close();
    EXPECT_TRUE(form->isVisible());

    // caFree: the form is released once control is back in the event loop.
    g_events.clear();
    form->closeAction = caFree;
    QPointer<TSampleForm> guard(form);
    form->Close();
    ASSERT_TRUE(guard);
    runPostedEvents();
    EXPECT_FALSE(guard);
    EXPECT_EQ(g_events, kClosed + QStringList({"FormDestroy sample"}));
}

TEST_F(Forms, ModalLoopEndsOnAnAcceptedModalResultAndCannotBeNested)
{
    std::unique_ptr<TSampleForm> form(CreateForm<TSampleForm>());
    modalSafetyNet(form.get());
    setScreenCursor(crHourGlass);
    form->refusals = 1;

    // Timers keep firing inside the modal loop. The first tick's result is refused by the form
    // and goes back to mrNone; the third tick's ends the loop. Showing the form modally a second
    // time meanwhile is refused.
    QList<int> resultsSeen;
    TCursor cursorMeanwhile = crHourGlass;
    bool modalMeanwhile = false;
    QObject::connect(form->Timer1, &QTimer::timeout, form.get(), [&] {
        resultsSeen.append(form->ModalResult());
        cursorMeanwhile = screenCursor();
        modalMeanwhile = form->isShownModal() && form->isVisible() &&
                         form->windowModality() == Qt::ApplicationModal;
        if (resultsSeen.size() == 1) {
            EXPECT_THROW(form->ShowModal(), Exception);
        }
        if (resultsSeen.size() == 1 || resultsSeen.size() == 3)
            form->setModalResult(mrOk);
    });
    form->Timer1->start(1);

    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(resultsSeen, QList<int>({mrNone, mrNone, mrNone}));
    EXPECT_TRUE(modalMeanwhile);
    EXPECT_EQ(cursorMeanwhile, crDefault); // the cursor is normal over a modal form...
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr); // ...and comes back afterwards
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->isShownModal());
    EXPECT_EQ(g_events.mid(3), QStringList({"FormCloseQuery"}) + kClosed);

    setScreenCursor(crHourGlass); // no second layer to undo
    setScreenCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Forms, ClosingOrLosingTheModalWindowGivesCancel)
{
    std::unique_ptr<TSampleForm> form(CreateForm<TSampleForm>());
    modalSafetyNet(form.get());

    // The window's close button: the closing step still runs, once.
    QTimer::singleShot(0, form.get(), [&] { form->close(); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(g_events.mid(3), kClosed);

    // Close() while modal, and hidden by code.
    QTimer::singleShot(0, form.get(), [&] { form->Close(); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    QTimer::singleShot(0, form.get(), [&] { form->hide(); });
    EXPECT_EQ(form->ShowModal(), mrCancel);

    // Deleted while shown: no crash, mrCancel.
    TSampleForm* doomed = CreateForm<TSampleForm>();
    QTimer::singleShot(0, [doomed] { delete doomed; });
    EXPECT_EQ(doomed->ShowModal(), mrCancel);

    // Released from its own closing step (caFree): the result still comes back.
    TSampleForm* released = CreateForm<TSampleForm>();
    QPointer<TSampleForm> guard(released);
    released->closeAction = caFree;
    QTimer::singleShot(0, released, [released] { released->setModalResult(mrOk); });
    EXPECT_EQ(released->ShowModal(), mrOk);
    runPostedEvents();
    EXPECT_FALSE(guard);
}

TEST_F(Forms, KeyPreviewShowsKeysToTheFormFirst)
{
    std::unique_ptr<TSampleForm> form(CreateForm<TSampleForm>());
    form->show();
    form->Edit1->setFocusPolicy(Qt::StrongFocus);
    form->Edit1->setFocus();
    QList<int> formKeys;
    form->OnKeyDown = [&](QObject* sender, int& key, Qt::KeyboardModifiers) {
        EXPECT_EQ(sender, form.get());
        formKeys.append(key);
        if (key == Qt::Key_F2)
            key = 0; // swallowed
        else if (key == Qt::Key_Return)
            key = Qt::Key_Down; // handed on changed
    };
    const auto press = [](QWidget* target, int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };

    // With preview the form sees a control's keys first, and may swallow or change them.
    form->KeyPreview = true;
    for (const int key : {Qt::Key_A, Qt::Key_F2, Qt::Key_Return})
        press(form->Edit1, key);
    EXPECT_EQ(formKeys, QList<int>({Qt::Key_A, Qt::Key_F2, Qt::Key_Return}));
    EXPECT_EQ(form->Edit1->keys, QList<int>({Qt::Key_A, Qt::Key_Down}));

    // The form's own keys reach it once, preview or not.
    formKeys.clear();
    form->setFocus();
    press(form.get(), Qt::Key_Escape);
    EXPECT_EQ(formKeys, QList<int>({Qt::Key_Escape}));
}

// A window opens centred over the window it belongs to, or on the screen when it belongs to none;
// grown or shrunk by the program while shown, it keeps its centre, and stays inside the screen
// when its centre would put it outside.
TEST_F(Forms, WindowsOpenOverTheirOwnerAndKeepTheirCentre)
{
    const QRect area = availableScreenArea(nullptr);
    const auto centre = [](const QWidget& w) { return w.frameGeometry().center(); };
    // Within the rounding of halves and the frame the platform adds.
    const auto near = [](QPoint a, QPoint b) { return (a - b).manhattanLength() <= 4; };

    QWidget owner;
    owner.setGeometry(area.left() + 40, area.top() + 30, 500, 400);
    owner.show();
    std::unique_ptr<TSampleForm> dialog(CreateForm<TSampleForm>());
    dialog->setParent(&owner, Qt::Window);
    dialog->resize(200, 100);
    dialog->show();
    EXPECT_TRUE(near(centre(*dialog), centre(owner))) << centre(*dialog) << centre(owner);

    dialog->resize(300, 160); // as a layout grows the window
    EXPECT_EQ(dialog->size(), QSize(300, 160));
    EXPECT_TRUE(near(centre(*dialog), centre(owner))) << centre(*dialog) << centre(owner);
    dialog->resize(200, 100);
    EXPECT_TRUE(near(centre(*dialog), centre(owner))) << centre(*dialog) << centre(owner);

    // Grown beyond the screen's edge, it comes back inside.
    dialog->move(area.right() - 220, area.bottom() - 120);
    dialog->resize(400, 300);
    EXPECT_TRUE(area.contains(dialog->frameGeometry())) << dialog->frameGeometry() << area;

    // A window of its own, without anyone to belong to, opens in the middle of the screen; one
    // that was given a place keeps it.
    owner.hide();
    std::unique_ptr<TSampleForm> alone(CreateForm<TSampleForm>());
    alone->resize(200, 100);
    alone->show();
    EXPECT_TRUE(near(centre(*alone), area.center())) << centre(*alone) << area.center();
    std::unique_ptr<TSampleForm> placed(CreateForm<TSampleForm>());
    placed->setGeometry(area.left() + 10, area.top() + 10, 200, 100);
    placed->show();
    EXPECT_EQ(placed->geometry().topLeft(), area.topLeft() + QPoint(10, 10));
}

// A window the program centres on the screen while it builds it opens centred with the size it
// has once shown: here a text set after the centring widens it as its layout is applied.
TEST_F(Forms, AWindowCentredOnTheScreenOpensCentredAtItsFinalSize)
{
    std::unique_ptr<TForm> form(CreateForm<TForm>());
    auto* text = new QLabel(QStringLiteral("Court"));
    auto* layout = new QVBoxLayout(form.get());
    layout->addWidget(text);
    form->setDesignedSize(200, 100);
    form->centreOnScreen();
    text->setText(QString(60, u'M'));
    form->show();
    ASSERT_GT(form->width(), 200);
    ASSERT_LT(form->width(), form->screen()->geometry().width());
    const QPoint centre = form->frameGeometry().center();
    const QPoint screen = form->screen()->geometry().center();
    EXPECT_LE((centre - screen).manhattanLength(), 2) << centre << " on " << screen;
}

// Shown modally, a form closes on Escape as on its close box (its closing step runs, and may
// refuse); with a cancel button, Escape presses it instead; not shown modally, it stays.
TEST_F(Forms, EscapeClosesAModalForm)
{
    std::unique_ptr<TSampleForm> form(CreateForm<TSampleForm>());
    form->Edit1->setFocusPolicy(Qt::StrongFocus);
    modalSafetyNet(form.get());
    const auto pressEscape = [&form] {
        form->Edit1->setFocus();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(form->Edit1, &escape);
    };
    // The first Escape is refused by the form's close query; pressed again, it closes the form.
    form->refusals = 1;
    const TCloseQueryEvent query = form->OnCloseQuery;
    form->OnCloseQuery = [&form, query, pressEscape](QObject* sender, bool& canClose) {
        query(sender, canClose);
        if (!canClose)
            QTimer::singleShot(0, form.get(), pressEscape);
    };
    QTimer::singleShot(0, form.get(), pressEscape);
    g_events.clear();
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(g_events, QStringList{"FormCloseQuery"} + kClosed);

    QPushButton cancel;
    form->CancelButton = &cancel;
    int pressed = 0;
    QObject::connect(&cancel, &QPushButton::clicked, [&form, &pressed] {
        ++pressed;
        form->setModalResult(mrAbort);
    });
    QTimer::singleShot(0, form.get(), pressEscape);
    EXPECT_EQ(form->ShowModal(), mrAbort);
    EXPECT_EQ(pressed, 1);

    form->CancelButton = nullptr;
    form->show();
    pressEscape();
    EXPECT_TRUE(form->isVisible());
}

// Tab follows the layout, whatever order the controls were made in: rows top to bottom, each
// row left to right, a panel's controls where the panel is.
TEST_F(Forms, TabFollowsTheLayout)
{
    TForm form;
    QPushButton ok("OK", &form);
    QLineEdit second(&form);
    QComboBox list(&form);
    QWidget panel(&form);
    QCheckBox right("droite", &panel);
    QCheckBox left("gauche", &panel);
    QLineEdit first(&form);
    QLabel label("Nom :", &form);

    auto* grid = new QGridLayout(&form);
    grid->addWidget(&second, 1, 1);
    grid->addWidget(&label, 0, 0);
    grid->addWidget(&first, 0, 1);
    grid->addWidget(&list, 2, 1);
    grid->addWidget(&panel, 3, 0, 1, 2);
    grid->addWidget(&ok, 4, 1);
    auto* boxes = new QHBoxLayout(&panel);
    boxes->addWidget(&left);
    boxes->addWidget(&right);

    form.show();
    // From the window on: the first control is the one a window that opens gives the focus to.
    QList<QWidget*> chain;
    for (QWidget* w = form.nextInFocusChain(); w != &form && chain.size() < 20;
         w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus && !w->focusProxy() && w->isVisible())
            chain << w;
    }
    EXPECT_EQ(chain, (QList<QWidget*>{&first, &second, &list, &left, &right, &ok}));
}

#include "forms_test.moc"
