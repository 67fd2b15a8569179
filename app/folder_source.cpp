// Folder sources: the check at start-up and the pass of every polling tick.
#include "folder_source.h"

int FileSourceCount = 0;

// Will set each folder source's state from its folder and count the active ones.
void CheckFileSources()
{
}

// Will take each new or changed file of the active folder sources as a document.
bool PollFileSources()
{
    return false;
}
