// The cached dataset: its event routing, the load frame around the request's loading operations,
// the field lookup with the legacy names, the index made from a field list, the after-load step,
// the labels of its fields, and what it does when the descriptions it uses are reloaded.
#include "dbcache.h"

#include <kernel/dbaccess.h>
#include <kernel/fielddesc.h>
#include <kernel/metadata.h>
#include <kernel/reswords.h>
#include <platform/clock.h>

#include <QSet>

#include <algorithm>

namespace {

// Indexes made from field lists are numbered across all caches of the process.
quint64 indexCounter = 0;

bool sameFieldList(const QString& a, const QString& b)
{
    const QStringList x = FieldNameList(a);
    const QStringList y = FieldNameList(b);
    if (x.size() != y.size())
        return false;
    for (qsizetype i = 0; i < x.size(); ++i) {
        if (!sameName(x.at(i), y.at(i)))
            return false;
    }
    return true;
}

// The practice software's older column names, looked up as today's (upper-cased, in this order).
const std::pair<const char*, const char*> LegacyNames[] = {
    {"PATIENT_ID", "PATIENTS_ID"},   {"N_PATIENT", "PATIENTS_ID"},   {"MEDECIN_ID", "MEDECINS_ID"},
    {"MEDECINTR_ID", "MEDTRAIT_ID"}, {"N_MEDECINTR", "MEDTRAIT_ID"}, {"N_MEDECIN", "MEDECINS_ID"},
    {"DATE DE NAISSANCE", "NE_LE"},
};

// What the access component asks of the request unit: automatic lookup sources are caches on a
// request of their own; cache versions are raised in CACHESYS.
class CacheServices : public TKernelCacheServices
{
public:
    DataSet* CreateLookupSource(TDBAccess& access, const QString& table, const QString& keyField,
                                const QString& resultField) override
    {
        auto* request = new TDBRequest(&access);
        request->SetDBAccess(&access);
        request->From().Add()->SetTableName(table);
        request->Select().Add()->SetText(keyField);
        request->Select().Add()->SetText(resultField);
        auto* cache = new TDBCache(&access);
        cache->SetRequest(request);
        return cache;
    }
    void IncCacheVersion(Database& database, const QString& aliases) override
    {
        TDBAccess::IncCacheVersion(database, aliases);
    }
};

CacheServices services;
[[maybe_unused]] const bool servicesRegistered = (SetKernelCacheServices(&services), true);

} // namespace

TDBCache::TDBCache(QObject* owner) : MemDataSet(owner)
{
    onFilterRecord = [this](DataSet& dataSet, bool& accept) {
        if (OnFilterRecord)
            OnFilterRecord(dataSet, accept);
    };
    installRoutines();
    plugHandlers();
}

TDBCache::~TDBCache()
{
    if (m_access) {
        m_access->UnregisterOpenCache(this);
        m_access->UnregisterBoundCache(this);
    }
    // The dataset's slots call into this object: none may run while the base class closes.
    for (NotifyEvent* slot :
         {&beforeClose, &afterClose, &beforeInsert, &afterInsert, &beforeEdit, &afterEdit,
          &beforePost, &afterPost, &beforeCancel, &afterCancel, &beforeDelete, &afterDelete,
          &beforeScroll, &afterScroll, &onNewRecord, &onCalcFields})
        *slot = nullptr;
    onFilterRecord = nullptr;
    dropLookupHandlers();
    releaseWorkState();
}

// ---------------------------------------------------------------------------------------------
// Event routing
//
// The routines stay in the dataset's slots; unplugged, they do nothing but what is said below.
//
//   plugged (open, used by the caller): every slot runs the cache's routine, which does the
//     cache's own work (work records, identifiers and defaults of new rows, the write-back on
//     post and delete, the close events' upkeep) and calls the caller's handler of the same name
//   unplugged (loading, writing, or following another cache's write): no slot acts but
//     BeforePost, which runs OnCalcFields and, unless a write is under way, reads the lookup
//     fields again; so filling the cache or bringing it in line fires none of the caller's
//     handlers and writes nothing

namespace {

// The program's clock at the last post or delete of a cache (in UTC: taken at every post).
QDateTime lastPostTime;

} // namespace

QDateTime LastPostTime()
{
    return lastPostTime.toLocalTime();
}

