// The workstation service seen from the analysers: the registration point and the null service
// that stands in until the application plugs its own in.
#include "workstation.h"

#include <platform/support/docfiles.h>

#include <platform/clock.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/support/logfile.h>

#include <QFileInfo>

namespace {

// Nothing can be registered without the application: a result must not look stored when it is
// not, so the driver keeps its file and reports the failure.
class NullWorkstation final : public WorkstationService
{
public:
    int AddImportedFile(int, const QString& FileName, int, int, const QString&) override
    {
        throw Exception(
            QStringLiteral("Cannot register the document \"%1\": the workstation is not ready")
                .arg(FileName));
    }
    int StoreResult(const QString& ResultFile, int, const QString&) override
    {
        KeepUnstoredResult(ResultFile, QStringLiteral("the workstation is not ready"));
        return 0;
    }
    void RefreshDocuments(int) override {}
    int ReadBFAFile(const QString& FileName, QStringList&) override
    {
        throw Exception(
            QStringLiteral("Cannot convert the BFA file \"%1\": the workstation is not ready")
                .arg(FileName));
    }
    int CurrentPack() const override { return 0; }
};

NullWorkstation nullWorkstation;
WorkstationService* registered = nullptr;

} // namespace

WorkstationService::~WorkstationService() = default;

void WorkstationService::MoveFile(const QString& OldName, const QString& NewName)
{
    QString error;
    if (fileops::move(OldName, NewName, &error))
        return;
    // fileops names the operation, both files and the reason in one line.
    if (!error.isEmpty())
        error[0] = error[0].toUpper();
    throw EInOutError(error);
}

QList<SerialSourceRow> WorkstationService::SerialSources()
{
    return {};
}

std::optional<SerialSourceRow> WorkstationService::SerialSource(int)
{
    return std::nullopt;
}

void WorkstationService::SetDocumentPatient(int Number, const DocumentPatient&)
{
    throw Exception(
        QStringLiteral("Cannot write the patient of document %1: the workstation is not ready")
            .arg(Number));
}

TDBAccess* WorkstationService::DBAccess()
{
    return nullptr;
}

TDBRequest* WorkstationService::DBRequestCommon()
{
    return nullptr;
}

QString KeepUnstoredResult(const QString& FileName, const QString& Reason)
{
    const QFileInfo info(FileName);
    const QString folder = info.path() + QLatin1Char('/');
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem = info.fileName().left(info.fileName().size() - suffix.size()) +
                         clock::now().toString(QStringLiteral("-yyyyMMdd-HHmmss"));
    QString kept = folder + stem + suffix;
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = folder + stem + QLatin1Char('-') + QString::number(n) + suffix;

    QString error;
    if (!fileops::rename(FileName, kept, &error)) {
        WriteToLog(QStringLiteral("The result \"%1\" was not stored as a document (%2), and "
                                  "setting it aside failed: %3")
                       .arg(FileName, Reason, error));
        return FileName;
    }
    WriteToLog(QStringLiteral("The result \"%1\" was not stored as a document (%2); it is kept "
                              "as \"%3\"")
                   .arg(FileName, Reason, kept));
    return kept;
}

WorkstationService& Workstation()
{
    return registered ? *registered : nullWorkstation;
}

void setWorkstationService(WorkstationService* service)
{
    registered = service;
}

QString SerialDocumentFileName(int Number)
{
    return DocumentFileName(Number, stSerial);
}
