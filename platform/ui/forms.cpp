// Forms and data modules: creation and ending with their events, the Qt events turned into the
// form's replaceable events, closing and the modal result, key preview, the application's list
// of live forms and data modules, and the screen cursor.
#include "forms.h"
#include "windowplace.h"

#include <platform/dialogs.h>
#include <platform/exception.h>

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QStyleOptionHeader>

#include <algorithm>

namespace {

// Forms and data modules in creation order.
QList<QObject*>& liveComponents()
{
    static QList<QObject*> list;
    return list;
}

TCursor s_screenCursor = crDefault;

// Runs a handler the way the framework ran its own creation, closing and destruction handlers:
// an exception ends the handler, is shown by the application's exception box (a silent EAbort
// is not) and the caller carries on. Returns false when the handler raised.
template <class F> bool runShowingErrors(F&& handler)
{
    try {
        handler();
        return true;
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        dialogService().showException(exceptionMessage(e));
    }
    return false;
}

// Handlers are called through a copy: a handler may replace itself (the numbered-texts
// component hands OnCreate back to the form's own handler from inside its hook).
void fire(const TNotifyEvent& event, QObject* sender)
{
    if (const TNotifyEvent handler = event)
        handler(sender);
}

// The controls that hold focusable parts of their own (an edit inside a list, a spin box's
// text): Tab reaches them as one.
bool isCompoundControl(const QWidget* widget)
{
    return qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           (qobject_cast<const QAbstractScrollArea*>(widget) &&
            !qobject_cast<const QScrollArea*>(widget));
}

void addLayoutWidgets(QLayout* layout, QList<QWidget*>& widgets);

void addLayoutItem(QLayoutItem* item, QList<QWidget*>& widgets)
{
    if (QWidget* widget = item->widget())
        widgets.append(widget);
    else if (QLayout* inner = item->layout())
        addLayoutWidgets(inner, widgets);
}

// A layout's widgets in the order a reader meets them: a grid's and a form's by rows, each row
// from left to right; a box's in its order.
void addLayoutWidgets(QLayout* layout, QList<QWidget*>& widgets)
{
    struct Placed
    {
        int row, column;
        QLayoutItem* item;
    };
    QList<Placed> items;
    for (int i = 0; i < layout->count(); ++i) {
        int row = 0;
        int column = i;
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            int rowSpan = 0;
            int columnSpan = 0;
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
            QFormLayout::ItemRole role = QFormLayout::LabelRole;
            form->getItemPosition(i, &row, &role);
            column = role == QFormLayout::FieldRole ? 1 : 0;
        }
        items.append({row, column, layout->itemAt(i)});
    }
    std::stable_sort(items.begin(), items.end(), [](const Placed& a, const Placed& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    for (const Placed& placed : std::as_const(items))
        addLayoutItem(placed.item, widgets);
}

// The focusable controls inside `container`, in the order of its layout; children its layout
// does not place follow, top to bottom and left to right.
void addTabStops(QWidget* container, QList<QWidget*>& stops)
{
    QList<QWidget*> children;
    if (auto* scroll = qobject_cast<QScrollArea*>(container); scroll && scroll->widget())
        children.append(scroll->widget());
    else if (container->layout())
        addLayoutWidgets(container->layout(), children);
    QList<QWidget*> unplaced;
    for (QObject* object : container->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && !child->isWindow() && !children.contains(child))
            unplaced.append(child);
    }
    std::stable_sort(unplaced.begin(), unplaced.end(), [](const QWidget* a, const QWidget* b) {
        return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
    });
    children += unplaced;
    for (QWidget* child : std::as_const(children)) {
        if (child->parentWidget() != container && !qobject_cast<QScrollArea*>(container))
            continue; // a layout may hold a widget of another parent: it is ordered there
        // A control whose focus goes to a part of its own (an editable list's edit) is one stop.
        const QWidget* target = child;
        while (target->focusProxy())
            target = target->focusProxy();
        if ((target->focusPolicy() & Qt::TabFocus) &&
            (target == child || child->isAncestorOf(target)))
            stops.append(child);
        if (!isCompoundControl(child))
            addTabStops(child, stops);
    }
}

} // namespace

