// A small practice written by hand for the request tests: patients, doctors, visits (with two
// links to the doctors), laboratory and radiology results, their kernel metadata and rows, and an
// access component on them for a server kind (MS SQL Server and Oracle through a recording
// driver over the same SQLite file).
#pragma once

#include "kernel_helpers.h"

#include <kernel/request.h>

#include <memory>

namespace reqtest {

class Practice : public krntest::AccessOnKernel
{
public:
    explicit Practice(int serverKind = 3);

    // A request on the practice's access component, named "Req".
    std::unique_ptr<TDBRequest> request(const QString& name = QStringLiteral("Req"));
    // Runs the request's compiled text with its parameters, or a statement, as queryRows does.
    QStringList rows(const TDBRequest& request);
    QStringList rows(const QString& sql) { return krntest::queryRows(db, sql); }

    std::shared_ptr<krntest::Recorder> recorder = std::make_shared<krntest::Recorder>();
};

// The compiled lines, or the EDBKernelError message prefixed with "error: ".
QStringList compiled(TDBRequest& request);

// From and select items in one call.
TFromItem* addFrom(TDBRequest& r, const QString& table, const QString& alias,
                   const QString& master = QString(), const QString& masterFields = QString());
TSelectItem* addSelect(TDBRequest& r, const QString& origin, const QString& text,
                       const QString& alias = QString(), TDataType type = dtUnknown, int size = 0);
TWhereItem* addWhere(TDBRequest& r, const QString& text, int group = 0,
                     const QString& origin = QString());

} // namespace reqtest
