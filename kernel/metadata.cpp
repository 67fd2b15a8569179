// The metadata descriptions (tables, fields, links, Custom texts, labels, join texts) and the
// access component's loaders that read them from METATABLE, METAFIELD and TABLELINK.
#include "metadata.h"

#include <kernel/cacheapi.h>
#include <kernel/dbaccess.h>
#include <kernel/plainquery.h>
#include <kernel/schemaapi.h>
#include <platform/data/dataset.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <platform/regional.h>

#include <QSet>

#include <algorithm>
#include <array>
#include <typeinfo>

namespace {

QString langKey;            // the process-wide language key of labels
bool modifyAllowed = false; // Custom lists may change (inside a load)

// Names of tables compare without regard to case everywhere in the metadata.
QString nameKey(const QString& name)
{
    return name.toUpper();
}

QStringList commaList(const QString& text)
{
    QStringList items = text.split(QLatin1Char(','));
    for (QString& item : items)
        item = item.trimmed();
    return items;
}

} // namespace

QStringList SplitLookupList(const QString& text)
{
    return text.isEmpty() ? QStringList() : commaList(text);
}

QString JoinLookupList(const QStringList& entries)
{
    return entries.join(QLatin1Char(','));
}

QString KrnLangKey(TKrnLang language)
{
    switch (language) {
    case krnLangFRA:
        return QStringLiteral("fra");
    case krnLangRUS:
        return QStringLiteral("rus");
    case krnLangENG:
        return QStringLiteral("eng");
    case krnLangUnknown:
        break;
    }
    return QString();
}

QString CurrentLangKey()
{
    return langKey;
}

void SetCurrentLangKey(const QString& key)
{
    langKey = key;
}

int LangStringSize(int n)
{
    return (n + 5) * 3;
}

// ---------------------------------------------------------------------------------------------
// Custom texts

TMetaModifyScope::TMetaModifyScope() : m_previous(modifyAllowed)
{
    modifyAllowed = true;
}

TMetaModifyScope::~TMetaModifyScope()
{
    modifyAllowed = m_previous;
}

TCustomPropList::TCustomPropList(const QString& text)
{
    TMetaModifyScope scope;
    SetText(text);
}

void TCustomPropList::checkModify() const
{
    if (!modifyAllowed)
        DBKernelError(QStringLiteral("Cannot modify readonly property"));
}

namespace {
const QString CrLf = QStringLiteral("\r\n");

// The text is already what SetText makes of it: every line break is CR LF and none ends it.
bool isJoinedByCrLf(QStringView text)
{
    const qsizetype n = text.size();
    const qsizetype firstCr = text.indexOf(u'\r');
    if (firstCr < 0)
        return !text.contains(u'\n');
    if (text.left(firstCr).contains(u'\n'))
        return false;
    for (qsizetype i = firstCr; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\n')
            return false;
        if (c == u'\r') {
            if (i + 2 >= n || text[i + 1] != u'\n')
                return false;
            ++i;
        }
    }
    return true;
}

} // namespace

void TCustomPropList::SetText(const QString& text)
{
    checkModify();
    // Most stored texts are already in the joined form: they are shared, not rebuilt.
    if (isJoinedByCrLf(text)) {
        m_text = text;
        return;
    }
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && text.at(end) != QLatin1Char('\r') && text.at(end) != QLatin1Char('\n'))
            ++end;
        lines.append(text.mid(start, end - start));
        if (end < n && text.at(end) == QLatin1Char('\r') && end + 1 < n &&
            text.at(end + 1) == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
    m_text = lines.join(CrLf);
}

QStringList TCustomPropList::Lines() const
{
    return m_text.isEmpty() ? QStringList() : m_text.split(CrLf);
}

QString TCustomPropList::Values(const QString& key) const
{
    const QStringView text(m_text);
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start <= n) {
        // Lines end at CR LF; a CR alone belongs to its line.
        qsizetype end = text.indexOf(u'\r', start);
        while (end >= 0 && (end + 1 >= n || text[end + 1] != u'\n'))
            end = text.indexOf(u'\r', end + 1);
        if (end < 0)
            end = n;
        const QStringView line = text.sliced(start, end - start);
        // Case-insensitive equality keeps the length, so most names are passed over unread.
        const qsizetype eq = line.indexOf(u'=');
        if (eq == key.size() && line.left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return line.sliced(eq + 1).toString();
        start = end + 2;
    }
    return QString();
}

void TCustomPropList::SetValues(const QString& key, const QString& value)
{
    checkModify();
    QStringList lines = Lines();
    bool found = false;
    for (qsizetype i = 0; i < lines.size() && !found; ++i) {
        const qsizetype eq = lines.at(i).indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(lines.at(i)).left(eq).compare(key, Qt::CaseInsensitive) == 0) {
            found = true;
            if (value.isEmpty())
                lines.removeAt(i);
            else
                lines[i] = key + QLatin1Char('=') + value;
        }
    }
    if (!found && !value.isEmpty())
        lines.append(key + QLatin1Char('=') + value);
    m_text = lines.join(CrLf);
}

// ---------------------------------------------------------------------------------------------
// Descriptions

