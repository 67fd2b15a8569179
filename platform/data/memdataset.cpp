// In-memory dataset (first cut: the interface compiles; the behaviour follows).
#include "memdataset.h"

namespace {
[[noreturn]] void notYet() { throw EDBEditError(QStringLiteral("Not implemented yet")); }
} // namespace

struct MemDataSet::Storage
{
};
MemDataSet::MemDataSet(QObject* parent) : IndexedDataSet(parent) {}
MemDataSet::~MemDataSet() = default;
void MemDataSet::createDataSet() { notYet(); }
void MemDataSet::emptyDataSet() { notYet(); }
void MemDataSet::addIndex(const QString&, const QString&, IndexDef::Options) { notYet(); }
void MemDataSet::deleteIndex(const QString&) { notYet(); }
void MemDataSet::beginBulkAppend() { notYet(); }
bool MemDataSet::bulkAppend(const QList<Variant>&) { notYet(); }
void MemDataSet::endBulkAppend() { notYet(); }
void MemDataSet::saveToFile(const QString&) const { notYet(); }
void MemDataSet::loadFromFile(const QString&) { notYet(); }
void MemDataSet::internalOpen() { notYet(); }
void MemDataSet::internalClose() { notYet(); }
bool MemDataSet::internalFirst() { notYet(); }
bool MemDataSet::internalLast() { notYet(); }
bool MemDataSet::internalNext() { notYet(); }
bool MemDataSet::internalPrior() { notYet(); }
void MemDataSet::internalRead(QList<Variant>&) const { notYet(); }
Bookmark MemDataSet::internalBookmark() const { notYet(); }
bool MemDataSet::internalGotoBookmark(const Bookmark&) { notYet(); }
bool MemDataSet::internalBookmarkValid(const Bookmark&) const { notYet(); }
void MemDataSet::internalInitRecord(QList<Variant>&) { notYet(); }
void MemDataSet::internalPost(const QList<Variant>&, PostMode) { notYet(); }
void MemDataSet::internalDelete() { notYet(); }
int MemDataSet::internalRecordCount() const { notYet(); }
int MemDataSet::internalRecNo() const { notYet(); }
bool MemDataSet::internalSetRecNo(int) { notYet(); }
void MemDataSet::internalSetIndex(const QString&, const QStringList&) { notYet(); }
bool MemDataSet::internalSeek(const VariantList&, SeekMode) { notYet(); }
void MemDataSet::internalSetRange(const std::optional<VariantList>&,
                                  const std::optional<VariantList>&) { notYet(); }
