// The e-mail settings dialog TeMailDlg.
#include "emaildlg.h"

#include <app/translatableforms.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString Section = QStringLiteral("e-mail");
} // namespace

QUORVANE_TRANSLATABLE_FORM(TeMailDlg);

TeMailDlg::TeMailDlg(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TeMailDlg::createComponents()
{
    setCaption(QStringLiteral("Options E-MAIL"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Serveur:"));
    eSMTPServer = makeComponent<QLineEdit>("eSMTPServer", "TEdit");
    eSMTPServer->setToolTip(QStringLiteral("Adresse IP du serveur SMTP"));
    Label2 = makeComponent<QLabel>("Label2", "TLabel");
    Label2->setText(QStringLiteral("Adresse de retour:"));
    eHomeAddr = makeComponent<QLineEdit>("eHomeAddr", "TEdit");
    eHomeAddr->setToolTip(QStringLiteral("Return address to use when sending SMTP mail"));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Annuler"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TeMailDlg::layoutComponents()
{
    const int wide = fontMetrics().averageCharWidth() * 30;
    eSMTPServer->setMinimumWidth(wide);
    eHomeAddr->setMinimumWidth(wide);
    auto* fields = new QFormLayout;
    fields->addRow(Label1, eSMTPServer);
    fields->addRow(Label2, eHomeAddr);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addLayout(fields);
    all->addStretch();
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(320, 110);
}

void TeMailDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(CancelBtn); });
}

void TeMailDlg::FormShow(QObject*)
{
    const IniFile ini(IniFileName);
    eSMTPServer->setText(ini.readString(Section, QStringLiteral("SMTPServer")));
    eHomeAddr->setText(ini.readString(Section, QStringLiteral("HOMEAddr")));
}

void TeMailDlg::OKBtnClick(QObject*)
{
    IniFile ini(IniFileName);
    ini.writeString(Section, QStringLiteral("SMTPServer"), eSMTPServer->text());
    ini.writeString(Section, QStringLiteral("HOMEAddr"), eHomeAddr->text());
    setModalResult(mrOk);
}

void TeMailDlg::CancelBtnClick(QObject*)
{
    setModalResult(mrCancel);
}
