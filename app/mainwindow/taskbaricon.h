// TTaskBarIcon: one icon with a tip text in the desktop's notification area, whose clicks become
// the program's mouse events. The main window keeps one to be reached while it is hidden.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Keyboard modifiers held at the time of the event.
using TShiftState = Qt::KeyboardModifiers;
// X and Y are the cursor's position on the screen.
using TMouseEvent =
    std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;

// States: hidden (Visible false) and shown (Visible true).
//
//   state  | Visible := true                          | Visible := false, destruction
//   hidden | shown when there is an icon and the      | nothing
//          | desktop has a notification area; else    |
//          | stays hidden                             |
//   shown  | nothing (the icon is added once)         | removed from the area
//
// Icon and Tip may change in either state; while shown the change appears at once, while hidden
// it appears when the icon is shown.
class TTaskBarIcon : public QObject
{
    Q_OBJECT

public:
    // Owned by AOwner through Qt's parent chain, and removed from the area with it.
    explicit TTaskBarIcon(QObject* AOwner = nullptr);
    ~TTaskBarIcon() override;

    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon& Value);
    // The tip holds at most MaxTipLength characters; a longer text is cut there.
    QString Tip() const { return m_tip; }
    void SetTip(const QString& Value);
    static constexpr int MaxTipLength = 63;
    // True only while the icon is actually in the notification area. Without an icon, or on a
    // desktop that has no notification area, setting it true leaves it false: callers that hide
    // their window behind the icon must then minimise it instead.
    bool Visible() const { return m_visible; }
    void SetVisible(bool Value);

    // A press of any button raises OnDown (left for a click, right for the context click, middle
    // for a middle click); a double click raises OnDblClick with the left button. An event
    // without a handler is skipped.
    TMouseEvent OnDown;
    // Never raised: the desktop's notification area reports neither button releases nor mouse
    // movement over the icon. Kept so that a handler assigned to them is accepted.
    TMouseEvent OnUp;
    TMouseEvent OnDblClick;
    // Never raised; see OnUp.
    TMouseMoveEvent OnMouseMove;

protected:
    // Whether the desktop offers a notification area now. Tests replace it.
    virtual bool notificationAreaAvailable() const;

private:
    void Activated(QSystemTrayIcon::ActivationReason Reason);
    void RaiseMouse(const TMouseEvent& Handler, TMouseButton Button);

    QSystemTrayIcon* m_tray;
    QIcon m_icon;
    QString m_tip;
    bool m_visible = false;
};
