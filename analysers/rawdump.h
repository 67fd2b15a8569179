// Raw dumps of what an analyser sent, kept in the working folder's "com_buf/" folder for the
// laboratory's own tools.
#pragma once

#include <QByteArray>
#include <QString>

// Writes Bytes to WorkPath + "com_buf/" + Prefix + Counter + ".dat" and returns the file name,
// Counter then standing after the number used. Numbers whose file already exists are passed over,
// so a dump never replaces one of an earlier run. Raises EInOutError when the file cannot be
// written; Counter is then left on the number that failed.
QString WriteRawDump(const QString& Prefix, int& Counter, const QByteArray& Bytes);
