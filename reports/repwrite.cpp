// The scratch-workbook form.
#include "repwrite.h"

#include <platform/ui/workbookview.h>

TF1Write::TF1Write(QWidget* parent) : TForm(parent)
{
    F1Book = makeComponent<WorkbookView>("F1Book", "TF1BookNew");
}

std::unique_ptr<Workbook> TF1Write::NewBook()
{
    auto* form = CreateForm<TF1Write>();
    std::unique_ptr<Workbook> book = form->F1Book->takeBook();
    form->Free();
    return book;
}
