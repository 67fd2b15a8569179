// The write-back of a cache's rows: the work records that keep a row as it was, the statements
// that write the difference for each server kind (with the link walk of local deletes and the
// long texts of MS SQL Server), the trace rows of traced tables, and the step that brings the
// other open caches in line after the commit.
#include "dbcache.h"

#include <kernel/dbaccess.h>
#include <kernel/metadata.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <platform/support/cipher.h>

#include <QRegularExpression>
#include <QSet>

#include <functional>

namespace {

// The cache whose last write failed, forgotten when it goes.
QPointer<TDBCache> failedCache;
int writeDepth = 0;

// MS SQL Server takes texts up to this length within a statement; longer ones are appended in
// pieces of at most this length afterwards.
constexpr qsizetype LongTextLimit = 32768;

bool isBlob(FieldType type)
{
    return type == FieldType::Blob || type == FieldType::Graphic;
}

// The lines of a memo in comma-separated form: a line holding a blank, a control character, a
// comma or a double quote goes in double quotes (its quotes doubled).
QString commaText(const QString& text)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineEnd);
    if (!lines.isEmpty() && lines.last().isEmpty() && !text.isEmpty())
        lines.removeLast(); // a break at the very end opens no further line
    QStringList out;
    for (const QString& line : std::as_const(lines)) {
        const bool quote = std::any_of(line.begin(), line.end(), [](QChar c) {
            return c.unicode() <= 32 || c == QLatin1Char(',') || c == QLatin1Char('"');
        });
        out.append(quote ? QLatin1Char('"') +
                               QString(line).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                               QLatin1Char('"')
                         : line);
    }
    return out.join(QLatin1Char(','));
}

// A field's value as the trace shows it.
QString traceText(const Field& field)
{
    return field.dataType() == FieldType::Memo ? commaText(field.asString()) : field.asString();
}

// A long text cut for MS SQL Server's "updatetext": whole lines, their ends included, gathered
// while the piece stays within the limit; a longer line is cut at the limit. The pieces join
// back to the text exactly.
QStringList longTextPieces(const QString& text)
{
    QStringList pieces;
    QString current;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != QLatin1Char('\n') &&
               text.at(end) != QLatin1Char('\r'))
            ++end;
        if (end < text.size()) {
            const bool crlf = text.at(end) == QLatin1Char('\r') && end + 1 < text.size() &&
                              text.at(end + 1) == QLatin1Char('\n');
            end += crlf ? 2 : 1;
        }
        QString line = text.mid(start, end - start);
        start = end;
        if (current.size() + line.size() <= LongTextLimit) {
            current += line;
            continue;
        }
        if (!current.isEmpty())
            pieces.append(current);
        while (line.size() > LongTextLimit) {
            pieces.append(line.left(LongTextLimit));
            line.remove(0, LongTextLimit);
        }
        current = line;
    }
    if (!current.isEmpty())
        pieces.append(current);
    return pieces;
}

// The first column of every row of a select, by column name: the rows a local delete walks.
struct RowSet
{
    QString table;
    QStringList keys; // the key columns that name a row
    QStringList columns;
    QList<QList<Variant>> rows;

    Variant value(int row, const QString& column) const
    {
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (sameName(columns.at(c), column))
                return rows.at(row).at(c);
        }
        return Variant::null();
    }
    QString rowKey(int row) const
    {
        QString key = table.toUpper();
        for (const QString& k : keys)
            key += QChar(0x1f) + value(row, k).toString();
        return key;
    }
};

RowSet readRows(SqlQuery& query, const QString& table, const QStringList& keys)
{
    RowSet set;
    set.table = table;
    set.keys = keys;
    query.open();
    for (int c = 0; c < query.fieldCount(); ++c)
        set.columns.append(query.field(c)->fieldName());
    for (; !query.eof(); query.next()) {
        QList<Variant> row;
        for (int c = 0; c < query.fieldCount(); ++c)
            row.append(query.field(c)->value());
        set.rows.append(row);
    }
    query.close();
    return set;
}

// Each parameter of the query named like a column of the row takes its value.
void fillFromRow(SqlQuery& query, const RowSet& set, int row)
{
    for (Param& p : query.params()) {
        for (qsizetype c = 0; c < set.columns.size(); ++c) {
            if (sameName(set.columns.at(c), p.name())) {
                p.setValue(set.rows.at(row).at(c));
                break;
            }
        }
    }
}

