// Breeze sources: the current-patient export of the Breeze cardio-pulmonary testing program.
#pragma once

// Sets each Breeze source active or passive by the presence of its current-patient file.
void CheckBreezeSources();
// Looks at every active Breeze source; true when a document was registered.
bool PollBreezeSources();
