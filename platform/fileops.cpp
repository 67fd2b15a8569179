// The file operations seam on POSIX calls: whole-file writes through a temporary file, appends,
// renames, moves that cross file systems, copies and removals, and the failures that tests plan.
#include "fileops.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QRandomGenerator>

#include <array>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileops {
namespace {

// ---- planned failures ----------------------------------------------------------------------

struct PlannedFault
{
    qint64 call; // the call number of its kind that fails
    int errnum;
};

struct FaultPlan
{
    QMutex mutex;
    std::array<qint64, 7> calls{};
    std::array<QList<PlannedFault>, 7> pending;
};

FaultPlan& faultPlan()
{
    static FaultPlan plan;
    return plan;
}

// Counts one call of kind `op`; returns the error number it must fail with, 0 to go on.
int plannedFailure(Op op)
{
    FaultPlan& plan = faultPlan();
    const QMutexLocker lock(&plan.mutex);
    const auto kind = size_t(op);
    const qint64 call = ++plan.calls[kind];
    QList<PlannedFault>& faults = plan.pending[kind];
    for (qsizetype i = 0; i < faults.size(); ++i) {
        if (faults[i].call == call) {
            const int errnum = faults[i].errnum;
            faults.removeAt(i);
            return errnum;
        }
    }
    return 0;
}

// ---- helpers -------------------------------------------------------------------------------

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

QString quoted(const QString& path)
{
    return u'"' + path + u'"';
}

bool fail(QString* error, const QString& what, int errnum)
{
    if (error)
        *error = what + QStringLiteral(": ") + errorText(errnum);
    return false;
}

QString cannot(const char* verb, const QString& path)
{
    return QStringLiteral("cannot %1 %2").arg(QLatin1String(verb), quoted(path));
}

QString cannot(const char* verb, const QString& from, const QString& to)
{
    return QStringLiteral("cannot %1 %2 to %3").arg(QLatin1String(verb), quoted(from), quoted(to));
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).path();
}

// Writes every byte, resuming after interruptions and short writes. Returns 0 or the error
// number; *written receives the number of bytes that did reach the file.
int writeAll(int fd, const char* data, qint64 size, qint64* written = nullptr)
{
    qint64 done = 0;
    int result = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result = errno;
            break;
        }
        done += n;
    }
    if (written)
        *written = done;
    return result;
}

// Flushes a folder's entries, so that a rename or a new file survives a power cut. Not every
// file system can do this; the data itself was flushed before, so a failure here is let go.
void syncFolder(const QString& folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A file being written under a temporary name beside its final place. It is removed again unless
// release() is called once it has been renamed to its final name.
class TempFile
{
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }

    // Creates the file in `folder`, its name built from `finalName`; the name starts with a dot
    // so that folder listings leave it alone. Returns 0 or the error number.
    int create(const QString& folder, const QString& finalName)
    {
        // Keep the name well under the usual limit of 255 bytes.
        QString stem = finalName.left(48);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
        static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            QString tag;
            for (int i = 0; i < 8; ++i)
                tag += QLatin1Char(letters[QRandomGenerator::global()->bounded(36)]);
            const QByteArray path =
                encoded(folder + QStringLiteral("/.") + stem + u'.' + tag + QStringLiteral(".tmp"));
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                m_fd = fd;
                m_path = path;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    int fd() const { return m_fd; }
    const QByteArray& path() const { return m_path; }

    // Closes the descriptor; returns 0 or the error number (some file systems report a failed
    // write only here).
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

    void release() { m_path.clear(); }

private:
    int m_fd = -1;
    QByteArray m_path;
};

// Copies `from` to a temporary file beside `to`, with the source's permissions and times, flushed
// to the disk unless `flush` says later. `verb` names the operation in the error text.
bool copyToTemp(const char* verb, const QString& from, const QString& to, TempFile& temp,
                QString* error, Flush flush = Flush::Now)
{
    const int in = ::open(encoded(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(error, cannot(verb, from, to), errno);
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};

    struct stat st;
    if (::fstat(in, &st) != 0)
        return fail(error, cannot(verb, from, to), errno);
    if (!S_ISREG(st.st_mode))
        return fail(error, cannot(verb, from, to), S_ISDIR(st.st_mode) ? EISDIR : EINVAL);

    if (const int e = temp.create(folderOf(to), QFileInfo(to).fileName()))
        return fail(error, cannot(verb, from, to), e);

    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), size_t(buffer.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(error, cannot(verb, from, to), errno);
        }
        if (n == 0)
            break;
        if (const int e = writeAll(temp.fd(), buffer.constData(), n))
            return fail(error, cannot(verb, from, to), e);
    }

    ::fchmod(temp.fd(), st.st_mode & 0777);
    // After the last write, which would set the time again.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(temp.fd(), times) != 0)
        return fail(error, cannot(verb, from, to), errno);
    if (flush == Flush::Now && ::fsync(temp.fd()) != 0)
        return fail(error, cannot(verb, from, to), errno);
    if (const int e = temp.close())
        return fail(error, cannot(verb, from, to), e);
    return true;
}

} // namespace

