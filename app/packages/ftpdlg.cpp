// The FTP settings dialog TFTPDlg and the password prompt TFTPPasswordDlg.
#include "ftpdlg.h"

#include "transferglobals.h"

#include <app/translatableforms.h>
#include <platform/inifile.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString Section = QStringLiteral("FTP");

QHBoxLayout* buttonRow(QPushButton* ok, QPushButton* cancel)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}

} // namespace

QUORVANE_TRANSLATABLE_FORM(TFTPDlg);

TFTPDlg::TFTPDlg(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TFTPDlg::createComponents()
{
    setCaption(QStringLiteral("Options FTP"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Utilisateur:"));
    UserNameEdit = makeComponent<QLineEdit>("UserNameEdit", "TEdit");
    Label2 = makeComponent<QLabel>("Label2", "TLabel");
    Label2->setText(QStringLiteral("Port:"));
    RemotePortEdit = makeComponent<QLineEdit>("RemotePortEdit", "TEdit");
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Annuler"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TFTPDlg::layoutComponents()
{
    UserNameEdit->setMinimumWidth(fontMetrics().averageCharWidth() * 24);
    auto* fields = new QFormLayout;
    fields->addRow(Label1, UserNameEdit);
    fields->addRow(Label2, RemotePortEdit);
    auto* all = new QVBoxLayout(this);
    all->addLayout(fields);
    all->addStretch();
    all->addLayout(buttonRow(OKBtn, CancelBtn));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(260, 110);
}

void TFTPDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(CancelBtn); });
}

void TFTPDlg::FormShow(QObject*)
{
    const IniFile ini(IniFileName);
    UserNameEdit->setText(ini.readString(Section, QStringLiteral("UserName")));
    RemotePortEdit->setText(QString::number(ini.readInteger(Section, QStringLiteral("Port"), 21)));
}

void TFTPDlg::OKBtnClick(QObject*)
{
    IniFile ini(IniFileName);
    ini.writeString(Section, QStringLiteral("UserName"), UserNameEdit->text());
    ini.writeInteger(Section, QStringLiteral("Port"), StrToInt(RemotePortEdit->text()));
    setModalResult(mrOk);
}

void TFTPDlg::CancelBtnClick(QObject*)
{
    setModalResult(mrCancel);
}

QUORVANE_TRANSLATABLE_FORM(TFTPPasswordDlg);

TFTPPasswordDlg::TFTPPasswordDlg(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TFTPPasswordDlg::createComponents()
{
    setCaption(QStringLiteral("FTP: password"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Type password"));
    Edit1 = makeComponent<QLineEdit>("Edit1", "TEdit");
    Edit1->setEchoMode(QLineEdit::Password);
    CheckBox1 = makeComponent<QCheckBox>("CheckBox1", "TCheckBox");
    CheckBox1->setText(QStringLiteral("save password"));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Cancel"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TFTPPasswordDlg::layoutComponents()
{
    Edit1->setMinimumWidth(fontMetrics().averageCharWidth() * 24);
    auto* all = new QVBoxLayout(this);
    all->addWidget(Label1);
    all->addWidget(Edit1);
    all->addWidget(CheckBox1);
    all->addStretch();
    all->addLayout(buttonRow(OKBtn, CancelBtn));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(240, 120);
}

void TFTPPasswordDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

void TFTPPasswordDlg::FormShow(QObject*)
{
    CheckBox1->setChecked(SavePassword);
    Edit1->setText(SavePassword ? FTPPassword : QString());
}

void TFTPPasswordDlg::OKBtnClick(QObject*)
{
    FTPPassword = Edit1->text();
    SavePassword = CheckBox1->isChecked();
    setModalResult(mrOk);
}
