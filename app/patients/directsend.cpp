// Direct send: the import folder, the walk over the waiting documents, and the export of one
// document with its descriptor, published whole or not at all.
#include "directsend.h"

#include "practicepatients.h"

#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/fileage.h>
#include <app/documents/localtabledefs.h>
#include <app/documents/tablehelpers.h>
#include <app/mainwindow/mainform_texts.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/regional.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <translation/lc.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <cstdlib>

namespace {

// The source type of Breeze documents, whose file stays where Breeze keeps it.

QString hex(int number)
{
    return QString::number(uint(number), 16).toUpper();
}

// A cursor of the export's own over one local table, closed when it goes.
class OwnCursor
{
public:
    explicit OwnCursor(const QString& tableName)
    {
        table.setDatabase(CheckedDataTables().LocalDB);
        table.setTableName(tableName);
        table.open();
    }
    ~OwnCursor()
    {
        try {
            table.close();
        } catch (const std::exception&) {
            // Closing releases the lock whatever else fails.
        }
    }
    OwnCursor(const OwnCursor&) = delete;
    OwnCursor& operator=(const OwnCursor&) = delete;

    LocalTable table;
};

// What the export reads of a document's first row.
struct Document
{
    int number = 0;
    int cfg = 0;
    QString fileName;
    TDateTime date = 0;
    bool hasDate = false;
    TDateTime time = 0;
    bool hasTime = false;
    int pages = 1;
    int patient = 0;
    QString comment, tComment1, tComment2, patientNom;
    QString dossier; // empty when null
};

Document readDocument(const LocalTable& files)
{
    Document d;
    d.number = FieldInt(files, "Number");
    d.cfg = FieldInt(files, "Cfg");
    d.fileName = FieldText(files, "File_name");
    const Field* date = files.fieldByName(QStringLiteral("Date"));
    d.hasDate = !date->isNull();
    d.date = date->asDateTime();
    const Field* time = files.fieldByName(QStringLiteral("Time"));
    d.hasTime = !time->isNull();
    d.time = time->asDateTime();
    d.pages = FieldInt(files, "Pages");
    d.patient = FieldInt(files, "Patient");
    d.comment = FieldText(files, "Comment");
    d.tComment1 = FieldText(files, "TComment1");
    d.tComment2 = FieldText(files, "TComment2");
    d.patientNom = FieldText(files, "Patient_Nom");
    d.dossier = FieldText(files, "Dossier");
    return d;
}

struct Source
{
    int number = 0;
    int type = 0;
    QString titul;
    QString extension;
    QString dsCode; // empty when null
};

std::optional<Source> readSource(int number)
{
    OwnCursor cfg(LocalTableName::Cfg);
    if (!cfg.table.findKey({number}))
        return std::nullopt;
    Source s;
    s.number = number;
    s.type = FieldInt(cfg.table, "Type");
    s.titul = FieldText(cfg.table, "Titul");
    s.extension = FieldText(cfg.table, "Extension");
    s.dsCode = FieldText(cfg.table, "DS_CODE");
    return s;
}

// Whether a Breeze source clears its files (moves them) or leaves them (copies them).
bool breezeClears(int source)
{
    OwnCursor rc(LocalTableName::RcFiles);
    return rc.table.findKey({source}) && rc.table.fieldByName(QStringLiteral("Clear"))->asBoolean();
}

struct Patient
{
    QString nom, prenom, naissance;
};

// The patient's names; empty ones when the patient no longer exists, never another patient's.
Patient readPatient(int id)
{
    Patient p;
    if (PracticeDBInUse) {
        PatientCache& cache = PracticePatientsInUse().Patients_Global();
        cache.LoadKey(QStringLiteral("PATIENTS"), QStringLiteral("PATIENTS_ID"), id);
        const DataSet& row = cache.dataSet();
        if (!row.isEmpty() && FieldInt(row, "PATIENTS_ID") == id) {
            p.nom = FieldText(row, "NOM");
            p.prenom = FieldText(row, "PRENOM");
            p.naissance = FieldText(row, "NE_LE");
        }
        return p;
    }
    OwnCursor patients(LocalTableName::Patients);
    if (patients.table.findKey({id})) {
        p.nom = FieldText(patients.table, "Nom");
        p.prenom = FieldText(patients.table, "Prenom");
        p.naissance = FieldText(patients.table, "Date de naissance");
    }
    return p;
}

// The names taken in a subfolder, compared without regard to case, and the first free numbers.
class ExportNames
{
public:
    ExportNames(const QString& folder, const QString& extension) : m_extension(extension)
    {
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names)
            m_taken.insert(name.toCaseFolded());
    }

