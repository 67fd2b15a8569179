// File dialog components over the dialog service.
#include "filedialog.h"

#include <platform/dialogs.h>

#include <QFileInfo>

FileDialog::FileDialog(Kind kind, QObject* parent) : QObject(parent), m_kind(kind)
{
}

bool FileDialog::Execute()
{
    const QString folder = InitialDir.isEmpty() ? QFileInfo(FileName).path() : InitialDir;
    QString chosen = m_kind == Open ? dialogService().getOpenFileName(Title, folder, Filter)
                                    : dialogService().getSaveFileName(Title, folder, Filter);
    if (chosen.isEmpty())
        return false;
    if (!DefaultExt.isEmpty() && QFileInfo(chosen).suffix().isEmpty())
        chosen += QLatin1Char('.') + DefaultExt;
    if (m_kind == Open && FileMustExist && !QFileInfo(chosen).isFile())
        return false;
    FileName = chosen;
    return true;
}
