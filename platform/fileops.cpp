// File operations seam.
// (First cut: plain Qt calls; fault injection and cross-device moves follow.)
#include "fileops.h"

#include <QFile>
#include <QSaveFile>

namespace fileops {

bool writeFile(const QString& path, const QByteArray& data, QString* error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

bool appendFile(const QString& path, const QByteArray& data, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::Append) || f.write(data) != data.size()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

bool rename(const QString& from, const QString& to, QString* error)
{
    QFile::remove(to);
    if (!QFile::rename(from, to)) {
        if (error)
            *error = QStringLiteral("cannot rename %1 to %2").arg(from, to);
        return false;
    }
    return true;
}

bool move(const QString& from, const QString& to, QString* error) { return rename(from, to, error); }

bool copy(const QString& from, const QString& to, QString* error)
{
    QFile::remove(to);
    if (!QFile::copy(from, to)) {
        if (error)
            *error = QStringLiteral("cannot copy %1 to %2").arg(from, to);
        return false;
    }
    return true;
}

bool remove(const QString& path, QString* error)
{
    if (!QFile::remove(path)) {
        if (error)
            *error = QStringLiteral("cannot remove %1").arg(path);
        return false;
    }
    return true;
}

void failNth(Op, int) {}
void resetFaults() {}

} // namespace fileops
