// Program entry of the workstation: the translatable form classes, the language, the data
// modules and the main window in their order, and the message loop.
#include <app/apperror.h>
#include <app/comoptionsdlg.h>
#include <app/configform.h>
#include <app/datatables.h>
#include <app/errorform.h>
#include <app/imageform.h>
#include <app/mainform.h>
#include <app/memoform.h>
#include <app/practicedb.h>
#include <platform/codepage.h>
#include <platform/db/odbcdriver.h>
#include <platform/process.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>
#include <translation/langproc.h>
#include <translation/langrus.h>
#include <translation/language.h>

#include <cstdio>

namespace {

template <class T> TFormClass formClass()
{
    return {QString::fromLatin1(T::staticMetaObject.className()), &T::staticMetaObject,
            [] { return new T(); }};
}

// A class whose form is not part of the program yet: offered by name.
TFormClass formClass(const char* className)
{
    return {QString::fromLatin1(className), nullptr, {}};
}

void registerTranslatableForms()
{
    for (TFormClass formClass :
         {formClass<TMainForm>(), formClass<TConfigForm>(), formClass("TIdDlg"),
          formClass("TPatientDlg"), formClass("TPackDlg"), formClass<TfError>(),
          formClass("TfAbout"), formClass("TCompForm"), formClass<TMemoForm>(),
          formClass<TImageForm>(), formClass("TfEmfView"), formClass("TeMailDlg"),
          formClass("TFTPDlg"), formClass("TFTPPasswordDlg"), formClass("TFTPClient"),
          formClass("TSMTPTForm"), formClass<TCOMOptionsDlg>(), formClass("TDelDlg"),
          formClass("TLoginDlg")})
        RegisterTranslatableForm(std::move(formClass));
}

void setUpLanguage()
{
    TranslateComponentProc = &TranslateComponent;
    CurrentLanguage = ProgLanguage;
    if (CurrentLanguage != DefaultLanguage) {
        if (ProgLanguage == 1) {
            ExtTranslateProc = nullptr;
        } else if (ProgLanguage == 2) {
            ExtTranslateProc = &TranslateCaptionRUS;
            ProgSubtitle = QStringLiteral("Система обмена медицинской информацией");
        }
        LoadTranslations();
    }
    TranslateAllForms();
    setRegionalLanguage(ProgLanguage);
    codepage::setCurrent(codepage::forLanguage(ProgLanguage));
}

} // namespace

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        std::fprintf(stderr, "QUORVANE runs offscreen: its windows are not visible.\n");
    // The program works on with every window hidden: only a confirmed quit ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    Application::setExceptionHandler(AppException);
    odbcdb::registerDrivers(); // MSSQL and ORACLE practice databases

    registerTranslatableForms();
    setUpLanguage();
    QApplication::setApplicationName(ProgName);

    CreateServerModule();
    DataTables = CreateForm<TDataTables>();
    TMainForm* mainForm = CreateForm<TMainForm>();
    int exitCode = 1;
    if (!mainForm->StartupFailed() && !Application::terminated()) {
        CreateLoginDlg();
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::requested, mainForm,
                         [mainForm](int) { mainForm->TerminateRequested(); });
        if (!mainForm->isVisible())
            mainForm->show();
        exitCode = app.exec();
    }
    delete mainForm;
    DataTables->Free();
    DataTables = nullptr;
    FreePracticeModules();
    return exitCode;
}