QRect availableScreenArea(const QWidget* window)
{
    const QScreen* screen =
        window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

int titleBarWidth(const QWidget* window)
{
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // The window manager's title font may be a little wider than the program's; the icon and
    // three buttons (minimise, maximise, close) are each about a line high, padded.
    return metrics.horizontalAdvance(window->windowTitle()) * 6 / 5 + 4 * (metrics.height() + 8);
}

QList<QWidget*> tabOrderByLayout(QWidget* window)
{
    QList<QWidget*> stops;
    addTabStops(window, stops);
    return stops;
}

namespace {

} // namespace

// ---- ComponentOwner

QList<QObject*> ComponentOwner::components() const
{
    QList<QObject*> result;
    result.reserve(m_components.size());
    for (const QPointer<QObject>& component : m_components) {
        if (component)
            result.append(component.data());
    }
    return result;
}

QObject* ComponentOwner::findComponent(const QString& name) const
{
    for (const QPointer<QObject>& component : m_components) {
        if (component && component->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return component.data();
    }
    return nullptr;
}

QWidget* ComponentOwner::ownerWidget() const
{
    QWidget* widget = qobject_cast<QWidget*>(m_owner);
    Q_ASSERT_X(widget, "makeComponent", "a widget component needs a form as its owner");
    return widget;
}

QAction* ComponentOwner::makeMenuItem(const char* name, const QString& caption,
                                      const QKeySequence& shortcut)
{
    auto* item = makeComponent<QAction>(name, "TMenuItem");
    // A separator is a line: a text on it would be drawn in the menu.
    if (caption == QLatin1String("-"))
        item->setSeparator(true);
    else
        item->setText(caption);
    if (!shortcut.isEmpty())
        item->setShortcut(shortcut);
    return item;
}

void ComponentOwner::adopt(QObject* component, const char* name, const char* componentClass)
{
    const QString componentName = QString::fromLatin1(name);
    Q_ASSERT_X(!componentName.isEmpty() && !findComponent(componentName), "makeComponent",
               "component names are unique within their owner");
    if (!component->parent()) {
        if (component->isWidgetType())
            static_cast<QWidget*>(component)->setParent(ownerWidget());
        else
            component->setParent(m_owner);
    }
    component->setObjectName(componentName);
    component->setProperty("componentClass", QString::fromLatin1(componentClass));
    m_components.append(component);
}

// ---- TForm

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window), ComponentOwner(this)
{
    liveComponents().append(this);
    // Key preview watches the keys the application delivers to this form's controls.
    if (qApp)
        qApp->installEventFilter(this);
}

TForm::~TForm()
{
    liveComponents().removeOne(this);
}

void TForm::create()
{
    Q_ASSERT_X(!m_created, "TForm::create", "a form is created once");
    if (m_created)
        return;
    m_created = true;
    runShowingErrors([this] { fire(OnCreate, this); });
}

void TForm::destroyNow()
{
    if (!m_ending) {
        m_ending = true;
        runShowingErrors([this] { fire(OnDestroy, this); });
    }
    delete this;
}

void TForm::Free()
{
    destroyNow();
}

void TForm::Release()
{
    if (m_releasing)
        return;
    m_releasing = true;
    // A queued call is delivered by whichever event loop runs next, nested ones included, as
    // the framework's release message was; it is dropped if the form is deleted before.
    QMetaObject::invokeMethod(
        this, [this] { destroyNow(); }, Qt::QueuedConnection);
}

void TForm::setDesignedSize(int width, int height)
{
    resize(QSize(width, height).expandedTo(minimumSizeHint()));
}

void TForm::centreOnScreen()
{
    m_centreOnScreen = true;
    if (isVisible() && isWindow() && inNormalState(this))
        WindowPlacer::of(this)->centre(true);
}

void TForm::orderTabsByLayout()
{
    const QList<QWidget*> stops = tabOrderByLayout(this);
    if (stops.isEmpty())
        return;
    // The first stop right after the window itself: it is where the focus goes when the window
    // opens. Qt orders only widgets that take the focus, so the window does for a moment.
    const Qt::FocusPolicy policy = focusPolicy();
    setFocusPolicy(Qt::TabFocus);
    setTabOrder(this, stops.first());
    setFocusPolicy(policy);
    for (qsizetype i = 1; i < stops.size(); ++i)
        setTabOrder(stops.at(i - 1), stops.at(i));
}

int columnTitleWidth(const QHeaderView* header, int section, bool highlighted)
{
    QStyleOptionHeader option;
    option.initFrom(header);
    option.section = section;
    option.text = header->model()->headerData(section, header->orientation()).toString();
    QFont font = header->font();
    font.setBold(highlighted);
    option.fontMetrics = QFontMetrics(font);
    return header->style()
        ->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header)
        .width();
}

