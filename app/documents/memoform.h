// The text window: a document shown as text, maximised, with the edit menu and a close command.
#pragma once

#include <platform/ui/forms.h>

class QAction;
class QMenuBar;
class QPlainTextEdit;
class TLC;

// The caller fills Text before showing the window; once shown the text is read-only.
class TMemoForm : public TForm
{
    Q_OBJECT

public:
    explicit TMemoForm(QWidget* parent = nullptr);

    QPlainTextEdit* Text;
    QMenuBar* MainMenu1;
    // Menu items; Edition1 carries the edit menu, N1 is its separator.
    QAction* Edition1;
    QAction* Couper1;
    QAction* Copier1;
    QAction* Coller1;
    QAction* N1;
    QAction* Toutslectionner1;
    QAction* Quitter1;
    TLC* LC1;

    void FormShow(QObject* Sender);
    void Couper1Click(QObject* Sender);
    void Copier1Click(QObject* Sender);
    void Coller1Click(QObject* Sender);
    void Toutslectionner1Click(QObject* Sender);
    void Quitter1Click(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};
