// Windows file-system behaviours on Linux: the wildcard matcher, look-ups without regard to case,
// and the in-use checks built on file leases with their size-and-time fallback.
#include "files.h"

#include "exception.h"
#include "fileops.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace files {

// ---- wildcards -----------------------------------------------------------------------------

namespace {

// The pattern is first rewritten into these tokens, as Windows rewrites it for its file search.
enum class Token : char {
    Literal, // one character, compared after case folding
    Star,    // any run of characters
    DosStar, // "*" before a dot: any run that does not take the name's last dot
    DosQm,   // "?"
    DosDot,  // a dot before "*" or "?" or at the end: a dot, or the end of the name
};

struct PatternItem
{
    Token token;
    QChar ch;
};

std::vector<PatternItem> tokenize(const QString& pattern)
{
    const QString p = pattern.toCaseFolded();
    std::vector<PatternItem> items;
    items.reserve(size_t(p.size()));
    for (qsizetype i = 0; i < p.size(); ++i) {
        const QChar c = p[i];
        const QChar next = i + 1 < p.size() ? p[i + 1] : QChar();
        if (c == u'?')
            items.push_back({Token::DosQm, c});
        else if (c == u'*')
            items.push_back({next == u'.' ? Token::DosStar : Token::Star, c});
        else if (c == u'.' && (next.isNull() || next == u'*' || next == u'?'))
            items.push_back({Token::DosDot, c});
        else
            items.push_back({Token::Literal, c});
    }
    return items;
}

} // namespace

bool matchesWildcard(const QString& name, const QString& pattern)
{
    if (pattern.isEmpty())
        return false;
    const std::vector<PatternItem> items = tokenize(pattern);
    const QString text = name.toCaseFolded();
    const auto m = qsizetype(items.size());
    const qsizetype n = text.size();
    const qsizetype lastDot = text.lastIndexOf(u'.');

    // can[i][j]: the pattern from item i on matches the name from character j on. Filled from
    // the ends backwards, so every case looks only at cells already known.
    std::vector<char> can(size_t((m + 1) * (n + 1)), 0);
    const auto at = [&](qsizetype i, qsizetype j) -> char& { return can[size_t(i * (n + 1) + j)]; };
    at(m, n) = 1;
    for (qsizetype i = m - 1; i >= 0; --i) {
        for (qsizetype j = n; j >= 0; --j) {
            const bool more = j < n;
            bool ok = false;
            switch (items[size_t(i)].token) {
            case Token::Literal:
                ok = more && text[j] == items[size_t(i)].ch && at(i + 1, j + 1);
                break;
            case Token::Star:
                ok = at(i + 1, j) || (more && at(i, j + 1));
                break;
            case Token::DosStar:
                ok = at(i + 1, j) || (more && j != lastDot && at(i, j + 1));
                break;
            case Token::DosQm:
                if (more && text[j] != u'.') {
                    ok = at(i + 1, j + 1);
                } else {
                    // At a dot or the end, the whole run of "?" matches nothing.
                    qsizetype k = i + 1;
                    while (k < m && items[size_t(k)].token == Token::DosQm)
                        ++k;
                    ok = at(k, j);
                }
                break;
            case Token::DosDot:
                ok = more ? text[j] == u'.' && at(i + 1, j + 1) : bool(at(i + 1, j));
                break;
            }
            at(i, j) = ok;
        }
    }
    return at(0, 0);
}

namespace {

bool lessNoCase(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

} // namespace

QStringList matchingFiles(const QString& folder, const QString& pattern)
{
    if (folder.isEmpty())
        return {};
    QStringList names;
    const QStringList all = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& name : all) {
        if (!name.startsWith(u'.') && matchesWildcard(name, pattern))
            names.append(name);
    }
    std::sort(names.begin(), names.end(), lessNoCase);
    return names;
}

// ---- names in any case ---------------------------------------------------------------------

