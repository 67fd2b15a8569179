// The about box: the program's name, version and subtitle, and on request a short system report.
#pragma once

#include <platform/ui/forms.h>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TLC;

class TfAbout : public TForm
{
    Q_OBJECT

public:
    explicit TfAbout(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* Image1; // the program's picture
    QLabel* Label1; // the program's name
    QLabel* Label2; // "Version <version> (<build>)"
    QLabel* Label3; // the subtitle
    QFrame* Bevel1;
    QPlainTextEdit* SysInfo; // the system report, hidden at first
    QPushButton* BitBtn1;    // "&Fermer"
    QPushButton* BitBtn2;    // "Sys&Info"
    TLC* LC1;

    // Caption and labels from the program's name, version, build and subtitle.
    void FormCreate(QObject* Sender);
    // Shows or hides the system report; each time it is shown its lines are made anew: the
    // database engine's network type and local share (this engine has neither: "none" and
    // FALSE), the login name, the working folder, the data folder and, when it differs, the
    // practice software's folder.
    void BitBtn2Click(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};

// The about box TfAbout, shown modally and freed.
void ShowAboutBox();