TDeleteAction DeleteActionFromText(const QString& text)
{
    if (text.isEmpty())
        return daNone;
    switch (text.at(0).unicode()) {
    case 'C':
        return daCascade;
    case 'R':
        return daRestrict;
    case 'N':
        return daSetNull;
    case 'X':
        return daNoDelete;
    default:
        return daNone;
    }
}

QString TFieldProps::Label() const
{
    const QString label = Custom.Values(QStringLiteral("Label"));
    return label.isEmpty() ? FieldName : ExtractMultiLabel(label, CurrentLangKey());
}

QString TFieldProps::GetCustomML(const QString& key) const
{
    return ExtractMultiLabel(Custom.Values(key), CurrentLangKey());
}

void TFieldProps::PrepareLookup()
{
    const QString keys = GetCustomML(QStringLiteral("LookupKeys"));
    LookupReady = !keys.isEmpty() &&
                  SplitLookupList(keys).size() ==
                      SplitLookupList(Custom.Values(QStringLiteral("LookupValues"))).size();
}

QString TFieldProps::LookupValue(const QString& storedValue) const
{
    const QStringList keys = SplitLookupList(GetCustomML(QStringLiteral("LookupKeys")));
    const QStringList values = SplitLookupList(Custom.Values(QStringLiteral("LookupValues")));
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (sameName(keys.at(i), storedValue))
            return i < values.size() ? ExtractMultiLabel(values.at(i), CurrentLangKey())
                                     : QString();
    }
    return QString();
}

TFieldProps* TFieldPropsList::Find(const QString& fieldName) const
{
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        if (sameName(m_names.at(i), fieldName))
            return m_items.at(size_t(i)).get();
    }
    return nullptr;
}

void TFieldPropsList::Add(std::unique_ptr<TFieldProps> field)
{
    if (m_items.empty()) {
        // Tables have a few dozen fields at most: spare the early regrowths.
        m_items.reserve(16);
        m_names.reserve(16);
    }
    m_names.append(field->FieldName);
    m_items.push_back(std::move(field));
}

TFieldProps* TTableProps::GetFieldProps(int index) const
{
    if (index < 0 || index >= Fields.Count())
        DBKernelError(QStringLiteral("Table '%1': properties for field '%2' not found.")
                          .arg(TableName, QString::number(index)));
    return Fields.At(index);
}

TFieldProps* TTableProps::FieldPropsByName(const QString& fieldName) const
{
    TFieldProps* field = Fields.Find(fieldName);
    if (!field)
        DBKernelError(QStringLiteral("Table '%1': properties for field '%2' not found.")
                          .arg(TableName, fieldName));
    return field;
}

QString TTableProps::Label() const
{
    const QString label = Custom.Values(QStringLiteral("Label"));
    return label.isEmpty() ? TableName : ExtractMultiLabel(label, CurrentLangKey());
}

QString TTableProps::GetCustomML(const QString& key) const
{
    return ExtractMultiLabel(Custom.Values(key), CurrentLangKey());
}

TTablePropsList::TTablePropsList() = default;
TTablePropsList::~TTablePropsList() = default;

std::vector<TTablePropsList::IndexEntry>::iterator
TTablePropsList::indexPosition(const QString& key)
{
    if (m_index.empty() || m_index.back().key < key)
        return m_index.end();
    return std::lower_bound(m_index.begin(), m_index.end(), key,
                            [](const IndexEntry& e, const QString& k) { return e.key < k; });
}

TTableProps* TTablePropsList::Find(const QString& tableName) const
{
    const QString key = nameKey(tableName);
    const auto it =
        std::lower_bound(m_index.begin(), m_index.end(), key,
                         [](const IndexEntry& e, const QString& k) { return e.key < k; });
    return it != m_index.end() && it->key == key ? it->props : nullptr;
}

TTableProps* TTablePropsList::GetProps(const QString& tableName) const
{
    TTableProps* props = Find(tableName);
    if (!props)
        DBKernelError(QStringLiteral("Properties for table '%1' not found.").arg(tableName));
    return props;
}

void TTablePropsList::Add(std::unique_ptr<TTableProps> props)
{
    QString key = nameKey(props->TableName);
    const auto at = indexPosition(key);
    if (at == m_index.end() || at->key != key)
        m_index.insert(at, {std::move(key), props.get()});
    m_items.push_back(std::move(props));
}

std::unique_ptr<TTableProps> TTablePropsList::Take(const TTableProps* props)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        if (it->get() != props)
            continue;
        std::unique_ptr<TTableProps> taken = std::move(*it);
        m_items.erase(it);
        const QString key = nameKey(taken->TableName);
        const auto entry = indexPosition(key);
        if (entry != m_index.end() && entry->props == taken.get()) {
            // A later description of the same name is found from now on.
            entry->props = nullptr;
            for (const auto& other : m_items) {
                if (nameKey(other->TableName) == key) {
                    entry->props = other.get();
                    break;
                }
            }
            if (!entry->props)
                m_index.erase(entry);
        }
        return taken;
    }
    return nullptr;
}

std::vector<std::unique_ptr<TTableProps>> TTablePropsList::TakeAll()
{
    m_index.clear();
    return std::exchange(m_items, {});
}

void TTablePropsList::Clear()
{
    m_index.clear();
    m_items.clear();
}

bool TLinksSet::Contains(const TLinkInfo* link) const
{
    for (const auto& l : m_items) {
        if (l.get() == link)
            return true;
    }
    return false;
}

