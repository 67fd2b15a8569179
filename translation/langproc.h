// The component translator: which texts each kind of component shows, and their translation.
#pragma once

#include <translation/language.h>

// Translates the texts of one component of `form` (start-up's TranslateComponentProc).
void TranslateComponent(QObject* form, QObject* component, TInternationalLang language);
