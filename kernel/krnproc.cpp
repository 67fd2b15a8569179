// The kernel's support routines: errors and message boxes, type maps, grants, parameters, the
// dialect cast, the script-variable rewrite and the record compare and copy family.
#include "krnproc.h"

#include <kernel/cacheapi.h>
#include <kernel/dbaccess.h>
#include <kernel/regexpr.h>
#include <kernel/request.h>
#include <platform/codepage.h>
#include <platform/data/memdataset.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>
#include <platform/dialogs.h>
#include <platform/regional.h>
#include <platform/support/globals.h>

#include <QHash>
#include <QThread>

#include <vector>

void DBKernelError(const QString& message)
{
    throw EDBKernelError(message);
}

void ErrorMsg(const QString& message)
{
    dialogService().messageDlg(message, mtError, mbOK);
}

void WarningMsg(const QString& message)
{
    dialogService().messageDlg(message, mtWarning, mbOK);
}

bool ConfirmMsg(const QString& message)
{
    return dialogService().messageDlg(message, mtConfirmation, TMsgDlgButtons(mbYes) | mbNo) ==
           modalResultOf(mbYes);
}

QString BoolToYesNo(bool value)
{
    switch (ProgLanguage) {
    case 1:
        return value ? QStringLiteral("Oui") : QStringLiteral("Non");
    case 2:
        return value ? QStringLiteral("Да") : QStringLiteral("Нет");
    default:
        return value ? QStringLiteral("Yes") : QStringLiteral("No");
    }
}

TDataType FieldTypeToDataType(FieldType type)
{
    switch (type) {
    case FieldType::String:
        return dtString;
    case FieldType::Integer:
        return dtInteger;
    case FieldType::Boolean:
        return dtBoolean;
    case FieldType::Float:
        return dtNumeric;
    case FieldType::Currency:
        return dtMoney;
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
        return dtDateTime;
    case FieldType::AutoInc:
        return dtAutoinc;
    case FieldType::Blob:
        return dtBlob;
    case FieldType::Memo:
        return dtMemo;
    case FieldType::Graphic:
        return dtGraphic;
    case FieldType::Unknown:
        break;
    }
    return dtUnknown;
}

FieldType DataTypeToFieldType(TDataType type)
{
    switch (type) {
    case dtInteger:
    case dtAutoinc:
        return FieldType::Integer;
    case dtString:
    case dtLangString:
        return FieldType::String;
    case dtDateTime:
    case dtDate:
    case dtTime:
        return FieldType::DateTime;
    case dtMoney:
        return FieldType::Currency;
    case dtNumeric:
    case dtCours:
    case dtTaux:
        return FieldType::Float;
    case dtMemo:
        return FieldType::Memo;
    case dtBlob:
        return FieldType::Blob;
    case dtBoolean:
        return FieldType::Boolean;
    case dtGraphic:
        return FieldType::Graphic;
    case dtUnknown:
        break;
    }
    return FieldType::Unknown;
}

QString CommasToSemicolons(const QString& text)
{
    return QString(text).replace(QLatin1Char(','), QLatin1Char(';'));
}

QStringList FieldNameList(const QString& text)
{
    QStringList names;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char(';'))
            continue;
        const QString name = text.mid(start, i - start).trimmed();
        if (!name.isEmpty())
            names.append(name);
        start = i + 1;
    }
    return names;
}

QString SemicolonsToCommas(const QString& text)
{
    return QString(text).replace(QLatin1Char(';'), QLatin1Char(','));
}

TPermissionKind PermissionKind(const QString& text)
{
    if (text.isEmpty())
        DBKernelError(QStringLiteral("Empty permission kind"));
    switch (text.at(0).toUpper().unicode()) {
    case 'S':
        return pkSelect;
    case 'I':
        return pkInsert;
    case 'U':
        return pkUpdate;
    case 'D':
        return pkDelete;
    default:
        DBKernelError(text + QStringLiteral(" is invalid permission kind"));
    }
}

