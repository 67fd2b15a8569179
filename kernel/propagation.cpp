// Open caches following each other's writes in memory (a modified field, an inserted row, a
// deleted row), the positions a cache keeps meanwhile, the upkeep of lookup fields while a row is
// edited, and the small row-matching routines both use.
#include "dbcache.h"

#include <kernel/dbaccess.h>
#include <kernel/fielddesc.h>
#include <kernel/metadata.h>
#include <platform/db/sqlquery.h>

namespace {

// The values of the named fields of a dataset's current row.
VariantList valuesOf(const DataSet& dataSet, const QStringList& fields)
{
    VariantList values;
    for (const QString& f : fields)
        values.append(dataSet.fieldByName(f)->value());
    return values;
}

// The fields of a dataset that `names` stand for: in a cache bound to a table, a field of the
// table is the field selected from its column (a cache without one: an empty list); other
// names, and every name in any other dataset, stand for the field of that name.
QStringList shownFields(const DataSet& dataSet, const QStringList& names)
{
    const auto* cache = dynamic_cast<const TDBCache*>(&dataSet);
    const TTableProps* table = cache ? cache->GetTableProps() : nullptr;
    if (!table)
        return names;
    QStringList shown;
    for (const QString& name : names) {
        if (!table->FindFieldProps(name)) {
            shown.append(name);
            continue;
        }
        const QString field = cache->ColumnFieldName(name);
        if (field.isEmpty())
            return QStringList();
        shown.append(field);
    }
    return shown;
}

// The caches that may follow a write of `source`: not itself, not closed to refreshes, not being
// edited, bound to a table.
QList<QPointer<TDBCache>> targetsOf(const TDBCache& source)
{
    QList<QPointer<TDBCache>> targets;
    TDBAccess* access = source.Access();
    if (!access)
        return targets;
    for (TKernelCache* open : access->OpenCaches()) {
        auto* cache = dynamic_cast<TDBCache*>(open);
        if (!cache || cache == &source || cache->Options.testFlag(coNoRefresh) ||
            cache->state() == DataSet::State::Edit || cache->state() == DataSet::State::Insert ||
            !cache->GetTableProps() || !cache->isActive())
            continue;
        targets.append(cache);
    }
    return targets;
}

// A cache's position held for the length of a scope.
class Held
{
public:
    explicit Held(TDBCache& cache) : m_cache(cache) { m_cache.SavePosition(); }
    ~Held()
    {
        try {
            m_cache.RestorePosition();
        } catch (const std::exception&) {
            // The cache stays on the row it reached.
        }
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    TDBCache& m_cache;
};

// The writing cache's and then the following cache's consent to a change of the following one.
bool consents(TDBCache& source, TDBCache& target, TUpdateKind kind, bool& answering)
{
    bool done = false;
    if (source.OnRefresh)
        source.OnRefresh(kind, target, done);
    if (!done && target.OnRefresh) {
        answering = true;
        target.OnRefresh(kind, source, done);
        answering = false;
    }
    return !done;
}

// The fields that are no metadata fields (expressions), copied between caches by equal name and
// type, the row identifier excepted.
void copyExpressionFields(const TDBCache& source, TDBCache& target)
{
    if (source.Options.testFlag(coNoRefreshExpr) || target.Options.testFlag(coNoRefreshExpr))
        return;
    for (int i = 0; i < target.fieldCount(); ++i) {
        Field* t = target.field(i);
        if (t->fieldKind() != Field::Kind::Data || target.FindFieldProps(t->fieldName()) ||
            sameName(t->fieldName(), target.RowIdFieldName()))
            continue;
        const Field* s = source.findField(t->fieldName());
        if (s && !source.FindFieldProps(s->fieldName()) && s->dataType() == t->dataType() &&
            !sameName(s->fieldName(), source.RowIdFieldName()))
            t->setValue(s->value());
    }
}

// Every field of the target taken from the same metadata field as a field of the source takes
// that field's value.
void copySameMetaFields(const TDBCache& source, TDBCache& target)
{
    for (const auto& [name, props] : target.FieldPropsList()) {
        Field* t = props ? target.findField(name) : nullptr;
        if (!t || t->fieldKind() != Field::Kind::Data)
            continue;
        for (const auto& [sourceName, sourceProps] : source.FieldPropsList()) {
            if (SameFieldProps(sourceProps, props)) {
                if (const Field* s = source.findField(sourceName))
                    t->setValue(s->value());
                break;
            }
        }
    }
}

// One following cache during a modification: asked once, then its matching rows updated.
class Follower
{
public:
    Follower(TDBCache& source, TDBCache& target, bool& answering)
        : m_source(source), m_target(target), m_answering(answering)
    {
    }
    bool refused() const { return m_refused; }

