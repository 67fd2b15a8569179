// Virtual-printer sources: the check at start-up, the pass of every polling tick over the spool
// folder in its two layouts, the hand-over of a job's pages to the document registry, queue
// control and printing through.
#include "printer_source.h"

#include "spoolfiles.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/metafile.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/printqueue.h>
#include <platform/support/docfiles.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSet>

namespace {

constexpr int SettledPasses = 3;
constexpr int EmptyJobPasses = 60;
// A job whose hand-over failed is tried again after this many passes, unless it changes first.
constexpr int RetryPasses = 60;

// What the passes remember.
struct SpoolState
{
    // Passes in a row that found every job file with a size; not reset after a job is taken.
    int settleCount = 0;
    // Job files found empty, with the passes in a row they have been so.
    QHash<QString, int> emptyPasses;
    // Jobs whose hand-over failed: the size and time their file had then, and the passes since.
    struct Failed
    {
        QPair<qint64, qint64> stamp;
        int passes = 0;
    };
    QHash<QString, Failed> failed;
    // Jobs taken whose files could not be removed, with their size and time: never taken twice.
    QHash<QString, QPair<qint64, qint64>> takenLeft;
    files::BusyWatch busy;
    bool toldNoSpoolDir = false;
    // The missing spool folder last logged: said once, and again once it has been found.
    QString toldMissing;
};

SpoolState& state()
{
    static SpoolState s;
    return s;
}

TPrinterOpener& printerOpener()
{
    static TPrinterOpener opener;
    return opener;
}

void trace(const QString& text)
{
    if (DebugMode)
        WriteToLog(text);
}

QPair<qint64, qint64> stampOf(const QString& path)
{
    const QFileInfo info(path);
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

// The active virtual-printer sources that have their parameters, in the order of type_index.
QList<TPrinterSource> activeSources()
{
    TDataTables& t = CheckedDataTables();
    auto st = ConnectionOf(*t.cfg).prepare(
        QStringLiteral("SELECT p.\"Configuration\", p.\"Work_name\", p.\"NameForPrint\" FROM %1 c "
                       "JOIN %2 p ON p.\"Configuration\" = c.\"Number\" WHERE c.\"Type\" = ? AND "
                       "c.\"State\" = 1 ORDER BY c.\"Type\", c.rowid")
            .arg(quoteSqlName(t.cfg->tableName()), quoteSqlName(t.prn->tableName())));
    st->bind(0, stPrinter);
    QList<TPrinterSource> sources;
    while (st->step())
        sources.append({st->columnValue(0).toInt(), st->columnValue(1).toString(),
                        st->columnValue(2).toString()});
    return sources;
}

int countActiveSources()
{
    TDataTables& t = CheckedDataTables();
    auto st = ConnectionOf(*t.cfg).prepare(
        QStringLiteral("SELECT count(*) FROM %1 WHERE \"Type\" = ? AND \"State\" = 1")
            .arg(quoteSqlName(t.cfg->tableName())));
    st->bind(0, stPrinter);
    return st->step() ? st->columnValue(0).toInt() : 0;
}

void storePageCount(int number, int pages)
{
    LocalTable& files = *CheckedDataTables().files;
    auto st = ConnectionOf(files).prepare(
        QStringLiteral("UPDATE %1 SET \"Pages\" = ? WHERE \"Number\" = ?")
            .arg(quoteSqlName(files.tableName())));
    st->bind(0, pages);
    st->bind(1, number);
    st->step();
    if (files.isActive())
        files.refresh();
}

// A file another program still writes, or one this program cannot read, is left for later.
bool unavailable(const QString& path)
{
    return state().busy.isBusy(path) || !QFileInfo(path).isReadable();
}

// The file `name` in the spool folder, found whatever the case of its name; empty when there is
// no such file (a name a job file gives may also be empty, ".." or a folder's).
QString spoolFile(const QString& folder, const QString& name)
{
    const QString path = name.isEmpty() ? QString() : files::findNoCase(folder, name);
    return !path.isEmpty() && QFileInfo(path).isFile() && !QFileInfo(path).isSymLink() ? path
                                                                                       : QString();
}

// ---- one job's hand-over ------------------------------------------------------------------------

struct TakenPage
{
    int number;
    QString from;
};

// Takes the pages registered so far back: their data files return where they came from and
// their rows go. A page that cannot return stays a document, so that nothing is lost.
void takeBack(const QList<TakenPage>& taken)
{
    for (auto page = taken.crbegin(); page != taken.crend(); ++page) {
        const QString data = FindDocumentFile(page->number, stPrinter);
        QString error;
        if (!data.isEmpty() && !fileops::move(data, page->from, &error)) {
            WriteToLog(QStringLiteral("Page %1 stays document %2: %3")
                           .arg(page->from)
                           .arg(page->number)
                           .arg(error));
            continue;
        }
        try {
            DeleteDocumentRow(page->number);
        } catch (const std::exception& e) {
            WriteToLog(QStringLiteral("Document %1 left without its data file: %2")
                           .arg(page->number)
                           .arg(exceptionMessage(e)));
        }
    }
}

// Registers the job's pages in order as one document; false, with everything taken back and
// the reason in `why`, when one of them cannot be. `bufNames` receives the data file names.
bool handOverJob(int cfg, const QStringList& pages, QStringList& bufNames, QString& why)
{
    QList<TakenPage> taken;
    try {
        for (const QString& page : pages) {
            const int first = taken.isEmpty() ? 0 : taken.first().number;
            const int number = RegisterDocument(page, cfg, first, QString(), HandOver::Move);
            if (number == 0) {
                takeBack(taken);
                why = QStringLiteral("page %1 could not be registered").arg(page);
                return false;
            }
            trace(QStringLiteral("MoveFile(") + page + QStringLiteral(", ") +
                  DocumentFileName(number, stPrinter));
            taken.append({number, page});
        }
        storePageCount(taken.first().number, int(taken.size()));
    } catch (const std::exception& e) {
        takeBack(taken);
        why = exceptionMessage(e);
        return false;
    }
    for (const TakenPage& page : std::as_const(taken))
        bufNames.append(QFileInfo(DocumentFileName(page.number, stPrinter)).fileName());
    return true;
}

bool removeJobFile(const QString& path)
{
    QString error;
    if (fileops::remove(path, &error))
        return true;
    WriteToLog(QStringLiteral("Print job file %1 was taken but stays: %2").arg(path, error));
    return false;
}

// ---- a pass -------------------------------------------------------------------------------------

// How a pass went: jobs it took, and whether it had to leave one of its queue for later.
struct Pass
{
    const TPrinterSource& source;
    QString folder; // the spool folder with its trailing "/"
    bool taken = false;
    bool leftBusy = false;
    QStringList bufNames;

    // A job already taken whose file could not be removed is no job any more, until its file
    // changes (the spooler may give a new job the same name).
    static bool alreadyTaken(const QString& job)
    {
        QHash<QString, QPair<qint64, qint64>>& left = state().takenLeft;
        const auto seen = left.constFind(job);
        if (seen == left.cend())
            return false;
        if (*seen == stampOf(job))
            return true;
        left.erase(seen);
        return false;
    }

    // A job of the queue whose hand-over failed waits, unchanged, for RetryPasses passes or for
    // the sources to be checked again; it counts as busy meanwhile.
    bool heldBack(const QString& job)
    {
        const auto seen = state().failed.find(job);
        if (seen == state().failed.end() || seen->stamp != stampOf(job) ||
            ++seen->passes >= RetryPasses)
            return false;
        leftBusy = true;
        return true;
    }

    // A job of the queue whose files are ready: handed over whole, then its files removed.
    void take(const QString& job, const QStringList& pages, const QStringList& jobFiles)
    {
        SpoolState& s = state();
        QString why;
        if (!handOverJob(source.Configuration, pages, bufNames, why)) {
            // Said once, however often it is tried again.
            if (!s.failed.contains(job))
                WriteToLog(
                    QStringLiteral("Print job %1 not taken, it stays in the spool folder: %2")
                        .arg(job, why));
            s.failed.insert(job, {stampOf(job), 0});
            leftBusy = true;
            return;
        }
        s.failed.remove(job);
        for (const QString& page : pages)
            s.busy.forget(page);
        bool removed = true;
        for (const QString& file : jobFiles) {
            s.busy.forget(file);
            removed = removeJobFile(file) && removed;
        }
        if (!removed && QFileInfo::exists(job))
            s.takenLeft.insert(job, stampOf(job));
        taken = true;
    }

    void readVersion1(const QStringList& jobs)
    {
        for (const QString& name : jobs) {
            const QString path = folder + name;
            trace(QStringLiteral("Fichier trouvé : ") + name);
            if (unavailable(path)) {
                leftBusy = true;
                continue;
            }
            QByteArray bytes;
            try {
                bytes = files::readWholeFile(path);
            } catch (const EInOutError&) {
                leftBusy = true;
                continue;
            }
            const SpoolV1Job job = ParseSpoolV1(bytes);
            const QString line = codepage::fromAnsi(job.line);
            if (!job.hasLine || source.Work_name.isEmpty() || !line.contains(source.Work_name) ||
                alreadyTaken(path) || heldBack(path))
                continue;
            // A job of this queue that names no page yet is still being written.
            bool ready = !job.pages.isEmpty();
            QStringList pages;
            for (const QByteArray& written : job.pages) {
                const QString page = spoolFile(folder, SpoolPageFileName(written));
                ready = ready && !page.isEmpty() && !unavailable(page);
                pages.append(page);
            }
            if (!ready) {
                leftBusy = true;
                continue;
            }
            trace(QStringLiteral("Buf : ") + line);
            take(path, pages, {path});
        }
    }

    void readVersion2()
    {
        for (const QString& name : files::matchingFiles(folder, QStringLiteral("*.shd"))) {
            const QString path = folder + name;
            trace(QStringLiteral("Fichier trouvé : ") + name);
            QByteArray shadow;
            try {
                if (unavailable(path))
                    throw EInOutError(path);
                shadow = files::readWholeFile(path);
            } catch (const EInOutError&) {
                trace(QStringLiteral("Ouverture du fichier impossible : ") + path);
                leftBusy = true;
                continue;
            }
            QString queue;
            const bool ours = ShadowNamesQueue(shadow, source.Work_name, &queue);
            trace(QStringLiteral("Buf :") + queue);
            if (!ours || alreadyTaken(path) || heldBack(path))
                continue;
            const QString spl = spoolFile(folder, name.chopped(4) + QStringLiteral(".spl"));
            trace(QStringLiteral("sSPLFileName : ") + spl);
            QStringList pages;
            QString why;
            if (spl.isEmpty() || unavailable(spl) ||
                ExtractEmfPages(spl, pages, &why) != EmfExtraction::Whole || pages.isEmpty()) {
                if (!why.isEmpty())
                    trace(why);
                leftBusy = true;
                continue;
            }
            trace(QStringLiteral("Result := true"));
            take(path, pages, {path, spl});
        }
    }
};

// Counts the passes that found every job file with a size; true once there have been enough.
// Job files that stay empty are logged once, by name, when they have held capture back long.
bool settled(const QString& folder, const QStringList& jobs)
{
    SpoolState& s = state();
    QHash<QString, int> empty;
    for (const QString& name : jobs) {
        if (QFileInfo(folder + name).size() != 0)
            continue;
        const int passes = s.emptyPasses.value(name) + 1;
        empty.insert(name, passes);
        if (passes == EmptyJobPasses)
            WriteToLog(QStringLiteral("Print job file %1 has stayed empty for %2 passes: no print "
                                      "job is taken while it is there")
                           .arg(folder + name)
                           .arg(EmptyJobPasses));
    }
    s.emptyPasses = empty;
    if (!empty.isEmpty()) {
        s.settleCount = 0;
        return false;
    }
    ++s.settleCount;
    return s.settleCount >= SettledPasses;
}

std::unique_ptr<QPrinter> installedPrinter(const QString& name)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    for (const QString& installed : QPrinterInfo::availablePrinterNames()) {
        if (installed.compare(name, Qt::CaseInsensitive) == 0) {
            printer->setPrinterName(installed);
            break;
        }
    }
    return printer;
}

} // namespace