QString BuildGrantSQL(const QString& object, const QString& grantee, const QString& permission,
                      ServerKind::Kind serverKind, int mode)
{
    static const char* const permissions[] = {" SELECT", " INSERT", " UPDATE", " DELETE"};
    const QString right = QLatin1String(permissions[PermissionKind(permission)]);
    const QString verb = mode < 0    ? QStringLiteral("DENY")
                         : mode == 0 ? QStringLiteral("REVOKE")
                                     : QStringLiteral("GRANT");
    if (serverKind != ServerKind::Oracle)
        return QStringLiteral("%1 %2 on %3 to %4").arg(verb, right, object, grantee);
    const QString quoted = QLatin1Char('"') + grantee + QLatin1Char('"');
    if (mode > 0)
        return QStringLiteral("%1 %2 on %3 to %4").arg(verb, right, object, quoted);
    // Oracle has no DENY: both take back the right.
    return QStringLiteral("REVOKE %1 on %2 from ").arg(right, object) + quoted;
}

void VarRecToParam(Param& param, const Variant& value)
{
    switch (value.type()) {
    case Variant::Type::Integer:
        param.setAsInteger(value.toInt64());
        break;
    case Variant::Type::Boolean:
        param.setAsBoolean(value.toBool());
        break;
    case Variant::Type::Double:
        param.setAsFloat(value.toDouble());
        break;
    case Variant::Type::Currency:
        param.setAsCurrency(value.toCurrency());
        break;
    case Variant::Type::String:
        param.setAsString(value.toString());
        break;
    default:
        DBKernelError(QStringLiteral("Invalid variant type."));
    }
}

int IMax(int a, int b)
{
    return a > b ? a : b;
}

void FieldToParam(const Field& field, Param& param)
{
    param.setDataType(field.dataType());
    const Variant value = field.value();
    // A blob's text form is its bytes: it has no other.
    const bool empty =
        value.isEmpty() || (value.type() == Variant::Type::Bytes ? value.toBytes().isEmpty()
                                                                 : value.toString().isEmpty());
    param.setValue(empty ? Variant::null() : value);
}

void AssignParamsFromDataSet(Params& params, const DataSet& dataSet)
{
    for (Param& p : params) {
        if (const Field* f = dataSet.findField(p.name()))
            FieldToParam(*f, p);
    }
}

void AssignParamsFromDataSet(SqlQuery& query, const DataSet& dataSet)
{
    AssignParamsFromDataSet(query.params(), dataSet);
}

void ConvertBooleanParams(Params& params)
{
    for (Param& p : params) {
        if (p.dataType() == FieldType::Boolean)
            p.setAsString(p.asBoolean() ? QStringLiteral("T") : QStringLiteral("F"));
    }
}

double StrToFloatAdj(const QString& text)
{
    if (text.isEmpty())
        return 0;
    QString adjusted = text;
    const qsizetype sep = adjusted.indexOf(regional().decimalSeparator);
    if (sep >= 0) {
        while (adjusted.size() - sep - 1 < 6)
            adjusted += QLatin1Char('0');
        adjusted += QLatin1Char('1');
    }
    return StrToFloat(adjusted);
}

QString AddUnderscore(const QString& text)
{
    return text + QLatin1Char('_');
}

QString UpperCaseSQLVariables(const QString& text)
{
    TRegExpr variable;
    variable.SetExpression(QStringLiteral("@[A-Za-z0-9_]+\\W"));
    if (!variable.Exec(text))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype kept = 0; // characters of `text` already carried over
    do {
        const qsizetype at = variable.GetMatchPos(0) - 1;
        const qsizetype length = variable.GetMatchLen(0);
        result += QStringView(text).sliced(kept, at - kept);
        result += codepage::upper(text.sliced(at, length));
        kept = at + length;
    } while (variable.ExecNext());
    result += QStringView(text).sliced(kept);
    return result;
}

bool textAsBoolean(const QString& text)
{
    return !text.isEmpty() && QStringLiteral("TtYy").contains(text.at(0));
}

bool FieldAsBoolean(const Field& field)
{
    return isTextType(field.dataType()) ? textAsBoolean(field.asString()) : field.asBoolean();
}

// ---------------------------------------------------------------------------------------------
// Record compare and copy

