// The translation editor's search dialog.
#include "lmsearch.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TlmSearchDlg::TlmSearchDlg(QWidget* parent) : TForm(parent)
{
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TlmSearchDlg::createComponents()
{
    setCaption(QStringLiteral("Search"));
    RadioGroup1 = makeComponent<QGroupBox>("RadioGroup1", "TRadioGroup");
    RadioGroup1->setTitle(QStringLiteral("Select... "));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Cancel"));
}

void TlmSearchDlg::layoutComponents()
{
    m_items = new QButtonGroup(this);
    auto* items = new QVBoxLayout(RadioGroup1);
    const QStringList texts{QStringLiteral("Default caption"), QStringLiteral("Translated caption"),
                            QStringLiteral("Component")};
    for (int i = 0; i < texts.size(); ++i) {
        auto* button = new QRadioButton(texts.at(i), RadioGroup1);
        m_items->addButton(button, i);
        items->addWidget(button);
    }
    setItemIndex(0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addWidget(RadioGroup1);
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
}

void TlmSearchDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { setModalResult(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

int TlmSearchDlg::ItemIndex() const
{
    return m_items->checkedId();
}

void TlmSearchDlg::setItemIndex(int index)
{
    if (QAbstractButton* button = m_items->button(index))
        button->setChecked(true);
}