void CheckPrinterSources()
{
    state().failed.clear();
    PrinterSourceCount = countActiveSources();
    for (const TPrinterSource& source : activeSources())
        SetPrn(source.Work_name, 2);
}

bool PollPrinterSources(const QString& SpoolDir, const QString& BufDir)
{
    bool taken = false;
    for (const TPrinterSource& source : activeSources())
        taken = ReadSpool(source, SpoolDir, BufDir) || taken;
    return taken;
}

bool ReadSpool(const TPrinterSource& Source, const QString& SpoolDir, const QString& BufDir)
{
    SpoolState& s = state();
    if (SpoolDir.trimmed().isEmpty()) {
        if (!s.toldNoSpoolDir)
            WriteToLog(QStringLiteral("No spool folder is configured ([Application] SpoolDir): "
                                      "the virtual-printer sources take nothing"));
        s.toldNoSpoolDir = true;
        return false;
    }
    Pass pass{Source, AddBackslash(SpoolDir), false, false, {}};
    if (!QFileInfo(pass.folder).isDir()) {
        if (s.toldMissing != pass.folder)
            WriteToLog(QStringLiteral("The spool folder %1 ([Application] SpoolDir) does not "
                                      "exist: the virtual-printer sources take nothing")
                           .arg(pass.folder));
        s.toldMissing = pass.folder;
        return false;
    }
    s.toldMissing.clear();
    const QStringList jobs = files::matchingFiles(pass.folder, QStringLiteral("*.spl"));
    if (jobs.isEmpty() || !settled(pass.folder, jobs))
        return false;

    trace(QStringLiteral("Version de SPOOLVER : ") + QString::number(SpoolVersion));
    if (SpoolVersion == 1)
        pass.readVersion1(jobs);
    else if (SpoolVersion == 2)
        pass.readVersion2();

    if (pass.taken && !pass.leftBusy)
        SetPrn(Source.Work_name, 3);
    if (!pass.bufNames.isEmpty() && !Source.NameForPrint.isEmpty())
        PrintEmfPages(BufDir, pass.bufNames, Source.NameForPrint);
    return pass.taken;
}

