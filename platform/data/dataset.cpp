// The cursor dataset base: field binding, the state machine with its event order, navigation
// through the filter, bookmarks, Locate and Lookup, counted DisableControls and the observers. The
// record storage itself is the backend's; the filter text is parsed in datasetfilter.cpp, the
// indexed dataset is in indexeddataset.cpp.
#include "dataset.h"

#include "collation.h"
#include "datasetfilter.h"

#include <QScopeGuard>

QStringList splitFieldList(const QString& names)
{
    QStringList out;
    for (const QString& part : names.split(QLatin1Char(';'))) {
        const QString n = part.trimmed();
        if (!n.isEmpty())
            out.append(n);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// DataSet

DataSet::DataSet(QObject* parent) : QObject(parent)
{
}

DataSet::~DataSet() = default;

QString DataSet::messagePrefix() const
{
    return objectName().isEmpty() ? QString() : objectName() + QStringLiteral(": ");
}

QString DataSet::fieldNotFoundMessage(const QString& fieldName) const
{
    const QString message = QStringLiteral("Champ '%1' non trouvé").arg(fieldName);
    return objectName().isEmpty() ? message : objectName() + QStringLiteral(" : ") + message;
}

void DataSet::checkActive() const
{
    if (m_state == State::Inactive)
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on a closed dataset"));
}

void DataSet::run(const NotifyEvent& event)
{
    if (event)
        event(*this);
}

// ---- fields

Field* DataSet::addField(const QString& name, FieldType type, int size, Field::Kind kind)
{
    if (isActive())
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on an open dataset"));
    if (findField(name))
        throw EDBEditError(messagePrefix() + tr("Duplicate field name '%1'").arg(name));
    m_fields.push_back(std::unique_ptr<Field>(new Field(this, name, type, size, kind)));
    return m_fields.back().get();
}

void DataSet::clearFields()
{
    if (isActive())
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on an open dataset"));
    m_fields.clear();
}

Field* DataSet::findField(const QString& name) const
{
    for (const auto& f : m_fields) {
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field* DataSet::fieldByName(const QString& name) const
{
    Field* f = findField(name);
    if (!f)
        throw EDBEditError(fieldNotFoundMessage(name));
    return f;
}

QStringList DataSet::fieldNames() const
{
    QStringList names;
    for (const auto& f : m_fields)
        names.append(f->fieldName());
    return names;
}

void DataSet::bindFields()
{
    bool persistentData = false;
    for (const auto& f : m_fields)
        persistentData = persistentData || f->fieldKind() == Field::Kind::Data;
    m_defaultFields = !persistentData;
    if (m_defaultFields) {
        // One field per definition, before the persistent calculated ones.
        std::vector<std::unique_ptr<Field>> fields;
        for (const FieldDef& def : m_fieldDefs.list()) {
            auto f = std::unique_ptr<Field>(
                new Field(this, def.name, def.type, def.size, Field::Kind::Data));
            f->m_required = def.required;
            f->m_emptyTextIsValue = def.emptyTextIsValue;
            fields.push_back(std::move(f));
        }
        for (auto& f : m_fields)
            fields.push_back(std::move(f));
        m_fields = std::move(fields);
    }
    m_dataFieldCount = m_fieldDefs.count();
    int calcSlot = m_dataFieldCount;
    for (const auto& f : m_fields) {
        if (f->fieldKind() != Field::Kind::Data) {
            f->m_slot = calcSlot++;
            continue;
        }
        const int i = m_fieldDefs.indexOf(f->fieldName());
        if (i < 0)
            throw EDBEditError(fieldNotFoundMessage(f->fieldName()));
        const FieldDef& def = m_fieldDefs.at(i);
        if (def.type != f->dataType())
            throw EDBEditError(
                messagePrefix() +
                tr("Type mismatch for field '%1', expecting: %2 actual: %3")
                    .arg(f->fieldName(), fieldTypeName(f->dataType()), fieldTypeName(def.type)));
        f->m_slot = i;
        f->m_required = f->m_required || def.required;
        f->m_emptyTextIsValue = f->m_emptyTextIsValue || def.emptyTextIsValue;
    }
    m_buffer = QList<Variant>(calcSlot);
    m_filterBuffer = QList<Variant>(calcSlot);
}

void DataSet::unbindFields()
{
    if (m_defaultFields) {
        std::erase_if(m_fields, [](const auto& f) { return f->fieldKind() == Field::Kind::Data; });
        m_defaultFields = false;
    }
    for (const auto& f : m_fields)
        f->m_slot = -1;
    m_buffer.clear();
    m_filterBuffer.clear();
}

int DataSet::bufferSize() const
{
    return int(m_buffer.size());
}

QList<Variant>* DataSet::stateBuffer(State state)
{
    if (m_viewBuffer && state != State::SetKey && state != State::Filter &&
        state != State::CalcFields)
        return m_viewBuffer;
    switch (state) {
    case State::Inactive:
        return nullptr;
    case State::Filter:
        return &m_filterBuffer;
    case State::CalcFields:
        return m_calcTarget;
    default:
        return &m_buffer;
    }
}

Variant DataSet::fieldValue(const Field& field) const
{
    const QList<Variant>* buffer = const_cast<DataSet*>(this)->stateBuffer(m_state);
    if (!buffer || field.m_slot < 0 || field.m_slot >= buffer->size())
        return Variant::null();
    return buffer->at(field.m_slot);
}

void DataSet::checkFieldWritable(const Field& field)
{
    switch (m_state) {
    case State::Edit:
    case State::Insert:
        if (m_viewBuffer)
            throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
        if (field.isReadOnly())
            throw EDBEditError(messagePrefix() +
                               tr("Field '%1' cannot be modified").arg(field.displayLabel()));
        break;
    case State::SetKey:
        break;
    case State::CalcFields:
        if (field.fieldKind() == Field::Kind::Data)
            throw EDBEditError(messagePrefix() +
                               tr("Field '%1' cannot be modified").arg(field.displayLabel()));
        break;
    case State::Inactive:
        checkActive();
        [[fallthrough]];
    default:
        throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
    }
}

// After checkFieldWritable. Editing writes the record buffer itself: a derived class has
// buffers of its own for key states only.
void DataSet::storeFieldValue(Field& field, Variant&& converted)
{
    if (m_state == State::SetKey || m_state == State::CalcFields) {
        QList<Variant>* buffer = stateBuffer(m_state);
        Q_ASSERT(buffer && field.m_slot >= 0 && field.m_slot < buffer->size());
        (*buffer)[field.m_slot] = std::move(converted);
        if (m_state == State::SetKey) {
            keyValueAssigned(field.m_slot);
            notifyRecordChanged(&field);
        }
        return;
    }
    Q_ASSERT(field.m_slot >= 0 && field.m_slot < m_buffer.size());
    if (field.onValidate)
        field.onValidate(field, converted);
    m_buffer.data()[field.m_slot] = std::move(converted);
    m_modified = true;
    if (field.fieldKind() == Field::Kind::Data)
        calculateFields(m_buffer);
    if (field.onChange)
        field.onChange(field);
    notifyRecordChanged(&field);
}

void DataSet::setFieldValue(Field& field, const Variant& value)
{
    checkFieldWritable(field);
    storeFieldValue(field, field.convert(value));
}

// A value already in the field's form is moved into the buffer without a copy.
void DataSet::setFieldValue(Field& field, Variant&& value)
{
    checkFieldWritable(field);
    if (!holdsFieldForm(field.dataType(), field.size(), value))
        value = field.convert(value);
    storeFieldValue(field, std::move(value));
}

void DataSet::runCalcFields(QList<Variant>& buffer)
{
    if (m_dataFieldCount >= buffer.size())
        return;
    for (qsizetype i = m_dataFieldCount; i < buffer.size(); ++i)
        buffer[i] = Variant::null();
    const State saved = m_state;
    QList<Variant>* savedTarget = m_calcTarget;
    m_calcTarget = &buffer;
    m_state = State::CalcFields;
    const auto restore = qScopeGuard([&] {
        m_state = saved;
        m_calcTarget = savedTarget;
    });
    onCalcFields(*this);
}

void DataSet::checkRequiredFields() const
{
    for (const auto& f : m_fields) {
        if (!f->isRequired() || f->fieldKind() != Field::Kind::Data ||
            f->dataType() == FieldType::AutoInc)
            continue;
        const Variant& v = m_buffer.at(f->m_slot);
        const bool missing =
            v.isEmpty() || (isTextType(f->dataType()) && !f->emptyTextIsValue() &&
                            v.type() == Variant::Type::String && v.stringView().isEmpty());
        if (missing)
            throw EDBEditError(messagePrefix() +
                               tr("Field '%1' must have a value").arg(f->displayLabel()));
    }
}

// ---- reading and the filter

// `bufferIsCurrent`: the buffer already holds the current record's data values.
void DataSet::readCurrent(bool bufferIsCurrent)
{
    if (m_hasCurrent) {
        if (!bufferIsCurrent)
            internalRead(m_buffer);
        for (qsizetype i = m_dataFieldCount; i < m_buffer.size(); ++i)
            m_buffer[i] = Variant::null();
        calculateFields(m_buffer);
    } else {
        for (Variant& v : m_buffer)
            v = Variant::null();
    }
}

bool DataSet::hasFilter() const
{
    return m_filtered && (m_filterExpr || onFilterRecord);
}

void DataSet::readCandidate()
{
    internalRead(m_filterBuffer);
    for (qsizetype i = m_dataFieldCount; i < m_filterBuffer.size(); ++i)
        m_filterBuffer[i] = Variant::null();
    calculateFields(m_filterBuffer);
}

bool DataSet::candidateAccepted()
{
    if (m_filterExpr && !m_filterExpr->evaluate(*this, m_filterBuffer,
                                                m_filterOptions.testFlag(FilterCaseInsensitive)))
        return false;
    if (!onFilterRecord)
        return true;
    const State saved = m_state;
    m_state = State::Filter;
    const auto restore = qScopeGuard([&] { m_state = saved; });
    bool accept = true;
    onFilterRecord(*this, accept);
    return accept;
}

bool DataSet::recordAccepted()
{
    if (!hasFilter())
        return true;
    readCandidate();
    return candidateAccepted();
}

bool DataSet::seekVisible(bool forward, bool includeCurrent)
{
    if (includeCurrent && recordAccepted())
        return true;
    if (!hasFilter())
        return forward ? internalNext() : internalPrior();
    const Bookmark start = internalBookmark();
    while (forward ? internalNext() : internalPrior()) {
        if (recordAccepted())
            return true;
    }
    if (!start.isNull())
        internalGotoBookmark(start);
    return false;
}

void DataSet::moveToFirstVisible()
{
    m_hasCurrent = internalFirst() && seekVisible(true, true);
    m_bof = true;
    m_eof = !m_hasCurrent;
}

void DataSet::moveToLastVisible()
{
    m_hasCurrent = internalLast() && seekVisible(false, true);
    m_eof = true;
    m_bof = !m_hasCurrent;
}

DataSet::Position DataSet::savePosition() const
{
    return Position{internalBookmark()};
}

void DataSet::restorePosition(const Position& position)
{
    if (position.bookmark.isNull() || !internalGotoBookmark(position.bookmark))
        internalFirst();
}

// ---- notifications

// Tells every observer, or remembers to tell them once controls are enabled again.
template <typename Tell> void DataSet::tellObservers(const Tell& tell)
{
    if (m_disableCount > 0) {
        m_pendingNotify = true;
        return;
    }
    const auto observers = m_observers;
    for (DataSetObserver* o : observers)
        tell(*o);
}

void DataSet::tellDataSetChanged()
{
    tellObservers([this](DataSetObserver& o) { o.dataSetChanged(*this); });
}

void DataSet::tellRecordChanged(Field* field)
{
    tellObservers([this, field](DataSetObserver& o) { o.recordChanged(*this, field); });
}

void DataSet::tellStateChanged()
{
    tellObservers([this](DataSetObserver& o) { o.stateChanged(*this); });
}

void DataSet::tellScrolled()
{
    tellObservers([this](DataSetObserver& o) { o.scrolled(*this); });
}

void DataSet::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    notifyStateChanged();
}

void DataSet::disableControls()
{
    ++m_disableCount;
}

void DataSet::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pendingNotify) {
        m_pendingNotify = false;
        notifyDataSetChanged();
    }
}

void DataSet::addObserver(DataSetObserver* observer)
{
    if (observer && !m_observers.contains(observer))
        m_observers.append(observer);
}

void DataSet::removeObserver(DataSetObserver* observer)
{
    m_observers.removeAll(observer);
}

// ---- opening and closing

void DataSet::open()
{
    if (isActive())
        return;
    run(beforeOpen);
    try {
        internalOpen();
        bindFields();
        m_state = State::Browse;
        fieldsChanged();
        moveToFirstVisible();
        readCurrent();
    } catch (...) {
        m_state = State::Inactive;
        try {
            internalClose();
        } catch (...) {
        }
        unbindFields();
        throw;
    }
    m_modified = false;
    notifyStateChanged();
    notifyDataSetChanged();
    run(afterOpen);
    if (m_hasCurrent)
        run(afterScroll);
}

void DataSet::close()
{
    if (!isActive())
        return;
    run(beforeClose);
    m_state = State::Inactive;
    m_modified = false;
    m_hasCurrent = false;
    m_bof = m_eof = true;
    const auto release = [this] {
        unbindFields();
        fieldsChanged();
        notifyStateChanged();
        notifyDataSetChanged();
    };
    // Released also when the storage fails to close; outside the guard, what the observers raise
    // reaches the caller.
    auto guard = qScopeGuard(release);
    internalClose();
    guard.dismiss();
    release();
    run(afterClose);
}

void DataSet::setActive(bool active)
{
    if (active)
        open();
    else
        close();
}

void DataSet::refresh()
{
    checkActive();
    checkBrowseMode();
    const Bookmark current = m_hasCurrent ? internalBookmark() : Bookmark();
    internalRefresh();
    if (!current.isNull() && internalGotoBookmark(current) && recordAccepted()) {
        m_hasCurrent = true;
        m_bof = m_eof = false;
    } else {
        moveToFirstVisible();
    }
    readCurrent();
    notifyDataSetChanged();
}

void DataSet::resync(bool toFirst)
{
    if (!isActive())
        return;
    if (!toFirst && m_hasCurrent && !internalBookmark().isNull() && recordAccepted()) {
        m_bof = m_eof = false;
    } else if (!toFirst && m_hasCurrent && seekVisible(true, false)) {
        m_bof = m_eof = false;
    } else {
        moveToFirstVisible();
    }
    readCurrent();
    notifyDataSetChanged();
}

// ---- navigation

void DataSet::beginScroll()
{
    checkActive();
    checkBrowseMode();
    run(beforeScroll);
}

void DataSet::endScroll()
{
    readCurrent();
    notifyScrolled();
    run(afterScroll);
}

void DataSet::first()
{
    beginScroll();
    moveToFirstVisible();
    endScroll();
}

void DataSet::last()
{
    beginScroll();
    moveToLastVisible();
    endScroll();
}

bool DataSet::step(bool forward)
{
    if (!m_hasCurrent)
        return false;
    if (!seekVisible(forward, false))
        return false;
    return true;
}

int DataSet::moveBy(int distance)
{
    beginScroll();
    int moved = 0;
    while (distance > 0) {
        if (!step(true)) {
            m_eof = true;
            break;
        }
        m_bof = false;
        m_eof = false;
        ++moved;
        --distance;
    }
    while (distance < 0) {
        if (!step(false)) {
            m_bof = true;
            break;
        }
        m_bof = false;
        m_eof = false;
        --moved;
        ++distance;
    }
    endScroll();
    return moved;
}

void DataSet::next()
{
    moveBy(1);
}
void DataSet::prior()
{
    moveBy(-1);
}

bool DataSet::isEmpty() const
{
    return !isActive() || !m_hasCurrent;
}

int DataSet::recordCount() const
{
    checkActive();
    if (!hasFilter()) {
        const int n = internalRecordCount();
        if (n >= 0)
            return n;
    }
    return countVisible(Bookmark(), nullptr);
}

int DataSet::recNo() const
{
    checkActive();
    if (!m_hasCurrent || m_state == State::Insert)
        return 0;
    if (!hasFilter()) {
        const int n = internalRecNo();
        if (n >= 0)
            return n;
    }
    bool found = false;
    const int count = countVisible(internalBookmark(), &found);
    return found ? count : 0;
}

int DataSet::countVisible(const Bookmark& stop, bool* reached) const
{
    DataSet* self = const_cast<DataSet*>(this);
    const Position saved = savePosition();
    int count = 0;
    bool found = false;
    if (self->internalFirst()) {
        do {
            if (self->recordAccepted())
                ++count;
            if (!stop.isNull() && internalBookmark() == stop) {
                found = true;
                break;
            }
        } while (self->internalNext());
    }
    self->restorePosition(saved);
    if (reached)
        *reached = found;
    return count;
}

void DataSet::setRecNo(int recNo)
{
    beginScroll();
    bool moved = false;
    if (!hasFilter()) {
        moved = internalSetRecNo(recNo);
        if (!moved && internalRecNo() < 0) {
            // The backend cannot jump: walk.
            int n = 0;
            const Position saved = savePosition();
            if (internalFirst()) {
                do {
                    if (++n == recNo) {
                        moved = true;
                        break;
                    }
                } while (internalNext());
            }
            if (!moved)
                restorePosition(saved);
        }
    } else {
        int n = 0;
        const Position saved = savePosition();
        if (internalFirst()) {
            do {
                if (recordAccepted() && ++n == recNo) {
                    moved = true;
                    break;
                }
            } while (internalNext());
        }
        if (!moved)
            restorePosition(saved);
    }
    if (moved) {
        m_hasCurrent = true;
        m_bof = m_eof = false;
    }
    endScroll();
}

// ---- editing

void DataSet::checkBrowseMode()
{
    checkActive();
    switch (m_state) {
    case State::Edit:
    case State::Insert:
        if (m_modified)
            post();
        else
            cancel();
        break;
    case State::SetKey:
        cancel();
        break;
    default:
        break;
    }
}

void DataSet::checkCanModify() const
{
    if (!canModify())
        throw EDBEditError(messagePrefix() + tr("Cannot modify a read-only dataset"));
}

void DataSet::edit()
{
    checkActive();
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    checkBrowseMode();
    if (!m_hasCurrent) {
        insert();
        return;
    }
    checkCanModify();
    run(beforeEdit);
    readCurrent();
    m_modified = false;
    setState(State::Edit);
    notifyRecordChanged(nullptr);
    run(afterEdit);
}

void DataSet::beginInsertAppend(PostMode mode)
{
    checkActive();
    checkBrowseMode();
    checkCanModify();
    run(beforeInsert);
    run(beforeScroll);
    m_insertMode = mode;
    for (Variant& v : m_buffer)
        v = Variant::null();
    internalInitRecord(m_buffer);
    m_modified = false;
    setState(State::Insert);
    try {
        calculateFields(m_buffer);
        run(onNewRecord);
    } catch (...) {
        m_modified = false;
        setState(State::Browse);
        readCurrent();
        throw;
    }
    // Values given by OnNewRecord are defaults: a record nobody touched is dropped by a move.
    m_modified = false;
    notifyRecordChanged(nullptr);
    run(afterInsert);
    run(afterScroll);
}

void DataSet::insert()
{
    beginInsertAppend(PostMode::Insert);
}
void DataSet::append()
{
    beginInsertAppend(PostMode::Append);
}

void DataSet::post()
{
    checkActive();
    if (m_state == State::SetKey) {
        cancel();
        return;
    }
    if (m_state != State::Edit && m_state != State::Insert)
        throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
    run(beforePost);
    if (m_state != State::Edit && m_state != State::Insert)
        return; // the handler posted or cancelled the record itself
    checkRequiredFields();
    const PostMode mode = m_state == State::Edit ? PostMode::Edit : m_insertMode;
    m_hasCurrent = internalPost(m_buffer, mode);
    bool bufferIsCurrent = m_hasCurrent && internalPostKeptValues();
    if (m_hasCurrent && hasFilter() && !recordAccepted()) {
        // The written record no longer passes the filter: stand on a neighbour.
        m_hasCurrent = seekVisible(true, false) || seekVisible(false, false);
        bufferIsCurrent = false;
    }
    finishWrite(bufferIsCurrent);
    run(afterPost);
}

void DataSet::finishWrite(bool bufferIsCurrent)
{
    m_modified = false;
    m_bof = m_eof = !m_hasCurrent;
    const bool stateChanged = m_state != State::Browse;
    m_state = State::Browse;
    readCurrent(bufferIsCurrent);
    if (stateChanged)
        notifyStateChanged();
    notifyDataSetChanged();
}

void DataSet::cancel()
{
    checkActive();
    if (m_state == State::SetKey) {
        setState(State::Browse);
        return;
    }
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    run(beforeCancel);
    m_modified = false;
    m_state = State::Browse;
    readCurrent();
    notifyStateChanged();
    notifyRecordChanged(nullptr);
    run(afterCancel);
}

void DataSet::deleteRecord()
{
    checkActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::SetKey)
        cancel();
    if (!m_hasCurrent)
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on an empty dataset"));
    checkCanModify();
    run(beforeDelete);
    run(beforeScroll);
    m_hasCurrent = internalDelete();
    if (m_hasCurrent && hasFilter())
        m_hasCurrent = seekVisible(true, true) || seekVisible(false, false);
    finishWrite();
    run(afterDelete);
    run(afterScroll);
}

