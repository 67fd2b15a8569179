// Virtual-printer sources: the check at start-up and the pass of every polling tick.
#include "printer_source.h"

// Will count the active virtual-printer sources and pause their queues.
void CheckPrinterSources()
{
}

// Will take each finished spool job of an active source as a document.
bool PollPrinterSources(const QString&, const QString&)
{
    return false;
}
