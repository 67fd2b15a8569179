// The structure tool (the program quorvane-structure): the structure editor opened on one table of
// a kernel database reached through a database alias, and the edited structure applied to the
// database when the user asks for it.
#pragma once

#include <QStringList>

// Runs the tool on its arguments (the program's name left out): the alias and the table. A
// database that lacks a kernel table or column the tool uses ends the run with what is missing on
// standard error; then the kernel access component connects through the alias and loads the
// metadata, and a refused connection ends the run with its message on standard error. The editor
// opens on the table (altering it when the database has it, creating it otherwise); OK is
// followed by the question whether to apply the edited structure, which the structure engine then
// applies in one transaction (on the local kind; on a server, in the kernel's). A change that
// fails is reported and undone, and the editor comes back with the user's edits. Returns the exit
// status: 0 when the run ended as the user chose (applied, declined or cancelled), 1 when the
// database lacks what the tool needs, the connection failed, or a change failed and was not made
// afterwards, 2 for wrong arguments (a table name is letters, digits, "_", "$" and "#", not
// beginning with a digit).
int StructureToolMain(const QStringList& arguments);
