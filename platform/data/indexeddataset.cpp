// Index definitions and the indexed dataset: the order by a named index or a field list, key
// search, the SetKey state with its key buffers, and key ranges. The index storage is the
// backend's.
#include "dataset.h"

#include "collation.h"

// ---------------------------------------------------------------------------------------------
// Index definitions

QStringList IndexDef::fieldList() const
{
    return splitFieldList(fields);
}

void IndexDefs::add(const QString& name, const QString& fields, IndexDef::Options options)
{
    add(IndexDef{name, fields, options});
}

void IndexDefs::add(const IndexDef& def)
{
    if (indexOf(def.name) >= 0)
        throw EDBEditError(QStringLiteral("Duplicate index name '%1'").arg(def.name));
    m_defs.append(def);
}

void IndexDefs::remove(const QString& name)
{
    const int i = indexOf(name);
    if (i >= 0)
        m_defs.removeAt(i);
}

int IndexDefs::indexOf(const QString& name) const
{
    for (int i = 0; i < m_defs.size(); ++i) {
        if (m_defs.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const IndexDef* IndexDefs::find(const QString& name) const
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &m_defs.at(i);
}

const IndexDef* IndexDefs::findForFields(const QString& fields) const
{
    const QStringList wanted = splitFieldList(fields);
    for (const IndexDef& def : m_defs) {
        const QStringList have = def.fieldList();
        if (have.size() != wanted.size())
            continue;
        bool same = true;
        for (int i = 0; i < have.size() && same; ++i)
            same = have.at(i).compare(wanted.at(i), Qt::CaseInsensitive) == 0;
        if (same)
            return &def;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// IndexedDataSet

IndexedDataSet::IndexedDataSet(QObject* parent) : DataSet(parent)
{
}

IndexedDataSet::~IndexedDataSet() = default;

void IndexedDataSet::setCurrentIndex(const QStringList& fields, IndexDef::Options options)
{
    m_currentIndexFields = fields;
    m_currentIndexOptions = options;
}

void IndexedDataSet::fieldsChanged()
{
    for (KeyBuffer& k : m_keys) {
        k.values = QList<Variant>(bufferSize());
        k.assigned = QList<bool>(bufferSize(), false);
    }
    m_rangeActive = false;
    if (isActive())
        internalSetIndex(m_indexName, splitFieldList(m_indexFieldNames));
    else
        setCurrentIndex({}, {});
}

void IndexedDataSet::switchOrder(const QString& indexName, const QString& fieldNames)
{
    if (!isActive()) {
        m_indexName = indexName;
        m_indexFieldNames = fieldNames;
        return;
    }
    checkBrowseMode();
    if (!indexName.isEmpty()) {
        updateIndexDefs();
        if (!indexDefs().find(indexName))
            throw EDBEditError(messagePrefix() + tr("Index '%1' not found").arg(indexName));
    }
    QStringList fields = splitFieldList(fieldNames);
    for (const QString& f : fields)
        fieldByName(f);
    internalSetIndex(indexName, fields);
    m_indexName = indexName;
    m_indexFieldNames = fieldNames;
    m_rangeActive = false;
    resync(false);
}

void IndexedDataSet::setIndexName(const QString& name)
{
    if (isActive() && name.compare(m_indexName, Qt::CaseInsensitive) == 0 &&
        m_indexFieldNames.isEmpty())
        return;
    switchOrder(name, QString());
}

void IndexedDataSet::setIndexFieldNames(const QString& fields)
{
    if (isActive() && fields.compare(m_indexFieldNames, Qt::CaseInsensitive) == 0 &&
        m_indexName.isEmpty())
        return;
    switchOrder(QString(), fields);
}

int IndexedDataSet::slotOfIndexField(int i) const
{
    return fieldByName(m_currentIndexFields.at(i))->m_slot;
}

bool IndexedDataSet::candidateKeyEquals(const VariantList& key) const
{
    const bool ci = m_currentIndexOptions.testFlag(IndexDef::CaseInsensitive);
    for (int i = 0; i < key.size(); ++i) {
        const Field* f = fieldByName(m_currentIndexFields.at(i));
        const Variant& v = m_filterBuffer.at(f->m_slot);
        const Variant k = convertFieldValue(f->dataType(), 0, key.at(i));
        int c;
        if (isTextType(f->dataType()) && ci && !v.isEmpty() && !k.isEmpty())
            c = collation::compareFolded(v.toString(), k.toString());
        else
            c = compareFieldValues(f->dataType(), v, k);
        if (c != 0)
            return false;
    }
    return true;
}

void IndexedDataSet::checkKey(const VariantList& values) const
{
    if (m_currentIndexFields.isEmpty())
        throw EDBEditError(messagePrefix() + tr("No index currently active"));
    if (values.size() > m_currentIndexFields.size())
        throw EDBEditError(
            messagePrefix() +
            tr("Too many key values: the index has %1 fields").arg(m_currentIndexFields.size()));
}

bool IndexedDataSet::seek(const VariantList& values, SeekMode mode)
{
    checkKey(values);
    return scrollToFound([&] {
        if (!internalSeek(values, mode))
            return false;
        if (!hasFilter() || recordAccepted())
            return true;
        if (mode == SeekMode::Nearest)
            return seekVisible(true, false) || seekVisible(false, false);
        // Further records of the same key may pass the filter.
        while (internalNext()) {
            readCandidate();
            if (!candidateKeyEquals(values))
                return false;
            if (candidateAccepted())
                return true;
        }
        return false;
    });
}

bool IndexedDataSet::findKey(const VariantList& values)
{
    return seek(values, SeekMode::Exact);
}

void IndexedDataSet::findNearest(const VariantList& values)
{
    seek(values, SeekMode::Nearest);
}

void IndexedDataSet::enterKeyState(KeyKind kind, bool clear)
{
    checkActive();
    checkBrowseMode();
    KeyBuffer& k = m_keys[int(kind)];
    if (clear) {
        for (Variant& v : k.values)
            v = Variant::null();
        k.assigned.fill(false);
    }
    m_keyKind = kind;
    setState(State::SetKey);
}

void IndexedDataSet::setKey()
{
    enterKeyState(KeyKind::Search, true);
}
void IndexedDataSet::editKey()
{
    enterKeyState(KeyKind::Search, false);
}
void IndexedDataSet::setRangeStart()
{
    enterKeyState(KeyKind::RangeStart, true);
}
void IndexedDataSet::setRangeEnd()
{
    enterKeyState(KeyKind::RangeEnd, true);
}
void IndexedDataSet::editRangeStart()
{
    enterKeyState(KeyKind::RangeStart, false);
}
void IndexedDataSet::editRangeEnd()
{
    enterKeyState(KeyKind::RangeEnd, false);
}

QList<Variant>* IndexedDataSet::stateBuffer(State state)
{
    if (state == State::SetKey)
        return &m_keys[int(m_keyKind)].values;
    return DataSet::stateBuffer(state);
}

void IndexedDataSet::keyValueAssigned(int slot)
{
    m_keys[int(m_keyKind)].assigned[slot] = true;
}

VariantList IndexedDataSet::keyFromBuffer(const KeyBuffer& buffer) const
{
    int count = 0;
    for (int i = 0; i < m_currentIndexFields.size(); ++i) {
        if (buffer.assigned.value(slotOfIndexField(i)))
            count = i + 1;
    }
    VariantList key;
    for (int i = 0; i < count; ++i)
        key.append(buffer.values.at(slotOfIndexField(i)));
    return key;
}

void IndexedDataSet::leaveKeyState()
{
    if (state() != State::SetKey)
        throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
    setState(State::Browse);
}

bool IndexedDataSet::gotoKey()
{
    leaveKeyState();
    return findKey(keyFromBuffer(m_keys[int(KeyKind::Search)]));
}

void IndexedDataSet::gotoNearest()
{
    leaveKeyState();
    findNearest(keyFromBuffer(m_keys[int(KeyKind::Search)]));
}

void IndexedDataSet::fillKeyBuffer(KeyKind kind, const VariantList& values)
{
    checkKey(values);
    KeyBuffer& k = m_keys[int(kind)];
    for (Variant& v : k.values)
        v = Variant::null();
    k.assigned.fill(false);
    for (int i = 0; i < values.size(); ++i) {
        const Field* f = fieldByName(m_currentIndexFields.at(i));
        k.values[f->m_slot] = f->convert(values.at(i));
        k.assigned[f->m_slot] = true;
    }
}

void IndexedDataSet::setRange(const VariantList& startValues, const VariantList& endValues)
{
    checkActive();
    checkBrowseMode();
    fillKeyBuffer(KeyKind::RangeStart, startValues);
    fillKeyBuffer(KeyKind::RangeEnd, endValues);
    applyRange();
}

void IndexedDataSet::applyRange()
{
    checkActive();
    if (state() == State::SetKey)
        setState(State::Browse);
    checkBrowseMode();
    if (m_currentIndexFields.isEmpty())
        throw EDBEditError(messagePrefix() + tr("No index currently active"));
    const VariantList start = keyFromBuffer(m_keys[int(KeyKind::RangeStart)]);
    const VariantList end = keyFromBuffer(m_keys[int(KeyKind::RangeEnd)]);
    internalSetRange(start, end);
    m_rangeActive = true;
    first();
    notifyDataSetChanged();
}

void IndexedDataSet::cancelRange()
{
    checkActive();
    checkBrowseMode();
    if (!m_rangeActive)
        return;
    internalSetRange(std::nullopt, std::nullopt);
    m_rangeActive = false;
    resync(false);
}
