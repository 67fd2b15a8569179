// Where windows open: centred by their frame over their owner or on the screen, moved once the
// window manager's frame is known, and kept centred as they grow.
#include "windowplace.h"

#include "forms.h"
#ifdef QUORVANE_HAVE_XCB
#include "windowframe_xcb.h"
#endif

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// The frame last drawn around one of the program's windows in the normal state: the one a window
// about to show most likely gets.
QMargins s_lastFrame;

bool framed(const QWidget* window)
{
    return !window->windowFlags().testFlag(Qt::FramelessWindowHint);
}

// Whether a window manager will draw frames around the windows: not offscreen, nor on an X
// display that no window manager runs.
bool framesDrawn()
{
#ifdef QUORVANE_HAVE_XCB
    if (onX11())
        return x11WindowManagerRuns();
#endif
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// The frame as the display shows it now. On X, read from the display itself; elsewhere Qt knows
// it once the window is shown.
std::optional<DrawnFrame> drawnFrame(const QWidget* window)
{
#ifdef QUORVANE_HAVE_XCB
    if (onX11())
        return x11DrawnFrame(window);
#endif
    const QRect frame = window->frameGeometry();
    const QRect inside = window->geometry();
    if (!window->isVisible() || !frame.contains(inside) || (frame == inside && framed(window)))
        return std::nullopt;
    return DrawnFrame{frame,
                      QMargins(inside.left() - frame.left(), inside.top() - frame.top(),
                               frame.right() - inside.right(), frame.bottom() - inside.bottom())};
}

// The frame a window has, or the one it will most likely get.
QMargins expectedFrame(const QWidget* window, const QWidget* owner)
{
    if (const std::optional<DrawnFrame> drawn = drawnFrame(window))
        return drawn->margins;
    if (!framed(window))
        return {};
    if (!s_lastFrame.isNull())
        return s_lastFrame;
    if (const std::optional<DrawnFrame> ownerFrame = owner ? drawnFrame(owner) : std::nullopt)
        return ownerFrame->margins;
    return {};
}

// The shown window `window` belongs to: its parent's, else the active one.
QWidget* ownerOf(const QWidget* window)
{
    QWidget* owner =
        window->parentWidget() ? window->parentWidget()->window() : QApplication::activeWindow();
    if (owner == window || (owner && (!owner->isVisible() || owner->isMinimized() ||
                                      owner->windowFlags().testFlag(Qt::WindowStaysOnTopHint))))
        return nullptr;
    return owner;
}

// Qt centres a dialog by its inside, or leaves it to the window manager; one the program placed
// itself keeps its place.
class DialogPlacement final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->spontaneous() ||
            (event->type() != QEvent::Show && event->type() != QEvent::Resize))
            return false;
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (!dialog || !dialog->isWindow() || !inNormalState(dialog))
            return false;
        if (event->type() == QEvent::Show && !dialog->testAttribute(Qt::WA_Moved)) {
            WindowPlacer::of(dialog)->centre();
            m_placed.append(dialog);
        } else if (event->type() == QEvent::Resize && dialog->isVisible() &&
                   m_placed.contains(dialog)) {
            // Grown or shrunk once shown (its contents laid out anew): it keeps its centre.
            if (const QSize old = static_cast<QResizeEvent*>(event)->oldSize(); old.isValid())
                WindowPlacer::of(dialog)->keepCentre(old);
        }
        m_placed.removeAll(nullptr);
        return false;
    }

private:
    QList<QPointer<QDialog>> m_placed;
};

} // namespace

bool inNormalState(const QWidget* window)
{
    return !(window->windowState() &
             (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
}

QPoint insideArea(const QRect& frame, const QRect& area)
{
    return {std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())),
            std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()))};
}

std::optional<QRect> frameOnScreen(const QWidget* window)
{
    if (const std::optional<DrawnFrame> drawn = drawnFrame(window))
        return drawn->frame;
    return std::nullopt;
}

