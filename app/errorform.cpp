// The error window shown for unexpected exceptions.
#include "errorform.h"

#include "translatableforms.h"

#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

QUORVANE_TRANSLATABLE_FORM(TfError);

TfError::TfError(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TfError::createComponents()
{
    Image1 = makeComponent<QLabel>("Image1", "TImage");
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Une erreur c'est produite lors de l'opération:"));
    Descr = makeComponent<QPlainTextEdit>("Descr", "TMemo");
    Descr->setReadOnly(true);
    Descr->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Descr->setStyleSheet(
        QStringLiteral("QPlainTextEdit { color: white; background: teal; font-weight: bold; }"));
    Label2 = makeComponent<QLabel>("Label2", "TLabel");
    Label2->setText(QStringLiteral("Pouvez vous preciser les circonstances?"));
    Memo1 = makeComponent<QPlainTextEdit>("Memo1", "TMemo");
    BitBtn1 = makeComponent<QPushButton>("BitBtn1", "TBitBtn");
    BitBtn1->setText(QStringLiteral("&Continuer"));
    BitBtn1->setDefault(true);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = QStringList{QStringLiteral("0=Erreur")};
}

void TfError::layoutComponents()
{
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addWidget(Descr);
    texts->addWidget(Label2);
    texts->addWidget(Memo1);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
    setDesignedSize(460, 340);
}

void TfError::connectHandlers()
{
    DefaultButton = BitBtn1;
    connect(BitBtn1, &QPushButton::clicked, this, [this] { setModalResult(mrOk); });
}

void TfError::FormCreate(QObject*)
{
    setCaption(ProgName + QStringLiteral(" - ") + LC1->GetConst(0));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}
