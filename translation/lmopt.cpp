// The translation editor's options dialog.
#include "lmopt.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TlmOptionsDlg::TlmOptionsDlg(QWidget* parent) : TForm(parent)
{
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TlmOptionsDlg::createComponents()
{
    setCaption(QStringLiteral("Options"));
    GroupBox1 = makeComponent<QGroupBox>("GroupBox1", "TGroupBox");
    GroupBox1->setTitle(QStringLiteral(" Show "));
    cbParentControls = makeComponent<QCheckBox>("cbParentControls", "TCheckBox", GroupBox1);
    cbParentControls->setText(QStringLiteral("&Parent Controls"));
    cbTranslateDefaults = makeComponent<QCheckBox>("cbTranslateDefaults", "TCheckBox", GroupBox1);
    cbTranslateDefaults->setText(QStringLiteral("Translate &Defaults "));
    cbEmptyCaptions = makeComponent<QCheckBox>("cbEmptyCaptions", "TCheckBox", GroupBox1);
    cbEmptyCaptions->setText(QStringLiteral("&Empty Captions"));
    cbTranslatedCaptions = makeComponent<QCheckBox>("cbTranslatedCaptions", "TCheckBox", GroupBox1);
    cbTranslatedCaptions->setText(QStringLiteral("&Translated Captions"));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Cancel"));
}

void TlmOptionsDlg::layoutComponents()
{
    auto* boxes = new QVBoxLayout(GroupBox1);
    for (QCheckBox* box :
         {cbParentControls, cbTranslateDefaults, cbEmptyCaptions, cbTranslatedCaptions})
        boxes->addWidget(box);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addWidget(GroupBox1);
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
}

void TlmOptionsDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    const auto option = [this](QCheckBox* box, bool TLangOptions::*field) {
        connect(box, &QCheckBox::clicked, this,
                [this, box, field] { m_options.*field = box->isChecked(); });
    };
    option(cbParentControls, &TLangOptions::ParentControls);
    option(cbTranslateDefaults, &TLangOptions::TranslateDefaults);
    option(cbEmptyCaptions, &TLangOptions::EmptyCaptions);
    option(cbTranslatedCaptions, &TLangOptions::TranslatedCaptions);
    connect(OKBtn, &QPushButton::clicked, this, [this] { setModalResult(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

bool TlmOptionsDlg::Execute(TLangOptions& Options)
{
    m_options = Options;
    cbParentControls->setChecked(Options.ParentControls);
    cbTranslateDefaults->setChecked(Options.TranslateDefaults);
    cbEmptyCaptions->setChecked(Options.EmptyCaptions);
    cbTranslatedCaptions->setChecked(Options.TranslatedCaptions);
    if (ShowModal() != mrOk)
        return false;
    Options = m_options;
    return true;
}