    // Sets `field` to `value` in every row whose `match` fields hold `values`.
    void update(const QStringList& match, const VariantList& values, const QString& field,
                const Variant& value, bool sameTable)
    {
        if (m_refused || match.isEmpty() || !m_target.findField(field))
            return;
        Held held(m_target);
        m_target.CancelParamRangeKeeping();
        const QList<Bookmark> rows =
            m_target.matchingBookmarks(match.join(QLatin1Char(';')), values);
        for (const Bookmark& b : std::as_const(rows)) {
            if (!m_asked) {
                m_asked = true;
                if (!consents(m_source, m_target, ukModify, m_answering)) {
                    m_refused = true;
                    break;
                }
            }
            m_target.gotoBookmark(b);
            m_target.edit();
            try {
                m_target.fieldByName(field)->setValue(value);
                if (sameTable)
                    copySameMetaFields(m_source, m_target);
                if (!m_updated && sameTable)
                    copyExpressionFields(m_source, m_target);
                m_updated = true;
                m_target.post();
            } catch (...) {
                m_target.cancel();
                throw;
            }
        }
        m_target.ApplyParamRange();
    }

private:
    TDBCache& m_source;
    TDBCache& m_target;
    bool& m_answering;
    bool m_asked = false;
    bool m_refused = false;
    bool m_updated = false;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Positions

void TDBCache::SavePosition()
{
    SavedPosition saved;
    saved.plugged = m_plugged;
    if (isActive()) {
        const Field* id = m_rowIdField.isEmpty() ? nullptr : findField(m_rowIdField);
        // Rows read from the database carry no identifier (0 or null): those are found again
        // by bookmark.
        if (state() == State::Browse && id && id->dataType() == FieldType::Integer &&
            !id->isNull() && id->asInteger() != 0)
            saved.rowId = id->asInteger();
        else if (state() == State::Browse && !isEmpty())
            saved.bookmark = bookmark();
    }
    m_positions.append(saved);
    unplugHandlers();
    disableControls();
}

void TDBCache::RestorePosition()
{
    if (m_positions.isEmpty())
        return;
    const SavedPosition saved = m_positions.takeLast();
    // A row being edited or inserted stays as it is: moving would post or cancel it.
    if (isActive() && state() == State::Browse) {
        if (!saved.bookmark.isNull()) {
            if (bookmarkValid(saved.bookmark))
                gotoBookmark(saved.bookmark);
        } else if (saved.rowId != 0) {
            const Field* id = findField(m_rowIdField);
            if (!id || id->asInteger() != saved.rowId)
                locate(m_rowIdField, Variant(saved.rowId));
        }
    }
    enableControls();
    if (saved.plugged)
        plugHandlers();
    if (m_positions.isEmpty())
        m_answering = false;
}

// ---------------------------------------------------------------------------------------------
// Following a write

void TDBCache::PropagateModified(TDBCache& source, const QStringList& changedFields)
{
    const TTableProps* table = source.GetTableProps();
    TDBAccess* access = source.Access();
    if (!table || !access)
        return;
    const QStringList keys = FieldNameList(table->KeyFields);
    const QStringList sourceKeys = source.ColumnFieldNames(keys);
    if (sourceKeys.isEmpty())
        return;
    const VariantList keyValues = valuesOf(source, sourceKeys);

    for (const QPointer<TDBCache>& target : targetsOf(source)) {
        if (!target || !target->m_followMark)
            continue;
        TDBCache& t = *target;
        Follower follower(source, t, t.m_answering);
        for (const QString& changed : changedFields) {
            const TFieldProps* props = source.FindFieldProps(changed);
            if (!props)
                continue;
            const Variant value = source.fieldByName(changed)->value();
            // Lookup fields that show this column of the written row.
            for (const QString& entry : t.LookupDescriptors().split(QLatin1Char(','))) {
                const QString text = entry.section(QLatin1Char('='), 1);
                if (text.isEmpty() || !t.Request())
                    continue;
                const TFieldDescriptor d = ParseFieldDescriptor(*access, t.Request()->Name(), text);
                if (!sameName(d.LookupTable, table->TableName) ||
                    !sameName(d.LookupResultField, props->FieldName))
                    continue;
                const QStringList from = source.ColumnFieldNames(FieldNameList(d.LookupKeyFields));
                if (!from.isEmpty())
                    follower.update(FieldNameList(d.KeyFields), valuesOf(source, from), d.Name,
                                    value, false);
            }
            // Fields of the target that show the same column.
            for (const auto& [name, targetProps] : t.FieldPropsList()) {
                if (!SameFieldProps(targetProps, props))
                    continue;
                if (sameName(t.GetTableName(), table->TableName)) {
                    follower.update(t.ColumnFieldNames(keys), keyValues, name, value, true);
                    continue;
                }
                // A row of the target's table that refers to the written row.
                for (const TLinkInfo* link : std::as_const(t.GetTableProps()->ParentLinks)) {
                    if (!sameName(link->Parent, table->TableName) ||
                        FieldNameList(link->KeyFields) != keys)
                        continue;
                    const QStringList refs = t.ColumnFieldNames(FieldNameList(link->RefFields));
                    if (!refs.isEmpty())
                        follower.update(refs, keyValues, name, value, false);
                }
            }
            if (follower.refused())
                break;
        }
        t.m_followMark = false;
    }
}

void TDBCache::PropagateInserted(TDBCache& source)
{
    const TTableProps* table = source.GetTableProps();
    if (!table)
        return;
    for (const QPointer<TDBCache>& target : targetsOf(source)) {
        if (!target || !sameName(target->GetTableName(), table->TableName))
            continue;
        TDBCache& t = *target;
        // The source's values of the columns the target shows.
        QList<QPair<Field*, Variant>> values;
        for (const auto& [name, props] : t.FieldPropsList()) {
            Field* field = props ? t.findField(name) : nullptr;
            if (!field || field->fieldKind() != Field::Kind::Data)
                continue;
            for (const auto& [sourceName, sourceProps] : source.FieldPropsList()) {
                const Field* s =
                    SameFieldProps(sourceProps, props) ? source.findField(sourceName) : nullptr;
                if (s) {
                    values.append({field, s->value()});
                    break;
                }
            }
        }
        if (values.isEmpty() || !t.AcceptsMasterRow(source))
            continue;
        Held held(t);
        t.append();
        try {
            if (!consents(source, t, ukInsert, t.m_answering)) {
                t.cancel();
                continue;
            }
            for (const auto& [field, value] : std::as_const(values))
                field->setValue(value);
            copyExpressionFields(source, t);
            t.post();
        } catch (...) {
            if (t.state() == State::Insert)
                t.cancel();
            throw;
        }
        if (!t.Options.testFlag(coNoCount))
            ++t.m_recordCount;
        ++t.m_rowCount;
    }
}

void TDBCache::PropagateDeleted(TDBCache& source)
{
    const TTableProps* table = source.GetTableProps();
    if (!table)
        return;
    const QStringList keys = FieldNameList(table->KeyFields);
    const QStringList sourceKeys = source.ColumnFieldNames(keys);
    if (sourceKeys.isEmpty())
        return;
    const VariantList keyValues = valuesOf(source, sourceKeys);
    for (const QPointer<TDBCache>& target : targetsOf(source)) {
        if (!target || target->GetTableProps() != table)
            continue;
        TDBCache& t = *target;
        // The row is found by its whole key: part of one could name another row.
        const QStringList targetKeys = t.ColumnFieldNames(keys);
        if (targetKeys.isEmpty())
            continue;
        Held held(t);
        t.CancelParamRangeKeeping();
        if (t.locate(targetKeys.join(QLatin1Char(';')), keyValues)) {
            t.deleteRecord();
            if (!t.Options.testFlag(coNoCount) && t.m_recordCount > 0)
                --t.m_recordCount;
            if (t.m_rowCount > 0)
                --t.m_rowCount;
        }
        t.ApplyParamRange();
    }
}

bool TDBCache::AcceptsMasterRow(const TDBCache& writer) const
{
    const TDBRequest* request = writer.Request();
    if (!writer.Master || !request || request->Where().Count() == 0)
        return true;
    // A detail's master fields are its key fields.
    const QStringList master = FieldNameList(writer.GetKeyFields());
    const QStringList keys = master;
    QList<const Param*> found;
    for (const QString& name : master) {
        const Param* param = nullptr;
        for (int i = 0; i < request->Where().Count() && !param; ++i)
            param = request->Where()[i]->ItemParams().findParam(name);
        if (!param)
            return false;
        found.append(param);
    }
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const Field* field = ColumnField(keys.at(i));
        if (!field || field->value() != found.at(i)->value())
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Lookup fields

void TDBCache::dropLookupHandlers()
{
    ++m_lookupGeneration;
}

void TDBCache::SetupLookupFields()
{
    dropLookupHandlers();
    TDBAccess* access = Access();
    if (m_lookupDescriptors.isEmpty() || !access)
        return;
    const int generation = m_lookupGeneration;
    const QString requestName = m_request ? m_request->Name() : QString();
    for (const QString& entry : m_lookupDescriptors.split(QLatin1Char(','))) {
        const TFieldDescriptor d =
            ParseFieldDescriptor(*access, requestName, entry.section(QLatin1Char('='), 1));
        const QStringList sources = FieldNameList(d.KeyFields);
        Field* source = sources.isEmpty() ? nullptr : findField(sources.last());
        if (!source)
            continue;
        auto previous = source->onChange;
        source->onChange = [this, previous, generation](Field& changed) {
            if (previous)
                previous(changed);
            if (generation == m_lookupGeneration)
                lookupSourceChanged(changed);
        };
    }
}

void TDBCache::lookupSourceChanged(Field& field)
{
    TDBAccess* access = Access();
    if (!access || Refreshing() || (state() != State::Edit && state() != State::Insert))
        return;
    const QString requestName = m_request ? m_request->Name() : QString();
    for (const QString& entry : m_lookupDescriptors.split(QLatin1Char(','))) {
        const TFieldDescriptor d =
            ParseFieldDescriptor(*access, requestName, entry.section(QLatin1Char('='), 1));
        if (FieldNameList(d.KeyFields).contains(field.fieldName(), Qt::CaseInsensitive)) {
            RefreshLookupField(d);
            return;
        }
    }
}

void TDBCache::RefreshLookupFields()
{
    TDBAccess* access = Access();
    if (!access || m_lookupDescriptors.isEmpty() ||
        (state() != State::Edit && state() != State::Insert))
        return;
    const QString requestName = m_request ? m_request->Name() : QString();
    for (const QString& entry : m_lookupDescriptors.split(QLatin1Char(',')))
        RefreshLookupField(
            ParseFieldDescriptor(*access, requestName, entry.section(QLatin1Char('='), 1)));
}

void TDBCache::RefreshLookupField(const TFieldDescriptor& lookup)
{
    TDBAccess* access = Access();
    Field* target = findField(lookup.Name);
    if (!access || !target)
        return;
    DataSet* source =
        access->GetLookupSource({lookup.LookupTable, FieldNameList(lookup.LookupKeyFields).value(0),
                                 lookup.LookupResultField});
    if (!source->isActive()) {
        if (auto* cache = dynamic_cast<TKernelCache*>(source))
            cache->OpenCache();
        else
            source->open();
    }
    Variant value = Variant::null();
    const QStringList from = FieldNameList(lookup.KeyFields);
    // The lookup table's columns as the source shows them: a source without the result column
    // has no value to give.
    const QString result = shownFields(*source, {lookup.LookupResultField}).value(0);
    if (result.isEmpty()) {
        target->setValue(value);
        return;
    }
    if (source == this || source->state() != State::Browse) {
        // A source being edited is read without moving it.
        const QStringList keys = shownFields(*source, FieldNameList(lookup.LookupKeyFields));
        if (!from.isEmpty() && from.size() <= 6 && !keys.isEmpty())
            value = source->lookup(keys.join(QLatin1Char(';')), valuesOf(*this, from), result);
    } else {
        auto* cache = dynamic_cast<TDBCache*>(source);
        Bookmark kept;
        if (cache)
            cache->SavePosition();
        else if (!source->isEmpty())
            kept = source->bookmark();
        try {
            if (LocateByFields(*source, lookup.LookupKeyFields, *this, lookup.KeyFields))
                value = source->fieldByName(result)->value();
        } catch (...) {
            if (cache)
                cache->RestorePosition();
            throw;
        }
        if (cache)
            cache->RestorePosition();
        else if (!kept.isNull() && source->bookmarkValid(kept))
            source->gotoBookmark(kept);
    }
    target->setValue(value);
}

// ---------------------------------------------------------------------------------------------
// Row matching

bool LocateByFields(DataSet& target, const QString& keyFields, const DataSet& source,
                    const QString& sourceFields)
{
    QStringList names;
    for (const QString& n : sourceFields.split(QLatin1Char(','))) {
        if (!n.trimmed().isEmpty())
            names.append(n.trimmed());
    }
    if (names.isEmpty() || names.size() > 6)
        return false;
    const QStringList keys = shownFields(target, FieldNameList(keyFields));
    if (keys.isEmpty())
        return false;
    return target.locate(keys.join(QLatin1Char(';')), valuesOf(source, names));
}

bool FieldsEqual(const TDBCache& cache, const QString& fields, const DataSet& other,
                 const QString& otherFields)
{
    const QStringList a = fields.split(QLatin1Char(','));
    const QStringList b = otherFields.split(QLatin1Char(','));
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i) {
        const Field* mine = cache.FieldByName(a.at(i).trimmed());
        if (mine->dataType() == FieldType::Memo)
            continue;
        if (mine->value() != other.fieldByName(b.at(i).trimmed())->value())
            return false;
    }
    return true;
}

void CopyRequestParams(const TDBRequest& request, SqlQuery& query)
{
    for (const Param& p : request.GetParams()) {
        if (Param* q = query.params().findParam(p.name()))
            *q = p;
    }
}
