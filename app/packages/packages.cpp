// Packages: the open package at start-up, the package file and its archive, the purge of old
// packages.
//
// The package file (.mpk). Integers are 32-bit signed little-endian; a short string is one length
// byte and that many bytes in the program's code page (a longer text is cut at 255 bytes). No
// signature, version or padding.
//
//   int32   RowCount             rows of FILES.DB, further pages included
//   then, for each record, from the first row of FILES.DB in the order of numbers:
//   int32   DataSize             size of the row's data file; 0 when it is missing or empty, and
//                                the record ends here (the next row starts a record of its own)
//   bytes   Data
//   short   Extension, Titul     of the row's source (empty when the source is gone)
//   short   Nom, Prenom, Naissance
//   int32   FileNumber           N_OMON or N_Dossier; 0 when null or the patient is unknown
//   short   Date, Time           the row's, in the regional short date and long time formats
//   int32   CommentLength
//   bytes   Comment              each line followed by CR (13), no LF
//   short   TComment1, TComment2
//   int32   Pages
//   for each page 2..Pages: int32 PageSize and PageSize bytes, from the next row when it is a
//   further page of this document (the first file named <hex of its number>.*), else 0
#include "packages.h"

#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/localtabledefs.h>
#include <app/documents/tablehelpers.h>
#include <app/patients/patientrecord.h>
#include <app/sources/breeze_source.h>
#include <platform/clock.h>
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

#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTimer>
#include <QtEndian>

#include <limits>
#include <optional>

namespace {

constexpr int ReadBlock = 60000;
constexpr int ArchiverTimeoutMs = 10 * 60 * 1000;

QList<qint32> g_numbersForTesting;
int g_archiverTimeoutMs = 0;
// The documents of the package being built.
QSet<int> g_packing;

// ---- cursors and rows

// A cursor of the package code's own over one local table, closed when it goes: the shared
// cursors stay where other routines left them.
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

struct Source
{
    int type = 0;
    QString titul, extension;
};

QHash<int, Source> readSources()
{
    QHash<int, Source> sources;
    OwnCursor cfg(LocalTableName::Cfg);
    for (cfg.table.first(); !cfg.table.eof(); cfg.table.next()) {
        Source s;
        s.type = FieldInt(cfg.table, "Type");
        s.titul = FieldText(cfg.table, "Titul");
        s.extension = FieldText(cfg.table, "Extension");
        sources.insert(FieldInt(cfg.table, "Number"), s);
    }
    return sources;
}

QString nowDate()
{
    return DateToStr(toDateTime(clock::now()));
}

QString nowTime()
{
    return TimeToStr(toDateTime(clock::now()));
}

// ---- package numbers

QRandomGenerator& generator()
{
    // Seeded from the clock, as at start-up.
    static QRandomGenerator random(quint32(QDateTime::currentMSecsSinceEpoch()));
    return random;
}

qint32 drawNumber(bool first)
{
    if (!g_numbersForTesting.isEmpty())
        return g_numbersForTesting.takeFirst();
    if (first)
        return qint32(generator().bounded(quint32(0x0FFFFFFF)));
    return qint32(generator().generate());
}

bool packageExists(LocalTable& packs, qint32 number)
{
    packs.setIndexName(QString());
    return TableActionGuarded(packs, {number});
}

void appendPackage(LocalTable& packs, qint32 number)
{
    packs.append();
    WriteOrCancel(packs, [&] {
        packs.fieldByName(QStringLiteral("Number"))->setAsInteger(number);
        packs.fieldByName(QStringLiteral("S_date"))->setAsString(nowDate());
        packs.fieldByName(QStringLiteral("S_time"))->setAsString(nowTime());
        packs.fieldByName(QStringLiteral("Transfer state"))->setAsInteger(0);
        packs.post();
    });
}

// ---- the package file

class PackageWriter
{
public:
    explicit PackageWriter(const QString& fileName) : m_file(fileName), m_name(fileName)
    {
        QString error;
        if (!m_file.open(&error))
            throw EInOutError(error);
    }

    fileops::FileWriter& file() { return m_file; }

