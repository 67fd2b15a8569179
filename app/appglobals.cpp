// Storage of the workstation program's own program-wide values.
#include "appglobals.h"

bool IdentificationActive = false;
qint32 CurrentNumber = 0;
