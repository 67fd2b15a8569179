// Program entry of the workstation: the translatable form classes, the language, the data
// modules and the main window in their order, and the message loop.
#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/mainwindow/mainform.h>
#include <app/patients/practicedb.h>
#include <app/translatableforms.h>
#include <platform/codepage.h>
#include <platform/db/odbcdriver.h>
#include <platform/process.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>
#include <platform/uitexts.h>
#include <schema/schematools.h>
#include <translation/langproc.h>
#include <translation/langrus.h>
#include <translation/language.h>

#include <QTimer>

#include <cstdio>

namespace {

void setUpLanguage()
{
    TranslateFormProc = &TranslateFormComponents;
    TranslateComponentProc = &TranslateComponent;
    CurrentLanguage = ProgLanguage;
    // The statement file is read in the language's code page.
    setRegionalLanguage(ProgLanguage);
    codepage::setCurrent(codepage::forLanguage(ProgLanguage));
    TranslationFileName = ProgramDir() + QStringLiteral("QUORVANE.LAN");
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
    setUiTextLanguage(ProgLanguage);
    // Before the first window: Qt's buttons and choosers speak the program's language too.
    if (!installQtTranslations(ProgLanguage))
        std::fprintf(stderr,
                     "Qt's own texts stay in English: their translation for language %d "
                     "is not installed.\n",
                     int(ProgLanguage));
}

} // namespace

int main(int argc, char* argv[])
{
    // Qt's file choosers show their files' dates in the system's form: the program's language's.
    if (qEnvironmentVariableIsEmpty("LC_ALL") && (ProgLanguage == 1 || ProgLanguage == 2))
        qputenv("LC_TIME", ProgLanguage == 2 ? "ru_RU.UTF-8" : "fr_FR.UTF-8");
    Application app(argc, argv);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        std::fprintf(stderr, "QUORVANE runs offscreen: its windows are not visible.\n");
    // The program works on with every window hidden: only a confirmed quit ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    Application::setExceptionHandler(AppException);
    odbcdb::registerDrivers(); // MSSQL and ORACLE practice databases
    RegisterSchemaTools();     // the kernel builds its views through them

    for (TFormClass formClass : ProgramFormClasses())
        RegisterTranslatableForm(std::move(formClass));
    setUpLanguage();
    QApplication::setApplicationName(ProgName);

    // The system's request to end is heard from before the main window starts the sources (an
    // analyser's driver may be in a dialogue before start-up is over); one that comes while the
    // window is still starting is carried out once it has started.
    TerminationSignals termination;
    TMainForm* mainForm = nullptr;
    bool endRequested = false;
    QObject::connect(&termination, &TerminationSignals::requested, &app, [&](int) {
        if (mainForm)
            mainForm->TerminateRequested();
        else
            endRequested = true;
    });

    CreateServerModule();
    DataTables = CreateForm<TDataTables>();
    TMainForm* startingForm = CreateForm<TMainForm>();
    int exitCode = 1;
    if (!startingForm->StartupFailed() && !Application::terminated()) {
        mainForm = startingForm;
        CreateLoginDlg();
        if (!mainForm->isVisible())
            mainForm->show();
        if (endRequested)
            QTimer::singleShot(0, mainForm, [mainForm] { mainForm->TerminateRequested(); });
        exitCode = app.exec();
    }
    mainForm = nullptr;
    delete startingForm;
    DataTables->Free();
    DataTables = nullptr;
    FreePracticeModules();
    return exitCode;
}
