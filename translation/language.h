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

// Translates a form or data module and the components it owns. Start-up installs
// TranslateFormComponents; until then translating does nothing.
using TTranslateFormProc = void (*)(QObject* owner, TInternationalLang language);
extern TTranslateFormProc TranslateFormProc;

// Hands `owner` to the installed translator, if any.
void TranslateForm(QObject* owner, TInternationalLang language);

// The translator: nothing while CurrentLanguage is 0; otherwise, in text-collecting mode, the
// collected texts are emptied first; then the form itself and each of its components (the form's
// components() in creation order) are handed to TranslateComponentProc.
void TranslateFormComponents(QObject* form, TInternationalLang language);

// The statement file the dictionary is loaded from and the editor writes into. The program entry
// sets it (the program's folder + "QUORVANE.LAN"); empty, nothing is loaded.
extern QString TranslationFileName;

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

// The bases of forms and data modules, where every walk up a class chain stops (a null class
// counts as one).
bool IsFormBaseClass(const QMetaObject* metaObject);
// The registered class with this meta-object; nullptr when it is not registered.
const TFormClass* FindTranslatableForm(const QMetaObject* metaObject);
// The registered ancestors of a class, nearest first, up to (not including) the form and
// data-module bases.
QList<const TFormClass*> RegisteredAncestors(const QMetaObject* metaObject);

// Fills the translation dictionary from TranslationFileName. False, with the dictionary empty and
// no message, when there is no name, no file, or the file cannot be read.
bool LoadTranslations();
// Translates every open form and data module again, in the current language.
void TranslateAllForms();

// The translation of one text of `form` under `name`: `result` is the default unless a name not
// beginning with "_" finds one, first through ExtTranslateProc, then in the dictionary under the
// form's class or, failing that, under its nearest ancestor that has an entry (a dictionary
// entry wins over ExtTranslateProc). In text-collecting mode the text is also collected, unless
// its name begins with "_" or its default with "!".
void GetTranslation(QObject* form, const QString& name, const QString& defaultText, QString& result,
                    TInternationalLang language, const QString& componentClassName);

// ---- Text-collecting mode

// One text met while collecting: its name, its default text and its component's class.
struct TCollectedText
{
    QString Name;
    QString Default;
    QString ComponentClass;
};

// The texts collected since the form being translated was offered.
QList<TCollectedText>& CollectedTexts();

// Creates an instance of the class without owner in text-collecting mode (its creation step runs,
// so its numbered-texts component translates it while its own OnCreate is skipped), frees it and
// returns what it collected. A class registered by name only collects nothing. CollectingTexts is
// 0 again afterwards, whatever happens.
QList<TCollectedText> CollectFormTexts(const TFormClass& formClass);
