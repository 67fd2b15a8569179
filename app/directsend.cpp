// Direct send: setting up the import folder and exporting the waiting documents.
#include "directsend.h"

bool DirectSend = false;

// Will create the import folder "QVXIMP" under the practice software's folder and set DirectSend.
void InitDirectSend(const QString&)
{
}

// Will export each document whose NeedId is 0, holding back the one under identification.
void ExportPendingDocuments(int& Flags)
{
    Flags = 0;
}
