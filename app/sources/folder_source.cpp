// Folder sources: the check at start-up, the pass of every polling tick over each watched folder,
// the memory of the files a source has taken (FrFiles.db), and the BFA result files that become
// one report per patient.
#include "folder_source.h"

#include "bfareport.h"

#include <analysers/workstation.h>
#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/fileage.h>
#include <app/documents/tablehelpers.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/regional.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <platform/support/textprocs.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <chrono>

#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

namespace {

namespace fs = std::filesystem;

// File names as the file system gives them, compared without converting them to text.
using NativeName = fs::path::string_type;

#ifdef _WIN32
constexpr wchar_t PathSeparators[] = L"/\\";

QString fromNative(const NativeName& name)
{
    return QString::fromStdWString(name);
}

fs::path toNative(const QString& path)
{
    return fs::path(path.toStdWString());
}
#else
constexpr char PathSeparators[] = "/";

// A name that is not valid in the file names' encoding is read in the program's code page.
QString fromNative(const NativeName& name)
{
    return fileops::NativePath(QByteArray::fromStdString(name)).text();
}

fileops::NativePath nativePathOf(const fs::path& path)
{
    return fileops::NativePath(QByteArray::fromStdString(path.native()));
}

fs::path toNative(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}
#endif

NativeName nativeName(const QString& name)
{
    return toNative(name).native();
}

// The last part of a listed path, without copying the path first.
NativeName leafOf(const NativeName& path)
{
    const auto slash = path.find_last_of(PathSeparators);
    return slash == NativeName::npos ? path : path.substr(slash + 1);
}

bool matchesEverything(const QString& pattern)
{
    return pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
}

// The ID Source of a source (what its documents are registered with); empty when it is gone.
QString sourceExtension(int cfg)
{
    LocalTable& table = *CheckedDataTables().cfg;
    auto st = ConnectionOf(table).prepare(
        QStringLiteral("SELECT \"Extension\" FROM %1 WHERE \"Number\" = ?")
            .arg(quoteSqlName(table.tableName())));
    st->bind(0, cfg);
    return st->step() ? st->columnValue(0).toString() : QString();
}

// ---- FrFiles.db: what a source has taken -------------------------------------------------------

struct TakenFile
{
    qint64 rowid = 0;
    QString name; // its name in the folder
    QString path; // the file's real path
    int age = 0;  // its packed time when it was taken
    // The file's own time the last time it was listed with that age: a file listed again with
    // the same time needs no further look.
    qint64 listedTicks = std::numeric_limits<qint64>::min();
    quint64 pass = 0; // the last pass that found the file in the folder
};

LocalTable& frFiles()
{
    return *CheckedDataTables().FrFiles;
}

QList<TakenFile> readTakenFiles(int cfg)
{
    auto st = ConnectionOf(frFiles()).prepare(
        QStringLiteral("SELECT rowid, \"Name\", \"Date&Time\" FROM %1 WHERE \"Cfg\" = ? "
                       "ORDER BY rowid")
            .arg(quoteSqlName(frFiles().tableName())));
    st->bind(0, cfg);
    QList<TakenFile> rows;
    while (st->step()) {
        TakenFile row;
        row.rowid = st->columnValue(0).toInt64();
        row.path = st->columnValue(1).toString();
        row.age = st->columnValue(2).toInt();
        rows.append(row);
    }
    return rows;
}

// The row writes below run outside the shared cursor, which nobody else walks; it is refreshed
// once a pass has written, so that a reader of the cursor sees the rows as they are.
qint64 insertTakenFile(int cfg, const QString& path, int age)
{
    auto st = ConnectionOf(frFiles()).prepare(
        QStringLiteral("INSERT INTO %1 (\"Cfg\", \"Name\", \"Date&Time\") VALUES (?, ?, ?)")
            .arg(quoteSqlName(frFiles().tableName())));
    st->bind(0, cfg, FieldType::Integer);
    st->bind(1, path, FieldType::String);
    st->bind(2, age, FieldType::Integer);
    st->step();
    return ConnectionOf(frFiles()).lastInsertRowId();
}

void updateTakenFile(qint64 rowid, const QString& path, int age)
{
    auto st = ConnectionOf(frFiles()).prepare(
        QStringLiteral("UPDATE %1 SET \"Name\" = ?, \"Date&Time\" = ? WHERE rowid = ?")
            .arg(quoteSqlName(frFiles().tableName())));
    st->bind(0, path, FieldType::String);
    st->bind(1, age, FieldType::Integer);
    st->bind(2, rowid);
    st->step();
}

void deleteTakenFile(qint64 rowid)
{
    auto st = ConnectionOf(frFiles()).prepare(
        QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteSqlName(frFiles().tableName())));
    st->bind(0, rowid);
    st->step();
}