    // The first n whose data name and descriptor name are both free; both are taken from then on.
    int take()
    {
        for (int n = 1;; ++n) {
            const QString data = dataName(n).toCaseFolded();
            const QString descriptor = descriptorName(n).toCaseFolded();
            if (m_taken.contains(data) || m_taken.contains(descriptor))
                continue;
            m_taken.insert(data);
            m_taken.insert(descriptor);
            return n;
        }
    }

    QString dataName(int n) const { return hex(n) + QLatin1Char('.') + m_extension; }
    static QString descriptorName(int n) { return hex(n) + QStringLiteral(".QVX"); }

private:
    QString m_extension;
    QSet<QString> m_taken;
};

// One page on its way: where it comes from, its hidden name in the subfolder and its final name.
struct Page
{
    int number = 0; // its FILES.DB row
    int n = 0;      // its exported number
    QString source; // its file
    bool removeSource = true;
    QString staged; // hidden copy
    QString target; // final path
    QString name;   // final name, as the descriptor lists it
    bool named = false;
};

// A hidden name in the subfolder: no listing of *.<extension> or *.QVX sees it.
QString hiddenName(const QString& folder, const QString& finalName)
{
    return folder + QStringLiteral(".qvx-%1-").arg(QCoreApplication::applicationPid()) + finalName +
           QStringLiteral(".part");
}

// A descriptor value on one line: the INI format cannot carry a line break.
QString oneLine(QString value)
{
    value.replace(QLatin1String("\r\n"), QLatin1String(" "));
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return value;
}

// The comment on one line: each line break becomes a vertical bar.
QString commentLine(QString value)
{
    value.replace(QLatin1String("\r\n"), QLatin1String("|"));
    value.replace(QLatin1Char('\r'), QLatin1Char('|'));
    value.replace(QLatin1Char('\n'), QLatin1Char('|'));
    return value;
}

QString dayText(const Document& d)
{
    if (!d.hasDate)
        return QString();
    // Always day/month/year with "/", whatever the regional settings say.
    FormatSettings fs = regional();
    fs.dateSeparator = QLatin1Char('/');
    return FormatDateTime(QStringLiteral("dd/mm/yyyy"), d.date, fs);
}

QString timeText(const Document& d)
{
    return d.hasTime ? TimeToStr(d.time) : QString();
}

