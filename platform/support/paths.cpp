// Folder names and the checks for files that other programs may still hold, as the workstation
// calls them everywhere.
#include "paths.h"

#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/uitexts.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <sys/stat.h>

namespace {

// Lets the program's timers and ports run for `ms` milliseconds.
void processEventsFor(int ms)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        QThread::msleep(ulong(ms));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

QString AddBackslash(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

bool CheckDirectory(const QString& folder, bool create)
{
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return true;
    if (!create)
        return false;
    if (folder.isEmpty())
        throw EInOutError(uiText(UiText::NoFolderName), ENOENT);
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0) {
        const int e = errno;
        // Another program may have created it in the meantime.
        if (e == EEXIST && QFileInfo(folder).isDir())
            return true;
        throw EInOutError(uiText(UiText::CannotCreateFolder).arg(folder, fileops::errorText(e)), e);
    }
    return true;
}

bool IsFileFree(const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return true;
    if (!files::isFreeForExclusiveUse(fileName))
        return false;
    if (fileops::remove(fileName))
        return true;
    // Deleted by someone else in the meantime: free all the same.
    return !QFileInfo::exists(fileName);
}

bool WaitFileFree(const QString& fileName, int timeoutMs)
{
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    for (;;) {
        if (files::isFreeForExclusiveUse(fileName))
            return true;
        if (deadline.hasExpired())
            return false;
        processEventsFor(int(qMin<qint64>(50, deadline.remainingTime())));
    }
}
