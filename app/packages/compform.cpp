// The compression settings dialog TCompForm.
#include "compform.h"

#include "transferglobals.h"

#include <app/appglobals.h>
#include <app/translatableforms.h>
#include <platform/dialogs.h>
#include <platform/files.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <platform/ui/filedialog.h>
#include <translation/lc.h>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString Section = QStringLiteral("Application");
const QString ProgramsFolder = QStringLiteral("/usr/bin");
} // namespace

QUORVANE_TRANSLATABLE_FORM(TCompForm);

TCompForm::TCompForm(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TCompForm::createComponents()
{
    setCaption(QStringLiteral("Paramètrage de la compression"));
    CheckBox1 = makeComponent<QCheckBox>("CheckBox1", "TCheckBox");
    CheckBox1->setText(QStringLiteral("Compresser avec WINRAR"));
    Edit1 = makeComponent<QLineEdit>("Edit1", "TEdit");
    Button1 = makeComponent<QPushButton>("Button1", "TButton");
    Button1->setText(QStringLiteral("Parcourir..."));
    Button1->setAutoDefault(false);
    OpenDialog1 = makeComponent<FileDialog>("OpenDialog1", "TOpenDialog", FileDialog::Open, this);
    OpenDialog1->InitialDir = ProgramsFolder;
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Annuler"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TCompForm::layoutComponents()
{
    Edit1->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    auto* path = new QHBoxLayout;
    path->addWidget(Edit1, 1);
    path->addWidget(Button1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addWidget(CheckBox1);
    all->addLayout(path);
    all->addStretch();
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(360, 120);
}

void TCompForm::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(CheckBox1); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(OKBtn); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

void TCompForm::FormShow(QObject*)
{
    CheckBox1->setChecked(NeedCompression);
    Edit1->setText(RarPath);
    CheckBox1Click(CheckBox1);
}

void TCompForm::CheckBox1Click(QObject*)
{
    Edit1->setEnabled(CheckBox1->isChecked());
    Button1->setEnabled(CheckBox1->isChecked());
}

void TCompForm::Button1Click(QObject*)
{
    const QString start =
        Edit1->text().trimmed().isEmpty() ? OpenDialog1->InitialDir : Edit1->text();
    // Without a title of its own the chooser shows its own ("Ouvrir"), not this window's.
    const QString chosen =
        dialogService().getOpenFileName(OpenDialog1->Title, start, OpenDialog1->Filter);
    if (!chosen.isEmpty())
        Edit1->setText(chosen);
}

void TCompForm::OKBtnClick(QObject*)
{
    NeedCompression = CheckBox1->isChecked();
    RarPath = files::nativePath(Edit1->text());
    IniFile ini(IniFileName);
    ini.writeInteger(Section, QStringLiteral("NeedCompression"), NeedCompression ? 1 : 0);
    if (NeedCompression)
        ini.writeString(Section, QStringLiteral("RAR_Path"), Edit1->text());
    setModalResult(mrOk);
}

void ShowCompForm()
{
    ExecuteForm<TCompForm>();
}