QByteArray descriptorBytes(const Document& d, const Source& s, const QList<Page>& pages)
{
    QStringList lines;
    const auto key = [&lines](const char* name, const QString& value) {
        lines.append(QLatin1String(name) + QLatin1Char('=') + value);
    };
    lines.append(QStringLiteral("[Common]"));
    key("Source", oneLine(s.titul));
    if (d.patient == 0) {
        key("Nom", oneLine(d.patientNom));
        key("Prenom", QString());
        key("Naissance", QString());
        if (!d.dossier.isEmpty())
            key("Dossier", d.dossier);
    } else {
        const Patient p = readPatient(d.patient);
        key("Nom", oneLine(p.nom));
        key("Prenom", oneLine(p.prenom));
        key("Naissance", oneLine(p.naissance));
    }
    key("Date", dayText(d));
    key("Time", timeText(d));
    key("Comment", commentLine(d.comment));
    key("TComment1", oneLine(d.tComment1));
    key("TComment2", oneLine(d.tComment2));
    key("Pages", QString::number(pages.size()));
    lines.append(QStringLiteral("[Pages]"));
    for (int i = 0; i < pages.size(); ++i)
        lines.append(QStringLiteral("Page%1=").arg(i + 1) + pages.at(i).name);

    bool lossless = true;
    QByteArray bytes =
        codepage::toAnsi(lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n"), &lossless);
    if (!lossless)
        WriteToLog(QStringLiteral("Descriptor of document %1: characters the code page cannot "
                                  "hold are written as \"?\"")
                       .arg(d.number));
    return bytes;
}

QString logLine(const Document& d, const Source& s)
{
    const QString date = d.hasDate ? DateToStr(d.date) : QString();
    return MainFormTexts().GetConst(20) + QLatin1Char(' ') + s.titul + QLatin1Char('\t') +
           d.patientNom + QLatin1Char('\t') + d.dossier + QLatin1Char('\t') + date +
           QLatin1Char(' ') + timeText(d);
}

// Deletes rows of FILES.DB through the export's own cursor, all in one transaction.
void deleteRows(LocalTable& files, const QList<int>& numbers)
{
    InTransaction(*files.database(), [&] {
        files.setIndexName(QString());
        for (int number : numbers) {
            if (files.findKey({number}))
                files.deleteRecord();
        }
    });
}

// The further pages' rows of a document, in page order, at most `wanted` of them.
QList<int> pageRows(LocalTable& files, int first, int wanted)
{
    QList<int> rows;
    if (wanted <= 0)
        return rows;
    files.setIndexName(QStringLiteral("type_index"));
    if (!files.findKey({first}))
        return rows;
    while (rows.size() < wanted && FieldInt(files, "Type") == first) {
        rows.append(FieldInt(files, "Number"));
        files.next();
        if (files.eof())
            break;
    }
    return rows;
}

void postponed(int number, const QString& reason)
{
    WriteToLog(QStringLiteral("Direct send of document %1 postponed: %2").arg(number).arg(reason));
}

// An extension names a folder and files: it may not lead anywhere else.
bool usableExtension(const QString& extension)
{
    return !extension.isEmpty() && extension != QLatin1String(".") &&
           extension != QLatin1String("..") && !extension.contains(QLatin1Char('/')) &&
           !extension.contains(QLatin1Char('\\'));
}

// After publication nothing may stop the rows from going; each failure is logged.
template <typename Step> void afterPublication(int number, const char* what, Step step)
{
    try {
        step();
    } catch (const std::exception& e) {
        WriteToLog(QStringLiteral("Direct send of document %1 (%2): %3")
                       .arg(number)
                       .arg(QLatin1String(what), exceptionMessage(e)));
    }
}

void recordBreezeFile(const Document& d, const Source& s, const QString& destination)
{
    LocalTable& ds = *DataTables->DSFiles;
    ds.setIndexName(QString());
    TableAction(ds, 2);
    int number = 1;
    if (!ds.isEmpty()) {
        ds.last();
        number = FieldInt(ds, "Number") + 1;
    }
    // The file's stamp after the transfer: a file that left its folder has none (-1).
    const int stamp = FileAge(d.fileName);
    ds.append();
    WriteOrCancel(ds, [&] {
        ds.fieldByName(QStringLiteral("Number"))->setAsInteger(number);
        ds.fieldByName(QStringLiteral("Source file"))->setAsString(d.fileName);
        ds.fieldByName(QStringLiteral("Date&Time"))->setAsInteger(stamp);
        ds.fieldByName(QStringLiteral("Destination file"))->setAsString(destination);
        ds.fieldByName(QStringLiteral("Cfg"))->setAsInteger(s.number);
    });
    FlushTable(ds, QString());
}

// One document's files on their way into its subfolder, in the order that publishes it whole or
// not at all: the pages copied in under hidden names, the descriptor written under a hidden name,
// the pages given their names, the descriptor renamed last. Until it is committed, everything it
// put into the subfolder is taken away again when it goes, whatever ended the export. Nothing of
// the document's own files is touched. Each step returns false with `error` saying why.
class ExportStaging
{
public:
    ExportStaging(const QString& folder, QList<Page>& pages)
        : m_folder(folder), m_pages(pages),
          m_descriptorName(ExportNames::descriptorName(pages.first().n)),
          m_descriptorTemp(hiddenName(folder, m_descriptorName))
    {
    }
    ~ExportStaging()
    {
        if (!m_committed)
            withdraw();
    }
    ExportStaging(const ExportStaging&) = delete;
    ExportStaging& operator=(const ExportStaging&) = delete;

    bool copyPages(QString& error)
    {
        for (const Page& page : std::as_const(m_pages)) {
            if (!fileops::copy(page.source, page.staged, &error))
                return false;
        }
        return true;
    }

    bool writeDescriptor(const QByteArray& bytes, QString& error)
    {
        m_descriptorStarted = true;
        return fileops::writeFile(m_descriptorTemp, bytes, &error);
    }

    bool namePages(QString& error)
    {
        for (Page& page : m_pages) {
            // Another workstation may have taken the name meanwhile: it is never replaced.
            if (!files::findNoCase(m_folder, page.name).isEmpty()) {
                error = QStringLiteral("%1 was taken meanwhile").arg(page.target);
                return false;
            }
            if (!fileops::rename(page.staged, page.target, &error))
                return false;
            page.named = true;
        }
        return true;
    }

    // Renames the descriptor, which publishes the document; the staging is then committed.
    bool publish(QString& error)
    {
        const QString descriptor = m_folder + m_descriptorName;
        if (!files::findNoCase(m_folder, m_descriptorName).isEmpty() ||
            !fileops::rename(m_descriptorTemp, descriptor, &error)) {
            if (error.isEmpty())
                error = QStringLiteral("%1 was taken meanwhile").arg(descriptor);
            return false;
        }
        m_committed = true;
        return true;
    }

private:
    void withdraw()
    {
        for (const Page& page : std::as_const(m_pages)) {
            if (page.named && QFileInfo::exists(page.target))
                fileops::remove(page.target);
            if (QFileInfo::exists(page.staged))
                fileops::remove(page.staged);
        }
        if (m_descriptorStarted && QFileInfo::exists(m_descriptorTemp))
            fileops::remove(m_descriptorTemp);
    }

    QString m_folder;
    QList<Page>& m_pages;
    QString m_descriptorName;
    QString m_descriptorTemp;
    bool m_descriptorStarted = false;
    bool m_committed = false;
};

// The steps of publication, each followed by its test fault point.
bool stageAndPublish(const Document& doc, const Source& source, QList<Page>& pages,
                     const QString& folder, QString& error)
{
    ExportStaging staging(folder, pages);
    if (!staging.copyPages(error))
        return false;
    DirectSendCrashPoint("staged");
    if (!staging.writeDescriptor(descriptorBytes(doc, source, pages), error))
        return false;
    DirectSendCrashPoint("descriptor-written");
    if (!staging.namePages(error))
        return false;
    DirectSendCrashPoint("pages-named");
    return staging.publish(error);
}

// The subfolder of the source, created when missing; empty, the reason logged, when the source's
// extension cannot name one or it cannot be created.
QString exportFolder(int number, const Source& source)
{
    if (!usableExtension(source.extension)) {
        postponed(number, QStringLiteral("the extension \"%1\" of source %2 cannot name a folder")
                              .arg(source.extension)
                              .arg(source.number));
        return QString();
    }
    QString folder = ExportDir + source.extension;
    if (!source.dsCode.isEmpty())
        folder += QLatin1Char('-') + source.dsCode;
    folder = AddBackslash(folder);
    try {
        CheckDirectory(folder, true);
    } catch (const std::exception& e) {
        postponed(number, exceptionMessage(e));
        return QString();
    }
    return folder;
}

// The pages to send with their numbers in the subfolder: the first page's file, then each further
// page whose file is there (a missing one is logged and left out).
QList<Page> exportPages(int number, const Source& source, const QString& folder,
                        const QString& firstFile, bool removeFirst, const QList<int>& furtherRows)
{
    ExportNames names(folder, source.extension);
    QList<Page> pages;
    const auto addPage = [&](int row, const QString& file, bool removeSource) {
        Page page;
        page.number = row;
        page.source = file;
        page.removeSource = removeSource;
        page.n = names.take();
        page.name = names.dataName(page.n);
        page.target = folder + page.name;
        page.staged = hiddenName(folder, page.name);
        pages.append(page);
    };
    addPage(number, firstFile, removeFirst);
    for (int row : furtherRows) {
        const QString file = FindDocumentFile(row, source.type);
        if (file.isEmpty()) {
            WriteToLog(QStringLiteral("Document %1 is sent without its page %2: the file is "
                                      "missing")
                           .arg(number)
                           .arg(row));
            continue;
        }
        addPage(row, file, true);
    }
    return pages;
}

} // namespace