// "where C1<op>:P1", "and C2<op>:P2", ... with `op` "=" or " = ".
QStringList conditionLines(const QStringList& columns, const QStringList& params,
                           QLatin1StringView op = QLatin1StringView("="))
{
    QStringList lines;
    lines.reserve(columns.size());
    for (qsizetype i = 0; i < columns.size(); ++i) {
        lines.append((i == 0 ? QLatin1StringView("where ") : QLatin1StringView("and ")) +
                     columns.at(i) + op + QLatin1Char(':') + params.at(i));
    }
    return lines;
}

// Statements of a local write run inside one savepoint: all of them stand, or none.
class Savepoint
{
public:
    explicit Savepoint(Database* db) : m_db(db)
    {
        if (m_db)
            m_db->execute(QStringLiteral("SAVEPOINT qv_write"));
    }
    ~Savepoint()
    {
        if (!m_db)
            return;
        try {
            m_db->execute(QStringLiteral("ROLLBACK TO qv_write"));
            m_db->execute(QStringLiteral("RELEASE qv_write"));
        } catch (const std::exception&) {
            // The write's own error is the one to report.
        }
    }
    void release()
    {
        if (m_db)
            m_db->execute(QStringLiteral("RELEASE qv_write"));
        m_db = nullptr;
    }
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;

private:
    Database* m_db;
};

} // namespace

TDBCache* FailedWriteCache()
{
    return failedCache;
}

bool WriteInProgress()
{
    return writeDepth > 0;
}

QString CryptLongText(const QString& text, bool encipher)
{
    return encipher ? EncryptLongToHex(codepage::toAnsi(text)) : text;
}

// What one ApplyRecord works with.
struct TDBCache::WriteCall
{
    WriteCall(TDBAccess& a, Database& d, SqlQuery& q) : access(a), db(d), query(q)
    {
        kind = a.ServerKind();
    }
    // The two further queries, made when first needed (most writes need neither).
    SqlQuery& reads() { return made(m_reads); }
    SqlQuery& trace() { return made(m_trace); }

    TDBAccess& access;
    Database& db;
    SqlQuery& query; // the request's: runs the statements
    quint8 kind = ServerKind::Unknown;
    bool batch = false;    // statements go to the application server's update batch
    QSet<QString> visited; // rows a local delete has reached

private:
    SqlQuery& made(std::unique_ptr<SqlQuery>& query)
    {
        if (!query) {
            query = std::make_unique<SqlQuery>();
            query->setDatabase(&db);
        }
        return *query;
    }
    std::unique_ptr<SqlQuery> m_reads; // the selects of a local delete and of a trace's stored row
    std::unique_ptr<SqlQuery> m_trace; // the trace row
};

// ---------------------------------------------------------------------------------------------
// Columns

QString TDBCache::statementTable() const
{
    if (!m_tableProps)
        return QString();
    return m_tableProps->BaseTable.isEmpty() ? m_tableProps->TableName : m_tableProps->BaseTable;
}

QString TDBCache::columnOf(const QString& fieldName) const
{
    const TFieldProps* p = FindFieldProps(fieldName);
    const Field* f = p ? lookUp(fieldName.toUpper()) : nullptr;
    if (!p || !m_tableProps || !f || f->fieldKind() != Field::Kind::Data ||
        sameName(fieldName, m_rowIdField))
        return QString();
    const QString& base = m_tableProps->BaseTable;
    if (sameName(p->TableName, m_tableProps->TableName)) {
        if (base.isEmpty())
            return p->FieldName;
        // A view's field is a column of its base table when it comes from there.
        if (sameName(p->Origin, base))
            return p->NativeName.isEmpty() ? p->FieldName : p->NativeName;
        return QString();
    }
    return !base.isEmpty() && sameName(p->TableName, base) ? p->FieldName : QString();
}

QString TDBCache::tableColumn(const QString& metaName) const
{
    const QString& base = m_tableProps->BaseTable;
    if (base.isEmpty())
        return metaName;
    const TFieldProps* p = m_tableProps->FindFieldProps(metaName);
    if (!p || !sameName(p->Origin, base))
        return QString();
    return p->NativeName.isEmpty() ? p->FieldName : p->NativeName;
}

Field* TDBCache::ColumnField(const QString& metaName) const
{
    const QString column = m_tableProps ? tableColumn(metaName) : QString();
    if (column.isEmpty())
        return nullptr;
    // Of two fields selected from the column, the one of the same name, else the first.
    Field* carrier = nullptr;
    for (int i = 0; i < fieldCount(); ++i) {
        Field* f = field(i);
        if (!sameName(columnOf(f->fieldName()), column))
            continue;
        if (sameName(f->fieldName(), metaName))
            return f;
        if (!carrier)
            carrier = f;
    }
    return carrier;
}

