// The program-wide translation state, kept in this one place, and the translator's walk: a form
// and its components handed to the component translator, each text looked up in the compiled-in
// table and the dictionary, and collected while the editor reads a form's texts.
#include "language.h"

#include "dictionary.h"

#include <platform/ui/forms.h>

#include <QMetaObject>
#include <QScopedValueRollback>

TInternationalLang CurrentLanguage = 0;
quint8 ForceTranslate = 0;
quint8 TranslatingAllForms = 0;
quint8 CollectingTexts = 0;
TTranslateFormProc TranslateFormProc = nullptr;
QString TranslationFileName;

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

bool IsFormBaseClass(const QMetaObject* metaObject)
{
    return !metaObject || metaObject == &TForm::staticMetaObject ||
           metaObject == &TDataModule::staticMetaObject;
}

const TFormClass* FindTranslatableForm(const QMetaObject* metaObject)
{
    if (!metaObject)
        return nullptr;
    for (const TFormClass& formClass : std::as_const(TranslatableForms())) {
        if (formClass.MetaObject == metaObject)
            return &formClass;
    }
    return nullptr;
}

QList<const TFormClass*> RegisteredAncestors(const QMetaObject* metaObject)
{
    QList<const TFormClass*> ancestors;
    if (IsFormBaseClass(metaObject))
        return ancestors;
    for (const QMetaObject* c = metaObject->superClass(); !IsFormBaseClass(c);
         c = c->superClass()) {
        if (const TFormClass* registered = FindTranslatableForm(c))
            ancestors.append(registered);
    }
    return ancestors;
}

void TranslateFormComponents(QObject* form, TInternationalLang language)
{
    if (CurrentLanguage == 0 || !form)
        return;
    if (CollectingTexts)
        CollectedTexts().clear();
    const TTranslateComponentProc translate = TranslateComponentProc;
    if (!translate)
        return;
    // The form itself first, then its components in creation order (they all have names).
    translate(form, form, language);
    if (const auto* owner = dynamic_cast<const ComponentOwner*>(form)) {
        for (QObject* component : owner->components())
            translate(form, component, language);
    }
}

void TranslateAllForms()
{
    QScopedValueRollback<quint8> translatingAll(TranslatingAllForms, 1);
    for (QObject* object : applicationComponents()) {
        if (qobject_cast<TForm*>(object) || qobject_cast<TDataModule*>(object))
            TranslateForm(object, CurrentLanguage);
    }
}

void GetTranslation(QObject* form, const QString& name, const QString& defaultText, QString& result,
                    TInternationalLang, const QString& componentClassName)
{
    result = defaultText;
    if (name.startsWith(QLatin1Char('_')))
        return;
    const QMetaObject* formClass = form ? form->metaObject() : nullptr;
    if (const TExtTranslateProc ext = ExtTranslateProc)
        ext(formClass, name, defaultText, result);
    for (const QMetaObject* c = formClass; !IsFormBaseClass(c); c = c->superClass()) {
        const int found = FindTranslation(QString::fromLatin1(c->className()), name);
        if (found >= 0) {
            result = TranslationText(found);
            break;
        }
    }
    if (CollectingTexts && !defaultText.startsWith(QLatin1Char('!')))
        CollectedTexts().append({name, defaultText, componentClassName});
}

QList<TCollectedText>& CollectedTexts()
{
    static QList<TCollectedText> texts;
    return texts;
}

QList<TCollectedText> CollectFormTexts(const TFormClass& formClass)
{
    QScopedValueRollback<quint8> collecting(CollectingTexts, 1);
    CollectedTexts().clear();
    if (!formClass.Create)
        return {};
    QObject* instance = formClass.Create();
    if (auto* form = qobject_cast<TForm*>(instance)) {
        form->create();
        form->Free();
    } else if (auto* module = qobject_cast<TDataModule*>(instance)) {
        module->create();
        module->Free();
    } else {
        delete instance;
    }
    QList<TCollectedText> texts = CollectedTexts();
    CollectedTexts().clear();
    return texts;
}