void DataSet::appendRecord(const VariantList& values)
{
    append();
    try {
        int i = 0;
        for (const auto& f : m_fields) {
            if (f->fieldKind() != Field::Kind::Data)
                continue;
            if (i < values.size())
                f->setValue(values.at(i));
            ++i;
        }
        post();
    } catch (...) {
        if (m_state == State::Insert)
            cancel();
        throw;
    }
}

// ---- bookmarks

Bookmark DataSet::bookmark() const
{
    if (!isActive() || !m_hasCurrent || m_state == State::Insert)
        return Bookmark();
    return internalBookmark();
}

bool DataSet::bookmarkValid(const Bookmark& bookmark) const
{
    return isActive() && !bookmark.isNull() && internalBookmarkValid(bookmark);
}

void DataSet::gotoBookmark(const Bookmark& bookmark)
{
    beginScroll();
    const Position saved = savePosition();
    if (bookmark.isNull() || !internalGotoBookmark(bookmark) || !recordAccepted()) {
        restorePosition(saved);
        throw EDBEditError(messagePrefix() + tr("Record not found"));
    }
    m_hasCurrent = true;
    m_bof = m_eof = false;
    endScroll();
}

bool DataSet::viewRecord(const Bookmark& bookmark, const std::function<void()>& visit)
{
    if (!isActive() || bookmark.isNull())
        return false;
    if (m_hasCurrent && m_state != State::Insert && internalBookmark() == bookmark) {
        visit();
        return true;
    }
    const Position saved = savePosition();
    if (!internalGotoBookmark(bookmark)) {
        restorePosition(saved);
        return false;
    }
    QList<Variant> buffer(m_buffer.size());
    try {
        internalRead(buffer);
        restorePosition(saved);
        calculateFields(buffer);
    } catch (...) {
        restorePosition(saved);
        throw;
    }
    QList<Variant>* previous = m_viewBuffer;
    m_viewBuffer = &buffer;
    const auto restore = qScopeGuard([&] { m_viewBuffer = previous; });
    visit();
    return true;
}

