// The scripts of the generated triggers of MS SQL Server (kind 1) and Oracle (kind 2): insert
// checks of the links to masters, the delete actions towards child tables, the no-delete checks,
// replication and change tracing, with the table's own declarations and statements merged in.
// Pure functions of the kind, the table's metadata row and its link rows.
#pragma once

#include <platform/db/serverkind.h>

#include <QList>
#include <QString>
#include <QStringList>

// What a trigger takes from its table's METATABLE row.
struct TTriggerTexts
{
    QStringList Head; // declarations of the trigger's kind, without blank lines
    QStringList Body; // statements of the trigger's kind, without blank lines
    QString KeyFields;
    bool Repl = false;
    bool Trace = false;
};

// One TABLELINK row: the parent's key columns pair with the child's referencing columns by
// position.
struct TTriggerLink
{
    QString Parent;
    QString Child;
    QStringList KeyFields;
    QStringList RefFields;
    QString DeleteAction; // DEL_ACT: "C", "R", "N", "X" or " "
};

// A stored text's lines, without those that are blank.
QStringList CleanTriggerText(const QString& text);

// The update trigger of `table`; empty when the texts, replication and tracing add nothing.
QStringList UpdateTriggerLines(ServerKind::Kind serverKind, const QString& table,
                               const TTriggerTexts& texts);
// The insert trigger of `table` with a check per link row naming it as child; a link whose
// referencing columns are none of `requiredFields` lets null references pass. Empty when there
// are no link rows and the table has no content of its own (`ownContent`).
QStringList InsertTriggerLines(ServerKind::Kind serverKind, const QString& table,
                               const TTriggerTexts& texts, const QList<TTriggerLink>& links,
                               const QStringList& requiredFields, bool hasPatientsId,
                               bool ownContent);
// The delete trigger of `table`: the no-delete checks of the rows naming it as child with "X",
// then the delete action of every row naming it as parent. Empty when both lists are empty and
// the table has no content of its own.
QStringList DeleteTriggerLines(ServerKind::Kind serverKind, const QString& table,
                               const TTriggerTexts& texts,
                               const QList<TTriggerLink>& noDeleteChecks,
                               const QList<TTriggerLink>& children, bool ownContent);