void refreshFrFilesCursor()
{
    if (frFiles().isActive())
        frFiles().refresh();
}

// ---- documents ---------------------------------------------------------------------------------

// Takes a document whose registration could not be completed away again: its row and data file.
void withdrawDocument(int number)
{
    const QString dataFile = FindDocumentFile(number, stFolder);
    if (!dataFile.isEmpty())
        fileops::remove(dataFile);
    DeleteDocumentRow(number);
}

// Fills in the patient of a BFA report's document as the report's summary gives it.
void storeReportPatient(int number, const BFAReport& report)
{
    LocalTable& files = *CheckedDataTables().files;
    files.setIndexName(QString());
    if (!TableActionGuarded(files, {number}))
        return;
    files.edit();
    Field* name = files.fieldByName(QStringLiteral("Patient_Nom"));
    name->setAsString(name->size() > 0 ? report.patientName.left(name->size())
                                       : report.patientName);
    if (!report.patientId.trimmed().isEmpty())
        files.fieldByName(QStringLiteral("Dossier"))
            ->setAsInteger(StrToIntDef0(report.patientId.trimmed()));
    if (report.date.isValid())
        files.fieldByName(QStringLiteral("Date"))
            ->setAsDateTime(EncodeDate(report.date.year(), report.date.month(), report.date.day()));
    if (report.time.isValid())
        files.fieldByName(QStringLiteral("Time"))
            ->setAsDateTime(
                EncodeTime(report.time.hour(), report.time.minute(), report.time.second(), 0));
    FlushTable(files, QString());
}

// ---- one watched folder ------------------------------------------------------------------------

// What one folder source keeps between passes: the files it has taken (for sources that leave
// files in place), the files that failed, and the busy watch of its folder.
class FolderWatch
{
public:
    FolderWatch(int cfg, const QString& dir) : m_cfg(cfg), m_dir(dir), m_folder(AddBackslash(dir))
    {
    }

    const QString& dir() const { return m_dir; }
    bool scan(const QString& pattern, bool clear);
    // The memory of taken files is read afresh at the next pass.
    void forgetMemory() { m_loaded = false; }

private:
    struct Listed
    {
        QString name;           // as shown and stored
        fileops::NativePath at; // as the file system spells it
        qint64 ticks;
        QDateTime modified;
    };

    bool list(const QString& pattern, bool clear, QList<Listed>& out);
    bool takeWaiting(bool clear, QSet<QByteArray>& behind);
    bool takeKept(const Listed& file);
    bool takeCleared(const Listed& file);
    bool takeBfa(const QString& path, const QString& extension);
    void forgetMissing();

    void loadMemory();
    TakenFile* remembered(const QString& name);
    void remember(const QString& name, int age, qint64 ticks, TakenFile* row);
    void unremember(const QString& name, const std::optional<TakenFile>& before);

    const QString& extension();
    bool readable(const Listed& file);
    void failed(const QString& path, const HandOverFailure& failure);
    void succeeded(const QString& path);