TLinkInfo* TLinksSet::Add(std::unique_ptr<TLinkInfo> link)
{
    m_items.push_back(std::move(link));
    return m_items.back().get();
}

bool SameFieldProps(const TFieldProps* a, const TFieldProps* b)
{
    if (a == b)
        return true;
    if (!a || !b)
        return false;
    auto same = [](const QString& t1, const QString& f1, const QString& t2, const QString& f2) {
        return t1 == t2 && f1 == f2;
    };
    return same(a->TableName, a->FieldName, b->TableName, b->FieldName) ||
           same(a->TableName, a->FieldName, b->Origin, b->NativeName) ||
           same(a->Origin, a->NativeName, b->TableName, b->FieldName) ||
           (!a->Origin.isEmpty() && !a->NativeName.isEmpty() &&
            same(a->Origin, a->NativeName, b->Origin, b->NativeName));
}

namespace {
const std::array<QString, 3>& languageKeys()
{
    static const std::array<QString, 3> keys = {QStringLiteral("fra"), QStringLiteral("rus"),
                                                QStringLiteral("eng")};
    return keys;
}
} // namespace

QString MultiLangGetText(const QString& storedValue)
{
    return ExtractMultiLabel(storedValue, CurrentLangKey());
}

QString MultiLangSetText(const QString& oldValue, const QString& entered)
{
    for (const QString& key : languageKeys()) {
        if (entered.contains(QLatin1Char('#') + key + QLatin1Char('#')))
            return entered;
    }
    const QString current = CurrentLangKey();
    if (current.isEmpty())
        return entered; // no language chosen: the text is the whole value
    QString stored;
    for (const QString& key : languageKeys()) {
        QString part;
        if (key == current) {
            part = entered;
        } else {
            part = ExtractMultiLabel(oldValue, key);
            if (part == oldValue)
                part.clear(); // an old value without tags belongs to no other language
        }
        if (!part.isEmpty())
            stored += QLatin1Char('#') + key + QLatin1Char('#') + part;
    }
    return stored;
}

// ---------------------------------------------------------------------------------------------
// Join texts

namespace {

struct JoinSides
{
    QString parentName, childName;   // as written (stored or mapped)
    QString parentAlias, childAlias; // aliases, the names when none was given
    QStringList keys, refs;
};

JoinSides joinSides(const TLinkInfo& link, const QString& parentAlias, const QString& childAlias,
                    int options)
{
    JoinSides s;
    s.childName = (options & joChildAsStored) || !link.Owner ? link.Child
                                                             : link.Owner->MapTableName(link.Child);
    s.parentName = (options & joParentAsStored) || !link.Owner
                       ? link.Parent
                       : link.Owner->MapTableName(link.Parent);
    s.parentAlias = parentAlias.isEmpty() ? s.parentName : parentAlias;
    s.childAlias = childAlias.isEmpty() ? s.childName : childAlias;
    s.keys = commaList(link.KeyFields);
    s.refs = commaList(link.RefFields);
    if (s.keys.size() != s.refs.size())
        DBKernelError(QStringLiteral("Invalid reference for table '%1'(%2) from table %3(%4).")
                          .arg(link.Child, link.KeyFields, link.Parent, link.RefFields));
    return s;
}

} // namespace

QString TLinkInfo::JoinWhereText(const QString& parentAlias, const QString& childAlias, int options,
                                 const QString& joinOperator) const
{
    JoinSides s = joinSides(*this, parentAlias, childAlias, options);
    const bool outer =
        joinOperator.isEmpty() ? Optional : joinOperator.contains(QLatin1String("OUTER"));
    const QString mark = outer ? QStringLiteral(" (+)") : QString();
    if (joinOperator.contains(QLatin1String("RIGHT"))) {
        std::swap(s.parentAlias, s.childAlias);
        std::swap(s.keys, s.refs);
    }
    QStringList pairs;
    for (qsizetype i = 0; i < s.keys.size(); ++i) {
        if (options & joReversed)
            pairs.append(QStringLiteral("%1.%2 = %3.%4%5")
                             .arg(s.childAlias, s.refs.at(i), s.parentAlias, s.keys.at(i), mark));
        else
            pairs.append(QStringLiteral("%1.%2 = %3.%4%5")
                             .arg(s.parentAlias, s.keys.at(i), s.childAlias, s.refs.at(i), mark));
    }
    return QLatin1Char(' ') + pairs.join(QStringLiteral(" AND ")) + QLatin1Char(' ');
}

QString TLinkInfo::JoinClauseText(const QString& parentAlias, const QString& childAlias,
                                  int options, const QString& joinOperator) const
{
    const JoinSides s = joinSides(*this, parentAlias, childAlias, options);
    const QString op = !joinOperator.isEmpty() ? joinOperator
                       : Optional              ? QStringLiteral("LEFT OUTER JOIN")
                                               : QStringLiteral("JOIN");
    const bool reversed = options & joReversed;
    QString head;
    if (options & joWithTableNames) {
        head = reversed ? QStringLiteral("%1 %2 %3 %4 %5 ON ")
                              .arg(s.childName, childAlias, op, s.parentName, parentAlias)
                        : QStringLiteral("%1 %2 %3 %4 %5 ON ")
                              .arg(s.parentName, parentAlias, op, s.childName, childAlias);
    } else {
        head = reversed ? QStringLiteral("%1 %2 %3 ON ").arg(op, s.parentName, parentAlias)
                        : QStringLiteral("%1 %2 %3 ON ").arg(op, s.childName, childAlias);
    }
    QStringList pairs;
    for (qsizetype i = 0; i < s.keys.size(); ++i)
        pairs.append(QStringLiteral("%1.%2 = %3.%4")
                         .arg(s.parentAlias, s.keys.at(i), s.childAlias, s.refs.at(i)));
    return QLatin1Char(' ') + head + pairs.join(QStringLiteral(" AND ")) + QLatin1Char(' ');
}