void TDBCache::installRoutines()
{
    auto user = [this](NotifyEvent TDBCache::*handler) {
        return [this, handler](DataSet&) {
            if (m_plugged && this->*handler)
                (this->*handler)(*this);
        };
    };
    auto own = [this](void (TDBCache::*routine)()) {
        return [this, routine](DataSet&) {
            if (m_plugged)
                (this->*routine)();
        };
    };
    beforeInsert = user(&TDBCache::BeforeInsert);
    afterInsert = user(&TDBCache::AfterInsert);
    beforeEdit = user(&TDBCache::BeforeEdit);
    afterEdit = own(&TDBCache::routeAfterEdit);
    afterPost = user(&TDBCache::AfterPost);
    beforeCancel = own(&TDBCache::routeBeforeCancel);
    afterCancel = user(&TDBCache::AfterCancel);
    beforeDelete = own(&TDBCache::routeBeforeDelete);
    afterDelete = user(&TDBCache::AfterDelete);
    beforeScroll = user(&TDBCache::BeforeScroll);
    afterScroll = user(&TDBCache::AfterScroll);
    onNewRecord = own(&TDBCache::routeNewRecord);
    onCalcFields = user(&TDBCache::OnCalcFields);
    beforePost = [this](DataSet&) {
        if (m_plugged)
            routeBeforePost();
        else
            routeUnpluggedBeforePost();
    };
    beforeClose = own(&TDBCache::routeBeforeClose);
    afterClose = own(&TDBCache::routeAfterClose);
}

void TDBCache::plugHandlers()
{
    m_plugged = true;
}

void TDBCache::unplugHandlers()
{
    m_plugged = false;
}

void TDBCache::routeUnpluggedBeforePost()
{
    if (OnCalcFields)
        OnCalcFields(*this);
    // Rows written by a load or by a write of this or another cache keep what they bring.
    if (!WriteInProgress() && !(m_request && m_request->Loading()))
        RefreshLookupFields();
}

void TDBCache::routeAfterEdit()
{
    PrepareWorkRecord(ukModify);
    if (AfterEdit)
        AfterEdit(*this);
}