QStringList TDBCache::ColumnFieldNames(const QStringList& metaNames) const
{
    QStringList names;
    for (const QString& m : metaNames) {
        const QString name = ColumnFieldName(m);
        if (name.isEmpty())
            return QStringList();
        names.append(name);
    }
    return names;
}

QString TDBCache::ColumnFieldName(const QString& fieldName) const
{
    const Field* f = ColumnField(fieldName);
    return f ? f->fieldName() : QString();
}

const TDBCache::WorkField* TDBCache::storedField(const QString& metaName) const
{
    const Field* f = ColumnField(metaName);
    return f ? workField(f->fieldName()) : nullptr;
}

QStringList TDBCache::keyCondition(QLatin1StringView op) const
{
    QStringList columns;
    QStringList fields;
    for (const WorkField* k : m_workKeys) {
        columns.append(k->column);
        fields.append(k->field->fieldName());
    }
    return conditionLines(columns, fields, op);
}

// ---------------------------------------------------------------------------------------------
// Work records

template <typename Visit> void TDBCache::forEachWorkRecord(Visit visit)
{
    MemDataSet& work = *m_workRecords;
    if (!m_cachedUpdates) {
        // The one pending change: the last record made.
        work.last();
        visit();
        return;
    }
    for (work.first(); !work.eof(); work.next())
        visit();
}

TUpdateKind TDBCache::pendingKind() const
{
    const qint64 number = m_cachedUpdates ? m_workRecords->fieldByName(m_rowIdField)->asInteger()
                                          : qint64(m_changeCounter);
    return number > 0 ? ukModify : number < 0 ? ukInsert : ukDelete;
}

void TDBCache::PrepareWorkRecord(TUpdateKind kind)
{
    if (!HasKeyTable() || m_rowIdField.isEmpty())
        return;
    Field* rowId = fieldByName(m_rowIdField);
    const qint64 number = rowId->asInteger();
    if (number != 0) {
        if (kind != ukDelete)
            return; // the earlier work record stands
        if (m_workRecords && m_workRecords->locate(m_rowIdField, Variant(number)))
            m_workRecords->deleteRecord();
        if (number < 0)
            return; // inserted and never written: nothing to delete
    }
    if (!m_workRecords) {
        auto work = std::make_unique<MemDataSet>();
        QList<Field*> stored;
        for (int i = 0; i < fieldCount(); ++i) {
            Field* f = field(i);
            if (!columnOf(f->fieldName()).isEmpty()) {
                work->fieldDefs().add(f->fieldName(), f->dataType(), f->size());
                stored.append(f);
            }
        }
        work->fieldDefs().add(m_rowIdField, FieldType::Integer);
        work->createDataSet();
        // Each stored field with its copy, the row identifier last: the copy, the compare and
        // the statements of every change go through these.
        m_workFields.clear();
        m_workKeys.clear();
        for (qsizetype i = 0; i < stored.size(); ++i) {
            WorkField w{stored.at(i), work->field(int(i)), columnOf(stored.at(i)->fieldName())};
            // A date or a time column is written as one, not as the date-time the cache holds.
            const TFieldProps* props = FindFieldProps(w.field->fieldName());
            if (props && props->DataType == dtDate)
                w.paramType = FieldType::Date;
            else if (props && props->DataType == dtTime)
                w.paramType = FieldType::Time;
            m_workFields.push_back(w);
        }
        m_workFields.push_back({rowId, work->field(int(stored.size())), QString()});
        for (const QString& key : FieldNameList(m_tableProps->KeyFields)) {
            if (const WorkField* w = storedField(key))
                m_workKeys.push_back(w);
        }
        m_workRecords = std::move(work);
    }
    MemDataSet& work = *m_workRecords;
    work.append();
    try {
        if (kind != ukDelete) {
            ++m_changeCounter;
            if (!m_cachedUpdates && kind == ukInsert)
                m_changeCounter = -1;
        }
        switch (kind) {
        case ukModify:
            if (m_cachedUpdates)
                rowId->setAsInteger(m_changeCounter);
            copyToWorkRecord();
            break;
        case ukInsert:
            if (m_cachedUpdates) {
                work.fieldByName(m_rowIdField)->setAsInteger(-m_changeCounter);
                rowId->setAsInteger(-m_changeCounter);
            }
            break;
        case ukDelete:
            copyToWorkRecord();
            m_workFields.back().copy->clear();
            break;
        }
        work.post();
    } catch (...) {
        work.cancel();
        throw;
    }
}