namespace {

struct FieldPair
{
    const Field* source;
    Field* destination;
};

// The pairs of the shared rule; `only` (when given) restricts them to those names.
std::vector<FieldPair> pairFields(const DataSet& source, DataSet& destination,
                                  const QStringList* only = nullptr)
{
    const TKernelCache* cache = dynamic_cast<const TKernelCache*>(&destination);
    const QString rowId = cache ? cache->RowIdFieldName() : QString();
    std::vector<FieldPair> pairs;
    for (int i = 0; i < destination.fieldCount(); ++i) {
        Field* d = destination.field(i);
        if (d->fieldKind() != Field::Kind::Data)
            continue;
        if (!rowId.isEmpty() && d->fieldName().compare(rowId, Qt::CaseInsensitive) == 0)
            continue;
        if (only && !only->contains(d->fieldName(), Qt::CaseInsensitive))
            continue;
        if (const Field* s = source.findField(d->fieldName()))
            pairs.push_back({s, d});
    }
    return pairs;
}

// Memo values of a cache filled from MS SQL Server, whose data-access layer cuts a long text at
// the connection's blob size: a value that long is completed from the server, by the key of its
// row, in pieces of at most the blob size. Lengths and offsets count bytes of the program's code
// page, as the server's DATALENGTH and READTEXT do.
class LongTexts
{
public:
    // Values as they come.
    explicit LongTexts(const DataSet& source) : m_source(source) {}
    LongTexts(const DataSet& source, const DataSet& destination,
              const std::vector<FieldPair>& pairs)
        : m_source(source)
    {
        m_cache = dynamic_cast<const TRequestCache*>(&destination);
        const TDBRequest* request = m_cache ? m_cache->Request() : nullptr;
        TDBAccess* access = request ? request->DBAccess() : nullptr;
        if (!access || access->ServerKind() != ServerKind::MSSQL || !access->DataBase())
            return;
        m_blobSize = access->BlobSize();
        m_query = std::make_unique<SqlQuery>();
        m_query->setDatabase(access->DataBase());
        for (const FieldPair& p : pairs) {
            if (p.source->dataType() == FieldType::Memo)
                m_memos.append(p.source);
        }
    }

    // No value needs completing: each is the source field's own.
    bool plain() const { return m_memos.isEmpty(); }

    // The value the pair copies from the source's current record.
    Variant value(const FieldPair& p)
    {
        if (p.destination->dataType() == FieldType::Boolean)
            return p.source->isNull() ? Variant::null() : Variant(FieldAsBoolean(*p.source));
        if (!m_memos.contains(p.source) || p.source->isNull())
            return p.source->value();
        return complete(*p.source);
    }

private:
    QString complete(const Field& field)
    {
        QByteArray held = codepage::toAnsi(field.asString());
        if (held.size() < m_blobSize)
            return field.asString();
        const QString name = field.fieldName();
        if (!m_keys.contains(name)) {
            TKeyWhere where;
            m_keys.insert(name, BuildKeyWhere(*m_cache, name, where) ? where : TKeyWhere());
        }
        const TKeyWhere& key = m_keys[name];
        if (key.Where.isEmpty())
            return field.asString(); // no key reaches the row: the value stays as it came
        const qint64 size = run(QStringLiteral("select DATALENGTH(%1) FSIZE from %2 %3")
                                    .arg(key.FieldName, key.TableName, key.Where))
                                .toInt64();
        while (held.size() < size) {
            const qint64 count = qMin(size - held.size(), qint64(m_blobSize));
            const QString piece =
                run(QStringList{QStringLiteral("declare @ptr_text varbinary(16)"),
                                QStringLiteral("select @ptr_text = TEXTPTR(%1) from %2 %3")
                                    .arg(key.FieldName, key.TableName, key.Where),
                                QStringLiteral("READTEXT %1.%2 @ptr_text %3 %4")
                                    .arg(key.TableName, key.FieldName)
                                    .arg(held.size())
                                    .arg(count)}
                        .join(QLatin1Char('\n')))
                    .toString();
            if (piece.isEmpty())
                break; // the server has no more: what is held is the value
            held += codepage::toAnsi(piece);
        }
        return codepage::fromAnsi(held);
    }

    // The first column of the statement's first row, with the parameters of the current record.
    Variant run(const QString& sql)
    {
        m_query->close();
        m_query->setSql(sql);
        AssignParamsFromDataSet(*m_query, m_source);
        m_query->open();
        const Variant v = m_query->eof() ? Variant::null() : m_query->field(0)->value();
        m_query->close();
        return v;
    }

