// The file operations seam on POSIX calls: whole-file writes through a temporary file, appends,
// renames, moves that cross file systems, copies and removals, and the failures that tests plan.
#include "fileops.h"

#include "codepage.h"
#include "uitexts.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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
    static constexpr size_t Kinds = size_t(Op::Publish) + 1;
    std::array<qint64, Kinds> calls{};
    std::array<QList<PlannedFault>, Kinds> pending;
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

QString cannot(UiText what, const QString& path)
{
    return uiText(what).arg(quoted(path));
}

QString cannot(UiText what, const NativePath& path)
{
    return cannot(what, path.text());
}

QString cannot(UiText what, const NativePath& from, const NativePath& to)
{
    return uiText(what).arg(quoted(from.text()), quoted(to.text()));
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
void syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    int create(const QByteArray& folder, const QByteArray& finalName)
    {
        // Keep the name well under the usual limit of 255 bytes, cut before a character's
        // continuation bytes.
        qsizetype cut = qMin<qsizetype>(finalName.size(), 48);
        while (cut > 0 && cut < finalName.size() && (uchar(finalName.at(cut)) & 0xC0) == 0x80)
            --cut;
        const QByteArray stem = finalName.left(cut);
        static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray tag;
            for (int i = 0; i < 8; ++i)
                tag += letters[QRandomGenerator::global()->bounded(36)];
            const QByteArray path = folder + "/." + stem + '.' + tag + ".tmp";
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
    // Hands the open descriptor over to the caller, who closes it.
    int takeFd() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
    QByteArray m_path;
};

// Copies `from` to a temporary file beside `to`, with the source's permissions and times, flushed
// to the disk unless `flush` says later. `verb` names the operation in the error text.
bool copyToTemp(UiText verb, const NativePath& from, const NativePath& to, TempFile& temp,
                QString* error, Flush flush = Flush::Now)
{
    const int in = ::open(from.bytes().constData(), O_RDONLY | O_CLOEXEC);
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

    if (const int e = temp.create(to.folder().bytes(), to.leaf()))
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

// ---- native paths --------------------------------------------------------------------------

NativePath::NativePath(const QString& path) : m_bytes(encoded(path))
{
}

QString NativePath::text() const
{
    // Plain ASCII reads the same in every encoding.
    if (std::all_of(m_bytes.cbegin(), m_bytes.cend(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(m_bytes);
    QStringList parts;
    for (const QByteArray& part : m_bytes.split('/')) {
        const QString decoded = QFile::decodeName(part);
        // A part that does not survive the round trip is not in the file names' encoding.
        parts.append(QFile::encodeName(decoded) == part ? decoded : codepage::fromAnsi(part));
    }
    return parts.join(u'/');
}

NativePath NativePath::folder() const
{
    const qsizetype slash = m_bytes.lastIndexOf('/');
    if (slash < 0)
        return NativePath(QByteArray("."));
    return NativePath(slash == 0 ? QByteArray("/") : m_bytes.left(slash));
}

QByteArray NativePath::leaf() const
{
    return m_bytes.mid(m_bytes.lastIndexOf('/') + 1);
}

NativePath NativePath::operator/(const QByteArray& leaf) const
{
    return NativePath(m_bytes.endsWith('/') ? m_bytes + leaf : m_bytes + '/' + leaf);
}

bool exists(const NativePath& path)
{
    struct stat st;
    return ::lstat(path.bytes().constData(), &st) == 0;
}

bool isSymLink(const NativePath& path)
{
    struct stat st;
    return ::lstat(path.bytes().constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool isReadable(const NativePath& path)
{
    return ::access(path.bytes().constData(), R_OK) == 0;
}

bool openRegular(const NativePath& path, Links links, QFile& file)
{
    const bool follow = links == Links::Follow;
    struct stat st;
    const char* name = path.bytes().constData();
    if ((follow ? ::stat(name, &st) : ::lstat(name, &st)) != 0 || !S_ISREG(st.st_mode))
        return false;
    // Something else may have taken the name since: it is looked at again once open.
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return false;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

// ---- operations ----------------------------------------------------------------------------

bool writeFile(const QString& path, const QByteArray& data, QString* error)
{
    if (const int e = plannedFailure(Op::Write))
        return fail(error, cannot(UiText::CannotWrite, path), e);

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
    if (const int e = temp.create(encoded(folder), encoded(QFileInfo(target).fileName())))
        return fail(error, cannot(UiText::CannotWrite, path), e);
    if (const int e = writeAll(temp.fd(), data.constData(), data.size()))
        return fail(error, cannot(UiText::CannotWrite, path), e);
    if (replacing)
        ::fchmod(temp.fd(), old.st_mode & 07777);
    if (::fsync(temp.fd()) != 0)
        return fail(error, cannot(UiText::CannotWrite, path), errno);
    if (const int e = temp.close())
        return fail(error, cannot(UiText::CannotWrite, path), e);
    if (::rename(temp.path().constData(), encoded(target).constData()) != 0)
        return fail(error, cannot(UiText::CannotWrite, path), errno);
    temp.release();
    syncFolder(encoded(folder));
    return true;
}

bool appendFile(const QString& path, const QByteArray& data, QString* error)
{
    if (const int e = plannedFailure(Op::Append))
        return fail(error, cannot(UiText::CannotAppend, path), e);

    const int fd =
        ::open(encoded(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(error, cannot(UiText::CannotAppend, path), errno);
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
        return fail(error, cannot(UiText::CannotAppend, path), e);
    }
    if (::close(fd) != 0 && errno != EINTR)
        return fail(error, cannot(UiText::CannotAppend, path), errno);
    return true;
}

bool rename(const NativePath& from, const NativePath& to, QString* error)
{
    if (const int e = plannedFailure(Op::Rename))
        return fail(error, cannot(UiText::CannotRename, from, to), e);
    if (::rename(from.bytes().constData(), to.bytes().constData()) != 0)
        return fail(error, cannot(UiText::CannotRename, from, to), errno);
    return true;
}

bool publish(const NativePath& from, const NativePath& to, QString* error)
{
    if (const int e = plannedFailure(Op::Publish))
        return fail(error, cannot(UiText::CannotRename, from, to), e);
    const char* source = from.bytes().constData();
    const char* target = to.bytes().constData();
    if (::renameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return fail(error, cannot(UiText::CannotRename, from, to), errno);
    // A file system without the flag: a second name fails as well when it is taken.
    if (::link(source, target) != 0)
        return fail(error, cannot(UiText::CannotRename, from, to), errno);
    if (::unlink(source) != 0) {
        const int e = errno;
        ::unlink(target);
        return fail(error, cannot(UiText::CannotRename, from, to), e);
    }
    return true;
}

bool move(const NativePath& from, const NativePath& to, QString* error)
{
    if (const int e = plannedFailure(Op::Move))
        return fail(error, cannot(UiText::CannotMove, from, to), e);
    const QByteArray& source = from.bytes();
    const QByteArray& target = to.bytes();
    if (::rename(source.constData(), target.constData()) == 0)
        return true;
    if (errno != EXDEV)
        return fail(error, cannot(UiText::CannotMove, from, to), errno);

    // Across file systems. The source must be removable at the end, or the file would be left
    // in both places: check that before copying anything.
    if (::faccessat(AT_FDCWD, from.folder().bytes().constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return fail(error, cannot(UiText::CannotMove, from, to), errno);

    TempFile temp;
    if (!copyToTemp(UiText::CannotMove, from, to, temp, error))
        return false;
    if (::rename(temp.path().constData(), target.constData()) != 0)
        return fail(error, cannot(UiText::CannotMove, from, to), errno);
    temp.release();
    syncFolder(to.folder().bytes());

    if (::unlink(source.constData()) != 0) {
        const int e = errno;
        // The copy goes again: a file in two places would be taken twice.
        ::unlink(target.constData());
        return fail(error, cannot(UiText::CannotMove, from, to), e);
    }
    return true;
}

bool copy(const NativePath& from, const NativePath& to, QString* error, Flush flush)
{
    if (const int e = plannedFailure(Op::Copy))
        return fail(error, cannot(UiText::CannotCopy, from, to), e);
    TempFile temp;
    if (!copyToTemp(UiText::CannotCopy, from, to, temp, error, flush))
        return false;
    if (::rename(temp.path().constData(), to.bytes().constData()) != 0)
        return fail(error, cannot(UiText::CannotCopy, from, to), errno);
    temp.release();
    if (flush == Flush::Now)
        syncFolder(to.folder().bytes());
    return true;
}

bool remove(const NativePath& path, QString* error)
{
    if (const int e = plannedFailure(Op::Remove))
        return fail(error, cannot(UiText::CannotRemove, path), e);
    if (::unlink(path.bytes().constData()) != 0)
        return fail(error, cannot(UiText::CannotRemove, path), errno);
    return true;
}

bool flushBytes(const NativePath& path, QString* error)
{
    if (const int e = plannedFailure(Op::Flush))
        return fail(error, cannot(UiText::CannotFlush, path), e);
    const int fd = ::open(path.bytes().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, cannot(UiText::CannotFlush, path), errno);
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (result != 0)
        return fail(error, cannot(UiText::CannotFlush, path), result);
    return true;
}

void flushFolder(const NativePath& folder)
{
    syncFolder(folder.bytes());
}

bool flushToDisk(const NativePath& path, QString* error)
{
    if (!flushBytes(path, error))
        return false;
    flushFolder(path.folder());
    return true;
}

// ---- a file written piece by piece ---------------------------------------------------------

namespace {
constexpr qsizetype WriterBuffer = 256 * 1024;
}

FileWriter::FileWriter(const QString& path) : m_path(path)
{
}

FileWriter::~FileWriter()
{
    discard();
}

bool FileWriter::open(QString* error)
{
    discard();
    TempFile temp;
    if (const int e = temp.create(encoded(folderOf(m_path)), encoded(QFileInfo(m_path).fileName())))
        return fail(error, cannot(UiText::CannotWrite, m_path), e);
    m_tempPath = temp.path();
    m_fd = temp.takeFd();
    temp.release();
    m_buffer.reserve(WriterBuffer);
    m_size = 0;
    return true;
}

bool FileWriter::flushBuffer(QString* error)
{
    if (m_buffer.isEmpty())
        return true;
    const int e = writeAll(m_fd, m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    if (e)
        return fail(error, cannot(UiText::CannotWrite, m_path), e);
    return true;
}

bool FileWriter::write(const char* data, qint64 size, QString* error)
{
    if (m_fd < 0)
        return fail(error, cannot(UiText::CannotWrite, m_path), EBADF);
    if (const int e = plannedFailure(Op::Write))
        return fail(error, cannot(UiText::CannotWrite, m_path), e);
    if (m_buffer.size() + size <= WriterBuffer) {
        m_buffer.append(data, size);
    } else {
        if (!flushBuffer(error))
            return false;
        if (size >= WriterBuffer) {
            if (const int e = writeAll(m_fd, data, size))
                return fail(error, cannot(UiText::CannotWrite, m_path), e);
        } else {
            m_buffer.append(data, size);
        }
    }
    m_size += size;
    return true;
}

bool FileWriter::commit(QString* error)
{
    if (m_fd < 0)
        return fail(error, cannot(UiText::CannotWrite, m_path), EBADF);
    if (!flushBuffer(error))
        return false;
    if (const int e = plannedFailure(Op::Flush))
        return fail(error, cannot(UiText::CannotFlush, m_path), e);
    if (::fsync(m_fd) != 0)
        return fail(error, cannot(UiText::CannotFlush, m_path), errno);
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0 && errno != EINTR)
        return fail(error, cannot(UiText::CannotWrite, m_path), errno);
    if (const int e = plannedFailure(Op::Rename))
        return fail(error, cannot(UiText::CannotWrite, m_path), e);
    if (::rename(m_tempPath.constData(), encoded(m_path).constData()) != 0)
        return fail(error, cannot(UiText::CannotWrite, m_path), errno);
    m_tempPath.clear();
    syncFolder(encoded(folderOf(m_path)));
    return true;
}

void FileWriter::discard()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_tempPath.isEmpty())
        ::unlink(std::exchange(m_tempPath, QByteArray()).constData());
    m_buffer.clear();
}

QString errorText(int errnum)
{
    switch (errnum) {
    case ENOENT:
        return uiText(UiText::NoSuchFile);
    case ENOTDIR:
        return uiText(UiText::NotAFolder);
    case EISDIR:
        return uiText(UiText::IsAFolder);
    case EEXIST:
        return uiText(UiText::AlreadyExists);
    case ENOTEMPTY:
        return uiText(UiText::FolderNotEmpty);
    case EACCES:
    case EPERM:
        return uiText(UiText::AccessDenied);
    case EROFS:
        return uiText(UiText::ReadOnlyFileSystem);
    case ENOSPC:
        return uiText(UiText::DiskFull);
    case EDQUOT:
        return uiText(UiText::QuotaExceeded);
    case EIO:
        return uiText(UiText::InputOutputError);
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
        return uiText(UiText::FileInUse);
    case EXDEV:
        return uiText(UiText::DifferentFileSystems);
    case ENAMETOOLONG:
        return uiText(UiText::NameTooLong);
    case EMFILE:
    case ENFILE:
        return uiText(UiText::TooManyOpenFiles);
    case ELOOP:
        return uiText(UiText::TooManyLinks);
    case EFBIG:
        return uiText(UiText::FileTooLarge);
    case ESTALE:
        return uiText(UiText::StaleNetworkHandle);
    case EINVAL:
        return uiText(UiText::NotPossibleOnFile);
    default: {
        char buffer[256];
        // The GNU form: returns the text, in the buffer or a static one.
        const char* text = ::strerror_r(errnum, buffer, sizeof buffer);
        return uiText(UiText::SystemError).arg(QString::fromLocal8Bit(text)).arg(errnum);
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