QString findNoCase(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return {};
    const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    QString current = folder;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool wantFile = i == parts.size() - 1;
        const QDir dir(current);
        const QFileInfo exact(dir.filePath(parts[i]));
        if (wantFile ? exact.isFile() : exact.isDir()) {
            current = exact.filePath();
            continue;
        }
        QStringList candidates = dir.entryList((wantFile ? QDir::Files : QDir::Dirs) |
                                               QDir::Hidden | QDir::NoDotAndDotDot);
        std::sort(candidates.begin(), candidates.end(), lessNoCase);
        const auto found =
            std::find_if(candidates.cbegin(), candidates.cend(), [&](const QString& c) {
                return c.compare(parts[i], Qt::CaseInsensitive) == 0;
            });
        if (found == candidates.cend())
            return {};
        current = dir.filePath(*found);
    }
    return current;
}

// ---- files in use --------------------------------------------------------------------------

namespace {

std::atomic<bool> leasesAvailable{true};

// A lease makes the kernel send SIGIO to its holder when another process opens the file, and
// SIGIO ends a process by default. Only the default is changed: a handler someone installed stays.
void ignoreLeaseSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current = {};
        if (::sigaction(SIGIO, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
            current.sa_handler == SIG_DFL)
            ::signal(SIGIO, SIG_IGN);
    });
}

enum class Lease { Granted, Refused, Unavailable };

// Asks for a lease of `type` on an open descriptor and gives it back at once.
Lease askLease(int fd, int type)
{
    if (!leasesAvailable.load())
        return Lease::Unavailable;
    ignoreLeaseSignal();
    if (::fcntl(fd, F_SETLEASE, type) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return Lease::Granted;
    }
    // EINVAL where the file system has no leases, EACCES for another user's file.
    return errno == EAGAIN ? Lease::Refused : Lease::Unavailable;
}

// The state of a file as the question starts.
enum class Opened {
    Missing,    // no such file
    Leased,     // another process holds a lease: it is using the file
    NotFile,    // a folder or a device
    Regular,    // a regular file, opened for reading
    Unreadable, // it exists but cannot be opened; only its size and time can be seen
};

// An open descriptor for the in-use questions, closed on scope exit.
class Probe
{
public:
    explicit Probe(const QByteArray& path)
    {
        // Non-blocking: opening a file under another holder's lease would otherwise wait until
        // that lease is broken.
        m_fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) {
            if (errno == EWOULDBLOCK)
                m_state = Opened::Leased;
            else if (errno == ENOENT || errno == ENOTDIR)
                m_state = Opened::Missing;
            else
                m_state = Opened::Unreadable;
            return;
        }
        struct stat st;
        m_state =
            ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) ? Opened::Regular : Opened::NotFile;
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    ~Probe() { close(); }

    Opened state() const { return m_state; }
    int fd() const { return m_fd; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    Opened m_state = Opened::Missing;
};

struct Snapshot
{
    bool exists = false;
    bool isFile = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
};

Snapshot snapshot(const QByteArray& path)
{
    Snapshot s;
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return s;
    s.exists = true;
    s.isFile = S_ISREG(st.st_mode);
    s.size = st.st_size;
    s.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

// True when the file changes (or goes) across a wait of `settleMs`.
bool changesWhileWatched(const QByteArray& path, int settleMs)
{
    const Snapshot before = snapshot(path);
    if (!before.exists)
        return false;
    QThread::msleep(ulong(qMax(0, settleMs)));
    const Snapshot after = snapshot(path);
    return !after.exists || after.size != before.size || after.modifiedNs != before.modifiedNs;
}

// True when another open of the file holds a lock on it: a whole-file lock (as our database
// engine takes) or a record lock (as SQLite and most Windows programs through Samba take).
bool lockedByOther(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return true;
    } else {
        ::flock(fd, LOCK_UN);
    }
    struct flock query = {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 0;
    // The open-file-description form sees this process's own record locks too.
    return ::fcntl(fd, F_OFD_GETLK, &query) == 0 && query.l_type != F_UNLCK;
}

// What opening the file and asking for a read lease tell: whether it is busy, or nothing when
// only its size and time can tell.
std::optional<bool> busyByReadLease(const QByteArray& path)
{
    const Probe probe(path);
    switch (probe.state()) {
    case Opened::Missing:
    case Opened::NotFile:
        return false;
    case Opened::Leased:
        return true;
    case Opened::Regular:
        switch (askLease(probe.fd(), F_RDLCK)) {
        case Lease::Granted:
            return false;
        case Lease::Refused:
            return true;
        case Lease::Unavailable:
            break;
        }
        break;
    case Opened::Unreadable:
        break;
    }
    return std::nullopt;
}

} // namespace

