// The splash window: its one label, centred on the screen.
#include "titul.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

QUORVANE_FORM(TTitul);

TTitul::TTitul(QWidget* parent) : TForm(parent)
{
    createComponents();
    layoutComponents();
}

void TTitul::createComponents()
{
    Action = makeComponent<QLabel>("Action", "TLabel");
    Action->setAlignment(Qt::AlignCenter);
}

void TTitul::layoutComponents()
{
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* all = new QVBoxLayout(this);
    all->addWidget(Action);
    setDesignedSize(360, 60);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TTitul::SetAction(const QString& Text)
{
    Action->setText(Text);
    Action->repaint();
}
