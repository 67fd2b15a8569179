// Packages: the open package, the package file (.mpk) that carries every registered document,
// its archive (.mrk), the purge of old packages and the purge settings dialog.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QProgressBar;

namespace fileops {
class FileWriter;
}

// Sets CurrentPack to the last package of PACKAGE.DB in the order of creation (index num_index);
// on a new installation (no package yet) it draws the first package number, below 0x0FFFFFFF, and
// stores its row: started now, Transfer state 0.
void InitCurrentPackage();

// The upper-case hexadecimal name of a package number: a negative number as its 32-bit two's
// complement (-1 is "FFFFFFFF").
QString PackageHex(qint32 Number);
// ExchangeDir + PackageHex(Number) + Extension (".mpk" or ".mrk"): the name the program writes.
QString PackageFileName(qint32 Number, const QString& Extension);

// One FILES.DB row written into a package: its number, the package it was registered in, and
// the data file written for it (empty when it had none).
struct PackedDocument
{
    int number = 0;
    int pack = 0;
    QString dataFile;
};

// Writes the package file `FileName` from every row of FILES.DB, in the order of their numbers:
// the row count, then one record per document (its data file found in `BufDir` whatever the case
// of its name, its source's extension and title, the patient's names, date of birth and file
// number, the row's date, time, comments and page count, then its further pages). See the layout
// in packages.cpp. The file is written under a temporary name, flushed to the disk and renamed:
// it exists whole or not at all. Nothing is removed: the caller removes the rows and data files
// returned once the package is in place. The progress bar (when given) counts the rows. Raises
// (EInOutError for files, the database's errors for the tables) with no file left behind.
QList<PackedDocument> WritePackageBody(const QString& FileName, const QString& BufDir,
                                       QProgressBar* ProgressBar);

// Writes one file into an open package: its size (int32, taken before reading) and then exactly
// that many bytes, read in blocks of 60000. A file that gives fewer bytes than its size (cut
// meanwhile), one of 2 GiB or more, or one that cannot be read raises EInOutError. Returns the
// size written.
qint64 AddFileToPackage(fileops::FileWriter& Handle, const QString& FileName);

// Closes the open package and builds its files; ResultName receives the file to transfer.
//   1. A new package number (never one PACKAGE.DB holds) becomes CurrentPack: the old package's
//      row is closed (closed now, Transfer state 1) and the new one's appended (started now,
//      state 0), in one transaction; the new row is appended even when the old one is missing.
//   2. The Breeze sources (State 1 or 2) copy their documents' files into BufDir
//      (PackBreezeFiles).
//   3. The package file <hex of the old number>.mpk is written into ExchangeDir
//      (WritePackageBody).
//   4. With compression on and the archiver at RarPath, the archiver runs in ExchangeDir as
//      "a <hex>.mrk <hex>.mpk" (no shell), waited for with the events processed (up to ten
//      minutes). It succeeded when it ended with status 0 and left a .mrk that is not empty: the
//      .mrk is the file to transfer and the .mpk goes. Otherwise (or with no archiver at RarPath)
//      the failure is logged, a .mrk it left goes, and the .mpk is transferred.
//   5. Only then do the packed documents' rows and data files go. Documents registered while the
//      archiver ran belong to the new package and stay.
// While the package is built its documents are not offered to identification
// (DocumentBeingPacked). A failure in steps 2 to 4 removes the package file being written, keeps
// every row and data file and raises; the new package stays open.
void PreparePackage(QString& ResultName, QProgressBar* ProgressBar, QLabel* StatusLabel);

// True while a package is being built that holds document `Number`.
bool DocumentBeingPacked(int Number);

// Removes the packages sent (Transfer state 2) and closed before `Before`, with their .mpk and
// .mrk files (found whatever the case of their names), then every regular file directly in
// ExchangeDir last modified before that day, except the files of the packages PACKAGE.DB still
// holds. A package closed before that day but never sent is the only copy of its documents: it
// stays, with its files, and is logged. The open package stays; so does a package whose closing
// date cannot be read. Symbolic links are left alone (and what they point to).
void PurgeOldPackages(const QDate& Before);

// The package purge dialog TDelDlg, shown modally and freed.
void ShowDelDlg();

// ---- test control

// The next package numbers drawn are these, in order (then random ones again).
void SetPackageNumbersForTesting(const QList<qint32>& Numbers);
// How long the archiver may run (ten minutes unless set; 0 restores that).
void SetArchiverTimeoutForTesting(int Milliseconds);
