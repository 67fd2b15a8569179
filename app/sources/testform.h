// The port test window: what the user types is sent, byte by byte, through one of the serial
// ports the workstation holds.
#pragma once

#include <platform/ui/forms.h>

#include <functional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class TCommPortDriver;
class TLC;

// Entry i of ComboBox1 ("COM1" to "COM4") is port slot i + 1. The window opens no port: each
// byte goes to the slot's port in whatever state it is (one that is closed sends nothing).
class TTestForm : public TForm
{
    Q_OBJECT

public:
    explicit TTestForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QComboBox* ComboBox1;
    QPlainTextEdit* Memo1;
    TLC* LC1;

    // The port of a slot (1 and up), or nullptr when the slot holds none. Registered by whoever
    // holds the ports; while unset nothing is sent.
    static std::function<TCommPortDriver*(int slot)> PortResolver;

    void FormShow(QObject* Sender);
    // Sends the characters of one key press (usually one) through the selected entry's port,
    // each as one byte of the program's code page (a character the code page lacks goes as
    // "?"). The characters then reach the memo as usual.
    void Memo1KeyPress(QObject* Sender, const QString& Key);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};