void DirectSendCrashPoint(const char* Step)
{
    static const QByteArray at = qgetenv("QUORVANE_TEST_CRASH_AT");
    if (!at.isEmpty() && at == Step)
        std::_Exit(70);
}

void InitDirectSend(const QString& PracticePath)
{
    const QString practice = files::nativePath(PracticePath.trimmed());
    // The practice software may have made its import folder in another case: that one is used.
    const QString importFolder = QStringLiteral("QVXIMP");
    QString name = importFolder;
    if (!practice.isEmpty() && !QFileInfo(QDir(practice).filePath(importFolder)).isDir()) {
        const QStringList folders =
            QDir(practice).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& folder : folders) {
            if (folder.compare(importFolder, Qt::CaseInsensitive) == 0) {
                name = folder;
                break;
            }
        }
    }
    ExportDir = practice.isEmpty() ? QString() : AddBackslash(practice) + name + QLatin1Char('/');
    if (ExportDir.isEmpty()) {
        WriteToLog(QStringLiteral("Direct send: the practice software's folder is not known"));
    } else {
        try {
            CheckDirectory(ExportDir, true);
        } catch (const std::exception& e) {
            WriteToLog(QStringLiteral("Direct send: ") + exceptionMessage(e));
        }
    }
    DirectSend = true;
}