    int m_cfg;
    QString m_dir;
    QString m_folder; // m_dir with its trailing "/"
    bool m_loaded = false;
    // Rows of files of this folder, by the file name as the folder lists it, so that a quiet
    // pass converts no name.
    std::unordered_map<NativeName, TakenFile> m_taken;
    QList<TakenFile> m_elsewhere; // rows naming files elsewhere (the folder was changed)
    quint64 m_pass = 0;
    bool m_wrote = false;
    std::optional<QString> m_extension; // read once a pass, when a file is taken
    files::BusyWatch m_busy;
    // Files not taken, with the reasons already reported and the last pass that met them: each
    // is tried again at every pass, and each reason is reported once per file.
    struct Failed
    {
        QSet<QString> reasons;
        quint64 pass = 0;
    };
    QHash<QString, Failed> m_failed;
    bool m_tableRefused = false; // the documents table refused a row in this pass
};

bool FolderWatch::scan(const QString& pattern, bool clear)
{
    ++m_pass;
    m_wrote = false;
    m_extension.reset();
    m_tableRefused = false;
    // Paths at which an older file still waits: the newer file there waits with it.
    QSet<QByteArray> behind;
    bool registered = takeWaiting(clear, behind);
    // After the waiting files: completing a document records it in the memory of taken files.
    if (!clear)
        loadMemory();
    QList<Listed> candidates;
    const bool listed = list(pattern, clear, candidates);
    for (const Listed& file : std::as_const(candidates)) {
        // Once the documents table refused a row, the other files would wait for the same table,
        // each as long: they wait a pass.
        if (m_tableRefused)
            break;
        if (behind.contains(file.at.bytes()))
            continue;
        registered = (clear ? takeCleared(file) : takeKept(file)) || registered;
    }
    if (!clear && listed)
        forgetMissing();
    if (m_wrote)
        refreshFrFilesCursor();
    if (listed && !m_tableRefused)
        m_failed.removeIf([this](const auto& entry) { return entry.value().pass != m_pass; });
    return registered;
}

// The source's files waiting in the documents' folder, oldest first; `behind` receives the paths
// of those that still wait.
bool FolderWatch::takeWaiting(bool clear, QSet<QByteArray>& behind)
{
    bool registered = false;
    for (const WaitingFile& file : WaitingFiles(m_cfg)) {
        const QString path = file.source.text();
        if (m_tableRefused) {
            behind.insert(file.source.bytes());
            continue;
        }
        HandOverFailure failure;
        const int number = RegisterWaitingFile(file, &failure);
        if (number == 0) {
            if (!failure.reason.isEmpty() || failure.tableError)
                failed(path, failure);
            // One that is gone is no longer waiting (see RegisterWaitingFile).
            if (fileops::exists(file.file))
                behind.insert(file.source.bytes());
            continue;
        }
        registered = true;
        succeeded(path);
        // The source's memory is of the file now at that path, or the registry recorded the
        // document it completed.
        if (!clear || file.document)
            continue;
        try {
            insertTakenFile(
                m_cfg, path,
                PackFileTime(QFileInfo(FindDocumentFile(number, stFolder)).lastModified()));
            m_wrote = true;
        } catch (const std::exception& e) {
            WriteToLog(
                QStringLiteral("FrFiles.db: %1 not recorded: %2").arg(path, exceptionMessage(e)));
        }
    }
    return registered;
}

// The folder's files that may need taking, in the order the folder lists them. Files that a
// source leaving files in place has seen before with the same time are not among them.
bool FolderWatch::list(const QString& pattern, bool clear, QList<Listed>& out)
{
    if (m_dir.isEmpty())
        return false;
    const bool everything = matchesEverything(pattern);
    std::error_code ec;
    fs::directory_iterator it(toNative(m_dir), fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return false; // a missing folder: the source turns passive at the next check
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const fs::directory_entry& entry = *it;
        const NativeName leaf = leafOf(entry.path().native());
        if (leaf.empty() || leaf.front() == '.')
            continue;
        std::error_code entryEc;
        if (!entry.is_regular_file(entryEc))
            continue;
        const auto written = entry.last_write_time(entryEc);
        if (entryEc)
            continue; // gone meanwhile
        const qint64 ticks = qint64(written.time_since_epoch().count());
        if (!clear) {
            // Taken already and unchanged since (a changed mask comes with a new memory).
            const auto known = m_taken.find(leaf);
            if (known != m_taken.end() && known->second.listedTicks == ticks) {
                known->second.pass = m_pass;
                continue;
            }
        }
        const QString name = fromNative(leaf);
        if (!everything && !files::matchesWildcard(name, pattern))
            continue;
        const auto ms = std::chrono::time_point_cast<std::chrono::milliseconds>(
            std::chrono::file_clock::to_sys(written));
        out.append({name, nativePathOf(entry.path()), ticks,
                    QDateTime::fromMSecsSinceEpoch(ms.time_since_epoch().count())});
    }
    return true;
}

