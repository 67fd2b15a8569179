// The translation editor.
#include "langmanager.h"

// Will show the editor of the translation dictionary and its statement file.
void ShowLangManager()
{
}
