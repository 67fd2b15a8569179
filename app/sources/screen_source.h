// The screen-capture source: a picture of the whole screen taken from the clipboard.
#pragma once

#include <QString>

// The screen-capture source that takes captures: the first type-5 row of cfg.db in the order of
// type_index, active or not. Number 0 when there is none.
struct ScreenSourceRow
{
    int number = 0;
    int state = 0;
    QString extension; // its ID Source, the documents' extension
};
ScreenSourceRow FirstScreenSource();

// Empties the clipboard and finds the active screen-capture source (ScreenSourceNumber).
void InitClipboardSource();
// Registers a whole-screen picture on the clipboard as a document, its file in BufDir; returns
// the document's number, 0 when nothing was taken.
int CaptureClipboardBitmap(const QString& BufDir);
