// Breeze sources: the check at start-up, the look at every polling tick at each source's
// current-patient file, the follow-up of Breeze files sent directly to the practice software, and
// the Breeze files a package takes along.
#include "breeze_source.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/fileage.h>
#include <app/documents/tablehelpers.h>
#include <app/patients/directsend.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/support/docfiles.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

// The first line of a current-patient file is a path; nothing longer is read.
constexpr qint64 FirstLineLimit = 4096;

// Breeze rewrites its files while the user works; a file another program has open for writing
// is looked at on a later tick.
files::BusyWatch& busyWatch()
{
    static files::BusyWatch watch;
    return watch;
}

// The first line of the current-patient file, in the program's ANSI code page.
QString readFirstLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("The Breeze current-patient file %1 cannot be read: %2")
                              .arg(path, file.errorString()));
    QByteArray line = file.readLine(FirstLineLimit);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return codepage::fromAnsi(line);
}

// The result file of the patient the current-patient file names, as it exists (empty when it
// does not); `built` receives the path as built, whether or not it exists.
QString resultFileOf(const TBreezeSource& source, const QString& firstLine,
                     QString* built = nullptr)
{
    const QString folder = QFileInfo(source.File).path();
    const QString name = BreezeBaseName(firstLine) + QLatin1Char('.') + source.Extension;
    if (built)
        *built = AddBackslash(folder) + name;
    return files::findNoCase(folder, name);
}

bool samePath(const QString& a, const QString& b)
{
    return !a.isEmpty() && codepage::sameText(a, b);
}

// Stores what a source has taken: Cur_file and Cur_time of its rcfiles.DB row.
void storeTaken(int configuration, const QString& curFile, int curTime)
{
    LocalTable& rc = *CheckedDataTables().rcfiles;
    rc.setIndexName(QString());
    if (!TableActionGuarded(rc, {configuration}))
        return;
    rc.edit();
    rc.fieldByName(QStringLiteral("Cur_file"))->setAsString(curFile);
    rc.fieldByName(QStringLiteral("Cur_time"))->setAsInteger(curTime);
    FlushTable(rc, QString());
}

TBreezeSource sourceFrom(DbStatement& st, int first)
{
    TBreezeSource s;
    s.Configuration = st.columnValue(first).toInt();
    s.File = st.columnValue(first + 1).toString();
    s.Reg = st.columnValue(first + 2).toInt();
    s.Clear = st.columnValue(first + 3).toBool();
    s.Extension = st.columnValue(first + 4).toString();
    s.Cur_file = st.columnValue(first + 5).toString();
    s.Cur_time = st.columnValue(first + 6).toInt();
    return s;
}

const QString SourceColumns = QStringLiteral(
    "r.\"Configuration\", r.\"File\", r.\"Reg\", r.\"Clear\", r.\"Extension\", r.\"Cur_file\", "
    "r.\"Cur_time\"");

// Files whose copy to the practice software failed, by path and time, so a failure is logged
// once per change of the file rather than on every tick.
QSet<QPair<QString, int>>& failedCopies()
{
    static QSet<QPair<QString, int>> failed;
    return failed;
}

} // namespace