void ExportPendingDocuments(int& Flags)
{
    Flags = 0;
    if (!DirectSend || ExportDir.isEmpty() || !QFileInfo(ExportDir).isDir() || !DataTables)
        return;
    LocalTable& files = *DataTables->files;
    files.setIndexName(QStringLiteral("NeedId_index"));
    if (!TableActionGuarded(files, {0, 0}))
        return;
    QList<int> waiting;
    while (FieldInt(files, "NeedId") == 0 && FieldInt(files, "Type") == 0) {
        waiting.append(FieldInt(files, "Number"));
        files.next();
        if (files.eof())
            break;
    }
    for (int number : std::as_const(waiting)) {
        if (IdentificationActive && number == CurrentNumber) {
            Flags |= dsHeldBack;
            continue;
        }
        if (ExportDocument(number))
            Flags |= dsExported;
    }
    if (Flags & dsExported)
        TableAction(files, 2);
}

bool ExportDocument(int Number)
{
    OwnCursor own(LocalTableName::Files);
    LocalTable& files = own.table;
    if (!files.findKey({Number}))
        return false;
    const Document doc = readDocument(files);
    const std::optional<Source> source = readSource(doc.cfg);
    if (!source)
        return false;
    const QList<int> furtherRows = pageRows(files, Number, doc.pages - 1);
    QList<int> allRows{Number};
    allRows.append(furtherRows);

    const bool breeze = source->type == stBreeze;
    const QString firstFile = breeze ? (QFileInfo::exists(doc.fileName) ? doc.fileName : QString())
                                     : FindDocumentFile(Number, source->type);
    if (firstFile.isEmpty()) {
        // Its file is gone (or was sent already when an export was cut short): the document
        // leaves the list.
        deleteRows(files, allRows);
        WriteToLog(QStringLiteral("Document %1 left direct send: its file is missing").arg(Number));
        return true;
    }

    const QString folder = exportFolder(Number, *source);
    if (folder.isEmpty())
        return false;
    QList<Page> pages = exportPages(Number, *source, folder, firstFile,
                                    !breeze || breezeClears(source->number), furtherRows);
    QString error;
    if (!stageAndPublish(doc, *source, pages, folder, error)) {
        postponed(Number, error);
        return false;
    }
    DirectSendCrashPoint("published");

    // The document is in the practice software's hands. Its files go first: should the program
    // stop before its rows are gone, the next pass finds them missing and drops the rows rather
    // than send the document twice.
    for (const Page& page : std::as_const(pages)) {
        if (page.removeSource && !fileops::remove(page.source, &error))
            WriteToLog(QStringLiteral("Direct send of document %1: %2").arg(Number).arg(error));
    }
    DirectSendCrashPoint("sources-removed");

    if (breeze)
        afterPublication(Number, "DSfiles.db",
                         [&] { recordBreezeFile(doc, *source, pages.first().target); });
    if (!LogFileName.isEmpty())
        AppendLogLine(LogFileName, logLine(doc, *source), false);
    DirectSendCrashPoint("logged");

    try {
        deleteRows(files, allRows);
    } catch (const std::exception& e) {
        WriteToLog(QStringLiteral("Document %1 was sent but stays in the list: %2")
                       .arg(Number)
                       .arg(exceptionMessage(e)));
        return false;
    }
    return true;
}
