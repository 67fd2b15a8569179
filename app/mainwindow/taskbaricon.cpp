// The notification-area icon: its picture and tip kept while hidden and handed to the desktop
// while shown, and the desktop's activation reasons turned into the program's mouse events.
#include "taskbaricon.h"

#include <QCursor>
#include <QGuiApplication>

TTaskBarIcon::TTaskBarIcon(QObject* AOwner) : QObject(AOwner), m_tray(new QSystemTrayIcon(this))
{
    connect(m_tray, &QSystemTrayIcon::activated, this, &TTaskBarIcon::Activated);
}

TTaskBarIcon::~TTaskBarIcon()
{
    SetVisible(false);
}

void TTaskBarIcon::SetIcon(const QIcon& Value)
{
    m_icon = Value;
    if (m_visible)
        m_tray->setIcon(m_icon);
}

void TTaskBarIcon::SetTip(const QString& Value)
{
    qsizetype length = qMin(Value.size(), qsizetype(MaxTipLength));
    // Half a surrogate pair is no character at all.
    if (length < Value.size() && length > 0 && Value.at(length - 1).isHighSurrogate())
        --length;
    m_tip = Value.left(length);
    if (m_visible)
        m_tray->setToolTip(m_tip);
}

void TTaskBarIcon::SetVisible(bool Value)
{
    if (Value == m_visible)
        return;
    if (!Value) {
        m_tray->hide();
        m_visible = false;
        return;
    }
    if (m_icon.isNull() || !notificationAreaAvailable())
        return;
    m_tray->setIcon(m_icon);
    m_tray->setToolTip(m_tip);
    m_tray->show();
    m_visible = m_tray->isVisible();
}

bool TTaskBarIcon::notificationAreaAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTaskBarIcon::Activated(QSystemTrayIcon::ActivationReason Reason)
{
    switch (Reason) {
    case QSystemTrayIcon::Trigger:
        RaiseMouse(OnDown, mbLeft);
        break;
    case QSystemTrayIcon::Context:
        RaiseMouse(OnDown, mbRight);
        break;
    case QSystemTrayIcon::MiddleClick:
        RaiseMouse(OnDown, mbMiddle);
        break;
    case QSystemTrayIcon::DoubleClick:
        RaiseMouse(OnDblClick, mbLeft);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TTaskBarIcon::RaiseMouse(const TMouseEvent& Handler, TMouseButton Button)
{
    // A copy: the handler may replace itself.
    if (const TMouseEvent handler = Handler) {
        const QPoint at = QCursor::pos();
        handler(this, Button, QGuiApplication::keyboardModifiers(), at.x(), at.y());
    }
}
