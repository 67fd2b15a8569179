// INI shortcuts, the OK/Cancel error boxes and the palette query.
#include "procs.h"

#include <platform/dialogs.h>
#include <platform/format.h>
#include <platform/inifile.h>

#include <QGuiApplication>
#include <QScreen>

int ReadIniInteger(const QString& fileName, const QString& section, const QString& key, int def)
{
    return IniFile(fileName).readInteger(section, key, def);
}

void WriteIniInteger(const QString& fileName, const QString& section, const QString& key, int value)
{
    IniFile(fileName).writeInteger(section, key, value);
}

bool ErrorOkCancel(const QString& message)
{
    return dialogService().messageDlg(message, mtError, TMsgDlgButtons(mbOK) | mbCancel) == mrOk;
}

bool ErrorOkCancelFmt(const QString& format, const VariantList& args)
{
    return ErrorOkCancel(Format(format, args));
}

int GetScreenPaletteSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 0;
    const int depth = screen->depth();
    return depth > 0 && depth <= 8 ? 1 << depth : 0;
}
