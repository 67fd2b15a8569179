// Reserved words of the SQL of each server kind: the cached dataset finds fields renamed for them
// and the table-structure editor refuses them as field names.
#pragma once

#include <platform/db/serverkind.h>

#include <QString>
#include <QStringList>

// True when `word`, as a whole, is a reserved word of the server kind (1 MS SQL Server, 2 Oracle,
// 3 the local server kind), case ignored. Any other kind reserves nothing.
//
// The lists are kept as they have always been, including the entries where two neighbouring words
// run together and count as one ("ARRAYAS" is reserved for Oracle, "ARRAY" and "AS" are not).
bool IsReservedWord(const QString& word, ServerKind::Kind serverKind);

// The reserved words of the server kind, in their stored order; empty for any other kind.
QStringList ReservedWords(ServerKind::Kind serverKind);
