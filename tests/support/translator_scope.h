// The translator installed for one scope, with an empty dictionary and the given statement file.
#pragma once

#include <translation/dictionary.h>
#include <translation/langproc.h>
#include <translation/language.h>

class TranslatorScope
{
public:
    explicit TranslatorScope(const QString& fileName = {}, TInternationalLang language = 1)
    {
        TranslateFormProc = &TranslateFormComponents;
        TranslateComponentProc = &TranslateComponent;
        CurrentLanguage = language;
        TranslationFileName = fileName;
        ClearTranslations();
    }
    ~TranslatorScope()
    {
        ClearTranslations();
        CurrentLanguage = 0;
        ExtTranslateProc = nullptr;
        TranslateFormProc = nullptr;
        TranslateComponentProc = nullptr;
        TranslationFileName.clear();
    }
    TranslatorScope(const TranslatorScope&) = delete;
    TranslatorScope& operator=(const TranslatorScope&) = delete;
};