void TDBCache::routeNewRecord()
{
    m_inNewRecord = true;
    struct Clear
    {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{m_inNewRecord};
    PrepareWorkRecord(ukInsert);
    for (int i = 0; i < fieldCount(); ++i) {
        Field* f = field(i);
        if (f->fieldKind() == Field::Kind::Data && f->dataType() == FieldType::Boolean)
            f->setAsBoolean(false);
    }
    if (Options.testFlag(coForwardID) && HasKeyTable()) {
        // Only the field of the key column takes the identifier: a cache without one reserves
        // none, and no other column receives it.
        Field* key = ColumnField(FieldNameList(m_tableProps->KeyFields).value(0));
        TDBAccess* access = Access();
        if (key && access)
            key->setAsInteger(access->GetID(GetTableName(), QString(), 1));
    }
    if (OnNewRecord)
        OnNewRecord(*this);
}

void TDBCache::routeBeforePost()
{
    lastPostTime = clock::nowUtc();
    if (OnCalcFields)
        OnCalcFields(*this);
    if (BeforePost)
        BeforePost(*this);
    // A handler that posted or cancelled the row has ended the post.
    if (state() == State::Browse || !HasKeyTable())
        return;
    if (state() == State::Insert && m_cachedUpdates)
        fieldByName(m_rowIdField)->setAsInteger(-m_changeCounter);
    for (const FieldPropsEntry& entry : m_fieldProps) {
        Field* f = entry.second ? findField(entry.first) : nullptr;
        if (!f)
            continue;
        const TFieldProps& props = *entry.second;
        // A new key of an autoincrement column gets its identifier now; null counts as 0.
        if (props.DataType == dtAutoinc && props.Owner == m_tableProps &&
            (f->isNull() || f->asInteger() == 0)) {
            if (TDBAccess* access = Access())
                f->setAsInteger(access->GetID(GetTableName(), QString(), 1));
        } else if (props.DataType == dtBoolean && f->isNull()) {
            f->setAsBoolean(false);
        }
    }
    if (!m_cachedUpdates)
        ApplyRecord();
}

void TDBCache::routeBeforeDelete()
{
    lastPostTime = clock::nowUtc();
    if (BeforeDelete)
        BeforeDelete(*this);
    if (state() == State::Edit)
        post();
    PrepareWorkRecord(ukDelete);
    if (!m_cachedUpdates && HasKeyTable())
        ApplyRecord();
}

void TDBCache::routeBeforeCancel()
{
    if (BeforeCancel)
        BeforeCancel(*this);
    if (state() != State::Edit && state() != State::Insert)
        return;
    if (!m_cachedUpdates) {
        ClearWorkRecords();
    } else if (state() == State::Insert && m_workRecords && !m_rowIdField.isEmpty()) {
        const Variant number = fieldByName(m_rowIdField)->value();
        if (!number.isEmpty() && m_workRecords->locate(m_rowIdField, number))
            m_workRecords->deleteRecord();
    }
}

void TDBCache::routeBeforeClose()
{
    if (BeforeClose)
        BeforeClose(*this);
    m_tableProps = nullptr;
    m_indexFieldNames.clear();
    setIndexName(QString());
}

void TDBCache::routeAfterClose()
{
    dropLookupHandlers();
    m_fieldIndex.clear();
    m_fieldIndexStale = true;
    releaseWorkState();
    if (AfterClose)
        AfterClose(*this);
}

void TDBCache::releaseWorkState()
{
    m_changeCounter = 0;
    indexDefs().clear();
    m_fieldProps.clear();
    m_tableProps = nullptr;
    releaseWorkRecords();
}

void TDBCache::releaseWorkRecords()
{
    m_workFields.clear();
    m_workKeys.clear();
    m_statementTexts[0].clear();
    m_statementTexts[1].clear();
    m_workRecords.reset();
}

bool TDBCache::internalPost(const QList<Variant>& values, PostMode mode)
{
    if (state() == State::Browse)
        return !internalBookmark().isNull();
    return MemDataSet::internalPost(values, mode);
}

void TDBCache::fieldsChanged()
{
    MemDataSet::fieldsChanged();
    m_fieldIndexStale = true;
    // The work records pair the fields that were.
    releaseWorkRecords();
}

// ---------------------------------------------------------------------------------------------
// Properties and loading

void TDBCache::SetRequest(TDBRequest* request)
{
    if (m_request == request)
        return;
    QObject::disconnect(m_requestGone);
    m_request = request;
    if (request) {
        m_requestGone = connect(request, &QObject::destroyed, this, [this] {
            UnregisterOpenCache();
            m_request = nullptr;
        });
    }
}

void TDBCache::SetActive(bool active)
{
    if (active != isActive()) {
        m_fieldIndex.clear();
        m_fieldIndexStale = true;
        if (active)
            LoadData();
        else
            Close();
    }
    m_changeCounter = 0;
}

void TDBCache::Close()
{
    if (!isActive())
        return;
    m_rangeParams.clear();
    close();
    m_lookupDescriptors.clear();
}

template <typename Load> auto TDBCache::loadFrame(const char* what, Load load)
{
    if (!m_request) {
        DBKernelError(QStringLiteral("%1 cannot load %2: not assigned Request.")
                          .arg(Name(), QLatin1String(what)));
    }
    TDBRequest& request = *m_request;
    Close();
    unplugHandlers();
    request.SetTargetCache(this);
    struct Restore
    {
        TDBCache* cache;
        QPointer<TDBRequest> request;
        ~Restore()
        {
            cache->plugHandlers();
            if (request)
                request->SetTargetCache(nullptr);
        }
    } restore{this, &request};
    return load(request);
}

void TDBCache::LoadData()
{
    loadFrame("data", [this](TDBRequest& request) { request.LoadData(*this); });
}

bool TDBCache::LoadKey(const QString& tableName, const QString& keyFields,
                       const VariantList& keyValues, const QString& fields)
{
    return loadFrame("key", [&](TDBRequest& request) {
        return request.LoadKey(this, false, tableName, keyFields, keyValues, fields);
    });
}

void TDBCache::LoadRange(const QString& tableName, const QString& keyFields,
                         const VariantList& lowValues, const VariantList& highValues,
                         const QString& fields)
{
    loadFrame("range", [&](TDBRequest& request) {
        int count = -1;
        request.LoadRange(this, count, tableName, keyFields, lowValues, highValues, fields);
    });
}

TDBAccess* TDBCache::Access() const
{
    if (m_access)
        return m_access;
    return m_request ? m_request->DBAccess() : nullptr;
}

void TDBCache::AddFieldProps(const QString& fieldName, const TFieldProps* props)
{
    m_fieldProps.emplace_back(fieldName, props);
}

void TDBCache::BindTable(const TTableProps* table, bool bound)
{
    m_tableProps = table;
    m_bound = bound;
}

void TDBCache::AddLookupDescriptor(const QString& name, const QString& descriptor)
{
    if (!m_lookupDescriptors.isEmpty())
        m_lookupDescriptors += QLatin1Char(',');
    m_lookupDescriptors += name + QLatin1Char('=') + descriptor;
}

// ---------------------------------------------------------------------------------------------
// After loading

void TDBCache::AfterLoad()
{
    if (!m_indexFieldNames.isEmpty()) {
        const QStringList names = FieldNameList(m_indexFieldNames);
        if (std::all_of(names.begin(), names.end(),
                        [this](const QString& n) { return findField(n) != nullptr; }))
            SetIndexFieldNames(m_indexFieldNames);
    }
    if (recordCount() > 1 && Options.testFlag(coNoDupKeys))
        dropDuplicateKeys();
    m_recordCount = recordCount();
    m_rowCount = m_recordCount;
    SetupLookupFields();
    if (!Options.testFlag(coAutoFields))
        SetupFormatsAndLabels();
    if (AfterOpen)
        AfterOpen(*this);
}

void TDBCache::dropDuplicateKeys()
{
    if (!HasKeyTable())
        return;
    // Without a field of every key column no row's key is known: every row stays.
    QList<Field*> keyFields;
    for (const QString& k : FieldNameList(m_tableProps->KeyFields)) {
        Field* f = ColumnField(k);
        if (!f)
            return;
        keyFields.append(f);
    }
    // The later rows of each key are found first and deleted afterwards: a delete moves the
    // cursor (onto the row before, when the last row goes).
    QSet<QString> seen;
    QList<Bookmark> later;
    disableControls();
    for (first(); !eof(); next()) {
        QString key;
        for (const Field* f : std::as_const(keyFields))
            key += (f->isNull() ? QStringLiteral("\x01") : f->asString()) + QChar(0x1f);
        if (seen.contains(key))
            later.append(bookmark());
        else
            seen.insert(key);
    }
    for (const Bookmark& b : std::as_const(later)) {
        gotoBookmark(b);
        deleteRecord();
    }
    first();
    enableControls();
}

void TDBCache::SetupFormatsAndLabels()
{
    TDBAccess* access = Access();
    if (Options.testFlag(coAutoFormats) && access)
        access->SetupFields(*this);
    if (Options.testFlag(coAutoDisplay))
        setupLabels();
}

void TDBCache::setupLabels()
{
    const bool showAll = Options.testFlag(coShowAllFields);
    auto metaVisible = [showAll](const TFieldProps* p) { return showAll || !p || p->Visible; };
    const TDBRequest* request = m_request;
    const bool wholeRows = !request || request->Select().Count() == 0 ||
                           (request->Select().Count() == 1 &&
                            (request->Select()[0]->Text().trimmed().isEmpty() ||
                             request->Select()[0]->Text().trimmed() == QLatin1String("*")));
    if (wholeRows) {
        for (int i = 0; i < fieldCount(); ++i) {
            Field* f = field(i);
            if (const TFieldProps* p = FindFieldProps(f->fieldName())) {
                f->setDisplayLabel(p->Label());
                f->setVisible(f->isVisible() && metaVisible(p));
            }
        }
        return;
    }
    for (int i = 0; i < request->Select().Count(); ++i) {
        const TSelectItem* s = request->Select()[i];
        if (!s->Enabled())
            continue;
        Field* f = findField(s->Alias().isEmpty() ? s->Text() : s->Alias());
        if (!f)
            continue;
        const TFieldProps* p = FindFieldProps(f->fieldName());
        if (!s->Title().isEmpty() && s->Title() != f->fieldName())
            f->setDisplayLabel(s->Title());
        else if (p)
            f->setDisplayLabel(p->Label());
        f->setVisible(metaVisible(p));
        if (s->DisplayMode() == dmHide)
            f->setVisible(false);
        else if (s->DisplayMode() == dmShow)
            f->setVisible(true);
    }
}

// ---------------------------------------------------------------------------------------------
// Index

void TDBCache::SetIndexFieldNames(const QString& fields)
{
    m_indexFieldNames = fields;
    QString list = fields;
    if (list.isEmpty() && m_tableProps) {
        // The key order needs a field of every key column; without one the rows stay in the
        // order they came.
        list = ColumnFieldNames(FieldNameList(m_tableProps->KeyFields)).join(QLatin1Char(';'));
    }
    if (list.isEmpty()) {
        if (isActive())
            setIndexName(QString());
        return;
    }
    const auto wanted =
        m_descending ? IndexDef::Options(IndexDef::Descending) : IndexDef::Options();
    QString name;
    for (const IndexDef& def : indexDefs().list()) {
        if (sameFieldList(def.fields, list) &&
            def.options.testFlag(IndexDef::Descending) == wanted.testFlag(IndexDef::Descending)) {
            name = def.name;
            break;
        }
    }
    // A cache file keeps the names an earlier run gave, whose counter started where this one's
    // did: a name the dataset holds already is passed over.
    if (name.isEmpty()) {
        do {
            name = QStringLiteral("idx%1%2")
                       .arg(++indexCounter)
                       .arg(m_descending ? QLatin1Char('D') : QLatin1Char('A'));
        } while (indexDefs().find(name));
        if (isActive())
            addIndex(name, FieldNameList(list).join(QLatin1Char(';')),
                     wanted | IndexDef::CaseInsensitive);
    }
    if (isActive()) {
        // The index made for the list, case-insensitive, gives the order in both directions:
        // names sort as a person reads them.
        setIndexName(name);
        first();
    }
}

bool TDBCache::FindKey(const VariantList& keyValues)
{
    if (m_indexFieldNames.isEmpty() && m_tableProps) {
        const QStringList keys = FieldNameList(m_tableProps->KeyFields);
        const QStringList fields = ColumnFieldNames(keys);
        // No field holds the key: no row can be named by it.
        if (!keys.isEmpty() && fields.isEmpty())
            return false;
        SetIndexFieldNames(fields.join(QLatin1Char(';')));
    }
    return findKey(keyValues);
}

// ---------------------------------------------------------------------------------------------
// Fields

void TDBCache::rebuildFieldIndex() const
{
    m_fieldIndex.clear();
    for (int i = 0; i < fieldCount(); ++i) {
        Field* f = field(i);
        const QString key = f->fieldName().toUpper();
        if (!m_fieldIndex.contains(key))
            m_fieldIndex.insert(key, f);
    }
    m_fieldIndexStale = false;
    m_indexedFieldCount = fieldCount();
}

Field* TDBCache::lookUp(const QString& upperName) const
{
    if (m_fieldIndexStale || m_indexedFieldCount != fieldCount())
        rebuildFieldIndex();
    return m_fieldIndex.value(upperName);
}

Field* TDBCache::FindField(const QString& name) const
{
    QString wanted = name.toUpper();
    for (const auto& [legacy, current] : LegacyNames) {
        if (wanted == QLatin1String(legacy))
            wanted = QLatin1String(current);
    }
    if (name == QStringLiteral("Prénom"))
        wanted = QStringLiteral("PRENOM");
    if (Field* f = lookUp(wanted))
        return f;
    const TDBAccess* access = Access();
    if (access && access->ServerKind() == ServerKind::Oracle &&
        IsReservedWord(wanted, ServerKind::Oracle))
        return lookUp(AddUnderscore(wanted));
    return nullptr;
}

Field* TDBCache::FieldByName(const QString& name) const
{
    Field* f = FindField(name);
    if (!f)
        throw EDBEditError(fieldNotFoundMessage(name));
    return f;
}

const TFieldProps* TDBCache::FindFieldProps(const QString& fieldName) const
{
    for (const FieldPropsEntry& e : m_fieldProps) {
        if (sameName(e.first, fieldName))
            return e.second;
    }
    return nullptr;
}

const TFieldProps& TDBCache::FieldPropsByName(const QString& fieldName) const
{
    const TFieldProps* p = FindFieldProps(fieldName);
    if (!p) {
        DBKernelError(QStringLiteral("%1: properties for field '%2' not found.")
                          .arg(GetTableName(), fieldName));
    }
    return *p;
}

QString TDBCache::CacheToMetaName(const QString& cacheName) const
{
    const TFieldProps* p = FindFieldProps(cacheName);
    return p ? p->FieldName : cacheName;
}

// ---------------------------------------------------------------------------------------------
// Table, key, range

QString TDBCache::GetTableName() const
{
    if (m_tableProps)
        return m_tableProps->TableName;
    return m_request ? m_request->MainTableName() : QString();
}

QString TDBCache::GetKeyFields() const
{
    QString keys;
    if (m_tableProps) {
        keys = m_tableProps->KeyFields;
    } else if (m_request && m_request->DBAccess()) {
        if (const TTableProps* t =
                m_request->DBAccess()->FindTableProps(m_request->MainTableName()))
            keys = t->KeyFields;
    }
    if (keys.trimmed().isEmpty())
        DBKernelError(Name() + QStringLiteral(": key fields properties not found"));
    return keys;
}

bool TDBCache::HasKeyTable() const
{
    return m_bound && m_tableProps && !m_tableProps->KeyFields.trimmed().isEmpty();
}

void TDBCache::ApplyParamRange()
{
    if (m_rangeParams.isEmpty())
        return;
    const QStringList keys = FieldNameList(m_rangeKeyFields);
    auto assign = [&](QChar end) {
        for (const Param& p : std::as_const(m_rangeParams)) {
            bool ok = false;
            const int n = p.name().mid(1).toInt(&ok);
            if (p.name().startsWith(end, Qt::CaseInsensitive) && ok && n >= 0 && n < keys.size())
                FieldByName(keys.at(n))->setValue(p.value());
        }
    };
    setRangeStart();
    assign(QLatin1Char('L'));
    setRangeEnd();
    assign(QLatin1Char('H'));
    applyRange();
}

void TDBCache::CancelParamRange()
{
    if (!m_keepRange) {
        m_rangeKeyFields.clear();
        m_rangeParams.clear();
    }
    if (isActive())
        cancelRange();
}

void TDBCache::CancelParamRangeKeeping()
{
    m_keepRange = true;
    try {
        CancelParamRange();
    } catch (...) {
        m_keepRange = false;
        throw;
    }
    m_keepRange = false;
}

// ---------------------------------------------------------------------------------------------
// Registration and reloads of the descriptions

void TDBCache::RegisterOpenCache()
{
    TDBAccess* access = m_request ? m_request->DBAccess() : nullptr;
    if (!access)
        return;
    m_access = access;
    access->RegisterOpenCache(this);
}

void TDBCache::UnregisterOpenCache()
{
    if (m_access)
        m_access->UnregisterOpenCache(this);
}

void TDBCache::RegisterBoundCache()
{
    TDBAccess* access = m_request ? m_request->DBAccess() : nullptr;
    if (!access)
        return;
    m_access = access;
    access->RegisterBoundCache(this);
}

void TDBCache::SetRequestSQL(const QString& sql)
{
    if (m_request)
        m_request->SetSQLText(sql);
}

void TDBCache::AddSelectField(const QString& fieldName)
{
    if (m_request)
        m_request->Select().Add()->SetText(fieldName);
}

void TDBCache::ReplaceTableProps(const TTableProps* old, const TTableProps* replacement)
{
    if (m_tableProps == old) {
        m_tableProps = replacement;
        if (!replacement)
            m_bound = false;
    }
    for (auto it = m_fieldProps.begin(); it != m_fieldProps.end();) {
        if (!it->second || it->second->Owner != old) {
            ++it;
            continue;
        }
        if (const TFieldProps* fresh =
                replacement ? replacement->FindFieldProps(it->second->FieldName) : nullptr) {
            it->second = fresh;
            ++it;
            continue;
        }
        // The column is no longer described: the next load does not ask for it.
        if (m_request) {
            if (TSelectItem* s = m_request->FindSelectItem(it->first))
                m_request->Select().Delete(s->Index());
        }
        it = m_fieldProps.erase(it);
    }
}
