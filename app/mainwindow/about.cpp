// The about box.
#include "about.h"

// Will show the about box with the program's name, version and build.
void ShowAboutBox()
{
}
