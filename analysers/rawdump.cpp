// Writing the numbered raw dumps of the capture drivers.
#include "rawdump.h"

#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>
#include <platform/support/paths.h>

#include <QFileInfo>

QString WriteRawDump(const QString& Prefix, int& Counter, const QByteArray& Bytes)
{
    const QString folder = AddBackslash(WorkPath) + QStringLiteral("com_buf/");
    const auto nameOf = [&](int n) {
        return folder + Prefix + QString::number(n) + QStringLiteral(".dat");
    };
    while (QFileInfo::exists(nameOf(Counter)))
        ++Counter;
    const QString file = nameOf(Counter);
    QString error;
    if (!fileops::writeFile(file, Bytes, &error))
        throw EInOutError(QStringLiteral("Cannot write the dump \"%1\": %2").arg(file, error));
    ++Counter;
    return file;
}
