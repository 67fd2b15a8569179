// The serial-line options dialog and EditCOMOptions, which presets it from a source's stored
// values and reads them back when the user confirms.
#include "comoptionsdlg.h"

#include <app/translatableforms.h>
#include <translation/lc.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace {

QComboBox* fillList(QComboBox* list, const QStringList& items)
{
    list->addItems(items);
    return list;
}

// Selects item `index`; a value outside the list leaves the list without a selection.
void selectItem(QComboBox* list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

// Replaces `value` by the selected index plus `offset`, when there is a selection.
void readItem(const QComboBox* list, int& value, int offset = 0)
{
    if (list->currentIndex() >= 0)
        value = list->currentIndex() + offset;
}

} // namespace

QUORVANE_TRANSLATABLE_FORM(TCOMOptionsDlg);

TCOMOptionsDlg::TCOMOptionsDlg(QWidget* parent) : TForm(parent)
{
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TCOMOptionsDlg::createComponents()
{
    setCaption(QStringLiteral("Paramètres du Port Série"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Bits par sec :"));
    cbBaudRate =
        fillList(makeComponent<QComboBox>("cbBaudRate", "TComboBox"),
                 {"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400"});
    Label2 = makeComponent<QLabel>("Label2", "TLabel");
    Label2->setText(QStringLiteral("Bits de données :"));
    cbDataBits = fillList(makeComponent<QComboBox>("cbDataBits", "TComboBox"),
                          {"4 bits", "5 bits", "6 bits", "7 bits", "8 bits"});
    Label3 = makeComponent<QLabel>("Label3", "TLabel");
    Label3->setText(QStringLiteral("Bits d'arrêt :"));
    cbStopBits = fillList(makeComponent<QComboBox>("cbStopBits", "TComboBox"),
                          {"1 bit", "1.5 bits", "2 bits"});
    Label4 = makeComponent<QLabel>("Label4", "TLabel");
    Label4->setText(QStringLiteral("Parité :"));
    cbParity = fillList(makeComponent<QComboBox>("cbParity", "TComboBox"),
                        {"Aucun", "Inpair", "Pair", "Marque", "Espace"});
    Label5 = makeComponent<QLabel>("Label5", "TLabel");
    Label5->setText(QStringLiteral("Contrôle de flux:"));
    cbHandshaking = fillList(makeComponent<QComboBox>("cbHandshaking", "TComboBox"),
                             {"Aucun", "XOnXOff", "RTS", "RTSXOnXOff", "DTRDSR"});
    chbEnableDTROnOpen = makeComponent<QCheckBox>("chbEnableDTROnOpen", "TCheckBox");
    chbEnableDTROnOpen->setText(QStringLiteral("Enable DTR on open"));
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Annuler"));
    CancelBtn->setAutoDefault(true);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TCOMOptionsDlg::layoutComponents()
{
    auto* fields = new QFormLayout;
    fields->addRow(Label1, cbBaudRate);
    fields->addRow(Label2, cbDataBits);
    fields->addRow(Label3, cbStopBits);
    fields->addRow(Label4, cbParity);
    fields->addRow(Label5, cbHandshaking);
    fields->addRow(chbEnableDTROnOpen);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addLayout(fields);
    all->addStretch();
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(260, 240);
}

void TCOMOptionsDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { setModalResult(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

bool EditCOMOptions(int& BaudRate, int& DataBits, int& Handshaking, int& Parity, int& StopBits,
                    bool& DTROnOpen)
{
    QPointer<TCOMOptionsDlg> dialog = CreateForm<TCOMOptionsDlg>();
    const auto freeDialog = qScopeGuard([&dialog] {
        if (dialog)
            dialog->Free();
    });
    selectItem(dialog->cbBaudRate, BaudRate);
    selectItem(dialog->cbDataBits, DataBits - 4);
    selectItem(dialog->cbHandshaking, Handshaking);
    selectItem(dialog->cbParity, Parity);
    selectItem(dialog->cbStopBits, StopBits);
    dialog->chbEnableDTROnOpen->setChecked(DTROnOpen);
    const bool ok = dialog->ShowModal() == mrOk;
    if (ok && dialog) {
        readItem(dialog->cbBaudRate, BaudRate);
        readItem(dialog->cbDataBits, DataBits, 4);
        readItem(dialog->cbHandshaking, Handshaking);
        readItem(dialog->cbParity, Parity);
        readItem(dialog->cbStopBits, StopBits);
        DTROnOpen = dialog->chbEnableDTROnOpen->isChecked();
        return true;
    }
    return false;
}
