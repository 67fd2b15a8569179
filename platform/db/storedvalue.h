// How field values are kept in the engine's SQLite files: dates, times and date-times as text,
// booleans as 0/1, float and currency as REAL, texts as text; and the declared column types that
// carry a field's type and size.
#pragma once

#include <platform/data/field.h>

#include <optional>

namespace storedvalue {

// "YYYY-MM-DD", "HH:MM:SS" and "YYYY-MM-DD HH:MM:SS". Fractions of a second are dropped.
QString dateText(TDateTime value);
QString timeText(TDateTime value);
QString dateTimeText(TDateTime value);
// Reads the forms above (also "YYYY-MM-DDTHH:MM:SS", seconds with a fraction, and "HH:MM");
// nothing when the text is none of them or names no real day or time.
std::optional<TDateTime> parseDateTime(const QString& text);
// The same on UTF-8 bytes (the engine's own text), without making a QString for the forms the
// engine writes.
std::optional<TDateTime> parseDateTime(const char* utf8, qsizetype length);

// The value to store for a field of that type: Null, an integer, a double, a text or bytes. An
// empty text becomes Null when `emptyTextIsNull` (the local tables' rule). Raises EConvertError
// when the value has no form of that type.
Variant toStored(FieldType type, const Variant& value, bool emptyTextIsNull = false);
// The field value of a stored value (Null stays Null). Raises EConvertError naming `column` when
// the stored value has no form of the field's type.
Variant fromStored(FieldType type, const Variant& stored, const QString& column = QString());

// The declared column type of a field: VARCHAR(n), CLOB, INTEGER, AUTOINC, BOOLEAN, FLOAT,
// CURRENCY, DATE, TIME, DATETIME, BLOB, GRAPHIC. Each keeps SQLite's type affinity right for the
// values stored (text stays text, "007" is not turned into 7).
QString declaredType(FieldType type, int size);
// The field type and size of a declared column type, also for the usual SQL spellings (INT,
// BIGINT, CHAR(n), TEXT, NUMERIC, DOUBLE, REAL, MONEY, TIMESTAMP, BIT, IMAGE, and the local
// kind's BLOB(n, 1) memo, BLOB(n, 5) graphic, other subtypes blob, ...). Unknown when
// the declaration is empty or not understood.
FieldType fieldTypeOf(const QString& declared, int* size = nullptr);

} // namespace storedvalue
