// The port test window: the port list, and the memo whose key presses go out on the selected
// port.
#include "testform.h"

#include <analysers/comdrv.h>
#include <platform/codepage.h>
#include <translation/lc.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

std::function<TCommPortDriver*(int slot)> TTestForm::PortResolver;

namespace {

// Hands the key presses of one widget to a handler before the widget takes them.
class KeyPressWatcher : public QObject
{
public:
    KeyPressWatcher(QObject* parent, std::function<void(const QKeyEvent&)> handler)
        : QObject(parent), m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto& key = *static_cast<const QKeyEvent*>(event);
        m_handler(key);
        // Escape typed into the memo is a byte for the port (0x1B), not a request to close:
        // the memo keeps it from the window.
        return key.key() == Qt::Key_Escape || QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const QKeyEvent&)> m_handler;
};

} // namespace

QUORVANE_FORM(TTestForm);

TTestForm::TTestForm(QWidget* parent) : TForm(parent)
{
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TTestForm::createComponents()
{
    setCaption(QStringLiteral("TestForm"));
    Label1 = makeComponent<QLabel>("Label1", "TLabel");
    Label1->setText(QStringLiteral("Test COM-port :"));
    ComboBox1 = makeComponent<QComboBox>("ComboBox1", "TComboBox");
    ComboBox1->addItems({"COM1", "COM2", "COM3", "COM4"});
    Memo1 = makeComponent<QPlainTextEdit>("Memo1", "TMemo");
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

void TTestForm::layoutComponents()
{
    setWindowFlags(Qt::Dialog);
    auto* port = new QHBoxLayout;
    port->addWidget(Label1);
    port->addWidget(ComboBox1);
    port->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(port);
    all->addWidget(Memo1, 1);
    setDesignedSize(420, 300);
}

void TTestForm::connectHandlers()
{
    Memo1->installEventFilter(new KeyPressWatcher(this, [this](const QKeyEvent& key) {
        // Keys that type nothing (arrows, Delete, bare modifiers) send nothing.
        if (!key.text().isEmpty() && key.key() != Qt::Key_Delete)
            Memo1KeyPress(Memo1, key.text());
    }));
}

void TTestForm::FormShow(QObject*)
{
    ComboBox1->setCurrentIndex(0);
}

void TTestForm::Memo1KeyPress(QObject*, const QString& Key)
{
    const int entry = ComboBox1->currentIndex();
    if (entry < 0 || !PortResolver)
        return;
    TCommPortDriver* port = PortResolver(entry + 1);
    if (!port)
        return;
    const QByteArray bytes = codepage::toAnsi(Key);
    port->SendData(bytes.constData(), int(bytes.size()));
}