void TDBCache::ClearWorkRecords()
{
    if (m_workRecords)
        m_workRecords->emptyDataSet();
    m_changeCounter = 0;
}

const TDBCache::WorkField* TDBCache::workField(const QString& name) const
{
    for (size_t i = 0; i + 1 < m_workFields.size(); ++i) {
        if (sameName(m_workFields[i].field->fieldName(), name))
            return &m_workFields[i];
    }
    return nullptr;
}

// The current row's values into the work record being made, as CopyRecord copies them.
void TDBCache::copyToWorkRecord()
{
    for (const WorkField& w : m_workFields)
        w.copy->setValue(w.field->value());
}

// The stored fields whose value in the current row differs from the work record's, as
// GetChangedFields finds them (the row identifier is no column).
void TDBCache::changedFields(QStringList& names) const
{
    for (size_t i = 0; i + 1 < m_workFields.size(); ++i) {
        const WorkField& w = m_workFields[i];
        if (w.field->value() != w.copy->value())
            names.append(w.field->fieldName());
    }
}

// ---------------------------------------------------------------------------------------------
// Writing

void TDBCache::ApplyRecord()
{
    if (!m_workRecords || m_workRecords->isEmpty() || !m_tableProps)
        return;
    TDBRequest* request = m_request;
    TDBAccess* access = Access();
    if (!request || !access || !access->DataBase()) {
        DBKernelError(QStringLiteral("%1 cannot apply updates: not assigned Request.").arg(Name()));
    }
    Database& db = *access->DataBase();
    SavePosition();
    const bool filtered = isFiltered();
    ++writeDepth;
    struct Finish
    {
        TDBCache& cache;
        bool filtered;
        ~Finish()
        {
            --writeDepth;
            try {
                if (cache.isFiltered() != filtered)
                    cache.setFiltered(filtered);
            } catch (const std::exception&) {
                // The row stays where it is; the write's outcome is what the caller hears of.
            }
            cache.RestorePosition();
        }
    } finish{*this, filtered};

    SqlQuery& query = request->Query();
    query.close();
    query.setDatabase(&db);
    // The same statement comes again with every post of the same fields.
    query.setKeepPrepared(true);
    WriteCall call(*access, db, query);
    try {
        access->StartTransaction(request->UseRemoteUpdate());
        call.batch = access->UpdateBatchOpen();
        {
            // The local kind opens no server transaction: a savepoint keeps the statements of
            // this write together, so that a failure half-way leaves the tables as they were. A
            // write of one row without a handler that could make it a delete is one statement,
            // whole or not at all by itself.
            const bool several = m_cachedUpdates || OnUpdateData || pendingKind() == ukDelete;
            Savepoint savepoint(
                call.kind == ServerKind::Standard && !call.batch && several ? &db : nullptr);
            forEachWorkRecord([&] { writeRecord(call); });
            savepoint.release();
        }
        access->Commit();
    } catch (...) {
        access->Rollback();
        failedCache = this;
        throw;
    }
    try {
        ApplyChanges();
    } catch (const std::exception&) {
        // The write stands; the other caches show what they showed.
    }
    if (!m_cachedUpdates)
        ClearWorkRecords();
}

void TDBCache::writeRecord(WriteCall& call)
{
    TUpdateKind kind = pendingKind();
    // Each statement sets every parameter it names: the text of the last one may stay (and
    // its statement stay prepared) when the next is the same.
    call.query.close();
    if (m_cachedUpdates && kind != ukDelete) {
        if (isFiltered())
            setFiltered(false);
        if (!locate(m_rowIdField, m_workRecords->fieldByName(m_rowIdField)->value())) {
            DBKernelError(
                QStringLiteral("%1: record not found. Update failed.").arg(GetTableName()));
        }
    }
    QStringList changed;
    if (kind != ukDelete)
        changedFields(changed);
    if (!changed.isEmpty() && OnUpdateData) {
        OnUpdateData(*m_workRecords, *this, kind);
        changed.clear();
        changedFields(changed);
    }
    if (kind == ukDelete) {
        requireWholeKey();
        writeDelete(call);
    } else if (!changed.isEmpty()) {
        if (kind == ukModify)
            requireWholeKey();
        writeChange(call, kind, changed);
    }
}

