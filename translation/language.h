// The program's translation state: the language it runs in, the flags that steer the numbered-
// texts component, and the hook through which forms are handed to the translator.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

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

// ---- The translator's parts that start-up installs, and the classes it offers

class QMetaObject;

// Translates one component of a form for a language; start-up installs TranslateComponent.
using TTranslateComponentProc = void (*)(QObject* form, QObject* component,
                                         TInternationalLang language);
extern TTranslateComponentProc TranslateComponentProc;

// A compiled-in translation consulted before the dictionary (the Russian captions for language
// 2); it may replace `result`, which holds the default text.
using TExtTranslateProc = bool (*)(const QMetaObject* formClass, const QString& name,
                                   const QString& defaultText, QString& result);
extern TExtTranslateProc ExtTranslateProc;

// A form or data-module class the translation editor offers: its name, its meta-object (the
// class chain; null while the class is not part of the program yet) and how to create an
// instance without owner (empty likewise).
struct TFormClass
{
    QString ClassName;
    const QMetaObject* MetaObject = nullptr;
    std::function<QObject*()> Create;
};

// The translatable classes, in registration order.
QList<TFormClass>& TranslatableForms();
void RegisterTranslatableForm(TFormClass formClass);

// Fills the translation dictionary from the statement file; false when there is none.
bool LoadTranslations();
// Translates every open form and data module again, in the current language.
void TranslateAllForms();