void TForm::setModalResult(int result)
{
    m_modalResult = result;
    if (result != mrNone)
        emit modalResultChanged(result);
}

namespace {

class ScreenCursorRestorer
{
public:
    ScreenCursorRestorer() : m_saved(screenCursor()) { setScreenCursor(crDefault); }
    ~ScreenCursorRestorer() { setScreenCursor(m_saved); }
    ScreenCursorRestorer(const ScreenCursorRestorer&) = delete;
    ScreenCursorRestorer& operator=(const ScreenCursorRestorer&) = delete;

private:
    TCursor m_saved;
};

} // namespace

int TForm::ShowModal()
{
    if (m_modal)
        throw Exception(QStringLiteral("The window \"%1\" is already shown modally")
                            .arg(metaObject()->className()));
    ScreenCursorRestorer cursor;
    // The form may be gone when the service returns: nothing below touches it.
    return dialogService().showModal(*this);
}

void TForm::Close()
{
    if (m_modal) {
        setModalResult(mrCancel);
        return;
    }
    QWidget::close();
}

bool TForm::CloseQuery()
{
    bool canClose = true;
    if (const TCloseQueryEvent handler = OnCloseQuery)
        handler(this, canClose);
    return canClose;
}

void TForm::beginModal()
{
    m_modal = true;
    m_modalResult = mrNone;
}

void TForm::closeModal()
{
    TCloseAction action = caNone;
    const bool handled = runShowingErrors([this, &action] {
        if (CloseQuery()) {
            action = caHide;
            if (const TCloseEvent handler = OnClose)
                handler(this, action);
        }
    });
    if (!handled || action == caNone)
        m_modalResult = mrNone;
    else if (action == caFree)
        Release();
}

void TForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (m_modal) {
        // The modal loop runs the closing step itself.
        setModalResult(mrCancel);
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = caHide;
    if (const TCloseEvent handler = OnClose)
        handler(this, action);
    switch (action) {
    case caNone:
        break;
    case caHide:
        event->accept();
        break;
    case caMinimize:
        showMinimized();
        break;
    case caFree:
        event->accept();
        Release();
        break;
    }
}

bool TForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        fire(OnActivate, this);
    return QWidget::event(event);
}

void TForm::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    fire(OnPaint, this);
}

void TForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The window manager's and the user's resizing arrive as spontaneous events.
    if (m_shownOnce && isWindow() && isVisible() && !event->spontaneous() && inNormalState(this) &&
        event->oldSize().isValid())
        WindowPlacer::of(this)->keepCentre(event->oldSize());
    fire(OnResize, this);
}

void TForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window coming back from the task bar was never hidden as far as the form is concerned.
    if (event->spontaneous())
        return;
    // Placed before its own handler runs: that may open a question over it.
    if (!m_shownOnce) {
        m_shownOnce = true;
        orderTabsByLayout();
        // A form shown inside another window has neither a title nor a place of its own.
        if (isWindow() && inNormalState(this)) {
            if (width() < titleBarWidth(this) && maximumWidth() >= titleBarWidth(this))
                resize(titleBarWidth(this), height());
            if (m_centreOnScreen || !testAttribute(Qt::WA_Moved))
                WindowPlacer::of(this)->centre(m_centreOnScreen);
        }
    }
    fire(OnShow, this);
}

void TForm::setVisible(bool visible)
{
    // Shown maximised for the first time, it is given the place it takes when restored; Qt has
    // not made its native window yet, so the place and the state reach the window manager
    // together.
    if (visible && !m_shownOnce && isWindow() && !isVisible() &&
        (m_centreOnScreen || !testAttribute(Qt::WA_Moved)) &&
        (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        const Qt::WindowStates state = windowState();
        setWindowState(state & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
        WindowPlacer::of(this)->centreForRestore(m_centreOnScreen);
        setWindowState(state);
    }
    QWidget::setVisible(visible);
}

void TForm::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous()) {
        fire(OnHide, this);
        emit hidden();
    }
}

