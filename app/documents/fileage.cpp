// The packed 32-bit file time of the local tables, and the age of a file in that form.
#include "fileage.h"

#include <QFileInfo>

int PackFileTime(const QDateTime& local)
{
    if (!local.isValid())
        return -1;
    const QDateTime t = local.toLocalTime();
    const QDate d = t.date();
    if (d.year() < 1980)
        return (1 << 5 | 1) << 16;
    if (d.year() > 2107)
        return int((quint32(127) << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) |
                   29u);
    const QTime tm = t.time();
    const quint32 date = quint32(d.year() - 1980) << 9 | quint32(d.month()) << 5 | quint32(d.day());
    const quint32 time =
        quint32(tm.hour()) << 11 | quint32(tm.minute()) << 5 | quint32(tm.second() / 2);
    return int(date << 16 | time);
}

int FileAge(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return -1;
    return PackFileTime(info.lastModified());
}
