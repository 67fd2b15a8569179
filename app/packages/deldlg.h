// The package purge dialog: whether, and after how many days, old packages are purged.
#pragma once

#include <platform/ui/forms.h>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class TLC;

// [Application] DelInterval of the program's settings: the days after which the first tick
// purges closed packages, -1 (any negative value) for never.
class TDelDlg : public TForm
{
    Q_OBJECT

public:
    explicit TDelDlg(QWidget* parent = nullptr);

    QCheckBox* NeedDelete; // "Supprimer les paquets"
    QLabel* Label1;        // "après"
    QSpinBox* DelInterval; // 0..100 days
    QLabel* Label2;        // "jours..."
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1;

    // Reads the interval (30 by default): a number of days checks NeedDelete and sets the spin
    // edit; a negative one leaves it unchecked, with the labels and the spin edit disabled.
    void FormShow(QObject* Sender);
    void NeedDeleteClick(QObject* Sender);
    // Writes the spin edit's value, or -1 when NeedDelete is unchecked.
    void OKBtnClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};