// Without one of its key fields the condition of an update or a delete would name no row, or
// every row that shares the others. A field that only bears a key field's name holds another
// column: it names other rows.
void TDBCache::requireWholeKey() const
{
    for (const QString& key : FieldNameList(m_tableProps->KeyFields)) {
        if (!storedField(key)) {
            DBKernelError(QStringLiteral("%1: the key field %2 is not in the cache. Update failed.")
                              .arg(m_tableProps->TableName, key));
        }
    }
}

void TDBCache::runStatement(WriteCall& call, SqlQuery& query)
{
    if (call.batch)
        call.access.AddBatchStatement(query);
    else
        query.execSql();
}

void TDBCache::writeChange(WriteCall& call, TUpdateKind kind, const QStringList& changed)
{
    QList<const WorkField*> fields;
    QStringList longTexts;
    for (const QString& name : changed) {
        const WorkField* w = workField(name);
        if (!w)
            continue;
        fields.append(w);
        if (call.kind == ServerKind::MSSQL && w->field->dataType() == FieldType::Memo &&
            w->field->asString().size() > LongTextLimit)
            longTexts.append(name);
    }
    // The text of a set of changed fields is built once.
    quint64 set = 0;
    const bool reusable = m_workFields.size() <= 64;
    for (const WorkField* w : std::as_const(fields))
        set |= quint64(1) << ((w - m_workFields.data()) % 64);
    QString text = reusable ? m_statementTexts[kind == ukInsert].value(set) : QString();
    if (text.isEmpty()) {
        const QString table = statementTable();
        QStringList lines;
        if (kind == ukInsert) {
            QString columns;
            QString params;
            for (const WorkField* w : std::as_const(fields)) {
                columns += (columns.isEmpty() ? QString() : QStringLiteral(",")) + w->column;
                params +=
                    (params.isEmpty() ? QString() : QStringLiteral(",:")) + w->field->fieldName();
            }
            lines = QStringList{QStringLiteral("insert into ") + table,
                                QLatin1Char('(') + columns + QLatin1Char(')'),
                                QStringLiteral("values(:") + params + QLatin1Char(')')};
        } else {
            lines.append(QStringLiteral("update ") + table + QStringLiteral(" set "));
            for (const WorkField* w : std::as_const(fields)) {
                lines.append((lines.size() == 1 ? QString() : QStringLiteral(",")) + w->column +
                             QStringLiteral("=:") + w->field->fieldName());
            }
            QStringList keys;
            QStringList whereParams;
            for (const WorkField* k : m_workKeys) {
                keys.append(k->column);
                whereParams.append(QStringLiteral("WHERE_") + k->column);
            }
            lines += conditionLines(keys, whereParams);
        }
        text = lines.join(QLatin1Char('\n'));
        if (reusable)
            m_statementTexts[kind == ukInsert].insert(set, text);
    }
    SqlQuery& query = call.query;
    query.setSql(text);
    // The values of the row (as AssignParamsFromDataSet gives them), and for an update the key
    // of the row as it was before the edit.
    // The parameters come in the order the text names them: fields, then keys.
    Params& values = query.params();
    auto param = [&values](int at, const QString& name) -> Param& {
        return at < values.count() && sameName(values[at].name(), name) ? values[at]
                                                                        : values.paramByName(name);
    };
    int at = 0;
    for (const WorkField* w : std::as_const(fields)) {
        Param& p = param(at++, w->field->fieldName());
        FieldToParam(*w->field, p);
        if (w->paramType != FieldType::Unknown)
            p.setDataType(w->paramType);
    }
    if (kind == ukModify) {
        for (const WorkField* k : m_workKeys)
            FieldToParam(*k->copy, param(at++, QStringLiteral("WHERE_") + k->column));
    }
    if (call.access.BooleanAsChar() || call.kind == ServerKind::Oracle)
        ConvertBooleanParams(query.params());
    if (call.batch) {
        call.access.AddBatchStatement(query);
    } else {
        for (const QString& name : std::as_const(longTexts))
            query.paramByName(name).setAsMemo(QString());
        query.execSql();
        writeLongTexts(call, longTexts);
    }
    if (kind == ukModify) {
        QStringList trace = traceLines(call, kind, changed, QStringList());
        WriteTraceLog(call, kind, trace);
    }
}

