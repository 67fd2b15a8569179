// Cursor dataset base and indexed dataset (first cut: the interface compiles; the behaviour
// follows).
#include "dataset.h"

namespace {
[[noreturn]] void notYet() { throw EDBEditError(QStringLiteral("Not implemented yet")); }
} // namespace

bool isTextType(FieldType type) { return type == FieldType::String || type == FieldType::Memo; }
bool isBinaryType(FieldType type) { return type == FieldType::Blob || type == FieldType::Graphic; }
QString fieldTypeName(FieldType) { notYet(); }
void FieldDefs::add(const QString& name, FieldType type, int size, bool required)
{
    m_defs.append(FieldDef{name, type, size, required, false});
}
void FieldDefs::add(const FieldDef& def) { m_defs.append(def); }
int FieldDefs::indexOf(const QString&) const { notYet(); }
const FieldDef* FieldDefs::find(const QString&) const { notYet(); }
bool operator==(const FieldDefs&, const FieldDefs&) { notYet(); }

Field::Field(DataSet* dataSet, const QString& name, FieldType type, int size, Kind kind)
    : m_dataSet(dataSet), m_name(name), m_type(type), m_size(size), m_kind(kind) {}
Field::~Field() = default;
int Field::index() const { notYet(); }
QString Field::displayLabel() const { notYet(); }
int Field::displayWidth() const { notYet(); }
Qt::Alignment Field::alignment() const { notYet(); }
Variant Field::value() const { notYet(); }
void Field::setValue(const Variant&) { notYet(); }
bool Field::isNull() const { notYet(); }
QString Field::asString() const { notYet(); }
void Field::setAsString(const QString&) { notYet(); }
qint64 Field::asInteger() const { notYet(); }
void Field::setAsInteger(qint64) { notYet(); }
double Field::asFloat() const { notYet(); }
void Field::setAsFloat(double) { notYet(); }
Currency Field::asCurrency() const { notYet(); }
void Field::setAsCurrency(Currency) { notYet(); }
TDateTime Field::asDateTime() const { notYet(); }
void Field::setAsDateTime(TDateTime) { notYet(); }
bool Field::asBoolean() const { notYet(); }
void Field::setAsBoolean(bool) { notYet(); }
QByteArray Field::asBytes() const { notYet(); }
void Field::setAsBytes(const QByteArray&) { notYet(); }
QString Field::text() const { notYet(); }
QString Field::displayText() const { notYet(); }
void Field::setText(const QString&) { notYet(); }
Variant Field::convert(const Variant&) const { notYet(); }

