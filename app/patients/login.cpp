// The login dialog TLoginDlg, the one call that shows it, and the database password derived from a
// user's login and password.
#include "login.h"

#include <app/translatableforms.h>
#include <kernel/krnproc.h>
#include <platform/codepage.h>
#include <platform/support/cipher.h>
#include <translation/lc.h>

#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// The database password is this many characters, and the text enciphered for it at least as long.
constexpr int DatabasePasswordLength = 30;

} // namespace

QUORVANE_TRANSLATABLE_FORM(TLoginDlg);

TLoginDlg::TLoginDlg(QWidget* parent) : TForm(parent)
{
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TLoginDlg::createComponents()
{
    setCaption(QStringLiteral("Login to Main DB"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("User :"));
    edUser = makeComponent<QLineEdit>("edUser", "TEdit");
    Label2 = makeComponent<QLabel>("Label2", "TLabel");
    Label2->setText(QStringLiteral("Password :"));
    edPsw = makeComponent<QLineEdit>("edPsw", "TEdit");
    edPsw->setEchoMode(QLineEdit::Password);
    OKBtn = makeComponent<QPushButton>("OKBtn", "TButton");
    OKBtn->setText(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeComponent<QPushButton>("CancelBtn", "TButton");
    CancelBtn->setText(QStringLiteral("Cancel"));
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TLoginDlg::layoutComponents()
{
    const int wide = fontMetrics().averageCharWidth() * 24;
    for (QLineEdit* edit : {edUser, edPsw})
        edit->setMinimumWidth(wide);
    Label1->setBuddy(edUser);
    Label2->setBuddy(edPsw);
    auto* fields = new QFormLayout;
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    fields->addRow(Label1, edUser);
    fields->addRow(Label2, edPsw);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* all = new QVBoxLayout(this);
    all->addLayout(fields);
    all->addStretch();
    all->addLayout(buttons);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setDesignedSize(250, 110);
}

void TLoginDlg::connectHandlers()
{
    DefaultButton = OKBtn;
    CancelButton = CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { setModalResult(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(mrCancel); });
}

bool ExecuteLoginDlg(QString& User, QString& Password)
{
    QPointer<TLoginDlg> dialog = CreateForm<TLoginDlg>();
    const auto freeDialog = qScopeGuard([&dialog] {
        if (dialog)
            dialog->Free();
    });
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
    dialog->edUser->setText(User);
    // Typing goes where something is missing; the dialog takes the focus when it shows.
    (User.isEmpty() ? dialog->edUser : dialog->edPsw)->setFocus();
    if (dialog->ShowModal() != mrOk || !dialog)
        return false;
    User = dialog->edUser->text();
    Password = dialog->edPsw->text();
    return true;
}

QString EncodePassword(const QString& Login, const QString& Password)
{
    if (Login.isEmpty())
        DBKernelError(QStringLiteral("Bad login"));
    const QByteArray login = codepage::upperBytes(CredentialBytes(Login));
    QByteArray p = codepage::upperBytes(CredentialBytes(Password));
    while (p.size() < DatabasePasswordLength)
        p += login.left(DatabasePasswordLength - p.size());
    // Each character but the last takes the high half of a login character, counted from the
    // third one round; 0 would end the text where it is read as a C string.
    for (qsizetype i = 0; i + 1 < p.size(); ++i) {
        const auto shift = quint8(quint8(login.at((i + 2) % login.size())) >> 4);
        const auto value = quint8(quint8(p.at(i)) + shift);
        p[i] = char(value == 0 ? 170 : value);
    }
    return EncryptToHex(p).left(DatabasePasswordLength);
}
