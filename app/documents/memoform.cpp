// The text window: the memo, its edit menu and the close command.
#include "memoform.h"

#include <app/translatableforms.h>
#include <translation/lc.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QUORVANE_TRANSLATABLE_FORM(TMemoForm);

TMemoForm::TMemoForm(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TMemoForm::createComponents()
{
    setCaption(QStringLiteral("Visualisation du document"));
    setWindowState(Qt::WindowMaximized);
    Text = makeComponent<QPlainTextEdit>("Text", "TMemo");
    Text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // With a horizontal scroll bar the lines are kept whole: reports are laid out in columns.
    Text->setLineWrapMode(QPlainTextEdit::NoWrap);
    MainMenu1 = makeComponent<QMenuBar>("MainMenu1", "TMainMenu");
    Edition1 = makeMenuItem("Edition1", QStringLiteral("&Edition"));
    Couper1 = makeMenuItem("Couper1", QStringLiteral("Couper"), QKeySequence(Qt::CTRL | Qt::Key_X));
    Copier1 = makeMenuItem("Copier1", QStringLiteral("Copier"), QKeySequence(Qt::CTRL | Qt::Key_C));
    Coller1 = makeMenuItem("Coller1", QStringLiteral("Coller"), QKeySequence(Qt::CTRL | Qt::Key_V));
    N1 = makeMenuItem("N1", QStringLiteral("-"));
    Toutslectionner1 = makeMenuItem("Toutslectionner1", QStringLiteral("Tout sélectionner"),
                                    QKeySequence(Qt::CTRL | Qt::Key_A));
    Quitter1 = makeMenuItem("Quitter1", QStringLiteral("&Fermer"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TMemoForm::layoutComponents()
{
    auto* edition = new QMenu(this);
    edition->addActions({Couper1, Copier1, Coller1, N1, Toutslectionner1});
    Edition1->setMenu(edition);
    MainMenu1->addAction(Edition1);
    MainMenu1->addAction(Quitter1);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setMenuBar(MainMenu1);
    all->addWidget(Text);
    setDesignedSize(640, 480);
}

void TMemoForm::connectHandlers()
{
    connect(Couper1, &QAction::triggered, this, [this] { Couper1Click(Couper1); });
    connect(Copier1, &QAction::triggered, this, [this] { Copier1Click(Copier1); });
    connect(Coller1, &QAction::triggered, this, [this] { Coller1Click(Coller1); });
    connect(Toutslectionner1, &QAction::triggered, this,
            [this] { Toutslectionner1Click(Toutslectionner1); });
    connect(Quitter1, &QAction::triggered, this, [this] { Quitter1Click(Quitter1); });
}

void TMemoForm::FormShow(QObject*)
{
    Text->setReadOnly(true);
}

void TMemoForm::Couper1Click(QObject*)
{
    Text->cut();
}

void TMemoForm::Copier1Click(QObject*)
{
    Text->copy();
}

void TMemoForm::Coller1Click(QObject*)
{
    Text->paste();
}

void TMemoForm::Toutslectionner1Click(QObject*)
{
    Text->selectAll();
}

void TMemoForm::Quitter1Click(QObject*)
{
    Close();
}
