// The small base classes every form and data module of the program derives from: replaceable
// events, two-step creation, the form's own list of components, modal results and close actions,
// the application's list of live forms and data modules, and the screen cursor.
#pragma once

#include <platform/dialogs.h>

#include <QAbstractButton>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <type_traits>
#include <utility>

class QAction;
class QHeaderView;

// "The form's components": the named components its constructor created, in creation order.
// Qt's object tree is not this list (it also holds Qt's own inner widgets and layouts).
class ComponentOwner
{
public:
    ComponentOwner(const ComponentOwner&) = delete;
    ComponentOwner& operator=(const ComponentOwner&) = delete;

    // Live components in creation order (a component deleted since is left out).
    QList<QObject*> components() const;
    // The first component with this name, compared without regard to case; nullptr if none.
    QObject* findComponent(const QString& name) const;

    // Creates a component owned through Qt's parent chain, names it, sets its dynamic property
    // "componentClass" (the component kind the translator and the editor know, such as "TBitBtn",
    // "TLabel", "TTimer", "TLC") and appends it to the components. With no constructor arguments
    // the owner itself is passed as the parent; with arguments, they must name the parent (a
    // component left without one is given the owner).
    template <class C, class... A>
    C* makeComponent(const char* name, const char* componentClass, A&&... ctorArgs)
    {
        static_assert(std::is_base_of_v<QObject, C>, "a component is a QObject");
        C* component = nullptr;
        if constexpr (sizeof...(A) > 0) {
            component = new C(std::forward<A>(ctorArgs)...);
        } else if constexpr (std::is_base_of_v<QWidget, C>) {
            component = new C(ownerWidget());
        } else {
            component = new C(m_owner);
        }
        adopt(component, name, componentClass);
        return component;
    }

    // A menu item: a QAction component of kind "TMenuItem" showing `caption`, with `shortcut` when
    // one is given. The caption "-" makes it a separator line, as in a designed menu (the line
    // carries no text).
    QAction* makeMenuItem(const char* name, const QString& caption,
                          const QKeySequence& shortcut = QKeySequence());

protected:
    explicit ComponentOwner(QObject* owner) : m_owner(owner) {}
    ~ComponentOwner() = default;

private:
    QWidget* ownerWidget() const;
    void adopt(QObject* component, const char* name, const char* componentClass);

    QObject* m_owner;
    QList<QPointer<QObject>> m_components;
};

class TForm : public QWidget, public ComponentOwner
{
    Q_OBJECT

public:
    explicit TForm(QWidget* parent = nullptr);
    // Raises no event: by the time it runs the derived parts that the handlers use are gone.
    // End a form with Free() or Release() so that OnDestroy runs.
    ~TForm() override;

    // Raises OnCreate once. Called by CreateForm() after the constructor has assigned the
    // handlers and created the components. An exception from the handler is shown by the
    // application's exception box and the form stays.
    void create();
    // Raises OnDestroy, then deletes the form at once. Not from one of its own handlers.
    void Free();
    // Raises OnDestroy and deletes the form once control is back in an event loop; safe from
    // the form's own handlers. Repeated calls do nothing more.
    void Release();

    // Gives the form its designed size, or the least size its layouts need where that is larger
    // (a larger font, a longer translation).
    void setDesignedSize(int width, int height);
    // Centres the window on its screen, whatever window it belongs to: at once when it is shown,
    // else when it is first shown, with the size it has then.
    void centreOnScreen();
    void setVisible(bool visible) override;

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& caption) { setWindowTitle(caption); }

    int ModalResult() const { return m_modalResult; }
    // A non-zero result while the form is shown modally asks the modal loop to close it.
    void setModalResult(int result);
    // Shows the form modally through the dialog service; the screen cursor is normal meanwhile
    // and comes back afterwards. Returns the modal result (mrCancel when the window was closed).
    int ShowModal();
    // Asks the form to close: when shown modally the result becomes mrCancel; otherwise
    // OnCloseQuery may refuse, and OnClose chooses what happens (hide by default).
    void Close();
    // OnCloseQuery's answer (true when it is not assigned).
    bool CloseQuery();

    // For dialog services: the modal state, and the closing step the modal loop runs once the
    // result is set (OnCloseQuery, then OnClose; a refusal puts the result back to mrNone; an
    // exception is shown and also keeps the form open).
    bool isShownModal() const { return m_modal; }
    void beginModal();
    void endModal() { m_modal = false; }
    void closeModal();

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnPaint;
    TNotifyEvent OnResize;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TCloseQueryEvent OnCloseQuery;
    TCloseEvent OnClose;
    TKeyEvent OnKeyDown;
    // The form sees key presses before the control that has the focus.
    bool KeyPreview = false;
    // The buttons that Enter and Escape press when no control takes those keys itself (a plain
    // Qt widget knows no default or cancel button).
    QPointer<QAbstractButton> DefaultButton;
    QPointer<QAbstractButton> CancelButton;

