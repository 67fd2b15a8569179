// The screen-capture source: a picture of the whole screen taken from the clipboard.
#pragma once

#include <QString>

// Empties the clipboard and finds the active screen-capture source (ScreenSourceNumber).
void InitClipboardSource();
// Registers a whole-screen picture on the clipboard as a document, its file in BufDir; returns
// the document's number, 0 when nothing was taken.
int CaptureClipboardBitmap(const QString& BufDir);
