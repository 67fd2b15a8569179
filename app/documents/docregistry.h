// The document registry: every document a source acquires gets a row in the documents table
// (FILES.DB) under a document number, and its data file in the documents' folder (BufDir) is
// named by that number.
#pragma once

#include <platform/fileops.h>
#include <platform/support/docfiles.h>

#include <QList>
#include <QString>

#include <exception>
#include <functional>

// ---- Handing a file over: the one routine every source uses ----------------------------------

enum class HandOver {
    Move, // the file leaves the source (folder sources that clear their folder, printer spool
          // files, screen captures, serial captures)
    Copy, // the file stays where the source found it (folder sources that leave files in place)
};

// Why a hand-over failed: the line for the operations log, and the error of the documents table
// when it refused the row (reported in the error window).
struct HandOverFailure
{
    QString reason;
    std::exception_ptr tableError;
};

// Registers `SourceFile` as a new document of source `Cfg` and returns its number, or 0 when
// nothing was registered. The folder, Breeze, virtual-printer, screen-capture and serial sources
// all hand their files over through it, so that no document is ever lost or left half-made:
//
//   1. The number is chosen (data files already in BufDir under it are set aside, see
//      AddImportedFile) and the file is brought into BufDir under a hand-over name (hidden from
//      listings, starting with ".") that tells the source, the type, the number, the extension
//      and the source path: moved or copied as `Mode` says. A path too long for a file name is
//      told by a key instead, its record (a small hidden file holding the path) written through
//      to the disk first, in place of whatever else stood under the record's name. A symbolic link
//      is copied by content even when moving: a document holds its own bytes. When that fails,
//      nothing has changed.
//   2. The file is flushed to the disk with its hand-over name (an "MXM" file is rewritten
//      first, see below), then the row is stored (CurrentPack, the source path as the row's file
//      name (none for a screen capture, whose file is the program's own), `Type`, `Extension`).
//      The database file is then looked at from outside (sqlitedb::fileLooksIntact).
//   3. The file is renamed to its final name, DocumentFileName(number, the source's type). A
//      moved link is then removed (never what it points to). The folder is flushed once the
//      program is back in its event loop, once for all documents registered meanwhile: until
//      then the row and the hand-over name, both on the disk, let RecoverHandOvers give the
//      file its final name after a power cut. So a returned number is a document that survives
//      one, at one flush of the file and one commit.
//
// When step 2 or 3 fails, the registration is undone: the row (if stored) is removed, and the
// file goes back where it came from (Move) or the copy is removed (Copy); only then is the
// failure reported, so a program killed while an error window is open strands nothing. Should
// the source path have been taken by a new file meanwhile, the returned file waits in BufDir
// (see WaitingFiles) and is registered before that newer file. A program killed between the
// steps leaves the hand-over name behind: RecoverHandOvers finishes the document at the next
// start.
//
// A database file that is damaged (an engine error that says so, or the look from outside)
// stops the registry: the error is logged and shown once, and from then on every hand-over
// fails at once, leaving the files where they are, until the program is started again.
//
// Failures are reported (logged; the table's error shown) unless `Failure` is given: it then
// receives them, for a caller that retries and reports each reason once (ReportHandOverFailure).
// Exceptions from reading the tables before the file moves (an unreadable table) go to the
// caller. `Type` is 0 for a new document, or the number of a document's first page for a further
// page. A source that no longer exists in cfg.db (its type names the data file) registers
// nothing. The caller then announces the document (TMainForm.RefreshDocuments).
//
// `Stored`, when given, runs with the number once the row is stored and the database looked at,
// before the final name: a source that remembers what it took records it there, so that no kill
// leaves a document its source does not know it took (the next start completes the document).
// When it raises, the registration is undone; when a later step fails, 0 is returned and the
// caller undoes what it recorded.
int RegisterDocument(const fileops::NativePath& SourceFile, int Cfg, int Type,
                     const QString& Extension, HandOver Mode, HandOverFailure* Failure = nullptr,
                     const std::function<void(int)>& Stored = {});

// Reports a failure as RegisterDocument does: the line in the operations log, and the table's
// error in the error window followed by "DB! SAFEPOST: FILES.DB" in the log.
void ReportHandOverFailure(const HandOverFailure& Failure);

