// Helpers of the structure editor's tests: a kernel database with a patient, a doctor and a
// visit table, typing into a grid cell as a user does, and a structure described line by line.
#pragma once

#include "schema_helpers.h"

#include <schema/dbcontrols.h>
#include <schema/tablestreditdlg.h>

#include <support/scoped_dialogs.h>

namespace schematest {

// PATIENT (PAT_ID key, NOM), DOCTOR (DOC_ID autoincrement key, NAME) and VISIT (VIS_ID key,
// PAT_ID, DOC_ID, NOTE; indexes IX_NOTE and IX_PAT), with one visit.
void makeClinic(SchemaDb& d);

// Types into the cell of `field` on the grid's current row through the grid's in-place editor and
// commits it; false when the cell cannot be edited there.
bool typeInto(TDBGrid* grid, const QString& field, const QString& text);
// Makes the row showing `value` in column `field` the grid's current row (as a click would).
void selectRow(TDBGrid* grid, const QString& field, const QString& value);
// A click on the cell of `field` on the current row.
void clickCell(TDBGrid* grid, const QString& field);
void pressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// The structure as lines: its name, action, new name and order, then one line per item.
QStringList describe(const TTableStruct& s);

} // namespace schematest
