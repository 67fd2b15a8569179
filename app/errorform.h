// The error window: what went wrong, and a box where the user may say what they were doing.
#pragma once

#include <platform/ui/forms.h>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TLC;

class TfError : public TForm
{
    Q_OBJECT
public:
    explicit TfError(QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Label1;
    QPlainTextEdit* Descr;
    QLabel* Label2;
    QPlainTextEdit* Memo1;
    QPushButton* BitBtn1;
    TLC* LC1;

    void FormCreate(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};
