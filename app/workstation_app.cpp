// The analysers' workstation service over the document registry, the BFA conversion and the main
// window.
#include "workstation_app.h"

#include "bfareport.h"
#include "datatables.h"
#include "docregistry.h"
#include "mainform.h"

#include <platform/exception.h>
#include <platform/regional.h>

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
    QString reason;
    try {
        const int number =
            RegisterDocument(ResultFile, SourceNumber, 0, DocumentType, HandOver::Move);
        if (number > 0)
            return number;
        reason = QStringLiteral("the documents table refused it");
    } catch (const Exception& e) {
        reason = e.message();
    } catch (const std::exception& e) {
        reason = QString::fromLocal8Bit(e.what());
    }
    KeepUnstoredResult(ResultFile, reason);
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

TAppWorkstation& AppWorkstation()
{
    static TAppWorkstation workstation;
    return workstation;
}
