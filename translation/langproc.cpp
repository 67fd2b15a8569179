// The component translator.
#include "langproc.h"

// Will replace the component's captions, hints and items by their translations.
void TranslateComponent(QObject*, QObject*, TInternationalLang)
{
}
