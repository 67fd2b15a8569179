// The workstation service seen from the analysers: the registration point and the null service
// that stands in until the application plugs its own in.
#include "workstation.h"

#include <platform/exception.h>
#include <platform/fileops.h>

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
    return AddBackslash(BufDir) + QString::number(uint(Number), 16) + QStringLiteral(".4");
}
