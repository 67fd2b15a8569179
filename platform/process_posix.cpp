// The process on POSIX systems: the self-pipe behind TerminationSignals (the handler writes the
// signal's number, the notifier reads it on the main thread), the folder lock, the login name, the
// runtime folder and the owner of a local socket.
#include "process.h"

#include <platform/support/logfile.h>

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
struct sigaction g_previousTerm;
struct sigaction g_previousInt;

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request: losing this one changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void keepFreedMemory()
{
#ifdef __GLIBC__
    // Blocks below 32 MB come from the heap rather than from mappings of their own, and a free
    // top of the heap up to 64 MB is kept: the limits that the C library's own adjustment
    // reaches after the first large free, set from the start.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    // Small blocks are merged with their free neighbours as they are freed, rather than kept
    // apart for reuse and merged all at once by the next large request: a cache closed and
    // loaded again frees a hundred thousand texts and then asks for its large blocks, and that
    // merge alone was a tenth of a restore.
    mallopt(M_MXFAST, 0);
#endif
}

QString loginName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::geteuid());
}

FolderLock::FolderLock(const QString& folder)
{
    // The lock is taken on a file of the folder that only this user may open: a lock on the
    // folder itself could be taken by any account that can read the folder, and keep the program
    // out. The file means nothing by itself (a process killed earlier leaves it, unlocked). Where
    // it cannot be made (a folder this user may not write to) the folder itself is locked.
    const QByteArray file = QFile::encodeName(folder + QStringLiteral("/.quorvane.lock"));
    m_handle = ::open(file.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_handle < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        m_handle =
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_handle < 0) {
        m_error = QString::fromLocal8Bit(::strerror(errno));
        return;
    }
    if (::flock(m_handle, LOCK_EX | LOCK_NB) == 0) {
        m_state = State::Held;
        return;
    }
    const int code = errno;
    m_state = code == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    m_error = QString::fromLocal8Bit(::strerror(code));
    ::close(m_handle);
    m_handle = -1;
}

FolderLock::~FolderLock()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

QString privateRuntimeDir()
{
    const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
    struct stat st = {};
    if (dir.isEmpty() || ::stat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid() || (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return QString();
    return QFile::decodeName(dir);
}

LocalSocketPlace localSocketPlace(const QString& path)
{
    struct stat st = {};
    // The place itself, not what a link there points to: a link is nobody's socket.
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? LocalSocketPlace::Free : LocalSocketPlace::NotASocket;
    if (!S_ISSOCK(st.st_mode))
        return LocalSocketPlace::NotASocket;
    return st.st_uid == ::geteuid() ? LocalSocketPlace::ThisUsers : LocalSocketPlace::AnotherUsers;
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    Q_ASSERT_X(g_pipe[0] < 0, "TerminationSignals", "one instance at a time");
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        WriteToLog(QStringLiteral("! Termination signals are not watched: %1")
                       .arg(QString::fromLocal8Bit(::strerror(errno))));
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &g_previousTerm);
    ::sigaction(SIGINT, &action, &g_previousInt);
}

TerminationSignals::~TerminationSignals()
{
    if (g_pipe[0] < 0)
        return;
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        emit requested(byte);
}
