// The workstation program's own program-wide values that several of its modules share.
#pragma once

#include <QtGlobal>

// The identification dialog is open, for the document CurrentNumber.
extern bool IdentificationActive;
extern qint32 CurrentNumber;
