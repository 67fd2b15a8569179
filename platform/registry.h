// The current user's registry, as far as the program uses it: string values under keys below
// HKEY_CURRENT_USER ("Software\Quorvane"), kept in one INI file in the user's configuration
// folder. Each key path is a section of the file and each value name a key of that section, so
// that other tools (an editor, Python's configparser) read the file as it is.
#pragma once

#include <QString>

namespace userregistry {

// <the user's configuration folder>/Quorvane/registry.ini, unless a test chose another file.
QString fileName();
void setFileName(const QString& fileName);

// Reading never creates or writes anything.
bool keyExists(const QString& key);
// The value, or `def` when the key or the value does not exist or the file cannot be read.
QString readString(const QString& key, const QString& name, const QString& def = QString());
// Writes the value, creating the key, the file and its folder when missing. Raises EInOutError
// when the file cannot be written (the file is then as it was).
void writeString(const QString& key, const QString& name, const QString& value);

} // namespace userregistry
