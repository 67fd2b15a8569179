// Folder sources: folders in which other programs drop the files that become documents.
#pragma once

// Active folder sources found by the last CheckFileSources; the main loop polls them only when it
// is not 0.
extern int FileSourceCount;

// Checks the folder sources (their folders present or not) and counts the active ones.
void CheckFileSources();
// One pass over every active folder source; true when it registered at least one document.
bool PollFileSources();