void TDBCache::writeLongTexts(WriteCall& call, const QStringList& fields)
{
    if (fields.isEmpty())
        return;
    const QString table = statementTable();
    const QStringList condition = keyCondition(QLatin1StringView(" = "));
    for (const QString& name : fields) {
        const QString column = columnOf(name);
        const QStringList pieces = longTextPieces(fieldByName(name)->asString());
        QStringList lines{
            QStringLiteral("declare @ptr_text binary(16),@pos int"),
            QStringLiteral("select @ptr_text = TEXTPTR(%1) from %2").arg(column, table)};
        lines += condition;
        for (qsizetype n = 1; n <= pieces.size(); ++n) {
            lines.append(QStringLiteral("updatetext %1.%2 @ptr_text null 0 :val%3")
                             .arg(table, column)
                             .arg(n));
        }
        SqlQuery query;
        query.setDatabase(&call.db);
        query.setSql(lines);
        AssignParamsFromDataSet(query, *this);
        for (qsizetype n = 1; n <= pieces.size(); ++n)
            query.paramByName(QStringLiteral("val%1").arg(n)).setAsMemo(pieces.at(n - 1));
        query.execSql();
    }
}

void TDBCache::writeDelete(WriteCall& call)
{
    if (call.kind == ServerKind::Standard) {
        deleteWithLinks(call);
        return;
    }
    const QStringList condition = keyCondition(QLatin1StringView("="));
    // The trace shows the row as it was: read before it goes.
    QStringList trace = traceLines(call, ukDelete, QStringList(), condition);
    SqlQuery& query = call.query;
    query.setSql(QStringList{QStringLiteral("delete from ") + statementTable()} + condition);
    AssignParamsFromDataSet(query, *m_workRecords);
    if (call.access.BooleanAsChar() || call.kind == ServerKind::Oracle)
        ConvertBooleanParams(query.params());
    runStatement(call, query);
    WriteTraceLog(call, ukDelete, trace);
}

// ---------------------------------------------------------------------------------------------
// Local deletes: the rows of the links that refer to the deleted row
//
// First the links of the deleted row's own table that restrict deletes are checked; then, child
// tables first, the rows of cascading links are deleted (their own links followed the same way)
// and the referencing columns of set-null links are cleared; last the row itself goes.

