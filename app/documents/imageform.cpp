// The picture window: one picture on a white ground and the close command.
#include "imageform.h"

#include <app/translatableforms.h>
#include <translation/lc.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QVBoxLayout>

QUORVANE_TRANSLATABLE_FORM(TImageForm);

TImageForm::TImageForm(QWidget* parent) : TForm(parent)
{
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TImageForm::createComponents()
{
    setCaption(QStringLiteral("Visualisation de l'image"));
    setWindowState(Qt::WindowMaximized);
    Image1 = makeComponent<QLabel>("Image1", "TImage");
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    MainMenu1 = makeComponent<QMenuBar>("MainMenu1", "TMainMenu");
    Quitter1 = makeMenuItem("Quitter1", QStringLiteral("&Fermer"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TImageForm::layoutComponents()
{
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    MainMenu1->addAction(Quitter1);
    // The picture keeps its own size (a screen capture is as large as the screen, and the window
    // is not): the window stays within the screen and the picture scrolls in it.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ImageScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(Image1);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setMenuBar(MainMenu1);
    all->addWidget(scroll);
    setDesignedSize(640, 480);
}

void TImageForm::connectHandlers()
{
    connect(Quitter1, &QAction::triggered, this, [this] { Quitter1Click(Quitter1); });
}

void TImageForm::Quitter1Click(QObject*)
{
    Close();
}