struct DataSet::FilterExpr
{
};
DataSet::DataSet(QObject* parent) : QObject(parent) {}
DataSet::~DataSet() = default;
Field* DataSet::addField(const QString&, FieldType, int, Field::Kind) { notYet(); }
void DataSet::clearFields() { notYet(); }
Field* DataSet::findField(const QString&) const { notYet(); }
Field* DataSet::fieldByName(const QString&) const { notYet(); }
QStringList DataSet::fieldNames() const { notYet(); }
void DataSet::open() { notYet(); }
void DataSet::close() { notYet(); }
void DataSet::setActive(bool) { notYet(); }
void DataSet::refresh() { notYet(); }
void DataSet::first() { notYet(); }
void DataSet::last() { notYet(); }
void DataSet::next() { notYet(); }
void DataSet::prior() { notYet(); }
int DataSet::moveBy(int) { notYet(); }
bool DataSet::isEmpty() const { notYet(); }
int DataSet::recordCount() const { notYet(); }
int DataSet::recNo() const { notYet(); }
void DataSet::setRecNo(int) { notYet(); }
void DataSet::edit() { notYet(); }
void DataSet::insert() { notYet(); }
void DataSet::append() { notYet(); }
void DataSet::post() { notYet(); }
void DataSet::cancel() { notYet(); }
void DataSet::deleteRecord() { notYet(); }
void DataSet::appendRecord(const VariantList&) { notYet(); }
void DataSet::checkBrowseMode() { notYet(); }
Bookmark DataSet::bookmark() const { notYet(); }
void DataSet::gotoBookmark(const Bookmark&) { notYet(); }
bool DataSet::bookmarkValid(const Bookmark&) const { notYet(); }
bool DataSet::locate(const QString&, const VariantList&, LocateOptions) { notYet(); }
bool DataSet::locate(const QString&, const Variant&, LocateOptions) { notYet(); }
Variant DataSet::lookup(const QString&, const VariantList&, const QString&) { notYet(); }
void DataSet::setFiltered(bool) { notYet(); }
void DataSet::setFilter(const QString&) { notYet(); }
void DataSet::setFilterOptions(FilterOptions) { notYet(); }
void DataSet::disableControls() { notYet(); }
void DataSet::enableControls() { notYet(); }
void DataSet::addObserver(DataSetObserver*) { notYet(); }
void DataSet::removeObserver(DataSetObserver*) { notYet(); }
bool DataSet::readRecord(const Bookmark&, VariantList&) { notYet(); }
QList<Bookmark> DataSet::bookmarks() { notYet(); }
void DataSet::internalInitRecord(QList<Variant>&) {}
void DataSet::internalRefresh() {}
int DataSet::internalRecordCount() const { return -1; }
int DataSet::internalRecNo() const { return -1; }
bool DataSet::internalSetRecNo(int) { return false; }
void DataSet::resync(bool) { notYet(); }
void DataSet::checkActive() const { notYet(); }
void DataSet::setState(State) { notYet(); }
void DataSet::notifyDataSetChanged() { notYet(); }
QList<Variant>* DataSet::stateBuffer(State) { notYet(); }
bool DataSet::recordAccepted() { notYet(); }
bool DataSet::hasFilter() const { notYet(); }
QString DataSet::messagePrefix() const { notYet(); }
void DataSet::keyValueAssigned(int) {}

QStringList IndexDef::fieldList() const { notYet(); }
void IndexDefs::add(const QString&, const QString&, IndexDef::Options) { notYet(); }
void IndexDefs::add(const IndexDef&) { notYet(); }
void IndexDefs::remove(const QString&) { notYet(); }
int IndexDefs::indexOf(const QString&) const { notYet(); }
const IndexDef* IndexDefs::find(const QString&) const { notYet(); }
const IndexDef* IndexDefs::findForFields(const QString&) const { notYet(); }

IndexedDataSet::IndexedDataSet(QObject* parent) : DataSet(parent) {}
IndexedDataSet::~IndexedDataSet() = default;
void IndexedDataSet::setIndexName(const QString&) { notYet(); }
void IndexedDataSet::setIndexFieldNames(const QString&) { notYet(); }
bool IndexedDataSet::findKey(const VariantList&) { notYet(); }
void IndexedDataSet::findNearest(const VariantList&) { notYet(); }
void IndexedDataSet::setKey() { notYet(); }
void IndexedDataSet::editKey() { notYet(); }
bool IndexedDataSet::gotoKey() { notYet(); }
void IndexedDataSet::gotoNearest() { notYet(); }
void IndexedDataSet::setRange(const VariantList&, const VariantList&) { notYet(); }
void IndexedDataSet::setRangeStart() { notYet(); }
void IndexedDataSet::setRangeEnd() { notYet(); }
void IndexedDataSet::editRangeStart() { notYet(); }
void IndexedDataSet::editRangeEnd() { notYet(); }
void IndexedDataSet::applyRange() { notYet(); }
void IndexedDataSet::cancelRange() { notYet(); }
void IndexedDataSet::setCurrentIndex(const QStringList&, IndexDef::Options) { notYet(); }
void IndexedDataSet::keyValueAssigned(int) { notYet(); }
QList<Variant>* IndexedDataSet::stateBuffer(State) { notYet(); }
void IndexedDataSet::fieldsChanged() {}