bool isBusy(const QString& text, int settleMs)
{
    const QByteArray path = QFile::encodeName(text);
    if (const std::optional<bool> busy = busyByReadLease(path))
        return *busy;
    const Snapshot s = snapshot(path);
    if (!s.exists || !s.isFile)
        return false;
    return changesWhileWatched(path, settleMs);
}

bool isFreeForExclusiveUse(const QString& text, int settleMs)
{
    const QByteArray path = QFile::encodeName(text);
    Probe probe(path);
    switch (probe.state()) {
    case Opened::Missing:
        return true;
    case Opened::Leased:
    case Opened::NotFile:
        return false;
    case Opened::Regular:
        switch (askLease(probe.fd(), F_WRLCK)) {
        case Lease::Granted:
            return true;
        case Lease::Refused:
            return false;
        case Lease::Unavailable:
            break;
        }
        if (lockedByOther(probe.fd()))
            return false;
        break;
    case Opened::Unreadable:
        // Another user's file we cannot even read: nothing tells who holds it.
        return false;
    }
    probe.close();
    return !changesWhileWatched(path, settleMs);
}

bool BusyWatch::isBusy(const fileops::NativePath& native)
{
    const QByteArray& path = native.bytes();
    if (const std::optional<bool> busy = busyByReadLease(path)) {
        m_seen.remove(path);
        return *busy;
    }
    const Snapshot s = snapshot(path);
    if (!s.exists || !s.isFile) {
        m_seen.remove(path);
        return false;
    }
    const Seen now{s.size, s.modifiedNs};
    const auto it = m_seen.find(path);
    if (it == m_seen.end()) {
        m_seen.insert(path, now);
        return true;
    }
    const bool changed = !(*it == now);
    *it = now;
    return changed;
}

void BusyWatch::forget(const fileops::NativePath& path)
{
    m_seen.remove(path.bytes());
}

void BusyWatch::clear()
{
    m_seen.clear();
}

// ---- paths ---------------------------------------------------------------------------------

QString nativePath(const QString& windowsPath)
{
    QString path = windowsPath;
    path.replace(u'\\', u'/');
    return path;
}

namespace testing {
void setLeasesAvailable(bool available)
{
    leasesAvailable.store(available);
}
} // namespace testing

QByteArray readWholeFile(const QString& path, const QString& what)
{
    const auto failed = [&](int e) {
        return EInOutError(
            QStringLiteral("%1 \"%2\" cannot be read: %3").arg(what, path, fileops::errorText(e)),
            e);
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw failed(errno);
    // Read straight into the result, sized by the file's length (a large dataset file is read
    // without being copied chunk by chunk); a file that grows meanwhile is read to its end.
    struct stat st;
    const qsizetype expected = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
    // One byte more than expected, so that the read which finds the end needs no more room.
    QByteArray data(qMax(expected + 1, qsizetype(64 * 1024)), Qt::Uninitialized);
    qsizetype size = 0;
    for (;;) {
        if (size == data.size())
            data.resize(size * 2);
        const ssize_t n = ::read(fd, data.data() + size, size_t(data.size() - size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            throw failed(e);
        }
        if (n == 0)
            break;
        size += n;
    }
    ::close(fd);
    data.truncate(size);
    return data;
}

} // namespace files