bool FolderWatch::takeKept(const Listed& file)
{
    const QString path = m_folder + file.name;
    const int age = PackFileTime(file.modified);
    if (age == -1)
        return false;
    TakenFile* row = remembered(file.name);
    if (row) {
        row->pass = m_pass;
        if (row->age == age) {
            if (row->path != path)
                remember(file.name, age, file.ticks, row); // a row spelt in another case
            else
                row->listedTicks = file.ticks;
            return false;
        }
    }
    if (!readable(file) || m_busy.isBusy(file.at))
        return false;
    // Remembered once the document's row is stored, before its file takes its final name: a kill
    // from there on leaves a document that the next start completes. A failure after that takes
    // the memory back, leaving the file to be taken.
    const std::optional<TakenFile> before = row ? std::optional<TakenFile>(*row) : std::nullopt;
    bool recorded = false;
    HandOverFailure failure;
    const int number =
        RegisterDocument(file.at, m_cfg, 0, extension(), HandOver::Copy, &failure, [&](int) {
            remember(file.name, age, file.ticks, row);
            recorded = true;
        });
    if (number == 0) {
        if (recorded)
            unremember(file.name, before);
        failed(path, failure);
        return false;
    }
    m_busy.forget(file.at);
    succeeded(path);
    return true;
}

bool FolderWatch::takeCleared(const Listed& file)
{
    const QString path = m_folder + file.name;
    if (!readable(file) || m_busy.isBusy(file.at))
        return false;
    const int age = PackFileTime(file.modified);
    const QString& ext = extension();
    bool taken = false;
    if (codepage::upper(ext) == QLatin1String("BFA")) {
        taken = takeBfa(path, ext);
    } else {
        HandOverFailure failure;
        taken = RegisterDocument(file.at, m_cfg, 0, ext, HandOver::Move, &failure) != 0;
        if (!taken)
            failed(path, failure);
    }
    if (!taken)
        return false;
    m_busy.forget(file.at);
    succeeded(path);
    try {
        insertTakenFile(m_cfg, path, age);
        m_wrote = true;
    } catch (const std::exception& e) {
        WriteToLog(
            QStringLiteral("FrFiles.db: %1 not recorded: %2").arg(path, exceptionMessage(e)));
    }
    return true;
}

