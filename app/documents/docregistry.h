// The document registry: every document a source acquires gets a row in the documents table
// (FILES.DB) under a document number, and its data file in the documents' folder (BufDir) is
// named by that number.
#pragma once

#include <platform/support/docfiles.h>

#include <QString>

// ---- Handing a file over: the one routine every source uses ----------------------------------

enum class HandOver {
    Move, // the file leaves the source (folder sources that clear their folder, printer spool
          // files, screen captures, serial captures)
    Copy, // the file stays where the source found it (folder sources that leave files in place)
};

// Registers `SourceFile` as a new document of source `Cfg` and returns its number, or 0 when
// nothing was registered. The folder, Breeze, virtual-printer, screen-capture and serial sources
// all hand their files over through it, so that no document is ever lost or left half-made:
//
//   1. The file is brought into BufDir under a temporary name (a name starting with ".", which
//      no listing of the folder shows): moved or copied as `Mode` says. When that fails, nothing
//      has changed and the result is 0.
//   2. The row is stored through AddImportedFile (with CurrentPack, `SourceFile` as the row's
//      file name, `Type` and `Extension`; an "MXM" file is rewritten first, see below). A data
//      file left over in BufDir under the new number is renamed aside first.
//   3. The file is renamed to its final name, DocumentFileName(number, the source's type).
//   4. The file's bytes and its name are flushed to the disk (the row's commit is flushed in step
//      2), so a registered document survives a power cut.
//
// When step 2, 3 or 4 fails, the registration is undone: the row (if stored) is removed, and the
// file goes back where it came from (Move) or the copy is removed (Copy); the result is 0 and the
// source simply offers the file again on a later pass. Should the source path have been taken
// by a new file meanwhile, the returned file stays in BufDir under a name starting with
// "unregistered-" rather than overwrite it. Every failure is written to the operations log.
// Exceptions from reading the tables before the row is stored (an unreadable table) undo the
// hand-over the same way and then go to the caller.
//
// `Type` is 0 for a new document, or the number of a document's first page for a further page.
// A source that no longer exists in cfg.db (its type names the data file) registers nothing.
// The caller then announces the document (TMainForm.RefreshDocuments).
int RegisterDocument(const QString& SourceFile, int Cfg, int Type, const QString& Extension,
                     HandOver Mode);

// ---- The registry's own routines -------------------------------------------------------------

// Registers a document whose file stays where it is (Breeze sources, which leave their files to
// the Breeze program; analyser drivers, which write their data file after registering) and
// returns its number, or 0 when the row could not be stored: then nothing is registered and the
// error has been reported (FlushTable). Every caller passes CurrentPack as `Pack`.
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
