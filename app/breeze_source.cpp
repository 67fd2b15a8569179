// Breeze sources: the check at start-up and the look at every polling tick.
#include "breeze_source.h"

// Will set each Breeze source's state from its current-patient file.
void CheckBreezeSources()
{
}

// Will register the result files of a new current-patient entry as documents.
bool PollBreezeSources()
{
    return false;
}
