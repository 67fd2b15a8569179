// The notification-area icon: when it is shown, what it shows, and the events its clicks raise.
#include <app/taskbaricon.h>

#include <QCursor>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

// The icon on a desktop that has a notification area, or not, as the test says.
class AreaIcon : public TTaskBarIcon
{
public:
    explicit AreaIcon(QObject* owner = nullptr, bool available = true)
        : TTaskBarIcon(owner), areaAvailable(available)
    {
    }
    bool areaAvailable;

protected:
    bool notificationAreaAvailable() const override { return areaAvailable; }
};

QIcon redIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

QSystemTrayIcon* shownIcon(const TTaskBarIcon& icon)
{
    const QList<QSystemTrayIcon*> all = icon.findChildren<QSystemTrayIcon*>();
    return all.size() == 1 ? all.first() : nullptr;
}

struct MouseCall
{
    QString event;
    TMouseButton button = mbLeft;
    int x = 0;
    int y = 0;
};

} // namespace

TEST(TaskBarIcon, ShownOnlyWithAnIconOnADesktopThatHasAnAreaWithItsTipCutAt63Characters)
{
    AreaIcon icon;
    ASSERT_NE(shownIcon(icon), nullptr);
    icon.SetVisible(true); // no picture yet
    EXPECT_FALSE(icon.Visible());
    icon.SetIcon(redIcon());
    icon.areaAvailable = false;
    icon.SetVisible(true);
    EXPECT_FALSE(icon.Visible());
    EXPECT_FALSE(shownIcon(icon)->isVisible());

    icon.SetTip(QString(60, 'a') + "bcdefghijk");
    EXPECT_EQ(icon.Tip(), QString(60, 'a') + "bcd");
    // A character outside the basic plane straddling the limit is dropped whole.
    icon.SetTip(QString(62, 'x') + QString::fromUtf8("\xF0\x9F\x98\x80") + "z");
    EXPECT_EQ(icon.Tip(), QString(62, 'x'));
    icon.SetTip("QUORVANE"); // set while hidden: appears when shown

    icon.areaAvailable = true;
    icon.SetVisible(true);
    icon.SetVisible(true);
    EXPECT_TRUE(icon.Visible());
    ASSERT_NE(shownIcon(icon), nullptr); // still one icon
    EXPECT_TRUE(shownIcon(icon)->isVisible());
    EXPECT_FALSE(shownIcon(icon)->icon().isNull());
    EXPECT_EQ(shownIcon(icon)->toolTip(), "QUORVANE");
    icon.SetTip("QUORVANE - 2 documents"); // set while shown: appears at once
    EXPECT_EQ(shownIcon(icon)->toolTip(), "QUORVANE - 2 documents");
    icon.SetVisible(false);
    EXPECT_FALSE(icon.Visible());
    EXPECT_FALSE(shownIcon(icon)->isVisible());
}

TEST(TaskBarIcon, ClicksRaiseTheMouseEventsWithButtonAndCursorPosition)
{
    AreaIcon icon;
    icon.SetIcon(redIcon());
    icon.SetVisible(true);
    QSystemTrayIcon* shown = shownIcon(icon);
    ASSERT_NE(shown, nullptr);

    // Without handlers every click is skipped.
    emit shown->activated(QSystemTrayIcon::Trigger);
    emit shown->activated(QSystemTrayIcon::DoubleClick);

    QList<MouseCall> calls;
    const auto record = [&calls](const QString& name) {
        return [&calls, name](QObject* sender, TMouseButton button, TShiftState, int x, int y) {
            EXPECT_NE(sender, nullptr);
            calls << MouseCall{name, button, x, y};
        };
    };
    icon.OnDown = record("down");
    icon.OnDblClick = record("dblclick");
    icon.OnUp = record("up");
    icon.OnMouseMove = [&calls](QObject*, TShiftState, int, int) { calls << MouseCall{"move"}; };

    QCursor::setPos(120, 45);
    emit shown->activated(QSystemTrayIcon::Context);
    emit shown->activated(QSystemTrayIcon::Trigger);
    emit shown->activated(QSystemTrayIcon::MiddleClick);
    emit shown->activated(QSystemTrayIcon::DoubleClick);
    emit shown->activated(QSystemTrayIcon::Unknown);

    ASSERT_EQ(calls.size(), 4);
    EXPECT_EQ(calls[0].x, 120);
    EXPECT_EQ(calls[0].y, 45);
    const std::pair<QString, TMouseButton> expected[] = {
        {"down", mbRight}, {"down", mbLeft}, {"down", mbMiddle}, {"dblclick", mbLeft}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[i].event, expected[i].first) << i;
        EXPECT_EQ(calls[i].button, expected[i].second) << i;
    }
}
