// What the analyser drivers and the serial sources need of the workstation application:
// registering an acquired result as a document, announcing it to the main window, converting BFA
// captures, the open package, and moving a file into the documents' folder. The application
// registers its implementation at start-up; until then a null one stands in, which refuses to
// register anything.
#pragma once

#include <platform/support/globals.h>
#include <platform/support/paths.h>
#include <platform/variant.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class TDBAccess;
class TDBRequest;

// A serial source as the serial-source manager binds it: its row of the sources table and its row
// of the serial settings table, read by key.
struct SerialSourceRow
{
    int Number = 0;    // the source's number
    int State = 0;     // 1 active; any other value passive
    QString Extension; // the device code
    // False when the source has no serial settings row; the fields below are then as shown.
    bool HasSettings = false;
    int Com = 0;       // COM port 1 to 8
    bool FSTX = false; // a document starts only with the start byte
    int STX = 0;       // start byte
    int ETX = 0;       // end byte
    int Timeout = -1;  // seconds of silence that end a document; -1 (or below 1): none
    int BaudRate = 0;  // position in the list 110 to 38400 (up to 12: 115200)
    int DataBits = 0;  // number of data bits, 4 to 8
    int StopBits = 0;  // position in the list one, one and a half, two stop bits
    int Parity = 0;    // position in the list none, odd, even, mark, space
};

// What the serial capture of a BFA analyser learns of a report's patient, for the document's row.
struct DocumentPatient
{
    QString Name;                  // "Patient_Nom"
    std::optional<int> Dossier;    // "Dossier"; none: left as it is
    std::optional<TDateTime> Date; // "Date"; none: the registration's own
    std::optional<TDateTime> Time; // "Time"; none: the registration's own
};

// The folders the drivers use are the program-wide values of platform/support/globals.h:
// WorkPath (raw dumps go to its "com_buf/" folder), BufDir (the documents' data files) and
// ComBufDir (the capture folder), each set by the application before the serial sources start.
// The other workstation routines the drivers call are in platform/support: AddBackslash
// (paths.h), ErrorOkCancel and ErrorOkCancelFmt, ReadIniInteger (procs.h), AppendLogLine
// (logfile.h).
//
// Main thread only, like the drivers that call it.
class WorkstationService
{
public:
    virtual ~WorkstationService();

    // Registers an acquired document in the documents table under the next document number and
    // returns that number (1 or more). Pack is the open package (CurrentPack), FileName the file
    // as it lies now (it stays there: the caller then moves it to the document's data file), Cfg
    // the number of the source, Pages 0 for a new document, Extension the device code or the
    // driver's document type ("AST", "mdt", "911", "912", "mxm"). Raises when the document cannot
    // be registered.
    virtual int AddImportedFile(int Pack, const QString& FileName, int Cfg, int Pages,
                                const QString& Extension) = 0;
    // Hands a result file of a serial source (a capture buffer, or a driver's result file such as
    // "~buf~.mxm", lying in the capture folder) to the documents' registry and returns the new
    // document's number. The steps run in one order, so that no row names a missing file and no
    // file is lost: the file is moved into the documents' folder under a temporary name; the row
    // is stored as AddImportedFile stores it (package CurrentPack, source SourceNumber, type
    // DocumentType: the device code, or the driver's document type "mxm", "mdt", ...; an "mxm"
    // file is first rewritten into its stored layout); then the file takes its final name,
    // SerialDocumentFileName(number), which never replaces an existing file.
    // When the document cannot be stored the result is 0: the file is back in its folder under a
    // name the next capture does not reuse (see KeepUnstoredResult) and the failure is logged.
    // Never raises. The caller then announces the number with RefreshDocuments.
    virtual int StoreResult(const QString& ResultFile, int SourceNumber,
                            const QString& DocumentType) = 0;
    // Refills the main window's documents list after a registration; nothing below 1.
    virtual void RefreshDocuments(int Number) = 0;
    // Turns a captured BFA result file into text reports "~bfa1.tmp", "~bfa2.tmp", ... in the
    // file's folder, deletes the input, adds to Lines one line per report (patient name, record
    // number, date, time, separated by tabs) and returns the number of reports.
    virtual int ReadBFAFile(const QString& FileName, QStringList& Lines) = 0;
    // Number of the open package, passed as Pack with every registered document.
    virtual int CurrentPack() const = 0;

    // ---- the serial sources. The tables are read by key: no shared cursor is moved. Errors of
    // the tables raise. The base class stands for a workstation without tables: no serial source,
    // and SetDocumentPatient raises.

    // Every serial source (type 4) in the order of the sources table's index on Type.
    virtual QList<SerialSourceRow> SerialSources();
    // The serial source Number; none when there is no source of type 4 under that number.
    virtual std::optional<SerialSourceRow> SerialSource(int Number);
    // Writes the patient's fields into the row of document Number. Raises when the row is missing
    // or cannot be written; the document itself stays as it is.
    virtual void SetDocumentPatient(int Number, const DocumentPatient& Patient);

    // ---- the practice database, for the drivers' host queries: its kernel access component and
    // the request DBRequestCommon bound to it. Both null (the base's answer) while the practice
    // database is not connected; a host query then fails as a database error.
    virtual TDBAccess* DBAccess();
    virtual TDBRequest* DBRequestCommon();

    // Moves the file (renamed, or copied and the old one removed across file systems; the file's
    // time is kept, an existing target replaced). Raises EInOutError naming both files when it
    // fails; the file then stays where it was.
    virtual void MoveFile(const QString& OldName, const QString& NewName);
};

// The registered service, or the null one: its AddImportedFile and ReadBFAFile raise, its
// RefreshDocuments does nothing and its package is 0.
WorkstationService& Workstation();
// Registers the application's service (not owned); nullptr restores the null one.
void setWorkstationService(WorkstationService* service);

// Sets aside a result file that could not be stored as a document: renames it in its own folder
// by adding the current date and time (and a counter when that name is taken) before its
// extension, "~buf~.mxm" becoming "~buf~-20261206-221046.mxm", so that the next capture, which
// writes "~buf~.mxm" again, cannot overwrite it. Logs the failure with Reason and the name the
// file now has, and returns that name (the old one when even the rename failed).
QString KeepUnstoredResult(const QString& FileName, const QString& Reason);

// The data file of a serial source's document (DocumentFileName with source type 4: document 26
// gives "1A.4").
QString SerialDocumentFileName(int Number);
