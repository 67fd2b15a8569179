// Where a window opens: centred as a person sees it, by the frame the window manager draws around
// it, over the window it belongs to or on the screen, and inside the screen's free area.
#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

#include <optional>

class QWidget;
class QWindow;

// A window's frame as the display shows it: where it stands, and its borders around the window's
// inside.
struct DrawnFrame
{
    QRect frame;
    QMargins margins;
};

// The placing of one top-level window; the window owns it. A window that is not on the screen
// yet has no frame: the frame last drawn around one of the program's windows stands for it, and
// once the window manager has drawn the window's own, the window is moved to where it was meant
// to be (a few times at most, should something else keep moving it). Once it stands there, only
// its own growth moves it again.
class WindowPlacer final : public QObject
{
    Q_OBJECT

public:
    // The window's placer, made on first use.
    static WindowPlacer* of(QWidget* window);

    // Centres the window: over the window it belongs to (its parent's window, else the active
    // one) or, with none that is shown, on its screen's free area; on its whole screen when
    // `onScreen` is set.
    void centre(bool onScreen = false);
    // For a window about to show maximised: the place, and a size within the screen's free area,
    // that it takes when it is restored.
    void centreForRestore(bool onScreen = false);
    // The window's size changed from `oldSize`, not by the user's hand: it keeps its centre and
    // comes back inside its screen's free area.
    void keepCentre(const QSize& oldSize);
    // Centred, and still to be moved once the window manager has framed it.
    bool placing() const { return m_aim.has_value(); }

signals:
    // The window stands where it was centred, measured by its frame. Not raised where no window
    // manager frames it.
    void placed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowPlacer(QWidget* window);
    void moveTo(const QPoint& inside, const std::optional<DrawnFrame>& drawn);
    void settle();
    void lookAgainSoon(bool afresh);

    QWidget* m_window;
    // Until the window stands there: where the frame's centre should be, where the display
    // showed the frame when the window was last moved, and how often it was moved again.
    std::optional<QPoint> m_aim;
    std::optional<QPoint> m_movedFrom;
    int m_corrections = 0;
    bool m_settleQueued = false;
    int m_looksLeft = 0;
    QPointer<QWindow> m_watchedHandle;
};

// A top-level window's frame as the display shows it now; none until the window manager has
// framed the window and shown it (or where no window manager frames it).
std::optional<QRect> frameOnScreen(const QWidget* window);

// Neither maximised, full screen nor minimised.
bool inNormalState(const QWidget* window);
// `frame` moved as little as needed to lie inside `area`; a frame larger than the area keeps its
// left and top edges on it, where the title bar and the window's menu are.
QPoint insideArea(const QRect& frame, const QRect& area);

// Every dialog of Qt's own that the program shows (message and input boxes, choosers) opens
// centred over the window it belongs to, by its frame, as the forms do.
void centreDialogsWhenShown();