// A BFA result file: converted from a copy in the program's own work folder (the watched folder
// would list the reports as new files), each report registered, and only then the original
// removed. When a report cannot be registered, the reports registered before it are withdrawn
// and the original stays for a later attempt.
bool FolderWatch::takeBfa(const QString& path, const QString& extension)
{
    if (!QFileInfo(m_dir).isWritable()) {
        failed(path, {QStringLiteral("BFA file %1 not taken: it could not be removed from its "
                                     "folder")
                          .arg(path),
                      {}});
        return false;
    }
    const QString work = AddBackslash(WorkPath) + QStringLiteral("bfa_work");
    const QString copy = AddBackslash(work) + QStringLiteral("input.bfa");
    QList<BFAReport> reports;
    try {
        CheckDirectory(work, true);
        QString error;
        if (!fileops::copy(path, copy, &error))
            throw EInOutError(error);
        reports = ReadBFAFile(copy);
    } catch (const std::exception& e) {
        if (QFileInfo::exists(copy))
            fileops::remove(copy);
        failed(
            path,
            {QStringLiteral("BFA file %1 not converted: %2").arg(path, exceptionMessage(e)), {}});
        return false;
    }

    QList<int> numbers;
    for (const BFAReport& report : std::as_const(reports)) {
        HandOverFailure failure;
        const int number =
            RegisterDocument(report.fileName, m_cfg, 0, extension, HandOver::Move, &failure);
        if (number == 0) {
            failure.reason = QStringLiteral("BFA file %1 not taken: report %2 of %3 was not "
                                            "registered (%4)")
                                 .arg(path)
                                 .arg(numbers.size() + 1)
                                 .arg(reports.size())
                                 .arg(failure.reason);
            for (const int done : std::as_const(numbers)) {
                try {
                    withdrawDocument(done);
                } catch (const std::exception& e) {
                    WriteToLog(QStringLiteral("Document %1 of BFA file %2 not withdrawn: %3")
                                   .arg(done)
                                   .arg(path, exceptionMessage(e)));
                }
            }
            for (const BFAReport& r : std::as_const(reports)) {
                if (QFileInfo::exists(r.fileName))
                    fileops::remove(r.fileName);
            }
            failed(path, failure);
            return false;
        }
        numbers.append(number);
    }
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        try {
            storeReportPatient(numbers.at(i), reports.at(i));
        } catch (const std::exception& e) {
            // The document stands without its patient; the file must still leave the folder.
            WriteToLog(QStringLiteral("Document %1: patient of BFA report not stored: %2")
                           .arg(numbers.at(i))
                           .arg(exceptionMessage(e)));
        }
    }

    QString error;
    if (!fileops::remove(path, &error))
        WriteToLog(
            QStringLiteral("BFA file %1 registered but left in its folder: %2").arg(path, error));
    for (const int number : std::as_const(numbers))
        Workstation().RefreshDocuments(number);
    return true;
}

// Rows of files that no longer exist are dropped; the same name appearing later is new.
void FolderWatch::forgetMissing()
{
    // A folder that has gone (a share offline) says nothing about its files.
    if (!QFileInfo(m_dir).isDir())
        return;
    const auto gone = [this](const TakenFile& row) {
        if (row.pass == m_pass || QFileInfo::exists(row.path))
            return false;
        try {
            deleteTakenFile(row.rowid);
            m_wrote = true;
        } catch (const std::exception& e) {
            WriteToLog(QStringLiteral("FrFiles.db: %1 not dropped: %2")
                           .arg(row.path, exceptionMessage(e)));
        }
        return true;
    };
    std::erase_if(m_taken, [&gone](const auto& entry) { return gone(entry.second); });
    m_elsewhere.removeIf(gone);
}

void FolderWatch::loadMemory()
{
    if (m_loaded)
        return;
    m_taken.clear();
    m_elsewhere.clear();
    for (const TakenFile& row : readTakenFiles(m_cfg)) {
        const bool here = row.path.startsWith(m_folder, Qt::CaseInsensitive) &&
                          !row.path.mid(m_folder.size()).contains(QLatin1Char('/'));
        TakenFile taken = row;
        taken.name = row.path.mid(m_folder.size());
        if (!here || !m_taken.try_emplace(nativeName(taken.name), taken).second)
            m_elsewhere.append(row);
    }
    m_loaded = true;
}

// Takes back what remember() recorded of the file `name`: its row as it was `before`, or none.
void FolderWatch::unremember(const QString& name, const std::optional<TakenFile>& before)
{
    const auto now = m_taken.find(nativeName(name));
    if (now == m_taken.end())
        return;
    try {
        if (before)
            updateTakenFile(before->rowid, before->path, before->age);
        else
            deleteTakenFile(now->second.rowid);
        m_wrote = true;
    } catch (const std::exception& e) {
        WriteToLog(QStringLiteral("FrFiles.db: %1 not taken back: %2")
                       .arg(now->second.path, exceptionMessage(e)));
    }
    m_taken.erase(now);
    if (before)
        m_taken.insert_or_assign(nativeName(before->name), *before);
}