QList<Bookmark> DataSet::bookmarks()
{
    QList<Bookmark> out;
    if (!isActive())
        return out;
    const Position saved = savePosition();
    const auto restore = qScopeGuard([&] { restorePosition(saved); });
    if (internalFirst()) {
        do {
            if (recordAccepted())
                out.append(internalBookmark());
        } while (internalNext());
    }
    return out;
}

// ---- searching

QList<int> DataSet::fieldSlots(const QString& names, QList<FieldType>* types) const
{
    QList<int> columns;
    for (const QString& name : splitFieldList(names)) {
        const Field* f = fieldByName(name);
        columns.append(f->m_slot);
        if (types)
            types->append(f->dataType());
    }
    return columns;
}

bool DataSet::candidateMatches(const QList<int>& columns, const QList<FieldType>& types,
                               const VariantList& values, LocateOptions options) const
{
    for (int i = 0; i < columns.size(); ++i) {
        const Variant& fv = m_filterBuffer.at(columns.at(i));
        const Variant& sv = values.at(i);
        if (sv.isEmpty() || fv.isEmpty()) {
            if (sv.isEmpty() != fv.isEmpty())
                return false;
            continue;
        }
        const FieldType type = types.at(i);
        if (isTextType(type)) {
            const QString f = fv.toString(), s = sv.toString();
            const bool ci = options.testFlag(CaseInsensitive);
            if (options.testFlag(PartialKey)) {
                const QString ff = ci ? collation::foldedKey(f) : f;
                const QString ss = ci ? collation::foldedKey(s) : s;
                if (!ff.startsWith(ss))
                    return false;
            } else if ((ci ? collation::compareFolded(f, s) : collation::compareExact(f, s)) != 0) {
                return false;
            }
            continue;
        }
        if (compareFieldValues(type, fv, convertFieldValue(type, 0, sv)) != 0)
            return false;
    }
    return true;
}