    const DataSet& m_source;
    const TRequestCache* m_cache = nullptr;
    int m_blobSize = 0;
    QList<const Field*> m_memos;
    QHash<QString, TKeyWhere> m_keys;  // per field name; an empty condition: none can be built
    std::unique_ptr<SqlQuery> m_query; // only for a cache filled from MS SQL Server
};

void copyValues(const std::vector<FieldPair>& pairs, LongTexts& texts)
{
    for (const FieldPair& p : pairs)
        p.destination->setValue(texts.value(p));
}

// -1: no limit.
int packetLimitOf(const DataSet& destination)
{
    const TKernelCache* cache = dynamic_cast<const TKernelCache*>(&destination);
    return cache ? cache->PacketLimit() : -1;
}

void reportLimit(DataSet& destination, int limit, int copied)
{
    if (TKernelCache* cache = dynamic_cast<TKernelCache*>(&destination))
        cache->SetPacketLimitReached(limit >= 0 && copied >= limit);
}

class ControlsDisabled
{
public:
    explicit ControlsDisabled(DataSet& a, DataSet& b) : m_a(a), m_b(b)
    {
        m_a.disableControls();
        m_b.disableControls();
    }
    ~ControlsDisabled()
    {
        m_b.enableControls();
        m_a.enableControls();
    }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    DataSet& m_a;
    DataSet& m_b;
};

void appendCopy(const std::vector<FieldPair>& pairs, DataSet& destination, LongTexts& texts)
{
    destination.append();
    try {
        copyValues(pairs, texts);
        destination.post();
    } catch (...) {
        destination.cancel();
        throw;
    }
}

// Appends the source's records from the first on through the destination's bulk load (no
// events, indexes built once), up to its packet size; returns how many.
int bulkCopy(DataSet& source, MemDataSet& destination, const std::vector<FieldPair>& pairs,
             LongTexts& texts)
{
    const FieldDefs& defs = destination.fieldDefs();
    QList<int> columns;
    for (const FieldPair& p : pairs)
        columns.append(defs.indexOf(p.destination->fieldName()));
    int copied = 0;
    // A full packet stops the walk before the source reads a record it would not take; a local
    // table reads the packet in one go.
    const int packet = destination.packetRecords();
    struct ReadAhead
    {
        LocalTable* table;
        ~ReadAhead()
        {
            if (table)
                table->setReadAhead(0);
        }
    } readAhead{packet > 0 ? qobject_cast<LocalTable*>(&source) : nullptr};
    if (readAhead.table)
        readAhead.table->setReadAhead(packet);
    destination.beginBulkAppend();
    try {
        for (source.first(); !source.eof(); source.next()) {
            QList<Variant> row(defs.count());
            for (size_t i = 0; i < pairs.size(); ++i) {
                if (columns.at(qsizetype(i)) >= 0)
                    row[columns.at(qsizetype(i))] = texts.value(pairs[i]);
            }
            if (!destination.bulkAppend(std::move(row)))
                break;
            if (++copied == packet)
                break;
        }
    } catch (...) {
        destination.endBulkAppend();
        throw;
    }
    destination.endBulkAppend();
    return copied;
}

} // namespace

void GetChangedFields(const DataSet& a, const DataSet& b, QStringList& names)
{
    for (int i = 0; i < a.fieldCount(); ++i) {
        const Field* fa = a.field(i);
        const Field* fb = b.findField(fa->fieldName());
        if (fb && fa->value() != fb->value())
            names.append(fa->fieldName());
    }
}

void CopyRecord(const DataSet& source, DataSet& destination)
{
    if (!source.isActive() || !destination.isActive())
        return;
    const std::vector<FieldPair> pairs = pairFields(source, destination);
    LongTexts plain(source);
    copyValues(pairs, plain);
}

void CopyFieldsByList(const DataSet& source, DataSet& destination, const QStringList& names)
{
    if (!source.isActive() || !destination.isActive())
        return;
    const std::vector<FieldPair> pairs = pairFields(source, destination, &names);
    LongTexts plain(source);
    copyValues(pairs, plain);
}