bool TForm::raiseKeyDown(QObject* target, QKeyEvent* event)
{
    const TKeyEvent handler = OnKeyDown;
    if (!handler)
        return false;
    int key = event->key();
    handler(this, key, event->modifiers());
    if (key == event->key())
        return false;
    event->accept();
    if (key != 0 && target != this) {
        QKeyEvent changed(QEvent::KeyPress, key, event->modifiers());
        QScopedValueRollback<bool> resending(m_resendingKey, true);
        QCoreApplication::sendEvent(target, &changed);
    }
    return true;
}

bool TForm::eventFilter(QObject* watched, QEvent* event)
{
    // Only the first receiver of a key (the control with the focus) is previewed: an unused key
    // travels on to the control's parents and would be seen again.
    if (event->type() == QEvent::KeyPress && KeyPreview && !m_resendingKey && watched != this &&
        watched->isWidgetType()) {
        QWidget* widget = static_cast<QWidget*>(watched);
        if (widget->window() == this && widget == focusWidget())
            return raiseKeyDown(widget, static_cast<QKeyEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}

void TForm::keyPressEvent(QKeyEvent* event)
{
    if (!(event->modifiers() & ~Qt::KeypadModifier)) {
        const int key = event->key();
        QAbstractButton* button = key == Qt::Key_Return || key == Qt::Key_Enter
                                      ? DefaultButton.data()
                                  : key == Qt::Key_Escape ? CancelButton.data()
                                                          : nullptr;
        if (button) {
            button->click();
            return;
        }
        if (key == Qt::Key_Escape && m_modal) {
            Close();
            return;
        }
    }
    // The form's own key event is raised when the form itself has the focus; a key that a
    // control left unused reaches here too, and the form does not see it a second time.
    QWidget* focus = focusWidget();
    if ((!focus || focus == this) && raiseKeyDown(this, event))
        return;
    QWidget::keyPressEvent(event);
}

// ---- TDataModule

TDataModule::TDataModule(QObject* parent) : QObject(parent), ComponentOwner(this)
{
    liveComponents().append(this);
}

TDataModule::~TDataModule()
{
    liveComponents().removeOne(this);
}

void TDataModule::create()
{
    Q_ASSERT_X(!m_created, "TDataModule::create", "a data module is created once");
    if (m_created)
        return;
    m_created = true;
    runShowingErrors([this] { fire(OnCreate, this); });
}

void TDataModule::Free()
{
    if (!m_ending) {
        m_ending = true;
        runShowingErrors([this] { fire(OnDestroy, this); });
    }
    delete this;
}

// ---- application-wide

namespace {
QList<TRegisteredForm>& formClasses()
{
    static QList<TRegisteredForm> classes;
    return classes;
}
} // namespace

FormClassRegistrar::FormClassRegistrar(const QMetaObject* metaObject, QObject* (*create)())
{
    formClasses().append({metaObject, create});
}

QList<TRegisteredForm> registeredFormClasses()
{
    QList<TRegisteredForm> sorted = formClasses();
    std::sort(sorted.begin(), sorted.end(), [](const TRegisteredForm& a, const TRegisteredForm& b) {
        return qstrcmp(a.metaObject->className(), b.metaObject->className()) < 0;
    });
    return sorted;
}

QList<QObject*> applicationComponents()
{
    return liveComponents();
}

void setScreenCursor(TCursor cursor)
{
    if (cursor == s_screenCursor)
        return;
    if (qGuiApp) {
        const Qt::CursorShape shape = cursor == crHourGlass ? Qt::WaitCursor : Qt::ArrowCursor;
        if (cursor == crDefault)
            QGuiApplication::restoreOverrideCursor();
        else if (s_screenCursor == crDefault)
            QGuiApplication::setOverrideCursor(QCursor(shape));
        else
            QGuiApplication::changeOverrideCursor(QCursor(shape));
    }
    s_screenCursor = cursor;
}

TCursor screenCursor()
{
    return s_screenCursor;
}
