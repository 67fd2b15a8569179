// The program-wide translation state, kept in this one place.
#include "language.h"

TInternationalLang CurrentLanguage = 0;
quint8 ForceTranslate = 0;
quint8 TranslatingAllForms = 0;
quint8 CollectingTexts = 0;
TTranslateFormProc TranslateFormProc = nullptr;

void TranslateForm(QObject* owner, TInternationalLang language)
{
    if (TranslateFormProc)
        TranslateFormProc(owner, language);
}