// The row of a file: the one with its exact name, else one whose name differs only in case and
// whose own file is gone (rows written under another spelling of the same file).
TakenFile* FolderWatch::remembered(const QString& name)
{
    const auto exact = m_taken.find(nativeName(name));
    if (exact != m_taken.end())
        return &exact->second;
    for (auto& [key, row] : m_taken) {
        if (codepage::sameText(row.name, name) && !QFileInfo::exists(row.path))
            return &row;
    }
    return nullptr;
}

// Records that the file `name` was taken (or found unchanged) with this age, under its real path.
void FolderWatch::remember(const QString& name, int age, qint64 ticks, TakenFile* row)
{
    TakenFile updated = row ? *row : TakenFile();
    const QString oldName = row ? row->name : QString();
    updated.name = name;
    updated.path = m_folder + name;
    updated.age = age;
    updated.listedTicks = ticks;
    updated.pass = m_pass;
    try {
        if (row)
            updateTakenFile(updated.rowid, updated.path, age);
        else
            updated.rowid = insertTakenFile(m_cfg, updated.path, age);
        m_wrote = true;
    } catch (const std::exception& e) {
        // Kept in memory all the same, so the file is not taken again while the program runs.
        WriteToLog(QStringLiteral("FrFiles.db: %1 not recorded: %2")
                       .arg(updated.path, exceptionMessage(e)));
    }
    if (row && oldName != name)
        m_taken.erase(nativeName(oldName));
    m_taken.insert_or_assign(nativeName(name), updated);
}

const QString& FolderWatch::extension()
{
    if (!m_extension)
        m_extension = sourceExtension(m_cfg);
    return *m_extension;
}

// A file that cannot be read is not taken (a move would carry it in all the same).
bool FolderWatch::readable(const Listed& file)
{
    if (fileops::isReadable(file.at))
        return true;
    if (fileops::exists(file.at))
        failed(
            m_folder + file.name,
            {QStringLiteral("File %1 not taken: it cannot be read").arg(m_folder + file.name), {}});
    return false;
}

// Reports a failure the first time this file meets it; the file is tried again at every pass.
void FolderWatch::failed(const QString& path, const HandOverFailure& failure)
{
    Failed& f = m_failed[path];
    f.pass = m_pass;
    m_tableRefused = m_tableRefused || bool(failure.tableError);
    if (!f.reasons.contains(failure.reason)) {
        f.reasons.insert(failure.reason);
        ReportHandOverFailure(failure);
    }
}

void FolderWatch::succeeded(const QString& path)
{
    m_failed.remove(path);
}

// The sources' memories, by source number.
std::map<int, std::unique_ptr<FolderWatch>>& watches()
{
    static std::map<int, std::unique_ptr<FolderWatch>> all;
    return all;
}

FolderWatch& watchFor(int cfg, const QString& dir)
{
    std::unique_ptr<FolderWatch>& watch = watches()[cfg];
    if (!watch || watch->dir() != dir)
        watch = std::make_unique<FolderWatch>(cfg, dir);
    return *watch;
}

bool folderExists(const QString& dir)
{
    return !dir.isEmpty() && QFileInfo(dir).isDir();
}

} // namespace

void CheckFileSources()
{
    TDataTables& t = CheckedDataTables();
    watches().clear();
    LocalTable& cfg = *t.cfg;
    LocalTable& fr = *t.fRep;
    TableAction(fr, 2);
    fr.setIndexName(QString());
    cfg.setIndexName(QStringLiteral("type_index"));
    int count = 0;
    if (TableActionGuarded(cfg, {stFolder})) {
        while (!cfg.eof() && cfg.fieldByName(QStringLiteral("Type"))->asInteger() == stFolder) {
            const int number = int(cfg.fieldByName(QStringLiteral("Number"))->asInteger());
            const bool present = fr.findKey({number}) &&
                                 folderExists(fr.fieldByName(QStringLiteral("Dir"))->asString());
            const int state = present ? 1 : 2;
            if (present)
                ++count;
            if (cfg.fieldByName(QStringLiteral("State"))->asInteger() != state) {
                cfg.edit();
                cfg.fieldByName(QStringLiteral("State"))->setAsInteger(state);
                FlushTable(cfg, QString());
            }
            cfg.next();
        }
    }
    FileSourceCount = count;
}

