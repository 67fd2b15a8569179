// Stand-ins for what the program expects of the Windows file system: wildcard patterns with the
// Windows rules, finding a file whatever the case of its name, telling whether another program
// still writes a file or holds it at all, and paths written on Windows.
#pragma once

#include <platform/fileops.h>

#include <QHash>
#include <QString>
#include <QStringList>

namespace files {

// ---- wildcards -----------------------------------------------------------------------------
//
// A file name matches a pattern by the rules of Windows' own file search:
// - letters compare without regard to case ("*.txt" matches "A.TXT");
// - "*" matches any run of characters, dots included, or none; "*" alone and "*.*" match every
//   name, names without a dot included ("*.*" matches "README");
// - "*" followed by a dot stops at the last dot of the name: "*.txt" matches "a.b.txt" and
//   ".txt"; "*." matches exactly the names without a dot ("README", not "a.txt");
// - "?" matches one character other than a dot; a run of "?" that meets a dot or the end of the
//   name may match fewer characters: "a?c" matches "abc" but neither "ac" nor "a.c", "???.txt"
//   matches "ab.txt", "file.??" matches "file.c";
// - a dot followed by "*" or "?", or a dot ending the pattern, also matches the end of a name
//   that has no dot: "abc.*" and "abc." match "abc";
// - an empty pattern matches nothing.
// Windows' short 8.3 names do not exist here and take no part.
bool matchesWildcard(const QString& name, const QString& pattern);

// The names (not paths) of the files in `folder` that match `pattern`, sorted without regard to
// case. Folders are left out, and so are names starting with a dot: on this system those are
// hidden or temporary files, such as the ones fileops writes before renaming them. A missing
// folder gives an empty list.
QStringList matchingFiles(const QString& folder, const QString& pattern);

// ---- names in any case ---------------------------------------------------------------------

// The real path of the file `name` in `folder`, its name compared without regard to case
// ("tressoly.ver" finds "TRESSOLY.VER"); empty when there is none. `name` may hold "/" between
// sub-folder names, each of which is found the same way. When several names differ only in
// case, the exact spelling wins, otherwise the first in sorted order.
QString findNoCase(const QString& folder, const QString& name);

// ---- files in use --------------------------------------------------------------------------
//
// The kernel tells through leases: a read lease cannot be taken while another process has the
// file open for writing, a write lease while anybody else has it open at all. A lease is held only
// for the moment of the question. Where leases are not available (network file systems, or a file
// of another user when the program is not root), the answer comes from the file's size and
// modification time instead: a file that changes is being written. That fallback cannot see a
// program that holds a file open without writing to it, except through the locks it holds.
//
// Taking a lease makes the kernel signal the holder (SIGIO) when another process opens the file;
// the first question therefore sets SIGIO to be ignored, unless the program handles it already.
// A process's own open descriptors count like any other's.

// True when another process has the file open for writing. Without leases: true when the size or
// the time changes across a wait of `settleMs` (the calling thread sleeps). A missing file or a
// folder is not busy.
bool isBusy(const QString& path, int settleMs = 250);

// True when nobody else has the file open at all, so it may be taken, replaced or deleted. Without
// leases: true when no other process holds a lock on it and its size and time stay the same across
// a wait of `settleMs`. A missing file is free; a folder, or a file this program may not even
// read, is not.
bool isFreeForExclusiveUse(const QString& path, int settleMs = 250);

// The polling form of isBusy() for sources that look at their files on every tick: where leases
// are not available, it compares each file's size and time with those it saw on the previous
// tick, and a file seen for the first time counts as busy until the next one.
class BusyWatch
{
public:
    bool isBusy(const fileops::NativePath& path);
    // Drops what is remembered about a file (once it has been taken or is gone).
    void forget(const fileops::NativePath& path);
    void clear();

private:
    struct Seen
    {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const Seen&) const = default;
    };
    QHash<QByteArray, Seen> m_seen;
};

// ---- paths ---------------------------------------------------------------------------------

// Converts a path read from a file written on Windows: every "\" becomes "/"; a drive letter
// prefix is kept as it is ("C:\Data\a.pdf" gives "C:/Data/a.pdf", "\\srv\share\a" gives
// "//srv/share/a"). Mapping a drive to a folder of this system is the caller's business.
QString nativePath(const QString& windowsPath);

// ---- test control --------------------------------------------------------------------------

namespace testing {
// Makes every lease question answer "not available", so the fallbacks can be exercised on a file
// system that has leases. True restores the normal behaviour.
void setLeasesAvailable(bool available);
} // namespace testing

// The whole content of a file. A file that cannot be read raises EInOutError "<what> "<path>"
// cannot be read: <reason>" carrying the system's error number.
QByteArray readWholeFile(const QString& path, const QString& what = QStringLiteral("The file"));

} // namespace files
