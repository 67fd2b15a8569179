// The compression settings of packages: compression on or off, and where the archiver is.
#pragma once

#include <platform/ui/forms.h>

class FileDialog;
class QCheckBox;
class QLineEdit;
class QPushButton;
class TLC;

// Works on NeedCompression and RarPath and on their keys NeedCompression and RAR_Path of
// [Application] in the program's settings.
class TCompForm : public TForm
{
    Q_OBJECT

public:
    explicit TCompForm(QWidget* parent = nullptr);

    QCheckBox* CheckBox1;    // "Compresser avec WINRAR"
    QLineEdit* Edit1;        // the archiver program
    QPushButton* Button1;    // "Parcourir..."
    FileDialog* OpenDialog1; // the file dialog's settings: any file, from /usr/bin
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    TLC* LC1;

    void FormShow(QObject* Sender);
    // The path and its button are enabled exactly when compression is checked.
    void CheckBox1Click(QObject* Sender);
    // The file dialog, from the file of the edit (from /usr/bin when it is empty); a file chosen
    // goes into the edit.
    void Button1Click(QObject* Sender);
    // NeedCompression and RarPath take the dialog's values; the settings get NeedCompression=1
    // and RAR_Path when compression is checked, NeedCompression=0 alone (the stored path is kept)
    // when it is not.
    void OKBtnClick(QObject* Sender);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
};

// The compression settings dialog TCompForm, shown modally and freed.
void ShowCompForm();