bool PollFileSources()
{
    if (!CheckTables())
        return false;
    TDataTables& t = CheckedDataTables();
    struct Source
    {
        int number;
        QString dir;
        QString pattern;
        bool clear;
    };
    QList<Source> sources;
    {
        auto st = ConnectionOf(*t.cfg).prepare(
            QStringLiteral("SELECT c.\"Number\", f.\"Dir\", f.\"Pattern\", f.\"Clear\" FROM %1 c "
                           "JOIN %2 f ON f.\"Configuration\" = c.\"Number\" "
                           "WHERE c.\"Type\" = ? AND c.\"State\" = 1 ORDER BY c.\"Number\"")
                .arg(quoteSqlName(t.cfg->tableName()), quoteSqlName(t.fRep->tableName())));
        st->bind(0, stFolder);
        while (st->step())
            sources.append({st->columnValue(0).toInt(), st->columnValue(1).toString(),
                            st->columnValue(2).toString(), st->columnValue(3).toBool()});
    }
    bool registered = false;
    for (const Source& s : std::as_const(sources))
        registered = ScanFileSource(s.number, s.dir, s.pattern, s.clear) || registered;
    return registered;
}

bool ScanFileSource(int Cfg, const QString& Dir, const QString& Pattern, bool Clear)
{
    return watchFor(Cfg, Dir).scan(Pattern, Clear);
}

void RecordFolderFileTaken(int Cfg, const QString& Path, const QDateTime& Modified)
{
    TDataTables& t = CheckedDataTables();
    auto source = ConnectionOf(*t.fRep).prepare(
        QStringLiteral("SELECT \"Clear\" FROM %1 WHERE \"Configuration\" = ?")
            .arg(quoteSqlName(t.fRep->tableName())));
    source->bind(0, Cfg);
    if (!source->step())
        return;
    const bool clear = source->columnValue(0).toBool();
    const int age = PackFileTime(Modified);
    qint64 row = 0;
    if (!clear) {
        auto known = ConnectionOf(frFiles()).prepare(
            QStringLiteral("SELECT rowid FROM %1 WHERE \"Cfg\" = ? AND \"Name\" = ?")
                .arg(quoteSqlName(frFiles().tableName())));
        known->bind(0, Cfg);
        known->bind(1, Path);
        if (known->step())
            row = known->columnValue(0).toInt64();
    }
    if (row)
        updateTakenFile(row, Path, age);
    else
        insertTakenFile(Cfg, Path, age);
    refreshFrFilesCursor();
    // Also called from within the source's own pass (a waiting file completing its document).
    if (const auto watch = watches().find(Cfg); watch != watches().end())
        watch->second->forgetMemory();
}

fileops::NativePath
FindFolderSourceFile(int Cfg, const std::function<bool(const fileops::NativePath&)>& Matches)
{
    TDataTables& t = CheckedDataTables();
    auto st = ConnectionOf(*t.cfg).prepare(
        QStringLiteral("SELECT f.\"Dir\" FROM %1 c JOIN %2 f ON f.\"Configuration\" = c.\"Number\" "
                       "WHERE c.\"Number\" = ? AND c.\"Type\" = ?")
            .arg(quoteSqlName(t.cfg->tableName()), quoteSqlName(t.fRep->tableName())));
    st->bind(0, Cfg);
    st->bind(1, stFolder);
    if (!st->step())
        return {};
    const QString dir = st->columnValue(0).toString();
    if (dir.isEmpty())
        return {};
    // Listed as the pass lists the folder, so that each path has the bytes it had then.
    std::error_code ec;
    fs::directory_iterator it(toNative(dir), fs::directory_options::skip_permission_denied, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const fileops::NativePath path = nativePathOf(it->path());
        if (Matches(path))
            return path;
    }
    return {};
}