bool DataSet::search(const QString& keyFields, const VariantList& values, LocateOptions options)
{
    QList<FieldType> types;
    const QList<int> columns = fieldSlots(keyFields, &types);
    if (columns.isEmpty() || columns.size() != values.size())
        throw EDBEditError(messagePrefix() +
                           tr("Locate needs one value per field: %1").arg(keyFields));
    if (internalFirst()) {
        do {
            readCandidate();
            if (candidateMatches(columns, types, values, options) &&
                (!hasFilter() || candidateAccepted()))
                return true;
        } while (internalNext());
    }
    return false;
}

bool DataSet::scrollToFound(void* find, bool (*call)(void* find))
{
    beginScroll();
    const Position saved = savePosition();
    bool found = false;
    try {
        found = call(find);
    } catch (...) {
        restorePosition(saved);
        throw;
    }
    if (!found) {
        restorePosition(saved);
        return false;
    }
    m_hasCurrent = true;
    m_bof = m_eof = false;
    endScroll();
    return true;
}

bool DataSet::locate(const QString& keyFields, const VariantList& values, LocateOptions options)
{
    return scrollToFound([&] { return search(keyFields, values, options); });
}

bool DataSet::locate(const QString& keyField, const Variant& value, LocateOptions options)
{
    return locate(keyField, VariantList{value}, options);
}