// ---------------------------------------------------------------------------------------------
// Loading

namespace {

// Reads the Boolean of a column as FieldAsBoolean reads a field of that type: a text by its first
// letter, anything else by its own conversion.
bool booleanValue(const Variant& value, FieldType type)
{
    if (value.isEmpty())
        return false;
    return isTextType(type) ? textAsBoolean(value.toString()) : value.toBool();
}

// One metadata result read row by row: the loaders find the columns they need by name once, then
// take each row's values by position. A column the result lacks is -1 and reads as empty.
class MetaRows
{
public:
    virtual ~MetaRows() = default;
    MetaRows(const MetaRows&) = delete;
    MetaRows& operator=(const MetaRows&) = delete;

    virtual int column(const QString& name) = 0;
    // The column, which must exist: raises the dataset's "field not found" error otherwise.
    int requiredColumn(const QString& name)
    {
        const int c = column(name);
        if (c < 0)
            m_dataSet.fieldByName(name);
        return c;
    }
    // Moves to the first row, then to each next one; false past the last.
    virtual bool next() = 0;
    // The result has no row at all.
    virtual bool isEmpty() const = 0;

    // A text is taken out of the row: each column is read once per row.
    QString takeText(int c)
    {
        return c < 0 ? QString() : std::move(m_values[size_t(c)]).toString();
    }
    int integer(int c) const
    {
        return c < 0 || m_values[size_t(c)].isEmpty() ? 0 : int(m_values[size_t(c)].toInt64());
    }
    bool boolean(int c) const
    {
        return c >= 0 && booleanValue(m_values[size_t(c)], m_types[size_t(c)]);
    }

protected:
    explicit MetaRows(DataSet& dataSet) : m_dataSet(dataSet) {}

    DataSet& m_dataSet;
    std::vector<Variant> m_values; // the current row
    std::vector<FieldType> m_types;
};

// Walks an open dataset with its cursor, as any data-aware reader would.
class CursorRows : public MetaRows
{
public:
    explicit CursorRows(DataSet& dataSet) : MetaRows(dataSet) {}

    int column(const QString& name) override
    {
        const Field* field = m_dataSet.findField(name);
        if (!field)
            return -1;
        m_fields.push_back(field);
        m_values.emplace_back();
        m_types.push_back(field->dataType());
        return int(m_fields.size()) - 1;
    }

    bool next() override
    {
        if (m_started)
            m_dataSet.next();
        else
            m_dataSet.first();
        m_started = true;
        if (m_dataSet.eof())
            return false;
        for (size_t i = 0; i < m_fields.size(); ++i)
            m_values[i] = m_fields[i]->value();
        return true;
    }

    bool isEmpty() const override { return m_dataSet.isEmpty(); }

private:
    std::vector<const Field*> m_fields;
    bool m_started = false;
};

// Reads the statement of a query straight from the engine: every column of every row converted
// to its field type as the query would show it, without the query keeping every row for a cursor
// that only goes forward once.
class StatementRows : public MetaRows
{
public:
    StatementRows(SqlQuery& query, std::unique_ptr<DbStatement> statement)
        : MetaRows(query), m_statement(std::move(statement))
    {
        m_pending = m_statement->step();
        m_defs = resultFieldDefs(*m_statement, m_pending);
        m_values.resize(size_t(m_defs.count()));
        for (const FieldDef& d : m_defs.list())
            m_types.push_back(d.type);
        m_empty = !m_pending;
        if (m_empty)
            m_statement.reset();
    }

    bool isEmpty() const override { return m_empty; }

    int column(const QString& name) override { return m_defs.indexOf(name); }

