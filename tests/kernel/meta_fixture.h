// A kernel database written by hand for the metadata and access component tests: three tables,
// a view, their fields (with a stray and a differently cased METAFIELD row) and links, opened
// through an access component.
#pragma once

#include "kernel_helpers.h"

#include <kernel/cacheapi.h>

namespace krntest {

// The rows of the hand-written kernel database (also used by the golden tests).
void writeSampleMetadata(const KernelDb& kernel);

// Metadata datasets that behave like the kernel's caches: statements given by the access
// component, opened through OpenCache.
class MetaCache : public SqlQuery, public TKernelCache
{
public:
    explicit MetaCache(const QString& sql = QString()) { setSql(sql); }
    QString RowIdFieldName() const override { return QStringLiteral("UPDATE_ID"); }
    int PacketLimit() const override { return -1; }
    void SetPacketLimitReached(bool) override {}
    void SetRequestSQL(const QString& sql) override { setSql(sql); }
    void OpenCache() override { open(); }
    void AddSelectField(const QString& field) override { addedFields.append(field); }
    const TTableProps* GetTableProps() const override { return bound; }
    void ReplaceTableProps(const TTableProps* old, const TTableProps* replacement) override
    {
        replacements.append(qMakePair(old, replacement));
        if (bound == old)
            bound = replacement;
    }

    const TTableProps* bound = nullptr;
    QList<QPair<const TTableProps*, const TTableProps*>> replacements;
    QStringList addedFields;
};

// A kernel database with the sample metadata and VERSION rows matching the registered modules
// (DBKERNEL 7, DATABASE 207), and an access component on it.
struct SampleKernel : AccessOnKernel
{
    explicit SampleKernel(const QString& alias = QStringLiteral("KRN"));
};

} // namespace krntest
