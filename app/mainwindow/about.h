// The about box.
#pragma once

// The about box TfAbout, shown modally and freed.
void ShowAboutBox();