signals:
    void modalResultChanged(int result);
    void hidden();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool raiseKeyDown(QObject* target, QKeyEvent* event);
    void destroyNow();
    // Where a window is put and how it grows, as a user expects of it:
    // - shown for the first time without a place of its own, it opens centred over the window it
    //   belongs to (its parent's window, else the active one), or on the screen when there is
    //   none, and inside the screen's available area; centred as a person sees it, by its frame,
    //   with the size it has once shown;
    // - shown maximised, it is given the same place for when it is restored, with a size
    //   within the screen;
    // - growing or shrinking while shown (not by the user's hand), it keeps its centre and stays
    //   on its screen;
    // - Tab follows its layouts: their rows top to bottom, each row left to right, a panel's
    //   controls in the panel's place;
    // - shown modally, Escape closes it as its close box does when it has no cancel button;
    // - it opens at least as wide as its title needs.
    void orderTabsByLayout();

    int m_modalResult = mrNone;
    bool m_modal = false;
    bool m_created = false;
    bool m_ending = false;    // OnDestroy raised
    bool m_releasing = false; // a Release() is pending
    bool m_resendingKey = false;
    bool m_shownOnce = false;
    bool m_centreOnScreen = false;
};

// The screen area a window may take (its screen's, less the task bars).
QRect availableScreenArea(const QWidget* window);
// The width a window needs for the window manager to show its whole title: the title in bold
// and room for the window's icon and its title bar's buttons.
int titleBarWidth(const QWidget* window);
// The focusable controls of `window` in the order Tab should visit them (see TForm).
QList<QWidget*> tabOrderByLayout(QWidget* window);

class TDataModule : public QObject, public ComponentOwner
{
    Q_OBJECT

public:
    explicit TDataModule(QObject* parent = nullptr);
    // Raises no event; see TForm.
    ~TDataModule() override;

    // Raises OnCreate once (see TForm::create()).
    void create();
    // Raises OnDestroy, then deletes the data module.
    void Free();

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;

private:
    bool m_created = false;
    bool m_ending = false;
};

// Constructs a form or data module and runs its creation step. The object belongs to its Qt
// parent when one is passed; otherwise it lives until Free(), Release() or a close with caFree.
template <class T, class... A> T* CreateForm(A&&... ctorArgs)
{
    static_assert(std::is_base_of_v<TForm, T> || std::is_base_of_v<TDataModule, T>);
    T* object = new T(std::forward<A>(ctorArgs)...);
    object->create();
    return object;
}

// Every form class of the program, for what looks at all of its windows (the layout check, the
// pictures of the windows). A form registers its class in its own .cpp, at namespace scope:
//
//     QUORVANE_FORM(TTitul);
//
// (a translatable form does so through QUORVANE_TRANSLATABLE_FORM, which includes this).
struct TRegisteredForm
{
    const QMetaObject* metaObject;
    QObject* (*create)(); // constructs one without owner; its creation step is not run
};

class FormClassRegistrar
{
public:
    FormClassRegistrar(const QMetaObject* metaObject, QObject* (*create)());
};

#define QUORVANE_FORM(Class)                                                                       \
    static const FormClassRegistrar Class##_form(&Class::staticMetaObject,                         \
                                                 []() -> QObject* { return new Class(); })

// The registered form classes, sorted by class name.
QList<TRegisteredForm> registeredFormClasses();

// The live forms and data modules in creation order (each joins when constructed and leaves
// when destroyed): what translating every open form walks.
QList<QObject*> applicationComponents();

// The width a list's column title takes as its header draws it, whatever width the model suggests
// for the column: bold when `highlighted` (a header that highlights its sections does so while
// the column holds the selection, so that a list selecting whole rows shows every title bold).
int columnTitleWidth(const QHeaderView* header, int section, bool highlighted = true);

// The cursor over every window of the program; crDefault returns it to normal.
void setScreenCursor(TCursor cursor);
TCursor screenCursor();