    bool next() override
    {
        if (!m_statement)
            return false;
        if (!m_pending && !m_statement->step()) {
            m_statement.reset(); // done: the engine's resources go now
            return false;
        }
        m_pending = false;
        for (size_t c = 0; c < m_values.size(); ++c)
            m_values[c] = m_statement->columnValue(int(c), m_types[c]);
        return true;
    }

private:
    std::unique_ptr<DbStatement> m_statement;
    FieldDefs m_defs;
    bool m_pending = false; // the first row is stepped to but not read yet
    bool m_empty = false;
};

// Opens a metadata dataset for reading: a kernel cache takes the statement and loads through its
// request; a plain query is read from its statement; any other dataset opens as it is.
std::unique_ptr<MetaRows> openRows(DataSet& dataSet, const QString& sql)
{
    if (auto* cache = dynamic_cast<TKernelCache*>(&dataSet)) {
        if (!sql.isEmpty())
            cache->SetRequestSQL(sql);
        cache->OpenCache();
    } else if (SqlQuery* query = PlainQuery(dataSet)) {
        if (std::unique_ptr<DbStatement> statement = PreparedSelect(*query))
            return std::make_unique<StatementRows>(*query, std::move(statement));
        dataSet.open();
    } else {
        dataSet.open();
    }
    dataSet.first();
    return std::make_unique<CursorRows>(dataSet);
}

class ClosedAtEnd
{
public:
    explicit ClosedAtEnd(DataSet* a, DataSet* b = nullptr) : m_a(a), m_b(b) {}
    ~ClosedAtEnd()
    {
        if (m_a)
            m_a->close();
        if (m_b)
            m_b->close();
    }
    ClosedAtEnd(const ClosedAtEnd&) = delete;
    ClosedAtEnd& operator=(const ClosedAtEnd&) = delete;

private:
    QPointer<DataSet> m_a;
    QPointer<DataSet> m_b;
};

const QString AllTables = QStringLiteral("select * from METATABLE order by TABLE_NAME");
const QString AllFields = QStringLiteral("select * from METAFIELD order by TABLE_NAME,ORD");
const QString AllLinks = QStringLiteral("select * from TABLELINK");

std::vector<std::unique_ptr<TTableProps>> readTables(MetaRows& rows)
{
    const int name = rows.requiredColumn(QStringLiteral("TABLE_NAME"));
    const int keyFields = rows.column(QStringLiteral("KEY_FIELDS"));
    const int system = rows.column(QStringLiteral("SYSTEM"));
    const int custom = rows.column(QStringLiteral("CUSTOM"));
    const int traceLog = rows.column(QStringLiteral("TRACE_LOG"));
    const int baseTable = rows.column(QStringLiteral("BASE_TABLE"));
    std::vector<std::unique_ptr<TTableProps>> out;
    while (rows.next()) {
        auto t = std::make_unique<TTableProps>();
        t->TableName = rows.takeText(name);
        t->KeyFields = rows.takeText(keyFields);
        t->System = rows.boolean(system);
        t->TraceLog = rows.boolean(traceLog);
        t->Custom.SetText(rows.takeText(custom));
        TranslateTableLabel(t->TableName, t->Custom);
        t->BaseTable = rows.takeText(baseTable);
        out.push_back(std::move(t));
    }
    return out;
}

// The descriptions just read by upper-cased name, the first of each name.
class TableIndex
{
public:
    explicit TableIndex(const std::vector<std::unique_ptr<TTableProps>>& tables)
    {
        m_entries.reserve(tables.size());
        for (const auto& t : tables)
            m_entries.push_back({nameKey(t->TableName), t.get()});
        std::stable_sort(m_entries.begin(), m_entries.end(), isBefore);
        const auto repeated =
            std::unique(m_entries.begin(), m_entries.end(),
                        [](const Entry& a, const Entry& b) { return a.key == b.key; });
        m_entries.erase(repeated, m_entries.end());
    }

    TTableProps* find(const QString& tableName) const
    {
        const Entry wanted{nameKey(tableName), nullptr};
        const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), wanted, isBefore);
        return it != m_entries.end() && it->key == wanted.key ? it->props : nullptr;
    }

private:
    struct Entry
    {
        QString key;
        TTableProps* props;
    };
    static bool isBefore(const Entry& a, const Entry& b) { return a.key < b.key; }

    std::vector<Entry> m_entries;
};

// Fields are attached to their table by name (case ignored), so a METAFIELD row of an undescribed
// table is passed over without disturbing the others, and a name written in another case still
// finds its table wherever the sort put it.
void readFields(MetaRows& rows, const TableIndex& tables)
{
    const int table = rows.requiredColumn(QStringLiteral("TABLE_NAME"));
    const int name = rows.requiredColumn(QStringLiteral("FIELD_NAME"));
    const int required = rows.column(QStringLiteral("REQUIRED"));
    const int visible = rows.column(QStringLiteral("VISIBLE"));
    const int metaType = rows.column(QStringLiteral("METATYPE"));
    const int dataType = rows.column(QStringLiteral("DATATYPE"));
    const int size = rows.column(QStringLiteral("FSIZE"));
    const int precision = rows.column(QStringLiteral("FPREC"));
    const int custom = rows.column(QStringLiteral("CUSTOM"));
    const int origin = rows.column(QStringLiteral("ORIGIN"));
    const int nativeName = rows.column(QStringLiteral("NATIVE_NAME"));
    // Rows come grouped by table: the table of the previous row is usually the one.
    QString lastName;
    bool haveLast = false;
    TTableProps* owner = nullptr;
    while (rows.next()) {
        QString tableName = rows.takeText(table);
        if (!haveLast || tableName != lastName) {
            haveLast = true;
            owner = tables.find(tableName);
            lastName = std::move(tableName);
        }
        if (!owner)
            continue;
        auto f = std::make_unique<TFieldProps>();
        f->TableName = owner->TableName;
        f->FieldName = rows.takeText(name);
        f->Required = rows.boolean(required);
        f->Visible = rows.boolean(visible);
        f->MetaType = rows.takeText(metaType);
        f->DataType = TDataType(quint8(rows.integer(dataType)));
        f->Size = rows.integer(size);
        f->Precision = rows.integer(precision);
        f->Custom.SetText(rows.takeText(custom));
        f->Origin = rows.takeText(origin);
        f->NativeName = rows.takeText(nativeName);
        f->Owner = owner;
        TranslateFieldLabel(owner->TableName, f->FieldName, f->Custom);
        TranslateFieldCustom(owner->TableName, f->FieldName, f->Custom);
        f->PrepareLookup();
        owner->Fields.Add(std::move(f));
    }
}

