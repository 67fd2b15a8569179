// The form classes the translation editor offers. A form registers its class in its own .cpp,
// at namespace scope:
//
//     QUORVANE_TRANSLATABLE_FORM(TIdDlg);
//
// and start-up hands the registered classes to the translator's list (RegisterTranslatableForm)
// in the program's order, which translatableforms.cpp keeps together with the names of the
// program's forms that are not built yet.
#pragma once

#include <platform/ui/forms.h>
#include <translation/language.h>

#include <QList>

class QMetaObject;
class QObject;

// Records one form class when the program's static objects are made; see the macro below.
class TranslatableFormRegistrar
{
public:
    TranslatableFormRegistrar(const QMetaObject* metaObject, QObject* (*create)());
};

#define QUORVANE_TRANSLATABLE_FORM(Class)                                                          \
    QUORVANE_FORM(Class);                                                                          \
    static const TranslatableFormRegistrar Class##_translatable(                                   \
        &Class::staticMetaObject, []() -> QObject* { return new Class(); })

// The program's translatable classes in the order the translation editor lists them: the
// program's forms in their fixed order, a form not built yet by its name alone (no meta-object,
// no creation); then any other registered class, by name.
QList<TFormClass> ProgramFormClasses();
