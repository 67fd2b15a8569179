// The layout of the workstation's local tables, kept in one place: a new installation creates its
// tables from it, and the local upgrade takes the fields and indexes it adds from it.
#pragma once

#include <platform/data/dataset.h>

#include <QList>
#include <QString>

class Database;

// Table names as the program spells them. The engine compares table names without regard to
// case, so "Package.DB" and "patients.db" reach the same tables as the spellings below.
namespace LocalTableName {
inline const QString Cfg = QStringLiteral("cfg.db");
inline const QString Fr = QStringLiteral("fr.db");
inline const QString Package = QStringLiteral("PACKAGE.DB");
inline const QString Files = QStringLiteral("FILES.DB");
inline const QString RcFiles = QStringLiteral("rcfiles.DB");
inline const QString Printers = QStringLiteral("printers.db");
inline const QString Com = QStringLiteral("com.DB");
inline const QString Patients = QStringLiteral("Patients.db");
inline const QString FrFiles = QStringLiteral("FrFiles.db");
inline const QString DSFiles = QStringLiteral("DSfiles.db");
} // namespace LocalTableName

// One table: its fields in order, and its indexes (the primary index has an empty name and the
// Primary option; the engine stores index names prefixed by the table's).
struct LocalTableDef
{
    QString name;
    FieldDefs fields;
    IndexDefs indexes;
};

// Every local table of the current layout.
const QList<LocalTableDef>& LocalTableDefs();
// The definition of a table, its name compared without regard to case; nullptr when unknown.
const LocalTableDef* FindLocalTableDef(const QString& table);
// One field or index of the current layout. Raises Exception when the layout has no such thing:
// that is a mistake in the program, not in the data.
FieldDef LocalFieldDef(const QString& table, const QString& field);
IndexDef LocalIndexDef(const QString& table, const QString& index);

// Creates every table of the current layout in the database, all in one transaction: either all
// of them exist afterwards or none does. Raises EngineError (nothing created) when one of them
// exists already or the engine refuses.
void CreateLocalTables(Database& db);
// True when the database holds at least one of the local tables.
bool AnyLocalTableExists(Database& db);
