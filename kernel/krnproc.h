// The kernel's exception, its message boxes and the small routines every kernel unit shares: type
// maps, field-list punctuation, permission statements, parameter filling, the dialect cast and the
// record compare and copy family.
#pragma once

#include <platform/data/field.h>
#include <platform/db/serverkind.h>
#include <platform/exception.h>

#include <QString>
#include <QStringList>

#include <functional>

class DataSet;
class LocalTable;
class MemDataSet;
class Param;
class Params;
class SqlQuery;

// Every error the kernel itself detects; errors of the database engine pass through unchanged.
QV_EXCEPTION_CLASS(EDBKernelError, Exception)

// Raises EDBKernelError with the message.
[[noreturn]] void DBKernelError(const QString& message);

// The kernel's message boxes (modal): error and warning with OK, confirmation with Yes and No
// (true on Yes).
void ErrorMsg(const QString& message);
void WarningMsg(const QString& message);
bool ConfirmMsg(const QString& message);

// "Oui"/"Non" in French (ProgLanguage 1), "Да"/"Нет" in Russian (2), "Yes"/"No" otherwise.
QString BoolToYesNo(bool value);

// The kernel's field types, as METAFIELD.DATATYPE stores them.
enum TDataType : quint8 {
    dtUnknown = 0,
    dtInteger = 1,
    dtAutoinc = 2,
    dtString = 3,
    dtDateTime = 4,
    dtDate = 5,
    dtTime = 6,
    dtMoney = 7,
    dtNumeric = 8,
    dtMemo = 9,
    dtBlob = 10,
    dtBoolean = 11,
    dtGraphic = 12,
    dtCours = 13,
    dtTaux = 14,
    dtLangString = 15,
};

// Field type of a live column to kernel type (a column without metadata) and back. Dates and
// times all become dtDateTime; the kinds without a kernel type give dtUnknown.
TDataType FieldTypeToDataType(FieldType type);
FieldType DataTypeToFieldType(TDataType type);

QString CommasToSemicolons(const QString& text);
// The names of a field list with ',' or ';' between them, trimmed, empty ones left out.
QStringList FieldNameList(const QString& text);
QString SemicolonsToCommas(const QString& text);

// Permission kinds and grant modes of BuildGrantSQL.
enum TPermissionKind { pkSelect = 0, pkInsert = 1, pkUpdate = 2, pkDelete = 3 };
enum TGrantMode { gmDeny = -1, gmRevoke = 0, gmGrant = 1 };

// The kind named by the first letter of the text (S, I, U, D in either case). An empty text
// raises "Empty permission kind"; any other letter raises the text + " is invalid permission kind".
TPermissionKind PermissionKind(const QString& text);
// "GRANT SELECT on T to R" and its revoke and deny forms; on Oracle (server kind 2) the grantee
// stands in double quotes and revoke and deny are both "REVOKE ... on T from "R"".
QString BuildGrantSQL(const QString& object, const QString& grantee, const QString& permission,
                      ServerKind::Kind serverKind, int mode);

// Stores a caller's value into a parameter through the typed setter of its kind (integer,
// Boolean, float, currency, text). Any other kind (null, date, bytes) raises
// "Invalid variant type.".
void VarRecToParam(Param& param, const Variant& value);

int IMax(int a, int b);

// The field's type and value into the parameter; a value whose text is empty leaves it null.
void FieldToParam(const Field& field, Param& param);
// FieldToParam for every parameter named like a field of the dataset's current record.
void AssignParamsFromDataSet(Params& params, const DataSet& dataSet);
void AssignParamsFromDataSet(SqlQuery& query, const DataSet& dataSet);
// Booleans of databases that keep them as characters: each Boolean parameter becomes "T" or "F".
void ConvertBooleanParams(Params& params);

// The decimal text as a float lying just above the written value: when it holds the regional
// decimal separator, zeros are appended up to six decimals and then a "1" ("2,5" reads as
// 2.5000001), so rounding to six decimals never falls below what was typed. Empty text gives 0.
double StrToFloatAdj(const QString& text);

