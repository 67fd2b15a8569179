// Direct send: documents that need no identification copied into the practice software's import
// folder, each with a descriptor file.
#pragma once

#include <QString>

// Direct send is on (the menu item "Transfert direct vers" is checked).
extern bool DirectSend;

// What ExportPendingDocuments did, as bits of its Flags.
enum : int {
    dsExported = 0x1, // something was exported or removed
    dsHeldBack = 0x2, // a waiting document is the one under identification
};

// Readies the import folder under the practice software's folder and switches direct send on.
void InitDirectSend(const QString& PracticePath);
// Exports every document that needs no identification; Flags receives dsExported and dsHeldBack.
void ExportPendingDocuments(int& Flags);
