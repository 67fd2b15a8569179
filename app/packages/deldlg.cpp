// The package purge dialog TDelDlg.
#include "deldlg.h"

#include "packages.h"
#include "transferglobals.h"

#include <app/translatableforms.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
const QString Section = QStringLiteral("Application");
const QString Key = QStringLiteral("DelInterval");
} // namespace

QUORVANE_TRANSLATABLE_FORM(TDelDlg);

TDelDlg::TDelDlg(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TDelDlg::createComponents()
{
    setCaption(QStringLiteral("Purge des paquets"));
    NeedDelete = makeComponent<QCheckBox>("NeedDelete", "TCheckBox");
    NeedDelete->setText(QStringLiteral("Supprimer les paquets"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("après"));
    DelInterval = makeComponent<QSpinBox>("DelInterval", "TSpinEdit");
    DelInterval->setRange(0, 100);
    Label2 = makeComponent<QLabel>("Label2", "TLabel");
    Label2->setText(QStringLiteral("jours..."));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Annuler"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TDelDlg::layoutComponents()
{
    auto* interval = new QHBoxLayout;
    interval->addSpacing(fontMetrics().averageCharWidth() * 3);
    interval->addWidget(Label1);
    interval->addWidget(DelInterval);
    interval->addWidget(Label2);
    interval->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addWidget(NeedDelete);
    all->addLayout(interval);
    all->addStretch();
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(240, 110);
}

void TDelDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(NeedDelete, &QCheckBox::clicked, this, [this] { NeedDeleteClick(NeedDelete); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

void TDelDlg::FormShow(QObject*)
{
    const int days = IniFile(IniFileName).readInteger(Section, Key, 30);
    NeedDelete->setChecked(days >= 0);
    if (days >= 0)
        DelInterval->setValue(days);
    NeedDeleteClick(NeedDelete);
}

void TDelDlg::NeedDeleteClick(QObject*)
{
    const bool on = NeedDelete->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(DelInterval),
                       static_cast<QWidget*>(Label2)})
        w->setEnabled(on);
}

void TDelDlg::OKBtnClick(QObject*)
{
    IniFile(IniFileName)
        .writeInteger(Section, Key, NeedDelete->isChecked() ? DelInterval->value() : -1);
    setModalResult(mrOk);
}

void ShowDelDlg()
{
    ExecuteForm<TDelDlg>();
}
