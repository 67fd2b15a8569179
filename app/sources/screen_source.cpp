// The screen-capture source: finding it, and taking the clipboard's picture.
#include "screen_source.h"

// Will empty the clipboard and set ScreenSourceNumber from the first screen-capture source.
void InitClipboardSource()
{
}

// Will register a whole-screen clipboard picture as a document.
int CaptureClipboardBitmap(const QString&)
{
    return 0;
}
