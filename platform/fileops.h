// The one seam through which every file operation whose failure loses data goes (writing a whole
// file, appending, renaming, moving, copying, removing). Tests can make the Nth call of a kind fail
// and prove that nothing is lost.
#pragma once

#include <QByteArray>
#include <QString>

namespace fileops {

enum class Op { Write, Append, Rename, Move, Copy, Remove };

// Writes the whole file under a temporary name in the same folder, then renames it over `path`:
// a reader never sees a half-written file. False (and *error set) on failure; the old file stays.
bool writeFile(const QString& path, const QByteArray& data, QString* error = nullptr);
// Appends bytes to a file, creating it when missing.
bool appendFile(const QString& path, const QByteArray& data, QString* error = nullptr);
// Renames within one file system; replaces an existing target.
bool rename(const QString& from, const QString& to, QString* error = nullptr);
// Moves a file, across file systems too, keeping its modification time; an existing target is
// replaced. On failure the source is left in place.
bool move(const QString& from, const QString& to, QString* error = nullptr);
// Copies a file, keeping its modification time; the copy is written under a temporary name first.
bool copy(const QString& from, const QString& to, QString* error = nullptr);
bool remove(const QString& path, QString* error = nullptr);

// Test control: the nth next call (1 = the next one) of the given kind fails as the operating
// system would have failed it. resetFaults() clears every planned failure.
void failNth(Op op, int n);
void resetFaults();

} // namespace fileops