// The descriptions of the rows of a METATABLE and a METAFIELD result, with their fields.
std::vector<std::unique_ptr<TTableProps>> readTableRows(MetaRows& tables, MetaRows& fields)
{
    std::vector<std::unique_ptr<TTableProps>> out = readTables(tables);
    readFields(fields, TableIndex(out));
    return out;
}

std::vector<std::unique_ptr<TLinkInfo>> readLinks(MetaRows& rows, TDBAccess* owner)
{
    const int parent = rows.requiredColumn(QStringLiteral("PARENT"));
    const int child = rows.requiredColumn(QStringLiteral("CHILD"));
    const int keyFields = rows.column(QStringLiteral("KEY_FIELDS"));
    const int refFields = rows.column(QStringLiteral("REF_FIELDS"));
    const int deleteAction = rows.column(QStringLiteral("DEL_ACT"));
    const int custom = rows.column(QStringLiteral("CUSTOM"));
    std::vector<std::unique_ptr<TLinkInfo>> out;
    while (rows.next()) {
        auto l = std::make_unique<TLinkInfo>();
        l->Parent = rows.takeText(parent);
        l->Child = rows.takeText(child);
        l->KeyFields = rows.takeText(keyFields);
        l->RefFields = rows.takeText(refFields);
        l->DeleteAction = DeleteActionFromText(rows.takeText(deleteAction));
        l->Custom.SetText(rows.takeText(custom));
        TranslateFieldLabel(l->Child, l->RefFields, l->Custom);
        l->Owner = owner;
        out.push_back(std::move(l));
    }
    return out;
}

} // namespace

void TDBAccess::addLink(std::unique_ptr<TLinkInfo> link)
{
    TLinkInfo* l = m_linkSet.Add(std::move(link));
    m_linksByParent[nameKey(l->Parent)].append(l);
    m_linksByChild[nameKey(l->Child)].append(l);
}

void TDBAccess::dropLinks(std::vector<std::unique_ptr<TLinkInfo>> links)
{
    if (links.empty())
        return;
    const bool all = m_linkSet.Count() == 0;
    QSet<const TLinkInfo*> gone;
    if (all) {
        m_linksByParent.clear();
        m_linksByChild.clear();
    } else {
        gone.reserve(qsizetype(links.size()));
        for (const auto& link : links) {
            gone.insert(link.get());
            m_linksByParent[nameKey(link->Parent)].removeAll(link.get());
            m_linksByChild[nameKey(link->Child)].removeAll(link.get());
        }
    }
    // No description may keep a link that is about to be freed.
    auto isGone = [&gone](const TLinkInfo* link) { return gone.contains(link); };
    for (int i = 0; i < m_tableProps.Count(); ++i) {
        TTableProps* t = m_tableProps.At(i);
        if (all) {
            t->ParentLinks.clear();
            t->ChildLinks.clear();
        } else {
            t->ParentLinks.removeIf(isGone);
            t->ChildLinks.removeIf(isGone);
        }
    }
}

TLinksList TDBAccess::linksOf(const LinksByName& links, const QString& tableName)
{
    const auto it = links.find(nameKey(tableName));
    return it == links.end() ? TLinksList() : it->second;
}

void TDBAccess::reloadLinks(const QString& tableName, DataSet* source)
{
    int highest = 0;
    for (int i = 0; i < m_linkSet.Count(); ++i)
        highest = std::max(highest, m_linkSet.At(i)->ID);
    // The new rows are read before the old links go, so a failed read leaves them in place.
    std::vector<std::unique_ptr<TLinkInfo>> fresh;
    if (source) {
        ClosedAtEnd closed(source);
        source->close();
        fresh = readLinks(*openRows(*source, QString()), this);
    } else {
        SqlQuery query;
        query.setDatabase(&requireDatabase());
        if (tableName.isEmpty()) {
            query.setSql(AllLinks);
        } else {
            query.setSql(
                QStringLiteral("select * from TABLELINK where Upper(CHILD) = "
                               "Upper(:TABLE_NAME) or Upper(PARENT) = Upper(:TABLE_NAME)"));
            query.paramByName(QStringLiteral("TABLE_NAME")).setAsString(tableName);
        }
        fresh = readLinks(*openRows(query, QString()), this);
    }
    dropLinks(m_linkSet.TakeIf([&tableName](const TLinkInfo& l) {
        return tableName.isEmpty() || sameName(l.Child, tableName) || sameName(l.Parent, tableName);
    }));
    int id = tableName.isEmpty() ? 1 : highest + 1;
    for (auto& link : fresh) {
        link->ID = id++;
        addLink(std::move(link));
    }
}

