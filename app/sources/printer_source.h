// Virtual-printer sources: print jobs taken from a spool folder as documents.
#pragma once

#include <QString>

// Counts the active virtual-printer sources and readies their queues.
void CheckPrinterSources();
// Takes the finished jobs of the spool folder into BufDir; true when a job was taken.
bool PollPrinterSources(const QString& SpoolDir, const QString& BufDir);
