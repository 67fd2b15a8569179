// The document registry: document numbers, data file names, the document row, and the hand-over
// of a source's file into the documents' folder, which is undone whole when the row cannot be
// stored.
#include "docregistry.h"

#include "datatables.h"
#include "tablehelpers.h"

#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/sources/folder_source.h>
#include <app/sources/screen_source.h>
#include <platform/clock.h>
#include <platform/db/database.h>
#include <platform/db/enginecodes.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlitedriver.h>
#include <platform/db/sqlname.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/regional.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <utility>

namespace {

RestructureRecordFileProc restructureHook = nullptr;

// The file name a document's row keeps: the path it came from, or none for a screen capture,
// whose file the program wrote itself.
QString rowFileName(const QString& sourcePath, int sourceType)
{
    return sourceType == stScreen ? QString() : sourcePath;
}

// What the registry needs of a source row.
struct Source
{
    int type = 0;
    bool needId = false;
    bool needComment = false;
    int warning = 0;

    int needIdValue() const
    {
        if (needId || needComment)
            return 1;
        return warning > 0 ? 2 : 0;
    }
};

// The source row `cfg`, read by its key: the shared cfg cursor is neither used nor moved, so a
// caller walking the sources keeps its place.
std::optional<Source> readSource(int cfg)
{
    LocalTable& table = *CheckedDataTables().cfg;
    auto st = ConnectionOf(table).prepare(
        QStringLiteral("SELECT \"Type\", \"NeedId\", \"NeedComment\", \"Warning\" FROM %1 "
                       "WHERE \"Number\" = ?")
            .arg(quoteSqlName(table.tableName())));
    st->bind(0, cfg);
    if (!st->step())
        return std::nullopt;
    Source s;
    s.type = st->columnValue(0).toInt();
    s.needId = st->columnValue(1).toBool();
    s.needComment = st->columnValue(2).toBool();
    s.warning = st->columnValue(3).toInt();
    return s;
}

bool isMxm(const QString& extension)
{
    return extension.compare(QLatin1String("MXM"), Qt::CaseInsensitive) == 0;
}

void rewriteWhenMxm(const QString& fileName, const QString& extension)
{
    if (isMxm(extension) && restructureHook)
        restructureHook(fileName);
}

// The registry's own copy of a file is rewritten in place, and keeps the time it came with, as a
// move or copy keeps it: the start after a kill records that time as the time of the source's
// file, which a source leaving its files in place compares with the file's own.
void rewriteWhenMxm(const fileops::NativePath& file, const QString& extension)
{
    if (!isMxm(extension) || !restructureHook)
        return;
    const std::filesystem::path path(file.bytes().toStdString());
    std::error_code ec;
    const std::filesystem::file_time_type came = std::filesystem::last_write_time(path, ec);
    if (!ec) {
        // The path as text only when it is needed.
        restructureHook(file.text());
        std::filesystem::last_write_time(path, came, ec);
    }
    if (ec)
        throw EInOutError(QStringLiteral("its time could not be kept: %1")
                              .arg(QString::fromStdString(ec.message())));
}

bool nameTaken(const QString& path)
{
    return fileops::exists(path);
}

// The first of path + ".old", ".old2", ".old3", ... that names nothing.
QString asideName(const QString& path)
{
    QString candidate = path + QStringLiteral(".old");
    for (int n = 2; nameTaken(candidate); ++n)
        candidate = path + QStringLiteral(".old") + QString::number(n);
    return candidate;
}

// Data files in BufDir that already carry the number belong to no document any more (a serial
// result is kept when its document is deleted, and numbers are used again). They are renamed
// aside so the new document neither overwrites them nor shows their content. Data files are
// named in upper case by this program and in lower case by older writers; both are looked at.
bool setAsideStaleDataFiles(int number, QString* failure)
{
    for (int type = FirstSourceType; type <= LastSourceType; ++type) {
        const QString upper = DocumentFileName(number, type);
        const qsizetype leaf = upper.lastIndexOf(QLatin1Char('/')) + 1;
        const QString lower = upper.left(leaf) + QStringView(upper).mid(leaf).toString().toLower();
        // Numbers without letters have one spelling: looked at once.
        const QStringList spellings =
            upper == lower ? QStringList{upper} : QStringList{upper, lower};
        for (const QString& path : spellings) {
            if (!nameTaken(path))
                continue;
            const QFileInfo info(path);
            const QString target = asideName(path);
            QString error;
            if (!fileops::rename(path, target, &error)) {
                *failure = QStringLiteral("Document %1 not registered: %2").arg(number).arg(error);
                return false;
            }
            WriteToLog(QStringLiteral("Data file %1 of an earlier document %2 kept as %3")
                           .arg(info.fileName())
                           .arg(number)
                           .arg(QFileInfo(target).fileName()));
        }
    }
    return true;
}

// Appends the document row and writes it to disk; raises, the insert cancelled, when it cannot.
void appendDocumentRow(int pack, int number, const QString& fileName, int cfg, int type, int needId)
{
    const TDateTime now = toDateTime(clock::now());
    LocalTable& files = *CheckedDataTables().files;
    files.append();
    WriteOrCancel(files, [&] {
        files.fieldByName(QStringLiteral("Number"))->setAsInteger(number);
        files.fieldByName(QStringLiteral("Pack"))->setAsInteger(pack);
        files.fieldByName(QStringLiteral("File_name"))->setAsString(fileName);
        files.fieldByName(QStringLiteral("Cfg"))->setAsInteger(cfg);
        files.fieldByName(QStringLiteral("Date"))->setAsDateTime(now);
        files.fieldByName(QStringLiteral("Time"))->setAsDateTime(now);
        files.fieldByName(QStringLiteral("Type"))->setAsInteger(type);
        files.fieldByName(QStringLiteral("Pages"))->setAsInteger(1);
        files.fieldByName(QStringLiteral("NeedId"))->setAsInteger(needId);
        files.post();
        files.flushBuffers();
    });
}

// The report of a row the documents table refused, as a failed post is reported everywhere.
void reportRowFailure(const std::exception& e)
{
    LocalTable& files = *CheckedDataTables().files;
    AppException(&files, e);
    WriteToLog(QStringLiteral("DB! SAFEPOST: ") + files.tableName());
}

QString notRegistered(const QString& shown, const QString& why)
{
    return QStringLiteral("File %1 not registered: %2").arg(shown, why);
}

// ---- the stop on a damaged database ----------------------------------------------------------

const QString DamagedDatabase = QStringLiteral("the documents' database is damaged");

bool g_stopped = false;

bool isDamage(const std::exception& e)
{
    const auto* engine = dynamic_cast<const EngineError*>(&e);
    return engine && EngineCode::isDamagedTable(engine->errorCode());
}

// Damage seen from outside, reported as the engine reports a damaged file (the program's own
// message for a damaged database).
std::exception_ptr damageError(const QString& why)
{
    return std::make_exception_ptr(EngineError(EngineCode::DamagedData, why));
}

// From the first sign of damage on, no file is taken: each would go under a registry that the
// next start cannot read. Logged here; the error window comes with the failure's report.
void stopRegistry(const QString& why)
{
    if (g_stopped)
        return;
    g_stopped = true;
    WriteToLog(QStringLiteral("The documents' database is damaged; no file is taken until the "
                              "program is started again (files stay in their folders): %1")
                   .arg(why));
}

// Whether the database file still looks whole from outside.
bool databaseIntact(QString* why)
{
    return sqlitedb::fileLooksIntact(ConnectionOf(*CheckedDataTables().files), why);
}

// A further page never needs its own identification.
int needIdOf(int type, const std::optional<Source>& source)
{
    return type > 0 || !source ? 0 : source->needIdValue();
}

// Takes the row of a registration that could not be completed away again.
void removeDocumentRow(int number)
{
    try {
        DeleteDocumentRow(number);
    } catch (const std::exception& e) {
        WriteToLog(QStringLiteral("Document %1 left without its data file: %2")
                       .arg(number)
                       .arg(exceptionMessage(e)));
    }
}

// Numbers the document, clears the way for its data file and stores its row: the number, or 0
// (reported).
int storeDocument(int pack, const QString& fileName, int cfg, int type,
                  const std::optional<Source>& source)
{
    if (g_stopped) {
        WriteToLog(notRegistered(fileName, DamagedDatabase));
        return 0;
    }
    const int number = NextDocumentNumber();
    QString failure;
    if (!setAsideStaleDataFiles(number, &failure)) {
        WriteToLog(failure);
        return 0;
    }
    try {
        appendDocumentRow(pack, number, fileName, cfg, type, needIdOf(type, source));
    } catch (const std::exception& e) {
        if (isDamage(e))
            stopRegistry(exceptionMessage(e));
        reportRowFailure(e);
        return 0;
    }
    QString why;
    if (databaseIntact(&why))
        return number;
    stopRegistry(why);
    removeDocumentRow(number);
    try {
        std::rethrow_exception(damageError(why));
    } catch (const std::exception& e) {
        reportRowFailure(e);
    }
    return 0;
}

// ---- hand-over names ---------------------------------------------------------------------------

// A file on its way in is named ".handover.<cfg>.<type>.<number>.<n>.<extension in hex>.<source
// path>", the path's "%" and "/" written as "%25" and "%2F", so that a start after a kill can tell
// what it was about to become. A file waiting for a later registration is named in the same way,
// with ".waiting." and its place in the order in which files came to wait instead of a number.
// A source path too long for a name (a name has 255 bytes, a path up to 4096) is told by a key
// instead, "#<key>", and kept in a record beside the files (see below). Names that earlier
// versions gave such files without any path are still read: their source is unknown.
const QByteArray HandOverPrefix = ".handover.";
const QByteArray WaitingPrefix = ".waiting.";
constexpr qsizetype MaxNameBytes = 250;

struct HandOverName
{
    int cfg = 0;
    int type = 0;
    int number = 0;
    QString extension;
    fileops::NativePath source; // empty when unknown
};

QByteArray encodedSource(const QByteArray& path)
{
    QByteArray out = path;
    return out.replace('%', "%25").replace('/', "%2F");
}

// ---- records of long source paths ------------------------------------------------------------

// The record of a source path too long for a name is ".record.<key>" in BufDir, holding the
// path's bytes; the key is made from those bytes, so a record that does not hold them is seen to
// be damaged. It is written through to the disk before the first file takes a name with its
// key, and serves every file from that path (a file waiting, the newer one being handed over):
// it goes once no file waits under such a name. Records that no name refers to any more (a kill
// before the first such name was given, or after the last one went) are removed at the next
// start.
const QByteArray RecordPrefix = ".record.";
constexpr qsizetype MaxRecordBytes = 4096;

QByteArray recordKey(const fileops::NativePath& path)
{
    return QCryptographicHash::hash(path.bytes(), QCryptographicHash::Sha256).toHex().left(32);
}

fileops::NativePath recordFile(const QByteArray& key)
{
    return fileops::NativePath(AddBackslash(BufDir)) / (RecordPrefix + key);
}

// The path the record of `key` holds; empty when there is none, or it is damaged: anything but a
// regular file under the record's name is (a link is not followed).
fileops::NativePath readRecord(const QByteArray& key)
{
    QFile in;
    if (!fileops::openRegular(recordFile(key), fileops::Links::Refuse, in))
        return {};
    const QByteArray bytes = in.read(MaxRecordBytes + 1);
    const fileops::NativePath path(bytes);
    if (bytes.isEmpty() || bytes.size() > MaxRecordBytes || recordKey(path) != key)
        return {};
    return path;
}

std::filesystem::file_type typeAt(const fileops::NativePath& path)
{
    std::error_code ec;
    return std::filesystem::symlink_status(path.bytes().toStdString(), ec).type();
}

// Removes what stands under a record's name, whatever it is: only this program gives such names
// in BufDir. A folder goes with all it holds; a link is removed, never what it points to.
bool removeRecord(const fileops::NativePath& record, QString* error = nullptr)
{
    if (typeAt(record) != std::filesystem::file_type::directory)
        return fileops::remove(record, error);
    std::error_code ec;
    std::filesystem::remove_all(record.bytes().toStdString(), ec);
    if (!ec)
        return true;
    const QString why = QStringLiteral("%1 cannot be removed: %2")
                            .arg(record.text(), QString::fromStdString(ec.message()));
    if (error)
        *error = why;
    else
        WriteToLog(why);
    return false;
}

// Whether something other than a regular file stands under a record's name.
bool damagedByItsKind(const fileops::NativePath& record)
{
    const std::filesystem::file_type type = typeAt(record);
    return type != std::filesystem::file_type::regular &&
           type != std::filesystem::file_type::not_found;
}

// Makes sure the record of `source` is on the disk. A regular file is replaced whole; anything
// else under the name is removed first (written through, a link would replace what it points to).
bool writeRecord(const fileops::NativePath& source, QString* error)
{
    const QByteArray key = recordKey(source);
    if (readRecord(key) == source)
        return true;
    const fileops::NativePath record = recordFile(key);
    if (damagedByItsKind(record) && !removeRecord(record, error))
        return false;
    return fileops::writeFile(record.text(), source.bytes(), error);
}

// ---- screen captures on their way in ---------------------------------------------------------

const QByteArray CapturePrefix = ".capture-";
const QByteArray CaptureSuffix = ".bmp";

// Whether `leaf` is a name ScreenCaptureFile() gives, in any run.
bool isCaptureName(const QByteArray& leaf)
{
    if (!leaf.startsWith(CapturePrefix) || !leaf.endsWith(CaptureSuffix))
        return false;
    const QByteArray pid =
        leaf.mid(CapturePrefix.size(), leaf.size() - CapturePrefix.size() - CaptureSuffix.size());
    return !pid.isEmpty() &&
           std::all_of(pid.cbegin(), pid.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

// Set while the start-up recovery runs: records are then removed at its end, once every file
// left has been looked at.
bool g_recovering = false;

// Removes the record of `source` once no file waits under a name that refers to it.
void releaseRecord(const fileops::NativePath& source);

fileops::NativePath handOverName(const HandOverName& h, const QByteArray& prefix = HandOverPrefix)
{
    const QByteArray head = prefix + QByteArray::number(h.cfg) + '.' + QByteArray::number(h.type) +
                            '.' + QByteArray::number(h.number) + '.';
    const QByteArray tail = '.' + h.extension.toUtf8().toHex() + '.';
    const QByteArray path = encodedSource(h.source.bytes());
    const fileops::NativePath folder(AddBackslash(BufDir));
    for (int n = 1;; ++n) {
        QByteArray name = head + QByteArray::number(n) + tail + path;
        if (name.size() > MaxNameBytes)
            name = head + QByteArray::number(n) + tail + '#' + recordKey(h.source);
        const fileops::NativePath candidate = folder / name;
        if (!fileops::exists(candidate))
            return candidate;
    }
}

// Whether a name given by handOverName() for `source` refers to the record of that path.
bool namesRecord(const fileops::NativePath& name, const fileops::NativePath& source)
{
    const QByteArray leaf = name.leaf();
    return !source.isEmpty() && leaf.contains('#') && leaf.endsWith('#' + recordKey(source));
}

// Gives `file` the name `target`, written by handOverName() for `source`: the record of the path
// goes to the disk first when the name refers to it.
bool moveUnderName(const fileops::NativePath& file, const fileops::NativePath& target,
                   const fileops::NativePath& source, bool copy, QString* error)
{
    if (namesRecord(target, source) && !writeRecord(source, error))
        return false;
    // A copy is flushed once, before its row is stored.
    return copy ? fileops::copy(file, target, error, fileops::Flush::Later)
                : fileops::move(file, target, error);
}

// The path of the file of folder source `cfg` that gives `key`: the file a hand-over came from,
// when its record is lost. Empty when the folder holds no such file (any more).
fileops::NativePath pathByKey(int cfg, const QByteArray& key)
{
    return FindFolderSourceFile(
        cfg, [&key](const fileops::NativePath& p) { return recordKey(p) == key; });
}

// The name's parts; the source path is read from its record when the name gives a key. When the
// record is missing or damaged (logged), the path is sought among the files of the name's
// folder source and its record written anew; it is left empty when none gives the key.
std::optional<HandOverName> parseHandOverName(const QByteArray& name,
                                              const QByteArray& prefix = HandOverPrefix)
{
    if (!name.startsWith(prefix))
        return std::nullopt;
    const QList<QByteArray> parts = name.mid(prefix.size()).split('.');
    if (parts.size() < 6)
        return std::nullopt;
    HandOverName h;
    bool ok[4] = {};
    h.cfg = parts[0].toInt(&ok[0]);
    h.type = parts[1].toInt(&ok[1]);
    h.number = parts[2].toInt(&ok[2]);
    parts[3].toInt(&ok[3]);
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || h.number < 1)
        return std::nullopt;
    h.extension = QString::fromUtf8(QByteArray::fromHex(parts[4]));
    const QByteArray path = parts.mid(5).join('.');
    if (path.startsWith('#')) {
        const QByteArray key = path.mid(1);
        h.source = readRecord(key);
        if (h.source.isEmpty()) {
            WriteToLog(QStringLiteral("The record of the source path of %1 is missing or damaged")
                           .arg(QString::fromUtf8(name)));
            h.source = pathByKey(h.cfg, key);
            if (!h.source.isEmpty()) {
                WriteToLog(QStringLiteral("Source path of %1 found again in its folder: %2")
                               .arg(QString::fromUtf8(name), h.source.text()));
                QString error;
                if (!writeRecord(h.source, &error))
                    WriteToLog(error);
            }
        }
    } else {
        h.source = fileops::NativePath(QByteArray::fromPercentEncoding(path));
    }
    return h;
}

// ---- final names -------------------------------------------------------------------------------

// Folders that took final names since they were last flushed.
QList<QByteArray> g_unflushedFolders;

void flushFinalNames()
{
    for (const QByteArray& folder : std::exchange(g_unflushedFolders, {}))
        fileops::flushFolder(fileops::NativePath(folder));
}

// A final name needs no flush of its own: the row and the flushed hand-over name let the next
// start complete the document. It still goes to the disk soon, by one flush for every document
// registered before the program is back in its event loop (at once where there is none).
void flushFinalNameSoon(const fileops::NativePath& folder)
{
    if (g_unflushedFolders.contains(folder.bytes()))
        return;
    g_unflushedFolders.append(folder.bytes());
    if (g_unflushedFolders.size() > 1)
        return;
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &flushFinalNames, Qt::QueuedConnection);
    else
        flushFinalNames();
}

// ---- files waiting for a later registration ---------------------------------------------------

struct Waiting
{
    fileops::NativePath file;
    HandOverName name; // its number is its place in the order
    // A file whose document's row was stored before a kill and that the start could not
    // complete: the document it completes. It keeps its hand-over name.
    int document = 0;
};

// Oldest first, for the documents' folder g_waitingIn.
QList<Waiting> g_waiting;
int g_lastWaiting = 0;
QString g_waitingIn;

// The files waiting in BufDir: none known yet when it is not the folder they were read from.
QList<Waiting>& waitingFiles()
{
    if (g_waitingIn != BufDir) {
        g_waiting.clear();
        g_lastWaiting = 0;
        g_waitingIn = BufDir;
    }
    return g_waiting;
}

// Keeps a file that cannot go back to its source path, taken by a newer file meanwhile, in BufDir
// until a later pass or start registers it (before that newer file, see WaitingFiles).
bool keepWaiting(const fileops::NativePath& file, HandOverName what, QString* error)
{
    waitingFiles();
    what.number = ++g_lastWaiting;
    const fileops::NativePath target = handOverName(what, WaitingPrefix);
    if (!moveUnderName(file, target, what.source, false, error))
        return false;
    waitingFiles().append({target, what});
    return true;
}

void releaseRecord(const fileops::NativePath& source)
{
    if (g_recovering || source.isEmpty())
        return;
    const fileops::NativePath record = recordFile(recordKey(source));
    if (!fileops::exists(record))
        return;
    for (const Waiting& w : std::as_const(waitingFiles())) {
        if (w.name.source == source)
            return;
    }
    // One left behind is removed at the next start.
    removeRecord(record);
}

// ---- giving a file back ----------------------------------------------------------------------

// Undoes step 1 of a hand-over: the copy is removed, a moved file goes back to its source path,
// or, when that path holds a new file by now, waits in BufDir (keepWaiting). `what` tells the
// file's source.
void giveBack(const fileops::NativePath& temp, const fileops::NativePath& source, HandOver mode,
              const HandOverName& what)
{
    QString error;
    if (mode == HandOver::Copy) {
        if (fileops::remove(temp, &error))
            releaseRecord(what.source);
        else
            WriteToLog(QStringLiteral("Copy of %1 left in the documents' folder: %2")
                           .arg(source.text(), error));
        return;
    }
    if (fileops::exists(source)) {
        if (keepWaiting(temp, what, &error))
            WriteToLog(QStringLiteral("File %1 was not registered and waits in the documents' "
                                      "folder: a newer file has taken its place")
                           .arg(what.source.text()));
        else
            WriteToLog(QStringLiteral("File %1 could not be given back and stays as %2: %3")
                           .arg(source.text(), temp.text(), error));
        return;
    }
    if (fileops::move(temp, source, &error))
        releaseRecord(what.source);
    else
        WriteToLog(QStringLiteral("File %1 could not be given back and stays as %2: %3")
                       .arg(source.text(), temp.text(), error));
}

// The hand-over itself (see RegisterDocument); `shown` is the source path the row stores and
// `origin` the one the hand-over name records: the file's first source, also when a file left by
// an interrupted hand-over is handed over again, so that a kill during that second hand-over
// still leads back to the same row and name.
int handOver(const fileops::NativePath& sourceFile, const fileops::NativePath& origin,
             const QString& shown, int cfg, int type, const QString& extension, HandOver mode,
             HandOverFailure& failure, const std::function<void(int)>& stored = {})
{
    if (g_stopped) {
        failure.reason = notRegistered(shown, DamagedDatabase);
        return 0;
    }
    const std::optional<Source> source = readSource(cfg);
    if (!source) {
        failure.reason = notRegistered(shown, QStringLiteral("source %1 does not exist").arg(cfg));
        return 0;
    }
    const int number = NextDocumentNumber();
    if (!setAsideStaleDataFiles(number, &failure.reason))
        return 0;

    const HandOverName what{cfg, type, number, extension, origin};
    const fileops::NativePath temp = handOverName(what);
    // A link would make the document change or vanish with a file elsewhere.
    const bool link = mode == HandOver::Move && fileops::isSymLink(sourceFile);
    const HandOver undo = link ? HandOver::Copy : mode;
    QString error;
    if (!moveUnderName(sourceFile, temp, origin, undo == HandOver::Copy, &error)) {
        // Named by the folder: the temporary name changes with the number, and a source that
        // retries reports each distinct reason once.
        failure.reason = notRegistered(shown, error.replace(temp.text(), AddBackslash(BufDir)));
        releaseRecord(origin);
        return 0;
    }

    try {
        rewriteWhenMxm(temp, extension);
    } catch (const std::exception& e) {
        giveBack(temp, sourceFile, undo, what);
        failure.reason = notRegistered(shown, exceptionMessage(e));
        return 0;
    }
    // The bytes reach the disk before the row that names them: a power cut must not leave a row
    // over a file whose bytes were never written, which the next start would complete. The file's
    // flush takes its newest name, the hand-over name, with it (on ext4, XFS and Btrfs a file's
    // flush commits the entry that created or renamed it).
    if (!fileops::flushBytes(temp, &error)) {
        giveBack(temp, sourceFile, undo, what);
        failure.reason = notRegistered(shown, error.replace(temp.text(), AddBackslash(BufDir)));
        return 0;
    }
    try {
        appendDocumentRow(CurrentPack, number, rowFileName(shown, source->type), cfg, type,
                          needIdOf(type, source));
    } catch (const std::exception& e) {
        giveBack(temp, sourceFile, undo, what);
        failure.reason = notRegistered(shown, exceptionMessage(e));
        failure.tableError = std::current_exception();
        if (isDamage(e))
            stopRegistry(exceptionMessage(e));
        return 0;
    }
    QString why;
    if (!databaseIntact(&why)) {
        removeDocumentRow(number);
        giveBack(temp, sourceFile, undo, what);
        stopRegistry(why);
        failure.reason = notRegistered(shown, DamagedDatabase);
        failure.tableError = damageError(why);
        return 0;
    }
    if (stored) {
        try {
            stored(number);
        } catch (const std::exception& e) {
            removeDocumentRow(number);
            giveBack(temp, sourceFile, undo, what);
            failure.reason = notRegistered(shown, exceptionMessage(e));
            return 0;
        }
    }

    // The document is registered: its row and hand-over name are on the disk, and a start after a
    // power cut completes it.
    const fileops::NativePath dataFile(DocumentFileName(number, source->type));
    const bool renamed = fileops::rename(temp, dataFile, &error);
    if (renamed)
        flushFinalNameSoon(dataFile.folder());
    if (!renamed || (link && !fileops::remove(sourceFile, &error))) {
        removeDocumentRow(number);
        giveBack(renamed ? dataFile : temp, sourceFile, undo, what);
        failure.reason = notRegistered(shown, error);
        return 0;
    }
    releaseRecord(origin);
    return number;
}

// ---- recovery at start-up ----------------------------------------------------------------------

// Whether document `number` of source `cfg` has its row, for the file `shown`, and no data file.
bool rowAwaitsFile(const HandOverName& h, int sourceType)
{
    LocalTable& files = *CheckedDataTables().files;
    auto st = ConnectionOf(files).prepare(
        QStringLiteral("SELECT \"Cfg\", \"File_name\" FROM %1 WHERE \"Number\" = ?")
            .arg(quoteSqlName(files.tableName())));
    st->bind(0, h.number);
    if (!st->step() || st->columnValue(0).toInt() != h.cfg)
        return false;
    if (!h.source.isEmpty() &&
        st->columnValue(1).toString() != rowFileName(h.source.text(), sourceType))
        return false;
    return !QFileInfo::exists(DocumentFileName(h.number, sourceType));
}

// Whether two regular files hold the same bytes (false when either cannot be read, or is no
// regular file).
bool sameBytes(const fileops::NativePath& a, const fileops::NativePath& b)
{
    QFile x, y;
    if (!fileops::openRegular(a, fileops::Links::Follow, x) ||
        !fileops::openRegular(b, fileops::Links::Follow, y))
        return false;
    constexpr qint64 Chunk = 64 * 1024;
    for (;;) {
        const QByteArray bx = x.read(Chunk);
        if (bx != y.read(Chunk) || x.error() != QFile::NoError || y.error() != QFile::NoError)
            return false;
        if (bx.size() < Chunk) // both ended here
            return true;
    }
}

// The modification time of a file (invalid when it cannot be read).
QDateTime modifiedTime(const fileops::NativePath& file)
{
    std::error_code ec;
    const auto written =
        std::filesystem::last_write_time(std::filesystem::path(file.bytes().toStdString()), ec);
    if (ec)
        return {};
    const auto ms = std::chrono::time_point_cast<std::chrono::milliseconds>(
        std::chrono::file_clock::to_sys(written));
    return QDateTime::fromMSecsSinceEpoch(ms.time_since_epoch().count());
}

// Records what the folder source would have recorded of a file it took (its memory of taken
// files), for a document registered on its behalf at start-up; nothing for other sources. Done
// before the document is complete, as the source's own pass does: a kill before it is complete
// leaves it to be completed at the next start, which records it again. A failure is logged, or
// given in `error`.
bool recordTaken(int cfg, int sourceType, const fileops::NativePath& source,
                 const QDateTime& modified, QString* error = nullptr)
{
    if (sourceType != stFolder || source.isEmpty())
        return true;
    try {
        RecordFolderFileTaken(cfg, source.text(), modified);
        return true;
    } catch (const std::exception& e) {
        const QString why = QStringLiteral("FrFiles.db: %1 not recorded: %2")
                                .arg(source.text(), exceptionMessage(e));
        if (error)
            *error = why;
        else
            WriteToLog(why);
        return false;
    }
}

// Gives a file left after its document's row was stored its final name. Its folder source
// records it first: were the file completed without that, a source leaving its files in place
// would take it a second time.
bool completeDocument(const fileops::NativePath& left, const HandOverName& h, int sourceType,
                      QString* error)
{
    // A move or copy keeps the file's time: the left file's is the source file's when taken.
    if (!recordTaken(h.cfg, sourceType, h.source, modifiedTime(left), error))
        return false;
    const QString dataFile = DocumentFileName(h.number, sourceType);
    if (!fileops::rename(left, dataFile, error) || !fileops::flushToDisk(dataFile, error))
        return false;
    WriteToLog(
        QStringLiteral("Document %1 completed after an interrupted hand-over").arg(h.number));
    return true;
}

enum class Recovery {
    Done,     // the document is complete, or the file dropped (its source offers it again)
    Waits,    // it cannot be placed now: it waits for a pass of its source, or the next start
    Unplaced, // nothing tells where it belongs
};

// Registers a file left by a hand-over cut short as a new document of source `h.cfg`, of type
// `sourceType`; when that cannot be done now, the file waits.
Recovery registerLeft(const fileops::NativePath& left, const HandOverName& h, int sourceType)
{
    // Given back to its own name when stored anew fails, so that it is recovered as a whole.
    HandOverFailure failure;
    const QString shown = h.source.isEmpty() ? left.text() : h.source.text();
    const QDateTime modified = modifiedTime(left);
    const int number =
        handOver(left, h.source, shown, h.cfg, h.type, h.extension, HandOver::Move, failure,
                 [&](int) { recordTaken(h.cfg, sourceType, h.source, modified); });
    if (number != 0) {
        WriteToLog(QStringLiteral("Document %1 registered from an interrupted hand-over of %2")
                       .arg(number)
                       .arg(shown));
        return Recovery::Done;
    }
    // A cause that passes (another program holding the database, a full disk): the file waits
    // as one given back does, after the files already waiting.
    WriteToLog(failure.reason);
    QString error;
    if (keepWaiting(left, h, &error))
        WriteToLog(QStringLiteral("File %1 waits in the documents' folder").arg(shown));
    else
        WriteToLog(QStringLiteral("File %1 stays as %2 until the next start: %3")
                       .arg(shown, left.text(), error));
    return Recovery::Waits;
}

// Completes or registers again one file left under a hand-over name.
Recovery recoverOne(const fileops::NativePath& left, const HandOverName& h)
{
    const std::optional<Source> source = readSource(h.cfg);
    if (!source)
        return Recovery::Unplaced;
    QString error;
    if (rowAwaitsFile(h, source->type)) {
        if (completeDocument(left, h, source->type, &error))
            return Recovery::Done;
        WriteToLog(QStringLiteral("Document %1 not completed: %2").arg(h.number).arg(error));
        waitingFiles().append({left, h, h.number});
        return Recovery::Waits;
    }
    // A copy, or a move across file systems cut short before the source was removed: the source
    // still offers the same file, and taking both would make two documents of it.
    if (!h.source.isEmpty() && sameBytes(left, h.source)) {
        if (fileops::remove(left, &error)) {
            WriteToLog(
                QStringLiteral("Interrupted hand-over of %1 dropped: the file is still there")
                    .arg(h.source.text()));
            return Recovery::Done;
        }
        WriteToLog(error);
        return Recovery::Unplaced;
    }
    return registerLeft(left, h, source->type);
}

// A capture the screen source had written, and not yet handed over, when the program was killed:
// it becomes a document of the screen source, as it was about to.
Recovery recoverCapture(const fileops::NativePath& left)
{
    const ScreenSourceRow screen = FirstScreenSource();
    if (screen.number == 0)
        return Recovery::Unplaced;
    return registerLeft(left, HandOverName{screen.number, 0, 0, screen.extension, left}, stScreen);
}

// Moves a file the program cannot place into WorkPath + "recovered/"; `what` says where it was
// found, for the log.
void keepInRecoveryFolder(const fileops::NativePath& left,
                          const QString& what = QStringLiteral("left by an interrupted hand-over"))
{
    const QString folder = AddBackslash(WorkPath) + QStringLiteral("recovered");
    QString error;
    try {
        CheckDirectory(folder, true);
    } catch (const std::exception& e) {
        error = exceptionMessage(e);
    }
    // Visible there: the dot goes.
    QByteArray name = left.leaf();
    while (name.startsWith('.'))
        name.remove(0, 1);
    fileops::NativePath target = fileops::NativePath(folder) / name;
    for (int n = 2; fileops::exists(target); ++n)
        target = fileops::NativePath(folder) / (name + '-' + QByteArray::number(n));
    if (error.isEmpty() && fileops::move(left, target, &error))
        WriteToLog(
            QStringLiteral("File %1 %2 is kept as %3").arg(left.text(), what, target.text()));
    else
        WriteToLog(
            QStringLiteral("File %1 %2 could not be kept aside: %3").arg(left.text(), what, error));
}

// Earlier versions kept a file that could not go back to its taken source path visible in BufDir
// as "unregistered-<name>" ("-2", "-3", ... added when taken), without its source. It waits now
// as a file of the folder source that clears its folder and whose pattern takes the name, when
// there is exactly one such source; otherwise it goes to the recovery folder.
void adoptUnregistered(const QList<QByteArray>& names)
{
    if (names.isEmpty())
        return;
    struct Folder
    {
        int cfg;
        QString extension;
        QString dir;
        QString pattern;
    };
    QList<Folder> folders;
    TDataTables& t = CheckedDataTables();
    auto st = ConnectionOf(*t.cfg).prepare(
        QStringLiteral("SELECT c.\"Number\", c.\"Extension\", f.\"Dir\", f.\"Pattern\" FROM %1 c "
                       "JOIN %2 f ON f.\"Configuration\" = c.\"Number\" "
                       "WHERE c.\"Type\" = ? AND f.\"Clear\" <> 0 ORDER BY c.\"Number\"")
            .arg(quoteSqlName(t.cfg->tableName()), quoteSqlName(t.fRep->tableName())));
    st->bind(0, stFolder);
    while (st->step()) {
        Folder f{st->columnValue(0).toInt(), st->columnValue(1).toString(),
                 st->columnValue(2).toString(), st->columnValue(3).toString()};
        // A BFA source hands over its reports, never its own files.
        if (f.extension.compare(QLatin1String("BFA"), Qt::CaseInsensitive) != 0)
            folders.append(f);
    }

    const fileops::NativePath buf(BufDir);
    // In the order the files came: a move keeps a file's time.
    QList<std::pair<QDateTime, fileops::NativePath>> kept;
    for (const QByteArray& name : names) {
        const fileops::NativePath file = buf / name;
        kept.append({QFileInfo(file.text()).lastModified(), file});
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    static const QRegularExpression counted(QStringLiteral("-[0-9]+$"));
    for (const auto& [time, file] : std::as_const(kept)) {
        const QString leaf = fileops::NativePath(file.leaf()).text().mid(13);
        // The name it had, with or without what looks like the count added to it.
        QStringList guesses{leaf};
        if (leaf.contains(counted))
            guesses.prepend(QString(leaf).remove(counted));
        bool adopted = false;
        for (const QString& name : std::as_const(guesses)) {
            QList<Folder> takers;
            for (const Folder& f : std::as_const(folders)) {
                if (files::matchesWildcard(name, f.pattern))
                    takers.append(f);
            }
            if (takers.size() != 1)
                continue;
            const Folder& f = takers.first();
            const HandOverName what{f.cfg, 0, 0, f.extension,
                                    fileops::NativePath(AddBackslash(f.dir) + name)};
            QString error;
            adopted = keepWaiting(file, what, &error);
            if (!adopted)
                WriteToLog(error);
            break;
        }
        if (!adopted)
            keepInRecoveryFolder(file, QStringLiteral("left as not registered by an earlier run"));
    }
}

// The files waiting in BufDir, in their order, and the next place in it.
void readWaiting(const QList<QByteArray>& names)
{
    waitingFiles().clear();
    g_lastWaiting = 0;
    const fileops::NativePath buf(BufDir);
    for (const QByteArray& name : names) {
        const std::optional<HandOverName> h = parseHandOverName(name, WaitingPrefix);
        if (!h) {
            keepInRecoveryFolder(
                buf / name, QStringLiteral("waiting under a name that says nothing of its source"));
            continue;
        }
        g_waiting.append({buf / name, *h});
        g_lastWaiting = std::max(g_lastWaiting, h->number);
    }
    std::stable_sort(g_waiting.begin(), g_waiting.end(), [](const Waiting& a, const Waiting& b) {
        return a.name.number < b.name.number;
    });
}

// Registers a waiting file: the number, or 0 when it still waits. `stored` as for handOver.
int registerWaiting(const Waiting& w, HandOverFailure& failure,
                    const std::function<void(int)>& stored = {})
{
    const QString shown = w.name.source.isEmpty() ? w.file.text() : w.name.source.text();
    int number = 0;
    const std::optional<Source> source = w.document ? readSource(w.name.cfg) : std::nullopt;
    if (source && rowAwaitsFile(w.name, source->type)) {
        QString error;
        if (!completeDocument(w.file, w.name, source->type, &error)) {
            failure.reason =
                QStringLiteral("Document %1 not completed: %2").arg(w.document).arg(error);
            return 0;
        }
        number = w.document;
    } else {
        // A document of its own: the document it may have been a page of (or whose row it was
        // to complete) is gone.
        number = handOver(w.file, w.name.source, shown, w.name.cfg, 0, w.name.extension,
                          HandOver::Move, failure, stored);
        if (number == 0)
            return 0;
    }
    g_waiting.removeIf([&w](const Waiting& other) { return other.file == w.file; });
    releaseRecord(w.name.source);
    return number;
}

// The key a hand-over or waiting name gives instead of its source path; empty when it gives none.
QByteArray keyOf(const QByteArray& name)
{
    const qsizetype at = name.lastIndexOf(".#");
    return at < 0 || name.contains('%') ? QByteArray() : name.mid(at + 2);
}

// Removes the records (`records`: their names) to which neither a waiting file nor a file left
// under one of `leftovers` refers any more, and whatever stands under a record's name that is
// no regular file.
void removeUnusedRecords(const QList<QByteArray>& records, const QList<QByteArray>& leftovers)
{
    if (records.isEmpty())
        return;
    QSet<QByteArray> used;
    for (const Waiting& w : std::as_const(waitingFiles()))
        used.insert(keyOf(w.file.leaf()));
    const fileops::NativePath folder(BufDir);
    for (const QByteArray& name : leftovers) {
        if (fileops::exists(folder / name))
            used.insert(keyOf(name));
    }
    for (const QByteArray& record : records) {
        const fileops::NativePath at = folder / record;
        if (damagedByItsKind(at)) {
            if (removeRecord(at))
                WriteToLog(
                    QStringLiteral("%1 was not a record and has been removed").arg(at.text()));
        } else if (!used.contains(record.mid(RecordPrefix.size()))) {
            fileops::remove(at);
        }
    }
}

} // namespace

void SetRestructureRecordFileHook(RestructureRecordFileProc proc)
{
    restructureHook = proc;
}

void DeleteDocumentRow(int Number)
{
    LocalTable& files = *CheckedDataTables().files;
    auto st = ConnectionOf(files).prepare(
        QStringLiteral("DELETE FROM %1 WHERE \"Number\" = ?").arg(quoteSqlName(files.tableName())));
    st->bind(0, Number);
    st->step();
    if (files.isActive())
        files.refresh();
}

int NextDocumentNumber()
{
    return NextKeyValue(*CheckedDataTables().files, QStringLiteral("Number"));
}

bool AddFileRecord(int Pack, int Number, const QString& FileName, int Cfg, int Type)
{
    const std::optional<Source> source = Type > 0 ? std::nullopt : readSource(Cfg);
    try {
        appendDocumentRow(Pack, Number, FileName, Cfg, Type, needIdOf(Type, source));
    } catch (const std::exception& e) {
        reportRowFailure(e);
        return false;
    }
    return true;
}

int AddImportedFile(int Pack, const QString& FileName, int Cfg, int Type, const QString& Extension)
{
    rewriteWhenMxm(FileName, Extension);
    const std::optional<Source> source = Type > 0 ? std::nullopt : readSource(Cfg);
    return storeDocument(Pack, FileName, Cfg, Type, source);
}

QString ScreenCaptureFile(const QString& Folder)
{
    return AddBackslash(Folder) + QString::fromLatin1(CapturePrefix) +
           QString::number(QCoreApplication::applicationPid()) + QString::fromLatin1(CaptureSuffix);
}

int RegisterDocument(const fileops::NativePath& SourceFile, int Cfg, int Type,
                     const QString& Extension, HandOver Mode, HandOverFailure* Failure,
                     const std::function<void(int)>& Stored)
{
    HandOverFailure failure;
    const int number = handOver(SourceFile, SourceFile, SourceFile.text(), Cfg, Type, Extension,
                                Mode, failure, Stored);
    if (number == 0) {
        if (Failure)
            *Failure = failure;
        else
            ReportHandOverFailure(failure);
    }
    return number;
}

void ReportHandOverFailure(const HandOverFailure& Failure)
{
    if (!Failure.reason.isEmpty())
        WriteToLog(Failure.reason);
    if (!Failure.tableError)
        return;
    try {
        std::rethrow_exception(Failure.tableError);
    } catch (const std::exception& e) {
        reportRowFailure(e);
    }
}

QList<WaitingFile> WaitingFiles(int Cfg)
{
    QList<WaitingFile> files;
    for (const Waiting& w : std::as_const(waitingFiles())) {
        if (w.name.cfg == Cfg)
            files.append({w.file, w.name.source, w.document});
    }
    return files;
}

int RegisterWaitingFile(const WaitingFile& File, HandOverFailure* Failure)
{
    const QList<Waiting>& waiting = waitingFiles();
    const auto w = std::find_if(waiting.cbegin(), waiting.cend(),
                                [&File](const Waiting& w) { return w.file == File.file; });
    HandOverFailure failure;
    int number = 0;
    if (w == waiting.cend()) {
        failure.reason = notRegistered(File.file.text(), QStringLiteral("it is not waiting"));
    } else {
        const Waiting which = *w;
        // Gone from its waiting name (taken away, or a failed attempt could not give it back
        // and left it under its hand-over name, which the next start registers): it waits no
        // more, and no longer holds back the file now at its source path.
        if (fileops::exists(which.file))
            number = registerWaiting(which, failure);
        if (number == 0 && !fileops::exists(which.file)) {
            g_waiting.removeIf([&which](const Waiting& other) { return other.file == which.file; });
            WriteToLog(QStringLiteral("File %1 no longer waits in the documents' folder: %2 is "
                                      "gone")
                           .arg(which.name.source.text(), which.file.text()));
        }
    }
    if (number == 0) {
        if (Failure)
            *Failure = failure;
        else
            ReportHandOverFailure(failure);
    }
    return number;
}

void RecoverHandOvers()
{
    g_recovering = true;
    const auto endRecovery = qScopeGuard([] { g_recovering = false; });
    const QByteArray folder = fileops::NativePath(BufDir).bytes();
    QList<QByteArray> leftovers, waiting, unregistered, records, captures;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString(), ec)) {
        const QByteArray name = QByteArray::fromStdString(entry.path().filename().native());
        // Whatever stands under a record's name: only records are left there.
        if (name.startsWith(RecordPrefix)) {
            records.append(name);
            continue;
        }
        // Hand-overs leave files; a hidden folder or link is someone else's.
        std::error_code typeEc;
        if (entry.symlink_status(typeEc).type() != std::filesystem::file_type::regular)
            continue;
        if (name.startsWith(WaitingPrefix))
            waiting.append(name);
        else if (isCaptureName(name))
            captures.append(name);
        else if (name.startsWith('.'))
            leftovers.append(name);
        else if (name.startsWith("unregistered-"))
            unregistered.append(name);
    }

    // Files that came to wait are older than the files their sources offer now, and than those
    // a hand-over was cut short on.
    readWaiting(waiting);
    adoptUnregistered(unregistered);
    for (const Waiting& w : QList<Waiting>(g_waiting)) {
        const std::optional<Source> source = readSource(w.name.cfg);
        if (!source) {
            g_waiting.removeIf([&w](const Waiting& other) { return other.file == w.file; });
            keepInRecoveryFolder(w.file, QStringLiteral("waiting for a source that is gone"));
            continue;
        }
        HandOverFailure failure;
        const QDateTime modified = modifiedTime(w.file);
        const int number = registerWaiting(w, failure, [&](int) {
            recordTaken(w.name.cfg, source->type, w.name.source, modified);
        });
        if (number == 0) {
            WriteToLog(failure.reason); // and it waits for a pass of its source
            continue;
        }
        WriteToLog(QStringLiteral("Document %1 registered from %2, which waited in the documents' "
                                  "folder")
                       .arg(number)
                       .arg(w.name.source.text()));
    }

    QList<std::pair<fileops::NativePath, std::optional<HandOverName>>> left;
    for (const QByteArray& name : std::as_const(leftovers)) {
        const fileops::NativePath file = fileops::NativePath(folder) / name;
        // A copy (or a record) cut short before it took its name: its source still has the file.
        if ((name.startsWith("." + HandOverPrefix) || name.startsWith("." + RecordPrefix)) &&
            name.endsWith(".tmp")) {
            fileops::remove(file);
            continue;
        }
        left.append({file, parseHandOverName(name)});
    }
    // In the order they came.
    std::stable_sort(left.begin(), left.end(), [](const auto& a, const auto& b) {
        return (a.second ? a.second->number : 0) < (b.second ? b.second->number : 0);
    });
    for (const auto& [file, h] : std::as_const(left)) {
        if (!h || recoverOne(file, *h) == Recovery::Unplaced)
            keepInRecoveryFolder(file);
    }
    // Written last before the kill: no hand-over had begun.
    for (const QByteArray& name : std::as_const(captures)) {
        const fileops::NativePath file = fileops::NativePath(folder) / name;
        if (recoverCapture(file) == Recovery::Unplaced)
            keepInRecoveryFolder(file, QStringLiteral("captured for a screen source that is gone"));
    }

    removeUnusedRecords(records, leftovers);
}
