// Table locks on POSIX systems: flock on the table's lock file. Each TableLock opens the file
// itself, so that two datasets of one process exclude each other as two processes do.
#include "tablelock.h"

#include <platform/db/driver.h>

#include <QFileInfo>

#include <cerrno>
#include <cstring>
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
        throw EngineError(EngineCode::CannotOpen,
                          QStringLiteral("Cannot open the lock file %1: %2")
                              .arg(lockFile, QString::fromLocal8Bit(std::strerror(errno))),
                          errno);
    int rc;
    do {
        rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            throw EngineError(
                EngineCode::Locked,
                QStringLiteral("Table is busy: %1 is in use by another user").arg(tableName));
        throw EngineError(EngineCode::IoError,
                          QStringLiteral("Cannot lock table %1: %2")
                              .arg(tableName, QString::fromLocal8Bit(std::strerror(err))),
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
