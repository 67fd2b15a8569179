// The log viewer: the end of the direct-send log in a read-only text window.
#pragma once

#include <platform/ui/forms.h>

#include <QStringList>

class QPlainTextEdit;

class TLOGForm : public TForm
{
    Q_OBJECT

public:
    explicit TLOGForm(QWidget* parent = nullptr);

    QPlainTextEdit* mLOG;

private:
    void createComponents();
    void layoutComponents();

protected:
    // Escape closes the viewer, as it closes every other window of the program.
    void keyPressEvent(QKeyEvent* event) override;
};

// The whole lines of the end of a log file that fit in `MaxBytes` bytes, read in the program's
// code page: lines are dropped from the start while the bytes left exceed MaxBytes. Empty when
// the file does not exist or cannot be read.
QStringList ReadLogTail(const QString& FileName, qint64 MaxBytes = 32000);
