// Table locks on POSIX systems: flock on the table's lock file. Each TableLock opens the file
// itself, so that two datasets of one process exclude each other as two processes do.
#include "tablelock.h"

#include <platform/db/driver.h>
#include <platform/fileops.h>
#include <platform/uitexts.h>

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString TableLock::lockFileName(const QString& databaseFile, const QString& tableName)
{
    // One spelling for every way the program writes a table's name ("Package.DB", "PACKAGE.DB").
    QString name = tableName.toLower();
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return databaseFile + QLatin1Char('.') + name + QStringLiteral(".lck");
}

void TableLock::acquire(const QString& lockFile, bool exclusive, const QString& tableName)
{
    release();
    const QByteArray path = QFile::encodeName(lockFile);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw EngineError(
            EngineCode::CannotOpen,
            uiText(UiText::CannotOpenLockFile).arg(lockFile, fileops::errorText(errno)), errno);
    int rc;
    do {
        rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            throw EngineError(EngineCode::Locked, uiText(UiText::TableInUse).arg(tableName));
        throw EngineError(EngineCode::IoError,
                          uiText(UiText::CannotLockTable).arg(tableName, fileops::errorText(err)),
                          err);
    }
    m_fd = fd;
    m_exclusive = exclusive;
}

void TableLock::release()
{
    if (m_fd < 0)
        return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
    m_exclusive = false;
}
