// The analysers' workstation service over the local tables, the document registry, the BFA
// conversion and the main window.
#include "workstation_app.h"

#include "datatables.h"
#include "docregistry.h"
#include "tablehelpers.h"

#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/mainwindow/mainform.h>
#include <app/sources/bfareport.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/exception.h>
#include <platform/regional.h>
#include <platform/support/docfiles.h>

namespace {

int intOf(const Variant& value, int def = 0)
{
    return value.isEmpty() ? def : value.toInt();
}

// The serial sources (type 4) with their settings, in the order of the sources' index on Type;
// only source Number when it is above 0.
QList<SerialSourceRow> readSerialSources(int number)
{
    TDataTables& t = CheckedDataTables();
    QString sql =
        QStringLiteral("SELECT c.\"Number\", c.\"State\", c.\"Extension\", m.\"Configuration\", "
                       "m.\"Com\", m.\"FSTX\", m.\"STX\", m.\"ETX\", m.\"Timeout\", "
                       "m.\"Baud Rate\", m.\"Data Bits\", m.\"Stop Bits\", m.\"Parity\" "
                       "FROM %1 c LEFT JOIN %2 m ON m.\"Configuration\" = c.\"Number\" "
                       "WHERE c.\"Type\" = %3")
            .arg(quoteSqlName(t.cfg->tableName()), quoteSqlName(t.com->tableName()))
            .arg(stSerial);
    if (number > 0)
        sql += QStringLiteral(" AND c.\"Number\" = ?");
    sql += QStringLiteral(" ORDER BY c.\"Type\", c.rowid");
    auto st = ConnectionOf(*t.cfg).prepare(sql);
    if (number > 0)
        st->bind(0, number);
    QList<SerialSourceRow> rows;
    while (st->step()) {
        SerialSourceRow row;
        row.Number = intOf(st->columnValue(0));
        row.State = intOf(st->columnValue(1));
        row.Extension = st->columnValue(2).isEmpty() ? QString() : st->columnValue(2).toString();
        row.HasSettings = !st->columnValue(3).isEmpty();
        if (row.HasSettings) {
            row.Com = intOf(st->columnValue(4));
            row.FSTX = intOf(st->columnValue(5)) != 0;
            row.STX = intOf(st->columnValue(6));
            row.ETX = intOf(st->columnValue(7));
            row.Timeout = intOf(st->columnValue(8), -1);
            row.BaudRate = intOf(st->columnValue(9));
            row.DataBits = intOf(st->columnValue(10));
            row.StopBits = intOf(st->columnValue(11));
            row.Parity = intOf(st->columnValue(12));
        }
        rows.append(row);
    }
    return rows;
}

} // namespace

int TAppWorkstation::AddImportedFile(int Pack, const QString& FileName, int Cfg, int Pages,
                                     const QString& Extension)
{
    const int number = ::AddImportedFile(Pack, FileName, Cfg, Pages, Extension);
    if (number < 1)
        throw EInOutError(QStringLiteral("The document \"%1\" of source %2 could not be registered")
                              .arg(FileName)
                              .arg(Cfg));
    return number;
}

int TAppWorkstation::StoreResult(const QString& ResultFile, int SourceNumber,
                                 const QString& DocumentType)
{
    HandOverFailure failure;
    try {
        const int number =
            RegisterDocument(ResultFile, SourceNumber, 0, DocumentType, HandOver::Move, &failure);
        if (number > 0)
            return number;
    } catch (const std::exception& e) {
        failure.reason = exceptionMessage(e);
    }
    // Kept under a name of its own before any window opens: the next capture would reuse this
    // one, and a program killed meanwhile must not have lost it.
    KeepUnstoredResult(ResultFile, failure.reason.isEmpty()
                                       ? QStringLiteral("the document registry refused it")
                                       : failure.reason);
    ReportHandOverFailure({QString(), failure.tableError}); // the line is logged above
    return 0;
}

void TAppWorkstation::RefreshDocuments(int Number)
{
    if (MainForm)
        MainForm->RefreshDocuments(Number);
}

int TAppWorkstation::ReadBFAFile(const QString& FileName, QStringList& Lines)
{
    const QList<BFAReport> reports = ::ReadBFAFile(FileName);
    for (const BFAReport& report : reports) {
        const TDateTime when = toDateTime(QDateTime(report.date, report.time));
        Lines << QStringList{report.patientName, report.patientId, DateToStr(when), TimeToStr(when)}
                     .join(QLatin1Char('\t'));
    }
    return int(reports.size());
}

int TAppWorkstation::CurrentPack() const
{
    return ::CurrentPack;
}

QList<SerialSourceRow> TAppWorkstation::SerialSources()
{
    return readSerialSources(0);
}

std::optional<SerialSourceRow> TAppWorkstation::SerialSource(int Number)
{
    if (Number < 1)
        return std::nullopt;
    const QList<SerialSourceRow> rows = readSerialSources(Number);
    return rows.isEmpty() ? std::nullopt : std::optional<SerialSourceRow>(rows.first());
}

void TAppWorkstation::SetDocumentPatient(int Number, const DocumentPatient& Patient)
{
    LocalTable& files = *CheckedDataTables().files;
    files.setIndexName(QString());
    if (!TableActionGuarded(files, {Number}))
        throw Exception(QStringLiteral("Document %1 does not exist").arg(Number));
    files.edit();
    WriteOrCancel(files, [&] {
        files.fieldByName(QStringLiteral("Patient_Nom"))->setAsString(Patient.Name);
        if (Patient.Dossier)
            files.fieldByName(QStringLiteral("Dossier"))->setAsInteger(*Patient.Dossier);
        if (Patient.Date)
            files.fieldByName(QStringLiteral("Date"))->setAsDateTime(*Patient.Date);
        if (Patient.Time)
            files.fieldByName(QStringLiteral("Time"))->setAsDateTime(*Patient.Time);
    });
    if (!FlushTable(files, QString()))
        throw Exception(
            QStringLiteral("The patient of document %1 could not be stored").arg(Number));
}

TDBAccess* TAppWorkstation::DBAccess()
{
    return DataTables ? DataTables->DBAccess : nullptr;
}

TDBRequest* TAppWorkstation::DBRequestCommon()
{
    return DataTables && DataTables->DBAccess ? DataTables->DBRequestCommon : nullptr;
}

TAppWorkstation& AppWorkstation()
{
    static TAppWorkstation workstation;
    return workstation;
}
