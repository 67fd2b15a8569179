// The about box TfAbout.
#include "about.h"

#include <app/appglobals.h>
#include <app/translatableforms.h>
#include <platform/process.h>
#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

QUORVANE_TRANSLATABLE_FORM(TfAbout);

TfAbout::TfAbout(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TfAbout::createComponents()
{
    Panel1 = makeComponent<QFrame>("Panel1", "TPanel");
    Panel1->setFrameShape(QFrame::StyledPanel);
    Image1 = makeComponent<QLabel>("Image1", "TImage", Panel1);
    const QIcon icon = QApplication::windowIcon();
    Image1->setPixmap(
        (icon.isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon) : icon).pixmap(48, 48));
    Label1 = makeComponent<QLabel>("Label1", "TLabel", Panel1);
    QFont big = Label1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    Label1->setFont(big);
    Label2 = makeComponent<QLabel>("Label2", "TLabel", Panel1);
    Label3 = makeComponent<QLabel>("Label3", "TLabel", Panel1);
    for (QLabel* label : {Label1, Label2, Label3})
        label->setTextFormat(Qt::PlainText);
    Bevel1 = makeComponent<QFrame>("Bevel1", "TBevel", Panel1);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    SysInfo = makeComponent<QPlainTextEdit>("SysInfo", "TMemo", Panel1);
    SysInfo->setReadOnly(true);
    SysInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SysInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    SysInfo->setVisible(false);
    BitBtn1 = makeComponent<QPushButton>("BitBtn1", "TBitBtn");
    BitBtn1->setText(QStringLiteral("&Fermer"));
    BitBtn1->setDefault(true);
    BitBtn2 = makeComponent<QPushButton>("BitBtn2", "TBitBtn");
    BitBtn2->setText(QStringLiteral("Sys&Info"));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    BitBtn2->setAutoDefault(false);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TfAbout::layoutComponents()
{
    auto* names = new QVBoxLayout;
    names->addWidget(Label1);
    names->addWidget(Label2);
    names->addWidget(Label3);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(names, 1);
    auto* panel = new QVBoxLayout(Panel1);
    panel->addLayout(top);
    panel->addWidget(Bevel1);
    panel->addWidget(SysInfo, 1);
    SysInfo->setMinimumHeight(fontMetrics().lineSpacing() * 7);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    auto* all = new QVBoxLayout(this);
    all->addWidget(Panel1, 1);
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setDesignedSize(340, 180);
}

void TfAbout::connectHandlers()
{
    DefaultButton = BitBtn1;
    CancelButton = BitBtn1;
    connect(BitBtn1, &QPushButton::clicked, this, [this] { setModalResult(mrOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(BitBtn2); });
}

void TfAbout::FormCreate(QObject*)
{
    setCaption(QStringLiteral("A propos de ") + ProgName);
    Label1->setText(ProgName);
    Label2->setText(QStringLiteral("Version ") + ProgVersion + QStringLiteral(" (") + ProgBuild +
                    u')');
    Label3->setText(ProgSubtitle);
}

void TfAbout::BitBtn2Click(QObject*)
{
    const bool show = !SysInfo->isVisible();
    if (show) {
        QStringList lines{QStringLiteral("Network type: none"),
                          QStringLiteral("Local share: FALSE"),
                          QStringLiteral("Current user: ") + loginName(),
                          QStringLiteral("Working directory: ") + WorkPath,
                          QStringLiteral("Database directory: ") + DataDir};
        if (TressolyPath != DataDir)
            lines.append(QStringLiteral("Tressoly database directory: ") + TressolyPath);
        SysInfo->setPlainText(lines.join(u'\n'));
        // Each line whole where the screen has room for it; a longer one scrolls.
        int widest = 0;
        for (const QString& line : std::as_const(lines))
            widest = std::max(widest, SysInfo->fontMetrics().horizontalAdvance(line));
        const int chrome = 2 * SysInfo->frameWidth() +
                           SysInfo->verticalScrollBar()->sizeHint().width() +
                           2 * int(SysInfo->document()->documentMargin()) + 2;
        SysInfo->setMinimumWidth(
            std::min(widest + chrome, availableScreenArea(this).width() * 2 / 3));
    }
    SysInfo->setVisible(show);
}

void ShowAboutBox()
{
    QPointer<TfAbout> form = CreateForm<TfAbout>();
    const auto freeForm = qScopeGuard([&form] {
        if (form)
            form->Free();
    });
    form->ShowModal();
}