void AppendRecordCopy(const DataSet& source, DataSet& destination)
{
    if (!source.isActive() || !destination.isActive())
        return;
    const std::vector<FieldPair> pairs = pairFields(source, destination);
    LongTexts plain(source);
    appendCopy(pairs, destination, plain);
}

void CopyAllRecords(DataSet& source, DataSet& destination)
{
    const std::vector<FieldPair> pairs = pairFields(source, destination);
    LongTexts plain(source);
    const int limit = packetLimitOf(destination);
    int copied = 0;
    {
        ControlsDisabled disabled(source, destination);
        source.first();
        while (!source.eof() && (limit < 0 || copied < limit)) {
            appendCopy(pairs, destination, plain);
            ++copied;
            source.next();
        }
    }
    reportLimit(destination, limit, copied);
}

void CopyDataSet(DataSet& source, MemDataSet& destination, const QString& keyField,
                 bool currentOnly)
{
    const std::vector<FieldPair> pairs = pairFields(source, destination);
    LongTexts texts(source, destination, pairs);
    if (currentOnly) {
        appendCopy(pairs, destination, texts);
        return;
    }
    const int limit = packetLimitOf(destination);
    const Field* sourceKey = keyField.isEmpty() ? nullptr : source.fieldByName(keyField);
    int copied = 0;
    {
        ControlsDisabled disabled(source, destination);
        if (!sourceKey && limit == destination.packetRecords() &&
            destination.state() == DataSet::State::Browse) {
            copied = bulkCopy(source, destination, pairs, texts);
        } else {
            source.first();
            while (!source.eof() && (limit < 0 || copied < limit)) {
                if (!sourceKey || !destination.locate(keyField, Variant(sourceKey->asInteger()))) {
                    appendCopy(pairs, destination, texts);
                    ++copied;
                }
                source.next();
            }
        }
        source.first();
        destination.first();
    }
    reportLimit(destination, limit, copied);
}

void CopyTableRange(LocalTable& table, MemDataSet& destination, const VariantList& low,
                    const VariantList& high)
{
    const std::vector<FieldPair> pairs = pairFields(table, destination);
    LongTexts texts(table, destination, pairs);
    const int limit = packetLimitOf(destination);
    bool direct = limit == destination.packetRecords() &&
                  destination.state() == DataSet::State::Browse && !table.isFiltered() &&
                  !table.beforeScroll && !table.afterScroll && !table.onCalcFields && texts.plain();
    for (int i = 0; direct && i < table.fieldCount(); ++i)
        direct = table.field(i)->fieldKind() == Field::Kind::Data;
    // Per pair, the table's field definition and the destination's.
    std::vector<std::pair<int, int>> columns;
    for (const FieldPair& p : pairs) {
        direct = direct && p.destination->dataType() != FieldType::Boolean;
        columns.emplace_back(table.fieldDefs().indexOf(p.source->fieldName()),
                             destination.fieldDefs().indexOf(p.destination->fieldName()));
    }
    if (!direct) {
        table.setRange(low, high);
        CopyDataSet(table, destination, QString(), false);
        return;
    }
    int copied = 0;
    {
        ControlsDisabled disabled(table, destination);
        QList<Variant> row(destination.fieldDefs().count());
        destination.beginBulkAppend();
        try {
            copied = table.setRangeTaking(low, high, limit, [&](QList<Variant>& values) {
                for (const auto& [from, to] : columns) {
                    if (from >= 0 && to >= 0)
                        row[to] = std::move(values[from]);
                }
                return destination.bulkAppend(std::move(row));
            });
        } catch (...) {
            destination.endBulkAppend();
            throw;
        }
        destination.endBulkAppend();
        destination.first();
    }
    reportLimit(destination, limit, copied);
}

// ---------------------------------------------------------------------------------------------
// Dataset actions

namespace {

std::function<void(int ms)> actionWait;

} // namespace

void SetDataSetActionWait(std::function<void(int ms)> wait)
{
    actionWait = std::move(wait);
}