// The field-name form of a reserved word (a trailing "_").
QString AddUnderscore(const QString& text);

// Names of tables, fields and aliases compare without regard to case throughout the kernel.
inline bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The SQL script text with every script variable matched by "@[A-Za-z0-9_]+\W" upper-cased
// (with the character after the name) in the program's ANSI code page rules; the rest is kept.
// A variable that ends the text has no character after it and so stays as it is.
QString UpperCaseSQLVariables(const QString& text);

// A Boolean kept as characters: true when the text starts with T, t, Y or y.
bool textAsBoolean(const QString& text);
// A Boolean as the data-access layer reads one from a field: a text field by textAsBoolean
// (databases that keep Booleans as characters); other fields as their value.
bool FieldAsBoolean(const Field& field);

// ---- record compare and copy
//
// The copy routines pair each destination field with the source field of the same name, when the
// destination field is a data field (not calculated, not lookup) and not the row identifier of a
// kernel cache. Boolean destination fields take the source as a Boolean (FieldAsBoolean), the
// others take its value. A kernel cache destination limits the copy to its packet size (-1: no
// limit) and is told whether the limit was reached.

// Appends to `names` every field of A whose value differs from the same-named field of B (fields
// B lacks are skipped).
void GetChangedFields(const DataSet& a, const DataSet& b, QStringList& names);
// The current source record's values into the destination's current record (being edited). Does
// nothing unless both are open.
void CopyRecord(const DataSet& source, DataSet& destination);
// The same for the named fields only.
void CopyFieldsByList(const DataSet& source, DataSet& destination, const QStringList& names);
// Appends one destination record filled from the source's current record and posts it (both
// open).
void AppendRecordCopy(const DataSet& source, DataSet& destination);
// Appends every source record from the first on, up to the destination's limit.
void CopyAllRecords(DataSet& source, DataSet& destination);
// Bulk copy into an in-memory dataset: only the current record with `currentOnly`, else every
// record from the first up to the limit; with a `keyField`, a record whose integer key the
// destination already holds is skipped. Afterwards both stand on their first record. Into a cache
// filled from MS SQL Server, a memo value as long as the connection's blob size or longer is read
// whole from the server (the data-access layer may have cut it there).
void CopyDataSet(DataSet& source, MemDataSet& destination, const QString& keyField,
                 bool currentOnly);
// Sets the local table's range and copies the range's records into the destination, as setRange
// then CopyDataSet(table, destination, QString(), false) do. Where the table's cursor would add
// nothing to its values (no filter, calculated or lookup field, scroll handler, Boolean to
// convert or long text to complete), the records go from the table's reading straight into the
// destination.
void CopyTableRange(LocalTable& table, MemDataSet& destination, const VariantList& low,
                    const VariantList& high);

// ---- dataset actions

// Runs an action on a dataset: 0 open then refresh, 1 PostIfEditing then close, 2 refresh, 3
// apply the table's key range again, any other nothing. While the engine reports the table busy
// (EngineError 0x2B33) the whole action is tried again, up to 10 tries 100 ms apart; then, and
// for any other error, the error goes to the caller.
void DataSetAction(DataSet& dataSet, quint8 action);
// The pause between two tries (a blocking sleep; tests replace it, null restores it).
void SetDataSetActionWait(std::function<void(int ms)> wait);
// Posts a dataset that is editing or inserting and writes a local table's rows through to the
// disk: true. In any other state false, and nothing happens. When the post or the write fails,
// a record still being edited is cancelled and the error goes to the caller.
bool PostIfEditing(DataSet& dataSet);

// ---- dialect cast

// The expression cast to a field type in the SQL of a server kind (1 MS SQL Server, 2 Oracle,
// 3 the local kind, on SQLite; any other kind uses the local texts without Boolean and memo
// types). An empty expression gives a typed null. Raises "Attempt convert expression to
// unsupported data type" for a type that has no cast, and on Oracle
// "Attempt cast expression %s as memo. Capability not supported by ORACLE".
QString CastExpression(ServerKind::Kind serverKind, bool booleanAsChar, const QString& expression,
                       FieldType type, int size);
