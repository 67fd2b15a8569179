// The picture window: a screen capture shown maximised on white, with a close command.
#pragma once

#include <platform/ui/forms.h>

class QAction;
class QLabel;
class QMenuBar;
class TLC;

// The caller loads the picture into Image1 (and sizes it) before showing the window; a picture
// larger than the window scrolls.
class TImageForm : public TForm
{
    Q_OBJECT

public:
    explicit TImageForm(QWidget* parent = nullptr);

    QLabel* Image1;
    QMenuBar* MainMenu1;
    QAction* Quitter1;
    TLC* LC1;

    void Quitter1Click(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};
