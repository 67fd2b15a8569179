// The workstation's own routines for folder names and for files that other programs may still
// hold. Paths use "/" (see platform/files.h for paths written on Windows).
#pragma once

#include <QString>

// The folder name with "/" appended when its last character is not "/". An empty name stays
// empty: callers treat an empty folder as "not configured", never as the root.
QString AddBackslash(const QString& folder);

// True when the folder exists. When it does not and `create` is true, it is created (one level:
// its parent must exist) and the result is true; false when it does not exist and `create` is
// false. A failed creation, an empty name included, raises EInOutError naming the folder and the
// reason, with the system's error number as its code.
bool CheckDirectory(const QString& folder, bool create);

// True when the file does not exist. When it exists and nobody else has it open, it is deleted
// and the result is whether the deletion succeeded. False when another process holds it; the file
// is then kept. Used for stale lock files and for documents' data files.
bool IsFileFree(const QString& fileName);

// Waits until nobody else has the file open, processing pending Qt events about every 50 ms
// between attempts, so that timers and serial data are handled meanwhile. True as soon as the
// file is free or missing; false when `timeoutMs` has passed with the file still held: the caller
// must then not go on as if it were free. The file is neither changed nor deleted.
bool WaitFileFree(const QString& fileName, int timeoutMs = 60000);
