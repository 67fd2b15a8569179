// The translation editor's search dialog: which column to search.
#pragma once

#include <platform/ui/forms.h>

class QButtonGroup;
class QGroupBox;
class QPushButton;

class TlmSearchDlg : public TForm
{
    Q_OBJECT

public:
    explicit TlmSearchDlg(QWidget* parent = nullptr);

    QGroupBox* RadioGroup1; // "Default caption", "Translated caption", "Component"
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    // The chosen item (0 at first).
    int ItemIndex() const;
    void setItemIndex(int index);

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();

    QButtonGroup* m_items = nullptr;
};
