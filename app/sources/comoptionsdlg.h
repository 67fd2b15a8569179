// The serial-line options dialog of a serial source: rate, data bits, stop bits, parity, flow
// control and whether DTR is raised when the port opens.
#pragma once

#include <platform/ui/forms.h>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TLC;

class TCOMOptionsDlg : public TForm
{
    Q_OBJECT

public:
    explicit TCOMOptionsDlg(QWidget* parent = nullptr);

    QLabel* Label1;
    QComboBox* cbBaudRate;
    QLabel* Label2;
    QComboBox* cbDataBits;
    QLabel* Label3;
    QComboBox* cbStopBits;
    QLabel* Label4;
    QComboBox* cbParity;
    QLabel* Label5;
    QComboBox* cbHandshaking;
    QCheckBox* chbEnableDTROnOpen;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1;

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};

// Shows the dialog on the six settings, each list preset to the item whose index is the value
// (data bits: the item of DataBits - 4). OK gives true and the values as the dialog shows them
// (data bits as index + 4); Cancel or closing the window gives false and leaves every value as
// it was. A list whose value named no item shows no selection; OK then leaves that value as it
// was rather than store a value no port understands.
bool EditCOMOptions(int& BaudRate, int& DataBits, int& Handshaking, int& Parity, int& StopBits,
                    bool& DTROnOpen);