void TDBCache::deleteWithLinks(WriteCall& call)
{
    TDBAccess& access = call.access;
    const QString table = m_tableProps->TableName;
    const QStringList keys = FieldNameList(m_tableProps->KeyFields);
    QStringList keyFields;
    for (const WorkField* k : m_workKeys)
        keyFields.append(k->field->fieldName());
    call.reads().setSql(QStringList{QStringLiteral("select ") + keys.join(QLatin1Char(',')) +
                                    QStringLiteral(" from ") + table} +
                        conditionLines(keys, keyFields, QLatin1StringView("=")));
    AssignParamsFromDataSet(call.reads(), *m_workRecords);
    const RowSet rows = readRows(call.reads(), table, keys);

    // The rows of the link's child table that refer to one parent row.
    auto children = [&](const TLinkInfo& link, const RowSet& parents, int row) {
        const TTableProps* child = access.GetTableProps(link.Child);
        const QStringList childKeys = FieldNameList(child->KeyFields);
        if (childKeys.isEmpty())
            DBKernelError(link.Child + QStringLiteral(": key fields properties not found"));
        const QStringList refs = FieldNameList(link.RefFields);
        const QStringList parentKeys = FieldNameList(link.KeyFields);
        call.reads().setSql(
            QStringList{QStringLiteral("select %1 from %2")
                            .arg((childKeys + refs).join(QLatin1Char(',')), link.Child)} +
            conditionLines(refs, parentKeys, QLatin1StringView("=")));
        fillFromRow(call.reads(), parents, row);
        return readRows(call.reads(), link.Child, childKeys);
    };

    for (const TLinkInfo* link : std::as_const(m_tableProps->ChildLinks)) {
        if (link->DeleteAction != daRestrict)
            continue;
        for (int r = 0; r < rows.rows.size(); ++r) {
            if (!children(*link, rows, r).rows.isEmpty())
                DBKernelError(QStringLiteral("Cannot delete records at ") + link->Child);
        }
    }

    // Deletes the rows (after the rows of their cascading and set-null links), or clears the
    // link's referencing columns of them (never their key).
    std::function<void(const RowSet&, const TLinkInfo*)> act = [&](const RowSet& set,
                                                                   const TLinkInfo* setNull) {
        SqlQuery& q = call.query;
        if (setNull) {
            QStringList columns = FieldNameList(setNull->RefFields);
            columns.removeIf([&set](const QString& c) {
                return std::any_of(set.keys.begin(), set.keys.end(),
                                   [&c](const QString& k) { return sameName(k, c); });
            });
            if (columns.isEmpty())
                return;
            QStringList lines{QStringLiteral("update ") + set.table,
                              QStringLiteral("set ") + columns.first() + QStringLiteral("=null ")};
            for (qsizetype i = 1; i < columns.size(); ++i)
                lines.append(QStringLiteral(", ") + columns.at(i) + QStringLiteral("=null"));
            lines += conditionLines(set.keys, set.keys, QLatin1StringView("="));
            for (int r = 0; r < set.rows.size(); ++r) {
                q.close();
                q.setSql(lines);
                fillFromRow(q, set, r);
                runStatement(call, q);
            }
            return;
        }
        RowSet fresh = set;
        fresh.rows.clear();
        for (int r = 0; r < set.rows.size(); ++r) {
            if (!call.visited.contains(set.rowKey(r))) {
                call.visited.insert(set.rowKey(r));
                fresh.rows.append(set.rows.at(r));
            }
        }
        if (const TTableProps* props = access.FindTableProps(fresh.table)) {
            for (const TLinkInfo* link : std::as_const(props->ChildLinks)) {
                if (link->DeleteAction != daCascade && link->DeleteAction != daSetNull)
                    continue;
                for (int r = 0; r < fresh.rows.size(); ++r) {
                    const RowSet rowsOfChild = children(*link, fresh, r);
                    if (!rowsOfChild.rows.isEmpty())
                        act(rowsOfChild, link->DeleteAction == daSetNull ? link : nullptr);
                }
            }
        }
        const QStringList lines = QStringList{QStringLiteral("delete from ") + fresh.table} +
                                  conditionLines(fresh.keys, fresh.keys, QLatin1StringView("="));
        for (int r = 0; r < fresh.rows.size(); ++r) {
            q.close();
            q.setSql(lines);
            fillFromRow(q, fresh, r);
            runStatement(call, q);
        }
    };
    act(rows, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Tracing (MS SQL Server and Oracle, tables whose TRACE_LOG is set; updates and deletes)

QStringList TDBCache::traceLines(WriteCall& call, TUpdateKind kind, const QStringList& changed,
                                 const QStringList& keyLines)
{
    QStringList lines;
    if (kind == ukInsert || !m_tableProps->TraceLog || call.kind == ServerKind::Standard)
        return lines;
    const MemDataSet& work = *m_workRecords;
    if (kind == ukModify) {
        for (const QString& name : changed) {
            const Field* now = fieldByName(name);
            if (isBlob(now->dataType()))
                continue;
            const QString column = columnOf(name);
            lines.append(
                QStringLiteral("%1_OLD=%2").arg(column, traceText(*work.fieldByName(name))));
            lines.append(QStringLiteral("%1_NEW=%2").arg(column, traceText(*now)));
        }
        return lines;
    }
    for (int i = 0; i < m_tableProps->FieldCount(); ++i) {
        const TFieldProps* p = m_tableProps->Fields.At(i);
        if (p->DataType == dtBlob || p->DataType == dtGraphic)
            continue;
        const WorkField* stored = storedField(p->FieldName);
        const Field* held = stored ? stored->copy : nullptr;
        if (held && !isBlob(held->dataType())) {
            lines.append(QStringLiteral("%1=%2").arg(p->FieldName, traceText(*held)));
            continue;
        }
        if (held)
            continue;
        // The work record lacks a column: the stored row gives them all.
        SqlQuery& q = call.reads();
        q.setSql(QStringList{QStringLiteral("select * from ") + statementTable()} + keyLines);
        AssignParamsFromDataSet(q, work);
        q.open();
        if (!q.eof()) {
            for (int c = 0; c < q.fieldCount(); ++c) {
                const Field* f = q.field(c);
                if (!isBlob(f->dataType()))
                    lines.append(QStringLiteral("%1=%2").arg(f->fieldName(), traceText(*f)));
            }
        }
        q.close();
        break;
    }
    return lines;
}

void TDBCache::WriteTraceLog(WriteCall& call, TUpdateKind kind, QStringList& lines)
{
    if (kind == ukInsert || !m_tableProps->TraceLog || call.kind == ServerKind::Standard ||
        lines.isEmpty())
        return;
    const qint64 recId = m_workKeys.empty() ? 0 : m_workKeys.front()->copy->asInteger();
    SqlQuery& trace = call.trace();
    trace.close();
    trace.setSql(QStringList{
        QStringLiteral("insert into KRN_SYS_TRACE_LOG(TABLE_NAME, REC_ID, ACTION,LOG,LOG_DATA)"),
        QStringLiteral("values('%1', %2, :ACTION,:LOG,:LOG_DATA)").arg(GetTableName()).arg(recId)});
    lines.prepend(QStringLiteral("UserID=") + QString::number(call.access.GetUserID()));

    SqlQuery& date = call.query;
    date.close();
    date.setSql(call.kind == ServerKind::Oracle ? QStringLiteral("select SYSDATE D from DUAL")
                                                : QStringLiteral("select GetDate() D"));
    date.open();
    const QString now = date.fieldByName(QStringLiteral("D"))->asString();
    date.close();
    lines.insert(1, QStringLiteral("DateTime=") + now);
    const bool update = kind == ukModify;
    lines.insert(2, update ? QStringLiteral("Action=UPDATE") : QStringLiteral("Action=DELETE"));

    // The lines as one text, each ended as the practice software's texts are.
    const QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    trace.paramByName(QStringLiteral("ACTION"))
        .setAsString(update ? QStringLiteral("U") : QStringLiteral("D"));
    trace.paramByName(QStringLiteral("LOG")).setAsMemo(text);
    trace.paramByName(QStringLiteral("LOG_DATA")).setAsMemo(CryptLongText(text, true));
    for (int attempt = 1;; ++attempt) {
        try {
            trace.execSql();
            return;
        } catch (const std::exception&) {
            if (attempt == 3)
                throw;
            call.access.TraceLogWait(1000);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// After the commit: the other open caches follow

QList<TDBCache*> TDBCache::followingCaches() const
{
    QList<TDBCache*> caches;
    TDBAccess* access = Access();
    if (!access)
        return caches;
    const QString table = GetTableName();
    auto fromNames = [&table](const TDBRequest* r) {
        for (int i = 0; r && i < r->From().Count(); ++i) {
            if (sameName(r->From()[i]->TableName(), table))
                return true;
        }
        return false;
    };
    auto embedsTable = [&](const TDBRequest* r, const Params& params) {
        for (const Param& p : params) {
            if (!p.name().startsWith(QLatin1String("EMB_DBREQ"), Qt::CaseInsensitive) ||
                p.dataType() != FieldType::Integer)
                continue;
            if (fromNames(access->FindRequest(p.value().toInt64())))
                return true;
        }
        Q_UNUSED(r);
        return false;
    };
    for (TKernelCache* open : access->OpenCaches()) {
        auto* cache = dynamic_cast<TDBCache*>(open);
        if (!cache || cache == this || cache->m_followMark)
            continue;
        bool shows = sameName(cache->GetTableName(), table);
        const TDBRequest* r = cache->Request();
        shows = shows || fromNames(r);
        for (int i = 0; r && !shows && i < r->Select().Count(); ++i)
            shows = embedsTable(r, r->Select()[i]->ItemParams());
        for (int i = 0; r && !shows && i < r->Where().Count(); ++i)
            shows = embedsTable(r, r->Where()[i]->ItemParams());
        // A lookup field of the table follows its rows too.
        for (const QString& entry : cache->LookupDescriptors().split(QLatin1Char(','))) {
            const QStringList parts = entry.section(QLatin1Char('='), 1).split(QLatin1Char('.'));
            shows = shows || (parts.size() > 2 && sameName(parts.at(1), table));
        }
        if (shows)
            caches.append(cache);
    }
    return caches;
}

void TDBCache::ApplyChanges()
{
    if (!m_workRecords || m_workRecords->isEmpty() || !m_tableProps)
        return;
    const QList<TDBCache*> following = followingCaches();
    if (following.isEmpty())
        return;
    struct ClearMarks
    {
        const QList<TDBCache*>& caches;
        ~ClearMarks()
        {
            for (TDBCache* c : caches)
                c->m_followMark = false;
        }
    } clear{following};
    MemDataSet& work = *m_workRecords;
    forEachWorkRecord([&] {
        const TUpdateKind kind = pendingKind();
        if (m_cachedUpdates && kind != ukDelete &&
            !locate(m_rowIdField, work.fieldByName(m_rowIdField)->value()))
            DBKernelError(QStringLiteral("Record not found"));
        QStringList changed;
        if (kind != ukDelete)
            changedFields(changed);
        if (kind != ukModify || !changed.isEmpty()) {
            for (TDBCache* c : following) {
                if (c->m_followMark)
                    break;
                c->m_followMark = true;
            }
        }
        switch (kind) {
        case ukModify:
            if (!changed.isEmpty())
                PropagateModified(*this, changed);
            break;
        case ukInsert:
            PropagateInserted(*this);
            break;
        case ukDelete:
            PropagateDeleted(*this);
            break;
        }
        for (TDBCache* c : following)
            c->m_followMark = false;
    });
}
