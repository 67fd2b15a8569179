// The SQL macro definitions of each server kind and the merge of the extra definitions that a
// database keeps in table META_MACRO.
#pragma once

#include <platform/db/serverkind.h>

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

// Builds the lines "%name=value" of the macro table for a server kind (1 MS SQL Server, 2 Oracle,
// 3 the local server kind, which runs on SQLite; any other kind has no built-in macro), followed
// by the rows of META_MACRO (CODE, MACRO) in the order given.
//
// A row whose CODE names a macro already defined (case ignored) is skipped and reported through
// `warn`; only the kind-3 definitions that stand in for SQLite's missing ones (%coalesce, %true,
// %false, %case) give way to a row of the same name, silently. Every line break of a MACRO value
// (CR LF, CR or LF) becomes one blank, so a value stays on its line.
//
// `booleanAsChar`: Booleans are stored as the characters 'T' and 'F'; %true and %false follow it
// on kinds 1 and 3 (Oracle always uses the characters).
QStringList BuildMacroLines(ServerKind::Kind serverKind, bool booleanAsChar,
                            const QList<QPair<QString, QString>>& metaMacroRows,
                            const std::function<void(const QString&)>& warn);
