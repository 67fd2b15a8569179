// The program's translation state: the language it runs in, the flags that steer the numbered-
// texts component, and the hook through which forms are handed to the translator.
#pragma once

#include <QtGlobal>

class QObject;

// 0 none (nothing is translated), 1 French, 2 Russian, 3 English.
using TInternationalLang = quint8;

// The language the start-up check compares with; never changed.
constexpr TInternationalLang DefaultLanguage = 0;

// Main thread only.
// The language the program runs in; set once at start-up.
extern TInternationalLang CurrentLanguage;
// 1: forms are translated even when their language is the current one.
extern quint8 ForceTranslate;
// 1 while every open form is being translated again.
extern quint8 TranslatingAllForms;
// 1 while the translation editor creates forms only to read their texts.
extern quint8 CollectingTexts;

// Translates a form or data module and the components it owns. Set by the translator when it is
// installed; until then translating does nothing.
using TTranslateFormProc = void (*)(QObject* owner, TInternationalLang language);
extern TTranslateFormProc TranslateFormProc;

// Hands `owner` to the installed translator, if any.
void TranslateForm(QObject* owner, TInternationalLang language);