// ---- operations ----------------------------------------------------------------------------

bool writeFile(const QString& path, const QByteArray& data, QString* error)
{
    if (const int e = plannedFailure(Op::Write))
        return fail(error, cannot("write", path), e);

    // Replacing a symbolic link with a plain file would cut it from what it points to.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString resolved = info.canonicalFilePath();
        target = resolved.isEmpty() ? info.symLinkTarget() : resolved;
    }
    const QString folder = folderOf(target);

    struct stat old;
    const bool replacing = ::stat(encoded(target).constData(), &old) == 0 && S_ISREG(old.st_mode);

    TempFile temp;
    if (const int e = temp.create(folder, QFileInfo(target).fileName()))
        return fail(error, cannot("write", path), e);
    if (const int e = writeAll(temp.fd(), data.constData(), data.size()))
        return fail(error, cannot("write", path), e);
    if (replacing)
        ::fchmod(temp.fd(), old.st_mode & 07777);
    if (::fsync(temp.fd()) != 0)
        return fail(error, cannot("write", path), errno);
    if (const int e = temp.close())
        return fail(error, cannot("write", path), e);
    if (::rename(temp.path().constData(), encoded(target).constData()) != 0)
        return fail(error, cannot("write", path), errno);
    temp.release();
    syncFolder(folder);
    return true;
}

