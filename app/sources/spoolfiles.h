// The job files of a Windows printer spool folder, as the virtual-printer source reads them.
//
// Layout version 1: the job file (".spl") names the page files.
//
//   offset 0    16 bytes, not read
//   offset 16   a text line up to LF: it holds the queue name
//   then        entries: the marker 46 54 4D 02, any byte, 00 00 00, then the full (Windows)
//               path of one metafile page, ended by a 00 byte
//
// Layout version 2: a shadow file (".shd") describes the job and the job file of the same name
// (".spl") holds the pages themselves, each a metafile starting with its header record.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// ---- version 1 -------------------------------------------------------------------------------

struct SpoolV1Job
{
    bool hasLine = false;    // the queue line ends with a LF
    QByteArray line;         // the queue line, without its LF
    QList<QByteArray> pages; // the page paths as written, in order
};
SpoolV1Job ParseSpoolV1(QByteArrayView bytes);

// The file name at the end of a page path written on Windows ("C:\...\FP00002.SPL" gives
// "FP00002.SPL").
QString SpoolPageFileName(const QByteArray& path);

// ---- version 2 -------------------------------------------------------------------------------

// True when a queue name string of the shadow file holds `workName`, both upper-cased by the ANSI
// rules of the program's code page. The strings are zero-ended, 16 bits a character of which only
// the low byte counts, and are tried in order at offsets 0x78, 0x88, 0xD0 and 0xE0 (a string past
// the end of the file is empty). An empty `workName` is held by none. `lastRead`, when given,
// receives the last string read.
bool ShadowNamesQueue(QByteArrayView shadow, const QString& workName, QString* lastRead = nullptr);

enum class EmfExtraction {
    Whole,      // every page found was written; the job file may hold none
    Incomplete, // a page runs past the end of the job file: it is still being written
    Failed,     // the job file cannot be read, or a page cannot be written
};

// Cuts the job file `SplFile` into its metafile pages: every place where a byte 01 is followed,
// 40 bytes on, by " EMF" starts a page whose length is the little-endian 32-bit value 48 bytes on
// (bytes past the end of the file count as 0). Page k (from 0) is written whole, under a
// temporary name first, as <folder of SplFile>/<its name without extension>_<k>.emf and its path
// added to `Pages`; the search goes on after it. Pages are not flushed to the disk: the job file
// is the lasting copy until the registry, which flushes, has taken them. A place whose length is
// below the 88 bytes of a header's fixed part starts no page, and the search goes on at the next
// byte. Unless the result is Whole, the pages written by this call are removed again and `Pages` is
// left as it was; `error` then says why.
EmfExtraction ExtractEmfPages(const QString& SplFile, QStringList& Pages, QString* error = nullptr);