QString BreezeBaseName(const QString& Path)
{
    const QString native = files::nativePath(Path);
    QString name = native.mid(native.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

void CheckBreezeSources()
{
    TDataTables& t = CheckedDataTables();
    LocalTable& cfg = *t.cfg;
    LocalTable& rc = *t.rcfiles;
    TableAction(rc, 2);
    rc.setIndexName(QString());
    cfg.setIndexName(QStringLiteral("type_index"));
    if (!TableActionGuarded(cfg, {stBreeze}))
        return;
    while (!cfg.eof() && cfg.fieldByName(QStringLiteral("Type"))->asInteger() == stBreeze) {
        const int oldState = int(cfg.fieldByName(QStringLiteral("State"))->asInteger());
        if (oldState == 1 || oldState == 2) {
            const int number = int(cfg.fieldByName(QStringLiteral("Number"))->asInteger());
            const bool hasRow = rc.findKey({number});
            const QString file =
                hasRow ? rc.fieldByName(QStringLiteral("File"))->asString() : QString();
            const bool present = !file.isEmpty() && QFileInfo(file).isFile();
            if (present && oldState == 2) {
                // Back from passive: the patient current now counts as taken.
                TBreezeSource source;
                source.File = file;
                source.Extension = rc.fieldByName(QStringLiteral("Extension"))->asString();
                rc.edit();
                try {
                    QString built;
                    const QString found = resultFileOf(source, readFirstLine(file), &built);
                    rc.fieldByName(QStringLiteral("Cur_file"))
                        ->setAsString(found.isEmpty() ? built : found);
                } catch (const EInOutError& e) {
                    // Start-up goes on; the time alone keeps the present patient from counting.
                    WriteToLog(e.message());
                }
                rc.fieldByName(QStringLiteral("Cur_time"))->setAsInteger(FileAge(file));
                FlushTable(rc, QString());
            }
            const int state = present ? 1 : 2;
            if (state != oldState) {
                cfg.edit();
                cfg.fieldByName(QStringLiteral("State"))->setAsInteger(state);
                FlushTable(cfg, QString());
            }
        }
        cfg.next();
    }
}

bool PollBreezeSources()
{
    if (!CheckTables())
        return false;
    TDataTables& t = CheckedDataTables();
    QList<TBreezeSource> sources;
    {
        auto st = ConnectionOf(*t.cfg).prepare(
            QStringLiteral("SELECT %1 FROM %2 c JOIN %3 r ON r.\"Configuration\" = c.\"Number\" "
                           "WHERE c.\"Type\" = ? AND c.\"State\" = 1 ORDER BY c.\"Number\"")
                .arg(SourceColumns, quoteSqlName(t.cfg->tableName()),
                     quoteSqlName(t.rcfiles->tableName())));
        st->bind(0, stBreeze);
        while (st->step())
            sources.append(sourceFrom(*st, 0));
    }
    bool registered = false;
    for (TBreezeSource& source : sources)
        registered = CheckBreezeFile(source) || registered;
    RefreshSentBreezeFiles();
    return registered;
}

bool CheckBreezeFile(TBreezeSource& Source)
{
    const int age = FileAge(Source.File);
    if (age == -1 || age == Source.Cur_time)
        return false;
    if (busyWatch().isBusy(Source.File))
        return false;
    const QString result = resultFileOf(Source, readFirstLine(Source.File));
    if (result.isEmpty() || samePath(result, Source.Cur_file))
        return false;
    // The document first, then the memory: a document that could not be stored is tried again.
    if (AddImportedFile(CurrentPack, result, Source.Configuration, 0, Source.Extension) == 0)
        return false;
    Source.Cur_file = result;
    Source.Cur_time = age;
    storeTaken(Source.Configuration, result, age);
    return true;
}

void RefreshSentBreezeFiles()
{
    if (!DirectSend)
        return;
    LocalTable& ds = *CheckedDataTables().DSFiles;
    struct Sent
    {
        int number;
        QString source;
        QString destination;
        int age;
    };
    QList<Sent> rows;
    {
        auto st = ConnectionOf(ds).prepare(
            QStringLiteral("SELECT \"Number\", \"Source file\", \"Destination file\", "
                           "\"Date&Time\" FROM %1 ORDER BY \"Number\"")
                .arg(quoteSqlName(ds.tableName())));
        while (st->step())
            rows.append({st->columnValue(0).toInt(), st->columnValue(1).toString(),
                         st->columnValue(2).toString(), st->columnValue(3).toInt()});
    }
    bool wrote = false;
    for (const Sent& row : std::as_const(rows)) {
        const bool both = QFileInfo(row.source).isFile() && QFileInfo(row.destination).isFile();
        if (!both) {
            auto st = ConnectionOf(ds).prepare(QStringLiteral("DELETE FROM %1 WHERE \"Number\" = ?")
                                                   .arg(quoteSqlName(ds.tableName())));
            st->bind(0, row.number);
            st->step();
            wrote = true;
            continue;
        }
        const int age = FileAge(row.source);
        if (age == row.age || busyWatch().isBusy(row.source) ||
            failedCopies().contains({row.source, age}))
            continue;
        QString error;
        if (!fileops::copy(row.source, row.destination, &error)) {
            failedCopies().insert({row.source, age});
            WriteToLog(QStringLiteral("Breeze file %1 not sent again: %2").arg(row.source, error));
            continue;
        }
        auto st = ConnectionOf(ds).prepare(
            QStringLiteral("UPDATE %1 SET \"Date&Time\" = ? WHERE \"Number\" = ?")
                .arg(quoteSqlName(ds.tableName())));
        st->bind(0, age, FieldType::Integer);
        st->bind(1, row.number);
        st->step();
        wrote = true;
    }
    if (wrote && ds.isActive())
        ds.refresh();
}

void PackBreezeFiles(int Pack, int Cfg, const QString& DestDir)
{
    TDataTables& t = CheckedDataTables();
    TBreezeSource source;
    {
        auto st = ConnectionOf(*t.rcfiles)
                      .prepare(QStringLiteral("SELECT %1 FROM %2 r WHERE r.\"Configuration\" = ?")
                                   .arg(SourceColumns, quoteSqlName(t.rcfiles->tableName())));
        st->bind(0, Cfg);
        if (!st->step())
            return;
        source = sourceFrom(*st, 0);
    }
    const QString folder = QFileInfo(source.File).path();

    QList<QPair<int, QString>> documents;
    {
        auto st = ConnectionOf(*t.files).prepare(
            QStringLiteral("SELECT \"Number\", \"File_name\" FROM %1 WHERE \"Pack\" = ? AND "
                           "\"Cfg\" = ? ORDER BY \"Number\"")
                .arg(quoteSqlName(t.files->tableName())));
        st->bind(0, Pack);
        st->bind(1, Cfg);
        while (st->step())
            documents.append({st->columnValue(0).toInt(), st->columnValue(1).toString()});
    }

    for (const auto& [number, fileName] : std::as_const(documents)) {
        const QString mask = BreezeBaseName(fileName) + QLatin1Char('.') + source.Extension;
        QString chosen;
        if (source.Reg == 0 || source.Reg == 1) {
            QDateTime newest;
            for (const QString& name : files::matchingFiles(folder, mask)) {
                const QString path = AddBackslash(folder) + name;
                const QDateTime time = QFileInfo(path).lastModified();
                if (chosen.isEmpty() || (source.Reg == 1 && time > newest)) {
                    chosen = path;
                    newest = time;
                }
                if (source.Reg == 0)
                    break;
            }
        } else {
            chosen = AddBackslash(folder) + mask;
        }
        if (chosen.isEmpty() || !QFileInfo(chosen).isFile()) {
            WriteToLog(QStringLiteral("Breeze file %1 of document %2 not found for package %3")
                           .arg(AddBackslash(folder) + mask)
                           .arg(number)
                           .arg(Pack));
            continue;
        }
        const QString target =
            AddBackslash(DestDir) + QFileInfo(DocumentFileName(number, stBreeze)).fileName();
        QString error;
        const bool done = source.Clear ? fileops::move(chosen, target, &error)
                                       : fileops::copy(chosen, target, &error);
        if (!done)
            throw EInOutError(error);
    }
}
