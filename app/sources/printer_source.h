// Virtual-printer sources: print jobs taken from a spool folder as documents, one metafile per
// page, and printed through to a real printer when the source asks for it.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QPrinter;

// A virtual-printer source: its printers.db row.
struct TPrinterSource
{
    int Configuration = 0;
    QString Work_name;    // the queue whose jobs the source takes
    QString NameForPrint; // the printer pages are printed through to; empty: none
};

// Counts the active virtual-printer sources in PrinterSourceCount and pauses their queues
// (SetPrn action 2). Jobs that could not be taken before are tried again at the next pass.
// Called at start-up and after a virtual-printer source is saved.
void CheckPrinterSources();

// Runs ReadSpool for every active virtual-printer source; true when one of them took a job.
bool PollPrinterSources(const QString& SpoolDir, const QString& BufDir);

// One pass of `Source` over the spool folder, in the layout of SpoolVersion; true when it took a
// job. Nothing is taken until three passes in a row found every "*.spl" file with a size (a file
// of size 0 is a job still being created; one that stays empty for 60 passes is logged once,
// never deleted). A job is taken when its shadow file (version 2) or its queue line (version 1)
// names the source's queue, and its files are not held by a writer, nor half-written: every page
// becomes a document (the first with Type 0 and Pages = the page count, the others with Type =
// the first's number, data files "<hex number>.3"), then the job's files are removed (a job whose
// files cannot be removed is logged and not taken again while they stay as they are). A job is
// taken whole or not at all: when a page cannot be registered, the pages registered before are
// taken back and return to the spool folder, the job stays and counts as left for later, and it
// is tried again once it changes, after 60 passes, or when the sources are checked again (the
// failure is logged once). After a pass that took jobs and met none it had to leave, the queue
// is purged (SetPrn action 3), and the pages are printed through when the source names a
// printer. An empty SpoolDir is watched by no one, and a missing one finds nothing (each logged
// once).
bool ReadSpool(const TPrinterSource& Source, const QString& SpoolDir, const QString& BufDir);

// Queue control through the printer-queue backend in use: action 1 resumes, 2 pauses, 3 purges,
// others do nothing. A queue that cannot be opened shows "Erreur d'accès à l'imprimante
// virtuelle: OPPRN " and the error number, one that refuses the command "... SETPRN " and the
// number; the failure does not stop the source.
void SetPrn(const QString& PrinterName, int Action);

// Prints every page file BufDir/Pages[i], each as a print job of its own, drawn over the whole
// sheet, on the installed printer named `PrinterName` (compared without regard to case), or on
// the default printer when none is. A page that cannot be printed is logged; the pages stay
// documents whatever happens.
void PrintEmfPages(const QString& BufDir, const QStringList& Pages, const QString& PrinterName);

// Tests only: where PrintEmfPages prints (nullptr: the installed printers again), and the passes'
// memory (the settling count, empty job files, jobs that could not be taken) forgotten.
using TPrinterOpener = std::function<std::unique_ptr<QPrinter>(const QString& PrinterName)>;
void SetPrinterOpenerForTesting(TPrinterOpener opener);
void ResetSpoolStateForTesting();