    void bytes(const QByteArray& data)
    {
        QString error;
        if (!m_file.write(data, &error))
            throw EInOutError(error);
    }
    void int32(qint32 value)
    {
        char le[4];
        qToLittleEndian(value, le);
        bytes(QByteArray(le, 4));
    }
    void shortString(const QString& text)
    {
        QByteArray ansi = ansiOf(text);
        if (ansi.size() > 255)
            ansi.truncate(255);
        bytes(char(uchar(ansi.size())) + ansi);
    }
    // Each line followed by one CR: line ends of any kind (CR LF, LF, CR) end a line, and a text
    // ending with a line end has no empty line after it.
    void comment(const QString& text)
    {
        QByteArray out;
        const QByteArray ansi = ansiOf(text);
        qsizetype start = 0;
        while (start < ansi.size()) {
            qsizetype end = start;
            while (end < ansi.size() && ansi.at(end) != '\r' && ansi.at(end) != '\n')
                ++end;
            out += ansi.mid(start, end - start);
            out += '\r';
            if (end < ansi.size() && ansi.at(end) == '\r' && end + 1 < ansi.size() &&
                ansi.at(end + 1) == '\n')
                ++end;
            start = end + 1;
        }
        int32(qint32(out.size()));
        bytes(out);
    }

    void commit()
    {
        QString error;
        if (!m_file.commit(&error))
            throw EInOutError(error);
        if (m_lossy)
            WriteToLog(QStringLiteral("Package %1: characters the code page cannot hold are "
                                      "written as \"?\"")
                           .arg(QFileInfo(m_name).fileName()));
    }

private:
    QByteArray ansiOf(const QString& text)
    {
        bool lossless = true;
        QByteArray ansi = codepage::toAnsi(text, &lossless);
        m_lossy = m_lossy || !lossless;
        return ansi;
    }

