// Direct send: documents that need no identification copied into the practice software's import
// folder, each with a descriptor file.
#pragma once

#include <QString>

// What ExportPendingDocuments did, as bits of its Flags.
enum : int {
    dsExported = 0x1, // something was exported or removed
    dsHeldBack = 0x2, // a waiting document is the one under identification
};

// Sets ExportDir under the practice software's folder (a path written on Windows is converted),
// creates the import folder when missing and switches direct send on. A folder that cannot be
// created is logged; direct send then does nothing until it exists.
void InitDirectSend(const QString& PracticePath);

// Exports, in the order of FILES.DB's index NeedId_index, every document that needs no
// identification, except the one under identification (CurrentNumber while IdentificationActive),
// which is held back. Nothing happens while DirectSend is off or ExportDir is not a folder.
// Flags receives dsExported and dsHeldBack.
void ExportPendingDocuments(int& Flags);

// Exports document Number into the subfolder of its source (ExportDir + the source's extension,
// + "-" + its DS_CODE when it has one): each page under the first free number n ("%X.<extension>";
// a number is free when neither that name nor "<n>.QVX" exists, in any case), then the descriptor
// "<n of the first page>.QVX", then one line in qvxfiles.log (LogFileName); the document's rows
// then leave FILES.DB. Breeze documents are recorded in DSfiles.db.
//
// A document is published whole or not at all: the pages are copied in under hidden names, the
// descriptor is written under a hidden name, the pages get their names and the descriptor is
// renamed last. Only then are the document's own files removed (a Breeze file only when its
// source clears it), the log line written and its rows deleted. When any step before the
// descriptor's rename fails, everything copied is taken away again, the document stays waiting, one
// line goes to the operations log and the result is false.
//
// True when the document's rows were removed: exported, or dropped because the data file of its
// first page is missing. False, with nothing changed, when the row or its source does not exist.
// Errors reading the tables go to the caller. Works on cursors of its own: the shared FILES.DB
// cursor does not move.
bool ExportDocument(int Number);

// Test-only fault point. When the environment variable QUORVANE_TEST_CRASH_AT (read once) names
// a step, an export ends the whole process at once with std::_Exit(70) on reaching it; unset, it
// does nothing. Steps, in order: "staged" (pages copied in under hidden names),
// "descriptor-written" (descriptor under its hidden name), "pages-named", "published" (descriptor
// renamed), "sources-removed", "logged" (rows not yet deleted).
void DirectSendCrashPoint(const char* Step);