void DataSetAction(DataSet& dataSet, quint8 action)
{
    constexpr int Tries = 10;
    constexpr int PauseMs = 100;
    for (int attempt = 1;; ++attempt) {
        try {
            switch (action) {
            case 0:
                dataSet.open();
                dataSet.refresh();
                break;
            case 1:
                PostIfEditing(dataSet);
                dataSet.close();
                break;
            case 2:
                dataSet.refresh();
                break;
            case 3:
                if (auto* indexed = qobject_cast<IndexedDataSet*>(&dataSet))
                    indexed->applyRange();
                break;
            default:
                break;
            }
            return;
        } catch (const EngineError& e) {
            if (e.errorCode() != EngineCode::Locked || attempt >= Tries)
                throw;
        }
        if (actionWait)
            actionWait(PauseMs);
        else
            QThread::msleep(PauseMs);
    }
}

bool PostIfEditing(DataSet& dataSet)
{
    auto editing = [&dataSet] {
        return dataSet.state() == DataSet::State::Edit || dataSet.state() == DataSet::State::Insert;
    };
    if (!editing())
        return false;
    try {
        dataSet.post();
        if (auto* table = qobject_cast<LocalTable*>(&dataSet))
            table->flushBuffers();
    } catch (...) {
        if (editing())
            dataSet.cancel();
        throw;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Dialect cast

QString CastExpression(ServerKind::Kind serverKind, bool booleanAsChar, const QString& expression,
                       FieldType type, int size)
{
    QString typeText;
    switch (type) {
    case FieldType::String:
        typeText = QStringLiteral("varchar(%1)").arg(size);
        break;
    case FieldType::Integer:
        typeText = QStringLiteral("int");
        break;
    case FieldType::Boolean:
        if (serverKind == ServerKind::MSSQL)
            typeText = booleanAsChar ? QStringLiteral("varchar(1)") : QStringLiteral("bit");
        else if (serverKind == ServerKind::Oracle)
            typeText = QStringLiteral("varchar(1)");
        else if (serverKind == ServerKind::Standard)
            typeText = QStringLiteral("boolean");
        break;
    case FieldType::Float:
        typeText = QStringLiteral("float");
        break;
    case FieldType::Currency:
        typeText = serverKind == ServerKind::Oracle ? QStringLiteral("Numeric(20,6)")
                                                    : QStringLiteral("money");
        break;
    case FieldType::Date:
        typeText =
            serverKind == ServerKind::MSSQL ? QStringLiteral("datetime") : QStringLiteral("date");
        break;
    case FieldType::Time:
        // Oracle has no time type: its "date" holds the time of day too.
        typeText = serverKind == ServerKind::MSSQL    ? QStringLiteral("datetime")
                   : serverKind == ServerKind::Oracle ? QStringLiteral("date")
                                                      : QStringLiteral("time");
        break;
    case FieldType::DateTime:
        typeText =
            serverKind == ServerKind::Oracle ? QStringLiteral("date") : QStringLiteral("datetime");
        break;
    case FieldType::Memo:
        if (serverKind == ServerKind::MSSQL)
            typeText = QStringLiteral("text");
        else if (serverKind == ServerKind::Oracle)
            DBKernelError(QStringLiteral("Attempt cast expression %1 as memo. Capability not "
                                         "supported by ORACLE")
                              .arg(expression));
        else if (serverKind == ServerKind::Standard)
            typeText = QStringLiteral("text"); // SQLite would make bytes of "blob(1, 1)"
        break;
    default:
        DBKernelError(QStringLiteral("Attempt convert expression to unsupported data type"));
    }

    if (serverKind == ServerKind::MSSQL) {
        return QStringLiteral("convert(") + typeText + QLatin1Char(',') +
               (expression.isEmpty() ? QStringLiteral("null") : expression) + QLatin1Char(')');
    }
    if (serverKind == ServerKind::Standard) {
        // SQLite: a null of the type, and date and time casts that keep the stored ISO text
        // (a plain cast to "date" would turn "2024-01-05" into the number 2024).
        if (expression.isEmpty())
            return QStringLiteral("cast(null as ") + typeText + QLatin1Char(')');
        if (type == FieldType::Date || type == FieldType::Time || type == FieldType::DateTime)
            return typeText + QLatin1Char('(') + expression + QLatin1Char(')');
    }
    if (expression.isEmpty())
        return QStringLiteral("cast('' as ") + typeText + QLatin1Char(')');
    return QStringLiteral("cast(") + expression + QStringLiteral(" as ") + typeText +
           QLatin1Char(')');
}