void TDBAccess::inheritBaseLinks(TTableProps& view)
{
    // Copies made at an earlier attachment are made anew.
    dropLinks(m_linkSet.TakeIf([&view](const TLinkInfo& l) {
        return l.m_inherited && sameName(l.Parent, view.TableName);
    }));
    if (m_linkSet.Count() == 0)
        return;
    const TTableProps* base = m_tableProps.Find(view.BaseTable);
    if (!base)
        return;
    bool keyed = false;
    for (int i = 0; i < view.FieldCount() && !keyed; ++i) {
        const TFieldProps* f = view.Fields.At(i);
        keyed = f->Origin == base->TableName && f->NativeName == base->KeyFields;
    }
    if (!keyed)
        return;
    const TLinksList candidates = linksOf(m_linksByParent, base->TableName);
    int id = m_linkSet.Count();
    for (const TLinkInfo* link : candidates) {
        if (sameName(link->Child, view.TableName))
            continue;
        auto copy = std::make_unique<TLinkInfo>();
        copy->Parent = view.TableName;
        copy->Child = link->Child;
        copy->RefFields = link->RefFields;
        copy->KeyFields = view.KeyFields;
        copy->DeleteAction = daNone;
        copy->Custom = link->Custom;
        copy->Owner = this;
        copy->ID = id++;
        copy->m_inherited = true;
        addLink(std::move(copy));
    }
}

void TDBAccess::attachLinks(TTableProps& table)
{
    table.ParentLinks.clear();
    table.ChildLinks.clear();
    if (!table.BaseTable.isEmpty())
        inheritBaseLinks(table);
    table.ChildLinks = linksOf(m_linksByParent, table.TableName);
    for (TLinkInfo* link : std::as_const(table.ChildLinks))
        link->AttachedToParent = true;
    table.ParentLinks = linksOf(m_linksByChild, table.TableName);
    for (TLinkInfo* link : std::as_const(table.ParentLinks)) {
        link->Optional = false;
        for (const QString& ref : commaList(link->RefFields)) {
            if (!table.FieldPropsByName(ref)->Required)
                link->Optional = true;
        }
    }
}

namespace {

struct BuiltInField
{
    const char* name;
    TDataType type;
    int size;
    bool required;
    QString label;
};
struct BuiltInLink
{
    const char* parent;
    const char* child;
    const char* fields;
    TDeleteAction action;
};
struct BuiltInTable
{
    const char* name;
    QString custom;
    const char* keyFields;
    QList<BuiltInField> fields;
    QList<BuiltInLink> links;
};
// The system's own tables, described here when the database does not describe them itself.
const QList<BuiltInTable>& builtInTables()
{
    static const QList<BuiltInTable> tables = {
        {"DBROLE",
         QStringLiteral("StatHidden=1"),
         "DBROLE_ID",
         {{"DBROLE_ID", dtInteger, 0, true, {}}, {"NAME", dtString, 30, false, {}}},
         {{"DBROLE", "USERROLE", "DBROLE_ID", daNone}}},
        {"DBUSER",
         QStringLiteral("StatHidden=1"),
         "DBUSER_ID",
         {{"DBUSER_ID", dtInteger, 0, true, {}}, {"NAME", dtString, 50, false, {}}},
         {{"DBUSER", "USERROLE", "DBUSER_ID", daNone}}},
        {"USERROLE",
         QStringLiteral("StatHidden=1"),
         "DBUSER_ID,DBROLE_ID",
         {{"DBUSER_ID", dtInteger, 0, true, {}}, {"DBROLE_ID", dtInteger, 0, true, {}}},
         {}},
        {"METATABLE",
         QStringLiteral("Label=Таблицы"),
         "TABLE_NAME",
         {{"TABLE_NAME", dtString, 30, true, QStringLiteral("Имя таблицы")},
          {"KEY_FIELDS", dtString, 50, false, QStringLiteral("Первичный ключ")},
          {"CUSTOM", dtMemo, 0, false, QStringLiteral("Дополнительная информация")},
          {"TRACE_LOG", dtBoolean, 0, false, QStringLiteral("Трассировка изменений")}},
         {{"METATABLE", "METAFIELD", "TABLE_NAME", daCascade}}},
        {"METAFIELD",
         QStringLiteral("Label=Поля"),
         "TABLE_NAME,FIELD_NAME",
         {{"TABLE_NAME", dtString, 30, true, QStringLiteral("Имя таблицы")},
          {"FIELD_NAME", dtString, 30, true, QStringLiteral("Имя поля")}},
         {}},
    };
    return tables;
}

} // namespace

void TDBAccess::addBuiltInDescriptions()
{
    for (const BuiltInTable& b : builtInTables()) {
        const QString name = QLatin1String(b.name);
        if (m_tableProps.Find(name))
            continue; // the database describes it itself
        auto t = std::make_unique<TTableProps>();
        t->TableName = name;
        t->KeyFields = QLatin1String(b.keyFields);
        t->System = true;
        t->Custom.SetText(b.custom);
        for (const BuiltInField& bf : b.fields) {
            auto f = std::make_unique<TFieldProps>();
            f->TableName = name;
            f->FieldName = QLatin1String(bf.name);
            f->DataType = bf.type;
            f->Size = bf.size;
            f->Required = bf.required;
            if (!bf.label.isEmpty())
                f->Custom.SetText(QStringLiteral("Label=") + bf.label);
            f->Owner = t.get();
            t->Fields.Add(std::move(f));
        }
        TTableProps* added = t.get();
        m_tableProps.Add(std::move(t));
        for (const BuiltInLink& bl : b.links) {
            auto l = std::make_unique<TLinkInfo>();
            l->Parent = QLatin1String(bl.parent);
            l->Child = QLatin1String(bl.child);
            l->KeyFields = QLatin1String(bl.fields);
            l->RefFields = QLatin1String(bl.fields);
            l->DeleteAction = bl.action;
            l->Owner = this;
            l->ID = 0;
            addLink(std::move(l));
        }
        attachLinks(*added);
    }
}

