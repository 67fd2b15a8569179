// TF1Write: the hidden form that hands out scratch workbooks, one spreadsheet control each.
#pragma once

#include <platform/ui/forms.h>

#include <memory>

class Workbook;
class WorkbookView;

class TF1Write : public TForm
{
    Q_OBJECT
public:
    explicit TF1Write(QWidget* parent = nullptr);

    WorkbookView* F1Book;

    // A new workbook, taken out of the control of a form made and freed off screen.
    static std::unique_ptr<Workbook> NewBook();
};
