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

TTranslateComponentProc TranslateComponentProc = nullptr;
TExtTranslateProc ExtTranslateProc = nullptr;

QList<TFormClass>& TranslatableForms()
{
    static QList<TFormClass> classes;
    return classes;
}

void RegisterTranslatableForm(TFormClass formClass)
{
    TranslatableForms().append(std::move(formClass));
}

// Will read the statements of TranslationFileName into the dictionary.
bool LoadTranslations()
{
    return false;
}

// Will hand every form and data module of the application to TranslateForm.
void TranslateAllForms()
{
}
