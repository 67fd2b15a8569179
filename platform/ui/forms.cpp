// Forms and data modules: creation and ending with their events, the Qt events turned into the
// form's replaceable events, closing and the modal result, key preview, the application's list
// of live forms and data modules, and the screen cursor.
#include "forms.h"

#include <platform/dialogs.h>
#include <platform/exception.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScopedValueRollback>
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
    fire(OnResize, this);
}

void TForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window coming back from the task bar was never hidden as far as the form is concerned.
    if (!event->spontaneous())
        fire(OnShow, this);
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
