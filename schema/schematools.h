// The schema tools as the kernel reaches them: views of requests and the kernel's own upgrade.
#pragma once

#include <kernel/schemaapi.h>

class TTableStruct;

// Registers the schema tools with the kernel, and the custom data editor and the kernel texts
// module with the translator's classes; the program does this at start-up, before any connection
// is made and before it registers its own forms. Registers once, however often called.
void RegisterSchemaTools();

// Fills a structure with the kernel's description of a view: its fields, its key index and its
// links with their child names.
void AssignViewStruct(TTableStruct& target, const TViewStruct& view);