bool appendFile(const QString& path, const QByteArray& data, QString* error)
{
    if (const int e = plannedFailure(Op::Append))
        return fail(error, cannot("append to", path), e);

    const int fd =
        ::open(encoded(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(error, cannot("append to", path), errno);
    struct stat before;
    const bool sized = ::fstat(fd, &before) == 0;
    qint64 written = 0;
    const int e = writeAll(fd, data.constData(), data.size(), &written);
    if (e) {
        // Take back a partial line, unless someone else appended in the meantime.
        struct stat after;
        if (sized && written > 0 && ::fstat(fd, &after) == 0 &&
            after.st_size == before.st_size + written) {
            if (::ftruncate(fd, before.st_size) != 0) {
                // The partial line stays; the failure is reported below all the same.
            }
        }
        ::close(fd);
        return fail(error, cannot("append to", path), e);
    }
    if (::close(fd) != 0 && errno != EINTR)
        return fail(error, cannot("append to", path), errno);
    return true;
}

bool rename(const QString& from, const QString& to, QString* error)
{
    if (const int e = plannedFailure(Op::Rename))
        return fail(error, cannot("rename", from, to), e);
    if (::rename(encoded(from).constData(), encoded(to).constData()) != 0)
        return fail(error, cannot("rename", from, to), errno);
    return true;
}

bool move(const QString& from, const QString& to, QString* error)
{
    if (const int e = plannedFailure(Op::Move))
        return fail(error, cannot("move", from, to), e);
    const QByteArray source = encoded(from);
    const QByteArray target = encoded(to);
    if (::rename(source.constData(), target.constData()) == 0)
        return true;
    if (errno != EXDEV)
        return fail(error, cannot("move", from, to), errno);

    // Across file systems. The source must be removable at the end, or the file would be left
    // in both places: check that before copying anything.
    if (::faccessat(AT_FDCWD, encoded(folderOf(from)).constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return fail(error, cannot("move", from, to), errno);

    TempFile temp;
    if (!copyToTemp("move", from, to, temp, error))
        return false;
    if (::rename(temp.path().constData(), target.constData()) != 0)
        return fail(error, cannot("move", from, to), errno);
    temp.release();
    syncFolder(folderOf(to));

    if (::unlink(source.constData()) != 0) {
        const int e = errno;
        // The copy goes again: a file in two places would be taken twice.
        ::unlink(target.constData());
        return fail(error, cannot("move", from, to), e);
    }
    return true;
}

bool copy(const QString& from, const QString& to, QString* error, Flush flush)
{
    if (const int e = plannedFailure(Op::Copy))
        return fail(error, cannot("copy", from, to), e);
    TempFile temp;
    if (!copyToTemp("copy", from, to, temp, error, flush))
        return false;
    if (::rename(temp.path().constData(), encoded(to).constData()) != 0)
        return fail(error, cannot("copy", from, to), errno);
    temp.release();
    if (flush == Flush::Now)
        syncFolder(folderOf(to));
    return true;
}

bool remove(const QString& path, QString* error)
{
    if (const int e = plannedFailure(Op::Remove))
        return fail(error, cannot("remove", path), e);
    if (::unlink(encoded(path).constData()) != 0)
        return fail(error, cannot("remove", path), errno);
    return true;
}

bool flushToDisk(const QString& path, QString* error)
{
    if (const int e = plannedFailure(Op::Flush))
        return fail(error, cannot("flush", path), e);
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, cannot("flush", path), errno);
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (result != 0)
        return fail(error, cannot("flush", path), result);
    syncFolder(folderOf(path));
    return true;
}

QString errorText(int errnum)
{
    switch (errnum) {
    case ENOENT:
        return QStringLiteral("the file or folder does not exist");
    case ENOTDIR:
        return QStringLiteral("a part of the path is not a folder");
    case EISDIR:
        return QStringLiteral("it is a folder");
    case EEXIST:
        return QStringLiteral("it already exists");
    case ENOTEMPTY:
        return QStringLiteral("the folder is not empty");
    case EACCES:
    case EPERM:
        return QStringLiteral("access is denied");
    case EROFS:
        return QStringLiteral("the file system is read-only");
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case EDQUOT:
        return QStringLiteral("the disk quota is exceeded");
    case EIO:
        return QStringLiteral("an input/output error occurred");
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
        return QStringLiteral("the file is in use");
    case EXDEV:
        return QStringLiteral("the paths are on different file systems");
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("too many files are open");
    case ELOOP:
        return QStringLiteral("too many levels of symbolic links");
    case EFBIG:
        return QStringLiteral("the file is too large");
    case ESTALE:
        return QStringLiteral("the network file handle is no longer valid");
    case EINVAL:
        return QStringLiteral("the operation is not possible on this file");
    default: {
        char buffer[256];
        // The GNU form: returns the text, in the buffer or a static one.
        const char* text = ::strerror_r(errnum, buffer, sizeof buffer);
        return QStringLiteral("%1 (error %2)").arg(QString::fromLocal8Bit(text)).arg(errnum);
    }
    }
}

void failNth(Op op, int n, int errnum)
{
    Q_ASSERT(errnum != 0);
    if (n <= 0)
        return;
    FaultPlan& plan = faultPlan();
    const QMutexLocker lock(&plan.mutex);
    const auto kind = size_t(op);
    plan.pending[kind].append(PlannedFault{plan.calls[kind] + n, errnum});
}

void resetFaults()
{
    FaultPlan& plan = faultPlan();
    const QMutexLocker lock(&plan.mutex);
    for (auto& faults : plan.pending)
        faults.clear();
}

} // namespace fileops