// At start-up, before the sources:
// - The files waiting in BufDir are registered, oldest first; one that fails waits for a pass of
//   its folder source, or the next start. Files kept by earlier versions as "unregistered-<name>"
//   wait as files of the one folder source that clears its folder and whose pattern takes the name
//   (in the recovery folder below when there is not exactly one).
// - Every file left in BufDir under a hidden name by a hand-over that was cut short becomes the
//   document it was about to become (its row completed or stored anew), in the order they came.
//   One that cannot be registered now (another program holds the database, the disk is full)
//   waits after the files already waiting, as a file given back does; one whose row was stored
//   and that cannot be completed now waits under its hand-over name, and its folder source's pass
//   completes it. One whose name says nothing of its source, or whose source is gone, is moved
//   into WorkPath + "recovered/" and logged. A file whose row was not stored while its source
//   path still holds the same bytes (a copy, or a move across file systems, cut short) is
//   removed: the source offers it again. So are copies cut short before they took their
//   hand-over name. Hidden folders and links are left alone: no hand-over makes them.
// - A screen capture written before a kill and not yet handed over (ScreenCaptureFile of that
//   run) becomes a document of the screen source (FirstScreenSource), as the capture would have;
//   it is kept in the recovery folder when there is no screen source any more.
// - Records of long source paths that no file refers to any more are removed, and so is
//   anything but a regular file found under a record's name (a folder, a link, a pipe). A file
//   whose record is missing or damaged has its path found again among the files of its folder
//   source, where the file it came from is still there (its key is made from that path), and
//   the record is written anew; otherwise it is placed as one whose name tells no path (logged).
// A document registered or completed here for a folder source is recorded in its memory of taken
// files (RecordFolderFileTaken), as the source's own pass would have done; a document is not
// completed before that is recorded.
void RecoverHandOvers();

// Where the screen source writes a capture before it hands it over: a hidden file of the
// documents' folder `Folder` (BufDir) named after this process, ".capture-<pid>.bmp".
QString ScreenCaptureFile(const QString& Folder);

// ---- Files waiting for a later registration ---------------------------------------------------

// A moved file whose hand-over failed after it left its source path, and whose path a newer file
// has taken meanwhile (an analyser that always writes "result.txt"), waits in BufDir under a
// hidden name that tells its source, its extension and the path it came from. So does a file left
// by a hand-over cut short that a start could not register (see RecoverHandOvers).
struct WaitingFile
{
    fileops::NativePath file;   // where it waits
    fileops::NativePath source; // where it came from
    // The document whose row awaits this file (its hand-over was cut short after the row was
    // stored, and the start could not complete it), 0 for a file that becomes a new document.
    int document = 0;
};

// The files of source `Cfg` waiting, oldest first. A folder source's pass registers them before
// any file of its folder, and leaves a file at the path of one still waiting for a later pass;
// every file still waiting is tried again at the next start (RecoverHandOvers).
QList<WaitingFile> WaitingFiles(int Cfg);

// Registers a waiting file as a new document of its source, as RegisterDocument moves a file (the
// row names the path it came from), or completes the document it belongs to, its folder source
// recording it first (RecordFolderFileTaken): the number, or 0 when it still waits (Failure as
// for RegisterDocument). A file no longer at its waiting name waits no more: it is dropped from
// the waiting files (logged) and 0 returned.
int RegisterWaitingFile(const WaitingFile& File, HandOverFailure* Failure = nullptr);

// ---- The registry's own routines -------------------------------------------------------------

// Registers a document whose file stays where it is (Breeze sources, which leave their files to
// the Breeze program; analyser drivers, which write their data file after registering) and
// returns its number, or 0 when the row could not be stored: then nothing is registered and the
// error has been reported (the error window, "DB! SAFEPOST: FILES.DB" in the log). A damaged
// database stops it as it stops RegisterDocument. Every caller passes CurrentPack as `Pack`.
//
// When `Extension` is "MXM" in any case, `FileName` is first rewritten in its stored layout
// through the hook below. The number is NextDocumentNumber(); data files already in BufDir
// under that number (a serial result kept after its document was deleted) are renamed aside
// with the suffix ".old" (".old2", ".old3", ... when taken) and logged, so that the new document
// never shows old content; when one cannot be renamed, nothing is registered (0). Exceptions
// raised before the row is posted (an unreadable table) go to the caller.
int AddImportedFile(int Pack, const QString& FileName, int Cfg, int Type, const QString& Extension);

// Appends the document row: `Number`, `Pack`, File_name, `Cfg`, today's date and the current
// time, `Type`, Pages 1, and NeedId: 0 for a further page (`Type` > 0), otherwise from the flags
// of source `Cfg` (1 when it needs identification or a comment, 2 when it warns, else 0; 0
// when the source does not exist). The row is posted and written to disk (FlushTable); true
// when it was stored.
bool AddFileRecord(int Pack, int Number, const QString& FileName, int Cfg, int Type);

// Deletes the row of document `Number` from FILES.DB (nothing happens when there is none) and
// refreshes the shared cursor. The data file is not touched. Raises when the table cannot be
// written.
void DeleteDocumentRow(int Number);

// One above the highest document number in FILES.DB, 1 when the table is empty (numbers of the
// highest rows are therefore used again once those rows are gone).
int NextDocumentNumber();

// DocumentFileName and FindDocumentFile: platform/support/docfiles.h.

// ---- The record-file rewrite of the analysers ------------------------------------------------

// Rewrites a received Max-M file in place into its stored layout; returns whether it did.
using RestructureRecordFileProc = bool (*)(const QString& FileName);
// Set at start-up by the application to the analysers' RestructureRecordFile. While none is
// set, MXM files are stored as received.
void SetRestructureRecordFileHook(RestructureRecordFileProc proc);