WindowPlacer::WindowPlacer(QWidget* window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

WindowPlacer* WindowPlacer::of(QWidget* window)
{
    if (auto* placer = window->findChild<WindowPlacer*>(QString(), Qt::FindDirectChildrenOnly))
        return placer;
    return new WindowPlacer(window);
}

void WindowPlacer::centre(bool onScreen)
{
    QWidget* owner = onScreen ? nullptr : ownerOf(m_window);
    const QRect area = availableScreenArea(owner ? owner : m_window);
    const std::optional<DrawnFrame> drawn = drawnFrame(m_window);
    const QMargins margins = expectedFrame(m_window, owner);
    QRect frame(QPoint(0, 0), m_window->size().grownBy(margins));
    if (const std::optional<DrawnFrame> ownerFrame = owner ? drawnFrame(owner) : std::nullopt)
        frame.moveCenter(ownerFrame->frame.center());
    else if (owner)
        frame.moveCenter(owner->frameGeometry().center());
    else if (onScreen && m_window->screen())
        frame.moveCenter(m_window->screen()->geometry().center());
    else
        frame.moveCenter(area.center());
    frame.moveTopLeft(insideArea(frame, area));
    m_aim.reset();
    if (framesDrawn())
        m_aim = frame.center();
    m_corrections = 0;
    moveTo(frame.topLeft() + QPoint(margins.left(), margins.top()), drawn);
    if (QWindow* handle = m_window->windowHandle(); handle && handle != m_watchedHandle) {
        handle->installEventFilter(this);
        m_watchedHandle = handle;
    }
}

void WindowPlacer::centreForRestore(bool onScreen)
{
    const QRect area = availableScreenArea(m_window);
    m_window->resize(m_window->size().boundedTo(
        area.size().shrunkBy(expectedFrame(m_window, ownerOf(m_window)))));
    centre(onScreen);
}

void WindowPlacer::keepCentre(const QSize& oldSize)
{
    // The frame's borders do not change with the size: the inside keeps its centre as the frame
    // does.
    const QMargins margins = expectedFrame(m_window, nullptr);
    QRect inside(QPoint(0, 0), m_window->size());
    inside.moveCenter(QRect(m_window->geometry().topLeft(), oldSize).center());
    const QPoint place = insideArea(inside.marginsAdded(margins), availableScreenArea(m_window)) +
                         QPoint(margins.left(), margins.top());
    if (m_aim)
        *m_aim += place - inside.topLeft();
    moveTo(place, drawnFrame(m_window));
}

void WindowPlacer::moveTo(const QPoint& inside, const std::optional<DrawnFrame>& drawn)
{
    if (m_window->geometry().topLeft() == inside)
        return;
    // Qt moves a window by its frame only once it knows the frame, and may keep a frame it
    // measured while the window manager was still building it: the inside is placed instead.
    m_window->setGeometry(QRect(inside, m_window->size()));
    // Until the window manager has moved it, the display still shows it where it was.
    m_movedFrom.reset();
    if (drawn && m_aim) {
        m_movedFrom = drawn->frame.topLeft();
        lookAgainSoon(true);
    }
}

bool WindowPlacer::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_aim || (watched != m_window && watched != m_window->windowHandle()))
        return false;
    switch (event->type()) {
    case QEvent::Hide:
        m_aim.reset();
        break;
    // The frame is drawn once the window is on the screen: it is moved, shown or painted there.
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
    case QEvent::WindowActivate:
    case QEvent::Expose:
    case QEvent::Paint:
        if (!m_settleQueued && (event->spontaneous() || event->type() == QEvent::Paint)) {
            m_settleQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_settleQueued = false;
                    settle();
                },
                Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return false;
}

void WindowPlacer::settle()
{
    if (!m_aim || !m_window->isVisible() || !inNormalState(m_window))
        return;
    const std::optional<DrawnFrame> drawn = drawnFrame(m_window);
    if (!drawn)
        return; // the window manager has not framed it yet
    if (!drawn->margins.isNull())
        s_lastFrame = drawn->margins;
    QRect aimed = drawn->frame;
    aimed.moveCenter(*m_aim);
    const QPoint place = insideArea(aimed, availableScreenArea(m_window));
    if (place == drawn->frame.topLeft()) {
        m_aim.reset();
        emit placed();
    } else if (m_movedFrom == drawn->frame.topLeft() && m_looksLeft > 0) {
        lookAgainSoon(false); // the window manager has not moved it yet
    } else if (m_corrections < 3) {
        ++m_corrections;
        moveTo(place + QPoint(drawn->margins.left(), drawn->margins.top()), drawn);
    } else {
        m_aim.reset(); // the window manager keeps it elsewhere
    }
}

void WindowPlacer::lookAgainSoon(bool afresh)
{
    // Qt already counts a window it asked to move as moved: no event comes when the window
    // manager has moved it, so the display is asked again, for a few seconds at most.
    if (afresh)
        m_looksLeft = 100;
    if (m_looksLeft > 0) {
        --m_looksLeft;
        QTimer::singleShot(25, this, &WindowPlacer::settle);
    }
}

void centreDialogsWhenShown()
{
    static QPointer<DialogPlacement> placement;
    if (placement || !qApp)
        return;
    placement = new DialogPlacement(qApp);
    qApp->installEventFilter(placement);
}
