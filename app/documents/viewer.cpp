// The document viewer.
#include "viewer.h"

// Will show the document in the text, picture or metafile window by its source type.
void ViewDocument(int)
{
}