void SetPrn(const QString& PrinterName, int Action)
{
    using printqueue::Command;
    using printqueue::Outcome;
    Command command;
    switch (Action) {
    case 1:
        command = Command::Resume;
        break;
    case 2:
        command = Command::Pause;
        break;
    case 3:
        command = Command::Purge;
        break;
    default:
        return;
    }
    // An empty name is no queue of ours.
    if (PrinterName.isEmpty())
        return;
    const Outcome outcome = printqueue::current().control(PrinterName, command);
    const QString prefix = QStringLiteral("Erreur d'accès à l'imprimante virtuelle: ");
    if (outcome.kind == Outcome::NotOpened || outcome.kind == Outcome::Refused) {
        WriteToLog(outcome.reason);
        dialogService().showMessage(prefix +
                                    (outcome.kind == Outcome::NotOpened
                                         ? QStringLiteral("OPPRN ")
                                         : QStringLiteral("SETPRN ")) +
                                    QString::number(outcome.error));
    }
}

void PrintEmfPages(const QString& BufDir, const QStringList& Pages, const QString& PrinterName)
{
    const TPrinterOpener open =
        printerOpener() ? printerOpener() : TPrinterOpener(&installedPrinter);
    for (const QString& name : Pages) {
        const QString path = AddBackslash(BufDir) + name;
        EmfPicture picture;
        QString error;
        if (!picture.load(path, &error)) {
            WriteToLog(QStringLiteral("Page %1 not printed: %2").arg(path, error));
            continue;
        }
        const std::unique_ptr<QPrinter> printer = open(PrinterName);
        printer->setDocName(name);
        printer->setFullPage(true);
        QPainter painter;
        if (!painter.begin(printer.get())) {
            WriteToLog(QStringLiteral("Page %1 not printed: printer \"%2\" cannot be used")
                           .arg(path, PrinterName));
            continue;
        }
        const QRect sheet = printer->pageLayout().fullRectPixels(printer->resolution());
        picture.draw(painter, QRectF(0, 0, sheet.width(), sheet.height()));
        if (!painter.end())
            WriteToLog(QStringLiteral("Page %1 not printed: the print job failed").arg(path));
    }
}

void SetPrinterOpenerForTesting(TPrinterOpener opener)
{
    printerOpener() = std::move(opener);
}

void ResetSpoolStateForTesting()
{
    state() = SpoolState();
}
