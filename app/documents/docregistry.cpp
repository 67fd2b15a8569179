// The document registry: document numbers, data file names, the document row, and the hand-over
// of a source's file into the documents' folder, which is undone whole when the row cannot be
// stored.
#include "docregistry.h"

#include "datatables.h"
#include "tablehelpers.h"

#include <app/apperror.h>
#include <app/appglobals.h>
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
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

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

void rewriteWhenMxm(const fileops::NativePath& file, const QString& extension)
{
    // The path as text only when it is needed.
    if (isMxm(extension) && restructureHook)
        restructureHook(file.text());
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
// path>", the path's "%" and "/" written as "%25" and "%2F" (left out when the name would be too
// long), so that a start after a kill can tell what it was about to become.
const QByteArray HandOverPrefix = ".handover.";
constexpr qsizetype MaxNameBytes = 250;

struct HandOverName
{
    int cfg = 0;
    int type = 0;
    int number = 0;
    QString extension;
    fileops::NativePath source; // empty when the name could not hold it
};

QByteArray encodedSource(const QByteArray& path)
{
    QByteArray out = path;
    return out.replace('%', "%25").replace('/', "%2F");
}

fileops::NativePath handOverName(const HandOverName& h)
{
    const QByteArray head = HandOverPrefix + QByteArray::number(h.cfg) + '.' +
                            QByteArray::number(h.type) + '.' + QByteArray::number(h.number) + '.';
    const QByteArray tail = '.' + h.extension.toUtf8().toHex() + '.';
    QByteArray path = encodedSource(h.source.bytes());
    const fileops::NativePath folder(AddBackslash(BufDir));
    for (int n = 1;; ++n) {
        QByteArray name = head + QByteArray::number(n) + tail + path;
        if (name.size() > MaxNameBytes)
            name = head + QByteArray::number(n) + tail;
        const fileops::NativePath candidate = folder / name;
        if (!fileops::exists(candidate))
            return candidate;
    }
}

std::optional<HandOverName> parseHandOverName(const QByteArray& name)
{
    if (!name.startsWith(HandOverPrefix))
        return std::nullopt;
    const QList<QByteArray> parts = name.mid(HandOverPrefix.size()).split('.');
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
    h.source = fileops::NativePath(QByteArray::fromPercentEncoding(path));
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

// ---- giving a file back ----------------------------------------------------------------------

// Undoes step 1 of a hand-over: the copy is removed, a moved file goes back to its source path,
// or, when that path holds a new file by now, stays in BufDir under a visible name.
void giveBack(const fileops::NativePath& temp, const fileops::NativePath& source, HandOver mode)
{
    QString error;
    if (mode == HandOver::Copy) {
        if (!fileops::remove(temp, &error))
            WriteToLog(QStringLiteral("Copy of %1 left in the documents' folder: %2")
                           .arg(source.text(), error));
        return;
    }
    fileops::NativePath target = source;
    if (fileops::exists(source)) {
        const fileops::NativePath base =
            fileops::NativePath(AddBackslash(BufDir)) / ("unregistered-" + source.leaf());
        target = base;
        for (int n = 2; fileops::exists(target); ++n)
            target = fileops::NativePath(base.bytes() + '-' + QByteArray::number(n));
    }
    if (!fileops::move(temp, target, &error)) {
        WriteToLog(QStringLiteral("File %1 could not be given back and stays as %2: %3")
                       .arg(source.text(), temp.text(), error));
        return;
    }
    if (!(target == source))
        WriteToLog(QStringLiteral("File %1 was not registered and is kept as %2")
                       .arg(source.text(), target.text()));
}

// The hand-over itself (see RegisterDocument); `shown` is the source path the row stores and
// `origin` the one the hand-over name records: the file's first source, also when a file left by
// an interrupted hand-over is handed over again, so that a kill during that second hand-over
// still leads back to the same row and name.
int handOver(const fileops::NativePath& sourceFile, const fileops::NativePath& origin,
             const QString& shown, int cfg, int type, const QString& extension, HandOver mode,
             HandOverFailure& failure)
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

    const fileops::NativePath temp = handOverName({cfg, type, number, extension, origin});
    // A link would make the document change or vanish with a file elsewhere.
    const bool link = mode == HandOver::Move && fileops::isSymLink(sourceFile);
    const HandOver undo = link ? HandOver::Copy : mode;
    QString error;
    // A copy is flushed once, before its row is stored.
    const bool broughtIn = undo == HandOver::Move
                               ? fileops::move(sourceFile, temp, &error)
                               : fileops::copy(sourceFile, temp, &error, fileops::Flush::Later);
    if (!broughtIn) {
        // Named by the folder: the temporary name changes with the number, and a source that
        // retries reports each distinct reason once.
        failure.reason = notRegistered(shown, error.replace(temp.text(), AddBackslash(BufDir)));
        return 0;
    }

    try {
        rewriteWhenMxm(temp, extension);
    } catch (const std::exception& e) {
        giveBack(temp, sourceFile, undo);
        failure.reason = notRegistered(shown, exceptionMessage(e));
        return 0;
    }
    // The bytes reach the disk before the row that names them: a power cut must not leave a row
    // over a file whose bytes were never written, which the next start would complete. The file's
    // flush takes its newest name, the hand-over name, with it (on ext4, XFS and Btrfs a file's
    // flush commits the entry that created or renamed it).
    if (!fileops::flushBytes(temp, &error)) {
        giveBack(temp, sourceFile, undo);
        failure.reason = notRegistered(shown, error.replace(temp.text(), AddBackslash(BufDir)));
        return 0;
    }
    try {
        appendDocumentRow(CurrentPack, number, rowFileName(shown, source->type), cfg, type,
                          needIdOf(type, source));
    } catch (const std::exception& e) {
        giveBack(temp, sourceFile, undo);
        failure.reason = notRegistered(shown, exceptionMessage(e));
        failure.tableError = std::current_exception();
        if (isDamage(e))
            stopRegistry(exceptionMessage(e));
        return 0;
    }
    QString why;
    if (!databaseIntact(&why)) {
        removeDocumentRow(number);
        giveBack(temp, sourceFile, undo);
        stopRegistry(why);
        failure.reason = notRegistered(shown, DamagedDatabase);
        failure.tableError = damageError(why);
        return 0;
    }

    // The document is registered: its row and hand-over name are on the disk, and a start after a
    // power cut completes it.
    const fileops::NativePath dataFile(DocumentFileName(number, source->type));
    const bool renamed = fileops::rename(temp, dataFile, &error);
    if (renamed)
        flushFinalNameSoon(dataFile.folder());
    if (!renamed || (link && !fileops::remove(sourceFile, &error))) {
        removeDocumentRow(number);
        giveBack(renamed ? dataFile : temp, sourceFile, undo);
        failure.reason = notRegistered(shown, error);
        return 0;
    }
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

// Whether two files hold the same bytes (false when either cannot be read).
bool sameBytes(const fileops::NativePath& a, const fileops::NativePath& b)
{
    std::ifstream x(a.bytes().constData(), std::ios::binary);
    std::ifstream y(b.bytes().constData(), std::ios::binary);
    if (!x || !y)
        return false;
    constexpr std::streamsize Chunk = 64 * 1024;
    std::vector<char> bx(Chunk), by(Chunk);
    for (;;) {
        x.read(bx.data(), Chunk);
        y.read(by.data(), Chunk);
        const std::streamsize n = x.gcount();
        if (n != y.gcount() || !std::equal(bx.begin(), bx.begin() + n, by.begin()))
            return false;
        if (n < Chunk) // both ended here
            return true;
    }
}

// Completes or registers again one file left under a hand-over name; false when it could not.
bool recoverOne(const fileops::NativePath& left, const HandOverName& h)
{
    const std::optional<Source> source = readSource(h.cfg);
    if (!source)
        return false;
    QString error;
    if (rowAwaitsFile(h, source->type)) {
        const QString dataFile = DocumentFileName(h.number, source->type);
        if (!fileops::rename(left, dataFile, &error) || !fileops::flushToDisk(dataFile, &error)) {
            WriteToLog(QStringLiteral("Document %1 not completed: %2").arg(h.number).arg(error));
            return false;
        }
        WriteToLog(
            QStringLiteral("Document %1 completed after an interrupted hand-over").arg(h.number));
        return true;
    }
    // A copy, or a move across file systems cut short before the source was removed: the source
    // still offers the same file, and taking both would make two documents of it.
    if (!h.source.isEmpty() && sameBytes(left, h.source)) {
        if (fileops::remove(left, &error)) {
            WriteToLog(
                QStringLiteral("Interrupted hand-over of %1 dropped: the file is still there")
                    .arg(h.source.text()));
            return true;
        }
        WriteToLog(error);
        return false;
    }
    // Given back to its own name when stored anew fails, so that it is recovered as a whole.
    HandOverFailure failure;
    const QString shown = h.source.isEmpty() ? left.text() : h.source.text();
    const int number =
        handOver(left, h.source, shown, h.cfg, h.type, h.extension, HandOver::Move, failure);
    if (number == 0) {
        WriteToLog(failure.reason);
        return false;
    }
    WriteToLog(QStringLiteral("Document %1 registered from an interrupted hand-over of %2")
                   .arg(number)
                   .arg(shown));
    return true;
}

void keepInRecoveryFolder(const fileops::NativePath& left)
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
        WriteToLog(QStringLiteral("File %1 left by an interrupted hand-over is kept as %2")
                       .arg(left.text(), target.text()));
    else
        WriteToLog(QStringLiteral("File %1 left by an interrupted hand-over could not be kept "
                                  "aside: %2")
                       .arg(left.text(), error));
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

int RegisterDocument(const fileops::NativePath& SourceFile, int Cfg, int Type,
                     const QString& Extension, HandOver Mode, HandOverFailure* Failure)
{
    HandOverFailure failure;
    const int number =
        handOver(SourceFile, SourceFile, SourceFile.text(), Cfg, Type, Extension, Mode, failure);
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

void RecoverHandOvers()
{
    const QByteArray folder = fileops::NativePath(BufDir).bytes();
    QList<QByteArray> leftovers;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString(), ec)) {
        const QByteArray name = QByteArray::fromStdString(entry.path().filename().native());
        // Hand-overs leave files; a hidden folder or link is someone else's.
        std::error_code typeEc;
        if (name.startsWith('.') &&
            entry.symlink_status(typeEc).type() == std::filesystem::file_type::regular)
            leftovers.append(name);
    }
    for (const QByteArray& name : std::as_const(leftovers)) {
        const fileops::NativePath left = fileops::NativePath(folder) / name;
        // A copy cut short before it took its hand-over name: its source still has the file.
        if (name.startsWith("." + HandOverPrefix) && name.endsWith(".tmp")) {
            fileops::remove(left);
            continue;
        }
        const std::optional<HandOverName> h = parseHandOverName(name);
        if (!h || !recoverOne(left, *h))
            keepInRecoveryFolder(left);
    }
}