QList<Bookmark> DataSet::matchingBookmarks(const QString& keyFields, const VariantList& values,
                                           LocateOptions options)
{
    checkActive();
    QList<FieldType> types;
    const QList<int> columns = fieldSlots(keyFields, &types);
    if (columns.isEmpty() || columns.size() != values.size())
        throw EDBEditError(messagePrefix() +
                           tr("Locate needs one value per field: %1").arg(keyFields));
    QList<Bookmark> out;
    const Position saved = savePosition();
    const auto restore = qScopeGuard([&] { restorePosition(saved); });
    if (internalFirst()) {
        do {
            readCandidate();
            if (candidateMatches(columns, types, values, options) &&
                (!hasFilter() || candidateAccepted()))
                out.append(internalBookmark());
        } while (internalNext());
    }
    return out;
}

Variant DataSet::lookup(const QString& keyFields, const VariantList& values,
                        const QString& resultField)
{
    checkActive();
    const Field* result = fieldByName(resultField);
    const Position saved = savePosition();
    const auto restore = qScopeGuard([&] { restorePosition(saved); });
    if (!search(keyFields, values, {}))
        return Variant::null();
    return m_filterBuffer.at(result->m_slot);
}

// ---- filtering

void DataSet::setFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    if (isActive())
        checkBrowseMode();
    m_filtered = filtered;
    if (isActive())
        resync(true);
}

void DataSet::setFilter(const QString& text)
{
    std::shared_ptr<FilterExpr> expr;
    if (!text.trimmed().isEmpty())
        expr = FilterExpr::parse(text);
    if (isActive() && m_filtered)
        checkBrowseMode();
    m_filterText = text;
    m_filterExpr = std::move(expr);
    if (isActive() && m_filtered)
        resync(true);
}

void DataSet::setFilterOptions(FilterOptions options)
{
    if (isActive() && m_filtered)
        checkBrowseMode();
    m_filterOptions = options;
    if (isActive() && m_filtered)
        resync(true);
}

// ---- backend defaults

void DataSet::internalInitRecord(QList<Variant>&)
{
}
bool DataSet::internalPostKeptValues() const
{
    return false;
}
void DataSet::internalRefresh()
{
}
int DataSet::internalRecordCount() const
{
    return -1;
}
int DataSet::internalRecNo() const
{
    return -1;
}
bool DataSet::internalSetRecNo(int)
{
    return false;
}
void DataSet::keyValueAssigned(int)
{
}
