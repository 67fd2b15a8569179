// The user's registry on an INI file in the configuration folder.
#include "registry.h"

#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/inifile.h>
#include <platform/uitexts.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

namespace {

QString g_fileName;

} // namespace

namespace userregistry {

QString fileName()
{
    if (!g_fileName.isEmpty())
        return g_fileName;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quorvane/registry.ini");
}

void setFileName(const QString& name)
{
    g_fileName = name;
}

bool keyExists(const QString& key)
{
    return IniFile(fileName()).sectionExists(key);
}

QString readString(const QString& key, const QString& name, const QString& def)
{
    return IniFile(fileName()).readString(key, name, def);
}

void writeString(const QString& key, const QString& name, const QString& value)
{
    const QString file = fileName();
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder)) {
        const int e = errno;
        throw EInOutError(uiText(UiText::CannotCreateFolder).arg(folder, fileops::errorText(e)), e);
    }
    IniFile(file).writeString(key, name, value);
}

} // namespace userregistry
