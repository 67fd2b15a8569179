// Folder sources: folders in which other programs drop the files that become documents.
#pragma once

#include <platform/fileops.h>

#include <QDateTime>
#include <QString>

#include <functional>

// Sets every folder source (type 1) active (State 1) when its folder exists and passive (2) when
// it does not (the folder is never created), and counts the active ones in FileSourceCount. The
// sources' memories are read afresh from FrFiles.db at their next pass, and files that failed
// before are tried again. Called at start-up and after a folder source is saved.
void CheckFileSources();

// One pass over every active folder source; true when it registered at least one document. Does
// nothing (false) when the local tables had to be reopened (CheckTables).
bool PollFileSources();

// One pass over one source: every file of `Dir` whose name matches `Pattern` (Windows wildcard
// rules) and does not begin with "." becomes a document of source `Cfg`, in the order the folder
// lists them, through the registry's hand-over (the data file is <BufDir>/<hex number>.1):
//
// - `Clear` on: the file is moved out of the folder. A file of a source whose ID Source is "BFA"
//   is first converted into one report per patient and sample cup, each registered as a document
//   with the patient's name, record number, date and time; the conversion works on a copy in a
//   private work folder and the original is removed only once every report is registered.
// - `Clear` off: the file stays and is copied; FrFiles.db remembers each taken file (its real
//   path, compared without regard to case, and its packed time), so a file is taken again only
//   when its time changes. After the pass, the rows of files that no longer exist are dropped.
//
// Names are read and moved as the folder lists them, so a name that is not valid in the file
// names' encoding (written by an old Windows copier) is taken too; it is stored as the program's
// code page reads it. A symbolic link is taken by content (see RegisterDocument).
//
// A file another program still writes (or one that cannot be read) is left for a later pass. A
// file that cannot be taken (it cannot be moved, the disk is full, the registry cannot store it)
// stays where it is and is tried again at every pass; each reason is reported once per file. A
// pass ends at the first file the documents table refuses (held by another program, damaged):
// the others would meet the same.
// Files of the source that could not go back to their path, taken by a newer file meanwhile, wait
// in the documents' folder (WaitingFiles); a pass registers them first, and a file at the path of
// one still waiting waits with it.
// Returns true when at least one document was registered.
bool ScanFileSource(int Cfg, const QString& Dir, const QString& Pattern, bool Clear);

// Records in FrFiles.db that folder source `Cfg` took the file `Path` (its real path), whose time
// was `Modified` when it was taken, as the source's pass records it: a row added for a source that
// clears its folder, the file's row added or given that time for one that leaves files in place.
// For documents registered or completed on the source's behalf by the registry (at start-up, or
// a waiting file at the source's pass); nothing happens for a source that is not a folder source.
// Raises when the table cannot be written.
void RecordFolderFileTaken(int Cfg, const QString& Path, const QDateTime& Modified);

// The first file in the folder of folder source `Cfg` whose path, spelt as the source's pass
// hands it over, `Matches`; empty when none does, or `Cfg` is no folder source. Names are only
// compared: no file is opened.
fileops::NativePath
FindFolderSourceFile(int Cfg, const std::function<bool(const fileops::NativePath&)>& Matches);