void TDBAccess::replaceInCaches(const TTableProps* old, const TTableProps* replacement)
{
    for (TKernelCache* cache : std::as_const(m_openCaches))
        cache->ReplaceTableProps(old, replacement);
    for (TKernelCache* cache : std::as_const(m_boundCaches)) {
        if (!m_openCaches.contains(cache))
            cache->ReplaceTableProps(old, replacement);
    }
}

void TDBAccess::LoadMetaData()
{
    requireDatabase();
    if (m_serverKind == ServerKind::Unknown)
        UpdateServerKind();
    readBooleanAsChar();
    LoadMacros();
    if (!m_tables || !m_fields)
        return;

    TMetaModifyScope modify;
    DataSet& tables = *m_tables;
    DataSet& fields = *m_fields;
    if (m_links)
        reloadLinks(QString(), m_links);

    ClosedAtEnd closed(&tables, &fields);
    tables.close();
    fields.close();
    // The old descriptions stay alive until the caches bound to them have been moved over.
    const std::vector<std::unique_ptr<TTableProps>> old = m_tableProps.TakeAll();
    auto moveCaches = [this, &old] {
        for (const auto& o : old)
            replaceInCaches(o.get(), m_tableProps.Find(o->TableName));
    };
    try {
        const std::unique_ptr<MetaRows> tableRows = openRows(tables, AllTables);
        const std::unique_ptr<MetaRows> fieldRows = openRows(fields, AllFields);
        tables.setFiltered(true);
        for (auto& t : readTableRows(*tableRows, *fieldRows)) {
            if (m_links)
                attachLinks(*t);
            m_tableProps.Add(std::move(t));
        }
        addBuiltInDescriptions();
    } catch (...) {
        moveCaches();
        throw;
    }
    moveCaches();
    tables.close();
    fields.close();
    readDecimalSeparator();
}

void TDBAccess::LoadTableProps(const QString& tableName)
{
    Database& db = requireDatabase();
    InvalidateMetaCaches();
    TMetaModifyScope modify;
    reloadLinks(tableName, nullptr);

    SqlQuery tables;
    SqlQuery fields;
    tables.setDatabase(&db);
    fields.setDatabase(&db);
    if (tableName.isEmpty()) {
        tables.setSql(AllTables);
        fields.setSql(AllFields);
    } else {
        tables.setSql(QStringLiteral("select * from METATABLE where Upper(TABLE_NAME) = "
                                     "Upper(:TABLE_NAME) order by TABLE_NAME"));
        fields.setSql(QStringLiteral("select * from METAFIELD where Upper(TABLE_NAME) = "
                                     "Upper(:TABLE_NAME) order by TABLE_NAME,ORD"));
        tables.paramByName(QStringLiteral("TABLE_NAME")).setAsString(tableName);
        fields.paramByName(QStringLiteral("TABLE_NAME")).setAsString(tableName);
    }
    const std::unique_ptr<MetaRows> tableRows = openRows(tables, QString());
    const std::unique_ptr<MetaRows> fieldRows = openRows(fields, QString());

    if (tableRows->isEmpty()) {
        if (TTableProps* gone = tableName.isEmpty() ? nullptr : m_tableProps.Find(tableName)) {
            replaceInCaches(gone, nullptr);
            m_tableProps.Take(gone);
        }
        return;
    }
    for (auto& fresh : readTableRows(*tableRows, *fieldRows)) {
        attachLinks(*fresh);
        if (!tableName.isEmpty()) {
            // The tables at the other end of its links see its new links too.
            QStringList others;
            for (const TLinkInfo* l : std::as_const(fresh->ParentLinks)) {
                if (!others.contains(l->Parent, Qt::CaseInsensitive))
                    others.append(l->Parent);
            }
            for (const TLinkInfo* l : std::as_const(fresh->ChildLinks)) {
                if (!others.contains(l->Child, Qt::CaseInsensitive))
                    others.append(l->Child);
            }
            for (const QString& other : std::as_const(others)) {
                TTableProps* props = m_tableProps.Find(other);
                if (props && !sameName(props->TableName, fresh->TableName))
                    attachLinks(*props);
            }
        }
        TTableProps* old = m_tableProps.Find(fresh->TableName);
        if (old)
            replaceInCaches(old, fresh.get());
        std::unique_ptr<TTableProps> freed = old ? m_tableProps.Take(old) : nullptr;
        m_tableProps.Add(std::move(fresh));
    }
}

void TDBAccess::InvalidateMetaCaches()
{
    Database& db = requireDatabase();
    if (TKernelCacheServices* services = KernelCacheServices())
        services->IncCacheVersion(db, QStringLiteral("META_Links,META_Tables,META_Fields"));
}

const TTableProps* TDBAccess::FindTableProps(const QString& tableName) const
{
    return m_tableProps.Find(tableName);
}

const TTableProps* TDBAccess::GetTableProps(const QString& tableName) const
{
    return m_tableProps.GetProps(tableName);
}
