// Automatic identification of a document's patient.
#include "autoident.h"

// Will read the patient's name from the document's text and set its Patient.
bool IdentifyFile(int)
{
    return false;
}