    fileops::FileWriter m_file;
    QString m_name;
    bool m_lossy = false;
};

// The first file of the folder named `hex` + ".*" (any case; hidden names left out).
QString firstPageFile(const QString& folder, const QString& hex)
{
    const QStringList names = files::matchingFiles(folder, hex + QStringLiteral(".*"));
    return names.isEmpty() ? QString() : AddBackslash(folder) + names.first();
}

// A file that is not empty, or nothing.
bool hasData(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

struct Row
{
    int number = 0, pack = 0, cfg = 0, type = 0, pages = 0, patient = 0;
    QString date, time, comment, tComment1, tComment2;
};

Row readRow(const LocalTable& files)
{
    Row r;
    r.number = FieldInt(files, "Number");
    r.pack = FieldInt(files, "Pack");
    r.cfg = FieldInt(files, "Cfg");
    r.type = FieldInt(files, "Type");
    r.pages = FieldInt(files, "Pages");
    r.patient = FieldInt(files, "Patient");
    const Field* date = files.fieldByName(QStringLiteral("Date"));
    r.date = date->isNull() ? QString() : DateToStr(date->asDateTime());
    const Field* time = files.fieldByName(QStringLiteral("Time"));
    r.time = time->isNull() ? QString() : TimeToStr(time->asDateTime());
    r.comment = FieldText(files, "Comment");
    r.tComment1 = FieldText(files, "TComment1");
    r.tComment2 = FieldText(files, "TComment2");
    return r;
}

void step(QProgressBar* bar)
{
    if (bar)
        bar->setValue(bar->value() + 1);
}

// ---- the archiver

// Runs the archiver on the package file in ExchangeDir, processing events meanwhile; empty when
// it made a .mrk that is not empty, else what went wrong.
QString runArchiver(const QString& hex)
{
    const QString archive = ExchangeDir + hex + QStringLiteral(".mrk");
    QProcess archiver;
    archiver.setProgram(RarPath);
    archiver.setArguments(
        {QStringLiteral("a"), hex + QStringLiteral(".mrk"), hex + QStringLiteral(".mpk")});
    archiver.setWorkingDirectory(ExchangeDir);
    archiver.setStandardInputFile(QProcess::nullDevice());
    archiver.setStandardOutputFile(QProcess::nullDevice());
    QByteArray errors;
    QEventLoop loop;
    QObject::connect(&archiver, &QProcess::readyReadStandardError, &loop, [&] {
        errors += archiver.readAllStandardError();
        errors = errors.right(2000);
    });
    QObject::connect(&archiver, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.setInterval(g_archiverTimeoutMs > 0 ? g_archiverTimeoutMs : ArchiverTimeoutMs);
    archiver.start();
    QString failure;
    if (!archiver.waitForStarted(30000)) {
        failure = QStringLiteral("could not be started: ") + archiver.errorString();
    } else {
        limit.start();
        if (archiver.state() == QProcess::Running)
            loop.exec();
    }
    if (!failure.isEmpty()) {
        // It never ran.
    } else if (archiver.state() != QProcess::NotRunning) {
        archiver.kill();
        archiver.waitForFinished(5000);
        failure = QStringLiteral("did not end within %1 s").arg(limit.interval() / 1000);
    } else if (archiver.exitStatus() != QProcess::NormalExit) {
        failure = QStringLiteral("ended abnormally");
    } else if (archiver.exitCode() != 0) {
        failure = QStringLiteral("ended with status %1").arg(archiver.exitCode());
    } else if (!hasData(files::findNoCase(ExchangeDir, hex + QStringLiteral(".mrk")))) {
        failure = QStringLiteral("made no archive ") + archive;
    }
    if (!failure.isEmpty()) {
        errors += archiver.readAllStandardError();
        const QString said = QString::fromLocal8Bit(errors).simplified();
        if (!said.isEmpty())
            failure += QStringLiteral(" (") + said + u')';
    }
    return failure;
}

// Removes the rows and data files of the packed documents, except a row that a document
// registered since has taken (another package's).
void removePacked(const QList<PackedDocument>& packed)
{
    TDataTables& t = CheckedDataTables();
    QList<const PackedDocument*> gone;
    InTransaction(*t.LocalDB, [&] {
        OwnCursor files(LocalTableName::Files);
        for (const PackedDocument& d : packed) {
            if (files.table.findKey({d.number}) && FieldInt(files.table, "Pack") == d.pack) {
                files.table.deleteRecord();
                gone.append(&d);
            }
        }
    });
    for (const PackedDocument* d : std::as_const(gone)) {
        QString error;
        if (!d->dataFile.isEmpty() && QFileInfo::exists(d->dataFile) &&
            !fileops::remove(d->dataFile, &error))
            WriteToLog(error);
    }
    TableAction(*t.files, 2);
}

// ---- the purge

// The date a package was closed; none when the text is not a date.
std::optional<QDate> closingDate(const QString& text)
{
    TDateTime value = 0;
    if (text.trimmed().isEmpty() || !TryStrToDate(text, value))
        return std::nullopt;
    return toQDateTime(value).date();
}

} // namespace

void InitCurrentPackage()
{
    LocalTable& packs = *CheckedDataTables().packs;
    TableAction(packs, 2);
    packs.setIndexName(QStringLiteral("num_index"));
    if (!packs.isEmpty()) {
        packs.last();
        CurrentPack = FieldInt(packs, "Number");
        return;
    }
    const qint32 first = drawNumber(true);
    appendPackage(packs, first);
    CurrentPack = first;
}

QString PackageHex(qint32 Number)
{
    return QString::number(quint32(Number), 16).toUpper();
}

QString PackageFileName(qint32 Number, const QString& Extension)
{
    return ExchangeDir + PackageHex(Number) + Extension;
}

qint64 AddFileToPackage(fileops::FileWriter& Handle, const QString& FileName)
{
    QFile in(FileName);
    if (!in.open(QIODevice::ReadOnly))
        throw EInOutError(
            QStringLiteral("The file \"%1\" cannot be read: %2").arg(FileName, in.errorString()));
    const qint64 size = in.size();
    if (size > std::numeric_limits<qint32>::max())
        throw EInOutError(QStringLiteral("The file \"%1\" is too large for a package (%2 bytes)")
                              .arg(FileName)
                              .arg(size));
    char le[4];
    qToLittleEndian(qint32(size), le);
    QString error;
    if (!Handle.write(le, 4, &error))
        throw EInOutError(error);
    QByteArray block(ReadBlock, Qt::Uninitialized);
    qint64 left = size;
    while (left > 0) {
        const qint64 n = in.read(block.data(), qMin<qint64>(left, ReadBlock));
        if (n < 0)
            throw EInOutError(QStringLiteral("The file \"%1\" cannot be read: %2")
                                  .arg(FileName, in.errorString()));
        if (n == 0)
            throw EInOutError(
                QStringLiteral("The file \"%1\" became shorter while it was packed (%2 of %3 "
                               "bytes)")
                    .arg(FileName)
                    .arg(size - left)
                    .arg(size));
        if (!Handle.write(block.constData(), n, &error))
            throw EInOutError(error);
        left -= n;
    }
    return size;
}

QList<PackedDocument> WritePackageBody(const QString& FileName, const QString& BufDir,
                                       QProgressBar* ProgressBar)
{
    const QHash<int, Source> sources = readSources();
    OwnCursor own(LocalTableName::Files);
    LocalTable& files = own.table;
    files.setIndexName(QString());
    const int rowCount = files.recordCount();
    if (ProgressBar) {
        ProgressBar->setMaximum(rowCount + 1);
        ProgressBar->setValue(0);
    }
    PatientReader patients;
    PackageWriter out(FileName);
    out.int32(rowCount);
    QList<PackedDocument> packed;

    files.first();
    while (!files.eof()) {
        const Row row = readRow(files);
        step(ProgressBar);
        const auto source = sources.constFind(row.cfg);
        const bool known = source != sources.cend();
        // A document whose source is gone is found by its number alone, and packed without
        // another source's description.
        const QString data =
            known ? files::findNoCase(BufDir, PackageHex(row.number) + u'.' +
                                                  QString::number(source->type, 16).toUpper())
                  : firstPageFile(BufDir, PackageHex(row.number));
        if (!hasData(data)) {
            out.int32(0);
            packed.append({row.number, row.pack, data});
            files.next();
            continue;
        }
        AddFileToPackage(out.file(), data);
        packed.append({row.number, row.pack, data});
        out.shortString(known ? source->extension : QString());
        out.shortString(known ? source->titul : QString());
        const PatientRecord patient = patients.read(row.patient);
        out.shortString(patient.nom);
        out.shortString(patient.prenom);
        out.shortString(patient.naissance);
        out.int32(patient.fileNumber);
        out.shortString(row.date);
        out.shortString(row.time);
        out.comment(row.comment);
        out.shortString(row.tComment1);
        out.shortString(row.tComment2);
        out.int32(row.pages);
        files.next();
        for (int page = 2; page <= row.pages; ++page) {
            // Only a further page of this document is taken as its page: another document's row
            // starts a record of its own.
            if (files.eof() || FieldInt(files, "Type") != row.number) {
                out.int32(0);
                continue;
            }
            const int number = FieldInt(files, "Number");
            step(ProgressBar);
            const QString pageFile = firstPageFile(BufDir, PackageHex(number));
            if (hasData(pageFile))
                AddFileToPackage(out.file(), pageFile);
            else
                out.int32(0);
            packed.append({number, FieldInt(files, "Pack"), pageFile});
            files.next();
        }
    }
    out.commit();
    return packed;
}

void PreparePackage(QString& ResultName, QProgressBar* ProgressBar, QLabel* StatusLabel)
{
    if (StatusLabel) {
        StatusLabel->setText(QStringLiteral("Préparation du fichier à transmettre..."));
        StatusLabel->repaint();
    }
    TDataTables& t = CheckedDataTables();
    LocalTable& packs = *t.packs;
    qint32 fresh = drawNumber(false);
    while (packageExists(packs, fresh))
        fresh = drawNumber(false);
    const qint32 old = CurrentPack;
    InTransaction(*t.LocalDB, [&] {
        if (packageExists(packs, old)) {
            packs.edit();
            WriteOrCancel(packs, [&] {
                packs.fieldByName(QStringLiteral("F_date"))->setAsString(nowDate());
                packs.fieldByName(QStringLiteral("F_time"))->setAsString(nowTime());
                packs.fieldByName(QStringLiteral("Transfer state"))->setAsInteger(1);
                packs.post();
            });
        }
        appendPackage(packs, fresh);
    });
    CurrentPack = fresh;
    TableAction(packs, 2);

    {
        QList<int> breeze;
        OwnCursor cfg(LocalTableName::Cfg);
        for (cfg.table.first(); !cfg.table.eof(); cfg.table.next()) {
            const int state = FieldInt(cfg.table, "State");
            if ((state == 1 || state == 2) && FieldInt(cfg.table, "Type") == stBreeze)
                breeze.append(FieldInt(cfg.table, "Number"));
        }
        for (int source : std::as_const(breeze))
            PackBreezeFiles(old, source, BufDir);
    }

    const QString hex = PackageHex(old);
    const QString package = PackageFileName(old, QStringLiteral(".mpk"));
    const QList<PackedDocument> packed = WritePackageBody(package, BufDir, ProgressBar);
    for (const PackedDocument& d : packed)
        g_packing.insert(d.number);
    const auto packingEnds = qScopeGuard([] { g_packing.clear(); });

    ResultName = package;
    if (NeedCompression) {
        QString failure;
        if (RarPath.isEmpty() || !QFileInfo(RarPath).isFile()) {
            failure = QStringLiteral("is not at \"%1\"").arg(RarPath);
        } else {
            if (StatusLabel) {
                StatusLabel->setText(
                    QStringLiteral("Compression du fichier à transmettre... Patientez S.V.P."));
                StatusLabel->repaint();
            }
            failure = runArchiver(hex);
        }
        const QString archive = files::findNoCase(ExchangeDir, hex + QStringLiteral(".mrk"));
        if (failure.isEmpty()) {
            ResultName = archive;
            QString error;
            if (!fileops::remove(package, &error))
                WriteToLog(error);
        } else {
            WriteToLog(QStringLiteral("Package %1: the archiver %2; the package file is "
                                      "transferred uncompressed")
                           .arg(hex, failure));
            QString error;
            if (!archive.isEmpty() && !fileops::remove(archive, &error))
                WriteToLog(error);
        }
    }
    step(ProgressBar);
    removePacked(packed);
}

bool DocumentBeingPacked(int Number)
{
    return g_packing.contains(Number);
}

void PurgeOldPackages(const QDate& Before)
{
    TDataTables& t = CheckedDataTables();
    QSet<QString> kept; // package file names (folded) that stay
    QList<qint32> purged;
    {
        OwnCursor own(LocalTableName::Package);
        LocalTable& packs = own.table;
        for (packs.first(); !packs.eof(); packs.next()) {
            const qint32 number = FieldInt(packs, "Number");
            const std::optional<QDate> closed = closingDate(FieldText(packs, "F_date"));
            const bool old = number != CurrentPack && closed && *closed < Before;
            if (old && FieldInt(packs, "Transfer state") == 2) {
                purged.append(number);
                continue;
            }
            if (old)
                WriteToLog(QStringLiteral("Package %1 closed on %2 was never sent: it is kept")
                               .arg(PackageHex(number), FieldText(packs, "F_date")));
            kept.insert((PackageHex(number) + QStringLiteral(".mpk")).toCaseFolded());
            kept.insert((PackageHex(number) + QStringLiteral(".mrk")).toCaseFolded());
        }
    }
    for (qint32 number : std::as_const(purged)) {
        for (const char* extension : {".mpk", ".mrk"}) {
            const QString file =
                files::findNoCase(ExchangeDir, PackageHex(number) + QLatin1String(extension));
            QString error;
            if (!file.isEmpty() && !fileops::remove(file, &error))
                WriteToLog(error);
        }
        InTransaction(*t.LocalDB, [&] {
            OwnCursor own(LocalTableName::Package);
            if (own.table.findKey({number}))
                own.table.deleteRecord();
        });
    }
    TableAction(*t.packs, 2);
    TableAction(*t.SPacks, 2);

    const QDateTime limit(Before.startOfDay());
    QDirIterator entries(ExchangeDir, QDir::Files | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        const QFileInfo entry(entries.next());
        if (entry.isSymLink() || !entry.isFile() ||
            kept.contains(entry.fileName().toCaseFolded()) || entry.lastModified() >= limit)
            continue;
        QString error;
        if (!fileops::remove(entry.filePath(), &error))
            WriteToLog(error);
    }
}

void SetPackageNumbersForTesting(const QList<qint32>& Numbers)
{
    g_numbersForTesting = Numbers;
}

void SetArchiverTimeoutForTesting(int Milliseconds)
{
    g_archiverTimeoutMs = Milliseconds;
}
