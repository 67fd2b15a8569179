// The registered form classes and the order in which the translation editor offers them.
#include "translatableforms.h"

#include <QMap>
#include <QMetaObject>

namespace {

struct RegisteredForm
{
    const QMetaObject* metaObject;
    QObject* (*create)();
};

// Filled while the static objects are made, in whatever order the linker put the files: the
// order the editor shows is ProgramFormOrder's, not this one's.
QList<RegisteredForm>& registeredForms()
{
    static QList<RegisteredForm> forms;
    return forms;
}

// The program's translatable forms in the editor's order. TPackDlg, TfAbout, TCompForm, the
// e-mail and FTP dialogs and TDelDlg are not built yet: they are offered by name until their
// forms register their classes.
constexpr const char* ProgramFormOrder[] = {
    "TMainForm",  "TConfigForm",    "TIdDlg",    "TPatientDlg",     "TPackDlg",
    "TfError",    "TfAbout",        "TCompForm", "TMemoForm",       "TImageForm",
    "TfEmfView",  "TeMailDlg",      "TFTPDlg",   "TFTPPasswordDlg", "TFTPClient",
    "TSMTPTForm", "TCOMOptionsDlg", "TDelDlg",   "TLoginDlg"};

} // namespace

TranslatableFormRegistrar::TranslatableFormRegistrar(const QMetaObject* metaObject,
                                                     QObject* (*create)())
{
    registeredForms().append({metaObject, create});
}

QList<TFormClass> ProgramFormClasses()
{
    QMap<QString, RegisteredForm> unplaced; // by class name
    for (const RegisteredForm& form : std::as_const(registeredForms())) {
        const QString name = QString::fromLatin1(form.metaObject->className());
        Q_ASSERT_X(!unplaced.contains(name), "ProgramFormClasses", "a form registers once");
        unplaced.insert(name, form);
    }
    QList<TFormClass> classes;
    const auto place = [&classes](const QString& name, const RegisteredForm& form) {
        classes.append({name, form.metaObject, form.create});
    };
    for (const char* program : ProgramFormOrder) {
        const QString name = QString::fromLatin1(program);
        const auto form = unplaced.constFind(name);
        if (form == unplaced.cend()) {
            classes.append({name, nullptr, {}});
            continue;
        }
        place(name, *form);
        unplaced.erase(form);
    }
    for (auto form = unplaced.cbegin(); form != unplaced.cend(); ++form)
        place(form.key(), *form);
    return classes;
}
