// The component translator: which texts each kind of component shows, and their translation.
#pragma once

#include <translation/language.h>

class QWidget;

// Translates the texts of one component of `form` (start-up's TranslateComponentProc): the
// component's kind (its "componentClass"; the form itself is a "TForm") says which texts it shows
// and under which names they are looked up (GetTranslation), each text being set to the result;
// under language 2 its fonts follow SetLanguageFont. A kind the translator does not list is left
// untouched.
void TranslateComponent(QObject* form, QObject* component, TInternationalLang language);

// Under language 2 a font face "MS Sans Serif" (in any letter case) becomes "Arial"; other
// languages change no font.
void SetLanguageFont(QWidget* widget, TInternationalLang language);
