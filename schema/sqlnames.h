// Names of tables, fields and indexes in the statements of the schema tools: which names a server
// kind takes unquoted, which it keeps from new names, and how a name is written where the kind
// cannot take it as it is.
#pragma once

#include <platform/db/serverkind.h>

#include <QString>

// Whether the server kind takes `name` unquoted as the name of a table, field or index: MS SQL
// Server up to 128 letters, digits, "_", "@", "#" and "$", beginning with a letter or "_";
// Oracle up to 30 letters, digits, "_", "$" and "#", beginning with a letter; the local kind
// letters, digits and "_", not beginning with a digit. Letters are A to Z only, as the kernel
// reads names in its requests. Any other kind takes every name.
bool IsPlainName(const QString& name, ServerKind::Kind kind);
// The rule of IsPlainName for the kind, as the validation messages give it.
QString PlainNameRule(ServerKind::Kind kind);
// The longest name the kind takes; 0 when it sets no limit.
int MaxNameLength(ServerKind::Kind kind);

// Whether a new table, field or index may not be called `name` on the server kind: a reserved
// word of the kind (IsReservedWord), or a word of one of its list's entries where two words
// stand run together ("SELECTSET" keeps both SELECT and SET from new names). Case is ignored.
bool IsReservedName(const QString& name, ServerKind::Kind kind);

// `name` as the kind's statements write it: as it stands when it is plain and not reserved (see
// above) nor, on the local kind, one of SQLite's own keywords (ORDER, GROUP, KEY, ...); else
// quoted, exactly as given: [NAME] on MS SQL Server, "NAME" on Oracle and the local kind, a
// closing bracket or a double quote inside it doubled. Any other kind, and an empty name, get the
// text as it stands.
QString SqlName(const QString& name, ServerKind::Kind kind);
// A comma list of names ("A,B"), each written by SqlName, the blanks around each kept; the text
// as it stands when no name of it needs quotes.
QString SqlNameList(const QString& names, ServerKind::Kind kind);
