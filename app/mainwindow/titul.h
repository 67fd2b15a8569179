// The splash window shown while the program starts: one line saying what start-up is doing.
#pragma once

#include <platform/ui/forms.h>

class QLabel;

// Borderless, above every other window, centred on the screen; the main window frees it at the
// first tick of its timer.
class TTitul : public TForm
{
    Q_OBJECT

public:
    explicit TTitul(QWidget* parent = nullptr);

    QLabel* Action;

    // Shows the text at once (the start-up steps run without returning to the event loop).
    void SetAction(const QString& Text);

private:
    void createComponents();
    void layoutComponents();
};
