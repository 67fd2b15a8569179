// Virtual-printer sources: print jobs taken from a spool folder as documents.
#pragma once

#include <QString>

// Active virtual-printer sources found by the last CheckPrinterSources; the main loop polls them
// only when it is not 0.
extern int PrinterSourceCount;
// The spool folder the virtual-printer sources watch, and the layout version of its job files.
// Set at start-up; the folder stays empty (nothing is watched) until a spool folder is configured.
extern QString SpoolDir;
extern qint16 SpoolVersion;

// Counts the active virtual-printer sources and readies their queues.
void CheckPrinterSources();
// Takes the finished jobs of the spool folder into BufDir; true when a job was taken.
bool PollPrinterSources(const QString& SpoolDir, const QString& BufDir);
