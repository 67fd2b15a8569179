// The one seam through which every file operation whose failure loses data goes (writing a whole
// file, appending, renaming, moving, copying, removing). Tests can make the Nth call of a kind fail
// and prove that nothing is lost.
//
// Every function returns false on failure and, when `error` is given, sets it to one readable line
// naming the operation, the path(s) and the reason. Logging the failure is the caller's business.
// Paths use "/" and are taken as they are (no change of case).
#pragma once

#include <QByteArray>
#include <QString>
#include <cerrno>

class QFile;

namespace fileops {

// A path as the file system spells it, byte for byte. Built from text it is the text's encoding
// for file names; built from bytes (a folder listing) it keeps names that are not valid in that
// encoding, which text could not give back.
class NativePath
{
public:
    NativePath() = default;
    NativePath(const QString& path); // NOLINT: every text path is a native one
    explicit NativePath(const QByteArray& bytes) : m_bytes(bytes) {}

    const QByteArray& bytes() const { return m_bytes; }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    // For messages and stored names: each part of the path that is not valid in the file names'
    // encoding is read in the program's code page (the copiers that write such names are
    // Windows programs of that code page).
    QString text() const;
    // The folder part, without the last "/"; the last part alone.
    NativePath folder() const;
    QByteArray leaf() const;
    NativePath operator/(const QByteArray& leaf) const;
    bool operator==(const NativePath&) const = default;

private:
    QByteArray m_bytes;
};

// Whether the folder holds an entry of that name (a broken symbolic link too); whether the entry
// is a symbolic link.
bool exists(const NativePath& path);
bool isSymLink(const NativePath& path);
// Whether this process may read the file.
bool isReadable(const NativePath& path);

enum class Links { Follow, Refuse };
// Opens `path` for reading, into `file`, when it is a regular file (a symbolic link is followed
// only with Links::Follow); false for anything else, which is never opened: a pipe would hold the
// reader until someone writes to it, and a device may act on being opened.
bool openRegular(const NativePath& path, Links links, QFile& file);

enum class Op { Write, Append, Rename, Move, Copy, Remove, Flush, Publish };

// Whether a copy reaches the disk before copy() returns, or only with a later flushToDisk() of
// the name it ends up under: a caller that renames the copy again then pays for one flush.
enum class Flush { Now, Later };

// Writes the whole file under a temporary name in the same folder, flushes it to the disk, then
// renames it over `path`: a reader never sees a half-written file. A file that is replaced keeps
// its permissions; a symbolic link is followed and its target replaced. On failure the old file
// stays as it was and no temporary file is left behind.
bool writeFile(const QString& path, const QByteArray& data, QString* error = nullptr);
// Appends bytes to a file, creating it when missing. A write that fails half-way is taken back
// (the file is cut to its former size), so an append lands whole or not at all.
bool appendFile(const QString& path, const QByteArray& data, QString* error = nullptr);
// Renames within one file system; replaces an existing target atomically. When the rename fails,
// both the source and an existing target stay untouched.
bool rename(const NativePath& from, const NativePath& to, QString* error = nullptr);
// Gives a finished file its final name in the same folder by a rename that never replaces: when
// `to` exists (or is taken by another process at the same moment) nothing changes and the error
// is "already exists". A reader of the folder sees either no file of that name or the whole one.
// Where the file system cannot rename without replacing, a hard link and the removal of the old
// name stand in for it.
bool publish(const NativePath& from, const NativePath& to, QString* error = nullptr);
// Moves a file, across file systems too, keeping its modification time; an existing target is
// replaced. Across file systems the file is copied to a temporary name in the target folder,
// flushed, renamed to its final name, and only then is the source removed. On any failure the
// source is left in place and no copy remains behind.
bool move(const NativePath& from, const NativePath& to, QString* error = nullptr);
// Copies a file, keeping its modification time and permissions; the copy is written under a
// temporary name in the target folder first, then renamed, so an existing target is replaced
// whole or not at all. With Flush::Now its bytes and its folder entry are on the disk on return.
bool copy(const NativePath& from, const NativePath& to, QString* error = nullptr,
          Flush flush = Flush::Now);
// Removes a file (not a folder); a symbolic link is removed itself, never what it points to. A
// missing file is a failure.
bool remove(const NativePath& path, QString* error = nullptr);
// Writes a file's bytes and its entry in its folder through to the disk.
bool flushToDisk(const NativePath& path, QString* error = nullptr);
// Writes a file's bytes and its metadata through to the disk; one Op::Flush call of the seam. On
// ext4, XFS and Btrfs this also commits the folder entry that last created or renamed the file;
// other entries of the folder (a name removed) need flushToDisk.
bool flushBytes(const NativePath& path, QString* error = nullptr);
// Writes a folder's entries (names given, renamed or removed) through to the disk, where the file
// system can; never fails.
void flushFolder(const NativePath& folder);

// A file written piece by piece and put in place whole, as writeFile() does for a file held in
// memory: the pieces go to a temporary file in the target's folder (its name starts with "."),
// commit() flushes it to the disk and renames it over `path`. Until then nothing is seen under
// `path`; a writer that is discarded or destroyed uncommitted removes its temporary file. Each
// write() counts as one Op::Write call of the seam, commit() as one Op::Flush and one Op::Rename.
// Small pieces are gathered in a buffer before they reach the file.
class FileWriter
{
public:
    explicit FileWriter(const QString& path);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Creates the temporary file; false, with the reason, when it cannot be made.
    bool open(QString* error = nullptr);
    bool write(const char* data, qint64 size, QString* error = nullptr);
    bool write(const QByteArray& data, QString* error = nullptr)
    {
        return write(data.constData(), data.size(), error);
    }
    // The bytes written so far.
    qint64 size() const { return m_size; }
    bool commit(QString* error = nullptr);
    // Removes the temporary file (nothing happens once committed).
    void discard();

private:
    bool flushBuffer(QString* error);

    QString m_path;
    QByteArray m_tempPath;
    int m_fd = -1;
    QByteArray m_buffer;
    qint64 m_size = 0;
};

// The reason for an operating-system error number, as one short readable phrase
// ("the disk is full", "the file or folder does not exist", ...).
QString errorText(int errnum);

// Test control: the nth next call (1 = the next one) of the given kind fails as the operating
// system would have failed it with `errnum`: nothing changes on disk, false is returned and the
// error text is set. Several failures may be planned; the counters are safe across threads.
// resetFaults() clears every planned failure.
void failNth(Op op, int n, int errnum = EIO);
void resetFaults();

} // namespace fileops
