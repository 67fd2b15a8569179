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
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <optional>

namespace {

RestructureRecordFileProc restructureHook = nullptr;

// Source types run from 1 (folder) to 5 (screen capture); each names the data files of its
// documents.
constexpr int FirstSourceType = 1;
constexpr int LastSourceType = 5;

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

// Whether the folder holds an entry of that name, a broken symbolic link included. Asked in this
// order, it takes one look at the disk.
bool nameTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.isSymLink() || info.exists();
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
bool setAsideStaleDataFiles(int number)
{
    for (int type = FirstSourceType; type <= LastSourceType; ++type) {
        const QString upper = DocumentFileName(number, type);
        const QString lower = AddBackslash(BufDir) + QFileInfo(upper).fileName().toLower();
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
                WriteToLog(QStringLiteral("Document %1 not registered: %2").arg(number).arg(error));
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

// Appends and writes the document row; true when it was stored.
bool appendDocumentRow(int pack, int number, const QString& fileName, int cfg, int type, int needId)
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
    });
    return FlushTable(files, QString());
}

// A further page never needs its own identification.
int needIdOf(int type, const std::optional<Source>& source)
{
    return type > 0 || !source ? 0 : source->needIdValue();
}

// Numbers the document, clears the way for its data file and stores its row: the number, or 0.
int storeDocument(int pack, const QString& fileName, int cfg, int type,
                  const std::optional<Source>& source)
{
    const int number = NextDocumentNumber();
    if (!setAsideStaleDataFiles(number))
        return 0;
    return appendDocumentRow(pack, number, fileName, cfg, type, needIdOf(type, source)) ? number
                                                                                        : 0;
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

// A name in BufDir for a file on its way in, hidden from listings of the folder.
QString incomingName()
{
    static quint64 counter = 0;
    const QString base = AddBackslash(BufDir) +
                         QStringLiteral(".incoming-%1-").arg(QCoreApplication::applicationPid());
    QString path;
    do {
        path = base + QString::number(++counter);
    } while (nameTaken(path));
    return path;
}

// Undoes step 1 of a hand-over: the copy is removed, a moved file goes back to its source path,
// or, when that path holds a new file by now, stays in BufDir under a visible name.
void giveBack(const QString& temp, const QString& source, HandOver mode)
{
    QString error;
    if (mode == HandOver::Copy) {
        if (!fileops::remove(temp, &error))
            WriteToLog(
                QStringLiteral("Copy of %1 left in the documents' folder: %2").arg(source, error));
        return;
    }
    QString target = source;
    if (nameTaken(source)) {
        const QString base =
            AddBackslash(BufDir) + QStringLiteral("unregistered-") + QFileInfo(source).fileName();
        target = base;
        for (int n = 2; QFileInfo::exists(target); ++n)
            target = base + QLatin1Char('-') + QString::number(n);
    }
    if (!fileops::move(temp, target, &error)) {
        WriteToLog(QStringLiteral("File %1 could not be given back and stays as %2: %3")
                       .arg(source, temp, error));
        return;
    }
    if (target != source)
        WriteToLog(
            QStringLiteral("File %1 was not registered and is kept as %2").arg(source, target));
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
    return appendDocumentRow(Pack, Number, FileName, Cfg, Type, needIdOf(Type, source));
}

int AddImportedFile(int Pack, const QString& FileName, int Cfg, int Type, const QString& Extension)
{
    rewriteWhenMxm(FileName, Extension);
    const std::optional<Source> source = Type > 0 ? std::nullopt : readSource(Cfg);
    return storeDocument(Pack, FileName, Cfg, Type, source);
}

int RegisterDocument(const QString& SourceFile, int Cfg, int Type, const QString& Extension,
                     HandOver Mode)
{
    const std::optional<Source> source = readSource(Cfg);
    if (!source) {
        WriteToLog(QStringLiteral("File %1 not registered: source %2 does not exist")
                       .arg(SourceFile)
                       .arg(Cfg));
        return 0;
    }

    const QString temp = incomingName();
    QString error;
    // A copy is flushed once, under its final name (step 4).
    const bool broughtIn = Mode == HandOver::Move
                               ? fileops::move(SourceFile, temp, &error)
                               : fileops::copy(SourceFile, temp, &error, fileops::Flush::Later);
    if (!broughtIn) {
        WriteToLog(QStringLiteral("File %1 not registered: %2").arg(SourceFile, error));
        return 0;
    }

    int number = 0;
    try {
        rewriteWhenMxm(temp, Extension);
        number = storeDocument(CurrentPack, SourceFile, Cfg, Type, source);
    } catch (...) {
        giveBack(temp, SourceFile, Mode);
        throw;
    }
    if (number == 0) {
        giveBack(temp, SourceFile, Mode);
        return 0;
    }

    // The document is registered once its bytes and its name are on the disk too.
    const QString dataFile = DocumentFileName(number, source->type);
    const bool renamed = fileops::rename(temp, dataFile, &error);
    if (!renamed || !fileops::flushToDisk(dataFile, &error)) {
        WriteToLog(QStringLiteral("File %1 not registered: %2").arg(SourceFile, error));
        removeDocumentRow(number);
        giveBack(renamed ? dataFile : temp, SourceFile, Mode);
        return 0;
    }
    return number;
}
