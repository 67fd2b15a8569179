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
    keepFreedMemory();
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

    // Watched from the start: a request that comes while the windows are being made (the serial
    // sources already talk to their analysers then) is carried out once the main window runs.
    TerminationSignals termination;
    TMainForm* running = nullptr;
    bool terminationRequested = false;
    QObject::connect(&termination, &TerminationSignals::requested, [&](int) {
        if (running)
            running->TerminateRequested();
        else
            terminationRequested = true;
    });

    CreateServerModule();
    DataTables = CreateForm<TDataTables>();
    TMainForm* mainForm = CreateForm<TMainForm>();
    int exitCode = 1;
    if (!mainForm->StartupFailed() && !Application::terminated()) {
        CreateLoginDlg();
        running = mainForm;
        if (terminationRequested)
            QTimer::singleShot(0, mainForm, [mainForm] { mainForm->TerminateRequested(); });
        if (!mainForm->isVisible())
            mainForm->show();
        exitCode = app.exec();
    }
    running = nullptr;
    delete mainForm;
    DataTables->Free();
    DataTables = nullptr;
    FreePracticeModules();
    return exitCode;
}
