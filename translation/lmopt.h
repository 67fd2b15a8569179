// The translation editor's options: which texts its grid shows.
#pragma once

#include <platform/ui/forms.h>

class QCheckBox;
class QGroupBox;
class QPushButton;

// The editor's row filters; all on when the editor opens.
struct TLangOptions
{
    bool EmptyCaptions = true;      // texts without a translation
    bool ParentControls = true;     // texts the registered parent form shows too
    bool TranslateDefaults = true;  // texts the compiled-in table translates
    bool TranslatedCaptions = true; // texts with a translation
};

class TlmOptionsDlg : public TForm
{
    Q_OBJECT

public:
    explicit TlmOptionsDlg(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QCheckBox* cbParentControls;
    QCheckBox* cbTranslateDefaults;
    QCheckBox* cbEmptyCaptions;
    QCheckBox* cbTranslatedCaptions;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    // Shows the options; each click changes the dialog's copy at once. OK hands the copy back
    // and gives true; Cancel or closing the window leaves `Options` as it was.
    bool Execute(TLangOptions& Options);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();

    TLangOptions m_options;
};
